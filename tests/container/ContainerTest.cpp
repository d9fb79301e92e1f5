#include "container/Container.h"

#include "base/Process.h"
#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

class ContainerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedWow64_ = RunningUnderWow64;
        SilentMode = false;
    }
    void TearDown() override {
        CurrentPackage = nullptr;
        package_.reset();
        RunningUnderWow64 = savedWow64_;
        SilentMode = false;
    }
    void Load(const std::vector<FixtureEntry>& entries) {
        CurrentPackage = nullptr;
        package_.reset();
        bytes_ = Archive(entries);
        bool failed = true;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        ASSERT_FALSE(failed);
        CurrentPackage = package_.get();
    }
    std::vector<std::wstring> Plan(const wchar_t* commandLine, bool shift, std::wstring* arguments = nullptr) {
        ContainerPlan plan = PlanContainer(commandLine, shift);
        if (arguments) *arguments = plan.arguments.c_str();
        std::vector<std::wstring> names;
        for (int i = 0; i < plan.entries.Count(); ++i) names.push_back(plan.entries.At(i).c_str());
        return names;
    }

    ScratchFolder dir_;

private:
    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    BOOL savedWow64_ = FALSE;
};

// An "installer" that appends its name and arguments to a log and exits with `code`.
FixtureEntry Installer(const std::string& name, const std::wstring& log, int code = 0) {
    std::string logPath = WString(log.c_str()).Narrow();
    return Entry(name, "@echo " + name + " %*>>\"" + logPath + "\"\r\n@exit /b " + std::to_string(code) + "\r\n");
}

}  // namespace

TEST_F(ContainerFixture, SelectionFollowsVariantsAndTheForceSwitch) {
    Load({Entry("setup.dat", "[InstallContainer]\r\n"), Entry("Setup.bmp", "b"), Entry("SETUP.LIC", "l"),
          Entry("1001 - notes.exe", "x"), Entry("1002 - notes__TVI_WIN64.exe", "x"), Entry("1003 - setup-tools.exe", "x")});
    using Names = std::vector<std::wstring>;
    struct Case {
        const char* what;
        BOOL wow64;
        const wchar_t* commandLine;
        bool shift;
        Names expected;
        const wchar_t* arguments;
    } cases[] = {
        {"64-bit Windows runs the marked", TRUE, L"setup.exe", false, {L"1002 - notes__TVI_WIN64.exe"}, L""},
        {"32-bit Windows runs the unmarked", FALSE, L"setup.exe", false,
         {L"1001 - notes.exe", L"1003 - setup-tools.exe"}, L""},
        {"--force32bit", TRUE, L"setup.exe --force32bit", false, {L"1001 - notes.exe", L"1003 - setup-tools.exe"},
         L" --force32bit"},
        {"right Shift", TRUE, L"setup.exe", true, {L"1001 - notes.exe", L"1003 - setup-tools.exe"}, L" --force32bit"},
        {"the switch is case-sensitive", TRUE, L"setup.exe --Force32bit", false, {L"1002 - notes__TVI_WIN64.exe"}, L""},
    };
    for (const auto& c : cases) {
        RunningUnderWow64 = c.wow64;
        std::wstring arguments;
        EXPECT_EQ(c.expected, Plan(c.commandLine, c.shift, &arguments)) << c.what;
        EXPECT_EQ(c.arguments, arguments) << c.what;
    }

    // Without marked entries every installer runs and nothing is forced.
    Load({Entry("setup.dat", "[InstallContainer]\r\n"), Entry("a.exe", "x"), Entry("b.exe", "x")});
    RunningUnderWow64 = TRUE;
    std::wstring arguments = L"?";
    EXPECT_EQ((Names{L"a.exe", L"b.exe"}), Plan(L"setup.exe --force32bit", true, &arguments));
    EXPECT_EQ(L"", arguments);
}

TEST_F(ContainerFixture, NotAContainer) {
    Load({Entry("setup.dat", "[Project Name]\r\nX\r\n[installcontainer]\r\n")});
    int windows = 0;
    ContainerResult result = RunContainer({[&] { ++windows; return HWND(nullptr); }, [] {}});
    EXPECT_FALSE(result.handled);
    EXPECT_EQ(0, windows);
}

TEST_F(ContainerFixture, RunsEachInstallerInOrderAfterTheMessages) {
    std::wstring log = dir_ / L"run.log";
    RunningUnderWow64 = TRUE;
    Load({Entry("setup.dat", "[InstallContainer]\r\n[Message]\r\nFirst line\\nSecond line\r\nInformation\r\n"),
          Installer("1001 - one.bat", log), Installer("1002 - two.bat", log, 7), Installer("1003 - three.bat", log, 9)});
    MessageRecorder boxes(IDOK);
    int created = 0, destroyed = 0;
    ContainerResult result = RunContainer({[&] { ++created; return HWND(nullptr); }, [&] { ++destroyed; }});
    EXPECT_TRUE(result.handled);
    EXPECT_EQ(7u, result.exitCode);  // the first installer that failed
    EXPECT_EQ("1001 - one.bat \r\n1002 - two.bat \r\n1003 - three.bat \r\n", ReadBytes(log));
    EXPECT_EQ(3, ContainerInstallerCount);
    EXPECT_EQ(3, ContainerRunningIndex);
    EXPECT_EQ(1, created);
    EXPECT_EQ(1, destroyed);
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"First line\r\nSecond line", boxes.Text(0));
    EXPECT_EQ(UINT(MB_ICONINFORMATION), boxes.calls[0].Icon());
    EXPECT_EQ(nullptr, boxes.calls[0].owner);
}

TEST_F(ContainerFixture, OneInstallerRunsWithoutAWindowAndSilentModeSkipsMessages) {
    std::wstring log = dir_ / L"one.log";
    Load({Entry("setup.dat", "[InstallContainer]\r\n[Message]\r\nHello\r\nWarning\r\n"), Installer("only.bat", log)});
    SilentMode = true;
    MessageRecorder boxes(IDOK);
    int created = 0;
    ContainerResult result = RunContainer({[&] { ++created; return HWND(nullptr); }, [] {}});
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ(0, created);
    EXPECT_TRUE(boxes.calls.empty());
    // Silent mode does not reach the installers: no switch is added.
    EXPECT_EQ("only.bat \r\n", ReadBytes(log));
}

TEST_F(ContainerFixture, NoToAQuestionRunsNothing) {
    std::wstring log = dir_ / L"no.log";
    Load({Entry("setup.dat", "[InstallContainer]\r\n[Message]\r\nInstall both?\r\nQuestionYesNo\r\n"),
          Installer("a.bat", log), Installer("b.bat", log)});
    MessageRecorder boxes(IDNO);
    int created = 0, destroyed = 0;
    ContainerResult result = RunContainer({[&] { ++created; return HWND(nullptr); }, [&] { ++destroyed; }});
    EXPECT_TRUE(result.handled);
    EXPECT_EQ(1602u, result.exitCode);
    EXPECT_FALSE(Exists(log));
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes.calls.at(0).type);
    EXPECT_EQ(created, destroyed);
}
