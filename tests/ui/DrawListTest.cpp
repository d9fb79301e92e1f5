// DrawList: coordinate flags, state masks, layer order, measurement, caches, copies, and one
// sample rendering written to the build tree for a person to look at.
#include "ui/DrawList.h"

#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

constexpr int32_t kCentre = kCoordHalfContent | kCoordMinusHalfSize;
constexpr int32_t kFarEdge = kCoordContent | kCoordMinusSize;

TEST(ResolveCoordinate, FlagsAddContentAndSubtractTheItemsSize) {
    DrawList list;
    list.SetMinimumSize(200, 100);
    list.Measure();
    ASSERT_EQ(200, list.ContentWidth());
    ASSERT_EQ(100, list.ContentHeight());
    struct Case {
        int32_t stored;
        bool horizontal;
        int32_t origin;
        int32_t size;
        int32_t expected;
    };
    const Case cases[] = {
        {5, true, 0, 0, 5},
        {0x100007, true, 0, 0, -7},                // negative offset
        {0x10000 | 5, true, 0, 0, 105},            // half the content width
        {0x10000 | 5, false, 0, 0, 55},            // half the content height
        {0x20000, true, 0, 0, 200},                // the whole content width
        {0x20000, false, 0, 0, 100},
        {0x40000, true, 0, 30, -30},               // minus the item's size
        {0x80000, true, 0, 31, -15},               // minus half of it, rounded down
        {0x10000 | 0x80000, true, 0, 40, 80},      // centred
        {0x20000 | 0x40000 | 0x100004, true, 0, 16, 180},  // right-aligned, 4 pixels in
        {0x20000 | 0x40000, false, 0, 16, 84},
        {5, true, 10, 0, 15},                      // plus the origin
        {0x10000 | 0x100003, false, 7, 0, 54},
        {0x40000 | 0x80000, true, 0, 10, -15},     // both size flags apply
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, ResolveCoordinate(c.stored, list, c.horizontal, c.origin, c.size))
            << std::hex << c.stored << (c.horizontal ? " horizontal" : " vertical");
    }
    EXPECT_EQ(0x100007, EncodeCoordinate(-7));
    EXPECT_EQ(0x20000 | 0x40000 | 0x100004, EncodeCoordinate(-4, kFarEdge));
    EXPECT_EQ(-4, CoordinateOffset(EncodeCoordinate(-4, kFarEdge)));
}

TEST(DrawList, StateMasksSelectTheItemsToDraw) {
    DrawList list;
    list.AddFill(0, 0, 10, 10, kBlue, 0);    // always
    list.AddFill(10, 0, 20, 10, kRed, 1);
    list.AddFill(20, 0, 30, 10, kGreen, 3);  // only when bits 1 and 2 are both set
    list.AddFill(30, 0, 40, 10, kBlack, 2);
    struct Case {
        uint32_t state;
        COLORREF colours[4];
    };
    const Case cases[] = {
        {0, {kBlue, kWhite, kWhite, kWhite}}, {1, {kBlue, kRed, kWhite, kWhite}},
        {2, {kBlue, kWhite, kWhite, kBlack}}, {3, {kBlue, kRed, kGreen, kBlack}},
        {4, {kBlue, kWhite, kWhite, kWhite}}, {7, {kBlue, kRed, kGreen, kBlack}},
    };
    for (const Case& c : cases) {
        BitmapCanvas canvas = FilledCanvas(40, 10);
        list.SetState(c.state);
        list.Paint(canvas.Dc(), 0, 0);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(c.colours[i], Pixel(canvas, 5 + 10 * i, 5)) << "state " << c.state << ", item " << i;
    }
}

