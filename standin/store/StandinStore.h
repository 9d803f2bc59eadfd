#pragma once

#include "StoreKeys.h"
#include "common/ServerError.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

struct ClassDef;
struct StoredObject;

// Error numbers the stand-in answers with.
namespace StandinErrors {
constexpr int General = 5001;
constexpr int MError = 5002; // an M error: "<SYNTAX> ..."
constexpr int BadObjectRef = 5003;
constexpr int BadResultRef = 5004;
constexpr int BadArguments = 5005;
constexpr int Database = ServerErrors::Database;
constexpr int BadRequest = 5010;
constexpr int NotLoggedIn = 5012;  // a request before HELLO, or after a refused one
constexpr int NotPermitted = 5013; // not served without credentials of an active user
constexpr int NotAllowed = 5014;   // not the login's company or user, or not writable over the wire
constexpr int ClassMissing = 5351;
constexpr int ObjectMissing = ServerErrors::ObjectMissing;
constexpr int MethodMissing = 6022;
constexpr int PropertyMissing = 6023;
constexpr int QueryMissing = 6024;
} // namespace StandinErrors

// How the store keeps the objects of a class: a class with a table keeps
// them in SQLite, one column per property plus the id. autoId classes number
// new objects 1, 2, ... (taken idBlock at a time, see nextId); the others
// make the id from the object's values.
struct StoredClass {
    QString name;
    QString table;
    QStringList properties;
    bool autoId = true;
    qint64 idBlock = 1;
    // Makes the id of a new object of a class without autoId from its values.
    std::function<QString(const StoredObject&)> idOf;
    // Runs before an object is stored, whoever stores it.
    std::function<void(StoredObject&)> beforeSave;
};

// An object of a stored class as a job holds it between open and close.
struct StoredObject {
    const ClassDef* cls = nullptr; // a StoredClass with its calls (StandinRegistry.h)
    QString id;                    // empty until first saved
    QHash<QString, QString> values;
    // The properties a job has set since it opened or last saved it.
    QSet<QString> changed;
};

// The server's storage: the SQLite file, its statements, nesting
// transactions, the WAL checkpoints, ids, job numbers, globals, meta values
// and stored objects. It knows no class but by its StoredClass. Every
// connection's requests run on the thread that owns it; only the WAL
// checkpointer has a thread (and an SQLite connection) of its own.
class StandinStore {
public:
    // Opens (creates when missing) the SQLite file. Throws std::runtime_error
    // when it cannot be opened.
    explicit StandinStore(const QString& databasePath);
    ~StandinStore();
    StandinStore(const StandinStore&) = delete;
    StandinStore& operator=(const StandinStore&) = delete;

    // SQLite's quick check of the file at path, before the server opens it:
    // {"ok"} when it is sound, else the lines of its findings (and the error
    // that stopped the check, if one did). A file that is not there yet has
    // nothing to check. A file that is locked or may not be opened is not
    // checked: no findings, and *openError (when given) says why.
    static QStringList QuickCheck(const QString& path, QString* openError = nullptr);

    QSqlDatabase& db() { return m_db; }
    // WAL pages after which the checkpointer copies the WAL into the
    // database (see checkpointIfDue).
    void setCheckpointPages(int pages);

    // A prepared statement, prepared once per engine. Throws ServerError.
    QSqlQuery& prepared(const QString& sql);
    // Runs a prepared statement with its values bound in order. Throws.
    QSqlQuery& exec(const QString& sql, const QVariantList& values = {});
    void execScript(const QStringList& statements);
    // The next row of an executed statement: false at the end, ServerError
    // (Database) when reading the row failed.
    static bool nextRow(QSqlQuery& q);
    // A column of the current row of a statement of SQLite's own handle.
    static QString columnText(struct sqlite3_stmt* st, int column);

    // The fast path for the hot statements (a position per call): text
    // values only, run on the database's own handle without the per-value
    // cost of QtSql's binding. textValue gives column 1 of the first row ("",
    // when there is none); execText runs a statement. Throw ServerError.
    QString textValue(const QString& sql, const QStringList& values);
    void execText(const QString& sql, const QStringList& values);

    // Creates the table of a class unless it is there.
    void createTable(const StoredClass& cls);

    // Globals: name without caret, subscripts as texts.
    std::optional<QString> getGlobal(const QString& name, const QStringList& subscripts);
    void setGlobal(const QString& name, const QStringList& subscripts, const QString& value);
    // $DATA: 0, 1, 10 or 11.
    int dataGlobal(const QString& name, const QStringList& subscripts);

    // Stored objects.
    bool loadObject(const ClassDef& cls, const QString& id, StoredObject* out);
    void saveObject(StoredObject& obj);

