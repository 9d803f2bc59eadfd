#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoData.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/WorkstationSettings.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/MCommands.h"
#include "session/Login.h"
#include "shell/Downloads.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// Login, the session and the downloads list against the demo company of the
// stand-in in this process.
class TestLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void commandLineQualifies_data();
    void commandLineQualifies();
    void qualifyingCommandLineLogsInWithoutWindow();
    void wrongPasswordLeadsBackToLoginWindow();
    void inactiveUserRefused();
    void unknownUserAnsweredAsWrongPassword();
    void lockedUserCannotChangeLocation();
    void storedPasswordIsScrambledAndUsedAfterwards();
    void userFromPassword();
    void serverEntriesAndDefault();
    void downloadListNewestFirstAndDelete();
    void deleteWithoutKeySendsNothing();
    void downloadListModel();
    void commandOutputAsValues_data();
    void commandOutputAsValues();

    void cliDownloadsDeleteAndWrongPassword();
    void demoServerEntryLeadsBackToTheServer();

    void wrongPasswordGivesAGuestConnectionAndNoRetry_data();
    void wrongPasswordGivesAGuestConnectionAndNoRetry();
    void typedPasswordRenewsTheConnection();
    void sessionTextsArriveAsTyped_data();
    void sessionTextsArriveAsTyped();
    void companyOrBranchNotAWholeNumberRefused_data();
    void companyOrBranchNotAWholeNumberRefused();

private:
    int positionsOf(const QString& key);
    QString dbPath() const { return m_fx->path("standin.db"); }

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestLogin::init() {
    m_fx = std::make_unique<ClientTestFixture>();
    m_ui = std::make_unique<ScriptedUserInterface>();
    // Calls before a login (locations, a typed password's user) reach the
    // default server.
    Session().server = kDefaultServer;
    m_fx->connection().rebuildConnectString();
}

void TestLogin::cleanup() {
    m_ui.reset();
    m_fx.reset();
}

int TestLogin::positionsOf(const QString& key) {
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT count(*) FROM quendrap_pos WHERE DLID='" + key + "'");
    q.next();
    return q.value(0).toInt();
}

void TestLogin::commandLineQualifies_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("qualifies");
    QTest::newRow("full") << "1 0 DEM demo 127.0.0.1 1973 VELTAR" << true;
    QTest::newRow("four fields") << "1 0 DEM demo" << true;
    QTest::newRow("user code of four characters") << "1 0 DEMO demo" << false;
    QTest::newRow("numeric user code") << "1 0 123 demo" << false;
    QTest::newRow("company not numeric") << "A 0 DEM demo" << false;
    QTest::newRow("branch not numeric") << "1 X DEM demo" << false;
    QTest::newRow("two fields") << "1 0" << false;
    QTest::newRow("empty") << "" << false;
}

void TestLogin::commandLineQualifies() {
    QFETCH(QString, line);
    QFETCH(bool, qualifies);
    QCOMPARE(CommandLineQualifies(line), qualifies);
}

void TestLogin::qualifyingCommandLineLogsInWithoutWindow() {
    Session().commandLine = "1 0 DEM demo 127.0.0.1 1973 VELTAR";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->loginWindowShown, 0);
    QVERIFY(m_ui->messages.isEmpty());
    const SessionContext& s = Session();
    QCOMPARE(s.userDisplay, QString("DEM|Dörte Demo"));
    QCOMPARE(s.wj, QString("2027"));
    QCOMPARE(s.pnr, QString("1001"));
    QCOMPARE(s.abtnr, QString("10"));
    QCOMPARE(s.abtbez, QString("Einkauf"));
    QCOMPARE(s.habtnr, QString("10"));
    QCOMPARE(s.email, QString("dem@baustoffe-demo.de"));
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[1973]:VELTAR"));
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W FIRMA,\"/\",FIL,\"/\",PERSONAL", failed),
             QString("1/0/DEM"));
    QCOMPARE(MainWindowTitle(), QString("VELTAR Quendra Preisdaten              Firma: 1     "
                                        "Standort: 01     Benutzer: DEM|Dörte Demo"));
    QCOMPARE(dbcall(m_fx->connection(), "W ^STAND($J)", failed), QString("01"));
}

