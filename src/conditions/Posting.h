#pragma once

#include "positions/PositionLoad.h"
#include "positions/PositionView.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

class Connection;

// Posting ("Verbuchen") hands the positions of a download to the ERP, one
// `verbuch` call of quendrap.pos per position, with the options that say
// what the ERP may create or change. The window fmverbuch and quendra-cli
// post both run it through PostingRun.

// The options, in the order of the posting window's check boxes below
// "Nur makierte".
enum class PostingOption {
    Vorhupd,  // "Vorhandene Artikel"
    Neu,      // "Neue Artikel anlegen"
    Stamm,    // "Stammdaten(Einheiten, Faktoren..) updaten"
    FreigArt, // "Freigabe Artikel"
    Freig,    // "Freigabe Preise"
    Bez,      // "Bezeichnungen updaten"
    KondAnl,  // "EK-Kondition anlegen"
    EkAnl,    // "EK-Preis anlegen"
    VkAnl,    // "VK-Preis anlegen"
};
inline constexpr int kPostingOptions = 9;

struct PostingOptions {
    std::array<bool, kPostingOptions> on{};

    bool operator[](PostingOption o) const { return on[size_t(o)]; }
    void set(PostingOption o, bool value) { on[size_t(o)] = value; }

    // The check boxes' control names ("chvorhupd", "chneu", ...) and
    // captions, in PostingOption order.
    static const QStringList& names();
    static const QStringList& captions();
    // Options from control names separated by commas (an empty text: none);
    // nullopt with the first unknown name in *unknown.
    static std::optional<PostingOptions> fromNames(const QString& list, QString* unknown);
};

// Who posts what: the company and the user's personnel code of the
// session, the supplier number and key of the download.
struct PostingContext {
    QString company;
    QString personnel;
    QString supplier;
    QString downloadKey;

    static PostingContext of(const PositionDownload& download);
};

// "J" for a checked option, "N" otherwise.
inline QString PostingFlag(bool on) {
    return on ? QStringLiteral("J") : QStringLiteral("N");
}

// The fourteen arguments of `verbuch` for one position, in their order.
QStringList VerbuchArguments(const PostingContext& context, const PostingOptions& options,
                             const QString& positionId);

// Whether a posting takes a grid row: every row, or with "Nur makierte"
// only the marked ones.
bool PostingTakesRow(const PositionRow& row, bool onlyMarked);

// What a posting would touch, counted from the grid rows it would take;
// shown before the first call, asks the server nothing.
struct PostingPreview {
    int rows = 0;            // rows of the grid
    int taken = 0;           // rows the posting takes
    int newArticles = 0;     // taken rows without article number
    int updates = 0;         // taken rows with an article number
    int ekUp = 0;            // "% Abw." above 0: the supplier's price is higher
    int ekDown = 0;          // below 0
    int ekSame = 0;          // 0
    int ekUnknown = 0;       // no deviation (no article or no ERP condition)
    int newSalesPrices = 0;  // a sales price that the ERP has not from its date
    int negativeMargin = 0;  // "Spanne" below 0
    int netAboveSales = 0;   // a sales unit costs more than "VK-Excl"
    int deletedReported = 0; // articles the supplier's delivery reported deleted

    static PostingPreview of(const PositionGridModel& model, bool onlyMarked);
    // The summary as the posting window and quendra-cli show it.
    QStringList lines() const;
    // The same as rich text, each count a link "filter:NAMES" to the quick
    // filters of its rows (PositionFilter::fromNames; "" for all rows);
    // with onlyMarked the counts are of the marked rows.
    QStringList linkedLines(bool onlyMarked) const;
};

// How many articles the delivery of a download reported deleted (0 when it
// reported none or cannot be read; a failed read is reported).
int DeletedReported(Connection& connection, const QString& downloadKey);

// One posting run over the grid rows, first to last: `verbuch` for every
// taken row (the calls kept in flight and chained, so a refused call stops
// everything after it), the answer other than -1 written into "Stat".
class PostingRun {
public:
    explicit PostingRun(Connection& connection) : m_connection(connection) {}

    // "Nur makierte", read again for every row; every row when unset.
    std::function<bool()> onlyMarked;
    // The meter: value, maximum (rows - 1), for every row.
    std::function<void(int value, int maximum)> progress;
    // Every answer, in row order (the row index and the text).
    std::function<void(int row, const QString& answer)> answered;
    // Requests in flight at most; 1 posts one position at a time.
    int depth = 256;

    // Posts the taken rows. After a server error the error report is shown
    // and false returned; the rows before the failed one are posted and
    // show their answers, no row after it is.
    bool run(PositionGridModel& model, const PostingContext& context,
             const PostingOptions& options);

    // The calls made (answered or not) and the row of the failed one (-1).
    int calls() const { return m_calls; }
    int failedRow() const { return m_failedRow; }

private:
    Connection& m_connection;
    int m_calls = 0;
    int m_failedRow = -1;
};

// The operation the error report names when a posting call fails.
QString PostingOperation(const QString& positionId);
