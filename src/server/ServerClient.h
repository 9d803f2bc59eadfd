#pragma once

#include "common/ServerError.h"
#include "common/WireProtocol.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

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

// Who a connection logs in as, sent with HELLO. The user code is the one
// the ERP keeps (the user record's id is company "||" user code); an empty
// user code with a password names the one user of the company with that
// password. Credentials that match no active user give a connection that
// the server serves only what the login needs.
struct Credentials {
    QString company;
    QString user;
    QString password;
    bool operator==(const Credentials&) const = default;
};

// The text of the error a call gets when no connection stands.
inline const QString kNoConnectionText = QStringLiteral("Keine Verbindung zum Server");
// The text of the error a call gets when the connection broke under it.
inline const QString kConnectionLostText = QStringLiteral("Verbindung zum Server verloren");

// What the program needs from the ERP server's client library. Every call
// throws ServerError when it fails. Implementations: TcpServerClient (the
// wire protocol) and, for tests, an in-process client over the stand-in's
// dispatcher; both keep requests in flight and leave the skipping of chained
// requests to the server, so a test on one holds for the other.
class ServerClient {
public:
    virtual ~ServerClient() = default;
    ServerClient() = default;
    ServerClient(const ServerClient&) = delete;
    ServerClient& operator=(const ServerClient&) = delete;

    // true when the connection stands afterwards; lastError() tells why not.
    // Every handle made on an earlier connection stops working.
    bool connect(const QString& connectString, const Credentials& credentials = {});
    void disconnect();
    // Logs the open connection in anew with other credentials (a second
    // HELLO; the job stays, the server forgets its open objects and result
    // sets, so every handle made before stops working). false, and the
    // connection closed, when the server refuses it or the connection fails.
    bool renewCredentials(const Credentials& credentials);
    // The credentials of the current connection.
    const Credentials& credentials() const { return m_credentials; }
    // What the server made of them: Wire::kAccessUser, kAccessInactive or
    // kAccessGuest.
    QString access() const { return m_access; }
    virtual bool isConnected() const = 0;

    // Sends a request without waiting for its answer; await() reads it.
    // Answers come in the order of the requests; answers of earlier requests
    // that nobody awaits are dropped. A chained request is skipped by the
    // server when an earlier chained one failed (Wire::Request::chained).
    virtual quint32 post(Wire::Op op, const QStringList& args, bool chained = false) = 0;
    // The answer of a posted request. Throws its ServerError.
    virtual QStringList await(quint32 id) = 0;
    // The same with the texts as they came (result sets read their rows
    // this way without a string per cell).
    virtual Wire::RawTexts awaitRaw(quint32 id) {
        return Wire::RawTexts::fromStringList(await(id));
    }
    // Posts a request whose answer is kept until it is awaited, also when
    // answers of later requests are awaited first (a result set reads its
    // next batch ahead while the caller keeps other requests in flight). It
    // leaves at once.
    virtual quint32 postKept(Wire::Op op, const QStringList& args, bool chained = false) = 0;
    // One request and its answer.
    QStringList call(Wire::Op op, const QStringList& args) { return await(post(op, args)); }

    QString lastError() const { return m_lastError; }
    // The error number of the last failed connect when it says that trying
    // again cannot help (ClientErrors::Certificate), else 0.
    int lastErrorNumber() const { return m_lastErrorNumber; }
    QString jobNumber() const { return m_jobNumber; }

    ServerObject newObject(const QString& className);
    ServerObject openObject(const QString& className, const QString& id);
    ClassHandle classHandle(const QString& className);
    ResultSet resultSet(const QString& className, const QString& queryName);

    // Lives exactly as long as the current connection; handles keep a weak
    // reference, so a handle of an ended connection (or of a client that is
    // gone) fails with "not connected" instead of touching anything.
    std::weak_ptr<const void> connectionToken() const { return m_token; }

protected:
    // Opens the transport and says hello().
    virtual bool openConnection(const QString& connectString) = 0;
    virtual void closeConnection() = 0;
    // HELLO with the credentials; takes the job number and the access.
    // Throws ServerError.
    void hello(const QString& nameSpace, const QString& clientName);

    QString m_lastError;
    int m_lastErrorNumber = 0;
    QString m_jobNumber;

private:
    std::shared_ptr<const void> m_token;
    Credentials m_credentials;
    QString m_access;
    QString m_nameSpace;
    QString m_clientName;
};

