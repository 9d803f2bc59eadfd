// The demo data file as the stand-in reads it: a small file of each kind of
// step fills a database, and a broken file is refused with a message that
// names the fault, storing nothing.
#include "DemoData.h"
#include "StandinEngine.h"
#include "classes/StandinClasses.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

namespace {

// A file of one company (meta key "t") with the given steps.
QByteArray onePart(const QByteArray& steps) {
    return R"({"format": "veltar-standin demo data 1", "companies": [{"meta": "t", "steps": [)" +
           steps + "]}]}";
}

const QByteArray kLocation =
    R"({"class": "VT.Standort", "defaults": {"FIRMA": "9"}, "columns": ["CODE", "Text"],
        "rows": [["01", "Süd"]]})";

} // namespace

class TestStandinDemoData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void stepsFillTheDatabase();
    void heldCompanyIsLeftAlone();
    void brokenFileIsRefused_data();
    void brokenFileIsRefused();
    void missingFileEndsTheServer();

private:
    QString write(const QByteArray& content);
    QString sql(const QString& statement) { return m_engine->textValue(statement, {}); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinEngine> m_engine;
};

void TestStandinDemoData::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_engine = std::make_unique<StandinEngine>(m_dir->filePath("demo.db"));
    RegisterErpClasses(*m_engine);
}

void TestStandinDemoData::cleanup() {
    m_engine.reset();
    m_dir.reset();
}

QString TestStandinDemoData::write(const QByteArray& content) {
    const QString path = m_dir->filePath("demo.json");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
    return path;
}

