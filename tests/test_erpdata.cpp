#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "ScriptedUserInterface.h"
#include "ServerAnswers.h"
#include "StandinEngine.h"
#include "base/SessionContext.h"
#include "classes/ErpPositions.h"
#include "classes/StandinClasses.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

// The position properties the grid writes and the query column each one
// comes back in.
const QList<std::pair<QString, int>> kWrittenProperties{
    {"Bez1", 9},     {"bez2", 10},  {"bez3", 11},   {"epmvt", 12},    {"erevt", 13},
    {"atyp", 15},    {"wargr", 16}, {"ABTNR", 17},  {"vke", 18},      {"vpe", 19},
    {"vpi", 20},     {"vre", 21},   {"vrm", 22},    {"vpm", 23},      {"mcproz", 24},
    {"palart", 25},  {"palje", 26}, {"palab", 27},  {"bestnrvt", 28}, {"eanvt", 29},
    {"ebe", 30},     {"hlief", 31}, {"faktor", 32}, {"brutto", 33},   {"evm", 36},
    {"mibeme", 37},  {"ekgrp", 38}, {"ekdat", 39},  {"rabtyp", 40},   {"rab1", 41},
    {"rab2", 42},    {"rab3", 43},  {"rab4", 44},   {"netto", 45},    {"nebkost", 46},
    {"vkrabgr", 47}, {"vkdat", 48}, {"kfsoll", 49}, {"vkexcl", 50},   {"vkincl", 51},
    {"acod", 53}};

} // namespace

// The ERP data behind the staging positions, as the positions window and
// the article assignment reach it: in-process against the demo company.
class TestErpData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void erpNumbers_data();
    void erpNumbers();
    void erpDates_data();
    void erpDates();

    void positionRowsCarryErpData_data();
    void positionRowsCarryErpData();
    void positionQueryForms();
    void codeListsThroughListQuery_data();
    void codeListsThroughListQuery();
    void codeListsOfAnUnknownCompany();
    void purchaseDateFlag_data();
    void purchaseDateFlag();
    void purchaseDateAnswers();
    void salesDateFlag_data();
    void salesDateFlag();
    void dateListsThroughListQuery();
    void goodsGroupData_data();
    void goodsGroupData();
    void candidateList();
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
    QString call(const QString& method, QStringList args);
    QStringList list(const QString& expression);
    QList<QStringList> positions(const QString& first, const QString& second);
    QString column(const QString& id, int column);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestErpData::init() {
    StartDemoClient(m_fx, m_ui);
    m_fx->connection().ensure();
}

void TestErpData::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

QString TestErpData::call(const QString& method, QStringList args) {
    return m_fx->connection().client().classHandle("quendrap.pos").call(method, args);
}

QStringList TestErpData::list(const QString& expression) {
    ResultSet rs = m_fx->connection().client().resultSet("VT.XW", "Liste");
    rs.execute({expression});
    QStringList rows;
    while (rs.next())
        rows << rs.getData(1);
    return rows;
}

QList<QStringList> TestErpData::positions(const QString& first, const QString& second) {
    ResultSet rs = m_fx->connection().client().resultSet("quendrap.pos", "pos");
    rs.execute({first, second});
    QList<QStringList> rows;
    while (rs.next()) {
        QStringList row;
        for (int c = 1; c <= 55; ++c)
            row << rs.getData(c);
        rows << row;
    }
    if (!rows.isEmpty())
        QTest::qCompare(rs.columnCount(), 55, "columnCount", "55", __FILE__, __LINE__);
    return rows;
}

// One column (from 1) of a position of the demo downloads, read back as the
// assignment reads it.
QString TestErpData::column(const QString& id, int c) {
    const QString dlid = m_fx->engine().textValue("SELECT DLID FROM quendrap_pos WHERE id=?", {id});
    const QList<QStringList> rows = positions(id, dlid);
    return rows.isEmpty() ? QString("<none>") : rows[0].value(c - 1);
}

