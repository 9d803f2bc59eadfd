// Reads a big download through the query "pos" over TCP from a
// veltar-standin on loopback, as the positions window loads its grid, and
// prints rows per second; then the per-row flag calls (getekdat1 for every
// row, getvkdat1 for assigned rows) on the first rows:
//
//   bench_positions [--positions N] [--batch B] [--flags M]
//   bench_positions --port P --download K [--batch B] [--flags M]
//
// The download comes from veltar-standin --demo-positions N (a third of the
// positions assigned to ERP articles), started here on a temporary database
// unless --port names a running one.
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "server/Connection.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchWorkstation workstation;
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Positions of the download (100000)."),
                 QStringLiteral("N"), QStringLiteral("100000")});
    p.addOption({QStringLiteral("batch"), QStringLiteral("Rows per batch (0: the client's)."),
                 QStringLiteral("B"), QStringLiteral("0")});
    p.addOption({QStringLiteral("flags"), QStringLiteral("Rows whose flags are asked (2000)."),
                 QStringLiteral("M"), QStringLiteral("2000")});
    p.addOption({QStringLiteral("port"), QStringLiteral("Port of a running veltar-standin."),
                 QStringLiteral("P")});
    p.addOption({QStringLiteral("download"), QStringLiteral("Download key on that server."),
                 QStringLiteral("K")});
    p.process(app);
    QTextStream out(stdout);
    const QString dir = QCoreApplication::applicationDirPath();
    QTemporaryDir tmp;
    const int count = p.value(QStringLiteral("positions")).toInt();

    QElapsedTimer t;
    t.start();
    QProcess server;
    QString port = p.value(QStringLiteral("port"));
    QString key = p.value(QStringLiteral("download"));
    if (port.isEmpty()) {
        port = StartBenchDownload(server, tmp.filePath(QStringLiteral("bench.db")), count, &key);
        if (port.isEmpty()) {
            QTextStream(stderr) << "bench_positions: veltar-standin did not start\n";
            return 1;
        }
        out << QStringLiteral("download %1 of %2 positions generated in %3 s\n")
                   .arg(key)
                   .arg(count)
                   .arg(t.elapsed() / 1000.0, 0, 'f', 2);
    }

    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    if (!LogInDemoUser(workstation.connection(), port))
        return 1;

    QList<QStringList> rows;
    workstation.connection().ensure();
    t.restart();
    {
        ResultSet rs = workstation.connection().client().resultSet(QStringLiteral("quendrap.pos"),
                                                                   QStringLiteral("pos"));
        if (const int batch = p.value(QStringLiteral("batch")).toInt(); batch > 0)
            rs.setBatchSize(batch);
        rs.execute({key, QString()});
        while (rs.next()) {
            QStringList r;
            r.reserve(55);
            for (int c = 1; c <= 55; ++c)
                r << rs.getData(c);
            rows << r;
        }
    }
    const double s = t.elapsed() / 1000.0;
    out << QStringLiteral("query pos: %1 rows of 55 columns in %2 s = %3 rows/s\n")
               .arg(rows.size())
               .arg(s, 0, 'f', 2)
               .arg(qint64(rows.size() / s));

    const int flags = qMin(int(rows.size()), p.value(QStringLiteral("flags")).toInt());
    ClassHandle h = workstation.connection().client().classHandle(QStringLiteral("quendrap.pos"));
    int calls = 0;
    t.restart();
    for (int i = 0; i < flags; ++i) {
        const QStringList& r = rows[i];
        QStringList ek{QStringLiteral("1"), QStringLiteral("70001"), r[7], r[37], r[38]};
        h.call(QStringLiteral("getekdat1"), ek);
        ++calls;
        if (!r[7].isEmpty()) {
            QStringList vk{QStringLiteral("1"), r[7], r[47]};
            h.call(QStringLiteral("getvkdat1"), vk);
            ++calls;
        }
    }
    const double fs = t.elapsed() / 1000.0;
    out << QStringLiteral("flags of %1 rows: %2 calls in %3 s = %4 calls/s\n")
               .arg(flags)
               .arg(calls)
               .arg(fs, 0, 'f', 2)
               .arg(qint64(calls / (fs > 0 ? fs : 1)));
    workstation.connection().close();
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        server.waitForFinished(10000);
    }
    return 0;
}
