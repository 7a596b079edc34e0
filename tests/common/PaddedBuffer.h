// 32-bit GWorlds for the pixel tests of every layer, kept as FFmpeg's checkasm keeps its buffers:
// every row ends in padding filled with a marker that a correct write never touches. The pixels
// start zero; the padding is whatever the allocator adds plus the bytes asked for.
#pragma once
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/QuickDraw.h"

namespace testbuf {
inline constexpr uint8_t cMarker = 0xA5;

// Byte 0 of pixel x of row y of gw (x = width gives the row's padding).
inline uint8_t* PixelByte(GWorldPtr gw, int x, int y) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return reinterpret_cast<uint8_t*>(GetPixBaseAddr(pm)) + ptrdiff_t(y) * GetPixRowBytes(pm) + 4 * x;
}
inline size_t PaddingBytes(GWorldPtr gw) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return size_t(GetPixRowBytes(pm) - 4 * pm->bounds.right);
}

inline void MarkPadding(GWorldPtr gw) {
    const Rect b = GetGWorldPixMap(gw)->bounds;
    for (int y = 0; y < b.bottom; y++) std::memset(PixelByte(gw, b.right, y), cMarker, PaddingBytes(gw));
}
inline bool PaddingIntact(GWorldPtr gw) {
    const Rect b = GetGWorldPixMap(gw)->bounds;
    for (int y = 0; y < b.bottom; y++)
        for (size_t i = 0; i < PaddingBytes(gw); i++)
            if (PixelByte(gw, b.right, y)[i] != cMarker) return false;
    return true;
}

// A GWorld whose rows carry `padding` more bytes (whole pixels), marked; the caller disposes it.
inline GWorldPtr NewPaddedGWorld(int wid, int hig, int padding) {
    QDSetExtraRowPadding(padding);
    const Rect r{0, 0, int16_t(hig), int16_t(wid)};
    GWorldPtr gw = nullptr;
    const OSErr err = NewGWorld(&gw, 32, &r, nullptr, nullptr, 0);
    QDSetExtraRowPadding(0);
    EXPECT_EQ(err, noErr) << wid << "x" << hig;
    if (gw) MarkPadding(gw);
    return gw;
}

// The same, disposed at the end of the scope.
struct PaddedGWorld {
    GWorldPtr gw;
    Ptr base;
    int32_t rowBytes;
    int w, h;
    PaddedGWorld(int wid, int hig, int padding)
        : gw(NewPaddedGWorld(wid, hig, padding)), base(GetPixBaseAddr(GetGWorldPixMap(gw))), rowBytes(GetPixRowBytes(GetGWorldPixMap(gw))), w(wid), h(hig) {}
    PaddedGWorld(const PaddedGWorld&) = delete;
    PaddedGWorld& operator=(const PaddedGWorld&) = delete;
    ~PaddedGWorld() { DisposeGWorld(gw); }
    operator GWorldPtr() const { return gw; }

    uint8_t* Byte(int x, int y) const { return PixelByte(gw, x, y); }
    bool PaddingIntact() const { return testbuf::PaddingIntact(gw); }
    // Every byte, padding included; or the pixels alone, row after row.
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(Byte(0, 0), Byte(0, h)); }
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < h; y++) out.insert(out.end(), Byte(0, y), Byte(w, y));
        return out;
    }
};
}  // namespace testbuf
