#pragma once

// The staging area's classes around the positions: the downloads, the
// supplier defaults, the manufacturer-to-supplier table and a download's
// purchase discount groups.

#include "common/erp/ErpName.h"

namespace erp {

// quendrap.downloads: one record per supplier price delivery.
struct Downloads {
    static constexpr Name kClass = u"quendrap.downloads";

    // dellief(key): removes a download with its positions and groups;
    // lname(company, supplier): the supplier's name; geteinh(company): the
    // unit assignments of the import.
    static constexpr Name kDellief = u"dellief";
    static constexpr Name kLname = u"lname";
    static constexpr Name kGeteinh = u"geteinh";
    static constexpr Name kClassMethods[] = {kDellief, kLname, kGeteinh};

    // What a new download records, and the positions a re-import removed.
    static constexpr Name kFirma = u"Firma";
    static constexpr Name kDatum = u"Datum";
    static constexpr Name kPCODE = u"PCODE";
    static constexpr Name kLNR = u"LNR";
    static constexpr Name kStatus = u"Status";
    static constexpr Name kGeloescht = u"Geloescht";
    static constexpr Name kProperties[] = {kFirma, kDatum, kPCODE, kLNR, kStatus, kGeloescht};

    // liste(company): the company's downloads in the order of their keys.
    static constexpr Name kListeColumns[] = {u"id",   u"Datum",  u"PCODE",     u"LNR",
                                             u"Name", u"Status", u"Positionen"};
    static constexpr Query kListe{u"liste", kListeColumns};
    static constexpr Query kQueries[] = {kListe};
};

// quendrap.defaults: a supplier's defaults for new positions (id
// company||supplier).
struct Defaults {
    static constexpr Name kClass = u"quendrap.defaults";

    static constexpr Name kFIRMA = u"FIRMA";
    static constexpr Name kLNR = u"LNR";
    static constexpr Name kWarengruppe = u"Warengruppe";
    static constexpr Name kAufschlag = u"Aufschlag";
    static constexpr Name kRundung = u"Rundung";
    static constexpr Name kFreigabe = u"Freigabe";
    static constexpr Name kProperties[] = {kFIRMA,     kLNR,     kWarengruppe,
                                           kAufschlag, kRundung, kFreigabe};
};

// quendrap.liefid: which supplier a manufacturer code stands for.
struct Liefid {
    static constexpr Name kClass = u"quendrap.liefid";

    // getlnr(company, manufacturer code): the supplier number, "" for none.
    static constexpr Name kGetlnr = u"getlnr";
    static constexpr Name kClassMethods[] = {kGetlnr};
};

// quendrap.ekgrp: the purchase discount groups of a download.
struct Ekgrp {
    static constexpr Name kClass = u"quendrap.ekgrp";

    // speich(...): stores a group as edited; tstdatum(...): whether the
    // ERP holds it so; verbuch(...): posts the groups into the ERP.
    static constexpr Name kSpeich = u"speich";
    static constexpr Name kTstdatum = u"tstdatum";
    static constexpr Name kVerbuch = u"verbuch";
    static constexpr Name kClassMethods[] = {kSpeich, kTstdatum, kVerbuch};

    // Liste(download): one row per supplier group. "Datum" is "00:00:00"
    // for a group without a date; "Abweichung" "0" when the ERP holds the
    // group exactly so, else "1".
    static constexpr Name kListeColumns[] = {u"id",      u"RabattGR", u"ERPGR",     u"BEZ",
                                             u"Artikel", u"Datum",    u"Rabatt1",   u"Rabatt2",
                                             u"Rabatt3", u"Rabatt4",  u"Abweichung"};
    static constexpr Query kListe{u"Liste", kListeColumns};
    static constexpr Query kQueries[] = {kListe};
};

} // namespace erp
