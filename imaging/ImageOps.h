// Whole-buffer compositing on 32-bit off-screen buffers: arithmetic between two buffers, averages
// of up to 100 buffers, inversion, blending, copying, rolling, four-corner distortion, a tolerance
// flood fill and alpha resets. The caller owns every buffer; nothing here allocates one.
// Shared rules: an absent buffer makes an operation do nothing; buffers of different sizes make
// two- and three-buffer operations do nothing; only pixels inside ActiveRect (clipped to the
// buffers) are computed; a result built from Source1's pixel keeps Source1's alpha. Channels are
// bytes 0..255, weights doubles, every conversion to an integer truncates toward zero.
#pragma once
#include <cstdint>

#include "imaging/pixellib.h"
#include "platform/QuickDraw.h"

inline constexpr int16_t MAXGWORLDS = 100;
// Buffers at indexes 1..n; index 0 is not used.
typedef GWorldPtr GWorldList[MAXGWORLDS + 1];

// --- Two sources into a destination (the destination may be one of the sources) ---
// Saturating sum, or the halved sum when Normalise; with UseAlpha a blend weighted by the alpha of
// Source1 (UseSource1) or Source2, inverted when InvertAlpha.
void AddGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Boolean Normalise,
                Boolean UseAlpha, Boolean UseSource1, Boolean InvertAlpha);
// (c1 W1 + c2 W2) div (W1 + W2), held to 0..255. A zero weight sum is refused: nothing changes.
void AddWeightedGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, int16_t W1, int16_t W2,
                        Rect ActiveRect);
// c1 - c2 (alpha-weighted as AddGWorlds with UseAlpha), zeroed below Threshold x 255, scaled by a
// non-zero Amplifyer within -255..255, then its absolute value (CalcDiff) or at least 0.
void SubtractGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect, Boolean CalcDiff,
                     Boolean UseAlpha, Boolean UseSource1, Boolean InvertAlpha, double Amplifyer, double Threshold);
void MultiplyGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect);  // c1 c2 div 255
void DivideGWorlds(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Rect ActiveRect);    // c1 div c2; 255 for 0
// Source2's channels raised (lowered) by their share f of Source1's mean brightness (1 - f when Invert).
void BrightenGWByGW(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Boolean Invert, Rect ActiveRect);
void DarkenGWByGW(GWorldPtr Source1, GWorldPtr Source2, GWorldPtr Dest, Boolean Invert, Rect ActiveRect);

// --- One source into a destination ---
void CopyPartOfGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect);
void SwapPartOfGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect);
void InvertGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect);
// Inverts the pixels whose mean (R + G + B) div 3 is above Value (WhenAbove; a negative Value
// inverts all) or below it; copies the others.
void TriggerInvertGWorlds(GWorldPtr Source1, GWorldPtr Dest, int16_t Value, Boolean WhenAbove, Rect ActiveRect);
// Blends Source1 over Dest at Alpha percent inside ActiveRect (100 or more copies, below 1 keeps
// Dest); outside it copies Source1 when CopyRest.
void AlphaBlit2(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, int16_t Alpha, Boolean CopyRest);
// Moves the pixels of ActiveRect by (HDisp, VDisp) within it, wrapping round when Roll and dropping
// what leaves it otherwise. The buffers must differ.
void RollGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, int16_t HDisp, int16_t VDisp, Boolean Roll);
// Maps the pixels of ActiveRect onto the quadrilateral TL, TR, BL, BR (CalcNewCoords), averaging
// into what is there with AvgPixels when CollectAndAverage. The buffers must differ.
void DistortGWorlds(GWorldPtr Source1, GWorldPtr Dest, Rect ActiveRect, Point TL, Point TR, Point BL, Point BR,
                    Boolean CollectAndAverage);

// --- Other operations ---
// The mean of Source[1..GWNum] (1 <= GWNum <= MAXGWORLDS, all of Dest's size), with the alpha of
// Source[GWNum].
void AverageGWorlds(const GWorldList Source, GWorldPtr Dest, int16_t GWNum, Rect ActiveRect);
// Tolerance flood fill from (X, Y) with FillColor (16-bit channels) and alpha Alpha: pixels whose
// channels each differ from the seed's by less than MaxDelta. The seed row grows both ways, every
// other span only to the left. Uses an explicit stack, so a full-frame fill needs no deep recursion.
void FillGW(GWorldPtr TheGW, RGBColor FillColor, int16_t X, int16_t Y, int16_t Alpha, int16_t MaxDelta);
// The plain four-neighbour fill (right, down, left, up) with the same test; not used by FillGW.
void FillPixel(GWorldPtr TheGW, RGBColor FillColor, int16_t X, int16_t Y, int16_t Alpha, int16_t MaxDelta);
// The pixel at (X, Y), or (0, 1, 2, 3) outside the buffer.
void AccessPixel(GWorldPtr Source, int16_t X, int16_t Y, PixRec& ThePixel);
// Bilinear map of (X, Y) in OrigRect onto the corners TL, TR, BL, BR. An empty OrigRect is refused:
// false, and (NX, NY) = (X, Y).
Boolean CalcNewCoords(Rect OrigRect, Point TL, Point TR, Point BL, Point BR, int16_t X, int16_t Y, int16_t& NX,
                      int16_t& NY);
// Running average with the sample count kept in the alpha byte (wrapping at 256).
void AvgPixels(PixRec& NewPixel, PixRec OldPixel);
void SetFixedAlpha(GWorldPtr Source1, int16_t Alpha);
void SetFixedAlphaOld(GWorldPtr Source1, int16_t Alpha);  // the same, one pixel at a time
void KillAlphaNull(GWorldPtr Source1);
void KillAlphaFull(GWorldPtr Source1);
