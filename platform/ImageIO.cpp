#include "platform/ImageIO.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>

struct OpaqueCGImageSource {
    std::vector<uint8_t> bytes;
    bool tried = false;
    DecodedImage image;  // once tried: empty when it does not decode
};

struct OpaqueGraphicsImporter {
    std::vector<uint8_t> bytes;
};

namespace {
int64_t lgPixelLimit = cImageMaxPixels;
int64_t lgLargestRequest = 0;
constexpr size_t cMaxFileBytes = size_t(1) << 29;

bool Fits(uint64_t w, uint64_t h) {
    return w >= 1 && h >= 1 && w <= uint64_t(cImageMaxSide) && h <= uint64_t(cImageMaxSide) &&
           w * h <= uint64_t(lgPixelLimit);
}

// Pixel memory for an image of a size already checked with Fits; zero bytes (transparent black).
bool Allocate(DecodedImage& out, uint32_t w, uint32_t h) {
    if (!Fits(w, h)) return false;
    lgLargestRequest = std::max<int64_t>(lgLargestRequest, int64_t(w) * h);
    try {
        out.argb.assign(size_t(w) * h * 4, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    out.width = int32_t(w);
    out.height = int32_t(h);
    return true;
}

inline uint8_t Mul255(uint32_t c, uint32_t a) {  // round(c a / 255)
    const uint32_t t = c * a + 0x80;
    return uint8_t((t + (t >> 8)) >> 8);
}

// --- PNG: libpng's simplified reader, which reads the header before it allocates. It stops after
// the image data, so a file cut short after it is told by its missing end chunk. ---
bool HasEndChunk(const uint8_t* data, size_t size) {
    static constexpr uint8_t cEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    return size >= 20 && std::search(data + 8, data + size, cEnd, cEnd + 12) != data + size;
}

bool DecodePNG(const uint8_t* data, size_t size, DecodedImage& out) {
    if (!HasEndChunk(data, size)) return false;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, data, size)) return false;
    img.format = PNG_FORMAT_ARGB;
    const bool ok = Allocate(out, img.width, img.height) &&
                    png_image_finish_read(&img, nullptr, out.argb.data(), png_int_32(img.width * 4), nullptr);
    png_image_free(&img);
    return ok && (img.warning_or_error & PNG_IMAGE_ERROR) == 0;
}

// --- JPEG: libjpeg-turbo writes A, R, G, B rows itself; errors and warnings end the decode ---
struct JpegFailure {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
[[noreturn]] void JpegFail(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegFailure*>(c->err)->jump, 1); }
void JpegMessage(j_common_ptr c, int level) {
    if (level < 0) JpegFail(c);  // a warning: corrupt or truncated data
}
// A progressive file can ask for any number of scans, each a pass over the whole image.
void JpegProgress(j_common_ptr c) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (c->is_decompressor && d->input_scan_number > 500) JpegFail(c);
}