void TestErpData::erpNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("number");
    QTest::newRow("decimal comma") << "12,50" << 2 << "12.5";
    QTest::newRow("thousands points") << "1.234,50" << 2 << "1234.5";
    QTest::newRow("decimal point") << "4.3659" << 4 << "4.3659";
    QTest::newRow("rounded") << "4.36594" << 4 << "4.3659";
    QTest::newRow("rounded up") << "0,125" << 2 << "0.13";
    QTest::newRow("whole") << "100" << 0 << "100";
    QTest::newRow("negative") << "-7,5" << 2 << "-7.5";
    QTest::newRow("negative zero") << "-0,001" << 2 << "0";
    QTest::newRow("blanks") << " 3,10 " << 2 << "3.1";
    QTest::newRow("not a number") << "abc" << 2 << "0";
    QTest::newRow("empty") << "" << 2 << "0";
    QTest::newRow("trailing point") << "5." << 2 << "5";
    QTest::newRow("leading point") << ".5" << 2 << "0.5";
    QTest::newRow("two commas") << "1,2,3" << 2 << "0";
    QTest::newRow("two minus signs") << "--1" << 2 << "0";
    QTest::newRow("minus inside") << "1-2" << 2 << "0";
}

void TestErpData::erpNumbers() {
    QFETCH(QString, text);
    QFETCH(int, decimals);
    QFETCH(QString, number);
    QCOMPARE(ErpNumber(ErpValue(text), decimals), number);
}

void TestErpData::erpDates_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("date");
    QTest::newRow("the ERP's form") << "01.04.2027"
                                    << "01.04.2027";
    QTest::newRow("without leading zeros") << "1.4.2027"
                                           << "01.04.2027";
    QTest::newRow("slashes") << "01/04/2027"
                             << "01.04.2027";
    QTest::newRow("hyphens") << "01-04-2027"
                             << "01.04.2027";
    QTest::newRow("two-digit year") << "01.04.27"
                                    << "01.04.2027";
    QTest::newRow("year first") << "2027-04-01"
                                << "01.04.2027";
    QTest::newRow("no such day") << "31.04.2027"
                                 << "";
    QTest::newRow("29 February of a common year") << "29.02.2027"
                                                  << "";
    QTest::newRow("29 February of a leap year") << "29.02.2028"
                                                << "29.02.2028";
    QTest::newRow("letter in the year") << "01.04.20x7"
                                        << "";
    QTest::newRow("month 13") << "01.13.2027"
                              << "";
    QTest::newRow("three-digit year") << "01.04.202"
                                      << "";
    QTest::newRow("a track name") << "A"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestErpData::erpDates() {
    QFETCH(QString, text);
    QFETCH(QString, date);
    QCOMPARE(ErpDate(text), date);
}

void TestErpData::positionRowsCarryErpData_data() {
    QTest::addColumn<QString>("download");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("row"); // the 55 query columns
    // An assigned position: master data, the purchase condition of that
    // date, the deviation from the condition before it, the sales price.
    QTest::newRow("assigned")
        << "1" << 0
        << QString("1|M-1001|Dübel 8x40 Nylon|01.11.2026|4.95|1|PAK|100100|Dübel 8x40 Nylon|"
                   "Spreizdübel mit Kragen|VE 100 Stück|1|Pak|7.61|L|1200|12|Pak|Ktn|10|St|100|1|"
                   "19||0|0|M-1001|4006209000013|Pak|J|1|4.95|4006209000013|MUE|1|5||01.11.2026|%|"
                   "10|2|0|0|4.3659|0.15|1200.A|01.11.2026|1.45|6.55|7.79|31.05||1|Baustoffe")
               .split('|');
    // A new article: the supplier's line, the supplier defaults (goods group
    // 1400, markup 45 %, rounding 0,05), no deviation.
    QTest::newRow("not assigned")
        << "3" << 1
        << QString("7|F-301|Türschwelle Edelstahl|01.01.2027|19.9|1|STK||Türschwelle Edelstahl|||"
                   "1|St||L|1400|14|St||0||0|1|19||0|0|F-301|4020000000028|St|J|1|19.9|"
                   "4020000000028|WSF|1|1||01.01.2027|N|0|0|0|0|19.9|0|1400.A|01.01.2027|1.45|"
                   "28.85|34.33|31.02||0|Baustoffe")
               .split('|');
    // An EK discount group of the ERP named like the supplier's group:
    // its rates valid on the date, percent mode.
    QTest::newRow("discount group")
        << "1" << 2
        << QString("3|M-2001|Mörtel 25 kg|01.11.2026|6.4|1|SCK|100200|Mörtel 25 kg|"
                   "Mauermörtel MG IIa|Sack 25 kg|1|Sack|4.92|L|1100|11|Sack|Pal|40|kg|25|1|19|"
                   "900001|40|40|M-2001||Sack|J|1|6.4|4006209000037|MUE|1|40|RG02|01.11.2026|%|22|"
                   "3|0|0|4.8422|0|1100.A|01.11.2026|1.5|7.25|8.63|33.21||1|Baustoffe")
               .split('|');
}

