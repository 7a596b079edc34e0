#include "imaging/ImageOps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/TestBuffers.h"

namespace {
constexpr uint32_t kSeed = 20240613;  // replay: the same seed gives the same buffers
using testbuf::Buf;
using testbuf::Same;

// --- The operations ---
constexpr Rect kAll = {-100, -100, 3000, 3000};
using Run3 = std::function<void(GWorldPtr, GWorldPtr, GWorldPtr)>;
using Run2 = std::function<void(GWorldPtr, GWorldPtr)>;

// Two sources, one result pixel: the documented arithmetic on p1 = {10, 200, 100, 0} and
// p2 = {128, 100, 150, 0}.
const struct {
    const char* name;
    Run3 run;
    PixRec result;
} kArithmetic[] = {
    {"Add saturates", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { AddGWorlds(a, b, d, kAll, false, false, false, false); }, {10, 255, 250, 0}},
    {"Add normalised", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { AddGWorlds(a, b, d, kAll, true, false, false, false); }, {10, 150, 125, 0}},
    // w = 128 / 255 from Source2: trunc(200 w) + trunc(100 (1 - w)) = 100 + 49.
    {"Add by alpha", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { AddGWorlds(a, b, d, kAll, true, true, false, false); }, {10, 149, 124, 0}},
    {"Add by Source1's inverted alpha", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { AddGWorlds(a, b, d, kAll, true, true, true, true); }, {10, 195, 101, 0}},
    {"Weighted", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { AddWeightedGWorlds(a, b, d, 1, 3, kAll); }, {10, 125, 137, 0}},
    {"Negative weight held at 0", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { AddWeightedGWorlds(a, b, d, -2, 3, kAll); }, {10, 0, 250, 0}},
    {"Subtract", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { SubtractGWorlds(a, b, d, kAll, false, false, false, false, 0, 0); }, {10, 100, 0, 0}},
    {"Difference", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { SubtractGWorlds(a, b, d, kAll, true, false, false, false, 0, 0); }, {10, 100, 50, 0}},
    {"Threshold", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { SubtractGWorlds(a, b, d, kAll, true, false, false, false, 0, 0.3); }, {10, 100, 0, 0}},
    {"Amplified", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { SubtractGWorlds(a, b, d, kAll, true, false, false, false, 1.5, 0); }, {10, 150, 75, 0}},
    {"Amplified and held", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { SubtractGWorlds(a, b, d, kAll, true, false, false, false, 3, 0); }, {10, 255, 150, 0}},
    {"Multiply", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { MultiplyGWorlds(a, b, d, kAll); }, {10, 78, 58, 0}},
    {"Divide", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { DivideGWorlds(a, b, d, kAll); }, {10, 2, 0, 255}},
    // f = (300 / 3) / 255 from Source1.
    {"Brighten", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { BrightenGWByGW(a, b, d, false, kAll); }, {10, 139, 208, 0}},
    {"Darken", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { DarkenGWByGW(a, b, d, false, kAll); }, {10, 60, 91, 0}},
    {"Darken inverted", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) { DarkenGWByGW(a, b, d, true, kAll); }, {10, 39, 58, 0}},
};

