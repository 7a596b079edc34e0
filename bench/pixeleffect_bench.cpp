// The per-frame effect against its memory floor, in one run. For each size and grid:
//   BM_PixelEffect: ThePixelEffect of a between-clips frame halfway through the transition;
//   BM_ThroughLayer: the same frame the plain way (mask, layer, layer drawn over the output);
//   BM_Floor: memcpy of frame A into the output plus memcpy of frame B into a scratch buffer, about
//   the memory traffic of one pass that reads A and B and writes the output.
// Compare the two as effect / floor (medians: run with --benchmark_repetitions=9).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/callpixelfx.h"
#include "engine/fixedrandom.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "imaging/commonprocs.h"

namespace {
void PaintPattern(GWorldPtr gw, int seed) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    const Rect b = GetPortRect(gw);
    for (int y = 0; y < b.bottom; y++) {
        PixRec* row = PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y);
        for (int x = 0; x < b.right; x++) row[x] = PixRec{255, uint8_t(x + seed), uint8_t(y * 3), uint8_t(x ^ y)};
    }
}

template <bool kLayer>
void Effect(benchmark::State& state) {
    const int16_t w = int16_t(state.range(0)), h = int16_t(state.range(1)), grid = int16_t(state.range(2));
    GWorldPtr clipA = AllocateGWorld(w, h), clipB = AllocateGWorld(w, h), out = AllocateGWorld(w, h);
    PaintPattern(clipA, 0);
    PaintPattern(clipB, 99);
    FInitRandom();
    auto field = std::make_unique<RectField>();
    PluginDataRec config{};
    config.Rects = field.get();
    config.StartRel = RelRect{0, 1, 0, 1};
    config.Sliders[1] = grid;
    config.Sliders[2] = grid;
    config.Sliders[3] = 50;
    config.Method = 12;
    config.Which = 3;
    const int32_t frames = 60;
    InitRectangles(&config, frames, GetPortRect(out));
    for (auto _ : state) {
        state.PauseTiming();
        Source2Target(clipA, out);  // the host hands over clip A in the output frame
        state.ResumeTiming();
        if (kLayer)
            ComposeThroughLayer(clipB, out, &config, frames / 2, frames);
        else
            DoPixelEffect(clipB, out, &config, frames / 2, frames);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
    ReleasePixelEffectBuffers();
    DisposeGWorld(clipA);
    DisposeGWorld(clipB);
    DisposeGWorld(out);
}

void BM_PixelEffect(benchmark::State& state) { Effect<false>(state); }
void BM_ThroughLayer(benchmark::State& state) { Effect<true>(state); }

void BM_Floor(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0)) * size_t(state.range(1)) * 4;
    std::vector<uint8_t> a(bytes, 1), b(bytes, 2), out(bytes), scratch(bytes);
    for (auto _ : state) {
        std::memcpy(out.data(), a.data(), bytes);
        std::memcpy(scratch.data(), b.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void Sizes(benchmark::internal::Benchmark* b, bool withGrid) {
    const int sizes[][2] = {{720, 480}, {960, 540}, {1920, 1080}, {3840, 2160}};
    for (const auto& s : sizes) {
        if (withGrid) {
            b->Args({s[0], s[1], 50});
            b->Args({s[0], s[1], 100});
        } else {
            b->Args({s[0], s[1]});
        }
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}
}  // namespace

BENCHMARK(BM_PixelEffect)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, true); });
BENCHMARK(BM_ThroughLayer)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, true); });
BENCHMARK(BM_Floor)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, false); });
