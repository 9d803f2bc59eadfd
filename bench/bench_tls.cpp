// What TLS costs the program's heavy work, in the same run: a price file
// imported, the positions grid of a big download loaded, and every
// position of it posted, once against a veltar-standin with TLS (its
// default) and once against one with plain TCP (--no-tls, the client with
// it), each on a new database:
//
//   bench_tls [--lines N] [--positions N] [--depth D] [--rounds R]
//
// The two alternate, R rounds each; the best time of each workload counts,
// so that other work on the machine weighs as little as it can. Prints the
// seconds and rates of both and what TLS adds in percent.
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "conditions/Posting.h"
#include "import/FileImport.h"
#include "positions/PositionGridModel.h"
#include "positions/PositionLoad.h"
#include "server/Connection.h"
#include "server/TcpServerClient.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

struct Figures {
    double import = -1; // seconds
    int prices = 0;
    double grid = -1;
    int rows = 0;
    double posting = -1;
    int posted = 0;
};

// One transport: a stand-in with a big download, the import of the file
// into it, the grid load of the download and its posting.
Figures measure(Connection& connection, bool tls, const QString& file, int positions, int depth) {
    Figures f;
    QTemporaryDir tmp;
    QProcess server;
    QString key;
    const QString port =
        StartBenchDownload(server, tmp.filePath(QStringLiteral("tls.db")), positions, &key,
                           tls ? QStringList() : QStringList{QStringLiteral("--no-tls")});
    if (port.isEmpty()) {
        QTextStream(stderr) << "bench_tls: veltar-standin did not start\n";
        return f;
    }
    TcpServerClient::setPlainTcp(!tls);
    Session() = SessionContext();
    if (!LogInDemoUser(connection, port))
        return f;

    QElapsedTimer t;
    FileImport import(connection);
    import.setPipelineDepth(depth);
    TracksFromText everyTrack(QStringLiteral("all"));
    t.start();
    const ImportResult imported = import.run(file, QStringLiteral("70001"), everyTrack);
    f.import = t.elapsed() / 1000.0;
    f.prices = imported.positions;

    const PositionDownload download{key, QStringLiteral("70001"), QString()};
    PositionGridModel model;
    t.restart();
    if (PositionLoad::loadGrid(connection, download, model))
        f.grid = t.elapsed() / 1000.0;
    f.rows = model.size();

    PostingOptions all;
    all.on.fill(true);
    PostingRun run(connection);
    run.depth = depth;
    t.restart();
    if (run.run(model, PostingContext::of(download), all))
        f.posting = t.elapsed() / 1000.0;
    f.posted = run.calls();

    connection.release();
    TcpServerClient::setPlainTcp(false);
    server.terminate();
    server.waitForFinished(10000);
    return f;
}

void line(const QString& what, int count, const QString& unit, double plain, double tls) {
    const auto rate = [count](double s) { return s > 0 ? qint64(count / s) : 0; };
    out() << QStringLiteral("%1 %2 s (%3 %4/s)   TLS %5 s (%6 %4/s)   TLS adds %7 %\n")
                 .arg(what.leftJustified(28))
                 .arg(plain, 7, 'f', 2)
                 .arg(rate(plain))
                 .arg(unit)
                 .arg(tls, 7, 'f', 2)
                 .arg(rate(tls))
                 .arg(plain > 0 ? (tls / plain - 1) * 100 : 0, 0, 'f', 1);
    out().flush();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchWorkstation workstation;
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("lines"), QStringLiteral("Lines of the imported file (100000)."),
                 QStringLiteral("N"), QStringLiteral("100000")});
    p.addOption({QStringLiteral("positions"),
                 QStringLiteral("Positions of the download loaded and posted (20000)."),
                 QStringLiteral("N"), QStringLiteral("20000")});
    p.addOption({QStringLiteral("depth"), QStringLiteral("Requests in flight (256)."),
                 QStringLiteral("D"), QStringLiteral("256")});
    p.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each transport (3)."),
                 QStringLiteral("R"), QStringLiteral("3")});
    p.process(app);
    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("preise.txt"));
    const int lines = p.value(QStringLiteral("lines")).toInt();
    if (QProcess::execute(QCoreApplication::applicationDirPath() + QStringLiteral("/pricegen"),
                          {QStringLiteral("--lines"), QString::number(lines),
                           QStringLiteral("--out"), file, QStringLiteral("--dates"),
                           QStringLiteral("2"), QStringLiteral("--second-price"),
                           QStringLiteral("--manufacturer"), QStringLiteral("MUE")}) != 0) {
        QTextStream(stderr) << "bench_tls: pricegen failed\n";
        return 1;
    }
    const int positions = p.value(QStringLiteral("positions")).toInt();
    const int depth = p.value(QStringLiteral("depth")).toInt();
    const int rounds = qMax(1, p.value(QStringLiteral("rounds")).toInt());
    Figures plain, tls;
    const auto best = [](Figures& kept, const Figures& f) {
        const auto keep = [](double& a, double b) {
            if (b < 0 || (a >= 0 && a <= b))
                return;
            a = b;
        };
        if (f.import < 0 || f.grid < 0 || f.posting < 0)
            return false;
        keep(kept.import, f.import);
        keep(kept.grid, f.grid);
        keep(kept.posting, f.posting);
        kept.prices = f.prices;
        kept.rows = f.rows;
        kept.posted = f.posted;
        return true;
    };
    for (int r = 0; r < rounds; ++r) {
        if (!best(plain, measure(workstation.connection(), false, file, positions, depth)) ||
            !best(tls, measure(workstation.connection(), true, file, positions, depth))) {
            QTextStream(stderr) << "bench_tls: a run failed\n";
            return 1;
        }
    }
    out() << QStringLiteral("%1 lines imported, a download of %2 positions loaded and posted; "
                            "best of %3 rounds, plain TCP and TLS:\n")
                 .arg(lines)
                 .arg(positions)
                 .arg(rounds);
    line(QStringLiteral("import"), tls.prices, QStringLiteral("prices"), plain.import, tls.import);
    line(QStringLiteral("grid load"), tls.rows, QStringLiteral("rows"), plain.grid, tls.grid);
    line(QStringLiteral("posting, every option"), tls.posted, QStringLiteral("positions"),
         plain.posting, tls.posting);
    return 0;
}
