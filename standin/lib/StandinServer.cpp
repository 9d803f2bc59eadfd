#include "StandinServer.h"

#include "StandinBatch.h"
#include "StandinConnection.h"

#include "Access.h"
#include "Dispatcher.h"
#include "Job.h"
#include "LoginThrottle.h"
#include "PasswordChecker.h"
#include "common/ServerError.h"
#include "common/WireProtocol.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <limits>
#include <poll.h>
#include <vector>

namespace {

// Requests run between two looks whether the client is still there (a look
// is a system call).
constexpr int kGoneCheckEvery = 32;
// Turns of the event loop a connection that used up its slice waits at most
// for the others.
constexpr int kMaxYieldTurns = 16;
// How long a HELLO waits before it tries again when the password checks
// queue is full.
constexpr int kCheckRetryMs = 100;
// The largest frame of a connection without a valid login.
constexpr quint32 kMaxFrameBeforeLogin = 64 * 1024;
// How long a closed connection's last answer may take to leave.
constexpr int kLastAnswerMs = 5000;

// Bytes of answers not yet sent: on a TLS connection those waiting to be
// encrypted and those encrypted and waiting for the network.
qint64 pendingOutput(QTcpSocket* socket) {
    qint64 n = socket->bytesToWrite();
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        n += tls->encryptedBytesToWrite();
    return n;
}

// Whether the client has closed its connection: Qt has seen it, or the
// end of its stream (or an error) waits behind bytes not yet read.
bool peerGone(QTcpSocket* socket) {
    if (socket->state() != QAbstractSocket::ConnectedState)
        return true;
#ifdef POLLRDHUP
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0)
        return false;
    pollfd p{int(fd), POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
#else
    return false;
#endif
}

} // namespace

StandinServer::StandinServer(StandinEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine), m_checker(std::make_unique<PasswordChecker>()) {}

StandinServer::~StandinServer() {
    for (auto& [socket, conn] : m_connections) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_connections.clear();
}

void StandinServer::drop(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    reportGone(socket, *it->second, 0);
    socket->disconnect(this);
    forget(socket);
    socket->deleteLater();
}

void StandinServer::close(QTcpSocket* socket, const QByteArray& last) {
    // The connection is forgotten before the socket closes: closing may
    // report the disconnection at once.
    socket->disconnect(this);
    forget(socket);
    if (last.isEmpty()) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // A client that does not take its last answer does not keep the socket.
    QTimer::singleShot(kLastAnswerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->write(last);
    socket->disconnectFromHost();
}

void StandinServer::readFrom(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    try {
        serve(socket, *it->second);
    } catch (const std::exception& e) {
        ServerReport(QStringLiteral("connection closed: ") + QString::fromUtf8(e.what()));
        close(socket, QByteArray());
    }
}

void StandinServer::scheduleRead(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->second->readScheduled)
        return;
    it->second->readScheduled = true;
    ++m_readsQueued;
    QMetaObject::invokeMethod(
        this,
        [this, alive = QPointer<QTcpSocket>(socket)] {
            --m_readsQueued;
            if (!alive)
                return;
            auto entry = m_connections.find(alive);
            if (entry == m_connections.end())
                return;
            entry->second->readScheduled = false;
            readFrom(alive);
        },
        Qt::QueuedConnection);
}

void StandinServer::resume(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->second->holding = false;
    readFrom(socket);
}

