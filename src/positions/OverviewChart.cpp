#include "OverviewChart.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <cmath>

namespace {

// The texts' font grown or shrunk by a factor, whether it is sized in
// points or in pixels.
QFont scaled(const QFont& font, double factor, bool bold = false) {
    QFont f = font;
    if (f.pixelSize() > 0)
        f.setPixelSize(qMax(1, qRound(f.pixelSize() * factor)));
    else
        f.setPointSizeF(qMax(1.0, f.pointSizeF() * factor));
    f.setBold(bold);
    return f;
}

QFontMetricsF metricsOf(const QFont& font, const QPaintDevice* device) {
    return device ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

// A step of the scale: 1, 2 or 5 times a power of ten, for about five
// lines up to the largest count.
double tickStep(int largest) {
    if (largest <= 5)
        return 1;
    const double raw = largest / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw)
            return m * magnitude;
    return 10 * magnitude;
}

// Fonts of a printed page: points at the device's resolution.
QFont pageFont(double points, int dpi, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(qMax(1, qRound(points * dpi / 72.0)));
    f.setBold(bold);
    return f;
}

// The legend's entries from the right: text and the step of its colour.
const std::pair<const char16_t*, int> kLegend[] = {
    {u"steigend", 8}, {u"unverändert", kZeroStep}, {u"fallend", 2}};

double legendWidth(const QFontMetricsF& fm) {
    double w = 0;
    for (const auto& [text, step] : kLegend)
        w += fm.horizontalAdvance(QString::fromUtf16(text)) + fm.height() * 2.0;
    return w;
}

const QColor kText(0x20, 0x20, 0x20);
const QColor kMuted(0x70, 0x70, 0x70);
const QColor kGridLine(0xdd, 0xdd, 0xdd);
const QColor kSelection(0xff, 0xf1, 0xbf);

} // namespace

struct OverviewChart::Geometry {
    QRectF title;  // the title, and the legend when it is below
    QRectF legend; // the line of the legend
    QRectF plot;   // the scale's area: 0 at its bottom, scaleMax at its top
    double columnsTop = 0;
    double columnsBottom = 0;
    double slot = 0;
    double barWidth = 0;
    double scaleMax = 1;
    double step = 1;
    double labelTop = 0;
    QFont labelFont;
    QStringList labels;
};

OverviewChart::OverviewChart(const std::array<int, kDeviationSteps>& steps, QString title)
    : m_steps(steps), m_title(std::move(title)) {}

QColor OverviewChart::colourOf(int step) {
    // Falls green, rises red; the farther from zero, the deeper.
    static const QColor colours[kDeviationSteps] = {
        QColor(0x1b, 0x5e, 0x20), QColor(0x2e, 0x7d, 0x32), QColor(0x43, 0xa0, 0x47),
        QColor(0x66, 0xbb, 0x6a), QColor(0x8f, 0xcc, 0x8f), QColor(0x9e, 0x9e, 0x9e),
        QColor(0xef, 0x9a, 0x9a), QColor(0xe5, 0x73, 0x73), QColor(0xe5, 0x39, 0x35),
        QColor(0xc6, 0x28, 0x28), QColor(0x8e, 0x10, 0x10)};
    return step >= 0 && step < kDeviationSteps ? colours[step] : QColor(Qt::gray);
}

