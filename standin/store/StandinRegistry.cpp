#include "StandinRegistry.h"

#include "common/WireProtocol.h"

#include <stdexcept>

bool QueryCursor::fillEncoded(int rows, qsizetype maxBytes, QByteArray& out, quint32& cells) {
    QStringList values;
    const bool more = fill(rows, maxBytes, values);
    for (const QString& v : std::as_const(values))
        Wire::appendText(out, v);
    cells += quint32(values.size());
    return more;
}

bool ListCursor::fill(int rows, qsizetype maxBytes, QStringList& out) {
    qsizetype bytes = 0;
    for (int n = 0; n < rows; ++n) {
        if (m_at >= m_rows.size())
            return false;
        const QStringList& row = m_rows[m_at++];
        for (int c = 0; c < m_columns; ++c) {
            const QString v = row.value(c);
            bytes += v.size() * 3 + 4;
            out.append(v);
        }
        if (bytes > maxBytes)
            break;
    }
    return true;
}

SqlCursor::SqlCursor(StandinStore& store, const QString& sql, QVariantList values, int columns)
    : m_store(store), m_sql(sql + QStringLiteral(" LIMIT ? OFFSET ?")), m_values(std::move(values)),
      m_columns(columns) {}

bool SqlCursor::fill(int rows, qsizetype maxBytes, QStringList& out) {
    QVariantList values = m_values;
    values << rows << m_offset;
    QSqlQuery& q = m_store.exec(m_sql, values);
    qsizetype bytes = 0;
    int taken = 0;
    while (taken < rows && StandinStore::nextRow(q)) {
        ++taken;
        for (int c = 0; c < m_columns; ++c) {
            const QString v = q.value(c).toString();
            bytes += v.size() * 3 + 4;
            out.append(v);
        }
        if (bytes > maxBytes)
            break;
    }
    q.finish();
    m_offset += taken;
    return taken == rows || bytes > maxBytes;
}

ClassDef& StandinRegistry::defineClass(const QString& name, const QString& table,
                                       const QStringList& properties, bool autoId) {
    auto def = std::make_shared<ClassDef>();
    def->name = name;
    def->table = table;
    def->properties = properties;
    def->autoId = autoId;
    m_classes.insert(name, def);
    if (!table.isEmpty())
        m_store.createTable(*def);
    return *def;
}

const ClassDef* StandinRegistry::findClass(const QString& name) const {
    auto it = m_classes.find(name);
    return it == m_classes.end() ? nullptr : it->get();
}

ClassDef& StandinRegistry::extendClass(const QString& name) {
    auto it = m_classes.find(name);
    if (it == m_classes.end())
        throw std::logic_error(("class not defined: " + name).toStdString());
    return **it;
}

void StandinRegistry::defineRoutine(const QString& label, const QString& routine, RoutineFn fn) {
    m_routines.insert(label + u'^' + routine, std::move(fn));
}

const RoutineFn* StandinRegistry::findRoutine(const QString& label, const QString& routine) const {
    auto it = m_routines.find(label + u'^' + routine);
    return it == m_routines.end() ? nullptr : &*it;
}
