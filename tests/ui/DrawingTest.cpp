// Drawing primitives on off-screen canvases: bitmaps, brushes and pens, fonts with their tab
// stops and line measurement, text fitting, the two gradient paths, decoded pictures, icons.
#include "ui/Drawing.h"

#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// --- BitmapCanvas -----------------------------------------------------------------------------

TEST(BitmapCanvas, BlankCanvasHasItsSizeAndItsOwnDc) {
    BitmapCanvas canvas;
    EXPECT_FALSE(canvas.CreateBlank(0, 10));
    EXPECT_FALSE(canvas.CreateBlank(10, 0));
    EXPECT_FALSE(canvas.Valid());
    EXPECT_EQ(0, canvas.Width());
    EXPECT_EQ(nullptr, canvas.Dc());

    ASSERT_TRUE(canvas.CreateBlank(30, 20));
    EXPECT_EQ(30, canvas.Width());
    EXPECT_EQ(20, canvas.Height());
    EXPECT_EQ(canvas.Bitmap(), ::GetCurrentObject(canvas.Dc(), OBJ_BITMAP));

    // A canvas without a bitmap draws nothing.
    BitmapCanvas target = FilledCanvas(4, 4);
    BitmapCanvas().Blit(target.Dc(), 0, 0);
    EXPECT_EQ(kWhite, Pixel(target, 0, 0));
    EXPECT_FALSE(canvas.LoadResource(31999));
    EXPECT_FALSE(canvas.Valid());
}

TEST(BitmapCanvas, BlitCopiesTheWholeCanvasOrAPart) {
    BitmapCanvas source = FilledCanvas(10, 10, kRed);
    ::SetPixel(source.Dc(), 9, 9, kBlue);
    BitmapCanvas target = FilledCanvas(20, 20);

    source.Blit(target.Dc(), 5, 5);  // -1, -1: the canvas's own size
    EXPECT_EQ(kWhite, Pixel(target, 4, 4));
    EXPECT_EQ(kRed, Pixel(target, 5, 5));
    EXPECT_EQ(kBlue, Pixel(target, 14, 14));
    EXPECT_EQ(kWhite, Pixel(target, 15, 15));

    source.Blit(target.Dc(), 0, 0, 1, 1, 9, 9, SRCCOPY);
    EXPECT_EQ(kBlue, Pixel(target, 0, 0));
    EXPECT_EQ(kWhite, Pixel(target, 1, 1));
}

TEST(BitmapCanvas, CopiesAreIndependentOfTheirSource) {
    BitmapCanvas source = FilledCanvas(6, 4, kRed);
    BitmapCanvas copy;
    ASSERT_TRUE(copy.CopyFrom(source));
    EXPECT_EQ(6, copy.Width());
    EXPECT_EQ(4, copy.Height());
    RECT all = {0, 0, 6, 4};
    SolidBrush green(kGreen);
    ::FillRect(source.Dc(), &all, green.Handle());
    EXPECT_EQ(kRed, Pixel(copy, 5, 3));

    // From a bitmap that no DC holds.
    GdiObject<HBITMAP> loose;
    {
        BitmapCanvas blue = FilledCanvas(3, 2, kBlue);
        BitmapCanvas holder;
        ASSERT_TRUE(holder.CopyFrom(blue));
        loose.Reset(static_cast<HBITMAP>(::CopyImage(holder.Bitmap(), IMAGE_BITMAP, 0, 0, 0)));
    }
    ASSERT_TRUE(loose);
    BitmapCanvas fromHandle;
    ASSERT_TRUE(fromHandle.CopyFrom(loose.Get()));
    EXPECT_EQ(3, fromHandle.Width());
    EXPECT_EQ(kBlue, Pixel(fromHandle, 2, 1));

    BitmapCanvas moved(std::move(copy));
    EXPECT_TRUE(moved.Valid());
    EXPECT_FALSE(copy.Valid());
    EXPECT_EQ(kRed, Pixel(moved, 0, 0));
}

