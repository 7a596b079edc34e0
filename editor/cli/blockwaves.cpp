// blockwaves: renders block transitions between video files with the Blockwaves! Transitions
// bundle, driving it through its entry point as a video editor does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "editor/cli/render.h"
#include "editor/media/Generators.h"
#include "settings/DataHandling.h"
#include "platform/Memory.h"
#include "settings/prefsloader.h"

namespace bw {
namespace {
const char* kUsage =
    "usage: blockwaves COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  render A [B] -o OUT   the joined sequence: A, the transition, the rest of B\n"
    "  demo [-o OUT]         two generated clips joined with your saved settings (out/demo.mp4)\n"
    "  info                  what the transition reports for each variant\n"
    "  thumbnail A B -o PNG  the picture an editor shows for the transition\n"
    "  sheet A B -o PNG      frames at 0, 10, 25, 50, 75, 90 and 100 % of the transition\n"
    "  prefs [show | set KEY=VALUE ... | reset]   your saved default settings\n"
    "  configure [A [B]]     the transition's settings dialog with a live preview; OK saves them\n"
    "\n"
    "Run 'blockwaves COMMAND --help' for a command's options.\n";

const char* kRenderHelp =
    "usage: blockwaves render A [B] -o OUT [options]\n"
    "  --variant between|before|after   between two clips (default; needs A and B), the colour giving\n"
    "                                   way to the clip (before), or the clip giving way to the colour (after)\n"
    "  --speed S          the editor's speed setting 0..1 (default 0.5: 66 frames)\n"
    "  --frames N         the transition's length in frames instead of a speed\n"
    "  --size WxH         output size (default: the first clip's)\n"
    "  --proxy            preview quality, as an editor's quick render\n"
    "  --transition-only  only the transition's frames\n"
    "  --quiet            no progress bar\n"
    "  --stats            print where the time went\n"
    "OUT: .mp4 .mov .mkv (H.264, AAC), .webm (VP9, Opus), frames/%05d.png, .y4m, or null (write nothing).\n"
    "Clips are converted to the first clip's frame rate and size; the colour comes from 'blockwaves prefs'.\n";

const char* kPrefsHelp =
    "usage: blockwaves prefs [show | set KEY=VALUE ... | reset]\n"
    "keys:\n"
    "  method=1..41         tile ordering (see docs/orderings.png)\n"
    "  columns=1..100       tile columns\n"
    "  rows=1..100          tile rows\n"
    "  duration=0..100      share of the transition each tile spends changing, in percent\n"
    "  randomized=on|off    vary each tile's change length\n"
    "  color=#RRGGBB        colour standing in for the missing clip (before/after)\n"
    "  rect=L,T,R,B         active area as fractions of the frame, 0 <= L < R <= 1, 0 <= T < B <= 1\n"
    "  media=ntsc|pal|hd    preview frame format of the configuration dialog\n"
    "Nothing is written unless every value is valid.\n";

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // --name value, or --flag ""
    std::string error;
};

bool TakesValue(const std::string& name) {
    return name == "-o" || name == "--variant" || name == "--speed" || name == "--frames" || name == "--size";
}

Args Parse(int argc, char** argv, int first) {
    Args args;
    for (int i = first; i < argc; i++) {
        const std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && std::isdigit(uint8_t(a[1])))) {
            if (TakesValue(a)) {
                if (i + 1 >= argc) {
                    args.error = a + " needs a value";
                    return args;
                }
                args.options[a] = argv[++i];
            } else {
                args.options[a] = "";
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

int Fail(const Failure& f) {
    std::fprintf(stderr, "blockwaves: %s\n", f.message.c_str());
    return f.status;
}

int Usage(const std::string& message, const char* help) {
    std::fprintf(stderr, "blockwaves: %s\n%s", message.c_str(), help);
    return kExitUsage;
}

bool Has(const Args& a, const char* name) { return a.options.count(name) != 0; }

void CheckSavedDefault();

std::unique_ptr<PluginHost> LoadHost(const char* argv0, Failure& failure) {
    CheckSavedDefault();
    std::string error;
    const std::string path = DefaultBundlePath(argv0);
    auto host = PluginHost::Load(path, error);
    if (!host) failure = {kExitPlugin, error};
    return host;
}

Failure ParseRenderOptions(const Args& a, RenderOptions& o) {
    if (Has(a, "--variant")) {
        const std::string v = a.options.at("--variant");
        if (v == "between") o.variant = Variant::Between;
        else if (v == "before") o.variant = Variant::Before;
        else if (v == "after") o.variant = Variant::After;
        else return {kExitUsage, "--variant must be between, before or after, not '" + v + "'"};
    }
    if (Has(a, "--speed") && Has(a, "--frames")) return {kExitUsage, "give --speed or --frames, not both"};
    if (Has(a, "--speed")) {
        char* end = nullptr;
        const double s = std::strtod(a.options.at("--speed").c_str(), &end);
        if (*end || !(s >= 0 && s <= 1)) return {kExitUsage, "--speed must be a number from 0 to 1"};
        o.speed = float(s);
    }
    if (Has(a, "--frames")) {
        char* end = nullptr;
        const long n = std::strtol(a.options.at("--frames").c_str(), &end, 10);
        if (*end || n < 1 || n > 100000) return {kExitUsage, "--frames must be a whole number from 1 to 100000"};
        o.frames = int32_t(n);
    }
    if (Has(a, "--size")) {
        int w = 0, h = 0;
        char extra = 0;
        if (std::sscanf(a.options.at("--size").c_str(), "%dx%d%c", &w, &h, &extra) != 2 || w < 2 || h < 2 ||
            w > 8192 || h > 8192)
            return {kExitUsage, "--size must be WIDTHxHEIGHT, each from 2 to 8192"};
        o.width = w;
        o.height = h;
    }
    o.proxy = Has(a, "--proxy");
    o.transitionOnly = Has(a, "--transition-only");
    o.quiet = Has(a, "--quiet");
    o.stats = Has(a, "--stats");
    if (Has(a, "-o")) o.output = a.options.at("-o");
    return {};
}

int Render(int argc, char** argv) {
    const Args a = Parse(argc, argv, 2);
    if (Has(a, "--help")) return std::fputs(kRenderHelp, stdout), 0;
    if (!a.error.empty()) return Usage(a.error, kRenderHelp);
    RenderOptions o;
    if (Failure f = ParseRenderOptions(a, o)) return Usage(f.message, kRenderHelp);
    const size_t clips = o.variant == Variant::Between ? 2 : 1;
    if (a.positional.size() != clips)
        return Usage(o.variant == Variant::Between ? "render between clips needs two clips, A and B"
                                                   : "render --variant before/after takes one clip",
                     kRenderHelp);
    if (o.output.empty()) return Usage("no output: give -o OUT", kRenderHelp);
    Input first, second;
    if (Failure f = OpenInput(a.positional[0], first)) return Fail(f);
    if (clips == 2)
        if (Failure f = OpenInput(a.positional[1], second)) return Fail(f);
    Failure failure;
    auto host = LoadHost(argv[0], failure);
    if (!host) return Fail(failure);
    RenderReport report;
    if (Failure f = bw::Render(*host, first, clips == 2 ? &second : nullptr, o, &report)) return Fail(f);
    if (!o.quiet)
        std::fprintf(stderr, "blockwaves: wrote %s: %d frames, transition %d frames from frame %d (%.1f s)\n",
                     o.output.c_str(), report.totalFrames, report.transitionFrames, report.transitionStart,
                     report.seconds);
    if (o.stats) {
        const double rest = report.seconds - report.readSeconds - report.transitionSeconds - report.writeSeconds;
        std::fprintf(stderr,
                     "time: %.3f s in all, %.1f fps\n  reading clips (decode, scale, convert) %.3f s\n"
                     "  transition frames (blit, effect, mix)  %.3f s\n  writing (convert, encode)              %.3f s\n"
                     "  the rest (opening, loading the bundle) %.3f s\n",
                     report.seconds, report.totalFrames / std::max(1e-9, report.seconds), report.readSeconds,
                     report.transitionSeconds, report.writeSeconds, rest);
    }
    return kExitOK;
}

const std::vector<double> kSheetFractions = {0, 0.10, 0.25, 0.50, 0.75, 0.90, 1.0};
const std::vector<std::string> kSheetCaptions = {"0%", "10%", "25%", "50%", "75%", "90%", "100%"};

Failure Sheet(PluginHost& host, Input& a, Input& b, const RenderOptions& o, const std::string& path) {
    int w, h;
    OutputSize(*a.source, o, w, h);
    int32_t frames = 0;
    if (Failure f = TransitionLength(host, Variant::Between, o, frames)) return f;
    std::vector<GWorldPtr> stills;
    Failure f = RenderStills(host, a, &b, Variant::Between, frames, w, h, kSheetFractions, stills);
    if (!f) f = WriteContactSheet(stills, kSheetCaptions, 240, path);
    for (GWorldPtr gw : stills) DisposeGWorld(gw);
    return f;
}

int SheetOrThumbnail(int argc, char** argv, bool sheet) {
    const Args a = Parse(argc, argv, 2);
    const char* help = sheet ? "usage: blockwaves sheet A B -o sheet.png [--speed S | --frames N] [--size WxH]\n"
                             : "usage: blockwaves thumbnail A B -o thumb.png [--speed S | --frames N] [--size WxH]\n";
    if (Has(a, "--help")) return std::fputs(help, stdout), 0;
    if (!a.error.empty()) return Usage(a.error, help);
    RenderOptions o;
    if (Failure f = ParseRenderOptions(a, o)) return Usage(f.message, help);
    if (a.positional.size() != 2) return Usage("needs two clips, A and B", help);
    if (o.output.empty()) return Usage("no output: give -o FILE.png", help);
    Input first, second;
    if (Failure f = OpenInput(a.positional[0], first)) return Fail(f);
    if (Failure f = OpenInput(a.positional[1], second)) return Fail(f);
    Failure failure;
    auto host = LoadHost(argv[0], failure);
    if (!host) return Fail(failure);
    if (sheet) {
        if (Failure f = Sheet(*host, first, second, o, o.output)) return Fail(f);
        return kExitOK;
    }
    int w, h;
    OutputSize(*first.source, o, w, h);
    int32_t frames = 0;
    if (Failure f = TransitionLength(*host, Variant::Between, o, frames)) return Fail(f);
    if (Failure f = WriteThumbnail(*host, first, second, frames, w, h, o.output)) return Fail(f);
    return kExitOK;
}

const char* TypeName(uint8_t type) {
    switch (type) {
        case kPluginTransitionBeforeType: return "transition before the first clip";
        case kPluginTransitionBetweenType: return "transition between clips";
        case kPluginTransitionAfterType: return "transition after the last clip";
        default: return "unknown";
    }
}

int Info(int argc, char** argv) {
    const Args a = Parse(argc, argv, 2);
    const char* help = "usage: blockwaves info [--speed S]\n";
    if (Has(a, "--help")) return std::fputs(help, stdout), 0;
    RenderOptions o;
    if (Failure f = ParseRenderOptions(a, o)) return Usage(f.message, help);
    Failure failure;
    auto host = LoadHost(argv[0], failure);
    if (!host) return Fail(failure);
    host->speed = o.speed;
    std::printf("Blockwaves! Transitions, speed %.2f\n", o.speed);
    for (int16_t which : {1, 2, 3}) {
        const int32_t r = host->GetInfo(which);
        if (r != kPluginOK) return Fail({kExitPlugin, "the info call failed (result " + std::to_string(r) + ")"});
        const HYPluginParams& p = host->Params();
        std::printf("\nvariant %d: %s\n", which, TypeName(p.getInfo.pluginType));
        std::printf("  frames %d (takes %d from the clip before, %d from the clip after; %d..%d by speed)\n",
                    p.getInfo.framesToBeRendered, p.getInfo.takeFromClipBefore, p.getInfo.takeFromClipAfter,
                    p.getInfo.minSpeedFrames, p.getInfo.maxSpeedFrames);
        std::printf("  flags 0x%04X\n", p.getInfo.pluginFlags);
        if (which == 3) {
            for (const HYPluginFilterSliderInfo& s : p.getInfo2.filterSliders)
                std::printf("  slider \"%s\": %s .. %s\n", s.label, s.minLabel, s.maxLabel);
            std::printf("  button \"%s\"\n  group \"%s\"\n", p.getInfo3.buttonTitle, p.getInfo2.group);
        }
    }
    return kExitOK;
}

// The whole of a small file, or nothing when it cannot be read.
std::vector<uint8_t> FileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return bytes;  // never wait on a pipe
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

// --- Saved default ---
struct Config {
    PluginDataRec rec{};
    Config() { ResetConfig(&rec, true); }
    ~Config() { DisposePtr(reinterpret_cast<Ptr>(rec.Rects)); }
};

std::string Hex(const RGBColor& c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.RED >> 8, c.GREEN >> 8, c.BLUE >> 8);
    return text;
}

void ShowPrefs(const PluginDataRec& c) {
    static const char* media[] = {"ntsc", "pal", "hd"};
    std::printf("method=%d\ncolumns=%d\nrows=%d\nduration=%d\nrandomized=%s\ncolor=%s\n", c.Method, c.Sliders[1],
                c.Sliders[2], c.Sliders[3], c.RandomizedDuration ? "on" : "off", Hex(c.Colors[1]).c_str());
    std::printf("rect=%g,%g,%g,%g\nmedia=%s\n", c.StartRel.Left, c.StartRel.Top, c.StartRel.Right, c.StartRel.Bottom,
                c.MediaType >= 1 && c.MediaType <= 3 ? media[c.MediaType - 1] : "ntsc");
}

bool Number(const std::string& text, long lo, long hi, long& out) {
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && !*end && out >= lo && out <= hi;
}

// Applies KEY=VALUE to the record; an error names the key and the allowed values.
std::string ApplySetting(PluginDataRec& c, const std::string& item) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) return "'" + item + "' is not KEY=VALUE";
    const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
    long n;
    if (key == "method") {
        if (!Number(value, 1, 41, n)) return "method must be 1..41";
        c.Method = int16_t(n);
    } else if (key == "columns" || key == "rows") {
        if (!Number(value, 1, 100, n)) return key + " must be 1..100";
        c.Sliders[key == "columns" ? 1 : 2] = int16_t(n);
    } else if (key == "duration") {
        if (!Number(value, 0, 100, n)) return "duration must be 0..100 (percent)";
        c.Sliders[3] = int16_t(n);
    } else if (key == "randomized") {
        if (value == "on" || value == "true" || value == "1" || value == "yes") c.RandomizedDuration = true;
        else if (value == "off" || value == "false" || value == "0" || value == "no") c.RandomizedDuration = false;
        else return "randomized must be on or off";
    } else if (key == "color" || key == "colour") {
        unsigned r, g, b;
        char extra;
        if (value.size() != 7 || std::sscanf(value.c_str(), "#%2x%2x%2x%c", &r, &g, &b, &extra) != 3)
            return "color must be #RRGGBB";
        c.Colors[1] = RGBColor{uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257)};
    } else if (key == "rect") {
        double l, t, r, b;
        char extra;
        if (std::sscanf(value.c_str(), "%lf,%lf,%lf,%lf%c", &l, &t, &r, &b, &extra) != 4 || !(l >= 0 && l < r && r <= 1) ||
            !(t >= 0 && t < b && b <= 1))
            return "rect must be L,T,R,B with 0 <= L < R <= 1 and 0 <= T < B <= 1";
        c.StartRel = RelRect{l, r, t, b};
    } else if (key == "media") {
        if (value == "ntsc" || value == "1") c.MediaType = 1;
        else if (value == "pal" || value == "2") c.MediaType = 2;
        else if (value == "hd" || value == "3") c.MediaType = 3;
        else return "media must be ntsc, pal or hd";
    } else {
        return "unknown key '" + key + "' (method, columns, rows, duration, randomized, color, rect, media)";
    }
    return {};
}

