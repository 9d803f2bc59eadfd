#include "CliStandin.h"
#include "TestSupport.h"
#include "import/Bmecat.h"
#include "import/Delivery.h"
#include "import/PositionReader.h"
#include "import/PriceList.h"

#include <QDate>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <xlsxwriter.h>
#include <zip.h>

// BMEcat catalogues and spreadsheet price lists: recognised by content,
// read field by field into price lines, and imported through quendra-cli
// into a stand-in as a scheduled job runs them.
class TestCatalogues : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void recognisedByContent_data();
    void recognisedByContent();
    void catalogueProducts_data();
    void catalogueProducts();
    void priceListCells_data();
    void priceListCells();
    void mappingTextsAndProposal();
    void bigWorkbookReadToItsEnd();
    void catalogueEncodings_data();
    void catalogueEncodings();
    void workbookFaults_data();
    void workbookFaults();
    void storeGivesTheCheckedLines_data();
    void storeGivesTheCheckedLines();
    void cliImportsEachKind_data();
    void cliImportsEachKind();
    void brokenInputStoresNothing_data();
    void brokenInputStoresNothing();
    void priceUpdateTakesEarlierDownload();
    void mappingRememberedPerSupplier();

private:
    QString data(const QString& name) const { return m_data + u'/' + name; }
    QString temp(const QString& name) const { return m_cli.temp(name); }
    QMap<QString, QStringList> rows(const QString& key, const QList<int>& columns);
    int downloads();

    QString m_data;
    CliStandin m_cli;
    QString m_connect;
};

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A reader's lines as the check walks them: each line's fields 2 to 14 and
// 20 (EAN … price unit, discount group) and its extras, or why it stopped.
QStringList walked(PositionReader& reader) {
    QStringList out;
    auto shown = [&out](const std::optional<PositionReader::Stop>& stop) {
        if (stop)
            out << QStringLiteral("Halt: %1, Zeile %2: %3")
                       .arg(stop->issue.file)
                       .arg(stop->issue.fileLine)
                       .arg(stop->issue.reason);
        return stop.has_value();
    };
    if (shown(reader.prepare()))
        return out;
    const auto watch = [](const QString&, qint64, const QString&) {
        return std::optional<RecordIssue>();
    };
    const auto take = [&out](const SourceLine& s) {
        QStringList f;
        for (int i : {2, 3, 4, 5, 10, 11, 14, 20})
            f << s.line.field(i);
        out << f.join(u'|') + u'|' + s.extras.rabtyp + s.extras.netto;
        return std::optional<RecordIssue>();
    };
    // As the import's check: again when the first walk read a text the
    // other way than the whole file says.
    if (!shown(reader.walk(true, watch, take)) && reader.walkAgain()) {
        out.clear();
        shown(reader.walk(true, watch, take));
    }
    // What the check counted and noted besides.
    ImportResult counted;
    reader.report(counted);
    if (counted.recommended > 0 || counted.otherPrices > 0 || counted.deleted > 0)
        out << QStringLiteral("gezählt: %1 UVP, %2 andere, %3 gelöscht")
                   .arg(counted.recommended)
                   .arg(counted.otherPrices)
                   .arg(counted.deleted);
    for (const ImportNote& note : reader.passed())
        out << QStringLiteral("Hinweis Zeile %1: %2").arg(note.fileLine).arg(note.text);
    return out;
}

QString catalogue(const QString& products, const QString& header = QString()) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BMECAT version=\"2005\">"
                          "<HEADER><CATALOG><LANGUAGE>deu</LANGUAGE>%1</CATALOG></HEADER>\n"
                          "<T_NEW_CATALOG>\n%2\n</T_NEW_CATALOG></BMECAT>\n")
        .arg(header, products);
}

QString product(const QString& details, const QString& prices, const QString& order = {}) {
    return QStringLiteral("<PRODUCT><SUPPLIER_PID>P-1</SUPPLIER_PID><PRODUCT_DETAILS>%1"
                          "</PRODUCT_DETAILS><PRODUCT_ORDER_DETAILS>%3</PRODUCT_ORDER_DETAILS>"
                          "%2</PRODUCT>")
        .arg(details, prices, order);
}

QString prices(const QString& inner, const QString& date = {}) {
    return QStringLiteral("<PRODUCT_PRICE_DETAILS>%1%2</PRODUCT_PRICE_DETAILS>")
        .arg(date.isEmpty() ? QString()
                            : QStringLiteral("<DATETIME type=\"valid_start_date\"><DATE>%1</DATE>"
                                             "</DATETIME>")
                                  .arg(date),
             inner);
}

QString price(const QString& type, const QString& amount, const QString& more = {}) {
    return QStringLiteral("<PRODUCT_PRICE price_type=\"%1\"><PRICE_AMOUNT>%2</PRICE_AMOUNT>%3"
                          "</PRODUCT_PRICE>")
        .arg(type, amount, more);
}

const QString kGerman =
    QStringLiteral("<DESCRIPTION_SHORT lang=\"deu\">Zement</DESCRIPTION_SHORT>");

} // namespace

void TestCatalogues::initTestCase() {
    m_data = QFileInfo(QFINDTESTDATA("data/bmecat/katalog-2005.xml")).absolutePath() + "/..";
    QString why;
    QVERIFY2(m_cli.start(&why), qPrintable(why));
    m_connect = m_cli.connect();
}

void TestCatalogues::cleanupTestCase() {
    m_cli.stop();
}

int TestCatalogues::downloads() {
    return CliDownloadCount(m_connect);
}

