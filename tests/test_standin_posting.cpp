#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "ScriptedUserInterface.h"
#include "ServerAnswers.h"
#include "StandinEngine.h"
#include "server/Connection.h"

#include <QTest>

namespace {

// The flags of "verbuch", arguments 5 and 7 to 14.
enum Flag {
    ReleasePrices = 1 << 0,
    SalesPrice = 1 << 1,
    ReleaseArticle = 1 << 2,
    PurchasePrice = 1 << 3,
    PurchaseCondition = 1 << 4,
    Descriptions = 1 << 5,
    NewArticles = 1 << 6,
    ExistingArticles = 1 << 7,
    MasterData = 1 << 8,
    All = (1 << 9) - 1
};

const QStringList kErpTables{"vt_artikel", "vt_artek", "vt_artvk", "vt_ekrabgr", "vt_parnrkreis"};

} // namespace

// Posting staging positions and a download's discount groups into the ERP,
// through the class methods as the client calls them, on the demo company.
class TestStandinPosting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void refusals_data();
    void refusals();
    void postings_data();
    void postings();
    void numberRange_data();
    void numberRange();
    void newArticleOnceWithAllFlags();
    void groupList_data();
    void groupList();
    void storeGroup();
    void groupDate_data();
    void groupDate();
    void groupSummary_data();
    void groupSummary();
    void releasedGroupsReachThePositions();

private:
    QString call(const QString& cls, const QString& method, const QStringList& args) {
        return classMethodAnswer(m_fx->connection().client(), cls, method, args);
    }
    QString post(const QString& position, const QString& supplier, int flags,
                 const QString& key = "1", const QString& company = "1");
    QString sql(const QString& statement) { return m_fx->engine().textValue(statement, {}); }
    void run(const QStringList& statements);
    // Every record of a table by id, its fields joined by "|".
    QMap<QString, QString> records(const QString& table) {
        return tableRecords(m_fx->engine().db(), table);
    }
    QList<QMap<QString, QString>> snapshot(const QStringList& tables);
    QList<QStringList> rows(const QString& cls, const QString& query, const QStringList& args) {
        return queryRows(m_fx->connection().client(), cls, query, args);
    }
    QStringList positionRow(const QString& id, const QString& dlid);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestStandinPosting::init() {
    StartDemoClient(m_fx, m_ui);
    // The postings are stamped with the user of the login.
    m_fx->sessionAs("1", "EKX", "ekx");
    m_fx->connection().ensure();
}

void TestStandinPosting::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

QString TestStandinPosting::post(const QString& position, const QString& supplier, int flags,
                                 const QString& key, const QString& company) {
    const auto f = [flags](int flag) { return flags & flag ? QString("J") : QString("N"); };
    return call("quendrap.pos", "verbuch",
                {company, position, supplier, "EKX", f(ReleasePrices),
                 flags & ReleasePrices ? key : "", f(SalesPrice), f(ReleaseArticle),
                 f(PurchasePrice), f(PurchaseCondition), f(Descriptions), f(NewArticles),
                 f(ExistingArticles), f(MasterData)});
}

void TestStandinPosting::run(const QStringList& statements) {
    for (const QString& s : statements)
        m_fx->engine().execText(s, {});
}

QList<QMap<QString, QString>> TestStandinPosting::snapshot(const QStringList& tables) {
    QList<QMap<QString, QString>> out;
    for (const QString& t : tables)
        out << records(t);
    return out;
}

QStringList TestStandinPosting::positionRow(const QString& id, const QString& dlid) {
    return rows("quendrap.pos", "pos", {id, dlid}).value(0);
}

