#pragma once

#include "positions/PositionFilter.h"
#include "positions/PositionGridModel.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <array>
#include <optional>

// What a delivery does to the prices, over rows of the positions grid (the
// rows a view shows): how many positions there are, with and without an
// article number, how many rise, fall, stay or have nothing to compare
// with, how many have a negative margin or new sales prices; how many fall
// into each step of "% Abw."; and the largest rises and falls. Counted in
// one pass over the rows; each count is the count of the grid's quick
// filter of that meaning over the same rows.
struct PositionOverview {
    enum Count {
        Positionen,
        MitArtNr,
        OhneArtNr,
        Steigend,
        Fallend,
        Unveraendert,
        OhneVergleich,
        SpanneUnter0,
        NeueVkPreise,
        kCounts
    };
    static constexpr int kTop = 20;

    std::array<int, kCounts> counts{};
    std::array<int, kDeviationSteps> steps{};
    QList<int> rises; // grid rows, the largest rise first (at most top)
    QList<int> falls; // grid rows, the largest fall first

    // Over the grid rows given (in any order); rises and falls of the same
    // percent in load order.
    static PositionOverview of(const PositionGridModel& grid, const QList<int>& rows,
                               int top = kTop);
    // Over every row of the grid.
    static PositionOverview of(const PositionGridModel& grid, int top = kTop);

    int count(Count c) const { return counts[size_t(c)]; }
    // The label of a count ("Mit Art.-Nr.").
    static QString label(Count c);
    // The quick filter whose rows a count counts; none for "Positionen".
    static std::optional<QuickFilter> filterOf(Count c);
    // The counts, then the steps: label, a tab, the count.
    QStringList lines() const;
    // The positions that have a deviation (the steps' sum).
    int compared() const;
};

// "% Abw." of a row as a number; false when the row has none. The same
// reading as the grid's quick filters, quicker for the form the grid shows.
bool RowDeviation(const PositionRow& row, double* percent);
// The supplier's price before the delivery, worked back from the new price
// ("Preis excl.") and "% Abw."; false when the row has neither.
bool OldPrice(const PositionRow& row, double* price);
// A count in German form ("40.000").
QString GermanCount(int count);

// The largest rises or falls as a list: "Best.Nr.", "Bezeichnung", "Preis
// alt", "Preis neu", "% Abw.", one line per grid row.
class OverviewTopModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { BestNr, Bezeichnung, PreisAlt, PreisNeu, Abweichung, ColumnCount };

    explicit OverviewTopModel(QObject* parent = nullptr);
    void setRows(const PositionGridModel* grid, const QList<int>& rows);
    // The grid row of a line; -1 for none.
    int gridRow(int line) const { return line >= 0 && line < m_rows.size() ? m_rows[line] : -1; }
    const QList<int>& rows() const { return m_rows; }
    // The text of a cell as shown.
    QString cell(int line, int column) const;
    static QString caption(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QPointer<const PositionGridModel> m_grid;
    QList<int> m_rows;
};
