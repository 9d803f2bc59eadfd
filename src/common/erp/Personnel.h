#pragma once

// What the login reads: users, their departments and personnel records,
// the locations, and the list of ERP servers.

#include "common/erp/ErpName.h"

namespace erp {

// VT.ParPersEdv: a user (id company||code).
struct ParPersEdv {
    static constexpr Name kClass = u"VT.ParPersEdv";

    // PNAMELogicalToODBC(name): the user's name as shown.
    static constexpr Name kPNAMELogicalToODBC = u"PNAMELogicalToODBC";
    static constexpr Name kMethods[] = {kPNAMELogicalToODBC};

    static constexpr Name kPasswort = u"Passwort";
    static constexpr Name kAKTIV = u"AKTIV";
    static constexpr Name kFAJN = u"FAJN";
    static constexpr Name kPNAME = u"PNAME";
    static constexpr Name kPNR = u"PNR";
    static constexpr Name kABTNR = u"ABTNR";
    static constexpr Name kDW = u"DW";
    static constexpr Name kBERGRP = u"BERGRP";
    static constexpr Name kProperties[] = {kPasswort, kAKTIV, kFAJN, kPNAME,
                                           kPNR,      kABTNR, kDW,   kBERGRP};

    // UserViaPasswort(password, company): the code of the user with that
    // password.
    static constexpr Name kUserViaPasswortColumns[] = {u"CODE"};
    static constexpr Query kUserViaPasswort{u"UserViaPasswort", kUserViaPasswortColumns};
    static constexpr Query kQueries[] = {kUserViaPasswort};
};

// VT.ParPersAbt: a department (id company||department).
struct ParPersAbt {
    static constexpr Name kClass = u"VT.ParPersAbt";

    static constexpr Name kAbtbez = u"abtbez";
    static constexpr Name kABTNR = u"ABTNR";
    static constexpr Name kHAbtNr = u"HAbtNr";
    static constexpr Name kProperties[] = {kAbtbez, kABTNR, kHAbtNr};
};

// VT.PersBasis: a personnel record (id company||personnel number).
struct PersBasis {
    static constexpr Name kClass = u"VT.PersBasis";

    static constexpr Name kFax = u"Fax";
    static constexpr Name kEMail = u"EMail";
    static constexpr Name kProperties[] = {kFax, kEMail};
};

// GUIVELTAR.Menue: the locations of a company and of a workstation.
struct Menue {
    static constexpr Name kClass = u"GUIVELTAR.Menue";

    static constexpr Name kGetStandorte = u"getStandorte";
    static constexpr Name kGetDeviceStandort = u"getDeviceStandort";
    static constexpr Name kClassMethods[] = {kGetStandorte, kGetDeviceStandort};
};

// GUIVELTAR.Server: the list of ERP servers of the login window.
struct ServerList {
    static constexpr Name kClass = u"GUIVELTAR.Server";

    static constexpr Name kBezeichnung = u"Bezeichnung";
    static constexpr Name kNamespace = u"Namespace";
    static constexpr Name kFirma = u"Firma";
    static constexpr Name kFiliale = u"Filiale";
    static constexpr Name kServerIP = u"ServerIP";
    static constexpr Name kPort = u"Port";
    static constexpr Name kWJ = u"WJ";
    static constexpr Name kProperties[] = {kBezeichnung, kNamespace, kFirma, kFiliale,
                                           kServerIP,    kPort,      kWJ};

    static constexpr Name kListeColumns[] = {u"id",      u"Bezeichnung", u"Namespace", u"Firma",
                                             u"Filiale", u"ServerIP",    u"Port",      u"WJ"};
    static constexpr Query kListe{u"Liste", kListeColumns};
    static constexpr Query kQueries[] = {kListe};
};

// VT.ParKundenGruppen: customer groups; Liste(company).
struct KundenGruppen {
    static constexpr Name kClass = u"VT.ParKundenGruppen";

    static constexpr Name kListeColumns[] = {u"CODE", u"BEZ"};
    static constexpr Query kListe{u"Liste", kListeColumns};
    static constexpr Query kQueries[] = {kListe};
};

// VT.KontoSammelKontoKreis: account groups of suppliers ("L") and
// customers ("K"); Liste(company, kind).
struct KontoSammelKontoKreis {
    static constexpr Name kClass = u"VT.KontoSammelKontoKreis";

    static constexpr Name kListeColumns[] = {u"CODE", u"BEZ"};
    static constexpr Query kListe{u"Liste", kListeColumns};
    static constexpr Query kQueries[] = {kListe};
};

} // namespace erp
