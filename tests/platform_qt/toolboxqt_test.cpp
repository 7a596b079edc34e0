// The Qt windowing backend as the plug-in sees it: kpblockwaves-ui.so from the built bundle, the
// bundle's interface files, and a host table that records what reaches the plug-in. Offscreen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ToolboxBackend.h"
#include "platform/qt/PortPixels.h"

// Sanitizer builds: fontconfig keeps caches it never frees; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

constexpr uint32_t Code(const char* s) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}
constexpr int32_t kNotHandled = -9874;
const std::string kResources = BW_TEST_BUNDLE "/Contents/Resources/";

// What reached the plug-in side.
struct Recorder {
    std::vector<uint32_t> commands;
    std::vector<int32_t> valueAtCommand;  // value of `watched` when each command came
    std::vector<BWCtl*> actions;
    std::vector<uint32_t> events;               // custom event kinds
    std::vector<std::vector<int32_t>> tracked;  // {result, v, h, modifiers} per TrackMouse
    std::vector<int16_t> hitParts;
    BWCtl* watched = nullptr;
    bool tracks = true;  // the custom class handles track events
    uint8_t* port = nullptr;
    int32_t rowBytes = 0;
} gRec;

const BWToolboxBackend* gTB = nullptr;

int32_t HostCommand(BWWin*, uint32_t command) {
    gRec.commands.push_back(command);
    gRec.valueAtCommand.push_back(gRec.watched ? gTB->GetValue(gRec.watched) : 0);
    return 0;
}
void HostAction(BWCtl* ctl, int16_t) { gRec.actions.push_back(ctl); }

// Draw: fills the control's bounds in the port with bytes A, R, G, B = FF 20 80 E0.
int32_t HostCustomEvent(BWCtl* ctl, uint32_t kind, int16_t v, int16_t h, uint32_t, int16_t* part) {
    gRec.events.push_back(kind);
    int16_t b[4];
    gTB->ControlBounds(ctl, b);
    switch (kind) {
        case kBWControlDraw:
            for (int y = b[0]; y < b[2] && gRec.port; y++)
                for (int x = b[1]; x < b[3]; x++) {
                    uint8_t* p = gRec.port + y * gRec.rowBytes + 4 * x;
                    p[0] = 0xFF, p[1] = 0x20, p[2] = 0x80, p[3] = 0xE0;
                }
            return 0;
        case kBWControlHitTest: *part = (v >= b[0] && v < b[2] && h >= b[1] && h < b[3]) ? 1 : 0; return 0;
        case kBWControlTrack:
            if (!gRec.tracks) return kNotHandled;
            for (;;) {
                int16_t tv = 0, th = 0;
                uint32_t modifiers = 0;
                const int32_t result = gTB->TrackMouse(nullptr, &tv, &th, &modifiers);
                gRec.tracked.push_back({result, tv, th, int32_t(modifiers)});
                if (result == kBWMouseTrackingMouseUp) return 0;
            }
        case kBWControlHit: gRec.hitParts.push_back(*part); return kNotHandled;
        default: return kNotHandled;
    }
}

const BWToolboxHost kHost = {HostCommand, HostAction, HostCustomEvent};