// Kept free of objects with destructors: a failure jumps back over this frame.
bool DecodeJPEG(const uint8_t* data, size_t size, DecodedImage& out) {
    jpeg_decompress_struct cinfo;
    JpegFailure failure;
    jpeg_progress_mgr progress{};
    cinfo.err = jpeg_std_error(&failure.pub);
    failure.pub.error_exit = JpegFail;
    failure.pub.emit_message = JpegMessage;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = JpegProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_ARGB;
    if (!Allocate(out, cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY spare = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                         cinfo.output_width * 4, 1)
                            : nullptr;
    // Files from Adobe's programs store CMYK inverted.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* row = out.argb.data() + size_t(cinfo.output_scanline) * size_t(out.width) * 4;
        JSAMPROW target = cmyk ? spare[0] : row;
        jpeg_read_scanlines(&cinfo, &target, 1);
        if (!cmyk) continue;
        for (int32_t x = 0; x < out.width; x++) {
            const uint8_t* k = target + 4 * x;
            auto ink = [&](int i) { return inverted ? k[i] : uint8_t(255 - k[i]); };
            row[4 * x] = 255;
            for (int i = 0; i < 3; i++) row[4 * x + 1 + i] = Mul255(ink(i), ink(3));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// --- WebP: still images; an animation gives none ---
bool DecodeWebP(const uint8_t* data, size_t size, DecodedImage& out) {
    WebPBitstreamFeatures f;
    if (WebPGetFeatures(data, size, &f) != VP8_STATUS_OK || f.has_animation) return false;
    return Allocate(out, uint32_t(f.width), uint32_t(f.height)) &&
           WebPDecodeARGBInto(data, size, out.argb.data(), out.argb.size(), out.width * 4) != nullptr;
}

// --- TIFF: libtiff's RGBA reader on the bytes in memory, messages silenced ---
struct TiffBytes {
    const uint8_t* data;
    toff_t size, pos;
};
tmsize_t TiffRead(thandle_t h, void* buf, tmsize_t n) {
    auto* t = static_cast<TiffBytes*>(h);
    if (n <= 0 || t->pos >= t->size) return 0;
    const toff_t k = std::min<toff_t>(toff_t(n), t->size - t->pos);
    std::memcpy(buf, t->data + t->pos, size_t(k));
    t->pos += k;
    return tmsize_t(k);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
    auto* t = static_cast<TiffBytes*>(h);
    const toff_t base = whence == SEEK_CUR ? t->pos : whence == SEEK_END ? t->size
                                                                         : 0;
    if (off > ~toff_t(0) - base) return toff_t(-1);
    t->pos = base + off;  // past the end reads give nothing
    return t->pos;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<TiffBytes*>(h)->size; }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

bool DecodeTIFF(const uint8_t* data, size_t size, DecodedImage& out) {
    TiffBytes bytes{data, toff_t(size), 0};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options, TiffQuiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, TiffQuiet, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(cImageMaxPixels * 4));
    TIFF* tif = TIFFClientOpenExt("image", "rm", &bytes, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                                  TiffUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tif) return false;
    uint32_t w = 0, h = 0;
    char why[1024];
    bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) &&
              TIFFRGBAImageOK(tif, why) && Allocate(out, w, h) &&
              TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<uint32_t*>(out.argb.data()), ORIENTATION_TOPLEFT, 1);
    TIFFClose(tif);
    if (!ok) return false;
    // Words of R | G << 8 | B << 16 | A << 24 with colour premultiplied: to bytes A, R, G, B straight.
    for (size_t i = 0; i < out.argb.size(); i += 4) {
        uint32_t p;
        std::memcpy(&p, &out.argb[i], 4);
        const uint32_t a = TIFFGetA(p);
        auto straight = [&](uint32_t c) { return uint8_t(a == 0 ? 0 : std::min<uint32_t>(255, (c * 255 + a / 2) / a)); };
        out.argb[i] = uint8_t(a);
        out.argb[i + 1] = straight(TIFFGetR(p));
        out.argb[i + 2] = straight(TIFFGetG(p));
        out.argb[i + 3] = straight(TIFFGetB(p));
    }
    return true;
}

// --- GIF: the first frame on the logical screen, transparent elsewhere ---
struct GifBytes {
    const uint8_t* data;
    size_t size, pos;
};
int GifRead(GifFileType* g, GifByteType* buf, int n) {
    auto* b = static_cast<GifBytes*>(g->UserData);
    const size_t k = std::min(size_t(std::max(n, 0)), b->size - b->pos);
    std::memcpy(buf, b->data + b->pos, k);
    b->pos += k;
    return int(k);
}

bool ReadGifFrame(GifFileType* g, int transparent, DecodedImage& out) {
    if (DGifGetImageDesc(g) == GIF_ERROR) return false;
    const GifImageDesc& f = g->Image;
    const ColorMapObject* map = f.ColorMap ? f.ColorMap : g->SColorMap;
    if (!map || f.Width <= 0 || f.Height <= 0 || !Fits(uint32_t(f.Width), uint32_t(f.Height))) return false;
    const int w = g->SWidth > 0 ? g->SWidth : f.Left + f.Width, h = g->SHeight > 0 ? g->SHeight : f.Top + f.Height;
    if (!Allocate(out, uint32_t(w), uint32_t(h))) return false;
    std::vector<GifPixelType> line(size_t(f.Width));
    // Interlaced frames send rows 0, 8, ..., then 4, 12, ..., then 2, 6, ..., then 1, 3, ...
    static constexpr int cStart[4] = {0, 4, 2, 1}, cStep[4] = {8, 8, 4, 2};
    const int passes = f.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; pass++)
        for (int y = f.Interlace ? cStart[pass] : 0; y < f.Height; y += f.Interlace ? cStep[pass] : 1) {
            if (DGifGetLine(g, line.data(), f.Width) == GIF_ERROR) return false;
            const int row = f.Top + y;
            if (row >= h) continue;
            for (int x = 0; x < f.Width && f.Left + x < w; x++) {
                const int index = line[size_t(x)];
                if (index == transparent || index >= map->ColorCount) continue;
                uint8_t* p = out.argb.data() + (size_t(row) * size_t(w) + size_t(f.Left + x)) * 4;
                p[0] = 255, p[1] = map->Colors[index].Red, p[2] = map->Colors[index].Green, p[3] = map->Colors[index].Blue;
            }
        }
    return true;
}

