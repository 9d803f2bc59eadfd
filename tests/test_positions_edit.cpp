#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "common/PriceCalculation.h"
#include "positions/PositionEdit.h"

#include <QTemporaryDir>
#include <QTest>

using namespace PositionGrid;

namespace {

// Counts the class methods that reach the server.
class CountingClient : public InProcessClient {
public:
    CountingClient(StandinEngine& e, QHash<QString, int>* counts)
        : InProcessClient(e), m_counts(counts) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (op == Wire::Op::ClassMethod || op == Wire::Op::Method)
            ++(*m_counts)[args.value(1)];
        if (op == Wire::Op::Set)
            ++(*m_counts)["SET " + args.value(1)];
        return InProcessClient::post(op, args, chained);
    }

private:
    QHash<QString, int>* m_counts;
};

const PositionDownload kDownload1{"1", "70001", QStringLiteral("Müller Baustoffe GmbH")};

// A row as the grid shows it: the 53 cells and the row key.
QString line(const PositionGridModel& m, int row) {
    QStringList cells;
    for (int c = 0; c < kColumns; ++c)
        cells << m.cellText(row, c);
    return cells.join(u'\t') + u'\t' + m.row(row).rowKey();
}

} // namespace

// The cell editing, the price calculation, the batch setting and the article
// assignment of the positions grid, against the demo company.
class TestPositionsEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void priceFormulas_data();
    void priceFormulas();
    void batchColumnsAreTheWritableOnes();

    void init();
    void cleanup();
    void rejectedEditsLeaveCellAndServer_data();
    void rejectedEditsLeaveCellAndServer();
    void everyPropertyIsWrittenBack_data();
    void everyPropertyIsWrittenBack();
    void discountsRecalculateThePrices();
    void goodsGroupBringsItsData();
    void unitChangesAskForTheirFactor();
    void listsOfTheEditedRow();
    void failingWriteBackRestoresTheCell();
    void assignmentEdgeCases();
    void batchSettingChecksEveryRow();
    void cliEditsAndAssigns();

private:
    // Loads download 1 into m_model with its lists and a fresh editor.
    void load();
    std::unique_ptr<PositionGridModel> reloaded();

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    QHash<QString, int> m_calls;
    std::unique_ptr<PositionGridModel> m_model;
    PositionLists m_lists;
    std::unique_ptr<PositionEditor> m_editor;
};

void TestPositionsEdit::priceFormulas_data() {
    QTest::addColumn<double>("actual");
    QTest::addColumn<double>("expected");
    using namespace PriceCalculation;
    QTest::newRow("discounts one after the other")
        << NetPrice(100, {10, 5, 0, 0}) << 85.5; // 100 × 0.9 × 0.95
    QTest::newRow("four discounts") << NetPrice(6.4, {22, 3, 0, 0}) << 4.84224;
    QTest::newRow("no discounts") << NetPrice(7.8, {0, 0, 0, 0}) << 7.8;
    QTest::newRow("cost per price quantity with costs and factor")
        << UnitCost(85.5, 10, 0.5, 2) << 18.1;
    QTest::newRow("price quantity and factor 0 count as 1") << UnitCost(4.0, 0, 0.25, 0) << 4.25;
    QTest::newRow("rounded to 0,05") << RoundTo(7.7475, 0.05) << 7.75;
    QTest::newRow("rounded down to 0,05") << RoundTo(7.72, 0.05) << 7.70;
    QTest::newRow("no rounding default: the cent") << RoundTo(7.7475, 0) << 7.75;
    QTest::newRow("half a cent rounds up") << RoundTo(0.125, 0.01) << 0.13;
    QTest::newRow("rounded to whole euros") << RoundTo(12.5, 1) << 13.0;
    QTest::newRow("sales price excl.") << SalesExcl(4.84224, 1.5, 0.05) << 7.25;
    QTest::newRow("VAT 19 %") << SalesIncl(7.75, 19) << 9.22;
    QTest::newRow("VAT 7 %") << SalesIncl(10, 7) << 10.7;
    QTest::newRow("VAT 0 %") << SalesIncl(3.33, 0) << 3.33;
    QTest::newRow("excl. from incl.") << SalesExclFromIncl(9.22, 19) << 7.75;
    QTest::newRow("margin") << Margin(7.75, 4.84224) << 37.52;
    QTest::newRow("margin below cost") << Margin(4, 5) << -25.0;
    QTest::newRow("margin without a sales price") << Margin(0, 5) << 0.0;
    QTest::newRow("KF-Soll") << PriceCalculation::KfSoll(7.75, 4.84224) << 1.6005;
    QTest::newRow("KF-Soll without cost") << PriceCalculation::KfSoll(7.75, 0) << 0.0;
}