// One source: what becomes of an old pixel {1, 100, 100, 100} under a dark and a light one.
const PixRec kDark{7, 10, 20, 30}, kLight{9, 200, 210, 220}, kOld{1, 100, 100, 100};
const struct {
    const char* name;
    Run2 run;
    PixRec fromDark, fromLight;
} kOneSource[] = {
    {"Copy", [](GWorldPtr s, GWorldPtr d) { CopyPartOfGWorlds(s, d, kAll); }, kDark, kLight},
    {"Invert", [](GWorldPtr s, GWorldPtr d) { InvertGWorlds(s, d, kAll); }, {7, 245, 235, 225}, {9, 55, 45, 35}},
    {"Trigger above", [](GWorldPtr s, GWorldPtr d) { TriggerInvertGWorlds(s, d, 100, true, kAll); }, kDark, {9, 55, 45, 35}},
    {"Trigger below", [](GWorldPtr s, GWorldPtr d) { TriggerInvertGWorlds(s, d, 100, false, kAll); }, {7, 245, 235, 225}, kLight},
    {"Trigger negative", [](GWorldPtr s, GWorldPtr d) { TriggerInvertGWorlds(s, d, -1, false, kAll); }, kDark, kLight},
    {"Blit 0 %", [](GWorldPtr s, GWorldPtr d) { AlphaBlit2(s, d, kAll, 0, false); }, kOld, kOld},
    {"Blit 100 %", [](GWorldPtr s, GWorldPtr d) { AlphaBlit2(s, d, kAll, 100, false); }, kDark, kLight},
    // trunc(10 x 0.25 + 100 x 0.75) = 77, with the source's alpha.
    {"Blit 25 %", [](GWorldPtr s, GWorldPtr d) { AlphaBlit2(s, d, kAll, 25, false); }, {7, 77, 80, 82}, {9, 125, 127, 130}},
};

// Every operation, with its argument buffers: both tables above and the rest.
std::vector<std::pair<std::string, Run3>> AllOps() {
    std::vector<std::pair<std::string, Run3>> ops = {
        {"Swap", [](GWorldPtr a, GWorldPtr, GWorldPtr d) { SwapPartOfGWorlds(a, d, kAll); }},
        {"Blit copying the rest", [](GWorldPtr a, GWorldPtr, GWorldPtr d) { AlphaBlit2(a, d, Rect{1, 1, 2, 2}, 50, true); }},
        {"Roll", [](GWorldPtr a, GWorldPtr, GWorldPtr d) { RollGWorlds(a, d, kAll, 1, 1, true); }},
        {"Distort", [](GWorldPtr a, GWorldPtr, GWorldPtr d) {
             DistortGWorlds(a, d, Rect{0, 0, 4, 4}, Point{0, 0}, Point{0, 3}, Point{3, 0}, Point{3, 3}, false);
         }},
        {"Average", [](GWorldPtr a, GWorldPtr b, GWorldPtr d) {
             GWorldList list{nullptr, a, b};
             AverageGWorlds(list, d, 2, kAll);
         }},
    };
    for (const auto& c : kArithmetic) ops.push_back({c.name, c.run});
    for (const auto& c : kOneSource) ops.push_back({c.name, [run = c.run](GWorldPtr a, GWorldPtr, GWorldPtr d) { run(a, d); }});
    return ops;
}

TEST(ImageOps, BuffersOfDifferentSizesOrAbsentOnesChangeNothing) {
    const struct {
        int aw, ah, bw, bh, dw, dh;
        bool absent;
    } shapes[] = {{5, 4, 5, 4, 6, 4, false}, {5, 4, 5, 3, 5, 3, false}, {5, 4, 4, 4, 4, 4, false}, {5, 4, 5, 4, 5, 4, true}};
    for (const auto& [name, run] : AllOps())
        for (const auto& s : shapes) {
            Buf a(s.aw, s.ah, kSeed), b(s.bw, s.bh, kSeed + 1), d(s.dw, s.dh, kSeed + 2);
            const auto a0 = a.Bytes(), b0 = b.Bytes(), d0 = d.Bytes();
            run(s.absent ? nullptr : a.gw, b.gw, d.gw);
            EXPECT_TRUE(a.Bytes() == a0 && b.Bytes() == b0 && d.Bytes() == d0) << name << " " << s.dw << "x" << s.dh;
        }
}

