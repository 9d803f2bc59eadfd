#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "ScriptedUserInterface.h"
#include "TestSupport.h"
#include "positions/PriceList.h"

#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The text of a PDF as poppler reads it, one page after the other (form
// feeds between pages).
QString pdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished(60000);
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// How often each order number of the generated download ("Gss-i") occurs.
QHash<QString, int> orderNumbers(const QString& text) {
    QHash<QString, int> seen;
    static const QRegularExpression re(QStringLiteral("\\bG\\d\\d-\\d+\\b"));
    auto it = re.globalMatch(text);
    while (it.hasNext())
        ++seen[it.next().captured(0)];
    return seen;
}

} // namespace

// The price list as a PDF, read back with poppler: pages, every position
// once, the heading on every page, the choices of the print window.
class TestPriceList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void everyPositionOnceWithItsHeading();
    void withoutPurchasePrices();
    void markedOnly();
    void groupedByDiscountGroup();
    void emptyDownloadIsOnePage();
    void laidOutOncePerPaper();
    void numbersAreNeverCut();
    void captionsAreNeverCut();
    void keysWholeDescriptionsWrapped();
    void cliWritesThePdf();

private:
    QString write(const PositionGridModel& grid, const PriceListOptions& options,
                  int* pages = nullptr);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestPriceList::initTestCase() {
    // The checks read the PDFs back: on CI poppler must be there.
    if (!qEnvironmentVariableIsEmpty("CI"))
        QVERIFY(!QStandardPaths::findExecutable("pdftotext").isEmpty());
}

#define REQUIRE_POPPLER()                                                                          \
    if (QStandardPaths::findExecutable("pdftotext").isEmpty() ||                                   \
        QStandardPaths::findExecutable("pdfinfo").isEmpty())                                       \
    QSKIP("pdftotext and pdfinfo (poppler-utils) are needed; scripts/install-deps.sh "             \
          "installs them")

void TestPriceList::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestPriceList::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

QString TestPriceList::write(const PositionGridModel& grid, const PriceListOptions& options,
                             int* pages) {
    const QString path = m_dir.filePath(QString("list%1.pdf").arg(++m_files));
    const PositionDownload d{"x", "70001", QStringLiteral("Müller Baustoffe GmbH"), "2027-04-01"};
    QString error;
    if (!WritePriceListPdf(path, grid, options, PriceListHeading::of(d), &error, pages))
        qWarning() << error;
    return path;
}

void TestPriceList::everyPositionOnceWithItsHeading() {
    REQUIRE_POPPLER();
    const QString key = FillDemoPositions(m_fx->engine(), 2000);
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {key, "70001", QString()}, grid));
    QCOMPARE(grid.size(), 2000);
    int pages = 0;
    const QString path = write(grid, {}, &pages);
    QVERIFY(pages > 20);
    QCOMPARE(pdfPages(path), pages);
    const QString text = pdfText(path);
    const QHash<QString, int> seen = orderNumbers(text);
    QCOMPARE(seen.size(), 2000);
    for (int r = 0; r < grid.size(); ++r)
        QCOMPARE(seen.value(grid.cellText(r, PositionGrid::BestNr)), 1);
    // Each page: heading, table header, its number.
    const QStringList pageTexts = text.split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(pageTexts.size(), pages);
    for (int p = 0; p < pages; ++p) {
        const QString& page = pageTexts[p];
        QVERIFY2(page.contains("Preisliste 70001 Müller Baustoffe GmbH") ||
                     page.contains("Preisliste 70001 Müller Baustoﬀe GmbH"),
                 qPrintable(QString::number(p)));
        QVERIFY(page.contains("Download vom 01.04.2027"));
        QCOMPARE(page.count("Best.-Nr."), 1);
        QVERIFY(page.contains("Netto"));
        QVERIFY(page.contains(QString("Seite %1 von %2").arg(p + 1).arg(pages)));
    }
    // German numbers: the first row's net price and margin as the grid shows them.
    QVERIFY(text.contains(grid.cellText(0, PositionGrid::Netto)));
    QVERIFY(grid.cellText(0, PositionGrid::Netto).contains(','));
}

