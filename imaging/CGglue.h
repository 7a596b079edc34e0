// Bridge between integer QuickDraw rectangles on 32-bit buffers (y down, origin top-left) and image
// drawing with rotation, alpha and blend modes (y up, origin bottom-left). Images handed out here
// belong to the caller, who releases them with CGImageRelease.
#pragma once
#include <cstdint>

#include "platform/CoreGraphics.h"
#include "platform/QuickDraw.h"

// TheRect of a port whose rectangle is TheFrame, in the y-up system of the port's context.
CGRect QDRectToGCRect(Rect TheRect, Rect TheFrame);
// Draws theImage scaled into TargetRect rotated by theRadiants (counter-clockwise as seen) about
// the rectangle's centre, clearing the rotated rectangle first when ClearFirst.
void DrawRotatedImageInCGRect(CGContextRef theContext, CGImageRef theImage, CGRect TargetRect, float theRadiants,
                              Boolean ClearFirst);
// The same into a port at a QuickDraw rectangle; an absent image draws nothing.
void DrawCGImageInQDRect(GWorldPtr theGW, CGImageRef theImage, Rect QDTargetRect, float theRadiants,
                         Boolean ClearFirst);
// As DrawCGImageInQDRect with a global Alpha (0..1; negative keeps full opacity) and a blend mode.
void DrawCGImageInQDRectWithAlpha(GWorldPtr theGW, CGImageRef theImage, Rect QDTargetRect, float theRadiants,
                                  Boolean ClearFirst, double Alpha, int16_t BlendMode);
// A snapshot of the buffer; the alpha byte is read as premultiplied alpha.
CGImageRef GWorld2CGImage(GWorldPtr theGW);
// The same image without the copy: it reads the buffer's pixels in place, so the buffer must not be
// written or disposed until the image is released.
CGImageRef GWorld2CGImageShared(GWorldPtr theGW);
Rect CalcProportionalImageForFrame(CGImageRef theImage, Rect theFrame);
void GetImageDims(CGImageRef theImage, int32_t& Wid, int32_t& Hig);

CGRect CGRectMake(float theX, float theY, float theWidth, float theHeight);
// A crop rectangle in image pixels (origin top-left, no flip).
CGRect QDCrop2CGCrop(Rect CropRect, CGImageRef theImage);
// (0, 0, height, width); the empty rectangle for an absent image.
Rect GetImageRect(CGImageRef theImage);
void GWClearRect(GWorldPtr theGW, Rect theRect);
// Fills theRect with theColor at Alpha / 255, composited over the buffer.
void GWPaintRectWithAlpha(GWorldPtr theGW, Rect theRect, RGBColor theColor, int16_t Alpha);
CGColorRef RGBColor2CGColorRef(RGBColor theColor, int16_t Alpha, CGColorSpaceRef theColorSpace);
