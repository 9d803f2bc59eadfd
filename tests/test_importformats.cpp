#include "common/TextHelpers.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ImportPrice)

namespace {

// A 29-field article line with the given fields set (1-based); the others
// hold "f<number>" so that a field taken from the wrong place shows.
QString articleLine(const QMap<int, QString>& fields, int count = 29) {
    QStringList list;
    for (int n = 1; n <= count; ++n)
        list << fields.value(n, QStringLiteral("f%1").arg(n));
    return list.join(u'\\');
}

QString fullArticleLine() {
    return articleLine({{1, "DEMO01"},
                        {2, "4001234567890"},
                        {3, "HA-100"},
                        {4, "Dübel 8x40"},
                        {5, "st k"},
                        {6, "Pak."},
                        {7, "m2"},
                        {8, "10"},
                        {9, "100"},
                        {10, "12,50"},
                        {11, "01.01.2027"},
                        {12, "13,75"},
                        {13, "01.07.2027"},
                        {14, "100"},
                        {20, "RG07"},
                        {25, "Befestigungstechnik"}});
}

// Line-feed and CR LF combinations, line contents, expected line-feed count.
struct LineCase {
    QByteArray bytes;
    QStringList lines;
    qint64 lineFeeds;
};

} // namespace

class TestImportFormats : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Messages and header.
    void messages();
    void extendedImportHeader_data();
    void extendedImportHeader();
    void headerLineNamesTheFieldsByNumber();

    // Units, prices, article lines, position line text.
    void normalizeUnitCode_data();
    void normalizeUnitCode();
    void convertPrice_data();
    void convertPrice();
    void convertPriceLeavesValueOnFailure();
    void articleLineFields();
    void articleLinePrices_data();
    void articleLinePrices();
    void positionLineText_data();
    void positionLineText();
    void positionLineTextRefusesBar_data();
    void positionLineTextRefusesBar();

    // Unit assignment table and missing units.
    void unitTable_data();
    void unitTable();
    void unitTableLimit_data();
    void unitTableLimit();
    void unitTableErrorEmptiesTable();
    void collectMissingUnits();

    // Match file.
    void matchFileSemicolons_data();
    void matchFileSemicolons();
    void matchFileLine_data();
    void matchFileLine();

    // File reader.
    void readerLineEnds_data();
    void readerLineEnds();
    void readerEncoding_data();
    void readerEncoding();
    void readerRewindReadsAgain();
    void readerReadAfterEndAndClose();
    void readerMissingFile();
    void readerLargeFile();
    void readFirstLines_data();
    void readFirstLines();
    void readFirstLinesMissingFile();

private:
    QString writeFile(const QByteArray& bytes, const QString& name = QStringLiteral("import.txt"));
    QTemporaryDir m_dir;
    int m_fileNumber = 0;
};