void TestErpData::positionRowsCarryErpData() {
    QFETCH(QString, download);
    QFETCH(int, index);
    QFETCH(QStringList, row);
    const QList<QStringList> rows = positions(download, "");
    QVERIFY(index < rows.size());
    for (int c = 0; c < 55; ++c)
        QVERIFY2(
            rows[index][c] == row[c],
            qPrintable(
                QString("column %1: %2 instead of %3").arg(c + 1).arg(rows[index][c], row[c])));
}

void TestErpData::positionQueryForms() {
    // (download, ""): every position of the download in position order.
    QList<QStringList> rows = positions("3", "");
    QStringList ids;
    for (const QStringList& r : rows)
        ids << r[0];
    QCOMPARE(ids, (QStringList{"6", "7", "8", "9"}));
    QCOMPARE(positions("1", "").size(), 3);
    QCOMPARE(positions("2", "").size(), 2);
    // (position, download): that position only, the same row.
    const QList<QStringList> one = positions("8", "3");
    QCOMPARE(one.size(), 1);
    QCOMPARE(one[0], rows[2]);
    // A position of another download, an unknown position or download.
    QCOMPARE(positions("8", "1").size(), 0);
    QCOMPARE(positions("99", "3").size(), 0);
    QCOMPARE(positions("77", "").size(), 0);
    QCOMPARE(positions("", "").size(), 0);
}

void TestErpData::codeListsThroughListQuery_data() {
    QTest::addColumn<QString>("supplier");
    QTest::addColumn<QStringList>("discountGroups");
    QTest::newRow("70001") << "70001"
                           << QStringList{"7|RG02|Mörtel und Estrich", "7|RG05|Werkzeug"};
    QTest::newRow("70003") << "70003" << QStringList{"7|RG21|Kleber und Mörtel", "7|RG22|Profile"};
    QTest::newRow("supplier without groups") << "70002" << QStringList{};
}

