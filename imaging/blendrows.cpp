#include "imaging/blendrows.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "platform/CpuFeatures.h"
#endif

void BlendRow8Scalar(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t t = uint32_t(a[i]) * (255u - w[i]) + uint32_t(b[i]) * w[i] + 128u;
        out[i] = uint8_t((t + (t >> 8)) >> 8);
    }
}

void BlendRow16Scalar(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t W = (uint32_t(w[i]) << 6) + ((uint32_t(w[i]) + 2u) >> 2);
        out[i] = uint16_t((uint32_t(a[i]) * (16384u - W) + uint32_t(b[i]) * W + 8192u) >> 14);
    }
}

#if defined(__x86_64__)
namespace {
// 8-bit: eight samples widened to 16-bit lanes; a (255 - w) + b w + 128 <= 65153 fits a lane, and
// (t + (t >> 8)) >> 8 divides it by 255 with rounding, as the scalar loop does.
inline __m128i Blend8Lanes(__m128i a, __m128i b, __m128i w) {
    const __m128i t = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(_mm_set1_epi16(255), w)),
                                                  _mm_mullo_epi16(b, w)),
                                    _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}
int32_t BlendRow8SSE2(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i));
        const __m128i lo = Blend8Lanes(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero),
                                       _mm_unpacklo_epi8(vw, zero));
        const __m128i hi = Blend8Lanes(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero),
                                       _mm_unpackhi_epi8(vw, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
    return i;
}
// 16-bit: the samples biased by -32768 to fit signed lanes (the weights sum to 16384, so the bias
// comes out whole), a' (16384 - W) + b' W in 32-bit lanes by one multiply-add per pair.
inline __m128i Blend16Half(__m128i a, __m128i b, __m128i iw, __m128i w) {
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_unpacklo_epi16(iw, w));
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(a, b), _mm_unpackhi_epi16(iw, w));
    const __m128i half = _mm_set1_epi32(8192);
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, half), 14), _mm_srai_epi32(_mm_add_epi32(hi, half), 14));
}
int32_t BlendRow16SSE2(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(int16_t(0x8000)), two = _mm_set1_epi16(2);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i va = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)), bias);
        const __m128i vb = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)), bias);
        const __m128i w8 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + i)), zero);
        const __m128i W = _mm_add_epi16(_mm_slli_epi16(w8, 6), _mm_srli_epi16(_mm_add_epi16(w8, two), 2));
        const __m128i IW = _mm_sub_epi16(_mm_set1_epi16(16384), W);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_xor_si128(Blend16Half(va, vb, IW, W), bias));
    }
    return i;
}

__attribute__((target("avx2"))) inline __m256i Div255AVX2(__m256i t) {
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}
// 32 samples a step. The samples less 128 are signed bytes, so one multiply-add of the byte pairs
// (255 - w, w) x (a - 128, b - 128) gives a (255 - w) + b w - 32640 in a 16-bit lane (|.| <= 32640);
// adding 32640 + 128 gives the scalar loop's t, divided by 255 as there. Unpack and pack keep to
// their 128-bit half, so the samples come out in order.
__attribute__((target("avx2"))) int32_t BlendRow8AVX2(const uint8_t* a, const uint8_t* b, const uint8_t* w,
                                                      uint8_t* out, int32_t count) {
    const __m256i flip = _mm256_set1_epi8(int8_t(0x80)), ones = _mm256_set1_epi8(-1);
    const __m256i offset = _mm256_set1_epi16(int16_t(32640 + 128));
    int32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i va = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)), flip);
        const __m256i vb = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i)), flip);
        const __m256i vw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
        const __m256i iw = _mm256_xor_si256(vw, ones);  // 255 - w
        const __m256i lo = _mm256_add_epi16(
            _mm256_maddubs_epi16(_mm256_unpacklo_epi8(iw, vw), _mm256_unpacklo_epi8(va, vb)), offset);
        const __m256i hi = _mm256_add_epi16(
            _mm256_maddubs_epi16(_mm256_unpackhi_epi8(iw, vw), _mm256_unpackhi_epi8(va, vb)), offset);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(Div255AVX2(lo), Div255AVX2(hi)));
    }
    return i;
}
__attribute__((target("avx2"))) int32_t BlendRow16AVX2(const uint16_t* a, const uint16_t* b, const uint8_t* w,
                                                       uint16_t* out, int32_t count) {
    const __m256i bias = _mm256_set1_epi16(int16_t(0x8000)), two = _mm256_set1_epi16(2);
    const __m256i half = _mm256_set1_epi32(8192);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i va = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)), bias);
        const __m256i vb = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i)), bias);
        const __m256i w16 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i)));
        const __m256i W = _mm256_add_epi16(_mm256_slli_epi16(w16, 6), _mm256_srli_epi16(_mm256_add_epi16(w16, two), 2));
        const __m256i IW = _mm256_sub_epi16(_mm256_set1_epi16(16384), W);
        const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(va, vb), _mm256_unpacklo_epi16(IW, W));
        const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(va, vb), _mm256_unpackhi_epi16(IW, W));
        const __m256i r = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, half), 14),
                                             _mm256_srai_epi32(_mm256_add_epi32(hi, half), 14));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_xor_si256(r, bias));
    }
    return i;
}
}  // namespace
#endif

void BlendRow8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    int32_t done = 0;
#if defined(__x86_64__)
    done = HasAVX2() ? BlendRow8AVX2(a, b, w, out, count) : 0;
    done += BlendRow8SSE2(a + done, b + done, w + done, out + done, count - done);
#endif
    BlendRow8Scalar(a + done, b + done, w + done, out + done, count - done);
}

void BlendRow16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    int32_t done = 0;
#if defined(__x86_64__)
    done = HasAVX2() ? BlendRow16AVX2(a, b, w, out, count) : 0;
    done += BlendRow16SSE2(a + done, b + done, w + done, out + done, count - done);
#endif
    BlendRow16Scalar(a + done, b + done, w + done, out + done, count - done);
}
