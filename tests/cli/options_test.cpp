// The command line's value parsers, in-process: every option taking a time, rate, list or length
// goes through these.
#include <gtest/gtest.h>

#include "editor/cli/options.h"

namespace {
using bw::media::Rational;

struct TimeCase {
    const char* Text;
    double Seconds;  // -1: refused
};
const TimeCase kTimes[] = {
    {"90", 90},
    {"2.5", 2.5},
    {"1:30", 90},
    {"0:01:30.5", 90.5},
    {"1:00:00", 3600},
    {"360000", 360000},
    {"360000.01", -1},
    {"100:00:00", 360000},
    {"100:00:01", -1},
    {"1e30", -1},
    {"1e3", -1},
    {"0x10", -1},
    {"nan", -1},
    {"inf", -1},
    {"-1", -1},
    {"", -1},
    {":", -1},
    {"1:", -1},
    {"1.5:00", -1},
    {"0:60", -1},
    {"0:59.99", 59.99},
    {"1:2:3:4", -1},
    {"1..2", -1},
    {".5", 0.5},
};
TEST(ParseTime, ReadsSecondsAndClockTimesOnly) {
    for (const TimeCase& c : kTimes) EXPECT_DOUBLE_EQ(bw::ParseTime(c.Text), c.Seconds) << c.Text;
}

TEST(FormatTime, NeverNegativeAndHoursFromAnHourOn) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00.00"},
        {4.0, "0:04.00"},
        {59.999, "1:00.00"},
        {3599.99, "59:59.99"},
        {3600, "1:00:00.00"},
        {360000, "100:00:00.00"},
        {1e30, "100:00:00.00"},
        {-3, "0:00.00"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(bw::FormatTime(seconds), text) << seconds;
}

struct RateCase {
    const char* Text;
    bool Ok;
    Rational Rate;
};
const RateCase kRates[] = {
    {"25", true, {25, 1}},
    {"30000/1001", true, {30000, 1001}},
    {"29.97", true, {2997, 100}},
    {"240", true, {240, 1}},
    {"240/1", true, {240, 1}},
    {"240.001", false, {}},
    {"241/1", false, {}},
    {"5000/1", false, {}},
    {"480/2", true, {240, 1}},
    {"1/100", true, {1, 100}},
    {"1/101", false, {}},
    {"0.01", true, {1, 100}},
    {"0", false, {}},
    {"0/1", false, {}},
    {"1/0", false, {}},
    {"-25", false, {}},
    {"nan", false, {}},
    {"25fps", false, {}},
    {"25/", false, {}},
    {"/25", false, {}},
    {"", false, {}},
};
TEST(ParseRate, OneRangeForEveryRateOption) {
    for (const RateCase& c : kRates) {
        Rational r{7, 7};
        EXPECT_EQ(bw::ParseRate(c.Text, r), c.Ok) << c.Text;
        const Rational want = c.Ok ? c.Rate : Rational{7, 7};
        EXPECT_EQ(r, want) << c.Text << " gave " << r.Num << "/" << r.Den;
    }
}

TEST(ParseList, RefusesEmptyItems) {
    const std::pair<const char*, std::vector<std::string>> good[] = {
        {"10", {"10"}}, {"10,20", {"10", "20"}}, {"a,b,c", {"a", "b", "c"}}};
    for (const auto& [text, items] : good) {
        std::vector<std::string> got;
        EXPECT_TRUE(bw::ParseList(text, ',', got)) << text;
        EXPECT_EQ(got, items) << text;
    }
    for (const char* text : {"", ",", "10,", ",10", "10,,20"}) {
        std::vector<std::string> got{"kept"};
        EXPECT_FALSE(bw::ParseList(text, ',', got)) << text;
        EXPECT_EQ(got, std::vector<std::string>{"kept"}) << text;
    }
    std::vector<std::string> rects;
    EXPECT_TRUE(bw::ParseList("0,0,1,1/0.1,0,1,1", '/', rects));
    EXPECT_EQ(rects.size(), 2u);
}

TEST(ParseFraction, RefusesNanAndWhatLiesOutside) {
    const std::pair<const char*, bool> cases[] = {{"0", true}, {"1", true}, {"0.5", true}, {".25", true}, {"1.0001", false}, {"nan", false}, {"NaN", false}, {"inf", false}, {"-0", false}, {"0.5x", false}, {"", false}};
    for (const auto& [text, ok] : cases) {
        double v = -7;
        EXPECT_EQ(bw::ParseFraction(text, 0, 1, v), ok) << text;
        if (!ok) {
            EXPECT_EQ(v, -7) << text;
        }
    }
}

struct LengthCase {
    const char* Text;
    bool Ok;
    int32_t At25;  // frames at 25 a second
    int32_t At24;
};
const LengthCase kLengths[] = {
    {"60", true, 60, 60},
    {"100000", true, 100000, 100000},
    {"100001", false, 0, 0},
    {"0", false, 0, 0},
    {"2.4s", true, 60, 58},
    {"1s", true, 25, 24},
    {"0:02.4", true, 60, 58},
    {"0.01s", true, 1, 1},
    {"0s", false, 0, 0},
    {"0:00", false, 0, 0},
    {"s", false, 0, 0},
    {"-5", false, 0, 0},
    {"nans", false, 0, 0},
    {"1e3s", false, 0, 0},
    {"2.4", false, 0, 0},
    {"", false, 0, 0},
};
TEST(ParseLength, FramesOrSecondsAtTheGivenRate) {
    for (const LengthCase& c : kLengths) {
        bw::Length length;
        EXPECT_EQ(bw::ParseLength(c.Text, length), c.Ok) << c.Text;
        if (!c.Ok) continue;
        EXPECT_EQ(bw::LengthFrames(length, {25, 1}), c.At25) << c.Text;
        EXPECT_EQ(bw::LengthFrames(length, {24, 1}), c.At24) << c.Text;
    }
}

TEST(ParseCount, DigitsOnlyWithinTheRange) {
    const std::tuple<const char*, bool> cases[] = {{"1", true}, {"100000", true}, {"100001", false}, {"0", false}, {"+5", false}, {" 5", false}, {"5 ", false}, {"99999999999999", false}};
    for (const auto& [text, ok] : cases) {
        long v = -7;
        EXPECT_EQ(bw::ParseCount(text, 1, 100000, v), ok) << text;
    }
}
}  // namespace
