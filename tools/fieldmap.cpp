// fieldmap: one PNG atlas of every tile ordering. Each panel is a grid shaded by each tile's start
// frame (dark = early, light = late) with the method number above it.
//   fieldmap OUT.png [--cols 20] [--rows 12] [--frames 60]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/fixedrandom.h"
#include "engine/recthandler.h"
#include "imaging/commonprocs.h"
#include "platform/PNGWriter.h"

namespace {
// 3 x 5 digits, one row of three bits per entry, top row first.
constexpr uint8_t cDigits[10][5] = {
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
};

void DrawNumber(int n, int left, int top, int scale) {
    const std::string text = std::to_string(n);
    for (size_t i = 0; i < text.size(); i++) {
        const int d = text[i] - '0';
        for (int row = 0; row < 5; row++)
            for (int col = 0; col < 3; col++)
                if (cDigits[d][row] & (4 >> col)) {
                    const int x = left + int(i) * 4 * scale + col * scale, y = top + row * scale;
                    Rect r{int16_t(y), int16_t(x), int16_t(y + scale), int16_t(x + scale)};
                    PaintRect(&r);
                }
    }
}

int ArgInt(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; i++)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: fieldmap OUT.png [--cols N] [--rows N] [--frames N]\n");
        return argc < 2 ? 2 : 0;
    }
    const std::string out = argv[1];
    const int cols = std::clamp(ArgInt(argc, argv, "--cols", 20), 1, int(cMaxRectHoriz));
    const int rows = std::clamp(ArgInt(argc, argv, "--rows", 12), 1, int(cMaxRectVert));
    const int frames = std::max(1, ArgInt(argc, argv, "--frames", 60));

    const int tile = std::max(2, 160 / std::max(cols, rows));
    const int spiral = std::max(cols, rows) | 1;  // spirals lay out an odd square
    const int panelW = std::max(cols, spiral) * tile, panelH = std::max(rows, spiral) * tile;
    const int label = 16, gap = 10, perRow = 7, count = cMethodCount;
    const int sheetW = perRow * (panelW + gap) + gap;
    const int sheetH = ((count + perRow - 1) / perRow) * (panelH + label + gap) + gap;
    GWorldPtr sheet = AllocateGWorld(int16_t(sheetW), int16_t(sheetH));
    Assert(sheet, "Unable to allocate the atlas in fieldmap");
    ClearGW(sheet, RGBColor{0x2020, 0x2020, 0x2828});

    SetQDRandomSeed(1);
    FInitRandom();
    static RectField field;
    PluginDataRec config{};
    config.Rects = &field;
    config.RandomizedDuration = false;

    CGrafPtr savePort;
    GetGWorld(&savePort, nullptr);
    SetGWorld(sheet, nullptr);
    for (int method = 1; method <= count; method++) {
        config.Sliders[1] = int16_t(cols);
        config.Sliders[2] = int16_t(rows);
        config.Sliders[3] = 50;
        config.Method = int16_t(method);
        InitRectangles(&config, frames, Rect{0, 0, 1, 1});
        const int W = FieldColumns(config), H = FieldRows(config);
        int lo = field[1][1].StartFrame, hi = lo;
        for (int y = 1; y <= H; y++)
            for (int x = 1; x <= W; x++) lo = std::min(lo, field[x][y].StartFrame), hi = std::max(hi, field[x][y].StartFrame);
        const int slot = method - 1;
        const int left = gap + (slot % perRow) * (panelW + gap);
        const int top = gap + (slot / perRow) * (panelH + label + gap);
        const RGBColor ink{0xFFFF, 0xE000, 0x8000};
        RGBForeColor(&ink);
        DrawNumber(method, left, top + 2, 2);
        for (int y = 1; y <= H; y++)
            for (int x = 1; x <= W; x++) {
                const double t = hi > lo ? double(field[x][y].StartFrame - lo) / (hi - lo) : 0.0;
                const uint16_t g = uint16_t((24 + t * 231) * 256);
                const RGBColor shade{g, g, g};
                RGBForeColor(&shade);
                Rect r{int16_t(top + label + (y - 1) * tile), int16_t(left + (x - 1) * tile),
                       int16_t(top + label + y * tile - (tile > 4 ? 1 : 0)),
                       int16_t(left + x * tile - (tile > 4 ? 1 : 0))};
                PaintRect(&r);
            }
    }
    SetGWorld(savePort, nullptr);

    std::string error;
    if (!WriteGWorldPNG(sheet, out, &error)) {
        std::fprintf(stderr, "fieldmap: %s\n", error.c_str());
        DisposeGWorld(sheet);
        return 1;
    }
    DisposeGWorld(sheet);
    std::printf("fieldmap: wrote %s (%d x %d)\n", out.c_str(), sheetW, sheetH);
    return 0;
}