TEST(BitmapCanvas, DecodesEncodedPicturesUpright) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    auto corners = [](int x, int y) {
        if (x == 0 && y == 0) return kRed;
        if (x == 2 && y == 1) return kBlue;
        return kGreen;
    };
    std::vector<uint8_t> bmp = MakeBmp(3, 2, corners);
    BitmapCanvas canvas;
    ASSERT_TRUE(canvas.Decode(bmp.data(), bmp.size()));
    EXPECT_EQ(3, canvas.Width());
    EXPECT_EQ(2, canvas.Height());
    EXPECT_EQ(kRed, Pixel(canvas, 0, 0));
    EXPECT_EQ(kBlue, Pixel(canvas, 2, 1));
    EXPECT_EQ(kGreen, Pixel(canvas, 1, 0));

    // 4 x 3: red top left, blue bottom right, green elsewhere.
    const uint8_t png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0x08, 0x02, 0x00, 0x00, 0x00, 0x3b, 0x96, 0x39, 0x91, 0x00,
        0x00, 0x00, 0x13, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xc0, 0xf0, 0x1f, 0x86,
        0x10, 0x2c, 0x34, 0x61, 0x00, 0xe9, 0x3d, 0x0b, 0xf5, 0x1e, 0x35, 0x34, 0x18, 0x00, 0x00, 0x00, 0x00,
        0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    ASSERT_TRUE(canvas.Decode(png, sizeof(png)));
    EXPECT_EQ(4, canvas.Width());
    EXPECT_EQ(3, canvas.Height());
    EXPECT_EQ(kRed, Pixel(canvas, 0, 0));
    EXPECT_EQ(kBlue, Pixel(canvas, 3, 2));

    // Too short, or not a picture: no bitmap, and a previous one is gone.
    EXPECT_FALSE(canvas.Decode(bmp.data(), 7));
    EXPECT_FALSE(canvas.Valid());
    std::vector<uint8_t> junk(64, 0x5A);
    EXPECT_FALSE(canvas.Decode(junk.data(), junk.size()));
    EXPECT_FALSE(canvas.Valid());
    EXPECT_FALSE(canvas.Decode(nullptr, 100));
    ::CoUninitialize();
}

// --- brushes and pens -------------------------------------------------------------------------

TEST(Brushes, BrushesAndPensPutBackWhatTheyDisplaced) {
    BitmapCanvas canvas = FilledCanvas(4, 4);
    HDC dc = canvas.Dc();
    HGDIOBJ oldBrush = ::GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ oldPen = ::GetCurrentObject(dc, OBJ_PEN);
    {
        SolidBrush brush(RGB(10, 20, 30), dc);
        SolidPen pen(RGB(40, 50, 60), dc);
        EXPECT_EQ(brush.Handle(), ::GetCurrentObject(dc, OBJ_BRUSH));
        EXPECT_EQ(pen.Handle(), ::GetCurrentObject(dc, OBJ_PEN));
        LOGBRUSH logBrush = {};
        ASSERT_TRUE(::GetObjectW(brush.Handle(), sizeof(logBrush), &logBrush));
        EXPECT_EQ(UINT(BS_SOLID), logBrush.lbStyle);
        EXPECT_EQ(RGB(10, 20, 30), logBrush.lbColor);
        LOGPEN logPen = {};
        ASSERT_TRUE(::GetObjectW(pen.Handle(), sizeof(logPen), &logPen));
        EXPECT_EQ(UINT(PS_SOLID), logPen.lopnStyle);
        EXPECT_EQ(0, logPen.lopnWidth.x);
        EXPECT_EQ(RGB(40, 50, 60), logPen.lopnColor);
    }
    EXPECT_EQ(oldBrush, ::GetCurrentObject(dc, OBJ_BRUSH));
    EXPECT_EQ(oldPen, ::GetCurrentObject(dc, OBJ_PEN));

    // The button-face brush is borrowed from the system and survives its holder.
    HBRUSH face = ::GetSysColorBrush(COLOR_BTNFACE);
    {
        SolidBrush borrowed;
        ASSERT_TRUE(borrowed.UseButtonFace(dc));
        EXPECT_TRUE(borrowed.Borrowed());
        EXPECT_EQ(face, borrowed.Handle());
    }
    LOGBRUSH logBrush = {};
    EXPECT_TRUE(::GetObjectW(face, sizeof(logBrush), &logBrush));
    EXPECT_EQ(oldBrush, ::GetCurrentObject(dc, OBJ_BRUSH));
}

