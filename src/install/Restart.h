#pragma once
// Restarting Windows after an installation or removal that left files to be replaced or deleted
// at the next start.
#include "base/Win.h"

namespace tarvo {

// Asks Windows to restart after a countdown that Windows shows ("System Restarting in 40
// seconds"; 30 seconds on Windows versions without InitiateShutdownW), then posts a quit
// message (exit code 0) to the calling thread. The shutdown privilege is enabled first; the
// request's result is not examined and no error is shown: without the right to shut down only the
// quit message is seen.
void RestartSystem();

// The system calls behind RestartSystem. Tests put their own in place so that they can check the
// requests without restarting the machine they run on.
struct ShutdownCalls {
    using InitiateShutdownFn = DWORD(WINAPI*)(LPWSTR machine, LPWSTR message, DWORD gracePeriod, DWORD flags,
                                              DWORD reason);
    using InitiateSystemShutdownFn = BOOL(WINAPI*)(LPWSTR machine, LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                                                   BOOL rebootAfterShutdown);

    // InitiateShutdownW looked up in the loaded "advapi32.dll"; null where Windows lacks it.
    InitiateShutdownFn (*findInitiateShutdown)(HMODULE advapi32);
    InitiateSystemShutdownFn initiateSystemShutdown;
};

// The calls that RestartSystem uses now.
const ShutdownCalls& CurrentShutdownCalls();
// Puts `calls` in place and returns the ones used before. DefaultShutdownCalls() are Windows' own.
ShutdownCalls SetShutdownCalls(const ShutdownCalls& calls);
ShutdownCalls DefaultShutdownCalls();

}  // namespace tarvo
