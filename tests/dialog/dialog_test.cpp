// The configuration dialog driven as a user would, offscreen: the real interface files and Qt
// backend of the built bundle, the dialog's code linked in, frames from a small fake host. Each
// scenario runs inside the dialog's modal loop (queued with a timer) and ends with OK or Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QUrl>

#include <cstring>
#include <map>
#include <vector>

#include "dialog/dlgUtils.h"
#include "dialog/qtdriver.h"
#include "engine/relrects.h"
#include "host/HYPluginRecords.h"
#include "host/fxbridge.h"
#include "imaging/commonprocs.h"
#include "platform/Bundle.h"
#include "platform/HIToolbox.h"
#include "platform/Memory.h"
#include "platform/sandbox.h"
#include "settings/prefsloader.h"

namespace {
// --- A host that hands out flat frames: red = index & 255, green = index >> 8 ---
struct FakeHost {
    std::vector<int32_t> fetched;
    std::map<HYFrameCookie, GWorldPtr> out;
    HYFrameCookie next = 1;
};
FakeHost gHost;

HYPluginResult GetFrame(void*, int32_t index, GWorldPtr* frame, int16_t w, int16_t h, HYRefDVQuality, int16_t* volume,
                        HYFrameCookie* cookie) {
    gHost.fetched.push_back(index);
    *frame = AllocateGWorld(w, h);
    ClearGW(*frame, RGBColor{uint16_t((index & 255) * 256), uint16_t(((index >> 8) & 255) * 256), 32768});
    *volume = 255;
    *cookie = gHost.next++;
    gHost.out[*cookie] = *frame;
    return kPluginOK;
}
HYPluginResult ReleaseFrame(void*, HYFrameCookie cookie) {
    DisposeGWorld(gHost.out[cookie]);
    gHost.out.erase(cookie);
    return kPluginOK;
}

uint32_t Crc(GWorldPtr gw) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    const Rect r = GetPortRect(gw);
    uint32_t h = 2166136261u;
    for (int y = 0; y < r.bottom; y++) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm);
        for (int i = 0; i < r.right * 4; i++) h = (h ^ row[i]) * 16777619u;
    }
    return h;
}

class DialogTest : public Sandbox {
protected:
    static void SetUpTestSuite() {
        // Offscreen always; a screenshot run may give the offscreen screen a size of its own.
        if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith("offscreen")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "dialog_tests";
        static char* argv[] = {name, nullptr};
        if (!qApp) new QApplication(argc, argv);
        CFBundleSetOwnBundlePath(BW_TEST_BUNDLE);
        ToolboxSetBackendPath(std::string(BW_TEST_BUNDLE) + "/Contents/Linux/kpblockwaves-ui.so");
    }
    void SetUp() override {
        Sandbox::SetUp();
        gHost = FakeHost{};
        std::memset(&params, 0, sizeof params);
        procs.GetFrame = GetFrame;
        procs.ReleaseFrame = ReleaseFrame;
        params.procs = &procs;
        params.interfaceVersion = 4;
        output = AllocateGWorld(720, 480);
        params.frame = output;
        config = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
        InitMyPlugIn(config);
    }
    void TearDown() override {
        DisposePtr(reinterpret_cast<Ptr>(config->Rects));
        DisposePtr(reinterpret_cast<Ptr>(config));
        DisposeGWorld(output);
        Sandbox::TearDown();
    }

    // Opens the dialog as the custom button does, previewing `frames` frames from host frame
    // `first`; `script` runs inside the dialog and must end it with OK or Cancel.
    void Run(int16_t which, std::function<void()> script, int32_t frames = 30, int32_t first = 1000) {
        static const int16_t sizes[4][2] = {{720, 480}, {720, 480}, {720, 576}, {960, 540}};
        const int16_t media = config->MediaType >= 1 && config->MediaType <= 3 ? config->MediaType : 0;
        GWorldPtr frame = nullptr;
        int16_t volume;
        HYFrameCookie cookie;
        GetFrame(nullptr, first, &frame, sizes[media][0], sizes[media][1], kDVHighQuality, &volume, &cookie);
        gHost.fetched.clear();
        Then(std::move(script));
        // Nothing a failed expectation leaves open may hang the suite.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible()) QTest::keyClick(w, Qt::Key_Escape);
        });
        watchdog.start(20000);
        shown = ConfigurePlugIn(config, frame, &params, first, frames, which);
        ReleaseFrame(nullptr, cookie);
    }

    bool shown = false;  // what the last Run's dialog answered: a window was shown

    HYProcs procs{};
    HYPluginParams params{};
    GWorldPtr output = nullptr;
    PluginDataPtr config = nullptr;
};

