// The command line in-process: the settings table, suggestions, FFmpeg's options, and every
// refused line, which stops before any file is opened. What only a process shows stays in
// cli_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/cli/app.h"
#include "editor/cli/ffmpegoptions.h"
#include "editor/cli/prefs.h"
#include "editor/cli/privatesettings.h"
#include "editor/cli/settings.h"
#include "editor/cli/suggest.h"

namespace {
using namespace bw::cli;

struct SettingCase {
    const char* Item;
    const char* Error;  // "" when taken
};
const SettingCase kSettings[] = {
    {"method=1", ""},
    {"method=41", ""},
    {"method=0", "method must be 1..41"},
    {"method=42", "method must be 1..41"},
    {"columns=100", ""},
    {"columns=101", "columns must be 1..100"},
    {"rows=0", "rows must be 1..100"},
    {"duration=0", ""},
    {"duration=100", ""},
    {"duration=101", "duration must be 0..100 (percent)"},
    {"randomized=yes", ""},
    {"randomized=maybe", "randomized must be on or off"},
    {"color=#A0b0C0", ""},
    {"colour=#000000", ""},
    {"color=#12 345", "color must be #RRGGBB (six hex digits), not '#12 345'"},
    {"colour=blue", "color must be #RRGGBB (six hex digits), not 'blue'"},
    {"rect=0,0,1,1", ""},
    {"rect=0.5,0,0.5,1", "rect must be L,T,R,B with 0 <= L < R <= 1 and 0 <= T < B <= 1"},
    {"media=hd", ""},
    {"media=3", ""},
    {"media=4", "media must be ntsc, pal or hd"},
    {"size=3", "unknown key 'size' (method, columns, rows, duration, randomized, color, rect, media)"},
    {"method", "'method' is not KEY=VALUE"},
};
TEST(ApplySetting, TakesEachKeysRangeAndNamesItWhenRefused) {
    for (const SettingCase& c : kSettings) {
        Config config;
        EXPECT_EQ(ApplySetting(config.rec, c.Item), c.Error) << c.Item;
    }
}

TEST(ApplySetting, WritesTheFieldsTheKeysName) {
    Config config;
    for (const char* item : {"method=41", "columns=7", "rows=3", "duration=9", "randomized=off", "color=#0102FF",
                             "rect=0.25,0.5,0.75,1", "media=pal"})
        ASSERT_EQ(ApplySetting(config.rec, item), "") << item;
    const PluginDataRec& c = config.rec;
    EXPECT_EQ(c.Method, 41);
    EXPECT_EQ(c.Sliders[1], 7);
    EXPECT_EQ(c.Sliders[2], 3);
    EXPECT_EQ(c.Sliders[3], 9);
    EXPECT_FALSE(c.RandomizedDuration);
    EXPECT_EQ(c.Colors[1].RED, 0x0101);
    EXPECT_EQ(c.Colors[1].BLUE, 0xFFFF);
    EXPECT_EQ(c.StartRel.Left, 0.25);
    EXPECT_EQ(c.StartRel.Top, 0.5);
    EXPECT_EQ(c.StartRel.Right, 0.75);
    EXPECT_EQ(c.StartRel.Bottom, 1);
    EXPECT_EQ(c.MediaType, 2);
    ::testing::internal::CaptureStdout();
    ShowPrefs(c);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "method=41\ncolumns=7\nrows=3\nduration=9\nrandomized=off\ncolor=#0102FF\nrect=0.25,0.5,0.75,1\nmedia=pal\n");
}

TEST(KeysHelp, ListsEveryKeyWithItsRange) {
    EXPECT_EQ(KeysHelp(),
              "keys:\n"
              "  method=1..41         tile ordering (see docs/orderings.png)\n"
              "  columns=1..100       tile columns\n"
              "  rows=1..100          tile rows\n"
              "  duration=0..100      share of the transition each tile spends changing, in percent\n"
              "  randomized=on|off    vary each tile's change length\n"
              "  color=#RRGGBB        colour standing in for the missing clip (before/after)\n"
              "  rect=L,T,R,B         active area as fractions of the frame, 0 <= L < R <= 1, 0 <= T < B <= 1\n"
              "  media=ntsc|pal|hd    preview frame format of the configuration dialog");
}

