#include "FileImport.h"

#include "ImportFileReader.h"
#include "ImportFormats.h"
#include "server/ServerConnection.h"
#include "server/TextHelpers.h"
#include "server/UserInterface.h"
#include "session/SessionContext.h"
#include "shell/Downloads.h"

#include <QDate>
#include <QFileInfo>
#include <deque>

namespace {

// Ends an import with "Fehler in Zeile: " and the line being processed.
struct LineFailure {
    QString line;
};

QString userCode() {
    return Piece(Session().userDisplay, QStringLiteral("|"), 1);
}

// A price is sent when its date is not empty and its number is not 0; such
// a price must give a position line text that the server can split.
void checkLine(const ImportArticleLine& a, double p1, double p2) {
    const QString d1 = a.priceDate(ImportPrice::First);
    const QString d2 = a.priceDate(ImportPrice::Second);
    if (!d1.isEmpty() && p1 != 0 && !PositionLineText(a, ImportPrice::First))
        throw LineFailure{a.text()};
    if (!d2.isEmpty() && p2 != 0 && d2 != d1 && !PositionLineText(a, ImportPrice::Second))
        throw LineFailure{a.text()};
}

} // namespace

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
        return fail(kImportFileMissingMessage, MessageIcon::Critical);
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
    if (!looked)
        return r;
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

