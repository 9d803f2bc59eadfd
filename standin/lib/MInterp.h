#pragma once

// The interpreter of one line of M, in three parts of its own: the commands
// (MCommands.cpp), the expressions and variables (MExpressions.cpp) and the
// intrinsic functions (MFunctions.cpp). Only they and ExecuteM include it.
#include "MInterpreter.h"
#include "MValues.h"

#include <QElapsedTimer>
#include <QVarLengthArray>
#include <optional>

namespace MLang {

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
    qint64 m_pausedMs = 0; // of m_clock's time, paused between slices

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
    // read or built. The clock is looked at every few hundred units, and
    // there the command may pause for the others (pauseIfDue).
    void charge(qint64 units) {
        m_steps += units;
        if (m_steps > m_limits.maxSteps)
            fail("<INTERRUPT>");
        if (m_steps >= m_nextClockCheck) {
            m_nextClockCheck = m_steps + 256;
            m_pausedMs += m_env.pauseIfDue();
            if (m_limits.timeLimitMs > 0 && m_clock.elapsed() - m_pausedMs > m_limits.timeLimitMs)
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

} // namespace MLang
