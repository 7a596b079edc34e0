#include "imaging/ImageOps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/commonprocs.h"
#include "imaging/pixellib_p.h"
#include "platform/Numerics.h"

namespace {
inline uint8_t Clamp255(int32_t v) { return uint8_t(std::clamp(v, 0, 255)); }

// The part of ActiveRect that lies in a buffer of the given (shifted) frame; false when empty.
bool Area(const OpenGW& gw, Rect ActiveRect, Rect& area) { return SectRect(&gw.frame, &ActiveRect, &area); }

// Two sources and a destination of one size: fn(row1, row2, rowD, count) for every row of the area.
template <class Fn>
void TwoSources(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Fn&& fn) {
    if (!Source1 || !Source2 || !Dest) return;
    OpenGW a(Source1), b(Source2), d(Dest);
    Rect r;
    if (!a.SameSize(b) || !a.SameSize(d) || !Area(a, ActiveRect, r)) return;
    for (int y = r.top; y < r.bottom; y++) fn(a.Row(y) + r.left, b.Row(y) + r.left, d.Row(y) + r.left, r.right - r.left);
}

// The same per pixel: the result takes Source1's alpha and fn(p1, p2, channel) for each colour.
template <class Fn>
void PerChannel(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Fn&& fn) {
    TwoSources(Source1, Source2, Dest, ActiveRect, [&](const PixRec* s1, const PixRec* s2, PixRec* d, int32_t n) {
        for (int32_t x = 0; x < n; x++) {
            const PixRec p1 = s1[x], p2 = s2[x];
            d[x] = PixRec{p1.ALPHA, fn(p1, p2, p1.RED, p2.RED), fn(p1, p2, p1.GREEN, p2.GREEN),
                          fn(p1, p2, p1.BLUE, p2.BLUE)};
        }
    });
}

template <class Fn>
void OneSource(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, Fn&& fn) {
    if (!Source1 || !Dest) return;
    OpenGW s(Source1), d(Dest);
    Rect r;
    if (!s.SameSize(d) || !Area(s, ActiveRect, r)) return;
    for (int y = r.top; y < r.bottom; y++) fn(s.Row(y) + r.left, d.Row(y) + r.left, r.right - r.left);
}

// The alpha weight of AddGWorlds and SubtractGWorlds: a / 255, or 1 minus that.
inline double AlphaWeight(uint8_t a, bool invert) {
    const double w = a / 255.0;
    return invert ? 1 - w : w;
}

// trunc(c x w) and trunc(c x (1 - w)) for every alpha and channel, so the fast row adds two table
// entries where the plain one multiplies doubles; built from the same expressions.
struct AlphaTables {
    uint8_t w[256][256], rest[256][256];
};
const AlphaTables& TablesFor(bool invert) {
    static std::unique_ptr<AlphaTables> tables[2];
    std::unique_ptr<AlphaTables>& t = tables[invert ? 1 : 0];
    if (!t) {
        t = std::make_unique<AlphaTables>();
        for (int a = 0; a < 256; a++) {
            const double w = AlphaWeight(uint8_t(a), invert);
            for (int c = 0; c < 256; c++) {
                t->w[a][c] = uint8_t(TruncL(c * w));
                t->rest[a][c] = uint8_t(TruncL(c * (1 - w)));
            }
        }
    }
    return *t;
}

// Qualification of the flood fills: each channel within MaxDelta of the seed, and not the fill colour.
struct FillTest {
    PixRec seed, fill;
    int maxDelta;
    bool operator()(const PixRec& p) const {
        return std::abs(p.RED - seed.RED) < maxDelta && std::abs(p.GREEN - seed.GREEN) < maxDelta &&
               std::abs(p.BLUE - seed.BLUE) < maxDelta &&
               !(p.RED == fill.RED && p.GREEN == fill.GREEN && p.BLUE == fill.BLUE);
    }
};

PixRec FillPixelOf(RGBColor c, int16_t Alpha) {
    return PixRec{uint8_t(Alpha & 0xFF), uint8_t(c.RED / 256), uint8_t(c.GREEN / 256), uint8_t(c.BLUE / 256)};
}

struct Spot {
    int16_t x, y;
};
}  // namespace

