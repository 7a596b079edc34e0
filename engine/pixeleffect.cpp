#include "engine/pixeleffect.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/maskgenerators.h"
#include "engine/pixeleffect_p.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"
#include "platform/CoreGraphics.h"
#include "platform/Numerics.h"
#include "platform/ParallelRows.h"

namespace {
// Mask and layer of the last frame size. A run renders every frame at one size, so keeping them
// spares two full-frame allocations (and their page faults) per frame.
GWorldPtr lgMaskGW = nullptr;
GWorldPtr lgLayerGW = nullptr;

GWorldPtr FrameBuffer(GWorldPtr& kept, Rect MyFrame) {
    if (kept && GetPortRect(kept) == MyFrame) return kept;
    DisposeGWorld(kept);
    kept = AllocateRectGWorld(MyFrame);
    return kept;
}

RGBColor GreyColor(uint8_t a) {
    const uint16_t c = uint16_t(a * 256);
    return RGBColor{c, c, c};
}

// Black over the mask where SetupAlpha will not paint: the same mask as clearing it all first,
// without writing the tile area twice.
void ClearAroundTiles(PluginDataPtr theConfig, Rect MyFrame) {
    GWorldPtr mask = theConfig->TheMask;
    Rect area;
    if (!theConfig->Rects || !TileArea(GridFor(*theConfig, MyFrame), MyFrame, area)) {
        ClearGW(mask, RGBColor{0, 0, 0});
        return;
    }
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(mask, nullptr);
    const RGBColor black{0, 0, 0};
    RGBForeColor(&black);
    const Rect around[4] = {
        {MyFrame.top, MyFrame.left, area.top, MyFrame.right},
        {area.bottom, MyFrame.left, MyFrame.bottom, MyFrame.right},
        {area.top, MyFrame.left, area.bottom, area.left},
        {area.top, area.right, area.bottom, MyFrame.right},
    };
    for (const Rect& r : around)
        if (r.left < r.right && r.top < r.bottom) PaintRect(&r);
    SetGWorld(savePort, saveDevice);
}

// --- Tile by tile ---
// A frame made without the mask and the layer. Per pixel the layered way gives
// over(premultiplied(picture, a), under), with the picture and what lies under it by Which:
//   1: the colour over Dest;  2: Dest over the colour;  3: Source (or a transparent black) over Dest.
// At a = 0 the layer pixel is all zeros and the source-over loop leaves the pixel under it as it
// is; at a = 255 it is the picture with alpha 255 and the loop puts it in unchanged. So only tiles
// in between need the two row loops; the others are left alone or copied.

// A stretch of one pixel row whose tiles share a state.
enum class RunKind : uint8_t { NotStarted,
                               Done,
                               Changing };  // a = 0, a = 255, 1..254
struct Run {
    int32_t l, r;
    RunKind kind;
};
inline void AddRun(std::vector<Run>& runs, int32_t l, int32_t r, RunKind kind) {
    if (l >= r) return;
    if (!runs.empty() && runs.back().kind == kind && runs.back().r == l)
        runs.back().r = r;
    else
        runs.push_back(Run{l, r, kind});
}

// The pixel PaintRect leaves for a colour: alpha 255, the high byte of each channel.
PixRec PaintedPixel(RGBColor c) {
    return PixRec{255, uint8_t(c.RED >> 8), uint8_t(c.GREEN >> 8), uint8_t(c.BLUE >> 8)};
}

struct TileFrame {
    const TileGrid* grid;
    const TileAlphas* alphas;
    Rect area;  // pixels inside the active area and the tiles; empty: every tile not started
    int32_t wid;
    int16_t Which;
    AlphaByte at;      // where the alpha lies in the pixels of all three buffers
    Ptr dBase, sBase;  // sBase null: the picture is the colour row
    Ptr uBase;         // what Which 3 draws over: dBase itself, or a buffer copied into Dest on the way
    int32_t dRow, sRow, uRow;
    const PixRec* colour;  // one row of the colour (Which 1, 2) or of transparent black (3 without Source)
};

// A stretch of fewer pixels than this between two changing ones is blended with them: the loops
// give its pixels their exact values too (see above), and one longer call costs less than two
// calls and what lies between.
constexpr int32_t cBridgedRun = 32;

// n pixels of grey a. Only the mask's red is read, so every byte is a: the same row in either
// pixel layout.
void FillGrey(PixRec* p, int32_t n, uint8_t a) { std::memset(p, a, size_t(n) * sizeof(PixRec)); }

// The runs of tile row y, and in line the grey of every pixel of its changing runs.
void TileRowRuns(const TileFrame& t, int32_t y, std::vector<Run>& runs, PixRec* line) {
    const TileGrid& g = *t.grid;
    runs.clear();
    AddRun(runs, 0, t.area.left, RunKind::NotStarted);
    for (int32_t x = 1; x <= g.W; x++) {
        const int32_t l = std::max<int32_t>(g.Left(x), t.area.left);
        const int32_t r = std::min<int32_t>(g.Right(x), t.area.right);
        if (l >= r) continue;
        const uint8_t a = (*t.alphas)[y - 1][x - 1];
        if (a != 0 && a != 255) FillGrey(line + l, r - l, a);
        AddRun(runs, l, r, a == 0 ? RunKind::NotStarted : a == 255 ? RunKind::Done
                                                                   : RunKind::Changing);
    }
    AddRun(runs, t.area.right, t.wid, RunKind::NotStarted);
    // Bridge short stretches between changing runs, merging the three into one.
    size_t kept = 0;
    for (size_t i = 0; i < runs.size(); i++) {
        Run run = runs[i];
        const bool bridged = kept > 0 && i + 1 < runs.size() && run.r - run.l < cBridgedRun &&
                             runs[kept - 1].kind == RunKind::Changing && runs[i + 1].kind == RunKind::Changing;
        if (bridged) {
            FillGrey(line + run.l, run.r - run.l, run.kind == RunKind::Done ? 255 : 0);
            run.kind = RunKind::Changing;
        }
        if (kept > 0 && run.kind == RunKind::Changing && runs[kept - 1].kind == RunKind::Changing)
            runs[kept - 1].r = run.r;
        else
            runs[kept++] = run;
    }
    runs.resize(kept);
}

// One pixel row: the layer's pixels are made run by run in tmp with the same loops as the layered
// way (the AlphaFromRed and Over row kernels), so the arithmetic is the same.
// Where something else lies under the picture (the colour for Which 2, a separate buffer for
// Which 3) it is copied in run by run; the picture is read before that, as Dest may be the Source.
void ComposeRow(const TileFrame& t, int32_t row, const std::vector<Run>& runs, const PixRec* line, PixRec* tmp) {
    PixRec* dst = PixRow(t.dBase, t.dRow, row);
    const bool colourUnder = t.Which == 2;
    const PixRec* picture = colourUnder ? dst : t.sBase ? PixRow(t.sBase, t.sRow, row)
                                                        : t.colour;
    const PixRec* under = colourUnder ? t.colour : t.uBase != t.dBase ? PixRow(t.uBase, t.uRow, row)
                                                                      : nullptr;
    const RowKernels& rows = Rows();
    for (const Run& run : runs) {
        const int32_t n = run.r - run.l;
        PixRec* d = dst + run.l;
        switch (run.kind) {
            case RunKind::NotStarted:
                if (under) std::memcpy(d, under + run.l, size_t(n) * sizeof(PixRec));
                break;
            case RunKind::Done:
                rows.OpaqueCopy(PixBytes(picture + run.l), PixBytes(d), n, t.at);
                break;
            case RunKind::Changing:
                rows.AlphaFromRed(PixBytes(line + run.l), PixBytes(picture + run.l), PixBytes(tmp), n, false, true, t.at);
                if (under) std::memcpy(d, under + run.l, size_t(n) * sizeof(PixRec));
                rows.Over(PixBytes(tmp), PixBytes(d), n, 255, t.at);
                break;
        }
    }
}

void ComposeRows(const TileFrame& t, int32_t first, int32_t last) {
    const TileGrid& g = *t.grid;
    std::vector<PixRec> line(size_t(t.wid)), tmp(size_t(t.wid));
    std::vector<Run> runs, outside;
    runs.reserve(size_t(g.W) + 2);
    AddRun(outside, 0, t.wid, RunKind::NotStarted);
    for (int32_t y = 1; y <= g.H; y++) {
        const int32_t top = std::max(g.Top(y), first), bottom = std::min(g.Bottom(y), last);
        if (top >= bottom) continue;
        const bool tilesHere = top < t.area.bottom && bottom > t.area.top && t.area.left < t.area.right;
        if (tilesHere) TileRowRuns(t, y, runs, line.data());
        for (int32_t row = top; row < bottom; row++) {
            const bool inside = tilesHere && row >= t.area.top && row < t.area.bottom;
            // Outside the tiles only what lies under changes anything: the colour or a copied buffer.
            if (inside || t.Which == 2 || t.uBase != t.dBase)
                ComposeRow(t, row, inside ? runs : outside, line.data(), tmp.data());
        }
    }
}

// Lays the grid and every tile's progress at CurrentFrame over MyFrame (at 0, 0) and composes all
// rows; t holds the buffers, Which and the layout.
void ComposeFrame(TileFrame& t, const PluginDataRec& cfg, Rect MyFrame, int32_t CurrentFrame) {
    const TileGrid g = GridFor(cfg, MyFrame);
    t.grid = &g;
    TileAlphas alphas;
    TileFrameAt(cfg, g, MyFrame, CurrentFrame, t.area, alphas);
    t.alphas = &alphas;
    t.wid = MyFrame.right;
    ParallelRows(MyFrame.bottom, t.wid, [&](int32_t first, int32_t last) { ComposeRows(t, first, last); });
}
}  // namespace

