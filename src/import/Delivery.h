#pragma once

#include "import/Datanorm.h"

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
};

struct DeliveryFile {
    QString path;
    QString name; // as the buyer knows it (a .zip's entry: "lief.zip/DATANORM.001")
    FileRole role = FileRole::Quendra;
    Datanorm::Header header; // DATANORM files
};

// The files a supplier sent for one import, each file's kind recognised:
// one extended import file, or the files of one DATANORM delivery (article,
// price, discount group and goods group files, in any order, also inside a
// .zip, which is unpacked into a temporary folder for the delivery's life).
struct Delivery {
    enum class Format { None, Quendra, Datanorm4, Datanorm5 };
    Format format = Format::None;
    QList<DeliveryFile> files;
    QString message;     // why the files are no delivery; "" when they are one
    qint64 articles = 0; // DATANORM: A records
    std::shared_ptr<QTemporaryDir> unpacked;

    bool ok() const { return format != Format::None; }
    bool isDatanorm() const { return format == Format::Datanorm4 || format == Format::Datanorm5; }
    // The files of a role, in the order given.
    QList<DeliveryFile> filesOf(FileRole role) const;
    // What was recognised, for the buyer: "DATANORM 4, 2 Dateien, 48.212
    // Artikel", "Quendra-Preisdatei".
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