QString TestImportFormats::writeFile(const QByteArray& bytes, const QString& name) {
    const QString path = m_dir.filePath(QString::number(++m_fileNumber) + u'_' + name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// ---------------------------------------------------------------------------

void TestImportFormats::messages() {
    QCOMPARE(kImportFileMissingMessage, QStringLiteral("Datei nicht vorhanden"));
    QCOMPARE(
        kNotExtendedImportFileMessage,
        QStringLiteral("Datei ist keine gültige erweiterte Importdatei (Zeichen <\\> fehlen)"));
    QCOMPARE(kNotExtendedImportFileMessage.count(u'\\'), 1);
    QCOMPARE(kSupplierNotStoredMessage, QStringLiteral("Lieferant nicht gespeichert"));
    QCOMPARE(UnassignedUnitsMessage(QStringLiteral(" XYZ ABC ")),
             QStringLiteral("Einheiten  XYZ ABC  sind im Veltar nicht zugeordnet"));
    QCOMPARE(LineErrorMessage(QStringLiteral("DEMO01\\4711\\abc")),
             QStringLiteral("Fehler in Zeile: DEMO01\\4711\\abc"));
    QCOMPARE(LineErrorMessage(QString()), QStringLiteral("Fehler in Zeile: "));
}

void TestImportFormats::extendedImportHeader_data() {
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("web import header") << kExtendedImportHeaderLine << true;
    QTest::newRow("single backslash, any names") << "Artikel\\Irgendwas" << true;
    QTest::newRow("only a backslash") << "\\" << true;
    QTest::newRow("comma-separated price list")
        << "HerstCode,ean,HerstArtNr,Bezeichng,VE,Preis" << false;
    QTest::newRow("semicolon-separated") << "HerstCode;ean;Preis" << false;
    QTest::newRow("slash is not a backslash") << "HerstCode/ean" << false;
    QTest::newRow("empty") << "" << false;
}

void TestImportFormats::extendedImportHeader() {
    QFETCH(QString, header);
    QFETCH(bool, accepted);
    QCOMPARE(IsExtendedImportHeader(header), accepted);
}

void TestImportFormats::headerLineNamesTheFieldsByNumber() {
    // The field numbers the importers use must line up with the names the
    // web import writes.
    const ImportArticleLine header(kExtendedImportHeaderLine);
    QCOMPARE(header.fieldCount(), ImportArticleLine::kFieldCount);
    QCOMPARE(header.field(ImportArticleLine::HerstCode), QStringLiteral("HerstCode"));
    QCOMPARE(header.field(ImportArticleLine::Ean), QStringLiteral("ean"));
    QCOMPARE(header.field(ImportArticleLine::VE), QStringLiteral("VE"));
    QCOMPARE(header.field(ImportArticleLine::UEE), QStringLiteral("UEE"));
    QCOMPARE(header.field(ImportArticleLine::Preis), QStringLiteral("Preis"));
    QCOMPARE(header.field(ImportArticleLine::GueltigAb), QStringLiteral("GueltigAb"));
    QCOMPARE(header.field(ImportArticleLine::Preis2), QStringLiteral("Preis2"));
    QCOMPARE(header.field(ImportArticleLine::GueltigAb2), QStringLiteral("GueltigAb2"));
    QCOMPARE(header.field(ImportArticleLine::PreisEHT), QStringLiteral("PreisEHT"));
    QCOMPARE(header.field(ImportArticleLine::RabattGR), QStringLiteral("RabattGR"));
    QCOMPARE(header.field(ImportArticleLine::FclassPreferredName),
             QStringLiteral("fclass_preferred_name"));
    QCOMPARE(header.field(29), QStringLiteral("URLfreistellung"));
}

// ---------------------------------------------------------------------------

void TestImportFormats::normalizeUnitCode_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank inside") << "st k"
                                  << "STK";
    QTest::newRow("trailing point") << "Stk."
                                    << "STK";
    QTest::newRow("digit kept in place") << "m2"
                                         << "M2";
    QTest::newRow("surrounding blanks") << " m 3 "
                                        << "M3";
    QTest::newRow("slash") << "kg/l"
                           << "KGL";
    QTest::newRow("already normal") << "PAK"
                                    << "PAK";
    QTest::newRow("lone hyphen") << "-"
                                 << "";
    QTest::newRow("umlauts dropped") << "Stück"
                                     << "STCK";
    QTest::newRow("sharp s dropped, not SS") << "Fuß"
                                             << "FU";
    QTest::newRow("only umlauts and blanks") << "ä ö ü"
                                             << "";
    QTest::newRow("bar removed") << "ST|K"
                                 << "STK";
    QTest::newRow("empty") << ""
                           << "";
}

void TestImportFormats::normalizeUnitCode() {
    QFETCH(QString, code);
    QFETCH(QString, expected);
    QCOMPARE(NormalizeUnitCode(code), expected);
}

void TestImportFormats::convertPrice_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<double>("expected");
    QTest::newRow("decimal comma") << "12,50" << true << 12.5;
    QTest::newRow("zero") << "0" << true << 0.0;
    QTest::newRow("zero with decimals") << "0,00" << true << 0.0;
    QTest::newRow("integer") << "7" << true << 7.0;
    QTest::newRow("thousands point") << "1.234,50" << true << 1234.5;
    QTest::newRow("two thousands points") << "1.234.567,8" << true << 1234567.8;
    QTest::newRow("point without comma is decimal point") << "12.50" << true << 12.5;
    QTest::newRow("surrounding blanks") << "  7,5 " << true << 7.5;
    QTest::newRow("minus") << "-1,5" << true << -1.5;
    QTest::newRow("plus") << "+3" << true << 3.0;
    QTest::newRow("leading comma") << ",5" << true << 0.5;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks only") << "   " << false << 0.0;
    QTest::newRow("currency before") << "EUR 7" << false << 0.0;
    QTest::newRow("currency after") << "12,50 EUR" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("two commas") << "1,2,3" << false << 0.0;
    QTest::newRow("two points without comma") << "1.2.3" << false << 0.0;
    QTest::newRow("thousands group too short") << "1.23,4" << false << 0.0;
    QTest::newRow("point after comma") << "1,234.5" << false << 0.0;
    QTest::newRow("sign only") << "-" << false << 0.0;
    QTest::newRow("comma only") << "," << false << 0.0;
    QTest::newRow("blank after sign") << "- 5" << false << 0.0;
    QTest::newRow("exponent") << "1e3" << false << 0.0;
    QTest::newRow("blank inside") << "1 234,5" << false << 0.0;
}

