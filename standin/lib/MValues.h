#pragma once

// The values of the M subset and what works on them: numbers as M keeps
// them (15 significant digits, their canonical text), texts and their
// pieces, variable references. Shared by the parts of the interpreter
// (MCommands.cpp, MExpressions.cpp, MFunctions.cpp); nothing outside it
// includes this header.
#include <QString>
#include <QStringList>
#include <QStringView>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace MLang {

constexpr qsizetype MaxString = 3641144;

inline bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
inline bool isAlpha(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
inline bool isAlnum(char16_t c) {
    return isAlpha(c) || isDigit(c);
}

// Compares a name as written (any case) with its abbreviation and full form.
inline bool is(QStringView word, const char* abbreviation, const char* full) {
    return word.compare(QLatin1String(abbreviation), Qt::CaseInsensitive) == 0 ||
           word.compare(QLatin1String(full), Qt::CaseInsensitive) == 0;
}

// Numbers carry 15 significant digits: every result is rounded to that, so
// that .1+.2 is .3 here as it is in decimal M arithmetic.
inline double fit(double d) {
    if ((std::abs(d) < 1e15 && d == std::trunc(d)) || !std::isfinite(d))
        return d;
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, 14).ptr;
    double v = d;
    if (std::from_chars(buf, end, v).ec != std::errc())
        return d;
    return v;
}

// The canonical text of a number: no exponent, no leading zero before the
// point, no trailing zeros after it, "-" only for values below zero.
QString canonic(double d);

// The numeric value of a text: its leading numeric part ("12abc" is 12,
// "--3" is 3, "abc" is 0). Infinite when the number is too large.
double toNumber(QStringView s);

// Field numbers and positions: whole numbers, kept in a range where the
// arithmetic on them cannot overflow.
inline qint64 toInt(double d) {
    return qint64(std::clamp(d, -1e15, 1e15));
}

// Finds a text in another in time linear in both: a long, repetitive text
// sought in a long one would cost the product of the lengths with a plain
// or Boyer-Moore search. Short texts go to QString's own search.
class Needle {
public:
    explicit Needle(const QString& needle) : m_needle(needle) {
        const qsizetype n = needle.size();
        if (n <= kShort)
            return;
        // Knuth-Morris-Pratt: m_border[i] is the length of the longest
        // proper border of needle[0..i].
        m_border.assign(size_t(n), 0);
        for (qsizetype i = 1, k = 0; i < n; ++i) {
            while (k > 0 && needle[i] != needle[k])
                k = m_border[size_t(k - 1)];
            if (needle[i] == needle[k])
                ++k;
            m_border[size_t(i)] = k;
        }
    }
    // The first occurrence at or after from, -1 when there is none.
    qsizetype in(const QString& hay, qsizetype from) const {
        const qsizetype n = m_needle.size();
        if (n <= kShort)
            return hay.indexOf(m_needle, from);
        for (qsizetype i = from, k = 0; i < hay.size(); ++i) {
            while (k > 0 && hay[i] != m_needle[k])
                k = m_border[size_t(k - 1)];
            if (hay[i] == m_needle[k] && ++k == n)
                return i - n + 1;
        }
        return -1;
    }
    qsizetype size() const { return m_needle.size(); }

private:
    static constexpr qsizetype kShort = 16;
    const QString& m_needle;
    std::vector<qsizetype> m_border;
};

// The first and the last code unit after the pieces before piece `from`.
// Returns how many pieces are missing before `from` (0 when it exists).
qint64 findPiece(const QString& s, const QString& delimiter, qint64 from, qint64 to,
                 qsizetype& start, qsizetype& end);
QString piece(const QString& s, const QString& delimiter, qint64 from, qint64 to);

// $TRANSLATE: each code unit found in `from` becomes the one at the same
// place in `to`, or is dropped when `to` is shorter. Long lists are looked
// up in a table, so the cost is linear in the lengths.
QString translate(const QString& s, const QString& from, const QString& to);

// Text as it stands in a subscript: canonical numbers bare, everything else
// quoted with doubled quotes.
QString subscriptText(const QString& s);

struct Val {
    QString s;
    double d = 0;
    bool isNum = false; // d holds the value, s is unused

    static Val num(double v) {
        Val x;
        x.d = v;
        x.isNum = true;
        return x;
    }
    static Val str(QString t) {
        Val x;
        x.s = std::move(t);
        return x;
    }
    QString text() const { return isNum ? canonic(d) : s; }
};

struct Ref {
    QString name;
    QStringList subscripts;
    bool global = false;

    // As written: ^NAME("a",1).
    QString text() const;
};

// The left side of one SET assignment: a variable or $PIECE of one.
struct Target {
    Ref ref;
    QString delimiter;
    qint64 from = 1, to = 1;
    bool piece = false;
};
} // namespace MLang