void TestStandinDemoData::stepsFillTheDatabase() {
    const QString file = write(onePart(kLocation + R"(,
        {"global": "FA", "subscripts": ["0"], "value": "20270101`2027`20271231"},
        {"class": "VT.Lieferant", "erpTexts": ["NAME"], "defaults": {"FIRMA": "9"},
         "columns": ["LNR", "NAME"], "rows": [["90001", "Müller"]]},
        {"download": "only", "values": {"Firma": "9", "Datum": "2026-12-15", "PCODE": "X",
         "LNR": "90001", "Status": "0"}, "priceDate": "01.01.2027",
         "positions": [["H", "", "N-1", "Kies", "T", "24,50", "RG01"]]},
        {"discountGroup": "RG01", "download": "only", "erpGroup": "RG09", "description": "Grün",
         "date": "01.01.2027", "rates": ["12.5"]},
        {"webData": "H", "name": "Hersteller", "lines": [["H", "4000", "N-1", "Kies", "T",
         "1,00", "01.01.2027", "0", "", "RG01"]]})"));
    FillDemoData(*m_engine, file);
    // Texts of "erpTexts" in the ERP's 7-bit form, the others as written.
    QCOMPARE(sql("SELECT Text FROM vt_standort WHERE id='9||01'"), QString("Süd"));
    QCOMPARE(sql("SELECT NAME FROM vt_lieferant WHERE id='9||90001'"), QString("M}ller"));
    QCOMPARE(m_engine->getGlobal("FA", {"0"}).value_or(QString()),
             QString("20270101`2027`20271231"));
    QCOMPARE(sql("SELECT Bezeichnung||'|'||ekdat||'|'||DLID FROM quendrap_pos"),
             QString("Kies|01.01.2027|1"));
    QCOMPARE(sql("SELECT ERPGR||'|'||BEZ||'|'||Rabatt1 FROM quendrap_ekgrp"),
             QString("RG09|Gr}n|12.5"));
    QCOMPARE(sql("SELECT SEQ||'|'||LINE FROM quendrap_web"),
             "1|" + DemoArticleLine("H", "4000", "N-1", "Kies", "T", "1,00", "01.01.2027", "0",
                                    QString(), "RG01"));
    QCOMPARE(m_engine->meta("t"), QString("1"));
}

void TestStandinDemoData::heldCompanyIsLeftAlone() {
    const QString file = write(onePart(kLocation));
    FillDemoData(*m_engine, file);
    m_engine->execText("UPDATE vt_standort SET Text='changed'", {});
    FillDemoData(*m_engine, file);
    QCOMPARE(sql("SELECT count(*)||'|'||Text FROM vt_standort"), QString("1|changed"));
}

void TestStandinDemoData::brokenFileIsRefused_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("fault");
    QTest::newRow("no JSON") << QByteArray("{\"format\": ")
                             << "not valid JSON: unterminated object at offset 11";
    QTest::newRow("other format")
        << QByteArray(R"({"format": "csv"})")
        << R"(not a demo data file ("format": "veltar-standin demo data 1" expected))";
    QTest::newRow("no meta")
        << QByteArray(R"({"format": "veltar-standin demo data 1", "companies": [{}]})")
        << R"(company 1: "meta" is no text)";
    QTest::newRow("unknown step")
        << onePart(R"({"table": "x"})")
        << R"(company 1, step 1: no "class", "global", "discountGroup", "download" or "webData")";
    QTest::newRow("unknown class")
        << onePart(R"({"class": "VT.Nichts", "columns": [], "rows": []})")
        << "company 1, step 1: no stored class VT.Nichts";
    QTest::newRow("unknown property")
        << onePart(R"({"class": "VT.Standort", "columns": ["CODE", "Ort"], "rows": []})")
        << "company 1, step 1: no property VT.Standort.Ort";
    QTest::newRow("short row")
        << onePart(kLocation + R"(, {"class": "VT.Device", "columns": ["Name", "Standort"],
                   "rows": [["pc", "01"], ["pc2"]]})")
        << "company 1, step 2: row 2 has 1 value(s) for 2 columns";
    QTest::newRow("number for a text")
        << onePart(R"({"class": "VT.Device", "columns": ["Name"], "rows": [[1]]})")
        << "company 1, step 1: row 1 item is no text";
    QTest::newRow("group of no download")
        << onePart(kLocation + R"(, {"discountGroup": "RG01", "download": "first",
                   "erpGroup": "RG01", "description": "", "date": "", "rates": []})")
        << "company 1, step 2: no download first before";
    const QByteArray columns =
        R"("columns": ["herst", "ean", "bestnr", "text", "unit", "price", "group"])";
    QTest::newRow("short position")
        << onePart(R"({"download": "d", "values": {"Firma": "9"}, "priceDate": "01.01.2027", )" +
                   columns + R"(, "positions": [["H", "", "N-1"]]})")
        << "company 1, step 1: position 1 has 3 value(s) for 7";
    QTest::newRow("positions in another order")
        << onePart(R"({"download": "d", "values": {"Firma": "9"}, "priceDate": "01.01.2027",
                   "columns": ["ean", "herst"], "positions": []})")
        << R"(company 1, step 1: "columns" must be herst, ean, bestnr, text, unit, price, group)";
    QTest::newRow("steps that are no list")
        << QByteArray(R"({"format": "veltar-standin demo data 1", "companies": [{"meta": "t",
                      "steps": {"class": "VT.Standort"}}]})")
        << R"(company 1: "steps" is no list)";
    QTest::newRow("rows that are no list")
        << onePart(R"({"class": "VT.Device", "columns": ["Name"], "rows": "pc"})")
        << R"(company 1, step 1: "rows" is no list)";
    QTest::newRow("group the download lacks")
        << onePart(R"({"download": "d", "values": {"Firma": "9"}, "priceDate": "01.01.2027", )" +
                   columns + R"(, "positions": []}, {"discountGroup": "RG99", "download": "d",
                   "erpGroup": "RG01", "description": "", "date": "", "rates": []})")
        << "company 1, step 2: no discount group RG99 in download d";
}

void TestStandinDemoData::brokenFileIsRefused() {
    QFETCH(QByteArray, content);
    QFETCH(QString, fault);
    const QString file = write(content);
    try {
        FillDemoData(*m_engine, file);
        QFAIL("the file was taken");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "demo data " + file + ": " + fault);
    }
    // Nothing of a refused file is stored, not even what came before the
    // fault.
    QCOMPARE(sql("SELECT count(*) FROM vt_standort"), QString("0"));
    QCOMPARE(sql("SELECT count(*) FROM quendrap_downloads"), QString("0"));
    QCOMPARE(m_engine->meta("t"), QString());
}

void TestStandinDemoData::missingFileEndsTheServer() {
    m_engine.reset();
    const QString missing = m_dir->filePath("missing.json");
    QProcess p;
    p.start(VELTAR_STANDIN, {"--db", m_dir->filePath("server.db"), "--port", "0", "--no-tls",
                             "--demo", "--demo-data", missing});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
             "veltar-standin: demo data " + missing +
                 ": cannot be read: No such file or directory\n");
    QCOMPARE(p.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestStandinDemoData)
#include "test_standin_demodata.moc"
