// Off-screen 32-bit pixel buffers and the QuickDraw calls the engine draws with.
// Pixels are 4 bytes in memory order alpha, red, green, blue on every processor; rows are
// rowBytes apart (at least 4 x width, possibly padded). Every buffer is also a port with its own
// clip, colours and pen; one port is current at a time (GetGWorld/SetGWorld).
// Rectangles are half-open: left <= x < right, top <= y < bottom.
#pragma once
#include <cstdint>

#include "platform/MacTypes.h"

struct Rect {
    int16_t top, left, bottom, right;
};
// The widest and tallest picture a Rect can bound from the origin: 16-bit signed coordinates.
inline constexpr int16_t cMaxRectSide = 32767;
struct Point {
    int16_t v, h;
};
// A colour as the platform's colour calls carry it: three 16-bit channels.
struct RGBColor {
    uint16_t RED, GREEN, BLUE;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
inline bool operator==(const RGBColor& a, const RGBColor& b) {
    return a.RED == b.RED && a.GREEN == b.GREEN && a.BLUE == b.BLUE;
}

struct GrafPortRec;
typedef GrafPortRec* CGrafPtr;
typedef GrafPortRec* GrafPtr;
typedef GrafPortRec* GWorldPtr;
typedef void* GDHandle;
typedef void* CTabHandle;
typedef uint32_t GWorldFlags;
typedef OSErr QDErr;
struct RegionRec;
typedef RegionRec* RgnHandle;

// The pixel map of a buffer. Our stand-in hands out plain pointers where the platform used handles.
struct PixMap {
    Ptr baseAddr;       // address of the first pixel of the first row
    int32_t rowBytes;   // stride in bytes, flag bits already excluded
    Rect bounds;        // buffer bounds, top-left normally (0, 0)
    int16_t pixelSize;  // bits per pixel, always 32 here
    GWorldFlags state;  // pixel state flags (pixelsLocked)
    GrafPortRec* port;  // the port that owns this pixel map
};
typedef PixMap* PixMapHandle;
typedef PixMap BitMap;

enum : GWorldFlags { pixelsLocked = 1u << 7 };
enum { srcCopy = 0 };

// --- Buffers ---
QDErr NewGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth, const Rect* boundsRect, CTabHandle cTable,
                GDHandle aGDevice, GWorldFlags flags);
void DisposeGWorld(GWorldPtr offscreenGWorld);
void GetGWorld(CGrafPtr* port, GDHandle* gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);
void SetPort(GrafPtr port);
void GetPort(GrafPtr* port);
PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
PixMapHandle GetPortPixMap(CGrafPtr port);
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);
GWorldFlags GetPixelsState(PixMapHandle pm);
Boolean LockPixels(PixMapHandle pm);
void UnlockPixels(PixMapHandle pm);
void SetPixelsState(PixMapHandle pm, GWorldFlags state);
Ptr GetPixBaseAddr(PixMapHandle pm);
int32_t GetPixRowBytes(PixMapHandle pm);
int16_t GetPixDepth(PixMapHandle pm);
Rect* GetPortBounds(CGrafPtr port, Rect* rect);

// Test hooks: extra bytes added to every new buffer's row stride, and a count of buffer
// allocations to fail from now on (0 = none).
void QDSetExtraRowPadding(int32_t bytes);
void QDFailNextGWorlds(int count);

// --- Colours, clip, painting in the current port ---
void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void GetForeColor(RGBColor* color);
void GetBackColor(RGBColor* color);
void ClipRect(const Rect* r);
void GetClipRect(Rect* r);  // stand-in for reading a rectangular clip region
void PaintRect(const Rect* r);
// Scaled copy (nearest source pixel) between two pixel maps; only srcCopy is supported.
void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect, const Rect* dstRect, int16_t mode,
              RgnHandle maskRgn);

// --- Rectangles ---
void SetRect(Rect* r, int16_t left, int16_t top, int16_t right, int16_t bottom);
void OffsetRect(Rect* r, int16_t dh, int16_t dv);
void InsetRect(Rect* r, int16_t dh, int16_t dv);
Boolean PtInRect(Point pt, const Rect* r);
void Pt2Rect(Point pt1, Point pt2, Rect* dstRect);
Boolean SectRect(const Rect* a, const Rect* b, Rect* dst);
Boolean EmptyRect(const Rect* r);