const BWToolboxBackend* LoadBackend() {
    void* object = dlopen(BW_TEST_BUNDLE "/Contents/Linux/kpblockwaves-ui.so", RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(object, nullptr) << dlerror();
    auto get = object ? reinterpret_cast<BWToolboxBackendProc>(dlsym(object, BW_TOOLBOX_BACKEND_SYMBOL)) : nullptr;
    EXPECT_NE(get, nullptr);
    return get ? get(&kHost) : nullptr;
}

void Screenshot(QWidget* dialog, const QString& name) {
    if (const char* dir = std::getenv("BW_QT_SCREENSHOTS")) dialog->grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

class Toolbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (gTB) return;
        gTB = LoadBackend();
        ASSERT_NE(gTB, nullptr);
        char why[200];
        ASSERT_EQ(gTB->Start(why, sizeof why), 0) << why;
    }
    void TearDown() override {
        for (BWWin* win : windows_) gTB->DisposeWindow(win);
        gRec = Recorder{};
    }
    // Loads, gives a port and shows the window; the test's QDialog is its widget.
    BWWin* Open(const char* file, const char* name) {
        int32_t err = 0;
        BWWin* win = gTB->LoadWindow((kResources + file).c_str(), name, &err);
        EXPECT_NE(win, nullptr) << name << " err " << err;
        if (!win) return nullptr;
        windows_.push_back(win);
        gTB->WindowSize(win, &width_, &height_);
        port_.assign(size_t(width_) * height_ * 4, 0);
        gRec.port = port_.data();
        gRec.rowBytes = width_ * 4;
        gTB->SetWindowPort(win, port_.data(), width_ * 4, width_, height_);
        gTB->ShowWindow(win);
        dialog_ = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && qobject_cast<QDialog*>(w) && !qobject_cast<QColorDialog*>(w)) dialog_ = w;
        EXPECT_TRUE(dialog_ && QTest::qWaitForWindowExposed(dialog_));
        return win;
    }
    QWidget* Widget(BWWin* win, const char* sig, int id) {
        BWCtl* ctl = gTB->FindControl(win, Code(sig), id);
        int16_t b[4] = {};
        if (ctl) gTB->ControlBounds(ctl, b);
        return ctl ? dialog_->childAt(b[1] + (b[3] - b[1]) / 2, b[0] + (b[2] - b[0]) / 2) : nullptr;
    }
    std::vector<BWWin*> windows_;
    std::vector<uint8_t> port_;
    int32_t width_ = 0, height_ = 0;
    QWidget* dialog_ = nullptr;
};

