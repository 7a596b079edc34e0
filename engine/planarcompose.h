// Tile composition on pictures in their own pixel format: planar YCbCr 4:2:0, 4:2:2 and 4:4:4 in
// 8-bit or 16-bit samples, packed 8-bit 4:2:2 (YUYV) and 8-bit RGBA in any byte order. The tile
// field, its timing and every tile's progress are ComposeByTiles's own (one code for both); only
// the samples differ. The caller owns every picture and plane; nothing is kept between calls.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

enum class PlanarFormat : uint8_t {
    YUV420,  // three planes Y, Cb, Cr; chroma at half width and half height (rounded up)
    YUV422,  // chroma at half width (rounded up), full height
    YUV444,  // chroma at full size
    YUYV,    // one plane: Y0 Cb Y1 Cr for each pair of pixels, 8-bit only
    RGBA,    // one plane: four bytes a pixel in the order named, 8-bit only
    BGRA,
    ARGB,
    ABGR,
};
enum class YuvMatrix : uint8_t { BT601,
                                 BT709 };

// One picture. Samples of Depth 8 are bytes; Depth 9..16 (planar YCbCr only) are 16-bit samples in
// the processor's byte order holding the value in their low Depth bits (FFmpeg's yuv420p10 and so on).
struct PlanarPicture {
    uint8_t* Plane[3];  // Y, Cb, Cr; the packed formats use Plane[0] only
    int32_t Stride[3];  // bytes from a row of the plane to the next
    int32_t Wid, Hig;   // pixels (luma samples); at most cMaxRectSide each
    PlanarFormat Format;
    int16_t Depth;     // bits per sample
    YuvMatrix Matrix;  // how the colour variants turn the RGB colour into YCbCr
    bool FullRange;    // samples span 0 .. 2^Depth - 1 rather than 16..235 (240 chroma) at 8 bits
};

// Composes frame CurrentFrame of theConfig's tile field (laid out by InitRectangles) into Out: From
// gives way to To tile by tile. A null From or To stands for theConfig.Colors[1] (the colour
// variants; outside the active area the colour then shows where From is the colour, as in
// ThePixelEffect). Out may be From or To itself (same planes), or a picture of its own.
//   Tiles not started (and everything outside the tiles) get From's samples, finished tiles To's,
//   both copied unchanged; changing tiles get From x (1 - a) + To x a per sample, a = the tile's
//   progress / 255. A chroma sample takes the mean of the progress of the pixels it covers
//   (4:2:0: up to 2 x 2, 4:2:2 and YUYV: 2 side by side, rounded to nearest), so a tile edge at an odd
//   position blends the one sample it splits and leaves its neighbours exact.
// False, with nothing written, when a picture is malformed (no plane, a stride shorter than its
// row, a size or depth out of range) or the pictures differ in size, format or depth.
// theConfig.Which is not read.
bool ComposePlanarByTiles(const PlanarPicture* From, const PlanarPicture* To, const PlanarPicture& Out,
                          const PluginDataRec& theConfig, int32_t CurrentFrame);

// The colour as the picture's samples: Y, Cb, Cr in its matrix, range and depth (rounded to
// nearest), or R, G, B, 255 for the RGBA formats. The 16-bit colour is taken by its high bytes,
// as PaintRect takes it.
void PictureColour(RGBColor Colour, const PlanarPicture& Picture, uint16_t Samples[4]);