// "Mehrfachsetzen" offers the columns written back to the server, never the
// article (assigned one row at a time) nor a locked one.
void TestPositionsEdit::batchColumnsAreTheWritableOnes() {
    const QList<int> columns = PositionEditor::BatchColumns();
    for (const int locked : {int(ArtNr), int(EkPer), int(Abweichung), int(Stat), int(Spanne)})
        QVERIFY2(!columns.contains(locked), qPrintable(Caption(locked)));
    for (const int writable : {int(Bez1), int(Wargr), int(Rab1), int(VkExcl)})
        QVERIFY2(columns.contains(writable), qPrintable(Caption(writable)));
}

void TestPositionsEdit::priceFormulas() {
    QFETCH(double, actual);
    QFETCH(double, expected);
    QVERIFY2(qAbs(actual - expected) < 1e-9,
             qPrintable(QString::number(actual, 'f', 10) + " != " + QString::number(expected)));
}

void TestPositionsEdit::init() {
    StartDemoClient(m_fx, m_ui);
    m_calls.clear();
    m_fx->setClientMaker(
        [this](StandinEngine& e) { return std::make_unique<CountingClient>(e, &m_calls); });
    load();
}

void TestPositionsEdit::cleanup() {
    m_editor.reset();
    m_model.reset();
    EndDemoClient(m_fx, m_ui);
}

void TestPositionsEdit::load() {
    m_model = std::make_unique<PositionGridModel>();
    QVERIFY(PositionLoad::loadLists(m_fx->connection(), kDownload1.supplier, m_lists));
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), kDownload1, *m_model));
    QCOMPARE(m_model->size(), 3);
    m_editor = std::make_unique<PositionEditor>(m_fx->connection(), *m_model, m_lists, kDownload1);
    QVERIFY(m_editor->loadDefaults());
    m_calls.clear();
}

std::unique_ptr<PositionGridModel> TestPositionsEdit::reloaded() {
    auto m = std::make_unique<PositionGridModel>();
    if (!PositionLoad::loadGrid(m_fx->connection(), kDownload1, *m))
        qWarning("reload failed");
    return m;
}

