#include "Access.h"
#include "DemoData.h"
#include "Job.h"
#include "JobSession.h"
#include "LoginLocks.h"
#include "LoginThrottle.h"
#include "PasswordChecker.h"
#include "Passwords.h"
#include "RawClient.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "classes/StandinClasses.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sodium.h>

// Logging in: passwords kept as hashes (also those of an older database),
// user codes that cannot be told apart from the answers, and guessing that
// costs: every failed login makes the connection and the user code wait
// longer, ten in a row lock the code for a while.
class TestStandinLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void passwordsAreKeptAsHashes();
    void clearPasswordsOfAnOlderDatabaseAreHashed();
    void olderCostIsHashedAnewOnTheCheckersThread();
    void unknownCodeAndWrongPasswordAnsweredAlike_data();
    void unknownCodeAndWrongPasswordAnsweredAlike();
    void waitDoublesUpToItsLimit();
    void tenthFailureLocksTheCode();
    void passwordAloneIsSlowedDownNotLocked();
    void floodOfCodesKeepsTheCountOfOne();
    void addressHoldsAHelloOnce();
    void failedLoginHoldsTheNextOneOfItsConnectionAndCode();

private:
    void open();
    QString stored(const QString& id) {
        return m_engine->textValue("SELECT Passwort FROM vt_parpersedv WHERE id=?", {id});
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinEngine> m_engine;
};

void TestStandinLogin::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    open();
    FillDemoData(*m_engine);
}

void TestStandinLogin::cleanup() {
    m_engine.reset();
    m_dir.reset();
}

void TestStandinLogin::open() {
    m_engine.reset();
    m_engine = std::make_unique<StandinEngine>(m_dir->filePath("login.db"));
    RegisterErpClasses(*m_engine);
}

// No password is stored in clear; the stored text checks the password, and
// the connection's own record shows the password it logged in with.
void TestStandinLogin::passwordsAreKeptAsHashes() {
    for (const auto& [id, password] : {std::pair{"1||DEM", "demo"}, std::pair{"1||ALT", "alt"},
                                       std::pair{"1||LAG", "lager"}, std::pair{"2||ZW", "zwei"}}) {
        const QString hash = stored(id);
        QVERIFY2(hash.startsWith("$argon2id$v=19$m=19456,t=2,p=1$"), qPrintable(hash));
        QVERIFY(!hash.contains(password));
        QVERIFY(Passwords::Verify(hash, password));
        QVERIFY(!Passwords::Verify(hash, QString(password) + "x"));
    }
    // A user stored by anyone gets a hash with a salt of its own.
    StoredObject user;
    user.cls = m_engine->findClass("VT.ParPersEdv");
    user.values = {{"FIRMA", "1"}, {"CODE", "NEU"}, {"Passwort", "demo"}, {"AKTIV", "J"}};
    m_engine->saveObject(user);
    QVERIFY(Passwords::IsHash(stored("1||NEU")));
    QVERIFY(stored("1||NEU") != stored("1||DEM"));
    JobSession c(*m_engine);
    QCOMPARE(c.hello("1", "NEU", "demo"), QString("user"));
    QCOMPARE(c.call(Wire::Op::Open, {"VT.ParPersEdv", "1||NEU"}), QString("1"));
    QCOMPARE(c.call(Wire::Op::Get, {"@", "Passwort"}), QString("demo"));
    QCOMPARE(c.call(Wire::Op::Query, {"VT.ParPersEdv", "UserViaPasswort", "9", "demo", "1", ""}),
             QString("rows:NEU"));
    // A password from its stored text is no password.
    JobSession thief(*m_engine);
    QCOMPARE(thief.hello("1", "DEM", stored("1||DEM")), QString("guest"));
}

// A database whose users keep their passwords in clear (as earlier
// versions did) has hashes once it is opened, and the users log in as
// before.
void TestStandinLogin::clearPasswordsOfAnOlderDatabaseAreHashed() {
    m_engine->execText("UPDATE vt_parpersedv SET Passwort='demo' WHERE id='1||DEM'", {});
    m_engine->execText("UPDATE vt_parpersedv SET Passwort='lager' WHERE id='1||LAG'", {});
    QCOMPARE(stored("1||DEM"), QString("demo"));
    open();
    QVERIFY(Passwords::Verify(stored("1||DEM"), "demo"));
    QVERIFY(Passwords::Verify(stored("1||LAG"), "lager"));
    JobSession dem(*m_engine);
    QCOMPARE(dem.hello("1", "DEM", "demo"), QString("user"));
    JobSession lag(*m_engine);
    QCOMPARE(lag.hello("1", "", "lager"), QString("user"));
    QCOMPARE(lag.call(Wire::Op::Query, {"VT.ParPersEdv", "UserViaPasswort", "9", "lager", "1", ""}),
             QString("rows:LAG"));
}

