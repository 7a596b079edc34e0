#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/lineEffect.h"
#include "engine/maskgenerators.h"
#include "imaging/CGglue.h"
#include "imaging/TestBuffers.h"

namespace {
using testbuf::Buf;
using testbuf::Same;

// --- Alpha onto a copy, against the copy followed by GW2Alpha ---
struct OnCopyCase {
    int w, h;
    int maskW;  // differs from w: GW2Alpha leaves the layer as the copy
};
class OnCopy : public ::testing::TestWithParam<OnCopyCase> {};
TEST_P(OnCopy, IsTheCopyFollowedByGW2Alpha) {
    const OnCopyCase c = GetParam();
    uint32_t seed = uint32_t(c.w * 31 + c.h);
    std::printf("seed %u\n", seed);
    const Rect actives[] = {Rect{0, 0, int16_t(c.h), int16_t(c.w)},
                            Rect{int16_t(c.h / 4), int16_t(c.w / 3), int16_t(c.h - c.h / 5), int16_t(c.w - c.w / 4)},
                            Rect{-5, -5, 3, 2}, Rect{0, 0, 0, 0}};
    for (const Rect& active : actives)
        for (int flags = 0; flags < 8; flags++) {
            // Different paddings: the loops must follow each buffer's own row bytes.
            Buf mask(c.maskW, c.h, seed++, 8), colour(c.w, c.h, seed++, 4), fast(c.w, c.h, seed++, 8), slow(c.w, c.h, 0, 0);
            Source2Target(fast, slow);
            const auto maskBefore = mask.Pixels(), colourBefore = colour.Pixels();
            const bool inv = flags & 1, rest = flags & 2, pre = flags & 4;
            GW2AlphaOnCopy(mask, colour, fast, active, inv, rest, pre);
            Source2Target(colour, slow);
            GW2Alpha(mask, slow, active, 1, inv, rest, pre, 0, 0, 0, 0, 0, 0);
            EXPECT_TRUE(fast.Pixels() == slow.Pixels()) << "flags " << flags << " active " << active.left << "," << active.top;
            EXPECT_TRUE(mask.Pixels() == maskBefore);
            EXPECT_TRUE(colour.Pixels() == colourBefore);
            ASSERT_TRUE(fast.PaddingIntact());
        }
}
INSTANTIATE_TEST_SUITE_P(Sizes, OnCopy,
                         ::testing::Values(OnCopyCase{1, 3, 1}, OnCopyCase{3, 2, 3}, OnCopyCase{17, 5, 17},
                                           OnCopyCase{17, 5, 16}, OnCopyCase{1025, 1024, 1025}));

TEST(OnCopy, AbsentBuffersWriteNothing) {
    Buf mask(4, 4, 5), layer(4, 4, 6);
    const auto before = layer.Bytes();
    GW2AlphaOnCopy(nullptr, mask, layer, Rect{0, 0, 4, 4}, false, true, true);
    GW2AlphaOnCopy(mask, nullptr, layer, Rect{0, 0, 4, 4}, false, true, true);
    GW2AlphaOnCopy(mask, layer, nullptr, Rect{0, 0, 4, 4}, false, true, true);
    EXPECT_TRUE(layer.Bytes() == before);
}

// --- Alpha modes ---
TEST(GW2Alpha, ModesPickTheAlpha) {
    const struct {
        int16_t mode;
        PixRec mask;
        int16_t Trigger, Left, Right, Min, Max;
        bool invert;
        uint8_t alpha;
    } cases[] = {
        {0, {9, 30, 60, 90}, 0, 0, 0, 0, 0, false, 60},
        {1, {9, 128, 0, 0}, 0, 0, 0, 0, 0, false, 128},
        {2, {9, 1, 77, 3}, 0, 0, 0, 0, 0, false, 77},
        {3, {9, 1, 2, 88}, 0, 0, 0, 0, 0, false, 88},
        {4, {9, 128, 128, 128}, 128, 11, 22, 0, 0, false, 22},
        {4, {9, 127, 127, 127}, 128, 11, 22, 0, 0, false, 11},
        {5, {9, 30, 30, 30}, 0, 0, 0, 50, 200, false, 50},
        {5, {9, 220, 220, 220}, 0, 0, 0, 50, 200, false, 200},
        {5, {9, 120, 120, 120}, 0, 0, 0, 50, 200, false, 120},
        {6, {9, 125, 125, 125}, 0, 50, 0, 50, 200, false, 127},  // (125 - 50) x 255 / 150
        {7, {66, 1, 2, 3}, 0, 0, 0, 0, 0, false, 66},
        {9, {9, 44, 1, 1}, 0, 0, 0, 0, 0, false, 44},
        {1, {9, 40, 0, 0}, 0, 0, 0, 0, 0, true, 215},
    };
    for (const auto& c : cases) {
        Buf mask(1, 1, c.mask), layer(1, 1, PixRec{1, 255, 255, 255});
        GW2Alpha(mask, layer, Rect{0, 0, 1, 1}, c.mode, c.invert, false, false, c.Trigger, c.Left, c.Right, c.Min, c.Max, 0);
        EXPECT_EQ(layer.At(0, 0).ALPHA, c.alpha) << "mode " << c.mode << " red " << int(c.mask.RED);
        EXPECT_EQ(layer.At(0, 0).RED, 255);  // no premultiplying asked
    }
}

TEST(GW2Alpha, PremultipliesTheWorkedExample) {
    Buf mask(1, 1, PixRec{0, 128, 0, 0}), layer(1, 1, PixRec{77, 200, 100, 0});
    GW2Alpha(mask, layer, Rect{0, 0, 1, 1}, 1, false, true, true, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(Same(layer.At(0, 0), PixRec{128, 100, 50, 0}));
}

TEST(GW2Alpha, DifferentSizesAndMissingBuffersChangeNothing) {
    Buf mask(2, 2), layer(1, 1, PixRec{7, 8, 9, 10});
    GW2Alpha(mask, layer, Rect{0, 0, 2, 2}, 1, false, true, true, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(Same(layer.At(0, 0), PixRec{7, 8, 9, 10}));
    GW2Alpha(nullptr, layer, Rect{0, 0, 2, 2}, 1, false, true, true, 0, 0, 0, 0, 0, 0);
    GW2Alpha(layer, nullptr, Rect{0, 0, 1, 1}, 7, true, false, false, 0, 0, 0, 0, 0, 0);  // into itself
    EXPECT_EQ(layer.At(0, 0).ALPHA, 255 - 7);
}

TEST(GW2Alpha, CopyRestCopiesOutsideTheActiveArea) {
    Buf mask(3, 1, PixRec{5, 6, 7, 8}), layer(3, 1, PixRec{1, 1, 1, 1});
    GW2Alpha(mask, layer, Rect{0, 1, 1, 2}, 1, false, true, false, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(Same(layer.At(0, 0), PixRec{5, 6, 7, 8}));
    EXPECT_TRUE(Same(layer.At(1, 0), PixRec{6, 1, 1, 1}));
    EXPECT_TRUE(Same(layer.At(2, 0), PixRec{5, 6, 7, 8}));
    Alpha2GW(layer, mask, Rect{0, 0, 1, 3}, true, false, true, false, false);
    EXPECT_TRUE(Same(mask.At(1, 0), PixRec{0, 6, 0, 6}));
}

// --- Generators ---
TEST(Generators, LRFadeWithThicknessZeroRampsOverTwoColumns) {
    Buf gw(10, 2);
    SetupLRFade(0, 128, 0, 255, false, gw);  // Pos = trunc(10 x 128 / 255) - 0 = 5
    EXPECT_EQ(gw.At(4, 0).RED, 0);
    EXPECT_EQ(gw.At(5, 0).RED, 0);
    EXPECT_EQ(gw.At(6, 1).RED, 255);
    EXPECT_EQ(gw.At(9, 1).RED, 255);
    SetupLRFade(0, 128, 0, 255, true, gw);
    EXPECT_EQ(gw.At(0, 0).RED, 255);
    EXPECT_EQ(gw.At(9, 0).RED, 0);
}

// 41 pixels, both halves 20 wide: the first ramp covers 8..12, the second 29..33 (4 steps of
// 63.75). Invert turns only the first half round; the second always runs from EndVal to StartVal.
TEST(Generators, DoubleFadeInvertTurnsTheFirstHalfOnly) {
    const struct {
        int at;
        uint8_t grey, inverted;
    } cases[] = {{0, 0, 255}, {9, 63, 191}, {20, 255, 0}, {29, 255, 255}, {31, 127, 127}, {40, 0, 0}};
    for (bool invert : {false, true}) {
        Buf lr(41, 3), ud(3, 41);
        SetupDoubleLRFade(60, 128, 60, 128, 0, 255, invert, lr);
        SetupDoubleUDFade(60, 128, 60, 128, 0, 255, invert, ud);
        for (const auto& c : cases) {
            EXPECT_EQ(lr.At(c.at, 1).RED, invert ? c.inverted : c.grey) << invert << " " << c.at;
            EXPECT_EQ(ud.At(1, c.at).RED, invert ? c.inverted : c.grey) << invert << " " << c.at;
        }
    }
}

// A straight band from half a buffer before the edge (StartPos = EndPos = 0) moving one pixel a
// step: pixel p takes the grey of step min(Steps, p + Extent / 2), however thick the band is.
TEST(Generators, SlideFadeRunsUntilTheBandHasLeftTheBuffer) {
    const int extent = 40;
    for (int16_t thickness : {100, 300, 1000}) {
        const int steps = std::max(1, int(extent * thickness / 255.0));
        Buf lr(extent, 3), tb(3, extent);
        SetupLRSlideFade(thickness, 0, 0, 0, 255, false, lr);
        SetupTBSlideFade(thickness, 0, 0, 0, 255, false, tb);
        for (int p = 0; p < extent; p++) {
            const int grey = int(std::min(steps, p + extent / 2) * (255.0 / steps));
            EXPECT_EQ(lr.At(p, 1).RED, grey) << thickness << " " << p;
            EXPECT_EQ(tb.At(1, p).RED, grey) << thickness << " " << p;
        }
    }
}

TEST(Generators, ShapesRampFromOutsideToCore) {
    Buf gw(60, 40);
    for (auto fade : {SetupRectFade, SetupOvalFade}) {
        fade(40, 128, 128, 100, 100, 0, 255, false, gw);
        EXPECT_EQ(gw.At(0, 0).RED, 0);
        EXPECT_EQ(gw.At(30, 20).RED, 255);
    }
    SetupArcFade(40, 0, 128, 100, 255, 100, false, gw);  // AMin 100, yet the background is black
    EXPECT_EQ(gw.At(0, 39).RED, 0);
    EXPECT_GT(gw.At(33, 10).RED, 200);  // upper right, inside the wedge from twelve to three
    SetupLRSlideFade(20, 128, 128, 0, 255, false, gw);
    EXPECT_EQ(gw.At(0, 20).RED, 0);
    EXPECT_EQ(gw.At(59, 20).RED, 255);
    SetupTBSlideFade(20, 128, 128, 0, 255, false, gw);
    EXPECT_EQ(gw.At(30, 0).RED, 0);
    EXPECT_EQ(gw.At(30, 39).RED, 255);
    SetupLRSlideFade(20, 128, 128, 0, 255, false, nullptr);  // no buffer: nothing
    for (int16_t hostile : {int16_t(-32768), int16_t(32767)})
        SetupRectFade(hostile, hostile, hostile, hostile, hostile, hostile, hostile, false, gw);
    EXPECT_TRUE(gw.PaddingIntact());
}

// --- Line art ---
TEST(LineArt, RenderKeepsOnePreparedImageAndDropsItWithoutAPicture) {
    const int32_t live = CGImageLiveCount();
    Buf pic(7, 5);
    pic.At(0, 0) = PixRec{255, 1, 2, 3};
    PluginDataRec config{};
    config.TheOriginalImage = GWorld2CGImage(pic);
    RenderLineArt(&config);
    RenderLineArt(&config);
    ASSERT_NE(config.TheRendered, nullptr);
    EXPECT_EQ(GetImageRect(config.TheRendered), (Rect{0, 0, 5, 7}));
    EXPECT_EQ(CGImageLiveCount(), live + 2);
    CGImageRelease(config.TheOriginalImage);
    config.TheOriginalImage = nullptr;
    RenderLineArt(&config);
    EXPECT_EQ(config.TheRendered, nullptr);
    EXPECT_EQ(CGImageLiveCount(), live);
}

TEST(LineArt, EffectIsAScaledCopyAndOverlaysBySlider3) {
    Buf src(4, 4, PixRec{255, 0, 0, 0}), dst(8, 8);
    src.At(2, 2) = PixRec{255, 200, 200, 200};
    PluginDataRec config{};
    config.Sliders[3] = 0;
    TheLineEffect(src, dst, Rect{2, 2, 4, 4}, true, &config, 0, 1);  // a 2 x 2 corner onto 8 x 8
    EXPECT_TRUE(Same(dst.At(0, 0), PixRec{255, 200, 200, 200}));
    EXPECT_TRUE(Same(dst.At(7, 7), PixRec{255, 0, 0, 0}));
    config.Sliders[3] = 50;
    TheLineEffect(src, dst, Rect{2, 2, 4, 4}, true, &config, 0, 1);
    EXPECT_NEAR(dst.At(0, 0).RED, 100, 1);  // black source half over it
}
}  // namespace
