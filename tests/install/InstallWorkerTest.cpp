#include "install/InstallWorker.h"

#include "base/Process.h"
#include "base/Progress.h"
#include "base/WorkerThread.h"
#include "common/WinTestSupport.h"
#include "install/FilePlacement.h"
#include "install/UninstallRecord.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"
#include "script/Record.h"
#include "script/Settings.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// A loaded package made of `entries`, installing into a scratch folder.
class WorkerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstallSettings();
        ResetInstallOutcome();
        ResetProgress();
        SilentMode = false;
        OfferUninstallOld = false;
        UninstallEnabled = false;  // no record unless a test asks for one
        DestinationFolder = folder_.Path().c_str();
        savedWow64_ = RunningUnderWow64;
    }
    void TearDown() override {
        CurrentPackage = nullptr;
        package_.reset();
        RunningUnderWow64 = savedWow64_;
        SilentMode = false;
        ResetInstallSettings();
    }

    void Load(std::vector<FixtureEntry> entries) {
        bytes_ = Archive(entries);
        bool failed = true;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        ASSERT_FALSE(failed);
        CurrentPackage = package_.get();
    }

    // Runs the worker on its own thread, as the wizard does, and waits for it.
    void RunWorker() {
        WorkerThread worker;
        ASSERT_TRUE(worker.Start([](ManualEvent& stop, int32_t) { InstallWorker(stop, nullptr); }, 0, 0));
        while (worker.IsRunning()) ::Sleep(10);
        worker.Stop();
    }

    std::wstring Installed(const wchar_t* name) { return folder_ / name; }

    ScratchFolder folder_;

private:
    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    BOOL savedWow64_ = FALSE;
};

}  // namespace

TEST_F(WorkerFixture, PlacesFilesInOrderAndPublishesProgress) {
    MessageRecorder boxes(IDOK);
    Load({Entry("setup.dat",
                "[Action]\r\nCopying\r\n\r\n"
                "[CopyFile]\r\n1001 - a.txt\r\n<Destination>\\a.txt\r\n\r\n"
                "[CopyFile]\r\n1002 - b.txt\r\n<Destination>\\sub\\b.txt\r\n"),
          Entry("1001 - a.txt", "alpha"), Entry("1002 - b.txt", "beta")});
    RunWorker();
    EXPECT_EQ("alpha", ReadBytes(Installed(L"a.txt")));
    EXPECT_EQ("beta", ReadBytes(Installed(L"sub\\b.txt")));
    MutexGuard guard(ProgressLock);
    EXPECT_EQ(2, ProgressDone);
    EXPECT_EQ(2, ProgressTotal);
    EXPECT_EQ(L"Registering Dlls", std::wstring(ActionCaption.c_str()));
    EXPECT_FALSE(InstallCancelled);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(WorkerFixture, ScriptWithoutFilesKeepsProgressAtZero) {
    Load({Entry("setup.dat", "[Project Name]\r\nNothing\r\n")});
    RunWorker();
    MutexGuard guard(ProgressLock);
    EXPECT_EQ(0, ProgressDone);
    EXPECT_EQ(0, ProgressTotal);
    EXPECT_EQ(L"Registering Dlls", std::wstring(ActionCaption.c_str()));
}

TEST_F(WorkerFixture, MissingEntryStopsTheInstall) {
    MessageRecorder boxes(IDOK);
    Load({Entry("setup.dat",
                "[CopyFile]\r\n1001 - gone.txt\r\n<Destination>\\gone.txt\r\n"
                "[CopyFile]\r\n1002 - b.txt\r\n<Destination>\\b.txt\r\n"),
          Entry("1002 - b.txt", "beta")});
    RunWorker();
    EXPECT_TRUE(InstallCancelled);
    EXPECT_FALSE(Exists(Installed(L"b.txt")));
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"This installation file is corrupted, please obtain a new copy.", boxes.Text(0));
    MutexGuard guard(ProgressLock);
    EXPECT_NE(L"Registering Dlls", std::wstring(ActionCaption.c_str()));
}

