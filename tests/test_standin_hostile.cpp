#include "RawClient.h"
#include "TestSupport.h"
#include "common/WireProtocol.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

const QHostAddress kSecondHost(QStringLiteral("127.0.0.2"));
const QHostAddress kThirdHost(QStringLiteral("127.0.0.3"));

// A client from `from` logs in and its PING comes back.
bool served(quint16 port, const QHostAddress& from = QHostAddress()) {
    Raw other(port, Raw::Transport::Tls, from);
    if (other.hello().isEmpty())
        return false;
    const auto r = other.call(Wire::Op::Ping, {"still", "there"});
    return r && r->status == Wire::Status::Ok && r->values == QStringList{"still", "there"};
}

// The answer with id 0 the server sends before it closes a connection.
QString lastWords(Raw& c) {
    const auto r = c.reply(10000);
    if (!r)
        return QStringLiteral("no reply");
    return QStringLiteral("%1 %2 %3").arg(r->id).arg(r->errorNumber).arg(r->errorText);
}

// The access a HELLO gets ("user", "guest", ...), "" when refused.
QString helloAccess(Raw& c, const QString& user, const QString& password) {
    const auto r = c.call(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", user, password});
    return r && r->status == Wire::Status::Ok ? r->values.value(2) : QString();
}

int fileMode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// Rows of a global in the database file, read beside the running server.
int globalRows(const QString& db, const QString& name) {
    int n = -1;
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "rows");
        sql.setDatabaseName(db);
        if (sql.open()) {
            QSqlQuery q(sql);
            if (q.exec("SELECT count(*) FROM globals WHERE name='" + name + "'") && q.next())
                n = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("rows");
    return n;
}

} // namespace

// What a client without credentials, or one that abuses its login, can do
// to veltar-standin on the network: none of it takes the server from the
// others, fills it or leaves anything behind.
class TestStandinHostile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void connectionsClosedEarlyFreeTheirPlaces();
    void oneAddressTakesOnlyItsShare();
    void unfinishedLoginsAndIdleConnectionsEnd();
    void longWorkOfOneDoesNotHoldAnother();
    void oneLongCommandIsServedInSlices();
    void pausedCommandKeepsItsConnection();
    void memoryAndRowsOfAJobAreBounded();
    void databaseFilesOwnerOnly();
    void lockOutCannotBeAimed();
    void lookUpCountsEveryAttempt();
    void wrongPasswordsDoNotHoldTheLoggedIn();
    void freeGlobalsAreEachCompanysOwn();
    void serverEntryNameIsOneCompanys();

private:
    QTemporaryDir m_dir;
    int m_dbs = 0;
    QString db() { return m_dir.filePath(QStringLiteral("h%1.db").arg(++m_dbs)); }
};

