// What an EAN match file calls on quendrap.pos: the supplier's description
// of an EAN in a download, and an article's order EAN set from the file with
// the download's positions of that EAN assigned to the article.
#include "ErpPositions.h"
#include "Job.h"
#include "Rights.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/ServerError.h"

#include <QSqlQuery>

namespace {

// geteanbez(download, EAN): the supplier's description of the download's
// first position with that EAN; "" when there is none.
QString geteanbez(CallContext& ctx, QStringList& a) {
    if (a.value(1).isEmpty() || !OwnDownload(ctx.job, a.value(0)))
        return QString();
    return ctx.engine.textValue(QStringLiteral("SELECT Bezeichnung FROM quendrap_pos WHERE "
                                               "DLID=? AND EAN=? ORDER BY CAST(id AS "
                                               "INTEGER) LIMIT 1"),
                                {a.value(0), a.value(1)});
}

// SetEan(company, supplier, article, EAN, download): the article's order
// EAN becomes the EAN, and the download's first position of that EAN
// without an article is assigned to it, unless a position of the
// download has the article already (an article stands in one row). The
// number of positions assigned. "0" and nothing changed for an empty
// EAN; an error and nothing changed for a download of another company or
// supplier, an unknown or inactive article or one of another supplier,
// and an EAN another article of the supplier has.
QString setEan(CallContext& ctx, QStringList& a) {
    StandinEngine& e = ctx.engine;
    const QString company = a.value(0), supplier = a.value(1), article = a.value(2),
                  ean = a.value(3), dlid = a.value(4);
    const QString owner = e.textValue(
        QStringLiteral("SELECT Firma||'||'||LNR FROM quendrap_downloads WHERE id=?"), {dlid});
    // A download of another company than the login's is not there.
    if (owner.isEmpty() || !OwnDownload(ctx.job, dlid))
        ObjectNotFound(erp::Downloads::kClass, dlid);
    CheckLength(erp::Data::kArtikel, QStringLiteral("EAN"), ean);
    const QString id = company + QStringLiteral("||") + article;
    const QString state =
        e.textValue(QStringLiteral("SELECT LNR||'|'||AKTIV FROM vt_artikel WHERE id=?"), {id});
    if (ean.isEmpty())
        return QStringLiteral("0");
    if (owner != company + QStringLiteral("||") + supplier)
        throw ServerError(StandinErrors::BadArguments,
                          QStringLiteral("Download ") + dlid +
                              QStringLiteral(" gehört nicht zu Firma ") + company +
                              QStringLiteral(", Lieferant ") + supplier);
    if (state.isEmpty() || state.section(u'|', 0, 0) != supplier)
        throw ServerError(StandinErrors::ObjectMissing,
                          QStringLiteral("Artikel ") + article +
                              QStringLiteral(" nicht bei Lieferant ") + supplier);
    if (state.section(u'|', 1) == u"N")
        throw ServerError(StandinErrors::General,
                          QStringLiteral("Artikel ") + article + QStringLiteral(" inaktiv"));
    // An order EAN names one article of a supplier (looked up by the
    // EAN, not by walking the supplier's articles in number order).
    const QString holder = e.textValue(QStringLiteral("SELECT ARTNR FROM vt_artikel WHERE "
                                                      "FIRMA=? AND LNR=? AND EAN=? AND "
                                                      "ARTNR<>? ORDER BY +ARTNR LIMIT 1"),
                                       {company, supplier, ean, article});
    if (!holder.isEmpty())
        throw ServerError(StandinErrors::General,
                          QStringLiteral("EAN bereits bei Artikel ") + holder);

    StandinTransaction t(e);
    WriteErpRecord(e, erp::Data::kArtikel, id, {{QStringLiteral("EAN"), ean}}, {}, dlid,
                   ctx.job.userCode());
    QStringList positions;
    const bool assigned = !e.textValue(QStringLiteral("SELECT id FROM quendrap_pos WHERE "
                                                      "DLID=? AND ARTNR=? LIMIT 1"),
                                       {dlid, article})
                               .isEmpty();
    if (!assigned) {
        const QString first = e.textValue(
            QStringLiteral("SELECT id FROM quendrap_pos WHERE DLID=? AND EAN=? AND ARTNR='' "
                           "ORDER BY CAST(id AS INTEGER) LIMIT 1"),
            {dlid, ean});
        if (!first.isEmpty())
            positions << first;
    }
    PositionFiller filler(e, ctx.job.cache());
    for (const QString& p : positions)
        filler.assign(p, company, supplier, article);
    t.commit();
    return QString::number(positions.size());
}

} // namespace

void RegisterMatchClasses(StandinRegistry& registry) {
    // A download's positions by their supplier EAN, in position order, and
    // by their article (an article stands in one row of a download).
    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_pos_ean ON "
                                                "quendrap_pos(DLID, EAN, CAST(id AS INTEGER))"),
                                 QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_pos_artnr ON "
                                                "quendrap_pos(DLID, ARTNR)")});

    ClassDef& pos = registry.extendClass(erp::Pos::kClass);
    pos.readOnlyClassMethods << erp::Pos::kGeteanbez;

    pos.classMethods.insert({
        {erp::Pos::kGeteanbez, geteanbez},
        {erp::Pos::kSetEan, setEan},
    });
}
