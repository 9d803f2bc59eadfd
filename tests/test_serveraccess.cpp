#include "ClientTestFixture.h"
#include "InProcessClient.h"
#include "Job.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/ConnectionWindows.h"
#include "server/ErrorReport.h"
#include "server/MCommands.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <stdexcept>

// The connection primitives against the stand-in engine in this process.
class TestServerAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void connectString();
    void wireCodecRejectsMalformedPayloads();
    void sessionValuesSentAfterEveryConnection();
    void companyNotAWholeNumberNeverSent_data();
    void companyNotAWholeNumberNeverSent();
    void changedCredentialsRenewTheConnection();
    void connectionsKeepTheirOwnState();
    void unreachableServerRetriesThenEnds();
    void serverListRepairsConnection();
    void dbcallReturnsOutputAndReportsErrors();
    void dbcallSilentOnlyTraces();
    void dbcalldSplitting_data();
    void dbcalldSplitting();
    void dbcalldFailure();
    void bracketReportsServerError();
    void reconnectsAfterLostConnection();
    void retryWindowCannotStartASecondConnectionAttempt();
    // Last: it ends the event loops of the test process.
    void endingInsideAnEventLoopReturnsEveryLoop();

private:
    InProcessClient* client() { return m_fx->client(); }

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestServerAccess::init() {
    m_fx = std::make_unique<ClientTestFixture>(ClientTestFixture::Data::Empty);
    m_ui = std::make_unique<ScriptedUserInterface>();
    m_fx->demoSession();
    Session().userDisplay = "DEM|Demo";
    m_fx->connection().rebuildConnectString();
}

void TestServerAccess::cleanup() {
    m_ui.reset();
    m_fx.reset();
}

void TestServerAccess::connectString() {
    QCOMPARE(BuildConnectString("10.1.2.3", "1973", "VELTAR"),
             QString("cn_iptcp:10.1.2.3[1973]:VELTAR"));
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[1973]:VELTAR"));
    const auto t = ConnectTarget::parse("cn_iptcp:host.example[2001]:USER");
    QVERIFY(t);
    QCOMPARE(t->host, QString("host.example"));
    QCOMPARE(t->port, quint16(2001));
    QCOMPARE(t->nameSpace, QString("USER"));
    QVERIFY(!ConnectTarget::parse("cn_iptcp:host[0]:NS"));
    QVERIFY(!ConnectTarget::parse("cn_iptcp:[1973]:NS"));
    QVERIFY(!ConnectTarget::parse("cn_iptcp:host[abc]:NS"));
    QVERIFY(!ConnectTarget::parse("host:1973"));
}

void TestServerAccess::wireCodecRejectsMalformedPayloads() {
    Wire::Request r{7, Wire::Op::ClassMethod, {"quendrap.pos", "savezeile", "ä|ö", ""}};
    QByteArray frame = Wire::encodeRequest(r);
    Wire::FrameBuffer buffer;
    buffer.append(frame.left(5));
    QByteArray payload;
    QCOMPARE(buffer.next(&payload), Wire::FrameBuffer::Result::NeedMore);
    buffer.append(frame.mid(5));
    QCOMPARE(buffer.next(&payload), Wire::FrameBuffer::Result::Frame);
    const auto back = Wire::decodeRequest(payload);
    QVERIFY(back);
    QCOMPARE(back->id, 7u);
    QCOMPARE(back->op, Wire::Op::ClassMethod);
    QCOMPARE(back->args, r.args);
    // Truncated, trailing garbage, unknown operation, absurd count.
    QVERIFY(!Wire::decodeRequest(payload.left(payload.size() - 1)));
    QVERIFY(!Wire::decodeRequest(payload + 'x'));
    QByteArray badOp = payload;
    badOp[4] = char(99);
    QVERIFY(!Wire::decodeRequest(badOp));
    QVERIFY(!Wire::decodeRequest(QByteArray("\0\0\0\1\1\xff\xff\xff\xff", 9)));
    QByteArray huge(4, '\0');
    huge[0] = char(0x7f);
    buffer.clear();
    buffer.append(huge);
    QCOMPARE(buffer.next(&payload), Wire::FrameBuffer::Result::TooLarge);
}

