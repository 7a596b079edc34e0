// The SSE2 row kernels: four pixels a step in 128-bit vectors, the rest of a row one pixel at a
// time. x86-64 only, so a 32-bit lane is a little-endian word: byte 0 of a pixel is its low byte.
#include <emmintrin.h>

#include <cstring>

#include "imaging/rows_p.h"

namespace {
constexpr int AlphaOffset(AlphaByte at) { return at == AlphaByte::First ? 0 : 3; }

// --- Source-over ---
// Two 8-bit lanes at bits 0..7 and 16..23 of a word, times a, divided by 255 with rounding.
inline uint32_t MulLanes(uint32_t x, uint32_t a) {
    uint32_t t = (x & 0x00FF00FFu) * a + 0x00800080u;
    t = (t + ((t >> 8) & 0x00FF00FFu)) >> 8;
    return t & 0x00FF00FFu;
}
// Saturating add of two lane pairs.
inline uint32_t AddLanes(uint32_t x, uint32_t y) {
    uint32_t t = x + y;
    t |= 0x01000100u - ((t >> 8) & 0x00010001u);
    return t & 0x00FF00FFu;
}

template <int A>
void OverT(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha) {
    // Four pixels a step, branch-free: widened to 16 bits a pixel is four lanes, the alpha in lane
    // A. Opaque (1 - a = 0) and clear (s = 0) pixels come out of the same arithmetic as the scalar
    // loop's, so they need no case of their own.
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i full = _mm_set1_epi16(255);
    const __m128i ga = _mm_set1_epi16(galpha);
    constexpr int spread = A * 0x55;  // lane A of each pixel into all four
    auto Mul = [&](__m128i x, __m128i a) {  // round(x a / 255) per lane, x and a <= 255
        const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, a), half);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    auto OverLanes = [&](__m128i s16, __m128i d16) {
        if (galpha != 255) s16 = Mul(s16, ga);
        const __m128i ia = _mm_xor_si128(_mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, spread), spread), full);
        return _mm_add_epi16(s16, Mul(d16, ia));  // <= 510; the pack below holds it to 255
    };
    int32_t done = 0;
    for (; done + 4 <= count; done += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + size_t(done) * 4));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + size_t(done) * 4));
        const __m128i lo = OverLanes(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        const __m128i hi = OverLanes(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + size_t(done) * 4), _mm_packus_epi16(lo, hi));
    }
    // The rest a word at a time, in two lane pairs: w & 0x00FF00FF (bytes 0, 2) and w >> 8
    // (bytes 1, 3); the alpha is byte A.
    for (int32_t i = done; i < count; i++) {
        uint32_t s, d;
        std::memcpy(&s, src + size_t(i) * 4, 4);
        if (galpha != 255) s = MulLanes(s, galpha) | (MulLanes(s >> 8, galpha) << 8);
        const uint32_t sa = (s >> (8 * A)) & 0xFF;
        if (sa == 255) {
            std::memcpy(dst + size_t(i) * 4, &s, 4);
            continue;
        }
        if (s == 0) continue;
        std::memcpy(&d, dst + size_t(i) * 4, 4);
        const uint32_t ia = 255 - sa;
        const uint32_t even = AddLanes(s & 0x00FF00FFu, MulLanes(d, ia));
        const uint32_t odd = AddLanes((s >> 8) & 0x00FF00FFu, MulLanes(d >> 8, ia));
        d = even | (odd << 8);
        std::memcpy(dst + size_t(i) * 4, &d, 4);
    }
}
void Over(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha, AlphaByte at) {
    if (AlphaOffset(at) == 0)
        OverT<0>(src, dst, count, galpha);
    else
        OverT<3>(src, dst, count, galpha);
}

// --- Blends of two sample rows by a weight row; the ends of rows go to the scalar kernels ---
RowKernels lgBelow;

// Bytes: eight samples widened to 16-bit lanes; a (255 - w) + b w + 128 <= 65153 fits a lane.
inline __m128i Blend8Lanes(__m128i a, __m128i b, __m128i w) {
    const __m128i t = _mm_add_epi16(
        _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(_mm_set1_epi16(255), w)), _mm_mullo_epi16(b, w)),
        _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}
void Blend8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i));
        const __m128i lo =
            Blend8Lanes(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero), _mm_unpacklo_epi8(vw, zero));
        const __m128i hi =
            Blend8Lanes(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero), _mm_unpackhi_epi8(vw, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
    lgBelow.Blend8(a + i, b + i, w + i, out + i, count - i);
}
// 16-bit: the samples less 32768 fit signed lanes (the weights sum to 16384, so the offset comes
// out whole), and one multiply-add of the pairs (a', b') x (16384 - W, W) gives 32-bit sums.
void Blend16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    const __m128i zero = _mm_setzero_si128(), flip = _mm_set1_epi16(int16_t(0x8000));
    const __m128i two = _mm_set1_epi16(2), whole = _mm_set1_epi16(16384), half = _mm_set1_epi32(8192);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i va = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)), flip);
        const __m128i vb = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)), flip);
        const __m128i w16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + i)), zero);
        const __m128i W = _mm_add_epi16(_mm_slli_epi16(w16, 6), _mm_srli_epi16(_mm_add_epi16(w16, two), 2));
        const __m128i IW = _mm_sub_epi16(whole, W);
        const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(va, vb), _mm_unpacklo_epi16(IW, W));
        const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(va, vb), _mm_unpackhi_epi16(IW, W));
        const __m128i r =
            _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, half), 14), _mm_srai_epi32(_mm_add_epi32(hi, half), 14));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_xor_si128(r, flip));
    }
    lgBelow.Blend16(a + i, b + i, w + i, out + i, count - i);
}
}  // namespace

void FillRowsSSE2(RowKernels& k) {
    FillRowsScalar(k);
    lgBelow = k;
    k.Over = Over;
    k.Blend8 = Blend8;
    k.Blend16 = Blend16;
}
