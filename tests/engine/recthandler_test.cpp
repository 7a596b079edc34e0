#include "engine/recthandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "engine/fixedrandom.h"

namespace {
// A configuration with its own field, and a random table filled with one known value.
struct Layout {
    RectField field{};
    PluginDataRec cfg{};
    Layout(int16_t method, int16_t w, int16_t h, int16_t p = 100, bool randomized = false) {
        cfg.Rects = &field;
        cfg.Method = method;
        cfg.Sliders[1] = w;
        cfg.Sliders[2] = h;
        cfg.Sliders[3] = p;
        cfg.RandomizedDuration = randomized;
    }
    void Run(int32_t maxFrame) { InitRectangles(&cfg, maxFrame, Rect{0, 0, 480, 720}); }
    int32_t S(int x, int y) const { return field[x][y].StartFrame; }
    int32_t E(int x, int y) const { return field[x][y].EndFrame; }
};

void FillTable(double value) {
    RandomArray& t = *FSharedTable();
    std::fill(std::begin(t), std::end(t), value);
    FSetIndex(0);
}

// With every draw 0.5: starts and ends of the tiles in reading order, and the draws they take.
TEST(InitRectangles, WorkedExamples) {
    const struct {
        int16_t method, w, h;
        bool randomized;
        std::vector<int32_t> starts, ends;
        int draws;
    } cases[] = {
        {3, 4, 1, false, {1, 3, 6, 8}, {11, 13, 16, 18}, 4},   // columns: Duration 10, reduced span 10, TimePerX 2.5
        {30, 2, 2, false, {0, 2, 5, 7}, {10, 12, 15, 17}, 0},  // reading order draws no random number
        // Unknown methods fade every tile over the whole run and draw nothing.
        {0, 2, 2, true, {0, 0, 0, 0}, {20, 20, 20, 20}, 0},
        {-3, 3, 1, true, {0, 0, 0}, {20, 20, 20}, 0},
        {42, 1, 2, true, {0, 0}, {20, 20}, 0},
        {100, 1, 1, true, {0}, {20}, 0},
        {32767, 2, 1, true, {0, 0}, {20, 20}, 0},
    };
    for (const auto& c : cases) {
        FillTable(0.5);
        FSetIndex(77);
        Layout l(c.method, c.w, c.h, 100, c.randomized);
        l.Run(20);
        EXPECT_EQ(FGetIndex(), 77 + c.draws) << c.method;
        for (int i = 0; i < c.w * c.h; i++) {
            EXPECT_EQ(l.S(i % c.w + 1, i / c.w + 1), c.starts[size_t(i)]) << c.method << " tile " << i;
            EXPECT_EQ(l.E(i % c.w + 1, i / c.w + 1), c.ends[size_t(i)]) << c.method << " tile " << i;
        }
    }
}

TEST(SetupSpiral, NumbersAnOddSquareFromTheCentreAndRefusesOthers) {
    RectField field{};
    int16_t count = -1;
    SetupSpiral(5, 5, &field, count, nullptr);
    EXPECT_EQ(count, 25);
    const int expected[][3] = {{3, 3, 0}, {3, 4, 1}, {4, 4, 2}, {4, 3, 3}, {4, 2, 4}, {3, 2, 5}, {2, 2, 6}, {2, 3, 7}, {2, 4, 8}, {2, 5, 9}};
    for (auto& e : expected) EXPECT_EQ(field[e[0]][e[1]].StartFrame, e[2]) << e[0] << "," << e[1];
    std::vector<bool> seen(25);
    for (int y = 1; y <= 5; y++)
        for (int x = 1; x <= 5; x++) seen.at(field[x][y].StartFrame) = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 25);
    EXPECT_EQ(field[1][5].StartFrame, 24);  // the outer ring ends on its bottom-left corner
    // Even or non-square sizes change nothing.
    RectField other{};
    count = 7;
    SetupSpiral(4, 4, &other, count, nullptr);
    SetupSpiral(5, 3, &other, count, nullptr);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(other[2][2].StartFrame, 0);
}

TEST(InitRectangles, SpiralsMakeTheGridOddAndSquareAndStoreIt) {
    const struct {
        int16_t w, h, grid;
    } cases[] = {{10, 4, 11}, {3, 7, 7}, {100, 1, 99}, {0, 0, 1}, {32767, -5, 99}};
    for (const auto& c : cases)
        for (int16_t method : {cSpiralOut, cSpiralIn}) {
            Layout l(method, c.w, c.h);
            l.Run(120);
            EXPECT_EQ(l.cfg.Sliders[1], c.grid) << c.w << "x" << c.h;
            EXPECT_EQ(l.cfg.Sliders[2], c.grid) << c.w << "x" << c.h;
        }
}