void TestPositionsEdit::rejectedEditsLeaveCellAndServer_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    // Position 1: VKE Pak, VPE Ktn, VRE St; position 2 net price type.
    QTest::newRow("EAN of 12 digits") << 0 << 29 << "400620900001" << kEanLengthMessage;
    QTest::newRow("EAN of 3 digits") << 0 << 29 << "123" << kEanLengthMessage;
    QTest::newRow("EAN with a letter") << 0 << 29 << "40062090000X3"
                                       << "Bestell-EAN darf nur Ziffern enthalten";
    QTest::newRow("VPE as VKE") << 0 << 18 << "Pak" << kVpeIsVkeMessage;
    QTest::newRow("VKE as VPE") << 0 << 17 << "Ktn" << kVpeIsVkeMessage;
    QTest::newRow("VRE as VKE") << 0 << 20 << "Pak" << kVreIsVkeMessage;
    QTest::newRow("VKE as VRE") << 0 << 17 << "St" << kVreIsVkeMessage;
    QTest::newRow("EBE neither VKE nor VPE") << 0 << 30 << "St" << kEbeMessage;
    QTest::newRow("EBE empty") << 0 << 30 << "" << kEbeMessage;
    QTest::newRow("EK date 31 February") << 0 << 39 << "31/02/2027" << kBadDateMessage;
    QTest::newRow("VK date with a letter") << 0 << 48 << "0x/03/2027" << kBadDateMessage;
    QTest::newRow("goods group not in list 2") << 0 << 15 << "9999"
                                               << "Ungültiger Code: 9999";
    QTest::newRow("unit not in list 4") << 0 << 17 << "Stk"
                                        << "Ungültiger Code: Stk";
    QTest::newRow("VAT rate not in list 5") << 0 << 23 << "16"
                                            << "Ungültiger Code: 16";
    QTest::newRow("main supplier not J or N") << 0 << 31 << "X"
                                              << "Ungültiger Code: X";
    QTest::newRow("foreign EK discount group") << 1 << 38 << "RG21"
                                               << "Ungültiger Code: RG21"; // a group of 70003
    QTest::newRow("discount too big")
        << 0 << 41 << "1234,5"
        << "Keine gültige Zahl: höchstens 3 Stellen vor und 2 nach dem Komma";
    QTest::newRow("discount above 100") << 0 << 41 << "150" << kDiscountRangeMessage;
    QTest::newRow("discount below 0") << 0 << 42 << "-5" << kDiscountRangeMessage;
    // The ERP's 7-bit storage would keep an umlaut for these.
    QTest::newRow("bar in a description") << 0 << 9 << "A|B"
                                          << "Das Zeichen | kann im ERP nicht gespeichert werden";
    QTest::newRow("brace in a description") << 0 << 10 << "x{y}"
                                            << "Das Zeichen { kann im ERP nicht gespeichert werden";
    QTest::newRow("backslash in the order number")
        << 0 << 28 << "M\\1001"
        << "Das Zeichen \\ kann im ERP nicht gespeichert werden";
    QTest::newRow("bracket in the sales group")
        << 0 << 47 << "[A]"
        << "Das Zeichen [ kann im ERP nicht gespeichert werden";
    QTest::newRow("tilde") << 0 << 11 << "ca~5"
                           << "Das Zeichen ~ kann im ERP nicht gespeichert werden";
    QTest::newRow("discount with 3 decimals")
        << 0 << 41 << "1,234"
        << "Keine gültige Zahl: höchstens 3 Stellen vor und 2 nach dem Komma";
    QTest::newRow("no number")
        << 0 << 33 << "viel"
        << "Keine gültige Zahl: höchstens 6 Stellen vor und 4 nach dem Komma";
    QTest::newRow("description too long")
        << 0 << 9 << QString(31, u'x') << "Text zu lang: höchstens 30 Zeichen";
    QTest::newRow("margin is locked") << 0 << 52 << "50"
                                      << "Die Zelle kann nicht bearbeitet werden";
    QTest::newRow("net price locked in percent mode") << 0 << 45 << "3"
                                                      << "Die Zelle kann nicht bearbeitet werden";
    QTest::newRow("discounts locked by a discount group")
        << 2 << 41 << "5"
        << "Die Zelle kann nicht bearbeitet werden";
    QTest::newRow("factor prompt cancelled") << 0 << 34 << "Ktn" << kCancelledMessage;
}

void TestPositionsEdit::rejectedEditsLeaveCellAndServer() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const QString before = line(*m_model, row);
    ListedPrompts none({});
    QVERIFY(!m_editor->edit(row, column, value, none));
    QCOMPARE(m_editor->message(), message);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, message);
    QCOMPARE(m_ui->messages[0].title, QString());
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Information);
    QCOMPARE(line(*m_model, row), before);
    // Nothing was written.
    QCOMPARE(m_calls.value("sys_save"), 0);
    QCOMPARE(line(*reloaded(), row), before);
}

