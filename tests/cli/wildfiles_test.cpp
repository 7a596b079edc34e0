// The blockwaves program with files from the wild: lengths in seconds at the output's rate, a
// damaged first clip named as the cause, music with cover art joined with its sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "editor/media/ClipReader.h"
#include "editor/media/Generators.h"
#include "cli/program_runner.h"
#include "media/media_testutil.h"

namespace {
namespace fs = std::filesystem;
using namespace bw::media;
using bw::media::test::Ffmpeg;
using bw::media::test::ScratchDir;

using bw::cli::test::Outcome;

// Runs the command line with its configuration folder in `dir`.
Outcome Program(const ScratchDir& dir, std::vector<std::string> args) {
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    return bw::cli::test::RunForked(std::move(args), dir.Path().string());
}

std::string Clip(const ScratchDir& dir, const std::string& name, int64_t frames) {
    GeneratorSettings g;
    g.FrameCount = frames;
    EXPECT_TRUE(WriteGeneratedClip(dir / name, g).Ok());
    return dir / name;
}

// --overlap in seconds counts frames at the output's rate: -r's when given.
struct OverlapCase {
    const char* Rate;     // -r; empty: the first clip's 25
    const char* Planned;  // the dry run's transition
};
const OverlapCase cOverlapCases[] = {
    {"24", "(24 frames, 0:01.00)"},
    {"60", "(60 frames, 0:01.00)"},
    {"", "(25 frames, 0:01.00)"},
};
class OverlapSeconds : public ::testing::TestWithParam<OverlapCase> {};

TEST_P(OverlapSeconds, CountAtTheOutputsRate) {
    ScratchDir dir;
    const std::string a = Clip(dir, "a.mp4", 50), b = Clip(dir, "b.mp4", 50);
    std::vector<std::string> args{"render", a, b, "--overlap", "1s", "--dry-run", "-o", dir / "out.mp4"};
    if (*GetParam().Rate) args.insert(args.end(), {"-r", GetParam().Rate});
    const Outcome r = Program(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(GetParam().Planned), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Rates, OverlapSeconds, ::testing::ValuesIn(cOverlapCases),
                         [](const auto& info) { return *info.param.Rate ? std::string("r") + info.param.Rate : "own"; });

// A first clip whose header's time scale is damaged (25 a second read as 125/128) leaves a short
// second clip without a frame at its rate: the message names the damaged clip.
TEST(DamagedRate, TheFirstClipIsNamed) {
    ScratchDir dir;
    const std::string a = dir / "a.mp4";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=2 -c:v libx264 " + a));
    std::fstream f(a, std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    const size_t mdhd = bytes.find("mdhd");
    ASSERT_NE(mdhd, std::string::npos);
    const char scale[4] = {0, 0, 0x01, char(0xF4)};  // 500 for 12800, big-endian
    f.seekp(std::streamoff(mdhd + 16));
    f.write(scale, 4);
    f.close();
    const std::string b = Clip(dir, "b.mp4", 20);
    const Outcome r = Program(dir, {"render", a, b, "--frames", "1", "-o", dir / "out.mp4"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find(a + ": its frame rate, 0.9766 a second, leaves " + b + " without a single frame"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.mp4"));
}

// A song with cover art is joined as its picture for the length of its sound, with the sound.
TEST(CoverArt, JoinsAsAStillWithItsSound) {
    ScratchDir dir;
    const std::string song = dir / "song.mp3";
    ASSERT_TRUE(Ffmpeg(
        "-f lavfi -i sine=f=440:d=2 -f lavfi -i testsrc=s=64x48:d=1 -map 0 -map 1 -frames:v 1 "
        "-c:a libmp3lame -c:v mjpeg -disposition:v attached_pic " +
        song));
    const std::string b = Clip(dir, "b.mp4", 25);
    const Outcome r = Program(dir, {"render", song, b, "--frames", "10", "-o", dir / "out.mp4"});
    ASSERT_EQ(r.status, 0) << r.err;
    MediaStatus s;
    auto out = ClipReader::Open(dir / "out.mp4", s);
    ASSERT_TRUE(out) << s.Error;
    EXPECT_NEAR(double(out->FrameCount()), 50 + 25 - 10, 2) << "2 s of song, 1 s of clip, 10 frames shared";
    EXPECT_TRUE(out->HasAudio());
    VideoFrame frame;
    AudioBlock audio;
    ASSERT_TRUE(out->ReadFrame(20, 64, 48, false, frame, audio).Ok());
    EXPECT_GT(bw::media::test::MeasureTone(audio.Samples, audio.SampleRate).Rms, 0.03) << "the song plays";
}

}  // namespace