// Says once what became of a damaged file that the save just replaced.
void ReportMovedAside() {
    if (!PrefsMovedAside().empty())
        std::fprintf(stderr, "blockwaves: %s could not be read; moved it aside to %s\n", PrefsFilePath().c_str(),
                     PrefsMovedAside().c_str());
}

// The bundle reads the saved default and writes it back when it starts, silently whatever fails.
// The program does the same just before, with its own copy of that code, so that it can say once
// what went wrong; the bundle then finds the file as this left it.
void CheckSavedDefault() {
    Config config;
    MakePrefsFile();
    const std::string makeError = PrefsLastError();  // the first reason, when the file could not be made
    const bool read = ReadConfig(&config.rec);
    const std::string readError = PrefsLastError();
    if (!SaveConfig(&config.rec)) {
        std::fprintf(stderr, "blockwaves: %s; %s\n", (makeError.empty() ? PrefsLastError() : makeError).c_str(),
                     read ? "the saved settings are used as they are" : "the factory defaults are used");
    } else if (!PrefsMovedAside().empty()) {
        ReportMovedAside();
    } else if (!readError.empty()) {
        std::fprintf(stderr, "blockwaves: %s; the factory defaults are used\n", readError.c_str());
    }
}

int Prefs(int argc, char** argv) {
    const Args a = Parse(argc, argv, 2);
    if (Has(a, "--help")) return std::fputs(kPrefsHelp, stdout), 0;
    const std::string action = a.positional.empty() ? "show" : a.positional[0];
    if (action == "show") {
        if (a.positional.size() > 1) return Usage("show takes no values", kPrefsHelp);
        Config config;
        const bool hadSaved = ReadConfig(&config.rec);  // makes nothing, not even the folder
        ShowPrefs(config.rec);
        if (hadSaved) return kExitOK;
        if (!PrefsLastError().empty()) return Fail({kExitPrefs, PrefsLastError() + "; these are the factory defaults"});
        std::fprintf(stderr, "blockwaves: no saved settings yet; these are the factory defaults\n");
        return kExitOK;
    }
    if (action != "set" && action != "reset") return Usage("unknown prefs action '" + action + "'", kPrefsHelp);
    if (action == "set" && a.positional.size() < 2) return Usage("set needs KEY=VALUE", kPrefsHelp);
    // Every value is checked before the file is touched, then applied to the saved settings as
    // they are once this process holds the update (another writer's change is not lost).
    Config checked, config;
    for (size_t i = 1; i < a.positional.size() && action == "set"; i++) {
        const std::string error = ApplySetting(checked.rec, a.positional[i]);
        if (!error.empty()) {
            std::fprintf(stderr, "blockwaves: %s; nothing was changed\n", error.c_str());
            return kExitUsage;
        }
    }
    MakePrefsFile();
    const std::string makeError = PrefsLastError();
    if (action == "set") {
        ReadConfig(&config.rec);
        for (size_t i = 1; i < a.positional.size(); i++) ApplySetting(config.rec, a.positional[i]);
    }
    if (!SaveConfig(&config.rec))
        return Fail({kExitPrefs, (makeError.empty() ? PrefsLastError() : makeError) + "; nothing was changed"});
    ReportMovedAside();
    ShowPrefs(config.rec);
    return kExitOK;
}