OverviewChart::Geometry OverviewChart::geometry(const QRectF& area, const QFont& font,
                                                const QPaintDevice* device) const {
    Geometry g;
    const QFontMetricsF fm = metricsOf(font, device);
    const double fh = fm.height();
    int largest = 0;
    for (int n : m_steps)
        largest = qMax(largest, n);
    g.step = tickStep(largest);
    g.scaleMax = qMax(g.step, g.step * std::ceil(largest / g.step));
    // The widest number of the scale sets the left margin.
    double scaleWidth = fm.horizontalAdvance(QStringLiteral("Positionen")) * 0.5;
    for (double v = 0; v <= g.scaleMax + 0.5; v += g.step)
        scaleWidth = qMax(scaleWidth, fm.horizontalAdvance(GermanCount(int(v))));
    const double left = area.left() + scaleWidth + fh * 0.6;
    const double right = area.right() - fh * 0.3;
    // The legend beside the title while both fit, else on a line below.
    g.title = QRectF(area.left(), area.top(), area.width(), fh * 1.8);
    const double titleWidth = metricsOf(scaled(font, 1.1, true), device).horizontalAdvance(m_title);
    g.legend = g.title;
    if (titleWidth + legendWidth(fm) + fh > area.width()) {
        g.legend.translate(0, fh * 1.5);
        g.title.setHeight(fh * 3.1);
    }
    g.slot = qMax(1.0, (right - left) / kDeviationSteps);
    g.barWidth = g.slot * 0.68;

    // The labels below: on one line while they fit their columns, else
    // broken after "bis", else smaller (down to three quarters).
    g.labelFont = font;
    g.labels.clear();
    double widest = 0;
    for (int s = 0; s < kDeviationSteps; ++s)
        widest = qMax(widest, fm.horizontalAdvance(DeviationStepLabel(s)));
    const double room = g.slot * 0.94;
    int lines = 1;
    if (widest > room) {
        lines = 2;
        widest = 0;
        for (int s = 0; s < kDeviationSteps; ++s) {
            QString label = DeviationStepLabel(s);
            label.replace(QStringLiteral(" bis "), QStringLiteral(" bis\n"));
            label.replace(QStringLiteral("unter "), QStringLiteral("unter\n"));
            label.replace(QStringLiteral("über "), QStringLiteral("über\n"));
            for (const QString& part : label.split(u'\n'))
                widest = qMax(widest, fm.horizontalAdvance(part));
            g.labels << label;
        }
        if (widest > room)
            g.labelFont = scaled(font, qMax(0.75, room / widest));
    } else {
        for (int s = 0; s < kDeviationSteps; ++s)
            g.labels << DeviationStepLabel(s);
    }
    const double labelHeight = metricsOf(g.labelFont, device).height() * lines;
    const double bottom = area.bottom() - labelHeight - fh * 0.35;
    // Room above the scale for its caption and the count of a full bar.
    const double top = g.title.bottom() + fh * 1.9;
    g.plot = QRectF(QPointF(left, top), QPointF(right, qMax(top + fh, bottom)));
    g.columnsTop = g.title.bottom();
    g.columnsBottom = area.bottom();
    g.labelTop = g.plot.bottom() + fh * 0.3;
    return g;
}

QStringList OverviewChart::stepLabels(const QRectF& area, const QFont& font,
                                      const QPaintDevice* device) const {
    return geometry(area, font, device).labels;
}

QRectF OverviewChart::columnRect(const QRectF& area, const QFont& font, const QPaintDevice* device,
                                 int step) const {
    if (step < 0 || step >= kDeviationSteps)
        return {};
    const Geometry g = geometry(area, font, device);
    return QRectF(g.plot.left() + g.slot * step, g.plot.top(), g.slot, g.plot.height());
}

QRectF OverviewChart::barRect(const QRectF& area, const QFont& font, const QPaintDevice* device,
                              int step) const {
    if (step < 0 || step >= kDeviationSteps || m_steps[size_t(step)] <= 0)
        return {};
    const Geometry g = geometry(area, font, device);
    const double height =
        qMax(2.0, g.plot.height() * m_steps[size_t(step)] / g.scaleMax); // a count shows
    const double x = g.plot.left() + g.slot * step + (g.slot - g.barWidth) / 2;
    return QRectF(x, g.plot.bottom() - height, g.barWidth, height);
}

int OverviewChart::stepAt(const QRectF& area, const QFont& font, const QPaintDevice* device,
                          const QPointF& point) const {
    const Geometry g = geometry(area, font, device);
    if (point.y() < g.columnsTop || point.y() > g.columnsBottom || point.x() < g.plot.left() ||
        point.x() >= g.plot.left() + g.slot * kDeviationSteps)
        return -1;
    return qBound(0, int((point.x() - g.plot.left()) / g.slot), kDeviationSteps - 1);
}

