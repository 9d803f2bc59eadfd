#pragma once

#include "StandinStore.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// What a class's calls run with: the server's engine (its store, registry
// and limits) and the job of the connection that called. Both belong to the
// server built on the registry; the registry only keeps the calls.
class StandinEngine;
class Job;
struct CallContext {
    StandinEngine& engine;
    Job& job;
};

// Rows of a class query, handed out in batches.
class QueryCursor {
public:
    virtual ~QueryCursor() = default;
    virtual int columns() const = 0;
    // Appends the cells of up to `rows` further rows to out, stopping early
    // once they hold more than about maxBytes; returns whether more rows may
    // follow.
    virtual bool fill(int rows, qsizetype maxBytes, QStringList& out) = 0;
    // The same with the cells appended to out as a frame carries them
    // (Wire::appendText) and counted in cells. A cursor that reads UTF-8
    // from the database passes it on without a string per cell.
    virtual bool fillEncoded(int rows, qsizetype maxBytes, QByteArray& out, quint32& cells);
};

// A query whose rows are all known at once.
class ListCursor : public QueryCursor {
public:
    ListCursor(int columns, QList<QStringList> rows)
        : m_columns(columns), m_rows(std::move(rows)) {}
    int columns() const override { return m_columns; }
    bool fill(int rows, qsizetype maxBytes, QStringList& out) override;

private:
    int m_columns;
    QList<QStringList> m_rows;
    qsizetype m_at = 0;
};

// A query over SQL (ending in its ORDER BY). Every batch runs the statement
// anew from where the last one stopped and finishes it before it answers,
// so no statement stays open between requests: an open result set holds no
// rows and no read snapshot that would keep the WAL from being checkpointed.
class SqlCursor : public QueryCursor {
public:
    SqlCursor(StandinStore& store, const QString& sql, QVariantList values, int columns);
    int columns() const override { return m_columns; }
    bool fill(int rows, qsizetype maxBytes, QStringList& out) override;

private:
    StandinStore& m_store;
    QString m_sql;
    QVariantList m_values;
    int m_columns;
    qint64 m_offset = 0;
};

using ClassMethodFn = std::function<QString(CallContext&, QStringList& args)>;
using MethodFn = std::function<QString(CallContext&, StoredObject&, QStringList& args)>;
using QueryFn = std::function<std::unique_ptr<QueryCursor>(CallContext&, const QStringList& args)>;
using RoutineFn = std::function<void(CallContext&, const QStringList& args, QString& output)>;

// One server class: how the store keeps its objects, and what a client may
// call on it.
struct ClassDef : StoredClass {
    QHash<QString, ClassMethodFn> classMethods;
    // Class methods that only read: they run without a savepoint of their
    // own (the flag calls of a grid load come by the hundred thousand).
    QSet<QString> readOnlyClassMethods;
    QHash<QString, MethodFn> methods;
    QHash<QString, QueryFn> queries;
    // The columns of each query, in the order its rows carry them.
    QHash<QString, QStringList> queryColumns;
    void addQuery(const QString& query, const QStringList& columns, QueryFn fn) {
        queries.insert(query, std::move(fn));
        queryColumns.insert(query, columns);
    }
    // What an active user may write over the wire (Rights.h): new objects,
    // and which properties on a new and on an opened object; "sys_save"
    // where a SET is allowed. Nothing for a class that is read only.
    struct Writes {
        bool create = false;
        QStringList whenNew;
        QStringList whenOpened;
    } writes;
    // The company an object belongs to, for classes that do not keep it in
    // a property "FIRMA" or "Firma" (Rights.h, CompanyOf).
    std::function<QString(StandinEngine&, const StoredObject&)> companyOf;
    // Runs before an object of the class is saved over the wire, after the
    // rights, with the engine (what the ERP works out itself from what was
    // set).
    std::function<void(StandinEngine&, StoredObject&)> beforeWireSave;
};

// The classes, their queries and methods, and the M routines a server
// serves; the tables of the classes live in its store.
class StandinRegistry {
public:
    explicit StandinRegistry(StandinStore& store) : m_store(store) {}
    StandinRegistry(const StandinRegistry&) = delete;
    StandinRegistry& operator=(const StandinRegistry&) = delete;

    // Defines (or defines anew) a class; one with a table gets it in the
    // store unless it is there.
    ClassDef& defineClass(const QString& name, const QString& table = QString(),
                          const QStringList& properties = {}, bool autoId = true);
    const ClassDef* findClass(const QString& name) const;
    // A class to extend with further methods and queries.
    ClassDef& extendClass(const QString& name);
    void defineRoutine(const QString& label, const QString& routine, RoutineFn fn);
    const RoutineFn* findRoutine(const QString& label, const QString& routine) const;

    // Where the classes keep their objects (and a registration its indexes).
    StandinStore& store() { return m_store; }

private:
    StandinStore& m_store;
    QHash<QString, std::shared_ptr<ClassDef>> m_classes;
    QHash<QString, RoutineFn> m_routines;
};
