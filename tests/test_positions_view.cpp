#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "PositionRows.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "conditions/Posting.h"
#include "positions/PositionEdit.h"
#include "positions/PositionView.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <random>

using namespace PositionGrid;

namespace {

using Cells = QMap<int, QString>;

// The grid rows a view shows, by their position ids, in shown order.
QStringList shownIds(const PositionView& view) {
    QStringList ids;
    for (int r = 0; r < view.rowCount(); ++r)
        ids << view.grid()->row(view.sourceRow(r)).id;
    return ids;
}

// A row with an id and the given query columns.
PositionRow row(const QString& id, Cells cells) {
    cells.insert(1, id);
    return PositionRowOf(cells);
}

} // namespace

// What the buyer sees of the grid: the quick filters, the text filter, the
// sort, find, the proxy's consistency, and that work done through a sorted
// and filtered view reaches the grid's own rows.
class TestPositionsView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numbersAreFormattedAsTheLocaleDoes();
    void quickFilters_data();
    void quickFilters();
    void quickFilterNames();
    void textFilter_data();
    void textFilter();
    void sortOrders_data();
    void sortOrders();
    void headerClicksCycleAndKeepTheCurrentRow();
    void rowsLoadedIntoAFilteredSortedView();
    void findGoesCellByCellAndRoundTheEnd();
    void previewCountsLeadToTheirRows();
    void statusTexts();

    // Against the stand-in.
    void init();
    void cleanup();
    void workThroughASortedFilteredViewReachesTheGridRows();
    void cliPrintsTheRowsAsTheWindowShowsThem();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestPositionsView::numbersAreFormattedAsTheLocaleDoes() {
    // The grid formats its numbers itself, fast; it must write what the
    // German locale writes, ties and signs included.
    const QLocale german(QLocale::German, QLocale::Germany);
    QList<double> values{0,
                         -0.0,
                         0.125,
                         1.125,
                         -0.125,
                         -0.001,
                         2.675,
                         0.005,
                         0.015,
                         0.025,
                         999.995,
                         999.9951,
                         1234.5,
                         -1234.5,
                         1e-300,
                         5e-324,
                         123456789.987654,
                         999999999.5,
                         1e9,
                         1e15,
                         -1e20,
                         0.00005,
                         0.5,
                         1.5,
                         2.5,
                         -2.5,
                         1e-5};
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 40000; ++i) {
        const double scale = std::pow(10.0, i % 12 - 3);
        values << unit(random) * scale;
        // Exact binary ties at two and four decimals.
        values << double(qint64(random() % 2000000) - 1000000) / 8.0;
        values << double(qint64(random() % 2000000)) / 1024.0;
        values << double(qint64(random() % 100000)) / 100.0;
    }
    for (double v : values)
        for (int decimals : {0, 2, 4}) {
            const QString expected = german.toString(v, 'f', decimals);
            if (FormatNumber(v, decimals) != expected)
                QFAIL(qPrintable(QStringLiteral("%1 with %2 decimals: %3, the locale: %4")
                                     .arg(v, 0, 'g', 17)
                                     .arg(decimals)
                                     .arg(FormatNumber(v, decimals), expected)));
        }
}