ImportResult FileImport::run(const QString& path, const QString& supplier) {
    ImportResult result;
    const QString firma = Session().firma;
    ImportFileReader reader;
    QString current; // the line being processed, for the error message
    UserInterface& ui = UI();
    auto finish = [&] {
        reader.close();
        ui.setProgress(0, 0);
        ui.setBusy(false);
    };
    try {
        BeginServerCall(false, false);
        ui.setBusy(true);
        ServerClient& server = Factory();

        QString missing = kNoMissingUnits;
        UnitAssignmentTable units;
        {
            ClassHandle h = server.classHandle(QStringLiteral("quendrap.downloads"));
            if (!units.load(h.call(QStringLiteral("geteinh"), QStringList{firma})))
                throw LineFailure{current};
        }
        if (!reader.open(path))
            throw LineFailure{current};
        const qint64 maximum = qMax<qint64>(1, reader.lineFeedCount());
        ui.setProgress(1, maximum);

        // Walks the article lines of the file from its start: events, the
        // meter, the line kept for the error message, the prices converted
        // (a line whose prices do not convert is an error of that line).
        auto eachArticleLine = [&](auto&& handle) {
            QString line;
            reader.readLine(&line); // header
            qint64 counter = 0;
            while (reader.readLine(&line)) {
                ui.processEvents();
                ++counter;
                if ((counter & 127) == 0)
                    ui.setProgress(counter, maximum);
                current = line;
                const ImportArticleLine a(line);
                double p1 = 0;
                double p2 = 0;
                if (!a.convertPrices(&p1, &p2))
                    throw LineFailure{current};
                handle(a, p1, p2, counter);
            }
            // A file that cannot be read to its end is not imported in part.
            if (reader.failed())
                throw LineFailure{current};
            ui.setProgress(counter, maximum);
        };

        // Pass 1: every line must convert; count the tracks, list missing units.
        m_tracks.clear();
        eachArticleLine([&](const ImportArticleLine& a, double p1, double p2, qint64) {
            checkLine(a, p1, p2);
            const QString d1 = a.priceDate(ImportPrice::First);
            const QString d2 = a.priceDate(ImportPrice::Second);
            if (!d1.isEmpty() && p1 != 0)
                m_tracks.count(d1);
            if (!d2.isEmpty() && p2 != 0 && d2 != d1)
                m_tracks.count(d2);
            CollectMissingUnits(a, units, &missing);
        });

        if (missing != kNoMissingUnits) {
            EndServerCall(false);
            finish();
            result.outcome = ImportResult::Outcome::MissingUnits;
            result.message = UnassignedUnitsMessage(missing);
            ui.message(result.message, QString(), MessageIcon::Critical, MessageButtons::Ok);
            return result;
        }
        if (!ui.choosePriceTracks(m_tracks)) {
            EndServerCall(false);
            finish();
            result.outcome = ImportResult::Outcome::Declined;
            return result;
        }

        // The download record.
        ServerObject d = server.newObject(QStringLiteral("quendrap.downloads"));
        d.set(QStringLiteral("Firma"), firma);
        d.set(QStringLiteral("Datum"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        d.set(QStringLiteral("PCODE"), userCode());
        d.set(QStringLiteral("LNR"), supplier);
        d.set(QStringLiteral("Status"), QStringLiteral("0"));
        d.save();
        result.downloadId = d.id();
        CloseObject(d);

        // Pass 2: one position per taken price. Requests go out without
        // waiting for each answer; answers come back in order, so the first
        // failed answer names the line that failed.
        struct InFlight {
            quint32 id;
            QString line;
            bool position;
        };
        std::deque<InFlight> inFlight;
        auto drain = [&] {
            while (!inFlight.empty()) {
                const quint32 id = inFlight.front().id;
                inFlight.pop_front();
                try {
                    server.await(id);
                } catch (const ServerError&) {
                }
            }
        };
        auto settle = [&] {
            InFlight f = std::move(inFlight.front());
            inFlight.pop_front();
            try {
                server.await(f.id);
            } catch (const ServerError&) {
                // The requests after it are chained: the server skips them,
                // so nothing after the failed line is stored. Their answers
                // are read so the connection is clean for the next call.
                drain();
                throw LineFailure{f.line};
            }
            if (f.position)
                ++result.positions;
        };
        auto send = [&](const QStringList& args, bool position) {
            quint32 id = 0;
            try {
                id = server.post(Wire::Op::ClassMethod, args, true);
            } catch (const ServerError&) {
                throw LineFailure{inFlight.empty() ? current : inFlight.front().line};
            }
            inFlight.push_back({id, current, position});
            while (int(inFlight.size()) > m_depth)
                settle();
        };
        const QString posClass = QStringLiteral("quendrap.pos");
        const QString savezeile = QStringLiteral("savezeile");
        const QString no = QStringLiteral("N");
        if (!reader.rewind())
            throw LineFailure{current};
        eachArticleLine([&](const ImportArticleLine& a, double p1, double p2, qint64 counter) {
            const QString d1 = a.priceDate(ImportPrice::First);
            const QString d2 = a.priceDate(ImportPrice::Second);
            if (m_tracks.isMarked(d1) && !a.price(ImportPrice::First).isEmpty() && p1 != 0) {
                const auto text = PositionLineText(a, ImportPrice::First);
                if (!text)
                    throw LineFailure{current};
                send({posClass, savezeile, result.downloadId, QString(), *text, no, QString()},
                     true);
            }
            if (m_tracks.isMarked(d2) && !a.price(ImportPrice::Second).isEmpty() && d2 != d1 &&
                p2 != 0) {
                const auto text = PositionLineText(a, ImportPrice::Second);
                if (!text)
                    throw LineFailure{current};
                send({posClass, savezeile, result.downloadId, QString(), *text, no, QString()},
                     true);
            }
            if (counter == 1)
                send({posClass, QStringLiteral("setliefid"), firma,
                      a.field(ImportArticleLine::HerstCode), supplier},
                     false);
        });
        while (!inFlight.empty())
            settle();
        EndServerCall(false);
        finish();
        result.outcome = ImportResult::Outcome::Imported;
        return result;
    } catch (const LineFailure& f) {
        current = f.line;
    } catch (const ServerError&) {
        // current is the line being processed.
    }
    EndServerCall(false);
    finish();
    result.outcome = ImportResult::Outcome::Failed;
    result.message = LineErrorMessage(current);
    ui.message(result.message, QString(), MessageIcon::None, MessageButtons::Ok);
    return result;
}
