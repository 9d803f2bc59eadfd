#include "import/Datanorm.h"
#include "import/DatanormSource.h"
#include "import/Delivery.h"
#include "import/ImportFormats.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

using namespace Datanorm;

Q_DECLARE_METATYPE(Datanorm::Version)
Q_DECLARE_METATYPE(Datanorm::Article)
Q_DECLARE_METATYPE(DatanormKnowledge::ArticlePrices)

namespace {

constexpr Version V4 = Version::V4;
constexpr Version V5 = Version::V5;

// An article as one text: flag, number, texts, unit, price flag, price unit,
// cents, discount group, main group, goods group, EAN.
QString describe(const Article& a) {
    return QStringList{QString(a.flag),
                       a.number,
                       a.text1,
                       a.text2,
                       a.unit,
                       QString::number(a.priceFlag),
                       QString::number(a.priceUnit),
                       QString::number(a.cents),
                       a.discountGroup,
                       a.mainGroup,
                       a.goodsGroup,
                       a.ean}
        .join(u'|');
}

QString describe(const Discount& d) {
    return d.kind < 0 ? QStringLiteral("-") : QString::number(d.kind) + u':' + d.value;
}

// A price as one text: number, price flag, price unit, cents, discount
// group, the three discounts (kind:value, "-" for none), valid from.
QString describe(const Price& p) {
    return QStringList{p.number,
                       QString::number(p.priceFlag),
                       QString::number(p.priceUnit),
                       QString::number(p.cents),
                       p.discountGroup,
                       describe(p.discounts[0]),
                       describe(p.discounts[1]),
                       describe(p.discounts[2]),
                       p.validFrom}
        .join(u'|');
}

// A version 4 header: "V", a blank, the date, the three info texts at
// their widths (the third cut or padded by `shift` characters), then tail
// (version and currency).
QString v4Header(const QString& date, const QString& tail = QStringLiteral("04EUR"),
                 int shift = 0) {
    return QStringLiteral("V ") + date +
           QStringLiteral("Musterhandel Nord GmbH").leftJustified(40, u' ') +
           QStringLiteral("Artikelstamm Elektro").leftJustified(40, u' ') +
           QStringLiteral("Preisstand").leftJustified(35 + shift, u' ', true) + tail;
}

// A price line's 29 fields, the given ones set (1-based), the others empty.
QString lineText(const QMap<int, QString>& fields) {
    QStringList f;
    for (int n = 1; n <= ImportArticleLine::kFieldCount; ++n)
        f << fields.value(n);
    return f.join(ImportArticleLine::kSeparator);
}

Article article(const QString& number, int priceFlag, qint64 cents, int priceUnit = 1,
                const QString& group = QStringLiteral("R21")) {
    Article a;
    a.flag = u'N';
    a.number = number;
    a.text1 = QStringLiteral("Dübel 8x40 Nylon");
    a.text2 = QStringLiteral("Packung 100 Stück");
    a.unit = QStringLiteral("Pak");
    a.priceFlag = priceFlag;
    a.priceUnit = priceUnit;
    a.cents = cents;
    a.discountGroup = group;
    a.mainGroup = QStringLiteral("BEF");
    a.goodsGroup = QStringLiteral("BEF-DUE");
    a.ean = QStringLiteral("4006209100014");
    return a;
}

Price price(const QString& number, int priceFlag, qint64 cents,
            const QList<Discount>& discounts = {}) {
    Price p;
    p.number = number;
    p.priceFlag = priceFlag;
    p.cents = cents;
    for (qsizetype i = 0; i < discounts.size() && i < 3; ++i)
        p.discounts[i] = discounts[i];
    return p;
}

DatanormKnowledge::ArticlePrices prices(std::optional<Price> list, std::optional<Price> net,
                                        const QString& date = QStringLiteral("01.04.2027")) {
    DatanormKnowledge::ArticlePrices p;
    p.list = std::move(list);
    p.net = std::move(net);
    p.date = date;
    p.hasArticle = true;
    return p;
}

// The line of the article of the first test rows: what a price line of it
// holds besides its price, date, price unit and discount group.
QMap<int, QString> dowelLine(const QString& priceText, const QString& date,
                             const QString& group = QString(),
                             const QString& priceUnit = QStringLiteral("1")) {
    return {{ImportArticleLine::Ean, QStringLiteral("4006209100014")},
            {ImportArticleLine::HerstArtNr, QStringLiteral("DN-1001")},
            {ImportArticleLine::Bezeichng, QStringLiteral("Dübel 8x40 Nylon Packung 100 Stück")},
            {ImportArticleLine::VE, QStringLiteral("Pak")},
            {ImportArticleLine::Preis, priceText},
            {ImportArticleLine::GueltigAb, date},
            {ImportArticleLine::Preis2, QStringLiteral("0")},
            {ImportArticleLine::PreisEHT, priceUnit},
            {ImportArticleLine::RabattGR, group},
            {ImportArticleLine::FclassPreferredName, QStringLiteral("Dübel")}};
}

} // namespace

class TestDatanorm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fields_data();
    void fields();
    void readHeader_data();
    void readHeader();
    void notAHeader_data();
    void notAHeader();
    void readArticle_data();
    void readArticle();
    void readAddition_data();
    void readAddition();
    void readPrices_data();
    void readPrices();
    void discountPercent_data();
    void discountPercent();
    void readDiscountRate_data();
    void readDiscountRate();
    void readGoodsGroup_data();
    void readGoodsGroup();
    void description_data();
    void description();
    void priceText_data();
    void priceText();
    void dateText_data();
    void dateText();
    void datanormLine_data();
    void datanormLine();

    // The source over files: the tracks the buyer chooses from count the
    // lines that have a price, and prices of articles the delivery has are
    // never prices without article.
    void groupAndOwnDiscounts();
    void tracksCountThePricedLines_data();
    void tracksCountThePricedLines();

private:
    QTemporaryDir m_dir;
    int m_folder = 0;
};

// ---------------------------------------------------------------------------

void TestDatanorm::fields_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("ends with ;") << "A;N;KX-1;" << QStringList{"A", "N", "KX-1"};
    QTest::newRow("without the last ;") << "A;N;KX-1" << QStringList{"A", "N", "KX-1"};
    QTest::newRow("blanks around fields") << "A; N ;KX-1 ; ;" << QStringList{"A", "N", "KX-1", ""};
    QTest::newRow("empty fields inside") << "A;;;" << QStringList{"A", "", ""};
    QTest::newRow("a blank last field is dropped") << "R;;R21; " << QStringList{"R", "", "R21"};
    QTest::newRow("only the last empty field is dropped")
        << "S;;ELE;Elektro;;;" << QStringList{"S", "", "ELE", "Elektro", "", ""};
    QTest::newRow("one field") << "V" << QStringList{"V"};
    QTest::newRow("only ;") << ";" << QStringList{""};
    QTest::newRow("tabs are blanks") << "T;\tN\t;x" << QStringList{"T", "N", "x"};
}

