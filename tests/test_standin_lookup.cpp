#include "ClientTestFixture.h"
#include "ServerAnswers.h"
#include "StandinEngine.h"
#include "server/Connection.h"
#include "server/MCommands.h"

#include <QTest>
#include <functional>

namespace {

const QChar kRecordEnd(0xFF);

// The sample EAN match file of the demo company (standin/README.md):
// article, description, unit, price, supplier, order number, EAN.
const QStringList kMatchFile{
    "Artikelnr\\Bezeichnung\\Einheit\\EK-Preis\\Lieferant\\Bestellnr\\EAN",
    "300300\\Fußleiste Eiche 2,4 m\\St\\8,20\\70003\\F-300\\4020000000011",
    "300310\\Türschwelle Edelstahl 90 cm\\St\\19,90\\70003\\F-301-90\\4020000000028",
    "300320\\Fliesenkleber flex 25 kg\\Sack\\11,30\\70003\\F-310\\4020000000035"};

QStringList fields(const QString& text) {
    return text.split('|');
}

} // namespace

// The search dialogs' calls (article search and lists of ^VTCLSU, partner
// searches, customer and account groups) and the EAN match on positions,
// on the demo company through an in-process connection.
class TestStandinLookup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void articlePages();
    void calls_data();
    void calls();
    void matchFile();
    void eanOnlyForPositionsWithoutArticle();

private:
    QString m(const QString& line);
    QString search(const QStringList& criteria);
    QString call(const QString& method, const QStringList& args);
    QStringList rows(const QString& cls, const QString& query, const QStringList& args);
    QString sql(const QString& statement) { return m_fx->engine().textValue(statement, {}); }
    QMap<QString, QString> records(const QString& table) {
        return tableRecords(m_fx->engine().db(), table);
    }

    std::unique_ptr<ClientTestFixture> m_fx;
};

void TestStandinLookup::init() {
    m_fx = std::make_unique<ClientTestFixture>();
    m_fx->demoSession();
    m_fx->connection().ensure();
}

void TestStandinLookup::cleanup() {
    m_fx.reset();
}

// What an M line writes.
QString TestStandinLookup::m(const QString& line) {
    return outcome(
        [&] { return m_fx->connection().client().newObject("VT.Windows").call("Xecute", {line}); });
}

// The article numbers of every page of a search (its texts quoted as the
// client quotes them), each page followed by "|".
QString TestStandinLookup::search(const QStringList& criteria) {
    QStringList args;
    for (const QString& c : criteria)
        args << MString(c);
    QStringList hits;
    QString page = m("D GETARF^VTCLSU(" + args.join(',') + ")");
    for (int pages = 0; !page.isEmpty() && pages < 10; ++pages) {
        for (const QString& record : page.split(kRecordEnd))
            hits << record.section('`', 0, 0);
        hits << "|";
        page = m("D GETARN^VTCLSU");
    }
    return hits.join(' ');
}

// A class method of quendrap.pos; its arguments come back unchanged.
QString TestStandinLookup::call(const QString& method, const QStringList& args) {
    return outcome([&] {
        return classMethodAnswer(m_fx->connection().client(), "quendrap.pos", method, args);
    });
}

// The rows of a query, their cells joined by "|".
QStringList TestStandinLookup::rows(const QString& cls, const QString& query,
                                    const QStringList& args) {
    QStringList out;
    for (const QStringList& row : queryRows(m_fx->connection().client(), cls, query, args))
        out << row.join('|');
    return out;
}

// Pages of four records in article order until one is shorter; the job
// keeps one search, which a new GETARF replaces.
void TestStandinLookup::articlePages() {
    const QString all = "D GETARF^VTCLSU(\"\",\"\",\"\",\"\",\"\",\"\",\"\")";
    QCOMPARE(m("D GETARN^VTCLSU"), QString());
    QCOMPARE(m(all),
             QStringList({"100100`Dübel 8x40 Nylon`70001", "100101`Schraube 5x60 verzinkt`70001",
                          "100200`Mörtel 25 kg`70001", "100300`Fließestrich 40 kg`70001"})
                 .join(kRecordEnd));
    QCOMPARE(m("D GETARN^VTCLSU").section(kRecordEnd, 0, 0),
             QString("100900`Dübel 6x30 Nylon`70001"));
    QCOMPARE(search(fields("||||||")),
             QString("100100 100101 100200 100300 | 100900 200010 200011 200020 | 300300 300310 "
                     "300320 300330 | 900001 900002 |"));
    QCOMPARE(m("D GETARN^VTCLSU"), QString());
    QCOMPARE(search(fields("|||70001||J|")), QString("100100 100101 100200 100300 |"));
    m(all);
    QCOMPARE(m("D GETARF^VTCLSU(\"\",\"\",\"\",\"70002\",\"\",\"\",\"\")").count(kRecordEnd), 2);
    QCOMPARE(m("D GETARN^VTCLSU"), QString());
    QCOMPARE(m("D GETARF^VTCLSU(" + MString("1/2\" dicht") + ",\"\",\"\",\"\",\"\",\"\",\"\")"),
             QString("300330`Rohrmanschette 1/2\" Dichtband`70003"));
}