void TestPositionsView::quickFilters_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<Cells>("passes");
    QTest::addColumn<Cells>("fails");
    QTest::addColumn<bool>("vkFlagOfFailing");
    QTest::newRow("without article") << "ohne-artnr" << Cells{} << Cells{{8, "100100"}} << false;
    QTest::newRow("article of blanks")
        << "ohne-artnr" << Cells{{8, "  "}} << Cells{{8, "7"}} << false;
    QTest::newRow("with article") << "mit-artnr" << Cells{{8, "100100"}} << Cells{} << false;
    QTest::newRow("negative margin")
        << "spanne-negativ" << Cells{{52, "-0.01"}} << Cells{{52, "0"}} << false;
    QTest::newRow("no margin is not negative")
        << "spanne-negativ" << Cells{{52, "-3"}} << Cells{} << false;
    QTest::newRow("purchase price up")
        << "ek-hoeher" << Cells{{8, "1"}, {14, "0.5"}} << Cells{{8, "1"}, {14, "-0.5"}} << false;
    QTest::newRow("deviation without article is none")
        << "ek-hoeher" << Cells{{8, "1"}, {14, "3"}} << Cells{{14, "3"}} << false;
    QTest::newRow("purchase price down")
        << "ek-niedriger" << Cells{{8, "1"}, {14, "-12.5"}} << Cells{{8, "1"}, {14, "0"}} << false;
    QTest::newRow("purchase price same")
        << "ek-gleich" << Cells{{8, "1"}, {14, "0"}} << Cells{{8, "1"}, {14, "0.01"}} << false;
    QTest::newRow("no comparison")
        << "ek-ohne-vergleich" << Cells{{8, "1"}} << Cells{{8, "1"}, {14, "0"}} << false;
    QTest::newRow("not posted yet")
        << "nicht-verbucht" << Cells{} << Cells{{54, "Verbucht: Artikel 1 angelegt"}} << false;
    QTest::newRow("nothing posted") << "nicht-verbucht" << Cells{{54, "Unverändert"}}
                                    << Cells{{54, "Verbucht: EK-Preis"}} << false;
    QTest::newRow("posting refused")
        << "nicht-verbucht" << Cells{{54, "Artikel inaktiv, nichts verbucht"}}
        << Cells{{54, "Verbucht: Stammdaten"}} << false;
    QTest::newRow("new sales price")
        << "neue-vk-preise" << Cells{{50, "12.5"}} << Cells{{50, "12.5"}} << true;
    QTest::newRow("no sales price is none")
        << "neue-vk-preise" << Cells{{50, "0.01"}} << Cells{{50, "0"}} << false;
    QTest::newRow("net above sales price") << "netto-ueber-vk" << Cells{{45, "10"}, {50, "9.99"}}
                                           << Cells{{45, "10"}, {50, "10"}} << false;
    QTest::newRow("net per quantity and factor")
        << "netto-ueber-vk" << Cells{{45, "100"}, {12, "10"}, {32, "2"}, {50, "19"}}
        << Cells{{45, "100"}, {12, "10"}, {32, "2"}, {50, "20"}} << false;
}

void TestPositionsView::quickFilters() {
    QFETCH(QString, name);
    QFETCH(Cells, passes);
    QFETCH(Cells, fails);
    QFETCH(bool, vkFlagOfFailing);
    const auto filter = QuickFilterOf(name);
    QVERIFY(filter);
    PositionGridModel model;
    PositionRow failing = row("2", fails);
    failing.vkFlag = vkFlagOfFailing;
    model.appendRows({row("1", passes), failing, row("3", passes)});
    QVERIFY(PositionMatches(*filter, model.row(0)));
    QVERIFY(!PositionMatches(*filter, model.row(1)));

    PositionView view;
    view.setSourceModel(&model);
    PositionFilter f;
    f.set(*filter, true);
    view.setFilter(f);
    QCOMPARE(shownIds(view), (QStringList{"1", "3"}));
    // A mark is a filter of its own, combined with "and".
    model.setMarked(2, true);
    f.set(QuickFilter::Markiert, true);
    view.setFilter(f);
    QCOMPARE(shownIds(view), QStringList{"3"});
    view.setFilter({});
    QCOMPARE(shownIds(view), (QStringList{"1", "2", "3"}));
}

void TestPositionsView::quickFilterNames() {
    for (QuickFilter f : AllQuickFilters()) {
        QCOMPARE(QuickFilterOf(QuickFilterName(f)), std::optional<QuickFilter>(f));
        QVERIFY(!QuickFilterCaption(f).isEmpty());
    }
    QCOMPARE(QuickFilterOf("ohne-artnr"), std::optional<QuickFilter>(QuickFilter::OhneArtNr));
    QCOMPARE(QuickFilterOf("Ohne-Artnr"), std::nullopt);
    const auto both = PositionFilter::fromNames("markiert+spanne-negativ");
    QVERIFY(both);
    QVERIFY(both->has(QuickFilter::Markiert) && both->has(QuickFilter::SpanneNegativ));
    QVERIFY(!both->has(QuickFilter::OhneArtNr));
    QCOMPARE(PositionFilter::fromNames("markiert+gibtsnicht"), std::nullopt);
    QVERIFY(PositionFilter::fromNames("")->isEmpty());
}

