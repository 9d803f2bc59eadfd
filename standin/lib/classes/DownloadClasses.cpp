// Supplier downloads (one imported price file each), their staging
// positions and the download's purchase discount groups.
#include "ErpPositions.h"
#include "Job.h"
#include "Rights.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/ServerError.h"

#include <QSqlQuery>

const QStringList& PositionProperties() {
    // The supplier's price line, the assignment and status, the flag
    // savezeile was given, then the fields of the positions grid.
    static const QStringList p = [] {
        QStringList l{
            QStringLiteral("DLID"),     QStringLiteral("HerstCode"),   QStringLiteral("EAN"),
            QStringLiteral("BestNr"),   QStringLiteral("Bezeichnung"), QStringLiteral("VE"),
            QStringLiteral("VP"),       QStringLiteral("UEE"),         QStringLiteral("Menge"),
            QStringLiteral("MengeUEE"), QStringLiteral("Datum"),       QStringLiteral("Preis"),
            QStringLiteral("PreisEHT"), QStringLiteral("RabattGR"),    QStringLiteral("Klasse"),
            QStringLiteral("ARTNR"),    QStringLiteral("Status"),      QStringLiteral("Kennz")};
        l << PositionGridProperties();
        return l;
    }();
    return p;
}

namespace {

// Downloads of a company in ascending order of key. Columns: 1 key,
// 2 date, 3 user code, 4 supplier number, 5 supplier name, 6 status,
// 7 number of positions.
std::unique_ptr<QueryCursor> downloadListQuery(CallContext& ctx, const QStringList& args) {
    return std::make_unique<SqlCursor>(
        ctx.engine,
        QStringLiteral("SELECT d.id, d.Datum, d.PCODE, d.LNR, COALESCE(l.NAME, ''), d.Status, "
                       "(SELECT count(*) FROM quendrap_pos p WHERE p.DLID = d.id) "
                       "FROM quendrap_downloads d LEFT JOIN vt_lieferant l "
                       "ON l.FIRMA = d.Firma AND l.LNR = d.LNR "
                       "WHERE d.Firma = ? ORDER BY CAST(d.id AS INTEGER), d.id"),
        QVariantList{args.value(0)}, erp::Downloads::kListe.columnCount());
}

// Removes a download with its positions and discount groups.
QString dellief(CallContext& ctx, QStringList& args) {
    const QString key = args.value(0);
    StandinEngine& e = ctx.engine;
    // Only a download there is, and of the connection's company: one of
    // another company is not there for it.
    if (!OwnDownload(ctx.job, key))
        ObjectNotFound(erp::Downloads::kClass, key);
    StandinTransaction t(e);
    e.exec(QStringLiteral("DELETE FROM quendrap_pos WHERE DLID=?"), {key});
    e.exec(QStringLiteral("DELETE FROM quendrap_ekgrp WHERE DLID=?"), {key});
    e.exec(QStringLiteral("DELETE FROM quendrap_downloads WHERE id=?"), {key});
    t.commit();
    e.downloadRemoved();
    return QStringLiteral("1");
}

} // namespace

void RegisterDownloadClasses(StandinRegistry& registry) {
    // Suppliers of the ERP: id FIRMA||LNR, name and place in the 7-bit form,
    // PLZ the post code, KTOKREIS the account group.
    const QStringList supplierProperties{QStringLiteral("FIRMA"),    QStringLiteral("LNR"),
                                         QStringLiteral("NAME"),     QStringLiteral("ORT"),
                                         QStringLiteral("KTOKREIS"), QStringLiteral("PLZ")};
    registry
        .defineClass(erp::Data::kLieferant, QStringLiteral("vt_lieferant"), supplierProperties,
                     false)
        .idOf = [](const StoredObject& o) {
        return o.values.value(QStringLiteral("FIRMA")) + QStringLiteral("||") +
               o.values.value(QStringLiteral("LNR"));
    };
    AddMissingColumns(registry.store(), QStringLiteral("vt_lieferant"), supplierProperties);

    ClassDef& downloads =
        registry.defineClass(erp::Downloads::kClass, QStringLiteral("quendrap_downloads"),
                             erp::ToStringList(erp::Downloads::kProperties));
    // "Geloescht": how many articles the supplier's delivery reported deleted
    // (a database of an earlier version gets the column).
    AddMissingColumns(registry.store(), QStringLiteral("quendrap_downloads"), downloads.properties);
    // The import makes new downloads; a stored one is not changed over the
    // wire (dellief removes it). Rights.h.
    downloads.writes = {true, downloads.properties, {}};
    registry.store().execScript(
        {QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_downloads_firma ON "
                        "quendrap_downloads(Firma)")});

    AddQuery(downloads, erp::Downloads::kListe, downloadListQuery);

    downloads.classMethods.insert(erp::Downloads::kDellief, dellief);

    // A position and a discount group belong to the company of their
    // download.
    const auto downloadCompany = [](StandinEngine& e, const StoredObject& o) {
        return DownloadCompany(e, o.values.value(QStringLiteral("DLID")));
    };
    ClassDef& pos = registry.defineClass(erp::Pos::kClass, QStringLiteral("quendrap_pos"),
                                         PositionProperties());
    pos.companyOf = downloadCompany;
    // Positions arrive by the hundred thousand: their ids come from blocks.
    pos.idBlock = 1000;
    // The positions grid writes a position's grid fields back; positions
    // are made by savezeile (Rights.h).
    pos.writes.whenOpened = PositionGridProperties();
    AddMissingColumns(registry.store(), QStringLiteral("quendrap_pos"), PositionProperties());
    // A download's positions in position order.
    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_pos_order ON "
                                                "quendrap_pos(DLID, CAST(id AS INTEGER))")});

    // The discount groups of a download, one per supplier group: the ERP
    // group it maps to (ERPGR), its description (7-bit), valid from Datum,
    // up to four rates.
    const QStringList groupProperties{
        QStringLiteral("DLID"),     QStringLiteral("FIRMA"),   QStringLiteral("LNR"),
        QStringLiteral("RabattGR"), QStringLiteral("Rabatt1"), QStringLiteral("Rabatt2"),
        QStringLiteral("Datum"),    QStringLiteral("Status"),  QStringLiteral("ERPGR"),
        QStringLiteral("BEZ"),      QStringLiteral("Rabatt3"), QStringLiteral("Rabatt4")};
    registry.defineClass(erp::Ekgrp::kClass, QStringLiteral("quendrap_ekgrp"), groupProperties)
        .companyOf = downloadCompany;
    AddMissingColumns(registry.store(), QStringLiteral("quendrap_ekgrp"), groupProperties);
    registry.store().execScript(
        {QStringLiteral("CREATE INDEX IF NOT EXISTS quendrap_ekgrp_dlid ON quendrap_ekgrp(DLID)")});
}
