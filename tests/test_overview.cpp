#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "PositionRows.h"
#include "ScriptedUserInterface.h"
#include "TestSupport.h"
#include "positions/OverviewChart.h"
#include "positions/PositionOverview.h"
#include "positions/PositionView.h"
#include "positions/PriceList.h"

#include <QImage>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <random>

using namespace PositionGrid;

namespace {

using Cells = QMap<int, QString>;

PositionRow row(int id, Cells cells) {
    cells.insert(1, QString::number(id));
    cells.insert(2, QStringLiteral("B-%1").arg(id));
    return PositionRowOf(cells);
}

// A row with an article and a deviation as the query gives it.
PositionRow deviating(int id, const QString& deviation, const QString& price = QString()) {
    return row(id, {{8, QStringLiteral("A%1").arg(id)}, {14, deviation}, {5, price}});
}

// The steps' lines of an overview with one count in a step (none: -1).
QStringList stepLines(int step) {
    QStringList lines;
    for (int s = 0; s < kDeviationSteps; ++s)
        lines << DeviationStepLabel(s) + '\t' + (s == step ? "1" : "0");
    return lines;
}

QString pdfPageText(const QString& path, int page) {
    QProcess p;
    p.start("pdftotext",
            {"-layout", "-f", QString::number(page), "-l", QString::number(page), path, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// What a delivery changes at a glance: the steps of "% Abw." with their
// bounds, the counts against the grid's own quick filters, the largest
// rises and falls, the overview page of the price list and quendra-cli
// overview.
class TestOverview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void stepOfEveryDeviation_data();
    void stepOfEveryDeviation();
    void countsAreTheQuickFiltersCounts();
    void largestRisesAndFalls();
    void priceListBeginsWithTheOverview();
    void cliPrintsTheOverview();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestOverview::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestOverview::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

void TestOverview::stepOfEveryDeviation_data() {
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<int>("step"); // -1: no comparison
    const Cells article{{8, "100100"}};
    auto with = [&](const QString& deviation) {
        Cells c = article;
        c.insert(14, deviation);
        return c;
    };
    QTest::newRow("below -20") << with("-20.01") << 0;
    QTest::newRow("-20 lies in -20 to -10") << with("-20") << 1;
    QTest::newRow("just above -20") << with("-19.99") << 1;
    QTest::newRow("-10 lies in -10 to -5") << with("-10") << 2;
    QTest::newRow("-5 lies in -5 to -2") << with("-5") << 3;
    QTest::newRow("just below -2") << with("-2.01") << 3;
    QTest::newRow("-2 lies in -2 to 0") << with("-2") << 4;
    QTest::newRow("just below 0") << with("-0.01") << 4;
    QTest::newRow("exactly 0") << with("0") << 5;
    QTest::newRow("a fall that rounds to 0") << with("-0.004") << 5;
    QTest::newRow("just above 0") << with("0.01") << 6;
    QTest::newRow("2 lies in 0 to 2") << with("2") << 6;
    QTest::newRow("just above 2") << with("2.01") << 7;
    QTest::newRow("5 lies in 2 to 5") << with("5") << 7;
    QTest::newRow("10 lies in 5 to 10") << with("10") << 8;
    QTest::newRow("20 lies in 10 to 20") << with("20") << 9;
    QTest::newRow("above 20") << with("20.01") << 10;
    QTest::newRow("a large rise") << with("12345.5") << 10;
    QTest::newRow("no deviation") << with("") << -1;
    QTest::newRow("no number") << with("n/a") << -1;
    QTest::newRow("no article: no deviation shown") << Cells{{14, "3"}} << -1;
}

void TestOverview::stepOfEveryDeviation() {
    QFETCH(Cells, cells);
    QFETCH(int, step);
    PositionGridModel grid;
    cells.insert(1, "1");
    grid.appendRows({PositionRowOf(cells)});
    QCOMPARE(DeviationStepOf(grid.row(0)), step);
    const PositionOverview o = PositionOverview::of(grid);
    QCOMPARE(o.lines().mid(PositionOverview::kCounts), stepLines(step));
    QCOMPARE(o.count(PositionOverview::OhneVergleich), step < 0 ? 1 : 0);
    QCOMPARE(o.count(PositionOverview::Unveraendert), step == kZeroStep ? 1 : 0);
    QCOMPARE(o.count(PositionOverview::Steigend), step > kZeroStep ? 1 : 0);
    QCOMPARE(o.count(PositionOverview::Fallend), step >= 0 && step < kZeroStep ? 1 : 0);
    // The grid filtered to a step shows the row in its own step only.
    PositionView view;
    view.setSourceModel(&grid);
    for (int s = 0; s < kDeviationSteps; ++s) {
        PositionFilter f;
        f.step = s;
        view.setFilter(f);
        QCOMPARE(view.rowCount(), s == step ? 1 : 0);
    }
}

void TestOverview::countsAreTheQuickFiltersCounts() {
    // Rows of every kind, many on a bound, a few "% Abw." in forms the grid
    // does not write itself (read back all the same).
    std::mt19937 random(34);
    const QStringList deviations{"",     "-20",  "-10",    "-5",    "-2",    "0",   "2",
                                 "5",    "10",   "20",     "-25.5", "-0.01", "0.5", "7.25",
                                 "33.3", "-3.3", "-0.004", "150",   "-99",   "x"};
    const QStringList oddForms{"1.234,50 %", " 3,00 %", "-,75 %", "12 %", ""};
    QVector<PositionRow> rows;
    for (int i = 0; i < 3000; ++i) {
        Cells c;
        const int article = int(random() % 4);
        if (article > 0)
            c.insert(8, article == 1 ? QString("  ") : QString("1%1").arg(i));
        c.insert(14, deviations[int(random() % deviations.size())]);
        if (random() % 3 == 0)
            c.insert(52, random() % 2 ? "-1.5" : "12");
        if (random() % 2)
            c.insert(50, random() % 4 ? "9.95" : "0");
        c.insert(5, QString::number(1 + random() % 500));
        PositionRow r = row(i, c);
        r.vkFlag = random() % 3 == 0;
        if (i % 97 == 0)
            r.setText(Abweichung, oddForms[(i / 97) % oddForms.size()]);
        rows << r;
    }
    PositionGridModel grid;
    grid.appendRows(rows);
    PositionView view;
    view.setSourceModel(&grid);
    // Over every row, and over the rows a text filter leaves (those with
    // "B-1…" as their order number).
    for (const QString& text : {QString(), QString("B-1")}) {
        PositionFilter basis;
        basis.text = text;
        basis.column = BestNr;
        view.setFilter(basis);
        const QList<int> shown = view.sourceRows();
        const PositionOverview o = PositionOverview::of(grid, shown);
        QCOMPARE(o.count(PositionOverview::Positionen), int(shown.size()));
        for (int c = PositionOverview::MitArtNr; c < PositionOverview::kCounts; ++c) {
            const auto count = PositionOverview::Count(c);
            PositionFilter f = basis;
            f.set(*PositionOverview::filterOf(count), true);
            view.setFilter(f);
            QVERIFY2(view.rowCount() > 0, qPrintable(PositionOverview::label(count)));
            QVERIFY2(o.count(count) == view.rowCount(),
                     qPrintable(QString("%1 in %2: %3, filter %4")
                                    .arg(PositionOverview::label(count), text)
                                    .arg(o.count(count))
                                    .arg(view.rowCount())));
        }
        int stepSum = 0;
        for (int s = 0; s < kDeviationSteps; ++s) {
            PositionFilter f = basis;
            f.step = s;
            view.setFilter(f);
            QCOMPARE(o.steps[size_t(s)], view.rowCount());
            stepSum += view.rowCount();
        }
        QVERIFY(o.steps[0] > 0 && o.steps[10] > 0 && o.steps[kZeroStep] > 0);
        QCOMPARE(stepSum, o.count(PositionOverview::Steigend) + o.count(PositionOverview::Fallend) +
                              o.count(PositionOverview::Unveraendert));
        QCOMPARE(o.compared(), stepSum);
    }
}

void TestOverview::largestRisesAndFalls() {
    PositionGridModel grid;
    QVector<PositionRow> rows;
    // 30 rises of 1 % to 30 %, the same 30 falls, ties at 5 % in rows 100
    // and 101, one row without an article.
    for (int i = 1; i <= 30; ++i) {
        rows << deviating(i, QString::number(i), "110");
        rows << deviating(1000 + i, QString::number(-i), "90");
    }
    rows << deviating(100, "30", "26") << deviating(101, "30", "13");
    rows << row(102, {{14, "999"}});
    grid.appendRows(rows);
    // Given in any order (a sorted grid): the same lists.
    QList<int> all;
    for (int r = grid.size() - 1; r >= 0; --r)
        all << r;
    const PositionOverview o = PositionOverview::of(grid, all);
    QCOMPARE(o.rises.size(), 20);
    QCOMPARE(o.falls.size(), 20);
    auto ids = [&](const QList<int>& list, int n) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << grid.row(list[i]).id;
        return out;
    };
    // 30 % three times, in load order; then 29 % down to 13 %.
    QCOMPARE(ids(o.rises, 5), (QStringList{"30", "100", "101", "29", "28"}));
    QCOMPARE(grid.row(o.rises.last()).id, QString("13"));
    QCOMPARE(ids(o.falls, 3), (QStringList{"1030", "1029", "1028"}));
    QCOMPARE(grid.row(o.falls.last()).id, QString("1011"));
    QCOMPARE(PositionOverview::of(grid, all, 0).rises.size(), 0);

    // The lists as shown: the old price worked back from the new one.
    OverviewTopModel model;
    model.setRows(&grid, o.rises);
    QCOMPARE(model.rowCount(), 20);
    QStringList first;
    for (int c = 0; c < OverviewTopModel::ColumnCount; ++c)
        first << model.headerData(c, Qt::Horizontal).toString() + '=' + model.cell(0, c);
    QCOMPARE(first, (QStringList{"Best.Nr.=B-30", "Bezeichnung=", "Preis alt=84,62",
                                 "Preis neu=110,00", "% Abw.=30,00 %"}));
    QCOMPARE(model.cell(1, OverviewTopModel::PreisAlt), QString("20,00"));
    model.setRows(&grid, o.falls);
    QCOMPARE(model.cell(0, OverviewTopModel::PreisAlt), QString("128,57"));
    QCOMPARE(model.cell(0, OverviewTopModel::Abweichung), QString("-30,00 %"));
    // A row that has gone (a new load) shows nothing.
    QCOMPARE(model.cell(25, OverviewTopModel::BestNr), QString());
    double old = 0;
    QVERIFY(!OldPrice(grid.row(grid.size() - 1), &old));
}

void TestOverview::priceListBeginsWithTheOverview() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QVERIFY2(qEnvironmentVariableIsEmpty("CI"), "pdftotext (poppler-utils) is needed");
        QSKIP("pdftotext (poppler-utils) is needed");
    }
    PositionGridModel grid;
    QVector<PositionRow> rows;
    for (int i = 1; i <= 40; ++i)
        rows << deviating(i, QString::number(i % 2 ? i : -i), "10");
    rows << row(41, {{52, "-4"}});
    grid.appendRows(rows);
    grid.setMarked(0, true);
    grid.setMarked(40, true);
    QTemporaryDir dir;
    const PositionDownload d{"x", "70001", QStringLiteral("Müller Baustoffe GmbH"), "2027-04-01"};
    for (bool marked : {false, true}) {
        PriceListOptions options;
        options.overview = true;
        options.markedOnly = marked;
        const QString path = dir.filePath(marked ? "marked.pdf" : "all.pdf");
        int pages = 0, withoutOverview = 0;
        QString error;
        QVERIFY2(WritePriceListPdf(path, grid, options, PriceListHeading::of(d), &error, &pages),
                 qPrintable(error));
        options.overview = false;
        QVERIFY(WritePriceListPdf(dir.filePath("plain.pdf"), grid, options, PriceListHeading::of(d),
                                  &error, &withoutOverview));
        QCOMPARE(pages, withoutOverview + 1);
        const QString first = pdfPageText(path, 1).simplified();
        QVERIFY2(first.contains("Übersicht: was die Lieferung an den Preisen ändert"),
                 qPrintable(first));
        QVERIFY(first.contains(QString("Seite 1 von %1").arg(pages)));
        QVERIFY(!first.contains("Best.-Nr."));
        // The counts of the printed positions, the chart's steps, the lists.
        QVERIFY2(first.contains(marked ? "Positionen 2" : "Positionen 41"), qPrintable(first));
        QVERIFY(first.contains(marked ? "Steigend 1" : "Steigend 20"));
        QVERIFY(first.contains("Spanne unter 0 1"));
        QVERIFY(first.contains(marked ? "(% Abw.): 1 Position mit Vergleich"
                                      : "(% Abw.): 40 Positionen mit Vergleich"));
        QVERIFY(first.contains("Die größten Steigerungen"));
        QVERIFY(first.contains("Die größten Senkungen"));
        QCOMPARE(first.contains("B-39"), !marked);
        QCOMPARE(first.contains("B-40"), !marked);
        QVERIFY(first.contains("B-1 "));
        const QString second = pdfPageText(path, 2);
        QVERIFY(second.contains("Best.-Nr."));
        QVERIFY(second.contains(QString("Seite 2 von %1").arg(pages)));
    }
    // On a low page (landscape) the lists are shortened rather than run
    // into the footer.
    PriceListOptions options;
    options.overview = true;
    const QString path = dir.filePath("landscape.pdf");
    int pages = 0;
    {
        QPdfWriter writer(path);
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        PriceListDocument document(grid, options, PriceListHeading::of(d));
        QVERIFY(document.print(writer));
        pages = document.pageCount();
    }
    const QString first = pdfPageText(path, 1);
    QVERIFY2(first.simplified().endsWith(QString("Seite 1 von %1").arg(pages)), qPrintable(first));
    const int listed = int(first.count(QRegularExpression("\\bB-\\d+\\b")));
    QVERIFY2(listed >= 20 && listed < 40, qPrintable(QString::number(listed)));
}

void TestOverview::cliPrintsTheOverview() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why, {"--demo-positions", "300"}), qPrintable(why));
    QString out, err;
    // Download 1 of the demo company: three assigned positions, all dearer.
    QCOMPARE(standin.run({"overview", "1"}, &out, &err), 0);
    QCOMPARE(err, QString());
    QCOMPARE(out, QString("Positionen\t3\nMit Art.-Nr.\t3\nOhne Art.-Nr.\t0\nSteigend\t3\n"
                          "Fallend\t0\nUnverändert\t0\nOhne Vergleich\t0\nSpanne unter 0\t0\n"
                          "Neue VK-Preise\t2\nunter -20 %\t0\n-20 bis -10 %\t0\n-10 bis -5 %\t0\n"
                          "-5 bis -2 %\t0\n-2 bis 0 %\t0\n0 %\t0\n0 bis 2 %\t0\n2 bis 5 %\t2\n"
                          "5 bis 10 %\t1\n10 bis 20 %\t0\nüber 20 %\t0\n"));
    // Download 3 with the positions without article: nothing to compare.
    QCOMPARE(standin.run({"overview", "3", "--filter", "ohne-artnr"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 0, 8), QString("Positionen\t3\nMit Art.-Nr.\t0\nOhne Art.-Nr.\t3\n"
                                              "Steigend\t0\nFallend\t0\nUnverändert\t0\n"
                                              "Ohne Vergleich\t3\nSpanne unter 0\t0\n"
                                              "Neue VK-Preise\t3"));
    // The generated download: each count is what positions shows with the
    // same filter; with the PNG of the chart.
    QCOMPARE(standin.run({"downloads"}, &out, &err), 0);
    const QString key = out.section('\n', 0, 0).section('\t', -1);
    const QString png = standin.temp("chart.png");
    QCOMPARE(standin.run({"overview", key, "--png", png}, &out, &err), 0);
    QCOMPARE(err, QString());
    QHash<QString, int> counts;
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), PositionOverview::kCounts + kDeviationSteps);
    for (const QString& line : lines)
        counts.insert(line.section('\t', 0, 0), line.section('\t', 1).toInt());
    QCOMPARE(counts.value("Positionen"), 300);
    const QList<std::pair<QString, QString>> filters{{"Mit Art.-Nr.", "mit-artnr"},
                                                     {"Ohne Art.-Nr.", "ohne-artnr"},
                                                     {"Steigend", "ek-hoeher"},
                                                     {"Fallend", "ek-niedriger"},
                                                     {"Spanne unter 0", "spanne-negativ"}};
    for (const auto& [label, name] : filters) {
        QCOMPARE(standin.run({"positions", key, "--filter", name}, &out, &err), 0);
        QVERIFY2(counts.value(label) == out.count('\n'), qPrintable(label));
    }
    QVERIFY(counts.value("Steigend") > 0);
    const QImage image(png);
    QCOMPARE(image.size(), QSize(1200, 700));
    // Bars were drawn: the red of the rises is there.
    bool red = false;
    for (int y = 0; y < image.height() && !red; y += 3)
        for (int x = 0; x < image.width() && !red; x += 3)
            red = image.pixelColor(x, y) == OverviewChart::colourOf(8);
    QVERIFY(red);

    // What goes wrong says so and prints nothing.
    QCOMPARE(standin.run({"overview", key, "--png", standin.temp("fehlt/chart.png")}, &out, &err),
             1);
    QCOMPARE(out, QString());
    QCOMPARE(err, "PNG kann nicht geschrieben werden: " + standin.temp("fehlt/chart.png") + "\n");
    QCOMPARE(standin.run({"overview", "99"}, &out, &err), 1);
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("quendra-cli: Download 99 nicht gefunden\n"));
    QCOMPARE(standin.run({"overview", "1", "--filter", "ek-gleich"}, &out, &err), 2);
    QCOMPARE(err, QString("quendra-cli: unknown filter ek-gleich (ohne-artnr, mit-artnr, "
                          "spanne-negativ, ek-hoeher, ek-niedriger, nicht-verbucht)\n"));
    QCOMPARE(standin.run({"overview"}, &out, &err), 2);
    QCOMPARE(err, QString("usage: quendra-cli --connect \"...\" overview KEY [--filter NAME]... "
                          "[--png FILE]\n"));
    QCOMPARE(out, QString());
    // The price list's first page on request.
    QCOMPARE(standin.run({"print", "1", "--pdf", standin.temp("a.pdf"), "--overview"}, &out, &err),
             0);
    QCOMPARE(out, QString("2\t3\n"));
}

QTEST_MAIN(TestOverview)
#include "test_overview.moc"