// Run by the ctest entry "...NoDisplay" with QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY empty.
TEST(ToolboxStart, WithoutADisplayRefusesWithAReasonInsteadOfEndingTheProcess) {
    if (QCoreApplication::instance() || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        GTEST_SKIP() << "a display is configured";
    const BWToolboxBackend* tb = LoadBackend();
    ASSERT_NE(tb, nullptr);
    char why[200] = "unchanged";
    EXPECT_NE(tb->Start(why, sizeof why), 0);
    EXPECT_STREQ(why, "no display: set DISPLAY or WAYLAND_DISPLAY (or QT_QPA_PLATFORM=offscreen)");
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

// ---- Every control the dialog addresses, in each of the three windows ----

struct ControlRow {
    char sig[5];
    int first, last;  // IDs
    char command[5];  // "" none; "#" the IDs' own 'Col1'..'Col6'
    const char* classID;
    int minimum, maximum;  // -1: set by the plug-in
};
const ControlRow kControls[] = {
    {"Clip", 1, 1, "", "com.qvz.clipfxpk.clip", 0, 1},
    {"Colr", 1, 6, "#", "com.qvz.clipfxpk.color", 0, 16777215},
    {"Pict", 1, 1, "", "com.qvz.clipfxpk.imageCTRL", 0, 0},
    {"CLgd", 1, 6, "", "", 0, 0},
    {"Sldr", 1, 2, "", "", 1, 100},
    {"Sldr", 3, 6, "", "", 0, 100},
    {"Lgnd", 1, 6, "", "", 0, 0},
    {"Labl", 1, 6, "", "", 0, 0},
    {"ClpS", 1, 1, "", "", -1, -1},
    {"ClpM", 1, 1, "", "", 0, 0},
    {"Rect", 1, 2, "", "", 0, 1},
    {"Medi", 1, 1, "Medi", "", 1, 3},
    {"Meth", 1, 1, "Meth", "", 1, 41},
    {"Rand", 1, 1, "Rand", "", 0, 1},
    {"Keep", 1, 1, "Keep", "", 0, 1},
    {"Sall", 1, 1, "Sall", "", 0, 0},
    {"Revi", 1, 1, "Revi", "", 0, 0},
    {"Adva", 1, 1, "Adva", "", 0, 0},
    {"Info", 1, 1, "Info", "", 0, 0},
    {"Help", 1, 1, "Help", "", 0, 0},
    {"Rset", 1, 1, "Rset", "", 0, 0},
    {"not!", 1, 1, "not!", "", 0, 0},
    {"ok  ", 1, 1, "ok  ", "", 0, 0},
};

struct WindowRow {
    const char* name;
    int previewWidth, previewHeight;
};
const WindowRow kWindows[] = {{"configNTSC", 720, 480}, {"configPAL", 720, 576}, {"configHD", 960, 540}};

class ConfigWindow : public Toolbox, public ::testing::WithParamInterface<WindowRow> {};

TEST_P(ConfigWindow, HoldsEveryControlWithItsSignatureCommandAndRange) {
    BWWin* win = Open("kpblockwaves.ui", GetParam().name);
    ASSERT_NE(win, nullptr);
    for (const ControlRow& row : kControls)
        for (int id = row.first; id <= row.last; id++) {
            SCOPED_TRACE(std::string(row.sig) + " " + std::to_string(id));
            BWCtl* ctl = gTB->FindControl(win, Code(row.sig), id);
            ASSERT_NE(ctl, nullptr);
            EXPECT_EQ(gTB->ControlOwner(ctl), win);
            const std::string cmd = row.command[0] == '#' ? "Col" + std::to_string(id) : row.command;
            EXPECT_EQ(gTB->GetCommand(ctl), cmd.empty() ? 0u : Code(cmd.c_str()));
            EXPECT_STREQ(gTB->ControlClass(ctl), row.classID);
            if (row.minimum >= 0) {
                EXPECT_EQ(gTB->GetMinimum(ctl), row.minimum);
                EXPECT_EQ(gTB->GetMaximum(ctl), row.maximum);
            }
        }
    EXPECT_EQ(gTB->FindControl(win, Code("Sldr"), 7), nullptr);
    // The preview at full size when the screen has room; bounds valid before any event.
    int16_t b[4];
    gTB->ControlBounds(gTB->FindControl(win, Code("Clip"), 1), b);
    EXPECT_EQ(b[3] - b[1], GetParam().previewWidth);
    EXPECT_EQ(b[2] - b[0], GetParam().previewHeight);
    EXPECT_LE(b[3], width_);
    EXPECT_LE(b[2], height_);
    Screenshot(dialog_, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(, ConfigWindow, ::testing::ValuesIn(kWindows),
                         [](const auto& info) { return std::string(info.param.name); });

// Run once with a screen that has room and once with a small one (ctest entry "...SmallScreen").
TEST_F(Toolbox, FitsTheScreenKeepingThePreviewProportions) {
    BWWin* win = Open("kpblockwaves.ui", "configHD");
    ASSERT_NE(win, nullptr);
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(width_, room.width());
    EXPECT_LE(height_, room.height());
    int16_t b[4];
    gTB->ControlBounds(gTB->FindControl(win, Code("Clip"), 1), b);
    EXPECT_NEAR(double(b[3] - b[1]) / (b[2] - b[0]), 960.0 / 540.0, 0.01);
    EXPECT_EQ(dialog_->size(), QSize(width_, height_));
}

TEST_F(Toolbox, LoadFailuresNameTheirCause) {
    const struct {
        std::string path;
        const char* name;
        int32_t err;
    } cases[] = {{kResources + "missing.ui", "about", -43},
                 {kResources + "about.ui", "configNTSC", -192},
                 {kResources + "kpblockwaves.ui", "nothing", -192}};
    for (const auto& c : cases) {
        int32_t err = 0;
        EXPECT_EQ(gTB->LoadWindow(c.path.c_str(), c.name, &err), nullptr);
        EXPECT_EQ(err, c.err) << c.path << " " << c.name;
    }
}

TEST_F(Toolbox, AboutWindowHoldsNameVersionAndOK) {
    BWWin* win = Open("about.ui", "about");
    ASSERT_NE(win, nullptr);
    for (const char* sig : {"Plug", "Vers"}) {
        BWCtl* ctl = gTB->FindControl(win, Code(sig), 1);
        ASSERT_NE(ctl, nullptr) << sig;
        gTB->SetText(ctl, "Version 3.0.0 ×");
    }
    EXPECT_EQ(gTB->GetCommand(gTB->FindControl(win, Code("ok  "), 1)), Code("ok  "));
    QTest::keyClick(dialog_, Qt::Key_Return);
    EXPECT_EQ(gRec.commands, std::vector<uint32_t>{Code("ok  ")});
    Screenshot(dialog_, "about");
}

// ---- Values ----

// Values set by the plug-in are clamped and send nothing; a disabled control reports its hilite.
TEST_F(Toolbox, SetValueClampsSilentlyAndHiliteFollowsTheWidget) {
    BWWin* win = Open("kpblockwaves.ui", "configNTSC");
    const struct {
        char sig[5];
        int id;
        int32_t set, expect;
    } cases[] = {{"Sldr", 1, 0, 1}, {"Sldr", 1, 101, 100}, {"Sldr", 3, -5, 0}, {"Sldr", 3, 37, 37}, {"Meth", 1, 0, 1}, {"Meth", 1, 42, 41}, {"Meth", 1, 41, 41}, {"Medi", 1, 9, 3}, {"Rand", 1, 5, 1}, {"Keep", 1, 0, 0}, {"Colr", 1, -1, 0}, {"Colr", 1, 1 << 24, 16777215}, {"Colr", 2, 0x123456, 0x123456}, {"Clip", 1, 2, 1}, {"Clip", 1, -1, 0}, {"ClpM", 1, 5, 0}};
    for (const auto& c : cases) {
        BWCtl* ctl = gTB->FindControl(win, Code(c.sig), c.id);
        gTB->SetValue(ctl, c.set);
        EXPECT_EQ(gTB->GetValue(ctl), c.expect) << c.sig << " " << c.id << " set " << c.set;
    }
    BWCtl* clip = gTB->FindControl(win, Code("ClpS"), 1);
    gTB->SetMaximum(clip, 29);
    gTB->SetValue(clip, 40);
    EXPECT_EQ(gTB->GetValue(clip), 29);
    gTB->SetMaximum(clip, 10);  // the range shrinks under the value
    EXPECT_EQ(gTB->GetValue(clip), 10);
    BWCtl* colour = gTB->FindControl(win, Code("Colr"), 1);
    EXPECT_EQ(gTB->GetHilite(colour), 0);
    Widget(win, "Colr", 1)->setEnabled(false);
    EXPECT_EQ(gTB->GetHilite(colour), kBWHiliteDisabled);
    QApplication::processEvents();
    EXPECT_TRUE(gRec.actions.empty());
    EXPECT_TRUE(gRec.commands.empty());
}

TEST_F(Toolbox, SliderDraggedByMouseSendsAnActionOnEveryStep) {
    BWWin* win = Open("kpblockwaves.ui", "configNTSC");
    BWCtl* ctl = gTB->FindControl(win, Code("Sldr"), 3);
    auto* slider = qobject_cast<QSlider*>(Widget(win, "Sldr", 3));
    ASSERT_NE(slider, nullptr);
    gTB->SetValue(ctl, 0);
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(4, y));
    std::vector<int32_t> seen;
    for (int x = 20; x <= slider->width() - 20; x += 30) {
        QTest::mouseMove(slider, QPoint(x, y));
        seen.push_back(gTB->GetValue(ctl));
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() - 20, y));
    ASSERT_GE(seen.size(), 3u);
    EXPECT_LT(seen.front(), seen.back());
    size_t changes = 0;
    for (size_t i = 0; i < seen.size(); i++) changes += seen[i] != (i ? seen[i - 1] : 0);
    EXPECT_EQ(gRec.actions.size(), changes);
    for (BWCtl* acted : gRec.actions) EXPECT_EQ(acted, ctl);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(gRec.actions.size(), changes + 1);
}

// ---- Commands ----

TEST_F(Toolbox, ButtonsKeysAndCloseBoxSendTheirCommands) {
    BWWin* win = Open("kpblockwaves.ui", "configPAL");
    std::vector<uint32_t> expected;
    for (const char* sig : {"ok  ", "not!", "Info", "Help", "Rset", "Sall", "Revi", "Adva"}) {
        QWidget* button = Widget(win, sig, 1);
        ASSERT_NE(button, nullptr) << sig;
        QTest::mouseClick(button, Qt::LeftButton);
        expected.push_back(Code(sig));
    }
    QTest::keyClick(dialog_, Qt::Key_Return);
    QTest::keyClick(dialog_, Qt::Key_Escape);
    dialog_->close();
    expected.insert(expected.end(), {Code("ok  "), Code("not!"), Code("not!")});  // Return, Escape, close box
    EXPECT_EQ(gRec.commands, expected);
    EXPECT_TRUE(dialog_->isVisible());  // only the plug-in closes its window
}

TEST_F(Toolbox, CheckBoxAndPopupSendTheirCommandAfterTheValueChanged) {
    BWWin* win = Open("kpblockwaves.ui", "configHD");
    gRec.watched = gTB->FindControl(win, Code("Rand"), 1);
    QTest::mouseClick(Widget(win, "Rand", 1), Qt::LeftButton);
    EXPECT_EQ(gRec.commands, std::vector<uint32_t>{Code("Rand")});
    EXPECT_EQ(gRec.valueAtCommand, std::vector<int32_t>{1});

    gRec.commands.clear();
    gRec.valueAtCommand.clear();
    gRec.watched = gTB->FindControl(win, Code("Meth"), 1);
    gTB->SetValue(gRec.watched, 7);
    auto* popup = qobject_cast<QComboBox*>(Widget(win, "Meth", 1));
    ASSERT_NE(popup, nullptr);
    emit popup->activated(popup->currentIndex());  // what a choice from the open list emits
    popup->setCurrentIndex(12);
    emit popup->activated(12);
    EXPECT_EQ(gRec.commands, (std::vector<uint32_t>{Code("Meth"), Code("Meth")}));
    EXPECT_EQ(gRec.valueAtCommand, (std::vector<int32_t>{7, 13}));
}

// ---- Custom controls ----

TEST_F(Toolbox, CustomViewShowsThePortPixelsItsDrawEventMade) {
    BWWin* win = Open("kpblockwaves.ui", "configNTSC");
    BWCtl* ctl = gTB->FindControl(win, Code("Clip"), 1);
    QWidget* view = Widget(win, "Clip", 1);
    ASSERT_NE(view, nullptr);
    gRec.events.clear();
    const QImage shot = view->grab().toImage();
    EXPECT_EQ(gRec.events, std::vector<uint32_t>{kBWControlDraw});
    EXPECT_EQ(shot.pixel(0, 0), qRgb(0x20, 0x80, 0xE0));
    EXPECT_EQ(shot.pixel(shot.width() - 1, shot.height() - 1), qRgb(0x20, 0x80, 0xE0));
    // Flush: the port as it is, no draw event.
    int16_t b[4];
    gTB->ControlBounds(ctl, b);
    uint8_t* p = port_.data() + b[0] * width_ * 4 + b[1] * 4;
    p[1] = 0x11, p[2] = 0x22, p[3] = 0x33;
    gRec.events.clear();
    gTB->FlushControl(ctl);
    EXPECT_TRUE(gRec.events.empty());
    gRec.port = nullptr;  // the draw events of grab() leave the port alone
    EXPECT_EQ(view->grab().toImage().pixel(0, 0), qRgb(0x11, 0x22, 0x33));
}

void Post(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {}) {
    QCoreApplication::postEvent(target, new QMouseEvent(type, QPointF(at), target->mapToGlobal(QPointF(at)),
                                                        Qt::LeftButton, buttons, modifiers));
}

// The press is posted with the moves and the release: a synchronous press would block in tracking.
TEST_F(Toolbox, TrackingSeesEveryMoveAndTheReleaseInWindowCoordinates) {
    BWWin* win = Open("kpblockwaves.ui", "configNTSC");
    int16_t b[4];
    gTB->ControlBounds(gTB->FindControl(win, Code("Clip"), 1), b);
    QWidget* view = Widget(win, "Clip", 1);
    Post(view, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    Post(view, QEvent::MouseMove, {20, 15}, Qt::LeftButton, Qt::ShiftModifier);
    Post(view, QEvent::MouseMove, {-5, 30}, Qt::LeftButton, Qt::AltModifier | Qt::ControlModifier);
    Post(view, QEvent::MouseButtonRelease, {40, 35}, Qt::NoButton, Qt::MetaModifier);
    QCoreApplication::processEvents();
    const std::vector<std::vector<int32_t>> expected = {
        {kBWMouseTrackingMouseDragged, b[0] + 15, b[1] + 20, kBWShiftKey},
        {kBWMouseTrackingMouseDragged, b[0] + 30, b[1] - 5, kBWOptionKey | kBWControlKey},
        {kBWMouseTrackingMouseUp, b[0] + 35, b[1] + 40, kBWCmdKey}};
    EXPECT_EQ(gRec.tracked, expected);
    EXPECT_EQ(gRec.hitParts, std::vector<int16_t>{1});
    EXPECT_TRUE(gRec.commands.empty());  // the preview has no command
}

TEST_F(Toolbox, UntrackedClassGetsTheHitOnAReleaseInsideThenItsCommand) {
    BWWin* win = Open("kpblockwaves.ui", "configNTSC");
    gRec.tracks = false;
    QWidget* box = Widget(win, "Colr", 1);
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::mousePress(box, Qt::LeftButton);
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(box->width() + 5, 2));  // released outside
    EXPECT_EQ(gRec.hitParts, std::vector<int16_t>{1});
    EXPECT_EQ(gRec.commands, std::vector<uint32_t>{Code("Col1")});
}

// The preview's pixel conversion: the fast rows against the scalar ones, odd widths, padding kept.
TEST(PortPixels, FastRowsMatchTheScalarOnesAndKeepThePadding) {
    const unsigned seed = 20240611;
    std::srand(seed);
    for (const int wid : {1, 3, 4, 17, 960}) {
        const int hig = 3, pad = 12;
        const ptrdiff_t srcRow = 4 * wid + pad, dstRow = 4 * wid + pad;
        std::vector<uint8_t> src(size_t(srcRow) * hig);
        for (uint8_t& b : src) b = uint8_t(std::rand());
        const std::vector<uint8_t> input = src;
        std::vector<uint8_t> scalar(size_t(dstRow) * hig, 0xA5), fast = scalar;
        bwqt::PortToRGB32Scalar(src.data(), srcRow, scalar.data(), dstRow, wid, hig);
        bwqt::PortToRGB32(src.data(), srcRow, fast.data(), dstRow, wid, hig);
        EXPECT_EQ(fast, scalar) << "width " << wid << " seed " << seed;
        EXPECT_EQ(src, input);
        for (int y = 0; y < hig; y++)
            for (int i = 4 * wid; i < dstRow; i++) ASSERT_EQ(fast[size_t(y * dstRow + i)], 0xA5) << "padding, width " << wid;
        uint32_t first;
        std::memcpy(&first, scalar.data(), 4);
        EXPECT_EQ(first, 0xFF000000u | uint32_t(src[1]) << 16 | uint32_t(src[2]) << 8 | src[3]);
    }
}

// ---- Modal loops and services ----

TEST_F(Toolbox, ModalLoopsNestAndEndOnQuit) {
    BWWin* dialog = Open("kpblockwaves.ui", "configNTSC");
    BWWin* about = Open("about.ui", "about");
    std::vector<std::string> order;
    QTimer::singleShot(0, [&] {
        order.push_back("dialog running");
        QTimer::singleShot(0, [&] {
            order.push_back("about running");
            gTB->QuitModal(about);
        });
        gTB->RunModal(about);
        order.push_back("about ended");
        gTB->QuitModal(dialog);
    });
    gTB->RunModal(dialog);
    EXPECT_EQ(order, (std::vector<std::string>{"dialog running", "about running", "about ended"}));
}

// xdotool windowclose: the X server destroys the window and tells its client with a DestroyNotify,
// given here as the xcb platform hands it to native event filters. The test's host does not end the
// loop on Cancel: the backend must, as the window is gone.
TEST_F(Toolbox, AWindowDestroyedFromOutsideEndsItsModalLoopWithCancel) {
    Open("kpblockwaves.ui", "configNTSC");  // hears nothing
    BWWin* other = Open("about.ui", "about");
    uint32_t otherId = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->findChild<QWidget*>("about")) otherId = uint32_t(w->winId());
    ASSERT_NE(otherId, 0u);
    bool timedOut = false;
    QTimer::singleShot(0, [&] {
        struct {
            uint8_t responseType, pad;
            uint16_t sequence;
            uint32_t event, window;
            uint8_t rest[20];
        } destroyed = {17, 0, 1, otherId, otherId, {}};
        qintptr result = 0;
        QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &destroyed, &result);
    });
    QTimer guard;  // stops with the test
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        gTB->QuitModal(other);
    });
    guard.start(5000);
    gTB->RunModal(other);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(gRec.commands, std::vector<uint32_t>{Code("not!")});
}

