// The frame decoder the server reads every connection with: any bytes,
// split anywhere, give frames, a wait for more or a refusal, and every
// decoded request or reply encodes to the same thing again.
#include "FuzzSupport.h"
#include "common/WireProtocol.h"

#include <cstdlib>

namespace {

void checkRequest(const Wire::Request& r) {
    const QByteArray frame = Wire::encodeRequest(r);
    const auto again = Wire::decodeRequest(frame.sliced(4));
    if (!again || again->id != r.id || again->op != r.op || again->chained != r.chained ||
        again->args != r.args)
        std::abort();
}

void checkReply(const Wire::Reply& r) {
    const QByteArray frame = Wire::encodeReply(r);
    const auto again = Wire::decodeReply(frame.sliced(4));
    if (!again || again->id != r.id || again->status != r.status || again->values != r.values ||
        again->errorNumber != r.errorNumber || again->errorText != r.errorText)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = FuzzBytes(data, size);
    // The first byte says where the stream is cut in two arrivals.
    const qsizetype cut = size > 0 ? qsizetype(data[0]) % (bytes.size() + 1) : 0;
    Wire::FrameBuffer buffer;
    buffer.append(bytes.first(cut));
    QByteArray payload;
    bool second = false;
    for (;;) {
        const auto result = buffer.next(&payload);
        if (result == Wire::FrameBuffer::Result::TooLarge)
            break;
        if (result == Wire::FrameBuffer::Result::NeedMore) {
            if (second)
                break;
            second = true;
            buffer.append(bytes.sliced(cut));
            continue;
        }
        if (payload.size() > qsizetype(Wire::kMaxFrame))
            std::abort();
        if (const auto request = Wire::decodeRequest(payload))
            checkRequest(*request);
        if (const auto reply = Wire::decodeReply(payload))
            checkReply(*reply);
    }
    return 0;
}
