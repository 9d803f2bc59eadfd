#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

class Job;
class StandinEngine;

// The engine every input of a fuzz target runs against: the demo company in
// a temporary database, with small limits so that one input stays cheap.
// Each input runs in a transaction that is rolled back, so that inputs do
// not change what the next one sees.
StandinEngine& FuzzEngine();
// What a HELLO of the demo user DEM (password "demo") makes of a job,
// without the cost of checking the password's hash for every input.
void LogInAsDemoUser(Job& job);

inline QByteArray FuzzBytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}
