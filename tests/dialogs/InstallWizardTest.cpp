// The install wizard over a real package: the UI driver (a separate process) reads the Ready page
// and presses its buttons; an in-process "user" acts on the Finished page (unticks option rows,
// presses Finish) once it is there; message boxes are answered through the message box hook. The
// restart calls are replaced, so nothing here restarts the machine.
#include "dialogs/InstallWizard.h"

#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "common/WinTestSupport.h"
#include "dialogs/DialogTestSupport.h"
#include "install/FilePlacement.h"
#include "install/InstallWorker.h"
#include "install/Restart.h"
#include "resources/resource.h"
#include "script/Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

std::atomic<int> shutdownRequests{0};

DWORD WINAPI RecordShutdown(LPWSTR, LPWSTR, DWORD, DWORD, DWORD) {
    ++shutdownRequests;
    return ERROR_SUCCESS;
}
ShutdownCalls::InitiateShutdownFn FindRecorder(HMODULE) { return RecordShutdown; }
BOOL WINAPI RecordSystemShutdown(LPWSTR, LPWSTR, DWORD, BOOL, BOOL) {
    ++shutdownRequests;
    return TRUE;
}

std::wstring Id(int id) { return std::to_wstring(id); }

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += char(c < 128 ? c : '?');
    return out;
}

// Calls `act` on this thread every 100 ms with the wizard's window (found by its caption) until
// it returns true or the object goes.
class PageWatcher {
public:
    PageWatcher(const std::wstring& caption, std::function<bool(HWND)> act) {
        Current() = this;
        caption_ = caption;
        act_ = std::move(act);
        timer_ = ::SetTimer(nullptr, 0, 100, Tick);
    }
    ~PageWatcher() {
        ::KillTimer(nullptr, timer_);
        Current() = nullptr;
    }
    PageWatcher(const PageWatcher&) = delete;
    PageWatcher& operator=(const PageWatcher&) = delete;
    bool done = false;

private:
    static PageWatcher*& Current() {
        static PageWatcher* current = nullptr;
        return current;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        PageWatcher* watcher = Current();
        if (!watcher || watcher->done) return;
        HWND dialog = ::FindWindowW(nullptr, watcher->caption_.c_str());
        if (dialog && watcher->act_(dialog)) watcher->done = true;
    }
    std::wstring caption_;
    std::function<bool(HWND)> act_;
    UINT_PTR timer_ = 0;
};

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[256] = {0};
    ::GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

bool OnFinishedPage(HWND dialog) { return ItemText(dialog, IDC_CANCEL_FINISH) == L"Finish"; }

HWND OptionList(HWND dialog) { return ::FindWindowExW(dialog, nullptr, L"ListBox", nullptr); }

class InstallWizard : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstallSettings();
        ResetInstallOutcome();
        ResetProgress();
        SilentMode = false;
        RestartNeeded = false;
        shutdownRequests = 0;
        savedCalls_ = SetShutdownCalls(ShutdownCalls{FindRecorder, RecordSystemShutdown});
        project_ = L"Tarvo Wizard Test " + std::to_wstring(::GetCurrentProcessId());
        caption_ = project_ + L" Installer";
        folder_ = std::make_unique<ScratchFolder>();
    }
    void TearDown() override {
        SetShutdownCalls(savedCalls_);
        CurrentPackage = nullptr;
        package_.reset();
        SilentMode = false;
        RestartNeeded = false;
        ResetInstallSettings();
        ResetInstallOutcome();
    }

    // A package whose script names the test's project, installs "a.txt" into the scratch
    // folder (given by "--installto") and carries `body` after that.
    void Load(const std::string& body, std::vector<FixtureEntry> extra = {}) {
        std::string script = "[Project Name]\r\n" + Utf8(project_) +
                             "\r\n[NoUnInstall]\r\n[NoOfferUninstallOld]\r\n"
                             "[Install To]\r\n<Program Files>\\Tarvo Wizard Test\\\r\n"
                             "[Action]\r\nCopying the files\r\n"
                             "[CopyFile]\r\n1001 - a.txt\r\n<Destination>\\a.txt\r\n" +
                             body;
        extra.push_back(Entry("setup.dat", script));
        extra.push_back(Entry("1001 - a.txt", "installed"));
        bytes_ = Archive(extra);
        bool failed = true;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        ASSERT_FALSE(failed);
        CurrentPackage = package_.get();
    }

    WString CommandLine(const wchar_t* switches = L"") {
        return WString((L"setup.exe " + std::wstring(switches) + L" --installto=" + folder_->Path() + L"\\").c_str());
    }

    std::wstring Installed(const wchar_t* name) { return folder_->Path() + L"\\" + name; }

    std::wstring project_;
    std::wstring caption_;
    std::unique_ptr<ScratchFolder> folder_;