// A hash made with another cost than today's is made anew at the first
// login with the right password: by the checker's thread with its verdict,
// and that hash is the one stored.
void TestStandinLogin::olderCostIsHashedAnewOnTheCheckersThread() {
    char out[crypto_pwhash_STRBYTES];
    QCOMPARE(crypto_pwhash_str(out, "demo", 4, 1, 8 * 1024 * 1024), 0);
    const QString older = QString::fromLatin1(out);
    QVERIFY(Passwords::NeedsRehash(older));
    PasswordChecker checker;
    QObject receiver;
    QList<PasswordVerdicts> verdicts;
    for (const char* password : {"demo", "wrong"})
        QVERIFY(checker.submit("127.0.0.1", password, {older}, &receiver,
                               [&](PasswordVerdicts v) { verdicts.append(std::move(v)); }));
    QTRY_COMPARE_WITH_TIMEOUT(verdicts.size(), 2, 10000);
    QCOMPARE(verdicts[0].matches.value(older), true);
    const QString made = verdicts[0].rehashed.value(older);
    QVERIFY(Passwords::Verify(made, "demo"));
    QVERIFY(!Passwords::NeedsRehash(made));
    QCOMPARE(verdicts[1].matches.value(older, true), false);
    QVERIFY(verdicts[1].rehashed.isEmpty());

    m_engine->execText("UPDATE vt_parpersedv SET Passwort=? WHERE id='1||DEM'", {older});
    JobSession dem(*m_engine);
    dem.job().passwordVerdicts = verdicts[0];
    QCOMPARE(dem.hello("1", "DEM", "demo"), QString("user"));
    QCOMPARE(stored("1||DEM"), made);
}

void TestStandinLogin::unknownCodeAndWrongPasswordAnsweredAlike_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::newRow("wrong password") << "1||DEM"
                                    << "falsch";
    QTest::newRow("unknown code") << "1||NOPE"
                                  << "falsch";
    QTest::newRow("another user's password") << "1||DEM"
                                             << "lager";
    QTest::newRow("code of another company") << "1||ZW"
                                             << "zwei";
    QTest::newRow("inactive user, wrong password") << "1||ALT"
                                                   << "falsch";
}

// The answers of HELLO and of the user record the login opens are the same
// whether the code exists or not; both count against the code.
void TestStandinLogin::unknownCodeAndWrongPasswordAnsweredAlike() {
    QFETCH(QString, id);
    QFETCH(QString, password);
    const QString company = id.section("||", 0, 0), code = id.section("||", 1);
    JobSession c(*m_engine);
    QCOMPARE(c.hello(company, code, password), QString("guest"));
    QCOMPARE(c.call(Wire::Op::Open, {"VT.ParPersEdv", id}), QString("1"));
    QCOMPARE(c.call(Wire::Op::Get, {"@", "Passwort"}), QString(password.size() + 1, u'*'));
    QCOMPARE(c.call(Wire::Op::Get, {"@", "AKTIV"}),
             QString("error 5013 Keine Berechtigung ohne gültige Anmeldung: GET "
                     "VT.ParPersEdv.AKTIV"));
    QCOMPARE(c.call(Wire::Op::Method, {"@", "sys_ID"}), id);
    QCOMPARE(
        c.call(Wire::Op::Query, {"VT.ParPersEdv", "UserViaPasswort", "9", password, company, ""}),
        QString("rows:"));
    QVERIFY(m_engine->loginThrottle().readyAt(id, "") > 0);
    QCOMPARE(c.job().loginFailures, 1);
}

void TestStandinLogin::waitDoublesUpToItsLimit() {
    QList<qint64> waits;
    for (int failures = 0; failures <= 9; ++failures)
        waits << LoginThrottle::Wait(failures, 500);
    QCOMPARE(waits, (QList<qint64>{0, 500, 1000, 2000, 4000, 8000, 8000, 8000, 8000, 8000}));
    QCOMPARE(LoginThrottle::Wait(3, 0), qint64(0));
    QCOMPARE(LoginThrottle::Wait(1000, 500), qint64(8000));
    QCOMPARE(LoginThrottle::Wait(1000, 5), qint64(80));
    QCOMPARE(LoginThrottle::Wait(2, 20000), qint64(8000));
}