// --- Random ---
// 16-bit generator yielding -32767..32767: Park-Miller "minimal standard" (seed x 16807 mod 2^31-1),
// the low 16 bits of the new seed taken as a signed value, -32768 folded to 0.
int16_t Random();
void SetQDRandomSeed(int32_t seed);
int32_t GetQDRandomSeed();

// --- Shapes, regions, pen and text in the current port (QuickDrawShapes.cpp) ---
// Pen transfer modes of shapes, lines and text. Copy writes the colour with alpha 255; or, xor and
// bic change red, green and blue bit by bit and keep the alpha byte; the not- modes use the
// inverted colour. PaintRect above always copies.
enum : int16_t {
    patCopy = 8,
    patOr = 9,
    patXor = 10,
    patBic = 11,
    notPatCopy = 12,
    notPatOr = 13,
    notPatXor = 14,
    notPatBic = 15
};
void PenMode(int16_t mode);
void MoveTo(int16_t h, int16_t v);
// Draws a one-pixel line from the pen to (h, v) and moves the pen there; while a region is open
// the line becomes an edge of the region's polygon instead.
void LineTo(int16_t h, int16_t v);
void GetPen(Point* pt);
// Ovals and arcs cover the pixels whose centres lie inside the oval inscribed in r.
void PaintOval(const Rect* r);
void FrameOval(const Rect* r);
// A pie wedge of the oval in r: angles in degrees, 0 at twelve o'clock, positive clockwise.
void PaintArc(const Rect* r, int16_t startAngle, int16_t arcAngle);
void FrameRect(const Rect* r);
void EraseRect(const Rect* r);   // fills with the background colour
void InvertRect(const Rect* r);  // inverts red, green and blue
// Regions hold polygons recorded between OpenRgn and CloseRgn (MoveTo starts a new one) and are
// painted with the even-odd rule, pixel centres inside.
RgnHandle NewRgn();
void OpenRgn();
void CloseRgn(RgnHandle dstRgn);
void PaintRgn(RgnHandle rgn);
void OffsetRgn(RgnHandle rgn, int16_t dh, int16_t dv);
void DisposeRgn(RgnHandle rgn);
// Text in a built-in 5 x 7 pixel font, 6 pixels a character; the pen is on the baseline at the
// left of the first character and moves past the text. s is length-prefixed.
void DrawString(const unsigned char* s);
int16_t StringWidth(const unsigned char* s);

// --- Pictures (QuickDrawPictures.cpp) ---
// A picture records what CopyBits draws into the port that was current at OpenCPicture, until
// ClosePicture: the pixels, within the picture's frame. DrawPicture copies them, scaled, into a
// rectangle of the current port; parts of the frame nothing was drawn into hold zero bytes.
// Pictures are plain pointers where the platform used handles; KillPicture releases one.
typedef int32_t Fixed;                                  // 16.16 fixed point
inline constexpr Fixed kQDScreenResolution = 72 << 16;  // every buffer's resolution, 72 dpi
struct OpenCPicParams {
    Rect srcRect;  // the picture's frame
    Fixed hRes, vRes;
    int16_t version;  // -2: an extended version 2 picture
    int16_t reserved1;
    int32_t reserved2;
};
struct Picture {
    int16_t picSize;   // as on the platform: unused, 0
    Rect picFrame;     // the frame given to OpenCPicture
    GWorldPtr pixels;  // private: what was recorded, picFrame's size, origin (0, 0)
};
typedef Picture* PicHandle;
// Null when a picture is already open, the frame is empty or memory is short.
PicHandle OpenCPicture(const OpenCPicParams* newHeader);
void ClosePicture();
void DrawPicture(PicHandle myPicture, const Rect* dstRect);
void KillPicture(PicHandle myPicture);
int32_t QDPictureLiveCount();  // pictures not yet killed, for tests