void TestStandinPosting::refusals_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("supplier");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("status");
    const auto row = [](const char* name, const char* company, const char* position,
                        const char* supplier, int flags, const QStringList& setup,
                        const char* status) {
        QTest::newRow(name) << company << position << supplier << flags << setup << status;
    };
    const auto pos2 = [](const QString& sets) {
        return QStringList{"UPDATE quendrap_pos SET " + sets + " WHERE id='2'"};
    };
    row("no flag", "1", "1", "70001", 0, {}, "-1");
    row("unknown position", "1", "999", "70001", All, {}, "Position nicht vorhanden");
    row("position of another company", "1", "10", "80001", All, {}, "Position nicht vorhanden");
    row("supplier not the download's", "1", "1", "70002", All, {}, "Position nicht vorhanden");
    row("without article and new articles", "1", "7", "70003", All & ~NewArticles, {},
        "Ohne Artikel, nichts verbucht");
    row("article not in the ERP", "1", "2", "70001", All, pos2("ARTNR='999999'"),
        "Artikel nicht im ERP, nichts verbucht");
    row("inactive article", "1", "2", "70001", All, pos2("ARTNR='100900'"),
        "Artikel inaktiv, nichts verbucht");
    row("order number of an inactive article", "1", "2", "70001", NewArticles,
        pos2("ARTNR='', bestnrvt='M-0999'"), "Artikel inaktiv, nichts verbucht");
    row("existing article without its flag", "1", "1", "70001", All & ~ExistingArticles, {},
        "Vorhandener Artikel, nichts verbucht");
}

// Nothing reaches the ERP; the position's status tells why, unless the
// position is not the caller's.
void TestStandinPosting::refusals() {
    QFETCH(QString, company);
    QFETCH(QString, position);
    QFETCH(QString, supplier);
    QFETCH(int, flags);
    QFETCH(QStringList, setup);
    QFETCH(QString, status);
    run(setup);
    const auto before = snapshot(kErpTables);
    const QString stateOf =
        "SELECT ARTNR||'|'||Status FROM quendrap_pos WHERE id='" + position + "'";
    const QString state = sql(stateOf);
    QCOMPARE(post(position, supplier, flags, "1", company), status);
    QCOMPARE(snapshot(kErpTables), before);
    const bool untouched = status == "-1" || status == "Position nicht vorhanden";
    QCOMPARE(sql(stateOf), untouched ? state : state.section('|', 0, 0) + '|' + status);
}