QMap<QString, QStringList> TestCatalogues::rows(const QString& key, const QList<int>& columns) {
    // By order number and date.
    return CliPositionRows(m_connect, key, columns, [](const QStringList& cells) {
        return cells.value(2) + u'@' + cells.value(4);
    });
}

void TestCatalogues::recognisedByContent_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("summary");
    QTest::newRow("BMEcat 2005") << QStringList{"bmecat/katalog-2005.xml"}
                                 << "BMEcat 2005, 4 Artikel";
    QTest::newRow("BMEcat 1.2 with a prefix")
        << QStringList{"bmecat/katalog-12-latin1.xml"} << "BMEcat 1.2, 2 Artikel";
    QTest::newRow("workbook") << QStringList{"pricelist/preisliste.xlsx"}
                              << "Excel-Preisliste, Blatt Hinweise, 1 Zeile";
    QTest::newRow("CSV ;") << QStringList{"pricelist/liste-semikolon.csv"}
                           << "CSV-Preisliste, Trennzeichen Semikolon, UTF-8, 7 Zeilen";
    QTest::newRow("CSV ,") << QStringList{"pricelist/liste-komma.csv"}
                           << "CSV-Preisliste, Trennzeichen Komma, Windows-1252, 4 Zeilen";
    QTest::newRow("CSV tab") << QStringList{"pricelist/liste-tab.csv"}
                             << "CSV-Preisliste, Trennzeichen Tabulator, UTF-8, 3 Zeilen";
    QTest::newRow("two lists")
        << QStringList{"pricelist/liste-tab.csv", "pricelist/liste-komma.csv"}
        << "Eine Preisdatei je Import: bitte die Dateien einzeln importieren";
    QTest::newRow("a list and DATANORM")
        << QStringList{"datanorm/v4/DATANORM.001", "pricelist/liste-tab.csv"}
        << "Die Dateien gehören nicht zu einer Lieferung (verschiedene Formate oder Versionen)";
    QTest::newRow("XML of another kind")
        << QStringList{"other.xml"}
        << "Datei ist keine gültige erweiterte Importdatei (Zeichen <\\> fehlen)";
}

void TestCatalogues::recognisedByContent() {
    QFETCH(QStringList, files);
    QFETCH(QString, summary);
    QVERIFY(writeBytes(temp("other.xml"), "<?xml version=\"1.0\"?>\n<ORDER><ITEM/></ORDER>\n"));
    for (QString& f : files)
        f = f == u"other.xml" ? temp(f) : data(f);
    QCOMPARE(RecognizeDelivery(files).summary(), summary);
}

