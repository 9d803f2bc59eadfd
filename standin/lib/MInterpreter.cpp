#include "MInterpreter.h"

#include <QElapsedTimer>
#include <QVarLengthArray>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

void MEnvironment::appendLocal(const QString& name, const QStringList& subscripts,
                               const QString& tail) {
    setLocal(name, subscripts, getLocal(name, subscripts).value_or(QString()) + tail);
}

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
//
// Every walk counts its nesting (each level of recursion passes atom() or a
// FOR) and its work (charge()), so that no line can exhaust the stack or
// keep the server busy beyond the limits.
class Interp {
public:
    Interp(const QString& line, MEnvironment& env, const MLimits& limits)
        : m_line(line), m_env(env), m_limits(limits) {
        m_clock.start();
    }

    QString run() {
        for (const bool exec : {false, true}) {
            m_exec = exec;
            m_pos = 0;
            m_out.clear();
            m_lineStart = 0;
            commands();
        }
        return m_out;
    }

private:
    const QString& m_line;
    MEnvironment& m_env;
    const MLimits& m_limits;
    qsizetype m_pos = 0;
    bool m_exec = false;
    QString m_out;
    qsizetype m_lineStart = 0; // where the output's current line begins
    int m_depth = 0;
    qint64 m_steps = 0;
    qint64 m_nextClockCheck = 0;
    QElapsedTimer m_clock;

    // One level of nesting for as long as it lives.
    class Nest {
    public:
        explicit Nest(Interp& in) : m_in(in) {
            if (++m_in.m_depth > m_in.m_limits.maxNesting)
                m_in.fail("<STACK>");
        }
        ~Nest() { --m_in.m_depth; }
        Nest(const Nest&) = delete;
        Nest& operator=(const Nest&) = delete;

    private:
        Interp& m_in;
    };

