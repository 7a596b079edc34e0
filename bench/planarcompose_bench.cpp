// The picture composer against one frame copy, in one run. For each size and depth:
//   BM_Planar: a 4:2:0 between-clips frame halfway through the transition, composed into clip A's
//   own picture (as MLT composes), with the factory settings (method 1, 50 x 50 tiles: every tile
//   switches within a frame, so half the frame is copied) and with every tile changing (method 12,
//   changes over half the run: the whole frame blends) on 10 x 10 and 100 x 100 tiles;
//   BM_FrameCopy: memcpy of every plane of one such frame.
// Compare the two as planar / copy (medians: run with --benchmark_repetitions=9). The CPU column is
// the whole process's (both cores of the composer), the measure that holds on a busy machine.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/fixedrandom.h"
#include "engine/planarcompose.h"
#include "engine/recthandler.h"

namespace {
struct Frame {
    std::vector<uint8_t> bytes;
    PlanarPicture pic{};
    Frame(int w, int h, int depth, int seed) {
        const int sb = depth > 8 ? 2 : 1, cw = (w + 1) / 2, ch = (h + 1) / 2;
        const size_t luma = size_t(w) * size_t(h) * size_t(sb), chroma = size_t(cw) * size_t(ch) * size_t(sb);
        bytes.resize(luma + 2 * chroma);
        for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t((i * 7 + size_t(seed)) & (depth > 8 ? 0x03 : 0xFF));
        pic = PlanarPicture{{bytes.data(), bytes.data() + luma, bytes.data() + luma + chroma},
                            {w * sb, cw * sb, cw * sb},
                            w,
                            h,
                            PlanarFormat::YUV420,
                            int16_t(depth),
                            YuvMatrix::BT709,
                            false};
    }
};

void BM_Planar(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1)), depth = int(state.range(2));
    const int16_t method = int16_t(state.range(3)), grid = int16_t(state.range(4));
    Frame clipA(w, h, depth, 0), clipB(w, h, depth, 99);
    FInitRandom();
    auto field = std::make_unique<RectField>();
    PluginDataRec config{};
    config.Rects = field.get();
    config.StartRel = RelRect{0, 1, 0, 1};
    config.Sliders[1] = grid;
    config.Sliders[2] = grid;
    config.Sliders[3] = 50;
    config.Method = method;
    config.RandomizedDuration = true;
    const int32_t frames = 60;
    InitRectangles(&config, frames, Rect{0, 0, int16_t(h), int16_t(w)});
    for (auto _ : state) {
        ComposePlanarByTiles(&clipA.pic, &clipB.pic, clipA.pic, config, frames / 2);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(clipA.bytes.size()));
}

void BM_FrameCopy(benchmark::State& state) {
    Frame a(int(state.range(0)), int(state.range(1)), int(state.range(2)), 0), out = a;
    for (auto _ : state) {
        std::memcpy(out.bytes.data(), a.bytes.data(), a.bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.bytes.size()));
}

void Sizes(benchmark::internal::Benchmark* b, bool withGrid) {
    const int sizes[][3] = {{1920, 1080, 8}, {3840, 2160, 8}, {1920, 1080, 10}, {3840, 2160, 10}};
    for (const auto& s : sizes) {
        if (withGrid) {
            b->Args({s[0], s[1], s[2], 1, 50});
            b->Args({s[0], s[1], s[2], 12, 10});
            b->Args({s[0], s[1], s[2], 12, 100});
        } else {
            b->Args({s[0], s[1], s[2]});
        }
    }
    b->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
}
}  // namespace

BENCHMARK(BM_Planar)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, true); });
BENCHMARK(BM_FrameCopy)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, false); });
