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
    // Typing on a cell that opens no editor searches nothing (a search
    // would make another row current under the buyer's next keys).
    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    void typedWithoutEditor(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;

private:
    void syncFrozenView();
    // Scrolled across, the first column right of the frozen ones starts at
    // their edge: no sliver of a column shows there without its caption.
    void snapAcross(int value);
    void updateFrozenGeometry();
    int frozenWidth() const;

    QTableView* m_frozenView;
    int m_frozen = 0;
    bool m_syncing = false;
    bool m_snapping = false;
    int m_across = 0; // the value scrolled across before the latest move
};