private:
    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    ShutdownCalls savedCalls_{};
};

const char kOptionalRows[] =
    "[CreateIcon]\r\n<Destination>\\a.txt\r\n<Destination>\\First.lnk\r\n\r\nOptional - First icon\r\n\r\n"
    "[CreateIcon]\r\n<Destination>\\a.txt\r\n<Destination>\\Second.lnk\r\n\r\nOptional - Second icon\r\n\r\n";

TEST_F(InstallWizard, ReadyInstallFinishedWithOptionRowsThenFinishCarriesOutTheTickedOnes) {
    Load(kOptionalRows);
    WString commandLine = CommandLine();
    std::vector<std::wstring> finishedTexts;
    int rows = -1;
    PageWatcher user(caption_, [&](HWND dialog) {
        HWND list = OptionList(dialog);
        if (!OnFinishedPage(dialog) || !list) return false;
        rows = int(::SendMessageW(list, LB_GETCOUNT, 0, 0));
        finishedTexts.push_back(::IsWindowVisible(::GetDlgItem(dialog, IDC_PROGRESS)) ? L"progress shown" : L"");
        // Untick the first row with the keyboard, as a user would, then press Finish.
        ::SendMessageW(list, LB_SETCURSEL, 0, 0);
        ::SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
        ::PostMessageW(::GetDlgItem(dialog, IDC_CANCEL_FINISH), BM_CLICK, 0, 0);
        return true;
    });
    DWORD code = 0;
    std::wstring caption = caption_;
    DialogRun run = RunDialog(
        [&] {
            code = RunInstallWizard(commandLine);
            return INT_PTR(0);
        },
        {L"wait", caption, L"20000", L"list", caption, L"click", caption, Id(IDC_INSTALL), L"gone", caption, L"30000"});
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    // The Ready page as the driver saw it: the folder from the command line, Install and Cancel.
    std::string folder = Utf8(folder_->Path());
    EXPECT_NE(std::string::npos, run.driverOutput.find("id=1004")) << run.driverOutput;
    EXPECT_NE(std::string::npos, run.driverOutput.find(folder)) << run.driverOutput;
    EXPECT_NE(std::string::npos, run.driverOutput.find("id=1002 class=Button visible=1")) << run.driverOutput;
    EXPECT_TRUE(user.done) << "the Finished page with its option list was never seen";
    EXPECT_EQ(2, rows);
    ASSERT_EQ(1u, finishedTexts.size());
    EXPECT_EQ(L"", finishedTexts[0]) << "the progress bar is hidden on the Finished page";
    EXPECT_EQ(kExitSuccess, code);
    EXPECT_EQ("installed", ReadBytes(Installed(L"a.txt")));
    EXPECT_FALSE(Exists(Installed(L"First.lnk"))) << "its row was unticked";
    EXPECT_TRUE(Exists(Installed(L"Second.lnk"))) << "its row stayed ticked";
    EXPECT_EQ(2, FinishStepsDone);
    EXPECT_EQ(0, shutdownRequests.load());
}

