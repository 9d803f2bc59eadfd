#pragma once

#include "conditions/gui/ConditionWindows.h"
#include "positions/gui/FMPos.h"

#include <QElapsedTimer>
#include <QTest>
#include <functional>
#include <memory>

// Makes the positions window of a download on the connection in window,
// with the windows of the conditions as the main window gives them, and
// shows it without a
// modal loop, so that the test goes on; then waits, ten seconds at most,
// until its load has ended and ready holds (the rows, the candidates or the
// toolbar the test needs are there).
inline FMPos* ShowPositionsWindow(Connection& connection, std::unique_ptr<FMPos>& window,
                                  const PositionDownload& download,
                                  const std::function<bool(FMPos&)>& ready) {
    static ConditionWindows conditions;
    window = std::make_unique<FMPos>(connection, download);
    window->setConditionsOpener(&conditions);
    window->setModal(false);
    window->show();
    QElapsedTimer clock;
    clock.start();
    while ((window->loading() || !ready(*window)) && clock.elapsed() < 10000)
        QTest::qWait(5);
    return window.get();
}