// Connections that end before or during the TLS handshake, and ones that
// never start it, give their places back: the server takes new clients.
void TestStandinHostile::connectionsClosedEarlyFreeTheirPlaces() {
    StandinProcess server(db(), true, {"--max-connections", "10", "--hello-timeout", "500"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    for (int i = 0; i < 200; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(s.waitForConnected(5000));
        if (i % 2)
            s.write("\x16\x03\x01\x00\x05hello");
        s.abort();
    }
    bool ok = false;
    QTRY_VERIFY_WITH_TIMEOUT(ok || (ok = served(server.port())), 10000);
    // Ten that never start the handshake hold their places only for the
    // time a login is given.
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    for (int i = 0; i < 10; ++i) {
        silent.push_back(std::make_unique<QTcpSocket>());
        silent.back()->connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(silent.back()->waitForConnected(5000));
    }
    QVERIFY(silent.front()->waitForDisconnected(5000));
    ok = false;
    QTRY_VERIFY_WITH_TIMEOUT(ok || (ok = served(server.port())), 10000);
}

// One address holds at most its share; when the server is full, a new
// address gets the place of the oldest connection without a login of the
// address that holds most.
void TestStandinHostile::oneAddressTakesOnlyItsShare() {
    StandinProcess server(db(), true, {"--max-connections", "6", "--max-per-address", "3"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    std::vector<std::unique_ptr<Raw>> first;
    for (int i = 0; i < 3; ++i) {
        first.push_back(std::make_unique<Raw>(server.port()));
        QVERIFY(first.back()->connected());
    }
    Raw fourth(server.port());
    QCOMPARE(lastWords(fourth),
             QString("0 5001 Zu viele Verbindungen von dieser Adresse; Verbindung wird getrennt"));
    std::vector<std::unique_ptr<Raw>> second;
    for (int i = 0; i < 3; ++i) {
        second.push_back(std::make_unique<Raw>(server.port(), Raw::Transport::Tls, kSecondHost));
        QVERIFY(!second.back()->hello("1", "", "").isEmpty());
    }
    // Full: the third host is served in the place of the first host's
    // oldest connection, and the logged-in users stay.
    QVERIFY(served(server.port(), kThirdHost));
    QCOMPARE(lastWords(*first.front()),
             QString("0 5001 Zu viele Verbindungen; Verbindung wird getrennt"));
    QVERIFY(first.front()->closedByServer());
    QCOMPARE(second.back()->xecute("D ^%XTT"), QString());
}

// A connection must log in within the hello time; one without a valid
// login ends after the guest time, a logged-in one after the idle time
// without a request.
void TestStandinHostile::unfinishedLoginsAndIdleConnectionsEnd() {
    StandinProcess server(
        db(), true, {"--hello-timeout", "400", "--guest-timeout", "800", "--idle-timeout", "1500"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw silent(server.port());
    Raw guest(server.port());
    QVERIFY(!guest.hello("1", "", "").isEmpty());
    QCOMPARE(lastWords(silent),
             QString("0 5012 Keine Anmeldung in 400 ms; Verbindung wird getrennt"));
    QCOMPARE(lastWords(guest),
             QString("0 5012 Ohne gültige Anmeldung 800 ms verbunden; Verbindung wird getrennt"));
    QVERIFY(guest.closedByServer());
    Raw user(server.port());
    QVERIFY(!user.hello().isEmpty());
    // Each request starts the idle time anew.
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(700);
        QCOMPARE(user.xecute("W 6*7"), QString("42"));
    }
    QCOMPARE(lastWords(user), QString("0 5001 1500 ms ohne Anfrage; Verbindung wird getrennt"));
}

// A client that sends many long M commands at once is served a slice at a
// time: another client's PING is answered before the long work is done.
void TestStandinHostile::longWorkOfOneDoesNotHoldAnother() {
    StandinProcess server(db(), true, {"--m-time-limit", "300"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw busy(server.port());
    QVERIFY(!busy.hello().isEmpty());
    const auto windows = busy.call(Wire::Op::New, {"VT.Windows"});
    QVERIFY(windows && windows->status == Wire::Status::Ok);
    Raw other(server.port());
    QVERIFY(!other.hello().isEmpty());
    constexpr int kLoops = 10;
    for (int i = 0; i < kLoops; ++i)
        busy.send(Wire::Op::Method, {windows->values.value(0), "Xecute", "F  S X=1"});
    QTest::qWait(100);
    const auto pong = other.call(Wire::Op::Ping, {"x"});
    QVERIFY(pong);
    QCOMPARE(pong->values, QStringList{"x"});
    int done = 0;
    while (done < kLoops && busy.reply(0))
        ++done;
    QVERIFY2(done < kLoops, qPrintable(QString::number(done)));
    for (; done < kLoops; ++done)
        QCOMPARE(Raw::text(busy.reply()), QString("error 5002 <INTERRUPT> F  S X=1"));
}

// One long M command is divided too: another client's PING is answered
// while it runs; it goes on where it paused, with the right result, and
// answers before what its client sent after it; a client that goes away
// while its command is paused ends it.
void TestStandinHostile::oneLongCommandIsServedInSlices() {
    StandinProcess server(db(), true, {"--m-time-limit", "3000", "--serve-slice", "1"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw busy(server.port());
    QVERIFY(!busy.hello().isEmpty());
    Raw other(server.port());
    QVERIFY(!other.hello().isEmpty());
    QVERIFY(busy.sendXecute("F  S X=1"));
    busy.send(Wire::Op::Ping, {"after"});
    QTest::qWait(100);
    const auto pong = other.call(Wire::Op::Ping, {"x"});
    QVERIFY(pong);
    QCOMPARE(pong->values, QStringList{"x"});
    QVERIFY(!busy.reply(0));
    QCOMPARE(Raw::text(busy.reply()), QString("error 5002 <INTERRUPT> F  S X=1"));
    QCOMPARE(Raw::text(busy.reply()), QString("after"));

    QCOMPARE(busy.xecute("S N=0 F I=1:1:100000 S N=N+I I I#1000=0 S ^SL=N"), QString());
    QCOMPARE(other.xecute("W ^SL"), QString("5000050000"));

    QString job;
    {
        Raw gone(server.port());
        job = gone.hello();
        QVERIFY(!job.isEmpty());
        QCOMPARE(gone.xecute("S ^GONE=0"), QString());
        QVERIFY(gone.sendXecute("F  S ^GONE=^GONE+1"));
        QTRY_VERIFY_WITH_TIMEOUT(other.xecute("W ^GONE").toLongLong() > 0, 10000);
    }
    const QString ended =
        QStringLiteral("veltar-standin: job %1: client gone; its M command ends where it paused")
            .arg(job);
    QString said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += QString::fromUtf8(server.process().readAllStandardError())).contains(ended),
        10000);
    const QString stopped = other.xecute("W ^GONE");
    QTest::qWait(100);
    QCOMPARE(other.xecute("W ^GONE"), stopped);
    QVERIFY(served(server.port()));
}

// While its command is paused a connection is neither idle nor waited
// for: neither the idle time nor the time for an unfinished frame ends it,
// and what its client sent after the command is answered after it.
void TestStandinHostile::pausedCommandKeepsItsConnection() {
    StandinProcess server(
        db(), true, {"--m-time-limit", "1500", "--idle-timeout", "500", "--frame-timeout", "500"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw busy(server.port());
    QVERIFY(!busy.hello().isEmpty());
    QVERIFY(busy.sendXecute("F  S X=1"));
    const QString text(10000, u'x');
    for (int i = 0; i < 3; ++i)
        busy.send(Wire::Op::Ping, {text, QString::number(i)});
    QCOMPARE(Raw::text(busy.reply()), QString("error 5002 <INTERRUPT> F  S X=1"));
    for (int i = 0; i < 3; ++i) {
        const auto pong = busy.reply();
        QVERIFY(pong);
        QCOMPARE(pong->values, (QStringList{text, QString::number(i)}));
    }
    QCOMPARE(busy.xecute("W 1"), QString("1"));

    // A server told to end while a command is paused unwinds it and ends
    // cleanly (under the sanitizers: with nothing leaked).
    QVERIFY(busy.sendXecute("F  S X=1"));
    QTest::qWait(200);
    server.process().terminate();
    QVERIFY(server.process().waitForFinished(10000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);
}

// A job's locals have a cap, a frame before a login is small, and what a
// job keeps in the database goes with it (and at the next start after a
// crash).
void TestStandinHostile::memoryAndRowsOfAJobAreBounded() {
    const QString path = db();
    {
        StandinProcess server(path, true, {"--m-max-locals", "100000"});
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        Raw user(server.port());
        QVERIFY(!user.hello().isEmpty());
        QCOMPARE(user.xecute(R"(S X=$J("",60000))"), QString());
        QCOMPARE(user.xecute(R"(S Y=$J("",60000))"), QString("error 5002 <STORE> Y"));
        QCOMPARE(user.xecute(R"(S X=$J("",99990))"), QString());
        QCOMPARE(user.xecute(R"(S X=X_"abcdefghij")"), QString("error 5002 <STORE> X"));

        Raw early(server.port());
        early.socket().write(QByteArray("\x00\xf0\x00\x00", 4) + QByteArray(70000, 'x'));
        QCOMPARE(lastWords(early), QString("0 5010 Rahmen zu groß; Verbindung wird getrennt"));

        auto guest = std::make_unique<Raw>(server.port());
        QVERIFY(!guest->hello("1", "", "").isEmpty());
        QCOMPARE(guest->xecute(R"(S ^STAND($J)="01")"), QString());
        QCOMPARE(globalRows(path, "STAND"), 1);
        guest.reset();
        QTRY_COMPARE_WITH_TIMEOUT(globalRows(path, "STAND"), 0, 5000);
        QCOMPARE(user.xecute(R"(S ^STAND($J)="02")"), QString());
        server.kill();
    }
    QCOMPARE(globalRows(path, "STAND"), 1);
    StandinProcess again(path, false);
    QVERIFY2(again.started(), qPrintable(again.errorOutput()));
    QCOMPARE(globalRows(path, "STAND"), 0);
}

// The database and its companions are readable by their owner only, also
// when they were made readable by others before.
void TestStandinHostile::databaseFilesOwnerOnly() {
    const QString path = db();
    {
        StandinProcess server(path);
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        QVERIFY(served(server.port()));
        for (const QString& file : {path, path + "-wal", path + "-shm"})
            QCOMPARE(fileMode(file), 0600);
    }
    for (const QString& file : {path, path + "-wal", path + "-shm"})
        if (QFile::exists(file))
            QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);
    StandinProcess again(path, false);
    QVERIFY2(again.started(), qPrintable(again.errorOutput()));
    for (const QString& file : {path, path + "-wal", path + "-shm"})
        if (QFile::exists(file))
            QCOMPARE(fileMode(file), 0600);
}

// Failures of a code lock it for the address they came from only, also
// after a restart, until --unlock lifts the lock.
void TestStandinHostile::lockOutCannotBeAimed() {
    const QString path = db();
    {
        StandinProcess server(path, true, {"--login-delay", "0"});
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        Raw attacker(server.port(), Raw::Transport::Tls, kSecondHost);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(helloAccess(attacker, "DEM", "falsch" + QString::number(i)), QString("guest"));
        QCOMPARE(helloAccess(attacker, "DEM", "demo"), QString("guest"));
        Raw user(server.port());
        QCOMPARE(helloAccess(user, "DEM", "demo"), QString("user"));
    }
    StandinProcess again(path, false, {"--login-delay", "0"});
    QVERIFY2(again.started(), qPrintable(again.errorOutput()));
    Raw attacker(again.port(), Raw::Transport::Tls, kSecondHost);
    QCOMPARE(helloAccess(attacker, "DEM", "demo"), QString("guest"));
    QProcess unlock;
    unlock.start(VELTAR_STANDIN, {"--db", path, "--unlock", "DEM"});
    QVERIFY(unlock.waitForFinished(30000));
    QCOMPARE(unlock.exitCode(), 0);
    QCOMPARE(unlock.readAllStandardOutput(), QByteArray("veltar-standin: 1 locks of DEM lifted\n"));
    QCOMPARE(helloAccess(attacker, "DEM", "demo"), QString("user"));
}

// The look-up by password alone counts each attempt of an address, over
// all its connections, and locks like a code: after ten failures the right
// password no longer logs in from there, but from elsewhere.
void TestStandinHostile::lookUpCountsEveryAttempt() {
    StandinProcess server(db(), true, {"--login-delay", "1"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    std::vector<std::unique_ptr<Raw>> guessers;
    for (int i = 0; i < 10; ++i) {
        guessers.push_back(std::make_unique<Raw>(server.port(), Raw::Transport::Tls, kSecondHost));
        guessers.back()->send(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "",
                                                "rate" + QString::number(i)});
    }
    for (auto& g : guessers) {
        const auto r = g->reply();
        QVERIFY(r);
        QCOMPARE(r->values.value(2), QString("guest"));
    }
    Raw late(server.port(), Raw::Transport::Tls, kSecondHost);
    QCOMPARE(helloAccess(late, "", "demo"), QString("guest"));
    QCOMPARE(helloAccess(late, "DEM", "demo"), QString("user"));
    Raw elsewhere(server.port(), Raw::Transport::Tls, kThirdHost);
    QCOMPARE(helloAccess(elsewhere, "", "demo"), QString("user"));
}

// Password checks run beside the serving, in turns per address: while
// look-ups by password alone from four addresses are checked, a user from
// a fifth logs in and its PING is answered.
void TestStandinHostile::wrongPasswordsDoNotHoldTheLoggedIn() {
    StandinProcess server(db(), true, {"--login-delay", "0"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    std::vector<std::unique_ptr<Raw>> guessers;
    for (int host = 2; host <= 5; ++host)
        for (int i = 0; i < 4; ++i)
            guessers.push_back(std::make_unique<Raw>(
                server.port(), Raw::Transport::Tls, QHostAddress(QString("127.0.0.%1").arg(host))));
    for (auto& g : guessers)
        g->send(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "", "falsch"});
    Raw user(server.port());
    QCOMPARE(helloAccess(user, "DEM", "demo"), QString("user"));
    const auto pong = user.call(Wire::Op::Ping, {"p"});
    QVERIFY(pong);
    QCOMPARE(pong->values, QStringList{"p"});
    std::vector<std::optional<Wire::Reply>> answers;
    for (auto& g : guessers)
        answers.push_back(g->reply(0));
    const auto answered =
        std::count_if(answers.begin(), answers.end(), [](const auto& a) { return a.has_value(); });
    QVERIFY2(answered < qsizetype(guessers.size()), qPrintable(QString::number(answered)));
    for (size_t i = 0; i < guessers.size(); ++i) {
        if (!answers[i])
            answers[i] = guessers[i]->reply();
        QVERIFY(answers[i]);
        QCOMPARE(answers[i]->values.value(2), QString("guest"));
    }
}

// A global that holds no ERP data is each company's own: what a user of
// one company stores there, another company's user neither sees nor
// changes.
void TestStandinHostile::freeGlobalsAreEachCompanysOwn() {
    StandinProcess server(db());
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw one(server.port());
    QVERIFY(!one.hello("1", "DEM", "demo").isEmpty());
    Raw two(server.port());
    QVERIFY(!two.hello("2", "ZW", "zwei").isEmpty());
    QCOMPARE(one.xecute(R"(S ^NOTIZ(1)="eins")"), QString());
    QCOMPARE(two.xecute("W $D(^NOTIZ),$G(^NOTIZ(1))"), QString("0"));
    QCOMPARE(two.xecute(R"(S ^NOTIZ(1)="zwei" W ^NOTIZ(1))"), QString("zwei"));
    QCOMPARE(one.xecute("W ^NOTIZ(1),$D(^NOTIZ)"), QString("eins10"));
    QCOMPARE(two.xecute(R"(W $P(^FA(0),"`",2))"), QString("2027"));
}

// Every company's login window lists every server entry: a user of
// company 2 cannot add an entry named like company 1's, nor rename its own
// so; an entry of its own company keeps its name.
void TestStandinHostile::serverEntryNameIsOneCompanys() {
    StandinProcess server(db());
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw two(server.port());
    QVERIFY(!two.hello("2", "ZW", "zwei").isEmpty());
    const auto save = [&](const QString& name) {
        const auto made = two.call(Wire::Op::New, {"GUIVELTAR.Server"});
        if (!made || made->status != Wire::Status::Ok)
            return QString("no object");
        const QString ref = made->values.value(0);
        two.call(Wire::Op::Set, {ref, "Bezeichnung", name});
        two.call(Wire::Op::Set, {ref, "Firma", "2"});
        return Raw::text(two.call(Wire::Op::Method, {ref, "sys_save"}));
    };
    QCOMPARE(save("Demo-Firma (lokal)"),
             QString("error 5005 Servereintrag Demo-Firma (lokal) gibt es schon für Firma 1"));
    QCOMPARE(save("Werk Bonn"), QString("1"));
    QCOMPARE(save("Werk Bonn"), QString("1"));
}

QTEST_GUILESS_MAIN(TestStandinHostile)
#include "test_standin_hostile.moc"
