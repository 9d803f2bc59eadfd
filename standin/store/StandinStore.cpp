#include "StandinStore.h"

#include "StoreCheckpointer.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"
#include "common/WireProtocol.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringEncoder>
#include <sqlite3.h>
#include <stdexcept>

namespace {

constexpr int kJobBlock = 100;
constexpr int kShortBusyTimeoutMs = 250;

// SQLite's own text of the error, with the start of the statement.
[[noreturn]] void dbFail(const QSqlQuery& q, const QString& sql) {
    const QSqlError e = q.lastError();
    const QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") + text +
                                                   QStringLiteral(" (") + sql.left(80) + u')');
}

} // namespace

bool StandinStore::nextRow(QSqlQuery& q) {
    if (q.next())
        return true;
    // next() is false at the end and when stepping failed; only the latter
    // leaves an error.
    if (q.lastError().isValid())
        dbFail(q, q.lastQuery());
    return false;
}

StandinStore::StandinStore(const QString& databasePath) {
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
        QStringLiteral("PRAGMA busy_timeout=%1").arg(kBusyTimeoutMs),
        QStringLiteral("CREATE TABLE IF NOT EXISTS globals (name TEXT NOT NULL, subs TEXT NOT "
                       "NULL, value TEXT NOT NULL, PRIMARY KEY (name, subs)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS idcounter (class TEXT PRIMARY KEY, last "
                       "INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)"),
    });
    const QVariant handle = m_db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_handle = *static_cast<sqlite3* const*>(handle.constData());
    if (m_handle)
        sqlite3_wal_hook(m_handle, &StandinStore::walHook, this);
    // A second thread needs an SQLite built for threads.
    if (m_handle && sqlite3_threadsafe() != 0 &&
        textValue(QStringLiteral("PRAGMA journal_mode"), {}) == u"wal") {
        m_checkpointer = std::make_unique<Checkpointer>(databasePath);
        if (!m_checkpointer->running())
            m_checkpointer.reset();
    }
    setCheckpointPages(m_checkpointPages);
    const QString last = meta(QStringLiteral("lastjob"));
    m_lastJob = m_reservedJob = last.isEmpty() ? 1000 : last.toInt();
    // No job of an earlier run is still connected.
    execScript({QStringLiteral("DELETE FROM globals WHERE name IN ('%XTT','STAND')")});
}

QStringList StandinStore::QuickCheck(const QString& path, QString* openError) {
    if (!QFileInfo::exists(path))
        return {QStringLiteral("ok")};
    QStringList findings;
    sqlite3* db = nullptr;
    const QByteArray name = path.toUtf8();
    int rc = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* st = nullptr;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr);
    }
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(st);
        // A finding may span lines.
        if (rc == SQLITE_ROW)
            findings << columnText(st, 0).split(u'\n', Qt::SkipEmptyParts);
    }
    // A file that cannot be read as a database at all says so here; one
    // that is locked or may not be opened is no finding of the check.
    if (rc != SQLITE_DONE) {
        const QString text =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_READONLY:
        case SQLITE_AUTH:
        case SQLITE_NOMEM:
            if (openError)
                *openError = text;
            break;
        default:
            findings << text;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return findings;
}