void TestStandinLookup::calls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("args"); // joined by "|"
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("setup");
    const auto row = [](const char* name, const char* kind, const char* args,
                        const QString& expected, const char* setup = "") {
        QTest::newRow(name) << QString(kind) << QString(args) << expected << QString(setup);
    };
    // GETARF(text, main group, goods group, supplier, department, active,
    // released): the article numbers of each page.
    const char* search = "GETARF";
    row("article number begins with the text", search, "1001||||||", "100100 100101 |");
    row("order number equals", search, "F-301-90||||||", "300310 |");
    row("EAN equals", search, "4020000000011||||||", "300300 |");
    row("part of an EAN", search, "402000000001||||||", "");
    row("description with umlaut, any case", search, "dÄMM||||||", "200010 200011 |");
    row("sharp s spelled out", search, "fließ||||||", "100300 |");
    row("blanks around the text", search, " mörtel ||||||", "100200 |");
    row("double quote", search, "1/2\" DICHT||||||", "300330 |");
    row("M in the text stays text", search, "\") K ^X W (\"||||||", "");
    row("M that sets in the text", search, "\") S ^X=2 W (\"||||||", "");
    row("main group", search, "|1300|||||", "200010 200011 200020 |");
    row("goods group", search, "||1310||||", "200020 |");
    row("main group and goods group", search, "|1400|1410||||", "300320 |");
    row("supplier", search, "|||70002|||", "200010 200011 200020 |");
    row("department", search, "||||19||", "900001 900002 |");
    row("inactive", search, "|||||N|", "100900 |");
    row("empty AKTIV is active", search, "|||||N|", "100900 |",
        "UPDATE vt_artikel SET AKTIV='' WHERE ARTNR='100100'");
    row("released", search, "|||70003|||J", "300300 300310 300320 |");
    row("not released", search, "||||||N", "300330 |");
    row("other values do not restrict", search, "|||70003||X|?", "300300 300310 300320 300330 |");
    row("numbers by value, then the others", search, "|||70009|||", "95 1000 A7 |",
        "INSERT INTO vt_artikel(id, FIRMA, ARTNR, LNR) VALUES('1||A7','1','A7','70009'),"
        "('1||1000','1','1000','70009'),('1||95','1','95','70009')");
    row("only the login's company", search, "777||||||", "",
        "INSERT INTO vt_artikel(id, FIRMA, ARTNR) VALUES('2||777777','2','777777')");

    // The lists of the search dialog's combo boxes; the arguments of each
    // routine.
    const QString groups = "1100 Mörtel und Putze`1200 Dübel und Schrauben`1300 Dämmplatten`"
                           "1310 Folien und Bahnen`1400 Fliesenzubehör`1410 Fliesenkleber`"
                           "1500 Fachliteratur`1900 Paletten und Leergut`";
    row("main groups", "M", "D HGRP^VTCLSU",
        "1100 Mörtel und Putze`1200 Dübel und Schrauben`1300 Dämmplatten`"
        "1400 Fliesenzubehör`1500 Fachliteratur`1900 Paletten und Leergut`");
    row("groups of a main group", "M", "D UGRP^VTCLSU(1300)",
        "1300 Dämmplatten`1310 Folien und Bahnen`");
    row("all groups", "M", "D UGRP^VTCLSU", groups);
    row("all groups for an empty main group", "M", "D UGRP^VTCLSU(\"\")", groups);
    row("departments", "M", "D ABTNR^VTCLSU",
        "11 Baustoffe`12 Eisenwaren`13 Dämmstoffe`14 Fliesen und Zubehör`19 Leergut`");
    row("search with six arguments", "M", "D GETARF^VTCLSU(1,2,3,4,5,6)",
        "5002 <PARAMETER> GETARF^VTCLSU");
    row("search with eight arguments", "M", "D GETARF^VTCLSU(1,2,3,4,5,6,7,8)",
        "5002 <PARAMETER> GETARF^VTCLSU");
    row("next page with an argument", "M", "D GETARN^VTCLSU(1)", "5002 <PARAMETER> GETARN^VTCLSU");
    row("groups with two arguments", "M", "D UGRP^VTCLSU(1,2)", "5002 <PARAMETER> UGRP^VTCLSU");
    row("main groups with an argument", "M", "D HGRP^VTCLSU(1)", "5002 <PARAMETER> HGRP^VTCLSU");
    row("departments with an argument", "M", "D ABTNR^VTCLSU(1)", "5002 <PARAMETER> ABTNR^VTCLSU");

    // KkrSuche(company, kind, name part, group, post code): the numbers of
    // the hits, or the rows (names and places 7-bit).
    const char* numbers = "VT.Windows KkrSuche numbers";
    row("customer name", numbers, "1|K|müller||", "10009");
    row("customer name with umlaut", numbers, "1|K|Ö||", "10001 10002 10005 10006 10007");
    row("customer group", numbers, "1|K||20|", "10005 10006 10007 10008");
    row("post code begins", numbers, "1|K|||507", "10003 10006");
    row("name, group and post code", numbers, "1|K|bau|10|5", "10001 10002 10003");
    row("customers of another company", numbers, "2|K|||",
        "5014 Keine Berechtigung: Firma 2 ist nicht die Firma der Anmeldung");
    row("suppliers of an account group", numbers, "1|L||1", "70001 70002 70003 70004");
    row("supplier name", numbers, "1|L|strasse|", "70004");
    row("no supplier of account group 2", numbers, "1|L||2", "");
    row("customer row", "VT.Windows KkrSuche", "1|K|Özdemir||",
        "10006|FLIESENLEG|Fliesenleger \\zdemir|50733|K|ln");
    row("supplier row with post code", "VT.Windows KkrSuche", "1|L|dämm|1",
        "70002|SCHROEDER |Schr|der D{mmtechnik KG|40231|D}sseldorf");

    // Code lists: code, text by code.
    row("customer groups", "VT.ParKundenGruppen Liste", "1",
        "10|Gewerbliche Kunden Bau, 20|Handwerk, 30|Privatkunden, 40|Wiederverkäufer");
    row("supplier account groups", "VT.KontoSammelKontoKreis Liste", "1|L",
        "1|Lieferanten Inland, 2|Lieferanten Ausland, 9|Sonstige");
    row("customer account groups", "VT.KontoSammelKontoKreis Liste", "1|K",
        "1|Kunden Inland, 2|Kunden Ausland, 5|Barverkauf");
    row("account groups of another company", "VT.KontoSammelKontoKreis Liste", "2|L",
        "5014 Keine Berechtigung: Firma 2 ist nicht die Firma der Anmeldung");
    row("the partners' account groups are listed", "SQL",
        "SELECT count(*) FROM (SELECT 'L' a, KTOKREIS c FROM vt_lieferant UNION ALL SELECT 'K', "
        "KTOKREIS FROM vt_kunde) WHERE NOT EXISTS (SELECT 1 FROM vt_kontosammelkontokreis WHERE "
        "FIRMA='1' AND ART=a AND CODE=c)",
        "0");

    // geteanbez(download, EAN).
    row("description of the EAN", "geteanbez", "3|4020000000028", "Türschwelle Edelstahl");
    row("EAN of another download", "geteanbez", "1|4020000000028", "");
    row("EAN in an unknown download", "geteanbez", "99|4020000000028", "");
    row("empty EAN", "geteanbez", "3|", "", "UPDATE quendrap_pos SET EAN='' WHERE id='9'");
    row("lowest id first", "geteanbez", "3|4020000000042", "Fugenmörtel grau 5 kg",
        "INSERT INTO quendrap_pos(id, DLID, EAN, Bezeichnung) VALUES('100', '3', "
        "'4020000000042', 'Zweite Zeile')");

    // SetEan(company, supplier, article, EAN, download) refused.
    row("article of another supplier", "SetEan", "1|70003|100100|4020000000028|3",
        "5809 Artikel 100100 nicht bei Lieferant 70003");
    row("unknown article", "SetEan", "1|70003|399999|4020000000028|3",
        "5809 Artikel 399999 nicht bei Lieferant 70003");
    row("inactive article", "SetEan", "1|70001|100900|4006209000099|1",
        "5001 Artikel 100900 inaktiv");
    row("empty EAN for the article", "SetEan", "1|70003|300310||3", "0");
    row("download of another supplier", "SetEan", "1|70001|100200|4020000000028|3",
        "5005 Download 3 gehört nicht zu Firma 1, Lieferant 70001");
    row("another company", "SetEan", "2|70003|300310|4020000000028|3",
        "5014 Keine Berechtigung: Firma 2 ist nicht die Firma der Anmeldung");
    row("download of another company", "SetEan", "1|80001|300310|4260123800109|4",
        "5809 Objekt nicht gefunden: quendrap.downloads 4");
    row("EAN of another article", "SetEan", "1|70003|300310|4020000000011|3",
        "5001 EAN bereits bei Artikel 300300");
    row("unknown download", "SetEan", "1|70003|300310|4020000000028|99",
        "5809 Objekt nicht gefunden: quendrap.downloads 99");
}

