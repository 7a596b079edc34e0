#include "platform/QuickDraw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/QuickDraw_p.h"

namespace {
GrafPortRec* lgCurrentPort = nullptr;
GrafPortRec* lgScreenPort = nullptr;
int32_t lgExtraRowPadding = 0;
int lgFailGWorlds = 0;
int32_t lgRandSeed = 1;

constexpr RGBColor cBlack = {0, 0, 0};
constexpr RGBColor cWhite = {65535, 65535, 65535};

void InitPort(GrafPortRec* port, const Rect& bounds, Ptr pixels, int32_t rowBytes) {
    port->portPixMap.baseAddr = pixels;
    port->portPixMap.rowBytes = rowBytes;
    port->portPixMap.bounds = bounds;
    port->portPixMap.pixelSize = 32;
    port->portPixMap.state = 0;
    port->portPixMap.port = port;
    port->clipRect = bounds;
    port->fgColor = cBlack;
    port->bgColor = cWhite;
    port->pnLoc = {0, 0};
    port->pnMode = 8;  // patCopy
}
}  // namespace

namespace qd {
GrafPortRec* CurrentPort() {
    if (!lgCurrentPort) {
        if (!lgScreenPort) {
            static uint32_t screenPixel = 0;
            static GrafPortRec screen;
            InitPort(&screen, Rect{0, 0, 1, 1}, reinterpret_cast<Ptr>(&screenPixel), 4);
            screen.storage = nullptr;
            lgScreenPort = &screen;
        }
        lgCurrentPort = lgScreenPort;
    }
    return lgCurrentPort;
}

Rect DrawableArea(const GrafPortRec* port) {
    Rect r;
    if (!SectRect(&port->portPixMap.bounds, &port->clipRect, &r)) return Rect{0, 0, 0, 0};
    return r;
}

uint32_t PackPixel(const RGBColor& c) {
    const uint8_t bytes[4] = {255, uint8_t(c.RED >> 8), uint8_t(c.GREEN >> 8), uint8_t(c.BLUE >> 8)};
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

void FillPixels(GrafPortRec* port, const Rect& r, uint32_t pixel) {
    const PixMap& pm = port->portPixMap;
    for (int y = r.top; y < r.bottom; y++) {
        uint32_t* row = reinterpret_cast<uint32_t*>(PixelAt(pm, r.left, y));
        std::fill(row, row + (r.right - r.left), pixel);
    }
}
}  // namespace qd

QDErr NewGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth, const Rect* boundsRect, CTabHandle, GDHandle,
                GWorldFlags) {
    if (!offscreenGWorld) return paramErr;
    *offscreenGWorld = nullptr;
    if (!boundsRect || (pixelDepth != 32 && pixelDepth != 0)) return paramErr;
    const int32_t wid = int32_t(boundsRect->right) - boundsRect->left;
    const int32_t hig = int32_t(boundsRect->bottom) - boundsRect->top;
    if (wid <= 0 || hig <= 0) return paramErr;
    if (lgFailGWorlds > 0) {
        lgFailGWorlds--;
        return memFullErr;
    }
    // Rows start on 16-byte boundaries, like the platform's buffers; tests may add padding.
    const int32_t rowBytes = ((wid * 4 + 15) & ~15) + lgExtraRowPadding;
    const size_t bytes = size_t(rowBytes) * size_t(hig);
    void* pixels = std::aligned_alloc(64, (bytes + 63) & ~size_t(63));
    if (!pixels) return memFullErr;
    std::memset(pixels, 0, bytes);  // a new buffer is white on the platform; zero keeps tests strict
    auto* port = new (std::nothrow) GrafPortRec{};
    if (!port) {
        std::free(pixels);
        return memFullErr;
    }
    InitPort(port, *boundsRect, static_cast<Ptr>(pixels), rowBytes);
    port->storage = pixels;
    *offscreenGWorld = port;
    return noErr;
}

void DisposeGWorld(GWorldPtr offscreenGWorld) {
    if (!offscreenGWorld) return;
    if (lgCurrentPort == offscreenGWorld) lgCurrentPort = nullptr;
    std::free(offscreenGWorld->storage);
    delete offscreenGWorld;
}

void GetGWorld(CGrafPtr* port, GDHandle* gdh) {
    if (port) *port = qd::CurrentPort();
    if (gdh) *gdh = nullptr;
}
void SetGWorld(CGrafPtr port, GDHandle) { lgCurrentPort = port; }
void SetPort(GrafPtr port) { lgCurrentPort = port; }
void GetPort(GrafPtr* port) {
    if (port) *port = qd::CurrentPort();
}

PixMapHandle GetGWorldPixMap(GWorldPtr gw) { return gw ? &gw->portPixMap : nullptr; }
PixMapHandle GetPortPixMap(CGrafPtr port) { return port ? &port->portPixMap : nullptr; }
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port) { return port ? &port->portPixMap : nullptr; }
GWorldFlags GetPixelsState(PixMapHandle pm) { return pm ? pm->state : 0; }
Boolean LockPixels(PixMapHandle pm) {
    if (!pm) return false;
    pm->state |= pixelsLocked;
    return true;
}
void UnlockPixels(PixMapHandle pm) {
    if (pm) pm->state &= ~pixelsLocked;
}
void SetPixelsState(PixMapHandle pm, GWorldFlags state) {
    if (pm) pm->state = state;
}
Ptr GetPixBaseAddr(PixMapHandle pm) { return pm ? pm->baseAddr : nullptr; }
int32_t GetPixRowBytes(PixMapHandle pm) { return pm ? pm->rowBytes : 0; }
int16_t GetPixDepth(PixMapHandle pm) { return pm ? pm->pixelSize : 0; }
Rect* GetPortBounds(CGrafPtr port, Rect* rect) {
    if (rect) *rect = port ? port->portPixMap.bounds : Rect{0, 0, 0, 0};
    return rect;
}

