// The positions grid of a big download exported as .xlsx and as .csv,
// next to the machine's own figures in the same run: every cell of the same
// rows formatted as the grid shows it and written to a file plainly (the
// least any export has to do), and libxlsxwriter alone writing as many
// cells. Prints times, sizes and client peak memory.
//
//   bench_export [--positions N] [--port P --key K]
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "positions/PositionExport.h"
#include "positions/PositionLoad.h"
#include "server/Connection.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <xlsxwriter.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Positions of the download (100000)."),
                 QStringLiteral("N"), QStringLiteral("100000")});
    p.addOption({QStringLiteral("port"), QStringLiteral("Port of a running stand-in."),
                 QStringLiteral("P")});
    p.addOption({QStringLiteral("key"), QStringLiteral("Download key on that stand-in."),
                 QStringLiteral("K")});
    p.process(app);
    QTextStream out(stdout);
    const int count = p.value(QStringLiteral("positions")).toInt();
    QTemporaryDir tmp;
    QProcess server;
    QString port = p.value(QStringLiteral("port"));
    QString key = p.value(QStringLiteral("key"));
    if (!BenchDownload(server, tmp.filePath(QStringLiteral("export.db")), count, &port, &key, out,
                       "bench_export"))
        return 1;
    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    Connection connection;
    if (!LogInDemoUser(connection, port))
        return 1;
    PositionGridModel grid;
    if (!PositionLoad::loadGrid(connection, {key, QStringLiteral("70001"), QString()}, grid))
        return 1;
    connection.close();
    QList<int> rows;
    for (int r = 0; r < grid.size(); ++r)
        rows << r;
    const double loaded = PeakMiB();
    QElapsedTimer t;

    // The least: every cell as the grid shows it, written plainly.
    t.start();
    {
        QFile plain(tmp.filePath(QStringLiteral("plain.txt")));
        if (!plain.open(QIODevice::WriteOnly))
            return 1;
        QByteArray buffer;
        for (int r : std::as_const(rows)) {
            for (int c = 0; c < PositionGrid::kColumns; ++c) {
                buffer += grid.cellText(r, c).toUtf8();
                buffer += ';';
            }
            buffer += '\n';
            if (buffer.size() > (1 << 20)) {
                plain.write(buffer);
                buffer.clear();
            }
        }
        plain.write(buffer);
    }
    const double plainSeconds = t.elapsed() / 1000.0;

    // And what libxlsxwriter alone needs for as many cells (a short text or
    // a number each, in constant memory).
    t.restart();
    {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        const QByteArray file = QFile::encodeName(tmp.filePath(QStringLiteral("alone.xlsx")));
        lxw_workbook* book = workbook_new_opt(file.constData(), &options);
        lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
        for (int r = 0; r < grid.size(); ++r)
            for (int c = 0; c < PositionGrid::kColumns; ++c) {
                if (c % 2)
                    worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), r * 1.5, nullptr);
                else
                    worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), "Position", nullptr);
            }
        workbook_close(book);
    }
    const double aloneSeconds = t.elapsed() / 1000.0;

    struct Run {
        const char* name;
        ExportFormat format;
        QString file;
    };
    const Run runs[] = {{"xlsx", ExportFormat::Xlsx, tmp.filePath(QStringLiteral("p.xlsx"))},
                        {"csv", ExportFormat::Csv, tmp.filePath(QStringLiteral("p.csv"))}};
    out << QStringLiteral("%1 rows × %2 columns; cells as text written plainly: %3 s; "
                          "libxlsxwriter alone, as many cells: %4 s\n")
               .arg(grid.size())
               .arg(PositionGrid::kColumns)
               .arg(plainSeconds, 0, 'f', 2)
               .arg(aloneSeconds, 0, 'f', 2);
    for (const Run& run : runs) {
        int calls = 0;
        t.restart();
        const PositionExportResult r =
            ExportPositions(run.file, run.format, grid, rows, [&calls](int, int) {
                ++calls;
                return true;
            });
        const double seconds = t.elapsed() / 1000.0;
        const double yardstick = run.format == ExportFormat::Xlsx ? aloneSeconds : plainSeconds;
        out << QStringLiteral("%1: %2 (%3 rows) in %4 s, %5 MiB, %6 progress calls; "
                              "%7 times %8\n")
                   .arg(QString::fromLatin1(run.name))
                   .arg(r.ok ? QStringLiteral("ok") : r.error)
                   .arg(r.rows)
                   .arg(seconds, 0, 'f', 2)
                   .arg(QFileInfo(run.file).size() / 1048576.0, 0, 'f', 1)
                   .arg(calls)
                   .arg(yardstick > 0 ? seconds / yardstick : 0, 0, 'f', 2)
                   .arg(run.format == ExportFormat::Xlsx ? QStringLiteral("libxlsxwriter alone")
                                                         : QStringLiteral("the plain writing"));
    }
    out << QStringLiteral("client peak %1 MiB (%2 MiB with the grid loaded)\n")
               .arg(PeakMiB(), 0, 'f', 1)
               .arg(loaded, 0, 'f', 1);
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        server.waitForFinished(10000);
    }
    return 0;
}
