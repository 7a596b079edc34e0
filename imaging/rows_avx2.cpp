// The AVX2 row kernels: eight pixels a step; the 256-bit operations work on two 128-bit halves
// side by side, each exactly as the SSE2 loop. The rest of a row goes to the SSE2 level's kernel,
// but for the blends, which take their short stretches in 128-bit steps here: a call each would
// cost more than the blend.
// This file alone is compiled with -mavx2 and includes no header with inline code of ours, so no
// AVX2 instruction reaches code that runs before the level is chosen.
#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "imaging/rows_p.h"

namespace {
RowKernels lgBelow;  // the SSE2 level's table, for the ends of rows

constexpr int AlphaOffset(AlphaByte at) { return at == AlphaByte::First ? 0 : 3; }

// --- Source-over ---
inline __m256i Mul(__m256i x, __m256i a) {  // round(x a / 255) per lane, x and a <= 255
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(x, a), _mm256_set1_epi16(0x80));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}
template <int A>
inline __m256i OverLanes(__m256i s16, __m256i d16, uint8_t galpha) {
    constexpr int spread = A * 0x55;  // lane A of each pixel into all four
    if (galpha != 255) s16 = Mul(s16, _mm256_set1_epi16(galpha));
    const __m256i ia = _mm256_xor_si256(_mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, spread), spread),
                                        _mm256_set1_epi16(255));
    return _mm256_add_epi16(s16, Mul(d16, ia));
}
template <int A>
int32_t OverT(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha) {
    const __m256i zero = _mm256_setzero_si256();
    int32_t done = 0;
    for (; done + 8 <= count; done += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + size_t(done) * 4));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + size_t(done) * 4));
        const __m256i lo = OverLanes<A>(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero), galpha);
        const __m256i hi = OverLanes<A>(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero), galpha);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + size_t(done) * 4), _mm256_packus_epi16(lo, hi));
    }
    return done;
}
void Over(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha, AlphaByte at) {
    const int32_t done = AlphaOffset(at) == 0 ? OverT<0>(src, dst, count, galpha) : OverT<3>(src, dst, count, galpha);
    lgBelow.Over(src + size_t(done) * 4, dst + size_t(done) * 4, count - done, galpha, at);
}

