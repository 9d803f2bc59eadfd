#include "StandinServer.h"

#include "Dispatcher.h"
#include "Job.h"
#include "common/WireProtocol.h"

#include <QTcpSocket>

struct StandinServer::Connection {
    explicit Connection(StandinEngine& engine) : job(engine) {}
    Job job;
    Wire::FrameBuffer buffer;
};

StandinServer::StandinServer(StandinEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine) {
    connect(&m_server, &QTcpServer::newConnection, this, &StandinServer::accept);
}

StandinServer::~StandinServer() {
    for (auto& [socket, conn] : m_connections) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_connections.clear();
}

bool StandinServer::listen(const QHostAddress& address, quint16 port) {
    return m_server.listen(address, port);
}

void StandinServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connections.emplace(socket, std::make_unique<Connection>(m_engine));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void StandinServer::drop(QTcpSocket* socket) {
    if (m_connections.erase(socket) > 0)
        socket->deleteLater();
}

namespace {

// Commits the batch's transaction; false when the commit failed (the batch
// is then rolled back).
bool commitGroup(std::optional<StandinTransaction>& group) {
    if (!group)
        return true;
    try {
        group->commit();
        group.reset();
        return true;
    } catch (const std::exception&) {
        group.reset();
        return false;
    }
}

} // namespace

void StandinServer::readFrom(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& conn = *it->second;
    conn.buffer.append(socket->readAll());
    // Answers to all complete frames go out in one write, so a client that
    // keeps many requests in flight gets them back in few packets.
    QByteArray out;
    QByteArray payload;
    // All requests that arrived together are stored in one transaction
    // (group commit): a pipelining client gets hundreds of inserts per
    // commit instead of one. Answers leave only after the commit; when it
    // fails, the connection is dropped without them, so no client is told
    // that something was stored that was not.
    std::optional<StandinTransaction> group;
    try {
        group.emplace(m_engine);
    } catch (const std::exception&) {
    }
    auto forget = [&] {
        // The connection is forgotten before the socket closes: closing
        // may report the disconnection at once.
        socket->disconnect(this);
        m_connections.erase(it);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    };
    for (;;) {
        const auto result = conn.buffer.next(&payload);
        if (result == Wire::FrameBuffer::Result::NeedMore)
            break;
        std::optional<Wire::Request> request;
        if (result == Wire::FrameBuffer::Result::Frame)
            request = Wire::decodeRequest(payload);
        if (!request) {
            Wire::Reply bad;
            bad.status = Wire::Status::Error;
            bad.errorNumber = StandinErrors::BadRequest;
            bad.errorText = result == Wire::FrameBuffer::Result::TooLarge
                                ? QStringLiteral("Rahmen zu groß; Verbindung wird getrennt")
                                : QStringLiteral("Ungültiger Rahmen; Verbindung wird getrennt");
            out += Wire::encodeReply(bad);
            const bool committed = commitGroup(group);
            forget();
            if (committed) {
                socket->write(out);
                socket->flush();
                socket->disconnectFromHost();
            } else {
                socket->abort();
                socket->deleteLater();
            }
            return;
        }
        out += Wire::encodeReply(Dispatch(conn.job, *request));
    }
    if (!commitGroup(group)) {
        forget();
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (!out.isEmpty())
        socket->write(out);
}
