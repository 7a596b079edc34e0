// The command line's definitions: the commands, their options and checks (CLI11), and how a
// refused line is told.
#include "editor/cli/app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "editor/cli/commands.h"
#include "editor/cli/ffmpegoptions.h"
#include "editor/cli/options.h"
#include "editor/cli/prefs.h"
#include "editor/cli/settings.h"
#include "editor/cli/suggest.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace bw::cli {
namespace {

// --speed: a number from 0 to 1; NaN and the like are refused before CLI11 converts them.
CLI::Validator SpeedCheck() {
    return CLI::Validator(
        [](std::string& v) -> std::string {
            double speed = 0;
            return ParseFraction(v, 0, 1, speed) ? std::string() : "must be a number from 0 to 1, not '" + v + "'";
        },
        "0..1");
}

// A list option's values: one item each, none empty (",", "10," are refused).
CLI::Validator ListCheck(const std::string& what, bool (*item)(const std::string&)) {
    return CLI::Validator(
        [what, item](std::string& v) -> std::string {
            std::vector<std::string> items;
            if (!ParseList(v, ',', items) || !std::all_of(items.begin(), items.end(), item))
                return "must be " + what + ", or a list of them separated by commas, not '" + v + "'";
            return {};
        },
        what);
}
bool IsFrameCount(const std::string& text) {
    long n = 0;
    return ParseCount(text, 1, cMaxTransitionFrames, n);
}
bool IsLength(const std::string& text) {
    Length length;
    return ParseLength(text, length);
}

void AddLength(CLI::App* app, Command& c) {
    auto* speed = app->add_option("--speed", c.o.speed, "the editor's speed setting (0.5: 66 frames)")
                      ->check(SpeedCheck())
                      ->type_name("0..1");
    app->add_option("--frames", c.o.frames, "the transition's length in frames instead of a speed")
        ->check(CLI::Range(1, cMaxTransitionFrames))
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
                static_assert(cMaxFrameSide <= cMaxRectSide, "frames are addressed with 16-bit rectangles");
                if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &extra) != 2 || w < 2 || h < 2 || w > cMaxFrameSide ||
                    h > cMaxFrameSide)
                    return "must be WIDTHxHEIGHT, each from 2 to " + std::to_string(cMaxFrameSide);
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
        if (word.size() > 2 && word[0] == '-' && word[1] != '-') {
            // FFmpeg's spelling (-vf, -map): a one-letter option is not what was meant.
            message = "unknown option '" + name + "'";
            if (command == "render") message += std::string("; of FFmpeg's options render takes ") + cFfmpegOptions;
        } else if (word.size() > 1 && word[0] == '-') {
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

// render: clips joined in turn. Its FFmpeg options are taken out of the words first (TakeTrims).
CLI::App* AddRender(CLI::App& app, Command& c) {
    CLI::App* render = app.add_subcommand("render", "the joined sequence: A, the transition, the rest of B");
    // Clips are counted by the command itself, so that an unknown option's value is not taken for
    // a clip before the option is named.
    render->add_option("clips", c.clips, "clip A, then clip B between clips, and more clips joined in turn")
        ->type_name("A [B ...]");
    AddOutput(render, c, "the output file, pattern or null", true);
    AddVariant(render, c);
    {
        auto* speed = render->add_option("--speed", c.o.speed, "the editor's speed setting (0.5: 66 frames)")
                          ->check(SpeedCheck())
                          ->type_name("0..1");
        // Lists are one word each, so that they never take a following word (such as --) as an item.
        render->add_option_function<std::string>(
                  "--frames",
                  [&c](const std::string& v) {
            std::vector<std::string> items;
            ParseList(v, ',', items);
            for (const std::string& item : items) c.o.transitionFrames.push_back(std::stoi(item));
                  },
                  "the transitions' length in frames instead of a speed: one for all, or one per transition")
            ->check(ListCheck("a frame count from 1 to " + std::to_string(cMaxTransitionFrames), IsFrameCount))
            ->type_name("N[,N...]")
            ->excludes(speed);
        render->add_option_function<std::string>(
                  "--overlap", [&c](const std::string& v) { ParseList(v, ',', c.overlap); },
                  "the transitions' length as frames (60) or seconds (2.4s, 0:02.4): one, or one per transition")
            ->check(ListCheck("frames (60) or seconds (2.4s, 0:02.4), more than 0", IsLength))
            ->type_name("LENGTH[,...]")
            ->excludes(speed)
            ->excludes("--frames");
    }
    AddSize(render, c);
    AddStill(render, c);
    AddSettings(render, c);
    render->add_flag("--dry-run", c.dryRun, "print the plan (clips, transition, output) without decoding or writing");
    render->add_flag("--proxy", c.o.proxy, "preview quality, as an editor's quick render");
    render->add_flag("--transition-only", c.o.transitionOnly, "only the transition's frames");
    render->add_flag("--stats", c.o.stats, "print where the time went and the route taken");
    render->add_option("--engine", c.o.engine,
                       "native: compose in the clips' own pixel format (the default where it can); bundle: the "
                       "plug-in on RGB pictures, as an editor runs it")
        ->transform(CLI::CheckedTransformer(std::map<std::string, Engine>{{"auto", Engine::Auto},
                                                                          {"native", Engine::Native},
                                                                          {"bundle", Engine::Bundle}}))
        ->type_name("auto|native|bundle");
    render->add_flag("--allow-short", c.o.allowShort,
                     "use a clip that ends earlier than its header says as far as it decodes (else status 4)");
    render->footer(std::string(cOutputKinds) +
                   "-ss TIME, -t TIME and -to TIME before a clip use only that part of it (FFmpeg's input options);\n"
                   "-framerate RATE before an image sequence (frames/%05d.png) sets its rate (default 25).\n"
                   "FFmpeg's output options: -c:v ENCODER, -crf N, -preset P, -b:v RATE, -pix_fmt F (yuv420p10le,\n"
                   "yuv422p10le, ...), -r RATE, -c:a ENCODER, -b:a RATE, -ar HZ, -ac 1..8 (default: 5.1 and\n"
                   "other layouts of more than two channels as the first clip with sound has them, else stereo),\n"
                   "-an (no sound). -c:v copy and -c:a copy cannot work across a transition. -o /dev/null is null.\n"
                   "-o - writes Matroska (or with -f yuv4mpegpipe YUV4MPEG2) to standard output; a clip - is\n"
                   "read from standard input.\n" +
                   "Clips are shown upright in their own proportions (black bars where they differ) at the first\n"
                   "clip's frame rate; the colour comes from 'blockwaves prefs'.");
    return render;
}

// prefs and its commands, and what they were given.
struct Prefs {
    CLI::App *show = nullptr, *set = nullptr, *reset = nullptr, *exportPrefs = nullptr, *importPrefs = nullptr;
    std::vector<std::string> items;  // set's KEY=VALUE
    std::string file;                // export's and import's
};
void AddPrefs(CLI::App& app, Prefs& p) {
    CLI::App* prefs = app.add_subcommand("prefs", "your saved default settings (show, set KEY=VALUE ..., reset)");
    prefs->require_subcommand(0, 1);
    p.show = prefs->add_subcommand("show", "print the saved settings (the default action)");
    p.set = prefs->add_subcommand("set", "change settings; nothing is written unless every value is valid");
    p.set->add_option("items", p.items, "settings to change")->required()->type_name("KEY=VALUE ...");
    p.set->footer(KeysHelp());
    p.reset = prefs->add_subcommand("reset", "go back to the factory defaults");
    p.exportPrefs = prefs->add_subcommand("export", "write your saved settings to a file (for --settings)");
    p.exportPrefs->add_option("file", p.file, "the file to write; an existing one is not replaced")->required()->type_name("FILE");
    p.importPrefs = prefs->add_subcommand("import", "make the settings of a file your saved default");
    p.importPrefs->add_option("file", p.file, "a file written by prefs export")
        ->required()
        ->check(CLI::ExistingFile)
        ->type_name("FILE");
}

// Parses the words: the exit status when the line was refused or help or the version asked for,
// else -1. An unknown command gets a suggestion; render's FFmpeg options are taken out first.
int Parse(CLI::App& app, const CLI::App* render, Command& c, int argc, char** argv) {
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
    std::reverse(words.begin(), words.end());  // CLI11 takes the words last first
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
    return -1;
}

}  // namespace