void TestDatanorm::fields() {
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QCOMPARE(Fields(line), fields);
}

void TestDatanorm::readHeader_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Version>("version");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("currency");
    QTest::addColumn<QChar>("content");

    QTest::newRow("version 4, 128 characters") << v4Header("150327") << V4 << "15.03.2027"
                                               << "EUR" << QChar(u' ');
    QTest::newRow("version 4, old currency") << v4Header("311298", "04DEM") << V4 << "31.12.1998"
                                             << "DEM" << QChar(u' ');
    QTest::newRow("version 4, blank currency") << v4Header("150327", "04   ") << V4 << "15.03.2027"
                                               << "EUR" << QChar(u' ');
    QTest::newRow("version 4, blank date") << v4Header("      ") << V4 << ""
                                           << "EUR" << QChar(u' ');
    QTest::newRow("version 4, date that is none") << v4Header("310227") << V4 << ""
                                                  << "EUR" << QChar(u' ');
    QTest::newRow("version 4, 129 characters")
        << v4Header("010427", "04EUR", 1) << V4 << "01.04.2027"
        << "EUR" << QChar(u' ');
    QTest::newRow("version 4, 127 characters")
        << v4Header("010427", "04EUR", -1) << V4 << "01.04.2027"
        << "EUR" << QChar(u' ');
    QTest::newRow("version 4, 129 characters and blanks after")
        << v4Header("010427", "04CHF   ", 1) << V4 << "01.04.2027"
        << "CHF" << QChar(u' ');

    QTest::newRow("version 5")
        << "V;050;A;20270315;EUR;Artikelstamm;(c) Musterhandel;MHN;Musterhandel Nord "
           "GmbH;;;Hafenweg 12;D;99999;Neustadt;"
        << V5 << "15.03.2027"
        << "EUR" << QChar(u'A');
    QTest::newRow("version 5, five fields, no currency")
        << "V;050;P;20270401;;" << V5 << "01.04.2027"
        << "EUR" << QChar(u'P');
    QTest::newRow("version 5, content in lower case")
        << "V;050;r;20270401;CHF;" << V5 << "01.04.2027"
        << "CHF" << QChar(u'R');
    QTest::newRow("version 5, no content") << "V;050;;20270401;EUR;" << V5 << "01.04.2027"
                                           << "EUR" << QChar(u' ');
    QTest::newRow("version 5, no date") << "V;050;A;;EUR;" << V5 << ""
                                        << "EUR" << QChar(u'A');
}

void TestDatanorm::readHeader() {
    QFETCH(QString, line);
    QFETCH(Version, version);
    QFETCH(QString, date);
    QFETCH(QString, currency);
    QFETCH(QChar, content);
    const auto header = ReadHeader(line);
    QVERIFY(header.has_value());
    QCOMPARE(header->version, version);
    QCOMPARE(header->date, date);
    QCOMPARE(header->currency, currency);
    QCOMPARE(header->content, content);
}

void TestDatanorm::notAHeader_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("empty") << "";
    QTest::newRow("an article record") << "A;N;KX-4410;00;Abzweigdose;;1;0;Stck;349;R21;ELE;;";
    QTest::newRow("version 5 field of another version") << "V;040;A;20270315;EUR;";
    QTest::newRow("version 5 without version") << "V;;A;20270315;EUR;";
    QTest::newRow("version 4 header of version 3") << v4Header("150327", "03EUR");
    QTest::newRow("version 4 header without version") << v4Header("150327", "  EUR");
    QTest::newRow("too short") << "V 150327";
    QTest::newRow("not V") << QString(v4Header("150327")).replace(0, 1, u'X');
    QTest::newRow("an extended import file's header") << kExtendedImportHeaderLine;
}

void TestDatanorm::notAHeader() {
    QFETCH(QString, line);
    QVERIFY(!ReadHeader(line).has_value());
}

