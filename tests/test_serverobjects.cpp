#include "ClientTestFixture.h"
#include "InProcessClient.h"
#include "Job.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "server/Connection.h"
#include "server/MCommands.h"

#include <QTest>

// Server objects, class handles and result sets on the connection, against
// the stand-in engine in this process.
class TestServerObjects : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void objectsStoreAndOpen();
    void resultSetReadsEveryRowInBatches();
    void unknownNamesAreErrorsNotCrashes_data();
    void unknownNamesAreErrorsNotCrashes();
    void handlesOfAnEndedConnectionFailInsteadOfCrashing();
    void objectsCloseThemselves();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestServerObjects::init() {
    m_fx = std::make_unique<ClientTestFixture>(ClientTestFixture::Data::Empty);
    m_ui = std::make_unique<ScriptedUserInterface>();
    m_fx->demoSession();
    Session().userDisplay = "DEM|Demo";
}

void TestServerObjects::cleanup() {
    m_ui.reset();
    m_fx.reset();
}

void TestServerObjects::objectsStoreAndOpen() {
    ClassDef& cls = m_fx->engine().defineClass("Test.Lief", "test_lief", {"Name", "Ort"});
    // Writable over the wire, as the server's classes that the program writes.
    cls.writes = {true, cls.properties, cls.properties};
    cls.methods.insert("Gross", [](CallContext&, StoredObject& o, QStringList& args) {
        args[0] = o.values.value("Name").toUpper();
        return QString("ok");
    });
    m_fx->connection().ensure();
    ServerObject o = m_fx->connection().client().newObject("Test.Lief");
    o.set("Name", "Müller");
    o.set("Ort", "Köln");
    o.save();
    const QString id = o.id();
    QCOMPARE(id, QString("1"));
    QStringList args{""};
    QCOMPARE(o.call("Gross", args), QString("ok"));
    QCOMPARE(args, QStringList{"MÜLLER"}); // passed by reference
    CloseObject(o);
    QVERIFY(o.isNull());
    ServerObject again = m_fx->connection().client().openObject("Test.Lief", id);
    QCOMPARE(again.get("Ort"), QString("Köln"));
    again.set("Ort", "Bonn");
    again.save();
    QCOMPARE(again.id(), id);
    CloseObject(again);
    ServerObject third = m_fx->connection().client().openObject("Test.Lief", id);
    QCOMPARE(third.get("Ort"), QString("Bonn"));
    ServerObject second = m_fx->connection().client().newObject("Test.Lief");
    second.save();
    QCOMPARE(second.id(), QString("2"));
}

void TestServerObjects::resultSetReadsEveryRowInBatches() {
    ClassDef& cls = m_fx->engine().defineClass("Test.Zahlen");
    cls.queries.insert("Liste", [](CallContext&, const QStringList& args) {
        QList<QStringList> rows;
        for (int i = 1; i <= args.value(0).toInt(); ++i)
            rows << QStringList{QString::number(i), "Zeile " + QString::number(i)};
        return std::make_unique<ListCursor>(2, rows);
    });
    m_fx->connection().ensure();
    for (int total : {0, 6, 7, 100}) {
        ResultSet rs = m_fx->connection().client().resultSet("Test.Zahlen", "Liste");
        rs.setBatchSize(7);
        rs.execute({QString::number(total)});
        int n = 0;
        while (rs.next()) {
            ++n;
            QCOMPARE(rs.getData(1), QString::number(n));
            QCOMPARE(rs.getData(2), "Zeile " + QString::number(n));
            QCOMPARE(rs.getData(3), QString());
        }
        QCOMPARE(n, total);
        QVERIFY(!rs.next());
        rs.close();
    }
}

void TestServerObjects::unknownNamesAreErrorsNotCrashes_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("class") << 0 << 5351 << "Klasse existiert nicht: VT.Nichts";
    QTest::newRow("object id") << 1 << 5809 << "Objekt nicht gefunden: Test.Obj 42";
    QTest::newRow("method") << 2 << 6022 << "Methode existiert nicht: VT.Windows.Fliegen";
    QTest::newRow("property") << 3 << 6023 << "Eigenschaft existiert nicht: Test.Obj.Farbe";
    QTest::newRow("query") << 4 << 6024 << "Abfrage existiert nicht: VT.Windows:Alles";
    QTest::newRow("class method") << 5 << 6022
                                  << "Klassenmethode existiert nicht: VT.Windows.Zaubern";
}