void TestErpData::codeListsThroughListQuery() {
    QFETCH(QString, supplier);
    QFETCH(QStringList, discountGroups);
    const QString expression = call("getcombo", {"1", supplier});
    QVERIFY(!expression.isEmpty());
    const QStringList rows = list(expression);
    QMap<QString, QStringList> byGroup;
    for (const QString& r : rows) {
        const QStringList f = r.split('|');
        QVERIFY2(f.size() == 3, qPrintable(r));
        byGroup[f[0]] << r;
    }
    // The grid's groups and one it skips (sales discount groups, 9).
    QStringList groups{"1", "12", "13", "2", "3", "4", "5", "9"};
    if (!discountGroups.isEmpty())
        groups << "7";
    groups.sort();
    QCOMPARE(QStringList(byGroup.keys()), groups);
    QCOMPARE(byGroup.value("7"), discountGroups);
    QCOMPARE(byGroup.value("1"),
             (QStringList{"1|B|Bestellartikel", "1|D|Dienstleistung", "1|L|Lagerartikel",
                          "1|P|Palette / Pfand", "1|S|Streckenartikel"}));
    QVERIFY(byGroup.value("2").contains("2|1100|Mörtel und Putze"));
    QCOMPARE(byGroup.value("2").size(), 8);
    QCOMPARE(byGroup.value("3").first(), QString("3|11|Baustoffe"));
    QVERIFY(byGroup.value("3").contains("3|13|Dämmstoffe"));
    QVERIFY(byGroup.value("4").contains("4|St|Stück"));
    QCOMPARE(byGroup.value("4").size(), 11);
    QCOMPARE(byGroup.value("5"), (QStringList{"5|19|19", "5|7|7", "5|0|0"}));
    QCOMPARE(byGroup.value("12").first(), QString("12|A|Auslaufartikel"));
    QCOMPARE(byGroup.value("13"),
             (QStringList{"13|900001|Europalette (Pfand)", "13|900002|Einwegpalette"}));
    QVERIFY(byGroup.value("9").contains("9|1200.A|VK-Rabattgruppe A Dübel und Schrauben"));
}

void TestErpData::codeListsOfAnUnknownCompany() {
    // A user of a company that keeps no code lists (a company's lists are
    // served only to its own users).
    m_fx->sessionAs("9", "NEU", "neu");
    m_fx->connection().ensure();
    QCOMPARE(call("getcombo", {"9", "70001"}), QString());
    QCOMPARE(list(""), QStringList{});
    bool refused = false;
    try {
        list("NIX|1");
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.description(), QString("Unbekannter Listenausdruck: NIX|1"));
    }
    QVERIFY(refused);
}

void TestErpData::purchaseDateFlag_data() {
    QTest::addColumn<QString>("supplier");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("flag");
    QTest::newRow("condition of that date") << "70001"
                                            << "100100"
                                            << ""
                                            << "01.11.2026"
                                            << "J";
    QTest::newRow("date with slashes") << "70001"
                                       << "100100"
                                       << ""
                                       << "01/11/2026"
                                       << "J";
    QTest::newRow("date without leading zeros") << "70001"
                                                << "100100"
                                                << ""
                                                << "1.11.2026"
                                                << "J";
    QTest::newRow("only an older condition") << "70001"
                                             << "100101"
                                             << ""
                                             << "01.11.2026"
                                             << "N";
    QTest::newRow("the older condition's date") << "70001"
                                                << "100101"
                                                << ""
                                                << "01.01.2026"
                                                << "J";
    QTest::newRow("condition of another supplier") << "70002"
                                                   << "100100"
                                                   << ""
                                                   << "01.11.2026"
                                                   << "N";
    QTest::newRow("group of that date") << "70001"
                                        << "100200"
                                        << "RG02"
                                        << "01.11.2026"
                                        << "J";
    QTest::newRow("group, other date") << "70001"
                                       << "100200"
                                       << "RG02"
                                       << "01.12.2026"
                                       << "N";
    QTest::newRow("group decides, not the condition") << "70001"
                                                      << "100100"
                                                      << "RG99"
                                                      << "01.11.2026"
                                                      << "N";
    QTest::newRow("group of another supplier") << "70002"
                                               << ""
                                               << "RG02"
                                               << "01.11.2026"
                                               << "N";
    QTest::newRow("group without article") << "70003"
                                           << ""
                                           << "RG21"
                                           << "01.01.2027"
                                           << "J";
    QTest::newRow("no article, no group") << "70001"
                                          << ""
                                          << ""
                                          << "01.11.2026"
                                          << "N";
    QTest::newRow("no date") << "70001"
                             << "100100"
                             << ""
                             << ""
                             << "N";
    QTest::newRow("not a date") << "70001"
                                << "100100"
                                << ""
                                << "31.02.2026"
                                << "N";
}

