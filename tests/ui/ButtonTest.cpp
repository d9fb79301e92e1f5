// Skinned buttons: which frame of the skin each state paints, how a group turns the dialog's mouse
// messages into hover, press, click and cancelled presses, the keyboard on the button itself, and
// the group's timer and lifetime.
#include "ui/Button.h"

#include "ui/UiTestSupport.h"
#include "ui/Window.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// The colour of each column of the synthetic skins: normal, pressed, hover, focus, disabled, extra.
const COLORREF kColumnColors[] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200),
                                  RGB(200, 200, 0), RGB(0, 200, 200), RGB(200, 0, 200)};
const COLORREF kBackground = RGB(10, 20, 30);
const COLORREF kFocusMark = RGB(255, 255, 255);

// A skin of `columns` frames of 22 by 22, each filled with its column's colour. With a mask row,
// each mask is black (the frame covers the background) but for a transparent 2 by 2 corner at
// the frame's bottom right, where the background shows through. The focus column's mask is
// transparent everywhere but for a 4 by 4 mark at the frame's top left, drawn in kFocusMark.
// Without a mask row every frame is plain.
BitmapCanvas SyntheticSkin(int columns, bool masked, int focusColumn) {
    const int frame = 22;
    BitmapCanvas skin = FilledCanvas(frame * columns, masked ? frame * 2 : frame, kBlack);
    auto fill = [&](int left, int top, int right, int bottom, COLORREF color) {
        RECT rect = {left, top, right, bottom};
        SolidBrush brush(color);
        ::FillRect(skin.Dc(), &rect, brush.Handle());
    };
    for (int c = 0; c < columns; ++c) {
        const int x = c * frame;
        if (masked && c == focusColumn) {
            fill(x, frame, x + frame, 2 * frame, kWhite);
            fill(x, frame, x + 4, frame + 4, kBlack);
            fill(x, 0, x + 4, 4, kFocusMark);
            continue;
        }
        fill(x, 0, x + frame, frame, kColumnColors[c]);
        if (masked) {
            fill(x + frame - 2, frame - 2, x + frame, frame, kBlack);
            fill(x + frame - 2, 2 * frame - 2, x + frame, 2 * frame, kWhite);
        }
    }
    return skin;
}

class CountingButton : public XButton {
public:
    std::vector<bool> clicks;
    std::vector<bool> presses;
    std::vector<bool> cancelled;
    std::vector<bool> heldTicks;

    void OnClick(bool right) override { clicks.push_back(right); }
    void OnPress(bool right) override { presses.push_back(right); }
    void OnPressCancelled(bool right) override { cancelled.push_back(right); }
    void OnHeldTick(bool released) override { heldTicks.push_back(released); }
};

// A plain window that offers its messages to its button group first, as the dialogs do.
class GroupHost : public XWindow {
public:
    ButtonGroup group;
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override {
        return group.HandleMessage(window, message, wParam, lParam, handled);
    }
    void OnDestroy() override {
        group.Stop();
        HandledFlag = 0;
    }
    ~GroupHost() override { DestroyWindowObject(); }
};

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetKeyboardCuesShown(false);
        ASSERT_TRUE(host.CreateCustomWindow(WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, nullptr, 100, 100, 400, 300));
        ASSERT_TRUE(host.group.Start(host.WindowHandle()));
        background = FilledCanvas(300, 200, kBackground);
        // Somewhere off every button: the buttons start in the normal state.
        MoveCursorTo(POINT{250, 250});
    }

    bool Create(XButton& button, uint32_t style, int x = 40, int y = 30, int columns = 4, bool masked = true) {
        ButtonPlacement placement;
        placement.x = x;
        placement.y = y;
        placement.text = L"Close";
        placement.style = style;
        placement.background = &background;
        placement.id = 77;
        int focusColumn = SkinColumnOf(style ? style : kButtonStyleDefault, kButtonStyleFocus);
        return host.group.CreateButton(button, placement, SyntheticSkin(columns, masked, focusColumn), &host);
    }

    LRESULT Send(UINT message, POINT client, WPARAM keys = 0) {
        return ::SendMessageW(host.WindowHandle(), message, keys, MAKELPARAM(client.x, client.y));
    }

    static POINT Centre(const XButton& button) {
        RECT rect;
        ::GetWindowRect(button.Window(), &rect);
        return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }

    POINT ClientOf(POINT screen) {
        ::ScreenToClient(host.WindowHandle(), &screen);
        return screen;
    }

    static void MoveCursorTo(POINT screen) { ::SetCursorPos(screen.x, screen.y); }

    // The column colour at the middle of the button's last painted frame.
    static COLORREF PaintedColor(XButton& button) {
        button.Paint();
        return Pixel(button.Output(), 15, 15);
    }

    GroupHost host;
    BitmapCanvas background;
};

