// Private to the image library: a buffer opened for direct pixel access, shared by the pixel and
// compositing modules.
#pragma once
#include "imaging/pixellib.h"

// An opened buffer: pixel state saved on entry and restored when the scope ends, bounds shifted so
// that the top-left corner is (0, 0) (pixel memory starts there whatever the bounds say).
struct OpenGW {
    GWorldPtr gw;
    Ptr base = nullptr;
    int32_t rowBytes = 0;
    Rect frame{};
    GWorldFlags flags = 0;

    explicit OpenGW(GWorldPtr theGW) : gw(theGW) {
        GetPixInfoFromGWorld(gw, base, rowBytes, frame, flags);
        OffsetRect(&frame, int16_t(-frame.left), int16_t(-frame.top));
    }
    ~OpenGW() { SetPixelsState(GetGWorldPixMap(gw), flags); }
    OpenGW(const OpenGW&) = delete;
    OpenGW& operator=(const OpenGW&) = delete;

    bool Inside(int x, int y) const { return x >= 0 && x < frame.right && y >= 0 && y < frame.bottom; }
    PixRec& At(int x, int y) const { return PixRow(base, rowBytes, y)[x]; }
    PixRec* Row(int y) const { return PixRow(base, rowBytes, y); }
    bool SameSize(const OpenGW& o) const { return frame.right == o.frame.right && frame.bottom == o.frame.bottom; }
};
