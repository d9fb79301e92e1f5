#pragma once
// Skinned push buttons drawn from a strip of bitmap frames.
//
// The button window is a plain owner-drawn static control: it is transparent to the mouse, so the
// mouse messages over it reach its dialog. The dialog's ButtonGroup sees the dialog's messages
// first (from its PreFilterMessage), finds the button under the cursor, tracks hover and press,
// animates on a 50 ms timer and paints the buttons on WM_DRAWITEM. The button itself, a subclassed
// control, handles focus and the keyboard.
#include "base/Sync.h"
#include "base/Text.h"
#include "base/Win.h"
#include "ui/Drawing.h"
#include "ui/SubclassCtrl.h"
#include "ui/ToolTip.h"
#include "ui/Window.h"

#include <cstdint>
#include <vector>

namespace tarvo {

// Button states.
constexpr int32_t kButtonNormal = 0;
constexpr int32_t kButtonPressed = 1;  // a mouse button (or Space/Enter) is held on it
constexpr int32_t kButtonHover = 2;    // the cursor is over it, nothing held
constexpr int32_t kButtonExtra = 3;    // kept for subclasses: painted as pressed or with the extra column

// ButtonStyle bits: which columns the skin has, and whether it has a mask row.
constexpr uint32_t kButtonStyleBase = 0x01;      // set by every caller; no effect on drawing
constexpr uint32_t kButtonStyleHover = 0x02;     // a hover column
constexpr uint32_t kButtonStyleFocus = 0x04;     // a focus column; a tab stop that takes the focus when clicked
constexpr uint32_t kButtonStyleDisabled = 0x08;  // a disabled column
constexpr uint32_t kButtonStyleExtra = 0x10;     // an extra column for state 3
constexpr uint32_t kButtonStyleMasked = 0x80;    // two rows: the image above its mask
// The close buttons' style, and what a style of 0 means.
constexpr uint32_t kButtonStyleDefault = 0x87;

// The animation timer of the first group; each further group takes the next id.
constexpr UINT_PTR kFirstButtonTimerId = 7788;
constexpr UINT kButtonTimerPeriodMs = 50;

// Columns of a skin with this style: normal and pressed, then one per column bit.
int SkinColumnCount(uint32_t style);
// The column painted for a state (see XButton::Paint): the disabled column for a disabled window
// when the skin has one and no mask row; pressed 1; hover the hover column (else 0); state 3 the
// extra column (else 1); normal 0.
int SkinColumnFor(uint32_t style, int32_t state, bool disabled);
// The column of a given kind (kButtonStyleHover, ...Focus, ...Disabled, ...Extra); -1 when the
// style has none.
int SkinColumnOf(uint32_t style, uint32_t kind);
// The picture of a set chosen by screen DPI: `id100` below 125 %, id100 + 1 from 125 % to 149 %,
// id100 + 2 from 150 % (ScaleForDpi of 100).
int PictureIdForDpi(int id100);

// Whether the user has released Tab in a button: from then on, for the rest of the process,
// focused buttons draw their focus column.
bool KeyboardCuesShown();
void SetKeyboardCuesShown(bool shown);

class ButtonGroup;

// Where and how a button is created.
struct ButtonPlacement {
    int x = 0;  // in the dialog's client coordinates
    int y = 0;
    WString text;     // the window text
    WString tipText;  // the tooltip; none when empty
    uint32_t style = 0;  // 0 means kButtonStyleDefault
    // The dialog's painted background, copied from the button's position so that masked skins
    // blend into it; the system button face when null.
    const BitmapCanvas* background = nullptr;
    int id = 0;  // the control id
};

class XButton : public XSubClassCtrl {
public:
    XButton() = default;
    // Leaves its group and destroys its window.
    ~XButton() override;

    // Focus repaints; Enter is asked for; Space and Enter press and click; releasing Tab turns
    // the keyboard cues on.
    LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             int32_t* handled) override;

    // Notifications, all on the dialog's thread; the base versions do nothing.
    virtual void OnClick(bool right);
    // Every 50 ms while pressed (state 1 or 3); `released` is set when the left mouse button is
    // no longer held on it.
    virtual void OnHeldTick(bool released);
    virtual void OnPress(bool right);
    virtual void OnPressCancelled(bool right);

