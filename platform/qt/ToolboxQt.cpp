// The windowing backend on Qt Widgets: windows from Qt Designer interface files, their controls
// addressed by the `signature` and `controlID` properties, modal loops, the colour picker, alerts
// and the desktop opener. Exports BWToolboxBackendGet and nothing else.
#include <QAbstractNativeEventFilter>
#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpacerItem>
#include <QUiLoader>
#include <QUrl>
#include <QVBoxLayout>

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/qt/ToolboxQt_p.h"

namespace {

using namespace bwqt;

constexpr int32_t cNotHandled = -9874;
constexpr int32_t cFileNotFound = -43;
constexpr int32_t cWindowNotFound = -192;
constexpr int32_t cOtherError = -108;
constexpr uint32_t cCommandOK = 0x6F6B2020;      // 'ok  '
constexpr uint32_t cCommandCancel = 0x6E6F7421;  // 'not!'
constexpr int cTitleBarAllowance = 40;           // pixels of window frame kept free when fitting a screen
constexpr double cMinPreviewScale = 0.25;        // a preview never shrinks below this to fit a screen
constexpr int cTitleButtonsAllowance = 120;      // pixels of a title bar taken by its icon and buttons
const char* const cDefaultTitle = "Blockwaves! Transitions";

BWToolboxHost lgHost = {};
std::vector<BWWin*> lgWindows;  // every window loaded and not yet destroyed

// The window went away without the plug-in's doing: it ends as the close box would, with Cancel,
// and its modal loop ends even if no handler took the command.
void WindowGone(BWWin* win) {
    if (win->gone) return;
    win->gone = true;
    SendCommand(win, cCommandCancel);
    if (win->modalLoop) win->modalLoop->exit();
}

// X11: another client (xdotool windowclose, xkill -id) may destroy a window; Qt does not report
// it, so the DestroyNotify of a window of ours is caught here.
class WindowDestroyedFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !message) return false;
        struct DestroyNotify {  // xcb_destroy_notify_event_t
            uint8_t responseType, pad;
            uint16_t sequence;
            uint32_t event, window;
        };
        constexpr uint8_t cDestroyNotify = 17;
        const auto* e = static_cast<const DestroyNotify*>(message);
        if ((e->responseType & 0x7F) != cDestroyNotify) return false;
        for (BWWin* win : std::vector<BWWin*>(lgWindows))  // a handler may dispose windows
            if (std::find(lgWindows.begin(), lgWindows.end(), win) != lgWindows.end() &&
                win->dialog->internalWinId() == WId(e->window))
                WindowGone(win);
        return false;
    }
};

// Once for the application object, whoever made it.
void WatchForDestroyedWindows() {
    // Kept for the life of the process and never removed: a static object's destructor could run
    // after Qt's own teardown at exit.
    static WindowDestroyedFilter* filter = nullptr;
    if (filter) return;
    filter = new WindowDestroyedFilter;
    QCoreApplication::instance()->installNativeEventFilter(filter);
}

// ---- Starting the application object ----

int32_t Refuse(char* why, size_t whyLen, const char* reason) {
    if (why && whyLen > 0) std::snprintf(why, whyLen, "%s", reason);
    return 1;
}

bool PlatformPluginPresent(const char* prefix) {
    const QDir dir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !dir.entryList({QString::fromLatin1(prefix) + QStringLiteral("*.so")}, QDir::Files).isEmpty();
}

// Asks the X server named by DISPLAY for a connection, through libxcb loaded for the occasion.
bool XServerReachable() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !PlatformPluginPresent("libqxcb")) return false;
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return false;
    using ConnectProc = void* (*)(const char*, int*);
    using ConnectionProc = int (*)(void*);
    using DisconnectProc = void (*)(void*);
    auto connect = reinterpret_cast<ConnectProc>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<ConnectionProc>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<DisconnectProc>(dlsym(xcb, "xcb_disconnect"));
    bool reachable = false;
    if (connect && hasError && disconnect) {
        void* connection = connect(nullptr, nullptr);
        reachable = connection && hasError(connection) == 0;
        if (connection) disconnect(connection);
    }
    dlclose(xcb);
    return reachable;
}