void TestPositionsView::textFilter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("case of umlauts") << "dübel" << -1 << QStringList{"1", "3"};
    QTest::newRow("capital umlauts") << "FLIEßESTRICH ÄUßERST" << -1 << QStringList{"2"};
    QTest::newRow("number as shown") << "5,10" << -1 << QStringList{"1"};
    QTest::newRow("thousands point") << "1.234,5" << -1 << QStringList{"2"};
    QTest::newRow("date as shown") << "01.02.2027" << -1 << QStringList{"3"};
    QTest::newRow("slash date") << "15/03" << -1 << QStringList{"1"};
    QTest::newRow("deviation") << ",50 %" << -1 << QStringList{"1"};
    QTest::newRow("order number in its column") << "m-1001" << 2 << QStringList{"1"};
    QTest::newRow("order number elsewhere") << "M-1001" << 9 << QStringList{};
    QTest::newRow("number in its column") << "100" << 33 << QStringList{"3"};
    QTest::newRow("letters never in a number") << "e" << 5 << QStringList{};
    QTest::newRow("none") << "Zange" << -1 << QStringList{};
    QTest::newRow("no line feed between cells") << "6x30 1" << -1 << QStringList{};
    QTest::newRow("a line feed looked for") << "6x30\n" << -1 << QStringList{};
    QTest::newRow("letters beyond Latin-1") << "łódź" << -1 << QStringList{"4"};
}

void TestPositionsView::textFilter() {
    QFETCH(QString, text);
    QFETCH(int, column);
    QFETCH(QStringList, ids);
    PositionGridModel model;
    model.appendRows({row("1", {{2, "M-1001"},
                                {3, "DÜBEL 6x30"},
                                {5, "5.1"},
                                {8, "9"},
                                {14, "0.5"},
                                {48, "15.03.2027"}}),
                      row("2", {{2, "M-2002"}, {3, "Fließestrich äußerst"}, {33, "1234.5"}}),
                      row("3", {{2, "M-1002"}, {3, "Dübel 8x40"}, {4, "01.02.2027"}, {33, "100"}}),
                      row("4", {{2, "PL-7"}, {3, "Fliesen ŁÓDŹ"}})});
    PositionView view;
    view.setSourceModel(&model);
    QSignalSpy shown(&view, &PositionView::shownChanged);
    PositionFilter f;
    f.text = text;
    f.column = column;
    view.setFilter(f);
    QCOMPARE(shownIds(view), ids);
    QVERIFY(!shown.isEmpty());
}

void TestPositionsView::sortOrders_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("values"); // query values of ids 1, 2, ...
    QTest::addColumn<QStringList>("ascending");
    QTest::addColumn<QStringList>("descending");
    // Empty cells last in both directions; equal values in load order.
    QTest::newRow("numbers as numbers")
        << int(PreisExcl) << QStringList{"10", "9", "", "100", "9"}
        << QStringList{"2", "5", "1", "4", "3"} << QStringList{"4", "1", "2", "5", "3"};
    QTest::newRow("negative margins")
        << int(Spanne) << QStringList{"-5", "3", "-12.5", "0"} << QStringList{"3", "1", "4", "2"}
        << QStringList{"2", "4", "1", "3"};
    QTest::newRow("dates as dates")
        << int(Datum) << QStringList{"02.01.2027", "31.12.2026", "", "01.02.2027"}
        << QStringList{"2", "1", "4", "3"} << QStringList{"4", "1", "2", "3"};
    QTest::newRow("purchase date list as dates")
        << int(EkDatAb) << QStringList{"02.01.2027", "31.12.2026", "01.02.2027", ""}
        << QStringList{"2", "1", "3", "4"} << QStringList{"3", "1", "2", "4"};
    QTest::newRow("texts in German order")
        << int(Bezeichnung) << QStringList{"Zange", "Öl", "apfel", "Äpfel", "", "Birne", "Ofen"}
        << QStringList{"3", "4", "6", "7", "2", "1", "5"}
        << QStringList{"1", "2", "7", "6", "3", "4", "5"};
    QTest::newRow("sharp s and accents")
        << int(Bezeichnung) << QStringList{"Masse", "Maße", "Mast", "Mäander", "Café", "Cafe"}
        << QStringList{"5", "6", "4", "1", "2", "3"} << QStringList{"3", "1", "2", "4", "5", "6"};
}

