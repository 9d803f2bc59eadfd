// Writes a synthetic supplier catalogue for trying out and timing the price
// import, as an extended import file (the default), a DATANORM 4 or 5
// delivery, a BMEcat catalogue or a price list:
//
//   pricegen --lines N --out FILE [--format quendra|datanorm4|datanorm5|bmecat|xlsx|csv]
//            [--dates K] [--second-price] [--zero-every M]
//            [--unknown-unit-every M] [--broken-line L] [--seed S]
//            [--manufacturer CODE] [--net-every M]
//
// Every format holds the same catalogue: N articles with the same order
// numbers, descriptions, units (each format's spelling of the same ERP unit),
// EANs, prices and price units, discount groups, goods group names and
// price dates. The same options always give the same bytes; every article
// depends only on the seed and its own number.
//
// quendra: the extended import file, the web import's 29-name header line
// and one line per article, in Windows-1252 with CR LF line ends.
//
// datanorm4, datanorm5: FILE is the article file (call it DATANORM.001);
// next to it, in the same folder, go DATANORM.WRG (the goods groups, whose
// names the positions carry), DATANORM.RAB (the discount groups' rates) and
// for version 4 DATPREIS.001 when an article has a P record; a file of those
// names already there is replaced. Each article is an A record with its
// list price (price flag 1) and discount group, for version 4 a B record
// with its EAN, and two to four T records of long text. Every M-th article
// (--net-every, 10 by default, 0 for none) also gets a P record with a net
// price or discounts of its own (in DATPREIS.001 for version 4, in the
// article file after the article for version 5); that makes the position's
// purchase side, never a second position. Version 4 is in code page 850
// with CR LF line ends and ^Z at the end, version 5 in UTF-8 with LF line
// ends and an E record at the end. The DATANORM formats write one price per
// article of one date: --dates above 1, --second-price and
// --unknown-unit-every are for the quendra format only.
//
// bmecat: BMEcat 2005 in UTF-8, a PRODUCT per article with its long text,
// list price, recommended retail price and every M-th a net price.
// xlsx, csv: a price list with the columns of kListHeader (the import's
// mapping kListColumns; the .xlsx has a title row above the header, so its
// prices begin in row 3, the CSV's in row 2). These write one price date
// too.
//
// Prints nothing but errors; exit code 0 on success, 1 on an error.

#include "Catalogue.h"
#include "CatalogueFormats.h"
#include "common/TextHelpers.h"
#include "import/ImportFormats.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace {

using namespace pricegen;

// ---------------------------------------------------------------------------
// DATANORM

// Code page 850 of the characters the catalogue uses; nullopt when the text
// holds one it cannot write.
std::optional<QByteArray> ToCp850(const QString& text) {
    static constexpr std::array<QPair<char16_t, unsigned char>, 9> kBytes{{{u'ä', 0x84},
                                                                           {u'ö', 0x94},
                                                                           {u'ü', 0x81},
                                                                           {u'Ä', 0x8E},
                                                                           {u'Ö', 0x99},
                                                                           {u'Ü', 0x9A},
                                                                           {u'ß', 0xE1},
                                                                           {u'é', 0x82},
                                                                           {u'²', 0xFD}}};
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F) {
            bytes += char(u);
            continue;
        }
        const auto found = std::find_if(kBytes.begin(), kBytes.end(),
                                        [u](const auto& pair) { return pair.first == u; });
        if (found == kBytes.end())
            return std::nullopt;
        bytes += char(found->second);
    }
    return bytes;
}

// A file written a block at a time; records get the format's line end.
class RecordFile {
public:
    RecordFile(const QString& path, Format format) : m_file(path), m_format(format) {}