void TestDatanorm::readArticle_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Version>("version");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("article"); // describe(); "" when there is a problem

    // Version 4.
    QTest::newRow("4: list price per 10")
        << "A;N;KX-7702;40;LS-Schalter B16 1-polig;6 kA, 1 TE;1;1;Stck;41890;R05;ELE;LT7702;" << V4
        << ""
        << "N|KX-7702|LS-Schalter B16 1-polig|6 kA, 1 TE|Stck|1|10|41890|R05|ELE||";
    QTest::newRow("4: price unit 0 is per 1")
        << "A;N;KX-1;00;Dose;;1;0;Stck;349;R21;ELE;;" << V4 << ""
        << "N|KX-1|Dose||Stck|1|1|349|R21|ELE||";
    QTest::newRow("4: no price unit is per 1")
        << "A;N;KX-1;00;Dose;;1;;Stck;349;R21;ELE;;" << V4 << ""
        << "N|KX-1|Dose||Stck|1|1|349|R21|ELE||";
    QTest::newRow("4: price unit 2 is per 100")
        << "A;N;KX-1;00;Schraube;;1;2;Stck;899;R21;BEF;;" << V4 << ""
        << "N|KX-1|Schraube||Stck|1|100|899|R21|BEF||";
    QTest::newRow("4: price unit 3 is per 1000")
        << "A;N;KX-1;00;Kabelbinder;;1;3;Stck;1290;;ELE;;" << V4 << ""
        << "N|KX-1|Kabelbinder||Stck|1|1000|1290||ELE||";
    QTest::newRow("4: price unit 4")
        << "A;N;KX-1;00;Dose;;1;4;Stck;349;R21;ELE;;" << V4 << "Preiseinheit 4 unbekannt"
        << "";
    QTest::newRow("4: price unit 10 is no code")
        << "A;N;KX-1;00;Dose;;1;10;Stck;349;R21;ELE;;" << V4 << "Preiseinheit 10 unbekannt"
        << "";
    QTest::newRow("4: net price") << "A;N;KX-1;00;Mörtel 25 kg;Sack;2;0;kg;745;;BAU;;" << V4 << ""
                                  << "N|KX-1|Mörtel 25 kg|Sack|kg|2|1|745||BAU||";
    QTest::newRow("4: factory price") << "A;N;KX-1;00;Dose;;3;0;Stck;349;;ELE;;" << V4 << ""
                                      << "N|KX-1|Dose||Stck|3|1|349||ELE||";
    QTest::newRow("4: no price flag") << "A;N;KX-1;00;Dose;;;0;Stck;349;R21;ELE;;" << V4 << ""
                                      << "N|KX-1|Dose||Stck|0|1|349|R21|ELE||";
    QTest::newRow("4: price flag of two digits")
        << "A;N;KX-1;00;Dose;;12;0;Stck;349;R21;ELE;;" << V4 << "Preiskennzeichen 12 unbekannt"
        << "";
    QTest::newRow("4: price flag a letter")
        << "A;N;KX-1;00;Dose;;x;0;Stck;349;R21;ELE;;" << V4 << "Preiskennzeichen x unbekannt"
        << "";
    QTest::newRow("4: price 0 is none") << "A;N;KX-1;00;Estrich;;1;0;Stck;0;R30;BAU;;" << V4 << ""
                                        << "N|KX-1|Estrich||Stck|1|1|-1|R30|BAU||";
    QTest::newRow("4: empty price is none")
        << "A;N;KX-1;00;Estrich;;1;0;Stck;;R30;BAU;;" << V4 << ""
        << "N|KX-1|Estrich||Stck|1|1|-1|R30|BAU||";
    QTest::newRow("4: price with decimal comma")
        << "A;N;KX-1;00;Dose;;1;0;Stck;3,49;R21;ELE;;" << V4 << ""
        << "N|KX-1|Dose||Stck|1|1|349|R21|ELE||";
    QTest::newRow("4: price with decimal point and one decimal")
        << "A;N;KX-1;00;Dose;;1;0;Stck;3.5;R21;ELE;;" << V4 << ""
        << "N|KX-1|Dose||Stck|1|1|350|R21|ELE||";
    QTest::newRow("4: price that is no number")
        << "A;N;KX-1;00;Dose;;1;2;Stck;8a9;R21;BEF;;" << V4 << "Preis 8a9 ist keine Zahl"
        << "";
    QTest::newRow("4: price of 13 digits") << "A;N;KX-1;00;Dose;;1;0;Stck;1234567890123;R21;ELE;;"
                                           << V4 << "Preis 1234567890123 ist keine Zahl"
                                           << "";
    QTest::newRow("4: fields trimmed")
        << "A; n ; KX-1 ;00; Dose ; grau ;1;0; Stck ; 349 ;R21 ; ELE;;" << V4 << ""
        << "N|KX-1|Dose|grau|Stck|1|1|349|R21|ELE||";
    QTest::newRow("4: delete") << "A;L;KX-0099;" << V4 << ""
                               << "L|KX-0099||||0|1|-1||||";
    QTest::newRow("4: number change") << "A;X;KX-0100;;KX-0100N;" << V4 << ""
                                      << "X|KX-0100||||0|1|-1||||";
    QTest::newRow("4: change of three fields") << "A;A;KX-1;" << V4 << ""
                                               << "A|KX-1||||0|1|-1||||";
    QTest::newRow("4: change of the price only") << "A;A;KX-1;;;;1;0;;399;" << V4 << ""
                                                 << "A|KX-1||||1|1|399||||";
    QTest::newRow("4: processing flag unknown") << "A;Q;KX-1;00;Dose;;1;0;Stck;349;R21;ELE;;" << V4
                                                << "Verarbeitungskennzeichen Q unbekannt"
                                                << "";
    QTest::newRow("4: processing flag missing")
        << "A;;KX-1;00;Dose;;1;0;Stck;349;R21;ELE;;" << V4 << "Verarbeitungskennzeichen  unbekannt"
        << "";
    QTest::newRow("4: processing flag of two letters")
        << "A;NA;KX-1;00;Dose;;1;0;Stck;349;R21;ELE;;" << V4
        << "Verarbeitungskennzeichen NA unbekannt"
        << "";
    QTest::newRow("4: two fields") << "A;N" << V4 << "A-Satz mit 2 statt mindestens 3 Feldern"
                                   << "";
    QTest::newRow("4: new article of 9 fields")
        << "A;N;KX-1;00;Dose;;1;0;Stck;" << V4 << "A-Satz mit 9 statt mindestens 10 Feldern"
        << "";
    QTest::newRow("4: no article number")
        << "A;N;;00;Dose;;1;0;Stck;349;R21;ELE;;" << V4 << "A-Satz ohne Artikelnummer"
        << "";

    // Version 5.
    QTest::newRow("5: all fields")
        << "A;N;KX-2215;Mantelleitung NYM-J 3x1,5 mm2;Ring 100 m, "
           "grau;MTR;1;100;8950;R30;ELE;ELE-KABEL;NYM3X15;;;;;;4000004422156;;100;240;4;LT2215;;"
           "1;;;;"
        << V5 << ""
        << "N|KX-2215|Mantelleitung NYM-J 3x1,5 mm2|Ring 100 m, "
           "grau|MTR|1|100|8950|R30|ELE|ELE-KABEL|4000004422156";
    QTest::newRow("5: stops after the goods group")
        << "A;N;KX-4410;Abzweigdose AP 85x85 mm;IP54;PCE;1;1;349;R21;ELE;ELE-DOSEN;" << V5 << ""
        << "N|KX-4410|Abzweigdose AP 85x85 mm|IP54|PCE|1|1|349|R21|ELE|ELE-DOSEN|";
    QTest::newRow("5: price unit 25") << "A;N;KX-1;Kabel;;MTR;1;25;1000;;;" << V5 << ""
                                      << "N|KX-1|Kabel||MTR|1|25|1000||||";
    QTest::newRow("5: price unit 0 is 1") << "A;N;KX-1;Kabel;;MTR;1;0;1000;" << V5 << ""
                                          << "N|KX-1|Kabel||MTR|1|1|1000||||";
    QTest::newRow("5: no price unit is 1") << "A;N;KX-1;Kabel;;MTR;1;;1000;" << V5 << ""
                                           << "N|KX-1|Kabel||MTR|1|1|1000||||";
    QTest::newRow("5: price on request") << "A;N;KX-1;Kabel;;MTR;9;1;1000;" << V5 << ""
                                         << "N|KX-1|Kabel||MTR|9|1|1000||||";
    QTest::newRow("5: price unit that is no number")
        << "A;N;KX-1;Kabel;;MTR;1;abc;1000;" << V5 << "Preiseinheit abc ist keine Zahl"
        << "";
    QTest::newRow("5: price unit of six digits")
        << "A;N;KX-1;Kabel;;MTR;1;123456;1000;" << V5 << "Preiseinheit 123456 ist keine Zahl"
        << "";
    QTest::newRow("5: price that is no number")
        << "A;N;KX-1;Kabel;;MTR;1;1;10 EUR;" << V5 << "Preis 10 EUR ist keine Zahl"
        << "";
    QTest::newRow("5: new article of 8 fields")
        << "A;N;KX-1;Kabel;;MTR;1;1;" << V5 << "A-Satz mit 8 statt mindestens 9 Feldern"
        << "";
    QTest::newRow("5: change of three fields") << "A;A;KX-1;" << V5 << ""
                                               << "A|KX-1||||0|1|-1||||";
}