bool DecodeGIF(const uint8_t* data, size_t size, DecodedImage& out) {
    GifBytes bytes{data, size, 0};
    int err = 0;
    GifFileType* g = DGifOpen(&bytes, GifRead, &err);
    if (!g) return false;
    int transparent = -1;
    bool ok = false;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(g, &type) == GIF_ERROR) break;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            ok = ReadGifFrame(g, transparent, out);
            break;
        }
        if (type != EXTENSION_RECORD_TYPE) break;  // the end before any frame
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) break;
        // The graphic control block before a frame names its transparent colour.
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
        while (ext)
            if (DGifGetExtensionNext(g, &ext) == GIF_ERROR) {
                DGifCloseFile(g, &err);
                return false;
            }
    }
    DGifCloseFile(g, &err);
    return ok;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    return !path.empty() && FSReadWholeFile(path, bytes, cMaxFileBytes) == noErr;
}

// A new image of the decoded pixels, colour premultiplied.
CGImageRef MakeImage(const DecodedImage& d) {
    if (d.argb.empty()) return nullptr;
    std::vector<uint8_t> pixels(d.argb);
    for (size_t i = 0; i < pixels.size(); i += 4)
        for (int k = 1; k < 4; k++) pixels[i + k] = Mul255(pixels[i + k], pixels[i]);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(pixels.data(), size_t(d.width), size_t(d.height), 8,
                                                 size_t(d.width) * 4, space, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    return image;
}
}  // namespace

ImageFormat ImageFormatOf(const uint8_t* data, size_t size) {
    auto starts = [&](const char* sig, size_t n, size_t at = 0) { return size >= at + n && std::memcmp(data + at, sig, n) == 0; };
    if (!data) return ImageFormat::kUnknown;
    if (starts("\x89PNG\r\n\x1a\n", 8)) return ImageFormat::kPNG;
    if (starts("\xff\xd8\xff", 3)) return ImageFormat::kJPEG;
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return ImageFormat::kGIF;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) return ImageFormat::kTIFF;
    if (starts("RIFF", 4) && starts("WEBP", 4, 8)) return ImageFormat::kWebP;
    return ImageFormat::kUnknown;
}

const char* ImageFormatMimeType(ImageFormat format) {
    switch (format) {
        case ImageFormat::kPNG: return "image/png";
        case ImageFormat::kJPEG: return "image/jpeg";
        case ImageFormat::kGIF: return "image/gif";
        case ImageFormat::kTIFF: return "image/tiff";
        case ImageFormat::kWebP: return "image/webp";
        default: return "";
    }
}

bool ImageDecode(const uint8_t* data, size_t size, DecodedImage& out) {
    out = DecodedImage{};
    bool ok = false;
    switch (ImageFormatOf(data, size)) {
        case ImageFormat::kPNG: ok = DecodePNG(data, size, out); break;
        case ImageFormat::kJPEG: ok = DecodeJPEG(data, size, out); break;
        case ImageFormat::kGIF: ok = DecodeGIF(data, size, out); break;
        case ImageFormat::kTIFF: ok = DecodeTIFF(data, size, out); break;
        case ImageFormat::kWebP: ok = DecodeWebP(data, size, out); break;
        default: break;
    }
    if (!ok) out = DecodedImage{};
    return ok;
}

void ImageSetPixelLimit(int64_t pixels) { lgPixelLimit = pixels > 0 ? std::min(pixels, cImageMaxPixels) : cImageMaxPixels; }
int64_t ImagePixelLimit() { return lgPixelLimit; }
int64_t ImageLargestPixelRequest() { return lgLargestRequest; }
void ImageResetLargestPixelRequest() { lgLargestRequest = 0; }

