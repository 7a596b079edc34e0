// Tile field timing: the start and end frame of every tile for one of the 41 orderings.
// Frames are host frame indexes of the run; the field belongs to the configuration record.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

// Fills theConfig->Rects for the grid of Sliders[1] x Sliders[2] tiles. MaxFrame is the run's frame
// count. The spiral methods (28, 29) make the grid square and odd and store it back in the sliders.
void InitRectangles(PluginDataPtr theConfig, int32_t MaxFrame, Rect ActiveRect);

// Numbers an odd XRes x XRes square in spiral order from its centre into the StartFrame fields;
// MaxCount becomes the number of tiles numbered. Even or non-square sizes change nothing.
void SetupSpiral(int16_t XRes, int16_t YRes, RectFieldPtr TheRects, int16_t& MaxCount, PluginDataPtr theConfig);

// Grid size as the field can hold it: a slider value clamped to 1..100. Every reader of the
// field's extent goes through these, so a hostile saved value never indexes outside the field.
int16_t FieldColumns(const PluginDataRec& theConfig);
int16_t FieldRows(const PluginDataRec& theConfig);

// The family a Method value belongs to; values outside 1..cMethodCount have no ordering of their own and
// fade every tile over the whole transition.
bool IsKnownMethod(int16_t Method);
