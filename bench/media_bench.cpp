// Media layer speed at 1920x1080 25 fps: decoding an H.264 clip (FFmpeg's testsrc) to ARGB, and
// converting ARGB to yuv420p and encoding it. Counters give frames per second; run with
// --benchmark_repetitions=5 for medians. Decoders and encoders run threads: times are wall-clock. The clip is made once with the ffmpeg command.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/media/ClipReader.h"
#include "editor/media/ClipWriter.h"

namespace {

using namespace bw::media;
namespace fs = std::filesystem;

constexpr int cWidth = 1920;
constexpr int cHeight = 1080;

fs::path BenchDir() {
    const fs::path dir = fs::temp_directory_path() / "bw-media-bench";
    fs::create_directories(dir);
    return dir;
}

// 100 frames of testsrc in H.264 (libx264 defaults, yuv420p), made on first use.
const std::string& TestClip() {
    static const std::string path = [] {
        const std::string p = (BenchDir() / "testsrc_1080p25.mp4").string();
        if (!fs::exists(p)) {
            const std::string cmd =
                "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=1920x1080:rate=25 "
                "-t 4 -c:v libx264 -pix_fmt yuv420p '" +
                p + "'";
            if (std::system(cmd.c_str()) != 0)
                return std::string();
        }
        return p;
    }();
    return path;
}

void ReportFps(benchmark::State& state, int64_t frames) {
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

// Every frame of the clip, in order, to ARGB at width x height (range(0): 1 full size, 2 half).
void BM_DecodeToArgb(benchmark::State& state) {
    if (TestClip().empty()) {
        state.SkipWithError("cannot make the test clip with ffmpeg");
        return;
    }
    const int width = cWidth / int(state.range(0));
    const int height = cHeight / int(state.range(0));
    const bool highQuality = state.range(1) != 0;
    VideoFrame frame;
    frame.Resize(width, height);
    int64_t frames = 0;
    for (auto _ : state) {
        MediaStatus s;
        auto reader = ClipReader::Open(TestClip(), s);
        if (!reader) {
            state.SkipWithError(s.Error.c_str());
            return;
        }
        for (int64_t i = 0; i < reader->FrameCount(); i++) {
            s = reader->ReadFrameInto(i, frame.View(), highQuality, nullptr);
            if (!s) {
                state.SkipWithError(s.Error.c_str());
                return;
            }
            frames++;
        }
        benchmark::DoNotOptimize(frame.Pixels.data());
    }
    ReportFps(state, frames);
}
BENCHMARK(BM_DecodeToArgb)
    ->ArgNames({"shrink", "hq"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({2, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// ARGB frames from the decoded clip, converted and encoded (range(0): output kind).
void BM_EncodeFromArgb(benchmark::State& state) {
    static std::vector<VideoFrame> sources;
    if (sources.empty()) {
        MediaStatus s;
        auto reader = TestClip().empty() ? nullptr : ClipReader::Open(TestClip(), s);
        if (!reader) {
            state.SkipWithError("cannot read the test clip");
            return;
        }
        sources.resize(25);
        AudioBlock audio;
        for (size_t i = 0; i < sources.size(); i++)
            reader->ReadFrame(int64_t(i) * 4, cWidth, cHeight, true, sources[i], audio);
    }
    static const char* const cOutputs[] = {"out.mp4", "out.y4m", "null"};
    const std::string name = cOutputs[state.range(0)];
    const std::string path = name == "null" ? name : (BenchDir() / name).string();
    WriterSettings ws;
    ws.Width = cWidth;
    ws.Height = cHeight;
    ws.Audio = false;
    int64_t frames = 0;
    for (auto _ : state) {
        ClipWriter writer;
        MediaStatus s = writer.Open(path, ws);
        for (int rep = 0; s && rep < 2; rep++)
            for (size_t i = 0; s && i < sources.size(); i++, frames++)
                s = writer.WriteFrame(ConstView(sources[i]), nullptr);
        if (s)
            s = writer.Finish();
        if (!s) {
            state.SkipWithError(s.Error.c_str());
            return;
        }
    }
    state.SetLabel(name == "out.mp4" ? "H.264 " + (ws.Preset.empty() ? std::string("veryfast") : ws.Preset) : name == "out.y4m" ? "yuv420p only"
                                                                                                                                : "nothing");
    ReportFps(state, frames);
}
BENCHMARK(BM_EncodeFromArgb)->ArgName("kind")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
