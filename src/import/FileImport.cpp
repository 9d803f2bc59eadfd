#include "FileImport.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/PositionLineRules.h"
#include "common/TextHelpers.h"
#include "import/FileEndReader.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"
#include "server/RequestPipeline.h"
#include "server/ServerConnection.h"

#include <QDate>
#include <QFileInfo>
#include <deque>
#include <optional>
#include <vector>

namespace {

// Ends an import with "Fehler in Zeile: " and the line being processed,
// after the report of the server's error when the server failed it.
// A line that breaks a rule of the ERP names its number in the file and
// the reason after it.
struct LineFailure {
    QString line;
    std::optional<ServerError> cause;
    QString reason = {};
    qint64 fileLine = 0;
};

// Ends an import with a message of its own (no line is to blame).
struct ImportStop {
    QString message;
};

const QString kStoreOperation = QStringLiteral("FMImport.Einlesen Position speichern");

// What pass 1 saw of the file: its size and time, and a checksum of every
// article line, so that pass 2 stores nothing pass 1 did not check.
class CheckedFile {
public:
    void take(const QString& path) {
        m_path = path;
        m_stamp = stamp();
        m_lines.clear();
    }
    void add(const QString& line) { m_lines.push_back(qHash(line, kSeed)); }
    // False when the file is not as pass 1 began with it.
    bool unchanged() const { return stamp() == m_stamp; }
    // False when line (number from 1) is not the one pass 1 checked.
    bool same(qint64 number, const QString& line) const {
        return number <= qint64(m_lines.size()) &&
               m_lines[size_t(number - 1)] == qHash(line, kSeed);
    }
    qint64 lines() const { return qint64(m_lines.size()); }

private:
    static constexpr size_t kSeed = 0x51454e44;
    QPair<qint64, qint64> stamp() const {
        const QFileInfo info(m_path);
        return {info.size(), info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch()};
    }
    QString m_path;
    QPair<qint64, qint64> m_stamp;
    std::vector<size_t> m_lines;
};

} // namespace

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