void TestStandinPosting::postings_data() {
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("supplier");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("check");    // SQL read after the posting
    QTest::addColumn<QString>("expected"); // what it reads
    const auto row = [](const char* name, const char* position, int flags, const QStringList& setup,
                        const QString& status, const QString& check, const QString& expected) {
        QTest::newRow(name) << position << (QString(position) == "7" ? "70003" : "70001") << flags
                            << setup << status << check << expected;
    };
    const auto pos = [](const QString& id, const QString& sets) {
        return QStringList{"UPDATE quendrap_pos SET " + sets + " WHERE id='" + id + "'"};
    };
    const int existing = ExistingArticles;
    const QString article = "SELECT %1 FROM vt_artikel WHERE id='1||100100'";
    const QString condition = "SELECT BRUTTO||'|'||NETTO||'|'||RABTYP||'|'||MIBEME||'|'||FREIGABE "
                              "FROM vt_artek WHERE id='1||70001||100101||%1'";
    row("master data", "1", existing | MasterData,
        pos("1", "wargr='1100', ABTNR='11', vpi='12,0', mcproz='7'"), "Verbucht: Stammdaten",
        article.arg("WARGR||'|'||ABTNR||'|'||VPI||'|'||MWST||'|'||BEZ"),
        "1100|11|12|2|D}bel 8x40 Nylon");
    row("descriptions", "1", existing | Descriptions, pos("1", "Bez1='Dübel grau', bez3=''"),
        "Verbucht: Bezeichnungen", article.arg("BEZ||'|'||BEZ2||'|'||BEZ3||'|'||WARGR"),
        "D}bel grau|Spreizd}bel mit Kragen||1200");
    // 100101 has a condition of 01.01.2026 (7.50 gross, 7.10 net), none of
    // the position's 01.11.2026.
    row("condition takes the price before it", "2", existing | PurchaseCondition,
        pos("2", "mibeme='12'"), "Verbucht: EK-Kondition 01.11.2026", condition.arg("01.11.2026"),
        "7.5|7.1|N|12|N");
    row("price takes the condition before it", "2", existing | PurchasePrice,
        pos("2", "brutto='8,10', netto='8.1', mibeme='12'"), "Verbucht: EK-Preis 01.11.2026",
        condition.arg("01.11.2026"), "8.1|8.1|N|1|N");
    row("nothing before: the position's values", "2", existing | PurchasePrice,
        pos("2", "ekdat='1.1.2025', mibeme='12'"), "Verbucht: EK-Preis 01.01.2025",
        condition.arg("01.01.2025"), "7.8|7.8|N|12|N");
    row("equal condition is not rewritten", "1", existing | PurchaseCondition | PurchasePrice, {},
        "Unverändert",
        "SELECT DLID||'|'||PCODE FROM vt_artek WHERE id='1||70001||100100||01.11.2026'", "|");
    row("a changed sales price waits for its release", "1", existing | SalesPrice, {},
        "Verbucht: VK-Preis 01.11.2026",
        "SELECT KFSOLL||'|'||VKEXCL||'|'||VKINCL||'|'||FREIGABE FROM vt_artvk WHERE "
        "id='1||100100||01.11.2026'",
        "1.45|6.55|7.79|N");
    row("changed and released at once", "1", existing | SalesPrice | ReleasePrices, {},
        "Verbucht: VK-Preis 01.11.2026, Preise freigegeben",
        "SELECT VKEXCL||'|'||FREIGABE||'|'||DLID FROM vt_artvk WHERE id='1||100100||01.11.2026'",
        "6.55|J|1");
    row("a price another download stored is released", "2", existing | ReleasePrices,
        {"INSERT INTO vt_artvk(id, FIRMA, ARTNR, DATUM, VKEXCL, FREIGABE, DLID) VALUES("
         "'1||100101||01.11.2026', '1', '100101', '01.11.2026', '9.9', 'N', '7')"},
        "Verbucht: Preise freigegeben",
        "SELECT VKEXCL||'|'||FREIGABE||'|'||DLID FROM vt_artvk WHERE id='1||100101||01.11.2026'",
        "9.9|J|1");
    row("no dates", "1", existing | PurchasePrice | SalesPrice,
        pos("1", "ekdat='', vkdat='31.02.2027'"), "Unverändert, EK ohne Datum, VK ohne Datum",
        "SELECT count(*) FROM vt_artek WHERE ARTNR='100100'", "2");
    row("no sales price", "1", existing | SalesPrice, pos("1", "kfsoll='', vkexcl=''"),
        "Unverändert, VK ohne Preis", "SELECT count(*) FROM vt_artvk WHERE ARTNR='100100'", "2");
    row("article released", "1", existing | ReleaseArticle,
        {"UPDATE vt_artikel SET FREIGABE='N' WHERE id='1||100100'"},
        "Verbucht: Artikel freigegeben", article.arg("FREIGABE"), "J");
    row("prices of the download released", "2",
        existing | PurchasePrice | PurchaseCondition | ReleasePrices, {},
        "Verbucht: EK-Kondition 01.11.2026, EK-Preis 01.11.2026, Preise freigegeben",
        condition.arg("01.11.2026"), "7.8|7.8|N|1|J");
    row("numbers taken are skipped", "7", NewArticles,
        {"INSERT INTO vt_artikel(id, FIRMA, ARTNR) VALUES('1||500001', '1', '500001')"},
        "Verbucht: Artikel 500002 angelegt", "SELECT LETZTE FROM vt_parnrkreis WHERE FIRMA='1'",
        "500002");
    row("article of the same order number", "7", NewArticles | Descriptions,
        pos("7", "bestnrvt='F-301-90'"), "Verbucht: Artikel 300310 zugeordnet, Bezeichnungen",
        "SELECT p.ARTNR||'|'||a.BEZ FROM quendrap_pos p, vt_artikel a WHERE p.id='7' AND "
        "a.id='1||300310'",
        "300310|T}rschwelle Edelstahl");
}

