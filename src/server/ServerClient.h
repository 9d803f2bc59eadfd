#pragma once

#include "ServerError.h"
#include "WireProtocol.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class ServerObject;
class ClassHandle;
class ResultSet;

// Where a connect string points: "cn_iptcp:HOST[PORT]:NAMESPACE".
struct ConnectTarget {
    QString host;
    quint16 port = 0;
    QString nameSpace;
    static std::optional<ConnectTarget> parse(const QString& connectString);
};

QString BuildConnectString(const QString& server, const QString& port, const QString& nameSpace);

// What the program needs from the ERP server's client library. Every call
// throws ServerError when it fails. Implementations: TcpServerClient (the
// wire protocol) and the stand-in's in-process client for tests.
class ServerClient {
public:
    virtual ~ServerClient() = default;

    // true when the connection stands afterwards; lastError() tells why not.
    virtual bool connect(const QString& connectString) = 0;
    virtual bool isConnected() const = 0;
    virtual void disconnect() = 0;
    // One request; the reply's values. Throws ServerError.
    virtual QStringList call(Wire::Op op, const QStringList& args) = 0;
    // The same for a chained request.
    virtual QStringList callChained(Wire::Op op, const QStringList& args) { return call(op, args); }
    // Sends a request without waiting for its answer; await() reads it.
    // Answers come in the order of the requests. Clients that cannot keep
    // requests in flight run the request at once and keep its answer.
    // A chained request is skipped by the server when an earlier chained
    // one failed (see Wire::Request::chained).
    virtual quint32 post(Wire::Op op, const QStringList& args, bool chained = false);
    // The answer of a posted request. Throws its ServerError.
    virtual QStringList await(quint32 id);

    QString lastError() const { return m_lastError; }
    QString jobNumber() const { return m_jobNumber; }

    ServerObject newObject(const QString& className);
    ServerObject openObject(const QString& className, const QString& id);
    ClassHandle classHandle(const QString& className);
    ResultSet resultSet(const QString& className, const QString& queryName);

protected:
    QString m_lastError;
    QString m_jobNumber;

private:
    struct Kept {
        QStringList values;
        std::optional<ServerError> error;
    };
    QHash<quint32, Kept> m_kept;
    quint32 m_nextKept = 1;
    bool m_chainBroken = false;
};

// An object of a server class, new or opened by id. Methods and properties
// are called by name; arguments are passed by reference (the server's
// changes come back into the list).
class ServerObject {
public:
    ServerObject() = default;
    ServerObject(ServerClient* client, QString className, QString ref)
        : m_client(client), m_className(std::move(className)), m_ref(std::move(ref)) {}

    bool isNull() const { return m_client == nullptr; }
    const QString& className() const { return m_className; }

    QString call(const QString& method, QStringList& args);
    QString call(const QString& method, const QStringList& args = {});
    QString get(const QString& property);
    void set(const QString& property, const QString& value);
    void save();  // sys_save
    QString id(); // sys_ID
    void close(); // sys_close; the object becomes null
    void release() { m_client = nullptr; }

private:
    ServerClient* m_client = nullptr;
    QString m_className;
    QString m_ref;
};

// Class methods, called without an object.
class ClassHandle {
public:
    ClassHandle() = default;
    ClassHandle(ServerClient* client, QString className)
        : m_client(client), m_className(std::move(className)) {}
    QString call(const QString& method, QStringList& args);
    QString call(const QString& method, const QStringList& args = {});
    bool isNull() const { return m_client == nullptr; }
    void release() { m_client = nullptr; }

private:
    ServerClient* m_client = nullptr;
    QString m_className;
};

// A class query's result set. Rows come from the server in batches; next()
// makes a round trip only when the current batch is used up.
class ResultSet {
public:
    ResultSet() = default;
    ResultSet(ServerClient* client, QString className, QString queryName)
        : m_client(client), m_className(std::move(className)), m_query(std::move(queryName)) {}
    ResultSet(ResultSet&&) noexcept = default;
    ResultSet& operator=(ResultSet&&) noexcept = default;
    ~ResultSet();

    void execute(const QStringList& args = {});
    bool next();
    // Column from 1; "" beyond the row.
    QString getData(int column) const;
    int columnCount() const { return m_columns; }
    void close();
    void setBatchSize(int rows) { m_batch = rows; }

private:
    void take(const QStringList& values, int from);

    ServerClient* m_client = nullptr;
    QString m_className;
    QString m_query;
    QString m_ref;
    int m_columns = 0;
    int m_batch = Wire::kDefaultBatch;
    bool m_more = false;
    QStringList m_cells; // current batch, row-major
    qsizetype m_rowStart = -1;
    qsizetype m_nextRow = 0;
};
