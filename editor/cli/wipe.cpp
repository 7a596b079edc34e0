#include "editor/cli/wipe.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/fixedrandom.h"
#include "engine/pixeleffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "platform/PNGWriter.h"

namespace bw {
namespace fs = std::filesystem;

namespace {
// OpenShot changes a pixel while its brightness keyframes (1 to -1 as a transition is dropped)
// move the grey by 255: half the transition, whatever the map holds.
const WipeEditorInfo cEditors[] = {
    {WipeEditor::Mlt, "mlt", false, 0},
    {WipeEditor::Shotcut, "shotcut", false, 0},
    {WipeEditor::Kdenlive, "kdenlive", false, 0},
    {WipeEditor::OpenShot, "openshot", true, 0.5},
    {WipeEditor::Obs, "obs", true, 0},
};

// The bundle fills its random table from this seed when it is loaded; a map laid out from the
// same table has the jitter of the bundle's first render.
constexpr int32_t cTableSeed = 1;

// OpenShot's contrast as a transition is dropped, and its factor on the grey around 128.
constexpr double cOpenShotContrast = 3;
constexpr double cOpenShotFactor = 259 * (cOpenShotContrast + 255) / (255 * (259 - cOpenShotContrast));

WipeEditor EditorNamed(const std::string& name) {
    for (const WipeEditorInfo& e : cEditors)
        if (name == e.Name) return e.Editor;
    return WipeEditor::Mlt;
}

std::string Percent(double fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", fraction * 100);
    return text;
}
}  // namespace

const WipeEditorInfo& EditorInfo(WipeEditor editor) { return cEditors[int(editor)]; }

void AddWipeOptions(CLI::App* app, WipeOptions& options) {
    app->add_option("--for", options.editor,
                    "the editor the map is for: mlt, shotcut, kdenlive (16-bit PGM), openshot, obs (8-bit PNG)")
        ->check(CLI::IsMember({"mlt", "shotcut", "kdenlive", "openshot", "obs"}))
        ->type_name("EDITOR");
    app->add_flag("--install", options.install,
                  "write the map into the folder the editor lists wipes from (kdenlive, openshot)");
    app->add_option("--frames", options.frames, "the transition length the tiles are laid out for (default 66)")
        ->check(CLI::Range(2, 100000))
        ->type_name("N");
    app->footer(
        "--size is the map's (default 1920x1080): the shape of the project; MLT stretches the map to the frame.\n"
        "Prints the softness to enter in the editor; see docs/wipes.md for where each editor keeps wipes.");
}

std::vector<TileSpan> FieldSpans(PluginDataRec& config, int32_t frames, int& columns, int& rows) {
    SetQDRandomSeed(cTableSeed);
    FInitRandom();
    InitRectangles(&config, frames, Rect{0, 0, 1, 1});
    columns = FieldColumns(config);
    rows = FieldRows(config);
    std::vector<TileSpan> spans;
    const RectField& field = *config.Rects;
    for (int y = 1; y <= rows; y++)
        for (int x = 1; x <= columns; x++)
            spans.push_back({double(field[x][y].StartFrame) / frames, double(field[x][y].EndFrame) / frames});
    return spans;
}

WipeFit FitWipe(const std::vector<TileSpan>& spans, double width) {
    WipeFit fit;
    if (width <= 0 && !spans.empty()) {
        for (const TileSpan& s : spans) width += s.End - s.Start;
        width /= double(spans.size());
    }
    fit.Width = std::clamp(width, 0.0, cMaxWipeWidth);
    fit.Softness = fit.Width / (1 - fit.Width);
    for (const TileSpan& s : spans) {
        const double start = std::clamp((s.Start + s.End - fit.Width) / 2, 0.0, 1 - fit.Width);
        fit.Levels.push_back(start / (1 - fit.Width));
        fit.WorstError =
            std::max({fit.WorstError, std::abs(start - s.Start), std::abs(start + fit.Width - s.End)});
    }
    return fit;
}

uint16_t EditorGrey(WipeEditor editor, double level) {
    level = std::clamp(level, 0.0, 1.0);
    switch (editor) {
        case WipeEditor::Obs:
            return uint16_t(std::floor(level * 255));
        case WipeEditor::OpenShot:
            return uint16_t(std::clamp<long>(std::lround((level * 255 - 128) / cOpenShotFactor + 128), 0, 255));
        default:
            return uint16_t(std::floor(level * 65535));
    }
}

std::vector<uint16_t> WipePixels(const PluginDataRec& config, const WipeFit& fit, WipeEditor editor, int width,
                                 int height) {
    std::vector<uint16_t> pixels(size_t(width) * size_t(height), EditorGrey(editor, 1.0));
    const int columns = FieldColumns(config), rows = FieldRows(config);
    if (fit.Levels.size() != size_t(columns) * size_t(rows)) return pixels;
    // The tiles cut the whole frame; the active area only shows them, as the engine's mask does.
    const Rect active = Rel2Rect(config.StartRel, Rect{0, 0, int16_t(height), int16_t(width)});
    for (int y = 1; y <= rows; y++) {
        const int top = std::max<int>(TileEdge(y - 1, height, rows), active.top);
        const int bottom = std::min<int>(TileEdge(y, height, rows), active.bottom);
        for (int x = 1; x <= columns; x++) {
            const int left = std::max<int>(TileEdge(x - 1, width, columns), active.left);
            const int right = std::min<int>(TileEdge(x, width, columns), active.right);
            const uint16_t grey = EditorGrey(editor, fit.Levels[size_t(y - 1) * columns + (x - 1)]);
            for (int py = top; py < bottom; py++)
                std::fill(pixels.begin() + size_t(py) * width + std::max(left, 0),
                          pixels.begin() + size_t(py) * width + std::max(right, left), grey);
        }
    }
    return pixels;
}

Failure WritePgm16(const std::string& path, int width, int height, const std::vector<uint16_t>& pixels) {
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return {kExitOutput, path + ": " + std::strerror(errno)};
    std::fprintf(f, "P5\n%d %d\n65535\n", width, height);
    std::vector<uint8_t> bytes(pixels.size() * 2);
    for (size_t i = 0; i < pixels.size(); i++) {
        bytes[2 * i] = uint8_t(pixels[i] >> 8);
        bytes[2 * i + 1] = uint8_t(pixels[i] & 0xFF);
    }
    const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !wrote || std::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(tmp.c_str());
        return {kExitOutput, path + ": cannot write (" + why + ")"};
    }
    return {};
}

