#include "engine/planarcompose.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "engine/pixeleffect_p.h"
#include "imaging/rows.h"
#include "platform/ParallelRows.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// How a plane's samples sit over the pixels, and so how a row of weights is made from the pixels'
// progress (one byte a pixel):
//   Sample:    one sample a pixel;
//   HalfWidth: one sample per two pixels side by side, the mean of their two weights;
//   YUYV:      four bytes per two pixels, Y0 Cb Y1 Cr: w0, mean, w1, mean;
//   Quad:      four bytes a pixel, each the pixel's weight.
// Vertically a plane row covers 1 or 2 pixel rows (RowShift 0 or 1); two rows are averaged first.
enum class Spread : uint8_t { Sample,
                              HalfWidth,
                              YUYV,
                              Quad };
struct PlaneDesc {
    Spread spread;
    int8_t rowShift;
};
struct FormatDesc {
    int8_t planes;
    PlaneDesc plane[3];
    bool highDepth;  // 16-bit samples allowed (Depth 9..16)
};
constexpr FormatDesc cFormats[] = {
    {3, {{Spread::Sample, 0}, {Spread::HalfWidth, 1}, {Spread::HalfWidth, 1}}, true},  // YUV420
    {3, {{Spread::Sample, 0}, {Spread::HalfWidth, 0}, {Spread::HalfWidth, 0}}, true},  // YUV422
    {3, {{Spread::Sample, 0}, {Spread::Sample, 0}, {Spread::Sample, 0}}, true},        // YUV444
    {1, {{Spread::YUYV, 0}}, false},                                                   // YUYV
    {1, {{Spread::Quad, 0}}, false},                                                   // RGBA
    {1, {{Spread::Quad, 0}}, false},                                                   // BGRA
    {1, {{Spread::Quad, 0}}, false},                                                   // ARGB
    {1, {{Spread::Quad, 0}}, false},                                                   // ABGR
};
static_assert(std::size(cFormats) == size_t(PlanarFormat::ABGR) + 1);
// Byte order of the RGBA formats: where R, G, B and alpha (Samples[0..3]) go.
constexpr int8_t cQuadOrder[4][4] = {{0, 1, 2, 3}, {2, 1, 0, 3}, {3, 0, 1, 2}, {3, 2, 1, 0}};

// Samples of plane p in a row of Wid pixels.
int32_t PlaneSamples(Spread s, int32_t Wid) {
    switch (s) {
        case Spread::Sample: return Wid;
        case Spread::HalfWidth: return (Wid + 1) / 2;
        case Spread::YUYV: return (Wid + 1) / 2 * 4;
        case Spread::Quad: return Wid * 4;
    }
    return 0;
}
int32_t PlaneRows(PlaneDesc d, int32_t Hig) { return (Hig + (1 << d.rowShift) - 1) >> d.rowShift; }

bool Readable(const PlanarPicture& p) {
    if (size_t(p.Format) >= std::size(cFormats)) return false;
    const FormatDesc& f = cFormats[size_t(p.Format)];
    if (p.Wid < 1 || p.Hig < 1 || p.Wid > cMaxRectSide || p.Hig > cMaxRectSide) return false;
    if (p.Depth != 8 && !(f.highDepth && p.Depth >= 9 && p.Depth <= 16)) return false;
    const int32_t sampleBytes = p.Depth > 8 ? 2 : 1;
    for (int k = 0; k < f.planes; k++)
        if (!p.Plane[k] || p.Stride[k] < PlaneSamples(f.plane[k].spread, p.Wid) * sampleBytes) return false;
    return true;
}
bool SameKind(const PlanarPicture& a, const PlanarPicture& b) {
    return a.Wid == b.Wid && a.Hig == b.Hig && a.Format == b.Format && a.Depth == b.Depth;
}

// A stretch of a plane row whose samples share a state, in samples.
enum class RunKind : uint8_t { From,
                               To,
                               Blend };  // weight 0, 255, anything (blended)
// A stretch of fewer samples than this between two blended ones is blended with them: weights 0
// and 255 give From's and To's samples exactly, and one longer call costs less than two and a copy.
constexpr int32_t cBridgedRun = 32;

