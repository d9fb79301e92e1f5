// The install wizard of a real setup.exe, used the way a person uses it: the UI driver (a
// separate process) reads the pages and presses the buttons, the test clicks the option rows
// with the mouse and checks what the installation left on the machine, which processes ran it,
// and what exit code the launcher gave back.
#include "e2e/InstallSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tarvo::e2e;
using tarvo::testing::Exists;
using tarvo::testing::ReadBytes;
using tarvo::testing::ScratchFolder;

namespace {

std::wstring Id(int id) { return std::to_wstring(id); }

bool Contains(const std::string& text, const std::wstring& part) {
    return text.find(Narrow(part)) != std::string::npos;
}

// --- Tarvo Notes, installed through its wizard ----------------------------------------------------

const std::wstring kNotes = L"Tarvo Notes";
const std::wstring kNotesKey = L"Software\\Tarvo Notes";

class NotesWizard : public NotesSuite {};

// The Finished page of Tarvo Notes offers three rows, in script order: the desktop icon, the
// readme (opened and waited for), the program (started). The readme row is always unticked here:
// it would open an editor and hold the finish until someone closed it.
TEST_F(NotesWizard, ReadyLicenceInstallFinishedCarriesOutOnlyTheTickedRows) {
    struct Case {
        const char* name;
        bool desktopIcon;
        bool startProgram;
        bool screenshots;
    };
    const Case cases[] = {
        {"desktop icon and program ticked", true, true, true},
        {"both unticked", false, false, false},
    };
    const std::wstring folder = ProgramFiles() + L"\\Tarvo Notes\\";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetProduct(kNotes, {L"notes.exe"});
        std::string log;
        RunningInstaller setup(installer_.Setup(), L"", kNotes);
        const std::wstring caption = setup.Caption();

        // The Ready page: the proposed folder, Install, and the link to the terms.
        ASSERT_EQ(0u, Drive({L"wait", caption, L"30000", L"list", caption}, log)) << log;
        EXPECT_TRUE(Contains(log, L"id=1004 class=Edit visible=1")) << log;
        EXPECT_TRUE(Contains(log, L"text=\"" + folder.substr(0, folder.size() - 1))) << log;
        EXPECT_TRUE(Contains(log, L"id=1002 class=Button visible=1 enabled=1")) << log;
        EXPECT_TRUE(Contains(log, L"id=1007 class=SysLink visible=1")) << log;
        HWND wizard = setup.WaitForWizard();
        ASSERT_NE(nullptr, wizard);
        ASSERT_TRUE(OnReadyPage(wizard));
        if (c.screenshots) {
            EXPECT_FALSE(Screenshot(wizard, L"install-ready").empty());
        }

        // The terms open from the link over the wizard, show setup.lic, and close again.
        ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_LICENSE_LINK)}, log)) << log;
        HWND licence = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (licence = FindLicenceWindow(caption)) != nullptr; })) << log;
        EXPECT_EQ(ProcessOf(licence), ProcessOf(wizard));
        std::string terms = ReadBytes(ProjectFile(L"setup.lic"));
        EXPECT_EQ(Narrow(TextOf(Item(licence, IDC_LICENSE_TEXT))), terms);
        if (c.screenshots) {
            EXPECT_FALSE(Screenshot(licence, L"install-licence").empty());
        }
        Press(licence, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return FindLicenceWindow(caption) == nullptr; }));
        EXPECT_TRUE(OnReadyPage(wizard)) << "closing the terms left the Ready page";

        // Install; the script's Information box comes up while installing.
        ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_INSTALL)}, log)) << log;
        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (box = FindMessageBox(L"keeps each user's notes")) != nullptr; }));
        EXPECT_TRUE(OnInstallingPage(wizard));
        EXPECT_EQ(::GetWindow(box, GW_OWNER), wizard) << "the wizard owns the box";
        std::wstring message = WaitAndAnswer(L"keeps each user's notes", IDOK);
        EXPECT_EQ(message,
                  L"Tarvo Notes keeps each user's notes in that user's own settings.\r\nUninstalling Tarvo Notes "
                  L"removes the notes of the user who uninstalls it.");

        // The Finished page with its three option rows.
        ASSERT_TRUE(setup.WaitForPage([](HWND w) { return OnFinishedPage(w) && RowCount(OptionList(w)) == 3; }));
        HWND list = OptionList(wizard);
        if (c.screenshots) {
            EXPECT_FALSE(Screenshot(wizard, L"install-finished-options").empty());
        }
        // Read from the screen: the page may still be painting its rows.
        for (int row = 0; row < 3; ++row) {
            EXPECT_TRUE(WaitUntil([&] { return RowTicked(list, row); }, 10000)) << "row " << row << " starts ticked";
        }
        if (!c.desktopIcon) {
            ASSERT_TRUE(ClickRowTick(list, 0));
        }
        ASSERT_TRUE(ClickRowTick(list, 1)) << "the readme row would hold the finish";
        if (!c.startProgram) {
            ASSERT_TRUE(ClickRowTick(list, 2));
        }
        ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_CANCEL_FINISH)}, log)) << log;
        // The dialog ends by itself once the ticked rows are carried out.
        DWORD code = setup.Finish();
        EXPECT_EQ(0u, code) << log;

        // What was installed.
        EXPECT_EQ(ReadBytes(folder + L"notes.exe"), ReadBytes(ProjectFile(L"bin\\notes.exe")));
        EXPECT_EQ(ReadBytes(folder + L"readme.txt"), ReadBytes(ProjectFile(L"readme.txt")));
        EXPECT_EQ(ShortcutTarget(StartPrograms() + L"\\Tarvo Notes\\Tarvo Notes.lnk"), folder + L"notes.exe");
        const std::wstring desktopIcon = Desktop() + L"\\Tarvo Notes.lnk";
        if (c.desktopIcon) {
            EXPECT_EQ(ShortcutTarget(desktopIcon), folder + L"notes.exe");
        } else {
            EXPECT_FALSE(Exists(desktopIcon)) << "its row was unticked";
        }
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kNotesKey, L"InstallDir").value_or(L"-"), folder);
        EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kNotesKey, L"Registered").value_or(0), 1u);
        EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kNotesKey, L"Welcome").has_value());
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, AppPathKey(L"notes.exe"), L"").value_or(L"-"), folder + L"notes.exe");
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, UninstallKey(kNotes), L"DisplayVersion").value_or(L"-"), L"1.2");
        EXPECT_TRUE(Exists(RecordFile(kNotes)));
        // The remembered folder of "[SaveInstallPath]".
        const std::wstring chosen = folder.substr(0, folder.size() - 1);
        EXPECT_EQ(ReadString(HKEY_CURRENT_USER, L"Software\\TarvoInstall", kNotes.c_str()).value_or(L"-"), chosen);
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, L"Software\\TarvoInstall", kNotes.c_str()).value_or(L"-"), chosen);

        // The program row runs Tarvo Notes as the user: the launcher starts it.
        std::vector<ProcessEntry> started = ChildrenOf(setup.LauncherPid(), L"notes.exe");
        EXPECT_EQ(c.startProgram ? 1u : 0u, started.size());
        for (const ProcessEntry& p : started) EndProcess(p.pid);
        EXPECT_TRUE(ChildrenOf(setup.LauncherPid(), L"notepad.exe").empty()) << "the readme row was carried out";
        for (const ProcessEntry& p : ChildrenOf(setup.LauncherPid(), L"notepad.exe")) EndProcess(p.pid);
    }
}

