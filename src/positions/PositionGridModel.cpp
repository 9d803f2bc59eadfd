#include "PositionGridModel.h"

#include "server/PosClass.h"

#include <QBrush>
#include <QColor>
#include <QLocale>

using namespace PositionGrid;

namespace {

// The byte range of field n of texts (fields separated by line feeds).
std::pair<qsizetype, qsizetype> fieldRange(const QByteArray& texts, int n) {
    qsizetype start = 0;
    for (int i = 0; i < n; ++i) {
        const qsizetype lf = texts.indexOf('\n', start);
        if (lf < 0)
            return {texts.size(), 0};
        start = lf + 1;
    }
    qsizetype end = texts.indexOf('\n', start);
    if (end < 0)
        end = texts.size();
    return {start, end - start};
}

QDate parseDate(const QString& text) {
    const QString t = text.trimmed();
    QDate d = QDate::fromString(t, QStringLiteral("dd.MM.yyyy"));
    if (!d.isValid())
        d = QDate::fromString(t.left(10), Qt::ISODate);
    if (!d.isValid())
        d = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
    return d;
}

} // namespace

QString PositionRow::text(int column) const {
    const auto [start, length] = fieldRange(texts, column);
    return QString::fromUtf8(texts.constData() + start, length);
}

void PositionRow::setText(int column, const QString& value) {
    QString v = value;
    v.replace(u'\n', u' ');
    const auto [start, length] = fieldRange(texts, column);
    texts.replace(start, length, v.toUtf8());
}

bool PositionRow::hasNumber(int column) const {
    const int slot = NumberSlot(column);
    return slot >= 0 && (numberSet & (1u << slot));
}

double PositionRow::number(int column) const {
    const int slot = NumberSlot(column);
    return slot >= 0 ? numbers[size_t(slot)] : 0.0;
}

void PositionRow::setNumber(int column, double value) {
    const int slot = NumberSlot(column);
    if (slot < 0)
        return;
    numbers[size_t(slot)] = value;
    numberSet |= 1u << slot;
}

void PositionRow::clearNumber(int column) {
    const int slot = NumberSlot(column);
    if (slot < 0)
        return;
    numbers[size_t(slot)] = 0;
    numberSet &= ~(1u << slot);
}

QString PositionRow::rowKey() const {
    return id + u'`' + (ekFlag ? u'J' : u'N') + u'`' + (vkFlag ? u'J' : u'N');
}

namespace {

// dd.mm.yyyy read without a string; other forms as parseDate() reads them.
QDate parseDate(QByteArrayView v) {
    if (v.size() == 10 && v[2] == '.' && v[5] == '.') {
        int d[8];
        int n = 0;
        for (int i : {0, 1, 3, 4, 6, 7, 8, 9}) {
            if (v[i] < '0' || v[i] > '9')
                break;
            d[n++] = v[i] - '0';
        }
        if (n == 8)
            return QDate(d[4] * 1000 + d[5] * 100 + d[6] * 10 + d[7], d[2] * 10 + d[3],
                         d[0] * 10 + d[1]);
    }
    return v.isEmpty() ? QDate() : parseDate(QString::fromUtf8(v));
}

// Builds a row from query(column) (1-based; UTF-8 views that stay valid
// while the row is built).
template <typename Query> PositionRow buildRow(Query query) {
    PositionRow row;
    row.id = QString::fromUtf8(query(PosQuery::Id));
    QByteArray& texts = row.texts;
    texts.reserve(400);
    auto append = [&texts](QByteArrayView v) {
        const qsizetype at = texts.size();
        texts.append(v.data(), v.size());
        // A line feed inside a cell would split the row text.
        for (qsizetype i = at; i < texts.size(); ++i)
            if (texts[i] == '\n')
                texts[i] = ' ';
    };
    for (int c = 0; c < kColumns; ++c) {
        const PositionColumn& col = ColumnOf(c);
        if (c > 0)
            texts += '\n';
        const QByteArrayView v = col.queryColumn >= 1 ? query(col.queryColumn) : QByteArrayView();
        switch (col.kind) {
        case CellKind::Number: {
            double n = 0;
            if (!v.isEmpty() && ParseServerNumber(v, &n))
                row.setNumber(c, n);
            break;
        }
        case CellKind::Date:
            row.date = parseDate(v);
            break;
        case CellKind::Text:
        case CellKind::List:
            if (c == Abweichung) {
                if (!query(PosQuery::ARTNR).isEmpty())
                    append(FormatDeviation(QString::fromUtf8(v)).toUtf8());
            } else if (c == EkDatAb || c == VkDatAb) {
                bool ascii = true;
                for (qsizetype i = 0; i < v.size() && i < 6; ++i)
                    ascii = ascii && uchar(v[i]) < 0x80;
                if (!ascii) {
                    append(SlashDate(QString::fromUtf8(v)).toUtf8());
                    break;
                }
                const qsizetype at = texts.size();
                append(v);
                if (v.size() >= 3)
                    texts[at + 2] = '/';
                if (v.size() >= 6)
                    texts[at + 5] = '/';
            } else {
                append(v);
                if (col.queryColumn2) {
                    texts += ' ';
                    append(query(col.queryColumn2));
                }
            }
            break;
        }
    }
    return row;
}

} // namespace

