// Faults end to end, as a buyer's scheduled job meets them: real
// veltar-standin processes and quendra-cli runs. The server is killed in the
// middle of an import, a grid load and a posting and started again on the
// same database; it is stopped under an import; a client is killed in the
// middle of its import; fifty imports run at once.
#include "EndToEnd.h"

#include <QSet>
#include <QTest>
#include <csignal>
#include <memory>
#include <utility>

namespace {

// Waits until download 5 (the first import's) holds at least n positions.
bool waitForPositions(const Database& d, int n) {
    return waitUntil(
        [&] { return d.count("SELECT count(*) FROM quendrap_pos WHERE DLID='5'") >= n; }, 120000);
}

const QString kLost = QStringLiteral("Fehler: 461\nVerbindung zum Server verloren\n");

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void serverKilledDuringImport();
    void downloadDeletedDuringImport();
    void serverKilledDuringGridLoadAndPosting();
    void stoppedServerTimesOut();
    void clientKilledDuringImport();
    void fiftyImportsAtOnce();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestFaults::serverKilledDuringImport() {
    const QString db = path("import.db");
    const QString file = path("import.txt");
    QVERIFY(generate(file, 60000));
    const QStringList lines = articleLines(file);
    QCOMPARE(lines.size(), 60000);
    {
        StandinProcess server(db);
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        Cli cli({"--connect", connectOf(server), "import", file});
        const Database d(db);
        QVERIFY(waitForPositions(d, 3000));
        server.kill();
        QCOMPARE(cli.finish(), 1);
        // The partial download and the positions the server confirmed; the
        // line named is the first one not confirmed, after the cause.
        const QStringList printed = cli.out.trimmed().split(u'\t');
        QCOMPARE(printed.value(0), QString("5"));
        const int confirmed = printed.value(1).toInt();
        QVERIFY2(confirmed >= 1 && confirmed < lines.size(), qPrintable(cli.out));
        const QString message = "Vorgang: FMImport.Einlesen Position speichern.\n\n" + kLost +
                                "\nFehler in Zeile: " + lines[confirmed] + "\n";
        QVERIFY2(cli.err.endsWith(message), qPrintable(cli.err));

        StandinProcess again(db, false);
        QVERIFY2(again.started(), qPrintable(again.errorOutput()));
        const Database after(db);
        QCOMPARE(after.value("PRAGMA integrity_check"), QString("ok"));
        // What is stored is an unbroken start of the file: what was
        // confirmed, and at most the batch whose commit the kill met before
        // its answers left.
        const QStringList stored = after.column(
            "SELECT BestNr FROM quendrap_pos WHERE DLID='5' ORDER BY CAST(id AS INTEGER)");
        QVERIFY2(stored.size() >= confirmed && stored.size() <= confirmed + 256,
                 qPrintable(QString::number(stored.size())));
        for (int i = 0; i < stored.size(); ++i)
            QCOMPARE(stored[i], orderNumber(lines[i]));

        // The job cleans up and runs again: every line once.
        QString out, err;
        QCOMPARE(RunCli({"--connect", connectOf(again), "delete", "5"}, &out, &err), 0);
        QCOMPARE(RunCli({"--connect", connectOf(again), "import", file}, &out, &err, 300000), 0);
        QCOMPARE(out, QString("6\t60000\n"));
        QCOMPARE(after.count("SELECT count(*) FROM quendrap_pos WHERE DLID='5'"), 0);
        QCOMPARE(after.count("SELECT count(DISTINCT BestNr) FROM quendrap_pos WHERE DLID='6'"),
                 60000);
    }
}

void TestFaults::downloadDeletedDuringImport() {
    const QString db = path("delete.db");
    const QString file = path("delete.txt");
    QVERIFY(generate(file, 60000, 4));
    const QStringList lines = articleLines(file);
    StandinProcess server(db);
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const Database d(db);
    Cli import({"--connect", connectOf(server), "import", file});
    QVERIFY(waitForPositions(d, 3000));
    // Another job deletes the download under the import: both say what
    // happened, and no position is left without its download.
    QString out, err;
    QCOMPARE(RunCli({"--connect", connectOf(server), "delete", "5"}, &out, &err), 0);
    QCOMPARE(import.finish(), 1);
    const int confirmed = import.out.trimmed().section(u'\t', 1).toInt();
    QVERIFY2(confirmed >= 3000 && confirmed < lines.size(), qPrintable(import.out));
    const QString message = "Vorgang: FMImport.Einlesen Position speichern.\n\nFehler: 5809\n"
                            "Objekt nicht gefunden: quendrap.downloads 5\n\nFehler in Zeile: " +
                            lines[confirmed] + "\n";
    QVERIFY2(import.err.endsWith(message), qPrintable(import.err));
    QCOMPARE(d.count("SELECT count(*) FROM quendrap_pos WHERE DLID='5'"), 0);
    QCOMPARE(d.count("SELECT count(*) FROM quendrap_downloads WHERE id='5'"), 0);
}

void TestFaults::serverKilledDuringGridLoadAndPosting() {
    const QString db = path("grid.db");
    const int rows = 30000;
    QString key;
    {
        StandinProcess server(db, false, {"--demo-positions", QString::number(rows)});
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        key = Database(db).value("SELECT max(CAST(id AS INTEGER)) FROM quendrap_downloads");
        Cli cli({"--connect", connectOf(server), "positions", key});
        // Killed once the tool has logged in, long before 30,000 rows are
        // in its grid.
        const Database d(db);
        QVERIFY(waitUntil(
            [&] { return d.count("SELECT count(*) FROM globals WHERE name='%XTT'") > 0; }, 60000));
        QThread::msleep(100);
        server.kill();
        QCOMPARE(cli.finish(), 1);
        QVERIFY2(cli.err.contains(kLost), qPrintable(cli.err));
    }
    {
        StandinProcess server(db, false);
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        const Database d(db);
        QCOMPARE(d.value("PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(d.count("SELECT count(*) FROM quendrap_pos WHERE DLID='" + key + "'"), rows);
        // A posting that creates articles, killed half way: the positions
        // posted are exactly those whose answers the tool printed.
        const QStringList options{"--connect",
                                  connectOf(server),
                                  "post",
                                  key,
                                  "--all",
                                  "--options",
                                  "chvorhupd,chneu,chstamm,chbez,kondanl,ekanl,vkanl"};
        Cli cli(options);
        // Killed once 200 answers have surely left: beyond them one batch
        // of requests in flight (256) may be stored and not yet answered.
        QVERIFY(waitUntil(
            [&] {
                return d.count("SELECT count(*) FROM quendrap_pos WHERE Status LIKE 'Verbucht%'") >=
                       200 + 256;
            },
            120000));
        server.kill();
        QCOMPARE(cli.finish(), 1);
        QVERIFY2(cli.err.contains(kLost), qPrintable(cli.err));
        QStringList answered;
        for (const QString& line : cli.out.split(u'\n', Qt::SkipEmptyParts))
            if (line.section(u'\t', 1).startsWith(u"Verbucht"))
                answered << line.section(u'\t', 0, 0);
        QVERIFY2(answered.size() >= 200 && answered.size() < rows,
                 qPrintable(QString::number(answered.size())));

        StandinProcess again(db, false);
        QVERIFY2(again.started(), qPrintable(again.errorOutput()));
        const Database after(db);
        QCOMPARE(after.value("PRAGMA integrity_check"), QString("ok"));
        // The posted rows begin with those answered; beyond them at most the
        // batch whose commit the kill met before its answers left.
        const QStringList posted =
            after.column("SELECT id FROM quendrap_pos WHERE DLID='" + key +
                         "' AND Status LIKE 'Verbucht%' ORDER BY CAST(id AS INTEGER)");
        QCOMPARE(posted.mid(0, answered.size()), answered);
        QVERIFY2(posted.size() <= answered.size() + 256,
                 qPrintable(QString::number(posted.size())));
        // Posting again finishes the rest and makes no article twice.
        QStringList rerun = options;
        rerun[1] = connectOf(again);
        Cli second(rerun);
        QCOMPARE(second.finish(600000), 0);
        QCOMPARE(
            after.count("SELECT count(*) FROM (SELECT BESTNR FROM vt_artikel WHERE LNR='70001' "
                        "AND BESTNR<>'' GROUP BY FIRMA, BESTNR HAVING count(*) > 1)"),
            0);
        QCOMPARE(second.out.count(u'\n'), rows);
    }
}

void TestFaults::stoppedServerTimesOut() {
    const QString db = path("stop.db");
    const QString file = path("stop.txt");
    QVERIFY(generate(file, 40000, 2));
    const QStringList lines = articleLines(file);
    StandinProcess server(db);
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const qint64 pid = server.process().processId();
    {
        // Stopped under an import: the tool gives up after its time-out
        // with the report and the first line not confirmed.
        Cli cli({"--connect", connectOf(server), "--timeout", "3", "import", file});
        const Database d(db);
        QVERIFY(
            waitUntil([&] { return d.count("SELECT count(*) FROM quendrap_pos") > 2000; }, 120000));
        ::kill(pid_t(pid), SIGSTOP);
        const int rc = cli.finish(60000);
        ::kill(pid_t(pid), SIGCONT);
        QCOMPARE(rc, 1);
        const QStringList printed = cli.out.trimmed().split(u'\t');
        const int confirmed = printed.value(1).toInt();
        QVERIFY2(confirmed > 0 && confirmed < lines.size(), qPrintable(cli.out));
        const QString message = "Vorgang: FMImport.Einlesen Position speichern.\n\nFehler: 462\n"
                                "Keine Antwort des Servers innerhalb von 3 Sekunden\n\n"
                                "Fehler in Zeile: " +
                                lines[confirmed] + "\n";
        QVERIFY2(cli.err.endsWith(message), qPrintable(cli.err));
    }
    {
        // A stopped server holds no login for long: the greeting's own
        // time-out ends each attempt.
        ::kill(pid_t(pid), SIGSTOP);
        QString out, err;
        const int rc = RunCli(
            {"--connect", connectOf(server), "--timeout", "1", "--retry-pause", "0", "downloads"},
            &out, &err, 60000);
        ::kill(pid_t(pid), SIGCONT);
        QCOMPARE(rc, 1);
        QVERIFY2(err.contains("Server nach 3 Versuchen nicht erreichbar!"), qPrintable(err));
    }
    // Going on, the server runs nothing of what the timed-out client left
    // in its socket (it has closed its connection) and serves the next
    // client; what is stored stays as it is.
    const Database d(db);
    const QString held = "SELECT count(*) FROM quendrap_pos WHERE DLID='5'";
    int before = -1;
    QVERIFY(waitUntil(
        [&] {
            const int now = d.count(held);
            QThread::msleep(200);
            return std::exchange(before, now) == now;
        },
        60000));
    {
        // Stopped under "Mehrfachsetzen": the row whose call got no answer
        // may be stored all the same; it is named as such, not as unsaved.
        const QStringList ids =
            d.column("SELECT id FROM quendrap_pos WHERE DLID='5' ORDER BY id LIMIT 6000");
        QVERIFY(ids.size() > 1000);
        Cli cli({"--connect", connectOf(server), "--timeout", "2", "set-marked", "5",
                 ids.join(u','), "9", "Gesetzt"});
        QVERIFY(waitUntil(
            [&] { return d.count("SELECT count(*) FROM quendrap_pos WHERE Bez1='Gesetzt'") > 20; },
            120000));
        ::kill(pid_t(pid), SIGSTOP);
        const int rc = cli.finish(60000);
        ::kill(pid_t(pid), SIGCONT);
        QCOMPARE(rc, 1);
        QCOMPARE(cli.err.count(": Ergebnis unbekannt\n"), 1);
        QVERIFY2(!cli.err.contains("nicht gespeichert"), qPrintable(cli.err.left(2000)));
        QVERIFY(cli.err.contains(": nicht gesetzt nach einem Serverfehler\n"));
    }
    QString out, err;
    QCOMPARE(RunCli({"--connect", connectOf(server), "downloads"}, &out, &err), 0);
    // The partial download with what it holds.
    QVERIFY2(out.contains(QStringLiteral("Müller Baustoffe GmbH\t%1\t")
                              .arg(d.count("SELECT count(*) FROM quendrap_pos WHERE DLID='5'"))),
             qPrintable(out));
}

void TestFaults::clientKilledDuringImport() {
    const QString db = path("client.db");
    const QString file = path("client.txt");
    QVERIFY(generate(file, 60000, 3));
    const QStringList lines = articleLines(file);
    StandinProcess server(db);
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const Database d(db);
    {
        Cli cli({"--connect", connectOf(server), "import", file});
        QVERIFY(waitForPositions(d, 3001));
        cli.process().kill();
        cli.process().waitForFinished(10000);
    }
    // The server is left with an unbroken start of the file, no half
    // position, and serves the next client.
    QString out, err;
    QCOMPARE(RunCli({"--connect", connectOf(server), "downloads"}, &out, &err), 0);
    QCOMPARE(d.value("PRAGMA integrity_check"), QString("ok"));
    const QStringList stored =
        d.column("SELECT BestNr FROM quendrap_pos WHERE DLID='5' ORDER BY CAST(id AS INTEGER)");
    QVERIFY(stored.size() > 3000 && stored.size() < lines.size());
    for (int i = 0; i < stored.size(); ++i)
        QCOMPARE(stored[i], orderNumber(lines[i]));
    QCOMPARE(d.count("SELECT count(*) FROM quendrap_pos WHERE DLID='5' AND (Bezeichnung='' OR "
                     "netto='' OR vkexcl='')"),
             0);
}

void TestFaults::fiftyImportsAtOnce() {
    const QString db = path("fifty.db");
    StandinProcess server(db);
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    constexpr int kJobs = 50;
    QList<QStringList> files;
    std::vector<std::unique_ptr<Cli>> jobs;
    for (int i = 0; i < kJobs; ++i) {
        const QString file = path(QStringLiteral("fifty-%1.txt").arg(i));
        QVERIFY(generate(file, 200 + i, 100 + i));
        files << articleLines(file);
    }
    for (int i = 0; i < kJobs; ++i)
        jobs.push_back(
            std::make_unique<Cli>(QStringList{"--connect", connectOf(server), "import",
                                              path(QStringLiteral("fifty-%1.txt").arg(i))}));
    const Database d(db);
    QSet<QString> keys;
    for (int i = 0; i < kJobs; ++i) {
        QCOMPARE(jobs[i]->finish(300000), 0);
        const QStringList printed = jobs[i]->out.trimmed().split(u'\t');
        QCOMPARE(printed.value(1), QString::number(200 + i));
        keys << printed.value(0);
        // Each download holds its own file, in order, and nothing else.
        QStringList expected;
        for (const QString& line : files[i])
            expected << orderNumber(line);
        QCOMPARE(d.column("SELECT BestNr FROM quendrap_pos WHERE DLID='" + printed.value(0) +
                          "' ORDER BY CAST(id AS INTEGER)"),
                 expected);
    }
    QCOMPARE(keys.size(), kJobs);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
