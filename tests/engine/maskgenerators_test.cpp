#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "engine/lineEffect.h"
#include "engine/maskgenerators.h"
#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"

namespace {
PixRec& At(GWorldPtr gw, int x, int y) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y)[x];
}
bool Same(PixRec a, PixRec b) { return std::memcmp(&a, &b, 4) == 0; }
GWorldPtr One(PixRec p) {
    GWorldPtr gw = AllocateGWorld(1, 1);
    At(gw, 0, 0) = p;
    return gw;
}

// --- The row loop against the plain one ---
class AlphaRow : public ::testing::TestWithParam<int> {};
TEST_P(AlphaRow, FastLoopMatchesScalarAndLeavesTheMaskAlone) {
    const int n = GetParam();
    std::mt19937 rng{uint32_t(n)};
    for (int flags = 0; flags < 4; flags++) {
        std::vector<PixRec> mask(size_t(n) + 2), a(size_t(n) + 2), b;
        for (auto& p : mask) p = PixRec{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        for (int i = 0; i < n; i += 4) mask[size_t(i)].RED = uint8_t(i % 8 ? 255 : 0);
        for (auto& p : a) p = PixRec{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        b = a;
        const auto maskCopy = mask;
        AlphaFromRedRow(mask.data(), a.data() + 1, n, flags & 1, flags & 2);
        AlphaFromRedRowScalar(mask.data(), b.data() + 1, n, flags & 1, flags & 2);
        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * 4), 0) << "flags " << flags;
        EXPECT_EQ(std::memcmp(mask.data(), maskCopy.data(), mask.size() * 4), 0);
    }
}
INSTANTIATE_TEST_SUITE_P(Widths, AlphaRow, ::testing::Values(1, 3, 17, 4096));

class AlphaRowCopy : public ::testing::TestWithParam<int> {};
TEST_P(AlphaRowCopy, FastLoopMatchesScalarAndLeavesItsInputsAlone) {
    const int n = GetParam();
    const uint32_t seed = uint32_t(1000 + n);
    std::printf("seed %u\n", seed);
    std::mt19937 rng{seed};
    auto Random = [&](std::vector<PixRec>& v) {
        for (auto& p : v) p = PixRec{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    };
    for (int flags = 0; flags < 4; flags++) {
        const size_t count = static_cast<size_t>(n);
        std::vector<PixRec> mask(count), colour(count), a(count + 2), b;
        Random(mask);
        Random(colour);
        for (int i = 0; i < n; i += 3) mask[size_t(i)].RED = uint8_t(i % 2 ? 255 : 0);
        for (auto& p : a) p = PixRec{0xC3, 0xC3, 0xC3, 0xC3};  // the marker around the row
        b = a;
        const auto maskCopy = mask, colourCopy = colour;
        AlphaFromRedRowCopy(mask.data(), colour.data(), a.data() + 1, n, flags & 1, flags & 2);
        AlphaFromRedRowCopyScalar(mask.data(), colour.data(), b.data() + 1, n, flags & 1, flags & 2);
        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * 4), 0) << "flags " << flags;
        EXPECT_TRUE(Same(a.front(), PixRec{0xC3, 0xC3, 0xC3, 0xC3}));
        EXPECT_TRUE(Same(a.back(), PixRec{0xC3, 0xC3, 0xC3, 0xC3}));
        EXPECT_EQ(std::memcmp(mask.data(), maskCopy.data(), mask.size() * 4), 0);
        EXPECT_EQ(std::memcmp(colour.data(), colourCopy.data(), colour.size() * 4), 0);
        // The plain copy loop is the plain in-place loop on a copy of the colour.
        std::vector<PixRec> c = colour;
        AlphaFromRedRowScalar(mask.data(), c.data(), n, flags & 1, flags & 2);
        EXPECT_EQ(std::memcmp(c.data(), b.data() + 1, c.size() * 4), 0);
    }
}
INSTANTIATE_TEST_SUITE_P(Widths, AlphaRowCopy, ::testing::Values(1, 3, 7, 17, 4096));