bool WaylandReachable() {
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty() || !PlatformPluginPresent("libqwayland")) return false;
    const QString socket =
        display.startsWith(QLatin1Char('/')) ? display : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + display;
    struct stat info;
    return stat(QFile::encodeName(socket).constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// The name of one entry of QT_QPA_PLATFORM as Qt reads it: entries are separated by ';', and an
// entry is the platform's name, then its options after ':' ("offscreen:configfile=/x.json").
QByteArray PlatformName(const QByteArray& entry) {
    for (const QByteArray& part : entry.split(':'))
        if (!part.trimmed().isEmpty()) return part.trimmed().toLower();
    return {};
}

bool PlatformOpens(const QByteArray& name) {
    if (name == "xcb") return XServerReachable();
    if (name.startsWith("wayland")) return WaylandReachable();
    return !name.isEmpty();
}

// The platform entry to give Qt (name and options), or false when Qt would end the process for
// want of a display. Of QT_QPA_PLATFORM's entries the first that can open is taken, as Qt tries
// them in order.
bool ChoosePlatform(QByteArray& platform) {
    const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
    if (!requested.isEmpty()) {
        for (const QByteArray& entry : requested.split(';')) {
            if (PlatformOpens(PlatformName(entry))) {
                platform = entry.trimmed();
                return true;
            }
        }
        return false;
    }
    if (WaylandReachable()) {
        platform = "wayland";
        return true;
    }
    if (XServerReachable()) {
        platform = "xcb";
        return true;
    }
    return false;
}

int32_t Start(char* why, size_t whyLen) {
    if (why && whyLen > 0) why[0] = 0;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(app)) return Refuse(why, whyLen, "the host's application object cannot show windows");
        WatchForDestroyedWindows();
        return 0;
    }
    QByteArray platform;
    if (!ChoosePlatform(platform)) {
        if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            return Refuse(why, whyLen,
                          ("no display: QT_QPA_PLATFORM=" + qgetenv("QT_QPA_PLATFORM") + " names no platform that can be opened")
                              .constData());
        return Refuse(why, whyLen, "no display: set DISPLAY or WAYLAND_DISPLAY (or QT_QPA_PLATFORM=offscreen)");
    }
    // QApplication keeps references to argc and argv for its whole life.
    static char arg0[] = "kpblockwaves";
    static char platformOption[] = "-platform";
    static QByteArray platformEntry;
    static char* argv[] = {arg0, platformOption, nullptr, nullptr};
    static int argc = 3;
    platformEntry = platform;
    argv[2] = platformEntry.data();
    auto* app = new QApplication(argc, argv);  // lives as long as the process
    app->setQuitOnLastWindowClosed(false);
    WatchForDestroyedWindows();
    return 0;
}

// ---- Windows ----

// Creates the widget of a custom control for the class the interface files declare as "HIView".
class Loader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className != QLatin1String("HIView")) return QUiLoader::createWidget(className, parent, name);
        auto* view = new ControlView(parent);
        view->setObjectName(name);
        return view;
    }
};

// The window: commands for Escape and the close box; it never closes by itself.
class WindowDialog : public QDialog {
public:
    explicit WindowDialog(BWWin* win) : win_(win) {}
    void accept() override {}
    void reject() override { SendCommand(win_, cCommandCancel); }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        SendCommand(win_, cCommandCancel);
    }

private:
    BWWin* win_;
};

// A four-character code from a property ("ok" and "ok  " alike), or 0.
uint32_t FourCharCode(const QVariant& property) {
    QByteArray text = property.toString().toLatin1();
    if (text.isEmpty()) return 0;
    text = text.leftJustified(4, ' ', true);
    uint32_t code = 0;
    for (int i = 0; i < 4; i++) code = code << 8 | static_cast<uint8_t>(text[i]);
    return code;
}

