// The installer's skin bitmaps and icons through the drawing primitives: canvases and icons load
// at their sizes, and a masked ornament composes onto a window background without tinting it.
// This executable carries the installer's resources.
#include "ui/DrawList.h"
#include "ui/Drawing.h"

#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

bool HasResources() { return ::FindResourceW(nullptr, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(2)) != nullptr; }

TEST(Skin, BitmapsLoadIntoCanvasesAtTheirNaturalSize) {
    if (!HasResources()) GTEST_SKIP() << "built without the installer's resources";
    struct Case {
        int id;
        int width;
        int height;
    };
    const Case cases[] = {{102, 88, 44}, {103, 112, 56}, {104, 124, 58}, {105, 190, 25},
                          {106, 237, 31}, {107, 355, 46}, {110, 355, 46}};
    for (const Case& c : cases) {
        BitmapCanvas canvas;
        ASSERT_TRUE(canvas.LoadResource(c.id)) << c.id;
        EXPECT_EQ(c.width, canvas.Width()) << c.id;
        EXPECT_EQ(c.height, canvas.Height()) << c.id;
        EXPECT_NE(nullptr, canvas.Dc());
    }
    BitmapCanvas bare;
    ASSERT_TRUE(bare.LoadResource(105, false));
    EXPECT_EQ(nullptr, bare.Dc());
    BitmapCanvas target = FilledCanvas(4, 4);
    bare.Blit(target.Dc(), 0, 0);  // no DC yet: nothing happens
    EXPECT_TRUE(bare.SelectIntoNewDc());
    EXPECT_NE(nullptr, bare.Dc());
}

TEST(Skin, IconsLoadAtEachRequestedSize) {
    if (!HasResources()) GTEST_SKIP() << "built without the installer's resources";
    struct Case {
        int id;
        int size;
    };
    const Case cases[] = {{112, 16}, {112, 20}, {112, 24}, {118, 24}, {119, 75}, {119, 94}, {120, 112}, {100, 32}};
    for (const Case& c : cases) {
        IconHandle icon = LoadIconImage(c.id, c.size);
        ASSERT_TRUE(icon) << c.id << " at " << c.size;
        SIZE size = IconImageSize(icon.Get());
        EXPECT_EQ(c.size, size.cx) << c.id;
        EXPECT_EQ(c.size, size.cy) << c.id;
    }
}

// The 96 DPI header ornament and the close button's normal, pressed, hover and focus frames,
// composed as the windows compose them, into "ui-skin-sample.bmp" (the build tree).
TEST(Skin, MaskedPicturesComposeOntoTheBackground) {
    if (!HasResources()) GTEST_SKIP() << "built without the installer's resources";
    const COLORREF background = RGB(0xF5, 0xF5, 0xF5);
    BitmapCanvas canvas = FilledCanvas(240, 90, background);

    BitmapCanvas mask;
    BitmapCanvas image;
    ASSERT_TRUE(mask.LoadResource(108));
    ASSERT_TRUE(image.LoadResource(105));
    DrawList header;
    header.SetMinimumSize(240, 30);
    header.AddImage(std::move(mask), kCoordHalfContent | kCoordMinusHalfSize, 0, SRCAND);
    header.AddImage(std::move(image), kCoordHalfContent | kCoordMinusHalfSize, 0, SRCPAINT);
    header.Paint(canvas.Dc(), 0, 0);

    BitmapCanvas skin;
    ASSERT_TRUE(skin.LoadResource(102));
    const int frame = skin.Width() / 4;
    const int rowHeight = skin.Height() / 2;
    for (int column = 0; column < 4; ++column) {
        int x = 20 + column * (frame + 10);
        skin.Blit(canvas.Dc(), x, 50, frame, rowHeight, column * frame, rowHeight, SRCAND);
        skin.Blit(canvas.Dc(), x, 50, frame, rowHeight, column * frame, 0, SRCPAINT);
    }
    EXPECT_TRUE(SaveBmp(canvas, L"ui-skin-sample.bmp"));

    // Outside the ornament (its first and last columns lie within 25 pixels of each side) and
    // between the buttons the background is untouched.
    EXPECT_EQ(background, Pixel(canvas, 0, 10));
    EXPECT_EQ(background, Pixel(canvas, 239, 10));
    EXPECT_EQ(background, Pixel(canvas, 20 + frame + 5, 60));
    EXPECT_EQ(background, Pixel(canvas, 120, 40));
    RECT ink = InkBounds(canvas, background);
    EXPECT_LT(ink.left, ink.right);
}

}  // namespace