media::GeneratorSettings DemoClip(media::Pattern kind) {
    media::GeneratorSettings clip;
    clip.Kind = kind;
    clip.Width = 1280;
    clip.Height = 720;
    clip.FrameCount = 100;
    return clip;
}

int Configure(int argc, char** argv) {
    const Args a = Parse(argc, argv, 2);
    const char* help =
        "usage: blockwaves configure [A [B]] [--variant between|before|after] [--speed S | --frames N]\n"
        "Opens the transition's settings dialog as a video editor's button does, previewing frames of the\n"
        "clips (generated clips for those not given). OK saves the settings as your default for every\n"
        "later render; Cancel changes nothing. Needs a display.\n";
    if (Has(a, "--help")) return std::fputs(help, stdout), 0;
    if (!a.error.empty()) return Usage(a.error, help);
    RenderOptions o;
    if (Failure f = ParseRenderOptions(a, o)) return Usage(f.message, help);
    const size_t clips = o.variant == Variant::Between ? 2 : 1;
    if (a.positional.size() > clips) return Usage("too many clips for this variant", help);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        return Fail({kExitPlugin, "cannot open the configuration dialog: no display (DISPLAY and WAYLAND_DISPLAY "
                                  "are not set)"});
    Input inputs[2];
    const media::Pattern generated[2] = {media::Pattern::Bars, media::Pattern::Gradient};
    for (size_t i = 0; i < clips; i++) {
        if (i < a.positional.size()) {
            if (Failure f = OpenInput(a.positional[i], inputs[i])) return Fail(f);
        } else {
            inputs[i].source = std::make_unique<media::GeneratedClip>(DemoClip(generated[i]));
        }
    }
    Failure failure;
    auto host = LoadHost(argv[0], failure);
    if (!host) return Fail(failure);
    int w, h;
    OutputSize(*inputs[0].source, o, w, h);
    int32_t frames = 0;
    if (Failure f = TransitionLength(*host, o.variant, o, frames)) return Fail(f);
    const std::vector<uint8_t> before = FileBytes(PrefsFilePath());
    if (Failure f = bw::Configure(*host, inputs[0], clips == 2 ? &inputs[1] : nullptr, o.variant, frames, w, h))
        return Fail(f);
    if (FileBytes(PrefsFilePath()) == before) {
        std::printf("blockwaves: your settings are unchanged\n");
    } else {
        std::printf("blockwaves: saved your settings in %s\n", PrefsFilePath().c_str());
    }
    return kExitOK;
}