// --- Image sources ---
CGImageSourceRef CGImageSourceCreateWithURL(const std::string& url, const void*) {
    auto* source = new (std::nothrow) OpaqueCGImageSource{};
    if (source && !ReadFile(url, source->bytes)) {
        delete source;
        return nullptr;
    }
    return source;
}

CGImageSourceRef CGImageSourceCreateWithData(const uint8_t* data, size_t size, const void*) {
    if (!data && size) return nullptr;
    auto* source = new (std::nothrow) OpaqueCGImageSource{};
    if (source) source->bytes.assign(data, data + size);
    return source;
}

size_t CGImageSourceGetCount(CGImageSourceRef source) {
    if (!source) return 0;
    if (!source->tried) {
        source->tried = true;
        ImageDecode(source->bytes.data(), source->bytes.size(), source->image);
    }
    return source->image.argb.empty() ? 0 : 1;
}

CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef source, size_t index, const void*) {
    if (index >= CGImageSourceGetCount(source)) return nullptr;
    return MakeImage(source->image);
}

void CFRelease(CGImageSourceRef source) { delete source; }

// --- Graphics importers ---
OSErr GetGraphicsImporterForFile(const FSSpec* theFile, ComponentInstance* gi) {
    if (!gi) return paramErr;
    *gi = nullptr;
    if (!theFile) return paramErr;
    std::vector<uint8_t> bytes;
    if (!ReadFile(FSSpecPath(*theFile), bytes)) return fnfErr;
    if (ImageFormatOf(bytes.data(), bytes.size()) == ImageFormat::kUnknown) return cantFindHandler;
    *gi = new (std::nothrow) OpaqueGraphicsImporter{std::move(bytes)};
    return *gi ? noErr : memFullErr;
}

ComponentResult GraphicsImportGetAsPicture(GraphicsImportComponent ci, PicHandle* picture) {
    if (!picture) return paramErr;
    *picture = nullptr;
    if (!ci) return paramErr;
    DecodedImage d;
    if (!ImageDecode(ci->bytes.data(), ci->bytes.size(), d)) return invalidImageIndexErr;
    const Rect frame{0, 0, int16_t(d.height), int16_t(d.width)};
    GWorldPtr gw = nullptr;
    if (NewGWorld(&gw, 32, &frame, nullptr, nullptr, 0) != noErr || !gw) return memFullErr;
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int32_t y = 0; y < d.height; y++) {
        const uint8_t* from = d.argb.data() + size_t(y) * size_t(d.width) * 4;
        uint8_t* to = reinterpret_cast<uint8_t*>(GetPixBaseAddr(pm)) + size_t(y) * size_t(GetPixRowBytes(pm));
        for (int32_t x = 0; x < d.width; x++, from += 4, to += 4) {
            // Over white: c a + 255 (1 - a), opaque.
            to[0] = 255;
            for (int k = 1; k < 4; k++) to[k] = uint8_t(Mul255(from[k], from[0]) + 255 - from[0]);
        }
    }
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(gw, nullptr);
    const OpenCPicParams header{frame, kQDScreenResolution, kQDScreenResolution, -2, 0, 0};
    *picture = OpenCPicture(&header);
    if (*picture) CopyBits(GetPortBitMapForCopyBits(gw), GetPortBitMapForCopyBits(gw), &frame, &frame, srcCopy, nullptr);
    ClosePicture();
    SetGWorld(savePort, saveDevice);
    DisposeGWorld(gw);
    return *picture ? noErr : memFullErr;
}

ComponentResult GraphicsImportCreateCGImage(GraphicsImportComponent ci, CGImageRef* imageRefOut, uint32_t) {
    if (!imageRefOut) return paramErr;
    *imageRefOut = nullptr;
    if (!ci) return paramErr;
    DecodedImage d;
    if (!ImageDecode(ci->bytes.data(), ci->bytes.size(), d)) return invalidImageIndexErr;
    *imageRefOut = MakeImage(d);
    return *imageRefOut ? noErr : memFullErr;
}

OSErr CloseComponent(ComponentInstance ci) {
    delete ci;
    return noErr;
}
