#pragma once
// XSubClassCtrl takes over a standard control: the control's window procedure is replaced by one
// shared subclass procedure that shows every message to the object first and passes what the
// object leaves to the control's own procedure.
#include "base/Sync.h"
#include "base/Win.h"

#include <cstdint>

namespace tarvo {

// One lock for every attachment, detachment and subclass callback of the process. An OS mutex:
// a callback that makes further messages reach subclassed controls on its thread takes it again.
MutexLock& SubclassLock();

LRESULT CALLBACK SharedSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class XSubClassCtrl {
public:
    XSubClassCtrl() = default;
    // Detaches.
    virtual ~XSubClassCtrl();

    XSubClassCtrl(const XSubClassCtrl&) = delete;
    XSubClassCtrl& operator=(const XSubClassCtrl&) = delete;

    // Sees each message of the attached control first. Setting *handled makes the return value the
    // message's result; otherwise the control's previous procedure handles the message. The base
    // leaves the message to the control.
    virtual LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     int32_t* handled);

    // Detaches first; then takes over `control` (nothing more with a null window). True when the
    // object is attached afterwards; when the control's procedure could not be replaced it stays
    // detached.
    bool Attach(HWND control);
    // Gives the control its previous procedure back.
    void Detach();

    HWND ControlHandle() const noexcept { return control_; }
    WNDPROC PreviousProc() const noexcept { return previousProc_; }
    bool IsAttached() const noexcept { return control_ != nullptr; }

private:
    friend LRESULT CALLBACK SharedSubclassProc(HWND, UINT, WPARAM, LPARAM);

    WNDPROC previousProc_ = nullptr;
    HWND control_ = nullptr;
};

}  // namespace tarvo
