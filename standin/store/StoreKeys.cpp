#include "StoreKeys.h"

namespace {

constexpr char16_t kEscape = 0x10;
constexpr char16_t kSeparator = kSubscriptSeparator;

// Whether the code unit at i must be written escaped.
bool special(QStringView s, qsizetype i, bool subscript) {
    const char16_t c = s[i].unicode();
    if (c == kEscape || (subscript && c == kSeparator))
        return true;
    if (QChar::isHighSurrogate(c))
        return i + 1 >= s.size() || !QChar::isLowSurrogate(s[i + 1].unicode());
    if (QChar::isLowSurrogate(c))
        return i == 0 || !QChar::isHighSurrogate(s[i - 1].unicode());
    return false;
}

void appendEscaped(QString& out, QStringView s, bool subscript) {
    qsizetype i = 0;
    while (i < s.size() && !special(s, i, subscript))
        ++i;
    if (i == s.size()) {
        out += s;
        return;
    }
    out += s.first(i);
    for (; i < s.size(); ++i) {
        if (special(s, i, subscript)) {
            out += kEscape;
            out += QStringLiteral("%1").arg(uint(s[i].unicode()), 4, 16, QLatin1Char('0'));
        } else {
            out += s[i];
        }
    }
}

} // namespace

QString SubscriptKey(const QStringList& subscripts) {
    // An empty list is the unsubscripted node.
    QString key;
    for (qsizetype i = 0; i < subscripts.size(); ++i) {
        if (i > 0)
            key += kSeparator;
        appendEscaped(key, subscripts[i], true);
    }
    return key;
}

QString StoredText(const QString& value) {
    QString out;
    appendEscaped(out, value, false);
    return out;
}

QString TextFromStored(const QString& stored) {
    if (!stored.contains(kEscape))
        return stored;
    QString out;
    out.reserve(stored.size());
    const auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= u'0' && u <= u'9'   ? int(u - u'0')
               : u >= u'a' && u <= u'f' ? int(u - u'a' + 10)
                                        : -1;
    };
    for (qsizetype i = 0; i < stored.size(); ++i) {
        int code = -1;
        if (stored[i] == kEscape && i + 4 < stored.size()) {
            code = 0;
            for (qsizetype k = 1; k <= 4 && code >= 0; ++k) {
                const int digit = hex(stored[i + k]);
                code = digit < 0 ? -1 : code * 16 + digit;
            }
        }
        if (code >= 0) {
            out += QChar(char16_t(code));
            i += 4;
        } else {
            out += stored[i];
        }
    }
    return out;
}