// A plane row cut where a weight may change: piece k spans samples start[k] .. start[k + 1] - 1,
// all of one weight, the mean of the progress of tile columns col0[k] and col1[k] (0: outside the
// tiles) over the plane row's pixel rows. The cuts are the same on every row of a frame.
struct Pieces {
    std::vector<int32_t> start;  // ascending, from 0 to the row's samples
    std::vector<uint8_t> col0, col1;
};

// Everything one frame's rows share: the pictures, the tile field at this frame and, per plane, the
// pieces of its rows.
struct PlaneJob {
    PlaneDesc desc;
    int32_t samples, rows;
    const uint8_t *from, *to;  // row 0; a colour row when the picture is the colour
    uint8_t* out;
    int32_t fromStride, toStride, outStride;  // 0 for the colour row
    bool outIsFrom, outIsTo;
    Pieces pieces;  // the first plane of a group only
};
struct FrameJob {
    int32_t wid, hig;
    int32_t sampleBytes;
    const RowKernels* rows;  // the level in use, chosen for the whole frame
    const TileGrid* grid;
    Rect area;                    // the tiled pixels; empty when nothing has started anywhere
    std::vector<int16_t> band;    // per pixel row: its tile row (1..H) inside the area, 0 outside
    std::vector<int16_t> column;  // per pixel column: its tile column (1..W) inside the area, 0 outside
    int32_t alphaRow;             // W + 1
    std::vector<uint8_t> alpha;   // per band (0..H) and tile column (0..W) its progress; 0 in band or column 0
    int8_t planes;
    PlaneJob plane[3];
};
// Planes laid out alike (Cb and Cr; all three of 4:4:4) share their weights and runs.
struct PlaneGroup {
    int8_t first, count;
};

// Where a weight may change along a pixel row: the area's sides and the tile edges between them.
// The edges ascend, so the list comes out in order.
std::vector<int32_t> PixelBreaks(const FrameJob& f) {
    std::vector<int32_t> b{0};
    if (f.area.left < f.area.right) {
        b.push_back(f.area.left);
        for (int32_t x = 1; x < f.grid->W; x++) {
            const int32_t e = f.grid->Right(x);
            if (e > f.area.left && e < f.area.right) b.push_back(e);
        }
        b.push_back(f.area.right);
    }
    b.push_back(f.wid);
    b.erase(std::unique(b.begin(), b.end()), b.end());
    return b;
}
// The same in a plane's samples, each piece with the tile columns of the pixels it covers. An edge
// inside a sample's pixels (an odd edge under HalfWidth and YUYV) makes that sample a piece of its
// own (each of the four bytes for YUYV), so that every piece has one weight.
Pieces PlanePieces(const FrameJob& f, const std::vector<int32_t>& pixel, Spread s, int32_t samples) {
    std::vector<int32_t> b;
    for (int32_t e : pixel) switch (s) {
            case Spread::Sample: b.push_back(e); break;
            case Spread::Quad: b.push_back(e * 4); break;
            case Spread::HalfWidth:
                b.push_back(e / 2);
                b.push_back((e + 1) / 2);
                break;
            case Spread::YUYV:
                for (int32_t j = 0; j <= (e & 1) * 4; j++) b.push_back(e / 2 * 4 + j);
                break;
        }
    for (int32_t& e : b) e = std::min(e, samples);  // in order still
    b.erase(std::unique(b.begin(), b.end()), b.end());
    Pieces p;
    p.start = b;
    // The pixels under a piece's first sample: one, or two side by side (the second the first again
    // past the right edge, which keeps the mean of an odd width's last sample).
    for (size_t k = 0; k + 1 < b.size(); k++) {
        const int32_t i = b[k];
        int32_t x0 = i, x1 = i;
        switch (s) {
            case Spread::Sample: break;
            case Spread::Quad: x0 = x1 = i / 4; break;
            case Spread::HalfWidth:
                x0 = 2 * i;
                x1 = 2 * i + 1;
                break;
            case Spread::YUYV: {
                const int32_t j = i & 3;
                x0 = i / 4 * 2 + (j == 2);
                x1 = i / 4 * 2 + (j != 0);
                break;
            }
        }
        // YUYV at an odd width: the last pair's second luma lies past the edge and takes the last pixel's.
        x0 = std::min(x0, f.wid - 1);
        x1 = std::min(x1, f.wid - 1);
        p.col0.push_back(uint8_t(f.column[size_t(x0)]));
        p.col1.push_back(uint8_t(f.column[size_t(x1)]));
    }
    return p;
}

