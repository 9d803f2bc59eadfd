#pragma once

#include "import/Datanorm.h"
#include "import/Delivery.h"
#include "import/ImportFormats.h"

#include <QHash>
#include <QMap>
#include <functional>
#include <optional>

// What a price line cannot carry: the purchase side a supplier gave for the
// article itself, set on the position after it is stored (as a grid edit
// sets it): a net price ("N/%:" = "N", "Netto"), or discounts ("N/%:" =
// "%", "Rab1" to "Rab3", "Netto" worked out); either way without discount
// group, which the article's own prices take precedence over.
struct PositionExtras {
    QString rabtyp;        // "" nothing to set, "N" or "%"
    QString netto;         // in the ERP's number form
    QStringList discounts; // "Rab1" … "Rab3" in the ERP's number form
    bool any() const { return !rabtyp.isEmpty(); }
};

// One position line a reader yields: the article line in the extended
// import file's form, the file and line it comes from, and its extras.
struct SourceLine {
    ImportArticleLine line;
    QString file;
    qint64 fileLine = 0;
    PositionExtras extras;
};

// A line of a file that breaks its format.
struct RecordIssue {
    QString file;
    qint64 fileLine = 0;
    QString line;
    QString reason;
};

// The description, unit, EAN and price unit of an article as the supplier's
// newest download holds it: for a price of an article the delivery lacks.
struct EarlierArticle {
    QString ean;
    QString description;
    QString unit;
    QString priceUnit;
};

// What the scan of a DATANORM delivery learns and its store uses: the P
// records by article, the goods group names, the discount group rates of
// the .RAB file, the articles that only prices name, counts.
struct DatanormKnowledge {
    struct ArticlePrices {
        std::optional<Datanorm::Price> list;
        std::optional<Datanorm::Price> net;
        QString date; // of the P file, or the record's own
        bool hasArticle = false;
    };
    QHash<QString, ArticlePrices> prices;
    QHash<QString, QString> groupNames;
    QMap<QString, QStringList> rates; // discount group -> Rab1 … Rab3 (ERP form)
    QHash<QString, EarlierArticle> earlier;
    qint64 deleted = 0;        // L records
    qint64 withoutArticle = 0; // prices of articles neither the delivery nor a download has
    qint64 recommended = 0;    // prices that are no purchase price
};

// Reads a DATANORM delivery in two passes. readSideFiles reads the
// discount group, goods group and price files into the knowledge; the
// walk goes through the article files record by record and yields a line
// per article that has a price (then the prices without article, taken
// from earlier downloads); each raw record is shown to a watcher first
// (the scan keeps a checksum of it, the store compares). The first record
// that breaks its format stops it.
class DatanormSource {
public:
    explicit DatanormSource(const Delivery& delivery) : m_delivery(delivery) {}

    std::optional<RecordIssue> readSideFiles(DatanormKnowledge& knowledge);

    // Sees each raw line of the article files; a stop ends the walk.
    using Watch = std::function<std::optional<RecordIssue>(const QString& file, qint64 line,
                                                           const QString& text)>;
    using Yield = std::function<std::optional<RecordIssue>(const SourceLine&)>;
    // collect: the scan's walk, which adds the P records of article files
    // to the knowledge and marks the prices whose article is there.
    std::optional<RecordIssue> walkArticles(DatanormKnowledge& knowledge, bool collect,
                                            const Watch& watch, const Yield& yield);

    // The articles of prices without article in the delivery.
    static QStringList ArticlesWithoutMaster(const DatanormKnowledge& knowledge);
    // The lines of those found in earlier downloads.
    std::optional<RecordIssue> yieldEarlier(const DatanormKnowledge& knowledge, const Yield& yield);

    // The price tracks of the delivery after the scan's walk and the look-up
    // of the earlier articles: each price's date and how many positions
    // take it.
    QMap<QString, qint64> trackCounts(const DatanormKnowledge& knowledge) const;

    // Lines walked so far, and all lines of the delivery's files (the
    // meter's maximum).
    qint64 linesRead() const { return m_read; }
    qint64 lineCount() const;
    // Why a file could not be read to its end; "" when it could.
    QString readError() const { return m_error; }

private:
    SourceLine lineOf(const Datanorm::Article& article, const QString& fileDate,
                      const DatanormKnowledge& knowledge) const;
    // The scan's walk: the date of each article's own price as counted,
    // and the articles seen (a P record after its article moves the count).
    void countOwn(const Datanorm::Article& article, const QString& date,
                  DatanormKnowledge& knowledge);
    void priceFor(const QString& number, DatanormKnowledge& knowledge);
    const Delivery& m_delivery;
    qint64 m_read = 0;
    QString m_error;
    QMap<QString, qint64> m_ownDates;
    // article hash -> the date its own price counts under; nullopt when it
    // counts under none (no own price, or one a P record replaced)
    QHash<size_t, std::optional<QString>> m_seen;
};

// The position line of an article and the prices the delivery has for it.
SourceLine DatanormLine(const Datanorm::Article& article, const QString& date,
                        const DatanormKnowledge::ArticlePrices* prices, const QString& groupName);
