// InitRectangles on a 100 x 100 grid, one representative method per family; reports time per tile.
#include <benchmark/benchmark.h>

#include "engine/fixedrandom.h"
#include "engine/recthandler.h"

namespace {
void BM_InitRectangles(benchmark::State& state) {
    static RectField field;
    PluginDataRec config{};
    config.Rects = &field;
    config.Method = int16_t(state.range(0));
    config.RandomizedDuration = state.range(1) != 0;
    FInitRandom();
    for (auto _ : state) {
        config.Sliders[1] = 100;
        config.Sliders[2] = 100;
        config.Sliders[3] = 50;
        InitRectangles(&config, 120, Rect{0, 0, 1080, 1920});
        benchmark::DoNotOptimize(field[50][50]);
    }
    const double tiles = double(FieldColumns(config)) * FieldRows(config);
    // Seconds per tile, printed with an SI prefix (n = nanoseconds).
    state.counters["per_tile"] =
        benchmark::Counter(tiles * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
}  // namespace

// {method, randomized}: 1 random, 3 sweep, 7 circle, 9 diagonal, 17 diamond, 21 chevron,
// 25 square, 28 spiral, 30 reading order, 38 folded reading order.
BENCHMARK(BM_InitRectangles)
    ->ArgNames({"method", "randomized"})
    ->ArgsProduct({{1, 3, 7, 9, 17, 21, 25, 28, 30, 38}, {1}})
    ->Args({3, 0})
    ->Args({30, 0});
