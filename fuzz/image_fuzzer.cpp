// Fuzzes the image loading path with arbitrary bytes as an image file: format sniffing and the PNG,
// JPEG, WebP, TIFF and GIF decoders behind the image sources. On every input: nothing is read
// outside the bytes; an accepted image has a size within the limits and exactly its pixels; an
// image source agrees with the decoder and every image it makes is released.
#include <cstdio>
#include <cstdlib>

#include "platform/CoreGraphics.h"
#include "platform/ImageIO.h"

namespace {
void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ImageSetPixelLimit(int64_t(1) << 20);  // 4 MB of pixels keeps every input quick
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedImage d;
    const bool ok = ImageDecode(data, size, d);
    if (ok) {
        Check(d.width >= 1 && d.height >= 1 && d.width <= cImageMaxSide && d.height <= cImageMaxSide,
              "an accepted image has sides within the limit");
        Check(int64_t(d.width) * d.height <= ImagePixelLimit(), "an accepted image has pixels within the limit");
        Check(d.argb.size() == size_t(d.width) * size_t(d.height) * 4, "an accepted image holds exactly its pixels");
    } else {
        Check(d.argb.empty() && d.width == 0, "a refused image leaves nothing");
    }
    const int32_t live = CGImageLiveCount();
    CGImageSourceRef source = CGImageSourceCreateWithData(data, size, nullptr);
    Check(CGImageSourceGetCount(source) == (ok ? 1u : 0u), "the image source agrees with the decoder");
    CGImageRef image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
    Check(!ok || (image && CGImageGetWidth(image) == size_t(d.width) && CGImageGetHeight(image) == size_t(d.height)),
          "the source's image has the decoded size");
    Check(CGImageSourceCreateImageAtIndex(source, 1, nullptr) == nullptr, "one image a file");
    CGImageRelease(image);
    CFRelease(source);
    Check(CGImageLiveCount() == live, "every image is released");
    return 0;
}