void TestServerAccess::sessionValuesSentAfterEveryConnection() {
    bool failed = false;
    QCOMPARE(
        dbcall(m_fx->connection(), "W FIRMA,\"/\",FIL,\"/\",PERSONAL,\"/\",^STAND($J)", failed),
        QString("1/0/DEM/HQ"));
    QVERIFY(!failed);
    const QString registered = dbcall(m_fx->connection(), "W $P(^%XTT($J),\"|\",1,4)", failed);
    QCOMPARE(registered, QString("1|0|DEM|HQ"));
    // A new connection (after a re-login) sends the new values again.
    m_fx->connection().close();
    Session().personal = "ABC";
    Session().standort = "LAGER";
    QCOMPARE(dbcall(m_fx->connection(), "W PERSONAL,^STAND($J)", failed), QString("ABCLAGER"));
    QCOMPARE(m_fx->connects(), 2);
    // A workstation without a location sends an empty one.
    m_fx->connection().close();
    Session().standort.clear();
    QCOMPARE(dbcall(m_fx->connection(), "S ^X=\"\" W \"[\",^STAND($J),\"]\",^X", failed),
             QString("[]"));
    QVERIFY(!failed);
}

void TestServerAccess::companyNotAWholeNumberNeverSent_data() {
    QTest::addColumn<QString>("firma");
    QTest::addColumn<QString>("fil");
    QTest::addColumn<QString>("problem");
    QTest::newRow("company 1e2") << "1e2"
                                 << "0"
                                 << "Firma \"1e2\" ist keine ganze Zahl.";
    QTest::newRow("company nan") << "nan"
                                 << "0"
                                 << "Firma \"nan\" ist keine ganze Zahl.";
    QTest::newRow("company as M") << "1,^X=2"
                                  << "0"
                                  << "Firma \"1,^X=2\" ist keine ganze Zahl.";
    QTest::newRow("empty branch") << "1"
                                  << ""
                                  << "Filiale \"\" ist keine ganze Zahl.";
    QTest::newRow("ten digits") << "1234567890"
                                << "0"
                                << "Firma \"1234567890\" ist keine ganze Zahl.";
}

// The connection never sends a company or branch that M would evaluate:
// the call fails with the client's own error instead of an M error.
void TestServerAccess::companyNotAWholeNumberNeverSent() {
    QFETCH(QString, firma);
    QFETCH(QString, fil);
    QFETCH(QString, problem);
    Session().firma = firma;
    Session().fil = fil;
    QCOMPARE(SessionValuesProblem(), problem);
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W 1", failed), QString(" "));
    QVERIFY(failed);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             "Vorgang: cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\n"
             "DBCall Aufruf von VT.Windwos Xecute W 1.\r\n\r\nFehler: 464\r\n" +
                 problem + "\r\n\r\n");
    // Nothing was left half set up: with whole numbers the next call
    // connects and sends them.
    QVERIFY(!m_fx->connection().client().isConnected());
    Session().firma = "12";
    Session().fil = "007";
    QCOMPARE(dbcall(m_fx->connection(), "W FIRMA,\"/\",FIL", failed), QString("12/7"));
}

// New credentials reach the server before the next call, on the same
// connection; handles of before stop working.
void TestServerAccess::changedCredentialsRenewTheConnection() {
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "S ^CRED=1 W ^CRED", failed), QString("1"));
    ServerObject before;
    QVERIFY(m_fx->connection().call(
        "test.Objekt", [&] { before = m_fx->connection().client().newObject("VT.Windows"); }));
    const QString job = m_fx->connection().client().jobNumber();
    m_fx->connection().setCredentials({"1", "DEM", "falsch"});
    QCOMPARE(dbcall(m_fx->connection(), "W $D(^CRED)", failed, true), QString(" "));
    QVERIFY(failed);
    QCOMPARE(m_fx->connection().client().access(), QString("guest"));
    QCOMPARE(m_fx->connection().client().jobNumber(), job);
    QCOMPARE(m_fx->connects(), 1);
    QVERIFY(!before.isUsable());
    {
        const CredentialsScope scope(m_fx->connection(), {"1", "", "demo"});
        failed = false;
        QCOMPARE(dbcall(m_fx->connection(), "W ^CRED", failed), QString("1"));
        QCOMPARE(m_fx->connection().client().access(), QString("user"));
        QCOMPARE(m_fx->connection().client().credentials(), (Credentials{"1", "", "demo"}));
    }
    // As a guest again: served the login's commands.
    failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "D ^%XTT", failed), QString());
    QVERIFY(!failed);
    QCOMPARE(m_fx->connection().client().credentials(), (Credentials{"1", "DEM", "falsch"}));
    QCOMPARE(m_fx->connection().client().access(), QString("guest"));
    QCOMPARE(m_fx->connects(), 1);
}

