#include "PriceList.h"

#include "base/SessionContext.h"
#include "positions/PositionGridModel.h"

#include <QDate>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

using namespace PositionGrid;

namespace {

// The columns of the list: grid column, share of the width, right-aligned.
struct PrintColumn {
    int column;
    double share;
    bool number;
    bool purchase; // left out without purchase prices
};

const PrintColumn kPrintColumns[] = {
    {BestNr, 11, false, false}, {ArtNr, 11, false, false},  {Bezeichnung, 29, false, false},
    {Vke, 7, false, false},     {EkRabgr, 9, false, false}, {Netto, 9, true, true},
    {VkExcl, 9, true, false},   {VkIncl, 9, true, false},   {Spanne, 8, true, true},
};

const char* const kCaptions[] = {"Best.-Nr.", "Art.-Nr.", "Bezeichnung", "Einheit", "EK-Rabgr",
                                 "Netto",     "VK-Excl",  "VK-Incl",     "Spanne"};

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
    : m_options(options), m_heading(std::move(heading)),
      m_captions(captions(options.purchasePrices)) {
    // The rows to print, in grid order, then (stably) by their group.
    QList<int> rows;
    for (int r = 0; r < grid.size(); ++r)
        if (!options.markedOnly || grid.row(r).marked())
            rows << r;
    m_positions = int(rows.size());
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
                m_lines.append(
                    {true, {g.isEmpty() ? QStringLiteral("ohne ") + title.trimmed() : title + g}});
                group = g;
                first = false;
            }
        }
        Line line;
        for (int c : columns)
            line.cells << grid.cellText(r, kPrintColumns[c].column);
        m_lines.append(std::move(line));
    }
}

void PriceListDocument::layout(const QPageLayout& page, int resolution) {
    if (!m_pages.isEmpty() && page.isEquivalentTo(m_laidOutFor) && resolution == m_resolution)
        return;
    m_laidOutFor = page;
    m_resolution = resolution;
    ++m_layouts;
    const QRect area = page.paintRectPixels(resolution);
    Metrics& m = m_metrics;
    m.width = area.width();
    m.height = area.height();
    const QFontMetricsF body(font(8, resolution));
    const QFontMetricsF title(font(13, resolution, true));
    m.lineHeight = body.height() * 1.35;
    // Title, two lines of the heading, a gap, the table header.
    m.headerHeight = title.height() * 1.4 + 2 * m.lineHeight + m.lineHeight * 0.6 + m.lineHeight;
    m.footerHeight = m.lineHeight * 1.5;
    double share = 0;
    const QList<int> columns = columnsFor(m_options.purchasePrices);
    for (int c : columns)
        share += kPrintColumns[c].share;
    QList<double> widths;
    for (int c : columns)
        widths << m.width * kPrintColumns[c].share / share;
    // A number is never cut: a number column is as wide as its widest text
    // (and its caption); the description gives up what they need more.
    const QFontMetricsF boldMetrics(font(8, resolution, true));
    const double pad = m.lineHeight * 0.2;
    double extra = 0;
    int description = -1;
    for (int i = 0; i < columns.size(); ++i) {
        if (kPrintColumns[columns[i]].column == Bezeichnung)
            description = i;
        if (!kPrintColumns[columns[i]].number)
            continue;
        double need = boldMetrics.horizontalAdvance(m_captions[i]);
        // Digits are all as wide as "0", signs and separators narrower: the
        // longest text's length in zeros is room enough, without measuring
        // every cell.
        qsizetype longest = 0;
        for (const Line& line : std::as_const(m_lines))
            if (!line.group)
                longest = qMax(longest, line.cells.value(i).size());
        need = qMax(need, body.horizontalAdvance(QString(longest, u'0')));
        need += 2 * pad + 1;
        if (need > widths[i]) {
            extra += need - widths[i];
            widths[i] = need;
        }
    }
    if (description >= 0)
        widths[description] = qMax(widths[description] - extra, m.width * 0.1);
    m.columnX.clear();
    double x = 0;
    for (double w : std::as_const(widths)) {
        m.columnX << x;
        x += w;
    }
    m.columnX << x;

    // Whole lines per page; a group heading never ends a page.
    m_pages.clear();
    const int perPage = qMax(2, int((m.height - m.headerHeight - m.footerHeight) / m.lineHeight));
    int start = 0;
    while (start < m_lines.size()) {
        int end = qMin(int(m_lines.size()), start + perPage);
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
    p.drawText(QRectF(0, y, m.width, m.lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Lieferant: ") + m_heading.supplier + u' ' + m_heading.supplierName);
    y += m.lineHeight;
    p.drawText(
        QRectF(0, y, m.width, m.lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
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
    QFont bold = font(8, m_resolution, true);
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
    paintTableHeader(p, y);
    y += m.lineHeight;
    const QFont body = font(8, m_resolution);
    const QFont bold = font(8, m_resolution, true);
    const QFontMetricsF metrics(body);
    const QList<int> columns = columnsFor(m_options.purchasePrices);
    const double pad = m.lineHeight * 0.2;
    const auto [first, last] = m_pages[page];
    for (int i = first; i < last; ++i) {
        const Line& line = m_lines[i];
        if (line.group) {
            p.setFont(bold);
            p.drawText(QRectF(pad, y, m.width - 2 * pad, m.lineHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, line.cells.value(0));
        } else {
            p.setFont(body);
            // Drawn at a point on the baseline: no text layout per cell.
            const double baseline = y + (m.lineHeight + metrics.ascent() - metrics.descent()) / 2;
            for (int c = 0; c < columns.size(); ++c) {
                const double left = m.columnX[c] + pad;
                const double room = m.columnX[c + 1] - m.columnX[c] - 2 * pad;
                const QString& cellText = line.cells.value(c);
                if (cellText.isEmpty())
                    continue;
                double width = metrics.horizontalAdvance(cellText);
                QString text = cellText;
                // One line per row: a long text is cut, never wrapped.
                if (width > room) {
                    text = metrics.elidedText(cellText, Qt::ElideRight, room);
                    width = metrics.horizontalAdvance(text);
                }
                const double x = kPrintColumns[columns[c]].number ? left + room - width : left;
                p.drawText(QPointF(x, baseline), text);
            }
        }
        y += m.lineHeight;
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
