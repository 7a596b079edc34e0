// The plain row kernels: the reference every faster level is tested against, and all that a
// processor without a faster level (s390x) runs. One pixel at a time, byte by byte.
#include <cstddef>
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
void BlendSpans8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, const SampleSpan* spans, int32_t n) {
    for (int32_t k = 0; k < n; k++) {
        const int32_t at = spans[k].at;
        Blend8(a + at, b + at, w + at, out + at, spans[k].count);
    }
}
void BlendSpans16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, const SampleSpan* spans,
                  int32_t n) {
    for (int32_t k = 0; k < n; k++) {
        const int32_t at = spans[k].at;
        Blend16(a + at, b + at, w + at, out + at, spans[k].count);
    }
}
// --- Opaque copy ---
void OpaqueCopy(const uint8_t* src, uint8_t* dst, int32_t count, AlphaByte at) {
    const int A = AlphaOffset(at);
    for (int32_t x = 0; x < count; x++, src += 4, dst += 4) {
        std::memmove(dst, src, 4);
        dst[A] = 255;
    }
}

// --- Alpha from a mask ---
inline uint8_t PremulChannel(uint8_t c, uint32_t a) { return uint8_t((uint32_t(c) * a) / 255); }

// The mask's red is the first colour byte: 1 with the alpha first, 0 with it last.
template <int A>
void AlphaFromRedT(const uint8_t* mask, const uint8_t* colour, uint8_t* layer, int32_t count, bool invert,
                   bool premultiply) {
    constexpr int R = A == 0 ? 1 : 0;
    for (int32_t x = 0; x < count; x++, mask += 4, colour += 4, layer += 4) {
        uint8_t p[4];
        std::memcpy(p, colour, 4);
        const uint8_t a = invert ? uint8_t(255 - mask[R]) : mask[R];
        if (premultiply && a != 255)
            for (int k = 0; k < 4; k++) p[k] = a == 0 ? 0 : PremulChannel(p[k], a);
        p[A] = a;
        std::memcpy(layer, p, 4);
    }
}
void AlphaFromRed(const uint8_t* mask, const uint8_t* colour, uint8_t* layer, int32_t count, bool invert,
                  bool premultiply, AlphaByte at) {
    if (AlphaOffset(at) == 0)
        AlphaFromRedT<0>(mask, colour, layer, count, invert, premultiply);
    else
        AlphaFromRedT<3>(mask, colour, layer, count, invert, premultiply);
}

// --- Rows into one, alpha first: byte 0 of a pixel is its alpha ---
void Add(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count, bool normalise) {
    for (int32_t x = 0; x < count; x++, s1 += 4, s2 += 4, d += 4) {
        d[0] = s1[0];
        for (int k = 1; k < 4; k++) {
            const int sum = s1[k] + s2[k];
            d[k] = uint8_t(normalise ? sum / 2 : sum < 255 ? sum
                                                           : 255);
        }
    }
}

void AddAlpha(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count, bool useSource1, bool invert) {
    for (int32_t x = 0; x < count; x++, s1 += 4, s2 += 4, d += 4) {
        double w = (useSource1 ? s1[0] : s2[0]) / 255.0;
        if (invert) w = 1 - w;
        const uint8_t a = s1[0];
        for (int k = 1; k < 4; k++) {
            const int v = int32_t(s1[k] * w) + int32_t(s2[k] * (1 - w));
            d[k] = uint8_t(v < 255 ? v : 255);
        }
        d[0] = a;
    }
}

void Multiply(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count) {
    for (int32_t x = 0; x < count; x++, s1 += 4, s2 += 4, d += 4) {
        d[0] = s1[0];
        for (int k = 1; k < 4; k++) d[k] = uint8_t(s1[k] * s2[k] / 255);
    }
}

void Invert(const uint8_t* s, uint8_t* d, int32_t count) {
    for (int32_t x = 0; x < count; x++, s += 4, d += 4) {
        d[0] = s[0];
        for (int k = 1; k < 4; k++) d[k] = uint8_t(255 - s[k]);
    }
}

// Worked out exactly as (src alpha + dst (100 - alpha)) div 100: with p and 1 - p as doubles some
// exact quotients would come out one below, so that a colour blended with itself could darken.
void Blend(const uint8_t* s, uint8_t* d, int32_t count, int16_t alpha) {
    const int a = alpha < 0 ? 0 : alpha > 100 ? 100
                                              : alpha,
              b = 100 - a;
    for (int32_t x = 0; x < count; x++, s += 4, d += 4) {
        for (int k = 1; k < 4; k++) d[k] = uint8_t((s[k] * a + d[k] * b) / 100);
        d[0] = s[0];
    }
}

void Average(const uint8_t* const* rows, int32_t n, uint8_t* d, int32_t count) {
    for (int32_t x = 0; x < count; x++, d += 4) {
        const size_t at = size_t(x) * 4;
        int32_t sum[4] = {0, 0, 0, 0};
        for (int32_t r = 0; r < n; r++)
            for (int k = 1; k < 4; k++) sum[k] += rows[r][at + size_t(k)];
        const uint8_t a = rows[n - 1][at];
        for (int k = 1; k < 4; k++) d[k] = uint8_t(int32_t(double(sum[k]) / n));
        d[0] = a;
    }
}

void SetAlpha(uint8_t* row, int32_t count, uint8_t alpha) {
    for (int32_t x = 0; x < count; x++) row[size_t(x) * 4] = alpha;
}
}  // namespace

void FillRowsScalar(RowKernels& k) {
    k.Over = Over;
    k.Blend8 = Blend8;
    k.Blend16 = Blend16;
    k.BlendSpans8 = BlendSpans8;
    k.BlendSpans16 = BlendSpans16;
    k.OpaqueCopy = OpaqueCopy;
    k.AlphaFromRed = AlphaFromRed;
    k.Add = Add;
    k.AddAlpha = AddAlpha;
    k.Multiply = Multiply;
    k.Invert = Invert;
    k.Blend = Blend;
    k.Average = Average;
    k.SetAlpha = SetAlpha;
}