TEST_F(InstallWizard, CancelWhileInstallingAnsweredNoKeepsGoingAndYesEndsWith1602) {
    // The worker's own message holds it on the Installing page until the cancel is confirmed.
    Load("[Message]\r\nHolding the installation\r\nInformation\r\n");
    ManualEvent release;
    ASSERT_TRUE(release.Create());
    std::vector<std::wstring> questions;
    MessageBoxHook previous = SetMessageBoxHook([&](const MessageBoxCall& box) {
        if (box.text == WString(L"Cancel Install?")) {
            questions.push_back(std::wstring(box.caption.c_str()));
            EXPECT_EQ(UINT(MB_YESNO), box.Buttons());
            EXPECT_EQ(UINT(MB_ICONQUESTION), box.Icon());
            if (questions.size() == 1) return IDNO;
            release.Set();
            return IDYES;
        }
        ::WaitForSingleObject(release.Handle(), 30000);
        return IDOK;
    });
    DWORD code = 0;
    WString commandLine = CommandLine();
    std::wstring caption = caption_;
    DialogRun run = RunDialog(
        [&] {
            code = RunInstallWizard(commandLine);
            return INT_PTR(0);
        },
        {L"wait", caption, L"20000", L"click", caption, Id(IDC_INSTALL), L"sleep", L"500", L"click", caption,
         Id(IDC_CANCEL_FINISH), L"sleep", L"500", L"list", caption, L"click", caption, Id(IDC_CANCEL_FINISH), L"gone",
         caption, L"30000"});
    release.Set();
    SetMessageBoxHook(std::move(previous));
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    ASSERT_EQ(2u, questions.size());
    EXPECT_EQ(caption_, questions[0]);
    // After the No the wizard was still there, installing: the progress bar shown.
    EXPECT_NE(std::string::npos, run.driverOutput.find("id=1001 class=msctls_progress32 visible=1"))
        << run.driverOutput;
    EXPECT_EQ(kExitUserCancelled, code);
    EXPECT_TRUE(InstallCancelled);
}

