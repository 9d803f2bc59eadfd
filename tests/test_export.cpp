#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "positions/PositionExport.h"
#include "positions/PositionLoad.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace PositionGrid;

namespace {

// A part of an .xlsx (a zip) as text; "" when it cannot be read.
QString zipPart(const QString& file, const QString& part) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, part});
    if (!unzip.waitForFinished(20000) || unzip.exitCode() != 0)
        return QString();
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

// The XML of one cell ("D2") of the sheet; "" when it is not there.
QString cellXml(const QString& sheet, const QString& ref) {
    const QRegularExpression re(QStringLiteral("<c r=\"%1\"[^>]*?(/>|>.*?</c>)").arg(ref));
    return re.match(sheet).captured(0);
}

// The number format code of a cell's style (s="N"), from styles.xml.
QString formatOf(const QString& styles, const QString& cell) {
    const QString s = QRegularExpression(QStringLiteral(" s=\"(\\d+)\"")).match(cell).captured(1);
    if (s.isEmpty())
        return QString();
    const QString xfs =
        styles.section(QStringLiteral("<cellXfs"), 1).section(QStringLiteral("</cellXfs>"), 0, 0);
    const QStringList xf = xfs.split(QStringLiteral("<xf "));
    const QString id = QRegularExpression(QStringLiteral("numFmtId=\"(\\d+)\""))
                           .match(xf.value(s.toInt() + 1))
                           .captured(1);
    return QRegularExpression(QStringLiteral("numFmtId=\"%1\" formatCode=\"([^\"]*)\"").arg(id))
        .match(styles)
        .captured(1)
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
}

} // namespace

// The grid taken to a spreadsheet: the workbook unpacked and read back, the
// .csv parsed, a cancelled and a failed export, the command line.
class TestExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void workbookHasTypedCellsInTheRowsOrder();
    void csvIsWhatGermanSpreadsheetsOpen();
    void csvFields_data();
    void csvFields();
    void proposedFileName_data();
    void proposedFileName();
    void cancelledOrFailedExportLeavesTheEarlierFile();
    void cliExportsTheRowsAsShown();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    PositionGridModel m_grid;
};

void TestExport::init() {
    StartDemoClient(m_fx, m_ui);
    m_grid.clear();
    QVERIFY(PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, m_grid));
    QCOMPARE(m_grid.size(), 3);
}

void TestExport::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

void TestExport::workbookHasTypedCellsInTheRowsOrder() {
    QVERIFY2(!QStandardPaths::findExecutable("unzip").isEmpty(),
             "unzip is needed; scripts/install-deps.sh installs it");
    const QString file = m_fx->path("positionen.xlsx");
    // Rows 2 and 0 of the grid, in that order.
    QList<int> progress;
    const PositionExportResult r =
        ExportPositions(file, ExportFormat::Xlsx, m_grid, {2, 0}, [&](int done, int total) {
            progress << done << total;
            return true;
        });
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.rows, 2);
    QCOMPARE(progress, (QList<int>{2, 2}));
    const QString sheet = zipPart(file, "xl/worksheets/sheet1.xml");
    const QString styles = zipPart(file, "xl/styles.xml");
    QVERIFY(!sheet.isEmpty());
    QVERIFY(zipPart(file, "xl/workbook.xml").contains("<sheet name=\"Positionen\""));
    // The German captions in the header row, frozen, with an autofilter.
    QVERIFY(cellXml(sheet, "A1").contains("<t>Übn</t>"));
    QVERIFY(cellXml(sheet, "N1").contains("<t>% Abw.</t>"));
    QVERIFY(cellXml(sheet, "BA1").contains("<t>Spanne</t>"));
    QVERIFY(sheet.contains("<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" "
                           "state=\"frozen\"/>"));
    QVERIFY(sheet.contains("<autoFilter ref=\"A1:BA3\"/>"));
    // Row 2 of the sheet is grid row 2 (M-2001), row 3 grid row 0 (M-1001).
    QVERIFY(cellXml(sheet, "C2").contains("<t>M-2001</t>"));
    QVERIFY(cellXml(sheet, "C3").contains("<t>M-1001</t>"));
    QVERIFY(cellXml(sheet, "D3").contains("<t>Dübel 8x40 Nylon</t>"));
    // Numbers as numbers with the column's decimals.
    const QString price = cellXml(sheet, "F3");
    QCOMPARE(QRegularExpression("<v>([^<]*)</v>").match(price).captured(1),
             QString::number(m_grid.row(0).number(PreisExcl)));
    QCOMPARE(formatOf(styles, price), QString("#,##0.00"));
    QCOMPARE(formatOf(styles, cellXml(sheet, "AT3")), QString("#,##0.0000")); // Netto
    QCOMPARE(formatOf(styles, cellXml(sheet, "T3")), QString("#,##0"));       // VPI
    // Dates as dates: "Datum" and "EK-Dat ab" (01.11.2026 is day 46327).
    const QString date = cellXml(sheet, "E3");
    QVERIFY2(date.contains("<v>46327</v>"), qPrintable(date));
    QCOMPARE(formatOf(styles, date), QString("dd.mm.yyyy"));
    QVERIFY(cellXml(sheet, "AN3").contains("<v>46327</v>"));
    // "% Abw." as a number; an empty cell is not written.
    const QString deviation = cellXml(sheet, "N3");
    QVERIFY(!deviation.contains("inlineStr"));
    QCOMPARE(formatOf(styles, deviation), QString("0.00\" %\""));
    QCOMPARE(cellXml(sheet, "A2"), QString());
}