int32_t TileEdge(int32_t Index, int32_t Extent, int32_t Count) {
    // Multiplied before dividing, in 64 bits: Index x Extent / Count is exact, so edge Count is
    // Extent itself. A double tile size (Extent / Count) times Index can land just below it.
    if (Count < 1) return 0;
    return int32_t(int64_t(Index) * Extent / Count);
}

uint8_t TileAlpha(int32_t f, int32_t s, int32_t e) { return TileAlphaOf(f, s, e); }

void SetupAlphaScalar(PluginDataPtr theConfig, int32_t FrameNum, int32_t TotalFrames) {
    if (!theConfig || !theConfig->Rects || !theConfig->TheMask) return;
    if (TotalFrames < 1) TotalFrames = 1;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    const Rect MyFrame = GetPortRect(theConfig->TheMask);
    SetGWorld(theConfig->TheMask, nullptr);
    const TileGrid g = GridFor(*theConfig, MyFrame);
    ClipRect(&g.Active);
    const RectField& field = *theConfig->Rects;
    for (int y = 1; y <= g.H; y++)
        for (int x = 1; x <= g.W; x++) {
            const RGBColor grey = GreyColor(TileAlpha(FrameNum, field[x][y].StartFrame, field[x][y].EndFrame));
            RGBForeColor(&grey);
            const Rect r{TruncS(g.Top(y)), TruncS(g.Left(x)), TruncS(g.Bottom(y)), TruncS(g.Right(x))};
            PaintRect(&r);
        }
    const RGBColor white{65535, 65535, 65535};
    RGBForeColor(&white);
    ClipRect(&MyFrame);
    SetGWorld(savePort, saveDevice);
}