// Every call answers as expected and changes nothing: no article, no
// position, no global (no search text runs as M).
void TestStandinLookup::calls() {
    QFETCH(QString, kind);
    QFETCH(QString, args);
    QFETCH(QString, expected);
    QFETCH(QString, setup);
    if (!setup.isEmpty())
        m_fx->engine().execText(setup, {});
    m("S ^X=1");
    const auto articles = records("vt_artikel");
    const auto positions = records("quendrap_pos");
    const QStringList a = fields(args);
    QString answer;
    if (kind == "M")
        answer = m(args);
    else if (kind == "SQL")
        answer = sql(args);
    else if (kind == "GETARF")
        answer = search(a);
    else if (kind == "geteanbez" || kind == "SetEan")
        answer = call(kind, a);
    else
        answer = outcome([&] {
            QStringList found = rows(kind.section(' ', 0, 0), kind.section(' ', 1, 1), a);
            if (kind.endsWith("numbers"))
                for (QString& r : found)
                    r = r.section('|', 0, 0);
            return found.join(kind.endsWith("numbers") ? " " : ", ");
        });
    QCOMPARE(answer, expected);
    QCOMPARE(m("W ^X"), QString("1"));
    QCOMPARE(records("vt_artikel"), articles);
    QCOMPARE(records("quendrap_pos"), positions);
}