void TestExport::csvIsWhatGermanSpreadsheetsOpen() {
    m_grid.setServerValue(0, Bez1, "Dübel; \"stark\"");
    m_grid.setServerValue(1, Bez1 + 1, "=SUMME(A1:A9)");
    m_grid.setServerValue(1, Brutto, "12345.5");
    const QString file = m_fx->path("positionen.csv");
    const PositionExportResult r = ExportPositions(file, ExportFormat::Csv, m_grid, {0, 1, 2});
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.rows, 3);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5); // header, three rows, nothing after the last line end
    QCOMPARE(lines[4], QString());
    QCOMPARE(lines[0].section(u';', 0, 3), QString("Übn;Stat;Best.Nr.;Bezeichnung"));
    QCOMPARE(lines[0].count(u';'), 52);
    // A field with a semicolon and quotes is quoted; the rest of the row
    // keeps its place.
    QVERIFY(lines[1].contains(";\"Dübel; \"\"stark\"\"\";"));
    const QString row2 = lines[2];
    QVERIFY(row2.contains(";'=SUMME(A1:A9);"));
    // Decimal comma, no points between thousands, the column's decimals.
    QVERIFY(row2.contains(";12345,5000;"));
    QCOMPARE(lines[1].split(u';')[4], QString("01.11.2026"));
    QCOMPARE(lines[1].split(u';')[5], m_grid.cellText(0, PreisExcl));
}

void TestExport::csvFields_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "Dübel 8x40"
                           << "Dübel 8x40";
    QTest::newRow("semicolon") << "a;b"
                               << "\"a;b\"";
    QTest::newRow("quote") << "24\" Zoll"
                           << "\"24\"\" Zoll\"";
    QTest::newRow("blank at the end") << "M-1 "
                                      << "\"M-1 \"";
    QTest::newRow("formula") << "=1+2"
                             << "'=1+2";
    QTest::newRow("minus") << "-Rabatt"
                           << "'-Rabatt";
    QTest::newRow("at") << "@SUMME"
                        << "'@SUMME";
    QTest::newRow("empty") << ""
                           << "";
}

void TestExport::csvFields() {
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(CsvField(text, true), field);
}

void TestExport::proposedFileName_data() {
    QTest::addColumn<QString>("supplier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file");
    QTest::newRow("umlauts") << "70001"
                             << "Müller Baustoffe GmbH"
                             << "Positionen 70001 Müller Baustoffe GmbH.xlsx";
    QTest::newRow("ß and accents") << "70002"
                                   << "Straßer & Söhne, Café-Bau"
                                   << "Positionen 70002 Straßer & Söhne, Café-Bau.xlsx";
    QTest::newRow("what no file name holds") << "70003"
                                             << "A/B: \"Bau\" <Nord>|Süd*?\\"
                                             << "Positionen 70003 A_B_ _Bau_ _Nord__Süd___.xlsx";
    QTest::newRow("tab and blanks") << "70004"
                                    << "  Holz\tund   Stein "
                                    << "Positionen 70004 Holz_und Stein.xlsx";
}

