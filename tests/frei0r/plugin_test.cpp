// blockwaves.so as a frei0r host drives it: what it reports, how its parameters map, and frames that
// depend on the settings, the progress and the two inputs alone.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <thread>

#include "tests/frei0r/f0r_testutil.h"
#include "tests/frei0r/kdenlive_check.h"

using namespace f0rtest;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kWid = 96, kHig = 64;

TEST(Frei0rPlugin, IsAnRgbaMixerWithItsParameters) {
    f0r_plugin_info_t info{};
    Plugin::Get().info(&info);
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_MIXER2);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    // The texts quote the limits the plug-in is built with.
    EXPECT_STREQ(info.explanation,
                 "Clip A gives way to clip B tile by tile: a grid of up to 100 x 100 tiles over "
                 "the active area, each changing on its own schedule in one of 41 orders");
    struct Quote {
        int index;
        const char* text;
    };
    const Quote quoting[] = {
        {kF0rMethod, "Tile ordering 1..41: 1 + round(value x 40)"},
        {kF0rColumns, "Tile columns 1..100: value x 100, rounded up (c columns: c / 100)"},
        {kF0rRows, "Tile rows 1..100: value x 100, rounded up (r rows: r / 100)"},
        {kF0rSeed, "Where the layout starts reading the random table, 0..29999: round(value x 29999)"}};
    for (const Quote& q : quoting) {
        f0r_param_info_t p{};
        Plugin::Get().paramInfo(&p, q.index);
        EXPECT_STREQ(p.explanation, q.text) << q.index;
    }
    ASSERT_EQ(info.num_params, kF0rParamCount);
    for (int i = 0; i < info.num_params; i++) {
        f0r_param_info_t p{};
        Plugin::Get().paramInfo(&p, i);
        ASSERT_NE(p.name, nullptr) << i;
        EXPECT_EQ(p.type, i == kF0rRandomized ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE) << p.name;
        ASSERT_NE(p.explanation, nullptr) << p.name;
    }
}

TEST(Frei0rPlugin, RefusesSizesTheEngineCannotHold) {
    for (unsigned size : {0u, 32768u, 70000u}) {
        EXPECT_EQ(Plugin::Get().construct(size, 8), nullptr) << size;
        EXPECT_EQ(Plugin::Get().construct(8, size), nullptr) << size;
    }
    for (unsigned size : {1u, 32767u}) {
        f0r_instance_t inst = Plugin::Get().construct(size, 1);
        EXPECT_NE(inst, nullptr) << size;
        Plugin::Get().destruct(inst);
    }
}

