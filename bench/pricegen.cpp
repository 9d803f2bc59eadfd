// Writes a synthetic extended import file (supplier price file) for trying
// out and timing the price import:
//
//   pricegen --lines N --out FILE [--dates K] [--second-price] [--zero-every M]
//            [--unknown-unit-every M] [--broken-line L] [--seed S]
//            [--manufacturer CODE]
//
// The file has the web import's 29-name header line and N article lines, in
// Windows-1252 with CR LF line ends. The same options always give the same
// bytes; every article line depends only on the seed and its own number.
// Prints nothing but errors; exit code 0 on success, 1 on an error.

#include "common/TextHelpers.h"
#include "import/ImportFormats.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace {

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
};

constexpr std::array<Article, 12> kArticles{{
    {u"Dübel %1x%2", u"Befestigungstechnik"},
    {u"Schraube %1x%2 verzinkt", u"Befestigungstechnik"},
    {u"Holzschraube Senkkopf %1x%2", u"Befestigungstechnik"},
    {u"Mörtel %1 kg", u"Baustoffe"},
    {u"Fliesenkleber grau %1 kg", u"Baustoffe"},
    {u"Fußleiste Eiche %1 cm", u"Innenausbau"},
    {u"Tür weiß %1 x %2 cm", u"Türen und Zargen"},
    {u"Türdrücker Edelstahl Größe %1", u"Beschläge"},
    {u"Dämmplatte %1 mm", u"Dämmstoffe"},
    {u"Gipskartonplatte %1 x %2 mm", u"Trockenbau"},
    {u"Spachtel Größe %1", u"Werkzeuge"},
    {u"Abdeckfolie %1 m² stark", u"Malerbedarf"},
}};

constexpr std::array<const char16_t*, 10> kUnits{u"STK", u"M",   u"M2",  u"M3",  u"KG",
                                                 u"L",   u"PAK", u"ROL", u"SCK", u"PAL"};
constexpr std::array<int, 6> kQuantities{1, 5, 10, 25, 50, 100};
constexpr std::array<int, 3> kPriceUnits{1, 10, 100};

const QString kUnknownUnit = QStringLiteral("XYZ");
const QString kBrokenPrice = QStringLiteral("abc");

// Euros from cents with decimal comma and thousands points: 123450 -> "1.234,50".
QString formatPrice(qint64 cents) {
    QString euros = QString::number(cents / 100);
    for (qsizetype at = euros.size() - 3; at > 0; at -= 3)
        euros.insert(at, u'.');
    return euros + u',' + QStringLiteral("%1").arg(cents % 100, 2, 10, QChar(u'0'));
}

// The first of a month: index 0 is "01.01.2027", 1 is "01.02.2027", ...
QString dateText(int index) {
    return QStringLiteral("01.%1.%2")
        .arg(index % 12 + 1, 2, 10, QChar(u'0'))
        .arg(2027 + index / 12);
}

// A 13-digit EAN with a valid check digit, different for every line number.
QString eanFor(qint64 line, std::uint64_t seed) {
    constexpr qint64 kRange = 100000000000LL; // 11 digits after the "4"
    const qint64 offset = qint64(Random(seed ^ 0xEA5EA5ull).next() % std::uint64_t(kRange));
    const qint64 body = (line * 7919 + offset) % kRange; // 7919 is prime to 10^11
    const QString digits = u'4' + QStringLiteral("%1").arg(body, 11, 10, QChar(u'0'));
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += (digits[i].unicode() - u'0') * (i % 2 == 0 ? 1 : 3);
    return digits + QString::number((10 - sum % 10) % 10);
}

struct Options {
    qint64 lines = 0;
    QString out;
    int dates = 1;
    bool secondPrice = false;
    qint64 zeroEvery = 0;
    qint64 unknownUnitEvery = 0;
    qint64 brokenLine = 0;
    std::uint64_t seed = 1;
    QString manufacturer = QStringLiteral("DEMO01");
};

QString articleLine(const Options& o, qint64 line) {
    Random random(o.seed * 0x100000001B3ull + std::uint64_t(line));
    const Article& article = random.pick(kArticles);
    const int size1 = 4 + random.below(97);
    const int size2 = 10 + random.below(191);
    const qint64 cents = 10 + random.below(150000);
    const qint64 secondCents = cents * (103 + random.below(6)) / 100;
    const int dateIndex = int((line - 1) % o.dates);

    QStringList f(ImportArticleLine::kFieldCount);
    f[0] = o.manufacturer;
    f[1] = eanFor(line, o.seed);
    f[2] = QStringLiteral("%1-%2").arg(o.manufacturer).arg(line, 7, 10, QChar(u'0'));
    f[3] = QString::fromUtf16(article.pattern).arg(size1);
    if (f[3].contains(QStringLiteral("%2")))
        f[3] = f[3].arg(size2);
    f[4] = QString::fromUtf16(random.pick(kUnits));
    f[5] = QString::fromUtf16(random.pick(kUnits));
    f[6] = QString::fromUtf16(random.pick(kUnits));
    if (o.unknownUnitEvery > 0 && line % o.unknownUnitEvery == 0)
        f[5] = kUnknownUnit;
    f[7] = QString::number(random.pick(kQuantities));
    f[8] = QString::number(random.pick(kQuantities));
    f[9] = (o.zeroEvery > 0 && line % o.zeroEvery == 0) ? QStringLiteral("0") : formatPrice(cents);
    if (line == o.brokenLine)
        f[9] = kBrokenPrice;
    f[10] = dateText(dateIndex);
    if (o.secondPrice) {
        f[11] = formatPrice(secondCents);
        f[12] = dateText(dateIndex + o.dates); // later than every first date
    } else {
        f[11] = QStringLiteral("0");
    }
    f[13] = QString::number(random.pick(kPriceUnits));
    f[14] = QStringLiteral("1");
    f[19] = QStringLiteral("RG%1").arg(1 + random.below(20), 2, 10, QChar(u'0'));
    f[20] = QStringLiteral("1");
    f[21] = QStringLiteral("EC%1").arg(random.below(1000000), 6, 10, QChar(u'0'));
    f[24] = QString::fromUtf16(article.className);
    f[25] = formatPrice(5 + random.below(5000)).replace(u'.', QString());
    f[26] = QStringLiteral("1");
    f[27] = QStringLiteral("J");
    return f.join(ImportArticleLine::kSeparator);
}

