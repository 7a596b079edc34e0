// fxpictures: pictures of the frame composition for review.
//   fxpictures OUTDIR [--method N] [--cols N] [--rows N] [--duration P] [--frames N]
// writes OUTDIR/masks.png, the nine fade masks with typical settings, and
// OUTDIR/transition-mN.png, a strip of frames at 0, 10, 25, 50, 75, 90 and 100 % of a transition
// between two generated pictures (colour bars, a gradient) for each variant: after the last clip,
// before the first clip and between two clips.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/callpixelfx.h"
#include "engine/fixedrandom.h"
#include "engine/maskgenerators.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "imaging/commonprocs.h"
#include "platform/PNGWriter.h"

namespace {
constexpr int cFrameW = 240, cFrameH = 160, cGap = 8, cLabel = 14;
const RGBColor cInk{0xF000, 0xF000, 0xF000};
const RGBColor cBackground{0x2020, 0x2020, 0x2828};

int ArgInt(int argc, char** argv, const char* name, int fallback) {
    for (int i = 2; i + 1 < argc; i++)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

void Label(GWorldPtr sheet, int left, int baseline, const std::string& text) {
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(sheet, nullptr);
    RGBForeColor(&cInk);
    unsigned char s[256];
    s[0] = uint8_t(std::min<size_t>(text.size(), 255));
    std::memcpy(s + 1, text.data(), s[0]);
    MoveTo(int16_t(left), int16_t(baseline));
    DrawString(s);
    SetGWorld(save, nullptr);
}

void Place(GWorldPtr from, GWorldPtr sheet, int left, int top) {
    const Rect src = GetPortRect(from);
    const Rect dst{int16_t(top), int16_t(left), int16_t(top + src.bottom), int16_t(left + src.right)};
    CopyBits(GetPortBitMapForCopyBits(from), GetPortBitMapForCopyBits(sheet), &src, &dst, srcCopy, nullptr);
}

// Eight vertical colour bars.
void PaintBars(GWorldPtr gw) {
    static const RGBColor bars[8] = {{0xC000, 0xC000, 0xC000}, {0xC000, 0xC000, 0}, {0, 0xC000, 0xC000}, {0, 0xC000, 0}, {0xC000, 0, 0xC000}, {0xC000, 0, 0}, {0, 0, 0xC000}, {0x1000, 0x1000, 0x1000}};
    CGrafPtr save;
    GetGWorld(&save, nullptr);
    SetGWorld(gw, nullptr);
    const Rect frame = GetPortRect(gw);
    for (int i = 0; i < 8; i++) {
        RGBForeColor(&bars[i]);
        const Rect r{0, int16_t(frame.right * i / 8), frame.bottom, int16_t(frame.right * (i + 1) / 8)};
        PaintRect(&r);
    }
    SetGWorld(save, nullptr);
}

// A diagonal gradient from deep blue to orange.
void PaintGradient(GWorldPtr gw) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    const Rect frame = GetPortRect(gw);
    for (int y = 0; y < frame.bottom; y++) {
        PixRec* row = PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y);
        for (int x = 0; x < frame.right; x++) {
            const double t = (double(x) / frame.right + double(y) / frame.bottom) / 2;
            row[x] = PixRec{255, uint8_t(20 + 235 * t), uint8_t(40 + 120 * t), uint8_t(160 - 140 * t)};
        }
    }
}

bool WriteSheet(GWorldPtr sheet, const std::string& path) {
    std::string error;
    const bool ok = WriteGWorldPNG(sheet, path, &error);
    if (ok)
        std::printf("fxpictures: wrote %s\n", path.c_str());
    else
        std::fprintf(stderr, "fxpictures: %s\n", error.c_str());
    return ok;
}

bool MaskSheet(const std::string& path) {
    const int perRow = 3, count = 9;
    const int sheetW = perRow * (cFrameW + cGap) + cGap;
    const int sheetH = (count / perRow) * (cFrameH + cLabel + cGap) + cGap;
    GWorldPtr sheet = AllocateGWorld(int16_t(sheetW), int16_t(sheetH));
    GWorldPtr mask = AllocateGWorld(cFrameW, cFrameH);
    Assert(sheet, "Unable to allocate the mask sheet in fxpictures");
    Assert(mask, "Unable to allocate the mask in fxpictures");
    ClearGW(sheet, cBackground);
    struct Entry {
        const char* name;
        void (*paint)(GWorldPtr);
    };
    static const Entry entries[count] = {
        {"SetupLRFade", [](GWorldPtr g) { SetupLRFade(64, 128, 0, 255, false, g); }},
        {"SetupUDFade", [](GWorldPtr g) { SetupUDFade(64, 128, 0, 255, false, g); }},
        {"SetupDoubleLRFade", [](GWorldPtr g) { SetupDoubleLRFade(96, 128, 96, 128, 0, 255, false, g); }},
        {"SetupDoubleUDFade", [](GWorldPtr g) { SetupDoubleUDFade(96, 128, 96, 128, 0, 255, false, g); }},
        {"SetupRectFade", [](GWorldPtr g) { SetupRectFade(64, 128, 128, 200, 200, 0, 255, false, g); }},
        {"SetupOvalFade", [](GWorldPtr g) { SetupOvalFade(96, 128, 128, 220, 220, 0, 255, false, g); }},
        {"SetupArcFade", [](GWorldPtr g) { SetupArcFade(40, 0, 128, 0, 255, 100, false, g); }},
        {"SetupLRSlideFade", [](GWorldPtr g) { SetupLRSlideFade(40, 80, 160, 0, 255, false, g); }},
        {"SetupTBSlideFade", [](GWorldPtr g) { SetupTBSlideFade(40, 80, 160, 0, 255, false, g); }},
    };
    for (int i = 0; i < count; i++) {
        entries[i].paint(mask);
        const int left = cGap + (i % perRow) * (cFrameW + cGap);
        const int top = cGap + (i / perRow) * (cFrameH + cLabel + cGap);
        Label(sheet, left, top + 9, entries[i].name);
        Place(mask, sheet, left, top + cLabel);
    }
    const bool ok = WriteSheet(sheet, path);
    DisposeGWorld(mask);
    DisposeGWorld(sheet);
    return ok;
}

