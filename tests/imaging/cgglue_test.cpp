#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"

namespace {
GWorldPtr NewGW(int w, int h, PixRec fill) {
    GWorldPtr gw = AllocateGWorld(int16_t(w), int16_t(h));
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y)[x] = fill;
    return gw;
}
PixRec& At(GWorldPtr gw, int x, int y) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y)[x];
}
bool Same(PixRec a, PixRec b) { return std::memcmp(&a, &b, 4) == 0; }

struct FlipCase {
    Rect r, frame;
    float x, y, w, h;
};
const FlipCase kFlips[] = {
    {{0, 10, 100, 110}, {0, 0, 480, 720}, 10, 380, 100, 100},  // touching the top of a 480-high port
    {{0, 0, 480, 720}, {0, 0, 480, 720}, 0, 0, 720, 480},      // the whole frame
    {{0, 0, 1, 1}, {0, 0, 100, 100}, 0, 99, 1, 1},             // the top-left pixel
    {{99, 0, 100, 1}, {0, 0, 100, 100}, 0, 0, 1, 1},           // the bottom-left pixel
};
class Flip : public ::testing::TestWithParam<FlipCase> {};
TEST_P(Flip, YAxisTurnsUpwardsFromTheBottomLeft) {
    const CGRect c = QDRectToGCRect(GetParam().r, GetParam().frame);
    EXPECT_EQ(c.origin.x, GetParam().x);
    EXPECT_EQ(c.origin.y, GetParam().y);
    EXPECT_EQ(c.size.width, GetParam().w);
    EXPECT_EQ(c.size.height, GetParam().h);
}
INSTANTIATE_TEST_SUITE_P(Table, Flip, ::testing::ValuesIn(kFlips));

class DrawSizes : public ::testing::TestWithParam<int> {};
TEST_P(DrawSizes, DrawingTouchesNothingOutsideTheTargetNorThePadding) {
    const int w = GetParam();
    QDSetExtraRowPadding(12);
    GWorldPtr src = NewGW(5, 3, PixRec{255, 200, 100, 50});
    GWorldPtr dst = NewGW(w + 4, 9, PixRec{255, 1, 2, 3});
    QDSetExtraRowPadding(0);
    PixMapHandle pm = GetGWorldPixMap(dst);
    for (int y = 0; y < 9; y++) std::memset(GetPixBaseAddr(pm) + y * GetPixRowBytes(pm) + (w + 4) * 4, 0x77, 12);
    CGImageRef img = GWorld2CGImage(src);
    const Rect target{2, 2, 7, int16_t(2 + w)};  // scaled: 5 x 3 into w x 5
    DrawCGImageInQDRect(dst, img, target, 0.0f, false);
    for (int y = 0; y < 9; y++)
        for (int x = 0; x < w + 4; x++) {
            const bool inside = y >= 2 && y < 7 && x >= 2 && x < 2 + w;
            EXPECT_TRUE(Same(At(dst, x, y), inside ? PixRec{255, 200, 100, 50} : PixRec{255, 1, 2, 3}))
                << x << "," << y;
        }
    for (int y = 0; y < 9; y++)
        for (int k = 0; k < 12; k++) EXPECT_EQ(uint8_t(GetPixBaseAddr(pm)[y * GetPixRowBytes(pm) + (w + 4) * 4 + k]), 0x77);
    CGImageRelease(img);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}
INSTANTIATE_TEST_SUITE_P(Widths, DrawSizes, ::testing::Values(1, 3, 17));

TEST(DrawCGImageInQDRect, QuarterTurnPutsTheMarkedCornerWhereItBelongs) {
    // A square image, top-left pixel marked, turned a quarter counter-clockwise: the mark goes to
    // the bottom-left corner of the target.
    GWorldPtr src = NewGW(4, 4, PixRec{255, 0, 0, 255});
    At(src, 0, 0) = PixRec{255, 255, 0, 0};
    CGImageRef img = GWorld2CGImage(src);
    GWorldPtr dst = NewGW(8, 8, PixRec{255, 0, 0, 0});
    DrawCGImageInQDRect(dst, img, Rect{2, 2, 6, 6}, float(M_PI / 2), false);
    EXPECT_TRUE(Same(At(dst, 2, 5), PixRec{255, 255, 0, 0}));
    EXPECT_TRUE(Same(At(dst, 2, 2), PixRec{255, 0, 0, 255}));
    EXPECT_TRUE(Same(At(dst, 1, 5), PixRec{255, 0, 0, 0}));
    CGImageRelease(img);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}

TEST(DrawCGImageInQDRectWithAlpha, NegativeAlphaIsFullOpacityAndHalfMixes) {
    GWorldPtr src = NewGW(2, 2, PixRec{255, 200, 200, 200});
    CGImageRef img = GWorld2CGImage(src);
    GWorldPtr dst = NewGW(2, 2, PixRec{255, 0, 0, 0});
    DrawCGImageInQDRectWithAlpha(dst, img, Rect{0, 0, 2, 2}, 0.0f, false, -1.0, 0);
    EXPECT_TRUE(Same(At(dst, 1, 1), PixRec{255, 200, 200, 200}));
    GWorldPtr dst2 = NewGW(2, 2, PixRec{255, 0, 0, 0});
    DrawCGImageInQDRectWithAlpha(dst2, img, Rect{0, 0, 2, 2}, 0.0f, false, 0.5, 0);
    EXPECT_NEAR(At(dst2, 1, 1).RED, 100, 1);
    CGImageRelease(img);
    DisposeGWorld(src);
    DisposeGWorld(dst);
    DisposeGWorld(dst2);
}