ImportResult FileImport::run(const QString& path, const QString& supplier, ImportChoices& choices) {
    ImportResult result;
    const QString firma = Session().firma;
    ImportFileReader reader;
    CheckedFile checked;
    QString current; // the line being processed, for the error message
    QString step = QStringLiteral("FMImport.Einlesen Einheiten");
    UserInterface& ui = UI();
    BusyPointer busy(ui);
    auto finish = [&] {
        reader.close();
        choices.setProgress(0, 0);
    };
    try {
        ServerCallScope scope;
        ServerClient& server = Factory();

        QString missing = kNoMissingUnits;
        UnitAssignmentTable units;
        {
            ClassHandle h = server.classHandle(QStringLiteral("quendrap.downloads"));
            if (!units.load(h.call(QStringLiteral("geteinh"), QStringList{firma})))
                throw LineFailure{current, {}};
        }
        checked.take(path);
        if (!reader.open(path))
            throw ImportStop{kFileUnreadableMessage};
        const qint64 maximum = qMax<qint64>(1, reader.lineFeedCount());
        choices.setProgress(1, maximum);

        // Walks the article lines of the file from its start: events, the
        // meter, the line kept for the error message, the prices converted
        // (a line whose prices do not convert is an error of that line).
        // first(counter, line) sees each line before anything else is done
        // with it: pass 1 takes its checksum, pass 2 compares it.
        auto eachArticleLine = [&](auto&& handle, auto&& first) {
            QString line;
            reader.readLine(&line); // header
            FileEndReader lines(reader);
            qint64 counter = 0;
            while (lines.readLine(&line)) {
                ui.processEvents();
                ++counter;
                if ((counter & 127) == 0)
                    choices.setProgress(counter, maximum);
                current = line;
                first(counter, line);
                const ImportArticleLine a(line);
                double p1 = 0;
                double p2 = 0;
                if (!a.convertPrices(&p1, &p2))
                    throw LineFailure{current, {}};
                handle(a, PricesToStore(a, p1, p2), counter);
            }
            // A file that cannot be read to its end is not imported in part.
            if (reader.failed())
                throw ImportStop{kFileUnreadableMessage + QStringLiteral("\r\n\r\n") +
                                 LineErrorMessage(current)};
            choices.setProgress(counter, maximum);
            return counter;
        };

        // Pass 1: every line must convert, and every price it stores must
        // give a position line text the server can split; count the tracks,
        // list missing units.
        m_tracks.clear();
        eachArticleLine(
            [&](const ImportArticleLine& a, const auto& prices, qint64 counter) {
                for (ImportPrice which : prices) {
                    const auto fields = PositionLineFields(a, which);
                    if (!fields)
                        throw LineFailure{a.text(), {}};
                    // What the server would refuse stops the import before
                    // anything is stored (the header is line 1 of the file).
                    const QString problem = PositionLineRules::Problem(*fields);
                    if (!problem.isEmpty())
                        throw LineFailure{a.text(), {}, problem, counter + 1};
                    m_tracks.count(a.priceDate(which));
                }
                CollectMissingUnits(a, units, &missing);
            },
            [&](qint64, const QString& line) { checked.add(line); });
        if (!checked.unchanged())
            throw ImportStop{kFileChangedMessage};

        if (missing != kNoMissingUnits) {
            finish();
            result.outcome = ImportResult::Outcome::MissingUnits;
            result.message = UnassignedUnitsMessage(missing);
            ui.message(result.message, QString(), MessageIcon::Critical, MessageButtons::Ok);
            return result;
        }
        bool confirmed = false;
        {
            NotBusy question(ui);
            confirmed = choices.choosePriceTracks(m_tracks);
        }
        if (!confirmed) {
            finish();
            result.outcome = ImportResult::Outcome::Declined;
            return result;
        }
        // Nothing is stored of a file that changed while the buyer chose.
        current.clear();
        if (!checked.unchanged() || !reader.rewind())
            throw ImportStop{kFileChangedMessage};

        // The download record.
        step = QStringLiteral("FMImport.Einlesen Download anlegen");
        ServerObject d = server.newObject(QStringLiteral("quendrap.downloads"));
        d.set(QStringLiteral("Firma"), firma);
        d.set(QStringLiteral("Datum"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        d.set(QStringLiteral("PCODE"), PersonnelCode());
        d.set(QStringLiteral("LNR"), supplier);
        d.set(QStringLiteral("Status"), QStringLiteral("0"));
        d.save();
        result.downloadId = d.id();
        CloseObject(d);

        // Pass 2: one position per taken price, of a line that pass 1
        // checked. Requests go out without waiting for each answer; the
        // first one not confirmed names its line, and the server stores
        // nothing after a refused one.
        struct Sent {
            QString line;
            bool position;
        };
        step = kStoreOperation;
        RequestPipeline<Sent> pipeline(server, m_depth);
        pipeline.onConfirmed = [&](const Sent& sent, const QStringList&) {
            if (sent.position)
                ++result.positions;
        };
        const QString posClass = QStringLiteral("quendrap.pos");
        const QString savezeile = QStringLiteral("savezeile");
        const QString no = QStringLiteral("N");
        try {
            const qint64 read = eachArticleLine(
                [&](const ImportArticleLine& a, const auto& prices, qint64 counter) {
                    for (ImportPrice which : prices) {
                        if (!m_tracks.isMarked(a.priceDate(which)))
                            continue;
                        const auto text = PositionLineText(a, which);
                        if (!text)
                            throw LineFailure{current, {}};
                        pipeline.send(Wire::Op::ClassMethod,
                                      {posClass, savezeile, result.downloadId, QString(), *text, no,
                                       QString()},
                                      {current, true});
                    }
                    if (counter == 1)
                        pipeline.send(Wire::Op::ClassMethod,
                                      {posClass, QStringLiteral("setliefid"), firma,
                                       a.field(ImportArticleLine::HerstCode), supplier},
                                      {current, false});
                },
                [&](qint64 counter, const QString& line) {
                    if (!checked.same(counter, line))
                        throw ImportStop{kFileChangedMessage + QStringLiteral("\r\n\r\n") +
                                         LineErrorMessage(line)};
                });
            pipeline.finish();
            // Shorter than pass 1 read it: the download lacks lines.
            if (read != checked.lines())
                throw ImportStop{kFileChangedMessage};
        } catch (const RequestPipeline<Sent>::Failure& f) {
            throw LineFailure{f.tag.line, f.error};
        } catch (...) {
            // Whatever stops pass 2, the answers on their way still count (a
            // refusal among them is the failure).
            try {
                pipeline.finish();
            } catch (const RequestPipeline<Sent>::Failure& f) {
                throw LineFailure{f.tag.line, f.error};
            }
            throw;
        }
        finish();
        result.outcome = ImportResult::Outcome::Imported;
        return result;
    } catch (const LineFailure& f) {
        result.message = LineErrorMessage(f.line);
        if (!f.reason.isEmpty())
            result.message += QStringLiteral("\r\n\r\nZeile %1: ").arg(f.fileLine) + f.reason;
        if (f.cause)
            result.message.prepend(CacheFehlermeldungText(*f.cause, kStoreOperation));
    } catch (const ImportStop& stop) {
        result.message = stop.message;
    } catch (const ServerError& e) {
        result.message = CacheFehlermeldungText(e, step).trimmed();
    }
    finish();
    result.outcome = ImportResult::Outcome::Failed;
    TraceLog(QStringLiteral("FMImport.Einlesen"), QStringLiteral("Abbruch"), result.message, 0);
    ui.message(result.message, QString(), MessageIcon::None, MessageButtons::Ok);
    return result;
}