void TestExport::proposedFileName() {
    QFETCH(QString, supplier);
    QFETCH(QString, name);
    QFETCH(QString, file);
    QCOMPARE(ExportFileName(supplier, name), file);
}

void TestExport::cancelledOrFailedExportLeavesTheEarlierFile() {
    // 1200 rows, so that the progress is asked before the end.
    PositionGridModel big;
    QVector<PositionRow> rows;
    for (int i = 0; i < 1200; ++i)
        rows << m_grid.row(i % 3);
    big.appendRows(rows);
    QList<int> order;
    for (int i = 0; i < 1200; ++i)
        order << i;
    for (ExportFormat format : {ExportFormat::Xlsx, ExportFormat::Csv}) {
        const QString file = m_fx->path(format == ExportFormat::Csv ? "alt.csv" : "alt.xlsx");
        {
            QFile earlier(file);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("vorher");
        }
        const PositionExportResult r =
            ExportPositions(file, format, big, order, [](int done, int) { return done < 1000; });
        QVERIFY(!r.ok);
        QVERIFY(r.cancelled);
        QCOMPARE(r.error, QString("Export abgebrochen"));
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("vorher"));
        // Nothing is left beside it.
        QCOMPARE(QDir(m_fx->path(".")).entryList({".quendra-export-*"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }
    const QString missing = m_fx->path("fehlt/positionen.xlsx");
    for (ExportFormat format : {ExportFormat::Xlsx, ExportFormat::Csv}) {
        const PositionExportResult r = ExportPositions(missing, format, m_grid, {0});
        QVERIFY(!r.ok);
        QVERIFY(!r.cancelled);
        QCOMPARE(r.error, "Datei kann nicht geschrieben werden: " + missing);
    }
    QCOMPARE(ExportPositions(m_fx->path("x.csv"), ExportFormat::Csv, m_grid, {0, 7}).error,
             QString("Keine solche Zeile: 7"));
}

void TestExport::cliExportsTheRowsAsShown() {
    QVERIFY2(!QStandardPaths::findExecutable("unzip").isEmpty(),
             "unzip is needed; scripts/install-deps.sh installs it");
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    const QString xlsx = m_fx->path("cli.xlsx");
    const QString csv = m_fx->path("cli.csv");
    QString out, err;
    QCOMPARE(
        standin.run({"export", "1", "--xlsx", xlsx, "--csv", csv, "--sort", "2", "--descending"},
                    &out, &err),
        0);
    QCOMPARE(err, QString());
    QCOMPARE(out, xlsx + "\t3\n" + csv + "\t3\n");
    const QString sheet = zipPart(xlsx, "xl/worksheets/sheet1.xml");
    QVERIFY(cellXml(sheet, "C2").contains("<t>M-2001</t>"));
    QVERIFY(cellXml(sheet, "C4").contains("<t>M-1001</t>"));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll().mid(3)).split("\r\n");
    QCOMPARE(lines[1].section(u';', 2, 2), QString("M-2001"));
    // A filter: only the rows it shows.
    QCOMPARE(standin.run({"export", "1", "--csv", csv, "--text", "schraube"}, &out, &err), 0);
    QCOMPARE(out, csv + "\t1\n");
    // Failures say why.
    QCOMPARE(standin.run({"export", "99", "--csv", csv}, &out, &err), 1);
    QCOMPARE(err, QString("quendra-cli: Download 99 nicht gefunden\n"));
    QCOMPARE(standin.run({"export", "1"}, &out, &err), 2);
    QVERIFY(err.startsWith("usage: quendra-cli --connect \"...\" export KEY"));
    const QString missing = m_fx->path("fehlt/x.csv");
    QCOMPARE(standin.run({"export", "1", "--csv", missing}, &out, &err), 1);
    QCOMPARE(err, "Datei kann nicht geschrieben werden: " + missing + "\n");
}

QTEST_GUILESS_MAIN(TestExport)
#include "test_export.moc"
