#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "engine/callpixelfx.h"
#include "engine/pixeleffect.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"

namespace {
constexpr uint8_t cMarker = 0xC3;
constexpr int32_t cPad = 8;

// Buffers with row padding filled with a marker that must survive.
GWorldPtr PaddedGW(int w, int h) {
    QDSetExtraRowPadding(cPad);
    GWorldPtr gw = AllocateGWorld(int16_t(w), int16_t(h));
    QDSetExtraRowPadding(0);
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int y = 0; y < h; y++) std::memset(GetPixBaseAddr(pm) + y * GetPixRowBytes(pm) + w * 4, cMarker, cPad);
    return gw;
}
bool PaddingIntact(GWorldPtr gw) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    const Rect b = GetPortRect(gw);
    for (int y = 0; y < b.bottom; y++)
        for (int k = 0; k < cPad; k++)
            if (uint8_t(GetPixBaseAddr(pm)[y * GetPixRowBytes(pm) + b.right * 4 + k]) != cMarker) return false;
    return true;
}
PixRec& At(GWorldPtr gw, int x, int y) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y)[x];
}
void FillRandom(GWorldPtr gw, std::mt19937& rng) {
    const Rect b = GetPortRect(gw);
    for (int y = 0; y < b.bottom; y++)
        for (int x = 0; x < b.right; x++) At(gw, x, y) = PixRec{255, uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
}

struct Scene {
    std::unique_ptr<RectField> field = std::make_unique<RectField>();
    PluginDataRec config{};
    Scene(int cols, int rows, int32_t s, int32_t e) {
        config.Rects = field.get();
        config.StartRel = RelRect{0, 1, 0, 1};
        config.Sliders[1] = int16_t(cols);
        config.Sliders[2] = int16_t(rows);
        config.Colors[1] = RGBColor{0x1100, 0x8800, 0xEE00};
        for (int x = 1; x <= 100; x++)
            for (int y = 1; y <= 100; y++) (*field)[x][y] = RectDesc{s, e};
    }
};

// --- Tile progress ---
struct AlphaCase {
    int32_t f, s, e;
    uint8_t a;
};
const AlphaCase kAlphas[] = {
    {0, 10, 20, 0},    {10, 10, 20, 0},    {11, 10, 20, 25}, {15, 10, 20, 127}, {19, 10, 20, 229},
    {20, 10, 20, 255}, {500, 10, 20, 255}, {7, 7, 8, 0},     {8, 7, 8, 255},    {6, 7, 7, 0},
    {7, 7, 7, 255},    {0, INT32_MIN, INT32_MAX, 127},
};
class Progress : public ::testing::TestWithParam<AlphaCase> {};
TEST_P(Progress, FollowsTheTileSchedule) {
    EXPECT_EQ(TileAlpha(GetParam().f, GetParam().s, GetParam().e), GetParam().a);
}
INSTANTIATE_TEST_SUITE_P(Table, Progress, ::testing::ValuesIn(kAlphas));

// --- What each variant shows, per tile state, inside and outside the active area ---
struct ShowCase {
    int16_t Which;
    int32_t frame;  // tiles run from 10 to 20
    uint8_t a;
};
const ShowCase kShows[] = {
    {1, 5, 0}, {1, 25, 255}, {1, 15, 127}, {1, 12, 51},  {2, 5, 0}, {2, 25, 255},
    {2, 15, 127}, {2, 18, 204}, {3, 5, 0}, {3, 25, 255}, {3, 15, 127}, {3, 11, 25},
};
class Shows : public ::testing::TestWithParam<ShowCase> {};
TEST_P(Shows, TileMixesItsTwoStatesByItsProgress) {
    const ShowCase& c = GetParam();
    for (int w : {1, 3, 17, 40}) {
        std::mt19937 rng(uint32_t(w * 100 + c.frame));
        Scene s(4, 3, 10, 20);
        s.config.Which = c.Which;
        s.config.StartRel = RelRect{0, 0.5, 0, 1};  // left half active
        GWorldPtr src = PaddedGW(w, 6), dst = PaddedGW(w, 6);
        FillRandom(src, rng);
        FillRandom(dst, rng);
        GWorldPtr before = AllocateGWorld(int16_t(w), 6), srcBefore = AllocateGWorld(int16_t(w), 6);
        Source2Target(dst, before);
        Source2Target(src, srcBefore);
        DoPixelEffect(c.Which == 3 ? src : nullptr, dst, &s.config, c.frame, 30);
        const Rect active = Rel2Rect(s.config.StartRel, GetPortRect(dst));
        const PixRec col{255, 0x11, 0x88, 0xEE};
        for (int y = 0; y < 6; y++)
            for (int x = 0; x < w; x++) {
                const bool inside = x >= active.left && x < active.right;
                const uint8_t a = inside ? c.a : 0;
                const PixRec d = At(before, x, y), sp = At(srcBefore, x, y);
                // The two states of the table: (a = 0 state, a = 255 state).
                PixRec p0 = d, p1 = d;
                if (c.Which == 1) p1 = col;
                if (c.Which == 2) p0 = col;
                if (c.Which == 3) p1 = sp;
                const PixRec got = At(dst, x, y);
                const uint8_t* g = &got.ALPHA;
                const uint8_t *lo = &p0.ALPHA, *hi = &p1.ALPHA;
                for (int k = 1; k < 4; k++) {
                    const double want = hi[k] * a / 255.0 + lo[k] * (1 - a / 255.0);
                    if (a == 0 || a == 255)
                        EXPECT_EQ(g[k], a ? hi[k] : lo[k]) << "w " << w << " at " << x << "," << y;
                    else
                        EXPECT_LE(std::abs(int(g[k]) - int(std::lround(want))), 1) << "w " << w << " at " << x << "," << y;
                }
            }
        EXPECT_TRUE(PaddingIntact(dst));
        EXPECT_TRUE(PaddingIntact(src));
        for (int y = 0; y < 6; y++)
            for (int x = 0; x < w; x++) EXPECT_EQ(std::memcmp(&At(src, x, y), &At(srcBefore, x, y), 4), 0);
        DisposeGWorld(src);
        DisposeGWorld(dst);
        DisposeGWorld(before);
        DisposeGWorld(srcBefore);
    }
}
INSTANTIATE_TEST_SUITE_P(Table, Shows, ::testing::ValuesIn(kShows));

// --- Tile edges ---
TEST(TileEdges, LeftEdgesTruncateAndTheLastTileEndsAtTheRightEdge) {
    const int W = 7, Wid = 17;
    Scene s(W, 1, 0, 0);
    for (int x = 1; x <= W; x++) (*s.field)[x][1] = RectDesc{x % 2 ? 0 : 1000, x % 2 ? 1 : 1000};  // odd tiles done
    GWorldPtr mask = PaddedGW(Wid, 2);
    s.config.TheMask = mask;
    SetupAlpha(&s.config, 5, 10);
    for (int x = 1; x <= W; x++) {
        const int left = (x - 1) * Wid / W, right = x * Wid / W;
        for (int px = left; px < right; px++) EXPECT_EQ(At(mask, px, 0).RED, x % 2 ? 255 : 0) << "tile " << x;
    }
    EXPECT_EQ(At(mask, Wid - 1, 1).RED, 255);  // tile 7 (odd) reaches the last column
    EXPECT_TRUE(PaddingIntact(mask));
    DisposeGWorld(mask);
}

TEST(SetupAlpha, BandPaintingMatchesOnePaintRectATile) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 20; trial++) {
        const int w = 1 + int(rng() % 60), h = 1 + int(rng() % 40);
        Scene s(1 + int(rng() % 30), 1 + int(rng() % 30), 0, 0);
        for (int x = 1; x <= 100; x++)
            for (int y = 1; y <= 100; y++) {
                const int32_t st = int32_t(rng() % 40);
                (*s.field)[x][y] = RectDesc{st, st + int32_t(rng() % 20)};
            }
        s.config.StartRel = RelRect{0.1, 0.8, 0.2, 0.9};
        GWorldPtr fast = PaddedGW(w, h), slow = PaddedGW(w, h);
        s.config.TheMask = fast;
        SetupAlpha(&s.config, 20, 40);
        s.config.TheMask = slow;
        SetupAlphaScalar(&s.config, 20, 40);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                ASSERT_EQ(std::memcmp(&At(fast, x, y), &At(slow, x, y), 4), 0) << "trial " << trial << " " << x << "," << y;
        EXPECT_TRUE(PaddingIntact(fast));
        DisposeGWorld(fast);
        DisposeGWorld(slow);
    }
}