Failure WritePng8(const std::string& path, int width, int height, const std::vector<uint16_t>& pixels) {
    GWorldPtr gw = AllocateGWorld(int16_t(width), int16_t(height));
    if (!gw) return {kExitFailed, "no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " map"};
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int y = 0; y < height; y++) {
        auto* row = reinterpret_cast<PixRec*>(GetPixBaseAddr(pm) + size_t(y) * GetPixRowBytes(pm));
        for (int x = 0; x < width; x++) {
            const uint8_t g = uint8_t(std::min<uint16_t>(pixels[size_t(y) * width + x], 255));
            row[x] = PixRec{255, g, g, g};
        }
    }
    std::string error;
    const bool ok = WriteGWorldPNG(gw, path, &error);
    DisposeGWorld(gw);
    if (!ok) return {kExitOutput, error};
    return {};
}

std::string InstallFolder(WipeEditor editor, int width, int height, std::string& reason) {
    const char* home = std::getenv("HOME");
    const std::string h = home && *home ? home : ".";
    switch (editor) {
        case WipeEditor::Kdenlive: {
            const char* data = std::getenv("XDG_DATA_HOME");
            const std::string base = data && *data ? data : h + "/.local/share";
            const double shape = double(width) / height;
            const char* format = shape > 1.5                     ? "HD"
                                 : shape < 0.75                  ? "VERTICAL"
                                 : std::abs(shape - 1) < 0.05    ? "SQUARE"
                                 : width == 720 && height == 480 ? "NTSC"
                                                                 : "PAL";
            return base + "/kdenlive/lumas/" + format;
        }
        case WipeEditor::OpenShot:
            return h + "/.openshot_qt/transitions";
        case WipeEditor::Obs:
            reason = "OBS lists only the wipes in its own data folder (luma_wipes, named in wipes.json); see docs/wipes.md";
            return {};
        case WipeEditor::Shotcut:
            reason = "Shotcut lists no folder of wipes; pick the file with Custom... in the transition's properties";
            return {};
        default:
            reason = "melt takes the map's path itself (luma resource=FILE)";
            return {};
    }
}

