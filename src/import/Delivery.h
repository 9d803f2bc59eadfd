#pragma once

#include "import/Datanorm.h"
#include "import/PriceList.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QTemporaryDir;

// What a file of a delivery holds, told by its content, never by its name.
enum class FileRole {
    Quendra,        // an extended import file
    Articles,       // DATANORM A (B, T …) records: DATANORM.001
    Prices,         // DATANORM P records: DATPREIS.001
    DiscountGroups, // DATANORM R records: the .RAB file
    GoodsGroups,    // DATANORM S records: the .WRG file
    Catalogue,      // a BMEcat catalogue
    PriceList,      // a spreadsheet price list: .xlsx or CSV
};

struct DeliveryFile {
    QString path;
    QString name; // as the buyer knows it (a .zip's entry: "lief.zip/DATANORM.001")
    FileRole role = FileRole::Quendra;
    Datanorm::Header header; // DATANORM files
};

// The files a supplier sent for one import, each file's kind recognised:
// one extended import file, the files of one DATANORM delivery (article,
// price, discount group and goods group files, in any order, also inside a
// .zip, which is unpacked into a temporary folder for the delivery's life),
// one BMEcat catalogue, or one price list (.xlsx or CSV) with the mapping
// of its columns.
struct Delivery {
    enum class Format { None, Quendra, Datanorm4, Datanorm5, Bmecat, Xlsx, Csv };
    Format format = Format::None;
    QList<DeliveryFile> files;
    QString message;       // why the files are no delivery; "" when they are one
    qint64 articles = 0;   // DATANORM: A records; a catalogue: products; a price list: rows
    QString detail;        // a catalogue's version, a price list's sheet or separator
    ColumnMapping columns; // a price list: chosen by the buyer before the import
    std::shared_ptr<QTemporaryDir> unpacked;

    bool ok() const { return format != Format::None; }
    bool isDatanorm() const { return format == Format::Datanorm4 || format == Format::Datanorm5; }
    bool isPriceList() const { return format == Format::Xlsx || format == Format::Csv; }
    // Whether the files name their supplier (an extended import file's
    // manufacturer code); the buyer names it for every other kind.
    bool namesSupplier() const { return format == Format::Quendra; }
    // The files of a role, in the order given.
    QList<DeliveryFile> filesOf(FileRole role) const;
    // What was recognised, for the buyer: "DATANORM 4, 2 Dateien, 48.212
    // Artikel", "Quendra-Preisdatei", "BMEcat 2005, 1.200 Artikel",
    // "Excel-Preisliste, Blatt Preise, 301 Zeilen".
    QString summary() const;
};

inline const QString kNoArticleOrPriceFileMessage =
    QStringLiteral("Die Lieferung enthält keine Artikel- oder Preisdatei");
inline const QString kOnePriceFileMessage =
    QStringLiteral("Eine Preisdatei je Import: bitte die Dateien einzeln importieren");
inline const QString kMixedDeliveryMessage = QStringLiteral(
    "Die Dateien gehören nicht zu einer Lieferung (verschiedene Formate oder Versionen)");

// Recognises the files (a .zip among them is unpacked); a file of no known
// kind, an unreadable one or files of different formats give a delivery
// that is not ok, with the message.
Delivery RecognizeDelivery(const QStringList& paths);
