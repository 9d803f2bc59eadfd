#pragma once

// The synthetic catalogue pricegen writes in every format: the articles,
// their values and the options that shape them. Every article depends only
// on the seed and its own number.

#include "import/ImportFormats.h"

#include <QStringList>
#include <array>
#include <cstdint>

namespace pricegen {

// splitmix64: small, fast and identical on every platform (unlike the
// standard library's distributions).
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound-1
    int below(int bound) { return int(next() % std::uint64_t(bound)); }
    template <typename T, std::size_t N> const T& pick(const std::array<T, N>& items) {
        return items[std::size_t(below(int(N)))];
    }

private:
    std::uint64_t m_state;
};

struct Article {
    const char16_t* pattern; // %1 and %2 take sizes
    const char16_t* className;
    const char16_t* mainGroup; // the DATANORM main goods group of the class
};

constexpr std::array<Article, 12> kArticles{{
    {u"Dübel %1x%2", u"Befestigungstechnik", u"BEF"},
    {u"Schraube %1x%2 verzinkt", u"Befestigungstechnik", u"BEF"},
    {u"Holzschraube Senkkopf %1x%2", u"Befestigungstechnik", u"BEF"},
    {u"Mörtel %1 kg", u"Baustoffe", u"BAU"},
    {u"Fliesenkleber grau %1 kg", u"Baustoffe", u"BAU"},
    {u"Fußleiste Eiche %1 cm", u"Innenausbau", u"INN"},
    {u"Tür weiß %1 x %2 cm", u"Türen und Zargen", u"TUE"},
    {u"Türdrücker Edelstahl Größe %1", u"Beschläge", u"BES"},
    {u"Dämmplatte %1 mm", u"Dämmstoffe", u"DAE"},
    {u"Gipskartonplatte %1 x %2 mm", u"Trockenbau", u"TRO"},
    {u"Spachtel Größe %1", u"Werkzeuge", u"WZG"},
    {u"Abdeckfolie %1 m² stark", u"Malerbedarf", u"MAL"},
}};

constexpr std::array<const char16_t*, 10> kUnits{u"STK", u"M",   u"M2",  u"M3",  u"KG",
                                                 u"L",   u"PAK", u"ROL", u"SCK", u"PAL"};
// The same units as DATANORM files spell them: version 4 mostly as free
// text, version 5 mostly in UN/ECE codes. Each maps to the same ERP unit
// as the extended import file's code in the demo company's unit table.
constexpr std::array<const char16_t*, 10> kUnitsDatanorm4{u"Stck", u"m",   u"m2",  u"m3",  u"kg",
                                                          u"l",    u"Pak", u"Rol", u"Sck", u"Pal"};
constexpr std::array<const char16_t*, 10> kUnitsDatanorm5{u"PCE", u"MTR", u"MTK", u"MTQ", u"KGM",
                                                          u"LTR", u"PK",  u"RO",  u"BG",  u"PAL"};
constexpr std::array<int, 6> kQuantities{1, 5, 10, 25, 50, 100};
constexpr std::array<int, 3> kPriceUnits{1, 10, 100};
constexpr int kDiscountGroups = 20;

// Lines of the articles' long texts, at most 40 characters each.
constexpr std::array<const char16_t*, 16> kLongText{
    u"Hochwertige Ausführung für den Profi",
    u"Geprüfte Qualität nach Werksnorm",
    u"Für Innen- und Außenbereich geeignet",
    u"Lieferung in handelsüblicher Verpackung",
    u"Bitte Verarbeitungshinweise beachten",
    u"Trocken und frostfrei lagern",
    u"Lagerware, kurzfristig lieferbar",
    u"Farbe und Oberfläche wie abgebildet",
    u"Maße ohne Gewähr, Änderungen vorbehalten",
    u"Verpackungseinheit siehe Mengeneinheit",
    u"Geeignet für Neubau und Sanierung",
    u"Einfache und schnelle Montage",
    u"Rückgabe nur in Originalverpackung",
    u"Sicherheitsdatenblatt auf Anfrage",
    u"Zubehör separat erhältlich",
    u"Technische Daten siehe Katalogseite",
};

inline const QString kUnknownUnit = QStringLiteral("XYZ");
inline const QString kBrokenPrice = QStringLiteral("abc");
inline const QString kSupplierName = QStringLiteral("Müller Baustoffe GmbH");

// Euros from cents with decimal comma and thousands points: 123450 -> "1.234,50".
inline QString formatPrice(qint64 cents) {
    QString euros = QString::number(cents / 100);
    for (qsizetype at = euros.size() - 3; at > 0; at -= 3)
        euros.insert(at, u'.');
    return euros + u',' + QStringLiteral("%1").arg(cents % 100, 2, 10, QChar(u'0'));
}

