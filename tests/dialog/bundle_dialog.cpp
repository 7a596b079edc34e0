// The dialog as an editor opens it: the built bundle loaded by the host core, the user pressing
// the transition's button, dragging a slider and the clip slider, then OK. What reaches the host
// (frames fetched and given back) and the saved default are checked from outside the bundle.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <map>
#include <unistd.h>

#include "dialog/qtdriver.h"
#include "editor/hostcore/hostcore.h"
#include "imaging/pixellib.h"
#include "settings/prefsloader.h"

namespace {
class FlatClip : public HostClip {
public:
    explicit FlatClip(uint8_t tone) : tone_(tone) {}
    int32_t FrameCount() const override { return 200; }
    std::map<int32_t, int> reads;  // reads of each frame
    bool ReadFrame(int32_t index, GWorldPtr frame, bool, std::vector<float>& audio) override {
        reads[index]++;
        PixMapHandle pm = GetGWorldPixMap(frame);
        for (int y = 0; y < pm->bounds.bottom; y++) {
            auto* row = reinterpret_cast<PixRec*>(pm->baseAddr + y * pm->rowBytes);
            for (int x = 0; x < pm->bounds.right; x++) row[x] = PixRec{255, tone_, uint8_t(index), 90};
        }
        audio.assign(3840, 0.0f);
        return true;
    }

private:
    uint8_t tone_;
};

uint8_t GreenAt(GWorldPtr gw, int x, int y) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return reinterpret_cast<PixRec*>(pm->baseAddr + y * pm->rowBytes)[x].GREEN;
}

GWorldPtr Buffer(int16_t w, int16_t h) {
    GWorldPtr gw = nullptr;
    const Rect bounds{0, 0, h, w};
    NewGWorld(&gw, 32, &bounds, nullptr, nullptr, 0);
    return gw;
}

// Frames [10, 18) at 4 x 2 pixels (32 bytes each) with room for 5 of them.
TEST(PreviewClip, KeepsTheRangeUpToItsBoundAndReadsTheRestWhenAsked) {
    FlatClip clip(40);
    PreviewClip preview(clip, 10, 8, 5 * 32);
    GWorldPtr small = Buffer(4, 2), taller = Buffer(4, 3);
    std::vector<float> audio;
    const struct {
        int32_t index;
        GWorldPtr buffer;
        int readsAfter;  // of that frame in the clip
    } steps[] = {
        {12, small, 1},  // the first request reads 10..14 in order
        {10, small, 1},
        {14, small, 1},
        {12, small, 1},
        {15, small, 1},
        {15, small, 2},   // past the bound: read every time
        {9, small, 1},    // before the range
        {11, taller, 2},  // another size: read again
    };
    for (const auto& s : steps) {
        ASSERT_TRUE(preview.ReadFrame(s.index, s.buffer, true, audio));
        EXPECT_EQ(GreenAt(s.buffer, 3, 1), uint8_t(s.index)) << s.index;
        EXPECT_EQ(clip.reads[s.index], s.readsAfter) << s.index;
        EXPECT_EQ(audio.size(), 3840u);
    }
    // At 4 x 3 (48 bytes) only 3 frames fit: 10..12 read again, 13 not.
    EXPECT_EQ(clip.reads[12], 2);
    EXPECT_EQ(clip.reads[13], 1);
    EXPECT_EQ(clip.reads.count(16), 0u);
    DisposeGWorld(small);
    DisposeGWorld(taller);
}

TEST(BundleDialog, TheButtonOpensTheDialogAndOkSavesWhatTheUserSet) {
    const std::filesystem::path config = std::filesystem::temp_directory_path() / ("bw-dialog-" + std::to_string(getpid()));
    std::filesystem::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "dialog_bundle_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    std::string error;
    auto host = PluginHost::Load(BW_TEST_BUNDLE, error);
    ASSERT_TRUE(host) << error;
    FlatClip a(40), b(220);
    const RunRequest run{.which = 3, .clipA = &a, .clipB = &b, .frameCount = 20, .width = 320, .height = 180};
    GWorldPtr out = nullptr;
    const Rect bounds{0, 0, 180, 320};
    NewGWorld(&out, 32, &bounds, nullptr, nullptr, 0);
    ASSERT_EQ(host->Placeholder(run, 0, out), kPluginOK);  // where the transition's frames are

    const int64_t secondBefore = host->Counters().secondFrameFetches;
    int64_t secondDuring = 0;
    a.reads.clear();
    b.reads.clear();
    QTimer::singleShot(0, [&] {
        Drag(qobject_cast<QSlider*>(Find("Sldr", 2)), 12);
        EXPECT_EQ(Text("Lgnd", 2), "12%");
        Drag(qobject_cast<QSlider*>(Find("ClpS", 1)), 5);
        EXPECT_EQ(Text("ClpM", 1), "5/19");
        for (const char* step : {"Revi", "Revi", "Adva", "Revi"}) Click(step);
        EXPECT_EQ(Text("ClpM", 1), "3/19");
        secondDuring = host->Counters().secondFrameFetches;
        Click("ok  ");
    });
    EXPECT_EQ(host->CustomButton(run), kPluginOK);
    EXPECT_GT(secondDuring, secondBefore) << "clip B's frames fetched between two clips";
    // The transition's frames are read once, in order, however the preview steps through them.
    for (const FlatClip* clip : {&a, &b}) {
        ASSERT_FALSE(clip->reads.empty());
        int32_t expected = clip->reads.begin()->first;
        for (const auto& [index, count] : clip->reads) {
            EXPECT_EQ(index, expected++);
            EXPECT_EQ(count, 1) << "frame " << index;
        }
        EXPECT_EQ(clip->reads.size(), 20u);
    }
    const HostCounters& c = host->Counters();
    EXPECT_EQ(c.framesOut, c.framesReleased);
    EXPECT_EQ(c.unknownCookies, 0);
    PluginDataRec saved{};
    ASSERT_TRUE(ReadConfig(&saved));
    EXPECT_EQ(saved.Sliders[2], 12);
    DisposeGWorld(out);
    std::filesystem::remove_all(config);
}
}  // namespace
