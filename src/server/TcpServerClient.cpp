#include "TcpServerClient.h"

#include <QTextStream>

#include "base/WorkstationSettings.h"

#include <QHostInfo>
#include <QLocale>
#include <QSslConfiguration>

namespace {

TcpServerClient::Timeouts& defaults() {
    static TcpServerClient::Timeouts t;
    return t;
}

bool& forcedPlain() {
    static bool plain = false;
    return plain;
}

const QString kSettingsApp = QStringLiteral("Cache Login");
const QString kTlsSection = QStringLiteral("TLS");
const QString kFingerprintSection = QStringLiteral("Zertifikate");

FirstContactFunction& firstContact() {
    static FirstContactFunction f = [](const QString& text) {
        QTextStream(stderr) << text << "\n";
        return true;
    };
    return f;
}

} // namespace

FirstContactFunction SetFirstContactFunction(FirstContactFunction f) {
    FirstContactFunction previous = std::move(firstContact());
    firstContact() = std::move(f);
    return previous;
}

QString FirstContactText(const QString& server, const QString& address,
                         const QString& fingerprint) {
    return QStringLiteral("Erster Kontakt mit dem Server ") + server + QStringLiteral(" (") +
           address + QStringLiteral("): sein Zertifikat hat den SHA-256-Fingerabdruck ") +
           fingerprint + QStringLiteral(". Vergleichen Sie ihn mit dem des Servers.");
}

QString FirstContactRefusedText(const QString& server) {
    return QStringLiteral("Dem Zertifikat des Servers ") + server +
           QStringLiteral(" wurde nicht vertraut. Die Verbindung wird abgelehnt.");
}

QString CertificateChangedText(const QString& server, const QString& known, const QString& shown) {
    return QStringLiteral("Das Zertifikat des Servers ") + server +
           QStringLiteral(" hat sich geändert: bekannt ist der SHA-256-Fingerabdruck ") + known +
           QStringLiteral(", der Server zeigt ") + shown +
           QStringLiteral(". Die Verbindung wird abgelehnt.");
}

QString CertificateUntrustedText(const QString& server, const QString& reasons) {
    return QStringLiteral("Das Zertifikat des Servers ") + server +
           QStringLiteral(" ist nicht vertrauenswürdig: ") + reasons;
}

QString CaFileUnreadableText(const QString& file) {
    return QStringLiteral("Die CA-Datei ") + file +
           QStringLiteral(" enthält kein lesbares Zertifikat.");
}

Transport Transport::fromSettings() {
    Transport t;
    t.plain = forcedPlain() || WorkstationSettings::value(kSettingsApp, kTlsSection,
                                                          QStringLiteral("OhneTLS")) == u"J";
    t.caFile = WorkstationSettings::value(kSettingsApp, kTlsSection, QStringLiteral("CAFile"));
    return t;
}

void TcpServerClient::setPlainTcp(bool plain) {
    forcedPlain() = plain;
}

bool TcpServerClient::plainTcp() {
    return forcedPlain();
}

QString TimeoutText(int ms) {
    return QStringLiteral("Keine Antwort des Servers innerhalb von ") +
           QLocale(QLocale::German).toString(ms / 1000.0, 'g', 6) +
           (ms == 1000 ? QStringLiteral(" Sekunde") : QStringLiteral(" Sekunden"));
}

TcpServerClient::Timeouts TcpServerClient::defaultTimeouts() {
    return defaults();
}

void TcpServerClient::setDefaultTimeouts(const Timeouts& timeouts) {
    defaults() = timeouts;
}

TcpServerClient::TcpServerClient() : m_socket(std::make_unique<QTcpSocket>()) {}

TcpServerClient::~TcpServerClient() {
    m_socket->abort();
}

bool TcpServerClient::openConnection(const QString& connectString) {
    closeConnection();
    const auto target = ConnectTarget::parse(connectString);
    if (!target) {
        m_lastError = QStringLiteral("Ungültige Verbindungsangabe: ") + connectString;
        return false;
    }
    const Transport transport = Transport::fromSettings();
    if (transport.plain) {
        // No TLS code is touched for a plain connection.
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->connectToHost(target->host, target->port);
        if (!m_socket->waitForConnected(m_timeouts.connectMs)) {
            m_lastError = m_socket->errorString();
            m_socket->abort();
            return false;
        }
    } else if (!connectTls(*target, transport)) {
        return false;
    }
    // Small request frames must leave at once: with Nagle's algorithm a
    // frame would wait for the peer's delayed acknowledgement.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_ready = true;
    m_waitMs = m_timeouts.greetingMs;
    try {
        hello(target->nameSpace, QHostInfo::localHostName());
    } catch (const ServerError& e) {
        m_waitMs = m_timeouts.readMs;
        m_lastError = e.description();
        m_lastErrorNumber = e.number();
        closeConnection();
        return false;
    }
    m_waitMs = m_timeouts.readMs;
    return true;
}

