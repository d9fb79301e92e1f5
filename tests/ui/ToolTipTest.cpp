// Tooltips: the tip's content, when a tip opens, where, how it fades and when it hides, driven
// with chosen cursor points and tick counts; then the real tracker thread with the real cursor
// over a skinned button.
#include "ui/ToolTip.h"

#include "ui/Button.h"
#include "ui/UiTestSupport.h"
#include "ui/Window.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// A window with one push button, the tip's target. A real button (not a static, which is
// transparent to hit-testing on its own thread) so that the tip advanced on this thread finds
// the target under the cursor.
class TargetTest : public ::testing::Test {
protected:
    void SetUp() override { PlaceHost(300, 300); }

    void PlaceHost(int left, int top) {
        host.DestroyWindowObject();
        ASSERT_TRUE(host.CreateCustomWindow(WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, nullptr, left, top, left + 200,
                                            top + 100));
        target = ::CreateWindowExW(0, L"BUTTON", L"Target", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 50, 0, 80, 30,
                                   host.WindowHandle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, target);
        ::GetWindowRect(target, &targetRect);
        ::UpdateWindow(host.WindowHandle());
    }

    POINT OverTarget() const { return POINT{(targetRect.left + targetRect.right) / 2, targetRect.top + 10}; }
    POINT Away() const { return POINT{targetRect.left + 5, targetRect.bottom + 40}; }

    static RECT TipRect(const XToolTip& tip) {
        RECT rect = {};
        ::GetWindowRect(tip.WindowHandle(), &rect);
        return rect;
    }

    XWindow host;
    HWND target = nullptr;
    RECT targetRect = {};
};

TEST_F(TargetTest, ContentIsAGradientPanelWithFrameAndText) {
    XToolTip tip;
    tip.Configure(target, L"Close", nullptr, nullptr, 0, 0, 0, false);
    EXPECT_EQ(3, tip.Content().ItemCount());
    ASSERT_EQ(1u, tip.Content().Gradients().size());
    const GradientItem& panel = tip.Content().Gradients().front();
    EXPECT_EQ(COLORREF(0xFFFEFE), panel.topLeft);
    EXPECT_EQ(COLORREF(0xFFFEFE), panel.topRight);
    EXPECT_EQ(COLORREF(0xF0E5E4), panel.bottomLeft);
    EXPECT_EQ(COLORREF(0xF0E5E4), panel.bottomRight);
    EXPECT_EQ(kTooltipDefaultDelayMs, tip.DelayMs());
    EXPECT_EQ(kTooltipDefaultDurationMs, tip.DurationMs());
    EXPECT_EQ(target, tip.Target());
    EXPECT_EQ(host.WindowHandle(), tip.TargetParent());

    // Painted: the frame colour at the edges, the text's ink inside, the panel elsewhere.
    XToolTip copy;
    copy.Configure(target, L"Close", nullptr, nullptr, 0, 0, 0, false);
    DrawList content = copy.Content();
    content.SetExtraSize(2, 4);
    content.Measure();
    BitmapCanvas canvas = FilledCanvas(content.ContentWidth(), content.ContentHeight(), kBlue);
    content.Paint(canvas.Dc(), 0, 0);
    EXPECT_EQ(COLORREF(0x767676), Pixel(canvas, 0, 0));
    EXPECT_EQ(COLORREF(0x767676), Pixel(canvas, content.ContentWidth() - 1, content.ContentHeight() - 1));
    // Red runs from 0xFE at the top down to 0xE4 at the bottom.
    const int topRed = GetRValue(Pixel(canvas, 1, 1));
    const int bottomRed = GetRValue(Pixel(canvas, 1, content.ContentHeight() - 2));
    EXPECT_LE(topRed, 0xFE);
    EXPECT_GE(bottomRed, 0xE4);
    EXPECT_GT(topRed, bottomRed);
    RECT ink = InkBounds(canvas, kBlue);
    EXPECT_EQ(0, ink.left) << "the panel covers the whole tip";
}