TEST_F(InstallWizard, SilentModeAdvancesByItselfAndReportsTheRestart) {
    struct Case {
        const char* name;
        const wchar_t* switches;
        bool fileInUse;  // as file placement reports a file that is replaced at the next start
        DWORD code;
        int shutdowns;
    };
    const Case cases[] = {
        {"plain", L"--silent", false, kExitSuccess, 0},
        {"file in use", L"--silent", true, kExitRestartStarted, 1},
        {"file in use, --norestart", L"--silent --norestart", true, kExitRestartRequired, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        // Optional entries are never collected in silent mode: no row, no question.
        Load(kOptionalRows);
        SilentMode = true;
        RestartNeeded = c.fileInUse;
        MessageRecorder boxes(IDNO);
        DWORD code = RunInstallWizard(CommandLine(c.switches));
        EXPECT_EQ(c.code, code) << c.name;
        EXPECT_EQ(c.shutdowns, shutdownRequests.load()) << c.name;
        EXPECT_EQ("installed", ReadBytes(Installed(L"a.txt"))) << c.name;
        EXPECT_FALSE(Exists(Installed(L"First.lnk"))) << c.name;
        EXPECT_TRUE(boxes.calls.empty()) << c.name << ": " << Utf8(boxes.Text(0));
        TearDown();
    }
}

TEST_F(InstallWizard, ExitCodesOfRunsThatEndEarly) {
    struct Case {
        const char* name;
        const char* body;
        int answer;  // to every message box
        DWORD code;
    };
    const Case cases[] = {
        {"QuestionYesNo answered No", "[Message]\r\nGo on?\r\nQuestionYesNo\r\n", IDNO, kExitUserCancelled},
        {"QuestionYesNo answered Yes", "[Message]\r\nGo on?\r\nQuestionYesNo\r\n", IDYES, kExitSuccess},
        {"a file that cannot be placed", "[CopyFile]\r\n1002 - b.txt\r\n<Destination>\\a.txt\\b.txt\r\n", IDCANCEL,
         kExitFailed},
    };
    for (const Case& c : cases) {
        SetUp();
        Load(c.body, {Entry("1002 - b.txt", "b")});
        MessageRecorder boxes(c.answer);
        WString commandLine = CommandLine();
        // Install at once, then Finish once the Finished page is up.
        PageWatcher user(caption_, [](HWND dialog) {
            if (::IsWindowVisible(::GetDlgItem(dialog, IDC_INSTALL))) {
                ::PostMessageW(dialog, WM_COMMAND, IDC_INSTALL, 0);
                return false;
            }
            if (!OnFinishedPage(dialog)) return false;
            ::PostMessageW(::GetDlgItem(dialog, IDC_CANCEL_FINISH), BM_CLICK, 0, 0);
            return true;
        });
        DWORD code = RunInstallWizard(commandLine);
        EXPECT_TRUE(user.done) << c.name;
        EXPECT_EQ(c.code, code) << c.name << ": " << Utf8(boxes.Text(0)) << " | " << Utf8(boxes.Text(1));
        TearDown();
    }
}

// Nobody presses Finish in a silent run: one that fails must end by itself, with its exit code.
TEST_F(InstallWizard, SilentRunThatFailsEndsByItselfWith1603) {
    Load("[CopyFile]\r\n1002 - b.txt\r\n<Destination>\\a.txt\\b.txt\r\n", {Entry("1002 - b.txt", "b")});
    SilentMode = true;
    MessageRecorder boxes(IDCANCEL);
    WString commandLine = CommandLine(L"--silent");
    // Only a wizard that waits on its Finished page gets a click, so that the run still ends.
    PageWatcher user(caption_, [](HWND dialog) {
        if (!::IsWindowVisible(dialog) || !OnFinishedPage(dialog)) return false;
        ::PostMessageW(::GetDlgItem(dialog, IDC_CANCEL_FINISH), BM_CLICK, 0, 0);
        return true;
    });
    DWORD code = RunInstallWizard(commandLine);
    EXPECT_FALSE(user.done) << "the silent run waited for Finish to be pressed";
    EXPECT_EQ(kExitFailed, code);
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_NE(std::wstring::npos, boxes.Text(0).find(L"disk may be full"));
    EXPECT_EQ("installed", ReadBytes(Installed(L"a.txt")));
}

TEST_F(InstallWizard, CancelOnTheReadyPageEndsWith1602AndInstallsNothing) {
    Load("");
    WString commandLine = CommandLine();
    std::wstring caption = caption_;
    DWORD code = 0;
    DialogRun run = RunDialog(
        [&] {
            code = RunInstallWizard(commandLine);
            return INT_PTR(0);
        },
        {L"wait", caption, L"20000", L"keys", caption, L"Escape", L";", L"sleep", L"300", L"click", caption,
         Id(IDC_CANCEL_FINISH), L"gone", caption, L"10000"});
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    EXPECT_EQ(kExitUserCancelled, code);
    EXPECT_FALSE(Exists(Installed(L"a.txt")));
}

TEST(InstallWizardTexts, SpaceLineAndChosenFolder) {
    EXPECT_EQ(WString(L"1 MB Required, 3000 MB Free"), SpaceLine(0, 3000));
    EXPECT_EQ(WString(L"5 MB Required, 10 GB Free"), SpaceLine(5 * 1024, 10240));
    EXPECT_EQ(WString(L"50 MB Required, 10240 MB Free"), SpaceLine(50 * 1024, 10240));
    EXPECT_EQ(WString(L"D:\\Apps\\Viewer\\"), ChosenInstallFolder(L"D:\\Apps", L"<Program Files>\\Viewer\\"));
    EXPECT_EQ(WString(L"E:\\Viewer\\"), ChosenInstallFolder(L"E:\\", L"<Program Files>\\Viewer\\"));
    EXPECT_EQ(WString(L"E:\\Apps\\"), ChosenInstallFolder(L"E:\\Apps", L"<Program Files>"));
}

}  // namespace
