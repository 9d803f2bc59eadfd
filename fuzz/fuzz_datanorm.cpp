// A DATANORM delivery as the import reads it, without a server: its files
// recognised, the side files read, the article files walked twice (the
// check's walk, which learns the prices of the article files, and the
// store's), the articles without master and the price tracks.
//
// Checked: nothing crashes; both walks see the same records and yield the
// same lines and stop at the same record; every line has 29 fields, a price
// that converts and a purchase side that makes sense; the price tracks count
// the lines that get a price (when no article number comes twice, as the
// count is by article) and each such line's date is a track.
//
// Input: the bytes of up to four files, a NUL byte between two files (the
// fourth takes the rest): an article file, often a price file after it.
#include "FuzzChecks.h"
#include "FuzzSupport.h"
#include "import/DatanormSource.h"
#include "import/Delivery.h"
#include "import/ImportFormats.h"

#include <QDate>
#include <QDir>
#include <QSet>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr int kMaxFiles = 4;

// ---------------------------------------------------------------------------
// The files every input is written to: in a folder of one process, in
// /dev/shm where there is one, removed when the process ends normally.

std::string g_directory;

std::string filePath(int i) {
    return g_directory + "/file" + std::to_string(i);
}

void removeInputFiles() {
    for (int i = 0; i < kMaxFiles; ++i)
        unlink(filePath(i).c_str());
    if (!g_directory.empty())
        rmdir(g_directory.c_str());
}

void makeDirectory() {
    if (!g_directory.empty())
        return;
    const std::string base =
        access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : QDir::tempPath().toStdString();
    std::string pattern = base + "/quendra-fuzz-dn-XXXXXX";
    if (!mkdtemp(pattern.data()))
        FuzzBroken("a temporary folder can be made", __FILE__, __LINE__);
    g_directory = pattern;
    std::atexit(removeInputFiles);
}

// Writes the input's files; their paths.
QStringList writeInput(const QByteArray& bytes) {
    makeDirectory();
    QList<QByteArray> parts;
    qsizetype start = 0;
    while (parts.size() < kMaxFiles - 1) {
        const qsizetype nul = bytes.indexOf('\0', start);
        if (nul < 0)
            break;
        parts << bytes.mid(start, nul - start);
        start = nul + 1;
    }
    parts << bytes.mid(start);
    QStringList paths;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const std::string path = filePath(int(i));
        FILE* f = std::fopen(path.c_str(), "wb");
        FUZZ_CHECK(f != nullptr);
        FUZZ_CHECK(std::fwrite(parts[i].constData(), 1, size_t(parts[i].size()), f) ==
                   size_t(parts[i].size()));
        FUZZ_CHECK(std::fclose(f) == 0);
        paths << QString::fromStdString(path);
    }
    return paths;
}

// ---------------------------------------------------------------------------
// What a walk saw and yielded.

struct Record {
    QString file;
    qint64 line = 0;
    QString text;
    bool operator==(const Record&) const = default;
};

struct Line {
    QString file;
    qint64 fileLine = 0;
    QString number;
    bool priced = false;
    QString date;
    bool operator==(const Line&) const = default;
};

struct Walk {
    QList<Record> records;
    QList<Line> lines;
    std::optional<RecordIssue> issue;
};

bool isDate(const QString& text) {
    return QDate::fromString(text, QStringLiteral("dd.MM.yyyy")).isValid();
}

void checkIssue(const RecordIssue& issue, const QStringList& names) {
    FUZZ_CHECK(!issue.reason.isEmpty());
    FUZZ_CHECK(names.contains(issue.file));
    // A record that breaks its format is shown with its text; a file that
    // cannot be read has none.
    FUZZ_CHECK(issue.fileLine >= 0);
    FUZZ_CHECK(issue.fileLine == 0 || !issue.line.trimmed().isEmpty());
}

