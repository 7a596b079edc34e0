#include "engine/recthandler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "engine/fixedrandom.h"
#include "imaging/commonprocs.h"
#include "platform/Numerics.h"

namespace {
int16_t ClampGrid(int16_t v, int16_t limit) { return std::clamp<int16_t>(v, 1, limit); }

// Units of the methods 3..27, computed once per layout from W, H and the reduced MaxFrame.
struct Units {
    double TimePerX, TimePerY, RTime, DTime, MDist;
    int16_t CX, CY, W, H;
};

enum UnitKind { uTimePerX,
                uTimePerY,
                uRTime,
                uDTime,
                u2TimePerX,
                u2TimePerY,
                u2DTime };

double UnitValue(UnitKind kind, const Units& u) {
    switch (kind) {
        case uTimePerX: return u.TimePerX;
        case uTimePerY: return u.TimePerY;
        case uRTime: return u.RTime;
        case uDTime: return u.DTime;
        case u2TimePerX: return 2 * u.TimePerX;
        case u2TimePerY: return 2 * u.TimePerY;
        case u2DTime: return 2 * u.DTime;
    }
    return 0;
}

using KeyFn = double (*)(int x, int y, const Units& u);

double Dist(int x, int y, const Units& u) { return std::sqrt(double(x - u.CX) * (x - u.CX) + double(y - u.CY) * (y - u.CY)); }

// Methods 3..27: StartFrame = trunc(K x U + r1 x U); key K in tile units, unit U in frames.
struct KeyedMethod {
    int16_t Method;
    KeyFn Key;
    UnitKind Unit;
};
constexpr KeyedMethod cKeyedMethods[] = {
    {3, [](int x, int, const Units&) { return double(x - 1); }, uTimePerX},                    // columns left to right
    {4, [](int x, int, const Units& u) { return double(u.W - x); }, uTimePerX},                // columns right to left
    {5, [](int, int y, const Units&) { return double(y - 1); }, uTimePerY},                    // rows top to bottom
    {6, [](int, int y, const Units& u) { return double(u.H - y); }, uTimePerY},                // rows bottom to top
    {7, [](int x, int y, const Units& u) { return Dist(x, y, u); }, uRTime},                   // circle growing
    {8, [](int x, int y, const Units& u) { return u.MDist - Dist(x, y, u); }, uRTime},         // circle closing
    {9, [](int x, int y, const Units&) { return double(x + y); }, uDTime},                     // diagonal from top-left
    {10, [](int x, int y, const Units& u) { return double(u.H + x - y); }, uDTime},            // from bottom-left
    {11, [](int x, int y, const Units& u) { return double(u.W - x + y); }, uDTime},            // from top-right
    {12, [](int x, int y, const Units& u) { return double((u.W - x) + (u.H - y)); }, uDTime},  // bottom-right
    {13, [](int x, int, const Units& u) { return double(std::abs(u.CX - x)); }, u2TimePerX},
    {14, [](int x, int, const Units& u) { return double(u.CX - std::abs(u.CX - x)); }, u2TimePerX},
    {15, [](int, int y, const Units& u) { return double(std::abs(u.CY - y)); }, u2TimePerY},
    {16, [](int, int y, const Units& u) { return double(u.CY - std::abs(u.CY - y)); }, u2TimePerY},
    {17, [](int x, int y, const Units& u) { return double(std::abs(u.CX - x) + std::abs(u.CY - y)); }, u2DTime},
    {18, [](int x, int y, const Units& u) {
         return double((u.CX - std::abs(u.CX - x)) + (u.CY - std::abs(u.CY - y)));
     },
     u2DTime},
    {19, [](int x, int y, const Units& u) { return double((u.CX - std::abs(u.CX - x)) + std::abs(u.CY - y)); }, u2DTime},
    {20, [](int x, int y, const Units& u) { return double(std::abs(u.CX - x) + (u.CY - std::abs(u.CY - y))); }, u2DTime},
    // Chevrons: keys may be negative, giving negative starts.
    {21, [](int x, int y, const Units& u) { return double(x + std::abs(u.CY - y) - u.CY); }, uTimePerX},
    {22, [](int x, int y, const Units& u) { return double(std::abs(2 * u.CX - x) + std::abs(u.CY - y) - u.CY); }, uTimePerX},
    {23, [](int x, int y, const Units& u) { return double(y + std::abs(u.CX - x) - u.CX); }, uTimePerY},
    {24, [](int x, int y, const Units& u) { return double(std::abs(2 * u.CY - y) + std::abs(u.CX - x) - u.CX); }, uTimePerY},
    // Squares use TimePerY in both directions.
    {25, [](int x, int y, const Units& u) { return double(std::max(std::abs(u.CX - x), std::abs(u.CY - y))); }, u2TimePerY},
    {26, [](int x, int y, const Units& u) {
         return double(std::max(u.CX, u.CY) - std::max(std::abs(u.CX - x), std::abs(u.CY - y)));
     },
     u2TimePerY},
    {27, [](int x, int y, const Units& u) {
         return double(std::max(u.CX - std::abs(u.CX - x), u.CY - std::abs(u.CY - y)));
     },
     u2TimePerY},
};
static_assert(std::size(cKeyedMethods) == 25);

// Methods 30..41: sequence number i of tile (x, y) in a reading order; Mirror folds the second
// half back so both halves run at once towards the middle.
enum Mirror { mNone,
              mByRow,
              mByColumn };
using SeqFn = int32_t (*)(int x, int y, int W, int H);
struct SequenceMethod {
    int16_t Method;
    SeqFn Seq;
    Mirror Fold;
};
constexpr SequenceMethod cSequenceMethods[] = {
    {30, [](int x, int y, int W, int) { return (x - 1) + (y - 1) * W; }, mNone},    // rows, left to right
    {31, [](int x, int y, int, int H) { return (y - 1) + (x - 1) * H; }, mNone},    // columns, top to bottom
    {32, [](int x, int y, int W, int) { return W * y - x; }, mNone},                // rows, right to left
    {33, [](int x, int y, int W, int H) { return (y - 1) + (W - x) * H; }, mNone},  // columns right to left
    {34, [](int x, int y, int W, int H) { return (x - 1) + (H - y) * W; }, mNone},  // rows bottom to top
    {35, [](int x, int y, int, int H) { return (x - 1) * H + (H - y); }, mNone},    // columns, bottom to top
    {36, [](int x, int y, int W, int H) { return W * (H - y + 1) - x; }, mNone},
    {37, [](int x, int y, int W, int H) { return H * (W - x) + (H - y); }, mNone},
    {38, [](int x, int y, int W, int) { return (x - 1) + (y - 1) * W; }, mByRow},
    {39, [](int x, int y, int W, int) { return W * y - x; }, mByRow},
    {40, [](int x, int y, int, int H) { return (y - 1) + (x - 1) * H; }, mByColumn},
    {41, [](int x, int y, int, int H) { return (x - 1) * H + (H - y); }, mByColumn},
};
static_assert(std::size(cSequenceMethods) == 12 && cSequenceMethods[11].Method == cMethodCount);

int32_t DurationFor(int16_t Method, int32_t MaxFrame, int16_t W, int16_t H) {
    if (Method == 1 || Method == 2) return 0;
    if (Method >= 3 && Method <= 29) return MaxFrame / 2;
    if (Method >= 30 && Method <= 100) {
        const int32_t d = MaxFrame / std::max(W, H);
        return d < 9 ? TruncL(MaxFrame * 0.3) : d;
    }
    return 0;
}
}  // namespace

