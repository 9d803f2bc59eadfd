// An import file as the import reads it: the reader's choice of UTF-8 or
// Windows-1252, its lines (in chunks of any size, read twice), the end of
// the file (blank lines and ^Z), and on each article line the rules of the
// import's first pass: fields, prices, the prices stored, the position line
// texts and the missing units.
//
// Input: the first byte chooses the reader's chunk size, the rest is the
// file.
#include "FuzzChecks.h"
#include "FuzzSupport.h"
#include "common/TextHelpers.h"
#include "import/FileEndReader.h"
#include "import/FileImport.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------
// The file every input is written to: one per process, in /dev/shm where
// there is one, removed when the process ends normally.

std::string g_directory;
std::string g_file;

void removeInputFile() {
    if (!g_file.empty())
        unlink(g_file.c_str());
    if (!g_directory.empty())
        rmdir(g_directory.c_str());
}

const QString& inputPath() {
    static const QString path = [] {
        const std::string base = access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm")
                                                               : QDir::tempPath().toStdString();
        std::string pattern = base + "/quendra-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            FuzzBroken("a temporary folder can be made", __FILE__, __LINE__);
        g_directory = pattern;
        g_file = g_directory + "/import.txt";
        std::atexit(removeInputFile);
        return QString::fromStdString(g_file);
    }();
    return path;
}

void writeInput(const QByteArray& bytes) {
    (void)inputPath();
    FILE* f = std::fopen(g_file.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f) == size_t(bytes.size()));
    FUZZ_CHECK(std::fclose(f) == 0);
}

qint64 chunkSize(unsigned char selector) {
    // 1 to 128 byte by byte, then powers of two up to the default.
    if (selector < 128)
        return qint64(selector) + 1;
    return qint64(1) << (7 + (selector - 128) % 14);
}

// ---------------------------------------------------------------------------
// The file as the reader's description says it reads: worked out from the
// bytes alone.

struct ExpectedFile {
    bool utf8 = false;
    qint64 lineFeeds = 0;
    QList<QByteArray> lineBytes; // each line's bytes without its line end
    QStringList lines;
    bool unterminated = false; // the last line has no line end
};

