// The transition as a frei0r mixer: one instance per host effect, its parameters as frei0r doubles,
// the tile layout it renders with, and frames composed by the engine from the host's RGBA buffers.
// Host buffers are width x height pixels, bytes R, G, B, A, rows packed; the engine composes them
// in place of its own A, R, G, B buffers. The instance owns its tile field.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/PluginDefines.h"

// The parameters in the host's order. Every one is a frei0r double in 0..1 (Randomized a frei0r
// bool) mapped onto the engine's range by the table in f0rglue.cpp.
enum F0rParam : int {
    kF0rProgress,      // position in the transition, 0..1
    kF0rMethod,        // tile ordering 1..41
    kF0rColumns,       // 1..100
    kF0rRows,          // 1..100
    kF0rTileDuration,  // share of the transition each tile spends changing, 0..100 %
    kF0rRandomized,    // vary each tile's change length
    kF0rSeed,          // position 0..29,999 of the random table the layout starts reading at
    kF0rFrames,        // frames of the run the layout is made for, 10..1000
    kF0rLeft,          // active area, fractions of the frame
    kF0rTop,
    kF0rRight,
    kF0rBottom,
    kF0rParamCount
};

// What the host shows of one parameter.
struct F0rParamInfo {
    const char* Name;         // the host's key: MLT property, GStreamer property (lower case)
    int Type;                 // F0R_PARAM_DOUBLE or F0R_PARAM_BOOL
    const char* Explanation;  // states the mapping of 0..1 onto the range
};
bool GetF0rParamInfo(int Index, F0rParamInfo& Info);

// The settings in the engine's units, as the parameters map them.
struct F0rSettings {
    double Progress;          // 0..1
    int16_t Method;           // 1..41
    int16_t Columns, Rows;    // 1..100
    int16_t TileDuration;     // 0..100, percent
    bool Randomized;
    int16_t Seed;             // 0..cMaxRandom - 1
    int32_t Frames;           // 10..1000
    RelRect Active;           // fractions of the frame, each 0..1
};

// Engine value of parameter Index for a frei0r value: clamped to 0..1 first (NaN counts as 0),
// then spread over the range and rounded to the nearest step. Bools: below 0.5 false.
double F0rMapParam(int Index, double Value);
// The 0..1 value that maps exactly onto EngineValue (the inverse of F0rMapParam on the range).
double F0rUnitParam(int Index, double EngineValue);
// Factory defaults (ResetConfig's) as frei0r values, and the settings a set of values stands for.
void F0rDefaultValues(double (&Values)[kF0rParamCount]);
F0rSettings F0rSettingsOf(const double (&Values)[kF0rParamCount]);

// Lays out theConfig's tile field for Settings on a Wid x Hig frame: the grid, ordering and
// durations of Settings, the shared random table (filled once per process from a fixed generator
// seed) read from position Settings.Seed. The same settings give the same field in every process,
// whatever was laid out before. FirstFrame is the frame before any tile starts, LastFrame the one
// every tile has ended by. Takes the engine's lock.
void F0rLayOut(const F0rSettings& Settings, int32_t Wid, int32_t Hig, PluginDataRec& theConfig, int32_t& FirstFrame,
               int32_t& LastFrame);
// The run's frame that Progress shows: FirstFrame at 0, LastFrame at 1, evenly between.
int32_t F0rProgressFrame(double Progress, int32_t FirstFrame, int32_t LastFrame);

// --- Instances ---
struct F0rInstanceRec;
typedef F0rInstanceRec* F0rInstancePtr;

// Null for a size the engine cannot hold (0, or above 32,767 pixels) or when out of memory.
F0rInstancePtr F0rConstruct(uint32_t Wid, uint32_t Hig);
void F0rDestruct(F0rInstancePtr Inst);
// Value points to a double; an unknown Index is ignored. Changing a value the layout depends on
// makes the next frame lay the field out again.
void F0rSetParam(F0rInstancePtr Inst, const void* Value, int Index);
void F0rGetParam(F0rInstancePtr Inst, void* Value, int Index);
// Composes the frame of the current progress from clip A (outgoing) and clip B (incoming) into Out.
// Out may be A or B itself. A missing input leaves Out a copy of the other (black with neither).
// Several threads may update one instance at once, each with its own buffers (MLT's bands).
void F0rUpdate(F0rInstancePtr Inst, const uint32_t* A, const uint32_t* B, uint32_t* Out);
// Releases what the engine keeps between frames; called when the host unloads the plug-in.
void F0rReleaseEngineBuffers();
