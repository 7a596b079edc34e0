// render: clips joined by the transition, each transition with its own settings when asked.
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "editor/cli/commands.h"
#include "editor/cli/options.h"
#include "editor/cli/prefs.h"
#include "editor/cli/privatesettings.h"
#include "editor/cli/settings.h"
#include "editor/media/ClipWriter.h"
#include "platform/Files.h"
#include "settings/prefsloader.h"

namespace bw::cli {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
const Clock::time_point lgStarted = Clock::now();

// An --overlap value in frames at `rate`: "60" frames, "2.4s" or "0:02.4" seconds (at least one
// frame); 0 when it is none.
int32_t OverlapFrames(const std::string& text, media::Rational rate) {
    Length length;
    return ParseLength(text, length) ? LengthFrames(length, rate) : 0;
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

// Makes the default of a render whose transitions use `items`, and points XDG_CONFIG_HOME at it.
Failure UseRenderSettings(const Command& c, PrivateSettings& own, const std::vector<std::string>& items) {
    if (c.settings.empty() && c.settingsFile.empty()) return {};
    Config config;
    if (!c.settingsFile.empty()) {
        if (Failure f = ReadPrefsFile(own, c.settingsFile, config)) return f;
    } else {
        UseConfigHome(own, {});
        if (ReadConfig(&config.rec)) HoldInRange(config.rec);  // your saved default, or the factory one
        if (Failure f = MakePrivateFolder(own)) return f;
        UseConfigHome(own, own.Folders.back());
    }
    for (const std::string& item : items) ApplySetting(config.rec, item);
    MakePrefsFile();
    if (!SaveConfig(&config.rec)) return {kExitPrefs, PrefsLastError()};
    return {};
}

// A clip read from standard input ("-") is saved whole to a private file first, since clips are
// read more than once; `path` becomes that file.
Failure SaveStandardInput(PrivateSettings& own, std::string& path) {
    if (Failure f = MakePrivateFolder(own)) return f;
    const std::string file = own.Folders.back() + "/standard-input";
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return {kExitFailed, "cannot save standard input to " + file + ": " + std::strerror(errno)};
    std::vector<char> buffer(1 << 16);
    size_t n = 0, total = 0;
    gStandardInputCopy = file;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
        total += n;
        if (std::fwrite(buffer.data(), 1, n, out) != n) {
            std::fclose(out);
            return {kExitFailed, "cannot save standard input to " + file + ": " + std::strerror(errno)};
        }
    }
    if (StopSignal()) {  // the read was cut short by a stop
        std::fclose(out);
        return StopFailure();
    }
    if (std::fclose(out) != 0 || std::ferror(stdin))
        return {kExitBadInput, "standard input could not be read whole"};
    if (total == 0) return {kExitBadInput, "standard input: nothing came"};
    path = file;
    return {};
}

// One loaded bundle per distinct settings among the transitions, in transition order.
// `tiles` gets each bundle's settings as it read them at its start-up, and `tileSettings` each
// transition's.
struct LoadedHosts {
    std::vector<std::unique_ptr<PluginHost>> hosts;
    std::vector<std::unique_ptr<Config>> tiles;  // one per host
};
Failure LoadHosts(const Command& c, PrivateSettings& own, size_t transitions, LoadedHosts& loaded,
                  std::vector<PluginHost*>& perTransition, std::vector<const PluginDataRec*>& tileSettings) {
    std::vector<std::unique_ptr<PluginHost>>& hosts = loaded.hosts;
    std::vector<std::vector<std::string>> sets;
    for (size_t k = 0; k < transitions; k++) {
        const std::vector<std::string> items = SettingsFor(c, k);
        const auto found = std::find(sets.begin(), sets.end(), items);
        if (found != sets.end()) {
            perTransition.push_back(hosts[size_t(found - sets.begin())].get());
            tileSettings.push_back(&loaded.tiles[size_t(found - sets.begin())]->rec);
            continue;
        }
        if (Failure f = UseRenderSettings(c, own, items)) return f;
        std::string bundle = DefaultBundlePath();
        if (!sets.empty()) {
            // The same bundle under another path loads as another copy, with a master default of its own.
            const fs::path copy = fs::path(own.Folders.back()) / fs::path(bundle).filename();
            std::error_code ec;
            fs::copy(bundle, copy, fs::copy_options::recursive, ec);
            if (ec) return {kExitPlugin, "cannot copy the bundle for a transition's own settings: " + ec.message()};
            bundle = copy.string();
        }
        Failure failure;
        std::string error;
        auto host = sets.empty() ? LoadHost(failure) : PluginHost::Load(bundle, error);
        if (!host) return failure ? failure : Failure{kExitPlugin, error};
        host->GetInfo(int16_t(c.o.variant));  // its first call: the bundle reads its default now
        // What it read, clamped as it renders it: the native route lays out its field from it.
        auto& read = loaded.tiles.emplace_back(std::make_unique<Config>());
        if (!read->rec.Rects) return {kExitFailed, "out of memory for a tile field"};
        ReadConfig(&read->rec);
        ClampConfig(&read->rec);
        tileSettings.push_back(&read->rec);
        sets.push_back(items);
        perTransition.push_back(host.get());
        hosts.push_back(std::move(host));
    }
    return {};
}

std::string FrameTime(int64_t frame, media::Rational rate, double offset) {
    return FormatTime(offset + double(frame) * rate.Den / std::max(1, rate.Num));
}

// render --dry-run: each clip's frames used, the transitions' frames and settings, the output.
int PrintPlan(const Command& c, const std::vector<const PluginDataRec*>& tiles, const std::vector<PluginHost*>& hosts,
              std::vector<Input*>& inputs) {
    RenderPlan plan;
    if (Failure f = PlanRender(*hosts[0], inputs, c.o, plan)) return Fail(f);
    const media::Rational r = plan.rate;
    for (const RenderPlan::ClipUse& u : plan.clips)
        std::printf("clip %s: frames %d..%d of %d (%s to %s in the file)\n", Shown(u.name).c_str(), u.from, u.to - 1, u.of,
                    FrameTime(u.from, r, u.start).c_str(), FrameTime(u.to, r, u.start).c_str());
    for (size_t k = 0; k < plan.transitions.size(); k++) {
        const TransitionSpan& t = plan.transitions[k];
        const PluginDataRec& s = *tiles[std::min(k, tiles.size() - 1)];  // as this transition's bundle read it
        std::printf(
            "transition %s: output frames %d..%d (%d frames, %s), method %d, %dx%d tiles, tile duration "
            "%d %%, randomized %s, color %s, rect %g,%g,%g,%g\n",
            c.variant.c_str(), t.start, t.start + t.frames - 1, t.frames, FrameTime(t.frames, r, 0).c_str(),
            s.Method, s.Sliders[1], s.Sliders[2], s.Sliders[3], s.RandomizedDuration ? "on" : "off",
            Hex(s.Colors[1]).c_str(), s.StartRel.Left, s.StartRel.Top, s.StartRel.Right, s.StartRel.Bottom);
    }
    media::OutputKind kind;
    media::OutputKindForPath(c.o.output, kind);
    std::printf("output %s: %s, %dx%d, %g fps, %d frames (%s)%s\n", c.o.output.c_str(),
                media::OutputKindName(kind, plan.width, plan.height), plan.width, plan.height, r.ToDouble(), plan.totalFrames, FrameTime(plan.totalFrames, r, 0).c_str(),
                media::OutputHasAudio(kind) && c.o.encoder.Audio ? (", " + media::LayoutName(plan.soundLayout) + " sound").c_str()
                                                                 : "");
    return kExitOK;
}
}  // namespace

