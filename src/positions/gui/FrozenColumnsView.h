#pragma once

#include <QTableView>

// A table whose first columns stay at the left while the rest scroll: a
// second view over the same model and selection lies over them, scrolled
// up and down in step with this one.
class FrozenColumnsView : public QTableView {
    Q_OBJECT
public:
    explicit FrozenColumnsView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // How many columns from the left stay in view (0: none).
    void setFrozenColumns(int count);
    int frozenColumns() const { return m_frozen; }
    QTableView* frozenView() const { return m_frozenView; }
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;

private:
    void syncFrozenView();
    void updateFrozenGeometry();
    int frozenWidth() const;

    QTableView* m_frozenView;
    int m_frozen = 0;
    bool m_syncing = false;
};
