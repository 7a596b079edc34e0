#include "engine/planarcompose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/fixedrandom.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"

namespace {
constexpr uint8_t cMarker = 0xC3;
constexpr int32_t cPad = 8;  // bytes of row padding, filled with the marker

// A picture with its own planes, every row padded with the marker.
struct Picture {
    PlanarPicture pic{};
    std::vector<uint8_t> bytes[3];
    int32_t rowBytes[3] = {}, rows[3] = {};
    Picture(PlanarFormat format, int w, int h, int depth = 8) {
        pic.Format = format;
        pic.Wid = w;
        pic.Hig = h;
        pic.Depth = int16_t(depth);
        const int sb = depth > 8 ? 2 : 1;
        const int cw = format == PlanarFormat::YUV444 ? w : (w + 1) / 2;
        const int ch = format == PlanarFormat::YUV420 ? (h + 1) / 2 : h;
        const bool planar = format <= PlanarFormat::YUV444;
        for (int k = 0; k < (planar ? 3 : 1); k++) {
            rowBytes[k] = planar ? (k == 0 ? w : cw) * sb : (format == PlanarFormat::YUYV ? (w + 1) / 2 * 4 : w * 4);
            rows[k] = k == 0 ? h : ch;
            pic.Stride[k] = rowBytes[k] + cPad;
            bytes[k].assign(size_t(pic.Stride[k]) * size_t(rows[k]), cMarker);
            pic.Plane[k] = bytes[k].data();
        }
    }
    Picture(const Picture& o) : pic(o.pic) {
        for (int k = 0; k < 3; k++) {
            bytes[k] = o.bytes[k];
            rowBytes[k] = o.rowBytes[k];
            rows[k] = o.rows[k];
            pic.Plane[k] = bytes[k].empty() ? nullptr : bytes[k].data();
        }
    }
    int Planes() const { return pic.Format <= PlanarFormat::YUV444 ? 3 : 1; }
    int Samples(int k) const { return rowBytes[k] / (pic.Depth > 8 ? 2 : 1); }
    uint32_t Get(int k, int x, int y) const {
        const uint8_t* p = bytes[k].data() + size_t(y) * size_t(pic.Stride[k]);
        if (pic.Depth == 8) return p[x];
        uint16_t v;
        std::memcpy(&v, p + 2 * x, 2);
        return v;
    }
    void Set(int k, int x, int y, uint32_t v) {
        uint8_t* p = bytes[k].data() + size_t(y) * size_t(pic.Stride[k]);
        if (pic.Depth == 8) {
            p[x] = uint8_t(v);
            return;
        }
        const uint16_t s = uint16_t(v);
        std::memcpy(p + 2 * x, &s, 2);
    }
    void FillRandom(std::mt19937& rng) {
        const uint32_t top = (1u << pic.Depth) - 1;
        for (int k = 0; k < Planes(); k++)
            for (int y = 0; y < rows[k]; y++)
                for (int x = 0; x < Samples(k); x++) Set(k, x, y, rng() & top);
    }
    bool PaddingIntact() const {
        for (int k = 0; k < Planes(); k++)
            for (int y = 0; y < rows[k]; y++)
                for (int b = rowBytes[k]; b < pic.Stride[k]; b++)
                    if (bytes[k][size_t(y) * size_t(pic.Stride[k]) + size_t(b)] != cMarker) return false;
        return true;
    }
};

// The plane (3: alpha) of sample i of a row of plane k: YUYV interleaves Y Cb Y Cr, the RGBA
// formats their four channels in the order of their names; the planar formats keep their own.
int PlaneAt(PlanarFormat format, int k, int i) {
    static const int8_t cQuad[4][4] = {{0, 1, 2, 3}, {2, 1, 0, 3}, {3, 0, 1, 2}, {3, 2, 1, 0}};
    if (format == PlanarFormat::YUYV) return (i & 1) ? (i & 2 ? 2 : 1) : 0;
    return format >= PlanarFormat::RGBA ? cQuad[int(format) - int(PlanarFormat::RGBA)][i & 3] : k;
}

struct Scene {
    std::unique_ptr<RectField> field = std::make_unique<RectField>();
    PluginDataRec config{};
    Scene(int cols, int rows, RelRect area) {
        config.Rects = field.get();
        config.StartRel = area;
        config.Sliders[1] = int16_t(cols);
        config.Sliders[2] = int16_t(rows);
        config.Sliders[3] = 60;
        config.Colors[1] = RGBColor{0xFF00, 0x0000, 0x0000};
    }
    void Lay(int16_t method, int32_t frames, int w, int h) {
        config.Method = method;
        FInitRandom();
        InitRectangles(&config, frames, Rel2Rect(config.StartRel, Rect{0, 0, int16_t(h), int16_t(w)}));
    }
    // The progress of pixel (x, y), worked out from the field tile by tile: -1 outside the tiles.
    std::vector<int> Progress(int w, int h, int32_t frame) const {
        std::vector<int> a(size_t(w) * size_t(h), -1);
        const Rect active = Rel2Rect(config.StartRel, Rect{0, 0, int16_t(h), int16_t(w)});
        const int W = FieldColumns(config), H = FieldRows(config);
        for (int ty = 1; ty <= H; ty++)
            for (int tx = 1; tx <= W; tx++) {
                const RectDesc& t = (*field)[tx][ty];
                for (int y = TileEdge(ty - 1, h, H); y < TileEdge(ty, h, H); y++)
                    for (int x = TileEdge(tx - 1, w, W); x < TileEdge(tx, w, W); x++)
                        if (x >= active.left && x < active.right && y >= active.top && y < active.bottom)
                            a[size_t(y) * size_t(w) + size_t(x)] = TileAlpha(frame, t.StartFrame, t.EndFrame);
            }
        return a;
    }
};

// --- The ARGB path as the oracle ---
// Planar samples put into the colour bytes of 32-bit pixels (Y, Cb, Cr as red, green, blue) blend
// there exactly as they blend in their planes, so the tiles composed on 32-bit pixels
// (ComposeClipsByTiles, ThePixelEffect's own bytes) tell what every sample must be: the same bytes
// where a tile is not started or finished, within a level where it changes (the 32-bit path
// premultiplies by truncation, the planes round once). A 4:2:0 chroma sample is checked against the
// mean of the 32-bit results over the pixels it covers, the inputs' chroma being the same over
// them: the mean weight rounded to a 255th moves the result by at most half a level, the rounding
// of the 32-bit path by up to one, and the rounding of the mean by half: within 2.
struct OracleCase {
    int w, h, cols, rows;
    RelRect area;
    PlanarFormat format;
};
const OracleCase kOracle[] = {
    {67, 45, 7, 5, RelRect{0, 1, 0, 1}, PlanarFormat::YUV444},
    {64, 36, 16, 9, RelRect{0, 1, 0, 1}, PlanarFormat::YUV444},
    {50, 41, 3, 11, RelRect{0.13, 0.77, 0.21, 0.9}, PlanarFormat::YUV444},
    {67, 45, 7, 5, RelRect{0, 1, 0, 1}, PlanarFormat::YUV420},
    {33, 29, 5, 4, RelRect{0.11, 0.8, 0.07, 0.73}, PlanarFormat::YUV420},
    {96, 54, 13, 7, RelRect{0, 1, 0, 1}, PlanarFormat::YUV420},
};
class Oracle : public ::testing::TestWithParam<OracleCase> {};
TEST_P(Oracle, EveryOrderingMatchesTheArgbPath) {
    const OracleCase c = GetParam();
    const bool sub = c.format == PlanarFormat::YUV420;
    std::mt19937 rng(uint32_t(c.w * 131 + c.h));
    Picture from(c.format, c.w, c.h), to(c.format, c.w, c.h);
    from.FillRandom(rng);
    to.FillRandom(rng);
    // The 32-bit pictures: alpha 255, then each pixel's Y, Cb, Cr.
    auto Argb = [&](const Picture& p) {
        std::vector<uint8_t> v;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                const int cx = sub ? x / 2 : x, cy = sub ? y / 2 : y;
                v.insert(v.end(), {255, uint8_t(p.Get(0, x, y)), uint8_t(p.Get(1, cx, cy)), uint8_t(p.Get(2, cx, cy))});
            }
        return v;
    };
    const std::vector<uint8_t> under = Argb(from), source = Argb(to);
    const int32_t frames = 30;
    int seen[3] = {};  // samples checked not started, finished, changing
    int worstLuma = 0, worstChroma = 0;
    for (int16_t method = 1; method <= cMethodCount; method++) {
        Scene s(c.cols, c.rows, c.area);
        s.Lay(method, frames, c.w, c.h);
        for (int32_t frame : {0, 7, 15, 22, 40}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " frame " << frame);
            std::vector<uint8_t> argb(under.size());
            ComposeClipsByTiles(under.data(), source.data(), argb.data(), c.w * 4, int16_t(c.w), int16_t(c.h),
                                AlphaByte::First, s.config, frame);
            Picture out(c.format, c.w, c.h);
            ASSERT_TRUE(ComposePlanarByTiles(&from.pic, &to.pic, out.pic, s.config, frame));
            const std::vector<int> a = s.Progress(c.w, c.h, frame);
            auto A = [&](int x, int y) { return a[size_t(y) * size_t(c.w) + size_t(x)]; };
            // 0 not started (or outside the tiles), 1 finished, 2 changing.
            auto State = [&](int x, int y) { return A(x, y) <= 0 ? 0 : 1 + (A(x, y) < 255); };
            auto Channel = [&](int x, int y, int k) {
                return int(argb[(size_t(y) * size_t(c.w) + size_t(x)) * 4 + 1 + size_t(k)]);
            };
            for (int y = 0; y < c.h; y++)
                for (int x = 0; x < c.w; x++) {
                    const bool changing = State(x, y) == 2;
                    seen[State(x, y)]++;
                    for (int k = 0; k < (sub ? 1 : 3); k++) {
                        const int d = std::abs(int(out.Get(k, x, y)) - Channel(x, y, k));
                        worstLuma = std::max(worstLuma, d);
                        if (changing ? d > 1 : d != 0)
                            FAIL() << "plane " << k << " at " << x << "," << y << ": " << out.Get(k, x, y)
                                   << " against " << Channel(x, y, k) << ", progress " << A(x, y);
                    }
                }
            for (int cy = 0; sub && cy < (c.h + 1) / 2; cy++)
                for (int cx = 0; cx < (c.w + 1) / 2; cx++)
                    for (int k = 1; k <= 2; k++) {
                        int sum = 0, n = 0, ends = 0;
                        for (int y = 2 * cy; y < std::min(2 * cy + 2, c.h); y++)
                            for (int x = 2 * cx; x < std::min(2 * cx + 2, c.w); x++, n++) {
                                sum += Channel(x, y, k);
                                ends |= 1 << State(x, y);
                            }
                        const int mean = (2 * sum + n) / (2 * n);
                        const int d = std::abs(int(out.Get(k, cx, cy)) - mean);
                        worstChroma = std::max(worstChroma, d);
                        // Pixels all in one end state take that picture's sample itself.
                        const int own = ends == 1 ? int(from.Get(k, cx, cy)) : (ends == 2 ? int(to.Get(k, cx, cy)) : -1);
                        if (own >= 0 ? int(out.Get(k, cx, cy)) != own : d > 2)
                            FAIL() << "chroma " << k << " at " << cx << "," << cy << ": " << out.Get(k, cx, cy)
                                   << " against " << mean;
                    }
            ASSERT_TRUE(out.PaddingIntact());
        }
    }
    EXPECT_TRUE(seen[0] > 0 && seen[1] > 0 && seen[2] > 0);
    std::printf("worst difference: luma/4:4:4 %d, chroma %d\n", worstLuma, worstChroma);
}
INSTANTIATE_TEST_SUITE_P(Cases, Oracle, ::testing::ValuesIn(kOracle));

