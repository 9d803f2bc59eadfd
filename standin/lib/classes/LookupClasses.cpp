// The search dialogs: the supplier and customer searches (VT.Windows
// "KkrSuche"), the customers, customer groups and account groups.
#include "Job.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/TextHelpers.h"

#include <QSqlQuery>

namespace {

QString readable(const QString& erpText) {
    return ConvertText(erpText, QStringLiteral("VELTAR"), false);
}

// A readable text as the searches compare it: upper case, umlauts spelled out.
QString searchKey(const QString& text) {
    return ConvertText(text, QStringLiteral("VELTARSUCHE"), true);
}

// Rows "code|text" (the text readable) of a stored code list, by code.
std::unique_ptr<QueryCursor> codeRows(CallContext& ctx, const QString& sql,
                                      const QVariantList& values) {
    QSqlQuery& q = ctx.engine.exec(sql, values);
    QList<QStringList> rows;
    while (StandinEngine::nextRow(q))
        rows << QStringList{q.value(0).toString(), readable(q.value(1).toString())};
    q.finish();
    return std::make_unique<ListCursor>(2, rows);
}

// A stored class whose id is its key properties joined by "||".
ClassDef& keyedClass(StandinEngine& engine, const QString& name, const QString& table,
                     const QStringList& properties, const QStringList& keyProperties) {
    ClassDef& cls = engine.defineClass(name, table, properties, false);
    cls.idOf = [keyProperties](const StoredObject& o) {
        QStringList parts;
        for (const QString& p : keyProperties)
            parts << o.values.value(p);
        return parts.join(QStringLiteral("||"));
    };
    return cls;
}

// KkrSuche rows of suppliers ("L") or customers ("K"): 1 number, 2 short
// name (the first ten characters of the name's search key), 3 name and 5
// place in the ERP's 7-bit form, 4 post code.
QList<QStringList> partnerRows(StandinEngine& engine, const QString& sql,
                               const QVariantList& values, const QString& namePart) {
    const QString part = searchKey(namePart).trimmed();
    QSqlQuery& q = engine.exec(sql, values);
    QList<QStringList> rows;
    while (StandinEngine::nextRow(q)) {
        const QString name = q.value(1).toString();
        const QString search = searchKey(readable(name));
        if (!part.isEmpty() && !search.contains(part))
            continue;
        rows << QStringList{q.value(0).toString(), search.left(10), name, q.value(2).toString(),
                            q.value(3).toString()};
    }
    q.finish();
    return rows;
}

} // namespace

void RegisterLookupClasses(StandinEngine& engine) {
    // Customers of the ERP: id FIRMA||KNR; name and place in the 7-bit form,
    // KGRP the customer group, KTOKREIS the account group.
    const QStringList customer{QStringLiteral("FIRMA"),   QStringLiteral("KNR"),
                               QStringLiteral("NAME"),    QStringLiteral("ORT"),
                               QStringLiteral("PLZ"),     QStringLiteral("KGRP"),
                               QStringLiteral("KTOKREIS")};
    keyedClass(engine, QStringLiteral("VT.Kunde"), QStringLiteral("vt_kunde"), customer,
               {QStringLiteral("FIRMA"), QStringLiteral("KNR")});
    engine.execScript(
        {QStringLiteral("CREATE INDEX IF NOT EXISTS vt_kunde_firma ON vt_kunde(FIRMA, KNR)")});

    // Customer groups: id FIRMA||CODE; query "Liste"(company): code, text.
    keyedClass(engine, QStringLiteral("VT.ParKundenGruppen"), QStringLiteral("vt_parkundengruppen"),
               {QStringLiteral("FIRMA"), QStringLiteral("CODE"), QStringLiteral("BEZ")},
               {QStringLiteral("FIRMA"), QStringLiteral("CODE")})
        .queries.insert(QStringLiteral("Liste"), [](CallContext& ctx, const QStringList& a) {
            return codeRows(ctx,
                            QStringLiteral("SELECT CODE, BEZ FROM vt_parkundengruppen WHERE "
                                           "FIRMA=? ORDER BY CODE"),
                            {a.value(0)});
        });

    // Account groups of suppliers (ART "L") and customers ("K"): id
    // FIRMA||ART||CODE; query "Liste"(company, kind): code, text.
    keyedClass(engine, QStringLiteral("VT.KontoSammelKontoKreis"),
               QStringLiteral("vt_kontosammelkontokreis"),
               {QStringLiteral("FIRMA"), QStringLiteral("ART"), QStringLiteral("CODE"),
                QStringLiteral("BEZ")},
               {QStringLiteral("FIRMA"), QStringLiteral("ART"), QStringLiteral("CODE")})
        .queries.insert(QStringLiteral("Liste"), [](CallContext& ctx, const QStringList& a) {
            return codeRows(ctx,
                            QStringLiteral("SELECT CODE, BEZ FROM vt_kontosammelkontokreis WHERE "
                                           "FIRMA=? AND ART=? ORDER BY CODE"),
                            {a.value(0), a.value(1)});
        });

    // VT.Windows "KkrSuche"(company, "L", name part, account group) and
    // (company, "K", name part, customer group, post code): suppliers or
    // customers whose name contains the part (as search keys), by number.
    ClassDef& windows = engine.extendClass(QStringLiteral("VT.Windows"));
    windows.queries.insert(QStringLiteral("KkrSuche"), [](CallContext& ctx, const QStringList& a) {
        QList<QStringList> rows;
        if (a.value(1) == u"L")
            rows = partnerRows(
                ctx.engine,
                QStringLiteral("SELECT LNR, NAME, PLZ, ORT FROM vt_lieferant WHERE FIRMA=? AND "
                               "(KTOKREIS=? OR ?='') ORDER BY CAST(LNR AS INTEGER), LNR"),
                {a.value(0), a.value(3), a.value(3)}, a.value(2));
        else if (a.value(1) == u"K")
            rows = partnerRows(
                ctx.engine,
                QStringLiteral("SELECT KNR, NAME, PLZ, ORT FROM vt_kunde WHERE FIRMA=? AND "
                               "(?='' OR substr(KGRP,1,2)=?) AND substr(PLZ,1,length(?))=? "
                               "ORDER BY CAST(KNR AS INTEGER), KNR"),
                {a.value(0), a.value(3).left(2), a.value(3).left(2), a.value(4), a.value(4)},
                a.value(2));
        return std::make_unique<ListCursor>(5, rows);
    });
}
