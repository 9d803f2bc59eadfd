#pragma once

#include "import/Delivery.h"
#include "import/ImportFormats.h"
#include "import/PriceTracks.h"

#include <QMap>
#include <QString>
#include <QVarLengthArray>
#include <memory>
#include <optional>

// A line of the file that stopped an import.
struct ImportLineIssue {
    qint64 fileLine = 0; // its number in the file (the header is line 1)
    QString line;        // its text
    QString reason;      // the rule it breaks; "" when it does not convert or was refused
    QString file = {};   // a delivery's file; "" for a single price file
};

// A fault of a line that the import mended rather than stop for (an EAN
// that is none, a text longer than the ERP keeps): where, and what it did.
struct ImportNote {
    QString file; // "" for a single price file
    qint64 fileLine = 0;
    QString text;
    // "Zeile 812: EAN 400123 ungültig, ohne EAN übernommen", the file first
    // for a delivery of several files.
    QString shown() const;
};

// The result of an import: what happened, and for a completed import the new
// download's key and the number of positions stored. message is the text
// for the user ("" when there is none); issue the line that stopped it.
struct ImportResult {
    enum class Outcome { Imported, MissingUnits, Declined, Failed };
    Outcome outcome = Outcome::Failed;
    QString downloadId;
    qint64 positions = 0;
    QString message;
    std::optional<ImportLineIssue> issue;
    QList<ImportNote> notes;
    // A delivery (DATANORM, a catalogue): what it holds besides prices.
    qint64 deleted = 0;               // articles the supplier reports deleted
    qint64 withoutArticle = 0;        // prices skipped: no article in the delivery or a download
    qint64 recommended = 0;           // recommended retail prices, no purchase prices
    qint64 otherPrices = 0;           // catalogue prices of a kind no purchase price is taken from
    QMap<QString, QStringList> rates; // discount group -> Rab1 … of the .RAB file
    // The counts and the notes as lines for the buyer ("3 Preise ohne
    // Artikelstamm übersprungen", "2 Artikel als gelöscht gemeldet", …).
    QStringList reportLines() const;
};

struct ImportPass; // the files as pass 1 checked them (DeliveryImport.cpp)
class PositionReader;

// What the check of a file or delivery (pass 1) found, and what the store
// (pass 2) takes from it: the price tracks (the buyer's marks go there),
// the files as checked. The store works on the connection the check made
// and takes the pass out of it: a scan is stored once.
struct ImportScan {
    enum class Outcome { Checked, MissingUnits, Failed };
    Outcome outcome = Outcome::Failed;
    QString message; // "" when Checked
    std::optional<ImportLineIssue> issue;
    qint64 lines = 0; // article lines checked
    QList<ImportNote> notes;
    PriceTrackList tracks;
    std::shared_ptr<ImportPass> pass;
};

// Shows the result of an import as the import windows do: the units not
// assigned as an error, a failure plainly; nothing for the others.
void ShowImportResult(const ImportResult& result);

// What opening a price file found.
struct OpenedFile {
    bool ok = false;
    QString supplier;     // from the manufacturer code of the first article line
    QString supplierName; // "" when the supplier is not stored
    QString message;      // the message shown when !ok
};

// The questions of an import, answered by whoever runs it: the import
// window (fmpruebn over itself, its own meter), the command-line tool (its
// --tracks option), a test.
class ImportChoices {
public:
    virtual ~ImportChoices() = default;
    // The price track choice over the list; true when the buyer confirmed
    // (the marks are then in the list).
    virtual bool choosePriceTracks(PriceTrackList& tracks) = 0;
    // Progress of the passes; maximum 0 hides it. By default the program's
    // user interface shows it.
    virtual void setProgress(qint64 value, qint64 maximum);
};

// Takes the tracks named in a text: "all", "none" or dates separated by
// commas. A date that the file does not have is reported and declines.
class TracksFromText : public ImportChoices {
public:
    explicit TracksFromText(QString tracks = QStringLiteral("all")) : m_tracks(std::move(tracks)) {}
    bool choosePriceTracks(PriceTrackList& tracks) override;

private:
    QString m_tracks;
};

// The prices of an article line that become positions: a price counts when
// its date is not empty and its number is not 0; the second only when its
// date differs from the first's.
QVarLengthArray<ImportPrice, 2> PricesToStore(const ImportArticleLine& line, double firstPrice,
                                              double secondPrice);

class Connection;
class ServerClient;
struct ImportStop;     // what ends an import early (inside the engine)
struct PositionExtras; // what a position gets besides its line (DatanormSource.h)

inline const QString kDeliveryWithoutSupplierMessage =
    QStringLiteral("Die Lieferung nennt keinen Lieferanten: bitte die Lieferantennummer angeben");

// Imports one extended import file of one supplier into a new download: the
// engine behind the import windows and the command-line tool. Messages go to
// UI(); its own questions to the ImportChoices it is run with.
class FileImport {
public:
    static inline const QString kNoArticleLine =
        QStringLiteral("Die Datei enthält keine Artikelzeile");

    // An import over the program's connection.
    explicit FileImport(Connection& connection) : m_connection(connection) {}

    // Checks the file (exists, extended import header, at least one article
    // line) and looks its supplier up. When the look-up fails (reported) the
    // file is still usable: the supplier stays empty for the buyer to type.
    OpenedFile open(const QString& path);

    // The supplier's name; "" and the message "Lieferant nicht gespeichert"
    // when the supplier is not stored.
    QString checkSupplier(const QString& supplier);

    // Pass 1: checks every line of the file as the server would and counts
    // its price tracks. Shows nothing; the meter stays at the end of the
    // pass for the store (a failed check hides it). A checked scan holds
    // the file until it is stored or dropped.
    ImportScan scan(const QString& path, ImportChoices& choices);
    // The same for a delivery: an extended import file goes as above; the
    // files of a DATANORM delivery are read by their records. supplier: for
    // the prices of articles the delivery lacks, looked up in the supplier's
    // downloads.
    ImportScan scan(const Delivery& delivery, const QString& supplier, ImportChoices& choices);
    // Pass 2, of a checked scan: a new download of the supplier with one
    // position per price of a marked track. Shows nothing.
    ImportResult store(ImportScan& scanned, const QString& supplier, ImportChoices& choices);
    // The scan, the buyer's choice of tracks and the store. Shows nothing.
    ImportResult import(const QString& path, const QString& supplier, ImportChoices& choices);
    // A DATANORM delivery names no supplier: open() leaves it empty.
    ImportResult import(const Delivery& delivery, const QString& supplier, ImportChoices& choices);
    // The import of a file, and its result shown (ShowImportResult).
    ImportResult run(const QString& path, const QString& supplier, ImportChoices& choices);
    OpenedFile open(const Delivery& delivery);

    // How many position requests may be on their way to the server at once.
    void setPipelineDepth(int depth) { m_depth = qMax(1, depth); }

private:
    ImportScan scanWith(std::unique_ptr<PositionReader> reader, const QString& supplier,
                        ImportChoices& choices);
    void setExtras(ServerClient& server, const QList<QPair<QString, qsizetype>>& positions,
                   const QList<PositionExtras>& extras);
    QString newDownload(ServerClient& server, const QString& supplier, qint64 deleted);
    Connection& m_connection;
    int m_depth = 256;
};