// --- The formats against each other ---
// Packed 4:2:2 is planar 4:2:2 with its samples interleaved, RGBA in any order is 4:4:4 with a fourth
// plane, and 10-bit 4:2:0 of the 8-bit samples times 4 is the 8-bit result times 4 (exactly where
// no tile changes; within 2 where the 16384ths weight and the rounding at 8 bits part).
struct PairCase {
    PlanarFormat format, ref;  // ref: the planar format it is held to
    int depth, w, h, cols, rows;
};
const PairCase kPairs[] = {
    {PlanarFormat::YUYV, PlanarFormat::YUV422, 8, 67, 9, 7, 2},
    {PlanarFormat::YUYV, PlanarFormat::YUV422, 8, 6, 2, 2, 1},
    {PlanarFormat::RGBA, PlanarFormat::YUV444, 8, 17, 9, 5, 3},
    {PlanarFormat::BGRA, PlanarFormat::YUV444, 8, 17, 9, 5, 3},
    {PlanarFormat::ARGB, PlanarFormat::YUV444, 8, 3, 5, 2, 4},
    {PlanarFormat::ABGR, PlanarFormat::YUV444, 8, 17, 9, 5, 3},
    {PlanarFormat::YUV420, PlanarFormat::YUV420, 10, 67, 45, 7, 5},
    {PlanarFormat::YUV420, PlanarFormat::YUV420, 10, 1, 1, 1, 1},
    {PlanarFormat::YUV420, PlanarFormat::YUV420, 10, 1920, 1080, 37, 23},  // shared over the cores, the 8-bit one not
};
class Formats : public ::testing::TestWithParam<PairCase> {};
TEST_P(Formats, AgreeSampleForSample) {
    const PairCase c = GetParam();
    const bool tenBit = c.depth > 8;
    std::mt19937 rng(uint32_t(c.w * 7 + c.h + int(c.format)));
    Picture refFrom(c.ref, c.w, c.h), refTo(c.ref, c.w, c.h);
    Picture from(c.format, c.w, c.h, c.depth), to = from;
    Picture alphaFrom(PlanarFormat::YUV444, c.w, c.h), alphaTo(PlanarFormat::YUV444, c.w, c.h);
    refFrom.FillRandom(rng);
    refTo.FillRandom(rng);
    alphaFrom.FillRandom(rng);
    alphaTo.FillRandom(rng);
    // Sample i of the packed or quad row of pixel row y, from the reference planes.
    auto Packed = [&](const Picture& ref, const Picture& alpha, int i, int y) -> uint32_t {
        const int k = PlaneAt(c.format, 0, i);
        return k == 3 ? alpha.Get(0, i / 4, y) : ref.Get(k, k == 0 && c.format == PlanarFormat::YUYV ? i / 2 : i / 4, y);
    };
    for (auto [pic, ref, alpha] : {std::tuple{&from, &refFrom, &alphaFrom}, std::tuple{&to, &refTo, &alphaTo}})
        for (int k = 0; k < pic->Planes(); k++)
            for (int y = 0; y < pic->rows[k]; y++)
                for (int i = 0; i < pic->Samples(k); i++)
                    pic->Set(k, i, y, tenBit ? ref->Get(k, i, y) * 4 : Packed(*ref, *alpha, i, y));
    Scene s(c.cols, c.rows, RelRect{0, 1, 0, 1});
    const bool large = c.w * c.h > 100000;  // one frame is enough there
    for (int16_t method : {19, 5, 30}) {
        if (large && method != 19) break;
        s.Lay(method, 20, c.w, c.h);
        for (int32_t frame : {9, 3, 14}) {
            if (large && frame != 9) break;
            SCOPED_TRACE(testing::Message() << "method " << method << " frame " << frame);
            Picture out = from, refOut = refFrom, alphaOut = alphaFrom;
            const std::vector<int> a = s.Progress(c.w, c.h, frame);
            ASSERT_TRUE(ComposePlanarByTiles(&from.pic, &to.pic, out.pic, s.config, frame));
            ASSERT_TRUE(ComposePlanarByTiles(&refFrom.pic, &refTo.pic, refOut.pic, s.config, frame));
            ASSERT_TRUE(ComposePlanarByTiles(&alphaFrom.pic, &alphaTo.pic, alphaOut.pic, s.config, frame));
            for (int k = 0; k < out.Planes(); k++)
                for (int y = 0; y < out.rows[k]; y++)
                    for (int i = 0; i < out.Samples(k); i++) {
                        const uint32_t got = out.Get(k, i, y);
                        if (!tenBit) {
                            ASSERT_EQ(got, Packed(refOut, alphaOut, i, y)) << "sample " << i << " of row " << y;
                            continue;
                        }
                        const uint32_t ref = refOut.Get(k, i, y) * 4;
                        const int progress = k == 0 ? a[size_t(y) * size_t(c.w) + size_t(i)] : 1;
                        if (progress <= 0 || progress == 255)
                            ASSERT_EQ(got, ref) << "luma at " << i << "," << y;
                        else
                            ASSERT_LE(std::abs(int(got) - int(ref)), 2) << "plane " << k << " at " << i << "," << y;
                    }
            ASSERT_TRUE(out.PaddingIntact());
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Pairs, Formats, ::testing::ValuesIn(kPairs));

// --- The colour ---
struct ColourCase {
    RGBColor colour;
    PlanarFormat format;
    YuvMatrix matrix;
    bool full;
    int depth;
    std::vector<uint16_t> samples;
};
const ColourCase kColours[] = {
    {{0xFFFF, 0, 0}, PlanarFormat::YUV420, YuvMatrix::BT601, false, 8, {81, 90, 240}},
    {{0xFFFF, 0, 0}, PlanarFormat::YUV420, YuvMatrix::BT709, false, 8, {63, 102, 240}},
    {{0, 0xFF00, 0}, PlanarFormat::YUV420, YuvMatrix::BT601, true, 8, {150, 44, 21}},
    {{0xFFFF, 0xFFFF, 0xFFFF}, PlanarFormat::YUV420, YuvMatrix::BT709, false, 10, {940, 512, 512}},
    {{0xFFFF, 0xFFFF, 0xFFFF}, PlanarFormat::YUV420, YuvMatrix::BT601, true, 8, {255, 128, 128}},
    {{0x00FF, 0x00FF, 0x00FF}, PlanarFormat::YUV420, YuvMatrix::BT709, true, 10, {0, 512, 512}},  // the low bytes do not count
    {{0, 0, 0}, PlanarFormat::YUV420, YuvMatrix::BT601, false, 12, {256, 2048, 2048}},
    {{0x12FF, 0x3400, 0x56AA}, PlanarFormat::ABGR, YuvMatrix::BT601, false, 8, {0x12, 0x34, 0x56, 255}},  // high bytes, opaque
};
class Colour : public ::testing::TestWithParam<ColourCase> {};
TEST_P(Colour, IsTheMatrixRangeAndDepthsSamples) {
    const ColourCase c = GetParam();
    PlanarPicture p{};
    p.Format = c.format;
    p.Depth = int16_t(c.depth);
    p.Matrix = c.matrix;
    p.FullRange = c.full;
    uint16_t s[4];
    PictureColour(c.colour, p, s);
    EXPECT_EQ(std::vector<uint16_t>(s, s + c.samples.size()), c.samples);
}
INSTANTIATE_TEST_SUITE_P(Table, Colour, ::testing::ValuesIn(kColours));

// --- Each format ---
struct FormatCase {
    PlanarFormat format;
    int depth;
};
const FormatCase kFormatCases[] = {{PlanarFormat::YUV420, 8}, {PlanarFormat::YUV420, 12}, {PlanarFormat::YUV422, 10}, {PlanarFormat::YUYV, 8}, {PlanarFormat::RGBA, 8}, {PlanarFormat::BGRA, 8}, {PlanarFormat::ARGB, 8}};
class EachFormat : public ::testing::TestWithParam<FormatCase> {};

// A missing picture is the colour: the frame is the one composed with a picture of that colour in
// its place (the colour laid out in the format's own sample order).
TEST_P(EachFormat, AMissingPictureIsTheColour) {
    const FormatCase c = GetParam();
    const int w = 23, h = 13;
    std::mt19937 rng(77);
    Picture clip(c.format, w, h, c.depth), colour(c.format, w, h, c.depth);
    clip.FillRandom(rng);
    colour.pic.Matrix = clip.pic.Matrix = YuvMatrix::BT709;
    Scene s(5, 3, RelRect{0.1, 0.8, 0.2, 0.9});
    s.config.Colors[1] = RGBColor{0x2000, 0xC000, 0x7000};
    uint16_t samples[4];
    PictureColour(s.config.Colors[1], colour.pic, samples);
    for (int k = 0; k < colour.Planes(); k++)
        for (int y = 0; y < colour.rows[k]; y++)
            for (int i = 0; i < colour.Samples(k); i++) colour.Set(k, i, y, samples[PlaneAt(c.format, k, i)]);
    s.Lay(12, 20, w, h);
    for (int32_t frame : {0, 6, 11, 25})
        for (bool toColour : {true, false}) {
            Picture got = clip, want = clip;
            const PlanarPicture* from = toColour ? &clip.pic : nullptr;
            const PlanarPicture* to = toColour ? nullptr : &clip.pic;
            ASSERT_TRUE(ComposePlanarByTiles(from, to, got.pic, s.config, frame));
            ASSERT_TRUE(ComposePlanarByTiles(toColour ? &clip.pic : &colour.pic, toColour ? &colour.pic : &clip.pic,
                                             want.pic, s.config, frame));
            for (int k = 0; k < got.Planes(); k++)
                EXPECT_TRUE(got.bytes[k] == want.bytes[k]) << "frame " << frame << " plane " << k;
        }
}

// Into From (as MLT composes into clip A's picture), into To, or into a picture of its own: the same
// samples; a separate output leaves both inputs as they were; the row padding survives everywhere.
TEST_P(EachFormat, OutputInPlaceIntoEitherInputGivesTheSameSamples) {
    const FormatCase c = GetParam();
    std::mt19937 rng(5);
    Picture from(c.format, 37, 21, c.depth), to(c.format, 37, 21, c.depth);
    from.FillRandom(rng);
    to.FillRandom(rng);
    const Picture fromBefore = from, toBefore = to;
    Scene s(9, 4, RelRect{0, 1, 0, 1});
    s.Lay(3, 20, 37, 21);
    Picture out(c.format, 37, 21, c.depth), intoFrom = from, intoTo = to;
    ASSERT_TRUE(ComposePlanarByTiles(&from.pic, &to.pic, out.pic, s.config, 9));
    ASSERT_TRUE(ComposePlanarByTiles(&intoFrom.pic, &to.pic, intoFrom.pic, s.config, 9));
    ASSERT_TRUE(ComposePlanarByTiles(&from.pic, &intoTo.pic, intoTo.pic, s.config, 9));
    for (int k = 0; k < out.Planes(); k++) {
        EXPECT_TRUE(intoFrom.bytes[k] == out.bytes[k]) << "into From, plane " << k;
        EXPECT_TRUE(intoTo.bytes[k] == out.bytes[k]) << "into To, plane " << k;
        EXPECT_TRUE(from.bytes[k] == fromBefore.bytes[k] && to.bytes[k] == toBefore.bytes[k]);
        EXPECT_TRUE(out.bytes[k] != from.bytes[k] && out.bytes[k] != to.bytes[k]);  // the frame has both
    }
    EXPECT_TRUE(out.PaddingIntact());
}
INSTANTIATE_TEST_SUITE_P(Formats, EachFormat, ::testing::ValuesIn(kFormatCases));

// A tile edge at an odd pixel: tile 1 of 2 finished, tile 2 not started over 6 x 2 pixels (edge at
// x = 3). The chroma sample over pixels 2 and 3 takes the mean weight (255 + 0) / 2 rounded, 128;
// its neighbours are the pictures' own samples.
TEST(ChromaWeight, ASampleSplitByAnEdgeTakesTheMean) {
    Scene s(2, 1, RelRect{0, 1, 0, 1});
    (*s.field)[1][1] = RectDesc{0, 1};
    (*s.field)[2][1] = RectDesc{50, 60};
    struct Case {
        PlanarFormat format;
        std::vector<uint8_t> luma;    // plane 0, first row
        std::vector<uint8_t> chroma;  // plane 1, first row (none for YUYV)
    };
    const Case cases[] = {
        {PlanarFormat::YUV420, {255, 255, 255, 0, 0, 0}, {255, 128, 0}},
        {PlanarFormat::YUV422, {255, 255, 255, 0, 0, 0}, {255, 128, 0}},
        {PlanarFormat::YUYV, {255, 255, 255, 255, 255, 128, 0, 128, 0, 0, 0, 0}, {}},
    };
    for (const Case& c : cases) {
        Picture from(c.format, 6, 2), to(c.format, 6, 2);
        for (int k = 0; k < from.Planes(); k++) {
            std::fill(from.bytes[k].begin(), from.bytes[k].end(), 0);
            std::fill(to.bytes[k].begin(), to.bytes[k].end(), 255);
        }
        ASSERT_TRUE(ComposePlanarByTiles(&from.pic, &to.pic, from.pic, s.config, 10));
        EXPECT_TRUE(std::equal(c.luma.begin(), c.luma.end(), from.bytes[0].begin())) << int(c.format);
        EXPECT_TRUE(std::equal(c.chroma.begin(), c.chroma.end(), from.bytes[1].begin())) << int(c.format);
    }
}

// --- Pictures the composer does not take ---
// Each leaves the output as it was and says so.
TEST(Refuses, MalformedOrMismatchedPictures) {
    struct Bad {
        const char* what;
        void (*spoil)(PlanarPicture& from, PlanarPicture& out);
    };
    const Bad bad[] = {
        {"no chroma plane", [](PlanarPicture& f, PlanarPicture&) { f.Plane[2] = nullptr; }},
        {"short stride", [](PlanarPicture& f, PlanarPicture&) { f.Stride[1] = 8; }},  // 9 chroma samples a row
        {"width 0", [](PlanarPicture& f, PlanarPicture& o) { f.Wid = o.Wid = 0; }},
        {"width 32768", [](PlanarPicture& f, PlanarPicture& o) { f.Wid = o.Wid = 32768; }},
        {"depth 7", [](PlanarPicture& f, PlanarPicture& o) { f.Depth = o.Depth = 7; }},
        {"depth 17", [](PlanarPicture& f, PlanarPicture& o) { f.Depth = o.Depth = 17; }},
        {"sizes differ", [](PlanarPicture& f, PlanarPicture&) { f.Hig = 8; }},
        {"formats differ", [](PlanarPicture& f, PlanarPicture&) { f.Format = PlanarFormat::YUV422; }},
        {"depths differ", [](PlanarPicture&, PlanarPicture& o) { o.Depth = 10; }},
        {"unknown format", [](PlanarPicture& f, PlanarPicture& o) { f.Format = o.Format = PlanarFormat(8); }},
        {"16-bit YUYV", [](PlanarPicture& f, PlanarPicture& o) {
             f.Format = o.Format = PlanarFormat::YUYV;
             f.Depth = o.Depth = 10;
         }},
    };
    Scene s(3, 3, RelRect{0, 1, 0, 1});
    s.Lay(1, 2, 17, 9);
    for (const Bad& b : bad) {
        Picture from(PlanarFormat::YUV420, 17, 9), out(PlanarFormat::YUV420, 17, 9);
        std::fill(from.bytes[0].begin(), from.bytes[0].end(), 9);
        const Picture before = out;
        b.spoil(from.pic, out.pic);
        EXPECT_FALSE(ComposePlanarByTiles(&from.pic, nullptr, out.pic, s.config, 5)) << b.what;
        EXPECT_TRUE(out.bytes[0] == before.bytes[0]) << b.what;
    }
    // At the limits themselves the pictures are taken.
    Picture from(PlanarFormat::YUV420, 17, 9, 16), out(PlanarFormat::YUV420, 17, 9, 16);
    EXPECT_TRUE(ComposePlanarByTiles(&from.pic, nullptr, out.pic, s.config, 5));
    Picture tall(PlanarFormat::YUV444, 1, 32767), tallOut(PlanarFormat::YUV444, 1, 32767);
    EXPECT_TRUE(ComposePlanarByTiles(&tall.pic, nullptr, tallOut.pic, s.config, 5));
}
}  // namespace
