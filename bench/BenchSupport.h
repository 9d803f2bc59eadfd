#pragma once

// What the benchmarks share: a veltar-standin on a free loopback port (TLS,
// as it runs by default), workstation settings of their own, and the
// client's peak memory, the demo user's login.

#include "base/SessionContext.h"
#include "base/WorkstationSettings.h"
#include "server/Connection.h"
#include "session/Login.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <sys/resource.h>

// For its lifetime the benchmark's workstation settings are in a temporary
// folder (the certificates it trusts on first use stay out of the user's
// own), and the benchmark's one connection (TCP to the stand-in); at its end
// the connection goes, before the application does.
class BenchWorkstation {
public:
    BenchWorkstation() { WorkstationSettings::useFolder(m_dir.path()); }
    ~BenchWorkstation() {
        m_connection.release();
        WorkstationSettings::useFolder(QString());
    }
    BenchWorkstation(const BenchWorkstation&) = delete;
    BenchWorkstation& operator=(const BenchWorkstation&) = delete;

    Connection& connection() { return m_connection; }

private:
    QTemporaryDir m_dir;
    Connection m_connection;
};

// Starts veltar-standin (next to the benchmark) with args and --port 0;
// returns the port it listens on, "" when it did not start within timeoutMs.
inline QString StartBenchStandin(QProcess& server, QStringList args, int timeoutMs) {
    args << QStringLiteral("--port") << QStringLiteral("0");
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/veltar-standin"), args);
    QByteArray line;
    while (!line.contains('\n') && server.waitForReadyRead(timeoutMs))
        line += server.readAllStandardOutput();
    const auto m = QRegularExpression(QStringLiteral(":(\\d+)")).match(QString::fromUtf8(line));
    return m.hasMatch() ? m.captured(1) : QString();
}

// Starts veltar-standin on a new database with a generated download of count
// positions (--demo-positions); returns the port and sets *key to the
// download's key, or returns "" when it did not start.
inline QString StartBenchDownload(QProcess& server, const QString& database, int count,
                                  QString* key, const QStringList& more = {}) {
    const QString port =
        StartBenchStandin(server,
                          QStringList{QStringLiteral("--db"), database,
                                      QStringLiteral("--demo-positions"), QString::number(count)} +
                              more,
                          600000);
    const auto k = QRegularExpression(QStringLiteral("download (\\d+)"))
                       .match(QString::fromUtf8(server.readAllStandardError()));
    if (port.isEmpty() || !k.hasMatch())
        return QString();
    *key = k.captured(1);
    return port;
}

// The demo user's login data for the stand-in on port of this machine.
inline QString DemoConnect(const QString& port) {
    return QStringLiteral("1 0 DEM demo 127.0.0.1 ") + port + QStringLiteral(" VELTAR");
}

// Logs the demo user in to the stand-in on port; false when that failed.
inline bool LogInDemoUser(Connection& connection, const QString& port) {
    Session().commandLine = DemoConnect(port);
    return user_anmeld(connection);
}

// The peak resident memory of this process in MiB.
inline double PeakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// The download a benchmark runs on: the one named by port and key when both
// are given, else a generated one of count positions on a new stand-in
// (server, database) with a line of how long that took. False (with the
// message on standard error) when the stand-in did not start.
inline bool BenchDownload(QProcess& server, const QString& database, int count, QString* port,
                          QString* key, QTextStream& out, const char* program) {
    if (!port->isEmpty() && !key->isEmpty())
        return true;
    QElapsedTimer t;
    t.start();
    *port = StartBenchDownload(server, database, count, key);
    if (port->isEmpty()) {
        QTextStream(stderr) << program << ": veltar-standin did not start\n";
        return false;
    }
    out << QStringLiteral("download of %1 positions generated in %2 s\n")
               .arg(count)
               .arg(t.elapsed() / 1000.0, 0, 'f', 1);
    out.flush();
    return true;
}