void TestDatanorm::readArticle() {
    QFETCH(QString, line);
    QFETCH(Version, version);
    QFETCH(QString, problem);
    QFETCH(QString, article);
    Article a;
    QCOMPARE(ReadArticle(Fields(line), version, &a), problem);
    if (problem.isEmpty())
        QCOMPARE(describe(a), article);
}

void TestDatanorm::readAddition_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("article");
    QTest::newRow("EAN and goods group")
        << "B;N;KX-4410;ABZWDOSE85;9931-4410;112;0;0;0;4000004410016;;ELE-DOSEN;;10;;;"
        << ""
        << "N|KX-4410|Dose||Stck|1|1|349|R21|ELE|ELE-DOSEN|4000004410016";
    QTest::newRow("copper fields")
        << "B;N;KX-4410;NYM3X15;;240;1;150;432;4000004422156;;ELE-KABEL;;1;;;"
        << ""
        << "N|KX-4410|Dose||Stck|1|1|349|R21|ELE|ELE-KABEL|4000004422156";
    QTest::newRow("stops after the article number") << "B;N;KX-4410;"
                                                    << ""
                                                    << "N|KX-4410|Dose||Stck|1|1|349|R21|ELE||";
    QTest::newRow("of another article") << "B;N;KX-4411;X;;1;0;0;0;4000004410016;;ELE;;;;;"
                                        << "B-Satz ohne seinen A-Satz"
                                        << "";
    QTest::newRow("two fields") << "B;N"
                                << "B-Satz mit 2 statt mindestens 3 Feldern"
                                << "";
}

void TestDatanorm::readAddition() {
    QFETCH(QString, line);
    QFETCH(QString, problem);
    QFETCH(QString, article);
    Article a;
    QCOMPARE(ReadArticle(Fields("A;N;KX-4410;00;Dose;;1;0;Stck;349;R21;ELE;;"), V4, &a), "");
    QCOMPARE(ReadAddition(Fields(line), &a), problem);
    if (problem.isEmpty())
        QCOMPARE(describe(a), article);
}

void TestDatanorm::readPrices_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Version>("version");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QStringList>("prices"); // describe() of each

    // Version 4: up to three sets of nine fields.
    QTest::newRow("4: three sets")
        << "P;A;KX-4410;1;369;1;1500;;;;;KX-4411;2;512;;;;;;;KX-7702;1;43990;0;R05;1;300;;;" << V4
        << ""
        << QStringList{"KX-4410|1|0|369||1:1500|-|-|", "KX-4411|2|0|512||-|-|-|",
                       "KX-7702|1|0|43990|R05|-|1:300|-|"};
    QTest::newRow("4: one set with two discounts")
        << "P;A;DN-1004;1;1890;1;1500;2;900;;;" << V4 << ""
        << QStringList{"DN-1004|1|0|1890||1:1500|2:900|-|"};
    QTest::newRow("4: discount kinds 1 to 3") << "P;A;DN-1;1;1000;1;1000;2;900;3;250;" << V4 << ""
                                              << QStringList{"DN-1|1|0|1000||1:1000|2:900|3:250|"};
    QTest::newRow("4: discount group in the third slot")
        << "P;A;DN-1;1;1000;;;;;0;R30;" << V4 << "" << QStringList{"DN-1|1|0|1000|R30|-|-|-|"};
    QTest::newRow("4: first set not used")
        << "P;A;;;;;;;;;;DN-2;2;845;;;;;;;" << V4 << "" << QStringList{"DN-2|2|0|845||-|-|-|"};
    QTest::newRow("4: the same article twice")
        << "P;A;DN-1;1;1199;;;;;;;DN-1;2;845;;;;;;;" << V4 << ""
        << QStringList{"DN-1|1|0|1199||-|-|-|", "DN-1|2|0|845||-|-|-|"};
    QTest::newRow("4: five fields")
        << "P;A;DN-1;1;1199;" << V4 << "" << QStringList{"DN-1|1|0|1199||-|-|-|"};
    QTest::newRow("4: price with decimal comma")
        << "P;A;DN-1;2;11,99;" << V4 << "" << QStringList{"DN-1|2|0|1199||-|-|-|"};
    QTest::newRow("4: discount kind 4")
        << "P;A;DN-1;1;1199;4;100;" << V4 << "Rabattkennzeichen 4 unbekannt" << QStringList{};
    QTest::newRow("4: discount without kind")
        << "P;A;DN-1;1;1199;;100;" << V4 << "Rabattkennzeichen  unbekannt" << QStringList{};
    QTest::newRow("4: kind without discount")
        << "P;A;DN-1;1;1199;1;;" << V4 << "Rabatt  ist keine Zahl" << QStringList{};
    QTest::newRow("4: discount that is no number")
        << "P;A;DN-1;1;1199;1;15%;" << V4 << "Rabatt 15% ist keine Zahl" << QStringList{};
    QTest::newRow("4: a discount of all of the price")
        << "P;A;DN-1;1;1199;1;10000;" << V4 << "" << QStringList{"DN-1|1|0|1199||1:10000|-|-|"};
    QTest::newRow("4: a discount of more than the price")
        << "P;A;DN-1;1;1199;1;10001;" << V4 << "Rabatt 10001 über 100 %" << QStringList{};
    QTest::newRow("4: problem in the second set")
        << "P;A;DN-1;1;1199;;;;;;;DN-2;x;845;" << V4 << "Preiskennzeichen x unbekannt"
        << QStringList{};
    QTest::newRow("4: price that is no number")
        << "P;A;DN-1;1;1a;" << V4 << "Preis 1a ist keine Zahl" << QStringList{};
    QTest::newRow("4: set without price")
        << "P;A;DN-1;1;;1;1500;" << V4 << "Preis  ist keine Zahl" << QStringList{};
    QTest::newRow("4: no set used")
        << "P;A;;1;100;;;;;;;" << V4 << "P-Satz ohne Artikelnummer" << QStringList{};
    QTest::newRow("4: four fields")
        << "P;A;DN-1;1" << V4 << "P-Satz mit 4 statt mindestens 5 Feldern" << QStringList{};

    // Version 5: one article a line, price unit and valid-from date.
    QTest::newRow("5: list price with discount and date")
        << "P;KX-4410;1;1;369;R21;1;1500;;;;;20240401;" << V5 << ""
        << QStringList{"KX-4410|1|1|369|R21|1:1500|-|-|01.04.2024"};
    QTest::newRow("5: net price per 100")
        << "P;DN-5001;2;100;7450;;;;;;;;;" << V5 << "" << QStringList{"DN-5001|2|100|7450||-|-|-|"};
    QTest::newRow("5: no price unit is the article's")
        << "P;DN-5001;1;;7450;" << V5 << "" << QStringList{"DN-5001|1|0|7450||-|-|-|"};
    QTest::newRow("5: recommended retail price")
        << "P;DN-5001;4;1;9990;" << V5 << "" << QStringList{"DN-5001|4|1|9990||-|-|-|"};
    QTest::newRow("5: three discounts") << "P;DN-1;1;1;1000;;1;1000;2;900;3;250;" << V5 << ""
                                        << QStringList{"DN-1|1|1|1000||1:1000|2:900|3:250|"};
    QTest::newRow("5: valid from as DDMMYYYY") << "P;DN-1;1;1;1000;;;;;;;;01042027;" << V5 << ""
                                               << QStringList{"DN-1|1|1|1000||-|-|-|01.04.2027"};
    QTest::newRow("5: valid from that is no date")
        << "P;DN-1;1;1;1000;;;;;;;;20271340;" << V5 << "Datum 20271340 ist kein gültiges Datum"
        << QStringList{};
    QTest::newRow("5: price unit that is no number")
        << "P;DN-1;1;abc;1000;" << V5 << "Preiseinheit abc ist keine Zahl" << QStringList{};
    QTest::newRow("5: no price") << "P;DN-1;1;1;;R21;" << V5 << "Preis  ist keine Zahl"
                                 << QStringList{};
    QTest::newRow("5: price flag unknown")
        << "P;DN-1;x;1;1000;" << V5 << "Preiskennzeichen x unbekannt" << QStringList{};
    QTest::newRow("5: no article number")
        << "P;;1;1;1000;" << V5 << "P-Satz ohne Artikelnummer" << QStringList{};
    QTest::newRow("5: four fields")
        << "P;DN-1;1;1" << V5 << "P-Satz mit 4 statt mindestens 5 Feldern" << QStringList{};
}

