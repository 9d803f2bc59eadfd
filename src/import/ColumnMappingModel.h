#pragma once

#include "import/PriceList.h"

#include <QAbstractTableModel>

// The first rows of a price list as a table for the buyer to map: row 0
// holds the column's meaning (a choice of PriceColumnCaptions() or "–"),
// the rows below the list's first rows; the vertical header gives each its
// row number in the sheet. Rows above the mapping's first row are grey.
class ColumnMappingModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPreviewRows = 20;
    static inline const QString kNone = QStringLiteral("–");

    explicit ColumnMappingModel(QObject* parent = nullptr);

    // Reads the first rows of the file (of the mapping's sheet); false
    // (error() says why) when it cannot be read. The mapping's columns
    // named by header text are shown where that text stands.
    bool load(const QString& path, bool workbook, const ColumnMapping& mapping);
    QString error() const { return m_error; }
    QStringList sheets() const { return m_sheets; }

    // The mapping as the buyer left it, columns by letter.
    ColumnMapping mapping() const;
    void setFirstRow(int row);
    int firstRow() const { return m_firstRow; }
    // Which column holds a meaning; -1 for none.
    int columnOf(PriceColumn c) const { return m_columns[size_t(c)]; }
    // Gives the column a meaning (taken from any other column) or none.
    void assign(int column, std::optional<PriceColumn> meaning);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    void mappingChanged();

private:
    QList<SheetRow> m_rows;
    QList<qint64> m_numbers;
    std::array<int, kPriceColumnCount> m_columns;
    int m_firstRow = 0;
    int m_width = 0;
    QString m_sheet;
    QStringList m_sheets;
    QString m_error;
};
