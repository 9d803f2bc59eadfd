#pragma once

// The program's windows that the connection and the end of the program
// need: the server connection list (shown when the server cannot be
// reached) and the closing of every window. Whatever plays the user
// interface sets them (the desktop program's dialogs, a test's scripted
// person); without them nothing is shown.
class ConnectionWindows {
public:
    virtual ~ConnectionWindows() = default;
    // Shown modally; its saving rebuilds the connect string.
    virtual void showServerList() = 0;
    virtual void hideServerList() {}
    // Closes every open window, the last opened first.
    virtual void unloadAllWindows() {}
};
// Returns the previous one; nullptr for none.
ConnectionWindows* SetConnectionWindows(ConnectionWindows* windows);
// The server list of the connection windows (nothing without them).
void ShowServerList();
void HideServerList();

// Orderly shutdown: trace, close every window, end the program (through
// ExitProgram: inside an event loop every loop returns and main() ends).
void Ende(int exitCode = 0);
