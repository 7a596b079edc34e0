// blockwaves: renders block transitions between video files with the Blockwaves! Transitions
// bundle, driving it through its entry point as a video editor does. The command line is parsed
// with CLI11: every command's options, checks and help text come from the definitions below.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "editor/cli/render.h"
#include "editor/media/ClipReader.h"
#include "editor/media/ClipWriter.h"
#include "editor/media/Generators.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace bw {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
const Clock::time_point lgStarted = Clock::now();

int Fail(const Failure& f) {
    std::fprintf(stderr, "blockwaves: %s\n", f.message.c_str());
    return f.status;
}

double Seconds(const std::string& text);

// What the render-like commands take; each command adds the options it uses.
struct Command {
    RenderOptions o;
    std::vector<std::string> clips;
    std::string variant = "between", size;
    bool overwrite = false, never = false;
    double stillSeconds = 5;
    std::vector<std::string> settings;   // KEY=VALUE for this render only, checked by the parser
    std::vector<std::pair<std::string, std::string>> settingOptions;   // KEY and the option it came from
    std::string settingsFile;            // a saved preferences file to render with instead of yours
    bool dryRun = false;                 // print the plan, decode and write nothing
    struct Trim {
        double start = 0, length = -1;   // seconds; length < 0: to the clip's end
        std::string framerate;           // an image sequence's rate (-framerate)
    };
    std::vector<Trim> trims;             // per clip, from -ss, -t and -to before it
    std::vector<std::string> overlap;    // transition lengths as frames ("60") or seconds ("2.4s", "0:02.4")
};

// An --overlap value in frames at `rate`: "60" frames, "2.4s" or "0:02.4" seconds; 0 when it is none.
int32_t OverlapFrames(const std::string& text, media::Rational rate) {
    double seconds = -1;
    if (!text.empty() && text.back() == 's') seconds = Seconds(text.substr(0, text.size() - 1));
    else if (text.find(':') != std::string::npos) seconds = Seconds(text);
    else if (text.find_first_not_of("0123456789") == std::string::npos && !text.empty() && text.size() < 7)
        return std::stoi(text);
    return seconds > 0 ? int32_t(std::min(100000L, std::lround(seconds * rate.ToDouble()))) : 0;
}

const char* kOutputKinds =
    "OUT: .mp4 .mov .mkv (H.264, AAC), .webm (VP9, Opus; AV1 above 4K), frames/%05d.png, .y4m, or null (write nothing).\n"
    "An existing OUT is replaced only with -y (never with -n; a terminal is asked); an input never is.\n";

void AddLength(CLI::App* app, Command& c) {
    auto* speed = app->add_option("--speed", c.o.speed, "the editor's speed setting (0.5: 66 frames)")
                      ->check(CLI::Range(0.0, 1.0))
                      ->type_name("0..1");
    app->add_option("--frames", c.o.frames, "the transition's length in frames instead of a speed")
        ->check(CLI::Range(1, 100000))
        ->type_name("N")
        ->excludes(speed);
}

void AddVariant(CLI::App* app, Command& c) {
    app->add_option("--variant", c.variant,
                    "between two clips (default; needs A and B), the colour giving way to the clip (before), "
                    "or the clip giving way to the colour (after)")
        ->check(CLI::IsMember({"between", "before", "after"}))
        ->type_name("between|before|after");
}

void AddSize(CLI::App* app, Command& c) {
    app->add_option("--size", c.size, "output size (default: the first clip's display size)")
        ->type_name("WxH")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                int w = 0, h = 0;
                char extra = 0;
                if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &extra) != 2 || w < 2 || h < 2 || w > 8192 ||
                    h > 8192)
                    return "must be WIDTHxHEIGHT, each from 2 to 8192";
                return {};
            },
            "WxH"));
}

void AddOutput(CLI::App* app, Command& c, const char* what, bool required) {
    app->add_option("-o,--output", c.o.output, what)->type_name("OUT")->required(required);
    auto* y = app->add_flag("-y", c.overwrite, "replace an existing output without asking");
    app->add_flag("-n", c.never, "never replace an existing output")->excludes(y);
    app->add_flag("--quiet", c.o.quiet, "no progress bar and no summary");
}

void AddStill(CLI::App* app, Command& c) {
    app->add_option("--still-duration", c.stillSeconds, "how long a still picture input lasts (default 5)")
        ->check(CLI::Range(0.04, 3600.0))
        ->type_name("SECONDS");
}

// Fills the options the parser could not type: the variant and the size.
void Finish(Command& c) {
    c.o.variant = c.variant == "before" ? Variant::Before : c.variant == "after" ? Variant::After : Variant::Between;
    if (!c.size.empty()) std::sscanf(c.size.c_str(), "%dx%d", &c.o.width, &c.o.height);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

// The output may be written: never over an input; over another existing file or a sequence's
// folder with -y, never with -n, after a yes from a terminal, else refused.
Failure CheckOutput(const Command& c, const std::string& out, const std::vector<std::string>& inputs) {
    if (out == "null" || out == "-") return {};
    for (const std::string& in : inputs)
        if (SameFile(out, in)) return {kExitUsage, out + ": is also an input; the output must be another file"};
    media::OutputKind kind;
    const bool video = media::OutputKindForPath(out, kind).Ok();
    std::error_code ec;
    if (video ? !media::OutputExists(out) : !fs::exists(fs::symlink_status(out, ec))) return {};
    const bool sequence = video && kind == media::OutputKind::PngSequence;
    const std::string folder = fs::path(out).parent_path().empty() ? "." : fs::path(out).parent_path().string();
    const std::string what = sequence ? "the folder " + folder + " is not empty" : out + " exists";
    if (c.overwrite) return {};
    if (c.never) return {kExitOutput, what + "; not replaced (-n)"};
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "blockwaves: %s. %s [y/N] ", what.c_str(),
                     sequence ? "Replace the frames of this pattern in it?" : "Overwrite?");
        std::string answer;
        std::getline(std::cin, answer);
        if (!answer.empty() && (answer[0] == 'y' || answer[0] == 'Y')) return {};
        return {kExitOutput, what + "; not replaced"};
    }
    return {kExitOutput, what + "; give -y to replace " + (sequence ? "its frames of this pattern" : "it") +
                             " or -n to keep it"};
}

void CheckSavedDefault();
Failure LoadHosts(const Command& c, const char* argv0, size_t transitions,
                  std::vector<std::unique_ptr<PluginHost>>& hosts, std::vector<PluginHost*>& perTransition);
Failure SaveStandardInput(std::string& path);
std::string SettingsListError(const Command& c, size_t transitions);
std::string TransitionCount(size_t transitions);
std::string FrameTime(int64_t frame, media::Rational rate, double offset);
int PrintPlan(const Command& c, const std::vector<PluginHost*>& hosts, std::vector<Input*>& inputs);

std::unique_ptr<PluginHost> LoadHost(const char* /*argv0*/, Failure& failure) {
    CheckSavedDefault();
    std::string error;
    const std::string path = DefaultBundlePath();
    auto host = PluginHost::Load(path, error);
    if (!host) failure = {kExitPlugin, error};
    return host;
}