// --- TextFont ---------------------------------------------------------------------------------

TEST(TextFont, UnusableFaceNamesBecomeTahoma) {
    struct Case {
        std::wstring face;
        std::wstring used;
    };
    const Case cases[] = {
        {L"", L"Tahoma"},
        {std::wstring(40, L'F'), L"Tahoma"},
        {std::wstring(32, L'F'), L"Tahoma"},  // no room for the terminator
        {std::wstring(31, L'F'), std::wstring(31, L'F')},
        {L"Arial", L"Arial"},
    };
    for (const Case& c : cases) {
        TextFont font;
        ASSERT_TRUE(font.Create(WString(c.face.c_str()), nullptr, 13));
        EXPECT_EQ(c.used, font.LogFont().lfFaceName) << c.face.size() << " characters";
        LOGFONTW created = {};
        ASSERT_TRUE(::GetObjectW(font.Handle(), sizeof(created), &created));
        EXPECT_EQ(c.used, created.lfFaceName);
    }
}

TEST(TextFont, LogFontCarriesTheAttributes) {
    TextFont font;
    ASSERT_TRUE(font.Create(WString(L"Tahoma"), nullptr, 17, RGB(1, 2, 3), true, true, true));
    const LOGFONTW& log = font.LogFont();
    EXPECT_EQ(17, log.lfHeight);
    EXPECT_EQ(700, log.lfWeight);
    EXPECT_EQ(1, log.lfItalic);
    EXPECT_EQ(1, log.lfUnderline);
    EXPECT_EQ(0, log.lfWidth);
    EXPECT_EQ(0, log.lfCharSet);
    EXPECT_EQ(RGB(1, 2, 3), font.Color());
    EXPECT_TRUE(font.Transparent());
    TextFont plain;
    ASSERT_TRUE(plain.Create(WString(L"Tahoma"), nullptr, 13));
    EXPECT_EQ(400, plain.LogFont().lfWeight);
    EXPECT_EQ(0, plain.LogFont().lfItalic);
    EXPECT_EQ(kBlack, plain.Color());
}

TEST(TextFont, SelectionSetsTheDcAndDeselectionRestoresIt) {
    BitmapCanvas canvas = FilledCanvas(4, 4);
    HDC dc = canvas.Dc();
    ::SetTextColor(dc, RGB(0x12, 0x34, 0x56));
    ::SetBkMode(dc, OPAQUE);
    HGDIOBJ oldFont = ::GetCurrentObject(dc, OBJ_FONT);

    TextFont font;
    ASSERT_TRUE(font.Create(WString(L"Tahoma"), dc, 13, kBlue));
    EXPECT_EQ(font.Handle(), ::GetCurrentObject(dc, OBJ_FONT));
    EXPECT_EQ(kBlue, ::GetTextColor(dc));
    EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc));
    font.SetColor(kRed);
    font.SetTransparent(false);
    EXPECT_EQ(kRed, ::GetTextColor(dc));
    EXPECT_EQ(OPAQUE, ::GetBkMode(dc));

    font.Deselect();
    EXPECT_EQ(oldFont, ::GetCurrentObject(dc, OBJ_FONT));
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), ::GetTextColor(dc));
    EXPECT_EQ(OPAQUE, ::GetBkMode(dc));

    // Drawing on a DC the font is not selected into selects it for the call only.
    ::SetBkMode(dc, TRANSPARENT);
    font.Draw(WString(L"x"), 0, 0, false, dc);
    EXPECT_EQ(oldFont, ::GetCurrentObject(dc, OBJ_FONT));
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), ::GetTextColor(dc));
    EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc));
}

