#include "engine/pixeleffect.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/maskgenerators.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"
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

// The grid over one buffer, with every tile edge worked out once (a division each).
struct TileGrid {
    int16_t W, H;
    Rect Active;
    int32_t ColEdge[cMaxRectHoriz + 1], RowEdge[cMacRectVert + 1];
    int32_t Left(int32_t x) const { return ColEdge[x - 1]; }
    int32_t Right(int32_t x) const { return ColEdge[x]; }
    int32_t Top(int32_t y) const { return RowEdge[y - 1]; }
    int32_t Bottom(int32_t y) const { return RowEdge[y]; }
};
TileGrid GridFor(const PluginDataRec& cfg, Rect MyFrame) {
    TileGrid g;
    int32_t Wid, Hig;
    GetDims(MyFrame, Wid, Hig);
    g.W = FieldColumns(cfg);
    g.H = FieldRows(cfg);
    g.Active = Rel2Rect(cfg.StartRel, MyFrame);
    for (int32_t i = 0; i <= g.W; i++) g.ColEdge[i] = TileEdge(i, Wid, g.W);
    for (int32_t i = 0; i <= g.H; i++) g.RowEdge[i] = TileEdge(i, Hig, g.H);
    return g;
}

// The pixels SetupAlpha paints: the tiles' union (from 0 to the far edge of the last tile) within
// the active area. False when that is empty.
bool TileArea(const TileGrid& g, Rect MyFrame, Rect& area) {
    if (!SectRect(&g.Active, &MyFrame, &area)) return false;
    area.right = int16_t(std::min<int32_t>(area.right, g.Right(g.W)));
    area.bottom = int16_t(std::min<int32_t>(area.bottom, g.Bottom(g.H)));
    area.left = int16_t(std::max<int32_t>(area.left, 0));
    area.top = int16_t(std::max<int32_t>(area.top, 0));
    return area.left < area.right && area.top < area.bottom;
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
}  // namespace

int32_t TileEdge(int32_t Index, int32_t Extent, int32_t Count) {
    // Multiplied before dividing, in 64 bits: Index x Extent / Count is exact, so edge Count is
    // Extent itself. A double tile size (Extent / Count) times Index can land just below it.
    if (Count < 1) return 0;
    return int32_t(int64_t(Index) * Extent / Count);
}

uint8_t TileAlpha(int32_t f, int32_t s, int32_t e) {
    if (f < s) return 0;
    if (f >= e) return 255;
    int64_t Delta = int64_t(e) - s;
    if (Delta == 0) Delta = 1;
    return uint8_t(std::clamp<int32_t>(TruncL(double(int64_t(f) - s) / double(Delta) * 255.0), 0, 255));
}

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

void ThePixelEffect(GWorldPtr Source, GWorldPtr Dest, Rect, Boolean, PluginDataPtr theConfig, int32_t CurrentFrame,
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
            static const unsigned char kText[] = "\x30thePixelEffect: Invalid Transition Type Selected";
            static_assert(sizeof(kText) - 2 == 0x30);
            MoveTo(20, 20);
            DrawString(kText);
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

void ReleasePixelEffectBuffers() {
    DisposeGWorld(lgMaskGW);
    DisposeGWorld(lgLayerGW);
    lgMaskGW = lgLayerGW = nullptr;
}