// Opens a clip and says once what its reader noticed (sound it cannot decode, HDR untouched).
Failure Open(const std::string& path, Input& input, double stillSeconds, const std::string& sequenceRate = {}) {
    if (Failure f = OpenInput(path, input, stillSeconds, sequenceRate)) return f;
    if (auto* reader = dynamic_cast<media::ClipReader*>(input.source.get()); reader && !reader->Info().Warning.empty())
        std::fprintf(stderr, "blockwaves: %s\n", reader->Info().Warning.c_str());
    return {};
}

// Ctrl-C and SIGTERM end a render between frames, with its temporary output removed; a second
// one ends the program at once.
void OnStopSignal(int signal) { RequestStop(signal); }
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// An early end names the option that uses such a clip anyway.
int FailRender(const Failure& f) {
    if (f.endedEarly)
        return Fail({f.status, f.message + "; give --allow-short to use it as far as it decodes"});
    return Fail(f);
}

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// "wrote out.mp4: 140 frames in 1.2 s, transition 1 at frames 20..39 (20 frames), transition 2 at ...".
std::string Summary(const std::string& output, const RenderReport& report) {
    char text[128];
    std::snprintf(text, sizeof text, ": %d frames in %.1f s", report.totalFrames, report.seconds);
    std::string line = "wrote " + (output == "-" ? std::string("standard output") : output) + text;
    const size_t n = report.transitions.size();
    for (size_t k = 0; k < n; k++) {
        const TransitionSpan& t = report.transitions[k];
        std::snprintf(text, sizeof text, " at frames %d..%d (%d frames)", t.start, t.start + t.frames - 1, t.frames);
        line += ", transition" + (n > 1 ? " " + std::to_string(k + 1) : std::string()) + text;
    }
    return line;
}

int Render(Command& c, const char* argv0) {
    Finish(c);
    const bool between = c.o.variant == Variant::Between;
    if (between ? c.clips.size() < 2 : c.clips.size() != 1)
        return Fail({kExitUsage, (between ? "render between clips takes two clips or more, A B ... (or give --variant)"
                                          : "render --variant " + c.variant + " takes one clip") +
                                     ", not " + std::to_string(c.clips.size())});
    const size_t transitions = between ? c.clips.size() - 1 : 1;
    if (const std::string e = SettingsListError(c, transitions); !e.empty()) return Fail({kExitUsage, e});
    const size_t lengths = std::max(c.o.transitionFrames.size(), c.overlap.size());
    if (lengths > 1 && lengths != transitions)
        return Fail({kExitUsage, std::string(c.overlap.empty() ? "--frames" : "--overlap") + " gives " +
                                     std::to_string(lengths) + " lengths for " + TransitionCount(transitions)});
    if (media::OutputKind kind; !media::OutputKindForPath(c.o.output, kind))
        return Fail({kExitUsage, media::OutputKindForPath(c.o.output, kind).Error});
    if (!c.dryRun)
        if (Failure f = CheckOutput(c, c.o.output, c.clips)) return Fail(f);
    CatchStopSignals();
    std::vector<Input> opened(c.clips.size());
    std::vector<Input*> inputs;
    if (std::count(c.clips.begin(), c.clips.end(), "-") > 1) return Fail({kExitUsage, "only one clip can come from standard input"});
    for (size_t i = 0; i < c.clips.size(); i++) {
        if (c.clips[i] == "-")
            if (Failure f = SaveStandardInput(c.clips[i])) return Fail(f);
        if (Failure f = Open(c.clips[i], opened[i], c.stillSeconds, i < c.trims.size() ? c.trims[i].framerate : ""))
            return Fail(f);
        if (i < c.trims.size()) {
            opened[i].trimStart = c.trims[i].start;
            opened[i].trimLength = c.trims[i].length;
            const double length = double(opened[i].source->FrameCount()) / opened[i].source->FrameRate().ToDouble();
            if (c.trims[i].start >= length)
                return Fail({kExitUsage, c.clips[i] + ": -ss " + FrameTime(0, {1, 1}, c.trims[i].start) +
                                             " is at or past its end (" + FrameTime(0, {1, 1}, length) + ")"});
        }
        inputs.push_back(&opened[i]);
    }
    for (const std::string& v : c.overlap)
        c.o.transitionFrames.push_back(std::clamp(OverlapFrames(v, opened[0].source->FrameRate()), 1, 100000));
    std::vector<std::unique_ptr<PluginHost>> loaded;
    std::vector<PluginHost*> hosts;
    if (Failure f = LoadHosts(c, argv0, transitions, loaded, hosts)) return Fail(f);
    if (c.dryRun) return PrintPlan(c, hosts, inputs);
    RenderReport report;
    const double beforeRender = Since(lgStarted);
    if (Failure f = bw::Render(hosts, inputs, c.o, &report)) return FailRender(f);
    if (report.shortened > 0 && !c.o.quiet)
        std::fprintf(stderr, "blockwaves: used a clip that ends early as far as it decodes (--allow-short)\n");
    if (!c.o.quiet) std::fprintf(stderr, "blockwaves: %s\n", Summary(c.o.output, report).c_str());
    if (c.o.stats) {
        // Wall clock time, and how long each stage was busy. Writing runs on its own thread beside
        // reading and the transition, so the stages need not add up to the wall clock time.
        const double wall = Since(lgStarted);
        std::fprintf(stderr,
                     "time: %.3f s wall clock, %d frames, %.1f fps\n"
                     "  setting up (clips, bundle, output)          %.3f s\n"
                     "  reading clips (decode, scale, convert)      %.3f s\n"
                     "  transition frames (blit, effect, mix)       %.3f s\n"
                     "  writing (convert, encode), its own thread   %.3f s\n"
                     "  waiting for the writing thread              %.3f s\n",
                     wall, report.totalFrames, report.totalFrames / std::max(1e-9, wall),
                     beforeRender + report.setupSeconds, report.readSeconds, report.transitionSeconds,
                     report.writeSeconds, report.waitSeconds);
    }
    return kExitOK;
}

const std::vector<double> kSheetFractions = {0, 0.10, 0.25, 0.50, 0.75, 0.90, 1.0};
const std::vector<std::string> kSheetCaptions = {"0%", "10%", "25%", "50%", "75%", "90%", "100%"};

Failure Sheet(PluginHost& host, Input& a, Input& b, const RenderOptions& o, const std::string& path, int32_t& frames) {
    int w, h;
    OutputSize(*a.source, o, w, h);
    if (Failure f = TransitionLength(host, Variant::Between, o, frames)) return f;
    std::vector<GWorldPtr> stills;
    Failure f = RenderStills(host, a, &b, Variant::Between, frames, w, h, kSheetFractions, stills);
    if (!f) f = WriteContactSheet(stills, kSheetCaptions, 240, path);
    for (GWorldPtr gw : stills) DisposeGWorld(gw);
    return f;
}

bool EndsWithPng(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    return ext.size() == 4 && std::tolower(uint8_t(ext[1])) == 'p' && std::tolower(uint8_t(ext[2])) == 'n' &&
           std::tolower(uint8_t(ext[3])) == 'g';
}

