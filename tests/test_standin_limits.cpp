#include "RawClient.h"
#include "TestSupport.h"
#include "common/WireProtocol.h"

#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <memory>

namespace {

// Another client is served: a fresh connection answers HELLO and PING.
bool othersServed(quint16 port) {
    Raw other(port);
    if (other.hello().isEmpty())
        return false;
    const auto r = other.call(Wire::Op::Ping, {"still", "there"});
    return r && r->status == Wire::Status::Ok && r->values == QStringList{"still", "there"};
}

} // namespace

// What no client can do to veltar-standin: crash it, freeze it for the
// others, or make it hold memory without bound. Each case runs the server
// with small limits and checks the answer to the offending request and that
// other connections are still served.
class TestStandinLimits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deepNestingIsAnMError_data();
    void deepNestingIsAnMError();
    void endlessCommandIsInterrupted();
    void longTranslateAnswersRightResult();
    void writeOutputIsCapped();
    void connectionsBeyondTheMaximumRefused();
    void incompleteFrameTimesOut();
    void unreadAnswersStopReading();
    void resultSetsPerJobCapped();
    void lockedDatabaseRefusesOnlyNewJobs();
    void openResultSetDoesNotPinTheWal();
    void sessionEntryRemovedWhenConnectionEnds();
    void invalidLimitOptionRefused_data();
    void invalidLimitOptionRefused();

private:
    QTemporaryDir m_dir;
    int m_dbs = 0;
    QString db() { return m_dir.filePath(QStringLiteral("l%1.db").arg(++m_dbs)); }
};

void TestStandinLimits::deepNestingIsAnMError_data() {
    QTest::addColumn<QString>("line");
    const auto nested = [](const QString& open, const QString& inner, const QString& close,
                           int depth) {
        return "W " + open.repeated(depth) + inner + close.repeated(depth);
    };
    QTest::newRow("parentheses") << nested("(", "1", ")", 30000);
    QTest::newRow("minus") << nested("-", "1", "", 100000);
    QTest::newRow("not") << nested("'", "1", "", 100000);
    QTest::newRow("$L") << nested("$L(", "1", ")", 30000);
    QTest::newRow("subscripts") << nested("X(", "1", ")", 30000);
    QTest::newRow("FOR") << QString("F  ").repeated(20000) + "Q";
}

// Nesting far beyond the limit would overflow the interpreter's stack:
// it is an M error for that request, before anything of the line ran.
void TestStandinLimits::deepNestingIsAnMError() {
    QFETCH(QString, line);
    StandinProcess server(db(), true, {"--m-max-nesting", "200"});
    QVERIFY(server.port());
    Raw c(server.port());
    QVERIFY(!c.hello().isEmpty());
    QCOMPARE(c.xecute("S ^RAN=1 " + line), "error 5002 <STACK> S ^RAN=1 " + line);
    QCOMPARE(c.xecute("W $D(^RAN)"), QString("0"));
    // Nesting within the limit still works, on the same connection.
    QCOMPARE(c.xecute("W " + QString("(").repeated(150) + "7" + QString(")").repeated(150)),
             QString("7"));
    QVERIFY(othersServed(server.port()));
    QVERIFY(server.running());
}

// An endless loop ends with an M error once its budget is spent; the job
// and the other connections go on.
void TestStandinLimits::endlessCommandIsInterrupted() {
    StandinProcess server(db(), true, {"--m-max-steps", "200000"});
    QVERIFY(server.port());
    Raw c(server.port());
    QVERIFY(!c.hello().isEmpty());
    QCOMPARE(c.xecute("S ^N=0 F  S X=1"), QString("error 5002 <INTERRUPT> S ^N=0 F  S X=1"));
    // Work before the interruption is kept, as after any M error.
    QCOMPARE(c.xecute("W ^N,X"), QString("01"));
    QVERIFY(othersServed(server.port()));
    // The budget is per command: the next one runs in full.
    QCOMPARE(c.xecute("S S=0 F I=1:1:1000 S S=S+I"), QString());
    QCOMPARE(c.xecute("W S"), QString("500500"));
}