CtlKind KindOf(QWidget* widget) {
    if (dynamic_cast<ControlView*>(widget)) return CtlKind::kCustom;
    if (qobject_cast<QAbstractSlider*>(widget)) return CtlKind::kSlider;
    if (qobject_cast<QComboBox*>(widget)) return CtlKind::kPopup;
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) return CtlKind::kCheck;
    if (qobject_cast<QAbstractButton*>(widget)) return CtlKind::kButton;
    if (qobject_cast<QLabel*>(widget)) return CtlKind::kLabel;
    if (qobject_cast<QGroupBox*>(widget)) return CtlKind::kGroup;
    return CtlKind::kOther;
}

// Every widget with a `signature` property becomes a control; user actions reach the host.
void CollectControls(BWWin* win) {
    for (QWidget* widget : win->dialog->findChildren<QWidget*>()) {
        const uint32_t signature = FourCharCode(widget->property("signature"));
        if (signature == 0) continue;
        auto ctl = std::make_unique<BWCtl>();
        BWCtl* c = ctl.get();
        c->owner = win;
        c->widget = widget;
        c->kind = KindOf(widget);
        c->signature = signature;
        c->id = widget->property("controlID").toInt();
        c->command = FourCharCode(widget->property("command"));
        switch (c->kind) {
            case CtlKind::kCustom: {
                c->classID = widget->property("classID").toString().toUtf8();
                const QVariant minimum = widget->property("minimum"), maximum = widget->property("maximum");
                if (minimum.isValid()) c->minimum = minimum.toInt();
                if (maximum.isValid()) c->maximum = std::max(c->minimum, maximum.toInt());
                c->value = std::clamp(widget->property("value").toInt(), c->minimum, c->maximum);
                static_cast<ControlView*>(widget)->Attach(c);
                break;
            }
            case CtlKind::kSlider:
                // Values set by the plug-in come with signals blocked, so every change here is the user's.
                QObject::connect(static_cast<QAbstractSlider*>(widget), &QAbstractSlider::valueChanged, widget, [c] {
                    if (!lgHost.ControlAction) return;
                    BusyWindow busy(c->owner);
                    lgHost.ControlAction(c, 0);
                });
                break;
            case CtlKind::kPopup:
                QObject::connect(static_cast<QComboBox*>(widget), &QComboBox::activated, widget, [c] {
                    if (c->command) SendCommand(c->owner, c->command);
                });
                break;
            case CtlKind::kCheck:
            case CtlKind::kButton:
                QObject::connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, widget, [c] {
                    if (c->command) SendCommand(c->owner, c->command);
                });
                break;
            default:
                break;
        }
        win->controls.push_back(std::move(ctl));
    }
}

// Lays the window out now, so that sizes and bounds are right before the window is first shown
// (Qt otherwise settles nested layouts only when events are processed): size hints are gathered
// from the innermost layouts out, then geometries handed from the window in.
void Settle(BWWin* win) {
    if (win->dialog->isVisible() || !win->layoutDirty) return;
    win->layoutDirty = false;
    QList<QWidget*> widgets = win->dialog->findChildren<QWidget*>();
    widgets.prepend(win->dialog);
    const auto invalidate = [&] {
        for (QWidget* widget : widgets)
            if (widget->layout()) widget->layout()->invalidate();
    };
    invalidate();
    for (auto it = widgets.rbegin(); it != widgets.rend(); ++it)  // children first: size hints
        if ((*it)->layout()) (*it)->layout()->activate();
    invalidate();
    for (QWidget* widget : widgets)  // parents first: geometries
        if (widget->layout()) widget->layout()->activate();
}

