#pragma once

#include "server/ConnectionWindows.h"
#include "session/Login.h"
#include "widgets/DialogUserInterface.h"

class Connection;

// The desktop program's user interface as a whole: the dialogs of
// DialogUserInterface and the program's windows that the connection and the
// login need: the server list FMServer, the login window FMPass, the
// closing of every window. It installs itself as the connection's windows
// for its lifetime and restores the previous ones when it goes. It opens
// the login's windows, so it sits with the main window above every
// feature's windows; the windows below use DialogUserInterface. The login
// window and the server list it shows work on the program's connection.
class DesktopUserInterface : public DialogUserInterface,
                             public ConnectionWindows,
                             public LoginWindows {
    Q_OBJECT
public:
    explicit DesktopUserInterface(Connection& connection);
    ~DesktopUserInterface() override;

    void showServerList() override;
    void hideServerList() override;
    void unloadAllWindows() override;
    bool showLoginWindow() override;
    void selectLoginPassword() override;
    void hideLoginWindow() override;

private:
    Connection& m_connection;
    ConnectionWindows* m_previousWindows = nullptr;
};
