#pragma once
// Shared helpers for Windows tests: a message-box recorder, a scratch folder, file bytes.
#include "base/MessageBox.h"

#include <deque>
#include <fstream>
#include <string>
#include <vector>

namespace tarvo::testing {

// Installs a message-box hook for its lifetime. Every box is recorded; answers come from the
// queue, then from `fallback`.
class MessageRecorder {
public:
    explicit MessageRecorder(int fallback = IDCANCEL) : fallback_(fallback) {
        previous_ = SetMessageBoxHook([this](const MessageBoxCall& box) {
            calls.push_back(box);
            if (answers.empty()) return fallback_;
            int answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~MessageRecorder() { SetMessageBoxHook(std::move(previous_)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::wstring Text(size_t i) const { return i < calls.size() ? calls[i].text.c_str() : L""; }

    std::vector<MessageBoxCall> calls;
    std::deque<int> answers;

private:
    int fallback_;
    MessageBoxHook previous_;
};

// Removes a folder with everything in it, read-only files included (no-op when it is missing).
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = folder + L"\\" + name;
            ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else ::DeleteFileW(full.c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// A fresh folder under the temporary folder, deleted with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        for (unsigned n = ::GetTickCount();; ++n) {
            path_ = std::wstring(temp) + L"tarvo-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(n);
            if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
        }
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace tarvo::testing
