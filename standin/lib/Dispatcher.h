#pragma once

#include "common/WireProtocol.h"

class Job;

// Answers one request of a job. Never throws: every failure becomes an
// error reply with a number and a description.
Wire::Reply Dispatch(Job& job, const Wire::Request& request);
// The same as the frame that goes out; rows of a result set are encoded
// straight from the database.
QByteArray DispatchFrame(Job& job, const Wire::Request& request);

constexpr auto kStandinServerName = "veltar-standin";