TEST_F(WorkerFixture, OptionalEntriesAreCollectedUnlessSilent) {
    const char* script =
        "[CreateIcon]\r\n<Destination>\\a.txt\r\n<Destination>\\A.lnk\r\n -x\r\nOptional - Create a desktop icon\r\n\r\n"
        "[RunFile]\r\n<Destination>\\a.txt\r\n\r\nOptional - Read me\r\n\r\n"
        "[RunAndWaitFile]\r\n<Destination>\\b.exe\r\n/q\r\nOptional - Set up\r\n";
    for (bool silent : {false, true}) {
        ResetInstallOutcome();
        SilentMode = silent;
        Load({Entry("setup.dat", script)});
        RunWorker();
        if (silent) {
            EXPECT_TRUE(OptionalShortcuts.empty());
            EXPECT_TRUE(OptionalPrograms.empty());
            continue;
        }
        ASSERT_EQ(1u, OptionalShortcuts.size());
        EXPECT_EQ(L"Create a desktop icon", std::wstring(OptionalShortcuts[0].caption.c_str()));
        EXPECT_EQ(L"<Destination>\\A.lnk", std::wstring(OptionalShortcuts[0].shortcutPath.c_str()));
        EXPECT_EQ(L" -x", std::wstring(OptionalShortcuts[0].arguments.c_str()));
        ASSERT_EQ(2u, OptionalPrograms.size());
        EXPECT_FALSE(OptionalPrograms[0].wait);
        EXPECT_TRUE(OptionalPrograms[1].wait);
        EXPECT_EQ(L"Set up", std::wstring(OptionalPrograms[1].caption.c_str()));
        EXPECT_FALSE(Exists(Installed(L"A.lnk")));
    }
}