// What a plane row over one pair of bands does: stretches copied from From and from To (byte
// offset and length) and blended (sample offset and count), each list in row order, with the
// weights of the row. Rows over the same bands share it.
typedef SampleSpan Span;
struct RowPlan {
    std::vector<Span> span[3];      // per RunKind, room for a span per piece
    int32_t spans[3];               // how many of each
    std::vector<uint8_t> w;         // per sample of the row, and cFillSlack more
    std::vector<int32_t> runStart;  // scratch: runs of one kind, a run ending where the next starts
    std::vector<RunKind> runKind;
};
// The weight of a piece over its count samples, in 32-byte steps that may write up to cFillSlack
// bytes into the next piece (filled after it) or past the row. Most pieces are a tile or less, so
// the first step is taken whatever the count: a branch on it would guess wrong as often as right.
constexpr size_t cFillSlack = 32;
inline void FillWeight(uint8_t* w, int32_t count, uint32_t v) {
#if defined(__SSE2__)
    const __m128i word = _mm_set1_epi8(char(v));
    int32_t i = 0;
    do {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + i), word);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + i + 16), word);
        i += 32;
    } while (i < count);
#else
    std::memset(w, int(v), size_t(count));
#endif
}
void MakeRowPlan(const Pieces& p, int32_t samples, RowPlan& plan) {
    const size_t room = p.start.size() + 1;  // a piece and a run more than the pieces
    for (std::vector<Span>& list : plan.span) list.resize(room);
    plan.w.resize(size_t(samples) + cFillSlack);
    plan.runStart.resize(room);
    plan.runKind.resize(room);
}

// The kind of a weight: From at 0, To at 255, Blend between.
constexpr auto cKindOf = [] {
    std::array<RunKind, 256> k{};
    for (int v = 0; v < 256; v++) k[size_t(v)] = v == 0 ? RunKind::From : v == 255 ? RunKind::To
                                                                                   : RunKind::Blend;
    return k;
}();
// The plan of a plane row over bands y0 and y1 (the same band twice for a row over one pixel row):
// each piece's weight is the mean of the four progress values (two pixel rows by its two tile
// columns), rounded to nearest. A short stretch between blended runs joins them. Tiles switch in
// no order a branch could foresee, so the runs are found without branching on the kinds.
// OneBand: y0 = y1, where the mean of the four is that of the two columns ((2 a + 2 b + 2) >> 2 =
// (a + b + 1) >> 1).
template <bool OneBand>
void PlanRowT(const FrameJob& f, const Pieces& p, int32_t y0, int32_t y1, int32_t sampleBytes, RowPlan& plan) {
    const uint8_t* a0 = f.alpha.data() + size_t(y0) * size_t(f.alphaRow);
    const uint8_t* a1 = f.alpha.data() + size_t(y1) * size_t(f.alphaRow);
    const int32_t* start = p.start.data();
    const uint8_t *col0 = p.col0.data(), *col1 = p.col1.data();
    const size_t pieces = p.start.size() - 1;
    int32_t* runStart = plan.runStart.data();
    RunKind* runKind = plan.runKind.data() + 1;  // with a kind of none before the first run and after the last
    uint8_t* w = plan.w.data();
    constexpr RunKind cNone = RunKind(3);
    // Each piece is written as a run at n, which moves on only when the kind differs from the last.
    size_t n = 0;
    runKind[-1] = cNone;
    RunKind last = cNone;
    for (size_t k = 0; k < pieces; k++) {
        const int32_t l = start[k], r = start[k + 1];
        const uint8_t c0 = col0[k], c1 = col1[k];
        const uint32_t v = OneBand ? (uint32_t(a0[c0]) + a0[c1] + 1) >> 1
                                   : (uint32_t(a0[c0]) + a0[c1] + a1[c0] + a1[c1] + 2) >> 2;
        const RunKind kind = cKindOf[v];
        FillWeight(w + l, r - l, v);
        runStart[n] = l;
        runKind[n] = kind;
        n += kind != last;
        last = kind;
    }
    runStart[n] = start[pieces];
    runKind[n] = cNone;
    // Into the lists: a bridged run and the blended runs around it become one span, which the
    // blended run before has opened (idx steps back to it).
    const int32_t unit[3] = {sampleBytes, sampleBytes, 1};
    int32_t* count = plan.spans;
    count[0] = count[1] = count[2] = 0;
    bool afterBlend = false;
    for (size_t i = 0; i < n; i++) {
        const int32_t l = runStart[i], r = runStart[i + 1];
        const bool bridged = (r - l < cBridgedRun) & (runKind[i - 1] == RunKind::Blend) & (runKind[i + 1] == RunKind::Blend);
        const int k = bridged ? int(RunKind::Blend) : int(runKind[i]);
        const bool join = (k == int(RunKind::Blend)) & afterBlend;
        Span* list = plan.span[k].data();
        const int32_t idx = count[k] - int32_t(join);
        const int32_t at = join ? list[idx].at : l * unit[k];
        list[idx] = Span{at, r * unit[k] - at};
        count[k] = idx + 1;
        afterBlend = k == int(RunKind::Blend);
    }
}

