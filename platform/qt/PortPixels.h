// Window port pixels (bytes A, R, G, B in memory, rows rowBytes apart) to the 32-bit words that
// QImage::Format_RGB32 shows (0xffRRGGBB, native order); alpha is not shown. The SSE2 version does
// four pixels a step; the scalar one is the reference the tests hold it to.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bwqt {

inline void PortToRGB32Scalar(const uint8_t* src, ptrdiff_t srcRowBytes, uint8_t* dst, ptrdiff_t dstRowBytes, int wid,
                              int hig) {
    for (int y = 0; y < hig; y++) {
        const uint8_t* s = src + y * srcRowBytes;
        uint8_t* d = dst + y * dstRowBytes;
        for (int x = 0; x < wid; x++) {
            const uint32_t rgb = 0xFF000000u | uint32_t(s[4 * x + 1]) << 16 | uint32_t(s[4 * x + 2]) << 8 | s[4 * x + 3];
            std::memcpy(d + 4 * x, &rgb, 4);
        }
    }
}

#if defined(__SSE2__)
inline void PortToRGB32SSE2(const uint8_t* src, ptrdiff_t srcRowBytes, uint8_t* dst, ptrdiff_t dstRowBytes, int wid,
                            int hig) {
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (int y = 0; y < hig; y++) {
        const uint8_t* s = src + y * srcRowBytes;
        uint8_t* d = dst + y * dstRowBytes;
        int x = 0;
        for (; x + 4 <= wid; x += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));  // A R G B per pixel
            v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));              // R A B G
            v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);               // B G R A: 0xAARRGGBB
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x), _mm_or_si128(v, opaque));
        }
        PortToRGB32Scalar(s + 4 * x, 0, d + 4 * x, 0, wid - x, 1);
    }
}
#endif

// The fast version where there is one (SSE2 words are little-endian), else the scalar one.
inline void PortToRGB32(const uint8_t* src, ptrdiff_t srcRowBytes, uint8_t* dst, ptrdiff_t dstRowBytes, int wid, int hig) {
#if defined(__SSE2__)
    if constexpr (std::endian::native == std::endian::little) {
        PortToRGB32SSE2(src, srcRowBytes, dst, dstRowBytes, wid, hig);
        return;
    }
#endif
    PortToRGB32Scalar(src, srcRowBytes, dst, dstRowBytes, wid, hig);
}

}  // namespace bwqt
