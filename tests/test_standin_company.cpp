#include "DemoData.h"
#include "Job.h"
#include "JobSession.h"
#include "StandinEngine.h"
#include "classes/StandinClasses.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

using Steps = JobSession::Steps;

const QString kCompany2 =
    "error 5014 Keine Berechtigung: Firma 2 ist nicht die Firma der Anmeldung";
const QString kCompany9 =
    "error 5014 Keine Berechtigung: Firma 9 ist nicht die Firma der Anmeldung";

QString notFound(const QString& what) {
    return "error 5809 Objekt nicht gefunden: " + what;
}

} // namespace

// Every entry point of the stand-in, called by a user of company 1 with the
// data of company 2 (its ids, keys, company and download): the answer is
// the one for data that is not there (the same call with ids nobody has),
// or, for a company argument, a refusal that does not depend on whether
// the company exists; the same call with company 1's data is served. Each
// case runs in a unit of work that is rolled back.
class TestStandinCompany : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void entryPoints_data();
    void entryPoints();
    void searchesStayInTheLoginsCompany();

private:
    // The answer of the first step that fails, else of the last one.
    QString run(const Steps& steps) { return m_first->run(steps); }

    QTemporaryDir m_dir;
    std::unique_ptr<StandinEngine> m_engine;
    std::unique_ptr<JobSession> m_first;  // DEM of company 1
    std::unique_ptr<JobSession> m_lager;  // LAG of company 1, registered
    std::unique_ptr<JobSession> m_second; // ZW of company 2, registered
    std::unique_ptr<StandinTransaction> m_scratch;
};

void TestStandinCompany::initTestCase() {
    m_engine = std::make_unique<StandinEngine>(m_dir.filePath("company.db"));
    RegisterErpClasses(*m_engine);
    FillDemoData(*m_engine);
    m_first = std::make_unique<JobSession>(*m_engine);
    QCOMPARE(m_first->hello("1", "DEM", "demo"), QString("user"));
    // Two sessions that registered themselves, one of each company.
    m_lager = std::make_unique<JobSession>(*m_engine);
    QCOMPARE(m_lager->hello("1", "LAG", "lager"), QString("user"));
    QCOMPARE(m_lager->xecute(R"(S FIRMA=1,FIL=0,PERSONAL="LAG",^STAND($J)="02" D ^%XTT)"),
             QString());
    m_second = std::make_unique<JobSession>(*m_engine);
    QCOMPARE(m_second->hello("2", "ZW", "zwei"), QString("user"));
    QCOMPARE(m_second->xecute(R"(S FIRMA=2,FIL=0,PERSONAL="ZW",^STAND($J)="01" D ^%XTT)"),
             QString());
}

void TestStandinCompany::cleanupTestCase() {
    m_second.reset();
    m_lager.reset();
    m_first.reset();
    m_engine.reset();
}

void TestStandinCompany::init() {
    m_scratch = std::make_unique<StandinTransaction>(*m_engine);
}

void TestStandinCompany::cleanup() {
    m_scratch.reset();
}

