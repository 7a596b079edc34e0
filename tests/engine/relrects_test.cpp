#include "engine/relrects.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
struct RelCase {
    RelRect rel;
    Rect frame, expected;
};
class Rel2RectCases : public ::testing::TestWithParam<RelCase> {};
TEST_P(Rel2RectCases, TruncatesTheProductAndAddsTheFrameOrigin) {
    EXPECT_EQ(Rel2Rect(GetParam().rel, GetParam().frame), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, Rel2RectCases,
    ::testing::Values(RelCase{{0, 1, 0, 1}, {0, 0, 480, 720}, {0, 0, 480, 720}},
                      RelCase{{0, 1, 0, 1}, {10, 20, 110, 220}, {10, 20, 110, 220}},
                      RelCase{{0.4999, 1, 0, 1}, {0, 0, 480, 720}, {0, 359, 480, 720}},   // truncates, no rounding
                      RelCase{{-0.001, 0.5, 0.25, 0.75}, {0, 0, 480, 720}, {120, 0, 360, 360}},
                      RelCase{{0.1, 0.9, 0.1, 0.9}, {5, 7, 105, 207}, {15, 27, 95, 187}},
                      RelCase{{-1e300, 1e300, NAN, 2}, {0, 0, 480, 720}, {0, -32768, 960, 32767}}));

TEST(RelRects, InitIsTheWholeFrameAndSetKeepsArgumentOrder) {
    RelRect r;
    InitRelRect(r);
    EXPECT_EQ(Rel2Rect(r, Rect{3, 4, 50, 60}), (Rect{3, 4, 50, 60}));
    const RelRect s = SetRelRect(0.1, 0.2, 0.3, 0.4);  // Left, Top, Right, Bottom
    EXPECT_EQ(s.Left, 0.1);
    EXPECT_EQ(s.Top, 0.2);
    EXPECT_EQ(s.Right, 0.3);
    EXPECT_EQ(s.Bottom, 0.4);
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

TEST(RelRects, PointsConvertLikeRectangles) {
    const Rect frame{100, 50, 300, 250};
    const Point p = Rel2Point(RelPoint{0.5, 0.25}, frame);
    EXPECT_EQ(p.h, 150);
    EXPECT_EQ(p.v, 150);
    const RelPoint q = Point2Rel(Point{150, 150}, frame);
    EXPECT_DOUBLE_EQ(q.Horiz, 0.5);
    EXPECT_DOUBLE_EQ(q.Vert, 0.25);
}

TEST(RelRects, EmptyFrameGivesZeroFractionsNotInfinities) {
    const RelRect r = Rect2Rel(Rect{0, 0, 10, 10}, Rect{5, 5, 5, 5});
    EXPECT_EQ(r.Left, 0);
    EXPECT_EQ(r.Bottom, 0);
    const RelPoint p = Point2Rel(Point{3, 3}, Rect{0, 0, 0, 0});
    EXPECT_EQ(p.Horiz, 0);
}

TEST(CalcTweenRel, ClampsOutsideAndInterpolatesInside) {
    const RelRect a{0, 1, 0, 1}, b{0.2, 0.6, 0.4, 0.8};
    auto eq = [](RelRect x, RelRect y) {
        return std::abs(x.Left - y.Left) < 1e-12 && std::abs(x.Right - y.Right) < 1e-12 &&
               std::abs(x.Top - y.Top) < 1e-12 && std::abs(x.Bottom - y.Bottom) < 1e-12;
    };
    EXPECT_TRUE(eq(CalcTweenRel(10, 20, 9, a, b), a));
    EXPECT_TRUE(eq(CalcTweenRel(10, 20, 21, a, b), b));
    EXPECT_TRUE(eq(CalcTweenRel(10, 20, 10, a, b), a));
    EXPECT_TRUE(eq(CalcTweenRel(10, 20, 20, a, b), b));
    EXPECT_TRUE(eq(CalcTweenRel(10, 20, 15, a, b), (RelRect{0.1, 0.8, 0.2, 0.9})));
    EXPECT_TRUE(eq(CalcTweenRel(7, 7, 7, a, b), b));  // zero span: at its end, no division
}
}  // namespace