// --- Alpha onto a copy, against the copy followed by GW2Alpha ---
GWorldPtr RandomGW(int w, int h, std::mt19937& rng, int pad) {
    QDSetExtraRowPadding(pad);
    GWorldPtr gw = AllocateGWorld(int16_t(w), int16_t(h));
    QDSetExtraRowPadding(0);
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int y = 0; y < h; y++) {
        std::memset(GetPixBaseAddr(pm) + y * GetPixRowBytes(pm) + w * 4, 0xC3, size_t(pad));
        for (int x = 0; x < w; x++) At(gw, x, y) = PixRec{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    }
    return gw;
}
bool SamePixels(GWorldPtr a, GWorldPtr b) {
    PixMapHandle pa = GetGWorldPixMap(a), pb = GetGWorldPixMap(b);
    const Rect r = GetPortRect(a);
    for (int y = 0; y < r.bottom; y++)
        if (std::memcmp(GetPixBaseAddr(pa) + y * GetPixRowBytes(pa), GetPixBaseAddr(pb) + y * GetPixRowBytes(pb),
                        size_t(r.right) * 4) != 0)
            return false;
    return true;
}
struct OnCopyCase {
    int w, h;
    int maskW;  // differs from w: GW2Alpha leaves the layer as the copy
};
class OnCopy : public ::testing::TestWithParam<OnCopyCase> {};
TEST_P(OnCopy, IsTheCopyFollowedByGW2Alpha) {
    const OnCopyCase c = GetParam();
    const uint32_t seed = uint32_t(c.w * 31 + c.h);
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    const Rect actives[] = {Rect{0, 0, int16_t(c.h), int16_t(c.w)},
                            Rect{int16_t(c.h / 4), int16_t(c.w / 3), int16_t(c.h - c.h / 5), int16_t(c.w - c.w / 4)},
                            Rect{-5, -5, 3, 2}, Rect{0, 0, 0, 0}};
    for (const Rect& active : actives)
        for (int flags = 0; flags < 8; flags++) {
            GWorldPtr mask = RandomGW(c.maskW, c.h, rng, 8), colour = RandomGW(c.w, c.h, rng, 4);
            GWorldPtr fast = RandomGW(c.w, c.h, rng, 8);
            GWorldPtr slow = AllocateGWorld(int16_t(c.w), int16_t(c.h));
            Source2Target(fast, slow);
            PixMapHandle pf = GetGWorldPixMap(fast);
            GWorldPtr maskBefore = AllocateGWorld(int16_t(c.maskW), int16_t(c.h)), colourBefore = AllocateGWorld(int16_t(c.w), int16_t(c.h));
            Source2Target(mask, maskBefore);
            Source2Target(colour, colourBefore);
            const bool inv = flags & 1, rest = flags & 2, pre = flags & 4;
            GW2AlphaOnCopy(mask, colour, fast, active, inv, rest, pre);
            Source2Target(colour, slow);
            GW2Alpha(mask, slow, active, 1, inv, rest, pre, 0, 0, 0, 0, 0, 0);
            EXPECT_TRUE(SamePixels(fast, slow)) << "flags " << flags << " active " << active.left << "," << active.top;
            EXPECT_TRUE(SamePixels(mask, maskBefore));
            EXPECT_TRUE(SamePixels(colour, colourBefore));
            for (int y = 0; y < c.h; y++)
                for (int k = 0; k < 8; k++) ASSERT_EQ(uint8_t(GetPixBaseAddr(pf)[y * GetPixRowBytes(pf) + c.w * 4 + k]), 0xC3);
            for (GWorldPtr g : {mask, colour, fast, slow, maskBefore, colourBefore}) DisposeGWorld(g);
        }
}
INSTANTIATE_TEST_SUITE_P(Sizes, OnCopy,
                         ::testing::Values(OnCopyCase{1, 3, 1}, OnCopyCase{3, 2, 3}, OnCopyCase{17, 5, 17},
                                           OnCopyCase{17, 5, 16}, OnCopyCase{1025, 1024, 1025}));

TEST(OnCopy, AbsentBuffersWriteNothing) {
    std::mt19937 rng(5);
    GWorldPtr mask = RandomGW(4, 4, rng, 0), layer = RandomGW(4, 4, rng, 0), before = AllocateGWorld(4, 4);
    Source2Target(layer, before);
    GW2AlphaOnCopy(nullptr, mask, layer, Rect{0, 0, 4, 4}, false, true, true);
    GW2AlphaOnCopy(mask, nullptr, layer, Rect{0, 0, 4, 4}, false, true, true);
    GW2AlphaOnCopy(mask, layer, nullptr, Rect{0, 0, 4, 4}, false, true, true);
    EXPECT_TRUE(SamePixels(layer, before));
    for (GWorldPtr g : {mask, layer, before}) DisposeGWorld(g);
}

