// The import's two passes over what a reader yields, whatever the format:
// pass 1 (scan) checks every line as the server would, counts the price
// tracks and lists the missing units; pass 2 (store) makes the download and
// its positions. The scan's pass travels in the ImportScan to the store.

#include "FileImport.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/ErpForms.h"
#include "common/PriceCalculation.h"
#include "import/ImportSteps.h"
#include "import/PositionReader.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/ErrorReport.h"
#include "server/PosClass.h"

#include <QDate>
#include <algorithm>
#include <array>

namespace {

// Positions whose purchase side is set after they are stored, a batch at
// a time: their objects opened, then their fields set, saved and closed.
constexpr int kExtrasBatch = 200;

// What a reader's stop means for the buyer.
ImportStop StopOf(const PositionReader::Stop& stop) {
    const RecordIssue& issue = stop.issue;
    if (stop.unreadable && (stop.quoteLine || issue.fileLine == 0))
        return ImportStop{issue.reason + (stop.quoteLine ? QStringLiteral("\r\n\r\n") +
                                                               LineErrorMessage(issue.line)
                                                         : QString())};
    if (issue.fileLine == 0)
        return ImportStop{issue.file.isEmpty() ? issue.reason
                                               : issue.file + QStringLiteral(": ") + issue.reason};
    return LineStop(issue.line, issue.fileLine, issue.reason, issue.file);
}

// A walk stopped by the import itself (a line that breaks a rule, a file
// changed): the stop is kept here and the reader is told to end.
struct EngineStop {
    std::optional<ImportStop> stop;
    std::optional<RecordIssue> end(ImportStop s) {
        stop = std::move(s);
        return RecordIssue{};
    }
    ImportStop of(const PositionReader::Stop& readerStop) const {
        return stop ? *stop : StopOf(readerStop);
    }
};

// Each line a pass walks: the window's events, the meter every 128 lines.
class Meter {
public:
    Meter(ImportChoices& choices, const PositionReader& source)
        : m_choices(choices), m_source(source), m_maximum(source.maximum()) {}
    void start() { m_choices.setProgress(1, m_maximum); }
    void step() {
        m_ui.processEvents();
        if ((++m_lines & 127) == 0)
            end();
    }
    void end() { m_choices.setProgress(m_source.progress(), m_maximum); }
    void restart() { m_lines = 0; }
    qint64 lines() const { return m_lines; }

private:
    ImportChoices& m_choices;
    const PositionReader& m_source;
    UserInterface& m_ui = UI();
    qint64 m_maximum;
    qint64 m_lines = 0;
};

// The prices of a line that become positions; nullopt when its prices do
// not convert (an error of the line).
std::optional<QVarLengthArray<ImportPrice, 2>> PricesOf(const ImportArticleLine& line) {
    double first = 0;
    double second = 0;
    if (!line.convertPrices(&first, &second))
        return std::nullopt;
    return PricesToStore(line, first, second);
}

} // namespace

// What lies between the passes: the reader (its files open, what it
// learned), what pass 1 saw of the files, its notes.
struct ImportPass {
    std::unique_ptr<PositionReader> reader;
    QString supplier;
    CheckedFile checked;
    ImportChoices* choices = nullptr;
    QList<ImportNote> notes;

    void finish() {
        if (choices)
            choices->setProgress(0, 0);
    }
};

OpenedFile FileImport::open(const Delivery& delivery) {
    if (!delivery.ok()) {
        OpenedFile r;
        r.message = delivery.message;
        UI().message(delivery.message, QString(), MessageIcon::Critical, MessageButtons::Ok);
        return r;
    }
    if (delivery.namesSupplier())
        return open(delivery.files.first().path);
    OpenedFile r;
    r.ok = true;
    return r;
}

ImportScan FileImport::scan(const QString& path, ImportChoices& choices) {
    return scanWith(MakeFileReader(path), QString(), choices);
}

ImportScan FileImport::scan(const Delivery& delivery, const QString& supplier,
                            ImportChoices& choices) {
    return scanWith(MakePositionReader(delivery), supplier, choices);
}

ImportResult FileImport::import(const QString& path, const QString& supplier,
                                ImportChoices& choices) {
    return ChooseAndStore(*this, scan(path, choices), supplier, choices);
}

ImportResult FileImport::import(const Delivery& delivery, const QString& supplier,
                                ImportChoices& choices) {
    if (!delivery.namesSupplier() && supplier.isEmpty()) {
        ImportResult result;
        result.message = kDeliveryWithoutSupplierMessage;
        return result;
    }
    return ChooseAndStore(*this, scan(delivery, supplier, choices), supplier, choices);
}

