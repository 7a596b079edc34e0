#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "engine/callpixelfx.h"
#include "engine/maskgenerators.h"
#include "engine/pixeleffect.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "platform/CoreGraphics.h"

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
// Every extent and grid the field allows: edge 0 is 0, edge Count is the extent, and every tile is
// Extent / Count pixels wide or one more, so the tiles neither gap nor overlap.
TEST(TileEdges, CoverEveryExtentExactly) {
    for (int32_t extent = 1; extent <= 4096; extent++)
        for (int32_t count = 1; count <= 100; count++) {
            ASSERT_EQ(TileEdge(0, extent, count), 0);
            ASSERT_EQ(TileEdge(count, extent, count), extent) << extent << " px, " << count << " tiles";
            for (int32_t i = 1; i <= count; i++) {
                const int32_t width = TileEdge(i, extent, count) - TileEdge(i - 1, extent, count);
                ASSERT_TRUE(width == extent / count || width == extent / count + 1)
                    << extent << " px, " << count << " tiles, tile " << i;
            }
        }
}

// The mask of sizes whose edges fell one pixel short in doubles, and a small uneven one: pixel p
// belongs to tile ceil((p + 1) x Count / Extent); tiles alternate done and not started, the last one
// done, so a short last tile shows as an unpainted last column or row.
struct EdgeCase {
    int wid, hig, W, H;
};
class TileEdgeMask : public ::testing::TestWithParam<EdgeCase> {};
TEST_P(TileEdgeMask, EveryPixelTakesItsTilesGreyUpToTheEdges) {
    const EdgeCase c = GetParam();
    Scene s(c.W, c.H, 0, 0);
    for (int x = 1; x <= c.W; x++)
        for (int y = 1; y <= c.H; y++)
            (*s.field)[x][y] = (c.W - x + c.H - y) % 2 ? RectDesc{1000, 1000} : RectDesc{0, 1};
    for (auto paint : {SetupAlpha, SetupAlphaScalar}) {
        GWorldPtr mask = PaddedGW(c.wid, c.hig);
        s.config.TheMask = mask;
        paint(&s.config, 5, 10);
        for (int py = 0; py < c.hig; py++)
            for (int px = 0; px < c.wid; px++) {
                const int x = ((px + 1) * c.W + c.wid - 1) / c.wid, y = ((py + 1) * c.H + c.hig - 1) / c.hig;
                ASSERT_EQ(At(mask, px, py).RED, (c.W - x + c.H - y) % 2 ? 0 : 255) << px << "," << py;
            }
        EXPECT_TRUE(PaddingIntact(mask));
        DisposeGWorld(mask);
    }
}
INSTANTIATE_TEST_SUITE_P(Sizes, TileEdgeMask,
                         ::testing::Values(EdgeCase{17, 2, 7, 1}, EdgeCase{720, 2, 39, 1}, EdgeCase{720, 2, 78, 1},
                                           EdgeCase{2, 480, 1, 11}, EdgeCase{2, 480, 1, 55},
                                           EdgeCase{2, 480, 1, 88}, EdgeCase{960, 3, 13, 2},
                                           EdgeCase{1920, 2, 44, 1}, EdgeCase{1280, 2, 77, 1},
                                           EdgeCase{960, 480, 26, 52}));

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
// --- The whole frame against the plain steps ---
// The frame as the plain steps make it: the mask cleared and painted one PaintRect a tile, the layer
// filled by Which, its alpha taken from the mask and premultiplied pixel by pixel, and the layer laid
// over the destination row by row with the plain source-over loop.
void ReferenceFrame(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames) {
    const Rect r = GetPortRect(dst);
    GWorldPtr mask = AllocateRectGWorld(r), layer = AllocateRectGWorld(r);
    ClearGW(mask, RGBColor{0, 0, 0});
    config.TheMask = mask;
    SetupAlphaScalar(&config, frame, frames);
    config.TheMask = nullptr;
    switch (config.Which) {
        case 1: ClearGW(layer, config.Colors[1]); break;
        case 2:
            Source2Target(dst, layer);
            ClearGW(dst, config.Colors[1]);
            break;
        default:
            if (src)
                Source2Target(src, layer);
            else
                SetPixMapPixels(layer, r, 0, 0, 0);
            break;
    }
    for (int y = 0; y < r.bottom; y++) {
        AlphaFromRedRowScalar(&At(mask, 0, y), &At(layer, 0, y), r.right, false, true);
        CGOverRowScalar(reinterpret_cast<const uint8_t*>(&At(layer, 0, y)), reinterpret_cast<uint8_t*>(&At(dst, 0, y)),
                        r.right, 255);
    }
    DisposeGWorld(mask);
    DisposeGWorld(layer);
}

