// The wizards' shared surface and close button with the installer's own pictures, at each of the
// three picture sets (96, 120 and 144 DPI): the background bands, the ornament and title, and
// the close button's four frames, each drawn by the button over the painted background. Every
// set is also written to "dialogs-close-button-<dpi>.bmp" in the build tree for looking at.
#include "ui/Button.h"
#include "ui/WizardSurface.h"

#include "resources/resource.h"
#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

class SurfaceHost : public XWindow {
public:
    ButtonGroup group;
    WizardSurface surface;
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override {
        return group.HandleMessage(window, message, wParam, lParam, handled);
    }
    void OnEraseBackground(HDC dc) override { surface.EraseBackground(dc); }
    ~SurfaceHost() override { DestroyWindowObject(); }
};

class DpiScope {
public:
    explicit DpiScope(int dpi) { SetScreenDpi(dpi); }
    ~DpiScope() { SetScreenDpi(-1); }
    DpiScope(const DpiScope&) = delete;
    DpiScope& operator=(const DpiScope&) = delete;
};

struct PictureSet {
    int dpi;
    int skin;
    int frameWidth;
    int frameHeight;
    int ornament;
    int ornamentWidth;
};

const PictureSet kSets[] = {
    {96, IDB_CLOSE_100, 22, 22, IDB_HEADER_100, 190},
    {120, IDB_CLOSE_125, 28, 28, IDB_HEADER_125, 237},
    {144, IDB_CLOSE_150, 31, 29, IDB_HEADER_150, 355},
};

TEST(PictureSets, ChosenByScaledHundred) {
    struct Case {
        int dpi;
        int offset;
    };
    for (const Case& c : {Case{96, 0}, Case{110, 0}, Case{119, 0}, Case{120, 1}, Case{143, 1}, Case{144, 2},
                          Case{192, 2}}) {
        DpiScope dpi(c.dpi);
        EXPECT_EQ(IDB_CLOSE_100 + c.offset, PictureIdForDpi(IDB_CLOSE_100)) << c.dpi;
    }
}

TEST(Surface, BackgroundBandsOrnamentAndTitle) {
    for (const PictureSet& set : kSets) {
        DpiScope dpi(set.dpi);
        SurfaceHost host;
        ASSERT_TRUE(host.CreateCustomWindow(WS_POPUP, 0, nullptr, 0, 0, 600, 360));
        WizardSurface& surface = host.surface;
        ASSERT_TRUE(surface.PaintBackground(host.WindowHandle(), L"Installer"));
        const BitmapCanvas& canvas = surface.BackgroundCanvas;
        ASSERT_EQ(600, canvas.Width());
        ASSERT_EQ(360, canvas.Height());
        EXPECT_EQ(COLORREF(0xF5F5F5), Pixel(canvas, 2, 0)) << set.dpi;
        // The bottom band's last colour falls on the row below the window, one step further.
        EXPECT_EQ(0xF6, GetRValue(Pixel(canvas, 2, 359))) << set.dpi;
        EXPECT_EQ(COLORREF(0xFFFFFF), Pixel(canvas, 2, 180)) << set.dpi;
        // The ornament sits centred at the top: no ink outside its columns in its rows.
        const int left = (600 - set.ornamentWidth) / 2;
        for (int y = 0; y < 20; ++y) {
            EXPECT_EQ(Pixel(canvas, 2, y), Pixel(canvas, left - 2, y)) << set.dpi << " row " << y;
        }
        RECT ink = InkBounds(canvas, COLORREF(0xFFFFFF));
        EXPECT_EQ(0, ink.top);
        // The title: the same background without it differs only in the title's rows.
        SurfaceHost untitled;
        ASSERT_TRUE(untitled.CreateCustomWindow(WS_POPUP, 0, nullptr, 0, 0, 600, 360));
        ASSERT_TRUE(untitled.surface.PaintBackground(untitled.WindowHandle(), L""));
        RECT title = {600, 360, -1, -1};
        for (int y = 0; y < 360; ++y) {
            for (int x = 0; x < 600; ++x) {
                if (Pixel(canvas, x, y) == Pixel(untitled.surface.BackgroundCanvas, x, y)) continue;
                title.left = std::min<LONG>(title.left, x);
                title.right = std::max<LONG>(title.right, x);
                title.top = std::min<LONG>(title.top, y);
                title.bottom = std::max<LONG>(title.bottom, y);
            }
        }
        EXPECT_GE(title.top, 2) << set.dpi;
        EXPECT_LE(title.bottom, 2 + ScaleForDpi(21)) << set.dpi;
        EXPECT_NEAR(300, (title.left + title.right) / 2, 3) << set.dpi << ": centred";
        // The page starts as a copy, and erasing shows the page.
        EXPECT_EQ(Pixel(canvas, 300, 10), Pixel(surface.PageCanvas, 300, 10));
        {
            WizardSurface::PageScope page(surface, host.WindowHandle());
            ASSERT_TRUE(page.Drawing());
            WizardSurface::DrawLine(surface.PageCanvas, L"Page text", 30, 25, 200);
        }
        BitmapCanvas screen = FilledCanvas(600, 360, kRed);
        surface.EraseBackground(screen.Dc());
        EXPECT_NE(kRed, Pixel(screen, 300, 300));
        RECT pageInk = InkBounds(screen, COLORREF(0xFFFFFF));
        EXPECT_EQ(0, pageInk.top);
        EXPECT_NE(Pixel(surface.PageCanvas, 30, 215), Pixel(canvas, 30, 215)) << "the page text is on the page only";
    }
}