int Render(Command& c) {
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
    PrivateSettings own;  // before the bundles: they are unloaded first
    std::vector<Input> opened(c.clips.size());
    std::vector<Input*> inputs;
    if (std::count(c.clips.begin(), c.clips.end(), "-") > 1) return Fail({kExitUsage, "only one clip can come from standard input"});
    for (size_t i = 0; i < c.clips.size(); i++) {
        if (c.clips[i] == "-")
            if (Failure f = SaveStandardInput(own, c.clips[i])) return Fail(f);
        if (Failure f = Open(c.clips[i], opened[i], c.stillSeconds, i < c.trims.size() ? c.trims[i].framerate : ""))
            return Fail(f);
        if (i < c.trims.size()) {
            opened[i].trimStart = c.trims[i].start;
            opened[i].trimLength = c.trims[i].length;
            const double length = double(opened[i].source->FrameCount()) / opened[i].source->FrameRate().ToDouble();
            if (c.trims[i].start >= length)
                return Fail({kExitUsage, c.clips[i] + ": -ss " + FormatTime(c.trims[i].start) +
                                             " is at or past its end (" + FormatTime(length) + ")"});
        }
        inputs.push_back(&opened[i]);
    }
    for (const std::string& v : c.overlap)
        c.o.transitionFrames.push_back(  // seconds count at the output's rate: -r, else the first clip's
            std::clamp(OverlapFrames(v, c.o.rate.Num > 0 ? c.o.rate : opened[0].source->FrameRate()), 1, cMaxTransitionFrames));
    LoadedHosts loaded;
    std::vector<PluginHost*> hosts;
    RenderOptions written = c.o;
    if (Failure f = LoadHosts(c, own, transitions, loaded, hosts, written.tileSettings)) return Fail(f);
    if (c.dryRun) return PrintPlan(c, written.tileSettings, hosts, inputs);
    RenderReport report;
    const double beforeRender = Since(lgStarted);
    written.output = WrittenPath(c.o.output);
    if (Failure f = bw::Render(hosts, inputs, written, &report)) return FailRender(f);
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
        if (report.native)
            std::fprintf(stderr, "route: native (pictures in their own format; %lld converted)\n",
                         (long long)report.converted);
        else
            std::fprintf(stderr, "route: bundle (%s)\n", report.bundleWhy.c_str());
    }
    return kExitOK;
}

}  // namespace bw::cli