    bool open() {
        if (m_file.open(QIODevice::WriteOnly))
            return true;
        return fail(m_file.errorString());
    }
    bool add(const QString& record) {
        ++m_records;
        if (m_format == Format::Datanorm5) {
            m_block += record.toUtf8();
            m_block += '\n';
        } else {
            const auto bytes = ToCp850(record);
            if (!bytes)
                return fail(QStringLiteral("a text is not in code page 850: ") + record);
            m_block += *bytes;
            m_block += "\r\n";
        }
        return m_block.size() < (1 << 20) || flush();
    }
    qint64 records() const { return m_records; }
    bool commit() {
        if (m_format == Format::Datanorm4)
            m_block += char(0x1A); // the DOS end of file
        if (!flush() || !m_file.commit())
            return fail(m_file.errorString());
        return true;
    }

private:
    bool flush() {
        if (m_file.write(m_block) != m_block.size())
            return fail(m_file.errorString());
        m_block.clear();
        return true;
    }
    bool fail(const QString& why) {
        QTextStream(stderr) << "pricegen: cannot write " << m_file.fileName() << ": " << why
                            << "\n";
        m_file.cancelWriting();
        return false;
    }

    QSaveFile m_file;
    Format m_format;
    QByteArray m_block;
    qint64 m_records = 0;
};

QString record(const QStringList& fields) {
    return fields.join(u';') + u';';
}

// "01.01.2027" as "010127" (version 4's header) or "20270101".
QString fileDate(const QString& date, Format format) {
    const QString dd = date.left(2), mm = date.mid(3, 2), yyyy = date.mid(6, 4);
    return format == Format::Datanorm4 ? dd + mm + yyyy.right(2) : yyyy + mm + dd;
}

// The header: version 4's 128 fixed characters, version 5's fields.
QString header(Format format, QChar content, const QString& date, const QString& description,
               const Options& o) {
    if (format == Format::Datanorm5)
        return record({QStringLiteral("V"), QStringLiteral("050"), QString(content),
                       fileDate(date, format), QStringLiteral("EUR"), description,
                       QStringLiteral("(c) ") + kSupplierName, o.manufacturer, kSupplierName,
                       QString(), QString(), QStringLiteral("Kanalstraße 7"), QStringLiteral("D"),
                       QStringLiteral("99998"), QStringLiteral("Altfeld")});
    return QStringLiteral("V ") + fileDate(date, format) +
           kSupplierName.leftJustified(40, u' ', true) + description.leftJustified(40, u' ', true) +
           (QStringLiteral("Preisstand ") + date).leftJustified(35, u' ', true) +
           QStringLiteral("04EUR");
}

// The first word of a description as a search word: upper case, umlauts
// spelled out, at most 15 characters.
QString matchcode(const QString& description) {
    QString word = description.section(u' ', 0, 0).toUpper();
    word.replace(u'Ä', QStringLiteral("AE"))
        .replace(u'Ö', QStringLiteral("OE"))
        .replace(u'Ü', QStringLiteral("UE"))
        .replace(u'ß', QStringLiteral("SS"));
    return word.left(15);
}

// A description as short texts 1 and 2: split at its last blank, so that
// the two joined with a blank give it again.
QPair<QString, QString> shortTexts(const QString& description) {
    const qsizetype blank = description.lastIndexOf(u' ');
    if (blank <= 0)
        return {description, QString()};
    const QString text1 = description.left(blank);
    const QString text2 = description.mid(blank + 1);
    if (text1.contains(text2)) // a reader would leave text 2 out
        return {description, QString()};
    return {text1, text2};
}

// What an article's P record says: a net price, or the list price with
// discounts of its own (kind and value as the files write them).
struct OwnPrice {
    bool net = false;
    qint64 cents = 0;
    QList<QPair<int, int>> discounts;
};

// The records of one article, in the order a supplier writes them, and its
// P record (version 4's go to the price file).
struct ArticleRecords {
    QStringList records;
    std::optional<OwnPrice> own;
};

