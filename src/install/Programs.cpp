#include "install/Programs.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "elevation/Launch.h"
#include "elevation/RequestChannel.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"

#include <cstring>
#include <vector>

namespace tarvo {

namespace {

const wchar_t kTempInstallMarker[] = L"<TempInstall>";
constexpr int kEntryNameStart = 14;  // after "<TempInstall>"
const wchar_t kRunElevatedFlag[] = L" -RUNELEVATED";
// ERROR_ELEVATION_REQUIRED, which not every SDK's headers name.
constexpr DWORD kElevationRequired = 740;

// Waits for `process` to end. With `keepWindowsAnswering`, the calling thread owns a window (the
// container's) that must go on painting and updating while the program runs: its messages are
// dispatched meanwhile. A quit message stops that and is posted again for the thread's own loop.
void WaitForProcess(HANDLE process, bool keepWindowsAnswering) {
    while (keepWindowsAnswering) {
        DWORD woke = ::MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(int(msg.wParam));
                keepWindowsAnswering = false;
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::WaitForSingleObject(process, INFINITE);
}

bool CreateProcessFor(const WString& commandLine, bool wait, bool keepWindowsAnswering, DWORD& error,
                      DWORD* exitCode) {
    // The system may write into the command line it is given.
    std::vector<wchar_t> buffer(commandLine.c_str(), commandLine.c_str() + commandLine.Length());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                          &startup, &info)) {
        error = ::GetLastError();
        return false;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    if (wait) {
        WaitForProcess(process.Get(), keepWindowsAnswering);
        DWORD code = 0;
        if (exitCode && ::GetExitCodeProcess(process.Get(), &code)) *exitCode = code;
    }
    return true;
}

// Case-insensitive (ASCII) search of `pattern` (lower case) in `bytes`.
bool ContainsIgnoringCase(const std::vector<uint8_t>& bytes, const char* pattern) {
    const size_t length = std::strlen(pattern);
    if (bytes.size() < length) return false;
    for (size_t at = 0; at + length <= bytes.size(); ++at) {
        size_t i = 0;
        while (i < length) {
            uint8_t b = bytes[at + i];
            if (b >= 'A' && b <= 'Z') b = uint8_t(b - 'A' + 'a');
            if (b != uint8_t(pattern[i])) break;
            ++i;
        }
        if (i == length) return true;
    }
    return false;
}

// An unquoted path with blanks lets the system try each prefix before a blank as a program
// ("C:\Program.exe" for "C:\Program Files\..."). A path that names a file is therefore quoted;
// any other text is left for the system to split, as a program line that carries its own
// arguments relies on.
WString CommandLineForProgram(const WString& program) {
    if (program.Find(L' ') == 0 || program.At(1) == L'"' || !PathExists(program)) return program;
    return FormatText(L"\"%s\"", program.c_str());
}

}  // namespace

namespace {

bool StartCommandLineImpl(const WString& commandLine, bool wait, DWORD* exitCode, bool keepWindowsAnswering = false) {
    if (exitCode) *exitCode = 0;
    DWORD error = ERROR_SUCCESS;
    if (CreateProcessFor(commandLine, wait, keepWindowsAnswering, error, exitCode)) return true;
    ::SetLastError(error);  // after the buffer's release, for the caller
    return false;
}

}  // namespace

bool StartCommandLine(const WString& commandLine, bool wait) { return StartCommandLineImpl(commandLine, wait, nullptr); }

bool RunCommandLine(const WString& commandLine, DWORD& exitCode) {
    return StartCommandLineImpl(commandLine, true, &exitCode);
}

ManifestLevel ReadManifestLevel(const WString& programPath) {
    static const char* const kLevels[] = {"level=requireadministrator", "level=\"requireadministrator\""};
    constexpr size_t kOverlap = 27;  // the longer marker less one byte
    constexpr DWORD kChunk = 1 << 20;

    DiskFile file;
    if (!file.Open(programPath, GENERIC_READ, OPEN_EXISTING, false)) return ManifestLevel::Unreadable;
    const uint64_t size = file.Size();
    uint64_t total = 0;
    bool found = false;
    // Read in pieces that overlap by less than a marker, so that a marker across a boundary is
    // still seen whole and large setup programs are not held in memory.
    std::vector<uint8_t> window;
    std::vector<uint8_t> chunk(kChunk);
    for (;;) {
        DWORD got = file.Read(kChunk, chunk.data());
        total += got;
        if (got == 0) break;
        window.insert(window.end(), chunk.begin(), chunk.begin() + got);
        for (const char* level : kLevels) found = found || ContainsIgnoringCase(window, level);
        // Found, the program runs here whether or not the rest could be read.
        if (found) return ManifestLevel::RequireAdministrator;
        if (window.size() > kOverlap) window.erase(window.begin(), window.end() - kOverlap);
        if (got < kChunk) break;
    }
    return total == size ? ManifestLevel::AsInvoker : ManifestLevel::Unreadable;
}

void RunProgram(const WString& programLine, const WString& argumentsLine, bool wait, bool mayRunAsUser, HWND owner,
                DWORD* exitCode) {
    if (exitCode) *exitCode = 0;
    WString program = programLine;
    WString arguments = argumentsLine;
    bool extracted = false;

    if (programLine.Find(kTempInstallMarker) != 0) {
        WString entry = programLine.From(kEntryNameStart);
        if (entry.At(1) == L'\\') entry.RemoveAt(1);
        {
            // The reserved name keeps the extracted program's name unique; the program keeps its
            // own file name behind it.
            TempFileName reserved;
            reserved.Make("", "-");
            program = reserved.Path() + PathFileName(entry);
        }
        if (!CurrentPackage || !CurrentPackage->Archive().ExtractEntry(entry, program)) {
            DeleteFile(program);
            ShowMessageBox(owner, FormatText(L"Cannot install '%s', disk may be full.", entry.c_str()), InstallerCaption,
                           MB_OK | MB_ICONERROR);
            if (exitCode) *exitCode = kProgramNotRun;
            return;
        }
        extracted = true;
    }
    ExpandPlaceholders(program);
    // The arguments are expanded here, where "<Destination>" is known: the launcher that runs a
    // program for the user never learns the install folder.
    ExpandPlaceholders(arguments);

    const bool document = !EqualsIgnoreCase(PathExtension(program), L".exe");
    bool asUser = false;
    if (mayRunAsUser) {
        if (arguments.Contains(kRunElevatedFlag)) {
            ReplaceAll(arguments, kRunElevatedFlag, L"", false);
        } else if (!extracted) {
            asUser = (document && arguments.Empty()) || ReadManifestLevel(program) == ManifestLevel::AsInvoker;
        }
    }

    if (asUser) {
        StringList request;
        request.Add(kRunRequest);
        request.Add(program);
        request.Add(arguments);
        request.Add(wait ? L"1" : L"0");
        PostRequest(request);
        return;
    }

    bool ran = false;
    bool commandLineRun = false;
    if (document && arguments.Empty()) {
        ran = StartWithShell(program, WString(), nullptr, wait, exitCode);
    } else {
        WString commandLine =
            arguments.Empty() ? CommandLineForProgram(program) : FormatText(L"\"%s\" %s", program.c_str(), arguments.c_str());
        ExpandPlaceholders(commandLine);
        // An owner window of this very thread (the container's, on the container worker) would
        // neither paint nor show the next installer's number while the program runs.
        const bool ownWindow = owner && ::GetWindowThreadProcessId(owner, nullptr) == ::GetCurrentThreadId();
        ran = StartCommandLineImpl(commandLine, wait, exitCode, ownWindow);
        if (!ran && ::GetLastError() == kElevationRequired) ran = LaunchElevated(program, arguments, wait, exitCode);
        commandLineRun = true;
    }
    if (!ran && exitCode) *exitCode = kProgramNotRun;
    if (!ran && !SilentMode) {
        ShowMessageBox(owner, FormatText(L"Error whilst running '%s'", program.c_str()), InstallerCaption,
                       MB_OK | MB_ICONERROR);
    }
    // A program that was started without waiting is still running and cannot be deleted; it
    // stays in the temporary folder.
    if (extracted && commandLineRun) DeleteFile(program);
}

void RunRequestedProgram(const WString& program, const WString& arguments, bool wait) {
    RunProgram(program, arguments, wait, false, nullptr);
}

}  // namespace tarvo
