// The uninstall wizard over a real product record in a scratch folder: confirming removes the
// product while every way of closing is refused, closing on the first page removes nothing, and
// silent mode runs by itself and stops only to offer a needed restart.
#include "dialogs/UninstallWizard.h"

#include "base/ExitCodes.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "base/Registry.h"
#include "common/WinTestSupport.h"
#include "dialogs/DialogTestSupport.h"
#include "install/Restart.h"
#include "resources/resource.h"
#include "uninstall/UninstallWorker.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <string>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kSessionKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";

std::wstring UniqueName() {
    static int n = 0;
    return L"TarvoWiz " + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
}

// One installed product: a record holding one file, the file, and the Uninstall key.
struct Product {
    std::wstring name = UniqueName();
    std::wstring record;
    std::wstring file;

    Product(const ScratchFolder& records, const ScratchFolder& install)
        : record(records / (L"TarvoUninstall-" + name + L".dat")), file(install / L"program.txt") {
        WriteBytes(file, "program");
        WriteBytes(record, "[CopyFile]\r\n1 - p\r\n<Destination>\\program.txt\r\n");
        std::wstring key = std::wstring(kUninstallKey) + L"\\" + name;
        WriteString(HKEY_LOCAL_MACHINE, key.c_str(), L"DisplayName", name.c_str());
        WriteString(HKEY_LOCAL_MACHINE, key.c_str(), L"InstallTo", install.Path().c_str());
        UninstallRecordPath = record.c_str();
        ProjectName = RecordProductName(UninstallRecordPath);
        DestinationFolder = ReadInstallFolder(ProjectName);
    }
    ~Product() { DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey, name.c_str()); }
};

int shutdownRequests = 0;
BOOL WINAPI FakeSystemShutdown(LPWSTR, LPWSTR, DWORD, BOOL, BOOL) {
    ++shutdownRequests;
    return TRUE;
}
ShutdownCalls::InitiateShutdownFn NoInitiateShutdown(HMODULE) { return nullptr; }

// Pumps this thread's messages until `done` holds or the bound of passes runs out.
bool PumpUntil(const std::function<bool()>& done) {
    for (int pass = 0; pass < 800; ++pass) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(int(message.wParam));
                return done();
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (done()) return true;
        ::Sleep(25);
    }
    return done();
}

void PumpAWhile() {
    int passes = 0;
    PumpUntil([&] { return ++passes > 12; });
}

dlgUnInstall* Wizard(HWND dialog) { return dynamic_cast<dlgUnInstall*>(WindowRegistry::Find(dialog)); }

void Command(HWND dialog, int id) { ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[64] = {0};
    ::GetDlgItemTextW(dialog, id, text, 64);
    return text;
}

class UninstallWizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        UninstallNeedsRestart = false;
        SilentMode = false;
        ResetProgress();
        shutdownRequests = 0;
        savedCalls_ = SetShutdownCalls({NoInitiateShutdown, FakeSystemShutdown});
    }
    void TearDown() override {
        SetShutdownCalls(savedCalls_);
        SilentMode = false;
        UninstallNeedsRestart = false;
        DestinationFolder.Clear();
        UninstallRecordPath.Clear();
        ProjectName = L"Setup";
        // RestartSystem leaves a quit message for the program's end.
        MSG message;
        while (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    // Runs the wizard; `script` runs on its thread once it is visible.
    DWORD Run(const std::function<void(HWND)>& script, const wchar_t* commandLine = L"TarvoUninstall.exe") {
        DWORD code = 0;
        DialogRun run = RunDialog(
            [&] {
                code = RunUninstallWizard(commandLine);
                return INT_PTR(0);
            },
            {}, script);
        EXPECT_EQ(0, run.endCode);
        return code;
    }

    CaptionScope caption_{L"UnInstaller"};
    ScratchFolder records_;
    ScratchFolder install_;
    ShutdownCalls savedCalls_{};
};

TEST_F(UninstallWizardTest, ConfirmedRemovalRefusesEveryCloseUntilItHasEnded) {
    Product product(records_, install_);
    bool checked = false;
    DWORD code = Run([&](HWND dialog) {
        dlgUnInstall* wizard = Wizard(dialog);
        ASSERT_NE(wizard, nullptr);
        wchar_t title[64] = {0};
        ::GetWindowTextW(dialog, title, 64);
        EXPECT_STREQ(title, L"UnInstaller");
        EXPECT_EQ(wizard->UninstallPage, dlgUnInstall::Ready);
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, IDC_PROGRESS)));

        // Holding the progress lock keeps the worker at its first progress step.
        ProgressLock.Lock();
        Command(dialog, IDOK);
        EXPECT_EQ(wizard->UninstallPage, dlgUnInstall::Uninstalling);
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, IDOK)));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDCANCEL)));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(dialog, IDC_PROGRESS)));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, kCloseButtonId)));
        Command(dialog, IDCANCEL);
        ::SendMessageW(dialog, WM_CLOSE, 0, 0);
        ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        // The bar follows the progress values as the timer polls them.
        ProgressDone = 2;
        ProgressTotal = 3;
        ProgressChanged = true;
        PumpUntil([] { return !ProgressChanged; });
        PumpAWhile();
        EXPECT_TRUE(::IsWindowVisible(dialog));
        EXPECT_EQ(wizard->UninstallPage, dlgUnInstall::Uninstalling);
        EXPECT_EQ(::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0), 66);
        ProgressLock.Unlock();

        EXPECT_TRUE(PumpUntil([&] { return wizard->UninstallPage == dlgUnInstall::Completed; }));
        EXPECT_EQ(ItemText(dialog, IDCANCEL), L"Finish");
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDCANCEL)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, kCloseButtonId)));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, IDC_PROGRESS)));
        EXPECT_EQ(wizard->RestartList().RowCount(), 0);
        checked = true;
        Command(dialog, IDCANCEL);
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(code, kExitSuccess);
    EXPECT_FALSE(Exists(product.file));
    EXPECT_FALSE(Exists(product.record));
    EXPECT_EQ(shutdownRequests, 0);
}

