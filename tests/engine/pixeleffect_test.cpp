#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
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
using testbuf::Buf;
using testbuf::cMarker;
constexpr int32_t cPad = 8;

void FillRandom(GWorldPtr gw, std::mt19937& rng) {
    const Rect b = GetPortRect(gw);
    for (int y = 0; y < b.bottom; y++)
        for (int x = 0; x < b.right; x++) At(gw, x, y) = PixRec{255, uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
}
// A copy of gw's pixels, for what it held before a call.
struct Copy : Buf {
    explicit Copy(GWorldPtr gw) : Buf(GetPortRect(gw).right, GetPortRect(gw).bottom) { Source2Target(gw, *this); }
};
bool SameRows(GWorldPtr a, GWorldPtr b) {
    const Rect r = GetPortRect(a);
    for (int y = 0; y < r.bottom; y++)
        if (std::memcmp(&At(a, 0, y), &At(b, 0, y), size_t(r.right) * 4) != 0) return false;
    return true;
}
// gw's foreground colour, set first if asked, with the current port left as it was.
RGBColor ForeColor(GWorldPtr gw, const RGBColor* set = nullptr) {
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(gw, nullptr);
    if (set) RGBForeColor(set);
    RGBColor c;
    GetForeColor(&c);
    SetGWorld(save, nullptr);
    return c;
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
    // Every tile starts below frame `starts` and runs for fewer than `lengths` frames.
    void Randomize(std::mt19937& rng, int starts, int lengths) {
        for (int x = 1; x <= 100; x++)
            for (int y = 1; y <= 100; y++) {
                const int32_t st = int32_t(rng() % uint32_t(starts));
                (*field)[x][y] = RectDesc{st, st + int32_t(rng() % uint32_t(lengths))};
            }
    }
};

// --- Tile progress ---
// A tile's schedule, and the alpha it shows at frames before, through and after it.
struct AlphaCase {
    int32_t s, e;
    std::vector<std::pair<int32_t, uint8_t>> alphas;
};
const AlphaCase kAlphas[] = {
    {10, 20, {{0, 0}, {10, 0}, {11, 25}, {15, 127}, {19, 229}, {20, 255}, {500, 255}}},
    {7, 8, {{7, 0}, {8, 255}}},  // one frame
    {7, 7, {{6, 0}, {7, 255}}},  // no frames: done from its start
    {INT32_MIN, INT32_MAX, {{0, 127}}},
};
class Progress : public ::testing::TestWithParam<AlphaCase> {};
TEST_P(Progress, FollowsTheTileSchedule) {
    for (auto [f, a] : GetParam().alphas) EXPECT_EQ(TileAlpha(f, GetParam().s, GetParam().e), a) << "frame " << f;
}
INSTANTIATE_TEST_SUITE_P(Table, Progress, ::testing::ValuesIn(kAlphas));

// --- What each variant shows, per tile state, inside and outside the active area ---
// Tiles run from frame 10 to 20: the frames, and the progress each shows.
struct ShowCase {
    int16_t Which;
    std::pair<int32_t, uint8_t> frames[4];
};
const ShowCase kShows[] = {
    {1, {{5, 0}, {25, 255}, {15, 127}, {12, 51}}},   // Dest to the colour
    {2, {{5, 0}, {25, 255}, {15, 127}, {18, 204}}},  // the colour to Dest
    {3, {{5, 0}, {25, 255}, {15, 127}, {11, 25}}},   // Dest to clip B
};
class Shows : public ::testing::TestWithParam<ShowCase> {};
TEST_P(Shows, TileMixesItsTwoStatesByItsProgress) {
    const ShowCase& c = GetParam();
    const PixRec col{255, 0x11, 0x88, 0xEE};
    for (auto [frame, progress] : c.frames)
        for (int w : {1, 3, 17, 40}) {
            std::mt19937 rng(uint32_t(w * 100 + frame));
            Scene s(4, 3, 10, 20);
            s.config.Which = c.Which;
            s.config.StartRel = RelRect{0, 0.5, 0, 1};  // left half active
            Buf src(w, 6, 0, cPad), dst(w, 6, 0, cPad);
            FillRandom(src, rng);
            FillRandom(dst, rng);
            const Copy before(dst), srcBefore(src);
            DoPixelEffect(c.Which == 3 ? src.gw : nullptr, dst, &s.config, frame, 30);
            const Rect active = Rel2Rect(s.config.StartRel, GetPortRect(dst));
            for (int y = 0; y < 6; y++)
                for (int x = 0; x < w; x++) {
                    const uint8_t a = x >= active.left && x < active.right ? progress : 0;
                    const PixRec d = At(before, x, y), sp = At(srcBefore, x, y), got = At(dst, x, y);
                    // The tile's two states: at a = 0 and at a = 255.
                    const PixRec p0 = c.Which == 2 ? col : d, p1 = c.Which == 1 ? col : (c.Which == 3 ? sp : d);
                    const uint8_t *g = &got.ALPHA, *lo = &p0.ALPHA, *hi = &p1.ALPHA;
                    for (int k = 1; k < 4; k++) {
                        const int want = int(std::lround(hi[k] * a / 255.0 + lo[k] * (1 - a / 255.0)));
                        EXPECT_LE(std::abs(g[k] - want), a == 0 || a == 255 ? 0 : 1)
                            << "frame " << frame << " w " << w << " at " << x << "," << y;
                    }
                }
            EXPECT_TRUE(dst.PaddingIntact() && src.PaddingIntact());
            EXPECT_TRUE(SameRows(src, srcBefore));
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
        Buf mask(c.wid, c.hig, 0, cPad);
        s.config.TheMask = mask;
        paint(&s.config, 5, 10);
        for (int py = 0; py < c.hig; py++)
            for (int px = 0; px < c.wid; px++) {
                const int x = ((px + 1) * c.W + c.wid - 1) / c.wid, y = ((py + 1) * c.H + c.hig - 1) / c.hig;
                ASSERT_EQ(mask.At(px, py).RED, (c.W - x + c.H - y) % 2 ? 0 : 255) << px << "," << py;
            }
        EXPECT_TRUE(mask.PaddingIntact());
    }
}
INSTANTIATE_TEST_SUITE_P(Sizes, TileEdgeMask,
                         ::testing::Values(EdgeCase{17, 2, 7, 1}, EdgeCase{720, 2, 39, 1}, EdgeCase{720, 2, 78, 1},
                                           EdgeCase{2, 480, 1, 11}, EdgeCase{2, 480, 1, 55},
                                           EdgeCase{2, 480, 1, 88}, EdgeCase{960, 3, 13, 2},
                                           EdgeCase{1920, 2, 44, 1}, EdgeCase{1280, 2, 77, 1},
                                           EdgeCase{960, 480, 26, 52}));

// Small frames on one thread, and frames over a million pixels shared over the cores.
TEST(SetupAlpha, BandPaintingMatchesOnePaintRectATile) {
    const struct {
        uint32_t seed;
        int trials, w, h, spreadW, spreadH, grid;
        bool wholeFrameToo;  // every other trial active over the whole frame
    } kinds[] = {{99, 20, 1, 1, 60, 40, 30, false}, {4242, 4, 1201, 900, 200, 100, 100, true}};
    for (const auto& k : kinds) {
        std::mt19937 rng(k.seed);
        for (int trial = 0; trial < k.trials; trial++) {
            const int w = k.w + int(rng() % uint32_t(k.spreadW)), h = k.h + int(rng() % uint32_t(k.spreadH));
            Scene s(1 + int(rng() % uint32_t(k.grid)), 1 + int(rng() % uint32_t(k.grid)), 0, 0);
            s.Randomize(rng, 40, 20);
            if (!k.wholeFrameToo || trial % 2) s.config.StartRel = RelRect{0.1, 0.8, 0.2, 0.9};
            Buf fast(w, h, 0, cPad), slow(w, h, 0, cPad);
            s.config.TheMask = fast;
            SetupAlpha(&s.config, 20, 40);
            s.config.TheMask = slow;
            SetupAlphaScalar(&s.config, 20, 40);
            ASSERT_TRUE(SameRows(fast, slow)) << "seed " << k.seed << " trial " << trial;
            EXPECT_TRUE(fast.PaddingIntact());
        }
    }
}

// --- Hostile grid sizes ---
class HostileGrid : public ::testing::TestWithParam<int16_t> {};
TEST_P(HostileGrid, IsHeldToTheField) {
    Scene s(GetParam(), GetParam(), 0, 10);
    s.config.Which = 3;
    Buf src(30, 20, PixRec{255, 255, 255, 255}), dst(30, 20);
    DoPixelEffect(src, dst, &s.config, 100, 10);
    EXPECT_EQ(dst.At(29, 19).RED, 255);
}
INSTANTIATE_TEST_SUITE_P(Values, HostileGrid, ::testing::Values(0, -5, 101, 32767, -32768));

// --- Invalid variants ---
class BadWhich : public ::testing::TestWithParam<int16_t> {};
TEST_P(BadWhich, DrawsTheErrorTextAndNothingElse) {
    std::mt19937 rng(7);
    Scene s(10, 10, 0, 1);
    s.config.Which = GetParam();
    Buf dst(400, 40, 0, cPad);
    FillRandom(dst, rng);
    const Copy before(dst);
    const RGBColor white{65535, 65535, 65535};
    ForeColor(dst, &white);
    DoPixelEffect(nullptr, dst, &s.config, 5, 10);
    int changed = 0;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 400; x++) {
            const bool diff = std::memcmp(&At(dst, x, y), &At(before, x, y), 4) != 0;
            const bool inText = x >= 20 && x < 20 + 48 * 6 && y >= 13 && y < 20;
            EXPECT_FALSE(diff && !inText) << x << "," << y;
            changed += diff;
        }
    EXPECT_GT(changed, 100);  // the text is there
    EXPECT_TRUE(dst.PaddingIntact());
}
INSTANTIATE_TEST_SUITE_P(Values, BadWhich, ::testing::Values(0, 4, -1));