TEST(Surface, CloseButtonFramesAtEachPictureSet) {
    for (const PictureSet& set : kSets) {
        DpiScope dpi(set.dpi);
        SetKeyboardCuesShown(false);
        SurfaceHost host;
        ASSERT_TRUE(host.CreateCustomWindow(WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, nullptr, 100, 100, 700, 460));
        ASSERT_TRUE(host.surface.PaintBackground(host.WindowHandle(), L"Installer"));
        ASSERT_TRUE(host.group.Start(host.WindowHandle()));
        XButton button;
        ASSERT_TRUE(host.surface.CreateCloseButton(host.group, button, host.WindowHandle(), &host));
        EXPECT_EQ(set.frameWidth, button.FrameWidth()) << set.dpi;
        EXPECT_EQ(set.frameHeight, button.FrameHeight()) << set.dpi;
        EXPECT_EQ(set.frameWidth * 4, button.Skin().Width()) << set.dpi;
        RECT rect;
        ::GetWindowRect(button.Window(), &rect);
        ::MapWindowPoints(nullptr, host.WindowHandle(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(600 - 10 - set.frameWidth - 2, rect.left) << set.dpi;  // not a dialog: 10 units = 10 pixels
        EXPECT_EQ(1, rect.top);
        EXPECT_EQ(kCloseButtonId, ::GetDlgCtrlID(button.Window()));
        wchar_t text[16] = {};
        ::GetWindowTextW(button.Window(), text, 16);
        EXPECT_STREQ(L"Close", text);

        // Each state as the button paints it: normal, pressed, hover, then normal with the focus
        // frame, side by side on the window's background.
        const int frameWidth = button.FrameWidth();
        const int frameHeight = button.FrameHeight();
        std::vector<BitmapCanvas> frames;
        auto capture = [&] {
            button.Paint();
            BitmapCanvas frame;
            frame.CopyFrom(button.Output());
            frames.push_back(std::move(frame));
        };
        capture();
        RECT screenRect;
        ::GetWindowRect(button.Window(), &screenRect);
        POINT centre = {(screenRect.left + screenRect.right) / 2, (screenRect.top + screenRect.bottom) / 2};
        ::SetCursorPos(centre.x, centre.y);
        POINT client = centre;
        ::ScreenToClient(host.WindowHandle(), &client);
        ::SendMessageW(host.WindowHandle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
        ASSERT_EQ(kButtonPressed, button.State());
        capture();
        ::SendMessageW(host.WindowHandle(), WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        ASSERT_EQ(kButtonHover, button.State());
        capture();
        ::SetCursorPos(50, 50);
        host.group.UpdateStates();
        ::SetFocus(button.Window());
        ::SendMessageW(button.Window(), WM_KEYUP, VK_TAB, 0);
        ASSERT_EQ(kButtonNormal, button.State());
        capture();

        // The frames differ from one another, and the masked skin leaves the background around
        // its round face untouched (the frame's top-left corner is the band's colour).
        for (size_t a = 0; a < frames.size(); ++a) {
            EXPECT_EQ(Pixel(host.surface.BackgroundCanvas, rect.left, rect.top), Pixel(frames[a], 0, 0))
                << set.dpi << " frame " << a;
            for (size_t b = a + 1; b < frames.size(); ++b) {
                bool differ = false;
                for (int y = 0; y < frameHeight && !differ; ++y) {
                    for (int x = 0; x < frameWidth && !differ; ++x) differ = Pixel(frames[a], x, y) != Pixel(frames[b], x, y);
                }
                EXPECT_TRUE(differ) << set.dpi << ": frames " << a << " and " << b << " look alike";
            }
        }

        // The sheet: the window's top right corner with each state, enlarged four times.
        const int zoom = 4;
        const int gap = 6;
        BitmapCanvas sheet = FilledCanvas(int(frames.size()) * (frameWidth + gap) * zoom, frameHeight * zoom, kWhite);
        for (size_t i = 0; i < frames.size(); ++i) {
            ::StretchBlt(sheet.Dc(), int(i) * (frameWidth + gap) * zoom, 0, frameWidth * zoom, frameHeight * zoom,
                         frames[i].Dc(), 0, 0, frameWidth, frameHeight, SRCCOPY);
        }
        std::wstring name = L"dialogs-close-button-" + std::to_wstring(set.dpi) + L".bmp";
        EXPECT_TRUE(SaveBmp(sheet, name));
    }
    SetKeyboardCuesShown(false);
}

}  // namespace
