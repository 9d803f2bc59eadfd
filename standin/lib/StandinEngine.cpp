#include "StandinEngine.h"

#include "classes/StandinClasses.h"
#include "common/ServerError.h"

#include <QAtomicInt>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <sqlite3.h>
#include <stdexcept>

QString SubscriptKey(const QStringList& subscripts) {
    // Unit separator between subscripts; an empty list is the unsubscripted node.
    return subscripts.join(QChar(0x1F));
}

bool ListCursor::next(QStringList* row) {
    if (m_at >= m_rows.size())
        return false;
    *row = m_rows[m_at++];
    return true;
}

SqlCursor::SqlCursor(QSqlQuery query, int columns, std::function<QStringList(const QSqlQuery&)> row)
    : m_query(std::move(query)), m_columns(columns), m_row(std::move(row)) {}

bool SqlCursor::next(QStringList* row) {
    if (!m_query.next())
        return false;
    if (m_row) {
        *row = m_row(m_query);
    } else {
        row->clear();
        for (int i = 0; i < m_columns; ++i)
            row->append(m_query.value(i).toString());
    }
    return true;
}

namespace {

[[noreturn]] void dbFail(const QSqlQuery& q, const QString& sql) {
    throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") +
                                                   q.lastError().text() + QStringLiteral(" (") +
                                                   sql.left(80) + u')');
}

QString quoteIdent(const QString& name) {
    return u'"' + name + u'"';
}

} // namespace

StandinEngine::StandinEngine(const QString& databasePath) {
    static QAtomicInt counter;
    m_connectionName = QStringLiteral("standin-%1").arg(counter.fetchAndAddRelaxed(1));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(databasePath);
    if (!m_db.open())
        throw std::runtime_error(
            ("cannot open database " + databasePath + ": " + m_db.lastError().text())
                .toStdString());
    execScript({
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA synchronous=NORMAL"),
        QStringLiteral("PRAGMA busy_timeout=5000"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS globals (name TEXT NOT NULL, subs TEXT NOT "
                       "NULL, value TEXT NOT NULL, PRIMARY KEY (name, subs)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS idcounter (class TEXT PRIMARY KEY, last "
                       "INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)"),
    });
    const QVariant handle = m_db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_handle = *static_cast<sqlite3* const*>(handle.constData());
    const QString last = meta(QStringLiteral("lastjob"));
    m_lastJob = last.isEmpty() ? 1000 : last.toInt();
    RegisterAllClasses(*this);
}

StandinEngine::~StandinEngine() {
    for (sqlite3_stmt* st : std::as_const(m_raw))
        sqlite3_finalize(st);
    m_raw.clear();
    m_literalStatements.clear();
    m_statements.clear();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlQuery& StandinEngine::prepared(const QString& sql) {
    // Statements written as literals are found by the address of their text,
    // which saves hashing the whole statement on every call.
    const bool literal = !sql.data_ptr().isMutable();
    if (literal) {
        auto hit = m_literalStatements.constFind(sql.constData());
        if (hit != m_literalStatements.constEnd())
            return **hit;
    }
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        auto q = std::make_shared<QSqlQuery>(m_db);
        if (!q->prepare(sql))
            dbFail(*q, sql);
        it = m_statements.insert(sql, q);
    }
    if (literal)
        m_literalStatements.insert(sql.constData(), *it);
    return **it;
}

QSqlQuery& StandinEngine::exec(const QString& sql, const QVariantList& values) {
    QSqlQuery& q = prepared(sql);
    for (int i = 0; i < values.size(); ++i) {
        // A null text would be stored as SQL NULL; the server knows only texts.
        const QVariant& v = values[i];
        if (v.typeId() == QMetaType::QString && v.toString().isNull())
            q.bindValue(i, QStringLiteral(""));
        else
            q.bindValue(i, v);
    }
    if (!q.exec())
        dbFail(q, sql);
    return q;
}

sqlite3_stmt* StandinEngine::raw(const QString& sql, const QStringList& values) {
    if (!m_handle)
        throw ServerError(StandinErrors::Database, QStringLiteral("Datenbank nicht geöffnet"));
    auto it = m_raw.constFind(sql);
    sqlite3_stmt* st = it == m_raw.constEnd() ? nullptr : *it;
    if (!st) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(m_handle, text.constData(), int(text.size()),
                               SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
            throw ServerError(StandinErrors::Database,
                              QStringLiteral("Datenbankfehler: ") +
                                  QString::fromUtf8(sqlite3_errmsg(m_handle)));
        m_raw.insert(sql, st);
    }
    sqlite3_reset(st);
    for (int i = 0; i < values.size(); ++i) {
        const QString& v = values[i];
        // A null text is stored as an empty one: the server knows only texts.
        static const char16_t empty[1] = {0};
        const void* data = v.isNull() ? static_cast<const void*>(empty) : v.utf16();
        sqlite3_bind_text16(st, i + 1, data, int(v.size() * 2), SQLITE_TRANSIENT);
    }
    return st;
}

QString StandinEngine::textValue(const QString& sql, const QStringList& values) {
    sqlite3_stmt* st = raw(sql, values);
    const int rc = sqlite3_step(st);
    QString v;
    if (rc == SQLITE_ROW) {
        const void* text = sqlite3_column_text16(st, 0);
        if (text)
            v = QString::fromUtf16(static_cast<const char16_t*>(text),
                                   sqlite3_column_bytes16(st, 0) / 2);
    }
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") +
                                                       QString::fromUtf8(sqlite3_errmsg(m_handle)));
    return v;
}

