#pragma once

// quendrap.pos: the positions of the downloads in the staging area, and
// the columns of its query "pos".

#include "common/erp/ErpName.h"

#include <array>
#include <utility>

namespace erp {

// The columns of the query "pos" (1-based), by the position property each
// one shows.
namespace PosQuery {
enum Column : int {
    Id = 1,
    BestNr,
    Bezeichnung,
    Datum,
    Preis,
    PreisEHT,
    VE,
    ARTNR,
    Bez1,
    Bez2,
    Bez3,
    Epmvt,
    Erevt,
    Deviation,
    Atyp,
    Wargr,
    ABTNR,
    Vke,
    Vpe,
    Vpi,
    Vre,
    Vrm,
    Vpm,
    Mcproz,
    Palart,
    Palje,
    Palab,
    Bestnrvt,
    Eanvt,
    Ebe,
    Hlief,
    Faktor,
    Brutto,
    EAN,
    HerstCode,
    Evm,
    Mibeme,
    Ekgrp,
    Ekdat,
    Rabtyp,
    Rab1,
    Rab2,
    Rab3,
    Rab4,
    Netto,
    Nebkost,
    Vkrabgr,
    Vkdat,
    Kfsoll,
    Vkexcl,
    Vkincl,
    Spanne,
    Acod,
    Status,
    Klasse,
};
constexpr int kColumns = Klasse;

// Each column with the property it shows. The deviation has none: the
// server works it out per row from the price and the ERP's condition.
struct ColumnName {
    Column column;
    Name name;
};
inline constexpr ColumnName kNames[] = {
    {Id, u"id"},
    {BestNr, u"BestNr"},
    {Bezeichnung, u"Bezeichnung"},
    {Datum, u"Datum"},
    {Preis, u"Preis"},
    {PreisEHT, u"PreisEHT"},
    {VE, u"VE"},
    {ARTNR, u"ARTNR"},
    {Bez1, u"Bez1"},
    {Bez2, u"bez2"},
    {Bez3, u"bez3"},
    {Epmvt, u"epmvt"},
    {Erevt, u"erevt"},
    {Deviation, u""},
    {Atyp, u"atyp"},
    {Wargr, u"wargr"},
    {ABTNR, u"ABTNR"},
    {Vke, u"vke"},
    {Vpe, u"vpe"},
    {Vpi, u"vpi"},
    {Vre, u"vre"},
    {Vrm, u"vrm"},
    {Vpm, u"vpm"},
    {Mcproz, u"mcproz"},
    {Palart, u"palart"},
    {Palje, u"palje"},
    {Palab, u"palab"},
    {Bestnrvt, u"bestnrvt"},
    {Eanvt, u"eanvt"},
    {Ebe, u"ebe"},
    {Hlief, u"hlief"},
    {Faktor, u"faktor"},
    {Brutto, u"brutto"},
    {EAN, u"EAN"},
    {HerstCode, u"HerstCode"},
    {Evm, u"evm"},
    {Mibeme, u"mibeme"},
    {Ekgrp, u"ekgrp"},
    {Ekdat, u"ekdat"},
    {Rabtyp, u"rabtyp"},
    {Rab1, u"rab1"},
    {Rab2, u"rab2"},
    {Rab3, u"rab3"},
    {Rab4, u"rab4"},
    {Netto, u"netto"},
    {Nebkost, u"nebkost"},
    {Vkrabgr, u"vkrabgr"},
    {Vkdat, u"vkdat"},
    {Kfsoll, u"kfsoll"},
    {Vkexcl, u"vkexcl"},
    {Vkincl, u"vkincl"},
    {Spanne, u"spanne"},
    {Acod, u"acod"},
    {Status, u"Status"},
    {Klasse, u"Klasse"},
};

constexpr bool NamesInColumnOrder() {
    int expected = 1;
    for (const ColumnName& c : kNames)
        if (c.column != expected++)
            return false;
    return expected - 1 == kColumns;
}
static_assert(NamesInColumnOrder(), "one name per column of \"pos\", in column order");

template <std::size_t... I>
constexpr std::array<Name, sizeof...(I)> ColumnNames(std::index_sequence<I...>) {
    return {kNames[I].name...};
}
// The names alone, in column order.
inline constexpr std::array<Name, kColumns> kColumnNames =
    ColumnNames(std::make_index_sequence<kColumns>());
} // namespace PosQuery

struct Pos {
    static constexpr Name kClass = u"quendrap.pos";

    // Class methods, with their arguments in the server's order (see
    // server/PosClass.h for the program's side).
    static constexpr Name kSavezeile = u"savezeile";
    static constexpr Name kSetliefid = u"setliefid";
    static constexpr Name kGetlieferart = u"getlieferart";
    static constexpr Name kAnrzuord = u"anrzuord";
    static constexpr Name kVerbuch = u"verbuch";
    static constexpr Name kGetposvt = u"getposvt";
    static constexpr Name kGetekdat1 = u"getekdat1";
    static constexpr Name kGetvkdat1 = u"getvkdat1";
    static constexpr Name kGetekdat = u"getekdat";
    static constexpr Name kGetvkdat = u"getvkdat";
    static constexpr Name kGetwgdaten = u"getwgdaten";
    static constexpr Name kGetcombo = u"getcombo";
    static constexpr Name kGeteanbez = u"geteanbez";
    static constexpr Name kSetEan = u"SetEan";
    static constexpr Name kQuendraGetComp = u"QuendraGetComp";
    static constexpr Name kQuendraGetCountry = u"QuendraGetCountry";
    static constexpr Name kClassMethods[] = {
        kSavezeile, kSetliefid, kGetlieferart,   kAnrzuord,         kVerbuch,    kGetposvt,
        kGetekdat1, kGetvkdat1, kGetekdat,       kGetvkdat,         kGetwgdaten, kGetcombo,
        kGeteanbez, kSetEan,    kQuendraGetComp, kQuendraGetCountry};

    // Methods every stored object has: store it, close it.
    static constexpr Name kSysSave = u"sys_save";
    static constexpr Name kSysClose = u"sys_close";

    // The properties of a position the grid shows and writes, in the
    // order of the stand-in's table.
    static constexpr Name kGridProperties[] = {
        u"Bez1",   u"bez2",   u"bez3",  u"epmvt",  u"erevt",    u"prdiff",  u"atyp",   u"wargr",
        u"ABTNR",  u"vke",    u"vpe",   u"vpi",    u"vre",      u"vrm",     u"vpm",    u"mcproz",
        u"palart", u"palje",  u"palab", u"acod",   u"bestnrvt", u"eanvt",   u"ebe",    u"hlief",
        u"faktor", u"brutto", u"evm",   u"mibeme", u"ekgrp",    u"ekdat",   u"rabtyp", u"rab1",
        u"rab2",   u"rab3",   u"rab4",  u"netto",  u"nebkost",  u"vkrabgr", u"vkdat",  u"kfsoll",
        u"vkexcl", u"vkincl", u"spanne"};

    // pos(download, ""): a download's positions; pos(position id,
    // download): that one position.
    static constexpr Query kPos{u"pos", PosQuery::kColumnNames};
    static constexpr Query kQueries[] = {kPos};
};

} // namespace erp
