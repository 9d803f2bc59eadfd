#pragma once

#include "session/Login.h"

#include <QDialog>
#include <QPointer>

class Connection;
class QComboBox;
class QLineEdit;
class QPushButton;

// The login window "VELTAR Benutzeranmeldung": location, user code and
// password. Shown modally by the login while the program starts, and
// non-modally over the main window for a new login from its menu; once that
// login is refused the session is logged out, and the window stays modal
// over the main window until a login succeeds or "Abbruch". Like the
// old form there is one of it; it is hidden between logins so that it keeps
// what was typed. "Abbruch" and its close box end the program.
class FMPass : public QDialog, public LoginWindows {
    Q_OBJECT
public:
    // The one login window, on the program's connection; created on first
    // use, and anew when asked for on another connection.
    static FMPass* instance(Connection& connection);
    // The login window when it was made, else nullptr.
    static FMPass* existing();

    explicit FMPass(Connection& connection, QWidget* parent = nullptr);
    ~FMPass() override;

    // Modal login: true after "Anmelden" (the boxes are then in the login
    // data). Otherwise the program ends through Ende; false when it goes on
    // all the same.
    bool RunModal();
    // A new login from the main window: shown non-modally over it; after
    // "Anmelden" the connection is closed, the login runs again and
    // loggedIn() tells the main window to renew its title. A refused login
    // leaves the window modal until a login succeeds.
    void ShowForNewLogin(QWidget* mainWindow);

    // As the login's window: modal unless it is shown already (a new login
    // from the main window, whose boxes are then the data).
    bool showLoginWindow() override;
    void selectLoginPassword() override { SelectPassword(); }
    void hideLoginWindow() override { hide(); }

    // Copies the boxes into the login data (LoginFormData()).
    void TakeBoxes();
    // The whole password selected, with the focus.
    void SelectPassword();

    // The message when no default server entry is kept.
    static QString NoDefaultServerText();

public Q_SLOTS:
    void BUSpeich_Click();
    void BUAusst_Click();
    void cmdServer_Click();
    void co_standort_Click(int index);
    void reject() override;

Q_SIGNALS:
    // After a new login from the main window, successful or not.
    void loggedIn(bool ok);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();

    QComboBox* co_standort;
    QPushButton* cmdServer;
    QLineEdit* BUSER;
    QLineEdit* BPASSWORT;
    QPushButton* BUSpeich;
    QPushButton* BUAusst;

    Connection& m_connection;
    QPointer<QWidget> m_mainWindow;
    bool m_loaded = false;
    bool m_modal = false;
    bool m_closedByUnload = false;
};
