// What the price data import calls: supplier look-ups by manufacturer code,
// unit assignments, storing positions, web price data and the supplier
// defaults.
#include "ErpPositions.h"
#include "Job.h"
#include "Rights.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/PositionLineRules.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"

#include <QSqlQuery>

namespace {

QString firmaKey(const StoredObject& o, const QString& a, const QString& b) {
    return o.values.value(a) + QStringLiteral("||") + o.values.value(b);
}

// Company and supplier of a download, kept per job while positions arrive;
// looked up again once another job removed a download, so that no position
// is stored for a download that is gone. A download of another company than
// the login's is not there for the job.
QStringList downloadOf(CallContext& ctx, const QString& dlid) {
    auto& cache = ctx.job.cache();
    const QString key = QStringLiteral("dl:") + dlid;
    const QString removals = QString::number(ctx.engine.downloadRemovals());
    auto it = cache.constFind(key);
    if (it != cache.constEnd() && it->value(2) == removals)
        return *it;
    QSqlQuery& q = ctx.engine.exec(
        QStringLiteral("SELECT Firma, LNR FROM quendrap_downloads WHERE id=?"), {dlid});
    if (!StandinStore::nextRow(q) || q.value(0).toString() != ctx.job.company()) {
        q.finish();
        cache.remove(key);
        ObjectNotFound(erp::Downloads::kClass, dlid);
    }
    const QStringList v{q.value(0).toString(), q.value(1).toString(), removals};
    q.finish();
    cache.insert(key, v);
    return v;
}

} // namespace

namespace {

QString getlnr(CallContext& ctx, QStringList& a) {
    return ctx.engine.textValue(QStringLiteral("SELECT LNR FROM quendrap_liefid WHERE id=?"),
                                {a.value(0) + QStringLiteral("||") + a.value(1)});
}

// The supplier's name for the screen; "" when the supplier is not stored.
QString lname(CallContext& ctx, QStringList& a) {
    return ConvertText(
        ctx.engine.textValue(QStringLiteral("SELECT NAME FROM vt_lieferant WHERE id=?"),
                             {a.value(0) + QStringLiteral("||") + a.value(1)}),
        QStringLiteral("VELTAR"), false);
}

// "ERP units`external codes", two comma-separated lists in the same order.
QString geteinh(CallContext& ctx, QStringList& a) {
    QSqlQuery& q = ctx.engine.exec(
        QStringLiteral("SELECT ERP, EXT FROM vt_einheit WHERE FIRMA=? ORDER BY EXT"), {a.value(0)});
    QStringList erp;
    QStringList ext;
    while (StandinStore::nextRow(q)) {
        erp << q.value(0).toString();
        ext << q.value(1).toString();
    }
    q.finish();
    return erp.join(u',') + u'`' + ext.join(u',');
}

// savezeile(download, "", position line text, flag, ""): creates the
// staging position from the 14 fields, assigns the ERP article of the
// download's supplier whose EAN or order number matches, fills the grid
// fields from it and the supplier defaults, and creates the download's
// discount group record when the group first appears.
QString savezeile(CallContext& ctx, QStringList& a) {
    const QString dlid = a.value(0);
    const QStringList f = a.value(2).split(u'|');
    if (f.size() != 14)
        throw ServerError(StandinErrors::BadArguments, QStringLiteral("Positionszeile mit ") +
                                                           QString::number(f.size()) +
                                                           QStringLiteral(" statt 14 Feldern"));
    // What the ERP would not keep as it is (too long, an EAN, date,
    // price or quantity that is none) is refused, as the import's own
    // check refuses it.
    if (const QString problem = PositionLineRules::Problem(f); !problem.isEmpty())
        throw ServerError(StandinErrors::BadArguments, problem);
    CheckLength(erp::Pos::kClass, QStringLiteral("Kennz"), a.value(3));
    const QStringList dl = downloadOf(ctx, dlid);
    return PositionFiller(ctx.engine, ctx.job.cache()).store(dlid, dl[0], dl[1], f, a.value(3));
}

// getlieferart(company, supplier, order number): "EAN|description|unit|
// price unit" of the supplier's newest position with that order number
// (the newest download first), "" when no download has it. A price list
// that names only order numbers (DATANORM price files) takes the rest from
// there.
QString getlieferart(CallContext& ctx, QStringList& a) {
    QSqlQuery& q = ctx.engine.exec(
        QStringLiteral("SELECT p.EAN, p.Bezeichnung, p.VE, p.PreisEHT FROM quendrap_pos p "
                       "JOIN quendrap_downloads d ON d.id = p.DLID WHERE p.BestNr=? AND "
                       "d.Firma=? AND d.LNR=? ORDER BY d.Datum DESC, CAST(d.id AS INTEGER) DESC, "
                       "CAST(p.id AS INTEGER) DESC LIMIT 1"),
        {a.value(2), a.value(0), a.value(1)});
    QStringList row;
    if (StandinStore::nextRow(q))
        for (int i = 0; i < 4; ++i)
            row << q.value(i).toString();
    q.finish();
    return row.join(u'|');
}

// setliefid(company, manufacturer code, supplier): links the code.
QString setliefid(CallContext& ctx, QStringList& a) {
    CheckLength(erp::Liefid::kClass, QStringLiteral("HerstCode"), a.value(1));
    CheckLength(erp::Liefid::kClass, QStringLiteral("LNR"), a.value(2));
    ctx.engine.exec(
        QStringLiteral("INSERT OR REPLACE INTO quendrap_liefid(id, FIRMA, "
                       "HerstCode, LNR) VALUES(?,?,?,?)"),
        {a.value(0) + QStringLiteral("||") + a.value(1), a.value(0), a.value(1), a.value(2)});
    return QString();
}

// "name (code)|name (code)|..." of the suppliers with web price data.
QString quendraGetCountry(CallContext& ctx, QStringList&) {
    QSqlQuery& q = ctx.engine.exec(QStringLiteral(
        "SELECT CODE, min(NAME) FROM quendrap_web GROUP BY CODE ORDER BY min(NAME)"));
    QStringList entries;
    while (StandinStore::nextRow(q))
        entries << q.value(1).toString() + QStringLiteral(" (") + q.value(0).toString() + u')';
    q.finish();
    return entries.join(u'|');
}

// The list expression for VT.XW "Liste"; "" when the code has no data.
QString quendraGetComp(CallContext& ctx, QStringList& a) {
    const QString n = ctx.engine.textValue(
        QStringLiteral("SELECT count(*) FROM quendrap_web WHERE CODE=?"), {a.value(0)});
    return n.toInt() > 0 ? QStringLiteral("WEB|") + a.value(0) : QString();
}

std::unique_ptr<QueryCursor> expressionListQuery(CallContext& ctx, const QStringList& a) {
    const QString expr = a.value(0);
    if (expr.isEmpty())
        return std::unique_ptr<QueryCursor>(
            std::make_unique<ListCursor>(erp::Xw::kListe.columnCount(), QList<QStringList>{}));
    if (!expr.startsWith(QStringLiteral("WEB|"))) {
        if (std::unique_ptr<QueryCursor> c = PositionListCursor(ctx, expr))
            return c;
        throw ServerError(StandinErrors::BadArguments,
                          QStringLiteral("Unbekannter Listenausdruck: ") + expr);
    }
    return std::unique_ptr<QueryCursor>(
        std::make_unique<SqlCursor>(ctx.engine,
                                    QStringLiteral("SELECT LINE FROM quendrap_web WHERE CODE=? "
                                                   "ORDER BY CAST(SEQ AS INTEGER), id"),
                                    QVariantList{expr.mid(4)}, erp::Xw::kListe.columnCount()));
}

} // namespace

