#include "base/Process.h"

namespace tarvo {

HINSTANCE ModuleInstance = nullptr;
bool SilentMode = false;
BOOL RunningUnderWow64 = FALSE;
BOOL RedirectedSystemFolder = FALSE;
WString InstallerCaption(L"Setup");
WString ProjectName(L"Setup");
WString ElevationChannelPath;
WString DestinationFolder;
WString UninstallRecordPath;
WString ProgramVersion;
int64_t InstallSizeKB = 0;
bool Use64BitProgramFiles = false;

void DetectWow64() {
#if defined(_WIN64)
    RunningUnderWow64 = TRUE;
    RedirectedSystemFolder = FALSE;
#else
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    BOOL answer = FALSE;
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(
                                reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")))
                          : nullptr;
    if (isWow64 && !isWow64(::GetCurrentProcess(), &answer)) answer = FALSE;
    RunningUnderWow64 = answer;
    RedirectedSystemFolder = answer;
#endif
}

}  // namespace tarvo
