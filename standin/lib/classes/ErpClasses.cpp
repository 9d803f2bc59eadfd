// The ERP's master data behind the staging positions: articles, purchase
// conditions, sales prices, the suppliers' purchase discount groups and the
// code lists of the positions grid. Texts are kept in the ERP's 7-bit form,
// numbers canonical ("12.5"), dates as "dd.mm.yyyy".
#include "ErpPositions.h"
#include "StandinClasses.h"
#include "StandinEngine.h"

namespace {

// A stored class whose id is its key properties joined by "||".
void keyedClass(StandinRegistry& registry, const QString& name, const QString& table,
                const QStringList& properties, const QStringList& keyProperties) {
    ClassDef& cls = registry.defineClass(name, table, properties, false);
    cls.idOf = [keyProperties](const StoredObject& o) {
        QStringList parts;
        for (const QString& p : keyProperties)
            parts << o.values.value(p);
        return parts.join(QStringLiteral("||"));
    };
    AddMissingColumns(registry.store(), table, properties);
}

QStringList names(std::initializer_list<const char16_t*> list) {
    QStringList out;
    for (const char16_t* n : list)
        out << QString::fromUtf16(n);
    return out;
}

// The code lists of the positions grid: id FIRMA||CODE.
void registerCodeLists(StandinRegistry& registry) {
    const QString firma = QStringLiteral("FIRMA");
    const QString code = QStringLiteral("CODE");
    keyedClass(registry, erp::Data::kParArtTyp, QStringLiteral("vt_parartyp"),
               {firma, code, QStringLiteral("BEZ")}, {firma, code});
    keyedClass(
        registry, erp::Data::kParWarengruppe, QStringLiteral("vt_parwarengruppe"),
        {firma, code, QStringLiteral("BEZ"), QStringLiteral("ABTNR"), QStringLiteral("MWST")},
        {firma, code});
    keyedClass(registry, erp::Data::kParAbteilung, QStringLiteral("vt_parabteilung"),
               {firma, code, QStringLiteral("BEZ")}, {firma, code});
    keyedClass(registry, erp::Data::kParEinheit, QStringLiteral("vt_pareinheit"),
               {firma, code, QStringLiteral("BEZ")}, {firma, code});
    keyedClass(registry, erp::Data::kParMwst, QStringLiteral("vt_parmwst"),
               {firma, code, QStringLiteral("SATZ")}, {firma, code});
    keyedClass(registry, erp::Data::kParArtCode, QStringLiteral("vt_parartcode"),
               {firma, code, QStringLiteral("BEZ")}, {firma, code});
}

} // namespace

