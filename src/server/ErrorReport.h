#pragma once

#include "common/ServerError.h"

#include <QString>

class Connection;

// The report of a failed server call: a warning box titled "Caché
// Zugriffsfehler" and a trace line.

// Reports a failed call on the connection to the user and the trace log,
// and notes its number on the connection (Connection::lastReportedError).
// The busy pointer is left to whoever holds it (the message itself is shown
// with the normal pointer).
void CacheFehlermeldung(Connection& connection, const ServerError& error, const QString& operation);
// The text of that report.
QString CacheFehlermeldungText(const ServerError& error, const QString& operation);
// Whether a call that failed with this error may have been carried out all
// the same: the connection was lost or the answer did not come in time.
bool OutcomeUnknown(int errorNumber);