// --- Sliders and the live preview ---
TEST_F(DialogTest, SliderDragStoresValueCaptionsItAndRelaysTheTilesLive) {
    const RectField before = *config->Rects;
    uint32_t previewBefore = 0, previewAfter = 0;
    Run(3, [&] {
        Drag(Get<QSlider>("ClpS"), 15);  // mid-transition, where the grid shows
        previewBefore = Crc(gConfigWorkSpace.TheFXClip);
        Drag(Get<QSlider>("Sldr", 1), 7);
        EXPECT_EQ(config->Sliders[1], 7);
        EXPECT_EQ(Text("Lgnd", 1), "7%");
        previewAfter = Crc(gConfigWorkSpace.TheFXClip);
        Drag(Get<QSlider>("Sldr", 3), 80);
        EXPECT_EQ(config->Sliders[3], 80);
        EXPECT_EQ(Text("Lgnd", 3), "80%");
        Click("ok  ");
    });
    EXPECT_NE(previewAfter, previewBefore);
    EXPECT_NE(std::memcmp(&before, config->Rects, sizeof before), 0);
    PluginDataRec saved{};
    ASSERT_TRUE(ReadConfig(&saved));
    EXPECT_EQ(saved.Sliders[1], 7);
    EXPECT_EQ(saved.Sliders[3], 80);
}

struct ClipCase {
    int16_t which;
    bool fetchesB;
};
class ClipSliderTest : public DialogTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(ClipSliderTest, FetchesTheFramesOfThePositionAndCaptionsIt) {
    const ClipCase c = GetParam();
    Run(c.which, [&] {
        gHost.fetched.clear();
        Drag(Get<QSlider>("ClpS"), 5);
        EXPECT_EQ(gConfigWorkSpace.CurrFrameIndex, 5);
        EXPECT_EQ(Text("ClpM"), "5/29");
        // Clip A's frame of the position; clip B's (after the transition's frames) only between clips.
        EXPECT_NE(std::find(gHost.fetched.begin(), gHost.fetched.end(), 1005), gHost.fetched.end());
        EXPECT_EQ(std::find(gHost.fetched.begin(), gHost.fetched.end(), 1035) != gHost.fetched.end(), c.fetchesB);
        gHost.fetched.clear();
        Click("Adva");
        EXPECT_EQ(Text("ClpM"), "6/29");
        EXPECT_EQ(gHost.fetched.front(), 1006);
        Click("not!");
    });
}
INSTANTIATE_TEST_SUITE_P(Variants, ClipSliderTest, ::testing::Values(ClipCase{1, false}, ClipCase{2, false}, ClipCase{3, true}));

TEST_F(DialogTest, StepsAtTheEndsChangeAndRedrawNothing) {
    Run(
        3, [&] {
            gHost.fetched.clear();
            Click("Revi");  // at frame 0
            EXPECT_EQ(Text("ClpM"), "0/2");
            Drag(Get<QSlider>("ClpS"), 2);
            gHost.fetched.clear();
            const int32_t flipsAtEnd = GetControl32BitValue(gConfigWorkSpace.TheFrameCtrl);
            Click("Adva");  // at the last frame
            EXPECT_TRUE(gHost.fetched.empty());
            EXPECT_EQ(Text("ClpM"), "2/2");
            EXPECT_EQ(GetControl32BitValue(gConfigWorkSpace.TheFrameCtrl), flipsAtEnd);
            Click("ok  ");
        },
        3);
}

