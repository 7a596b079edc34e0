// The AVX2 row kernels: eight pixels a step; the 256-bit operations work on two 128-bit halves
// side by side, each exactly as the SSE2 loop. The rest of a row goes to the SSE2 level's kernel.
// This file alone is compiled with -mavx2 and includes no header with inline code of ours, so no
// AVX2 instruction reaches code that runs before the level is chosen.
#include <immintrin.h>

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
}  // namespace

void FillRowsAVX2(RowKernels& k) {
    FillRowsSSE2(k);
    lgBelow = k;
    k.Over = Over;
}