void TestPositionsView::sortOrders() {
    QFETCH(int, column);
    QFETCH(QStringList, values);
    QFETCH(QStringList, ascending);
    QFETCH(QStringList, descending);
    PositionGridModel model;
    const int queryColumn = column == Datum ? 4 : ColumnOf(column).queryColumn;
    for (int i = 0; i < values.size(); ++i) {
        Cells cells{{queryColumn, values[i]}};
        model.appendRows({row(QString::number(i + 1), cells)});
    }
    PositionView view;
    view.setSourceModel(&model);
    view.setSort(column, Qt::AscendingOrder);
    QCOMPARE(shownIds(view), ascending);
    view.setSort(column, Qt::DescendingOrder);
    QCOMPARE(shownIds(view), descending);
    view.setSort(-1);
    QStringList loadOrder;
    for (int i = 1; i <= values.size(); ++i)
        loadOrder << QString::number(i);
    QCOMPARE(shownIds(view), loadOrder);
}

void TestPositionsView::headerClicksCycleAndKeepTheCurrentRow() {
    PositionGridModel model;
    for (const char* price : {"3", "1", "2"})
        model.appendRows({row(QString::number(model.size() + 1), {{5, price}})});
    PositionView view;
    view.setSourceModel(&model);
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // A persistent index (the view's current cell) moves with its row.
    QPersistentModelIndex current = view.index(0, Bez1);
    view.cycleSort(PreisExcl);
    QCOMPARE(shownIds(view), (QStringList{"2", "3", "1"}));
    QCOMPARE(view.sortOrder(), Qt::AscendingOrder);
    QCOMPARE(current.row(), 2);
    QCOMPARE(view.mapToSource(current).row(), 0);
    view.cycleSort(PreisExcl);
    QCOMPARE(shownIds(view), (QStringList{"1", "3", "2"}));
    QCOMPARE(view.sortOrder(), Qt::DescendingOrder);
    view.cycleSort(PreisExcl);
    QCOMPARE(view.sortColumn(), -1);
    QCOMPARE(shownIds(view), (QStringList{"1", "2", "3"}));
    QCOMPARE(current.row(), 0);
    // Another column starts ascending again.
    view.cycleSort(PreisExcl);
    view.cycleSort(Bezeichnung);
    QCOMPARE(view.sortColumn(), int(Bezeichnung));
    QCOMPARE(view.sortOrder(), Qt::AscendingOrder);
}

void TestPositionsView::rowsLoadedIntoAFilteredSortedView() {
    // Rows come in batches, as a load hands them over; the view keeps its
    // filter and sort, and an edit moves or hides no row until the view is
    // refreshed.
    PositionGridModel model;
    PositionView view;
    QAbstractItemModelTester tester(&view, QAbstractItemModelTester::FailureReportingMode::QtTest);
    view.setSourceModel(&model);
    PositionFilter f;
    f.set(QuickFilter::OhneArtNr, true);
    view.setFilter(f);
    view.setSort(PreisExcl, Qt::DescendingOrder);
    auto batch = [](int from, int to) {
        QVector<PositionRow> rows;
        for (int i = from; i <= to; ++i)
            rows << row(QString::number(i), {{5, QString::number((i * 7) % 10)},
                                             {8, i % 3 == 0 ? QString("A%1").arg(i) : QString()}});
        return rows;
    };
    model.appendRows(batch(1, 10));
    model.appendRows(batch(11, 25));
    QCOMPARE(view.rowCount(), 17);
    double previous = 1e9;
    for (int r = 0; r < view.rowCount(); ++r) {
        const PositionRow& shown = model.row(view.sourceRow(r));
        QVERIFY(shown.text(ArtNr).isEmpty());
        QVERIFY(shown.number(PreisExcl) <= previous);
        previous = shown.number(PreisExcl);
        QCOMPARE(view.viewRow(view.sourceRow(r)), r);
    }
    // Ties in load order: prices 4 are ids 2, 12, 22 (none divisible by 3).
    QStringList fours;
    for (const QString& id : shownIds(view))
        if (model.row(id.toInt() - 1).number(PreisExcl) == 4)
            fours << id;
    QCOMPARE(fours, (QStringList{"2", "22"}));
    QCOMPARE(view.viewRow(11), -1); // id 12 has an article

    // An edit: the row stays where it is until the view is refreshed.
    const int top = view.sourceRow(0);
    model.setServerValue(top, PreisExcl, "0.5");
    model.setServerValue(top, ArtNr, "A-neu");
    QCOMPARE(view.sourceRow(0), top);
    QCOMPARE(view.index(0, PreisExcl).data().toString(), QString("0,50"));
    view.refresh();
    QCOMPARE(view.viewRow(top), -1);
    QCOMPARE(view.rowCount(), 16);
    // A new load keeps filter and sort.
    model.clear();
    QCOMPARE(view.rowCount(), 0);
    model.appendRows(batch(1, 6));
    QCOMPARE(shownIds(view), (QStringList{"4", "1", "5", "2"}));
}