void TestDatanorm::readPrices() {
    QFETCH(QString, line);
    QFETCH(Version, version);
    QFETCH(QString, problem);
    QFETCH(QStringList, prices);
    QList<Price> read{Price()}; // read clears the list
    QCOMPARE(ReadPrices(Fields(line), version, &read), problem);
    if (!problem.isEmpty())
        return;
    QStringList described;
    for (const Price& p : read)
        described << describe(p);
    QCOMPARE(described, prices);
}

void TestDatanorm::discountPercent_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("has");
    QTest::addColumn<double>("percent");
    QTest::newRow("none") << -1 << "" << false << 0.0;
    QTest::newRow("discount group") << 0 << "R05" << false << 0.0;
    QTest::newRow("percent in hundredths") << 1 << "1250" << true << 12.5;
    QTest::newRow("percent 0") << 1 << "0" << true << 0.0;
    QTest::newRow("multiplier in thousandths") << 2 << "850" << true << 15.0;
    QTest::newRow("multiplier with leading zero") << 2 << "0850" << true << 15.0;
    QTest::newRow("multiplier 1") << 2 << "1000" << true << 0.0;
    QTest::newRow("multiplier above 1 adds") << 2 << "1200" << true << -20.0;
    QTest::newRow("surcharge in hundredths") << 3 << "500" << true << -5.0;
    QTest::newRow("percent that is no number") << 1 << "12,5" << false << 0.0;
    QTest::newRow("percent without value") << 1 << "" << false << 0.0;
    QTest::newRow("kind unknown") << 4 << "100" << false << 0.0;
}

void TestDatanorm::discountPercent() {
    QFETCH(int, kind);
    QFETCH(QString, value);
    QFETCH(bool, has);
    QFETCH(double, percent);
    Discount d;
    d.kind = kind;
    d.value = value;
    const auto got = DiscountPercent(d);
    QCOMPARE(got.has_value(), has);
    if (has)
        QVERIFY2(qAbs(*got - percent) < 1e-9, qPrintable(QString::number(*got, 'g', 17)));
}

void TestDatanorm::readDiscountRate_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Version>("version");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("rate"); // group|discount|text

    QTest::newRow("4: percent") << "R;;R21;1;3250;Installationsmaterial;" << V4 << ""
                                << "R21|1:3250|Installationsmaterial";
    QTest::newRow("4: multiplier") << "R;;R05;2;620;Reiheneinbaugeraete;" << V4 << ""
                                   << "R05|2:620|Reiheneinbaugeraete";
    QTest::newRow("4: surcharge, a seventh field") << "R;;R99;3;500;Zuschlag;;" << V4 << ""
                                                   << "R99|3:500|Zuschlag";
    QTest::newRow("4: without text") << "R;;R21;1;3250;" << V4 << ""
                                     << "R21|1:3250|";
    QTest::newRow("4: without rate") << "R;;R21;;;Ohne Satz;" << V4 << ""
                                     << "R21|-|Ohne Satz";
    QTest::newRow("4: three fields") << "R;;R21" << V4 << "R-Satz mit 3 statt mindestens 4 Feldern"
                                     << "";
    QTest::newRow("4: no group") << "R;;;1;3250;Text;" << V4 << "R-Satz ohne Rabattgruppe"
                                 << "";
    QTest::newRow("4: kind unknown")
        << "R;;R21;5;3250;Text;" << V4 << "Rabattkennzeichen 5 unbekannt"
        << "";
    QTest::newRow("4: rate that is no number")
        << "R;;R21;1;32,5;Text;" << V4 << "Rabatt 32,5 ist keine Zahl"
        << "";
    QTest::newRow("5: percent") << "R;R21;1;3250;Installationsmaterial;" << V5 << ""
                                << "R21|1:3250|Installationsmaterial";
    QTest::newRow("5: two fields") << "R;R21;" << V5 << "R-Satz mit 2 statt mindestens 3 Feldern"
                                   << "";
    QTest::newRow("5: kind without rate") << "R;R21;1;;Text;" << V5 << "Rabatt  ist keine Zahl"
                                          << "";
}

void TestDatanorm::readDiscountRate() {
    QFETCH(QString, line);
    QFETCH(Version, version);
    QFETCH(QString, problem);
    QFETCH(QString, rate);
    DiscountRate r;
    r.text = QStringLiteral("from before");
    QCOMPARE(ReadDiscountRate(Fields(line), version, &r), problem);
    if (problem.isEmpty())
        QCOMPARE(r.group + u'|' + describe(r.discount) + u'|' + r.text, rate);
}

