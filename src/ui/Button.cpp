#include "ui/Button.h"

#include <windowsx.h>

#include <algorithm>
#include <atomic>

namespace tarvo {

namespace {

// The column kinds in the order in which a skin holds them, after normal and pressed.
constexpr uint32_t kColumnKinds[] = {kButtonStyleHover, kButtonStyleFocus, kButtonStyleDisabled, kButtonStyleExtra};

std::atomic<UINT_PTR> nextTimerId{kFirstButtonTimerId};
std::atomic<bool> keyboardCuesShown{false};

// Set while a group handles a message on this thread: the messages that its callbacks cause
// (focus changes, the end of the dialog) are left to the dialog, except painting. Kept per thread
// because dialogs of different threads never nest.
thread_local bool groupHandling = false;

class HandlingScope {
public:
    HandlingScope() : saved_(groupHandling) { groupHandling = true; }
    ~HandlingScope() { groupHandling = saved_; }
    HandlingScope(const HandlingScope&) = delete;
    HandlingScope& operator=(const HandlingScope&) = delete;

private:
    bool saved_;
};

bool IsPressed(int32_t state) { return state == kButtonPressed || state == kButtonExtra; }

}  // namespace

int SkinColumnCount(uint32_t style) {
    int count = 2;
    for (uint32_t kind : kColumnKinds) {
        if (style & kind) ++count;
    }
    return count;
}

int SkinColumnOf(uint32_t style, uint32_t kind) {
    if (!(style & kind)) return -1;
    int column = 2;
    for (uint32_t k : kColumnKinds) {
        if (k == kind) return column;
        if (style & k) ++column;
    }
    return -1;
}

int SkinColumnFor(uint32_t style, int32_t state, bool disabled) {
    if (disabled && (style & kButtonStyleDisabled) && !(style & kButtonStyleMasked)) {
        return SkinColumnOf(style, kButtonStyleDisabled);
    }
    switch (state) {
    case kButtonPressed: return 1;
    case kButtonHover: return (style & kButtonStyleHover) ? SkinColumnOf(style, kButtonStyleHover) : 0;
    case kButtonExtra: return (style & kButtonStyleExtra) ? SkinColumnOf(style, kButtonStyleExtra) : 1;
    default: return 0;
    }
}

int PictureIdForDpi(int id100) {
    int scale = ScaleForDpi(100);
    if (scale >= 150) return id100 + 2;
    if (scale >= 125) return id100 + 1;
    return id100;
}

bool KeyboardCuesShown() { return keyboardCuesShown.load(); }
void SetKeyboardCuesShown(bool shown) { keyboardCuesShown = shown; }

// --- XButton --------------------------------------------------------------------------------

XButton::~XButton() { Destroy(); }

void XButton::OnClick(bool) {}
void XButton::OnHeldTick(bool) {}
void XButton::OnPress(bool) {}
void XButton::OnPressCancelled(bool) {}

LRESULT XButton::SubclassCallback(XSubClassCtrl*, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  int32_t* handled) {
    // Brings the state up to date (a held key makes the button pressed) and repaints it.
    auto refresh = [this] {
        if (group_) {
            MutexGuard guard(group_->Lock());
            group_->UpdateStates();
            Paint();
        } else {
            Paint();
        }
    };
    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        refresh();
        break;
    case WM_GETDLGCODE: {
        // The dialog would take Enter for its default button; the button wants it itself.
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_RETURN) {
            *handled = 1;
            return DLGC_WANTMESSAGE;
        }
        break;
    }
    case WM_KEYDOWN:
        if ((wParam == VK_SPACE || wParam == VK_RETURN) && ::IsWindowEnabled(window) && !keyPressed_) {
            keyPressed_ = 1;
            refresh();
            OnPress(false);
        }
        break;
    case WM_KEYUP:
        if ((wParam == VK_SPACE || wParam == VK_RETURN) && keyPressed_) {
            keyPressed_ = 0;
            OnClick(false);
        } else if (wParam == VK_TAB) {
            SetKeyboardCuesShown(true);
        }
        if (ControlHandle()) refresh();
        break;
    default:
        break;
    }
    return 0;
}

void XButton::Enable(bool enable) {
    if (!ControlHandle()) return;
    ::EnableWindow(ControlHandle(), enable ? TRUE : FALSE);
    if (group_) {
        MutexGuard guard(group_->Lock());
        group_->UpdateStates();
        Paint();
    } else {
        Paint();
    }
}

void XButton::SetState(int32_t state) {
    state_ = state;
    Paint();
}

void XButton::BlitColumn(int column) {
    if (column < 0) return;
    skin_.Blit(output_.Dc(), 0, 0, frameWidth_, frameHeight_, column * frameWidth_, frameHeight_, SRCAND);
    skin_.Blit(output_.Dc(), 0, 0, frameWidth_, frameHeight_, column * frameWidth_, 0, SRCPAINT);
}

