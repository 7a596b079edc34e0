#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>

#include "platform/qt/PortPixels.h"
#include "platform/qt/ToolboxQt_p.h"

namespace bwqt {

namespace {
constexpr int32_t cNotHandled = -9874;
QPointer<ControlView> lgTracking;  // the control whose track event is running
}  // namespace

ControlView* TrackingView() {
    return lgTracking.data();
}

ControlView::ControlView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ControlView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!ctl_) {
        painter.fillRect(rect(), palette().base());
        return;
    }
    BWWin* win = ctl_->owner;
    if (!skipDraw_ && Host().CustomEvent) {
        BusyWindow busy(win);
        int16_t part = 0;
        Host().CustomEvent(ctl_, kBWControlDraw, 0, 0, 0, &part);
    }
    // Only the port's rectangle under the control is converted, once per paint.
    const QPoint origin = WindowOrigin(this, win);
    const QRect area = QRect(origin, size()).intersected(QRect(0, 0, win->portWidth, win->portHeight));
    if (!win->portBase || area.isEmpty()) {
        painter.fillRect(rect(), palette().base());
        return;
    }
    if (pixels_.size() != area.size()) pixels_ = QImage(area.size(), QImage::Format_RGB32);
    PortToRGB32(win->portBase + static_cast<ptrdiff_t>(area.top()) * win->portRowBytes + 4 * area.left(),
                win->portRowBytes, pixels_.bits(), pixels_.bytesPerLine(), area.width(), area.height());
    const QPoint at = area.topLeft() - origin;
    painter.drawImage(at, pixels_);
    if (area.size() != size()) {  // the port does not cover the whole control
        QRegion rest(rect());
        rest -= QRect(at, area.size());
        for (const QRect& r : rest) painter.fillRect(r, palette().base());
    }
}

void ControlView::FlushNow() {
    skipDraw_ = true;
    repaint();
    skipDraw_ = false;
}

void ControlView::mousePressEvent(QMouseEvent* event) {
    if (!ctl_ || !Host().CustomEvent || event->button() != Qt::LeftButton || tracking_) return;
    BWWin* win = ctl_->owner;
    BusyWindow busy(win);
    const QPoint at = WindowOrigin(this, win) + event->position().toPoint();
    const uint32_t modifiers = ToolboxModifiers(event->modifiers());
    last_ = {kBWMouseTrackingMouseDragged, at, modifiers};
    awaitingRelease_ = false;
    int16_t part = 0;
    Host().CustomEvent(ctl_, kBWControlHitTest, static_cast<int16_t>(at.y()), static_cast<int16_t>(at.x()),
                       modifiers, &part);
    if (part == 0) return;

    const QPointer<ControlView> outer = lgTracking;
    lgTracking = this;
    tracking_ = true;
    released_ = false;
    steps_.clear();
    int16_t tracked = part;
    const int32_t status = Host().CustomEvent(ctl_, kBWControlTrack, static_cast<int16_t>(at.y()),
                                              static_cast<int16_t>(at.x()), modifiers, &tracked);
    tracking_ = false;
    steps_.clear();
    lgTracking = outer;
    if (status == cNotHandled) {  // the class does not track: the hit comes with a release inside
        awaitingRelease_ = !released_;
        pressPart_ = part;
    } else if (tracked != 0) {  // the class tracked until the release (TrackMouse)
        SendHit(tracked);
    }
}

void ControlView::mouseMoveEvent(QMouseEvent* event) {
    if (ctl_ && tracking_)
        Enqueue(kBWMouseTrackingMouseDragged, WindowOrigin(this, ctl_->owner) + event->position().toPoint(),
                ToolboxModifiers(event->modifiers()));
}

void ControlView::mouseReleaseEvent(QMouseEvent* event) {
    if (!ctl_ || event->button() != Qt::LeftButton) return;
    const QPoint at = WindowOrigin(this, ctl_->owner) + event->position().toPoint();
    const uint32_t modifiers = ToolboxModifiers(event->modifiers());
    if (tracking_) {
        Enqueue(kBWMouseTrackingMouseUp, at, modifiers);
        return;
    }
    if (!awaitingRelease_) return;
    awaitingRelease_ = false;
    last_ = {kBWMouseTrackingMouseUp, at, modifiers};
    if (rect().contains(event->position().toPoint())) SendHit(pressPart_);
}

void ControlView::hideEvent(QHideEvent* event) {
    if (tracking_) Enqueue(kBWMouseTrackingMouseUp, last_.where, last_.modifiers);
    awaitingRelease_ = false;
    QWidget::hideEvent(event);
}

// A hit the class does not handle sends the control's command to the window.
void ControlView::SendHit(int16_t part) {
    if (!Host().CustomEvent) return;
    BWWin* win = ctl_->owner;
    BusyWindow busy(win);
    int16_t hit = part;
    if (Host().CustomEvent(ctl_, kBWControlHit, static_cast<int16_t>(last_.where.y()),
                           static_cast<int16_t>(last_.where.x()), last_.modifiers, &hit) == cNotHandled &&
        ctl_->command != 0)
        SendCommand(win, ctl_->command);
}

// One event loop pass can deliver several events, so they wait in a queue; a move replaces a
// move before it with the same modifiers that TrackMouse has not taken yet.
void ControlView::Enqueue(int32_t result, QPoint where, uint32_t modifiers) {
    if (result == kBWMouseTrackingMouseDragged && !steps_.empty() &&
        steps_.back().result == kBWMouseTrackingMouseDragged && steps_.back().modifiers == modifiers)
        steps_.pop_back();
    steps_.push_back({result, where, modifiers});
    if (waitLoop_) waitLoop_->quit();
}

// The press that started the tracking is still being handled further up the stack, so the moves
// and the release arrive through a nested event loop. Synthesised input delivered synchronously
// (QTest::mousePress) would block in here: tests post the press, the moves and the release with
// QCoreApplication::postEvent instead.
int32_t ControlView::WaitForMouse(int16_t* v, int16_t* h, uint32_t* modifiers) {
    if (tracking_ && !released_) {
        if (steps_.empty() && !waitLoop_) {
            QEventLoop loop;
            waitLoop_ = &loop;
            loop.exec();
            waitLoop_ = nullptr;
        }
        if (!steps_.empty()) {
            last_ = steps_.front();
            steps_.pop_front();
        } else {  // the loop was ended from elsewhere (the application quits): end the tracking
            last_.result = kBWMouseTrackingMouseUp;
        }
        released_ = last_.result == kBWMouseTrackingMouseUp;
    }
    const int32_t result = tracking_ && !released_ ? kBWMouseTrackingMouseDragged : kBWMouseTrackingMouseUp;
    if (v) *v = static_cast<int16_t>(last_.where.y());
    if (h) *h = static_cast<int16_t>(last_.where.x());
    if (modifiers) *modifiers = last_.modifiers;
    return result;
}

}  // namespace bwqt
