// Broken inputs and failed outputs: every problem gives its own message naming the file, nothing
// crashes, and a failed or abandoned output leaves nothing behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "editor/media/Decoding_p.h"
#include "editor/media/FFmpeg_p.h"
#include "media_testutil.h"

namespace bw::media::test {
namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

void WriteClip(const std::string& path, int64_t frames = 25) {
    const MediaStatus s = WriteGeneratedClip(path, GeneratorSettings{.FrameCount = frames});
    ASSERT_TRUE(s.Ok()) << s.Error;
}

// A clip cut in half: an index at the end is gone, one at the front survives.
void WriteAndCut(const std::string& path, int64_t frames = 40) {
    WriteClip(path, frames);
    fs::resize_file(path, fs::file_size(path) / 2);
}

WriterSettings Sized(int width, int height) {
    WriterSettings ws;
    ws.Width = width, ws.Height = height;
    return ws;
}

// Reads frames from 0 on until one fails or `count` are read: how many read, and the last status.
int64_t ReadUntilFailure(ClipReader& reader, int64_t count, MediaStatus& s, int width = 16, int height = 16) {
    VideoFrame frame;
    AudioBlock audio;
    int64_t i = 0;
    while (i < count && (s = reader.ReadFrame(i, width, height, true, frame, audio)).Ok()) i++;
    return i;
}

struct OpenCase {
    const char* Label;
    const char* Name;                             // file opened, inside the scratch folder
    std::function<void(const ScratchDir&)> Make;  // puts the broken input in place
    const char* Problem;                          // expected text after "<path>: "
};

const OpenCase cOpenCases[] = {
    {"missing", "missing.mp4", [](const ScratchDir&) {}, "no such file"},
    {"folder", "folder.mp4", [](const ScratchDir& d) { fs::create_directory(d / "folder.mp4"); },
     "is a folder, not a media file"},
    {"audio_only", "tone.wav", [](const ScratchDir& d) { WriteWav(d / "tone.wav", 48000, 4800); }, "no video stream"},
    {"text", "notes.mp4", [](const ScratchDir& d) { WriteText(d / "notes.mp4", "not a video at all\n"); },
     "not a video file"},
    {"empty", "empty.mkv", [](const ScratchDir& d) { WriteText(d / "empty.mkv", ""); }, "the file is empty"},
    {"truncated_mp4", "cut.mp4", [](const ScratchDir& d) { WriteAndCut(d / "cut.mp4", 25); }, "not a video file"},
    {"truncated_mov", "cut.mov", [](const ScratchDir& d) { WriteAndCut(d / "cut.mov"); }, "not a video file"},
    // Opening a FIFO for reading would wait for a writer for ever: refused before it is opened.
    {"fifo", "pipe.mp4", [](const ScratchDir& d) { ASSERT_EQ(mkfifo((d / "pipe.mp4").c_str(), 0644), 0); }, "is a pipe, not a file"},
};

class OpenFails : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFails, MessageNamesTheFileAndTheProblem) {
    ScratchDir dir;
    GetParam().Make(dir);
    const std::string path = dir / GetParam().Name;
    MediaStatus s;
    alarm(60);  // a blocking open ends the test program rather than hanging it
    auto reader = ClipReader::Open(path, s);
    alarm(0);
    EXPECT_FALSE(reader);
    ASSERT_FALSE(s.Ok());
    EXPECT_EQ(s.Error.rfind(path + ": " + GetParam().Problem, 0), 0u) << s.Error;
}