// Each flag's effect; every record the posting writes carries its download
// and user, and a posting that changes nothing writes no record.
void TestStandinPosting::postings() {
    QFETCH(QString, position);
    QFETCH(QString, supplier);
    QFETCH(int, flags);
    QFETCH(QStringList, setup);
    QFETCH(QString, status);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    run(setup);
    const QStringList tables{"vt_artikel", "vt_artek", "vt_artvk"};
    const auto before = snapshot(tables);
    QCOMPARE(post(position, supplier, flags), status);
    QCOMPARE(sql(check), expected);
    const QString dlid = sql("SELECT DLID FROM quendrap_pos WHERE id='" + position + "'");
    QCOMPARE(positionRow(position, dlid).value(53), status);
    int changed = 0;
    for (int i = 0; i < tables.size(); ++i) {
        const QMap<QString, QString> after = records(tables[i]);
        for (auto it = after.begin(); it != after.end(); ++it)
            if (before[i].value(it.key()) != it.value()) {
                ++changed;
                QCOMPARE(m_fx->engine().textValue("SELECT DLID||'|'||PCODE FROM " + tables[i] +
                                                      " WHERE id=?",
                                                  {it.key()}),
                         dlid + "|EKX");
            }
    }
    QCOMPARE(changed == 0, status.startsWith("Unverändert"));
}

void TestStandinPosting::numberRange_data() {
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("error");
    QTest::newRow("exhausted") << QStringList{"UPDATE vt_parnrkreis SET LETZTE='599999'"}
                               << "5001 Artikelnummernkreis erschöpft";
    QTest::newRow("last number taken") << QStringList{"UPDATE vt_parnrkreis SET LETZTE='599998'",
                                                      "INSERT INTO vt_artikel(id, FIRMA, ARTNR) "
                                                      "VALUES('1||599999', '1', '599999')"}
                                       << "5001 Artikelnummernkreis erschöpft";
    QTest::newRow("no range") << QStringList{"DELETE FROM vt_parnrkreis"}
                              << "5001 Kein Artikelnummernkreis für Firma 1";
}

// A new article without a number is an error, and nothing of the call is
// stored.
void TestStandinPosting::numberRange() {
    QFETCH(QStringList, setup);
    QFETCH(QString, error);
    run(setup);
    const QStringList tables = kErpTables + QStringList{"quendrap_pos"};
    const auto before = snapshot(tables);
    QCOMPARE(outcome([&] { return post("7", "70003", All, "3"); }), error);
    QCOMPARE(snapshot(tables), before);
}

void TestStandinPosting::newArticleOnceWithAllFlags() {
    // A later download with a line of the same order number, stored before
    // the posting: no article of that number yet.
    const QString dlid = "5";
    run({"INSERT INTO quendrap_downloads(id, Firma, LNR) VALUES('5', '1', '70003')"});
    const QString twin =
        call("quendrap.pos", "savezeile",
             {dlid, "",
              "WSF|4020000000099|F-301|Türschwelle Edelstahl 2|STK|STK|STK|1|1|01.02.2027|"
              "21,00|1|RG20|Baustoffe",
              "N", ""});
    QCOMPARE(positionRow(twin, dlid).value(7), QString());

    const QString status =
        "Verbucht: Artikel 500001 angelegt, EK-Kondition 01.01.2027, EK-Preis "
        "01.01.2027, VK-Preis 01.01.2027, Artikel freigegeben, Preise freigegeben";
    QCOMPARE(post("7", "70003", All, "3"), status);
    QCOMPARE(
        records("vt_artikel").value("1||500001"),
        QString("1|500001|70003|4020000000028|F-301|T}rschwelle Edelstahl|||L|1400|14|St||0||0|"
                "1|St|1||0|0||J|J|3|EKX"));
    QCOMPARE(records("vt_artek").value("1||70003||500001||01.01.2027"),
             QString("1|70003|500001|01.01.2027|19.9||N|0|0|0|0|19.9|0|1|St|1|1|1|J|J|3|EKX"));
    QCOMPARE(records("vt_artvk").value("1||500001||01.01.2027"),
             QString("1|500001|01.01.2027|1.45|28.85|34.33|J|3|EKX"));
    QCOMPARE(sql("SELECT LETZTE FROM vt_parnrkreis WHERE id='1||ARTNR'"), QString("500001"));
    // What the positions window reads after the posting.
    const QStringList row = positionRow("7", "3");
    QCOMPARE(row.value(7), QString("500001"));
    QCOMPARE(row.value(53), status);
    QCOMPARE(call("quendrap.pos", "getekdat1", {"1", "70003", "500001", "", "01.01.2027"}),
             QString("J|01.01.2027|19.9|N|0|0|0|0|19.9"));
    QCOMPARE(call("quendrap.pos", "getvkdat1", {"1", "500001", "01.01.2027"}),
             QString("J|01.01.2027|1.45|28.85|34.33"));

    // Posted again with the same flags: nothing changes.
    const auto before = snapshot(kErpTables);
    // The status still tells what the ERP received.
    QCOMPARE(post("7", "70003", All, "3"), QString("-1"));
    QCOMPARE(snapshot(kErpTables), before);
    QCOMPARE(positionRow("7", "3").value(53), status);

    // The later position takes the article of its order number.
    QCOMPARE(post(twin, "70003", All, dlid),
             QString("Verbucht: Artikel 500001 zugeordnet, Stammdaten, Bezeichnungen, EK-Kondition "
                     "01.02.2027, EK-Preis 01.02.2027, VK-Preis 01.02.2027, Preise freigegeben"));
    QCOMPARE(sql("SELECT count(*) FROM vt_artikel WHERE LNR='70003' AND BESTNR='F-301'"),
             QString("1"));
    QCOMPARE(sql("SELECT EAN||'|'||BEZ||'|'||DLID FROM vt_artikel WHERE id='1||500001'"),
             "4020000000099|T}rschwelle Edelstahl 2|" + dlid);
    QCOMPARE(positionRow(twin, dlid).value(7), QString("500001"));
}

