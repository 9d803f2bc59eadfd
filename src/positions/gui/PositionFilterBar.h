#pragma once

#include "positions/PositionFilter.h"

#include <QList>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QTimer;
class QToolButton;

// The filter bar of the positions window ("filterbar"): the text and the
// column it is looked for in, the quick filters (the first ones as buttons,
// the others in the menu "Weitere"), the step of "% Abw." the overview
// chose, and "Filter aufheben". It only shows and asks: the window sets the
// filter of its view.
class PositionFilterBar : public QWidget {
    Q_OBJECT
public:
    explicit PositionFilterBar(QWidget* parent);

    // The filter as the bar has it.
    PositionFilter filter() const;
    // Shows a filter; the bar's signals do not ask for it meanwhile.
    void showFilter(const PositionFilter& filter);
    // Typing filters once the buyer pauses; this drops a pause that runs.
    void stopTyping();
    // The text box "TXTFilter".
    QLineEdit* textBox() const { return TXTFilter; }

Q_SIGNALS:
    // The buyer changed the bar: its filter() is wanted.
    void changed();
    // "Filter aufheben": no filter is wanted.
    void cleared();

private:
    void addQuickFilterButtons(QHBoxLayout* bar, QToolButton* more);
    void applyFilterBar();

    QLineEdit* TXTFilter;
    QComboBox* CBFilterSpalte;
    QList<QToolButton*> m_quickButtons; // in AllQuickFilters() order
    QToolButton* m_stepButton;          // the step of "% Abw." the overview chose
    int m_step = -1;
    QTimer* m_filterTimer;
    bool m_settingBar = false;
};
