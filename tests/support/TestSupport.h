#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the workstation settings at a temporary folder for the lifetime of
// the object, so tests never touch the user's real settings.
class TemporarySettings {
public:
    TemporarySettings();
    ~TemporarySettings();
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

#include <QProcess>
#include <memory>

// A veltar-standin process on a free loopback port with its own database.
class StandinProcess {
public:
    // Starts the server; QVERIFY-style callers check started().
    explicit StandinProcess(const QString& databasePath, bool demo = true,
                            const QStringList& extraArgs = {});
    ~StandinProcess();
    bool started() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString errorOutput() const { return m_error; }
    void kill();
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// Runs quendra-cli with arguments; returns exit code, fills stdout/stderr.
int RunCli(const QStringList& args, QString* out, QString* err, int timeoutMs = 60000);