ImportScan FileImport::scanWith(std::unique_ptr<PositionReader> reader, const QString& supplier,
                                ImportChoices& choices) {
    ImportScan result;
    BusyPointer busy;
    result.pass = std::make_shared<ImportPass>();
    ImportPass& pass = *result.pass;
    pass.reader = std::move(reader);
    pass.supplier = supplier;
    pass.choices = &choices;
    PositionReader& source = *pass.reader;
    auto fail = [&](ImportStop stop) {
        pass.finish();
        result.pass.reset();
        return Stopped(result, stop);
    };
    QString missing = kNoMissingUnits;
    UnitAssignmentTable units;
    try {
        m_connection.ensure();
        if (!units.load(DownloadsClass(m_connection.client()).geteinh(Session().firma)))
            return fail(ImportStop{LineErrorMessage(QString())});
    } catch (const ServerError& e) {
        return fail(ImportStop{
            CacheFehlermeldungText(e, QStringLiteral("FMImport.Einlesen Einheiten")).trimmed()});
    }
    pass.checked.take(source.paths());
    if (auto stop = source.prepare())
        return fail(StopOf(*stop));
    Meter meter(choices, source);
    meter.start();

    // Every line must convert, and every price it stores must give a
    // position line text the server can split and would keep (what may be
    // mended is mended and noted); count the tracks, list missing units.
    EngineStop engine;
    auto watch = [&](const QString&, qint64, const QString& text) -> std::optional<RecordIssue> {
        pass.checked.add(text);
        return std::nullopt;
    };
    auto check = [&](const SourceLine& s) -> std::optional<RecordIssue> {
        meter.step();
        const ImportArticleLine& a = s.line;
        const auto prices = PricesOf(a);
        if (!prices)
            return engine.end(LineStop(s.record, s.fileLine, {}, s.file));
        for (ImportPrice which : *prices) {
            QStringList mended;
            const auto fields = MendedLineFields(a, which, &mended);
            if (!fields)
                return engine.end(LineStop(s.record, s.fileLine, {}, s.file));
            // The same faults in both prices of a line are noted once.
            if (which == prices->front())
                for (const QString& note : mended)
                    result.notes.append({s.file, s.fileLine, note});
            // What the server would refuse stops the import before anything
            // is stored.
            if (const QString problem = PositionLineRules::Problem(*fields); !problem.isEmpty())
                return engine.end(LineStop(s.record, s.fileLine, problem, s.file));
            result.tracks.count(a.priceDate(which));
        }
        CollectMissingUnits(a, units, &missing);
        return std::nullopt;
    };
    std::optional<PositionReader::Stop> stop = source.walk(true, watch, check);
    // A record that changed lines given already: the check again, with
    // every price known, as the store will read them.
    if (!stop && source.walkAgain()) {
        missing = kNoMissingUnits;
        meter.restart();
        result.notes.clear();
        result.tracks.clear();
        pass.checked.take(source.paths());
        stop = source.walk(true, watch, check);
    }
    if (stop)
        return fail(engine.of(*stop));
    result.lines = meter.lines();

    // Prices of articles the lines lack: the supplier's newest download
    // that has the article gives description, unit and EAN.
    const QStringList lacking = source.lacking();
    if (!lacking.isEmpty() && !supplier.isEmpty()) {
        try {
            RequestPipeline<Sent> pipeline(m_connection.client());
            pipeline.onConfirmed = [&](const Sent& sent, const QStringList& answer) {
                const QString found = answer.value(0);
                if (found.isEmpty())
                    return;
                const QStringList f = found.split(u'|');
                source.takeEarlier(sent.line, {f.value(0), f.value(1), f.value(2), f.value(3)});
            };
            for (const QString& number : lacking)
                pipeline.send(Wire::Op::ClassMethod,
                              PosClass::getlieferartRequest(Session().firma, supplier, number),
                              {number, 0, false});
            pipeline.finish();
        } catch (const RequestPipeline<Sent>::Failure& f) {
            return fail(ImportStop{
                CacheFehlermeldungText(f.error, QStringLiteral("FMImport.Einlesen Artikelstamm"))
                    .trimmed()});
        }
        // Their lines are checked as the others are.
        if (auto earlier = source.walkEarlier(check))
            return fail(engine.of(*earlier));
    }
    result.notes += source.passed();
    meter.end();
    if (!pass.checked.unchanged())
        return fail(ImportStop{kFileChangedMessage});
    if (source.tracksByDate())
        std::stable_sort(result.tracks.rows().begin(), result.tracks.rows().end(),
                         [](const PriceTrack& a, const PriceTrack& b) {
                             const QString form = QStringLiteral("dd.MM.yyyy");
                             return QDate::fromString(a.date, form) <
                                    QDate::fromString(b.date, form);
                         });
    pass.notes = result.notes;
    if (missing != kNoMissingUnits) {
        pass.finish();
        result.pass.reset();
        result.outcome = ImportScan::Outcome::MissingUnits;
        result.message = UnassignedUnitsMessage(missing);
        return result;
    }
    result.outcome = ImportScan::Outcome::Checked;
    return result;
}