void TestLogin::wrongPasswordLeadsBackToLoginWindow() {
    Session().commandLine = "1 0 DEM falsch";
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an Caché."));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Information);
    QCOMPARE(m_ui->passwordSelected, 1);
    QVERIFY(Session().loginFailed);
    QCOMPARE(Session().userDisplay, QString());
    // The main window asks again: now the login window comes, and the user
    // types the right password (the user code follows from it).
    m_ui->onLoginWindow = [] {
        LoginFormData().password = "demo";
        return true;
    };
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->loginWindowShown, 1);
    QCOMPARE(Session().personal, QString("DEM"));
    QVERIFY(!Session().loginFailed);
    // "Anmelden" keeps the user code of the password and the password,
    // scrambled, for the next start.
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Name"), QString("DEM"));
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Passwort"), QString("gfnl"));
}

void TestLogin::inactiveUserRefused() {
    Session().commandLine = "1 0 ALT alt";
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
    QCOMPARE(m_ui->passwordSelected, 1);
}

// The server tells no user code that does not exist from one that does: the
// login answers an unknown one as a wrong password.
void TestLogin::unknownUserAnsweredAsWrongPassword() {
    Session().commandLine = "1 0 XYZ egal";
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an Caché."));
    QCOMPARE(m_ui->passwordSelected, 1);
    QVERIFY(Session().loginFailed);
    QCOMPARE(Session().userDisplay, QString());
}

void TestLogin::lockedUserCannotChangeLocation() {
    qputenv("CLIENTNAME", "LAGER-PC");
    Session().firma = "1";
    const QList<LocationEntry> locations = LoadLocations(m_fx->connection());
    QCOMPARE(locations.size(), 3);
    QCOMPARE(locations[1].code, QString("02"));
    QCOMPARE(locations[1].text, QString("02 Lager Nord"));
    QCOMPARE(Session().workstation, QString("lager-pc"));
    QCOMPARE(Session().deviceStandort, QString("02"));
    // The user chooses another location than the workstation's.
    m_ui->onLoginWindow = [] {
        LoginFormData().password = "lager";
        LoginFormData().standort = "01";
        return true;
    };
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Sie dürfen die Filiale nicht verändern."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an VELTAR."));
    // At the workstation's own location the same user gets in.
    m_ui->onLoginWindow = [] {
        LoginFormData().password = "lager";
        LoginFormData().standort = "02";
        return true;
    };
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(Session().userDisplay, QString("LAG|Lutz Lagerbühl"));
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W ^STAND($J)", failed), QString("02"));
}

void TestLogin::storedPasswordIsScrambledAndUsedAfterwards() {
    StoreLoginSettings("DEM", "demo");
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Passwort"), QString("gfnl"));
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Name"), QString("DEM"));
    WorkstationSettings::setValue("Cache Login", "Login", "ServerObjekt", "1");
    // At start-up the stored password is not used: the window comes.
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->loginWindowShown, 1);
    QCOMPARE(LoginFormData().password, QString());
    // Once automatic passwords are allowed, the stored one logs in.
    Session().noAutoPassword = false;
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->loginWindowShown, 1);
    QCOMPARE(Session().password, QString("demo"));

    // The file with the scrambled password is its owner's only, also one
    // that others could read before; its lines stay as they were.
    const QString file = QDir(m_fx->settingsFolder()).filePath("Cache Login.ini");
    constexpr auto kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QCOMPARE(QFile::permissions(file) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             kOwnerOnly);
    QVERIFY(
        QFile::setPermissions(file, kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    WorkstationSettings::setValue("Cache Login", "Login", "Name", "LAG");
    QCOMPARE(QFile::permissions(file) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             kOwnerOnly);
    QFile ini(file);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QVERIFY2(text.contains("[Login]\nName=LAG\nPasswort=gfnl\n"), text.constData());
}

void TestLogin::userFromPassword() {
    Session().firma = "1";
    QCOMPARE(UserFromPassword(m_fx->connection(), "demo"), QString("DEM"));
    QCOMPARE(UserFromPassword(m_fx->connection(), "gibtsnicht"), QString());
    QVERIFY(m_ui->messages.isEmpty());
}

void TestLogin::serverEntriesAndDefault() {
    QVERIFY(LoadServerEntries(m_fx->connection()).isEmpty()); // no connection yet
    Session().commandLine = "1 0 DEM demo";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QList<ServerEntry> entries = LoadServerEntries(m_fx->connection());
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].bezeichnung, QString("Demo-Firma (lokal)"));
    ServerEntry e{"", "Prüfsystem", "VELTAR", "1", "1", "10.0.0.9", "1980", "2027"};
    const QString id = SaveServerEntry(m_fx->connection(), e);
    QCOMPARE(id, QString("2"));
    entries = LoadServerEntries(m_fx->connection());
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[1].bezeichnung, QString("Prüfsystem"));
    QCOMPARE(entries[1].server, QString("10.0.0.9"));
    Session().noDefaultServer = true;
    SetDefaultServerEntry(entries[1]);
    QVERIFY(!Session().noDefaultServer);
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "ServerObjekt"), QString("2"));
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Port"), QString("1980"));
    TakeServerEntry(entries[1]);
    ApplyServerForm(m_fx->connection());
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:10.0.0.9[1980]:VELTAR"));
    QCOMPARE(Session().firma, QString("1"));
}