int Demo(int argc, char** argv) {
    const Args a = Parse(argc, argv, 2);
    const char* help = "usage: blockwaves demo [-o OUT] [--quiet]\n"
                       "Joins two generated clips (moving colour bars with a 440 Hz tone, a moving gradient with\n"
                       "a 660 Hz tone) with your saved settings; writes out/demo.mp4 and a contact sheet beside it.\n";
    if (Has(a, "--help")) return std::fputs(help, stdout), 0;
    RenderOptions o;
    if (Failure f = ParseRenderOptions(a, o)) return Usage(f.message, help);
    if (o.output.empty()) o.output = "out/demo.mp4";
    const std::filesystem::path out(o.output);
    if (out.has_parent_path()) std::filesystem::create_directories(out.parent_path());
    const media::GeneratorSettings bars = DemoClip(media::Pattern::Bars);
    const media::GeneratorSettings gradient = DemoClip(media::Pattern::Gradient);
    Input first, second;
    first.source = std::make_unique<media::GeneratedClip>(bars);
    second.source = std::make_unique<media::GeneratedClip>(gradient);
    Failure failure;
    auto host = LoadHost(argv[0], failure);
    if (!host) return Fail(failure);
    RenderReport report;
    if (Failure f = bw::Render(*host, first, &second, o, &report)) return Fail(f);
    std::filesystem::path sheet = out;
    sheet.replace_filename(out.stem().string() + "-sheet.png");
    Input sa, sb;
    sa.source = std::make_unique<media::GeneratedClip>(bars);
    sb.source = std::make_unique<media::GeneratedClip>(gradient);
    if (Failure f = Sheet(*host, sa, sb, o, sheet.string())) return Fail(f);
    std::printf("blockwaves: wrote %s (%d frames, transition %d frames) and %s\n", o.output.c_str(),
                report.totalFrames, report.transitionFrames, sheet.string().c_str());
    return kExitOK;
}
}  // namespace
}  // namespace bw

int main(int argc, char** argv) {
    using namespace bw;
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "help")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? kExitUsage : kExitOK;
    }
    const std::string command = argv[1];
    try {
        if (command == "render") return Render(argc, argv);
        if (command == "demo") return Demo(argc, argv);
        if (command == "info") return Info(argc, argv);
        if (command == "thumbnail") return SheetOrThumbnail(argc, argv, false);
        if (command == "sheet") return SheetOrThumbnail(argc, argv, true);
        if (command == "prefs") return Prefs(argc, argv);
        if (command == "configure") return Configure(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "blockwaves: %s\n", e.what());
        return kExitFailed;
    }
    std::fprintf(stderr, "blockwaves: unknown command '%s'\n%s", command.c_str(), kUsage);
    return kExitUsage;
}
