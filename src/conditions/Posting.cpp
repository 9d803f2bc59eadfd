#include "Posting.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "positions/PriceCalculation.h"
#include "server/RequestPipeline.h"
#include "server/ServerConnection.h"

#include <QLocale>

using namespace PositionGrid;

const QStringList& PostingOptions::names() {
    static const QStringList n{
        QStringLiteral("chvorhupd"),  QStringLiteral("chneu"),   QStringLiteral("chstamm"),
        QStringLiteral("chfreigart"), QStringLiteral("chfreig"), QStringLiteral("chbez"),
        QStringLiteral("kondanl"),    QStringLiteral("ekanl"),   QStringLiteral("vkanl")};
    return n;
}

const QStringList& PostingOptions::captions() {
    static const QStringList c{QStringLiteral("Vorhandene Artikel"),
                               QStringLiteral("Neue Artikel anlegen"),
                               QStringLiteral("Stammdaten(Einheiten, Faktoren..) updaten"),
                               QStringLiteral("Freigabe Artikel"),
                               QStringLiteral("Freigabe Preise"),
                               QStringLiteral("Bezeichnungen updaten"),
                               QStringLiteral("EK-Kondition anlegen"),
                               QStringLiteral("EK-Preis anlegen"),
                               QStringLiteral("VK-Preis anlegen")};
    return c;
}

std::optional<PostingOptions> PostingOptions::fromNames(const QString& list, QString* unknown) {
    PostingOptions options;
    for (const QString& part : list.split(u',', Qt::SkipEmptyParts)) {
        const int i = int(names().indexOf(part.trimmed()));
        if (i < 0) {
            if (unknown)
                *unknown = part.trimmed();
            return std::nullopt;
        }
        options.on[size_t(i)] = true;
    }
    return options;
}

PostingContext PostingContext::of(const PositionDownload& download) {
    return {Session().firma, PersonnelCode(), download.supplier, download.key};
}

QStringList VerbuchArguments(const PostingContext& context, const PostingOptions& options,
                             const QString& positionId) {
    using O = PostingOption;
    return {context.company,
            positionId,
            context.supplier,
            context.personnel,
            PostingFlag(options[O::Freig]),
            options[O::Freig] ? context.downloadKey : QString(),
            PostingFlag(options[O::VkAnl]),
            PostingFlag(options[O::FreigArt]),
            PostingFlag(options[O::EkAnl]),
            PostingFlag(options[O::KondAnl]),
            PostingFlag(options[O::Bez]),
            PostingFlag(options[O::Neu]),
            PostingFlag(options[O::Vorhupd]),
            PostingFlag(options[O::Stamm])};
}

bool PostingTakesRow(const PositionRow& row, bool onlyMarked) {
    // A mark counts when its number is above 0.
    return !onlyMarked || ToNumber(row.text(Mark)) > 0;
}

bool ParseDeviation(const QString& shown, double* value) {
    QString t = shown.trimmed();
    if (t.endsWith(u'%'))
        t.chop(1);
    t = t.trimmed();
    if (t.isEmpty())
        return false;
    t.replace(u'.', QString()).replace(u',', u'.');
    if (t.startsWith(u'.'))
        t.prepend(u'0');
    else if (t.startsWith(QStringLiteral("-.")))
        t.insert(1, u'0');
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (ok && value)
        *value = v;
    return ok;
}

