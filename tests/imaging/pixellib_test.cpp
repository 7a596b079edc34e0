#include "imaging/pixellib.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "imaging/TestBuffers.h"

namespace {
using Padded = testbuf::Buf;
using testbuf::Same;
std::array<int, 3> Rgb(PixRec p) { return {p.RED, p.GREEN, p.BLUE}; }

TEST(PixRecLayout, BytesAreAlphaRedGreenBlueInMemory) {
    Padded g(3, 2);
    const PixRec p{1, 2, 3, 4};
    PSetPixel(g.base, g.rowBytes, 1, 1, &p);
    EXPECT_EQ(std::memcmp(g.base + g.rowBytes + 4, "\1\2\3\4", 4), 0);
    PixRec back;
    PGetPixel(g.base, g.rowBytes, 1, 1, back);
    EXPECT_TRUE(Same(back, p));
    EXPECT_TRUE(g.PaddingIntact());
}

TEST(PixInfo, SecondRowStartsAfterThePadding) {
    Padded g(5, 2);
    Ptr base;
    int32_t rowBytes;
    Rect frame;
    GWorldFlags flags;
    const GWorldFlags before = g.State();
    GetPixInfoFromGWorld(g.gw, base, rowBytes, frame, flags);
    EXPECT_EQ(flags, before);
    EXPECT_EQ(rowBytes % 4, 0);
    EXPECT_GE(rowBytes, 5 * 4 + 8);
    EXPECT_EQ(frame, (Rect{0, 0, 2, 5}));
    EXPECT_EQ(reinterpret_cast<Ptr>(PixRow(base, rowBytes, 1)), base + rowBytes);
    SetPixelsState(GetGWorldPixMap(g.gw), flags);
}

TEST(Depths, SizesAndPackedStores) {
    for (auto [depth, size] : {std::pair{8, 1}, {16, 2}, {24, 4}, {32, 4}}) EXPECT_EQ(Depth2Size(int16_t(depth)), size);
    uint8_t mem[64];
    std::memset(mem, 0xEE, sizeof mem);
    const PixRec p{9, 255, 128, 8};
    Put32BitPixelInPixMap(p, reinterpret_cast<Ptr>(mem), 3, 0, 16, 8);
    EXPECT_EQ(mem[3], 255);
    Put32BitPixelInPixMap(p, reinterpret_cast<Ptr>(mem), 1, 1, 16, 16);
    uint16_t v;
    std::memcpy(&v, mem + 16 + 2, 2);
    EXPECT_EQ(v, (31 << 10) | (16 << 5) | 1);
    Put32BitPixelInPixMap(p, reinterpret_cast<Ptr>(mem), 1, 2, 16, 24);
    EXPECT_EQ(mem[32 + 3], 0xEE);  // 24-bit stores nothing
    Put32BitPixelInPixMap(p, reinterpret_cast<Ptr>(mem), 1, 3, 16, 32);
    EXPECT_EQ(std::memcmp(mem + 48 + 4, &p, 4), 0);
    RGBColor c;
    int16_t a;
    Pixel2RGBA(PixRec{200, 255, 1, 0}, c, a);  // widens by multiplying with 256
    EXPECT_EQ(c, (RGBColor{65280, 256, 0}));
    EXPECT_EQ(a, 200);
}

TEST(SetPixMapPixels, WritesInsideOnlyWithAlphaZeroAndRestoresState) {
    Padded g(17, 5, PixRec{77, 1, 1, 1});
    const GWorldFlags before = g.State();
    SetPixMapPixels(g.gw, Rect{1, 2, 4, 30}, 10, 20, 30);
    EXPECT_EQ(g.State(), before);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 17; x++) {
            const bool in = x >= 2 && y >= 1 && y < 4;
            EXPECT_TRUE(Same(g.At(x, y), in ? PixRec{0, 10, 20, 30} : PixRec{77, 1, 1, 1})) << x << "," << y;
        }
    EXPECT_TRUE(g.PaddingIntact());
    SetPixMapPixels(nullptr, Rect{0, 0, 1, 1}, 0, 0, 0);  // absent buffer: nothing
}

TEST(PlotPixel, PaintsTheClippedSquare) {
    const struct {
        int x, y, size, expected;
    } cases[] = {{1, 1, 0, 1}, {1, 1, 1, 9}, {0, 0, 1, 4}, {2, 2, 5, 9}, {3, 1, 1, 0}, {-1, 0, 1, 0}};
    for (const auto& c : cases) {
        Padded g(3, 3);
        PPlotPixel(g.gw, int16_t(c.x), int16_t(c.y), int16_t(c.size), true, true, PixRec{1, 2, 3, 4});
        int count = 0;
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 3; x++) count += g.At(x, y).RED == 2;
        EXPECT_EQ(count, c.expected) << c.x << "," << c.y << " size " << c.size;
        EXPECT_TRUE(g.PaddingIntact());
    }
}

TEST(PixelAlpha, SetAndBlendFollowTheirArithmetic) {
    Padded g(4, 4);
    PSetGWPixelAndAlpha(g.gw, 2, 2, RGBColor{65535, 32768, 255}, 0x1FF, 5);
    EXPECT_TRUE(Same(g.At(3, 3), PixRec{0xFF, 255, 128, 0}));
    EXPECT_EQ(g.At(1, 1).RED, 0);
    g.At(0, 0) = PixRec{9, 100, 200, 0};
    PSetGWPixelUsingAlpha(g.gw, 0, 0, 0.25, RGBColor{65535, 0, 65535}, 1);
    EXPECT_TRUE(Same(g.At(0, 0), PixRec{9, 75 + 63, 150, 63}));  // trunc(old x 0.75) + trunc(new x 0.25)
    EXPECT_TRUE(g.PaddingIntact());
}