// The README's sample file on download 3: its articles get the EANs, the
// positions of those EANs the articles, refilled from them; a second run
// changes nothing.
void TestStandinLookup::matchFile() {
    const auto runFile = [this] {
        QStringList results;
        for (const QString& line : kMatchFile.mid(1)) {
            const QStringList f = line.split('\\');
            results << call("SetEan", {"1", f[4], f[0], f[6], "3"});
        }
        return results.join(' ');
    };
    QCOMPARE(runFile(), QString("0 1 1"));
    QCOMPARE(sql("SELECT group_concat(id||':'||ARTNR||':'||Status||':'||Bez1||':'||eanvt, ' ') "
                 "FROM (SELECT * FROM quendrap_pos WHERE DLID='3' ORDER BY id)"),
             QString("6:300300:1:Fußleiste Eiche 2,4 m:4020000000011 "
                     "7:300310:1:Türschwelle Edelstahl 90 cm:4020000000028 "
                     "8:300320:1:Fliesenkleber flex 25 kg:4020000000035 "
                     "9::0:Fugenmörtel grau 5 kg:4020000000042"));
    QCOMPARE(sql("SELECT group_concat(ARTNR||':'||EAN||':'||DLID||':'||PCODE, ' ') FROM "
                 "(SELECT * FROM vt_artikel WHERE LNR='70003' ORDER BY ARTNR)"),
             QString("300300:4020000000011:: 300310:4020000000028:3:DEM "
                     "300320:4020000000035:3:DEM 300330:::"));
    const auto articles = records("vt_artikel");
    const auto positions = records("quendrap_pos");
    QCOMPARE(runFile(), QString("0 0 0"));
    QCOMPARE(records("vt_artikel"), articles);
    QCOMPARE(records("quendrap_pos"), positions);
    // An article of another supplier may have the same EAN.
    QCOMPARE(call("SetEan", fields("1|70003|300330|4006209000013|3")), QString("0"));
    QCOMPARE(sql("SELECT EAN FROM vt_artikel WHERE id='1||300330'"), QString("4006209000013"));
}

// The first position of the EAN without an article; an assigned one keeps
// its article, and the article stands in one row only.
void TestStandinLookup::eanOnlyForPositionsWithoutArticle() {
    m_fx->engine().execText("UPDATE quendrap_pos SET EAN='4020000000099' WHERE id IN ('6', '9')",
                            {});
    m_fx->engine().execText(
        "INSERT INTO quendrap_pos(id, DLID, EAN) VALUES('100', '3', '4020000000099')", {});
    QCOMPARE(call("SetEan", fields("1|70003|300320|4020000000099|3")), QString("1"));
    QCOMPARE(call("SetEan", fields("1|70003|300320|4020000000099|3")), QString("0"));
    QCOMPARE(sql("SELECT group_concat(id||':'||ARTNR||':'||bestnrvt, ' ') FROM "
                 "(SELECT * FROM quendrap_pos WHERE EAN='4020000000099' ORDER BY id)"),
             QString("100:: 6:300300:F-300 9:300320:F-310"));
}

QTEST_GUILESS_MAIN(TestStandinLookup)
#include "test_standin_lookup.moc"