// Each parameter at both ends of 0..1 and beyond them.
struct MapCase {
    int index;
    double value, engine;
};
class Frei0rMapping : public ::testing::TestWithParam<MapCase> {};
TEST_P(Frei0rMapping, MapsEndsAndClampsHostileValues) {
    const MapCase c = GetParam();
    EXPECT_EQ(F0rMapParam(c.index, c.value), c.engine);
    // Through the plug-in: what it keeps is clamped to 0..1 and stands for the same engine value.
    f0r_instance_t inst = Plugin::Get().construct(16, 16);
    Plugin::Get().set(inst, const_cast<double*>(&c.value), c.index);
    double kept = kNaN;
    Plugin::Get().get(inst, &kept, c.index);
    EXPECT_GE(kept, 0.0);
    EXPECT_LE(kept, 1.0);
    EXPECT_EQ(F0rMapParam(c.index, kept), c.engine);
    Plugin::Get().destruct(inst);
}
INSTANTIATE_TEST_SUITE_P(
    EveryParameter, Frei0rMapping,
    ::testing::Values(MapCase{kF0rProgress, 0, 0}, MapCase{kF0rProgress, 1, 1}, MapCase{kF0rProgress, kNaN, 0},
                      MapCase{kF0rProgress, 2.0, 1}, MapCase{kF0rMethod, 0, 1}, MapCase{kF0rMethod, 1, 41},
                      MapCase{kF0rMethod, -1, 1}, MapCase{kF0rMethod, kNaN, 1}, MapCase{kF0rMethod, 0.5, 21},
                      MapCase{kF0rColumns, 0, 1}, MapCase{kF0rColumns, 1, 100}, MapCase{kF0rColumns, kInf, 100},
                      MapCase{kF0rRows, 0, 1}, MapCase{kF0rRows, 1, 100}, MapCase{kF0rRows, -kInf, 1},
                      MapCase{kF0rTileDuration, 0, 0}, MapCase{kF0rTileDuration, 1, 100},
                      MapCase{kF0rTileDuration, 2.0, 100}, MapCase{kF0rRandomized, 0.4999, 0},
                      MapCase{kF0rRandomized, 0.5, 1}, MapCase{kF0rRandomized, kNaN, 0},
                      MapCase{kF0rRandomized, 2.0, 1}, MapCase{kF0rSeed, 0, 0}, MapCase{kF0rSeed, 1, 29999},
                      MapCase{kF0rSeed, -1, 0}, MapCase{kF0rFrames, 0, 10}, MapCase{kF0rFrames, 1, 1000},
                      MapCase{kF0rFrames, kNaN, 10}, MapCase{kF0rLeft, 0, 0}, MapCase{kF0rRight, 1, 1},
                      MapCase{kF0rTop, -1, 0}, MapCase{kF0rBottom, 2.0, 1},
                      // Columns, rows and frames: n / factor is n, a hair above it too, more is the next.
                      MapCase{kF0rColumns, 0.5, 50}, MapCase{kF0rRows, 0.37, 37}, MapCase{kF0rColumns, 0.01, 1},
                      MapCase{kF0rColumns, 0.010009, 1}, MapCase{kF0rColumns, 0.010011, 2},
                      MapCase{kF0rRows, 0.009, 1}, MapCase{kF0rFrames, 0.1, 100}, MapCase{kF0rFrames, 0.009, 10},
                      MapCase{kF0rFrames, 0.0101, 11}, MapCase{kF0rSeed, 0.411514, 12345},
                      // What Kdenlive saved before: columns (n - 1) / 99 (50 as 0.494949), frames
                      // (n - 10) / 990 (100 as 0.090909, now 91).
                      MapCase{kF0rColumns, 0.494949, 50}, MapCase{kF0rRows, 0.010101, 2},
                      MapCase{kF0rFrames, 0.090909, 91}));

// Columns and rows saved with the mapping before this one, (n - 1) / 99 written with six decimals as
// Kdenlive writes it, still give n: old projects keep their grid.
TEST(Frei0rMapping, OldSavedColumnsAndRowsKeepTheirCount) {
    for (int n = 1; n <= 100; n++) {
        char saved[32];
        std::snprintf(saved, sizeof saved, "%f", (n - 1) / 99.0);
        EXPECT_EQ(F0rMapParam(kF0rColumns, std::atof(saved)), n) << saved;
        EXPECT_EQ(F0rMapParam(kF0rRows, std::atof(saved)), n) << saved;
    }
}

// Kdenlive's description, read as Kdenlive reads it: every number it shows is the one rendered.
TEST(Frei0rKdenlive, ShowsAndStoresWhatRenders) {
    const std::vector<kdenlive::Param> params = kdenlive::ReadDescription(BW_TEST_FREI0R_DIR "/frei0r_blockwaves.xml");
    ASSERT_EQ(params.size(), size_t(kF0rParamCount));
    // Fractions of the transition and of the frame show as percent.
    const std::set<std::string> percent = {"progress", "left", "top", "right", "bottom"};
    auto rendered = [&](const std::string& name, double stored) -> std::optional<double> {
        for (int i = 0; i < kF0rParamCount; i++) {
            F0rParamInfo info{};
            GetF0rParamInfo(i, info);
            if (name == info.Name) return F0rMapParam(i, stored) * (percent.count(name) ? 100 : 1);
        }
        return std::nullopt;
    };
    for (const std::string& wrong : kdenlive::CheckDescription(params, rendered)) ADD_FAILURE() << wrong;
    for (const std::string& wrong : kdenlive::CheckOrderingCount(BW_TEST_FREI0R_DIR "/frei0r_blockwaves.xml", params))
        ADD_FAILURE() << wrong;
}

TEST(Frei0rMapping, EveryStepOfEveryRangeIsReachable) {
    for (int i = 0; i < kF0rParamCount; i++) {
        const double low = F0rMapParam(i, 0), high = F0rMapParam(i, 1);
        if (high - low <= 1) continue;  // fractions and the switch
        for (double k = low; k <= high; k++) ASSERT_EQ(F0rMapParam(i, F0rUnitParam(i, k)), k) << i;
    }
}