void XButton::Paint(HDC dc) {
    if (!output_.Dc() || !skin_.Dc()) return;
    HWND window = ControlHandle();
    bool disabled = window && !::IsWindowEnabled(window);
    int column = SkinColumnFor(style_, state_, disabled);
    if (style_ & kButtonStyleMasked) {
        background_.Blit(output_.Dc(), 0, 0);
        BlitColumn(column);
        if (disabled && (style_ & kButtonStyleDisabled)) BlitColumn(SkinColumnOf(style_, kButtonStyleDisabled));
        if (window && ::GetFocus() == window && (style_ & kButtonStyleFocus) && KeyboardCuesShown()) {
            BlitColumn(SkinColumnOf(style_, kButtonStyleFocus));
        }
    } else {
        skin_.Blit(output_.Dc(), 0, 0, frameWidth_, frameHeight_, column * frameWidth_, 0, SRCCOPY);
    }
    if (dc) {
        output_.Blit(dc, 0, 0);
    } else if (window) {
        if (HDC own = ::GetDC(window)) {
            output_.Blit(own, 0, 0);
            ::ReleaseDC(window, own);
        }
    }
}

void XButton::Destroy() {
    if (ButtonGroup* group = group_) group->Remove(this);
    HideTooltip(tip_);
    HWND window = ControlHandle();
    Detach();
    if (window) ::DestroyWindow(window);
    skin_.Release();
    output_.Release();
    background_.Release();
    frameWidth_ = frameHeight_ = 0;
    state_ = kButtonNormal;
    leftHeld_ = rightHeld_ = keyPressed_ = 0;
    lastClickX_ = lastClickY_ = 0;
    dialog_ = nullptr;
}

// --- ButtonGroup ----------------------------------------------------------------------------

bool ButtonGroup::Start(HWND dialog) {
    Stop();
    if (!dialog) return false;
    UINT_PTR id = nextTimerId++;
    if (!::SetTimer(dialog, id, kButtonTimerPeriodMs, nullptr)) return false;
    dialog_ = dialog;
    timerId_ = id;
    ticks_ = 0;
    return true;
}

void ButtonGroup::Stop() {
    if (dialog_ && timerId_) ::KillTimer(dialog_, timerId_);
    timerId_ = 0;
    MutexGuard guard(lock_);
    std::vector<XButton*> buttons;
    buttons.swap(buttons_);
    for (XButton* button : buttons) {
        button->group_ = nullptr;
        button->Destroy();
    }
    dialog_ = nullptr;
}

int ButtonGroup::Count() {
    MutexGuard guard(lock_);
    return int(buttons_.size());
}

void ButtonGroup::Remove(XButton* button) {
    MutexGuard guard(lock_);
    auto found = std::find(buttons_.begin(), buttons_.end(), button);
    if (found != buttons_.end()) buttons_.erase(found);
    button->group_ = nullptr;
}

bool ButtonGroup::CreateButton(XButton& button, const ButtonPlacement& placement, int skinId, XWindow* owner) {
    BitmapCanvas skin;
    if (!skin.LoadResource(skinId)) return false;
    return CreateButton(button, placement, std::move(skin), owner);
}

bool ButtonGroup::CreateButton(XButton& button, const ButtonPlacement& placement, BitmapCanvas skin,
                               XWindow* owner) {
    button.Destroy();
    if (!dialog_ || !skin.Valid()) return false;
    if (!skin.Dc() && !skin.SelectIntoNewDc()) return false;
    const uint32_t style = placement.style ? placement.style : kButtonStyleDefault;
    const int frameWidth = skin.Width() / SkinColumnCount(style);
    const int frameHeight = (style & kButtonStyleMasked) ? skin.Height() / 2 : skin.Height();
    if (frameWidth <= 0 || frameHeight <= 0) return false;

    BitmapCanvas output;
    BitmapCanvas background;
    if (!output.CreateBlank(frameWidth, frameHeight) || !background.CreateBlank(frameWidth, frameHeight)) return false;
    if (placement.background && placement.background->Valid()) {
        placement.background->Blit(background.Dc(), 0, 0, frameWidth, frameHeight, placement.x, placement.y);
    } else {
        RECT all = {0, 0, frameWidth, frameHeight};
        SolidBrush face;
        face.UseButtonFace();
        ::FillRect(background.Dc(), &all, face.Handle());
    }

    DWORD windowStyle = WS_CHILD | WS_VISIBLE | SS_OWNERDRAW;
    if (style & kButtonStyleFocus) windowStyle |= WS_TABSTOP;
    HWND window = ::CreateWindowExW(0, L"STATIC", placement.text.c_str(), windowStyle, placement.x, placement.y,
                                    frameWidth, frameHeight, dialog_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(placement.id)),
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (!window) return false;

    button.dialog_ = dialog_;
    button.owner_ = owner;
    button.style_ = style;
    button.skin_ = std::move(skin);
    button.frameWidth_ = frameWidth;
    button.frameHeight_ = frameHeight;
    button.output_ = std::move(output);
    button.background_ = std::move(background);
    if (!button.Attach(window)) {
        ::DestroyWindow(window);
        button.Destroy();
        return false;
    }
    if (!placement.tipText.Empty()) ShowTooltip(button.tip_, window, placement.tipText);
    MutexGuard guard(lock_);
    button.group_ = this;
    buttons_.push_back(&button);
    return true;
}

