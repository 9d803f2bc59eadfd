#include "DemoData.h"
#include "Dispatcher.h"
#include "Job.h"
#include "RawClient.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "classes/StandinClasses.h"
#include "common/WireProtocol.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBeforeHello =
    "Nicht angemeldet: die Verbindung beginnt mit HELLO; Verbindung wird getrennt";
const QString kNotPermitted = "Keine Berechtigung ohne gültige Anmeldung: ";

// HELLO with credentials; the answer's values, or "error N text".
QStringList helloAs(Raw& c, const QString& company, const QString& user, const QString& password) {
    const auto r =
        c.call(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", company, user, password});
    if (!r)
        return {"no reply"};
    if (r->status == Wire::Status::Error)
        return {QStringLiteral("error %1 %2").arg(r->errorNumber).arg(r->errorText)};
    return r->values;
}

QString valueOrError(const std::optional<Wire::Reply>& r) {
    return Raw::text(r);
}

// The object ref of an opened object, or "" when it cannot be opened.
QString open(Raw& c, const QString& cls, const QString& id) {
    const auto r = c.call(Wire::Op::Open, {cls, id});
    return r && r->status == Wire::Status::Ok ? r->values.value(0) : QString();
}

QString get(Raw& c, const QString& ref, const QString& property) {
    return valueOrError(c.call(Wire::Op::Get, {ref, property}));
}

// Xecute on a new VT.Windows object: the output or "error N text".
QString xecuteNew(Raw& c, const QString& line) {
    const auto made = c.call(Wire::Op::New, {"VT.Windows"});
    if (!made || made->status == Wire::Status::Error)
        return valueOrError(made);
    return valueOrError(c.call(Wire::Op::Method, {made->values.value(0), "Xecute", line}));
}

// UserViaPasswort(password, company, ""): the user codes, or "error N text".
QStringList usersByPassword(Raw& c, const QString& password, const QString& company) {
    const auto r =
        c.call(Wire::Op::Query, {"VT.ParPersEdv", "UserViaPasswort", "500", password, company, ""});
    if (!r || r->status == Wire::Status::Error)
        return {valueOrError(r)};
    return r->values.mid(3);
}

} // namespace

// What a program that speaks the wire protocol gets without a valid login:
// nothing before HELLO, a closed connection after a refused one, and with
// credentials that match no active user only what the login reads, with
// another user's password never readable. Against a veltar-standin process
// with the demo company, and the dispatcher in this process.
class TestStandinAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void requestBeforeHelloRefusedAndClosed_data();
    void requestBeforeHelloRefusedAndClosed();
    void refusedHelloClosesTheConnection_data();
    void refusedHelloClosesTheConnection();
    void guestCannotReadPasswords_data();
    void guestCannotReadPasswords();
    void guestRefusedBeyondTheLogin_data();
    void guestRefusedBeyondTheLogin();
    void guestMReachesOnlyTheLoginsGlobals_data();
    void guestMReachesOnlyTheLoginsGlobals();
    void guestServedWhatTheLoginNeeds();
    void inactiveUserGetsOnlyTheLoginsAnswers();
    void activeUserReadsOnlyOwnPassword();
    void passwordAloneNamesItsUser();
    void helloAgainChangesTheAccess();

    void inProcessJobUnusableAfterRefusal();
    void failedStatementIsAnErrorReply();
    void textsSurviveStorage_data();
    void textsSurviveStorage();

private:
    // Another connection, logged in, is served and sees that nothing was
    // written by the refused requests.
    void checkOthersServed();

    QTemporaryDir m_dir;
    std::unique_ptr<StandinProcess> m_server;
};

void TestStandinAccess::initTestCase() {
    // The failed logins of these cases cost the next login of their user
    // code a short wait only.
    m_server = std::make_unique<StandinProcess>(m_dir.filePath("access.db"), true,
                                                QStringList{"--login-delay", "5"});
    QVERIFY2(m_server->started(), qPrintable(m_server->errorOutput()));
}

void TestStandinAccess::cleanupTestCase() {
    m_server.reset();
}

void TestStandinAccess::checkOthersServed() {
    Raw other(m_server->port());
    QCOMPARE(helloAs(other, "1", "DEM", "demo").value(2), QString("user"));
    QCOMPARE(other.xecute("W $D(^GUEST),$D(^STAND(1))"), QString("00"));
}