ExpectedFile expectedFile(const QByteArray& file) {
    ExpectedFile e;
    e.lineFeeds = file.count('\n');
    const bool nonAscii =
        std::any_of(file.begin(), file.end(), [](char c) { return (unsigned char)c >= 0x80; });
    e.utf8 = nonAscii && IsStrictUtf8(file);
    QByteArray body = file;
    if (e.utf8 && body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    qsizetype start = 0;
    while (start < body.size()) {
        const qsizetype lineFeed = body.indexOf('\n', start);
        if (lineFeed < 0) {
            e.lineBytes << body.mid(start); // a CR stays part of the last line
            break;
        }
        QByteArray line = body.mid(start, lineFeed - start);
        if (line.endsWith('\r'))
            line.chop(1);
        e.lineBytes << line;
        start = lineFeed + 1;
    }
    for (const QByteArray& line : std::as_const(e.lineBytes))
        e.lines << (e.utf8 ? FromUtf8(line) : FromWindows1252(line));
    e.unterminated = !body.isEmpty() && !body.endsWith('\n');
    return e;
}

QStringList readAll(ImportFileReader& reader) {
    QStringList lines;
    QString line;
    while (reader.readLine(&line))
        lines << line;
    // The end stays the end.
    FUZZ_CHECK(!reader.readLine(&line));
    FUZZ_CHECK(!reader.failed());
    return lines;
}

// Opens the file with a chunk size and checks the decision, the line-feed
// count and the lines, twice (rewind).
void checkReader(qint64 chunk, const ExpectedFile& e) {
    ImportFileReader reader(chunk);
    FUZZ_CHECK(reader.open(inputPath()));
    FUZZ_CHECK(reader.isUtf8() == e.utf8);
    FUZZ_CHECK(reader.lineFeedCount() == e.lineFeeds);
    FUZZ_CHECK(readAll(reader) == e.lines);
    FUZZ_CHECK(reader.rewind());
    FUZZ_CHECK(readAll(reader) == e.lines);
}

// ---------------------------------------------------------------------------
// The end of the file: blanks (empty, blanks, tabs, ^Z) after the last
// other line are no lines; a ^Z right after a line's text is not part of it.

bool isBlank(const QString& line) {
    for (QChar c : line)
        if (c != u' ' && c != u'\t' && c != QChar(0x1A))
            return false;
    return true;
}

QStringList expectedArticleLines(const QStringList& lines) {
    QStringList rest = lines.mid(1); // after the header
    qsizetype last = rest.size() - 1;
    while (last >= 0 && isBlank(rest[last]))
        --last;
    rest = rest.mid(0, last + 1);
    for (QString& line : rest)
        if (!isBlank(line) && line.endsWith(QChar(0x1A)))
            line.chop(1);
    return rest;
}

// ---------------------------------------------------------------------------
// Prices: the decimal-comma rule of ConvertPrice's description.

struct PriceText {
    bool wellFormed = false; // by the grammar alone
    bool negative = false;
    bool zero = true; // every digit a 0
    qsizetype digits = 0;
};

PriceText readPriceText(const QString& text) {
    static const QRegularExpression withComma(QRegularExpression::anchoredPattern(
        QStringLiteral(R"([+-]?([0-9]*|[0-9]{1,3}(\.[0-9]{3})+),[0-9]*)")));
    static const QRegularExpression withPoint(
        QRegularExpression::anchoredPattern(QStringLiteral(R"([+-]?[0-9]*(\.[0-9]*)?)")));
    PriceText p;
    const QString body = text.trimmed();
    for (QChar c : body) {
        if (c >= u'0' && c <= u'9') {
            ++p.digits;
            if (c != u'0')
                p.zero = false;
        }
    }
    p.negative = body.startsWith(u'-');
    p.wellFormed = p.digits > 0 && (withComma.match(body).hasMatch() ||
                                    (!body.contains(u',') && withPoint.match(body).hasMatch()));
    return p;
}

constexpr double kUntouched = -98765.4321;

// ConvertPrice on one text; returns whether it converted, *value the number.
bool checkPrice(const QString& text, double* value) {
    const PriceText p = readPriceText(text);
    double v = kUntouched;
    const bool converted = ConvertPrice(text, &v);
    if (!converted) {
        FUZZ_CHECK(v == kUntouched);
        // Only a number too long for a double may fail in the grammar.
        FUZZ_CHECK(!p.wellFormed || p.digits > 300);
        return false;
    }
    FUZZ_CHECK(p.wellFormed);
    FUZZ_CHECK(std::isfinite(v));
    // Zero decides whether a price is stored.
    FUZZ_CHECK((v == 0) == p.zero);
    FUZZ_CHECK(v == 0 || (v < 0) == p.negative);
    *value = v;
    return true;
}

// ---------------------------------------------------------------------------
// Units.

bool isUnitCode(const QString& code) {
    for (QChar c : code)
        if (!((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')))
            return false;
    return true;
}

void checkUnitCode(const QString& field) {
    const QString code = NormalizeUnitCode(field);
    qsizetype kept = 0;
    for (QChar c : field)
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
            ++kept;
    FUZZ_CHECK(isUnitCode(code));
    FUZZ_CHECK(code.size() == kept);
    FUZZ_CHECK(NormalizeUnitCode(code) == code);
}

// The units of the demo company.
const QStringList kAssignedCodes{"STK", "M", "PAK", "SCK", "ROL", "M2"};

const UnitAssignmentTable& unitTable() {
    static const UnitAssignmentTable table = [] {
        UnitAssignmentTable t;
        FUZZ_CHECK(t.load(QStringLiteral("Stk,m,Pak,Sack,Rol,m2`STK,M,PAK,SCK,ROL,M2")));
        FUZZ_CHECK(t.size() == kAssignedCodes.size());
        return t;
    }();
    return table;
}

void checkMissingUnits(const ImportArticleLine& a, QString* missing) {
    const UnitAssignmentTable& table = unitTable();
    const QString before = *missing;
    const bool added = CollectMissingUnits(a, table, missing);
    FUZZ_CHECK(missing->startsWith(before));
    FUZZ_CHECK(added == (missing->size() > before.size()));
    // " " and then each code once, followed by a blank.
    const QStringList codes = missing->split(u' ', Qt::SkipEmptyParts);
    FUZZ_CHECK(*missing == (codes.isEmpty() ? kNoMissingUnits : u' ' + codes.join(u' ') + u' '));
    FUZZ_CHECK(QSet<QString>(codes.begin(), codes.end()).size() == codes.size());
    for (const QString& code : codes) {
        FUZZ_CHECK(isUnitCode(code));
        FUZZ_CHECK(!table.isAssigned(code));
    }
    for (int n : {ImportArticleLine::VE, ImportArticleLine::VP, ImportArticleLine::UEE}) {
        const QString code = NormalizeUnitCode(a.field(n));
        FUZZ_CHECK(table.isAssigned(code) == kAssignedCodes.contains(code));
        if (!code.isEmpty())
            FUZZ_CHECK(table.isAssigned(code) || codes.contains(code));
    }
}

// ---------------------------------------------------------------------------
// Article lines.

void checkPositionLine(const ImportArticleLine& a, ImportPrice which) {
    using F = ImportArticleLine::Field;
    const bool first = which == ImportPrice::First;
    const int date = first ? F::GueltigAb : F::GueltigAb2;
    const int price = first ? F::Preis : F::Preis2;
    bool separatorInCarriedField = false;
    for (int n : {1, 2, 3, 4, 8, 9, date, price, 14, 20, 25})
        separatorInCarriedField = separatorInCarriedField || a.field(n).contains(u'|');
    const std::optional<QString> text = PositionLineText(a, which);
    FUZZ_CHECK(text.has_value() != separatorInCarriedField);
    if (!text)
        return;
    const QStringList expected{a.field(1),
                               a.field(2),
                               a.field(3),
                               a.field(4),
                               NormalizeUnitCode(a.field(5)),
                               NormalizeUnitCode(a.field(6)),
                               NormalizeUnitCode(a.field(7)),
                               a.field(8),
                               a.field(9),
                               a.field(date),
                               a.field(price),
                               a.field(14),
                               a.field(20),
                               a.field(25)};
    const QStringList fields = text->split(kPositionLineSeparator);
    FUZZ_CHECK(fields.size() == kPositionLineFieldCount);
    FUZZ_CHECK(fields == expected);
}

void checkArticleLine(const QString& line, QString* missing) {
    const ImportArticleLine a(line);
    FUZZ_CHECK(a.text() == line);
    FUZZ_CHECK(a.fieldCount() == line.count(ImportArticleLine::kSeparator) + 1);
    QStringList fields;
    for (int n = 1; n <= a.fieldCount(); ++n) {
        FUZZ_CHECK(!a.field(n).contains(ImportArticleLine::kSeparator));
        fields << a.field(n);
    }
    FUZZ_CHECK(fields.join(ImportArticleLine::kSeparator) == line);
    FUZZ_CHECK(a.field(0).isEmpty() && a.field(-1).isEmpty());
    FUZZ_CHECK(a.field(a.fieldCount() + 1).isEmpty());
    FUZZ_CHECK(a.price(ImportPrice::First) == a.field(ImportArticleLine::Preis));
    FUZZ_CHECK(a.price(ImportPrice::Second) == a.field(ImportArticleLine::Preis2));
    FUZZ_CHECK(a.priceDate(ImportPrice::First) == a.field(ImportArticleLine::GueltigAb));
    FUZZ_CHECK(a.priceDate(ImportPrice::Second) == a.field(ImportArticleLine::GueltigAb2));

    // Every field of the line as a price, for the rule's sake.
    double unused = 0;
    for (int n = 1; n <= std::min(a.fieldCount(), ImportArticleLine::kFieldCount); ++n)
        checkPrice(a.field(n), &unused);
    for (int n : {ImportArticleLine::VE, ImportArticleLine::VP, ImportArticleLine::UEE})
        checkUnitCode(a.field(n));

    double first = 0;
    double second = 0;
    const bool firstConverts = checkPrice(a.field(ImportArticleLine::Preis), &first);
    const bool secondConverts = checkPrice(a.field(ImportArticleLine::Preis2), &second);
    double p1 = kUntouched;
    double p2 = kUntouched;
    const bool converted = a.convertPrices(&p1, &p2);
    FUZZ_CHECK(converted == (firstConverts && secondConverts));
    checkPositionLine(a, ImportPrice::First);
    checkPositionLine(a, ImportPrice::Second);
    if (!converted) {
        // An error of the line; the import stops there.
        FUZZ_CHECK(p1 == kUntouched && p2 == kUntouched);
        return;
    }
    FUZZ_CHECK(p1 == first && p2 == second);

    const QString d1 = a.priceDate(ImportPrice::First);
    const QString d2 = a.priceDate(ImportPrice::Second);
    QVarLengthArray<ImportPrice, 2> expected;
    if (!d1.isEmpty() && p1 != 0)
        expected.append(ImportPrice::First);
    if (!d2.isEmpty() && p2 != 0 && d2 != d1)
        expected.append(ImportPrice::Second);
    FUZZ_CHECK(PricesToStore(a, p1, p2) == expected);

    checkMissingUnits(a, missing);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const qint64 chunk = chunkSize(data[0]);
    const QByteArray file = FuzzBytes(data + 1, size - 1);
    writeInput(file);
    const ExpectedFile e = expectedFile(file);

    ImportFileReader reader(chunk);
    FUZZ_CHECK(reader.open(inputPath()));
    FUZZ_CHECK(reader.isUtf8() == e.utf8);
    FUZZ_CHECK(reader.lineFeedCount() == e.lineFeeds);
    const QStringList lines = readAll(reader);
    FUZZ_CHECK(lines == e.lines);
    // One line per line feed, and one more for a last line without one.
    FUZZ_CHECK(lines.size() == reader.lineFeedCount() + (e.unterminated ? 1 : 0));
    // Each line encodes to its bytes again: nothing was lost in decoding.
    for (qsizetype i = 0; i < lines.size(); ++i)
        FUZZ_CHECK((e.utf8 ? lines[i].toUtf8() : ToWindows1252(lines[i])) == e.lineBytes[i]);

    // The same lines in chunks of one byte and of the default size.
    checkReader(1, e);
    if (chunk != ImportFileReader::kDefaultChunkSize)
        checkReader(ImportFileReader::kDefaultChunkSize, e);
    // The first two lines as the import window reads them; on every other
    // input only, as each read in the default chunk costs more than all the
    // other checks together.
    if (data[0] % 2 == 1) {
        QString header;
        QString firstArticle;
        FUZZ_CHECK(ImportFileReader::readFirstLines(inputPath(), &header, &firstArticle));
        FUZZ_CHECK(header == lines.value(0) && firstArticle == lines.value(1));
    }
    FUZZ_CHECK(IsExtendedImportHeader(lines.value(0)) == lines.value(0).contains(u'\\'));

    // The import's pass: the header, then the article lines up to the end;
    // read again after a rewind as the second pass does.
    const QStringList expectedArticles = expectedArticleLines(lines);
    for (int pass = 1; pass <= 2; ++pass) {
        FUZZ_CHECK(reader.rewind());
        QString line;
        const bool hasHeader = reader.readLine(&line);
        FUZZ_CHECK(hasHeader == !lines.isEmpty());
        FileEndReader articles(reader);
        QStringList read;
        QString missing = kNoMissingUnits;
        while (articles.readLine(&line)) {
            read << line;
            if (pass == 1)
                checkArticleLine(line, &missing);
        }
        FUZZ_CHECK(!articles.readLine(&line));
        FUZZ_CHECK(!reader.failed());
        FUZZ_CHECK(read == expectedArticles);
    }
    return 0;
}