TEST(Frei0rMapping, NewInstancesStartFromTheFactoryDefaults) {
    PluginDataRec factory{};
    ResetConfig(&factory, false);
    f0r_instance_t inst = Plugin::Get().construct(16, 16);
    double v[kF0rParamCount];
    for (int i = 0; i < kF0rParamCount; i++) Plugin::Get().get(inst, &v[i], i);
    const TileSettings s = F0rSettingsOf(v);
    EXPECT_EQ(s.Method, factory.Method);
    EXPECT_EQ(s.Columns, factory.Sliders[1]);
    EXPECT_EQ(s.Rows, factory.Sliders[2]);
    EXPECT_EQ(s.TileDuration, factory.Sliders[3]);
    EXPECT_EQ(s.Randomized, bool(factory.RandomizedDuration));
    EXPECT_EQ(std::memcmp(&s.Active, &factory.StartRel, sizeof(RelRect)), 0);
    EXPECT_EQ(s.Progress, 0);
    Plugin::Get().destruct(inst);
}

// Orderings of every family, with negative starts (21), starts shifted by the duration (28),
// changes within one frame (share 0) and random lengths.
const TileSettings kLayouts[] = {
    Settings(1, 50, 50, 50, true),
    Settings(2, 7, 5, 100, true),
    Settings(12, 16, 9, 0, false),
    Settings(21, 9, 7, 100, true),
    Settings(28, 10, 4, 100, true),
    Settings(38, 13, 11, 0, false),
    Settings(41, 3, 100, 100, true, 29999, 0.5, 10),
};

class Frei0rFrames : public ::testing::TestWithParam<TileSettings> {};
TEST_P(Frei0rFrames, ProgressZeroIsClipAAndOneIsClipBExactly) {
    const HostPicture a = Noise(kWid, kHig, 1), b = Noise(kWid, kHig, 2);
    f0r_instance_t inst = Plugin::Get().construct(kWid, kHig);
    TileSettings s = GetParam();
    s.Progress = 0;
    EXPECT_EQ(FirstDifference(Render(inst, s, a, b), a), -1);
    s.Progress = 1;
    EXPECT_EQ(FirstDifference(Render(inst, s, a, b), b), -1);
    Plugin::Get().destruct(inst);
}

TEST_P(Frei0rFrames, EqualsTheEngineOnTheSameFrames) {
    const HostPicture a = Noise(kWid, kHig, 3), b = Noise(kWid, kHig, 4);
    f0r_instance_t inst = Plugin::Get().construct(kWid, kHig);
    for (double progress : {0.25, 0.5, 0.8}) {
        TileSettings s = GetParam();
        s.Progress = progress;
        const HostPicture out = Render(inst, s, a, b);
        EXPECT_EQ(FirstDifference(out, EngineFrame(s, a, b, kWid, kHig)), -1) << progress;
        EXPECT_NE(FirstDifference(out, a), -1) << progress;
    }
    Plugin::Get().destruct(inst);
}
INSTANTIATE_TEST_SUITE_P(Layouts, Frei0rFrames, ::testing::ValuesIn(kLayouts));

TEST(Frei0rFrames, ActiveAreaOutsideShowsClipA) {
    const HostPicture a = Noise(kWid, kHig, 5), b = Noise(kWid, kHig, 6);
    TileSettings s = Settings(3, 8, 8, 50, false, 0, 1.0);
    s.Active = RelRect{0.25, 0.75, 0.5, 1.0};  // left, right, top, bottom
    f0r_instance_t inst = Plugin::Get().construct(kWid, kHig);
    const HostPicture out = Render(inst, s, a, b);
    for (int y = 0; y < kHig; y++)
        for (int x = 0; x < kWid; x++) {
            const bool inside = x >= kWid / 4 && x < kWid * 3 / 4 && y >= kHig / 2;
            ASSERT_EQ(out[size_t(y) * kWid + x], (inside ? b : a)[size_t(y) * kWid + x]) << x << "," << y;
        }
    Plugin::Get().destruct(inst);
}

