#include "uninstall/UninstallMode.h"

#include "base/CommandLine.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/WindowsVersion.h"
#include "elevation/Launch.h"
#include "script/Placeholders.h"
#include "uninstall/UninstallWorker.h"

#include <objbase.h>

namespace tarvo {

WString UninstallRecordArgument(const WString& commandLine) {
    WString path;
    int at = commandLine.Find(L"<uninstall>", 1);
    if (at) path = commandLine.From(at + 11);
    if (path.Empty()) {
        at = commandLine.Find(L"--uninstall=", 1);
        if (at) path = commandLine.From(at + 12);
    }
    if (path.At(1) == L'"') path.RemoveAt(1);
    if (path.At(kLastPosition) == L'"') path.RemoveLast(1);
    return path;
}

DWORD RunUninstallMode(const UninstallModeHooks& hooks) { return RunUninstallMode(hooks, WString(::GetCommandLineW())); }

DWORD RunUninstallMode(const UninstallModeHooks& hooks, const WString& commandLine) {
    InstallerCaption = L"UnInstaller";
    if (IsAdministrator()) {
        UninstallRecordPath = UninstallRecordArgument(commandLine);
        if (UninstallRecordPath.Empty()) return kExitSuccess;
        HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ProjectName = RecordProductName(UninstallRecordPath);
        DestinationFolder = ReadInstallFolder(ProjectName);
        DWORD code = hooks.runWizard ? hooks.runWizard() : kExitSuccess;
        if (SUCCEEDED(com)) ::CoUninitialize();
        return code;
    }
    if (HasText(commandLine, L"--IsElevated")) {
        ShowMessageBox(nullptr,
                       L"Uninstaller requires Administrator rights, change this account to an Administrator, then retry "
                       L"the uninstall.",
                       InstallerCaption, MB_OK | MB_ICONERROR);
        return kExitFailed;
    }
    if (hooks.showWaitingWindow) hooks.showWaitingWindow();
    const OSVERSIONINFOW& version = WindowsVersion();
    if (IsXpOrLater(version) && version.dwMajorVersion < 6) {
        ShowMessageBox(nullptr,
                       L"Uninstaller requires Administrator rights, on the next page shown, select 'The Following User' "
                       L"and choose the Administrator user.",
                       InstallerCaption, MB_OK | MB_ICONINFORMATION);
    }
    DWORD code = kExitSuccess;
    WString arguments = FormatText(L"--IsElevated %s", CommandLineTail(commandLine).c_str());
    if (!LaunchElevated(ModulePath(), arguments, true, &code)) {
        code = ::GetLastError() == ERROR_CANCELLED ? kExitUserCancelled : kExitFailed;
    }
    return code;
}

}  // namespace tarvo
