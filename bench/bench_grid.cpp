// The positions grid load of a big download over TCP, through the same code
// as the positions window and quendra-cli positions: time to the first 50
// rows, time to the last row, client peak memory; in the same run the same
// per-row flag calls made one at a time, and a raw round trip (PING), the
// machine's own limits for comparison.
//
//   bench_grid [--positions N] [--depth D] [--batch B] [--port P --key K]
//
// The download comes from veltar-standin --demo-positions N (a third of the
// positions assigned to ERP articles) on a temporary database; with --port
// and --key, from a stand-in already running on that port (the download K
// of supplier 70001), so that repeated runs skip generating it.
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "positions/PositionLoad.h"
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
    p.addOption({QStringLiteral("depth"), QStringLiteral("Flag calls in flight (256)."),
                 QStringLiteral("D"), QStringLiteral("256")});
    p.addOption({QStringLiteral("batch"), QStringLiteral("Rows per fetch (2000)."),
                 QStringLiteral("B"), QStringLiteral("2000")});
    p.addOption({QStringLiteral("port"), QStringLiteral("Port of a running stand-in."),
                 QStringLiteral("P")});
    p.addOption({QStringLiteral("key"), QStringLiteral("Download key on that stand-in."),
                 QStringLiteral("K")});
    p.process(app);
    PositionLoad::pipelineDepth = p.value(QStringLiteral("depth")).toInt();
    PositionLoad::batchRows = p.value(QStringLiteral("batch")).toInt();
    QTextStream out(stdout);
    const int count = p.value(QStringLiteral("positions")).toInt();
    QTemporaryDir tmp;
    QElapsedTimer t;
    t.start();
    QProcess server;
    QString port = p.value(QStringLiteral("port"));
    QString key = p.value(QStringLiteral("key"));
    if (!BenchDownload(server, tmp.filePath(QStringLiteral("grid.db")), count, &port, &key, out,
                       "bench_grid"))
        return 1;

    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    if (!LogInDemoUser(workstation.connection(), port))
        return 1;
    const double loggedIn = PeakMiB();

    // The grid load as the window runs it.
    PositionGridModel model;
    qint64 first50 = -1;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] {
        if (first50 < 0 && model.size() >= 50)
            first50 = t.elapsed();
    });
    t.restart();
    const bool ok = PositionLoad::loadGrid(workstation.connection(),
                                           {key, QStringLiteral("70001"), QString()}, model);
    const double all = t.elapsed() / 1000.0;
    int calls = 0;
    for (int r = 0; r < model.size(); ++r)
        calls += model.cellText(r, PositionGrid::ArtNr).isEmpty() ? 1 : 2;
    out << QStringLiteral("grid load (%1): %2 rows, %3 flag calls in flight: first 50 rows "
                          "after %4 s, last row after %5 s; client peak %6 MiB (%7 MiB after "
                          "login)\n")
               .arg(ok ? QStringLiteral("ok") : QStringLiteral("FAILED"))
               .arg(model.size())
               .arg(calls)
               .arg(first50 / 1000.0, 0, 'f', 3)
               .arg(all, 0, 'f', 2)
               .arg(PeakMiB(), 0, 'f', 1)
               .arg(loggedIn, 0, 'f', 1);
    out.flush();

    // The same per-row calls one at a time, and raw round trips.
    workstation.connection().ensure();
    ClassHandle h = workstation.connection().client().classHandle(QStringLiteral("quendrap.pos"));
    t.restart();
    for (int r = 0; r < model.size(); ++r) {
        const PositionRow& row = model.row(r);
        const QString article = row.text(PositionGrid::ArtNr);
        h.call(QStringLiteral("getekdat1"),
               QStringList{QStringLiteral("1"), QStringLiteral("70001"), article,
                           row.text(PositionGrid::EkRabgr), QString()});
        if (!article.isEmpty())
            h.call(QStringLiteral("getvkdat1"),
                   QStringList{QStringLiteral("1"), article, row.text(PositionGrid::VkDatAb)});
    }
    const double one = t.elapsed() / 1000.0;
    const int pings = 20000;
    t.restart();
    for (int i = 0; i < pings; ++i)
        workstation.connection().client().call(Wire::Op::Ping, {});
    const double ping = t.elapsed() / 1000.0;
    out << QStringLiteral("the same %1 flag calls one at a time: %2 s (%3 calls/s); "
                          "PING one at a time: %4 round trips/s\n")
               .arg(calls)
               .arg(one, 0, 'f', 2)
               .arg(qint64(calls / (one > 0 ? one : 1)))
               .arg(qint64(pings / (ping > 0 ? ping : 1)));
    out << QStringLiteral("load / one at a time: %1\n").arg(all / (one > 0 ? one : 1), 0, 'f', 2);
    workstation.connection().close();
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        server.waitForFinished(10000);
    }
    return ok ? 0 : 1;
}
