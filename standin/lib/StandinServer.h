#pragma once

#include "StandinEngine.h"
#include "common/WireProtocol.h"

#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QTcpServer>
#include <memory>
#include <optional>
#include <unordered_map>

class Job;
class PasswordChecker;
class QElapsedTimer;
class QTcpSocket;
struct StandinConnection;

// Serves the wire protocol: one job per connection, requests answered in
// order, over TLS (setTls) or plain TCP. A malformed or oversized frame
// closes that connection only. The engine's limits bound what each
// connection may hold: the server refuses connections beyond the maximum
// and beyond an address's share (making room by ending the oldest
// connection without a login of the address that holds most), stops
// reading from a connection whose answers are not being read, and closes
// one that holds an incomplete frame too long, that does not finish its
// TLS handshake and HELLO in time, that stays without a valid login too
// long or that is idle too long. Every connection counts from the moment
// TCP takes it, and its place is free again however it ends. A HELLO that
// must wait after failed logins (Access.h, LoginReadyAt) holds its
// connection until its time; the others are served meanwhile, and a
// connection that sent much work yields to the others after each slice.
// No failure leaves an event handler: it ends that one connection at
// worst.
class StandinServer : public QObject {
    Q_OBJECT
public:
    explicit StandinServer(StandinEngine& engine, QObject* parent = nullptr);
    ~StandinServer() override;

    // Serves TLS with this configuration (certificate and key) instead of
    // plain TCP; before listen().
    void setTls(const QSslConfiguration& configuration) { m_tls = configuration; }
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_server ? m_server->serverPort() : 0; }
    QString errorString() const { return m_server ? m_server->errorString() : QString(); }
    int connectionCount() const { return int(m_connections.size()); }

private:
    using Connection = StandinConnection;
    class Acceptor;
    class Batch;
    void accept();
    // Takes a new connection or refuses it (StandinAdmission.cpp).
    void admit(QTcpSocket* socket);
    void startConnection(QTcpSocket* socket);
    // Ends the oldest connection without a login of the address that holds
    // most, when that is not `address`; false when there is none.
    bool makeRoomFor(const QString& address);
    void refuse(QTcpSocket* socket, int number, const QString& text);
    // The deadline of the connection's phase, after a request or a hold.
    void armDeadline(Connection& conn);
    void expire(QTcpSocket* socket);
    // Forgets a connection: its place, its address's count and its frames.
    void forget(QTcpSocket* socket);
    void readFrom(QTcpSocket* socket);
    // readFrom() in the next turn of the event loop, once however often the
    // socket reports new bytes meanwhile.
    void scheduleRead(QTcpSocket* socket);
    // scheduleRead() once the others have been served: after a connection
    // used up its slice (turns: those it has waited so far).
    void continueLater(QTcpSocket* socket, int turns);
    void serve(QTcpSocket* socket, Connection& conn);
    // The steps of serve(): the next request of a connection (the HELLO it
    // held, else the next frame of its buffer; none for a frame that is too
    // large or no request; progress set when a frame was completed), the
    // answers of a batch sent at once (false when that ended the
    // connection), and the watch over a client that keeps the server
    // waiting.
    Wire::FrameBuffer::Result nextRequest(Connection& conn, QByteArray& payload,
                                          std::optional<Wire::Request>& request, bool& progress);
    // Holds a HELLO that must wait after failed logins until its time.
    bool holdUntilLoginReady(Connection& conn, std::optional<Wire::Request>& request);
    // Holds a HELLO with a password until the checker thread has checked
    // it (or, when its queue is full, until it tries again).
    bool holdForPasswordCheck(QTcpSocket* socket, Connection& conn,
                              std::optional<Wire::Request>& request);
    bool sendAnswers(QTcpSocket* socket, Connection& conn, const QByteArray& out);
    // Takes a request's answer into the batch; false when it ended the
    // connection.
    bool answered(QTcpSocket* socket, Connection& conn, Batch& batch, QByteArray& out,
                  const Wire::Request& request, QByteArray answer);
    // What an M command may run now: what is left of the turn's slice, at
    // most an M slice, at least 1 ms.
    static int sliceLeft(const StandinLimits& limits, const QElapsedTimer& turn);
    void watchClient(Connection& conn, bool progress);
    void wrote(QTcpSocket* socket);
    void timedOut(QTcpSocket* socket);
    // The held HELLO's time has come.
    void resume(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    // The client has gone: what it sent is not run (undone: requests of
    // the batch rolled back), and the connection is closed.
    void forsake(QTcpSocket* socket, Connection& conn, int undone);
    // Reports the requests of a client that has gone that are not run.
    void reportGone(QTcpSocket* socket, Connection& conn, int undone);
    // Forgets the connection and closes its socket, after sending `last`
    // when it is not empty.
    void close(QTcpSocket* socket, const QByteArray& last);

    StandinEngine& m_engine;
    std::optional<QSslConfiguration> m_tls;
    std::unique_ptr<QTcpServer> m_server;
    std::unique_ptr<PasswordChecker> m_checker;
    std::unordered_map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
    // Connections per address, and connections being refused (each is held
    // until its answer is out, at most a short time).
    QHash<QString, int> m_perAddress;
    int m_refusing = 0;
    // Reads queued by scheduleRead() and not yet run.
    int m_readsQueued = 0;
    quint64 m_serial = 0;
    // Bytes of incomplete frames of all connections.
    qint64 m_framesInFlight = 0;
};
