// Records shared by the Qt windowing backend's files: a window made from an interface file, the
// controls found in it by their signature and ID properties, and the widget that shows a custom
// control (the port's pixels under its bounds). The backend owns all of them.
#pragma once
#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <memory>
#include <vector>

#include "platform/ToolboxBackend.h"

class QEventLoop;

enum class CtlKind { kLabel,
                     kSlider,
                     kPopup,
                     kCheck,
                     kButton,
                     kGroup,
                     kCustom,
                     kOther };

struct BWCtl {
    BWWin* owner = nullptr;
    QPointer<QWidget> widget;
    CtlKind kind = CtlKind::kOther;
    uint32_t signature = 0;
    int32_t id = 0;
    uint32_t command = 0;  // 0: none
    QByteArray classID;    // custom controls only
    int32_t value = 0;     // custom controls keep their value here
    int32_t minimum = 0;
    int32_t maximum = 1;
};

struct BWWin {
    QDialog* dialog = nullptr;
    std::vector<std::unique_ptr<BWCtl>> controls;
    QEventLoop* modalLoop = nullptr;  // while RunModal runs
    int busy = 0;                     // calls into the host now running for this window
    bool disposePending = false;      // DisposeWindow came while busy
    bool layoutDirty = true;          // shown or hidden controls, new texts: lay out before measuring
    bool gone = false;                // its native window was destroyed from outside
    // The port custom controls show; window coordinates.
    const uint8_t* portBase = nullptr;
    int32_t portRowBytes = 0;
    int32_t portWidth = 0;
    int32_t portHeight = 0;
};

namespace bwqt {

const BWToolboxHost& Host();

// Marks a window busy while the host runs code for it, so that DisposeWindow then only hides it
// and the window is deleted when the outermost call returns.
class BusyWindow {
public:
    explicit BusyWindow(BWWin* win);
    ~BusyWindow();
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

private:
    BWWin* win_;
};

int32_t SendCommand(BWWin* win, uint32_t command);
// Window coordinates of a widget's top-left corner.
QPoint WindowOrigin(const QWidget* widget, const BWWin* win);
uint32_t ToolboxModifiers(Qt::KeyboardModifiers modifiers);

// The widget of a custom control: a draw event to the plug-in, then the port's pixels. A press runs
// the toolbox sequence: hit test, then track (or wait for the release inside), then hit.
class ControlView : public QWidget {
public:
    explicit ControlView(QWidget* parent);
    void Attach(BWCtl* ctl) { ctl_ = ctl; }
    void FlushNow();  // repaint without a draw event
    // TrackMouse: the next move or release of the pressed button.
    int32_t WaitForMouse(int16_t* v, int16_t* h, uint32_t* modifiers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct MouseStep {
        int32_t result;  // kBWMouseTrackingMouseDragged or kBWMouseTrackingMouseUp
        QPoint where;    // window coordinates
        uint32_t modifiers;
    };
    void Enqueue(int32_t result, QPoint where, uint32_t modifiers);
    void SendHit(int16_t part);

    BWCtl* ctl_ = nullptr;
    QImage pixels_;  // the port's rectangle under the control, as 0xffRRGGBB words
    bool skipDraw_ = false;
    bool tracking_ = false;         // a track event is running
    bool released_ = false;         // ... and TrackMouse has reported the release
    bool awaitingRelease_ = false;  // the class does not track: the hit comes with the release
    int16_t pressPart_ = 0;
    std::deque<MouseStep> steps_;  // moves and the release not yet taken by TrackMouse
    QEventLoop* waitLoop_ = nullptr;
    MouseStep last_ = {kBWMouseTrackingMouseUp, QPoint(), 0};
};

// The control whose track event is running, or null.
ControlView* TrackingView();

}  // namespace bwqt