void TestImportFormats::convertPrice() {
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(double, expected);
    double value = -999;
    QCOMPARE(ConvertPrice(text, &value), converts);
    if (converts)
        QCOMPARE(value, expected);
}

void TestImportFormats::convertPriceLeavesValueOnFailure() {
    double value = 42;
    QVERIFY(!ConvertPrice(QStringLiteral("abc"), &value));
    QCOMPARE(value, 42.0);
}

void TestImportFormats::articleLineFields() {
    // Fewer than 29 fields, an empty field in the middle.
    const ImportArticleLine line(QStringLiteral("DEMO01\\\\HA-1\\Tür\\STK"));
    QCOMPARE(line.fieldCount(), 5);
    QCOMPARE(line.field(1), QStringLiteral("DEMO01"));
    QCOMPARE(line.field(2), QString());
    QCOMPARE(line.field(4), QStringLiteral("Tür"));
    QCOMPARE(line.field(5), QStringLiteral("STK"));
    QCOMPARE(line.field(6), QString());
    QCOMPARE(line.field(29), QString());
    QCOMPARE(line.field(30), QString());
    QCOMPARE(line.field(0), QString());
    QCOMPARE(line.price(ImportPrice::First), QString());
    QCOMPARE(line.priceDate(ImportPrice::Second), QString());
    QCOMPARE(line.text(), QStringLiteral("DEMO01\\\\HA-1\\Tür\\STK"));
}

void TestImportFormats::articleLinePrices_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("second");
    QTest::newRow("both prices") << articleLine({{10, "12,50"}, {12, "13,75"}}) << true << 12.5
                                 << 13.75;
    QTest::newRow("second price zero")
        << articleLine({{10, "12,50"}, {12, "0"}}) << true << 12.5 << 0.0;
    QTest::newRow("first price zero") << articleLine({{10, "0"}, {12, "3"}}) << true << 0.0 << 3.0;
    QTest::newRow("12 fields are enough")
        << articleLine({{10, "1,5"}, {12, "0"}}, 12) << true << 1.5 << 0.0;
    QTest::newRow("empty second price")
        << articleLine({{10, "12,50"}, {12, ""}}) << false << 0.0 << 0.0;
    QTest::newRow("empty first price") << articleLine({{10, ""}, {12, "0"}}) << false << 0.0 << 0.0;
    QTest::newRow("non-numeric first price")
        << articleLine({{10, "abc"}, {12, "0"}}) << false << 0.0 << 0.0;
    QTest::newRow("line ends before field 12")
        << articleLine({{10, "12,50"}}, 11) << false << 0.0 << 0.0;
}

void TestImportFormats::articleLinePrices() {
    QFETCH(QString, line);
    QFETCH(bool, converts);
    QFETCH(double, first);
    QFETCH(double, second);
    double p1 = -1;
    double p2 = -1;
    QCOMPARE(ImportArticleLine(line).convertPrices(&p1, &p2), converts);
    if (converts) {
        QCOMPARE(p1, first);
        QCOMPARE(p2, second);
    } else {
        QCOMPARE(p1, -1.0);
        QCOMPARE(p2, -1.0);
    }
}

void TestImportFormats::positionLineText_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<ImportPrice>("which");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first price: date 11 before price 10")
        << fullArticleLine() << ImportPrice::First
        << "DEMO01|4001234567890|HA-100|Dübel 8x40|STK|PAK|M2|10|100|01.01.2027|12,50|100|RG07|"
           "Befestigungstechnik";
    QTest::newRow("second price: date 13 before price 12")
        << fullArticleLine() << ImportPrice::Second
        << "DEMO01|4001234567890|HA-100|Dübel 8x40|STK|PAK|M2|10|100|01.07.2027|13,75|100|RG07|"
           "Befestigungstechnik";
    QTest::newRow("short line: missing fields empty")
        << QStringLiteral("H\\E\\A\\Mörtel\\-\\kg\\\\5\\1\\9,99\\01.03.2027\\0")
        << ImportPrice::First << "H|E|A|Mörtel||KG||5|1|01.03.2027|9,99|||";
    QTest::newRow("short line, second price") << QStringLiteral("H\\E\\A\\D\\\\\\\\\\\\1\\d1\\0")
                                              << ImportPrice::Second << "H|E|A|D|||||||0|||";
}

