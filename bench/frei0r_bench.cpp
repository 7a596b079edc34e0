// f0r_update2 of blockwaves.so against the per-frame effect called directly, in one run. Each
// iteration times both on the same frames, one after the other, so a busy machine slows both alike:
//   direct_ms:  DoPixelEffect on engine-order buffers (clip A copied in untimed, as a host hands it);
//   update2_ms: f0r_update2 on host RGBA buffers into a separate output, which it fills whole: clip A
//               goes in where no tile has started, which the direct call leaves to the host;
//   ratio:      median update2 / median direct (target: 1.1 at most); min_ratio of the fastest.
// With "in place" (fourth argument 1) the output is clip A itself, copied in untimed as for the
// direct call, so both write the same pixels: what the host's pixel order costs by itself.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "engine/callpixelfx.h"
#include "engine/pixeleffect.h"
#include "frei0r/f0rglue.h"
#include "imaging/commonprocs.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

namespace {
struct Plugin {
    void* handle = dlopen(BW_BENCH_FREI0R_DIR "/blockwaves.so", RTLD_NOW | RTLD_LOCAL);
    template <class Fn>
    Fn Sym(const char* name) {
        return reinterpret_cast<Fn>(dlsym(handle, name));
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Ms(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

void BM_Update2VsDirect(benchmark::State& state) {
    const int wid = int(state.range(0)), hig = int(state.range(1));
    const int16_t grid = int16_t(state.range(2));
    const bool inPlace = state.range(3) != 0;
    static Plugin plugin;
    if (!plugin.handle) {
        state.SkipWithError("blockwaves.so not found");
        return;
    }
    auto construct = plugin.Sym<f0r_instance_t (*)(unsigned, unsigned)>("f0r_construct");
    auto destruct = plugin.Sym<void (*)(f0r_instance_t)>("f0r_destruct");
    auto set = plugin.Sym<void (*)(f0r_instance_t, f0r_param_t, int)>("f0r_set_param_value");
    auto update2 = plugin.Sym<void (*)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*,
                                       uint32_t*)>("f0r_update2");

    const size_t pixels = size_t(wid) * size_t(hig);
    std::vector<uint32_t> a(pixels), b(pixels), out(pixels);
    for (size_t i = 0; i < pixels; i++) {
        a[i] = uint32_t(i * 2654435761u) | 0xFF000000u;
        b[i] = uint32_t(i * 40503u + 77) | 0xFF000000u;
    }
    const F0rSettings s{0.5, 12, grid, grid, 50, true, 0, 60, RelRect{0, 1, 0, 1}};
    f0r_instance_t inst = construct(unsigned(wid), unsigned(hig));
    const double engine[kF0rParamCount] = {s.Progress, double(s.Method), double(s.Columns), double(s.Rows),
                                           double(s.TileDuration), 1, 0, double(s.Frames), 0, 0, 1, 1};
    for (int i = 0; i < kF0rParamCount; i++) {
        double v = F0rUnitParam(i, engine[i]);
        set(inst, &v, i);
    }

    // The same frames and field for the engine called directly.
    GWorldPtr clipA = AllocateGWorld(int16_t(wid), int16_t(hig)), clipB = AllocateGWorld(int16_t(wid), int16_t(hig));
    GWorldPtr dest = AllocateGWorld(int16_t(wid), int16_t(hig));
    PixMapHandle pa = GetGWorldPixMap(clipA), pb = GetGWorldPixMap(clipB);
    // The engine's bytes A, R, G, B from the host's words R, G, B, A (little-endian).
    auto toEngine = [&](const std::vector<uint32_t>& from, PixMapHandle pm) {
        uint8_t* base = reinterpret_cast<uint8_t*>(GetPixBaseAddr(pm));
        for (int y = 0; y < hig; y++)
            for (int x = 0; x < wid; x++) {
                const uint32_t w = from[size_t(y) * size_t(wid) + size_t(x)];
                uint8_t* d = base + ptrdiff_t(y) * GetPixRowBytes(pm) + ptrdiff_t(x) * 4;
                d[0] = uint8_t(w >> 24), d[1] = uint8_t(w), d[2] = uint8_t(w >> 8), d[3] = uint8_t(w >> 16);
            }
    };
    toEngine(a, pa);
    toEngine(b, pb);
    PluginDataRec config{};
    ResetConfig(&config, false);
    config.Which = 3;
    config.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    int32_t first, last;
    F0rLayOut(s, wid, hig, config, first, last);
    const int32_t frame = F0rProgressFrame(s.Progress, first, last);

    std::vector<double> direct, viaPlugin;
    for (auto _ : state) {
        Source2Target(clipA, dest);
        auto t0 = std::chrono::steady_clock::now();
        DoPixelEffect(clipB, dest, &config, frame, s.Frames);
        direct.push_back(Ms(t0));
        if (inPlace) std::memcpy(out.data(), a.data(), pixels * 4);
        t0 = std::chrono::steady_clock::now();
        update2(inst, 0.0, inPlace ? out.data() : a.data(), b.data(), nullptr, out.data());
        viaPlugin.push_back(Ms(t0));
        state.SetIterationTime((direct.back() + viaPlugin.back()) / 1000);
        benchmark::ClobberMemory();
    }
    if (inPlace) state.SetLabel("in place");
    state.counters["direct_ms"] = Median(direct);
    state.counters["update2_ms"] = Median(viaPlugin);
    state.counters["ratio"] = Median(viaPlugin) / Median(direct);
    // The fastest of each: what they cost when nothing else wanted the cores.
    state.counters["min_ratio"] = *std::min_element(viaPlugin.begin(), viaPlugin.end()) /
                                  *std::min_element(direct.begin(), direct.end());

    destruct(inst);
    ReleasePixelEffectBuffers();
    DisposePtr(reinterpret_cast<Ptr>(config.Rects));
    DisposeGWorld(clipA);
    DisposeGWorld(clipB);
    DisposeGWorld(dest);
}
}  // namespace

BENCHMARK(BM_Update2VsDirect)
    ->Args({1920, 1080, 50, 0})
    ->Args({1920, 1080, 100, 0})
    ->Args({1280, 720, 50, 0})
    ->Args({1920, 1080, 50, 1})
    ->Iterations(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
