#include "startup/Startup.h"

#include "base/CommandLine.h"
#include "base/Com.h"
#include "base/Files.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/WindowsVersion.h"
#include "container/Container.h"
#include "container/ContainerWindows.h"
#include "dialogs/InstallWizard.h"
#include "dialogs/UninstallWizard.h"
#include "elevation/Launch.h"
#include "elevation/RequestChannel.h"
#include "install/Programs.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"
#include "uninstall/UninstallMode.h"

#include <memory>

namespace tarvo {

namespace {

// The launcher: starts the elevated copy and serves its requests until it ends.
DWORD RunLauncher() {
    ShowWaitingWindow();
    const OSVERSIONINFOW& version = WindowsVersion();
    if (!IsAdministrator() && IsXpOrLater(version) && version.dwMajorVersion < 6) {
        ShowMessageBox(nullptr,
                       L"Installer requires Administrator rights, on the next page shown, select 'The Following User' "
                       L"and choose the Administrator user.",
                       InstallerCaption, MB_OK | MB_ICONINFORMATION);
    }
    TempFileName channel;
    channel.Make("TVI");
    WString arguments = FormatText(L"--IsElevated=\"%s\" %s", channel.Path().c_str(), CommandLineTail().c_str());
    // The channel's appearance signals a request: it must not exist before the first one.
    ::DeleteFileW(channel.Path().c_str());
    DWORD code = kExitSuccess;
    RunRequestHandler run = RunRequestedProgram;
    if (!LaunchAndServe(ModulePath(), arguments, channel.Path(), run, &code)) {
        code = ::GetLastError() == ERROR_CANCELLED ? kExitUserCancelled : kExitFailed;
    }
    ServeRequests(channel.Path(), run);
    return code;
}

}  // namespace

void HardenDllSearch() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDirs>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    // Windows 7 without its 2011 loader update has no SetDefaultDllDirectories; taking the
    // current folder out of the search is what can still be done there.
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}

DWORD RunSetup(HINSTANCE instance) {
    ModuleInstance = instance;
    WString commandLine(::GetCommandLineW());
    CommandLineSwitches switches = ParseSwitches(commandLine);
    SilentMode = HasText(commandLine, L"<Silent>") || HasText(commandLine, L"--silent");
    DetectWow64();

    if (HasText(commandLine, L"<uninstall>") || HasText(commandLine, L"--uninstall=")) {
        return RunUninstallMode({[] { return RunUninstallWizard(); }, [] { ShowWaitingWindow(); }});
    }

    ComApartment com;
    int elevated = FindSwitch(switches, L"IsElevated");
    if (elevated >= 0 && !IsAdministrator()) {
        ShowMessageBox(nullptr,
                       L"Installer requires Administrator rights, change this account to an Administrator, then retry "
                       L"the install.",
                       InstallerCaption, MB_OK | MB_ICONERROR);
        return kExitFailed;
    }

    bool loadFailed = false;
    auto package = std::make_unique<SetupPackage>(loadFailed);
    if (loadFailed) return kExitFailed;
    CurrentPackage = package.get();

    DWORD code = kExitSuccess;
    ContainerResult container = RunContainer(ContainerWindow());
    if (container.handled) {
        code = container.exitCode;
    } else if (elevated >= 0) {
        ElevationChannelPath = switches.values.At(elevated);
        WatchLauncher();
        code = RunInstallWizard();
    } else {
        code = RunLauncher();
    }
    CurrentPackage = nullptr;
    return code;
}

}  // namespace tarvo