void TestStandinPosting::groupList_data() {
    QTest::addColumn<QString>("download");
    QTest::addColumn<QStringList>("rows"); // the 11 columns joined by "|"
    QTest::newRow("exactly in the ERP, and not")
        << "1"
        << QStringList{"1|RG01|RG01|Dübel und Schrauben|100100|01.11.2026|10|2|||1",
                       "2|RG02|RG02|Mörtel und Estrich|100200|01.11.2026|22|3|0|0|0"};
    QTest::newRow("without date") << "2"
                                  << QStringList{"3|RG10|RG10|Dämmstoffe|200010|00:00:00|15||||1"};
    // RG21 has no position with an article: the first order number.
    QTest::newRow("mapped, rates of their own")
        << "3"
        << QStringList{"4|RG20|RG22|Profile|300300|01.01.2027|10||||1",
                       "5|RG21|RG21|Kleber und Mörtel|F-302|01.01.2027|12.5|2|0|0|0"};
    QTest::newRow("unknown download") << "99" << QStringList{};
}

void TestStandinPosting::groupList() {
    QFETCH(QString, download);
    QFETCH(QStringList, rows);
    QStringList got;
    for (const QStringList& r : this->rows("quendrap.ekgrp", "Liste", {download})) {
        QCOMPARE(r.size(), 11);
        got << r.join('|');
    }
    QCOMPARE(got, rows);
}

void TestStandinPosting::storeGroup() {
    const auto group4 = [this] {
        return rows("quendrap.ekgrp", "Liste", {"3"}).value(0).join('|');
    };
    QCOMPARE(call("quendrap.ekgrp", "speich",
                  {"4", " RG23 ", "Übergänge", "1.2.27", "12,5", "", "1.234,5", "0"}),
             QString("1"));
    QCOMPARE(group4(), QString("4|RG20|RG23|Übergänge|300300|01.02.2027|12.5||1234.5|0|1"));
    QCOMPARE(sql("SELECT BEZ FROM quendrap_ekgrp WHERE id='4'"), QString("]berg{nge"));
    QCOMPARE(call("quendrap.ekgrp", "speich", {"4", "RG23", "", "31.02.2027", "", "", "", ""}),
             QString("1"));
    QCOMPARE(group4(), QString("4|RG20|RG23||300300|00:00:00|||||1"));
    // The ERP's group as it is, in other number forms.
    QCOMPARE(call("quendrap.ekgrp", "speich",
                  {"4", "RG22", "Profile", "2026-07-01", "8,00", "0", "", "0.0"}),
             QString("1"));
    QCOMPARE(group4(), QString("4|RG20|RG22|Profile|300300|01.07.2026|8|0||0|0"));
    QCOMPARE(outcome([&] {
                 return call("quendrap.ekgrp", "speich", {"99", "RG1", "", "", "", "", "", ""});
             }),
             QString("5809 Objekt nicht gefunden: quendrap.ekgrp 99"));
}

