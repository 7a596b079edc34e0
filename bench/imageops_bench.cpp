// Whole-buffer compositing at 1920 x 1080 against its memory floor, in one run. Each operation has
// a floor that copies as many frames as the operation reads:
//   AddGWorlds (two sources) and AlphaBlit2 (the source and the destination it blends into):
//   BM_Floor/2; AverageGWorlds of 8 buffers: BM_Floor/8.
// Compare as operation / floor of the same bytes (medians: --benchmark_repetitions=9).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imaging/ImageOps.h"
#include "imaging/commonprocs.h"

namespace {
constexpr int16_t kW = 1920, kH = 1080;
constexpr size_t kFrameBytes = size_t(kW) * kH * 4;
constexpr Rect kAll = {0, 0, kH, kW};

void PaintPattern(GWorldPtr gw, int seed) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int y = 0; y < kH; y++) {
        PixRec* row = PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y);
        for (int x = 0; x < kW; x++)
            row[x] = PixRec{uint8_t(x ^ seed), uint8_t(x + seed), uint8_t(y * 3 + seed), uint8_t((x ^ y) + seed)};
    }
}

struct Frames {
    GWorldList list{};
    GWorldPtr dest;
    explicit Frames(int n) : dest(AllocateGWorld(kW, kH)) {
        for (int k = 1; k <= n; k++) {
            list[k] = AllocateGWorld(kW, kH);
            PaintPattern(list[k], k * 37);
        }
        PaintPattern(dest, 5);
    }
    ~Frames() {
        for (GWorldPtr g : list) DisposeGWorld(g);
        DisposeGWorld(dest);
    }
};

void BM_AddGWorlds(benchmark::State& state) {
    Frames f(2);
    for (auto _ : state) {
        AddGWorlds(f.list[1], f.list[2], f.dest, kAll, false, false, false, false);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes) * 2);
}

void BM_AlphaBlit2(benchmark::State& state) {
    Frames f(1);
    for (auto _ : state) {
        AlphaBlit2(f.list[1], f.dest, kAll, 37, false);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes) * 2);
}

void BM_AverageGWorlds8(benchmark::State& state) {
    Frames f(8);
    for (auto _ : state) {
        AverageGWorlds(f.list, f.dest, 8, kAll);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes) * 8);
}

// Copies `frames` source frames into one destination.
void BM_Floor(benchmark::State& state) {
    const int frames = int(state.range(0));
    std::vector<std::vector<uint8_t>> src(size_t(frames), std::vector<uint8_t>(kFrameBytes, 1));
    std::vector<uint8_t> out(kFrameBytes);
    for (auto _ : state) {
        for (const auto& s : src) std::memcpy(out.data(), s.data(), kFrameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes) * frames);
}
}  // namespace

BENCHMARK(BM_AddGWorlds)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AlphaBlit2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AverageGWorlds8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Floor)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
