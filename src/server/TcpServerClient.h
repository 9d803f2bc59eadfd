#pragma once

#include "server/ServerClient.h"

#include <QHash>
#include <QSet>
#include <QTcpSocket>
#include <deque>

// What the bytes received so far give for the next answer of the server.
enum class ReplyFrame {
    Reply,     // a whole frame holding a valid answer, taken from the buffer
    NeedMore,  // the next frame is not complete yet
    TooLarge,  // the next frame announces more than Wire::kMaxFrame bytes
    Malformed, // the next frame is no answer (it is taken from the buffer)
};
// Takes the next answer out of buffer into *reply (only for
// ReplyFrame::Reply).
ReplyFrame TakeReply(Wire::FrameBuffer& buffer, Wire::RawReply* reply);

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
    Wire::RawTexts awaitRaw(quint32 id) override;
    quint32 postKept(Wire::Op op, const QStringList& args, bool chained = false) override;
    int inFlight() const { return int(m_pending.size()); }

    void setTimeouts(int connectMs, int readMs) {
        m_connectTimeoutMs = connectMs;
        m_readTimeoutMs = readMs;
    }

protected:
    bool openConnection(const QString& connectString) override;
    void closeConnection() override;

private:
    // Bytes of posted requests that are handed to the kernel together.
    static constexpr qint64 kSendChunk = 8192;
    Wire::RawReply readReply();
    [[noreturn]] void fail(int number, const QString& text);

    QTcpSocket m_socket;
    Wire::FrameBuffer m_buffer;
    std::deque<quint32> m_pending;
    // Requests posted with postKept() and not yet awaited; the answers of
    // those that later awaits passed over.
    QSet<quint32> m_keep;
    QHash<quint32, Wire::RawReply> m_kept;
    quint32 m_nextId = 1;
    int m_connectTimeoutMs = 5000;
    int m_readTimeoutMs = 120000;
    bool m_ready = false;
};
