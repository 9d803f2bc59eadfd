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
#include "server/PosClass.h"
#include "server/RequestPipeline.h"
#include "server/ServerConnection.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <deque>
#include <optional>
#include <vector>

// The file between the passes: the server call bracket (one from the
// check to the last position stored, as the connection was made for the
// check), the reader (rewound for pass 2), what pass 1 checked, the line
// being processed and the meter's maximum.
struct QuendraPass {
    std::optional<ServerCallScope> bracket;
    QString path;
    ImportFileReader reader;
    CheckedFile checked;
    QString current;
    qint64 maximum = 1;
    ImportChoices* choices = nullptr;

    void finish() {
        reader.close();
        if (choices)
            choices->setProgress(0, 0);
    }

    // Walks the article lines of the file from its start: events, the
    // meter, the line kept for the error message, the prices converted (a
    // line whose prices do not convert is an error of that line). first
    // (counter, line) sees each line before anything else is done with it:
    // pass 1 takes its checksum, pass 2 compares it. A handler that returns
    // a stop ends the walk with it; read counts the lines walked.
    template <typename Handle, typename First>
    std::optional<ImportStop> eachArticleLine(Handle&& handle, First&& first, qint64* read) {
        UserInterface& ui = UI();
        QString line;
        reader.readLine(&line); // header
        FileEndReader lines(reader);
        qint64 counter = 0;
        while (lines.readLine(&line)) {
            ui.processEvents();
            ++counter;
            if ((counter & 127) == 0)
                choices->setProgress(counter, maximum);
            current = line;
            if (auto stop = first(counter, line))
                return stop;
            const ImportArticleLine a(line);
            double p1 = 0;
            double p2 = 0;
            if (!a.convertPrices(&p1, &p2))
                return LineStop(current, counter + 1);
            if (auto stop = handle(a, PricesToStore(a, p1, p2), counter))
                return stop;
        }
        // A file that cannot be read to its end is not imported in part.
        if (reader.failed())
            return ImportStop{kFileUnreadableMessage + QStringLiteral("\r\n\r\n") +
                              LineErrorMessage(current)};
        choices->setProgress(counter, maximum);
        *read = counter;
        return std::nullopt;
    }
};

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
        ServerCall(QStringLiteral("FMImport.Timer1 Lieferant zum Herstellercode"), [&] {
            ClassHandle h = Factory().classHandle(QStringLiteral("quendrap.liefid"));
            r.supplier = h.call(QStringLiteral("getlnr"), QStringList{Session().firma, herstCode});
        });
    // A failed look-up was reported; the buyer can still type the supplier.
    if (!looked)
        r.supplier.clear();
    Session().currentSupplier = r.supplier;
    r.ok = true;
    if (!r.supplier.isEmpty())
        r.supplierName = checkSupplier(r.supplier);
    return r;
}