void TestPriceList::withoutPurchasePrices() {
    REQUIRE_POPPLER();
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, grid));
    PriceListOptions options;
    options.purchasePrices = false;
    const QString text = pdfText(write(grid, options));
    QVERIFY(text.contains("ohne Einkaufspreise"));
    QVERIFY(!text.contains("Netto"));
    QVERIFY(!text.contains("Spanne"));
    for (int r = 0; r < grid.size(); ++r) {
        QVERIFY(!text.contains(grid.cellText(r, PositionGrid::Netto)));
        QVERIFY(text.contains(grid.cellText(r, PositionGrid::VkIncl)));
    }
}

void TestPriceList::markedOnly() {
    REQUIRE_POPPLER();
    const QString key = FillDemoPositions(m_fx->engine(), 300);
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {key, "70001", QString()}, grid));
    for (int r : {5, 150, 299})
        grid.setMarked(r, true);
    PriceListOptions options;
    options.markedOnly = true;
    int pages = 0;
    const QString text = pdfText(write(grid, options, &pages));
    QCOMPARE(pages, 1);
    QStringList found = orderNumbers(text).keys();
    found.sort();
    QStringList expected{grid.cellText(5, PositionGrid::BestNr),
                         grid.cellText(150, PositionGrid::BestNr),
                         grid.cellText(299, PositionGrid::BestNr)};
    expected.sort();
    QCOMPARE(found, expected);
}

void TestPriceList::groupedByDiscountGroup() {
    REQUIRE_POPPLER();
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, grid));
    PriceListOptions options;
    options.grouping = PriceListOptions::Grouping::EkGroup;
    const QString text = pdfText(write(grid, options));
    // Positions 1 and 2 have no group, position 3 RG02: each under its heading.
    const qsizetype none = text.indexOf("ohne EK-Rabattgruppe");
    const qsizetype rg02 = text.indexOf("EK-Rabattgruppe RG02");
    QVERIFY(none >= 0 && rg02 > none);
    QVERIFY(text.indexOf("M-1001") > none && text.indexOf("M-1001") < rg02);
    QVERIFY(text.indexOf("M-2001") > rg02);
    options.grouping = PriceListOptions::Grouping::GoodsGroup;
    QVERIFY(pdfText(write(grid, options)).contains("Warengruppe 1200"));
}

void TestPriceList::emptyDownloadIsOnePage() {
    REQUIRE_POPPLER();
    PositionGridModel grid;
    int pages = 0;
    const QString path = write(grid, {}, &pages);
    QCOMPARE(pages, 1);
    QCOMPARE(pdfPages(path), 1);
    const QString text = pdfText(path);
    QCOMPARE(text.count("Best.-Nr."), 1);
    QVERIFY(text.contains("Seite 1 von 1"));
    QVERIFY(orderNumbers(text).isEmpty());
    QVERIFY(!text.contains("M-1001"));
}

void TestPriceList::laidOutOncePerPaper() {
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, grid));
    PriceListDocument document(grid, {}, {});
    const auto writeOn = [&](QPageSize::PageSizeId size) {
        QPdfWriter writer(m_dir.filePath(QString("paper%1.pdf").arg(++m_files)));
        writer.setPageSize(QPageSize(size));
        return document.print(writer);
    };
    // Painted again on the same paper: the layout stays; another paper lays
    // it out anew.
    QVERIFY(writeOn(QPageSize::A4));
    QVERIFY(writeOn(QPageSize::A4));
    QCOMPARE(document.layouts(), 1);
    QVERIFY(writeOn(QPageSize::A5));
    QCOMPARE(document.layouts(), 2);
    QCOMPARE(document.pageCount(), 1);
}