// Two connections over two clients: each logs in with its own credentials
// on a job of its own, and keeps its own client and its last reported
// error; closing one leaves the other standing.
void TestServerAccess::connectionsKeepTheirOwnState() {
    Connection& user = m_fx->connection();
    Connection guest([this] { return std::make_unique<InProcessClient>(m_fx->engine()); });
    QVERIFY(!guest.hasClient());
    bool failed = false;
    QCOMPARE(dbcall(user, "S ^CRED=1 W ^CRED", failed), QString("1"));
    QVERIFY(!guest.hasClient());
    // What a guest may run, on a connection of its own.
    QCOMPARE(dbcall(guest, "D ^%XTT", failed), QString());
    QVERIFY(!failed);
    QCOMPARE(user.client().access(), QString("user"));
    QCOMPARE(guest.client().access(), QString("guest"));
    QCOMPARE(guest.credentials(), Credentials{});
    QVERIFY(user.client().jobNumber() != guest.client().jobNumber());
    {
        const CredentialsScope scope(guest, {"1", "", "demo"});
        QCOMPARE(user.credentials(), (Credentials{"1", "DEM", "demo"}));
    }
    QCOMPARE(guest.credentials(), Credentials{});
    // A guest is refused the user's data: reported on the guest's connection.
    QCOMPARE(dbcall(guest, "W ^CRED", failed), QString(" "));
    QVERIFY(failed);
    QVERIFY(guest.lastReportedError() != 0);
    QCOMPARE(user.lastReportedError(), 0);
    guest.close();
    QVERIFY(!guest.isConnected());
    QVERIFY(user.isConnected());
    failed = false;
    QCOMPARE(dbcall(user, "W ^CRED", failed), QString("1"));
    QVERIFY(!failed);
    QCOMPARE(m_fx->connects(), 1);
}

void TestServerAccess::unreachableServerRetriesThenEnds() {
    m_fx->setReachable(false);
    bool ended = false;
    try {
        m_fx->connection().ensure();
    } catch (const ProgramEnded& e) {
        ended = true;
        QCOMPARE(e.code, 1);
    }
    QVERIFY(ended);
    QCOMPARE(m_fx->connects(), 6);
    QCOMPARE(m_fx->pauses, (QList<int>{1000, 1000, 1000, 1000}));
    // Each attempt said what it tried; the note went for the messages and
    // at the end.
    const QString to = "Verbindung zu 127.0.0.1:1973 wird aufgebaut, Versuch ";
    QCOMPARE(m_ui->activities,
             (QStringList{to + "1 von 3", to + "2 von 3", to + "3 von 3", "", to + "1 von 3",
                          to + "2 von 3", to + "3 von 3", "", ""}));
    QCOMPARE(m_ui->busyDepth(), 0);
    QCOMPARE(m_ui->serverListShown, 1);
    QCOMPARE(m_ui->serverListHidden, 1);
    QCOMPARE(m_ui->windowsUnloaded, 1);
    QCOMPARE(m_ui->messages.size(), 2);
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an Caché"));
    QCOMPARE(m_ui->messages[0].text, QString("Server nach 3 Versuchen nicht erreichbar!\r\n"
                                             "Bitte Kontrollieren Sie die Verbindungsdaten"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Warning);
    QCOMPARE(m_ui->messages[1].title, QString("Anmeldung an Caché"));
    QCOMPARE(m_ui->messages[1].text,
             QString("Der Server ist nicht erreichbar!\r\nDie Anwendung wird beendet!\r\n"
                     "Bitte Versuchen Sie die Anmeldung zu einem späteren Zeitpunk noch ein mal."));
    QCOMPARE(m_ui->messages[1].icon, MessageIcon::Critical);
    QCOMPARE(Session().userDisplay, QString());
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e[0].part, QString("cacheapi.Ende"));
    QCOMPARE(e[0].text, QString("Ende ENDE"));
    QCOMPARE(e[0].parameter, QString("es folgt end"));
    QCOMPARE(e[1].text, QString("Start ENDE"));
}

