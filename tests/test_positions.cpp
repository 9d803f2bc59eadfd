#include "positions/PositionColumns.h"
#include "positions/PositionGridModel.h"
#include "positions/PositionLoad.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace PositionGrid;

namespace {

// A row of the query "pos": 55 columns, all empty but the ones given
// (1-based as the query counts).
QStringList queryRow(const QMap<int, QString>& values) {
    QStringList row;
    for (int c = 1; c <= 55; ++c)
        row << values.value(c);
    return row;
}

QString styles(const PositionRow& row) {
    QString s;
    for (int c = 0; c < kColumns; ++c)
        s += QChar(u'0' + PositionCellStyle(row, c));
    return s;
}

} // namespace

// The positions grid without a server: the columns, the row built from a
// query row, the cell styles, the lists and the model.
class TestPositions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columnTable();
    void deviationPattern_data();
    void deviationPattern();
    void rowOfAnAssignedAndAnUnassignedPosition();
    void discountCellStyles_data();
    void discountCellStyles();
    void fixedAndSalesPriceStyles();
    void listsFromComboRowsSkipForeignGroups();
    void modelKeepsRowsAndSignalsFlagChanges();
};

void TestPositions::columnTable() {
    QCOMPARE(int(Columns().size()), 53);
    QCOMPARE(Caption(0), QString("Übn"));
    QCOMPARE(Caption(13), QString("% Abw."));
    QCOMPARE(Caption(52), QString("Spanne"));
    // Every number column has a slot of its own, and back.
    QList<int> numberColumns;
    for (int c = 0; c < kColumns; ++c)
        if (ColumnOf(c).kind == CellKind::Number) {
            numberColumns << c;
            QCOMPARE(NumberColumn(NumberSlot(c)), c);
        } else {
            QCOMPARE(NumberSlot(c), -1);
        }
    QCOMPARE(numberColumns, (QList<int>{5,  19, 21, 22, 25, 26, 32, 33, 35, 36, 37,
                                        41, 42, 43, 44, 45, 46, 49, 50, 51, 52}));
    // The lists by column.
    QList<int> lists;
    for (int c : {14, 15, 16, 17, 18, 20, 23, 24, 27, 30, 31, 34, 38, 39, 40, 48})
        lists << ColumnOf(c).list;
    QCOMPARE(lists, (QList<int>{1, 2, 3, 4, 4, 4, 5, 13, 12, 11, 6, 4, 7, 10, 8, 9}));
}

void TestPositions::deviationPattern_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("below one") << "0.5"
                               << ",50 %";
    QTest::newRow("zero") << "0"
                          << ",00 %";
    QTest::newRow("rounded") << "12.345"
                             << "12,35 %";
    QTest::newRow("negative") << "-3"
                              << "-3,00 %";
    QTest::newRow("comma") << "7,25"
                           << "7,25 %";
    QTest::newRow("empty") << ""
                           << ",00 %";
}

void TestPositions::deviationPattern() {
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QCOMPARE(FormatDeviation(value), shown);
}