void TestStandinCompany::entryPoints_data() {
    QTest::addColumn<Steps>("first"); // with company 1's data
    QTest::addColumn<QString>("served");
    QTest::addColumn<Steps>("second");   // with company 2's data
    QTest::addColumn<Steps>("missing");  // with data nobody has
    QTest::addColumn<QString>("answer"); // to both
    QTest::addColumn<QString>("answerMissing");

    const auto row = [](const char* name, const Steps& first, const QString& served,
                        const Steps& second, const Steps& missing, const QString& answer,
                        const QString& answerMissing) {
        QTest::newRow(name) << first << served << second << missing << answer << answerMissing;
    };
    // An object opened by id and one property read.
    const auto opened = [&row](const char* cls, const char* id1, const char* property,
                               const QString& value, const QString& id2, const QString& id0) {
        const auto steps = [&](const QString& id) {
            return Steps{{"OPEN", cls, id}, {"GET", "@", property}};
        };
        row(qPrintable(QString("OPEN ") + cls), steps(id1), value, steps(id2), steps(id0),
            notFound(QString(cls) + ' ' + id2), notFound(QString(cls) + ' ' + id0));
    };
    opened("VT.Lieferant", "1||70001", "NAME", "M}ller Baustoffe GmbH", "2||80001", "1||89999");
    opened("VT.Artikel", "1||100100", "BEZ", "D}bel 8x40 Nylon", "2||800100", "1||899999");
    opened("VT.ArtEK", "1||70001||100100||01.01.2026", "BRUTTO", "4.6",
           "2||80001||800100||01.01.2027", "1||80001||800100||01.01.2027");
    opened("VT.ParNrKreis", "1||ARTNR", "LETZTE", "500000", "2||ARTNR", "9||ARTNR");
    opened("VT.ParWarengruppe", "1||1200", "ABTNR", "12", "2||2100", "1||2100");
    opened("VT.ParArtTyp", "1||L", "BEZ", "Lagerartikel", "2||L", "9||L");
    opened("VT.ParAbteilung", "1||11", "BEZ", "Baustoffe", "2||21", "1||21");
    opened("VT.ParEinheit", "1||St", "BEZ", "St}ck", "2||t", "1||t");
    opened("VT.ParMwst", "1||1", "SATZ", "19", "2||1", "9||1");
    opened("VT.Einheit", "1||STK", "ERP", "St", "2||T", "1||T");
    opened("VT.Standort", "1||01", "Text", "Zentrale Köln", "2||01", "9||01");
    opened("VT.ParPersAbt", "1||10", "abtbez", "Einkauf", "2||10", "9||10");
    opened("VT.PersBasis", "1||1001", "EMail", "dem@baustoffe-demo.de", "2||2001", "1||2001");
    opened("quendrap.liefid", "1||MUE", "LNR", "70001", "2||RKZ", "1||RKZ");
    opened("quendrap.downloads", "1", "LNR", "70001", "4", "99");
    opened("quendrap.pos", "1", "BestNr", "M-1001", "10", "999");
    opened("quendrap.ekgrp", "1", "RabattGR", "RG01", "6", "999");

    // User records open alike for every code; only the login's own shows
    // more than asterisks.
    const auto user = [](const QString& id, const char* property) {
        return Steps{{"OPEN", "VT.ParPersEdv", id}, {"GET", "@", property}};
    };
    row("user record", user("1||DEM", "AKTIV"), "J", user("2||ZW", "AKTIV"),
        user("1||NOPE", "AKTIV"), "error 5014 Keine Berechtigung: GET VT.ParPersEdv.AKTIV",
        "error 5014 Keine Berechtigung: GET VT.ParPersEdv.AKTIV");
    row("password of a user record", user("1||DEM", "Passwort"), "demo", user("2||ZW", "Passwort"),
        user("1||NOPE", "Passwort"), "*****", "*****");

    // New objects that name a company.
    const auto created = [&row](const char* name, const char* cls, const char* property) {
        const auto steps = [&](const QString& company) {
            return Steps{{"NEW", cls}, {"SET", "@", property, company}};
        };
        row(name, steps("1"), "", steps("2"), steps("9"), kCompany2, kCompany9);
    };
    created("new download of another company", "quendrap.downloads", "Firma");
    created("new supplier defaults of another company", "quendrap.defaults", "FIRMA");
    const auto written = [](const QString& id) {
        return Steps{
            {"OPEN", "quendrap.pos", id}, {"SET", "@", "Bez1", "Neu"}, {"METHOD", "@", "sys_save"}};
    };
    row("position written back", written("1"), "1", written("10"), written("999"),
        notFound("quendrap.pos 10"), notFound("quendrap.pos 999"));

    // Class methods and queries with a company argument.
    const auto method = [](const char* cls, const char* name, const QStringList& args) {
        return Steps{QStringList{"CLASSMETHOD", cls, name} + args};
    };
    const auto query = [](const char* cls, const char* name, const QStringList& args) {
        return Steps{QStringList{"QUERY", cls, name, "500"} + args};
    };
    const auto refused = [&row](const char* name, const auto& make, const QStringList& args1,
                                const QString& served, const QStringList& args2) {
        QStringList args9 = args2;
        args9[0] = "9";
        row(name, make(args1), served, make(args2), make(args9), kCompany2, kCompany9);
    };
    const auto methodOf = [&method](const char* cls, const char* name) {
        return [=](const QStringList& args) { return method(cls, name, args); };
    };
    const auto queryOf = [&query](const char* cls, const char* name) {
        return [=](const QStringList& args) { return query(cls, name, args); };
    };
    refused("downloads list", queryOf("quendrap.downloads", "liste"), {"1"},
            "rows:1|2026-10-05|DEM|70001|M}ller Baustoffe GmbH|0|3|2|2026-11-12|DEM|70002|"
            "Schr|der D{mmtechnik KG|0|2|3|2026-12-01|LAG|70003|Wei~ & S|hne Fliesen|0|4",
            {"2"});
    refused("supplier name", methodOf("quendrap.downloads", "lname"), {"1", "70001"},
            "Müller Baustoffe GmbH|1|70001", {"2", "80001"});
    refused("unit assignments", methodOf("quendrap.downloads", "geteinh"), {"1"},
            "Sack,St,St,kg,kg,Ktn,l,m,l,m,qm,cbm,qm,cbm,m,Pak,Pak,Pal,St,Pak,Rol,Rol,Sack,St,St,St`"
            "BG,C62,H87,KG,KGM,KTN,L,LFM,LTR,M,M2,M3,MTK,MTQ,MTR,PA,PAK,PAL,PCE,PK,RO,ROL,SCK,ST,"
            "STCK,STK|1",
            {"2"});
    refused("supplier of a manufacturer code", methodOf("quendrap.liefid", "getlnr"), {"1", "MUE"},
            "70001|1|MUE", {"2", "RKZ"});
    refused("manufacturer code linked", methodOf("quendrap.pos", "setliefid"),
            {"1", "XYZ", "70001"}, "|1|XYZ|70001", {"2", "XYZ", "80001"});
    refused("code lists", methodOf("quendrap.pos", "getcombo"), {"1", "70001"},
            "COMBO|1|70001|1|70001", {"2", "80001"});
    refused("purchase date flag", methodOf("quendrap.pos", "getekdat1"),
            {"1", "70001", "100100", "", "01.01.2026"},
            "J|01.01.2026|4.6|%|10|2|0|0|4.0572|1|70001|100100||01.01.2026",
            {"2", "80001", "800100", "", "01.01.2027"});
    refused("sales date flag", methodOf("quendrap.pos", "getvkdat1"), {"1", "100100", "01.01.2026"},
            "J|01.01.2026|1.45|5.9|7.02|1|100100|01.01.2026", {"2", "800100", "01.01.2027"});
    refused("purchase dates", methodOf("quendrap.pos", "getekdat"), {"1", "70001", "100100", ""},
            "EKDAT|1|70001|100100||1|70001|100100|", {"2", "80001", "800100", ""});
    refused("sales dates", methodOf("quendrap.pos", "getvkdat"), {"1", "100100"},
            "VKDAT|1|100100|1|100100", {"2", "800100"});
    refused("goods group data", methodOf("quendrap.pos", "getwgdaten"), {"1", "1200"},
            "12|19|1|1200", {"2", "2100"});
    refused("candidate articles", methodOf("quendrap.pos", "getposvt"), {"1", "70001", "1"},
            "POSVT|1|70001|1|1|70001|1", {"2", "80001", "4"});
    refused("locations", methodOf("GUIVELTAR.Menue", "getStandorte"), {"1"},
            "01 Zentrale Köln`02 Lager Nord`03 Baumarkt Süd|1", {"2"});
    refused("supplier search", queryOf("VT.Windows", "KkrSuche"), {"1", "L", "müller", ""},
            "rows:70001|MUELLER BA|M}ller Baustoffe GmbH|50829|K|ln", {"2", "L", "kies", ""});
    refused("customer groups", queryOf("VT.ParKundenGruppen", "Liste"), {"1"},
            "rows:10|Gewerbliche Kunden Bau|20|Handwerk|30|Privatkunden|40|Wiederverkäufer", {"2"});
    refused("account groups", queryOf("VT.KontoSammelKontoKreis", "Liste"), {"1", "L"},
            "rows:1|Lieferanten Inland|2|Lieferanten Ausland|9|Sonstige", {"2", "L"});
    const auto list = query("VT.XW", "Liste", {});
    for (const QString kind : {"COMBO", "EKDAT", "VKDAT", "POSVT"}) {
        const auto expression = [&](const QString& company) {
            return Steps{list.first() + QStringList{kind + "|" + company + "|80001"}};
        };
        row(qPrintable("list expression " + kind), Steps{list.first() + QStringList{""}},
            "rows:", expression("2"), expression("9"), kCompany2, kCompany9);
    }
    refused("posting with another company", methodOf("quendrap.pos", "verbuch"),
            {"1", "1", "70001", "DEM", "N", "", "N", "N", "N", "N", "N", "N", "N", "N"},
            "-1|1|1|70001|DEM|N||N|N|N|N|N|N|N|N",
            {"2", "10", "80001", "DEM", "J", "", "J", "J", "J", "J", "J", "J", "J", "J"});

    // Calls with the login's company and another company's download,
    // position or group: answered as for one that does not exist.
    row("download removed", method("quendrap.downloads", "dellief", {"1"}), "1|1",
        method("quendrap.downloads", "dellief", {"4"}),
        method("quendrap.downloads", "dellief", {"99"}), notFound("quendrap.downloads 4"),
        notFound("quendrap.downloads 99"));
    const QString line = "RKZ|4260123800109|K-28|Kies|T|T|T|1|1|01.02.2027|25,00|1|RG01|X";
    row("position stored", method("quendrap.pos", "savezeile", {"1", "", line, "N", ""}),
        "1001|1||" + line + "|N|", method("quendrap.pos", "savezeile", {"4", "", line, "N", ""}),
        method("quendrap.pos", "savezeile", {"99", "", line, "N", ""}),
        notFound("quendrap.downloads 4"), notFound("quendrap.downloads 99"));
    const auto assign = [&](const QString& position) {
        return method("quendrap.pos", "anrzuord", {"1", position, "800200", "80001", ""});
    };
    row("article assigned", method("quendrap.pos", "anrzuord", {"1", "2", "100300", "70001", ""}),
        "1|1|2|100300|70001|", assign("10"), assign("999"), "0|1|10|800200|80001|",
        "0|1|999|800200|80001|");
    const auto post = [&](const QString& position) {
        return method(
            "quendrap.pos", "verbuch",
            {"1", position, "80001", "DEM", "J", "", "J", "J", "J", "J", "J", "J", "J", "J"});
    };
    row("position posted",
        method("quendrap.pos", "verbuch",
               {"1", "1", "70001", "DEM", "N", "", "N", "N", "N", "N", "N", "N", "J", "N"}),
        "Unverändert|1|1|70001|DEM|N||N|N|N|N|N|N|J|N", post("10"), post("999"),
        "Position nicht vorhanden|1|10|80001|DEM|J||J|J|J|J|J|J|J|J",
        "Position nicht vorhanden|1|999|80001|DEM|J||J|J|J|J|J|J|J|J");
    row("description of an EAN", method("quendrap.pos", "geteanbez", {"3", "4020000000028"}),
        "Türschwelle Edelstahl|3|4020000000028",
        method("quendrap.pos", "geteanbez", {"4", "4260123800109"}),
        method("quendrap.pos", "geteanbez", {"99", "4260123800109"}), "|4|4260123800109",
        "|99|4260123800109");
    const auto ean = [&](const QString& download) {
        return method("quendrap.pos", "SetEan",
                      {"1", "80001", "800100", "4260123800109", download});
    };
    row("EAN set", method("quendrap.pos", "SetEan", {"1", "70003", "300310", "4020000000028", "3"}),
        "1|1|70003|300310|4020000000028|3", ean("4"), ean("99"), notFound("quendrap.downloads 4"),
        notFound("quendrap.downloads 99"));
    const auto store = [&](const QString& id) {
        return method("quendrap.ekgrp", "speich",
                      {id, "RG01", "Kies", "01.02.2027", "5", "", "", ""});
    };
    row("discount group stored", store("1"), "1|1|RG01|Kies|01.02.2027|5|||", store("6"),
        store("999"), notFound("quendrap.ekgrp 6"), notFound("quendrap.ekgrp 999"));
    const auto test = [&](const QString& id) {
        return method("quendrap.ekgrp", "tstdatum", {id, "4", "01.02.2027"});
    };
    row("discount group date", method("quendrap.ekgrp", "tstdatum", {"1", "1", "01.02.2027"}),
        "1|1|1|01.02.2027", test("6"), test("999"), notFound("quendrap.ekgrp 6"),
        notFound("quendrap.ekgrp 999"));
    const auto groups = [&](const QString& download) {
        return method("quendrap.ekgrp", "verbuch", {download, "DEM", "N"});
    };
    row("discount groups posted", groups("2"), "0 Rabattgruppen verbucht, 1 ohne Datum|2|DEM|N",
        groups("4"), groups("99"), notFound("quendrap.downloads 4"),
        notFound("quendrap.downloads 99"));
    row("positions of a download", query("quendrap.pos", "pos", {"99", "1"}),
        "rows:", query("quendrap.pos", "pos", {"4", ""}), query("quendrap.pos", "pos", {"99", ""}),
        "rows:", "rows:");
    row("one position of a download", query("quendrap.pos", "pos", {"999", "1"}),
        "rows:", query("quendrap.pos", "pos", {"10", "4"}),
        query("quendrap.pos", "pos", {"999", "4"}), "rows:", "rows:");
    row("discount groups of a download", query("quendrap.ekgrp", "Liste", {"99"}),
        "rows:", query("quendrap.ekgrp", "Liste", {"4"}), query("quendrap.ekgrp", "Liste", {"99"}),
        "rows:", "rows:");
    row("user by password", query("VT.ParPersEdv", "UserViaPasswort", {"demo", "1", ""}),
        "rows:DEM", query("VT.ParPersEdv", "UserViaPasswort", {"zwei", "2", ""}),
        query("VT.ParPersEdv", "UserViaPasswort", {"nope", "9", ""}), "rows:", "rows:");

    // M: the other jobs' session entries and locations of another company
    // read as undefined, as a job that is not there. An answer of "Xecute"
    // is the output and the command line.
    const QString lager = m_lager->job().jobNumber();
    const QString zw = m_second->job().jobNumber();
    const auto m = [&row](const char* name, const QString& first, const QString& served,
                          const QString& second, const QString& missing, const QString& answer,
                          const QString& answerMissing) {
        const auto steps = [](const QString& command) {
            return Steps{{"NEW", "VT.Windows"}, {"METHOD", "@", "Xecute", command}};
        };
        const auto withCommand = [](const QString& out, const QString& command) {
            return out.startsWith("error ") ? out : out + '|' + command;
        };
        row(name, steps(first), withCommand(served, first), steps(second), steps(missing),
            withCommand(answer, second), withCommand(answerMissing, missing));
    };
    const auto sessions = [&](const QString& job) {
        return "W $D(^%XTT(" + job + ")),$D(^STAND(" + job + ")),\"/\",$G(^STAND(" + job + "))";
    };
    m("session entry", sessions(lager), "11/02", sessions(zw), sessions("999999"), "00/", "00/");
    const auto entry = [&](const QString& job) { return "W $P(^%XTT(" + job + "),\"|\",1,4)"; };
    m("session entry read", entry(lager), "1|0|LAG|02", entry(zw), entry("999999"),
      "error 5002 <UNDEFINED> ^%XTT(" + zw + ")", "error 5002 <UNDEFINED> ^%XTT(999999)");
    // The search routines know only the login's company.
    const auto search = [&](const QString& text) {
        return "D GETARF^VTCLSU(\"" + text + "\",\"\",\"\",\"\",\"\",\"\",\"\")";
    };
    m("article search", search("Dübel 8x40"), "100100`Dübel 8x40 Nylon`70001", search("Kies"),
      search("Gibtsnicht"), "", "");
    m("goods groups of a main group", "D UGRP^VTCLSU(1300)",
      "1300 Dämmplatten`1310 Folien und Bahnen`", "D UGRP^VTCLSU(2100)", "D UGRP^VTCLSU(2200)", "",
      "");
}

