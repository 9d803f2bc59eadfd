#include "MInterpreter.h"

#include <QVarLengthArray>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

MError::MError(QString code, QString detail)
    : m_code(std::move(code)), m_detail(std::move(detail)), m_what(description().toUtf8()) {}

const char* MError::what() const noexcept {
    return m_what.constData();
}

QString MError::description() const {
    return m_detail.isEmpty() ? m_code : m_code + u' ' + m_detail;
}

namespace {

constexpr qsizetype MaxString = 3641144;

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool isAlpha(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isAlnum(char16_t c) {
    return isAlpha(c) || isDigit(c);
}

// Compares a name as written (any case) with its abbreviation and full form.
bool is(QStringView word, const char* abbreviation, const char* full) {
    return word.compare(QLatin1String(abbreviation), Qt::CaseInsensitive) == 0 ||
           word.compare(QLatin1String(full), Qt::CaseInsensitive) == 0;
}

// Numbers carry 15 significant digits: every result is rounded to that, so
// that .1+.2 is .3 here as it is in decimal M arithmetic.
double fit(double d) {
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

// The numeric value of a text: its leading numeric part ("12abc" is 12,
// "--3" is 3, "abc" is 0). Infinite when the number is too large.
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

// Field numbers and positions: whole numbers, kept in a range where the
// arithmetic on them cannot overflow.
qint64 toInt(double d) {
    return qint64(std::clamp(d, -1e15, 1e15));
}

// The first and the last code unit after the pieces before piece `from`.
// Returns how many pieces are missing before `from` (0 when it exists).
qint64 findPiece(const QString& s, const QString& delimiter, qint64 from, qint64 to,
                 qsizetype& start, qsizetype& end) {
    start = 0;
    for (qint64 i = 1; i < from; ++i) {
        const qsizetype found = s.indexOf(delimiter, start);
        if (found < 0)
            return from - i;
        start = found + delimiter.size();
    }
    end = start;
    for (qint64 i = from;; ++i) {
        const qsizetype found = s.indexOf(delimiter, end);
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

// Text as it stands in a subscript: canonical numbers bare, everything else
// quoted with doubled quotes.
QString subscriptText(const QString& s) {
    if (!s.isEmpty() && canonic(toNumber(s)) == s)
        return s;
    QString quoted = s;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

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

    QString text() const {
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
};

// The left side of one SET assignment: a variable or $PIECE of one.
struct Target {
    Ref ref;
    QString delimiter;
    qint64 from = 1, to = 1;
    bool piece = false;
};

// Recursive-descent interpreter over one line. The line is walked twice:
// first without effects (m_exec false) so that a syntax error anywhere stops
// the line before anything ran, then for real. Skipped code (a false
// postcondition, the unchosen parts of $SELECT) is walked the same way.
class Interp {
public:
    Interp(const QString& line, MEnvironment& env) : m_line(line), m_env(env) {}

    QString run() {
        for (const bool exec : {false, true}) {
            m_exec = exec;
            m_pos = 0;
            m_out.clear();
            commands();
        }
        return m_out;
    }

private:
    const QString& m_line;
    MEnvironment& m_env;
    qsizetype m_pos = 0;
    bool m_exec = false;
    QString m_out;

    bool atEnd() const { return m_pos >= m_line.size(); }
    char16_t peek(qsizetype ahead = 0) const {
        return m_pos + ahead < m_line.size() ? m_line[m_pos + ahead].unicode() : 0;
    }
    bool accept(char16_t c) {
        if (atEnd() || m_line[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }
    void expect(char16_t c) {
        if (!accept(c))
            syntax();
    }
    [[noreturn]] void syntax() const { fail("<SYNTAX>"); }
    [[noreturn]] void fail(const char* code) const {
        throw MError(QString::fromLatin1(code), m_line);
    }
    QStringView word() {
        const qsizetype begin = m_pos;
        while (isAlpha(peek()))
            ++m_pos;
        return QStringView(m_line).sliced(begin, m_pos - begin);
    }
    QString name() {
        const qsizetype begin = m_pos;
        if (peek() != u'%' && !isAlpha(peek()))
            syntax();
        for (++m_pos; isAlnum(peek());)
            ++m_pos;
        return m_line.sliced(begin, m_pos - begin);
    }

    double num(const Val& v) const {
        const double d = v.isNum ? v.d : toNumber(v.s);
        if (!std::isfinite(d))
            fail("<MAXNUMBER>");
        return d;
    }
    Val numVal(double d) const {
        if (!std::isfinite(d))
            fail("<MAXNUMBER>");
        return Val::num(d);
    }
    bool truth(const Val& v) const { return num(v) != 0; }
    void checkLength(qsizetype length) const {
        if (length > MaxString)
            fail("<MAXSTRING>");
    }

    void commands();
    void setArgument();
    Target target();
    void assign(const Target& t, const QString& value);
    void writeArgument();
    void doArgument();

    Val expr();
    Val atom();
    Val apply(char16_t op, const Val& a, const Val& b) const;
    Val dollar();
    Val function(QStringView fname);
    Ref ref();
    std::optional<QString> fetch(const Ref& r);
    void store(const Ref& r, const QString& value);
    void checkSubscripts(const Ref& r) const;
};

void Interp::commands() {
    enum Command { Set, Write, Do, Quit, If };
    for (;;) {
        while (accept(u' ')) {
        }
        if (atEnd() || peek() == u';')
            return;
        const QStringView cname = word();
        Command command;
        if (is(cname, "S", "SET"))
            command = Set;
        else if (is(cname, "W", "WRITE"))
            command = Write;
        else if (is(cname, "D", "DO"))
            command = Do;
        else if (is(cname, "Q", "QUIT"))
            command = Quit;
        else if (is(cname, "I", "IF"))
            command = If;
        else
            syntax();

        const bool outer = m_exec;
        if (accept(u':') && !truth(expr()) && outer)
            m_exec = false;
        // Two spaces or the end of the line: no arguments.
        if (atEnd() || (peek() == u' ' && (peek(1) == u' ' || m_pos + 1 == m_line.size()))) {
            if (command != Quit)
                syntax();
            if (m_exec)
                return;
            m_exec = outer;
            continue;
        }
        expect(u' ');
        switch (command) {
        case Set:
            do
                setArgument();
            while (accept(u','));
            break;
        case Write:
            do
                writeArgument();
            while (accept(u','));
            break;
        case Do:
            do
                doArgument();
            while (accept(u','));
            break;
        case If:
            do {
                if (!truth(expr()) && m_exec)
                    return; // the rest of the line is not run
            } while (accept(u','));
            break;
        case Quit:
            syntax();
        }
        m_exec = outer;
        if (!atEnd() && peek() != u' ')
            syntax();
    }
}

void Interp::setArgument() {
    QVarLengthArray<Target, 1> targets;
    if (accept(u'(')) {
        do
            targets.append(target());
        while (accept(u','));
        expect(u')');
    } else {
        targets.append(target());
    }
    expect(u'=');
    const Val v = expr();
    if (!m_exec)
        return;
    const QString value = v.text();
    for (const Target& t : targets)
        assign(t, value);
}

Target Interp::target() {
    Target t;
    if (accept(u'$')) {
        if (!is(word(), "P", "PIECE"))
            syntax();
        expect(u'(');
        t.piece = true;
        t.ref = ref();
        expect(u',');
        t.delimiter = expr().text();
        if (accept(u',')) {
            const Val from = expr();
            t.from = t.to = m_exec ? toInt(num(from)) : 1;
            if (accept(u',')) {
                const Val to = expr();
                t.to = m_exec ? toInt(num(to)) : 1;
            }
        }
        expect(u')');
    } else {
        t.ref = ref();
    }
    return t;
}

void Interp::assign(const Target& t, const QString& value) {
    if (!t.piece) {
        store(t.ref, value);
        return;
    }
    // SET $PIECE: replace pieces from..to, adding delimiters when the text
    // has fewer pieces. An undefined variable counts as "".
    QString s = fetch(t.ref).value_or(QString());
    if (!t.delimiter.isEmpty() && t.to >= t.from && t.to >= 1) {
        qsizetype start, end;
        const qint64 missing =
            findPiece(s, t.delimiter, std::max<qint64>(t.from, 1), t.to, start, end);
        if (missing > 0) {
            if (missing > MaxString)
                fail("<MAXSTRING>");
            checkLength(s.size() + missing * t.delimiter.size() + value.size());
            s += t.delimiter.repeated(missing);
            s += value;
        } else {
            checkLength(s.size() - (end - start) + value.size());
            s.replace(start, end - start, value);
        }
    }
    store(t.ref, s);
}

void Interp::writeArgument() {
    if (peek() == u'!' || peek() == u'#' || peek() == u'?') {
        for (;;) {
            if (accept(u'!')) {
                if (m_exec)
                    m_out += u'\n';
            } else if (accept(u'#')) {
                if (m_exec)
                    m_out += u'\f';
            } else {
                break;
            }
        }
        if (accept(u'?')) {
            const Val v = expr();
            if (m_exec) {
                qsizetype lineStart = m_out.size();
                while (lineStart > 0 && m_out[lineStart - 1] != u'\n' &&
                       m_out[lineStart - 1] != u'\f')
                    --lineStart;
                const qint64 spaces = toInt(num(v)) - (m_out.size() - lineStart);
                if (spaces > 0) {
                    checkLength(spaces);
                    m_out += QString(spaces, u' ');
                }
            }
        }
        return;
    }
    if (accept(u'*')) {
        const Val v = expr();
        const qint64 code = m_exec ? toInt(num(v)) : -1;
        if (code >= 0 && code <= 0xFFFF)
            m_out += QChar(char16_t(code));
        return;
    }
    const Val v = expr();
    if (m_exec)
        m_out += v.text();
}

void Interp::doArgument() {
    QString label;
    if (isDigit(peek())) {
        const qsizetype begin = m_pos;
        while (isDigit(peek()))
            ++m_pos;
        label = m_line.sliced(begin, m_pos - begin);
    } else if (peek() != u'^') {
        label = name();
    }
    QString routine;
    const bool hasRoutine = accept(u'^');
    if (hasRoutine)
        routine = name();
    QStringList args;
    if (accept(u'(') && !accept(u')')) {
        do
            args.append(expr().text());
        while (accept(u','));
        expect(u')');
    }
    if (!m_exec)
        return;
    if (!hasRoutine || !m_env.callRoutine(label, routine, args, m_out))
        throw MError(QStringLiteral("<NOLINE>"), hasRoutine ? label + u'^' + routine : label);
}

// Binary operators are applied strictly from left to right.
Val Interp::expr() {
    Val a = atom();
    for (;;) {
        const bool negated = accept(u'\'');
        const char16_t op = peek();
        switch (op) {
        case u'=':
        case u'<':
        case u'>':
        case u'&':
        case u'!':
        case u'[':
        case u']':
            break;
        case u'_':
        case u'+':
        case u'-':
        case u'*':
        case u'/':
        case u'\\':
        case u'#':
            if (negated)
                syntax();
            break;
        default:
            if (negated)
                syntax();
            return a;
        }
        ++m_pos;
        const Val b = atom();
        if (!m_exec)
            continue;
        if (op == u'_') {
            if (a.isNum) {
                a.s = canonic(a.d);
                a.isNum = false;
            }
            const QString tail = b.text();
            checkLength(a.s.size() + tail.size());
            a.s += tail;
        } else {
            a = apply(op, a, b);
            if (negated)
                a.d = a.d == 0;
        }
    }
}

Val Interp::apply(char16_t op, const Val& a, const Val& b) const {
    switch (op) {
    case u'=':
        return Val::num(a.isNum && b.isNum ? a.d == b.d : a.text() == b.text());
    case u'[':
        return Val::num(a.text().contains(b.text()));
    case u']':
        return Val::num(a.text() > b.text());
    case u'&':
        return Val::num(truth(a) && truth(b));
    case u'!':
        return Val::num(truth(a) || truth(b));
    default:
        break;
    }
    const double x = num(a), y = num(b);
    switch (op) {
    case u'<':
        return Val::num(x < y);
    case u'>':
        return Val::num(x > y);
    case u'+':
        return numVal(fit(x + y));
    case u'-':
        return numVal(fit(x - y));
    case u'*':
        return numVal(fit(x * y));
    default:
        break;
    }
    if (y == 0)
        fail("<DIVIDE>");
    const double quotient = fit(x / y);
    if (op == u'/')
        return numVal(quotient);
    if (op == u'\\')
        return numVal(std::trunc(quotient));
    // Modulo takes the sign of the divisor.
    return numVal(fit(x - fit(y * std::floor(quotient))));
}

Val Interp::atom() {
    const char16_t c = peek();
    if (c == u'"') {
        QString s;
        for (++m_pos;;) {
            const qsizetype quote = m_line.indexOf(u'"', m_pos);
            if (quote < 0)
                syntax();
            s += QStringView(m_line).sliced(m_pos, quote - m_pos);
            m_pos = quote + 1;
            if (!accept(u'"'))
                return Val::str(std::move(s));
            s += u'"';
        }
    }
    if (isDigit(c) || (c == u'.' && isDigit(peek(1)))) {
        const qsizetype begin = m_pos;
        while (isDigit(peek()))
            ++m_pos;
        if (accept(u'.'))
            while (isDigit(peek()))
                ++m_pos;
        if (peek() == u'E') {
            const qsizetype sign = peek(1) == u'+' || peek(1) == u'-';
            if (isDigit(peek(1 + sign)))
                for (m_pos += 1 + sign; isDigit(peek());)
                    ++m_pos;
        }
        if (!m_exec)
            return {};
        return numVal(toNumber(QStringView(m_line).sliced(begin, m_pos - begin)));
    }
    switch (c) {
    case u'(': {
        ++m_pos;
        Val v = expr();
        expect(u')');
        return v;
    }
    case u'-':
    case u'+':
    case u'\'': {
        ++m_pos;
        const Val v = atom();
        if (!m_exec)
            return {};
        if (c == u'\'')
            return Val::num(!truth(v));
        const double d = num(v);
        return Val::num(c == u'-' ? -d : d);
    }
    case u'$':
        return dollar();
    default:
        break;
    }
    const Ref r = ref();
    if (!m_exec)
        return {};
    std::optional<QString> value = fetch(r);
    if (!value)
        throw MError(QStringLiteral("<UNDEFINED>"), r.text());
    return Val::str(std::move(*value));
}

Val Interp::dollar() {
    ++m_pos;
    const QStringView dname = word();
    if (dname.isEmpty())
        syntax();
    if (accept(u'('))
        return function(dname);
    if (!is(dname, "J", "JOB"))
        syntax();
    return m_exec ? Val::str(m_env.jobNumber()) : Val();
}

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
    if (is(fname, "G", "GET") || is(fname, "D", "DATA")) {
        const bool get = is(fname, "G", "GET");
        const Ref r = ref();
        Val fallback = Val::str(QString());
        if (get && accept(u','))
            fallback = expr();
        expect(u')');
        if (!m_exec)
            return {};
        std::optional<QString> value = fetch(r);
        if (!get)
            return Val::num(value.has_value());
        return value ? Val::str(std::move(*value)) : fallback;
    }
    if (is(fname, "S", "SELECT")) {
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
    const auto intArg = [&](qsizetype i, qint64 fallback) {
        return i < count ? toInt(num(args[i])) : fallback;
    };
    switch (entry->id) {
    case Piece: {
        const qint64 from = intArg(2, 1);
        return Val::str(piece(args[0].text(), args[1].text(), from, intArg(3, from)));
    }
    case Length: {
        const QString s = args[0].text();
        if (count == 1)
            return Val::num(double(s.size()));
        const QString delimiter = args[1].text();
        if (delimiter.isEmpty())
            return Val::num(0);
        qint64 pieces = 1;
        for (qsizetype at = s.indexOf(delimiter); at >= 0;
             at = s.indexOf(delimiter, at + delimiter.size()))
            ++pieces;
        return Val::num(double(pieces));
    }
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
    case Find: {
        const QString s = args[0].text(), sought = args[1].text();
        const qint64 start = std::max<qint64>(intArg(2, 1), 1);
        if (sought.isEmpty())
            return Val::num(double(start));
        if (start > s.size())
            return Val::num(0);
        const qsizetype at = s.indexOf(sought, start - 1);
        return Val::num(at < 0 ? 0 : double(at + sought.size() + 1));
    }
    case Translate: {
        const QString from = args[1].text(), to = count > 2 ? args[2].text() : QString();
        const QString s = args[0].text();
        QString result;
        result.reserve(s.size());
        for (const QChar ch : s) {
            const qsizetype at = from.indexOf(ch);
            if (at < 0)
                result += ch;
            else if (at < to.size())
                result += to[at];
        }
        return Val::str(std::move(result));
    }
    case Justify: {
        QString s;
        if (count == 2) {
            s = args[0].text();
        } else {
            // Fixed decimals, rounded half away from zero, with a zero
            // before the point.
            const qint64 decimals = intArg(2, 0);
            if (decimals < 0)
                fail("<FUNCTION>");
            checkLength(decimals);
            double d = num(args[0]);
            if (decimals <= 15) {
                const double scale = std::pow(10.0, double(decimals));
                d = fit(std::round(fit(d * scale)) / scale);
                if (!std::isfinite(d))
                    d = num(args[0]);
            }
            s = canonic(d);
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
        }
        const qint64 width = intArg(1, 0);
        checkLength(width);
        if (width > s.size())
            s.prepend(QString(width - s.size(), u' '));
        return Val::str(std::move(s));
    }
    }
    return {};
}

Ref Interp::ref() {
    Ref r;
    r.global = accept(u'^');
    r.name = name();
    if (accept(u'(')) {
        do
            r.subscripts.append(expr().text());
        while (accept(u','));
        expect(u')');
    }
    return r;
}

void Interp::checkSubscripts(const Ref& r) const {
    for (const QString& s : r.subscripts)
        if (s.isEmpty())
            throw MError(QStringLiteral("<SUBSCRIPT>"), r.text());
}

std::optional<QString> Interp::fetch(const Ref& r) {
    checkSubscripts(r);
    return r.global ? m_env.getGlobal(r.name, r.subscripts) : m_env.getLocal(r.name, r.subscripts);
}

void Interp::store(const Ref& r, const QString& value) {
    checkSubscripts(r);
    if (r.global)
        m_env.setGlobal(r.name, r.subscripts, value);
    else
        m_env.setLocal(r.name, r.subscripts, value);
}

} // namespace

QString ExecuteM(const QString& line, MEnvironment& env) {
    return Interp(line, env).run();
}