void TestPositions::rowOfAnAssignedAndAnUnassignedPosition() {
    const QMap<int, QString> common{
        {1, "17"},   {2, "M-1001"},      {3, "Dübel 6x30"}, {4, "01.01.2027"},  {5, "5.1"},
        {6, "1"},    {7, "PAK"},         {12, "100"},       {13, "STK"},        {14, "0.5"},
        {20, "100"}, {33, "1234.5"},     {38, ""},          {39, "01.01.2027"}, {40, "%"},
        {41, "10"},  {48, "15.02.2027"}, {54, "Neu"},       {55, "Befestigung"}};
    QMap<int, QString> assigned = common;
    assigned.insert(8, "100234");
    const PositionRow a = BuildPositionRow(queryRow(assigned));
    const PositionRow u = BuildPositionRow(queryRow(common));

    const QStringList cells = a.rowText().split(u'\n');
    QCOMPARE(cells.size(), 53);
    QCOMPARE(cells[0], QString());
    QCOMPARE(cells[1], QString("Neu"));
    QCOMPARE(cells[2], QString("M-1001"));
    QCOMPARE(cells[3], QString("Dübel 6x30"));
    QCOMPARE(cells[4], QString()); // date cell: typed, not in the row text
    QCOMPARE(cells[5], QString()); // number cell
    QCOMPARE(cells[6], QString("1 PAK"));
    QCOMPARE(cells[7], QString("100234"));
    QCOMPARE(cells[8], QString("Befestigung"));
    QCOMPARE(cells[12], QString("100 STK"));
    QCOMPARE(cells[13], QString(",50 %"));
    QCOMPARE(cells[34], QString("STK"));
    QCOMPARE(cells[39], QString("01/01/2027"));
    QCOMPARE(cells[48], QString("15/02/2027"));
    QCOMPARE(a.date, QDate(2027, 1, 1));
    QVERIFY(a.hasNumber(PreisExcl));
    QCOMPARE(a.number(PreisExcl), 5.1);
    QCOMPARE(a.number(35), 100.0); // EPM from query column 12
    QVERIFY(!a.hasNumber(Netto));
    QCOMPARE(a.rowKey(), QString("17`N`N"));

    // Without an article the deviation stays empty.
    QCOMPARE(u.text(Abweichung), QString());
    QCOMPARE(u.text(ArtNr), QString());
    QCOMPARE(u.text(EkDatAb), QString("01/01/2027"));

    PositionGridModel model;
    model.appendRows({a, u});
    QCOMPARE(model.cellText(0, PreisExcl), QString("5,10"));
    QCOMPARE(model.cellText(0, 33), QString("1.234,5000"));
    QCOMPARE(model.cellText(0, Vpi), QString("100"));
    QCOMPARE(model.cellText(0, Datum), QString("01.01.2027"));
    QCOMPARE(model.cellText(0, Netto), QString());
    QCOMPARE(model.cellText(1, Bezeichnung), QString("Dübel 6x30"));
}

void TestPositions::discountCellStyles_data() {
    QTest::addColumn<QString>("ekRabgr");
    QTest::addColumn<bool>("ekFlag");
    QTest::addColumn<QString>("rabTyp");
    QTest::addColumn<QString>("expected"); // columns 40, 41, 42, 43, 44, 45
    QTest::newRow("group, flag J, percent") << "A1" << true << "%"
                                            << "222222";
    QTest::newRow("group, flag N, net") << "A1" << false << "N"
                                        << "222222";
    QTest::newRow("no group, J, percent") << "" << true << "%"
                                          << "000002";
    QTest::newRow("no group, J, net") << "" << true << "N"
                                      << "022220";
    QTest::newRow("no group, J, empty type") << "" << true << ""
                                             << "022220";
    QTest::newRow("no group, N, percent") << "" << false << "%"
                                          << "111113";
    QTest::newRow("no group, N, net") << "" << false << "N"
                                      << "133331";
}

void TestPositions::discountCellStyles() {
    QFETCH(QString, ekRabgr);
    QFETCH(bool, ekFlag);
    QFETCH(QString, rabTyp);
    QFETCH(QString, expected);
    PositionRow row = BuildPositionRow(queryRow({{1, "5"}, {38, ekRabgr}, {40, rabTyp}}));
    row.ekFlag = ekFlag;
    QCOMPARE(styles(row).mid(RabTyp, 6), expected);

    // Locked cells refuse editing; open ones take it.
    PositionGridModel model;
    model.appendRows({row});
    for (int c = RabTyp; c <= Netto; ++c) {
        const bool locked = expected[c - RabTyp] >= u'2';
        QCOMPARE(bool(model.flags(model.index(0, c)) & Qt::ItemIsEditable), !locked);
        const bool orange = expected[c - RabTyp] == u'1' || expected[c - RabTyp] == u'3';
        QCOMPARE(model.index(0, c).data(Qt::BackgroundRole).isValid(), orange);
    }
}