TEST(DrawList, LayersPaintBottomUpAndKindsInTableOrderWithinALayer) {
    // Layer 0 means "a new layer on top": items then paint in the order they were added.
    DrawList added;
    added.AddShape(0, 0, 10, 10, kBlue, kBlue);
    added.AddFill(0, 0, 10, 10, kRed);
    EXPECT_EQ(2, added.LayerCount());
    BitmapCanvas first = FilledCanvas(10, 10);
    added.Paint(first.Dc(), 0, 0);
    EXPECT_EQ(kRed, Pixel(first, 5, 5));

    // In one layer, shapes come after fills whatever the order of adding.
    DrawList shared;
    shared.AddShape(0, 0, 10, 10, kBlue, kBlue, 0, 0, 3);
    shared.AddFill(0, 0, 10, 10, kRed, 0, 3);
    EXPECT_EQ(4, shared.LayerCount());
    shared.AddLine(kGreen, 0, 5, 10, 5, 0, 1);  // a lower layer
    EXPECT_EQ(4, shared.LayerCount());
    BitmapCanvas second = FilledCanvas(10, 10);
    shared.Paint(second.Dc(), 0, 0);
    EXPECT_EQ(kBlue, Pixel(second, 5, 5));
    EXPECT_EQ(kBlue, Pixel(second, 2, 5));  // the line lies under the shape

    // The next layer after explicit ones is above them.
    shared.AddFill(0, 0, 10, 10, kGreen);
    EXPECT_EQ(5, shared.LayerCount());
}

TEST(DrawList, MeasurementTakesTheLargestRightAndBottom) {
    DrawList list;
    EXPECT_TRUE(list.Dirty());
    list.AddFill(0, 0, 50, 20, kRed);
    list.AddLine(kBlack, 60, 0, 0, 5);
    list.Measure();
    EXPECT_FALSE(list.Dirty());
    EXPECT_EQ(60, list.ContentWidth());
    EXPECT_EQ(20, list.ContentHeight());

    TextFont font;
    ASSERT_TRUE(font.Create(WString(L"Tahoma"), nullptr, 13));
    WString hi(L"Hi");
    int textWidth = font.MeasureWidth(hi, true, 10);
    int textHeight = font.MeasureHeight(hi);
    list.AddText(10, 30, hi);
    EXPECT_TRUE(list.Dirty());
    list.Measure();
    EXPECT_EQ(std::max(60, 10 + textWidth + 1), list.ContentWidth());
    EXPECT_EQ(30 + textHeight + 1, list.ContentHeight());

    list.SetExtraSize(4, 6);
    list.Measure();
    EXPECT_EQ(std::max(60, 10 + textWidth + 1) + 4, list.ContentWidth());
    EXPECT_EQ(30 + textHeight + 1 + 6, list.ContentHeight());
    list.SetMinimumSize(300, 10);
    list.Measure();
    EXPECT_EQ(300, list.ContentWidth());
    EXPECT_EQ(30 + textHeight + 1 + 6, list.ContentHeight());

    // Negative positions count as 0; content-relative parts count as 0 while measuring.
    DrawList offside;
    offside.AddFill(EncodeCoordinate(-10), EncodeCoordinate(-10), EncodeCoordinate(-5), EncodeCoordinate(-5), kRed);
    offside.AddFill(0, 0, kCoordContent, 10, kRed);
    offside.Measure();
    EXPECT_EQ(0, offside.ContentWidth());
    EXPECT_EQ(10, offside.ContentHeight());

    // Images and icons by their own size.
    DrawList pictures;
    pictures.AddImage(FilledCanvas(12, 7, kRed), 3, 4);
    pictures.Measure();
    EXPECT_EQ(15, pictures.ContentWidth());
    EXPECT_EQ(11, pictures.ContentHeight());
    pictures.AddIcon(DuplicateIconImage(::LoadIconW(nullptr, IDI_APPLICATION)), 1, 20);
    pictures.Measure();
    EXPECT_EQ(std::max(15, 1 + ::GetSystemMetrics(SM_CXICON)), pictures.ContentWidth());
    EXPECT_EQ(20 + ::GetSystemMetrics(SM_CYICON), pictures.ContentHeight());

    // A paint measures a changed list first.
    pictures.SetState(1);
    EXPECT_TRUE(pictures.Dirty());
    BitmapCanvas canvas = FilledCanvas(10, 10);
    pictures.Paint(canvas.Dc(), 0, 0);
    EXPECT_FALSE(pictures.Dirty());
}

