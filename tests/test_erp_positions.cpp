#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "ErpCalls.h"
#include "ScriptedUserInterface.h"
#include "ServerAnswers.h"
#include "StandinEngine.h"
#include "base/SessionContext.h"
#include "classes/ErpPositions.h"
#include "classes/StandinClasses.h"
#include "common/TextHelpers.h"
#include "common/erp/Positions.h"
#include "server/Connection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

// The position properties the grid writes and the query column each one
// comes back in: every column of "pos" that shows a grid property, but the
// margin, which the server works out when a position is saved.
QList<std::pair<QString, int>> writtenProperties() {
    QList<std::pair<QString, int>> out;
    const QStringList grid = erp::ToStringList(erp::Pos::kGridProperties);
    for (const erp::PosQuery::ColumnName& c : erp::PosQuery::kNames)
        if (c.column != erp::PosQuery::Spanne && grid.contains(c.name))
            out.append({c.name, c.column});
    return out;
}

} // namespace

// What the positions window and the import write on the stand-in's staging
// positions: the article assignment, grid fields written back, savezeile's
// lines, a big download and a database of an earlier version. In-process
// against the demo company.
class TestErpPositions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void assignment_data();
    void assignment();
    void removedAssignmentRefillsFromSupplierLine();
    void propertiesWrittenBack();
    void unknownPropertyIsRefused();
    void savezeileFillsFromErpAndDefaults();
    void savezeileRefusals_data();
    void savezeileRefusals();
    void bigDownload();
    void olderDatabaseGetsNewColumns();

private:
    ServerClient& client() { return m_fx->connection().client(); }

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestErpPositions::init() {
    StartDemoClient(m_fx, m_ui);
    m_fx->connection().ensure();
}

void TestErpPositions::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

void TestErpPositions::assignment_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("supplier");
    QTest::addColumn<QString>("result");
    QTest::newRow("candidate of the supplier") << "1"
                                               << "5"
                                               << "200011"
                                               << "70002"
                                               << "1";
    QTest::newRow("other article of the supplier") << "1"
                                                   << "2"
                                                   << "100300"
                                                   << "70001"
                                                   << "1";
    QTest::newRow("inactive article") << "1"
                                      << "2"
                                      << "100900"
                                      << "70001"
                                      << "0";
    QTest::newRow("unknown article") << "1"
                                     << "2"
                                     << "123456"
                                     << "70001"
                                     << "0";
    QTest::newRow("article of another supplier") << "1"
                                                 << "2"
                                                 << "200010"
                                                 << "70001"
                                                 << "0";
    QTest::newRow("supplier not the download's") << "1"
                                                 << "2"
                                                 << "200010"
                                                 << "70002"
                                                 << "0";
    QTest::newRow("pallet article") << "1"
                                    << "2"
                                    << "900001"
                                    << "70001"
                                    << "0";
    QTest::newRow("unknown position") << "1"
                                      << "999"
                                      << "100300"
                                      << "70001"
                                      << "0";
    QTest::newRow("position of another company") << "1"
                                                 << "10"
                                                 << "800100"
                                                 << "80001"
                                                 << "0";
}

void TestErpPositions::assignment() {
    QFETCH(QString, company);
    QFETCH(QString, position);
    QFETCH(QString, article);
    QFETCH(QString, supplier);
    QFETCH(QString, result);
    const QString dlid =
        m_fx->engine().textValue("SELECT DLID FROM quendrap_pos WHERE id=?", {position});
    const QList<QStringList> before = PosQueryRows(client(), position, dlid);
    QStringList args{company, position, article, supplier, "100101"};
    QCOMPARE(PosClassCall(client(), "anrzuord", args), result);
    // Arguments come back unchanged.
    QCOMPARE(args, (QStringList{company, position, article, supplier, "100101"}));
    const QList<QStringList> after = PosQueryRows(client(), position, dlid);
    if (result == "0") {
        QCOMPARE(after, before);
        return;
    }
    QCOMPARE(after.size(), 1);
    QCOMPARE(after[0][7], article);
    QCOMPARE(after[0][53], QString("1"));
    // The grid fields come from the new article.
    const QString bez = m_fx->engine().textValue(
        "SELECT BEZ FROM vt_artikel WHERE FIRMA='1' AND ARTNR=?", {article});
    QCOMPARE(after[0][8], ConvertText(bez, "VELTAR", false));
    QCOMPARE(after[0][27],
             m_fx->engine().textValue("SELECT BESTNR FROM vt_artikel WHERE FIRMA='1' AND ARTNR=?",
                                      {article}));
    // The supplier's own line stays as it was.
    QCOMPARE(after[0].mid(0, 7), before[0].mid(0, 7));
}