void TestStandinAccess::requestBeforeHelloRefusedAndClosed_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("ping") << int(Wire::Op::Ping) << QStringList{"x"};
    QTest::newRow("open a user") << int(Wire::Op::Open) << QStringList{"VT.ParPersEdv", "1||DEM"};
    QTest::newRow("new M object") << int(Wire::Op::New) << QStringList{"VT.Windows"};
    QTest::newRow("users by password")
        << int(Wire::Op::Query)
        << QStringList{"VT.ParPersEdv", "UserViaPasswort", "500", "demo", "1", ""};
}

void TestStandinAccess::requestBeforeHelloRefusedAndClosed() {
    QFETCH(int, op);
    QFETCH(QStringList, args);
    Raw c(m_server->port());
    QVERIFY(c.connected());
    c.send(Wire::Op(op), args);
    // A HELLO right behind it is not served any more.
    c.send(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "DEM", "demo"});
    QCOMPARE(valueOrError(c.reply()), "error 5012 " + kBeforeHello);
    QVERIFY(!c.reply(2000));
    QVERIFY(c.closedByServer());
    checkOthersServed();
}

void TestStandinAccess::refusedHelloClosesTheConnection_data() {
    QTest::addColumn<bool>("loggedInBefore");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown protocol") << false << QStringList{"VLT/9", "VELTAR", "test"}
                                      << "error 5010 Unbekanntes Protokoll VLT/9";
    QTest::newRow("unknown namespace")
        << false << QStringList{"VLT/1", "ANDERS", "test"} << "error 5010 <NAMESPACE> ANDERS";
    QTest::newRow("too few arguments")
        << false << QStringList{"VLT/1"} << "error 5005 Zu wenige Argumente für HELLO";
    QTest::newRow("again, other namespace")
        << true << QStringList{"VLT/1", "ANDERS", "test"} << "error 5010 <NAMESPACE> ANDERS";
}

void TestStandinAccess::refusedHelloClosesTheConnection() {
    QFETCH(bool, loggedInBefore);
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    Raw c(m_server->port());
    if (loggedInBefore)
        QCOMPARE(helloAs(c, "1", "DEM", "demo").value(2), QString("user"));
    c.send(Wire::Op::Hello, args);
    c.send(Wire::Op::Ping, {"after"});
    QCOMPARE(valueOrError(c.reply()), error);
    QVERIFY(!c.reply(2000));
    QVERIFY(c.closedByServer());
    checkOthersServed();
}

void TestStandinAccess::guestCannotReadPasswords_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("no credentials") << ""
                                    << ""
                                    << "";
    QTest::newRow("wrong password") << "1"
                                    << "DEM"
                                    << "falsch";
    QTest::newRow("password of another user") << "1"
                                              << "DEM"
                                              << "lager";
    QTest::newRow("unknown user") << "1"
                                  << "XYZ"
                                  << "demo";
    QTest::newRow("other company") << "2"
                                   << "DEM"
                                   << "demo";
    QTest::newRow("no user code, wrong password") << "1"
                                                  << ""
                                                  << "falsch";
    QTest::newRow("user code in lower case") << "1"
                                             << "dem"
                                             << "demo";
}

void TestStandinAccess::guestCannotReadPasswords() {
    QFETCH(QString, company);
    QFETCH(QString, user);
    QFETCH(QString, password);
    Raw c(m_server->port());
    const QStringList hello = helloAs(c, company, user, password);
    QCOMPARE(hello.size(), 3);
    QCOMPARE(hello[0], QString("veltar-standin"));
    QCOMPARE(hello[2], QString("guest"));
    // The login opens the record and compares its Passwort: never equal.
    const QString mask(password.size() + 1, u'*');
    // A user code that does not exist (or is another company's) opens and
    // reads alike: nothing tells which codes there are.
    for (const QString id : {"1||DEM", "1||LAG", "1||ALT", "1||NIX", "2||ZW"}) {
        const QString ref = open(c, "VT.ParPersEdv", id);
        QVERIFY2(!ref.isEmpty(), qPrintable(id));
        QCOMPARE(get(c, ref, "Passwort"), mask);
        QCOMPARE(get(c, ref, "AKTIV"), "error 5013 " + kNotPermitted + "GET VT.ParPersEdv.AKTIV");
        QCOMPARE(valueOrError(c.call(Wire::Op::Method, {ref, "sys_ID"})), id);
    }
    for (const QString guess : {"demo", "lager", "alt", "falsch", ""})
        QCOMPARE(usersByPassword(c, guess, "1"), QStringList());
    // The refusals leave the connection usable.
    QCOMPARE(valueOrError(c.call(Wire::Op::Ping, {"p"})), QString("p"));
}

