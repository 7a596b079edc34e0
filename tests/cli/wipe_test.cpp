// The tile field as a wipe map: the fit of levels and softness, each editor's grey, the file, the
// install folders, and the proof: melt's luma transition with a map and its printed softness
// renders what our own render does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/program_runner.h"
#include "editor/cli/wipe.h"
#include "engine/pixeleffect.h"
#include "imaging/commonprocs.h"
#include "platform/PNGWriter.h"

namespace {
namespace fs = std::filesystem;
using namespace bw;

PluginDataRec Settings(RectField& field, int16_t method, int16_t columns, int16_t rows, int16_t duration) {
    PluginDataRec c{};
    c.Rects = &field;
    c.Method = method;
    c.Sliders[1] = columns;
    c.Sliders[2] = rows;
    c.Sliders[3] = duration;
    c.RandomizedDuration = false;
    c.StartRel = RelRect{0, 1, 0, 1};
    return c;
}

// Method 30 on 2 x 2 tiles over 20 frames: starts 0, 2, 5, 7, each 10 frames long. Half the
// transition changing: softness 1, and the levels are the starts over the 10 frames they spread on.
TEST(Wipe, FieldOfTheEngineBecomesLevelsAndSoftness) {
    static RectField field;
    PluginDataRec c = Settings(field, 30, 2, 2, 100);
    int columns = 0, rows = 0;
    const std::vector<TileSpan> spans = FieldSpans(c, 20, columns, rows);
    ASSERT_EQ(columns, 2);
    ASSERT_EQ(rows, 2);
    const double starts[] = {0, 0.1, 0.25, 0.35};
    for (int i = 0; i < 4; i++) {
        EXPECT_DOUBLE_EQ(spans[i].Start, starts[i]) << i;
        EXPECT_DOUBLE_EQ(spans[i].End, starts[i] + 0.5) << i;
    }
    const WipeFit fit = FitWipe(spans);
    EXPECT_DOUBLE_EQ(fit.Width, 0.5);
    EXPECT_DOUBLE_EQ(fit.Softness, 1.0);
    EXPECT_NEAR(fit.WorstError, 0.0, 1e-12);
    const double levels[] = {0, 0.2, 0.5, 0.7};
    for (int i = 0; i < 4; i++) EXPECT_NEAR(fit.Levels[i], levels[i], 1e-12) << i;
}

// Tiles of different lengths keep their middles: the error is half the difference from the mean.
// Levels past either end are held at 0 and 1; OpenShot's width is its own.
TEST(Wipe, FitKeepsMiddlesAndHoldsTheEnds) {
    struct Case {
        std::vector<TileSpan> spans;
        double width;  // 0: the mean
        double fitWidth, softness, worst;
        std::vector<double> levels;
    };
    const Case cases[] = {
        {{{0, 0.5}, {0.5, 0.7}}, 0, 0.35, 0.35 / 0.65, 0.075, {0.075 / 0.65, 0.425 / 0.65}},
        {{{-0.1, 0.2}, {0.9, 1.2}}, 0, 0.3, 0.3 / 0.7, 0.2, {0, 1}},
        {{{0, 0.25}, {0.5, 0.75}}, 0.5, 0.5, 1, 0.25, {0, 0.75}},
        {{{0.1, 1.1}}, 0, 0.95, 19, 0.1, {1.0}},  // the widest a map keeps an order at
    };
    for (const Case& c : cases) {
        const WipeFit fit = FitWipe(c.spans, c.width);
        EXPECT_NEAR(fit.Width, c.fitWidth, 1e-12);
        EXPECT_NEAR(fit.Softness, c.softness, 1e-9);
        EXPECT_NEAR(fit.WorstError, c.worst, 1e-12);
        ASSERT_EQ(fit.Levels.size(), c.levels.size());
        for (size_t i = 0; i < c.levels.size(); i++) EXPECT_NEAR(fit.Levels[i], c.levels[i], 1e-12) << i;
    }
}

// PGM editors floor to 16 bits (a tile never starts after its frame), OBS to 8; OpenShot's grey is
// the one its contrast 3 (x 1.02362 about 128) turns into the level.
TEST(Wipe, EachEditorsGrey) {
    struct Case {
        WipeEditor editor;
        double level;
        uint16_t grey;
    } const cases[] = {
        {WipeEditor::Mlt, 0, 0},
        {WipeEditor::Mlt, 0.5, 32767},
        {WipeEditor::Kdenlive, 1, 65535},
        {WipeEditor::Shotcut, 1.5, 65535},
        {WipeEditor::Obs, 0.5, 127},
        {WipeEditor::Obs, 1, 255},
        {WipeEditor::OpenShot, 0, 3},
        {WipeEditor::OpenShot, 0.5, 128},
        {WipeEditor::OpenShot, 1, 252},
    };
    for (const Case& c : cases) EXPECT_EQ(EditorGrey(c.editor, c.level), c.grey) << int(c.editor) << " " << c.level;
}

// Tiles cut the whole frame as the engine's do; outside the active area the map is the last level.
TEST(Wipe, PixelsFollowTheTilesAndTheActiveArea) {
    static RectField field;
    PluginDataRec c = Settings(field, 3, 2, 1, 50);
    WipeFit fit;
    fit.Levels = {0, 0.5};
    EXPECT_EQ(WipePixels(c, fit, WipeEditor::Mlt, 5, 1), (std::vector<uint16_t>{0, 0, 32767, 32767, 32767}));
    c.StartRel = RelRect{0.4, 1, 0, 1};
    EXPECT_EQ(WipePixels(c, fit, WipeEditor::Mlt, 5, 1), (std::vector<uint16_t>{65535, 65535, 32767, 32767, 32767}));
    fit.Levels = {0};  // not the field's count: nothing painted
    EXPECT_EQ(WipePixels(c, fit, WipeEditor::Obs, 2, 1), (std::vector<uint16_t>{255, 255}));
}

TEST(Wipe, PgmIsSixteenBitBigEndianAndLeavesNothingOnFailure) {
    const fs::path dir = fs::temp_directory_path() / ("bw-wipe-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "m.pgm").string();
    ASSERT_FALSE(WritePgm16(path, 3, 1, {0, 0x8001, 0xFFFF}));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, std::string("P5\n3 1\n65535\n\x00\x00\x80\x01\xFF\xFF", 19));
    const Failure f = WritePgm16((dir / "none" / "m.pgm").string(), 1, 1, {0});
    EXPECT_EQ(f.status, kExitOutput);
    EXPECT_FALSE(fs::exists(dir / "none"));
    fs::remove_all(dir);
}

TEST(Wipe, InstallFolders) {
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", "/h", 1);
    unsetenv("XDG_DATA_HOME");
    struct Case {
        WipeEditor editor;
        int width, height;
        const char* folder;
    } const cases[] = {
        {WipeEditor::Kdenlive, 1920, 1080, "/h/.local/share/kdenlive/lumas/HD"},
        {WipeEditor::Kdenlive, 1080, 1920, "/h/.local/share/kdenlive/lumas/VERTICAL"},
        {WipeEditor::Kdenlive, 1000, 1000, "/h/.local/share/kdenlive/lumas/SQUARE"},
        {WipeEditor::Kdenlive, 720, 480, "/h/.local/share/kdenlive/lumas/NTSC"},
        {WipeEditor::Kdenlive, 720, 576, "/h/.local/share/kdenlive/lumas/PAL"},
        {WipeEditor::Kdenlive, 1440, 1080, "/h/.local/share/kdenlive/lumas/PAL"},
        {WipeEditor::OpenShot, 1920, 1080, "/h/.openshot_qt/transitions"},
        {WipeEditor::Obs, 1920, 1080, ""},
        {WipeEditor::Shotcut, 1920, 1080, ""},
        {WipeEditor::Mlt, 1920, 1080, ""},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_EQ(InstallFolder(c.editor, c.width, c.height, reason), c.folder);
        EXPECT_EQ(reason.empty(), *c.folder != 0) << c.folder;
    }
    setenv("XDG_DATA_HOME", "/x", 1);
    std::string reason;
    EXPECT_EQ(InstallFolder(WipeEditor::Kdenlive, 1920, 1080, reason), "/x/kdenlive/lumas/HD");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", home.c_str(), 1);
}

// --- The proof: melt's luma with our map against our own render ---

constexpr int kW = 320, kH = 180, kFrames = 66, kLead = 10;

// Two pictures that differ everywhere: colour ramps and their negative.
void WriteClips(const fs::path& dir) {
    for (int k = 0; k < 2; k++) {
        GWorldPtr gw = AllocateGWorld(kW, kH);
        PixMapHandle pm = GetGWorldPixMap(gw);
        for (int y = 0; y < kH; y++) {
            auto* row = reinterpret_cast<PixRec*>(GetPixBaseAddr(pm) + size_t(y) * GetPixRowBytes(pm));
            for (int x = 0; x < kW; x++) {
                const uint8_t r = uint8_t(x * 255 / (kW - 1)), g = uint8_t(y * 255 / (kH - 1)), b = uint8_t(40 + (x + y) % 60);
                row[x] = k == 0 ? PixRec{255, r, g, b} : PixRec{255, uint8_t(255 - r), uint8_t(255 - g), uint8_t(255 - b)};
            }
        }
        ASSERT_TRUE(WriteGWorldPNG(gw, (dir / (k == 0 ? "a.png" : "b.png")).string()));
        DisposeGWorld(gw);
    }
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

double Psnr(const uint8_t* x, const uint8_t* y, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; i++) sum += (double(x[i]) - y[i]) * (double(x[i]) - y[i]);
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

// How far each tile of a frame has gone from A to B (0..1), over its inner pixels.
std::vector<double> TileProgress(const uint8_t* frame, const uint8_t* a, const uint8_t* b, int columns, int rows) {
    std::vector<double> progress;
    for (int y = 1; y <= rows; y++)
        for (int x = 1; x <= columns; x++) {
            double num = 0, den = 0;
            for (int py = TileEdge(y - 1, kH, rows) + 2; py < TileEdge(y, kH, rows) - 2; py++)
                for (int px = TileEdge(x - 1, kW, columns) + 2; px < TileEdge(x, kW, columns) - 2; px++)
                    for (int ch = 0; ch < 3; ch++) {
                        const size_t i = (size_t(py) * kW + px) * 3 + ch;
                        num += (double(frame[i]) - a[i]) * (double(b[i]) - a[i]);
                        den += (double(b[i]) - a[i]) * (double(b[i]) - a[i]);
                    }
            progress.push_back(den > 0 ? num / den : 0);
        }
    return progress;
}

int Shell(const fs::path& dir, const std::string& command) {
    const std::string line = "cd '" + dir.string() + "' && { " + command + " ; } >> log.txt 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The orderings held to melt: BW_WIPE_METHODS=all (scripts/wipe-psnr.sh) measures every one, or a
// list such as 22,38.
std::vector<int> MeltMethods() {
    const char* env = std::getenv("BW_WIPE_METHODS");
    std::vector<int> methods;
    if (env && std::string(env) == "all") {
        for (int m = 1; m <= cMethodCount; m++) methods.push_back(m);
    } else if (env && *env) {
        std::stringstream list(env);
        for (std::string m; std::getline(list, m, ',');) methods.push_back(std::atoi(m.c_str()));
    } else {
        // columns with jitter, a spiral, column order; a chevron with tiles that start
        // before the transition and rows meeting in the middle with tiles that end after it.
        methods = {3, 29, 31, 22, 38};
    }
    return methods;
}

// Per frame, melt's luma with the map and the softness `blockwaves wipe` printed stays above
// kMinPsnr against our render (measured: 28.6 dB at the lowest, method 29; medians 33 to 36 dB).
// What is left is MLT easing every change with smoothstep where the engine's is linear: up to
// 9.6 % of the two pictures' difference a quarter and three quarters into a change, and these
// clips differ by much (one is the other's negative). Tiles the engine starts before the
// transition or ends after it (held inside it by the map) differ more, and only there: for such
// fields the tile order is checked and the PSNR reported.
constexpr double kMinPsnr = 27.0;

TEST(WipeMelt, LumaWithTheMapRendersOurOrdering) {
    const fs::path dir = fs::temp_directory_path() / ("bw-wipe-melt-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    WriteClips(dir);
    std::ofstream(dir / "profile") << "description=320x180 25p\nwidth=320\nheight=180\nframe_rate_num=25\n"
                                      "frame_rate_den=1\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                      "display_aspect_num=16\ndisplay_aspect_den=9\ncolorspace=709\n";
    ASSERT_EQ(Shell(dir,
                    "ffmpeg -loglevel error -y -i a.png -f rawvideo -pix_fmt rgb24 a.rgb && "
                    "ffmpeg -loglevel error -y -i b.png -f rawvideo -pix_fmt rgb24 b.rgb"),
              0);
    const std::vector<uint8_t> aRgb = ReadBytes(dir / "a.rgb"), bRgb = ReadBytes(dir / "b.rgb");
    const size_t frameBytes = size_t(kW) * kH * 3;
    ASSERT_EQ(aRgb.size(), frameBytes);

    for (const int method : MeltMethods()) {
        SCOPED_TRACE("method " + std::to_string(method));
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        const std::vector<std::string> settings = {
            "--frames", std::to_string(kFrames), "--method", std::to_string(method), "--grid", "16x9",
            "--tile-duration", "50", "--randomized", "off", "--rect", "0,0,1,1"};
        const auto run = [&](std::vector<std::string> args) {
            args.insert(args.end(), settings.begin(), settings.end());
            return bw::cli::test::RunForked(std::move(args), dir.string());
        };
        const bw::cli::test::Outcome advice =
            run({"wipe", "-y", "--quiet", "--size", "320x180", "-o", (dir / "map.pgm").string()});
        ASSERT_EQ(advice.status, 0) << advice.err;
        std::istringstream said(advice.out);
        std::string word;
        double softness = -1;
        said >> word >> softness;
        ASSERT_EQ(word, "softness");
        ASSERT_GE(softness, 0);
        fs::remove_all(dir / "ours");
        fs::create_directories(dir / "ours");
        const bw::cli::test::Outcome rendered = run({"render", (dir / "a.png").string(), (dir / "b.png").string(), "-y",
                                                     "--quiet", "--transition-only", "-o", (dir / "ours/%05d.png").string()});
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        ASSERT_EQ(Shell(dir, "ffmpeg -loglevel error -y -i ours/%05d.png -f rawvideo -pix_fmt rgb24 ours.rgb"), 0);
        char soft[32];
        std::snprintf(soft, sizeof soft, "%.6f", softness);
        ASSERT_EQ(Shell(dir, "melt -quiet -profile profile a.png out=" + std::to_string(kLead + kFrames - 1) +
                                 " -track -blank " + std::to_string(kLead - 1) + " b.png out=" +
                                 std::to_string(kFrames - 1) + " -transition luma in=" + std::to_string(kLead) +
                                 " out=" + std::to_string(kLead + kFrames - 1) +
                                 " a_track=0 b_track=1 resource=map.pgm softness=" + soft +
                                 " -consumer avformat:melt.rgb f=rawvideo vcodec=rawvideo pix_fmt=rgb24 real_time=-1 "
                                 "threads=1"),
                  0);
        const std::vector<uint8_t> ours = ReadBytes(dir / "ours.rgb"), melt = ReadBytes(dir / "melt.rgb");
        ASSERT_EQ(ours.size(), frameBytes * kFrames);
        ASSERT_GE(melt.size(), frameBytes * (kLead + kFrames));

        static RectField field;
        PluginDataRec c = Settings(field, int16_t(method), 16, 9, 50);
        int columns = 0, rows = 0;
        const std::vector<TileSpan> spans = FieldSpans(c, kFrames, columns, rows);
        const bool inside = std::all_of(spans.begin(), spans.end(), [](TileSpan t) { return t.Start >= 0 && t.End <= 1; });
        std::vector<double> psnr;
        for (int k = 0; k < kFrames; k++)
            psnr.push_back(Psnr(&ours[k * frameBytes], &melt[(kLead + k) * frameBytes], frameBytes));
        std::vector<double> sorted = psnr;
        std::sort(sorted.begin(), sorted.end());
        std::printf("method %2d: PSNR min %.1f median %.1f dB (frame %ld lowest)%s\n", method, sorted.front(),
                    sorted[sorted.size() / 2], long(std::min_element(psnr.begin(), psnr.end()) - psnr.begin()),
                    inside ? "" : ", tiles outside the transition");
        for (int k = 0; k < kFrames && inside; k++) EXPECT_GT(psnr[k], kMinPsnr) << "frame " << k;
        for (const int k : {kFrames / 4, kFrames / 2, 3 * kFrames / 4}) {
            const std::vector<double> mine = TileProgress(&ours[k * frameBytes], aRgb.data(), bRgb.data(), columns, rows);
            const std::vector<double> theirs =
                TileProgress(&melt[(kLead + k) * frameBytes], aRgb.data(), bRgb.data(), columns, rows);
            int differ = 0;
            for (size_t t = 0; t < mine.size(); t++)
                if (std::abs(mine[t] - 0.5) > 0.05 && (mine[t] > 0.5) != (theirs[t] > 0.5)) differ++;
            EXPECT_EQ(differ, 0) << "tiles past half way differ at frame " << k;
        }
    }
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
