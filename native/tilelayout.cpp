#include "native/tilelayout.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>

#include "engine/fixedrandom.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

namespace {
// The generator state the shared random table is filled from before every layout, so a layout
// depends on its settings alone, in any process and after anything else filled the table.
constexpr int32_t cTableSeed = 1;

// The engine's process-wide state: the random table and cursor, the current port, the buffers the
// per-frame effect keeps. Hosts render instances on several threads; one of them at a time.
std::mutex lgEngineLock;

void LayOutLocked(const TileSettings& s, int32_t Wid, int32_t Hig, PluginDataRec& cfg, int32_t& FirstFrame,
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

void LayOutTiles(const TileSettings& Settings, int32_t Wid, int32_t Hig, PluginDataRec& theConfig,
                 int32_t& FirstFrame, int32_t& LastFrame) {
    std::lock_guard<std::mutex> lock(lgEngineLock);
    LayOutLocked(Settings, Wid, Hig, theConfig, FirstFrame, LastFrame);
}

int32_t TileProgressFrame(double Progress, int32_t FirstFrame, int32_t LastFrame) {
    const double p = Progress >= 0 ? std::min(Progress, 1.0) : 0.0;
    return FirstFrame + int32_t(std::llround(p * (double(LastFrame) - FirstFrame)));
}

bool InitTileLayout(TileLayoutRec& Layout) {
    Layout.LaidOut = false;
    ResetConfig(&Layout.Config, false);
    Layout.Config.Which = 3;
    Layout.Config.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    return Layout.Config.Rects != nullptr;
}

void DisposeTileLayout(TileLayoutRec& Layout) {
    DisposePtr(reinterpret_cast<Ptr>(Layout.Config.Rects));
    Layout.Config.Rects = nullptr;
    Layout.LaidOut = false;
}

bool SameTileLayout(const TileLayoutRec& Layout, const TileSettings& s, int32_t Wid, int32_t Hig) {
    const TileSettings& l = Layout.LaidOutFor;
    return Layout.LaidOut && Layout.Wid == Wid && Layout.Hig == Hig && l.Method == s.Method &&
           l.Columns == s.Columns && l.Rows == s.Rows && l.TileDuration == s.TileDuration &&
           l.Randomized == s.Randomized && l.Seed == s.Seed && l.Frames == s.Frames;
}

void RenewTileLayout(TileLayoutRec& Layout, const TileSettings& Settings, int32_t Wid, int32_t Hig) {
    LayOutTiles(Settings, Wid, Hig, Layout.Config, Layout.FirstFrame, Layout.LastFrame);
    Layout.LaidOutFor = Settings;
    Layout.Wid = Wid;
    Layout.Hig = Hig;
    Layout.LaidOut = true;
}

void ReleaseTileEngineBuffers() {
    std::lock_guard<std::mutex> lock(lgEngineLock);
    ReleasePixelEffectBuffers();
}