void TestStandinAccess::guestRefusedBeyondTheLogin_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<QStringList>("args"); // "@user": a ref of the opened record 1||DEM
    QTest::addColumn<QString>("what");
    QTest::newRow("new position") << int(Wire::Op::New) << QStringList{"quendrap.pos"}
                                  << "NEW quendrap.pos";
    QTest::newRow("new user") << int(Wire::Op::New) << QStringList{"VT.ParPersEdv"}
                              << "NEW VT.ParPersEdv";
    QTest::newRow("open supplier")
        << int(Wire::Op::Open) << QStringList{"VT.Lieferant", "1||70001"} << "OPEN VT.Lieferant";
    QTest::newRow("open personnel data")
        << int(Wire::Op::Open) << QStringList{"VT.PersBasis", "1||1001"} << "OPEN VT.PersBasis";
    QTest::newRow("open department")
        << int(Wire::Op::Open) << QStringList{"VT.ParPersAbt", "1||10"} << "OPEN VT.ParPersAbt";
    QTest::newRow("unknown class")
        << int(Wire::Op::New) << QStringList{"VT.Nichts"} << "NEW VT.Nichts";
    QTest::newRow("class method") << int(Wire::Op::ClassMethod)
                                  << QStringList{"quendrap.downloads", "lname", "1", "70001"}
                                  << "CLASSMETHOD quendrap.downloads.lname";
    QTest::newRow("downloads") << int(Wire::Op::Query)
                               << QStringList{"quendrap.downloads", "liste", "500", "1"}
                               << "QUERY quendrap.downloads:liste";
    QTest::newRow("supplier search")
        << int(Wire::Op::Query) << QStringList{"VT.Windows", "KkrSuche", "500", "1", "L", "M", ""}
        << "QUERY VT.Windows:KkrSuche";
    QTest::newRow("set a password") << int(Wire::Op::Set) << QStringList{"@user", "Passwort", "neu"}
                                    << "SET VT.ParPersEdv.Passwort";
    QTest::newRow("save a user") << int(Wire::Op::Method) << QStringList{"@user", "sys_save"}
                                 << "METHOD VT.ParPersEdv.sys_save";
    QTest::newRow("read a name") << int(Wire::Op::Get) << QStringList{"@user", "PNAME"}
                                 << "GET VT.ParPersEdv.PNAME";
    QTest::newRow("name method") << int(Wire::Op::Method)
                                 << QStringList{"@user", "PNAMELogicalToODBC", "x"}
                                 << "METHOD VT.ParPersEdv.PNAMELogicalToODBC";
}

void TestStandinAccess::guestRefusedBeyondTheLogin() {
    QFETCH(int, op);
    QFETCH(QStringList, args);
    QFETCH(QString, what);
    Raw c(m_server->port());
    QCOMPARE(helloAs(c, "1", "DEM", "falsch").value(2), QString("guest"));
    if (args.value(0) == u"@user")
        args[0] = open(c, "VT.ParPersEdv", "1||DEM");
    QCOMPARE(valueOrError(c.call(Wire::Op(op), args)), "error 5013 " + kNotPermitted + what);
    // Nothing was changed: the record still has its password.
    Raw user(m_server->port());
    QCOMPARE(helloAs(user, "1", "DEM", "demo").value(2), QString("user"));
    QCOMPARE(get(user, open(user, "VT.ParPersEdv", "1||DEM"), "Passwort"), QString("demo"));
    QCOMPARE(valueOrError(c.call(Wire::Op::Ping, {"p"})), QString("p"));
}