void TestStandinCompany::entryPoints() {
    QFETCH(Steps, first);
    QFETCH(QString, served);
    QFETCH(Steps, second);
    QFETCH(Steps, missing);
    QFETCH(QString, answer);
    QFETCH(QString, answerMissing);
    QCOMPARE(run(second), answer);
    QCOMPARE(run(missing), answerMissing);
    QCOMPARE(run(first), served);
}

// The combo box lists and the article search of company 2 are not reached
// by any argument: they take the company of the login.
void TestStandinCompany::searchesStayInTheLoginsCompany() {
    const QString groups = m_first->xecute("D UGRP^VTCLSU");
    QVERIFY2(groups.startsWith("1100 Mörtel und Putze`"), qPrintable(groups));
    QVERIFY(!groups.contains("2100"));
    QCOMPARE(m_second->xecute("D UGRP^VTCLSU"), QString("2100 Kies und Sand`"));
    QCOMPARE(m_second->xecute("D ABTNR^VTCLSU"), QString("21 Schüttgüter`"));
    QCOMPARE(m_second->xecute(R"(D GETARF^VTCLSU("","","","","","",""))"),
             QString("800100`Kies 2/8`80001") + QChar(0xFF) + "800200`Sand 0/2 gewaschen`80001" +
                 QChar(0xFF) + "800300`Splitt 2/5 Sack 25 kg`80001");
    // Company 2's own user is served its own data.
    QCOMPARE(m_second->call(Wire::Op::Query, {"quendrap.downloads", "liste", "500", "2"}),
             QString("rows:4|2026-12-15|ZW|80001|Rheinkies Zweig GmbH|0|3"));
}

QTEST_GUILESS_MAIN(TestStandinCompany)
#include "test_standin_company.moc"
