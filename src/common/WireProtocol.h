#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// The frames that client and server exchange; docs/wire-protocol.md is the
// reference. Every frame is a 4-byte big-endian payload length followed by
// the payload. Requests and replies carry a list of UTF-8 texts.
namespace Wire {

constexpr quint32 kMaxFrame = 16 * 1024 * 1024;        // payload bytes
constexpr int kDefaultBatch = 500;                     // rows per FETCH
inline const QString kMagic = QStringLiteral("VLT/1"); // first text of HELLO
// The third value of HELLO's answer: what the connection may do.
inline const QString kAccessUser = QStringLiteral("user");         // an active user: everything
inline const QString kAccessInactive = QStringLiteral("inactive"); // an inactive user: the login
inline const QString kAccessGuest = QStringLiteral("guest");       // no user: the login

enum class Op : quint8 {
    Hello = 1,       // [magic, namespace, client name, company, user code, password]
                     //   -> [server name, job number, access]
    New = 2,         // [class] -> [object ref]
    Open = 3,        // [class, id] -> [object ref]
    Method = 4,      // [object ref, method, args...] -> [result, args after the call...]
    ClassMethod = 5, // [class, method, args...] -> [result, args after the call...]
    Get = 6,         // [object ref, property] -> [value]
    Set = 7,         // [object ref, property, value] -> []
    Query = 8,       // [class, query, batch, args...] -> [result ref, columns, more, cells...]
    Fetch = 9,       // [result ref, batch] -> [more, cells...]
    QueryClose = 10, // [result ref] -> []
    Ping = 11,       // [any...] -> [the same]
    Release = 12,    // [object ref] -> [] (drops the reference without closing on the server)
};

enum class Status : quint8 { Ok = 0, Error = 1 };

struct Request {
    quint32 id = 0;
    Op op = Op::Ping;
    QStringList args;
    // A chained request is skipped (answered with kSkippedError) when an
    // earlier chained request of the connection failed since the last
    // request that was not chained. It lets a client keep many dependent
    // requests in flight without anything after a failure taking effect.
    bool chained = false;
};

constexpr quint8 kChainedFlag = 0x80;
constexpr int kSkippedError = 5011;

struct Reply {
    quint32 id = 0;
    Status status = Status::Ok;
    QStringList values; // when Ok
    qint32 errorNumber = 0;
    QString errorText; // when Error
    // When Ok: further texts after values, already encoded with appendText().
    QByteArray encoded;
    quint32 encodedCount = 0;
};

// The texts of an answer as they came over the wire: spans of UTF-8 in
// the payload, converted only when asked. A batch of rows is read without a
// string per cell.
class RawTexts {
public:
    RawTexts() = default;
    qsizetype size() const { return m_spans.size(); }
    bool isEmpty() const { return m_spans.isEmpty(); }
    QByteArrayView view(qsizetype i) const {
        if (i < 0 || i >= m_spans.size())
            return {};
        const Span& s = m_spans[i];
        return QByteArrayView(m_payload.constData() + s.at, s.size);
    }
    QString text(qsizetype i) const;
    QStringList toStringList() const;
    static RawTexts fromStringList(const QStringList& texts);

private:
    friend struct RawReader;
    struct Span {
        quint32 at;
        quint32 size;
    };
    QByteArray m_payload;
    QVector<Span> m_spans;
};

struct RawReply {
    quint32 id = 0;
    Status status = Status::Ok;
    RawTexts values; // when Ok
    qint32 errorNumber = 0;
    QString errorText; // when Error
};

QByteArray encodeRequest(const Request& r);
QByteArray encodeReply(const Reply& r);
// Appends one text as a frame carries it (length, then UTF-8); a reply's
// texts may be built this way straight from stored UTF-8 (Reply::encoded).
void appendText(QByteArray& out, QByteArrayView utf8);
void appendText(QByteArray& out, const QString& text);
// Appends to out the texts that appendText() wrote into encoded; false when
// encoded is not a whole number of such texts.
bool appendDecoded(QByteArrayView encoded, QStringList& out);

// Decoding of one payload (without the length prefix). nullopt when the
// payload is malformed.
std::optional<Request> decodeRequest(const QByteArray& payload);
std::optional<Reply> decodeReply(const QByteArray& payload);
// The same without converting the texts; the payload is kept.
std::optional<RawReply> decodeRawReply(QByteArray payload);

// Collects bytes from a stream and hands out complete payloads.
class FrameBuffer {
public:
    enum class Result { Frame, NeedMore, TooLarge };
    void append(const QByteArray& bytes) { m_buffer.append(bytes); }
    Result next(QByteArray* payload);
    // The payload length the next frame announces; 0 while its length has
    // not arrived.
    quint32 announced() const;
    void clear() {
        m_buffer.clear();
        m_offset = 0;
    }

private:
    QByteArray m_buffer;
    qsizetype m_offset = 0;
};

QString opName(Op op);

// The fingerprint of a TLS certificate as both sides show it: SHA-256 of
// its DER form, upper-case hex bytes joined by ':'.
QString Fingerprint(const QByteArray& der);

} // namespace Wire