PostingPreview PostingPreview::of(const PositionGridModel& model, bool onlyMarked) {
    PostingPreview p;
    p.rows = model.size();
    for (int i = 0; i < model.size(); ++i) {
        const PositionRow& r = model.row(i);
        if (!PostingTakesRow(r, onlyMarked))
            continue;
        ++p.taken;
        ++(r.text(ArtNr).trimmed().isEmpty() ? p.newArticles : p.updates);
        double deviation = 0;
        if (!ParseDeviation(r.text(Abweichung), &deviation))
            ++p.ekUnknown;
        else if (deviation > 0)
            ++p.ekUp;
        else if (deviation < 0)
            ++p.ekDown;
        else
            ++p.ekSame;
        const bool hasSales = r.hasNumber(VkExcl) && r.number(VkExcl) > 0;
        if (hasSales && !r.vkFlag)
            ++p.newSalesPrices;
        if (r.hasNumber(Spanne) && r.number(Spanne) < 0)
            ++p.negativeMargin;
        if (hasSales && r.hasNumber(Netto)) {
            auto num = [&](int c) { return r.hasNumber(c) ? r.number(c) : 0.0; };
            const double cost =
                PriceCalculation::UnitCost(r.number(Netto), num(Epm), num(Nebenkost), num(Fakt));
            if (cost > r.number(VkExcl) + 0.005)
                ++p.netAboveSales;
        }
    }
    return p;
}

QStringList PostingPreview::lines() const {
    const QString n = QStringLiteral("%L1");
    return {
        QStringLiteral("Positionen zum Verbuchen: %L1 von %L2").arg(taken).arg(rows),
        QStringLiteral("Neue Artikel: %L1, vorhandene Artikel: %L2").arg(newArticles).arg(updates),
        QStringLiteral("EK-Preis gegenüber VELTAR: höher %L1, niedriger %L2, gleich %L3, "
                       "ohne Vergleich %L4")
            .arg(ekUp)
            .arg(ekDown)
            .arg(ekSame)
            .arg(ekUnknown),
        QStringLiteral("Neue VK-Preise: ") + n.arg(newSalesPrices),
        QStringLiteral("Spanne unter 0: %L1, Netto über VK-Excl: %L2")
            .arg(negativeMargin)
            .arg(netAboveSales)};
}

QString PostingOperation(const QString& positionId) {
    const QString operation = QStringLiteral("fmverbuch.Verbuchen");
    return positionId.isEmpty() ? operation : operation + QStringLiteral(" Position ") + positionId;
}

bool PostingRun::run(PositionGridModel& model, const PostingContext& context,
                     const PostingOptions& options) {
    m_calls = 0;
    m_failedRow = -1;
    UserInterface& ui = UI();
    const int rows = model.size();
    bool ok = true;
    QString failedId;
    try {
        BeginServerCall(false, false);
        ServerClient& server = Factory();
        // One class handle serves the run; the calls name its class.
        ClassHandle handle = server.classHandle(QStringLiteral("quendrap.pos"));
        const QString posClass = QStringLiteral("quendrap.pos");
        const QString verbuch = QStringLiteral("verbuch");
        // A request that is not chained starts a fresh chain: a refusal in an
        // earlier run must not make the server skip this one.
        server.call(Wire::Op::Ping, {});
        RequestPipeline<int> pipeline(server, depth);
        pipeline.onConfirmed = [&](const int& row, const QStringList& answer) {
            const QString result = answer.value(0);
            if (result.trimmed() != u"-1")
                model.setServerValue(row, Stat, result);
            if (answered)
                answered(row, result);
        };
        try {
            for (int i = 0; i < rows; ++i) {
                const bool marked = onlyMarked ? onlyMarked() : false;
                if (PostingTakesRow(model.row(i), marked)) {
                    QStringList args{posClass, verbuch};
                    args << VerbuchArguments(context, options, model.row(i).id);
                    ++m_calls;
                    pipeline.send(Wire::Op::ClassMethod, args, i);
                }
                if (progress)
                    progress(i, rows - 1);
                if (i % 10 == 9)
                    ui.processEvents();
            }
            pipeline.finish();
        } catch (const RequestPipeline<int>::Failure& f) {
            m_failedRow = f.tag;
            failedId = model.row(f.tag).id;
            throw f.error;
        }
        handle.release();
        EndServerCall(false);
    } catch (const ServerError& e) {
        EndServerCall(false);
        CacheFehlermeldung(e, PostingOperation(failedId));
        ok = false;
    }
    return ok;
}
