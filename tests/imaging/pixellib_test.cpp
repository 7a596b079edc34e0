#include "imaging/pixellib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/commonprocs.h"

namespace {
// A buffer with row padding whose padding bytes carry a marker that must survive every operation.
struct Padded {
    GWorldPtr gw;
    Ptr base;
    int32_t rowBytes;
    int w, h;
    Padded(int wid, int hig, int padding = 8) : w(wid), h(hig) {
        QDSetExtraRowPadding(padding);
        gw = AllocateGWorld(int16_t(wid), int16_t(hig));
        QDSetExtraRowPadding(0);
        base = GetPixBaseAddr(GetGWorldPixMap(gw));
        rowBytes = GetPixRowBytes(GetGWorldPixMap(gw));
        for (int y = 0; y < h; y++) std::memset(base + y * rowBytes + 4 * w, 0xA5, rowBytes - 4 * w);
    }
    ~Padded() { DisposeGWorld(gw); }
    PixRec& At(int x, int y) { return PixRow(base, rowBytes, y)[x]; }
    bool PaddingIntact() const {
        for (int y = 0; y < h; y++)
            for (int i = 4 * w; i < rowBytes; i++)
                if (uint8_t(base[y * rowBytes + i]) != 0xA5) return false;
        return true;
    }
    GWorldFlags State() { return GetPixelsState(GetGWorldPixMap(gw)); }
};

TEST(PixRecLayout, BytesAreAlphaRedGreenBlueInMemory) {
    Padded g(3, 2);
    const PixRec p{1, 2, 3, 4};
    PSetPixel(g.base, g.rowBytes, 1, 1, &p);
    const auto* bytes = reinterpret_cast<const uint8_t*>(g.base + g.rowBytes + 4);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(bytes[3], 4);
    PixRec back;
    PGetPixel(g.base, g.rowBytes, 1, 1, back);
    EXPECT_EQ(std::memcmp(&back, &p, 4), 0);
    EXPECT_TRUE(g.PaddingIntact());
}

TEST(PixInfo, SecondRowStartsAfterThePadding) {
    Padded g(5, 2, 8);
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
    EXPECT_EQ(Depth2Size(8), 1);
    EXPECT_EQ(Depth2Size(16), 2);
    EXPECT_EQ(Depth2Size(24), 4);
    EXPECT_EQ(Depth2Size(32), 4);
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
}

TEST(Pixel2RGBA, WidensByMultiplyingWith256) {
    RGBColor c;
    int16_t a;
    Pixel2RGBA(PixRec{200, 255, 1, 0}, c, a);
    EXPECT_EQ(c, (RGBColor{65280, 256, 0}));
    EXPECT_EQ(a, 200);
}

TEST(SetPixMapPixels, WritesInsideOnlyWithAlphaZeroAndRestoresState) {
    Padded g(17, 5);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 17; x++) g.At(x, y) = PixRec{77, 1, 1, 1};
    const GWorldFlags before = g.State();
    SetPixMapPixels(g.gw, Rect{1, 2, 4, 30}, 10, 20, 30);
    EXPECT_EQ(g.State(), before);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 17; x++) {
            const bool in = x >= 2 && y >= 1 && y < 4;
            const PixRec p = g.At(x, y);
            EXPECT_EQ(p.ALPHA, in ? 0 : 77);
            EXPECT_EQ(p.BLUE, in ? 30 : 1);
        }
    EXPECT_TRUE(g.PaddingIntact());
    SetPixMapPixels(nullptr, Rect{0, 0, 1, 1}, 0, 0, 0);  // absent buffer: nothing
}

struct PlotCase {
    int x, y, size, expected;
};
class PlotPixel : public ::testing::TestWithParam<PlotCase> {};
TEST_P(PlotPixel, PaintsTheClippedSquare) {
    const PlotCase c = GetParam();
    Padded g(3, 3);
    PPlotPixel(g.gw, int16_t(c.x), int16_t(c.y), int16_t(c.size), true, true, PixRec{1, 2, 3, 4});
    int count = 0;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) count += g.At(x, y).RED == 2;
    EXPECT_EQ(count, c.expected);
    EXPECT_TRUE(g.PaddingIntact());
}
INSTANTIATE_TEST_SUITE_P(Cases, PlotPixel,
                         ::testing::Values(PlotCase{1, 1, 0, 1}, PlotCase{1, 1, 1, 9}, PlotCase{0, 0, 1, 4},
                                           PlotCase{2, 2, 5, 9}, PlotCase{3, 1, 1, 0}, PlotCase{-1, 0, 1, 0}));

TEST(PixelAlpha, SetAndBlendFollowTheirArithmetic) {
    Padded g(4, 4);
    PSetGWPixelAndAlpha(g.gw, 2, 2, RGBColor{65535, 32768, 255}, 0x1FF, 5);
    EXPECT_EQ(g.At(3, 3).ALPHA, 0xFF);
    EXPECT_EQ(g.At(3, 3).RED, 255);
    EXPECT_EQ(g.At(3, 3).GREEN, 128);
    EXPECT_EQ(g.At(3, 3).BLUE, 0);
    EXPECT_EQ(g.At(1, 1).RED, 0);
    g.At(0, 0) = PixRec{9, 100, 200, 0};
    PSetGWPixelUsingAlpha(g.gw, 0, 0, 0.25, RGBColor{65535, 0, 65535}, 1);
    // trunc(old x 0.75) + trunc(new x 0.25)
    EXPECT_EQ(g.At(0, 0).RED, 75 + 63);
    EXPECT_EQ(g.At(0, 0).GREEN, 150);
    EXPECT_EQ(g.At(0, 0).BLUE, 63);
    EXPECT_EQ(g.At(0, 0).ALPHA, 9);
    EXPECT_TRUE(g.PaddingIntact());
}

