// The MLT module from the build tree in melt: two generated clips (lossless), the transition over
// 50 frames, the consumer taking yuv422, yuv420p or rgba; frames read back as raw video and held
// to melt's own rendering of each clip alone (first frame clip A, last clip B, bit for bit) and
// to the engine's frame for the same settings in between.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/planarcompose.h"
#include "tests/frei0r/f0r_testutil.h"

namespace fs = std::filesystem;
using f0rtest::HostPicture;

namespace {
// Timeline: clip A 0..59 on track 0; clip B from frame 5 on track 1; the transition 5..54.
constexpr int kFrames = 60, kIn = 5, kOut = 54;
const char* const kParams = "method=12 columns=16 rows=9 tile_duration=50 randomized=1 seed=15000";
const TileSettings kSettings = f0rtest::Settings(12, 16, 9, 50, true, 15000);

struct Case {
    const char* mltFormat;  // what the consumer asks MLT for
    const char* pixFmt;     // what it writes: the same layout, so the file holds MLT's own bytes
    int wid, hig;
    size_t FrameBytes() const {
        const size_t w = size_t(wid), h = size_t(hig);
        const std::string f = mltFormat;
        return f == "rgba" ? w * h * 4 : f == "yuv422" ? w * h * 2
                                                       : w * h + 2 * (w / 2) * (h / 2);
    }
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.mltFormat << " " << c.wid << "x" << c.hig; }

class MeltModule : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const Case c = GetParam();
        dir = fs::temp_directory_path() /
              ("bw-mlt-" + std::to_string(::getpid()) + "-" + c.mltFormat + "-" + std::to_string(c.wid));
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "profile") << "description=test\nwidth=" << c.wid << "\nheight=" << c.hig
                                       << "\nframe_rate_num=25\nframe_rate_den=1\nprogressive=1\n"
                                          "sample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num="
                                       << c.wid << "\ndisplay_aspect_den=" << c.hig << "\ncolorspace=601\n";
    }
    void TearDown() override {
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir, ec);
    }
    int Run(const std::string& command) {
        const std::string line = "cd '" + dir.string() + "' && { " + command + " ; } >> log.txt 2>&1";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Log() {
        std::ifstream in(dir / "log.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // melt with our module beside the system's; sanitizer builds preload the runtime it needs.
    std::string Melt(const std::string& tracks, const char* output) {
        const Case c = GetParam();
        std::string env = "MLT_REPOSITORY='" BW_TEST_MLT_DIR "/modules' MLT_DATA='" BW_TEST_MLT_DIR "/data' ";
#ifdef BW_TEST_HOST_PRELOAD
        env += "LD_PRELOAD='" BW_TEST_HOST_PRELOAD "' ASAN_OPTIONS=detect_leaks=0 ";
#endif
        return env + "timeout 300 melt -quiet -profile profile " + tracks + " -consumer avformat:" + output +
               " f=rawvideo vcodec=rawvideo pix_fmt=" + c.pixFmt + " mlt_image_format=" + c.mltFormat +
               " an=1 real_time=-1";
    }
    std::vector<std::vector<uint8_t>> ReadFrames(const char* name) {
        const size_t bytes = GetParam().FrameBytes();
        std::ifstream in(dir / name, std::ios::binary);
        std::vector<std::vector<uint8_t>> frames;
        std::vector<uint8_t> f(bytes);
        while (in.read(reinterpret_cast<char*>(f.data()), std::streamsize(bytes))) frames.push_back(f);
        EXPECT_EQ(in.gcount(), 0) << name << ": a part frame at the end";
        return frames;
    }
    fs::path dir;
};

HostPicture AsHost(const std::vector<uint8_t>& rgba) {
    HostPicture p(rgba.size() / 4);
    std::memcpy(p.data(), rgba.data(), rgba.size());
    return p;
}

// The engine's frame of a YUV case: the planar composer on the clips' frames as melt wrote them.
std::vector<uint8_t> PlanarEngineFrame(const Case& c, const TileSettings& s, const std::vector<uint8_t>& a,
                                       const std::vector<uint8_t>& b) {
    std::vector<uint8_t> out = a;
    auto picture = [&](const std::vector<uint8_t>& bytes) {
        auto* data = const_cast<uint8_t*>(bytes.data());
        const size_t luma = size_t(c.wid) * size_t(c.hig);
        if (std::string(c.mltFormat) == "yuv422")
            return PlanarPicture{{data, nullptr, nullptr}, {c.wid * 2, 0, 0}, c.wid, c.hig, PlanarFormat::YUYV, 8, YuvMatrix::BT601, false};
        return PlanarPicture{{data, data + luma, data + luma + luma / 4}, {c.wid, c.wid / 2, c.wid / 2}, c.wid, c.hig, PlanarFormat::YUV420, 8, YuvMatrix::BT601, false};
    };
    const PlanarPicture pa = picture(a), pb = picture(b), po = picture(out);
    PluginDataRec config{};
    ResetConfig(&config, false);
    config.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    int32_t first, last;
    LayOutTiles(s, c.wid, c.hig, config, first, last);
    EXPECT_TRUE(ComposePlanarByTiles(&pa, &pb, po, config, TileProgressFrame(s.Progress, first, last)));
    DisposePtr(reinterpret_cast<Ptr>(config.Rects));
    return out;
}

// First byte where x and y differ among their first n, or -1.
long FirstDifference(const std::vector<uint8_t>& x, const std::vector<uint8_t>& y, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (x[i] != y[i]) return long(i);
    return -1;
}

TEST_P(MeltModule, FirstFrameIsClipAAndLastClipBExactlyAndBetweenTheEngines) {
    const Case c = GetParam();
    const std::string size = std::to_string(c.wid) + "x" + std::to_string(c.hig);
    ASSERT_EQ(Run("ffmpeg -v error -f lavfi -i testsrc=size=" + size + ":rate=25 -frames:v 60 -c:v ffv1 "
                                                                       "-pix_fmt yuv444p a.mkv && ffmpeg -v error -f lavfi -i testsrc2=size=" +
                  size + ":rate=25 "
                         "-frames:v 60 -c:v ffv1 -pix_fmt yuv444p b.mkv"),
              0)
        << Log();
    ASSERT_EQ(Run(Melt("a.mkv in=0 out=59", "a.raw")), 0) << Log();
    ASSERT_EQ(Run(Melt("b.mkv in=0 out=54", "b.raw")), 0) << Log();
    ASSERT_EQ(Run(Melt("a.mkv in=0 out=59 -track -blank " + std::to_string(kIn - 1) +
                           " b.mkv in=0 out=54 -transition blockwaves in=" + std::to_string(kIn) +
                           " out=" + std::to_string(kOut) + " a_track=0 b_track=1 " + kParams,
                       "out.raw")),
              0)
        << Log();
    const auto a = ReadFrames("a.raw"), b = ReadFrames("b.raw"), out = ReadFrames("out.raw");
    ASSERT_EQ(out.size(), size_t(kFrames));
    ASSERT_EQ(a.size(), size_t(kFrames));
    ASSERT_EQ(b.size(), size_t(kFrames - kIn));
    EXPECT_TRUE(out[kIn - 1] == a[kIn - 1]) << "the frame before the transition";
    EXPECT_TRUE(out[kIn] == a[kIn]) << "the first frame of the transition is not clip A's";
    EXPECT_TRUE(out[kOut] == b[kOut - kIn]) << "the last frame of the transition is not clip B's";
    EXPECT_FALSE(out[kIn + 1] == a[kIn + 1]) << "the second frame is still clip A";
    EXPECT_FALSE(out[kOut - 1] == b[kOut - kIn - 1]) << "the last but one frame is clip B already";
    // MLT 7.12's avformat consumer reads the V plane of yuv420p from the wrong place (its
    // mlt_image_format_planes adds w/2 + h/2 for (w/2) x (h/2)): of that format the file holds
    // MLT's Y and U planes only.
    const std::string format = c.mltFormat;
    const size_t compared = format == "yuv420p" ? size_t(c.wid) * c.hig * 5 / 4 : c.FrameBytes();
    for (int t : {kIn + 1, 20, 30, 42, kOut - 1}) {
        TileSettings s = kSettings;
        s.Progress = double(t - kIn) / double(kOut - kIn);
        if (format == "rgba") {
            const HostPicture expected = f0rtest::EngineFrame(s, AsHost(a[t]), AsHost(b[t - kIn]), c.wid, c.hig);
            EXPECT_EQ(f0rtest::FirstDifference(AsHost(out[t]), expected), -1) << "frame " << t;
        } else {
            EXPECT_EQ(FirstDifference(out[t], PlanarEngineFrame(c, s, a[t], b[t - kIn]), compared), -1)
                << "frame " << t;
        }
    }
}

// Even sizes for MLT's YUV formats (at an odd width MLT shears them itself, with or without a
// transition); the odd one in RGBA.
INSTANTIATE_TEST_SUITE_P(Formats, MeltModule,
                         ::testing::Values(Case{"yuv422", "yuyv422", 320, 180}, Case{"yuv420p", "yuv420p", 320, 180},
                                           Case{"rgba", "rgba", 321, 181}),
                         [](const auto& info) { return std::string(info.param.mltFormat); });
}  // namespace
