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
    const char* Path;  // inside the scratch folder
    OutputKind Kind;
    bool Audio;
    double MeanTolerance;  // mean absolute channel difference, 0..255
    int FlatTolerance;     // largest difference at points inside uniform areas
};

// Tolerances measured on 160x90 bars with some margin: PNG is lossless; YUV4MPEG2 loses only
// chroma resolution (the bars' edges), but nothing inside them; the codecs at their default
// quality lose more at such a small size.
const KindCase cKindCases[] = {
    {"mp4", "clip.mp4", OutputKind::Mp4, true, 6.0, 16},
    {"mov", "clip.mov", OutputKind::Mov, true, 6.0, 16},
    {"mkv", "clip.mkv", OutputKind::Mkv, true, 6.0, 16},
    {"webm", "clip.webm", OutputKind::WebM, true, 8.0, 16},
    {"y4m", "clip.y4m", OutputKind::Y4m, false, 7.0, 3},
    {"png", "frames/%05d.png", OutputKind::PngSequence, false, 0.0, 0},
};

constexpr int64_t cFrames = 30;

class RoundTrip : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override { ASSERT_TRUE(fReader = WriteAndOpen(fDir / GetParam().Path, fClip)); }
    ScratchDir fDir;
    const GeneratorSettings fClip{.Kind = Pattern::Bars, .Width = 160, .Height = 90, .FrameRate = {25, 1}, .FrameCount = cFrames, .SampleRate = 48000};
    std::unique_ptr<ClipReader> fReader;
};

TEST_P(RoundTrip, KindFollowsThePathAndProbeGivesCountSizeRateAndDuration) {
    OutputKind kind{};
    ASSERT_TRUE(OutputKindForPath(fDir / GetParam().Path, kind).Ok());
    EXPECT_EQ(kind, GetParam().Kind);
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
    for (int64_t i = 0; i < cFrames; i++) {
        const VideoFrame frame = ReadPicture(*fReader, i, 160, 90);
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
    ASSERT_EQ(fReader->SampleRate(), 48000);
    const std::vector<float> all = ReadSound(*fReader, cFrames);  // stereo, 1920 samples a frame
    ASSERT_EQ(all.size(), size_t(2 * 1920 * cFrames));
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
    std::vector<VideoFrame> sequential;
    for (int64_t i = 0; i < cFrames; i++)
        sequential.push_back(ReadPicture(*fReader, i, 160, 90));
    auto second = OpenClip(fDir / GetParam().Path);
    ASSERT_TRUE(second);
    for (int64_t i : {29, 3, 17, 16, 0, 28, 12, 12, 27, 1})
        EXPECT_TRUE(ReadPicture(*second, i, 160, 90).Pixels == sequential[size_t(i)].Pixels) << "frame " << i;
}

// After a jump the audio lands where reading straight through puts it: within one millisecond,
// the precision of Matroska's and WebM's timestamps (MP4 lands exactly).
TEST_P(RoundTrip, AudioAfterAJumpMatchesTheSequentialAudio) {
    AudioBlock sequential;
    ASSERT_TRUE(fReader->ReadAudio(0, 48000, sequential).Ok());
    if (!GetParam().Audio) {  // no sound track: silence of the asked length
        EXPECT_EQ(sequential.FrameCount(), 48000);
        EXPECT_TRUE(std::all_of(sequential.Samples.begin(), sequential.Samples.end(), [](float v) { return v == 0; }));
        return;
    }
    for (int64_t at : {24000, 9600, 30000}) {
        auto second = OpenClip(fDir / GetParam().Path);
        ASSERT_TRUE(second);
        AudioBlock audio;
        ASSERT_TRUE(second->ReadAudio(at, 2000, audio).Ok());
        ASSERT_EQ(audio.FrameCount(), 2000);
        const Alignment a = Align(audio.Samples, sequential.Samples, 0, 2000, at, 49);
        EXPECT_LT(a.MeanError, 0.01) << "sample " << at << ", offset " << a.Shift;
        const bool mp4 = GetParam().Kind == OutputKind::Mp4 || GetParam().Kind == OutputKind::Mov;
        EXPECT_LE(std::abs(a.Shift), mp4 ? 0 : 48) << "sample " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RoundTrip, ::testing::ValuesIn(cKindCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// Frame rates survive as exact fractions, and the frame count follows from them.
struct RateCase {
    const char* Path;
    Rational Rate;
};
const RateCase cRateCases[] = {
    {"a.mp4", {30000, 1001}},
    {"b.mp4", {24, 1}},
    {"c.mkv", {50, 1}},
    {"d.mkv", {30000, 1001}},
    {"e.y4m", {30, 1}},
    {"f.webm", {24000, 1001}},
};

class RateRoundTrip : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateRoundTrip, RateAndCountSurvive) {
    ScratchDir dir;
    const GeneratorSettings g{
        .Kind = Pattern::Gradient, .Width = 160, .Height = 90, .FrameRate = GetParam().Rate, .FrameCount = 12};
    auto reader = WriteAndOpen(dir / GetParam().Path, g);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->FrameRate(), GetParam().Rate);
    EXPECT_EQ(reader->FrameCount(), 12);
    // Per-frame audio shares add up to the clip's length with nothing lost or doubled.
    EXPECT_EQ(ReadSound(*reader, 12).size(), size_t(2 * FrameSampleStart(12, GetParam().Rate, reader->SampleRate())));
}

INSTANTIATE_TEST_SUITE_P(Rates, RateRoundTrip, ::testing::ValuesIn(cRateCases), [](const auto& info) {
    std::string name = info.param.Path;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

// Sound stays with the pictures: the audio read for a frame is the tone the generator made for
// that frame, shifted at most by what the container's timestamps allow (MP4: exact; Matroska:
// millisecond timestamps; WebM from FFmpeg 5.1: the video starts 7 ms after the Opus audio).
struct SyncCase {
    const char* Path;
    int MaxOffset;  // samples at 48 kHz
};
const SyncCase cSyncCases[] = {{"a.mp4", 0}, {"b.mov", 0}, {"c.mkv", 48}, {"d.webm", 400}};

class AudioSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(AudioSync, ToneOfEachFrameComesBackWithThatFrame) {
    ScratchDir dir;
    const GeneratorSettings g{.FrameCount = 30, .ToneHz = 50};  // a 960-sample period: shifts to 480 are unambiguous
    auto reader = WriteAndOpen(dir / GetParam().Path, g);
    ASSERT_TRUE(reader);
    GeneratedClip clip(g);
    const std::vector<float> got = ReadSound(*reader, 30), want = ReadSound(clip, 30);
    ASSERT_EQ(got.size(), want.size());
    const Alignment a = Align(got, want, 12000, 24000, 0, 480);
    EXPECT_LE(std::abs(a.Shift), GetParam().MaxOffset);
    EXPECT_LT(a.MeanError, 0.01) << "offset " << a.Shift;
}

INSTANTIATE_TEST_SUITE_P(Kinds, AudioSync, ::testing::ValuesIn(cSyncCases), [](const auto& info) {
    std::string name = info.param.Path;
    return name.substr(name.find('.') + 1);
});

}  // namespace
}  // namespace bw::media::test
