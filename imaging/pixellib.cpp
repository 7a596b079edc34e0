#include "imaging/pixellib.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/pixellib_p.h"
#include "platform/Numerics.h"

void GetPixInfoFromGWorld(GWorldPtr theGW, Ptr& PixBaseAddress, int32_t& PixRowBytes, Rect& TheFrame,
                          GWorldFlags& PixFlags) {
    PixMapHandle pm = GetGWorldPixMap(theGW);
    PixFlags = GetPixelsState(pm);
    LockPixels(pm);
    PixBaseAddress = GetPixBaseAddr(pm);
    PixRowBytes = GetPixRowBytes(pm);
    GetPortBounds(theGW, &TheFrame);
}

int16_t GetGWDepth(GWorldPtr theGW) { return GetPixDepth(GetGWorldPixMap(theGW)); }

int16_t Depth2Size(int16_t theDepth) {
    switch (theDepth) {
        case 8: return 1;
        case 16: return 2;
        default: return 4;
    }
}

void PGetPixel(Ptr srcBaseAddr, int32_t rowBytes, int16_t x, int16_t y, PixRec& thePixel) {
    thePixel = PixRow(srcBaseAddr, rowBytes, y)[x];
}

void PSetPixel(Ptr srcBaseAddr, int32_t rowBytes, int16_t x, int16_t y, const PixRec* thePixel) {
    PixRow(srcBaseAddr, rowBytes, y)[x] = *thePixel;
}

void Put32BitPixelInPixMap(PixRec thePixel, Ptr dstBaseAddress, int16_t x, int16_t y, int32_t dstRowBytes,
                           int16_t targetDepth) {
    int size = 4;
    if (targetDepth == 8) size = 1;
    else if (targetDepth == 16) size = 2;
    else if (targetDepth == 24) size = 3;
    uint8_t* at = reinterpret_cast<uint8_t*>(dstBaseAddress) + intptr_t(y) * dstRowBytes + intptr_t(x) * size;
    switch (targetDepth) {
        case 8: *at = thePixel.RED; break;
        case 16: {
            // 1-5-5-5: top bit 0, then red, green, blue at 5 bits each.
            const uint16_t v = uint16_t((thePixel.RED / 8) * 1024 + (thePixel.GREEN / 8) * 32 + thePixel.BLUE / 8);
            std::memcpy(at, &v, 2);
            break;
        }
        case 24: break;  // 24-bit buffers are not written
        default: std::memcpy(at, &thePixel, 4); break;
    }
}

void Pixel2RGBA(PixRec thePixel, RGBColor& theRGB, int16_t& Alpha) {
    theRGB = RGBColor{uint16_t(thePixel.RED * 256), uint16_t(thePixel.GREEN * 256), uint16_t(thePixel.BLUE * 256)};
    Alpha = thePixel.ALPHA;
}

void SetPixMapPixels(GWorldPtr theDest, Rect theActiveRect, uint8_t R, uint8_t G, uint8_t B) {
    if (!theDest) return;
    OpenGW gw(theDest);
    const PixRec value{0, R, G, B};
    Rect r;
    if (!SectRect(&gw.frame, &theActiveRect, &r)) return;
    for (int y = r.top; y < r.bottom; y++) {
        PixRec* row = PixRow(gw.base, gw.rowBytes, y);
        std::fill(row + r.left, row + r.right, value);
    }
}

void PPlotPixel(GWorldPtr theTarget, int16_t x, int16_t y, int16_t Size, Boolean, Boolean, PixRec thePixel) {
    if (!theTarget) return;
    OpenGW gw(theTarget);
    if (!gw.Inside(x, y)) return;
    const int left = std::max(0, x - Size), right = std::min<int>(gw.frame.right - 1, x + Size);
    const int top = std::max(0, y - Size), bottom = std::min<int>(gw.frame.bottom - 1, y + Size);
    for (int v = top; v <= bottom; v++)
        for (int h = left; h <= right; h++) gw.At(h, v) = thePixel;
}

void PSetGWPixelAndAlpha(GWorldPtr theSource, int16_t x, int16_t y, RGBColor theRGB, int16_t Alpha,
                         int16_t theSize) {
    if (!theSource) return;
    OpenGW gw(theSource);
    if (!gw.Inside(x, y)) return;
    const PixRec value{uint8_t(Alpha & 0xFF), uint8_t(theRGB.RED / 256), uint8_t(theRGB.GREEN / 256),
                       uint8_t(theRGB.BLUE / 256)};
    for (int v = y; v < y + theSize && v < gw.frame.bottom; v++)
        for (int h = x; h < x + theSize && h < gw.frame.right; h++) gw.At(h, v) = value;
}

void PSetGWPixelUsingAlpha(GWorldPtr theSource, int16_t x, int16_t y, double theAlpha, RGBColor theRGB,
                           int16_t theSize) {
    if (!theSource) return;
    OpenGW gw(theSource);
    if (!gw.Inside(x, y)) return;
    const int r = theRGB.RED / 256, g = theRGB.GREEN / 256, b = theRGB.BLUE / 256;
    auto mix = [&](uint8_t old, int channel) {
        return uint8_t(TruncL(old * (1.0 - theAlpha)) + TruncL(channel * theAlpha));
    };
    for (int v = y; v < y + theSize && v < gw.frame.bottom; v++)
        for (int h = x; h < x + theSize && h < gw.frame.right; h++) {
            PixRec& p = gw.At(h, v);
            p.RED = mix(p.RED, r);
            p.GREEN = mix(p.GREEN, g);
            p.BLUE = mix(p.BLUE, b);
        }
}

