#include "platform/CoreGraphics.h"

#include <pixman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/rows.h"
#include "platform/ParallelRows.h"
#include "platform/QuickDraw_p.h"

namespace {
// Bytes A, R, G, B in memory: read as a 32-bit word that is b8g8r8a8 on little-endian processors.
constexpr pixman_format_code_t cNativeFormat =
    std::endian::native == std::endian::little ? PIXMAN_b8g8r8a8 : PIXMAN_a8r8g8b8;

// Affine map (x, y) -> (a x + c y + tx, b x + d y + ty), the platform's convention.
struct Affine {
    double a, b, c, d, tx, ty;
};
// outer after inner.
Affine Compose(const Affine& outer, const Affine& inner) {
    return Affine{outer.a * inner.a + outer.c * inner.b, outer.b * inner.a + outer.d * inner.b,
                  outer.a * inner.c + outer.c * inner.d, outer.b * inner.c + outer.d * inner.d,
                  outer.a * inner.tx + outer.c * inner.ty + outer.tx,
                  outer.b * inner.tx + outer.d * inner.ty + outer.ty};
}
void Apply(const Affine& m, double x, double y, double& ox, double& oy) {
    ox = m.a * x + m.c * y + m.tx;
    oy = m.b * x + m.d * y + m.ty;
}
bool Invert(const Affine& m, Affine& inv) {
    const double det = m.a * m.d - m.b * m.c;
    if (!(std::fabs(det) > 1e-12)) return false;
    inv.a = m.d / det;
    inv.b = -m.b / det;
    inv.c = -m.c / det;
    inv.d = m.a / det;
    inv.tx = -(inv.a * m.tx + inv.c * m.ty);
    inv.ty = -(inv.b * m.tx + inv.d * m.ty);
    return true;
}
bool Near(double v, double w) { return std::fabs(v - w) < 1e-6; }

struct GState {
    Affine ctm;   // user space -> device pixels (y down, origin top-left)
    float alpha;  // global alpha 0..1
    CGBlendMode blend;
    float fill[4];  // red, green, blue, alpha, not premultiplied
};

// Freed image blocks kept for the next image of the same size, so a frame-sized snapshot per video
// frame does not fault fresh pages in every time.
struct Block {
    size_t bytes = 0;
    uint8_t* ptr = nullptr;
};
Block lgSpare[2];
int32_t lgLiveImages = 0;

uint8_t* TakeBlock(size_t bytes) {
    for (Block& b : lgSpare)
        if (b.ptr && b.bytes == bytes) {
            uint8_t* p = b.ptr;
            b = Block{};
            return p;
        }
    return static_cast<uint8_t*>(std::aligned_alloc(64, (bytes + 63) & ~size_t(63)));
}
void GiveBlock(uint8_t* p, size_t bytes) {
    if (!p) return;
    if (bytes >= (size_t(1) << 20))
        for (Block& b : lgSpare)
            if (!b.ptr) {
                b = Block{bytes, p};
                return;
            }
    std::free(p);
}

inline uint32_t MulUn8(uint32_t x, uint32_t a) {  // round(x * a / 255) as the compositor rounds
    const uint32_t t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}
}  // namespace

struct CGImage {
    int32_t refs;
    int32_t width, height;
    int32_t rowBytes;  // width x 4 for the image's own pixels; the bitmap's stride when borrowed
    uint8_t* pixels;
    bool ownsPixels;  // false: the pixels belong to a bitmap that outlives the image
};

struct CGColorSpace {
    int32_t refs;
};
struct CGColor {
    int32_t refs;
    CGFloat comps[4];
};

struct CGContext {
    int32_t refs;
    uint8_t* data;
    int32_t width, height, rowBytes;
    bool ownsData;
    pixman_image_t* target;
    GState gs;
    std::vector<GState> saved;
};

bool CGBlendModeIsSupported(CGBlendMode mode) {
    return mode >= kCGBlendModeNormal && mode <= kCGBlendModePlusLighter && mode != kCGBlendModePlusDarker;
}