class TextFontMeasure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(font.Create(WString(L"Tahoma"), nullptr, 13));
        ASSERT_TRUE(reference.Create(WString(L"Tahoma"), canvas.Dc(), 13));
    }
    // Plain extents, measured without TextFont.
    int Extent(const wchar_t* text) {
        SIZE size = {};
        ::GetTextExtentPoint32W(canvas.Dc(), text, int(wcslen(text)), &size);
        return size.cx;
    }

    BitmapCanvas canvas = FilledCanvas(300, 40);
    TextFont font;
    TextFont reference;  // keeps the font selected into `canvas` for Extent
};

TEST_F(TextFontMeasure, TabStopsFallOnTheSameColumnsWhereverTheTextStarts) {
    int average = Extent(L"abcdefABCDEF") / 12;
    int stop = 8 * average;
    ASSERT_GT(stop, Extent(L"a") + 5);
    EXPECT_EQ(stop, font.TabStopWidth());
    int b = Extent(L"b");
    struct Case {
        int start;
        int width;
    };
    const Case cases[] = {
        {0, stop + b},             // "a" then the first stop
        {5, stop - 5 + b},         // the same absolute column
        {stop + 5, stop - 5 + b},  // one stop further along: the same again
        {stop - 1, stop + 1 + b},  // the first stop lies inside "a": the next one
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.width, font.MeasureWidth(WString(L"a\tb"), true, c.start)) << "start " << c.start;
    }
    EXPECT_EQ(2 * stop + b, font.MeasureWidth(WString(L"a\t\tb"), true, 0));
    // Single-line mode measures the plain extent.
    EXPECT_EQ(Extent(L"a\tb"), font.MeasureWidth(WString(L"a\tb"), false, 5));
}

TEST_F(TextFontMeasure, DrawnTabsLandWhereTheMeasurementPutsThem) {
    auto inkLeft = [&](int x, int tabOrigin) {
        BitmapCanvas target = FilledCanvas(300, 30);
        font.Draw(WString(L"\tI"), x, 2, true, target.Dc(), tabOrigin);
        return InkBounds(target).left;
    };
    int atZero = inkLeft(0, 0);
    EXPECT_GE(atZero, font.TabStopWidth());
    EXPECT_EQ(atZero, inkLeft(5, 0));
    EXPECT_EQ(atZero + 5, inkLeft(5, 5));
}

TEST_F(TextFontMeasure, LinesAreCountedAtLineBreaks) {
    int line = font.LineHeight();
    ASSERT_GT(line, 0);
    font.SetLineSpacing(3);
    struct Case {
        const wchar_t* text;
        int lines;
    };
    const Case cases[] = {{L"", 0}, {L"A", 1}, {L"A\rB", 2}, {L"A\r\nB", 2}, {L"A\nB", 1}, {L"A\r\rB\r", 3}};
    for (const Case& c : cases) {
        int expected = c.lines ? c.lines * line + (c.lines - 1) * 3 : 0;
        EXPECT_EQ(expected, font.MeasureHeight(WString(c.text))) << c.lines << " lines";
    }
    EXPECT_EQ(Extent(L"abcdef"), font.MeasureWidth(WString(L"ab\rabcdef\rabc"), true));
}