void TestImportFormats::positionLineText() {
    QFETCH(QString, line);
    QFETCH(ImportPrice, which);
    QFETCH(QString, expected);
    const std::optional<QString> text = PositionLineText(ImportArticleLine(line), which);
    QVERIFY(text.has_value());
    QCOMPARE(*text, expected);
    QCOMPARE(text->count(kPositionLineSeparator) + 1, kPositionLineFieldCount);
}

void TestImportFormats::positionLineTextRefusesBar_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("firstRefused");
    QTest::addColumn<bool>("secondRefused");
    QTest::newRow("HerstCode") << 1 << true << true;
    QTest::newRow("description") << 4 << true << true;
    QTest::newRow("quantity") << 9 << true << true;
    QTest::newRow("first price") << 10 << true << false;
    QTest::newRow("first date") << 11 << true << false;
    QTest::newRow("second price") << 12 << false << true;
    QTest::newRow("second date") << 13 << false << true;
    QTest::newRow("PreisEHT") << 14 << true << true;
    QTest::newRow("discount group") << 20 << true << true;
    QTest::newRow("class name") << 25 << true << true;
    QTest::newRow("unit is normalised") << 5 << false << false;
    QTest::newRow("field not carried") << 16 << false << false;
    QTest::newRow("last field not carried") << 29 << false << false;
}

void TestImportFormats::positionLineTextRefusesBar() {
    QFETCH(int, field);
    QFETCH(bool, firstRefused);
    QFETCH(bool, secondRefused);
    QMap<int, QString> fields{{5, "STK"}, {10, "1,00"}, {12, "2,00"}};
    fields[field] = QStringLiteral("a|b");
    const ImportArticleLine line(articleLine(fields));
    QCOMPARE(!PositionLineText(line, ImportPrice::First).has_value(), firstRefused);
    QCOMPARE(!PositionLineText(line, ImportPrice::Second).has_value(), secondRefused);
}

// ---------------------------------------------------------------------------

void TestImportFormats::unitTable_data() {
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<int>("pairs");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("assigned");
    const QString text = QStringLiteral("Stk,m,,kg`st k,M,X,KG");
    QTest::newRow("normalised match") << text << 2 << "STK" << true;
    QTest::newRow("code normalised before compare") << text << 2 << "Stk." << true;
    QTest::newRow("second pair") << text << 2 << "m" << true;
    QTest::newRow("ERP unit is not a code") << text << 2 << "X" << false;
    QTest::newRow("after first empty ERP unit") << text << 2 << "KG" << false;
    QTest::newRow("empty code matches nothing") << text << 2 << "-" << false;
    QTest::newRow("empty text") << "" << 0 << "STK" << false;
    QTest::newRow("no codes list") << "Stk,m" << 2 << "STK" << false;
    QTest::newRow("more codes than units") << "Stk`STK,M" << 1 << "M" << false;
    QTest::newRow("pair with empty code not matched by empty") << "Stk,m`-,M" << 2 << "" << false;
    QTest::newRow("trailing comma ends the list") << "Stk,`STK,M" << 1 << "STK" << true;
}

void TestImportFormats::unitTable() {
    QFETCH(QString, assignment);
    QFETCH(int, pairs);
    QFETCH(QString, code);
    QFETCH(bool, assigned);
    UnitAssignmentTable table;
    QVERIFY(table.load(assignment));
    QCOMPARE(table.size(), pairs);
    QCOMPARE(table.isAssigned(code), assigned);
}

void TestImportFormats::unitTableLimit_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<bool>("trailingEmpty");
    QTest::addColumn<bool>("loads");
    QTest::newRow("99") << 99 << false << true;
    QTest::newRow("100") << 100 << false << true;
    QTest::newRow("100 then empty") << 100 << true << true;
    QTest::newRow("101") << 101 << false << false;
    QTest::newRow("101 then empty") << 101 << true << false;
}