// A line as the store sends it: the extended import file's 29 fields, one
// price that converts, never a second, and a purchase side of its own that
// makes sense (and then no discount group).
Line checkLine(const SourceLine& s, const QStringList& articleFiles) {
    using F = ImportArticleLine::Field;
    FUZZ_CHECK(articleFiles.contains(s.file));
    FUZZ_CHECK(s.fileLine > 1); // after the header
    const ImportArticleLine& a = s.line;
    FUZZ_CHECK(a.fieldCount() == ImportArticleLine::kFieldCount);
    double first = -1;
    double second = -1;
    FUZZ_CHECK(a.convertPrices(&first, &second));
    FUZZ_CHECK(first >= 0);
    FUZZ_CHECK(second == 0 && a.field(F::Preis2) == u"0");
    FUZZ_CHECK(!a.field(F::HerstArtNr).isEmpty());
    bool unitOk = false;
    FUZZ_CHECK(a.field(F::PreisEHT).toLongLong(&unitOk) >= 1 && unitOk);
    const QString date = a.field(F::GueltigAb);
    FUZZ_CHECK(date.isEmpty() || isDate(date));

    const PositionExtras& e = s.extras;
    FUZZ_CHECK(e.any() == !e.rabtyp.isEmpty());
    if (e.rabtyp.isEmpty()) {
        FUZZ_CHECK(e.netto.isEmpty() && e.discounts.isEmpty());
    } else {
        FUZZ_CHECK(a.field(F::RabattGR).isEmpty());
        FUZZ_CHECK(!e.netto.isEmpty());
        if (e.rabtyp == u"N")
            FUZZ_CHECK(e.discounts.isEmpty());
        else
            FUZZ_CHECK(e.rabtyp == u"%" && !e.discounts.isEmpty() && e.discounts.size() <= 3);
    }
    return Line{s.file, s.fileLine, a.field(F::HerstArtNr), first != 0, date};
}

Walk walk(DatanormSource& source, DatanormKnowledge& k, bool collect,
          const QStringList& articleFiles) {
    Walk w;
    w.issue = source.walkArticles(
        k, collect,
        [&](const QString& file, qint64 line, const QString& text) {
            w.records.append({file, line, text});
            return std::optional<RecordIssue>();
        },
        [&](const SourceLine& s) {
            w.lines.append(checkLine(s, articleFiles));
            return std::optional<RecordIssue>();
        });
    return w;
}

QStringList namesOf(const Delivery& d, std::optional<FileRole> role = std::nullopt) {
    QStringList names;
    for (const DeliveryFile& f : d.files)
        if (!role || f.role == *role)
            names << f.name;
    return names;
}

// The knowledge after the check: every price entry has a purchase price of
// its own, and the articles without master are the entries no article of
// the delivery took, in order.
void checkKnowledge(const DatanormKnowledge& k) {
    FUZZ_CHECK(k.deleted >= 0 && k.recommended >= 0 && k.withoutArticle == 0);
    for (auto it = k.prices.constBegin(); it != k.prices.constEnd(); ++it) {
        FUZZ_CHECK(!it.key().isEmpty());
        FUZZ_CHECK(it->list || it->net);
        for (const auto* p : {&it->list, &it->net})
            if (*p) {
                FUZZ_CHECK((*p)->cents > 0 && (*p)->priceFlag != 4);
                FUZZ_CHECK((*p)->validFrom().isEmpty() || isDate((*p)->validFrom()));
            }
        // A net price (2) and a factory price (3) are kept as the net.
        if (it->list)
            FUZZ_CHECK(it->list->priceFlag != 2 && it->list->priceFlag != 3);
        if (it->net)
            FUZZ_CHECK(it->net->priceFlag == 2 || it->net->priceFlag == 3);
    }
    const QStringList without = DatanormSource::ArticlesWithoutMaster(k);
    for (qsizetype i = 0; i < without.size(); ++i) {
        FUZZ_CHECK(i == 0 || without[i - 1] < without[i]);
        const auto found = k.prices.constFind(without[i]);
        FUZZ_CHECK(found != k.prices.constEnd() && !found->hasArticle);
    }
    qint64 lacking = 0;
    for (const auto& entry : k.prices)
        lacking += entry.hasArticle ? 0 : 1;
    FUZZ_CHECK(lacking == without.size());
}

