#include "FileImport.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/PositionLineRules.h"
#include "common/TextHelpers.h"
#include "import/FileEndReader.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"
#include "import/ImportSteps.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/PosClass.h"
#include "server/RequestPipeline.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <deque>
#include <optional>
#include <vector>

ImportResult ChooseAndStore(FileImport& import, ImportScan scanned, const QString& supplier,
                            ImportChoices& choices) {
    ImportResult result;
    if (scanned.outcome != ImportScan::Outcome::Checked) {
        result.outcome = scanned.outcome == ImportScan::Outcome::MissingUnits
                             ? ImportResult::Outcome::MissingUnits
                             : ImportResult::Outcome::Failed;
        result.message = scanned.message;
        result.issue = scanned.issue;
        return result;
    }
    if (!choices.choosePriceTracks(scanned.tracks)) {
        // The scan's files and bracket go with it.
        choices.setProgress(0, 0);
        result.outcome = ImportResult::Outcome::Declined;
        return result;
    }
    ImportResult stored = import.store(scanned, supplier, choices);
    stored.notes =
        stored.outcome == ImportResult::Outcome::Imported ? scanned.notes : QList<ImportNote>();
    return stored;
}

void ImportChoices::setProgress(qint64 value, qint64 maximum) {
    UI().setProgress(value, maximum);
}

bool TracksFromText::choosePriceTracks(PriceTrackList& list) {
    if (m_tracks == u"all") {
        list.markAll(true);
        return true;
    }
    if (m_tracks == u"none") {
        list.markAll(false);
        return true;
    }
    const QStringList unknown = list.markOnly(m_tracks.split(u',', Qt::SkipEmptyParts));
    if (unknown.isEmpty())
        return true;
    QStringList known;
    for (const PriceTrack& t : list.rows())
        known << t.date;
    UI().message(QStringLiteral("Preisschiene nicht in der Datei: ") + unknown.join(u',') +
                     QStringLiteral(" (vorhanden: ") + known.join(u',') + u')',
                 QString(), MessageIcon::Critical, MessageButtons::Ok);
    return false;
}

QVarLengthArray<ImportPrice, 2> PricesToStore(const ImportArticleLine& a, double p1, double p2) {
    QVarLengthArray<ImportPrice, 2> prices;
    const QString d1 = a.priceDate(ImportPrice::First);
    const QString d2 = a.priceDate(ImportPrice::Second);
    if (!d1.isEmpty() && p1 != 0)
        prices.append(ImportPrice::First);
    if (!d2.isEmpty() && p2 != 0 && d2 != d1)
        prices.append(ImportPrice::Second);
    return prices;
}

OpenedFile FileImport::open(const QString& path) {
    OpenedFile r;
    auto fail = [&](const QString& message, MessageIcon icon) {
        r.message = message;
        UI().message(message, QString(), icon, MessageButtons::Ok);
        return r;
    };
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return fail(kImportFileMissingMessage, MessageIcon::Critical);
    ImportFileReader reader;
    if (!reader.open(path))
        return fail(kFileUnreadableMessage, MessageIcon::Critical);
    QString header;
    QString first;
    const bool hasHeader = reader.readLine(&header);
    const bool hasArticle = reader.readLine(&first);
    reader.close();
    if (!hasHeader || !IsExtendedImportHeader(header))
        return fail(kNotExtendedImportFileMessage, MessageIcon::Critical);
    if (!hasArticle)
        return fail(kNoArticleLine, MessageIcon::Information);
    const QString herstCode = ImportArticleLine(first).field(ImportArticleLine::HerstCode);
    const bool looked =
        m_connection.call(QStringLiteral("FMImport.Timer1 Lieferant zum Herstellercode"), [&] {
            r.supplier = LiefidClass(m_connection.client()).getlnr(Session().firma, herstCode);
        });
    // A failed look-up was reported; the buyer can still type the supplier.
    if (!looked)
        r.supplier.clear();
    r.ok = true;
    if (!r.supplier.isEmpty())
        r.supplierName = checkSupplier(r.supplier);
    return r;
}

QString FileImport::checkSupplier(const QString& supplier) {
    if (supplier.isEmpty())
        return QString();
    QString name;
    const bool ok = m_connection.call(QStringLiteral("FMImport.TXTLnr Lieferantenprüfung"), [&] {
        name = DownloadsClass(m_connection.client()).lname(Session().firma, supplier);
    });
    if (ok && name.isEmpty())
        UI().message(kSupplierNotStoredMessage, MainWindowTitle(), MessageIcon::Information,
                     MessageButtons::Ok);
    return name;
}

QString ImportNote::shown() const {
    return (file.isEmpty() ? QString() : file + QStringLiteral(", ")) +
           QStringLiteral("Zeile %1: ").arg(fileLine) + text;
}

QStringList ImportResult::reportLines() const {
    QStringList lines;
    const QLocale german(QLocale::German, QLocale::Germany);
    if (withoutArticle > 0)
        lines << german.toString(withoutArticle) +
                     (withoutArticle == 1
                          ? QStringLiteral(" Preis ohne Artikelstamm übersprungen")
                          : QStringLiteral(" Preise ohne Artikelstamm übersprungen"));
    if (recommended > 0)
        lines << german.toString(recommended) +
                     (recommended == 1
                          ? QStringLiteral(" unverbindlicher Verkaufspreis nicht übernommen")
                          : QStringLiteral(" unverbindliche Verkaufspreise nicht übernommen"));
    if (otherPrices > 0)
        lines << german.toString(otherPrices) +
                     (otherPrices == 1 ? QStringLiteral(" Preis anderer Art nicht übernommen")
                                       : QStringLiteral(" Preise anderer Art nicht übernommen"));
    if (deleted > 0)
        lines << german.toString(deleted) + QStringLiteral(" Artikel als gelöscht gemeldet");
    if (!rates.isEmpty())
        lines << german.toString(rates.size()) +
                     (rates.size() == 1
                          ? QStringLiteral(" Rabattsatz aus der Rabattgruppendatei")
                          : QStringLiteral(" Rabattsätze aus der Rabattgruppendatei"));
    for (const ImportNote& n : notes)
        lines << n.shown();
    return lines;
}

void ShowImportResult(const ImportResult& result) {
    switch (result.outcome) {
    case ImportResult::Outcome::MissingUnits:
        UI().message(result.message, QString(), MessageIcon::Critical, MessageButtons::Ok);
        return;
    case ImportResult::Outcome::Failed:
        UI().message(result.message, QString(), MessageIcon::None, MessageButtons::Ok);
        return;
    case ImportResult::Outcome::Imported:
    case ImportResult::Outcome::Declined:
        return;
    }
}

QString FileImport::newDownload(ServerClient& server, const QString& supplier, qint64 deleted) {
    ServerObject d = server.newObject(DownloadsClass::kClass);
    d.set(DownloadsClass::kFirma, Session().firma);
    d.set(DownloadsClass::kDatum, QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    d.set(DownloadsClass::kPCODE, PersonnelCode());
    d.set(DownloadsClass::kLNR, supplier);
    d.set(DownloadsClass::kStatus, QStringLiteral("0"));
    // Articles the delivery reports deleted: the posting preview names them.
    if (deleted > 0)
        d.set(DownloadsClass::kGeloescht, QString::number(deleted));
    d.save();
    const QString id = d.id();
    CloseObject(d);
    return id;
}

ImportResult FileImport::run(const QString& path, const QString& supplier, ImportChoices& choices) {
    const ImportResult result = import(path, supplier, choices);
    ShowImportResult(result);
    return result;
}