void TestCatalogues::catalogueProducts_data() {
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QStringList>("lines"); // EAN|BestNr|Text|Unit|Preis|Datum|PE|RG|extras
    const QString today = QDate::currentDate().toString("dd.MM.yyyy");
    const QString unit = "<ORDER_UNIT>C62</ORDER_UNIT><PRICE_QUANTITY>100.00</PRICE_QUANTITY>";
    QTest::newRow("list price, its date, German text, gtin")
        << catalogue(product("<DESCRIPTION_SHORT lang=\"eng\">Cement</DESCRIPTION_SHORT>" +
                                 kGerman +
                                 "<INTERNATIONAL_PID type=\"gtin\">4012345678901</"
                                 "INTERNATIONAL_PID>",
                             prices(price("net_list", "12.5"), "2027-03-01"), unit))
        << QStringList{"4012345678901|P-1|Zement|C62|12,5|01.03.2027|100||"};
    // Two prices of one date: the first (the second is noted).
    QTest::newRow("no date: the catalogue's, else today")
        << catalogue(
               product(kGerman, prices(price("net_list", "1")) + prices(price("net_list", "2"))),
               "<DATETIME type=\"generation_date\"><DATE>2026-11-02</DATE></DATETIME>")
               .replace("<DATETIME type=\"generation_date\"><DATE>2026-11-02</DATE></DATETIME>"
                        "</CATALOG>",
                        "</CATALOG>")
        << QStringList{"|P-1|Zement||1|" + today + "|1||",
                       "Hinweis Zeile 4: Artikel P-1: zweiter Preis zum " + today +
                           " nicht übernommen"};
    QTest::newRow("the catalogue's date")
        << catalogue(product(kGerman, prices(price("net_list", "1"))),
                     "<DATETIME type=\"generation_date\"><DATE>2026-11-02</DATE></DATETIME>")
        << QStringList{"|P-1|Zement||1|02.11.2026|1||"};
    QTest::newRow("later scales and other types left out")
        << catalogue(
               product(kGerman, prices(price("net_list", "9", "<LOWER_BOUND>10</LOWER_BOUND>") +
                                           price("nrp", "20") + price("udp_x", "3") +
                                           price("net_list", "10", "<LOWER_BOUND>1</LOWER_BOUND>"),
                                       "2027-01-01")))
        << QStringList{"|P-1|Zement||10|01.01.2027|1||", "gezählt: 1 UVP, 1 andere, 0 gelöscht"};
    QTest::newRow("list and net price")
        << catalogue(product(kGerman, prices(price("net_customer", "7.5") + price("net_list", "10"),
                                             "2027-01-01")))
        << QStringList{"|P-1|Zement||10|01.01.2027|1||N7.5"};
    QTest::newRow("net price alone")
        << catalogue(product(kGerman, prices(price("net_customer", "7.50"), "2027-01-01")))
        << QStringList{"|P-1|Zement||7,50|01.01.2027|1||N7.5"};
    QTest::newRow("gross list price less its tax, a factor")
        << catalogue(product(
               kGerman, prices(price("gros_list", "119", "<TAX>0.19</TAX>"), "2027-01-01") +
                            prices(price("net_list", "10", "<PRICE_FACTOR>0.85</PRICE_FACTOR>"),
                                   "2027-02-01")))
        << QStringList{"|P-1|Zement||100|01.01.2027|1||", "|P-1|Zement||8,5|01.02.2027|1||"};
    QTest::newRow("only a later scale, another currency, a product outside the transaction")
        << catalogue(
               product(
                   kGerman,
                   prices(price("net_list", "9", "<LOWER_BOUND>10</LOWER_BOUND>"), "2027-01-01") +
                       prices(price("net_list", "8", "<PRICE_CURRENCY>CHF</PRICE_CURRENCY>"),
                              "2027-02-01") +
                       prices(price("net_list", "7"), "2027-03-01")),
               "<CURRENCY>EUR</CURRENCY><USER_DEFINED_EXTENSIONS><PRODUCT>"
               "<SUPPLIER_PID>FAKE</SUPPLIER_PID></PRODUCT></USER_DEFINED_EXTENSIONS>")
        << QStringList{"|P-1|Zement||7|01.03.2027|1||", "gezählt: 0 UVP, 1 andere, 0 gelöscht",
                       "Hinweis Zeile 4: Artikel P-1 nur mit Staffelpreisen, nicht übernommen"};
    QTest::newRow("a negative price")
        << catalogue(product(kGerman, prices(price("net_list", "-1.00"))))
        << QStringList{"Halt: k.xml, Zeile 4: Preis -1.00 ist negativ"};
    QTest::newRow("no purchase price at all")
        << catalogue(product(kGerman, prices(price("nrp", "5"))))
        << QStringList{"Halt: k.xml, Zeile 0: Die Datei enthält keine Artikelzeile",
                       "gezählt: 1 UVP, 0 andere, 0 gelöscht"};
    QTest::newRow("a price that is no number")
        << catalogue(product(kGerman, prices(price("net_list", "12,50"))))
        << QStringList{"Halt: k.xml, Zeile 4: Preis 12,50 ist keine Zahl"};
    QTest::newRow("gross without tax")
        << catalogue(product(kGerman, prices(price("gros_list", "12"))))
        << QStringList{"Halt: k.xml, Zeile 4: Bruttopreis ohne Steuersatz (TAX)"};
    QTest::newRow("no order number")
        << catalogue(product(kGerman, prices(price("net_list", "1"))).replace("P-1", " "))
        << QStringList{"Halt: k.xml, Zeile 4: Artikel ohne Artikelnummer "
                       "(SUPPLIER_AID/SUPPLIER_PID)"};
    QTest::newRow("a tag not closed")
        << catalogue(
               product(kGerman, prices(price("net_list", "1"))).replace("</PRODUCT_DETAILS>", ""))
        << QStringList{"Halt: k.xml, Zeile 4: kein gültiges XML (Element nicht geschlossen oder "
                       "falsch verschachtelt, unerlaubtes Zeichen)"};
    QTest::newRow("cut off")
        << catalogue(product(kGerman, prices(price("net_list", "1")))).left(150)
        << QStringList{"Halt: k.xml, Zeile 4: Datei endet mitten im Katalog "
                       "(unvollständig)"};
}

void TestCatalogues::catalogueProducts() {
    QFETCH(QString, xml);
    QFETCH(QStringList, lines);
    QVERIFY(writeBytes(temp("k.xml"), xml.toUtf8()));
    auto reader = MakeBmecatReader(temp("k.xml"), "k.xml", 1);
    QCOMPARE(walked(*reader), lines);
}

