#include "ui/DrawList.h"

#include <algorithm>
#include <utility>

namespace tarvo {

int32_t ResolveCoordinate(int32_t stored, const DrawList& list, bool horizontal, int32_t origin, int32_t itemSize) {
    int32_t content = horizontal ? list.ContentWidth() : list.ContentHeight();
    int32_t result = origin + CoordinateOffset(stored);
    if (stored & kCoordHalfContent) result += content / 2;
    if (stored & kCoordContent) result += content;
    if (stored & kCoordMinusSize) result -= itemSize;
    if (stored & kCoordMinusHalfSize) result -= itemSize / 2;
    return result;
}

namespace {

// A rectangle item's or line's own size: the difference of its stored offsets.
int32_t Span(int32_t from, int32_t to) { return CoordinateOffset(to) - CoordinateOffset(from); }

struct Box {
    int32_t left, top, right, bottom;
};

template <typename Item>
Box ResolveBox(const Item& item, const DrawList& list, int32_t x, int32_t y) {
    int32_t width = Span(item.left, item.right);
    int32_t height = Span(item.top, item.bottom);
    return Box{ResolveCoordinate(item.left, list, true, x, width), ResolveCoordinate(item.top, list, false, y, height),
               ResolveCoordinate(item.right, list, true, x, width),
               ResolveCoordinate(item.bottom, list, false, y, height)};
}

// One TextFont shared by consecutive text items with the same attributes.
class FontCache {
public:
    explicit FontCache(HDC dc) : dc_(dc) {}

