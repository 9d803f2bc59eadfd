#include "Downloads.h"

#include "base/SessionContext.h"
#include "common/TextHelpers.h"
#include "server/ServerConnection.h"

#include <QDate>

QString DownloadRow::rowText() const {
    return QStringList{datum, personal, lnr, lname, positionen, key}.join(u'\n');
}

namespace {

// The server delivers dates as yyyy-mm-dd or as yyyymmdd.
QString formatDate(const QString& value) {
    QDate d = QDate::fromString(value.left(10), Qt::ISODate);
    if (!d.isValid())
        d = QDate::fromString(value, QStringLiteral("yyyyMMdd"));
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : value;
}

} // namespace

QList<DownloadRow> LoadDownloadList(bool* ok) {
    QList<DownloadRow> rows;
    const bool done =
        ServerCall(QStringLiteral("fmstart.RefreshDownloadList Downloads lesen"), [&] {
            ResultSet rs =
                Factory().resultSet(QStringLiteral("quendrap.downloads"), QStringLiteral("liste"));
            rs.execute({Session().firma});
            while (rs.next()) {
                DownloadRow r;
                r.datum = formatDate(rs.getData(2));
                r.personal = rs.getData(3);
                r.lnr = rs.getData(4);
                r.lname = ConvertText(rs.getData(5), QStringLiteral("VELTAR"), false);
                r.positionen = rs.getData(7);
                r.key = rs.getData(1);
                rows.prepend(std::move(r));
            }
            rs.close();
        });
    if (ok)
        *ok = done;
    return rows;
}

bool DeleteDownload(const QString& key) {
    if (key.isEmpty())
        return true;
    return ServerCall(QStringLiteral("fmstart.tool1 Download löschen"), [&] {
        ClassHandle h = Factory().classHandle(QStringLiteral("quendrap.downloads"));
        h.call(QStringLiteral("dellief"), QStringList{key});
        CloseObject(h);
    });
}
