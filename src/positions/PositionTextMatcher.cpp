#include "PositionTextMatcher.h"

#include "common/TextHelpers.h"
#include "positions/GermanCollation.h"

using namespace PositionGrid;

namespace {

// dd.mm.yyyy of a date, written to out (10 bytes).
void writeDate(const QDate& d, char* out) {
    const int day = d.day(), month = d.month(), year = d.year();
    out[0] = char('0' + day / 10);
    out[1] = char('0' + day % 10);
    out[2] = '.';
    out[3] = char('0' + month / 10);
    out[4] = char('0' + month % 10);
    out[5] = '.';
    out[6] = char('0' + year / 1000 % 10);
    out[7] = char('0' + year / 100 % 10);
    out[8] = char('0' + year / 10 % 10);
    out[9] = char('0' + year % 10);
}

} // namespace

PositionTextMatcher::PositionTextMatcher(const QString& text) {
    // A cell never holds a line feed (it becomes a blank), so neither does
    // what is looked for: no match spans two cells.
    QString t = text;
    t.replace(u'\n', u' ');
    for (const QChar c : std::as_const(t))
        m_wide = m_wide || c.unicode() > 0xFF;
    if (m_wide)
        m_wideNeedle = t.toCaseFolded();
    m_needle = t.toUtf8();
    FoldCase(m_needle);
    m_matcher.setPattern(m_needle);
    m_numeric = !t.isEmpty();
    for (const QChar c : std::as_const(t))
        m_numeric = m_numeric && (c.isDigit() || c == u'.' || c == u',' || c == u'-');
}

bool PositionTextMatcher::matchesFolded(QByteArrayView text) const {
    if (m_wide)
        // Letters beyond Latin-1 ("Ł", "Š"): folded as Unicode, slower.
        return QString::fromUtf8(text).toCaseFolded().contains(m_wideNeedle);
    return m_matcher.indexIn(text) >= 0;
}

bool PositionTextMatcher::numberCellMatches(const PositionRow& row, int column) const {
    const PositionColumn& col = ColumnOf(column);
    char buffer[48];
    if (col.kind == CellKind::Date) {
        if (!row.date.isValid())
            return false;
        writeDate(row.date, buffer);
        return matchesFolded(QByteArrayView(buffer, 10));
    }
    if (!row.hasNumber(column))
        return false;
    const int n = FormatNumberUtf8(row.number(column), col.decimals, buffer);
    if (n >= 0)
        return matchesFolded(QByteArrayView(buffer, n));
    return matchesFolded(FormatNumber(row.number(column), col.decimals).toUtf8());
}

bool PositionTextMatcher::cellMatches(const PositionGridModel& model, int row, int column) const {
    if (m_needle.isEmpty())
        return true;
    const PositionRow& r = model.row(row);
    const CellKind kind = ColumnOf(column).kind;
    if (kind == CellKind::Number || kind == CellKind::Date)
        return m_numeric && numberCellMatches(r, column);
    m_scratch = r.text(column).toUtf8();
    FoldCase(m_scratch);
    return matchesFolded(m_scratch);
}

bool PositionTextMatcher::rowMatches(const PositionGridModel& model, int row, int column) const {
    if (m_needle.isEmpty())
        return true;
    if (column >= 0)
        return cellMatches(model, row, column);
    const PositionRow& r = model.row(row);
    // The text cells are one text; the needle has no line feed, so a match
    // never spans two cells.
    m_scratch.resize(r.texts.size());
    std::copy(r.texts.cbegin(), r.texts.cend(), m_scratch.begin());
    FoldCase(m_scratch);
    if (matchesFolded(m_scratch))
        return true;
    if (!m_numeric)
        return false;
    if (numberCellMatches(r, Datum))
        return true;
    for (int slot = 0; slot < kNumberColumns; ++slot)
        if (numberCellMatches(r, NumberColumn(slot)))
            return true;
    return false;
}
