#include "PositionView.h"

#include "positions/GermanCollation.h"
#include "positions/PositionTextMatcher.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

using namespace PositionGrid;

namespace {

const QLocale& german() {
    static const QLocale l(QLocale::German, QLocale::Germany);
    return l;
}

// The Julian day of a date, NaN for none.
double dayOf(const QDate& d) {
    return d.isValid() ? double(d.toJulianDay()) : std::numeric_limits<double>::quiet_NaN();
}

// The Julian day of a "dd/mm/yyyy" text (the two date lists), read at its
// fixed places; NaN for an empty or other text.
double slashDay(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() < 10 || t[2] != u'/' || t[5] != u'/')
        return std::numeric_limits<double>::quiet_NaN();
    int digits[8];
    int n = 0;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (!t[i].isDigit())
            return std::numeric_limits<double>::quiet_NaN();
        digits[n++] = t[i].unicode() - u'0';
    }
    return dayOf(QDate(digits[4] * 1000 + digits[5] * 100 + digits[6] * 10 + digits[7],
                       digits[2] * 10 + digits[3], digits[0] * 10 + digits[1]));
}

} // namespace

QString PositionStatusText(int shown, int total, bool filtered) {
    const QString noun = total == 1 ? QStringLiteral("Position") : QStringLiteral("Positionen");
    if (!filtered)
        return german().toString(total) + u' ' + noun;
    return german().toString(shown) + QStringLiteral(" von ") + german().toString(total) + u' ' +
           noun;
}

QString PositionLoadingText(int loaded, int total) {
    QString text = QStringLiteral("Positionen werden geladen: ") + german().toString(loaded);
    if (total > 0)
        text += QStringLiteral(" von ") + german().toString(total);
    return text;
}

// --- sort keys -------------------------------------------------------------

// The keys of the sort column for every grid row: numbers (NaN for an empty
// cell) or German text keys ("" for an empty cell).
class PositionView::SortKeys {
public:
    SortKeys(int column, bool descending) : m_column(column), m_descending(descending) {
        const CellKind kind = ColumnOf(column).kind;
        m_text = !(kind == CellKind::Number || kind == CellKind::Date || column == Abweichung ||
                   column == EkDatAb || column == VkDatAb);
    }

    void extend(const PositionGridModel& model) {
        const int from = int(m_text ? m_texts.size() : m_numbers.size());
        for (int r = from; r < model.size(); ++r) {
            if (m_text)
                m_texts.push_back(textKey(model, r));
            else
                m_numbers.push_back(numberKey(model, r));
        }
    }

    void update(const PositionGridModel& model, int row) {
        if (m_text && row < int(m_texts.size()))
            m_texts[size_t(row)] = textKey(model, row);
        else if (!m_text && row < int(m_numbers.size()))
            m_numbers[size_t(row)] = numberKey(model, row);
    }

    bool dependsOn(int firstColumn, int lastColumn) const {
        return m_column >= firstColumn && m_column <= lastColumn;
    }

    // Empty cells last in both directions; equal keys stay in load order.
    bool less(int a, int b) const {
        if (m_text) {
            const QString& x = m_texts[size_t(a)];
            const QString& y = m_texts[size_t(b)];
            if (x.isEmpty() || y.isEmpty())
                return !x.isEmpty() && y.isEmpty();
            const int c = QString::compare(x, y);
            return m_descending ? c > 0 : c < 0;
        }
        const double x = m_numbers[size_t(a)];
        const double y = m_numbers[size_t(b)];
        if (std::isnan(x) || std::isnan(y))
            return !std::isnan(x) && std::isnan(y);
        return m_descending ? x > y : x < y;
    }

private:
    QString textKey(const PositionGridModel& model, int row) const {
        return GermanSortKey(model.cellText(row, m_column));
    }

