// Clips read at another size, in another quality, at another sample rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

extern "C" {
#include <libavutil/frame.h>
}

#include "editor/media/Picture.h"
#include "media_testutil.h"

namespace bw::media::test {
namespace {

struct SizeCase {
    const char* Label;
    int SrcWidth, SrcHeight;
    Rational Rate;
    int DstWidth, DstHeight;
    double MeanTolerance;
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
    const GeneratorSettings g{
        .Kind = Pattern::Gradient, .Width = c.SrcWidth, .Height = c.SrcHeight, .FrameRate = c.Rate, .FrameCount = 6};
    auto reader = WriteAndOpen(dir / "clip.mp4", g);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Width(), c.SrcWidth);
    EXPECT_EQ(reader->FrameRate(), c.Rate);
    for (bool highQuality : {true, false}) {
        const VideoFrame frame = ReadPicture(*reader, 4, c.DstWidth, c.DstHeight, highQuality);
        EXPECT_LE(CompareWithGenerator(frame, g, 4).MeanAbs, c.MeanTolerance) << "highQuality " << highQuality;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadAtSize, ::testing::ValuesIn(cSizeCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// The matrix follows the size: BT.601 below 720 lines, BT.709 from 720 up, tagged in the file and
// used for both directions, so saturated bars come back with their colour.
struct MatrixCase {
    int Width, Height;
    const char* Tag;
};
const MatrixCase cMatrixCases[] = {{160, 90, "smpte170m"}, {720, 576, "smpte170m"}, {1280, 720, "bt709"}};

class ColourMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(ColourMatrix, TaggedAndRoundTripped) {
    const MatrixCase& c = GetParam();
    ScratchDir dir;
    const GeneratorSettings g{.Kind = Pattern::Bars, .Width = c.Width, .Height = c.Height, .FrameCount = 2};
    auto reader = WriteAndOpen(dir / "clip.mp4", g);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Info().ColourSpace, c.Tag);
    const PictureError e = CompareWithGenerator(ReadPicture(*reader, 1, c.Width, c.Height), g, 1);
    EXPECT_GT(e.FlatPoints, 20);
    EXPECT_LE(e.FlatWorst, 8);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ColourMatrix, ::testing::ValuesIn(cMatrixCases), [](const auto& info) {
    return std::to_string(info.param.Width) + "x" + std::to_string(info.param.Height);
});

// Quality chooses the filter: enlarged hard bar edges are blended by bilinear scaling only.
TEST(ScalingQuality, BilinearBlendsEdgesNearestDoesNot) {
    ScratchDir dir;
    const GeneratorSettings g{.Width = 160, .Height = 90, .FrameCount = 2};
    auto reader = WriteAndOpen(dir / "frames/%03d.png", g);
    ASSERT_TRUE(reader);
    const auto colours = [&](bool highQuality) {
        const VideoFrame frame = ReadPicture(*reader, 0, 640, 360, highQuality);
        std::set<uint32_t> seen;
        for (int x = 0; x < frame.Width; x++)
            seen.insert(PixelOf(frame, x, 100));
        return seen.size();
    };
    EXPECT_EQ(colours(false), 8u);  // the eight bars and nothing between them
    EXPECT_GT(colours(true), 8u);
}

// Audio comes out at the rate asked for, in per-frame shares that add up, with the tone's pitch.
struct RateCase {
    const char* Label;
    const char* Path;
    int ClipRate;
    int ReadRate;
    Rational FrameRate;
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
    const GeneratorSettings g{
        .Kind = Pattern::Bars, .FrameRate = c.FrameRate, .FrameCount = 30, .SampleRate = c.ClipRate};
    auto reader = WriteAndOpen(dir / c.Path, g);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Info().AudioSampleRate, c.ClipRate);
    EXPECT_EQ(reader->SampleRate(), c.ClipRate) << "the clip's own rate until told otherwise";
    reader->SetSampleRate(c.ReadRate);
    ASSERT_EQ(reader->SampleRate(), c.ReadRate);
    ASSERT_EQ(reader->FrameRate(), c.FrameRate);
    const std::vector<float> all = ReadSound(*reader, 30);  // blocks at the new rate, each its frame's share
    const size_t margin = size_t(c.ReadRate / 5) * 2;
    const ToneMeasure m = MeasureTone(std::vector<float>(all.begin() + margin, all.end() - margin), c.ReadRate);
    EXPECT_NEAR(m.FrequencyHz, 440.0, 4.0);
    EXPECT_NEAR(Decibels(m.Rms / (0.25 / std::sqrt(2.0))), 0.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, ReadAtSampleRate, ::testing::ValuesIn(cRateCases),
                         [](const auto& info) { return std::string(info.param.Label); });

// A generated clip is a frame source like a file: same frames at any size, a continuous tone.
TEST(GeneratedSource, ToneJoinsAcrossFramesWithoutAStep) {
    const GeneratorSettings g{.Kind = Pattern::Gradient, .FrameRate = {30000, 1001}, .SampleRate = 44100};
    GeneratedClip clip(g);
    EXPECT_EQ(clip.ToneHz(), 660.0);
    const std::vector<float> all = ReadSound(clip, 10);  // each block its frame's share
    // The largest step between samples is the sine's own slope, never a jump at a block edge.
    const double maxStep = 0.25 * 2 * 3.141592653589793 * 660.0 / 44100 * 1.01;
    for (size_t i = 2; i < all.size(); i += 2)
        ASSERT_LE(std::abs(all[i] - all[i - 2]), maxStep) << "sample " << i / 2;
}

TEST(GeneratedSource, PatternNames) {
    Pattern p{};
    EXPECT_TRUE(PatternFromName("bars", p));
    EXPECT_EQ(p, Pattern::Bars);
    EXPECT_TRUE(PatternFromName("gradient", p));
    EXPECT_EQ(p, Pattern::Gradient);
    EXPECT_FALSE(PatternFromName("noise", p));
}

// Red, green and blue of the pixel at (x, y).
struct Rgb {
    int R, G, B;
};
Rgb At(const VideoFrame& f, int x, int y) {
    const uint8_t* p = f.Row(y) + 4 * x;
    return {p[1], p[2], p[3]};
}

// Files as other programs write them. Frame n of the source is grey (16 + 4n) in limited range:
// every frame tells its own number.
struct FamilyCase {
    const char* Name;
    const char* Encode;  // ffmpeg output options
};
const FamilyCase cFamilies[] = {
    {"a.mp4", "-c:v libx264 -g 12 -bf 2"},
    {"a.mkv", "-c:v libx264 -g 12 -bf 2"},
    {"a.ts", "-c:v mpeg2video -g 12 -bf 2 -q:v 2 -output_ts_offset 10"},  // the first seek lands a GOP late
    {"a.mpg", "-c:v mpeg2video -g 15 -bf 2 -b:v 4M -s 720x576"},
    {"a.avi", "-c:v mpeg4 -g 12 -q:v 2"},
    {"b-frames.avi", "-c:v mpeg4 -g 12 -bf 2 -q:v 2"},  // stamped in decoding order, a frame late
    {"h264-b-frames.avi", "-c:v libx264 -g 12 -bf 2"},  // two frames late
};
class Families : public ::testing::TestWithParam<FamilyCase> {};
TEST_P(Families, TheFirstFramesAreTheClipsOwn) {
    ScratchDir dir;
    auto reader = FfmpegClip(
        "-f lavfi -i \"color=c=black:s=64x48:r=25:d=1,format=yuv420p,geq=lum='N*4+16':cb=128:"
        "cr=128\" " +
            std::string(GetParam().Encode),
        dir / GetParam().Name);
    ASSERT_TRUE(reader);
    for (int64_t n : {0, 1, 2, 3, 6, 12, 13, 20, 0, 1}) {  // in order, then back to the start
        const int grey = At(ReadPicture(*reader, n, 32, 24), 16, 12).G;
        EXPECT_NEAR(grey, std::lround(4 * n * 255 / 219.0), 2) << "frame " << n;
    }
}
INSTANTIATE_TEST_SUITE_P(Containers, Families, ::testing::ValuesIn(cFamilies), [](const auto& info) {
    std::string name = info.param.Name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

// A picture of every common format is a clip of StillSeconds.
class Stills : public ::testing::TestWithParam<const char*> {};
TEST_P(Stills, LastTheirDurationInTheirColour) {
    ScratchDir dir;
    ReaderOptions options;
    options.StillSeconds = 2;
    auto reader = FfmpegClip("-f lavfi -i color=c=0x3366CC:s=48x32 -frames:v 1",
                             dir / (std::string("still.") + GetParam()), options);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->Info().IsStill);
    EXPECT_EQ(reader->FrameCount(), 50);
    for (int64_t index : {0, 49, 10}) {
        const Rgb c = At(ReadPicture(*reader, index, 48, 32), 24, 16);
        EXPECT_NEAR(c.R, 0x33, 6);
        EXPECT_NEAR(c.G, 0x66, 6);
        EXPECT_NEAR(c.B, 0xCC, 6);
    }
}
INSTANTIATE_TEST_SUITE_P(Formats, Stills, ::testing::Values("jpg", "png", "bmp", "tiff", "webp"));

// A JPEG (full range) read at its own size is the same picture every time, not only the first.
TEST(FullRange, AStillIsTheSameFromItsSecondReadingOn) {
    ScratchDir dir;
    auto reader = FfmpegClip("-f lavfi -i testsrc=s=64x48 -frames:v 1", dir / "still.jpg");
    ASSERT_TRUE(reader);
    const VideoFrame first = ReadPicture(*reader, 0, 64, 48);
    EXPECT_EQ(ReadPicture(*reader, 1, 64, 48).Pixels, first.Pixels);
}

// Phone videos carry a rotation, anamorphic video a pixel shape: both show in the display size,
// and pictures come out upright. The source's top half is red, its bottom half blue.
struct ShapeCase {
    const char* Label;
    const char* Options;  // the filter, then options of a copy with a new header
    int DisplayWidth, DisplayHeight;
    bool RedOnTheLeft;  // turned a quarter, as FFmpeg's players show it
};
const ShapeCase cShapes[] = {
    {"plain", "vstack", 96, 48, false},
    {"rotated", "vstack -metadata:s:v:0 rotate=90", 48, 96, true},
    {"anamorphic", "vstack,setsar=4/3", 128, 48, false},
};
class Shapes : public ::testing::TestWithParam<ShapeCase> {};
TEST_P(Shapes, ShowUprightInTheirDisplaySize) {
    ScratchDir dir;
    const std::string options = GetParam().Options, filter = options.substr(0, options.find(' '));
    ASSERT_TRUE(Ffmpeg(
        "-f lavfi -i color=c=red:s=96x24:d=0.2 -f lavfi -i color=c=blue:s=96x24:d=0.2 "
        "-filter_complex " +
        filter + " -c:v libx264 " + dir / "made.mp4"));
    // The display matrix comes with a copy: this FFmpeg writes it only for streams it copies.
    auto reader = FfmpegClip("-i " + dir / "made.mp4" + " -c copy " + options.substr(filter.size()), dir / "shape.mp4");
    ASSERT_TRUE(reader);
    const int w = GetParam().DisplayWidth, h = GetParam().DisplayHeight;
    EXPECT_EQ(reader->DisplayWidth(), w);
    EXPECT_EQ(reader->DisplayHeight(), h);
    const VideoFrame f = ReadPicture(*reader, 0, w, h);
    const Rgb first = GetParam().RedOnTheLeft ? At(f, 4, h / 2) : At(f, w / 2, 4);
    const Rgb second = GetParam().RedOnTheLeft ? At(f, w - 4, h / 2) : At(f, w / 2, h - 4);
    EXPECT_GT(first.R, 200);
    EXPECT_LT(first.B, 60);
    EXPECT_GT(second.B, 200);
    EXPECT_LT(second.R, 60);
}
INSTANTIATE_TEST_SUITE_P(Kinds, Shapes, ::testing::ValuesIn(cShapes),
                         [](const auto& info) { return std::string(info.param.Label); });

// Untagged sources follow one rule, whatever their chroma format: BT.709 from 720 lines up. The
// green was encoded with BT.709 and no tag.
class Untagged : public ::testing::TestWithParam<const char*> {};
TEST_P(Untagged, HdGreenComesBackGreen) {
    ScratchDir dir;
    auto reader = FfmpegClip("-f lavfi -i color=c=0x00FF00:s=1280x720:d=0.08 -vf scale=out_color_matrix=bt709,format=" +
                                 std::string(GetParam()) + " -c:v libx264 -qp 0",
                             dir / "green.mkv");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Info().ColourSpace, "unknown");
    const Rgb c = At(ReadPicture(*reader, 0, 64, 36), 32, 18);
    EXPECT_LE(c.R, 8);
    EXPECT_GE(c.G, 247);
    EXPECT_LE(c.B, 8);
}
INSTANTIATE_TEST_SUITE_P(Chroma, Untagged, ::testing::Values("yuv420p", "yuv422p", "yuv444p"));

// HDR pictures are tone mapped to BT.709: a PQ grey near 100 nits, shown as is, would be a dull
// mid grey; mapped, it is a light grey.
TEST(Hdr, PqIsToneMapped) {
    ScratchDir dir;
    auto reader = FfmpegClip(
        "-f lavfi -i color=c=0x808080:s=64x36:d=0.08 -pix_fmt yuv420p10le -color_primaries bt2020 "
        "-color_trc smpte2084 -colorspace bt2020nc -c:v ffv1",
        dir / "pq.mkv");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Info().Hdr, "PQ");
    const Rgb c = At(ReadPicture(*reader, 0, 64, 36), 32, 18);
    EXPECT_GT(c.G, 150) << "as is, it would be about 128";
    EXPECT_NEAR(c.R, c.G, 4);
    EXPECT_NEAR(c.B, c.G, 4);
}

// A picture of the output's size and format but in another matrix is converted, not shared: RGB
// (32, 192, 64) is Y'CbCr 144, 88, 63 in BT.709, 138, 91, 62 in BT.2020 and 127, 95.5, 67 in
// BT.601 (limited range).
struct MatrixConformCase {
    AVColorSpace Tag;
    int Y, Cb, Cr;              // the picture's samples
    int WantY, WantCb, WantCr;  // the output's
    bool Shared;
};
const MatrixConformCase cMatrixConformCases[] = {
    {AVCOL_SPC_BT709, 144, 88, 63, 127, 95, 67, false},
    {AVCOL_SPC_SMPTE170M, 127, 95, 67, 127, 95, 67, true},
    {AVCOL_SPC_UNSPECIFIED, 127, 95, 67, 127, 95, 67, true},  // 160x96 untagged: BT.601 by its size
    {AVCOL_SPC_BT470BG, 144, 88, 63, 144, 88, 63, true},      // the same matrix under its other name
    {AVCOL_SPC_BT2020_NCL, 138, 91, 62, 127, 95, 67, false},  // after another matrix's conversion
};
TEST(PictureConformer, ConvertsAnotherMatrixAndSharesItsOwn) {
    const PictureFormat format{.Width = 160, .Height = 96, .PixelFormat = AV_PIX_FMT_YUV420P, .Bt709 = false, .FullRange = false};
    PictureConformer conformer(format);
    int converted = 0;
    for (const MatrixConformCase& c : cMatrixConformCases) {
        PicturePtr in = NewPicture(), out;
        in->format = AV_PIX_FMT_YUV420P;
        in->width = format.Width;
        in->height = format.Height;
        in->colorspace = c.Tag;
        in->color_range = AVCOL_RANGE_MPEG;
        in->pts = converted + 100;
        ASSERT_EQ(av_frame_get_buffer(in.get(), 0), 0);
        const int fill[3] = {c.Y, c.Cb, c.Cr};
        for (int p = 0; p < 3; p++)
            for (int y = 0; y < (p ? format.Height / 2 : format.Height); y++)
                std::memset(in->data[p] + y * in->linesize[p], fill[p], size_t(p ? format.Width / 2 : format.Width));
        ASSERT_TRUE(conformer.Conform(in.get(), {0, 0, format.Width, format.Height}, out).Ok());
        converted += !c.Shared;
        EXPECT_EQ(conformer.Converted(), converted) << c.Tag;
        EXPECT_EQ(out->data[0] == in->data[0], c.Shared) << c.Tag;
        EXPECT_NEAR(out->data[0][48 * out->linesize[0] + 80], c.WantY, 1) << c.Tag;
        EXPECT_NEAR(out->data[1][24 * out->linesize[1] + 40], c.WantCb, 1) << c.Tag;
        EXPECT_NEAR(out->data[2][24 * out->linesize[2] + 40], c.WantCr, 1) << c.Tag;
        EXPECT_EQ(out->colorspace, AVCOL_SPC_SMPTE170M) << c.Tag;
    }
}

}  // namespace
}  // namespace bw::media::test
