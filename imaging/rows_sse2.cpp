// The SSE2 row kernels: four pixels a step in 128-bit vectors, the rest of a row one pixel at a
// time. x86-64 only, so a 32-bit lane is a little-endian word: byte 0 of a pixel is its low byte.
#include <emmintrin.h>

#include <cstring>

#include "imaging/rows_p.h"

namespace {
RowKernels lgBelow;  // the scalar level's table, for the ends of rows

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
    constexpr int spread = A * 0x55;        // lane A of each pixel into all four
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

// --- Blends of two sample rows by a weight row ---

// Bytes: eight samples widened to 16-bit lanes; a (255 - w) + b w + 128 <= 65153 fits a lane.
inline __m128i Blend8Lanes(__m128i a, __m128i b, __m128i w) {
    const __m128i t = _mm_add_epi16(
        _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(_mm_set1_epi16(255), w)), _mm_mullo_epi16(b, w)),
        _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}
// Sixteen samples, or eight in the low half.
inline __m128i Blend8x16(const uint8_t* a, const uint8_t* b, const uint8_t* w) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i vw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    const __m128i lo = Blend8Lanes(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero), _mm_unpacklo_epi8(vw, zero));
    const __m128i hi = Blend8Lanes(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero), _mm_unpackhi_epi8(vw, zero));
    return _mm_packus_epi16(lo, hi);
}
inline __m128i Blend8x8(const uint8_t* a, const uint8_t* b, const uint8_t* w) {
    const __m128i zero = _mm_setzero_si128();
    auto Load = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    const __m128i r = Blend8Lanes(Load(a), Load(b), Load(w));
    return _mm_packus_epi16(r, r);
}
// The few samples past the last step of eight, here rather than a call to the scalar level: a
// tile edge that splits a chroma sample leaves a blend of one sample.
inline void Blend8Scalar(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t t = uint32_t(a[i]) * (255u - w[i]) + uint32_t(b[i]) * w[i] + 128u;
        out[i] = uint8_t((t + (t >> 8)) >> 8);
    }
}
// Rows of a tile or two are common, so the end of a row is one more step that overlaps the one
// before, not a sample at a time. That step is worked out before anything is stored: out may be
// a or b, whose overlapped samples the step before would already have replaced.
inline void Blend8Row(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    if (count >= 16) {
        const int32_t end = count - 16;
        const __m128i last = Blend8x16(a + end, b + end, w + end);
        for (int32_t i = 0; i < end; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Blend8x16(a + i, b + i, w + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + end), last);
    } else if (count >= 8) {
        const int32_t end = count - 8;
        const __m128i first = Blend8x8(a, b, w), last = Blend8x8(a + end, b + end, w + end);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + end), last);
    } else {
        Blend8Scalar(a, b, w, out, count);
    }
}
// 16-bit: the samples less 32768 fit signed lanes (the weights sum to 16384, so the offset comes
// out whole), and one multiply-add of the pairs (a', b') x (16384 - W, W) gives 32-bit sums.
// Eight samples; four in the low half from vectors holding four in theirs.
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
                        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)), _mm_setzero_si128()));
}
inline __m128i Blend16x4(const uint16_t* a, const uint16_t* b, const uint8_t* w) {
    int32_t w4;
    std::memcpy(&w4, w, 4);
    return Blend16Lanes(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)),
                        _mm_unpacklo_epi8(_mm_cvtsi32_si128(w4), _mm_setzero_si128()));
}
inline void Blend16Row(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    if (count >= 8) {  // as Blend8Row: the overlapping last step first
        const int32_t end = count - 8;
        const __m128i last = Blend16x8(a + end, b + end, w + end);
        for (int32_t i = 0; i < end; i += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Blend16x8(a + i, b + i, w + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + end), last);
    } else if (count >= 4) {
        const int32_t end = count - 4;
        const __m128i first = Blend16x4(a, b, w), last = Blend16x4(a + end, b + end, w + end);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + end), last);
    } else {
        lgBelow.Blend16(a, b, w, out, count);
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

// --- Opaque copy ---
void OpaqueCopy(const uint8_t* src, uint8_t* dst, int32_t count, AlphaByte at) {
    // The alpha byte is the low byte of each word when it comes first in memory, the high byte when
    // it comes last.
    const __m128i alpha = _mm_set1_epi32(at == AlphaByte::First ? 0xFF : int32_t(0xFF000000u));
    int32_t x = 0;
    for (; x + 4 <= count; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + size_t(x) * 4),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + size_t(x) * 4)), alpha));
    lgBelow.OpaqueCopy(src + size_t(x) * 4, dst + size_t(x) * 4, count - x, at);
}

