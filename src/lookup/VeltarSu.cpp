#include "VeltarSu.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "common/TextHelpers.h"
#include "server/ServerConnection.h"

namespace {

QList<PartnerHit> search(const QString& part, const QStringList& args, const QString& operation) {
    TraceLog(part, QStringLiteral("Start"), args.value(2), 40);
    QList<PartnerHit> hits;
    const bool ok = ServerCall(operation, [&] {
        ResultSet rs =
            Factory().resultSet(QStringLiteral("VT.Windows"), QStringLiteral("KkrSuche"));
        rs.execute(args);
        while (hits.size() < kMaxPartnerHits && rs.next())
            hits.append({rs.getData(1), rs.getData(2),
                         ConvertText(rs.getData(3), QStringLiteral("VELTAR"), false), rs.getData(4),
                         ConvertText(rs.getData(5), QStringLiteral("VELTAR"), false)});
        rs.close();
    });
    TraceLog(part, ok ? QStringLiteral("Ende") : QStringLiteral("Ende mit Fehler"),
             QString::number(hits.size()), 40);
    return hits;
}

} // namespace

QList<PartnerHit> getlnrsu(const QString& skbez, const QString& ssktok) {
    const QString group = Piece(ssktok, QStringLiteral("|"), 1, QStringLiteral("1"));
    return search(QStringLiteral("VeltarSU.getlnrsu"),
                  {Session().firma, QStringLiteral("L"), skbez, group},
                  QStringLiteral("VeltarSu.getlnrsu Suche Lieferantennummer"));
}

QList<PartnerHit> getknrsu(const QString& skbez, const QString& skgrp, const QString& plz) {
    return search(QStringLiteral("VeltarSU.getknrsu"),
                  {Session().firma, QStringLiteral("K"), skbez, skgrp.left(2), plz},
                  QStringLiteral("VeltarSu getknrsu Kundennummer Suche"));
}