void TestLogin::downloadListNewestFirstAndDelete() {
    Session().commandLine = "1 0 DEM demo";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    bool ok = false;
    QList<DownloadRow> rows = LoadDownloadList(m_fx->connection(), &ok);
    QVERIFY(ok);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].key, QString("3"));
    QCOMPARE(rows[0].rowText(), QString("2026-12-01\nLAG\n70003\nWeiß & Söhne Fliesen\n4\n3"));
    QCOMPARE(rows[2].key, QString("1"));
    QCOMPARE(rows[2].lname, QString("Müller Baustoffe GmbH"));
    QCOMPARE(positionsOf("2"), 2);
    QVERIFY(DeleteDownload(m_fx->connection(), "2"));
    QCOMPARE(positionsOf("2"), 0);
    // Gone already: not reported as deleted.
    m_ui->messages.clear();
    QVERIFY(!DeleteDownload(m_fx->connection(), "2"));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: fmstart.tool1 Download löschen.\r\n\r\nFehler: 5809\r\nObjekt "
                     "nicht gefunden: quendrap.downloads 2\r\n\r\n"));
    rows = LoadDownloadList(m_fx->connection(), &ok);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].key, QString("3"));
    QCOMPARE(rows[1].key, QString("1"));
    // The other company's user sees none of them, only its own.
    Session().commandLine = "2 0 ZW zwei";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    rows = LoadDownloadList(m_fx->connection(), &ok);
    QVERIFY(ok);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].rowText(), QString("2026-12-15\nZW\n80001\nRheinkies Zweig GmbH\n3\n4"));
}

void TestLogin::deleteWithoutKeySendsNothing() {
    QVERIFY(DeleteDownload(m_fx->connection(), QString()));
    QVERIFY(!m_fx->connection().hasClient()); // not even a connection was made
    QCOMPARE(positionsOf("1"), 3);
}

void TestLogin::downloadListModel() {
    Session().commandLine = "1 0 DEM demo";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    DownloadListModel model(m_fx->connection());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.reload());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Datum", "Personal", "Lief.-Nr", "Lief.-Name", "Positionen"}));
    QCOMPARE(model.index(0, DownloadListModel::Lname).data().toString(),
             QString("Weiß & Söhne Fliesen"));
    QCOMPARE(model.index(0, DownloadListModel::Positionen).data().toString(), QString("4"));
    QCOMPARE(model.index(2, DownloadListModel::Datum).data(DownloadListModel::KeyRole).toString(),
             QString("1"));
    QCOMPARE(model.row(1).lnr, QString("70002"));
    QCOMPARE(model.row(7).key, QString());

    // A deleted row goes from the list and from the server.
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.deleteRow(1);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.row(1).key, QString("1"));
    QCOMPARE(positionsOf("2"), 0);
    model.deleteRow(5); // outside the list: nothing
    QCOMPARE(model.rowCount(), 2);

    // A reload that fails is reported and keeps the rows shown.
    class NoQueries : public InProcessClient {
    public:
        using InProcessClient::InProcessClient;
        quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
            if (op == Wire::Op::Query)
                throw ServerError(5400, "Abfrage gesperrt");
            return InProcessClient::post(op, args, chained);
        }
    };
    m_fx->setClientMaker([](StandinEngine& e) { return std::make_unique<NoQueries>(e); });
    m_fx->client()->breakConnection();
    m_ui->messages.clear();
    QVERIFY(!model.reload());
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: fmstart.RefreshDownloadList Downloads lesen.\r\n\r\n"
                     "Fehler: 5400\r\nAbfrage gesperrt\r\n\r\n"));
}

