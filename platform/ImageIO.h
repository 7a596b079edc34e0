// Image files: the platform's image sources and graphics importers, decoding PNG (libpng), JPEG
// (libjpeg-turbo), WebP (libwebp), TIFF (libtiff) and GIF (giflib, first frame). The format is told
// by a file's first bytes, never by its name. URLs are file paths.
// Limits: each side at most cImageMaxSide and at most ImagePixelLimit() pixels. A file past them,
// truncated or corrupt (a decoder's warning counts) gives none, and no pixel memory is allocated
// for a size refused. Whoever creates a source, an importer, an image or a picture releases it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/CoreGraphics.h"
#include "platform/Files.h"
#include "platform/MacTypes.h"
#include "platform/QuickDraw.h"

inline constexpr int32_t cImageMaxSide = 16384;
inline constexpr int64_t cImageMaxPixels = int64_t(1) << 26;  // 256 MB of 32-bit pixels

enum class ImageFormat { kUnknown,
                         kPNG,
                         kJPEG,
                         kGIF,
                         kTIFF,
                         kWebP };
// The format whose signature the bytes start with.
ImageFormat ImageFormatOf(const uint8_t* data, size_t size);
const char* ImageFormatMimeType(ImageFormat format);  // "image/png" ...; "" for kUnknown

// A decoded image: bytes A, R, G, B a pixel, colour not premultiplied, rows width x 4 apart.
struct DecodedImage {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> argb;
};
// Decodes the first image of a file's bytes; false, with `out` empty, when it cannot.
bool ImageDecode(const uint8_t* data, size_t size, DecodedImage& out);

// Test and fuzzing hooks: a lower pixel limit (0 restores cImageMaxPixels), and the largest pixel
// count a decoder has asked memory for since the last reset.
void ImageSetPixelLimit(int64_t pixels);
int64_t ImagePixelLimit();
int64_t ImageLargestPixelRequest();
void ImageResetLargestPixelRequest();

// --- Image sources ---
typedef struct OpaqueCGImageSource* CGImageSourceRef;
// Null when the file cannot be read; an unreadable image shows as a count of 0.
CGImageSourceRef CGImageSourceCreateWithURL(const std::string& url, const void* options);
CGImageSourceRef CGImageSourceCreateWithData(const uint8_t* data, size_t size, const void* options);
size_t CGImageSourceGetCount(CGImageSourceRef source);  // 1 when the first image decodes, else 0
// A new image, colour premultiplied by alpha; null past the count.
CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef source, size_t index, const void* options);
void CFRelease(CGImageSourceRef source);

// --- Graphics importers ---
typedef struct OpaqueGraphicsImporter* GraphicsImportComponent;
typedef GraphicsImportComponent ComponentInstance;
typedef int32_t ComponentResult;
inline constexpr OSErr cantFindHandler = -2003, invalidImageIndexErr = -2210;
enum : uint32_t { kGraphicsImportCreateCGImageUsingCurrentSettings = 1 };
// An importer for a file whose bytes are of a known format; cantFindHandler otherwise.
OSErr GetGraphicsImporterForFile(const FSSpec* theFile, ComponentInstance* gi);
// The image as a picture of its size at the origin; transparent pixels are drawn over white.
ComponentResult GraphicsImportGetAsPicture(GraphicsImportComponent ci, PicHandle* picture);
ComponentResult GraphicsImportCreateCGImage(GraphicsImportComponent ci, CGImageRef* imageRefOut, uint32_t flags);
OSErr CloseComponent(ComponentInstance ci);