TEST(InitRectangles, SpiralStartsFollowTheSpiralNumbers) {
    RectField numbers{};
    int16_t n = 0;
    SetupSpiral(9, 9, &numbers, n, nullptr);
    Layout out(cSpiralOut, 9, 9), in(cSpiralIn, 9, 9);
    out.Run(810);  // Duration 405, span 405
    in.Run(810);
    for (int y = 1; y <= 9; y++)
        for (int x = 1; x <= 9; x++) {
            const double s = numbers[x][y].StartFrame / 81.0;
            EXPECT_EQ(out.S(x, y), int(s * 405 + 405));
            EXPECT_EQ(in.S(x, y), int((1 - s) * 405));
            EXPECT_EQ(out.E(x, y), out.S(x, y) + 405);
        }
}

// Durations by family, with no random variation: the end minus the start of every tile.
TEST(InitRectangles, EveryTileChangesForTheFamilysDuration) {
    const struct {
        int16_t method, w, h, p;
        int32_t maxFrame, duration;
    } cases[] = {
        {3, 5, 5, 100, 60, 30},
        {17, 5, 5, 50, 60, 15},
        {30, 50, 50, 100, 60, 18},  // 60 div 50 is below 9: 30 % of 60
        {30, 10, 10, 100, 80, 24},
        {30, 10, 10, 100, 90, 9},  // 8 and 9 frames a tile
        {41, 4, 4, 100, 100, 25},
        {35, 4, 4, 0, 100, 0},
        {9, 4, 4, 0, 100, 0},
        {3, 4, 4, 300, 20, 10},  // longer than the run: half the run
        {1, 6, 3, 0, 50, 1},
        {1, 6, 3, 250, 50, 1},
    };
    for (const auto& c : cases) {
        FillTable(0.25);
        Layout l(c.method, c.w, c.h, c.p);
        l.Run(c.maxFrame);
        for (int y = 1; y <= c.h; y++)
            for (int x = 1; x <= c.w; x++) ASSERT_EQ(l.E(x, y) - l.S(x, y), c.duration) << c.method << ": " << x << "," << y;
    }
}

// Random numbers consumed per layout: the order of draws fixes which entries each tile uses.
TEST(InitRectangles, LayoutsConsumeTheTableInOrder) {
    const struct {
        int16_t method;
        bool randomized;
        int perTile;
    } cases[] = {{1, false, 1}, {1, true, 1}, {2, false, 1}, {2, true, 2}, {3, false, 1}, {27, true, 2}, {30, false, 0}, {41, true, 1}};
    for (const auto& c : cases) {
        FillTable(0.5);
        Layout l(c.method, 7, 3, 100, c.randomized);
        l.Run(100);
        EXPECT_EQ(FGetIndex(), 21 * c.perTile) << c.method << " " << c.randomized;
        l.Run(100);  // the cursor is not rewound between layouts
        EXPECT_EQ(FGetIndex(), 42 * c.perTile) << c.method << " " << c.randomized;
    }
}

TEST(InitRectangles, RandomMethodsStartWhereTheirDrawsSay) {
    RandomArray& t = *FSharedTable();
    for (int i = 0; i < 100; i++) t[i] = (i % 10) / 10.0;
    FSetIndex(0);
    Layout one(1, 10, 1);
    one.Run(50);
    for (int x = 1; x <= 10; x++) {
        EXPECT_EQ(one.S(x, 1), (x - 1) * 5);
        EXPECT_EQ(one.E(x, 1), one.S(x, 1) + 1);
    }
    FSetIndex(0);
    Layout two(2, 5, 1, 50, true);  // draws: start, then the length factor
    two.Run(100);
    for (int x = 1; x <= 5; x++) {
        const double r1 = ((2 * x - 2) % 10) / 10.0, r2 = ((2 * x - 1) % 10) / 10.0;
        const int start = int(100 * r1);
        EXPECT_EQ(two.S(x, 1), start);
        EXPECT_EQ(two.E(x, 1), start + int(0.5 * r2 * (100 - start)));
    }
}

// Every ordering against the order a viewer expects, expressed in the test's own terms:
// a rank per tile (lower rank starts no later). Draws are zero, so no jitter.
using Rank = std::function<double(int x, int y, int W, int H)>;
struct OrderCase {
    int16_t method;
    const char* what;
    Rank rank;
};
double Cx(int W) { return W / 2; }  // centre column as the layout takes it
double Cy(int H) { return H / 2; }