void TestDatanorm::readGoodsGroup_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Version>("version");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("group"); // main|group|text

    QTest::newRow("4: main group") << "S;;ELE;Elektroinstallation;;;" << V4 << ""
                                   << "ELE||Elektroinstallation";
    QTest::newRow("4: sub group") << "S;;ELE;;ELE-DOSEN;Dosen und Gehaeuse;" << V4 << ""
                                  << "ELE|ELE-DOSEN|Dosen und Gehaeuse";
    QTest::newRow("4: all four filled") << "S;;ELE;Elektro;ELE-DOSEN;Dosen;" << V4 << ""
                                        << "ELE|ELE-DOSEN|Dosen";
    QTest::newRow("4: four fields") << "S;;ELE;Elektro" << V4 << ""
                                    << "ELE||Elektro";
    QTest::newRow("4: three fields") << "S;;ELE;" << V4 << "S-Satz mit 3 statt mindestens 4 Feldern"
                                     << "";
    QTest::newRow("4: no group") << "S;;;Text;;;" << V4 << "S-Satz ohne Warengruppe"
                                 << "";
    QTest::newRow("5: main group") << "S;ELE;;Elektroinstallation;" << V5 << ""
                                   << "ELE||Elektroinstallation";
    QTest::newRow("5: sub group") << "S;ELE;ELE-DOSEN;Dosen und Gehaeuse;" << V5 << ""
                                  << "ELE|ELE-DOSEN|Dosen und Gehaeuse";
    QTest::newRow("5: only the code") << "S;ELE;" << V5 << ""
                                      << "ELE||";
    QTest::newRow("5: one field") << "S;" << V5 << "S-Satz mit 1 statt mindestens 2 Feldern"
                                  << "";
    QTest::newRow("5: no group") << "S;;;Text;" << V5 << "S-Satz ohne Warengruppe"
                                 << "";
}

void TestDatanorm::readGoodsGroup() {
    QFETCH(QString, line);
    QFETCH(Version, version);
    QFETCH(QString, problem);
    QFETCH(QString, group);
    GoodsGroup g;
    g.text = QStringLiteral("from before");
    QCOMPARE(ReadGoodsGroup(Fields(line), version, &g), problem);
    if (problem.isEmpty())
        QCOMPARE(g.mainGroup + u'|' + g.group + u'|' + g.text, group);
}

void TestDatanorm::description_data() {
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<QString>("description");
    QTest::newRow("both") << "Abzweigdose AP 85x85 mm"
                          << "IP54, grau"
                          << "Abzweigdose AP 85x85 mm IP54, grau";
    QTest::newRow("no text 2") << "Abzweigdose"
                               << ""
                               << "Abzweigdose";
    QTest::newRow("no text 1") << ""
                               << "IP54, grau"
                               << "IP54, grau";
    QTest::newRow("neither") << ""
                             << ""
                             << "";
    QTest::newRow("text 2 the same") << "Dübel 8x40"
                                     << "Dübel 8x40"
                                     << "Dübel 8x40";
    QTest::newRow("text 2 the last word of text 1") << "Dübel 8x40 Nylon"
                                                    << "Nylon"
                                                    << "Dübel 8x40 Nylon";
    QTest::newRow("text 2 words inside text 1") << "Mantelleitung Ring 100 m grau"
                                                << "Ring 100 m"
                                                << "Mantelleitung Ring 100 m grau";
    QTest::newRow("text 2 the first word of text 1") << "Nylon Dübel 8x40"
                                                     << "Nylon"
                                                     << "Nylon Dübel 8x40";
    // Text 2 inside a word or number of text 1 says something of its own.
    QTest::newRow("text 2 inside a number") << "Kupferrohr 15 mm"
                                            << "5 m"
                                            << "Kupferrohr 15 mm 5 m";
    QTest::newRow("text 2 a digit of text 1") << "Rohrschelle 22 mm"
                                              << "2"
                                              << "Rohrschelle 22 mm 2";
}

void TestDatanorm::description() {
    QFETCH(QString, text1);
    QFETCH(QString, text2);
    QFETCH(QString, description);
    QCOMPARE(Description(text1, text2), description);
}

void TestDatanorm::priceText_data() {
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<QString>("text");
    QTest::newRow("euros and cents") << qint64(1234) << "12,34";
    QTest::newRow("cents only") << qint64(5) << "0,05";
    QTest::newRow("whole euros") << qint64(100) << "1,00";
    QTest::newRow("zero") << qint64(0) << "0,00";
    QTest::newRow("no thousands points") << qint64(123456789) << "1234567,89";
    QTest::newRow("the largest price of a file") << qint64(999999999999) << "9999999999,99";
}

void TestDatanorm::priceText() {
    QFETCH(qint64, cents);
    QFETCH(QString, text);
    QCOMPARE(PriceText(cents), text);
    // A price line's price field reads it back.
    double value = -1;
    QVERIFY(ConvertPrice(text, &value));
    QCOMPARE(qRound64(value * 100), cents);
}

void TestDatanorm::dateText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("date");
    QTest::newRow("DDMMYY") << "150324"
                            << "15.03.2024";
    QTest::newRow("DDMMYY, year 70 is 1970") << "010170"
                                             << "01.01.1970";
    QTest::newRow("DDMMYY, year 69 is 2069") << "311269"
                                             << "31.12.2069";
    QTest::newRow("DDMMYY, 29 February of a leap year") << "290224"
                                                        << "29.02.2024";
    QTest::newRow("DDMMYY, 29 February of another year") << "290223"
                                                         << "";
    QTest::newRow("YYYYMMDD") << "20270315"
                              << "15.03.2027";
    QTest::newRow("YYYYMMDD of the last century") << "19991231"
                                                  << "31.12.1999";
    QTest::newRow("DDMMYYYY") << "15032027"
                              << "15.03.2027";
    QTest::newRow("DDMMYYYY from the 20th") << "20032027"
                                            << "20.03.2027";
    QTest::newRow("DDMMYYYY from the 19th") << "19121999"
                                            << "19.12.1999";
    QTest::newRow("both readings: YYYYMMDD first") << "20110203"
                                                   << "03.02.2011";
    QTest::newRow("blanks around") << " 20270315 "
                                   << "15.03.2027";
    QTest::newRow("month 13") << "20271340"
                              << "";
    QTest::newRow("with dashes") << "2027-03-15"
                                 << "";
    QTest::newRow("seven digits") << "1503202"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blanks") << "      "
                            << "";
    QTest::newRow("letters") << "abcdef"
                             << "";
}

void TestDatanorm::dateText() {
    QFETCH(QString, text);
    QFETCH(QString, date);
    QCOMPARE(DateText(text), date);
}