void OverviewChart::paint(QPainter& p, const QRectF& area, const QFont& font, int selected) const {
    const QPaintDevice* device = p.device();
    const Geometry g = geometry(area, font, device);
    const QFontMetricsF fm = metricsOf(font, device);
    const double fh = fm.height();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);

    // The title at the left, the colours' legend at the right.
    const QFont bold = scaled(font, 1.1, true);
    p.setFont(bold);
    p.setPen(kText);
    p.drawText(QRectF(g.title.topLeft(), g.legend.size()), Qt::AlignLeft | Qt::AlignVCenter,
               m_title);
    p.setFont(font);
    double x = g.legend.right();
    const double box = fh * 0.7;
    for (const auto& [label, step] : kLegend) {
        const QString text = QString::fromUtf16(label);
        const double w = fm.horizontalAdvance(text);
        x -= w;
        p.setPen(kText);
        p.drawText(QRectF(x, g.legend.top(), w, g.legend.height()), Qt::AlignVCenter, text);
        x -= box + fh * 0.3;
        p.fillRect(QRectF(x, g.legend.center().y() - box / 2, box, box), colourOf(step));
        x -= fh * 1.0;
    }

    // The chosen step's column.
    if (selected >= 0 && selected < kDeviationSteps)
        p.fillRect(QRectF(g.plot.left() + g.slot * selected, g.columnsTop, g.slot,
                          g.columnsBottom - g.columnsTop),
                   kSelection);

    // The scale: lines across, numbers at the left, its caption above.
    p.setPen(kMuted);
    p.drawText(QRectF(area.left(), g.title.bottom(), g.plot.left() - area.left() + fh * 4, fh),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Positionen"));
    for (double v = 0; v <= g.scaleMax + 0.5; v += g.step) {
        const double y = g.plot.bottom() - g.plot.height() * v / g.scaleMax;
        p.setPen(QPen(kGridLine, 0));
        if (v > 0)
            p.drawLine(QPointF(g.plot.left(), y), QPointF(g.plot.right(), y));
        p.setPen(kMuted);
        p.drawText(QRectF(area.left(), y - fh / 2, g.plot.left() - area.left() - fh * 0.4, fh),
                   Qt::AlignRight | Qt::AlignVCenter, GermanCount(int(v)));
    }

    // The bars with their counts, the steps below.
    const QFont countFont = scaled(font, 1.0, true);
    for (int s = 0; s < kDeviationSteps; ++s) {
        const QRectF column = columnRect(area, font, device, s);
        const QRectF bar = barRect(area, font, device, s);
        if (!bar.isEmpty()) {
            p.fillRect(bar, colourOf(s));
            if (s == selected) {
                p.setPen(QPen(kText, qMax(1.5, fh * 0.12)));
                p.setBrush(Qt::NoBrush);
                p.drawRect(bar);
            }
        }
        const double countBottom = bar.isEmpty() ? g.plot.bottom() : bar.top();
        p.setFont(countFont);
        p.setPen(m_steps[size_t(s)] > 0 ? kText : kMuted);
        p.drawText(
            QRectF(column.left() - fh, countBottom - fh * 1.25, column.width() + 2 * fh, fh * 1.2),
            Qt::AlignHCenter | Qt::AlignBottom, GermanCount(m_steps[size_t(s)]));
        p.setFont(g.labelFont);
        p.setPen(s == selected ? kText : kMuted);
        p.drawText(QRectF(column.left(), g.labelTop, column.width(), area.bottom() - g.labelTop),
                   Qt::AlignHCenter | Qt::AlignTop, g.labels.value(s));
    }
    p.setPen(QPen(kText, qMax(1.0, fh * 0.06)));
    p.drawLine(QPointF(g.plot.left(), g.plot.bottom()), QPointF(g.plot.right(), g.plot.bottom()));
    p.restore();
}

QString OverviewChartTitle(const PositionOverview& overview) {
    const int compared = overview.compared();
    return QStringLiteral("Abweichung der Einkaufspreise (% Abw.): ") + GermanCount(compared) +
           (compared == 1 ? QStringLiteral(" Position") : QStringLiteral(" Positionen")) +
           QStringLiteral(" mit Vergleich");
}

bool WriteOverviewPng(const QString& path, const PositionOverview& overview, QSize size,
                      QString* error) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(qMax(9, size.height() / 44));
        const double margin = size.height() / 28.0;
        OverviewChart(overview.steps, OverviewChartTitle(overview))
            .paint(
                p,
                QRectF(margin, margin / 2, size.width() - 2 * margin, size.height() - 1.5 * margin),
                font);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        if (error)
            *error = QStringLiteral("PNG kann nicht geschrieben werden: ") + path;
        return false;
    }
    return true;
}