void TestPositionsView::findGoesCellByCellAndRoundTheEnd() {
    PositionGridModel model;
    model.appendRows({row("1", {{2, "A-1"}, {3, "Kleber"}, {9, "Kleber extra"}}),
                      row("2", {{2, "A-2"}, {3, "Schraube"}}),
                      row("3", {{2, "A-3"}, {3, "Fliesenkleber"}, {5, "12.5"}})});
    PositionView view;
    view.setSourceModel(&model);
    auto at = [](const QModelIndex& i) { return QPoint(i.column(), i.row()); };
    QModelIndex found = view.find("KLEBER", QModelIndex(), true);
    QCOMPARE(at(found), QPoint(Bezeichnung, 0));
    found = view.find("kleber", found, true);
    QCOMPARE(at(found), QPoint(Bez1, 0));
    found = view.find("kleber", found, true);
    QCOMPARE(at(found), QPoint(Bezeichnung, 2));
    // Round the end back to the first row.
    found = view.find("kleber", found, true);
    QCOMPARE(at(found), QPoint(Bezeichnung, 0));
    // Backwards from there: the last match of the last row.
    found = view.find("kleber", found, false);
    QCOMPARE(at(found), QPoint(Bezeichnung, 2));
    // Numbers as shown; the only match is the start cell itself, found last.
    found = view.find("12,50", view.index(2, PreisExcl), true);
    QCOMPARE(at(found), QPoint(PreisExcl, 2));
    QVERIFY(!view.find("Dübel", QModelIndex(), true).isValid());
    // In a sorted view, shown order.
    view.setSort(Bezeichnung, Qt::DescendingOrder);
    found = view.find("kleber", QModelIndex(), true);
    QCOMPARE(view.sourceRow(found.row()), 0);
    QCOMPARE(found.row(), 1);
}

void TestPositionsView::previewCountsLeadToTheirRows() {
    // Every count of the posting preview is a link whose filter shows
    // exactly that many rows, with and without "Nur makierte".
    PositionGridModel model;
    model.appendRows({row("1", {{8, "1"}, {14, "2"}, {50, "10"}, {45, "12"}, {52, "-20"}}),
                      row("2", {{14, "0"}, {50, "5"}, {45, "1"}, {52, "80"}}),
                      row("3", {{8, "3"}, {14, "-1"}, {52, "-1"}}), row("4", {{8, "4"}, {14, "0"}}),
                      row("5", {}), row("6", {{8, "6"}, {50, "7"}, {45, "3"}})});
    PositionRow flagged = row("7", {{8, "7"}, {50, "7"}, {45, "9"}, {14, "5"}});
    flagged.vkFlag = true;
    model.appendRows({flagged});
    model.setMarked(0, true);
    model.setMarked(2, true);
    model.setMarked(6, true);
    PositionView view;
    view.setSourceModel(&model);
    const QRegularExpression link(QStringLiteral("<a href=\"filter:([^\"]*)\">([^<]*)</a>"));
    for (bool onlyMarked : {false, true}) {
        const PostingPreview preview = PostingPreview::of(model, onlyMarked);
        const QStringList lines = preview.linkedLines(onlyMarked);
        QCOMPARE(lines.size(), preview.lines().size());
        int links = 0;
        for (const QString& line : lines) {
            auto it = link.globalMatch(line);
            while (it.hasNext()) {
                const auto m = it.next();
                const auto filter = PositionFilter::fromNames(m.captured(1));
                QVERIFY2(filter, qPrintable(m.captured(1)));
                view.setFilter(*filter);
                QCOMPARE(QString::number(view.rowCount()), m.captured(2));
                ++links;
            }
            // The text without the links is the plain line.
            QString plain = line;
            plain.replace(link, QStringLiteral("\\2"));
            QCOMPARE(plain, preview.lines()[lines.indexOf(line)]);
        }
        QCOMPARE(links, 11);
    }
    QCOMPARE(PostingPreview::of(model, true).lines()[4],
             QString("Spanne unter 0: 2, Netto über VK-Excl: 2"));
}