ArticleRecords articleRecords(const Options& o, qint64 line) {
    const CatalogueArticle c = catalogueArticle(o, line);
    const QStringList& f = c.fields;
    // What the extended import file has no field for, from a stream of its
    // own, the same for both versions.
    Random extra((o.seed ^ 0xDA7A5EEDull) * 0x100000001B3ull + std::uint64_t(line));
    const QString page = QString::number(1 + extra.below(480));
    ArticleRecords r;
    if (o.netEvery > 0 && line % o.netEvery == 0 && c.cents > 0 && !c.broken) {
        OwnPrice own;
        own.net = (line / o.netEvery) % 2 == 1;
        if (own.net) {
            own.cents = std::max<qint64>(1, c.cents * (55 + extra.below(30)) / 100);
        } else {
            own.cents = c.cents;
            if (extra.below(3) == 0) {
                own.discounts.append({2, 700 + 10 * extra.below(26)}); // a multiplier
            } else {
                own.discounts.append({1, 500 + 100 * extra.below(30)});
                if (extra.below(2) == 0)
                    own.discounts.append({1, 300});
            }
        }
        r.own = own;
    }
    const int textRecords = 2 + extra.below(3);
    const bool shortLast = extra.below(2) == 0;

    const bool v4 = o.format == Format::Datanorm4;
    const QString number = f[2];
    const auto [text1, text2] = shortTexts(f[3]);
    const QString unit =
        QString::fromUtf16((v4 ? kUnitsDatanorm4 : kUnitsDatanorm5)[std::size_t(c.unit)]);
    const QString price = c.broken ? kBrokenPrice : QString::number(c.cents);
    const QString group = f[19];
    const QString mainGroup = QString::fromUtf16(c.kind->mainGroup);
    const QString textKey = QStringLiteral("LT%1").arg(line, 7, 10, QChar(u'0'));
    const QString quantity = f[7];
    const QString ean = f[1];

    // The long text: the description, then lines of the pool.
    const int lineCount = v4 ? 2 * textRecords - (shortLast ? 1 : 0) : textRecords;
    QStringList longText{f[3]};
    while (longText.size() < lineCount)
        longText << QString::fromUtf16(extra.pick(kLongText));

    if (v4) {
        const QString unitCode = QString::number(c.priceUnit == 1 ? 0 : c.priceUnit == 10 ? 1 : 2);
        r.records << record({QStringLiteral("A"), QStringLiteral("N"), number, QStringLiteral("40"),
                             text1, text2, QStringLiteral("1"), unitCode, unit, price, group,
                             mainGroup, textKey});
        r.records << record({QStringLiteral("B"), QStringLiteral("N"), number, matchcode(f[3]),
                             QString(), page, QStringLiteral("0"), QStringLiteral("0"),
                             QStringLiteral("0"), ean, QString(), QString(), QString(), quantity,
                             QString(), QString()});
        for (int i = 0; i < lineCount; i += 2) {
            QStringList t{QStringLiteral("T"),    QStringLiteral("N"), textKey,    QString(),
                          QString::number(i + 1), QString(),           longText[i]};
            if (i + 1 < lineCount)
                t << QString::number(i + 2) << QString() << longText[i + 1];
            r.records << record(t);
        }
        return r;
    }
    QStringList a(29);
    a[0] = QStringLiteral("A");
    a[1] = QStringLiteral("N");
    a[2] = number;
    a[3] = text1;
    a[4] = text2;
    a[5] = unit;
    a[6] = QStringLiteral("1");
    a[7] = QString::number(c.priceUnit);
    a[8] = price;
    a[9] = group;
    a[10] = mainGroup;
    a[12] = matchcode(f[3]);
    a[18] = ean;
    a[20] = quantity;
    a[21] = page;
    a[22] = QStringLiteral("4");
    a[23] = textKey;
    a[25] = QStringLiteral("1");
    r.records << record(a);
    for (int i = 0; i < lineCount; ++i)
        r.records << record({QStringLiteral("T"), QStringLiteral("N"), textKey, QStringLiteral("1"),
                             QStringLiteral("%1").arg(i + 1, 2, 10, QChar(u'0')), longText[i]});
    if (r.own) {
        QStringList p{QStringLiteral("P"),
                      number,
                      r.own->net ? QStringLiteral("2") : QStringLiteral("1"),
                      QString::number(c.priceUnit),
                      QString::number(r.own->cents),
                      r.own->net ? QString() : group};
        for (int i = 0; i < 3; ++i) {
            const auto d = r.own->discounts.value(i);
            p << (d.first ? QString::number(d.first) : QString())
              << (d.first ? QString::number(d.second) : QString());
        }
        p << fileDate(f[10], o.format);
        r.records << record(p);
    }
    return r;
}

