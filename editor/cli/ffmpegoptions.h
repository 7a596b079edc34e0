// render's options in FFmpeg's spelling (one dash, several letters), which CLI11 cannot take:
// the input options -ss, -t, -to and -framerate before a clip, and the output options.
#pragma once
#include <string>
#include <vector>

#include "editor/cli/command.h"

namespace CLI {
class App;
}

namespace bw::cli {

// The FFmpeg spellings render takes, for a word in that spelling it does not know.
extern const char* const cFfmpegOptions;

// One output option and its value, checked and applied to `o`: "" when taken, "?" when `name`
// is none of them, else what is wrong. "5M", "128k": bits per second.
std::string TakeOutputOption(const std::string& name, const std::string& value, RenderOptions& o);
// Takes the FFmpeg options out of render's words (after "render"), before the parser sees them:
// each clip's times go to `trims`, the output options to `options`. "" or what is wrong.
std::string TakeTrims(const CLI::App* render, std::vector<std::string>& words, std::vector<Command::Trim>& trims,
                      RenderOptions& options);

}  // namespace bw::cli
