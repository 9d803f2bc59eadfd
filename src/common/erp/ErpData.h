#pragma once

// The ERP's own data behind the calls of the program: articles, their
// conditions and prices, the code lists, suppliers, customers, locations
// and the web price data. The program never names these classes; the
// stand-in keeps them, and its demo company and tests fill them.

#include "common/erp/ErpName.h"

namespace erp::Data {

inline constexpr Name kArtikel = u"VT.Artikel";
inline constexpr Name kArtEK = u"VT.ArtEK";
inline constexpr Name kArtVK = u"VT.ArtVK";
inline constexpr Name kEKRabGr = u"VT.EKRabGr";
inline constexpr Name kParNrKreis = u"VT.ParNrKreis";
inline constexpr Name kParArtTyp = u"VT.ParArtTyp";
inline constexpr Name kParWarengruppe = u"VT.ParWarengruppe";
inline constexpr Name kParAbteilung = u"VT.ParAbteilung";
inline constexpr Name kParEinheit = u"VT.ParEinheit";
inline constexpr Name kParMwst = u"VT.ParMwst";
inline constexpr Name kParArtCode = u"VT.ParArtCode";
inline constexpr Name kEinheit = u"VT.Einheit";
inline constexpr Name kLieferant = u"VT.Lieferant";
inline constexpr Name kKunde = u"VT.Kunde";
inline constexpr Name kStandort = u"VT.Standort";
inline constexpr Name kDevice = u"VT.Device";
inline constexpr Name kWeb = u"quendrap.web";

inline constexpr Name kClasses[] = {
    kArtikel,        kArtEK,        kArtVK,      kEKRabGr, kParNrKreis, kParArtTyp,
    kParWarengruppe, kParAbteilung, kParEinheit, kParMwst, kParArtCode, kEinheit,
    kLieferant,      kKunde,        kStandort,   kDevice,  kWeb};

} // namespace erp::Data