ImportResult FileImport::store(ImportScan& scanned, const QString& supplier,
                               ImportChoices& choices) {
    ImportResult result;
    BusyPointer busy;
    // Taken from the scan: stored once.
    const std::shared_ptr<ImportPass> kept = std::move(scanned.pass);
    auto fail = [&](ImportStop stop) {
        if (kept)
            kept->finish();
        return Stopped(result, stop);
    };
    // Nothing is stored of files not checked, or changed since.
    if (!kept || scanned.outcome != ImportScan::Outcome::Checked)
        return fail(ImportStop{kFileChangedMessage});
    ImportPass& pass = *kept;
    PositionReader& source = *pass.reader;
    const PriceTrackList& tracks = scanned.tracks;
    pass.choices = &choices;
    if (!pass.checked.unchanged())
        return fail(ImportStop{kFileChangedMessage});
    result.notes = pass.notes;
    source.report(result);

    QString step = QStringLiteral("FMImport.Einlesen Download anlegen");
    try {
        // On the connection the check made: a connection lost since then
        // fails the import rather than being made anew.
        ServerClient& server = m_connection.client();
        result.downloadId = newDownload(server, supplier, result.deleted);
        step = kStoreOperation;
        // One position per taken price, of a line that pass 1 checked.
        // Requests go out without waiting for each answer; the first one
        // not confirmed names its line, and the server stores nothing after
        // a refused one. The positions with a purchase side of their own
        // are remembered with the id the server gave them.
        const QString firma = Session().firma;
        QList<PositionExtras> extras;
        QList<QPair<QString, qsizetype>> toSet; // position id, extras
        RequestPipeline<Sent> pipeline(server, m_depth);
        pipeline.onConfirmed = [&](const Sent& sent, const QStringList& answer) {
            if (!sent.position)
                return;
            ++result.positions;
            if (sent.extras >= 0)
                toSet.append({answer.value(0), sent.extras});
        };
        Meter meter(choices, source);
        qint64 counter = 0;
        EngineStop engine;
        auto compare = [&](const QString&, qint64,
                           const QString& text) -> std::optional<RecordIssue> {
            if (pass.checked.same(++counter, text))
                return std::nullopt;
            return engine.end(ImportStop{kFileChangedMessage + QStringLiteral("\r\n\r\n") +
                                         LineErrorMessage(text)});
        };
        auto send = [&](const SourceLine& s) -> std::optional<RecordIssue> {
            meter.step();
            const ImportArticleLine& a = s.line;
            const auto prices = PricesOf(a);
            if (!prices)
                return engine.end(LineStop(s.record, s.fileLine, {}, s.file));
            for (ImportPrice which : *prices) {
                if (!tracks.isMarked(a.priceDate(which)))
                    continue;
                const auto fields = MendedLineFields(a, which);
                if (!fields)
                    return engine.end(LineStop(s.record, s.fileLine, {}, s.file));
                qsizetype index = -1;
                if (s.extras.any() && which == ImportPrice::First) {
                    index = extras.size();
                    extras.append(s.extras);
                }
                pipeline.send(Wire::Op::ClassMethod,
                              PosClass::savezeileRequest(result.downloadId,
                                                         fields->join(kPositionLineSeparator)),
                              {s.record, s.fileLine, true, index, s.file});
            }
            // The manufacturer code of the first line is linked to the
            // supplier.
            const QString code = a.field(ImportArticleLine::HerstCode);
            if (meter.lines() == 1 && source.linksManufacturer())
                pipeline.send(Wire::Op::ClassMethod,
                              PosClass::setliefidRequest(firma, code, supplier),
                              {s.record, s.fileLine, false, -1, s.file});
            return std::nullopt;
        };
        std::optional<PositionReader::Stop> stop;
        try {
            stop = source.walk(false, compare, send);
            if (!stop)
                stop = source.walkEarlier(send);
        } catch (const RequestPipeline<Sent>::Failure& f) {
            return fail(RefusedLineStop(f.error, f.tag.line, f.tag.fileLine, f.tag.file));
        } catch (...) {
            if (auto refused = Settle(pipeline))
                return fail(*refused);
            throw;
        }
        if (auto refused = Settle(pipeline))
            return fail(*refused);
        if (stop)
            return fail(engine.of(*stop));
        // Shorter than pass 1 read it: the download lacks lines.
        if (counter != pass.checked.lines())
            return fail(ImportStop{kFileChangedMessage});
        meter.end();
        step = QStringLiteral("FMImport.Einlesen Einkaufsseite setzen");
        setExtras(server, toSet, extras);
    } catch (const ServerError& e) {
        return fail(ImportStop{CacheFehlermeldungText(e, step).trimmed()});
    } catch (const RequestPipeline<Sent>::Failure& f) {
        return fail(ImportStop{CacheFehlermeldungText(f.error, step).trimmed()});
    }
    pass.finish();
    result.outcome = ImportResult::Outcome::Imported;
    return result;
}