    // Counts work: units of one command or operand, or of 16 characters
    // read or built. The clock is looked at every few hundred units.
    void charge(qint64 units) {
        m_steps += units;
        if (m_steps > m_limits.maxSteps)
            fail("<INTERRUPT>");
        if (m_steps >= m_nextClockCheck) {
            m_nextClockCheck = m_steps + 256;
            if (m_limits.timeLimitMs > 0 && m_clock.elapsed() > m_limits.timeLimitMs)
                fail("<INTERRUPT>");
        }
    }
    void chargeText(qsizetype characters) { charge(1 + characters / 16); }

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
    // Two spaces or the end of the line: a command without arguments.
    bool noArguments() const {
        return atEnd() || (peek() == u' ' && (peek(1) == u' ' || m_pos + 1 == m_line.size()));
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

    double num(const Val& v) {
        if (!v.isNum)
            chargeText(v.s.size());
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
    bool truth(const Val& v) { return num(v) != 0; }
    void checkLength(qsizetype length) const {
        if (length > MaxString)
            fail("<MAXSTRING>");
    }
    // Appends to what the command writes, within the output limit.
    void put(QStringView text) {
        if (text.size() > m_limits.maxOutput - m_out.size())
            fail("<STORE>");
        chargeText(text.size());
        for (qsizetype i = text.size(); i-- > 0;) {
            if (text[i] == u'\n' || text[i] == u'\f') {
                m_lineStart = m_out.size() + i + 1;
                break;
            }
        }
        m_out += text;
    }

    // Returns true when QUIT ended the commands.
    bool commands();
    void forCommand();
    void setArgument();
    bool appendInPlace(const Target& t);
    Target target();
    void assign(const Target& t, const QString& value);
    void writeArgument();
    void doArgument();

    Val expr();
    Val atom();
    Val apply(char16_t op, const Val& a, const Val& b);
    Val dollar();
    Val function(QStringView fname);
    // Steps of function(): $GET and $DATA, $SELECT, $LENGTH, $FIND, $JUSTIFY.
    Val getOrData(bool get);
    Val select();
    Val length(const QString& s, const std::optional<QString>& delimiter);
    Val find(const QString& s, const QString& sought, qint64 from);
    Val justify(const QVarLengthArray<Val, 4>& args);
    QString fixedDecimals(const Val& value, qint64 decimals);
    Ref ref();
    std::optional<QString> fetch(const Ref& r);
    void store(const Ref& r, const QString& value);
    void checkSubscripts(const Ref& r) const;
};

bool Interp::commands() {
    enum Command { Set, Write, Do, Quit, If, For };
    for (;;) {
        while (accept(u' ')) {
        }
        if (atEnd() || peek() == u';')
            return false;
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
        else if (is(cname, "F", "FOR"))
            command = For;
        else
            syntax();
        charge(1);
        if (command == For) {
            // FOR takes no postcondition; its scope is the rest of the line.
            forCommand();
            return false;
        }

        const bool outer = m_exec;
        if (accept(u':') && !truth(expr()) && outer)
            m_exec = false;
        if (noArguments()) {
            if (command != Quit)
                syntax();
            if (m_exec)
                return true;
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
                    return false; // the rest of the line is not run
            } while (accept(u','));
            break;
        case Quit:
        case For:
            syntax();
        }
        m_exec = outer;
        if (!atEnd() && peek() != u' ')
            syntax();
    }
}

// FOR runs the rest of the line for each value of its arguments
// ("F I=1:1:3,7 ..." runs it for 1, 2, 3 and 7), or without arguments until
// a QUIT. QUIT ends the FOR; IF with a false value ends one round of it.
void Interp::forCommand() {
    const Nest nest(*this);
    if (peek() == u':')
        syntax();
    if (noArguments()) {
        const qsizetype body = m_pos;
        if (!m_exec) {
            commands();
            return;
        }
        do {
            m_pos = body;
            charge(1);
        } while (!commands());
        m_pos = m_line.size();
        return;
    }
    expect(u' ');
    // The body follows the arguments; they are walked without effect first
    // to find it, then evaluated one after the other as the loop goes.
    const qsizetype arguments = m_pos;
    const bool exec = m_exec;
    m_exec = false;
    if (ref().global)
        syntax();
    expect(u'=');
    do {
        expr();
        if (accept(u':')) {
            expr();
            if (accept(u':'))
                expr();
        }
    } while (accept(u','));
    m_exec = exec;
    if (!atEnd())
        expect(u' ');
    const qsizetype body = m_pos;
    if (!m_exec) {
        commands();
        return;
    }

    m_pos = arguments;
    const Ref var = ref();
    expect(u'=');
    bool quit = false;
    do {
        const Val first = expr();
        if (!accept(u':')) {
            const qsizetype next = m_pos;
            store(var, first.text());
            m_pos = body;
            quit = commands();
            m_pos = next;
            continue;
        }
        double value = num(first);
        const double increment = num(expr());
        std::optional<double> limit;
        if (accept(u':'))
            limit = num(expr());
        const qsizetype next = m_pos;
        for (;;) {
            if (limit && (increment >= 0 ? value > *limit : value < *limit))
                break;
            store(var, canonic(value));
            m_pos = body;
            charge(1);
            if ((quit = commands()))
                break;
            // The next value follows from the variable as the body left it.
            const std::optional<QString> now = fetch(var);
            if (!now)
                throw MError(QStringLiteral("<UNDEFINED>"), var.text());
            chargeText(now->size());
            value = numVal(fit(toNumber(*now) + increment)).d;
        }
        m_pos = next;
    } while (!quit && accept(u','));
    m_pos = m_line.size();
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
    if (m_exec && targets.size() == 1 && appendInPlace(targets[0]))
        return;
    const Val v = expr();
    if (!m_exec)
        return;
    const QString value = v.text();
    for (const Target& t : targets)
        assign(t, value);
}

// SET X=X_a_b: a local that only grows at its end is appended to where it
// is kept instead of being copied for every SET, so that a loop building a
// text costs time linear in its length. Anything else (another variable,
// another operator after the concatenations) goes the ordinary way.
bool Interp::appendInPlace(const Target& t) {
    if (t.piece || t.ref.global || !(isAlpha(peek()) || peek() == u'%'))
        return false;
    const qsizetype start = m_pos;
    const Ref source = ref();
    if (peek() != u'_' || source.global || source.name != t.ref.name ||
        source.subscripts != t.ref.subscripts) {
        m_pos = start;
        return false;
    }
    std::optional<QString> value = fetch(source);
    if (!value)
        throw MError(QStringLiteral("<UNDEFINED>"), source.text());
    qsizetype length = value->size();
    value.reset();
    QString tail;
    while (accept(u'_')) {
        const Val b = atom();
        const QString text = b.text();
        checkLength(length + tail.size() + text.size());
        chargeText(text.size());
        tail += text;
    }
    switch (peek()) {
    case u'\'':
    case u'=':
    case u'<':
    case u'>':
    case u'&':
    case u'!':
    case u'[':
    case u']':
    case u'+':
    case u'-':
    case u'*':
    case u'/':
    case u'\\':
    case u'#':
        m_pos = start;
        return false;
    default:
        break;
    }
    checkSubscripts(t.ref);
    m_env.appendLocal(t.ref.name, t.ref.subscripts, tail);
    return true;
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
    chargeText(s.size() + value.size());
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
                    put(u"\n");
            } else if (accept(u'#')) {
                if (m_exec)
                    put(u"\f");
            } else {
                break;
            }
        }
        if (accept(u'?')) {
            const Val v = expr();
            if (m_exec) {
                const qint64 spaces = toInt(num(v)) - (m_out.size() - m_lineStart);
                if (spaces > 0) {
                    checkLength(spaces);
                    if (spaces > m_limits.maxOutput - m_out.size())
                        fail("<STORE>");
                    put(QString(spaces, u' '));
                }
            }
        }
        return;
    }
    if (accept(u'*')) {
        const Val v = expr();
        const qint64 code = m_exec ? toInt(num(v)) : -1;
        if (code >= 0 && code <= 0xFFFF) {
            const QChar ch{char16_t(code)};
            put(QStringView(&ch, 1));
        }
        return;
    }
    const Val v = expr();
    if (m_exec)
        put(v.text());
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
    QString written;
    if (!hasRoutine || !m_env.callRoutine(label, routine, args, written))
        throw MError(QStringLiteral("<NOLINE>"), hasRoutine ? label + u'^' + routine : label);
    put(written);
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
            // Appending to a shared text copies it.
            chargeText(tail.size() + (a.s.isDetached() ? 0 : a.s.size()));
            a.s += tail;
        } else {
            a = apply(op, a, b);
            if (negated)
                a.d = a.d == 0;
        }
    }
}