TEST_F(TextFontMeasure, MultiLineTextIsDrawnLineBelowLine) {
    font.SetLineSpacing(4);
    BitmapCanvas one = FilledCanvas(100, 60);
    font.Draw(WString(L"X"), 10, 5, true, one.Dc());
    BitmapCanvas two = FilledCanvas(100, 60);
    font.Draw(WString(L"X\rX"), 10, 5, true, two.Dc());
    RECT first = InkBounds(one);
    RECT both = InkBounds(two);
    EXPECT_EQ(first.top, both.top);
    EXPECT_EQ(first.bottom + font.LineHeight() + 4, both.bottom);
}

TEST_F(TextFontMeasure, AFontWithoutAHandleDrawsAndMeasuresNothing) {
    TextFont none;
    EXPECT_EQ(0, none.MeasureWidth(WString(L"abc"), true));
    EXPECT_EQ(0, none.MeasureHeight(WString(L"abc")));
    none.Draw(WString(L"abc"), 0, 0, false, canvas.Dc());
    EXPECT_EQ(kWhite, Pixel(canvas, 1, 5));
    EXPECT_EQ(WString(L"abc"), FitTextToWidth(WString(L"abc"), none, 10));
}

// --- FitTextToWidth ---------------------------------------------------------------------------

TEST_F(TextFontMeasure, FitTextToWidthShortensWithAnEllipsis) {
    WString shortText(L"Short");
    int width = font.MeasureWidth(shortText, true);
    EXPECT_EQ(shortText, FitTextToWidth(shortText, font, width + 1));  // fits: unchanged
    WString atTheLimit = FitTextToWidth(shortText, font, width);      // not below: shortened
    EXPECT_NE(shortText, atTheLimit);

    WString sentence(L"The quick brown fox jumps over the lazy dog");
    for (int limit : {width, 100, 200}) {
        WString fitted = FitTextToWidth(sentence, font, limit);
        ASSERT_GT(fitted.Count(), 3) << limit;
        EXPECT_EQ(WString(L"..."), fitted.Right(3));
        EXPECT_LT(font.MeasureWidth(fitted, true), limit);
        WString kept = fitted.Left(fitted.Count() - 3);
        EXPECT_EQ(kept, sentence.Left(kept.Count()));
        // One character more would not have fitted.
        WString longer = sentence.Left(kept.Count() + 1) + WString(L"...");
        EXPECT_GE(font.MeasureWidth(longer, true), limit);
    }

    EXPECT_TRUE(FitTextToWidth(sentence, font, 1).Empty());
    EXPECT_TRUE(FitTextToWidth(WString(), font, 100).Empty());
}

TEST_F(TextFontMeasure, FitTextToWidthLooksAtNoMoreThan3000Characters) {
    WString huge;
    for (int i = 0; i < 5000; ++i) huge.Append(L'i');
    WString fitted = FitTextToWidth(huge, font, 60000);
    EXPECT_EQ(3000, fitted.Count());
}

// --- PaintGradient ----------------------------------------------------------------------------

COLORREF Mix(COLORREF from, COLORREF to, int step, int steps) {
    auto channel = [&](int a, int b) { return a + (b - a) * step / steps; };
    return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
               channel(GetBValue(from), GetBValue(to)));
}

TEST(PaintGradient, EqualLeftAndRightColoursArePaintedColumnByColumn) {
    BitmapCanvas canvas = FilledCanvas(50, 20);
    const COLORREF left = RGB(0, 10, 0);
    const COLORREF right = RGB(200, 100, 40);
    RECT rect = {5, 5, 45, 9};
    PaintGradient(left, left, rect, canvas.Dc(), right, right);
    for (int y = 5; y <= 9; ++y) {
        for (int x = 5; x <= 45; ++x) {
            ASSERT_EQ(Mix(left, right, x - 5, 40), Pixel(canvas, x, y)) << x << "," << y;
        }
    }
    // The right and bottom edges are part of the rectangle; nothing beyond them is.
    EXPECT_EQ(kWhite, Pixel(canvas, 4, 5));
    EXPECT_EQ(kWhite, Pixel(canvas, 46, 5));
    EXPECT_EQ(kWhite, Pixel(canvas, 5, 4));
    EXPECT_EQ(kWhite, Pixel(canvas, 5, 10));
}