TEST(PixelEffect, RestoresTheCurrentPortAndLeavesNoMask) {
    Scene s(3, 3, 0, 10);
    s.config.Which = 1;
    Buf dst(10, 10), other(2, 2);
    SetGWorld(other, nullptr);
    ThePixelEffect(nullptr, dst, Rect{}, true, &s.config, 5, 10);
    CGrafPtr now;
    GetGWorld(&now, nullptr);
    EXPECT_EQ(now, other.gw);
    EXPECT_EQ(s.config.TheMask, nullptr);
    ThePixelEffect(nullptr, nullptr, Rect{}, true, &s.config, 5, 10);  // no destination: nothing
    ThePixelEffect(nullptr, dst, Rect{}, true, nullptr, 5, 10);
    SetGWorld(nullptr, nullptr);
}

TEST(PixelEffect, CallPixelEffectUsesTheWorkspace) {
    Scene s(2, 2, 0, 10);
    s.config.Which = 1;
    gConfigWorkSpace.TheConfig = &s.config;
    gConfigWorkSpace.CurrFrameIndex = 10;
    gConfigWorkSpace.MaxFrameIndex = 10;
    Buf dst(8, 8);
    CallPixelEffect(nullptr, dst);
    EXPECT_EQ(dst.At(4, 4).GREEN, 0x88);
    gConfigWorkSpace = PluginWorkSpace{};
}