// Ten failed logins of a code in a row from an address lock it for that
// address: the right password is refused there until the lock ends (also
// after a restart), then it works again; from another address the user
// logs in meanwhile. A success in between starts the count anew.
void TestStandinLogin::tenthFailureLocksTheCode() {
    StandinLimits limits;
    limits.loginLockMs = 3000;
    m_engine->setLimits(limits);
    const auto locked = [this](const QString& code, const QString& address) {
        return LoginLocks::Locked(*m_engine, "1", code, address);
    };
    {
        JobSession c(*m_engine);
        c.job().peer = "192.0.2.1";
        for (int i = 0; i < 9; ++i)
            QCOMPARE(c.hello("1", "DEM", "falsch"), QString("guest"));
        QCOMPARE(c.hello("1", "DEM", "demo"), QString("user"));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(c.hello("1", "DEM", "falsch"), QString("guest"));
        QVERIFY(!locked("DEM", "192.0.2.1"));
        QCOMPARE(c.hello("1", "DEM", "falsch"), QString("guest"));
        QVERIFY(locked("DEM", "192.0.2.1"));
        QCOMPARE(c.hello("1", "DEM", "demo"), QString("guest"));
        // The look-up by password alone does not open it there either.
        QCOMPARE(c.hello("1", "", "demo"), QString("guest"));
        JobSession elsewhere(*m_engine);
        elsewhere.job().peer = "192.0.2.2";
        QCOMPARE(elsewhere.hello("1", "DEM", "demo"), QString("user"));
        QCOMPARE(elsewhere.hello("1", "", "demo"), QString("user"));
        // A code that does not exist is locked the same way.
        for (int i = 0; i < 10; ++i)
            QCOMPARE(elsewhere.hello("1", "NOPE", "falsch"), QString("guest"));
        QVERIFY(locked("NOPE", "192.0.2.2"));
    }
    // The lock is in the database: a restart keeps it.
    open();
    m_engine->setLimits(limits);
    JobSession again(*m_engine);
    again.job().peer = "192.0.2.1";
    QCOMPARE(again.hello("1", "DEM", "demo"), QString("guest"));
    QTRY_COMPARE_WITH_TIMEOUT(again.hello("1", "DEM", "demo"), QString("user"), 10000);
    QVERIFY(!locked("DEM", "192.0.2.1"));
}

// Without a user code the password names the user; guessing that way is
// slowed down for the connection and its address, each attempt taking its
// own turn, and after ten failures it is locked for the address (the code
// "*"), for nobody else; it cannot open a code locked at the address.
void TestStandinLogin::passwordAloneIsSlowedDownNotLocked() {
    StandinLimits limits;
    limits.loginLockMs = 60000;
    m_engine->setLimits(limits);
    JobSession c(*m_engine);
    c.job().peer = "192.0.2.7";
    for (int i = 0; i < 9; ++i)
        QCOMPARE(c.hello("1", "", "rate" + QString::number(i)), QString("guest"));
    LoginThrottle& throttle = m_engine->loginThrottle();
    QVERIFY(throttle.addressReadyAt("192.0.2.7") > 0);
    QCOMPARE(throttle.addressReadyAt("192.0.2.8"), qint64(0));
    QCOMPARE(c.hello("1", "", "demo"), QString("user"));
    QCOMPARE(c.call(Wire::Op::Query, {"VT.ParPersEdv", "UserViaPasswort", "9", "demo", "1", ""}),
             QString("rows:DEM"));
    // A success at the address may be anyone's: its counts stay.
    QVERIFY(throttle.addressReadyAt("192.0.2.7") > 0);
    QCOMPARE(c.hello("1", "", "rate9"), QString("guest"));
    QVERIFY(LoginLocks::Locked(*m_engine, "1", "*", "192.0.2.7"));
    QCOMPARE(c.hello("1", "", "demo"), QString("guest"));
    QCOMPARE(c.hello("1", "DEM", "demo"), QString("user"));
    JobSession other(*m_engine);
    other.job().peer = "192.0.2.8";
    QCOMPARE(other.hello("1", "", "demo"), QString("user"));
    // Parallel look-ups of one address take turns one after another.
    const qint64 first = throttle.reserveLookup("192.0.2.7", "1");
    const qint64 second = throttle.reserveLookup("192.0.2.7", "1");
    QVERIFY2(second - first >= 500, qPrintable(QString::number(second - first)));
    QCOMPARE(throttle.reserveLookup("192.0.2.9", "1") <= LoginThrottle::Now(), true);

    // A locked code stays locked at its address for the look-up.
    JobSession guesser(*m_engine);
    guesser.job().peer = "192.0.2.10";
    for (int i = 0; i < 10; ++i)
        QCOMPARE(guesser.hello("1", "LAG", "falsch"), QString("guest"));
    QVERIFY(LoginLocks::Locked(*m_engine, "1", "LAG", "192.0.2.10"));
    QCOMPARE(guesser.hello("1", "", "lager"), QString("guest"));
    QCOMPARE(guesser.hello("1", "LAG", "lager"), QString("guest"));
    QCOMPARE(LoginLocks::Unlock(*m_engine, "LAG"), 1);
    QCOMPARE(guesser.hello("1", "LAG", "lager"), QString("user"));
}