struct FrameCase {
    int w, h;
};
class WholeFrame : public ::testing::TestWithParam<FrameCase> {};
TEST_P(WholeFrame, MatchesThePlainStepsExactly) {
    const FrameCase c = GetParam();
    const uint32_t seed = uint32_t(c.w * 7919 + c.h);
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    for (int trial = 0; trial < 6; trial++) {
        Scene s(1 + int(rng() % 100), 1 + int(rng() % 100), 0, 0);
        for (int x = 1; x <= 100; x++)
            for (int y = 1; y <= 100; y++) {
                const int32_t st = int32_t(rng() % 30);
                (*s.field)[x][y] = RectDesc{st, st + int32_t(rng() % 20)};
            }
        s.config.Which = int16_t(1 + trial % 3);
        if (trial >= 3) s.config.StartRel = RelRect{0.13, 0.71, 0.05, 0.9};
        const bool noSource = trial == 5 && c.w < 100;  // clip B missing: a transparent layer
        GWorldPtr src = PaddedGW(c.w, c.h), dst = PaddedGW(c.w, c.h);
        FillRandom(src, rng);
        FillRandom(dst, rng);
        GWorldPtr want = AllocateGWorld(int16_t(c.w), int16_t(c.h)), srcBefore = AllocateGWorld(int16_t(c.w), int16_t(c.h));
        Source2Target(dst, want);
        Source2Target(src, srcBefore);
        const int32_t frame = int32_t(rng() % 50);
        ReferenceFrame(noSource ? nullptr : src, want, s.config, frame, 50);
        DoPixelEffect(noSource ? nullptr : src, dst, &s.config, frame, 50);
        for (int y = 0; y < c.h; y++)
            ASSERT_EQ(std::memcmp(&At(dst, 0, y), &At(want, 0, y), size_t(c.w) * 4), 0)
                << "trial " << trial << " Which " << s.config.Which << " row " << y;
        for (int y = 0; y < c.h; y++) ASSERT_EQ(std::memcmp(&At(src, 0, y), &At(srcBefore, 0, y), size_t(c.w) * 4), 0);
        EXPECT_TRUE(PaddingIntact(dst));
        EXPECT_TRUE(PaddingIntact(src));
        EXPECT_EQ(s.config.TheMask, nullptr);
        DisposeGWorld(src);
        DisposeGWorld(dst);
        DisposeGWorld(want);
        DisposeGWorld(srcBefore);
    }
}
// Small odd widths run on one thread; the large ones are split over the cores.
INSTANTIATE_TEST_SUITE_P(Sizes, WholeFrame,
                         ::testing::Values(FrameCase{1, 5}, FrameCase{3, 4}, FrameCase{17, 9}, FrameCase{64, 48},
                                           FrameCase{720, 480}, FrameCase{1301, 811}));

TEST(SetupAlpha, BandPaintingOnBothCoresMatchesOnePaintRectATile) {
    std::mt19937 rng(4242);
    for (int trial = 0; trial < 4; trial++) {
        const int w = 1201 + int(rng() % 200), h = 900 + int(rng() % 100);  // over a million pixels
        Scene s(1 + int(rng() % 100), 1 + int(rng() % 100), 0, 0);
        for (int x = 1; x <= 100; x++)
            for (int y = 1; y <= 100; y++) {
                const int32_t st = int32_t(rng() % 40);
                (*s.field)[x][y] = RectDesc{st, st + int32_t(rng() % 20)};
            }
        if (trial % 2) s.config.StartRel = RelRect{0.1, 0.8, 0.2, 0.9};
        GWorldPtr fast = PaddedGW(w, h), slow = PaddedGW(w, h);
        s.config.TheMask = fast;
        SetupAlpha(&s.config, 20, 40);
        s.config.TheMask = slow;
        SetupAlphaScalar(&s.config, 20, 40);
        for (int y = 0; y < h; y++)
            ASSERT_EQ(std::memcmp(&At(fast, 0, y), &At(slow, 0, y), size_t(w) * 4), 0) << "trial " << trial << " row " << y;
        EXPECT_TRUE(PaddingIntact(fast));
        DisposeGWorld(fast);
        DisposeGWorld(slow);
    }
}
}  // namespace
