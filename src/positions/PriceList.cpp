#include "PriceList.h"

#include "base/SessionContext.h"
#include "positions/OverviewChart.h"
#include "positions/PositionGridModel.h"

#include <QDate>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

using namespace PositionGrid;

namespace {

// The columns of the list: grid column, share of the width, right-aligned,
// as wide as the widest text (a key a reader looks for, or a number).
struct PrintColumn {
    int column;
    double share;
    bool number;
    bool purchase; // left out without purchase prices
    bool key;
};

const PrintColumn kPrintColumns[] = {
    {BestNr, 11, false, false, true},  {ArtNr, 9, false, false, true},
    {BestEan, 11, false, false, true}, {Bezeichnung, 29, false, false, false},
    {Vke, 6, false, false, false},     {EkRabgr, 8, false, false, false},
    {Netto, 9, true, true, false},     {VkExcl, 9, true, false, false},
    {VkIncl, 9, true, false, false},   {Spanne, 8, true, true, false},
};

const char* const kCaptions[] = {"Best.-Nr.", "Art.-Nr.", "EAN",     "Bezeichnung", "Einheit",
                                 "EK-Rabgr",  "Netto",    "VK-Excl", "VK-Incl",     "Spanne"};

// The most lines a description takes; a longer one is cut on the last.
constexpr int kDescriptionLines = 3;

// A description as lines of the room, broken between words (a word wider
// than the room where it must be); what does not fit on the last line is
// cut with an ellipsis.
QStringList wrapped(const QString& text, const QFontMetricsF& metrics, double room) {
    if (metrics.horizontalAdvance(text) <= room)
        return {text};
    QStringList lines;
    QString line;
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype w = 0; w < words.size(); ++w) {
        QString word = words[w];
        const QString candidate = line.isEmpty() ? word : line + u' ' + word;
        if (metrics.horizontalAdvance(candidate) <= room) {
            line = candidate;
            continue;
        }
        if (!line.isEmpty()) {
            lines << line;
            line.clear();
        }
        // A word wider than the room: as much of it as fits, then the rest.
        while (metrics.horizontalAdvance(word) > room && lines.size() < kDescriptionLines - 1) {
            qsizetype lo = 1, hi = word.size();
            while (lo < hi) {
                const qsizetype mid = (lo + hi + 1) / 2;
                if (metrics.horizontalAdvance(word.left(mid)) <= room)
                    lo = mid;
                else
                    hi = mid - 1;
            }
            lines << word.left(lo);
            word = word.mid(lo);
        }
        line = word;
        if (lines.size() == kDescriptionLines - 1) {
            // The last line takes the rest.
            QStringList rest{line};
            for (qsizetype k = w + 1; k < words.size(); ++k)
                rest << words[k];
            lines << metrics.elidedText(rest.join(u' '), Qt::ElideRight, room);
            return lines;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QList<int> columnsFor(bool purchasePrices) {
    QList<int> out;
    for (int i = 0; i < int(std::size(kPrintColumns)); ++i)
        if (purchasePrices || !kPrintColumns[i].purchase)
            out << i;
    return out;
}

QString germanDate(const QString& isoOrGerman) {
    const QDate d = QDate::fromString(isoOrGerman.left(10), Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : isoOrGerman;
}

// Fonts sized for the device's resolution (points to device pixels).
QFont font(double points, int resolution, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(qMax(1, qRound(points * resolution / 72.0)));
    f.setBold(bold);
    return f;
}

} // namespace

PriceListHeading PriceListHeading::of(const PositionDownload& download) {
    PriceListHeading h;
    const SessionContext& s = Session();
    h.company = QStringLiteral("Firma ") + s.firma;
    if (!s.standort.isEmpty())
        h.company += QStringLiteral(", Standort ") + s.standort;
    h.supplier = download.supplier;
    h.supplierName = download.supplierName;
    h.downloadDate = germanDate(download.date);
    h.printedOn = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    return h;
}

QStringList PriceListDocument::captions(bool purchasePrices) {
    QStringList out;
    for (int i : columnsFor(purchasePrices))
        out << QString::fromUtf8(kCaptions[i]);
    return out;
}

PriceListDocument::PriceListDocument(const PositionGridModel& grid, const PriceListOptions& options,
                                     PriceListHeading heading)
    : m_grid(grid), m_columns(columnsFor(options.purchasePrices)), m_options(options),
      m_heading(std::move(heading)), m_captions(captions(options.purchasePrices)) {
    // The rows to print, in grid order, then (stably) by their group.
    QList<int> rows;
    for (int r = 0; r < grid.size(); ++r)
        if (!options.markedOnly || grid.row(r).marked())
            rows << r;
    m_positions = int(rows.size());
    if (options.overview)
        m_overview = PositionOverview::of(grid, rows);
    using G = PriceListOptions::Grouping;
    const int groupColumn = options.grouping == G::EkGroup      ? EkRabgr
                            : options.grouping == G::GoodsGroup ? Wargr
                                                                : -1;
    if (groupColumn >= 0)
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
            return grid.cellText(a, groupColumn) < grid.cellText(b, groupColumn);
        });
    const QList<int> columns = columnsFor(options.purchasePrices);
    QString group;
    bool first = true;
    for (int r : std::as_const(rows)) {
        if (groupColumn >= 0) {
            const QString g = grid.cellText(r, groupColumn);
            if (first || g != group) {
                const QString title = groupColumn == EkRabgr ? QStringLiteral("EK-Rabattgruppe ")
                                                             : QStringLiteral("Warengruppe ");
                m_titles << (g.isEmpty() ? QStringLiteral("ohne ") + title.trimmed() : title + g);
                m_lines.append({true, int(m_titles.size()) - 1});
                group = g;
                first = false;
            }
        }
        // The row only: its cells are read when they are measured and
        // painted, so that the document stays small however long the list.
        m_lines.append({false, r});
    }
}

QString PriceListDocument::cell(const Line& line, int column) const {
    return line.group ? QString()
                      : m_grid.cellText(line.index, kPrintColumns[m_columns[column]].column);
}

void PriceListDocument::layout(const QPageLayout& page, int resolution) {
    if (!m_pages.isEmpty() && page.isEquivalentTo(m_laidOutFor) && resolution == m_resolution)
        return;
    m_laidOutFor = page;
    m_resolution = resolution;
    ++m_layouts;
    const QRect area = page.paintRectPixels(resolution);
    m_metrics.width = area.width();
    m_metrics.height = area.height();
    const QList<int> columns = columnsFor(m_options.purchasePrices);
    m_description = -1;
    for (int i = 0; i < columns.size(); ++i)
        if (kPrintColumns[columns[i]].column == Bezeichnung)
            m_description = i;
    // Wide keys and numbers: a smaller font rather than a table wider than
    // the page (at least 6 points).
    double points = 8;
    QList<double> widths = columnWidths(columns, points);
    for (int tries = 0; tries < 3; ++tries) {
        double total = 0;
        for (double w : std::as_const(widths))
            total += w;
        if (total <= m_metrics.width + 0.5 || points <= 6)
            break;
        points = qMax(6.0, std::floor(points * m_metrics.width / total * 4) / 4);
        widths = columnWidths(columns, points);
    }
    m_points = points;
    setMetrics(widths);
    wrapDescriptions(widths);
    breakPages();
}

QList<double> PriceListDocument::columnWidths(const QList<int>& columns, double points) const {
    // The widths of the columns at a size of the table's font: no caption,
    // number, key or unit is cut, their columns are as wide as their widest
    // text; the description gives up what they need more, down to
    // a share of its own, and wraps to further lines instead.
    const QFontMetricsF body(font(points, m_resolution));
    const QFontMetricsF boldMetrics(font(points, m_resolution, true));
    const double pad = body.height() * 1.35 * 0.2;
    double share = 0;
    for (int c : columns)
        share += kPrintColumns[c].share;
    QList<double> widths;
    for (int c : columns)
        widths << m_metrics.width * kPrintColumns[c].share / share;
    double extra = 0;
    for (int i = 0; i < columns.size(); ++i) {
        // Every column but the description is as wide as its caption and
        // its widest text: a caption is never cut.
        if (i == m_description)
            continue;
        const PrintColumn& column = kPrintColumns[columns[i]];
        const double need =
            widestCell(i, column.number, body, boldMetrics.horizontalAdvance(m_captions[i])) +
            2 * pad + 1;
        if (need > widths[i]) {
            extra += need - widths[i];
            widths[i] = need;
        }
    }
    if (m_description >= 0)
        widths[m_description] = qMax(widths[m_description] - extra, m_metrics.width * 0.22);
    return widths;
}

double PriceListDocument::widestCell(int i, bool number, const QFontMetricsF& body,
                                     double need) const {
    if (number) {
        // Digits are all as wide as "0", signs and separators narrower: the
        // longest text's length in zeros is room enough, without measuring
        // every cell.
        qsizetype longest = 0;
        for (const Line& line : std::as_const(m_lines))
            if (!line.group)
                longest = qMax(longest, cell(line, i).size());
        return qMax(need, body.horizontalAdvance(QString(longest, u'0')));
    }
    // A key that cannot be wider than the widest so far is not measured.
    for (const Line& line : std::as_const(m_lines)) {
        if (line.group)
            continue;
        const QString text = cell(line, i);
        if (text.size() * body.maxWidth() > need)
            need = qMax(need, body.horizontalAdvance(text));
    }
    return need;
}

void PriceListDocument::setMetrics(const QList<double>& widths) {
    Metrics& m = m_metrics;
    const QFontMetricsF body(font(m_points, m_resolution));
    const QFontMetricsF title(font(13, m_resolution, true));
    const QFontMetricsF heading(font(8, m_resolution));
    m.lineHeight = body.height() * 1.35;
    m.headingLine = heading.height() * 1.35;
    // Title, two lines of the heading, a gap, the table header.
    m.headerHeight = title.height() * 1.4 + 2 * m.headingLine + m.headingLine * 0.6 + m.lineHeight;
    m.footerHeight = m.headingLine * 1.5;
    m.columnX.clear();
    double x = 0;
    for (double w : widths) {
        m.columnX << x;
        x += w;
    }
    m.columnX << x;
}

void PriceListDocument::wrapDescriptions(const QList<double>& widths) {
    // A description too long for its room takes further lines.
    if (m_description < 0)
        return;
    const QFontMetricsF body(font(m_points, m_resolution));
    const double room = widths[m_description] - 2 * (m_metrics.lineHeight * 0.2);
    for (Line& line : m_lines) {
        line.lines = 1;
        if (line.group)
            continue;
        const QString text = cell(line, m_description);
        if (body.horizontalAdvance(text) > room)
            line.lines = int(wrapped(text, body, room).size());
    }
}

void PriceListDocument::breakPages() {
    // Whole rows per page; a group heading never ends a page.
    const Metrics& m = m_metrics;
    m_pages.clear();
    const double perPage =
        qMax(2.0, std::floor((m.height - m.headerHeight - m.footerHeight) / m.lineHeight));
    int start = 0;
    while (start < m_lines.size()) {
        int end = start;
        double used = 0;
        while (end < m_lines.size() && (end == start || used + m_lines[end].height() <= perPage))
            used += m_lines[end++].height();
        if (end < m_lines.size() && end - 1 > start && m_lines[end - 1].group)
            --end;
        m_pages.append({start, end});
        start = end;
    }
    // An empty list is one page with its heading.
    if (m_pages.isEmpty())
        m_pages.append({0, 0});
}

void PriceListDocument::paintHeading(QPainter& p, int page) const {
    const Metrics& m = m_metrics;
    const QFont titleFont = font(13, m_resolution, true);
    const QFont bodyFont = font(8, m_resolution);
    const double titleHeight = QFontMetricsF(titleFont).height() * 1.4;
    p.setFont(titleFont);
    p.drawText(QRectF(0, 0, m.width, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Preisliste ") + m_heading.supplier + u' ' + m_heading.supplierName);
    p.setFont(bodyFont);
    p.drawText(QRectF(0, 0, m.width, titleHeight), Qt::AlignRight | Qt::AlignVCenter,
               m_heading.company);
    double y = titleHeight;
    p.drawText(QRectF(0, y, m.width, m.headingLine), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Lieferant: ") + m_heading.supplier + u' ' + m_heading.supplierName);
    y += m.headingLine;
    p.drawText(
        QRectF(0, y, m.width, m.headingLine), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Download vom ") + m_heading.downloadDate +
            QStringLiteral(", gedruckt am ") + m_heading.printedOn +
            (m_options.purchasePrices ? QString() : QStringLiteral(", ohne Einkaufspreise")));
    // Footer.
    p.drawText(QRectF(0, m.height - m.footerHeight, m.width, m.footerHeight),
               Qt::AlignRight | Qt::AlignBottom,
               QStringLiteral("Seite %1 von %2").arg(page + 1).arg(pageCount()));
}

void PriceListDocument::paintTableHeader(QPainter& p, double y) const {
    const Metrics& m = m_metrics;
    QFont bold = font(m_points, m_resolution, true);
    p.setFont(bold);
    const QList<int> columns = columnsFor(m_options.purchasePrices);
    const double pad = m.lineHeight * 0.2;
    for (int i = 0; i < columns.size(); ++i) {
        const QRectF cell(m.columnX[i] + pad, y, m.columnX[i + 1] - m.columnX[i] - 2 * pad,
                          m.lineHeight);
        p.drawText(cell,
                   (kPrintColumns[columns[i]].number ? Qt::AlignRight : Qt::AlignLeft) |
                       Qt::AlignVCenter,
                   m_captions[i]);
    }
    p.drawLine(QPointF(0, y + m.lineHeight), QPointF(m.width, y + m.lineHeight));
}

void PriceListDocument::paintPage(QPainter& p, int page) const {
    if (page < 0 || page >= pageCount())
        return;
    const Metrics& m = m_metrics;
    paintHeading(p, page);
    double y = m.headerHeight - m.lineHeight;
    if (m_overview && page == 0) {
        PaintOverviewPage(p, QRectF(0, y, m.width, m.height - m.footerHeight - y), *m_overview,
                          m_grid, m_resolution);
        return;
    }
    paintTableHeader(p, y);
    y += m.lineHeight;
    const QFont body = font(m_points, m_resolution);
    const QFont bold = font(m_points, m_resolution, true);
    const QFontMetricsF metrics(body);
    const QList<int> columns = columnsFor(m_options.purchasePrices);
    const double pad = m.lineHeight * 0.2;
    const auto [first, last] = m_pages[page - (m_overview ? 1 : 0)];
    for (int i = first; i < last; ++i) {
        const Line& line = m_lines[i];
        if (line.group) {
            p.setFont(bold);
            p.drawText(QRectF(pad, y, m.width - 2 * pad, m.lineHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, m_titles.value(line.index));
        } else {
            p.setFont(body);
            // Drawn at a point on the baseline: no text layout per cell.
            const double baseline = y + (m.lineHeight + metrics.ascent() - metrics.descent()) / 2;
            for (int c = 0; c < columns.size(); ++c) {
                const double left = m.columnX[c] + pad;
                const double room = m.columnX[c + 1] - m.columnX[c] - 2 * pad;
                const QString cellText = cell(line, c);
                if (cellText.isEmpty())
                    continue;
                if (c == m_description && line.lines > 1) {
                    const QStringList parts = wrapped(cellText, metrics, room);
                    for (int k = 0; k < parts.size(); ++k)
                        p.drawText(QPointF(left, baseline + k * m.lineHeight), parts[k]);
                    continue;
                }
                double width = metrics.horizontalAdvance(cellText);
                QString text = cellText;
                // Only a short column (unit, group) may still be cut.
                if (width > room) {
                    text = metrics.elidedText(cellText, Qt::ElideRight, room);
                    width = metrics.horizontalAdvance(text);
                }
                const double x = kPrintColumns[columns[c]].number ? left + room - width : left;
                p.drawText(QPointF(x, baseline), text);
            }
        }
        y += m.lineHeight * line.height();
    }
}

bool PriceListDocument::print(QPagedPaintDevice& device) {
    layout(device.pageLayout(), device.logicalDpiY());
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    for (int page = 0; page < pageCount(); ++page) {
        if (page > 0 && !device.newPage())
            return false;
        paintPage(painter, page);
    }
    return painter.end();
}

bool WritePriceListPdf(const QString& path, const PositionGridModel& grid,
                       const PriceListOptions& options, const PriceListHeading& heading,
                       QString* error, int* pages, int* positions) {
    // The file is opened first: a folder that is not there or not writable
    // is a message of ours, not a painter's warning.
    // Written aside and put in place at the end: a failed write (a full
    // disk) is reported and leaves an earlier file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("PDF kann nicht geschrieben werden: ") + path;
        return false;
    }
    QPdfWriter writer(&file);
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
    writer.setTitle(QStringLiteral("Preisliste ") + heading.supplier + u' ' + heading.supplierName);
    writer.setCreator(QStringLiteral("Quendra Preisdaten"));
    PriceListDocument document(grid, options, heading);
    if (!document.print(writer) || !file.commit()) {
        if (error)
            *error = QStringLiteral("PDF kann nicht geschrieben werden: ") + path;
        return false;
    }
    if (pages)
        *pages = document.pageCount();
    if (positions)
        *positions = document.positionCount();
    return true;
}