XButton* ButtonGroup::ButtonAt(POINT clientPoint) {
    if (!dialog_) return nullptr;
    HWND child = ::ChildWindowFromPointEx(dialog_, clientPoint, CWP_SKIPINVISIBLE);
    if (!child || child == dialog_) return nullptr;
    for (XButton* button : buttons_) {
        if (button->ControlHandle() == child) return button;
    }
    return nullptr;
}

XButton* ButtonGroup::ButtonUnderCursor() {
    POINT cursor;
    if (!dialog_ || !::GetCursorPos(&cursor) || !::ScreenToClient(dialog_, &cursor)) return nullptr;
    return ButtonAt(cursor);
}

void ButtonGroup::UpdateStates() {
    MutexGuard guard(lock_);
    if (!dialog_) return;
    XButton* under = ButtonUnderCursor();
    const bool dialogEnabled = ::IsWindowEnabled(dialog_) != FALSE;
    for (XButton* button : buttons_) {
        bool hot = (button == under || button->keyPressed_) && dialogEnabled &&
                   ::IsWindowEnabled(button->ControlHandle());
        int32_t state = kButtonNormal;
        if (hot) state = (button->leftHeld_ || button->rightHeld_ || button->keyPressed_) ? kButtonPressed : kButtonHover;
        if (state != button->state_) {
            button->state_ = state;
            button->Paint();
        }
    }
}

bool ButtonGroup::Press(XButton& button, bool right) {
    // A disabled button takes no press (and so no focus); the click goes to the dialog.
    if (!::IsWindowEnabled(button.ControlHandle()) || !::IsWindowEnabled(dialog_)) return false;
    if (right) button.rightHeld_ = 1;
    else button.leftHeld_ = 1;
    UpdateStates();
    if (button.style_ & kButtonStyleFocus) ::SetFocus(button.ControlHandle());
    ::SetCapture(dialog_);
    button.OnPress(right);
    UpdateStates();
    return true;
}

void ButtonGroup::Release(bool right, POINT clientPoint) {
    ::ReleaseCapture();
    // A click may end the dialog and stop the group: each button is looked up again before it
    // is touched.
    std::vector<XButton*> buttons = buttons_;
    for (XButton* button : buttons) {
        if (std::find(buttons_.begin(), buttons_.end(), button) == buttons_.end()) continue;
        uint8_t& held = right ? button->rightHeld_ : button->leftHeld_;
        if (!held) continue;
        held = 0;
        if (IsPressed(button->state_)) {
            button->lastClickX_ = clientPoint.x;
            button->lastClickY_ = clientPoint.y;
            button->OnClick(right);
        } else {
            button->OnPressCancelled(right);
        }
    }
    UpdateStates();
}

LRESULT ButtonGroup::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) {
    if (groupHandling && message != WM_DRAWITEM) return 0;
    HandlingScope scope;
    MutexGuard guard(lock_);
    if (!dialog_) return 0;
    const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (!item) return 0;
        for (XButton* button : buttons_) {
            if (button->ControlHandle() == item->hwndItem) {
                button->Paint(item->hDC);
                *handled = 1;
                return TRUE;
            }
        }
        return 0;
    }
    case WM_TIMER: {
        if (wParam != timerId_) return 0;
        std::vector<XButton*> buttons = buttons_;
        for (XButton* button : buttons) {
            if (std::find(buttons_.begin(), buttons_.end(), button) == buttons_.end()) continue;
            if (IsPressed(button->state_)) button->OnHeldTick(!button->leftHeld_);
        }
        if (++ticks_ % 2 == 0) UpdateStates();
        *handled = 1;
        return 0;
    }
    case WM_MOUSEMOVE:
        for (XButton* button : buttons_) button->lastClickX_ = button->lastClickY_ = 0;
        UpdateStates();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: {
        XButton* button = ButtonAt(point);
        bool right = message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK;
        if (button && Press(*button, right)) *handled = 1;
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        Release(message == WM_RBUTTONUP, point);
        return 0;
    default:
        return 0;
    }
}

}  // namespace tarvo