int SheetOrThumbnail(Command& c, const char* argv0, bool sheet) {
    Finish(c);
    const char* name = sheet ? "sheet" : "thumbnail";
    if (c.clips.size() != 2) return Fail({kExitUsage, std::string(name) + " needs two clips, A and B"});
    if (!EndsWithPng(c.o.output))
        return Fail({kExitUsage, std::string(name) + " writes a PNG picture: give a name ending in .png, not '" +
                                     c.o.output + "'"});
    if (Failure f = CheckOutput(c, c.o.output, c.clips)) return Fail(f);
    CatchStopSignals();
    Input first, second;
    if (Failure f = Open(c.clips[0], first, c.stillSeconds)) return Fail(f);
    if (Failure f = Open(c.clips[1], second, c.stillSeconds)) return Fail(f);
    Failure failure;
    auto host = LoadHost(argv0, failure);
    if (!host) return Fail(failure);
    int w, h;
    OutputSize(*first.source, c.o, w, h);
    int32_t frames = 0;
    if (sheet) {
        if (Failure f = Sheet(*host, first, second, c.o, c.o.output, frames)) return FailRender(f);
        if (!c.o.quiet)
            std::fprintf(stderr,
                         "blockwaves: wrote %s: the transition (%d frames) at 0, 10, 25, 50, 75, 90 and 100 %%, "
                         "7 pictures 240 pixels wide\n",
                         c.o.output.c_str(), frames);
        return kExitOK;
    }
    if (Failure f = TransitionLength(*host, Variant::Between, c.o, frames)) return Fail(f);
    if (Failure f = WriteThumbnail(*host, first, second, frames, w, h, c.o.output)) return FailRender(f);
    if (!c.o.quiet)
        std::fprintf(stderr, "blockwaves: wrote %s: the transition's picture at its middle, %d x %d\n",
                     c.o.output.c_str(), w, h);
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

int Info(Command& c, const char* argv0) {
    Failure failure;
    auto host = LoadHost(argv0, failure);
    if (!host) return Fail(failure);
    host->speed = c.o.speed;
    std::printf("Blockwaves! Transitions, speed %.2f\n", c.o.speed);
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
        // Exactly '#' and six hex digits: sscanf's %x alone would skip spaces inside.
        unsigned r, g, b;
        if (value.size() != 7 || value[0] != '#' ||
            !std::all_of(value.begin() + 1, value.end(), [](char ch) { return std::isxdigit(uint8_t(ch)) != 0; }) ||
            std::sscanf(value.c_str(), "#%2x%2x%2x", &r, &g, &b) != 3)
            return "color must be #RRGGBB (six hex digits), not '" + value + "'";
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

// Says once what became of a damaged file that the save just replaced, and what follows.
void ReportMovedAside(const char* then) {
    if (!PrefsMovedAside().empty())
        std::fprintf(stderr, "blockwaves: %s could not be read; moved it aside to %s%s\n", PrefsFilePath().c_str(),
                     PrefsMovedAside().c_str(), then);
}

// A file with content that still gave no settings: a record of another version or a damaged one,
// which ReadConfig refuses without a reason of its own.
bool HoldsUnreadableRecord(bool hadData, bool read) {
    return hadData && !read && PrefsLastError().empty();
}

bool PrefsFileHasData() {
    std::error_code ec;
    const std::string path = PrefsFilePath();
    return !path.empty() && std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0 && !ec;
}

// The bundle reads the saved default and writes it back when it starts, silently whatever fails.
// The program does the same just before, with its own copy of that code, so that it can say once
// what went wrong; the bundle then finds the file as this left it.
void CheckSavedDefault() {
    Config config;
    const bool hadData = PrefsFileHasData();
    MakePrefsFile();
    const std::string makeError = PrefsLastError();  // the first reason, when the file could not be made
    const bool read = ReadConfig(&config.rec);
    const std::string readError = PrefsLastError();
    const bool unreadable = HoldsUnreadableRecord(hadData, read);
    if (!SaveConfig(&config.rec)) {
        std::fprintf(stderr, "blockwaves: %s; %s\n", (makeError.empty() ? PrefsLastError() : makeError).c_str(),
                     read ? "the saved settings are used as they are" : "the factory defaults are used");
    } else if (!PrefsMovedAside().empty()) {
        ReportMovedAside("; the factory defaults are used");
    } else if (!readError.empty()) {
        std::fprintf(stderr, "blockwaves: %s; the factory defaults are used\n", readError.c_str());
    } else if (unreadable) {
        std::fprintf(stderr, "blockwaves: %s holds no settings this version can read; the factory defaults are used "
                             "and saved over them\n", PrefsFilePath().c_str());
    }
}

int PrefsShow() {
    Config config;
    const bool hadData = PrefsFileHasData();
    const bool hadSaved = ReadConfig(&config.rec);  // makes nothing, not even the folder
    ShowPrefs(config.rec);
    if (hadSaved) return kExitOK;
    if (!PrefsLastError().empty()) return Fail({kExitPrefs, PrefsLastError() + "; these are the factory defaults"});
    if (HoldsUnreadableRecord(hadData, hadSaved))
        return Fail({kExitPrefs, "cannot read " + PrefsFilePath() +
                                     ": it holds no settings this version can read; these are the factory defaults"});
    std::fprintf(stderr, "blockwaves: no saved settings yet; these are the factory defaults\n");
    return kExitOK;
}

// prefs set KEY=VALUE ... (or reset, with no items).
int PrefsWrite(const std::vector<std::string>& items) {
    // Every value is checked before the file is touched, then applied to the saved settings as
    // they are once this process holds the update (another writer's change is not lost).
    Config checked, config;
    for (const std::string& item : items) {
        const std::string error = ApplySetting(checked.rec, item);
        if (!error.empty()) {
            std::fprintf(stderr, "blockwaves: %s; nothing was changed\n", error.c_str());
            return kExitUsage;
        }
    }
    MakePrefsFile();
    const std::string makeError = PrefsLastError();
    if (!items.empty()) {
        ReadConfig(&config.rec);
        for (const std::string& item : items) ApplySetting(config.rec, item);
    }
    if (!SaveConfig(&config.rec))
        return Fail({kExitPrefs, (makeError.empty() ? PrefsLastError() : makeError) + "; nothing was changed"});
    ReportMovedAside("");
    ShowPrefs(config.rec);
    return kExitOK;
}

std::vector<std::string> SplitList(const std::string& text, char separator = ',') {
    std::vector<std::string> items;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        items.push_back(text.substr(from, at - from));
    items.push_back(text.substr(from));
    return items;
}

// A settings list's values, one per transition. A rect holds commas of its own: rects are
// separated by '/', which a shell passes as it is (--rect 0,0,1,1/0.1,0.1,0.9,0.9).
char ListSeparator(const std::string& key) { return key == "rect" ? '/' : ','; }

// The KEY=VALUE items of transition k: each list's kth value, or its only one.
std::vector<std::string> SettingsFor(const Command& c, size_t k) {
    std::vector<std::string> items;
    for (const std::string& item : c.settings) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::vector<std::string> values = SplitList(item.substr(eq + 1), ListSeparator(key));
        items.push_back(key + "=" + values[std::min(k, values.size() - 1)]);
    }
    return items;
}

std::string TransitionCount(size_t transitions) {
    return std::to_string(transitions) + (transitions == 1 ? " transition" : " transitions");
}

// The longest settings list, when it does not fit the transitions: an error naming the option given.
std::string SettingsListError(const Command& c, size_t transitions) {
    for (const std::string& item : c.settings) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const size_t n = SplitList(item.substr(eq + 1), ListSeparator(key)).size();
        std::string option = key;
        for (const auto& [k, o] : c.settingOptions)
            if (k == key) option = o;
        if (n > 1 && n != transitions)
            return option + " gives " + std::to_string(n) + " values for " + TransitionCount(transitions);
    }
    return {};
}

