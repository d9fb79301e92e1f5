// Tarvo Notes: the example product that the example setup installs. One window: a header that names
// the product and tells how this copy was installed, and a page on which the user writes notes,
// kept for each user in that user's registry hive.
//
//   notes.exe             opens the window
//   notes.exe /cleanup    forgets what the program keeps for the current user (the uninstaller runs
//                         it); exit code 0 when nothing of it is left, 1 otherwise
#include "NotesKeys.h"
#include "NotesVersion.h"
#include "base/Handle.h"
#include "base/Win.h"

#include <cstdlib>
#include <string>

namespace tarvo::notes {
namespace {

constexpr wchar_t kWindowClass[] = L"TarvoNotesWindow";
constexpr wchar_t kNotesValue[] = L"Notes";
constexpr wchar_t kWelcomeValue[] = L"Welcome";
constexpr int kPageId = 100;
constexpr int kIconId = 1;

struct ScreenDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { ::ReleaseDC(nullptr, dc); }
};
using ScreenDc = UniqueHandle<ScreenDcTraits>;

// Sizes are designed at 96 DPI; the manifest declares the program system-DPI aware.
int Scale(int value) {
    static const int dpi = [] {
        ScreenDc dc(::GetDC(nullptr));
        const int answer = dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
        return answer > 0 ? answer : 96;
    }();
    return ::MulDiv(value, dpi, 96);
}

RegKey OpenSettings(HKEY root, REGSAM access) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(root, kSettingsKey, 0, access, &raw) != ERROR_SUCCESS) return RegKey();
    return RegKey(raw);
}

bool ReadText(HKEY key, const wchar_t* name, std::wstring* out) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (!key || ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // One unit more than asked for: a stored text need not end with its terminator.
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &bytes) != ERROR_SUCCESS)
        return false;
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    *out = text;
    return true;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* out) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    if (!key || ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || bytes != sizeof(value)) return false;
    *out = value;
    return true;
}

struct Settings {
    std::wstring installDir;  // empty when no installation wrote it
    bool wordWrap = true;
    bool registered = false;
    COLORREF paper = RGB(252, 251, 247);
    COLORREF ink = RGB(52, 58, 66);
    COLORREF accent = RGB(60, 125, 217);
    COLORREF rule = RGB(214, 219, 226);
    std::wstring page;  // the user's notes, or the welcome text for a user who has none yet
};

Settings ReadSettings() {
    Settings s;
    RegKey machine = OpenSettings(HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
    ReadText(machine.Get(), L"InstallDir", &s.installDir);
    DWORD value = 0;
    if (ReadDword(machine.Get(), L"WordWrap", &value)) s.wordWrap = value != 0;
    s.registered = ReadDword(machine.Get(), kRegisteredValue, &value) && value == 1;
    // "Palette": up to four COLORREFs; a shorter value replaces only the colours it holds.
    COLORREF palette[4] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(palette);
    if (machine &&
        ::RegQueryValueExW(machine.Get(), L"Palette", nullptr, &type, reinterpret_cast<BYTE*>(palette), &bytes) ==
            ERROR_SUCCESS &&
        type == REG_BINARY) {
        COLORREF* colours[4] = {&s.paper, &s.ink, &s.accent, &s.rule};
        for (DWORD i = 0; i < bytes / sizeof(COLORREF) && i < 4; ++i) *colours[i] = palette[i] & 0xFFFFFF;
    }
    RegKey user = OpenSettings(HKEY_CURRENT_USER, KEY_QUERY_VALUE);
    if (!ReadText(user.Get(), kNotesValue, &s.page) && !ReadText(user.Get(), kWelcomeValue, &s.page)) {
        s.page = L"Write your notes here.";
    }
    return s;
}

bool SaveNotes(const std::wstring& text) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegKey key(raw);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), kNotesValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

// The user's value goes; so does the key when nothing else is left in it (the installer's own
// per-user values are the uninstaller's to remove).
int Cleanup() {
    RegKey key = OpenSettings(HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key) return 0;
    const LONG deleted = ::RegDeleteValueW(key.Get(), kNotesValue);
    DWORD subkeys = 0;
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        key.Reset();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
    }
    return (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) ? 0 : 1;
}

class NotesWindow {
public:
    explicit NotesWindow(HINSTANCE instance) : instance_(instance), settings_(ReadSettings()) {}

    bool Create(int show) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &NotesWindow::Procedure;
        wc.hInstance = instance_;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = static_cast<HICON>(
            ::LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
        wc.hIconSm = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        wc.lpszClassName = kWindowClass;
        if (!::RegisterClassExW(&wc)) return false;
        const std::wstring title = std::wstring(L"Tarvo Notes ") + NOTES_VERSION_SHORT;
        HWND window = ::CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                        CW_USEDEFAULT, Scale(560), Scale(400), nullptr, nullptr, instance_, this);
        if (!window) return false;
        ::ShowWindow(window, show);
        ::UpdateWindow(window);
        return true;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<NotesWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
        try {
            return self->Handle(window, message, wparam, lparam);
        } catch (...) {
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
    }

    LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        switch (message) {
        case WM_CREATE:
            OnCreate(window);
            return 0;
        case WM_SIZE:
            Layout(LOWORD(lparam), HIWORD(lparam));
            return 0;
        case WM_SETFOCUS:
            if (page_) ::SetFocus(page_);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_CTLCOLOREDIT:
            ::SetTextColor(reinterpret_cast<HDC>(wparam), settings_.ink);
            ::SetBkColor(reinterpret_cast<HDC>(wparam), settings_.paper);
            return reinterpret_cast<LRESULT>(paperBrush_.Get());
        case WM_CLOSE:
            // Only a page the user changed is kept: opening the program leaves no per-user data.
            if (page_ && ::SendMessageW(page_, EM_GETMODIFY, 0, 0)) SaveNotes(PageText());
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
    }

    void OnCreate(HWND window) {
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof(metrics);
        LOGFONTW face = {};
        if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
            face = metrics.lfMessageFont;
        } else {
            face.lfHeight = -Scale(12);
            ::lstrcpynW(face.lfFaceName, L"Tahoma", LF_FACESIZE);
        }
        textFont_.Reset(::CreateFontIndirectW(&face));
        face.lfHeight = face.lfHeight * 7 / 4;
        face.lfWeight = FW_SEMIBOLD;
        titleFont_.Reset(::CreateFontIndirectW(&face));
        paperBrush_.Reset(::CreateSolidBrush(settings_.paper));
        icon_.Reset(static_cast<HICON>(
            ::LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, Scale(32), Scale(32), 0)));

        DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        if (!settings_.wordWrap) style |= WS_HSCROLL | ES_AUTOHSCROLL;
        page_ = ::CreateWindowExW(0, L"EDIT", settings_.page.c_str(), style, 0, 0, 0, 0, window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPageId)), instance_, nullptr);
        if (!page_) return;
        ::SendMessageW(page_, WM_SETFONT, reinterpret_cast<WPARAM>(textFont_.Get()), FALSE);
        ::SendMessageW(page_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(Scale(6), Scale(6)));
        ::SendMessageW(page_, EM_SETMODIFY, FALSE, 0);
        ::SetFocus(page_);
    }

    int HeaderHeight() const { return Scale(64); }

    void Layout(int width, int height) {
        if (!page_) return;
        const int margin = Scale(12);
        const int top = HeaderHeight() + margin;
        ::MoveWindow(page_, margin, top, width > 2 * margin ? width - 2 * margin : 0,
                     height > top + margin ? height - top - margin : 0, TRUE);
    }

    std::wstring StatusLine() const {
        std::wstring line = settings_.installDir.empty() ? std::wstring(L"Not installed by its setup")
                                                         : L"Installed in " + settings_.installDir;
        line += settings_.registered ? L"   \u00B7   Shell extension registered"
                                     : L"   \u00B7   Shell extension not registered";
        return line;
    }

    void Paint(HWND window) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window, &ps);
        RECT client;
        ::GetClientRect(window, &client);
        const int header = HeaderHeight();

        RECT band = {client.left, client.top, client.right, header};
        GdiObject<HBRUSH> bandBrush(::CreateSolidBrush(RGB(245, 245, 245)));
        ::FillRect(dc, &band, bandBrush.Get());
        RECT body = {client.left, header, client.right, client.bottom};
        ::FillRect(dc, &body, paperBrush_.Get());
        RECT line = {client.left, header - Scale(1), client.right, header};
        GdiObject<HBRUSH> ruleBrush(::CreateSolidBrush(settings_.rule));
        ::FillRect(dc, &line, ruleBrush.Get());
        RECT mark = {client.left, header - Scale(3), client.left + Scale(96), header};
        GdiObject<HBRUSH> accentBrush(::CreateSolidBrush(settings_.accent));
        ::FillRect(dc, &mark, accentBrush.Get());

        const int left = Scale(12);
        if (icon_) ::DrawIconEx(dc, left, Scale(14), icon_.Get(), 0, 0, 0, nullptr, DI_NORMAL);
        ::SetBkMode(dc, TRANSPARENT);
        const HGDIOBJ previous = ::SelectObject(dc, titleFont_.Get());
        ::SetTextColor(dc, settings_.ink);
        const std::wstring title = std::wstring(L"Tarvo Notes ") + NOTES_VERSION_SHORT;
        RECT titleBox = {left + Scale(44), Scale(8), client.right - left, Scale(36)};
        ::DrawTextW(dc, title.c_str(), -1, &titleBox, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        ::SelectObject(dc, textFont_.Get());
        ::SetTextColor(dc, RGB(112, 120, 131));
        const std::wstring status = StatusLine();
        RECT statusBox = {left + Scale(44), Scale(36), client.right - left, header - Scale(6)};
        ::DrawTextW(dc, status.c_str(), -1, &statusBox,
                    DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
        ::SelectObject(dc, previous);
        ::EndPaint(window, &ps);
    }

    std::wstring PageText() const {
        const int length = ::GetWindowTextLengthW(page_);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const int copied = ::GetWindowTextW(page_, &text[0], length + 1);
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        return text;
    }

    HINSTANCE instance_;
    Settings settings_;
    HWND page_ = nullptr;
    GdiObject<HFONT> textFont_;
    GdiObject<HFONT> titleFont_;
    GdiObject<HBRUSH> paperBrush_;
    IconHandle icon_;
};

int Run(HINSTANCE instance, int show) {
    NotesWindow window(instance);
    if (!window.Create(show)) return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace
}  // namespace tarvo::notes

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    for (int i = 1; i < __argc; ++i) {
        if (::lstrcmpiW(__wargv[i], L"/cleanup") == 0) return tarvo::notes::Cleanup();
    }
    return tarvo::notes::Run(instance, show);
}
