#include "frei0r/f0rglue.h"

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <shared_mutex>

#include "engine/fixedrandom.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

namespace {
// One row a parameter: the engine range a frei0r value of 0..1 spreads over, and whether it is
// rounded to whole steps. Low = 0, High = 1, not stepped: the value itself.
struct ParamRow {
    F0rParamInfo Info;
    double Low, High;
    bool Stepped;
};
constexpr ParamRow kParams[] = {
    {{"progress", F0R_PARAM_DOUBLE, "Position in the transition: 0 shows clip A, 1 clip B"}, 0, 1, false},
    {{"method", F0R_PARAM_DOUBLE, "Tile ordering 1..41: 1 + round(value x 40)"}, 1, 41, true},
    {{"columns", F0R_PARAM_DOUBLE, "Tile columns 1..100: 1 + round(value x 99)"}, 1, 100, true},
    {{"rows", F0R_PARAM_DOUBLE, "Tile rows 1..100: 1 + round(value x 99)"}, 1, 100, true},
    {{"tile_duration", F0R_PARAM_DOUBLE,
      "Share of the transition each tile spends changing, 0..100 %: round(value x 100)"},
     0, 100, true},
    {{"randomized", F0R_PARAM_BOOL, "Vary each tile's change length at random (on from 0.5)"}, 0, 1, true},
    {{"seed", F0R_PARAM_DOUBLE, "Where the layout starts reading the random table, 0..29999: round(value x 29999)"},
     0, cMaxRandom - 1, true},
    {{"frames", F0R_PARAM_DOUBLE, "Frames the tiles are timed in, 10..1000: 10 + round(value x 990)"}, 10, 1000, true},
    {{"left", F0R_PARAM_DOUBLE, "Left edge of the active area, fraction of the width"}, 0, 1, false},
    {{"top", F0R_PARAM_DOUBLE, "Top edge of the active area, fraction of the height"}, 0, 1, false},
    {{"right", F0R_PARAM_DOUBLE, "Right edge of the active area, fraction of the width"}, 0, 1, false},
    {{"bottom", F0R_PARAM_DOUBLE, "Bottom edge of the active area, fraction of the height"}, 0, 1, false},
};
static_assert(std::size(kParams) == kF0rParamCount);

// The generator state the shared random table is filled from before every layout, so a layout
// depends on its settings alone, in any process and after anything else filled the table.
constexpr int32_t cTableSeed = 1;
// Frames of the run a new instance lays its tiles out for: fine steps at any progress.
constexpr double cDefaultFrames = 100;

// The engine's process-wide state: the random table and cursor, the current port, the buffers the
// per-frame effect keeps. Hosts render instances on several threads; one of them at a time.
std::mutex lgEngineLock;

bool SameLayout(const F0rSettings& a, const F0rSettings& b) {
    return a.Method == b.Method && a.Columns == b.Columns && a.Rows == b.Rows && a.TileDuration == b.TileDuration &&
           a.Randomized == b.Randomized && a.Seed == b.Seed && a.Frames == b.Frames;
}

bool SameArea(const RelRect& a, const RelRect& b) {
    return a.Left == b.Left && a.Right == b.Right && a.Top == b.Top && a.Bottom == b.Bottom;
}

void LayOutLocked(const F0rSettings& s, int32_t Wid, int32_t Hig, PluginDataRec& cfg, int32_t& FirstFrame,
                  int32_t& LastFrame) {
    cfg.Method = s.Method;
    cfg.Sliders[1] = s.Columns;
    cfg.Sliders[2] = s.Rows;
    cfg.Sliders[3] = s.TileDuration;
    cfg.RandomizedDuration = s.Randomized;
    cfg.StartRel = s.Active;
    SetQDRandomSeed(cTableSeed);
    FInitRandom();
    FSetIndex(s.Seed);
    const Rect frame{0, 0, int16_t(Hig), int16_t(Wid)};
    InitRectangles(&cfg, s.Frames, Rel2Rect(cfg.StartRel, frame));
    // The spiral methods may have changed the grid: the field's own extent counts.
    int32_t first = INT32_MAX, last = INT32_MIN;
    const RectField& field = *cfg.Rects;
    for (int x = 1; x <= FieldColumns(cfg); x++)
        for (int y = 1; y <= FieldRows(cfg); y++) {
            first = std::min(first, field[x][y].StartFrame);
            last = std::max(last, field[x][y].EndFrame);
        }
    FirstFrame = first > INT32_MIN ? first - 1 : first;  // every tile is still before its start
    LastFrame = std::max(last, FirstFrame);
}
}  // namespace