// The bundle reads its settings only from its saved default, as in an editor. A render with its
// own settings gets a default of its own: a preferences file made for it in a private folder,
// which XDG_CONFIG_HOME points at before the bundle is loaded; the folder goes when the program ends.
// The bundle keeps the default it read for as long as it is loaded: transitions with other
// settings get a copy of the bundle of their own, loaded while XDG_CONFIG_HOME points at theirs.
std::string lgPrivateConfig;                  // the folder XDG_CONFIG_HOME points at now
std::vector<std::string> lgPrivateConfigs;    // every one made, removed at exit
void RemovePrivateConfigs() {
    std::error_code ec;
    for (const std::string& dir : lgPrivateConfigs) fs::remove_all(dir, ec);
}

std::optional<std::string> lgUserConfigHome;   // XDG_CONFIG_HOME as the program found it
std::vector<std::string> lgTransitionConfigs;  // each transition's private folder; empty: your default
void RestoreUserConfigHome() {
    if (lgPrivateConfigs.empty()) return;
    if (lgUserConfigHome) setenv("XDG_CONFIG_HOME", lgUserConfigHome->c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

Failure MakePrivateConfig() {
    if (lgPrivateConfigs.empty())
        if (const char* home = std::getenv("XDG_CONFIG_HOME")) lgUserConfigHome = home;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/blockwaves-settings-XXXXXX";
    if (!mkdtemp(pattern.data())) return {kExitFailed, "cannot make a private settings folder in " + pattern + ": " + std::strerror(errno)};
    lgPrivateConfig = pattern;
    if (lgPrivateConfigs.empty()) std::atexit(RemovePrivateConfigs);
    lgPrivateConfigs.push_back(pattern);
    return {};
}

// Reads a preferences file given by name through a private folder; the settings stay there.
Failure ReadPrefsFile(const std::string& file, Config& config) {
    if (Failure f = MakePrivateConfig()) return f;
    setenv("XDG_CONFIG_HOME", lgPrivateConfig.c_str(), 1);
    std::error_code ec;
    fs::copy_file(file, PrefsFilePath(), fs::copy_options::overwrite_existing, ec);
    if (ec) return {kExitPrefs, "cannot read " + file + ": " + ec.message()};
    if (!ReadConfig(&config.rec))
        return {kExitPrefs, file + ": not a preferences file, or one this version cannot read"};
    return {};
}

// Makes the default of a render whose transitions use `items`, and points XDG_CONFIG_HOME at it.
Failure UseRenderSettings(const Command& c, const std::vector<std::string>& items) {
    if (c.settings.empty() && c.settingsFile.empty()) return {};
    Config config;
    if (!c.settingsFile.empty()) {
        if (Failure f = ReadPrefsFile(c.settingsFile, config)) return f;
    } else {
        RestoreUserConfigHome();
        ReadConfig(&config.rec);   // your saved default, or the factory one
        if (Failure f = MakePrivateConfig()) return f;
        setenv("XDG_CONFIG_HOME", lgPrivateConfig.c_str(), 1);
    }
    for (const std::string& item : items) ApplySetting(config.rec, item);
    MakePrefsFile();
    if (!SaveConfig(&config.rec)) return {kExitPrefs, PrefsLastError()};
    return {};
}

// A clip read from standard input ("-") is saved whole to a private file first, since clips are
// read more than once; `path` becomes that file.
Failure SaveStandardInput(std::string& path) {
    if (Failure f = MakePrivateConfig()) return f;
    const std::string file = lgPrivateConfig + "/standard-input";
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return {kExitFailed, "cannot save standard input to " + file + ": " + std::strerror(errno)};
    std::vector<char> buffer(1 << 16);
    size_t n = 0, total = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
        total += n;
        if (std::fwrite(buffer.data(), 1, n, out) != n) {
            std::fclose(out);
            return {kExitFailed, "cannot save standard input to " + file + ": " + std::strerror(errno)};
        }
    }
    if (std::fclose(out) != 0 || std::ferror(stdin))
        return {kExitBadInput, "standard input could not be read whole"};
    if (total == 0) return {kExitBadInput, "standard input: nothing came"};
    path = file;
    return {};
}

// One loaded bundle per distinct settings among the transitions, in transition order.
Failure LoadHosts(const Command& c, const char* argv0, size_t transitions,
                  std::vector<std::unique_ptr<PluginHost>>& hosts, std::vector<PluginHost*>& perTransition) {
    std::vector<std::vector<std::string>> sets;
    std::vector<std::string> folders;   // each set's private folder
    for (size_t k = 0; k < transitions; k++) {
        const std::vector<std::string> items = SettingsFor(c, k);
        const auto found = std::find(sets.begin(), sets.end(), items);
        if (found != sets.end()) {
            perTransition.push_back(hosts[size_t(found - sets.begin())].get());
            lgTransitionConfigs.push_back(folders[size_t(found - sets.begin())]);
            continue;
        }
        if (Failure f = UseRenderSettings(c, items)) return f;
        folders.push_back(c.settings.empty() && c.settingsFile.empty() ? std::string() : lgPrivateConfig);
        lgTransitionConfigs.push_back(folders.back());
        std::string bundle = DefaultBundlePath();
        if (!sets.empty()) {
            // The same bundle under another path loads as another copy, with a master default of its own.
            const fs::path copy = fs::path(lgPrivateConfig) / fs::path(bundle).filename();
            std::error_code ec;
            fs::copy(bundle, copy, fs::copy_options::recursive, ec);
            if (ec) return {kExitPlugin, "cannot copy the bundle for a transition's own settings: " + ec.message()};
            bundle = copy.string();
        }
        Failure failure;
        std::string error;
        auto host = sets.empty() ? LoadHost(argv0, failure) : PluginHost::Load(bundle, error);
        if (!host) return failure ? failure : Failure{kExitPlugin, error};
        host->GetInfo(int16_t(c.o.variant));   // its first call: the bundle reads its default now
        sets.push_back(items);
        perTransition.push_back(host.get());
        hosts.push_back(std::move(host));
    }
    return {};
}

// prefs export FILE: your saved default (or the factory one) as a file for another user or project.
int PrefsExport(const std::string& file) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) return Fail({kExitOutput, file + " exists; not replaced"});
    Config config;
    ReadConfig(&config.rec);
    if (Failure f = MakePrivateConfig()) return Fail(f);
    setenv("XDG_CONFIG_HOME", lgPrivateConfig.c_str(), 1);
    MakePrefsFile();
    if (!SaveConfig(&config.rec)) return Fail({kExitPrefs, PrefsLastError()});
    fs::copy_file(PrefsFilePath(), file, ec);
    if (ec) return Fail({kExitOutput, "cannot write " + file + ": " + ec.message()});
    std::printf("blockwaves: wrote your settings to %s\n", file.c_str());
    return kExitOK;
}

