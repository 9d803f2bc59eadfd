#pragma once

#include "server/UserInterface.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

// The desktop program's answer to UserInterface: real message boxes, the
// hourglass as override cursor, the login window FMPass and the server list
// FMServer. It installs itself as UI() for its lifetime and restores the
// previous one when it goes.
class DialogUserInterface : public QObject, public UserInterface {
    Q_OBJECT
public:
    DialogUserInterface();
    ~DialogUserInterface() override;

    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override;
    void setBusy(bool busy) override;
    void processEvents() override;
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    UserInterface* m_previous = nullptr;
    // Top-level windows in the order they were first shown.
    QList<QPointer<QWidget>> m_opened;
    bool m_busy = false;
};
