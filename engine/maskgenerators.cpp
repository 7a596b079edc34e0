#include "engine/maskgenerators.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/commonprocs.h"
#include "imaging/rows.h"
#include "platform/Numerics.h"
#include "platform/ParallelRows.h"

namespace {
// --- Alpha from a mask ---
inline uint8_t PremulChannel(uint8_t c, uint32_t a) { return uint8_t((uint32_t(c) * a) / 255); }

uint8_t LowByte(int32_t v) { return uint8_t(uint32_t(v) & 0xFF); }

struct AlphaRule {
    int16_t AlphaMode;
    bool Invert;
    int16_t Trigger, Left, Right, Min, Max;
    double DFactor;
};

uint8_t AlphaOf(const PixRec& S, const AlphaRule& r) {
    const int32_t M = (S.RED + S.GREEN + S.BLUE) / 3;
    uint8_t A;
    switch (r.AlphaMode) {
        case 0: A = uint8_t(M); break;
        case 2: A = S.GREEN; break;
        case 3: A = S.BLUE; break;
        case 4: A = M >= r.Trigger ? LowByte(r.Right) : LowByte(r.Left); break;
        case 5:
        case 6:
            A = M < r.Min ? LowByte(r.Min) : M > r.Max ? LowByte(r.Max)
                                                       : uint8_t(M);
            if (r.AlphaMode == 6) A = LowByte(TruncL((int32_t(A) - r.Left) * r.DFactor));
            break;
        case 7: A = S.ALPHA; break;
        default: A = S.RED; break;  // 1 and every undefined mode
    }
    return r.Invert ? uint8_t(255 - A) : A;
}

void SetAlpha(PixRec& D, uint8_t A, bool Premultiply) {
    D.ALPHA = A;
    if (!Premultiply || A == 255) return;
    if (A == 0) {
        D.RED = D.GREEN = D.BLUE = 0;
        return;
    }
    D.RED = PremulChannel(D.RED, A);
    D.GREEN = PremulChannel(D.GREEN, A);
    D.BLUE = PremulChannel(D.BLUE, A);
}

// The columns of row y that lie inside r, as [l, rr) within 0..wid; empty when the row misses r.
void RowSpan(const Rect& r, int32_t y, int32_t wid, int32_t& l, int32_t& rr) {
    if (y < r.top || y >= r.bottom) {
        l = rr = 0;
        return;
    }
    l = std::clamp<int32_t>(r.left, 0, wid);
    rr = std::clamp<int32_t>(r.right, 0, wid);
    if (rr < l) rr = l;
}

// --- Painting helpers for the generators ---
struct SavedPort {
    CGrafPtr port;
    GDHandle device;
};
SavedPort Enter(GWorldPtr TheGW) {
    SavedPort s;
    GetGWorld(&s.port, &s.device);
    SetGWorld(TheGW, nullptr);
    return s;
}
void Leave(const SavedPort& s) { SetGWorld(s.port, s.device); }

// Sets the foreground to grey v; levels outside 0..255 are held to that range.
void Grey(int32_t v) {
    const uint16_t c = uint16_t(std::clamp<int32_t>(v, 0, 255) * 256);
    const RGBColor rgb{c, c, c};
    RGBForeColor(&rgb);
}
int16_t S16(int64_t v) { return int16_t(std::clamp<int64_t>(v, -32768, 32767)); }
Rect MakeRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return Rect{S16(top), S16(left), S16(bottom), S16(right)};
}
void PaintAll(const Rect& frame, int32_t grey) {
    Grey(grey);
    PaintRect(&frame);
}