TEST(ImageOps, EveryOperationKeepsPaddingInputsAndPixelState) {
    for (const auto& [name, run] : AllOps()) {
        Buf a(7, 5, kSeed), b(7, 5, kSeed + 1), d(7, 5, kSeed + 2);
        const auto a0 = a.Bytes(), b0 = b.Bytes();
        const GWorldFlags state = GetPixelsState(GetGWorldPixMap(d.gw));
        run(a.gw, b.gw, d.gw);
        EXPECT_TRUE(a.PaddingIntact() && b.PaddingIntact() && d.PaddingIntact()) << name;
        EXPECT_TRUE(name == "Swap" || a.Bytes() == a0) << name;
        EXPECT_EQ(b.Bytes(), b0) << name;
        EXPECT_EQ(GetPixelsState(GetGWorldPixMap(d.gw)), state) << name;
    }
}

TEST(ImageOps, ChannelArithmetic) {
    for (const auto& c : kArithmetic) {
        Buf a(5, 2), b(5, 2), d(5, 2, kSeed);
        a.Fill({10, 200, 100, 0}), b.Fill({128, 100, 150, 0});
        c.run(a.gw, b.gw, d.gw);
        const PixRec r = d.At(4, 1);
        EXPECT_TRUE(Same(r, c.result)) << c.name << ": " << int(r.ALPHA) << " " << int(r.RED) << " " << int(r.GREEN)
                                       << " " << int(r.BLUE);
    }
}

TEST(ImageOps, OneSourceOperations) {
    for (const auto& c : kOneSource) {
        Buf s(5, 2), d(5, 2);
        s.At(0, 0) = kDark, s.At(4, 1) = kLight;
        d.Fill(kOld);
        c.run(s.gw, d.gw);
        EXPECT_TRUE(Same(d.At(0, 0), c.fromDark)) << c.name;
        EXPECT_TRUE(Same(d.At(4, 1), c.fromLight)) << c.name;
    }
}

TEST(ImageOps, ZeroWeightSumIsRefused) {
    Buf a(3, 3, kSeed), b(3, 3, kSeed + 1), d(3, 3, kSeed + 2);
    const auto d0 = d.Bytes();
    AddWeightedGWorlds(a.gw, b.gw, d.gw, 5, -5, kAll);
    EXPECT_EQ(d.Bytes(), d0);
}

TEST(ImageOps, OnlyTheActiveRectChanges) {
    Buf a(6, 5, kSeed), b(6, 5, kSeed + 1), d(6, 5, kSeed + 2);
    Buf d0(6, 5, kSeed + 2);
    AddGWorlds(a.gw, b.gw, d.gw, Rect{1, 2, 3, 5}, false, false, false, false);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 6; x++) {
            const bool inside = y >= 1 && y < 3 && x >= 2 && x < 5;
            EXPECT_EQ(Same(d.At(x, y), d0.At(x, y)), !inside) << x << "," << y;
        }
}

TEST(ImageOps, AlphaBlitCopiesTheRestOnlyWhenAsked) {
    for (bool copyRest : {false, true}) {
        Buf s(6, 4, kSeed), d(6, 4, kSeed + 1), d0(6, 4, kSeed + 1);
        AlphaBlit2(s.gw, d.gw, Rect{1, 1, 3, 4}, 0, copyRest);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 6; x++) {
                const bool inside = y >= 1 && y < 3 && x >= 1 && x < 4;
                const PixRec& expected = (!inside && copyRest) ? s.At(x, y) : d0.At(x, y);
                EXPECT_TRUE(Same(d.At(x, y), expected)) << copyRest << " " << x << "," << y;
            }
        EXPECT_TRUE(d.PaddingIntact());
    }
}

TEST(ImageOps, SwapExchangesTheRectangle) {
    Buf a(4, 3, kSeed), b(4, 3, kSeed + 1), a0(4, 3, kSeed), b0(4, 3, kSeed + 1);
    SwapPartOfGWorlds(a.gw, b.gw, Rect{0, 1, 2, 3});
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++) {
            const bool inside = y < 2 && x >= 1 && x < 3;
            EXPECT_TRUE(Same(a.At(x, y), inside ? b0.At(x, y) : a0.At(x, y)));
            EXPECT_TRUE(Same(b.At(x, y), inside ? a0.At(x, y) : b0.At(x, y)));
        }
}