void TestPositionsView::statusTexts() {
    QCOMPARE(PositionStatusText(100000, 100000, false), QString("100.000 Positionen"));
    QCOMPARE(PositionStatusText(3, 100000, true), QString("3 von 100.000 Positionen"));
    QCOMPARE(PositionStatusText(1, 1, false), QString("1 Position"));
    QCOMPARE(PositionStatusText(0, 1, true), QString("0 von 1 Position"));
    QCOMPARE(PositionLoadingText(23400, 100000),
             QString("Positionen werden geladen: 23.400 von 100.000"));
    QCOMPARE(PositionLoadingText(50, -1), QString("Positionen werden geladen: 50"));
}

void TestPositionsView::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestPositionsView::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

void TestPositionsView::workThroughASortedFilteredViewReachesTheGridRows() {
    // Twelve positions of supplier 70001; 0, 3, 6 and 9 have articles, the
    // price of position i is 1 + i/100.
    const PositionDownload download{FillDemoPositions(m_fx->engine(), 12), "70001", "Müller"};
    PositionGridModel model;
    PositionLists lists;
    QVERIFY(PositionLoad::loadLists(m_fx->connection(), download.supplier, lists));
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), download, model));
    QCOMPARE(model.size(), 12);
    PositionEditor editor(m_fx->connection(), model, lists, download);
    ListedPrompts none{{}};
    model.editHandler = [&](int r, int c, const QString& v) { return editor.edit(r, c, v, none); };
    auto fromServer = [&](int gridRow, int column) {
        PositionGridModel fresh;
        PositionLoad::loadGrid(m_fx->connection(), download, fresh);
        return fresh.cellText(gridRow, column);
    };

    PositionView view;
    view.setSourceModel(&model);
    PositionFilter f;
    f.set(QuickFilter::OhneArtNr, true);
    view.setFilter(f);
    view.setSort(PreisExcl, Qt::DescendingOrder);
    QCOMPARE(view.rowCount(), 8);
    QCOMPARE(view.sourceRow(0), 11);
    QCOMPARE(view.sourceRow(7), 1);

    // An edit of the first shown row is position 11's.
    QVERIFY(view.setData(view.index(0, Bez1), "Oben sortiert"));
    QCOMPARE(fromServer(11, Bez1), QString("Oben sortiert"));
    QCOMPARE(fromServer(1, Bez1), QString("Generierte Position 1"));
    QCOMPARE(view.index(0, Bez1).data().toString(), QString("Oben sortiert"));

    // The article of position 0, which the filter hides, is found by the
    // duplicate check: nothing is sent, the row of position 0 is named.
    const QString article = model.cellText(0, ArtNr);
    QVERIFY(!article.isEmpty());
    QVERIFY(!view.setData(view.index(1, ArtNr), article));
    QCOMPARE(editor.message(), QString("Artikel bereits zugeordnet"));
    QCOMPARE(m_ui->messages.last().text, QString("Artikel bereits zugeordnet"));
    QCOMPARE(fromServer(10, ArtNr), QString());
    QCOMPARE(editor.anrzuord(article, 10, QString()), 0);

    // "Mehrfachsetzen" takes the marked rows, shown or not.
    model.setMarked(view.sourceRow(2), true); // position 8
    model.setMarked(3, true);                 // hidden: has an article
    QCOMPARE(model.markedRows(), (QList<int>{3, 8}));
    QVERIFY(editor.setOnRows(model.markedRows(), 10, "Gesetzt", none).isEmpty());
    QCOMPARE(fromServer(3, 10), QString("Gesetzt"));
    QCOMPARE(fromServer(8, 10), QString("Gesetzt"));
    QCOMPARE(fromServer(7, 10), QString());

    // A posting runs over every row in load order, whatever is shown.
    PostingRun run(m_fx->connection());
    QList<int> posted;
    run.answered = [&](int r, const QString&) { posted << r; };
    QVERIFY(run.run(model, PostingContext::of(download), PostingOptions()));
    QCOMPARE(posted, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    run.onlyMarked = [] { return true; };
    posted.clear();
    QVERIFY(run.run(model, PostingContext::of(download), PostingOptions()));
    QCOMPARE(posted, (QList<int>{3, 8}));
    // The view kept its rows through all of it.
    QCOMPARE(view.rowCount(), 8);
    QCOMPARE(view.sourceRow(0), 11);
}

