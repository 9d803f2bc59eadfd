#pragma once

#include "ServerClient.h"
#include "ServerError.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// The program's one connection to the ERP server and the primitives that
// every part uses to talk to it.

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
// "D ^%XTT", as after every connection. Throws ServerError.
void SendSessionValues(ServerClient& client, bool registerJob);

void BeginServerCall(bool showHourglass, bool waitWithoutLimit);
void EndServerCall(bool restorePointer);
// Returns at once when connected; otherwise connects, retrying as the
// buyer expects (three attempts ten seconds apart, the server list, three
// more, then the program ends). Throws ServerError when sending the session
// values fails, or when the program was to end but the exit hook returned.
void EnsureConnection(bool waitWithoutLimit);
void CloseConnection();

// Runs an M command on the server and returns what it writes; " " and
// failed = true when it fails (reported unless silent).
QString dbcall(const QString& command, bool& failed, bool silent = false);
// Runs an M command and splits what it writes at delimiter into items.
// Returns the number of items; on failure items is {" "}, failed is true and
// the result is 0.
int dbcalld(const QString& command, QChar delimiter, QStringList& items, bool& failed);
// The splitting rule of dbcalld: every delimiter closes an item (even an
// empty one); a non-empty rest after the last delimiter is one more item; at
// most 32,767 items.
QStringList SplitCallOutput(const QString& output, QChar delimiter);
constexpr int kMaxCallItems = 32767;

// Closes a server object, ignoring every error; the object is null after.
void CloseObject(ServerObject& object);
void CloseObject(ClassHandle& handle);

// Reports a failed server call to the user and the trace log.
void CacheFehlermeldung(const ServerError& error, const QString& operation);
// The text of that report.
QString CacheFehlermeldungText(const ServerError& error, const QString& operation);

// Orderly shutdown: trace, close every window, end the program.
void Ende(int exitCode = 0);

// One bracketed server call: BeginServerCall; f(); EndServerCall. On a
// ServerError: EndServerCall(false), then the error report with operation.
// Returns false when the call failed.
template <typename F> bool ServerCall(const QString& operation, F&& f, bool hourglass = false) {
    try {
        BeginServerCall(hourglass, false);
        f();
        EndServerCall(hourglass);
        return true;
    } catch (const ServerError& e) {
        EndServerCall(false);
        CacheFehlermeldung(e, operation);
        return false;
    }
}