void SetupAlpha(PluginDataPtr theConfig, int32_t FrameNum, int32_t TotalFrames) {
    if (!theConfig || !theConfig->Rects || !theConfig->TheMask) return;
    if (TotalFrames < 1) TotalFrames = 1;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    GWorldPtr mask = theConfig->TheMask;
    const Rect MyFrame = GetPortRect(mask);
    SetGWorld(mask, nullptr);
    const TileGrid g = GridFor(*theConfig, MyFrame);
    ClipRect(&g.Active);
    // Painting one tile row at a time: the row of greys is built once, clipped to the active area,
    // and copied into every pixel row of the band. Same pixels as one PaintRect a tile. Tile rows
    // own disjoint pixel rows, so they are shared out over the cores.
    Rect area;
    PixMapHandle pm = GetGWorldPixMap(mask);
    if (TileArea(g, MyFrame, area)) {
        const Ptr base = GetPixBaseAddr(pm);
        const int32_t rowBytes = GetPixRowBytes(pm);
        const RectField& field = *theConfig->Rects;
        const int32_t areaWid = area.right - area.left;
        ParallelRows(g.H, int64_t(areaWid) * (area.bottom - area.top) / g.H, [&](int32_t first, int32_t last) {
            std::vector<PixRec> line(static_cast<size_t>(areaWid));
            for (int y = first + 1; y <= last; y++) {
                const int32_t top = std::max<int32_t>(g.Top(y), area.top);
                const int32_t bottom = std::min<int32_t>(g.Bottom(y), area.bottom);
                if (top >= bottom) continue;
                for (int x = 1; x <= g.W; x++) {
                    const int32_t left = std::max<int32_t>(g.Left(x), area.left);
                    const int32_t right = std::min<int32_t>(g.Right(x), area.right);
                    if (left >= right) continue;
                    const uint8_t a = TileAlpha(FrameNum, field[x][y].StartFrame, field[x][y].EndFrame);
                    std::fill(line.begin() + (left - area.left), line.begin() + (right - area.left),
                              PixRec{255, a, a, a});
                }
                for (int32_t row = top; row < bottom; row++)
                    std::memcpy(PixRow(base, rowBytes, row - MyFrame.top) + (area.left - MyFrame.left), line.data(),
                                line.size() * sizeof(PixRec));
            }
        });
    }
    const RGBColor white{65535, 65535, 65535};
    RGBForeColor(&white);
    ClipRect(&MyFrame);
    SetGWorld(savePort, saveDevice);
}

