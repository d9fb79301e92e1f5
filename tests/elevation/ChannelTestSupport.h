#pragma once
// Helpers for tests of the request channel and of what goes through it: the fixture programs,
// a stand-in launcher that takes requests without carrying them out, unique registry keys, and
// bounded waits for what other processes do.
#include "base/Process.h"
#include "base/Text.h"
#include "common/WinTestSupport.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvo::testing {

// Path of a program built in tests/fixtures, next to the test executables' own folders.
inline std::wstring FixturePath(const wchar_t* name) {
    wchar_t self[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.erase(folder.rfind(L'\\') + 1);
    return folder + L"..\\fixtures\\" + name;
}

// Polls `condition` until it holds. The limit only keeps a broken run from hanging; nothing is
// concluded from the time taken.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD limitMs = 60000) {
    for (DWORD waited = 0;; waited += 20) {
        if (condition()) return true;
        if (waited >= limitMs) return false;
        ::Sleep(20);
    }
}

inline std::vector<std::string> LogLines(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Index of the first log line that begins with `lead`, or -1.
inline int LineIndex(const std::vector<std::string>& lines, const std::string& lead) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, lead.size(), lead) == 0) return int(i);
    }
    return -1;
}

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t ch : text) out += ch < 0x80 ? char(ch) : '?';
    return out;
}

// The bytes of a request file as the writer makes them: UTF-16 LE, CR LF after every line.
inline std::string ChannelBytes(const std::vector<std::wstring>& lines) {
    std::string bytes;
    for (const std::wstring& line : lines) {
        for (wchar_t ch : line + L"\r\n") {
            bytes += char(ch & 0xFF);
            bytes += char(ch >> 8);
        }
    }
    return bytes;
}

// A unique key path "Software\TarvoTest\<name>" deleted (with everything below it) from every
// root it was used under.
class TestKey {
public:
    explicit TestKey(const wchar_t* tag)
        : name_(std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount())) {}
    ~TestKey() {
        for (HKEY root : roots_) {
            ::RegDeleteTreeW(root, Path().c_str());
            ::RegDeleteKeyW(root, L"Software\\TarvoTest");  // only when empty
        }
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    std::wstring Path() const { return L"Software\\TarvoTest\\" + name_; }
    // Registers `root` for clean-up and gives the path.
    std::wstring Under(HKEY root) {
        roots_.push_back(root);
        return Path();
    }

private:
    std::wstring name_;
    std::vector<HKEY> roots_;
};

// Reads a value without creating its key. Type REG_NONE when it is not there.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;

    DWORD Dword() const {
        DWORD v = 0;
        if (data.size() == sizeof(v)) std::memcpy(&v, data.data(), sizeof(v));
        return v;
    }
    std::wstring Text() const {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
};

inline RegValue ReadRegValue(HKEY root, const std::wstring& key, const std::wstring& name) {
    RegValue value;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        if (::RegQueryValueExW(handle, name.c_str(), nullptr, &type, value.data.data(), &size) == ERROR_SUCCESS) {
            value.type = type;
            value.data.resize(size);
        }
    }
    ::RegCloseKey(handle);
    return value;
}

inline bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

// Stands in for the launcher: takes every request written to `path` (the raw bytes) and deletes
// the file, without carrying anything out. It reads only once the writer has closed the file:
// an open with no sharing fails while the writer still holds it.
class FakeLauncher {
public:
    explicit FakeLauncher(std::wstring path) : path_(std::move(path)), thread_([this] { Serve(); }) {}
    ~FakeLauncher() {
        stop_ = true;
        thread_.join();
    }
    FakeLauncher(const FakeLauncher&) = delete;
    FakeLauncher& operator=(const FakeLauncher&) = delete;

    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        while (!stop_) {
            HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                ::Sleep(20);
                continue;
            }
            std::string bytes;
            char buffer[4096];
            DWORD got = 0;
            while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
            ::CloseHandle(file);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(bytes);
            }
            ::DeleteFileW(path_.c_str());
        }
    }

    std::wstring path_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// Points the channel of this process at `path` for the lifetime of the object.
class ChannelPathScope {
public:
    explicit ChannelPathScope(const std::wstring& path) : previous_(ElevationChannelPath) {
        ElevationChannelPath = path.c_str();
    }
    ~ChannelPathScope() { ElevationChannelPath = previous_; }
    ChannelPathScope(const ChannelPathScope&) = delete;
    ChannelPathScope& operator=(const ChannelPathScope&) = delete;

private:
    WString previous_;
};

}  // namespace tarvo::testing