void TestPositionsEdit::everyPropertyIsWrittenBack_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("shown");
    const QStringList none;
    QTest::newRow("Bez1") << 0 << 9 << "Dübel neu" << none << "Dübel neu";
    QTest::newRow("bez2") << 0 << 10 << "Zeile 2" << none << "Zeile 2";
    QTest::newRow("bez3") << 0 << 11 << "" << none << "";
    QTest::newRow("atyp") << 0 << 14 << "S" << none << "S";
    QTest::newRow("wargr") << 0 << 15 << "1100" << none << "1100";
    QTest::newRow("ABTNR") << 0 << 16 << "13" << none << "13";
    QTest::newRow("vke") << 0 << 17 << "kg" << none << "kg";
    QTest::newRow("vpe") << 0 << 18 << "Pal" << none << "Pal";
    QTest::newRow("vpi") << 0 << 19 << "12" << none << "12";
    QTest::newRow("vre") << 0 << 20 << "m" << QStringList{"2,5"} << "m";
    QTest::newRow("vrm") << 0 << 21 << "2,5" << none << "2,5000";
    QTest::newRow("vrm with every digit")
        << 0 << 21 << "12345678,1234" << none << "12.345.678,1234";
    QTest::newRow("vpm") << 0 << 22 << "3" << none << "3";
    QTest::newRow("mcproz") << 0 << 23 << "7" << none << "7";
    QTest::newRow("palart") << 0 << 24 << "900001" << none << "900001";
    QTest::newRow("palje") << 0 << 25 << "40" << none << "40";
    QTest::newRow("palab") << 0 << 26 << "10" << none << "10";
    QTest::newRow("acod") << 0 << 27 << "N" << none << "N";
    QTest::newRow("bestnrvt") << 0 << 28 << "X-77" << none << "X-77";
    QTest::newRow("eanvt") << 0 << 29 << "40062090" << none << "40062090";
    QTest::newRow("ebe") << 0 << 30 << "Ktn" << QStringList{"10"} << "Ktn";
    QTest::newRow("hlief") << 0 << 31 << "N" << none << "N";
    QTest::newRow("faktor") << 0 << 32 << "2" << none << "2,0000";
    QTest::newRow("faktor with a decimal point") << 0 << 32 << "2.125" << none << "2,1250";
    QTest::newRow("faktor with thousands") << 0 << 32 << "1.234,5" << none << "1.234,5000";
    QTest::newRow("brutto") << 0 << 33 << "5,1" << none << "5,1000";
    QTest::newRow("erevt") << 0 << 34 << "Ktn" << QStringList{"4"} << "Ktn";
    QTest::newRow("epmvt") << 0 << 35 << "10" << none << "10";
    QTest::newRow("evm") << 0 << 36 << "3" << none << "3,0000";
    QTest::newRow("mibeme") << 0 << 37 << "6" << none << "6";
    QTest::newRow("ekgrp") << 0 << 38 << "RG05" << none << "RG05";
    QTest::newRow("ekdat") << 0 << 39 << "01/02/2027" << none << "01/02/2027";
    QTest::newRow("rabtyp") << 0 << 40 << "N" << none << "N";
    QTest::newRow("rab1") << 0 << 41 << "12,5" << none << "12,50";
    QTest::newRow("rab2") << 0 << 42 << "1" << none << "1,00";
    QTest::newRow("rab3") << 0 << 43 << "0,5" << none << "0,50";
    QTest::newRow("rab4") << 0 << 44 << "7" << none << "7,00";
    QTest::newRow("netto") << 1 << 45 << "7,1234" << none << "7,1234";
    QTest::newRow("nebkost") << 0 << 46 << "0,25" << none << "0,2500";
    QTest::newRow("vkrabgr") << 0 << 47 << "1200.B" << none << "1200.B";
    QTest::newRow("vkdat") << 0 << 48 << "01.03.2027" << none << "01/03/2027";
    QTest::newRow("kfsoll") << 2 << 49 << "1,6" << none << "1,6000";
    QTest::newRow("vkexcl") << 2 << 50 << "8,5" << none << "8,5000";
    QTest::newRow("vkincl") << 2 << 51 << "9,99" << none << "9,99";
}

void TestPositionsEdit::everyPropertyIsWrittenBack() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, value);
    QFETCH(QStringList, inputs);
    QFETCH(QString, shown);
    ListedPrompts prompts(inputs);
    m_editor->beginEdit(row);
    QVERIFY2(m_editor->edit(row, column, value, prompts), qPrintable(m_editor->message()));
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(m_model->cellText(row, column), shown);
    QCOMPARE(m_calls.value("sys_save"), 1);
    // What the server holds is what the grid shows, cell for cell.
    const auto again = reloaded();
    QCOMPARE(line(*again, row), line(*m_model, row));
}