// --- Images ---
namespace {
CGImageRef NewImage(int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) return nullptr;
    auto* img = new (std::nothrow) CGImage{1, w, h, w * 4, nullptr, true};
    if (!img) return nullptr;
    img->pixels = TakeBlock(size_t(img->rowBytes) * size_t(h));
    if (!img->pixels) {
        delete img;
        return nullptr;
    }
    lgLiveImages++;
    return img;
}
}  // namespace

CGImageRef CGImageRetain(CGImageRef image) {
    if (image) image->refs++;
    return image;
}
void CGImageRelease(CGImageRef image) {
    if (!image || --image->refs > 0) return;
    if (image->ownsPixels) GiveBlock(image->pixels, size_t(image->rowBytes) * size_t(image->height));
    lgLiveImages--;
    delete image;
}
size_t CGImageGetWidth(CGImageRef image) { return image ? size_t(image->width) : 0; }
size_t CGImageGetHeight(CGImageRef image) { return image ? size_t(image->height) : 0; }
CGImageRef CGImageCreateCopy(CGImageRef image) {
    // Images never change, so a copy may share the pixels.
    return CGImageRetain(image);
}
int32_t CGImageLiveCount() { return lgLiveImages; }

// --- Colour spaces and colours ---
CGColorSpaceRef CGColorSpaceCreateDeviceRGB() { return new (std::nothrow) CGColorSpace{1}; }
void CGColorSpaceRelease(CGColorSpaceRef space) {
    if (space && --space->refs <= 0) delete space;
}
CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[4]) {
    if (!space || !components) return nullptr;
    auto* c = new (std::nothrow) CGColor{1, {}};
    if (!c) return nullptr;
    for (int i = 0; i < 4; i++) c->comps[i] = std::clamp(components[i], 0.0f, 1.0f);
    return c;
}
void CGColorRelease(CGColorRef color) {
    if (color && --color->refs <= 0) delete color;
}
const CGFloat* CGColorGetComponents(CGColorRef color) { return color ? color->comps : nullptr; }

// --- Contexts ---
namespace {
CGContextRef NewContext(uint8_t* data, int32_t w, int32_t h, int32_t rowBytes, bool owns) {
    auto* ctx = new (std::nothrow) CGContext{};
    if (!ctx) return nullptr;
    ctx->target = pixman_image_create_bits_no_clear(cNativeFormat, w, h, reinterpret_cast<uint32_t*>(data),
                                                    rowBytes);
    if (!ctx->target) {
        delete ctx;
        return nullptr;
    }
    ctx->refs = 1;
    ctx->data = data;
    ctx->width = w;
    ctx->height = h;
    ctx->rowBytes = rowBytes;
    ctx->ownsData = owns;
    // y up with the origin at the bottom-left corner.
    ctx->gs = GState{Affine{1, 0, 0, -1, 0, double(h)}, 1.0f, kCGBlendModeNormal, {0, 0, 0, 1}};
    return ctx;
}
}  // namespace

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo) {
    if (!space || bitsPerComponent != 8 || bitmapInfo != kCGImageAlphaPremultipliedFirst) return nullptr;
    if (width == 0 || height == 0 || width > size_t(cMaxRectSide) || height > size_t(cMaxRectSide)) return nullptr;
    if (bytesPerRow == 0) bytesPerRow = width * 4;
    if (bytesPerRow < width * 4 || bytesPerRow % 4 != 0 || bytesPerRow > (size_t(1) << 30)) return nullptr;
    bool owns = false;
    if (!data) {
        data = std::calloc(height, bytesPerRow);
        if (!data) return nullptr;
        owns = true;
    }
    if (reinterpret_cast<uintptr_t>(data) % 4 != 0) return nullptr;
    CGContextRef ctx =
        NewContext(static_cast<uint8_t*>(data), int32_t(width), int32_t(height), int32_t(bytesPerRow), owns);
    if (!ctx && owns) std::free(data);
    return ctx;
}