TEST(Frei0rFrames, MissingInputsLeaveTheOtherOne) {
    const HostPicture a = Noise(kWid, kHig, 7);
    f0r_instance_t inst = Plugin::Get().construct(kWid, kHig);
    HostPicture out(a.size(), 0x12345678u);
    Plugin::Get().update2(inst, 0, nullptr, a.data(), nullptr, out.data());
    EXPECT_EQ(FirstDifference(out, a), -1);
    Plugin::Get().update2(inst, 0, nullptr, nullptr, nullptr, out.data());
    EXPECT_EQ(FirstDifference(out, HostPicture(a.size(), 0)), -1);
    Plugin::Get().destruct(inst);
}

// The plug-in composes the host's RGBA buffers as they are; the engine's own path converts them,
// composes in its order and converts back. Same bytes for every ordering, with inputs of any alpha,
// frames narrower than their grid, an active area inside the frame, and Out being A or B itself.
struct HostOrderCase {
    int wid, hig;
    int16_t columns, rows;
    RelRect active;  // left, right, top, bottom
};
class Frei0rHostOrder : public ::testing::TestWithParam<HostOrderCase> {};
TEST_P(Frei0rHostOrder, EqualsTheEngineOrderPathForEveryMethod) {
    const HostOrderCase c = GetParam();
    std::mt19937 rng(uint32_t(c.wid * 1000 + c.hig));
    HostPicture a(size_t(c.wid) * size_t(c.hig)), b(a.size());
    for (auto& px : a) px = rng();
    for (auto& px : b) px = rng();
    f0r_instance_t inst = Plugin::Get().construct(unsigned(c.wid), unsigned(c.hig));
    for (int16_t method = 1; method <= cMethodCount; method++)
        for (double progress : {0.2, 0.5, 0.85}) {
            TileSettings s = Settings(method, c.columns, c.rows, 60, true, int16_t(method * 7), progress, 40);
            s.Active = c.active;
            const HostPicture expected = EngineFrame(s, a, b, c.wid, c.hig);
            ASSERT_EQ(FirstDifference(Render(inst, s, a, b), expected), -1) << method << " at " << progress;
            HostPicture intoA = a, intoB = b;
            Plugin::Get().update2(inst, 0.0, intoA.data(), b.data(), nullptr, intoA.data());
            Plugin::Get().update2(inst, 0.0, a.data(), intoB.data(), nullptr, intoB.data());
            ASSERT_EQ(FirstDifference(intoA, expected), -1) << method << " at " << progress << " into A";
            ASSERT_EQ(FirstDifference(intoB, expected), -1) << method << " at " << progress << " into B";
        }
    Plugin::Get().destruct(inst);
}
INSTANTIATE_TEST_SUITE_P(
    Sizes, Frei0rHostOrder,
    ::testing::Values(HostOrderCase{1, 9, 7, 3, RelRect{0, 1, 0, 1}}, HostOrderCase{3, 5, 2, 9, RelRect{0, 1, 0.2, 1}},
                      HostOrderCase{17, 11, 5, 13, RelRect{0.1, 0.85, 0.2, 0.7}},
                      HostOrderCase{101, 37, 16, 3, RelRect{0.05, 0.9, 0.1, 0.95}}));

// A frame depends on its settings, progress and inputs only: not on what this instance or any other
// rendered or laid out before, nor on another thread rendering at the same time.
TEST(Frei0rDeterminism, SameFrameAfterDifferentHistories) {
    const HostPicture a = Noise(kWid, kHig, 8), b = Noise(kWid, kHig, 9);
    const TileSettings target = Settings(7, 12, 8, 80, true, 1234, 0.4);
    f0r_instance_t fresh = Plugin::Get().construct(kWid, kHig);
    const HostPicture expected = Render(fresh, target, a, b);

    f0r_instance_t busy = Plugin::Get().construct(kWid, kHig), other = Plugin::Get().construct(kWid, kHig);
    for (const TileSettings& s : kLayouts) {
        Render(busy, s, a, b);
        Render(other, Settings(2, 30, 30, 60, true, int16_t(s.Method * 100)), b, a);  // moves the table's cursor
    }
    EXPECT_EQ(FirstDifference(Render(busy, target, a, b), expected), -1);
    TileSettings seek = target;  // another frame in another active area
    seek.Progress = 0.9;
    seek.Active = RelRect{0.2, 0.8, 0.1, 0.6};
    EXPECT_EQ(FirstDifference(Render(busy, seek, a, b), EngineFrame(seek, a, b, kWid, kHig)), -1);
    EXPECT_EQ(FirstDifference(Render(busy, target, a, b), expected), -1);
    EXPECT_EQ(FirstDifference(Render(fresh, target, a, b), expected), -1);
    for (f0r_instance_t inst : {fresh, busy, other}) Plugin::Get().destruct(inst);
}