TEST(DrawList, ContentFlagsCentreTextAndRightAlignIcons) {
    DrawList list;
    list.SetMinimumSize(200, 60);
    list.AddText(kCentre, kCentre, WString(L"Centre"));
    list.AddIconCopy(::LoadIconW(nullptr, IDI_APPLICATION), kFarEdge, 0);
    BitmapCanvas canvas = FilledCanvas(200, 60);
    list.Paint(canvas.Dc(), 0, 0);

    BitmapCanvas textOnly = FilledCanvas(150, 60);
    {
        DrawList text;
        text.SetMinimumSize(150, 60);
        text.AddText(kCentre, kCentre, WString(L"Centre"));
        text.Paint(textOnly.Dc(), 0, 0);
    }
    RECT ink = InkBounds(textOnly);
    int centreX = (ink.left + ink.right) / 2;
    int centreY = (ink.top + ink.bottom) / 2;
    EXPECT_NEAR(75, centreX, 3);
    EXPECT_NEAR(30, centreY, 4);

    int iconWidth = ::GetSystemMetrics(SM_CXICON);
    RECT all = InkBounds(canvas);
    EXPECT_LE(all.right, 199);
    EXPECT_GE(all.right, 200 - iconWidth);
    bool iconInk = false;
    for (int x = 200 - iconWidth; x < 200 && !iconInk; ++x) {
        for (int y = 0; y < iconWidth && !iconInk; ++y) iconInk = Pixel(canvas, x, y) != kWhite;
    }
    EXPECT_TRUE(iconInk);
}

TEST(DrawList, TextKeepsWithinItsMaximumWidth) {
    DrawList list;
    TextStyle style;
    style.maxWidth = 60;
    list.AddText(10, 5, WString(L"A long caption that cannot fit"), style);
    BitmapCanvas canvas = FilledCanvas(300, 30);
    list.Paint(canvas.Dc(), 0, 0);
    RECT ink = InkBounds(canvas);
    EXPECT_GE(ink.left, 10);
    EXPECT_LT(ink.right, 10 + 60);
    EXPECT_LE(list.ContentWidth(), 10 + 60 + 1);
}

TEST(DrawList, TextItemsWithEqualAttributesShareTheirLook) {
    // Two items drawn by one shared font look exactly as the same text drawn alone.
    TextStyle bold;
    bold.bold = true;
    bold.size = 16;
    bold.color = kBlue;
    DrawList pair;
    pair.AddText(0, 0, WString(L"Same"), bold);
    pair.AddText(0, 30, WString(L"Same"), bold);
    BitmapCanvas canvas = FilledCanvas(100, 60);
    pair.Paint(canvas.Dc(), 0, 0);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 100; ++x) ASSERT_EQ(Pixel(canvas, x, y), Pixel(canvas, x, y + 30)) << x << "," << y;
    }
    RECT ink = InkBounds(canvas);
    EXPECT_LT(ink.left, ink.right);
    bool blue = false;
    for (int x = ink.left; x <= ink.right && !blue; ++x) {
        for (int y = ink.top; y <= ink.bottom && !blue; ++y) blue = Pixel(canvas, x, y) == kBlue;
    }
    EXPECT_TRUE(blue);
}

TEST(DrawList, GradientCacheFollowsTheResolvedSize) {
    DrawList list;
    list.SetMinimumSize(50, 10);
    list.AddGradient(0, 0, kCoordContent, kCoordContent, kRed, kBlue, kRed, kBlue);
    BitmapCanvas canvas = FilledCanvas(100, 10);
    list.Paint(canvas.Dc(), 0, 0);
    ASSERT_EQ(1u, list.Gradients().size());
    EXPECT_EQ(50, list.Gradients()[0].cacheWidth);
    EXPECT_EQ(10, list.Gradients()[0].cacheHeight);
    EXPECT_EQ(kRed, Pixel(canvas, 0, 0));
    EXPECT_EQ(kBlue, Pixel(canvas, 49, 9));  // the last column carries the right colour
    EXPECT_EQ(kWhite, Pixel(canvas, 50, 5));

    HBITMAP cached = list.Gradients()[0].cache.Bitmap();
    list.Paint(canvas.Dc(), 0, 0);
    EXPECT_EQ(cached, list.Gradients()[0].cache.Bitmap());

    list.SetMinimumSize(80, 10);
    list.Paint(canvas.Dc(), 0, 0);
    EXPECT_EQ(80, list.Gradients()[0].cacheWidth);
    EXPECT_EQ(kBlue, Pixel(canvas, 79, 5));
}