QString FileImport::checkSupplier(const QString& supplier) {
    if (supplier.isEmpty())
        return QString();
    QString name;
    const bool ok = ServerCall(QStringLiteral("FMImport.TXTLnr Lieferantenprüfung"), [&] {
        ClassHandle h = Factory().classHandle(QStringLiteral("quendrap.downloads"));
        name = h.call(QStringLiteral("lname"), QStringList{Session().firma, supplier});
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

ImportScan FileImport::scan(const QString& path, ImportChoices& choices) {
    ImportScan result;
    BusyPointer busy;
    result.quendra = std::make_shared<QuendraPass>();
    QuendraPass& pass = *result.quendra;
    pass.path = path;
    pass.choices = &choices;
    auto fail = [&](ImportStop stop) {
        pass.finish();
        result.quendra.reset();
        return Stopped(result, stop);
    };
    QString missing = kNoMissingUnits;
    UnitAssignmentTable units;
    try {
        pass.bracket.emplace();
        ClassHandle h = Factory().classHandle(QStringLiteral("quendrap.downloads"));
        if (!units.load(h.call(QStringLiteral("geteinh"), QStringList{Session().firma})))
            return fail(ImportStop{LineErrorMessage(QString())});
    } catch (const ServerError& e) {
        return fail(ImportStop{
            CacheFehlermeldungText(e, QStringLiteral("FMImport.Einlesen Einheiten")).trimmed()});
    }
    pass.checked.take(path);
    if (!pass.reader.open(path))
        return fail(ImportStop{kFileUnreadableMessage});
    pass.maximum = qMax<qint64>(1, pass.reader.lineFeedCount());
    choices.setProgress(1, pass.maximum);

    // Every line must convert, and every price it stores must give a
    // position line text the server can split and would keep; count the
    // tracks, list missing units.
    auto check = [&](const ImportArticleLine& a, const auto& prices,
                     qint64 counter) -> std::optional<ImportStop> {
        for (ImportPrice which : prices) {
            QStringList mended;
            const auto fields = MendedLineFields(a, which, &mended);
            if (!fields)
                return LineStop(a.text(), counter + 1);
            // The same faults in both prices of a line are noted once.
            if (which == prices.front())
                for (const QString& note : mended)
                    result.notes.append({QString(), counter + 1, note});
            // What the server would refuse stops the import before anything
            // is stored (the header is line 1 of the file).
            const QString problem = PositionLineRules::Problem(*fields);
            if (!problem.isEmpty())
                return LineStop(a.text(), counter + 1, problem);
            result.tracks.count(a.priceDate(which));
        }
        CollectMissingUnits(a, units, &missing);
        return std::nullopt;
    };
    auto take = [&](qint64, const QString& line) -> std::optional<ImportStop> {
        pass.checked.add(line);
        return std::nullopt;
    };
    if (auto stop = pass.eachArticleLine(check, take, &result.lines))
        return fail(*stop);
    if (!pass.checked.unchanged())
        return fail(ImportStop{kFileChangedMessage});
    if (missing != kNoMissingUnits) {
        pass.finish();
        result.quendra.reset();
        result.outcome = ImportScan::Outcome::MissingUnits;
        result.message = UnassignedUnitsMessage(missing);
        return result;
    }
    result.outcome = ImportScan::Outcome::Checked;
    return result;
}

ImportResult FileImport::store(ImportScan& scanned, const QString& supplier,
                               ImportChoices& choices) {
    if (scanned.delivery)
        return storeDatanorm(scanned, supplier, choices);
    return storeQuendra(scanned, supplier, choices);
}

ImportResult FileImport::storeQuendra(ImportScan& scanned, const QString& supplier,
                                      ImportChoices& choices) {
    ImportResult result;
    BusyPointer busy;
    // Taken from the scan: stored once.
    const std::shared_ptr<QuendraPass> kept = std::move(scanned.quendra);
    auto fail = [&](ImportStop stop) {
        if (kept)
            kept->finish();
        return Stopped(result, stop);
    };
    // Nothing is stored of a file not checked, or changed since.
    if (!kept || scanned.outcome != ImportScan::Outcome::Checked)
        return fail(ImportStop{kFileChangedMessage});
    QuendraPass& pass = *kept;
    pass.choices = &choices;
    pass.current.clear();
    if (!pass.checked.unchanged() || !pass.reader.rewind())
        return fail(ImportStop{kFileChangedMessage});
    QString step = QStringLiteral("FMImport.Einlesen Download anlegen");
    try {
        // Inside the bracket of the check (pass.bracket): a connection lost
        // since then fails the import rather than being made anew.
        ServerClient& server = Factory();
        result.downloadId = newDownload(server, supplier);
        step = kStoreOperation;
        if (auto stop = storePositions(server, pass, scanned.tracks, supplier, result))
            return fail(*stop);
    } catch (const ServerError& e) {
        return fail(ImportStop{CacheFehlermeldungText(e, step).trimmed()});
    }
    pass.finish();
    result.outcome = ImportResult::Outcome::Imported;
    return result;
}

QString FileImport::newDownload(ServerClient& server, const QString& supplier) {
    ServerObject d = server.newObject(QStringLiteral("quendrap.downloads"));
    d.set(QStringLiteral("Firma"), Session().firma);
    d.set(QStringLiteral("Datum"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    d.set(QStringLiteral("PCODE"), PersonnelCode());
    d.set(QStringLiteral("LNR"), supplier);
    d.set(QStringLiteral("Status"), QStringLiteral("0"));
    d.save();
    const QString id = d.id();
    CloseObject(d);
    return id;
}

std::optional<ImportStop> FileImport::storePositions(ServerClient& server, QuendraPass& pass,
                                                     const PriceTrackList& tracks,
                                                     const QString& supplier,
                                                     ImportResult& result) {
    // One position per taken price, of a line that pass 1 checked. Requests
    // go out without waiting for each answer; the first one not confirmed
    // names its line, and the server stores nothing after a refused one.
    const QString firma = Session().firma;
    RequestPipeline<Sent> pipeline(server, m_depth);
    pipeline.onConfirmed = [&](const Sent& sent, const QStringList&) {
        if (sent.position)
            ++result.positions;
    };
    auto send = [&](const ImportArticleLine& a, const auto& prices,
                    qint64 counter) -> std::optional<ImportStop> {
        for (ImportPrice which : prices) {
            if (!tracks.isMarked(a.priceDate(which)))
                continue;
            const auto fields = MendedLineFields(a, which);
            if (!fields)
                return LineStop(pass.current, counter + 1);
            pipeline.send(
                Wire::Op::ClassMethod,
                PosClass::savezeileRequest(result.downloadId, fields->join(kPositionLineSeparator)),
                {pass.current, counter + 1, true});
        }
        if (counter == 1)
            pipeline.send(
                Wire::Op::ClassMethod,
                PosClass::setliefidRequest(firma, a.field(ImportArticleLine::HerstCode), supplier),
                {pass.current, counter + 1, false});
        return std::nullopt;
    };
    auto compare = [&](qint64 counter, const QString& line) -> std::optional<ImportStop> {
        if (pass.checked.same(counter, line))
            return std::nullopt;
        return ImportStop{kFileChangedMessage + QStringLiteral("\r\n\r\n") +
                          LineErrorMessage(line)};
    };
    qint64 read = 0;
    std::optional<ImportStop> stop;
    try {
        stop = pass.eachArticleLine(send, compare, &read);
    } catch (const RequestPipeline<Sent>::Failure& f) {
        return RefusedLineStop(f.error, f.tag.line, f.tag.fileLine);
    } catch (...) {
        if (auto refused = Settle(pipeline))
            return refused;
        throw;
    }
    if (auto refused = Settle(pipeline))
        return refused;
    if (stop)
        return stop;
    // Shorter than pass 1 read it: the download lacks lines.
    if (read != pass.checked.lines())
        return ImportStop{kFileChangedMessage};
    return std::nullopt;
}

ImportResult FileImport::import(const QString& path, const QString& supplier,
                                ImportChoices& choices) {
    return ChooseAndStore(*this, scan(path, choices), supplier, choices);
}

ImportResult FileImport::run(const QString& path, const QString& supplier, ImportChoices& choices) {
    const ImportResult result = import(path, supplier, choices);
    ShowImportResult(result);
    return result;
}
