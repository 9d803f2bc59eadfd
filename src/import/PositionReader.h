#pragma once

#include "import/DatanormSource.h"
#include "import/Delivery.h"
#include "import/FileImport.h"
#include "import/ImportFileReader.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// A supplier's price data as the import's passes read it, whatever its
// format: its lines one by one in the extended import file's form (one
// reader per format), without knowing the server. The passes call
// prepare() once, then walk() for the check and again for the store.
class PositionReader {
public:
    using Watch = DatanormSource::Watch;
    using Yield = DatanormSource::Yield;
    // What stopped a reader: a record that breaks its format (with its
    // text), or a file that cannot be read to its end (unreadable: the
    // record read last, if any).
    struct Stop {
        RecordIssue issue;
        bool unreadable = false;
        bool quoteLine = false; // the record read last follows the message
    };

    virtual ~PositionReader() = default;
    // The files read (their size and time are checked between the passes).
    virtual QStringList paths() const = 0;
    // Opens the files and reads what the lines need besides themselves.
    virtual std::optional<Stop> prepare() = 0;
    // The lines from the start: watch sees each raw record first, yield
    // each line. check: the check's walk.
    virtual std::optional<Stop> walk(bool check, const Watch& watch, const Yield& yield) = 0;
    // The check's walk met a record that changes a line it gave already:
    // the check walks again, as the store will.
    virtual bool walkAgain() const { return false; }
    // Order numbers whose description, unit and EAN come from the
    // supplier's earlier downloads; what was found; their lines.
    virtual QStringList lacking() const { return {}; }
    virtual void takeEarlier(const QString& number, const EarlierArticle& article) {
        Q_UNUSED(number);
        Q_UNUSED(article);
    }
    virtual std::optional<Stop> walkEarlier(const Yield& yield) {
        Q_UNUSED(yield);
        return std::nullopt;
    }
    // Whether the first line's manufacturer code is linked to the supplier
    // (a format that names none links nothing).
    virtual bool linksManufacturer() const { return true; }
    // The tracks in the order of their dates rather than of the lines.
    virtual bool tracksByDate() const { return false; }
    // Where the walk is and how far it goes (the meter).
    virtual qint64 progress() const = 0;
    virtual qint64 maximum() const = 0;
    // What the delivery holds besides prices, into the result.
    virtual void report(ImportResult& result) const { Q_UNUSED(result); }
    // Lines the check's walk passed over, and why (into the scan's notes).
    virtual QList<ImportNote> passed() const { return {}; }
};

// The reader of a delivery: an extended import file, DATANORM files, a
// BMEcat catalogue or a price list (by the delivery's column mapping).
std::unique_ptr<PositionReader> MakePositionReader(const Delivery& delivery);
// The reader of an extended import file.
std::unique_ptr<PositionReader> MakeFileReader(const QString& path);
