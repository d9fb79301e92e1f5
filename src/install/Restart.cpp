#include "install/Restart.h"

#include "base/Handle.h"

namespace tarvo {

namespace {

// SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_INSTALLATION
constexpr DWORD kReasonSoftwareInstallation = 0x00030002;
// SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS: restart, and restart the applications that registered
// for it.
constexpr DWORD kRestartFlags = 0x00000084;
constexpr DWORD kGracePeriodSeconds = 40;
constexpr DWORD kLegacyTimeoutSeconds = 30;

ShutdownCalls::InitiateShutdownFn FindInitiateShutdown(HMODULE advapi32) {
    if (!advapi32) return nullptr;
    return reinterpret_cast<ShutdownCalls::InitiateShutdownFn>(
        reinterpret_cast<void*>(::GetProcAddress(advapi32, "InitiateShutdownW")));
}

ShutdownCalls& ActiveCalls() {
    static ShutdownCalls calls = DefaultShutdownCalls();
    return calls;
}

void EnableShutdownPrivilege() {
    KernelHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, ::GetCurrentProcessId()));
    if (!process) return;
    KernelHandle token;
    if (!::OpenProcessToken(process.Get(), TOKEN_ADJUST_PRIVILEGES, token.Receive())) return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return;
    ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

}  // namespace

ShutdownCalls DefaultShutdownCalls() {
    ShutdownCalls calls{};
    calls.findInitiateShutdown = &FindInitiateShutdown;
    calls.initiateSystemShutdown = &::InitiateSystemShutdownW;
    return calls;
}

const ShutdownCalls& CurrentShutdownCalls() { return ActiveCalls(); }

ShutdownCalls SetShutdownCalls(const ShutdownCalls& calls) {
    ShutdownCalls previous = ActiveCalls();
    ActiveCalls() = calls;
    return previous;
}

void RestartSystem() {
    EnableShutdownPrivilege();
    const ShutdownCalls& calls = ActiveCalls();
    // The system functions take writable texts.
    wchar_t restartMessage[] = L"System Restarting in 40 seconds";
    wchar_t legacyMessage[] = L"System Restarting in 30 seconds";
    ModuleHandle advapi32(::LoadLibraryW(L"advapi32.dll"));
    ShutdownCalls::InitiateShutdownFn initiateShutdown =
        calls.findInitiateShutdown ? calls.findInitiateShutdown(advapi32.Get()) : nullptr;
    if (initiateShutdown) {
        initiateShutdown(nullptr, restartMessage, kGracePeriodSeconds, kRestartFlags, kReasonSoftwareInstallation);
    } else if (calls.initiateSystemShutdown) {
        calls.initiateSystemShutdown(nullptr, legacyMessage, kLegacyTimeoutSeconds, FALSE, TRUE);
    }
    ::PostQuitMessage(0);
}

}  // namespace tarvo