// --- OK, Cancel, reset and media types ---
TEST_F(DialogTest, CancelAfterEditsAndAMediaChangeGivesBackTheRecordByteForByte) {
    PluginDataRec before;
    std::memcpy(&before, config, sizeof before);
    before.Which = 3;  // the variant the dialog was opened for
    Run(3, [&] {
        Drag(Get<QSlider>("Sldr", 2), 9);
        Get<QComboBox>("Meth")->setCurrentIndex(11);
        emit Get<QComboBox>("Meth")->activated(11);
        EXPECT_EQ(config->Method, 12);
        Click("Sall");
        QComboBox* media = Get<QComboBox>("Medi");
        media->setCurrentIndex(2);
        emit media->activated(2);  // closes the window; the HD one opens
        WhenOpen("configHD", [&] {
            EXPECT_EQ(config->MediaType, 3);
            Click("not!");
        });
    });
    EXPECT_EQ(std::memcmp(&before, config, sizeof before), 0);
}

TEST_F(DialogTest, OkWritesTheSavedDefaultEvenUnchanged) {
    shown = false;
    std::filesystem::remove(PrefsPath());
    MakePrefsFile();  // a file without the record
    PluginDataRec saved{};
    ASSERT_FALSE(ReadConfig(&saved));
    Run(3, [] { Click("ok  "); });
    EXPECT_TRUE(shown);
    EXPECT_TRUE(ReadConfig(&saved));
}

TEST_F(DialogTest, ResetKeepsMediaTypePicturesAndFrameEndColor) {
    config->MediaType = 2;
    config->FrameEndColor = RGBColor{1, 2, 3};
    config->Sliders[1] = 9;
    config->Method = 17;
    Run(3, [&] {
        Click("Rset");
        EXPECT_EQ(config->Sliders[1], 50);
        EXPECT_EQ(config->Method, 1);
        EXPECT_EQ(config->MediaType, 2);
        EXPECT_EQ(Get<QSlider>("Sldr", 1)->value(), 50);
        EXPECT_EQ(Text("Lgnd", 1), "50%");
        Click("ok  ");
    });
    EXPECT_EQ(config->FrameEndColor, (RGBColor{1, 2, 3}));
}

TEST_F(DialogTest, AHostileSavedDefaultOpensWithSafeValues) {
    config->Sliders[1] = 32767;
    config->Sliders[2] = -5;
    config->Method = 999;
    Run(3, [&] {
        EXPECT_EQ(Get<QSlider>("Sldr", 1)->value(), 100);
        EXPECT_EQ(Text("Lgnd", 1), "100%");
        EXPECT_EQ(Get<QSlider>("Sldr", 2)->value(), 1);
        EXPECT_EQ(Get<QComboBox>("Meth")->currentIndex() + 1, 41);
        EXPECT_EQ(config->Method, 41);
        Click("ok  ");
    });
}

// The spirals lay the tiles out on a square grid of odd size, which they store in the record: the
// sliders and captions show that grid, the one OK saves.
TEST_F(DialogTest, SpiralOrderingsShowTheOddSquareGridTheySave) {
    config->Sliders[1] = 60;
    config->Sliders[2] = 50;
    Run(3, [&] {
        QComboBox* method = Get<QComboBox>("Meth");
        method->setCurrentIndex(cSpiralOut - 1);
        emit method->activated(cSpiralOut - 1);
        for (int i : {1, 2}) {
            EXPECT_EQ(Get<QSlider>("Sldr", i)->value(), 61) << i;
            EXPECT_EQ(Text("Lgnd", i), "61%") << i;
        }
        // Either grid slider moves both; a step down from an odd size goes to the odd one below
        // (the layout would round 60 back up to 61).
        QTest::keyClick(Get<QSlider>("Sldr", 2), Qt::Key_Left);
        for (int i : {1, 2}) {
            EXPECT_EQ(Get<QSlider>("Sldr", i)->value(), 59) << i;
            EXPECT_EQ(Text("Lgnd", i), "59%") << i;
        }
        QTest::keyClick(Get<QSlider>("Sldr", 1), Qt::Key_Right);
        EXPECT_EQ(Get<QSlider>("Sldr", 2)->value(), 61);
        Click("ok  ");
    });
    PluginDataRec saved{};
    ASSERT_TRUE(ReadConfig(&saved));
    EXPECT_EQ(saved.Sliders[1], 61);
    EXPECT_EQ(saved.Sliders[2], 61);
}