CGImageRef CGBitmapContextCreateImage(CGContextRef context) {
    if (!context) return nullptr;
    CGImageRef img = NewImage(context->width, context->height);
    if (!img) return nullptr;
    const size_t rowLen = size_t(context->width) * 4;
    ParallelRows(context->height, context->width, [&](int32_t first, int32_t last) {
        for (int32_t y = first; y < last; y++)
            std::memcpy(img->pixels + size_t(y) * size_t(img->rowBytes),
                        context->data + size_t(y) * size_t(context->rowBytes), rowLen);
    });
    return img;
}

CGImageRef CGBitmapContextCreateImageNoCopy(CGContextRef context) {
    if (!context) return nullptr;
    if (context->ownsData) return CGBitmapContextCreateImage(context);
    auto* img = new (std::nothrow)
        CGImage{1, context->width, context->height, context->rowBytes, context->data, false};
    if (img) lgLiveImages++;
    return img;
}

CGContextRef CGContextRetain(CGContextRef context) {
    if (context) context->refs++;
    return context;
}
void CGContextRelease(CGContextRef context) {
    if (!context || --context->refs > 0) return;
    pixman_image_unref(context->target);
    if (context->ownsData) std::free(context->data);
    delete context;
}

OSStatus QDBeginCGContext(CGrafPtr port, CGContextRef* outContext) {
    if (!outContext) return paramErr;
    *outContext = nullptr;
    if (!port) return paramErr;
    const PixMap& pm = port->portPixMap;
    const int32_t w = pm.bounds.right - pm.bounds.left, h = pm.bounds.bottom - pm.bounds.top;
    if (w <= 0 || h <= 0 || !pm.baseAddr) return paramErr;
    *outContext = NewContext(reinterpret_cast<uint8_t*>(pm.baseAddr), w, h, pm.rowBytes, false);
    return *outContext ? noErr : memFullErr;
}
OSStatus QDEndCGContext(CGrafPtr port, CGContextRef* inoutContext) {
    // Drawing is immediate, so handing the port back has nothing left to do.
    return port && inoutContext && *inoutContext ? noErr : paramErr;
}

void CGContextSaveGState(CGContextRef c) {
    if (c) c->saved.push_back(c->gs);
}
void CGContextRestoreGState(CGContextRef c) {
    if (!c || c->saved.empty()) return;
    c->gs = c->saved.back();
    c->saved.pop_back();
}
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) {
    if (c) c->gs.ctm = Compose(c->gs.ctm, Affine{1, 0, 0, 1, tx, ty});
}
void CGContextRotateCTM(CGContextRef c, CGFloat angle) {
    if (!c) return;
    const double s = std::sin(double(angle)), k = std::cos(double(angle));
    c->gs.ctm = Compose(c->gs.ctm, Affine{k, s, -s, k, 0, 0});
}
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy) {
    if (c) c->gs.ctm = Compose(c->gs.ctm, Affine{sx, 0, 0, sy, 0, 0});
}
void CGContextSetAlpha(CGContextRef c, CGFloat alpha) {
    if (c) c->gs.alpha = std::isnan(alpha) ? 1.0f : std::clamp(alpha, 0.0f, 1.0f);
}
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode) {
    if (c) c->gs.blend = mode;
}
void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    if (!c) return;
    const CGFloat v[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; i++) c->gs.fill[i] = std::isnan(v[i]) ? 0.0f : std::clamp(v[i], 0.0f, 1.0f);
}
void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color) {
    if (c && color) CGContextSetRGBFillColor(c, color->comps[0], color->comps[1], color->comps[2], color->comps[3]);
}
void CGContextFlush(CGContextRef) {}