// --- Row loops ---
#if defined(__SSE2__)
namespace {
// Four pixels a vector; on x86 the alpha byte of each pixel is the low byte of its 32-bit lane.
inline __m128i Load(const PixRec* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(PixRec* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i AlphaBytes() { return _mm_set1_epi32(0x000000FF); }
inline __m128i ColourBytes() { return _mm_set1_epi32(int32_t(0xFFFFFF00u)); }
// Colour bytes of c with the alpha bytes of a.
inline __m128i WithAlphaOf(__m128i c, __m128i a) {
    return _mm_or_si128(_mm_and_si128(c, ColourBytes()), _mm_and_si128(a, AlphaBytes()));
}
}  // namespace
#endif

void AddRowScalar(const PixRec* s1, const PixRec* s2, PixRec* d, int32_t count, bool normalise) {
    for (int32_t x = 0; x < count; x++) {
        const PixRec a = s1[x], b = s2[x];
        auto add = [&](int c1, int c2) { return uint8_t(normalise ? (c1 + c2) / 2 : std::min(255, c1 + c2)); };
        d[x] = PixRec{a.ALPHA, add(a.RED, b.RED), add(a.GREEN, b.GREEN), add(a.BLUE, b.BLUE)};
    }
}

void AddRow(const PixRec* s1, const PixRec* s2, PixRec* d, int32_t count, bool normalise) {
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi8(1);
    for (; x + 4 <= count; x += 4) {
        const __m128i a = Load(s1 + x), b = Load(s2 + x);
        // avg rounds up; taking back the odd bit of a ^ b gives (a + b) div 2.
        const __m128i sum = normalise ? _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one))
                                      : _mm_adds_epu8(a, b);
        Store(d + x, WithAlphaOf(sum, a));
    }
#endif
    AddRowScalar(s1 + x, s2 + x, d + x, count - x, normalise);
}

void AddAlphaRowScalar(const PixRec* s1, const PixRec* s2, PixRec* d, int32_t count, bool useSource1, bool invert) {
    for (int32_t x = 0; x < count; x++) {
        const PixRec a = s1[x], b = s2[x];
        const double w = AlphaWeight(useSource1 ? a.ALPHA : b.ALPHA, invert);
        auto mix = [&](int c1, int c2) { return uint8_t(std::min(255, TruncL(c1 * w) + TruncL(c2 * (1 - w)))); };
        d[x] = PixRec{a.ALPHA, mix(a.RED, b.RED), mix(a.GREEN, b.GREEN), mix(a.BLUE, b.BLUE)};
    }
}

void AddAlphaRow(const PixRec* s1, const PixRec* s2, PixRec* d, int32_t count, bool useSource1, bool invert) {
    const AlphaTables& t = TablesFor(invert);
    for (int32_t x = 0; x < count; x++) {
        const PixRec a = s1[x], b = s2[x];
        const uint8_t w = useSource1 ? a.ALPHA : b.ALPHA;
        const uint8_t* tw = t.w[w];
        const uint8_t* tr = t.rest[w];
        d[x] = PixRec{a.ALPHA, uint8_t(std::min(255, tw[a.RED] + tr[b.RED])),
                      uint8_t(std::min(255, tw[a.GREEN] + tr[b.GREEN])), uint8_t(std::min(255, tw[a.BLUE] + tr[b.BLUE]))};
    }
}

void MultiplyRowScalar(const PixRec* s1, const PixRec* s2, PixRec* d, int32_t count) {
    for (int32_t x = 0; x < count; x++) {
        const PixRec a = s1[x], b = s2[x];
        d[x] = PixRec{a.ALPHA, uint8_t(a.RED * b.RED / 255), uint8_t(a.GREEN * b.GREEN / 255),
                      uint8_t(a.BLUE * b.BLUE / 255)};
    }
}

