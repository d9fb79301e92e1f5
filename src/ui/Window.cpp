#include "ui/Window.h"

#include <windowsx.h>

#include <algorithm>
#include <atomic>

namespace tarvo {

namespace {

struct RegistryState {
    MutexLock lock;
    std::vector<XWindow*> windows;
    int32_t classCounter = 0;
};

// Never destroyed: windows may still be torn down by other process-wide objects' destructors.
RegistryState& Registry() {
    static RegistryState* state = new RegistryState;
    return *state;
}

std::atomic<int> cachedDpi{-1};

HINSTANCE OwnModule() { return ::GetModuleHandleW(nullptr); }

// Sets the handled flag for one dispatch and, when the dispatch is nested inside another one of
// the same object (a handler that sends messages to its own window), gives the outer dispatch its
// flag back at the end.
class DispatchScope {
public:
    DispatchScope(int32_t& flag, int& depth) : flag_(flag), depth_(depth), saved_(flag) { ++depth_; }
    ~DispatchScope() {
        if (--depth_ > 0) flag_ = saved_;
    }
    DispatchScope(const DispatchScope&) = delete;
    DispatchScope& operator=(const DispatchScope&) = delete;

private:
    int32_t& flag_;
    int& depth_;
    int32_t saved_;
};

}  // namespace

// --- WindowRegistry -------------------------------------------------------------------------

MutexLock& WindowRegistry::Lock() { return Registry().lock; }

void WindowRegistry::Add(XWindow* object) {
    RegistryState& r = Registry();
    MutexGuard guard(r.lock);
    r.windows.push_back(object);
}

bool WindowRegistry::Remove(XWindow* object) {
    RegistryState& r = Registry();
    MutexGuard guard(r.lock);
    auto found = std::find(r.windows.begin(), r.windows.end(), object);
    if (found == r.windows.end()) return false;
    r.windows.erase(found);
    return true;
}

XWindow* WindowRegistry::Find(HWND window) {
    if (!window) return nullptr;
    RegistryState& r = Registry();
    MutexGuard guard(r.lock);
    for (XWindow* object : r.windows) {
        if (object->WindowHandle() == window) return object;
    }
    return nullptr;
}

bool WindowRegistry::Contains(const XWindow* object) {
    RegistryState& r = Registry();
    MutexGuard guard(r.lock);
    return std::find(r.windows.begin(), r.windows.end(), object) != r.windows.end();
}

int WindowRegistry::Count() {
    RegistryState& r = Registry();
    MutexGuard guard(r.lock);
    return int(r.windows.size());
}

WString WindowRegistry::NextClassName() {
    RegistryState& r = Registry();
    MutexGuard guard(r.lock);
    return FormatText(L"XWnd%d", int(r.classCounter++));
}

// --- procedures -----------------------------------------------------------------------------

LRESULT CALLBACK SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind into the system's message dispatch.
    try {
        if (message == WM_CREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            if (auto* object = static_cast<XWindow*>(create ? create->lpCreateParams : nullptr)) {
                object->AttachWindow(window, false);
            }
        }
        XWindow* object = WindowRegistry::Find(window);
        if (!object) return ::DefWindowProcW(window, message, wParam, lParam);
        LRESULT result = DispatchMessageToWindow(object, window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            // Looked up again: the object may have let go of the window while the message ran.
            if (XWindow* owner = WindowRegistry::Find(window)) owner->ForgetWindow();
        }
        return result;
    } catch (...) {
        return 0;
    }
}

INT_PTR CALLBACK SharedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            if (auto* object = reinterpret_cast<XWindow*>(lParam)) object->AttachWindow(window, true);
        }
        XWindow* object = WindowRegistry::Find(window);
        if (!object) return 0;
        LRESULT result = DispatchMessageToWindow(object, window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            // Looked up again: the object may have let go of the window while the message ran.
            if (XWindow* owner = WindowRegistry::Find(window)) owner->ForgetWindow();
        }
        return result;
    } catch (...) {
        return 0;
    }
}

LRESULT DispatchMessageToWindow(XWindow* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!object) return 0;
    return object->Dispatch(window, message, wParam, lParam);
}

