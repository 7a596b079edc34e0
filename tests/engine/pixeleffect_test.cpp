#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/callpixelfx.h"
#include "engine/fixedrandom.h"
#include "engine/maskgenerators.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/TestBuffers.h"
#include "imaging/commonprocs.h"
#include "platform/CoreGraphics.h"

namespace {
using testbuf::At;
using testbuf::cMarker;
using testbuf::PaddingIntact;
constexpr int32_t cPad = 8;

// Locked as the engine's own buffers; disposed by the test.
GWorldPtr PaddedGW(int w, int h, int pad = cPad) {
    GWorldPtr gw = testbuf::NewPaddedGWorld(w, h, pad);
    LockGWorld(gw);
    return gw;
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
    {0, 10, 20, 0},
    {10, 10, 20, 0},
    {11, 10, 20, 25},
    {15, 10, 20, 127},
    {19, 10, 20, 229},
    {20, 10, 20, 255},
    {500, 10, 20, 255},
    {7, 7, 8, 0},
    {8, 7, 8, 255},
    {6, 7, 7, 0},
    {7, 7, 7, 255},
    {0, INT32_MIN, INT32_MAX, 127},
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
    {1, 5, 0},
    {1, 25, 255},
    {1, 15, 127},
    {1, 12, 51},
    {2, 5, 0},
    {2, 25, 255},
    {2, 15, 127},
    {2, 18, 204},
    {3, 5, 0},
    {3, 25, 255},
    {3, 15, 127},
    {3, 11, 25},
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

// A clip B of another size goes through the layer, whose buffers are then made.
TEST(PixelEffectDeathTest, AllocationFailuresAreReported) {
    Scene s(2, 2, 0, 10);
    s.config.Which = 3;
    GWorldPtr dst = AllocateGWorld(8, 8), src = AllocateGWorld(9, 8);
    ReleasePixelEffectBuffers();
    EXPECT_DEATH(
        {
            QDFailNextGWorlds(1);
            DoPixelEffect(src, dst, &s.config, 5, 10);
        },
        "Cannot allocate theMask in pixelEffect");
    DisposeGWorld(dst);
    DisposeGWorld(src);
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
        const RowKernels& plain = *RowKernelsAt(RowLevel::Scalar);
        plain.AlphaFromRed(PixBytes(&At(mask, 0, y)), PixBytes(&At(layer, 0, y)), PixBytes(&At(layer, 0, y)), r.right,
                           false, true, AlphaByte::First);
        plain.Over(PixBytes(&At(layer, 0, y)), PixBytes(&At(dst, 0, y)), r.right, 255, AlphaByte::First);
    }
    DisposeGWorld(mask);
    DisposeGWorld(layer);
}

// The two ways ThePixelEffect composes a frame; each must give the plain steps' bytes.
using Way = void (*)(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames);
void ByTiles(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t) {
    ASSERT_TRUE(ComposeByTiles(src, dst, &config, frame));
}
void ThroughLayer(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames) {
    ComposeThroughLayer(src, dst, &config, frame, frames);
}
void ThroughEffect(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames) {
    DoPixelEffect(src, dst, &config, frame, frames);
}
struct NamedWay {
    const char* name;
    Way way;
};
const NamedWay kWays[] = {{"tiles", ByTiles}, {"layer", ThroughLayer}, {"effect", ThroughEffect}};

RGBColor ForeColorOf(GWorldPtr gw) {
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(gw, nullptr);
    RGBColor c;
    GetForeColor(&c);
    SetGWorld(save, nullptr);
    return c;
}
void SetForeColorOf(GWorldPtr gw, RGBColor c) {
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(gw, nullptr);
    RGBForeColor(&c);
    SetGWorld(save, nullptr);
}

// Renders one frame each way from the same inputs and compares it with ReferenceFrame byte for byte,
// with the padding, clip B and Dest's foreground colour.
void ExpectEveryWayMatches(int w, int h, PluginDataRec& config, int32_t frame, int32_t frames, bool noSource,
                           std::mt19937& rng, const std::string& what) {
    GWorldPtr src = PaddedGW(w, h, 3 * cPad), dst0 = PaddedGW(w, h);  // rows of clip B further apart
    FillRandom(src, rng);
    FillRandom(dst0, rng);
    // Alpha bytes that are not 255, in both clips.
    for (int y = 0; y < h; y += 3) At(src, (y * 7) % w, y).ALPHA = uint8_t(rng());
    for (int y = 1; y < h; y += 3) At(dst0, (y * 5) % w, y).ALPHA = uint8_t(rng());
    GWorldPtr want = AllocateGWorld(int16_t(w), int16_t(h)), srcBefore = AllocateGWorld(int16_t(w), int16_t(h));
    Source2Target(dst0, want);
    Source2Target(src, srcBefore);
    const RGBColor pen{0x1234, 0x5678, 0x9ABC};
    SetForeColorOf(want, pen);
    ReferenceFrame(noSource ? nullptr : src, want, config, frame, frames);
    for (const NamedWay& way : kWays) {
        GWorldPtr dst = PaddedGW(w, h);
        Source2Target(dst0, dst);
        SetForeColorOf(dst, pen);
        way.way(noSource ? nullptr : src, dst, config, frame, frames);
        for (int y = 0; y < h; y++)
            ASSERT_EQ(std::memcmp(&At(dst, 0, y), &At(want, 0, y), size_t(w) * 4), 0)
                << what << ", " << way.name << ", row " << y;
        for (int y = 0; y < h; y++) ASSERT_EQ(std::memcmp(&At(src, 0, y), &At(srcBefore, 0, y), size_t(w) * 4), 0);
        EXPECT_TRUE(PaddingIntact(dst)) << what << ", " << way.name;
        EXPECT_TRUE(PaddingIntact(src));
        EXPECT_EQ(ForeColorOf(dst), ForeColorOf(want)) << what << ", " << way.name;
        EXPECT_EQ(config.TheMask, nullptr);
        DisposeGWorld(dst);
    }
    DisposeGWorld(src);
    DisposeGWorld(dst0);
    DisposeGWorld(want);
    DisposeGWorld(srcBefore);
}

// Active areas: the frame, a part, one reaching past the edges, an empty one.
const RelRect kActives[] = {{0, 1, 0, 1}, {0.13, 0.71, 0.05, 0.9}, {-0.3, 0.4, 0.6, 1.7}, {0.5, 0.5, 0.2, 0.8}};

struct FrameCase {
    int w, h;
};
class WholeFrame : public ::testing::TestWithParam<FrameCase> {};
TEST_P(WholeFrame, MatchesThePlainStepsExactly) {
    const FrameCase c = GetParam();
    const uint32_t seed = uint32_t(c.w * 7919 + c.h);
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    for (int trial = 0; trial < 8; trial++) {
        Scene s(1 + int(rng() % 100), 1 + int(rng() % 100), 0, 0);
        for (int x = 1; x <= 100; x++)
            for (int y = 1; y <= 100; y++) {
                const int32_t st = int32_t(rng() % 30);
                (*s.field)[x][y] = RectDesc{st, st + int32_t(rng() % 20)};
            }
        s.config.Which = int16_t(1 + trial % 3);
        s.config.StartRel = kActives[trial / 2 % std::size(kActives)];
        const bool noSource = trial == 5 && c.w < 100;  // clip B missing: a transparent layer
        // Frame 0: nothing started; 50: everything done.
        const int32_t frame = trial == 6 ? 0 : trial == 7 ? 50
                                                          : int32_t(rng() % 50);
        ExpectEveryWayMatches(c.w, c.h, s.config, frame, 50, noSource, rng,
                              "trial " + std::to_string(trial) + " Which " + std::to_string(s.config.Which));
    }
}
// Small odd widths run on one thread; the large ones are split over the cores.
INSTANTIATE_TEST_SUITE_P(Sizes, WholeFrame,
                         ::testing::Values(FrameCase{1, 5}, FrameCase{3, 4}, FrameCase{17, 9}, FrameCase{64, 48},
                                           FrameCase{720, 480}, FrameCase{1301, 811}));

// Every ordering laid out by InitRectangles, early, halfway and late, each variant in turn.
class EveryMethod : public ::testing::TestWithParam<int16_t> {};
TEST_P(EveryMethod, MatchesThePlainStepsExactly) {
    const int16_t method = GetParam();
    const uint32_t seed = uint32_t(method);
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    FInitRandom();
    Scene s(1 + int(rng() % 40), 1 + int(rng() % 40), 0, 0);
    s.config.Method = method;
    s.config.Sliders[3] = int16_t(rng() % 101);
    s.config.RandomizedDuration = method % 2;
    s.config.StartRel = kActives[method % 3];
    const int w = 97, h = 61;
    InitRectangles(&s.config, 40, Rect{0, 0, int16_t(h), int16_t(w)});
    for (int32_t frame : {3, 20, 37}) {
        s.config.Which = int16_t(1 + (method + frame) % 3);
        ExpectEveryWayMatches(w, h, s.config, frame, 40, false, rng,
                              "method " + std::to_string(method) + " frame " + std::to_string(frame));
    }
}
INSTANTIATE_TEST_SUITE_P(Methods, EveryMethod, ::testing::Range(int16_t(1), int16_t(42)));

// Which way a frame takes: what ComposeByTiles leaves to the layer it does not write at all, and
// the effect then gives the layer's bytes; what it takes gives them too. A clip on Dest matters
// only where Dest is filled with the colour (Which 2); the layer is drawn over Dest unclipped.
struct WayCase {
    const char* what;
    int16_t Which;
    int srcW;   // clip B's width; the frame is 40 x 30
    Rect clip;  // Dest's clip
    bool byTiles;
};
constexpr Rect cOpenClip{-32768, -32768, 32767, 32767};
const WayCase kWayCases[] = {
    {"clip B of another size", 3, 39, cOpenClip, false},
    {"Which 2 clipped", 2, 40, Rect{0, 0, 30, 39}, false},
    {"Which 0", 0, 40, cOpenClip, false},
    {"Which 4", 4, 40, cOpenClip, false},
    {"Which 1 clipped", 1, 40, Rect{0, 0, 30, 39}, true},
    {"Which 3 clipped", 3, 40, Rect{2, 3, 20, 39}, true},
};
class WayTaken : public ::testing::TestWithParam<WayCase> {};
TEST_P(WayTaken, GivesTheLayersBytes) {
    const WayCase c = GetParam();
    std::mt19937 rng(31);
    Scene s(7, 5, 0, 0);
    for (int x = 1; x <= 7; x++)
        for (int y = 1; y <= 5; y++) (*s.field)[x][y] = RectDesc{x + y, x + y + 4};
    s.config.Which = c.Which;
    GWorldPtr src = PaddedGW(c.srcW, 30), dst = PaddedGW(40, 30), want = PaddedGW(40, 30), before = PaddedGW(40, 30);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    Source2Target(dst, want);
    Source2Target(dst, before);
    for (GWorldPtr gw : {dst, want}) {
        SetGWorld(gw, nullptr);
        ClipRect(&c.clip);
    }
    SetGWorld(nullptr, nullptr);
    ASSERT_EQ(ComposeByTiles(src, dst, &s.config, 7), c.byTiles) << c.what;
    if (!c.byTiles) {
        for (int y = 0; y < 30; y++) ASSERT_EQ(std::memcmp(&At(dst, 0, y), &At(before, 0, y), 160), 0) << c.what;
        DoPixelEffect(src, dst, &s.config, 7, 20);
    }
    ComposeThroughLayer(src, want, &s.config, 7, 20);
    for (int y = 0; y < 30; y++) ASSERT_EQ(std::memcmp(&At(dst, 0, y), &At(want, 0, y), 160), 0) << c.what;
    for (GWorldPtr gw : {src, dst, want, before}) DisposeGWorld(gw);
}
INSTANTIATE_TEST_SUITE_P(Cases, WayTaken, ::testing::ValuesIn(kWayCases));

// What the tiles rely on: at a = 0 the two row kernels leave the pixel under the layer as it was,
// at a = 255 they put the picture in with alpha 255, for every byte value in every channel, at
// every level.
TEST(TileEnds, RowKernelsLeaveOrReplaceThePixelExactly) {
    constexpr int n = 256;
    std::vector<PixRec> picture(n), under(n), opaque(n), layer(n);
    for (int i = 0; i < n; i++) {
        // Odd factors: each channel runs through all 256 values.
        picture[size_t(i)] = PixRec{uint8_t(i * 7), uint8_t(i), uint8_t(255 - i), uint8_t(i * 13)};
        under[size_t(i)] = PixRec{uint8_t(i), uint8_t(i * 3), uint8_t(i * 11), uint8_t(255 - i)};
        opaque[size_t(i)] = PixRec{255, uint8_t(i), uint8_t(255 - i), uint8_t(i * 13)};
    }
    for (int level = 0; level <= int(BestRowLevel()); level++) {
        const RowKernels& rows = *RowKernelsAt(RowLevel(level));
        for (uint8_t a : {uint8_t(0), uint8_t(255)}) {
            const std::vector<PixRec> mask(n, PixRec{255, a, a, a});
            std::vector<PixRec> d = under;
            rows.AlphaFromRed(PixBytes(mask.data()), PixBytes(picture.data()), PixBytes(layer.data()), n, false, true,
                              AlphaByte::First);
            rows.Over(PixBytes(layer.data()), PixBytes(d.data()), n, 255, AlphaByte::First);
            const std::vector<PixRec>& expect = a == 0 ? under : opaque;
            for (int i = 0; i < n; i++)
                ASSERT_EQ(std::memcmp(&d[size_t(i)], &expect[size_t(i)], 4), 0)
                    << RowLevelName(RowLevel(level)) << " a " << int(a) << " i " << i;
        }
    }
}

// The tiles composed on pixels whose alpha comes last (into a third buffer, or into the Source
// itself) give ComposeByTiles's bytes on the same pixels in the engine's order. Inputs of any
// alpha, an active area inside the frame, and a frame large enough to be shared over the cores.
struct HostCase {
    int w, h, cols, rows;
};
class HostOrder : public ::testing::TestWithParam<HostCase> {};
TEST_P(HostOrder, GivesTheEngineOrderBytes) {
    const HostCase c = GetParam();
    std::mt19937 rng(uint32_t(c.w * 100 + c.h));
    Scene s(c.cols, c.rows, 0, 0);
    for (int x = 1; x <= c.cols; x++)
        for (int y = 1; y <= c.rows; y++) {
            const int32_t start = int32_t(rng() % 20);
            (*s.field)[x][y] = RectDesc{start, start + int32_t(rng() % 10)};
        }
    s.config.Which = 3;
    s.config.StartRel = RelRect{0.1, 0.9, 0.2, 0.8};
    GWorldPtr src = PaddedGW(c.w, c.h), dst = PaddedGW(c.w, c.h);
    for (GWorldPtr gw : {src, dst})
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++)
                At(gw, x, y) = PixRec{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    auto alphaLast = [&](GWorldPtr gw) {
        std::vector<uint8_t> v;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                const PixRec p = At(gw, x, y);
                v.insert(v.end(), {p.RED, p.GREEN, p.BLUE, p.ALPHA});
            }
        return v;
    };
    const std::vector<uint8_t> under = alphaLast(dst), source = alphaLast(src);
    ASSERT_TRUE(ComposeByTiles(src, dst, &s.config, 12));
    const std::vector<uint8_t> expected = alphaLast(dst);
    std::vector<uint8_t> out(under.size(), cMarker), intoSource = source;
    ComposeClipsByTiles(under.data(), source.data(), out.data(), c.w * 4, int16_t(c.w), int16_t(c.h), AlphaByte::Last,
                        s.config, 12);
    ComposeClipsByTiles(under.data(), intoSource.data(), intoSource.data(), c.w * 4, int16_t(c.w), int16_t(c.h),
                        AlphaByte::Last, s.config, 12);
    EXPECT_TRUE(out == expected);
    EXPECT_TRUE(intoSource == expected);
    DisposeGWorld(src);
    DisposeGWorld(dst);
}
INSTANTIATE_TEST_SUITE_P(Sizes, HostOrder,
                         ::testing::Values(HostCase{1, 7, 3, 2}, HostCase{3, 5, 2, 4}, HostCase{17, 9, 5, 3},
                                           HostCase{67, 23, 9, 4}, HostCase{1030, 1020, 37, 23}));

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
