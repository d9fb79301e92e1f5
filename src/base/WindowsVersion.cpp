#include "base/WindowsVersion.h"

namespace tarvo {

namespace {
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

OSVERSIONINFOW QueryVersion() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    // ntdll is mapped into every process, and RtlGetVersion ignores the manifest shims.
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        // Through void(*)(): GetProcAddress's generic pointer type is then cast without a warning.
        auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion && rtlGetVersion(&info) == 0) return info;
    }
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(&info);
#pragma GCC diagnostic pop
    return info;
}
}  // namespace

const OSVERSIONINFOW& WindowsVersion() {
    static const OSVERSIONINFOW version = QueryVersion();
    return version;
}

bool IsXpOrLater(const OSVERSIONINFOW& version) {
    return version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion != 0);
}

}  // namespace tarvo