void TestStandinAccess::guestMReachesOnlyTheLoginsGlobals_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("result");
    const QString refused = "error 5013 " + kNotPermitted + "METHOD VT.Windows.Xecute";
    QTest::newRow("write a global") << "S ^GUEST=1" << refused;
    QTest::newRow("read a global") << "W $G(^GUEST(\"a\"\"b\",2))" << refused;
    QTest::newRow("another job's location") << "S ^STAND(1)=\"x\"" << refused;
    QTest::newRow("write the fiscal year") << "S ^FA(0)=\"x\"" << refused;
    QTest::newRow("search routine") << "D GETARF^VTCLSU" << refused;
    QTest::newRow("loop") << "F  S X=1" << refused;
    QTest::newRow("big local") << R"(S X=$J("",3000000))" << refused;
    QTest::newRow("long location") << R"(S ^STAND($J)=")" + QString(65, 'x') + "\"" << refused;
    QTest::newRow("second command") << R"(S ^STAND($J)="01" F  S X=1)" << refused;
    QTest::newRow("session locals read") << R"(S FIRMA=1,FIL=0,PERSONAL="D" W FIRMA)" << refused;
    QTest::newRow("company as M") << R"(S FIRMA=$J("",9),FIL=0,PERSONAL="")" << refused;
    QTest::newRow("line feed") << "D ^%XTT\n" << refused;
    QTest::newRow("session locals") << "S FIRMA=1,FIL=0,PERSONAL=\"D\"\"\""
                                    << "";
    QTest::newRow("own location") << "S ^STAND($J)=\"01\""
                                  << "";
    QTest::newRow("fiscal year") << "S P0=$P(^FA(0),\"`\",2) W P0"
                                 << "2027";
    QTest::newRow("register the job") << "D ^%XTT"
                                      << "";
}

void TestStandinAccess::guestMReachesOnlyTheLoginsGlobals() {
    QFETCH(QString, line);
    QFETCH(QString, result);
    Raw c(m_server->port());
    QCOMPARE(helloAs(c, "1", "DEM", "falsch").value(2), QString("guest"));
    QCOMPARE(c.xecute(line), result);
    checkOthersServed();
}

void TestStandinAccess::guestServedWhatTheLoginNeeds() {
    Raw c(m_server->port());
    QCOMPARE(helloAs(c, "1", "", "").value(2), QString("guest"));
    QCOMPARE(valueOrError(c.call(Wire::Op::ClassMethod, {"GUIVELTAR.Menue", "getStandorte", "1"})),
             QString("01 Zentrale Köln`02 Lager Nord`03 Baumarkt Süd"));
    QCOMPARE(valueOrError(c.call(Wire::Op::ClassMethod,
                                 {"GUIVELTAR.Menue", "getDeviceStandort", "demo-pc"})),
             QString("01"));
    const auto list = c.call(Wire::Op::Query, {"GUIVELTAR.Server", "Liste", "500"});
    QVERIFY(list && list->status == Wire::Status::Ok);
    QCOMPARE(list->values.mid(1, 4), (QStringList{"8", "0", "1", "Demo-Firma (lokal)"}));
    // The server list is read before anyone logs in; only a user changes it.
    QCOMPARE(valueOrError(c.call(Wire::Op::New, {"GUIVELTAR.Server"})),
             "error 5013 " + kNotPermitted + "NEW GUIVELTAR.Server");
    QCOMPARE(valueOrError(c.call(Wire::Op::Open, {"GUIVELTAR.Server", "1"})),
             "error 5013 " + kNotPermitted + "OPEN GUIVELTAR.Server");
}

void TestStandinAccess::inactiveUserGetsOnlyTheLoginsAnswers() {
    Raw c(m_server->port());
    QCOMPARE(helloAs(c, "1", "ALT", "alt").value(2), QString("inactive"));
    QCOMPARE(usersByPassword(c, "alt", "1"), QStringList{"ALT"});
    const QString own = open(c, "VT.ParPersEdv", "1||ALT");
    QCOMPARE(get(c, own, "Passwort"), QString("alt"));
    QCOMPARE(get(c, own, "AKTIV"), QString("N"));
    QCOMPARE(get(c, open(c, "VT.ParPersEdv", "1||DEM"), "Passwort"), QString("****"));
    QCOMPARE(valueOrError(c.call(Wire::Op::Set, {own, "AKTIV", "J"})),
             "error 5013 " + kNotPermitted + "SET VT.ParPersEdv.AKTIV");
    QCOMPARE(valueOrError(c.call(Wire::Op::Open, {"VT.ParPersAbt", "1||10"})),
             "error 5013 " + kNotPermitted + "OPEN VT.ParPersAbt");
    QCOMPARE(c.xecute("S ^GUEST=1"), "error 5013 " + kNotPermitted + "METHOD VT.Windows.Xecute");
    checkOthersServed();
}