// --- Alpha from a mask ---
template <int A>
int32_t AlphaFromRedT(const uint8_t* mask, const uint8_t* colour, uint8_t* layer, int32_t count, bool invert,
                      bool premultiply) {
    // Four pixels a step, branch-free. Widened to 16 bits a pixel is four lanes, the alpha in lane
    // A; the mask's red (lane R) is spread over all four. Premultiplying, the colour's alpha lane is
    // set to 255 first so that the same trunc(c x a / 255) leaves exactly a there; a = 0 and
    // a = 255 need no case of their own (0 and c).
    constexpr int R = A == 0 ? 1 : 0;
    constexpr int spread = R * 0x55;
    const __m128i zero = _mm_setzero_si128();
    const __m128i flip16 = _mm_set1_epi16(invert ? 255 : 0);
    const __m128i alphaLane = _mm_set1_epi64x(int64_t(0xFF) << (16 * A));
    const __m128i one = _mm_set1_epi16(1);
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    const __m128i alphaByte = _mm_set1_epi32(int32_t(0xFFu << (8 * A)));
    const __m128i flip32 = _mm_set1_epi32(invert ? 255 : 0);
    auto Premul = [&](__m128i c16, __m128i m16) {
        const __m128i a = _mm_xor_si128(_mm_shufflehi_epi16(_mm_shufflelo_epi16(m16, spread), spread), flip16);
        const __m128i t = _mm_mullo_epi16(_mm_or_si128(c16, alphaLane), a);  // <= 65025
        // trunc(t / 255) = (t + (t >> 8) + 1) >> 8 for t < 65535.
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), one), 8);
    };
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + size_t(x) * 4));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colour + size_t(x) * 4));
        __m128i out;
        if (premultiply) {
            out = _mm_packus_epi16(Premul(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(m, zero)),
                                   Premul(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(m, zero)));
        } else {
            const __m128i a = _mm_xor_si128(_mm_and_si128(_mm_srli_epi32(m, 8 * R), lowByte), flip32);
            out = _mm_or_si128(_mm_andnot_si128(alphaByte, c), _mm_slli_epi32(a, 8 * A));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(layer + size_t(x) * 4), out);
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

// --- Rows into one, alpha first: the alpha byte is the low byte of each 32-bit lane ---
inline __m128i Load(const uint8_t* p, int32_t x) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size_t(x) * 4));
}
inline void Store(uint8_t* p, int32_t x, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + size_t(x) * 4), v);
}
inline __m128i AlphaBytes() { return _mm_set1_epi32(0x000000FF); }
inline __m128i ColourBytes() { return _mm_set1_epi32(int32_t(0xFFFFFF00u)); }
// Colour bytes of c with the alpha bytes of a.
inline __m128i WithAlphaOf(__m128i c, __m128i a) {
    return _mm_or_si128(_mm_and_si128(c, ColourBytes()), _mm_and_si128(a, AlphaBytes()));
}

void Add(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count, bool normalise) {
    const __m128i one = _mm_set1_epi8(1);
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i a = Load(s1, x), b = Load(s2, x);
        // avg rounds up; taking back the odd bit of a ^ b gives (a + b) div 2.
        const __m128i sum = normalise ? _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one))
                                      : _mm_adds_epu8(a, b);
        Store(d, x, WithAlphaOf(sum, a));
    }
    const size_t b = size_t(x) * 4;
    lgBelow.Add(s1 + b, s2 + b, d + b, count - x, normalise);
}

// trunc(c x w) and trunc(c x (1 - w)) for every alpha and channel, so this row adds two table
// entries where the plain one multiplies doubles; built from the same expressions.
struct AlphaTables {
    uint8_t w[256][256], rest[256][256];
};
// Straight ([0]) and inverted ([1]) weights, built on the first call.
const AlphaTables& TablesFor(bool invert) {
    static AlphaTables tables[2];
    static const bool built = [] {
        for (int i = 0; i < 2; i++)
            for (int a = 0; a < 256; a++) {
                double w = a / 255.0;
                if (i == 1) w = 1 - w;
                for (int c = 0; c < 256; c++) {
                    tables[i].w[a][c] = uint8_t(int32_t(c * w));
                    tables[i].rest[a][c] = uint8_t(int32_t(c * (1 - w)));
                }
            }
        return true;
    }();
    (void)built;
    return tables[invert ? 1 : 0];
}
void AddAlpha(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count, bool useSource1, bool invert) {
    const AlphaTables& t = TablesFor(invert);
    for (int32_t x = 0; x < count; x++, s1 += 4, s2 += 4, d += 4) {
        const uint8_t a = s1[0];
        const uint8_t w = useSource1 ? a : s2[0];
        const uint8_t* tw = t.w[w];
        const uint8_t* tr = t.rest[w];
        for (int k = 1; k < 4; k++) {
            const int v = tw[s1[k]] + tr[s2[k]];
            d[k] = uint8_t(v < 255 ? v : 255);
        }
        d[0] = a;
    }
}

