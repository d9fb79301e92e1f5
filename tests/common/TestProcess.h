#pragma once
// A program that a test starts as a real process, its standard output and error going to a
// temporary file that the test can read afterwards.
#include "base/Handle.h"
#include "base/Win.h"

#include <tlhelp32.h>

#include <string>
#include <vector>

namespace tarvo::testing {

// A file in the test executable's own folder (programs and fixtures copied beside it).
inline std::wstring BesideTest(const wchar_t* name) {
    wchar_t self[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.erase(folder.rfind(L'\\') + 1);
    return folder + name;
}

inline std::string ReadWholeFile(const std::wstring& path) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

// An argument as the C runtime splits command lines: in double quotes when it holds blanks or
// quotes, inner quotes escaped.
inline std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    for (wchar_t c : argument) {
        if (c == L'"') quoted += L'\\';
        quoted += c;
    }
    return quoted + L"\"";
}

inline std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Ends every process whose file name is `exeName` (case-insensitive): the copies a program
// started of itself, which a failing test must not leave behind.
inline void KillProcessesNamed(const std::wstring& exeName) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (::lstrcmpiW(entry.szExeFile, exeName.c_str()) != 0) continue;
        KernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process) ::TerminateProcess(process.Get(), 999);
    }
    ::CloseHandle(snapshot);
}

class TestProcess {
public:
    // `arguments` is everything after the quoted program path, passed on as it is.
    TestProcess(const std::wstring& exe, const std::wstring& arguments) : exe_(exe) {
        wchar_t folder[MAX_PATH] = {0};
        wchar_t name[MAX_PATH] = {0};
        ::GetTempPathW(MAX_PATH, folder);
        ::GetTempFileNameW(folder, L"tpr", 0, name);
        outputPath_ = name;
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        FileHandle output(::CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                        CREATE_ALWAYS, 0, nullptr));
        std::wstring commandLine = L"\"" + exe + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.Get();
        startup.hStdError = output.Get();
        PROCESS_INFORMATION info = {};
        if (::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &info)) {
            process_.Reset(info.hProcess);
            ::CloseHandle(info.hThread);
            pid_ = info.dwProcessId;
        }
    }
    ~TestProcess() {
        if (Running()) End();
        ::DeleteFileW(outputPath_.c_str());
    }
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    bool Started() const { return process_.Valid(); }
    DWORD Pid() const { return pid_; }
    bool Running() const { return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    // Waits for the end and returns the exit code. The limit only keeps a broken run from hanging:
    // past it, the program and every process of the same name are ended and 1000 comes back;
    // 1001 when it never started.
    DWORD Finish(DWORD limitMs = 120000) {
        if (!process_) return 1001;
        if (::WaitForSingleObject(process_.Get(), limitMs) != WAIT_OBJECT_0) {
            End();
            return 1000;
        }
        DWORD code = 1000;
        ::GetExitCodeProcess(process_.Get(), &code);
        return code;
    }
    std::string Output() const { return ReadWholeFile(outputPath_); }

private:
    void End() {
        ::TerminateProcess(process_.Get(), 999);
        KillProcessesNamed(FileNameOf(exe_));
    }

    std::wstring exe_;
    KernelHandle process_;
    DWORD pid_ = 0;
    std::wstring outputPath_;
};

}  // namespace tarvo::testing
