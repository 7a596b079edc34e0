#include "imaging/ImageOps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/commonprocs.h"
#include "imaging/pixellib_p.h"
#include "imaging/rows.h"
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

// The alpha weight of SubtractGWorlds: a / 255, or 1 minus that (the AddAlpha row kernel's too).
inline double AlphaWeight(uint8_t a, bool invert) {
    const double w = a / 255.0;
    return invert ? 1 - w : w;
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

// --- Two sources ---
void AddGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Boolean Normalise,
                Boolean UseAlpha, Boolean UseSource1, Boolean InvertAlpha) {
    const RowKernels& rows = Rows();
    TwoSources(Source1, Source2, Dest, ActiveRect, [&](const PixRec* s1, const PixRec* s2, PixRec* d, int32_t n) {
        if (UseAlpha)
            rows.AddAlpha(PixBytes(s1), PixBytes(s2), PixBytes(d), n, UseSource1, InvertAlpha);
        else
            rows.Add(PixBytes(s1), PixBytes(s2), PixBytes(d), n, Normalise);
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
    const RowKernels& rows = Rows();
    TwoSources(Source1, Source2, Dest, ActiveRect, [&](const PixRec* s1, const PixRec* s2, PixRec* d, int32_t n) {
        rows.Multiply(PixBytes(s1), PixBytes(s2), PixBytes(d), n);
    });
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

void InvertGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect) {
    const RowKernels& rows = Rows();
    OneSource(Source1, Dest, ActiveRect,
              [&](const PixRec* s, PixRec* d, int32_t n) { rows.Invert(PixBytes(s), PixBytes(d), n); });
}

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
            Rows().Blend(PixBytes(src + r.left), PixBytes(dst + r.left), r.right - r.left, Alpha);
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
    static_assert(MAXGWORLDS <= cMaxAverageRows);
    const RowKernels& kernels = Rows();
    const uint8_t* rows[MAXGWORLDS];
    for (int y = r.top; y < r.bottom; y++) {
        for (int k = 0; k < GWNum; k++) rows[k] = PixBytes(src[k]->Row(y) + r.left);
        kernels.Average(rows, GWNum, PixBytes(d.Row(y) + r.left), r.right - r.left);
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
        const Spot next[4] = {{int16_t(p.x), int16_t(p.y - 1)}, {int16_t(p.x - 1), p.y}, {p.x, int16_t(p.y + 1)}, {int16_t(p.x + 1), p.y}};
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
    const RowKernels& rows = Rows();
    EveryRow(Source1, [&](PixRec* row, int32_t n) { rows.SetAlpha(PixBytes(row), n, uint8_t(Alpha & 0xFF)); });
}
void SetFixedAlphaOld(GWorldPtr Source1, int16_t Alpha) {
    EveryRow(Source1, [&](PixRec* row, int32_t n) {
        for (int32_t x = 0; x < n; x++) row[x].ALPHA = uint8_t(Alpha & 0xFF);
    });
}
void KillAlphaNull(GWorldPtr Source1) { SetFixedAlpha(Source1, 0); }
void KillAlphaFull(GWorldPtr Source1) { SetFixedAlpha(Source1, 255); }
