#include "ui/Drawing.h"

#include <ole2.h>
#include <olectl.h>

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

namespace tarvo {

namespace {

HINSTANCE ModuleOrProgram(HINSTANCE module) { return module ? module : ::GetModuleHandleW(nullptr); }

// The screen's DC for the length of a scope.
class ScreenDc {
public:
    ScreenDc() : dc_(::GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ::ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

int Lerp(int from, int to, int step, int steps) { return from + (to - from) * step / steps; }

COLORREF LerpColor(COLORREF from, COLORREF to, int step, int steps) {
    return RGB(Lerp(GetRValue(from), GetRValue(to), step, steps), Lerp(GetGValue(from), GetGValue(to), step, steps),
               Lerp(GetBValue(from), GetBValue(to), step, steps));
}

COLOR16 Channel16(BYTE value) { return COLOR16(value << 8); }

}  // namespace

// --- BitmapCanvas -----------------------------------------------------------------------------

BitmapCanvas::BitmapCanvas(BitmapCanvas&& other) noexcept
    : bitmap_(std::move(other.bitmap_)), dc_(std::move(other.dc_)), displaced_(std::exchange(other.displaced_, nullptr)) {}

BitmapCanvas& BitmapCanvas::operator=(BitmapCanvas&& other) noexcept {
    if (this != &other) {
        Release();
        bitmap_ = std::move(other.bitmap_);
        dc_ = std::move(other.dc_);
        displaced_ = std::exchange(other.displaced_, nullptr);
    }
    return *this;
}

void BitmapCanvas::Release() {
    if (dc_ && displaced_) ::SelectObject(dc_.Get(), displaced_);
    displaced_ = nullptr;
    dc_.Reset();
    bitmap_.Reset();
}

bool BitmapCanvas::SelectIntoNewDc() {
    if (!bitmap_) return false;
    if (dc_) return true;
    dc_.Reset(::CreateCompatibleDC(nullptr));
    if (!dc_) return false;
    displaced_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    if (!displaced_ || displaced_ == HGDI_ERROR) {
        displaced_ = nullptr;
        dc_.Reset();
        return false;
    }
    return true;
}

bool BitmapCanvas::LoadResource(int id, bool withDc, HINSTANCE module) {
    Release();
    bitmap_.Reset(static_cast<HBITMAP>(
        ::LoadImageW(ModuleOrProgram(module), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    if (!bitmap_) return false;
    if (withDc && !SelectIntoNewDc()) {
        Release();
        return false;
    }
    return true;
}

bool BitmapCanvas::CreateBlank(int width, int height, HDC compatibleWith) {
    Release();
    if (width <= 0 || height <= 0) return false;
    if (compatibleWith) {
        bitmap_.Reset(::CreateCompatibleBitmap(compatibleWith, width, height));
    } else {
        ScreenDc screen;
        if (screen.Get()) bitmap_.Reset(::CreateCompatibleBitmap(screen.Get(), width, height));
    }
    if (!bitmap_) return false;
    dc_.Reset(::CreateCompatibleDC(compatibleWith));
    if (!dc_) {
        Release();
        return false;
    }
    displaced_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    if (!displaced_ || displaced_ == HGDI_ERROR) {
        displaced_ = nullptr;
        Release();
        return false;
    }
    return true;
}

bool BitmapCanvas::CopyFrom(HBITMAP bitmap) {
    Release();
    BITMAP info = {};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return false;
    MemoryDc source(::CreateCompatibleDC(nullptr));
    if (!source) return false;
    HGDIOBJ old = ::SelectObject(source.Get(), bitmap);
    // A bitmap selected into another DC cannot be selected again.
    if (!old || old == HGDI_ERROR) return false;
    bool copied = CreateBlank(info.bmWidth, info.bmHeight) &&
                  ::BitBlt(dc_.Get(), 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
    ::SelectObject(source.Get(), old);
    if (!copied) Release();
    return copied;
}

bool BitmapCanvas::CopyFrom(const BitmapCanvas& other) {
    if (&other == this) return Valid();
    if (!other.Valid()) {
        Release();
        return false;
    }
    if (!other.Dc()) return CopyFrom(other.Bitmap());
    Release();
    int width = other.Width();
    int height = other.Height();
    if (!CreateBlank(width, height) || !::BitBlt(dc_.Get(), 0, 0, width, height, other.Dc(), 0, 0, SRCCOPY)) {
        Release();
        return false;
    }
    return true;
}

bool BitmapCanvas::Decode(const void* bytes, size_t size) {
    Release();
    if (!bytes || size < 8 || size > size_t(LONG_MAX)) return false;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return false;
    if (void* target = ::GlobalLock(memory)) {
        std::memcpy(target, bytes, size);
        ::GlobalUnlock(memory);
    } else {
        ::GlobalFree(memory);
        return false;
    }
    ComRef<IStream> stream;
    // The stream frees the memory when it is released.
    if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, stream.Receive())) || !stream) {
        ::GlobalFree(memory);
        return false;
    }
    ComRef<IPicture> picture;
    if (FAILED(::OleLoadPicture(stream.Get(), LONG(size), FALSE, IID_IPicture,
                                reinterpret_cast<void**>(picture.Receive()))) ||
        !picture) {
        return false;
    }
    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
    if (FAILED(picture->get_Width(&himetricWidth)) || FAILED(picture->get_Height(&himetricHeight))) return false;
    int width = 0;
    int height = 0;
    {
        ScreenDc screen;
        if (!screen.Get()) return false;
        width = ::MulDiv(himetricWidth, ::GetDeviceCaps(screen.Get(), LOGPIXELSX), 2540);
        height = ::MulDiv(himetricHeight, ::GetDeviceCaps(screen.Get(), LOGPIXELSY), 2540);
    }
    if (!CreateBlank(width, height)) return false;
    // The source rectangle runs from the bottom up, which renders the picture upright.
    if (FAILED(picture->Render(dc_.Get(), 0, 0, width, height, 0, himetricHeight, himetricWidth, -himetricHeight,
                               nullptr))) {
        Release();
        return false;
    }
    return true;
}

int BitmapCanvas::Width() const {
    BITMAP info = {};
    if (!bitmap_ || !::GetObjectW(bitmap_.Get(), sizeof(info), &info)) return 0;
    return info.bmWidth;
}

int BitmapCanvas::Height() const {
    BITMAP info = {};
    if (!bitmap_ || !::GetObjectW(bitmap_.Get(), sizeof(info), &info)) return 0;
    return info.bmHeight;
}

void BitmapCanvas::Blit(HDC destination, int x, int y, int width, int height, int sourceX, int sourceY,
                        DWORD rop) const {
    if (!dc_ || !destination || !bitmap_) return;
    if (width == -1) width = Width();
    if (height == -1) height = Height();
    ::BitBlt(destination, x, y, width, height, dc_.Get(), sourceX, sourceY, rop);
}

// --- SolidBrush / SolidPen --------------------------------------------------------------------

bool SolidBrush::Create(COLORREF color, HDC selectInto) {
    Release();
    LOGBRUSH logBrush = {BS_SOLID, color, 0};
    owned_.Reset(::CreateBrushIndirect(&logBrush));
    if (!owned_) return false;
    if (selectInto) Select(selectInto);
    return true;
}

bool SolidBrush::UseButtonFace(HDC selectInto) {
    Release();
    borrowed_ = ::GetSysColorBrush(COLOR_BTNFACE);
    if (!borrowed_) return false;
    if (selectInto) Select(selectInto);
    return true;
}

bool SolidBrush::Select(HDC dc) {
    Deselect();
    if (!dc || !Handle()) return false;
    HGDIOBJ displaced = ::SelectObject(dc, Handle());
    if (!displaced || displaced == HGDI_ERROR) return false;
    dc_ = dc;
    displaced_ = displaced;
    return true;
}

void SolidBrush::Deselect() {
    if (dc_ && displaced_) ::SelectObject(dc_, displaced_);
    dc_ = nullptr;
    displaced_ = nullptr;
}

void SolidBrush::Release() {
    Deselect();
    owned_.Reset();
    borrowed_ = nullptr;
}

bool SolidPen::Create(COLORREF color, HDC selectInto) {
    Release();
    pen_.Reset(::CreatePen(PS_SOLID, 0, color));
    if (!pen_) return false;
    if (selectInto) Select(selectInto);
    return true;
}

bool SolidPen::Select(HDC dc) {
    Deselect();
    if (!dc || !pen_) return false;
    HGDIOBJ displaced = ::SelectObject(dc, pen_.Get());
    if (!displaced || displaced == HGDI_ERROR) return false;
    dc_ = dc;
    displaced_ = displaced;
    return true;
}

void SolidPen::Deselect() {
    if (dc_ && displaced_) ::SelectObject(dc_, displaced_);
    dc_ = nullptr;
    displaced_ = nullptr;
}

void SolidPen::Release() {
    Deselect();
    pen_.Reset();
}

// --- TextFont ---------------------------------------------------------------------------------

// The DC that one drawing or measuring call works on: the given DC with the font selected for the
// call, else the DC the font is selected into, else (measuring only) a memory DC of the screen.
class TextFont::DcUse {
public:
    DcUse(TextFont& font, HDC given, bool forMeasuring) {
        if (!font.font_) return;
        if (given && given != font.dc_) {
            dc_ = given;
        } else if (font.dc_) {
            dc_ = font.dc_;
            return;
        } else if (forMeasuring) {
            scratch_.Reset(::CreateCompatibleDC(nullptr));
            dc_ = scratch_.Get();
        }
        if (!dc_) return;
        restore_ = true;
        font_ = ::SelectObject(dc_, font.font_.Get());
        color_ = ::SetTextColor(dc_, font.color_);
        mode_ = ::SetBkMode(dc_, font.transparent_ ? TRANSPARENT : OPAQUE);
    }
    ~DcUse() {
        if (!restore_) return;
        if (font_ && font_ != HGDI_ERROR) ::SelectObject(dc_, font_);
        ::SetTextColor(dc_, color_);
        ::SetBkMode(dc_, mode_);
    }
    DcUse(const DcUse&) = delete;
    DcUse& operator=(const DcUse&) = delete;

    HDC Get() const { return dc_; }

private:
    HDC dc_ = nullptr;
    MemoryDc scratch_;
    bool restore_ = false;
    HGDIOBJ font_ = nullptr;
    COLORREF color_ = 0;
    int mode_ = 0;
};

namespace {

int TextWidth(HDC dc, const wchar_t* text, int count) {
    SIZE size = {};
    if (count <= 0 || !::GetTextExtentPoint32W(dc, text, count, &size)) return 0;
    return size.cx;
}

int LineHeightOn(HDC dc) {
    SIZE size = {};
    if (!::GetTextExtentPoint32W(dc, L"Ay", 2, &size)) return 0;
    return size.cy;
}

int TabStopOn(HDC dc) {
    int average = TextWidth(dc, L"abcdefABCDEF", 12) / 12;
    if (average < 1) average = 1;
    return 8 * average;
}

// The width of one line whose tabs expand to stops at multiples of `tabStop` counted from
// `startX` positions before the line's start.
int TabbedLineWidth(HDC dc, const WString& line, int startX, int tabStop) {
    int count = line.Count();
    if (count == 0) return 0;
    int tabs = 0;
    WString plain;
    for (int i = 1; i <= count; ++i) {
        if (line.At(i) == L'\t') ++tabs;
        else plain.Append(line.At(i));
    }
    if (tabs == 0) return TextWidth(dc, line.c_str(), count);
    // Relative to the line's start, the first stop lies `shift` before a multiple of the stop
    // width. Each tab moves to the next stop past the text so far, so the plain text's width and
    // one stop per tab bound the stops that can be reached; GetTabbedTextExtentW falls back to
    // its own default stops after the last one given.
    int shift = ((startX % tabStop) + tabStop) % tabStop;
    int stopCount = TextWidth(dc, plain.c_str(), plain.Count()) / tabStop + tabs + 2;
    std::vector<INT> stops(static_cast<size_t>(stopCount));
    for (int k = 0; k < stopCount; ++k) stops[size_t(k)] = (k + 1) * tabStop - shift;
    DWORD extent = ::GetTabbedTextExtentW(dc, line.c_str(), count, stopCount, stops.data());
    return LOWORD(extent);
}

}  // namespace

bool TextFont::Create(const WString& faceName, HDC dc, int height, COLORREF color, bool bold, bool italic,
                      bool underline) {
    Release();
    logFont_ = LOGFONTW{};
    logFont_.lfHeight = height;
    logFont_.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    logFont_.lfItalic = italic ? 1 : 0;
    logFont_.lfUnderline = underline ? 1 : 0;
    const wchar_t* face = faceName.Empty() || faceName.Count() >= LF_FACESIZE ? kDefaultFaceName : faceName.c_str();
    ::lstrcpynW(logFont_.lfFaceName, face, LF_FACESIZE);
    color_ = color;
    font_.Reset(::CreateFontIndirectW(&logFont_));
    if (!font_) return false;
    if (dc) Select(dc);
    return true;
}

void TextFont::Release() {
    Deselect();
    font_.Reset();
}

bool TextFont::Select(HDC dc) {
    Deselect();
    if (!dc || !font_) return false;
    HGDIOBJ displaced = ::SelectObject(dc, font_.Get());
    if (!displaced || displaced == HGDI_ERROR) return false;
    dc_ = dc;
    displacedFont_ = displaced;
    displacedColor_ = ::SetTextColor(dc, color_);
    displacedMode_ = ::SetBkMode(dc, transparent_ ? TRANSPARENT : OPAQUE);
    return true;
}

void TextFont::Deselect() {
    if (!dc_) return;
    ::SelectObject(dc_, displacedFont_);
    ::SetTextColor(dc_, displacedColor_);
    ::SetBkMode(dc_, displacedMode_);
    dc_ = nullptr;
    displacedFont_ = nullptr;
}

void TextFont::SetColor(COLORREF color) {
    color_ = color;
    if (dc_) ::SetTextColor(dc_, color);
}

void TextFont::SetTransparent(bool transparent) {
    transparent_ = transparent;
    if (dc_) ::SetBkMode(dc_, transparent ? TRANSPARENT : OPAQUE);
}

void TextFont::Draw(const WString& text, int x, int y, bool multiLine, HDC dc, int tabOrigin) {
    DcUse use(*this, dc, false);
    HDC target = use.Get();
    if (!target) return;
    if (!multiLine) {
        ::ExtTextOutW(target, x, y, transparent_ ? 0 : ETO_OPAQUE, nullptr, text.c_str(), UINT(text.Count()), nullptr);
        return;
    }
    StringList lines;
    SplitLines(text, lines);
    int step = LineHeightOn(target) + lineSpacing_;
    INT tabStop = TabStopOn(target);
    for (int i = 0; i < lines.Count(); ++i) {
        const WString& line = lines.At(i);
        if (line.Count() > 0) ::TabbedTextOutW(target, x, y, line.c_str(), line.Count(), 1, &tabStop, tabOrigin);
        y += step;
    }
}

int TextFont::MeasureWidth(const WString& text, bool multiLine, int startX, HDC dc) {
    DcUse use(*this, dc, true);
    HDC target = use.Get();
    if (!target) return 0;
    if (!multiLine) return TextWidth(target, text.c_str(), text.Count());
    StringList lines;
    SplitLines(text, lines);
    int tabStop = TabStopOn(target);
    int widest = 0;
    for (int i = 0; i < lines.Count(); ++i) {
        int width = TabbedLineWidth(target, lines.At(i), startX, tabStop);
        if (width > widest) widest = width;
    }
    return widest;
}

int TextFont::MeasureHeight(const WString& text, HDC dc) {
    DcUse use(*this, dc, true);
    HDC target = use.Get();
    if (!target) return 0;
    StringList lines;
    SplitLines(text, lines);
    int count = lines.Count();
    if (count == 0) return 0;
    return count * LineHeightOn(target) + (count - 1) * lineSpacing_;
}

int TextFont::LineHeight(HDC dc) {
    DcUse use(*this, dc, true);
    return use.Get() ? LineHeightOn(use.Get()) : 0;
}

int TextFont::TabStopWidth(HDC dc) {
    DcUse use(*this, dc, true);
    return use.Get() ? TabStopOn(use.Get()) : 0;
}

WString FitTextToWidth(const WString& text, TextFont& font, int width, HDC dc) {
    constexpr int kMaxCharacters = 3000;
    WString rest = text.Count() > kMaxCharacters ? text.Left(kMaxCharacters) : text;
    bool removed = false;
    while (!rest.Empty()) {
        int measured = font.MeasureWidth(removed ? rest + WString(L"...") : rest, true, 0, dc);
        if (measured < width) break;
        rest.RemoveLast(1);
        removed = true;
    }
    if (removed && !rest.Empty()) rest.Append(L"...");
    return rest;
}

// --- icons ------------------------------------------------------------------------------------

IconHandle LoadIconImage(int id, int size, HINSTANCE module) {
    return IconHandle(static_cast<HICON>(
        ::LoadImageW(ModuleOrProgram(module), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

IconHandle DuplicateIconImage(HICON icon) { return IconHandle(icon ? ::DuplicateIcon(nullptr, icon) : nullptr); }

void DrawIconImage(HDC dc, HICON icon, int x, int y) {
    if (!dc || !icon) return;
    ::DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

SIZE IconImageSize(HICON icon) {
    SIZE size = {0, 0};
    ICONINFO info = {};
    if (!icon || !::GetIconInfo(icon, &info)) return size;
    GdiObject<HBITMAP> color(info.hbmColor);
    GdiObject<HBITMAP> mask(info.hbmMask);
    BITMAP bitmap = {};
    if (color && ::GetObjectW(color.Get(), sizeof(bitmap), &bitmap)) {
        size = {bitmap.bmWidth, bitmap.bmHeight};
    } else if (mask && ::GetObjectW(mask.Get(), sizeof(bitmap), &bitmap)) {
        // A monochrome icon keeps its AND and XOR masks one above the other.
        size = {bitmap.bmWidth, bitmap.bmHeight / 2};
    }
    return size;
}

// --- gradient ---------------------------------------------------------------------------------

void PaintGradient(COLORREF bottomLeft, COLORREF topLeft, const RECT& rect, HDC dc, COLORREF topRight,
                   COLORREF bottomRight) {
    if (!dc) return;
    SolidPen pen;
    COLORREF penColor = CLR_INVALID;
    auto line = [&](COLORREF color, int x1, int y1, int x2, int y2) {
        if (color != penColor) {
            pen.Create(color, dc);
            penColor = color;
        }
        ::MoveToEx(dc, x1, y1, nullptr);
        ::LineTo(dc, x2, y2);
    };

    if (topLeft == bottomLeft && topRight == bottomRight) {
        int steps = rect.right - rect.left;
        if (steps < 1) steps = 1;
        for (int x = rect.left; x <= rect.right; ++x) {
            line(LerpColor(topLeft, topRight, x - rect.left, steps), x, rect.top, x, rect.bottom + 1);
        }
        return;
    }

    int steps = rect.bottom - rect.top;
    if (steps < 1) steps = 1;
    for (int y = rect.top; y <= rect.bottom; ++y) {
        COLORREF left = LerpColor(topLeft, bottomLeft, y - rect.top, steps);
        COLORREF right = LerpColor(topRight, bottomRight, y - rect.top, steps);
        if (left == right) {
            line(left, rect.left, y, rect.right + 1, y);
            continue;
        }
        TRIVERTEX vertices[2] = {
            {rect.left, y, Channel16(GetRValue(left)), Channel16(GetGValue(left)), Channel16(GetBValue(left)), 0},
            {rect.right + 1, y + 1, Channel16(GetRValue(right)), Channel16(GetGValue(right)),
             Channel16(GetBValue(right)), 0},
        };
        GRADIENT_RECT mesh = {0, 1};
        ::GradientFill(dc, vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_H);
    }
}

}  // namespace tarvo
