// The MLT transition's settings: its properties in plain units, read at one frame's position.
#pragma once
#include <framework/mlt.h>

#include "native/tilelayout.h"

// The settings of the frame at Position of a transition running from In to Out (timeline frames).
// Progress is 0 on In (clip A) and 1 on Out (clip B), even in between; a transition of one frame
// is halfway, as MLT's own progress has it. Whole-number properties are rounded to the nearest and
// clamped to their range, fractions clamped to 0..1 (NaN counts as 0); an unset property has the
// factory default. The active area may be keyframed. Reading keyframes writes the properties'
// caches: one caller at a time.
TileSettings MltSettingsAt(mlt_properties Props, mlt_position Position, mlt_position In, mlt_position Out);