void MultiplyRow(const PixRec* s1, const PixRec* s2, PixRec* d, int32_t count) {
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
    // For 0 <= t <= 255 x 255, t div 255 = (t + 1 + (t >> 8)) >> 8; no lane passes 65280.
    auto div255 = [&](__m128i t) { return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8); };
    for (; x + 4 <= count; x += 4) {
        const __m128i a = Load(s1 + x), b = Load(s2 + x);
        const __m128i lo = div255(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
        const __m128i hi = div255(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
        Store(d + x, WithAlphaOf(_mm_packus_epi16(lo, hi), a));
    }
#endif
    MultiplyRowScalar(s1 + x, s2 + x, d + x, count - x);
}

void InvertRowScalar(const PixRec* s, PixRec* d, int32_t count) {
    for (int32_t x = 0; x < count; x++) {
        const PixRec p = s[x];
        d[x] = PixRec{p.ALPHA, uint8_t(255 - p.RED), uint8_t(255 - p.GREEN), uint8_t(255 - p.BLUE)};
    }
}

void InvertRow(const PixRec* s, PixRec* d, int32_t count) {
    int32_t x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= count; x += 4) Store(d + x, _mm_xor_si128(Load(s + x), ColourBytes()));
#endif
    InvertRowScalar(s + x, d + x, count - x);
}

// trunc(src p + dst (1 - p)) for p = alpha / 100, worked out exactly as
// (src alpha + dst (100 - alpha)) div 100: with p and 1 - p as doubles some exact quotients would
// come out one below, so that a colour blended with itself could darken by a level.
void BlendRowScalar(const PixRec* s, PixRec* d, int32_t count, int16_t alpha) {
    const int a = std::clamp<int>(alpha, 0, 100), b = 100 - a;
    for (int32_t x = 0; x < count; x++) {
        const PixRec p = s[x], q = d[x];
        d[x] = PixRec{p.ALPHA, uint8_t((p.RED * a + q.RED * b) / 100), uint8_t((p.GREEN * a + q.GREEN * b) / 100),
                      uint8_t((p.BLUE * a + q.BLUE * b) / 100)};
    }
}

void BlendRow(const PixRec* s, PixRec* d, int32_t count, int16_t alpha) {
    int32_t x = 0;
#if defined(__SSE2__)
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
            const __m128i sv = Load(s + x), dv = Load(d + x);
            const __m128i lo = half(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero));
            const __m128i hi = half(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero));
            Store(d + x, WithAlphaOf(_mm_packus_epi16(lo, hi), sv));
        }
    }
#endif
    BlendRowScalar(s + x, d + x, count - x, alpha);
}

void AverageRowScalar(const PixRec* const* rows, int32_t n, PixRec* d, int32_t count) {
    for (int32_t x = 0; x < count; x++) {
        int32_t r = 0, g = 0, b = 0;
        for (int32_t k = 0; k < n; k++) r += rows[k][x].RED, g += rows[k][x].GREEN, b += rows[k][x].BLUE;
        d[x] = PixRec{rows[n - 1][x].ALPHA, uint8_t(TruncL(double(r) / n)), uint8_t(TruncL(double(g) / n)),
                      uint8_t(TruncL(double(b) / n))};
    }
}

void AverageRow(const PixRec* const* rows, int32_t n, PixRec* d, int32_t count) {
    int32_t x = 0;
#if defined(__SSE2__)
    // Sums reach 255 x 100 and fit 16-bit lanes. A float quotient of two such integers truncates
    // to the integer quotient: an inexact one lies at least 1/n from every integer.
    const __m128i zero = _mm_setzero_si128();
    const __m128 divisor = _mm_set1_ps(float(n));
    auto mean = [&](__m128i sum16) {
        const __m128i lo = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(sum16, zero)), divisor));
        const __m128i hi = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(sum16, zero)), divisor));
        return _mm_packs_epi32(lo, hi);
    };
    for (; x + 4 <= count; x += 4) {
        __m128i lo = zero, hi = zero;
        for (int32_t k = 0; k < n; k++) {
            const __m128i v = Load(rows[k] + x);
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        Store(d + x, WithAlphaOf(_mm_packus_epi16(mean(lo), mean(hi)), Load(rows[n - 1] + x)));
    }
#endif
    if (x < count) {
        const PixRec* rest[MAXGWORLDS];
        for (int32_t k = 0; k < n; k++) rest[k] = rows[k] + x;
        AverageRowScalar(rest, n, d + x, count - x);
    }
}

