#pragma once

#include "common/WireProtocol.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <memory>
#include <optional>

// A client that speaks raw frames, as a hostile or broken one would: over
// TLS (the server's certificate taken as it comes), or plain TCP for a
// server run with --no-tls.
class Raw {
public:
    enum class Transport { Tls, Plain };
    // From the address `from` when it is given (another 127.x.y.z: another
    // host as the server counts them).
    explicit Raw(quint16 port, Transport transport = Transport::Tls,
                 const QHostAddress& from = QHostAddress()) {
        if (transport == Transport::Plain) {
            m_socket = std::make_unique<QTcpSocket>();
            if (!from.isNull())
                m_socket->bind(from);
            m_socket->connectToHost(QHostAddress::LocalHost, port);
            m_socket->waitForConnected(5000);
            return;
        }
        auto tls = std::make_unique<QSslSocket>();
        if (!from.isNull())
            tls->bind(from);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls->setSslConfiguration(configuration);
        tls->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        tls->waitForEncrypted(10000);
        // The handshake's last message leaves now, not with the first
        // request: the server sees a finished handshake.
        tls->flush();
        m_socket = std::move(tls);
    }
    bool connected() const {
        const auto* tls = qobject_cast<const QSslSocket*>(m_socket.get());
        return m_socket->state() == QAbstractSocket::ConnectedState && (!tls || tls->isEncrypted());
    }
    QTcpSocket& socket() { return *m_socket; }
    // Bytes written and not yet on the network (encrypted or not).
    qint64 pendingOutput() const {
        qint64 n = m_socket->bytesToWrite();
        if (const auto* tls = qobject_cast<const QSslSocket*>(m_socket.get()))
            n += tls->encryptedBytesToWrite();
        return n;
    }

    quint32 send(Wire::Op op, const QStringList& args) {
        Wire::Request r;
        r.id = m_nextId++;
        r.op = op;
        r.args = args;
        m_socket->write(Wire::encodeRequest(r));
        m_socket->flush();
        return r.id;
    }
    // The next reply; nullopt when the connection ends first or nothing
    // comes within the time.
    std::optional<Wire::Reply> reply(int timeoutMs = 30000) {
        QByteArray payload;
        for (;;) {
            const auto result = m_buffer.next(&payload);
            if (result == Wire::FrameBuffer::Result::Frame)
                return Wire::decodeReply(payload);
            if (result == Wire::FrameBuffer::Result::TooLarge)
                return std::nullopt;
            // An answer that came with the end of the connection is read
            // too: the wait may report the end only.
            if (!m_socket->bytesAvailable() && !m_socket->waitForReadyRead(timeoutMs) &&
                !m_socket->bytesAvailable())
                return std::nullopt;
            m_buffer.append(m_socket->readAll());
        }
    }
    std::optional<Wire::Reply> call(Wire::Op op, const QStringList& args) {
        send(op, args);
        return reply();
    }
    // HELLO, by default as the demo company's active user; returns the job
    // number or "" when refused.
    QString hello(const QString& company = "1", const QString& user = "DEM",
                  const QString& password = "demo") {
        const auto r =
            call(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", company, user, password});
        return r && r->status == Wire::Status::Ok ? r->values.value(1) : QString();
    }
    // Xecute on a VT.Windows object: the output, or "error N text".
    QString xecute(const QString& line) {
        if (!sendXecute(line))
            return QStringLiteral("no object");
        return text(reply());
    }
    // The same without waiting for its answer; false when there is no
    // VT.Windows object.
    bool sendXecute(const QString& line) {
        if (m_windows.isEmpty()) {
            const auto r = call(Wire::Op::New, {"VT.Windows"});
            if (!r || r->status != Wire::Status::Ok)
                return false;
            m_windows = r->values.value(0);
        }
        send(Wire::Op::Method, {m_windows, "Xecute", line});
        return true;
    }
    static QString text(const std::optional<Wire::Reply>& r) {
        if (!r)
            return QStringLiteral("no reply");
        if (r->status == Wire::Status::Error)
            return QStringLiteral("error %1 %2").arg(r->errorNumber).arg(r->errorText);
        return r->values.value(0);
    }
    // Whether the server closed the connection.
    bool closedByServer(int timeoutMs = 10000) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return true;
        return m_socket->waitForDisconnected(timeoutMs);
    }

private:
    std::unique_ptr<QTcpSocket> m_socket;
    Wire::FrameBuffer m_buffer;
    quint32 m_nextId = 1;
    QString m_windows;
};
