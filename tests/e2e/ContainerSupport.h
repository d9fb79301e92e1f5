#pragma once
// Helpers of the container end-to-end tests: the windows and message boxes of other processes,
// the probe log that the installers and probes of a container write, and a key held down.
#include "e2e/E2eSupport.h"

#include <functional>
#include <string>
#include <vector>

namespace tarvo::e2e {

struct WindowSearch {
    DWORD pid;  // 0: every process
    std::vector<HWND> found;
};

// Window enumeration callbacks are stdcall functions in the 32-bit build, which a lambda cannot be.
inline BOOL CALLBACK AddVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (::IsWindowVisible(window) && (search->pid == 0 || owner == search->pid)) search->found.push_back(window);
    return TRUE;
}

inline BOOL CALLBACK AddWindow(HWND window, LPARAM param) {
    reinterpret_cast<WindowSearch*>(param)->found.push_back(window);
    return TRUE;
}

// The visible top-level windows of process `pid` (every process when `pid` is 0).
inline std::vector<HWND> VisibleWindowsOf(DWORD pid) {
    WindowSearch search{pid, {}};
    ::EnumWindows(AddVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline std::vector<HWND> ChildrenOf(HWND parent) {
    WindowSearch search{0, {}};
    ::EnumChildWindows(parent, AddWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Moves every other visible window that covers part of `window` off the screen; true when there
// was none.
inline bool MoveOthersAside(HWND window) {
    RECT mine = {};
    ::GetWindowRect(window, &mine);
    bool clear = true;
    for (HWND other : VisibleWindowsOf(0)) {
        RECT theirs = {}, common = {};
        if (other == window || !::GetWindowRect(other, &theirs) || !::IntersectRect(&common, &mine, &theirs)) continue;
        ::SetWindowPos(other, nullptr, -2000, -2000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        clear = false;
    }
    return clear;
}

// A message box on the screen: its caption, its text and its buttons by command id.
struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // IDOK, IDYES, IDNO, ...
    bool hasIcon = false;

    // Presses a button the way a click does (the button tells its dialog).
    void Press(int id) const {
        for (HWND child : ChildrenOf(window)) {
            if (::GetDlgCtrlID(child) == id && ClassOf(child) == L"Button") {
                ::SendMessageTimeoutW(child, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
                return;
            }
        }
    }
};

// Reads a dialog as a message box: the longest static text is its text, the push buttons its
// answers; nothing when the window has no static text.
inline std::optional<MessageBoxSeen> ReadMessageBox(HWND window) {
    if (ClassOf(window) != L"#32770") return std::nullopt;
    MessageBoxSeen box;
    box.window = window;
    box.caption = TextOf(window);
    for (HWND child : ChildrenOf(window)) {
        const std::wstring kind = ClassOf(child);
        if (kind == L"Static") {
            if (::SendMessageW(child, STM_GETICON, 0, 0) != 0) box.hasIcon = true;
            std::wstring text = TextOf(child);
            if (text.size() > box.text.size()) box.text = text;
        } else if (kind == L"Button") {
            box.buttons.push_back(::GetDlgCtrlID(child));
        }
    }
    if (box.text.empty()) return std::nullopt;
    return box;
}

// The first message box of process `pid` (any process when 0) whose text contains `fragment`.
inline std::optional<MessageBoxSeen> FindMessageBox(DWORD pid, const std::wstring& fragment = L"") {
    for (HWND window : VisibleWindowsOf(pid)) {
        std::optional<MessageBoxSeen> box = ReadMessageBox(window);
        if (box && box->text.find(fragment) != std::wstring::npos) return box;
    }
    return std::nullopt;
}

inline std::optional<MessageBoxSeen> WaitForMessageBox(DWORD pid, const std::wstring& fragment = L"",
                                                       DWORD limitMs = 60000) {
    std::optional<MessageBoxSeen> box;
    WaitUntil([&] { return (box = FindMessageBox(pid, fragment)).has_value(); }, limitMs);
    return box;
}

// The lines of a probe log (see tests/fixtures/Probe.cpp), each "started pid=N elevated=E exe=PATH
// cmd=COMMAND LINE" or "ended pid=N".
inline std::vector<std::string> LogLines(const std::wstring& log) {
    std::vector<std::string> lines;
    std::string text = ReadWholeFile(log);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// The "started" lines of a probe log.
inline std::vector<std::string> StartedLines(const std::wstring& log) {
    std::vector<std::string> started;
    for (const std::string& line : LogLines(log)) {
        if (line.compare(0, 8, "started ") == 0) started.push_back(line);
    }
    return started;
}

// What follows "cmd=" in a "started" line: the command line that the probe was given.
inline std::string CommandLineOf(const std::string& startedLine) {
    size_t at = startedLine.find(" cmd=");
    return at == std::string::npos ? std::string() : startedLine.substr(at + 5);
}

// The file name of the program in a "started" line ("exe=PATH cmd=...").
inline std::string ProgramOf(const std::string& startedLine) {
    size_t from = startedLine.find(" exe=");
    size_t to = startedLine.find(" cmd=");
    if (from == std::string::npos || to == std::string::npos || to < from) return std::string();
    std::string path = startedLine.substr(from + 5, to - from - 5);
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An environment variable of this process for the life of the object; children inherit it.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

}  // namespace tarvo::e2e