// Where pixel (x, y) of the rectangle (1, 1)-(5, 4) of a 6 x 5 buffer lands.
TEST(ImageOps, RollWrapsOrDrops) {
    const struct {
        int16_t h, v;
        bool roll;
    } cases[] = {{1, 0, true}, {-1, 2, true}, {9, -7, true}, {2, 1, false}, {-5, 0, false}, {0, 0, false}};
    const Rect r{1, 1, 4, 5};
    for (const auto& c : cases) {
        Buf s(6, 5, kSeed), d(6, 5), d0(6, 5);
        RollGWorlds(s.gw, d.gw, r, c.h, c.v, c.roll);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 6; x++) {
                // The source pixel that belongs at (x, y), if any.
                int sx = x - c.h, sy = y - c.v;
                bool has = x >= 1 && x < 5 && y >= 1 && y < 4;
                if (c.roll) {
                    sx = 1 + ((sx - 1) % 4 + 4) % 4, sy = 1 + ((sy - 1) % 3 + 3) % 3;
                } else {
                    has = has && sx >= 1 && sx < 5 && sy >= 1 && sy < 4;
                }
                EXPECT_TRUE(Same(d.At(x, y), has ? s.At(sx, sy) : d0.At(x, y)))
                    << c.h << "," << c.v << " at " << x << "," << y;
            }
        EXPECT_TRUE(d.PaddingIntact());
    }
    Buf same(4, 4, kSeed);
    const auto before = same.Bytes();
    RollGWorlds(same.gw, same.gw, kAll, 1, 1, true);
    EXPECT_EQ(same.Bytes(), before) << "one buffer as both is refused";
}

TEST(ImageOps, CalcNewCoordsMapsCornersAndRefusesEmptyRects) {
    const Rect r{10, 20, 30, 60};  // 40 wide, 20 high
    const Point TL{0, 0}, TR{0, 100}, BL{50, 0}, BR{80, 100};
    const struct {
        Rect rect;
        int16_t x, y, nx, ny;
        bool ok;
    } cases[] = {
        {r, 20, 10, 0, 0, true},
        {r, 40, 10, 50, 0, true},
        {r, 20, 20, 0, 25, true},
        {r, 40, 20, 50, 32, true},
        {Rect{10, 20, 10, 60}, 5, 6, 5, 6, false},
        {Rect{10, 60, 30, 20}, 5, 6, 5, 6, false},
    };
    for (const auto& c : cases) {
        int16_t nx = -1, ny = -1;
        EXPECT_EQ(bool(CalcNewCoords(c.rect, TL, TR, BL, BR, c.x, c.y, nx, ny)), c.ok);
        EXPECT_EQ(nx, c.nx) << c.x << "," << c.y;
        EXPECT_EQ(ny, c.ny) << c.x << "," << c.y;
    }
}

TEST(ImageOps, DistortWithTheRectsOwnCornersCopiesAndCollectsCounts) {
    Buf s(5, 4, kSeed), d(5, 4);
    const Rect r{0, 0, 4, 5};
    DistortGWorlds(s.gw, d.gw, r, Point{0, 0}, Point{0, 5}, Point{4, 0}, Point{4, 5}, false);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 5; x++) EXPECT_TRUE(Same(d.At(x, y), s.At(x, y)));
    // Everything onto one corner: the count in the alpha byte says how many landed there.
    Buf c(5, 4);
    DistortGWorlds(s.gw, c.gw, r, Point{2, 3}, Point{2, 3}, Point{2, 3}, Point{2, 3}, true);
    EXPECT_EQ(c.At(3, 2).ALPHA, 20);
    EXPECT_TRUE(c.PaddingIntact());
    // Corners outside the buffer write nothing outside it.
    Buf o(5, 4);
    DistortGWorlds(s.gw, o.gw, r, Point{-30, -30}, Point{-30, 300}, Point{300, -30}, Point{300, 300}, false);
    EXPECT_TRUE(o.PaddingIntact());
}

