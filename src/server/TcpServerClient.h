#pragma once

#include <functional>

#include "server/ServerClient.h"

#include <QHash>
#include <QSet>
#include <QSslSocket>
#include <deque>
#include <memory>
#include <optional>

// The error text of a call whose answer did not come within ms.
QString TimeoutText(int ms);

// The texts of a server certificate that is not trusted (error 465): one
// that differs from the fingerprint trusted before for that server
// ("HOST:PORT"), one the CA file does not vouch for, a CA file without a
// certificate.
QString CertificateChangedText(const QString& server, const QString& known, const QString& shown);
QString CertificateUntrustedText(const QString& server, const QString& reasons);
QString CaFileUnreadableText(const QString& file);
// The text of a first contact: the server ("HOST:PORT"), the address its
// name resolved to and the fingerprint it shows.
QString FirstContactText(const QString& server, const QString& address, const QString& fingerprint);
QString FirstContactRefusedText(const QString& server);

// Asked on the first contact with a server whose certificate no CA file
// vouches for: whether to trust it. By default the text goes to standard
// error and the server is trusted (as ssh does); the program asks.
using FirstContactFunction = std::function<bool(const QString& text)>;
FirstContactFunction SetFirstContactFunction(FirstContactFunction f);

// How the client secures its connection, from the workstation settings
// (application "Cache Login", section "TLS"): TLS unless "OhneTLS" is "J"
// (or plain TCP is set for the program, quendra-cli --no-tls); the server's
// certificate verified against the CA certificates of the PEM file
// "CAFile", or without one trusted on first use (FirstContactFunction): the
// fingerprint the server shows first is kept for the name and port it was
// reached by and for the address that resolved to (section "Zertifikate",
// keys "HOST:PORT" and "ADDRESS:PORT"), and a server that later shows
// another under either is refused.
struct Transport {
    bool plain = false;
    QString caFile;
    static Transport fromSettings();
};

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

// The client of the wire protocol over one persistent connection, TLS or
// plain TCP (Transport). Requests are answered in order; post() and await()
// let a caller keep many requests in flight where it does not need each
// answer before the next call.
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

    // How long a connection waits: for the connection itself, for the
    // server's greeting (its TLS handshake and the answer to HELLO each; a
    // server that accepts but does not answer, a stopped one, must not hold
    // the login long), and for the answer of any later call (long calls
    // take their time).
    struct Timeouts {
        int connectMs = 5000;
        int greetingMs = 10000;
        int readMs = 120000;
    };
    // What new clients start with: the program's and a tool's (quendra-cli
    // --timeout) choice.
    static Timeouts defaultTimeouts();
    static void setDefaultTimeouts(const Timeouts& timeouts);
    void setTimeouts(const Timeouts& timeouts) { m_timeouts = timeouts; }
    // Plain TCP for every connection of the program, whatever the settings
    // say (quendra-cli --no-tls).
    static void setPlainTcp(bool plain);
    static bool plainTcp();
    // Whether the current connection is encrypted.
    bool encrypted() const;

protected:
    bool openConnection(const QString& connectString) override;
    void closeConnection() override;

private:
    // Bytes of posted requests that are handed to the kernel together.
    static constexpr qint64 kSendChunk = 8192;
    Wire::RawReply readReply();
    // A broken stream (a reply that cannot be read): nothing more is read.
    [[noreturn]] void fail(int number, const QString& text);
    // The connection ended or timed out: the answers that arrived before
    // still count and are read by the awaits in order; then each fails
    // with this error.
    [[noreturn]] void lose(int number, const QString& text);
    void forget();
    // Hands the posted requests to the kernel.
    void send();
    // Connects with TLS and checks the server's certificate; false with
    // the reason in m_lastError (and m_lastErrorNumber for a certificate
    // that is not trusted).
    bool connectTls(const ConnectTarget& target, const Transport& transport);

    // A QSslSocket for TLS, a QTcpSocket for plain TCP.
    std::unique_ptr<QTcpSocket> m_socket;
    Wire::FrameBuffer m_buffer;
    std::deque<quint32> m_pending;
    // Requests posted with postKept() and not yet awaited; the answers of
    // those that later awaits passed over.
    QSet<quint32> m_keep;
    QHash<quint32, Wire::RawReply> m_kept;
    quint32 m_nextId = 1;
    Timeouts m_timeouts = defaultTimeouts();
    int m_waitMs = m_timeouts.readMs; // for the answer being read
    std::optional<ServerError> m_lost;
    bool m_ready = false;
};