void checkTracks(const QMap<QString, qint64>& tracks, const QList<Line>& lines) {
    qint64 counted = 0;
    for (auto it = tracks.constBegin(); it != tracks.constEnd(); ++it) {
        FUZZ_CHECK(*it > 0);
        FUZZ_CHECK(it.key().isEmpty() || isDate(it.key()));
        counted += *it;
    }
    qint64 priced = 0;
    QSet<QString> numbers;
    for (const Line& l : lines) {
        numbers.insert(l.number);
        if (!l.priced)
            continue;
        ++priced;
        // A price whose date is no track could never be chosen.
        FUZZ_CHECK(tracks.contains(l.date));
    }
    if (numbers.size() == lines.size())
        FUZZ_CHECK(counted == priced);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList paths = writeInput(FuzzBytes(data, size));
    const Delivery delivery = RecognizeDelivery(paths);
    if (!delivery.ok()) {
        FUZZ_CHECK(!delivery.message.isEmpty() && delivery.files.isEmpty());
        return 0;
    }
    if (!delivery.isDatanorm()) {
        // An extended import file, a catalogue or a price list: one file.
        FUZZ_CHECK(delivery.files.size() == 1);
        return 0;
    }
    const Datanorm::Version version = delivery.format == Delivery::Format::Datanorm4
                                          ? Datanorm::Version::V4
                                          : Datanorm::Version::V5;
    for (const DeliveryFile& f : delivery.files) {
        FUZZ_CHECK(f.role != FileRole::Quendra);
        FUZZ_CHECK(f.header.version == version);
    }
    FUZZ_CHECK(!delivery.filesOf(FileRole::Articles).isEmpty() ||
               !delivery.filesOf(FileRole::Prices).isEmpty());
    FUZZ_CHECK(delivery.articles >= 0);
    const QStringList names = namesOf(delivery);
    const QStringList articleFiles = namesOf(delivery, FileRole::Articles);

    DatanormKnowledge k;
    DatanormSource check(delivery);
    if (const auto issue = check.readSideFiles(k)) {
        checkIssue(*issue, names);
        return 0;
    }
    const qint64 sideLines = check.linesRead();
    const Walk collected = walk(check, k, true, articleFiles);
    const qint64 walked = check.linesRead() - sideLines;
    FUZZ_CHECK(collected.records.size() <= walked);
    if (collected.issue)
        checkIssue(*collected.issue, articleFiles);
    checkKnowledge(k);
    // The scan's tracks: of its walk's lines, walked again when a price
    // came after its article's line.
    const Walk final = check.sawLatePrice() ? walk(check, k, false, articleFiles) : collected;
    QMap<QString, qint64> tracks;
    for (const Line& l : final.lines)
        if (l.priced)
            ++tracks[l.date];

    // The store's walk over the same files: the same records, lines and end.
    DatanormSource store(delivery);
    const Walk stored = walk(store, k, false, articleFiles);
    FUZZ_CHECK(store.linesRead() == walked);
    FUZZ_CHECK(stored.records == collected.records);
    FUZZ_CHECK(stored.lines.size() == collected.lines.size());
    for (qsizetype i = 0; i < stored.lines.size(); ++i) {
        FUZZ_CHECK(stored.lines[i].file == collected.lines[i].file);
        FUZZ_CHECK(stored.lines[i].fileLine == collected.lines[i].fileLine);
        FUZZ_CHECK(stored.lines[i].number == collected.lines[i].number);
    }
    FUZZ_CHECK(stored.issue.has_value() == collected.issue.has_value());
    if (stored.issue) {
        FUZZ_CHECK(stored.issue->file == collected.issue->file);
        FUZZ_CHECK(stored.issue->fileLine == collected.issue->fileLine);
        FUZZ_CHECK(stored.issue->reason == collected.issue->reason);
        return 0;
    }
    checkTracks(tracks, stored.lines);
    return 0;
}