void TestServerAccess::serverListRepairsConnection() {
    m_fx->setReachable(false);
    m_ui->onServerList = [this] {
        m_fx->setReachable(true);
        Session().server = "localhost";
        m_fx->connection().rebuildConnectString();
    };
    m_fx->connection().ensure();
    QCOMPARE(m_fx->connects(), 4);
    QCOMPARE(m_fx->pauses, (QList<int>{1000, 1000}));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:localhost[1973]:VELTAR"));
    QVERIFY(m_fx->connection().client().isConnected());
}

void TestServerAccess::dbcallReturnsOutputAndReportsErrors() {
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "S X=\"a\"\"b\" W X,$P(\"1`2`3\",\"`\",2)", failed),
             QString("a\"b2"));
    QVERIFY(!failed);
    QVERIFY(m_ui->messages.isEmpty());
    // Connecting held the busy pointer and let it go.
    QCOMPARE(m_ui->busyCalls, (QList<bool>{true, false}));
    m_ui->busyCalls.clear();

    const QString bad = "W \"x";
    {
        // The report leaves the busy pointer to whoever holds it: the work
        // around the call is still busy afterwards.
        BusyPointer busy(*m_ui);
        QCOMPARE(dbcall(m_fx->connection(), bad, failed), QString(" "));
        QCOMPARE(m_ui->busyDepth(), 1);
        QCOMPARE(m_ui->busyCalls, QList<bool>{true});
    }
    QCOMPARE(m_ui->busyCalls, (QList<bool>{true, false}));
    QVERIFY(failed);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].title, QString("Caché Zugriffsfehler"));
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\n"
                     "DBCall Aufruf von VT.Windwos Xecute W \"x.\r\n\r\nFehler: 5002\r\n"
                     "<SYNTAX> W \"x\r\n\r\n"));
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e[0].part, QString("dbCall"));
    QCOMPARE(e[0].text, QString("Command_:W \"x"));
    QCOMPARE(e[0].parameter, QString("<SYNTAX> W \"x"));
    QCOMPARE(e[1].part, QString("cacheapi.CacheFehlermeldung"));
    QCOMPARE(e[1].parameter, QString("Fehler #5002 <SYNTAX> W \"x"));
}

void TestServerAccess::dbcallSilentOnlyTraces() {
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W UNDEF", failed, true), QString(" "));
    QVERIFY(failed);
    QVERIFY(m_ui->messages.isEmpty());
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e[0].part, QString("dbCall"));
    QCOMPARE(e[0].text, QString("Command_:W UNDEF"));
    QCOMPARE(e[0].parameter, QString("<UNDEFINED> UNDEF"));
}

void TestServerAccess::dbcalldSplitting_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("empty item kept") << "a^^b" << QStringList{"a", "", "b"};
    QTest::newRow("trailing delimiter") << "a^b^" << QStringList{"a", "b"};
    QTest::newRow("leading delimiter") << "^a" << QStringList{"", "a"};
    QTest::newRow("nothing") << "" << QStringList{};
}

void TestServerAccess::dbcalldSplitting() {
    QFETCH(QString, output);
    QFETCH(QStringList, items);
    QStringList got;
    bool failed = false;
    QString command = "W \"" + output + "\"";
    QCOMPARE(dbcalld(m_fx->connection(), command, u'^', got, failed), int(items.size()));
    QVERIFY(!failed);
    QCOMPARE(got, items);
}