// The window's size with the views scaled by f from their full sizes.
QSize WindowSizeAt(BWWin* win, const std::vector<std::pair<QWidget*, QSize>>& views, double f) {
    for (const auto& [view, full] : views)
        view->setFixedSize(std::max(1, qRound(full.width() * f)), std::max(1, qRound(full.height() * f)));
    win->layoutDirty = true;
    Settle(win);
    return win->dialog->size();
}

// Scales the custom views marked `scalesToScreen` down in proportion, as little as possible, until
// the window fits the screen's available area, or until shrinking them would not make it smaller.
void FitToScreen(BWWin* win) {
    Settle(win);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QSize room = screen->availableGeometry().size() - QSize(0, cTitleBarAllowance);
    const auto fits = [&](QSize size) { return size.width() <= room.width() && size.height() <= room.height(); };
    if (fits(win->dialog->size())) return;
    std::vector<std::pair<QWidget*, QSize>> views;
    for (const auto& ctl : win->controls)
        if (ctl->kind == CtlKind::kCustom && ctl->widget->property("scalesToScreen").toBool())
            views.emplace_back(ctl->widget, ctl->widget->size());
    if (views.empty()) return;
    room = room.expandedTo(WindowSizeAt(win, views, cMinPreviewScale));
    double lo = cMinPreviewScale, hi = 1.0;  // lo fits, hi does not
    for (int i = 0; i < 12; i++) {
        const double mid = (lo + hi) / 2;
        (fits(WindowSizeAt(win, views, mid)) ? lo : hi) = mid;
    }
    WindowSizeAt(win, views, lo);
}

void DestroyWindow(BWWin* win) {
    lgWindows.erase(std::remove(lgWindows.begin(), lgWindows.end(), win), lgWindows.end());
    delete win->dialog;  // first: its widgets' connections refer to the controls
    delete win;
}