int16_t FieldColumns(const PluginDataRec& theConfig) { return ClampGrid(theConfig.Sliders[1], cMaxRectHoriz); }
int16_t FieldRows(const PluginDataRec& theConfig) { return ClampGrid(theConfig.Sliders[2], cMaxRectVert); }
bool IsKnownMethod(int16_t Method) { return Method >= 1 && Method <= cMethodCount; }

void SetupSpiral(int16_t XRes, int16_t YRes, RectFieldPtr TheRects, int16_t& MaxCount, PluginDataPtr) {
    if (XRes != YRes || XRes % 2 == 0 || !TheRects) return;
    if (XRes < 1 || XRes > cMaxRectHoriz) return;  // the field has no room beyond 100
    RectField& field = *TheRects;
    MaxCount = 0;
    const int CX = XRes / 2 + 1, CY = YRes / 2 + 1;
    auto number = [&](int x, int y) { field[x][y].StartFrame = MaxCount++; };
    number(CX, CY);
    for (int L = 1; L <= XRes / 2; L++) {
        for (int x = CX - L + 1; x <= CX + L; x++) number(x, CY + L);  // bottom row, rightwards
        for (int y = CY + L - 1; y >= CY - L; y--) number(CX + L, y);  // right column, upwards
        for (int x = CX + L - 1; x >= CX - L; x--) number(x, CY - L);  // top row, leftwards
        for (int y = CY - L + 1; y <= CY + L; y++) number(CX - L, y);  // left column, downwards
    }
}