TEST(ImageOps, AvgPixelsKeepsACountInTheAlphaByte) {
    const struct {
        PixRec newP, oldP, result;
    } cases[] = {
        {{0, 90, 0, 255}, {0, 10, 200, 7}, {1, 90, 0, 255}},
        {{0, 90, 0, 255}, {1, 10, 200, 7}, {2, 50, 100, 131}},
        {{0, 0, 0, 0}, {3, 255, 255, 255}, {4, 191, 191, 191}},
        {{0, 40, 40, 40}, {255, 8, 8, 8}, {0, 8, 8, 8}},
    };
    for (const auto& c : cases) {
        PixRec p = c.newP;
        AvgPixels(p, c.oldP);
        EXPECT_TRUE(Same(p, c.result)) << int(p.ALPHA) << " " << int(p.RED) << " " << int(p.GREEN) << " " << int(p.BLUE);
    }
}

TEST(ImageOps, AverageTakesTheLastSourcesAlphaAndNeedsEverySource) {
    Buf a(5, 3), b(5, 3), c(5, 3), d(5, 3, kSeed);
    a.Fill({1, 10, 0, 255}), b.Fill({2, 20, 1, 255}), c.Fill({3, 31, 1, 254});
    GWorldList list{nullptr, a.gw, b.gw, c.gw};
    AverageGWorlds(list, d.gw, 3, kAll);
    EXPECT_TRUE(Same(d.At(4, 2), PixRec{3, 20, 0, 254}));
    const auto d0 = d.Bytes();
    for (int16_t n : {0, 4, 101}) {
        AverageGWorlds(list, d.gw, n, kAll);
        EXPECT_EQ(d.Bytes(), d0) << n;
    }
    // A hundred sources at once, each buffer listed fifty times: each gets back the pixel state it had,
    // unlocked or locked.
    GWorldList many{};
    for (int k = 1; k <= MAXGWORLDS; k++) many[k] = k % 2 ? a.gw : c.gw;
    UnlockPixels(GetGWorldPixMap(a.gw));
    const GWorldFlags stateA = a.State(), stateC = c.State();
    ASSERT_NE(stateA, stateC);
    AverageGWorlds(many, d.gw, MAXGWORLDS, kAll);
    EXPECT_TRUE(Same(d.At(0, 0), PixRec{3, 20, 0, 254}));
    EXPECT_TRUE(d.PaddingIntact());
    EXPECT_EQ(a.State(), stateA);
    EXPECT_EQ(c.State(), stateC);
}

TEST(ImageOps, AccessPixelOutsideGivesTheMarkerPixel) {
    Buf b(3, 2, kSeed);
    const struct {
        int16_t x, y;
        bool inside;
    } cases[] = {{0, 0, true}, {2, 1, true}, {3, 0, false}, {0, 2, false}, {-1, 0, false}};
    for (const auto& c : cases) {
        PixRec p;
        AccessPixel(b.gw, c.x, c.y, p);
        EXPECT_TRUE(Same(p, c.inside ? b.At(c.x, c.y) : PixRec{0, 1, 2, 3})) << c.x << "," << c.y;
    }
}

TEST(ImageOps, AlphaResetsLeaveTheColours) {
    const struct {
        const char* name;
        std::function<void(GWorldPtr)> run;
        uint8_t alpha;
    } cases[] = {
        {"SetFixedAlpha", [](GWorldPtr g) { SetFixedAlpha(g, 0x1234); }, 0x34},
        {"SetFixedAlphaOld", [](GWorldPtr g) { SetFixedAlphaOld(g, -1); }, 0xFF},
        {"KillAlphaNull", KillAlphaNull, 0},
        {"KillAlphaFull", KillAlphaFull, 255},
    };
    for (const auto& c : cases) {
        Buf b(17, 3, kSeed), b0(17, 3, kSeed);
        c.run(b.gw);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 17; x++) {
                PixRec expected = b0.At(x, y);
                expected.ALPHA = c.alpha;
                EXPECT_TRUE(Same(b.At(x, y), expected)) << c.name;
            }
        EXPECT_TRUE(b.PaddingIntact()) << c.name;
    }
}

