// Generated clips written in every output kind and read back: what the file says about itself,
// the pictures within the codec's tolerance, the tone's level and pitch, and random access that
// gives the same pictures as reading straight through.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "media_testutil.h"

namespace bw::media::test {
namespace {

struct KindCase {
    const char* Label;
    const char* WritePath;    // inside the scratch folder
    const char* ReadPath;     // the same, or the pattern of a sequence
    OutputKind  Kind;
    bool        Audio;
    double      MeanTolerance;   // mean absolute channel difference, 0..255
    int         FlatTolerance;   // largest difference at points inside uniform areas
};

// Tolerances measured on 160x90 bars with some margin: PNG is lossless; YUV4MPEG2 loses only
// chroma resolution (the bars' edges), but nothing inside them; the codecs at their default
// quality lose more at such a small size.
const KindCase cKindCases[] = {
    {"mp4", "clip.mp4", "clip.mp4", OutputKind::Mp4, true, 6.0, 16},
    {"mov", "clip.mov", "clip.mov", OutputKind::Mov, true, 6.0, 16},
    {"mkv", "clip.mkv", "clip.mkv", OutputKind::Mkv, true, 6.0, 16},
    {"webm", "clip.webm", "clip.webm", OutputKind::WebM, true, 8.0, 16},
    {"y4m", "clip.y4m", "clip.y4m", OutputKind::Y4m, false, 7.0, 3},
    {"png", "frames/%05d.png", "frames/%05d.png", OutputKind::PngSequence, false, 0.0, 0},
};

constexpr int64_t cFrames = 30;

GeneratorSettings BarsClip() {
    GeneratorSettings g;
    g.Kind = Pattern::Bars;
    g.Width = 160;
    g.Height = 90;
    g.FrameRate = {25, 1};
    g.FrameCount = cFrames;
    g.SampleRate = 48000;
    return g;
}

class RoundTrip : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override {
        MediaStatus s = WriteGeneratedClip(fDir / GetParam().WritePath, fClip);
        ASSERT_TRUE(s.Ok()) << s.Error;
        fReader = ClipReader::Open(fDir / GetParam().ReadPath, s);
        ASSERT_TRUE(fReader) << s.Error;
    }
    ScratchDir fDir;
    GeneratorSettings fClip = BarsClip();
    std::unique_ptr<ClipReader> fReader;
};

TEST_P(RoundTrip, KindFollowsThePath) {
    OutputKind kind{};
    ASSERT_TRUE(OutputKindForPath(fDir / GetParam().WritePath, kind).Ok());
    EXPECT_EQ(kind, GetParam().Kind);
}

TEST_P(RoundTrip, ProbeGivesCountSizeRateAndDuration) {
    const ClipInfo& info = fReader->Info();
    EXPECT_EQ(info.Width, 160);
    EXPECT_EQ(info.Height, 90);
    EXPECT_EQ(info.FrameRate, (Rational{25, 1}));
    EXPECT_EQ(info.FrameCount, cFrames);
    EXPECT_TRUE(info.FrameCountExact);
    EXPECT_NEAR(info.Duration, double(cFrames) / 25.0, 1.0 / 25.0);
    EXPECT_EQ(info.HasAudio, GetParam().Audio);
    if (GetParam().Audio) {
        EXPECT_EQ(info.AudioSampleRate, 48000);
    }
}

TEST_P(RoundTrip, PicturesMatchTheGeneratorWithinTolerance) {
    VideoFrame frame;
    AudioBlock audio;
    for (int64_t i = 0; i < cFrames; i++) {
        MediaStatus s = fReader->ReadFrame(i, 160, 90, true, frame, audio);
        ASSERT_TRUE(s.Ok()) << s.Error;
        if (i % 7 != 0 && i != cFrames - 1)
            continue;
        const PictureError e = CompareWithGenerator(frame, fClip, i);
        EXPECT_GT(e.FlatPoints, 20) << "frame " << i;
        EXPECT_LE(e.MeanAbs, GetParam().MeanTolerance) << "frame " << i;
        EXPECT_LE(e.FlatWorst, GetParam().FlatTolerance) << "frame " << i;
        EXPECT_EQ(PixelOf(frame, 80, 45) >> 24, 0xFFu) << "opaque";
    }
}

TEST_P(RoundTrip, ToneKeepsLevelAndPitch) {
    VideoFrame frame;
    AudioBlock audio;
    std::vector<float> all;
    for (int64_t i = 0; i < cFrames; i++) {
        MediaStatus s = fReader->ReadFrame(i, 160, 90, false, frame, audio);
        ASSERT_TRUE(s.Ok()) << s.Error;
        ASSERT_EQ(audio.Channels, 2);
        ASSERT_EQ(audio.SampleRate, 48000);
        EXPECT_EQ(audio.FrameCount(), 48000 / 25) << "frame " << i;
        all.insert(all.end(), audio.Samples.begin(), audio.Samples.end());
    }
    // The middle of the clip, away from the encoders' start-up and end.
    const std::vector<float> middle(all.begin() + 2 * 9600, all.end() - 2 * 9600);
    const ToneMeasure m = MeasureTone(middle, 48000);
    if (!GetParam().Audio) {
        EXPECT_EQ(m.Rms, 0.0);
        return;
    }
    EXPECT_NEAR(Decibels(m.Rms / (0.25 / std::sqrt(2.0))), 0.0, 1.0);
    EXPECT_NEAR(m.FrequencyHz, 440.0, 4.0);
    EXPECT_LT(m.LeftRightDiff, 0.02);
}

TEST_P(RoundTrip, RandomAccessGivesTheSequentialPictures) {
    std::vector<VideoFrame> sequential(cFrames);
    AudioBlock audio;
    for (int64_t i = 0; i < cFrames; i++)
        ASSERT_TRUE(fReader->ReadFrame(i, 160, 90, true, sequential[size_t(i)], audio).Ok());
    const int64_t order[] = {29, 3, 17, 16, 0, 28, 12, 12, 27, 1};
    MediaStatus s;
    auto second = ClipReader::Open(fDir / GetParam().ReadPath, s);
    ASSERT_TRUE(second) << s.Error;
    VideoFrame frame;
    for (int64_t i : order) {
        s = second->ReadFrame(i, 160, 90, true, frame, audio);
        ASSERT_TRUE(s.Ok()) << s.Error;
        EXPECT_TRUE(frame.Pixels == sequential[size_t(i)].Pixels) << "frame " << i;
    }
}

// After a jump the audio lands where reading straight through puts it: within one millisecond,
// the precision of Matroska's and WebM's timestamps (MP4 lands exactly).
TEST_P(RoundTrip, AudioAfterAJumpMatchesTheSequentialAudio) {
    AudioBlock sequential;
    ASSERT_TRUE(fReader->ReadAudio(0, 48000, sequential).Ok());
    if (!GetParam().Audio) {   // no sound track: silence of the asked length
        EXPECT_EQ(sequential.FrameCount(), 48000);
        EXPECT_TRUE(std::all_of(sequential.Samples.begin(), sequential.Samples.end(), [](float v) { return v == 0; }));
        return;
    }
    for (int64_t at : {24000, 9600, 30000}) {
        MediaStatus s;
        auto second = ClipReader::Open(fDir / GetParam().ReadPath, s);
        ASSERT_TRUE(second) << s.Error;
        AudioBlock audio;
        ASSERT_TRUE(second->ReadAudio(at, 2000, audio).Ok());
        ASSERT_EQ(audio.FrameCount(), 2000);
        int bestOffset = 0;
        double bestError = 1e9;
        for (int offset = -49; offset <= 49; offset++) {
            double error = 0;
            for (int k = 0; k < 2000; k++)
                error += std::abs(audio.Samples[2 * k] - sequential.Samples[size_t(2 * (at + k + offset))]);
            if (error < bestError) {
                bestError = error;
                bestOffset = offset;
            }
        }
        EXPECT_LT(bestError / 2000, 0.01) << "sample " << at << ", offset " << bestOffset;
        EXPECT_LE(std::abs(bestOffset), 48) << "sample " << at;
        if (GetParam().Kind == OutputKind::Mp4 || GetParam().Kind == OutputKind::Mov) {
            EXPECT_EQ(bestOffset, 0) << "sample " << at;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RoundTrip, ::testing::ValuesIn(cKindCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// Frame rates survive as exact fractions, and the frame count follows from them.
struct RateCase {
    const char* Path;
    Rational    Rate;
};
const RateCase cRateCases[] = {
    {"a.mp4", {30000, 1001}}, {"b.mp4", {24, 1}}, {"c.mkv", {50, 1}},
    {"d.mkv", {30000, 1001}}, {"e.y4m", {30, 1}}, {"f.webm", {24000, 1001}},
};

class RateRoundTrip : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateRoundTrip, RateAndCountSurvive) {
    ScratchDir dir;
    GeneratorSettings g = BarsClip();
    g.Kind = Pattern::Gradient;
    g.FrameRate = GetParam().Rate;
    g.FrameCount = 12;
    MediaStatus s = WriteGeneratedClip(dir / GetParam().Path, g);
    ASSERT_TRUE(s.Ok()) << s.Error;
    auto reader = ClipReader::Open(dir / GetParam().Path, s);
    ASSERT_TRUE(reader) << s.Error;
    EXPECT_EQ(reader->FrameRate(), GetParam().Rate);
    EXPECT_EQ(reader->FrameCount(), 12);
    // Per-frame audio shares add up to the clip's length with nothing lost or doubled.
    VideoFrame frame;
    AudioBlock audio;
    int64_t total = 0;
    for (int64_t i = 0; i < 12; i++) {
        ASSERT_TRUE(reader->ReadFrame(i, 32, 18, false, frame, audio).Ok());
        total += audio.FrameCount();
    }
    EXPECT_EQ(total, FrameSampleStart(12, GetParam().Rate, reader->SampleRate()));
}

INSTANTIATE_TEST_SUITE_P(Rates, RateRoundTrip, ::testing::ValuesIn(cRateCases), [](const auto& info) {
    std::string name = info.param.Path;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

}  // namespace
}  // namespace bw::media::test

namespace bw::media::test {
namespace {

// Sound stays with the pictures: the audio read for a frame is the tone the generator made for
// that frame, shifted at most by what the container's timestamps allow (MP4: exact; Matroska:
// millisecond timestamps; WebM from FFmpeg 5.1: the video starts 7 ms after the Opus audio).
struct SyncCase {
    const char* Path;
    int         MaxOffset;   // samples at 48 kHz
};
const SyncCase cSyncCases[] = {{"a.mp4", 0}, {"b.mov", 0}, {"c.mkv", 48}, {"d.webm", 400}};

class AudioSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(AudioSync, ToneOfEachFrameComesBackWithThatFrame) {
    ScratchDir dir;
    GeneratorSettings g;
    g.FrameCount = 30;
    g.ToneHz = 50;   // a 960-sample period: offsets up to 480 samples are unambiguous
    MediaStatus s = WriteGeneratedClip(dir / GetParam().Path, g);
    ASSERT_TRUE(s.Ok()) << s.Error;
    auto reader = ClipReader::Open(dir / GetParam().Path, s);
    ASSERT_TRUE(reader) << s.Error;
    GeneratedClip clip(g);
    std::vector<float> got, want;
    VideoFrame frame;
    AudioBlock audio;
    for (int64_t i = 0; i < 30; i++) {
        ASSERT_TRUE(reader->ReadFrame(i, 16, 16, false, frame, audio).Ok());
        got.insert(got.end(), audio.Samples.begin(), audio.Samples.end());
        ASSERT_TRUE(clip.ReadFrame(i, 16, 16, false, frame, audio).Ok());
        want.insert(want.end(), audio.Samples.begin(), audio.Samples.end());
    }
    ASSERT_EQ(got.size(), want.size());
    int bestOffset = 0;
    double bestError = 1e9;
    for (int offset = -480; offset <= 480; offset++) {
        double error = 0;
        for (size_t k = 12000; k < 36000; k++)
            error += std::abs(got[2 * k] - want[2 * (k + size_t(offset))]);
        if (error < bestError) {
            bestError = error;
            bestOffset = offset;
        }
    }
    EXPECT_LE(std::abs(bestOffset), GetParam().MaxOffset);
    EXPECT_LT(bestError / 24000, 0.01) << "offset " << bestOffset;
}

INSTANTIATE_TEST_SUITE_P(Kinds, AudioSync, ::testing::ValuesIn(cSyncCases), [](const auto& info) {
    std::string name = info.param.Path;
    return name.substr(name.find('.') + 1);
});

}  // namespace
}  // namespace bw::media::test
