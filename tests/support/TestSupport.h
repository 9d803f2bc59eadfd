#pragma once

#include <QMap>
#include <functional>

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
    bool running() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    QString errorOutput() const { return m_error; }
    void kill();
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// What quendra-cli --connect takes for a user of company 1, branch 0, at a
// server on this machine's port: the user's code and password.
QString CliConnect(quint16 port, const QString& user = QStringLiteral("DEM demo"));
// The same for the demo user DEM at a stand-in process.
inline QString connectOf(const StandinProcess& server) {
    return CliConnect(server.port());
}

// For its lifetime the program's TCP client connects with plain TCP (a
// peer of a test that does not speak TLS), as quendra-cli --no-tls.
class PlainTcpScope {
public:
    PlainTcpScope();
    ~PlainTcpScope();
    PlainTcpScope(const PlainTcpScope&) = delete;
    PlainTcpScope& operator=(const PlainTcpScope&) = delete;
};

// Starts quendra-cli with arguments in process. Its workstation settings are
// those of settingsHome (XDG_CONFIG_HOME), so that nothing it trusts or
// keeps reaches the user's own.
void StartCli(QProcess& process, const QStringList& args, const QString& settingsHome);

// Runs quendra-cli with arguments; returns exit code, fills stdout/stderr.
// Its workstation settings are those of settingsHome (XDG_CONFIG_HOME), by
// default a new empty folder for each run, so that a server's certificate
// is trusted on first use every time and nothing reaches the user's own.
int RunCli(const QStringList& args, QString* out, QString* err, int timeoutMs = 60000,
           const QString& settingsHome = QString());

// The downloads quendra-cli lists over connect; -1 when it cannot list them.
int CliDownloadCount(const QString& connect);
// A download's rows as quendra-cli positions prints them: the cells asked
// for, by the key keyOf makes of all the row's cells (empty when the
// command fails).
QMap<QString, QStringList> CliPositionRows(const QString& connect, const QString& key,
                                           const QList<int>& columns,
                                           const std::function<QString(const QStringList&)>& keyOf);

// Runs quendra-cli with arguments while this process goes on serving its
// events (a relay of the test, say), with the settings of settingsHome;
// returns its exit code (-1 when it did not end within a minute), fills
// stdout.
int RunCliServingEvents(const QStringList& args, const QString& settingsHome, QString* out);
