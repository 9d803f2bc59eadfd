#pragma once

#include "import/Datanorm.h"
#include "import/Delivery.h"
#include "import/ImportFormats.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <array>
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
    QString record; // the article's record as the file has it; "" for none
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
    // A P record's price as it waits for its article's line: what the line
    // takes of it, small (a delivery may hold a price for every article).
    struct KeptPrice {
        KeptPrice() = default;
        KeptPrice(const Datanorm::Price& price); // NOLINT: kept as read
        qint64 cents = 0;
        qint32 validFromDay = 0; // Julian day of its own date; 0 for none
        qint16 priceUnit = 0;    // 0: the article's
        qint8 priceFlag = 0;
        std::array<double, 3> percents{}; // of its discounts; NaN for none
        QString discountGroup;
        QString validFrom() const; // dd.mm.yyyy; "" for none
        std::optional<double> percent(int i) const;
    };
    struct ArticlePrices {
        std::optional<KeptPrice> list;
        std::optional<KeptPrice> net;
        QString date; // of the P file, or the record's own
        bool hasArticle = false;
    };
    QHash<QString, ArticlePrices> prices;
    QSet<QString> groups; // the discount groups the kept prices name
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

    // Whether the scan's walk met a P record in an article file that does
    // not follow its article's record (its line may have been given
    // already): the check must walk again with every price known.
    bool sawLatePrice() const { return m_latePrice; }

    // Lines walked so far, and all lines of the delivery's files (the
    // meter's maximum).
    qint64 linesRead() const { return m_read; }
    qint64 lineCount() const;
    // Why a file could not be read to its end; "" when it could.
    QString readError() const { return m_error; }

private:
    SourceLine lineOf(const Datanorm::Article& article, const QString& fileDate,
                      const DatanormKnowledge& knowledge) const;
    void seeArticle(const QString& number, DatanormKnowledge& knowledge);
    const Delivery& m_delivery;
    qint64 m_read = 0;
    QString m_error;
    bool m_latePrice = false;
};

// The position line of an article and the prices the delivery has for it.
SourceLine DatanormLine(const Datanorm::Article& article, const QString& date,
                        const DatanormKnowledge::ArticlePrices* prices, const QString& groupName,
                        const QMap<QString, QStringList>& rates = {});

// The price track of a line: its price's date, when it has a price.
std::optional<QString> TrackOf(const SourceLine& line);

// Takes a P record's price into the knowledge; false for a price that is
// none (0, on request) or no purchase price (recommended, counted).
bool TakePrice(const Datanorm::Price& price, const QString& fileDate, DatanormKnowledge& knowledge);