// Tests answer modal dialogs from a timer: `answer` gets the visible top-level window of type D.
template <class D, class F>
void AnswerDialog(F answer) {
    QTimer::singleShot(0, [answer] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<D*>(w); d && d->isVisible()) answer(d);
    });
}

TEST_F(Toolbox, ColourPickerGivesSixteenBitChannelsOrNothingWhenCancelledAndKeepsEveryLevel) {
    const uint16_t in[3] = {0xFF00, 0x8000, 0x0000};
    uint16_t out[3] = {1, 2, 3};
    AnswerDialog<QColorDialog>([](QColorDialog* picker) {
        picker->setCurrentColor(QColor(0x12, 0x34, 0xFE));
        picker->accept();
    });
    ASSERT_EQ(gTB->PickColor("Please choose color:", in, out), 1);
    EXPECT_EQ(std::vector<uint16_t>(out, out + 3), (std::vector<uint16_t>{0x1212, 0x3434, 0xFEFE}));
    AnswerDialog<QColorDialog>([](QColorDialog* picker) { picker->reject(); });
    EXPECT_EQ(gTB->PickColor("Please choose color:", in, out), 0);
    EXPECT_EQ(out[0], 0x1212);
    // Confirmed unchanged, it gives back every level of every channel as it came (the high byte of
    // each 16-bit channel; the channels differ so that none can stand for another).
    for (int level = 0; level <= 255; level++) {
        const uint16_t given[3] = {uint16_t(level << 8), uint16_t((255 - level) << 8), uint16_t(((level + 85) & 255) << 8)};
        AnswerDialog<QColorDialog>([](QColorDialog* picker) { picker->accept(); });
        ASSERT_EQ(gTB->PickColor("", given, out), 1);
        for (int c = 0; c < 3; c++) ASSERT_EQ(out[c] >> 8, given[c] >> 8) << "level " << level << " channel " << c;
    }
}

