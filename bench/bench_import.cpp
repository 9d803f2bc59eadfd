// Imports generated price files over TCP into a veltar-standin on loopback
// and prints prices stored per second and the client's peak memory, next to
// two limits measured in the same run (the pipelined rate of the connection
// and the rate at which SQLite alone stores the same rows) and the raw
// round-trip figures of bench_roundtrip:
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
#include <sqlite3.h>
#include <string>
#include <vector>

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

// Rows a second that SQLite alone stores on this machine: positions the
// import stored, inserted again with fresh ids into a new database with the
// same table and indexes and the server's settings (WAL, synchronous
// NORMAL), `depth` rows a transaction, without server or wire. 0 when the
// rows cannot be read. It holds them all in memory, so it runs after the
// imports, whose peak memory is measured.
double bareInsertLimit(const QString& source, const QString& target, int depth, int count) {
    sqlite3* from = nullptr;
    sqlite3* to = nullptr;
    const auto done = [&](double rate) {
        sqlite3_close(from);
        sqlite3_close(to);
        return rate;
    };
    if (sqlite3_open_v2(source.toUtf8().constData(), &from, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK ||
        sqlite3_open(target.toUtf8().constData(), &to) != SQLITE_OK)
        return done(0);
    sqlite3_exec(to, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* st = nullptr;
    // The table first, then its indexes.
    sqlite3_prepare_v2(from,
                       "SELECT sql FROM sqlite_master WHERE tbl_name='quendrap_pos' AND sql IS NOT "
                       "NULL ORDER BY type='index'",
                       -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        sqlite3_exec(to, reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), nullptr,
                     nullptr, nullptr);
    sqlite3_finalize(st);
    std::vector<std::vector<std::string>> rows;
    sqlite3_prepare_v2(from, "SELECT * FROM quendrap_pos LIMIT ?", -1, &st, nullptr);
    sqlite3_bind_int(st, 1, count);
    const int columns = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int c = 0; c < columns; ++c) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            row.emplace_back(t ? t : "");
        }
    }
    sqlite3_finalize(st);
    if (rows.empty() || columns < 2)
        return done(0);
    std::string insert = "INSERT INTO quendrap_pos VALUES(?";
    for (int c = 1; c < columns; ++c)
        insert += ",?";
    insert += ")";
    if (sqlite3_prepare_v2(to, insert.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return done(0);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        if (i % depth == 0)
            sqlite3_exec(to, "BEGIN", nullptr, nullptr, nullptr);
        const std::vector<std::string>& row = rows[size_t(i) % rows.size()];
        const std::string id = std::to_string(i + 1);
        sqlite3_bind_text(st, 1, id.c_str(), int(id.size()), SQLITE_TRANSIENT);
        for (int c = 1; c < columns; ++c)
            sqlite3_bind_text(st, c + 1, row[size_t(c)].c_str(), int(row[size_t(c)].size()),
                              SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_DONE) {
            sqlite3_finalize(st);
            return done(0);
        }
        sqlite3_reset(st);
        if (i % depth == depth - 1 || i == count - 1)
            sqlite3_exec(to, "COMMIT", nullptr, nullptr, nullptr);
    }
    const double rate = count / (t.nsecsElapsed() / 1e9);
    sqlite3_finalize(st);
    return done(rate);
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
    const BenchWorkstation workstation;
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
    if (!LogInDemoUser(port))
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
    const double bare = bareInsertLimit(tmp.filePath(QStringLiteral("bench.db")),
                                        tmp.filePath(QStringLiteral("bare.db")), depth, 200000);
    out() << QStringLiteral("SQLite alone inserting stored positions again, %1 a "
                            "transaction: %2 rows/s\n"
                            "big file's import / SQLite insert limit: %3\n")
                 .arg(depth)
                 .arg(qint64(bare))
                 .arg(bare > 0 ? rate / bare : 0, 0, 'f', 3);
    out().flush();
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