void TestErpPositions::removedAssignmentRefillsFromSupplierLine() {
    QCOMPARE(PosQueryCell(client(), m_fx->engine(), "1", 8), QString("100100"));
    QCOMPARE(PosClassCall(client(), "anrzuord", {"1", "1", "", "70001", "100100"}), QString("1"));
    const QList<QStringList> rows = PosQueryRows(client(), "1", "1");
    QCOMPARE(rows.size(), 1);
    const QStringList& r = rows[0];
    QCOMPARE(r[7], QString());
    QCOMPARE(r[53], QString("0"));
    QCOMPARE(r[13], QString()); // no deviation without an article
    QCOMPARE(r[8], QString("Dübel 8x40 Nylon"));
    QCOMPARE(r[9], QString());
    QCOMPARE(r[15], QString("1200")); // the supplier's default goods group
    QCOMPARE(r[17], QString("Pak"));  // the line's unit as ERP unit
    QCOMPARE(r[39], QString("N"));
    QCOMPARE(r[48], QString("1.4")); // markup 40 %
    // 4.95 * 1.4 = 6.93, rounded to 0.05
    QCOMPARE(r[49], QString("6.95"));
    QCOMPARE(
        ExpressionRows(client(), PosClassCall(client(), "getposvt", {"1", "70001", "1"})).value(0),
        QString("M-1001\n100100\nDübel 8x40 Nylon\n\nJ"));
}

void TestErpPositions::propertiesWrittenBack() {
    {
        ServerObject o = client().openObject("quendrap.pos", "7");
        for (const auto& [property, c] : writtenProperties())
            o.set(property, property + "-" + QString::number(c));
        o.set("Bez1", "T}rschwelle gro~");
        o.set("prdiff", "12.5");
        o.save();
        o.close();
    }
    const QList<QStringList> rows = PosQueryRows(client(), "7", "3");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(writtenProperties().size(), 41);
    for (const auto& [property, c] : writtenProperties()) {
        if (property == "Bez1")
            continue;
        QCOMPARE(rows[0][c - 1], property + "-" + QString::number(c));
    }
    // Texts kept in the ERP's 7-bit form come back readable.
    QCOMPARE(rows[0][8], QString("Türschwelle groß"));
    // The deviation is worked out, not the stored one (no article here).
    QCOMPARE(rows[0][13], QString());
    ServerObject again = client().openObject("quendrap.pos", "7");
    QCOMPARE(again.get("prdiff"), QString("12.5"));
    QCOMPARE(again.get("ARTNR"), QString());
    QCOMPARE(again.get("Bezeichnung"), QString("Türschwelle Edelstahl"));
}

void TestErpPositions::unknownPropertyIsRefused() {
    ServerObject o = client().openObject("quendrap.pos", "7");
    bool refused = false;
    try {
        o.set("Bez4", "x");
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.description(), QString("Eigenschaft existiert nicht: quendrap.pos.Bez4"));
    }
    QVERIFY(refused);
    refused = false;
    try {
        client().openObject("quendrap.pos", "4711");
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.description(), QString("Objekt nicht gefunden: quendrap.pos 4711"));
    }
    QVERIFY(refused);
}

void TestErpPositions::savezeileFillsFromErpAndDefaults() {
    ServerObject d = client().newObject("quendrap.downloads");
    d.set("Firma", "1");
    d.set("Datum", "2027-03-15");
    d.set("PCODE", "DEM");
    d.set("LNR", "70001");
    d.set("Status", "0");
    d.save();
    const QString dlid = d.id();
    d.close();
    // An article found by EAN, with two ERP conditions before the price's
    // date, and an unknown one.
    const QString known = PosClassCall(client(), "savezeile",
                                       {dlid, "",
                                        "MUE|4006209000044|X-1|Estrich neu|SCK|SCK|"
                                        "SCK|1|1|01.04.2027|1.045,00|100|RG09|Estrich",
                                        "N", ""});
    const QString unknown =
        PosClassCall(client(), "savezeile",
                     {dlid, "",
                      "MUE||X-2|Winkelverbinder 90 x 90 x 65 mm feuerverzinkt mit "
                      "Sicke|STK|PAK|STK|50|1|01.04.2027|12,40|1|RG09|Holzbau",
                      "N", ""});
    const QList<QStringList> rows = PosQueryRows(client(), dlid, "");
    QCOMPARE(rows.size(), 2);
    const QStringList& a = rows[0];
    QCOMPARE(a[0], known);
    QCOMPARE(a[4], QString("1045"));
    QCOMPARE(a[7], QString("100300"));
    QCOMPARE(a[11], QString("100")); // EPM: the supplier's price quantity
    // 10.45 per unit against 9.50 before: +10 %
    QCOMPARE(a[13], QString("10"));
    QCOMPARE(a[39], QString("%"));
    QCOMPARE(a[40], QString("10"));
    QCOMPARE(a[44], QString("940.5"));
    const QStringList& b = rows[1];
    QCOMPARE(b[0], unknown);
    QCOMPARE(b[7], QString());
    QCOMPARE(b[8], QString("Winkelverbinder 90 x 90 x 65"));
    QCOMPARE(b[9], QString("mm feuerverzinkt mit Sicke"));
    QCOMPARE(b[10], QString());
    QCOMPARE(b[17], QString("St"));
    QCOMPARE(b[18], QString("Pak"));
    QCOMPARE(b[19], QString("50"));
    QCOMPARE(b[15], QString("1200"));
    QCOMPARE(b[16], QString("12"));
    QCOMPARE(b[23], QString("19"));
    QCOMPARE(b[48], QString("1.4"));
    QCOMPARE(b[49], QString("17.35")); // 12.40 * 1.4 = 17.36, to 0.05
    QCOMPARE(b[50], QString("20.65"));
    QCOMPARE(m_fx->engine().textValue("SELECT count(*) FROM quendrap_ekgrp WHERE DLID=?", {dlid}),
             QString("1"));
}

