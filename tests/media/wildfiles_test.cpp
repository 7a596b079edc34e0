// Files as they come from the wild, made with the ffmpeg program: music with cover art, a frame
// rate that changes, a file whose codec nobody knows, and a clip that holds nothing between reads.
#include <gtest/gtest.h>

#include <functional>

#include "editor/media/FFmpeg_p.h"
#include "media_testutil.h"

namespace bw::media::test {
namespace {

// Music with cover art is a still that lasts as long as its sound, with its sound.
struct CoverCase {
    const char* Label;
    const char* Name;
    const char* Args;  // ffmpeg inputs and options: 3 s of sound and one picture
};
const CoverCase cCoverCases[] = {
    {"mp3_jpeg", "song.mp3",
     "-f lavfi -i sine=f=440:d=3 -f lavfi -i testsrc=s=64x48:d=1 -map 0 -map 1 -frames:v 1 -c:a libmp3lame "
     "-c:v mjpeg -id3v2_version 3 -disposition:v attached_pic"},
    {"m4a_png", "song.m4a",
     "-f lavfi -i sine=f=440:d=3 -f lavfi -i testsrc=s=64x48:d=1 -map 0 -map 1 -frames:v 1 -c:a aac -c:v png "
     "-disposition:v attached_pic"},
};

class CoverArt : public ::testing::TestWithParam<CoverCase> {};

TEST_P(CoverArt, IsAStillForTheLengthOfItsSound) {
    ScratchDir dir;
    auto reader = FfmpegClip(GetParam().Args, dir / GetParam().Name);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->Info().IsStill);
    EXPECT_EQ(reader->FrameRate(), (Rational{25, 1}));
    EXPECT_NEAR(double(reader->FrameCount()), 75, 2) << "3 s at 25 a second";
    ASSERT_TRUE(reader->HasAudio());
    const VideoFrame first = ReadPicture(*reader, 0, 64, 48);
    const VideoFrame last = ReadPicture(*reader, reader->FrameCount() - 1, 64, 48);
    EXPECT_EQ(first.Pixels, last.Pixels) << "the one picture throughout";
    VideoFrame frame;
    AudioBlock audio;
    ASSERT_TRUE(reader->ReadFrame(40, 64, 48, false, frame, audio).Ok());
    EXPECT_GT(MeasureTone(audio.Samples, audio.SampleRate).Rms, 0.03) << "the song plays";
}

INSTANTIATE_TEST_SUITE_P(Music, CoverArt, ::testing::ValuesIn(cCoverCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// A rate that changes within the clip (24 a second, then 60): the clip runs at FFmpeg's base rate
// for its times and every picture of both parts is shown.
TEST(VariableRate, RunsAtTheBaseRateAndShowsEveryPicture) {
    ScratchDir dir;
    auto reader = FfmpegClip(
        "-f lavfi -i testsrc=s=64x48:r=24:d=1 -f lavfi -i testsrc=s=64x48:r=60:d=1 "
        "-filter_complex [0][1]concat=n=2:v=1 -fps_mode vfr -c:v libx264",
        dir / "vfr.mp4");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->FrameRate(), (Rational{120, 1}));
    EXPECT_EQ(reader->FrameCount(), 238) << "1.9833 s at 120 a second";
    // FFmpeg's own decoding tells how many different pictures there are in a row (testsrc repeats
    // a few of its 84 at this size).
    FILE* md5 = popen(("ffmpeg -nostdin -v error -i " + dir / "vfr.mp4" + " -f framemd5 - | grep -v '^#' | "
                                                                          "cut -d, -f6 | uniq | wc -l")
                          .c_str(),
                      "r");
    ASSERT_TRUE(md5);
    int different = 0;
    EXPECT_EQ(fscanf(md5, "%d", &different), 1);
    pclose(md5);
    EXPECT_GT(different, 75);
    int shown = 1;
    VideoFrame previous = ReadPicture(*reader, 0, 64, 48);
    for (int64_t i = 1; i < reader->FrameCount(); i++) {
        VideoFrame now = ReadPicture(*reader, i, 64, 48);
        shown += now.Pixels != previous.Pixels;
        previous = std::move(now);
    }
    EXPECT_EQ(shown, different) << "pictures of the clip that reached the output";
}

// A stream of a kind the demuxer cannot name is a damaged file, not "codec none".
TEST(DamagedFiles, AnUnknownCodecIsCalledDamaged) {
    ScratchDir dir;
    const std::string path = dir / "x.mkv";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=1 -c:v libx264 " + path));
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    const size_t codec = bytes.find("V_MPEG4/ISO/AVC");  // the track's codec, damaged
    ASSERT_NE(codec, std::string::npos);
    f.seekp(std::streamoff(codec));
    f.write("V_ZZZZZ", 7);
    f.close();
    MediaStatus s;
    EXPECT_FALSE(ClipReader::Open(path, s));
    EXPECT_EQ(s.Error, path + ": not a video file, or damaged: its video stream is of no kind FFmpeg knows");
}

// Codes met while reading: the system's words only for what the file's I/O recorded itself.
struct InputWordsCase {
    int Code, IoError;
    const char* Text;
};
const InputWordsCase cInputWords[] = {
    {AVERROR(EPERM), 0, "the file is damaged"},  // a demuxer's bare -1
    {AVERROR(EIO), 0, "the file is damaged"},
    {AVERROR(EINVAL), 0, "the file is damaged"},
    {AVERROR_INVALIDDATA, 0, "the file is damaged"},
    {AVERROR(ENOMEM), 0, "the file is damaged, or memory ran out"},
    {AVERROR_EOF, AVERROR_EOF, "the file ends early"},
    {AVERROR(EIO), AVERROR(EIO), "the device reported a read or write error"},
    {AVERROR(EPERM), AVERROR(EACCES), "permission denied"},
    {AVERROR_PATCHWELCOME, 0, "a feature of the file that FFmpeg does not support"},
};
class InputWords : public ::testing::TestWithParam<InputWordsCase> {};
TEST_P(InputWords, SayDamagedUnlessTheSystemSaidSo) {
    EXPECT_EQ(detail::InputErrorText(GetParam().Code, GetParam().IoError), GetParam().Text);
}
INSTANTIATE_TEST_SUITE_P(Codes, InputWords, ::testing::ValuesIn(cInputWords));

int OpenFiles() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) n++;
    return n;
}

// A clip holds its file only while it is read: nothing after Open, nothing after Release, and a
// read after Release gives what it gave before.
TEST(Release, ClosesTheFileAndReadsAgainTheSame) {
    ScratchDir dir;
    ASSERT_TRUE(WriteGeneratedClip(dir / "c.mp4", GeneratorSettings{.FrameCount = 30}).Ok());
    const int before = OpenFiles();
    auto reader = OpenClip(dir / "c.mp4");
    ASSERT_TRUE(reader);
    EXPECT_EQ(OpenFiles(), before) << "opened, probed and closed";
    VideoFrame frame;
    AudioBlock first, again;
    ASSERT_TRUE(reader->ReadFrame(12, 80, 45, true, frame, first).Ok());
    const VideoFrame picture = frame;
    EXPECT_GT(OpenFiles(), before);
    reader->Release();
    EXPECT_EQ(OpenFiles(), before);
    ASSERT_TRUE(reader->ReadFrame(12, 80, 45, true, frame, again).Ok());
    EXPECT_EQ(frame.Pixels, picture.Pixels);
    EXPECT_EQ(again.Samples, first.Samples);
}

}  // namespace
}  // namespace bw::media::test