void TestLogin::cliDownloadsDeleteAndWrongPassword() {
    m_fx->connection().setClientFactory({});
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    QString out, err;
    QCOMPARE(standin.run({"downloads"}, &out, &err), 0);
    QCOMPARE(out, QString("2026-12-01\tLAG\t70003\tWeiß & Söhne Fliesen\t4\t3\n"
                          "2026-11-12\tDEM\t70002\tSchröder Dämmtechnik KG\t2\t2\n"
                          "2026-10-05\tDEM\t70001\tMüller Baustoffe GmbH\t3\t1\n"));
    QCOMPARE(err, QString());
    QCOMPARE(standin.run({"delete", "1"}, &out, &err), 0);
    // A key that is not there, twice over: exit 1 with the server's reason.
    QCOMPARE(standin.run({"delete", "1"}, &out, &err), 1);
    QVERIFY2(err.contains("Objekt nicht gefunden: quendrap.downloads 1"), qPrintable(err));
    QCOMPARE(standin.run({"delete", "99"}, &out, &err), 1);
    QCOMPARE(standin.run({"downloads"}, &out, &err), 0);
    QCOMPARE(out.count('\n'), 2);
    QVERIFY(!out.contains("Müller"));
    const QString wrong = CliConnect(standin.port(), "DEM falsch");
    QCOMPARE(RunCli({"--connect", wrong, "downloads"}, &out, &err), 1);
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("Passwort Falsch oder Benutzer nicht Aktiv.\n"));
}

void TestLogin::demoServerEntryLeadsBackToTheServer() {
    // The demo's own entry names the port the stand-in listens on, so that
    // a buyer who chooses it in the server list reaches that stand-in.
    m_fx->connection().setClientFactory({});
    StandinProcess server(m_fx->path("entries.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    QVERIFY(server.port() != 1973);
    Session().commandLine = connectOf(server);
    QVERIFY(user_anmeld(m_fx->connection()));
    const QList<ServerEntry> entries = LoadServerEntries(m_fx->connection());
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].bezeichnung, QString("Demo-Firma (lokal)"));
    QCOMPARE(entries[0].server, QString("127.0.0.1"));
    QCOMPARE(entries[0].port, QString::number(server.port()));
    m_fx->connection().close();
}

void TestLogin::wrongPasswordGivesAGuestConnectionAndNoRetry_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("access");
    QTest::newRow("wrong password") << "1 0 DEM falsch"
                                    << "guest";
    QTest::newRow("password of another user") << "1 0 DEM lager"
                                              << "guest";
    QTest::newRow("inactive user") << "1 0 ALT alt"
                                   << "inactive";
}

// The login compares the password on the workstation; the connection it
// makes with wrong credentials is served only for that, so the login ends
// with its own message and never in the connection retries.
void TestLogin::wrongPasswordGivesAGuestConnectionAndNoRetry() {
    QFETCH(QString, commandLine);
    QFETCH(QString, access);
    Session().commandLine = commandLine;
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an Caché."));
    QCOMPARE(m_ui->passwordSelected, 1);
    QCOMPARE(m_fx->connects(), 1);
    QVERIFY(m_fx->pauses.isEmpty());
    QCOMPARE(m_ui->serverListShown, 0);
    QCOMPARE(m_fx->connection().client().access(), access);
    // The connection reads no data and writes no globals.
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "S ^LOGIN=1", failed, true), QString(" "));
    QVERIFY(failed);
    QCOMPARE(TraceLogModel::instance().entries()[0].parameter,
             QString("Keine Berechtigung ohne gültige Anmeldung: METHOD VT.Windows.Xecute"));
    bool ok = true;
    QVERIFY(LoadDownloadList(m_fx->connection(), &ok).isEmpty());
    QVERIFY(!ok);
    QCOMPARE(m_ui->messages.size(), 2);
    QCOMPARE(m_ui->messages[1].text,
             QString("Vorgang: fmstart.RefreshDownloadList Downloads lesen.\r\n\r\nFehler: "
                     "5013\r\nKeine Berechtigung ohne gültige Anmeldung: QUERY "
                     "quendrap.downloads:liste\r\n\r\n"));
    // The right password afterwards logs in on the same connection.
    Session().commandLine = "1 0 DEM demo";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_fx->connection().client().access(), QString("user"));
    QCOMPARE(m_fx->connects(), 1);
    QCOMPARE(LoadDownloadList(m_fx->connection(), &ok).size(), 3);
    QVERIFY(ok);
}

// The typed password goes to the server before its user code is looked up,
// and the user code with it before the check: the connection is renewed,
// not made anew.
void TestLogin::typedPasswordRenewsTheConnection() {
    m_ui->onLoginWindow = [] {
        LoginFormData().password = "demo";
        return true;
    };
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->loginWindowShown, 1);
    QCOMPARE(Session().userDisplay, QString("DEM|Dörte Demo"));
    QCOMPARE(m_fx->connects(), 1);
    QCOMPARE(m_fx->connection().client().access(), QString("user"));
    QCOMPARE(m_fx->connection().client().credentials(), (Credentials{"1", "DEM", "demo"}));
    QStringList renewals;
    for (const auto& e : TraceLogModel::instance().entries())
        if (e.text == u"Anmeldung erneuert")
            renewals.prepend(e.parameter);
    // The password alone names the user; then user code and password.
    QCOMPARE(renewals, (QStringList{"user", "user"}));
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W PERSONAL", failed), QString("DEM"));
}

