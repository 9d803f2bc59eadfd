#pragma once

#include "positions/PositionColumns.h"
#include "server/ServerClient.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDate>
#include <QVector>
#include <array>
#include <functional>

// One row of the positions grid in compact form: the cell texts (number and
// date cells empty) as UTF-8 joined by line feeds, the typed number and date
// cells, and the row key (position id, EK date flag, VK date flag).
struct PositionRow {
    QByteArray texts;
    std::array<double, PositionGrid::kNumberColumns> numbers{};
    quint32 numberSet = 0; // bit n: number slot n holds a value
    QDate date;            // column "Datum"
    QString id;
    bool ekFlag = false;
    bool vkFlag = false;

    // The row text: the 53 cell texts joined by line feeds.
    QString rowText() const { return QString::fromUtf8(texts); }
    QString text(int column) const;
    void setText(int column, const QString& value);
    bool hasNumber(int column) const;
    double number(int column) const;
    void setNumber(int column, double value);
    void clearNumber(int column);
    bool marked() const { return text(PositionGrid::Mark) == u"1"; }
    // Position id, EK date flag and VK date flag joined by the backquote.
    QString rowKey() const;
};

// A row of the query "pos" (55 columns, 1-based as the query counts) as the
// grid shows it; the flags stay "N" (they come from the server afterwards).
PositionRow BuildPositionRow(const QStringList& queryRow);
// The same from the current row of a result set of that query, read as the
// UTF-8 that came (no string per cell).
PositionRow BuildPositionRow(const ResultSet& queryRow);

// The style of a cell: 0 normal and editable, 1 editable on orange, 2
// locked, 3 locked on orange; from the row's flags, EK discount group and
// discount type.
int PositionCellStyle(int column, bool ekFlag, bool vkFlag, const QString& ekRabgr,
                      const QString& rabTyp);
int PositionCellStyle(const PositionRow& row, int column);

// The orange of the styles 1 and 3.
inline constexpr int kOrangeRed = 255, kOrangeGreen = 128, kOrangeBlue = 64;

// The grid of one download's positions. Holds the rows compactly (no value
// object per cell); the view only paints what data() gives.
class PositionGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role {
        StyleRole = Qt::UserRole, // int 0..3
        RowKeyRole,               // the row key text
    };

    explicit PositionGridModel(QObject* parent = nullptr);

    void clear();
    void appendRows(QVector<PositionRow> rows);
    // Sets a row's flags; the cells they style change (signalled at once,
    // or gathered until flushChanges() when gathering).
    void setFlags(int row, bool ekFlag, bool vkFlag);
    void setGathering(bool gathering);
    void flushChanges();
    // Replaces a row (an assignment rebuilds it from the server); the mark
    // stays.
    void replaceRow(int row, PositionRow value);
    // Sets a cell to a value in the server's form (numbers with a decimal
    // point, dates dd.mm.yyyy); the grid shows it in its own form.
    void setServerValue(int row, int column, const QString& value);
    void setMarked(int row, bool marked);
    // "Selekt. mark": marks the rows; when all of them are marked already,
    // takes their marks away.
    void toggleMarks(const QList<int>& rows);
    QList<int> markedRows() const;

    // Called by setData() with a cell's new value as typed; true when the
    // edit was taken (checked, stored and shown). Without a handler no
    // edit is taken.
    std::function<bool(int row, int column, const QString& value)> editHandler;

    const PositionRow& row(int row) const { return m_rows[row]; }
    int size() const { return int(m_rows.size()); }
    // The cell as the grid shows it (numbers with the column's decimals in
    // the German format, the date as dd.mm.yyyy).
    QString cellText(int row, int column) const;
    int cellStyle(int row, int column) const { return PositionCellStyle(m_rows[row], column); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Whether a buyer may type into the cell: not locked by its style, and
    // the column is written back (or is the article number).
    bool isEditable(int row, int column) const;

private:
    QVector<PositionRow> m_rows;
    bool m_gathering = false;
    int m_dirtyFirst = -1;
    int m_dirtyLast = -1;
};
