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

quint32 ServerClient::post(Wire::Op op, const QStringList& args, bool chained) {
    const quint32 id = m_nextKept++;
    Kept kept;
    if (!chained)
        m_chainBroken = false;
    if (chained && m_chainBroken) {
        kept.error =
            ServerError(Wire::kSkippedError, QStringLiteral("Übersprungen nach einem Fehler"));
    } else {
        try {
            kept.values = chained ? callChained(op, args) : call(op, args);
        } catch (const ServerError& e) {
            kept.error = e;
            m_chainBroken = m_chainBroken || chained;
        }
    }
    m_kept.insert(id, std::move(kept));
    return id;
}

QStringList ServerClient::await(quint32 id) {
    auto it = m_kept.find(id);
    if (it == m_kept.end())
        throw ServerError(ClientErrors::ProtocolError,
                          QStringLiteral("Keine offene Anfrage ") + QString::number(id));
    Kept kept = std::move(*it);
    m_kept.erase(it);
    if (kept.error)
        throw *kept.error;
    return kept.values;
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

namespace {

void requireClient(const ServerClient* c) {
    if (!c)
        throw ServerError(ClientErrors::NotConnected, QStringLiteral("Ungültige Objektreferenz"));
}

QString callByRef(ServerClient* client, Wire::Op op, const QString& target, const QString& method,
                  QStringList& args) {
    requireClient(client);
    QStringList request;
    request.reserve(args.size() + 2);
    request << target << method << args;
    const QStringList r = client->call(op, request);
    if (r.isEmpty())
        throw ServerError(ClientErrors::ProtocolError, QStringLiteral("Leere Antwort des Servers"));
    for (qsizetype i = 0; i < args.size() && i + 1 < r.size(); ++i)
        args[i] = r[i + 1];
    return r[0];
}

} // namespace

QString ServerObject::call(const QString& method, QStringList& args) {
    return callByRef(m_client, Wire::Op::Method, m_ref, method, args);
}

QString ServerObject::call(const QString& method, const QStringList& args) {
    QStringList copy = args;
    return call(method, copy);
}

QString ServerObject::get(const QString& property) {
    requireClient(m_client);
    return m_client->call(Wire::Op::Get, {m_ref, property}).value(0);
}

void ServerObject::set(const QString& property, const QString& value) {
    requireClient(m_client);
    m_client->call(Wire::Op::Set, {m_ref, property, value});
}

void ServerObject::save() {
    call(QStringLiteral("sys_save"));
}

QString ServerObject::id() {
    return call(QStringLiteral("sys_ID"));
}

void ServerObject::close() {
    ServerClient* c = m_client;
    m_client = nullptr;
    QStringList none;
    if (c)
        callByRef(c, Wire::Op::Method, m_ref, QStringLiteral("sys_close"), none);
}

QString ClassHandle::call(const QString& method, QStringList& args) {
    return callByRef(m_client, Wire::Op::ClassMethod, m_className, method, args);
}

QString ClassHandle::call(const QString& method, const QStringList& args) {
    QStringList copy = args;
    return call(method, copy);
}

ResultSet::~ResultSet() {
    try {
        close();
    } catch (...) {
    }
}

void ResultSet::execute(const QStringList& args) {
    requireClient(m_client);
    if (!m_ref.isEmpty())
        close();
    QStringList request;
    request << m_className << m_query << QString::number(m_batch) << args;
    const QStringList r = m_client->call(Wire::Op::Query, request);
    if (r.size() < 3)
        throw ServerError(ClientErrors::ProtocolError,
                          QStringLiteral("Ungültige Antwort auf Abfrage"));
    m_ref = r[0];
    m_columns = r[1].toInt();
    take(r, 2);
}

void ResultSet::take(const QStringList& values, int from) {
    m_more = values.value(from) == u"1";
    m_cells = values.mid(from + 1);
    if (m_columns <= 0 ? !m_cells.isEmpty() : m_cells.size() % m_columns != 0) {
        m_cells.clear();
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
    const qsizetype rows = m_columns > 0 ? m_cells.size() / m_columns : 0;
    if (m_nextRow >= rows) {
        if (!m_more)
            return false;
        requireClient(m_client);
        take(m_client->call(Wire::Op::Fetch, {m_ref, QString::number(m_batch)}), 0);
        if (m_cells.isEmpty())
            return false;
    }
    m_rowStart = m_nextRow * m_columns;
    ++m_nextRow;
    return true;
}

QString ResultSet::getData(int column) const {
    if (m_rowStart < 0 || column < 1 || column > m_columns)
        return QString();
    return m_cells.value(m_rowStart + column - 1);
}

void ResultSet::close() {
    const QString ref = m_ref;
    m_ref.clear();
    m_cells.clear();
    m_more = false;
    if (!ref.isEmpty() && m_client && m_client->isConnected())
        m_client->call(Wire::Op::QueryClose, {ref});
}