// prefs import FILE: adopts the settings of a file made by prefs export as your saved default.
int PrefsImport(const std::string& file) {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = home ? home : "";
    Config config;
    if (Failure f = ReadPrefsFile(file, config)) return Fail(f);
    if (home) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    MakePrefsFile();
    if (!SaveConfig(&config.rec)) return Fail({kExitPrefs, PrefsLastError() + "; nothing was changed"});
    ShowPrefs(config.rec);
    return kExitOK;
}

std::string FrameTime(int64_t frame, media::Rational rate, double offset) {
    const double seconds = offset + double(frame) * rate.Den / std::max(1, rate.Num);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%05.2f", int(seconds) / 60, std::fmod(seconds, 60.0));
    return text;
}

// render --dry-run: each clip's frames used, the transitions' frames and settings, the output.
int PrintPlan(const Command& c, const std::vector<PluginHost*>& hosts, std::vector<Input*>& inputs) {
    RenderPlan plan;
    if (Failure f = PlanRender(*hosts[0], inputs, c.o, plan)) return Fail(f);
    const media::Rational r = plan.rate;
    for (const RenderPlan::ClipUse& u : plan.clips)
        std::printf("clip %s: frames %d..%d of %d (%s to %s in the file)\n", u.name.c_str(), u.from, u.to - 1, u.of,
                    FrameTime(u.from, r, u.start).c_str(), FrameTime(u.to, r, u.start).c_str());
    for (size_t k = 0; k < plan.transitions.size(); k++) {
        const TransitionSpan& t = plan.transitions[k];
        Config own;   // the default the bundle of this transition was loaded with
        if (k < lgTransitionConfigs.size() && !lgTransitionConfigs[k].empty())
            setenv("XDG_CONFIG_HOME", lgTransitionConfigs[k].c_str(), 1);
        ReadConfig(&own.rec);
        const PluginDataRec& s = own.rec;
        std::printf("transition %s: output frames %d..%d (%d frames, %s), method %d, %dx%d tiles, tile duration "
                    "%d %%, randomized %s, color %s, rect %g,%g,%g,%g\n",
                    c.variant.c_str(), t.start, t.start + t.frames - 1, t.frames, FrameTime(t.frames, r, 0).c_str(),
                    s.Method, s.Sliders[1], s.Sliders[2], s.Sliders[3], s.RandomizedDuration ? "on" : "off",
                    Hex(s.Colors[1]).c_str(), s.StartRel.Left, s.StartRel.Top, s.StartRel.Right, s.StartRel.Bottom);
    }
    media::OutputKind kind;
    media::OutputKindForPath(c.o.output, kind);
    std::printf("output %s: %s, %dx%d, %g fps, %d frames (%s)%s\n", c.o.output.c_str(),
                media::OutputKindName(kind, plan.width, plan.height), plan.width, plan.height, r.ToDouble(), plan.totalFrames, FrameTime(plan.totalFrames, r, 0).c_str(),
                media::OutputHasAudio(kind) ? (", " + media::LayoutName(plan.soundLayout) + " sound").c_str() : "");
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

int Configure(Command& c, const char* argv0) {
    Finish(c);
    const size_t clips = c.o.variant == Variant::Between ? 2 : 1;
    if (c.clips.size() > clips) return Fail({kExitUsage, "too many clips for this variant"});
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        return Fail({kExitPlugin, "cannot open the configuration dialog: no display (DISPLAY and WAYLAND_DISPLAY "
                                  "are not set)"});
    Input inputs[2];
    const media::Pattern generated[2] = {media::Pattern::Bars, media::Pattern::Gradient};
    for (size_t i = 0; i < clips; i++) {
        if (i < c.clips.size()) {
            if (Failure f = Open(c.clips[i], inputs[i], c.stillSeconds)) return Fail(f);
        } else {
            inputs[i].source = std::make_unique<media::GeneratedClip>(DemoClip(generated[i]));
        }
    }
    Failure failure;
    auto host = LoadHost(argv0, failure);
    if (!host) return Fail(failure);
    int w, h;
    OutputSize(*inputs[0].source, c.o, w, h);
    int32_t frames = 0;
    if (Failure f = TransitionLength(*host, c.o.variant, c.o, frames)) return Fail(f);
    const std::vector<uint8_t> before = FileBytes(PrefsFilePath());
    if (Failure f = bw::Configure(*host, inputs[0], clips == 2 ? &inputs[1] : nullptr, c.o.variant, frames, w, h))
        return Fail(f);
    if (FileBytes(PrefsFilePath()) == before) {
        std::printf("blockwaves: your settings are unchanged\n");
    } else {
        std::printf("blockwaves: saved your settings in %s\n", PrefsFilePath().c_str());
    }
    return kExitOK;
}

int Demo(Command& c, const char* argv0) {
    Finish(c);
    if (c.o.output.empty()) c.o.output = "out/demo.mp4";
    const fs::path out(c.o.output);
    fs::path sheet = out;
    sheet.replace_filename(out.stem().string() + "-sheet.png");
    if (media::OutputKind kind; !media::OutputKindForPath(c.o.output, kind))
        return Fail({kExitUsage, media::OutputKindForPath(c.o.output, kind).Error});
    for (const std::string& path : {c.o.output, sheet.string()})
        if (Failure f = CheckOutput(c, path, {})) return Fail(f);
    if (out.has_parent_path()) fs::create_directories(out.parent_path());
    CatchStopSignals();
    const media::GeneratorSettings bars = DemoClip(media::Pattern::Bars);
    const media::GeneratorSettings gradient = DemoClip(media::Pattern::Gradient);
    Input first, second;
    first.source = std::make_unique<media::GeneratedClip>(bars);
    second.source = std::make_unique<media::GeneratedClip>(gradient);
    Failure failure;
    auto host = LoadHost(argv0, failure);
    if (!host) return Fail(failure);
    RenderReport report;
    std::vector<Input*> inputs{&first, &second};
    if (Failure f = bw::Render({host.get()}, inputs, c.o, &report)) return Fail(f);
    Input sa, sb;
    sa.source = std::make_unique<media::GeneratedClip>(bars);
    sb.source = std::make_unique<media::GeneratedClip>(gradient);
    int32_t frames = 0;
    if (Failure f = Sheet(*host, sa, sb, c.o, sheet.string(), frames)) return Fail(f);
    std::printf("blockwaves: wrote %s (%d frames, transition %d frames) and %s\n", c.o.output.c_str(),
                report.totalFrames, report.transitions.empty() ? 0 : report.transitions[0].frames,
                sheet.string().c_str());
    return kExitOK;
}

// --- The command line ---

size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The nearest of `names` to a mistyped word, when it is near enough to be meant.
std::string Nearest(const std::string& word, const std::vector<std::string>& names) {
    std::string best;
    size_t bestDistance = 3;
    for (const std::string& name : names) {
        const size_t d = Distance(word, name);
        if (d < bestDistance || (name.size() > 2 && word.size() > 2 && name.rfind(word, 0) == 0 && bestDistance > 1)) {
            best = name;
            bestDistance = std::min(d, size_t(1));
        }
    }
    return best;
}

std::vector<std::string> OptionNames(const CLI::App* app) {
    std::vector<std::string> names;
    for (const CLI::Option* opt : app->get_options()) {
        for (const std::string& n : opt->get_lnames()) names.push_back("--" + n);
        for (const std::string& n : opt->get_snames()) names.push_back("-" + n);
    }
    return names;
}

// The innermost command given, for messages and help: "render", "prefs set", or "" at the top.
const CLI::App* Innermost(const CLI::App& app) {
    const CLI::App* at = &app;
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (const CLI::App* sub : at->get_subcommands())
            if (sub->parsed()) {
                at = sub;
                deeper = true;
                break;
            }
    }
    return at;
}