int Run(int argc, char** argv) {
    CLI::App app{"Joins video clips with the Blockwaves! Transitions bundle, driving it as a video editor does."};
    app.name("blockwaves");
    app.set_version_flag("--version", VersionText());
    app.require_subcommand(1, 1);
    app.fallthrough();                               // -h and --version work after any command
    app.option_defaults()->disable_flag_override();  // --quiet=no is refused, not read as --quiet
    app.footer("Run 'blockwaves COMMAND --help' for a command's options.");
    Command c;

    CLI::App* render = AddRender(app, c);

    CLI::App* demo = app.add_subcommand("demo", "two generated clips joined with your saved settings");
    AddOutput(demo, c, "the output (default out/demo.mp4); a contact sheet is written beside it", false);
    AddLength(demo, c);
    AddSize(demo, c);

    CLI::App* info = app.add_subcommand("info", "what the transition reports for each variant");
    info->add_option("--speed", c.o.speed, "the editor's speed setting")->check(SpeedCheck())->type_name("0..1");

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

    Prefs prefs;
    AddPrefs(app, prefs);

    CLI::App* configure = app.add_subcommand(
        "configure", "the transition's settings dialog with a live preview; OK saves them (needs a display)");
    configure->add_option("clips", c.clips, "clips to preview; generated clips for those not given")
        ->type_name("[A [B]]");
    AddVariant(configure, c);
    AddLength(configure, c);
    AddSize(configure, c);
    AddStill(configure, c);

    CLI::App* wipe = app.add_subcommand("wipe", "the tile field as a grey wipe map for melt, Shotcut, Kdenlive, OpenShot, OBS");
    AddOutput(wipe, c, "the map to write (.pgm for mlt, shotcut, kdenlive; .png for openshot, obs)", false);
    AddSize(wipe, c);
    AddSettings(wipe, c);
    WipeOptions wipeOptions;
    AddWipeOptions(wipe, wipeOptions);

    if (const int status = Parse(app, render, c, argc, argv); status >= 0) return status;
    if (render->parsed()) return Render(c);
    if (demo->parsed()) return Demo(c);
    if (info->parsed()) return Info(c);
    if (pictures[0]->parsed()) return SheetOrThumbnail(c, false);
    if (pictures[1]->parsed()) return SheetOrThumbnail(c, true);
    if (configure->parsed()) return Configure(c);
    if (wipe->parsed()) return Wipe(c, wipeOptions);
    if (prefs.set->parsed()) return PrefsWrite(prefs.items);
    if (prefs.reset->parsed()) return PrefsWrite({});
    if (prefs.exportPrefs->parsed()) return PrefsExport(prefs.file);
    if (prefs.importPrefs->parsed()) return PrefsImport(prefs.file);
    return PrefsShow();  // prefs, prefs show
}

}  // namespace bw::cli