void StandinServer::serve(QTcpSocket* socket, Connection& conn) {
    const StandinLimits& limits = m_engine.limits();
    if (conn.paused || conn.holding || conn.yielding)
        return;
    // While a command of the connection is paused, what its client sends
    // meanwhile stays in the socket: Qt's bounded read buffer, then TCP,
    // hold the client back.
    if (!conn.command) {
        const QByteArray incoming = socket->readAll();
        conn.buffer.append(incoming);
        conn.pending += incoming.size();
        m_framesInFlight += incoming.size();
    }
    // Answers to all complete frames go out in one write, so a client that
    // keeps many requests in flight gets them back in few packets.
    QByteArray out;
    QByteArray payload;
    bool progress = false;
    // All requests that arrived together are stored in one transaction
    // (group commit): a pipelining client gets hundreds of inserts per
    // commit instead of one. Answers leave only after the commit; when it
    // fails, each request of the batch is answered with the database's
    // error, so no client is told that something was stored that was not.
    // The answers leave right after the commit; a checkpoint that is due
    // waits until they are out.
    const CheckpointHold hold(m_engine);
    Batch batch(m_engine, conn.job, out);
    int requests = 0;
    int served = 0;
    // Work beyond a slice waits for the next turn, after the others.
    bool yielded = false;
    QElapsedTimer turn;
    turn.start();
    for (;;) {
        // A client that does not read its answers gets no more of them
        // until it has read: its requests wait in the socket, and TCP stops
        // it from sending more.
        if (conn.pending > 0 && out.size() + pendingOutput(socket) > limits.maxPendingOutput) {
            conn.paused = true;
            break;
        }
        // Nothing is run for a client that has gone (it gave up waiting):
        // what it sent and was not answered is not run, and what ran of
        // this batch is undone. Looked at before the first request and
        // every so many after it; the look before the commit makes sure.
        if (++requests % kGoneCheckEvery == 1 && peerGone(socket)) {
            forsake(socket, conn, batch.rollback());
            return;
        }
        // A command that paused at the end of its last slice goes on first.
        if (conn.command) {
            batch.begin();
            if (!conn.command->run(sliceLeft(limits, turn))) {
                yielded = true;
                break;
            }
            const std::unique_ptr<SlicedRequest> done = std::move(conn.command);
            progress = true;
            if (!answered(socket, conn, batch, out, done->request(), done->answer()))
                return;
            ++served;
            if (turn.elapsed() >= limits.serveSliceMs) {
                yielded = true;
                break;
            }
            continue;
        }
        std::optional<Wire::Request> request;
        auto result = nextRequest(conn, payload, request, progress);
        // Before a login a frame is small: HELLO and the login's calls.
        if (result == Wire::FrameBuffer::Result::NeedMore && conn.job.access() != Access::User &&
            conn.buffer.announced() > kMaxFrameBeforeLogin)
            result = Wire::FrameBuffer::Result::TooLarge;
        if (result == Wire::FrameBuffer::Result::NeedMore) {
            // The frames all connections hold unfinished have a bound too.
            if (conn.pending > 0 && m_framesInFlight > limits.maxFramesInFlight) {
                batch.commit();
                ServerReport(
                    QStringLiteral("connection closed: frames in flight beyond the limit"));
                out += ErrorFrame(0, StandinErrors::BadRequest,
                                  QStringLiteral("Server ausgelastet; Verbindung wird getrennt"));
                close(socket, out);
                return;
            }
            break;
        }
        if (!request) {
            batch.commit();
            out += ErrorFrame(0, StandinErrors::BadRequest,
                              result == Wire::FrameBuffer::Result::TooLarge
                                  ? QStringLiteral("Rahmen zu groß; Verbindung wird getrennt")
                                  : QStringLiteral("Ungültiger Rahmen; Verbindung wird getrennt"));
            close(socket, out);
            return;
        }
        // After failed logins a HELLO with a password waits for its time,
        // and so does everything the connection sends after it; the
        // answers before it leave now.
        if (holdUntilLoginReady(conn, request) || holdForPasswordCheck(socket, conn, request))
            break;
        batch.begin();
        if (SlicedRequest::Needed(*request)) {
            auto command = std::make_unique<SlicedRequest>(conn.job, std::move(*request));
            if (!command->run(sliceLeft(limits, turn))) {
                conn.command = std::move(command);
                yielded = true;
                break;
            }
            if (!answered(socket, conn, batch, out, command->request(), command->answer()))
                return;
        } else if (!answered(socket, conn, batch, out, *request,
                             DispatchFrame(conn.job, *request))) {
            return;
        }
        ++served;
        if (turn.elapsed() >= limits.serveSliceMs) {
            yielded = true;
            break;
        }
    }
    // The client may have gone while the batch ran: then nothing of it is
    // stored.
    if (peerGone(socket)) {
        forsake(socket, conn, batch.rollback());
        return;
    }
    const QString failed = batch.commit();
    // What a paused command stored in this turn is undone with the rest:
    // it ends there with the database's error.
    if (!failed.isEmpty() && conn.command) {
        const Wire::Request& paused = conn.command->request();
        out += ErrorFrame(paused.id, StandinErrors::Database, failed);
        conn.job.chainBroken = paused.chained;
        conn.command.reset();
    }
    // A connection whose command runs is not idle.
    if (served > 0 || conn.command)
        armDeadline(conn);
    if (!out.isEmpty() && !sendAnswers(socket, conn, out))
        return;
    watchClient(conn, progress);
    if (yielded) {
        conn.yielding = true;
        continueLater(socket, 0);
    } else if (socket->bytesAvailable() > 0 && !conn.paused && !conn.holding) {
        // Sent while a command that has now ended was paused: no new
        // signal tells of it.
        scheduleRead(socket);
    }
}