void TestCatalogues::priceListCells_data() {
    QTest::addColumn<QString>("file"); // in data/, or a CSV text written
    QTest::addColumn<QString>("columns");
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("workbook: shared, inline, number and date cells, net")
        << "pricelist/preisliste.xlsx"
        << "bestnr=Art.-Nr.,bezeichnung=B,ean=EAN,preis=D,einheit=E,pe=F,datum=G,netto=Netto" << 4
        << "Preise"
        << QStringList{"4012345000046|100200|Zement CEM II 25 kg|PCE|6,45|01.01.2027|1||",
                       "|Z-2|Mörtel & Putz|PCE|12,90|01.01.2027|1||N9.5",
                       "|Z-3|Estrich 40 kg|PCE|8|01.03.2027|1||"};
    QTest::newRow("workbook: a sheet that is not there")
        << "pricelist/preisliste.xlsx"
        << "bestnr=A,preis=D" << 2 << "Tabelle9"
        << QStringList{"Halt: l, Zeile 0: Blatt Tabelle9 nicht in der Arbeitsmappe (Blätter: "
                       "Hinweise, Preise)"};
    QTest::newRow("CSV: quotes over lines, decimal comma, thousands")
        << "pricelist/liste-semikolon.csv"
        << "bestnr=A,bezeichnung=B,ean=C,preis=D,einheit=E,pe=F,rabattgruppe=G,datum=H" << 3 << ""
        << QStringList{"4012345000039|HS-10|Latte 24x48; gehobelt|LFM|1234,50|01.01.2027|100|R1|",
                       "|HS-11|Brett \"Premium\" Schnittholz|MTR|12,5|01.01.2027|1|R1|",
                       "400123|HS-12|Kantholz 10x10|MTR|3,99|01.01.2027|1|R2|"};
    QTest::newRow("CSV: decimal point per column, a row without number")
        << "pricelist/liste-komma.csv"
        << "bestnr=A,bezeichnung=B,preis=C,einheit=D,netto=E" << 2 << ""
        << QStringList{"|K-1|Schraube, verzinkt|C62|1,50|" +
                           QDate::currentDate().toString("dd.MM.yyyy") + "|1||",
                       "|K-2|Mutter M8 größer|C62|1234,00|" +
                           QDate::currentDate().toString("dd.MM.yyyy") + "|1||N980.5",
                       "Hinweis Zeile 4: Preis ohne Best.Nr., Zeile übersprungen"};
    QTest::newRow("CSV: a price that is no number")
        << "Nr;Preis\nA-1;12,50\nA-2;12,5O\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"|A-1|||12,50|" + QDate::currentDate().toString("dd.MM.yyyy") + "|1||",
                       "Halt: l, Zeile 3: Preis 12,5O ist keine Zahl"};
    const QString today = QDate::currentDate().toString("dd.MM.yyyy");
    QTest::newRow("CSV: a column's decimal mark from all its texts, point")
        << "Nr;Preis\nA-1;1.234\nA-2;2.5\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"|A-1|||1,234|" + today + "|1||", "|A-2|||2,5|" + today + "|1||"};
    QTest::newRow("CSV: a column's decimal mark from all its texts, comma")
        << "Nr;Preis\nA-1;1.234\nA-2;2,5\nA-3;1.234.567\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"|A-1|||1234|" + today + "|1||", "|A-2|||2,5|" + today + "|1||",
                       "|A-3|||1234567|" + today + "|1||"};
    QTest::newRow("CSV: the header the nearest row above, letters within the list")
        << "Nr;EK;Text\n;;\nA-1;2,50;Rohr\n"
        << "bestnr=Nr,preis=EK,bezeichnung=C" << 3 << ""
        << QStringList{"|A-1|Rohr||2,50|" + today + "|1||"};
    QTest::newRow("CSV: letters beyond the list")
        << "Nr;EK\nA-1;2,50\n"
        << "bestnr=Nr,preis=EK,ean=F" << 2 << ""
        << QStringList{"Halt: l, Zeile 0: Spalte F steht nicht in Zeile 1"};
    QTest::newRow("CSV: a decimal mark against its column's")
        << "Nr;EK\nA-1;12,50\nA-2;3,20\nA-3;1.5\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"|A-1|||12,50|" + today + "|1||", "|A-2|||3,20|" + today + "|1||",
                       "Halt: l, Zeile 4: Preis 1.5 ist keine Zahl"};
    QTest::newRow("CSV: three decimals after a 0 are no thousands")
        << "Nr,EK\nS-1,0.056\nS-2,1.250\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"|S-1|||0,056|" + today + "|1||", "|S-2|||1,250|" + today + "|1||"};
    QTest::newRow("CSV: commas in unquoted prices")
        << "Nr,Text,EK\nC-1,Rohr,1,50\n"
        << "bestnr=A,bezeichnung=B,preis=C" << 2 << ""
        << QStringList{"Halt: l, Zeile 2: mehr Spalten als die Kopfzeile (Komma im Preis ohne "
                       "Anführungszeichen?)"};
    QTest::newRow("CSV: a quote not closed")
        << "Nr;EK\nQ-1;\"2,50\nQ-2;3,00\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"Halt: l, Zeile 2: Anführungszeichen nicht geschlossen"};
    QTest::newRow("CSV: no price at all")
        << "Nr;EK\n"
        << "bestnr=A,preis=B" << 2 << ""
        << QStringList{"Halt: l, Zeile 0: Die Datei enthält keine Artikelzeile"};
    QTest::newRow("a header text not in the row above")
        << "Nr;Preis\nA-1;1\n"
        << "bestnr=Artikel,preis=B" << 2 << ""
        << QStringList{"Halt: l, Zeile 0: Spalte Artikel steht nicht in Zeile 1"};
    QTest::newRow("no price column")
        << "Nr;Preis\nA-1;1\n"
        << "bestnr=A" << 2 << ""
        << QStringList{"Halt: l, Zeile 0: Die Spaltenzuordnung nennt keine Spalte für Preis oder "
                       "Netto"};
}

void TestCatalogues::priceListCells() {
    QFETCH(QString, file);
    QFETCH(QString, columns);
    QFETCH(int, firstRow);
    QFETCH(QString, sheet);
    QFETCH(QStringList, lines);
    QString path = data(file);
    if (file.contains(u'\n')) {
        path = temp("l.csv");
        QVERIFY(writeBytes(path, file.toUtf8()));
    }
    QString problem;
    auto mapping = ColumnMapping::FromColumnsText(columns, &problem);
    QVERIFY2(mapping, qPrintable(problem));
    mapping->firstRow = firstRow;
    mapping->sheet = sheet;
    auto reader = MakePriceListReader(path, "l", path.endsWith(".xlsx"), *mapping);
    QCOMPARE(walked(*reader), lines);
}