TEST_F(UninstallWizardTest, ClosingTheReadyPageRemovesNothing) {
    struct Case {
        const char* name;
        std::function<void(HWND)> close;
    } cases[] = {
        {"Cancel", [](HWND dialog) { Command(dialog, IDCANCEL); }},
        {"WM_CLOSE", [](HWND dialog) { ::SendMessageW(dialog, WM_CLOSE, 0, 0); }},
        {"Escape", [](HWND dialog) { ::PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Product product(records_, install_);
        DWORD code = Run(c.close);
        EXPECT_EQ(code, kExitUserCancelled);
        EXPECT_TRUE(Exists(product.file));
        EXPECT_TRUE(Exists(product.record));
    }
}

TEST_F(UninstallWizardTest, SilentRemovalEndsByItself) {
    Product product(records_, install_);
    SilentMode = true;
    EXPECT_EQ(Run(nullptr), kExitSuccess);
    EXPECT_FALSE(Exists(product.file));
    EXPECT_FALSE(Exists(product.record));
}

// A file in use can only go at the next restart: silent mode stops on the completed page with
// the restart row ticked, and Finish restarts unless the row was unticked first. With
// "--norestart" (the quiet uninstall string) it stops for nothing and restarts nothing.
TEST_F(UninstallWizardTest, SilentRemovalWithAFileInUseOffersTheRestart) {
    struct Case {
        const char* name;
        const wchar_t* commandLine;
        bool waits;
        bool untick;
        DWORD exitCode;
        int shutdowns;
    } cases[] = {
        {"ticked", L"TarvoUninstall.exe <Silent> <uninstall>x", true, false, kExitRestartStarted, 1},
        {"unticked", L"TarvoUninstall.exe <Silent> <uninstall>x", true, true, kExitRestartNeeded, 0},
        {"--norestart", L"TarvoUninstall.exe --norestart <Silent> <uninstall>x", false, false, kExitRestartNeeded, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shutdownRequests = 0;
        UninstallNeedsRestart = false;
        Product product(records_, install_);
        HANDLE held = ::CreateFileW(product.file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        SilentMode = true;
        bool checked = false;
        DWORD code = Run([&](HWND dialog) {
            dlgUnInstall* wizard = Wizard(dialog);
            ASSERT_NE(wizard, nullptr);
            if (!c.waits) return;  // ends by itself; the result tells whether it waited
            ASSERT_TRUE(PumpUntil([&] { return wizard->UninstallPage == dlgUnInstall::Completed; }));
            PumpAWhile();
            EXPECT_TRUE(::IsWindowVisible(dialog)) << "silent mode waits for the restart choice";
            XValueList& list = wizard->RestartList();
            ASSERT_EQ(list.RowCount(), 1);
            EXPECT_STREQ(list.Row(0)->caption.c_str(), L"Restart Computer [Required to Finalize Uninstall]");
            EXPECT_TRUE(list.IsChecked(0));
            if (c.untick) list.SetChecked(0, false);
            checked = true;
            Command(dialog, IDCANCEL);
        }, c.commandLine);
        ::CloseHandle(held);
        EXPECT_EQ(checked, c.waits);
        EXPECT_EQ(code, c.exitCode);
        EXPECT_EQ(shutdownRequests, c.shutdowns);
        EXPECT_FALSE(Exists(product.record));
        HKEY key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key, L"PendingFileRenameOperations");
            ::RegCloseKey(key);
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
}

}  // namespace
