// tarvo-uidriver: drives the windows of another program under wine (or Windows) for end-to-end
// tests. Each argument group is one step; steps run in order and the program stops at the first
// one that fails (exit code 1), printing what it saw on standard output.
//
//   wait TITLE [MS]             wait for a visible top-level window whose caption contains TITLE
//   waitclass CLASS [MS]        the same by window class
//   gone TITLE [MS]             wait until no such window is left
//   list TITLE                  print the window and its controls: id, class, text, state, rect
//   text TITLE ID               print the text of control ID
//   click TITLE ID|"text"       press a control: buttons by BM_CLICK, anything else by a mouse
//                               click at its centre
//   mouse TITLE ID|"text"       a real mouse click at the control's centre (SendInput)
//   hover TITLE ID|"text"       move the mouse over the control's centre
//   point X Y                   move the mouse to a screen point
//   answer FRAGMENT BUTTON      in a message box whose text contains FRAGMENT, press BUTTON
//                               (OK, Cancel, Yes, No, Retry, Abort, Ignore); waits up to 10 s
//   keys TITLE KEY...           bring the window forward and type keys: Tab, Space, Enter,
//                               Escape, Alt+F4, or single characters
//   sleep MS
// TITLE "*" means the foreground window. Controls are found by decimal id, or by "text" in
// double quotes (the control whose text equals it).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[1024] = {0};
    // WM_GETTEXT works across processes for every window kind, unlike GetWindowText on controls.
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t buffer[256] = {0};
    ::GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