// --- Alpha modes ---
struct ModeCase {
    int16_t mode;
    PixRec mask;
    int16_t Trigger, Left, Right, Min, Max;
    bool invert;
    uint8_t alpha;
};
const ModeCase kModes[] = {
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
class Modes : public ::testing::TestWithParam<ModeCase> {};
TEST_P(Modes, PickTheAlpha) {
    const ModeCase& c = GetParam();
    GWorldPtr mask = One(c.mask), layer = One(PixRec{1, 255, 255, 255});
    GW2Alpha(mask, layer, Rect{0, 0, 1, 1}, c.mode, c.invert, false, false, c.Trigger, c.Left, c.Right, c.Min, c.Max, 0);
    EXPECT_EQ(At(layer, 0, 0).ALPHA, c.alpha);
    EXPECT_EQ(At(layer, 0, 0).RED, 255);  // no premultiplying asked
    DisposeGWorld(mask);
    DisposeGWorld(layer);
}
INSTANTIATE_TEST_SUITE_P(Table, Modes, ::testing::ValuesIn(kModes));

TEST(GW2Alpha, PremultipliesTheWorkedExample) {
    GWorldPtr mask = One(PixRec{0, 128, 0, 0}), layer = One(PixRec{77, 200, 100, 0});
    GW2Alpha(mask, layer, Rect{0, 0, 1, 1}, 1, false, true, true, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(Same(At(layer, 0, 0), PixRec{128, 100, 50, 0}));
    DisposeGWorld(mask);
    DisposeGWorld(layer);
}

TEST(GW2Alpha, DifferentSizesAndMissingBuffersChangeNothing) {
    GWorldPtr mask = AllocateGWorld(2, 2), layer = One(PixRec{7, 8, 9, 10});
    GW2Alpha(mask, layer, Rect{0, 0, 2, 2}, 1, false, true, true, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(Same(At(layer, 0, 0), PixRec{7, 8, 9, 10}));
    GW2Alpha(nullptr, layer, Rect{0, 0, 2, 2}, 1, false, true, true, 0, 0, 0, 0, 0, 0);
    GW2Alpha(layer, nullptr, Rect{0, 0, 1, 1}, 7, true, false, false, 0, 0, 0, 0, 0, 0);  // into itself
    EXPECT_EQ(At(layer, 0, 0).ALPHA, 255 - 7);
    DisposeGWorld(mask);
    DisposeGWorld(layer);
}

TEST(GW2Alpha, CopyRestCopiesOutsideTheActiveArea) {
    GWorldPtr mask = AllocateGWorld(3, 1), layer = AllocateGWorld(3, 1);
    for (int x = 0; x < 3; x++) {
        At(mask, x, 0) = PixRec{5, 6, 7, 8};
        At(layer, x, 0) = PixRec{1, 1, 1, 1};
    }
    GW2Alpha(mask, layer, Rect{0, 1, 1, 2}, 1, false, true, false, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(Same(At(layer, 0, 0), PixRec{5, 6, 7, 8}));
    EXPECT_TRUE(Same(At(layer, 1, 0), PixRec{6, 1, 1, 1}));
    EXPECT_TRUE(Same(At(layer, 2, 0), PixRec{5, 6, 7, 8}));
    Alpha2GW(layer, mask, Rect{0, 0, 1, 3}, true, false, true, false, false);
    EXPECT_TRUE(Same(At(mask, 1, 0), PixRec{0, 6, 0, 6}));
    DisposeGWorld(mask);
    DisposeGWorld(layer);
}

// --- Generators ---
TEST(Generators, LRFadeWithThicknessZeroRampsOverTwoColumns) {
    GWorldPtr gw = AllocateGWorld(10, 2);
    SetupLRFade(0, 128, 0, 255, false, gw);  // Pos = trunc(10 x 128 / 255) - 0 = 5
    EXPECT_EQ(At(gw, 4, 0).RED, 0);
    EXPECT_EQ(At(gw, 5, 0).RED, 0);
    EXPECT_EQ(At(gw, 6, 1).RED, 255);
    EXPECT_EQ(At(gw, 9, 1).RED, 255);
    SetupLRFade(0, 128, 0, 255, true, gw);
    EXPECT_EQ(At(gw, 0, 0).RED, 255);
    EXPECT_EQ(At(gw, 9, 0).RED, 0);
    DisposeGWorld(gw);
}

// 41 pixels, both halves 20 wide: the first ramp covers 8..12, the second 29..33 (4 steps of
// 63.75). Invert turns only the first half round; the second always runs from EndVal to StartVal.
struct DoubleCase {
    bool invert;
    int at;
    uint8_t grey;
};
class DoubleFade : public ::testing::TestWithParam<DoubleCase> {};
TEST_P(DoubleFade, InvertTurnsTheFirstHalfOnly) {
    const DoubleCase c = GetParam();
    GWorldPtr lr = AllocateGWorld(41, 3), ud = AllocateGWorld(3, 41);
    SetupDoubleLRFade(60, 128, 60, 128, 0, 255, c.invert, lr);
    SetupDoubleUDFade(60, 128, 60, 128, 0, 255, c.invert, ud);
    EXPECT_EQ(At(lr, c.at, 1).RED, c.grey);
    EXPECT_EQ(At(ud, 1, c.at).RED, c.grey);
    DisposeGWorld(lr);
    DisposeGWorld(ud);
}
INSTANTIATE_TEST_SUITE_P(Table, DoubleFade,
                         ::testing::Values(DoubleCase{false, 0, 0}, DoubleCase{false, 9, 63}, DoubleCase{false, 20, 255},
                                           DoubleCase{false, 29, 255}, DoubleCase{false, 31, 127},
                                           DoubleCase{false, 40, 0}, DoubleCase{true, 0, 255},
                                           DoubleCase{true, 9, 191}, DoubleCase{true, 20, 0},
                                           DoubleCase{true, 29, 255}, DoubleCase{true, 31, 127},
                                           DoubleCase{true, 40, 0}));

// A straight band from half a buffer before the edge (StartPos = EndPos = 0) moving one pixel a
// step: pixel p takes the grey of step min(Steps, p + Extent / 2), however thick the band is.
class SlideFade : public ::testing::TestWithParam<int16_t> {};
TEST_P(SlideFade, RunsUntilTheBandHasLeftTheBuffer) {
    const int16_t thickness = GetParam();
    const int extent = 40;
    const int steps = std::max(1, int(extent * thickness / 255.0));
    GWorldPtr lr = AllocateGWorld(int16_t(extent), 3), tb = AllocateGWorld(3, int16_t(extent));
    SetupLRSlideFade(thickness, 0, 0, 0, 255, false, lr);
    SetupTBSlideFade(thickness, 0, 0, 0, 255, false, tb);
    for (int p = 0; p < extent; p++) {
        const int grey = int(std::min(steps, p + extent / 2) * (255.0 / steps));
        EXPECT_EQ(At(lr, p, 1).RED, grey) << p;
        EXPECT_EQ(At(tb, 1, p).RED, grey) << p;
    }
    DisposeGWorld(lr);
    DisposeGWorld(tb);
}
INSTANTIATE_TEST_SUITE_P(Thickness, SlideFade, ::testing::Values(int16_t(100), int16_t(300), int16_t(1000)));

TEST(Generators, ShapesRampFromOutsideToCore) {
    GWorldPtr gw = AllocateGWorld(60, 40);
    for (auto fade : {SetupRectFade, SetupOvalFade}) {
        fade(40, 128, 128, 100, 100, 0, 255, false, gw);
        EXPECT_EQ(At(gw, 0, 0).RED, 0);
        EXPECT_EQ(At(gw, 30, 20).RED, 255);
    }
    SetupArcFade(40, 0, 128, 100, 255, 100, false, gw);  // AMin 100, yet the background is black
    EXPECT_EQ(At(gw, 0, 39).RED, 0);
    EXPECT_GT(At(gw, 33, 10).RED, 200);  // upper right, inside the wedge from twelve to three
    SetupLRSlideFade(20, 128, 128, 0, 255, false, gw);
    EXPECT_EQ(At(gw, 0, 20).RED, 0);
    EXPECT_EQ(At(gw, 59, 20).RED, 255);
    SetupTBSlideFade(20, 128, 128, 0, 255, false, gw);
    EXPECT_EQ(At(gw, 30, 0).RED, 0);
    EXPECT_EQ(At(gw, 30, 39).RED, 255);
    SetupLRSlideFade(20, 128, 128, 0, 255, false, nullptr);  // no buffer: nothing
    for (int16_t hostile : {int16_t(-32768), int16_t(32767)})
        SetupRectFade(hostile, hostile, hostile, hostile, hostile, hostile, hostile, false, gw);
    DisposeGWorld(gw);
}

// --- Line art ---
TEST(LineArt, RenderKeepsOnePreparedImageAndDropsItWithoutAPicture) {
    const int32_t live = CGImageLiveCount();
    GWorldPtr pic = AllocateGWorld(7, 5);
    At(pic, 0, 0) = PixRec{255, 1, 2, 3};
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
    DisposeGWorld(pic);
}

TEST(LineArt, EffectIsAScaledCopyAndOverlaysBySlider3) {
    GWorldPtr src = AllocateGWorld(4, 4), dst = AllocateGWorld(8, 8);
    ClearGW(src, RGBColor{0, 0, 0});
    At(src, 2, 2) = PixRec{255, 200, 200, 200};
    PluginDataRec config{};
    config.Sliders[3] = 0;
    TheLineEffect(src, dst, Rect{2, 2, 4, 4}, true, &config, 0, 1);  // a 2 x 2 corner onto 8 x 8
    EXPECT_TRUE(Same(At(dst, 0, 0), PixRec{255, 200, 200, 200}));
    EXPECT_TRUE(Same(At(dst, 7, 7), PixRec{255, 0, 0, 0}));
    config.Sliders[3] = 50;
    TheLineEffect(src, dst, Rect{2, 2, 4, 4}, true, &config, 0, 1);
    EXPECT_NEAR(At(dst, 0, 0).RED, 100, 1);  // black source half over it
    DisposeGWorld(src);
    DisposeGWorld(dst);
}
}  // namespace