bool TcpServerClient::connectTls(const ConnectTarget& target, const Transport& transport) {
    const QString server = target.host + u':' + QString::number(target.port);
    const auto refuse = [&](const QString& text) {
        m_lastError = text;
        m_lastErrorNumber = ClientErrors::Certificate;
        m_socket->abort();
        return false;
    };
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    if (transport.caFile.isEmpty()) {
        // Trust on first use: the fingerprint is compared below.
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    } else {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(transport.caFile);
        if (authorities.isEmpty())
            return refuse(CaFileUnreadableText(transport.caFile));
        configuration.setCaCertificates(authorities);
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    }
    auto socket = std::make_unique<QSslSocket>();
    QSslSocket& tls = *socket;
    m_socket = std::move(socket);
    tls.setSslConfiguration(configuration);
    tls.connectToHostEncrypted(target.host, target.port);
    // The handshake is the server's first answer: it waits as long as the
    // greeting does.
    if (!tls.waitForConnected(m_timeouts.connectMs) ||
        !tls.waitForEncrypted(m_timeouts.greetingMs)) {
        const QList<QSslError> errors = tls.sslHandshakeErrors();
        if (!transport.caFile.isEmpty() && !errors.isEmpty()) {
            QStringList reasons;
            for (const QSslError& e : errors)
                reasons << e.errorString();
            return refuse(CertificateUntrustedText(server, reasons.join(QStringLiteral("; "))));
        }
        // Not reached, or not a TLS server: as any connection that fails.
        m_lastError = m_socket->errorString();
        m_socket->abort();
        return false;
    }
    if (transport.caFile.isEmpty()) {
        // Kept for the name and for the address it resolved to: "localhost"
        // and "127.0.0.1" are the same server.
        const QString shown = Wire::Fingerprint(tls.peerCertificate().toDer());
        const QString address = tls.peerAddress().toString() + u':' + QString::number(target.port);
        bool seen = false;
        for (const QString& key : {server, address}) {
            const QString known =
                WorkstationSettings::value(kSettingsApp, kFingerprintSection, key);
            if (!known.isEmpty() && known != shown)
                return refuse(CertificateChangedText(key, known, shown));
            seen = seen || !known.isEmpty();
        }
        if (!seen && !firstContact()(FirstContactText(server, tls.peerAddress().toString(), shown)))
            return refuse(FirstContactRefusedText(server));
        for (const QString& key : {server, address})
            WorkstationSettings::setValue(kSettingsApp, kFingerprintSection, key, shown);
    }
    return true;
}

bool TcpServerClient::encrypted() const {
    const auto* tls = qobject_cast<const QSslSocket*>(m_socket.get());
    return tls && tls->isEncrypted();
}

bool TcpServerClient::isConnected() const {
    return m_ready && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpServerClient::forget() {
    m_ready = false;
    m_lost.reset();
    m_pending.clear();
    m_keep.clear();
    m_kept.clear();
    m_buffer.clear();
}

void TcpServerClient::closeConnection() {
    forget();
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
    }
}

void TcpServerClient::fail(int number, const QString& text) {
    forget();
    m_socket->abort();
    throw ServerError(number, text);
}

void TcpServerClient::lose(int number, const QString& text) {
    m_ready = false;
    // What the socket still holds was sent before the end.
    if (m_socket->isOpen())
        m_buffer.append(m_socket->readAll());
    m_socket->abort();
    m_lost.emplace(number, text);
    throw *m_lost;
}

quint32 TcpServerClient::post(Wire::Op op, const QStringList& args, bool chained) {
    if (!isConnected())
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    Wire::Request r;
    r.id = m_nextId++;
    if (m_nextId == 0)
        m_nextId = 1;
    r.op = op;
    r.args = args;
    r.chained = chained;
    const QByteArray frame = Wire::encodeRequest(r);
    if (frame.size() - 4 > qsizetype(Wire::kMaxFrame))
        throw ServerError(ClientErrors::ProtocolError,
                          QStringLiteral("Anfrage zu groß für eine Übertragung"));
    // Frames wait in the socket's buffer until a few kilobytes have
    // gathered or an answer is awaited: requests posted in a row leave
    // together, and the server serves them in one go while the next ones
    // are being made.
    if (m_socket->write(frame) != frame.size())
        lose(ClientErrors::ConnectionLost, kConnectionLostText);
    m_pending.push_back(r.id);
    if (m_socket->bytesToWrite() >= kSendChunk)
        send();
    return r.id;
}

