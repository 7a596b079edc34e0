// Working the configuration dialog's Qt windows from a test, as a user would: controls found by
// their signature and ID properties, buttons clicked, sliders dragged, the preview dragged on.
// Each step that opens a window or tracks the mouse blocks, so steps inside it come from timers.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// Sanitizer builds: fontconfig keeps caches it never frees; they are not leaks of ours. (Each test
// program includes this header from one file only.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// --- Finding and working the dialog's controls ---
// The visible window holding the page `name` ("configHD", "about"); any visible one when empty.
inline QWidget* Window(const QString& name = {}) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (name.isEmpty() ? w->findChild<QWidget*>("configNTSC") || w->findChild<QWidget*>("configPAL") ||
                                                    w->findChild<QWidget*>("configHD")
                                              : w->findChild<QWidget*>(name) != nullptr))
            return w;
    return nullptr;
}
inline QWidget* Find(const char* sig, int id, const QString& window = {}) {
    QWidget* w = Window(window);
    if (!w) return nullptr;
    for (QWidget* c : w->findChildren<QWidget*>())
        if (c->property("signature").toString() == sig && c->property("controlID").toInt() == id) return c;
    return nullptr;
}
template <class T>
T* Get(const char* sig, int id = 1) {
    return qobject_cast<T*>(Find(sig, id));
}
inline void Click(const char* command, const QString& window = {}) {
    QWidget* button = Find(command, 1, window);
    EXPECT_TRUE(button) << command;
    if (button) QTest::mouseClick(button, Qt::LeftButton);
}
inline QString Text(const char* sig, int id = 1, const QString& window = {}) {
    QLabel* label = qobject_cast<QLabel*>(Find(sig, id, window));
    return label ? label->text() : QString("<missing>");
}
// Runs `step` once `ready` holds (polled on the event loop, so inside whichever modal loop runs).
inline void When(std::function<bool()> ready, std::function<void()> step) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, ready = std::move(ready), step = std::move(step)] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        step();
    });
    timer->start(5);
}
// Queued to run inside the modal loop about to start.
inline void Then(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }
inline void WhenOpen(const QString& window, std::function<void()> step) {
    When([window] { return Window(window) != nullptr; }, std::move(step));
}

inline QPoint SliderPoint(QSlider* s, int value) {
    const int len = s->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, s);
    const int x = QStyle::sliderPositionFromValue(s->minimum(), s->maximum(), value, s->width() - len) + len / 2;
    return QPoint(x, s->height() / 2);
}
// Drags the handle from its value to `value` in a few steps, as a hand would.
inline void Drag(QSlider* s, int value) {
    QTest::mousePress(s, Qt::LeftButton, {}, SliderPoint(s, s->value()));
    const int from = s->value();
    for (int step = 1; step <= 4; step++) {
        QMouseEvent move(QEvent::MouseMove, SliderPoint(s, from + (value - from) * step / 4), s->mapToGlobal(QPoint()),
                         Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(s, &move);
    }
    QTest::mouseRelease(s, Qt::LeftButton, {}, SliderPoint(s, value));
}
// Presses at `from` on the preview, moves through `path` and releases at its last point;
// `during` runs before the release. The press blocks in the control's tracking loop until the
// release, so the moves and the release come from timers that fire inside that loop.
inline void DragOnPreview(QPoint from, std::vector<QPoint> path, Qt::KeyboardModifiers mods = {},
                          std::function<void()> during = {}) {
    QWidget* clip = Find("Clip", 1);
    auto send = [clip, mods](QEvent::Type type, QPoint at) {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, clip->mapToGlobal(at), Qt::LeftButton, buttons, mods);
        QApplication::sendEvent(clip, &event);
    };
    struct Steps {
        std::vector<std::function<void()>> list;
        void Run(size_t i) {
            QTimer::singleShot(0, [this, i] {
                list[i]();
                if (i + 1 < list.size()) Run(i + 1);
            });
        }
    };
    auto steps = std::make_shared<Steps>();
    for (QPoint p : path) steps->list.push_back([send, p] { send(QEvent::MouseMove, p); });
    steps->list.push_back([send, during, last = path.back()] {
        if (during) during();
        send(QEvent::MouseButtonRelease, last);
    });
    steps->Run(0);
    send(QEvent::MouseButtonPress, from);
    QTimer::singleShot(0, [steps] {});  // keeps the steps alive until they have run
}