TEST(Nearest, SuggestsWithinTwoEditsOrAPrefix) {
    const std::vector<std::string> names = {"render", "sheet", "thumbnail", "prefs"};
    const std::pair<const char*, const char*> cases[] = {
        {"rendr", "render"},
        {"rnder", "render"},
        {"rendxx", "render"},
        {"rexxxr", ""},
        {"thumb", "thumbnail"},
        {"th", ""},
        {"pref", "prefs"},
        {"zzz", ""},
    };
    for (const auto& [word, near] : cases) EXPECT_EQ(Nearest(word, names), near) << word;
    EXPECT_EQ(Distance("kitten", "sitting"), 3u);
    EXPECT_EQ(Distance("", "abc"), 3u);
}

struct OutputCase {
    const char* Name;
    const char* Value;
    const char* Error;  // "" taken, "?" not an output option
};
const OutputCase kOutputs[] = {
    {"-crf", "0", ""},
    {"-crf", "63", ""},
    {"-crf", "64", "-crf must be 0..63"},
    {"-ar", "8000", ""},
    {"-ar", "7999", "-ar must be a sample rate from 8000 to 192000"},
    {"-ac", "8", ""},
    {"-ac", "0", "-ac must be a channel count from 1 to 8 (2: stereo, 6: 5.1)"},
    {"-b:v", "1k", ""},
    {"-b:v", "999", "-b:v must be a bit rate such as 5M or 800k"},
    {"-b:a", "1000M", ""},
    {"-b:a", "1001M", "-b:a must be a bit rate such as 128k"},
    {"-f", "matroska", ""},
    {"-f", "avi", "-f must be matroska or yuv4mpegpipe (for -o -)"},
    {"-r", "240/1", ""},
    {"-r", "241", "-r must be a frame rate from 1/100 to 240 such as 25, 29.97 or 30000/1001, not '241'"},
    {"-vf", "scale=1:1", "?"},
};
TEST(TakeOutputOption, ChecksEachValueAtItsLimits) {
    for (const OutputCase& c : kOutputs) {
        bw::RenderOptions o;
        EXPECT_EQ(TakeOutputOption(c.Name, c.Value, o), c.Error) << c.Name << " " << c.Value;
    }
}

// Every way out of a command that points XDG_CONFIG_HOME at a private folder gives the user's
// back (set or unset) and removes the folders.
TEST(PrivateSettings, GivesBackTheUsersConfigHomeAndRemovesItsFolders) {
    for (const char* home : {"/home/someone/.config", static_cast<const char*>(nullptr)}) {
        if (home) setenv("XDG_CONFIG_HOME", home, 1);
        else unsetenv("XDG_CONFIG_HOME");
        std::string folder;
        {
            PrivateSettings own;
            ASSERT_FALSE(MakePrivateFolder(own));
            ASSERT_FALSE(MakePrivateFolder(own));
            folder = own.Folders.back();
            UseConfigHome(own, folder);
            EXPECT_STREQ(std::getenv("XDG_CONFIG_HOME"), folder.c_str());
        }
        EXPECT_FALSE(std::filesystem::exists(folder));
        if (home) EXPECT_STREQ(std::getenv("XDG_CONFIG_HOME"), home);
        else EXPECT_EQ(std::getenv("XDG_CONFIG_HOME"), nullptr);
    }
    // prefs export writes through a private folder; the refusal of an existing file is said
    // before one is made, a written file after: either way the variable is the user's again.
    const std::string out = std::filesystem::temp_directory_path() / ("bw-export-" + std::to_string(getpid()));
    const std::string config = out + "-config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(PrefsExport(out), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_STREQ(std::getenv("XDG_CONFIG_HOME"), config.c_str());
    std::filesystem::remove(out);
    std::filesystem::remove_all(config);
    unsetenv("XDG_CONFIG_HOME");
}

