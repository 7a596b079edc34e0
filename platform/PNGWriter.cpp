#include "platform/PNGWriter.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
// A system error in the words the render's messages use; others keep the system's own.
std::string ErrorWords(int err) {
    static const std::pair<int, const char*> cWords[] = {
        {ENOSPC, "no space left on the device"},
        {EDQUOT, "the disk quota is used up"},
        {EFBIG, "the file size limit was reached"},
        {EROFS, "the device is read-only"},
        {EACCES, "permission denied"},
        {EPERM, "permission denied"},
        {EIO, "the device reported a read or write error"},
        {ENOENT, "no such folder"},
        {EISDIR, "is a folder"},
        {ENOMEM, "not enough memory"},
    };
    for (const auto& [code, words] : cWords)
        if (code == err) return words;
    return std::strerror(err);
}

// libpng's errors end the write through its jump buffer; the system's reason is kept for the
// message, and libpng prints nothing of its own.
struct WriteState {
    int err = 0;
};
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    if (auto* state = static_cast<WriteState*>(png_get_error_ptr(png)); state && errno != 0) state->err = errno;
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}
}  // namespace

bool WriteGWorldPNG(GWorldPtr gw, const std::string& path, std::string* error) {
    const std::string tmp = path + ".tmp";
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        std::remove(tmp.c_str());
        return false;
    };
    PixMapHandle pm = GetGWorldPixMap(gw);
    if (!pm) return fail("no buffer");
    const int wid = pm->bounds.right - pm->bounds.left, hig = pm->bounds.bottom - pm->bounds.top;
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return fail("cannot be written (" + ErrorWords(errno) + ")");
    WriteState state;
    // The row buffer lives outside the part libpng may leave by longjmp, so it is always released.
    std::vector<png_byte> row(size_t(wid) * 3);
    errno = 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return fail(state.err != 0 ? ErrorWords(state.err) + " while writing it" : "PNG encoding failed");
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, wid, hig, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
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
    // The last buffered bytes reach the disk here: a full one shows now.
    if (std::fflush(f) != 0 || std::ferror(f)) {
        const int err = errno;
        std::fclose(f);
        return fail(ErrorWords(err) + " while writing it");
    }
    if (std::fclose(f) != 0) return fail(ErrorWords(errno) + " while writing it");
    if (std::rename(tmp.c_str(), path.c_str()) != 0) return fail("cannot be put in place (" + ErrorWords(errno) + ")");
    return true;
}
