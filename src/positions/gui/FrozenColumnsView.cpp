#include "FrozenColumnsView.h"

#include <QHeaderView>
#include <QScrollBar>

FrozenColumnsView::FrozenColumnsView(QWidget* parent) : QTableView(parent) {
    m_frozenView = new QTableView(this);
    // A click there gives this view the keyboard.
    m_frozenView->setFocusPolicy(Qt::ClickFocus);
    m_frozenView->setFocusProxy(this);
    m_frozenView->verticalHeader()->hide();
    m_frozenView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    m_frozenView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozenView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozenView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Only this view scrolls to a current cell; the frozen one follows. A
    // current cell set without scrolling (after a load) leaves both still.
    m_frozenView->setAutoScroll(false);
    m_frozenView->setFrameShape(QFrame::NoFrame);
    // A line between the frozen columns and the rest.
    m_frozenView->setStyleSheet(
        QStringLiteral("QTableView { border-right: 2px solid palette(mid); }"));
    m_frozenView->hide();
    viewport()->stackUnder(m_frozenView);
    setHorizontalScrollMode(ScrollPerPixel);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                if (column < m_frozen) {
                    m_frozenView->setColumnWidth(column, size);
                    updateFrozenGeometry();
                }
            });
    // A frozen column widened over there is widened here.
    connect(m_frozenView->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                // Not while the columns are set up from this view's widths.
                if (!m_syncing && column < m_frozen && size > 0 && columnWidth(column) != size)
                    setColumnWidth(column, size);
            });
    connect(verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { m_frozenView->setRowHeight(row, size); });
    connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, this,
            &FrozenColumnsView::snapAcross);
    // Scrolled up and down together, whichever of the two is scrolled.
    connect(m_frozenView->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozenView->verticalScrollBar(),
            &QAbstractSlider::setValue);
}

void FrozenColumnsView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    m_frozenView->setModel(model);
    QItemSelectionModel* own = m_frozenView->selectionModel();
    m_frozenView->setSelectionModel(selectionModel());
    if (own && own != selectionModel())
        own->deleteLater();
    if (model)
        // A reset shows the frozen view's columns again.
        connect(model, &QAbstractItemModel::modelReset, this, &FrozenColumnsView::syncFrozenView);
    syncFrozenView();
}

void FrozenColumnsView::setFrozenColumns(int count) {
    m_frozen = qMax(0, count);
    syncFrozenView();
}

int FrozenColumnsView::frozenWidth() const {
    int width = 0;
    for (int c = 0; c < m_frozen; ++c)
        if (!isColumnHidden(c))
            width += columnWidth(c);
    return width;
}

void FrozenColumnsView::syncFrozenView() {
    QAbstractItemModel* m = model();
    const int columns = m ? m->columnCount() : 0;
    m_frozenView->setSelectionBehavior(selectionBehavior());
    m_frozenView->setSelectionMode(selectionMode());
    m_frozenView->setWordWrap(wordWrap());
    m_frozenView->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    m_frozenView->horizontalHeader()->setHighlightSections(horizontalHeader()->highlightSections());
    m_frozenView->horizontalHeader()->setSortIndicatorShown(
        horizontalHeader()->isSortIndicatorShown());
    m_frozenView->horizontalHeader()->setSortIndicator(horizontalHeader()->sortIndicatorSection(),
                                                       horizontalHeader()->sortIndicatorOrder());
    m_syncing = true;
    for (int c = 0; c < columns; ++c) {
        if (c < m_frozen)
            m_frozenView->setColumnWidth(c, columnWidth(c));
        m_frozenView->setColumnHidden(c, c >= m_frozen);
    }
    m_syncing = false;
    m_frozenView->setVisible(m_frozen > 0 && columns > 0);
    updateFrozenGeometry();
}

void FrozenColumnsView::updateFrozenGeometry() {
    const int left = (verticalHeader()->isVisible() ? verticalHeader()->width() : 0) + frameWidth();
    m_frozenView->setGeometry(left, frameWidth(), frozenWidth(),
                              viewport()->height() + horizontalHeader()->height());
}

void FrozenColumnsView::snapAcross(int value) {
    if (m_snapping)
        return;
    const int before = m_across;
    m_across = value;
    QAbstractItemModel* m = model();
    if (m_frozen == 0 || value == 0 || !m)
        return;
    // The place in the content at the frozen columns' edge; a move to the
    // right goes on to the next column's start, one to the left back to
    // the start of the column there.
    const QHeaderView* header = horizontalHeader();
    const int edge = value + frozenWidth();
    int target = -1;
    for (int c = m_frozen; c < m->columnCount(); ++c) {
        if (isColumnHidden(c))
            continue;
        const int start = header->sectionPosition(c);
        const int end = start + columnWidth(c);
        if (edge < start || edge >= end)
            continue;
        target = edge == start || value < before ? start : end;
        break;
    }
    if (target < 0)
        return;
    const int snapped = qBound(0, target - frozenWidth(), horizontalScrollBar()->maximum());
    if (snapped == value)
        return;
    m_snapping = true;
    horizontalScrollBar()->setValue(snapped);
    m_snapping = false;
    m_across = snapped;
}

void FrozenColumnsView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

void FrozenColumnsView::updateGeometries() {
    QTableView::updateGeometries();
    updateFrozenGeometry();
}

QModelIndex FrozenColumnsView::moveCursor(CursorAction cursorAction,
                                          Qt::KeyboardModifiers modifiers) {
    const QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    if (current.isValid() && current.column() >= m_frozen) {
        // A cell moved to under the frozen columns comes out to their right.
        const int hidden = frozenWidth() - visualRect(current).left();
        if (hidden > 0)
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
    }
    return current;
}

void FrozenColumnsView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || m_frozen == 0) {
        QTableView::scrollTo(index, hint);
        return;
    }
    if (index.column() < m_frozen) {
        // A frozen cell is always in view across: only up or down.
        const int across = horizontalScrollBar()->value();
        QTableView::scrollTo(index, hint);
        horizontalScrollBar()->setValue(across);
        return;
    }
    QTableView::scrollTo(index, hint);
    const int hidden = frozenWidth() - visualRect(index).left();
    if (hidden > 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
}

void FrozenColumnsView::keyboardSearch(const QString& search) {
    if (!search.isEmpty())
        emit typedWithoutEditor(search);
}
