// Imports generated price files over TCP into a veltar-standin on loopback
// and prints prices stored per second and the client's peak memory, next to
// the raw round-trip figures of bench_roundtrip measured in the same run:
//
//   bench_import [--lines N] [--small N] [--depth D]
//
// The small file runs first: its peak memory next to the big file's shows
// whether the client's memory grows with the file.
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "import/FileImport.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"
#include "server/RequestPipeline.h"
#include "server/ServerConnection.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

bool generate(const QString& dir, int lines, const QString& path) {
    return QProcess::execute(dir + QStringLiteral("/pricegen"),
                             {QStringLiteral("--lines"), QString::number(lines),
                              QStringLiteral("--out"), path, QStringLiteral("--dates"),
                              QStringLiteral("2"), QStringLiteral("--second-price"),
                              QStringLiteral("--manufacturer"), QStringLiteral("MUE")}) == 0;
}

// Requests a second that the connection carries when the server does no
// work: PINGs with the arguments of the file's savezeile requests, as many
// in flight as the import keeps. The limit an import can approach.
double pipelinedLimit(const QString& path, int depth, qint64 count) {
    QList<QStringList> requests;
    ImportFileReader reader;
    if (!reader.open(path))
        return 0;
    QString line;
    reader.readLine(&line); // header
    while (requests.size() < 1000 && reader.readLine(&line)) {
        const ImportArticleLine a(line);
        if (const auto text = PositionLineText(a, ImportPrice::First))
            requests << QStringList{QStringLiteral("quendrap.pos"),
                                    QStringLiteral("savezeile"),
                                    QStringLiteral("1"),
                                    QString(),
                                    *text,
                                    QStringLiteral("N"),
                                    QString()};
    }
    if (requests.isEmpty())
        return 0;
    BeginServerCall(false, false);
    RequestPipeline<int> pipeline(Factory(), depth);
    QElapsedTimer t;
    t.start();
    for (qint64 i = 0; i < count; ++i)
        pipeline.send(Wire::Op::Ping, requests[int(i % requests.size())], 0);
    pipeline.finish();
    const double rate = count / (t.nsecsElapsed() / 1e9);
    EndServerCall(false);
    return rate;
}

double importOnce(const QString& path, int depth, const char* label) {
    FileImport import;
    import.setPipelineDepth(depth);
    QElapsedTimer t;
    t.start();
    TracksFromText everyTrack(QStringLiteral("all"));
    const ImportResult r = import.run(path, QStringLiteral("70001"), everyTrack);
    const double s = t.elapsed() / 1000.0;
    out() << QStringLiteral("%1 %2 MB: %3 positions in %4 s = %5 prices/s, peak RSS %6 MiB\n")
                 .arg(QString::fromLatin1(label))
                 .arg(QFileInfo(path).size() / 1e6, 0, 'f', 1)
                 .arg(r.positions)
                 .arg(s, 0, 'f', 2)
                 .arg(qint64(r.positions / s))
                 .arg(PeakMiB(), 0, 'f', 1);
    out().flush();
    return r.positions / s;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("lines"), QStringLiteral("Lines of the big file (200000)."),
                 QStringLiteral("N"), QStringLiteral("200000")});
    p.addOption({QStringLiteral("small"), QStringLiteral("Lines of the small file (20000)."),
                 QStringLiteral("N"), QStringLiteral("20000")});
    p.addOption({QStringLiteral("depth"), QStringLiteral("Requests in flight (256)."),
                 QStringLiteral("D"), QStringLiteral("256")});
    p.process(app);
    const QString dir = QCoreApplication::applicationDirPath();
    QTemporaryDir tmp;
    const QString big = tmp.filePath(QStringLiteral("big.txt"));
    const QString small = tmp.filePath(QStringLiteral("small.txt"));
    if (!generate(dir, p.value(QStringLiteral("lines")).toInt(), big) ||
        !generate(dir, p.value(QStringLiteral("small")).toInt(), small)) {
        QTextStream(stderr) << "bench_import: pricegen failed\n";
        return 1;
    }

    QProcess server;
    const QString port =
        StartBenchStandin(server,
                          {QStringLiteral("--db"), tmp.filePath(QStringLiteral("bench.db")),
                           QStringLiteral("--demo")},
                          30000);
    if (port.isEmpty()) {
        QTextStream(stderr) << "bench_import: veltar-standin did not start\n";
        return 1;
    }

    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    Session().commandLine =
        QStringLiteral("1 0 DEM demo 127.0.0.1 ") + port + QStringLiteral(" VELTAR");
    if (!user_anmeld())
        return 1;
    const int depth = p.value(QStringLiteral("depth")).toInt();
    out() << "peak RSS after login: " << QString::number(PeakMiB(), 'f', 1) << " MiB\n";
    importOnce(small, depth, "small file");
    const double limit = pipelinedLimit(big, depth, 400000);
    const double rate = importOnce(big, depth, "big file  ");
    out() << QStringLiteral("pipelined PING with the same arguments, %1 in flight: %2 requests/s\n"
                            "import / pipelined limit: %3 (aim: at least 0.5)\n")
                 .arg(depth)
                 .arg(qint64(limit))
                 .arg(limit > 0 ? rate / limit : 0, 0, 'f', 3);
    out().flush();
    importOnce(small, 1, "small file, one request at a time");
    CloseConnection();
    server.terminate();
    server.waitForFinished(10000);

    out() << "raw round trips in the same run (bench_roundtrip --seconds 2):\n";
    out().flush();
    QProcess rt;
    rt.start(dir + QStringLiteral("/bench_roundtrip"),
             {QStringLiteral("--seconds"), QStringLiteral("2")});
    rt.waitForFinished(120000);
    out() << rt.readAllStandardOutput();
    return 0;
}