void Multiply(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count) {
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
    // For 0 <= t <= 255 x 255, t div 255 = (t + 1 + (t >> 8)) >> 8; no lane passes 65280.
    auto div255 = [&](__m128i t) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8);
    };
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i a = Load(s1, x), b = Load(s2, x);
        const __m128i lo = div255(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
        const __m128i hi = div255(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
        Store(d, x, WithAlphaOf(_mm_packus_epi16(lo, hi), a));
    }
    const size_t b = size_t(x) * 4;
    lgBelow.Multiply(s1 + b, s2 + b, d + b, count - x);
}

void Invert(const uint8_t* s, uint8_t* d, int32_t count) {
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) Store(d, x, _mm_xor_si128(Load(s, x), ColourBytes()));
    lgBelow.Invert(s + size_t(x) * 4, d + size_t(x) * 4, count - x);
}

void Blend(const uint8_t* s, uint8_t* d, int32_t count, int16_t alpha) {
    int32_t x = 0;
    if (alpha >= 0 && alpha <= 100) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i wa = _mm_set1_epi16(alpha), wb = _mm_set1_epi16(int16_t(100 - alpha));
        // n div 100 = (n x 41944) >> 22 for 0 <= n <= 25500.
        const __m128i magic = _mm_set1_epi16(int16_t(41944));
        auto half = [&](__m128i s16, __m128i d16) {
            const __m128i n = _mm_add_epi16(_mm_mullo_epi16(s16, wa), _mm_mullo_epi16(d16, wb));
            return _mm_srli_epi16(_mm_mulhi_epu16(n, magic), 6);
        };
        for (; x + 4 <= count; x += 4) {
            const __m128i sv = Load(s, x), dv = Load(d, x);
            const __m128i lo = half(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero));
            const __m128i hi = half(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero));
            Store(d, x, WithAlphaOf(_mm_packus_epi16(lo, hi), sv));
        }
    }
    lgBelow.Blend(s + size_t(x) * 4, d + size_t(x) * 4, count - x, alpha);
}

void Average(const uint8_t* const* rows, int32_t n, uint8_t* d, int32_t count) {
    // Sums reach 255 x 100 and fit 16-bit lanes. A float quotient of two such integers truncates
    // to the integer quotient: an inexact one lies at least 1/n from every integer.
    const __m128i zero = _mm_setzero_si128();
    const __m128 divisor = _mm_set1_ps(float(n));
    auto mean = [&](__m128i sum16) {
        const __m128i lo = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(sum16, zero)), divisor));
        const __m128i hi = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(sum16, zero)), divisor));
        return _mm_packs_epi32(lo, hi);
    };
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        __m128i lo = zero, hi = zero;
        for (int32_t k = 0; k < n; k++) {
            const __m128i v = Load(rows[k], x);
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        Store(d, x, WithAlphaOf(_mm_packus_epi16(mean(lo), mean(hi)), Load(rows[n - 1], x)));
    }
    if (x < count) {
        const uint8_t* rest[cMaxAverageRows];
        for (int32_t k = 0; k < n; k++) rest[k] = rows[k] + size_t(x) * 4;
        lgBelow.Average(rest, n, d + size_t(x) * 4, count - x);
    }
}

void SetAlpha(uint8_t* row, int32_t count, uint8_t alpha) {
    const __m128i a = _mm_set1_epi32(alpha);
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) Store(row, x, _mm_or_si128(_mm_and_si128(Load(row, x), ColourBytes()), a));
    lgBelow.SetAlpha(row + size_t(x) * 4, count - x, alpha);
}
}  // namespace

void FillRowsSSE2(RowKernels& k) {
    FillRowsScalar(k);
    lgBelow = k;
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