// --- Blends of two sample rows by a weight row ---
inline __m256i Div255(__m256i t) { return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8); }
// 32 bytes a step. The samples less 128 are signed bytes, so one multiply-add of the byte pairs
// (255 - w, w) x (a - 128, b - 128) gives a (255 - w) + b w - 32640 in a 16-bit lane (|.| <= 32640);
// adding 32640 + 128 gives the scalar loop's t, divided by 255 as there.
inline __m256i Blend8x32(const uint8_t* a, const uint8_t* b, const uint8_t* w) {
    const __m256i flip = _mm256_set1_epi8(int8_t(0x80)), ones = _mm256_set1_epi8(-1);
    const __m256i offset = _mm256_set1_epi16(int16_t(32640 + 128));
    const __m256i va = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)), flip);
    const __m256i vb = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)), flip);
    const __m256i vw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
    const __m256i iw = _mm256_xor_si256(vw, ones);  // 255 - w
    const __m256i lo =
        _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(iw, vw), _mm256_unpacklo_epi8(va, vb)), offset);
    const __m256i hi =
        _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(iw, vw), _mm256_unpackhi_epi8(va, vb)), offset);
    return _mm256_packus_epi16(Div255(lo), Div255(hi));
}
// The same on sixteen samples, and on eight in the low half.
inline __m128i Blend8Pairs(__m128i va, __m128i vb, __m128i vw, bool high) {
    const __m128i flip = _mm_set1_epi8(int8_t(0x80)), iw = _mm_xor_si128(vw, _mm_set1_epi8(-1));
    const __m128i offset = _mm_set1_epi16(int16_t(32640 + 128));
    va = _mm_xor_si128(va, flip);
    vb = _mm_xor_si128(vb, flip);
    const __m128i t = high ? _mm_maddubs_epi16(_mm_unpackhi_epi8(iw, vw), _mm_unpackhi_epi8(va, vb))
                           : _mm_maddubs_epi16(_mm_unpacklo_epi8(iw, vw), _mm_unpacklo_epi8(va, vb));
    const __m128i u = _mm_add_epi16(t, offset);
    return _mm_srli_epi16(_mm_add_epi16(u, _mm_srli_epi16(u, 8)), 8);
}
inline __m128i Blend8x16(const uint8_t* a, const uint8_t* b, const uint8_t* w) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i vw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    return _mm_packus_epi16(Blend8Pairs(va, vb, vw, false), Blend8Pairs(va, vb, vw, true));
}
inline __m128i Blend8x8(const uint8_t* a, const uint8_t* b, const uint8_t* w) {
    const __m128i r = Blend8Pairs(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)), false);
    return _mm_packus_epi16(r, r);
}
// The end of a row is one more step overlapping the one before, worked out before anything is
// stored (out may be a or b); the last few samples of a short row one at a time.
inline void Blend8Row(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    if (count >= 32) {
        const int32_t end = count - 32;
        const __m256i last = Blend8x32(a + end, b + end, w + end);
        for (int32_t i = 0; i < end; i += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Blend8x32(a + i, b + i, w + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + end), last);
    } else if (count >= 16) {
        const int32_t end = count - 16;
        const __m128i first = Blend8x16(a, b, w), last = Blend8x16(a + end, b + end, w + end);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + end), last);
    } else if (count >= 8) {
        const int32_t end = count - 8;
        const __m128i first = Blend8x8(a, b, w), last = Blend8x8(a + end, b + end, w + end);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + end), last);
    } else {
        for (int32_t i = 0; i < count; i++) {
            const uint32_t t = uint32_t(a[i]) * (255u - w[i]) + uint32_t(b[i]) * w[i] + 128u;
            out[i] = uint8_t((t + (t >> 8)) >> 8);
        }
    }
}
// 16 samples a step, as the SSE2 loop (samples less 32768, one multiply-add per pair); eight and
// four in 128-bit steps.
inline __m256i Blend16x16(const uint16_t* a, const uint16_t* b, const uint8_t* w) {
    const __m256i flip = _mm256_set1_epi16(int16_t(0x8000)), two = _mm256_set1_epi16(2);
    const __m256i whole = _mm256_set1_epi16(16384), half = _mm256_set1_epi32(8192);
    const __m256i va = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)), flip);
    const __m256i vb = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)), flip);
    const __m256i w16 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)));
    const __m256i W = _mm256_add_epi16(_mm256_slli_epi16(w16, 6), _mm256_srli_epi16(_mm256_add_epi16(w16, two), 2));
    const __m256i IW = _mm256_sub_epi16(whole, W);
    const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(va, vb), _mm256_unpacklo_epi16(IW, W));
    const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(va, vb), _mm256_unpackhi_epi16(IW, W));
    const __m256i r = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, half), 14),
                                         _mm256_srai_epi32(_mm256_add_epi32(hi, half), 14));
    return _mm256_xor_si256(r, flip);
}
inline __m128i Blend16Lanes(__m128i va, __m128i vb, __m128i w16) {
    const __m128i flip = _mm_set1_epi16(int16_t(0x8000)), two = _mm_set1_epi16(2);
    const __m128i whole = _mm_set1_epi16(16384), half = _mm_set1_epi32(8192);
    va = _mm_xor_si128(va, flip);
    vb = _mm_xor_si128(vb, flip);
    const __m128i W = _mm_add_epi16(_mm_slli_epi16(w16, 6), _mm_srli_epi16(_mm_add_epi16(w16, two), 2));
    const __m128i IW = _mm_sub_epi16(whole, W);
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(va, vb), _mm_unpacklo_epi16(IW, W));
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(va, vb), _mm_unpackhi_epi16(IW, W));
    const __m128i r =
        _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, half), 14), _mm_srai_epi32(_mm_add_epi32(hi, half), 14));
    return _mm_xor_si128(r, flip);
}
inline __m128i Blend16x8(const uint16_t* a, const uint16_t* b, const uint8_t* w) {
    return Blend16Lanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)),
                        _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w))));
}
inline __m128i Blend16x4(const uint16_t* a, const uint16_t* b, const uint8_t* w) {
    int32_t w4;
    std::memcpy(&w4, w, 4);
    return Blend16Lanes(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)), _mm_cvtepu8_epi16(_mm_cvtsi32_si128(w4)));
}
inline void Blend16Row(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    if (count >= 16) {  // as Blend8Row
        const int32_t end = count - 16;
        const __m256i last = Blend16x16(a + end, b + end, w + end);
        for (int32_t i = 0; i < end; i += 16)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Blend16x16(a + i, b + i, w + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + end), last);
    } else if (count >= 8) {
        const int32_t end = count - 8;
        const __m128i first = Blend16x8(a, b, w), last = Blend16x8(a + end, b + end, w + end);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + end), last);
    } else if (count >= 4) {
        const int32_t end = count - 4;
        const __m128i first = Blend16x4(a, b, w), last = Blend16x4(a + end, b + end, w + end);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + end), last);
    } else {
        for (int32_t i = 0; i < count; i++) {
            const uint32_t W = (uint32_t(w[i]) << 6) + ((uint32_t(w[i]) + 2u) >> 2);
            out[i] = uint16_t((uint32_t(a[i]) * (16384u - W) + uint32_t(b[i]) * W + 8192u) >> 14);
        }
    }
}
void Blend8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    Blend8Row(a, b, w, out, count);
}
void Blend16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    Blend16Row(a, b, w, out, count);
}
void BlendSpans8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, const SampleSpan* spans, int32_t n) {
    for (int32_t k = 0; k < n; k++) {
        const int32_t at = spans[k].at;
        Blend8Row(a + at, b + at, w + at, out + at, spans[k].count);
    }
}
void BlendSpans16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, const SampleSpan* spans,
                  int32_t n) {
    for (int32_t k = 0; k < n; k++) {
        const int32_t at = spans[k].at;
        Blend16Row(a + at, b + at, w + at, out + at, spans[k].count);
    }
}