TEST(Frei0rDeterminism, TheSeedChoosesTheJitter) {
    const HostPicture a = Noise(kWid, kHig, 12), b = Noise(kWid, kHig, 13);
    f0r_instance_t inst = Plugin::Get().construct(kWid, kHig);
    const HostPicture first = Render(inst, Settings(1, 8, 8, 50, true, 0), a, b);
    EXPECT_NE(FirstDifference(Render(inst, Settings(1, 8, 8, 50, true, 1), a, b), first), -1);
    EXPECT_EQ(FirstDifference(Render(inst, Settings(1, 8, 8, 50, true, 0), a, b), first), -1);
    Plugin::Get().destruct(inst);
}

TEST(Frei0rDeterminism, TwoThreadsAtOnceRenderWhatOneDoes) {
    // Frames of one size, so the two instances share the buffers the engine keeps between frames.
    constexpr int wid = 320, hig = 240;
    const HostPicture a = Noise(wid, hig, 10), b = Noise(wid, hig, 11);
    const TileSettings s1 = Settings(17, 20, 12, 70, true, 77, 0.5), s2 = Settings(29, 9, 9, 40, true, 5000, 0.3);
    f0r_instance_t solo = Plugin::Get().construct(wid, hig);
    const HostPicture expected1 = Render(solo, s1, a, b), expected2 = Render(solo, s2, b, a);
    Plugin::Get().destruct(solo);

    std::atomic<int> mismatches{0};
    auto worker = [&](const TileSettings& s, const HostPicture& x, const HostPicture& y, const HostPicture& expected) {
        f0r_instance_t inst = Plugin::Get().construct(wid, hig);
        for (int i = 0; i < 40; i++) {
            TileSettings other = s;
            other.Seed = int16_t(s.Seed + 1 + i);  // a layout with other jitter between the frames
            Render(inst, other, x, y);
            if (FirstDifference(Render(inst, s, x, y), expected) != -1) mismatches++;
        }
        Plugin::Get().destruct(inst);
    };
    std::thread t1(worker, std::cref(s1), std::cref(a), std::cref(b), std::cref(expected1));
    std::thread t2(worker, std::cref(s2), std::cref(b), std::cref(a), std::cref(expected2));
    t1.join();
    t2.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// MLT's `threads` property: one instance of a band's height, every band of a frame on its own
// thread at once. The spirals rewrite the field and the grid while they lay out.
TEST(Frei0rDeterminism, BandsOfOneInstanceAtOnceRenderWhatOneDoes) {
    constexpr int wid = 320, band = 60, bands = 4;
    const HostPicture a = Noise(wid, band * bands, 14), b = Noise(wid, band * bands, 15);
    auto part = [](const HostPicture& p, size_t at) {
        return HostPicture(p.begin() + long(at), p.begin() + long(at + wid * band));
    };
    f0r_instance_t shared = Plugin::Get().construct(wid, band), solo = Plugin::Get().construct(wid, band);
    int mismatches = 0;
    for (int frame = 0; frame < 100; frame++) {
        const TileSettings s = Settings(int16_t(28 + frame % 2), int16_t(2 + frame % 50 * 2), 7, 60, true);
        Apply(shared, s);
        HostPicture out(a.size());
        std::vector<std::thread> threads;
        for (size_t at = 0; at < a.size(); at += wid * band)
            threads.emplace_back(Plugin::Get().update2, shared, 0.0, &a[at], &b[at], nullptr, &out[at]);
        for (auto& t : threads) t.join();
        for (size_t at = 0; at < a.size(); at += wid * band)
            mismatches += FirstDifference(Render(solo, s, part(a, at), part(b, at)), part(out, at)) != -1;
    }
    EXPECT_EQ(mismatches, 0);
    for (f0r_instance_t inst : {shared, solo}) Plugin::Get().destruct(inst);
}

}  // namespace