// --- Products whose installation waits for the test ----------------------------------------

// Both run tarvo-probe and wait for it; the probe ends when the test creates its release file.
//
// "Tarvo E2E Waiting" installs two files, asks the launcher to write two per-user values, then has
// the launcher run the installed probe as the user; the last file and a machine value come after
// the wait. Running a program after a placed file writes the uninstall record first.
//
// "Tarvo E2E Cancel" writes a machine value, then runs the probe from the package itself (the
// elevated instance runs it) before any file is placed; a file and a second value come after.
const std::wstring kWaiting = L"Tarvo E2E Waiting";
const std::wstring kWaitingKey = L"Software\\Tarvo E2E Waiting";
const std::wstring kCancel = L"Tarvo E2E Cancel";
const std::wstring kCancelKey = L"Software\\Tarvo E2E Cancel";

class WaitingWizard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder;
        waiting_ = new Project;
        cancel_ = new Project;
        waitingSetup_ = new std::wstring;
        cancelSetup_ = new std::wstring;
        const std::string probeArguments =
            "--log=\"" + Narrow(LogPath()) + "\" --wait-file=\"" + Narrow(ReleasePath()) + "\"";
        waiting_->File(L"first.txt", "first file\r\n");
        waiting_->File(L"second.txt", "second file\r\n");
        waiting_->CopyIn(L"probe.exe", FixtureFile(L"tarvo-probe.exe"));
        waiting_->Script(
            "[Project Name]\nTarvo E2E Waiting\n\n[ProgramVersion]\n3.1\n\n"
            "[Install To]\n<Program Files>\\Tarvo E2E Waiting\n\n"
            "[Action]\nPlacing the first files\n\n"
            "[CopyFile]\nfirst.txt\n<Destination>\\first.txt\n\n"
            "[CopyFile]\nprobe.exe\n<Destination>\\probe.exe\n\n"
            "[Registry]\nHKCU\nSoftware\\Tarvo E2E Waiting\nSTRING\nGreeting\nHello from <Destination>\n\n"
            "[Registry]\nHKCU\nSoftware\\Tarvo E2E Waiting\nDWORD\nCount\n42\n\n"
            "[Action]\nWaiting for the probe to finish\n\n"
            "[RunAndWaitFile]\n<Destination>\\probe.exe\n" +
            probeArguments +
            "\n\n\n"
            "[Action]\nPlacing the last file\n\n"
            "[CopyFile]\nsecond.txt\n<Destination>\\second.txt\n\n"
            "[Registry]\nHKLM\nSoftware\\Tarvo E2E Waiting\nSTRING\nDone\nyes\n");
        *waitingSetup_ = waiting_->Build(L"waiting-setup.exe");
        cancel_->File(L"after.txt", "after\r\n");
        cancel_->CopyIn(L"probe.exe", FixtureFile(L"tarvo-probe.exe"));
        cancel_->Script(
            "[Project Name]\nTarvo E2E Cancel\n\n[Install To]\n<Program Files>\\Tarvo E2E Cancel\n\n"
            "[Registry]\nHKLM\nSoftware\\Tarvo E2E Cancel\nSTRING\nBefore\nyes\n\n"
            "[RunAndWaitFile]\n<TempInstall>\\probe.exe\n" +
            probeArguments +
            "\n\n\n"
            "[CopyFile]\nafter.txt\n<Destination>\\after.txt\n\n"
            "[Registry]\nHKLM\nSoftware\\Tarvo E2E Cancel\nSTRING\nAfter\nyes\n");
        *cancelSetup_ = cancel_->Build(L"cancel-setup.exe");
    }
    static void TearDownTestSuite() {
        delete waiting_;
        delete cancel_;
        delete waitingSetup_;
        delete cancelSetup_;
        delete scratch_;
    }
    void SetUp() override {
        ASSERT_FALSE(waitingSetup_->empty()) << "the installer was not built";
        ASSERT_FALSE(cancelSetup_->empty()) << "the installer was not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    static void Forget() {
        ForgetProduct(kWaiting, {L"probe.exe"});
        ForgetProduct(kCancel);
        ::DeleteFileW(LogPath().c_str());
        ::DeleteFileW(ReleasePath().c_str());
    }

    static std::wstring LogPath() { return *scratch_ / L"probe.log"; }
    static std::wstring ReleasePath() { return *scratch_ / L"release"; }
    static void ReleaseProbe() { tarvo::testing::WriteBytes(ReleasePath(), "go"); }
    // The process id of the probe once it has started (0 until then).
    static DWORD ProbePid() {
        std::string log = ReadBytes(LogPath());
        size_t at = log.find("started pid=");
        return at == std::string::npos ? 0 : DWORD(std::strtoul(log.c_str() + at + 12, nullptr, 10));
    }
    static std::wstring Folder(const std::wstring& product) { return ProgramFiles() + L"\\" + product + L"\\"; }

    static ScratchFolder* scratch_;
    static Project* waiting_;
    static Project* cancel_;
    static std::wstring* waitingSetup_;
    static std::wstring* cancelSetup_;
};
ScratchFolder* WaitingWizard::scratch_ = nullptr;
Project* WaitingWizard::waiting_ = nullptr;
Project* WaitingWizard::cancel_ = nullptr;
std::wstring* WaitingWizard::waitingSetup_ = nullptr;
std::wstring* WaitingWizard::cancelSetup_ = nullptr;