void RegisterImportClasses(StandinRegistry& registry) {
    // Manufacturer codes linked to suppliers: id FIRMA||HerstCode.
    ClassDef& liefid = registry.defineClass(
        erp::Liefid::kClass, QStringLiteral("quendrap_liefid"),
        {QStringLiteral("FIRMA"), QStringLiteral("HerstCode"), QStringLiteral("LNR")}, false);
    liefid.idOf = [](const StoredObject& o) {
        return firmaKey(o, QStringLiteral("FIRMA"), QStringLiteral("HerstCode"));
    };
    liefid.classMethods.insert(erp::Liefid::kGetlnr, getlnr);

    // Unit assignments: external unit code to ERP unit, per company.
    registry
        .defineClass(erp::Data::kEinheit, QStringLiteral("vt_einheit"),
                     {QStringLiteral("FIRMA"), QStringLiteral("EXT"), QStringLiteral("ERP")}, false)
        .idOf = [](const StoredObject& o) {
        return firmaKey(o, QStringLiteral("FIRMA"), QStringLiteral("EXT"));
    };

    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_ekgrp_grp ON "
                                                "quendrap_ekgrp(DLID, RabattGR)"),
                                 QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_pos_bestnr ON "
                                                "quendrap_pos(BestNr)")});

    ClassDef& downloads = registry.extendClass(erp::Downloads::kClass);
    downloads.classMethods.insert({
        {erp::Downloads::kLname, lname},
        {erp::Downloads::kGeteinh, geteinh},
    });

    ClassDef& pos = registry.extendClass(erp::Pos::kClass);
    pos.classMethods.insert({
        {erp::Pos::kSavezeile, savezeile},
        {erp::Pos::kSetliefid, setliefid},
        {erp::Pos::kGetlieferart, getlieferart},
        {erp::Pos::kQuendraGetCountry, quendraGetCountry},
        {erp::Pos::kQuendraGetComp, quendraGetComp},
    });
    pos.readOnlyClassMethods << erp::Pos::kGetlieferart;

    // Web price data: article lines per supplier code, in order.
    registry.defineClass(erp::Data::kWeb, QStringLiteral("quendrap_web"),
                         {QStringLiteral("CODE"), QStringLiteral("NAME"), QStringLiteral("SEQ"),
                          QStringLiteral("LINE")});

    // VT.XW "Liste": runs a list expression, one row per entry: "WEB|code"
    // here, the positions window's expressions in PositionClasses.
    ClassDef& xw = registry.defineClass(erp::Xw::kClass);
    AddQuery(xw, erp::Xw::kListe, expressionListQuery);

    // Defaults a buyer keeps per supplier: id FIRMA||LNR. The dialog
    // "Defaults" makes and changes them (Rights.h).
    ClassDef& defaults =
        registry.defineClass(erp::Defaults::kClass, QStringLiteral("quendrap_defaults"),
                             erp::ToStringList(erp::Defaults::kProperties), false);
    defaults.idOf = [](const StoredObject& o) {
        return firmaKey(o, QStringLiteral("FIRMA"), QStringLiteral("LNR"));
    };
    defaults.writes = {true, defaults.properties, defaults.properties.mid(2)};
}