// The first of a month: index 0 is "01.01.2027", 1 is "01.02.2027", ...
inline QString dateText(int index) {
    return QStringLiteral("01.%1.%2")
        .arg(index % 12 + 1, 2, 10, QChar(u'0'))
        .arg(2027 + index / 12);
}

// A 13-digit EAN with a valid check digit, different for every line number.
inline QString eanFor(qint64 line, std::uint64_t seed) {
    constexpr qint64 kRange = 100000000000LL; // 11 digits after the "4"
    const qint64 offset = qint64(Random(seed ^ 0xEA5EA5ull).next() % std::uint64_t(kRange));
    const qint64 body = (line * 7919 + offset) % kRange; // 7919 is prime to 10^11
    const QString digits = u'4' + QStringLiteral("%1").arg(body, 11, 10, QChar(u'0'));
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += (digits[i].unicode() - u'0') * (i % 2 == 0 ? 1 : 3);
    return digits + QString::number((10 - sum % 10) % 10);
}

enum class Format { Quendra, Datanorm4, Datanorm5, Bmecat, Xlsx, Csv };

struct Options {
    Format format = Format::Quendra;
    qint64 lines = 0;
    QString out;
    int dates = 1;
    bool secondPrice = false;
    qint64 zeroEvery = 0;
    qint64 unknownUnitEvery = 0;
    qint64 brokenLine = 0;
    qint64 netEvery = 10;
    std::uint64_t seed = 1;
    QString manufacturer = QStringLiteral("DEMO01");
};

// One article of the catalogue: its extended import file line's 29 fields
// and what the DATANORM formats write of it besides.
struct CatalogueArticle {
    QStringList fields;
    const Article* kind = nullptr;
    int unit = 0;        // of the VE, an index into kUnits
    qint64 cents = 0;    // the price for the price unit; 0 when it is 0
    bool broken = false; // the price is kBrokenPrice
    int priceUnit = 1;   // one of kPriceUnits
};

inline CatalogueArticle catalogueArticle(const Options& o, qint64 line) {
    Random random(o.seed * 0x100000001B3ull + std::uint64_t(line));
    CatalogueArticle c;
    c.kind = &random.pick(kArticles);
    const int size1 = 4 + random.below(97);
    const int size2 = 10 + random.below(191);
    const qint64 cents = 10 + random.below(150000);
    const qint64 secondCents = cents * (103 + random.below(6)) / 100;
    const int dateIndex = int((line - 1) % o.dates);

    QStringList& f = c.fields;
    f = QStringList(ImportArticleLine::kFieldCount);
    f[0] = o.manufacturer;
    f[1] = eanFor(line, o.seed);
    f[2] = QStringLiteral("%1-%2").arg(o.manufacturer).arg(line, 7, 10, QChar(u'0'));
    f[3] = QString::fromUtf16(c.kind->pattern).arg(size1);
    if (f[3].contains(QStringLiteral("%2")))
        f[3] = f[3].arg(size2);
    c.unit = random.below(int(kUnits.size()));
    f[4] = QString::fromUtf16(kUnits[std::size_t(c.unit)]);
    f[5] = QString::fromUtf16(random.pick(kUnits));
    f[6] = QString::fromUtf16(random.pick(kUnits));
    if (o.unknownUnitEvery > 0 && line % o.unknownUnitEvery == 0)
        f[5] = kUnknownUnit;
    f[7] = QString::number(random.pick(kQuantities));
    f[8] = QString::number(random.pick(kQuantities));
    const bool zero = o.zeroEvery > 0 && line % o.zeroEvery == 0;
    c.cents = zero ? 0 : cents;
    f[9] = zero ? QStringLiteral("0") : formatPrice(cents);
    c.broken = line == o.brokenLine;
    if (c.broken)
        f[9] = kBrokenPrice;
    f[10] = dateText(dateIndex);
    if (o.secondPrice) {
        f[11] = formatPrice(secondCents);
        f[12] = dateText(dateIndex + o.dates); // later than every first date
    } else {
        f[11] = QStringLiteral("0");
    }
    c.priceUnit = random.pick(kPriceUnits);
    f[13] = QString::number(c.priceUnit);
    f[14] = QStringLiteral("1");
    f[19] = QStringLiteral("RG%1").arg(1 + random.below(kDiscountGroups), 2, 10, QChar(u'0'));
    f[20] = QStringLiteral("1");
    f[21] = QStringLiteral("EC%1").arg(random.below(1000000), 6, 10, QChar(u'0'));
    f[24] = QString::fromUtf16(c.kind->className);
    f[25] = formatPrice(5 + random.below(5000)).replace(u'.', QString());
    f[26] = QStringLiteral("1");
    f[27] = QStringLiteral("J");
    return c;
}

inline QString articleLine(const Options& o, qint64 line) {
    return catalogueArticle(o, line).fields.join(ImportArticleLine::kSeparator);
}

} // namespace pricegen
