#include "frei0r/f0rglue.h"

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

#include "engine/fixedrandom.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "platform/Memory.h"
#include "platform/ParallelRows.h"
#include "settings/DataHandling.h"

namespace {
// How a frei0r value becomes a whole step of its range.
enum class Step {
    None,   // the value itself (fractions)
    Round,  // nearest step
    // Up to the next step, a value within cStepSlack of a step counting as that step. A host that
    // shows value x Scale and stores input / Scale gets every whole number back exactly, and the
    // values saved as (n - 1) / 99 before columns and rows were mapped this way still give n.
    Up,
};
constexpr double cStepSlack = 0.001;

// One row a parameter: engine value = Offset + the step of value x Scale, clamped to Low..High.
// A host that scales by Scale alone (Kdenlive's factor) shows the engine value for every parameter
// with Offset 0.
struct ParamRow {
    F0rParamInfo Info;
    double Offset, Scale, Low, High;
    Step Stepping;
};
static_assert(cMethodCount == 41 && cMaxRectHoriz == 100 && cMaxRectVert == 100 && cMaxRandom == 30000,
              "the explanations below quote these limits");
constexpr ParamRow cParams[] = {
    {{"progress", F0R_PARAM_DOUBLE, "Position in the transition: 0 shows clip A, 1 clip B"}, 0, 1, 0, 1, Step::None},
    {{"method", F0R_PARAM_DOUBLE, "Tile ordering 1..41: 1 + round(value x 40)"}, 1, cMethodCount - 1, 1, cMethodCount, Step::Round},
    {{"columns", F0R_PARAM_DOUBLE, "Tile columns 1..100: value x 100, rounded up (c columns: c / 100)"}, 0, cMaxRectHoriz, 1, cMaxRectHoriz, Step::Up},
    {{"rows", F0R_PARAM_DOUBLE, "Tile rows 1..100: value x 100, rounded up (r rows: r / 100)"}, 0, cMaxRectVert, 1, cMaxRectVert, Step::Up},
    {{"tile_duration", F0R_PARAM_DOUBLE,
      "Share of the transition each tile spends changing, 0..100 %: round(value x 100); "
      "not used by ordering 1 (random moments)"},
     0,
     100,
     0,
     100,
     Step::Round},
    {{"randomized", F0R_PARAM_BOOL,
      "Vary each tile's change length at random (on from 0.5); not used by ordering 1 (random moments)"},
     0,
     1,
     0,
     1,
     Step::Round},
    {{"seed", F0R_PARAM_DOUBLE, "Where the layout starts reading the random table, 0..29999: round(value x 29999)"},
     0,
     cMaxRandom - 1,
     0,
     cMaxRandom - 1,
     Step::Round},
    {{"frames", F0R_PARAM_DOUBLE,
      "Frames the tiles are timed in, 10..1000: value x 1000, rounded up (n frames: n / 1000)"},
     0,
     1000,
     10,
     1000,
     Step::Up},
    {{"left", F0R_PARAM_DOUBLE, "Left edge of the active area, fraction of the width"}, 0, 1, 0, 1, Step::None},
    {{"top", F0R_PARAM_DOUBLE, "Top edge of the active area, fraction of the height"}, 0, 1, 0, 1, Step::None},
    {{"right", F0R_PARAM_DOUBLE, "Right edge of the active area, fraction of the width"}, 0, 1, 0, 1, Step::None},
    {{"bottom", F0R_PARAM_DOUBLE, "Bottom edge of the active area, fraction of the height"}, 0, 1, 0, 1, Step::None},
};
static_assert(std::size(cParams) == kF0rParamCount);

// Frames of the run a new instance lays its tiles out for: fine steps at any progress.
constexpr double cDefaultFrames = 100;

}  // namespace

struct F0rInstanceRec {
    int32_t Wid, Hig;
    double Values[kF0rParamCount];  // as set, clamped to 0..1
    TileLayoutRec Layout;
};

bool GetF0rParamInfo(int Index, F0rParamInfo& Info) {
    if (Index < 0 || Index >= kF0rParamCount) return false;
    Info = cParams[Index].Info;
    return true;
}

double F0rMapParam(int Index, double Value) {
    if (Index < 0 || Index >= kF0rParamCount) return 0;
    const ParamRow& p = cParams[Index];
    const double v = Value >= 0 ? std::min(Value, 1.0) : 0.0;  // NaN fails the comparison too
    const double scaled = v * p.Scale;
    const double stepped = p.Stepping == Step::Round ? std::round(scaled)
                           : p.Stepping == Step::Up  ? std::ceil(scaled - cStepSlack)
                                                     : scaled;
    return std::clamp(p.Offset + stepped, p.Low, p.High);
}

