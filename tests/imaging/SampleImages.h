// Small sample images made with the decoders' own libraries, for the loader tests and the image
// fuzzer's seeds. Pixels are bytes A, R, G, B, rows width x 4 apart.
#pragma once
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sample {
struct Image {
    int w, h;
    std::vector<uint8_t> argb;
    const uint8_t* At(int x, int y) const { return argb.data() + (size_t(y) * size_t(w) + size_t(x)) * 4; }
};

// 6 x 4 opaque pixels of 24 different colours; alpha = true gives a transparent gradient across.
inline Image Pixels(bool alpha = false) {
    Image img{6, 4, {}};
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++)
            img.argb.insert(img.argb.end(), {uint8_t(alpha ? 51 * x : 255), uint8_t(40 * x + 10), uint8_t(60 * y + 20),
                                             uint8_t(200 - 20 * x - 10 * y)});
    return img;
}

inline std::vector<uint8_t> PNG(const Image& img) {
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    p.width = png_uint_32(img.w);
    p.height = png_uint_32(img.h);
    p.format = PNG_FORMAT_ARGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&p, nullptr, &size, 0, img.argb.data(), img.w * 4, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&p, out.data(), &size, 0, img.argb.data(), img.w * 4, nullptr);
    out.resize(size);
    return out;
}

// Quality 100 without chroma subsampling: within a few levels of the pixels.
inline std::vector<uint8_t> JPEG(const Image& img) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(img.w);
    c.image_height = JDIMENSION(img.h);
    c.input_components = 4;
    c.in_color_space = JCS_EXT_ARGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(img.At(0, int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

inline std::vector<uint8_t> WebP(const Image& img) {
    std::vector<uint8_t> rgba;
    for (size_t i = 0; i < img.argb.size(); i += 4)
        rgba.insert(rgba.end(), {img.argb[i + 1], img.argb[i + 2], img.argb[i + 3], img.argb[i]});
    uint8_t* mem = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(rgba.data(), img.w, img.h, img.w * 4, &mem);
    std::vector<uint8_t> out(mem, mem + size);
    WebPFree(mem);
    return out;
}

// RGBA with unassociated alpha, through a temporary file.
inline std::vector<uint8_t> TIFF(const Image& img) {
    char path[] = "/tmp/bw-sample-XXXXXX";
    const int fd = ::mkstemp(path);
    ::close(fd);
    ::TIFF* t = TIFFOpen(path, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(img.w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(img.h));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(img.h));
    for (int y = 0; y < img.h; y++) {
        std::vector<uint8_t> row;
        for (int x = 0; x < img.w; x++) row.insert(row.end(), {img.At(x, y)[1], img.At(x, y)[2], img.At(x, y)[3], img.At(x, y)[0]});
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFClose(t);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    return out;
}

// One colour-map entry for every distinct colour (at most 256); alpha is ignored.
inline std::vector<uint8_t> GIF(const Image& img) {
    std::vector<GifColorType> colours;
    std::vector<GifPixelType> indexes;
    for (size_t i = 0; i < img.argb.size(); i += 4) {
        const GifColorType c{img.argb[i + 1], img.argb[i + 2], img.argb[i + 3]};
        size_t k = 0;
        while (k < colours.size() && !(colours[k].Red == c.Red && colours[k].Green == c.Green && colours[k].Blue == c.Blue)) k++;
        if (k == colours.size()) colours.push_back(c);
        indexes.push_back(GifPixelType(k));
    }
    colours.resize(256);
    std::vector<uint8_t> out;
    auto write = [](GifFileType* g, const GifByteType* data, int n) {
        auto* o = static_cast<std::vector<uint8_t>*>(g->UserData);
        o->insert(o->end(), data, data + n);
        return n;
    };
    int err = 0;
    GifFileType* g = EGifOpen(&out, write, &err);
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(g, img.w, img.h, 8, 0, map);
    EGifPutImageDesc(g, 0, 0, img.w, img.h, false, nullptr);
    for (int y = 0; y < img.h; y++) EGifPutLine(g, indexes.data() + size_t(y) * size_t(img.w), img.w);
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return out;
}

struct Format {
    const char* name;  // also the file name extension
    std::vector<uint8_t> (*encode)(const Image&);
    int tolerance;  // largest channel difference after decoding
};
inline const Format kFormats[] = {
    {"png", PNG, 0},
    {"jpg", JPEG, 6},
    {"webp", WebP, 0},
    {"tif", TIFF, 0},
    {"gif", GIF, 0},
};
}  // namespace sample
