// The objects of stored classes: their tables, loading and saving, ids.
#include "StandinRegistry.h"
#include "StandinStore.h"

#include <sqlite3.h>

namespace {

QString quoteIdent(const QString& name) {
    return u'"' + name + u'"';
}

} // namespace

void StandinStore::createTable(const StoredClass& cls) {
    QStringList cols{QStringLiteral("id TEXT PRIMARY KEY")};
    for (const QString& p : cls.properties)
        cols << quoteIdent(p) + QStringLiteral(" TEXT NOT NULL DEFAULT ''");
    execScript({QStringLiteral("CREATE TABLE IF NOT EXISTS ") + quoteIdent(cls.table) + u'(' +
                cols.join(u',') + u')'});
}

bool StandinStore::loadObject(const ClassDef& def, const QString& id, StoredObject* out) {
    const StoredClass& cls = def;
    if (cls.table.isEmpty())
        return false;
    QString& sql = m_loadSql[cls.table];
    if (sql.isEmpty()) {
        QStringList cols;
        for (const QString& p : cls.properties)
            cols << quoteIdent(p);
        sql = QStringLiteral("SELECT ") +
              (cols.isEmpty() ? QStringLiteral("id") : cols.join(u',')) + QStringLiteral(" FROM ") +
              quoteIdent(cls.table) + QStringLiteral(" WHERE id=?");
    }
    // Objects are read on SQLite's own handle: a wide row (a position has
    // some 70 properties) costs no QVariant per value.
    sqlite3_stmt* st = raw(sql, {id});
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            throw ServerError(StandinErrors::Database,
                              QStringLiteral("Datenbankfehler: ") +
                                  QString::fromUtf8(sqlite3_errmsg(m_handle)));
        return false;
    }
    out->cls = &def;
    out->id = id;
    out->values.clear();
    out->values.reserve(cls.properties.size());
    for (int i = 0; i < cls.properties.size(); ++i) {
        out->values.insert(cls.properties[i], columnText(st, i));
    }
    sqlite3_reset(st);
    return true;
}

void StandinStore::saveObject(StoredObject& obj) {
    const StoredClass& cls = *obj.cls;
    if (cls.table.isEmpty())
        return;
    if (cls.beforeSave)
        cls.beforeSave(obj);
    if (obj.id.isEmpty()) {
        if (cls.autoId) {
            obj.id = nextId(cls);
        } else if (cls.idOf) {
            obj.id = cls.idOf(obj);
        }
        if (obj.id.isEmpty())
            throw ServerError(StandinErrors::General,
                              QStringLiteral("Objekt ohne Schlüssel: ") + cls.name);
    }
    QString& sql = m_saveSql[cls.table];
    if (sql.isEmpty()) {
        QStringList cols{QStringLiteral("id")};
        QStringList marks{QStringLiteral("?")};
        for (const QString& p : cls.properties) {
            cols << quoteIdent(p);
            marks << QStringLiteral("?");
        }
        sql = QStringLiteral("INSERT OR REPLACE INTO ") + quoteIdent(cls.table) + u'(' +
              cols.join(u',') + QStringLiteral(") VALUES(") + marks.join(u',') + u')';
    }
    QStringList values{obj.id};
    values.reserve(cls.properties.size() + 1);
    for (const QString& p : cls.properties)
        values << obj.values.value(p);
    execText(sql, values);
}

QString StandinStore::nextId(const StoredClass& cls) {
    // A class without blocks counts one by one, without gaps.
    const QString& className = cls.name;
    const qint64 size = qMax<qint64>(1, cls.idBlock);
    IdBlock& block = m_idBlocks[className];
    if (block.next > block.last) {
        // Reserved in the unit of work that uses the first id of the block:
        // when that is rolled back, so is the reservation, and the block is
        // forgotten with it.
        const QString n = QString::number(size);
        const qint64 last =
            textValue(QStringLiteral("INSERT INTO idcounter(class,last) VALUES(?,?) "
                                     "ON CONFLICT(class) DO UPDATE SET last=last+? RETURNING last"),
                      {className, n, n})
                .toLongLong();
        block.next = last - size + 1;
        block.last = last;
    }
    return QString::number(block.next++);
}
