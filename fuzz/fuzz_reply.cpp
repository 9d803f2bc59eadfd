// The client's side of the frames: the bytes a server sends, arriving in
// pieces, taken apart into answers as the TCP client does (TakeReply), and
// every answer decoded both ways (as texts and as raw spans), which must
// agree and encode to the same answer again.
//
// Input: the first byte is the size of each arrival (0: all at once), the
// rest is the stream from the server.
#include "FuzzChecks.h"
#include "FuzzSupport.h"
#include "common/WireProtocol.h"
#include "server/TcpServerClient.h"

#include <QtEndian>

namespace {

bool sameReply(const Wire::Reply& a, const Wire::Reply& b) {
    return a.id == b.id && a.status == b.status && a.values == b.values &&
           a.errorNumber == b.errorNumber && a.errorText == b.errorText;
}

// A reply decoded from payload encodes to a frame that decodes to it again;
// to payload itself when every text was valid UTF-8. Its texts may also be
// given already encoded (Reply::encoded) with the same frame as the result.
void checkEncoding(const QByteArray& payload, const Wire::Reply& reply, const Wire::RawReply& raw) {
    const QByteArray frame = Wire::encodeReply(reply);
    FUZZ_CHECK(frame.size() >= 4);
    FUZZ_CHECK(qFromBigEndian<quint32>(frame.constData()) == quint32(frame.size() - 4));
    const auto again = Wire::decodeReply(frame.sliced(4));
    FUZZ_CHECK(again && sameReply(*again, reply));

    if (reply.status == Wire::Status::Error) {
        // id, status, number, then the text's length and bytes.
        FUZZ_CHECK(payload.size() >= 13);
        if (IsStrictUtf8(QByteArrayView(payload).sliced(13)))
            FUZZ_CHECK(frame.sliced(4) == payload);
        return;
    }
    // Whether texts [from, to) are valid UTF-8 in the payload.
    auto valid = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            if (!IsStrictUtf8(raw.values.view(i)))
                return false;
        return true;
    };
    const qsizetype count = reply.values.size();
    if (valid(0, count))
        FUZZ_CHECK(frame.sliced(4) == payload);

    // The second half of the texts handed over encoded, from the strings and
    // from the payload's own bytes.
    const qsizetype half = count / 2;
    Wire::Reply fromStrings;
    fromStrings.id = reply.id;
    fromStrings.values = reply.values.first(half);
    Wire::Reply fromBytes = fromStrings;
    for (qsizetype i = half; i < count; ++i) {
        Wire::appendText(fromStrings.encoded, reply.values[i]);
        Wire::appendText(fromBytes.encoded, raw.values.view(i));
    }
    fromStrings.encodedCount = quint32(count - half);
    fromBytes.encodedCount = fromStrings.encodedCount;
    FUZZ_CHECK(Wire::encodeReply(fromStrings) == frame);
    // The first half went through strings, the second did not.
    const QByteArray mixed = Wire::encodeReply(fromBytes);
    if (valid(0, half))
        FUZZ_CHECK(mixed.sliced(4) == payload);
    if (valid(half, count))
        FUZZ_CHECK(mixed == frame);
    Wire::Reply allEncoded;
    allEncoded.id = reply.id;
    allEncoded.encoded = payload.sliced(9);
    allEncoded.encodedCount = quint32(count);
    FUZZ_CHECK(Wire::encodeReply(allEncoded).sliced(4) == payload);

    // The texts after the count read back one by one, after what the list
    // holds already.
    QStringList list{QStringLiteral("davor")};
    FUZZ_CHECK(Wire::appendDecoded(QByteArrayView(payload).sliced(9), list));
    FUZZ_CHECK(list.size() == count + 1);
    FUZZ_CHECK(list.first() == u"davor" && list.mid(1) == reply.values);
}

// One payload: both decoders agree on it.
void checkPayload(const QByteArray& payload) {
    const auto reply = Wire::decodeReply(payload);
    const auto raw = Wire::decodeRawReply(payload);
    FUZZ_CHECK(reply.has_value() == raw.has_value());
    if (!reply)
        return;
    FUZZ_CHECK(raw->id == reply->id && raw->status == reply->status);
    if (reply->status == Wire::Status::Ok) {
        FUZZ_CHECK(raw->values.size() == reply->values.size());
        FUZZ_CHECK(raw->values.toStringList() == reply->values);
        for (qsizetype i = 0; i < raw->values.size(); ++i) {
            FUZZ_CHECK(raw->values.text(i) == reply->values[i]);
            // Valid UTF-8 reads as exactly its characters.
            if (IsStrictUtf8(raw->values.view(i)))
                FUZZ_CHECK(reply->values[i].toUtf8() == raw->values.view(i));
        }
        FUZZ_CHECK(raw->values.view(-1).isEmpty() &&
                   raw->values.view(raw->values.size()).isEmpty());
    } else {
        FUZZ_CHECK(raw->values.isEmpty());
        FUZZ_CHECK(raw->errorNumber == reply->errorNumber && raw->errorText == reply->errorText);
    }
    checkEncoding(payload, *reply, *raw);
}

