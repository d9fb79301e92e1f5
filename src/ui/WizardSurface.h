#pragma once
// The look that every wizard-style window shares (the wizards, the licence window, the container
// and waiting windows): a borderless window with rounded corners and a drop shadow, painted white
// with grey bands at the top and the bottom, the header ornament and a title, and moved by
// dragging any point of its surface.
//
// A window keeps one WizardSurface. Its background goes into BackgroundCanvas once, in
// OnInitWindow; each page is drawn by copying the background into PageCanvas and drawing the
// page's texts over it (PageScope); OnEraseBackground copies PageCanvas to the screen. PaintLock
// guards both canvases, because page drawing and erasing both touch them.
#include "base/Sync.h"
#include "base/Text.h"
#include "base/Win.h"
#include "ui/Button.h"
#include "ui/Drawing.h"
#include "ui/ValueList.h"
#include "ui/Window.h"

#include <climits>

namespace tarvo {

constexpr COLORREF kSurfaceWhite = 0xFFFFFF;
constexpr COLORREF kSurfaceBandGrey = 0xF5F5F5;
constexpr int kSurfaceCornerSize = 40;
// The control id of a wizard's close button.
constexpr int kCloseButtonId = 1090;

// Pass as x to centre a line horizontally.
constexpr int kCentreLine = INT_MIN;

class WizardSurface {
public:
    WizardSurface() = default;
    WizardSurface(const WizardSurface&) = delete;
    WizardSurface& operator=(const WizardSurface&) = delete;

    MutexLock PaintLock;
    BitmapCanvas BackgroundCanvas;
    BitmapCanvas PageCanvas;

    // The first steps of OnInitWindow: the drop-shadow bit in the window's class style, the
    // white brush, and a region with corners rounded by 40 by 40 pixels.
    void ShapeWindow(HWND window);
    // Creates both canvases of the window's size and paints BackgroundCanvas: white, a gradient
    // from 0xF5F5F5 to white over the top third and back over the bottom third, the header
    // ornament (mask, then image, by DPI) centred at the top, and `title` in "Tahoma" at
    // ScaleForDpi(21), centred, at y = 2. PageCanvas starts as a copy of it.
    bool PaintBackground(HWND window, const WString& title);

    // One line of "Tahoma" text, transparent, at (x, y) on `canvas`; x = kCentreLine centres it
    // across the canvas. Returns the line's width.
    static int DrawLine(const BitmapCanvas& canvas, const WString& text, int height, int x, int y,
                        COLORREF color = 0);

    // The close button of the wizards: skin 102, 103 or 104 by DPI, style 0x87, text and tip
    // `text`, at x = window width - DluToPixelsX(10) - a quarter of the skin's width - 2, y = 1,
    // over BackgroundCanvas. The group must have been started on `window`.
    bool CreateCloseButton(ButtonGroup& group, XButton& button, HWND window, XWindow* owner,
                           const WString& text = L"Close");

    // Drawing one page: holds PaintLock, and unless the window is minimised starts PageCanvas
    // as a copy of BackgroundCanvas.
    class PageScope {
    public:
        PageScope(WizardSurface& surface, HWND window);
        ~PageScope();
        PageScope(const PageScope&) = delete;
        PageScope& operator=(const PageScope&) = delete;
        // False while the window is minimised: nothing is to be drawn.
        bool Drawing() const noexcept { return drawing_; }

    private:
        WizardSurface& surface_;
        bool drawing_ = false;
    };

    // The result icon of the wizards' last pages (75, 94 or 112 pixels) and the option rows'
    // icons and check images (16, 20 or 24 pixels) for the screen's DPI.
    static int ResultIconSize();
    static int RowIconSize();
    // The option list of a last page: check images of RowIconSize, created on `window` with a
    // plain border. False when the list could not be created.
    static bool CreateOptionList(XValueList& list, HWND window);
    // A ticked check-box row of that list: `iconId` at RowIconSize, the icon, check image and
    // caption at 6, 28 and 48 pixels.
    static void AddOptionRow(XValueList& list, const WString& caption, int iconId);

    // OnEraseBackground: PageCanvas to `dc`, under PaintLock.
    void EraseBackground(HDC dc);
    // For OnCtlColorStatic and OnCtlColorDialog.
    HBRUSH Brush() const noexcept { return whiteBrush_.Handle(); }

    // Moving the window: a mouse button pressed on its surface captures the mouse and keeps the
    // cursor's screen position; each move while dragging moves the window by the cursor's
    // movement; releasing ends the drag.
    void BeginDrag(HWND window);
    void ContinueDrag(XWindow& window);
    void EndDrag();
    bool Dragging() const noexcept { return dragging_; }

private:
    SolidBrush whiteBrush_;
    bool dragging_ = false;
    POINT lastCursor_ = {0, 0};
};

}  // namespace tarvo