// --- Alpha from a mask ---
template <int A>
inline __m256i Premul(__m256i c16, __m256i m16, __m256i flip16) {
    constexpr int spread = (A == 0 ? 1 : 0) * 0x55;  // the mask's red lane into all four
    const __m256i alphaLane = _mm256_set1_epi64x(int64_t(0xFF) << (16 * A));
    const __m256i a = _mm256_xor_si256(_mm256_shufflehi_epi16(_mm256_shufflelo_epi16(m16, spread), spread), flip16);
    const __m256i t = _mm256_mullo_epi16(_mm256_or_si256(c16, alphaLane), a);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), _mm256_set1_epi16(1)), 8);
}
template <int A>
int32_t AlphaFromRedT(const uint8_t* mask, const uint8_t* colour, uint8_t* layer, int32_t count, bool invert,
                      bool premultiply) {
    constexpr int R = A == 0 ? 1 : 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i flip16 = _mm256_set1_epi16(invert ? 255 : 0);
    const __m256i lowByte = _mm256_set1_epi32(0xFF);
    const __m256i alphaByte = _mm256_set1_epi32(int32_t(0xFFu << (8 * A)));
    const __m256i flip32 = _mm256_set1_epi32(invert ? 255 : 0);
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + size_t(x) * 4));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colour + size_t(x) * 4));
        __m256i out;
        if (premultiply) {
            out = _mm256_packus_epi16(Premul<A>(_mm256_unpacklo_epi8(c, zero), _mm256_unpacklo_epi8(m, zero), flip16),
                                      Premul<A>(_mm256_unpackhi_epi8(c, zero), _mm256_unpackhi_epi8(m, zero), flip16));
        } else {
            const __m256i a = _mm256_xor_si256(_mm256_and_si256(_mm256_srli_epi32(m, 8 * R), lowByte), flip32);
            out = _mm256_or_si256(_mm256_andnot_si256(alphaByte, c), _mm256_slli_epi32(a, 8 * A));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(layer + size_t(x) * 4), out);
    }
    return x;
}
void AlphaFromRed(const uint8_t* mask, const uint8_t* colour, uint8_t* layer, int32_t count, bool invert,
                  bool premultiply, AlphaByte at) {
    const int32_t x = AlphaOffset(at) == 0 ? AlphaFromRedT<0>(mask, colour, layer, count, invert, premultiply)
                                           : AlphaFromRedT<3>(mask, colour, layer, count, invert, premultiply);
    const size_t b = size_t(x) * 4;
    lgBelow.AlphaFromRed(mask + b, colour + b, layer + b, count - x, invert, premultiply, at);
}
}  // namespace

void FillRowsAVX2(RowKernels& k) {
    FillRowsSSE2(k);
    lgBelow = k;
    k.Over = Over;
    k.Blend8 = Blend8;
    k.Blend16 = Blend16;
    k.BlendSpans8 = BlendSpans8;
    k.BlendSpans16 = BlendSpans16;
    k.AlphaFromRed = AlphaFromRed;
}