    // The next id of an autoId class (1, 2, ...). A class with an idBlock
    // above 1 takes its ids from blocks of that many, so that it seldom
    // writes the counter (staging positions arrive by the hundred
    // thousand); a block another server reserved on the same database is
    // never used, and after a restart a block's unused ids stay unused.
    QString nextId(const StoredClass& cls);
    // Execs a statement whose text lives as long as the engine (a literal
    // or a function static): it is found by its address.
    void execStatic(const QString& sql, const QStringList& values);
    // A job number not used before in this database. Numbers are reserved
    // in blocks, so that a new connection seldom writes to the database.
    // Throws ServerError when a block cannot be reserved.
    int newJobNumber();
    // Forgets what a job left behind: its session entry ^%XTT($J) and its
    // location ^STAND($J), with what lies below them. Never
    // throws; an entry that cannot be removed now (a locked database) is
    // removed with the next job that ends, or when the server starts.
    void endJob(int number) noexcept;
    QString meta(const QString& key);
    void setMeta(const QString& key, const QString& value);

    // Checkpoints and truncates the WAL when it has grown to twice the limit
    // (to the limit when there is no checkpointer); runs after every
    // outermost commit, unless held. Never waits for other programs, nor for
    // a background checkpoint that is running: it tries again after the
    // next commit.
    void checkpointIfDue() noexcept;
    // While held, commits leave the checkpoint to whoever holds it: the
    // server answers a batch first, then checkpoints.
    void holdCheckpoints(bool hold) { m_checkpointsHeld = hold; }

    // Whether a transaction is open on the database. SQLite rolls a whole
    // transaction back by itself after some failures (a full disk, an I/O
    // error): then this is false while StandinTransactions are still open.
    bool inTransaction() const;
    // StandinTransactions open now.
    int transactionDepth() const { return m_depth; }
    // Rolls back whatever transaction is still open once no StandinTransaction
    // is (after a failed commit); never throws.
    void abandonTransaction() noexcept;

private:
    friend class StandinTransaction;
    // After a rollback: the blocks of ids and job numbers reserved in it
    // are not used further.
    void forgetReservations();
    static int walHook(void* engine, struct sqlite3*, const char*, int pages);

    QSqlDatabase m_db;
    QString m_connectionName;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_statements;
    QHash<const QChar*, std::shared_ptr<QSqlQuery>> m_literalStatements;
    struct sqlite3* m_handle = nullptr;
    QHash<QString, struct sqlite3_stmt*> m_raw;
    // The same statements by the address of their text, for texts that live
    // as long as the engine (literals and function statics).
    QHash<const QChar*, struct sqlite3_stmt*> m_rawByAddress;
    // Ids of autoId classes handed out from blocks reserved in idcounter:
    // the next id and the last one reserved. Forgotten whenever a unit of
    // work is rolled back (the reservation may be rolled back with it).
    struct IdBlock {
        qint64 next = 0;
        qint64 last = -1;
    };
    QHash<QString, IdBlock> m_idBlocks;
    // The statements that load and save the objects of a table.
    QHash<QString, QString> m_loadSql;
    QHash<QString, QString> m_saveSql;
    // The prepared statement of sql with values bound; found by the address
    // of the text when `lasting` (it lives as long as the engine) or a
    // literal.
    struct sqlite3_stmt* raw(const QString& sql, const QStringList& values, bool lasting = false);
    void bindTexts(struct sqlite3_stmt* st, const QStringList& values);
    // Each statement's bound values, in UTF-8.
    QHash<struct sqlite3_stmt*, QByteArray> m_bound;
    // Steps a statement that returns no rows of interest, then resets it.
    void step(struct sqlite3_stmt* st);
    int m_lastJob = 0;
    int m_reservedJob = 0;
    QList<int> m_endedJobs; // whose session entries are still to be removed
    int m_checkpointPages = 4000;
    int m_depth = 0; // open StandinTransactions
    bool m_checkpointDue = false;
    bool m_checkpointsHeld = false;
    // Copies the WAL into the database on a connection and thread of its
    // own while this one goes on writing; none for a database without WAL.
    class Checkpointer;
    std::unique_ptr<Checkpointer> m_checkpointer;
};

// A unit of work on the database that nests: the outermost one is a
// transaction, inner ones are savepoints. Rolled back unless committed.
class StandinTransaction {
public:
    explicit StandinTransaction(StandinStore& store);
    ~StandinTransaction();
    void commit();
    StandinTransaction(const StandinTransaction&) = delete;
    StandinTransaction& operator=(const StandinTransaction&) = delete;

private:
    StandinStore& m_store;
    bool m_open = true;
};