int StandinServer::sliceLeft(const StandinLimits& limits, const QElapsedTimer& turn) {
    return int(qBound(qint64(1), limits.serveSliceMs - turn.elapsed(), qint64(limits.m.sliceMs)));
}

bool StandinServer::answered(QTcpSocket* socket, Connection& conn, Batch& batch, QByteArray& out,
                             const Wire::Request& request, QByteArray answer) {
    // No answer may exceed the largest frame (nor wrap its length).
    if (answer.size() - 4 > qsizetype(Wire::kMaxFrame))
        answer = ErrorFrame(request.id, StandinErrors::General,
                            QStringLiteral("Antwort größer als ein Rahmen erlaubt"));
    batch.answered(request, answer);
    // A refused HELLO, or a request before HELLO, ends the connection
    // after its answer; nothing that came after it is served.
    if (conn.job.closed()) {
        batch.commit();
        close(socket, out);
        return false;
    }
    return true;
}

void StandinServer::continueLater(QTcpSocket* socket, int turns) {
    // The rest waits behind what the others sent meanwhile: at least two
    // turns of the event loop, so that it has looked at their sockets, and
    // as long as reads of others are queued (a few turns at most, so that
    // a busy server still comes back to it).
    QTimer::singleShot(0, this, [this, turns, alive = QPointer<QTcpSocket>(socket)] {
        if (!alive)
            return;
        if (turns < 2 || (m_readsQueued > 0 && turns < kMaxYieldTurns)) {
            continueLater(alive, turns + 1);
            return;
        }
        if (auto it = m_connections.find(alive); it != m_connections.end())
            it->second->yielding = false;
        scheduleRead(alive);
    });
}

Wire::FrameBuffer::Result StandinServer::nextRequest(Connection& conn, QByteArray& payload,
                                                     std::optional<Wire::Request>& request,
                                                     bool& progress) {
    if (conn.held) {
        request = std::move(conn.held);
        conn.held.reset();
        return Wire::FrameBuffer::Result::Frame;
    }
    const auto result = conn.buffer.next(&payload);
    if (result == Wire::FrameBuffer::Result::Frame) {
        conn.pending -= 4 + payload.size();
        m_framesInFlight -= 4 + payload.size();
        progress = true;
        request = Wire::decodeRequest(payload);
    }
    return result;
}

bool StandinServer::holdUntilLoginReady(Connection& conn, std::optional<Wire::Request>& request) {
    const qint64 readyAt = LoginReadyAt(conn.job, *request);
    const qint64 now = LoginThrottle::Now();
    if (readyAt <= now)
        return false;
    conn.held = std::move(request);
    conn.holding = true;
    armDeadline(conn);
    conn.hold->start(int(qMin<qint64>(readyAt - now, std::numeric_limits<int>::max())));
    return true;
}

