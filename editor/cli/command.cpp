// What the commands share: messages, the output check, the bundle and the clips.
#include "editor/cli/command.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "editor/cli/prefs.h"
#include "editor/media/ClipReader.h"
#include "editor/media/ClipWriter.h"
#include "platform/Files.h"

namespace bw::cli {
namespace fs = std::filesystem;

const char* const cOutputKinds =
    "OUT: .mp4 .mov .mkv (H.264, AAC), .webm (VP9, Opus; AV1 above 4K), frames/%05d.png, .y4m, or null (write nothing).\n"
    "An existing OUT is replaced only with -y (never with -n; a terminal is asked); an input never is.\n";

std::string gStandardInputCopy;
std::string Shown(std::string text) {
    if (gStandardInputCopy.empty()) return text;
    for (size_t at; (at = text.find(gStandardInputCopy)) != std::string::npos;)
        text.replace(at, gStandardInputCopy.size(), "standard input");
    return text;
}

int Fail(const Failure& f) {
    std::fprintf(stderr, "blockwaves: %s\n", Shown(f.message).c_str());
    return f.status;
}

int FailRender(const Failure& f) {
    if (f.endedEarly)
        return Fail({f.status, f.message + "; give --allow-short to use it as far as it decodes"});
    return Fail(f);
}

void Finish(Command& c) {
    if (c.o.output == "/dev/null") c.o.output = "null";  // as FFmpeg users write "no output"
    c.o.variant = c.variant == "before" ? Variant::Before : c.variant == "after" ? Variant::After
                                                                                 : Variant::Between;
    if (!c.size.empty()) std::sscanf(c.size.c_str(), "%dx%d", &c.o.width, &c.o.height);
}

namespace {
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
}
}  // namespace

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

std::string WrittenPath(const std::string& output) {
    if (output == "-" || output == "null") return output;
    const std::string target = FSResolveLinks(output);
    return target.empty() ? output : target;
}

std::unique_ptr<PluginHost> LoadHost(Failure& failure) {
    CheckSavedDefault();
    std::string error;
    const std::string path = DefaultBundlePath();
    auto host = PluginHost::Load(path, error);
    if (!host) failure = {kExitPlugin, error};
    return host;
}

Failure Open(const std::string& path, Input& input, double stillSeconds, const std::string& sequenceRate) {
    if (Failure f = OpenInput(path, input, stillSeconds, sequenceRate)) return f;
    if (auto* reader = dynamic_cast<media::ClipReader*>(input.source.get()); reader && !reader->Info().Warning.empty())
        std::fprintf(stderr, "blockwaves: %s\n", reader->Info().Warning.c_str());
    return {};
}

namespace {
void OnStopSignal(int signal) { RequestStop(signal); }
}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    action.sa_flags = 0;
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace bw::cli
