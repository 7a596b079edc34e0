#include "dialog/dlgUtils.h"

#include "dialog/carbonmacros.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"

namespace {
constexpr RGBColor cBlack = {0, 0, 0};
constexpr RGBColor cWhite = {65535, 65535, 65535};

// The four corners in handle order.
Point Corner(const Rect& r, int16_t handle) {
    switch (handle) {
        case cTopLeft: return Point{r.top, r.left};
        case cTopRight: return Point{r.top, r.right};
        case cBottomLeft: return Point{r.bottom, r.left};
        default: return Point{r.bottom, r.right};
    }
}

Rect HandleSquare(Point corner) {
    Rect square;
    SetRect(&square, corner.h, corner.v, corner.h, corner.v);
    InsetRect(&square, -cHandleSize, -cHandleSize);
    return square;
}
}  // namespace

RelRect GetCurrentRel() { return gConfigWorkSpace.TheConfig->StartRel; }
void PutCurrentRel(RelRect TheRel) { gConfigWorkSpace.TheConfig->StartRel = TheRel; }

Rect GetActiveRelAsRect(GrafPtr TheGW) {
    if (!TheGW) return Rect{0, 0, 0, 0};
    return Rel2Rect(GetCurrentRel(), GetPortRect(TheGW));
}

int16_t IsHandleHit(Rect TheRect, Point TheLoc) {
    for (int16_t handle = cTopLeft; handle <= cBottomRight; handle++) {
        const Rect square = HandleSquare(Corner(TheRect, handle));
        if (PtInRect(TheLoc, &square)) return handle;
    }
    return PtInRect(TheLoc, &TheRect) ? cInsideRect : cNoHandle;
}

void DrawHandles(Rect TheRect, RGBColor TheColor) {
    PenMode(1);  // the pen's own colour wherever it draws
    for (int16_t handle = cTopLeft; handle <= cBottomRight; handle++) {
        Rect ring = HandleSquare(Corner(TheRect, handle));
        for (const RGBColor& color : {cBlack, TheColor, cBlack}) {
            RGBForeColor(&color);
            FrameOval(&ring);
            InsetRect(&ring, 1, 1);
        }
    }
    PenMode(patCopy);
    RGBForeColor(&cBlack);
}

void DrawFrameContents(WindowRef TheWindow, Rect DestRect) {
    const PluginWorkSpace& ws = gConfigWorkSpace;
    CGrafPtr port = GetWindowPort(TheWindow);
    if (!port || !ws.TheFXClip) return;
    RGBBackColor(&cWhite);
    RGBForeColor(&cBlack);
    const Rect source = GetPortRect(ws.TheFXClip);
    CopyBits(GetPortBitMapForCopyBits(ws.TheFXClip), GetPortBitMapForCopyBits(port), &source, &DestRect, srcCopy,
             nullptr);
    const Rect portBounds = GetPortRect(port);
    ClipRect(&DestRect);
    RGBForeColor(&ws.TheConfig->FrameStartColor);
    const Rect frame = Rel2Rect(ws.TheConfig->StartRel, DestRect);
    FrameRect(&frame);
    if (ws.ActiveRel == 1) DrawHandles(frame, ws.TheConfig->FrameStartColor);
    ClipRect(&portBounds);
    RGBForeColor(&cBlack);
    FrameRect(&DestRect);
}

void DragRect(Rect& TheRect, Point OldLoc, Point NewLoc, uint32_t) {
    OffsetRect(&TheRect, int16_t(NewLoc.h - OldLoc.h), int16_t(NewLoc.v - OldLoc.v));
}

void DragCorner(int16_t TheHandle, Rect& TheRect, Point OldLoc, Point NewLoc, uint32_t Modifiers, Rect TheFrame,
                RelRect OrigRel) {
    if (TheHandle < cTopLeft || TheHandle > cBottomRight) return;
    Point var = Corner(TheRect, TheHandle);
    Point fix = Corner(TheRect, int16_t(cTopLeft + cBottomRight - TheHandle));  // the opposite corner
    const int16_t dx = int16_t(NewLoc.h - OldLoc.h), dy = int16_t(NewLoc.v - OldLoc.v);
    var.h = int16_t(var.h + dx), var.v = int16_t(var.v + dy);
    if (Modifiers & optionKey) fix.h = int16_t(fix.h - dx), fix.v = int16_t(fix.v - dy);
    Pt2Rect(var, fix, &TheRect);
    if (Modifiers & shiftKey) {
        const Rect prop = Rel2Rect(OrigRel, TheFrame);
        int32_t w, h;
        GetDims(prop, w, h);
        TheRect = w > h ? KeepPropsWithFixedHorizontal(prop, TheRect) : KeepPropsWithFixedVertical(prop, TheRect);
    }
    KeepImageProps(TheRect);
    // A corner dropped onto the opposite one would leave no area for the tiles: keep one pixel.
    if (TheRect.right <= TheRect.left) TheRect.right = int16_t(TheRect.left + 1);
    if (TheRect.bottom <= TheRect.top) TheRect.bottom = int16_t(TheRect.top + 1);
}

void KeepImageProps(Rect& TheRect) {
    if (!gConfigWorkSpace.TheConfig->KeepProps) return;
    int32_t wid, hig;
    GetDims(GetControlBox(gConfigWorkSpace.TheFrameCtrl), wid, hig);
    Rect prop;
    SetRect(&prop, 0, 0, int16_t(wid), int16_t(hig));
    TheRect = wid > hig ? KeepPropsWithFixedHorizontal(prop, TheRect) : KeepPropsWithFixedVertical(prop, TheRect);
}

void CalcAndKeepImageProps() {
    // Without the lock the stored fractions stay exactly as they are (no trip through pixels).
    if (!gConfigWorkSpace.TheConfig->KeepProps) return;
    const Rect frame = GetControlBox(gConfigWorkSpace.TheFrameCtrl);
    Rect rect = Rel2Rect(GetCurrentRel(), frame);
    KeepImageProps(rect);
    PutCurrentRel(Rect2Rel(rect, frame));
}