void TestPositionsEdit::discountsRecalculateThePrices() {
    ListedPrompts none({});
    // Position 3 (discount group RG02, no sales price of its date): the
    // group locks its discounts, so a goods-side input recalculates.
    // Gross 6.40, discounts 22 and 3: net 4.8422; KF-Soll 1.5 gives
    // 7.26 rounded to 0,05: 7.25; VAT 19 %: 8.63.
    QCOMPARE(m_model->cellText(2, Netto), QString("4,8422"));
    QVERIFY(m_editor->edit(2, Nebenkost, "0,5", none));
    // cost 5.3422 × 1.5 = 8.0133 -> 8.00; incl. 9.52; margin 33.22 %.
    QCOMPARE(m_model->cellText(2, VkExcl), QString("8,0000"));
    QCOMPARE(m_model->cellText(2, VkIncl), QString("9,52"));
    QCOMPARE(m_model->cellText(2, Spanne), QString("33,22"));
    // The sales price excl. typed: KF-Soll and the rest follow it.
    QVERIFY(m_editor->edit(2, VkExcl, "10", none));
    QCOMPARE(m_model->cellText(2, KfSoll), QString("1,8719"));
    QCOMPARE(m_model->cellText(2, VkIncl), QString("11,90"));
    QCOMPARE(m_model->cellText(2, Spanne), QString("46,58"));
    // The price incl. typed: excl. from it.
    QVERIFY(m_editor->edit(2, VkIncl, "11,00", none));
    QCOMPARE(m_model->cellText(2, VkExcl), QString("9,2400"));
    // Position 1 (percent, sales price of its date in the ERP: the sales
    // prices are locked and stay): a discount changes net and margin only.
    QVERIFY(m_editor->edit(0, Rab1, "12,5", none));
    QCOMPARE(m_model->cellText(0, Netto), QString("4,2446")); // 4.95 × 0.875 × 0.98
    QCOMPARE(m_model->cellText(0, VkExcl), QString("6,5500"));
    QCOMPARE(m_model->cellText(0, Spanne), QString("32,91")); // (6.55 − 4.3946) / 6.55
    // Position 2 (net type, no sales price): the net price as entered.
    QVERIFY(m_editor->edit(1, Netto, "7", none));
    QCOMPARE(m_model->cellText(1, VkExcl), QString("9,8000")); // 7 × 1.4
    QCOMPARE(m_model->cellText(1, VkIncl), QString("11,66"));
    QCOMPARE(m_model->cellText(1, Spanne), QString("28,57"));
    // Switching it to percent: the net price comes from the discounts.
    QVERIFY(m_editor->edit(1, RabTyp, "%", none));
    QCOMPARE(m_model->cellText(1, Netto), QString("7,8000"));
    QCOMPARE(m_model->cellStyle(1, Netto), 3);
    QCOMPARE(m_model->cellStyle(1, Rab1), 1);
    const auto again = reloaded();
    for (int r = 0; r < 3; ++r)
        QCOMPARE(line(*again, r), line(*m_model, r));
    // Only the properties of the column table were written; the margin the
    // server holds is its own.
    QSet<QString> table;
    for (int c = 0; c < kColumns; ++c)
        if (ColumnOf(c).property)
            table << QString::fromUtf16(ColumnOf(c).property);
    int written = 0;
    for (auto it = m_calls.cbegin(); it != m_calls.cend(); ++it)
        if (it.key().startsWith("SET ")) {
            ++written;
            QVERIFY2(table.contains(it.key().mid(4)), qPrintable(it.key()));
        }
    QVERIFY(written >= 5);
    QCOMPARE(m_calls.value("SET spanne"), 0);
}

void TestPositionsEdit::goodsGroupBringsItsData() {
    ListedPrompts none({});
    // 1500 is a group of department 11 with VAT code 2 (7 %).
    QVERIFY(m_editor->edit(0, Wargr, "1500", none));
    QCOMPARE(m_model->cellText(0, VkRabgr), QString("1500.A"));
    QCOMPARE(m_model->cellText(0, Abt), QString("11"));
    QCOMPARE(m_model->cellText(0, Ust), QString("7"));
    QCOMPARE(m_model->cellText(0, VkIncl), QString("7,01")); // 6.55 × 1.07
    QCOMPARE(m_calls.value("getwgdaten"), 1);
    QCOMPARE(line(*reloaded(), 0), line(*m_model, 0));
}

