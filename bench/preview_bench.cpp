// The configuration dialog's clip slider on a 1920x1080 H.264 clip with one keyframe: each preview
// step reads the clip's frame of the overlap at the HD preview size (960 x 540), once straight from
// the clip (a step back seeks to the keyframe and decodes from there) and once through the frames
// the host keeps while the dialog is open (PreviewClip). Prints the median and the slowest step of
// each way, and what filling the kept frames cost. The clip is made once with the ffmpeg command.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "editor/cli/render.h"
#include "editor/hostcore/hostcore.h"
#include "platform/QuickDraw.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int cOverlap = 50;  // two seconds at 25 frames a second

std::string OneKeyframeClip() {
    const fs::path dir = fs::temp_directory_path() / "bw-preview-bench";
    fs::create_directories(dir);
    const std::string path = (dir / "testsrc_1080p25_one_keyframe.mp4").string();
    if (!fs::exists(path)) {
        const std::string cmd =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=1920x1080:rate=25 -t 10 "
            "-c:v libx264 -preset veryfast -g 100000 -keyint_min 100000 -sc_threshold 0 "
            "-pix_fmt yuv420p '" +
            path + "'";
        if (std::system(cmd.c_str()) != 0) return {};
    }
    return path;
}

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Reads the frames of `order` one by one, as the slider's steps do; the time of each read.
std::vector<double> Steps(HostClip& clip, GWorldPtr preview, const std::vector<int32_t>& order) {
    std::vector<double> ms;
    std::vector<float> audio;
    for (int32_t index : order) {
        const auto t0 = Clock::now();
        if (!clip.ReadFrame(index, preview, true, audio)) {
            std::fprintf(stderr, "frame %d could not be read\n", index);
            std::exit(1);
        }
        ms.push_back(Milliseconds(t0));
    }
    return ms;
}

void Report(const char* what, const std::vector<double>& ms) {
    std::printf("%-44s %3zu steps: median %8.2f ms, slowest %8.2f ms\n", what, ms.size(), Median(ms),
                *std::max_element(ms.begin(), ms.end()));
}
}  // namespace

int main() {
    const std::string path = OneKeyframeClip();
    if (path.empty()) {
        std::fprintf(stderr, "ffmpeg could not make the test clip\n");
        return 1;
    }
    bw::Input input;
    if (bw::Failure f = bw::OpenInput(path, input)) {
        std::fprintf(stderr, "%s\n", f.message.c_str());
        return 1;
    }
    bw::ConformedClip clip(*input.source, input.source->FrameRate(), 48000);
    const int32_t first = clip.FrameCount() - cOverlap;
    GWorldPtr preview = nullptr;
    const Rect bounds{0, 0, 540, 960};
    NewGWorld(&preview, 32, &bounds, nullptr, nullptr, 0);

    std::vector<int32_t> backwards, forwards, jumps;
    for (int32_t k = cOverlap - 1; k >= 0; k--) backwards.push_back(first + k);
    for (int32_t k = 0; k < cOverlap; k++) forwards.push_back(first + k);
    std::mt19937 random(7);
    for (int i = 0; i < cOverlap; i++) jumps.push_back(first + int32_t(random() % cOverlap));

    std::printf("1920x1080 H.264, one keyframe, %d frames; overlap: the last %d, read at 960x540\n",
                clip.FrameCount(), cOverlap);
    // Straight from the clip: a few steps back are enough to see each one's cost.
    Report("straight from the clip, one frame back", Steps(clip, preview, {backwards.begin(), backwards.begin() + 8}));

    PreviewClip kept(clip, first, cOverlap);
    auto t0 = Clock::now();
    Steps(kept, preview, {first + cOverlap - 1});
    std::printf("%-44s %.0f ms once (%d frames of 2.07 MB kept: %.0f MB)\n", "kept frames: the first request fills them",
                Milliseconds(t0), cOverlap, cOverlap * 960.0 * 540 * 4 / 1e6);
    Report("kept frames, one frame back", Steps(kept, preview, backwards));
    Report("kept frames, one frame forward", Steps(kept, preview, forwards));
    Report("kept frames, random jumps", Steps(kept, preview, jumps));
    DisposeGWorld(preview);
    return 0;
}
