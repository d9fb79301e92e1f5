#pragma once
// DrawList: a retained list of drawing items that a control keeps and paints layer by layer.
// Each item carries a state mask, so one list describes every visual state of a control: the
// list's state selects the items to draw. Item geometry is stored in ResolveCoordinate encoding,
// which lets one list centre or right-align its items in a control of any size.
#include "base/Handle.h"
#include "base/Text.h"
#include "ui/Drawing.h"

#include <cstdint>
#include <vector>

namespace tarvo {

// Flags of a stored coordinate; the low 16 bits hold the offset's magnitude.
constexpr int32_t kCoordHalfContent = 0x10000;    // + half the list's content width or height
constexpr int32_t kCoordContent = 0x20000;        // + the whole content width or height
constexpr int32_t kCoordMinusSize = 0x40000;      // - the item's own size
constexpr int32_t kCoordMinusHalfSize = 0x80000;  // - half the item's own size
constexpr int32_t kCoordNegative = 0x100000;      // the offset is negative
constexpr int32_t kCoordMagnitudeMask = 0xFFFF;

// A stored coordinate: `offset` (-65535 to 65535) with the flags above.
constexpr int32_t EncodeCoordinate(int offset, int32_t flags = 0) {
    return offset < 0 ? flags | kCoordNegative | ((-offset) & kCoordMagnitudeMask) : flags | (offset & kCoordMagnitudeMask);
}
// The signed offset of a stored coordinate, without the content and size parts.
constexpr int32_t CoordinateOffset(int32_t stored) {
    return (stored & kCoordNegative) ? -(stored & kCoordMagnitudeMask) : (stored & kCoordMagnitudeMask);
}

// The item kinds, in the order in which one layer paints them.
struct DrawItem {
    uint32_t stateMask = 0;  // 0: always drawn; else drawn when all its bits are in the state
    int32_t layer = 0;
};

struct FillItem : DrawItem {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    COLORREF color = 0;
};

struct ShapeItem : DrawItem {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    COLORREF brushColor = 0;
    COLORREF penColor = 0;
    int32_t cornerSize = 0;  // 0: a plain rectangle
};

struct GradientItem : DrawItem {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    COLORREF topLeft = 0, topRight = 0, bottomLeft = 0, bottomRight = 0;
    // The painted gradient, rebuilt only when the resolved size changes.
    BitmapCanvas cache;
    int32_t cacheWidth = 0;
    int32_t cacheHeight = 0;
};

struct FrameItem : DrawItem {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    COLORREF color = 0;
    uint8_t focus = 0;  // a focus rectangle instead of a frame of the colour
};

struct LineItem : DrawItem {
    COLORREF color = 0;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct ImageItem : DrawItem {
    int32_t x = 0, y = 0;
    DWORD rop = 0;  // 0: SRCCOPY
    BitmapCanvas image;
    // When present, the bitmap is decoded from these bytes for each paint and released after it.
    std::vector<uint8_t> encoded;
};

struct IconItem : DrawItem {
    IconHandle icon;
    int32_t x = 0, y = 0;
    // When set (borrowed, never destroyed here), the icon is duplicated from it for each paint
    // and destroyed after it.
    HICON source = nullptr;
};

struct TextStyle {
    WString faceName = kDefaultFaceName;
    COLORREF color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int32_t size = 0;      // 0: 13
    int32_t maxWidth = 0;  // 0: no limit; else shortened by FitTextToWidth
};

struct TextItem : DrawItem {
    int32_t x = 0, y = 0;
    WString text;
    TextStyle style;
};

class DrawList {
public:
    static constexpr int32_t kDefaultTextSize = 13;

    DrawList() = default;
    DrawList(const DrawList& other) { CopyFrom(other); }
    DrawList& operator=(const DrawList& other);
    DrawList(DrawList&&) noexcept = default;
    DrawList& operator=(DrawList&&) noexcept = default;

