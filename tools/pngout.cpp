#include "tools/pngout.h"

#include <png.h>

#include <cstdio>
#include <vector>

bool WriteGWorldPNG(GWorldPtr gw, const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        std::remove((path + ".tmp").c_str());
        return false;
    };
    PixMapHandle pm = GetGWorldPixMap(gw);
    if (!pm) return fail("no buffer");
    const int wid = pm->bounds.right - pm->bounds.left, hig = pm->bounds.bottom - pm->bounds.top;
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return fail("cannot create file");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return fail("PNG encoding failed");
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, wid, hig, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(size_t(wid) * 3);
    for (int y = 0; y < hig; y++) {
        const auto* src = reinterpret_cast<const uint8_t*>(pm->baseAddr) + size_t(y) * pm->rowBytes;
        for (int x = 0; x < wid; x++) {
            row[x * 3 + 0] = src[x * 4 + 1];
            row[x * 3 + 1] = src[x * 4 + 2];
            row[x * 3 + 2] = src[x * 4 + 3];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) return fail("write failed");
    if (std::rename(tmp.c_str(), path.c_str()) != 0) return fail("cannot rename into place");
    return true;
}