void TestErpData::purchaseDateFlag() {
    QFETCH(QString, supplier);
    QFETCH(QString, article);
    QFETCH(QString, group);
    QFETCH(QString, date);
    QFETCH(QString, flag);
    const QString answer = call("getekdat1", {"1", supplier, article, group, date});
    QCOMPARE(answer.section('|', 0, 0), flag);
    if (flag == "N")
        QCOMPARE(answer, QString("N"));
}

void TestErpData::purchaseDateAnswers() {
    QCOMPARE(call("getekdat1", {"1", "70001", "100100", "", "01.11.2026"}),
             QString("J|01.11.2026|4.95|%|10|2|0|0|4.3659"));
    QCOMPARE(call("getekdat1", {"1", "70001", "100200", "RG02", "01.11.2026"}),
             QString("J|RG02|01.11.2026|22|3|0|0"));
    // Another company's conditions are not answered.
    bool refused = false;
    try {
        call("getekdat1", {"2", "70001", "100100", "", "01.11.2026"});
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.number(), 5014);
        QCOMPARE(e.description(),
                 QString("Keine Berechtigung: Firma 2 ist nicht die Firma der Anmeldung"));
    }
    QVERIFY(refused);
}

void TestErpData::salesDateFlag_data() {
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("answer");
    QTest::newRow("price of that date") << "100100"
                                        << "01.11.2026"
                                        << "J|01.11.2026|1.45|6.35|7.56";
    QTest::newRow("date as year-month-day") << "100100"
                                            << "2026-11-01"
                                            << "J|01.11.2026|1.45|6.35|7.56";
    QTest::newRow("no price of that date") << "100100"
                                           << "01.12.2026"
                                           << "N";
    QTest::newRow("older price") << "100101"
                                 << "01.01.2026"
                                 << "J|01.01.2026|1.4|9.95|11.84";
    QTest::newRow("article without prices") << "100300"
                                            << "01.01.2026"
                                            << "N";
    QTest::newRow("unknown article") << "999999"
                                     << "01.01.2026"
                                     << "N";
    QTest::newRow("no article") << ""
                                << "01.01.2026"
                                << "N";
    QTest::newRow("no date") << "100100"
                             << ""
                             << "N";
}

void TestErpData::salesDateFlag() {
    QFETCH(QString, article);
    QFETCH(QString, date);
    QFETCH(QString, answer);
    QCOMPARE(call("getvkdat1", {"1", article, date}), answer);
}

void TestErpData::dateListsThroughListQuery() {
    QCOMPARE(list(call("getekdat", {"1", "70001", "100100", ""})),
             (QStringList{"01.11.2026\n%\n10\n2\n0\n4.3659", "01.01.2026\n%\n10\n2\n0\n4.0572"}));
    QCOMPARE(list(call("getekdat", {"1", "70001", "100101", ""})),
             (QStringList{"01.01.2026\nN\n0\n0\n0\n7.1"}));
    // With a discount group: the group's rates by date, no net price.
    QCOMPARE(list(call("getekdat", {"1", "70001", "100200", "RG02"})),
             (QStringList{"01.11.2026\n%\n22\n3\n0\n", "01.03.2026\n%\n20\n3\n0\n"}));
    QCOMPARE(list(call("getekdat", {"1", "70002", "100100", ""})), QStringList{});
    QCOMPARE(call("getekdat", {"1", "70001", "", ""}), QString());
    QCOMPARE(list(call("getvkdat", {"1", "100100"})),
             (QStringList{"01.11.2026\n1.45\n6.35", "01.01.2026\n1.45\n5.9"}));
    QCOMPARE(list(call("getvkdat", {"1", "100300"})), QStringList{});
    QCOMPARE(call("getvkdat", {"1", ""}), QString());
}

void TestErpData::goodsGroupData_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("answer");
    QTest::newRow("full rate") << "1"
                               << "1200"
                               << "12|19";
    QTest::newRow("reduced rate") << "1"
                                  << "1500"
                                  << "11|7";
    QTest::newRow("no VAT") << "1"
                            << "1900"
                            << "19|0";
    QTest::newRow("unknown group") << "1"
                                   << "9999"
                                   << "";
    QTest::newRow("other company")
        << "2"
        << "1200"
        << "5014 Keine Berechtigung: Firma 2 ist nicht die Firma der Anmeldung";
    QTest::newRow("no group") << "1"
                              << ""
                              << "";
}

