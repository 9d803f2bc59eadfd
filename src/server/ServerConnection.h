#pragma once

#include "common/ServerError.h"
#include "server/ServerClient.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// The program's one connection to the ERP server and the primitives that
// every part uses to talk to it.

// The program's windows that the connection needs: the server connection
// list (shown when the server cannot be reached) and, for the end of the
// program, the closing of every window. The desktop program sets its own;
// without one nothing is shown.
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

// Makes the client object for each connection attempt (the TCP client by
// default; tests put the in-process client here).
using ClientFactory = std::function<std::unique_ptr<ServerClient>()>;
void SetClientFactory(ClientFactory factory);

// The connect string "cn_iptcp:SERVER[PORT]:NAMESPACE", rebuilt from the
// session whenever the login data change.
void RebuildConnectString();
QString ConnectString();

// The client of the current connection (connected by BeginServerCall).
ServerClient& Factory();
bool HasFactory();

// Sends the session's company, branch, user code ("S FIRMA=...") and
// location ("S ^STAND($J)=...") to the server job; with registerJob also
// "D ^%XTT", as after every connection. Throws ServerError, without sending
// anything when company or branch is not a whole number
// (SessionValuesProblem).
void SendSessionValues(ServerClient& client, bool registerJob);

// A text as an M string literal: in quotes, every quote doubled.
QString MString(const QString& text);
// Whether a company or branch number can go into M as it is: one to nine
// digits.
bool IsWholeNumber(const QString& text);
// Why the session's company and branch cannot be sent ("" when they can):
// 'Firma "1e2" ist keine ganze Zahl.', the same for "Filiale".
QString SessionValuesProblem();

// The credentials the connection logs in with; the login sets them when it
// takes its data (none before: a guest connection). Before each call the
// connection is renewed when they differ from its own.
void SetCredentials(const Credentials& credentials);
Credentials CurrentCredentials();
// The session's company, user code (as the ERP keeps it: GUIVELTAR form,
// upper case) and password.
Credentials SessionCredentials();
// For its lifetime the connection logs in with other credentials (the
// login's look-up of the user code of a typed password, which has only the
// password); afterwards the ones before apply again.
class CredentialsScope {
public:
    explicit CredentialsScope(Credentials credentials);
    ~CredentialsScope();
    CredentialsScope(const CredentialsScope&) = delete;
    CredentialsScope& operator=(const CredentialsScope&) = delete;

private:
    Credentials m_previous;
};

// What the note shows while a connection is made: "Verbindung zu HOST:PORT
// wird aufgebaut, Versuch N von M" (without " von M" when attempts is 0).
QString ConnectingText(const QString& connectString, int attempt, int attempts);

void BeginServerCall(bool showHourglass, bool waitWithoutLimit);
void EndServerCall(bool restorePointer);
// Returns at once when connected with the current credentials; renews the
// connection when they changed (CurrentCredentials); otherwise connects,
// retrying as the
// buyer expects (three attempts ten seconds apart, the server list, three
// more, then the program ends). Throws ServerError when sending the session
// values fails, when the server's TLS certificate is not trusted (error
// 465, not tried again), when the program is to end, and when it is called again
// while it connects (from a window the retry opened): one connection attempt
// runs at a time.
void EnsureConnection(bool waitWithoutLimit);
void CloseConnection();
// Closes the connection and lets its client go; a program calls it before
// its application object ends (a TLS connection needs Qt's TLS backend,
// which ends with it).
void ReleaseConnection();

// What an M command wrote, or that it failed (the failure was reported
// unless the call was silent).
struct CommandOutput {
    bool failed = false;
    QString text; // " " after a failure
};
// What an M command wrote, split into items; {" "} after a failure.
struct CommandItems {
    bool failed = false;
    QStringList items;
};

// Runs an M command on the server (VT.Windows "Xecute").
CommandOutput RunCommand(const QString& command, bool silent = false);
// Runs an M command and splits what it writes at delimiter into items.
CommandItems RunCommandItems(const QString& command, QChar delimiter);
// The same in the forms the rest of the program knows: what the command
// writes, failed set when it fails; the number of items (0 on failure).
QString dbcall(const QString& command, bool& failed, bool silent = false);
int dbcalld(const QString& command, QChar delimiter, QStringList& items, bool& failed);
// The splitting rule of dbcalld: every delimiter closes an item (even an
// empty one); a non-empty rest after the last delimiter is one more item; at
// most 32,767 items.
QStringList SplitCallOutput(const QString& output, QChar delimiter);
constexpr int kMaxCallItems = 32767;

// Closes a server object, ignoring every error; the object is null after.
void CloseObject(ServerObject& object);
// Releases a class handle: the handle is null afterwards. Nothing goes to
// the server, which keeps nothing for a class handle.
void CloseObject(ClassHandle& handle);

// Reports a failed server call to the user and the trace log. The busy
// pointer is left to whoever holds it (the message itself is shown with the
// normal pointer).
void CacheFehlermeldung(const ServerError& error, const QString& operation);
// The text of that report.
QString CacheFehlermeldungText(const ServerError& error, const QString& operation);
// The number of the error the last report was about (0 before any).
int LastReportedError();
// Whether a call that failed with this error may have been carried out all
// the same: the connection was lost or the answer did not come in time.
bool OutcomeUnknown(int errorNumber);

// Orderly shutdown: trace, close every window, end the program (through
// ExitProgram: inside an event loop every loop returns and main() ends).
void Ende(int exitCode = 0);

// A server call bracket as an object: BeginServerCall when it is made,
// EndServerCall when it goes, however its scope is left (an exception of any
// kind ends the bracket, and the busy pointer it took goes with it). A
// BeginServerCall that fails ends its own bracket before the error leaves.
class ServerCallScope {
public:
    explicit ServerCallScope(bool showHourglass = false, bool waitWithoutLimit = false);
    ~ServerCallScope();
    ServerCallScope(const ServerCallScope&) = delete;
    ServerCallScope& operator=(const ServerCallScope&) = delete;

private:
    bool m_hourglass;
};

// One bracketed server call: f() inside a ServerCallScope. A ServerError
// becomes the error report with operation (after the bracket ended) and
// false; any other exception ends the bracket and goes on to the caller.
template <typename F> bool ServerCall(const QString& operation, F&& f, bool hourglass = false) {
    try {
        ServerCallScope scope(hourglass);
        f();
        return true;
    } catch (const ServerError& e) {
        CacheFehlermeldung(e, operation);
        return false;
    }
}
