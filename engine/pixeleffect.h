// Composition of one transition frame: a grey mask holds every tile's progress, becomes the alpha of
// a layer holding the incoming picture, and the layer is drawn over the destination buffer.
// Most frames are made row by row over the tiles without either buffer; when the layer is needed,
// the mask and layer buffers are kept between calls of the same frame size (see
// ReleasePixelEffectBuffers); their contents never carry over from one frame to the next.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"
#include "imaging/pixellib.h"
#include "imaging/rows.h"

// Composes frame CurrentFrame of the tile field into Dest by theConfig->Which (1 colour over Dest,
// 2 Dest over the colour, 3 Source over Dest). ActiveRect and CopyRest have no effect.
void ThePixelEffect(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, Boolean CopyRest, PluginDataPtr theConfig,
                    int32_t CurrentFrame, int32_t MaxFrame);
// The two ways ThePixelEffect composes a frame, the same bytes either way. ComposeByTiles works row
// by row over the tiles: tiles not started are left alone, finished ones copied, only changing
// ones blended; false, with nothing written, for what it does not do (another Which, a clip B of
// another size, Which 2 on a Dest clipped short of its frame). ComposeThroughLayer is the plain
// way: the mask, the layer with its alpha from the mask, and the layer drawn over Dest.
bool ComposeByTiles(GWorldPtr Source, GWorldPtr Dest, PluginDataPtr theConfig, int32_t CurrentFrame);
void ComposeThroughLayer(GWorldPtr Source, GWorldPtr Dest, PluginDataPtr theConfig, int32_t CurrentFrame,
                         int32_t MaxFrame);
// ComposeByTiles of Which 3 on buffers the caller owns: Out = Source over Under, all three Wid x Hig
// pixels RowBytes apart, with the alpha byte where at says (theConfig->Which is not read). Out may
// be Under or Source itself; otherwise Under is copied into Out where no tile has started. The
// bytes are those of ComposeByTiles on the same pixels in the engine's order.
void ComposeClipsByTiles(const uint8_t* Under, const uint8_t* Source, uint8_t* Out, int32_t RowBytes, int16_t Wid,
                         int16_t Hig, AlphaByte at, const PluginDataRec& theConfig, int32_t CurrentFrame);
// Paints theConfig->TheMask: each tile of the grid in the grey of its progress at FrameNum, clipped
// to the active area.
void SetupAlpha(PluginDataPtr theConfig, int32_t FrameNum, int32_t TotalFrames);
// The painting as one PaintRect a tile: the plain reference of SetupAlpha, for tests.
void SetupAlphaScalar(PluginDataPtr theConfig, int32_t FrameNum, int32_t TotalFrames);
// Edge Index (0..Count) of Count tiles over Extent pixels: trunc(Index x Extent / Count). Tile i
// (from 1) spans [edge i - 1, edge i); edge 0 is 0 and edge Count is Extent, so the tiles cover the
// extent exactly.
int32_t TileEdge(int32_t Index, int32_t Extent, int32_t Count);
// A tile's progress at frame f: 0 before StartFrame, 255 from EndFrame on, linear in between.
uint8_t TileAlpha(int32_t f, int32_t StartFrame, int32_t EndFrame);
// Releases the buffers kept for the next frame; they are made again when needed. Called when a
// run ends and when the dialog closes, so nothing frame-sized stays held between them.
void ReleasePixelEffectBuffers();