void TestDatanorm::datanormLine_data() {
    QTest::addColumn<Article>("article");
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("hasPrices");
    QTest::addColumn<DatanormKnowledge::ArticlePrices>("prices");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("rabtyp");
    QTest::addColumn<QString>("netto");
    QTest::addColumn<QStringList>("discounts");

    const QString date = QStringLiteral("15.03.2027");
    const DatanormKnowledge::ArticlePrices none;

    QTest::newRow("list price with discount group")
        << article("DN-1001", 1, 1250) << date << false << none
        << lineText(dowelLine("12,50", date, "R21")) << ""
        << "" << QStringList{};
    QTest::newRow("list price per 100")
        << article("DN-1001", 1, 89950, 100) << date << false << none
        << lineText(dowelLine("899,50", date, "R21", "100")) << ""
        << "" << QStringList{};
    QTest::newRow("no price flag is a list price")
        << article("DN-1001", 0, 1250) << date << false << none
        << lineText(dowelLine("12,50", date, "R21")) << ""
        << "" << QStringList{};
    QTest::newRow("no price") << article("DN-1001", 1, -1) << date << false << none
                              << lineText(dowelLine("0", date, "R21")) << ""
                              << "" << QStringList{};
    QTest::newRow("net price of the article, no discount group")
        << article("DN-1001", 2, 745) << date << false << none << lineText(dowelLine("7,45", date))
        << "N"
        << "7.45" << QStringList{};
    QTest::newRow("net price of a P record, no price of the article")
        << article("DN-1001", 1, -1) << date << true
        << prices(std::nullopt, price("DN-1001", 2, 900))
        << lineText(dowelLine("9,00", "01.04.2027")) << "N"
        << "9" << QStringList{};
    QTest::newRow("list price with own discounts")
        << article("DN-1001", 1, 1250) << date << true
        << prices(price("DN-1001", 1, 1000, {{1, "1500"}, {1, "300"}}), std::nullopt)
        << lineText(dowelLine("10,00", "01.04.2027")) << "%"
        << "8.245" << QStringList{"15", "3"};
    QTest::newRow("list price with multiplier and surcharge")
        << article("DN-1001", 1, 1250) << date << true
        << prices(price("DN-1001", 1, 2000, {{2, "800"}, {3, "500"}}), std::nullopt)
        << lineText(dowelLine("20,00", "01.04.2027")) << "%"
        << "16.8" << QStringList{"20", "-5"};
    QTest::newRow("list price and net price")
        << article("DN-1001", 1, 1250) << date << true
        << prices(price("DN-1001", 1, 1200), price("DN-1001", 2, 800))
        << lineText(dowelLine("12,00", "01.04.2027")) << "N"
        << "8" << QStringList{};
    QTest::newRow("list price of the article, net price of a P record")
        << article("DN-1001", 1, 1250) << date << true
        << prices(std::nullopt, price("DN-1001", 2, 800))
        << lineText(dowelLine("12,50", "01.04.2027")) << "N"
        << "8" << QStringList{};
    QTest::newRow("list price of a P record without discounts keeps the group")
        << article("DN-1001", 1, 1250) << date << true
        << prices(price("DN-1001", 1, 1300), std::nullopt)
        << lineText(dowelLine("13,00", "01.04.2027", "R21")) << ""
        << "" << QStringList{};

    Price grouped = price("DN-1001", 1, 1500);
    grouped.discountGroup = QStringLiteral("R05");
    QTest::newRow("discount group of a P record")
        << article("DN-1001", 1, 1250) << date << true << prices(grouped, std::nullopt)
        << lineText(dowelLine("15,00", "01.04.2027", "R05")) << ""
        << "" << QStringList{};

    Price dated = price("DN-1001", 1, 1500);
    dated.validFrom = QStringLiteral("01.05.2027");
    QTest::newRow("valid-from date of a P record")
        << article("DN-1001", 1, 1250) << date << true << prices(dated, std::nullopt)
        << lineText(dowelLine("15,00", "01.05.2027", "R21")) << ""
        << "" << QStringList{};

    Price perHundred = price("DN-1001", 1, 8950);
    perHundred.priceUnit = 100;
    QTest::newRow("price unit of a P record")
        << article("DN-1001", 1, 1250) << date << true << prices(perHundred, std::nullopt)
        << lineText(dowelLine("89,50", "01.04.2027", "R21", "100")) << ""
        << "" << QStringList{};

    Article slashed = article("DN-1001", 1, 1250);
    slashed.text1 = QStringLiteral("Dübel 8\\40");
    slashed.text2.clear();
    QMap<int, QString> slashedLine = dowelLine("12,50", date, "R21");
    slashedLine[ImportArticleLine::Bezeichng] = QStringLiteral("Dübel 8/40");
    QTest::newRow("separator of the price line in a text")
        << slashed << date << false << none << lineText(slashedLine) << ""
        << "" << QStringList{};
}

// A P record naming a discount group and discounts of its own: the group's
// rate of the .RAB file comes first, then its own; a group without a known
// rate stays the position's group, without the discounts.
void TestDatanorm::groupAndOwnDiscounts() {
    Price p = price("DN-1001", 1, 1890, {{1, "300"}});
    p.discountGroup = QStringLiteral("R21");
    const DatanormKnowledge::ArticlePrices both = prices(p, std::nullopt);
    const Article a = article("DN-1001", 1, 1250);
    const SourceLine known =
        DatanormLine(a, "15.03.2027", &both, QString(), {{"R21", {"32.5", "", ""}}});
    QCOMPARE(known.extras.rabtyp, QString("%"));
    QCOMPARE(known.extras.discounts, (QStringList{"32.5", "3"}));
    QCOMPARE(known.extras.netto, QString("12.3748")); // 18,90 x 0,675 x 0,97
    QCOMPARE(known.line.field(ImportArticleLine::RabattGR), QString());
    const SourceLine unknown = DatanormLine(a, "15.03.2027", &both, QString(), {});
    QVERIFY(!unknown.extras.any());
    QCOMPARE(unknown.line.field(ImportArticleLine::RabattGR), QString("R21"));
    QCOMPARE(unknown.line.field(ImportArticleLine::Preis), QString("18,90"));
}

void TestDatanorm::datanormLine() {
    QFETCH(Article, article);
    QFETCH(QString, date);
    QFETCH(bool, hasPrices);
    QFETCH(DatanormKnowledge::ArticlePrices, prices);
    QFETCH(QString, line);
    QFETCH(QString, rabtyp);
    QFETCH(QString, netto);
    QFETCH(QStringList, discounts);
    const SourceLine s =
        DatanormLine(article, date, hasPrices ? &prices : nullptr, QStringLiteral("Dübel"));
    QCOMPARE(s.line.text(), line);
    QCOMPARE(s.line.fieldCount(), ImportArticleLine::kFieldCount);
    QCOMPARE(s.extras.rabtyp, rabtyp);
    QCOMPARE(s.extras.any(), !rabtyp.isEmpty());
    QCOMPARE(s.extras.netto, netto);
    QCOMPARE(s.extras.discounts, discounts);
}

// ---------------------------------------------------------------------------