// A clip B of another size goes through the layer, whose buffers are then made.
TEST(PixelEffectDeathTest, AllocationFailuresAreReported) {
    Scene s(2, 2, 0, 10);
    s.config.Which = 3;
    Buf dst(8, 8), src(9, 8);
    ReleasePixelEffectBuffers();
    EXPECT_DEATH(
        {
            QDFailNextGWorlds(1);
            DoPixelEffect(src, dst, &s.config, 5, 10);
        },
        "Cannot allocate theMask in pixelEffect");
}
// --- The whole frame against the plain steps ---
// The frame as the plain steps make it: the mask cleared and painted one PaintRect a tile, the layer
// filled by Which, its alpha taken from the mask and premultiplied pixel by pixel, and the layer laid
// over the destination row by row with the plain source-over loop.
void ReferenceFrame(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames) {
    const Rect r = GetPortRect(dst);
    Buf mask(r.right, r.bottom), layer(r.right, r.bottom);
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
    const RowKernels& plain = *RowKernelsAt(RowLevel::Scalar);
    for (int y = 0; y < r.bottom; y++) {
        plain.AlphaFromRed(PixBytes(&mask.At(0, y)), PixBytes(&layer.At(0, y)), PixBytes(&layer.At(0, y)), r.right,
                           false, true, AlphaByte::First);
        plain.Over(PixBytes(&layer.At(0, y)), PixBytes(&At(dst, 0, y)), r.right, 255, AlphaByte::First);
    }
}

