#pragma once

#include "server/ServerConnection.h"
#include "session/Login.h"
#include "widgets/DialogUserInterface.h"

// The desktop program's user interface as a whole: the dialogs of
// DialogUserInterface and the program's windows that the connection and the
// login need: the server list FMServer, the login window FMPass, the
// closing of every window. It installs itself as the connection's windows
// for its lifetime and restores the previous ones when it goes. It opens
// the login's windows, so it sits with the main window above every
// feature's windows; the windows below use DialogUserInterface.
class DesktopUserInterface : public DialogUserInterface,
                             public ConnectionWindows,
                             public LoginWindows {
    Q_OBJECT
public:
    DesktopUserInterface();
    ~DesktopUserInterface() override;

    void showServerList() override;
    void hideServerList() override;
    void unloadAllWindows() override;
    bool showLoginWindow() override;
    void selectLoginPassword() override;
    void hideLoginWindow() override;

private:
    ConnectionWindows* m_previousWindows = nullptr;
};