TEST_F(DialogTest, EveryWindowHasItsControlsAndShowsTheRightOnes) {
    for (int16_t media : {1, 2, 3, 7}) {
        config->MediaType = media;
        Run(3, [&] {
            const char* expected = media == 2 ? "configPAL" : media == 3 ? "configHD"
                                                                         : "configNTSC";
            EXPECT_TRUE(Window(expected)) << expected;
            EXPECT_EQ(Get<QComboBox>("Medi")->currentIndex() + 1, media == 7 ? 1 : media);
            EXPECT_TRUE(Find("Colr", 1)->isVisible());
            EXPECT_TRUE(Find("Sldr", 3)->isVisible());
            for (const char* sig : {"Sldr", "Lgnd", "Labl"}) EXPECT_FALSE(Find(sig, 5)->isVisible()) << sig;
            for (int i = 2; i <= 6; i++) EXPECT_FALSE(Find("Colr", i)->isVisible()) << i;
            EXPECT_FALSE(Find("Rect", 1)->isVisible());
            Click("not!");
        });
    }
}

// --- About and Help ---
TEST_F(DialogTest, AboutShowsNameAndVersionAndReturnsToTheDialog) {
    Run(3, [&] {
        WhenOpen("about", [&] {
            EXPECT_EQ(Text("Plug", 1, "about"), "Blockwaves! Transitions");
            EXPECT_EQ(Text("Vers", 1, "about"), QString("Version ") + cPlugVersion);
            Click("ok  ", "about");
            When([] { return !Window("about"); }, [] { Click("not!"); });
        });
        Click("Info");  // returns when the About window is closed
    });
}

class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { urls.push_back(url); }

public:
    std::vector<QUrl> urls;
};

// Help asks the desktop to open the bundled manual. Without a handler, offscreen, there is no
// program to open documents with, as on a desktop without xdg-open: it says so in plain words.
TEST_F(DialogTest, HelpOpensTheBundledManualOrSaysWhereItIs) {
    auto help = [] {
        Click("Help");
        Click("not!");
    };
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    Run(3, help);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_TRUE(catcher.urls[0].toLocalFile().endsWith("Contents/Resources/manual.pdf"));
    testing::internal::CaptureStderr();
    Run(3, help);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("No program to show the manual was found."), std::string::npos) << said;
    EXPECT_NE(said.find(std::string(BW_TEST_BUNDLE) + "/Contents/Resources/manual.pdf"), std::string::npos) << said;
    EXPECT_EQ(said.find("LSOpen"), std::string::npos) << said;
}

TEST_F(DialogTest, AMissingWindowEndsTheDialogAsCancel) {
    const std::string bare = Root + "/bare.bundle";
    std::filesystem::create_directories(bare + "/Contents/Resources");
    std::filesystem::copy_file(std::string(BW_TEST_BUNDLE) + "/Contents/Info.plist", bare + "/Contents/Info.plist");
    CFBundleSetOwnBundlePath(bare);
    PluginDataRec before;
    std::memcpy(&before, config, sizeof before);
    before.Which = 3;
    bool ran = false;
    Run(3, [&] { ran = Find("Clip", 1) != nullptr; });
    CFBundleSetOwnBundlePath(BW_TEST_BUNDLE);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(shown) << "the host must hear that no dialog was shown";
    EXPECT_EQ(std::memcmp(&before, config, sizeof before), 0);
    EXPECT_EQ(config->TheMask, nullptr);
}

