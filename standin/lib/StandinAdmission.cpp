// Which connections StandinServer takes, and how long it keeps them: the
// TLS handshakes it runs itself, the share of one address, the deadlines.
#include "StandinConnection.h"
#include "StandinServer.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTextStream>
#include <unistd.h>

namespace {

// Connections being refused at once; beyond them a refused connection is
// closed without an answer.
constexpr int kMaxRefusing = 32;
// How long a refused connection may take to receive its answer.
constexpr int kRefuseTimeMs = 2000;

// The address failed logins and shares are counted under: an IPv6 address
// by its /64 network, which one host may have to itself.
QString addressKey(const QHostAddress& address) {
    bool v4 = false;
    address.toIPv4Address(&v4);
    if (v4 || address.protocol() != QAbstractSocket::IPv6Protocol)
        return address.toString();
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

bool loggedIn(const StandinConnection& conn) {
    return conn.job.access() == Access::User;
}

} // namespace

void ServerReport(const QString& what) {
    QTextStream(stderr) << "veltar-standin: " << what << "\n";
}

QByteArray ErrorFrame(quint32 id, int number, const QString& text) {
    Wire::Reply reply;
    reply.id = id;
    reply.status = Wire::Status::Error;
    reply.errorNumber = number;
    reply.errorText = text;
    return Wire::encodeReply(reply);
}

// Hands every TCP connection on as it comes, on TLS as a socket whose
// handshake the server starts itself: it counts from its first moment, and
// whatever the peer does, its end frees its place.
class StandinServer::Acceptor : public QTcpServer {
public:
    explicit Acceptor(bool tls) : m_tls(tls) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        QTcpSocket* socket = m_tls ? new QSslSocket : new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(int(descriptor));
            return;
        }
        addPendingConnection(socket);
    }

private:
    bool m_tls;
};

bool StandinServer::listen(const QHostAddress& address, quint16 port) {
    m_server = std::make_unique<Acceptor>(m_tls.has_value());
    // Every connection is taken at once (accept()): none waits in Qt.
    m_server->setMaxPendingConnections(qMax(64, m_engine.limits().maxConnections));
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &StandinServer::accept);
    return m_server->listen(address, port);
}

void StandinServer::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection())
        admit(socket);
}

void StandinServer::admit(QTcpSocket* socket) {
    const StandinLimits& limits = m_engine.limits();
    const QString address = addressKey(socket->peerAddress());
    if (m_perAddress.value(address) >= limits.maxPerAddress) {
        refuse(
            socket, StandinErrors::General,
            QStringLiteral("Zu viele Verbindungen von dieser Adresse; Verbindung wird getrennt"));
        return;
    }
    if (int(m_connections.size()) >= limits.maxConnections && !makeRoomFor(address)) {
        refuse(socket, StandinErrors::General,
               QStringLiteral("Zu viele Verbindungen; Verbindung wird getrennt"));
        return;
    }
    try {
        auto conn = std::make_unique<Connection>(m_engine);
        conn->job.peer = address;
        conn->serial = ++m_serial;
        connect(conn->deadline, &QTimer::timeout, this, [this, socket] { expire(socket); });
        conn->deadline->start(limits.helloTimeoutMs);
        m_connections.emplace(socket, std::move(conn));
        ++m_perAddress[address];
    } catch (const std::exception& e) {
        // No job for it (memory is short): this connection is refused, the
        // others go on.
        ServerReport(QStringLiteral("connection refused: ") + QString::fromUtf8(e.what()));
        refuse(socket, StandinErrors::General,
               QStringLiteral("Kein Job für die Verbindung; Verbindung wird getrennt"));
        return;
    }
    startConnection(socket);
}

bool StandinServer::makeRoomFor(const QString& address) {
    const int own = m_perAddress.value(address);
    QTcpSocket* victim = nullptr;
    int most = own + 1;
    quint64 oldest = 0;
    for (const auto& [socket, conn] : m_connections) {
        if (loggedIn(*conn) || conn->job.peer == address)
            continue;
        const int count = m_perAddress.value(conn->job.peer);
        if (count > most || (count == most && victim && conn->serial < oldest)) {
            victim = socket;
            most = count;
            oldest = conn->serial;
        } else if (count == most && !victim) {
            victim = socket;
            oldest = conn->serial;
        }
    }
    if (!victim)
        return false;
    auto* tls = qobject_cast<QSslSocket*>(victim);
    close(victim, tls && !tls->isEncrypted()
                      ? QByteArray()
                      : ErrorFrame(0, StandinErrors::General,
                                   QStringLiteral("Zu viele Verbindungen; Verbindung wird "
                                                  "getrennt")));
    return true;
}

