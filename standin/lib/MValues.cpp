#include "MValues.h"

#include <cstdlib>

namespace MLang {

QString canonic(double d) {
    if (d == 0)
        return QStringLiteral("0");
    if (!std::isfinite(d))
        return QString::number(d);
    if (std::abs(d) < 1e15 && d == std::trunc(d))
        return QString::number(qint64(d));
    char buf[32]; // [-]D.DDDDDDDDDDDDDDe[+-]XXX
    *std::to_chars(buf, buf + sizeof buf - 1, d, std::chars_format::scientific, 14).ptr = 0;
    const char* p = buf;
    QString s;
    if (*p == '-') {
        s += u'-';
        ++p;
    }
    char digits[16];
    int count = 0;
    digits[count++] = *p++;
    for (++p; *p != 'e'; ++p)
        digits[count++] = *p;
    const int exponent = std::atoi(p + 1);
    while (count > 1 && digits[count - 1] == '0')
        --count;
    if (exponent < 0) {
        s += u'.';
        s += QString(-exponent - 1, u'0');
        s += QLatin1String(digits, count);
    } else if (count <= exponent + 1) {
        s += QLatin1String(digits, count);
        s += QString(exponent + 1 - count, u'0');
    } else {
        s += QLatin1String(digits, exponent + 1);
        s += u'.';
        s += QLatin1String(digits + exponent + 1, count - exponent - 1);
    }
    return s;
}

double toNumber(QStringView s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    bool negative = false;
    for (; i < n && (s[i] == u'+' || s[i] == u'-'); ++i)
        negative ^= s[i] == u'-';
    const qsizetype begin = i;
    while (i < n && isDigit(s[i].unicode()))
        ++i;
    if (i < n && s[i] == u'.')
        for (++i; i < n && isDigit(s[i].unicode());)
            ++i;
    if (i < n && s[i] == u'E') {
        qsizetype j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        if (j < n && isDigit(s[j].unicode()))
            for (i = j; i < n && isDigit(s[i].unicode());)
                ++i;
    }
    if (i == begin)
        return 0;
    const double d = fit(s.sliced(begin, i - begin).toDouble());
    return negative ? -d : d;
}

qint64 findPiece(const QString& s, const QString& delimiter, qint64 from, qint64 to,
                 qsizetype& start, qsizetype& end) {
    const Needle needle(delimiter);
    start = 0;
    for (qint64 i = 1; i < from; ++i) {
        const qsizetype found = needle.in(s, start);
        if (found < 0)
            return from - i;
        start = found + delimiter.size();
    }
    end = start;
    for (qint64 i = from;; ++i) {
        const qsizetype found = needle.in(s, end);
        if (found < 0 || i == to) {
            end = found < 0 ? s.size() : found;
            return 0;
        }
        end = found + delimiter.size();
    }
}

QString piece(const QString& s, const QString& delimiter, qint64 from, qint64 to) {
    if (delimiter.isEmpty() || to < from || to < 1)
        return {};
    qsizetype start, end;
    if (findPiece(s, delimiter, std::max<qint64>(from, 1), to, start, end) > 0)
        return {};
    return s.sliced(start, end - start);
}

// $TRANSLATE: each code unit found in `from` becomes the one at the same
// place in `to`, or is dropped when `to` is shorter. Long lists are looked
// up in a table, so the cost is linear in the lengths.
QString translate(const QString& s, const QString& from, const QString& to) {
    QString result;
    result.reserve(s.size());
    if (from.size() <= 8) {
        for (const QChar ch : s) {
            const qsizetype at = from.indexOf(ch);
            if (at < 0)
                result += ch;
            else if (at < to.size())
                result += to[at];
        }
        return result;
    }
    // -1: kept, -2: dropped, else the replacement.
    std::vector<qint32> map(0x10000, -1);
    for (qsizetype i = from.size(); i-- > 0;)
        map[from[i].unicode()] = i < to.size() ? qint32(to[i].unicode()) : -2;
    for (const QChar ch : s) {
        const qint32 m = map[ch.unicode()];
        if (m == -1)
            result += ch;
        else if (m >= 0)
            result += QChar(char16_t(m));
    }
    return result;
}

QString subscriptText(const QString& s) {
    if (!s.isEmpty() && canonic(toNumber(s)) == s)
        return s;
    QString quoted = s;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QString Ref::text() const {
    QString t;
    if (global)
        t += u'^';
    t += name;
    if (!subscripts.isEmpty()) {
        t += u'(';
        for (qsizetype i = 0; i < subscripts.size(); ++i) {
            if (i > 0)
                t += u',';
            t += subscriptText(subscripts[i]);
        }
        t += u')';
    }
    return t;
}

} // namespace MLang