namespace {

// A table of the largest rises or falls on the page: a title, the captions,
// one line per row.
double paintTopTable(QPainter& p, const QRectF& area, const QString& title,
                     const OverviewTopModel& model, double lineHeight, int dpi, double points) {
    const QFont body = pageFont(points, dpi);
    const QFont bold = pageFont(points, dpi, true);
    const QFontMetricsF fm(body, p.device());
    static const double shares[OverviewTopModel::ColumnCount] = {0.17, 0.47, 0.12, 0.12, 0.12};
    const double pad = lineHeight * 0.25;
    double y = area.top();
    p.setFont(bold);
    p.drawText(QRectF(area.left(), y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
               title);
    y += lineHeight;
    double x = area.left();
    for (int c = 0; c < OverviewTopModel::ColumnCount; ++c) {
        const double w = area.width() * shares[c];
        const int align = c >= OverviewTopModel::PreisAlt ? Qt::AlignRight : Qt::AlignLeft;
        p.drawText(QRectF(x + pad, y, w - 2 * pad, lineHeight), align | Qt::AlignVCenter,
                   OverviewTopModel::caption(c));
        x += w;
    }
    y += lineHeight;
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    p.setFont(body);
    if (model.rowCount() == 0) {
        p.drawText(QRectF(area.left() + pad, y, area.width(), lineHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("keine"));
        return y + lineHeight;
    }
    for (int line = 0; line < model.rowCount(); ++line) {
        x = area.left();
        for (int c = 0; c < OverviewTopModel::ColumnCount; ++c) {
            const double w = area.width() * shares[c];
            const int align = c >= OverviewTopModel::PreisAlt ? Qt::AlignRight : Qt::AlignLeft;
            p.drawText(QRectF(x + pad, y, w - 2 * pad, lineHeight), align | Qt::AlignVCenter,
                       fm.elidedText(model.cell(line, c), Qt::ElideRight, w - 2 * pad));
            x += w;
        }
        y += lineHeight;
    }
    return y;
}

} // namespace

void PaintOverviewPage(QPainter& p, const QRectF& area, const PositionOverview& o,
                       const PositionGridModel& grid, int dpi) {
    p.save();
    const QFont heading = pageFont(11, dpi, true);
    const QFont body = pageFont(8, dpi);
    const QFont bold = pageFont(8, dpi, true);
    const double line = QFontMetricsF(body, p.device()).height() * 1.35;
    double y = area.top();
    p.setPen(kText);
    p.setFont(heading);
    const double headingHeight = QFontMetricsF(heading, p.device()).height() * 1.5;
    p.drawText(QRectF(area.left(), y, area.width(), headingHeight),
               Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Übersicht: was die Lieferung an den Preisen ändert"));
    y += headingHeight;

    // The counts in three columns of three.
    const double columnWidth = area.width() / 3;
    for (int c = 0; c < PositionOverview::kCounts; ++c) {
        const QRectF cell(area.left() + (c / 3) * columnWidth, y + (c % 3) * line,
                          columnWidth - line, line);
        p.setFont(body);
        p.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                   PositionOverview::label(PositionOverview::Count(c)));
        p.setFont(bold);
        p.drawText(cell, Qt::AlignRight | Qt::AlignVCenter, GermanCount(o.counts[size_t(c)]));
    }
    y += 3 * line + line * 0.6;

    // The chart takes almost a third of the page.
    const double chartHeight = area.height() * 0.31;
    OverviewChart(o.steps, OverviewChartTitle(o))
        .paint(p, QRectF(area.left(), y, area.width(), chartHeight), body);
    y += chartHeight + line * 0.8;

    // The two lists share what is left, a line each at most as high as the
    // list's font needs; on a low page (landscape) they are shortened
    // rather than run into the footer.
    const double rest = area.bottom() - y;
    const auto linesOf = [](const QList<int>& rows) { return qMax<int>(1, int(rows.size())); };
    const int lines = linesOf(o.rises) + linesOf(o.falls) + 5;
    const double points = qBound(5.5, 8.0 * rest / (lines * line), 8.0);
    const double topLine = line * points / 8.0;
    const int room = int(rest / topLine + 0.01) - 5;
    int keepRises = int(o.rises.size()), keepFalls = int(o.falls.size());
    while (qMax(1, keepRises) + qMax(1, keepFalls) > room && (keepRises > 1 || keepFalls > 1))
        --(keepRises >= keepFalls ? keepRises : keepFalls);
    OverviewTopModel rises, falls;
    rises.setRows(&grid, o.rises.mid(0, keepRises));
    falls.setRows(&grid, o.falls.mid(0, keepFalls));
    p.setPen(kText);
    y = paintTopTable(p, QRectF(area.left(), y, area.width(), rest),
                      QStringLiteral("Die größten Steigerungen"), rises, topLine, dpi, points);
    y += topLine;
    paintTopTable(p, QRectF(area.left(), y, area.width(), area.bottom() - y),
                  QStringLiteral("Die größten Senkungen"), falls, topLine, dpi, points);
    p.restore();
}