// What the three kinds of handle share: the client they were made on and
// the connection they belong to. Move-only.
class ServerHandle {
public:
    // The handle can still reach its server (same connection, still up).
    bool isUsable() const;
    bool isNull() const { return m_client == nullptr; }

protected:
    ServerHandle() = default;
    explicit ServerHandle(ServerClient* client);
    ServerHandle(ServerHandle&& other) noexcept;
    ServerHandle& operator=(ServerHandle&& other) noexcept;
    ~ServerHandle() = default;

    // The client, or ServerError "not connected" when the handle's
    // connection has ended.
    ServerClient& client() const;
    void forget() {
        m_client = nullptr;
        m_token.reset();
    }

private:
    ServerClient* m_client = nullptr;
    std::weak_ptr<const void> m_token;
};

// An object of a server class, new or opened by id. Methods and properties
// are called by name; arguments are passed by reference (the server's
// changes come back into the list). Closes itself (sys_close) when it goes
// out of scope, ignoring errors.
class ServerObject : public ServerHandle {
public:
    ServerObject() = default;
    ServerObject(ServerClient* client, QString className, QString ref)
        : ServerHandle(client), m_className(std::move(className)), m_ref(std::move(ref)) {}
    ServerObject(ServerObject&&) noexcept = default;
    ServerObject& operator=(ServerObject&& other) noexcept;
    ~ServerObject();

    const QString& className() const { return m_className; }

    QString call(const QString& method, QStringList& args);
    QString call(const QString& method, const QStringList& args = {});
    QString get(const QString& property);
    void set(const QString& property, const QString& value);
    void save();  // sys_save
    QString id(); // sys_ID
    // sys_close; the object is null afterwards, also when the close fails.
    void close();

private:
    QString m_className;
    QString m_ref;
};

// Class methods, called without an object. The server keeps nothing for a
// class handle, so there is nothing to close.
class ClassHandle : public ServerHandle {
public:
    ClassHandle() = default;
    ClassHandle(ServerClient* client, QString className)
        : ServerHandle(client), m_className(std::move(className)) {}
    ClassHandle(ClassHandle&&) noexcept = default;
    ClassHandle& operator=(ClassHandle&&) noexcept = default;

    QString call(const QString& method, QStringList& args);
    QString call(const QString& method, const QStringList& args = {});
    // The handle is null afterwards; nothing goes to the server.
    void release() { forget(); }

private:
    QString m_className;
};

// A class query's result set. Rows come from the server in batches; next()
// makes a round trip only when the current batch is used up. Closes its
// cursor on the server when it goes out of scope.
class ResultSet : public ServerHandle {
public:
    ResultSet() = default;
    ResultSet(ServerClient* client, QString className, QString queryName)
        : ServerHandle(client), m_className(std::move(className)), m_query(std::move(queryName)) {}
    ResultSet(ResultSet&&) noexcept = default;
    ResultSet& operator=(ResultSet&& other) noexcept;
    ~ResultSet();

    void execute(const QStringList& args = {});
    bool next();
    // next() would ask the server for the next batch.
    bool nextNeedsServer() const { return !m_ref.isEmpty() && m_more && m_nextRow >= batchRows(); }
    // The request of the batch asked ahead (0: none); next() awaits it.
    quint32 aheadRequest() const { return m_ahead; }
    // Column from 1; "" beyond the row.
    QString getData(int column) const;
    // The same as the UTF-8 that came; valid until the next next().
    QByteArrayView rawData(int column) const;
    int columnCount() const { return m_columns; }
    void close();
    void setBatchSize(int rows) { m_batch = rows; }
    // Asks for the next batch as soon as one arrives, so the server reads it
    // while the caller works through the current one. The request is
    // chained: it takes no part in the chain of a pipeline whose requests
    // surround it. Requests posted before it must be awaited before next()
    // needs the server (their answers would be passed over).
    void setReadAhead(bool on) { m_readAhead = on; }

private:
    void take(Wire::RawTexts values, int from);
    void askAhead(ServerClient& c);
    void closeQuietly() noexcept;
    qsizetype batchRows() const {
        return m_columns > 0 ? (m_cells.size() - m_first) / m_columns : 0;
    }

    QString m_className;
    QString m_query;
    QString m_ref;
    int m_columns = 0;
    int m_batch = Wire::kDefaultBatch;
    bool m_more = false;
    bool m_readAhead = false;
    quint32 m_ahead = 0;    // the posted fetch of the next batch
    Wire::RawTexts m_cells; // the answer holding the current batch, row-major from m_first
    qsizetype m_first = 0;
    qsizetype m_rowStart = -1;
    qsizetype m_nextRow = 0;
};
