#pragma once
// Removal end to end: the uninstaller started from the command lines an installation records,
// the way Windows' list of installed programs starts them; its wizard found and watched from the
// test; and what the machine holds before and after, as a comparable snapshot.
#include "e2e/E2eSupport.h"

#include <functional>
#include <map>

namespace tarvo::e2e {

// The caption of the uninstaller's wizard and of its message boxes.
inline const std::wstring kUninstallerCaption = L"UnInstaller";
// Controls of the wizard (dialog template 123).
constexpr int kWizardNext = 1;    // "Uninstall"
constexpr int kWizardCancel = 2;  // "Cancel", later "Finish"
constexpr int kWizardProgress = 1001;

inline std::wstring Text(int number) { return std::to_wstring(number); }

// A command line started as it stands, as the list of installed programs starts an
// "UninstallString": CreateProcess with no application name, so the quoted program path and
// everything after it come from the text alone; the current folder is the system folder, not
// the test's (which lies in the build tree, on the drive that maps the host's root).
class CommandLineProcess {
public:
    explicit CommandLineProcess(const std::wstring& commandLine) {
        std::wstring text = commandLine;
        const bool quoted = !text.empty() && text[0] == L'"';
        size_t end = quoted ? text.find(L'"', 1) : text.find(L' ');
        exeName_ = FileNameOf(quoted ? text.substr(1, end == std::wstring::npos ? end : end - 1) : text.substr(0, end));
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        const std::wstring folder = SystemFolder();
        if (::CreateProcessW(nullptr, &text[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info)) {
            process_.Reset(info.hProcess);
            ::CloseHandle(info.hThread);
        }
    }
    ~CommandLineProcess() {
        if (Running()) {
            ::TerminateProcess(process_.Get(), 999);
            KillProcessesNamed(exeName_);
        }
    }
    CommandLineProcess(const CommandLineProcess&) = delete;
    CommandLineProcess& operator=(const CommandLineProcess&) = delete;

    bool Started() const { return process_.Valid(); }
    bool Running() const { return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    // The exit code; 1000 when the program had to be ended after `limitMs`, 1001 when it never
    // started.
    DWORD Finish(DWORD limitMs = 120000) {
        if (!process_) return 1001;
        if (::WaitForSingleObject(process_.Get(), limitMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_.Get(), 999);
            KillProcessesNamed(exeName_);
            return 1000;
        }
        DWORD code = 1000;
        ::GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    KernelHandle process_;
    std::wstring exeName_;
};

inline void SetString(HKEY root, const std::wstring& key, const wchar_t* value, const std::wstring& text) {
    ::RegSetKeyValueW(root, key.c_str(), value, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
}

// --- Windows of another process ------------------------------------------------------------

inline std::wstring WindowTextOf(HWND window) {
    wchar_t buffer[1024] = {0};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, &ignored);
    return buffer;
}

namespace detail {

struct CaptionSearch {
    std::wstring caption;
    std::vector<HWND> found;
};

// Window enumeration callbacks are named functions: a lambda does not convert to the stdcall
// WNDENUMPROC of 32-bit Windows.
inline BOOL CALLBACK CollectByCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<CaptionSearch*>(param);
    if (::IsWindowVisible(window) && WindowTextOf(window) == search->caption) search->found.push_back(window);
    return TRUE;
}

inline BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    if (::lstrcmpiW(ClassOf(child).c_str(), L"Static") == 0) {
        *reinterpret_cast<std::wstring*>(param) += WindowTextOf(child) + L"\n";
    }
    return TRUE;
}

inline BOOL CALLBACK FindVisibleListBox(HWND child, LPARAM param) {
    if (::lstrcmpiW(ClassOf(child).c_str(), L"ListBox") != 0 || !::IsWindowVisible(child)) return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

}  // namespace detail

// The visible top-level windows whose caption is `caption`.
inline std::vector<HWND> TopLevelWindows(const std::wstring& caption) {
    detail::CaptionSearch search{caption, {}};
    ::EnumWindows(detail::CollectByCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The uninstall wizard on the screen (the dialog with the progress bar; the message boxes share
// its caption), or null.
inline HWND UninstallWizardWindow() {
    for (HWND window : TopLevelWindows(kUninstallerCaption)) {
        if (::GetDlgItem(window, kWizardProgress)) return window;
    }
    return nullptr;
}

// A message box of the uninstaller (caption "UnInstaller", no progress bar), or null.
inline HWND UninstallerMessageBox() {
    for (HWND window : TopLevelWindows(kUninstallerCaption)) {
        if (!::GetDlgItem(window, kWizardProgress) && ClassOf(window) == L"#32770") return window;
    }
    return nullptr;
}

// The texts of a window's static controls, one line each (a message box's text is one of them).
inline std::wstring StaticTexts(HWND window) {
    std::wstring texts;
    ::EnumChildWindows(window, detail::CollectStaticText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// The wizard's completed page: the second button says "Finish" and can be pressed.
inline bool ShowsCompletedPage(HWND wizard) {
    HWND finish = ::GetDlgItem(wizard, kWizardCancel);
    return finish && WindowTextOf(finish) == L"Finish" && ::IsWindowEnabled(finish);
}

// The restart list of the completed page (a list box, the wizard's only one), or null.
inline HWND RestartList(HWND wizard) {
    HWND found = nullptr;
    ::EnumChildWindows(wizard, detail::FindVisibleListBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Clicks the check box of the first row of the restart list: the check icon (16, 20 or 24 pixels
// by DPI) drawn 28 scaled pixels from the row's left edge.
inline void ClickFirstRowCheckBox(HWND list) {
    const int scaled100 = ::MulDiv(100, ScreenDpi(), 96);
    const int iconSize = scaled100 < 125 ? 16 : scaled100 < 150 ? 20 : 24;
    const int rowHeight = int(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    POINT point = {::MulDiv(28, ScreenDpi(), 96) + iconSize / 2, rowHeight / 2};
    ::ClientToScreen(list, &point);
    ClickAt(point);
}

// Saves a screenshot of `window` after a moment for painting, with the mouse moved out of the
// way of hover effects; the path, empty when it failed.
inline std::wstring Screenshot(HWND window, const std::wstring& name) {
    INPUT away = {};
    away.type = INPUT_MOUSE;
    away.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SetCursorPos(0, 0);
    ::SendInput(1, &away, sizeof(away));
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::Sleep(400);
    return SaveScreenshot(window, name);
}

// --- Delayed deletions ---------------------------------------------------------------------

inline const std::wstring kSessionManagerKey = L"System\\CurrentControlSet\\Control\\Session Manager";

// PendingFileRenameOperations as pairs (source, new name); an empty new name deletes.
inline std::vector<std::pair<std::wstring, std::wstring>> PendingRenames() {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey.c_str(), L"PendingFileRenameOperations",
                       RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return pairs;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey.c_str(), L"PendingFileRenameOperations",
                       RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size) != ERROR_SUCCESS) {
        return pairs;
    }
    // Empty strings are meaningful here (the new name of a deletion): split on every NUL up to
    // the size the value holds.
    std::vector<std::wstring> strings;
    size_t count = size / sizeof(wchar_t);
    for (size_t at = 0; at < count;) {
        std::wstring item(&data[at]);
        strings.push_back(item);
        at += item.size() + 1;
    }
    while (!strings.empty() && strings.back().empty() && strings.size() % 2 == 1) strings.pop_back();
    for (size_t i = 0; i + 1 < strings.size(); i += 2) pairs.emplace_back(strings[i], strings[i + 1]);
    return pairs;
}

// Whether a pending rename's source names `path` (the system stores it as "\??\C:\...").
inline bool NamesPath(const std::wstring& source, const std::wstring& path) {
    std::wstring plain = source.compare(0, 4, L"\\??\\") == 0 ? source.substr(4) : source;
    return ::lstrcmpiW(plain.c_str(), path.c_str()) == 0;
}

inline bool DeletionPendingFor(const std::wstring& path) {
    for (const auto& pair : PendingRenames()) {
        if (NamesPath(pair.first, path) && pair.second.empty()) return true;
    }
    return false;
}

// Takes the pending operations on paths under `folder` out of the list (deleting the value when
// nothing else is left), so that the prefix's next start does not carry them out.
inline void ForgetPendingRenamesUnder(const std::wstring& folder) {
    auto pairs = PendingRenames();
    std::wstring kept;
    bool changed = false;
    const std::wstring prefix = folder + L"\\";
    for (const auto& pair : pairs) {
        std::wstring plain = pair.first.compare(0, 4, L"\\??\\") == 0 ? pair.first.substr(4) : pair.first;
        if (plain.size() >= prefix.size() && ::CompareStringOrdinal(plain.c_str(), int(prefix.size()), prefix.c_str(),
                                                                    int(prefix.size()), TRUE) == CSTR_EQUAL) {
            changed = true;
            continue;
        }
        kept += pair.first + L'\0' + pair.second + L'\0';
    }
    if (!changed) return;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    if (kept.empty()) {
        ::RegDeleteValueW(key, L"PendingFileRenameOperations");
    } else {
        kept += L'\0';
        ::RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                         reinterpret_cast<const BYTE*>(kept.data()), DWORD(kept.size() * sizeof(wchar_t)));
    }
    ::RegCloseKey(key);
}

// --- Snapshots of the machine ----------------------------------------------------------------

// What a part of the machine holds, as comparable text: one entry per registry key ("HKLM\key\"),
// registry value ("HKLM\key\[name]" -> type and data), folder ("path\" -> "") and file ("path" ->
// its bytes; a shortcut -> its target, since a .lnk file also records the target's times).
using Snapshot = std::map<std::wstring, std::string>;

inline void AddKey(Snapshot& snapshot, HKEY root, const std::wstring& rootName, const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
    const std::wstring at = rootName + L"\\" + key + L"\\";
    snapshot[at] = "";
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        std::string data(65536, '\0');
        DWORD size = DWORD(data.size());
        if (::RegEnumValueW(opened, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        data.resize(size);
        snapshot[at + L"[" + name + L"]"] = "type " + std::to_string(type) + ": " + data;
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (::RegEnumKeyExW(opened, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    ::RegCloseKey(opened);
    for (const std::wstring& subkey : subkeys) AddKey(snapshot, root, rootName, key + L"\\" + subkey);
}

inline void AddValue(Snapshot& snapshot, HKEY root, const std::wstring& rootName, const std::wstring& key,
                     const std::wstring& value) {
    std::string data(65536, '\0');
    DWORD size = DWORD(data.size());
    DWORD type = 0;
    if (::RegGetValueW(root, key.c_str(), value.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, &data[0], &size) !=
        ERROR_SUCCESS) {
        return;
    }
    data.resize(size);
    snapshot[rootName + L"\\" + key + L"\\[" + value + L"]"] = "type " + std::to_string(type) + ": " + data;
}

inline void AddPath(Snapshot& snapshot, const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const bool shortcut = path.size() > 4 && ::lstrcmpiW(path.c_str() + path.size() - 4, L".lnk") == 0;
        snapshot[path] = shortcut ? "shortcut to " + Narrow(ShortcutTarget(path)) : testing::ReadBytes(path);
        return;
    }
    snapshot[path + L"\\"] = "";
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    for (const std::wstring& name : names) AddPath(snapshot, path + L"\\" + name);
}

// The entries in which two snapshots differ, one line each, for a failure message.
inline std::string Differences(const Snapshot& before, const Snapshot& after) {
    std::string out;
    auto shortened = [](const std::string& data) { return data.size() > 80 ? data.substr(0, 80) + "..." : data; };
    for (const auto& entry : before) {
        auto other = after.find(entry.first);
        if (other == after.end()) {
            out += "  gone: " + Narrow(entry.first) + "\n";
        } else if (other->second != entry.second) {
            out += "  changed: " + Narrow(entry.first) + " (" + shortened(entry.second) + " -> " +
                   shortened(other->second) + ")\n";
        }
    }
    for (const auto& entry : after) {
        if (before.find(entry.first) == before.end()) out += "  new: " + Narrow(entry.first) + "\n";
    }
    return out;
}

}  // namespace tarvo::e2e