void StandinEngine::execText(const QString& sql, const QStringList& values) {
    sqlite3_stmt* st = raw(sql, values);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") +
                                                       QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

void StandinEngine::execScript(const QStringList& statements) {
    for (const QString& sql : statements) {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            throw std::runtime_error((sql + ": " + q.lastError().text()).toStdString());
    }
}

ClassDef& StandinEngine::defineClass(const QString& name, const QString& table,
                                     const QStringList& properties, bool autoId) {
    auto def = std::make_shared<ClassDef>();
    def->name = name;
    def->table = table;
    def->properties = properties;
    def->autoId = autoId;
    m_classes.insert(name, def);
    if (!table.isEmpty())
        createTable(*def);
    return *def;
}

const ClassDef* StandinEngine::findClass(const QString& name) const {
    auto it = m_classes.find(name);
    return it == m_classes.end() ? nullptr : it->get();
}

ClassDef& StandinEngine::extendClass(const QString& name) {
    auto it = m_classes.find(name);
    if (it == m_classes.end())
        throw std::logic_error(("class not defined: " + name).toStdString());
    return **it;
}

void StandinEngine::defineRoutine(const QString& label, const QString& routine, RoutineFn fn) {
    m_routines.insert(label + u'^' + routine, std::move(fn));
}

const RoutineFn* StandinEngine::findRoutine(const QString& label, const QString& routine) const {
    auto it = m_routines.find(label + u'^' + routine);
    return it == m_routines.end() ? nullptr : &*it;
}

void StandinEngine::createTable(const ClassDef& cls) {
    QStringList cols{QStringLiteral("id TEXT PRIMARY KEY")};
    for (const QString& p : cls.properties)
        cols << quoteIdent(p) + QStringLiteral(" TEXT NOT NULL DEFAULT ''");
    execScript({QStringLiteral("CREATE TABLE IF NOT EXISTS ") + quoteIdent(cls.table) + u'(' +
                cols.join(u',') + u')'});
}

std::optional<QString> StandinEngine::getGlobal(const QString& name,
                                                const QStringList& subscripts) {
    QSqlQuery& q = exec(QStringLiteral("SELECT value FROM globals WHERE name=? AND subs=?"),
                        {name, SubscriptKey(subscripts)});
    std::optional<QString> v;
    if (q.next())
        v = q.value(0).toString();
    q.finish();
    return v;
}

void StandinEngine::setGlobal(const QString& name, const QStringList& subscripts,
                              const QString& value) {
    exec(QStringLiteral("INSERT INTO globals(name,subs,value) VALUES(?,?,?) "
                        "ON CONFLICT(name,subs) DO UPDATE SET value=excluded.value"),
         {name, SubscriptKey(subscripts), value});
}

bool StandinEngine::loadObject(const ClassDef& cls, const QString& id, StoredObject* out) {
    if (cls.table.isEmpty())
        return false;
    QStringList cols;
    for (const QString& p : cls.properties)
        cols << quoteIdent(p);
    const QString sql =
        QStringLiteral("SELECT ") + (cols.isEmpty() ? QStringLiteral("id") : cols.join(u',')) +
        QStringLiteral(" FROM ") + quoteIdent(cls.table) + QStringLiteral(" WHERE id=?");
    QSqlQuery& q = exec(sql, {id});
    if (!q.next()) {
        q.finish();
        return false;
    }
    out->cls = &cls;
    out->id = id;
    out->values.clear();
    for (int i = 0; i < cls.properties.size(); ++i)
        out->values.insert(cls.properties[i], q.value(i).toString());
    q.finish();
    return true;
}

void StandinEngine::saveObject(StoredObject& obj) {
    const ClassDef& cls = *obj.cls;
    if (cls.table.isEmpty())
        return;
    if (obj.id.isEmpty()) {
        if (cls.autoId) {
            obj.id = nextId(cls.name);
        } else if (cls.idOf) {
            obj.id = cls.idOf(obj);
        }
        if (obj.id.isEmpty())
            throw ServerError(StandinErrors::General,
                              QStringLiteral("Objekt ohne Schlüssel: ") + cls.name);
    }
    QStringList cols{QStringLiteral("id")};
    QStringList marks{QStringLiteral("?")};
    QVariantList values{obj.id};
    for (const QString& p : cls.properties) {
        cols << quoteIdent(p);
        marks << QStringLiteral("?");
        values << obj.values.value(p);
    }
    exec(QStringLiteral("INSERT OR REPLACE INTO ") + quoteIdent(cls.table) + u'(' +
             cols.join(u',') + QStringLiteral(") VALUES(") + marks.join(u',') + u')',
         values);
}

QString StandinEngine::nextId(const QString& className) {
    return textValue(QStringLiteral("INSERT INTO idcounter(class,last) VALUES(?,1) "
                                    "ON CONFLICT(class) DO UPDATE SET last=last+1 RETURNING last"),
                     {className});
}

int StandinEngine::newJobNumber() {
    ++m_lastJob;
    setMeta(QStringLiteral("lastjob"), QString::number(m_lastJob));
    return m_lastJob;
}

QString StandinEngine::meta(const QString& key) {
    QSqlQuery& q = exec(QStringLiteral("SELECT value FROM meta WHERE key=?"), {key});
    const QString v = q.next() ? q.value(0).toString() : QString();
    q.finish();
    return v;
}

void StandinEngine::setMeta(const QString& key, const QString& value) {
    exec(QStringLiteral("INSERT OR REPLACE INTO meta(key,value) VALUES(?,?)"), {key, value});
}

StandinTransaction::StandinTransaction(StandinEngine& engine) : m_engine(engine) {
    m_engine.execText(QStringLiteral("SAVEPOINT standin"), {});
}

StandinTransaction::~StandinTransaction() {
    if (!m_open)
        return;
    try {
        m_engine.execText(QStringLiteral("ROLLBACK TO standin"), {});
        m_engine.execText(QStringLiteral("RELEASE standin"), {});
    } catch (...) {
    }
}

void StandinTransaction::commit() {
    // Stays open (and is rolled back) when the release fails.
    m_engine.execText(QStringLiteral("RELEASE standin"), {});
    m_open = false;
}
