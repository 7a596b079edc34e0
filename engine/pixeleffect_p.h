// The tile field laid over one picture at one frame, shared by the two tile composers (32-bit
// pixels in pixeleffect.cpp, pictures in their own format in planarcompose.cpp): the grid's edges,
// the pixels the tiles cover inside the active area, and every tile's progress.
#pragma once
#include <algorithm>
#include <cstdint>

#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "platform/Numerics.h"

// TileAlpha, inline for the row loops.
inline uint8_t TileAlphaOf(int32_t f, int32_t s, int32_t e) {
    if (f < s) return 0;
    if (f >= e) return 255;
    int64_t Delta = int64_t(e) - s;
    if (Delta == 0) Delta = 1;
    return uint8_t(std::clamp<int32_t>(TruncL(double(int64_t(f) - s) / double(Delta) * 255.0), 0, 255));
}

// The grid over one picture, with every tile edge worked out once (a division each).
struct TileGrid {
    int16_t W, H;
    Rect Active;
    int32_t ColEdge[cMaxRectHoriz + 1], RowEdge[cMaxRectVert + 1];
    int32_t Left(int32_t x) const { return ColEdge[x - 1]; }
    int32_t Right(int32_t x) const { return ColEdge[x]; }
    int32_t Top(int32_t y) const { return RowEdge[y - 1]; }
    int32_t Bottom(int32_t y) const { return RowEdge[y]; }
};
inline TileGrid GridFor(const PluginDataRec& cfg, Rect MyFrame) {
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
inline bool TileArea(const TileGrid& g, Rect MyFrame, Rect& area) {
    if (!SectRect(&g.Active, &MyFrame, &area)) return false;
    area.right = int16_t(std::min<int32_t>(area.right, g.Right(g.W)));
    area.bottom = int16_t(std::min<int32_t>(area.bottom, g.Bottom(g.H)));
    area.left = int16_t(std::max<int32_t>(area.left, 0));
    area.top = int16_t(std::max<int32_t>(area.top, 0));
    return area.left < area.right && area.top < area.bottom;
}

// Every tile's progress at one frame, by row then column from 0.
typedef uint8_t TileAlphas[cMaxRectVert][cMaxRectHoriz];

// The tiled pixels and every tile's progress at CurrentFrame; false (area empty) when no tile
// shows, as for a missing field: every pixel then keeps the picture the transition starts from.
// Worked out in the field's own order (a column's tiles lie together); the rows read them along a
// tile row.
inline bool TileFrameAt(const PluginDataRec& cfg, const TileGrid& g, Rect MyFrame, int32_t CurrentFrame,
                        Rect& area, TileAlphas& alphas) {
    if (!cfg.Rects || !TileArea(g, MyFrame, area)) {
        area = Rect{0, 0, 0, 0};
        return false;
    }
    const RectField& field = *cfg.Rects;
    for (int32_t x = 1; x <= g.W; x++)
        for (int32_t y = 1; y <= g.H; y++)
            alphas[y - 1][x - 1] = TileAlphaOf(CurrentFrame, field[x][y].StartFrame, field[x][y].EndFrame);
    return true;
}