// One linear ramp along x (horizontal) or y: Steps + 1 bands from edge + Pos + n to the far end.
void Ramp(bool horizontal, const Rect& area, int32_t Extent, int16_t Thickness, int16_t StartPos, int32_t StartVal,
          int32_t EndVal, int32_t offset) {
    const int32_t Steps = std::max(1, TruncL(Extent * double(Thickness) / 255.0));
    const int32_t Pos = TruncL(Extent * double(StartPos) / 255.0) - Steps / 2;
    const double AlphaStep = double(EndVal - StartVal) / Steps;
    const int32_t edge = horizontal ? area.right : area.bottom;
    for (int32_t n = 0; n <= Steps; n++) {
        const int64_t from = int64_t(horizontal ? area.left : area.top) + offset + Pos + n;
        if (from >= edge) break;  // later bands would be empty
        Grey(TruncL(n * AlphaStep + StartVal));
        const Rect r = horizontal ? MakeRect(from, area.top, area.right, area.bottom)
                                  : MakeRect(area.left, from, area.right, area.bottom);
        PaintRect(&r);
    }
}
// The grey the last band of a ramp gets.
int32_t LastGrey(int32_t Extent, int16_t Thickness, int32_t StartVal, int32_t EndVal) {
    const int32_t Steps = std::max(1, TruncL(Extent * double(Thickness) / 255.0));
    return TruncL(Steps * (double(EndVal - StartVal) / Steps) + StartVal);
}

// The pattern the grey ramps share: TheGW current, the values swapped when inverted, the whole
// port painted in the start grey; Shapes(frame, Wid, Hig, StartVal, EndVal) paints the rest.
template <class ShapesFn>
void Generate(GWorldPtr TheGW, Boolean Invert, int16_t StartVal, int16_t EndVal, ShapesFn Shapes) {
    if (!TheGW) return;
    const SavedPort saved = Enter(TheGW);
    if (Invert) SwapInt(StartVal, EndVal);
    const Rect frame = GetPortRect(TheGW);
    int32_t Wid, Hig;
    GetDims(frame, Wid, Hig);
    PaintAll(frame, StartVal);
    Shapes(frame, Wid, Hig, StartVal, EndVal);
    Leave(saved);
}

void SingleFade(bool horizontal, int16_t Thickness, int16_t StartPos, int16_t StartVal, int16_t EndVal,
                Boolean Invert, GWorldPtr TheGW) {
    Generate(TheGW, Invert, StartVal, EndVal,
             [&](const Rect& frame, int32_t Wid, int32_t Hig, int16_t StartVal, int16_t EndVal) {
        Ramp(horizontal, frame, horizontal ? Wid : Hig, Thickness, StartPos, StartVal, EndVal, 0);
    });
}

void DoubleFade(bool horizontal, int16_t ThicknessL, int16_t StartPosL, int16_t ThicknessR, int16_t StartPosR,
                int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    // The second half ramps from the given EndVal back to StartVal whether inverted or not: only the
    // first half follows Invert.
    const int16_t SecondFrom = EndVal, SecondTo = StartVal;
    Generate(TheGW, Invert, StartVal, EndVal,
             [&](const Rect& frame, int32_t Wid, int32_t Hig, int16_t StartVal, int16_t EndVal) {
        const int32_t H2 = (horizontal ? Wid : Hig) / 2;
        // First half: the ramp confined to it.
        Rect half = frame;
        if (horizontal)
            half.right = S16(int64_t(frame.left) + H2);
        else
            half.bottom = S16(int64_t(frame.top) + H2);
        Ramp(horizontal, half, H2, ThicknessL, StartPosL, StartVal, EndVal, 0);
        // Second half in the first half's last grey, then its own ramp from one past the middle.
        const int32_t mid = LastGrey(H2, ThicknessL, StartVal, EndVal);
        Rect rest = frame;
        if (horizontal)
            rest.left = S16(int64_t(frame.left) + H2);
        else
            rest.top = S16(int64_t(frame.top) + H2);
        PaintAll(rest, mid);
        Ramp(horizontal, frame, H2, ThicknessR, StartPosR, SecondFrom, SecondTo, 1 + H2);
    });
}

void RectOrOval(bool oval, int16_t Thickness, int16_t HStart, int16_t VStart, int16_t HSize, int16_t VSize,
                int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    Generate(TheGW, Invert, StartVal, EndVal,
             [&](const Rect& frame, int32_t Wid, int32_t Hig, int16_t StartVal, int16_t EndVal) {
        const int32_t Steps = std::max(1, TruncL(((Wid + Hig) / 2) * double(Thickness) / 512.0));
        const double AlphaStep = double(EndVal - StartVal) / Steps;
        const int64_t CX = TruncL(HStart / 255.0 * Wid + frame.left), CY = TruncL(VStart / 255.0 * Hig + frame.top);
        const int64_t HS = TruncL(HSize / 512.0 * Wid), VS = TruncL(VSize / 512.0 * Hig);
        for (int32_t n = 0; n <= Steps; n++) {
            Grey(TruncL(n * AlphaStep + StartVal));
            const int64_t dh = HS + Steps - n, dv = VS + Steps - n;
            const Rect r = MakeRect(CX - dh, CY - dv, CX + dh, CY + dv);
            if (oval)
                PaintOval(&r);
            else
                PaintRect(&r);
        }
    });
}