PositionRow BuildPositionRow(const QStringList& q) {
    QVector<QByteArray> utf8;
    utf8.reserve(q.size());
    for (const QString& s : q)
        utf8.append(s.toUtf8());
    return buildRow([&](int column) {
        return column >= 1 && column <= utf8.size() ? QByteArrayView(utf8[column - 1])
                                                    : QByteArrayView();
    });
}

PositionRow BuildPositionRow(const ResultSet& rs) {
    return buildRow([&](int column) { return rs.rawData(column); });
}

int PositionCellStyle(int column, bool ekFlag, bool vkFlag, const QString& ekRabgr,
                      const QString& rabTyp) {
    if ((column >= Stat && column <= PreisPer) || column == EkPer || column == Abweichung ||
        column == Spanne)
        return 2;
    if (column == VkExcl || column == VkIncl)
        return vkFlag ? 2 : 1;
    if (column >= RabTyp && column <= Netto) {
        // A discount group sets the discounts: all six locked.
        if (!ekRabgr.isEmpty())
            return 2;
        const bool percent = rabTyp == u"%";
        int style = 0;
        if (column == RabTyp)
            style = 0;
        else if (column == Netto)
            style = percent ? 2 : 0;
        else // Rab1..Rab4
            style = percent ? 0 : 2;
        // Without a condition of the date in the ERP the six cells are orange.
        if (!ekFlag)
            style += 1;
        return style;
    }
    return 0;
}

int PositionCellStyle(const PositionRow& row, int column) {
    if (column >= RabTyp && column <= Netto)
        return PositionCellStyle(column, row.ekFlag, row.vkFlag, row.text(EkRabgr),
                                 row.text(RabTyp));
    return PositionCellStyle(column, row.ekFlag, row.vkFlag, QString(), QString());
}

PositionGridModel::PositionGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void PositionGridModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_rows.squeeze();
    m_dirtyFirst = m_dirtyLast = -1;
    endResetModel();
}