void TestLogin::sessionTextsArriveAsTyped_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("location");
    QTest::newRow("quote in the user code") << "D\""
                                            << "01";
    QTest::newRow("M concatenation") << "\"_\""
                                     << "\"_\"";
    QTest::newRow("doubled quotes") << "a\"\"b"
                                    << "x\"\"";
    QTest::newRow("comma and blank") << "A, B"
                                     << "S X=1";
}

// Texts of the session go into M as string literals with their quotes
// doubled, so the server job holds exactly what the session holds.
void TestLogin::sessionTextsArriveAsTyped() {
    QFETCH(QString, user);
    QFETCH(QString, location);
    m_fx->demoSession();
    Session().personal = user;
    Session().standort = location;
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W PERSONAL", failed), user);
    QCOMPARE(dbcall(m_fx->connection(), "W ^STAND($J)", failed), location);
    QCOMPARE(dbcall(m_fx->connection(), "W $P(^%XTT($J),\"|\",3)", failed), user);
    QVERIFY(!failed);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestLogin::companyOrBranchNotAWholeNumberRefused_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("message");
    QTest::newRow("exponent") << "1e2 0 DEM demo"
                              << "Firma \"1e2\" ist keine ganze Zahl.";
    QTest::newRow("not a number") << "nan 0 DEM demo"
                                  << "Firma \"nan\" ist keine ganze Zahl.";
    QTest::newRow("decimal") << "1.5 0 DEM demo"
                             << "Firma \"1.5\" ist keine ganze Zahl.";
    QTest::newRow("negative") << "-1 0 DEM demo"
                              << "Firma \"-1\" ist keine ganze Zahl.";
    QTest::newRow("branch exponent") << "1 1e1 DEM demo"
                                     << "Filiale \"1e1\" ist keine ganze Zahl.";
    QTest::newRow("branch infinite") << "1 inf DEM demo"
                                     << "Filiale \"inf\" ist keine ganze Zahl.";
}

// A company or branch that M would evaluate is refused by the login with a
// message before anything goes to the server.
void TestLogin::companyOrBranchNotAWholeNumberRefused() {
    QFETCH(QString, commandLine);
    QFETCH(QString, message);
    QVERIFY(CommandLineQualifies(commandLine));
    Session().commandLine = commandLine;
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, message);
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an VELTAR."));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Information);
    QCOMPARE(m_fx->connects(), 0);
    QVERIFY(Session().loginFailed);
    QCOMPARE(Session().userDisplay, QString());
}

QTEST_GUILESS_MAIN(TestLogin)
void TestLogin::commandOutputAsValues_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("report"); // the message shown, "" for none
    QTest::newRow("items, an empty one among them")
        << "W \"a`b``c\"" << false << QStringList{"a", "b", "", "c"} << "";
    QTest::newRow("nothing written") << "S X=1" << false << QStringList{} << "";
    QTest::newRow("a refused command")
        << "S X=" << true << QStringList{" "}
        << "Vorgang: cacheapi.dbcalld Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\nDBCallD "
           "Aufruf von VT.Windwos Xecute S X=.\r\n\r\nFehler: 5002\r\n<SYNTAX> S X=\r\n\r\n";
}

void TestLogin::commandOutputAsValues() {
    QFETCH(QString, command);
    QFETCH(bool, failed);
    QFETCH(QStringList, items);
    QFETCH(QString, report);
    m_fx->demoSession();
    const CommandItems r = RunCommandItems(m_fx->connection(), command, u'`');
    QCOMPARE(r.failed, failed);
    QCOMPARE(r.items, items);
    QCOMPARE(m_ui->messages.size(), report.isEmpty() ? 0 : 1);
    if (!report.isEmpty())
        QCOMPARE(m_ui->messages[0].text, report);
    // The same command silent: its output, or " ", and no further message.
    const CommandOutput silent = RunCommand(m_fx->connection(), command, true);
    QCOMPARE(silent.failed, failed);
    QCOMPARE(silent.text, failed ? QString(" ") : items.join(u'`'));
    QCOMPARE(m_ui->messages.size(), report.isEmpty() ? 0 : 1);
}

#include "test_login.moc"
