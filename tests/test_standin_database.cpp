// The stand-in's database failing under it, end to end: a disk that fills
// during an import, a damaged page, and requests left behind by a client
// that has gone.
#include "EndToEnd.h"
#include "RawClient.h"
#include "SmallFileSystem.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <csignal>

namespace {

const QString kFull = QStringLiteral("Datenbankfehler: database or disk is full");
const QString kMalformed = QStringLiteral("Datenbankfehler: database disk image is malformed");

// The lines the server wrote on standard error so far.
QStringList errorLines(StandinProcess& server) {
    QTest::qWait(20);
    return QString::fromUtf8(server.process().readAllStandardError())
        .split(u'\n', Qt::SkipEmptyParts);
}

bool fill(const QString& path, qint64 bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QByteArray(bytes, 'x')) == bytes && f.flush();
}

// Overwrites one page of a database file that the server does not run.
bool damagePage(const QString& path, qint64 pageSize, qint64 page) {
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek((page - 1) * pageSize) &&
           f.write(QByteArray(pageSize, '\xA5')) == pageSize;
}

// The lines of SQLite's quick check of a file, and the error that stopped
// it, if one did.
QStringList quickCheck(const QString& path) {
    QStringList lines;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "check");
        db.setDatabaseName(path);
        if (!db.open())
            return {db.lastError().databaseText()};
        QSqlQuery q(db);
        q.exec("PRAGMA quick_check");
        while (q.next())
            lines << q.value(0).toString().split(u'\n', Qt::SkipEmptyParts);
        if (q.lastError().isValid())
            lines << q.lastError().databaseText();
    }
    QSqlDatabase::removeDatabase("check");
    return lines;
}

// Writes into a file until the disk is full.
void fillUp(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'x');
    while (f.write(block) == block.size()) {
    }
}

} // namespace

class TestStandinDatabase : public QObject {
    Q_OBJECT
private slots:
    void fullDiskDuringImport();
    void pausedCommandMeetsAFullDisk();
    void damagedDatabaseIsNotServed();
    void damagedPageIsAnsweredWithItsError();
    void lockedDatabaseIsNotCalledDamaged();
    void requestsOfAClosedConnectionAreNotRun();

private:
    QTemporaryDir m_dir;
};

void TestStandinDatabase::fullDiskDuringImport() {
    QUENDRA_NEED_OWN_FILE_SYSTEM();
    SmallFileSystem disk(4);
    QVERIFY2(disk.mounted(), qPrintable(disk.error()));
    // Room that is freed at the end; the import fills the rest.
    const QString spare = disk.filePath("spare");
    QVERIFY(fill(spare, 512 * 1024));
    const QString file = m_dir.filePath("full.txt");
    QVERIFY(generate(file, 40000, 7));
    const QStringList lines = articleLines(file);
    const QString db = disk.filePath("full.db");
    StandinProcess server(db);
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));

    // While the disk is full a login is told so, not that its user is
    // unknown.
    const QString rest = disk.filePath("rest");
    fillUp(rest);
    QString out, err;
    QCOMPARE(
        RunCli({"--connect", connectOf(server), "--retry-pause", "0", "downloads"}, &out, &err), 1);
    const auto report = [](const QString& operation) {
        return "Vorgang: " + operation + ".\n\nFehler: 5006\n" + kFull + "\n\n";
    };
    QCOMPARE(err, report("cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\n\nDBCall "
                         "Aufruf von VT.Windwos Xecute S P0=$P(^FA(0),\"`\",2) W P0") +
                      report("FMPass.Form_Load Standorte") +
                      report("cacheapi.user_anmeld Verbindung zum Server"));
    QVERIFY(QFile::remove(rest));

    // The import stops at the first line the server could not store, with
    // the database's own words.
    Cli import({"--connect", connectOf(server), "import", file});
    QCOMPARE(import.finish(), 1);
    const QStringList printed = import.out.trimmed().split(u'\t');
    QCOMPARE(printed.value(0), QString("5"));
    const int confirmed = printed.value(1).toInt();
    QVERIFY2(confirmed > 0 && confirmed < lines.size(), qPrintable(import.out));
    QVERIFY2(
        import.err.endsWith("Vorgang: FMImport.Einlesen Position speichern.\n\nFehler: 5006\n" +
                            kFull + "\n\nFehler in Zeile: " + lines[confirmed] + "\n"),
        qPrintable(import.err));
    QCOMPARE(server.process().state(), QProcess::Running);

    // What is stored is what was confirmed: an unbroken start of the file.
    {
        const Database d(db);
        const QStringList stored =
            d.column("SELECT BestNr FROM quendrap_pos WHERE DLID='5' ORDER BY CAST(id AS INTEGER)");
        QCOMPARE(stored.size(), confirmed);
        for (int i = 0; i < stored.size(); ++i)
            QCOMPARE(stored[i], orderNumber(lines[i]));
    }

    // The server said it on standard error, each time with SQLite's text.
    const QStringList logged = errorLines(server);
    static const QRegularExpression failure(
        "^veltar-standin: job \\d+: " + QRegularExpression::escape(kFull) +
        "(; \\d+ requests undone)?$");
    QStringList failures;
    for (const QString& line : logged)
        if (failure.match(line).hasMatch())
            failures << line;
    QVERIFY2(!failures.isEmpty(), qPrintable(logged.join(u'\n')));

    // Once there is room again, the same server logs in and lists the
    // download with what it holds.
    QVERIFY(QFile::remove(spare));
    QCOMPARE(RunCli({"--connect", connectOf(server), "downloads"}, &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("Müller Baustoffe GmbH\t%1\t").arg(confirmed)),
             qPrintable(out));
    server.process().terminate();
    QVERIFY(server.process().waitForFinished(10000));
    QCOMPARE(Database(db).value("PRAGMA integrity_check"), QString("ok"));
}

