// The blockwaves program end to end: generated clips in, files out, read back with the media layer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "editor/media/ClipReader.h"
#include "editor/media/ClipWriter.h"
#include "editor/media/Generators.h"
#include "cli/program_runner.h"
#include "media/media_testutil.h"
#include "platform/nobody.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

namespace {
namespace fs = std::filesystem;
using namespace bw::media;

constexpr int kW = 160, kH = 96, kFrames = 40, kRate = 48000;

struct Result {
    int status = -1;
    std::string err;
};

// A scratch folder that is also the user's configuration folder for the program.
class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir_ = fs::temp_directory_path() / ("bw-cli-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // The command line run in a fork of the test, as the program runs it.
    Result Run(std::vector<std::string> args, std::string* out = nullptr, const std::string& input = "") {
        bw::cli::test::Outcome o = bw::cli::test::RunForked(std::move(args), dir_.string(), input);
        if (out) *out = std::move(o.out);
        return {o.status, std::move(o.err)};
    }

    GeneratorSettings Clip(Pattern kind) const {
        GeneratorSettings g;
        g.Kind = kind;
        g.Width = kW;
        g.Height = kH;
        g.FrameCount = kFrames;
        return g;
    }
    std::string MakeClip(const std::string& name, Pattern kind) {
        const std::string path = P(name);
        EXPECT_TRUE(WriteGeneratedClip(path, Clip(kind)).Ok());
        return path;
    }
    // Reading order without jitter: four columns switching at frames 0, 5, 10, 15 of 20.
    void FourColumns() {
        ASSERT_EQ(Run({"prefs", "set", "method=30", "columns=4", "rows=1", "duration=0", "randomized=off",
                       "rect=0,0,1,1", "color=#0000FF"})
                      .status,
                  0);
    }
    // An output in the scratch folder read back; one that does not open fails the test.
    std::unique_ptr<ClipReader> Output(const std::string& name) const {
        MediaStatus status;
        auto out = ClipReader::Open(P(name), status);
        EXPECT_TRUE(out) << name << ": " << status.Error;
        return out;
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        return names;
    }
    fs::path dir_;
};

// Mean colour distance of a tile's middle from what the generator draws there.
double TileDistance(const VideoFrame& f, int tile, const GeneratorSettings& g, int64_t index) {
    const int x0 = tile * kW / 4 + 8, x1 = (tile + 1) * kW / 4 - 8;
    double sum = 0;
    int n = 0;
    for (int y = 16; y < kH - 16; y += 2)
        for (int x = x0; x < x1; x += 2) {
            const uint32_t want = GeneratedPixel(g, index, x, y, kW, kH);
            const uint8_t* p = f.Row(y) + 4 * x;
            sum += std::abs(p[1] - int((want >> 16) & 0xFF)) + std::abs(p[2] - int((want >> 8) & 0xFF)) +
                   std::abs(p[3] - int(want & 0xFF));
            n++;
        }
    return sum / n;
}

struct KindCase {
    const char* variant;
    const char* output;
    int32_t frames;  // expected output frames with a 20-frame transition
    bool transitionOnly;
};
class Outputs : public Cli, public ::testing::WithParamInterface<KindCase> {};
TEST_P(Outputs, HaveTheJoinedLengthAndTheTilesWhereTheyBelong) {
    const KindCase c = GetParam();
    FourColumns();
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    std::vector<std::string> args = {"render", a};
    if (std::string(c.variant) == "between") args.push_back(b);
    if (std::string(c.variant) == "before") args.back() = b;
    args.insert(args.end(), {"-o", P(c.output), "--variant", c.variant, "--frames", "20", "--quiet"});
    if (c.transitionOnly) args.push_back("--transition-only");
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;

    const bool sequence = std::string(c.output).find('%') != std::string::npos;
    MediaStatus status;
    std::unique_ptr<ClipReader> out;
    if (!sequence) {
        out = Output(c.output);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->FrameCount(), c.frames);
        EXPECT_EQ(out->FrameRate(), (Rational{25, 1}));
        EXPECT_NEAR(out->Info().Duration, c.frames / 25.0, 0.05);
    } else {
        int files = 0;
        for (const auto& e : fs::directory_iterator(P("frames"))) files += e.path().extension() == ".png";
        EXPECT_EQ(files, c.frames);
        out = ClipReader::Open(P("frames/00001.png").substr(0, P("frames/").size()) + "%05d.png", status);
        if (!out) GTEST_SKIP() << "PNG sequences are checked by count only";
    }
    if (std::string(c.variant) != "between" || !out) return;

