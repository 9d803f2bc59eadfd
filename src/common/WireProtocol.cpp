#include "WireProtocol.h"

#include "TextHelpers.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <cstring>

namespace Wire {

namespace {

void putU32(QByteArray& out, quint32 v) {
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

void putText(QByteArray& out, const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    putU32(out, quint32(utf8.size()));
    out.append(utf8);
}

void putTexts(QByteArray& out, const QStringList& list) {
    putU32(out, quint32(list.size()));
    for (const QString& s : list)
        putText(out, s);
}

// Starts a frame with room for the length, which finish() fills in.
QByteArray start() {
    return QByteArray(4, '\0');
}

QByteArray finish(QByteArray frame) {
    qToBigEndian(quint32(frame.size() - 4), frame.data());
    return frame;
}

class Reader {
public:
    explicit Reader(const QByteArray& b) : m_b(b) {}
    bool u8(quint8* v) {
        if (m_pos + 1 > m_b.size())
            return false;
        *v = quint8(m_b[m_pos++]);
        return true;
    }
    bool u32(quint32* v) {
        if (m_pos + 4 > m_b.size())
            return false;
        *v = qFromBigEndian<quint32>(m_b.constData() + m_pos);
        m_pos += 4;
        return true;
    }
    bool text(QString* s) {
        quint32 n = 0;
        if (!u32(&n) || qsizetype(n) > m_b.size() - m_pos)
            return false;
        *s = FromUtf8(QByteArrayView(m_b.constData() + m_pos, qsizetype(n)));
        m_pos += n;
        return true;
    }
    bool texts(QStringList* list) {
        quint32 n = 0;
        // Every text needs at least its 4-byte length, which bounds the count.
        if (!u32(&n) || qsizetype(n) > (m_b.size() - m_pos) / 4)
            return false;
        list->reserve(qsizetype(n));
        for (quint32 i = 0; i < n; ++i) {
            QString s;
            if (!text(&s))
                return false;
            list->append(std::move(s));
        }
        return true;
    }
    bool atEnd() const { return m_pos == m_b.size(); }

private:
    const QByteArray& m_b;
    qsizetype m_pos = 0;
};

} // namespace

QByteArray encodeRequest(const Request& r) {
    QByteArray out = start();
    putU32(out, r.id);
    out.append(char(quint8(r.op) | (r.chained ? kChainedFlag : 0)));
    putTexts(out, r.args);
    return finish(std::move(out));
}

QByteArray encodeReply(const Reply& r) {
    QByteArray out = start();
    putU32(out, r.id);
    out.append(char(r.status));
    if (r.status == Status::Ok) {
        out.reserve(out.size() + r.encoded.size() + 4 + r.values.size() * 8);
        putU32(out, quint32(r.values.size()) + r.encodedCount);
        for (const QString& s : r.values)
            putText(out, s);
        out.append(r.encoded);
    } else {
        putU32(out, quint32(r.errorNumber));
        putText(out, r.errorText);
    }
    return finish(std::move(out));
}

std::optional<Request> decodeRequest(const QByteArray& payload) {
    Reader in(payload);
    Request r;
    quint8 op = 0;
    if (!in.u32(&r.id) || !in.u8(&op))
        return std::nullopt;
    r.chained = (op & kChainedFlag) != 0;
    op &= quint8(~kChainedFlag);
    if (op < quint8(Op::Hello) || op > quint8(Op::Release) || !in.texts(&r.args) || !in.atEnd())
        return std::nullopt;
    r.op = Op(op);
    return r;
}

std::optional<Reply> decodeReply(const QByteArray& payload) {
    Reader in(payload);
    Reply r;
    quint8 status = 0;
    if (!in.u32(&r.id) || !in.u8(&status))
        return std::nullopt;
    if (status == quint8(Status::Ok)) {
        if (!in.texts(&r.values))
            return std::nullopt;
    } else if (status == quint8(Status::Error)) {
        quint32 n = 0;
        if (!in.u32(&n) || !in.text(&r.errorText))
            return std::nullopt;
        r.errorNumber = qint32(n);
    } else {
        return std::nullopt;
    }
    r.status = Status(status);
    if (!in.atEnd())
        return std::nullopt;
    return r;
}

void appendText(QByteArray& out, QByteArrayView utf8) {
    // Written in place: a batch of rows makes hundreds of thousands.
    const qsizetype at = out.size();
    out.resize(at + 4 + utf8.size());
    char* p = out.data() + at;
    qToBigEndian(quint32(utf8.size()), p);
    if (!utf8.isEmpty())
        memcpy(p + 4, utf8.data(), size_t(utf8.size()));
}

void appendText(QByteArray& out, const QString& text) {
    putText(out, text);
}

bool appendDecoded(QByteArrayView encoded, QStringList& out) {
    qsizetype pos = 0;
    while (pos < encoded.size()) {
        if (encoded.size() - pos < 4)
            return false;
        const quint32 n = qFromBigEndian<quint32>(encoded.data() + pos);
        pos += 4;
        if (qsizetype(n) > encoded.size() - pos)
            return false;
        out.append(FromUtf8(encoded.sliced(pos, qsizetype(n))));
        pos += n;
    }
    return true;
}

QString RawTexts::text(qsizetype i) const {
    const QByteArrayView v = view(i);
    return v.isEmpty() ? QString() : FromUtf8(v);
}

QStringList RawTexts::toStringList() const {
    QStringList list;
    list.reserve(m_spans.size());
    for (qsizetype i = 0; i < m_spans.size(); ++i)
        list.append(text(i));
    return list;
}

// Reads the counted texts of a payload from pos as spans into t.
struct RawReader {
    static bool read(RawTexts& t, QByteArray payload, qsizetype pos) {
        const QByteArray& b = payload;
        if (pos + 4 > b.size())
            return false;
        const quint32 n = qFromBigEndian<quint32>(b.constData() + pos);
        pos += 4;
        // Every text needs at least its 4-byte length, which bounds the count.
        if (qsizetype(n) > (b.size() - pos) / 4)
            return false;
        t.m_spans.resize(qsizetype(n));
        for (quint32 i = 0; i < n; ++i) {
            if (pos + 4 > b.size())
                return false;
            const quint32 len = qFromBigEndian<quint32>(b.constData() + pos);
            pos += 4;
            if (qsizetype(len) > b.size() - pos)
                return false;
            t.m_spans[i] = {quint32(pos), len};
            pos += len;
        }
        if (pos != b.size())
            return false;
        t.m_payload = std::move(payload);
        return true;
    }
};

RawTexts RawTexts::fromStringList(const QStringList& texts) {
    QByteArray payload;
    putTexts(payload, texts);
    RawTexts t;
    RawReader::read(t, std::move(payload), 0);
    return t;
}

std::optional<RawReply> decodeRawReply(QByteArray payload) {
    if (payload.size() < 5)
        return std::nullopt;
    RawReply r;
    r.id = qFromBigEndian<quint32>(payload.constData());
    const quint8 status = quint8(payload[4]);
    if (status == quint8(Status::Ok)) {
        if (!RawReader::read(r.values, std::move(payload), 5))
            return std::nullopt;
        return r;
    }
    // Errors are rare and small: read as usual.
    auto e = decodeReply(payload);
    if (!e || e->status != Status::Error)
        return std::nullopt;
    r.status = Status::Error;
    r.errorNumber = e->errorNumber;
    r.errorText = e->errorText;
    return r;
}

quint32 FrameBuffer::announced() const {
    if (m_buffer.size() - m_offset < 4)
        return 0;
    return qFromBigEndian<quint32>(m_buffer.constData() + m_offset);
}

FrameBuffer::Result FrameBuffer::next(QByteArray* payload) {
    const qsizetype available = m_buffer.size() - m_offset;
    if (available < 4)
        return Result::NeedMore;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_offset);
    if (length > kMaxFrame)
        return Result::TooLarge;
    if (available < 4 + qsizetype(length))
        return Result::NeedMore;
    *payload = m_buffer.mid(m_offset + 4, length);
    m_offset += 4 + length;
    // Compact once the consumed part dominates, so the buffer does not grow
    // without bound on a long-lived connection.
    if (m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    } else if (m_offset > 65536 && m_offset * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    return Result::Frame;
}

QString opName(Op op) {
    switch (op) {
    case Op::Hello:
        return QStringLiteral("HELLO");
    case Op::New:
        return QStringLiteral("NEW");
    case Op::Open:
        return QStringLiteral("OPEN");
    case Op::Method:
        return QStringLiteral("METHOD");
    case Op::ClassMethod:
        return QStringLiteral("CLASSMETHOD");
    case Op::Get:
        return QStringLiteral("GET");
    case Op::Set:
        return QStringLiteral("SET");
    case Op::Query:
        return QStringLiteral("QUERY");
    case Op::Fetch:
        return QStringLiteral("FETCH");
    case Op::QueryClose:
        return QStringLiteral("QCLOSE");
    case Op::Ping:
        return QStringLiteral("PING");
    case Op::Release:
        return QStringLiteral("RELEASE");
    }
    return QStringLiteral("?");
}

QString Fingerprint(const QByteArray& der) {
    return QString::fromLatin1(
        QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
}

} // namespace Wire
