#include "ErrorReport.h"

#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "server/Connection.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

QString CacheFehlermeldungText(const ServerError& error, const QString& operation) {
    return QStringLiteral("Vorgang: ") + operation + u'.' + kCrLf + kCrLf +
           QStringLiteral("Fehler: ") + QString::number(error.number()) + kCrLf +
           error.description() + kCrLf + kCrLf;
}

bool OutcomeUnknown(int errorNumber) {
    return errorNumber == ClientErrors::ConnectionLost || errorNumber == ClientErrors::Timeout;
}

void CacheFehlermeldung(Connection& connection, const ServerError& error,
                        const QString& operation) {
    connection.m_lastReportedError = error.number();
    UI().message(CacheFehlermeldungText(error, operation), QStringLiteral("Caché Zugriffsfehler"),
                 MessageIcon::Warning, MessageButtons::Ok);
    TraceLog(QStringLiteral("cacheapi.CacheFehlermeldung"), operation,
             QStringLiteral("Fehler #") + QString::number(error.number()) + u' ' +
                 error.description(),
             0);
}
