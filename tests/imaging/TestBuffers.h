// Buffers for the pixel tests: a GWorld whose row padding holds a marker that must survive, filled
// with one pixel or with seeded random bytes, disposed at the end of the scope.
#pragma once
#include <cstring>
#include <random>
#include <vector>

#include "imaging/commonprocs.h"

namespace testbuf {
constexpr uint8_t kMarker = 0xA5;

inline bool Same(const PixRec& a, const PixRec& b) { return std::memcmp(&a, &b, 4) == 0; }
inline PixRec& At(GWorldPtr gw, int x, int y) {
    return PixRow(GetPixBaseAddr(GetGWorldPixMap(gw)), GetPixRowBytes(GetGWorldPixMap(gw)), y)[x];
}

struct Buf {
    GWorldPtr gw;
    Ptr base;
    int32_t rowBytes;
    int w, h;
    // Seed 0 leaves the pixels zero; any other fills them with bytes from a generator of that seed.
    Buf(int wid, int hig, uint32_t seed = 0, int padding = 12) : w(wid), h(hig) {
        QDSetExtraRowPadding(padding);
        gw = AllocateGWorld(int16_t(wid), int16_t(hig));
        QDSetExtraRowPadding(0);
        base = GetPixBaseAddr(GetGWorldPixMap(gw));
        rowBytes = GetPixRowBytes(GetGWorldPixMap(gw));
        std::mt19937 rng(seed);
        for (int y = 0; y < h; y++) {
            for (int i = 0; i < 4 * w; i++) base[y * rowBytes + i] = char(seed ? rng() : 0);
            std::memset(base + y * rowBytes + 4 * w, kMarker, size_t(rowBytes - 4 * w));
        }
    }
    Buf(int wid, int hig, PixRec fill, int padding = 12) : Buf(wid, hig, 0, padding) { Fill(fill); }
    Buf(const Buf&) = delete;
    Buf& operator=(const Buf&) = delete;
    ~Buf() { DisposeGWorld(gw); }
    operator GWorldPtr() const { return gw; }
    PixRec& At(int x, int y) { return PixRow(base, rowBytes, y)[x]; }
    void Fill(PixRec p) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) At(x, y) = p;
    }
    // Every byte, padding included; or the pixels alone, row after row.
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(base, base + size_t(rowBytes) * h); }
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < h; y++) out.insert(out.end(), base + y * rowBytes, base + y * rowBytes + 4 * w);
        return out;
    }
    bool PaddingIntact() const {
        for (int y = 0; y < h; y++)
            for (int i = 4 * w; i < rowBytes; i++)
                if (uint8_t(base[y * rowBytes + i]) != kMarker) return false;
        return true;
    }
    GWorldFlags State() const { return GetPixelsState(GetGWorldPixMap(gw)); }
};
}  // namespace testbuf