bool ComposeByTiles(GWorldPtr Source, GWorldPtr Dest, PluginDataPtr theConfig, int32_t CurrentFrame) {
    if (!Dest || !theConfig) return false;
    const int16_t Which = theConfig->Which;
    if (Which < 1 || Which > 3) return false;
    const Rect MyFrame = GetPortRect(Dest);
    if (MyFrame.left != 0 || MyFrame.top != 0 || MyFrame.right <= 0 || MyFrame.bottom <= 0) return false;
    // A clip B of another size is scaled into the layer; that stays with the layered way.
    if (Which == 3 && Source && !(GetPortRect(Source) == MyFrame)) return false;
    // Filling Dest with the colour (Which 2) keeps to Dest's clip; a clip short of the frame stays
    // with the layered way too.
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(Dest, nullptr);
    Rect clip, clipped;
    GetClipRect(&clip);
    const bool wholeClip = SectRect(&clip, &MyFrame, &clipped) && clipped == MyFrame;
    if (Which == 2 && !wholeClip) {
        SetGWorld(savePort, saveDevice);
        return false;
    }

    TileFrame t{};
    t.Which = Which;
    t.at = AlphaByte::First;
    PixMapHandle dpm = GetGWorldPixMap(Dest);
    t.dBase = t.uBase = GetPixBaseAddr(dpm);
    t.dRow = t.uRow = GetPixRowBytes(dpm);
    const bool fromSource = Which == 3 && Source;
    if (fromSource) {
        PixMapHandle spm = GetGWorldPixMap(Source);
        t.sBase = GetPixBaseAddr(spm);
        t.sRow = GetPixRowBytes(spm);
    }
    std::vector<PixRec> colour;
    if (!fromSource)
        colour.assign(size_t(MyFrame.right), Which == 3 ? PixRec{0, 0, 0, 0} : PaintedPixel(theConfig->Colors[1]));
    t.colour = colour.data();
    ComposeFrame(t, *theConfig, MyFrame, CurrentFrame);
    if (Which == 2) {
        // Filling Dest with the colour leaves its foreground black.
        const RGBColor black{0, 0, 0};
        RGBForeColor(&black);
    }
    SetGWorld(savePort, saveDevice);
    return true;
}