// The launcher starts a second instance of the same executable, which shows the wizard; what
// belongs to the user (per-user values, the program run as the user) the launcher does on that
// instance's request. A Cancel answered No changes nothing: the installation completes.
TEST_F(WaitingWizard, TheLauncherServesTheElevatedInstanceAndCancelAnsweredNoLetsItComplete) {
    std::string log;
    RunningInstaller setup(*waitingSetup_, L"", kWaiting);
    const std::wstring caption = setup.Caption();
    ASSERT_EQ(0u, Drive({L"wait", caption, L"30000"}, log)) << log;
    HWND wizard = setup.WaitForWizard();
    ASSERT_NE(nullptr, wizard);

    // Two processes of the one executable: the launcher and its child, which owns the wizard.
    const DWORD launcher = setup.LauncherPid();
    const DWORD elevated = ProcessOf(wizard);
    EXPECT_NE(launcher, elevated);
    std::vector<ProcessEntry> children = ChildrenOf(launcher, setup.ExeName());
    ASSERT_EQ(1u, children.size());
    EXPECT_EQ(elevated, children[0].pid);
    EXPECT_EQ(2u, ProcessesNamed(setup.ExeName()).size()) << "more than the two processes";

    // With the launcher frozen, the first per-user value waits in the request file and is not
    // written; the launcher writes it once it runs again.
    FreezeProcess(launcher, true);
    ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_INSTALL)}, log)) << log;
    std::wstring request;
    EXPECT_TRUE(WaitUntil([&] { return !(request = FindRequestFile(L"[setreg_hkcu_string]")).empty(); }));
    std::string content = ReadBytes(request);
    std::wstring lines(reinterpret_cast<const wchar_t*>(content.data()), content.size() / sizeof(wchar_t));
    EXPECT_EQ(lines, L"[setreg_hkcu_string]\r\nGreeting\r\nSoftware\\Tarvo E2E Waiting\r\nHello from " +
                         Folder(kWaiting) + L"\r\n");
    // The launcher named that file when it started the second instance.
    EXPECT_NE(CommandLineOf(elevated).find(L"--IsElevated=\"" + request + L"\""), std::wstring::npos)
        << Narrow(CommandLineOf(elevated)) << " | " << Narrow(request);
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kWaitingKey, L"Greeting").has_value())
        << "the value was written by another process than the launcher";
    EXPECT_TRUE(OnInstallingPage(wizard));
    FreezeProcess(launcher, false);
    EXPECT_TRUE(WaitUntil([&] { return ReadDword(HKEY_CURRENT_USER, kWaitingKey, L"Count").has_value(); }));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kWaitingKey, L"Greeting").value_or(L"-"),
              L"Hello from " + Folder(kWaiting));
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kWaitingKey, L"Count").value_or(0), 42u);

    // The program to run as the user is started by the launcher, and the installation waits.
    ASSERT_TRUE(WaitUntil([&] { return ProbePid() != 0; })) << ReadBytes(LogPath());
    std::vector<ProcessEntry> probes = ChildrenOf(launcher, L"probe.exe");
    ASSERT_EQ(1u, probes.size()) << "the probe was not started by the launcher";
    EXPECT_EQ(ProbePid(), probes[0].pid);
    EXPECT_TRUE(ChildrenOf(elevated, L"probe.exe").empty());
    // The request stays in the file until the program has ended: that keeps the installation
    // waiting.
    content = ReadBytes(request);
    lines.assign(reinterpret_cast<const wchar_t*>(content.data()), content.size() / sizeof(wchar_t));
    EXPECT_EQ(lines.substr(0, 7), L"[run]\r\n");
    EXPECT_NE(lines.find(L"probe.exe\r\n--log="), std::wstring::npos) << Narrow(lines);
    EXPECT_EQ(lines.substr(lines.size() < 5 ? 0 : lines.size() - 5), L"\r\n1\r\n");
    ASSERT_TRUE(setup.WaitForPage([](HWND w) { return OnInstallingPage(w); }));
    EXPECT_TRUE(Exists(Folder(kWaiting) + L"first.txt"));
    EXPECT_FALSE(Exists(Folder(kWaiting) + L"second.txt"));
    EXPECT_FALSE(Screenshot(wizard, L"install-installing").empty());

    // Cancel, answered No: still installing; released, the installation completes.
    ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_CANCEL_FINISH)}, log)) << log;
    EXPECT_EQ(WaitAndAnswer(L"Cancel Install?", IDNO), L"Cancel Install?");
    EXPECT_TRUE(OnInstallingPage(wizard));
    ReleaseProbe();
    ASSERT_TRUE(setup.WaitForPage(OnFinishedPage));
    EXPECT_FALSE(Exists(request)) << "the launcher removes a request once it has carried it out";
    EXPECT_EQ(nullptr, OptionList(wizard)) << "nothing optional was offered";
    EXPECT_FALSE(Screenshot(wizard, L"install-finished-plain").empty());
    ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_CANCEL_FINISH), L"gone", caption, L"30000"}, log)) << log;
    EXPECT_EQ(0u, setup.Finish());

    EXPECT_EQ("first file\r\n", ReadBytes(Folder(kWaiting) + L"first.txt"));
    EXPECT_EQ("second file\r\n", ReadBytes(Folder(kWaiting) + L"second.txt"));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kWaitingKey, L"Done").value_or(L"-"), L"yes");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, UninstallKey(kWaiting), L"DisplayVersion").value_or(L"-"), L"3.1");
    EXPECT_TRUE(Exists(RecordFile(kWaiting)));
}