void FileImport::setExtras(ServerClient& server, const QList<QPair<QString, qsizetype>>& positions,
                           const QList<PositionExtras>& extras) {
    // As a grid edit writes a position: the object opened, the fields set,
    // saved and closed; a batch of objects at a time, each step pipelined.
    for (qsizetype from = 0; from < positions.size(); from += kExtrasBatch) {
        const qsizetype to = qMin<qsizetype>(positions.size(), from + kExtrasBatch);
        QStringList refs;
        {
            RequestPipeline<Sent> opening(server, m_depth);
            opening.onConfirmed = [&](const Sent&, const QStringList& answer) {
                refs << answer.value(0);
            };
            for (qsizetype i = from; i < to; ++i)
                opening.send(Wire::Op::Open, PosClass::openRequest(positions[i].first),
                             {positions[i].first, 0, false});
            opening.finish();
        }
        // The margin follows the net price, as after a grid edit: the
        // sales price and what else the cost takes are read first.
        static const QStringList kCostFields{
            PosClass::Property(PosQuery::Vkexcl), PosClass::Property(PosQuery::Epmvt),
            PosClass::Property(PosQuery::Nebkost), PosClass::Property(PosQuery::Faktor)};
        QList<std::array<double, 4>> cost(to - from, std::array<double, 4>{0, 0, 0, 0});
        {
            RequestPipeline<Sent> reading(server, m_depth);
            reading.onConfirmed = [&](const Sent& sent, const QStringList& answer) {
                cost[sent.extras][size_t(sent.fileLine)] = ErpValue(answer.value(0));
            };
            for (qsizetype i = from; i < to; ++i)
                for (qsizetype f = 0; f < kCostFields.size(); ++f)
                    reading.send(Wire::Op::Get,
                                 PosClass::getRequest(refs[i - from], kCostFields[f]),
                                 {positions[i].first, f, false, i - from});
            reading.finish();
        }
        RequestPipeline<Sent> writing(server, m_depth);
        for (qsizetype i = from; i < to; ++i) {
            const QString& ref = refs[i - from];
            const PositionExtras& e = extras[positions[i].second];
            const Sent tag{positions[i].first, 0, false};
            const std::array<double, 4>& c = cost[i - from];
            const double unitCost = PriceCalculation::UnitCost(ErpValue(e.netto), c[1], c[2], c[3]);
            QList<QPair<QString, QString>> values{
                {PosClass::Property(PosQuery::Ekgrp), QString()},
                {PosClass::Property(PosQuery::Rabtyp), e.rabtyp},
                {PosClass::Property(PosQuery::Netto), e.netto},
                {PosClass::Property(PosQuery::Spanne),
                 ErpNumber(PriceCalculation::Margin(c[0], unitCost), 2)}};
            // The discounts count only with "%" (a net price locks them).
            if (e.rabtyp == u"%")
                for (qsizetype d = 0; d < 4; ++d)
                    values.append({PosClass::Property(PosQuery::Column(PosQuery::Rab1 + d)),
                                   e.discounts.value(d, QStringLiteral("0"))});
            for (const auto& [property, value] : values)
                writing.send(Wire::Op::Set, PosClass::setRequest(ref, property, value), tag);
            writing.send(Wire::Op::Method, PosClass::saveRequest(ref), tag);
            writing.send(Wire::Op::Method, PosClass::closeRequest(ref), tag);
        }
        writing.finish();
    }
}