TEST(PaintGradient, DifferentTopAndBottomColoursArePaintedRowByRow) {
    BitmapCanvas canvas = FilledCanvas(50, 20);
    RECT rect = {2, 3, 41, 13};
    // Top row red to blue; bottom row green at both ends (drawn as one pen line).
    PaintGradient(kGreen, kRed, rect, canvas.Dc(), kBlue, kGreen);
    for (int y = 3; y <= 13; ++y) {
        EXPECT_EQ(Mix(kRed, kGreen, y - 3, 10), Pixel(canvas, 2, y)) << "left edge, row " << y;
        COLORREF right = Pixel(canvas, 41, y);
        COLORREF expected = Mix(kBlue, kGreen, y - 3, 10);
        EXPECT_NEAR(GetRValue(expected), GetRValue(right), 8) << "right edge, row " << y;
        EXPECT_NEAR(GetGValue(expected), GetGValue(right), 8) << "right edge, row " << y;
        EXPECT_NEAR(GetBValue(expected), GetBValue(right), 8) << "right edge, row " << y;
    }
    for (int x = 2; x <= 41; ++x) EXPECT_EQ(kGreen, Pixel(canvas, x, 13)) << x;
    // Within a row the colour runs from left to right.
    COLORREF middle = Pixel(canvas, 21, 3);
    EXPECT_GT(GetRValue(middle), 80);
    EXPECT_LT(GetRValue(middle), 180);
    EXPECT_GT(GetBValue(middle), 80);
    EXPECT_LT(GetBValue(middle), 180);
    EXPECT_EQ(kWhite, Pixel(canvas, 42, 8));
    EXPECT_EQ(kWhite, Pixel(canvas, 2, 14));
    EXPECT_EQ(kWhite, Pixel(canvas, 1, 8));
}

TEST(PaintGradient, AFlatRectangleStillGetsItsTopColours) {
    BitmapCanvas canvas = FilledCanvas(10, 10);
    RECT line = {1, 4, 8, 4};
    PaintGradient(kBlue, kRed, line, canvas.Dc(), kRed, kBlue);
    EXPECT_EQ(kRed, Pixel(canvas, 1, 4));
    EXPECT_EQ(kRed, Pixel(canvas, 8, 4));
    EXPECT_EQ(kWhite, Pixel(canvas, 1, 5));
}

// --- icons ------------------------------------------------------------------------------------

TEST(Icons, DuplicatesAreMeasuredAndDrawnAtNaturalSize) {
    HICON shared = ::LoadIconW(nullptr, IDI_APPLICATION);
    ASSERT_NE(nullptr, shared);
    IconHandle copy = DuplicateIconImage(shared);
    ASSERT_TRUE(copy);
    SIZE size = IconImageSize(copy.Get());
    EXPECT_EQ(::GetSystemMetrics(SM_CXICON), size.cx);
    EXPECT_EQ(::GetSystemMetrics(SM_CYICON), size.cy);

    BitmapCanvas canvas = FilledCanvas(size.cx + 20, size.cy + 20);
    DrawIconImage(canvas.Dc(), copy.Get(), 7, 9);
    RECT ink = InkBounds(canvas);
    EXPECT_GE(ink.left, 7);
    EXPECT_GE(ink.top, 9);
    EXPECT_LT(ink.right, 7 + size.cx);
    EXPECT_LT(ink.bottom, 9 + size.cy);
    EXPECT_LE(ink.left, ink.right);

    EXPECT_EQ(0, IconImageSize(nullptr).cx);
    DrawIconImage(canvas.Dc(), nullptr, 0, 0);
    EXPECT_FALSE(DuplicateIconImage(nullptr));
    EXPECT_FALSE(LoadIconImage(31999, 16));
}

}  // namespace