// --- The frame rectangle on the preview ---
TEST(FrameRectangle, HandleHitsFollowTheSquaresAroundTheCorners) {
    const Rect r{100, 200, 300, 500};  // top, left, bottom, right
    const struct {
        int16_t handle;
        std::vector<Point> at;
    } cases[] = {
        {1, {{100, 200}, {100, 194}, {94, 200}}},                         // at the corner and 6 off it
        {0, {{100, 193}, {93, 200}, {100, 506}, {200, 500}, {99, 350}}},  // past the squares; an edge; outside
        {2, {{100, 505}}},
        {3, {{305, 200}}},
        {4, {{300, 500}, {294, 494}, {299, 499}}},
        {5, {{200, 350}, {106, 206}}},  // inside: a move
    };
    for (const auto& c : cases)
        for (Point at : c.at) EXPECT_EQ(IsHandleHit(r, at), c.handle) << at.v << "," << at.h;
    // Squares overlap on a narrow rectangle: the lower number wins.
    EXPECT_EQ(IsHandleHit(Rect{100, 200, 110, 208}, Point{105, 204}), 1);
    EXPECT_EQ(IsHandleHit(Rect{100, 200, 110, 208}, Point{108, 209}), 4);
}

struct DragCase {
    const char* name;
    int16_t handle;
    Point to;  // mouse-down at (0, 0)
    uint32_t modifiers;
    Rect expected;
};
TEST(FrameRectangle, CornerDragsFollowTheirRules) {
    PluginDataRec rec{};
    gConfigWorkSpace.TheConfig = &rec;
    const Rect start{100, 200, 300, 500};
    const Rect frame{0, 0, 400, 600};
    const RelRect orig = Rect2Rel(start, frame);
    const DragCase cases[] = {
        {"plain", 1, {5, 10}, 0, {105, 210, 300, 500}},
        {"about the centre", 1, {5, 10}, optionKey, {105, 210, 295, 490}},
        {"past the opposite corner", 4, {-300, -400}, 0, {0, 100, 100, 200}},
        {"onto the opposite corner keeps a pixel", 4, {-200, -300}, 0, {100, 200, 101, 201}},
        {"shift keeps the starting proportions", 1, {0, 50}, shiftKey, {100, 250, 267, 500}},
        {"other modifiers are ignored", 2, {-5, 10}, cmdKey | controlKey, {95, 200, 300, 510}},
        {"not a corner", 5, {40, 40}, 0, start},
    };
    for (const DragCase& c : cases) {
        Rect r = start;
        DragCorner(c.handle, r, Point{0, 0}, c.to, c.modifiers, frame, orig);
        EXPECT_EQ(r, c.expected) << c.name << ": " << r.top << "," << r.left << "," << r.bottom << "," << r.right;
    }
    Rect moved = start;
    DragRect(moved, Point{10, 10}, Point{-30, 25}, shiftKey);
    EXPECT_EQ(moved, (Rect{60, 215, 260, 515}));
    gConfigWorkSpace.TheConfig = nullptr;
}

TEST_F(DialogTest, DraggingTheRectangleMovesItLiveWithoutRelayingTheTiles) {
    Run(3, [&] {
        Drag(Get<QSlider>("ClpS"), 15);
        const RectField tiles = *config->Rects;
        const uint32_t preview = Crc(gConfigWorkSpace.TheFXClip);
        const double w = Find("Clip", 1)->width(), h = Find("Clip", 1)->height();
        // The top-left handle, out of the control (no change) and back in: the drag counts from its start.
        DragOnPreview(QPoint(2, 2), {QPoint(12, 12), QPoint(-40, 30), QPoint(72, 50)}, {}, [&] {
            EXPECT_NEAR(config->StartRel.Left, 70.0 / w, 1e-9);
            EXPECT_NEAR(config->StartRel.Top, 48.0 / h, 1e-9);
        });
        EXPECT_EQ(std::memcmp(&tiles, config->Rects, sizeof tiles), 0) << "tiles laid out again";
        EXPECT_NE(Crc(gConfigWorkSpace.TheFXClip), preview);
        // A move inside the rectangle follows the mouse step by step.
        const RelRect before = config->StartRel;
        DragOnPreview(QPoint(200, 150), {QPoint(210, 155), QPoint(230, 165)});
        EXPECT_NEAR(config->StartRel.Left - before.Left, 30.0 / w, 1e-9);
        EXPECT_NEAR(config->StartRel.Bottom - before.Bottom, 15.0 / h, 1e-9);
        Click("ok  ");
    });
}

