// M expressions: operators, operands, $JOB, and the variables they read
// and SET writes.
#include "MInterp.h"

namespace MLang {

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

} // namespace MLang