void TestStandinAccess::activeUserReadsOnlyOwnPassword() {
    Raw c(m_server->port());
    const QStringList hello = helloAs(c, "1", "DEM", "demo");
    QCOMPARE(hello.value(2), QString("user"));
    QVERIFY(hello.value(1).toInt() > 0);
    QCOMPARE(get(c, open(c, "VT.ParPersEdv", "1||DEM"), "Passwort"), QString("demo"));
    QCOMPARE(get(c, open(c, "VT.ParPersEdv", "1||LAG"), "Passwort"), QString("*****"));
    QCOMPARE(usersByPassword(c, "demo", "1"), QStringList{"DEM"});
    QCOMPARE(usersByPassword(c, "lager", "1"), QStringList());
    QCOMPARE(usersByPassword(c, "demo", "2"), QStringList());
    // Everything else is served.
    QCOMPARE(c.xecute("S ^ACCESS(1)=\"ja\" W ^ACCESS(1)"), QString("ja"));
    QCOMPARE(get(c, open(c, "VT.Lieferant", "1||70001"), "NAME"), QString("M}ller Baustoffe GmbH"));
}

void TestStandinAccess::passwordAloneNamesItsUser() {
    Raw c(m_server->port());
    QCOMPARE(helloAs(c, "1", "", "lager").value(2), QString("user"));
    QCOMPARE(usersByPassword(c, "lager", "1"), QStringList{"LAG"});
    QCOMPARE(get(c, open(c, "VT.ParPersEdv", "1||LAG"), "Passwort"), QString("lager"));
}

void TestStandinAccess::helloAgainChangesTheAccess() {
    Raw c(m_server->port());
    const QStringList guest = helloAs(c, "1", "DEM", "falsch");
    QCOMPARE(guest.value(2), QString("guest"));
    QCOMPARE(xecuteNew(c, R"(S FIRMA=1,FIL=0,PERSONAL="X")"), QString());
    QCOMPARE(xecuteNew(c, "S X=5 W $D(^AGAIN)"),
             "error 5013 " + kNotPermitted + "METHOD VT.Windows.Xecute");
    const QStringList user = helloAs(c, "1", "DEM", "demo");
    QCOMPARE(user.value(2), QString("user"));
    // The same job, with its locals.
    QCOMPARE(user.value(1), guest.value(1));
    QCOMPARE(xecuteNew(c, "S ^AGAIN=FIRMA_PERSONAL W ^AGAIN"), QString("1X"));
    const QString record = open(c, "VT.ParPersEdv", "1||DEM");
    QCOMPARE(get(c, record, "AKTIV"), QString("J"));
    // Back to a guest: what was opened as the user is gone.
    QCOMPARE(helloAs(c, "1", "DEM", "").value(2), QString("guest"));
    QCOMPARE(get(c, record, "Passwort"), QString("error 5003 Ungültige Objektreferenz ") + record);
    QCOMPARE(xecuteNew(c, "W ^AGAIN"), "error 5013 " + kNotPermitted + "METHOD VT.Windows.Xecute");
}

void TestStandinAccess::inProcessJobUnusableAfterRefusal() {
    StandinEngine engine(m_dir.filePath("inprocess.db"));
    RegisterErpClasses(engine);
    FillDemoData(engine);
    const auto dispatch = [](Job& job, Wire::Op op, const QStringList& args) {
        const Wire::Reply r = Dispatch(job, Wire::Request{7, op, args});
        return r.status == Wire::Status::Ok
                   ? r.values.join(u'|')
                   : QStringLiteral("error %1 %2").arg(r.errorNumber).arg(r.errorText);
    };
    const QStringList good{Wire::kMagic, "VELTAR", "", "1", "DEM", "demo"};
    Job refused(engine);
    QCOMPARE(dispatch(refused, Wire::Op::Hello, {"VLT/0", "VELTAR", ""}),
             QString("error 5010 Unbekanntes Protokoll VLT/0"));
    QVERIFY(refused.closed());
    for (Wire::Op op : {Wire::Op::Hello, Wire::Op::Ping})
        QCOMPARE(dispatch(refused, op, good),
                 QString("error 5012 Verbindung ohne gültige Anmeldung getrennt"));

    Job early(engine);
    QCOMPARE(dispatch(early, Wire::Op::New, {"VT.Windows"}), "error 5012 " + kBeforeHello);
    QCOMPARE(dispatch(early, Wire::Op::Hello, good),
             QString("error 5012 Verbindung ohne gültige Anmeldung getrennt"));

    Job served(engine);
    QCOMPARE(dispatch(served, Wire::Op::Hello, good),
             "veltar-standin|" + served.jobNumber() + "|user");
    QCOMPARE(dispatch(served, Wire::Op::Ping, {"a", "b"}), QString("a|b"));
}

