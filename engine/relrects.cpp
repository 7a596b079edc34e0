#include "engine/relrects.h"

#include "platform/Numerics.h"

namespace {
// frame edge + trunc(size x fraction), saturated to 16 bits.
int16_t Place(int16_t origin, int16_t size, double fraction) {
    return TruncS(double(origin) + double(TruncL(size * fraction)));
}
// An empty frame has no fractions: everything maps to 0 rather than to infinities.
double Fraction(int32_t value, int16_t size) { return size == 0 ? 0.0 : double(value) / double(size); }
}  // namespace

void InitRelRect(RelRect& TheRel) { TheRel = RelRect{0.0, 1.0, 0.0, 1.0}; }

Rect Rel2Rect(RelRect TheRel, Rect TheFrame) {
    const int16_t wid = int16_t(TheFrame.right - TheFrame.left), hig = int16_t(TheFrame.bottom - TheFrame.top);
    Rect r;
    r.left = Place(TheFrame.left, wid, TheRel.Left);
    r.right = Place(TheFrame.left, wid, TheRel.Right);
    r.top = Place(TheFrame.top, hig, TheRel.Top);
    r.bottom = Place(TheFrame.top, hig, TheRel.Bottom);
    return r;
}

RelRect Rect2Rel(Rect TheRect, Rect TheFrame) {
    const int16_t wid = int16_t(TheFrame.right - TheFrame.left), hig = int16_t(TheFrame.bottom - TheFrame.top);
    RelRect rel;
    rel.Left = Fraction(TheRect.left - TheFrame.left, wid);
    rel.Right = Fraction(TheRect.right - TheFrame.left, wid);
    rel.Top = Fraction(TheRect.top - TheFrame.top, hig);
    rel.Bottom = Fraction(TheRect.bottom - TheFrame.top, hig);
    return rel;
}

RelRect SetRelRect(double Left, double Top, double Right, double Bottom) {
    return RelRect{Left, Right, Top, Bottom};
}

Point Rel2Point(RelPoint TheRel, Rect TheFrame) {
    const int16_t wid = int16_t(TheFrame.right - TheFrame.left), hig = int16_t(TheFrame.bottom - TheFrame.top);
    return Point{Place(TheFrame.top, hig, TheRel.Vert), Place(TheFrame.left, wid, TheRel.Horiz)};
}

RelPoint Point2Rel(Point ThePoint, Rect TheFrame) {
    const int16_t wid = int16_t(TheFrame.right - TheFrame.left), hig = int16_t(TheFrame.bottom - TheFrame.top);
    return RelPoint{Fraction(ThePoint.h - TheFrame.left, wid), Fraction(ThePoint.v - TheFrame.top, hig)};
}

RelRect CalcTweenRel(int32_t StartFrameNum, int32_t EndFrameNum, int32_t CurrFrameNum, RelRect SourceRel,
                     RelRect TargetRel) {
    if (CurrFrameNum < StartFrameNum) return SourceRel;
    if (CurrFrameNum > EndFrameNum) return TargetRel;
    const double t = double(CurrFrameNum) - StartFrameNum, n = double(EndFrameNum) - StartFrameNum;
    if (n == 0) return TargetRel;  // a zero span is already at its end
    auto tween = [&](double s, double e) { return s + (t * (e - s)) / n; };
    return RelRect{tween(SourceRel.Left, TargetRel.Left), tween(SourceRel.Right, TargetRel.Right),
                   tween(SourceRel.Top, TargetRel.Top), tween(SourceRel.Bottom, TargetRel.Bottom)};
}