void SlideFade(bool horizontal, int16_t Thickness, int16_t StartPos, int16_t EndPos, int16_t StartVal,
               int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    Generate(TheGW, Invert, StartVal, EndVal,
             [&](const Rect& frame, int32_t Wid, int32_t Hig, int16_t StartVal, int16_t EndVal) {
        const int32_t Extent = horizontal ? Wid : Hig;
        const int32_t Steps = std::max(1, TruncL(Extent * double(Thickness) / 255.0));
        const double AlphaStep = double(EndVal - StartVal) / Steps;
        const int16_t S = TruncS(2.0 * Extent * StartPos / 255.0 - Extent / 2);
        const int16_t E = TruncS(2.0 * Extent * EndPos / 255.0 - Extent / 2);
        RgnHandle rgn = NewRgn();
        Assert(rgn, horizontal ? "NIL Region on Mask creation for L/R" : "NIL Region on Mask creation for T/B");
        OpenRgn();
        if (horizontal) {
            const int16_t far = S16(int64_t(frame.right) + Wid / 2);
            MoveTo(S, frame.top);
            LineTo(far, frame.top);
            LineTo(far, frame.bottom);
            LineTo(E, frame.bottom);
            LineTo(S, frame.top);
        } else {
            const int16_t far = S16(int64_t(frame.bottom) + Hig / 2);
            MoveTo(frame.left, S);
            LineTo(frame.left, far);
            LineTo(frame.right, far);
            LineTo(frame.right, E);
            LineTo(frame.left, S);
        }
        CloseRgn(rgn);
        // The region's near edge runs from S (first row) to E (last row) and moves one pixel a step;
        // once its nearer end has reached the far side of the buffer, later steps paint nothing.
        const int64_t farSide = horizontal ? frame.right : frame.bottom;
        const int64_t nearEnd = std::min(S, E);
        for (int32_t n = 0; n <= Steps && nearEnd + n < farSide; n++) {
            Grey(TruncL(n * AlphaStep + StartVal));
            PaintRgn(rgn);
            OffsetRgn(rgn, horizontal ? 1 : 0, horizontal ? 0 : 1);
        }
        DisposeRgn(rgn);
    });
}
}  // namespace

namespace {
// The walk GW2Alpha and Alpha2GW share: a nil Dest means Source itself; buffers of different
// sizes are left alone; outside ActiveRect, CopyRest copies the source pixel; Row(S, D, l, r)
// computes the pixels [l, r) inside it. Both pixel states are put back.
template <class RowFn>
void WalkSourceIntoDest(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, Boolean CopyRest, RowFn Row) {
    if (!Dest) Dest = Source;
    if (!Source) return;
    Ptr sBase, dBase;
    int32_t sRow, dRow;
    Rect sFrame, dFrame;
    GWorldFlags sFlags, dFlags;
    GetPixInfoFromGWorld(Source, sBase, sRow, sFrame, sFlags);
    GetPixInfoFromGWorld(Dest, dBase, dRow, dFrame, dFlags);
    if (sFrame.right == dFrame.right && sFrame.bottom == dFrame.bottom) {
        const int32_t wid = std::max<int32_t>(0, sFrame.right), hig = std::max<int32_t>(0, sFrame.bottom);
        ParallelRows(hig, wid, [&](int32_t first, int32_t last) {
            for (int32_t y = first; y < last; y++) {
                const PixRec* S = PixRow(sBase, sRow, y);
                PixRec* D = PixRow(dBase, dRow, y);
                int32_t l, r;
                RowSpan(ActiveRect, y, wid, l, r);
                if (CopyRest && S != D) {
                    std::memcpy(D, S, size_t(l) * 4);
                    std::memcpy(D + r, S + r, size_t(wid - r) * 4);
                }
                Row(S, D, l, r);
            }
        });
    }
    SetPixelsState(GetGWorldPixMap(Dest), dFlags);
    SetPixelsState(GetGWorldPixMap(Source), sFlags);
}
}  // namespace