void TestPositionsView::cliPrintsTheRowsAsTheWindowShowsThem() {
    StandinProcess server(m_fx->path("view.db"), true, {"--demo-positions", "12"});
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const QString connect = connectOf(server);
    QString out, err;
    QCOMPARE(RunCli({"--connect", connect, "downloads"}, &out, &err), 0);
    const QString key = out.section(u'\n', 0, 0).section(u'\t', -1);
    auto orderNumbers = [&](const QStringList& options) {
        QString printed, errors;
        const int code = RunCli(QStringList{"--connect", connect, "positions", key} + options,
                                &printed, &errors);
        QStringList numbers;
        for (const QString& line : printed.split(u'\n', Qt::SkipEmptyParts))
            numbers << line.section(u'\t', BestNr, BestNr).section(u'-', 1);
        return QStringList{QString::number(code), errors} + numbers;
    };
    QCOMPARE(orderNumbers({"--filter", "mit-artnr"}), (QStringList{"0", "", "0", "3", "6", "9"}));
    QCOMPARE(orderNumbers(
                 {"--filter", "ohne-artnr", "--sort", "5", "--descending", "--text", "POSITION 1"}),
             (QStringList{"0", "", "11", "10", "1"}));
    QCOMPARE(orderNumbers({"--sort", "3"}),
             (QStringList{"0", "", "0", "1", "10", "11", "2", "3", "4", "5", "6", "7", "8", "9"}));
    QCOMPARE(orderNumbers({"--filter", "mit-artnr", "--filter", "nicht-verbucht"}),
             (QStringList{"0", "", "0", "3", "6", "9"}));
    QCOMPARE(orderNumbers({"--text", "keine solche"}), (QStringList{"0", ""}));
    // Wrong options say why and print nothing.
    QCOMPARE(orderNumbers({"--filter", "markiert"}),
             (QStringList{"2", "quendra-cli: unknown filter markiert (ohne-artnr, mit-artnr, "
                               "spanne-negativ, ek-hoeher, ek-niedriger, nicht-verbucht)\n"}));
    QCOMPARE(orderNumbers({"--sort", "53"}),
             (QStringList{"2", "quendra-cli: --sort takes a grid column from 0 to 52\n"}));
    QCOMPARE(orderNumbers({"--descending"}),
             (QStringList{"2", "quendra-cli: --descending needs --sort\n"}));
    // A download that is not there says so, as the other commands do.
    for (const char* command : {"positions", "candidates"}) {
        QString printed, errors;
        QCOMPARE(RunCli({"--connect", connect, command, "99"}, &printed, &errors), 1);
        QCOMPARE(printed, QString());
        QCOMPARE(errors, QString("quendra-cli: Download 99 nicht gefunden\n"));
    }
    // --timeout before the command is an option with its value; a negative
    // number is a value, not an option.
    QString printed, errors;
    QCOMPARE(
        RunCli({"--timeout", "30", "--connect", connect, "positions", key, "--filter", "mit-artnr"},
               &printed, &errors),
        0);
    QCOMPARE(printed.count(u'\n'), 4);
    const QString id = printed.section(u'\n', 0, 0).section(u'\t', -1).section(u'`', 0, 0);
    QCOMPARE(RunCli({"--connect", connect, "set", key, id, "22", "-5"}, &printed, &errors), 0);
    QCOMPARE(errors, QString());
    QCOMPARE(printed.section(u'\t', 22, 22), QString("-5"));
}

QTEST_GUILESS_MAIN(TestPositionsView)
#include "test_positions_view.moc"
