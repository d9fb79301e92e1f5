// The uninstall wizard of the real uninstaller, driven as a user drives it: the first page, the
// removal that cannot be closed while it runs, the uninstall programs that run before anything
// is removed, and the completed page.
#include "e2e/UninstallSupport.h"
#include "ui/WizardSurface.h"

#include <gtest/gtest.h>

using namespace tarvo::e2e;
using tarvo::testing::Exists;
using tarvo::testing::ReadBytes;
using tarvo::testing::ScratchFolder;
using tarvo::testing::WriteBytes;

namespace {

const std::wstring kProduct = L"Tarvo E2E Actions";
const std::wstring kProductKey = L"Software\\Tarvo E2E Actions";
const std::wstring kProgram = L"tarvo-e2e-actions.exe";

void Substitute(std::string& text, const std::string& token, const std::string& value) {
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size())) {
        text.replace(at, token.size(), value);
    }
}

// A product whose removal runs four uninstall programs: the installed probe waiting for the
// test's go-ahead, the probe again, a program that is not there, and the probe a last time.
class UninstallActions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        project_ = new Project;
        scratch_ = new ScratchFolder;
        setup_ = new std::wstring;
        project_->CopyIn(L"probe.exe", FixtureFile(L"tarvo-probe.exe"));
        project_->File(L"data.txt", "data");
        // {probe} is the installed probe, {log} its log, {gate} the file the first run waits for.
        std::string script =
            "[Project Name]\nTarvo E2E Actions\n\n"
            "[Install To]\n<Program Files>\\Tarvo E2E Actions\n\n"
            "[CopyFile]\nprobe.exe\n{probe}\n\n"
            "[CopyFile]\ndata.txt\n<Destination>\\data\\data.txt\n\n"
            "[CreateIcon]\n{probe}\n<Start Programs>\\Tarvo E2E Actions\\Actions.lnk\n\n\n"
            "[Registry]\nHKLM\nSoftware\\Tarvo E2E Actions\nSTRING\nFolder\n<Destination>\n\n"
            "[UninstallAction]\n{probe}\n--log=\"{log}\" --wait-file=\"{gate}\" first\n\n"
            "[UninstallAction]\n{probe}\n--log=\"{log}\" second\n\n"
            "[UninstallAction]\n<Destination>\\missing.exe\n\n\n"
            "[UninstallAction]\n{probe}\n--log=\"{log}\" last\n";
        Substitute(script, "{probe}", "<Destination>\\" + Narrow(kProgram));
        Substitute(script, "{log}", Narrow(LogPath()));
        Substitute(script, "{gate}", Narrow(GatePath()));
        project_->Script(script);
        *setup_ = project_->Build(L"actions-setup.exe");
    }
    static void TearDownTestSuite() {
        delete project_;
        delete scratch_;
        delete setup_;
    }
    void SetUp() override {
        ASSERT_FALSE(setup_->empty()) << "the installer was not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    void Forget() {
        KillProcessesNamed(L"TarvoUninstall.exe");
        KillProcessesNamed(kProgram);
        ForgetProduct(kProduct, {kProgram});
        ::DeleteFileW(LogPath().c_str());
        ::DeleteFileW(GatePath().c_str());
    }

    static std::wstring LogPath() { return *scratch_ / L"actions.log"; }
    static std::wstring GatePath() { return *scratch_ / L"go-ahead"; }

    // What the installation made, each still in place.
    void ExpectInstalled(const char* when) {
        SCOPED_TRACE(when);
        EXPECT_TRUE(Exists(folder_ + L"\\" + kProgram));
        EXPECT_TRUE(Exists(folder_ + L"\\data\\data.txt"));
        EXPECT_TRUE(Exists(shortcut_));
        EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Folder").has_value());
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(kProgram)));
        EXPECT_TRUE(Exists(RecordFile(kProduct)));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kProduct)));
    }

    // Screenshots are compared by eye at the usual 96 DPI only.
    static void Shoot(HWND window, const wchar_t* name) {
        if (ScreenDpi() == 96) {
            EXPECT_FALSE(Screenshot(window, name).empty()) << Narrow(name);
        }
    }

    static Project* project_;
    static ScratchFolder* scratch_;
    static std::wstring* setup_;
    const std::wstring folder_ = ProgramFiles() + L"\\Tarvo E2E Actions";
    const std::wstring shortcut_ = StartPrograms() + L"\\Tarvo E2E Actions\\Actions.lnk";
};
Project* UninstallActions::project_ = nullptr;
ScratchFolder* UninstallActions::scratch_ = nullptr;
std::wstring* UninstallActions::setup_ = nullptr;