TEST_F(Toolbox, AlertAnswersOneForItsDefaultButtonAndTwoForCancel) {
    const struct {
        const char* cancel;
        const char* press;
        int16_t answer;
    } cases[] = {{"", "Go on", 1}, {"Stop", "Go on", 1}, {"Stop", "Stop", 2}};
    for (const auto& c : cases) {
        AnswerDialog<QMessageBox>([&c](QMessageBox* box) {
            // Wide enough for its title beside the frame's buttons, however short its text.
            EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(box->windowTitle()) + 120);
            for (QAbstractButton* button : box->buttons())
                if (button->text() == QString::fromUtf8(c.press)) button->click();
        });
        EXPECT_EQ(gTB->Alert(2, "Headline", "Text", "Go on", c.cancel), c.answer) << c.cancel << " " << c.press;
    }
}

// An empty path cancels; `shown` receives the title and the file the dialog started with.
void AnswerFileDialog(const QString& path, QStringList* shown = nullptr) {
    AnswerDialog<QFileDialog>([path, shown](QFileDialog* d) {
        if (shown) *shown = {d->windowTitle(), QFileInfo(d->selectedFiles().value(0)).fileName()};
        if (path.isEmpty()) return d->reject();
        d->selectFile(path);
        static_cast<QDialog*>(d)->accept();  // QFileDialog makes its accept protected
    });
}