// appendDecoded on any bytes: true exactly when they are a whole number of
// length-prefixed texts, and then one text per such piece, which encodes to
// its bytes again when they are valid UTF-8.
void checkEncodedTexts(const QByteArray& bytes) {
    QList<QByteArrayView> pieces;
    qsizetype pos = 0;
    bool whole = true;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 4) {
            whole = false;
            break;
        }
        const quint32 n = qFromBigEndian<quint32>(bytes.constData() + pos);
        if (qint64(n) > qint64(bytes.size() - pos - 4)) {
            whole = false;
            break;
        }
        pieces << QByteArrayView(bytes).sliced(pos + 4, qsizetype(n));
        pos += 4 + qsizetype(n);
    }
    QStringList texts;
    FUZZ_CHECK(Wire::appendDecoded(bytes, texts) == whole);
    if (!whole)
        return;
    FUZZ_CHECK(texts.size() == pieces.size());
    QByteArray encoded;
    bool valid = true;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        Wire::appendText(encoded, texts[i]);
        if (IsStrictUtf8(pieces[i]))
            FUZZ_CHECK(texts[i].toUtf8() == pieces[i]);
        else
            valid = false;
    }
    if (valid)
        FUZZ_CHECK(encoded == bytes);
}

// Where the next frame of the stream from pos ends (-1: not complete), or
// -2 when its length is above the limit.
qint64 frameEnd(const QByteArray& stream, qsizetype pos, qsizetype available) {
    if (available - pos < 4)
        return -1;
    const quint32 length = qFromBigEndian<quint32>(stream.constData() + pos);
    if (length > Wire::kMaxFrame)
        return -2;
    if (qint64(available) - pos - 4 < qint64(length))
        return -1;
    return pos + 4 + qint64(length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray stream = FuzzBytes(data + 1, size - 1);
    const qsizetype step = data[0] == 0 ? std::max<qsizetype>(stream.size(), 1) : data[0];

    checkPayload(stream);
    checkEncodedTexts(stream);

    Wire::FrameBuffer buffer;
    qsizetype arrived = 0; // bytes handed to the buffer
    qsizetype pos = 0;     // where the next frame starts in the stream
    for (;;) {
        Wire::RawReply reply;
        reply.id = 0xDEADBEEF;
        const ReplyFrame result = TakeReply(buffer, &reply);
        const qint64 end = frameEnd(stream, pos, arrived);
        if (result == ReplyFrame::NeedMore) {
            FUZZ_CHECK(end == -1);
            FUZZ_CHECK(reply.id == 0xDEADBEEF);
            if (arrived == stream.size())
                break;
            const qsizetype piece = std::min(step, stream.size() - arrived);
            buffer.append(stream.sliced(arrived, piece));
            arrived += piece;
            continue;
        }
        if (result == ReplyFrame::TooLarge) {
            // The client gives the connection up.
            FUZZ_CHECK(end == -2);
            break;
        }
        FUZZ_CHECK(end >= 0);
        const QByteArray payload = stream.sliced(pos, end - pos).sliced(4);
        pos = qsizetype(end);
        const auto decoded = Wire::decodeReply(payload);
        FUZZ_CHECK((result == ReplyFrame::Reply) == decoded.has_value());
        if (result == ReplyFrame::Reply) {
            FUZZ_CHECK(reply.id == decoded->id && reply.status == decoded->status);
            FUZZ_CHECK(reply.values.toStringList() == decoded->values);
            FUZZ_CHECK(reply.errorNumber == decoded->errorNumber);
            FUZZ_CHECK(reply.errorText == decoded->errorText);
        } else {
            FUZZ_CHECK(reply.id == 0xDEADBEEF);
        }
        // The client gives the connection up after a malformed answer; the
        // frames after it are read here all the same.
        checkPayload(payload);
    }
    return 0;
}