// A non-negative whole number option; nullopt (and a message) when invalid.
std::optional<qint64> wholeNumber(const QCommandLineParser& parser, const QString& name,
                                  qint64 minimum, qint64 fallback) {
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok);
    if (!ok || value < minimum) {
        QTextStream(stderr) << "pricegen: --" << name << " needs a whole number of at least "
                            << minimum << ", not \"" << parser.value(name) << "\"\n";
        return std::nullopt;
    }
    return value;
}

bool writeFile(const Options& o) {
    QSaveFile file(o.out);
    if (!file.open(QIODevice::WriteOnly)) {
        QTextStream(stderr) << "pricegen: cannot write " << o.out << ": " << file.errorString()
                            << "\n";
        return false;
    }
    QByteArray block = ToWindows1252(kExtendedImportHeaderLine) + "\r\n";
    for (qint64 line = 1; line <= o.lines; ++line) {
        block += ToWindows1252(articleLine(o, line));
        block += "\r\n";
        if (block.size() >= (1 << 20) || line == o.lines) {
            if (file.write(block) != block.size())
                break;
            block.clear();
        }
    }
    if (!block.isEmpty())
        file.write(block);
    if (!file.commit()) {
        QTextStream(stderr) << "pricegen: cannot write " << o.out << ": " << file.errorString()
                            << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pricegen"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a synthetic extended import file (Windows-1252, CR LF)."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("lines"), QStringLiteral("Number of article lines."), QStringLiteral("N")},
        {QStringLiteral("out"), QStringLiteral("File to write."), QStringLiteral("FILE")},
        {QStringLiteral("dates"), QStringLiteral("Spread the first prices over K dates."),
         QStringLiteral("K")},
        {QStringLiteral("second-price"), QStringLiteral("Give every line a later second price.")},
        {QStringLiteral("zero-every"), QStringLiteral("Every M-th first price is 0."),
         QStringLiteral("M")},
        {QStringLiteral("unknown-unit-every"),
         QStringLiteral("Every M-th line has the unit XYZ in field 6."), QStringLiteral("M")},
        {QStringLiteral("broken-line"),
         QStringLiteral("Article line L gets the price \"abc\" in field 10."), QStringLiteral("L")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the generated values."),
         QStringLiteral("S")},
        {QStringLiteral("manufacturer"), QStringLiteral("Manufacturer code (field 1)."),
         QStringLiteral("CODE")},
    });
    parser.process(app);

    if (!parser.positionalArguments().isEmpty()) {
        QTextStream(stderr) << "pricegen: unexpected argument \""
                            << parser.positionalArguments().first() << "\"\n";
        return 1;
    }
    if (!parser.isSet(QStringLiteral("lines")) || !parser.isSet(QStringLiteral("out"))) {
        QTextStream(stderr) << "pricegen: --lines and --out are required\n";
        return 1;
    }

    Options o;
    const auto lines = wholeNumber(parser, QStringLiteral("lines"), 0, 0);
    const auto dates = wholeNumber(parser, QStringLiteral("dates"), 1, 1);
    const auto zeroEvery = wholeNumber(parser, QStringLiteral("zero-every"), 1, 0);
    const auto unknownEvery = wholeNumber(parser, QStringLiteral("unknown-unit-every"), 1, 0);
    const auto brokenLine = wholeNumber(parser, QStringLiteral("broken-line"), 1, 0);
    if (!lines || !dates || !zeroEvery || !unknownEvery || !brokenLine)
        return 1;
    if (*dates > 1200) {
        QTextStream(stderr) << "pricegen: --dates allows at most 1200 dates\n";
        return 1;
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        o.seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok) {
            QTextStream(stderr) << "pricegen: --seed needs a whole number, not \""
                                << parser.value(QStringLiteral("seed")) << "\"\n";
            return 1;
        }
    }
    if (parser.isSet(QStringLiteral("manufacturer"))) {
        o.manufacturer = parser.value(QStringLiteral("manufacturer"));
        const bool representable = std::all_of(o.manufacturer.cbegin(), o.manufacturer.cend(),
                                               [](QChar c) { return ToWindows1252(c) >= 0; });
        if (o.manufacturer.isEmpty() || !representable ||
            o.manufacturer.contains(ImportArticleLine::kSeparator) ||
            o.manufacturer.contains(kPositionLineSeparator) || o.manufacturer.contains(u'\r') ||
            o.manufacturer.contains(u'\n')) {
            QTextStream(stderr) << "pricegen: --manufacturer needs a non-empty code without "
                                   "\"\\\", \"|\" or line ends, in Windows-1252\n";
            return 1;
        }
    }
    o.lines = *lines;
    o.out = parser.value(QStringLiteral("out"));
    o.dates = int(*dates);
    o.secondPrice = parser.isSet(QStringLiteral("second-price"));
    o.zeroEvery = *zeroEvery;
    o.unknownUnitEvery = *unknownEvery;
    o.brokenLine = *brokenLine;

    return writeFile(o) ? 0 : 1;
}