TEST_F(WorkerFixture, MessagesAndTheYesNoQuestion) {
    struct Case {
        const char* what;
        int answer;
        bool secondFilePlaced;
    } cases[] = {{"Yes goes on", IDYES, true}, {"No stops", IDNO, false}};
    for (const auto& c : cases) {
        ResetInstallOutcome();
        ResetProgress();
        MessageRecorder boxes(c.answer);
        Load({Entry("setup.dat",
                    "[Message]\r\nHello\\nWorld\r\nWarning\r\n"
                    "[Message]\r\nGo on?\r\nQuestionYesNo\r\n"
                    "[CopyFile]\r\n1001 - a.txt\r\n<Destination>\\after.txt\r\n"),
              Entry("1001 - a.txt", "x")});
        RunWorker();
        ASSERT_EQ(2u, boxes.calls.size()) << c.what;
        EXPECT_EQ(L"Hello\r\nWorld", boxes.Text(0));
        EXPECT_EQ(UINT(MB_ICONEXCLAMATION), boxes.calls[0].Icon());
        EXPECT_EQ(UINT(MB_YESNO), boxes.calls[1].Buttons());
        EXPECT_EQ(c.secondFilePlaced, Exists(Installed(L"after.txt"))) << c.what;
        EXPECT_FALSE(InstallCancelled) << c.what;  // a No is not a cancel
        MutexGuard guard(ProgressLock);
        EXPECT_EQ(c.secondFilePlaced, ActionCaption == WString(L"Registering Dlls")) << c.what;
        ::DeleteFileW(Installed(L"after.txt").c_str());
    }
    // Silent mode shows no "[Message]" boxes and reads their lines as ordinary lines.
    ResetInstallOutcome();
    SilentMode = true;
    MessageRecorder boxes(IDNO);
    Load({Entry("setup.dat", "[Message]\r\nGo on?\r\nQuestionYesNo\r\n")});
    RunWorker();
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(WorkerFixture, StopRequestCancels) {
    Load({Entry("setup.dat", "[CopyFile]\r\n1001 - a.txt\r\n<Destination>\\a.txt\r\n"), Entry("1001 - a.txt", "x")});
    ManualEvent stop;
    ASSERT_TRUE(stop.Create());
    stop.Set();
    InstallWorker(stop, nullptr);
    EXPECT_TRUE(InstallCancelled);
    EXPECT_FALSE(Exists(Installed(L"a.txt")));
}

TEST_F(WorkerFixture, VariantsFollowTheWindowsOfTheMachine) {
    const char* script =
        "[CopyFile]\r\n1001 - a32.txt\r\n<Destination>\\a.dll\r\n"
        "[CopyFile]\r\n1002 - a64.txt\r\n<Destination>\\a__TVI_WIN64.dll\r\n"
        "[CopyFile]\r\n1003 - plain.txt\r\n<Destination>\\u.dll\r\n"
        "[CopyFile]\r\n1004 - unicode.txt\r\n<Destination>\\u__TVI_UNICODE.dll\r\n";
    for (BOOL wow64 : {FALSE, TRUE}) {
        ResetInstallOutcome();
        ResetProgress();
        RunningUnderWow64 = wow64;
        Load({Entry("setup.dat", script), Entry("1001 - a32.txt", "32"), Entry("1002 - a64.txt", "64"),
              Entry("1003 - plain.txt", "plain"), Entry("1004 - unicode.txt", "unicode")});
        RunWorker();
        EXPECT_EQ(wow64 ? "64" : "32", ReadBytes(Installed(L"a.dll"))) << wow64;
        EXPECT_EQ("unicode", ReadBytes(Installed(L"u.dll"))) << wow64;
        EXPECT_FALSE(Exists(Installed(L"a__TVI_WIN64.dll")));
        MutexGuard guard(ProgressLock);
        EXPECT_EQ(4, ProgressDone);  // skipped variants advance the progress too
        for (const wchar_t* name : {L"a.dll", L"u.dll"}) ::DeleteFileW(Installed(name).c_str());
    }
}

TEST(ChooseVariant, Table) {
    StringList list;
    for (const wchar_t* d : {L"<Destination>\\a.dll", L"<Destination>\\A__TVI_WIN64.DLL", L"<Destination>\\u.exe",
                             L"<Destination>\\u__TVI_UNICODE.exe", L"<Destination>\\solo.dll"}) {
        list.Add(d);
    }
    struct Case {
        const wchar_t* destination;
        BOOL wow64;
        bool installed;
        const wchar_t* after;
    } cases[] = {
        {L"<Destination>\\a.dll", FALSE, true, L"<Destination>\\a.dll"},
        {L"<Destination>\\a.dll", TRUE, false, L"<Destination>\\a.dll"},
        {L"<Destination>\\A__TVI_WIN64.DLL", TRUE, true, L"<Destination>\\A.DLL"},
        {L"<Destination>\\A__TVI_WIN64.DLL", FALSE, false, L"<Destination>\\A.DLL"},
        {L"<Destination>\\u.exe", FALSE, false, L"<Destination>\\u.exe"},
        {L"<Destination>\\u__TVI_UNICODE.exe", TRUE, true, L"<Destination>\\u.exe"},
        {L"<Destination>\\solo.dll", TRUE, true, L"<Destination>\\solo.dll"},
    };
    BOOL saved = RunningUnderWow64;
    for (const auto& c : cases) {
        RunningUnderWow64 = c.wow64;
        WString d(c.destination);
        EXPECT_EQ(c.installed, ChooseVariant(d, list)) << c.destination << " wow64=" << c.wow64;
        EXPECT_EQ(c.after, std::wstring(d.c_str()));
    }
    RunningUnderWow64 = saved;
}

TEST(ReadRecordedVersion, FirstVersionLineOrUnknown) {
    ScratchFolder dir;
    struct Case {
        const char* record;
        const wchar_t* expected;
    } cases[] = {
        {"[Project Name]\r\nX\r\n[ProgramVersion]\r\n2.1\r\n[ProgramVersion]\r\n3.0\r\n", L"2.1"},
        {"[Project Name]\r\nX\r\n", L"[Unknown]"},
        {"[programversion]\r\n2.1\r\n", L"[Unknown]"},
    };
    for (const auto& c : cases) {
        WriteBytes(dir / L"r.dat", c.record);
        EXPECT_EQ(c.expected, std::wstring(ReadRecordedVersion((dir / L"r.dat").c_str()).c_str()));
    }
    EXPECT_EQ(L"[Unknown]", std::wstring(ReadRecordedVersion((dir / L"none.dat").c_str()).c_str()));
}

TEST_F(WorkerFixture, EarlierVersionQuestion) {
    ProjectName = FormatText(L"Tarvo Worker Test %d", int(::GetCurrentProcessId()));
    std::wstring record = RecordFilePath().c_str();
    WriteBytes(record, "[Project Name]\r\nX\r\n[ProgramVersion]\r\n1.0\r\n");
    OfferUninstallOld = true;
    ProgramVersion = L"2.0";
    MessageRecorder boxes(IDCANCEL);
    Load({Entry("setup.dat", "[CopyFile]\r\n1001 - a.txt\r\n<Destination>\\a.txt\r\n"), Entry("1001 - a.txt", "x")});
    RunWorker();
    ::DeleteFileW(record.c_str());
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"Setup has detected an existing version of " + std::wstring(ProjectName.c_str()) +
                  L".\r\n\r\n  Installing Version: 2.0\r\n  Existing Version: 1.0\r\n\r\n"
                  L"Uninstall existing before installing new? (Cancel to exit, leaving existing version).",
              boxes.Text(0));
    EXPECT_EQ(UINT(MB_YESNOCANCEL | MB_ICONQUESTION), boxes.calls[0].type);
    EXPECT_TRUE(InstallCancelled);
    EXPECT_FALSE(Exists(Installed(L"a.txt")));
}
