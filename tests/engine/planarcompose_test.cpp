#include "engine/planarcompose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
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
            rowBytes[k] = planar ? (k == 0 ? w : cw) * sb : format == PlanarFormat::YUYV ? (w + 1) / 2 * 4 : w * 4;
            rows[k] = k == 0 ? h : ch;
            pic.Stride[k] = rowBytes[k] + cPad;
            bytes[k].assign(size_t(pic.Stride[k]) * size_t(rows[k]), cMarker);
            pic.Plane[k] = bytes[k].data();
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
    for (int16_t method = 1; method <= 41; method++) {
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
            auto Channel = [&](int x, int y, int k) {
                return int(argb[(size_t(y) * size_t(c.w) + size_t(x)) * 4 + 1 + size_t(k)]);
            };
            for (int y = 0; y < c.h; y++)
                for (int x = 0; x < c.w; x++) {
                    const bool changing = A(x, y) > 0 && A(x, y) < 255;
                    seen[A(x, y) <= 0 ? 0 : A(x, y) == 255 ? 1 : 2]++;
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
                                ends |= A(x, y) <= 0 ? 1 : A(x, y) == 255 ? 2 : 4;
                            }
                        const int mean = (2 * sum + n) / (2 * n);
                        const int d = std::abs(int(out.Get(k, cx, cy)) - mean);
                        worstChroma = std::max(worstChroma, d);
                        // Pixels all in one end state take that picture's sample itself.
                        const int own = ends == 1 ? int(from.Get(k, cx, cy)) : ends == 2 ? int(to.Get(k, cx, cy)) : -1;
                        if (own >= 0 ? int(out.Get(k, cx, cy)) != own : d > 2)
                            FAIL() << "chroma " << k << " at " << cx << "," << cy << ": " << out.Get(k, cx, cy)
                                   << " against " << mean;
                    }
            ASSERT_TRUE(out.PaddingIntact());
        }
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
    std::printf("worst difference: luma/4:4:4 %d, chroma %d\n", worstLuma, worstChroma);
}
INSTANTIATE_TEST_SUITE_P(Cases, Oracle, ::testing::ValuesIn(kOracle));

}  // namespace
