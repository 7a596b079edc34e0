#include "imaging/CGglue.h"

#include <algorithm>

#include "imaging/commonprocs.h"

namespace {
// A context on a buffer's port, or an assertion failure.
CGContextRef BeginContext(GWorldPtr theGW, std::string_view what) {
    CGContextRef ctx = nullptr;
    QDBeginCGContext(theGW, &ctx);
    Assert(ctx, what);
    return ctx;
}
void EndContext(GWorldPtr theGW, CGContextRef ctx) {
    CGContextFlush(ctx);
    QDEndCGContext(theGW, &ctx);
    CGContextRelease(ctx);
}
// 8-bit channel of a 16-bit colour as a 0..1 component.
CGFloat Component(uint16_t channel) { return CGFloat(channel / 256) / 255.0f; }
}  // namespace

CGRect QDRectToGCRect(Rect TheRect, Rect TheFrame) {
    int32_t PortWid, PortHig, RWid, RHig;
    GetDims(TheFrame, PortWid, PortHig);
    GetDims(TheRect, RWid, RHig);
    return CGRect{{float(TheRect.left), float(PortHig - TheRect.bottom)}, {float(RWid), float(RHig)}};
}

void DrawRotatedImageInCGRect(CGContextRef theContext, CGImageRef theImage, CGRect TargetRect, float theRadiants,
                              Boolean ClearFirst) {
    Assert(theContext, "NIL context for DrawRotatedImageInQDRect");
    Assert(theImage, "NIL Image for DrawRotatedImageInQDRect");
    CGContextSaveGState(theContext);
    CGContextTranslateCTM(theContext, TargetRect.origin.x + TargetRect.size.width / 2,
                          TargetRect.origin.y + TargetRect.size.height / 2);
    CGContextRotateCTM(theContext, theRadiants);
    const CGRect DrawRect{{-TargetRect.size.width / 2, -TargetRect.size.height / 2}, TargetRect.size};
    if (ClearFirst) CGContextClearRect(theContext, DrawRect);
    CGContextDrawImage(theContext, DrawRect, theImage);
    CGContextRestoreGState(theContext);
}

void DrawCGImageInQDRect(GWorldPtr theGW, CGImageRef theImage, Rect QDTargetRect, float theRadiants,
                         Boolean ClearFirst) {
    const CGRect TheCGFrame = QDRectToGCRect(QDTargetRect, GetPortRect(theGW));
    if (!theImage) return;
    CGContextRef ctx = BeginContext(theGW, "Cannot open a context on the port in DrawCGImageInQDRect");
    DrawRotatedImageInCGRect(ctx, theImage, TheCGFrame, theRadiants, ClearFirst);
    EndContext(theGW, ctx);
}

void DrawCGImageInQDRectWithAlpha(GWorldPtr theGW, CGImageRef theImage, Rect QDTargetRect, float theRadiants,
                                  Boolean ClearFirst, double Alpha, int16_t BlendMode) {
    const CGRect TheCGFrame = QDRectToGCRect(QDTargetRect, GetPortRect(theGW));
    if (!theImage) return;
    CGContextRef ctx = BeginContext(theGW, "Cannot open a context on the port in DrawCGImageInQDRectWithAlpha");
    if (Alpha >= 0) CGContextSetAlpha(ctx, float(Alpha));
    CGContextSetBlendMode(ctx, CGBlendMode(BlendMode));
    DrawRotatedImageInCGRect(ctx, theImage, TheCGFrame, theRadiants, ClearFirst);
    EndContext(theGW, ctx);
}