std::string CommandPath(const CLI::App* app) {
    std::string path;
    for (const CLI::App* a = app; a != nullptr && a->get_parent() != nullptr; a = a->get_parent())
        path = a->get_name() + (path.empty() ? "" : " " + path);
    return path;
}

// A refused command line: what was wrong, the likely meaning of a misspelt word, where help is.
int UsageError(const CLI::App& app, const CLI::ParseError& e) {
    const CLI::App* at = Innermost(app);
    const std::string command = CommandPath(at);
    std::vector<std::string> extras = app.remaining();
    for (const CLI::App* a = at; a != nullptr && a != &app; a = a->get_parent()) {
        const std::vector<std::string> more = a->remaining();
        extras.insert(extras.end(), more.begin(), more.end());
    }
    std::string message = e.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&e) && !extras.empty()) {
        const std::string word = extras.front();
        const std::string name = word.substr(0, word.find('='));
        if (word.size() > 1 && word[0] == '-') {
            message = "unknown option '" + name + "'";
            if (const std::string near = Nearest(name, OptionNames(at)); !near.empty())
                message += "; did you mean '" + near + "'?";
        } else {
            message = "unexpected word '" + word + "'";
        }
    }
    std::fprintf(stderr, "blockwaves%s%s: %s\nRun 'blockwaves%s%s --help' for the options.\n",
                 command.empty() ? "" : " ", command.c_str(), message.c_str(), command.empty() ? "" : " ",
                 command.c_str());
    return kExitUsage;
}

std::string VersionText() {
    return std::string("blockwaves ") + BW_VERSION + " (Blockwaves! Transitions; FFmpeg libavformat " +
           AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR) "." AV_STRINGIFY(LIBAVFORMAT_VERSION_MINOR) ")";
}

// Settings for one render, checked as 'prefs set' checks them.
void AddSettings(CLI::App* app, Command& c) {
    struct Row {
        const char* Option;
        const char* Key;
        const char* Type;
        const char* Help;
    };
    static const Row cRows[] = {
        {"--method", "method", "1..41", "tile ordering for this render"},
        {"--columns", "columns", "1..100", "tile columns for this render"},
        {"--rows", "rows", "1..100", "tile rows for this render"},
        {"--tile-duration", "duration", "0..100", "share of the transition each tile spends changing, in percent"},
        {"--randomized", "randomized", "on|off", "vary each tile's change length"},
        {"--color", "color", "#RRGGBB", "colour standing in for the missing clip"},
        {"--rect", "rect", "L,T,R,B", "active area as fractions of the frame"},
    };
    // Each takes one value for every transition or a list with one per transition.
    std::vector<CLI::Option*> grid;
    for (const Row& row : cRows) {
        const std::string key = row.Key;
        const char separator = ListSeparator(key);
        CLI::Option* opt = app->add_option_function<std::string>(
                                  row.Option,
                                  [&c, key, option = std::string(row.Option)](const std::string& v) {
                                      c.settings.push_back(key + "=" + v);
                                      c.settingOptions.emplace_back(key, option);
                                  },
                                  std::string(row.Help) + " (a list: one per transition" +
                                      (separator == ',' ? ")" : ", separated by /)"))
                               ->type_name(std::string(row.Type) + "[" + separator + "...]")
                               ->check(CLI::Validator(
                                   [key, separator](std::string& v) -> std::string {
                                       Config scratch;
                                       for (const std::string& one : SplitList(v, separator))
                                           if (std::string e = ApplySetting(scratch.rec, key + "=" + one); !e.empty())
                                               return e;
                                       return {};
                                   },
                                   row.Type));
        if (key == "columns" || key == "rows") grid.push_back(opt);
    }
    CLI::Option* g = app->add_option_function<std::string>(
                            "--grid",
                            [&c](const std::string& v) {
                                std::string columns, rows;
                                for (const std::string& one : SplitList(v)) {
                                    const size_t x = one.find('x');
                                    columns += (columns.empty() ? "" : ",") + one.substr(0, x);
                                    rows += (rows.empty() ? "" : ",") + one.substr(x + 1);
                                }
                                c.settings.push_back("columns=" + columns);
                                c.settings.push_back("rows=" + rows);
                                c.settingOptions.emplace_back("columns", "--grid");
                                c.settingOptions.emplace_back("rows", "--grid");
                            },
                            "tile columns and rows (a list: one per transition)")
                         ->type_name("CxR[,...]")
                         ->check(CLI::Validator(
                             [](std::string& v) -> std::string {
                                 Config scratch;
                                 for (const std::string& one : SplitList(v)) {
                                     const size_t x = one.find('x');
                                     if (x == std::string::npos || !ApplySetting(scratch.rec, "columns=" + one.substr(0, x)).empty() ||
                                         !ApplySetting(scratch.rec, "rows=" + one.substr(x + 1)).empty())
                                         return "must be COLUMNSxROWS, each 1..100";
                                 }
                                 return {};
                             },
                             "CxR"));
    for (CLI::Option* opt : grid) g->excludes(opt);
    app->add_option("--settings", c.settingsFile, "render with this saved preferences file instead of yours")
        ->check(CLI::ExistingFile)
        ->type_name("FILE");
}

// "90", "1:30", "0:01:30.5": seconds, or -1 when the text is none of these.
double Seconds(const std::string& text) {
    double total = 0;
    size_t from = 0;
    for (int part = 0; part < 3; part++) {
        const size_t colon = text.find(':', from);
        const std::string piece = text.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        char* end = nullptr;
        const double value = std::strtod(piece.c_str(), &end);
        if (piece.empty() || *end || !(value >= 0) || !std::isfinite(value) || (colon != std::string::npos && value != std::floor(value)))
            return -1;
        total = total * 60 + value;
        if (colon == std::string::npos) return total;
        from = colon + 1;
    }
    return -1;
}