// The three ways ThePixelEffect composes a frame; each must give the plain steps' bytes.
const struct {
    const char* name;
    void (*way)(GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames);
} kWays[] = {
    {"tiles", [](GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t) {
         ASSERT_TRUE(ComposeByTiles(src, dst, &config, frame));
     }},
    {"layer", [](GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames) {
         ComposeThroughLayer(src, dst, &config, frame, frames);
     }},
    {"effect", [](GWorldPtr src, GWorldPtr dst, PluginDataRec& config, int32_t frame, int32_t frames) {
         DoPixelEffect(src, dst, &config, frame, frames);
     }},
};

// Renders one frame each way from the same inputs and compares it with ReferenceFrame byte for byte,
// with the padding, clip B and Dest's foreground colour.
void ExpectEveryWayMatches(int w, int h, PluginDataRec& config, int32_t frame, int32_t frames, bool noSource,
                           std::mt19937& rng, const std::string& what) {
    Buf src(w, h, 0, 3 * cPad), dst0(w, h);  // rows of clip B further apart
    FillRandom(src, rng);
    FillRandom(dst0, rng);
    // Alpha bytes that are not 255, in both clips.
    for (int y = 0; y < h; y += 3) src.At((y * 7) % w, y).ALPHA = uint8_t(rng());
    for (int y = 1; y < h; y += 3) dst0.At((y * 5) % w, y).ALPHA = uint8_t(rng());
    Copy want(dst0);
    const Copy srcBefore(src);
    const RGBColor pen{0x1234, 0x5678, 0x9ABC};
    ForeColor(want, &pen);
    ReferenceFrame(noSource ? nullptr : src.gw, want, config, frame, frames);
    for (const auto& way : kWays) {
        Buf dst(w, h, 0, cPad);
        Source2Target(dst0, dst);
        ForeColor(dst, &pen);
        way.way(noSource ? nullptr : src.gw, dst, config, frame, frames);
        ASSERT_TRUE(SameRows(dst, want)) << what << ", " << way.name;
        ASSERT_TRUE(SameRows(src, srcBefore)) << what << ", " << way.name;
        EXPECT_TRUE(dst.PaddingIntact() && src.PaddingIntact()) << what << ", " << way.name;
        EXPECT_EQ(ForeColor(dst), ForeColor(want)) << what << ", " << way.name;
        EXPECT_EQ(config.TheMask, nullptr);
    }
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
        s.Randomize(rng, 30, 20);
        s.config.Which = int16_t(1 + trial % 3);
        s.config.StartRel = kActives[trial / 2 % std::size(kActives)];
        const bool noSource = trial == 5 && c.w < 100;  // clip B missing: a transparent layer
        // Frame 0: nothing started; 50: everything done.
        const int32_t frame = trial == 6 ? 0 : (trial == 7 ? 50 : int32_t(rng() % 50));
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
    Buf src(c.srcW, 30, 0, cPad), dst(40, 30, 0, cPad);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    Copy want(dst);
    const Copy before(dst);
    for (GWorldPtr gw : {dst.gw, want.gw}) {
        SetGWorld(gw, nullptr);
        ClipRect(&c.clip);
    }
    SetGWorld(nullptr, nullptr);
    ASSERT_EQ(ComposeByTiles(src, dst, &s.config, 7), c.byTiles) << c.what;
    if (!c.byTiles) {
        ASSERT_TRUE(SameRows(dst, before)) << c.what;
        DoPixelEffect(src, dst, &s.config, 7, 20);
    }
    ComposeThroughLayer(src, want, &s.config, 7, 20);
    ASSERT_TRUE(SameRows(dst, want)) << c.what;
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
    s.Randomize(rng, 20, 10);
    s.config.Which = 3;
    s.config.StartRel = RelRect{0.1, 0.9, 0.2, 0.8};
    Buf src(c.w, c.h, rng(), cPad), dst(c.w, c.h, rng(), cPad);
    auto alphaLast = [](const Buf& gw) {
        std::vector<uint8_t> v = gw.Pixels();
        for (size_t i = 0; i < v.size(); i += 4) std::rotate(&v[i], &v[i + 1], &v[i + 4]);
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
}
INSTANTIATE_TEST_SUITE_P(Sizes, HostOrder,
                         ::testing::Values(HostCase{1, 7, 3, 2}, HostCase{3, 5, 2, 4}, HostCase{17, 9, 5, 3},
                                           HostCase{67, 23, 9, 4}, HostCase{1030, 1020, 37, 23}));

}  // namespace
