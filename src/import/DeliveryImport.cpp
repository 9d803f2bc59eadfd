// The import of a delivery: an extended import file goes the file's way
// (FileImport.cpp); the files of a DATANORM delivery are read here, through
// the same checks, tracks, missing units and store.

#include "FileImport.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/ErpForms.h"
#include "common/PriceCalculation.h"
#include "import/DatanormSource.h"
#include "import/ImportSteps.h"
#include "server/PosClass.h"
#include "server/ServerConnection.h"

#include <QDate>
#include <algorithm>
#include <array>

namespace {

// Positions whose purchase side is set after they are stored, a batch at
// a time: their objects opened, then their fields set, saved and closed.
constexpr int kExtrasBatch = 200;

ImportStop IssueStop(const RecordIssue& issue) {
    if (issue.fileLine == 0)
        return ImportStop{issue.file + QStringLiteral(": ") + issue.reason};
    return LineStop(issue.line, issue.fileLine, issue.reason, issue.file);
}

QStringList PathsOf(const Delivery& delivery) {
    QStringList paths;
    for (const DeliveryFile& f : delivery.files)
        paths << f.path;
    return paths;
}

} // namespace

// A DATANORM delivery between the passes: the bracket from the check to the
// last position stored, what the check learnt and saw.
struct DeliveryPass {
    std::optional<ServerCallScope> bracket;
    Delivery delivery;
    QString supplier;
    DatanormKnowledge knowledge;
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
    if (!delivery.isDatanorm())
        return open(delivery.files.first().path);
    OpenedFile r;
    r.ok = true;
    return r;
}

ImportScan FileImport::scan(const Delivery& delivery, const QString& supplier,
                            ImportChoices& choices) {
    if (!delivery.isDatanorm())
        return scan(delivery.files.value(0).path, choices);
    return scanDatanorm(delivery, supplier, choices);
}

ImportResult FileImport::import(const Delivery& delivery, const QString& supplier,
                                ImportChoices& choices) {
    if (!delivery.isDatanorm())
        return import(delivery.files.value(0).path, supplier, choices);
    if (supplier.isEmpty()) {
        ImportResult result;
        result.message = kDeliveryWithoutSupplierMessage;
        return result;
    }
    return ChooseAndStore(*this, scanDatanorm(delivery, supplier, choices), supplier, choices);
}

