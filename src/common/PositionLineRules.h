#pragma once

#include <QString>
#include <QStringList>

// What the ERP keeps of a supplier's price line, the 14 fields of a staging
// position ("savezeile"): HerstCode, EAN, BestNr, Bezeichnung, VE, VP, UEE,
// Menge, MengeUEE, Datum, Preis, PreisEHT, RabattGR, Klasse. The import
// checks every line by these rules before it stores anything, and the
// server refuses a line that breaks one, with the same reason.
namespace PositionLineRules {

// Characters a text of a price line, a position's description or a
// discount group's description may have.
inline constexpr int kMaxText = 250;
// Characters of the codes, numbers and dates of the grid and of the ERP.
inline constexpr int kMaxCode = 40;

// The field names, in line order.
const QStringList& FieldNames();

// Why the ERP would not keep the line as it is (in German, naming the
// field and its value), or "" when it keeps it: a field longer than
// kMaxText, a discount group (RabattGR) longer than kMaxCode; an EAN that is not 8, 12, 13 or 14
// digits; a date that is no date; a price that is no number, negative, or has more than 6 digits
// before or 4 after the decimal separator; a quantity (Menge) or price unit
// (PreisEHT) that is not digits only, from 0 to 99999, a MengeUEE that is no
// number from 0 with at most 8 digits before and 4 after. Empty fields but
// the price are kept as they are.
QString Problem(const QStringList& fields);

// Mends what need not stop an import, in place, and says what it did (in
// German, one text a fault): an EAN that is no EAN is dropped ("EAN 400123
// ungültig, ohne EAN übernommen"), a description or class text longer than
// the ERP keeps is cut at its length ("Bezeichnung länger als 250 Zeichen,
// gekürzt"). What would make a stored price wrong (price, quantities, price
// unit, a date that is no date) or change a key (order number, discount
// group) stays for Problem() to refuse.
QStringList Repair(QStringList& fields);

} // namespace PositionLineRules
