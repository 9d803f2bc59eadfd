#pragma once

#include "LoginThrottle.h"
#include "StandinLimits.h"
#include "StandinRegistry.h"
#include "StandinStore.h"

#include <QString>

// The stand-in ERP server's state: its store (the database), its registry
// with the ERP classes, queries, methods and M routines (RegisterErpClasses),
// the namespace it serves, its limits, the failed logins and the count of
// removed downloads. Jobs, the dispatcher and the server work on it.
class StandinEngine : public StandinStore, public StandinRegistry {
public:
    // Opens (creates when missing) the SQLite file, with no class yet: the
    // ERP classes are registered by whoever serves them (RegisterErpClasses
    // in the program, the test fixture, the fuzz support). Throws
    // std::runtime_error when the file cannot be opened.
    explicit StandinEngine(const QString& databasePath);

    QString nameSpace() const { return m_nameSpace; }
    void setNameSpace(const QString& ns) { m_nameSpace = ns; }
    const StandinLimits& limits() const { return m_limits; }
    void setLimits(const StandinLimits& limits);
    // Failed logins per user code (Access.h).
    LoginThrottle& loginThrottle() { return m_loginThrottle; }

    // Counts removed downloads, so that what a job keeps of a download (its
    // company and supplier while positions arrive) is checked again once
    // any download was removed.
    quint64 downloadRemovals() const { return m_downloadRemovals; }
    void downloadRemoved() { ++m_downloadRemovals; }

private:
    QString m_nameSpace = QStringLiteral("VELTAR");
    StandinLimits m_limits;
    LoginThrottle m_loginThrottle;
    quint64 m_downloadRemovals = 0;
};