void TestStandinLimits::longTranslateAnswersRightResult() {
    StandinProcess server(db());
    QVERIFY(server.port());
    Raw c(server.port());
    QVERIFY(!c.hello().isEmpty());
    QCOMPARE(c.xecute(R"(S Y=$TR($J("",300000)," ","b"),X=$J("",300000) W $L($TR(X,Y)))"),
             QString("300000"));
    QCOMPARE(c.xecute(R"(S Y=$TR($J("",300000)," ","b") W $L($TR(Y_"ac",Y,"x")),$TR("bcb",Y,"x"))"),
             QString("300002xcx"));
    QVERIFY(othersServed(server.port()));
}

void TestStandinLimits::writeOutputIsCapped() {
    StandinProcess server(db(), true, {"--m-max-output", "1000"});
    QVERIFY(server.port());
    Raw c(server.port());
    QVERIFY(!c.hello().isEmpty());
    QCOMPARE(c.xecute(R"(W $J("",1000))").size(), 1000);
    QCOMPARE(c.xecute(R"(W $J("",999),"ab")"), QString(R"(error 5002 <STORE> W $J("",999),"ab")"));
    QCOMPARE(c.xecute(R"(F  W "x")"), QString(R"(error 5002 <STORE> F  W "x")"));
    QCOMPARE(c.xecute(R"(W ?1001)"), QString(R"(error 5002 <STORE> W ?1001)"));
    QCOMPARE(c.xecute(R"(W "a",!,"b")"), QString("a\nb"));
}

void TestStandinLimits::connectionsBeyondTheMaximumRefused() {
    StandinProcess server(db(), true, {"--max-connections", "2"});
    QVERIFY(server.port());
    auto a = std::make_unique<Raw>(server.port());
    Raw b(server.port());
    QVERIFY(!a->hello().isEmpty());
    QVERIFY(!b.hello().isEmpty());
    Raw third(server.port());
    const auto refused = third.reply();
    QVERIFY(refused);
    QCOMPARE(refused->id, 0u);
    QCOMPARE(refused->status, Wire::Status::Error);
    QCOMPARE(refused->errorNumber, 5001);
    QCOMPARE(refused->errorText, QString("Zu viele Verbindungen; Verbindung wird getrennt"));
    QVERIFY(third.closedByServer());
    QCOMPARE(b.xecute("W 6*7"), QString("42"));
    // A place that becomes free is taken by the next connection. The check
    // connects, so it counts once it has succeeded: QTRY evaluates its
    // condition once more afterwards, when the place may still be held by
    // the connection that just succeeded.
    a.reset();
    bool served = false;
    QTRY_VERIFY_WITH_TIMEOUT(served || (served = othersServed(server.port())), 10000);
}

void TestStandinLimits::incompleteFrameTimesOut() {
    StandinProcess server(db(), true, {"--frame-timeout", "300"});
    QVERIFY(server.port());
    Raw slow(server.port());
    QVERIFY(!slow.hello().isEmpty());
    // A frame announced with 1,000 bytes of which 3 arrive.
    slow.socket().write(QByteArray("\0\0\x03\xe8"
                                   "abc",
                                   7));
    slow.socket().flush();
    const auto r = slow.reply();
    QVERIFY(r);
    QCOMPARE(r->errorNumber, 5010);
    QCOMPARE(r->errorText,
             QString("Rahmen nicht rechtzeitig vollständig; Verbindung wird getrennt"));
    QVERIFY(slow.closedByServer());
    QVERIFY(othersServed(server.port()));

    // A connection without a partial frame may stay idle.
    Raw idle(server.port());
    QVERIFY(!idle.hello().isEmpty());
    QTest::qWait(800);
    QCOMPARE(idle.xecute("W 1"), QString("1"));
}