void TestPositions::fixedAndSalesPriceStyles() {
    PositionRow row = BuildPositionRow(queryRow({{1, "5"}, {40, "%"}}));
    row.ekFlag = true;
    // Columns 1-6, 12, 13 and 52 locked; VK-Excl/VK-Incl orange while the
    // ERP has no sales price of the date.
    const QString expected = "0" + QString(6, '2') + QString(5, '0') + "22" + QString(26, '0') +
                             "00000" + "2" + "0000" + "11" + "2";
    QCOMPARE(styles(row), expected);
    row.vkFlag = true;
    QCOMPARE(styles(row).mid(VkExcl, 2), QString("22"));
    PositionGridModel model;
    model.appendRows({row});
    QVERIFY(!(model.flags(model.index(0, Stat)) & Qt::ItemIsEditable));
    QVERIFY(model.flags(model.index(0, Bez1)) & Qt::ItemIsEditable);
    QVERIFY(!model.index(0, RabTyp).data(Qt::BackgroundRole).isValid());
    row.ekFlag = false;
    model.appendRows({row});
    QCOMPARE(model.index(1, RabTyp).data(Qt::BackgroundRole).value<QBrush>().color(),
             QColor(255, 128, 64));
}

void TestPositions::listsFromComboRowsSkipForeignGroups() {
    PositionLists lists;
    QCOMPARE(lists.items(7), QStringList{QString()});
    QCOMPARE(lists.items(13), QStringList{QString()});
    const QStringList rows{
        "1|N|Normalartikel", "2|100|Befestigung",     "3|10|Baustoffe", "4|STK|Stück",
        "5|19|19",           "7|A1|Dübel A",          "9|X|fremd",      "6|Q|nicht hier",
        "12|K|Katalog",      "13|900001|Europalette", "|leer|"};
    QList<bool> taken;
    for (const QString& r : rows)
        taken << lists.addComboRow(r);
    QCOMPARE(taken,
             (QList<bool>{true, true, true, true, true, true, false, false, true, true, false}));
    lists.addFixedItems();
    QCOMPARE(lists.items(1), QStringList{"N\nNormalartikel"});
    QCOMPARE(lists.items(5), QStringList{"19\n19%"});
    QCOMPARE(lists.items(7), (QStringList{"", "A1\nDübel A"}));
    QCOMPARE(lists.items(13), (QStringList{"", "900001\nEuropalette"}));
    QCOMPARE(lists.items(6), (QStringList{"N\nNein", "J\nJa"}));
    QCOMPARE(lists.items(8), (QStringList{"N\nNetto", "%\nRabatt"}));
    QCOMPARE(lists.items(9), QStringList());
    QVERIFY(lists.contains(4, "STK"));
    QVERIFY(!lists.contains(4, "PAK"));
    QVERIFY(lists.contains(7, ""));
    QVERIFY(!lists.contains(1, "Q"));
    QCOMPARE(PositionLists::headers(10),
             (QStringList{"EK-Dat", "%/N", "Rab1", "Rab2", "Rab3", "Netto"}));
    // A new opening starts again.
    lists.reset();
    QCOMPARE(lists.items(2), QStringList());
}

void TestPositions::modelKeepsRowsAndSignalsFlagChanges() {
    PositionGridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVector<PositionRow> rows;
    for (int i = 1; i <= 25; ++i)
        rows << BuildPositionRow(queryRow({{1, QString::number(i)}, {3, "Zeile"}}));
    model.appendRows(rows.mid(0, 10));
    model.appendRows(rows.mid(10));
    QCOMPARE(model.rowCount(), 25);
    QCOMPARE(model.columnCount(), 53);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QString("Bezeichnung"));
    QCOMPARE(model.index(24, 0).data(PositionGridModel::RowKeyRole).toString(), QString("25`N`N"));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setFlags(3, true, false);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(model.row(3).rowKey(), QString("4`J`N"));
    model.setFlags(3, true, false); // no change, no signal
    QCOMPARE(changed.size(), 1);
    // While gathering, many flags become one signal over their rows.
    model.setGathering(true);
    model.setFlags(7, false, true);
    model.setFlags(20, true, true);
    QCOMPARE(changed.size(), 1);
    model.setGathering(false);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed[1][0].toModelIndex().row(), 7);
    QCOMPARE(changed[1][1].toModelIndex().row(), 20);
    QCOMPARE(model.index(20, VkExcl).data(PositionGridModel::StyleRole).toInt(), 2);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestPositions)
#include "test_positions.moc"