// A flood of failures of other codes does not wipe out the count of one
// under attack before its lock time has passed.
void TestStandinLogin::floodOfCodesKeepsTheCountOfOne() {
    StandinLimits limits;
    limits.loginDelayMs = 0; // nothing waits: only the counts matter
    m_engine->setLimits(limits);
    JobSession c(*m_engine);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(c.hello("1", "DEM", "falsch"), QString("guest"));
    LoginThrottle& throttle = m_engine->loginThrottle();
    for (int i = 0; i < 10050; ++i)
        throttle.failed("1||X" + QString::number(i), "");
    QCOMPARE(c.hello("1", "DEM", "falsch"), QString("guest"));
    QVERIFY(LoginLocks::Locked(*m_engine, "1", "DEM", ""));
}

// An address that failed beyond its allowance holds the next HELLO with a
// password from it, once: failures of others at the address meanwhile do
// not hold it again, so nobody there is kept out for long.
void TestStandinLogin::addressHoldsAHelloOnce() {
    JobSession c(*m_engine);
    c.job().peer = "192.0.2.9";
    LoginThrottle& throttle = m_engine->loginThrottle();
    for (int i = 0; i < LoginThrottle::kAddressAllowance; ++i)
        throttle.addressFailed("192.0.2.9");
    Wire::Request hello;
    hello.op = Wire::Op::Hello;
    hello.args = QStringList{Wire::kMagic, "VELTAR", "test", "1", "LAG", "lager"};
    QCOMPARE(LoginReadyAt(c.job(), hello), qint64(0));
    throttle.addressFailed("192.0.2.9");
    QVERIFY(LoginReadyAt(c.job(), hello) > LoginThrottle::Now());
    throttle.addressFailed("192.0.2.9");
    QCOMPARE(LoginReadyAt(c.job(), hello), qint64(0));
    QCOMPARE(c.hello("1", "LAG", "lager"), QString("user"));
    QVERIFY(!c.job().heldForAddress);
}

// Over the wire, the server holds the next HELLO with a password of a
// connection and of a user code after a failure until its wait is over,
// and serves the other connections meanwhile.
void TestStandinLogin::failedLoginHoldsTheNextOneOfItsConnectionAndCode() {
    cleanup();
    QTemporaryDir dir;
    StandinProcess server(dir.filePath("held.db"), true, {"--login-delay", "3000"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    Raw first(server.port());
    const auto failed =
        first.call(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "DEM", "falsch"});
    QVERIFY(failed);
    QCOMPARE(failed->values.value(2), QString("guest"));
    // The failed HELLO was answered; the next one of the connection waits.
    first.send(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "DEM", "demo"});
    // Another connection for the same code waits too.
    Raw second(server.port());
    second.send(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "DEM", "demo"});
    // A connection of another user is served at once (one failure at the
    // address is within its allowance), and so is one without a password.
    Raw other(server.port());
    QVERIFY(!other.hello("1", "LAG", "lager").isEmpty());
    QCOMPARE(other.xecute("W 6*7"), QString("42"));
    Raw login(server.port());
    QVERIFY(!login.hello("1", "", "").isEmpty());
    QVERIFY(!first.reply(50));
    QVERIFY(!second.reply(50));
    // Then both are served, as the user.
    const auto held = first.reply(15000);
    QVERIFY(held);
    QCOMPARE(held->values.value(2), QString("user"));
    const auto alsoHeld = second.reply(15000);
    QVERIFY(alsoHeld);
    QCOMPARE(alsoHeld->values.value(2), QString("user"));
}

QTEST_GUILESS_MAIN(TestStandinLogin)
#include "test_standin_login.moc"