// A confirmed Cancel ends the wizard with 1602 once the step in progress has ended: what was done
// before it stays, nothing after it happens, and the Finished page writes no uninstall record
// (a program run after a placed file has written it already).
TEST_F(WaitingWizard, CancelConfirmedWhileInstallingEndsWith1602) {
    struct Case {
        const char* name;
        const std::wstring* setup;
        const std::wstring product;
        std::vector<std::wstring> filesBefore, filesAfter;
        const wchar_t* valueBefore;
        const wchar_t* valueAfter;
        bool recordWritten;
    };
    const Case cases[] = {
        {"program run by the launcher after two files", waitingSetup_, kWaiting, {L"first.txt", L"probe.exe"},
         {L"second.txt"}, nullptr, L"Done", true},
        {"program run from the package before any file", cancelSetup_, kCancel, {}, {L"after.txt"}, L"Before",
         L"After", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Forget();
        std::string log;
        RunningInstaller setup(*c.setup, L"", c.product);
        const std::wstring caption = setup.Caption();
        ASSERT_EQ(0u, Drive({L"wait", caption, L"30000", L"click", caption, Id(IDC_INSTALL)}, log)) << log;
        ASSERT_TRUE(WaitUntil([&] { return ProbePid() != 0; })) << ReadBytes(LogPath());
        ASSERT_EQ(0u, Drive({L"click", caption, Id(IDC_CANCEL_FINISH)}, log)) << log;
        EXPECT_EQ(WaitAndAnswer(L"Cancel Install?", IDYES), L"Cancel Install?");
        EXPECT_TRUE(WaitUntil([&] { return setup.WaitForWizard(0) == nullptr; })) << "the wizard stayed after Yes";
        // The installation still waits for the program it runs; once that ends, it stops.
        ReleaseProbe();
        EXPECT_EQ(1602u, setup.Finish());

        const std::wstring folder = Folder(c.product);
        const std::wstring key = L"Software\\" + c.product;
        for (const std::wstring& file : c.filesBefore) EXPECT_TRUE(Exists(folder + file)) << Narrow(file);
        for (const std::wstring& file : c.filesAfter) EXPECT_FALSE(Exists(folder + file)) << Narrow(file);
        if (c.valueBefore) {
            EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, c.valueBefore).has_value());
        }
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, key, c.valueAfter).has_value());
        EXPECT_EQ(c.recordWritten, KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(c.product)));
        EXPECT_EQ(c.recordWritten, Exists(RecordFile(c.product)));
    }
}

}  // namespace