// FFmpeg's input options -ss, -t and -to apply to the clip named after them. They are taken out
// of the words before the parser sees them, with the clip each belongs to.
// FFmpeg's output options, in FFmpeg's spelling (one dash, several letters), which the parser
// cannot take: checked and applied here. "5M", "128k": bits per second.
std::string TakeOutputOption(const std::string& name, const std::string& value, RenderOptions& o) {
    auto number = [&](long lo, long hi, long& out) {
        char* end = nullptr;
        out = std::strtol(value.c_str(), &end, 10);
        return !value.empty() && !*end && out >= lo && out <= hi;
    };
    auto rate = [&](int64_t& out) {
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        const double unit = *end == 'k' || *end == 'K' ? 1e3 : *end == 'M' ? 1e6 : 1;
        if (*end && (end[1] || unit == 1)) return false;
        out = std::llround(v * unit);
        return v > 0 && out >= 1000 && out <= 1000000000;
    };
    long n = 0;
    media::WriterSettings& e = o.encoder;
    if (name == "-f") {
        if (value != "matroska" && value != "yuv4mpegpipe") return "-f must be matroska or yuv4mpegpipe (for -o -)";
        e.StdoutY4m = value == "yuv4mpegpipe";
    } else if (name == "-c:v" || name == "-vcodec") e.VideoCodec = value;
    else if (name == "-c:a" || name == "-acodec") e.AudioCodec = value;
    else if (name == "-pix_fmt") e.PixelFormat = value;
    else if (name == "-preset") e.Preset = value;
    else if (name == "-crf") {
        if (!number(0, 63, n)) return "-crf must be 0..63";
        e.Crf = int(n);
    } else if (name == "-b:v") {
        if (!rate(e.VideoBitrate)) return "-b:v must be a bit rate such as 5M or 800k";
    } else if (name == "-b:a") {
        if (!rate(e.AudioBitrate)) return "-b:a must be a bit rate such as 128k";
    } else if (name == "-ar") {
        if (!number(8000, 192000, n)) return "-ar must be a sample rate from 8000 to 192000";
        e.AudioRate = int(n);
    } else if (name == "-ac") {
        if (!number(1, 8, n)) return "-ac must be a channel count from 1 to 8 (2: stereo, 6: 5.1)";
        e.AudioChannels = int(n);
    } else if (name == "-r") {
        int num = 0, den = 1;
        char extra = 0;
        double v = 0;
        if (std::sscanf(value.c_str(), "%d/%d%c", &num, &den, &extra) == 2 && num > 0 && den > 0 && num / den <= 240) {
            o.rate = {num, den};
        } else if (std::sscanf(value.c_str(), "%lf%c", &v, &extra) == 1 && v > 0 && v <= 240) {
            o.rate = v == std::floor(v) ? media::Rational{int(v), 1} : media::Rational{int(std::lround(v * 1000)), 1000};
        } else {
            return "-r must be a frame rate such as 25, 29.97 or 30000/1001";
        }
    } else {
        return "?";
    }
    return {};
}

std::string TakeTrims(const CLI::App* render, std::vector<std::string>& words, std::vector<Command::Trim>& trims,
                      RenderOptions& options) {
    std::vector<std::string> kept;
    Command::Trim pending;
    double to = -1;
    bool have = false;
    for (size_t i = 0; i < words.size(); i++) {
        const std::string& w = words[i];
        if (w.size() >= 2 && w[0] == '-' && w[1] != '-' && i + 1 < words.size()) {
            if (const std::string e = TakeOutputOption(w, words[i + 1], options); e != "?") {
                if (!e.empty()) return e;
                i++;
                continue;
            }
        }
        if (w == "-framerate") {
            int num = 0, den = 1;
            char extra = 0;
            double v = 0;
            if (i + 1 >= words.size() ||
                !((std::sscanf(words[i + 1].c_str(), "%d/%d%c", &num, &den, &extra) == 2 && num > 0 && den > 0) ||
                  (std::sscanf(words[i + 1].c_str(), "%lf%c", &v, &extra) == 1 && v > 0 && v <= 240)))
                return "-framerate must be a frame rate such as 30 or 30000/1001, before an image sequence";
            pending.framerate = words[++i];
            have = true;
            continue;
        }
        if (w == "-ss" || w == "-t" || w == "-to") {
            if (i + 1 >= words.size()) return w + " needs a time (seconds or [HH:]MM:SS)";
            const double v = Seconds(words[++i]);
            if (v < 0) return w + ": '" + words[i] + "' is not a time (seconds or [HH:]MM:SS)";
            if (w == "-ss") pending.start = v;
            else if (w == "-t") pending.length = v;
            else to = v;
            if (w != "-ss" && (w == "-t" ? to >= 0 : pending.length >= 0)) return "give -t or -to for a clip, not both";
            have = true;
            continue;
        }
        kept.push_back(w);
        if (w.size() > 1 && w[0] == '-') {
            const CLI::Option* opt = w.find('=') == std::string::npos ? render->get_option_no_throw(w) : nullptr;
            if (opt && opt->get_expected_min() > 0 && i + 1 < words.size()) kept.push_back(words[++i]);
            continue;
        }
        // A clip: the times given since the last one are its own.
        if (to >= 0) {
            if (to <= pending.start) return "-to must come after -ss for " + w;
            pending.length = to - pending.start;
        }
        if (pending.length == 0) return "-t must be more than 0 for " + w;
        trims.push_back(pending);
        pending = {};
        to = -1;
        have = false;
    }
    if (have) return "-ss, -t and -to go before the clip they apply to";
    words = kept;
    return {};
}