    double numberKey(const PositionGridModel& model, int row) const {
        const PositionRow& r = model.row(row);
        constexpr double none = std::numeric_limits<double>::quiet_NaN();
        if (m_column == Datum)
            return dayOf(r.date);
        if (m_column == EkDatAb || m_column == VkDatAb)
            return slashDay(r.text(m_column));
        if (m_column == Abweichung) {
            double v = 0;
            return ParseDeviation(r.text(Abweichung), &v) ? v : none;
        }
        return r.hasNumber(m_column) ? r.number(m_column) : none;
    }

    int m_column;
    bool m_descending;
    bool m_text;
    std::vector<double> m_numbers;
    std::vector<QString> m_texts;
};

// --- the view --------------------------------------------------------------

PositionView::PositionView(QObject* parent) : QAbstractProxyModel(parent) {}

PositionView::~PositionView() = default;

void PositionView::setSourceModel(QAbstractItemModel* source) {
    beginResetModel();
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    QAbstractProxyModel::setSourceModel(source);
    m_grid = qobject_cast<PositionGridModel*>(source);
    if (m_grid) {
        m_connections
            << connect(m_grid, &QAbstractItemModel::modelAboutToBeReset, this,
                       &PositionView::sourceAboutToReset)
            << connect(m_grid, &QAbstractItemModel::modelReset, this, &PositionView::sourceReset)
            << connect(m_grid, &QAbstractItemModel::rowsInserted, this,
                       &PositionView::sourceRowsInserted)
            << connect(m_grid, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                       &PositionView::sourceAboutToReset)
            << connect(m_grid, &QAbstractItemModel::rowsRemoved, this, &PositionView::sourceReset)
            << connect(m_grid, &QAbstractItemModel::layoutAboutToBeChanged, this,
                       &PositionView::sourceAboutToReset)
            << connect(m_grid, &QAbstractItemModel::layoutChanged, this, &PositionView::sourceReset)
            << connect(m_grid, &QAbstractItemModel::dataChanged, this,
                       &PositionView::sourceDataChanged)
            << connect(m_grid, &QAbstractItemModel::headerDataChanged, this,
                       &QAbstractItemModel::headerDataChanged);
    }
    m_keys.reset();
    if (m_grid && m_sortColumn >= 0) {
        m_keys = std::make_unique<SortKeys>(m_sortColumn, m_sortOrder == Qt::DescendingOrder);
        m_keys->extend(*m_grid);
    }
    m_rows = m_grid ? acceptedRows(0, m_grid->size() - 1) : std::vector<int>();
    sortRows(m_rows);
    rebuildViewOf();
    endResetModel();
    emit shownChanged();
}

std::vector<int> PositionView::acceptedRows(int first, int last) const {
    return rowsPassing(m_filter, first, last);
}

std::vector<int> PositionView::rowsPassing(const PositionFilter& filter, int first,
                                           int last) const {
    std::vector<int> rows;
    if (!m_grid || last < first)
        return rows;
    if (filter.isEmpty()) {
        rows.resize(size_t(last - first + 1));
        for (int r = first; r <= last; ++r)
            rows[size_t(r - first)] = r;
        return rows;
    }
    const PositionTextMatcher text(filter.text);
    for (int r = first; r <= last; ++r)
        if (filter.passes(m_grid->row(r)) && text.rowMatches(*m_grid, r, filter.column))
            rows.push_back(r);
    return rows;
}

QList<int> PositionView::rowsPassing(const PositionFilter& filter) const {
    const std::vector<int> rows = rowsPassing(filter, 0, m_grid ? m_grid->size() - 1 : -1);
    return QList<int>(rows.begin(), rows.end());
}

void PositionView::sortRows(std::vector<int>& rows) {
    if (!m_keys) {
        std::sort(rows.begin(), rows.end());
        return;
    }
    const SortKeys& keys = *m_keys;
    // Ties in load order: the rows come in load order or are ordered by it
    // first.
    std::sort(rows.begin(), rows.end());
    std::stable_sort(rows.begin(), rows.end(), [&keys](int a, int b) { return keys.less(a, b); });
}

void PositionView::rebuildViewOf() {
    m_viewOf.assign(m_grid ? size_t(m_grid->size()) : 0, -1);
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_viewOf[size_t(m_rows[i])] = int(i);
}

