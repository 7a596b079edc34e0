// Direct access to the pixels of 32-bit off-screen buffers (GWorlds), and small pixel operations.
// A pixel is 4 bytes, alpha, red, green, blue in memory on every processor; pixel (x, y) lies at
// base + y * rowBytes + x * 4. Callers own the buffers; nothing here allocates.
#pragma once
#include <cstdint>

#include "platform/QuickDraw.h"

struct PixRec {
    uint8_t ALPHA, RED, GREEN, BLUE;
};
typedef PixRec* PixRecPtr;
static_assert(sizeof(PixRec) == 4);

// A row of pixels as the row kernels (imaging/rows.h) take it: bytes, alpha first.
inline const uint8_t* PixBytes(const PixRec* p) { return reinterpret_cast<const uint8_t*>(p); }
inline uint8_t* PixBytes(PixRec* p) { return reinterpret_cast<uint8_t*>(p); }

// A pixel address that can be stepped by integer arithmetic and then used as a pixel pointer.
union AddrHack {
    Ptr TheAddr;
    uintptr_t TheLong;
    PixRecPtr ThePixPtr;
};

// First pixel of row y.
inline PixRec* PixRow(Ptr base, int32_t rowBytes, int32_t y) {
    return reinterpret_cast<PixRec*>(base + intptr_t(y) * rowBytes);
}

// Opens a buffer for direct access: saves its pixel state (restore it with SetPixelsState), locks
// the pixels, and returns base address, stride and bounds. theGW must not be null.
void GetPixInfoFromGWorld(GWorldPtr theGW, Ptr& PixBaseAddress, int32_t& PixRowBytes, Rect& TheFrame,
                          GWorldFlags& PixFlags);

int16_t GetGWDepth(GWorldPtr theGW);
int16_t Depth2Size(int16_t theDepth);
void PGetPixel(Ptr srcBaseAddr, int32_t rowBytes, int16_t x, int16_t y, PixRec& thePixel);
void PSetPixel(Ptr srcBaseAddr, int32_t rowBytes, int16_t x, int16_t y, const PixRec* thePixel);
void Put32BitPixelInPixMap(PixRec thePixel, Ptr dstBaseAddress, int16_t x, int16_t y, int32_t dstRowBytes,
                           int16_t targetDepth);
void Pixel2RGBA(PixRec thePixel, RGBColor& theRGB, int16_t& Alpha);
void SetPixMapPixels(GWorldPtr theDest, Rect theActiveRect, uint8_t R, uint8_t G, uint8_t B);
void PPlotPixel(GWorldPtr theTarget, int16_t x, int16_t y, int16_t Size, Boolean Blend, Boolean Round,
                PixRec thePixel);
void PSetGWPixelAndAlpha(GWorldPtr theSource, int16_t x, int16_t y, RGBColor theRGB, int16_t Alpha, int16_t theSize);
void PSetGWPixelUsingAlpha(GWorldPtr theSource, int16_t x, int16_t y, double theAlpha, RGBColor theRGB,
                           int16_t theSize);
void PCombineGWAndPutUsingAlpha(GWorldPtr theSource1, GWorldPtr theSource2, GWorldPtr theTarget, int16_t SX,
                                int16_t SY, int16_t TX, int16_t TY, int16_t Alpha, Boolean InvertAlpha,
                                int16_t theSize);
void PSmudgePixel(GWorldPtr theSource1, GWorldPtr theSource2, int16_t Radius, int16_t x, int16_t y,
                  Boolean Uses2Alpha, int16_t SmudgeAlpha, PixRec& Result);
// Rotates the part of theSource inside theActiveRect by Phi radians about its centre, mapping
// forwards into theDest (each target also fills its left neighbour to close gaps).
void RotatePixMap(GWorldPtr theSource, GWorldPtr theDest, Rect theActiveRect, double Phi);