TEST(CombineUsingAlpha, MixesTwoSourcesIntoTheTarget) {
    Padded a(3, 3), b(3, 3), t(3, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) a.At(x, y) = PixRec{5, 200, 100, 0}, b.At(x, y) = PixRec{6, 0, 100, 200};
    PCombineGWAndPutUsingAlpha(a.gw, b.gw, t.gw, 1, 1, 0, 0, 51, false, 4);  // p = 0.2
    EXPECT_EQ(t.At(0, 0).RED, 40);
    EXPECT_EQ(t.At(0, 0).GREEN, 100);
    EXPECT_EQ(t.At(0, 0).BLUE, 160);
    EXPECT_EQ(t.At(1, 1).RED, 40);   // 2 x 2 fits before the first source's edge
    EXPECT_EQ(t.At(2, 2).RED, 0);    // beyond it: untouched
    PCombineGWAndPutUsingAlpha(a.gw, b.gw, t.gw, 0, 0, 2, 2, 51, true, 1);  // inverted: p = 0.8
    EXPECT_EQ(t.At(2, 2).RED, 160);
    EXPECT_TRUE(t.PaddingIntact());
}

TEST(Smudge, AveragesTheClippedSquareWithWeightedSecondSource) {
    Padded a(3, 3), b(3, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) a.At(x, y) = PixRec{0, uint8_t(10 * (x + 3 * y)), 0, 0};
    PixRec out{};
    PSmudgePixel(a.gw, nullptr, 1, 0, 0, false, 0x17F, out);
    EXPECT_EQ(out.RED, (0 + 10 + 30 + 40) / 4);
    EXPECT_EQ(out.ALPHA, 0x7F);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) b.At(x, y) = PixRec{51, 100, 0, 0};
    PSmudgePixel(a.gw, b.gw, 0, 1, 1, true, 0, out);
    // (40 + trunc(100 x 0.2)) / (1 + 0.2)
    EXPECT_EQ(out.RED, 50);
}

// Blocks hanging over every edge of the target, and second sources smaller than the first: only
// the pixels that all three buffers hold are touched (padding and ASan catch the rest).
struct ClipCase {
    int SX, SY, TX, TY, size, s2w, s2h;
};
class CombineClip : public ::testing::TestWithParam<ClipCase> {};
TEST_P(CombineClip, WritesOnlyWhereEveryBufferHasThePixel) {
    const ClipCase c = GetParam();
    Padded a(4, 4), b(c.s2w, c.s2h), t(3, 3);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) a.At(x, y) = PixRec{5, 200, 100, 0};
    for (int y = 0; y < c.s2h; y++)
        for (int x = 0; x < c.s2w; x++) b.At(x, y) = PixRec{6, 0, 100, 200};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) t.At(x, y) = PixRec{1, 1, 1, 1};
    PCombineGWAndPutUsingAlpha(a.gw, b.gw, t.gw, int16_t(c.SX), int16_t(c.SY), int16_t(c.TX), int16_t(c.TY), 51,
                               false, int16_t(c.size));
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) {
            const int h = x - c.TX, v = y - c.TY, sx = c.SX + h, sy = c.SY + v;
            const bool written = h >= 0 && v >= 0 && h < c.size && v < c.size && sx < 4 && sy < 4 && sx < c.s2w &&
                                 sy < c.s2h;
            EXPECT_EQ(t.At(x, y).RED, written ? 40 : 1) << x << "," << y;
        }
    EXPECT_TRUE(t.PaddingIntact());
    EXPECT_TRUE(b.PaddingIntact());
}
INSTANTIATE_TEST_SUITE_P(Cases, CombineClip,
                         ::testing::Values(ClipCase{0, 0, -2, -2, 4, 4, 4}, ClipCase{0, 0, -1, 1, 3, 4, 4},
                                           ClipCase{1, 1, 2, -2, 5, 4, 4}, ClipCase{0, 0, -30000, 0, 3, 4, 4},
                                           ClipCase{0, 0, 0, 0, 4, 2, 3}, ClipCase{2, 1, -1, 0, 4, 3, 2},
                                           ClipCase{1, 1, 0, 0, 4, 1, 1}));

TEST(Smudge, ASmallerSecondSourceAddsOnlyThePixelsItHas) {
    Padded a(4, 4), b(2, 2);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) a.At(x, y) = PixRec{0, uint8_t(10 * (x + 4 * y)), 0, 0};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++) b.At(x, y) = PixRec{255, 100, 0, 0};
    PixRec out{};
    PSmudgePixel(a.gw, b.gw, 1, 3, 3, false, 0, out);  // b has none of the square
    EXPECT_EQ(out.RED, (100 + 110 + 140 + 150) / 4);
    PSmudgePixel(a.gw, b.gw, 1, 2, 2, false, 0, out);  // b has only (1, 1)
    EXPECT_EQ(out.RED, (50 + 60 + 70 + 90 + 100 + 110 + 130 + 140 + 150 + 100) / 10);
    EXPECT_TRUE(b.PaddingIntact());
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