int Main(int argc, char** argv) {
    CLI::App app{"Joins video clips with the Blockwaves! Transitions bundle, driving it as a video editor does."};
    app.name("blockwaves");
    app.set_version_flag("--version", VersionText());
    app.require_subcommand(1, 1);
    app.fallthrough();  // -h and --version work after any command
    app.option_defaults()->disable_flag_override();  // --quiet=no is refused, not read as --quiet
    app.footer("Run 'blockwaves COMMAND --help' for a command's options.");
    Command c;

    CLI::App* render = app.add_subcommand("render", "the joined sequence: A, the transition, the rest of B");
    // Clips are counted by the command itself, so that an unknown option's value is not taken for
    // a clip before the option is named.
    render->add_option("clips", c.clips, "clip A, then clip B between clips, and more clips joined in turn")
        ->type_name("A [B ...]");
    AddOutput(render, c, "the output file, pattern or null", true);
    AddVariant(render, c);
    {
        auto* speed = render->add_option("--speed", c.o.speed, "the editor's speed setting (0.5: 66 frames)")
                          ->check(CLI::Range(0.0, 1.0))
                          ->type_name("0..1");
        render->add_option("--frames", c.o.transitionFrames,
                           "the transitions' length in frames instead of a speed: one for all, or one per transition")
            ->delimiter(',')
            ->check(CLI::Range(1, 100000))
            ->type_name("N[,N...]")
            ->excludes(speed);
        render->add_option("--overlap", c.overlap,
                           "the transitions' length as frames (60) or seconds (2.4s, 0:02.4): one, or one per "
                           "transition")
            ->delimiter(',')
            ->type_name("LENGTH[,...]")
            ->check(CLI::Validator(
                [](std::string& v) -> std::string {
                    return OverlapFrames(v, {25, 1}) >= 1 ? std::string() : "must be frames (60) or seconds (2.4s)";
                },
                "LENGTH"))
            ->excludes(speed)
            ->excludes("--frames");
    }
    AddSize(render, c);
    AddStill(render, c);
    AddSettings(render, c);
    render->add_flag("--dry-run", c.dryRun, "print the plan (clips, transition, output) without decoding or writing");
    render->add_flag("--proxy", c.o.proxy, "preview quality, as an editor's quick render");
    render->add_flag("--transition-only", c.o.transitionOnly, "only the transition's frames");
    render->add_flag("--stats", c.o.stats, "print where the time went");
    render->add_flag("--allow-short", c.o.allowShort,
                     "use a clip that ends earlier than its header says as far as it decodes (else status 4)");
    render->footer(std::string(kOutputKinds) +
                   "-ss TIME, -t TIME and -to TIME before a clip use only that part of it (FFmpeg's input options);\n"
                   "-framerate RATE before an image sequence (frames/%05d.png) sets its rate (default 25).\n"
                   "FFmpeg's output options: -c:v ENCODER, -crf N, -preset P, -b:v RATE, -pix_fmt F (yuv420p10le,\n"
                   "yuv422p10le, ...), -r RATE, -c:a ENCODER, -b:a RATE, -ar HZ, -ac 1..8 (default: 5.1 and\n"
                   "other layouts of more than two channels as the first clip with sound has them, else stereo).\n"
                   "-o - writes Matroska (or with -f yuv4mpegpipe YUV4MPEG2) to standard output; a clip - is\n"
                   "read from standard input.\n" +
                   "Clips are shown upright in their own proportions (black bars where they differ) at the first\n"
                   "clip's frame rate; the colour comes from 'blockwaves prefs'.");

    CLI::App* demo = app.add_subcommand("demo", "two generated clips joined with your saved settings");
    AddOutput(demo, c, "the output (default out/demo.mp4); a contact sheet is written beside it", false);
    AddLength(demo, c);
    AddSize(demo, c);

    CLI::App* info = app.add_subcommand("info", "what the transition reports for each variant");
    info->add_option("--speed", c.o.speed, "the editor's speed setting")->check(CLI::Range(0.0, 1.0))->type_name("0..1");

    CLI::App* pictures[2];
    const char* pictureHelp[2] = {"the picture an editor shows for the transition",
                                  "frames at 0, 10, 25, 50, 75, 90 and 100 % of the transition"};
    for (int i = 0; i < 2; i++) {
        CLI::App* sub = pictures[i] = app.add_subcommand(i == 0 ? "thumbnail" : "sheet", pictureHelp[i]);
        sub->add_option("clips", c.clips, "clips A and B")->type_name("A B");
        AddOutput(sub, c, "the PNG file to write", true);
        AddLength(sub, c);
        AddSize(sub, c);
        AddStill(sub, c);
    }

    std::vector<std::string> items;
    CLI::App* prefs = app.add_subcommand("prefs", "your saved default settings (show, set KEY=VALUE ..., reset)");
    prefs->require_subcommand(0, 1);
    CLI::App* show = prefs->add_subcommand("show", "print the saved settings (the default action)");
    CLI::App* set = prefs->add_subcommand("set", "change settings; nothing is written unless every value is valid");
    set->add_option("items", items, "settings to change")->required()->type_name("KEY=VALUE ...");
    set->footer(
        "keys:\n"
        "  method=1..41         tile ordering (see docs/orderings.png)\n"
        "  columns=1..100       tile columns\n"
        "  rows=1..100          tile rows\n"
        "  duration=0..100      share of the transition each tile spends changing, in percent\n"
        "  randomized=on|off    vary each tile's change length\n"
        "  color=#RRGGBB        colour standing in for the missing clip (before/after)\n"
        "  rect=L,T,R,B         active area as fractions of the frame, 0 <= L < R <= 1, 0 <= T < B <= 1\n"
        "  media=ntsc|pal|hd    preview frame format of the configuration dialog");
    CLI::App* reset = prefs->add_subcommand("reset", "go back to the factory defaults");
    std::string prefsFile;
    CLI::App* exportPrefs = prefs->add_subcommand("export", "write your saved settings to a file (for --settings)");
    exportPrefs->add_option("file", prefsFile, "the file to write; an existing one is not replaced")->required()->type_name("FILE");
    CLI::App* importPrefs = prefs->add_subcommand("import", "make the settings of a file your saved default");
    importPrefs->add_option("file", prefsFile, "a file written by prefs export")
        ->required()
        ->check(CLI::ExistingFile)
        ->type_name("FILE");

    CLI::App* configure = app.add_subcommand(
        "configure", "the transition's settings dialog with a live preview; OK saves them (needs a display)");
    configure->add_option("clips", c.clips, "clips to preview; generated clips for those not given")
        ->type_name("[A [B]]");
    AddVariant(configure, c);
    AddLength(configure, c);
    AddSize(configure, c);
    AddStill(configure, c);

    std::vector<std::string> commands;
    for (const CLI::App* sub : app.get_subcommands({})) commands.push_back(sub->get_name());
    if (argc > 1 && argv[1][0] != '-' && std::find(commands.begin(), commands.end(), argv[1]) == commands.end()) {
        const std::string near = Nearest(argv[1], commands);
        std::fprintf(stderr, "blockwaves: unknown command '%s'%s\nRun 'blockwaves --help' for the commands.\n", argv[1],
                     near.empty() ? "" : ("; did you mean '" + near + "'?").c_str());
        return kExitUsage;
    }
    // render's -ss, -t and -to, before the parser sees the words.
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && words[0] == "render") {
        std::vector<std::string> rest(words.begin() + 1, words.end());
        if (const std::string e = TakeTrims(render, rest, c.trims, c.o); !e.empty()) {
            std::fprintf(stderr, "blockwaves render: %s\nRun 'blockwaves render --help' for the options.\n", e.c_str());
            return kExitUsage;
        }
        words.resize(1);
        words.insert(words.end(), rest.begin(), rest.end());
    }
    std::reverse(words.begin(), words.end());   // CLI11 takes the words last first
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return UsageError(app, e);
    }
    if (render->parsed()) return Render(c, argv[0]);
    if (demo->parsed()) return Demo(c, argv[0]);
    if (info->parsed()) return Info(c, argv[0]);
    if (pictures[0]->parsed()) return SheetOrThumbnail(c, argv[0], false);
    if (pictures[1]->parsed()) return SheetOrThumbnail(c, argv[0], true);
    if (configure->parsed()) return Configure(c, argv[0]);
    if (set->parsed()) return PrefsWrite(items);
    if (reset->parsed()) return PrefsWrite({});
    if (exportPrefs->parsed()) return PrefsExport(prefsFile);
    if (importPrefs->parsed()) return PrefsImport(prefsFile);
    (void)show;
    return PrefsShow();
}
}  // namespace
}  // namespace bw

int main(int argc, char** argv) {
    try {
        return bw::Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "blockwaves: %s\n", e.what());
        return bw::kExitFailed;
    }
}
