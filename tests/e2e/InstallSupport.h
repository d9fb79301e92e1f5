#pragma once
// Watching and driving a running installer from the test process: its windows (the wizard, the
// licence window, message boxes) found by caption and control ids, the state of the wizard's
// pages read from its controls, real mouse clicks, the processes of one installation, the
// request file between them, and the restart's pending file operations that Windows (and wine)
// keep in the registry.
#include "e2e/E2eSupport.h"
#include "resources/resource.h"

#include <winternl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::e2e {

// --- Windows of another process ----------------------------------------------------------------

inline DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

namespace detail {

struct WindowSearch {
    const std::function<bool(HWND)>* match;
    std::vector<HWND> found;
};

// A named CALLBACK: a lambda would get the default calling convention, which 32-bit Windows'
// enumeration does not call.
inline BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    if (::IsWindowVisible(window) && (*search->match)(window)) search->found.push_back(window);
    return TRUE;
}

}  // namespace detail

// Every visible top-level window for which `match` holds, in z-order (the front one first).
inline std::vector<HWND> TopWindows(const std::function<bool(HWND)>& match) {
    detail::WindowSearch search{&match, {}};
    ::EnumWindows(detail::CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND Item(HWND dialog, int id) { return dialog ? ::GetDlgItem(dialog, id) : nullptr; }
inline bool ItemVisible(HWND dialog, int id) { return ::IsWindowVisible(Item(dialog, id)) != FALSE; }

// The install wizard whose caption is `caption` (the product's "... Installer"): the dialog with
// the Cancel/Finish button. The licence window has the same caption and is told apart by its
// text box.
inline HWND FindWizard(const std::wstring& caption) {
    std::vector<HWND> found = TopWindows([&](HWND w) {
        return ClassOf(w) == L"#32770" && TextOf(w) == caption && Item(w, IDC_CANCEL_FINISH) != nullptr;
    });
    return found.empty() ? nullptr : found.front();
}
inline HWND FindLicenceWindow(const std::wstring& caption) {
    std::vector<HWND> found = TopWindows([&](HWND w) {
        return ClassOf(w) == L"#32770" && TextOf(w) == caption && Item(w, IDC_LICENSE_TEXT) != nullptr;
    });
    return found.empty() ? nullptr : found.front();
}

// A visible message box whose text contains `fragment`; its window, or null.
inline HWND FindMessageBox(const std::wstring& fragment) {
    std::vector<HWND> found = TopWindows([&](HWND w) {
        if (ClassOf(w) != L"#32770") return false;
        HWND child = nullptr;
        while ((child = ::FindWindowExW(w, child, L"Static", nullptr)) != nullptr) {
            if (TextOf(child).find(fragment) != std::wstring::npos) return true;
        }
        return false;
    });
    return found.empty() ? nullptr : found.front();
}

// The whole text of a message box (its static controls, joined by "|").
inline std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    HWND child = nullptr;
    while ((child = ::FindWindowExW(box, child, L"Static", nullptr)) != nullptr) {
        std::wstring part = TextOf(child);
        if (part.empty()) continue;
        if (!text.empty()) text += L"|";
        text += part;
    }
    return text;
}

// Presses a push button of a window in another process, as a click would.
inline void Press(HWND dialog, int id) { ::PostMessageW(Item(dialog, id), BM_CLICK, 0, 0); }

// Answers a message box with one of its buttons (IDOK, IDYES, ...).
inline void Answer(HWND box, int id) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(box, id)));
}

// Waits for a message box with `fragment`, answers it with `id`; its text, empty when none came.
inline std::wstring WaitAndAnswer(const std::wstring& fragment, int id, DWORD limitMs = 30000) {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindMessageBox(fragment)) != nullptr; }, limitMs);
    if (!box) return L"";
    std::wstring text = MessageBoxText(box);
    Answer(box, id);
    // The box is gone before the next step looks for the next one.
    WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 10000);
    return text;
}