std::string SoftnessAdvice(WipeEditor editor, const WipeFit& fit) {
    char s[32];
    std::snprintf(s, sizeof s, "%.4f", fit.Softness);
    const std::string percent = Percent(fit.Softness);
    const std::string over = fit.Softness > 1 ? " (above the 100 % the slider allows: enter 100)" : "";
    switch (editor) {
        case WipeEditor::Shotcut:
            return "softness " + std::string(s) + ": in the transition's properties, Softness " + percent + " %" + over +
                   ", Invert Wipe off";
        case WipeEditor::Kdenlive:
            return "softness " + std::string(s) + ": in the Wipe transition, Softness " + percent + " %" + over +
                   ", Invert off";
        case WipeEditor::Obs:
            return "softness " + std::string(s) + ": in the Luma Wipe's properties, Softness " + s +
                   (fit.Softness > 1 ? " (the slider stops at 1.00)" : "") + ", Invert off";
        case WipeEditor::OpenShot:
            return "softness: fixed by OpenShot at half the transition; keep the transition's Brightness 1 to -1 and "
                   "Contrast 3 as dropped, keyframes linear, Reverse off";
        default:
            return "softness " + std::string(s) + ": melt ... -transition luma resource=FILE softness=" + s;
    }
}

std::string WipePath(const PluginDataRec& config, const WipeOptions& options, const std::string& out, int width,
                     int height, Failure& failure) {
    const WipeEditor editor = EditorNamed(options.editor);
    if (!options.install) {
        if (out.empty()) failure = {kExitUsage, "give -o FILE, or --install for kdenlive and openshot"};
        return out;
    }
    std::string reason;
    const std::string folder = InstallFolder(editor, width, height, reason);
    if (folder.empty()) {
        failure = {kExitUsage, "--install: " + reason};
        return {};
    }
    std::string name = fs::path(out).filename().string();
    if (name.empty())
        name = "blockwaves-m" + std::to_string(config.Method) + "-" + std::to_string(config.Sliders[1]) + "x" +
               std::to_string(config.Sliders[2]) + (EditorInfo(editor).Png ? ".png" : ".pgm");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) failure = {kExitOutput, "cannot make " + folder + ": " + ec.message()};
    return folder + "/" + name;
}

Failure MakeWipe(PluginDataRec& config, const WipeOptions& options, const std::string& path, int width, int height,
                 std::string& advice) {
    const WipeEditorInfo& info = EditorInfo(EditorNamed(options.editor));
    int columns = 0, rows = 0;
    const std::vector<TileSpan> spans = FieldSpans(config, options.frames, columns, rows);
    const WipeFit fit = FitWipe(spans, info.FixedWidth);
    const std::vector<uint16_t> pixels = WipePixels(config, fit, info.Editor, width, height);
    advice = SoftnessAdvice(info.Editor, fit);
    if (fit.WorstError * options.frames >= 0.5)
        advice += "\ntiles start or end up to " + Percent(fit.WorstError) +
                  " % of the transition early or late: one softness serves tiles of every length, and tiles the "
                  "engine starts before or ends after the transition are held inside it";
    return info.Png ? WritePng8(path, width, height, pixels) : WritePgm16(path, width, height, pixels);
}

}  // namespace bw