TEST(ButtonSkin, ColumnsFollowTheStyleBits) {
    struct Case {
        uint32_t style;
        int columns;
        int hover, focus, disabled, extra;
    };
    const Case cases[] = {
        {0x87, 4, 2, 3, -1, -1},  // the close buttons
        {0x81, 2, -1, -1, -1, -1},
        {0x9F, 6, 2, 3, 4, 5},
        {0x0B, 4, 2, -1, 3, -1},
        {0x15, 4, -1, 2, -1, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.columns, SkinColumnCount(c.style)) << std::hex << c.style;
        EXPECT_EQ(c.hover, SkinColumnOf(c.style, kButtonStyleHover)) << std::hex << c.style;
        EXPECT_EQ(c.focus, SkinColumnOf(c.style, kButtonStyleFocus)) << std::hex << c.style;
        EXPECT_EQ(c.disabled, SkinColumnOf(c.style, kButtonStyleDisabled)) << std::hex << c.style;
        EXPECT_EQ(c.extra, SkinColumnOf(c.style, kButtonStyleExtra)) << std::hex << c.style;
    }
}

TEST(ButtonSkin, FrameChoiceByStateAndStyle) {
    struct Case {
        uint32_t style;
        int32_t state;
        bool disabled;
        int column;
    };
    const Case cases[] = {
        {0x87, kButtonNormal, false, 0},  {0x87, kButtonPressed, false, 1}, {0x87, kButtonHover, false, 2},
        {0x87, kButtonExtra, false, 1},   {0x81, kButtonHover, false, 0},   {0x1F, kButtonExtra, false, 5},
        {0x1F, kButtonHover, true, 4},    {0x1F, kButtonPressed, true, 4},  {0x9F, kButtonHover, true, 2},
        {0x87, kButtonPressed, true, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.column, SkinColumnFor(c.style, c.state, c.disabled))
            << std::hex << c.style << " state " << c.state << " disabled " << c.disabled;
    }
}

TEST_F(ButtonTest, An88By44SkinWithTheCloseStyleGives22By22Frames) {
    XButton button;
    ASSERT_TRUE(Create(button, 0));  // 0 means the close buttons' 0x87
    EXPECT_EQ(kButtonStyleDefault, button.Style());
    EXPECT_EQ(88, button.Skin().Width());
    EXPECT_EQ(44, button.Skin().Height());
    EXPECT_EQ(22, button.FrameWidth());
    EXPECT_EQ(22, button.FrameHeight());
    RECT rect;
    ::GetWindowRect(button.Window(), &rect);
    EXPECT_EQ(22, rect.right - rect.left);
    EXPECT_EQ(22, rect.bottom - rect.top);
    wchar_t className[32] = {};
    ::GetClassNameW(button.Window(), className, 32);
    EXPECT_STREQ(L"Static", className);
    LONG_PTR style = ::GetWindowLongPtrW(button.Window(), GWL_STYLE);
    EXPECT_EQ(SS_OWNERDRAW, style & SS_TYPEMASK);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_EQ(77, ::GetDlgCtrlID(button.Window()));
    EXPECT_EQ(1, host.group.Count());
}

