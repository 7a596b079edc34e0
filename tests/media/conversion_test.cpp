// Clips read at another size, in another quality, at another sample rate.
#include <gtest/gtest.h>

#include <set>

#include "media_testutil.h"

namespace bw::media::test {
namespace {

struct SizeCase {
    const char* Label;
    int         SrcWidth, SrcHeight;
    Rational    Rate;
    int         DstWidth, DstHeight;
    double      MeanTolerance;
};

// The gradient is smooth, so scaling error stays small wherever the picture is scaled to.
const SizeCase cSizeCases[] = {
    {"up_640x360_to_1280x720", 640, 360, {30, 1}, 1280, 720, 4.0},
    {"down_320x180_to_160x90", 320, 180, {25, 1}, 160, 90, 4.0},
    {"aspect_160x90_to_100x100", 160, 90, {25, 1}, 100, 100, 4.0},
    {"odd_160x90_to_33x17", 160, 90, {25, 1}, 33, 17, 6.0},
};

class ReadAtSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ReadAtSize, ScaledPicturesMatchTheGeneratorAtTheNewSize) {
    const SizeCase& c = GetParam();
    ScratchDir dir;
    GeneratorSettings g;
    g.Kind = Pattern::Gradient;
    g.Width = c.SrcWidth;
    g.Height = c.SrcHeight;
    g.FrameRate = c.Rate;
    g.FrameCount = 6;
    MediaStatus s = WriteGeneratedClip(dir / "clip.mp4", g);
    ASSERT_TRUE(s.Ok()) << s.Error;
    auto reader = ClipReader::Open(dir / "clip.mp4", s);
    ASSERT_TRUE(reader) << s.Error;
    EXPECT_EQ(reader->Width(), c.SrcWidth);
    EXPECT_EQ(reader->FrameRate(), c.Rate);
    VideoFrame frame;
    AudioBlock audio;
    for (bool highQuality : {true, false}) {
        s = reader->ReadFrame(4, c.DstWidth, c.DstHeight, highQuality, frame, audio);
        ASSERT_TRUE(s.Ok()) << s.Error;
        EXPECT_EQ(frame.Width, c.DstWidth);
        EXPECT_EQ(frame.Height, c.DstHeight);
        EXPECT_LE(CompareWithGenerator(frame, g, 4).MeanAbs, c.MeanTolerance) << "highQuality " << highQuality;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadAtSize, ::testing::ValuesIn(cSizeCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// The matrix follows the size: BT.601 below 720 lines, BT.709 from 720 up, tagged in the file and
// used for both directions, so saturated bars come back with their colour.
struct MatrixCase {
    int         Width, Height;
    const char* Tag;
};
const MatrixCase cMatrixCases[] = {{160, 90, "smpte170m"}, {720, 576, "smpte170m"}, {1280, 720, "bt709"}};

class ColourMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(ColourMatrix, TaggedAndRoundTripped) {
    const MatrixCase& c = GetParam();
    ScratchDir dir;
    GeneratorSettings g;
    g.Kind = Pattern::Bars;
    g.Width = c.Width;
    g.Height = c.Height;
    g.FrameCount = 2;
    MediaStatus s = WriteGeneratedClip(dir / "clip.mp4", g);
    ASSERT_TRUE(s.Ok()) << s.Error;
    auto reader = ClipReader::Open(dir / "clip.mp4", s);
    ASSERT_TRUE(reader) << s.Error;
    EXPECT_EQ(reader->Info().ColourSpace, c.Tag);
    VideoFrame frame;
    AudioBlock audio;
    ASSERT_TRUE(reader->ReadFrame(1, c.Width, c.Height, true, frame, audio).Ok());
    const PictureError e = CompareWithGenerator(frame, g, 1);
    EXPECT_GT(e.FlatPoints, 20);
    EXPECT_LE(e.FlatWorst, 8);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ColourMatrix, ::testing::ValuesIn(cMatrixCases), [](const auto& info) {
    return std::to_string(info.param.Width) + "x" + std::to_string(info.param.Height);
});

// Quality chooses the filter: enlarged hard bar edges are blended by bilinear scaling only.
TEST(ScalingQuality, BilinearBlendsEdgesNearestDoesNot) {
    ScratchDir dir;
    GeneratorSettings g;
    g.Width = 160;
    g.Height = 90;
    g.FrameCount = 2;
    MediaStatus s = WriteGeneratedClip(dir / "frames/%03d.png", g);
    ASSERT_TRUE(s.Ok()) << s.Error;
    auto reader = ClipReader::Open(dir / "frames/%03d.png", s);
    ASSERT_TRUE(reader) << s.Error;
    const auto colours = [&](bool highQuality) {
        VideoFrame frame;
        AudioBlock audio;
        EXPECT_TRUE(reader->ReadFrame(0, 640, 360, highQuality, frame, audio).Ok());
        std::set<uint32_t> seen;
        for (int x = 0; x < frame.Width; x++)
            seen.insert(PixelOf(frame, x, 100));
        return seen.size();
    };
    EXPECT_EQ(colours(false), 8u);   // the eight bars and nothing between them
    EXPECT_GT(colours(true), 8u);
}

// Audio comes out at the rate asked for, in per-frame shares that add up, with the tone's pitch.
struct RateCase {
    const char* Label;
    const char* Path;
    int         ClipRate;
    int         ReadRate;
    Rational    FrameRate;
};
const RateCase cRateCases[] = {
    {"mkv_44100_to_48000", "clip.mkv", 44100, 48000, {25, 1}},
    {"mp4_48000_to_44100", "clip.mp4", 48000, 44100, {30000, 1001}},
    {"mp4_48000_to_22050", "clip.mp4", 48000, 22050, {24, 1}},
    {"webm_48000_to_96000", "clip.webm", 48000, 96000, {25, 1}},
};

class ReadAtSampleRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(ReadAtSampleRate, BlocksHaveTheRateLengthAndPitch) {
    const RateCase& c = GetParam();
    ScratchDir dir;
    GeneratorSettings g;
    g.Kind = Pattern::Bars;
    g.SampleRate = c.ClipRate;
    g.FrameRate = c.FrameRate;
    g.FrameCount = 30;
    MediaStatus s = WriteGeneratedClip(dir / c.Path, g);
    ASSERT_TRUE(s.Ok()) << s.Error;
    auto reader = ClipReader::Open(dir / c.Path, s);
    ASSERT_TRUE(reader) << s.Error;
    EXPECT_EQ(reader->Info().AudioSampleRate, c.ClipRate);
    EXPECT_EQ(reader->SampleRate(), c.ClipRate) << "the clip's own rate until told otherwise";
    reader->SetSampleRate(c.ReadRate);
    ASSERT_EQ(reader->SampleRate(), c.ReadRate);
    VideoFrame frame;
    AudioBlock audio;
    std::vector<float> all;
    for (int64_t i = 0; i < 30; i++) {
        ASSERT_TRUE(reader->ReadFrame(i, 16, 16, false, frame, audio).Ok());
        ASSERT_EQ(audio.SampleRate, c.ReadRate);
        ASSERT_EQ(audio.FrameCount(), FrameSampleStart(i + 1, c.FrameRate, c.ReadRate) -
                                          FrameSampleStart(i, c.FrameRate, c.ReadRate));
        all.insert(all.end(), audio.Samples.begin(), audio.Samples.end());
    }
    const size_t margin = size_t(c.ReadRate / 5) * 2;
    const ToneMeasure m = MeasureTone(std::vector<float>(all.begin() + margin, all.end() - margin), c.ReadRate);
    EXPECT_NEAR(m.FrequencyHz, 440.0, 4.0);
    EXPECT_NEAR(Decibels(m.Rms / (0.25 / std::sqrt(2.0))), 0.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, ReadAtSampleRate, ::testing::ValuesIn(cRateCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// A generated clip is a frame source like a file: same frames at any size, a continuous tone.
TEST(GeneratedSource, ToneJoinsAcrossFramesWithoutAStep) {
    GeneratorSettings g;
    g.Kind = Pattern::Gradient;
    g.FrameRate = {30000, 1001};
    g.SampleRate = 44100;
    GeneratedClip clip(g);
    EXPECT_EQ(clip.ToneHz(), 660.0);
    VideoFrame frame;
    AudioBlock audio;
    std::vector<float> all;
    for (int64_t i = 0; i < 10; i++) {
        ASSERT_TRUE(clip.ReadFrame(i, 8, 8, true, frame, audio).Ok());
        all.insert(all.end(), audio.Samples.begin(), audio.Samples.end());
    }
    // The largest step between samples is the sine's own slope, never a jump at a block edge.
    const double maxStep = 0.25 * 2 * 3.141592653589793 * 660.0 / 44100 * 1.01;
    for (size_t i = 2; i < all.size(); i += 2)
        ASSERT_LE(std::abs(all[i] - all[i - 2]), maxStep) << "sample " << i / 2;
    EXPECT_EQ(int64_t(all.size() / 2), FrameSampleStart(10, g.FrameRate, 44100));
}

TEST(GeneratedSource, PatternNames) {
    Pattern p{};
    EXPECT_TRUE(PatternFromName("bars", p));
    EXPECT_EQ(p, Pattern::Bars);
    EXPECT_TRUE(PatternFromName("gradient", p));
    EXPECT_EQ(p, Pattern::Gradient);
    EXPECT_FALSE(PatternFromName("noise", p));
}

}  // namespace
}  // namespace bw::media::test
