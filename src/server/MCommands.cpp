#include "MCommands.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/ErrorReport.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

QString MString(const QString& text) {
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

bool IsWholeNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QString SessionValuesProblem() {
    const SessionContext& s = Session();
    if (!IsWholeNumber(s.firma))
        return QStringLiteral("Firma \"") + s.firma + QStringLiteral("\" ist keine ganze Zahl.");
    if (!IsWholeNumber(s.fil))
        return QStringLiteral("Filiale \"") + s.fil + QStringLiteral("\" ist keine ganze Zahl.");
    return QString();
}

void SendSessionValues(ServerClient& client, bool registerJob) {
    const SessionContext& session = Session();
    // Company and branch stand in M as numbers: anything else would be
    // evaluated as M.
    const QString problem = SessionValuesProblem();
    if (!problem.isEmpty())
        throw ServerError(ClientErrors::InvalidSession, problem);
    ServerObject windows = client.newObject(WindowsClass::kClass);
    QStringList commands{QStringLiteral("S FIRMA=") + session.firma + QStringLiteral(",FIL=") +
                             session.fil + QStringLiteral(",PERSONAL=") + MString(session.personal),
                         QStringLiteral("S ^STAND($J)=") + MString(session.standort)};
    if (registerJob)
        commands << erp::Routines::kSession.command();
    for (const QString& command : commands)
        windows.call(WindowsClass::kXecute, QStringList{command});
    CloseObject(windows);
}

QStringList SplitCallOutput(const QString& output, QChar delimiter) {
    QStringList items;
    QString current;
    for (QChar c : output) {
        if (items.size() >= kMaxCallItems)
            return items;
        if (c == delimiter) {
            items.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty() && items.size() < kMaxCallItems)
        items.append(current);
    return items;
}

namespace {

// Runs the command through VT.Windows "Xecute" in one bracket. Throws.
QString xecute(Connection& connection, const QString& command) {
    connection.ensure();
    ServerObject windows = connection.client().newObject(WindowsClass::kClass);
    QStringList args{command};
    const QString output = windows.call(WindowsClass::kXecute, args);
    CloseObject(windows);
    return output;
}

// The report of a failed command: the user (unless silent) and the trace.
void reportCommand(Connection& connection, const ServerError& e, const QString& command,
                   const QString& form, bool silent) {
    const QString upper = form == u"dbCall" ? QStringLiteral("DBCall") : QStringLiteral("DBCallD");
    if (!silent)
        CacheFehlermeldung(connection, e,
                           QStringLiteral("cacheapi.") + form.toLower() +
                               QStringLiteral(" Ungültige Anfrage! Kein Ergebnis gefunden") +
                               kCrLf + kCrLf + upper +
                               QStringLiteral(" Aufruf von VT.Windwos Xecute ") + command);
    TraceLog(form, QStringLiteral("Command_:") + command, e.description(), 0);
}

} // namespace

CommandOutput RunCommand(Connection& connection, const QString& command, bool silent) {
    try {
        return {false, xecute(connection, command)};
    } catch (const ServerError& e) {
        reportCommand(connection, e, command, QStringLiteral("dbCall"), silent);
        return {true, QStringLiteral(" ")};
    }
}

CommandItems RunCommandItems(Connection& connection, const QString& command, QChar delimiter) {
    try {
        return {false, SplitCallOutput(xecute(connection, command), delimiter)};
    } catch (const ServerError& e) {
        reportCommand(connection, e, command, QStringLiteral("dbCalld"), false);
        return {true, QStringList{QStringLiteral(" ")}};
    }
}

QString dbcall(Connection& connection, const QString& command, bool& failed, bool silent) {
    CommandOutput r = RunCommand(connection, command, silent);
    if (r.failed)
        failed = true;
    return r.text;
}

int dbcalld(Connection& connection, const QString& command, QChar delimiter, QStringList& items,
            bool& failed) {
    CommandItems r = RunCommandItems(connection, command, delimiter);
    items = std::move(r.items);
    if (r.failed) {
        failed = true;
        return 0;
    }
    return int(items.size());
}
