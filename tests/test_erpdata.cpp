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
#include "server/Connection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

// The ERP data behind the staging positions, as the positions window reads
// it: in-process against the demo company. What is written on positions
// is in test_erp_positions.cpp.
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

private:
    ServerClient& client() { return m_fx->connection().client(); }

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
    const QList<QStringList> rows = PosQueryRows(client(), download, "");
    QVERIFY(index < rows.size());
    for (int c = 0; c < 55; ++c)
        QVERIFY2(
            rows[index][c] == row[c],
            qPrintable(
                QString("column %1: %2 instead of %3").arg(c + 1).arg(rows[index][c], row[c])));
}

void TestErpData::positionQueryForms() {
    // (download, ""): every position of the download in position order.
    QList<QStringList> rows = PosQueryRows(client(), "3", "");
    QStringList ids;
    for (const QStringList& r : rows)
        ids << r[0];
    QCOMPARE(ids, (QStringList{"6", "7", "8", "9"}));
    QCOMPARE(PosQueryRows(client(), "1", "").size(), 3);
    QCOMPARE(PosQueryRows(client(), "2", "").size(), 2);
    // (position, download): that position only, the same row.
    const QList<QStringList> one = PosQueryRows(client(), "8", "3");
    QCOMPARE(one.size(), 1);
    QCOMPARE(one[0], rows[2]);
    // A position of another download, an unknown position or download.
    QCOMPARE(PosQueryRows(client(), "8", "1").size(), 0);
    QCOMPARE(PosQueryRows(client(), "99", "3").size(), 0);
    QCOMPARE(PosQueryRows(client(), "77", "").size(), 0);
    QCOMPARE(PosQueryRows(client(), "", "").size(), 0);
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
    const QString expression = PosClassCall(client(), "getcombo", {"1", supplier});
    QVERIFY(!expression.isEmpty());
    const QStringList rows = ExpressionRows(client(), expression);
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
    QCOMPARE(PosClassCall(client(), "getcombo", {"9", "70001"}), QString());
    QCOMPARE(ExpressionRows(client(), ""), QStringList{});
    bool refused = false;
    try {
        ExpressionRows(client(), "NIX|1");
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
    const QString answer =
        PosClassCall(client(), "getekdat1", {"1", supplier, article, group, date});
    QCOMPARE(answer.section('|', 0, 0), flag);
    if (flag == "N")
        QCOMPARE(answer, QString("N"));
}

void TestErpData::purchaseDateAnswers() {
    QCOMPARE(PosClassCall(client(), "getekdat1", {"1", "70001", "100100", "", "01.11.2026"}),
             QString("J|01.11.2026|4.95|%|10|2|0|0|4.3659"));
    QCOMPARE(PosClassCall(client(), "getekdat1", {"1", "70001", "100200", "RG02", "01.11.2026"}),
             QString("J|RG02|01.11.2026|22|3|0|0"));
    // Another company's conditions are not answered.
    bool refused = false;
    try {
        PosClassCall(client(), "getekdat1", {"2", "70001", "100100", "", "01.11.2026"});
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
    QCOMPARE(PosClassCall(client(), "getvkdat1", {"1", article, date}), answer);
}

void TestErpData::dateListsThroughListQuery() {
    QCOMPARE(
        ExpressionRows(client(), PosClassCall(client(), "getekdat", {"1", "70001", "100100", ""})),
        (QStringList{"01.11.2026\n%\n10\n2\n0\n4.3659", "01.01.2026\n%\n10\n2\n0\n4.0572"}));
    QCOMPARE(
        ExpressionRows(client(), PosClassCall(client(), "getekdat", {"1", "70001", "100101", ""})),
        (QStringList{"01.01.2026\nN\n0\n0\n0\n7.1"}));
    // With a discount group: the group's rates by date, no net price.
    QCOMPARE(ExpressionRows(client(),
                            PosClassCall(client(), "getekdat", {"1", "70001", "100200", "RG02"})),
             (QStringList{"01.11.2026\n%\n22\n3\n0\n", "01.03.2026\n%\n20\n3\n0\n"}));
    QCOMPARE(
        ExpressionRows(client(), PosClassCall(client(), "getekdat", {"1", "70002", "100100", ""})),
        QStringList{});
    QCOMPARE(PosClassCall(client(), "getekdat", {"1", "70001", "", ""}), QString());
    QCOMPARE(ExpressionRows(client(), PosClassCall(client(), "getvkdat", {"1", "100100"})),
             (QStringList{"01.11.2026\n1.45\n6.35", "01.01.2026\n1.45\n5.9"}));
    QCOMPARE(ExpressionRows(client(), PosClassCall(client(), "getvkdat", {"1", "100300"})),
             QStringList{});
    QCOMPARE(PosClassCall(client(), "getvkdat", {"1", ""}), QString());
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
    const QString got = outcome([&] {
        return PosClassCall(client(), "getwgdaten", {company, group});
    });
    QCOMPARE(got, answer);
}

void TestErpData::candidateList() {
    QCOMPARE(ExpressionRows(client(), PosClassCall(client(), "getposvt", {"1", "70001", "1"})),
             (QStringList{"M-1001\n100100\nDübel 8x40 Nylon\nJ\nJ",
                          "M-1002\n100101\nSchraube 5x60 verzinkt\nJ\nJ",
                          "M-2001\n100200\nMörtel 25 kg\nJ\nJ",
                          "M-2002\n100300\nFließestrich 40 kg\n\nJ",
                          "M-0999\n100900\nDübel 6x30 Nylon\n\nN"}));
    // "Zugeordnet" belongs to the download asked for.
    QCOMPARE(ExpressionRows(client(), PosClassCall(client(), "getposvt", {"1", "70002", "2"})),
             (QStringList{"S-10\n200010\nDämmplatte 100 mm\nJ\nJ",
                          "S-11-035\n200011\nDämmplatte 120 mm WLG 035\n\nJ",
                          "S-20\n200020\nDampfbremsfolie 50 m²\n\nJ"}));
    QCOMPARE(
        ExpressionRows(client(), PosClassCall(client(), "getposvt", {"1", "70002", "1"})).value(0),
        QString("S-10\n200010\nDämmplatte 100 mm\n\nJ"));
    QCOMPARE(PosClassCall(client(), "anrzuord", {"1", "5", "200011", "70002", "200011"}),
             QString("1"));
    QCOMPARE(
        ExpressionRows(client(), PosClassCall(client(), "getposvt", {"1", "70002", "2"})).value(1),
        QString("S-11-035\n200011\nDämmplatte 120 mm WLG 035\nJ\nJ"));
    // A supplier without ERP articles.
    QCOMPARE(PosClassCall(client(), "getposvt", {"1", "70004", "1"}), QString());
}

QTEST_GUILESS_MAIN(TestErpData)
#include "test_erpdata.moc"
