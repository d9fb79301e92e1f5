#pragma once
// Shared by the file tests: a unique scratch folder under the temporary folder (removed again
// afterwards), raw file helpers that do not go through the code under test, and a message-box
// hook that records every box and answers from a script.
#include "base/Files.h"
#include "base/MessageBox.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tarvo::testing {

inline std::wstring S(const WString& text) { return std::wstring(text.c_str()); }

// Files and folders are made and inspected with the plain system calls so that a fault in the
// code under test cannot hide itself.
inline bool WriteRaw(const std::wstring& path, const std::string& bytes) {
    std::wstring full = path.size() >= 248 ? L"\\\\?\\" + path : path;
    HANDLE h = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

inline std::string ReadRaw(const std::wstring& path) {
    std::wstring full = path.size() >= 248 ? L"\\\\?\\" + path : path;
    HANDLE h = ::CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    ::CloseHandle(h);
    return bytes;
}

inline DWORD Attributes(const std::wstring& path) {
    std::wstring full = path.size() >= 248 ? L"\\\\?\\" + path : path;
    return ::GetFileAttributesW(full.c_str());
}
inline bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }
inline bool IsDir(const std::wstring& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
inline bool MakeDir(const std::wstring& path) {
    std::wstring full = path.size() >= 248 ? L"\\\\?\\" + path : path;
    return ::CreateDirectoryW(full.c_str(), nullptr) != 0;
}

// Removes a tree with the plain system calls, clearing read-only attributes on the way.
inline void RemoveRaw(const std::wstring& folder) {
    std::wstring base = folder;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    if (base.size() < 10) return;  // never anything near a root
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((L"\\\\?\\" + base + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = L"\\\\?\\" + base + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    ::RemoveDirectoryW(path.c_str());
                } else {
                    RemoveRaw(base + L"\\" + name);
                }
            } else {
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW((L"\\\\?\\" + base).c_str());
}

// A fresh folder under the system temporary folder for one test; removed at the end.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        DWORD n = ::GetTempPathW(MAX_PATH, temp);
        ASSERT_GT(n, 0u);
        static int counter = 0;
        for (;;) {
            root_ = std::wstring(temp) + L"tarvo-files-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++counter);
            if (::CreateDirectoryW(root_.c_str(), nullptr)) break;
            ASSERT_EQ(DWORD(ERROR_ALREADY_EXISTS), ::GetLastError());
        }
        root_ += L"\\";
    }
    void TearDown() override { RemoveRaw(root_); }

    // The scratch folder, ending in "\".
    const std::wstring& Root() const { return root_; }
    std::wstring At(const std::wstring& relative) const { return root_ + relative; }

private:
    std::wstring root_;
};

// Points TMP and TEMP at another folder for the life of the object, so that temporary names
// land where the test can see them.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::wstring& folder) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[1024];
            DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
            saved_.push_back({name, n ? std::wstring(value, n) : std::wstring(), n != 0});
            ::SetEnvironmentVariableW(name, folder.c_str());
        }
    }
    ~TempFolderOverride() {
        for (const auto& v : saved_) ::SetEnvironmentVariableW(v.name, v.present ? v.value.c_str() : nullptr);
    }

private:
    struct Saved {
        const wchar_t* name;
        std::wstring value;
        bool present;
    };
    std::vector<Saved> saved_;
};

// Records every message box and answers from a queue (IDCANCEL once the queue is empty). An
// optional action runs before each answer, as a user would fix the problem before pressing Retry.
class BoxRecorder {
public:
    BoxRecorder() {
        previous_ = SetMessageBoxHook([this](const MessageBoxCall& call) {
            calls.push_back(call);
            if (onBox) onBox(call);
            if (answers.empty()) return IDCANCEL;
            int answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~BoxRecorder() { SetMessageBoxHook(std::move(previous_)); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<MessageBoxCall> calls;
    std::deque<int> answers;
    std::function<void(const MessageBoxCall&)> onBox;

private:
    MessageBoxHook previous_;
};

}  // namespace tarvo::testing