void TestStandinPosting::groupDate_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("download");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("answer");
    const auto row = [](const char* name, const char* group, const char* download, const char* date,
                        const QStringList& setup, const char* answer) {
        QTest::newRow(name) << group << download << date << setup << answer;
    };
    // Group 2 maps to RG02 of 70001: in force from 01.03.2026 and 01.11.2026.
    const QStringList unreleased{"INSERT INTO vt_ekrabgr(id, FIRMA, LNR, CODE, DATUM, FREIGABE) "
                                 "VALUES('1||70001||RG02||01.01.2027', '1', '70001', 'RG02', "
                                 "'01.01.2027', 'N')"};
    row("taken", "2", "1", "01.11.2026", {}, "0");
    row("after the validity", "2", "1", "01.12.2026", {}, "1");
    row("before the validity", "2", "1", "01.10.2026", {}, "0");
    row("no such day", "2", "1", "31.02.2027", {}, "0");
    row("taken by an unreleased record", "2", "1", "01.01.2027", unreleased, "0");
    row("an unreleased record is no validity", "2", "1", "01.12.2026", unreleased, "1");
    row("group the ERP lacks", "1", "1", "01.01.2020", {}, "1");
    row("unknown group", "99", "1", "01.12.2026", {},
        "5809 Objekt nicht gefunden: quendrap.ekgrp 99");
    row("group of another download", "2", "3", "01.12.2026", {},
        "5809 Objekt nicht gefunden: quendrap.ekgrp 2 in Download 3");
}

void TestStandinPosting::groupDate() {
    QFETCH(QString, group);
    QFETCH(QString, download);
    QFETCH(QString, date);
    QFETCH(QStringList, setup);
    QFETCH(QString, answer);
    run(setup);
    QCOMPARE(outcome([&] {
                 return call("quendrap.ekgrp", "tstdatum", {group, download, date});
             }),
             answer);
}

void TestStandinPosting::groupSummary_data() {
    QTest::addColumn<QString>("download");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("summary");
    QTest::newRow("two groups") << "1" << QStringList{} << "2 Rabattgruppen verbucht";
    QTest::newRow("without date") << "2" << QStringList{}
                                  << "0 Rabattgruppen verbucht, 1 ohne Datum";
    QTest::newRow("without ERP group")
        << "3" << QStringList{"UPDATE quendrap_ekgrp SET ERPGR='' WHERE id='4'"}
        << "1 Rabattgruppe verbucht, 1 ohne ERP-Gruppe";
    QTest::newRow("unknown download")
        << "99" << QStringList{} << "5809 Objekt nicht gefunden: quendrap.downloads 99";
}

void TestStandinPosting::groupSummary() {
    QFETCH(QString, download);
    QFETCH(QStringList, setup);
    QFETCH(QString, summary);
    run(setup);
    QCOMPARE(outcome([&] {
                 return call("quendrap.ekgrp", "verbuch", {download, "EKX", "J"});
             }),
             summary);
}