void TestErpData::goodsGroupData() {
    QFETCH(QString, company);
    QFETCH(QString, group);
    QFETCH(QString, answer);
    const QString got = outcome([&] { return call("getwgdaten", {company, group}); });
    QCOMPARE(got, answer);
}

void TestErpData::candidateList() {
    QCOMPARE(list(call("getposvt", {"1", "70001", "1"})),
             (QStringList{"M-1001\n100100\nDübel 8x40 Nylon\nJ\nJ",
                          "M-1002\n100101\nSchraube 5x60 verzinkt\nJ\nJ",
                          "M-2001\n100200\nMörtel 25 kg\nJ\nJ",
                          "M-2002\n100300\nFließestrich 40 kg\n\nJ",
                          "M-0999\n100900\nDübel 6x30 Nylon\n\nN"}));
    // "Zugeordnet" belongs to the download asked for.
    QCOMPARE(list(call("getposvt", {"1", "70002", "2"})),
             (QStringList{"S-10\n200010\nDämmplatte 100 mm\nJ\nJ",
                          "S-11-035\n200011\nDämmplatte 120 mm WLG 035\n\nJ",
                          "S-20\n200020\nDampfbremsfolie 50 m²\n\nJ"}));
    QCOMPARE(list(call("getposvt", {"1", "70002", "1"})).value(0),
             QString("S-10\n200010\nDämmplatte 100 mm\n\nJ"));
    QCOMPARE(call("anrzuord", {"1", "5", "200011", "70002", "200011"}), QString("1"));
    QCOMPARE(list(call("getposvt", {"1", "70002", "2"})).value(1),
             QString("S-11-035\n200011\nDämmplatte 120 mm WLG 035\nJ\nJ"));
    // A supplier without ERP articles.
    QCOMPARE(call("getposvt", {"1", "70004", "1"}), QString());
}

void TestErpData::assignment_data() {
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

void TestErpData::assignment() {
    QFETCH(QString, company);
    QFETCH(QString, position);
    QFETCH(QString, article);
    QFETCH(QString, supplier);
    QFETCH(QString, result);
    const QString dlid =
        m_fx->engine().textValue("SELECT DLID FROM quendrap_pos WHERE id=?", {position});
    const QList<QStringList> before = positions(position, dlid);
    QStringList args{company, position, article, supplier, "100101"};
    QCOMPARE(call("anrzuord", args), result);
    // Arguments come back unchanged.
    QCOMPARE(args, (QStringList{company, position, article, supplier, "100101"}));
    const QList<QStringList> after = positions(position, dlid);
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

void TestErpData::removedAssignmentRefillsFromSupplierLine() {
    QCOMPARE(column("1", 8), QString("100100"));
    QCOMPARE(call("anrzuord", {"1", "1", "", "70001", "100100"}), QString("1"));
    const QList<QStringList> rows = positions("1", "1");
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
    QCOMPARE(list(call("getposvt", {"1", "70001", "1"})).value(0),
             QString("M-1001\n100100\nDübel 8x40 Nylon\n\nJ"));
}

void TestErpData::propertiesWrittenBack() {
    {
        ServerObject o = m_fx->connection().client().openObject("quendrap.pos", "7");
        for (const auto& [property, c] : kWrittenProperties)
            o.set(property, property + "-" + QString::number(c));
        o.set("Bez1", "T}rschwelle gro~");
        o.set("prdiff", "12.5");
        o.save();
        o.close();
    }
    const QList<QStringList> rows = positions("7", "3");
    QCOMPARE(rows.size(), 1);
    for (const auto& [property, c] : kWrittenProperties) {
        if (property == "Bez1")
            continue;
        QCOMPARE(rows[0][c - 1], property + "-" + QString::number(c));
    }
    // Texts kept in the ERP's 7-bit form come back readable.
    QCOMPARE(rows[0][8], QString("Türschwelle groß"));
    // The deviation is worked out, not the stored one (no article here).
    QCOMPARE(rows[0][13], QString());
    ServerObject again = m_fx->connection().client().openObject("quendrap.pos", "7");
    QCOMPARE(again.get("prdiff"), QString("12.5"));
    QCOMPARE(again.get("ARTNR"), QString());
    QCOMPARE(again.get("Bezeichnung"), QString("Türschwelle Edelstahl"));
}

void TestErpData::unknownPropertyIsRefused() {
    ServerObject o = m_fx->connection().client().openObject("quendrap.pos", "7");
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
        m_fx->connection().client().openObject("quendrap.pos", "4711");
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.description(), QString("Objekt nicht gefunden: quendrap.pos 4711"));
    }
    QVERIFY(refused);
}