TEST(CombineUsingAlpha, MixesTwoSourcesIntoTheTarget) {
    Padded a(3, 3, PixRec{5, 200, 100, 0}), b(3, 3, PixRec{6, 0, 100, 200}), t(3, 3);
    PCombineGWAndPutUsingAlpha(a.gw, b.gw, t.gw, 1, 1, 0, 0, 51, false, 4);  // p = 0.2
    EXPECT_EQ(Rgb(t.At(0, 0)), (std::array{40, 100, 160}));
    EXPECT_EQ(t.At(1, 1).RED, 40);                                          // 2 x 2 fits before the first source's edge
    EXPECT_EQ(t.At(2, 2).RED, 0);                                           // beyond it: untouched
    PCombineGWAndPutUsingAlpha(a.gw, b.gw, t.gw, 0, 0, 2, 2, 51, true, 1);  // inverted: p = 0.8
    EXPECT_EQ(t.At(2, 2).RED, 160);
    EXPECT_TRUE(t.PaddingIntact());
}

// Blocks hanging over every edge of the target, and second sources smaller than the first: only
// the pixels that all three buffers hold are touched (padding and ASan catch the rest).
TEST(CombineUsingAlpha, WritesOnlyWhereEveryBufferHasThePixel) {
    const struct {
        int SX, SY, TX, TY, size, s2w, s2h;
    } cases[] = {{0, 0, -2, -2, 4, 4, 4}, {0, 0, -1, 1, 3, 4, 4}, {1, 1, 2, -2, 5, 4, 4}, {0, 0, -30000, 0, 3, 4, 4}, {0, 0, 0, 0, 4, 2, 3}, {2, 1, -1, 0, 4, 3, 2}, {1, 1, 0, 0, 4, 1, 1}};
    for (const auto& c : cases) {
        Padded a(4, 4, PixRec{5, 200, 100, 0}), b(c.s2w, c.s2h, PixRec{6, 0, 100, 200}), t(3, 3, PixRec{1, 1, 1, 1});
        PCombineGWAndPutUsingAlpha(a.gw, b.gw, t.gw, int16_t(c.SX), int16_t(c.SY), int16_t(c.TX), int16_t(c.TY), 51,
                                   false, int16_t(c.size));
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 3; x++) {
                const int h = x - c.TX, v = y - c.TY, sx = c.SX + h, sy = c.SY + v;
                const bool written =
                    h >= 0 && v >= 0 && h < c.size && v < c.size && sx < 4 && sy < 4 && sx < c.s2w && sy < c.s2h;
                EXPECT_EQ(t.At(x, y).RED, written ? 40 : 1) << c.TX << "," << c.TY << " at " << x << "," << y;
            }
        EXPECT_TRUE(t.PaddingIntact());
        EXPECT_TRUE(b.PaddingIntact());
    }
}

// The average of the clipped square, plus the second source's pixels weighted by its alpha where
// it has them. Sources ramp: red = 10 x (x + width x y).
TEST(Smudge, AveragesTheClippedSquareWithWeightedSecondSource) {
    Padded a3(3, 3), a4(4, 4), b3(3, 3, PixRec{51, 100, 0, 0}), b2(2, 2, PixRec{255, 100, 0, 0});
    for (Padded* g : {&a3, &a4})
        for (int y = 0; y < g->h; y++)
            for (int x = 0; x < g->w; x++) g->At(x, y) = PixRec{0, uint8_t(10 * (x + g->w * y)), 0, 0};
    PixRec out{};
    PSmudgePixel(a3.gw, nullptr, 1, 0, 0, false, 0x17F, out);
    EXPECT_EQ(out.RED, (0 + 10 + 30 + 40) / 4);
    EXPECT_EQ(out.ALPHA, 0x7F);
    PSmudgePixel(a3.gw, b3.gw, 0, 1, 1, true, 0, out);
    EXPECT_EQ(out.RED, 50);                              // (40 + trunc(100 x 0.2)) / (1 + 0.2)
    PSmudgePixel(a4.gw, b2.gw, 1, 3, 3, false, 0, out);  // b2 has none of the square
    EXPECT_EQ(out.RED, (100 + 110 + 140 + 150) / 4);
    PSmudgePixel(a4.gw, b2.gw, 1, 2, 2, false, 0, out);  // b2 has only (1, 1)
    EXPECT_EQ(out.RED, (50 + 60 + 70 + 90 + 100 + 110 + 130 + 140 + 150 + 100) / 10);
    EXPECT_TRUE(b2.PaddingIntact());
}

TEST(Rotate, QuarterTurnTurnsTheRightBandIntoTheBottomBand) {
    Padded src(9, 9), dst(9, 9);
    for (int y = 0; y < 9; y++)
        for (int x = 7; x < 9; x++) src.At(x, y) = PixRec{0, 255, 0, 0};  // band at the right edge
    RotatePixMap(src.gw, dst.gw, Rect{0, 0, 9, 9}, M_PI / 2);
    // Positive angles turn clockwise on screen (y grows downwards): right goes to bottom.
    for (int x = 1; x < 8; x++) EXPECT_EQ(dst.At(x, 8).RED, 255) << x;
    for (int x = 0; x < 9; x++) EXPECT_EQ(dst.At(x, 0).RED, 0) << x;
    for (int y = 0; y < 6; y++) EXPECT_EQ(dst.At(8, y).RED + dst.At(0, y).RED, 0) << y;  // sides stay clear
    EXPECT_TRUE(dst.PaddingIntact());
}
}  // namespace