void SetAlphaRowScalar(PixRec* row, int32_t count, uint8_t alpha) {
    for (int32_t x = 0; x < count; x++) row[x].ALPHA = alpha;
}

void SetAlphaRow(PixRec* row, int32_t count, uint8_t alpha) {
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi32(alpha);
    for (; x + 4 <= count; x += 4) Store(row + x, _mm_or_si128(_mm_and_si128(Load(row + x), ColourBytes()), a));
#endif
    SetAlphaRowScalar(row + x, count - x, alpha);
}

// --- Two sources ---
void AddGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Boolean Normalise,
                Boolean UseAlpha, Boolean UseSource1, Boolean InvertAlpha) {
    TwoSources(Source1, Source2, Dest, ActiveRect, [&](const PixRec* s1, const PixRec* s2, PixRec* d, int32_t n) {
        if (UseAlpha)
            AddAlphaRow(s1, s2, d, n, UseSource1, InvertAlpha);
        else
            AddRow(s1, s2, d, n, Normalise);
    });
}

void AddWeightedGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, int16_t W1, int16_t W2,
                        Rect ActiveRect) {
    const int32_t sum = int32_t(W1) + W2;
    if (sum == 0) return;  // no division by a zero weight sum
    // Negative weights can give a negative quotient: it is held at 0 rather than wrapped.
    PerChannel(Source1, Source2, Dest, ActiveRect,
               [&](const PixRec&, const PixRec&, int c1, int c2) { return Clamp255((c1 * W1 + c2 * W2) / sum); });
}

void SubtractGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Boolean CalcDiff,
                     Boolean UseAlpha, Boolean UseSource1, Boolean InvertAlpha, double Amplifyer, double Threshold) {
    const double limit = Threshold * 255;
    PerChannel(Source1, Source2, Dest, ActiveRect, [&](const PixRec& p1, const PixRec& p2, int c1, int c2) {
        int32_t d = c1 - c2;
        if (UseAlpha) {
            const double w = AlphaWeight(UseSource1 ? p1.ALPHA : p2.ALPHA, InvertAlpha);
            d = TruncL(c1 * w) - TruncL(c2 * (1 - w));
        }
        if (std::abs(d) < limit) d = 0;
        if (Amplifyer != 0) d = std::clamp(TruncL(d * Amplifyer), -255, 255);
        return uint8_t(CalcDiff ? std::abs(d) : std::max(0, d));
    });
}

void MultiplyGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect) {
    TwoSources(Source1, Source2, Dest, ActiveRect, MultiplyRow);
}

void DivideGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect) {
    PerChannel(Source1, Source2, Dest, ActiveRect,
               [](const PixRec&, const PixRec&, int c1, int c2) { return uint8_t(c2 == 0 ? 255 : c1 / c2); });
}

namespace {
// f = mean brightness of Source1's pixel as a share of 255 (1 - f when Invert); Brighten adds
// c2 x f to Source2's channel, Darken takes it away.
void ScaleByBrightness(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Boolean Invert, Rect ActiveRect,
                       double sign) {
    PerChannel(Source1, Source2, Dest, ActiveRect, [&](const PixRec& p1, const PixRec&, int, int c2) {
        double f = ((p1.RED + p1.GREEN + p1.BLUE) / 3.0) / 255;
        if (Invert) f = 1 - f;
        return Clamp255(TruncL(c2 + sign * (c2 * f)));
    });
}
}  // namespace