void GW2Alpha(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, int16_t AlphaMode, Boolean Invert,
              Boolean CopyRest, Boolean Premultiply, int16_t Trigger, int16_t Left, int16_t Right, int16_t Min,
              int16_t Max, int16_t /*Scale*/) {
    int32_t Delta = std::abs(int32_t(Max) - int32_t(Min));
    if (Delta == 0) Delta = 1;
    const AlphaRule rule{AlphaMode, Invert != 0, Trigger, Left, Right, Min, Max, 255.0 / Delta};
    // Modes that take the red channel as it is run through the row loop.
    const bool fromRed = AlphaMode == 1 || AlphaMode < 0 || AlphaMode > 7;
    const RowKernels& rows = Rows();
    WalkSourceIntoDest(Source, Dest, ActiveRect, CopyRest, [&](const PixRec* S, PixRec* D, int32_t l, int32_t r) {
        if (fromRed) {
            rows.AlphaFromRed(PixBytes(S + l), PixBytes(D + l), PixBytes(D + l), r - l, Invert != 0, Premultiply != 0,
                              AlphaByte::First);
            return;
        }
        for (int32_t x = l; x < r; x++) SetAlpha(D[x], AlphaOf(S[x], rule), Premultiply != 0);
    });
}

void GW2AlphaOnCopy(GWorldPtr Mask, GWorldPtr Colour, GWorldPtr Dest, Rect ActiveRect, Boolean Invert,
                    Boolean CopyRest, Boolean Premultiply) {
    if (!Mask || !Colour || !Dest) return;
    Ptr mBase, cBase, dBase;
    int32_t mRow, cRow, dRow;
    Rect mFrame, cFrame, dFrame;
    GWorldFlags mFlags, cFlags, dFlags;
    GetPixInfoFromGWorld(Mask, mBase, mRow, mFrame, mFlags);
    GetPixInfoFromGWorld(Colour, cBase, cRow, cFrame, cFlags);
    GetPixInfoFromGWorld(Dest, dBase, dRow, dFrame, dFlags);
    if (cFrame == dFrame && Colour != Dest) {
        const bool sameSize = mFrame.right == dFrame.right && mFrame.bottom == dFrame.bottom;
        const int32_t wid = std::max<int32_t>(0, dFrame.right), hig = std::max<int32_t>(0, dFrame.bottom);
        const RowKernels& rows = Rows();
        ParallelRows(hig, wid, [&](int32_t first, int32_t last) {
            for (int32_t y = first; y < last; y++) {
                const PixRec* M = PixRow(mBase, mRow, y);
                const PixRec* C = PixRow(cBase, cRow, y);
                PixRec* D = PixRow(dBase, dRow, y);
                if (!sameSize) {
                    std::memcpy(D, C, size_t(wid) * 4);
                    continue;
                }
                int32_t l, r;
                RowSpan(ActiveRect, y, wid, l, r);
                // Outside the active area the layer ends as the mask (copy-rest) or as the copy.
                const PixRec* rest = CopyRest ? M : C;
                std::memcpy(D, rest, size_t(l) * 4);
                std::memcpy(D + r, rest + r, size_t(wid - r) * 4);
                rows.AlphaFromRed(PixBytes(M + l), PixBytes(C + l), PixBytes(D + l), r - l, Invert != 0, Premultiply != 0,
                                  AlphaByte::First);
            }
        });
    } else {
        Source2Target(Colour, Dest);
        GW2Alpha(Mask, Dest, ActiveRect, 1, Invert, CopyRest, Premultiply, 0, 0, 0, 0, 0, 0);
    }
    SetPixelsState(GetGWorldPixMap(Dest), dFlags);
    SetPixelsState(GetGWorldPixMap(Colour), cFlags);
    SetPixelsState(GetGWorldPixMap(Mask), mFlags);
}

void Alpha2GW(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, Boolean ToR, Boolean ToG, Boolean ToB,
              Boolean Invert, Boolean CopyRest) {
    WalkSourceIntoDest(Source, Dest, ActiveRect, CopyRest, [&](const PixRec* S, PixRec* D, int32_t l, int32_t r) {
        for (int32_t x = l; x < r; x++) {
            const uint8_t A = Invert ? uint8_t(255 - S[x].ALPHA) : S[x].ALPHA;
            D[x] = PixRec{0, ToR ? A : uint8_t(0), ToG ? A : uint8_t(0), ToB ? A : uint8_t(0)};
        }
    });
}