void TestPositionsEdit::unitChangesAskForTheirFactor() {
    // The order unit set to the packing unit asks for the factor, proposing
    // the pieces per pack; set to the sales unit it is 1 without asking.
    ListedPrompts factor({"10"});
    QVERIFY(m_editor->edit(0, BeEinh, "Ktn", factor));
    QCOMPARE(factor.asked, QStringList{"Eingabe Faktor"});
    QCOMPARE(m_model->cellText(0, Fakt), QString("10,0000"));
    ListedPrompts none({});
    QVERIFY(m_editor->edit(0, BeEinh, "Pak", none));
    QVERIFY(none.asked.isEmpty());
    QCOMPARE(m_model->cellText(0, Fakt), QString("1,0000"));
    // VRE asks for VRM, ERE for EVM; "per" shows the new ERE.
    ListedPrompts vrm({"2,5"});
    QVERIFY(m_editor->edit(0, Vre, "m", vrm));
    QCOMPARE(vrm.asked, QStringList{"Eingabe VRM"});
    QCOMPARE(m_model->cellText(0, Vrm), QString("2,5000"));
    ListedPrompts evm({"0"});
    QVERIFY(!m_editor->edit(0, Ere, "Ktn", evm));
    QCOMPARE(m_editor->message(), QString("Keine gültige Zahl: 0"));
    ListedPrompts evm2({"4"});
    QVERIFY(m_editor->edit(0, Ere, "Ktn", evm2));
    QCOMPARE(m_model->cellText(0, Evm), QString("4,0000"));
    QCOMPARE(m_model->cellText(0, EkPer), QString("1 Ktn"));
    QCOMPARE(line(*reloaded(), 0), line(*m_model, 0));
}

void TestPositionsEdit::listsOfTheEditedRow() {
    m_editor->beginEdit(0);
    QCOMPARE(m_lists.items(11), (QStringList{"Pak\nPaket", "Ktn\nKarton"}));
    // The article's dated conditions and sales prices, newest first.
    QVERIFY(!m_lists.items(10).isEmpty());
    QVERIFY(!m_lists.items(9).isEmpty());
    QCOMPARE(m_lists.items(10).first().section(u'\n', 0, 0), QString("01.11.2026"));
    QCOMPARE(m_lists.items(9).first().section(u'\n', 0, 0), QString("01.11.2026"));
    // The next row's lists replace them.
    m_editor->beginEdit(2);
    QCOMPARE(m_lists.items(11).first().section(u'\n', 0, 0), QString("Sack"));
}

void TestPositionsEdit::failingWriteBackRestoresTheCell() {
    m_fx->setClientMaker([](StandinEngine& e) {
        return std::make_unique<RefusingClient>(e, "sys_save", 6000, "Speichern verweigert");
    });
    m_fx->connection().close();
    const QString before = line(*m_model, 0);
    ListedPrompts none({});
    QVERIFY(!m_editor->edit(0, Bez1, "Neu", none));
    QCOMPARE(m_editor->message(), QString());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: FMPos.lipos Position speichern.\r\n\r\nFehler: 6000\r\n"
                     "Speichern verweigert\r\n\r\n"));
    QCOMPARE(line(*m_model, 0), before);
    QCOMPARE(line(*reloaded(), 0), before);
}

void TestPositionsEdit::assignmentEdgeCases() {
    // Its own article again: no duplicate, the server is asked again.
    QCOMPARE(m_editor->anrzuord("100100", 0, "100100"), -1);
    QCOMPARE(m_calls.value("anrzuord"), 1);
    // Another row's article: that row, nothing sent.
    QCOMPARE(m_editor->anrzuord("100100", 1, "100101"), 0);
    QCOMPARE(m_calls.value("anrzuord"), 1);
    // Inactive, unknown and foreign articles are refused; the row stays.
    const QString before = line(*m_model, 1);
    QCOMPARE(m_editor->anrzuord("100900", 1, "100101"), -2);
    QCOMPARE(m_editor->anrzuord("999999", 1, "100101"), -2);
    QCOMPARE(line(*m_model, 1), before);
    // Typed into the cell: the messages.
    ListedPrompts none({});
    QVERIFY(!m_editor->edit(1, ArtNr, "100100", none));
    QCOMPARE(m_ui->messages.takeLast().text, kAlreadyAssignedMessage);
    QVERIFY(!m_editor->edit(1, ArtNr, "100900", none));
    QCOMPARE(m_ui->messages.takeLast().text, kNotStoredMessage);
    // Removing: no duplicate check, the server gets the empty number; the
    // row is rebuilt without article, deviation and sales flag.
    m_model->setMarked(0, true);
    QVERIFY(m_editor->edit(0, ArtNr, "", none));
    QCOMPARE(m_model->cellText(0, ArtNr), QString());
    QCOMPARE(m_model->cellText(0, Abweichung), QString());
    QVERIFY(m_model->row(0).rowKey().endsWith("`N"));
    QVERIFY(m_model->row(0).marked());
    // And assigning anew: filled from the article.
    QVERIFY(m_editor->edit(0, ArtNr, "100100", none));
    QCOMPARE(m_model->cellText(0, Bez1), QString("Dübel 8x40 Nylon"));
    QCOMPARE(m_model->row(0).rowKey(), QString("1`J`J"));
    // Marks are the grid's own; everything else is what the server holds.
    m_model->setMarked(0, false);
    const auto again = reloaded();
    for (int r = 0; r < 3; ++r)
        QCOMPARE(line(*again, r), line(*m_model, r));
}