double F0rUnitParam(int Index, double EngineValue) {
    if (Index < 0 || Index >= kF0rParamCount) return 0;
    const ParamRow& p = cParams[Index];
    return std::clamp((EngineValue - p.Offset) / p.Scale, 0.0, 1.0);
}

void F0rDefaultValues(double (&Values)[kF0rParamCount]) {
    PluginDataRec factory{};
    ResetConfig(&factory, false);
    const double engine[kF0rParamCount] = {
        0, double(factory.Method), double(factory.Sliders[1]), double(factory.Sliders[2]), double(factory.Sliders[3]),
        factory.RandomizedDuration ? 1.0 : 0.0, 0, cDefaultFrames, factory.StartRel.Left, factory.StartRel.Top,
        factory.StartRel.Right, factory.StartRel.Bottom};
    for (int i = 0; i < kF0rParamCount; i++) Values[i] = F0rUnitParam(i, engine[i]);
}

TileSettings F0rSettingsOf(const double (&Values)[kF0rParamCount]) {
    auto map = [&](int i) { return F0rMapParam(i, Values[i]); };
    TileSettings s;
    s.Progress = map(kF0rProgress);
    s.Method = int16_t(map(kF0rMethod));
    s.Columns = int16_t(map(kF0rColumns));
    s.Rows = int16_t(map(kF0rRows));
    s.TileDuration = int16_t(map(kF0rTileDuration));
    s.Randomized = map(kF0rRandomized) != 0;
    s.Seed = int16_t(map(kF0rSeed));
    s.Frames = int32_t(map(kF0rFrames));
    s.Active = RelRect{map(kF0rLeft), map(kF0rRight), map(kF0rTop), map(kF0rBottom)};
    return s;
}

F0rInstancePtr F0rConstruct(uint32_t Wid, uint32_t Hig) {
    if (Wid < 1 || Hig < 1 || Wid > cMaxRectSide || Hig > cMaxRectSide) return nullptr;
    auto* inst = new (std::nothrow) F0rInstanceRec{};
    if (!inst) return nullptr;
    inst->Wid = int32_t(Wid);
    inst->Hig = int32_t(Hig);
    F0rDefaultValues(inst->Values);
    if (!InitTileLayout(inst->Layout)) {
        F0rDestruct(inst);
        return nullptr;
    }
    return inst;
}

void F0rDestruct(F0rInstancePtr Inst) {
    if (!Inst) return;
    DisposeTileLayout(Inst->Layout);
    delete Inst;
}

void F0rSetParam(F0rInstancePtr Inst, const void* Value, int Index) {
    if (!Inst || !Value || Index < 0 || Index >= kF0rParamCount) return;
    double v;
    std::memcpy(&v, Value, sizeof v);
    Inst->Values[Index] = v >= 0 ? std::min(v, 1.0) : 0.0;
}

void F0rGetParam(F0rInstancePtr Inst, void* Value, int Index) {
    if (!Inst || !Value || Index < 0 || Index >= kF0rParamCount) return;
    std::memcpy(Value, &Inst->Values[Index], sizeof(double));
}

void F0rUpdate(F0rInstancePtr Inst, const uint32_t* A, const uint32_t* B, uint32_t* Out) {
    if (!Inst || !Out) return;
    if (!A || !B) {
        const size_t bytes = size_t(Inst->Wid) * size_t(Inst->Hig) * 4;
        const uint32_t* only = A ? A : B;
        if (!only)
            std::memset(Out, 0, bytes);
        else if (only != Out)
            std::memmove(Out, only, bytes);
        return;
    }
    // The tile loops only need to know where the alpha byte is, so they work on the host's buffers
    // as they are: what the engine makes of the same frames in its own order, without converting
    // either way.
    ComposeWithLayout(Inst->Layout, F0rSettingsOf(Inst->Values), Inst->Wid, Inst->Hig,
                      [&](const PluginDataRec& cfg, int32_t frame) {
        ComposeClipsByTiles(reinterpret_cast<const uint8_t*>(A), reinterpret_cast<const uint8_t*>(B),
                            reinterpret_cast<uint8_t*>(Out), Inst->Wid * 4, int16_t(Inst->Wid),
                            int16_t(Inst->Hig), AlphaByte::Last, cfg, frame);
    });
}