void ComposeClipsByTiles(const uint8_t* Under, const uint8_t* Source, uint8_t* Out, int32_t RowBytes, int16_t Wid,
                         int16_t Hig, AlphaByte at, const PluginDataRec& theConfig, int32_t CurrentFrame) {
    if (Wid <= 0 || Hig <= 0) return;
    TileFrame t{};
    t.Which = 3;
    t.at = at;
    t.dBase = reinterpret_cast<Ptr>(Out);
    t.sBase = reinterpret_cast<Ptr>(const_cast<uint8_t*>(Source));
    t.uBase = reinterpret_cast<Ptr>(const_cast<uint8_t*>(Under));
    t.dRow = t.sRow = t.uRow = RowBytes;
    ComposeFrame(t, theConfig, Rect{0, 0, Hig, Wid}, CurrentFrame);
}

void ComposeThroughLayer(GWorldPtr Source, GWorldPtr Dest, PluginDataPtr theConfig, int32_t CurrentFrame,
                         int32_t MaxFrame) {
    // Nothing to draw into or no settings to draw with: leave everything as it is.
    if (!Dest || !theConfig) return;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(Dest, nullptr);
    const Rect MyFrame = GetPortRect(Dest);

    theConfig->TheMask = FrameBuffer(lgMaskGW, MyFrame);
    Assert(theConfig->TheMask, "Cannot allocate theMask in pixelEffect");
    GWorldPtr TempGW = FrameBuffer(lgLayerGW, MyFrame);
    Assert(TempGW, "Cannot allocate tempGW in pixeleffect");

    ClearAroundTiles(theConfig, MyFrame);
    SetupAlpha(theConfig, CurrentFrame, MaxFrame);

    // The layer gets its picture and then its alpha from the mask. Where the picture is a copy of
    // another buffer, the two happen in one pass (GW2AlphaOnCopy).
    bool compose = true;
    GWorldPtr picture = nullptr;
    switch (theConfig->Which) {
        case 1:
            ClearGW(TempGW, theConfig->Colors[1]);
            break;
        case 2:
            picture = Dest;
            break;
        case 3:
            // A missing clip B is a transparent layer, as a fresh buffer would be.
            if (Source)
                picture = Source;
            else
                SetPixMapPixels(TempGW, MyFrame, 0, 0, 0);
            break;
        default: {
            static const unsigned char cText[] = "\x30thePixelEffect: Invalid Transition Type Selected";
            static_assert(sizeof(cText) - 2 == 0x30);
            MoveTo(20, 20);
            DrawString(cText);
            compose = false;
            break;
        }
    }
    if (compose) {
        if (picture)
            GW2AlphaOnCopy(theConfig->TheMask, picture, TempGW, MyFrame, false, true, true);
        else
            GW2Alpha(theConfig->TheMask, TempGW, MyFrame, 1, false, true, true, 0, 0, 0, 0, 0, 0);
        if (theConfig->Which == 2) ClearGW(Dest, theConfig->Colors[1]);
        // Nothing writes the layer until the image is released, so the image may read it in place.
        CGImageRef TheImage = GWorld2CGImageShared(TempGW);
        Assert(TheImage, "Cannot create theImage from tempGW in pixeleffect");
        DrawCGImageInQDRect(Dest, TheImage, MyFrame, 0.0f, false);
        CGImageRelease(TheImage);
    }
    theConfig->TheMask = nullptr;
    SetGWorld(savePort, saveDevice);
}

void ThePixelEffect(GWorldPtr Source, GWorldPtr Dest, Rect, Boolean, PluginDataPtr theConfig, int32_t CurrentFrame,
                    int32_t MaxFrame) {
    if (!ComposeByTiles(Source, Dest, theConfig, CurrentFrame))
        ComposeThroughLayer(Source, Dest, theConfig, CurrentFrame, MaxFrame);
}

void ReleasePixelEffectBuffers() {
    DisposeGWorld(lgMaskGW);
    DisposeGWorld(lgLayerGW);
    lgMaskGW = lgLayerGW = nullptr;
}
