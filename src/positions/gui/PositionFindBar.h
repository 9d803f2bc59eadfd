#pragma once

#include <QWidget>

class PositionView;
class QLabel;
class QLineEdit;
class QTableView;

// The find bar of the positions window ("findbar", Ctrl+F): the text, the
// next and previous cell that holds it in the grid as shown (F3,
// Shift+F3), "Nicht gefunden" when there is none. Hidden until asked for.
class PositionFindBar : public QWidget {
    Q_OBJECT
public:
    PositionFindBar(const PositionView& view, QTableView* grid, QWidget* parent);

    // The window's actions "Suchen", "Weitersuchen" and "Rückwärts suchen"
    // with their keys.
    void addFindActions(QWidget* window);
    // Shows the bar and gives the text box the focus.
    void showFind();
    // The next (or previous) cell that holds the text; false when there is
    // none.
    bool findNext(bool forward);
    // Escape: the text goes, the bar hides and the grid has the focus.
    void closeFind();

private:
    const PositionView& m_view;
    QTableView* lipos;
    QLineEdit* TXTSuchen;
    QLabel* lbSuchen;
};