    TextFont& For(const TextStyle& style) {
        int32_t size = style.size ? style.size : DrawList::kDefaultTextSize;
        bool same = font_.Handle() && size == size_ && style.color == color_ && style.bold == bold_ &&
                    style.italic == italic_ && style.underline == underline_ && style.faceName == faceName_;
        if (!same) {
            font_.Create(style.faceName, dc_, size, style.color, style.bold, style.italic, style.underline);
            faceName_ = style.faceName;
            size_ = size;
            color_ = style.color;
            bold_ = style.bold;
            italic_ = style.italic;
            underline_ = style.underline;
        }
        return font_;
    }

private:
    HDC dc_;
    TextFont font_;
    WString faceName_;
    int32_t size_ = 0;
    COLORREF color_ = 0;
    bool bold_ = false;
    bool italic_ = false;
    bool underline_ = false;
};

// What a text item shows and how large it is.
struct TextLayout {
    WString shown;
    int32_t width = 0;  // measured as if the text started at a tab stop
    int32_t height = 0;
};

TextLayout LayOut(const TextItem& item, TextFont& font, HDC dc) {
    TextLayout layout;
    layout.shown = item.style.maxWidth > 0 ? FitTextToWidth(item.text, font, item.style.maxWidth, dc) : item.text;
    layout.width = font.MeasureWidth(layout.shown, true, 0, dc);
    layout.height = font.MeasureHeight(layout.shown, dc);
    return layout;
}

SIZE ImageSize(const ImageItem& item) {
    if (item.encoded.empty()) return SIZE{item.image.Width(), item.image.Height()};
    BitmapCanvas decoded;
    decoded.Decode(item.encoded.data(), item.encoded.size());
    return SIZE{decoded.Width(), decoded.Height()};
}

SIZE IconSize(const IconItem& item) { return IconImageSize(item.source ? item.source : item.icon.Get()); }

}  // namespace

DrawList& DrawList::operator=(const DrawList& other) {
    CopyFrom(other);
    return *this;
}

void DrawList::Clear() {
    fills_.clear();
    shapes_.clear();
    gradients_.clear();
    frames_.clear();
    lines_.clear();
    images_.clear();
    icons_.clear();
    texts_.clear();
    layerCount_ = 0;
    dirty_ = true;
}

void DrawList::CopyFrom(const DrawList& other) {
    if (&other == this) return;
    Clear();
    fills_ = other.fills_;
    shapes_ = other.shapes_;
    frames_ = other.frames_;
    lines_ = other.lines_;
    texts_ = other.texts_;
    for (const GradientItem& from : other.gradients_) {
        GradientItem item;
        static_cast<DrawItem&>(item) = from;
        item.left = from.left;
        item.top = from.top;
        item.right = from.right;
        item.bottom = from.bottom;
        item.topLeft = from.topLeft;
        item.topRight = from.topRight;
        item.bottomLeft = from.bottomLeft;
        item.bottomRight = from.bottomRight;
        gradients_.push_back(std::move(item));
    }
    for (const ImageItem& from : other.images_) {
        ImageItem item;
        static_cast<DrawItem&>(item) = from;
        item.x = from.x;
        item.y = from.y;
        item.rop = from.rop;
        if (from.image.Valid()) item.image.CopyFrom(from.image);
        item.encoded = from.encoded;
        images_.push_back(std::move(item));
    }
    for (const IconItem& from : other.icons_) {
        IconItem item;
        static_cast<DrawItem&>(item) = from;
        item.icon = DuplicateIconImage(from.icon.Get());
        item.x = from.x;
        item.y = from.y;
        item.source = from.source;
        icons_.push_back(std::move(item));
    }
    layerCount_ = other.layerCount_;
    extraWidth_ = other.extraWidth_;
    extraHeight_ = other.extraHeight_;
    minimumWidth_ = other.minimumWidth_;
    minimumHeight_ = other.minimumHeight_;
    state_ = other.state_;
    contentWidth_ = other.contentWidth_;
    contentHeight_ = other.contentHeight_;
    dirty_ = true;
}

int32_t DrawList::TakeLayer(int32_t layer) {
    if (layer == 0) layer = layerCount_;
    if (layer + 1 > layerCount_) layerCount_ = layer + 1;
    dirty_ = true;
    return layer;
}

bool DrawList::Visible(const DrawItem& item) const {
    return item.stateMask == 0 || (item.stateMask & state_) == item.stateMask;
}

int32_t DrawList::ItemCount() const {
    return int32_t(fills_.size() + shapes_.size() + gradients_.size() + frames_.size() + lines_.size() +
                   images_.size() + icons_.size() + texts_.size());
}

void DrawList::AddFill(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF color, uint32_t stateMask,
                       int32_t layer) {
    FillItem item;
    item.left = left;
    item.top = top;
    item.right = right;
    item.bottom = bottom;
    item.color = color;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    fills_.push_back(std::move(item));
}

void DrawList::AddShape(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF brushColor,
                        COLORREF penColor, int32_t cornerSize, uint32_t stateMask, int32_t layer) {
    ShapeItem item;
    item.left = left;
    item.top = top;
    item.right = right;
    item.bottom = bottom;
    item.brushColor = brushColor;
    item.penColor = penColor;
    item.cornerSize = cornerSize;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    shapes_.push_back(std::move(item));
}

void DrawList::AddGradient(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF topLeft,
                           COLORREF topRight, COLORREF bottomLeft, COLORREF bottomRight, uint32_t stateMask,
                           int32_t layer) {
    GradientItem item;
    item.left = left;
    item.top = top;
    item.right = right;
    item.bottom = bottom;
    item.topLeft = topLeft;
    item.topRight = topRight;
    item.bottomLeft = bottomLeft;
    item.bottomRight = bottomRight;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    gradients_.push_back(std::move(item));
}

void DrawList::AddFrame(int32_t left, int32_t top, int32_t right, int32_t bottom, COLORREF color, bool focus,
                        uint32_t stateMask, int32_t layer) {
    FrameItem item;
    item.left = left;
    item.top = top;
    item.right = right;
    item.bottom = bottom;
    item.color = color;
    item.focus = focus ? 1 : 0;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    frames_.push_back(std::move(item));
}

void DrawList::AddLine(COLORREF color, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t stateMask,
                       int32_t layer) {
    LineItem item;
    item.color = color;
    item.x1 = x1;
    item.y1 = y1;
    item.x2 = x2;
    item.y2 = y2;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    lines_.push_back(std::move(item));
}

void DrawList::AddImage(BitmapCanvas image, int32_t x, int32_t y, DWORD rop, uint32_t stateMask, int32_t layer) {
    ImageItem item;
    item.image = std::move(image);
    item.image.SelectIntoNewDc();
    item.x = x;
    item.y = y;
    item.rop = rop;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    images_.push_back(std::move(item));
}

void DrawList::AddEncodedImage(std::vector<uint8_t> encoded, int32_t x, int32_t y, DWORD rop, uint32_t stateMask,
                               int32_t layer) {
    ImageItem item;
    item.encoded = std::move(encoded);
    item.x = x;
    item.y = y;
    item.rop = rop;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    images_.push_back(std::move(item));
}

void DrawList::AddIcon(IconHandle icon, int32_t x, int32_t y, uint32_t stateMask, int32_t layer) {
    IconItem item;
    item.icon = std::move(icon);
    item.x = x;
    item.y = y;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    icons_.push_back(std::move(item));
}

void DrawList::AddIconCopy(HICON source, int32_t x, int32_t y, uint32_t stateMask, int32_t layer) {
    IconItem item;
    item.source = source;
    item.x = x;
    item.y = y;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    icons_.push_back(std::move(item));
}

void DrawList::AddText(int32_t x, int32_t y, const WString& text, const TextStyle& style, uint32_t stateMask,
                       int32_t layer) {
    TextItem item;
    item.x = x;
    item.y = y;
    item.text = text;
    item.style = style;
    item.stateMask = stateMask;
    item.layer = TakeLayer(layer);
    texts_.push_back(std::move(item));
}

void DrawList::SetState(uint32_t state) {
    state_ = state;
    dirty_ = true;
}

void DrawList::SetExtraSize(int32_t width, int32_t height) {
    extraWidth_ = width;
    extraHeight_ = height;
    dirty_ = true;
}

void DrawList::SetMinimumSize(int32_t width, int32_t height) {
    minimumWidth_ = width;
    minimumHeight_ = height;
    dirty_ = true;
}

void DrawList::Measure(HDC dc) {
    MemoryDc scratch;
    if (!dc) {
        scratch.Reset(::CreateCompatibleDC(nullptr));
        dc = scratch.Get();
    }
    contentWidth_ = 0;
    contentHeight_ = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    auto extend = [&](int32_t x, int32_t y) {
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    };
    auto extendBox = [&](const auto& item) {
        Box box = ResolveBox(item, *this, 0, 0);
        extend(box.right, box.bottom);
    };
    for (const FillItem& item : fills_) extendBox(item);
    for (const ShapeItem& item : shapes_) extendBox(item);
    for (const GradientItem& item : gradients_) extendBox(item);
    for (const FrameItem& item : frames_) extendBox(item);
    for (const LineItem& item : lines_) {
        int32_t width = Span(item.x1, item.x2);
        int32_t height = Span(item.y1, item.y2);
        extend(std::max(ResolveCoordinate(item.x1, *this, true, 0, width),
                        ResolveCoordinate(item.x2, *this, true, 0, width)),
               std::max(ResolveCoordinate(item.y1, *this, false, 0, height),
                        ResolveCoordinate(item.y2, *this, false, 0, height)));
    }
    for (const ImageItem& item : images_) {
        SIZE size = ImageSize(item);
        extend(ResolveCoordinate(item.x, *this, true, 0, size.cx) + size.cx,
               ResolveCoordinate(item.y, *this, false, 0, size.cy) + size.cy);
    }
    for (const IconItem& item : icons_) {
        SIZE size = IconSize(item);
        extend(ResolveCoordinate(item.x, *this, true, 0, size.cx) + size.cx,
               ResolveCoordinate(item.y, *this, false, 0, size.cy) + size.cy);
    }
    if (dc && !texts_.empty()) {
        FontCache fonts(dc);
        for (const TextItem& item : texts_) {
            TextFont& font = fonts.For(item.style);
            TextLayout layout = LayOut(item, font, dc);
            int32_t x = ResolveCoordinate(item.x, *this, true, 0, layout.width);
            int32_t y = ResolveCoordinate(item.y, *this, false, 0, layout.height);
            extend(x + font.MeasureWidth(layout.shown, true, x, dc) + 1, y + layout.height + 1);
        }
    }
    contentWidth_ = std::max(right + extraWidth_, minimumWidth_);
    contentHeight_ = std::max(bottom + extraHeight_, minimumHeight_);
    dirty_ = false;
}

void DrawList::Paint(HDC dc, int32_t x, int32_t y) {
    if (!dc) return;
    if (dirty_) Measure(dc);
    FontCache fonts(dc);
    for (int32_t layer = 0; layer < layerCount_; ++layer) {
        auto inLayer = [&](const DrawItem& item) { return item.layer == layer && Visible(item); };

        for (const FillItem& item : fills_) {
            if (!inLayer(item)) continue;
            Box box = ResolveBox(item, *this, x, y);
            RECT rect = {box.left, box.top, box.right, box.bottom};
            SolidBrush brush(item.color);
            ::FillRect(dc, &rect, brush.Handle());
        }
        for (const ShapeItem& item : shapes_) {
            if (!inLayer(item)) continue;
            Box box = ResolveBox(item, *this, x, y);
            SolidPen pen(item.penColor, dc);
            SolidBrush brush(item.brushColor, dc);
            if (item.cornerSize) {
                ::RoundRect(dc, box.left, box.top, box.right, box.bottom, item.cornerSize, item.cornerSize);
            } else {
                ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
            }
        }
        for (GradientItem& item : gradients_) {
            if (!inLayer(item)) continue;
            Box box = ResolveBox(item, *this, x, y);
            int32_t width = box.right - box.left;
            int32_t height = box.bottom - box.top;
            if (width <= 0 || height <= 0) continue;
            if (!item.cache.Valid() || width != item.cacheWidth || height != item.cacheHeight) {
                item.cacheWidth = 0;
                item.cacheHeight = 0;
                if (!item.cache.CreateBlank(width, height, dc)) continue;
                // The gradient's edges are inclusive: its last row and column carry the bottom and
                // right colours.
                RECT inside = {0, 0, width - 1, height - 1};
                PaintGradient(item.bottomLeft, item.topLeft, inside, item.cache.Dc(), item.topRight,
                              item.bottomRight);
                item.cacheWidth = width;
                item.cacheHeight = height;
            }
            item.cache.Blit(dc, box.left, box.top, width, height, 0, 0, SRCCOPY);
        }
        for (const FrameItem& item : frames_) {
            if (!inLayer(item)) continue;
            Box box = ResolveBox(item, *this, x, y);
            RECT rect = {box.left, box.top, box.right, box.bottom};
            if (item.focus) {
                ::DrawFocusRect(dc, &rect);
            } else {
                SolidBrush brush(item.color);
                ::FrameRect(dc, &rect, brush.Handle());
            }
        }
        for (const LineItem& item : lines_) {
            if (!inLayer(item)) continue;
            int32_t width = Span(item.x1, item.x2);
            int32_t height = Span(item.y1, item.y2);
            SolidPen pen(item.color, dc);
            ::MoveToEx(dc, ResolveCoordinate(item.x1, *this, true, x, width),
                       ResolveCoordinate(item.y1, *this, false, y, height), nullptr);
            ::LineTo(dc, ResolveCoordinate(item.x2, *this, true, x, width),
                     ResolveCoordinate(item.y2, *this, false, y, height));
        }
        for (const ImageItem& item : images_) {
            if (!inLayer(item)) continue;
            BitmapCanvas decoded;
            const BitmapCanvas* image = &item.image;
            if (!item.encoded.empty()) {
                decoded.Decode(item.encoded.data(), item.encoded.size());
                image = &decoded;
            }
            int32_t width = image->Width();
            int32_t height = image->Height();
            image->Blit(dc, ResolveCoordinate(item.x, *this, true, x, width),
                        ResolveCoordinate(item.y, *this, false, y, height), width, height, 0, 0,
                        item.rop ? item.rop : SRCCOPY);
        }
        for (const IconItem& item : icons_) {
            if (!inLayer(item)) continue;
            IconHandle duplicate;
            HICON icon = item.icon.Get();
            if (item.source) {
                duplicate = DuplicateIconImage(item.source);
                icon = duplicate.Get();
            }
            SIZE size = IconImageSize(icon);
            DrawIconImage(dc, icon, ResolveCoordinate(item.x, *this, true, x, size.cx),
                          ResolveCoordinate(item.y, *this, false, y, size.cy));
        }
        for (const TextItem& item : texts_) {
            if (!inLayer(item)) continue;
            TextFont& font = fonts.For(item.style);
            TextLayout layout = LayOut(item, font, dc);
            // Tab stops count from the list's origin, as in the measurement.
            font.Draw(layout.shown, ResolveCoordinate(item.x, *this, true, x, layout.width),
                      ResolveCoordinate(item.y, *this, false, y, layout.height), true, dc, x);
        }
    }
}

}  // namespace tarvo
