// Shared by the frei0r tests: the built plug-in loaded as a host loads it, test pictures in the
// host's RGBA order, and the engine's own frame for the same settings.
#pragma once
#include <gtest/gtest.h>

#include <dlfcn.h>

extern "C" {
#include <frei0r.h>
}

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/callpixelfx.h"
#include "frei0r/f0rglue.h"
#include "imaging/commonprocs.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

namespace f0rtest {

typedef std::vector<uint32_t> HostPicture;  // Wid x Hig pixels, bytes R, G, B, A

// blockwaves.so from the build tree, through dlopen and the frei0r symbols.
struct Plugin {
    void* handle = nullptr;
    int (*init)();
    void (*deinit)();
    void (*info)(f0r_plugin_info_t*);
    void (*paramInfo)(f0r_param_info_t*, int);
    f0r_instance_t (*construct)(unsigned, unsigned);
    void (*destruct)(f0r_instance_t);
    void (*set)(f0r_instance_t, f0r_param_t, int);
    void (*get)(f0r_instance_t, f0r_param_t, int);
    void (*update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*);

    static Plugin& Get() {
        static Plugin p = Load();
        return p;
    }
    static Plugin Load() {
        Plugin p;
        p.handle = dlopen(BW_TEST_FREI0R_DIR "/blockwaves.so", RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(p.handle, nullptr) << dlerror();
        auto sym = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(p.handle, name));
        };
        sym(p.init, "f0r_init");
        sym(p.deinit, "f0r_deinit");
        sym(p.info, "f0r_get_plugin_info");
        sym(p.paramInfo, "f0r_get_param_info");
        sym(p.construct, "f0r_construct");
        sym(p.destruct, "f0r_destruct");
        sym(p.set, "f0r_set_param_value");
        sym(p.get, "f0r_get_param_value");
        sym(p.update2, "f0r_update2");
        if (p.init) p.init();
        return p;
    }
};

// The frei0r values that stand for Settings.
inline void UnitValues(const TileSettings& s, double (&v)[kF0rParamCount]) {
    const double engine[kF0rParamCount] = {s.Progress, double(s.Method), double(s.Columns), double(s.Rows),
                                           double(s.TileDuration), s.Randomized ? 1.0 : 0.0, double(s.Seed),
                                           double(s.Frames), s.Active.Left, s.Active.Top,
                                           s.Active.Right, s.Active.Bottom};
    for (int i = 0; i < kF0rParamCount; i++) v[i] = F0rUnitParam(i, engine[i]);
}

inline TileSettings Settings(int16_t method, int16_t columns, int16_t rows, int16_t share, bool randomized,
                             int16_t seed = 0, double progress = 0.5, int32_t frames = 100) {
    return TileSettings{progress, method, columns, rows, share, randomized, seed, frames, RelRect{0, 1, 0, 1}};
}

// Sets every parameter of Inst to Settings through the plug-in.
inline void Apply(f0r_instance_t inst, const TileSettings& s) {
    double v[kF0rParamCount];
    UnitValues(s, v);
    for (int i = 0; i < kF0rParamCount; i++) Plugin::Get().set(inst, &v[i], i);
}

inline HostPicture Render(f0r_instance_t inst, const TileSettings& s, const HostPicture& a, const HostPicture& b) {
    Apply(inst, s);
    HostPicture out(a.size());
    Plugin::Get().update2(inst, 0.0, a.data(), b.data(), nullptr, out.data());
    return out;
}

// Opaque noise with a few flat blocks, so both tile edges and smooth areas show.
inline HostPicture Noise(int wid, int hig, uint32_t seed) {
    std::mt19937 rng(seed);
    HostPicture p(size_t(wid) * size_t(hig));
    for (auto& px : p) px = (rng() & 0x00FFFFFFu) | 0xFF000000u;  // little-endian: bytes R, G, B, 255
    return p;
}

// Host rows (R, G, B, A; packed, Wid pixels a row) to engine rows (A, R, G, B; RowBytes apart) and
// back: for comparing the plug-in with the engine's own buffers.
inline void HostToEngine(const uint8_t* Src, uint8_t* Dst, ptrdiff_t RowBytes, int32_t Wid, int32_t Hig) {
    for (int32_t y = 0; y < Hig; y++) {
        const uint8_t* s = Src + ptrdiff_t(y) * Wid * 4;
        uint8_t* d = Dst + y * RowBytes;
        for (int32_t x = 0; x < Wid; x++, s += 4, d += 4) d[0] = s[3], d[1] = s[0], d[2] = s[1], d[3] = s[2];
    }
}
inline void EngineToHost(const uint8_t* Src, ptrdiff_t RowBytes, uint8_t* Dst, int32_t Wid, int32_t Hig) {
    for (int32_t y = 0; y < Hig; y++) {
        const uint8_t* s = Src + y * RowBytes;
        uint8_t* d = Dst + ptrdiff_t(y) * Wid * 4;
        for (int32_t x = 0; x < Wid; x++, s += 4, d += 4) d[0] = s[1], d[1] = s[2], d[2] = s[3], d[3] = s[0];
    }
}

// The engine on its own: the inputs in its pixel order, the tile field for Settings, one
// DoPixelEffect, and the result back in the host's order.
inline HostPicture EngineFrame(const TileSettings& s, const HostPicture& a, const HostPicture& b, int wid, int hig) {
    GWorldPtr ga = AllocateGWorld(int16_t(wid), int16_t(hig)), gb = AllocateGWorld(int16_t(wid), int16_t(hig));
    const int32_t rowBytes = GetPixRowBytes(GetGWorldPixMap(ga));
    auto* baseA = reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(ga)));
    auto* baseB = reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(gb)));
    HostToEngine(reinterpret_cast<const uint8_t*>(a.data()), baseA, rowBytes, wid, hig);
    HostToEngine(reinterpret_cast<const uint8_t*>(b.data()), baseB, rowBytes, wid, hig);
    PluginDataRec config{};
    ResetConfig(&config, false);
    config.Which = 3;
    config.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    int32_t first, last;
    LayOutTiles(s, wid, hig, config, first, last);
    DoPixelEffect(gb, ga, &config, TileProgressFrame(s.Progress, first, last), s.Frames);
    HostPicture out(a.size());
    EngineToHost(baseA, rowBytes, reinterpret_cast<uint8_t*>(out.data()), wid, hig);
    DisposePtr(reinterpret_cast<Ptr>(config.Rects));
    DisposeGWorld(ga);
    DisposeGWorld(gb);
    return out;
}

// Index of the first pixel where x and y differ, or -1.
inline long FirstDifference(const HostPicture& x, const HostPicture& y) {
    for (size_t i = 0; i < x.size() && i < y.size(); i++)
        if (x[i] != y[i]) return long(i);
    return x.size() == y.size() ? -1 : long(std::min(x.size(), y.size()));
}

}  // namespace f0rtest