void TestDatanorm::tracksCountThePricedLines_data() {
    QTest::addColumn<QStringList>("files");  // each file's lines, "\n" between them
    QTest::addColumn<QString>("tracks");     // date=count, ";" between them
    QTest::addColumn<QStringList>("priced"); // the order numbers of the lines with a price
    QTest::addColumn<QStringList>("withoutArticle");

    const QString h4 = v4Header("150327");
    const QString p4 = v4Header("010427");
    const QString h5 = QStringLiteral("V;050;A;20270315;EUR;");

    QTest::newRow("4: own prices of every price flag")
        << QStringList{h4 + "\nA;N;K-1;00;Rohr;;1;0;Stck;1000;R1;ROH;;"
                            "\nA;N;K-2;00;Muffe;;2;0;Stck;200;;ROH;;"
                            "\nA;N;K-3;00;Bogen;;3;0;Stck;300;;ROH;;"
                            "\nA;N;K-4;00;Kappe;;;0;Stck;400;;ROH;;"
                            "\nA;N;K-5;00;Stopfen;;1;0;Stck;0;;ROH;;"}
        << "15.03.2027=4" << QStringList{"K-1", "K-2", "K-3", "K-4"} << QStringList{};
    QTest::newRow("4: only factory prices")
        << QStringList{h4 + "\nA;N;K-1;00;Rohr;;3;0;Stck;1000;;ROH;;"
                            "\nA;N;K-2;00;Muffe;;3;0;Stck;200;;ROH;;"}
        << "15.03.2027=2" << QStringList{"K-1", "K-2"} << QStringList{};
    QTest::newRow("4: price file replaces own prices")
        << QStringList{h4 + "\nA;N;K-1;00;Rohr;;1;0;Stck;1000;R1;ROH;;"
                            "\nA;N;K-2;00;Muffe;;1;0;Stck;200;R1;ROH;;",
                       p4 + "\nP;A;K-1;1;1100;;;;;;;K-2;2;150;;;;;;;"}
        << "01.04.2027=2" << QStringList{"K-1", "K-2"} << QStringList{};
    QTest::newRow("4: recommended price of an article of the delivery")
        << QStringList{h4 + "\nA;N;K-1;00;Rohr;;1;0;Stck;1000;R1;ROH;;",
                       p4 + "\nP;A;K-1;4;1999;;;;;;;K-9;1;500;"}
        << "15.03.2027=1" << QStringList{"K-1"} << QStringList{"K-9"};
    QTest::newRow("4: price 0 in the price file is no price")
        << QStringList{h4 + "\nA;N;K-1;00;Rohr;;2;0;Stck;150;;ROH;;"
                            "\nA;N;K-2;00;Muffe;;1;0;Stck;200;R1;ROH;;",
                       p4 + "\nP;A;K-1;1;0;;;;;;;K-2;1;0;;;;;;;K-3;2;0;"}
        << "15.03.2027=2" << QStringList{"K-1", "K-2"} << QStringList{};
    QTest::newRow("5: P record after its article")
        << QStringList{h5 + "\nA;N;K-1;Rohr;;PCE;1;1;1000;R1;"
                            "\nP;K-1;1;1;1100;;;;;;;;20270401;"
                            "\nA;N;K-2;Muffe;;PCE;1;1;200;R1;"}
        << "01.04.2027=1;15.03.2027=1" << QStringList{"K-1", "K-2"} << QStringList{};
    QTest::newRow("5: P record before its article")
        << QStringList{h5 + "\nP;K-1;2;1;900;;;;;;;;;"
                            "\nA;N;K-1;Rohr;;PCE;1;1;1000;R1;"}
        << "15.03.2027=1" << QStringList{"K-1"} << QStringList{};
    QTest::newRow("5: header without date, P record after its article")
        << QStringList{"V;050;A;;EUR;\nA;N;K-1;Rohr;;PCE;1;1;1000;R1;"
                       "\nP;K-1;1;1;1100;;;;;;;;;"}
        << "=1" << QStringList{"K-1"} << QStringList{};
    QTest::newRow("5: price 0 after the article is no price")
        << QStringList{h5 + "\nA;N;K-1;Rohr;;PCE;1;1;1000;R1;"
                            "\nP;K-1;1;1;0;;;;;;;;20270401;"}
        << "15.03.2027=1" << QStringList{"K-1"} << QStringList{};
    QTest::newRow("5: price 0 after the article is no price")
        << QStringList{h5 + "\nA;N;K-1;Rohr;;PCE;1;1;1000;R1;"
                            "\nP;K-1;1;1;0;;;;;;;;20270401;"}
        << "15.03.2027=1" << QStringList{"K-1"} << QStringList{};
    // A price on request is a guide, no price to import; a factory price
    // is a net price, and takes its track.
    QTest::newRow("5: price on request") << QStringList{h5 + "\nA;N;K-1;Rohr;;PCE;9;1;1000;;"} << ""
                                         << QStringList{} << QStringList{};
    QTest::newRow("5: factory price") << QStringList{h5 + "\nA;N;K-1;Rohr;;PCE;3;1;1000;;"}
                                      << "15.03.2027=1" << QStringList{"K-1"} << QStringList{};
}

void TestDatanorm::tracksCountThePricedLines() {
    QFETCH(QStringList, files);
    QFETCH(QString, tracks);
    QFETCH(QStringList, priced);
    QFETCH(QStringList, withoutArticle);

    const QString folder = m_dir.filePath(QString::number(++m_folder));
    QVERIFY(QDir().mkpath(folder));
    QStringList paths;
    for (qsizetype i = 0; i < files.size(); ++i) {
        paths << folder + QStringLiteral("/file%1").arg(i);
        QFile f(paths.last());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(files[i].toUtf8() + "\n");
    }
    const Delivery delivery = RecognizeDelivery(paths);
    QVERIFY2(delivery.ok(), qPrintable(delivery.message));

    const auto noStop = [](const QString&, qint64, const QString&) {
        return std::optional<RecordIssue>();
    };
    DatanormKnowledge k;
    DatanormSource scan(delivery);
    QVERIFY(!scan.readSideFiles(k));
    QVERIFY(!scan.walkArticles(k, true, noStop,
                               [](const SourceLine&) { return std::optional<RecordIssue>(); }));
    QCOMPARE(DatanormSource::ArticlesWithoutMaster(k), withoutArticle);

    // The lines with every price known, and the tracks they take.
    QStringList stored;
    QMap<QString, qint64> counts;
    DatanormSource store(delivery);
    QVERIFY(!store.walkArticles(k, false, noStop, [&](const SourceLine& s) {
        if (const auto track = TrackOf(s)) {
            stored << s.line.field(ImportArticleLine::HerstArtNr);
            ++counts[*track];
        }
        return std::optional<RecordIssue>();
    }));
    QStringList counted;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        counted << it.key() + u'=' + QString::number(*it);
    QCOMPARE(counted.join(u';'), tracks);
    QCOMPARE(stored, priced);
}

QTEST_GUILESS_MAIN(TestDatanorm)
#include "test_datanorm.moc"