// An M command that pauses between slices on a full disk ends with the
// database's error, not with success for what was undone; what it kept is
// all there is, and the server serves on once there is room.
void TestStandinDatabase::pausedCommandMeetsAFullDisk() {
    QUENDRA_NEED_OWN_FILE_SYSTEM();
    SmallFileSystem disk(4);
    QVERIFY2(disk.mounted(), qPrintable(disk.error()));
    StandinProcess server(disk.filePath("paused.db"), true,
                          {"--serve-slice", "1", "--m-time-limit", "0"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw raw(server.port());
    QVERIFY(!raw.hello().isEmpty());
    QCOMPARE(raw.xecute("S ^PAUSED=0"), QString());
    const QString rest = disk.filePath("rest");
    fillUp(rest);
    QCOMPARE(raw.xecute(R"(F I=1:1:20000 S ^PAUSED(I)=$J("",40),^PAUSED=I)"),
             "error 5006 " + kFull);
    QVERIFY(QFile::remove(rest));
    const QString kept = raw.xecute("W ^PAUSED");
    QVERIFY2(kept.toInt() < 20000, qPrintable(kept));
    QCOMPARE(raw.xecute("W $D(^PAUSED(" + QString::number(kept.toInt() + 1) + "))"), QString("0"));
    QCOMPARE(raw.xecute("S ^PAUSED=-1 W ^PAUSED"), QString("-1"));
}

void TestStandinDatabase::damagedDatabaseIsNotServed() {
    const QString db = m_dir.filePath("damaged.db");
    qint64 page = 0;
    qint64 pageSize = 0;
    {
        StandinProcess server(db);
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    }
    {
        const Database d(db);
        pageSize = d.value("PRAGMA page_size").toLongLong();
        page = d.value("SELECT rootpage FROM sqlite_master WHERE name='quendrap_pos'").toLongLong();
        QVERIFY(page > 1 && page < d.value("PRAGMA page_count").toLongLong());
    }
    QVERIFY(damagePage(db, pageSize, page));
    const QStringList findings = quickCheck(db);
    QVERIFY(!findings.isEmpty() && findings != QStringList{"ok"});

    QProcess standin;
    standin.start(VELTAR_STANDIN, {"--db", db, "--port", "0", "--no-tls"});
    QVERIFY(standin.waitForFinished(30000));
    QCOMPARE(standin.exitCode(), 3);
    QCOMPARE(standin.readAllStandardOutput(), QByteArray());
    QString expected =
        "veltar-standin: database " + db + " failed its check (PRAGMA quick_check):\n";
    for (const QString& finding : findings)
        expected += "  " + finding + "\n";
    expected += "veltar-standin: not started; restore the database from a backup, or start with "
                "--no-check to serve it as it is\n";
    QCOMPARE(QString::fromUtf8(standin.readAllStandardError()), expected);
}

// A database another program holds locked is not reported as damaged.
void TestStandinDatabase::lockedDatabaseIsNotCalledDamaged() {
    const QString db = m_dir.filePath("locked.db");
    {
        StandinProcess server(db);
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    }
    QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
    holder.setDatabaseName(db);
    QVERIFY(holder.open());
    QSqlQuery lock(holder);
    QVERIFY(lock.exec("PRAGMA locking_mode=EXCLUSIVE"));
    QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
    QProcess standin;
    standin.start(VELTAR_STANDIN, {"--db", db, "--port", "0", "--no-tls"});
    QVERIFY(standin.waitForFinished(60000));
    QCOMPARE(standin.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(standin.readAllStandardError()),
             "veltar-standin: database " + db + " cannot be opened: database is locked\n");
    lock.exec("ROLLBACK");
    lock.finish();
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

void TestStandinDatabase::damagedPageIsAnsweredWithItsError() {
    const QString db = m_dir.filePath("page.db");
    {
        StandinProcess server(db);
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    }
    {
        const Database d(db);
        const qint64 pageSize = d.value("PRAGMA page_size").toLongLong();
        const qint64 page =
            d.value("SELECT rootpage FROM sqlite_master WHERE name='quendrap_pos'").toLongLong();
        QVERIFY(damagePage(db, pageSize, page));
    }
    // Served as it is: what does not touch the page works, what reads it
    // is answered with the database's error, and the connection stays.
    StandinProcess server(db, false, {"--no-check"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw raw(server.port());
    const QString job = raw.hello();
    QVERIFY(!job.isEmpty());
    QCOMPARE(Raw::text(raw.call(Wire::Op::Open, {"quendrap.pos", "1"})),
             "error 5006 " + kMalformed);
    QCOMPARE(raw.xecute("W $P(^FA(0),\"`\",2)"), QString("2027"));
    QCOMPARE(raw.xecute("S ^QTEST(1)=1 W $G(^QTEST(1))"), QString("1"));
    // Said on standard error (once more when the batch's commit failed on
    // the same page).
    const QStringList logged = errorLines(server).filter("job " + job + ": ");
    QVERIFY(!logged.isEmpty());
    static const QRegularExpression said("^veltar-standin: job " + job + ": " +
                                         QRegularExpression::escape(kMalformed) +
                                         "(; 1 requests undone)?$");
    for (const QString& line : logged)
        QVERIFY2(said.match(line).hasMatch(), qPrintable(line));
}

void TestStandinDatabase::requestsOfAClosedConnectionAreNotRun() {
    const QString db = m_dir.filePath("closed.db");
    StandinProcess server(db);
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const pid_t pid = pid_t(server.process().processId());
    constexpr int kRequests = 500;
    QString job;
    {
        // A client sends its requests while the server is stopped, and
        // gives up before any is answered.
        Raw raw(server.port());
        job = raw.hello();
        QVERIFY(!job.isEmpty());
        QCOMPARE(raw.xecute("S ^QTEST(0)=0"), QString());
        ::kill(pid, SIGSTOP);
        for (int i = 1; i <= kRequests; ++i)
            raw.send(Wire::Op::Method, {"1", "Xecute", QStringLiteral("S ^QTEST(%1)=1").arg(i)});
        QVERIFY(waitUntil(
            [&] {
                raw.socket().waitForBytesWritten(10);
                return raw.pendingOutput() == 0;
            },
            10000));
        raw.socket().disconnectFromHost();
        QVERIFY(waitUntil(
            [&] {
                raw.socket().waitForBytesWritten(10);
                return raw.socket().state() == QAbstractSocket::UnconnectedState ||
                       raw.pendingOutput() == 0;
            },
            10000));
        QTest::qWait(100);
    }
    ::kill(pid, SIGCONT);
    // Going on, the server runs none of them, says so, and serves others.
    const QString gone = QStringLiteral("veltar-standin: job %1: client gone; %2 requests not run, "
                                        "0 undone")
                             .arg(job)
                             .arg(kRequests);
    QStringList logged;
    QVERIFY2(waitUntil(
                 [&] {
                     logged += errorLines(server);
                     return logged.contains(gone);
                 },
                 30000),
             qPrintable(logged.join(u'\n')));
    Raw other(server.port());
    QVERIFY(!other.hello().isEmpty());
    QCOMPARE(other.xecute("W $D(^QTEST(0)),$D(^QTEST(1)),$D(^QTEST(500))"), QString("100"));
    // Kept as company 1's (its name after the company and U+001F).
    QCOMPARE(Database(db).count("SELECT count(*) FROM globals WHERE name='1'||char(31)||'QTEST'"),
             1);
}

QTEST_GUILESS_MAIN(TestStandinDatabase)
#include "test_standin_database.moc"
