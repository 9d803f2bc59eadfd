#pragma once

// What the fuzz targets of the catalogue and price list readers check of a
// reader: the check's walk and the store's walk see the same records and
// yield the same lines and stop at the same place, and every line is one
// the store can send.
#include "FuzzChecks.h"
#include "import/PositionReader.h"

#include <QDate>

struct ReaderWalk {
    QStringList records;
    QStringList lines;
    std::optional<PositionReader::Stop> stop;
};

// A line as the store sends it: 29 fields, an order number, one price that
// converts, never a second, a price unit, a date or none, and a net price
// of its own only without discount group.
inline QString CheckedLine(const SourceLine& s) {
    using F = ImportArticleLine::Field;
    const ImportArticleLine& a = s.line;
    FUZZ_CHECK(a.fieldCount() == ImportArticleLine::kFieldCount);
    FUZZ_CHECK(!a.field(F::HerstArtNr).trimmed().isEmpty());
    double first = -1;
    double second = -1;
    FUZZ_CHECK(a.convertPrices(&first, &second));
    FUZZ_CHECK(first >= 0 && second == 0);
    FUZZ_CHECK(!a.field(F::PreisEHT).isEmpty());
    const QString date = a.field(F::GueltigAb);
    FUZZ_CHECK(!date.isEmpty());
    FUZZ_CHECK(s.fileLine > 0);
    if (s.extras.any()) {
        FUZZ_CHECK(s.extras.rabtyp == u"N" && !s.extras.netto.isEmpty());
        FUZZ_CHECK(a.field(F::RabattGR).isEmpty());
    }
    return a.text() + u'|' + s.extras.rabtyp + s.extras.netto;
}

inline ReaderWalk WalkReader(PositionReader& reader, bool check) {
    ReaderWalk w;
    w.stop = reader.walk(
        check,
        [&](const QString&, qint64, const QString& text) {
            w.records << text;
            return std::optional<RecordIssue>();
        },
        [&](const SourceLine& s) {
            w.lines << CheckedLine(s);
            return std::optional<RecordIssue>();
        });
    if (w.stop) {
        FUZZ_CHECK(!w.stop->issue.reason.isEmpty());
        FUZZ_CHECK(w.stop->issue.fileLine >= 0);
    }
    return w;
}

// Prepares the reader and walks it as the check and then as the store.
inline void CheckReaderWalks(PositionReader& reader) {
    if (const auto stop = reader.prepare()) {
        FUZZ_CHECK(!stop->issue.reason.isEmpty());
        return;
    }
    // As the import's check: again when the first walk read a text the
    // other way than the whole file says.
    ReaderWalk checked = WalkReader(reader, true);
    if (!checked.stop && reader.walkAgain())
        checked = WalkReader(reader, true);
    const ReaderWalk stored = WalkReader(reader, false);
    FUZZ_CHECK(stored.records == checked.records);
    FUZZ_CHECK(stored.lines == checked.lines);
    FUZZ_CHECK(stored.stop.has_value() == checked.stop.has_value());
    if (stored.stop) {
        FUZZ_CHECK(stored.stop->issue.fileLine == checked.stop->issue.fileLine);
        FUZZ_CHECK(stored.stop->issue.reason == checked.stop->issue.reason);
    }
    FUZZ_CHECK(reader.progress() >= 0);
}