void TestStandinAccess::failedStatementIsAnErrorReply() {
    StandinEngine engine(m_dir.filePath("sqlfail.db"));
    RegisterErpClasses(engine);
    FillDemoData(engine);
    Job job(engine);
    QCOMPARE(Dispatch(job, {1, Wire::Op::Hello, {Wire::kMagic, "VELTAR", "", "1", "DEM", "demo"}})
                 .status,
             Wire::Status::Ok);
    const Wire::Request countries{2, Wire::Op::ClassMethod, {"quendrap.pos", "QuendraGetCountry"}};
    Wire::Reply r = Dispatch(job, countries);
    QCOMPARE(r.status, Wire::Status::Ok);
    QCOMPARE(r.values.value(0),
             QString("Müller Baustoffe GmbH (MUE)|Schröder Dämmtechnik KG (SDT)"));
    QSqlQuery drop(engine.db());
    QVERIFY(drop.exec("DROP TABLE quendrap_web"));
    r = Dispatch(job, countries);
    QCOMPARE(r.status, Wire::Status::Error);
    QCOMPARE(r.errorNumber, 5006);
    QCOMPARE(r.errorText, QString("Datenbankfehler: no such table: quendrap_web (SELECT CODE, "
                                  "min(NAME) FROM quendrap_web GROUP BY CODE ORDER BY min(NAME))"));
    // The job goes on.
    r = Dispatch(job, {3, Wire::Op::Ping, {"weiter"}});
    QCOMPARE(r.values, QStringList{"weiter"});
}

void TestStandinAccess::textsSurviveStorage_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString("");
    QTest::newRow("null") << QString();
    QTest::newRow("umlauts") << QStringLiteral("Größe äöü ß €");
    QTest::newRow("leading U+FEFF") << QString(QChar(0xFEFF)) + "x";
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"Note \U0001D11E Ende");
    QTest::newRow("NUL inside") << QString("a") + QChar(0) + "b";
    QString wide;
    for (int i = 0; i < 2000; ++i)
        wide += QStringLiteral("ü%1").arg(i % 10);
    QTest::newRow("4000 characters") << wide;
}

// Values go into the database as UTF-8 and come back as they were, also
// when the same statement stored a longer or a shorter text just before.
void TestStandinAccess::textsSurviveStorage() {
    QFETCH(QString, text);
    StandinEngine engine(m_dir.filePath(QStringLiteral("texts.db")));
    RegisterErpClasses(engine);
    const ClassDef* web = engine.findClass("quendrap.web");
    QVERIFY(web);
    QString firstId;
    for (const QString& before : {QString(5000, u'x'), QString("y"), text}) {
        StoredObject o;
        o.cls = web;
        o.values = {{"CODE", "T"}, {"NAME", before}, {"SEQ", "1"}, {"LINE", text}};
        engine.saveObject(o);
        StoredObject back;
        QVERIFY(engine.loadObject(*web, o.id, &back));
        QCOMPARE(back.values.value("LINE"), text.isNull() ? QString("") : text);
        QCOMPARE(back.values.value("NAME"), before);
        QCOMPARE(engine.textValue("SELECT hex(LINE) FROM quendrap_web WHERE id=?", {o.id}),
                 QString::fromLatin1(text.toUtf8().toHex().toUpper()));
        if (firstId.isEmpty())
            firstId = o.id;
    }
    // What was stored first is still there, unchanged.
    StoredObject first;
    QVERIFY(engine.loadObject(*web, firstId, &first));
    QCOMPARE(first.values.value("NAME"), QString(5000, u'x'));
    QCOMPARE(first.values.value("LINE"), text.isNull() ? QString("") : text);
}

QTEST_GUILESS_MAIN(TestStandinAccess)
#include "test_standin_access.moc"
