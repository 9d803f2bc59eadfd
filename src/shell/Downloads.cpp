#include "Downloads.h"

#include "base/SessionContext.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"

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

QList<DownloadRow> LoadDownloadList(Connection& connection, bool* ok) {
    QList<DownloadRow> rows;
    const bool done =
        connection.call(QStringLiteral("fmstart.RefreshDownloadList Downloads lesen"), [&] {
            constexpr const erp::Query& q = DownloadsClass::kListe;
            ResultSet rs = DownloadsClass(connection.client()).liste();
            rs.execute({Session().firma});
            while (rs.next()) {
                DownloadRow r;
                r.datum = formatDate(rs.getData(erp::Column(q, u"Datum")));
                r.personal = rs.getData(erp::Column(q, u"PCODE"));
                r.lnr = rs.getData(erp::Column(q, u"LNR"));
                r.lname = ConvertText(rs.getData(erp::Column(q, u"Name")), QStringLiteral("VELTAR"),
                                      false);
                r.positionen = rs.getData(erp::Column(q, u"Positionen"));
                r.key = rs.getData(erp::Column(q, u"id"));
                rows.prepend(std::move(r));
            }
            rs.close();
        });
    if (ok)
        *ok = done;
    return rows;
}

bool DeleteDownload(Connection& connection, const QString& key) {
    if (key.isEmpty())
        return true;
    return connection.call(QStringLiteral("fmstart.tool1 Download löschen"),
                           [&] { DownloadsClass(connection.client()).dellief(key); });
}

DownloadListModel::DownloadListModel(Connection& connection, QObject* parent)
    : QAbstractTableModel(parent), m_connection(connection) {}

bool DownloadListModel::reload() {
    bool ok = false;
    QList<DownloadRow> rows = LoadDownloadList(m_connection, &ok);
    if (ok)
        setRows(std::move(rows));
    return ok;
}

void DownloadListModel::setRows(QList<DownloadRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void DownloadListModel::deleteRow(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    const QString key = m_rows[row].key;
    if (key.isEmpty())
        return;
    DeleteDownload(m_connection, key);
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

int DownloadListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DownloadListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return QVariant();
    const DownloadRow& r = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        switch (Column(index.column())) {
        case Datum:
            return r.datum;
        case Personal:
            return r.personal;
        case Lnr:
            return r.lnr;
        case Lname:
            return r.lname;
        case Positionen:
            return r.positionen;
        case ColumnCount:
            break;
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == Positionen)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    case KeyRole:
        return r.key;
    default:
        return QVariant();
    }
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole && section == Positionen)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return QVariant();
    static const QString captions[ColumnCount] = {
        QStringLiteral("Datum"), QStringLiteral("Personal"), QStringLiteral("Lief.-Nr"),
        QStringLiteral("Lief.-Name"), QStringLiteral("Positionen")};
    return section >= 0 && section < ColumnCount ? captions[section] : QVariant();
}
