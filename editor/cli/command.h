// What the commands of the host program share: the options they were given, how a failure is
// told, and the checks and steps every command that reads clips or writes a file goes through.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/cli/render.h"

namespace bw::cli {

// What the render-like commands take; each command adds the options it uses.
struct Command {
    RenderOptions o;
    std::vector<std::string> clips;
    std::string variant = "between", size;
    bool overwrite = false, never = false;
    double stillSeconds = 5;
    std::vector<std::string> settings;                                // KEY=VALUE for this render only, checked by the parser
    std::vector<std::pair<std::string, std::string>> settingOptions;  // KEY and the option it came from
    std::string settingsFile;                                         // a saved preferences file to render with instead of yours
    bool dryRun = false;                                              // print the plan, decode and write nothing
    struct Trim {
        double start = 0, length = -1;  // seconds; length < 0: to the clip's end
        std::string framerate;          // an image sequence's rate (-framerate)
    };
    std::vector<Trim> trims;           // per clip, from -ss, -t and -to before it
    std::vector<std::string> overlap;  // transition lengths as frames ("60") or seconds ("2.4s", "0:02.4")
};

// Where "-o OUT" may write, for the render-like commands' help.
extern const char* const cOutputKinds;

// The private copy of a clip read from standard input, which messages call "standard input".
extern std::string gStandardInputCopy;
std::string Shown(std::string text);
// Prints "blockwaves: MESSAGE" and gives the failure's exit status.
int Fail(const Failure& f);
// An early end names the option that uses such a clip anyway.
int FailRender(const Failure& f);

// Fills the options the parser could not type: the variant and the size.
void Finish(Command& c);
// The output may be written: never over an input; over another existing file or a sequence's
// folder with -y, never with -n, after a yes from a terminal, else refused.
Failure CheckOutput(const Command& c, const std::string& out, const std::vector<std::string>& inputs);
// Where an output is written: through symbolic links, so that a link stays and its target gets
// the new file, as the preferences file is saved.
std::string WrittenPath(const std::string& output);

// The bundle, after the saved default was checked and any fault in it said once.
std::unique_ptr<PluginHost> LoadHost(Failure& failure);
// Opens a clip and says once what its reader noticed (sound it cannot decode, HDR untouched).
Failure Open(const std::string& path, Input& input, double stillSeconds, const std::string& sequenceRate = {});
// Ctrl-C, SIGTERM, SIGHUP and SIGPIPE end a render between frames.
void CatchStopSignals();

}  // namespace bw::cli