INSTANTIATE_TEST_SUITE_P(Inputs, OpenFails, ::testing::ValuesIn(cOpenCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// A stream file whose header at the front survives a cut. Where the header states a duration
// (Matroska, WebM, an MP4 with its index in front) the clip keeps it and ends early where the
// packets stop, naming the time; with none (YUV4MPEG2) the count is what is there. A file whose
// sound outlasts its pictures is whole.
struct CutCase {
    const char* Name;
    std::function<void(const std::string&)> Make;
    int64_t OpenCount;   // the count at open; 0: fewer than 40, more than 5
    int Slack;           // how far the count at open may be off (the sound's last frame)
    int64_t EndsBefore;  // the read ends early after frame 5 and before this one; 0: it reads to the end
};
void WriteLongerSound(const std::string& path) {
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=2 -f lavfi -i sine=d=3 -c:v libx264 -c:a aac " + path));
}
void CutWithIndexInFront(const std::string& path) {
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=3 -c:v libx264 -g 25 -movflags +faststart " + path));
    fs::resize_file(path, fs::file_size(path) / 2);
}
const CutCase cCutCases[] = {
    {"cut.mkv", [](const std::string& p) { WriteAndCut(p); }, 40, 1, 30},
    {"cut.webm", [](const std::string& p) { WriteAndCut(p); }, 40, 1, 30},
    {"cut.y4m", [](const std::string& p) { WriteAndCut(p); }, 0, 0, 0},
    {"long_sound.mkv", WriteLongerSound, 50, 1, 0},
    {"faststart.mp4", CutWithIndexInFront, 75, 0, 60},
};

class CutStream : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutStream, EndsEarlyWhereTheHeaderSaysMore) {
    const CutCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir / c.Name;
    c.Make(path);
    auto reader = OpenClip(path);
    ASSERT_TRUE(reader);
    const int64_t opened = reader->FrameCount();
    if (c.OpenCount > 0) {
        EXPECT_NEAR(double(opened), double(c.OpenCount), c.Slack);
    } else {
        EXPECT_LT(opened, 40) << "the count must not claim the lost frames";
        EXPECT_GT(opened, 5);
    }
    MediaStatus s;
    const int64_t i = ReadUntilFailure(*reader, opened, s, 80, 45);
    EXPECT_EQ(s.EndedEarly, c.EndsBefore > 0) << s.Error;
    if (c.EndsBefore > 0) {
        char at[32];
        std::snprintf(at, sizeof at, "0:%05.2f", i / 25.0);
        EXPECT_EQ(s.Error, path + ": the file ends early at " + at);
        EXPECT_EQ(reader->FrameCount(), i) << "the count is what decoded";
        EXPECT_GT(i, 5);
        EXPECT_LT(i, c.EndsBefore);
    } else {
        EXPECT_EQ(i, opened) << s.Error;
    }
    ReadPicture(*reader, 0, 80, 45);  // the first frames stay readable
}

INSTANTIATE_TEST_SUITE_P(Kinds, CutStream, ::testing::ValuesIn(cCutCases), [](const auto& info) {
    std::string name = info.param.Name;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

TEST(ReadErrors, FrameOutOfRangeNamesTheFrameAndTheCount) {
    ScratchDir dir;
    WriteClip(dir / "clip.mp4", 10);
    auto reader = OpenClip(dir / "clip.mp4");
    ASSERT_TRUE(reader);
    VideoFrame frame;
    AudioBlock audio;
    for (int64_t bad : {int64_t(-1), int64_t(10), int64_t(1) << 40}) {
        const MediaStatus s = reader->ReadFrame(bad, 16, 16, true, frame, audio);
        EXPECT_EQ(s.Error, dir / "clip.mp4" + ": frame " + std::to_string(bad) + " out of range (the clip has 10 frames)");
    }
    ReadPicture(*reader, 9, 16, 16);  // still usable after refusals
}

// A read error in the sound fails the read and names the error, as one in the pictures does. The
// sound's demuxer is the one that discards the video stream; it fails from its 11th packet on.
int lgSoundReads = 0;
int FailingSoundRead(AVFormatContext* f, AVPacket* p) {
    const AVStream* first = f->streams[0];
    if (first->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && first->discard == AVDISCARD_ALL && ++lgSoundReads > 10) {
        f->pb->error = AVERROR(EIO);
        return AVERROR(EIO);
    }
    return av_read_frame(f, p);
}

TEST(ReadErrors, ASoundReadErrorFailsTheRead) {
    ScratchDir dir;
    const std::string path = dir / "clip.mkv";
    WriteClip(path, 50);
    auto reader = OpenClip(path);
    ASSERT_TRUE(reader);
    lgSoundReads = 0;
    detail::gReadPacket = FailingSoundRead;
    MediaStatus s;
    const int64_t i = ReadUntilFailure(*reader, 50, s);
    detail::gReadPacket = av_read_frame;
    EXPECT_GT(lgSoundReads, 10);
    EXPECT_LT(i, 50) << "the sound after the error is lost, not silence";
    EXPECT_EQ(s.Error.rfind(path + ": the sound ends early at 0:0", 0), 0u) << s.Error;
    EXPECT_NE(s.Error.find(" (the device reported a read or write error)"), std::string::npos) << s.Error;
    EXPECT_FALSE(s.EndedEarly) << "the pictures are whole";
}

// Output paths that cannot be written are refused at Open, before anything is created.
struct BadOutputCase {
    const char* Label;
    const char* Name;
    int Width, Height;
    const char* Problem;
};
const BadOutputCase cBadOutputCases[] = {
    {"unknown_extension", "out.avi", 160, 90, "unknown output kind"},
    {"missing_folder", "nowhere/out.mp4", 160, 90, "folder"},
    {"odd_size_h264", "out.mp4", 161, 90, "frame size 161x90 must be even"},
    {"odd_size_y4m", "out.y4m", 160, 91, "frame size 160x91 must be even"},
    {"bad_pattern", "frames/%05d_%d.png", 160, 90, "an image sequence needs one frame number pattern"},
    {"pattern_not_png", "frames/%05d.jpg", 160, 90, "an image sequence needs"},
    {"zero_size", "out.mkv", 0, 90, "invalid frame size"},
};

class OpenOutputFails : public ::testing::TestWithParam<BadOutputCase> {};

TEST_P(OpenOutputFails, RefusedWithAMessageAndNothingWritten) {
    ScratchDir dir;
    const std::string path = dir / GetParam().Name;
    ClipWriter writer;
    const MediaStatus s = writer.Open(path, Sized(GetParam().Width, GetParam().Height));
    ASSERT_FALSE(s.Ok());
    EXPECT_EQ(s.Error.rfind(path + ": ", 0), 0u) << s.Error;
    EXPECT_NE(s.Error.find(GetParam().Problem), std::string::npos) << s.Error;
    EXPECT_TRUE(dir.Listing().empty());
}

INSTANTIATE_TEST_SUITE_P(Outputs, OpenOutputFails, ::testing::ValuesIn(cBadOutputCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// Output written partly and then failed or abandoned leaves no trace, and an older file at the
// same path survives untouched.
struct PartialCase {
    const char* Label;
    const char* Name;
};
const PartialCase cPartialCases[] = {
    {"mp4", "out.mp4"},
    {"webm", "out.webm"},
    {"y4m", "out.y4m"},
    {"png", "seq/%04d.png"},
};

class PartialOutput : public ::testing::TestWithParam<PartialCase> {
protected:
    // Opens a writer and writes three good frames.
    void StartWriting(ClipWriter& writer) {
        MediaStatus s = writer.Open(fDir / GetParam().Name, Sized(64, 36));
        ASSERT_TRUE(s.Ok()) << s.Error;
        GeneratedClip clip(GeneratorSettings{});
        VideoFrame frame;
        AudioBlock audio;
        for (int i = 0; i < 3; i++) {
            ASSERT_TRUE(clip.ReadFrame(i, 64, 36, true, frame, audio).Ok());
            s = writer.WriteFrame(frame.View(), &audio);
            ASSERT_TRUE(s.Ok()) << s.Error;
        }
        EXPECT_FALSE(writer.TemporaryPath().empty());
        EXPECT_TRUE(fs::exists(writer.TemporaryPath())) << "written under a temporary name";
    }
    ScratchDir fDir;
};

// A frame of the wrong size, or sound at the wrong rate, fails the output and removes it.
TEST_P(PartialOutput, AWrongFrameOrSoundFailsAndRemovesTheTemporaryOutput) {
    const struct {
        int Width, SampleRate;
        const char* Problem;
    } cases[] = {{32, 0, "frame 3 is 32x36, the output is 64x36"},
                 {64, 44100, "2 channels at 44100 Hz, the output takes stereo at 48000 Hz"}};
    for (const auto& c : cases) {
        ClipWriter writer;
        StartWriting(writer);
        VideoFrame frame;
        frame.Resize(c.Width, 36);
        AudioBlock audio{.SampleRate = c.SampleRate, .Channels = 2, .Samples = std::vector<float>(2 * 1764)};
        const MediaStatus s = writer.WriteFrame(frame.View(), c.SampleRate ? &audio : nullptr);
        ASSERT_FALSE(s.Ok());
        EXPECT_NE(s.Error.find(c.Problem), std::string::npos) << s.Error;
        EXPECT_TRUE(fDir.Listing().empty());
        EXPECT_FALSE(writer.Finish().Ok()) << "a failed writer cannot be finished";
        EXPECT_TRUE(fDir.Listing().empty());
    }
}

// Abandoned unfinished, a writer leaves nothing; aborted, it leaves an older output in place.
TEST_P(PartialOutput, AnAbandonedWriterLeavesNothingAndAnAbortedOneTheOlderOutput) {
    {
        ClipWriter writer;
        StartWriting(writer);
    }
    EXPECT_TRUE(fDir.Listing().empty());
    const std::string name = GetParam().Name;
    const bool sequence = name.find('%') != std::string::npos;
    const std::string older = sequence ? fDir / "seq/0001.png" : fDir / name;
    if (sequence) fs::create_directory(fDir / "seq");
    WriteText(older, "older output");
    {
        ClipWriter writer;
        StartWriting(writer);
        writer.Abort();
    }
    std::ifstream in(older);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "older output");
    EXPECT_EQ(fDir.Listing().size(), sequence ? 2u : 1u);
}

TEST_P(PartialOutput, FinishPutsTheOutputInPlaceAndNothingElse) {
    ClipWriter writer;
    StartWriting(writer);
    const std::string temp = writer.TemporaryPath();
    const MediaStatus s = writer.Finish();
    ASSERT_TRUE(s.Ok()) << s.Error;
    EXPECT_FALSE(fs::exists(temp));
    const std::string name = GetParam().Name;
    if (name.find('%') != std::string::npos)
        EXPECT_EQ(fDir.Listing(), (std::vector<std::string>{"seq", "seq/0001.png", "seq/0002.png", "seq/0003.png"}));
    else
        EXPECT_EQ(fDir.Listing(), (std::vector<std::string>{name}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PartialOutput, ::testing::ValuesIn(cPartialCases),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST(NullOutput, TakesFramesAndWritesNothing) {
    ScratchDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());  // "null" is no file in the working folder either
    ClipWriter writer;
    ASSERT_TRUE(writer.Open("null", Sized(64, 36)).Ok());
    EXPECT_EQ(writer.Kind(), OutputKind::Null);
    VideoFrame frame;
    frame.Resize(64, 36);
    for (int i = 0; i < 5; i++)
        ASSERT_TRUE(writer.WriteFrame(frame.View(), nullptr).Ok());
    EXPECT_EQ(writer.FramesWritten(), 5);
    ASSERT_TRUE(writer.Finish().Ok());
    EXPECT_TRUE(dir.Listing().empty());
    fs::current_path(before);
}

TEST(EmptyOutput, FinishWithoutFramesFailsAndLeavesNothing) {
    ScratchDir dir;
    ClipWriter writer;
    ASSERT_TRUE(writer.Open(dir / "out.mp4", Sized(64, 36)).Ok());
    const MediaStatus s = writer.Finish();
    EXPECT_EQ(s.Error, dir / "out.mp4" + ": no frames were written");
    EXPECT_TRUE(dir.Listing().empty());
}

// A header count that disagrees with the duration is ignored.
TEST(LyingHeaders, ACountAgainstTheDurationIsIgnored) {
    ScratchDir dir;
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=2 -c:v libx264 -g 25 " + dir / "m.mp4"));
    // The sample-to-time table's one entry claims 14 million frames of the 50.
    std::fstream f(dir / "m.mp4", std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    const size_t stts = bytes.find("stts");
    ASSERT_NE(stts, std::string::npos);
    const char claim[4] = {0x00, char(0xD5), char(0x9F), char(0x80)};  // 14000000, big-endian
    f.seekp(std::streamoff(stts + 12));
    f.write(claim, 4);
    f.close();
    auto reader = OpenClip(dir / "m.mp4");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->FrameCount(), 50);
}

TEST(UserWords, ReplaceTheSystemsText) {
    const std::pair<int, const char*> cases[] = {
        {AVERROR(ENOSPC), "no space left on the device"},
        {AVERROR(ENOMEM), "not enough memory"},
        {AVERROR(EPERM), "permission denied"},
        {AVERROR(EACCES), "permission denied"},
        {AVERROR(EFBIG), "the file size limit was reached"},
        {AVERROR_INVALIDDATA, "damaged or unreadable data"},
        {AVERROR_EOF, "the file ends early"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(detail::UserErrorText(code), text) << code;
}

TEST(SequencePattern, MatchesOnlyItsOwnFiles) {
    for (const char* name : {"00001.png", "123456.png", "00000.png", "01234.png"})
        EXPECT_TRUE(MatchesSequence("%05d.png", name)) << name;
    for (const char* name :
         {"1.png", "0001.png", "1234.png", "000001.png", "00001.PNG", ".png", "a0001.png", "notes.txt", "00001.png.part"})
        EXPECT_FALSE(MatchesSequence("%05d.png", name)) << name;
    int64_t number = -1;
    EXPECT_TRUE(MatchesSequence("f_%d_100%%.png", "f_17_100%.png", &number));
    EXPECT_EQ(number, 17);
    EXPECT_FALSE(MatchesSequence("f_%d_100%%.png", "f_017_100%.png"));
    // FFmpeg pads to the width with zeros whether or not the pattern has its 0.
    EXPECT_TRUE(MatchesSequence("%3d.png", "007.png"));
    EXPECT_FALSE(MatchesSequence("%3d.png", "7.png"));
    // A pattern without a folder is looked for in the current one.
    ScratchDir dir;
    WriteText(dir / "00003.png", "");
    const fs::path was = fs::current_path();
    fs::current_path(dir.Path());
    EXPECT_EQ(SequenceNumbers("%05d.png"), std::vector<int64_t>{3});
    fs::current_path(was);
}

}  // namespace
}  // namespace bw::media::test
