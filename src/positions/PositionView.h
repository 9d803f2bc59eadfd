#pragma once

#include "positions/PositionFilter.h"
#include "positions/PositionGridModel.h"

#include <QAbstractProxyModel>
#include <QList>
#include <QString>
#include <vector>

// What a buyer sees of the positions grid: the rows that pass a filter, in
// the order of a sort. Sorting and filtering are a view of the grid, never a
// change of it: marks, row keys, edits, the duplicate check of an
// assignment, "Mehrfachsetzen" and posting all work on the grid's own rows
// in load order.

// The texts of the window's status line.
QString PositionStatusText(int shown, int total, bool filtered);
QString PositionLoadingText(int loaded, int total);

// The grid as shown: a proxy over a PositionGridModel that keeps the rows
// passing its filter in its sort's order. A sort puts empty cells last in
// both directions and keeps the load order among equal cells; numbers sort
// as numbers, dates (also "EK-Dat ab" and "VK-Dat ab") as dates, "% Abw."
// as a number, texts in German order. Rows appended to the grid during a
// load are filtered and sorted in as they come. An edit never moves or
// hides a row: the filter and the sort are applied anew when they are set,
// on refresh() and on a new load.
class PositionView : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit PositionView(QObject* parent = nullptr);
    ~PositionView() override;

    // The source must be a PositionGridModel.
    void setSourceModel(QAbstractItemModel* source) override;
    PositionGridModel* grid() const { return m_grid; }

    void setFilter(const PositionFilter& filter);
    const PositionFilter& filter() const { return m_filter; }
    // Sorts by a grid column; -1 returns to the load order.
    void setSort(int column, Qt::SortOrder order = Qt::AscendingOrder);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // A click on a column's header: a new column sorts ascending, a second
    // click descending, a third returns to the load order.
    void cycleSort(int column);
    // Applies the filter and the sort anew to the grid's rows as they are.
    void refresh();

    // The grid rows shown, in shown order.
    QList<int> sourceRows() const { return QList<int>(m_rows.begin(), m_rows.end()); }
    // The grid rows, in load order, that pass another filter now.
    QList<int> rowsPassing(const PositionFilter& filter) const;
    // The grid row of a shown row, and back (-1: hidden or none).
    int sourceRow(int viewRow) const;
    int viewRow(int sourceRow) const;

    // The next cell (in shown order: row by row, column by column) after
    // from that holds the text, going round at the end; backwards with
    // forward false. from itself is looked at last. Invalid when none.
    QModelIndex find(const QString& text, const QModelIndex& from, bool forward) const;

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& idx) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The rows shown changed (a filter, a sort, rows loaded, a reset).
    void shownChanged();

private:
    class SortKeys;

    std::vector<int> acceptedRows(int first, int last) const;
    std::vector<int> rowsPassing(const PositionFilter& filter, int first, int last) const;
    void sortRows(std::vector<int>& rows);
    // Shows rows in place of the current ones: a layout change when the
    // same rows are shown, else a reset.
    void show(std::vector<int> rows);
    // The shown rows in another order (the same rows).
    void reorder(std::vector<int> rows);
    void rebuildViewOf();

    void sourceReset();
    void sourceAboutToReset();
    void sourceRowsInserted(const QModelIndex& parent, int first, int last);
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles);

    PositionGridModel* m_grid = nullptr;
    PositionFilter m_filter;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<int> m_rows;   // shown row -> grid row
    std::vector<int> m_viewOf; // grid row -> shown row, -1 hidden
    std::unique_ptr<SortKeys> m_keys;
    QList<QMetaObject::Connection> m_connections;
};
