#include "GermanCollation.h"

void FoldCase(QByteArray& utf8) {
    char* p = utf8.data();
    const qsizetype n = utf8.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(p[i]);
        if (c >= 'A' && c <= 'Z') {
            p[i] = char(c + 32);
        } else if (c == 0xC3 && i + 1 < n) {
            // U+00C0 to U+00DE (not U+00D7, the multiplication sign): the
            // small letter is 0x20 further.
            const uchar d = uchar(p[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97)
                p[i + 1] = char(d + 0x20);
            ++i;
        }
    }
}

QString GermanSortKey(const QString& text) {
    QString key;
    key.reserve(text.size() + 2);
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80) {
            key += (u >= 'A' && u <= 'Z') ? QChar(u + 32) : ch;
            continue;
        }
        switch (u) {
        case u'ä':
        case u'Ä':
            key += u'a';
            continue;
        case u'ö':
        case u'Ö':
            key += u'o';
            continue;
        case u'ü':
        case u'Ü':
            key += u'u';
            continue;
        case u'ß':
            key += QStringLiteral("ss");
            continue;
        default:
            break;
        }
        const QChar lower = ch.toLower();
        const QString parts = lower.decomposition();
        key += lower.decompositionTag() == QChar::Canonical && !parts.isEmpty() ? parts[0] : lower;
    }
    return key;
}
