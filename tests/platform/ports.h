// Offscreen 32-bit ports for the drawing tests: disposed with the test's scope, their row padding
// marked, pixels read and written as A, R, G, B bytes, and the two ways of drawing into them.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "common/PaddedBuffer.h"
#include "platform/CoreGraphics.h"
#include "platform/QuickDraw.h"

struct Pix {
    uint8_t a, r, g, b;
};
inline bool operator==(Pix p, Pix q) { return std::memcmp(&p, &q, 4) == 0; }

// A padded GWorld (common/PaddedBuffer.h) with its pixels read and written as Pix.
struct GW : testbuf::PaddedGWorld {
    GW(int w, int h, int padding = 0) : PaddedGWorld(w, h, padding) {}  // padding: extra bytes a row

    int Width() const { return w; }
    int Height() const { return h; }
    int32_t RowBytes() const { return rowBytes; }
    Pix At(int x, int y) const {
        Pix p;
        std::memcpy(&p, Byte(x, y), 4);
        return p;
    }
    void Set(int x, int y, Pix p) { std::memcpy(Byte(x, y), &p, 4); }
    void Fill(Pix p) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) Set(x, y, p);
    }
};

// Draws with QuickDraw on `gw`, white on its port, then makes the former port current again.
template <class F>
void InPort(GWorldPtr gw, F draw) {
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(gw, nullptr);
    const RGBColor white{65535, 65535, 65535};
    RGBForeColor(&white);
    draw();
    SetGWorld(save, nullptr);
}

// Draws through a Core Graphics context on `gw`.
template <class F>
void InCG(GWorldPtr gw, F draw) {
    CGContextRef ctx;
    ASSERT_EQ(QDBeginCGContext(gw, &ctx), noErr);
    draw(ctx);
    QDEndCGContext(gw, &ctx);
    CGContextRelease(ctx);
}
