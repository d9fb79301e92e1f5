#include "elevation/Launch.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "script/Placeholders.h"

#include <shellapi.h>

namespace tarvo {

namespace {

constexpr DWORD kServePollMs = 1000;

struct ShellStart {
    bool started = false;
    KernelHandle process;  // may stay empty: a document handed to a running program has none
};

ShellStart StartThroughShell(const WString& file, const WString& parameters, const wchar_t* verb) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No error box from the shell: the callers report failures themselves (and not in silent
    // mode). The call is synchronous because the calling worker thread may end right after it.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = nullptr;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.Empty() ? nullptr : parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    ShellStart result;
    result.started = ::ShellExecuteExW(&info) != FALSE;
    if (result.started) {
        result.process.Reset(info.hProcess);
        if (result.process) ::AllowSetForegroundWindow(::GetProcessId(result.process.Get()));
    }
    return result;
}

}  // namespace

namespace {

void ReadExitCode(HANDLE process, DWORD* exitCode) {
    if (!exitCode) return;
    DWORD code = 0;
    *exitCode = ::GetExitCodeProcess(process, &code) ? code : 0;
}

}  // namespace

bool StartWithShell(const WString& file, const WString& parameters, const wchar_t* verb, bool wait, DWORD* exitCode) {
    if (exitCode) *exitCode = 0;
    ShellStart start = StartThroughShell(file, parameters, verb);
    if (!start.started) return false;
    if (wait && start.process) {
        ::WaitForSingleObject(start.process.Get(), INFINITE);
        ReadExitCode(start.process.Get(), exitCode);
    }
    return true;
}

bool LaunchElevated(const WString& program, const WString& arguments, bool wait, DWORD* exitCode) {
    return StartWithShell(program, arguments, L"runas", wait, exitCode);
}

bool LaunchAndServe(const WString& program, const WString& arguments, const WString& channelPath,
                    const RunRequestHandler& run, DWORD* exitCode) {
    if (exitCode) *exitCode = 0;
    ShellStart start = StartThroughShell(program, arguments, IsAdministrator() ? nullptr : L"runas");
    if (!start.started) return false;
    if (!start.process) return true;
    while (::WaitForSingleObject(start.process.Get(), kServePollMs) == WAIT_TIMEOUT) {
        if (FileSize(channelPath) != 0) ServeRequests(channelPath, run);
    }
    ReadExitCode(start.process.Get(), exitCode);
    return true;
}

}  // namespace tarvo