BWWin* LoadWindowChecked(const char* uiPath, const char* name, int32_t* err) {
    if (!uiPath || !name || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
        *err = cOtherError;
        return nullptr;
    }
    QFile file(QString::fromUtf8(uiPath));
    if (!file.open(QIODevice::ReadOnly)) {
        *err = cFileNotFound;
        return nullptr;
    }
    Loader loader;
    loader.setWorkingDirectory(QFileInfo(file).absoluteDir());
    std::unique_ptr<QWidget> root(loader.load(&file));
    if (!root) {
        *err = cOtherError;
        return nullptr;
    }
    const QString objectName = QString::fromUtf8(name);
    QWidget* page = root->objectName() == objectName ? root.get() : root->findChild<QWidget*>(objectName);
    if (!page) {
        *err = cWindowNotFound;
        return nullptr;
    }
    if (page == root.get()) root.release();

    auto* win = new BWWin;
    win->dialog = new WindowDialog(win);
    win->dialog->setWindowTitle(page->windowTitle().isEmpty() ? QString::fromUtf8(cDefaultTitle) : page->windowTitle());
    win->dialog->setWindowModality(Qt::ApplicationModal);
    win->dialog->setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(win->dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // the window follows its content, never the user
    page->setParent(win->dialog);
    layout->addWidget(page);
    page->setVisible(true);
    root.reset();  // the other windows of the file

    CollectControls(win);
    FitToScreen(win);
    lgWindows.push_back(win);
    return win;
}

BWWin* LoadWindow(const char* uiPath, const char* name, int32_t* err) {
    int32_t ignored = 0;
    if (!err) err = &ignored;
    *err = 0;
    try {
        return LoadWindowChecked(uiPath, name, err);
    } catch (...) {
        *err = cOtherError;
        return nullptr;
    }
}

void DisposeWindow(BWWin* win) {
    if (!win) return;
    if (win->busy > 0) {  // called from inside one of its own events: finish them first
        lgWindows.erase(std::remove(lgWindows.begin(), lgWindows.end(), win), lgWindows.end());
        win->dialog->hide();
        win->disposePending = true;
        return;
    }
    DestroyWindow(win);
}

void WindowSize(BWWin* win, int32_t* width, int32_t* height) {
    QSize size;
    if (win) {
        Settle(win);
        size = win->dialog->size();
    }
    if (width) *width = size.width();
    if (height) *height = size.height();
}

void SetWindowPort(BWWin* win, const void* base, int32_t rowBytes, int32_t width, int32_t height) {
    if (!win) return;
    const bool usable = base && width > 0 && height > 0 && rowBytes >= 4 * width;
    win->portBase = usable ? static_cast<const uint8_t*>(base) : nullptr;
    win->portRowBytes = usable ? rowBytes : 0;
    win->portWidth = usable ? width : 0;
    win->portHeight = usable ? height : 0;
    for (const auto& ctl : win->controls)
        if (ctl->kind == CtlKind::kCustom && ctl->widget) ctl->widget->update();
}

void ShowWindow(BWWin* win) {
    if (win) win->dialog->show();
}

void SelectWindow(BWWin* win) {
    if (!win) return;
    win->dialog->raise();
    win->dialog->activateWindow();
}

void RunModal(BWWin* win) {
    if (!win || win->modalLoop || win->gone) return;  // a window gone has sent its Cancel already
    BusyWindow busy(win);
    if (!win->dialog->isVisible()) win->dialog->show();  // a hidden window could never end the loop
    QEventLoop loop;
    win->modalLoop = &loop;
    loop.exec(QEventLoop::DialogExec);
    win->modalLoop = nullptr;
}

void QuitModal(BWWin* win) {
    if (win && win->modalLoop) win->modalLoop->exit();
}

// ---- Controls ----

BWCtl* FindControl(BWWin* win, uint32_t signature, int32_t id) {
    if (!win) return nullptr;
    for (const auto& ctl : win->controls)
        if (ctl->signature == signature && ctl->id == id && ctl->widget) return ctl.get();
    return nullptr;
}

BWWin* ControlOwner(BWCtl* ctl) {
    return ctl ? ctl->owner : nullptr;
}

int16_t Clamp16(int value) {
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

void ControlBounds(BWCtl* ctl, int16_t bounds[4]) {
    QRect r;
    if (ctl && ctl->widget) {
        Settle(ctl->owner);
        r = QRect(WindowOrigin(ctl->widget, ctl->owner), ctl->widget->size());
    }
    bounds[0] = Clamp16(r.top());
    bounds[1] = Clamp16(r.left());
    bounds[2] = Clamp16(r.top() + r.height());
    bounds[3] = Clamp16(r.left() + r.width());
}

int32_t GetMinimum(BWCtl* ctl) {
    if (!ctl || !ctl->widget) return 0;
    switch (ctl->kind) {
        case CtlKind::kSlider: return static_cast<QAbstractSlider*>(ctl->widget.data())->minimum();
        case CtlKind::kPopup: return 1;
        case CtlKind::kCustom: return ctl->minimum;
        default: return 0;
    }
}

int32_t GetMaximum(BWCtl* ctl) {
    if (!ctl || !ctl->widget) return 0;
    switch (ctl->kind) {
        case CtlKind::kSlider: return static_cast<QAbstractSlider*>(ctl->widget.data())->maximum();
        case CtlKind::kPopup: return static_cast<QComboBox*>(ctl->widget.data())->count();
        case CtlKind::kCheck: return 1;
        case CtlKind::kCustom: return ctl->maximum;
        default: return 0;
    }
}

int32_t GetValue(BWCtl* ctl) {
    if (!ctl || !ctl->widget) return 0;
    switch (ctl->kind) {
        case CtlKind::kSlider: return static_cast<QAbstractSlider*>(ctl->widget.data())->value();
        case CtlKind::kPopup: return static_cast<QComboBox*>(ctl->widget.data())->currentIndex() + 1;
        case CtlKind::kCheck: return static_cast<QAbstractButton*>(ctl->widget.data())->isChecked() ? 1 : 0;
        case CtlKind::kCustom: return ctl->value;
        default: return 0;
    }
}

// Programmatic changes never reach the host: signals stay blocked.
void SetValue(BWCtl* ctl, int32_t value) {
    if (!ctl || !ctl->widget) return;
    QWidget* widget = ctl->widget;
    const QSignalBlocker blocker(widget);
    switch (ctl->kind) {
        case CtlKind::kSlider: static_cast<QAbstractSlider*>(widget)->setValue(value); break;  // clamps
        case CtlKind::kPopup: {
            auto* popup = static_cast<QComboBox*>(widget);
            if (popup->count() > 0) popup->setCurrentIndex(std::clamp(value, 1, popup->count()) - 1);
            break;
        }
        case CtlKind::kCheck: static_cast<QAbstractButton*>(widget)->setChecked(value != 0); break;
        case CtlKind::kCustom:
            ctl->value = std::clamp(value, ctl->minimum, ctl->maximum);
            widget->update();  // every set redraws: the plug-in flips the preview's value for that
            break;
        default: break;
    }
}

void SetMinimum(BWCtl* ctl, int32_t value) {
    if (!ctl || !ctl->widget) return;
    const QSignalBlocker blocker(ctl->widget.data());
    if (ctl->kind == CtlKind::kSlider) {
        static_cast<QAbstractSlider*>(ctl->widget.data())->setMinimum(value);
    } else if (ctl->kind == CtlKind::kCustom) {
        ctl->minimum = value;
        ctl->maximum = std::max(ctl->maximum, value);
        ctl->value = std::clamp(ctl->value, ctl->minimum, ctl->maximum);
    }
}

void SetMaximum(BWCtl* ctl, int32_t value) {
    if (!ctl || !ctl->widget) return;
    const QSignalBlocker blocker(ctl->widget.data());
    if (ctl->kind == CtlKind::kSlider) {
        static_cast<QAbstractSlider*>(ctl->widget.data())->setMaximum(value);
    } else if (ctl->kind == CtlKind::kCustom) {
        ctl->maximum = value;
        ctl->minimum = std::min(ctl->minimum, value);
        ctl->value = std::clamp(ctl->value, ctl->minimum, ctl->maximum);
    }
}

void SetText(BWCtl* ctl, const char* utf8) {
    if (!ctl || !ctl->widget || !utf8) return;
    const QString text = QString::fromUtf8(utf8);
    ctl->owner->layoutDirty = true;
    if (auto* label = qobject_cast<QLabel*>(ctl->widget)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(ctl->widget)) button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(ctl->widget)) group->setTitle(text);
}

void SetVisible(BWCtl* ctl, int32_t visible) {
    if (!ctl || !ctl->widget) return;
    ctl->widget->setVisible(visible != 0);
    ctl->owner->layoutDirty = true;
}

int32_t IsVisible(BWCtl* ctl) {
    return ctl && ctl->widget && ctl->widget->isVisibleTo(ctl->owner->dialog) ? 1 : 0;
}

// Windows offscreen may never become active, so only the disabled state is reported.
int32_t GetHilite(BWCtl* ctl) {
    return ctl && ctl->widget && !ctl->widget->isEnabled() ? kBWHiliteDisabled : 0;
}

uint32_t GetCommand(BWCtl* ctl) {
    return ctl ? ctl->command : 0;
}

const char* ControlClass(BWCtl* ctl) {
    return ctl && ctl->kind == CtlKind::kCustom ? ctl->classID.constData() : "";
}

void DrawControl(BWCtl* ctl) {
    if (ctl && ctl->widget) ctl->widget->repaint();
}

void FlushControl(BWCtl* ctl) {
    if (ctl && ctl->widget && ctl->kind == CtlKind::kCustom) static_cast<ControlView*>(ctl->widget.data())->FlushNow();
}

// Without a control: the one whose track event is running.
int32_t TrackMouse(BWCtl* ctl, int16_t* v, int16_t* h, uint32_t* modifiers) {
    ControlView* view = ctl && ctl->widget && ctl->kind == CtlKind::kCustom ? static_cast<ControlView*>(ctl->widget.data())
                                                                            : TrackingView();
    if (view) return view->WaitForMouse(v, h, modifiers);
    if (v) *v = 0;
    if (h) *h = 0;
    if (modifiers) *modifiers = 0;
    return kBWMouseTrackingMouseUp;
}

// ---- Standard services ----

// A modal QColorDialog. Tests answer it from a timer: the dialog is the visible QColorDialog among
// QApplication::topLevelWidgets(); setCurrentColor then accept() or reject() it.
// The picker holds 8 bits a channel: a 16-bit channel enters as its high byte (Qt's own rounding
// of 0xFF00 would give 0xFE) and leaves as the byte repeated, whose high byte is the byte again, so
// OK without a change gives back what came in.
int32_t PickColor(const char* prompt, const uint16_t in[3], uint16_t out[3]) {
    if (!in || !out) return 0;
    const QColor initial(in[0] >> 8, in[1] >> 8, in[2] >> 8);
    const QColor chosen = QColorDialog::getColor(initial, nullptr, prompt ? QString::fromUtf8(prompt) : QString());
    if (!chosen.isValid()) return 0;
    const QRgba64 rgb = chosen.rgba64();
    out[0] = rgb.red();
    out[1] = rgb.green();
    out[2] = rgb.blue();
    return 1;
}

int16_t Alert(int32_t type, const char* headline, const char* text, const char* ok, const char* cancel) {
    static constexpr QMessageBox::Icon cIcons[] = {QMessageBox::Critical, QMessageBox::Information, QMessageBox::Warning};
    QMessageBox box(type >= 0 && type <= 2 ? cIcons[type] : QMessageBox::Warning, QString::fromUtf8(cDefaultTitle),
                    QString::fromUtf8(headline ? headline : ""));
    if (text && *text) box.setInformativeText(QString::fromUtf8(text));
    QPushButton* okButton = box.addButton(QString::fromUtf8(ok && *ok ? ok : "OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(okButton);
    if (cancel && *cancel) box.setEscapeButton(box.addButton(QString::fromUtf8(cancel), QMessageBox::RejectRole));
    else box.setEscapeButton(okButton);
    // A box as narrow as a short text would cut its title: it is made wide enough for the title and
    // the frame's buttons beside it.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + cTitleButtonsAllowance;
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
    return box.clickedButton() == okButton ? 1 : 2;
}

int32_t OpenDocument(const char* path) {
    if (!path || !*path) return 1;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromUtf8(path))) ? 0 : 1;
}

// File dialogs are Qt's own (not the desktop's), so that they look alike everywhere and tests can
// answer them: the visible QFileDialog among the top levels.
int32_t RunFileDialog(QFileDialog& dialog, char* outPath, size_t size) {
    if (!outPath || size == 0) return 0;
    outPath[0] = 0;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    const QByteArray path = QFile::encodeName(dialog.selectedFiles().first());
    if (size_t(path.size()) >= size) return 0;
    std::memcpy(outPath, path.constData(), size_t(path.size()) + 1);
    return 1;
}

int32_t GetOpenFile(const char* title, const char* filter, char* outPath, size_t size) {
    QFileDialog dialog(nullptr, QString::fromUtf8(title ? title : ""));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (filter && *filter) dialog.setNameFilter(QString::fromUtf8(filter));
    return RunFileDialog(dialog, outPath, size);
}

int32_t GetSaveFile(const char* title, const char* defaultName, const char* filter, char* outPath, size_t size,
                    int32_t* replacing) {
    if (replacing) *replacing = 0;
    QFileDialog dialog(nullptr, QString::fromUtf8(title ? title : ""));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (filter && *filter) dialog.setNameFilter(QString::fromUtf8(filter));
    if (defaultName && *defaultName) dialog.selectFile(QString::fromUtf8(defaultName));
    const int32_t chosen = RunFileDialog(dialog, outPath, size);
    if (chosen && replacing) *replacing = QFileInfo::exists(QFile::decodeName(outPath)) ? 1 : 0;
    return chosen;
}

// Nothing thrown crosses the C table: a failure gives the function's zero value.
template <auto F>
struct Safe;
template <typename R, typename... A, R (*F)(A...)>
struct Safe<F> {
    static R Call(A... args) noexcept {
        try {
            return F(args...);
        } catch (...) {
            if constexpr (!std::is_void_v<R>) return R{};
        }
    }
};

const BWToolboxBackend cBackend = {
    kBWToolboxVersion,
    Safe<Start>::Call,
    LoadWindow,
    Safe<DisposeWindow>::Call,
    Safe<WindowSize>::Call,
    Safe<SetWindowPort>::Call,
    Safe<ShowWindow>::Call,
    Safe<SelectWindow>::Call,
    Safe<RunModal>::Call,
    Safe<QuitModal>::Call,
    Safe<FindControl>::Call,
    Safe<ControlOwner>::Call,
    Safe<ControlBounds>::Call,
    Safe<GetValue>::Call,
    Safe<SetValue>::Call,
    Safe<GetMinimum>::Call,
    Safe<GetMaximum>::Call,
    Safe<SetMinimum>::Call,
    Safe<SetMaximum>::Call,
    Safe<SetText>::Call,
    Safe<SetVisible>::Call,
    Safe<IsVisible>::Call,
    Safe<GetHilite>::Call,
    Safe<GetCommand>::Call,
    Safe<ControlClass>::Call,
    Safe<DrawControl>::Call,
    Safe<FlushControl>::Call,
    Safe<TrackMouse>::Call,
    Safe<PickColor>::Call,
    Safe<Alert>::Call,
    Safe<OpenDocument>::Call,
    Safe<GetOpenFile>::Call,
    Safe<GetSaveFile>::Call,
};

}  // namespace

