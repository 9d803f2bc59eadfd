#include "ServerClient.h"

#include <QRegularExpression>

std::optional<ConnectTarget> ConnectTarget::parse(const QString& connectString) {
    static const QRegularExpression re(QStringLiteral("^cn_iptcp:([^\\[\\]]*)\\[(\\d+)\\]:(.+)$"));
    const auto m = re.match(connectString);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const uint port = m.captured(2).toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || m.captured(1).trimmed().isEmpty())
        return std::nullopt;
    return ConnectTarget{m.captured(1).trimmed(), quint16(port), m.captured(3)};
}

QString BuildConnectString(const QString& server, const QString& port, const QString& nameSpace) {
    return QStringLiteral("cn_iptcp:") + server + u'[' + port + QStringLiteral("]:") + nameSpace;
}

bool ServerClient::connect(const QString& connectString, const Credentials& credentials) {
    m_token.reset();
    m_lastErrorNumber = 0;
    m_credentials = credentials;
    m_access.clear();
    if (!openConnection(connectString))
        return false;
    m_token = std::make_shared<char>(0);
    return true;
}

void ServerClient::hello(const QString& nameSpace, const QString& clientName) {
    m_nameSpace = nameSpace;
    m_clientName = clientName;
    const QStringList r =
        call(Wire::Op::Hello, {Wire::kMagic, nameSpace, clientName, m_credentials.company,
                               m_credentials.user, m_credentials.password});
    m_jobNumber = r.value(1);
    m_access = r.value(2);
}

bool ServerClient::renewCredentials(const Credentials& credentials) {
    if (!isConnected())
        return false;
    // The server forgets what was opened before: so do the handles.
    m_token.reset();
    m_credentials = credentials;
    try {
        hello(m_nameSpace, m_clientName);
    } catch (const ServerError& e) {
        m_lastError = e.description();
        closeConnection();
        return false;
    }
    m_token = std::make_shared<char>(0);
    return true;
}

void ServerClient::disconnect() {
    m_token.reset();
    closeConnection();
}

ServerObject ServerClient::newObject(const QString& className) {
    const QStringList r = call(Wire::Op::New, {className});
    return ServerObject(this, className, r.value(0));
}

ServerObject ServerClient::openObject(const QString& className, const QString& id) {
    const QStringList r = call(Wire::Op::Open, {className, id});
    return ServerObject(this, className, r.value(0));
}

ClassHandle ServerClient::classHandle(const QString& className) {
    return ClassHandle(this, className);
}

ResultSet ServerClient::resultSet(const QString& className, const QString& queryName) {
    return ResultSet(this, className, queryName);
}

ServerHandle::ServerHandle(ServerClient* client)
    : m_client(client), m_token(client ? client->connectionToken() : std::weak_ptr<const void>()) {}

ServerHandle::ServerHandle(ServerHandle&& other) noexcept
    : m_client(std::exchange(other.m_client, nullptr)), m_token(std::move(other.m_token)) {
    other.m_token.reset();
}

ServerHandle& ServerHandle::operator=(ServerHandle&& other) noexcept {
    if (this != &other) {
        m_client = std::exchange(other.m_client, nullptr);
        m_token = std::move(other.m_token);
        other.m_token.reset();
    }
    return *this;
}

bool ServerHandle::isUsable() const {
    // An expired token means the connection ended, and maybe the client with
    // it: the pointer is not looked at then.
    return m_client && !m_token.expired() && m_client->isConnected();
}

ServerClient& ServerHandle::client() const {
    if (!m_client)
        throw ServerError(ClientErrors::NotConnected, QStringLiteral("Ungültige Objektreferenz"));
    if (!isUsable())
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    return *m_client;
}

namespace {

QString callByRef(ServerClient& client, Wire::Op op, const QString& target, const QString& method,
                  QStringList& args) {
    QStringList request;
    request.reserve(args.size() + 2);
    request << target << method << args;
    const QStringList r = client.call(op, request);
    if (r.isEmpty())
        throw ServerError(ClientErrors::ProtocolError, QStringLiteral("Leere Antwort des Servers"));
    for (qsizetype i = 0; i < args.size() && i + 1 < r.size(); ++i)
        args[i] = r[i + 1];
    return r[0];
}

} // namespace

ServerObject& ServerObject::operator=(ServerObject&& other) noexcept {
    if (this != &other) {
        try {
            close();
        } catch (...) {
        }
        ServerHandle::operator=(std::move(other));
        m_className = std::move(other.m_className);
        m_ref = std::move(other.m_ref);
    }
    return *this;
}

ServerObject::~ServerObject() {
    try {
        close();
    } catch (...) {
    }
}

QString ServerObject::call(const QString& method, QStringList& args) {
    return callByRef(client(), Wire::Op::Method, m_ref, method, args);
}

QString ServerObject::call(const QString& method, const QStringList& args) {
    QStringList copy = args;
    return call(method, copy);
}

QString ServerObject::get(const QString& property) {
    return client().call(Wire::Op::Get, {m_ref, property}).value(0);
}