void TestImportFormats::unitTableLimit() {
    QFETCH(int, units);
    QFETCH(bool, trailingEmpty);
    QFETCH(bool, loads);
    QStringList erp;
    QStringList codes;
    for (int i = 1; i <= units; ++i) {
        erp << QStringLiteral("E%1").arg(i);
        codes << QStringLiteral("c%1").arg(i);
    }
    if (trailingEmpty) {
        erp << QString() << QStringLiteral("LATE");
        codes << QString() << QStringLiteral("late");
    }
    UnitAssignmentTable table;
    QCOMPARE(table.load(erp.join(u',') + u'`' + codes.join(u',')), loads);
    if (loads) {
        QCOMPARE(table.size(), units);
        QCOMPARE(table.pairs().first().code, QStringLiteral("C1"));
        QCOMPARE(table.pairs().first().erpUnit, QStringLiteral("E1"));
        QCOMPARE(table.pairs().last().code, QStringLiteral("C%1").arg(units));
        QCOMPARE(table.pairs().last().erpUnit, QStringLiteral("E%1").arg(units));
        QVERIFY(!table.isAssigned(QStringLiteral("LATE")));
    } else {
        QCOMPARE(table.size(), 0);
    }
}

void TestImportFormats::unitTableErrorEmptiesTable() {
    UnitAssignmentTable table;
    QVERIFY(table.load(QStringLiteral("Stk`STK")));
    QVERIFY(table.isAssigned(QStringLiteral("STK")));
    QStringList many;
    for (int i = 0; i < 101; ++i)
        many << QStringLiteral("U");
    QVERIFY(!table.load(many.join(u',') + u'`' + many.join(u',')));
    QCOMPARE(table.size(), 0);
    QVERIFY(!table.isAssigned(QStringLiteral("STK")));
}

void TestImportFormats::collectMissingUnits() {
    UnitAssignmentTable table;
    QVERIFY(table.load(QStringLiteral("Stk,m`STK,M")));
    QString missing = kNoMissingUnits;

    // Assigned units and units that normalise to nothing add nothing.
    QVERIFY(!CollectMissingUnits(ImportArticleLine(articleLine({{5, "st k"}, {6, "-"}, {7, "m"}})),
                                 table, &missing));
    QCOMPARE(missing, QStringLiteral(" "));

    // Fields 5, 6, 7 in order; a unit missing twice on a line is listed once.
    QVERIFY(CollectMissingUnits(
        ImportArticleLine(articleLine({{5, "xyz"}, {6, "ROL"}, {7, "XYZ"}})), table, &missing));
    QCOMPARE(missing, QStringLiteral(" XYZ ROL "));

    // Listed once over many lines.
    QVERIFY(!CollectMissingUnits(
        ImportArticleLine(articleLine({{5, "Rol."}, {6, ""}, {7, "X Y Z"}})), table, &missing));
    QCOMPARE(missing, QStringLiteral(" XYZ ROL "));

    // A code that is part of a listed one is still missing on its own.
    QVERIFY(CollectMissingUnits(ImportArticleLine(articleLine({{5, "XY"}, {6, "RO"}, {7, "ST"}})),
                                table, &missing));
    QCOMPARE(missing, QStringLiteral(" XYZ ROL XY RO ST "));

    QCOMPARE(UnassignedUnitsMessage(missing),
             QStringLiteral("Einheiten  XYZ ROL XY RO ST  sind im Veltar nicht zugeordnet"));

    // A line with no unit fields at all.
    QString none = kNoMissingUnits;
    QVERIFY(!CollectMissingUnits(ImportArticleLine(QStringLiteral("DEMO01")), table, &none));
    QCOMPARE(none, QStringLiteral(" "));
}

// ---------------------------------------------------------------------------

void TestImportFormats::matchFileSemicolons_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three fields") << "x;y;z"
                                  << "xy";
    QTest::newRow("two fields") << "x;y"
                                << "xy";
    QTest::newRow("trailing empty columns") << "a\\b;;;;"
                                            << "a\\b";
    QTest::newRow("leading semicolon") << ";y;z"
                                       << "y";
    QTest::newRow("no semicolon") << "a\\b\\c"
                                  << "a\\b\\c";
    QTest::newRow("only semicolons") << ";;;"
                                     << "";
    QTest::newRow("backslashes on both sides") << "1\\a;b\\c\\d;e"
                                               << "1\\ab\\c\\d";
}

void TestImportFormats::matchFileSemicolons() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(RemoveMatchFileSemicolons(line), expected);
}