    // The transition starts after clip A's first 20 frames (unless only the transition was written).
    const int32_t start = c.transitionOnly ? 0 : kFrames - 20;
    const GeneratorSettings ga = Clip(Pattern::Bars), gb = Clip(Pattern::Gradient);
    VideoFrame f;
    AudioBlock audio;
    for (auto [k, switched] : {std::pair<int, int>{0, 1}, {7, 2}, {12, 3}, {19, 4}}) {
        ASSERT_TRUE(out->ReadFrame(start + k, kW, kH, true, f, audio).Ok());
        for (int tile = 0; tile < 4; tile++) {
            const double toA = TileDistance(f, tile, ga, kFrames - 20 + k), toB = TileDistance(f, tile, gb, k);
            if (tile < switched)
                EXPECT_LT(toB, toA) << "frame " << k << " tile " << tile << " should show clip B";
            else
                EXPECT_LT(toA, toB) << "frame " << k << " tile " << tile << " should still show clip A";
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Kinds, Outputs,
                         ::testing::Values(KindCase{"between", "out.mp4", 60, false},
                                           KindCase{"between", "out.y4m", 60, false},
                                           KindCase{"between", "out.webm", 20, true},
                                           KindCase{"between", "frames/%05d.png", 20, true},
                                           KindCase{"after", "out.mkv", 40, false},
                                           KindCase{"before", "out.mov", 40, false}));

// Mean luma of each tile of an 8 x 6 grid, its edges left out (chroma smears across them).
std::vector<double> TileLuma(const AVFrame* f) {
    std::vector<double> means;
    const int tw = kW / 8, th = kH / 6;
    for (int ty = 0; ty < 6; ty++)
        for (int tx = 0; tx < 8; tx++) {
            double sum = 0;
            int n = 0;
            for (int y = ty * th + 2; y < (ty + 1) * th - 2; y++)
                for (int x = tx * tw + 2; x < (tx + 1) * tw - 2; x++, n++) sum += f->data[0][y * f->linesize[0] + x];
            means.push_back(sum / n);
        }
    return means;
}

// Both routes lay out the same field from the same settings: random starts and lengths on a
// non-square grid, the second transition's field drawn where the first left the random table.
// A tile a frame early or late differs by tens of levels; the routes differ by codec noise.
TEST_F(Cli, NativeAndBundleRoutesShowTheSameTilesOnEveryFrame) {
    ASSERT_EQ(Run({"prefs", "set", "method=2", "columns=8", "rows=6", "duration=60", "randomized=on", "rect=0,0,1,1"})
                  .status,
              0);
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient),
                      c = MakeClip("c.mp4", Pattern::Bars);
    for (const char* engine : {"native", "bundle"}) {
        const Result r = Run({"render", a, b, c, "-o", P(std::string(engine) + ".mkv"), "-c:v", "ffv1", "--frames", "20",
                              "--engine", engine, "--stats"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(std::string("route: ") + engine), std::string::npos) << r.err;
    }
    auto native = Output("native.mkv"), bundle = Output("bundle.mkv");
    ASSERT_TRUE(native && bundle);
    ASSERT_EQ(native->FrameCount(), 80);
    ASSERT_EQ(bundle->FrameCount(), 80);
    int changing = 0;
    std::vector<double> before;
    for (int64_t i = 18; i < 62; i++) {  // both transitions, a frame of clip either side
        PicturePtr n, bu;
        ASSERT_TRUE(native->ReadPicture(i, n, nullptr).Ok());
        ASSERT_TRUE(bundle->ReadPicture(i, bu, nullptr).Ok());
        const std::vector<double> tn = TileLuma(n.get()), tb = TileLuma(bu.get());
        for (size_t t = 0; t < tn.size(); t++) EXPECT_NEAR(tn[t], tb[t], 2.5) << "frame " << i << " tile " << t;
        changing += tn != before;
        before = tn;
    }
    EXPECT_GE(changing, 36) << "the tiles should change on most transition frames";
}

// Same-format clips go from decoder to encoder untouched: written losslessly, every frame outside
// the transition decodes to the clip's own frame, at its own depth.
class Lossless : public Cli, public ::testing::WithParamInterface<const char*> {};
TEST_P(Lossless, FramesOutsideTheTransitionAreTheClipsOwn) {
    FourColumns();
    WriterSettings own;
    own.VideoCodec = "ffv1";
    own.PixelFormat = GetParam();
    GeneratorSettings ga = Clip(Pattern::Bars), gb = Clip(Pattern::Gradient);
    ASSERT_TRUE(WriteGeneratedClip(P("a.mkv"), ga, &own).Ok());
    ASSERT_TRUE(WriteGeneratedClip(P("b.mkv"), gb, &own).Ok());
    const Result r = Run({"render", P("a.mkv"), P("b.mkv"), "-o", P("out.mkv"), "-c:v", "ffv1", "-pix_fmt", GetParam(),
                          "--frames", "20", "--stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("route: native (pictures in their own format; 0 converted)"), std::string::npos) << r.err;
    auto out = Output("out.mkv"), inA = Output("a.mkv"), inB = Output("b.mkv");
    ASSERT_TRUE(out && inA && inB);
    // Output frames 0..19 are clip A's 0..19, 40..59 clip B's 20..39.
    for (auto [at, clip, index] : {std::tuple{0, inA.get(), 0}, {19, inA.get(), 19}, {40, inB.get(), 20}, {59, inB.get(), 39}}) {
        PicturePtr o, i;
        ASSERT_TRUE(out->ReadPicture(at, o, nullptr).Ok());
        ASSERT_TRUE(clip->ReadPicture(index, i, nullptr).Ok());
        ASSERT_EQ(o->format, i->format) << "frame " << at;
        for (int p = 0; p < 3; p++) {
            const int rows = p == 0 ? kH : kH / 2, bytes = (p == 0 ? kW : kW / 2) * (std::string(GetParam()) == "yuv420p" ? 1 : 2);
            for (int y = 0; y < rows; y++)
                ASSERT_EQ(std::memcmp(o->data[p] + y * o->linesize[p], i->data[p] + y * i->linesize[p], size_t(bytes)), 0)
                    << "frame " << at << " plane " << p << " row " << y;
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Depths, Lossless, ::testing::Values("yuv420p", "yuv420p10le"));

// Three clips, two transitions of different lengths: every cut falls on its frame. Four columns
// switch at frames 0, n/4, n/2 and 3n/4 of each transition.
TEST_F(Cli, ThreeClipsJoinFrameExactlyAtEveryCut) {
    FourColumns();
    const GeneratorSettings ga = Clip(Pattern::Gradient), gb = Clip(Pattern::Bars), gc = ga;
    const std::string a = MakeClip("a.mp4", Pattern::Gradient), b = MakeClip("b.mp4", Pattern::Bars),
                      c = MakeClip("c.mp4", Pattern::Gradient);
    const Result r = Run({"render", a, b, c, "-o", P("out.y4m"), "--frames", "8,12", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = Output("out.y4m");
    ASSERT_TRUE(out);
    ASSERT_EQ(out->FrameCount(), 3 * kFrames - 20);
    // A tile shows this frame of this clip: nearer to it than to the other clip's frame at the
    // same place, and outside the transitions (where pictures come straight from the clips) nearer
    // than to the gradient's frames beside it.
    struct Shown {
        const GeneratorSettings* g;
        int64_t index;
    };
    struct Cut {
        int32_t frame;        // output frame
        int switched;         // tiles showing the second clip
        Shown first, second;  // what the tiles show on either side of the switch
        bool clip;            // a frame of a clip's own stretch
    };
    const Cut cuts[] = {
        {31, 0, {&ga, 31}, {&gb, 0}, true},
        {32, 1, {&ga, 32}, {&gb, 0}, false},
        {39, 4, {&ga, 39}, {&gb, 7}, false},
        {40, 4, {&ga, 39}, {&gb, 8}, true},
        {59, 0, {&gb, 27}, {&gc, 0}, true},
        {60, 1, {&gb, 28}, {&gc, 0}, false},
        {71, 4, {&gb, 39}, {&gc, 11}, false},
        {72, 4, {&gb, 39}, {&gc, 12}, true},
    };
    VideoFrame f;
    AudioBlock audio;
    for (const Cut& cut : cuts) {
        ASSERT_TRUE(out->ReadFrame(cut.frame, kW, kH, true, f, audio).Ok());
        for (int tile = 0; tile < 4; tile++) {
            const Shown want = tile < cut.switched ? cut.second : cut.first;
            const Shown other = tile < cut.switched ? cut.first : cut.second;
            const double d = TileDistance(f, tile, *want.g, want.index);
            EXPECT_LT(d, TileDistance(f, tile, *other.g, other.index)) << "output frame " << cut.frame << " tile " << tile;
            if (!cut.clip || want.g->Kind != Pattern::Gradient) continue;  // the gradient changes every frame
            for (int64_t beside : {want.index - 1, want.index + 1})
                EXPECT_LT(d, TileDistance(f, tile, *want.g, beside))
                    << "output frame " << cut.frame << " tile " << tile << " is not frame " << want.index << " but "
                    << beside;
        }
    }
}

// --method 7,12: each transition with its own settings, as a render with that method alone makes
// it (the second transition as a run of its own: a bundle renders a later run of the same
// settings differently).
TEST_F(Cli, EachTransitionTakesItsOwnSettingsFromAList) {
    const std::string a = MakeClip("a.mp4", Pattern::Gradient), b = MakeClip("b.mp4", Pattern::Bars);
    auto frames = [&](std::vector<std::string> clips, const char* lengths, const char* methods, bool only) {
        std::vector<std::string> args{"render"};
        args.insert(args.end(), clips.begin(), clips.end());
        args.insert(args.end(), {"-o", P("out.y4m"), "--frames", lengths, "--method", methods, "--grid", "6x5",
                                 "--randomized", "off", "-y", "--quiet"});
        if (only) args.push_back("--transition-only");
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::ifstream in(P("out.y4m"), std::ios::binary);
        const std::string all(std::istreambuf_iterator<char>(in), {});
        std::vector<std::string> pictures;
        for (size_t at = all.find("FRAME\n"); at != std::string::npos;) {
            const size_t next = all.find("FRAME\n", at + 6);
            pictures.push_back(all.substr(at, next - at));
            at = next;
        }
        return pictures;
    };
    const auto both = frames({a, b, a}, "8,12", "7,12", false), seven = frames({a, b, a}, "8,12", "7", false);
    const auto twelve = frames({b, a}, "12", "12", true);
    ASSERT_EQ(both.size(), size_t(3 * kFrames - 20));
    ASSERT_EQ(seven.size(), both.size());
    ASSERT_EQ(twelve.size(), 12u);
    // The transitions are output frames 32..39 and 60..71.
    for (size_t i = 0; i < both.size(); i++)
        EXPECT_TRUE(both[i] == (i >= 60 && i < 72 ? twelve[i - 60] : seven[i])) << "frame " << i;
    EXPECT_NE(seven[65], twelve[5]);
}

// -ss, -t and -to before a clip use only that part of it; --overlap in seconds is the transition's length.
TEST_F(Cli, TrimsApplyToTheClipAfterThem) {
    const GeneratorSettings g = Clip(Pattern::Gradient);
    const std::string a = MakeClip("a.mp4", Pattern::Gradient), b = MakeClip("b.mp4", Pattern::Gradient);
    const Result r = Run({"render", "-ss", "0.4", a, "-ss", "0:00.2", "-to", "1.2", b, "--overlap", "0.2s", "-o",
                          P("out.y4m"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = Output("out.y4m");
    ASSERT_TRUE(out);
    ASSERT_EQ(out->FrameCount(), (kFrames - 10) + 25 - 5);  // a from frame 10, b's frames 5..29, 5 shared
    VideoFrame f;
    AudioBlock audio;
    for (auto [frame, index] : {std::pair<int64_t, int64_t>{0, 10}, {30, 10}}) {  // a's frame 10, b's frame 10
        ASSERT_TRUE(out->ReadFrame(frame, kW, kH, true, f, audio).Ok());
        for (int tile = 0; tile < 4; tile++) {
            const double d = TileDistance(f, tile, g, index);
            EXPECT_LT(d, TileDistance(f, tile, g, index - 1)) << "output frame " << frame;
            EXPECT_LT(d, TileDistance(f, tile, g, index + 1)) << "output frame " << frame;
        }
    }
}

// FFmpeg's output options reach the file, as ffprobe reads it.
TEST_F(Cli, OutputOptionsReachTheFile) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    // libx264 (libx265's 10-bit encoder leaks a little inside itself, which the sanitizer build reports).
    const Result r = Run({"render", a, b, "--frames", "5", "-c:v", "libx264", "-pix_fmt", "yuv422p10le", "-crf", "30",
                          "-preset", "ultrafast", "-r", "50", "-c:a", "libopus", "-b:a", "64k", "-ac", "1", "-o",
                          P("out.mkv"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // the encoders' own chatter stays quiet
    const std::string text = bw::media::test::Ffprobe(
        "-show_entries stream=codec_name,pix_fmt,r_frame_rate,channels,sample_rate -of csv=p=0 " + P("out.mkv"));
    EXPECT_NE(text.find("h264,yuv422p10le,50/1"), std::string::npos) << text;
    EXPECT_NE(text.find("opus,48000,1"), std::string::npos) << text;
    auto out = Output("out.mkv");
    ASSERT_TRUE(out);
    EXPECT_EQ(out->FrameCount(), 2 * 2 * kFrames - 5);  // 25 fps clips at 50 fps, 5 frames shared

    // .webm is VP9 up to 4K (4096 x 2304 samples) and AV1 above it, where VP9 takes gigabytes.
    for (const auto& [size, says] : {std::pair{"4096x2304", "WebM (VP9, Opus), 4096x2304"},
                                     std::pair{"4098x2304", "WebM (AV1, Opus), 4098x2304"},
                                     std::pair{"2304x4098", "WebM (AV1, Opus), 2304x4098"}}) {
        std::string plan;
        ASSERT_EQ(Run({"render", a, b, "-o", P("big.webm"), "--size", size, "--dry-run"}, &plan).status, 0);
        EXPECT_NE(plan.find(says), std::string::npos) << plan;
    }
}

// An image sequence is a clip at -framerate (given before it), and sets the output's rate as the first clip.
TEST_F(Cli, ImageSequencesAreClipsAtTheirFrameRate) {
    const std::string b = MakeClip("b.mp4", Pattern::Gradient);
    fs::create_directories(P("seq"));
    ASSERT_TRUE(bw::media::test::Ffmpeg("-f lavfi -i color=c=red:s=160x96:r=25:d=0.4 " + P("seq/%05d.png")));
    const Result r = Run({"render", "-framerate", "50", P("seq/%05d.png"), b, "--frames", "5", "-o", P("out.y4m"),
                          "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = Output("out.y4m");
    ASSERT_TRUE(out);
    EXPECT_EQ(out->FrameRate(), (Rational{50, 1}));
    EXPECT_EQ(out->FrameCount(), 10 + 2 * kFrames - 5);  // ten pictures, then b at 50 frames a second

    // A gap in the numbering ends the clip there, and the files after it are named as left out.
    fs::remove(P("seq/00009.png"));
    const Result gap = Run({"render", P("seq/%05d.png"), b, "--frames", "2", "-o", "null", "--quiet"});
    EXPECT_EQ(gap.status, 0) << gap.err;
    EXPECT_NE(gap.err.find("stops after 8 pictures; the 1 file of the sequence after the gap is left out"), std::string::npos) << gap.err;
    // A pattern in a folder's name is left to FFmpeg.
    for (const char* folder : {"d01", "d02"}) {
        fs::create_directories(P(folder));
        fs::copy(P("seq/00001.png"), P(folder) + "/x.png");
    }
    EXPECT_EQ(Run({"render", P("d%02d/x.png"), b, "--frames", "2", "-o", "null", "--quiet"}).status, 0);

    // A sequence numbered from 100 starts there; a pattern of another width matches none of its files.
    fs::create_directories(P("late"));
    ASSERT_TRUE(bw::media::test::Ffmpeg("-f lavfi -i color=c=red:s=160x96:r=25:d=0.2 -start_number 100 " +
                                        P("late/%05d.png")));
    const Result late = Run({"render", P("late/%05d.png"), b, "--frames", "2", "-o", "null", "--quiet"});
    EXPECT_EQ(late.status, 0) << late.err;
    EXPECT_EQ(Run({"render", P("late/%03d.png"), b, "--frames", "2", "-o", "null", "--quiet"}).status, 3);
}

// Standard input and output: a clip piped in, the render piped into ffprobe as Matroska and YUV4MPEG2.
TEST_F(Cli, PipesInAndOutReachFfprobe) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    auto probe = [&](const std::string& format) {
        const std::string command = "cat " + a + " | " + BW_TEST_PROGRAM + " render - " + b +
                                    " --frames 5 --quiet -o - " + format +
                                    " | ffprobe -v error -count_frames -select_streams v -show_entries "
                                    "stream=codec_name,nb_read_frames -of csv=p=0 -";
        FILE* pipe = popen(command.c_str(), "r");
        std::string text;
        if (pipe) {
            for (char buf[256]; fgets(buf, sizeof buf, pipe);) text += buf;
            pclose(pipe);
        }
        return text;
    };
    EXPECT_EQ(probe(""), "h264,75\n");
    EXPECT_EQ(probe("-f yuv4mpegpipe"), "rawvideo,75\n");
}

TEST_F(Cli, SecondClipIsConvertedToTheFirstClipsSizeRateAndSound) {
    FourColumns();
    const std::string a = MakeClip("a.mp4", Pattern::Bars);
    GeneratorSettings other = Clip(Pattern::Gradient);
    other.Width = 320;
    other.Height = 180;
    other.FrameRate = {30, 1};
    other.FrameCount = 60;  // two seconds: 50 frames at 25 fps
    other.SampleRate = 44100;
    ASSERT_TRUE(WriteGeneratedClip(P("b.mkv"), other).Ok());
    ASSERT_EQ(Run({"render", a, P("b.mkv"), "-o", P("out.mkv"), "--frames", "20", "--quiet"}).status, 0);
    auto out = Output("out.mkv");
    ASSERT_TRUE(out);
    EXPECT_EQ(out->Width(), kW);
    EXPECT_EQ(out->Height(), kH);
    EXPECT_EQ(out->FrameRate(), (Rational{25, 1}));
    EXPECT_EQ(out->FrameCount(), kFrames + 50 - 20);
    EXPECT_EQ(out->Info().AudioSampleRate, 48000);
    // Clip B's tone plays on at its own level after the transition, resampled but not shifted in pitch
    // or level: the RMS of a 0.25 sine.
    AudioBlock audio;
    const int64_t first = FrameSampleStart(kFrames + 5, {25, 1}, kRate);
    ASSERT_TRUE(out->ReadAudio(first, kRate / 5, audio).Ok());
    double sum = 0;
    for (int64_t i = 0; i < audio.FrameCount(); i++) sum += double(audio.Samples[size_t(2 * i)]) * audio.Samples[size_t(2 * i)];
    EXPECT_NEAR(std::sqrt(sum / double(audio.FrameCount())), 0.25 / std::sqrt(2.0), 0.01);
    // Its pictures are scaled into the output frame: the last frame shows clip B's frame at 49 x 30 / 25.
    VideoFrame f;
    ASSERT_TRUE(out->ReadFrame(out->FrameCount() - 1, kW, kH, true, f, audio).Ok());
    double distance = 0;
    for (int y = 8; y < kH - 8; y += 4)
        for (int x = 8; x < kW - 8; x += 4) {
            const uint32_t want = GeneratedPixel(other, 58, x, y, kW, kH);  // output frame 49 at 30 fps
            const uint8_t* p = f.Row(y) + 4 * x;
            distance += std::abs(p[1] - int((want >> 16) & 0xFF)) + std::abs(p[3] - int(want & 0xFF));
        }
    EXPECT_LT(distance / ((kH - 16) / 4 * (kW - 16) / 4), 12.0);
}

TEST_F(Cli, SpeedSetsTheLengthAsTheInfoCallReports) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    // --speed 0 is 10 frames; at 1 the transition is longer than the clips and held to their length.
    for (const auto& [speed, frames] : {std::pair{"0", 2 * kFrames - 10}, {"1", kFrames}}) {
        ASSERT_EQ(Run({"render", a, b, "-o", P("out.y4m"), "--speed", speed, "-y", "--quiet"}).status, 0);
        auto out = Output("out.y4m");
        ASSERT_TRUE(out);
        EXPECT_EQ(out->FrameCount(), frames) << "--speed " << speed;
    }
}

// RMS of a window of the left channel.
double Rms(const AudioBlock& a, int64_t first, int64_t count) {
    double sum = 0;
    for (int64_t i = first; i < first + count; i++) sum += double(a.Samples[size_t(2 * i)]) * a.Samples[size_t(2 * i)];
    return std::sqrt(sum / double(count));
}

double Db(double x, double y) { return 20 * std::log10(x / y); }

struct AudioCase {
    const char* variant;
    bool startEdge, endEdge;
};
class Audio : public Cli, public ::testing::WithParamInterface<AudioCase> {};
TEST_P(Audio, FollowsTheBundlesLevelsWithoutClicksAtTheEdges) {
    const AudioCase c = GetParam();
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    const std::string variant = c.variant;
    std::vector<std::string> args = {"render", variant == "before" ? b : a};
    if (variant == "between") args.push_back(b);
    args.insert(args.end(), {"-o", P("out.mkv"), "--variant", c.variant, "--frames", "20", "--quiet"});
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = Output("out.mkv");
    ASSERT_TRUE(out);
    const int64_t total = out->FrameCount();
    AudioBlock audio;
    const int64_t samples = FrameSampleStart(total, {25, 1}, kRate);
    ASSERT_TRUE(out->ReadAudio(0, samples, audio).Ok());
    const int32_t n = 20, pre = variant == "before" ? 0 : kFrames - n;
    const int64_t edgeIn = FrameSampleStart(pre, {25, 1}, kRate), edgeOut = FrameSampleStart(pre + n, {25, 1}, kRate);
    const int64_t window = kRate / 100;  // 10 ms
    if (c.startEdge) {
        EXPECT_LE(std::abs(Db(Rms(audio, edgeIn, window), Rms(audio, edgeIn - window, window))), 6.0);
    }
    if (c.endEdge) {
        EXPECT_LE(std::abs(Db(Rms(audio, edgeOut, window), Rms(audio, edgeOut - window, window))), 6.0);
    }

    // Mid-transition frame k: the fetched clip at its ramped level (plus clip B at full between
    // clips); tones of amplitude 0.25 have an RMS of 0.25 / sqrt 2.
    const int k = 10;
    auto level = [&](int j) {
        if (j < 0) return variant == "before" ? 0.0 : 1.0;
        const double percent = (j + 1.0) / n;
        return std::trunc(256 * (variant == "before" ? percent : 1 - percent)) / 256.0;
    };
    const double g0 = level(k - 1), g1 = level(k);
    const double meanSquare = (g0 * g0 + g0 * g1 + g1 * g1) / 3 + (variant == "between" ? 1.0 : 0.0);
    const double expected = 0.25 / std::sqrt(2.0) * std::sqrt(meanSquare);
    const int64_t from = FrameSampleStart(pre + k, {25, 1}, kRate);
    EXPECT_NEAR(Db(Rms(audio, from, FrameSampleStart(pre + k + 1, {25, 1}, kRate) - from), expected), 0.0, 0.5);
}
INSTANTIATE_TEST_SUITE_P(Variants, Audio,
                         ::testing::Values(AudioCase{"between", true, true}, AudioCase{"after", true, false},
                                           AudioCase{"before", false, true}));

// Sound of more than two channels keeps the first clip's layout, each channel its own, unless -ac
// says otherwise; a stereo clip is mixed into it on the front pair; the transition's mix reaches
// every channel.
struct SurroundCase {
    const char* output;
    std::vector<std::string> options;
    const char* probe;                 // ffprobe's codec_name,channels,channel_layout
    bool levels;                       // the channels read back one by one
    const char* source = "-c:a flac";  // clip A's sound, as FFmpeg's output options
};
class Surround : public Cli, public ::testing::WithParamInterface<SurroundCase> {};
TEST_P(Surround, KeepsTheFirstClipsLayout) {
    const SurroundCase c = GetParam();
    // Clip A: 5.1 with side channels, a tone of its own amplitude on each channel but LFE (FLAC
    // keeps the layout's name); clip B: the stereo generated clip, 0.25 on both channels.
    const double amplitude[6] = {0.1, 0.1, 0.2, 0, 0.05, 0.3};
    ASSERT_TRUE(bw::media::test::Ffmpeg(
        "-f lavfi -i testsrc=s=160x96:r=25:d=1.6 -f lavfi -i 'aevalsrc=0.1*sin(2*PI*300*t)|0.1*sin(2*PI*350*t)|"
        "0.2*sin(2*PI*400*t)|0|0.05*sin(2*PI*500*t)|0.3*sin(2*PI*550*t):c=5.1(side):s=48000:d=1.6' "
        "-c:v libx264 -preset ultrafast " +
        std::string(c.source) + " " + P("a.mkv")));
    const std::string b = MakeClip("b.mp4", Pattern::Gradient);
    std::vector<std::string> args = {"render", P("a.mkv"), b, "--frames", "10", "--quiet", "-o", P(c.output)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = bw::media::test::Ffprobe(
        "-select_streams a -show_entries stream=codec_name,channels,channel_layout -of csv=p=0 " + P(c.output));
    EXPECT_EQ(text, std::string(c.probe) + "\n");
    // The plan names the layout the file gets.
    std::string plan;
    const std::string probed = c.probe;
    args.push_back("--dry-run");
    ASSERT_EQ(Run(args, &plan).status, 0);
    EXPECT_NE(plan.find(", " + probed.substr(probed.rfind(',') + 1) + " sound"), std::string::npos) << plan;

    auto out = Output(c.output);
    ASSERT_TRUE(out);
    const uint64_t layout = out->Info().AudioLayout;
    out->SetChannelLayout(layout);
    AudioBlock audio;
    ASSERT_TRUE(out->ReadAudio(0, FrameSampleStart(70, {25, 1}, kRate), audio).Ok());
    const int n = audio.Channels;
    auto rms = [&](int channel, int32_t from, int32_t to) {  // output frames [from, to)
        const int64_t first = FrameSampleStart(from, {25, 1}, kRate), end = FrameSampleStart(to, {25, 1}, kRate);
        double sum = 0;
        for (int64_t i = first; i < end; i++) sum += std::pow(audio.Samples[size_t(n * i + channel)], 2);
        return std::sqrt(sum / double(end - first));
    };
    // Clip A's sound reaches every channel but the LFE (bit 3 of the layout), which it leaves silent.
    const int lfe = layout & 0x8 ? LayoutChannels(layout & 0x7) : -1;
    for (int ch = 0; ch < n; ch++)
        EXPECT_TRUE(ch == lfe || rms(ch, 5, 25) > 0.02) << "clip A, channel " << ch << " of " << n;
    if (!c.levels) return;
    ASSERT_EQ(n, 6);
    for (int ch = 0; ch < 6; ch++) {
        EXPECT_NEAR(rms(ch, 5, 25), amplitude[ch] / std::sqrt(2.0), 0.01) << "clip A, channel " << ch;
        EXPECT_NEAR(rms(ch, 45, 65), ch < 2 ? 0.25 / std::sqrt(2.0) : 0.0, 0.01) << "clip B, channel " << ch;
    }
    // Transition frame 5 (output frame 35): clip A's centre channel alone, at the level the bundle
    // ramps it to: from 1 - 5/10 to 1 - 6/10.
    const double g0 = std::trunc(256 * 0.5) / 256, g1 = std::trunc(256 * 0.4) / 256;
    EXPECT_NEAR(rms(2, 35, 36), 0.2 / std::sqrt(2.0) * std::sqrt((g0 * g0 + g0 * g1 + g1 * g1) / 3), 0.01);
}
INSTANTIATE_TEST_SUITE_P(
    Outputs, Surround,
    ::testing::Values(SurroundCase{"out.mkv", {"-c:a", "flac"}, "flac,6,5.1(side)", true},
                      SurroundCase{"out.mp4", {}, "aac,6,5.1", true},                                      // back channels
                      SurroundCase{"out.webm", {"-c:v", "libvpx-vp9", "-crf", "63"}, "opus,6,5.1", true},  // back channels
                      SurroundCase{"out.mov", {"-ac", "2"}, "aac,2,stereo", false},
                      // Opus holds three channels as left, centre, right: the centre is clip A's
                      SurroundCase{"out.webm", {"-ac", "3", "-c:v", "libvpx-vp9", "-crf", "63"}, "opus,3,3.0", false},
                      // ten channels that name no layout (FFmpeg has none for ten): mixed to 7.1
                      SurroundCase{"out.mp4", {}, "aac,8,7.1", false,
                                   "-af 'pan=10 channels|c0=c0|c1=c1|c2=c2|c3=c3|c4=c4|c5=c5|c6=c0|c7=c1|c8=c4|c9=c5' "
                                   "-c:a pcm_s16le"},
                      // 5.0 with side channels: AAC's own 5.0 (back channels)
                      SurroundCase{"out.mp4", {}, "aac,5,5.0", false, "-af 'pan=5.0(side)|c0=c0|c1=c1|c2=c2|c3=c4|c4=c5' -c:a flac"}));

TEST_F(Cli, BadInputsFailWithTheirOwnMessageAndLeaveNoOutput) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars);
    std::ofstream(P("noise.txt")) << "not a video";
    bw::media::test::WriteWav(P("tone.wav"), kRate, kRate / 2);
    // A truncated file: the first half of a good one.
    {
        const std::string full = MakeClip("full.mp4", Pattern::Gradient);
        std::ifstream in(full, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(P("cut.mp4"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    struct Case {
        std::string input, message;
        int status;
    };
    const Case cases[] = {{P("missing.mp4"), "missing.mp4: no such file", 3},
                          {P("noise.txt"), "noise.txt", 4},
                          {P("tone.wav"), "tone.wav: no video stream", 4},
                          {P("cut.mp4"), "cut.mp4", 4}};
    for (const Case& c : cases) {
        const Result r = Run({"render", a, c.input, "-o", P("out.mp4"), "--quiet"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(P("out.mp4")));
        for (const std::string& name : Listing()) EXPECT_EQ(name.find("out.mp4"), std::string::npos) << name;
    }
}

// Sound in a codec no decoder takes (the PCM entry's tag changed): the clip is used silent, and the
// message names the file.
TEST_F(Cli, SoundNoDecoderTakesIsNamed) {
    const std::string b = MakeClip("b.mp4", Pattern::Gradient);
    ASSERT_TRUE(bw::media::test::Ffmpeg(
        "-f lavfi -i testsrc=s=160x96:r=25:d=1 -f lavfi -i sine=d=1 -c:v libx264 "
        "-preset ultrafast -c:a pcm_s16le " +
        P("a.mov")));
    std::ifstream in(P("a.mov"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_NE(bytes.find("sowt"), std::string::npos);
    std::ofstream(P("odd.mov"), std::ios::binary) << bytes.replace(bytes.find("sowt"), 4, "zzzz");
    const Result r = Run({"render", P("odd.mov"), b, "--frames", "5", "-o", "null", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("odd.mov: its sound is in a codec"), std::string::npos) << r.err;
}

TEST_F(Cli, PrefsAreCheckedBeforeAnythingIsWritten) {
    ASSERT_EQ(Run({"prefs", "set", "method=12", "columns=9"}).status, 0);
    const Result bad = Run({"prefs", "set", "rows=7", "columns=101"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("columns must be 1..100"), std::string::npos) << bad.err;
    // The failed commands changed nothing: rows is still the factory 50.
    std::string shown;
    ASSERT_EQ(Run({"prefs", "show"}, &shown).status, 0);
    EXPECT_NE(shown.find("method=12\ncolumns=9\nrows=50\n"), std::string::npos) << shown;
    EXPECT_EQ(Run({"prefs", "reset"}).status, 0);
}

// Lines of the program's own messages that hold `text`.
int Lines(const std::string& err, const std::string& text) {
    int n = 0;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) n += line.find(text) != std::string::npos;
    return n;
}

TEST_F(Cli, ADamagedPrefsFileIsNamedThenMovedAsideOnce) {
    fs::create_directories(P("config"));
    const std::string prefs = P("config/kpblk-Prefs"), damaged(300, '\xEE');
    std::ofstream(prefs, std::ios::binary) << damaged;
    const Result shown = Run({"prefs", "show"});
    EXPECT_EQ(shown.status, 7);
    EXPECT_EQ(Lines(shown.err, "cannot read " + prefs + ": damaged (not a resource file); the next save moves it aside to " +
                                   prefs + ".damaged; these are the factory defaults"),
              1)
        << shown.err;
    EXPECT_FALSE(fs::exists(prefs + ".damaged"));  // showing changes nothing
    // Rendering still works, with the factory defaults, and says once where the old file went.
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    const Result first = Run({"render", a, b, "-o", P("out.y4m"), "--frames", "6", "--quiet"});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "blockwaves: " + prefs + " could not be read; moved it aside to " + prefs +
                             ".damaged; the factory defaults are used\n");
    std::ifstream in(prefs + ".damaged", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
    const Result again = Run({"render", a, b, "-o", P("out.y4m"), "--frames", "6", "--quiet", "-y"});
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(Run({"prefs", "set", "method=5"}).status, 0);
    EXPECT_EQ(Run({"prefs", "show"}).status, 0);
}

// What the prefs command says about a preferences file or folder it cannot use.
struct PrefsProblem {
    const char* What;
    void (*Prepare)(const fs::path& dir);
    std::vector<std::string> Args;
    int Status;
    std::string Message;  // "@" stands for the scratch folder
};
const PrefsProblem kPrefsProblems[] = {
    {"no folder yet", [](const fs::path&) {}, {"prefs", "show"}, 0, "no saved settings yet; these are the factory defaults"},
    {"a FIFO, shown", [](const fs::path& d) { fs::create_directories(d / "config"); mkfifo((d / "config/kpblk-Prefs").c_str(), 0644); }, {"prefs", "show"}, 7, "cannot read @config/kpblk-Prefs: not a regular file (a FIFO); these are the factory defaults"},
    {"a FIFO, set", [](const fs::path& d) { fs::create_directories(d / "config"); mkfifo((d / "config/kpblk-Prefs").c_str(), 0644); }, {"prefs", "set", "rows=3"}, 7, "cannot write @config/kpblk-Prefs: not a regular file (a FIFO); nothing was changed"},
    {"XDG_CONFIG_HOME a file",
     [](const fs::path& d) {
    std::ofstream(d / "file") << "x";
    setenv("XDG_CONFIG_HOME", (d / "file").c_str(), 1);
     },
     {"prefs", "set", "rows=3"},
     7,
     "cannot write @file/kpblk-Prefs: XDG_CONFIG_HOME names @file, which is not a folder; nothing was changed"},
};
class PrefsProblems : public Cli, public ::testing::WithParamInterface<PrefsProblem> {};
TEST_P(PrefsProblems, AreNamedWithThePathAndTheReason) {
    const PrefsProblem c = GetParam();
    c.Prepare(dir_);
    alarm(120);  // a blocking open would hang here
    const Result r = Run(c.Args);
    alarm(0);
    EXPECT_EQ(r.status, c.Status) << r.err;
    std::string message = c.Message;
    for (size_t at; (at = message.find('@')) != std::string::npos;) message.replace(at, 1, P(""));
    EXPECT_EQ(r.err, "blockwaves: " + message + "\n");
    if (std::string(c.What) == "no folder yet") {
        EXPECT_FALSE(fs::exists(P("config")));  // reading makes nothing
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, PrefsProblems, ::testing::ValuesIn(kPrefsProblems));

// A preferences file the user may not write (left by a run under sudo): every command that loads
// the bundle goes on and says why once; prefs set fails with the reason. As root (CI) the program
// runs as nobody, with a file of root's; otherwise with a 0444 file of the user's own.
TEST_F(Cli, AnUnwritablePrefsFileIsReportedNotFatal) {
    ASSERT_EQ(Run({"prefs", "set", "method=5"}).status, 0);
    const std::string prefs = P("config/kpblk-Prefs");
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    std::string program = BW_TEST_PROGRAM, copies;
    std::vector<std::string> env;
    if (nobody::IsRoot()) {
        nobody::Give(dir_.string(), {prefs});
        ::chmod(prefs.c_str(), 0644);
        if (!nobody::CanRun(program) || !nobody::CanRun(std::string(BW_TEST_BUNDLE) + "/Contents/Linux/kpblockwaves.so")) {
            program = nobody::CopyWhereNobodyReaches(program, "bin/blockwaves", &copies);
            env.push_back("BLOCKWAVES_BUNDLE=" +
                          nobody::CopyWhereNobodyReaches(BW_TEST_BUNDLE, "lib/blockwaves/kpblockwaves.bundle", &copies));
        }
    } else {
        ::chmod(prefs.c_str(), 0444);
    }
    auto run = [&](std::vector<std::string> args, std::string& out) {
        args.insert(args.begin(), program);
        return nobody::Run(args, out, env, nobody::IsRoot());
    };
    const std::string refused = "cannot write " + prefs + ": Permission denied";
    std::string out;
    EXPECT_EQ(run({"prefs", "set", "columns=9"}, out), 7) << out;
    EXPECT_EQ(Lines(out, refused + "; nothing was changed"), 1) << out;
    EXPECT_EQ(run({"render", a, b, "-o", P("out.y4m"), "--frames", "6", "--quiet"}, out), 0) << out;
    EXPECT_EQ(out, "blockwaves: " + refused + "; the saved settings are used as they are\n");
    EXPECT_EQ(run({"info"}, out), 0) << out;
    EXPECT_EQ(Lines(out, refused), 1) << out;
    EXPECT_EQ(run({"prefs", "show"}, out), 0) << out;
    EXPECT_EQ(Lines(out, "method=5"), 1) << out;
    if (!copies.empty()) fs::remove_all(copies);
}

TEST_F(Cli, SheetAndThumbnailArePictures) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    ASSERT_EQ(Run({"sheet", a, b, "-o", P("sheet.png"), "--frames", "12"}).status, 0);
    ASSERT_EQ(Run({"thumbnail", a, b, "-o", P("thumb.png"), "--frames", "12"}).status, 0);
    for (const char* name : {"sheet.png", "thumb.png"}) {
        std::ifstream in(P(name), std::ios::binary);
        char magic[8] = {};
        in.read(magic, 8);
        EXPECT_EQ(std::string(magic + 1, 3), "PNG") << name;
    }
    EXPECT_EQ(Run({"render", "--help"}).status, 0);
    // Without a display the settings dialog cannot open: said, with the bundle's status.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    EXPECT_EQ(Run({"configure"}).status, 6);
}

// The command line where a clip is opened or a file written (the refusals are in
// commandline_test.cpp); "@" stands for the scratch folder.
struct LineCase {
    std::vector<std::string> Args;
    int Status;
    std::string Says;  // part of standard error
};
const LineCase kLines[] = {
    {{"render", "-ss", "9", "@a.mp4", "@b.mp4", "-o", "@o.y4m"}, 2, "past its end"},
    {{"render", "-", "-", "-o", "@o.mp4"}, 2, "only one clip can come from standard input"},
    {{"render", "@seq/%05d.png", "@b.mp4", "-o", "@o.y4m"}, 3, "@seq/%05d.png: no file matches"},
    {{"render", "@a.mp4", "@b.mp4", "@a.mp4", "-o", "@o.y4m", "--frames", "5,6"}, 0, "wrote @o.y4m: 109 frames in "},
    {{"render", "@a.mp4", "@b.mp4", "@a.mp4", "-o", "@o.y4m", "--frames", "5,6"}, 0, "transition 1 at frames 35..39 (5 frames), transition 2 at frames 69..74 (6 frames)\n"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "-", "--frames", "5"}, 0, "wrote standard output: 75 frames"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "null", "--frames", "5", "-ac", "8"}, 0, ", transition at frames 35..39 (5 frames)\n"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "@o.mp4", "-c:v", "nope"}, 5, "no nope video encoder"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "@o.webm", "-c:v", "libx264"}, 5, "cannot hold libx264 video"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "@o.mp4", "-pix_fmt", "rgb24"}, 5, "does not take the pixel format rgb24"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "@o.webm", "-preset", "fast"}, 5, "no -preset fast"},
    {{"sheet", "@a.mp4", "@b.mp4", "-o", "@s.png", "--frames", "6"}, 0, "wrote @s.png: the transition (6 frames)"},
    {{"thumbnail", "@a.mp4", "@b.mp4", "-o", "@t.png", "--frames", "6"}, 0, "wrote @t.png"},
    {{"configure"}, 6, "no display"},
    {{"prefs", "import", "@a.mp4"}, 7, "not a preferences file"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "null", "--overlap", "0.01s"}, 0, "transition at frames 39..39"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "/dev/null", "--frames", "5"}, 0, "transition at frames 35..39"},
    {{"render", "@a.mp4", "@b.mp4", "-o", "null", "-r", "240/1", "--frames", "5"}, 0, "transition at"},
};
class CommandLine : public Cli, public ::testing::WithParamInterface<LineCase> {};
TEST_P(CommandLine, IsCheckedWordByWord) {
    MakeClip("a.mp4", Pattern::Bars);
    MakeClip("b.mp4", Pattern::Gradient);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    auto here = [&](std::string text) {
        for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, P(""));
        return text;
    };
    std::vector<std::string> args;
    for (const std::string& a : GetParam().Args) args.push_back(here(a));
    const Result r = Run(args);
    EXPECT_EQ(r.status, GetParam().Status) << r.err;
    EXPECT_NE(r.err.find(here(GetParam().Says)), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("did you mean '-h'"), std::string::npos) << r.err;
    if (r.status != 0) {
        EXPECT_FALSE(fs::exists(P("o.y4m")));
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, ::testing::ValuesIn(kLines));

// A render's own settings, given as options or as an exported file, reach the bundle as its
// saved default would, and leave the user's saved default as it was.
TEST_F(Cli, RenderSettingsAreTheRendersOwn) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    FourColumns();
    ASSERT_EQ(Run({"prefs", "export", P("four.prefs")}).status, 0);
    ASSERT_EQ(Run({"prefs", "reset"}).status, 0);
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string saved = bytes(P("config/kpblk-Prefs"));
    auto render = [&](const std::string& out, std::vector<std::string> settings) {
        std::vector<std::string> args{"render", a, b, "-o", P(out), "--frames", "8", "--transition-only"};
        args.insert(args.end(), settings.begin(), settings.end());
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return bytes(P(out));
    };
    const std::string plain = render("plain.y4m", {});
    const std::string options = render("options.y4m", {"--method", "30", "--grid", "4x1", "--tile-duration", "0",
                                                       "--randomized", "off", "--rect", "0,0,1,1", "--color=#0000FF"});
    const std::string file = render("file.y4m", {"--settings", P("four.prefs")});
    EXPECT_NE(options, plain);
    EXPECT_EQ(file, options);
    EXPECT_EQ(bytes(P("config/kpblk-Prefs")), saved);
    ASSERT_EQ(Run({"prefs", "import", P("four.prefs")}).status, 0);
    EXPECT_EQ(render("imported.y4m", {}), options);

    // The plan names what a render would use and writes nothing, not even over an existing output.
    std::string plan;
    const Result r = Run({"render", a, b, "-o", P("plain.y4m"), "--frames", "8", "--dry-run", "--method", "12"}, &plan);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* says : {"frames 0..39 of 40", "output frames 32..39 (8 frames", "method 12, 4x1 tiles",
                             "160x96, 25 fps, 72 frames"})
        EXPECT_NE(plan.find(says), std::string::npos) << says << " in\n"
                                                      << plan;
    EXPECT_EQ(bytes(P("plain.y4m")), plain);
    // A rect for each transition, separated by '/'.
    ASSERT_EQ(Run({"render", a, b, a, "-o", P("x.mp4"), "--frames", "8", "--dry-run", "--rect", "0.25,0,0.75,1/0,0.5,1,1"}, &plan).status, 0);
    const size_t first = plan.find("rect 0.25,0,0.75,1\n");
    EXPECT_NE(first, std::string::npos) << plan;
    EXPECT_NE(plan.find("rect 0,0.5,1,1\n", first), std::string::npos) << plan;
    EXPECT_NE(plan.find("stereo sound"), std::string::npos) << plan;
}

TEST_F(Cli, HelpAndVersionWorkEverywhereAndOptionsTakeEitherSpelling) {
    for (const char* command : {"render", "demo", "info", "thumbnail", "sheet", "prefs", "configure"})
        for (const char* flag : {"-h", "--help", "--version"}) EXPECT_EQ(Run({command, flag}).status, 0) << command << flag;
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    ASSERT_EQ(Run({"render", a, b, "-o", P("out.y4m"), "--frames=12", "--quiet"}).status, 0);
    auto out = Output("out.y4m");
    ASSERT_TRUE(out);
    EXPECT_EQ(out->FrameCount(), 2 * kFrames - 12);
}

// An existing output is replaced only with -y; an input never is.
struct ReplaceCase {
    const char* Flag;  // "" for none
    bool OntoInput;
    int Status;
    bool Replaced;
};
const ReplaceCase kReplaces[] = {
    {"", false, 5, false}, {"-n", false, 5, false}, {"-y", false, 0, true}, {"-y", true, 2, false}};
class Replacing : public Cli, public ::testing::WithParamInterface<ReplaceCase> {};
TEST_P(Replacing, FollowsTheFlagAndSparesInputs) {
    const std::string a = MakeClip("a.mkv", Pattern::Bars), b = MakeClip("b.mkv", Pattern::Gradient);
    const std::string out = GetParam().OntoInput ? b : P("out.mkv");
    if (!GetParam().OntoInput) std::ofstream(out) << "older";
    const auto before = fs::file_size(out);
    std::vector<std::string> args = {"render", a, b, "-o", out, "--frames", "6", "--quiet"};
    if (*GetParam().Flag) args.push_back(GetParam().Flag);
    const Result r = Run(args);
    EXPECT_EQ(r.status, GetParam().Status) << r.err;
    EXPECT_EQ(fs::file_size(out) != before, GetParam().Replaced) << r.err;
}
INSTANTIATE_TEST_SUITE_P(Flags, Replacing, ::testing::ValuesIn(kReplaces));

TEST_F(Cli, ASequenceReplacesOnlyItsOwnFramesAndOnlyWithY) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    fs::create_directories(P("frames"));
    for (int i = 1; i <= 30; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "%05d.png", i);
        std::ofstream(P("frames/") + name) << "old";
    }
    for (const char* mine : {"notes.txt", "7.png", "0007.png"}) std::ofstream(P("frames/") + mine) << "mine";
    const std::vector<std::string> args = {"render", a, b, "-o", P("frames/%05d.png"), "--frames", "10",
                                           "--transition-only", "--quiet"};
    EXPECT_EQ(Run(args).status, 5);
    EXPECT_TRUE(fs::exists(P("frames/00030.png")));
    std::vector<std::string> yes = args;
    yes.push_back("-y");
    ASSERT_EQ(Run(yes).status, 0);
    int frames = 0;
    for (const auto& e : fs::directory_iterator(P("frames"))) frames += e.path().extension() == ".png";
    EXPECT_EQ(frames, 12);  // and the two of another width
    EXPECT_FALSE(fs::exists(P("frames/00011.png")));
    for (const char* mine : {"notes.txt", "7.png", "0007.png"}) EXPECT_TRUE(fs::exists(P("frames/") + mine)) << mine;
}

// Ctrl-C, SIGTERM and a hang-up stop a render with nothing left behind (no temporary output, no
// private folder with the copy of standard input) and the shell's statuses.
class Signals : public Cli, public ::testing::WithParamInterface<std::pair<int, int>> {};
TEST_P(Signals, LeaveNoPartFiles) {
    ASSERT_TRUE(bw::media::test::Ffmpeg("-f lavfi -i testsrc=s=160x96:r=25:d=120 -c:v libx264 -preset ultrafast " + P("long.mkv")));
    fs::create_directories(P("tmp"));
    setenv("TMPDIR", P("tmp").c_str(), 1);
    const pid_t pid = bw::cli::test::StartProgram(
        {"render", "-", "--variant", "after", "--method", "3", "-o", P("out.webm")}, P("long.mkv"), -1, "");
    ASSERT_GT(pid, 0);
    // Wait until the temporary output exists: the render is under way.
    bool started = false;
    for (int i = 0; i < 3000 && !started; i++) {
        for (const std::string& name : Listing()) started = started || name.find(".part") != std::string::npos;
        if (!started) usleep(10000);
    }
    ASSERT_TRUE(started);
    kill(pid, GetParam().first);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), GetParam().second);
    unsetenv("TMPDIR");
    for (const std::string& name : Listing()) EXPECT_EQ(name.find("out.webm"), std::string::npos) << name;
    EXPECT_TRUE(fs::is_empty(P("tmp")));
}
INSTANTIATE_TEST_SUITE_P(Kinds, Signals,
                         ::testing::Values(std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}));

// A reader of standard output that quits: the render stops, says why and leaves nothing behind.
TEST_F(Cli, AReaderThatQuitsEndsTheRenderWithAWord) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars);
    GeneratorSettings longer = Clip(Pattern::Gradient);
    longer.FrameCount = 1000;
    ASSERT_TRUE(WriteGeneratedClip(P("b.mkv"), longer).Ok());
    fs::create_directories(P("tmp"));
    setenv("TMPDIR", P("tmp").c_str(), 1);
    int pipeEnds[2];  // neither end stays open in the program but as its standard output
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    const std::string err = P("err.txt");
    const pid_t pid = bw::cli::test::StartProgram({"render", "-", P("b.mkv"), "-o", "-", "-f", "yuv4mpegpipe"},
                                                  a, pipeEnds[1], err);
    ASSERT_GT(pid, 0);
    close(pipeEnds[1]);
    char chunk[4096];
    size_t got = 0;
    while (got < 200000) {  // the reader takes a few frames, then quits
        const ssize_t n = read(pipeEnds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        got += size_t(n);
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    unsetenv("TMPDIR");
    ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), 141);
    std::ifstream text(err);
    const std::string said((std::istreambuf_iterator<char>(text)), {});
    EXPECT_EQ(said, "blockwaves: the reader of standard output closed it\n");
    EXPECT_TRUE(fs::is_empty(P("tmp")));
}

// A temporary output of a writer that was killed goes with the next render to the same output;
// one of a process that still lives stays.
TEST_F(Cli, ALaterRenderRemovesPartFilesOfGoneProcesses) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string dead = P(".out.y4m.part-" + std::to_string(gone) + "-0");
    const std::string live = P(".out.y4m.part-" + std::to_string(getpid()) + "-3");
    const std::string other = P(".other.y4m.part-" + std::to_string(gone) + "-0");
    for (const std::string& path : {dead, live, other}) std::ofstream(path) << "half";
    ASSERT_EQ(Run({"render", a, b, "-o", P("out.y4m"), "--frames", "5", "--quiet"}).status, 0);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(Cli, AClipThatEndsEarlyFailsOrIsUsedAsFarAsItDecodes) {
    ASSERT_TRUE(bw::media::test::Ffmpeg("-f lavfi -i testsrc=s=160x96:r=25:d=3 -c:v libx264 -g 25 -movflags +faststart " +
                                        P("cut.mp4")));
    fs::resize_file(P("cut.mp4"), fs::file_size(P("cut.mp4")) / 2);
    const std::string b = MakeClip("b.mp4", Pattern::Gradient);
    const Result r = Run({"render", P("cut.mp4"), b, "-o", P("out.y4m"), "--frames", "6", "--quiet"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("cut.mp4: the file ends early at 0:0"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("out.y4m")));
    // Between two clips, after the first transition was made: the render again lists two.
    const Result used = Run({"render", b, P("cut.mp4"), b, "-o", P("out.y4m"), "--frames", "6", "--allow-short"});
    ASSERT_EQ(used.status, 0) << used.err;
    EXPECT_NE(used.err.find("transition 2 at"), std::string::npos) << used.err;
    EXPECT_EQ(used.err.find("transition 3"), std::string::npos) << used.err;
    auto out = Output("out.y4m");
    ASSERT_TRUE(out);
    EXPECT_LT(out->FrameCount(), 75 + 2 * kFrames - 12) << "the cut clip's promised length";
}

TEST_F(Cli, StatsAreWallClockAndBusyTimesNeverNegative) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    const Result r = Run({"render", a, b, "-o", P("out.webm"), "--frames", "10", "--stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.err.substr(r.err.find("time:")));
    std::string line;
    double wall = -1;
    int lines = 0;
    while (std::getline(in, line)) {
        const size_t s = line.rfind(" s");
        const size_t from = line.find_last_of(" :", s - 1);
        if (s == std::string::npos || from == std::string::npos) continue;
        const double value = std::atof(line.c_str() + from + 1);
        if (wall < 0) wall = value;
        EXPECT_GE(value, 0) << line;
        EXPECT_LE(value, wall + 0.001) << line;
        lines++;
    }
    EXPECT_GE(lines, 5) << r.err;
}

// Clips of other proportions sit in the middle of the first clip's frame with black around them.
TEST_F(Cli, ASquareClipIsPillarboxed) {
    FourColumns();
    const std::string a = MakeClip("a.mp4", Pattern::Bars);
    ASSERT_TRUE(bw::media::test::Ffmpeg("-f lavfi -i color=c=white:s=96x96:r=25:d=2 -c:v libx264 " + P("sq.mp4")));
    ASSERT_EQ(Run({"render", a, P("sq.mp4"), "-o", P("out.y4m"), "--frames", "6", "--quiet"}).status, 0);
    auto out = Output("out.y4m");
    ASSERT_TRUE(out);
    VideoFrame f;
    AudioBlock audio;
    ASSERT_TRUE(out->ReadFrame(out->FrameCount() - 1, kW, kH, true, f, audio).Ok());
    EXPECT_LT(f.Row(kH / 2)[4 * 10 + 2], 30) << "left bar";
    EXPECT_LT(f.Row(kH / 2)[4 * (kW - 10) + 2], 30) << "right bar";
    EXPECT_GT(f.Row(kH / 2)[4 * (kW / 2) + 2], 220) << "the clip";
}
}  // namespace

namespace {
// --- Values out of range in a preferences file ---
// The saved default as another program might leave it: in the file's format, with `spoil` applied.
void SaveSpoiled(void (*spoil)(PluginDataRec& c)) {
    PluginDataRec rec{};
    ResetConfig(&rec, true);
    spoil(rec);
    MakePrefsFile();
    ASSERT_TRUE(SaveConfig(&rec));
    DisposePtr(reinterpret_cast<Ptr>(rec.Rects));
}

TEST_F(Cli, PrefsOutOfRangeAreRefusedOrUsedAsTheDialogShowsThem) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    SaveSpoiled([](PluginDataRec& c) {
        c.Sliders[1] = 0;
        c.Sliders[3] = 255;
        c.Method = 200;
        c.StartRel = RelRect{0.8, 0.2, 0, 1};
    });
    fs::copy_file(P("config/kpblk-Prefs"), P("bad.prefs"));
    const std::string bad = P("bad.prefs");
    // Given by name: refused, naming the field and its value.
    const Result given = Run({"render", a, b, "-o", P("o.y4m"), "--settings", bad});
    EXPECT_EQ(given.status, 7) << given.err;
    EXPECT_EQ(given.err, "blockwaves: " + bad + ": method is 200, not 1..41; not used\n");
    EXPECT_FALSE(fs::exists(P("o.y4m")));
    const Result imported = Run({"prefs", "import", bad});
    EXPECT_EQ(imported.status, 7) << imported.err;
    EXPECT_EQ(imported.err, "blockwaves: " + bad + ": method is 200, not 1..41; not used\n");
    // The saved default: rendered with the dialog's values, said once.
    std::string plan;
    const Result first = Run({"render", a, b, "-o", "null", "--frames", "8", "--dry-run"}, &plan);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "blockwaves: " + P("config/kpblk-Prefs") +
                             ": method is 200, not 1..41; the nearest values the settings dialog allows are used instead\n");
    EXPECT_NE(plan.find("method 41, 1x50 tiles, tile duration 100 %, randomized on, color #0000FF, rect 0,0,1,1\n"),
              std::string::npos)
        << plan;
    const Result again = Run({"render", a, b, "-o", "null", "--frames", "8", "--dry-run"}, &plan);
    EXPECT_EQ(again.err, "");
    EXPECT_NE(plan.find("method 41, 1x50 tiles"), std::string::npos) << plan;
}

// --- A full disk (a tiny file system of its own, where user namespaces allow one) ---
// Runs `script` with FULL a folder on a full file system; its output and status.
Result OnAFullDisk(const std::string& script, const std::string& scratch) {
    const std::string full = scratch + "/full";
    fs::create_directories(full);
    Result r;
    if (std::system(("unshare -rm sh -c 'mount -t tmpfs -o size=8k tmpfs " + full + "' >/dev/null 2>&1").c_str()) != 0) {
        r.status = 99;
        return r;
    }
    const std::string command = "unshare -rm sh -c 'mount -t tmpfs -o size=8k tmpfs " + full +
                                " || exit 99; head -c 100000 /dev/zero > " + full + "/fill 2>/dev/null; FULL=" + full +
                                "; " + script + "' 2>&1";
    if (FILE* p = popen(command.c_str(), "r")) {
        char chunk[512];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;) r.err.append(chunk, n);
        const int status = pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return r;
}

TEST_F(Cli, AFullDiskLeavesNoFileAndSaysSoPlainly) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    const std::string program = BW_TEST_PROGRAM;
    const Result exported =
        OnAFullDisk(program + " prefs export $FULL/my.prefs; echo status $?; ls -A $FULL", dir_.string());
    if (exported.status == 99) GTEST_SKIP() << "no file system of our own here (user namespaces)";
    EXPECT_NE(exported.err.find("cannot write " + P("full/my.prefs") + ": No space left on device\nstatus 5\nfill\n"),
              std::string::npos)
        << exported.err;
    for (const char* command : {"sheet", "thumbnail"}) {
        const Result r = OnAFullDisk(program + " " + command + " " + a + " " + b +
                                         " --frames 6 -o $FULL/s.png; echo status $?; ls -A $FULL",
                                     dir_.string());
        EXPECT_NE(r.err.find("blockwaves: " + P("full/s.png") + ": no space left on the device while writing it\n"
                                                                "status 5\nfill\n"),
                  std::string::npos)
            << command << ": " << r.err;
        EXPECT_EQ(r.err.find("libpng"), std::string::npos) << r.err;
    }
}

// --- What the plan and the pictures say ---
TEST_F(Cli, ThePlanNamesStandardInputAndWhereATrimReallyStarts) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    std::string plan;
    // 40 frames at 25 a second: 1.59 s is in the last frame, 1.56 to 1.60.
    const Result r = Run({"render", "-ss", "1.59", "-", b, "-o", "null", "--frames", "1", "--dry-run"}, &plan, a);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(plan.find("clip standard input: frames 0..0 of 1 (0:01.56 to 0:01.60 in the file)\n"), std::string::npos)
        << plan;
    const Result noSound = Run({"render", a, b, "-o", P("o.mkv"), "--frames", "5", "--dry-run", "-an"}, &plan);
    ASSERT_EQ(noSound.status, 0) << noSound.err;
    EXPECT_EQ(plan.find("sound"), std::string::npos) << plan;
}

TEST_F(Cli, WithoutSoundTheOutputHasNoSoundTrack) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    for (const bool an : {false, true}) {
        std::vector<std::string> args = {"render", a, b, "-o", P("o.mkv"), "--frames", "5", "--quiet", "-y"};
        if (an) args.push_back("-an");
        ASSERT_EQ(Run(args).status, 0);
        auto out = Output("o.mkv");
        ASSERT_TRUE(out);
        EXPECT_EQ(out->HasAudio(), !an);
    }
}

