#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Helpers for tests that drive the windows.

// Replaces a box's text as the user does: all of it selected, the new text
// typed over it (a read-only box keeps its text).
inline void TypeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClicks(box, text);
}

// The first visible top-level window of type T (and, when given, of that
// object name), waiting for it while events are processed; nullptr after
// timeoutMs.
template <typename T> T* WaitForWindow(const QString& name = QString(), int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            T* window = qobject_cast<T*>(w);
            if (window && window->isVisible() && (name.isEmpty() || w->objectName() == name))
                return window;
        }
        if (clock.elapsed() > timeoutMs)
            return nullptr;
        QTest::qWait(5);
    }
}

// Runs act on the first visible top-level window of type T once it is shown
// (a modal window that the code under test opens and waits for). The poll
// gives up after timeoutMs, so a window that never comes cannot hang the
// test; the returned timer lets the test stop a poll that is left over.
template <typename T>
QPointer<QTimer> WhenShown(QObject* context, std::function<void(T*)> act, int timeoutMs = 10000) {
    auto* timer = new QTimer(context);
    timer->setInterval(5);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, context, [timer, clock, act, timeoutMs] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            T* window = qobject_cast<T*>(w);
            if (window && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(window);
                return;
            }
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return timer;
}

// Runs action on the modal window named name once it is shown and its
// activation has run. The action must close the window. The returned
// timer lets a test end a poll for a window that may not come.
inline QPointer<QTimer> WhenModalShown(const QString& name, std::function<void(QWidget*)> action,
                                       int timeoutMs = 10000) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, name, action, clock, timeoutMs] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w->objectName() != name || !w->isVisible()) {
            if (clock->elapsed() > timeoutMs) {
                poll->stop();
                poll->deleteLater();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(0, w, [w, action] { action(w); });
    });
    poll->start();
    return poll;
}