ImportScan FileImport::scanDatanorm(const Delivery& delivery, const QString& supplier,
                                    ImportChoices& choices) {
    ImportScan result;
    BusyPointer busy;
    result.delivery = std::make_shared<DeliveryPass>();
    DeliveryPass& pass = *result.delivery;
    pass.delivery = delivery;
    pass.supplier = supplier;
    pass.choices = &choices;
    auto fail = [&](ImportStop stop) {
        pass.finish();
        result.delivery.reset();
        return Stopped(result, stop);
    };
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
    pass.checked.take(PathsOf(delivery));
    const qint64 maximum = qMax<qint64>(1, delivery.articles);
    choices.setProgress(1, maximum);
    DatanormSource source(pass.delivery);
    if (auto issue = source.readSideFiles(pass.knowledge))
        return fail(IssueStop(*issue));

    // Every article's line is checked as the server would check it, with
    // what may be mended mended and noted; the units are looked up.
    QString missing = kNoMissingUnits;
    qint64 articles = 0;
    UserInterface& ui = UI();
    auto watch = [&](const QString&, qint64, const QString& text) -> std::optional<RecordIssue> {
        pass.checked.add(text);
        return std::nullopt;
    };
    auto check = [&](const SourceLine& s) -> std::optional<RecordIssue> {
        ui.processEvents();
        if ((++articles & 127) == 0)
            choices.setProgress(articles, maximum);
        QStringList mended;
        const QString shown = s.record.isEmpty() ? s.line.text() : s.record;
        const auto fields = MendedLineFields(s.line, ImportPrice::First, &mended);
        if (!fields)
            return RecordIssue{s.file, s.fileLine, shown,
                               QStringLiteral("Zeichen | in einem Feld")};
        for (const QString& note : mended)
            result.notes.append({s.file, s.fileLine, note});
        if (const QString problem = PositionLineRules::Problem(*fields); !problem.isEmpty())
            return RecordIssue{s.file, s.fileLine, shown, problem};
        CollectMissingUnits(s.line, units, &missing);
        if (const auto track = TrackOf(s))
            result.tracks.count(*track);
        return std::nullopt;
    };
    // The check walks with the prices known so far; a P record of an
    // article whose line it gave already means a second walk, with every
    // price known, as the store will see them.
    auto restart = [&] {
        missing = kNoMissingUnits;
        articles = 0;
        result.notes.clear();
        result.tracks.clear();
        pass.checked.take(PathsOf(delivery));
    };
    if (auto issue = source.walkArticles(pass.knowledge, true, watch, check))
        return fail(IssueStop(*issue));
    if (source.sawLatePrice()) {
        restart();
        if (auto issue = source.walkArticles(pass.knowledge, false, watch, check))
            return fail(IssueStop(*issue));
    }
    result.lines = articles;

    // Prices of articles the delivery lacks: the supplier's newest download
    // that has the article gives description, unit and EAN.
    const QStringList lacking = DatanormSource::ArticlesWithoutMaster(pass.knowledge);
    if (!lacking.isEmpty() && !pass.supplier.isEmpty()) {
        try {
            RequestPipeline<Sent> pipeline(Factory());
            pipeline.onConfirmed = [&](const Sent& sent, const QStringList& answer) {
                const QString found = answer.value(0);
                if (found.isEmpty())
                    return;
                const QStringList f = found.split(u'|');
                pass.knowledge.earlier.insert(sent.line,
                                              {f.value(0), f.value(1), f.value(2), f.value(3)});
            };
            for (const QString& number : lacking)
                pipeline.send(Wire::Op::ClassMethod,
                              PosClass::getlieferartRequest(Session().firma, pass.supplier, number),
                              {number, 0, false});
            pipeline.finish();
        } catch (const RequestPipeline<Sent>::Failure& f) {
            return fail(ImportStop{
                CacheFehlermeldungText(f.error, QStringLiteral("FMImport.Einlesen Artikelstamm"))
                    .trimmed()});
        }
        // Their lines are checked as the others are.
        if (auto issue = source.yieldEarlier(pass.knowledge, check))
            return fail(IssueStop(*issue));
    }
    if (!pass.checked.unchanged())
        return fail(ImportStop{kFileChangedMessage});

    // The tracks in the order of their dates.
    std::stable_sort(result.tracks.rows().begin(), result.tracks.rows().end(),
                     [](const PriceTrack& a, const PriceTrack& b) {
                         const QDate da = QDate::fromString(a.date, QStringLiteral("dd.MM.yyyy"));
                         const QDate db = QDate::fromString(b.date, QStringLiteral("dd.MM.yyyy"));
                         return da < db;
                     });
    pass.notes = result.notes;
    if (missing != kNoMissingUnits) {
        pass.finish();
        result.delivery.reset();
        result.outcome = ImportScan::Outcome::MissingUnits;
        result.message = UnassignedUnitsMessage(missing);
        return result;
    }
    result.outcome = ImportScan::Outcome::Checked;
    return result;
}

