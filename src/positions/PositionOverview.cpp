#include "PositionOverview.h"

#include <QLocale>
#include <algorithm>
#include <cstring>
#include <numeric>

using namespace PositionGrid;

namespace {

struct CountInfo {
    const char16_t* label;
    std::optional<QuickFilter> filter;
};

const CountInfo kCountInfo[PositionOverview::kCounts] = {
    {u"Positionen", std::nullopt},
    {u"Mit Art.-Nr.", QuickFilter::MitArtNr},
    {u"Ohne Art.-Nr.", QuickFilter::OhneArtNr},
    {u"Steigend", QuickFilter::EkHoeher},
    {u"Fallend", QuickFilter::EkNiedriger},
    {u"Unverändert", QuickFilter::EkGleich},
    {u"Ohne Vergleich", QuickFilter::EkOhneVergleich},
    {u"Spanne unter 0", QuickFilter::SpanneNegativ},
    {u"Neue VK-Preise", QuickFilter::NeueVkPreise},
};

const QLocale& german() {
    static const QLocale l(QLocale::German, QLocale::Germany);
    return l;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The article number and "% Abw." of a row's texts, found in one walk over
// the line feeds up to "% Abw.".
void articleAndDeviation(const QByteArray& texts, QByteArrayView* article,
                         QByteArrayView* deviation) {
    static_assert(ArtNr < Abweichung);
    const char* p = texts.constData();
    const qsizetype n = texts.size();
    qsizetype start = 0;
    *article = {};
    *deviation = {};
    for (int field = 0; field <= Abweichung; ++field) {
        if (start > n)
            return;
        const void* lf = start < n ? memchr(p + start, '\n', size_t(n - start)) : nullptr;
        const qsizetype end = lf ? static_cast<const char*>(lf) - p : n;
        if (field == ArtNr)
            *article = QByteArrayView(p + start, end - start);
        else if (field == Abweichung)
            *deviation = QByteArrayView(p + start, end - start);
        start = end + 1;
    }
}

// Whether an article number cell is empty or blanks, as the quick filters
// read it (QString::trimmed).
bool blank(QByteArrayView text) {
    for (char c : text) {
        if (uchar(c) >= 0x80)
            return QString::fromUtf8(text).trimmed().isEmpty();
        if (!(c == ' ' || (c >= '\t' && c <= '\r')))
            return false;
    }
    return true;
}

// "% Abw." as the grid writes it ("-12,50 %", ",50 %"), read without a
// string; any other form as ParseDeviation reads it. The two decimals give
// the same number as ParseDeviation does: both are the double nearest to
// hundredths / 100.
bool deviationOf(QByteArrayView v, double* percent) {
    if (v.isEmpty())
        return false;
    const qsizetype n = v.size();
    qsizetype i = 0;
    const bool negative = v[0] == '-';
    if (negative)
        ++i;
    qint64 whole = 0;
    const qsizetype firstDigit = i;
    while (i < n && isDigit(v[i]) && i - firstDigit < 12)
        whole = whole * 10 + (v[i++] - '0');
    if (i + 5 == n && v[i] == ',' && isDigit(v[i + 1]) && isDigit(v[i + 2]) && v[i + 3] == ' ' &&
        v[i + 4] == '%') {
        const qint64 hundredths = whole * 100 + (v[i + 1] - '0') * 10 + (v[i + 2] - '0');
        *percent = double(negative ? -hundredths : hundredths) / 100.0;
        return true;
    }
    return ParseDeviation(QString::fromUtf8(v), percent);
}

// A place in a list of the largest: the value (a rise, or a fall as a
// positive number) and the grid row; larger first, then load order.
struct Ranked {
    double value;
    int row;
    bool before(const Ranked& other) const {
        return value > other.value || (value == other.value && row < other.row);
    }
};

void offer(std::vector<Ranked>& list, Ranked candidate, int top) {
    if (top <= 0)
        return;
    if (int(list.size()) == top && !candidate.before(list.back()))
        return;
    const auto at = std::find_if(list.begin(), list.end(),
                                 [&](const Ranked& r) { return candidate.before(r); });
    list.insert(at, candidate);
    if (int(list.size()) > top)
        list.pop_back();
}

QList<int> rowsOf(const std::vector<Ranked>& list) {
    QList<int> rows;
    rows.reserve(qsizetype(list.size()));
    for (const Ranked& r : list)
        rows << r.row;
    return rows;
}

} // namespace

bool RowDeviation(const PositionRow& row, double* percent) {
    QByteArrayView article, deviation;
    articleAndDeviation(row.texts, &article, &deviation);
    return deviationOf(deviation, percent);
}

bool OldPrice(const PositionRow& row, double* price) {
    double percent = 0;
    if (!row.hasNumber(PreisExcl) || !RowDeviation(row, &percent) || percent <= -100)
        return false;
    *price = row.number(PreisExcl) / (1 + percent / 100);
    return true;
}

QString GermanCount(int count) {
    return german().toString(count);
}

PositionOverview PositionOverview::of(const PositionGridModel& grid, const QList<int>& rows,
                                      int top) {
    PositionOverview o;
    std::vector<Ranked> rises, falls;
    rises.reserve(size_t(qMax(0, top)) + 1);
    falls.reserve(size_t(qMax(0, top)) + 1);
    auto& c = o.counts;
    for (int r : rows) {
        if (r < 0 || r >= grid.size())
            continue;
        const PositionRow& row = grid.row(r);
        ++c[Positionen];
        QByteArrayView article, deviation;
        articleAndDeviation(row.texts, &article, &deviation);
        ++c[blank(article) ? OhneArtNr : MitArtNr];
        double percent = 0;
        if (!deviationOf(deviation, &percent)) {
            ++c[OhneVergleich];
        } else {
            ++o.steps[size_t(DeviationStepOf(percent))];
            if (percent > 0) {
                ++c[Steigend];
                offer(rises, {percent, r}, top);
            } else if (percent < 0) {
                ++c[Fallend];
                offer(falls, {-percent, r}, top);
            } else {
                ++c[Unveraendert];
            }
        }
        if (row.hasNumber(Spanne) && row.number(Spanne) < 0)
            ++c[SpanneUnter0];
        if (row.hasNumber(VkExcl) && row.number(VkExcl) > 0 && !row.vkFlag)
            ++c[NeueVkPreise];
    }
    o.rises = rowsOf(rises);
    o.falls = rowsOf(falls);
    return o;
}

PositionOverview PositionOverview::of(const PositionGridModel& grid, int top) {
    QList<int> rows(grid.size());
    std::iota(rows.begin(), rows.end(), 0);
    return of(grid, rows, top);
}

QString PositionOverview::label(Count c) {
    return c >= 0 && c < kCounts ? QString::fromUtf16(kCountInfo[c].label) : QString();
}

std::optional<QuickFilter> PositionOverview::filterOf(Count c) {
    return c >= 0 && c < kCounts ? kCountInfo[c].filter : std::nullopt;
}

QStringList PositionOverview::lines() const {
    QStringList out;
    for (int c = 0; c < kCounts; ++c)
        out << label(Count(c)) + u'\t' + QString::number(counts[size_t(c)]);
    for (int s = 0; s < kDeviationSteps; ++s)
        out << DeviationStepLabel(s) + u'\t' + QString::number(steps[size_t(s)]);
    return out;
}

int PositionOverview::compared() const {
    int sum = 0;
    for (int s : steps)
        sum += s;
    return sum;
}

// --- the lists of the largest rises and falls ------------------------------

OverviewTopModel::OverviewTopModel(QObject* parent) : QAbstractTableModel(parent) {}

void OverviewTopModel::setRows(const PositionGridModel* grid, const QList<int>& rows) {
    beginResetModel();
    m_grid = grid;
    m_rows = rows;
    endResetModel();
}

QString OverviewTopModel::caption(int column) {
    switch (column) {
    case BestNr:
        return QStringLiteral("Best.Nr.");
    case Bezeichnung:
        return QStringLiteral("Bezeichnung");
    case PreisAlt:
        return QStringLiteral("Preis alt");
    case PreisNeu:
        return QStringLiteral("Preis neu");
    case Abweichung:
        return QStringLiteral("% Abw.");
    default:
        return QString();
    }
}

QString OverviewTopModel::cell(int line, int column) const {
    const int r = gridRow(line);
    if (!m_grid || r < 0 || r >= m_grid->size())
        return QString();
    const PositionRow& row = m_grid->row(r);
    switch (column) {
    case BestNr:
        return row.text(PositionGrid::BestNr);
    case Bezeichnung:
        return row.text(PositionGrid::Bezeichnung);
    case PreisAlt: {
        double old = 0;
        return OldPrice(row, &old) ? FormatNumber(old, 2) : QString();
    }
    case PreisNeu:
        return m_grid->cellText(r, PreisExcl);
    case Abweichung:
        return row.text(PositionGrid::Abweichung);
    default:
        return QString();
    }
}

int OverviewTopModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int OverviewTopModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant OverviewTopModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return cell(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return index.column() >= PreisAlt ? int(Qt::AlignRight | Qt::AlignVCenter)
                                          : int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == PreisAlt)
        return QStringLiteral("aus Preis neu und „% Abw.“ zurückgerechnet");
    return {};
}

QVariant OverviewTopModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return caption(section);
    if (role == Qt::TextAlignmentRole)
        return section >= PreisAlt ? int(Qt::AlignRight | Qt::AlignVCenter)
                                   : int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