// --- Drawing ---
namespace {
pixman_op_t OpFor(CGBlendMode mode) {
    switch (mode) {
        case kCGBlendModeMultiply: return PIXMAN_OP_MULTIPLY;
        case kCGBlendModeScreen: return PIXMAN_OP_SCREEN;
        case kCGBlendModeOverlay: return PIXMAN_OP_OVERLAY;
        case kCGBlendModeDarken: return PIXMAN_OP_DARKEN;
        case kCGBlendModeLighten: return PIXMAN_OP_LIGHTEN;
        case kCGBlendModeColorDodge: return PIXMAN_OP_COLOR_DODGE;
        case kCGBlendModeColorBurn: return PIXMAN_OP_COLOR_BURN;
        case kCGBlendModeSoftLight: return PIXMAN_OP_SOFT_LIGHT;
        case kCGBlendModeHardLight: return PIXMAN_OP_HARD_LIGHT;
        case kCGBlendModeDifference: return PIXMAN_OP_DIFFERENCE;
        case kCGBlendModeExclusion: return PIXMAN_OP_EXCLUSION;
        case kCGBlendModeHue: return PIXMAN_OP_HSL_HUE;
        case kCGBlendModeSaturation: return PIXMAN_OP_HSL_SATURATION;
        case kCGBlendModeColor: return PIXMAN_OP_HSL_COLOR;
        case kCGBlendModeLuminosity: return PIXMAN_OP_HSL_LUMINOSITY;
        case kCGBlendModeClear: return PIXMAN_OP_CLEAR;
        case kCGBlendModeCopy: return PIXMAN_OP_SRC;
        case kCGBlendModeSourceIn: return PIXMAN_OP_IN;
        case kCGBlendModeSourceOut: return PIXMAN_OP_OUT;
        case kCGBlendModeSourceAtop: return PIXMAN_OP_ATOP;
        case kCGBlendModeDestinationOver: return PIXMAN_OP_OVER_REVERSE;
        case kCGBlendModeDestinationIn: return PIXMAN_OP_IN_REVERSE;
        case kCGBlendModeDestinationOut: return PIXMAN_OP_OUT_REVERSE;
        case kCGBlendModeDestinationAtop: return PIXMAN_OP_ATOP_REVERSE;
        case kCGBlendModeXOR: return PIXMAN_OP_XOR;
        case kCGBlendModePlusLighter: return PIXMAN_OP_ADD;
        default: return PIXMAN_OP_OVER;  // normal, and the unsupported plus-darker
    }
}

pixman_fixed_t Fixed(double v) { return pixman_double_to_fixed(std::clamp(v, -32000.0, 32000.0)); }

// Where a shape with the given four device corners lands. Axis-aligned shapes become a whole-pixel
// rectangle (pixel centres inside), others a coverage mask over their bounding box.
struct Coverage {
    bool empty = true;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // device pixels touched, clipped to the context
    pixman_image_t* mask = nullptr;          // a8 over (x0, y0) .. (x1, y1); null: whole rectangle
    ~Coverage() {
        if (mask) pixman_image_unref(mask);
    }
};

void Cover(const CGContext* c, const double qx[4], const double qy[4], Coverage& cov) {
    const double minX = std::min({qx[0], qx[1], qx[2], qx[3]}), maxX = std::max({qx[0], qx[1], qx[2], qx[3]});
    const double minY = std::min({qy[0], qy[1], qy[2], qy[3]}), maxY = std::max({qy[0], qy[1], qy[2], qy[3]});
    if (!(maxX > minX) || !(maxY > minY)) return;
    bool aligned = true;
    for (int i = 0; i < 4; i++)
        aligned = aligned && (Near(qx[i], minX) || Near(qx[i], maxX)) && (Near(qy[i], minY) || Near(qy[i], maxY));
    auto clampX = [&](double v) { return int32_t(std::clamp(v, 0.0, double(c->width))); };
    auto clampY = [&](double v) { return int32_t(std::clamp(v, 0.0, double(c->height))); };
    if (aligned) {
        // A pixel belongs to the rectangle when its centre does.
        cov.x0 = clampX(std::ceil(minX - 0.5 - 1e-7));
        cov.x1 = clampX(std::ceil(maxX - 0.5 - 1e-7));
        cov.y0 = clampY(std::ceil(minY - 0.5 - 1e-7));
        cov.y1 = clampY(std::ceil(maxY - 0.5 - 1e-7));
        cov.empty = cov.x0 >= cov.x1 || cov.y0 >= cov.y1;
        return;
    }
    cov.x0 = clampX(std::floor(minX));
    cov.x1 = clampX(std::ceil(maxX));
    cov.y0 = clampY(std::floor(minY));
    cov.y1 = clampY(std::ceil(maxY));
    if (cov.x0 >= cov.x1 || cov.y0 >= cov.y1) return;
    cov.mask = pixman_image_create_bits(PIXMAN_a8, cov.x1 - cov.x0, cov.y1 - cov.y0, nullptr, 0);
    if (!cov.mask) return;
    pixman_triangle_t tris[2];
    auto pt = [&](int i) { return pixman_point_fixed_t{Fixed(qx[i]), Fixed(qy[i])}; };
    tris[0] = pixman_triangle_t{pt(0), pt(1), pt(2)};
    tris[1] = pixman_triangle_t{pt(0), pt(2), pt(3)};
    pixman_add_triangles(cov.mask, -cov.x0, -cov.y0, 2, tris);
    cov.empty = false;
}

// Scales an a8 mask by a global alpha.
void ScaleMask(pixman_image_t* mask, uint32_t galpha) {
    if (galpha >= 255) return;
    auto* bits = reinterpret_cast<uint8_t*>(pixman_image_get_data(mask));
    const int32_t stride = pixman_image_get_stride(mask);
    for (int32_t y = 0; y < pixman_image_get_height(mask); y++)
        for (int32_t x = 0; x < pixman_image_get_width(mask); x++)
            bits[size_t(y) * size_t(stride) + size_t(x)] = uint8_t(MulUn8(bits[size_t(y) * size_t(stride) + size_t(x)], galpha));
}

uint32_t GlobalAlpha255(const CGContext* c) { return uint32_t(std::lround(c->gs.alpha * 255.0f)); }

void Corners(const Affine& m, double w, double h, double qx[4], double qy[4]) {
    Apply(m, 0, 0, qx[0], qy[0]);
    Apply(m, w, 0, qx[1], qy[1]);
    Apply(m, w, h, qx[2], qy[2]);
    Apply(m, 0, h, qx[3], qy[3]);
}

// Composites a source over the covered pixels; a transformed source is sampled at
// device coordinates (src offset = dest offset).
void Composite(CGContext* c, pixman_op_t op, pixman_image_t* src, const Coverage& cov, uint32_t galpha) {
    pixman_image_t* mask = cov.mask;
    pixman_image_t* solid = nullptr;
    if (mask) {
        ScaleMask(mask, galpha);
    } else if (galpha < 255) {
        const pixman_color_t a{0, 0, 0, uint16_t(galpha * 257)};
        solid = pixman_image_create_solid_fill(&a);
        mask = solid;
    }
    const int32_t mx = cov.mask ? 0 : cov.x0, my = cov.mask ? 0 : cov.y0;
    pixman_image_composite32(op, src, mask, c->target, cov.x0, cov.y0, mx, my, cov.x0, cov.y0, cov.x1 - cov.x0,
                             cov.y1 - cov.y0);
    if (solid) pixman_image_unref(solid);
}
}  // namespace