void TcpServerClient::send() {
    // Answers that have come meanwhile are taken in first, into the
    // client's own buffer: a connection that has ended is noticed before
    // writing into it, and a failed write (which closes the socket) cannot
    // take them along. They are the answers of requests that are stored.
    m_socket->waitForReadyRead(0);
    m_buffer.append(m_socket->readAll());
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        lose(ClientErrors::ConnectionLost, kConnectionLostText);
    m_socket->flush();
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        lose(ClientErrors::ConnectionLost, kConnectionLostText);
}

ReplyFrame TakeReply(Wire::FrameBuffer& buffer, Wire::RawReply* reply) {
    QByteArray payload;
    switch (buffer.next(&payload)) {
    case Wire::FrameBuffer::Result::NeedMore:
        return ReplyFrame::NeedMore;
    case Wire::FrameBuffer::Result::TooLarge:
        return ReplyFrame::TooLarge;
    case Wire::FrameBuffer::Result::Frame:
        break;
    }
    auto decoded = Wire::decodeRawReply(std::move(payload));
    if (!decoded)
        return ReplyFrame::Malformed;
    *reply = std::move(*decoded);
    return ReplyFrame::Reply;
}

Wire::RawReply TcpServerClient::readReply() {
    Wire::RawReply reply;
    for (;;) {
        const ReplyFrame result = TakeReply(m_buffer, &reply);
        if (result == ReplyFrame::Reply)
            return reply;
        if (result == ReplyFrame::TooLarge)
            fail(ClientErrors::ProtocolError, QStringLiteral("Antwort des Servers zu groß"));
        if (result == ReplyFrame::Malformed)
            fail(ClientErrors::ProtocolError, QStringLiteral("Ungültige Antwort des Servers"));
        if (m_lost)
            throw *m_lost;
        if (m_socket->bytesAvailable() == 0 && m_socket->bytesToWrite() > 0)
            m_socket->flush();
        if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(m_waitMs)) {
            if (m_socket->error() == QAbstractSocket::SocketTimeoutError &&
                m_socket->state() == QAbstractSocket::ConnectedState)
                lose(ClientErrors::Timeout, TimeoutText(m_waitMs));
            lose(ClientErrors::ConnectionLost, kConnectionLostText);
        }
        m_buffer.append(m_socket->readAll());
    }
}

QStringList TcpServerClient::await(quint32 id) {
    return awaitRaw(id).toStringList();
}

quint32 TcpServerClient::postKept(Wire::Op op, const QStringList& args, bool chained) {
    const quint32 id = post(op, args, chained);
    m_keep.insert(id);
    // Asked ahead so that the server works on it meanwhile: it must not wait
    // in the buffer for the next chunk.
    send();
    return id;
}

Wire::RawTexts TcpServerClient::awaitRaw(quint32 id) {
    if (auto it = m_kept.find(id); it != m_kept.end()) {
        Wire::RawReply reply = std::move(*it);
        m_kept.erase(it);
        m_keep.remove(id);
        if (reply.status == Wire::Status::Error)
            throw ServerError(reply.errorNumber, reply.errorText);
        return std::move(reply.values);
    }
    for (;;) {
        if (m_pending.empty()) {
            // The connection broke under requests in flight: their answers
            // are lost with it.
            if (m_lost)
                throw *m_lost;
            if (!isConnected())
                throw ServerError(ClientErrors::ConnectionLost, kConnectionLostText);
            throw ServerError(ClientErrors::ProtocolError,
                              QStringLiteral("Keine offene Anfrage ") + QString::number(id));
        }
        const quint32 expected = m_pending.front();
        Wire::RawReply reply = readReply();
        m_pending.pop_front();
        if (reply.id != expected)
            fail(ClientErrors::ProtocolError,
                 QStringLiteral("Antwort ausser der Reihe vom Server"));
        if (expected != id) {
            if (m_keep.contains(expected))
                m_kept.insert(expected, std::move(reply));
            continue;
        }
        m_keep.remove(id);
        if (reply.status == Wire::Status::Error)
            throw ServerError(reply.errorNumber, reply.errorText);
        return std::move(reply.values);
    }
}