void PlanRow(const FrameJob& f, const Pieces& p, int32_t y0, int32_t y1, int32_t sampleBytes, RowPlan& plan) {
    if (y0 == y1)
        PlanRowT<true>(f, p, y0, y1, sampleBytes, plan);
    else
        PlanRowT<false>(f, p, y0, y1, sampleBytes, plan);
}

// n bytes (Word <= n <= 2 Word) as two word moves, the second overlapping the first.
template <class Word>
inline void CopyEnds(uint8_t* dst, const uint8_t* src, size_t n) {
    Word head, tail;
    std::memcpy(&head, src, sizeof(Word));
    std::memcpy(&tail, src + n - sizeof(Word), sizeof(Word));
    std::memcpy(dst, &head, sizeof(Word));
    std::memcpy(dst + n - sizeof(Word), &tail, sizeof(Word));
}

// memcpy of the stretch of one tile: most are a few dozen bytes, where a call costs more than the
// copy. Up to 128 bytes in 16-byte moves that overlap at the end, fewer in 8- and 4-byte ones; src
// and dst never overlap.
inline void CopySpan(uint8_t* dst, const uint8_t* src, size_t n) {
#if defined(__SSE2__)
    if (n >= 16 && n <= 128) {
        auto move = [&](size_t at) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at)));
        };
        move(0);
        move(n - 16);
        if (n > 32) {
            move(16);
            move(n - 32);
            if (n > 64) {
                move(32);
                move(48);
                move(n - 64);
                move(n - 48);
            }
        }
        return;
    }
#endif
    if (n >= 8 && n < 16) return CopyEnds<uint64_t>(dst, src, n);
    if (n >= 4 && n < 8) return CopyEnds<uint32_t>(dst, src, n);
    std::memcpy(dst, src, n);
}
inline void CopySpans(uint8_t* out, const uint8_t* src, const RowPlan& plan, RunKind kind) {
    const Span* list = plan.span[int(kind)].data();
    for (int32_t i = 0; i < plan.spans[int(kind)]; i++) CopySpan(out + list[i].at, src + list[i].at, size_t(list[i].count));
}

void ComposePlaneRows(const FrameJob& f, PlaneGroup group, int32_t first, int32_t last) {
    const PlaneJob& lead = f.plane[group.first];
    RowPlan plan;
    MakeRowPlan(lead.pieces, lead.samples, plan);
    int32_t bands[2] = {-1, -1};
    for (int32_t row = first; row < last; row++) {
        const int32_t top = row << lead.desc.rowShift;
        const int32_t bottom = std::min(top + (1 << lead.desc.rowShift), f.hig) - 1;
        const int32_t b0 = f.band[size_t(top)], b1 = f.band[size_t(bottom)];
        if (b0 != bands[0] || b1 != bands[1]) {
            PlanRow(f, lead.pieces, b0, b1, f.sampleBytes, plan);
            bands[0] = b0;
            bands[1] = b1;
        }
        for (int k = group.first; k < group.first + group.count; k++) {
            const PlaneJob& p = f.plane[k];
            const uint8_t* from = p.from + intptr_t(row) * p.fromStride;
            const uint8_t* to = p.to + intptr_t(row) * p.toStride;
            uint8_t* out = p.out + intptr_t(row) * p.outStride;
            if (!p.outIsFrom) CopySpans(out, from, plan, RunKind::From);
            if (!p.outIsTo) CopySpans(out, to, plan, RunKind::To);
            const Span* blend = plan.span[int(RunKind::Blend)].data();
            const int32_t blends = plan.spans[int(RunKind::Blend)];
            if (blends == 0)
                continue;
            if (f.sampleBytes == 1)
                f.rows->BlendSpans8(from, to, plan.w.data(), out, blend, blends);
            else
                f.rows->BlendSpans16(reinterpret_cast<const uint16_t*>(from), reinterpret_cast<const uint16_t*>(to),
                                     plan.w.data(), reinterpret_cast<uint16_t*>(out), blend, blends);
        }
    }
}