TEST_F(TargetTest, AnIconMovesTheTextRightAndSitsAtTheTopOfSeveralLines) {
    IconHandle icon(::CreateIcon(nullptr, 16, 16, 1, 1, std::vector<BYTE>(32, 0xFF).data(),
                                 std::vector<BYTE>(32, 0x00).data()));
    ASSERT_TRUE(icon);
    XToolTip tip;
    tip.Configure(target, L"One line", icon.Get(), nullptr, 0, 0, 0, false);
    EXPECT_EQ(4, tip.Content().ItemCount());
    DrawList single = tip.Content();
    single.Measure();
    tip.Configure(target, L"First\r\nSecond", icon.Get(), nullptr, 0, 0, 0, false);
    DrawList twoLines = tip.Content();
    twoLines.Measure();
    // Text at x = 16 + 8: the content is wider by the icon than the text alone.
    XToolTip plain;
    plain.Configure(target, L"One line", nullptr, nullptr, 0, 0, 0, false);
    DrawList text = plain.Content();
    text.Measure();
    EXPECT_EQ(text.ContentWidth() + (16 + 8 - 5), single.ContentWidth());
    EXPECT_GT(twoLines.ContentHeight(), single.ContentHeight());
}

TEST_F(TargetTest, OpensAfterTheDelayAboveTheTarget) {
    XToolTip tip;
    tip.Configure(target, L"Close", nullptr, nullptr, 0, 0, 0, false);
    const POINT over = OverTarget();
    ASSERT_EQ(target, ::WindowFromPoint(over));

    tip.Advance(over, 5000);
    EXPECT_EQ(5000u, tip.HoverStart());
    EXPECT_FALSE(tip.TipVisible());
    tip.Advance(over, 5999);
    tip.Advance(over, 6000);
    EXPECT_FALSE(tip.TipVisible()) << "not before more than 1000 ms";
    tip.Advance(over, 6001);
    ASSERT_TRUE(tip.TipVisible());
    EXPECT_EQ(0u, tip.HoverStart());
    EXPECT_EQ(6001u, tip.ShowTime());

    RECT rect = TipRect(tip);
    EXPECT_EQ(targetRect.top - 2, rect.bottom) << "2 pixels above the target";
    EXPECT_EQ(over.x, rect.left) << "starting at the cursor";
    LONG_PTR style = ::GetWindowLongPtrW(tip.WindowHandle(), GWL_STYLE);
    LONG_PTR exStyle = ::GetWindowLongPtrW(tip.WindowHandle(), GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_DLGFRAME);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_EQ(host.WindowHandle(), ::GetWindow(tip.WindowHandle(), GW_OWNER));
    EXPECT_EQ(-1, tip.Alpha());
    tip.Advance(over, 6050);
    EXPECT_EQ(255, tip.Alpha());
}

TEST_F(TargetTest, FadesOverTheLastThirdAndStaysHiddenUntilTheCursorComesBack) {
    XToolTip tip;
    tip.Configure(target, L"Close", nullptr, nullptr, 0, 0, 0, false);
    const POINT over = OverTarget();
    tip.Advance(over, 1000);
    tip.Advance(over, 2001);  // opens; show time 2001
    ASSERT_TRUE(tip.TipVisible());
    struct Step {
        DWORD elapsed;
        int32_t alpha;
    };
    // 10000 ms in all: opaque until 7500, then 2500 ms of fading.
    const Step steps[] = {{100, 255}, {7499, 255}, {7500, 255}, {8750, 128}, {9999, 1}, {10000, 0}};
    for (const Step& step : steps) {
        tip.Advance(over, 2001 + step.elapsed);
        EXPECT_EQ(step.alpha, tip.Alpha()) << step.elapsed;
        EXPECT_TRUE(tip.TipVisible()) << step.elapsed;
    }
    tip.Advance(over, 2001 + 10001);
    EXPECT_FALSE(tip.TipVisible());
    EXPECT_TRUE(tip.Done());
    EXPECT_EQ(nullptr, tip.WindowHandle());

    // Resting on: nothing more.
    tip.Advance(over, 20000);
    tip.Advance(over, 30000);
    EXPECT_FALSE(tip.TipVisible());
    // Leaving and coming back starts over.
    tip.Advance(Away(), 30050);
    EXPECT_FALSE(tip.Done());
    tip.Advance(over, 30100);
    tip.Advance(over, 31101);
    EXPECT_TRUE(tip.TipVisible());
}

