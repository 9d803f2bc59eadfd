// The intrinsic functions of M: $PIECE, $LENGTH, $EXTRACT, $ASCII, $CHAR,
// $FIND, $TRANSLATE, $JUSTIFY, $GET, $DATA and $SELECT.
#include "MInterp.h"

namespace MLang {

Val Interp::function(QStringView fname) {
    enum Function { Piece, Length, Extract, Ascii, Char, Find, Translate, Justify };
    static const struct {
        const char* abbreviation;
        const char* full;
        Function id;
        int minArgs, maxArgs;
    } table[] = {
        {"P", "PIECE", Piece, 2, 4},          {"L", "LENGTH", Length, 1, 2},
        {"E", "EXTRACT", Extract, 1, 3},      {"A", "ASCII", Ascii, 1, 2},
        {"C", "CHAR", Char, 1, 255},          {"F", "FIND", Find, 2, 3},
        {"TR", "TRANSLATE", Translate, 2, 3}, {"J", "JUSTIFY", Justify, 2, 3},
    };

    // $GET, $DATA and $SELECT take variables or pairs, not plain values.
    if (is(fname, "G", "GET") || is(fname, "D", "DATA"))
        return getOrData(is(fname, "G", "GET"));
    if (is(fname, "S", "SELECT"))
        return select();

    const auto* entry = std::find_if(std::begin(table), std::end(table), [&](const auto& e) {
        return is(fname, e.abbreviation, e.full);
    });
    if (entry == std::end(table))
        fail("<FUNCTION>");
    QVarLengthArray<Val, 4> args;
    do
        args.append(expr());
    while (accept(u','));
    expect(u')');
    if (args.size() < entry->minArgs || args.size() > entry->maxArgs)
        syntax();
    if (!m_exec)
        return {};

    const qsizetype count = args.size();
    qsizetype read = 0;
    for (const Val& v : args)
        read += v.isNum ? 0 : v.s.size();
    chargeText(read);
    const auto intArg = [&](qsizetype i, qint64 fallback) {
        return i < count ? toInt(num(args[i])) : fallback;
    };
    switch (entry->id) {
    case Piece: {
        const qint64 from = intArg(2, 1);
        return Val::str(piece(args[0].text(), args[1].text(), from, intArg(3, from)));
    }
    case Length:
        return length(args[0].text(), count == 1 ? std::optional<QString>() : args[1].text());
    case Extract: {
        const QString s = args[0].text();
        const qint64 from = std::max<qint64>(intArg(1, 1), 1);
        const qint64 to = std::min<qint64>(intArg(2, intArg(1, 1)), s.size());
        return Val::str(to < from ? QString() : s.sliced(from - 1, to - from + 1));
    }
    case Ascii: {
        const QString s = args[0].text();
        const qint64 at = intArg(1, 1);
        return Val::num(at < 1 || at > s.size() ? -1 : s[at - 1].unicode());
    }
    case Char: {
        QString s;
        for (qsizetype i = 0; i < count; ++i) {
            const qint64 code = intArg(i, -1);
            if (code >= 0 && code <= 0xFFFF)
                s += QChar(char16_t(code));
        }
        return Val::str(std::move(s));
    }
    case Find:
        return find(args[0].text(), args[1].text(), intArg(2, 1));
    case Translate:
        return Val::str(
            translate(args[0].text(), args[1].text(), count > 2 ? args[2].text() : QString()));
    case Justify:
        return justify(args);
    }
    return {};
}

// $GET(variable[,default]) and $DATA(variable).
Val Interp::getOrData(bool get) {
    const Ref r = ref();
    Val fallback = Val::str(QString());
    if (get && accept(u','))
        fallback = expr();
    expect(u')');
    if (!m_exec)
        return {};
    if (!get) {
        checkSubscripts(r);
        charge(1);
        return Val::num(r.global ? m_env.dataGlobal(r.name, r.subscripts)
                                 : m_env.dataLocal(r.name, r.subscripts));
    }
    std::optional<QString> value = fetch(r);
    return value ? Val::str(std::move(*value)) : fallback;
}

// $SELECT(condition:value,...): the value of the first true condition; the
// rest is walked without effect.
Val Interp::select() {
    const bool exec = m_exec;
    bool found = false;
    Val result;
    do {
        m_exec = exec && !found;
        const Val condition = expr();
        expect(u':');
        const bool take = m_exec && truth(condition);
        m_exec = take;
        Val v = expr();
        if (take) {
            result = std::move(v);
            found = true;
        }
    } while (accept(u','));
    expect(u')');
    m_exec = exec;
    if (exec && !found)
        fail("<SELECT>");
    return result;
}

// $LENGTH(text[,delimiter]): characters, or pieces.
Val Interp::length(const QString& s, const std::optional<QString>& delimiter) {
    if (!delimiter)
        return Val::num(double(s.size()));
    if (delimiter->isEmpty())
        return Val::num(0);
    const Needle needle(*delimiter);
    qint64 pieces = 1;
    for (qsizetype at = needle.in(s, 0); at >= 0; at = needle.in(s, at + delimiter->size()))
        ++pieces;
    return Val::num(double(pieces));
}

// $FIND(text,sought[,start]): the position after the first sought text at
// or after start; 0 when there is none.
Val Interp::find(const QString& s, const QString& sought, qint64 from) {
    const qint64 start = std::max<qint64>(from, 1);
    if (sought.isEmpty())
        return Val::num(double(start));
    if (start > s.size())
        return Val::num(0);
    const qsizetype at = Needle(sought).in(s, start - 1);
    return Val::num(at < 0 ? 0 : double(at + sought.size() + 1));
}

// $JUSTIFY(value,width[,decimals]): right-aligned in width, with fixed
// decimals when they are given.
Val Interp::justify(const QVarLengthArray<Val, 4>& args) {
    QString s = args.size() == 2 ? args[0].text() : fixedDecimals(args[0], toInt(num(args[2])));
    const qint64 width = toInt(num(args[1]));
    checkLength(width);
    if (width > s.size()) {
        chargeText(width);
        s.prepend(QString(width - s.size(), u' '));
    }
    return Val::str(std::move(s));
}

// A number with fixed decimals, rounded half away from zero, with a zero
// before the point.
QString Interp::fixedDecimals(const Val& value, qint64 decimals) {
    if (decimals < 0)
        fail("<FUNCTION>");
    checkLength(decimals);
    chargeText(decimals);
    double d = num(value);
    if (decimals <= 15) {
        const double scale = std::pow(10.0, double(decimals));
        d = fit(std::round(fit(d * scale)) / scale);
        if (!std::isfinite(d))
            d = num(value);
    }
    QString s = canonic(d);
    qsizetype point = s.indexOf(u'.');
    if (point < 0)
        point = s.size();
    if (point == 0 || (point == 1 && s[0] == u'-'))
        s.insert(point++, u'0');
    QString fraction = s.mid(point + 1).left(decimals);
    s.truncate(point);
    if (decimals > 0) {
        fraction += QString(decimals - fraction.size(), u'0');
        s += u'.' + fraction;
    }
    return s;
}

} // namespace MLang