void PositionGridModel::appendRows(QVector<PositionRow> rows) {
    if (rows.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    m_rows.append(std::move(rows));
    endInsertRows();
}

void PositionGridModel::setFlags(int row, bool ekFlag, bool vkFlag) {
    if (row < 0 || row >= m_rows.size())
        return;
    PositionRow& r = m_rows[row];
    if (r.ekFlag == ekFlag && r.vkFlag == vkFlag)
        return;
    r.ekFlag = ekFlag;
    r.vkFlag = vkFlag;
    if (!m_gathering) {
        emit dataChanged(index(row, RabTyp), index(row, VkIncl));
        return;
    }
    m_dirtyFirst = m_dirtyFirst < 0 ? row : qMin(m_dirtyFirst, row);
    m_dirtyLast = qMax(m_dirtyLast, row);
}

void PositionGridModel::setGathering(bool gathering) {
    m_gathering = gathering;
    if (!gathering)
        flushChanges();
}

void PositionGridModel::flushChanges() {
    if (m_dirtyFirst < 0)
        return;
    const int first = m_dirtyFirst;
    const int last = m_dirtyLast;
    m_dirtyFirst = m_dirtyLast = -1;
    emit dataChanged(index(first, RabTyp), index(last, VkIncl));
}

QString PositionGridModel::cellText(int row, int column) const {
    const PositionRow& r = m_rows[row];
    const PositionColumn& col = ColumnOf(column);
    switch (col.kind) {
    case CellKind::Number:
        return r.hasNumber(column) ? FormatNumber(r.number(column), col.decimals) : QString();
    case CellKind::Date:
        return r.date.isValid() ? r.date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
    case CellKind::Text:
    case CellKind::List:
        break;
    }
    return r.text(column);
}

int PositionGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PositionGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant PositionGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= kColumns)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), column);
    case Qt::ToolTipRole:
        // A posting's answer is longer than its narrow column.
        if (column == Stat && !m_rows[index.row()].text(Stat).isEmpty())
            return m_rows[index.row()].text(Stat);
        return QVariant();
    case Qt::BackgroundRole: {
        const int style = cellStyle(index.row(), column);
        if (style == 1 || style == 3)
            return QBrush(QColor(kOrangeRed, kOrangeGreen, kOrangeBlue));
        return QVariant();
    }
    case Qt::TextAlignmentRole:
        if (ColumnOf(column).kind == CellKind::Number)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    case StyleRole:
        return cellStyle(index.row(), column);
    case RowKeyRole:
        return m_rows[index.row()].rowKey();
    default:
        return QVariant();
    }
}

QVariant PositionGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QVariant();
    if (role == Qt::DisplayRole)
        return Caption(section);
    return QVariant();
}

bool PositionGridModel::isEditable(int row, int column) const {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= kColumns)
        return false;
    if (column != ArtNr && !ColumnOf(column).property)
        return false;
    return cellStyle(row, column) < 2;
}

Qt::ItemFlags PositionGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isEditable(index.row(), index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool PositionGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !editHandler ||
        !isEditable(index.row(), index.column()))
        return false;
    // The handler checks, stores and sets the row; the cell shows what the
    // server holds either way.
    return editHandler(index.row(), index.column(), value.toString());
}

void PositionGridModel::replaceRow(int row, PositionRow value) {
    if (row < 0 || row >= m_rows.size())
        return;
    const bool mark = m_rows[row].marked();
    m_rows[row] = std::move(value);
    if (mark)
        m_rows[row].setText(Mark, QStringLiteral("1"));
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

void PositionGridModel::setServerValue(int row, int column, const QString& value) {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= kColumns)
        return;
    PositionRow& r = m_rows[row];
    switch (ColumnOf(column).kind) {
    case CellKind::Number: {
        double v = 0;
        if (ParseServerNumber(value, &v))
            r.setNumber(column, v);
        else
            r.clearNumber(column);
        break;
    }
    case CellKind::Date:
        r.date = parseDate(value);
        break;
    case CellKind::Text:
    case CellKind::List:
        r.setText(column, column == EkDatAb || column == VkDatAb ? SlashDate(value) : value);
        break;
    }
    // A discount group, type or flag restyles the six discount cells.
    if (column == EkRabgr || column == RabTyp)
        emit dataChanged(index(row, RabTyp), index(row, Netto));
    emit dataChanged(index(row, column), index(row, column));
}

void PositionGridModel::setMarked(int row, bool marked) {
    if (row < 0 || row >= m_rows.size() || m_rows[row].marked() == marked)
        return;
    m_rows[row].setText(Mark, marked ? QStringLiteral("1") : QString());
    emit dataChanged(index(row, Mark), index(row, Mark));
}

void PositionGridModel::toggleMarks(const QList<int>& rows) {
    bool allMarked = !rows.isEmpty();
    for (int r : rows)
        allMarked = allMarked && r >= 0 && r < m_rows.size() && m_rows[r].marked();
    for (int r : rows)
        setMarked(r, !allMarked);
}

QList<int> PositionGridModel::markedRows() const {
    QList<int> rows;
    for (int r = 0; r < m_rows.size(); ++r)
        if (m_rows[r].marked())
            rows << r;
    return rows;
}