void PositionView::show(std::vector<int> rows) {
    if (rows == m_rows)
        return;
    // The same rows (each shown now, as many) only in another order?
    bool same = rows.size() == m_rows.size();
    for (size_t i = 0; same && i < rows.size(); ++i)
        same = viewRow(rows[i]) >= 0;
    if (!same) {
        beginResetModel();
        m_rows = std::move(rows);
        rebuildViewOf();
        endResetModel();
        emit shownChanged();
        return;
    }
    reorder(std::move(rows));
}

void PositionView::reorder(std::vector<int> rows) {
    // The current cell and the selection move with their rows.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    QList<int> sources;
    sources.reserve(persistent.size());
    for (const QModelIndex& i : persistent)
        sources << sourceRow(i.row());
    m_rows = std::move(rows);
    rebuildViewOf();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (int i = 0; i < persistent.size(); ++i) {
        const int row = viewRow(sources[i]);
        moved << (row >= 0 ? index(row, persistent[i].column()) : QModelIndex());
    }
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit shownChanged();
}

void PositionView::setFilter(const PositionFilter& filter) {
    if (filter == m_filter)
        return;
    m_filter = filter;
    std::vector<int> rows = acceptedRows(0, m_grid ? m_grid->size() - 1 : -1);
    sortRows(rows);
    show(std::move(rows));
    // The same rows still say that the filter changed.
    emit shownChanged();
}

void PositionView::setSort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumns) {
        column = -1;
        order = Qt::AscendingOrder;
    }
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    m_keys.reset();
    if (column >= 0 && m_grid) {
        m_keys = std::make_unique<SortKeys>(column, order == Qt::DescendingOrder);
        m_keys->extend(*m_grid);
    }
    std::vector<int> rows = m_rows;
    sortRows(rows);
    show(std::move(rows));
}

void PositionView::cycleSort(int column) {
    if (column != m_sortColumn)
        setSort(column, Qt::AscendingOrder);
    else if (m_sortOrder == Qt::AscendingOrder)
        setSort(column, Qt::DescendingOrder);
    else
        setSort(-1);
}

void PositionView::sort(int column, Qt::SortOrder order) {
    setSort(column, order);
}

void PositionView::refresh() {
    if (!m_grid)
        return;
    if (m_keys) {
        m_keys = std::make_unique<SortKeys>(m_sortColumn, m_sortOrder == Qt::DescendingOrder);
        m_keys->extend(*m_grid);
    }
    std::vector<int> rows = acceptedRows(0, m_grid->size() - 1);
    sortRows(rows);
    show(std::move(rows));
}

int PositionView::sourceRow(int viewRow) const {
    return viewRow >= 0 && size_t(viewRow) < m_rows.size() ? m_rows[size_t(viewRow)] : -1;
}

int PositionView::viewRow(int sourceRow) const {
    return sourceRow >= 0 && size_t(sourceRow) < m_viewOf.size() ? m_viewOf[size_t(sourceRow)] : -1;
}

QModelIndex PositionView::find(const QString& text, const QModelIndex& from, bool forward) const {
    const PositionTextMatcher matcher(text);
    const int rows = int(m_rows.size());
    if (matcher.isEmpty() || rows == 0 || !m_grid)
        return {};
    int startRow = forward ? 0 : rows - 1;
    int startColumn = forward ? -1 : kColumns;
    if (from.isValid() && from.model() == this) {
        startRow = from.row();
        startColumn = from.column();
    }
    // The start row is looked at twice: first the cells after the start,
    // at the end, having gone round, the cells up to it.
    for (int k = 0; k <= rows; ++k) {
        const int row = forward ? (startRow + k) % rows : ((startRow - k) % rows + rows) % rows;
        const int source = m_rows[size_t(row)];
        if (!matcher.rowMatches(*m_grid, source))
            continue;
        int first = 0, last = kColumns - 1;
        if (k == 0) {
            if (forward)
                first = startColumn + 1;
            else
                last = startColumn - 1;
        } else if (k == rows) {
            if (forward)
                last = startColumn;
            else
                first = startColumn;
        }
        for (int i = 0; i <= last - first; ++i) {
            const int column = forward ? first + i : last - i;
            if (matcher.cellMatches(*m_grid, source, column))
                return index(row, column);
        }
    }
    return {};
}