void TestPriceList::numbersAreNeverCut() {
    REQUIRE_POPPLER();
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, grid));
    grid.setServerValue(0, PositionGrid::Netto, "12345.6789");
    grid.setServerValue(0, PositionGrid::VkExcl, "123456.5");
    grid.setServerValue(0, PositionGrid::Spanne, "-100");
    const QString text = pdfText(write(grid, {}));
    for (int c : {int(PositionGrid::Netto), int(PositionGrid::VkExcl), int(PositionGrid::Spanne)})
        QVERIFY2(text.contains(grid.cellText(0, c)), qPrintable(grid.cellText(0, c)));
    QVERIFY(!text.contains(u'…'));
}

void TestPriceList::captionsAreNeverCut() {
    REQUIRE_POPPLER();
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, grid));
    for (bool purchasePrices : {true, false}) {
        PriceListOptions options;
        options.purchasePrices = purchasePrices;
        const QString text = pdfText(write(grid, options));
        // The table header is one line of every caption, each in full.
        QString header;
        for (const QString& line : text.split(u'\n'))
            if (line.contains("Best.-Nr."))
                header = line;
        const QStringList shown = header.split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(shown, PriceListDocument::captions(purchasePrices));
    }
}

void TestPriceList::keysWholeDescriptionsWrapped() {
    REQUIRE_POPPLER();
    PositionGridModel grid;
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, grid));
    // Long keys a reader looks for and a description of three lines' worth.
    const QString order = "MUE-000012345678-XL";
    const QString ean = "4006209000013";
    grid.setServerValue(0, PositionGrid::BestNr, order);
    grid.setServerValue(0, PositionGrid::BestEan, ean);
    grid.setServerValue(0, PositionGrid::ArtNr, "100100-ALT-0001");
    const QString description =
        "Hochleistungsdübel aus glasfaserverstärktem Polyamid für Beton, Packung zu 100";
    grid.setServerValue(1, PositionGrid::Bezeichnung, description);
    int pages = 0;
    QString text = pdfText(write(grid, {}, &pages));
    QCOMPARE(pages, 1);
    text.replace(QString::fromUtf8("\xef\xac\x80"), "ff"); // ligatures of the font
    QVERIFY2(text.contains(order), qPrintable(text));
    QVERIFY(text.contains(ean));
    QVERIFY(text.contains("100100-ALT-0001"));
    // Every column on the page, the last one too.
    QVERIFY(text.contains("Spanne"));
    QVERIFY(text.contains(grid.cellText(2, PositionGrid::Spanne)));
    // The description is on two lines, cut nowhere in the middle of a word.
    QVERIFY2(!text.contains(u'…'), qPrintable(text));
    QStringList words;
    for (const QString& w : description.split(u' '))
        words << w.chopped(w.endsWith(u',') ? 1 : 0);
    for (const QString& w : words)
        QVERIFY2(text.contains(w), qPrintable(w));
    QVERIFY(!text.contains(description));
}

void TestPriceList::cliWritesThePdf() {
    REQUIRE_POPPLER();
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    const QString pdf = standin.temp("liste.pdf");
    QString out;
    QString err;
    QCOMPARE(standin.run({"print", "1", "--pdf", pdf, "--marked", "2,3", "--group", "ekgrp",
                          "--no-purchase-prices"},
                         &out, &err),
             0);
    QCOMPARE(out, QString("1\t2\n"));
    const QString text = pdfText(pdf);
    QVERIFY(text.contains("M-1002"));
    QVERIFY(text.contains("M-2001"));
    QVERIFY(!text.contains("M-1001"));
    QVERIFY(!text.contains("Netto"));
    QCOMPARE(standin.run({"print", "1", "--pdf", pdf, "--group", "preis"}, &out, &err), 2);
    QCOMPARE(standin.run({"print", "1"}, &out, &err), 2);
    QCOMPARE(standin.run({"print", "99", "--pdf", pdf}, &out, &err), 1);
    QCOMPARE(err, QString("quendra-cli: Download 99 nicht gefunden\n"));
    QCOMPARE(standin.run({"print", "1", "--pdf", standin.temp("fehlt/x.pdf")}, &out, &err), 1);
    QCOMPARE(err, "PDF kann nicht geschrieben werden: " + standin.temp("fehlt/x.pdf") + "\n");
}

QTEST_MAIN(TestPriceList)
#include "test_price_list.moc"