StandinStore::~StandinStore() {
    // Its thread stops before the statements and the connection go, and its
    // connection closes first: the last one to close removes the WAL.
    m_checkpointer.reset();
    for (sqlite3_stmt* st : std::as_const(m_raw))
        sqlite3_finalize(st);
    m_raw.clear();
    m_bound.clear();
    m_literalStatements.clear();
    m_statements.clear();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlQuery& StandinStore::prepared(const QString& sql) {
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

QSqlQuery& StandinStore::exec(const QString& sql, const QVariantList& values) {
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

sqlite3_stmt* StandinStore::raw(const QString& sql, const QStringList& values, bool lasting) {
    if (!m_handle)
        throw ServerError(StandinErrors::Database, QStringLiteral("Datenbank nicht geöffnet"));
    // Literals and lasting texts are found by the address of their text,
    // without hashing it.
    const bool literal = lasting || !sql.data_ptr().isMutable();
    sqlite3_stmt* st = nullptr;
    if (literal)
        st = m_rawByAddress.value(sql.constData());
    if (!st) {
        auto it = m_raw.constFind(sql);
        st = it == m_raw.constEnd() ? nullptr : *it;
        if (st && literal)
            m_rawByAddress.insert(sql.constData(), st);
    }
    if (!st) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(m_handle, text.constData(), int(text.size()),
                               SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
            throw ServerError(StandinErrors::Database,
                              QStringLiteral("Datenbankfehler: ") +
                                  QString::fromUtf8(sqlite3_errmsg(m_handle)));
        m_raw.insert(sql, st);
        if (literal)
            m_rawByAddress.insert(sql.constData(), st);
    }
    sqlite3_reset(st);
    bindTexts(st, values);
    return st;
}

void StandinStore::bindTexts(sqlite3_stmt* st, const QStringList& values) {
    // The values go in as UTF-8, the database's own encoding, converted here
    // in one go into the statement's buffer: bound as UTF-16 each would be
    // translated and copied by SQLite on every step. The buffer stays until
    // the statement is bound again, so nothing is copied.
    // A parameter left unbound must not point into a buffer that moved.
    if (values.size() < sqlite3_bind_parameter_count(st))
        sqlite3_clear_bindings(st);
    QByteArray& buffer = m_bound[st];
    qsizetype need = 1;
    for (const QString& v : values)
        need += v.size() * 3;
    // It grows as needed; one that a single big value made large is let go
    // again.
    if (buffer.size() < need || buffer.size() > qMax<qsizetype>(64 * 1024, need * 4))
        buffer = QByteArray(need, Qt::Uninitialized);
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    char* const start = buffer.data();
    char* at = start;
    for (int i = 0; i < values.size(); ++i) {
        // A null text is stored as an empty one: the server knows only texts.
        char* const end = utf8.appendToBuffer(at, values[i]);
        sqlite3_bind_text(st, i + 1, at, int(end - at), SQLITE_STATIC);
        at = end;
    }
}

QString StandinStore::columnText(sqlite3_stmt* st, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? FromUtf8(QByteArrayView(text, sqlite3_column_bytes(st, column))) : QString();
}

void StandinStore::execStatic(const QString& sql, const QStringList& values) {
    step(raw(sql, values, true));
}

void StandinStore::step(sqlite3_stmt* st) {
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") +
                                                       QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

QString StandinStore::textValue(const QString& sql, const QStringList& values) {
    sqlite3_stmt* st = raw(sql, values);
    const int rc = sqlite3_step(st);
    QString v;
    if (rc == SQLITE_ROW)
        v = columnText(st, 0);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") +
                                                       QString::fromUtf8(sqlite3_errmsg(m_handle)));
    return v;
}

void StandinStore::execText(const QString& sql, const QStringList& values) {
    step(raw(sql, values));
}

void StandinStore::execScript(const QStringList& statements) {
    for (const QString& sql : statements) {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            throw std::runtime_error((sql + ": " + q.lastError().text()).toStdString());
    }
}

std::optional<QString> StandinStore::getGlobal(const QString& name, const QStringList& subscripts) {
    // "v" before the value tells a defined empty node from a missing one.
    const QString v =
        textValue(QStringLiteral("SELECT 'v'||value FROM globals WHERE name=? AND subs=?"),
                  {name, SubscriptKey(subscripts)});
    if (v.isEmpty())
        return std::nullopt;
    return TextFromStored(v.sliced(1));
}

void StandinStore::setGlobal(const QString& name, const QStringList& subscripts,
                             const QString& value) {
    execText(QStringLiteral("INSERT INTO globals(name,subs,value) VALUES(?,?,?) "
                            "ON CONFLICT(name,subs) DO UPDATE SET value=excluded.value"),
             {name, SubscriptKey(subscripts), StoredText(value)});
}

int StandinStore::dataGlobal(const QString& name, const QStringList& subscripts) {
    const QString key = SubscriptKey(subscripts);
    const bool value = textValue(QStringLiteral("SELECT 1 FROM globals WHERE name=? AND subs=?"),
                                 {name, key}) == u"1";
    // The descendants' keys start with the node's key and the separator
    // (any longer key for the unsubscripted node).
    const bool children =
        subscripts.isEmpty()
            ? textValue(QStringLiteral("SELECT 1 FROM globals WHERE name=? AND subs>'' LIMIT 1"),
                        {name}) == u"1"
            : textValue(QStringLiteral(
                            "SELECT 1 FROM globals WHERE name=? AND subs>? AND subs<? LIMIT 1"),
                        {name, key + kSubscriptSeparator, key + QChar(kSubscriptSeparator + 1)}) ==
                  u"1";
    return (children ? 10 : 0) + (value ? 1 : 0);
}

namespace {

// Waits at most a moment (or not at all) for a lock another program holds,
// for the writes that connecting and disconnecting make: they must not stop
// the server for the whole busy time-out.
class ShortWait {
public:
    ShortWait(sqlite3* handle, int ms) : m_handle(handle) {
        if (m_handle)
            sqlite3_busy_timeout(m_handle, ms);
    }
    ~ShortWait() {
        if (m_handle)
            sqlite3_busy_timeout(m_handle, kBusyTimeoutMs);
    }
    ShortWait(const ShortWait&) = delete;
    ShortWait& operator=(const ShortWait&) = delete;

private:
    sqlite3* m_handle;
};

} // namespace

int StandinStore::newJobNumber() {
    if (m_lastJob >= m_reservedJob) {
        const ShortWait wait(m_handle, kShortBusyTimeoutMs);
        const int reserved = m_lastJob + kJobBlock;
        execText(QStringLiteral("INSERT OR REPLACE INTO meta(key,value) VALUES('lastjob',?)"),
                 {QString::number(reserved)});
        m_reservedJob = reserved;
    }
    return ++m_lastJob;
}

void StandinStore::endJob(int number) noexcept {
    m_endedJobs.append(number);
    try {
        const ShortWait wait(m_handle, 0);
        while (!m_endedJobs.isEmpty()) {
            const QString key = SubscriptKey({QString::number(m_endedJobs.constLast())});
            execText(QStringLiteral("DELETE FROM globals WHERE name IN ('%XTT','STAND') AND "
                                    "(subs=? OR (subs>? AND subs<?))"),
                     {key, key + kSubscriptSeparator, key + QChar(kSubscriptSeparator + 1)});
            m_endedJobs.removeLast();
        }
    } catch (const std::exception&) {
        // Kept for the next attempt; a new server start removes them all.
    }
}

void StandinStore::forgetReservations() {
    m_idBlocks.clear();
    // The block of job numbers may have been reserved in what is rolled
    // back: the next job reserves anew, beyond every number handed out.
    m_reservedJob = m_lastJob;
}

bool StandinStore::inTransaction() const {
    return m_handle && sqlite3_get_autocommit(m_handle) == 0;
}

void StandinStore::abandonTransaction() noexcept {
    if (m_depth > 0 || !inTransaction())
        return;
    forgetReservations();
    sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

QString StandinStore::meta(const QString& key) {
    QSqlQuery& q = exec(QStringLiteral("SELECT value FROM meta WHERE key=?"), {key});
    const QString v = nextRow(q) ? q.value(0).toString() : QString();
    q.finish();
    return v;
}

void StandinStore::setMeta(const QString& key, const QString& value) {
    exec(QStringLiteral("INSERT OR REPLACE INTO meta(key,value) VALUES(?,?)"), {key, value});
}

StandinTransaction::StandinTransaction(StandinStore& store) : m_store(store) {
    m_store.execText(QStringLiteral("SAVEPOINT standin"), {});
    ++m_store.m_depth;
}

StandinTransaction::~StandinTransaction() {
    if (!m_open)
        return;
    --m_store.m_depth;
    m_store.forgetReservations();
    try {
        m_store.execText(QStringLiteral("ROLLBACK TO standin"), {});
        m_store.execText(QStringLiteral("RELEASE standin"), {});
    } catch (...) {
    }
}

void StandinTransaction::commit() {
    // Stays open (and is rolled back) when the release fails.
    m_store.execText(QStringLiteral("RELEASE standin"), {});
    m_open = false;
    --m_store.m_depth;
    m_store.checkpointIfDue();
}
