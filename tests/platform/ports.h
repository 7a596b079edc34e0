// Offscreen 32-bit ports for the drawing tests: disposed with the test's scope, pixels read and
// written as A, R, G, B bytes, and the two ways of drawing into them.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "platform/CoreGraphics.h"
#include "platform/QuickDraw.h"

struct Pix {
    uint8_t a, r, g, b;
};
inline bool operator==(Pix p, Pix q) { return std::memcmp(&p, &q, 4) == 0; }

struct GW {
    GWorldPtr gw = nullptr;
    GW(int w, int h, int padding = 0) {  // padding: extra bytes at the end of every row
        QDSetExtraRowPadding(padding);
        const Rect r{0, 0, int16_t(h), int16_t(w)};
        EXPECT_EQ(NewGWorld(&gw, 32, &r, nullptr, nullptr, 0), noErr);
        QDSetExtraRowPadding(0);
    }
    GW(const GW&) = delete;
    GW& operator=(const GW&) = delete;
    ~GW() { DisposeGWorld(gw); }
    operator GWorldPtr() const { return gw; }

    int Width() const { return GetGWorldPixMap(gw)->bounds.right; }
    int Height() const { return GetGWorldPixMap(gw)->bounds.bottom; }
    int32_t RowBytes() const { return GetPixRowBytes(GetGWorldPixMap(gw)); }
    uint8_t* Byte(int x, int y) const {
        return reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(gw))) + y * RowBytes() + x * 4;
    }
    Pix At(int x, int y) const {
        Pix p;
        std::memcpy(&p, Byte(x, y), 4);
        return p;
    }
    void Set(int x, int y, Pix p) { std::memcpy(Byte(x, y), &p, 4); }
    void Fill(Pix p) {
        for (int y = 0; y < Height(); y++)
            for (int x = 0; x < Width(); x++) Set(x, y, p);
    }
    // Marks every padding byte so that writes past the row end show up.
    void MarkPadding() {
        for (int y = 0; y < Height(); y++) std::memset(Byte(Width(), y), 0xA5, size_t(RowBytes() - 4 * Width()));
    }
    bool PaddingIntact() const {
        for (int y = 0; y < Height(); y++)
            for (int i = 0; i < RowBytes() - 4 * Width(); i++)
                if (Byte(Width(), y)[i] != 0xA5) return false;
        return true;
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
