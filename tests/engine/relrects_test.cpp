#include "engine/relrects.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {
std::array<double, 4> LRTB(RelRect r) { return {r.Left, r.Right, r.Top, r.Bottom}; }

TEST(RelRects, Rel2RectTruncatesTheProductAndAddsTheFrameOrigin) {
    const struct {
        RelRect rel;
        Rect frame, expected;
    } cases[] = {
        {{0, 1, 0, 1}, {0, 0, 480, 720}, {0, 0, 480, 720}},
        {{0, 1, 0, 1}, {10, 20, 110, 220}, {10, 20, 110, 220}},
        {{0.4999, 1, 0, 1}, {0, 0, 480, 720}, {0, 359, 480, 720}},  // truncates, no rounding
        {{-0.001, 0.5, 0.25, 0.75}, {0, 0, 480, 720}, {120, 0, 360, 360}},
        {{0.1, 0.9, 0.1, 0.9}, {5, 7, 105, 207}, {15, 27, 95, 187}},
        {{-1e300, 1e300, NAN, 2}, {0, 0, 480, 720}, {0, -32768, 960, 32767}},
    };
    for (const auto& c : cases) EXPECT_EQ(Rel2Rect(c.rel, c.frame), c.expected) << c.rel.Left << " " << c.rel.Right;
    RelRect r;
    InitRelRect(r);
    EXPECT_EQ(Rel2Rect(r, Rect{3, 4, 50, 60}), (Rect{3, 4, 50, 60}));
    // Arguments Left, Top, Right, Bottom; fields Left, Right, Top, Bottom.
    EXPECT_EQ(LRTB(SetRelRect(0.1, 0.2, 0.3, 0.4)), (std::array{0.1, 0.3, 0.2, 0.4}));
}

TEST(RelRects, RoundTripIsExactWhenQuotientsAre) {
    const Rect frame{10, 20, 490, 740};
    const Rect r{130, 200, 250, 380};
    const RelRect rel = Rect2Rel(r, frame);
    EXPECT_DOUBLE_EQ(rel.Left, 180.0 / 720);
    EXPECT_DOUBLE_EQ(rel.Top, 120.0 / 480);
    EXPECT_EQ(Rel2Rect(rel, frame), r);
    // 1/3 of 720 is not exact in binary: the way back may lose a pixel, never gain one.
    const Rect odd{0, 1, 7, 241};
    const Rect back = Rel2Rect(Rect2Rel(odd, Rect{0, 0, 480, 720}), Rect{0, 0, 480, 720});
    EXPECT_LE(odd.right - back.right, 1);
    EXPECT_GE(odd.right - back.right, 0);
}

TEST(RelRects, PointsConvertLikeRectanglesAndEmptyFramesGiveZeroNotInfinities) {
    const Rect frame{100, 50, 300, 250};
    const Point p = Rel2Point(RelPoint{0.5, 0.25}, frame);
    EXPECT_EQ(p.h, 150);
    EXPECT_EQ(p.v, 150);
    const RelPoint q = Point2Rel(Point{150, 150}, frame);
    EXPECT_DOUBLE_EQ(q.Horiz, 0.5);
    EXPECT_DOUBLE_EQ(q.Vert, 0.25);
    EXPECT_EQ(LRTB(Rect2Rel(Rect{0, 0, 10, 10}, Rect{5, 5, 5, 5})), (std::array{0.0, 0.0, 0.0, 0.0}));
    EXPECT_EQ(Point2Rel(Point{3, 3}, Rect{0, 0, 0, 0}).Horiz, 0);
}

TEST(CalcTweenRel, ClampsOutsideAndInterpolatesInside) {
    const RelRect a{0, 1, 0, 1}, b{0.2, 0.6, 0.4, 0.8};
    const struct {
        int32_t from, to, now;
        RelRect expected;
    } cases[] = {
        {10, 20, 9, a}, {10, 20, 21, b}, {10, 20, 10, a}, {10, 20, 20, b}, {10, 20, 15, {0.1, 0.8, 0.2, 0.9}}, {7, 7, 7, b},  // zero span: at its end, no division
    };
    for (const auto& c : cases) {
        const auto got = LRTB(CalcTweenRel(c.from, c.to, c.now, a, b)), want = LRTB(c.expected);
        for (int i = 0; i < 4; i++) EXPECT_NEAR(got[size_t(i)], want[size_t(i)], 1e-12) << c.now << " field " << i;
    }
}
}  // namespace