// Version 4's price sets: article, price flag, price, three discounts.
QStringList priceSet(const QString& number, const OwnPrice& own) {
    QStringList set{number, own.net ? QStringLiteral("2") : QStringLiteral("1"),
                    QString::number(own.cents)};
    for (int i = 0; i < 3; ++i) {
        const auto d = own.discounts.value(i);
        set << (d.first ? QString::number(d.first) : QString())
            << (d.first ? QString::number(d.second) : QString());
    }
    return set;
}

bool writeDatanorm(const Options& o) {
    const bool v4 = o.format == Format::Datanorm4;
    const QString date = dateText(0);
    const QDir folder = QFileInfo(o.out).absoluteDir();
    RecordFile articles(o.out, o.format);
    if (!articles.open() || !articles.add(header(o.format, u'A', date,
                                                 QStringLiteral("Artikelstamm Bau und Ausbau"), o)))
        return false;
    // Version 4's price sets, three to a P record.
    QStringList sets;
    QStringList priceRecords;
    for (qint64 line = 1; line <= o.lines; ++line) {
        const ArticleRecords r = articleRecords(o, line);
        for (const QString& text : r.records)
            if (!articles.add(text))
                return false;
        if (v4 && r.own) {
            sets << priceSet(
                QStringLiteral("%1-%2").arg(o.manufacturer).arg(line, 7, 10, QChar(u'0')), *r.own);
            if (sets.size() == 27) {
                priceRecords << record(QStringList{QStringLiteral("P"), QStringLiteral("A")} +
                                       sets);
                sets.clear();
            }
        }
    }
    if (!sets.isEmpty())
        priceRecords << record(QStringList{QStringLiteral("P"), QStringLiteral("A")} + sets);
    if (!v4 && !articles.add(record(
                   {QStringLiteral("E"), QString::number(articles.records() + 1), QString()})))
        return false;
    if (!articles.commit())
        return false;

    if (!priceRecords.isEmpty()) {
        RecordFile prices(folder.filePath(QStringLiteral("DATPREIS.001")), o.format);
        if (!prices.open() ||
            !prices.add(header(o.format, u'P', date, QStringLiteral("Preisänderung"), o)))
            return false;
        for (const QString& text : std::as_const(priceRecords))
            if (!prices.add(text))
                return false;
        if (!prices.commit())
            return false;
    }

    RecordFile groups(folder.filePath(QStringLiteral("DATANORM.WRG")), o.format);
    if (!groups.open() ||
        !groups.add(header(o.format, u'S', date, QStringLiteral("Warengruppen"), o)))
        return false;
    QStringList seen;
    for (const Article& a : kArticles) {
        const QString code = QString::fromUtf16(a.mainGroup);
        if (seen.contains(code))
            continue;
        seen << code;
        const QString name = QString::fromUtf16(a.className);
        if (!groups.add(
                v4 ? record({QStringLiteral("S"), QString(), code, name, QString(), QString()})
                   : record({QStringLiteral("S"), code, QString(), name})))
            return false;
    }
    if (!v4 && !groups.add(
                   record({QStringLiteral("E"), QString::number(groups.records() + 1), QString()})))
        return false;
    if (!groups.commit())
        return false;

    RecordFile rates(folder.filePath(QStringLiteral("DATANORM.RAB")), o.format);
    if (!rates.open() ||
        !rates.add(header(o.format, u'R', date, QStringLiteral("Rabattgruppen"), o)))
        return false;
    for (int n = 1; n <= kDiscountGroups; ++n) {
        const QString group = QStringLiteral("RG%1").arg(n, 2, 10, QChar(u'0'));
        const QString rate = QString::number(1000 + 150 * n); // hundredths of a percent
        const QString text = QStringLiteral("Rabattgruppe %1").arg(n, 2, 10, QChar(u'0'));
        QStringList r{QStringLiteral("R"), group, QStringLiteral("1"), rate, text};
        if (v4)
            r.insert(1, QString());
        if (!rates.add(record(r)))
            return false;
    }
    if (!v4 &&
        !rates.add(record({QStringLiteral("E"), QString::number(rates.records() + 1), QString()})))
        return false;
    return rates.commit();
}

