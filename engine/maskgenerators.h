// Fade masks: grey 32-bit buffers whose level says how much of a layer shows, their conversion to
// and from a layer's alpha channel, and nine painters of soft-edged masks. Positions and fade
// widths are in 255ths of the buffer's width or height, sizes of the rectangle and oval fades in
// 512ths; grey levels are 0..255. The caller owns every buffer.
#pragma once
#include <cstdint>

#include "imaging/pixellib.h"
#include "platform/QuickDraw.h"

// Writes an alpha taken from Source (by AlphaMode) into Dest inside ActiveRect, optionally
// premultiplying Dest's colour by it; outside ActiveRect Dest becomes a copy of Source when
// CopyRest. A null Dest means Source itself. Buffers of different sizes are left alone.
void GW2Alpha(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, int16_t AlphaMode, Boolean Invert,
              Boolean CopyRest, Boolean Premultiply, int16_t Trigger, int16_t Left, int16_t Right, int16_t Min,
              int16_t Max, int16_t Scale);
// Source2Target(Colour, Dest) followed by GW2Alpha(Mask, Dest, ActiveRect, 1, Invert, CopyRest,
// Premultiply, 0, 0, 0, 0, 0, 0), in one pass over the pixels when Colour and Dest have the same
// bounds (the layer row is made from the colour row while both are in cache).
void GW2AlphaOnCopy(GWorldPtr Mask, GWorldPtr Colour, GWorldPtr Dest, Rect ActiveRect, Boolean Invert,
                    Boolean CopyRest, Boolean Premultiply);
// Writes Source's alpha (inverted when Invert) as grey into the chosen channels of Dest, alpha 0.
void Alpha2GW(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, Boolean ToR, Boolean ToG, Boolean ToB,
              Boolean Invert, Boolean CopyRest);

void SetupLRFade(int16_t Thickness, int16_t StartPos, int16_t StartVal, int16_t EndVal, Boolean Invert,
                 GWorldPtr TheGW);
void SetupUDFade(int16_t Thickness, int16_t StartPos, int16_t StartVal, int16_t EndVal, Boolean Invert,
                 GWorldPtr TheGW);
void SetupDoubleLRFade(int16_t ThicknessL, int16_t StartPosL, int16_t ThicknessR, int16_t StartPosR,
                       int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW);
void SetupDoubleUDFade(int16_t ThicknessL, int16_t StartPosL, int16_t ThicknessR, int16_t StartPosR,
                       int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW);
void SetupRectFade(int16_t Thickness, int16_t HStart, int16_t VStart, int16_t HSize, int16_t VSize,
                   int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW);
void SetupOvalFade(int16_t Thickness, int16_t HStart, int16_t VStart, int16_t HSize, int16_t VSize,
                   int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW);
void SetupArcFade(int16_t Thickness, int16_t AStart, int16_t ASize, int16_t AMin, int16_t AMax, int16_t PieSize,
                  Boolean Invert, GWorldPtr TheGW);
void SetupLRSlideFade(int16_t Thickness, int16_t StartPos, int16_t EndPos, int16_t StartVal, int16_t EndVal,
                      Boolean Invert, GWorldPtr TheGW);
void SetupTBSlideFade(int16_t Thickness, int16_t StartPos, int16_t EndPos, int16_t StartVal, int16_t EndVal,
                      Boolean Invert, GWorldPtr TheGW);
