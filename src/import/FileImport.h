#pragma once

#include "conditions/PriceTracks.h"

#include <QString>

// The result of an import: what happened, and for a completed import the new
// download's key and the number of positions stored. message is the text
// shown to the user ("" when none was shown).
struct ImportResult {
    enum class Outcome { Imported, MissingUnits, Declined, Failed };
    Outcome outcome = Outcome::Failed;
    QString downloadId;
    qint64 positions = 0;
    QString message;
};

// What opening a price file found.
struct OpenedFile {
    bool ok = false;
    QString supplier;     // from the manufacturer code of the first article line
    QString supplierName; // "" when the supplier is not stored
    QString message;      // the message shown when !ok
};

// Imports one extended import file of one supplier into a new download: the
// engine behind the import windows and the command-line tool. Talks to the
// user only through UI() (messages, price track choice, progress).
class FileImport {
public:
    static inline const QString kNoArticleLine =
        QStringLiteral("Die Datei enthält keine Artikelzeile");

    // Checks the file (exists, extended import header, at least one article
    // line) and looks its supplier up; the supplier becomes the session's
    // current supplier number.
    OpenedFile open(const QString& path);

    // The supplier's name; "" and the message "Lieferant nicht gespeichert"
    // when the supplier is not stored.
    QString checkSupplier(const QString& supplier);

    // Reads the file twice: pass 1 checks every line and counts the price
    // tracks, the buyer chooses the tracks, pass 2 stores one position per
    // taken price.
    ImportResult run(const QString& path, const QString& supplier);

    // How many position requests may be on their way to the server at once.
    void setPipelineDepth(int depth) { m_depth = qMax(1, depth); }
    const PriceTrackList& tracks() const { return m_tracks; }

private:
    PriceTrackList m_tracks;
    int m_depth = 256;
};