void TestCatalogues::mappingTextsAndProposal() {
    QString problem;
    QVERIFY(!ColumnMapping::FromColumnsText("bestnr=A,preisx=B", &problem));
    QCOMPARE(problem, QString("Spaltenangabe preisx=B unbekannt (bekannt: bestnr, bezeichnung, "
                              "ean, preis, einheit, pe, rabattgruppe, datum, netto)"));
    QVERIFY(!ColumnMapping::FromColumnsText("bestnr", &problem));
    ColumnMapping m = *ColumnMapping::FromColumnsText("PREIS=Listenpreis, bestnr = A", &problem);
    m.firstRow = 3;
    m.sheet = "Preise";
    QCOMPARE(m.columnsText(), QString("bestnr=A,preis=Listenpreis"));
    QCOMPARE(ColumnMapping::FromStored(m.stored()), m);
    // The header row among the first rows; the prices begin below it.
    auto rows = PriceListRows(data("pricelist/preisliste.xlsx"), true, "Preise");
    QVERIFY(rows->open());
    QList<SheetRow> first;
    QList<qint64> numbers;
    SheetRow row;
    qint64 n = 0;
    while (rows->next(&row, &n)) {
        first << row;
        numbers << n;
    }
    const ColumnMapping proposed = ProposeMapping(first, numbers);
    QCOMPARE(proposed.columnsText(),
             QString("bestnr=A,bezeichnung=B,ean=C,preis=D,einheit=E,pe=F,datum=G,netto=H"));
    QCOMPARE(proposed.firstRow, 4);
    QCOMPARE(ColumnLetters(0), QString("A"));
    QCOMPARE(ColumnLetters(27), QString("AB"));
    QCOMPARE(ColumnOfLetters("ab"), 27);
    QCOMPARE(ColumnOfLetters("A1"), -1);
}

// A workbook whose parts are bigger than one piece of the unpacking: every
// row read, the shared strings to their end.
void TestCatalogues::bigWorkbookReadToItsEnd() {
    const QString path = temp("gross.xlsx");
    lxw_workbook* book = workbook_new(path.toLocal8Bit().constData());
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Liste");
    constexpr int kRows = 3000;
    for (int r = 0; r < kRows; ++r) {
        worksheet_write_string(sheet, lxw_row_t(r), 0, qPrintable(QString("NR-%1").arg(r)),
                               nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 1,
                               qPrintable(QString("Artikel Nummer %1 mit längerem Text").arg(r)),
                               nullptr);
        worksheet_write_number(sheet, lxw_row_t(r), 2, r + 0.25, nullptr);
    }
    QCOMPARE(workbook_close(book), LXW_NO_ERROR);
    ColumnMapping m;
    m[PriceColumn::BestNr] = "A";
    m[PriceColumn::Bezeichnung] = "B";
    m[PriceColumn::Preis] = "C";
    m[PriceColumn::Datum] = "";
    m.firstRow = 1;
    auto reader = MakePriceListReader(path, "gross.xlsx", true, m);
    const QStringList lines = walked(*reader);
    QCOMPARE(lines.size(), kRows);
    const QString today = QDate::currentDate().toString("dd.MM.yyyy");
    QCOMPARE(lines.last(),
             "|NR-2999|Artikel Nummer 2999 mit längerem Text||2999,25|" + today + "|1||");
}

void TestCatalogues::catalogueEncodings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    const QByteArray head = "<BMECAT version=\"1.2\"><T_NEW_CATALOG><ARTICLE><SUPPLIER_AID>E-1"
                            "</SUPPLIER_AID><ARTICLE_DETAILS><DESCRIPTION_SHORT>";
    const QByteArray tail = "</DESCRIPTION_SHORT></ARTICLE_DETAILS><ARTICLE_PRICE_DETAILS>"
                            "<ARTICLE_PRICE price_type=\"net_list\"><PRICE_AMOUNT>1</PRICE_AMOUNT>"
                            "</ARTICLE_PRICE></ARTICLE_PRICE_DETAILS></ARTICLE></T_NEW_CATALOG>"
                            "</BMECAT>";
    const QString today = QDate::currentDate().toString("dd.MM.yyyy");
    // Windows writes "€" and „…“ into files it declares ISO-8859-1.
    QTest::newRow("ISO-8859-1 from Windows")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + head +
               "5\x80 \x84Profi\x93 gr\xfcn" + tail
        << QStringList{"|E-1|5€ „Profi“ grün||1|" + today + "|1||"};
    QTest::newRow("UTF-8 without declaration")
        << head + "gr\xc3\xbcn" + tail << QStringList{"|E-1|grün||1|" + today + "|1||"};
    QTest::newRow("ISO-8859-15 is refused")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>\n" + head + "x" + tail
        << QStringList{"Halt: k.xml, Zeile 0: Zeichensatz iso-8859-15 wird nicht unterstützt"};
}

// The encoding from the declaration; a catalogue is recognised by its root
// even when a byte of its start is no UTF-8.
void TestCatalogues::catalogueEncodings() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QVERIFY(writeBytes(temp("k.xml"), bytes));
    QCOMPARE(RecognizeDelivery({temp("k.xml")}).summary(), QString("BMEcat 1.2, 1 Artikel"));
    auto reader = MakeBmecatReader(temp("k.xml"), "k.xml", 1);
    QCOMPARE(walked(*reader), lines);
}

namespace {

// A workbook of one sheet "Preise" from its parts' XML (a part left out
// when empty).
bool writeWorkbook(const QString& path, const QByteArray& sheet, const QByteArray& strings,
                   const QByteArray& styles, const QByteArray& workbookProperties = {}) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        return false;
    static QList<QByteArray> kept; // libzip reads them when it closes the archive
    const auto add = [&](const char* name, const QByteArray& bytes) {
        kept << bytes;
        zip_source_t* source =
            zip_source_buffer(z, kept.last().constData(), zip_uint64_t(kept.last().size()), 0);
        return source && zip_file_add(z, name, source, ZIP_FL_OVERWRITE) >= 0;
    };
    bool ok = add("xl/workbook.xml", "<workbook xmlns:r=\"r\">" + workbookProperties +
                                         "<sheets><sheet name=\"Preise\" r:id=\"rId1\"/>"
                                         "</sheets></workbook>") &&
              add("xl/_rels/workbook.xml.rels",
                  "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
                  "</Relationships>") &&
              add("xl/worksheets/sheet1.xml",
                  "<worksheet><sheetData>" + sheet + "</sheetData></worksheet>");
    if (ok && !strings.isEmpty())
        ok = add("xl/sharedStrings.xml", "<sst>" + strings + "</sst>");
    if (ok && !styles.isEmpty())
        ok = add("xl/styles.xml", "<styleSheet>" + styles + "</styleSheet>");
    return zip_close(z) == 0 && ok;
}

} // namespace