void TestPositionsEdit::batchSettingChecksEveryRow() {
    // VPE "Pak" is the sales unit of positions 1 and 2: only 3 takes it.
    ListedPrompts none({});
    const auto failures = m_editor->setOnRows({0, 1, 2}, Vpe, "Pak", none);
    QCOMPARE(failures.size(), 2);
    QCOMPARE(failures[0], qMakePair(0, kVpeIsVkeMessage));
    QCOMPARE(failures[1], qMakePair(1, kVpeIsVkeMessage));
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(m_model->cellText(2, Vpe), QString("Pak"));
    QCOMPARE(m_calls.value("sys_save"), 1);
    // A prompt is asked once for all rows.
    ListedPrompts evm({"2"});
    QVERIFY(m_editor->setOnRows({0, 1, 2}, Ere, "Ktn", evm).isEmpty());
    QCOMPARE(evm.asked, QStringList{"Eingabe EVM"});
    const auto again = reloaded();
    for (int r = 0; r < 3; ++r) {
        QCOMPARE(again->cellText(r, Ere), QString("Ktn"));
        QCOMPARE(again->cellText(r, Evm), QString("2,0000"));
    }
}

void TestPositionsEdit::cliEditsAndAssigns() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    QString out;
    QString err;
    QCOMPARE(standin.run({"candidates", "1"}, &out, &err), 0);
    QVERIFY(out.startsWith("M-1001\t100100\tDübel 8x40 Nylon\tJ\tJ\n"));
    QVERIFY(out.contains("M-0999\t100900\tDübel 6x30 Nylon\t\tN\n"));
    // A rejected edit: the message, exit 1, the row as it was.
    QCOMPARE(standin.run({"set", "1", "1", "29", "123"}, &out, &err), 1);
    QCOMPARE(err, kEanLengthMessage + "\n");
    QCOMPARE(out.section(u'\t', 29, 29), QString("4006209000013"));
    // An accepted one with its prompt answered, then the reload shows it.
    QCOMPARE(standin.run({"set", "1", "1", "34", "Ktn", "--input", "4"}, &out, &err), 0);
    const QString row = out.chopped(1);
    QCOMPARE(row.section(u'\t', 34, 34), QString("Ktn"));
    QCOMPARE(row.section(u'\t', 36, 36), QString("4,0000"));
    QCOMPARE(standin.run({"positions", "1"}, &out, &err), 0);
    QCOMPARE(out.section(u'\n', 0, 0), row);
    // The prompt without an answer is cancelled.
    QCOMPARE(standin.run({"set", "1", "1", "20", "m"}, &out, &err), 1);
    QCOMPARE(err, kCancelledMessage + "\n");
    // Assignment: refused, duplicate, removed.
    QCOMPARE(standin.run({"assign", "1", "2", "100900"}, &out, &err), 1);
    QCOMPARE(err, kNotStoredMessage + "\n");
    QCOMPARE(standin.run({"assign", "1", "2", "100100"}, &out, &err), 1);
    QCOMPARE(err, kAlreadyAssignedMessage + "\n");
    QCOMPARE(standin.run({"assign", "1", "1", ""}, &out, &err), 0);
    QCOMPARE(standin.run({"positions", "1"}, &out, &err), 0);
    QCOMPARE(out.section(u'\n', 0, 0).section(u'\t', 7, 7), QString());
    // Batch setting: the rows left alone on standard error.
    QCOMPARE(standin.run({"set-marked", "1", "1,2,3", "18", "Pak"}, &out, &err), 1);
    QCOMPARE(err, "Position 1: " + kVpeIsVkeMessage + "\nPosition 2: " + kVpeIsVkeMessage + "\n");
}

QTEST_GUILESS_MAIN(TestPositionsEdit)
#include "test_positions_edit.moc"
