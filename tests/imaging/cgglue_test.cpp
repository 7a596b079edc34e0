#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "imaging/CGglue.h"
#include "imaging/TestBuffers.h"

namespace {
using GW = testbuf::Buf;
using testbuf::Same;
struct Image {
    CGImageRef img;
    ~Image() { CGImageRelease(img); }
    operator CGImageRef() const { return img; }
};
std::array<double, 4> XYWH(CGRect c) { return {c.origin.x, c.origin.y, c.size.width, c.size.height}; }

TEST(QDRectToGCRect, YAxisTurnsUpwardsFromTheBottomLeft) {
    const struct {
        Rect r, frame;
        std::array<double, 4> xywh;
    } cases[] = {
        {{0, 10, 100, 110}, {0, 0, 480, 720}, {10, 380, 100, 100}},  // touching the top of a 480-high port
        {{0, 0, 480, 720}, {0, 0, 480, 720}, {0, 0, 720, 480}},      // the whole frame
        {{0, 0, 1, 1}, {0, 0, 100, 100}, {0, 99, 1, 1}},             // the top-left pixel
        {{99, 0, 100, 1}, {0, 0, 100, 100}, {0, 0, 1, 1}},           // the bottom-left pixel
    };
    for (const auto& c : cases) EXPECT_EQ(XYWH(QDRectToGCRect(c.r, c.frame)), c.xywh) << c.r.top << "," << c.r.left;
}

TEST(DrawCGImageInQDRect, DrawingTouchesNothingOutsideTheTargetNorThePadding) {
    for (int w : {1, 3, 17}) {
        GW src(5, 3, PixRec{255, 200, 100, 50}), dst(w + 4, 9, PixRec{255, 1, 2, 3});
        const Image img{GWorld2CGImage(src)};
        DrawCGImageInQDRect(dst, img, Rect{2, 2, 7, int16_t(2 + w)}, 0.0f, false);  // scaled: 5 x 3 into w x 5
        for (int y = 0; y < 9; y++)
            for (int x = 0; x < w + 4; x++) {
                const bool inside = y >= 2 && y < 7 && x >= 2 && x < 2 + w;
                EXPECT_TRUE(Same(dst.At(x, y), inside ? PixRec{255, 200, 100, 50} : PixRec{255, 1, 2, 3}))
                    << w << ": " << x << "," << y;
            }
        EXPECT_TRUE(dst.PaddingIntact());
    }
}

TEST(DrawCGImageInQDRect, QuarterTurnPutsTheMarkedCornerWhereItBelongs) {
    // A square image, top-left pixel marked, turned a quarter counter-clockwise: the mark goes to
    // the bottom-left corner of the target.
    GW src(4, 4, PixRec{255, 0, 0, 255}), dst(8, 8, PixRec{255, 0, 0, 0});
    src.At(0, 0) = PixRec{255, 255, 0, 0};
    const Image img{GWorld2CGImage(src)};
    DrawCGImageInQDRect(dst, img, Rect{2, 2, 6, 6}, float(M_PI / 2), false);
    EXPECT_TRUE(Same(dst.At(2, 5), PixRec{255, 255, 0, 0}));
    EXPECT_TRUE(Same(dst.At(2, 2), PixRec{255, 0, 0, 255}));
    EXPECT_TRUE(Same(dst.At(1, 5), PixRec{255, 0, 0, 0}));
}

TEST(DrawCGImageInQDRectWithAlpha, NegativeAlphaIsFullOpacityAndHalfMixes) {
    GW src(2, 2, PixRec{255, 200, 200, 200}), dst(2, 2, PixRec{255, 0, 0, 0}), dst2(2, 2, PixRec{255, 0, 0, 0});
    const Image img{GWorld2CGImage(src)};
    DrawCGImageInQDRectWithAlpha(dst, img, Rect{0, 0, 2, 2}, 0.0f, false, -1.0, 0);
    EXPECT_TRUE(Same(dst.At(1, 1), PixRec{255, 200, 200, 200}));
    DrawCGImageInQDRectWithAlpha(dst2, img, Rect{0, 0, 2, 2}, 0.0f, false, 0.5, 0);
    EXPECT_NEAR(dst2.At(1, 1).RED, 100, 1);
}

TEST(DrawCGImageInQDRect, ClearFirstClearsThenDrawsAndAbsentImageDrawsNothing) {
    GW src(2, 2, PixRec{0, 0, 0, 0}), dst(4, 4, PixRec{255, 50, 50, 50});
    src.At(0, 0) = PixRec{255, 9, 9, 9};
    const Image img{GWorld2CGImage(src)};
    DrawCGImageInQDRect(dst, nullptr, Rect{0, 0, 4, 4}, 0.0f, true);
    EXPECT_TRUE(Same(dst.At(0, 0), PixRec{255, 50, 50, 50}));
    DrawCGImageInQDRect(dst, img, Rect{0, 0, 2, 2}, 0.0f, true);
    EXPECT_TRUE(Same(dst.At(0, 0), PixRec{255, 9, 9, 9}));
    EXPECT_TRUE(Same(dst.At(1, 1), PixRec{0, 0, 0, 0}));  // cleared, transparent source on top
    EXPECT_TRUE(Same(dst.At(2, 2), PixRec{255, 50, 50, 50}));
}

// A copied image is premultiplied and a snapshot; a shared one reads the buffer in place.
TEST(GWorld2CGImage, CopiesArePremultipliedSnapshotsSharedOnesReadInPlace) {
    GW src(1, 1, PixRec{0, 80, 90, 100}), dst(1, 1, PixRec{0, 0, 0, 0});
    const Image img{GWorld2CGImage(src)};
    src.At(0, 0) = PixRec{255, 1, 1, 1};  // later writes do not reach the image
    DrawCGImageInQDRectWithAlpha(dst, img, Rect{0, 0, 1, 1}, 0.0f, false, -1, kCGBlendModeCopy);
    EXPECT_TRUE(Same(dst.At(0, 0), PixRec{0, 80, 90, 100}));
    int32_t w, h;
    GetImageDims(img, w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(1, 1));

    GW src2(3, 2, PixRec{128, 100, 50, 0}), dst2(3, 2, PixRec{255, 200, 200, 200});
    const Image shared{GWorld2CGImageShared(src2)};
    ASSERT_NE(shared.img, nullptr);
    DrawCGImageInQDRect(dst2, shared, Rect{0, 0, 2, 3}, 0.0f, false);
    EXPECT_TRUE(Same(dst2.At(2, 1), PixRec{255, 200, 150, 100}));  // over: s + d x (1 - 128/255)
    EXPECT_TRUE(Same(src2.At(2, 1), PixRec{128, 100, 50, 0}));
    GetImageDims(shared, w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(3, 2));
}

TEST(ImageGeometry, RectsAndProportions) {
    EXPECT_EQ(GetImageRect(nullptr), (Rect{0, 0, 0, 0}));
    GW src(40, 30, PixRec{});
    const Image img{GWorld2CGImage(src)};
    EXPECT_EQ(GetImageRect(img), (Rect{0, 0, 30, 40}));
    EXPECT_EQ(CalcProportionalImageForFrame(img, Rect{0, 0, 180, 320}), (Rect{0, 0, 240, 320}));
    EXPECT_EQ(XYWH(QDCrop2CGCrop(Rect{5, 10, 25, 30}, img)), (std::array<double, 4>{10, 5, 20, 20}));
}

TEST(GWPaintRectWithAlpha, CompositesTheColourAndGWClearRectClears) {
    GW gw(4, 4, PixRec{255, 0, 0, 0});
    GWPaintRectWithAlpha(gw, Rect{0, 0, 2, 2}, RGBColor{65535, 0, 0}, 255);
    EXPECT_TRUE(Same(gw.At(1, 1), PixRec{255, 255, 0, 0}));
    EXPECT_TRUE(Same(gw.At(2, 2), PixRec{255, 0, 0, 0}));
    GWClearRect(gw, Rect{1, 1, 3, 3});
    EXPECT_TRUE(Same(gw.At(2, 2), PixRec{0, 0, 0, 0}));
    EXPECT_TRUE(Same(gw.At(0, 0), PixRec{255, 255, 0, 0}));
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGColorRef c = RGBColor2CGColorRef(RGBColor{65535, 32768, 0}, 255, space);
    EXPECT_FLOAT_EQ(CGColorGetComponents(c)[0], 1.0f);
    EXPECT_FLOAT_EQ(CGColorGetComponents(c)[1], 128 / 255.0f);
    CGColorRelease(c);
    CGColorSpaceRelease(space);
}

TEST(CGglueDeathTest, MissingObjectsAreAssertionFailures) {
    EXPECT_DEATH(GWorld2CGImage(nullptr), "Failed to create s CGContext on GWorld2CGImage");
    EXPECT_DEATH(GWClearRect(nullptr, Rect{0, 0, 1, 1}), "NIL GWorld in GWClearRect");
    EXPECT_DEATH(DrawRotatedImageInCGRect(nullptr, nullptr, CGRect{}, 0, false), "NIL context for DrawRotatedImageInQDRect");
}
}  // namespace