// The wizard's pages as its controls show them.
inline bool OnReadyPage(HWND wizard) { return ItemVisible(wizard, IDC_INSTALL) && ItemVisible(wizard, IDC_FOLDER); }
inline bool OnInstallingPage(HWND wizard) {
    return ItemVisible(wizard, IDC_PROGRESS) && !ItemVisible(wizard, IDC_INSTALL) &&
           TextOf(Item(wizard, IDC_CANCEL_FINISH)) == L"Cancel";
}
inline bool OnFinishedPage(HWND wizard) {
    HWND finish = Item(wizard, IDC_CANCEL_FINISH);
    return finish && TextOf(finish) == L"Finish" && ::IsWindowEnabled(finish) && !ItemVisible(wizard, IDC_PROGRESS);
}
// The option list of the Finished page (a list box child), or null.
inline HWND OptionList(HWND wizard) { return wizard ? ::FindWindowExW(wizard, nullptr, L"ListBox", nullptr) : nullptr; }
inline int RowCount(HWND list) { return list ? int(::SendMessageW(list, LB_GETCOUNT, 0, 0)) : -1; }

// Lets the window's thread finish what it was sent and paint what is invalid, so that a copy of
// the screen shows the current state.
inline void SettlePainting(HWND window) {
    DWORD_PTR unused = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &unused);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &unused);
}

// Where the tick image of an option row is on the screen: 28 pixels from the row's left edge at
// 96 DPI, 16 pixels wide, centred in the row's height.
inline RECT RowTickRect(HWND list, int row) {
    const int height = int(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    const int top = int(::SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    POINT corner = {28, (row - top) * height + (height - 16) / 2};
    ::ClientToScreen(list, &corner);
    return RECT{corner.x, corner.y, corner.x + 16, corner.y + 16};
}

// Whether the row shows its tick: the ticked image is filled with blue, the unticked one is a
// grey frame on white. Read from the screen, as a user sees it.
inline bool RowTicked(HWND list, int row) {
    RECT r = RowTickRect(list, row);
    HDC screen = ::GetDC(nullptr);
    int blue = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            COLORREF c = ::GetPixel(screen, x, y);
            if (GetBValue(c) > 150 && GetBValue(c) > GetRValue(c) + 60) ++blue;
        }
    }
    ::ReleaseDC(nullptr, screen);
    return blue > 16;
}

// Clicks the tick image of an option row, as a user unticks or ticks it, and waits until the row
// shows the change; false when it did not.
inline bool ClickRowTick(HWND list, int row) {
    const bool before = RowTicked(list, row);
    RECT r = RowTickRect(list, row);
    ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    return WaitUntil([&] { return RowTicked(list, row) != before; }, 10000);
}

// --- Processes ---------------------------------------------------------------------------------

inline std::vector<ProcessEntry> ChildrenOf(DWORD parent, const std::wstring& exeName = L"") {
    std::vector<ProcessEntry> children;
    for (const ProcessEntry& p : Processes()) {
        if (p.parent != parent || p.pid == parent) continue;
        if (!exeName.empty() && ::lstrcmpiW(p.exe.c_str(), exeName.c_str()) != 0) continue;
        children.push_back(p);
    }
    return children;
}

inline std::vector<ProcessEntry> ProcessesNamed(const std::wstring& exeName) {
    std::vector<ProcessEntry> found;
    for (const ProcessEntry& p : Processes()) {
        if (::lstrcmpiW(p.exe.c_str(), exeName.c_str()) == 0) found.push_back(p);
    }
    return found;
}

// The command line another process was started with, read from its process parameters; empty
// when it cannot be read. Both processes are of the same bitness here.
inline std::wstring CommandLineOf(DWORD pid) {
    using QueryFn = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!query || !process) return L"";
    PROCESS_BASIC_INFORMATION basic = {};
    if (query(process.Get(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) return L"";
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process.Get(), basic.PebBaseAddress, &peb, sizeof(peb), &read) ||
        !::ReadProcessMemory(process.Get(), peb.ProcessParameters, &parameters, sizeof(parameters), &read)) {
        return L"";
    }
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (text.empty() ||
        !::ReadProcessMemory(process.Get(), parameters.CommandLine.Buffer, &text[0], parameters.CommandLine.Length,
                             &read)) {
        return L"";
    }
    return text;
}

