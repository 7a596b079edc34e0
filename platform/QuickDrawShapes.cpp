// Ovals, arcs, polygon regions, lines, frames and bitmap text for the QuickDraw stand-in. Every shape
// is reduced to horizontal spans of pixels whose centres lie inside it, clipped to the port's
// drawable area and written with the port's pen mode.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/QuickDraw.h"
#include "platform/QuickDraw_p.h"

struct RegionRec {
    struct Pt {
        int32_t h, v;
    };
    std::vector<std::vector<Pt>> polygons;  // each closed implicitly
};

namespace {
RegionRec* lgOpenRgn = nullptr;  // region being recorded, or null

constexpr double cPi = 3.14159265358979323846;

// Writes pixels x0 .. x1 - 1 of row y in colour c with pen mode mode, inside area.
void Span(GrafPortRec* port, const Rect& area, int32_t y, int32_t x0, int32_t x1, const RGBColor& c,
          int16_t mode) {
    if (y < area.top || y >= area.bottom) return;
    x0 = std::max<int32_t>(x0, area.left);
    x1 = std::min<int32_t>(x1, area.right);
    if (x0 >= x1) return;
    const PixMap& pm = port->portPixMap;
    uint8_t* p = qd::PixelAt(pm, x0, y);
    uint8_t rgb[3] = {uint8_t(c.RED >> 8), uint8_t(c.GREEN >> 8), uint8_t(c.BLUE >> 8)};
    const int16_t base = int16_t(mode >= notPatCopy && mode <= notPatBic ? mode - 4 : mode);
    if (base != mode)
        for (uint8_t& b : rgb) b = uint8_t(~b);
    for (int32_t x = x0; x < x1; x++, p += 4) {
        switch (base) {
            case patOr:
                p[1] |= rgb[0];
                p[2] |= rgb[1];
                p[3] |= rgb[2];
                break;
            case patXor:
                p[1] ^= rgb[0];
                p[2] ^= rgb[1];
                p[3] ^= rgb[2];
                break;
            case patBic:
                p[1] &= uint8_t(~rgb[0]);
                p[2] &= uint8_t(~rgb[1]);
                p[3] &= uint8_t(~rgb[2]);
                break;
            default:
                p[0] = 255;
                p[1] = rgb[0];
                p[2] = rgb[1];
                p[3] = rgb[2];
                break;  // copy (also srcCopy..)
        }
    }
}

struct Painter {
    GrafPortRec* port;
    Rect area;
    RGBColor color;
    int16_t mode;
    void operator()(int32_t y, int32_t x0, int32_t x1) const { Span(port, area, y, x0, x1, color, mode); }
};
Painter PenPainter() {
    GrafPortRec* port = qd::CurrentPort();
    return Painter{port, qd::DrawableArea(port), port->fgColor, port->pnMode};
}

// Horizontal extent of the oval in r on row y: pixel centres inside. False when the row misses it.
bool OvalRow(const Rect& r, int32_t y, int32_t& x0, int32_t& x1) {
    const double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
    const double cx = r.left + rx, cy = r.top + ry;
    const double dy = (y + 0.5 - cy) / ry;
    if (dy * dy > 1.0) return false;
    const double half = rx * std::sqrt(1.0 - dy * dy);
    x0 = int32_t(std::ceil(cx - half - 0.5));
    x1 = int32_t(std::floor(cx + half - 0.5)) + 1;
    return x0 < x1;
}

bool Valid(const Rect* r) { return r && r->left < r->right && r->top < r->bottom; }

void PaintOvalWith(const Rect& r, const Painter& paint) {
    for (int32_t y = std::max<int32_t>(r.top, paint.area.top); y < std::min<int32_t>(r.bottom, paint.area.bottom); y++) {
        int32_t x0, x1;
        if (OvalRow(r, y, x0, x1)) paint(y, x0, x1);
    }
}

void Line(const Painter& paint, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int32_t err = dx + dy;
    for (;;) {
        paint(y0, x0, x0 + 1);
        if (x0 == x1 && y0 == y1) break;
        const int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

// 5 x 7 glyphs for ' ' .. '~': five columns, bit 0 the top row.
constexpr uint8_t cFont[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x5F, 0x00, 0x00},
    {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14},
    {0x24, 0x2A, 0x7F, 0x2A, 0x12},
    {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50},
    {0x00, 0x05, 0x03, 0x00, 0x00},
    {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00},
    {0x14, 0x08, 0x3E, 0x08, 0x14},
    {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00},
    {0x08, 0x08, 0x08, 0x08, 0x08},
    {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02},
    {0x3E, 0x51, 0x49, 0x45, 0x3E},
    {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46},
    {0x21, 0x41, 0x45, 0x4B, 0x31},
    {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39},
    {0x3C, 0x4A, 0x49, 0x49, 0x30},
    {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36},
    {0x06, 0x49, 0x49, 0x29, 0x1E},
    {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00},
    {0x08, 0x14, 0x22, 0x41, 0x00},
    {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08},
    {0x02, 0x01, 0x51, 0x09, 0x06},
    {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E},
    {0x7F, 0x49, 0x49, 0x49, 0x36},
    {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C},
    {0x7F, 0x49, 0x49, 0x49, 0x41},
    {0x7F, 0x09, 0x09, 0x09, 0x01},
    {0x3E, 0x41, 0x49, 0x49, 0x7A},
    {0x7F, 0x08, 0x08, 0x08, 0x7F},
    {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01},
    {0x7F, 0x08, 0x14, 0x22, 0x41},
    {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x0C, 0x02, 0x7F},
    {0x7F, 0x04, 0x08, 0x10, 0x7F},
    {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06},
    {0x3E, 0x41, 0x51, 0x21, 0x5E},
    {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31},
    {0x01, 0x01, 0x7F, 0x01, 0x01},
    {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F},
    {0x3F, 0x40, 0x38, 0x40, 0x3F},
    {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x07, 0x08, 0x70, 0x08, 0x07},
    {0x61, 0x51, 0x49, 0x45, 0x43},
    {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20},
    {0x00, 0x41, 0x41, 0x7F, 0x00},
    {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40},
    {0x00, 0x01, 0x02, 0x04, 0x00},
    {0x20, 0x54, 0x54, 0x54, 0x78},
    {0x7F, 0x48, 0x44, 0x44, 0x38},
    {0x38, 0x44, 0x44, 0x44, 0x20},
    {0x38, 0x44, 0x44, 0x48, 0x7F},
    {0x38, 0x54, 0x54, 0x54, 0x18},
    {0x08, 0x7E, 0x09, 0x01, 0x02},
    {0x0C, 0x52, 0x52, 0x52, 0x3E},
    {0x7F, 0x08, 0x04, 0x04, 0x78},
    {0x00, 0x44, 0x7D, 0x40, 0x00},
    {0x20, 0x40, 0x44, 0x3D, 0x00},
    {0x7F, 0x10, 0x28, 0x44, 0x00},
    {0x00, 0x41, 0x7F, 0x40, 0x00},
    {0x7C, 0x04, 0x18, 0x04, 0x78},
    {0x7C, 0x08, 0x04, 0x04, 0x78},
    {0x38, 0x44, 0x44, 0x44, 0x38},
    {0x7C, 0x14, 0x14, 0x14, 0x08},
    {0x08, 0x14, 0x14, 0x18, 0x7C},
    {0x7C, 0x08, 0x04, 0x04, 0x08},
    {0x48, 0x54, 0x54, 0x54, 0x20},
    {0x04, 0x3F, 0x44, 0x40, 0x20},
    {0x3C, 0x40, 0x40, 0x20, 0x7C},
    {0x1C, 0x20, 0x40, 0x20, 0x1C},
    {0x3C, 0x40, 0x30, 0x40, 0x3C},
    {0x44, 0x28, 0x10, 0x28, 0x44},
    {0x0C, 0x50, 0x50, 0x50, 0x3C},
    {0x44, 0x64, 0x54, 0x4C, 0x44},
    {0x00, 0x08, 0x36, 0x41, 0x00},
    {0x00, 0x00, 0x7F, 0x00, 0x00},
    {0x00, 0x41, 0x36, 0x08, 0x00},
    {0x08, 0x04, 0x08, 0x10, 0x08},
};
constexpr int32_t cCharAdvance = 6, cCharHeight = 7;
}  // namespace

void PenMode(int16_t mode) { qd::CurrentPort()->pnMode = mode; }

void MoveTo(int16_t h, int16_t v) {
    qd::CurrentPort()->pnLoc = Point{v, h};
    if (lgOpenRgn) lgOpenRgn->polygons.push_back({{h, v}});
}

void LineTo(int16_t h, int16_t v) {
    GrafPortRec* port = qd::CurrentPort();
    const Point from = port->pnLoc;
    port->pnLoc = Point{v, h};
    if (lgOpenRgn) {
        if (lgOpenRgn->polygons.empty()) lgOpenRgn->polygons.push_back({{from.h, from.v}});
        lgOpenRgn->polygons.back().push_back({h, v});
        return;
    }
    Line(PenPainter(), from.h, from.v, h, v);
}

void GetPen(Point* pt) {
    if (pt) *pt = qd::CurrentPort()->pnLoc;
}

void PaintOval(const Rect* r) {
    if (Valid(r)) PaintOvalWith(*r, PenPainter());
}

void FrameOval(const Rect* r) {
    if (!Valid(r)) return;
    const Painter paint = PenPainter();
    Rect inner = *r;
    InsetRect(&inner, 1, 1);
    for (int32_t y = r->top; y < r->bottom; y++) {
        int32_t x0, x1, i0 = 0, i1 = 0;
        if (!OvalRow(*r, y, x0, x1)) continue;
        if (EmptyRect(&inner) || !OvalRow(inner, y, i0, i1)) {
            paint(y, x0, x1);
            continue;
        }
        paint(y, x0, i0);
        paint(y, i1, x1);
    }
}

void PaintArc(const Rect* r, int16_t startAngle, int16_t arcAngle) {
    if (!Valid(r)) return;
    if (std::abs(int32_t(arcAngle)) >= 360) {
        PaintOval(r);
        return;
    }
    if (arcAngle == 0) return;
    // The wedge as a clockwise range [first, first + span) in degrees from twelve o'clock.
    double first = arcAngle > 0 ? startAngle : double(startAngle) + arcAngle;
    const double span = std::abs(int32_t(arcAngle));
    first = std::fmod(first, 360.0);
    if (first < 0) first += 360.0;
    const Painter paint = PenPainter();
    const double cx = (r->left + r->right) / 2.0, cy = (r->top + r->bottom) / 2.0;
    for (int32_t y = std::max<int32_t>(r->top, paint.area.top); y < std::min<int32_t>(r->bottom, paint.area.bottom); y++) {
        int32_t x0, x1;
        if (!OvalRow(*r, y, x0, x1)) continue;
        int32_t runStart = -1;
        for (int32_t x = x0; x <= x1; x++) {
            bool inside = false;
            if (x < x1) {
                // Clockwise angle from twelve o'clock of the pixel centre, y growing downwards.
                double a = std::atan2(x + 0.5 - cx, cy - (y + 0.5)) * 180.0 / cPi;
                if (a < 0) a += 360.0;
                double rel = a - first;
                if (rel < 0) rel += 360.0;
                inside = rel < span;
            }
            if (inside && runStart < 0) runStart = x;
            if (!inside && runStart >= 0) {
                paint(y, runStart, x);
                runStart = -1;
            }
        }
    }
}

void FrameRect(const Rect* r) {
    if (!Valid(r)) return;
    const Painter paint = PenPainter();
    paint(r->top, r->left, r->right);
    if (r->bottom - 1 > r->top) paint(r->bottom - 1, r->left, r->right);
    for (int32_t y = r->top + 1; y < r->bottom - 1; y++) {
        paint(y, r->left, r->left + 1);
        if (r->right - 1 > r->left) paint(y, r->right - 1, r->right);
    }
}

void EraseRect(const Rect* r) {
    if (!Valid(r)) return;
    GrafPortRec* port = qd::CurrentPort();
    const Painter paint{port, qd::DrawableArea(port), port->bgColor, patCopy};
    for (int32_t y = r->top; y < r->bottom; y++) paint(y, r->left, r->right);
}

void InvertRect(const Rect* r) {
    if (!Valid(r)) return;
    GrafPortRec* port = qd::CurrentPort();
    const Painter paint{port, qd::DrawableArea(port), RGBColor{65535, 65535, 65535}, patXor};
    for (int32_t y = r->top; y < r->bottom; y++) paint(y, r->left, r->right);
}

RgnHandle NewRgn() { return new (std::nothrow) RegionRec{}; }

void OpenRgn() {
    delete lgOpenRgn;
    lgOpenRgn = new (std::nothrow) RegionRec{};
}

void CloseRgn(RgnHandle dstRgn) {
    if (!lgOpenRgn) return;
    if (dstRgn) dstRgn->polygons = std::move(lgOpenRgn->polygons);
    delete lgOpenRgn;
    lgOpenRgn = nullptr;
}

void PaintRgn(RgnHandle rgn) {
    if (!rgn) return;
    const Painter paint = PenPainter();
    std::vector<double> xs;
    for (int32_t y = paint.area.top; y < paint.area.bottom; y++) {
        const double cy = y + 0.5;
        xs.clear();
        for (const auto& poly : rgn->polygons) {
            const size_t n = poly.size();
            if (n < 3) continue;
            for (size_t i = 0; i < n; i++) {
                const RegionRec::Pt& a = poly[i];
                const RegionRec::Pt& b = poly[(i + 1) % n];
                if ((a.v <= cy) == (b.v <= cy)) continue;  // edge does not cross this row's centre line
                xs.push_back(a.h + (cy - a.v) * double(b.h - a.h) / double(b.v - a.v));
            }
        }
        std::sort(xs.begin(), xs.end());
        // Even-odd: pixels whose centres lie between crossings 0-1, 2-3, ...
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
            const double l = std::clamp(xs[i], -1e6, 1e6), r = std::clamp(xs[i + 1], -1e6, 1e6);
            paint(y, int32_t(std::ceil(l - 0.5)), int32_t(std::ceil(r - 0.5)));
        }
    }
}

void OffsetRgn(RgnHandle rgn, int16_t dh, int16_t dv) {
    if (!rgn) return;
    for (auto& poly : rgn->polygons)
        for (auto& p : poly) {
            p.h += dh;
            p.v += dv;
        }
}

void DisposeRgn(RgnHandle rgn) { delete rgn; }

void DrawString(const unsigned char* s) {
    if (!s) return;
    GrafPortRec* port = qd::CurrentPort();
    const Painter paint = PenPainter();
    int32_t x = port->pnLoc.h;
    const int32_t top = port->pnLoc.v - cCharHeight;  // glyphs stand on the baseline
    for (int i = 1; i <= s[0]; i++, x += cCharAdvance) {
        const unsigned char ch = s[i];
        const uint8_t* glyph = cFont[(ch >= 32 && ch < 127) ? ch - 32 : '?' - 32];
        for (int col = 0; col < 5; col++)
            for (int row = 0; row < cCharHeight; row++)
                if (glyph[col] & (1 << row)) paint(top + row, x + col, x + col + 1);
    }
    port->pnLoc.h = int16_t(std::clamp<int32_t>(x, -32768, 32767));
}

int16_t StringWidth(const unsigned char* s) { return s ? int16_t(s[0] * cCharAdvance) : 0; }
