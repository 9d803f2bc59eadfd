#pragma once

#include "server/ServerClient.h"

#include <QTcpSocket>
#include <deque>

// The client of the wire protocol over one persistent TCP connection.
// Requests are answered in order; post() and await() let a caller keep many
// requests in flight where it does not need each answer before the next call.
class TcpServerClient : public ServerClient {
public:
    TcpServerClient();
    ~TcpServerClient() override;

    bool isConnected() const override;

    // Sends a request without waiting; its answer is read by await(id).
    quint32 post(Wire::Op op, const QStringList& args, bool chained = false) override;
    // Waits for the answer of a posted request; answers of earlier requests
    // that nobody awaited are dropped (their errors too).
    QStringList await(quint32 id) override;
    int inFlight() const { return int(m_pending.size()); }

    void setTimeouts(int connectMs, int readMs) {
        m_connectTimeoutMs = connectMs;
        m_readTimeoutMs = readMs;
    }

protected:
    bool openConnection(const QString& connectString) override;
    void closeConnection() override;

private:
    Wire::Reply readReply();
    [[noreturn]] void fail(int number, const QString& text);

    QTcpSocket m_socket;
    Wire::FrameBuffer m_buffer;
    std::deque<quint32> m_pending;
    quint32 m_nextId = 1;
    int m_connectTimeoutMs = 5000;
    int m_readTimeoutMs = 120000;
    bool m_ready = false;
};
