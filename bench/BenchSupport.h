#pragma once

// What the benchmarks share: a veltar-standin on a free loopback port, and
// the client's peak memory.

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <sys/resource.h>

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

// The peak resident memory of this process in MiB.
inline double PeakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}