// --- Hostile grid sizes ---
class HostileGrid : public ::testing::TestWithParam<int16_t> {};
TEST_P(HostileGrid, IsHeldToTheField) {
    Scene s(GetParam(), GetParam(), 0, 10);
    s.config.Which = 3;
    GWorldPtr src = AllocateGWorld(30, 20), dst = AllocateGWorld(30, 20);
    ClearGW(src, RGBColor{65535, 65535, 65535});
    DoPixelEffect(src, dst, &s.config, 100, 10);
    EXPECT_EQ(At(dst, 29, 19).RED, 255);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}
INSTANTIATE_TEST_SUITE_P(Values, HostileGrid, ::testing::Values(0, -5, 101, 32767, -32768));

// --- Invalid variants ---
class BadWhich : public ::testing::TestWithParam<int16_t> {};
TEST_P(BadWhich, DrawsTheErrorTextAndNothingElse) {
    std::mt19937 rng(7);
    Scene s(10, 10, 0, 1);
    s.config.Which = GetParam();
    GWorldPtr dst = PaddedGW(400, 40);
    FillRandom(dst, rng);
    GWorldPtr before = AllocateGWorld(400, 40);
    Source2Target(dst, before);
    const RGBColor white{65535, 65535, 65535};
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(dst, nullptr);
    RGBForeColor(&white);
    SetGWorld(save, nullptr);
    DoPixelEffect(nullptr, dst, &s.config, 5, 10);
    int changed = 0;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 400; x++) {
            const bool diff = std::memcmp(&At(dst, x, y), &At(before, x, y), 4) != 0;
            const bool inText = x >= 20 && x < 20 + 48 * 6 && y >= 13 && y < 20;
            if (!inText) {
                EXPECT_FALSE(diff) << x << "," << y;
            }
            changed += diff;
        }
    EXPECT_GT(changed, 100);  // the text is there
    EXPECT_TRUE(PaddingIntact(dst));
    DisposeGWorld(dst);
    DisposeGWorld(before);
}
INSTANTIATE_TEST_SUITE_P(Values, BadWhich, ::testing::Values(0, 4, -1));