LRESULT XWindow::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DispatchScope scope(HandledFlag, dispatchDepth_);
    HandledFlag = 0;
    if (!window_) return 0;

    LRESULT result = PreFilterMessage(window, message, wParam, lParam, &HandledFlag);
    if (HandledFlag) {
        if (!IsDialog()) return result;
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return HandledFlag;
    }

    HandledFlag = 1;
    result = 0;
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam)) {
            OnActivate(reinterpret_cast<HWND>(lParam), HIWORD(wParam), LOWORD(wParam));
        } else {
            OnDeactivate(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        }
        break;
    case WM_CLOSE:
        OnClose();
        break;
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        int notification = HIWORD(wParam);
        if (notification == 0) {
            switch (id) {
            case IDOK: OnOK(); break;
            case IDCANCEL: OnCancel(); break;
            case IDABORT: OnAbort(); break;
            case IDRETRY: OnRetry(); break;
            case IDIGNORE: OnIgnore(); break;
            case IDYES: OnYes(); break;
            case IDNO: OnNo(); break;
            case IDCLOSE: OnCloseCommand(); break;
            case IDHELP: OnHelp(); break;
            default: break;
            }
        }
        OnCommand(id, reinterpret_cast<HWND>(lParam), notification);
        break;
    }
    case WM_CREATE:
    case WM_INITDIALOG:
        OnInitWindow();
        HandledFlag = 1;
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        OnDrawItem(item ? item->hwndItem : nullptr, int(wParam), item);
        break;
    }
    case WM_ERASEBKGND:
        OnEraseBackground(reinterpret_cast<HDC>(wParam));
        if (HandledFlag) result = 1;
        break;
    case WM_SHOWWINDOW:
        if (wParam) OnShow(int(lParam));
        else OnHide(int(lParam));
        break;
    case WM_KEYDOWN:
        OnKeyDown(int(wParam), lParam);
        break;
    case WM_KEYUP:
        OnKeyUp(int(wParam), lParam);
        break;
    case WM_CHAR:
        OnChar(int(wParam));
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        OnMouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), message, wParam);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        OnMouseUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), message, wParam);
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam);
        break;
    case WM_MOUSEWHEEL:
        OnMouseWheel(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), GET_WHEEL_DELTA_WPARAM(wParam), LOWORD(wParam));
        break;
    case WM_MOVE:
        OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        break;
    case WM_NOTIFY:
        result = OnNotify(reinterpret_cast<NMHDR*>(lParam));
        break;
    case WM_PAINT:
        OnPaint();
        HandledFlag = 0;
        break;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam), int(wParam));
        break;
    case WM_SYSCOMMAND:
        OnSysCommand(int(wParam & 0xFFF0));
        HandledFlag = 0;
        break;
    case WM_TIMER: {
        MutexGuard guard(timerLock_);
        for (const TimerRecord& timer : timers_) {
            if (WPARAM(timer.id) == wParam) {
                OnTimer(timer.id, timer.userValue);
                break;
            }
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG: {
        HBRUSH brush = message == WM_CTLCOLORSTATIC ? OnCtlColorStatic() : OnCtlColorDialog();
        // Dialogs too return the brush itself, not a DWLP_MSGRESULT.
        if (HandledFlag) return reinterpret_cast<LRESULT>(brush);
        break;
    }
    default:
        HandledFlag = 0;
        break;
    }

    if (!IsDialog()) {
        if (HandledFlag) return result;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return HandledFlag;
}

// --- XWindow --------------------------------------------------------------------------------

XWindow::XWindow() = default;

XWindow::~XWindow() { DestroyWindowObject(); }

void XWindow::OnActivate(HWND, int, int) { HandledFlag = 0; }
void XWindow::OnClose() { HandledFlag = 0; }
void XWindow::OnContextMenu(HWND, int, int) { HandledFlag = 0; }
void XWindow::OnCommand(int, HWND, int) {}
void XWindow::OnInitWindow() { HandledFlag = 0; }
void XWindow::OnDestroy() { HandledFlag = 0; }
void XWindow::OnDeactivate(HWND, int) { HandledFlag = 0; }
void XWindow::OnDrawItem(HWND, int, DRAWITEMSTRUCT*) { HandledFlag = 0; }
void XWindow::OnEraseBackground(HDC) { HandledFlag = 0; }
void XWindow::OnHide(int) { HandledFlag = 0; }
void XWindow::OnKeyDown(int, LPARAM) { HandledFlag = 0; }
void XWindow::OnKeyUp(int, LPARAM) { HandledFlag = 0; }
void XWindow::OnChar(int) { HandledFlag = 0; }
void XWindow::OnMouseDown(int, int, UINT, WPARAM) { HandledFlag = 0; }
void XWindow::OnMouseUp(int, int, UINT, WPARAM) { HandledFlag = 0; }
void XWindow::OnMouseMove(int, int, WPARAM) { HandledFlag = 0; }
void XWindow::OnMouseWheel(int, int, int, int) { HandledFlag = 0; }
void XWindow::OnMove(int, int) { HandledFlag = 0; }
LRESULT XWindow::OnNotify(NMHDR*) {
    HandledFlag = 0;
    return 0;
}
void XWindow::OnPaint() { HandledFlag = 0; }
void XWindow::OnShow(int) { HandledFlag = 0; }
void XWindow::OnSize(int, int, int) { HandledFlag = 0; }
void XWindow::OnSysCommand(int) {}
void XWindow::OnTimer(int32_t, int32_t) { HandledFlag = 0; }
HBRUSH XWindow::OnCtlColorStatic() {
    HandledFlag = 0;
    return nullptr;
}
HBRUSH XWindow::OnCtlColorDialog() {
    HandledFlag = 0;
    return nullptr;
}
LRESULT XWindow::PreFilterMessage(HWND, UINT, WPARAM, LPARAM, int32_t*) { return 0; }
void XWindow::OnOK() {}
void XWindow::OnCancel() {}
void XWindow::OnAbort() {}
void XWindow::OnCloseCommand() {}
void XWindow::OnHelp() {}
void XWindow::OnIgnore() {}
void XWindow::OnNo() {}
void XWindow::OnRetry() {}
void XWindow::OnYes() {}

void XWindow::AttachWindow(HWND window, bool isDialog) {
    window_ = window;
    isDialog_ = isDialog ? 1 : 0;
    WindowRegistry::Add(this);
}

void XWindow::ForgetWindow() {
    WindowRegistry::Remove(this);
    {
        // The system has killed the window's timers with it.
        MutexGuard guard(timerLock_);
        timers_.clear();
    }
    window_ = nullptr;
}

INT_PTR XWindow::CreateFromTemplate(int templateId, HWND parent, bool modal) {
    DestroyWindowObject();
    LPARAM self = reinterpret_cast<LPARAM>(this);
    if (modal) {
        return ::DialogBoxParamW(OwnModule(), MAKEINTRESOURCEW(templateId), parent, SharedDialogProc, self);
    }
    HWND created = ::CreateDialogParamW(OwnModule(), MAKEINTRESOURCEW(templateId), parent, SharedDialogProc, self);
    return created ? 1 : 0;
}

bool XWindow::CreateCustomWindow(DWORD style, DWORD exStyle, HWND parent, int left, int top, int right, int bottom) {
    DestroyWindowObject();
    WString name = WindowRegistry::NextClassName();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS | CS_OWNDC | CS_DROPSHADOW;
    wc.lpfnWndProc = SharedWindowProc;
    wc.hInstance = OwnModule();
    wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = name.c_str();
    if (!::RegisterClassExW(&wc)) return false;
    className_ = name;
    ::CreateWindowExW(exStyle, className_.c_str(), L"", style, left, top, right - left, bottom - top, parent, nullptr,
                      OwnModule(), this);
    return window_ != nullptr;
}

void XWindow::DestroyWindowObject() {
    if (HWND window = window_) {
        ::ShowWindow(window, SW_HIDE);
        {
            MutexGuard guard(timerLock_);
            for (const TimerRecord& timer : timers_) ::KillTimer(window, UINT_PTR(timer.id));
            timers_.clear();
        }
        ::DestroyWindow(window);
    }
    if (!className_.Empty()) {
        ::UnregisterClassW(className_.c_str(), OwnModule());
        className_.Clear();
    }
    WindowRegistry::Remove(this);
    window_ = nullptr;
}

int32_t XWindow::AddTimer() {
    MutexGuard guard(timerLock_);
    if (!window_) return 0;
    int32_t largest = 0;
    for (const TimerRecord& timer : timers_) largest = std::max(largest, timer.id);
    int32_t id = largest + 1;
    if (!::SetTimer(window_, UINT_PTR(id), kWindowTimerPeriodMs, nullptr)) return 0;
    timers_.push_back(TimerRecord{id, 0});
    return id;
}

std::vector<TimerRecord> XWindow::Timers() {
    MutexGuard guard(timerLock_);
    return timers_;
}

RECT XWindow::WindowRect() const {
    RECT rect = {};
    if (window_) ::GetWindowRect(window_, &rect);
    return rect;
}

int XWindow::WindowWidth() const {
    RECT rect = WindowRect();
    return rect.right - rect.left;
}

int XWindow::WindowHeight() const {
    RECT rect = WindowRect();
    return rect.bottom - rect.top;
}

void XWindow::MoveWindowTo(int x, int y) {
    if (!window_) return;
    RECT rect = WindowRect();
    // A child window is placed in its parent's client coordinates; a top-level window (even an
    // owned one, whose GetParent is its owner) on the screen.
    if (::GetWindowLongPtrW(window_, GWL_STYLE) & WS_CHILD) {
        if (HWND parent = ::GetAncestor(window_, GA_PARENT)) {
            ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
        }
    }
    if (x == kKeepCoordinate) x = rect.left;
    if (y == kKeepCoordinate) y = rect.top;
    ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND XWindow::ItemHandle(int id) const { return window_ ? ::GetDlgItem(window_, id) : nullptr; }

// --- layout helpers -------------------------------------------------------------------------

int DluToPixelsX(int units, HWND window) {
    RECT rect = {units, 1, 1, 1};
    ::MapDialogRect(window, &rect);
    return rect.left;
}

int DluToPixelsY(int units, HWND window) {
    RECT rect = {1, units, 1, 1};
    ::MapDialogRect(window, &rect);
    return rect.top;
}

int ScreenDpi() {
    int dpi = cachedDpi.load();
    if (dpi > 0) return dpi;
    HDC screen = ::GetDC(nullptr);
    dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    if (dpi <= 0) dpi = 96;
    cachedDpi.store(dpi);
    return dpi;
}

void SetScreenDpi(int dpi) { cachedDpi.store(dpi > 0 ? dpi : -1); }

int ScaleForDpi(int value) { return value * ScreenDpi() / 96; }

}  // namespace tarvo