// Stops (or lets go on) every thread of a process this test started, the way a debugger does: a
// frozen launcher serves no request, which shows what only the launcher does.
inline void FreezeProcess(DWORD pid, bool freeze) {
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        KernelHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        if (!thread) continue;
        if (freeze) ::SuspendThread(thread.Get());
        else ::ResumeThread(thread.Get());
    }
}

// Ends one process by its id (a program an installation started for this test).
inline void EndProcess(DWORD pid) {
    KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) return;
    ::TerminateProcess(process.Get(), 999);
    ::WaitForSingleObject(process.Get(), 10000);
}

// --- One installation ------------------------------------------------------------------------

// An installer started as a user starts it: the launcher process, and the wizard that its
// elevated instance shows under the caption "<product> Installer".
class RunningInstaller {
public:
    RunningInstaller(const std::wstring& exe, const std::wstring& arguments, const std::wstring& product)
        : program_(exe, arguments), caption_(product + L" Installer"), exeName_(FileNameOf(exe)) {}

    Program& Launcher() { return program_; }
    DWORD LauncherPid() const { return program_.Pid(); }
    const std::wstring& Caption() const { return caption_; }
    const std::wstring& ExeName() const { return exeName_; }

    // The wizard, once it is up (null when it did not come within the limit).
    HWND WaitForWizard(DWORD limitMs = 30000) {
        HWND wizard = nullptr;
        WaitUntil([&] { return (wizard = FindWizard(caption_)) != nullptr; }, limitMs);
        return wizard;
    }
    // Waits until the wizard is on the page that `page` recognises.
    bool WaitForPage(bool (*page)(HWND), DWORD limitMs = 60000) {
        return WaitUntil(
            [&] {
                HWND wizard = FindWizard(caption_);
                return wizard && page(wizard);
            },
            limitMs);
    }
    DWORD Finish(DWORD limitMs = 120000) { return program_.Finish(limitMs); }

private:
    Program program_;
    std::wstring caption_;
    std::wstring exeName_;
};

// Runs the UI driver with `steps` to its end; its exit code (0: every step worked). What it
// printed is appended to `log` for the failure messages.
inline DWORD Drive(const std::vector<std::wstring>& steps, std::string& log) {
    DriverProcess driver(steps);
    if (!driver.Started()) {
        log += "tarvo-uidriver.exe did not start\n";
        return 1000;
    }
    DWORD code = driver.Finish(90000);
    log += driver.Output();
    return code;
}

// Saves a screenshot of `window` under the build tree after it has painted; the path.
inline std::wstring Screenshot(HWND window, const std::wstring& name) {
    ::SetForegroundWindow(window);
    SettlePainting(window);
    return SaveScreenshot(window, name + L"-" + std::to_wstring(ScreenDpi()) + L"dpi.bmp");
}

// --- Files ---------------------------------------------------------------------------------------

// A temporary file whose content holds `marker` as UTF-16 text: the request file the elevated
// instance writes for the launcher (made by the launcher in the temporary folder, "TVI" prefix).
inline std::wstring FindRequestFile(const std::wstring& marker) {
    wchar_t temp[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = temp;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"TVI*").c_str(), &data);
    std::wstring found;
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string bytes = ReadWholeFile(folder + data.cFileName);
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        if (text.find(marker) != std::wstring::npos) {
            found = folder + data.cFileName;
            break;
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return found;
}

// Holds a file open with no sharing, as a running program holds its own files.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path)
        : file_(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    bool Held() const { return file_.Valid(); }
    void Release() { file_.Reset(); }

private:
    FileHandle file_;
};