    // EnableWindow, then an immediate repaint.
    void Enable(bool enable);
    // Paints the frame of the current state into the output canvas, then copies that to `dc`
    // (the button's own window DC when null).
    void Paint(HDC dc = nullptr);
    // Destroys the window, hides the tooltip and releases the canvases; the object can be
    // created again.
    void Destroy();

    HWND Window() const noexcept { return ControlHandle(); }
    HWND Dialog() const noexcept { return dialog_; }
    XWindow* Owner() const noexcept { return owner_; }
    ButtonGroup* Group() const noexcept { return group_; }
    int32_t State() const noexcept { return state_; }
    uint32_t Style() const noexcept { return style_; }
    int FrameWidth() const noexcept { return frameWidth_; }
    int FrameHeight() const noexcept { return frameHeight_; }
    bool LeftHeld() const noexcept { return leftHeld_ != 0; }
    bool RightHeld() const noexcept { return rightHeld_ != 0; }
    bool KeyPressed() const noexcept { return keyPressed_ != 0; }
    // The cursor position (dialog client coordinates) at the last click; (0, 0) when none.
    POINT LastClick() const noexcept { return POINT{lastClickX_, lastClickY_}; }
    const BitmapCanvas& Skin() const noexcept { return skin_; }
    const BitmapCanvas& Output() const noexcept { return output_; }
    XToolTip& ToolTip() noexcept { return tip_; }

protected:
    // For subclasses that use state 3.
    void SetState(int32_t state);

private:
    friend class ButtonGroup;

    void BlitColumn(int column);

    HWND dialog_ = nullptr;
    XWindow* owner_ = nullptr;
    ButtonGroup* group_ = nullptr;
    int32_t state_ = kButtonNormal;
    uint8_t leftHeld_ = 0;
    uint8_t rightHeld_ = 0;
    int32_t lastClickX_ = 0;
    int32_t lastClickY_ = 0;
    uint32_t style_ = kButtonStyleDefault;
    BitmapCanvas skin_;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    BitmapCanvas output_;
    BitmapCanvas background_;
    XToolTip tip_;
    uint8_t keyPressed_ = 0;
};

// The skinned buttons of one dialog. The dialog starts the group in its OnInitWindow, offers it
// every message first from PreFilterMessage, and stops it in OnDestroy.
class ButtonGroup {
public:
    ButtonGroup() = default;
    ~ButtonGroup() { Stop(); }
    ButtonGroup(const ButtonGroup&) = delete;
    ButtonGroup& operator=(const ButtonGroup&) = delete;

    // Starts the 50 ms animation timer on `dialog` with the next id from 7788 upwards.
    bool Start(HWND dialog);
    // Kills the timer, then destroys every button's window and canvases and empties the list.
    void Stop();

    // Loads the skin bitmap `skinId` of the program and creates the button (see the other form).
    bool CreateButton(XButton& button, const ButtonPlacement& placement, int skinId, XWindow* owner);
    // Creates the button from a skin: the frame size follows from the style's columns and rows,
    // the window is an owner-drawn "STATIC" of that size at the placement (a tab stop when the
    // style has a focus column), subclassed, with the tip text registered with its tooltip, and
    // appended to the group. False (and nothing created) without a started group, a skin or a
    // window.
    bool CreateButton(XButton& button, const ButtonPlacement& placement, BitmapCanvas skin, XWindow* owner);

    // The dialog's message, before the dialog's own handling. Sets *handled when the group took
    // it; the return value is then the message's result.
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled);
    // Moves every button to the state the cursor and keyboard give it, repainting those that
    // changed.
    void UpdateStates();

    HWND Dialog() const noexcept { return dialog_; }
    UINT_PTR TimerId() const noexcept { return timerId_; }
    MutexLock& Lock() noexcept { return lock_; }
    int Count();
    // The visible button whose window is the dialog's child at the client point; null when none.
    XButton* ButtonAt(POINT clientPoint);

private:
    friend class XButton;

    void Remove(XButton* button);
    // The button under the cursor, by its screen position.
    XButton* ButtonUnderCursor();
    bool Press(XButton& button, bool right);
    void Release(bool right, POINT clientPoint);

    std::vector<XButton*> buttons_;
    MutexLock lock_;
    HWND dialog_ = nullptr;
    UINT_PTR timerId_ = 0;
    uint32_t ticks_ = 0;
};

}  // namespace tarvo