// A client that sends and never reads: the server stops reading it once
// its answers pile up, serves the others meanwhile, and the client still
// gets every answer in order once it reads.
void TestStandinLimits::unreadAnswersStopReading() {
    StandinProcess server(db(), true,
                          {"--max-pending-output", "100000", "--frame-timeout", "60000"});
    QVERIFY(server.port());
    Raw greedy(server.port());
    QVERIFY(!greedy.hello().isEmpty());
    greedy.socket().setReadBufferSize(4096);
    const QString big(20000, u'x');
    constexpr int kRequests = 2000; // 40 MB of answers
    int sent = 0;
    // Writes until TCP stops taking more: the server has stopped reading.
    QByteArray frames;
    for (int i = 0; i < kRequests; ++i) {
        Wire::Request r;
        r.id = quint32(i + 10);
        r.op = Wire::Op::Ping;
        r.args = {QString::number(i), big};
        frames += Wire::encodeRequest(r);
    }
    greedy.socket().write(frames);
    for (int i = 0; i < 50 && greedy.pendingOutput() > 0; ++i)
        greedy.socket().waitForBytesWritten(100);
    QVERIFY2(greedy.pendingOutput() > 0, "the server read everything unread");
    QVERIFY(othersServed(server.port()));
    for (int i = 0; i < kRequests; ++i) {
        const auto r = greedy.reply();
        QVERIFY2(r, qPrintable(QString::number(i)));
        QCOMPARE(r->id, quint32(i + 10));
        QCOMPARE(r->values.value(0), QString::number(i));
        ++sent;
    }
    QCOMPARE(sent, kRequests);
}

void TestStandinLimits::resultSetsPerJobCapped() {
    StandinProcess server(db(), true, {"--max-result-sets", "2"});
    QVERIFY(server.port());
    Raw c(server.port());
    QVERIFY(!c.hello().isEmpty());
    const auto open = [&] { return c.call(Wire::Op::Query, {"VT.XW", "Liste", "1", "WEB|MUE"}); };
    const auto first = open();
    QVERIFY(first && first->status == Wire::Status::Ok);
    QVERIFY(open()->status == Wire::Status::Ok);
    const auto third = open();
    QVERIFY(third);
    QCOMPARE(third->status, Wire::Status::Error);
    QCOMPARE(third->errorNumber, 5001);
    QCOMPARE(third->errorText, QString("Zu viele offene Ergebnismengen in diesem Job"));
    // A query that fits in one batch keeps nothing open and still answers.
    const auto whole = c.call(Wire::Op::Query, {"VT.XW", "Liste", "100", "WEB|MUE"});
    QVERIFY(whole && whole->status == Wire::Status::Ok);
    QCOMPARE(whole->values.mid(0, 3), (QStringList{"0", "1", "0"}));
    QCOMPARE(whole->values.size(), 3 + 6);
    // Closing one makes room for another.
    QVERIFY(c.call(Wire::Op::QueryClose, {first->values.value(0)})->status == Wire::Status::Ok);
    QVERIFY(open()->status == Wire::Status::Ok);
}

