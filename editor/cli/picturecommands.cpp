// sheet, thumbnail and demo: pictures of the transition, and a render of generated clips.
#include <cctype>
#include <filesystem>

#include "editor/cli/commands.h"
#include "editor/media/ClipWriter.h"
#include "editor/media/Generators.h"

namespace bw::cli {
namespace fs = std::filesystem;
namespace {
const std::vector<double> cSheetFractions = {0, 0.10, 0.25, 0.50, 0.75, 0.90, 1.0};
const std::vector<std::string> cSheetCaptions = {"0%", "10%", "25%", "50%", "75%", "90%", "100%"};

Failure Sheet(PluginHost& host, Input& a, Input& b, const RenderOptions& o, const std::string& path, int32_t& frames) {
    int w, h;
    OutputSize(*a.source, o, w, h);
    if (Failure f = TransitionLength(host, Variant::Between, o, frames)) return f;
    std::vector<GWorldPtr> stills;
    // Short clips make a shorter transition: `frames` says how long the pictures' one is.
    Failure f = RenderStills(host, a, &b, Variant::Between, frames, w, h, cSheetFractions, stills, &frames);
    if (!f) f = WriteContactSheet(stills, cSheetCaptions, 240, path);
    for (GWorldPtr gw : stills) DisposeGWorld(gw);
    return f;
}

bool EndsWithPng(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    return ext.size() == 4 && std::tolower(uint8_t(ext[1])) == 'p' && std::tolower(uint8_t(ext[2])) == 'n' &&
           std::tolower(uint8_t(ext[3])) == 'g';
}

}  // namespace

media::GeneratorSettings DemoClip(media::Pattern kind) {
    media::GeneratorSettings clip;
    clip.Kind = kind;
    clip.Width = 1280;
    clip.Height = 720;
    clip.FrameCount = 100;
    return clip;
}

int SheetOrThumbnail(Command& c, bool sheet) {
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
    auto host = LoadHost(failure);
    if (!host) return Fail(failure);
    int w, h;
    OutputSize(*first.source, c.o, w, h);
    int32_t frames = 0;
    if (sheet) {
        if (Failure f = Sheet(*host, first, second, c.o, WrittenPath(c.o.output), frames)) return FailRender(f);
        if (!c.o.quiet)
            std::fprintf(stderr,
                         "blockwaves: wrote %s: the transition (%d %s) at 0, 10, 25, 50, 75, 90 and 100 %%, "
                         "7 pictures 240 pixels wide\n",
                         c.o.output.c_str(), frames, frames == 1 ? "frame" : "frames");
        return kExitOK;
    }
    if (Failure f = TransitionLength(*host, Variant::Between, c.o, frames)) return Fail(f);
    if (Failure f = WriteThumbnail(*host, first, second, frames, w, h, WrittenPath(c.o.output))) return FailRender(f);
    if (!c.o.quiet)
        std::fprintf(stderr, "blockwaves: wrote %s: the transition's picture at its middle, %d x %d\n",
                     c.o.output.c_str(), w, h);
    return kExitOK;
}

int Demo(Command& c) {
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
    auto host = LoadHost(failure);
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

}  // namespace bw::cli
