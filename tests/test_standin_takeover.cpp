#include "DemoData.h"
#include "JobSession.h"
#include "StandinEngine.h"
#include "TcpRelay.h"
#include "TestSupport.h"
#include "classes/StandinClasses.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QString kRefused = "error 5014 Keine Berechtigung: ";
const QString kGuest = "error 5013 Keine Berechtigung ohne gültige Anmeldung: ";

} // namespace

// Five ways a program that speaks the wire protocol could take the ERP over,
// each closed: another company's data, another user's account, writes
// without a login, cheap guessing of passwords that cross the wire in
// clear, and postings stamped with whatever user the caller names.
class TestStandinTakeover : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void anotherCompanysDataIsOutOfReach();
    void noAccountTakenOver();
    void noWritesWithoutALogin();
    void passwordsNeitherInClearNorCheapToGuess();
    void stampsNameTheLoggedInUser();

private:
    QString value(const QString& sql) { return m_engine->textValue(sql, {}); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinEngine> m_engine;
    std::unique_ptr<JobSession> m_dem;
};

void TestStandinTakeover::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_engine = std::make_unique<StandinEngine>(m_dir->filePath("takeover.db"));
    RegisterErpClasses(*m_engine);
    FillDemoData(*m_engine);
    m_dem = std::make_unique<JobSession>(*m_engine);
    QCOMPARE(m_dem->hello("1", "DEM", "demo"), QString("user"));
}

void TestStandinTakeover::cleanup() {
    m_dem.reset();
    m_engine.reset();
    m_dir.reset();
}

// A user of company 1 neither reads nor changes nor posts company 2's
// downloads, positions, articles and discount groups, nor moves its
// download into company 1.
void TestStandinTakeover::anotherCompanysDataIsOutOfReach() {
    JobSession& c = *m_dem;
    QCOMPARE(c.call(Wire::Op::Query, {"quendrap.downloads", "liste", "500", "2"}),
             kRefused + "Firma 2 ist nicht die Firma der Anmeldung");
    QCOMPARE(c.call(Wire::Op::Query, {"quendrap.pos", "pos", "500", "4", ""}), QString("rows:"));
    QCOMPARE(c.call(Wire::Op::Open, {"quendrap.pos", "10"}),
             QString("error 5809 Objekt nicht gefunden: quendrap.pos 10"));
    QCOMPARE(c.call(Wire::Op::Open, {"VT.Artikel", "2||800100"}),
             QString("error 5809 Objekt nicht gefunden: VT.Artikel 2||800100"));
    QCOMPARE(c.call(Wire::Op::ClassMethod, {"quendrap.pos", "verbuch", "2", "10", "80001", "DEM",
                                            "J", "", "J", "J", "J", "J", "J", "J", "J", "J"}),
             kRefused + "Firma 2 ist nicht die Firma der Anmeldung");
    QCOMPARE(c.call(Wire::Op::ClassMethod, {"quendrap.ekgrp", "verbuch", "4", "DEM", "J"}),
             QString("error 5809 Objekt nicht gefunden: quendrap.downloads 4"));
    QCOMPARE(c.call(Wire::Op::Open, {"quendrap.downloads", "4"}),
             QString("error 5809 Objekt nicht gefunden: quendrap.downloads 4"));
    QCOMPARE(value("SELECT Firma||'|'||count(*) FROM quendrap_downloads WHERE id='4'"),
             QString("2|1"));
    QCOMPARE(value("SELECT count(*) FROM quendrap_pos WHERE DLID='4' AND Status LIKE 'Verb%'"),
             QString("0"));
    QCOMPARE(value("SELECT count(*) FROM vt_artikel WHERE FIRMA='2'"), QString("3"));
}