// ---------------------------------------------------------------------------
// Extended import file

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
        QStringLiteral("Writes a synthetic catalogue as an extended import file (Windows-1252, "
                       "CR LF) or as a DATANORM 4 or 5 delivery."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("lines"), QStringLiteral("Number of article lines."), QStringLiteral("N")},
        {QStringLiteral("out"),
         QStringLiteral("File to write; for DATANORM the article file, the other files of the "
                        "delivery go next to it."),
         QStringLiteral("FILE")},
        {QStringLiteral("format"),
         QStringLiteral("quendra (the extended import file, default), datanorm4, datanorm5, "
                        "bmecat, xlsx or csv."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("net-every"),
         QStringLiteral("DATANORM: every M-th article gets a P record with a net price or "
                        "discounts of its own (10; 0 for none)."),
         QStringLiteral("M")},
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
    const auto netEvery = wholeNumber(parser, QStringLiteral("net-every"), 0, 10);
    if (!lines || !dates || !zeroEvery || !unknownEvery || !brokenLine || !netEvery)
        return 1;
    const QString format = parser.value(QStringLiteral("format"));
    static const QHash<QString, Format> formats{{QStringLiteral("quendra"), Format::Quendra},
                                                {QStringLiteral("datanorm4"), Format::Datanorm4},
                                                {QStringLiteral("datanorm5"), Format::Datanorm5},
                                                {QStringLiteral("bmecat"), Format::Bmecat},
                                                {QStringLiteral("xlsx"), Format::Xlsx},
                                                {QStringLiteral("csv"), Format::Csv}};
    if (!format.isEmpty() && !formats.contains(format)) {
        QTextStream(stderr) << "pricegen: --format needs quendra, datanorm4, datanorm5, bmecat, "
                               "xlsx or csv, not \""
                            << format << "\"\n";
        return 1;
    }
    o.format = formats.value(format, Format::Quendra);
    if (o.format != Format::Quendra) {
        for (const char* option : {"second-price", "unknown-unit-every"})
            if (parser.isSet(QString::fromLatin1(option))) {
                QTextStream(stderr)
                    << "pricegen: --" << option << " is for the quendra format only\n";
                return 1;
            }
        if (*dates != 1) {
            QTextStream(stderr) << "pricegen: the formats other than quendra write one price "
                                   "date: --dates must be 1\n";
            return 1;
        }
    }
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
        if (o.format != Format::Quendra &&
            (o.manufacturer.contains(u';') || !ToCp850(o.manufacturer))) {
            QTextStream(stderr) << "pricegen: --manufacturer for the DATANORM formats needs a "
                                   "code without \";\" in code page 850\n";
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
    o.netEvery = *netEvery;

    switch (o.format) {
    case Format::Quendra:
        break;
    case Format::Datanorm4:
    case Format::Datanorm5:
        return writeDatanorm(o) ? 0 : 1;
    case Format::Bmecat:
        return writeBmecat(o) ? 0 : 1;
    case Format::Xlsx:
        return writeXlsx(o) ? 0 : 1;
    case Format::Csv:
        return writeCsv(o) ? 0 : 1;
    }
    return writeFile(o) ? 0 : 1;
}