// Fill cases on a 6 x 4 picture, each row before and after: '#' is a wall (black), '.' open (white),
// 'o' filled.
TEST(ImageOps, FillGWGrowsTheSeedRowBothWaysAndOtherSpansLeftwards) {
    const struct {
        const char* name;
        int16_t x, y, maxDelta;
        bool fourWay;
        const char* rows;  // 4 rows of 13: before, a space, after
    } cases[] = {
        {"MaxDelta 0 fills the seed alone", 2, 1, 0, false,
         "...... ......"
         "...... ..o..."
         "...... ......"
         "...... ......"},
        {"Open area", 2, 1, 10, false,
         "...... oooooo"
         "...... oooooo"
         "...... oooooo"
         "...... oooooo"},
        {"Walls stop spans", 1, 1, 10, false,
         "..#... oo#..."
         "..#... oo#..."
         "..#### oo####"
         "...... oo...."},
        // Away from the seed row spans only grow left: what lies to the right of the way down stays.
        {"Right of the way down stays", 0, 0, 10, false,
         ".#.... o#...."
         ".#.... o#...."
         "...... o....."
         "...... o....."},
        {"The four-way fill reaches it", 0, 0, 10, true,
         ".#.... o#oooo"
         ".#.... o#oooo"
         "...... oooooo"
         "...... oooooo"},
    };
    const RGBColor red{0xFFFF, 0, 0};
    for (const auto& c : cases) {
        Buf b(6, 4);
        for (int i = 0; i < 24; i++)
            b.At(i % 6, i / 6) = c.rows[i / 6 * 13 + i % 6] == '#' ? PixRec{255, 0, 0, 0} : PixRec{255, 255, 255, 255};
        if (c.fourWay)
            FillPixel(b.gw, red, c.x, c.y, 0x80, c.maxDelta);
        else
            FillGW(b.gw, red, c.x, c.y, 0x80, c.maxDelta);
        for (int y = 0; y < 4; y++) {
            std::string got;
            for (int x = 0; x < 6; x++) {
                const PixRec p = b.At(x, y);
                got += p.RED == 255 && p.GREEN == 0 ? (p.ALPHA == 0x80 ? 'o' : '?') : (p.RED == 0 ? '#' : '.');
            }
            EXPECT_EQ(got, std::string(c.rows + 13 * y + 7, 6)) << c.name << ", row " << y;
        }
        EXPECT_TRUE(b.PaddingIntact());
    }
}

TEST(ImageOps, FillsOfAFullHdFrameNeedNoDeepStack) {
    Buf open(1920, 1080);
    open.Fill(PixRec{0, 40, 40, 40});
    FillGW(open.gw, RGBColor{0, 0xFFFF, 0}, 5, 0, 255, 8);
    EXPECT_EQ(open.At(1919, 0).GREEN, 255);
    EXPECT_EQ(open.At(1000, 1079).GREEN, 255);
    FillGW(open.gw, RGBColor{0, 0, 0xFFFF}, 1920, 0, 255, 8);  // outside: nothing
    EXPECT_EQ(open.At(1919, 0).BLUE, 0);
    // A path winding through the whole frame: every odd row a wall with a gap at alternate ends.
    Buf path(1920, 1080);
    path.Fill(PixRec{0, 40, 40, 40});
    for (int y = 1; y < 1080; y += 2)
        for (int x = 0; x < 1920; x++)
            if (x != (y % 4 == 1 ? 1919 : 0)) path.At(x, y) = PixRec{0, 0, 0, 0};
    FillPixel(path.gw, RGBColor{0, 0xFFFF, 0}, 0, 0, 255, 8);
    EXPECT_EQ(path.At(0, 1079).GREEN, 255);
    EXPECT_EQ(path.At(1919, 1078).GREEN, 255);
}
}  // namespace