void InitRectangles(PluginDataPtr theConfig, int32_t MaxFrame, Rect ActiveRect) {
    if (!theConfig || !theConfig->Rects) return;
    RectField& field = *theConfig->Rects;

    CGrafPtr port;
    GetGWorld(&port, nullptr);
    ClipRect(&ActiveRect);

    int16_t W = FieldColumns(*theConfig), H = FieldRows(*theConfig);
    // A negative share would make tiles end before they start: it counts as 0.
    const int16_t P = std::max<int16_t>(0, theConfig->Sliders[3]);
    const int16_t Method = theConfig->Method;
    const int32_t FullSpan = MaxFrame;

    // Overlap length by family, from the unreduced frame count, scaled by the duration share.
    int32_t Duration = DurationFor(Method, MaxFrame, W, H);
    const bool Randomize = theConfig->RandomizedDuration;
    Duration = TruncL(P / 100.0 * Duration);
    if (Duration > MaxFrame) Duration = MaxFrame / 2;
    Duration = std::max(0, Duration);                                       // a run of no frames has no overlap
    MaxFrame = TruncL(std::max(1.0, double(MaxFrame) - double(Duration)));  // span over which tiles start

    Units u;
    u.W = W;
    u.H = H;
    u.TimePerX = double(MaxFrame) / W;
    u.TimePerY = double(MaxFrame) / H;
    u.RTime = std::sqrt(u.TimePerX * u.TimePerX + u.TimePerY * u.TimePerY);
    u.DTime = double(MaxFrame) / (W + H);
    u.CX = int16_t(W / 2);
    u.CY = int16_t(H / 2);
    u.MDist = std::sqrt(double(u.CX) * u.CX + double(u.CY) * u.CY) + 2.0;

    int16_t GridCount = 1;
    if (Method == cSpiralOut || Method == cSpiralIn) {
        int16_t GridSize = std::max(W, H);
        if (GridSize % 2 == 0) GridSize++;
        if (GridSize > 100) GridSize = 99;
        theConfig->Sliders[1] = GridSize;
        theConfig->Sliders[2] = GridSize;
        SetupSpiral(GridSize, GridSize, theConfig->Rects, GridCount, theConfig);
        W = H = GridSize;
    }

    const KeyedMethod* keyed = nullptr;
    for (const KeyedMethod& m : cKeyedMethods)
        if (m.Method == Method) keyed = &m;
    const SequenceMethod* sequence = nullptr;
    for (const SequenceMethod& m : cSequenceMethods)
        if (m.Method == Method) sequence = &m;
    const double Unit = keyed ? UnitValue(keyed->Unit, u) : 0.0;
    const double N = double(W) * H;

    for (int y = 1; y <= H; y++) {
        for (int x = 1; x <= W; x++) {
            int32_t StartFrame, EndFrame;
            if (Method == 1) {
                StartFrame = TruncL(MaxFrame * FGetRandom());
                EndFrame = TruncL(double(StartFrame) + 1);
            } else if (Method == 2) {
                StartFrame = TruncL(MaxFrame * FGetRandom());
                const int32_t Delta = MaxFrame - StartFrame;
                double f = P / 100.0;
                if (Randomize) f *= FGetRandom();
                EndFrame = TruncL(double(StartFrame) + double(TruncL(f * Delta)));
            } else if (keyed) {
                const double r1 = FGetRandom();
                const double r2 = Randomize ? FGetRandom() : 1.0;
                StartFrame = TruncL(keyed->Key(x, y, u) * Unit + r1 * Unit);
                EndFrame = TruncL(double(StartFrame) + double(TruncL(Duration * r2)));
            } else if (IsKnownMethod(Method)) {  // 28..41
                const double r2 = Randomize ? FGetRandom() : 1.0;
                if (Method == cSpiralOut || Method == cSpiralIn) {
                    const double s = double(field[x][y].StartFrame) / GridCount;
                    StartFrame = Method == cSpiralOut ? TruncL(s * MaxFrame + Duration) : TruncL((1 - s) * MaxFrame);
                } else {
                    double s = double(sequence->Seq(x, y, W, H)) / N;
                    if (sequence->Fold == mByRow) {
                        if (y > H / 2) s = 1 - s;
                        s = 2 * s;
                    } else if (sequence->Fold == mByColumn) {
                        if (x > W / 2) s = 1 - s;
                        s = 2 * s;
                    }
                    StartFrame = TruncL(s * MaxFrame);
                }
                EndFrame = TruncL(StartFrame + Duration * r2);
            } else {
                // No ordering of its own: every tile fades over the whole transition, like a dissolve.
                StartFrame = 0;
                EndFrame = FullSpan;
            }
            field[x][y].StartFrame = StartFrame;
            field[x][y].EndFrame = EndFrame;
        }
    }

    const Rect portRect = GetPortRect(port);
    ClipRect(&portRect);
}