void QDSetExtraRowPadding(int32_t bytes) { lgExtraRowPadding = std::max<int32_t>(0, bytes & ~3); }
void QDFailNextGWorlds(int count) { lgFailGWorlds = count; }

void RGBForeColor(const RGBColor* color) {
    if (color) qd::CurrentPort()->fgColor = *color;
}
void RGBBackColor(const RGBColor* color) {
    if (color) qd::CurrentPort()->bgColor = *color;
}
void GetForeColor(RGBColor* color) {
    if (color) *color = qd::CurrentPort()->fgColor;
}
void GetBackColor(RGBColor* color) {
    if (color) *color = qd::CurrentPort()->bgColor;
}
void ClipRect(const Rect* r) {
    if (r) qd::CurrentPort()->clipRect = *r;
}
void GetClipRect(Rect* r) {
    if (r) *r = qd::CurrentPort()->clipRect;
}

void PaintRect(const Rect* r) {
    if (!r) return;
    GrafPortRec* port = qd::CurrentPort();
    const Rect area = qd::DrawableArea(port);
    Rect target;
    if (!SectRect(r, &area, &target)) return;
    qd::FillPixels(port, target, qd::PackPixel(port->fgColor));
}

void CopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect, int16_t, RgnHandle) {
    if (!src || !dst || !srcRect || !dstRect) return;
    const int sw = srcRect->right - srcRect->left, sh = srcRect->bottom - srcRect->top;
    const int dw = dstRect->right - dstRect->left, dh = dstRect->bottom - dstRect->top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    qd::RecordCopyBits(src, dst, srcRect, dstRect);
    // Destination pixels that may change: the target rectangle within the destination port's
    // drawable area.
    Rect area = dst->bounds;
    if (dst->port) area = qd::DrawableArea(dst->port);
    Rect target;
    if (!SectRect(dstRect, &area, &target)) return;
    const bool sameSize = sw == dw && sh == dh;
    for (int y = target.top; y < target.bottom; y++) {
        const int sy = srcRect->top + int((int64_t(y - dstRect->top) * sh) / dh);
        if (sy < src->bounds.top || sy >= src->bounds.bottom) continue;
        uint32_t* out = reinterpret_cast<uint32_t*>(qd::PixelAt(*dst, target.left, y));
        const int sx0 = srcRect->left + (target.left - dstRect->left);
        if (sameSize && sx0 >= src->bounds.left && sx0 + (target.right - target.left) <= src->bounds.right) {
            std::memmove(out, qd::PixelAt(*src, sx0, sy), size_t(target.right - target.left) * 4);
            continue;
        }
        for (int x = target.left; x < target.right; x++, out++) {
            const int sx = srcRect->left + int((int64_t(x - dstRect->left) * sw) / dw);
            if (sx < src->bounds.left || sx >= src->bounds.right) continue;
            std::memcpy(out, qd::PixelAt(*src, sx, sy), 4);
        }
    }
}

void SetRect(Rect* r, int16_t left, int16_t top, int16_t right, int16_t bottom) {
    if (r) *r = Rect{top, left, bottom, right};
}
void OffsetRect(Rect* r, int16_t dh, int16_t dv) {
    if (!r) return;
    r->left = int16_t(r->left + dh);
    r->right = int16_t(r->right + dh);
    r->top = int16_t(r->top + dv);
    r->bottom = int16_t(r->bottom + dv);
}
void InsetRect(Rect* r, int16_t dh, int16_t dv) {
    if (!r) return;
    r->left = int16_t(r->left + dh);
    r->right = int16_t(r->right - dh);
    r->top = int16_t(r->top + dv);
    r->bottom = int16_t(r->bottom - dv);
    if (r->left >= r->right || r->top >= r->bottom) *r = Rect{0, 0, 0, 0};
}
Boolean PtInRect(Point pt, const Rect* r) {
    return r && pt.h >= r->left && pt.h < r->right && pt.v >= r->top && pt.v < r->bottom;
}
void Pt2Rect(Point a, Point b, Rect* r) {
    if (!r) return;
    *r = Rect{std::min(a.v, b.v), std::min(a.h, b.h), std::max(a.v, b.v), std::max(a.h, b.h)};
}
Boolean EmptyRect(const Rect* r) { return !r || r->left >= r->right || r->top >= r->bottom; }
Boolean SectRect(const Rect* a, const Rect* b, Rect* dst) {
    Rect r{std::max(a->top, b->top), std::max(a->left, b->left), std::min(a->bottom, b->bottom),
           std::min(a->right, b->right)};
    if (EmptyRect(&r)) {
        if (dst) *dst = Rect{0, 0, 0, 0};
        return false;
    }
    if (dst) *dst = r;
    return true;
}

int16_t Random() {
    // Park-Miller with Schrage's method, so no intermediate exceeds 31 bits.
    constexpr int32_t a = 16807, m = 2147483647, q = m / a, r = m % a;
    int32_t seed = lgRandSeed;
    if (seed <= 0 || seed >= m) seed = 1;
    seed = a * (seed % q) - r * (seed / q);
    if (seed <= 0) seed += m;
    lgRandSeed = seed;
    const int16_t value = int16_t(uint16_t(seed & 0xFFFF));
    return value == -32768 ? 0 : value;
}
void SetQDRandomSeed(int32_t seed) { lgRandSeed = seed; }
int32_t GetQDRandomSeed() { return lgRandSeed; }
