#pragma once

#include "positions/PositionOverview.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>

class QPaintDevice;
class QPainter;

// The bar chart of the steps of "% Abw.": one bar per step, falls and rises
// in their own colours (deeper the farther from zero), "0 %" grey, the
// count on each bar, a scale of counts at the left and the steps below.
// Painted the same in the overview window, on the first page of the price
// list and into a PNG; built on QtGui alone.
class OverviewChart {
public:
    explicit OverviewChart(const std::array<int, kDeviationSteps>& steps,
                           QString title = QString());

    // Paints the chart into area with the texts in font (its size sets the
    // chart's scale); the selected step (-1: none) is framed.
    void paint(QPainter& painter, const QRectF& area, const QFont& font, int selected = -1) const;
    // The step whose column (bar, count and label) holds the point when
    // painted so on device; -1 for none.
    int stepAt(const QRectF& area, const QFont& font, const QPaintDevice* device,
               const QPointF& point) const;
    // The column of a step: its bar's room from the line to the top of
    // the scale.
    QRectF columnRect(const QRectF& area, const QFont& font, const QPaintDevice* device,
                      int step) const;
    // The bar of a step as painted (empty for a count of 0).
    QRectF barRect(const QRectF& area, const QFont& font, const QPaintDevice* device,
                   int step) const;
    // The colour of a step's bar.
    static QColor colourOf(int step);
    // The texts below the bars at that width: "-20 bis -10 %", or broken
    // after "bis" when the columns are narrow.
    QStringList stepLabels(const QRectF& area, const QFont& font, const QPaintDevice* device) const;

private:
    struct Geometry;
    Geometry geometry(const QRectF& area, const QFont& font, const QPaintDevice* device) const;

    std::array<int, kDeviationSteps> m_steps;
    QString m_title;
};

// The title of a chart over an overview: "Abweichung der Einkaufspreise
// (% Abw.): 1.234 Positionen mit Vergleich".
QString OverviewChartTitle(const PositionOverview& overview);

// Writes the chart of an overview as a PNG of that size (white ground);
// false with "PNG kann nicht geschrieben werden: FILE".
bool WriteOverviewPng(const QString& path, const PositionOverview& overview, QSize size,
                      QString* error);

// The overview as a page of the price list: a line of what it covers, the
// counts, the chart and the largest rises and falls, laid into area at a
// resolution of dpi.
void PaintOverviewPage(QPainter& painter, const QRectF& area, const PositionOverview& overview,
                       const PositionGridModel& grid, int dpi);
