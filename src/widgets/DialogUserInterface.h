#pragma once

#include "base/UserInterface.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

// The desktop program's answer to UserInterface: real message boxes, the
// hourglass as override cursor, the file choice, the note of a connection
// being made, and the closing of every window. It installs itself as UI()
// for its lifetime and restores the previous one when it goes. The windows
// of the login and the server list are opened by DesktopUserInterface
// (shell/gui), which the program makes.
class DialogUserInterface : public QObject, public UserInterface {
    Q_OBJECT
public:
    DialogUserInterface();
    ~DialogUserInterface() override;

    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override;
    void processEvents() override;
    // A small window "Anmeldung an Caché" with the text, over everything.
    void showActivity(const QString& text) override;
    QString chooseFile(const QString& title, const QString& folder, const QString& filter) override;
    QStringList chooseFiles(const QString& title, const QString& folder,
                            const QString& filter) override;
    // Closes every window, the last opened first; a window that refuses or
    // fails does not keep the others open.
    void unloadAllWindows();

    // True while unloadAllWindows closes the windows. A window whose closing
    // normally ends the program only closes then.
    static bool unloading();

protected:
    void showBusy(bool busy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The window a dialog is shown over: the modal one in front, else the
    // active.
    static QWidget* ownerWindow();

    // While a question is open the user sees the normal pointer, even when
    // the program shows the hourglass behind it.
    class NormalPointer {
    public:
        NormalPointer();
        ~NormalPointer();
        NormalPointer(const NormalPointer&) = delete;
        NormalPointer& operator=(const NormalPointer&) = delete;

    private:
        bool m_active;
    };

private:
    UserInterface* m_previous = nullptr;
    // Top-level windows in the order they were first shown.
    QList<QPointer<QWidget>> m_opened;
    QPointer<QWidget> m_activity;
    bool m_busy = false;
};
