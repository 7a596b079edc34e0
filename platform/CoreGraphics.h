// Image drawing in the manner of the platform's 2-D library, on pixman: immutable reference-counted
// images, bitmap contexts made directly on a buffer's memory, and contexts on QuickDraw ports.
// Pixels are 4 bytes, alpha, red, green, blue in memory, colour premultiplied by alpha (bitmap info 2).
// User space has y growing upwards with the origin at the bottom-left corner of the context.
// Whoever creates or retains an object releases it; nothing here is thread-safe across one object.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/CoreGraphicsFwd.h"
#include "platform/MacTypes.h"
#include "platform/QuickDraw.h"

typedef float CGFloat;  // 32-bit floats, as the rectangles the plug-in exchanges
struct CGPoint {
    CGFloat x, y;
};
struct CGSize {
    CGFloat width, height;
};
struct CGRect {
    CGPoint origin;  // bottom-left corner in a y-up system
    CGSize size;
};

struct CGContext;
typedef CGContext* CGContextRef;
struct CGColorSpace;
typedef CGColorSpace* CGColorSpaceRef;
struct CGColor;
typedef CGColor* CGColorRef;

typedef uint32_t CGBitmapInfo;
// Only kCGImageAlphaPremultipliedFirst with 8 bits a component is supported: bytes A, R, G, B.
enum : CGBitmapInfo { kCGImageAlphaPremultipliedFirst = 2 };

// Blend modes: values of the platform's enumeration. Every mode down to kCGBlendModeXOR and
// kCGBlendModePlusLighter is carried out; kCGBlendModePlusDarker is not supported and draws as
// kCGBlendModeNormal.
enum CGBlendMode : int32_t {
    kCGBlendModeNormal = 0,
    kCGBlendModeMultiply,
    kCGBlendModeScreen,
    kCGBlendModeOverlay,
    kCGBlendModeDarken,
    kCGBlendModeLighten,
    kCGBlendModeColorDodge,
    kCGBlendModeColorBurn,
    kCGBlendModeSoftLight,
    kCGBlendModeHardLight,
    kCGBlendModeDifference,
    kCGBlendModeExclusion,
    kCGBlendModeHue,
    kCGBlendModeSaturation,
    kCGBlendModeColor,
    kCGBlendModeLuminosity,
    kCGBlendModeClear,
    kCGBlendModeCopy,
    kCGBlendModeSourceIn,
    kCGBlendModeSourceOut,
    kCGBlendModeSourceAtop,
    kCGBlendModeDestinationOver,
    kCGBlendModeDestinationIn,
    kCGBlendModeDestinationOut,
    kCGBlendModeDestinationAtop,
    kCGBlendModeXOR,
    kCGBlendModePlusDarker,
    kCGBlendModePlusLighter
};
// False for the modes that draw as normal instead.
bool CGBlendModeIsSupported(CGBlendMode mode);

// --- Images ---
CGImageRef CGImageRetain(CGImageRef image);  // null-tolerant; returns image
void CGImageRelease(CGImageRef image);       // null-tolerant
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
CGImageRef CGImageCreateCopy(CGImageRef image);
// Number of images alive in the process (tests check that every image is released).
int32_t CGImageLiveCount();

// --- Colour spaces and colours ---
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
void CGColorSpaceRelease(CGColorSpaceRef space);
// components: red, green, blue, alpha, each 0..1 (not premultiplied).
CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[4]);
void CGColorRelease(CGColorRef color);
const CGFloat* CGColorGetComponents(CGColorRef color);

// --- Contexts ---
// A context drawing directly into data (rows bytesPerRow apart). Returns null for anything but
// 8 bits a component, bitmap info 2, a positive size, and bytesPerRow >= 4 x width.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo);
// A new image holding the context's pixels as they are now; later drawing does not change it.
CGImageRef CGBitmapContextCreateImage(CGContextRef context);
// An image that reads the context's pixels where they are instead of copying them. The pixels must
// stay unchanged and alive until the image is released: draw nothing into that memory meanwhile.
// A context that owns its pixels (made without data) gives a copy, as CGBitmapContextCreateImage.
CGImageRef CGBitmapContextCreateImageNoCopy(CGContextRef context);
CGContextRef CGContextRetain(CGContextRef context);
void CGContextRelease(CGContextRef context);

// A context on a port's pixels, origin at the port's bottom-left corner. QDEndCGContext hands the
// port back; the context itself is then released with CGContextRelease.
OSStatus QDBeginCGContext(CGrafPtr port, CGContextRef* outContext);
OSStatus QDEndCGContext(CGrafPtr port, CGContextRef* inoutContext);

void CGContextSaveGState(CGContextRef c);
void CGContextRestoreGState(CGContextRef c);
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextRotateCTM(CGContextRef c, CGFloat angle);  // radians, counter-clockwise as seen
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
void CGContextSetAlpha(CGContextRef c, CGFloat alpha);  // clamped to 0..1
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode);
void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color);
// Sets the pixels under rect to 0 in all four bytes.
void CGContextClearRect(CGContextRef c, CGRect rect);
void CGContextFillRect(CGContextRef c, CGRect rect);
// Draws image scaled into rect (bilinear filtering), composited by the blend mode and global alpha.
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);
void CGContextFlush(CGContextRef c);