void PCombineGWAndPutUsingAlpha(GWorldPtr theSource1, GWorldPtr theSource2, GWorldPtr theTarget, int16_t SX,
                                int16_t SY, int16_t TX, int16_t TY, int16_t Alpha, Boolean InvertAlpha,
                                int16_t theSize) {
    if (!theSource1 || !theSource2 || !theTarget) return;
    OpenGW s1(theSource1);
    if (!s1.Inside(SX, SY)) return;
    OpenGW s2(theSource2), t(theTarget);
    const int a = InvertAlpha ? 255 - Alpha : Alpha;
    const double p = a / 255.0;
    const int16_t depth = GetGWDepth(theTarget);
    // Only the offsets h, v at which every buffer has a pixel: the target may start before its
    // corner (a negative TX or TY) and the second source may be smaller than the first.
    const int h0 = std::max(0, -TX), v0 = std::max(0, -TY);
    const int hEnd = std::min({int(theSize), t.frame.right - TX, s1.frame.right - SX, s2.frame.right - SX});
    const int vEnd = std::min({int(theSize), t.frame.bottom - TY, s1.frame.bottom - SY, s2.frame.bottom - SY});
    for (int v = v0; v < vEnd; v++)
        for (int h = h0; h < hEnd; h++) {
            const PixRec& c1 = s1.At(SX + h, SY + v);
            const PixRec& c2 = s2.At(SX + h, SY + v);
            // The written alpha is source 1's.
            const PixRec out{c1.ALPHA, uint8_t(TruncL(c1.RED * p + c2.RED * (1 - p))),
                             uint8_t(TruncL(c1.GREEN * p + c2.GREEN * (1 - p))),
                             uint8_t(TruncL(c1.BLUE * p + c2.BLUE * (1 - p)))};
            if (depth == 32)
                t.At(TX + h, TY + v) = out;
            else
                Put32BitPixelInPixMap(out, t.base, int16_t(TX + h), int16_t(TY + v), t.rowBytes, depth);
        }
}

void PSmudgePixel(GWorldPtr theSource1, GWorldPtr theSource2, int16_t Radius, int16_t x, int16_t y,
                  Boolean Uses2Alpha, int16_t SmudgeAlpha, PixRec& Result) {
    if (!theSource1) return;
    OpenGW s1(theSource1);
    if (!s1.Inside(x, y)) return;
    double weight = 0;
    int64_t r = 0, g = 0, b = 0;
    const int left = std::max(0, x - Radius), right = std::min<int>(s1.frame.right - 1, x + Radius);
    const int top = std::max(0, y - Radius), bottom = std::min<int>(s1.frame.bottom - 1, y + Radius);
    auto add = [&](const OpenGW* s2) {
        for (int v = top; v <= bottom; v++)
            for (int h = left; h <= right; h++) {
                const PixRec& p = s1.At(h, v);
                r += p.RED, g += p.GREEN, b += p.BLUE;
                weight += 1;
                // A second source smaller than the first adds only the pixels it has.
                if (!s2 || !s2->Inside(h, v)) continue;
                const PixRec& q = s2->At(h, v);
                const double w = Uses2Alpha ? q.ALPHA / 255.0 : 1.0;
                r += TruncL(q.RED * w), g += TruncL(q.GREEN * w), b += TruncL(q.BLUE * w);
                weight += w;
            }
    };
    if (theSource2) {
        OpenGW s2(theSource2);
        add(&s2);
    } else {
        add(nullptr);
    }
    Result.RED = uint8_t(TruncL(r / weight));
    Result.GREEN = uint8_t(TruncL(g / weight));
    Result.BLUE = uint8_t(TruncL(b / weight));
    Result.ALPHA = uint8_t(SmudgeAlpha & 0xFF);
}

void RotatePixMap(GWorldPtr theSource, GWorldPtr theDest, Rect theActiveRect, double Phi) {
    if (!theSource || !theDest) return;
    OpenGW src(theSource), dst(theDest);
    const int w = std::abs(theActiveRect.right - theActiveRect.left) / 2;
    const int h = std::abs(theActiveRect.bottom - theActiveRect.top) / 2;
    const double c = std::cos(Phi), s = std::sin(Phi);
    Rect area;
    if (!SectRect(&src.frame, &theActiveRect, &area)) return;
    for (int row = area.top; row < area.bottom; row++)
        for (int col = area.left; col < area.right; col++) {
            const int dx = col - w - theActiveRect.left, dy = row - h - theActiveRect.top;
            const int X = TruncL(dx * c - dy * s) + w + theActiveRect.left;
            const int Y = TruncL(dy * c + dx * s) + h + theActiveRect.top;
            if (!dst.Inside(X, Y)) continue;
            const PixRec p = src.At(col, row);
            dst.At(X, Y) = p;
            if (X > dst.frame.left) dst.At(X - 1, Y) = p;
        }
}
