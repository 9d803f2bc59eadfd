// Requests from decoded frames answered by the dispatcher, as the server
// does for one connection, against the demo company: every request gets a
// reply, nothing throws, and each reply encodes as a frame.
#include "Dispatcher.h"
#include "FuzzSupport.h"
#include "Job.h"
#include "StandinEngine.h"
#include "common/WireProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StandinEngine& engine = FuzzEngine();
    Job job(engine);
    StandinTransaction scratch(engine); // rolled back
    // Logged in as the demo company's user; a HELLO among the frames changes
    // that as it would for a client.
    LogInAsDemoUser(job);
    Wire::FrameBuffer buffer;
    buffer.append(FuzzBytes(data, size));
    QByteArray payload;
    while (buffer.next(&payload) == Wire::FrameBuffer::Result::Frame) {
        const auto request = Wire::decodeRequest(payload);
        if (!request)
            break;
        const Wire::Reply reply = Dispatch(job, *request);
        if (reply.id != request->id)
            std::abort();
        const QByteArray frame = Wire::encodeReply(reply);
        if (!Wire::decodeReply(frame.sliced(4)))
            std::abort();
    }
    return 0;
}