std::string Utf8(const std::wstring& w) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::string Escaped(const std::wstring& w) {
    std::string s = Utf8(w), out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

struct Search {
    std::wstring text;
    bool byClass;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (!::IsWindowVisible(hwnd)) return TRUE;
    std::wstring value = s->byClass ? ClassName(hwnd) : WindowText(hwnd);
    if ((s->byClass && value == s->text) || (!s->byClass && value.find(s->text) != std::wstring::npos)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowBy(const std::wstring& text, bool byClass) {
    if (text == L"*") return ::GetForegroundWindow();
    Search s{text, byClass, nullptr};
    ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitWindow(const std::wstring& text, bool byClass, DWORD ms) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND hwnd = FindWindowBy(text, byClass)) return hwnd;
        if (::GetTickCount() - start > ms) return nullptr;
        ::Sleep(50);
    }
}

struct ChildSearch {
    int id;
    std::wstring text;
    HWND found;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<ChildSearch*>(param);
    bool match = s->id >= 0 ? ::GetDlgCtrlID(hwnd) == s->id : WindowText(hwnd) == s->text;
    if (match) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A control by "id" or by "\"text\"".
HWND FindControl(HWND parent, const std::wstring& which) {
    ChildSearch s{-1, L"", nullptr};
    if (which.size() >= 2 && which.front() == L'"' && which.back() == L'"') s.text = which.substr(1, which.size() - 2);
    else s.id = _wtoi(which.c_str());
    ::EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK PrintChild(HWND hwnd, LPARAM) {
    RECT r;
    ::GetWindowRect(hwnd, &r);
    std::printf("  control id=%d class=%s visible=%d enabled=%d rect=%ld,%ld,%ld,%ld text=\"%s\"\n", ::GetDlgCtrlID(hwnd),
                Utf8(ClassName(hwnd)).c_str(), ::IsWindowVisible(hwnd) ? 1 : 0, ::IsWindowEnabled(hwnd) ? 1 : 0, r.left,
                r.top, r.right, r.bottom, Escaped(WindowText(hwnd)).c_str());
    return TRUE;
}

void PrintWindow(HWND hwnd) {
    RECT r;
    ::GetWindowRect(hwnd, &r);
    std::printf("window hwnd=%p class=%s rect=%ld,%ld,%ld,%ld text=\"%s\"\n", static_cast<void*>(hwnd),
                Utf8(ClassName(hwnd)).c_str(), r.left, r.top, r.right, r.bottom, Escaped(WindowText(hwnd)).c_str());
    ::EnumChildWindows(hwnd, PrintChild, 0);
}

POINT Centre(HWND hwnd) {
    RECT r;
    ::GetWindowRect(hwnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void MoveMouse(POINT p) {
    ::SetCursorPos(p.x, p.y);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = LONG(p.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = LONG(p.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &in, sizeof(in));
}

void MouseClick(POINT p) {
    MoveMouse(p);
    ::Sleep(50);
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, in, sizeof(INPUT));
}

bool IsPushButton(HWND hwnd) {
    if (ClassName(hwnd) != L"Button") return false;
    LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON || style == BS_CHECKBOX || style == BS_AUTOCHECKBOX;
}

void Key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ::SendInput(1, &in, sizeof(in));
}

void TypeKey(const std::wstring& key) {
    struct Named {
        const wchar_t* name;
        WORD vk;
    } names[] = {{L"Tab", VK_TAB}, {L"Space", VK_SPACE}, {L"Enter", VK_RETURN}, {L"Escape", VK_ESCAPE},
                 {L"Up", VK_UP},   {L"Down", VK_DOWN},   {L"Left", VK_LEFT},    {L"Right", VK_RIGHT}};
    if (key == L"Alt+F4") {
        Key(VK_MENU, false);
        Key(VK_F4, false);
        Key(VK_F4, true);
        Key(VK_MENU, true);
        return;
    }
    for (const auto& n : names) {
        if (key == n.name) {
            Key(n.vk, false);
            Key(n.vk, true);
            return;
        }
    }
    for (wchar_t c : key) {
        SHORT vk = ::VkKeyScanW(c);
        bool shift = (vk & 0x100) != 0;
        if (shift) Key(VK_SHIFT, false);
        Key(WORD(vk & 0xff), false);
        Key(WORD(vk & 0xff), true);
        if (shift) Key(VK_SHIFT, true);
    }
}

int ButtonId(const std::wstring& name) {
    struct Named {
        const wchar_t* name;
        int id;
    } names[] = {{L"OK", IDOK},       {L"Cancel", IDCANCEL}, {L"Yes", IDYES},      {L"No", IDNO},
                 {L"Retry", IDRETRY}, {L"Abort", IDABORT},   {L"Ignore", IDIGNORE}};
    for (const auto& n : names) {
        if (name == n.name) return n.id;
    }
    return _wtoi(name.c_str());
}

struct BoxSearch {
    std::wstring fragment;
    HWND found;
};

BOOL CALLBACK FindBoxText(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<BoxSearch*>(param);
    if (ClassName(hwnd) == L"Static" && WindowText(hwnd).find(s->fragment) != std::wstring::npos) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<BoxSearch*>(param);
    if (!::IsWindowVisible(hwnd) || ClassName(hwnd) != L"#32770") return TRUE;
    BoxSearch inner{s->fragment, nullptr};
    ::EnumChildWindows(hwnd, FindBoxText, reinterpret_cast<LPARAM>(&inner));
    if (inner.found) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool Fail(const char* what, const std::wstring& detail) {
    std::printf("FAILED %s: %s\n", what, Escaped(detail).c_str());
    return false;
}

bool RunStep(const std::vector<std::wstring>& a, size_t& i) {
    const std::wstring& verb = a[i++];
    auto arg = [&](const wchar_t* fallback = nullptr) -> std::wstring {
        if (i < a.size()) return a[i++];
        return fallback ? fallback : L"";
    };
    auto optionalMs = [&](DWORD fallback) -> DWORD {
        if (i < a.size() && !a[i].empty() && iswdigit(a[i][0])) return DWORD(_wtoi(a[i++].c_str()));
        return fallback;
    };
    if (verb == L"wait" || verb == L"waitclass") {
        std::wstring what = arg();
        HWND hwnd = WaitWindow(what, verb == L"waitclass", optionalMs(15000));
        if (!hwnd) return Fail("wait", what);
        std::printf("found hwnd=%p text=\"%s\"\n", static_cast<void*>(hwnd), Escaped(WindowText(hwnd)).c_str());
        return true;
    }
    if (verb == L"gone") {
        std::wstring what = arg();
        DWORD ms = optionalMs(15000), start = ::GetTickCount();
        while (FindWindowBy(what, false)) {
            if (::GetTickCount() - start > ms) return Fail("gone", what);
            ::Sleep(50);
        }
        std::printf("gone \"%s\"\n", Escaped(what).c_str());
        return true;
    }
    if (verb == L"sleep") {
        ::Sleep(DWORD(_wtoi(arg(L"0").c_str())));
        return true;
    }
    if (verb == L"point") {
        POINT p{_wtoi(arg(L"0").c_str()), 0};
        p.y = _wtoi(arg(L"0").c_str());
        MoveMouse(p);
        return true;
    }
    if (verb == L"answer") {
        std::wstring fragment = arg(), button = arg(L"OK");
        BoxSearch s{fragment, nullptr};
        DWORD start = ::GetTickCount();
        while (!s.found && ::GetTickCount() - start < 10000) {
            ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
            if (!s.found) ::Sleep(50);
        }
        if (!s.found) return Fail("answer: no message box with", fragment);
        PrintWindow(s.found);
        HWND b = ::GetDlgItem(s.found, ButtonId(button));
        if (!b) return Fail("answer: no button", button);
        ::PostMessageW(s.found, WM_COMMAND, MAKEWPARAM(ButtonId(button), BN_CLICKED), reinterpret_cast<LPARAM>(b));
        return true;
    }
    // The remaining verbs name a window first.
    std::wstring title = arg();
    HWND window = WaitWindow(title, false, 5000);
    if (!window) return Fail(Utf8(verb).c_str(), L"no window " + title);
    if (verb == L"list") {
        PrintWindow(window);
        return true;
    }
    if (verb == L"keys") {
        ::SetForegroundWindow(window);
        ::Sleep(100);
        while (i < a.size() && a[i] != L";") {
            TypeKey(a[i++]);
            ::Sleep(60);
        }
        if (i < a.size()) ++i;  // the ";" that ends the key list
        return true;
    }
    std::wstring which = arg();
    HWND control = FindControl(window, which);
    if (!control) return Fail(Utf8(verb).c_str(), L"no control " + which);
    if (verb == L"text") {
        std::printf("text id=%d \"%s\"\n", ::GetDlgCtrlID(control), Escaped(WindowText(control)).c_str());
        return true;
    }
    if (verb == L"hover") {
        MoveMouse(Centre(control));
        return true;
    }
    if (verb == L"mouse") {
        MouseClick(Centre(control));
        return true;
    }
    if (verb == L"click") {
        if (IsPushButton(control)) ::PostMessageW(control, BM_CLICK, 0, 0);
        else MouseClick(Centre(control));
        return true;
    }
    return Fail("unknown step", verb);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::printf("usage: tarvo-uidriver STEP [ARGS] [STEP [ARGS]]...\n");
        return 2;
    }
    for (size_t i = 0; i < args.size();) {
        if (!RunStep(args, i)) return 1;
    }
    return 0;
}
