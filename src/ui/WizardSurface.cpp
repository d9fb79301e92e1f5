#include "ui/WizardSurface.h"

#include "resources/resource.h"

namespace tarvo {

namespace {

constexpr int kTitleHeight = 21;
constexpr int kTitleY = 2;

}  // namespace

void WizardSurface::ShapeWindow(HWND window) {
    if (!window) return;
    ULONG_PTR classStyle = ::GetClassLongPtrW(window, GCL_STYLE);
    ::SetClassLongPtrW(window, GCL_STYLE, LONG_PTR(classStyle | CS_DROPSHADOW));
    whiteBrush_.Create(kSurfaceWhite);
    RECT rect;
    if (!::GetWindowRect(window, &rect)) return;
    HRGN region = ::CreateRoundRectRgn(0, 0, rect.right - rect.left, rect.bottom - rect.top, kSurfaceCornerSize,
                                       kSurfaceCornerSize);
    // The system owns the region once it is set.
    if (region && !::SetWindowRgn(window, region, TRUE)) ::DeleteObject(region);
}

bool WizardSurface::PaintBackground(HWND window, const WString& title) {
    RECT rect;
    if (!window || !::GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    MutexGuard guard(PaintLock);
    if (!BackgroundCanvas.CreateBlank(width, height) || !PageCanvas.CreateBlank(width, height)) return false;
    HDC dc = BackgroundCanvas.Dc();

    RECT all = {0, 0, width, height};
    SolidBrush white(kSurfaceWhite);
    ::FillRect(dc, &all, white.Handle());
    const int band = height / 3;
    RECT top = {0, 0, width, band};
    PaintGradient(kSurfaceWhite, kSurfaceBandGrey, top, dc, kSurfaceBandGrey, kSurfaceWhite);
    RECT bottom = {0, height - band, width, height};
    PaintGradient(kSurfaceBandGrey, kSurfaceWhite, bottom, dc, kSurfaceWhite, kSurfaceBandGrey);

    BitmapCanvas mask;
    BitmapCanvas image;
    if (mask.LoadResource(PictureIdForDpi(IDB_HEADER_MASK_100)) && image.LoadResource(PictureIdForDpi(IDB_HEADER_100))) {
        mask.Blit(dc, (width - mask.Width()) / 2, 0, -1, -1, 0, 0, SRCAND);
        image.Blit(dc, (width - image.Width()) / 2, 0, -1, -1, 0, 0, SRCPAINT);
    }
    DrawLine(BackgroundCanvas, title, ScaleForDpi(kTitleHeight), kCentreLine, kTitleY);
    BackgroundCanvas.Blit(PageCanvas.Dc(), 0, 0);
    return true;
}

int WizardSurface::DrawLine(const BitmapCanvas& canvas, const WString& text, int height, int x, int y,
                            COLORREF color) {
    TextFont font;
    if (!canvas.Dc() || !font.Create(kDefaultFaceName, canvas.Dc(), height, color)) return 0;
    int width = font.MeasureWidth(text, false);
    if (x == kCentreLine) x = (canvas.Width() - width) / 2;
    font.Draw(text, x, y, false);
    return width;
}

bool WizardSurface::CreateCloseButton(ButtonGroup& group, XButton& button, HWND window, XWindow* owner,
                                      const WString& text) {
    BitmapCanvas skin;
    RECT rect;
    if (!window || !::GetWindowRect(window, &rect) || !skin.LoadResource(PictureIdForDpi(IDB_CLOSE_100))) return false;
    ButtonPlacement placement;
    placement.x = (rect.right - rect.left) - DluToPixelsX(10, window) - skin.Width() / 4 - 2;
    placement.y = 1;
    placement.text = text;
    placement.tipText = text;
    placement.style = kButtonStyleDefault;
    placement.background = &BackgroundCanvas;
    placement.id = kCloseButtonId;
    return group.CreateButton(button, placement, std::move(skin), owner);
}

WizardSurface::PageScope::PageScope(WizardSurface& surface, HWND window) : surface_(surface) {
    surface_.PaintLock.Lock();
    if (window && ::IsIconic(window)) return;
    if (!surface_.PageCanvas.Dc()) return;
    surface_.BackgroundCanvas.Blit(surface_.PageCanvas.Dc(), 0, 0);
    drawing_ = true;
}

WizardSurface::PageScope::~PageScope() { surface_.PaintLock.Unlock(); }

void WizardSurface::EraseBackground(HDC dc) {
    MutexGuard guard(PaintLock);
    PageCanvas.Blit(dc, 0, 0);
}

void WizardSurface::BeginDrag(HWND window) {
    POINT cursor;
    if (!window || !::GetCursorPos(&cursor)) return;
    ::SetCapture(window);
    lastCursor_ = cursor;
    dragging_ = true;
}

void WizardSurface::ContinueDrag(XWindow& window) {
    POINT cursor;
    if (!dragging_ || !::GetCursorPos(&cursor)) return;
    if (cursor.x == lastCursor_.x && cursor.y == lastCursor_.y) return;
    RECT rect = window.WindowRect();
    window.MoveWindowTo(rect.left + (cursor.x - lastCursor_.x), rect.top + (cursor.y - lastCursor_.y));
    lastCursor_ = cursor;
}

void WizardSurface::EndDrag() {
    if (!dragging_) return;
    dragging_ = false;
    ::ReleaseCapture();
}

int WizardSurface::ResultIconSize() {
    int scaled = ScaleForDpi(100);
    return scaled < 125 ? 75 : scaled < 150 ? 94 : 112;
}

int WizardSurface::RowIconSize() {
    int scaled = ScaleForDpi(100);
    return scaled < 125 ? 16 : scaled < 150 ? 20 : 24;
}

bool WizardSurface::CreateOptionList(XValueList& list, HWND window) {
    int size = RowIconSize();
    IconHandle checked = LoadIconImage(IDI_CHECKED, size);
    IconHandle unchecked = LoadIconImage(IDI_UNCHECKED, size);
    IconHandle checkedDisabled = LoadIconImage(IDI_CHECKED_DISABLED, size);
    IconHandle uncheckedDisabled = LoadIconImage(IDI_UNCHECKED_DISABLED, size);
    list.SetCheckImages(checked.Get(), unchecked.Get(), checkedDisabled.Get(), uncheckedDisabled.Get());
    if (!list.Create(window)) return false;
    list.UsePlainBorder();
    return true;
}

void WizardSurface::AddOptionRow(XValueList& list, const WString& caption, int iconId) {
    ValueRow row;
    row.kind = RowKind::CheckBox;
    row.caption = caption;
    row.value = L"1";
    row.icon = LoadIconImage(iconId, RowIconSize());
    row.iconX = 6;
    row.checkX = 28;
    row.captionX = 48;
    list.AddRow(std::move(row));
}

}  // namespace tarvo