TEST(DrawList, ImagesFramesShapesAndLines) {
    BitmapCanvas canvas = FilledCanvas(60, 60, kBlue);
    DrawList list;
    list.AddImage(FilledCanvas(10, 10, kRed), 5, 5);                  // SRCCOPY
    list.AddImage(FilledCanvas(10, 10, kRed), 20, 5, SRCAND);         // red AND blue: black
    list.AddEncodedImage(MakeBmp(4, 4, [](int, int) { return kGreen; }), 40, 5);
    list.AddFrame(0, 30, 10, 40, kRed);
    list.AddShape(20, 30, 30, 40, kWhite, kWhite, 6);                 // rounded corners
    list.AddShape(40, 30, 50, 40, kWhite, kWhite);
    list.AddLine(kRed, 0, 50, 20, 50);
    list.Paint(canvas.Dc(), 0, 0);

    EXPECT_EQ(kRed, Pixel(canvas, 5, 5));
    EXPECT_EQ(kRed, Pixel(canvas, 14, 14));
    EXPECT_EQ(kBlue, Pixel(canvas, 15, 15));
    EXPECT_EQ(kBlack, Pixel(canvas, 25, 10));
    EXPECT_EQ(kGreen, Pixel(canvas, 40, 5));
    EXPECT_EQ(kGreen, Pixel(canvas, 43, 8));
    EXPECT_EQ(kBlue, Pixel(canvas, 44, 9));
    EXPECT_EQ(kRed, Pixel(canvas, 0, 30));   // the frame's border
    EXPECT_EQ(kRed, Pixel(canvas, 9, 39));
    EXPECT_EQ(kBlue, Pixel(canvas, 5, 35));  // inside it nothing is painted
    EXPECT_EQ(kBlue, Pixel(canvas, 20, 30)); // a rounded corner stays unpainted
    EXPECT_EQ(kWhite, Pixel(canvas, 25, 35));
    EXPECT_EQ(kWhite, Pixel(canvas, 40, 30)); // a plain rectangle's corner is painted
    EXPECT_EQ(kRed, Pixel(canvas, 10, 50));
    EXPECT_EQ(kBlue, Pixel(canvas, 20, 50)); // LineTo stops before the end point

    // The encoded image is decoded for the paint only: the item keeps no bitmap.
    DrawList copy(list);
    BitmapCanvas again = FilledCanvas(60, 60, kBlue);
    copy.Paint(again.Dc(), 0, 0);
    EXPECT_EQ(kGreen, Pixel(again, 41, 6));
}

TEST(DrawList, FocusFramesAreDrawnWithDrawFocusRect) {
    BitmapCanvas canvas = FilledCanvas(20, 20);
    BitmapCanvas expected = FilledCanvas(20, 20);
    RECT rect = {2, 2, 18, 18};
    ::DrawFocusRect(expected.Dc(), &rect);
    DrawList list;
    list.AddFrame(2, 2, 18, 18, kRed, true);
    list.Paint(canvas.Dc(), 0, 0);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) ASSERT_EQ(Pixel(expected, x, y), Pixel(canvas, x, y)) << x << "," << y;
    }
}

// A list that uses every kind of item, painted twice the same way.
std::unique_ptr<DrawList> RichList(HICON borrowed) {
    auto list = std::make_unique<DrawList>();
    list->SetMinimumSize(120, 80);
    list->AddGradient(0, 0, kCoordContent, kCoordContent, 0xFFFEFE, 0xFFFEFE, 0xF0E5E4, 0xF0E5E4);
    list->AddFrame(0, 0, kCoordContent, kCoordContent, 0x767676);
    list->AddImage(FilledCanvas(8, 8, kRed), 4, 4);
    list->AddIcon(DuplicateIconImage(borrowed), 20, 4);
    list->AddIconCopy(borrowed, 60, 4);
    list->AddText(4, 50, WString(L"Copy\tme"));
    list->AddLine(kBlue, 0, 75, 100, 75);
    return list;
}