TEST(DrawCGImageInQDRect, ClearFirstClearsThenDrawsAndAbsentImageDrawsNothing) {
    GWorldPtr src = NewGW(2, 2, PixRec{0, 0, 0, 0});
    At(src, 0, 0) = PixRec{255, 9, 9, 9};
    CGImageRef img = GWorld2CGImage(src);
    GWorldPtr dst = NewGW(4, 4, PixRec{255, 50, 50, 50});
    DrawCGImageInQDRect(dst, nullptr, Rect{0, 0, 4, 4}, 0.0f, true);
    EXPECT_TRUE(Same(At(dst, 0, 0), PixRec{255, 50, 50, 50}));
    DrawCGImageInQDRect(dst, img, Rect{0, 0, 2, 2}, 0.0f, true);
    EXPECT_TRUE(Same(At(dst, 0, 0), PixRec{255, 9, 9, 9}));
    EXPECT_TRUE(Same(At(dst, 1, 1), PixRec{0, 0, 0, 0}));  // cleared, transparent source on top
    EXPECT_TRUE(Same(At(dst, 2, 2), PixRec{255, 50, 50, 50}));
    CGImageRelease(img);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}

TEST(GWorld2CGImage, ReadsAlphaAsPremultipliedAndSnapshots) {
    GWorldPtr src = NewGW(1, 1, PixRec{0, 80, 90, 100});
    CGImageRef img = GWorld2CGImage(src);
    At(src, 0, 0) = PixRec{255, 1, 1, 1};  // later writes do not reach the image
    GWorldPtr dst = NewGW(1, 1, PixRec{0, 0, 0, 0});
    DrawCGImageInQDRectWithAlpha(dst, img, Rect{0, 0, 1, 1}, 0.0f, false, -1, kCGBlendModeCopy);
    EXPECT_TRUE(Same(At(dst, 0, 0), PixRec{0, 80, 90, 100}));
    int32_t w, h;
    GetImageDims(img, w, h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    CGImageRelease(img);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}

TEST(GWorld2CGImageShared, ReadsTheBufferInPlace) {
    GWorldPtr src = NewGW(3, 2, PixRec{128, 100, 50, 0});
    CGImageRef img = GWorld2CGImageShared(src);
    ASSERT_NE(img, nullptr);
    GWorldPtr dst = NewGW(3, 2, PixRec{255, 200, 200, 200});
    DrawCGImageInQDRect(dst, img, Rect{0, 0, 2, 3}, 0.0f, false);
    EXPECT_TRUE(Same(At(dst, 2, 1), PixRec{255, 200, 150, 100}));  // over: s + d x (1 - 128/255)
    EXPECT_TRUE(Same(At(src, 2, 1), PixRec{128, 100, 50, 0}));
    int32_t w, h;
    GetImageDims(img, w, h);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    CGImageRelease(img);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}

TEST(ImageGeometry, RectsAndProportions) {
    EXPECT_EQ(GetImageRect(nullptr), (Rect{0, 0, 0, 0}));
    GWorldPtr src = NewGW(40, 30, PixRec{});
    CGImageRef img = GWorld2CGImage(src);
    EXPECT_EQ(GetImageRect(img), (Rect{0, 0, 30, 40}));
    EXPECT_EQ(CalcProportionalImageForFrame(img, Rect{0, 0, 180, 320}), (Rect{0, 0, 240, 320}));
    const CGRect crop = QDCrop2CGCrop(Rect{5, 10, 25, 30}, img);
    EXPECT_EQ(crop.origin.x, 10);
    EXPECT_EQ(crop.origin.y, 5);
    EXPECT_EQ(crop.size.width, 20);
    CGImageRelease(img);
    DisposeGWorld(src);
}

TEST(GWPaintRectWithAlpha, CompositesTheColourAndGWClearRectClears) {
    GWorldPtr gw = NewGW(4, 4, PixRec{255, 0, 0, 0});
    GWPaintRectWithAlpha(gw, Rect{0, 0, 2, 2}, RGBColor{65535, 0, 0}, 255);
    EXPECT_TRUE(Same(At(gw, 1, 1), PixRec{255, 255, 0, 0}));
    EXPECT_TRUE(Same(At(gw, 2, 2), PixRec{255, 0, 0, 0}));
    GWClearRect(gw, Rect{1, 1, 3, 3});
    EXPECT_TRUE(Same(At(gw, 2, 2), PixRec{0, 0, 0, 0}));
    EXPECT_TRUE(Same(At(gw, 0, 0), PixRec{255, 255, 0, 0}));
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGColorRef c = RGBColor2CGColorRef(RGBColor{65535, 32768, 0}, 255, space);
    EXPECT_FLOAT_EQ(CGColorGetComponents(c)[0], 1.0f);
    EXPECT_FLOAT_EQ(CGColorGetComponents(c)[1], 128 / 255.0f);
    CGColorRelease(c);
    CGColorSpaceRelease(space);
    DisposeGWorld(gw);
}

TEST(CGglueDeathTest, MissingObjectsAreAssertionFailures) {
    EXPECT_DEATH(GWorld2CGImage(nullptr), "Failed to create s CGContext on GWorld2CGImage");
    EXPECT_DEATH(GWClearRect(nullptr, Rect{0, 0, 1, 1}), "NIL GWorld in GWClearRect");
    EXPECT_DEATH(DrawRotatedImageInCGRect(nullptr, nullptr, CGRect{}, 0, false), "NIL context for DrawRotatedImageInQDRect");
}
}  // namespace