TEST_F(DialogTest, KeepingProportionsGivesTheAreaThePreviewsShapeWidthKept) {
    config->StartRel = RelRect{0.1, 0.5, 0.1, 0.9};
    Run(3, [&] {
        QWidget* clip = Find("Clip", 1);
        const Rect box{0, 0, int16_t(clip->height()), int16_t(clip->width())};
        const Rect before = Rel2Rect(config->StartRel, box);
        QTest::mouseClick(Find("Keep", 1), Qt::LeftButton, {}, QPoint(4, Find("Keep", 1)->height() / 2));
        EXPECT_TRUE(config->KeepProps);
        const Rect after = Rel2Rect(config->StartRel, box);
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.right, before.right);
        const double width = after.right - after.left;
        EXPECT_NEAR(after.bottom - after.top, width * box.bottom / box.right, 1.0);
        Click("not!");
    });
    EXPECT_FALSE(config->KeepProps);
}

TEST_F(DialogTest, HandlesAreThreeRingsBlackColourBlack) {
    config->StartRel = RelRect{0.25, 0.75, 0.25, 0.75};
    Run(3, [&] {
        QWidget* clip = Find("Clip", 1);
        const QImage shot = clip->grab().toImage();
        // The top-left handle's rings cross the corner's row at 6, 5 and 4 pixels to its left.
        const Rect frame = Rel2Rect(config->StartRel, Rect{0, 0, int16_t(clip->height()), int16_t(clip->width())});
        const QPoint corner(frame.left, frame.top);
        EXPECT_EQ(shot.pixelColor(corner + QPoint(-6, 0)), QColor(0, 0, 0));
        EXPECT_EQ(shot.pixelColor(corner + QPoint(-5, 0)), QColor(255, 0, 0));
        EXPECT_EQ(shot.pixelColor(corner + QPoint(-4, 0)), QColor(0, 0, 0));
        EXPECT_EQ(shot.pixelColor(corner + QPoint(0, 0)), QColor(255, 0, 0)) << "the outline";
        Click("not!");
    });
}

struct PickCase {
    int16_t which;
    bool accept;
    bool choose = true;  // false: OK without touching the picker
};
class ColourBoxTest : public DialogTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(ColourBoxTest, APickedColourReachesTheRecordAndThePreviewACancelledOneChangesNothing) {
    const PickCase c = GetParam();
    config->Colors[1] = RGBColor{0x0000, 0x0100, 0xFF00};  // #0001FF: the darkest and brightest steps
    const RGBColor before = config->Colors[1];
    const bool changes = c.accept && c.choose;
    Run(c.which, [&] {
        Drag(Get<QSlider>("ClpS"), 20);
        const uint32_t preview = Crc(gConfigWorkSpace.TheFXClip);
        When([] { return qobject_cast<QColorDialog*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
            auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            if (c.choose) picker->setCurrentColor(QColor(0x12, 0x34, 0x56));
            c.accept ? picker->accept() : picker->reject(); });
        QTest::mouseClick(Find("Colr", 1), Qt::LeftButton);  // returns when the picker has closed
        EXPECT_EQ(Crc(gConfigWorkSpace.TheFXClip) != preview, changes);
        EXPECT_EQ(GetControl32BitValue(gConfigWorkSpace.Colors[1]), changes ? 0x123456 : 0x0001FF);
        Click("ok  ");
    });
    EXPECT_EQ(config->Colors[1], changes ? (RGBColor{0x1200, 0x3400, 0x5600}) : before);
}
INSTANTIATE_TEST_SUITE_P(Variants, ColourBoxTest,
                         ::testing::Values(PickCase{1, true}, PickCase{2, true}, PickCase{1, false},
                                           PickCase{3, true, false}));
}  // namespace

#include "dialog_test.moc"
