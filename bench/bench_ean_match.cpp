// Posting an EAN/price match file against a big download through the same
// code as the match window ("Verbuchen"): every line sets an article's order
// EAN and looks up the download's positions of that article and EAN. In the
// same run: as many PING round trips one at a time (the machine's own limit
// per line), and a few lines again after the index of the positions'
// download and article was dropped, as the look-up cost before it.
//
//   bench_ean_match [--positions N] [--lines L] [--unindexed U]
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "import/EanMatch.h"
#include "server/Connection.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// Line i names the article of position 3i (the generated download assigns
// every third position) and the EAN of position 3i+1, which has no article.
QList<EanMatchRow> matchRows(const QString& key, int from, int count) {
    const QString series = QStringLiteral("%1").arg(key.toInt() % 100, 2, 10, QChar(u'0'));
    QList<EanMatchRow> rows;
    for (int i = from; i < from + count; ++i)
        rows.append({QStringLiteral("6%1%2").arg(series).arg(i, 6, 10, QChar(u'0')),
                     QStringLiteral("Testartikel"),
                     QStringLiteral("40%1%2").arg(series).arg(3 * i + 1, 9, 10, QChar(u'0')),
                     QString()});
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchWorkstation workstation;
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Positions of the download (200000)."),
                 QStringLiteral("N"), QStringLiteral("200000")});
    p.addOption({QStringLiteral("lines"), QStringLiteral("Lines of the match file (10000)."),
                 QStringLiteral("L"), QStringLiteral("10000")});
    p.addOption({QStringLiteral("unindexed"),
                 QStringLiteral("Lines posted again without the index (100)."), QStringLiteral("U"),
                 QStringLiteral("100")});
    p.process(app);
    QTextStream out(stdout);
    const int count = p.value(QStringLiteral("positions")).toInt();
    const int lines = qMin(p.value(QStringLiteral("lines")).toInt(), count / 3 - 1);
    const int unindexed = qMin(p.value(QStringLiteral("unindexed")).toInt(), count / 3 - 1 - lines);
    QTemporaryDir tmp;
    const QString database = tmp.filePath(QStringLiteral("match.db"));
    QProcess server;
    QString port;
    QString key;
    if (!BenchDownload(server, database, count, &port, &key, out, "bench_ean_match"))
        return 1;
    const PositionDownload download{key, QStringLiteral("70001"), QString()};

    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    if (!LogInDemoUser(workstation.connection(), port))
        return 1;

    const auto post = [&](const QString& what, const QList<EanMatchRow>& rows) {
        QElapsedTimer t;
        t.start();
        const bool ok = PostEanMatch(workstation.connection(), rows, download);
        const double s = t.elapsed() / 1000.0;
        out << QStringLiteral("%1 (%2): %3 lines in %4 s, %5 ms a line\n")
                   .arg(what, ok ? QStringLiteral("ok") : QStringLiteral("FAILED"))
                   .arg(rows.size())
                   .arg(s, 0, 'f', 2)
                   .arg(rows.isEmpty() ? 0.0 : 1000 * s / rows.size(), 0, 'f', 3);
        out.flush();
        return ok ? s / qMax<qsizetype>(1, rows.size()) : -1.0;
    };
    const double indexed = post(QStringLiteral("match file"), matchRows(key, 0, lines));

    workstation.connection().ensure();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < lines; ++i)
        workstation.connection().client().call(Wire::Op::Ping, {});
    const double ping = t.elapsed() / 1000.0 / qMax(1, lines);
    out << QStringLiteral("PING one at a time: %1 ms a round trip; a line / PING: %2\n")
               .arg(1000 * ping, 0, 'f', 3)
               .arg(indexed / (ping > 0 ? ping : 1), 0, 'f', 2);

    // The same look-ups without the index (the server's statements are
    // prepared again for the changed schema).
    double plain = -1;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA busy_timeout=10000"));
            q.exec(QStringLiteral("DROP INDEX IF EXISTS quendrap_pos_artnr"));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    if (unindexed > 0)
        plain = post(QStringLiteral("without the index"), matchRows(key, lines, unindexed));
    if (plain > 0 && indexed > 0)
        out << QStringLiteral("a line without / with the index: %1\n")
                   .arg(plain / indexed, 0, 'f', 1);
    workstation.connection().close();
    server.terminate();
    server.waitForFinished(10000);
    return indexed >= 0 ? 0 : 1;
}
