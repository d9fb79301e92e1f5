#pragma once
// The small GDI objects that every owner-drawn window paints with: an off-screen bitmap with its
// own memory DC, solid brushes and pens, a font that draws and measures text, icons, and the
// four-colour gradient of the window backgrounds. Colours are COLORREF (0x00BBGGRR).
//
// Every primitive tolerates missing handles: drawing with a canvas, font or icon that has none
// does nothing, and measuring gives 0. None of them reports errors.
#include "base/Handle.h"
#include "base/Text.h"
#include "base/Win.h"

#include <cstddef>
#include <cstdint>

namespace tarvo {

struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { ::DeleteDC(dc); }
};
// A device context made by CreateCompatibleDC.
using MemoryDc = UniqueHandle<MemoryDcTraits>;

// A bitmap, normally selected into a memory DC of its own. Releasing it deselects the bitmap,
// deletes the DC, then the bitmap.
class BitmapCanvas {
public:
    BitmapCanvas() = default;
    ~BitmapCanvas() { Release(); }
    BitmapCanvas(BitmapCanvas&& other) noexcept;
    BitmapCanvas& operator=(BitmapCanvas&& other) noexcept;
    BitmapCanvas(const BitmapCanvas&) = delete;
    BitmapCanvas& operator=(const BitmapCanvas&) = delete;

    // A bitmap resource of `module` (the program when null) at its natural size; with `withDc`
    // selected into a new memory DC compatible with the screen.
    bool LoadResource(int id, bool withDc = true, HINSTANCE module = nullptr);
    // A blank bitmap compatible with `compatibleWith` (the screen when null), selected into a new
    // memory DC. A zero or negative size creates nothing.
    bool CreateBlank(int width, int height, HDC compatibleWith = nullptr);
    // A copy of the same size (BitBlt SRCCOPY), selected into a new memory DC.
    bool CopyFrom(HBITMAP bitmap);
    bool CopyFrom(const BitmapCanvas& other);
    // Decodes an encoded picture (BMP, GIF, JPEG, PNG, ICO... whatever OLE picture loading
    // reads) into a screen-compatible bitmap of the picture's size. Fewer than 8 bytes, or bytes
    // that do not decode, leave the canvas without a bitmap.
    bool Decode(const void* bytes, size_t size);
    // Gives a bitmap loaded without a DC one of its own.
    bool SelectIntoNewDc();
    void Release();

    bool Valid() const noexcept { return bitmap_.Valid(); }
    HBITMAP Bitmap() const noexcept { return bitmap_.Get(); }
    HDC Dc() const noexcept { return dc_.Get(); }
    // From the bitmap's BITMAP record; 0 without a bitmap.
    int Width() const;
    int Height() const;

    // BitBlt from the canvas's DC. A width or height of -1 means the canvas's own. Does nothing
    // without a DC, a destination or a bitmap.
    void Blit(HDC destination, int x, int y, int width = -1, int height = -1, int sourceX = 0, int sourceY = 0,
              DWORD rop = SRCCOPY) const;

private:
    GdiObject<HBITMAP> bitmap_;
    MemoryDc dc_;
    HGDIOBJ displaced_ = nullptr;
};

// A solid brush, or the system's button-face brush, which is borrowed and never deleted. Selecting
// it into a DC remembers the object it displaced, which is put back before the brush goes.
class SolidBrush {
public:
    SolidBrush() = default;
    explicit SolidBrush(COLORREF color, HDC selectInto = nullptr) { Create(color, selectInto); }
    ~SolidBrush() { Release(); }
    SolidBrush(const SolidBrush&) = delete;
    SolidBrush& operator=(const SolidBrush&) = delete;

    bool Create(COLORREF color, HDC selectInto = nullptr);
    bool UseButtonFace(HDC selectInto = nullptr);
    bool Select(HDC dc);
    void Deselect();
    void Release();

    HBRUSH Handle() const noexcept { return borrowed_ ? borrowed_ : owned_.Get(); }
    bool Borrowed() const noexcept { return borrowed_ != nullptr; }

private:
    GdiObject<HBRUSH> owned_;
    HBRUSH borrowed_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ displaced_ = nullptr;
};

// A solid pen of width 0 (one pixel).
class SolidPen {
public:
    SolidPen() = default;
    explicit SolidPen(COLORREF color, HDC selectInto = nullptr) { Create(color, selectInto); }
    ~SolidPen() { Release(); }
    SolidPen(const SolidPen&) = delete;
    SolidPen& operator=(const SolidPen&) = delete;

    bool Create(COLORREF color, HDC selectInto = nullptr);
    bool Select(HDC dc);
    void Deselect();
    void Release();

