// Frames after a TLS session is set up: the stand-in's server in this
// process serves TLS on loopback with a certificate of its own, and a
// client that has done the handshake and logged in as the demo user sends
// the input as the next bytes of its stream, then a PING. Every answer that
// comes back is a valid reply, in order, up to the PING's; or the server
// ends that connection (a refused frame, an incomplete one after the frame
// time-out). The server is never taken down: the next input connects again.
#include "FuzzSupport.h"
#include "ServerCertificate.h"
#include "StandinEngine.h"
#include "StandinServer.h"
#include "common/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <memory>

namespace {

constexpr quint32 kLastId = 0xFFFFFFF0u;

// Serves events until done() holds; false after ms.
template <typename Done> bool serveUntil(Done done, int ms) {
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

StandinServer& server() {
    static StandinServer* s = [] {
        StandinEngine& engine = FuzzEngine();
        static QTemporaryDir* dir = new QTemporaryDir;
        auto* made = new StandinServer(engine);
        made->setTls(ServerTlsConfiguration(LoadServerCertificate(dir->filePath("tls.crt"),
                                                                  dir->filePath("tls.key"), true,
                                                                  {QStringLiteral("127.0.0.1")})));
        if (!made->listen(QHostAddress::LocalHost, 0))
            std::abort();
        return made;
    }();
    return *s;
}

// The client's connection, kept from one input to the next while the
// server keeps it.
struct Client {
    std::unique_ptr<QSslSocket> socket;
    Wire::FrameBuffer buffer;
    quint32 next = 1;
};

Client& client() {
    static Client* c = new Client;
    return *c;
}

void send(Client& c, Wire::Op op, const QStringList& args, quint32 id) {
    c.socket->write(Wire::encodeRequest({id, op, args}));
    c.socket->flush();
}

// The next reply, nullopt when the connection ends (or hangs) first; a
// frame that is no reply ends the run.
std::optional<Wire::Reply> nextReply(Client& c) {
    QByteArray payload;
    for (;;) {
        const auto result = c.buffer.next(&payload);
        if (result == Wire::FrameBuffer::Result::Frame) {
            auto reply = Wire::decodeReply(payload);
            if (!reply)
                std::abort();
            return reply;
        }
        if (result == Wire::FrameBuffer::Result::TooLarge)
            std::abort();
        const bool more = serveUntil(
            [&] {
                return c.socket->bytesAvailable() > 0 ||
                       c.socket->state() != QAbstractSocket::ConnectedState;
            },
            10000);
        if (!more)
            std::abort(); // the server hangs
        if (c.socket->bytesAvailable() == 0)
            return std::nullopt;
        c.buffer.append(c.socket->readAll());
    }
}

bool connectClient(Client& c) {
    c.socket = std::make_unique<QSslSocket>();
    c.buffer.clear();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    c.socket->setSslConfiguration(configuration);
    c.socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), server().port());
    if (!serveUntil([&] { return c.socket->isEncrypted(); }, 10000))
        return false;
    send(c, Wire::Op::Hello,
         {Wire::kMagic, QStringLiteral("VELTAR"), QStringLiteral("fuzz"), QStringLiteral("1"),
          QStringLiteral("DEM"), QStringLiteral("demo")},
         c.next++);
    const auto hello = nextReply(c);
    return hello && hello->status == Wire::Status::Ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    server();
    Client& c = client();
    if (!c.socket || c.socket->state() != QAbstractSocket::ConnectedState) {
        if (!connectClient(c))
            std::abort(); // the server no longer takes connections
    }
    c.socket->write(FuzzBytes(data, size));
    send(c, Wire::Op::Ping, {QStringLiteral("end")}, kLastId);
    // Answers up to the PING's, or the end of the connection.
    while (const auto reply = nextReply(c)) {
        if (reply->id == kLastId && reply->values == QStringList{QStringLiteral("end")})
            break;
    }
    return 0;
}
