#pragma once

// What the benchmarks share: a veltar-standin on a free loopback port (TLS,
// as it runs by default), workstation settings of their own, and the
// client's peak memory.

#include "base/WorkstationSettings.h"
#include "server/ServerConnection.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <sys/resource.h>

// For its lifetime the benchmark's workstation settings are in a temporary
// folder (the certificates it trusts on first use stay out of the user's
// own); at its end the connection goes, before the application does.
class BenchWorkstation {
public:
    BenchWorkstation() { WorkstationSettings::useFolder(m_dir.path()); }
    ~BenchWorkstation() {
        ReleaseConnection();
        WorkstationSettings::useFolder(QString());
    }
    BenchWorkstation(const BenchWorkstation&) = delete;
    BenchWorkstation& operator=(const BenchWorkstation&) = delete;

private:
    QTemporaryDir m_dir;
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

// The peak resident memory of this process in MiB.
inline double PeakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}