bool StandinServer::holdForPasswordCheck(QTcpSocket* socket, Connection& conn,
                                         std::optional<Wire::Request>& request) {
    const QString password = request->args.value(5);
    if (request->op != Wire::Op::Hello || password.isEmpty() || conn.job.closed() ||
        (conn.job.lookupRefused && request->args.value(4).isEmpty()) ||
        (conn.job.passwordVerdicts && conn.job.passwordVerdicts->password == password))
        return false;
    QStringList stored;
    try {
        stored = PasswordsToCheck(conn.job, *request);
    } catch (const std::exception&) {
        // The HELLO meets the database's failure itself.
        return false;
    }
    conn.held = std::move(request);
    conn.holding = true;
    armDeadline(conn);
    const bool queued =
        m_checker->submit(conn.job.peer, password, stored, this,
                          [this, alive = QPointer<QTcpSocket>(socket)](PasswordVerdicts verdicts) {
                              if (!alive)
                                  return;
                              auto it = m_connections.find(alive);
                              if (it == m_connections.end())
                                  return;
                              it->second->job.passwordVerdicts = std::move(verdicts);
                              it->second->holding = false;
                              readFrom(alive);
                          });
    // A full queue: the HELLO tries again a little later.
    if (!queued)
        conn.hold->start(kCheckRetryMs);
    return true;
}

bool StandinServer::sendAnswers(QTcpSocket* socket, Connection& conn, const QByteArray& out) {
    // The answers leave now, not on the next turn of the event loop: what
    // is committed is told at once.
    conn.serving = true;
    socket->write(out);
    socket->flush();
    // Flushing may have ended the connection (its signals ran).
    if (m_connections.find(socket) == m_connections.end())
        return false;
    conn.serving = false;
    // What waited for the client to read may go on, in a turn of its own.
    if (conn.paused && pendingOutput(socket) <= m_engine.limits().maxPendingOutput / 2) {
        conn.paused = false;
        QMetaObject::invokeMethod(
            this,
            [this, alive = QPointer<QTcpSocket>(socket)] {
                if (alive)
                    readFrom(alive);
            },
            Qt::QueuedConnection);
    }
    return true;
}

void StandinServer::watchClient(Connection& conn, bool progress) {
    // The watch runs while the connection waits for its client; it starts
    // anew whenever a frame was completed or a command ended. While a HELLO
    // waits, or a command is paused and its client reads its answers, the
    // server is the one that waits.
    if (conn.holding || (conn.command && !conn.paused)) {
        conn.watch->stop();
    } else if (conn.paused || conn.pending > 0) {
        if (progress || !conn.watch->isActive())
            conn.watch->start(m_engine.limits().frameTimeoutMs);
    } else {
        conn.watch->stop();
    }
}

void StandinServer::forsake(QTcpSocket* socket, Connection& conn, int undone) {
    reportGone(socket, conn, undone);
    close(socket, QByteArray());
}

void StandinServer::reportGone(QTcpSocket* socket, Connection& conn, int undone) {
    // Counted for the report: the requests that came and are not run.
    int left = conn.held ? 1 : 0;
    conn.buffer.append(socket->readAll());
    QByteArray payload;
    while (conn.buffer.next(&payload) == Wire::FrameBuffer::Result::Frame)
        ++left;
    if (undone + left > 0)
        ServerReport(QStringLiteral("job %1: client gone; %2 requests not run, %3 undone")
                         .arg(conn.job.number())
                         .arg(left)
                         .arg(undone));
    if (conn.command)
        ServerReport(QStringLiteral("job %1: client gone; its M command ends where it paused")
                         .arg(conn.job.number()));
}

void StandinServer::wrote(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& conn = *it->second;
    // Inside serve(), which goes on by itself.
    if (!conn.paused || conn.serving)
        return;
    // The client reads again: once half of what waited has gone, the
    // requests that waited are served.
    conn.watch->start(m_engine.limits().frameTimeoutMs);
    if (pendingOutput(socket) <= m_engine.limits().maxPendingOutput / 2) {
        conn.paused = false;
        readFrom(socket);
    }
}

void StandinServer::timedOut(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    try {
        if (it->second->paused) {
            // Its answers are not read, so a last one would not be either.
            ServerReport(QStringLiteral("connection closed: answers not read in time"));
            close(socket, QByteArray());
        } else {
            close(socket, ErrorFrame(0, StandinErrors::BadRequest,
                                     QStringLiteral("Rahmen nicht rechtzeitig vollständig; "
                                                    "Verbindung wird getrennt")));
        }
    } catch (const std::exception&) {
        close(socket, QByteArray());
    }
}
