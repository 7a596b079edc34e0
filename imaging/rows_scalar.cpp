// The plain row kernels: the reference every faster level is tested against, and all that a
// processor without a faster level (s390x) runs. One pixel at a time, byte by byte.
#include <cstring>

#include "imaging/rows_p.h"

namespace {
constexpr int AlphaOffset(AlphaByte at) { return at == AlphaByte::First ? 0 : 3; }

inline uint32_t MulUn8(uint32_t x, uint32_t a) {  // round(x * a / 255) as the compositor rounds
    const uint32_t t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}

// --- Source-over ---
template <int A>
void OverT(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha) {
    for (int32_t i = 0; i < count; i++, src += 4, dst += 4) {
        uint32_t s[4];
        for (int k = 0; k < 4; k++) s[k] = galpha == 255 ? src[k] : MulUn8(src[k], galpha);
        const uint32_t ia = 255 - s[A];
        for (int k = 0; k < 4; k++) {
            const uint32_t v = s[k] + MulUn8(dst[k], ia);
            dst[k] = uint8_t(v < 255 ? v : 255);
        }
    }
}
void Over(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha, AlphaByte at) {
    if (AlphaOffset(at) == 0)
        OverT<0>(src, dst, count, galpha);
    else
        OverT<3>(src, dst, count, galpha);
}

// --- Blends of two sample rows by a weight row ---
void Blend8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t t = uint32_t(a[i]) * (255u - w[i]) + uint32_t(b[i]) * w[i] + 128u;
        out[i] = uint8_t((t + (t >> 8)) >> 8);
    }
}
void Blend16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t W = (uint32_t(w[i]) << 6) + ((uint32_t(w[i]) + 2u) >> 2);
        out[i] = uint16_t((uint32_t(a[i]) * (16384u - W) + uint32_t(b[i]) * W + 8192u) >> 14);
    }
}
}  // namespace

void FillRowsScalar(RowKernels& k) {
    k.Over = Over;
    k.Blend8 = Blend8;
    k.Blend16 = Blend16;
}
