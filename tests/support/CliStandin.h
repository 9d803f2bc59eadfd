#pragma once

#include "TestSupport.h"

#include <QTemporaryDir>
#include <memory>

// A demo stand-in in a folder of its own, for tests that drive quendra-cli
// against it as a scheduled job would: started in initTestCase and stopped
// in cleanupTestCase, or started in a test function and stopped when it
// goes out of scope.
class CliStandin {
public:
    // Starts the stand-in with the demo companies and extraArgs; false (why
    // says why) when it does not start.
    bool start(QString* why, const QStringList& extraArgs = {}) {
        if (!m_temp.isValid()) {
            *why = QStringLiteral("no temporary folder");
            return false;
        }
        m_server =
            std::make_unique<StandinProcess>(temp(QStringLiteral("erp.db")), true, extraArgs);
        if (!m_server->started()) {
            *why = m_server->errorOutput();
            return false;
        }
        m_connect = connectOf(*m_server);
        return true;
    }
    void stop() { m_server.reset(); }
    // Kills the stand-in's process, as a crash would.
    void kill() { m_server->kill(); }
    quint16 port() const { return m_server ? m_server->port() : 0; }
    // The --connect text of the demo user.
    const QString& connect() const { return m_connect; }
    // Its database file (the certificate it makes is this with ".crt").
    QString database() const { return temp(QStringLiteral("erp.db")); }
    // A file in the test's own folder.
    QString temp(const QString& name) const { return m_temp.filePath(name); }
    // Runs quendra-cli logged in as the demo user ("--connect" and its text
    // before args), as RunCli does: with settings of its own for each run
    // unless settingsHome names them.
    int run(const QStringList& args, QString* out, QString* err, int timeoutMs = 60000,
            const QString& settingsHome = QString()) const {
        return RunCli(QStringList{QStringLiteral("--connect"), m_connect} + args, out, err,
                      timeoutMs, settingsHome);
    }

private:
    QTemporaryDir m_temp;
    std::unique_ptr<StandinProcess> m_server;
    QString m_connect;
};
