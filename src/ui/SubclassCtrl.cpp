#include "ui/SubclassCtrl.h"

namespace tarvo {

MutexLock& SubclassLock() {
    // Never destroyed: controls may be detached by other process-wide objects' destructors.
    static MutexLock* lock = new MutexLock;
    return *lock;
}

LRESULT CALLBACK SharedSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        MutexGuard guard(SubclassLock());
        auto* object = reinterpret_cast<XSubClassCtrl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!object || object->control_ != window) return 0;
        // Kept before the callback, which may detach the object.
        WNDPROC previous = object->previousProc_;
        int32_t handled = 0;
        LRESULT result = object->SubclassCallback(object, window, message, wParam, lParam, &handled);
        if (!handled) result = ::CallWindowProcW(previous, window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            // The control is gone: an object still attached lets go, so that it never touches a
            // later window that happens to get the same handle.
            auto* owner = reinterpret_cast<XSubClassCtrl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (owner && owner->control_ == window) owner->Detach();
        }
        return result;
    } catch (...) {
        return 0;
    }
}

XSubClassCtrl::~XSubClassCtrl() { Detach(); }

LRESULT XSubClassCtrl::SubclassCallback(XSubClassCtrl*, HWND, UINT, WPARAM, LPARAM, int32_t*) { return 0; }

bool XSubClassCtrl::Attach(HWND control) {
    Detach();
    if (!control) return false;
    MutexGuard guard(SubclassLock());
    control_ = control;
    ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    auto previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SharedSubclassProc)));
    if (!previous) {
        ::SetWindowLongPtrW(control, GWLP_USERDATA, 0);
        control_ = nullptr;
        return false;
    }
    previousProc_ = previous;
    return true;
}

void XSubClassCtrl::Detach() {
    if (!control_) return;
    MutexGuard guard(SubclassLock());
    if (!control_) return;
    ::SetWindowLongPtrW(control_, GWLP_USERDATA, 0);
    ::SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
    previousProc_ = nullptr;
    control_ = nullptr;
}

}  // namespace tarvo