Val Interp::apply(char16_t op, const Val& a, const Val& b) {
    switch (op) {
    case u'=':
        if (a.isNum && b.isNum)
            return Val::num(a.d == b.d);
        chargeText(a.s.size() + b.s.size());
        return Val::num(a.text() == b.text());
    case u'[': {
        const QString hay = a.text(), sought = b.text();
        chargeText(hay.size() + sought.size());
        return Val::num(Needle(sought).in(hay, 0) >= 0);
    }
    case u']':
        chargeText(a.s.size() + b.s.size());
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
    const Nest nest(*this);
    charge(1);
    const char16_t c = peek();
    if (c == u'"') {
        QString s;
        for (++m_pos;;) {
            const qsizetype quote = m_line.indexOf(u'"', m_pos);
            if (quote < 0)
                syntax();
            chargeText(quote - m_pos);
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
        chargeText(m_pos - begin);
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
    charge(1);
    std::optional<QString> value =
        r.global ? m_env.getGlobal(r.name, r.subscripts) : m_env.getLocal(r.name, r.subscripts);
    if (value && r.global)
        chargeText(value->size());
    return value;
}

void Interp::store(const Ref& r, const QString& value) {
    checkSubscripts(r);
    if (r.global) {
        chargeText(value.size());
        m_env.setGlobal(r.name, r.subscripts, value);
    } else {
        charge(1);
        m_env.setLocal(r.name, r.subscripts, value);
    }
}

} // namespace

QString ExecuteM(const QString& line, MEnvironment& env, const MLimits& limits) {
    return Interp(line, env, limits).run();
}
