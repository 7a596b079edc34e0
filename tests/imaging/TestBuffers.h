// Buffers for the pixel tests: a padded GWorld (common/PaddedBuffer.h), locked as the imaging
// layer allocates them, filled with one pixel or with seeded random bytes, read as PixRecs.
#pragma once
#include <cstring>
#include <random>

#include "common/PaddedBuffer.h"
#include "imaging/commonprocs.h"

namespace testbuf {
inline bool Same(const PixRec& a, const PixRec& b) { return std::memcmp(&a, &b, 4) == 0; }
inline PixRec& At(GWorldPtr gw, int x, int y) {
    return PixRow(GetPixBaseAddr(GetGWorldPixMap(gw)), GetPixRowBytes(GetGWorldPixMap(gw)), y)[x];
}

struct Buf : PaddedGWorld {
    // Seed 0 leaves the pixels zero; any other fills them with bytes from a generator of that seed.
    Buf(int wid, int hig, uint32_t seed = 0, int padding = 12) : PaddedGWorld(wid, hig, padding) {
        LockGWorld(gw);
        std::mt19937 rng(seed);
        for (int y = 0; y < h; y++)
            for (int i = 0; i < 4 * w; i++) Byte(0, y)[i] = uint8_t(seed ? rng() : 0);
    }
    Buf(int wid, int hig, PixRec fill, int padding = 12) : Buf(wid, hig, 0, padding) { Fill(fill); }
    PixRec& At(int x, int y) { return PixRow(base, rowBytes, y)[x]; }
    void Fill(PixRec p) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) At(x, y) = p;
    }
    GWorldFlags State() const { return GetPixelsState(GetGWorldPixMap(gw)); }
};
}  // namespace testbuf
