#pragma once

#include "positions/OverviewChart.h"
#include "positions/PositionView.h"

#include <QDialog>
#include <QWidget>
#include <array>

class QLabel;
class QTimer;
class QToolButton;
class QTreeView;

// The bar chart of the steps of "% Abw." as a control: a click on a step's
// column (bar, count or label) reports the step; the chosen step is framed.
class OverviewChartView : public QWidget {
    Q_OBJECT
public:
    explicit OverviewChartView(QWidget* parent = nullptr);
    void setChart(const std::array<int, kDeviationSteps>& steps, const QString& title);
    void setSelected(int step);
    int selected() const { return m_selected; }
    const std::array<int, kDeviationSteps>& steps() const { return m_steps; }
    // The step at a point of the control; -1 for none.
    int stepAt(const QPoint& point) const;
    // Where a step's column is (its middle, for a click).
    QPoint stepPoint(int step) const;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

Q_SIGNALS:
    void stepClicked(int step);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRectF chartArea() const;
    OverviewChart chart() const { return OverviewChart(m_steps, m_title); }

    std::array<int, kDeviationSteps> m_steps{};
    QString m_title;
    int m_selected = -1;
};

// "VELTAR Quendra Preisdaten - Übersicht": what the delivery changes, over
// the rows the positions grid shows: the counts, the chart of "% Abw." and
// the 20 largest rises and falls. It follows the grid's filter (but for
// the step the chart chose, so that the chart keeps every step) and is
// counted again after an edit, an assignment and a load. A click on a bar
// asks the grid for exactly that step's rows, a click on a count for its
// quick filter, a double click in a list for that row.
class FMUebersicht : public QDialog {
    Q_OBJECT
public:
    explicit FMUebersicht(PositionView& view, QWidget* parent = nullptr);
    ~FMUebersicht() override;

    const PositionOverview& Overview() const { return m_overview; }
    OverviewChartView* Chart() const { return m_chart; }
    // The button of a count (nullptr for "Positionen", which has none).
    QToolButton* CountButton(PositionOverview::Count count) const;
    QLabel* CountLabel(PositionOverview::Count count) const;
    QTreeView* TopList(bool rises) const { return rises ? liSteigend : liFallend; }
    QString Heading() const;
    // Whether a count waits to be done (it comes a moment after a change).
    bool UpdatePending() const;

public Q_SLOTS:
    // Counts again at once.
    void Aktualisieren();
    void Balken_Click(int step);
    void Zahl_Click(PositionOverview::Count count);

Q_SIGNALS:
    // The filter the grid is to show.
    void filterWanted(const PositionFilter& filter);
    // The grid row to make current.
    void rowWanted(int gridRow);

protected:
    void done(int result) override;

private:
    void buildCounts(QWidget* pane);
    QTreeView* buildTopList(const QString& title, QWidget* pane, OverviewTopModel* model);
    void scheduleUpdate();
    QString filterText(const PositionFilter& filter) const;

    PositionView& m_view;
    PositionOverview m_overview;
    QTimer* m_timer;
    QLabel* lbTitel;
    QLabel* lbPositionen = nullptr;
    std::array<QLabel*, PositionOverview::kCounts> m_countLabels{};
    std::array<QToolButton*, PositionOverview::kCounts> m_countButtons{};
    OverviewChartView* m_chart;
    OverviewTopModel* m_rises;
    OverviewTopModel* m_falls;
    QTreeView* liSteigend;
    QTreeView* liFallend;
};
