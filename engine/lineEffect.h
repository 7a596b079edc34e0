// The picture the user chose in the dialog flattened into the prepared image the picture control
// shows, and a second, simpler frame effect: a scaled copy with the whole source laid over it at
// partial opacity. The configuration record owns TheRendered.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

// Rebuilds TheConfig->TheRendered from TheOriginalImage (none when there is no picture).
void RenderLineArt(PluginDataPtr TheConfig);
// Copies ActiveRect of Source onto the whole of Dest, then, when Sliders[3] > 0, draws Source over
// Dest at Sliders[3] percent opacity. CopyRest, CurrFrame and MaxFrame have no effect.
void TheLineEffect(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, Boolean CopyRest, PluginDataPtr TheConfig,
                   int32_t CurrFrame, int32_t MaxFrame);