void StandinServer::startConnection(QTcpSocket* socket) {
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Bytes Qt reads ahead from a socket; beyond them the kernel's buffers
    // and TCP's flow control hold back a client that sends faster than it
    // is served.
    socket->setReadBufferSize(1024 * 1024);
    Connection& conn = *m_connections.at(socket);
    connect(conn.watch, &QTimer::timeout, this, [this, socket] { timedOut(socket); });
    connect(conn.hold, &QTimer::timeout, this, [this, socket] { resume(socket); });
    // What arrived together is served together, in a turn of its own: TLS
    // tells of its records one by one as it decrypts them, and one commit
    // takes all of them.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { scheduleRead(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { wrote(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
        // On TLS, what reached the network is told by this one.
        connect(tls, &QSslSocket::encryptedBytesWritten, this, [this, socket] { wrote(socket); });
        // A handshake that fails ends the connection (the deadline ends one
        // that never finishes).
        connect(tls, &QAbstractSocket::errorOccurred, this, [this, socket] {
            auto* s = qobject_cast<QSslSocket*>(socket);
            if (s && !s->isEncrypted())
                close(socket, QByteArray());
        });
        tls->setSslConfiguration(*m_tls);
        tls->startServerEncryption();
    }
}

void StandinServer::refuse(QTcpSocket* socket, int number, const QString& text) {
    if (m_refusing >= kMaxRefusing) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_refusing;
    connect(socket, &QObject::destroyed, this, [this] { --m_refusing; });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kRefuseTimeMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    const QByteArray answer = ErrorFrame(0, number, text);
    auto* tls = qobject_cast<QSslSocket*>(socket);
    if (!tls) {
        socket->write(answer);
        socket->disconnectFromHost();
        return;
    }
    connect(tls, &QSslSocket::encrypted, socket, [socket, answer] {
        socket->write(answer);
        socket->disconnectFromHost();
    });
    tls->setSslConfiguration(*m_tls);
    tls->startServerEncryption();
}

void StandinServer::armDeadline(Connection& conn) {
    const StandinLimits& limits = m_engine.limits();
    switch (conn.job.access()) {
    case Access::User:
        // Idle from now on.
        conn.phase = Connection::Phase::User;
        conn.deadline->start(limits.idleTimeoutMs);
        break;
    case Access::None:
    case Access::Guest:
    case Access::Inactive:
        // A HELLO has come (answered or held): the time without a valid
        // login runs from the first one.
        if (conn.phase != Connection::Phase::Guest) {
            conn.phase = Connection::Phase::Guest;
            conn.deadline->start(limits.guestTimeoutMs);
        }
        break;
    case Access::Closed:
        break;
    }
}

void StandinServer::expire(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    const Connection& conn = *it->second;
    auto* tls = qobject_cast<QSslSocket*>(socket);
    if (tls && !tls->isEncrypted()) {
        close(socket, QByteArray());
        return;
    }
    QString text;
    switch (conn.phase) {
    case Connection::Phase::Hello:
        text = QStringLiteral("Keine Anmeldung in %1 ms; Verbindung wird getrennt")
                   .arg(m_engine.limits().helloTimeoutMs);
        break;
    case Connection::Phase::Guest:
        text = QStringLiteral("Ohne gültige Anmeldung %1 ms verbunden; Verbindung wird getrennt")
                   .arg(m_engine.limits().guestTimeoutMs);
        break;
    case Connection::Phase::User:
        text = QStringLiteral("%1 ms ohne Anfrage; Verbindung wird getrennt")
                   .arg(m_engine.limits().idleTimeoutMs);
        break;
    }
    close(socket, ErrorFrame(0,
                             conn.phase == Connection::Phase::User ? StandinErrors::General
                                                                   : StandinErrors::NotLoggedIn,
                             text));
}

void StandinServer::forget(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    m_framesInFlight -= it->second->pending;
    auto count = m_perAddress.find(it->second->job.peer);
    if (count != m_perAddress.end() && --*count <= 0)
        m_perAddress.erase(count);
    // The job's end removes its session entries; it never throws.
    m_connections.erase(it);
}