    // Removes every item; sizes, minimums, extras and the state stay.
    void Clear();
    // Copies items, settings and state; decoded caches are rebuilt on the next paint.
    void CopyFrom(const DrawList& other);

    // Each item goes into `layer`, or, for 0, into a new layer above all others.
    void AddFill(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF color, uint32_t stateMask = 0,
                 int32_t layer = 0);
    void AddShape(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF brushColor, COLORREF penColor,
                  int32_t cornerSize = 0, uint32_t stateMask = 0, int32_t layer = 0);
    void AddGradient(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF topLeft, COLORREF topRight,
                     COLORREF bottomLeft, COLORREF bottomRight, uint32_t stateMask = 0, int32_t layer = 0);
    void AddFrame(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF color, bool focus = false,
                  uint32_t stateMask = 0, int32_t layer = 0);
    void AddLine(COLORREF color, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t stateMask = 0,
                 int32_t layer = 0);
    // Takes the bitmap over (giving it a DC when it has none).
    void AddImage(BitmapCanvas image, int32_t x, int32_t y, DWORD rop = 0, uint32_t stateMask = 0, int32_t layer = 0);
    void AddEncodedImage(std::vector<uint8_t> encoded, int32_t x, int32_t y, DWORD rop = 0, uint32_t stateMask = 0,
                         int32_t layer = 0);
    // Takes the icon over.
    void AddIcon(IconHandle icon, int32_t x, int32_t y, uint32_t stateMask = 0, int32_t layer = 0);
    // Borrows `source`, which must outlive the list; each paint draws a duplicate of it.
    void AddIconCopy(HICON source, int32_t x, int32_t y, uint32_t stateMask = 0, int32_t layer = 0);
    void AddText(int32_t x, int32_t y, const WString& text, const TextStyle& style = TextStyle(),
                 uint32_t stateMask = 0, int32_t layer = 0);

    void SetState(uint32_t state);
    uint32_t State() const noexcept { return state_; }
    void SetExtraSize(int32_t width, int32_t height);
    void SetMinimumSize(int32_t width, int32_t height);

    // Resolves every item against origin 0 with a content size of 0 and keeps the largest right
    // and bottom (negative values count as 0; texts add 1), plus the extra size, raised to the
    // minimum size, as the content size. `dc` (a memory DC of the screen when null) measures texts.
    void Measure(HDC dc = nullptr);
    // Paints the layers from 0 up, each kind by kind in item-table order, at origin (x, y);
    // measures first when something changed since the last measurement.
    void Paint(HDC dc, int32_t x, int32_t y);

    int32_t ContentWidth() const noexcept { return contentWidth_; }
    int32_t ContentHeight() const noexcept { return contentHeight_; }
    int32_t LayerCount() const noexcept { return layerCount_; }
    bool Dirty() const noexcept { return dirty_; }
    int32_t ItemCount() const;

    const std::vector<GradientItem>& Gradients() const noexcept { return gradients_; }

private:
    int32_t TakeLayer(int32_t layer);
    bool Visible(const DrawItem& item) const;

    std::vector<FillItem> fills_;
    std::vector<ShapeItem> shapes_;
    std::vector<GradientItem> gradients_;
    std::vector<FrameItem> frames_;
    std::vector<LineItem> lines_;
    std::vector<ImageItem> images_;
    std::vector<IconItem> icons_;
    std::vector<TextItem> texts_;

    int32_t layerCount_ = 0;
    bool dirty_ = true;
    int32_t contentWidth_ = 0;
    int32_t contentHeight_ = 0;
    int32_t extraWidth_ = 0;
    int32_t extraHeight_ = 0;
    int32_t minimumWidth_ = 0;
    int32_t minimumHeight_ = 0;
    uint32_t state_ = 0;
};

// The pixel position of a stored coordinate: its signed offset, plus half or all of the list's
// content width (horizontal) or height, minus all or half of the item's own size, plus `origin`.
int32_t ResolveCoordinate(int32_t stored, const DrawList& list, bool horizontal, int32_t origin, int32_t itemSize);

}  // namespace tarvo
