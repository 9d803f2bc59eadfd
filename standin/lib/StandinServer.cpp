#include "StandinServer.h"

#include "Dispatcher.h"
#include "Job.h"
#include "server/WireProtocol.h"

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
    // commit instead of one.
    std::optional<StandinTransaction> group;
    try {
        group.emplace(m_engine);
    } catch (const std::exception&) {
    }
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
            if (group) {
                try {
                    group->commit();
                } catch (const std::exception&) {
                }
                group.reset();
            }
            // The connection is forgotten before the socket closes: closing
            // may report the disconnection at once.
            socket->disconnect(this);
            m_connections.erase(it);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(out);
            socket->flush();
            socket->disconnectFromHost();
            return;
        }
        out += Wire::encodeReply(Dispatch(conn.job, *request));
    }
    if (group) {
        try {
            group->commit();
        } catch (const std::exception&) {
        }
    }
    if (!out.isEmpty())
        socket->write(out);
}
