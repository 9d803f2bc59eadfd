#include "SessionContext.h"

SessionContext& Session() {
    static SessionContext session;
    return session;
}

QString MainWindowTitle() {
    const SessionContext& s = Session();
    return QStringLiteral("VELTAR Quendra Preisdaten              Firma: ") + s.firma +
           QStringLiteral("     Standort: ") + s.standort + QStringLiteral("     Benutzer: ") +
           s.userDisplay;
}
