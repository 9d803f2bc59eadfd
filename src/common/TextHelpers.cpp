#include "TextHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

QString Piece(const QString& text, const QString& delimiter, int n, const QString& defaultText) {
    if (text.isEmpty())
        return QString();
    if (n < 1 || delimiter.isEmpty())
        return n == 1 && delimiter.isEmpty() ? text : defaultText;
    qsizetype start = 0;
    for (int field = 1; field < n; ++field) {
        const qsizetype at = text.indexOf(delimiter, start);
        if (at < 0)
            return defaultText;
        start = at + delimiter.size();
    }
    qsizetype end = text.indexOf(delimiter, start);
    if (end < 0)
        end = text.size();
    if (end == start)
        return defaultText;
    return text.mid(start, end - start);
}

int PieceCount(const QString& text, QChar delimiter) {
    if (text.isEmpty())
        return 0;
    const int count = int(text.count(delimiter));
    return text.endsWith(delimiter) ? count : count + 1;
}

float ToNumber(const QString& value) {
    // The kept characters form [sign] digits [comma digits]; anything else
    // (a second comma, a sign in the middle) does not convert.
    QString kept;
    kept.reserve(value.size());
    for (QChar c : value) {
        if (c == u'.')
            kept += u',';
        else if (c.isDigit() && c.unicode() < 128)
            kept += c;
        else if (c == u'-' || c == u'+' || c == u',')
            kept += c;
    }
    if (kept.isEmpty())
        return 0;
    qsizetype i = 0;
    bool negative = false;
    if (kept[0] == u'-' || kept[0] == u'+') {
        negative = kept[0] == u'-';
        i = 1;
    }
    QByteArray number;
    bool digits = false;
    bool comma = false;
    for (; i < kept.size(); ++i) {
        const QChar c = kept[i];
        if (c.isDigit()) {
            number += char(c.unicode());
            digits = true;
        } else if (c == u',' && !comma) {
            number += '.';
            comma = true;
        } else {
            return 0;
        }
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double v = number.toDouble(&ok);
    if (!ok)
        return 0;
    return float(negative ? -v : v);
}

float ToNumber(double value) {
    return float(value);
}

QString ReplaceText(const QString& text, const QString& search, const QString& replacement,
                    bool multiCharacter) {
    const QString what = multiCharacter ? search : search.left(1);
    const QString with = multiCharacter ? replacement : replacement.left(1);
    if (what.isEmpty())
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (QStringView(text).mid(i, what.size()) == what) {
            out += with;
            i += what.size();
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

namespace {

struct Pair {
    const char16_t* from;
    const char16_t* to;
};

QString replaceAll(QString text, std::initializer_list<Pair> pairs) {
    for (const Pair& p : pairs) {
        const QString from = QString::fromUtf16(p.from);
        // Most texts hold none of the characters: nothing to copy then.
        if (from.size() == 1 ? !text.contains(from[0]) : !text.contains(from))
            continue;
        text.replace(from, QString::fromUtf16(p.to));
    }
    return text;
}

// Upper-cases character by character, as the workstation does: ß stays ß.
QString upperPerCharacter(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        c = c.toUpper();
    return out;
}

} // namespace

QString ConvertText(const QString& text, const QString& mode, bool toUpper) {
    const QString t = toUpper ? upperPerCharacter(text) : text;
    if (mode == u"RTF")
        return replaceAll(t, {{u"ä", u"\\'e4"},
                              {u"ö", u"\\'f6"},
                              {u"ü", u"\\'fc"},
                              {u"ß", u"\\'df"},
                              {u"Ä", u"\\'C4"},
                              {u"Ö", u"\\'d6"},
                              {u"Ü", u"\\'dc"}});
    if (mode == u"VELTARSUCHE")
        return replaceAll(t, {{u"ß", u"SS"}, {u"Ä", u"AE"}, {u"Ö", u"OE"}, {u"Ü", u"UE"}});
    if (mode == u"VELTAR")
        return replaceAll(t, {{u"{", u"ä"},
                              {u"|", u"ö"},
                              {u"}", u"ü"},
                              {u"~", u"ß"},
                              {u"[", u"Ä"},
                              {u"\\", u"Ö"},
                              {u"]", u"Ü"},
                              {u"õ", u"§"}});
    if (mode == u"VELTARSZ")
        return replaceAll(
            t,
            {{u"{", u"ä"}, {u"}", u"ü"}, {u"~", u"ß"}, {u"[", u"Ä"}, {u"]", u"Ü"}, {u"õ", u"§"}});
    if (mode == u"GUIVELTAR")
        return replaceAll(t, {{u"ä", u"{"},
                              {u"ö", u"|"},
                              {u"ü", u"}"},
                              {u"ß", u"~"},
                              {u"Ä", u"["},
                              {u"Ö", u"\\"},
                              {u"Ü", u"]"},
                              {u"§", u"õ"}});
    return t;
}

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five undefined bytes.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

QString FromWindows1252(char byte) {
    const auto b = static_cast<unsigned char>(byte);
    if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0)
        return QString(QChar(kHigh[b - 0x80]));
    return QString(QChar(char16_t(b)));
}

int ToWindows1252(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    if (u >= 0x80 && u < 0xA0)
        return kHigh[u - 0x80] == 0 ? int(u) : -1;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u)
            return 0x80 + i;
    return -1;
}

QString FromUtf8(QByteArrayView utf8) {
    const QByteArrayView byteOrderMark("\xEF\xBB\xBF");
    qsizetype marks = 0;
    while (utf8.sliced(marks * 3).startsWith(byteOrderMark))
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(utf8);
    // What follows the marks does not start with one: fromUtf8 keeps it all.
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(utf8.sliced(marks * 3));
}

QString FromWindows1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        *d++ = (u >= 0x80 && u < 0xA0 && kHigh[u - 0x80] != 0) ? QChar(kHigh[u - 0x80])
                                                               : QChar(char16_t(u));
    }
    return out;
}

QByteArray ToWindows1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const int b = ToWindows1252(c);
        out += b < 0 ? '?' : char(b);
    }
    return out;
}

QString ScrambleText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        int b = ToWindows1252(c);
        if (b < 0)
            b = '?';
        out += FromWindows1252(char(b ^ 3));
    }
    return out;
}

namespace {

PauseFunction& pauseReplacement() {
    static PauseFunction f;
    return f;
}

int realPause(int hundredths) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(hundredths) * 10;
    // Waits in slices of at most one millisecond and stops as soon as the
    // time asked has passed, so it never waits longer than asked by more
    // than one slice.
    while (clock.elapsed() < limitMs) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const qint64 left = limitMs - clock.elapsed();
        if (left > 0)
            QThread::usleep(quint64(qMin<qint64>(left, 1)) * 1000);
    }
    return int(clock.elapsed() / 1000);
}

} // namespace

int Pause(int hundredths) {
    if (hundredths <= 0)
        return 0;
    if (pauseReplacement())
        return pauseReplacement()(hundredths);
    return realPause(hundredths);
}

PauseFunction SetPauseFunction(PauseFunction f) {
    PauseFunction previous = std::move(pauseReplacement());
    pauseReplacement() = std::move(f);
    return previous;
}

QChar FirstUnstorableChar(const QString& text) {
    for (const QChar c : text)
        if (c == u'{' || c == u'|' || c == u'}' || c == u'~' || c == u'[' || c == u'\\' ||
            c == u']')
            return c;
    return QChar();
}

QString UnstorableCharMessage(QChar c) {
    return QStringLiteral("Das Zeichen ") + c +
           QStringLiteral(" kann im ERP nicht gespeichert werden");
}
