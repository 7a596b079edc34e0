// Private to the platform layer: the port record behind every buffer, shared by the drawing files.
#pragma once
#include "platform/QuickDraw.h"

struct GrafPortRec {
    PixMap portPixMap;  // pixels; bounds are the port rectangle
    Rect clipRect;      // drawing is limited to this rectangle (local coordinates)
    RGBColor fgColor;   // foreground colour: PaintRect and friends
    RGBColor bgColor;   // background colour: EraseRect
    Point pnLoc;        // pen position
    int16_t pnMode;     // pen transfer mode
    void* storage;      // owned pixel block, or null when the port wraps foreign memory
};

namespace qd {
// The current port; never null after the first call (a 1 x 1 default port stands in for the screen).
GrafPortRec* CurrentPort();
// Pointer to pixel (x, y) in local coordinates of a pixel map.
inline uint8_t* PixelAt(const PixMap& pm, int x, int y) {
    return reinterpret_cast<uint8_t*>(pm.baseAddr) + (y - pm.bounds.top) * pm.rowBytes + (x - pm.bounds.left) * 4;
}
// The rectangle of a port that drawing may touch: bounds intersected with the clip.
Rect DrawableArea(const GrafPortRec* port);
// A colour as one 32-bit word in memory order alpha, red, green, blue (alpha 255).
uint32_t PackPixel(const RGBColor& c);
// Fill a rectangle (already clipped to the port) with one packed pixel.
void FillPixels(GrafPortRec* port, const Rect& r, uint32_t pixel);

// While a picture is open: records a CopyBits into the port it is recorded from (QuickDrawPictures.cpp).
void RecordCopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect);
}  // namespace qd
