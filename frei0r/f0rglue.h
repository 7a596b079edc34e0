// The transition as a frei0r mixer: one instance per host effect, its parameters as frei0r doubles,
// the tile layout it renders with, and frames composed by the engine from the host's RGBA buffers.
// Host buffers are width x height pixels, bytes R, G, B, A, rows packed; the engine composes them
// in place of its own A, R, G, B buffers. The instance owns its tile field.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/PluginDefines.h"
#include "native/tilelayout.h"

// The parameters in the host's order. Every one is a frei0r double in 0..1 (Randomized a frei0r
// bool) mapped onto the engine's range by the table in f0rglue.cpp.
enum F0rParam : int {
    kF0rProgress,      // position in the transition, 0..1
    kF0rMethod,        // tile ordering 1..cMethodCount
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

// Engine value of parameter Index for a frei0r value: clamped to 0..1 first (NaN counts as 0),
// then spread over the range and rounded to the nearest step. Bools: below 0.5 false.
double F0rMapParam(int Index, double Value);
// The 0..1 value that maps exactly onto EngineValue (the inverse of F0rMapParam on the range).
double F0rUnitParam(int Index, double EngineValue);
// Factory defaults (ResetConfig's) as frei0r values, and the settings a set of values stands for.
void F0rDefaultValues(double (&Values)[kF0rParamCount]);
TileSettings F0rSettingsOf(const double (&Values)[kF0rParamCount]);

// --- Instances ---
struct F0rInstanceRec;
typedef F0rInstanceRec* F0rInstancePtr;

// Null for a size the engine cannot hold (0, or above cMaxRectSide pixels) or when out of memory.
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