namespace {
CGImageRef ImageOfGWorld(GWorldPtr theGW, bool shared) {
    PixMapHandle pm = GetGWorldPixMap(theGW);
    const Ptr base = GetPixBaseAddr(pm);
    const int32_t rowBytes = GetPixRowBytes(pm);
    int32_t Wid, Hig;
    GetDims(GetPortRect(theGW), Wid, Hig);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef ctx = CGBitmapContextCreate(base, size_t(std::max(Wid, 0)), size_t(std::max(Hig, 0)), 8,
                                             size_t(std::max(rowBytes, 0)), space, kCGImageAlphaPremultipliedFirst);
    Assert(ctx, "Failed to create s CGContext on GWorld2CGImage");
    CGColorSpaceRelease(space);
    CGImageRef image = shared ? CGBitmapContextCreateImageNoCopy(ctx) : CGBitmapContextCreateImage(ctx);
    CGContextRelease(ctx);
    return image;
}
}  // namespace

CGImageRef GWorld2CGImage(GWorldPtr theGW) { return ImageOfGWorld(theGW, false); }
CGImageRef GWorld2CGImageShared(GWorldPtr theGW) { return ImageOfGWorld(theGW, true); }

Rect CalcProportionalImageForFrame(CGImageRef theImage, Rect theFrame) {
    return CalcProportionalRectForFrame(GetImageRect(theImage), theFrame);
}

void GetImageDims(CGImageRef theImage, int32_t& Wid, int32_t& Hig) {
    Wid = int32_t(std::min<size_t>(CGImageGetWidth(theImage), INT32_MAX));
    Hig = int32_t(std::min<size_t>(CGImageGetHeight(theImage), INT32_MAX));
}

CGRect CGRectMake(float theX, float theY, float theWidth, float theHeight) {
    return CGRect{{theX, theY}, {theWidth, theHeight}};
}

CGRect QDCrop2CGCrop(Rect CropRect, CGImageRef) {
    int32_t Wid, Hig;
    GetDims(CropRect, Wid, Hig);
    return CGRectMake(CropRect.left, CropRect.top, float(Wid), float(Hig));
}

Rect GetImageRect(CGImageRef theImage) {
    if (!theImage) return Rect{0, 0, 0, 0};
    int32_t Wid, Hig;
    GetImageDims(theImage, Wid, Hig);
    // Sizes beyond the 16-bit range are cut to it.
    return Rect{0, 0, int16_t(std::min<int32_t>(Hig, cMaxRectSide)), int16_t(std::min<int32_t>(Wid, cMaxRectSide))};
}

void GWClearRect(GWorldPtr theGW, Rect theRect) {
    Assert(theGW, "NIL GWorld in GWClearRect");
    CGContextRef ctx = BeginContext(theGW, "Cannot open a context on the port in GWClearRect");
    CGContextClearRect(ctx, QDRectToGCRect(theRect, GetPortRect(theGW)));
    EndContext(theGW, ctx);
}

void GWPaintRectWithAlpha(GWorldPtr theGW, Rect theRect, RGBColor theColor, int16_t Alpha) {
    Assert(theGW, "NIL GWorld in GWPaintRect");
    CGContextRef ctx = BeginContext(theGW, "Cannot open a context on the port in GWPaintRect");
    CGContextSetRGBFillColor(ctx, Component(theColor.RED), Component(theColor.GREEN), Component(theColor.BLUE),
                             CGFloat(Alpha) / 255.0f);
    CGContextFillRect(ctx, QDRectToGCRect(theRect, GetPortRect(theGW)));
    EndContext(theGW, ctx);
}

CGColorRef RGBColor2CGColorRef(RGBColor theColor, int16_t Alpha, CGColorSpaceRef theColorSpace) {
    Assert(theColorSpace, "NIL ColorSpace -- Color Space for allocation in RGBColor2CGColorRef");
    const CGFloat comps[4] = {Component(theColor.RED), Component(theColor.GREEN), Component(theColor.BLUE),
                              CGFloat(Alpha) / 255.0f};
    CGColorRef color = CGColorCreate(theColorSpace, comps);
    Assert(color, "NIL Color returned -- CGColorCreate returned NIL color in RGBColor2CGColorRef");
    return color;
}
