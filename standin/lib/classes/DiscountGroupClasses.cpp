// The discount groups of a download (quendrap.ekgrp) as the discount group
// window shows and edits them, and their posting into the ERP's purchase
// discount groups (VT.EKRabGr), which releases them to the download's
// positions.
#include "ErpPositions.h"
#include "Job.h"
#include "Rights.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"

#include <QSqlQuery>

namespace {

QString key(const QStringList& values) {
    return values.join(QStringLiteral("||"));
}

// yyyymmdd of a "dd.mm.yyyy" date.
QString dayOf(const QString& date) {
    return date.mid(6, 4) + date.mid(3, 2) + date.left(2);
}

// A rate as the ERP keeps it, to two decimals as the grid's discounts; an
// empty rate stays empty.
QString rate(const QString& text) {
    return text.trimmed().isEmpty() ? QString() : ErpNumber(ErpValue(text), 2);
}

struct Group {
    QString id, dlid, code, erpgr, bez, datum;
    QStringList rates;
};

const QString kGroupColumns = QStringLiteral("id, DLID, RabattGR, ERPGR, BEZ, Datum, Rabatt1, "
                                             "Rabatt2, Rabatt3, Rabatt4 FROM quendrap_ekgrp");

Group groupOf(QSqlQuery& q) {
    Group g;
    g.id = q.value(0).toString();
    g.dlid = q.value(1).toString();
    g.code = q.value(2).toString();
    g.erpgr = q.value(3).toString();
    g.bez = q.value(4).toString();
    g.datum = q.value(5).toString();
    for (int i = 6; i < 10; ++i)
        g.rates << q.value(i).toString();
    return g;
}

Group loadGroup(StandinEngine& e, const QString& id) {
    QSqlQuery& q =
        e.exec(QStringLiteral("SELECT ") + kGroupColumns + QStringLiteral(" WHERE id=?"), {id});
    const bool found = StandinStore::nextRow(q);
    const Group g = found ? groupOf(q) : Group();
    q.finish();
    if (!found)
        ObjectNotFound(erp::Ekgrp::kClass, id);
    return g;
}

// The groups of a download by supplier group.
QList<Group> groupsOf(StandinEngine& e, const QString& dlid) {
    QSqlQuery& q =
        e.exec(QStringLiteral("SELECT ") + kGroupColumns +
                   QStringLiteral(" WHERE DLID=? ORDER BY RabattGR, CAST(id AS INTEGER)"),
               {dlid});
    QList<Group> out;
    while (StandinStore::nextRow(q))
        out << groupOf(q);
    q.finish();
    return out;
}

// Company and supplier of a download; empty when it is unknown or of
// another company than the login's.
QStringList downloadOf(CallContext& ctx, const QString& dlid) {
    const QString v = ctx.engine.textValue(
        QStringLiteral("SELECT Firma||'|'||LNR FROM quendrap_downloads WHERE id=?"), {dlid});
    const QStringList dl{v.section(u'|', 0, 0), v.section(u'|', 1)};
    return v.isEmpty() || dl[0] != ctx.job.company() ? QStringList() : dl;
}

QStringList knownDownload(CallContext& ctx, const QString& dlid) {
    const QStringList dl = downloadOf(ctx, dlid);
    if (dl.isEmpty())
        ObjectNotFound(erp::Downloads::kClass, dlid);
    return dl;
}

// A group of a download of the login's company; another company's is not
// there.
Group ownGroup(CallContext& ctx, const QString& id) {
    const Group g = loadGroup(ctx.engine, id);
    if (downloadOf(ctx, g.dlid).isEmpty())
        ObjectNotFound(erp::Ekgrp::kClass, id);
    return g;
}

// The first article of a group: the ERP article of the download's first
// position of the group that has one, else the first position's order
// number.
QString firstArticle(StandinEngine& e, const Group& g) {
    const QString article =
        e.textValue(QStringLiteral("SELECT ARTNR FROM quendrap_pos WHERE DLID=? AND RabattGR=? "
                                   "AND ARTNR<>'' ORDER BY CAST(id AS INTEGER) LIMIT 1"),
                    {g.dlid, g.code});
    if (!article.isEmpty())
        return article;
    return e.textValue(QStringLiteral("SELECT BestNr FROM quendrap_pos WHERE DLID=? AND "
                                      "RabattGR=? ORDER BY CAST(id AS INTEGER) LIMIT 1"),
                       {g.dlid, g.code});
}

QString counted(int n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

} // namespace

bool StoreDiscountGroup(StandinEngine& engine, const QString& id, const QString& erpgr,
                        const QString& bez, const QString& date, const QStringList& rates) {
    if (engine.textValue(QStringLiteral("SELECT 1 FROM quendrap_ekgrp WHERE id=?"), {id}).isEmpty())
        return false;
    engine.execText(QStringLiteral("UPDATE quendrap_ekgrp SET ERPGR=?, BEZ=?, Datum=?, Rabatt1=?, "
                                   "Rabatt2=?, Rabatt3=?, Rabatt4=? WHERE id=?"),
                    {erpgr.trimmed(), ConvertText(bez, QStringLiteral("GUIVELTAR"), false),
                     ErpDate(date), rate(rates.value(0)), rate(rates.value(1)),
                     rate(rates.value(2)), rate(rates.value(3)), id});
    return true;
}

namespace {

// Liste(download): one row per group by supplier group. Columns: 1 id,
// 2 supplier group, 3 ERP group, 4 description, 5 first article, 6 valid
// from ("00:00:00" when the group has no date), 7-10 the rates, 11 "0"
// when the ERP holds the group exactly so, else "1".
std::unique_ptr<QueryCursor> groupListQuery(CallContext& ctx, const QStringList& a) {
    StandinEngine& e = ctx.engine;
    const QStringList dl = downloadOf(ctx, a.value(0));
    QList<QStringList> rows;
    if (!dl.isEmpty())
        for (const Group& g : groupsOf(e, a.value(0))) {
            QStringList row{g.id,
                            g.code,
                            g.erpgr,
                            ConvertText(g.bez, QStringLiteral("VELTAR"), false),
                            firstArticle(e, g),
                            g.datum.isEmpty() ? QStringLiteral("00:00:00") : g.datum};
            row << g.rates;
            row << (DiscountGroupInErp(e, dl[0], dl[1], g.erpgr, g.datum, g.rates)
                        ? QStringLiteral("0")
                        : QStringLiteral("1"));
            rows << row;
        }
    return std::make_unique<ListCursor>(erp::Ekgrp::kListe.columnCount(), rows);
}

// speich(id, ERP group, description, valid from, rate 1 to 4): stores
// them; a text that is no date leaves the group without one.
QString speich(CallContext& ctx, QStringList& a) {
    ownGroup(ctx, a.value(0));
    const QStringList properties{QStringLiteral("ERPGR"),   QStringLiteral("BEZ"),
                                 QStringLiteral("Datum"),   QStringLiteral("Rabatt1"),
                                 QStringLiteral("Rabatt2"), QStringLiteral("Rabatt3"),
                                 QStringLiteral("Rabatt4")};
    for (int i = 0; i < properties.size(); ++i)
        CheckLength(erp::Ekgrp::kClass, properties[i], a.value(i + 1));
    if (!StoreDiscountGroup(ctx.engine, a.value(0), a.value(1), a.value(2), a.value(3),
                            a.mid(4, 4)))
        ObjectNotFound(erp::Ekgrp::kClass, a.value(0));
    return QStringLiteral("1");
}

// tstdatum(id, download, date): "1" when the group may take the date:
// a valid date that the ERP group does not have yet and that is not
// before the group's current validity; else "0".
QString tstdatum(CallContext& ctx, QStringList& a) {
    StandinEngine& e = ctx.engine;
    const Group g = ownGroup(ctx, a.value(0));
    if (g.dlid != a.value(1))
        throw ServerError(StandinErrors::ObjectMissing, QStringLiteral("Objekt nicht gefunden: ") +
                                                            erp::Ekgrp::kClass.toString() + u' ' +
                                                            g.id + QStringLiteral(" in Download ") +
                                                            a.value(1));
    const QString date = ErpDate(a.value(2));
    if (date.isEmpty())
        return QStringLiteral("0");
    const QStringList dl = downloadOf(ctx, g.dlid);
    if (dl.isEmpty() || g.erpgr.isEmpty())
        return QStringLiteral("1");
    // Taken: a record of that date, released or not.
    if (!e.textValue(QStringLiteral("SELECT 1 FROM vt_ekrabgr WHERE id=?"),
                     {key({dl[0], dl[1], g.erpgr, date})})
             .isEmpty())
        return QStringLiteral("0");
    const QString order = DateOrderSql(QStringLiteral("DATUM"));
    const QString current =
        e.textValue(QStringLiteral("SELECT ") + order +
                        QStringLiteral(" FROM vt_ekrabgr WHERE FIRMA=? AND LNR=? AND CODE=? "
                                       "AND FREIGABE<>'N' ORDER BY ") +
                        order + QStringLiteral(" DESC LIMIT 1"),
                    {dl[0], dl[1], g.erpgr});
    return !current.isEmpty() && dayOf(date) < current ? QStringLiteral("0") : QStringLiteral("1");
}

// verbuch(download, user, release "J"/"N"): every group of the download
// with a date and an ERP group becomes the ERP group's record of that
// date (FREIGABE the flag); released, the download's positions of the
// supplier group take its discounts. A short summary of what was posted.
QString verbuch(CallContext& ctx, QStringList& a) {
    StandinEngine& e = ctx.engine;
    // The records are stamped with the user of the login (argument 2
    // names it, or the call is refused: Rights.h).
    const QString dlid = a.value(0), pcode = ctx.job.userCode();
    const bool release = a.value(2) == u"J";
    const QStringList dl = knownDownload(ctx, dlid);
    StandinTransaction t(e);
    QHash<QString, QStringList> cache;
    PositionFiller filler(e, cache);
    int posted = 0, withoutDate = 0, withoutGroup = 0;
    for (const Group& g : groupsOf(e, dlid)) {
        if (g.datum.isEmpty()) {
            ++withoutDate;
            continue;
        }
        if (g.erpgr.isEmpty()) {
            ++withoutGroup;
            continue;
        }
        QList<std::pair<QString, QString>> fields{{QStringLiteral("BEZ"), g.bez}};
        QStringList rates;
        for (int i = 0; i < 4; ++i) {
            // The rate as stored (canonical), every decimal kept.
            const QString rate = g.rates.value(i).trimmed();
            rates << (rate.isEmpty() ? QStringLiteral("0") : rate);
            fields << std::pair{QStringLiteral("RAB%1").arg(i + 1), rates.last()};
        }
        // A group the ERP holds as it is (released, the same rates
        // however written) is left alone: posting it again, released or
        // not, changes nothing.
        const bool inErp = DiscountGroupInErp(e, dl[0], dl[1], g.erpgr, g.datum, rates);
        // Released, the record is in force (an empty FREIGABE is).
        // Unreleased, a new or changed record waits for its release; a
        // record that already holds the group as it is stays in force.
        const std::pair freigabe{QStringLiteral("FREIGABE"),
                                 release ? QStringLiteral("J") : QStringLiteral("N")};
        const QString id = key({dl[0], dl[1], g.erpgr, g.datum});
        bool created = false;
        const QStringList written = inErp ? QStringList()
                                          : WriteErpRecord(e, erp::Data::kEKRabGr, id, fields,
                                                           {{QStringLiteral("FIRMA"), dl[0]},
                                                            {QStringLiteral("LNR"), dl[1]},
                                                            {QStringLiteral("CODE"), g.erpgr},
                                                            {QStringLiteral("DATUM"), g.datum},
                                                            freigabe},
                                                           dlid, pcode, &created);
        const bool open =
            e.textValue(QStringLiteral("SELECT FREIGABE FROM vt_ekrabgr WHERE id=?"), {id}) == u"N";
        if (release ? open : !created && !written.isEmpty() && !open)
            WriteErpRecord(e, erp::Data::kEKRabGr, id, {freigabe}, {}, dlid, pcode);
        ++posted;
        if (!release)
            continue;
        QSqlQuery& q = e.exec(QStringLiteral("SELECT id FROM quendrap_pos WHERE DLID=? AND "
                                             "RabattGR=? ORDER BY CAST(id AS INTEGER)"),
                              {dlid, g.code});
        QStringList positions;
        while (StandinStore::nextRow(q))
            positions << q.value(0).toString();
        q.finish();
        for (const QString& position : positions)
            filler.applyDiscountGroup(position, dl[0], dl[1], g.erpgr, rates);
    }
    t.commit();
    QStringList summary{counted(posted, QStringLiteral("Rabattgruppe verbucht"),
                                QStringLiteral("Rabattgruppen verbucht"))};
    if (withoutDate > 0)
        summary << QString::number(withoutDate) + QStringLiteral(" ohne Datum");
    if (withoutGroup > 0)
        summary << QString::number(withoutGroup) + QStringLiteral(" ohne ERP-Gruppe");
    return summary.join(QStringLiteral(", "));
}

} // namespace

void RegisterDiscountGroupClasses(StandinRegistry& registry) {
    // The positions of a download by supplier group, in position order.
    registry.store().execScript(
        {QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_pos_group ON "
                        "quendrap_pos(DLID, RabattGR, CAST(id AS INTEGER))")});

    ClassDef& ekgrp = registry.extendClass(erp::Ekgrp::kClass);
    ekgrp.readOnlyClassMethods << erp::Ekgrp::kTstdatum;

    AddQuery(ekgrp, erp::Ekgrp::kListe, groupListQuery);

    ekgrp.classMethods.insert({
        {erp::Ekgrp::kSpeich, speich},
        {erp::Ekgrp::kTstdatum, tstdatum},
        {erp::Ekgrp::kVerbuch, verbuch},
    });
}