namespace bwqt {

const BWToolboxHost& Host() {
    return lgHost;
}

BusyWindow::BusyWindow(BWWin* win) : win_(win) {
    if (win_) win_->busy++;
}

BusyWindow::~BusyWindow() {
    if (!win_ || --win_->busy > 0 || !win_->disposePending) return;
    // Disposed from inside its own events: delete once the event that is running has returned.
    BWWin* win = win_;
    QObject::connect(win->dialog, &QObject::destroyed, [win] { delete win; });
    win->dialog->deleteLater();
    win->disposePending = false;
}

int32_t SendCommand(BWWin* win, uint32_t command) {
    if (!lgHost.Command) return cNotHandled;
    BusyWindow busy(win);
    return lgHost.Command(win, command);
}

QPoint WindowOrigin(const QWidget* widget, const BWWin* win) {
    return widget->mapTo(win->dialog, QPoint(0, 0));
}

uint32_t ToolboxModifiers(Qt::KeyboardModifiers modifiers) {
    uint32_t bits = 0;
    if (modifiers & Qt::ShiftModifier) bits |= kBWShiftKey;
    if (modifiers & Qt::AltModifier) bits |= kBWOptionKey;
    if (modifiers & Qt::ControlModifier) bits |= kBWControlKey;
    if (modifiers & Qt::MetaModifier) bits |= kBWCmdKey;
    return bits;
}

}  // namespace bwqt

extern "C" __attribute__((visibility("default"))) const BWToolboxBackend* BWToolboxBackendGet(const BWToolboxHost* host) {
    lgHost = host ? *host : BWToolboxHost{};
    return &cBackend;
}