TEST(PixelEffect, RestoresTheCurrentPortAndLeavesNoMask) {
    Scene s(3, 3, 0, 10);
    s.config.Which = 1;
    GWorldPtr dst = AllocateGWorld(10, 10), other = AllocateGWorld(2, 2);
    SetGWorld(other, nullptr);
    ThePixelEffect(nullptr, dst, Rect{}, true, &s.config, 5, 10);
    CGrafPtr now;
    GetGWorld(&now, nullptr);
    EXPECT_EQ(now, other);
    EXPECT_EQ(s.config.TheMask, nullptr);
    ThePixelEffect(nullptr, nullptr, Rect{}, true, &s.config, 5, 10);  // no destination: nothing
    ThePixelEffect(nullptr, dst, Rect{}, true, nullptr, 5, 10);
    SetGWorld(nullptr, nullptr);
    DisposeGWorld(dst);
    DisposeGWorld(other);
}

TEST(PixelEffect, CallPixelEffectUsesTheWorkspace) {
    Scene s(2, 2, 0, 10);
    s.config.Which = 1;
    gConfigWorkSpace.TheConfig = &s.config;
    gConfigWorkSpace.CurrFrameIndex = 10;
    gConfigWorkSpace.MaxFrameIndex = 10;
    GWorldPtr dst = AllocateGWorld(8, 8);
    CallPixelEffect(nullptr, dst);
    EXPECT_EQ(At(dst, 4, 4).GREEN, 0x88);
    gConfigWorkSpace = PluginWorkSpace{};
    DisposeGWorld(dst);
}

TEST(PixelEffectDeathTest, AllocationFailuresAreReported) {
    Scene s(2, 2, 0, 10);
    s.config.Which = 1;
    GWorldPtr dst = AllocateGWorld(8, 8);
    ReleasePixelEffectBuffers();
    EXPECT_DEATH(
        {
            QDFailNextGWorlds(1);
            DoPixelEffect(nullptr, dst, &s.config, 5, 10);
        },
        "Cannot allocate theMask in pixelEffect");
    DisposeGWorld(dst);
}
}  // namespace