TEST_F(ButtonTest, HoverPaintsTheThirdColumnAndLeavingTheNormalOne) {
    XButton button;
    ASSERT_TRUE(Create(button, 0x87));
    EXPECT_EQ(kButtonNormal, button.State());
    EXPECT_EQ(kColumnColors[0], PaintedColor(button));

    MoveCursorTo(Centre(button));
    host.group.UpdateStates();
    EXPECT_EQ(kButtonHover, button.State());
    EXPECT_EQ(kColumnColors[2], PaintedColor(button));
    // What reached the screen is the output canvas.
    HDC dc = ::GetDC(button.Window());
    EXPECT_EQ(kColumnColors[2], ::GetPixel(dc, 11, 11));
    ::ReleaseDC(button.Window(), dc);

    MoveCursorTo(POINT{250, 250});
    Send(WM_MOUSEMOVE, ClientOf(POINT{250, 250}));
    EXPECT_EQ(kButtonNormal, button.State());
    EXPECT_EQ(kColumnColors[0], PaintedColor(button));
}

TEST_F(ButtonTest, WithoutAHoverColumnHoverPaintsTheNormalFrame) {
    XButton button;
    ASSERT_TRUE(Create(button, 0x81, 40, 30, 2));
    MoveCursorTo(Centre(button));
    host.group.UpdateStates();
    EXPECT_EQ(kButtonHover, button.State());
    EXPECT_EQ(kColumnColors[0], PaintedColor(button));
}

TEST_F(ButtonTest, UnmaskedSkinsCopyTheFrameAndShowTheDisabledColumn) {
    XButton button;
    ASSERT_TRUE(Create(button, 0x0F, 40, 30, 5, false));
    EXPECT_EQ(22, button.FrameHeight());
    EXPECT_EQ(kColumnColors[0], PaintedColor(button));
    button.Enable(false);
    EXPECT_FALSE(::IsWindowEnabled(button.Window()));
    EXPECT_EQ(kColumnColors[4], Pixel(button.Output(), 15, 15));  // Enable repainted at once
    button.Enable(true);
    EXPECT_EQ(kColumnColors[0], Pixel(button.Output(), 15, 15));
}

TEST_F(ButtonTest, MaskedSkinsBlendIntoTheBackgroundCopiedFromTheButtonsPosition) {
    // The window's background under the button's transparent corner (21, 21).
    ::SetPixel(background.Dc(), 40 + 21, 30 + 21, kGreen);
    XButton button;
    ASSERT_TRUE(Create(button, 0x87));
    button.Paint();
    EXPECT_EQ(kColumnColors[0], Pixel(button.Output(), 10, 10));
    EXPECT_EQ(kGreen, Pixel(button.Output(), 21, 21));
    EXPECT_EQ(kBackground, Pixel(button.Output(), 20, 20));

    // Without a given background the system's button face fills it.
    XButton plain;
    ButtonPlacement placement;
    placement.x = 100;
    placement.y = 30;
    placement.style = 0x87;
    int focus = SkinColumnOf(0x87, kButtonStyleFocus);
    ASSERT_TRUE(host.group.CreateButton(plain, placement, SyntheticSkin(4, true, focus), &host));
    plain.Paint();
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), Pixel(plain.Output(), 21, 21));
}

TEST_F(ButtonTest, FocusFramesAppearOnlyAfterTabWasReleased) {
    XButton button;
    ASSERT_TRUE(Create(button, 0x87));
    ::SetFocus(button.Window());
    ASSERT_EQ(button.Window(), ::GetFocus());
    button.Paint();
    EXPECT_EQ(kColumnColors[0], Pixel(button.Output(), 1, 1)) << "no cues yet";
    EXPECT_EQ(kColumnColors[0], Pixel(button.Output(), 15, 15));

    ::SendMessageW(button.Window(), WM_KEYUP, VK_TAB, 0);
    EXPECT_TRUE(KeyboardCuesShown());
    EXPECT_EQ(kFocusMark, Pixel(button.Output(), 1, 1)) << "the focus column over the normal frame";
    EXPECT_EQ(kColumnColors[0], Pixel(button.Output(), 15, 15));

    // Without the focus the column is left out again.
    ::SetFocus(host.WindowHandle());
    button.Paint();
    EXPECT_EQ(kColumnColors[0], Pixel(button.Output(), 1, 1));
}

