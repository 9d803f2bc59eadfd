#pragma once

#include "common/WireProtocol.h"

class Job;

// Answers one request of a job. Never throws: every failure becomes an
// error reply with a number and a description.
Wire::Reply Dispatch(Job& job, const Wire::Request& request);

constexpr auto kStandinServerName = "veltar-standin";
