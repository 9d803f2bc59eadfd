// The commands of M: SET, WRITE, DO, QUIT, IF and FOR.
#include "MInterp.h"

namespace MLang {

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

} // namespace MLang
