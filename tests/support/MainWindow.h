#pragma once

#include "ScriptedUserInterface.h"
#include "base/SessionContext.h"
#include "server/Connection.h"
#include "session/Login.h"
#include "shell/gui/fmstart.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QTest>
#include <QTreeView>

// The demo user logged in by a command line that names everything, as
// quendrapr started with one: no login window. What the user interface
// recorded until then is dropped. False when the login failed.
inline bool LogInByCommandLine(Connection& connection, LoginWindows& windows,
                               RecordedMessages& recorded) {
    Session().commandLine = QStringLiteral("1 0 DEM demo 127.0.0.1 1973 VELTAR");
    const bool loggedIn = user_anmeld(connection, &windows);
    recorded.messages.clear();
    return loggedIn;
}

struct MainWindowLogin {
    bool m_loggedIn;
};

// The start of a main window test: the demo user logged in by command line
// (above), then the main window made and shown. It is the main window
// itself, so the test drives it as the program does; the test's user
// interface answers the login and records the messages.
class LoggedInMainWindow : private MainWindowLogin, public fmstart {
public:
    template <typename TestUserInterface>
    LoggedInMainWindow(Connection& connection, TestUserInterface& ui)
        : MainWindowLogin{LogInByCommandLine(connection, ui, ui)}, fmstart(connection) {
        show();
    }

    bool loggedIn() const { return m_loggedIn; }
    // The download list lilief.
    QTreeView* downloadList() const { return findChild<QTreeView*>(QStringLiteral("lilief")); }

    // Logged in, and the download list shows that many downloads (waited
    // for five seconds at most).
    bool ready(int downloads) const {
        QElapsedTimer clock;
        clock.start();
        while (downloadList()->model()->rowCount() != downloads && clock.elapsed() < 5000)
            QTest::qWait(5);
        return m_loggedIn && downloadList()->model()->rowCount() == downloads;
    }
};