void TestCatalogues::workbookFaults_data() {
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<QByteArray>("strings");
    QTest::addColumn<QByteArray>("workbookProperties");
    QTest::addColumn<QStringList>("lines");
    const QByteArray dateStyle = "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs>";
    const QByteArray row = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>W-1</t></is></c>"
                           "<c r=\"B1\"><v>2.5</v></c><c r=\"C1\" s=\"1\"><v>%1</v></c></row>";
    QTest::newRow("a date cell") << QByteArray(row).replace("%1", "46388") << QByteArray()
                                 << QByteArray() << QStringList{"|W-1|||2,5|01.01.2027|1||"};
    QTest::newRow("a date cell of the 1904 system")
        << QByteArray(row).replace("%1", "44926") << QByteArray()
        << QByteArray("<workbookPr date1904=\"1\"/>") << QStringList{"|W-1|||2,5|01.01.2027|1||"};
    QTest::newRow("a date format on a number that is no day")
        << QByteArray(row).replace("%1", "1e300") << QByteArray() << QByteArray()
        << QStringList{"|W-1|||2,5|1e300|1||"};
    QTest::newRow("a shared text that is not there")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c><c r=\"B1\"><v>1</v></c>"
                      "</row>")
        << QByteArray("<si><t>W-1</t></si>") << QByteArray()
        << QStringList{"Halt: l.xlsx, Zeile 1: Blatt Preise: Zeile 1: gemeinsamer Text 7 fehlt "
                       "(Arbeitsmappe beschädigt)"};
    QTest::newRow("a row number that is none")
        << QByteArray("<row r=\"zwei\"><c r=\"A1\"><v>1</v></c></row>") << QByteArray()
        << QByteArray()
        << QStringList{"Halt: l.xlsx, Zeile 0: Blatt Preise: Zeilennummer zwei nach Zeile 0"};
    QTest::newRow("a sheet cut off")
        << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v></c>") << QByteArray() << QByteArray()
        << QStringList{"Halt: l.xlsx, Zeile 1: Blatt Preise: kein gültiges XML (Element nicht "
                       "geschlossen oder falsch verschachtelt, unerlaubtes Zeichen)"};
}

void TestCatalogues::workbookFaults() {
    QFETCH(QByteArray, sheet);
    QFETCH(QByteArray, strings);
    QFETCH(QByteArray, workbookProperties);
    QFETCH(QStringList, lines);
    const QByteArray styles = "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs>";
    QVERIFY(writeWorkbook(temp("l.xlsx"), sheet, strings, styles, workbookProperties));
    ColumnMapping m;
    m[PriceColumn::BestNr] = "A";
    m[PriceColumn::Preis] = "B";
    m[PriceColumn::Datum] = "C";
    m.firstRow = 1;
    auto reader = MakePriceListReader(temp("l.xlsx"), "l.xlsx", true, m);
    QCOMPARE(walked(*reader), lines);
}

void TestCatalogues::storeGivesTheCheckedLines_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("spool"); // whether the temporary folder takes the check's lines
    for (const bool spool : {true, false}) {
        const char* how = spool ? "from the spool" : "read again";
        QTest::newRow(qPrintable(QString("catalogue, %1").arg(how)))
            << "bmecat/katalog-2005.xml" << spool;
        QTest::newRow(qPrintable(QString("list, %1").arg(how)))
            << "pricelist/liste-komma.csv" << spool;
    }
}

// The store's walk gives what the check's gave, record for record and line
// for line: from the check's spool, or from the file again when no
// temporary file can be written.
void TestCatalogues::storeGivesTheCheckedLines() {
    QFETCH(QString, file);
    QFETCH(bool, spool);
    const QByteArray tmp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", tmp); });
    if (!spool)
        qputenv("TMPDIR", QFile::encodeName(temp("nicht-da/tiefer")));
    ColumnMapping m;
    m[PriceColumn::BestNr] = "A";
    m[PriceColumn::Preis] = "C";
    m[PriceColumn::Netto] = "E";
    m.firstRow = 2;
    auto reader = file.endsWith(".xml") ? MakeBmecatReader(data(file), "k", 4)
                                        : MakePriceListReader(data(file), "l", false, m);
    QVERIFY(!reader->prepare());
    QStringList walks[2];
    for (const bool check : {true, false}) {
        QStringList& seen = walks[check ? 0 : 1];
        const auto stop = reader->walk(
            check,
            [&](const QString& f, qint64 line, const QString& record) {
                seen << QString("%1 %2: %3").arg(f).arg(line).arg(record);
                return std::optional<RecordIssue>();
            },
            [&](const SourceLine& l) {
                seen << l.line.text() + '|' + l.extras.rabtyp + l.extras.netto + '|' + l.file;
                return std::optional<RecordIssue>();
            });
        QVERIFY(!stop);
    }
    QVERIFY(walks[0].size() >= 5);
    QCOMPARE(walks[1], walks[0]);
}

