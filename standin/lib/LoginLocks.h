#pragma once

#include <QString>

class StandinStore;

// Locks of user codes after failed logins (LoginThrottle), each for the
// address the failures came from, kept in the database (table
// login_locks) so that a restart lifts none. The code "*" stands for the
// look-up by password alone. Times are wall-clock milliseconds.
namespace LoginLocks {

inline const QString kLookup = QStringLiteral("*");

// Creates the table when it is missing.
void Create(StandinStore& store);
// Whether the code of the company is locked for the address now.
bool Locked(StandinStore& store, const QString& company, const QString& code,
            const QString& address);
void Lock(StandinStore& store, const QString& company, const QString& code, const QString& address,
          qint64 durationMs);
// Lifts every lock of the code (of every company and address; "*": of the
// look-up by password alone); returns how many there were in force.
int Unlock(StandinStore& store, const QString& code);
// Milliseconds since the epoch.
qint64 WallNow();

} // namespace LoginLocks