TEST_F(Cli, ASheetOfOneFrameClipsSaysItsRealLength) {
    GeneratorSettings one = Clip(Pattern::Bars);
    one.FrameCount = 1;
    ASSERT_TRUE(WriteGeneratedClip(P("a.mp4"), one).Ok());
    one.Kind = Pattern::Gradient;
    ASSERT_TRUE(WriteGeneratedClip(P("b.mp4"), one).Ok());
    const Result r = Run({"sheet", P("a.mp4"), P("b.mp4"), "-o", P("s.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the transition (1 frame) at 0, 10"), std::string::npos) << r.err;
}

TEST_F(Cli, AnOutputThatIsALinkIsWrittenThroughIt) {
    const std::string a = MakeClip("a.mp4", Pattern::Bars), b = MakeClip("b.mp4", Pattern::Gradient);
    fs::create_directories(P("real"));
    std::ofstream(P("real/o.y4m")) << "older";
    std::ofstream(P("real/s.png")) << "older";
    fs::create_symlink("real/o.y4m", P("o.y4m"));
    fs::create_symlink(P("real/s.png"), P("s.png"));
    ASSERT_EQ(Run({"render", a, b, "-o", P("o.y4m"), "--frames", "5", "-y", "--quiet"}).status, 0);
    ASSERT_EQ(Run({"sheet", a, b, "-o", P("s.png"), "--frames", "5", "-y", "--quiet"}).status, 0);
    for (const char* name : {"o.y4m", "s.png"}) {
        EXPECT_TRUE(fs::is_symlink(P(name))) << name;
        EXPECT_GT(fs::file_size(P(std::string("real/") + name)), 100u) << name;
    }
}

// Words after -- are clips, even those starting with '-'; a list option before it takes one word.
TEST_F(Cli, ClipsAfterDoubleDashMayStartWithADash) {
    MakeClip("-lead.mp4", Pattern::Bars);
    const std::string b = MakeClip("b.mp4", Pattern::Gradient);
    const fs::path was = fs::current_path();
    fs::current_path(dir_);
    std::string plan;
    const Result r = Run({"render", "-o", "null", "--dry-run", "-ss", "0.4", "--frames", "5", "--", "-lead.mp4", b}, &plan);
    fs::current_path(was);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(plan.find("clip -lead.mp4: frames 0..29 of 30 (0:00.40 to"), std::string::npos) << plan;
}
}  // namespace