ImportResult FileImport::storeDatanorm(ImportScan& scanned, const QString& supplier,
                                       ImportChoices& choices) {
    ImportResult result;
    BusyPointer busy;
    // Taken from the scan: stored once.
    const std::shared_ptr<DeliveryPass> kept = std::move(scanned.delivery);
    auto fail = [&](ImportStop stop) {
        if (kept)
            kept->finish();
        return Stopped(result, stop);
    };
    if (!kept || scanned.outcome != ImportScan::Outcome::Checked)
        return fail(ImportStop{kFileChangedMessage});
    DeliveryPass& pass = *kept;
    const Delivery& delivery = pass.delivery;
    const PriceTrackList& tracks = scanned.tracks;
    pass.choices = &choices;
    if (!pass.checked.unchanged())
        return fail(ImportStop{kFileChangedMessage});
    result.notes = pass.notes;
    const DatanormKnowledge& k = pass.knowledge;
    result.deleted = k.deleted;
    result.recommended = k.recommended;
    result.rates = k.rates;
    for (const QString& number : DatanormSource::ArticlesWithoutMaster(k))
        if (!k.earlier.contains(number))
            ++result.withoutArticle;

    QString step = QStringLiteral("FMImport.Einlesen Download anlegen");
    try {
        ServerClient& server = Factory();
        result.downloadId = newDownload(server, supplier);
        step = kStoreOperation;
        // The positions, pipelined; the ones with a purchase side of their
        // own are remembered with the id the server gave them.
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
        const qint64 maximum = qMax<qint64>(1, delivery.articles);
        qint64 counter = 0;
        qint64 sent = 0;
        UserInterface& ui = UI();
        auto compare = [&](const QString&, qint64,
                           const QString& text) -> std::optional<RecordIssue> {
            if (pass.checked.same(++counter, text))
                return std::nullopt;
            return RecordIssue{QString(), 0, text, kFileChangedMessage};
        };
        auto send = [&](const SourceLine& s) -> std::optional<RecordIssue> {
            ui.processEvents();
            if ((++sent & 127) == 0)
                choices.setProgress(sent, maximum);
            double price = 0;
            double second = 0;
            if (!s.line.convertPrices(&price, &second) || price == 0 ||
                !tracks.isMarked(s.line.priceDate(ImportPrice::First)))
                return std::nullopt;
            const auto fields = MendedLineFields(s.line, ImportPrice::First);
            if (!fields)
                return RecordIssue{s.file, s.fileLine, s.line.text(), QString()};
            qsizetype index = -1;
            if (s.extras.any()) {
                index = extras.size();
                extras.append(s.extras);
            }
            pipeline.send(
                Wire::Op::ClassMethod,
                PosClass::savezeileRequest(result.downloadId, fields->join(kPositionLineSeparator)),
                {s.line.text(), s.fileLine, true, index, s.file});
            return std::nullopt;
        };
        DatanormSource source(pass.delivery);
        DatanormKnowledge& knowledge = pass.knowledge;
        std::optional<RecordIssue> issue;
        try {
            issue = source.walkArticles(knowledge, false, compare, send);
            if (!issue)
                issue = source.yieldEarlier(knowledge, send);
        } catch (const RequestPipeline<Sent>::Failure& f) {
            return fail(RefusedLineStop(f.error, f.tag.line, f.tag.fileLine, f.tag.file));
        }
        if (auto refused = Settle(pipeline))
            return fail(*refused);
        if (issue) {
            if (issue->reason == kFileChangedMessage)
                return fail(ImportStop{kFileChangedMessage + QStringLiteral("\r\n\r\n") +
                                       LineErrorMessage(issue->line)});
            return fail(IssueStop(*issue));
        }
        if (counter != pass.checked.lines())
            return fail(ImportStop{kFileChangedMessage});
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
        static const QStringList kCostFields{QStringLiteral("vkexcl"), QStringLiteral("epmvt"),
                                             QStringLiteral("nebkost"), QStringLiteral("faktor")};
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
                {QStringLiteral("ekgrp"), QString()},
                {QStringLiteral("rabtyp"), e.rabtyp},
                {QStringLiteral("netto"), e.netto},
                {QStringLiteral("spanne"), ErpNumber(PriceCalculation::Margin(c[0], unitCost), 2)}};
            // The discounts count only with "%" (a net price locks them).
            if (e.rabtyp == u"%")
                for (qsizetype d = 0; d < 4; ++d)
                    values.append({QStringLiteral("rab%1").arg(d + 1),
                                   e.discounts.value(d, QStringLiteral("0"))});
            for (const auto& [property, value] : values)
                writing.send(Wire::Op::Set, PosClass::setRequest(ref, property, value), tag);
            writing.send(Wire::Op::Method, PosClass::saveRequest(ref), tag);
            writing.send(Wire::Op::Method, PosClass::closeRequest(ref), tag);
        }
        writing.finish();
    }
}