// Another user's password is not set, no user is made, and the stored
// password is no password.
void TestStandinTakeover::noAccountTakenOver() {
    JobSession& c = *m_dem;
    QCOMPARE(c.call(Wire::Op::Open, {"VT.ParPersEdv", "1||LAG"}), QString("1"));
    QCOMPARE(c.call(Wire::Op::Set, {"@", "Passwort", "owned"}),
             kRefused + "SET VT.ParPersEdv.Passwort");
    QCOMPARE(c.call(Wire::Op::Method, {"@", "sys_save"}),
             kRefused + "METHOD VT.ParPersEdv.sys_save");
    QCOMPARE(c.call(Wire::Op::New, {"VT.ParPersEdv"}), kRefused + "NEW VT.ParPersEdv");
    JobSession lag(*m_engine);
    QCOMPARE(lag.hello("1", "LAG", "owned"), QString("guest"));
    QCOMPARE(lag.hello("1", "LAG", "lager"), QString("user"));
    QVERIFY(value("SELECT Passwort FROM vt_parpersedv WHERE id='1||LAG'") != "lager");
}

// A connection whose HELLO named no user writes nothing: not the server
// list that every login window offers, not with entries of megabytes.
void TestStandinTakeover::noWritesWithoutALogin() {
    JobSession guest(*m_engine);
    QCOMPARE(guest.hello("1", "DEM", "falsch"), QString("guest"));
    QCOMPARE(guest.call(Wire::Op::Open, {"GUIVELTAR.Server", "1"}),
             kGuest + "OPEN GUIVELTAR.Server");
    for (int i = 0; i < 3; ++i)
        QCOMPARE(guest.call(Wire::Op::New, {"GUIVELTAR.Server"}), kGuest + "NEW GUIVELTAR.Server");
    QCOMPARE(value("SELECT count(*)||'|'||max(ServerIP)||'|'||max(length(Bezeichnung)) FROM "
                   "guiveltar_server"),
             QString("1|127.0.0.1|18"));
}

// The password crosses the wire encrypted; an unknown user code looks
// like a known one; the tenth wrong password locks the code.
void TestStandinTakeover::passwordsNeitherInClearNorCheapToGuess() {
    StandinProcess server(m_dir->filePath("wire.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    TcpRelay relay(server.port());
    QProcess cli;
    QTemporaryDir settings;
    StartCli(cli, {"--connect", CliConnect(relay.port(), "LAG lager"), "xecute", "W PERSONAL"},
             settings.path());
    QVERIFY(QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 60000));
    QCOMPARE(cli.readAllStandardOutput(), QByteArray("LAG"));
    QVERIFY(!relay.fromClients.isEmpty());
    QVERIFY(!relay.fromClients.contains(QByteArray("\0\0\0\x05lager", 9)));

    JobSession c(*m_engine);
    QCOMPARE(c.hello("1", "", ""), QString("guest"));
    const QString existing = c.call(Wire::Op::Open, {"VT.ParPersEdv", "1||LAG"});
    QCOMPARE(c.call(Wire::Op::Get, {"@", "Passwort"}), QString("*"));
    const QString unknown = c.call(Wire::Op::Open, {"VT.ParPersEdv", "1||NOPE"});
    QCOMPARE(c.call(Wire::Op::Get, {"@", "Passwort"}), QString("*"));
    QVERIFY(!existing.startsWith("error ") && !unknown.startsWith("error "));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(c.hello("1", "LAG", QString("rate%1").arg(i)), QString("guest"));
    QCOMPARE(c.hello("1", "LAG", "lager"), QString("guest"));
}

// A posting and a discount group posting are stamped with the logged-in
// user: naming another one, active or not, is refused.
void TestStandinTakeover::stampsNameTheLoggedInUser() {
    JobSession& c = *m_dem;
    QCOMPARE(c.call(Wire::Op::ClassMethod, {"quendrap.pos", "verbuch", "1", "9", "70003", "LAG",
                                            "N", "", "N", "N", "N", "N", "N", "J", "N", "N"}),
             kRefused + "Benutzer LAG ist nicht der angemeldete Benutzer");
    QCOMPARE(c.call(Wire::Op::ClassMethod, {"quendrap.ekgrp", "verbuch", "3", "ALT", "J"}),
             kRefused + "Benutzer ALT ist nicht der angemeldete Benutzer");
    QCOMPARE(value("SELECT count(*) FROM vt_artikel WHERE PCODE IN ('LAG', 'ALT')"), QString("0"));
    QCOMPARE(value("SELECT count(*) FROM vt_ekrabgr WHERE PCODE IN ('LAG', 'ALT')"), QString("0"));
}

QTEST_GUILESS_MAIN(TestStandinTakeover)
#include "test_standin_takeover.moc"