TEST_F(TargetTest, LeavingTheTargetHidesTheTipAtTheNextPoll) {
    XToolTip tip;
    tip.Configure(target, L"Close", nullptr, nullptr, 0, 0, 0, false);
    const POINT over = OverTarget();
    tip.Advance(over, 1000);
    tip.Advance(over, 2001);
    ASSERT_TRUE(tip.TipVisible());
    tip.Advance(Away(), 2100);
    EXPECT_FALSE(tip.TipVisible());
    EXPECT_FALSE(tip.Done());
    // A short rest after leaving does not bring it back.
    tip.Advance(over, 2200);
    tip.Advance(over, 2700);
    EXPECT_FALSE(tip.TipVisible());
}

TEST_F(TargetTest, ATipWithoutLimitOrFadeStaysOpaque) {
    struct Case {
        int32_t duration;
        bool noFade;
    };
    for (const Case& c : {Case{kTooltipNoLimit, false}, Case{0, true}}) {
        XToolTip tip;
        tip.Configure(target, L"Close", nullptr, nullptr, 0, 0, c.duration, c.noFade);
        const POINT over = OverTarget();
        tip.Advance(over, 1000);
        tip.Advance(over, 2001);
        ASSERT_TRUE(tip.TipVisible());
        bool layered = (::GetWindowLongPtrW(tip.WindowHandle(), GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
        EXPECT_EQ(!c.noFade, layered);
        tip.Advance(over, 2001 + 9000);
        // A layered window shows nothing until its alpha is set: a tip that does not fade still
        // gets full opacity.
        if (layered) {
            EXPECT_EQ(255, tip.Alpha());
        }
        tip.Advance(over, 2001 + (c.duration == kTooltipNoLimit ? 100000 : 9999));
        EXPECT_TRUE(tip.TipVisible()) << c.duration;
    }
}

TEST_F(TargetTest, ATargetAtTheTopOfTheScreenGetsItsTipBelow) {
    PlaceHost(300, 0);
    XToolTip tip;
    tip.Configure(target, L"Close", nullptr, nullptr, 0, 0, 0, false);
    const POINT over = OverTarget();
    tip.Advance(over, 1000);
    tip.Advance(over, 2001);
    ASSERT_TRUE(tip.TipVisible());
    EXPECT_EQ(targetRect.bottom + 1, TipRect(tip).top);
}

TEST_F(TargetTest, ATipNeverPassesTheDesktopsRightEdge) {
    RECT desktop;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    PlaceHost(desktop.right - 140, 300);
    XToolTip tip;
    tip.Configure(target, L"A rather long tip text that needs room", nullptr, nullptr, 0, 0, 0, false);
    POINT over = {targetRect.right - 3, targetRect.top + 10};
    tip.Advance(over, 1000);
    tip.Advance(over, 2001);
    ASSERT_TRUE(tip.TipVisible());
    RECT rect = TipRect(tip);
    EXPECT_EQ(desktop.right, rect.right);
    EXPECT_LT(rect.left, over.x);
}

TEST_F(TargetTest, FramedStyleAndFixedPosition) {
    XToolTip tip;
    POINT fixed = {500, 600};
    tip.Configure(nullptr, L"Fixed", nullptr, &fixed, kTooltipFramed, 0, 0, true);
    EXPECT_EQ(1, tip.DelayMs()) << "a tip at a fixed position opens at once";
    tip.SetOwnerWindow(host.WindowHandle());
    tip.Advance(Away(), 1000);  // a fixed tip counts as always over
    tip.Advance(Away(), 1002);
    ASSERT_TRUE(tip.TipVisible());
    RECT rect = TipRect(tip);
    EXPECT_EQ(500, rect.left);
    EXPECT_EQ(600 - 2, rect.bottom);
    EXPECT_TRUE(::GetWindowLongPtrW(tip.WindowHandle(), GWL_STYLE) & WS_DLGFRAME);
    EXPECT_FALSE(::GetWindowLongPtrW(tip.WindowHandle(), GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(host.WindowHandle(), ::GetWindow(tip.WindowHandle(), GW_OWNER));

    // Framed tips have 8 pixels of margin instead of 2.
    XToolTip narrow;
    narrow.Configure(nullptr, L"Fixed", nullptr, &fixed, 0, 0, 0, true);
    narrow.Advance(Away(), 1000);
    narrow.Advance(Away(), 1002);
    ASSERT_TRUE(narrow.TipVisible());
    RECT narrowRect = TipRect(narrow);
    EXPECT_EQ(6, (rect.right - rect.left) - (narrowRect.right - narrowRect.left));
}

TEST_F(TargetTest, ShowAndHideRegisterTheTipAndRunTheTrackerWhileAnyIsRegistered) {
    ASSERT_EQ(0, TooltipRegistry::Count());
    XToolTip first;
    XToolTip second;
    ASSERT_TRUE(ShowTooltip(first, target, L"First"));
    ASSERT_TRUE(ShowTooltip(second, target, L"Second"));
    EXPECT_EQ(2, TooltipRegistry::Count());
    EXPECT_TRUE(TooltipRegistry::Contains(&first));
    EXPECT_TRUE(TooltipTracker().IsRunning());
    // Showing again replaces, it does not add.
    ASSERT_TRUE(ShowTooltip(first, target, L"Again"));
    EXPECT_EQ(2, TooltipRegistry::Count());

    HideTooltip(first);
    EXPECT_FALSE(TooltipRegistry::Contains(&first));
    EXPECT_EQ(0, first.Content().ItemCount());
    EXPECT_TRUE(TooltipTracker().IsRunning());
    HideTooltip(second);
    EXPECT_EQ(0, TooltipRegistry::Count());
    EXPECT_FALSE(TooltipTracker().IsRunning());
    // Hiding an unregistered tip is harmless.
    HideTooltip(second);
    {
        XToolTip destroyedWhileRegistered;
        ASSERT_TRUE(ShowTooltip(destroyedWhileRegistered, target, L"Gone"));
    }
    EXPECT_EQ(0, TooltipRegistry::Count());
    EXPECT_FALSE(TooltipTracker().IsRunning());
}

// A skinned button with its "Close" tip, the real tracker, and the real cursor.
class GroupHost : public XWindow {
public:
    ButtonGroup group;
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override {
        return group.HandleMessage(window, message, wParam, lParam, handled);
    }
    ~GroupHost() override { DestroyWindowObject(); }
};

TEST(TooltipTracker, TheButtonsTipOpensOnRestAndHidesWhenTheCursorLeaves) {
    GroupHost host;
    ASSERT_TRUE(host.CreateCustomWindow(WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, nullptr, 400, 400, 700, 600));
    ASSERT_TRUE(host.group.Start(host.WindowHandle()));
    BitmapCanvas skin = FilledCanvas(88, 44, kBlack);
    XButton button;
    ButtonPlacement placement;
    placement.x = 100;
    placement.y = 50;
    placement.text = L"Close";
    placement.tipText = L"Close";
    ASSERT_TRUE(host.group.CreateButton(button, placement, std::move(skin), &host));
    EXPECT_TRUE(TooltipRegistry::Contains(&button.ToolTip()));
    EXPECT_TRUE(TooltipTracker().IsRunning());

    RECT buttonRect;
    ::GetWindowRect(button.Window(), &buttonRect);
    ::SetCursorPos((buttonRect.left + buttonRect.right) / 2, (buttonRect.top + buttonRect.bottom) / 2);
    ASSERT_TRUE(PumpUntil([&] { return button.ToolTip().TipVisible(); })) << "the tip never opened";
    HWND tipWindow = button.ToolTip().WindowHandle();
    RECT tipRect;
    ::GetWindowRect(tipWindow, &tipRect);
    EXPECT_EQ(buttonRect.top - 2, tipRect.bottom) << "above the button";
    EXPECT_NE(::GetWindowThreadProcessId(tipWindow, nullptr), ::GetCurrentThreadId())
        << "the tracker's thread owns the tip window";

    ::SetCursorPos(buttonRect.left - 60, buttonRect.bottom + 60);
    ASSERT_TRUE(PumpUntil([&] { return !button.ToolTip().TipVisible(); })) << "the tip never hid";

    // Back on the button, then the button goes while its tip is open: the tip goes with it.
    ::SetCursorPos((buttonRect.left + buttonRect.right) / 2, (buttonRect.top + buttonRect.bottom) / 2);
    ASSERT_TRUE(PumpUntil([&] { return button.ToolTip().TipVisible(); }));
    tipWindow = button.ToolTip().WindowHandle();
    host.group.Stop();
    EXPECT_FALSE(::IsWindowVisible(tipWindow));
    EXPECT_EQ(0, TooltipRegistry::Count());
    EXPECT_FALSE(TooltipTracker().IsRunning());
}

}  // namespace