// One row of plane k of the colour, stored in row (samples x sample bytes).
void ColourRow(const uint16_t samples[4], const PlanarPicture& pic, int k, int32_t count, std::vector<uint8_t>& row) {
    const FormatDesc& f = cFormats[size_t(pic.Format)];
    const size_t sb = pic.Depth > 8 ? 2 : 1;
    row.assign(size_t(count) * sb, 0);
    switch (f.plane[k].spread) {
        case Spread::Sample:
        case Spread::HalfWidth:
            for (int32_t i = 0; i < count; i++)
                if (sb == 2) {
                    const uint16_t v = samples[k];
                    std::memcpy(row.data() + 2 * size_t(i), &v, 2);
                } else
                    row[size_t(i)] = uint8_t(samples[k]);
            break;
        case Spread::YUYV:
            for (int32_t i = 0; i < count; i++) row[size_t(i)] = uint8_t(samples[(i & 1) ? (i & 2 ? 2 : 1) : 0]);
            break;
        case Spread::Quad: {
            const int8_t* order = cQuadOrder[int(pic.Format) - int(PlanarFormat::RGBA)];
            for (int32_t i = 0; i < count; i++) row[size_t(i)] = uint8_t(samples[order[i & 3]]);
            break;
        }
    }
}
}  // namespace

void PictureColour(RGBColor Colour, const PlanarPicture& Picture, uint16_t Samples[4]) {
    const int r8 = Colour.RED >> 8, g8 = Colour.GREEN >> 8, b8 = Colour.BLUE >> 8;
    if (Picture.Format >= PlanarFormat::RGBA) {
        Samples[0] = uint16_t(r8);
        Samples[1] = uint16_t(g8);
        Samples[2] = uint16_t(b8);
        Samples[3] = 255;
        return;
    }
    const double kr = Picture.Matrix == YuvMatrix::BT709 ? 0.2126 : 0.299;
    const double kb = Picture.Matrix == YuvMatrix::BT709 ? 0.0722 : 0.114;
    const double r = r8 / 255.0, g = g8 / 255.0, b = b8 / 255.0;
    const double y = kr * r + (1.0 - kr - kb) * g + kb * b;
    const double pb = (b - y) / (2.0 * (1.0 - kb)), pr = (r - y) / (2.0 * (1.0 - kr));
    const int depth = std::clamp<int>(Picture.Depth, 8, 16);
    const double top = double((1 << depth) - 1), scale = double(1 << (depth - 8));
    double v[3];
    if (Picture.FullRange) {
        v[0] = y * top;
        v[1] = double(1 << (depth - 1)) + pb * top;
        v[2] = double(1 << (depth - 1)) + pr * top;
    } else {
        v[0] = (16.0 + 219.0 * y) * scale;
        v[1] = (128.0 + 224.0 * pb) * scale;
        v[2] = (128.0 + 224.0 * pr) * scale;
    }
    for (int k = 0; k < 3; k++) Samples[k] = uint16_t(std::clamp(std::lround(v[k]), 0L, long(top)));
    Samples[3] = 0;
}

