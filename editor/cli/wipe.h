// The tile field as a grey wipe map: the picture that MLT's luma transition (melt, Shotcut,
// Kdenlive), OBS Studio's Luma Wipe and OpenShot's transitions read as "when each pixel changes".
// Every tile is one flat level; darker levels change first in all of them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "editor/cli/render.h"
#include "host/PluginDefines.h"

namespace CLI {
class App;
}

namespace bw {

// The editors a map is made for, and how each reads it.
enum class WipeEditor : int { Mlt,
                              Shotcut,
                              Kdenlive,
                              OpenShot,
                              Obs };
struct WipeEditorInfo {
    WipeEditor Editor;
    const char* Name;   // as --for takes it
    bool Png;           // 8-bit PNG; else 16-bit PGM (maxval 65535)
    double FixedWidth;  // > 0: the share of the transition a pixel takes to change, not settable
};
const WipeEditorInfo& EditorInfo(WipeEditor editor);

// The transition length the tile field is laid out for: the editor's default speed (0.5).
constexpr int32_t cWipeFrames = 66;

// What `wipe` takes besides the render settings, -o and --size.
struct WipeOptions {
    std::string editor = "mlt";
    bool install = false;
    int32_t frames = cWipeFrames;
};
void AddWipeOptions(CLI::App* app, WipeOptions& options);

// One tile's change as fractions of the transition: the engine's start and end frame over its
// frame count (frame f of the transition is at f / frames, as in MLT's progress).
struct TileSpan {
    double Start = 0, End = 0;
};
// The engine's layout of config (its Rects allocated) for `frames` frames, row by row from the
// top-left tile; columns and rows are the field's own (the spirals make it square).
std::vector<TileSpan> FieldSpans(PluginDataRec& config, int32_t frames, int& columns, int& rows);

// Levels (0..1) and one softness for a set of spans. A pixel of level L with softness s changes
// while position x (1 + s) runs from L to L + s: from L / (1 + s) over Width = s / (1 + s) of the
// transition. Every tile keeps its middle; Width is the mean change length (or `width` when > 0),
// so a tile of another length starts and ends half the difference from the mean early or late.
struct WipeFit {
    std::vector<double> Levels;
    double Width = 0;
    double Softness = 0;
    double WorstError = 0;  // the largest start or end error, in fractions of the transition
};
// Widths above this are taken as this (softness 19): a wipe no longer shows an order there.
constexpr double cMaxWipeWidth = 0.95;
WipeFit FitWipe(const std::vector<TileSpan>& spans, double width = 0);

// A level in the editor's grey: floor(L x 65535) for the PGM editors, floor(L x 255) for OBS, and
// for OpenShot the grey that its default contrast (3) turns into L x 255.
uint16_t EditorGrey(WipeEditor editor, double level);

// The map's pixels, width x height, row by row: each tile of the active area (StartRel) flat in its
// level's grey, the rest of the frame in the last level (it changes at the end, as the cut does).
std::vector<uint16_t> WipePixels(const PluginDataRec& config, const WipeFit& fit, WipeEditor editor, int width,
                                 int height);

// Writes 16-bit binary PGM (P5, maxval 65535, big-endian) or an 8-bit grey PNG through a temporary
// file; nothing is left at path on failure.
Failure WritePgm16(const std::string& path, int width, int height, const std::vector<uint16_t>& pixels);
Failure WritePng8(const std::string& path, int width, int height, const std::vector<uint16_t>& pixels);

// Where --install puts a map for the editor, from $HOME and $XDG_DATA_HOME; empty when the
// editor lists no folder of a user's own (why in `reason`). Kdenlive's folder follows the shape:
// HD (wide), VERTICAL, SQUARE, NTSC (720 x 480) or PAL (other 4:3-like sizes).
std::string InstallFolder(WipeEditor editor, int width, int height, std::string& reason);

// What to enter in the editor for this fit, one or more lines.
std::string SoftnessAdvice(WipeEditor editor, const WipeFit& fit);

// The default size of a map: MLT stretches a map to the frame, OBS samples it smoothly, so a
// map as large as the frame keeps the tiles' edges sharp everywhere.
constexpr int cWipeWidth = 1920, cWipeHeight = 1080;

// The file the command writes: out, or with --install the editor's folder and out's name
// (default "blockwaves-mM-CxR" and the editor's extension); failure when there is none.
std::string WipePath(const PluginDataRec& config, const WipeOptions& options, const std::string& out, int width,
                     int height, Failure& failure);
// The command's work: lays out config, writes the map to path, and returns what to enter.
Failure MakeWipe(PluginDataRec& config, const WipeOptions& options, const std::string& path, int width, int height,
                 std::string& advice);

}  // namespace bw
