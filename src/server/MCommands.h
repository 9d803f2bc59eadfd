#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

class Connection;
class ServerClient;

// M commands on the server (VT.Windows "Xecute") and the M forms of the
// session's values.

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

// Runs an M command on the server in one bracketed call.
CommandOutput RunCommand(Connection& connection, const QString& command, bool silent = false);
// Runs an M command and splits what it writes at delimiter into items.
CommandItems RunCommandItems(Connection& connection, const QString& command, QChar delimiter);
// The same in the forms the rest of the program knows: what the command
// writes, failed set when it fails; the number of items (0 on failure).
QString dbcall(Connection& connection, const QString& command, bool& failed, bool silent = false);
int dbcalld(Connection& connection, const QString& command, QChar delimiter, QStringList& items,
            bool& failed);
// The splitting rule of dbcalld: every delimiter closes an item (even an
// empty one); a non-empty rest after the last delimiter is one more item; at
// most 32,767 items.
QStringList SplitCallOutput(const QString& output, QChar delimiter);
constexpr int kMaxCallItems = 32767;

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