bool ComposePlanarByTiles(const PlanarPicture* From, const PlanarPicture* To, const PlanarPicture& Out,
                          const PluginDataRec& theConfig, int32_t CurrentFrame) {
    if (!Readable(Out)) return false;
    for (const PlanarPicture* p : {From, To})
        if (p && !(Readable(*p) && SameKind(*p, Out))) return false;

    FrameJob f{};
    f.wid = Out.Wid;
    f.hig = Out.Hig;
    f.sampleBytes = Out.Depth > 8 ? 2 : 1;
    f.rows = &Rows();
    const Rect MyFrame{0, 0, int16_t(Out.Hig), int16_t(Out.Wid)};
    const TileGrid g = GridFor(theConfig, MyFrame);
    TileAlphas alphas;
    TileFrameAt(theConfig, g, MyFrame, CurrentFrame, f.area, alphas);
    f.grid = &g;
    f.band.assign(size_t(f.hig), 0);
    for (int32_t y = 1; y <= g.H; y++)
        for (int32_t row = std::max<int32_t>(g.Top(y), f.area.top); row < std::min<int32_t>(g.Bottom(y), f.area.bottom);
             row++)
            f.band[size_t(row)] = int16_t(y);
    f.column.assign(size_t(f.wid), 0);
    for (int32_t x = 1; x <= g.W; x++)
        for (int32_t col = std::max<int32_t>(g.Left(x), f.area.left); col < std::min<int32_t>(g.Right(x), f.area.right);
             col++)
            f.column[size_t(col)] = int16_t(x);
    f.alphaRow = g.W + 1;
    f.alpha.assign(size_t(g.H + 1) * size_t(f.alphaRow), 0);
    for (int32_t y = 1; f.area.left < f.area.right && y <= g.H; y++)
        for (int32_t x = 1; x <= g.W; x++) f.alpha[size_t(y) * size_t(f.alphaRow) + size_t(x)] = alphas[y - 1][x - 1];

    const FormatDesc& fmt = cFormats[size_t(Out.Format)];
    f.planes = fmt.planes;
    uint16_t colour[4] = {};
    if (!From || !To) PictureColour(theConfig.Colors[1], Out, colour);
    std::vector<uint8_t> colourRows[3];
    const std::vector<int32_t> pixelBreaks = PixelBreaks(f);
    int8_t maxShift = 0;
    for (int k = 0; k < f.planes; k++) {
        PlaneJob& p = f.plane[k];
        p.desc = fmt.plane[k];
        p.samples = PlaneSamples(p.desc.spread, f.wid);
        p.rows = PlaneRows(p.desc, f.hig);
        maxShift = std::max(maxShift, p.desc.rowShift);
        if (!From || !To) ColourRow(colour, Out, k, p.samples, colourRows[k]);
        p.from = From ? From->Plane[k] : colourRows[k].data();
        p.fromStride = From ? From->Stride[k] : 0;
        p.to = To ? To->Plane[k] : colourRows[k].data();
        p.toStride = To ? To->Stride[k] : 0;
        p.out = Out.Plane[k];
        p.outStride = Out.Stride[k];
        p.outIsFrom = From && From->Plane[k] == Out.Plane[k] && From->Stride[k] == Out.Stride[k];
        p.outIsTo = To && To->Plane[k] == Out.Plane[k] && To->Stride[k] == Out.Stride[k];
    }
    // Shared out over the cores in groups of pixel rows that whole rows of every plane cover, weighed
    // as 32-bit pixels of the same bytes: a 1080p 8-bit 4:2:0 frame stays on one core, where starting
    // a thread costs more than it saves.
    const int32_t groups = (f.hig + (1 << maxShift) - 1) >> maxShift;
    int64_t groupBytes = 0;
    for (int k = 0; k < f.planes; k++)
        groupBytes += int64_t(f.plane[k].samples) * f.sampleBytes << (maxShift - f.plane[k].desc.rowShift);
    PlaneGroup alike[3];
    int nAlike = 0;
    for (int k = 0; k < f.planes; k++) {
        const PlaneDesc& d = f.plane[k].desc;
        const PlaneDesc& prev = f.plane[k > 0 ? k - 1 : 0].desc;
        if (k > 0 && d.spread == prev.spread && d.rowShift == prev.rowShift)
            alike[nAlike - 1].count++;
        else
            alike[nAlike++] = PlaneGroup{int8_t(k), 1};
    }
    for (int k = 0; k < nAlike; k++) {  // the rows read the pieces of a group's first plane only
        PlaneJob& p = f.plane[alike[k].first];
        p.pieces = PlanePieces(f, pixelBreaks, p.desc.spread, p.samples);
    }
    ParallelRows(groups, groupBytes / 4, [&](int32_t first, int32_t last) {
        for (int k = 0; k < nAlike; k++) {
            const PlaneJob& p = f.plane[alike[k].first];
            const int shift = maxShift - p.desc.rowShift;
            ComposePlaneRows(f, alike[k], std::min(first << shift, p.rows), std::min(last << shift, p.rows));
        }
    });
    return true;
}