void BrightenGWByGW(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Boolean Invert, Rect ActiveRect) {
    ScaleByBrightness(Source1, Source2, Dest, Invert, ActiveRect, 1);
}

void DarkenGWByGW(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Boolean Invert, Rect ActiveRect) {
    ScaleByBrightness(Source1, Source2, Dest, Invert, ActiveRect, -1);
}

// --- One source ---
void CopyPartOfGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect) {
    OneSource(Source1, Dest, ActiveRect,
              [](const PixRec* s, PixRec* d, int32_t n) { std::memmove(d, s, size_t(n) * sizeof(PixRec)); });
}

void SwapPartOfGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect) {
    if (Source1 == Dest) return;
    OneSource(Source1, Dest, ActiveRect,
              [](const PixRec* s, PixRec* d, int32_t n) { std::swap_ranges(const_cast<PixRec*>(s), const_cast<PixRec*>(s) + n, d); });
}

void InvertGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect) { OneSource(Source1, Dest, ActiveRect, InvertRow); }

void TriggerInvertGWorlds(GWorldPtr Source1, GWorldPtr Dest, int16_t Value, Boolean WhenAbove, Rect ActiveRect) {
    OneSource(Source1, Dest, ActiveRect, [&](const PixRec* s, PixRec* d, int32_t n) {
        for (int32_t x = 0; x < n; x++) {
            const PixRec p = s[x];
            const int l = (p.RED + p.GREEN + p.BLUE) / 3;
            const bool invert = WhenAbove ? (Value < 0 || l > Value) : (Value >= 0 && l < Value);
            d[x] = invert ? PixRec{p.ALPHA, uint8_t(255 - p.RED), uint8_t(255 - p.GREEN), uint8_t(255 - p.BLUE)} : p;
        }
    });
}

void AlphaBlit2(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, int16_t Alpha, Boolean CopyRest) {
    if (!Source1 || !Dest) return;
    OpenGW s(Source1), d(Dest);
    if (!s.SameSize(d)) return;
    Rect r;
    if (!Area(s, ActiveRect, r)) r = Rect{0, 0, 0, 0};
    for (int y = 0; y < s.frame.bottom; y++) {
        PixRec* src = s.Row(y);
        PixRec* dst = d.Row(y);
        const bool rowInside = y >= r.top && y < r.bottom;
        if (CopyRest && Source1 != Dest) {
            // Everything of the row outside the rectangle.
            if (!rowInside) {
                std::memcpy(dst, src, size_t(s.frame.right) * sizeof(PixRec));
                continue;
            }
            std::memcpy(dst, src, size_t(r.left) * sizeof(PixRec));
            std::memcpy(dst + r.right, src + r.right, size_t(s.frame.right - r.right) * sizeof(PixRec));
        }
        if (!rowInside || Alpha < 1) continue;
        if (Alpha >= 100)
            std::memmove(dst + r.left, src + r.left, size_t(r.right - r.left) * sizeof(PixRec));
        else
            BlendRow(src + r.left, dst + r.left, r.right - r.left, Alpha);
    }
}

void RollGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, int16_t HDisp, int16_t VDisp, Boolean Roll) {
    if (!Source1 || !Dest || Source1 == Dest) return;
    OpenGW s(Source1), d(Dest);
    Rect r;
    if (!s.SameSize(d) || !Area(s, ActiveRect, r)) return;
    int32_t w, h;
    GetDims(r, w, h);
    int32_t dh = HDisp, dv = VDisp;
    if (Roll) dh %= w, dv %= h;  // the remainder keeps the dividend's sign
    for (int y = r.top; y < r.bottom; y++) {
        int ty = y + dv;
        if (ty < r.top || ty >= r.bottom) {
            if (!Roll) continue;
            ty += ty < r.top ? h : -h;
        }
        const PixRec* src = s.Row(y);
        PixRec* dst = d.Row(ty);
        // Source columns [a, b) land at [a + dh, b + dh); with Roll the part past an edge re-enters
        // at the other.
        auto span = [&](int a, int b, int shift) {
            a = std::max(a, r.left - shift);
            b = std::min(b, r.right - shift);
            if (a < b) std::memcpy(dst + a + shift, src + a, size_t(b - a) * sizeof(PixRec));
        };
        span(r.left, r.right, dh);
        if (Roll && dh > 0) span(r.right - dh, r.right, dh - w);
        if (Roll && dh < 0) span(r.left, r.left - dh, dh + w);
    }
}