void TestImportFormats::matchFileLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("articleNumber");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("ean");
    QTest::newRow("trailing empty semicolon columns")
        << "100234\\Dübel 8x40\\x3\\x4\\x5\\x6\\4001234567890\\x8;;;;"
        << "100234"
        << "Dübel 8x40"
        << "4001234567890";
    QTest::newRow("exactly seven fields") << "A\\B\\\\\\\\\\E"
                                          << "A"
                                          << "B"
                                          << "E";
    QTest::newRow("semicolons joined before the split") << "1\\Tü;r\\3\\4\\5\\6\\7;rest"
                                                        << "1"
                                                        << "Tür"
                                                        << "7";
    QTest::newRow("x;y;z") << "x;y;z"
                           << "xy"
                           << ""
                           << "";
    QTest::newRow("fewer than seven fields") << "1\\Mörtel\\3"
                                             << "1"
                                             << "Mörtel"
                                             << "";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "";
}

void TestImportFormats::matchFileLine() {
    QFETCH(QString, line);
    QFETCH(QString, articleNumber);
    QFETCH(QString, description);
    QFETCH(QString, ean);
    const MatchFileEntry entry = ParseMatchFileLine(line);
    QCOMPARE(entry.articleNumber, articleNumber);
    QCOMPARE(entry.description, description);
    QCOMPARE(entry.ean, ean);
}

// ---------------------------------------------------------------------------

void TestImportFormats::readerLineEnds_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<qint64>("lineFeeds");
    QTest::newRow("CR LF") << QByteArray("a\\b\r\nc\\d\r\n") << QStringList{"a\\b", "c\\d"}
                           << qint64(2);
    QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"} << qint64(2);
    QTest::newRow("mixed") << QByteArray("a\r\nb\nc\r\n") << QStringList{"a", "b", "c"}
                           << qint64(3);
    QTest::newRow("last line without line end")
        << QByteArray("head\r\nlast") << QStringList{"head", "last"} << qint64(1);
    QTest::newRow("single line without line end")
        << QByteArray("only") << QStringList{"only"} << qint64(0);
    QTest::newRow("empty file") << QByteArray() << QStringList{} << qint64(0);
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""} << qint64(1);
    QTest::newRow("empty lines in the middle kept")
        << QByteArray("a\r\n\r\n\nb\r\n") << QStringList{"a", "", "", "b"} << qint64(4);
    QTest::newRow("empty last line kept")
        << QByteArray("a\r\n\r\n") << QStringList{"a", ""} << qint64(2);
    QTest::newRow("lone CR stays")
        << QByteArray("a\rb\r\nc") << QStringList{"a\rb", "c"} << qint64(1);
    QTest::newRow("only one CR stripped")
        << QByteArray("a\r\r\n") << QStringList{"a\r"} << qint64(1);
    QTest::newRow("CR at the very end stays")
        << QByteArray("a\r\nb\r") << QStringList{"a", "b\r"} << qint64(1);
    QTest::newRow("long line") << QByteArray(5000, 'x') + "\r\ny"
                               << QStringList{QString(5000, u'x'), "y"} << qint64(1);
}

void TestImportFormats::readerLineEnds() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(qint64, lineFeeds);
    const QString path = writeFile(bytes);
    // Small chunks put CR and LF (and whole lines) on both sides of a chunk
    // boundary.
    for (qint64 chunk :
         {qint64(1), qint64(2), qint64(3), qint64(7), ImportFileReader::kDefaultChunkSize}) {
        ImportFileReader reader(chunk);
        QVERIFY2(reader.open(path), qPrintable(reader.errorString()));
        QCOMPARE(reader.lineFeedCount(), lineFeeds);
        QStringList read;
        QString line;
        while (reader.readLine(&line))
            read << line;
        QCOMPARE(read, lines);
    }
}

