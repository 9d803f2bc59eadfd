#include "ColumnMappingModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QLocale>
#include <cmath>

ColumnMappingModel::ColumnMappingModel(QObject* parent) : QAbstractTableModel(parent) {
    m_columns.fill(-1);
}

bool ColumnMappingModel::load(const QString& path, bool workbook, const ColumnMapping& mapping) {
    beginResetModel();
    m_rows.clear();
    m_numbers.clear();
    m_columns.fill(-1);
    m_width = 0;
    m_error.clear();
    m_sheet = mapping.sheet;
    auto rows = PriceListRows(path, workbook, mapping.sheet);
    bool ok = rows->open();
    // The sheets are known even when the one asked for is not there.
    m_sheets = rows->sheets();
    if (ok) {
        SheetRow row;
        qint64 number = 0;
        while (m_rows.size() < kPreviewRows && rows->next(&row, &number)) {
            m_rows << row;
            m_numbers << number;
            m_width = qMax(m_width, int(row.size()));
        }
        ok = !rows->failed();
    }
    if (!ok)
        m_error = rows->error();
    // A remembered mapping where it fits; else what the headers propose.
    ColumnMapping shown = mapping.isEmpty() ? ProposeMapping(m_rows, m_numbers) : mapping;
    m_firstRow = shown.firstRow > 0 ? shown.firstRow : 1;
    SheetRow header;
    qint64 headerRow = 0;
    for (qsizetype r = 0; r < m_rows.size(); ++r)
        if (m_numbers[r] < m_firstRow) {
            header = m_rows[r];
            headerRow = m_numbers[r];
        }
    // What does not fit this list is left for the buyer to choose.
    QString ignored;
    for (int c = 0; c < kPriceColumnCount; ++c) {
        ColumnMapping one;
        one.columns[size_t(c)] = shown.columns[size_t(c)];
        one.firstRow = m_firstRow;
        if (const auto index = one.resolve(header, headerRow, m_width, &ignored))
            m_columns[size_t(c)] = (*index)[size_t(c)];
    }
    endResetModel();
    emit mappingChanged();
    return ok;
}

ColumnMapping ColumnMappingModel::mapping() const {
    ColumnMapping m;
    for (int c = 0; c < kPriceColumnCount; ++c)
        if (m_columns[size_t(c)] >= 0)
            m.columns[size_t(c)] = ColumnLetters(m_columns[size_t(c)]);
    m.firstRow = m_firstRow;
    m.sheet = m_sheet;
    return m;
}

void ColumnMappingModel::setFirstRow(int row) {
    if (row == m_firstRow || row < 1)
        return;
    m_firstRow = row;
    if (!m_rows.isEmpty())
        emit dataChanged(index(1, 0), index(rowCount() - 1, columnCount() - 1));
    emit mappingChanged();
}

void ColumnMappingModel::assign(int column, std::optional<PriceColumn> meaning) {
    for (int& c : m_columns)
        if (c == column)
            c = -1;
    if (meaning)
        m_columns[size_t(*meaning)] = column;
    emit dataChanged(index(0, 0), index(0, columnCount() - 1));
    emit mappingChanged();
}

int ColumnMappingModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size()) + 1;
}

int ColumnMappingModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_width;
}

QVariant ColumnMappingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (index.row() == 0) {
        if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::FontRole)
            return {};
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        for (int c = 0; c < kPriceColumnCount; ++c)
            if (m_columns[size_t(c)] == index.column())
                return PriceColumnCaptions()[c];
        return kNone;
    }
    const qsizetype r = index.row() - 1;
    if (role == Qt::ForegroundRole && m_numbers[r] < m_firstRow)
        return QBrush(QColor(Qt::gray));
    if (role != Qt::DisplayRole)
        return {};
    const SheetRow& row = m_rows[r];
    if (index.column() >= row.size())
        return QString();
    const SheetCell& cell = row[index.column()];
    if (cell.kind != SheetCell::Kind::Number)
        return cell.text;
    // A number as the buyer reads it: German, without the float's noise.
    static const QLocale german(QLocale::German, QLocale::Germany);
    QString shown = german.toString(cell.text.toDouble(), 'f', 4);
    while (shown.contains(u',') && (shown.endsWith(u'0') || shown.endsWith(u',')))
        shown.chop(1);
    // Order numbers and EANs are no amounts: no thousands separators.
    return std::fabs(cell.text.toDouble()) >= 1e5 ? QString(shown).remove(u'.') : shown;
}

bool ColumnMappingModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() != 0 || role != Qt::EditRole)
        return false;
    const qsizetype meaning = PriceColumnCaptions().indexOf(value.toString());
    assign(index.column(), meaning < 0 ? std::nullopt : std::optional(PriceColumn(meaning)));
    return true;
}

QVariant ColumnMappingModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return ColumnLetters(section);
    if (section == 0)
        return QStringLiteral("Spalte");
    return QString::number(m_numbers.value(section - 1));
}

Qt::ItemFlags ColumnMappingModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.row() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}
