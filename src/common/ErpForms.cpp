#include "ErpForms.h"

#include <QDate>
#include <QRegularExpression>
#include <charconv>
#include <cmath>

double ErpValue(const QString& text) {
    // The usual forms, [-]digits[.digits] and [-]digits[,digits], are read
    // without a copy.
    if (!text.isEmpty() && text.size() < 40) {
        char buf[40];
        int n = 0;
        bool plain = true;
        int separators = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if ((u >= u'0' && u <= u'9') || (u == u'-' && n == 0)) {
                buf[n++] = char(u);
            } else if ((u == u'.' || u == u',') && ++separators == 1) {
                buf[n++] = '.';
            } else {
                plain = false;
                break;
            }
        }
        double v = 0;
        if (plain && buf[n - 1] != '.' && buf[0] != '.') {
            const auto r = std::from_chars(buf, buf + n, v);
            if (r.ec == std::errc() && r.ptr == buf + n)
                return std::isfinite(v) ? v : 0;
        }
    }
    QString t = text.trimmed();
    if (t.contains(u',')) {
        t.remove(u'.');
        t.replace(u',', u'.');
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

QString ErpNumber(double value, int decimals) {
    QString t = QString::number(value, 'f', decimals);
    if (t.contains(u'.')) {
        while (t.endsWith(u'0'))
            t.chop(1);
        if (t.endsWith(u'.'))
            t.chop(1);
    }
    return t == u"-0" ? QStringLiteral("0") : t;
}

QString ErpDate(const QString& text) {
    // The common case, a valid dd.mm.yyyy, needs no pattern.
    if (text.size() == 10 && text[2] == u'.' && text[5] == u'.') {
        int v[8];
        int n = 0;
        for (int i : {0, 1, 3, 4, 6, 7, 8, 9}) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                break;
            v[n++] = c - u'0';
        }
        if (n == 8 && QDate::isValid(v[4] * 1000 + v[5] * 100 + v[6] * 10 + v[7], v[2] * 10 + v[3],
                                     v[0] * 10 + v[1]))
            return text;
    }
    static const QRegularExpression dmy(
        QStringLiteral("^(\\d{1,2})[./-](\\d{1,2})[./-](\\d{4}|\\d{2})$"));
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    const QString t = text.trimmed();
    QDate d;
    if (const auto m = iso.match(t); m.hasMatch()) {
        d = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else if (const auto c = compact.match(t); c.hasMatch()) {
        d = QDate(c.captured(1).toInt(), c.captured(2).toInt(), c.captured(3).toInt());
    } else if (const auto m2 = dmy.match(t); m2.hasMatch()) {
        int year = m2.captured(3).toInt();
        if (m2.captured(3).size() == 2)
            year += 2000;
        d = QDate(year, m2.captured(2).toInt(), m2.captured(1).toInt());
    }
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}