// Another program holds the database's write lock: a new connection's
// HELLO either gets its job (numbers are reserved ahead) or is answered with
// the database's error and may try again; the server never ends, and serves
// everyone once the lock is gone.
void TestStandinLimits::lockedDatabaseRefusesOnlyNewJobs() {
    const QString path = db();
    StandinProcess server(path);
    QVERIFY(server.port());
    Raw first(server.port());
    QVERIFY(!first.hello().isEmpty());
    std::unique_ptr<Raw> waiting;
    {
        QSqlDatabase lock = QSqlDatabase::addDatabase("QSQLITE", "lock");
        lock.setDatabaseName(path);
        QVERIFY(lock.open());
        QSqlQuery q(lock);
        QVERIFY2(q.exec("BEGIN IMMEDIATE"), qPrintable(q.lastError().text()));
        std::optional<Wire::Reply> refused;
        for (int i = 0; i < 150 && !refused; ++i) {
            auto c = std::make_unique<Raw>(server.port());
            const auto r = c->call(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test"});
            QVERIFY(r);
            if (r->status == Wire::Status::Error) {
                refused = r;
                waiting = std::move(c);
            }
        }
        QVERIFY(refused);
        QCOMPARE(refused->id, 1u);
        QCOMPARE(refused->errorNumber, 5006);
        QCOMPARE(refused->errorText, QString("Datenbankfehler: database is locked"));
        // Not logged in, but not closed either.
        QCOMPARE(Raw::text(waiting->call(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test"})),
                 QString("error 5006 Datenbankfehler: database is locked"));
        QVERIFY(server.running());
        QCOMPARE(first.call(Wire::Op::Ping, {"p"})->values, QStringList{"p"});
        QCOMPARE(first.xecute("S ^L=1"), QString("error 5006 Datenbankfehler: database is locked"));
        QVERIFY(q.exec("COMMIT"));
        lock.close();
    }
    QSqlDatabase::removeDatabase("lock");
    QCOMPARE(first.xecute("S ^L=2 W ^L"), QString("2"));
    QVERIFY(!waiting->hello().isEmpty());
    QVERIFY(othersServed(server.port()));
}

// A result set left open holds no read snapshot: the WAL is checkpointed
// while another connection writes much, and its rows still come in order.
void TestStandinLimits::openResultSetDoesNotPinTheWal() {
    const QString path = db();
    StandinProcess server(path, true, {"--wal-checkpoint-pages", "200"});
    QVERIFY(server.port());
    Raw reader(server.port());
    QVERIFY(!reader.hello().isEmpty());
    const auto opened = reader.call(Wire::Op::Query, {"VT.XW", "Liste", "2", "WEB|MUE"});
    QVERIFY(opened && opened->status == Wire::Status::Ok);
    QCOMPARE(opened->values.value(2), QString("1"));
    const QStringList firstRows = opened->values.mid(3);

    Raw writer(server.port());
    QVERIFY(!writer.hello().isEmpty());
    qint64 largest = 0;
    // 40 commits of about 500 KB each.
    for (int round = 0; round < 40; ++round) {
        QCOMPARE(writer.xecute(QStringLiteral("F I=1:1:500 S ^BIG(%1,I)=$J(\"\",1000)").arg(round)),
                 QString());
        largest = qMax(largest, QFileInfo(path + "-wal").size());
    }
    // Twice 200 pages of 4 KB (beyond them the server truncates the WAL
    // itself, or after the next commit while a background checkpoint runs)
    // and a commit or two of about 2.3 MB: far below the 20 MB written.
    QVERIFY2(largest < 8 * 1024 * 1024, qPrintable(QString::number(largest)));

    QStringList rows = firstRows;
    for (;;) {
        const auto more = reader.call(Wire::Op::Fetch, {opened->values.value(0), "2"});
        QVERIFY(more && more->status == Wire::Status::Ok);
        rows += more->values.mid(1);
        if (more->values.value(0) == u"0")
            break;
    }
    const auto whole = reader.call(Wire::Op::Query, {"VT.XW", "Liste", "100", "WEB|MUE"});
    QCOMPARE(rows, whole->values.mid(3));
    QCOMPARE(rows.size(), 6);
}

void TestStandinLimits::sessionEntryRemovedWhenConnectionEnds() {
    StandinProcess server(db());
    QVERIFY(server.port());
    Raw watcher(server.port());
    QVERIFY(!watcher.hello().isEmpty());
    QString job;
    {
        Raw session(server.port());
        job = session.hello();
        QVERIFY(!job.isEmpty());
        QCOMPARE(session.xecute(R"(S FIRMA=1,FIL=0,PERSONAL="DEM",^STAND($J)="01" D ^%XTT)"),
                 QString());
        QCOMPARE(watcher.xecute("W $P(^%XTT(" + job + "),\"|\",1,4)"), QString("1|0|DEM|01"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(watcher.xecute("W $D(^%XTT(" + job + "))"), QString("0"), 10000);
    // The watcher's own entry stays while it is connected.
    QCOMPARE(watcher.xecute("D ^%XTT W $D(^%XTT($J))"), QString("1"));
}

void TestStandinLimits::invalidLimitOptionRefused_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("zero connections")
        << QStringList{"--max-connections", "0"} << "veltar-standin: invalid --max-connections 0\n";
    QTest::newRow("not a number") << QStringList{"--m-max-steps", "many"}
                                  << "veltar-standin: invalid --m-max-steps many\n";
    QTest::newRow("negative time")
        << QStringList{"--m-time-limit", "-1"} << "veltar-standin: invalid --m-time-limit -1\n";
    QTest::newRow("no M slice") << QStringList{"--m-slice", "0"}
                                << "veltar-standin: invalid --m-slice 0\n";
}

void TestStandinLimits::invalidLimitOptionRefused() {
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QProcess p;
    p.start(QStringLiteral(VELTAR_STANDIN), QStringList{"--db", db(), "--port", "0"} + options);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), message);
    QCOMPARE(p.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestStandinLimits)
#include "test_standin_limits.moc"