TEST_F(ButtonTest, PressAndReleaseOverTheButtonClicks) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    POINT centre = Centre(button);
    MoveCursorTo(centre);
    POINT client = ClientOf(centre);

    Send(WM_LBUTTONDOWN, client, MK_LBUTTON);
    EXPECT_EQ(std::vector<bool>{false}, button.presses);
    EXPECT_TRUE(button.LeftHeld());
    EXPECT_EQ(kButtonPressed, button.State());
    EXPECT_EQ(kColumnColors[1], Pixel(button.Output(), 15, 15));
    EXPECT_EQ(host.WindowHandle(), ::GetCapture());
    EXPECT_EQ(button.Window(), ::GetFocus()) << "a style with a focus column takes the focus";

    Send(WM_LBUTTONUP, client);
    EXPECT_EQ(std::vector<bool>{false}, button.clicks);
    EXPECT_TRUE(button.cancelled.empty());
    EXPECT_FALSE(button.LeftHeld());
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_EQ(kButtonHover, button.State());
    EXPECT_EQ(client.x, button.LastClick().x);
    EXPECT_EQ(client.y, button.LastClick().y);

    // Moving the mouse forgets the click position.
    Send(WM_MOUSEMOVE, client);
    EXPECT_EQ(0, button.LastClick().x);
    EXPECT_EQ(0, button.LastClick().y);
}

TEST_F(ButtonTest, TheRightButtonClicksWithTheRightFlag) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    POINT centre = Centre(button);
    MoveCursorTo(centre);
    Send(WM_RBUTTONDOWN, ClientOf(centre), MK_RBUTTON);
    EXPECT_TRUE(button.RightHeld());
    EXPECT_EQ(kButtonPressed, button.State());
    Send(WM_RBUTTONUP, ClientOf(centre));
    EXPECT_EQ(std::vector<bool>{true}, button.presses);
    EXPECT_EQ(std::vector<bool>{true}, button.clicks);
}

TEST_F(ButtonTest, ReleasingOffTheButtonCancelsThePress) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    POINT centre = Centre(button);
    MoveCursorTo(centre);
    Send(WM_LBUTTONDOWN, ClientOf(centre), MK_LBUTTON);
    ASSERT_EQ(kButtonPressed, button.State());

    POINT away = {centre.x + 100, centre.y + 100};
    MoveCursorTo(away);
    Send(WM_MOUSEMOVE, ClientOf(away), MK_LBUTTON);
    EXPECT_EQ(kButtonNormal, button.State());
    Send(WM_LBUTTONUP, ClientOf(away));
    EXPECT_TRUE(button.clicks.empty());
    EXPECT_EQ(std::vector<bool>{false}, button.cancelled);
}

TEST_F(ButtonTest, APressOutsideEveryButtonIsLeftToTheWindow) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    POINT away = {250, 250};
    int32_t handled = 0;
    LPARAM at = MAKELPARAM(ClientOf(away).x, ClientOf(away).y);
    host.group.HandleMessage(host.WindowHandle(), WM_LBUTTONDOWN, MK_LBUTTON, at, &handled);
    EXPECT_EQ(0, handled);
    EXPECT_TRUE(button.presses.empty());

    // Over the button the press is the group's.
    POINT centre = Centre(button);
    MoveCursorTo(centre);
    at = MAKELPARAM(ClientOf(centre).x, ClientOf(centre).y);
    host.group.HandleMessage(host.WindowHandle(), WM_LBUTTONDOWN, MK_LBUTTON, at, &handled);
    EXPECT_EQ(1, handled);
    handled = 0;
    host.group.HandleMessage(host.WindowHandle(), WM_LBUTTONUP, 0, at, &handled);
    EXPECT_EQ(0, handled) << "the window still sees the release";
    EXPECT_EQ(1u, button.clicks.size());
}