void RegisterErpDataClasses(StandinRegistry& registry) {
    const QString firma = QStringLiteral("FIRMA");

    // Articles of a company: id FIRMA||ARTNR. LNR is the supplier, BESTNR
    // and EAN the order number and order EAN, BEZ to BEZ3 the descriptions,
    // the units VKE/VPE/VRE/EBE ERP unit codes, MWST a VAT code; AKTIV and
    // FREIGABE "J"/"N". Pallet articles have ATYP "P". DLID and PCODE name
    // the download and the user of the posting that last wrote the record
    // (also on conditions, sales prices and discount groups).
    keyedClass(registry, erp::Data::kArtikel, QStringLiteral("vt_artikel"),
               names({u"FIRMA", u"ARTNR", u"LNR",   u"EAN",      u"BESTNR", u"BEZ",    u"BEZ2",
                      u"BEZ3",  u"ATYP",  u"WARGR", u"ABTNR",    u"VKE",    u"VPE",    u"VPI",
                      u"VRE",   u"VRM",   u"VPM",   u"EBE",      u"MWST",   u"PALART", u"PALJE",
                      u"PALAB", u"ACOD",  u"AKTIV", u"FREIGABE", u"DLID",   u"PCODE"}),
               {firma, QStringLiteral("ARTNR")});
    registry.store().execScript(
        {QStringLiteral("CREATE INDEX IF NOT EXISTS vt_artikel_ean ON vt_artikel(FIRMA, LNR, EAN)"),
         QStringLiteral(
             "CREATE INDEX IF NOT EXISTS vt_artikel_bestnr ON vt_artikel(FIRMA, LNR, BESTNR)"),
         QStringLiteral(
             "CREATE INDEX IF NOT EXISTS vt_artikel_lnr ON vt_artikel(FIRMA, LNR, ARTNR)"),
         QStringLiteral(
             "CREATE INDEX IF NOT EXISTS vt_artikel_atyp ON vt_artikel(FIRMA, ATYP, ARTNR)")});

    // Purchase conditions of a supplier for an article, valid from DATUM:
    // id FIRMA||LNR||ARTNR||DATUM. RABTYP "N" (net price) or "%" (discounts
    // RAB1 to RAB4 on BRUTTO); EKGRP the ERP discount group; ERE/EPM/EVM
    // invoicing unit, price quantity and quantity factor; HLIEF "J" for the
    // main supplier. FREIGABE "N" until the prices are released (empty: an
    // older record, released).
    keyedClass(registry, erp::Data::kArtEK, QStringLiteral("vt_artek"),
               names({u"FIRMA",   u"LNR",      u"ARTNR", u"DATUM", u"BRUTTO", u"EKGRP",
                      u"RABTYP",  u"RAB1",     u"RAB2",  u"RAB3",  u"RAB4",   u"NETTO",
                      u"NEBKOST", u"FAKTOR",   u"ERE",   u"EPM",   u"EVM",    u"MIBEME",
                      u"HLIEF",   u"FREIGABE", u"DLID",  u"PCODE"}),
               names({u"FIRMA", u"LNR", u"ARTNR", u"DATUM"}));
    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS vt_artek_art ON "
                                                "vt_artek(FIRMA, LNR, ARTNR, ") +
                                 DateOrderSql(QStringLiteral("DATUM")) + u')'});

    // Sales prices of an article, valid from DATUM: id FIRMA||ARTNR||DATUM.
    keyedClass(registry, erp::Data::kArtVK, QStringLiteral("vt_artvk"),
               names({u"FIRMA", u"ARTNR", u"DATUM", u"KFSOLL", u"VKEXCL", u"VKINCL", u"FREIGABE",
                      u"DLID", u"PCODE"}),
               names({u"FIRMA", u"ARTNR", u"DATUM"}));
    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS vt_artvk_art ON "
                                                "vt_artvk(FIRMA, ARTNR, ") +
                                 DateOrderSql(QStringLiteral("DATUM")) + u')'});

    // The ERP's purchase discount groups of a supplier, valid from DATUM:
    // id FIRMA||LNR||CODE||DATUM, up to four rates. A record with FREIGABE
    // "N" is stored but not in force (empty: an older record, in force).
    keyedClass(registry, erp::Data::kEKRabGr, QStringLiteral("vt_ekrabgr"),
               names({u"FIRMA", u"LNR", u"CODE", u"DATUM", u"BEZ", u"RAB1", u"RAB2", u"RAB3",
                      u"RAB4", u"FREIGABE", u"DLID", u"PCODE"}),
               names({u"FIRMA", u"LNR", u"CODE", u"DATUM"}));
    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS vt_ekrabgr_code ON "
                                                "vt_ekrabgr(FIRMA, LNR, CODE, ") +
                                 DateOrderSql(QStringLiteral("DATUM")) + u')'});

    // Number ranges of a company: id FIRMA||ART (the kind, "ARTNR" for
    // articles). The next number is LETZTE + 1, at least VON, at most BIS.
    keyedClass(registry, erp::Data::kParNrKreis, QStringLiteral("vt_parnrkreis"),
               names({u"FIRMA", u"ART", u"VON", u"BIS", u"LETZTE"}), names({u"FIRMA", u"ART"}));
    registerCodeLists(registry);
}