    HPEN Handle() const noexcept { return pen_.Get(); }

private:
    GdiObject<HPEN> pen_;
    HDC dc_ = nullptr;
    HGDIOBJ displaced_ = nullptr;
};

// The face that replaces an empty face name or one too long for a LOGFONT (32 characters or
// more). Every window of the program uses it.
constexpr const wchar_t* kDefaultFaceName = L"Tahoma";

// A font that draws and measures text. While it is selected into a DC, the DC's text colour is
// the font's colour and its background mode TRANSPARENT (or OPAQUE when the font is not
// transparent); deselecting restores the font, colour and mode the DC had.
//
// Multi-line mode splits the text at line breaks (CR, CR LF) and expands tabs to stops every 8
// average character widths, the average being the width of "abcdefABCDEF" / 12. The stops are
// counted from a fixed origin, not from where the text starts, so a tab lands on the same column
// wherever its text begins; drawing and measuring use the same stops.
class TextFont {
public:
    TextFont() = default;
    ~TextFont() { Release(); }
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // lfHeight = height, lfWeight 700 when bold else 400, every other field 0 but italic,
    // underline and the face name. Selected into `dc` at once when one is given.
    bool Create(const WString& faceName, HDC dc, int height, COLORREF color = 0, bool bold = false,
                bool italic = false, bool underline = false);
    void Release();
    bool Select(HDC dc);
    void Deselect();

    void SetColor(COLORREF color);
    void SetTransparent(bool transparent);
    // Extra pixels between the lines of multi-line text.
    void SetLineSpacing(int pixels) { lineSpacing_ = pixels; }

    HFONT Handle() const noexcept { return font_.Get(); }
    const LOGFONTW& LogFont() const noexcept { return logFont_; }
    HDC SelectedDc() const noexcept { return dc_; }
    COLORREF Color() const noexcept { return color_; }
    bool Transparent() const noexcept { return transparent_; }
    int LineSpacing() const noexcept { return lineSpacing_; }

    // Draws at (x, y) on `dc` (selected for the call) or, when null, on the DC the font is
    // selected into. Single-line: one ExtTextOutW. Multi-line: one TabbedTextOutW per line, each
    // line lower by the height of "Ay" plus the line spacing; tab stops count from `tabOrigin`.
    void Draw(const WString& text, int x, int y, bool multiLine, HDC dc = nullptr, int tabOrigin = 0);
    // Single-line: the text's extent. Multi-line: the widest line, its tabs expanded as if the
    // text started at `startX` from the tab origin.
    int MeasureWidth(const WString& text, bool multiLine, int startX = 0, HDC dc = nullptr);
    // N lines: N × the height of "Ay" + (N - 1) × the line spacing.
    int MeasureHeight(const WString& text, HDC dc = nullptr);
    // The height of "Ay".
    int LineHeight(HDC dc = nullptr);
    // The distance between tab stops.
    int TabStopWidth(HDC dc = nullptr);

private:
    class DcUse;

    GdiObject<HFONT> font_;
    LOGFONTW logFont_ = {};
    HDC dc_ = nullptr;
    HGDIOBJ displacedFont_ = nullptr;
    COLORREF displacedColor_ = 0;
    int displacedMode_ = 0;
    COLORREF color_ = 0;
    bool transparent_ = true;
    int lineSpacing_ = 0;
};

// Cuts `text` to 3000 characters, then removes its last characters while the rest (followed by
// "..." once something has been removed) is not narrower than `width` in multi-line measurement.
// A shortened text ends in "..."; one that had to be emptied stays empty; one that fits is
// returned unchanged.
WString FitTextToWidth(const WString& text, TextFont& font, int width, HDC dc = nullptr);

// --- icons ------------------------------------------------------------------------------------

// An icon resource of `module` (the program when null) at a square size.
IconHandle LoadIconImage(int id, int size, HINSTANCE module = nullptr);
IconHandle DuplicateIconImage(HICON icon);
// At the icon's natural size (DrawIconEx, DI_NORMAL).
void DrawIconImage(HDC dc, HICON icon, int x, int y);
// Read from the icon's colour bitmap (its mask's upper half for a monochrome icon); 0 x 0
// without an icon.
SIZE IconImageSize(HICON icon);

// --- gradient ---------------------------------------------------------------------------------

// Fills `rect`, right and bottom edges included, with a four-corner gradient. When the left
// colours and the right colours are pairwise equal it is drawn column by column with pen lines;
// otherwise row by row, each row a horizontal GradientFill (or a pen line when its two ends
// have the same colour). Channels are interpolated linearly with integer steps.
void PaintGradient(COLORREF bottomLeft, COLORREF topLeft, const RECT& rect, HDC dc, COLORREF topRight,
                   COLORREF bottomRight);

}  // namespace tarvo