// --- The restart's pending file operations -------------------------------------------------------

inline const wchar_t* SessionManagerKey() { return L"SYSTEM\\CurrentControlSet\\Control\\Session Manager"; }

// PendingFileRenameOperations as pairs (source, target): target empty for a deletion, "!"
// before it for a replacing rename.
inline std::vector<std::pair<std::wstring, std::wstring>> PendingRenames() {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, SessionManagerKey(), L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                       nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return pairs;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, SessionManagerKey(), L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                       nullptr, data.data(), &size) != ERROR_SUCCESS) {
        return pairs;
    }
    // Entries come in pairs; an empty target is an empty string inside the list, so the list
    // is read by count, not up to the first empty string.
    std::vector<std::wstring> strings;
    const size_t count = size / sizeof(wchar_t);
    size_t at = 0;
    while (at < count) {
        std::wstring s(data.data() + at);
        strings.push_back(s);
        at += s.size() + 1;
    }
    // A MULTI_SZ ends with an extra terminator, read above as one more empty string.
    if (strings.size() % 2 == 1 && strings.back().empty()) strings.pop_back();
    for (size_t i = 0; i + 1 < strings.size(); i += 2) pairs.emplace_back(strings[i], strings[i + 1]);
    return pairs;
}

// Takes back every pending operation whose source names something under `folder`; removes the
// value when nothing is left in it.
inline void ForgetPendingRenames(const std::wstring& folder) {
    auto pairs = PendingRenames();
    std::vector<std::pair<std::wstring, std::wstring>> kept;
    for (const auto& p : pairs) {
        if (p.first.find(folder) == std::wstring::npos) kept.push_back(p);
    }
    if (kept.size() == pairs.size()) return;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManagerKey(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (kept.empty()) {
        ::RegDeleteValueW(key, L"PendingFileRenameOperations");
    } else {
        std::wstring data;
        for (const auto& p : kept) {
            data += p.first;
            data += L'\0';
            data += p.second;
            data += L'\0';
        }
        data += L'\0';
        ::RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                         reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size() * sizeof(wchar_t)));
    }
    ::RegCloseKey(key);
}

// --- Packages --------------------------------------------------------------------------------

// The package's body checksum as the installer computes it: the wrapping sum of the body's
// 32-bit little-endian words and its last 0 to 3 bytes; 0 counts as 1.
inline uint32_t BodyChecksum(const std::string& package) {
    const size_t body = package.size() - 24;
    uint32_t sum = 0;
    size_t at = 0;
    for (; at + 4 <= body; at += 4) {
        sum += uint32_t(uint8_t(package[at])) | uint32_t(uint8_t(package[at + 1])) << 8 |
               uint32_t(uint8_t(package[at + 2])) << 16 | uint32_t(uint8_t(package[at + 3])) << 24;
    }
    for (; at < body; ++at) sum += uint8_t(package[at]);
    return sum == 0 ? 1 : sum;
}

inline uint32_t ReadU32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}

inline void WriteU32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

// Where the packed stream of the entry `name` lies in a bare package: {offset, size}; {0, 0}
// when there is no such entry.
inline std::pair<uint32_t, uint32_t> EntryStream(const std::string& package, const std::string& name) {
    if (package.size() < 24) return {0, 0};
    const size_t trailer = package.size() - 24;
    size_t at = ReadU32(package, trailer + 8);
    const uint32_t count = ReadU32(package, trailer + 12);
    for (uint32_t i = 0; i < count && at + 17 <= trailer; ++i) {
        const uint32_t offset = ReadU32(package, at);
        const uint32_t packed = ReadU32(package, at + 4);
        const size_t nameLength = uint8_t(package[at + 16]);
        std::string entry = package.substr(at + 17, nameLength ? nameLength - 1 : 0);
        if (entry == name) return {offset, packed};
        at += 17 + nameLength;
    }
    return {0, 0};
}

}  // namespace tarvo::e2e