Boolean CalcNewCoords(Rect OrigRect, Point TL, Point TR, Point BL, Point BR, int16_t X, int16_t Y, int16_t& NX,
                      int16_t& NY) {
    NX = X, NY = Y;
    const double width = OrigRect.right - OrigRect.left, height = OrigRect.bottom - OrigRect.top;
    if (width <= 0 || height <= 0) return false;  // no division by an empty rectangle
    const double fx = (X - OrigRect.left) / width, fy = (Y - OrigRect.top) / height;
    const double topH = TL.h + fx * (TR.h - TL.h), topV = TL.v + fx * (TR.v - TL.v);
    const double botH = BL.h + fx * (BR.h - BL.h), botV = BL.v + fx * (BR.v - BL.v);
    NX = TruncS(topH + fy * (botH - topH));
    NY = TruncS(topV + fy * (botV - topV));
    return true;
}

void AvgPixels(PixRec& NewPixel, PixRec OldPixel) {
    const int k = OldPixel.ALPHA;
    auto avg = [&](int oldC, int newC) { return uint8_t((oldC * k + newC) / (k + 1)); };
    NewPixel.RED = avg(OldPixel.RED, NewPixel.RED);
    NewPixel.GREEN = avg(OldPixel.GREEN, NewPixel.GREEN);
    NewPixel.BLUE = avg(OldPixel.BLUE, NewPixel.BLUE);
    NewPixel.ALPHA = uint8_t(k + 1);
}

void DistortGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, Point TL, Point TR, Point BL, Point BR,
                    Boolean CollectAndAverage) {
    if (!Source1 || !Dest || Source1 == Dest || EmptyRect(&ActiveRect)) return;
    OpenGW s(Source1), d(Dest);
    Rect r;
    if (!s.SameSize(d) || !Area(s, ActiveRect, r)) return;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++) {
            int16_t nx, ny;
            CalcNewCoords(ActiveRect, TL, TR, BL, BR, int16_t(x), int16_t(y), nx, ny);
            if (!d.Inside(nx, ny)) continue;
            PixRec p = s.At(x, y);
            if (CollectAndAverage) AvgPixels(p, d.At(nx, ny));
            d.At(nx, ny) = p;
        }
}

// --- Other operations ---
void AverageGWorlds(const GWorldList Source, GWorldPtr Dest, int16_t GWNum, Rect ActiveRect) {
    if (!Source || !Dest || GWNum < 1 || GWNum > MAXGWORLDS) return;
    for (int k = 1; k <= GWNum; k++)
        if (!Source[k]) return;
    OpenGW d(Dest);
    // Closed in reverse order of opening (an array's elements go last first), so a buffer listed
    // twice gets back the pixel state it had before its first opening.
    std::optional<OpenGW> src[MAXGWORLDS];
    for (int k = 0; k < GWNum; k++) {
        src[k].emplace(Source[k + 1]);
        if (!src[k]->SameSize(d)) return;
    }
    Rect r;
    if (!Area(d, ActiveRect, r)) return;
    const PixRec* rows[MAXGWORLDS];
    for (int y = r.top; y < r.bottom; y++) {
        for (int k = 0; k < GWNum; k++) rows[k] = src[k]->Row(y) + r.left;
        AverageRow(rows, GWNum, d.Row(y) + r.left, r.right - r.left);
    }
}