void TestCatalogues::cliImportsEachKind_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QMap<QString, QStringList>>("expected");
    // By order number and date: Bezeichnung, Preis excl., per, N/%:, Netto.
    QTest::newRow("BMEcat 2005")
        << QStringList{"bmecat/katalog-2005.xml"}
        << "BMEcat 2005, 4 Artikel\n1 unverbindlicher Verkaufspreis nicht übernommen\n"
           "1 Preis anderer Art nicht übernommen\n"
        << QMap<QString, QStringList>{
               {"BN-1001@01.01.2027",
                {"Gipskartonplatte 12,5 mm & Kante", "4,85", "1 MTK", "N", "4,8500"}},
               {"BN-1001@01.04.2027",
                {"Gipskartonplatte 12,5 mm & Kante", "5,05", "1 MTK", "N", "5,0500"}},
               {"BN-1002@01.01.2027",
                {"Trockenbauschraube 3,5x35", "18,40", "1000 C62", "N", "12,8800"}},
               {"BN-1003@01.01.2027", {"Fugenspachtel 25 kg", "25,00", "1 PCE", "N", "25,0000"}},
               {"BN-1004@20.11.2026",
                {"Eckschutzschiene verzinkt", "61,20", "100 MTR", "N", "61,2000"}}};
    QTest::newRow("BMEcat 1.2 in ISO-8859-1")
        << QStringList{"bmecat/katalog-12-latin1.xml"} << "BMEcat 1.2, 2 Artikel\n"
        << QMap<QString, QStringList>{
               {"HS-200@01.12.2026",
                {"Dämmplatte Mineralwolle 100 mm", "7,96", "1 MTK", "%", "7,0207"}},
               {"HS-201@01.10.2026", {"Schaumstoffkeil weiß", "2,30", "1 C62", "N", "2,3000"}}};
    QTest::newRow("workbook")
        << QStringList{"pricelist/preisliste.xlsx",
                       "--sheet",
                       "Preise",
                       "--columns",
                       "bestnr=A,bezeichnung=B,preis=D,einheit=E,datum=G,netto=H",
                       "--first-row",
                       "4"}
        << "Excel-Preisliste, Blatt Preise, 7 Zeilen\n"
        << QMap<QString, QStringList>{
               {"100200@01.01.2027", {"Zement CEM II 25 kg", "6,45", "1 PCE", "N", "6,4500"}},
               {"Z-2@01.01.2027", {"Mörtel & Putz", "12,90", "1 PCE", "N", "9,5000"}},
               {"Z-3@01.03.2027", {"Estrich 40 kg", "8,00", "1 PCE", "N", "8,0000"}}};
    QTest::newRow("CSV")
        << QStringList{"pricelist/liste-semikolon.csv", "--columns",
                       "bestnr=Artikelnummer,bezeichnung=B,ean=C,preis=Listenpreis,einheit=E,pe=F,"
                       "datum=H",
                       "--first-row", "3"}
        << "CSV-Preisliste, Trennzeichen Semikolon, UTF-8, 7 Zeilen\n"
           "liste-semikolon.csv, Zeile 7: EAN 400123 ungültig, ohne EAN übernommen\n"
        << QMap<QString, QStringList>{
               {"HS-10@01.01.2027",
                {"Latte 24x48; gehobelt", "1.234,50", "100 LFM", "N", "1.234,5000"}},
               {"HS-11@01.01.2027",
                {"Brett \"Premium\" Schnittholz", "12,50", "1 MTR", "N", "12,5000"}},
               {"HS-12@01.01.2027", {"Kantholz 10x10", "3,99", "1 MTR", "N", "3,9900"}}};
}

void TestCatalogues::cliImportsEachKind() {
    QFETCH(QStringList, args);
    QFETCH(QString, report);
    using Rows = QMap<QString, QStringList>;
    QFETCH(Rows, expected);
    args[0] = data(args[0]);
    const int before = downloads();
    QString out, err;
    QCOMPARE(RunCli(QStringList{"--connect", m_connect, "import", "--supplier", "70001"} + args,
                    &out, &err),
             0);
    QCOMPARE(err, report);
    const QString key = out.section(u'\t', 0, 0);
    QCOMPARE(out, QString("%1\t%2\n").arg(key).arg(expected.size()));
    QCOMPARE(downloads(), before + 1);
    QCOMPARE(rows(key, {3, 5, 6, 40, 45}), expected);
}

