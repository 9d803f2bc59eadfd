#include "SessionContext.h"

#include "common/TextHelpers.h"

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

QString PersonnelCode() {
    return Piece(Session().userDisplay, QStringLiteral("|"), 1);
}