TEST(DrawList, CopiesPaintTheSameAndOutliveTheOriginal) {
    HICON borrowed = ::LoadIconW(nullptr, IDI_APPLICATION);
    std::unique_ptr<DrawList> original = RichList(borrowed);
    BitmapCanvas first = FilledCanvas(120, 80);
    original->Paint(first.Dc(), 0, 0);

    DrawList copy;
    copy.CopyFrom(*original);
    EXPECT_EQ(original->LayerCount(), copy.LayerCount());
    EXPECT_EQ(original->ItemCount(), copy.ItemCount());
    original.reset();
    BitmapCanvas second = FilledCanvas(120, 80);
    copy.Paint(second.Dc(), 0, 0);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 120; ++x) ASSERT_EQ(Pixel(first, x, y), Pixel(second, x, y)) << x << "," << y;
    }
    // The borrowed icon was only ever duplicated.
    ICONINFO info = {};
    ASSERT_TRUE(::GetIconInfo(borrowed, &info));
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);

    copy.Clear();
    EXPECT_EQ(0, copy.ItemCount());
    EXPECT_EQ(0, copy.LayerCount());
}

TEST(DrawList, PaintsAtItsOrigin) {
    DrawList list;
    list.AddFill(0, 0, 5, 5, kRed);
    BitmapCanvas canvas = FilledCanvas(20, 20);
    list.Paint(canvas.Dc(), 10, 12);
    EXPECT_EQ(kWhite, Pixel(canvas, 9, 12));
    EXPECT_EQ(kRed, Pixel(canvas, 10, 12));
    EXPECT_EQ(kRed, Pixel(canvas, 14, 16));
    EXPECT_EQ(kWhite, Pixel(canvas, 15, 16));
}

// Paints a list of every kind into "ui-drawlist-sample.bmp" in the test's working folder (the
// build tree), with state 1 selected, for a person to look at.
TEST(DrawList, SampleRendering) {
    DrawList list;
    list.SetMinimumSize(360, 200);
    list.SetState(1);
    list.AddGradient(0, 0, kCoordContent, kCoordContent, 0xF5F5F5, 0xF5F5F5, 0xFFFFFF, 0xFFFFFF);
    list.AddGradient(0, EncodeCoordinate(-40, kCoordContent), kCoordContent, kCoordContent, 0xFFFFFF, 0xFFFFFF,
                     0xF5F5F5, 0xF5F5F5);
    list.AddFrame(0, 0, kCoordContent, kCoordContent, 0x767676);
    TextStyle title;
    title.size = 22;
    title.bold = true;
    list.AddText(kCentre, 8, WString(L"Tarvo DrawList"), title);
    // A selected row: rounded shape with an inner gradient, an icon and a caption.
    list.AddShape(12, 44, 200, 76, 0xFFFAEE, 0xEBD8A8, 6);
    list.AddGradient(15, 46, 197, 74, 0xF7F4EC, 0xF7F4EC, 0xF4EDDB, 0xF4EDDB);
    list.AddIconCopy(::LoadIconW(nullptr, IDI_INFORMATION), 16, 44);
    list.AddText(54, 53, WString(L"Selected row"));
    // Only with state bit 1 / only without it.
    TextStyle red;
    red.color = RGB(200, 0, 0);
    list.AddText(220, 53, WString(L"state 1 shown"), red, 1);
    list.AddText(220, 53, WString(L"state 2 shown"), red, 2);
    // Tabs on fixed columns, a shortened caption, a four-colour gradient, lines, an image.
    list.AddText(12, 90, WString(L"Name\tValue\rKey\tSetting"));
    TextStyle narrow;
    narrow.italic = true;
    narrow.maxWidth = 140;
    list.AddText(12, 130, WString(L"This caption is far too long for its box"), narrow);
    list.AddGradient(220, 90, 340, 150, RGB(255, 0, 0), RGB(0, 0, 255), RGB(0, 255, 0), RGB(255, 255, 0));
    list.AddLine(RGB(0, 128, 0), 12, 160, 200, 160);
    list.AddFrame(8, 86, 204, 120, 0, true);
    auto checker = MakeBmp(16, 16, [](int x, int y) { return ((x / 4 + y / 4) % 2) ? RGB(40, 40, 40) : kWhite; });
    list.AddEncodedImage(checker, EncodeCoordinate(-12, kFarEdge), EncodeCoordinate(-12, kFarEdge));

    BitmapCanvas canvas = FilledCanvas(360, 200);
    list.Paint(canvas.Dc(), 0, 0);
    EXPECT_EQ(360, list.ContentWidth());
    EXPECT_EQ(RGB(40, 40, 40), Pixel(canvas, 360 - 12 - 16 + 4, 200 - 12 - 16));
    EXPECT_TRUE(SaveBmp(canvas, L"ui-drawlist-sample.bmp"));
}

}  // namespace
