// The dialog as an editor opens it: the built bundle loaded by the host core, the user pressing
// the transition's button, dragging a slider and the clip slider, then OK. What reaches the host
// (frames fetched and given back) and the saved default are checked from outside the bundle.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
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
    bool ReadFrame(int32_t index, GWorldPtr frame, bool, std::vector<float>& audio) override {
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
    const RunSpec run{.which = 3, .clipA = &a, .clipB = &b, .frameCount = 20, .width = 320, .height = 180};
    GWorldPtr out = nullptr;
    const Rect bounds{0, 0, 180, 320};
    NewGWorld(&out, 32, &bounds, nullptr, nullptr, 0);
    ASSERT_EQ(host->Placeholder(run, 0, out), kPluginOK);  // where the transition's frames are

    const int64_t secondBefore = host->Counters().secondFrameFetches;
    int64_t secondDuring = 0;
    QTimer::singleShot(0, [&] {
        Drag(qobject_cast<QSlider*>(Find("Sldr", 2)), 12);
        EXPECT_EQ(Text("Lgnd", 2), "12%");
        Drag(qobject_cast<QSlider*>(Find("ClpS", 1)), 5);
        EXPECT_EQ(Text("ClpM", 1), "5/19");
        secondDuring = host->Counters().secondFrameFetches;
        Click("ok  ");
    });
    EXPECT_EQ(host->CustomButton(run), kPluginOK);
    EXPECT_GT(secondDuring, secondBefore) << "clip B's frames fetched between two clips";
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