QModelIndex PositionView::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || !m_grid || proxyIndex.model() != this)
        return {};
    const int row = sourceRow(proxyIndex.row());
    return row >= 0 ? m_grid->index(row, proxyIndex.column()) : QModelIndex();
}

QModelIndex PositionView::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.model() != m_grid)
        return {};
    const int row = viewRow(sourceIndex.row());
    return row >= 0 ? index(row, sourceIndex.column()) : QModelIndex();
}

QModelIndex PositionView::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || size_t(row) >= m_rows.size() ||
        column >= kColumns)
        return {};
    return createIndex(row, column);
}

QModelIndex PositionView::parent(const QModelIndex&) const {
    return {};
}

QModelIndex PositionView::sibling(int row, int column, const QModelIndex&) const {
    return index(row, column);
}

int PositionView::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PositionView::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_grid ? 0 : kColumns;
}

bool PositionView::hasChildren(const QModelIndex& parent) const {
    return !parent.isValid() && !m_rows.empty();
}

QVariant PositionView::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!m_grid)
        return {};
    if (orientation == Qt::Horizontal)
        return m_grid->headerData(section, orientation, role);
    return m_grid->headerData(sourceRow(section), orientation, role);
}

void PositionView::sourceAboutToReset() {
    beginResetModel();
}

void PositionView::sourceReset() {
    if (m_keys) {
        m_keys = std::make_unique<SortKeys>(m_sortColumn, m_sortOrder == Qt::DescendingOrder);
        m_keys->extend(*m_grid);
    }
    m_rows = acceptedRows(0, m_grid->size() - 1);
    sortRows(m_rows);
    rebuildViewOf();
    endResetModel();
    emit shownChanged();
}

void PositionView::sourceRowsInserted(const QModelIndex& parent, int first, int last) {
    if (parent.isValid())
        return;
    if (size_t(first) != m_viewOf.size()) {
        // Not appended: everything anew.
        beginResetModel();
        sourceReset();
        return;
    }
    m_viewOf.resize(size_t(last + 1), -1);
    if (m_keys)
        m_keys->extend(*m_grid);
    const std::vector<int> added = acceptedRows(first, last);
    if (added.empty()) {
        emit shownChanged();
        return;
    }
    const int at = int(m_rows.size());
    beginInsertRows(QModelIndex(), at, at + int(added.size()) - 1);
    for (size_t i = 0; i < added.size(); ++i) {
        m_viewOf[size_t(added[i])] = at + int(i);
        m_rows.push_back(added[i]);
    }
    endInsertRows();
    if (m_keys) {
        // The new rows (in load order) merged into the sorted ones.
        std::vector<int> rows = m_rows;
        const SortKeys& keys = *m_keys;
        const auto less = [&keys](int a, int b) { return keys.less(a, b); };
        std::stable_sort(rows.begin() + at, rows.end(), less);
        std::inplace_merge(rows.begin(), rows.begin() + at, rows.end(), less);
        reorder(std::move(rows));
    }
    emit shownChanged();
}

void PositionView::sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                     const QList<int>& roles) {
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    if (m_keys && m_keys->dependsOn(topLeft.column(), bottomRight.column()))
        for (int r = topLeft.row(); r <= bottomRight.row(); ++r)
            m_keys->update(*m_grid, r);
    int first = -1, last = -1;
    if (m_sortColumn < 0 && m_filter.isEmpty()) {
        first = topLeft.row();
        last = bottomRight.row();
    } else {
        for (int r = topLeft.row(); r <= bottomRight.row(); ++r) {
            const int v = viewRow(r);
            if (v < 0)
                continue;
            first = first < 0 ? v : qMin(first, v);
            last = qMax(last, v);
        }
    }
    if (first < 0)
        return;
    emit dataChanged(index(first, topLeft.column()), index(last, bottomRight.column()), roles);
}