bool TransitionStrip(const std::string& path, int method, int cols, int rows, int duration, int frames) {
    static const int cPercents[] = {0, 10, 25, 50, 75, 90, 100};
    static const char* cVariants[] = {"1 after the last clip", "2 before the first clip", "3 between two clips"};
    const int n = int(std::size(cPercents));
    const int labelW = 0;
    const int sheetW = labelW + n * (cFrameW + cGap) + cGap;
    const int sheetH = cLabel + 3 * (cFrameH + 2 * cLabel + cGap) + cGap;
    GWorldPtr sheet = AllocateGWorld(int16_t(sheetW), int16_t(sheetH));
    GWorldPtr clipA = AllocateGWorld(cFrameW, cFrameH);
    GWorldPtr clipB = AllocateGWorld(cFrameW, cFrameH);
    GWorldPtr out = AllocateGWorld(cFrameW, cFrameH);
    Assert(sheet && clipA && clipB ? out : nullptr, "Unable to allocate the strip buffers in fxpictures");
    ClearGW(sheet, cBackground);
    PaintBars(clipA);
    PaintGradient(clipB);

    SetQDRandomSeed(1);
    FInitRandom();
    static RectField field;
    PluginDataRec config{};
    config.Rects = &field;
    config.StartRel = RelRect{0, 1, 0, 1};
    config.Sliders[1] = int16_t(cols);
    config.Sliders[2] = int16_t(rows);
    config.Sliders[3] = int16_t(duration);
    config.Method = int16_t(method);
    config.Colors[1] = RGBColor{0x1000, 0x1000, 0x1000};
    InitRectangles(&config, frames, GetPortRect(out));

    Label(sheet, cGap, 10,
          "method " + std::to_string(method) + ", " + std::to_string(FieldColumns(config)) + " x " +
              std::to_string(FieldRows(config)) + " tiles, " + std::to_string(frames) + " frames");
    for (int v = 0; v < 3; v++) {
        const int top = cLabel + cGap + v * (cFrameH + 2 * cLabel + cGap);
        Label(sheet, cGap, top + 9, std::string("variant ") + cVariants[v]);
        for (int i = 0; i < n; i++) {
            const int frame = int(std::lround(cPercents[i] / 100.0 * frames));
            config.Which = int16_t(v + 1);
            // The host's output frame starts as clip A, or as clip B before the first clip.
            Source2Target(v == 1 ? clipB : clipA, out);
            DoPixelEffect(v == 2 ? clipB : nullptr, out, &config, frame, frames);
            const int left = cGap + i * (cFrameW + cGap);
            Label(sheet, left, top + cLabel + 9, std::to_string(cPercents[i]) + " %  (frame " + std::to_string(frame) + ")");
            Place(out, sheet, left, top + 2 * cLabel);
        }
    }
    const bool ok = WriteSheet(sheet, path);
    ReleasePixelEffectBuffers();
    DisposeGWorld(out);
    DisposeGWorld(clipB);
    DisposeGWorld(clipA);
    DisposeGWorld(sheet);
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr,
                     "usage: fxpictures OUTDIR [--method N] [--cols N] [--rows N] [--duration P] [--frames N]\n");
        return argc < 2 ? 2 : 0;
    }
    const std::string dir = argv[1];
    const int method = std::clamp(ArgInt(argc, argv, "--method", 12), 1, int(cMethodCount));
    const int cols = std::clamp(ArgInt(argc, argv, "--cols", 16), 1, int(cMaxRectHoriz));
    const int rows = std::clamp(ArgInt(argc, argv, "--rows", 10), 1, int(cMaxRectVert));
    const int duration = std::clamp(ArgInt(argc, argv, "--duration", 50), 0, 100);
    const int frames = std::clamp(ArgInt(argc, argv, "--frames", 60), 1, 100000);
    bool ok = MaskSheet(dir + "/masks.png");
    ok = TransitionStrip(dir + "/transition-m" + std::to_string(method) + ".png", method, cols, rows, duration,
                         frames) &&
         ok;
    return ok ? 0 : 1;
}
