#pragma once

// The building blocks of the ERP contract (src/common/erp): a name as it
// travels on the wire, a class query with its columns, a class with what
// the program calls on it, and an M entry point. The program and the
// stand-in both compile against the same names, so neither writes one of
// its own.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstddef>
#include <span>
#include <string_view>

namespace erp {

// A name of the ERP (class, method, property, query, column, routine),
// kept as a UTF-16 literal. It becomes a QString without copying.
class Name {
public:
    template <std::size_t N>
    constexpr Name(const char16_t (&text)[N]) : m_text(text), m_size(qsizetype(N - 1)) {}

    constexpr QStringView view() const { return QStringView(m_text, m_size); }
    constexpr std::u16string_view text() const { return {m_text, std::size_t(m_size)}; }
    QString toString() const {
        return QString::fromRawData(reinterpret_cast<const QChar*>(m_text), m_size);
    }
    operator QString() const { return toString(); }

private:
    const char16_t* m_text;
    qsizetype m_size;
};

inline QStringList ToStringList(std::span<const Name> names) {
    QStringList out;
    out.reserve(qsizetype(names.size()));
    for (const Name& n : names)
        out << n.toString();
    return out;
}

// A class query: its name and its columns in the order "GetData" numbers
// them from 1.
struct Query {
    Name name;
    std::span<const Name> columns;

    operator QString() const { return name.toString(); }
    int columnCount() const { return int(columns.size()); }
    QStringList columnList() const { return ToStringList(columns); }
};

// The number "GetData" gives the column of that name in the query (from
// 1), worked out while compiling: a name the query does not have does not
// compile.
consteval int Column(const Query& query, std::u16string_view name) {
    for (std::size_t i = 0; i < query.columns.size(); ++i)
        if (query.columns[i].text() == name)
            return int(i) + 1;
    throw "the query has no column of that name";
}

// What the program asks of one class: class methods (called on a class
// handle), methods of its objects, properties it reads or writes by name,
// and its queries.
struct ClassContract {
    Name name;
    std::span<const Name> classMethods;
    std::span<const Name> methods;
    std::span<const Name> properties;
    std::span<const Query> queries;
};

// An M entry point: label (empty for the routine's start) and routine,
// written "D label^routine".
struct Routine {
    Name label;
    Name routine;

    // The M command that runs it, without arguments.
    QString command() const {
        return QStringLiteral("D ") + label.toString() + u'^' + routine.toString();
    }
};

} // namespace erp