class Orderings : public ::testing::TestWithParam<OrderCase> {};
TEST_P(Orderings, TilesStartInTheOrderTheMethodShows) {
    const OrderCase c = GetParam();
    FillTable(0.0);
    const int W = 9, H = 7;
    Layout l(c.method, W, H, 50);
    l.Run(2000);
    const int w = l.cfg.Sliders[1], h = l.cfg.Sliders[2];
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (int y = 1; y <= h; y++)
        for (int x = 1; x <= w; x++) lo = std::min(lo, l.S(x, y)), hi = std::max(hi, l.S(x, y));
    EXPECT_GT(hi - lo, 500) << c.what << ": starts must spread over the run";
    for (int y1 = 1; y1 <= h; y1++)
        for (int x1 = 1; x1 <= w; x1++)
            for (int y2 = 1; y2 <= h; y2++)
                for (int x2 = 1; x2 <= w; x2++) {
                    const double r1 = c.rank(x1, y1, w, h), r2 = c.rank(x2, y2, w, h);
                    if (r1 < r2 - 1e-9) {
                        ASSERT_LE(l.S(x1, y1), l.S(x2, y2))
                            << c.what << ": (" << x1 << "," << y1 << ") before (" << x2 << "," << y2 << ")";
                    } else if (std::abs(r1 - r2) < 1e-9) {
                        ASSERT_NEAR(l.S(x1, y1), l.S(x2, y2), 1) << c.what;
                    }
                }
}

// Sequence number along a reading walk; the walk visits tiles in the order they should start.
Rank Walk(bool rowsFirst, bool leftToRight, bool topToBottom) {
    return [=](int x, int y, int W, int H) {
        const int col = leftToRight ? x - 1 : W - x, row = topToBottom ? y - 1 : H - y;
        return double(rowsFirst ? row * W + col : col * H + row);
    };
}
// Two walks at once from opposite edges, meeting in the middle row (or column): the rank is the
// position within the tile's own half.
Rank Fold(bool rows, Rank walk) {
    return [=](int x, int y, int W, int H) {
        if (rows ? y <= H / 2 : x <= W / 2) return walk(x, y, W, H);
        return double(W * H) - walk(x, y, W, H);
    };
}
Rank SpiralNumber(bool outwards) {
    return [=](int x, int y, int W, int) {
        RectField f{};
        int16_t n = 0;
        SetupSpiral(int16_t(W), int16_t(W), &f, n, nullptr);
        return outwards ? double(f[x][y].StartFrame) : -double(f[x][y].StartFrame);
    };
}

const OrderCase kOrders[] = {
    {3, "columns left to right", [](int x, int, int, int) { return double(x); }},
    {4, "columns right to left", [](int x, int, int, int) { return -double(x); }},
    {5, "rows top to bottom", [](int, int y, int, int) { return double(y); }},
    {6, "rows bottom to top", [](int, int y, int, int) { return -double(y); }},
    {7, "circle growing from the centre", [](int x, int y, int W, int H) { return std::hypot(x - Cx(W), y - Cy(H)); }},
    {8, "circle closing on the centre", [](int x, int y, int W, int H) { return -std::hypot(x - Cx(W), y - Cy(H)); }},
    {9, "diagonal from top-left", [](int x, int y, int, int) { return double(x + y); }},
    {10, "diagonal from bottom-left", [](int x, int y, int, int) { return double(x - y); }},
    {11, "diagonal from top-right", [](int x, int y, int, int) { return double(y - x); }},
    {12, "diagonal from bottom-right", [](int x, int y, int, int) { return -double(x + y); }},
    {13, "centre column outwards", [](int x, int, int W, int) { return std::abs(x - Cx(W)); }},
    {14, "edge columns inwards", [](int x, int, int W, int) { return -std::abs(x - Cx(W)); }},
    {15, "centre row outwards", [](int, int y, int, int H) { return std::abs(y - Cy(H)); }},
    {16, "edge rows inwards", [](int, int y, int, int H) { return -std::abs(y - Cy(H)); }},
    {17, "diamond growing", [](int x, int y, int W, int H) { return std::abs(x - Cx(W)) + std::abs(y - Cy(H)); }},
    {18, "diamond closing", [](int x, int y, int W, int H) { return -(std::abs(x - Cx(W)) + std::abs(y - Cy(H))); }},
    {19, "left/right middles to top/bottom middles",
     [](int x, int y, int W, int H) { return std::abs(y - Cy(H)) - std::abs(x - Cx(W)); }},
    {20, "top/bottom middles to left/right middles",
     [](int x, int y, int W, int H) { return std::abs(x - Cx(W)) - std::abs(y - Cy(H)); }},
    {21, "chevron rightwards", [](int x, int y, int, int H) { return x + std::abs(y - Cy(H)); }},
    {22, "chevron leftwards", [](int x, int y, int W, int H) { return std::abs(x - 2 * Cx(W)) + std::abs(y - Cy(H)); }},
    {23, "chevron downwards", [](int x, int y, int W, int) { return y + std::abs(x - Cx(W)); }},
    {24, "chevron upwards", [](int x, int y, int W, int H) { return std::abs(y - 2 * Cy(H)) + std::abs(x - Cx(W)); }},
    {25, "square growing", [](int x, int y, int W, int H) { return std::max(std::abs(x - Cx(W)), std::abs(y - Cy(H))); }},
    {26, "square closing", [](int x, int y, int W, int H) { return -std::max(std::abs(x - Cx(W)), std::abs(y - Cy(H))); }},
    {27, "squares from the corners",
     [](int x, int y, int W, int H) { return std::max(Cx(W) - std::abs(x - Cx(W)), Cy(H) - std::abs(y - Cy(H))); }},
    {28, "spiral outwards", SpiralNumber(true)},
    {29, "spiral inwards", SpiralNumber(false)},
    {30, "rows down, each rightwards", Walk(true, true, true)},
    {31, "columns right, each downwards", Walk(false, true, true)},
    {32, "rows down, each leftwards", Walk(true, false, true)},
    {33, "columns left, each downwards", Walk(false, false, true)},
    {34, "rows up, each rightwards", Walk(true, true, false)},
    {35, "columns right, each upwards", Walk(false, true, false)},
    {36, "rows up, each leftwards", Walk(true, false, false)},
    {37, "columns left, each upwards", Walk(false, false, false)},
    {38, "rows from top and bottom", Fold(true, Walk(true, true, true))},
    {39, "rows from top and bottom, top half leftwards", Fold(true, Walk(true, false, true))},
    {40, "columns from left and right", Fold(false, Walk(false, true, true))},
    {41, "columns from left and right, left half upwards", Fold(false, Walk(false, true, false))},
};
INSTANTIATE_TEST_SUITE_P(AllKeyedAndSequenced, Orderings, ::testing::ValuesIn(kOrders),
                         [](const auto& info) { return "Method" + std::to_string(info.param.method); });

