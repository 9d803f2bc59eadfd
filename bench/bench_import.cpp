// Imports generated price files over TCP into a veltar-standin on loopback
// and prints prices stored per second and the client's peak memory, next to
// two limits measured in the same run (the pipelined rate of the connection
// and the rate at which SQLite alone stores the same rows) and the raw
// round-trip figures of bench_roundtrip:
//
//   bench_import [--lines N] [--small N] [--depth D]
//                [--format datanorm4|datanorm5|bmecat|xlsx|csv [--net-every M]]
//
// The small file runs first: its peak memory next to the big file's shows
// whether the client's memory grows with the file.
//
// With --format the catalogue of each size is generated twice, as an
// extended import file with one price per line and as a DATANORM delivery
// of that version, a BMEcat catalogue or a price list (pricegen --format;
// a price list with pricegen's column mapping), and both are imported into
// the same stand-in, each right after the other; the other format's times
// are printed as a ratio to the extended import file's. The peak memory is then
// each import's own: the process's high-water mark is reset before it.
// --net-every is pricegen's: every M-th article has a net price or discounts
// of its own, set on its position after the positions are stored (10; 0
// for none, which leaves the reading of the files as the only difference).
#include "BenchSupport.h"
#include "CatalogueFormats.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "import/Delivery.h"
#include "import/FileImport.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"
#include "server/Connection.h"
#include "server/RequestPipeline.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <sqlite3.h>
#include <string>
#include <tuple>
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

// The catalogue of `lines` articles in a format: one price per article, of
// one date. DATANORM: the delivery's files in a folder of their own.
bool generateCatalogue(const QString& dir, int lines, const QString& format, const QString& out,
                       const QString& netEvery) {
    QStringList args{QStringLiteral("--lines"),        QString::number(lines),
                     QStringLiteral("--out"),          out,
                     QStringLiteral("--format"),       format,
                     QStringLiteral("--manufacturer"), QStringLiteral("MUE")};
    if (format != u"quendra") {
        if (!QDir().mkpath(QFileInfo(out).path()))
            return false;
        args << QStringLiteral("--net-every") << netEvery;
    }
    return QProcess::execute(dir + QStringLiteral("/pricegen"), args) == 0;
}

// The files of a DATANORM delivery pricegen wrote next to its article file;
// the file itself for the other formats.
QStringList deliveryFiles(const QString& articleFile) {
    if (!articleFile.endsWith(QStringLiteral(".001")))
        return {articleFile};
    QStringList paths;
    const QDir folder = QFileInfo(articleFile).dir();
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name))
        paths << folder.filePath(name);
    return paths;
}