void TestServerAccess::dbcalldFailure() {
    QStringList items{"old"};
    bool failed = false;
    QCOMPARE(dbcalld(m_fx->connection(), "D ^NIRGENDS", u'^', items, failed), 0);
    QVERIFY(failed);
    QCOMPARE(items, QStringList{" "});
    QCOMPARE(m_ui->messages.size(), 1);
    QVERIFY(m_ui->messages[0].text.startsWith(
        "Vorgang: cacheapi.dbcalld Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\n"
        "DBCallD Aufruf von VT.Windwos Xecute D ^NIRGENDS.\r\n\r\nFehler: 5002\r\n<NOLINE>"));
    QCOMPARE(TraceLogModel::instance().entries()[0].part, QString("dbCalld"));
    // The limit of items.
    const QString many = QString("x^").repeated(kMaxCallItems + 10);
    QCOMPARE(SplitCallOutput(many, u'^').size(), kMaxCallItems);
}

void TestServerAccess::bracketReportsServerError() {
    const bool ok = m_fx->connection().call("cacheapi.test Klasse", [this] {
        ClassHandle h = m_fx->connection().client().classHandle("quendrap.gibtsnicht");
        h.call("x");
    });
    QVERIFY(!ok);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: cacheapi.test Klasse.\r\n\r\nFehler: 5351\r\n"
                     "Klasse existiert nicht: quendrap.gibtsnicht\r\n\r\n"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Warning);
    QCOMPARE(m_ui->busyDepth(), 0);

    // Any other exception ends the bracket (a busy pointer the call holds
    // goes too, as the EAN posting's does) and goes on to the caller,
    // without a report.
    bool thrown = false;
    try {
        m_fx->connection().call("cacheapi.test Ausnahme", [this] {
            BusyPointer busy(*m_ui);
            QCOMPARE(m_ui->busyDepth(), 1);
            throw std::runtime_error("kein Serverfehler");
        });
    } catch (const std::runtime_error&) {
        thrown = true;
    }
    QVERIFY(thrown);
    QCOMPARE(m_ui->busyDepth(), 0);
    QCOMPARE(m_ui->messages.size(), 1);
}

void TestServerAccess::reconnectsAfterLostConnection() {
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "S X=5 W X", failed), QString("5"));
    m_fx->client()->breakConnection();
    // The next call connects anew; the new job has no locals of the old one.
    QCOMPARE(dbcall(m_fx->connection(), "W $D(X)", failed), QString("0"));
    QCOMPARE(m_fx->connects(), 2);
    QVERIFY(!failed);
}

void TestServerAccess::retryWindowCannotStartASecondConnectionAttempt() {
    m_fx->setReachable(false);
    QStringList inner;
    m_ui->onServerList = [&] {
        // The server list loads its entries: no second attempt sequence.
        bool failed = false;
        inner << dbcall(m_fx->connection(), "W 1", failed, true);
        m_fx->setReachable(true);
    };
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W 9", failed), QString("9"));
    QVERIFY(!failed);
    QCOMPARE(inner, QStringList{" "});
    QCOMPARE(m_ui->serverListShown, 1);
    // Three attempts before the list, one after it; the inner call made none.
    QCOMPARE(m_fx->connects(), 4);
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e[e.size() - 2].part, QString("dbCall"));
    QCOMPARE(e[e.size() - 2].parameter, QString("Keine Verbindung zum Server"));
}

void TestServerAccess::endingInsideAnEventLoopReturnsEveryLoop() {
    // Without an exit hook, ending the program inside a window's event loop
    // must not end the process under it: every loop returns with the code.
    SetExitFunction({});
    QEventLoop outer;
    QEventLoop inner;
    int innerCode = -1;
    bool afterInner = false;
    QTimer::singleShot(0, &outer, [&] {
        QTimer::singleShot(0, &inner, [] { Ende(3); });
        innerCode = inner.exec();
        afterInner = true;
    });
    const int outerCode = outer.exec();
    QCOMPARE(innerCode, 3);
    QVERIFY(afterInner);
    QCOMPARE(outerCode, 3);
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e[0].text, QString("Ende ENDE"));
    QCOMPARE(e[1].text, QString("Start ENDE"));
}

QTEST_GUILESS_MAIN(TestServerAccess)
#include "test_serveraccess.moc"