void ServerObject::set(const QString& property, const QString& value) {
    client().call(Wire::Op::Set, {m_ref, property, value});
}

void ServerObject::save() {
    call(QStringLiteral("sys_save"));
}

QString ServerObject::id() {
    return call(QStringLiteral("sys_ID"));
}

void ServerObject::close() {
    if (isNull())
        return;
    const bool usable = isUsable();
    ServerClient* c = usable ? &client() : nullptr;
    forget();
    // An object of an ended connection is gone on the server already.
    if (c) {
        QStringList none;
        callByRef(*c, Wire::Op::Method, m_ref, QStringLiteral("sys_close"), none);
    }
}

QString ClassHandle::call(const QString& method, QStringList& args) {
    return callByRef(client(), Wire::Op::ClassMethod, m_className, method, args);
}

QString ClassHandle::call(const QString& method, const QStringList& args) {
    QStringList copy = args;
    return call(method, copy);
}

ResultSet& ResultSet::operator=(ResultSet&& other) noexcept {
    if (this != &other) {
        closeQuietly();
        ServerHandle::operator=(std::move(other));
        m_className = std::move(other.m_className);
        m_query = std::move(other.m_query);
        m_ref = std::exchange(other.m_ref, QString());
        m_columns = other.m_columns;
        m_batch = other.m_batch;
        m_more = other.m_more;
        m_readAhead = other.m_readAhead;
        m_ahead = std::exchange(other.m_ahead, 0);
        m_cells = std::move(other.m_cells);
        m_first = other.m_first;
        m_rowStart = other.m_rowStart;
        m_nextRow = other.m_nextRow;
    }
    return *this;
}

ResultSet::~ResultSet() {
    closeQuietly();
}

void ResultSet::closeQuietly() noexcept {
    try {
        close();
    } catch (...) {
    }
}

void ResultSet::execute(const QStringList& args) {
    ServerClient& c = client();
    if (!m_ref.isEmpty())
        close();
    QStringList request;
    request << m_className << m_query << QString::number(m_batch) << args;
    Wire::RawTexts r = c.awaitRaw(c.post(Wire::Op::Query, request));
    if (r.size() < 3)
        throw ServerError(ClientErrors::ProtocolError,
                          QStringLiteral("Ungültige Antwort auf Abfrage"));
    m_ref = r.text(0);
    m_columns = r.text(1).toInt();
    take(std::move(r), 2);
    askAhead(c);
}

void ResultSet::take(Wire::RawTexts values, int from) {
    m_more = values.view(from) == "1";
    // The answer is kept as it came: the cells start after the flag.
    m_cells = std::move(values);
    m_first = qMin<qsizetype>(from + 1, m_cells.size());
    const qsizetype cells = m_cells.size() - m_first;
    if (m_columns <= 0 ? cells != 0 : cells % m_columns != 0) {
        m_cells = {};
        m_first = 0;
        m_more = false;
        throw ServerError(ClientErrors::ProtocolError,
                          QStringLiteral("Unvollständige Zeilen in der Antwort auf ") +
                              m_className + u':' + m_query);
    }
    m_rowStart = -1;
    m_nextRow = 0;
}

bool ResultSet::next() {
    if (m_ref.isEmpty())
        return false;
    if (m_nextRow >= batchRows()) {
        if (!m_more)
            return false;
        // client() fails with "not connected" when the connection under the
        // result set was renewed since execute().
        ServerClient& c = client();
        const quint32 id = std::exchange(m_ahead, 0);
        take(c.awaitRaw(id ? id : c.post(Wire::Op::Fetch, {m_ref, QString::number(m_batch)})), 0);
        askAhead(c);
        if (batchRows() == 0)
            return false;
    }
    m_rowStart = m_first + m_nextRow * m_columns;
    ++m_nextRow;
    return true;
}

void ResultSet::askAhead(ServerClient& c) {
    if (m_readAhead && m_more && !m_ref.isEmpty())
        m_ahead = c.postKept(Wire::Op::Fetch, {m_ref, QString::number(m_batch)}, true);
}

QString ResultSet::getData(int column) const {
    if (m_rowStart < 0 || column < 1 || column > m_columns)
        return QString();
    return m_cells.text(m_rowStart + column - 1);
}

QByteArrayView ResultSet::rawData(int column) const {
    if (m_rowStart < 0 || column < 1 || column > m_columns)
        return {};
    return m_cells.view(m_rowStart + column - 1);
}

void ResultSet::close() {
    const QString ref = std::exchange(m_ref, QString());
    const quint32 ahead = std::exchange(m_ahead, 0);
    m_cells = {};
    m_first = 0;
    m_more = false;
    m_rowStart = -1;
    if (!ref.isEmpty() && isUsable()) {
        // The batch asked ahead is read and dropped.
        if (ahead) {
            try {
                client().awaitRaw(ahead);
            } catch (const ServerError&) {
            }
        }
        client().call(Wire::Op::QueryClose, {ref});
    }
}