void TestImportFormats::readerEncoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("Windows-1252 umlauts") << QByteArray("D\xFC"
                                                        "bel\r\nM\xF6rtel\r\nFu\xDF"
                                                        "leiste \x80\r\n")
                                          << false << QStringList{"Dübel", "Mörtel", "Fußleiste €"};
    QTest::newRow("Windows-1252, invalid as UTF-8 only at the end")
        << QByteArray("D\xC3\xBC"
                      "bel\r\nabc\r\nT\xFCr\r\n")
        << false << QStringList{"DÃ¼bel", "abc", "Tür"};
    QTest::newRow("Windows-1252 byte pair that looks like a UTF-8 lead")
        << QByteArray("\xC4\r\n") << false << QStringList{"Ä"};
    QTest::newRow("ASCII only") << QByteArray("a\\b\r\n") << false << QStringList{"a\\b"};
    QTest::newRow("UTF-8 without byte order mark")
        << QByteArray("D\xC3\xBC"
                      "bel\r\nT\xC3\xBCr \xE2\x82\xAC\r\n")
        << true << QStringList{"Dübel", "Tür €"};
    QTest::newRow("UTF-8 with byte order mark")
        << QByteArray("\xEF\xBB\xBFHerst\\ean\r\nM\xC3\xB6rtel\r\n") << true
        << QStringList{"Herst\\ean", "Mörtel"};
    QTest::newRow("UTF-8 byte order mark and ASCII") << QByteArray("\xEF\xBB\xBF"
                                                                   "a\r\nb")
                                                     << true << QStringList{"a", "b"};
    QTest::newRow("byte order mark, then invalid UTF-8") << QByteArray("\xEF\xBB\xBF"
                                                                       "a\r\nT\xFCr\r\n")
                                                         << false << QStringList{"ï»¿a", "Tür"};
    QTest::newRow("a byte order mark inside the text stays")
        << QByteArray("\xEF\xBB\xBF"
                      "a\r\n\xEF\xBB\xBF"
                      "b\r\n")
        << true << QStringList{"a", QString(QChar(0xFEFF)) + "b"};
    QTest::newRow("UTF-8 sequence cut off at the end")
        << QByteArray("abc\xC3") << false << QStringList{"abcÃ"};
    QTest::newRow("overlong form is not UTF-8")
        << QByteArray("\xC0\xAF") << false << QStringList{"À¯"};
    QTest::newRow("surrogate is not UTF-8")
        << QByteArray("\xED\xA0\x80") << false << QStringList{"í\u00A0€"};
    QTest::newRow("four-byte UTF-8") << QByteArray("\xF0\x9F\x98\x80") << true
                                     << QStringList{QString::fromUtf8("\xF0\x9F\x98\x80")};
}

void TestImportFormats::readerEncoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    QFETCH(QStringList, lines);
    const QString path = writeFile(bytes);
    // Chunks of 1 and 2 bytes split multi-byte sequences and the byte order
    // mark across chunks.
    for (qint64 chunk : {qint64(1), qint64(2), ImportFileReader::kDefaultChunkSize}) {
        ImportFileReader reader(chunk);
        QVERIFY(reader.open(path));
        QCOMPARE(reader.isUtf8(), utf8);
        QStringList read;
        QString line;
        while (reader.readLine(&line))
            read << line;
        QCOMPARE(read, lines);
    }
}

void TestImportFormats::readerRewindReadsAgain() {
    const QString path = writeFile(QByteArray("\xEF\xBB\xBFkopf\\x\r\nT\xC3\xBCr\r\nende"));
    ImportFileReader reader(4);
    QVERIFY(reader.open(path));
    QString line;
    QVERIFY(reader.readLine(&line));
    QCOMPARE(line, QStringLiteral("kopf\\x"));
    QVERIFY(reader.readLine(&line));
    QCOMPARE(line, QStringLiteral("Tür"));

    // Part-way through: starts again at the first line, byte order mark
    // still dropped.
    QVERIFY(reader.rewind());
    QStringList read;
    while (reader.readLine(&line))
        read << line;
    QCOMPARE(read, (QStringList{"kopf\\x", "Tür", "ende"}));

    // After the end.
    QVERIFY(reader.rewind());
    read.clear();
    while (reader.readLine(&line))
        read << line;
    QCOMPARE(read, (QStringList{"kopf\\x", "Tür", "ende"}));
    QCOMPARE(reader.lineFeedCount(), qint64(2));
}

void TestImportFormats::readerReadAfterEndAndClose() {
    const QString path = writeFile(QByteArray("a\r\n"));
    ImportFileReader reader;
    QString line = QStringLiteral("unchanged");
    QVERIFY(!reader.readLine(&line)); // not open yet
    QVERIFY(!reader.rewind());
    QCOMPARE(line, QStringLiteral("unchanged"));

    QVERIFY(reader.open(path));
    QVERIFY(reader.isOpen());
    QVERIFY(reader.readLine(&line));
    QCOMPARE(line, QStringLiteral("a"));
    QVERIFY(!reader.readLine(&line));
    QVERIFY(!reader.readLine(&line));
    QCOMPARE(line, QStringLiteral("a"));

    reader.close();
    QVERIFY(!reader.isOpen());
    QVERIFY(!reader.readLine(&line));
    QVERIFY(!reader.rewind());
    QCOMPARE(reader.lineFeedCount(), qint64(0));

    // Reopening another file forgets the first one's state.
    const QString utf8 = writeFile(QByteArray("T\xC3\xBCr\nx\ny\n"));
    QVERIFY(reader.open(utf8));
    QVERIFY(reader.isUtf8());
    QCOMPARE(reader.lineFeedCount(), qint64(3));
    QVERIFY(reader.open(path));
    QVERIFY(!reader.isUtf8());
    QCOMPARE(reader.lineFeedCount(), qint64(1));
    QVERIFY(reader.readLine(&line));
    QCOMPARE(line, QStringLiteral("a"));
}