void TestServerObjects::unknownNamesAreErrorsNotCrashes() {
    QFETCH(int, kind);
    m_fx->engine().defineClass("Test.Obj", "test_obj", {"Name"}).writes.create = true;
    m_fx->connection().ensure();
    try {
        ServerClient& f = m_fx->connection().client();
        switch (kind) {
        case 0:
            f.newObject("VT.Nichts");
            break;
        case 1:
            f.openObject("Test.Obj", "42");
            break;
        case 2:
            f.newObject("VT.Windows").call("Fliegen");
            break;
        case 3:
            f.newObject("Test.Obj").get("Farbe");
            break;
        case 4: {
            ResultSet rs = f.resultSet("VT.Windows", "Alles");
            rs.execute();
            break;
        }
        case 5:
            f.classHandle("VT.Windows").call("Zaubern");
            break;
        }
        QFAIL("no error");
    } catch (const ServerError& e) {
        QTEST(e.number(), "number");
        QTEST(e.description(), "text");
    }
    // The connection goes on serving.
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W 1+1", failed), QString("2"));
}

void TestServerObjects::handlesOfAnEndedConnectionFailInsteadOfCrashing() {
    ClassDef& cls = m_fx->engine().defineClass("Test.Zahlen");
    cls.queries.insert("Liste", [](CallContext&, const QStringList&) {
        QList<QStringList> rows;
        for (int i = 1; i <= 50; ++i)
            rows << QStringList{QString::number(i)};
        return std::make_unique<ListCursor>(1, rows);
    });
    ResultSet rs;
    ServerObject windows;
    ClassHandle handle;
    int read = 0;
    QVERIFY(m_fx->connection().call("test.Lesen Zahlen", [&] {
        rs = m_fx->connection().client().resultSet("Test.Zahlen", "Liste");
        rs.setBatchSize(10);
        rs.execute();
        while (read < 10 && rs.next())
            ++read;
        windows = m_fx->connection().client().newObject("VT.Windows");
        handle = m_fx->connection().client().classHandle("quendrap.downloads");
    }));
    QCOMPARE(read, 10);
    // The connection goes and a new one is made: the old client is freed.
    m_fx->client()->breakConnection();
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W 1", failed), QString("1"));
    QCOMPARE(m_fx->connects(), 2);
    QVERIFY(!rs.isUsable());
    QVERIFY(!windows.isUsable());

    // The next batch belongs to the old connection: an error report, no crash.
    const bool ok = m_fx->connection().call("test.Lesen Zahlen weiter", [&] {
        while (rs.next())
            ++read;
    });
    QVERIFY(!ok);
    QCOMPARE(read, 10);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: test.Lesen Zahlen weiter.\r\n\r\nFehler: 460\r\n"
                     "Keine Verbindung zum Server\r\n\r\n"));
    try {
        windows.call("Xecute", QStringList{"W 2"});
        QFAIL("an object of the old connection answered");
    } catch (const ServerError& e) {
        QCOMPARE(e.number(), ClientErrors::NotConnected);
        QCOMPARE(e.description(), QString("Keine Verbindung zum Server"));
    }
    QVERIFY_THROWS_EXCEPTION(ServerError, handle.call("lname", QStringList{"1", "70001"}));
    // Closing and destroying them later touch nothing of the freed client.
    rs.close();
    CloseObject(windows);
    QVERIFY(windows.isNull());
    // The new connection serves on.
    QCOMPARE(dbcall(m_fx->connection(), "W 3", failed), QString("3"));
}

void TestServerObjects::objectsCloseThemselves() {
    // The job refuses to hold more than 10,000 open objects: objects that
    // go out of scope, also on an error path, must have been closed.
    m_fx->connection().ensure();
    for (int i = 0; i < 10050; ++i) {
        try {
            ServerObject o = m_fx->connection().client().newObject("VT.Windows");
            if (i % 1000 == 0)
                o.call("Xecute", QStringList{"W \"x"}); // fails: <SYNTAX>
        } catch (const ServerError& e) {
            QCOMPARE(e.number(), 5002);
        }
    }
    ServerObject last = m_fx->connection().client().newObject("VT.Windows");
    QCOMPARE(last.call("Xecute", QStringList{"W 7"}), QString("7"));
}

QTEST_GUILESS_MAIN(TestServerObjects)
#include "test_serverobjects.moc"