TEST_F(ButtonTest, ADisabledButtonNeitherTurnsHotNorClicks) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    button.Enable(false);
    POINT centre = Centre(button);
    MoveCursorTo(centre);
    host.group.UpdateStates();
    EXPECT_EQ(kButtonNormal, button.State());
    Send(WM_LBUTTONDOWN, ClientOf(centre), MK_LBUTTON);
    Send(WM_LBUTTONUP, ClientOf(centre));
    EXPECT_TRUE(button.presses.empty());
    EXPECT_TRUE(button.clicks.empty());
    EXPECT_NE(button.Window(), ::GetFocus());

    // A disabled window disables its buttons' hover too.
    button.Enable(true);
    ::EnableWindow(host.WindowHandle(), FALSE);
    host.group.UpdateStates();
    EXPECT_EQ(kButtonNormal, button.State());
    ::EnableWindow(host.WindowHandle(), TRUE);
    host.group.UpdateStates();
    EXPECT_EQ(kButtonHover, button.State());
}

TEST_F(ButtonTest, SpaceAndEnterPressAndClickTheFocusedButton) {
    for (WPARAM key : {WPARAM(VK_SPACE), WPARAM(VK_RETURN)}) {
        CountingButton button;
        ASSERT_TRUE(Create(button, 0x87));
        ::SendMessageW(button.Window(), WM_KEYDOWN, key, 0);
        EXPECT_TRUE(button.KeyPressed()) << key;
        EXPECT_EQ(std::vector<bool>{false}, button.presses) << key;
        EXPECT_EQ(kButtonPressed, button.State()) << "a held key makes the button hot and pressed";
        // Auto-repeat does not press again.
        ::SendMessageW(button.Window(), WM_KEYDOWN, key, 0x40000000);
        EXPECT_EQ(1u, button.presses.size());
        ::SendMessageW(button.Window(), WM_KEYUP, key, 0);
        EXPECT_FALSE(button.KeyPressed());
        EXPECT_EQ(std::vector<bool>{false}, button.clicks) << key;
        EXPECT_EQ(kButtonNormal, button.State());
    }
}

TEST_F(ButtonTest, KeysOnADisabledButtonAndStrayKeyUpsDoNothing) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    ::SendMessageW(button.Window(), WM_KEYUP, VK_SPACE, 0);
    EXPECT_TRUE(button.clicks.empty()) << "a release without a press";
    button.Enable(false);
    ::SendMessageW(button.Window(), WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(button.Window(), WM_KEYUP, VK_SPACE, 0);
    EXPECT_TRUE(button.presses.empty());
    EXPECT_TRUE(button.clicks.empty());
}

TEST_F(ButtonTest, TheButtonAsksTheDialogForEnterOnly) {
    XButton button;
    ASSERT_TRUE(Create(button, 0x87));
    struct Case {
        UINT message;
        WPARAM key;
        bool wanted;
    };
    const Case cases[] = {{WM_KEYDOWN, VK_RETURN, true},
                          {WM_KEYUP, VK_RETURN, true},
                          {WM_KEYDOWN, VK_ESCAPE, false},
                          {WM_KEYDOWN, VK_TAB, false},
                          {WM_CHAR, VK_RETURN, false}};
    for (const Case& c : cases) {
        MSG msg = {};
        msg.hwnd = button.Window();
        msg.message = c.message;
        msg.wParam = c.key;
        LRESULT code = ::SendMessageW(button.Window(), WM_GETDLGCODE, c.key, reinterpret_cast<LPARAM>(&msg));
        EXPECT_EQ(c.wanted, (code & DLGC_WANTMESSAGE) != 0) << c.message << " " << c.key;
    }
}

TEST_F(ButtonTest, WhileHeldTheTimerTicksTheButton) {
    CountingButton button;
    ASSERT_TRUE(Create(button, 0x87));
    POINT centre = Centre(button);
    MoveCursorTo(centre);
    Send(WM_LBUTTONDOWN, ClientOf(centre), MK_LBUTTON);
    ASSERT_TRUE(PumpUntil([&] { return button.heldTicks.size() >= 2; }));
    EXPECT_FALSE(button.heldTicks.front()) << "the left button is still held on it";
    Send(WM_LBUTTONUP, ClientOf(centre));
    size_t ticks = button.heldTicks.size();
    // Not pressed any more: the next timer messages tick nothing.
    int32_t handled = 0;
    host.group.HandleMessage(host.WindowHandle(), WM_TIMER, host.group.TimerId(), 0, &handled);
    EXPECT_EQ(1, handled);
    EXPECT_EQ(ticks, button.heldTicks.size());
}

