#include "install/Programs.h"

#include "base/Files.h"
#include "base/Process.h"
#include "elevation/ChannelTestSupport.h"
#include "elevation/Launch.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>


using namespace tarvo;
using namespace tarvo::testing;

namespace {

// The elevated instance's surroundings: a channel served by a stand-in launcher that records the
// requests, the probe's log named in the environment (so that programs run without arguments
// still log), and silent mode off.
class RunProgramTest : public ::testing::Test {
protected:
    RunProgramTest()
        : channel_(scratch_ / L"TVIrun.tmp"), scope_(channel_), launcher_(channel_), log_(scratch_ / L"probe.log") {
        ::SetEnvironmentVariableW(L"TARVO_PROBE_LOG", log_.c_str());
        savedSilent_ = SilentMode;
        SilentMode = false;
        savedCaption_ = InstallerCaption;
        InstallerCaption = L"Sample Installer";
    }
    ~RunProgramTest() override {
        ::SetEnvironmentVariableW(L"TARVO_PROBE_LOG", nullptr);
        SilentMode = savedSilent_;
        InstallerCaption = savedCaption_;
        CurrentPackage = nullptr;
    }

    std::vector<std::string> Log() const { return LogLines(log_); }

    ScratchFolder scratch_;
    std::wstring channel_;
    ChannelPathScope scope_;
    FakeLauncher launcher_;
    std::wstring log_;
    MessageRecorder boxes_{IDOK};
    bool savedSilent_ = false;
    WString savedCaption_;
};

std::string FieldOf(const std::string& line, const std::string& name) {
    size_t at = line.find(" " + name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 2;
    size_t end = name == "cmd" ? std::string::npos : line.find(' ', at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

}  // namespace

TEST_F(RunProgramTest, StartCommandLineWaitsAndKeepsTheSystemError) {
    ASSERT_TRUE(StartCommandLine(WString(L"\"") + FixturePath(L"tarvo-probe.exe").c_str() + L"\" --wait-ms=200", true));
    // Waiting means the program has ended when the call returns.
    EXPECT_GE(LineIndex(Log(), "ended"), 0);

    ::SetLastError(0);
    EXPECT_FALSE(StartCommandLine((scratch_ / L"missing.exe").c_str(), false));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

TEST_F(RunProgramTest, PackagedProgramRunsUnderAUniqueNameAndIsDeletedAfterwards) {
    Bytes bytes = Archive({Entry("setup.dat", "[Project Name]\r\nSample\r\n"),
                           Entry("Tool.exe", ReadBytes(FixturePath(L"tarvo-probe.exe")))});
    bool failed = true;
    SetupPackage package(failed, bytes.data(), bytes.size());
    ASSERT_FALSE(failed);
    CurrentPackage = &package;

    // Run elevated on purpose: " -RUNELEVATED" is dropped, and an extracted program is never
    // handed to the user's instance anyway.
    RunProgram(L"<TempInstall>\\tool.exe", L" -RUNELEVATED --flag", true, true, nullptr);

    std::vector<std::string> log = Log();
    ASSERT_EQ(2u, log.size()) << ReadBytes(log_);
    std::string exe = FieldOf(log[0], "exe");
    std::string cmd = FieldOf(log[0], "cmd");
    std::string temp = Narrow(TempFolder().c_str());
    EXPECT_EQ(Lower(temp), Lower(exe.substr(0, temp.size()))) << exe;
    // "<reserved temporary name>-" + the entry's file name as the script spelt it.
    ASSERT_GT(exe.size(), temp.size() + 9);
    EXPECT_EQ("-tool.exe", exe.substr(exe.size() - 9));
    EXPECT_EQ(std::string::npos, cmd.find("RUNELEVATED")) << cmd;
    EXPECT_NE(std::string::npos, cmd.find(" --flag")) << cmd;
    // Deleted after the run, and the reserved name with it.
    std::wstring exePath(exe.begin(), exe.end());
    EXPECT_FALSE(Exists(exePath));
    EXPECT_FALSE(Exists(exePath.substr(0, exePath.size() - 8)));
    EXPECT_TRUE(launcher_.Requests().empty());
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(RunProgramTest, MissingPackagedProgramIsReportedAndNothingRuns) {
    Bytes bytes = Archive({Entry("setup.dat", "[Project Name]\r\nSample\r\n")});
    bool failed = true;
    SetupPackage package(failed, bytes.data(), bytes.size());
    CurrentPackage = &package;
    HWND owner = reinterpret_cast<HWND>(0x1234);

    RunProgram(L"<TempInstall>\\missing.exe", L"", true, true, owner);

    ASSERT_EQ(1u, boxes_.calls.size());
    EXPECT_EQ(L"Cannot install 'missing.exe', disk may be full.", boxes_.Text(0));
    EXPECT_EQ(owner, boxes_.calls[0].owner);
    EXPECT_EQ(L"Sample Installer", std::wstring(boxes_.calls[0].caption.c_str()));
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls[0].Icon());
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(launcher_.Requests().empty());
}

TEST_F(RunProgramTest, ProgramsWithoutAdministratorManifestGoToTheUsersInstance) {
    DestinationFolder = scratch_.Path().c_str();
    const std::wstring probe = FixturePath(L"tarvo-probe.exe");
    RunProgram(probe.c_str(), L"--open <Destination>notes.txt", true, true, nullptr);
    RunProgram(probe.c_str(), L"--later", false, true, nullptr);
    DestinationFolder.Clear();

    // Nothing ran here; the arguments went with "<Destination>" already expanded, since the
    // launcher does not know the install folder.
    EXPECT_TRUE(Log().empty());
    ASSERT_EQ(2u, launcher_.Requests().size());
    EXPECT_EQ(ChannelBytes({L"[run]", probe, L"--open " + scratch_.Path() + L"\\notes.txt", L"1"}),
              launcher_.Requests()[0]);
    EXPECT_EQ(ChannelBytes({L"[run]", probe, L"--later", L"0"}), launcher_.Requests()[1]);
}

TEST_F(RunProgramTest, RunElevatedFlagRunsHereAndIsRemovedOnlyWhenTheUserCouldRunIt) {
    const std::wstring probe = FixturePath(L"tarvo-probe.exe");
    struct Case {
        const wchar_t* arguments;
        bool mayRunAsUser;
        const char* expectedTail;
    } cases[] = {
        {L" -RUNELEVATED --a -RUNELEVATED", true, "\"  --a"},
        {L"--a -RUNELEVATED", false, "\" --a -RUNELEVATED"},
        {L"-RUNELEVATED", true, nullptr},  // no blank before it: not the flag, so posted
    };
    for (const Case& c : cases) {
        ::DeleteFileW(log_.c_str());
        RunProgram(probe.c_str(), c.arguments, true, c.mayRunAsUser, nullptr);
        std::vector<std::string> log = Log();
        if (!c.expectedTail) {
            EXPECT_TRUE(log.empty()) << Narrow(c.arguments);
            continue;
        }
        ASSERT_EQ(2u, log.size()) << Narrow(c.arguments);
        std::string cmd = FieldOf(log[0], "cmd");
        std::string tail = c.expectedTail;
        EXPECT_EQ(tail, cmd.substr(cmd.size() - std::min(cmd.size(), tail.size()))) << cmd;
    }
    EXPECT_EQ(1u, launcher_.Requests().size());
}

TEST_F(RunProgramTest, AdministratorManifestRunsHere) {
    const std::wstring admin = FixturePath(L"tarvo-probe-admin.exe");
    ASSERT_EQ(ManifestLevel::RequireAdministrator, ReadManifestLevel(admin.c_str()));

    // Started here, never handed to the user's instance. Wine starts it as it is (its processes
    // already hold an elevated token); Windows refuses the plain start of an unelevated caller
    // with ERROR_ELEVATION_REQUIRED, and the program is then started with "runas".
    RunProgram(admin.c_str(), L"--b", true, true, nullptr);

    std::vector<std::string> log = Log();
    ASSERT_EQ(2u, log.size()) << ReadBytes(log_);
    EXPECT_NE(std::string::npos, FieldOf(log[0], "cmd").find("--b"));
    EXPECT_TRUE(launcher_.Requests().empty());
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(RunProgramTest, DocumentsWithoutArgumentsAreOpenedByTheUserOrThroughTheShell) {
    const std::wstring marker = scratch_ / L"opened.txt";
    const std::wstring document = scratch_ / L"open me.bat";
    WriteBytes(document, "@echo opened>\"" + Narrow(marker) + "\"\r\n");

    RunProgram(document.c_str(), L"", true, true, nullptr);
    ASSERT_EQ(1u, launcher_.Requests().size());
    EXPECT_EQ(ChannelBytes({L"[run]", document, L"", L"1"}), launcher_.Requests()[0]);
    EXPECT_FALSE(Exists(marker));

    // Not for the user: the installer opens it with the shell's default verb and waits.
    RunProgram(document.c_str(), L"", true, false, nullptr);
    EXPECT_TRUE(Exists(marker));
    EXPECT_EQ(1u, launcher_.Requests().size());
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(RunProgramTest, ProgramsThatCannotRunAreReportedUnlessSilent) {
    HWND owner = reinterpret_cast<HWND>(0x4321);
    const std::wstring program = scratch_ / L"no such.exe";
    const std::wstring document = scratch_ / L"no such.txt";
    struct Case {
        std::wstring program;
        const wchar_t* arguments;
    } cases[] = {{program, L"--x"}, {program, L""}, {document, L""}};
    for (const Case& c : cases) {
        for (bool silent : {false, true}) {
            SilentMode = silent;
            boxes_.calls.clear();
            RunProgram(c.program.c_str(), c.arguments, true, false, owner);
            if (silent) {
                EXPECT_TRUE(boxes_.calls.empty()) << Narrow(c.program);
                continue;
            }
            ASSERT_EQ(1u, boxes_.calls.size()) << Narrow(c.program);
            EXPECT_EQ(L"Error whilst running '" + c.program + L"'", boxes_.Text(0));
            EXPECT_EQ(owner, boxes_.calls[0].owner);
            EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls[0].Icon());
            EXPECT_EQ(UINT(MB_OK), boxes_.calls[0].Buttons());
        }
    }
    EXPECT_TRUE(launcher_.Requests().empty());
}

// The container waits for each installer on the thread that owns its window: while the program
// runs, that thread must go on answering its window (painting, the installer number), or the
// window stays frozen until the end.
TEST_F(RunProgramTest, WaitingForAProgramKeepsTheCallersOwnWindowAnswering) {
    const std::wstring gate = scratch_ / L"gate";
    WNDCLASSW plain = {};
    plain.lpfnWndProc = ::DefWindowProcW;
    plain.hInstance = ::GetModuleHandleW(nullptr);
    plain.lpszClassName = L"TarvoTestOwnWindow";
    ::RegisterClassW(&plain);
    HWND window = ::CreateWindowExW(0, plain.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    plain.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    // A message sent to the window must come back while the program waits for the gate; the gate
    // opens either way, so that a failing run still ends.
    std::atomic<bool> answered{false};
    std::thread user([&] {
        DWORD_PTR result = 0;
        answered = ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
        WriteBytes(gate, "open");
    });
    DWORD code = 99;
    const std::wstring arguments = L"--exit=5 --wait-file=\"" + gate + L"\"";
    RunProgram(FixturePath(L"tarvo-probe.exe").c_str(), arguments.c_str(), true, false, window, &code);
    user.join();
    ::DestroyWindow(window);
    EXPECT_TRUE(answered.load());
    EXPECT_EQ(5u, code);
    EXPECT_GE(LineIndex(Log(), "ended"), 0);
}

TEST(ManifestLevel, FindsTheMarkerAnywhereInAnyCase) {
    ScratchFolder scratch;
    const std::string filler(1 << 20, 'x');
    struct Case {
        const char* what;
        std::string content;
        ManifestLevel level;
    } cases[] = {
        {"unquoted", "MZ..level=requireAdministrator..", ManifestLevel::RequireAdministrator},
        {"quoted, other case", "<x LEVEL=\"REQUIREadministrator\"/>", ManifestLevel::RequireAdministrator},
        {"single quotes", "level='requireAdministrator'", ManifestLevel::AsInvoker},
        {"blank before value", "level= \"requireAdministrator\"", ManifestLevel::AsInvoker},
        {"as invoker", "level=\"asInvoker\"", ManifestLevel::AsInvoker},
        {"empty file", "", ManifestLevel::AsInvoker},
        // Across the reading boundary.
        {"marker split by the first megabyte", filler.substr(10) + "level=\"requireAdministrator\"",
         ManifestLevel::RequireAdministrator},
        {"marker after the first megabyte", filler + filler + "level=requireAdministrator",
         ManifestLevel::RequireAdministrator},
    };
    for (const Case& c : cases) {
        std::wstring path = scratch / L"program.exe";
        WriteBytes(path, c.content);
        EXPECT_EQ(c.level, ReadManifestLevel(path.c_str())) << c.what;
    }
    EXPECT_EQ(ManifestLevel::Unreadable, ReadManifestLevel((scratch / L"missing.exe").c_str()));
}

// --- "[run]" carried out by the launcher for the elevated instance -------------------------------

namespace {

void RunThroughTheLauncher(const ScratchFolder& scratch, const std::wstring& probeArguments, const wchar_t* wait,
                           const std::wstring& after, const std::wstring& log) {
    const std::wstring channel = scratch / L"TVIserve.tmp";
    const std::wstring requests = scratch / L"requests.txt";
    WriteBytes(requests, "[run]\n" + Narrow(FixturePath(L"tarvo-probe.exe")) + "\n" + Narrow(probeArguments) + "\n" +
                             Narrow(wait) + "\n");
    std::wstring arguments = L"--channel=\"" + channel + L"\" --requests=\"" + requests + L"\" --log=\"" + log + L"\"";
    if (!after.empty()) arguments += L" --after=\"" + after + L"\"";
    ASSERT_TRUE(LaunchAndServe(FixturePath(L"tarvo-poster.exe").c_str(), arguments.c_str(), channel.c_str(),
                               RunRequestedProgram));
}

}  // namespace

TEST(RunRequest, WaitingRequestReturnsOnlyAfterTheProgramEnded) {
    ScratchFolder scratch;
    const std::wstring log = scratch / L"shared.log";
    RunThroughTheLauncher(scratch, L"--log=\"" + log + L"\" --wait-ms=1500", L"1", L"", log);

    std::vector<std::string> lines = LogLines(log);
    int started = LineIndex(lines, "started");
    int ended = LineIndex(lines, "ended");
    int posted = LineIndex(lines, "posted 1 1");
    ASSERT_GE(started, 0) << ReadBytes(log);
    EXPECT_LT(started, ended);
    EXPECT_LT(ended, posted);
}

TEST(RunRequest, RequestWithoutWaitingReturnsWhileTheProgramRuns) {
    ScratchFolder scratch;
    const std::wstring log = scratch / L"shared.log";
    // The program ends only once the writer has returned from its request.
    const std::wstring after = scratch / L"posted.txt";
    RunThroughTheLauncher(scratch, L"--log=\"" + log + L"\" --wait-file=\"" + after + L"\"", L"0", after, log);

    ASSERT_TRUE(WaitUntil([&] { return LineIndex(LogLines(log), "ended") >= 0; }, 90000));
    std::vector<std::string> lines = LogLines(log);
    EXPECT_LT(LineIndex(lines, "posted 1 1"), LineIndex(lines, "ended")) << ReadBytes(log);
    EXPECT_EQ(-1, LineIndex(lines, "gave-up")) << ReadBytes(log);
}