void TestImportFormats::readerMissingFile() {
    ImportFileReader reader;
    QVERIFY(!reader.open(m_dir.filePath(QStringLiteral("does-not-exist.txt"))));
    QVERIFY(!reader.isOpen());
    QVERIFY(!reader.errorString().isEmpty());
    QString line = QStringLiteral("unchanged");
    QVERIFY(!reader.readLine(&line));
    QCOMPARE(line, QStringLiteral("unchanged"));
    QCOMPARE(reader.lineFeedCount(), qint64(0));

    // A successful open clears the error.
    QVERIFY(reader.open(writeFile(QByteArray("x"))));
    QCOMPARE(reader.errorString(), QString());
}

void TestImportFormats::readerLargeFile() {
    // Many lines across many chunks; every line comes back in order and the
    // count matches.
    const int count = 50000;
    QByteArray bytes = ToWindows1252(kExtendedImportHeaderLine) + "\r\n";
    for (int i = 1; i <= count; ++i)
        bytes +=
            ToWindows1252(QStringLiteral("DEMO01\\%1\\A%1\\Schraube größe %1\\STK\r\n").arg(i));
    const QString path = writeFile(bytes);
    ImportFileReader reader(4096);
    QVERIFY(reader.open(path));
    QVERIFY(!reader.isUtf8());
    QCOMPARE(reader.lineFeedCount(), qint64(count + 1));
    QString line;
    QVERIFY(reader.readLine(&line));
    QCOMPARE(line, kExtendedImportHeaderLine);
    int n = 0;
    while (reader.readLine(&line)) {
        ++n;
        if (line != QStringLiteral("DEMO01\\%1\\A%1\\Schraube größe %1\\STK").arg(n))
            QFAIL(qPrintable(QStringLiteral("line %1 reads %2").arg(n).arg(line)));
    }
    QCOMPARE(n, count);
}

void TestImportFormats::readFirstLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("firstArticle");
    QTest::addColumn<bool>("extended");
    QTest::newRow("extended import file")
        << ToWindows1252(kExtendedImportHeaderLine +
                         QStringLiteral("\r\nDEMO01\\4001\\A1\\Dübel\r\nDEMO01\\4002\r\n"))
        << kExtendedImportHeaderLine << "DEMO01\\4001\\A1\\Dübel" << true;
    QTest::newRow("header only") << QByteArray("a\\b\r\n") << "a\\b"
                                 << "" << true;
    QTest::newRow("header without line end") << QByteArray("a\\b") << "a\\b"
                                             << "" << true;
    QTest::newRow("comma-separated price list")
        << QByteArray("Artikel,Preis\r\n4711,12.50\r\n") << "Artikel,Preis"
        << "4711,12.50" << false;
    QTest::newRow("empty file") << QByteArray() << ""
                                << "" << false;
    QTest::newRow("UTF-8 with byte order mark")
        << QByteArray("\xEF\xBB\xBFH\\e\nM\xC3\xB6rtel\\x\n") << "H\\e"
        << "Mörtel\\x" << true;
}

void TestImportFormats::readFirstLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, header);
    QFETCH(QString, firstArticle);
    QFETCH(bool, extended);
    QString readHeader = QStringLiteral("stale");
    QString readArticle = QStringLiteral("stale");
    QVERIFY(ImportFileReader::readFirstLines(writeFile(bytes), &readHeader, &readArticle));
    QCOMPARE(readHeader, header);
    QCOMPARE(readArticle, firstArticle);
    QCOMPARE(IsExtendedImportHeader(readHeader), extended);
}

void TestImportFormats::readFirstLinesMissingFile() {
    QString header = QStringLiteral("stale");
    QString article = QStringLiteral("stale");
    QString error;
    QVERIFY(!ImportFileReader::readFirstLines(m_dir.filePath(QStringLiteral("missing.txt")),
                                              &header, &article, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(header, QStringLiteral("stale"));
    QCOMPARE(article, QStringLiteral("stale"));
}

QTEST_GUILESS_MAIN(TestImportFormats)
#include "test_importformats.moc"