namespace {
// The device pixels a user-space rectangle covers under the current transform; false when none.
bool RectCoverage(CGContextRef c, CGRect rect, Coverage& cov) {
    double qx[4], qy[4];
    Corners(Compose(c->gs.ctm, Affine{1, 0, 0, 1, rect.origin.x, rect.origin.y}), rect.size.width,
            rect.size.height, qx, qy);
    Cover(c, qx, qy, cov);
    return !cov.empty;
}
}  // namespace

void CGContextClearRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    Coverage cov;
    if (!RectCoverage(c, rect, cov)) return;
    if (!cov.mask) {
        for (int32_t y = cov.y0; y < cov.y1; y++)
            std::memset(c->data + size_t(y) * size_t(c->rowBytes) + size_t(cov.x0) * 4, 0, size_t(cov.x1 - cov.x0) * 4);
        return;
    }
    // Partly covered pixels lose their share: dst x (1 - coverage).
    const pixman_color_t white{65535, 65535, 65535, 65535};
    pixman_image_t* src = pixman_image_create_solid_fill(&white);
    Composite(c, PIXMAN_OP_OUT_REVERSE, src, cov, 255);
    pixman_image_unref(src);
}

void CGContextFillRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    Coverage cov;
    if (!RectCoverage(c, rect, cov)) return;
    const float a = c->gs.fill[3];
    auto chan = [&](float v) { return uint16_t(std::lround(double(v) * double(a) * 65535.0)); };
    const pixman_color_t color{chan(c->gs.fill[0]), chan(c->gs.fill[1]), chan(c->gs.fill[2]),
                               uint16_t(std::lround(double(a) * 65535.0))};
    pixman_image_t* src = pixman_image_create_solid_fill(&color);
    Composite(c, OpFor(c->gs.blend), src, cov, GlobalAlpha255(c));
    pixman_image_unref(src);
}

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
    if (!c || !image) return;
    const double iw = image->width, ih = image->height;
    // Image pixel space (y down from the image's top) -> user space -> device.
    const Affine toUser{double(rect.size.width) / iw, 0, 0, -double(rect.size.height) / ih, double(rect.origin.x),
                        double(rect.origin.y) + double(rect.size.height)};
    const Affine m = Compose(c->gs.ctm, toUser);
    Affine inv;
    if (!Invert(m, inv)) return;
    double qx[4], qy[4];
    Corners(m, iw, ih, qx, qy);
    Coverage cov;
    Cover(c, qx, qy, cov);
    if (cov.empty) return;
    const pixman_op_t op = OpFor(c->gs.blend);
    const uint32_t galpha = GlobalAlpha255(c);

    // Unscaled, unrotated, whole-pixel placement: the source-over row loop.
    const bool unit = Near(m.a, 1) && Near(m.d, 1) && Near(m.b, 0) && Near(m.c, 0) && Near(m.tx, std::round(m.tx)) &&
                      Near(m.ty, std::round(m.ty));
    if (unit && !cov.mask && op == PIXMAN_OP_OVER) {
        const int32_t ox = int32_t(std::round(m.tx)), oy = int32_t(std::round(m.ty));
        const int32_t x0 = std::max(cov.x0, ox), x1 = std::min(cov.x1, ox + image->width);
        const int32_t y0 = std::max(cov.y0, oy), y1 = std::min(cov.y1, oy + image->height);
        if (x0 >= x1 || y0 >= y1) return;
        const RowKernels& rows = Rows();
        ParallelRows(y1 - y0, x1 - x0, [&](int32_t first, int32_t last) {
            for (int32_t y = y0 + first; y < y0 + last; y++) {
                const uint8_t* s = image->pixels + size_t(y - oy) * size_t(image->rowBytes) + size_t(x0 - ox) * 4;
                uint8_t* d = c->data + size_t(y) * size_t(c->rowBytes) + size_t(x0) * 4;
                rows.Over(s, d, x1 - x0, uint8_t(galpha), AlphaByte::First);
            }
        });
        return;
    }

    pixman_image_t* src = pixman_image_create_bits_no_clear(
        cNativeFormat, image->width, image->height, reinterpret_cast<uint32_t*>(image->pixels), image->rowBytes);
    if (!src) return;
    pixman_f_transform ft{};
    ft.m[0][0] = inv.a;
    ft.m[0][1] = inv.c;
    ft.m[0][2] = inv.tx;
    ft.m[1][0] = inv.b;
    ft.m[1][1] = inv.d;
    ft.m[1][2] = inv.ty;
    ft.m[2][2] = 1;
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &ft);
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    // Edge pixels repeat outward so the image's own border stays crisp; the coverage cuts it.
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    Composite(c, op, src, cov, galpha);
    pixman_image_unref(src);
}