TEST_F(Toolbox, FileDialogsGiveTheChosenPathOrNothing) {
    const QString dir = QDir::tempPath() + "/bw-file-dialog-" + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    const QString existing = dir + "/pic.png";
    ASSERT_TRUE(QFile(existing).open(QIODevice::WriteOnly));
    char out[4096];
    QStringList shown;
    AnswerFileDialog(existing, &shown);
    ASSERT_EQ(gTB->GetOpenFile("Choose Picture", "Files (*.png *.PNG)", out, sizeof out), 1);
    EXPECT_EQ(QString::fromUtf8(out), existing);
    EXPECT_EQ(shown.value(0), "Choose Picture");
    AnswerFileDialog("");
    EXPECT_EQ(gTB->GetOpenFile("Choose Picture", "", out, sizeof out), 0);
    AnswerFileDialog(existing);
    EXPECT_EQ(gTB->GetOpenFile("Choose Picture", "", out, 8), 0) << "a path longer than the buffer";
    int32_t replacing = -1;
    AnswerFileDialog(dir + "/new.png", &shown);
    ASSERT_EQ(gTB->GetSaveFile("Save as", "untitled.png", "", out, sizeof out, &replacing), 1);
    EXPECT_EQ(QString::fromUtf8(out), dir + "/new.png");
    EXPECT_EQ(shown, (QStringList{"Save as", "untitled.png"}));
    EXPECT_EQ(replacing, 0);
    AnswerFileDialog("");
    EXPECT_EQ(gTB->GetSaveFile("Save as", "untitled.png", "", out, sizeof out, &replacing), 0);
    QDir(dir).removeRecursively();
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

TEST_F(Toolbox, OpenDocumentAsksTheDesktopForTheFile) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    EXPECT_EQ(gTB->OpenDocument("/tmp/manual.pdf"), 0);
    EXPECT_NE(gTB->OpenDocument(""), 0);
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile("/tmp/manual.pdf")});
}

}  // namespace

#include "toolboxqt_test.moc"
