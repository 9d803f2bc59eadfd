#pragma once

#include "base/UserInterface.h"
#include "server/ConnectionWindows.h"
#include "session/Login.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class Connection;

// The desktop program's answer to UserInterface: real message boxes, the
// hourglass as override cursor, the file choice; and the program's windows
// that the connection and the login need: the server list FMServer, the
// login window FMPass, the closing of every window. It installs itself as
// UI() and as the connection's windows for its lifetime and restores the
// previous ones when it goes. The login window and the server list it
// shows work on the program's connection.
class DialogUserInterface : public QObject,
                            public UserInterface,
                            public ConnectionWindows,
                            public LoginWindows {
    Q_OBJECT
public:
    explicit DialogUserInterface(Connection& connection);
    ~DialogUserInterface() override;

    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override;
    void processEvents() override;
    // A small window "Anmeldung an Caché" with the text, over everything.
    void showActivity(const QString& text) override;
    QString chooseFile(const QString& title, const QString& folder, const QString& filter) override;
    QStringList chooseFiles(const QString& title, const QString& folder,
                            const QString& filter) override;
    void showServerList() override;
    void hideServerList() override;
    void unloadAllWindows() override;
    bool showLoginWindow() override;
    void selectLoginPassword() override;
    void hideLoginWindow() override;

    // True while unloadAllWindows closes the windows. A window whose closing
    // normally ends the program only closes then.
    static bool unloading();

protected:
    void showBusy(bool busy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Connection& m_connection;
    UserInterface* m_previous = nullptr;
    ConnectionWindows* m_previousWindows = nullptr;
    // Top-level windows in the order they were first shown.
    QList<QPointer<QWidget>> m_opened;
    QPointer<QWidget> m_activity;
    bool m_busy = false;
};
