// The transition as the native-format routes run it (the frei0r plug-in, the MLT module): settings
// in the engine's units, and the tile layout one instance keeps, made again only when a setting it
// depends on or the frame size changes. Hosts compose frames of one instance on several threads at
// once; a frame depends on its settings, progress and inputs alone. The instance owns its field.
#pragma once
#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "host/PluginDefines.h"

struct TileSettings {
    double Progress;        // position in the transition, 0..1
    int16_t Method;         // tile ordering 1..cMethodCount
    int16_t Columns, Rows;  // 1..100
    int16_t TileDuration;   // 0..100, percent
    bool Randomized;        // vary each tile's change length
    int16_t Seed;           // 0..cMaxRandom - 1, where the layout starts reading the random table
    int32_t Frames;         // 10..1000, frames of the run the tiles are timed in
    RelRect Active;         // fractions of the frame, each 0..1
};

// Lays out theConfig's tile field for Settings on a Wid x Hig frame: the grid, ordering and
// durations of Settings, the shared random table (filled once per process from a fixed generator
// seed) read from position Settings.Seed. The same settings give the same field in every process,
// whatever was laid out before. FirstFrame is the frame before any tile starts, LastFrame the one
// every tile has ended by. Takes the engine's lock.
void LayOutTiles(const TileSettings& Settings, int32_t Wid, int32_t Hig, PluginDataRec& theConfig,
                 int32_t& FirstFrame, int32_t& LastFrame);
// The run's frame that Progress shows: FirstFrame at 0, LastFrame at 1, evenly between.
int32_t TileProgressFrame(double Progress, int32_t FirstFrame, int32_t LastFrame);

// One instance's layout. Frames read it together; the one that needs another makes it alone.
struct TileLayoutRec {
    bool LaidOut;  // Config's field belongs to LaidOutFor at Wid x Hig
    TileSettings LaidOutFor;
    int32_t Wid, Hig;
    int32_t FirstFrame, LastFrame;  // of the field, see LayOutTiles
    PluginDataRec Config;           // the engine's record; Which is 3 (between two clips)
    std::shared_mutex Lock;
};
// False when out of memory for the field (then DisposeTileLayout is all that may follow).
bool InitTileLayout(TileLayoutRec& Layout);
void DisposeTileLayout(TileLayoutRec& Layout);

// Calls Compose(config, frame) with a record holding the layout for Settings on a Wid x Hig frame
// and Settings' active area, and the run's frame Settings.Progress shows. Layouts are made or kept
// as needed; Compose runs while no other thread may change the layout, alongside other readers.
template <class ComposeFn>
void ComposeWithLayout(TileLayoutRec& Layout, const TileSettings& Settings, int32_t Wid, int32_t Hig,
                       ComposeFn&& Compose);

// Releases what the engine keeps between frames; called when a host unloads the route.
void ReleaseTileEngineBuffers();

// --- Implementation of the template ---
bool SameTileLayout(const TileLayoutRec& Layout, const TileSettings& Settings, int32_t Wid, int32_t Hig);
void RenewTileLayout(TileLayoutRec& Layout, const TileSettings& Settings, int32_t Wid, int32_t Hig);

template <class ComposeFn>
void ComposeWithLayout(TileLayoutRec& Layout, const TileSettings& Settings, int32_t Wid, int32_t Hig,
                       ComposeFn&& Compose) {
    // The active area is not part of the layout: each frame composes with a copy of the record
    // holding its own, so frames of an animated area need not take turns.
    auto compose = [&] {
        PluginDataRec cfg = Layout.Config;
        cfg.StartRel = Settings.Active;
        Compose(static_cast<const PluginDataRec&>(cfg),
                TileProgressFrame(Settings.Progress, Layout.FirstFrame, Layout.LastFrame));
    };
    {
        std::shared_lock<std::shared_mutex> reading(Layout.Lock);
        if (SameTileLayout(Layout, Settings, Wid, Hig)) return compose();
    }
    std::unique_lock<std::shared_mutex> writing(Layout.Lock);
    if (!SameTileLayout(Layout, Settings, Wid, Hig)) RenewTileLayout(Layout, Settings, Wid, Hig);
    compose();
}
