#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>

#include <bit>
#include <cstring>

#include "platform/qt/ToolboxQt_p.h"

namespace bwqt {

namespace {
constexpr int32_t kNotHandled = -9874;
}

void PortToRGB32(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, qsizetype dstRowBytes, int wid, int hig) {
    for (int y = 0; y < hig; y++) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(y) * srcRowBytes;
        uint32_t* d = reinterpret_cast<uint32_t*>(dst + y * dstRowBytes);
        for (int x = 0; x < wid; x++) {
            uint32_t argb;  // bytes A, R, G, B in memory
            std::memcpy(&argb, s + 4 * x, 4);
            if constexpr (std::endian::native == std::endian::little) argb = __builtin_bswap32(argb);
            d[x] = argb | 0xFF000000u;  // shown opaque
        }
    }
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
    if (!ctl_ || !Host().CustomEvent || event->button() != Qt::LeftButton || pressed_) return;
    BWWin* win = ctl_->owner;
    BusyWindow busy(win);
    const QPoint at = WindowOrigin(this, win) + event->position().toPoint();
    const uint32_t modifiers = ToolboxModifiers(event->modifiers());
    int16_t part = 0;
    Host().CustomEvent(ctl_, kBWControlHitTest, static_cast<int16_t>(at.y()), static_cast<int16_t>(at.x()),
                       modifiers, &part);
    if (part == 0) return;

    pressed_ = true;
    lastPos_ = at;
    lastModifiers_ = modifiers;
    int16_t tracked = part;
    const int32_t status = Host().CustomEvent(ctl_, kBWControlTrack, static_cast<int16_t>(at.y()),
                                              static_cast<int16_t>(at.x()), modifiers, &tracked);
    if (status == kNotHandled) {  // the class does not track: the hit comes with the release inside
        pressPart_ = part;
        return;
    }
    // The class tracked until the release (TrackMouse).
    pressed_ = false;
    if (tracked == 0) return;
    int16_t hit = tracked;
    if (Host().CustomEvent(ctl_, kBWControlHit, static_cast<int16_t>(lastPos_.y()), static_cast<int16_t>(lastPos_.x()),
                           lastModifiers_, &hit) == kNotHandled && ctl_->command != 0)
        SendCommand(win, ctl_->command);
}

void ControlView::mouseMoveEvent(QMouseEvent* event) {
    if (!ctl_ || !waitLoop_) return;
    lastPos_ = WindowOrigin(this, ctl_->owner) + event->position().toPoint();
    lastModifiers_ = ToolboxModifiers(event->modifiers());
    EndWait(kBWMouseTrackingMouseDragged);
}

void ControlView::mouseReleaseEvent(QMouseEvent* event) {
    if (!ctl_ || event->button() != Qt::LeftButton) return;
    BWWin* win = ctl_->owner;
    lastPos_ = WindowOrigin(this, win) + event->position().toPoint();
    lastModifiers_ = ToolboxModifiers(event->modifiers());
    if (waitLoop_) {
        EndWait(kBWMouseTrackingMouseUp);
        return;
    }
    if (!pressed_) return;
    pressed_ = false;
    if (!rect().contains(event->position().toPoint()) || !Host().CustomEvent) return;
    BusyWindow busy(win);
    int16_t hit = pressPart_;
    if (Host().CustomEvent(ctl_, kBWControlHit, static_cast<int16_t>(lastPos_.y()), static_cast<int16_t>(lastPos_.x()),
                           lastModifiers_, &hit) == kNotHandled && ctl_->command != 0)
        SendCommand(win, ctl_->command);
}

void ControlView::hideEvent(QHideEvent* event) {
    if (waitLoop_) EndWait(kBWMouseTrackingMouseUp);
    QWidget::hideEvent(event);
}

void ControlView::EndWait(int32_t result) {
    waitResult_ = result;
    waitLoop_->quit();
}

// A nested event loop until the pressed button moves or is released. The press that started the
// tracking is still being handled further up the stack, so the events arrive through this loop.
// Synthesised input that is delivered synchronously (QTest::mousePress) cannot reach it: tests post
// the press, the moves and the release with QCoreApplication::postEvent before the press is handled.
int32_t ControlView::WaitForMouse(int16_t* v, int16_t* h, uint32_t* modifiers) {
    int32_t result = kBWMouseTrackingMouseUp;
    if (pressed_ && !waitLoop_) {
        QEventLoop loop;
        waitLoop_ = &loop;
        waitResult_ = kBWMouseTrackingMouseUp;
        loop.exec();
        waitLoop_ = nullptr;
        result = waitResult_;
        if (result == kBWMouseTrackingMouseUp) pressed_ = false;
    }
    if (v) *v = static_cast<int16_t>(lastPos_.y());
    if (h) *h = static_cast<int16_t>(lastPos_.x());
    if (modifiers) *modifiers = lastModifiers_;
    return result;
}

}  // namespace bwqt
