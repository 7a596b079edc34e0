#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ports.h"

namespace {
CGImageRef Snapshot(GWorldPtr gw) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    Rect b;
    GetPortBounds(gw, &b);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef ctx = CGBitmapContextCreate(GetPixBaseAddr(pm), size_t(b.right), size_t(b.bottom), 8,
                                             size_t(GetPixRowBytes(pm)), space, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    CGImageRef img = CGBitmapContextCreateImage(ctx);
    CGContextRelease(ctx);
    return img;
}

// --- Snapshots ---
TEST(BitmapContext, ImageIsASnapshot) {
    GW gw(5, 4), out(5, 4);
    gw.Fill(Pix{255, 10, 20, 30});
    CGImageRef img = Snapshot(gw);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(CGImageGetWidth(img), 5u);
    EXPECT_EQ(CGImageGetHeight(img), 4u);
    gw.Fill(Pix{0, 0, 0, 0});
    InCG(out, [&](CGContextRef c) { CGContextDrawImage(c, CGRect{{0, 0}, {5, 4}}, img); });
    EXPECT_TRUE(out.At(2, 2) == (Pix{255, 10, 20, 30}));
    CGImageRelease(img);
}

// An image that reads a padded bitmap in place draws exactly as a copied snapshot, rotated and
// scaled as well as unscaled, and leaves the bitmap alone.
TEST(BitmapContext, ImageWithoutCopyDrawsAsTheSnapshot) {
    std::mt19937 rng(77);
    std::printf("seed 77\n");
    const int w = 17, h = 5, rowBytes = w * 4 + 12;
    std::vector<uint8_t> bits(size_t(rowBytes) * h, 0xC3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w * 4; x++) bits[size_t(y * rowBytes + x)] = uint8_t(rng());
    const std::vector<uint8_t> bitsBefore = bits;
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef ctx = CGBitmapContextCreate(bits.data(), w, h, 8, rowBytes, space, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    ASSERT_NE(ctx, nullptr);
    const int32_t live = CGImageLiveCount();
    CGImageRef copied = CGBitmapContextCreateImage(ctx), shared = CGBitmapContextCreateImageNoCopy(ctx);
    CGContextRelease(ctx);  // the image outlives the context; the pixels are the caller's
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(CGImageLiveCount(), live + 2);
    EXPECT_EQ(CGImageGetWidth(shared), size_t(w));
    EXPECT_EQ(CGImageGetHeight(shared), size_t(h));
    for (float angle : {0.0f, 0.7f}) {
        GW a(w + 3, h + 2), b(w + 3, h + 2);
        for (GW* gw : {&a, &b}) {
            CGImageRef img = gw == &a ? copied : shared;
            gw->Fill(Pix{255, 9, 99, 199});
            InCG(*gw, [&](CGContextRef c) {
                CGContextRotateCTM(c, angle);
                CGContextDrawImage(c, CGRect{{1, 1}, {float(w), float(h)}}, img);
            });
        }
        for (int y = 0; y < h + 2; y++)
            for (int x = 0; x < w + 3; x++) ASSERT_TRUE(a.At(x, y) == b.At(x, y)) << angle << " " << x << "," << y;
    }
    CGImageRelease(copied);
    CGImageRelease(shared);
    EXPECT_EQ(CGImageLiveCount(), live);
    EXPECT_EQ(bits, bitsBefore);
}

TEST(BitmapContext, ImageWithoutCopyOfAnOwningContextIsASnapshot) {
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef ctx = CGBitmapContextCreate(nullptr, 2, 2, 8, 0, space, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    ASSERT_NE(ctx, nullptr);
    CGContextSetRGBFillColor(ctx, 1, 0, 0, 1);
    CGContextFillRect(ctx, CGRect{{0, 0}, {2, 2}});
    CGImageRef img = CGBitmapContextCreateImageNoCopy(ctx);
    CGContextRelease(ctx);  // frees the context's own pixels; the image kept a copy
    GW out(2, 2);
    InCG(out, [&](CGContextRef c) { CGContextDrawImage(c, CGRect{{0, 0}, {2, 2}}, img); });
    EXPECT_TRUE(out.At(1, 1) == (Pix{255, 255, 0, 0}));
    CGImageRelease(img);
    EXPECT_EQ(CGBitmapContextCreateImageNoCopy(nullptr), nullptr);
}

// A context owns its pixels here (no data given): only the layout decides.
TEST(BitmapContext, RejectsOtherLayouts) {
    struct Layout {
        size_t w, h, bits, rowBytes;
        CGBitmapInfo info;
        bool made;
    };
    const Layout layouts[] = {
        {2, 2, 8, 8, 2, true},
        {2, 2, 8, 8, 1, false},
        {2, 2, 16, 8, 2, false},
        {2, 2, 8, 4, 2, false},  // rows shorter than 4 x width
        {0, 2, 8, 8, 2, false},
        {2, 0, 8, 8, 2, false},
        {32767, 1, 8, 0, 2, true},
        {32768, 1, 8, 0, 2, false},
        {1, 32767, 8, 0, 2, true},
        {1, 32768, 8, 0, 2, false},
    };
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    for (const Layout& l : layouts) {
        CGContextRef ctx = CGBitmapContextCreate(nullptr, l.w, l.h, l.bits, l.rowBytes, space, l.info);
        EXPECT_EQ(ctx != nullptr, l.made) << l.w << "x" << l.h << ", " << l.bits << " bits, " << l.rowBytes
                                          << " bytes a row, info " << l.info;
        if (ctx) CGContextRelease(ctx);
    }
    CGColorSpaceRelease(space);
}

TEST(Images, RetainReleaseAndCopyKeepCount) {
    const int32_t before = CGImageLiveCount();
    GW gw(3, 3);
    CGImageRef img = Snapshot(gw);
    CGImageRef copy = CGImageCreateCopy(img);
    CGImageRetain(img);
    CGImageRelease(img);
    CGImageRelease(img);
    EXPECT_EQ(CGImageGetWidth(copy), 3u);
    CGImageRelease(copy);
    EXPECT_EQ(CGImageLiveCount(), before);
}

// --- Drawing ---
TEST(DrawImage, QuarterTurnMovesTheMarkedCorner) {
    // Source 4 x 2 with its top-left pixel marked; turned a quarter counter-clockwise about the centre
    // of a 2 x 4 target the top-left corner lands at the bottom-left.
    GW src(4, 2), out(2, 4);
    src.Fill(Pix{255, 0, 0, 255});
    src.Set(0, 0, Pix{255, 255, 0, 0});
    CGImageRef img = Snapshot(src);
    InCG(out, [&](CGContextRef c) {
        CGContextTranslateCTM(c, 1, 2);
        CGContextRotateCTM(c, float(M_PI / 2));
        CGContextDrawImage(c, CGRect{{-2, -1}, {4, 2}}, img);
    });
    EXPECT_TRUE(out.At(0, 3) == (Pix{255, 255, 0, 0}));
    int red = 0;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 2; x++) red += out.At(x, y).r == 255;
    EXPECT_EQ(red, 1);
    CGImageRelease(img);
}

TEST(DrawImage, GlobalAlphaAndBlendModes) {
    GW src(2, 2), out(2, 2);
    src.Fill(Pix{255, 200, 0, 0});
    CGImageRef img = Snapshot(src);
    out.Fill(Pix{255, 0, 0, 200});
    InCG(out, [&](CGContextRef c) {
        CGContextSetAlpha(c, 5.0f);  // held to 1
        CGContextSetAlpha(c, 0.5f);
        CGContextDrawImage(c, CGRect{{0, 0}, {2, 2}}, img);
    });
    const Pix p = out.At(1, 1);
    EXPECT_NEAR(p.r, 100, 1);
    EXPECT_NEAR(p.b, 100, 1);
    EXPECT_EQ(p.a, 255);
    EXPECT_TRUE(CGBlendModeIsSupported(kCGBlendModeMultiply));
    EXPECT_FALSE(CGBlendModeIsSupported(kCGBlendModePlusDarker));
    CGImageRelease(img);
}

TEST(DrawImage, RotatedClearOnlyTouchesItsShape) {
    GW out(20, 20);
    out.Fill(Pix{255, 9, 9, 9});
    InCG(out, [](CGContextRef c) {
        CGContextTranslateCTM(c, 10, 10);
        CGContextRotateCTM(c, float(M_PI / 4));
        CGContextClearRect(c, CGRect{{-4, -4}, {8, 8}});
    });
    EXPECT_TRUE(out.At(10, 10) == (Pix{0, 0, 0, 0}));
    EXPECT_TRUE(out.At(0, 0) == (Pix{255, 9, 9, 9}));
    EXPECT_TRUE(out.At(4, 4) == (Pix{255, 9, 9, 9}));  // a corner of the unrotated square
}

// --- QuickDraw shapes: each drawn in white on a 10 x 10 port, then probed ---
struct Probe {
    int x, y;
    bool painted;
};
struct ShapeCase {
    const char* name;
    void (*draw)();
    std::vector<Probe> probes;
};
const ShapeCase kShapes[] = {
    {"oval", [] { Rect r{0, 0, 10, 10}; PaintOval(&r); }, {{5, 5, true}, {0, 0, false}}},
    {"arc 0..90", [] { Rect r{0, 0, 10, 10}; PaintArc(&r, 0, 90); }, {{7, 2, true}, {2, 7, false}, {7, 7, false}}},
    {"arc negative span", [] { Rect r{0, 0, 10, 10}; PaintArc(&r, 0, -90); }, {{2, 2, true}}},
    {"frame oval", [] { Rect r{0, 0, 10, 10}; FrameOval(&r); }, {{5, 0, true}, {5, 5, false}}},
    {"frame rect", [] { Rect r{2, 2, 8, 8}; FrameRect(&r); }, {{2, 5, true}, {5, 5, false}}},
    {"line", [] { MoveTo(0, 0); LineTo(9, 9); }, {{4, 4, true}}},
};
class Shapes : public ::testing::TestWithParam<ShapeCase> {};
TEST_P(Shapes, PaintsWhereItShould) {
    GW gw(10, 10);
    InPort(gw, GetParam().draw);
    for (const Probe& p : GetParam().probes)
        EXPECT_EQ(gw.At(p.x, p.y).r == 255, p.painted) << GetParam().name << " at " << p.x << "," << p.y;
}
INSTANTIATE_TEST_SUITE_P(Table, Shapes, ::testing::ValuesIn(kShapes));

TEST(Regions, EvenOddPolygonOffsetAndClip) {
    GW gw(17, 12, 8);
    InPort(gw, [&] {
        RgnHandle rgn = NewRgn();
        OpenRgn();
        MoveTo(-50, 0);  // a triangle reaching far outside the buffer
        LineTo(20, 0);
        LineTo(-50, 20);
        LineTo(-50, 0);
        CloseRgn(rgn);
        PaintRgn(rgn);
        EXPECT_EQ(gw.At(0, 0).r, 255);
        EXPECT_EQ(gw.At(16, 11).r, 0);
        OffsetRgn(rgn, 100, 0);
        const RGBColor black{0, 0, 0};
        RGBForeColor(&black);
        PaintRgn(rgn);  // now entirely to the right: nothing changes
        EXPECT_EQ(gw.At(0, 0).r, 255);
        DisposeRgn(rgn);
    });
    EXPECT_TRUE(gw.PaddingIntact());
}

TEST(Text, DrawStringStandsOnThePenAndAdvances) {
    GW gw(40, 20);
    static const unsigned char kHi[] = "\x02HI";
    Point pen;
    InPort(gw, [&] {
        MoveTo(5, 15);
        DrawString(kHi);
        GetPen(&pen);
    });
    EXPECT_EQ(pen.h, 5 + 12);
    EXPECT_EQ(StringWidth(kHi), 12);
    int inside = 0, outside = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 40; x++) {
            const bool lit = gw.At(x, y).r == 255;
            if (x >= 5 && x < 17 && y >= 8 && y < 15)
                inside += lit;
            else
                outside += lit;
        }
    EXPECT_GT(inside, 20);  // H and I are mostly strokes
    EXPECT_EQ(outside, 0);
}

TEST(PenModes, XorTwiceRestoresAndInvertRectInverts) {
    GW gw(4, 4);
    gw.Fill(Pix{255, 10, 20, 30});
    InPort(gw, [&] {
        Rect r{0, 0, 4, 4};
        InvertRect(&r);
        EXPECT_TRUE(gw.At(1, 1) == (Pix{255, 245, 235, 225}));
        InvertRect(&r);
        const RGBColor bg{0x8000, 0x8000, 0x8000};
        RGBBackColor(&bg);
        Rect e{0, 0, 1, 1};
        EraseRect(&e);
    });
    EXPECT_TRUE(gw.At(1, 1) == (Pix{255, 10, 20, 30}));
    EXPECT_TRUE(gw.At(0, 0) == (Pix{255, 128, 128, 128}));
}
}  // namespace
