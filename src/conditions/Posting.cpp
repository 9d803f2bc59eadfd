#include "Posting.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/PriceCalculation.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/ErrorReport.h"
#include "server/PosClass.h"
#include "server/RequestPipeline.h"

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

PostingPreview PostingPreview::of(const PositionGridModel& model, bool onlyMarked) {
    // Counted with the grid's quick filters, so that each count leads to
    // exactly its rows.
    using Q = QuickFilter;
    PostingPreview p;
    p.rows = model.size();
    for (int i = 0; i < model.size(); ++i) {
        const PositionRow& r = model.row(i);
        if (!PostingTakesRow(r, onlyMarked))
            continue;
        ++p.taken;
        ++(PositionMatches(Q::OhneArtNr, r) ? p.newArticles : p.updates);
        if (PositionMatches(Q::EkHoeher, r))
            ++p.ekUp;
        else if (PositionMatches(Q::EkNiedriger, r))
            ++p.ekDown;
        else if (PositionMatches(Q::EkGleich, r))
            ++p.ekSame;
        else
            ++p.ekUnknown;
        p.newSalesPrices += PositionMatches(Q::NeueVkPreise, r);
        p.negativeMargin += PositionMatches(Q::SpanneNegativ, r);
        p.netAboveSales += PositionMatches(Q::NettoUeberVk, r);
    }
    return p;
}

namespace {

// The preview's lines with each count written by count(value, filter
// names); the names say which rows the count stands for ("" all rows).
template <typename Count>
QStringList previewLines(const PostingPreview& p, bool onlyMarked, Count count) {
    const QString marked = onlyMarked ? QStringLiteral("markiert") : QString();
    auto with = [&marked](const char* name) {
        const QString n = QString::fromLatin1(name);
        return marked.isEmpty() ? n : marked + u'+' + n;
    };
    QStringList lines{
        QStringLiteral("Positionen zum Verbuchen: %1 von %2")
            .arg(count(p.taken, marked), count(p.rows, QString())),
        QStringLiteral("Neue Artikel: %1, vorhandene Artikel: %2")
            .arg(count(p.newArticles, with("ohne-artnr")), count(p.updates, with("mit-artnr"))),
        QStringLiteral("EK-Preis gegenüber VELTAR: höher %1, niedriger %2, gleich %3, "
                       "ohne Vergleich %4")
            .arg(count(p.ekUp, with("ek-hoeher")), count(p.ekDown, with("ek-niedriger")),
                 count(p.ekSame, with("ek-gleich")), count(p.ekUnknown, with("ek-ohne-vergleich"))),
        QStringLiteral("Neue VK-Preise: ") + count(p.newSalesPrices, with("neue-vk-preise")),
        QStringLiteral("Spanne unter 0: %1, Netto über VK-Excl: %2")
            .arg(count(p.negativeMargin, with("spanne-negativ")),
                 count(p.netAboveSales, with("netto-ueber-vk")))};
    // No position stands for them: a count without a link.
    if (p.deletedReported > 0)
        lines << QStringLiteral("Als gelöscht gemeldete Artikel: %L1").arg(p.deletedReported);
    return lines;
}

} // namespace

QStringList PostingPreview::lines() const {
    return previewLines(*this, false,
                        [](int value, const QString&) { return QStringLiteral("%L1").arg(value); });
}

QStringList PostingPreview::linkedLines(bool onlyMarked) const {
    return previewLines(*this, onlyMarked, [](int value, const QString& names) {
        return QStringLiteral("<a href=\"filter:%1\">%L2</a>").arg(names).arg(value);
    });
}

int DeletedReported(Connection& connection, const QString& downloadKey) {
    QString count;
    connection.call(QStringLiteral("fmverbuch.Vorschau Download lesen"), [&] {
        ServerObject d = connection.client().openObject(DownloadsClass::kClass, downloadKey);
        count = d.get(DownloadsClass::kGeloescht);
        d.close();
    });
    return count.toInt();
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
        m_connection.ensure();
        ServerClient& server = m_connection.client();
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
                    ++m_calls;
                    pipeline.send(Wire::Op::ClassMethod,
                                  PosClass::verbuchRequest(
                                      VerbuchArguments(context, options, model.row(i).id)),
                                  i);
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
    } catch (const ServerError& e) {
        CacheFehlermeldung(m_connection, e, PostingOperation(failedId));
        ok = false;
    }
    return ok;
}