void TestCatalogues::brokenInputStoresNothing_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    const QString usage =
        "usage: quendra-cli --connect \"...\" import FILE [FILE...] [--supplier N] [--tracks "
        "all|none|DATE,...] [--columns bestnr=A,bezeichnung=B,ean=C,preis=D,einheit=E,pe=F,"
        "rabattgruppe=G,datum=H,netto=I --first-row N] [--sheet NAME]\n";
    QTest::newRow("a catalogue cut off")
        << catalogue(product(kGerman, prices(price("net_list", "1")))).left(200)
        << QStringList{"--supplier", "70001"} << 1
        << "BMEcat 2005, 1 Artikel\nFehler in Zeile: \n\nk.xml, Zeile 4: Datei endet mitten im "
           "Katalog (unvollständig)\n";
    QTest::newRow("a catalogue price that is no number")
        << catalogue(
               product(kGerman, prices(price("net_list", "1")) + prices(price("net_list", "x"))))
        << QStringList{"--supplier", "70001"} << 1
        << "BMEcat 2005, 1 Artikel\nFehler in Zeile: P-1\n\nk.xml, Zeile 4: Preis x ist keine "
           "Zahl\n";
    QTest::newRow("a list with a broken price")
        << "Nr;Preis\nA-1;1,00\nA-2;1,O0\n"
        << QStringList{"--supplier", "70001", "--columns", "bestnr=A,preis=B", "--first-row", "2"}
        << 1
        << "CSV-Preisliste, Trennzeichen Semikolon, Windows-1252, 3 Zeilen\nFehler in Zeile: "
           "A-2;1,O0\n\nk.xml, "
           "Zeile 3: Preis 1,O0 ist keine Zahl\n";
    QTest::newRow("a list without mapping")
        << "Nr;Preis\nA-1;1,00\n"
        << QStringList{"--supplier", "70002"} << 2
        << "CSV-Preisliste, Trennzeichen Semikolon, Windows-1252, 2 "
           "Zeilen\nquendra-cli: Keine Spaltenzuordnung für Lieferant "
           "70002 gespeichert: bitte --columns und "
           "--first-row angeben\n" +
               usage;
    QTest::newRow("columns without first row")
        << "Nr;Preis\nA-1;1,00\n"
        << QStringList{"--supplier", "70002", "--columns", "bestnr=A"} << 2
        << "CSV-Preisliste, Trennzeichen Semikolon, Windows-1252, 2 Zeilen\nquendra-cli: --columns "
           "braucht --first-row\n" +
               usage;
    QTest::newRow("a list without supplier")
        << "Nr;Preis\nA-1;1,00\n"
        << QStringList{} << 1
        << "CSV-Preisliste, Trennzeichen Semikolon, Windows-1252, 2 Zeilen\nDie Lieferung nennt "
           "keinen "
           "Lieferanten: bitte die Lieferantennummer angeben "
           "(--supplier)\n";
}

void TestCatalogues::brokenInputStoresNothing() {
    QFETCH(QString, content);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QVERIFY(writeBytes(temp("k.xml"), content.toUtf8()));
    const int before = downloads();
    QString out, err;
    QCOMPARE(
        RunCli(QStringList{"--connect", m_connect, "import", temp("k.xml")} + args, &out, &err),
        exitCode);
    QCOMPARE(err, error);
    QCOMPARE(out, QString());
    QCOMPARE(downloads(), before);
}

// A price update names no description: the supplier's newest download
// that has the article gives it; without one the price is skipped.
void TestCatalogues::priceUpdateTakesEarlierDownload() {
    QString out, err;
    QCOMPARE(RunCli({"--connect", m_connect, "import", data("bmecat/katalog-2005.xml"),
                     "--supplier", "70002"},
                    &out, &err),
             0);
    QCOMPARE(RunCli({"--connect", m_connect, "import", data("bmecat/preise-update-1252.xml"),
                     "--supplier", "70002"},
                    &out, &err),
             0);
    QCOMPARE(err, QString("BMEcat 2005, 3 Artikel\n1 Preis ohne Artikelstamm übersprungen\n"));
    const QString key = out.section(u'\t', 0, 0);
    QCOMPARE(out, key + "\t2\n");
    QCOMPARE(rows(key, {3, 5, 6}),
             (QMap<QString, QStringList>{
                 {"BN-1001@01.02.2027", {"Gipskartonplatte 12,5 mm & Kante", "4,95", "1 MTK"}},
                 {"BN-1005@01.02.2027", {"Kantenschutz „Profi“ – neu", "3,10", "1 MTR"}}}));
}

// The mapping of a successful import is the supplier's next default, on
// this workstation: --first-row and --sheet still override it.
void TestCatalogues::mappingRememberedPerSupplier() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QString out, err;
    const QStringList import{"--connect",  m_connect, "import", data("pricelist/liste-komma.csv"),
                             "--supplier", "70003"};
    QCOMPARE(
        RunCli(import + QStringList{"--columns", "bestnr=A,preis=C,einheit=D", "--first-row", "2"},
               &out, &err, 60000, home.path()),
        0);
    QCOMPARE(out.section(u'\t', 1), QString("2\n"));
    QCOMPARE(RunCli(import, &out, &err, 60000, home.path()), 0);
    QCOMPARE(out.section(u'\t', 1), QString("2\n"));
    QCOMPARE(err, QString("CSV-Preisliste, Trennzeichen Komma, Windows-1252, 4 Zeilen\n"
                          "liste-komma.csv, Zeile 4: Preis ohne Best.Nr., Zeile übersprungen\n"));
    QCOMPARE(RunCli(import + QStringList{"--first-row", "3"}, &out, &err, 60000, home.path()), 0);
    QCOMPARE(out.section(u'\t', 1), QString("1\n"));
    // Another workstation knows nothing of it.
    QCOMPARE(RunCli(import, &out, &err), 2);
    // A workbook's sheet is remembered too, and named in what is read.
    const QStringList workbook{"--connect",  m_connect, "import", data("pricelist/preisliste.xlsx"),
                               "--supplier", "70004"};
    QCOMPARE(RunCli(workbook + QStringList{"--sheet", "Preise", "--columns", "bestnr=A,preis=D",
                                           "--first-row", "4"},
                    &out, &err, 60000, home.path()),
             0);
    QCOMPARE(RunCli(workbook, &out, &err, 60000, home.path()), 0);
    QCOMPARE(err, QString("Excel-Preisliste, Blatt Preise, 7 Zeilen\n"));
    QCOMPARE(out.section(u'\t', 1), QString("3\n"));
}

QTEST_GUILESS_MAIN(TestCatalogues)
#include "test_catalogues.moc"