void TestErpData::savezeileFillsFromErpAndDefaults() {
    ServerObject d = m_fx->connection().client().newObject("quendrap.downloads");
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
    const QString known = call("savezeile", {dlid, "",
                                             "MUE|4006209000044|X-1|Estrich neu|SCK|SCK|"
                                             "SCK|1|1|01.04.2027|1.045,00|100|RG09|Estrich",
                                             "N", ""});
    const QString unknown =
        call("savezeile", {dlid, "",
                           "MUE||X-2|Winkelverbinder 90 x 90 x 65 mm feuerverzinkt mit "
                           "Sicke|STK|PAK|STK|50|1|01.04.2027|12,40|1|RG09|Holzbau",
                           "N", ""});
    const QList<QStringList> rows = positions(dlid, "");
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

void TestErpData::savezeileRefusals_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("13 fields") << "MUE|1|2|x|STK|STK|STK|1|1|01.04.2027|1|1|RG"
                               << "Positionszeile mit 13 statt 14 Feldern";
    QTest::newRow("description too long")
        << "MUE|1|2|" + QString(251, 'x') + "|STK|STK|STK|1|1|01.04.2027|1|1|RG|K"
        << "Bezeichnung länger als 250 Zeichen";
}

void TestErpData::savezeileRefusals() {
    QFETCH(QString, line);
    QFETCH(QString, message);
    const QString before = m_fx->engine().textValue("SELECT count(*) FROM quendrap_pos", {});
    bool refused = false;
    try {
        call("savezeile", {"1", "", line, "N", ""});
    } catch (const ServerError& e) {
        refused = true;
        QCOMPARE(e.description(), message);
    }
    QVERIFY(refused);
    QCOMPARE(m_fx->engine().textValue("SELECT count(*) FROM quendrap_pos", {}), before);
}

void TestErpData::bigDownload() {
    const QString key = FillDemoPositions(m_fx->engine(), 300);
    QCOMPARE(key, QString("5"));
    const QList<QStringList> rows = positions(key, "");
    QCOMPARE(rows.size(), 300);
    int assigned = 0, purchaseOfDate = 0, salesOfDate = 0;
    for (int i = 0; i < rows.size(); ++i) {
        if (i > 0)
            QVERIFY(rows[i][0].toInt() > rows[i - 1][0].toInt());
        if (rows[i][7].isEmpty())
            continue;
        ++assigned;
        QVERIFY(!rows[i][13].isEmpty());
        if (call("getekdat1", {"1", "70001", rows[i][7], rows[i][37], rows[i][38]})
                .startsWith("J|"))
            ++purchaseOfDate;
        if (call("getvkdat1", {"1", rows[i][7], rows[i][47]}).startsWith("J|"))
            ++salesOfDate;
    }
    QCOMPARE(assigned, 100);
    QCOMPARE(purchaseOfDate, 50);
    QCOMPARE(salesOfDate, 25);
    // The demo downloads are left as they were.
    QCOMPARE(positions("1", "").size(), 3);
}

void TestErpData::olderDatabaseGetsNewColumns() {
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

QTEST_GUILESS_MAIN(TestErpData)
#include "test_erpdata.moc"
