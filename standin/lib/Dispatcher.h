#pragma once

#include "Fiber.h"
#include "common/WireProtocol.h"

class Job;

// Answers one request of a job. Never throws: every failure becomes an
// error reply with a number and a description.
Wire::Reply Dispatch(Job& job, const Wire::Request& request);
// The same as the frame that goes out; rows of a result set are encoded
// straight from the database.
QByteArray DispatchFrame(Job& job, const Wire::Request& request);

// A request that runs M (Xecute) may take longer than a slice: it runs on a
// fiber of its own, a slice at a time, between the other connections'
// requests. What it stored in a slice stays when a later one fails, as an
// M command keeps what it did before an error.
class SlicedRequest {
public:
    SlicedRequest(Job& job, Wire::Request request);
    static bool Needed(const Wire::Request& request);

    // Goes on for a slice of sliceMs; true once the answer is there. It
    // pauses only outside a transaction of its own.
    bool run(int sliceMs);
    const Wire::Request& request() const { return m_request; }
    const QByteArray& answer() const { return m_answer; }

private:
    Job& m_job;
    const Wire::Request m_request;
    QByteArray m_answer;
    int m_depth = 0;
    // Last: a paused work unwinds while the rest is still there.
    Fiber m_fiber;
};

constexpr auto kStandinServerName = "veltar-standin";