// A refused command line: its status and part of its message, without starting the program.
struct LineCase {
    std::vector<std::string> Args;
    int Status;
    const char* Says;
};
const LineCase kLines[] = {
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--bogus"}, 2, "unknown option '--bogus'"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--spead", "0.1"}, 2, "did you mean '--speed'?"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--quiet=no"}, 2, "quiet"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--speed", ""}, 2, "--speed"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--speed=1.5"}, 2, "--speed"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--frames=0"}, 2, "--frames"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--size", "20x"}, 2, "WIDTHxHEIGHT"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--size", "8193x2"}, 2, "each from 2 to 8192"},
    {{"render", "a.mp4", "b.mp4", "a.mp4", "-o", "o.y4m", "--frames", "5,6,7"}, 2, "3 lengths for 2 transitions"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--frames", "5,0"}, 2, "--frames"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--frames", "100001"}, 2, "a frame count from 1 to 100000"},
    {{"render", "a.mp4", "b.mp4", "a.mp4", "-o", "o.y4m", "--method", "7,12,3"}, 2, "--method gives 3 values for 2"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--grid", "4x3,8x6"}, 2, "--grid gives 2 values for 1 transition\n"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--tile-duration", "5,6"}, 2, "--tile-duration gives 2 values"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "-ss", "1"}, 2, "go before the clip"},
    {{"render", "-t", "1", "-to", "2", "a.mp4", "b.mp4", "-o", "o.y4m"}, 2, "not both"},
    {{"render", "-ss", "1:5x", "a.mp4", "b.mp4", "-o", "o.y4m"}, 2, "'1:5x' is not a time"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--overlap", "2x"}, 2, "--overlap"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.mp4", "-crf", "99"}, 2, "-crf must be 0..63"},
    {{"render", "-framerate", "0", "a.mp4", "b.mp4", "-o", "o.mp4"}, 2, "-framerate must be"},
    {{"render", "a.mp4", "b.mp4", "-o", "-", "-f", "avi"}, 2, "-f must be matroska or yuv4mpegpipe"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.mp4", "-b:v", "5X"}, 2, "-b:v must be"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.mp4", "-r", "0"}, 2, "-r must be"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.mp4", "-ac", "9"}, 2, "-ac must be a channel count from 1 to 8"},
    {{"render", "a.mp4", "b.mp4", "a.mp4", "-o", "o.y4m", "--rect", "0,0,1,1/0,0,1,1/0,0,1,1"}, 2, "--rect gives 3 values for 2 transitions"},
    {{"render", "a.mp4", "b.mp4", "a.mp4", "-o", "o.y4m", "--rect", "0,0,1,1/0.5,0,0.4,1"}, 2, "rect must be"},
    {{"render", "a.mp4", "-o", "x.mp4"}, 2, "takes two clips"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--variant", "sideways"}, 2, "--variant"},
    {{"prefs", "reset", "extra"}, 2, "unexpected word 'extra'"},
    {{"info", "extra"}, 2, "unexpected word 'extra'"},
    {{"prefs", "set", "color=#12 345"}, 2, "color must be #RRGGBB"},
    {{"prefs", "set", "color=#12", "345"}, 2, "color must be #RRGGBB"},
    {{"prefs", "set", "method=0"}, 2, "method must be 1..41; nothing was changed"},
    {{"prefs", "set", "size=3"}, 2, "unknown key 'size'"},
    {{"rendr"}, 2, "did you mean 'render'?"},
    {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
    {{"sheet", "a.mp4", "b.mp4", "-o", "s.jpg"}, 2, "give a name ending in .png"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--method", "42"}, 2, "method must be 1..41"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--grid", "3x0"}, 2, "COLUMNSxROWS, each 1..100"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--grid", "3x4", "--rows", "2"}, 2, "excludes"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--rect", "0.5,0,0.5,1"}, 2, "rect must be"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--settings", "/nonexistent/none"}, 2, "--settings"},
    // Times, rates, lists and lengths, each read by one parser.
    {{"render", "-ss", "1e30", "a.mp4", "b.mp4", "-o", "o.y4m"}, 2, "-ss: '1e30' is not a time"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--frames", ","}, 2, "--frames: must be a frame count"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--frames", "10,"}, 2, "--frames: must be a frame count"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--speed", "nan"}, 2, "--speed: must be a number from 0 to 1"},
    {{"info", "--speed", "nan"}, 2, "--speed: must be a number from 0 to 1"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "--overlap", "0s"}, 2, "--overlap: must be frames"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "-vf", "scale=80:48"}, 2, "unknown option '-vf'; of FFmpeg's options render takes -ss"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.mp4", "-c:v", "copy"}, 2, "-c:v copy cannot work here: the transition makes new pictures"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.mp4", "-c:a", "copy"}, 2, "-c:a copy cannot work here"},
    {{"render", "a.mp4", "b.mp4", "-o", "o.y4m", "-r", "5000/1"}, 2, "-r must be a frame rate from 1/100 to 240"},
    {{"render", "-framerate", "5000/1", "a.mp4", "b.mp4", "-o", "o.y4m"}, 2, "-framerate must be a frame rate from 1/100 to 240"},
};
TEST(CommandLine, IsRefusedWordByWord) {
    for (const LineCase& c : kLines) {
        std::vector<std::string> words = {"blockwaves"};
        words.insert(words.end(), c.Args.begin(), c.Args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        ::testing::internal::CaptureStderr();
        const int status = bw::cli::Run(int(words.size()), argv.data());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.Status) << words[1] << " " << err;
        EXPECT_NE(err.find(c.Says), std::string::npos) << err;
        EXPECT_EQ(err.find("did you mean '-h'"), std::string::npos) << err;
    }
}

}  // namespace
