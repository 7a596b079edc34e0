// Frame rectangles held as fractions of the frame (RelRect, RelPoint) and their conversion to and
// from pixel rectangles; one setting serves every frame size. Pixel values are 16-bit.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

void InitRelRect(RelRect& TheRel);
Rect Rel2Rect(RelRect TheRel, Rect TheFrame);
RelRect Rect2Rel(Rect TheRect, Rect TheFrame);
RelRect SetRelRect(double Left, double Top, double Right, double Bottom);
Point Rel2Point(RelPoint TheRel, Rect TheFrame);
RelPoint Point2Rel(Point ThePoint, Rect TheFrame);
// Linear interpolation from SourceRel at StartFrameNum to TargetRel at EndFrameNum.
RelRect CalcTweenRel(int32_t StartFrameNum, int32_t EndFrameNum, int32_t CurrFrameNum, RelRect SourceRel,
                     RelRect TargetRel);
