#include "elevation/RequestChannel.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "base/Process.h"
#include "base/Registry.h"

#include <tlhelp32.h>

#include <string>

namespace tarvo {

const wchar_t kRunRequest[] = L"[run]";
const wchar_t kSetDwordRequest[] = L"[setreg_hkcu_dword]";
const wchar_t kSetStringRequest[] = L"[setreg_hkcu_string]";

namespace {

constexpr DWORD kReadPauseMs = 500;
constexpr int kDeleteAttempts = 10;
constexpr DWORD kDeleteRetryMs = 100;
constexpr int kCreateAttempts = 50;
constexpr DWORD kCreateRetryMs = 100;
constexpr DWORD kConsumedPollMs = 250;

// The next line as a value: the empty text at the end of the file.
WString ReadValueLine(DiskFile& file) {
    WString line;
    ReadLine(file, line, true);
    return line;
}

void CarryOut(const WString& header, DiskFile& file, const RunRequestHandler& run) {
    WString first = ReadValueLine(file);
    WString second = ReadValueLine(file);
    WString third = ReadValueLine(file);
    if (header == kRunRequest) {
        if (!first.Empty() && run) run(first, second, uint32_t(ParseInteger(third)) != 0);
    } else if (header == kSetDwordRequest) {
        WriteDword(HKEY_CURRENT_USER, second, first, uint32_t(ParseInteger(third)));
    } else {
        WriteString(HKEY_CURRENT_USER, second, first, third);
    }
}

bool IsRequestHeader(const WString& line) {
    return line == kRunRequest || line == kSetDwordRequest || line == kSetStringRequest;
}

// --- the launcher as seen from the elevated instance ---------------------------------------------

// The shell starts the elevated instance on the launcher's behalf with the launcher as its parent
// (also when Windows elevates it through its consent service), so the parent process is the one
// whose end means that nobody will serve the channel any more.
struct LauncherProcess {
    KernelHandle process;  // none when the launcher is unknown or already gone
    bool gone = false;
};

DWORD ParentProcessId() {
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    const DWORD self = ::GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    }
    return 0;
}

bool StartedAfterThisProcess(HANDLE process) {
    FILETIME created, unused1, unused2, unused3, selfCreated;
    if (!::GetProcessTimes(process, &created, &unused1, &unused2, &unused3)) return false;
    if (!::GetProcessTimes(::GetCurrentProcess(), &selfCreated, &unused1, &unused2, &unused3)) return false;
    return ::CompareFileTime(&created, &selfCreated) > 0;
}

LauncherProcess OpenLauncher() {
    LauncherProcess launcher;
    const DWORD parentId = ParentProcessId();
    if (parentId == 0) return launcher;  // started from outside Windows' process tree: unknown
    // Windows before Vista knows no limited query right; the full one is asked for there.
    const DWORD rights[] = {SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, SYNCHRONIZE | PROCESS_QUERY_INFORMATION};
    DWORD error = ERROR_SUCCESS;
    for (DWORD access : rights) {
        launcher.process.Reset(::OpenProcess(access, FALSE, parentId));
        if (launcher.process) break;
        error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED) break;
    }
    if (!launcher.process) {
        // No process has that id any more. Access denied (a launcher of another account) leaves
        // the launcher unknown.
        launcher.gone = error == ERROR_INVALID_PARAMETER;
        return launcher;
    }
    // Process ids are reused: a process with the parent's id that started after this one is a
    // stranger, and the launcher ended before it could be watched.
    if (StartedAfterThisProcess(launcher.process.Get())) {
        launcher.process.Reset();
        launcher.gone = true;
    }
    return launcher;
}

LauncherProcess& Launcher() {
    static LauncherProcess launcher = OpenLauncher();
    return launcher;
}

bool LauncherEnded() {
    LauncherProcess& launcher = Launcher();
    if (!launcher.gone && launcher.process &&
        ::WaitForSingleObject(launcher.process.Get(), 0) == WAIT_OBJECT_0) {
        launcher.gone = true;
    }
    return launcher.gone;
}

// Sleeps one poll period, or less when the launcher ends meanwhile.
void WaitForConsumer() {
    LauncherProcess& launcher = Launcher();
    if (launcher.process) {
        ::WaitForSingleObject(launcher.process.Get(), kConsumedPollMs);
    } else {
        ::Sleep(kConsumedPollMs);
    }
}

}  // namespace

void ServeRequests(const WString& channelPath, const RunRequestHandler& run) {
    // The pause guards against reading a request its writer is still writing; with no file there
    // is nothing to guard (the launcher's last call, after the elevated instance has ended, then
    // returns at once instead of holding every installation back by half a second).
    if (!PathExists(channelPath)) return;
    ::Sleep(kReadPauseMs);
    if (!PathExists(channelPath)) return;
    {
        DiskFile file;
        if (file.Open(channelPath, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, false)) {
            WString line;
            while (ReadLine(file, line, true)) {
                if (IsRequestHeader(line)) CarryOut(line, file, run);
            }
        }
    }
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        if (DeleteFile(channelPath) || !PathExists(channelPath)) return;
        ::Sleep(kDeleteRetryMs);
    }
}

bool WatchLauncher() {
    const LauncherProcess& launcher = Launcher();
    return launcher.process.Valid() || launcher.gone;
}

bool PostRequest(const StringList& lines) {
    const WString& path = ElevationChannelPath;
    if (path.Empty() || LauncherEnded()) return false;

    std::wstring content;
    for (int i = 0; i < lines.Count(); ++i) {
        content.append(lines.At(i).c_str(), size_t(lines.At(i).Count()));
        content.append(L"\r\n");
    }
    bool written = false;
    for (int attempt = 0; attempt < kCreateAttempts && !written; ++attempt) {
        DiskFile file;
        if (file.Open(path, GENERIC_WRITE, CREATE_ALWAYS, false)) {
            written = file.Write(DWORD(content.size() * sizeof(wchar_t)), content.data());
            break;
        }
        ::Sleep(kCreateRetryMs);
    }

    while (PathExists(path)) {
        if (LauncherEnded()) {
            // The launcher may have served the file in its last moments.
            if (!PathExists(path)) break;
            DeleteFile(path);
            return false;
        }
        WaitForConsumer();
    }
    return written;
}

}  // namespace tarvo