TEST_F(ButtonTest, OwnerDrawMessagesPaintIntoTheGivenDc) {
    XButton button;
    ASSERT_TRUE(Create(button, 0x87));
    BitmapCanvas target = FilledCanvas(22, 22, kWhite);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_STATIC;
    item.hwndItem = button.Window();
    item.hDC = target.Dc();
    item.rcItem = RECT{0, 0, 22, 22};
    LRESULT result = ::SendMessageW(host.WindowHandle(), WM_DRAWITEM, 77, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(TRUE, result);
    EXPECT_EQ(kColumnColors[0], Pixel(target, 11, 11));

    // Another control's drawing is left to the window.
    item.hwndItem = host.WindowHandle();
    int32_t handled = 0;
    host.group.HandleMessage(host.WindowHandle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item), &handled);
    EXPECT_EQ(0, handled);
}

TEST_F(ButtonTest, GroupsTakeTimerIdsFrom7788AndStopDestroysTheirButtons) {
    GroupHost other;
    ASSERT_TRUE(other.CreateCustomWindow(WS_POPUP, 0, nullptr, 0, 0, 100, 100));
    ASSERT_TRUE(other.group.Start(other.WindowHandle()));
    EXPECT_GE(host.group.TimerId(), kFirstButtonTimerId);
    EXPECT_GT(other.group.TimerId(), host.group.TimerId());

    XButton first;
    XButton second;
    ASSERT_TRUE(Create(first, 0x87));
    ASSERT_TRUE(Create(second, 0x87, 80));
    HWND firstWindow = first.Window();
    EXPECT_EQ(2, host.group.Count());
    host.group.Stop();
    EXPECT_EQ(0, host.group.Count());
    EXPECT_FALSE(::IsWindow(firstWindow));
    EXPECT_EQ(nullptr, first.Window());
    EXPECT_EQ(nullptr, first.Group());
    EXPECT_EQ(0, host.group.TimerId());
    // A stopped group creates nothing.
    EXPECT_FALSE(Create(first, 0x87));
}

TEST_F(ButtonTest, AButtonLeavesItsGroupWhenItGoes) {
    {
        XButton shortLived;
        ASSERT_TRUE(Create(shortLived, 0x87));
        EXPECT_EQ(1, host.group.Count());
    }
    EXPECT_EQ(0, host.group.Count());
    // The group goes on working without it.
    int32_t handled = 0;
    host.group.HandleMessage(host.WindowHandle(), WM_TIMER, host.group.TimerId(), 0, &handled);
    EXPECT_EQ(1, handled);
}

TEST_F(ButtonTest, AClickThatDestroysTheWindowEndsTheGroupSafely) {
    // The licence window's close button ends its dialog from OnClick; here the click destroys
    // the host at once, which stops the group in the middle of its release handling.
    class Destroyer : public XButton {
    public:
        XWindow* target = nullptr;
        int clicks = 0;
        void OnClick(bool) override {
            ++clicks;
            target->DestroyWindowObject();
        }
    };
    Destroyer first;
    CountingButton second;
    first.target = &host;
    ASSERT_TRUE(Create(first, 0x87));
    ASSERT_TRUE(Create(second, 0x87, 80));
    POINT centre = Centre(first);
    MoveCursorTo(centre);
    POINT client = ClientOf(centre);
    Send(WM_LBUTTONDOWN, client, MK_LBUTTON);
    ::SendMessageW(host.WindowHandle(), WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    EXPECT_EQ(1, first.clicks);
    EXPECT_EQ(nullptr, host.WindowHandle());
    EXPECT_EQ(0, host.group.Count());
    EXPECT_TRUE(second.clicks.empty());
}

}  // namespace
