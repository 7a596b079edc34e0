#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "platform/Numerics.h"
#include "ports.h"

namespace {
TEST(GWorld, RowsCarryRequestedPaddingAndStartAligned) {
    for (int w : {1, 3, 17, 720}) {
        GW g(w, 4, 24);
        EXPECT_GE(g.RowBytes(), 4 * w + 24) << w;
        EXPECT_EQ(g.RowBytes() % 4, 0);
        EXPECT_EQ(GetPixDepth(GetGWorldPixMap(g.gw)), 32);
    }
}

TEST(GWorld, RefusalsAnswerNullAndTheirError) {
    GWorldPtr gw = reinterpret_cast<GWorldPtr>(1);
    const Rect empty{0, 0, 0, 10}, r{0, 0, 4, 4};
    EXPECT_EQ(NewGWorld(&gw, 32, &empty, nullptr, nullptr, 0), paramErr);
    EXPECT_EQ(gw, nullptr);
    QDFailNextGWorlds(1);
    gw = reinterpret_cast<GWorldPtr>(1);
    EXPECT_EQ(NewGWorld(&gw, 32, &r, nullptr, nullptr, 0), memFullErr);
    EXPECT_EQ(gw, nullptr);
    EXPECT_EQ(NewGWorld(&gw, 32, &r, nullptr, nullptr, 0), noErr);  // the injected failure is spent
    DisposeGWorld(gw);
}

TEST(PaintRect, HalfOpenClippedAndInMemoryOrderARGB) {
    GW g(8, 6, 8);
    InPort(g, [] {
        const RGBColor c{0x1234, 0x5678, 0x9ABC};
        RGBForeColor(&c);
        Rect r{-3, 6, 2, 20};  // sticks out of the top and right edges
        PaintRect(&r);
    });
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 8; x++) {
            const bool in = x >= 6 && y < 2;
            EXPECT_TRUE(g.At(x, y) == (in ? Pix{255, 0x12, 0x56, 0x9A} : Pix{0, 0, 0, 0})) << x << "," << y;
        }
    EXPECT_TRUE(g.PaddingIntact());
}

TEST(PaintRect, ClipRectLimitsPainting) {
    GW g(10, 10);
    InPort(g, [] {
        const Rect clip{2, 3, 5, 7}, all{0, 0, 10, 10};
        ClipRect(&clip);
        PaintRect(&all);
    });
    int painted = 0;
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++)
            if (g.Byte(x, y)[1]) {
                painted++;
                EXPECT_TRUE(x >= 3 && x < 7 && y >= 2 && y < 5);
            }
    EXPECT_EQ(painted, 12);
}

TEST(CopyBits, SameSizeCopiesAndScaledCopyPicksNearestSource) {
    GW src(4, 2, 4), same(4, 2, 12), big(8, 4, 4);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++)
            std::memset(src.Byte(x, y), 10 * y + x + 1, 4);
    const Rect s{0, 0, 2, 4}, b{0, 0, 4, 8};
    CopyBits(GetPortBitMapForCopyBits(src.gw), GetPortBitMapForCopyBits(same.gw), &s, &s, srcCopy, nullptr);
    CopyBits(GetPortBitMapForCopyBits(src.gw), GetPortBitMapForCopyBits(big.gw), &s, &b, srcCopy, nullptr);
    EXPECT_TRUE(same.PaddingIntact());
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(same.Byte(x, y)[2], 10 * y + x + 1);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(big.Byte(x, y)[2], 10 * (y / 2) + x / 2 + 1) << x << "," << y;
}

TEST(Rects, HelpersFollowHalfOpenRules) {
    Rect r;
    SetRect(&r, 10, 20, 30, 40);
    EXPECT_EQ(r, (Rect{20, 10, 40, 30}));
    EXPECT_TRUE(PtInRect(Point{20, 10}, &r));
    EXPECT_FALSE(PtInRect(Point{20, 30}, &r));  // right edge is outside
    EXPECT_FALSE(PtInRect(Point{40, 10}, &r));  // bottom edge is outside
    OffsetRect(&r, -10, 5);
    EXPECT_EQ(r, (Rect{25, 0, 45, 20}));
    InsetRect(&r, 2, 3);
    EXPECT_EQ(r, (Rect{28, 2, 42, 18}));
    Pt2Rect(Point{9, 1}, Point{3, 7}, &r);
    EXPECT_EQ(r, (Rect{3, 1, 9, 7}));
}

TEST(Random, StaysInSymmetricRangeAndRepeatsFromSeed) {
    SetQDRandomSeed(12345);
    std::vector<int16_t> first;
    std::set<int16_t> seen;
    int negatives = 0;
    for (int i = 0; i < 200000; i++) {
        const int16_t r = Random();
        ASSERT_GE(r, -32767);
        ASSERT_LE(r, 32767);
        negatives += r < 0;
        seen.insert(r);
        if (i < 16) first.push_back(r);
    }
    EXPECT_GT(seen.size(), 50000u);        // covers the range, not a short cycle
    EXPECT_NEAR(negatives, 100000, 2000);  // both signs about equally often
    SetQDRandomSeed(12345);
    for (int16_t v : first) EXPECT_EQ(Random(), v);
}

struct TruncCase {
    double in;
    int32_t l;
    int16_t s;
};
class Truncation : public ::testing::TestWithParam<TruncCase> {};
TEST_P(Truncation, TruncatesTowardZeroAndSaturates) {
    EXPECT_EQ(TruncL(GetParam().in), GetParam().l);
    EXPECT_EQ(TruncS(GetParam().in), GetParam().s);
}
INSTANTIATE_TEST_SUITE_P(
    Values, Truncation,
    ::testing::Values(TruncCase{2.9, 2, 2}, TruncCase{-2.9, -2, -2}, TruncCase{-0.5, 0, 0},
                      TruncCase{32767.9, 32767, 32767}, TruncCase{32768.0, 32768, 32767},
                      TruncCase{-32768.9, -32768, -32768}, TruncCase{-40000, -40000, -32768},
                      TruncCase{2147483647.5, 2147483647, 32767}, TruncCase{1e10, 2147483647, 32767},
                      TruncCase{-1e10, -2147483647 - 1, -32768}, TruncCase{NAN, 0, 0},
                      TruncCase{INFINITY, 2147483647, 32767}, TruncCase{-INFINITY, -2147483647 - 1, -32768}));
}  // namespace