void SetupLRFade(int16_t Thickness, int16_t StartPos, int16_t StartVal, int16_t EndVal, Boolean Invert,
                 GWorldPtr TheGW) {
    SingleFade(true, Thickness, StartPos, StartVal, EndVal, Invert, TheGW);
}
void SetupUDFade(int16_t Thickness, int16_t StartPos, int16_t StartVal, int16_t EndVal, Boolean Invert,
                 GWorldPtr TheGW) {
    SingleFade(false, Thickness, StartPos, StartVal, EndVal, Invert, TheGW);
}
void SetupDoubleLRFade(int16_t ThicknessL, int16_t StartPosL, int16_t ThicknessR, int16_t StartPosR,
                       int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    DoubleFade(true, ThicknessL, StartPosL, ThicknessR, StartPosR, StartVal, EndVal, Invert, TheGW);
}
void SetupDoubleUDFade(int16_t ThicknessL, int16_t StartPosL, int16_t ThicknessR, int16_t StartPosR,
                       int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    DoubleFade(false, ThicknessL, StartPosL, ThicknessR, StartPosR, StartVal, EndVal, Invert, TheGW);
}
void SetupRectFade(int16_t Thickness, int16_t HStart, int16_t VStart, int16_t HSize, int16_t VSize,
                   int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    RectOrOval(false, Thickness, HStart, VStart, HSize, VSize, StartVal, EndVal, Invert, TheGW);
}
void SetupOvalFade(int16_t Thickness, int16_t HStart, int16_t VStart, int16_t HSize, int16_t VSize,
                   int16_t StartVal, int16_t EndVal, Boolean Invert, GWorldPtr TheGW) {
    RectOrOval(true, Thickness, HStart, VStart, HSize, VSize, StartVal, EndVal, Invert, TheGW);
}

void SetupArcFade(int16_t Thickness, int16_t AStart, int16_t ASize, int16_t AMin, int16_t AMax, int16_t PieSize,
                  Boolean Invert, GWorldPtr TheGW) {
    if (!TheGW) return;
    const SavedPort saved = Enter(TheGW);
    const Rect frame = GetPortRect(TheGW);
    int32_t Wid, Hig;
    GetDims(frame, Wid, Hig);
    PaintAll(frame, 0);  // the background is black whatever AMin says
    const double Steps = std::max(1.0, Thickness / 255.0 * 90.0);
    Rect pie = MakeRect(0, 0, TruncL(PieSize / 255.0 * 2.0 * Wid), TruncL(PieSize / 255.0 * 2.0 * Hig));
    CenterRectInRect(pie, frame);
    const int32_t StartRot = TruncL(AStart / 255.0 * 360.0);
    int32_t EndRot = TruncL(ASize / 255.0 * 180.0);
    if (Invert) EndRot -= 360;
    const double AlphaStep = (AMax - AMin) / Steps;
    const int32_t last = TruncL(Steps);
    for (int32_t n = 0; n <= last; n++) {
        Grey(TruncL(n * AlphaStep + AMin));
        if (EndRot > 0)
            PaintArc(&pie, TruncS(StartRot - Steps + n), TruncS(2 * Steps + EndRot - 2.0 * n));
        else
            PaintArc(&pie, TruncS(StartRot + Steps - n), TruncS(EndRot - 2 * Steps + 2.0 * n));
    }
    Leave(saved);
}

void SetupLRSlideFade(int16_t Thickness, int16_t StartPos, int16_t EndPos, int16_t StartVal, int16_t EndVal,
                      Boolean Invert, GWorldPtr TheGW) {
    SlideFade(true, Thickness, StartPos, EndPos, StartVal, EndVal, Invert, TheGW);
}
void SetupTBSlideFade(int16_t Thickness, int16_t StartPos, int16_t EndPos, int16_t StartVal, int16_t EndVal,
                      Boolean Invert, GWorldPtr TheGW) {
    SlideFade(false, Thickness, StartPos, EndPos, StartVal, EndVal, Invert, TheGW);
}
