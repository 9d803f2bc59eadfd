#pragma once

#include "TestSupport.h"

#include <QTemporaryDir>
#include <memory>

// A demo stand-in in a folder of its own, for tests that drive quendra-cli
// against it as a scheduled job would: started in initTestCase, stopped in
// cleanupTestCase.
class CliStandin {
public:
    // Starts the stand-in; false (why says why) when it does not start.
    bool start(QString* why) {
        if (!m_temp.isValid()) {
            *why = QStringLiteral("no temporary folder");
            return false;
        }
        m_server = std::make_unique<StandinProcess>(temp(QStringLiteral("erp.db")));
        if (!m_server->started()) {
            *why = m_server->errorOutput();
            return false;
        }
        m_connect = connectOf(*m_server);
        return true;
    }
    void stop() { m_server.reset(); }
    // The --connect text of the demo user.
    const QString& connect() const { return m_connect; }
    // A file in the test's own folder.
    QString temp(const QString& name) const { return m_temp.filePath(name); }

private:
    QTemporaryDir m_temp;
    std::unique_ptr<StandinProcess> m_server;
    QString m_connect;
};