void TestStandinPosting::releasedGroupsReachThePositions() {
    const auto inErp = [this](const QString& dlid) {
        QStringList flags;
        for (const QStringList& r : rows("quendrap.ekgrp", "Liste", {dlid}))
            flags << r.value(10);
        return flags;
    };
    const QList<QStringList> before = rows("quendrap.pos", "pos", {"1", ""});
    QCOMPARE(call("quendrap.ekgrp", "verbuch", {"1", "EKX", "N"}),
             QString("2 Rabattgruppen verbucht"));
    QCOMPARE(
        sql("SELECT BEZ||'|'||RAB1||'|'||RAB2||'|'||RAB3||'|'||RAB4||'|'||FREIGABE||'|'||DLID||"
            "'|'||PCODE FROM vt_ekrabgr WHERE id='1||70001||RG01||01.11.2026'"),
        QString("D}bel und Schrauben|10|2|0|0|N|1|EKX"));
    // RG02 of that date is in the ERP as it is and stays in force.
    QCOMPARE(
        sql("SELECT FREIGABE||'|'||DLID FROM vt_ekrabgr WHERE id='1||70001||RG02||01.11.2026'"),
        QString("|"));
    // Not in force yet: the date look-up, the code list, a refilled position
    // (the line's group RG01 names no ERP group in force) and field 11 go by
    // the released groups.
    QCOMPARE(call("quendrap.pos", "getekdat1", {"1", "70001", "", "RG01", "01.11.2026"}),
             QString("N"));
    QStringList groups;
    for (const QStringList& r :
         rows("VT.XW", "Liste", {call("quendrap.pos", "getcombo", {"1", "70001"})}))
        if (r.value(0).startsWith("7|"))
            groups << r.value(0);
    QCOMPARE(groups, (QStringList{"7|RG02|Mörtel und Estrich", "7|RG05|Werkzeug"}));
    QCOMPARE(call("quendrap.pos", "anrzuord", {"1", "1", "100100", "70001", "100100"}),
             QString("1"));
    QCOMPARE(rows("quendrap.pos", "pos", {"1", ""}), before);
    QCOMPARE(inErp("1"), (QStringList{"1", "0"}));

    // Released: the positions of RG01 take its discounts and the prices that
    // follow; the buyer's other edits stay.
    run({"UPDATE quendrap_pos SET Bez1='Eigene Bezeichnung' WHERE id='2'"});
    QCOMPARE(call("quendrap.ekgrp", "verbuch", {"1", "EKX", "J"}),
             QString("2 Rabattgruppen verbucht"));
    QCOMPARE(call("quendrap.pos", "getekdat1", {"1", "70001", "", "RG01", "01.11.2026"}),
             QString("J|RG01|01.11.2026|10|2|0|0"));
    QCOMPARE(inErp("1"), (QStringList{"0", "0"}));
    QList<QStringList> expected = before;
    // Position 1 had 10 % and 2 % from its condition already.
    expected[0][37] = "RG01";
    // Position 2: 7.80 less 10 % and 2 % = 6.8796; × KF-Soll 1.4 = 9.63, to
    // 0.05: 9.65; with 19 % VAT 11.48; margin 28.71 %.
    expected[1][8] = "Eigene Bezeichnung";
    const QStringList changed{"RG01", "01.11.2026", "%", "10", "2", "0", "0", "6.8796"};
    for (int i = 0; i < changed.size(); ++i)
        expected[1][37 + i] = changed[i];
    expected[1][49] = "9.65";
    expected[1][50] = "11.48";
    expected[1][51] = "28.71";
    QCOMPARE(rows("quendrap.pos", "pos", {"1", ""}), expected);
    // Posted again: the same.
    const QMap<QString, QString> erp = records("vt_ekrabgr");
    QCOMPARE(call("quendrap.ekgrp", "verbuch", {"1", "EKX", "J"}),
             QString("2 Rabattgruppen verbucht"));
    QCOMPARE(records("vt_ekrabgr"), erp);
    QCOMPARE(rows("quendrap.pos", "pos", {"1", ""}), expected);

    // A refilled position follows the download's mapping of RG20 to RG22,
    // once the ERP holds RG22 as the download has it.
    QCOMPARE(call("quendrap.pos", "anrzuord", {"1", "7", "", "70003", ""}), QString("1"));
    QCOMPARE(positionRow("7", "3").mid(37, 3), (QStringList{"", "01.01.2027", "N"}));
    QCOMPARE(call("quendrap.ekgrp", "verbuch", {"3", "EKX", "J"}),
             QString("2 Rabattgruppen verbucht"));
    QCOMPARE(call("quendrap.pos", "anrzuord", {"1", "7", "", "70003", ""}), QString("1"));
    QCOMPARE(positionRow("7", "3").mid(37, 8),
             (QStringList{"RG22", "01.01.2027", "%", "10", "0", "0", "0", "17.91"}));
}

QTEST_GUILESS_MAIN(TestStandinPosting)
#include "test_standin_posting.moc"