void FillGW(GWorldPtr TheGW, RGBColor FillColor, int16_t X, int16_t Y, int16_t Alpha, int16_t MaxDelta) {
    if (!TheGW) return;
    OpenGW gw(TheGW);
    if (!gw.Inside(X, Y)) return;
    const FillTest qualifies{gw.At(X, Y), FillPixelOf(FillColor, Alpha), MaxDelta};
    const int right = gw.frame.right, bottom = gw.frame.bottom;
    // Span starts still to grow; each pixel is pushed at most twice (from above and from below).
    std::vector<Spot> pending;
    auto spanDone = [&](int y, int from, int to) {  // queue the neighbours of pixels from..to of row y
        for (int x = from; x <= to; x++) {
            if (y > 0 && qualifies(gw.At(x, y - 1))) pending.push_back(Spot{int16_t(x), int16_t(y - 1)});
            if (y < bottom - 1 && qualifies(gw.At(x, y + 1))) pending.push_back(Spot{int16_t(x), int16_t(y + 1)});
        }
    };
    auto growLeft = [&](int x, int y) {
        while (x > 0 && qualifies(gw.At(x - 1, y))) gw.At(--x, y) = qualifies.fill;
        return x;
    };
    gw.At(X, Y) = qualifies.fill;
    const int left = growLeft(X, Y);
    int x = X;
    while (x < right - 1 && qualifies(gw.At(x + 1, Y))) gw.At(++x, Y) = qualifies.fill;
    spanDone(Y, left, x);
    while (!pending.empty()) {
        const Spot p = pending.back();
        pending.pop_back();
        if (!qualifies(gw.At(p.x, p.y))) continue;  // filled meanwhile
        gw.At(p.x, p.y) = qualifies.fill;
        spanDone(p.y, growLeft(p.x, p.y), p.x);
    }
}

void FillPixel(GWorldPtr TheGW, RGBColor FillColor, int16_t X, int16_t Y, int16_t Alpha, int16_t MaxDelta) {
    if (!TheGW) return;
    OpenGW gw(TheGW);
    if (!gw.Inside(X, Y)) return;
    const FillTest qualifies{gw.At(X, Y), FillPixelOf(FillColor, Alpha), MaxDelta};
    gw.At(X, Y) = qualifies.fill;
    std::vector<Spot> pending{Spot{X, Y}};
    while (!pending.empty()) {
        const Spot p = pending.back();
        pending.pop_back();
        // Pushed in reverse, so right is visited first, then down, left, up.
        const Spot next[4] = {{int16_t(p.x), int16_t(p.y - 1)}, {int16_t(p.x - 1), p.y}, {p.x, int16_t(p.y + 1)},
                              {int16_t(p.x + 1), p.y}};
        for (const Spot& n : next)
            if (gw.Inside(n.x, n.y) && qualifies(gw.At(n.x, n.y))) {
                gw.At(n.x, n.y) = qualifies.fill;
                pending.push_back(n);
            }
    }
}

void AccessPixel(GWorldPtr Source, int16_t X, int16_t Y, PixRec& ThePixel) {
    if (!Source) return;
    ThePixel = PixRec{0, 1, 2, 3};
    OpenGW gw(Source);
    if (gw.Inside(X, Y)) ThePixel = gw.At(X, Y);
}

namespace {
template <class RowFn>
void EveryRow(GWorldPtr gw, RowFn&& fn) {
    if (!gw) return;
    OpenGW g(gw);
    for (int y = 0; y < g.frame.bottom; y++) fn(g.Row(y), int32_t(g.frame.right));
}
}  // namespace

void SetFixedAlpha(GWorldPtr Source1, int16_t Alpha) {
    EveryRow(Source1, [&](PixRec* row, int32_t n) { SetAlphaRow(row, n, uint8_t(Alpha & 0xFF)); });
}
void SetFixedAlphaOld(GWorldPtr Source1, int16_t Alpha) {
    EveryRow(Source1, [&](PixRec* row, int32_t n) { SetAlphaRowScalar(row, n, uint8_t(Alpha & 0xFF)); });
}
void KillAlphaNull(GWorldPtr Source1) { SetFixedAlpha(Source1, 0); }
void KillAlphaFull(GWorldPtr Source1) { SetFixedAlpha(Source1, 255); }