struct F0rInstanceRec {
    int32_t Wid, Hig;
    double Values[kF0rParamCount];  // as set, clamped to 0..1
    bool LaidOut;                   // Config's field belongs to LaidOutFor
    F0rSettings LaidOutFor;
    int32_t FirstFrame, LastFrame;  // of the field, see F0rLayOut
    PluginDataRec Config;           // the engine's record; Which is 3 (between two clips)
    // MLT hands the bands of one frame to one instance on several threads at once: frames read the
    // layout together, and the one that changes it (or the active area) works alone.
    std::shared_mutex Lock;
};

bool GetF0rParamInfo(int Index, F0rParamInfo& Info) {
    if (Index < 0 || Index >= kF0rParamCount) return false;
    Info = kParams[Index].Info;
    return true;
}

double F0rMapParam(int Index, double Value) {
    if (Index < 0 || Index >= kF0rParamCount) return 0;
    const ParamRow& p = kParams[Index];
    const double v = Value >= 0 ? std::min(Value, 1.0) : 0.0;  // NaN fails the comparison too
    const double spread = v * (p.High - p.Low);
    return p.Low + (p.Stepped ? std::round(spread) : spread);
}

double F0rUnitParam(int Index, double EngineValue) {
    if (Index < 0 || Index >= kF0rParamCount) return 0;
    const ParamRow& p = kParams[Index];
    return std::clamp((EngineValue - p.Low) / (p.High - p.Low), 0.0, 1.0);
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

F0rSettings F0rSettingsOf(const double (&Values)[kF0rParamCount]) {
    auto map = [&](int i) { return F0rMapParam(i, Values[i]); };
    F0rSettings s;
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

void F0rLayOut(const F0rSettings& Settings, int32_t Wid, int32_t Hig, PluginDataRec& theConfig, int32_t& FirstFrame,
               int32_t& LastFrame) {
    std::lock_guard<std::mutex> lock(lgEngineLock);
    LayOutLocked(Settings, Wid, Hig, theConfig, FirstFrame, LastFrame);
}

int32_t F0rProgressFrame(double Progress, int32_t FirstFrame, int32_t LastFrame) {
    const double p = Progress >= 0 ? std::min(Progress, 1.0) : 0.0;
    return FirstFrame + int32_t(std::llround(p * (double(LastFrame) - FirstFrame)));
}

F0rInstancePtr F0rConstruct(uint32_t Wid, uint32_t Hig) {
    if (Wid < 1 || Hig < 1 || Wid > 32767 || Hig > 32767) return nullptr;
    auto* inst = new (std::nothrow) F0rInstanceRec{};
    if (!inst) return nullptr;
    inst->Wid = int32_t(Wid);
    inst->Hig = int32_t(Hig);
    F0rDefaultValues(inst->Values);
    ResetConfig(&inst->Config, false);
    inst->Config.Which = 3;
    inst->Config.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    if (!inst->Config.Rects) {
        F0rDestruct(inst);
        return nullptr;
    }
    return inst;
}

void F0rDestruct(F0rInstancePtr Inst) {
    if (!Inst) return;
    DisposePtr(reinterpret_cast<Ptr>(Inst->Config.Rects));
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
    const F0rSettings s = F0rSettingsOf(Inst->Values);
    // The tile loops only need to know where the alpha byte is, so they work on the host's buffers
    // as they are: what the engine makes of the same frames in its own order, without converting
    // either way. The instance's own record and the caller's buffers are all they touch.
    auto compose = [&] {
        ComposeClipsByTiles(reinterpret_cast<const uint8_t*>(A), reinterpret_cast<const uint8_t*>(B),
                            reinterpret_cast<uint8_t*>(Out), Inst->Wid * 4, int16_t(Inst->Wid), int16_t(Inst->Hig),
                            AlphaByte::Last, Inst->Config,
                            F0rProgressFrame(s.Progress, Inst->FirstFrame, Inst->LastFrame));
    };
    auto current = [&] {
        return Inst->LaidOut && SameLayout(s, Inst->LaidOutFor) && SameArea(s.Active, Inst->Config.StartRel);
    };
    {
        std::shared_lock<std::shared_mutex> reading(Inst->Lock);
        if (current()) return compose();
    }
    std::lock_guard<std::shared_mutex> writing(Inst->Lock);
    if (!Inst->LaidOut || !SameLayout(s, Inst->LaidOutFor)) {
        std::lock_guard<std::mutex> lock(lgEngineLock);
        LayOutLocked(s, Inst->Wid, Inst->Hig, Inst->Config, Inst->FirstFrame, Inst->LastFrame);
        Inst->LaidOutFor = s;
        Inst->LaidOut = true;
    }
    Inst->Config.StartRel = s.Active;
    compose();
}

void F0rReleaseEngineBuffers() {
    std::lock_guard<std::mutex> lock(lgEngineLock);
    ReleasePixelEffectBuffers();
}