void TestErpPositions::savezeileRefusals_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("13 fields") << "MUE|1|2|x|STK|STK|STK|1|1|01.04.2027|1|1|RG"
                               << "Positionszeile mit 13 statt 14 Feldern";
    QTest::newRow("description too long")
        << "MUE|1|2|" + QString(251, 'x') + "|STK|STK|STK|1|1|01.04.2027|1|1|RG|K"
        << "Bezeichnung länger als 250 Zeichen";
}

void TestErpPositions::savezeileRefusals() {
    QFETCH(QString, line);
    QFETCH(QString, message);
    const QString before = m_fx->engine().textValue("SELECT count(*) FROM quendrap_pos", {});
    bool refused = false;
    try {
        PosClassCall(client(), "savezeile", {"1", "", line, "N", ""});
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.description(), message);
    }
    QVERIFY(refused);
    QCOMPARE(m_fx->engine().textValue("SELECT count(*) FROM quendrap_pos", {}), before);
}

void TestErpPositions::bigDownload() {
    const QString key = FillDemoPositions(m_fx->engine(), 300);
    QCOMPARE(key, QString("5"));
    const QList<QStringList> rows = PosQueryRows(client(), key, "");
    QCOMPARE(rows.size(), 300);
    int assigned = 0, purchaseOfDate = 0, salesOfDate = 0;
    for (int i = 0; i < rows.size(); ++i) {
        if (i > 0)
            QVERIFY(rows[i][0].toInt() > rows[i - 1][0].toInt());
        if (rows[i][7].isEmpty())
            continue;
        ++assigned;
        QVERIFY(!rows[i][13].isEmpty());
        if (PosClassCall(client(), "getekdat1",
                         {"1", "70001", rows[i][7], rows[i][37], rows[i][38]})
                .startsWith("J|"))
            ++purchaseOfDate;
        if (PosClassCall(client(), "getvkdat1", {"1", rows[i][7], rows[i][47]}).startsWith("J|"))
            ++salesOfDate;
    }
    QCOMPARE(assigned, 100);
    QCOMPARE(purchaseOfDate, 50);
    QCOMPARE(salesOfDate, 25);
    // The demo downloads are left as they were.
    QCOMPARE(PosQueryRows(client(), "1", "").size(), 3);
}

void TestErpPositions::olderDatabaseGetsNewColumns() {
    const QString path = m_fx->path("alt.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(
            q.exec("CREATE TABLE quendrap_pos(id TEXT PRIMARY KEY, DLID TEXT NOT NULL DEFAULT "
                   "'', Bezeichnung TEXT NOT NULL DEFAULT '', EKDAT TEXT NOT NULL DEFAULT '')"));
        QVERIFY(q.exec("INSERT INTO quendrap_pos(id, DLID, Bezeichnung, EKDAT) VALUES('alt1', "
                       "'9', 'alt', 'N')"));
        QVERIFY(q.exec("CREATE TABLE vt_artikel(id TEXT PRIMARY KEY, FIRMA TEXT NOT NULL DEFAULT "
                       "'', ARTNR TEXT NOT NULL DEFAULT '')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("older");
    StandinEngine engine(path);
    RegisterErpClasses(engine);
    FillDemoData(engine);
    QCOMPARE(engine.textValue("SELECT Bezeichnung||'/'||ekdat||'/'||Bez1 FROM quendrap_pos WHERE "
                              "id='alt1'",
                              {}),
             QString("alt/N/"));
    QCOMPARE(engine.textValue("SELECT count(*) FROM quendrap_pos WHERE ARTNR<>'' AND DLID IN "
                              "(SELECT id FROM quendrap_downloads WHERE Firma='1')",
                              {}),
             QString("5"));
    QCOMPARE(engine.textValue("SELECT Bez1 FROM quendrap_pos WHERE ARTNR='100100'", {}),
             QString("Dübel 8x40 Nylon"));
}

QTEST_GUILESS_MAIN(TestErpPositions)
#include "test_erp_positions.moc"
