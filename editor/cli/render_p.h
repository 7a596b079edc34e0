// What the render and the stills share: the clips of one transition at the output's rate, the run
// the bundle is asked for, and an ARGB frame that frees itself.
#pragma once
#include <cstdint>

#include "editor/cli/render.h"
#include "platform/QuickDraw.h"

namespace bw::detail {

// Clips of one render, at the output's rate.
struct Timeline {
    ConformedClip* a = nullptr;  // the clip before the transition (after, between)
    ConformedClip* b = nullptr;  // the clip after it (before, between)
    int32_t n = 0, pre = 0, post = 0;
};

// Conforms the clips to `rate` and fits the transition's length (requested frames) into them.
Failure PlanTimeline(Input& first, Input* second, Variant variant, int32_t requested, media::Rational rate,
                     Timeline& t);
// The bundle's run of n frames at w x h over the timeline's clips.
RunRequest MakeRun(const Timeline& t, Variant variant, int32_t n, int w, int h, bool proxy);
// Why frame k failed: a clip's read error, a stop, or the bundle's result.
Failure FrameFailure(const Timeline& t, int32_t k, int32_t result);

struct OwnedGW {
    GWorldPtr gw = nullptr;
    OwnedGW(int w, int h) {
        const Rect r{0, 0, int16_t(h), int16_t(w)};
        NewGWorld(&gw, 32, &r, nullptr, nullptr, 0);
    }
    ~OwnedGW() { DisposeGWorld(gw); }
    OwnedGW(const OwnedGW&) = delete;
    OwnedGW& operator=(const OwnedGW&) = delete;
};

}  // namespace bw::detail