TEST(InitRectangles, ChevronsStartBeforeFrameZeroNearTheirLeadingEdge) {
    FillTable(0.0);
    for (int16_t method : {21, 22, 23, 24}) {
        Layout l(method, 9, 9);
        l.Run(200);
        int negatives = 0;
        for (int y = 1; y <= 9; y++)
            for (int x = 1; x <= 9; x++) negatives += l.S(x, y) < 0;
        EXPECT_GT(negatives, 0) << method;
    }
}

TEST(InitRectangles, MissingRecordOrFieldChangesNothingAndClipIsRestored) {
    InitRectangles(nullptr, 10, Rect{0, 0, 1, 1});
    Layout l(3, 2, 2);
    l.cfg.Rects = nullptr;
    InitRectangles(&l.cfg, 10, Rect{0, 0, 1, 1});

    GWorldPtr gw = nullptr;
    const Rect bounds{0, 0, 40, 60};
    ASSERT_EQ(NewGWorld(&gw, 32, &bounds, nullptr, nullptr, 0), noErr);
    SetGWorld(gw, nullptr);
    const Rect narrow{1, 2, 3, 4};
    ClipRect(&narrow);
    Layout m(3, 2, 2);
    m.Run(10);
    Rect clip;
    GetClipRect(&clip);
    EXPECT_EQ(clip, bounds);
    SetGWorld(nullptr, nullptr);
    DisposeGWorld(gw);
}

// Grids past the field's limits, frame counts at the limits of int32 and shares out of range: the
// grid stays inside the field and every tile of it is laid, ending no earlier than it starts (the
// tile at 1,1 starts out the other way round).
TEST(InitRectangles, HostileInputsStayInsideTheFieldAndInOrder) {
    FillTable(1.0);
    for (int16_t w : {3, 0, -5, 101, 32767})
        for (int32_t frames : {60, 0, 1, -50, INT32_MIN, INT32_MAX})
            for (int16_t share : {100, -100, 32767})
                for (bool randomized : {false, true})
                    for (int16_t method : {1, 2, 3, 7, 8, 28, 30, 41}) {
                        Layout l(method, w, w, share, randomized);
                        l.field[1][1] = RectDesc{1, 0};
                        l.Run(frames);
                        const int W = FieldColumns(l.cfg), H = FieldRows(l.cfg);
                        ASSERT_TRUE(W >= 1 && W <= 100 && H >= 1 && H <= 100) << w;
                        for (int y = 1; y <= H; y++)
                            for (int x = 1; x <= W; x++)
                                ASSERT_GE(l.E(x, y), l.S(x, y)) << "method " << method << ", " << w << " tiles a side, "
                                                                << frames << " frames, share " << share << ", at " << x << "," << y;
                    }
}
}  // namespace
