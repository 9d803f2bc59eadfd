#pragma once

#include "positions/PositionLoad.h"
#include "positions/PositionOverview.h"

#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <optional>

class QFontMetricsF;
class QPagedPaintDevice;
class QPainter;

// The price list of a download: its positions as a document to print or
// save as PDF. Every page carries the company, the supplier, the download
// date and "Seite x von n"; the table repeats its header on every page and
// never splits a row; the overview of the printed positions may come first.
// Built on QtGui alone (no widgets), so that the
// command-line tool prints the same document.

struct PriceListOptions {
    enum class Grouping { EkGroup, GoodsGroup, GridOrder };
    bool markedOnly = false;
    Grouping grouping = Grouping::GridOrder;
    // Without them (a list for the sales staff) net price and margin are
    // left out.
    bool purchasePrices = true;
    // A first page with the overview of the printed positions (counts,
    // chart of "% Abw.", largest rises and falls).
    bool overview = false;
};

struct PriceListHeading {
    QString company;
    QString supplier;
    QString supplierName;
    QString downloadDate; // dd.mm.yyyy
    QString printedOn;    // dd.mm.yyyy
    static PriceListHeading of(const PositionDownload& download);
};

class PriceListDocument {
public:
    // The grid is read while the document lays out and paints: it must
    // outlive the document.
    PriceListDocument(const PositionGridModel& grid, const PriceListOptions& options,
                      PriceListHeading heading);

    // The column captions, in their order.
    static QStringList captions(bool purchasePrices);

    // Lays the lines out on pages of the device's size; again only when the
    // page layout or resolution changed.
    void layout(const QPageLayout& page, int resolution);
    int pageCount() const { return int(m_pages.size()) + (m_overview ? 1 : 0); }
    // How often the lines were laid out (a preview that repaints lays out
    // once).
    int layouts() const { return m_layouts; }
    int positionCount() const { return m_positions; }
    // The overview of the first page; nullopt without one.
    const std::optional<PositionOverview>& overview() const { return m_overview; }
    // Paints one laid-out page (0-based).
    void paintPage(QPainter& painter, int page) const;
    // Lays out for the device and paints every page on it.
    bool print(QPagedPaintDevice& device);

private:
    struct Line {
        bool group = false; // a group heading
        int index = 0;      // the grid row, or the heading's title in m_titles
        int lines = 1;      // the description may take more than one
        double height() const { return lines; }
    };
    struct Metrics {
        double lineHeight = 0;  // a row of the table
        double headingLine = 0; // a line of the heading
        double headerHeight = 0;
        double footerHeight = 0;
        QList<double> columnX; // left edges, plus the right end
        double width = 0;
        double height = 0;
    };

    // The text of a printed column (0-based among the printed ones) of a
    // line, as the grid shows it.
    QString cell(const Line& line, int column) const;
    void paintHeading(QPainter& painter, int page) const;
    void paintTableHeader(QPainter& painter, double y) const;
    // The steps of the layout.
    QList<double> columnWidths(const QList<int>& columns, double points) const;
    // The widest text of a number or key column, at least need.
    double widestCell(int column, bool number, const QFontMetricsF& body, double need) const;
    void setMetrics(const QList<double>& widths);
    void wrapDescriptions(const QList<double>& widths);
    void breakPages();

    const PositionGridModel& m_grid;
    QList<int> m_columns; // the printed columns (indexes of the column table)
    QStringList m_titles; // of the group headings
    PriceListOptions m_options;
    PriceListHeading m_heading;
    QList<Line> m_lines;
    QStringList m_captions;
    int m_description = -1; // the column of the description
    double m_points = 8;    // the table's font size
    int m_positions = 0;
    std::optional<PositionOverview> m_overview;
    // Pages as ranges [first, last) of m_lines.
    QList<std::pair<int, int>> m_pages;
    Metrics m_metrics;
    QPageLayout m_laidOutFor;
    int m_resolution = 0;
    int m_layouts = 0;
};

// Writes the price list of the grid as a PDF (A4); false with the reason.
bool WritePriceListPdf(const QString& path, const PositionGridModel& grid,
                       const PriceListOptions& options, const PriceListHeading& heading,
                       QString* error, int* pages = nullptr, int* positions = nullptr);