// The high-water mark of the resident memory, reset (Linux: clear_refs 5)
// and read (VmHWM), so that one import's peak shows apart from the others'.
// Reset false when the kernel does not allow it.
bool ResetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}
double PeakSinceResetMiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Requests a second that the connection carries when the server does no
// work: PINGs with the arguments of the file's savezeile requests, as many
// in flight as the import keeps. The limit an import can approach.
double pipelinedLimit(Connection& connection, const QString& path, int depth, qint64 count) {
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
    connection.ensure();
    RequestPipeline<int> pipeline(connection.client(), depth);
    QElapsedTimer t;
    t.start();
    for (qint64 i = 0; i < count; ++i)
        pipeline.send(Wire::Op::Ping, requests[int(i % requests.size())], 0);
    pipeline.finish();
    const double rate = count / (t.nsecsElapsed() / 1e9);
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

struct ImportRun {
    qint64 positions = 0;
    double seconds = 0;
    double rate = 0; // prices a second
};

// Imports files (an extended import file, or a DATANORM delivery) as the
// CLI does: recognised, imported with every track, the result shown.
// ownPeak: the peak memory printed is this import's alone.
ImportRun importOnce(Connection& connection, const QStringList& paths, int depth,
                     const QString& label, bool ownPeak = false) {
    if (ownPeak)
        ResetPeak();
    FileImport import(connection);
    import.setPipelineDepth(depth);
    QElapsedTimer t;
    t.start();
    TracksFromText everyTrack(QStringLiteral("all"));
    Delivery delivery = RecognizeDelivery(paths);
    if (delivery.isPriceList()) {
        QString ignored;
        delivery.columns = *ColumnMapping::FromColumnsText(pricegen::kListColumns, &ignored);
        delivery.columns.firstRow = delivery.format == Delivery::Format::Xlsx ? 3 : 2;
    }
    const ImportResult r = import.import(delivery, QStringLiteral("70001"), everyTrack);
    ShowImportResult(r);
    ImportRun run;
    run.seconds = t.elapsed() / 1000.0;
    run.positions = r.positions;
    run.rate = r.positions / run.seconds;
    qint64 bytes = 0;
    for (const QString& path : paths)
        bytes += QFileInfo(path).size();
    out() << QStringLiteral("%1 %2 MB: %3 positions in %4 s = %5 prices/s, peak RSS %6 MiB\n")
                 .arg(label)
                 .arg(bytes / 1e6, 0, 'f', 1)
                 .arg(r.positions)
                 .arg(run.seconds, 0, 'f', 2)
                 .arg(qint64(run.rate))
                 .arg(ownPeak ? PeakSinceResetMiB() : PeakMiB(), 0, 'f', 1);
    out().flush();
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchWorkstation workstation;
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("lines"), QStringLiteral("Lines of the big file (200000)."),
                 QStringLiteral("N"), QStringLiteral("200000")});
    p.addOption({QStringLiteral("small"), QStringLiteral("Lines of the small file (20000)."),
                 QStringLiteral("N"), QStringLiteral("20000")});
    p.addOption({QStringLiteral("depth"), QStringLiteral("Requests in flight (256)."),
                 QStringLiteral("D"), QStringLiteral("256")});
    p.addOption({QStringLiteral("format"),
                 QStringLiteral("Also import the same catalogue in another format: "
                                "datanorm4, datanorm5, bmecat, xlsx or csv."),
                 QStringLiteral("FORMAT")});
    p.addOption({QStringLiteral("net-every"),
                 QStringLiteral("DATANORM: every M-th article has a purchase side of its own "
                                "(10; 0 for none)."),
                 QStringLiteral("M"), QStringLiteral("10")});
    p.process(app);
    const QString format = p.value(QStringLiteral("format"));
    // The format's name, the file name pricegen writes, the aim of its
    // ratio to the extended import file.
    static const QHash<QString, std::tuple<QString, QString, double>> formats{
        {QStringLiteral("datanorm4"), {QStringLiteral("DATANORM 4"), "DATANORM.001", 1.25}},
        {QStringLiteral("datanorm5"), {QStringLiteral("DATANORM 5"), "DATANORM.001", 1.25}},
        {QStringLiteral("bmecat"), {QStringLiteral("BMEcat"), "katalog.xml", 1.5}},
        {QStringLiteral("xlsx"), {QStringLiteral("Excel-Preisliste"), "preise.xlsx", 2.0}},
        {QStringLiteral("csv"), {QStringLiteral("CSV-Preisliste"), "preise.csv", 2.0}}};
    if (!format.isEmpty() && !formats.contains(format)) {
        QTextStream(stderr)
            << "bench_import: --format needs datanorm4, datanorm5, bmecat, xlsx or csv\n";
        return 1;
    }
    const bool compare = !format.isEmpty();
    const auto [formatName, formatFile, formatAim] = formats.value(format);
    const int bigLines = p.value(QStringLiteral("lines")).toInt();
    const int smallLines = p.value(QStringLiteral("small")).toInt();
    const QString dir = QCoreApplication::applicationDirPath();
    QTemporaryDir tmp;
    const QString big = tmp.filePath(QStringLiteral("big.txt"));
    const QString small = tmp.filePath(QStringLiteral("small.txt"));
    const QString bigDelivery = tmp.filePath(QStringLiteral("big/") + formatFile);
    const QString smallDelivery = tmp.filePath(QStringLiteral("small/") + formatFile);
    const QString netEvery = p.value(QStringLiteral("net-every"));
    const bool generated =
        compare
            ? generateCatalogue(dir, bigLines, QStringLiteral("quendra"), big, netEvery) &&
                  generateCatalogue(dir, smallLines, QStringLiteral("quendra"), small, netEvery) &&
                  generateCatalogue(dir, bigLines, format, bigDelivery, netEvery) &&
                  generateCatalogue(dir, smallLines, format, smallDelivery, netEvery)
            : generate(dir, bigLines, big) && generate(dir, smallLines, small);
    if (!generated) {
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
    if (!LogInDemoUser(workstation.connection(), port))
        return 1;
    const int depth = p.value(QStringLiteral("depth")).toInt();
    out() << "peak RSS after login: " << QString::number(PeakMiB(), 'f', 1) << " MiB\n";
    if (compare) {
        out() << QStringLiteral("the same catalogue as an extended import file and as %1, one "
                                "price per article, --net-every %2; peak RSS: each import's "
                                "own%3\n")
                     .arg(formatName, netEvery,
                          ResetPeak() ? QString() : QStringLiteral(" (cannot be reset here)"));
        out().flush();
    }
    const auto label = [&](const char* text) {
        return compare ? QString::fromLatin1(text) + QStringLiteral(" (extended import file)")
                       : QString::fromLatin1(text);
    };
    const ImportRun smallRun =
        importOnce(workstation.connection(), {small}, depth, label("small file"), compare);
    ImportRun smallDatanorm;
    if (compare)
        smallDatanorm = importOnce(workstation.connection(), deliveryFiles(smallDelivery), depth,
                                   QStringLiteral("small file (%1)").arg(formatName), true);
    const double limit = pipelinedLimit(workstation.connection(), big, depth, 400000);
    const ImportRun bigRun =
        importOnce(workstation.connection(), {big}, depth, label("big file  "), compare);
    const double rate = bigRun.rate;
    ImportRun bigDatanorm;
    if (compare)
        bigDatanorm = importOnce(workstation.connection(), deliveryFiles(bigDelivery), depth,
                                 QStringLiteral("big file   (%1)").arg(formatName), true);
    out() << QStringLiteral("pipelined PING with the same arguments, %1 in flight: %2 requests/s\n"
                            "import / pipelined limit: %3 (aim: at least 0.5)\n")
                 .arg(depth)
                 .arg(qint64(limit))
                 .arg(limit > 0 ? rate / limit : 0, 0, 'f', 3);
    if (compare) {
        const auto ratio = [](const ImportRun& a, const ImportRun& b) {
            return b.seconds > 0 ? a.seconds / b.seconds : 0;
        };
        out() << QStringLiteral("%1 / extended import file, time of the same catalogue: small "
                                "%2, big %3 (aim: at most %4)\n")
                     .arg(formatName)
                     .arg(ratio(smallDatanorm, smallRun), 0, 'f', 3)
                     .arg(ratio(bigDatanorm, bigRun), 0, 'f', 3)
                     .arg(formatAim, 0, 'f', 2);
        if (smallDatanorm.positions != smallRun.positions ||
            bigDatanorm.positions != bigRun.positions)
            out() << "the two formats stored different numbers of positions\n";
    }
    out().flush();
    importOnce(workstation.connection(), {small}, 1, label("small file, one request at a time"),
               compare);
    const double bare = bareInsertLimit(tmp.filePath(QStringLiteral("bench.db")),
                                        tmp.filePath(QStringLiteral("bare.db")), depth, 200000);
    out() << QStringLiteral("SQLite alone inserting stored positions again, %1 a "
                            "transaction: %2 rows/s\n"
                            "big file's import / SQLite insert limit: %3\n")
                 .arg(depth)
                 .arg(qint64(bare))
                 .arg(bare > 0 ? rate / bare : 0, 0, 'f', 3);
    out().flush();
    workstation.connection().close();
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
