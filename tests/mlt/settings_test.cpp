// The MLT transition's properties as it reads them, and Kdenlive's description of them.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "mlt/mltglue.h"
#include "tests/frei0r/kdenlive_check.h"

namespace {
// Properties set from text, as MLT's XML and Kdenlive set them.
struct Props {
    mlt_properties p = mlt_properties_new();
    ~Props() { mlt_properties_close(p); }
    Props& Set(const char* name, const char* value) {
        mlt_properties_set(p, name, value);
        return *this;
    }
};

// The transition from 5 to 54: 50 frames.
struct ProgressCase {
    mlt_position position, in, out;
    double progress;
};
TEST(MltSettings, ProgressIsClipAOnTheFirstFrameAndClipBOnTheLast) {
    Props props;
    for (const ProgressCase c : {ProgressCase{5, 5, 54, 0.0}, ProgressCase{6, 5, 54, 1.0 / 49},
                                 ProgressCase{53, 5, 54, 48.0 / 49}, ProgressCase{54, 5, 54, 1.0},
                                 ProgressCase{4, 5, 54, 0.0}, ProgressCase{60, 5, 54, 1.0},
                                 ProgressCase{7, 7, 7, 0.5}, ProgressCase{8, 7, 8, 1.0}})
        EXPECT_DOUBLE_EQ(MltSettingsAt(props.p, c.position, c.in, c.out).Progress, c.progress)
            << c.position << " in " << c.in << ".." << c.out;
}

TEST(MltSettings, UnsetPropertiesAreTheFactoryDefaults) {
    Props props;
    const TileSettings s = MltSettingsAt(props.p, 0, 0, 10);
    EXPECT_EQ(s.Method, 1);
    EXPECT_EQ(s.Columns, 50);
    EXPECT_EQ(s.Rows, 50);
    EXPECT_EQ(s.TileDuration, 50);
    EXPECT_TRUE(s.Randomized);
    EXPECT_EQ(s.Seed, 0);
    EXPECT_EQ(s.Frames, 100);
    EXPECT_EQ(s.Active.Left, 0);
    EXPECT_EQ(s.Active.Top, 0);
    EXPECT_EQ(s.Active.Right, 1);
    EXPECT_EQ(s.Active.Bottom, 1);
}

// Each property at both ends of its range, beyond them, between steps and as nonsense.
struct ValueCase {
    const char* name;
    const char* text;
    double value;
};
TEST(MltSettings, WholeNumbersRoundAndEveryPropertyIsClamped) {
    for (const ValueCase c :
         {ValueCase{"method", "1", 1}, ValueCase{"method", "41", 41}, ValueCase{"method", "42", 41},
          ValueCase{"method", "0", 1}, ValueCase{"columns", "100", 100}, ValueCase{"columns", "101", 100},
          ValueCase{"columns", "49.6", 50}, ValueCase{"columns", "1.4", 1}, ValueCase{"rows", "-3", 1},
          ValueCase{"rows", "1e9", 100}, ValueCase{"rows", "nan", 1}, ValueCase{"tile_duration", "0", 0},
          ValueCase{"tile_duration", "100.000000", 100}, ValueCase{"tile_duration", "100.6", 100},
          ValueCase{"randomized", "0", 0}, ValueCase{"randomized", "1", 1}, ValueCase{"seed", "29999", 29999},
          ValueCase{"seed", "30000", 29999}, ValueCase{"frames", "9", 10}, ValueCase{"frames", "1000", 1000},
          ValueCase{"frames", "1001", 1000}, ValueCase{"left", "0.25", 0.25}, ValueCase{"left", "-0.5", 0},
          ValueCase{"right", "1.5", 1}, ValueCase{"top", "nan", 0}, ValueCase{"bottom", "0.75", 0.75}}) {
        Props props;
        props.Set(c.name, c.text);
        const TileSettings s = MltSettingsAt(props.p, 0, 0, 10);
        const std::string n = c.name;
        const double got = n == "method"          ? s.Method
                           : n == "columns"       ? s.Columns
                           : n == "rows"          ? s.Rows
                           : n == "tile_duration" ? s.TileDuration
                           : n == "randomized"    ? (s.Randomized ? 1 : 0)
                           : n == "seed"          ? s.Seed
                           : n == "frames"        ? s.Frames
                           : n == "left"          ? s.Active.Left
                           : n == "right"         ? s.Active.Right
                           : n == "top"           ? s.Active.Top
                                                  : s.Active.Bottom;
        EXPECT_EQ(got, c.value) << c.name << "=" << c.text;
    }
}

// The area animates: keyframes give its edges at the frame's place in the transition.
TEST(MltSettings, TheAreaFollowsItsKeyframes) {
    Props props;
    props.Set("left", "0=0;40=0.4").Set("bottom", "0=1;40=0.5");
    const TileSettings first = MltSettingsAt(props.p, 10, 10, 50), mid = MltSettingsAt(props.p, 30, 10, 50),
                       last = MltSettingsAt(props.p, 50, 10, 50);
    EXPECT_DOUBLE_EQ(first.Active.Left, 0);
    EXPECT_DOUBLE_EQ(mid.Active.Left, 0.2);
    EXPECT_DOUBLE_EQ(mid.Active.Bottom, 0.75);
    EXPECT_DOUBLE_EQ(last.Active.Left, 0.4);
}

// Kdenlive's description, read as Kdenlive reads it: every number it shows is the one rendered.
TEST(MltKdenlive, ShowsAndStoresWhatRenders) {
    const std::vector<kdenlive::Param> params = kdenlive::ReadDescription(BW_TEST_MLT_DIR "/blockwaves.xml");
    ASSERT_EQ(params.size(), 11u);
    const std::set<std::string> percent = {"left", "top", "right", "bottom"};
    auto rendered = [&](const std::string& name, double stored) -> std::optional<double> {
        static const std::set<std::string> known = {"method", "columns", "rows", "tile_duration", "randomized",
                                                    "seed", "frames", "left", "top", "right", "bottom"};
        if (!known.count(name)) return std::nullopt;
        Props props;
        props.Set(name.c_str(), std::to_string(stored).c_str());
        const TileSettings s = MltSettingsAt(props.p, 0, 0, 10);
        const std::map<std::string, double> value = {
            {"method", s.Method}, {"columns", s.Columns}, {"rows", s.Rows}, {"tile_duration", s.TileDuration}, {"randomized", s.Randomized ? 1 : 0}, {"seed", s.Seed}, {"frames", s.Frames}, {"left", s.Active.Left * 100}, {"top", s.Active.Top * 100}, {"right", s.Active.Right * 100}, {"bottom", s.Active.Bottom * 100}};
        return value.at(name);
    };
    for (const std::string& wrong : kdenlive::CheckDescription(params, rendered)) ADD_FAILURE() << wrong;
    for (const std::string& wrong : kdenlive::CheckOrderingCount(BW_TEST_MLT_DIR "/blockwaves.xml", params))
        ADD_FAILURE() << wrong;
}

// MLT's metadata is written by hand too: its method range and texts state the count of orderings.
TEST(MltMetadata, StatesTheCountOfOrderings) {
    for (const std::string& wrong : kdenlive::CheckOrderingCount(BW_TEST_MLT_DIR "/data/blockwaves/blockwaves.yml", {}))
        ADD_FAILURE() << wrong;
}
}  // namespace