TEST_F(UninstallActions, RunInOrderBeforeAnythingIsRemovedWhileTheWizardCannotBeClosed) {
    ASSERT_EQ(RunToEnd(*setup_, L"--silent"), 0u);
    ExpectInstalled("installed");
    const std::wstring uninstallString =
        ReadString(HKEY_LOCAL_MACHINE, UninstallKey(kProduct), L"UninstallString").value_or(L"");
    ASSERT_FALSE(uninstallString.empty());

    // Cancel on the first page leaves the product as it is.
    {
        CommandLineProcess uninstaller(uninstallString);
        DriverProcess driver({L"wait", kUninstallerCaption, L"20000", L"click", kUninstallerCaption,
                              Text(kWizardCancel), L"gone", kUninstallerCaption, L"20000"});
        EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
        EXPECT_EQ(uninstaller.Finish(), 1602u);
        EXPECT_FALSE(Exists(LogPath())) << "an uninstall program ran";
        ExpectInstalled("after Cancel");
    }

    CommandLineProcess uninstaller(uninstallString);
    HWND wizard = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (wizard = UninstallWizardWindow()) != nullptr; }));
    // Ready: the question, "Uninstall" and "Cancel", no progress bar.
    EXPECT_EQ(WindowTextOf(::GetDlgItem(wizard, kWizardNext)), L"Uninstall");
    EXPECT_EQ(WindowTextOf(::GetDlgItem(wizard, kWizardCancel)), L"Cancel");
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(wizard, kWizardProgress)));
    Shoot(wizard, L"uninstall-ready-96dpi.bmp");
    {
        DriverProcess driver({L"click", kUninstallerCaption, Text(kWizardNext)});
        EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
    }

    // The first program runs and waits for the go-ahead: the removal is under way.
    ASSERT_TRUE(WaitUntil([&] { return ReadBytes(LogPath()).find("first") != std::string::npos; }))
        << "the first uninstall program did not start";
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(wizard, kWizardNext)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(wizard, kWizardCancel)));
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(wizard, kWizardProgress)));
    Shoot(wizard, L"uninstall-removing-96dpi.bmp");
    // Every way of closing is refused while it runs.
    {
        DriverProcess driver({L"click", kUninstallerCaption, Text(kWizardCancel), L"mouse", kUninstallerCaption,
                              Text(tarvo::kCloseButtonId), L"keys", kUninstallerCaption, L"Escape", L"Alt+F4", L";",
                              L"sleep", L"200"});
        EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
        ::PostMessageW(wizard, WM_CLOSE, 0, 0);
        ::PostMessageW(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
        // Past two of the wizard's 250 ms polls, where a close request would be carried out.
        ::Sleep(800);
    }
    EXPECT_TRUE(uninstaller.Running());
    EXPECT_TRUE(::IsWindowVisible(wizard));
    ExpectInstalled("while the first uninstall program runs");

    // Go ahead: the second program runs, then the missing one is reported while nothing has
    // been removed yet.
    WriteBytes(GatePath(), "go");
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = UninstallerMessageBox()) != nullptr; })) << "no error message";
    EXPECT_NE(StaticTexts(box).find(L"Error whilst running '" + folder_ + L"\\missing.exe'."), std::wstring::npos)
        << Narrow(StaticTexts(box));
    EXPECT_EQ(::GetWindow(box, GW_OWNER), wizard);
    ExpectInstalled("while the error is shown");
    Shoot(box, L"uninstall-error-96dpi.bmp");
    {
        DriverProcess driver({L"answer", L"Error whilst running", L"OK"});
        EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
        EXPECT_NE(driver.Output().find("missing.exe"), std::string::npos) << driver.Output();
    }

    // Completed: "Finish" ends the wizard.
    HWND completed = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (completed = UninstallWizardWindow()) && ShowsCompletedPage(completed); }));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(completed, kWizardProgress)));
    EXPECT_EQ(RestartList(completed), nullptr);
    Shoot(completed, L"uninstall-completed-96dpi.bmp");
    {
        DriverProcess driver(
            {L"click", kUninstallerCaption, Text(kWizardCancel), L"gone", kUninstallerCaption, L"20000"});
        EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
    }
    EXPECT_EQ(uninstaller.Finish(), 0u);

    // The programs ran one after the other, in the record's order, each to its end.
    // A start line ends with the command line, whose last word names the entry.
    std::string log = ReadBytes(LogPath());
    std::vector<std::string> order;
    for (size_t at = 0, end; at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(at, end - at);
        if (line.rfind("started", 0) == 0) {
            order.push_back("started " + line.substr(line.rfind(' ') + 1));
        } else {
            order.push_back(line.substr(0, line.find(' ')));
        }
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"started first", "ended", "started second", "ended", "started last", "ended"}))
        << log;

    // And then the product went.
    EXPECT_FALSE(Exists(folder_));
    EXPECT_FALSE(Exists(StartPrograms() + L"\\Tarvo E2E Actions"));
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Folder").has_value());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(kProgram)));
    EXPECT_FALSE(Exists(RecordFile(kProduct)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kProduct)));
}

}  // namespace
