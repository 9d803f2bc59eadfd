#pragma once

// The buyer's price formulas of the positions grid (docs/price-calculation.md).
// Pure functions: the cell editing applies them to a row after every edit of
// a cell they depend on.
namespace PriceCalculation {

// The gross price less the four discounts in percent, one after the other:
// brutto × (1 − r1/100) × (1 − r2/100) × (1 − r3/100) × (1 − r4/100).
double NetPrice(double brutto, const double (&discounts)[4]);
// What one sales unit costs the buyer: (net price per price quantity EPM +
// additional costs) × factor. An EPM or factor of 0 counts as 1.
double UnitCost(double netto, double epm, double nebkost, double faktor);
// The value rounded to a multiple of step (the supplier's rounding default;
// 0.01 when there is none or it is not positive).
double RoundTo(double value, double step);
// The sales price excl. VAT: cost × KF-Soll, rounded with the step.
double SalesExcl(double cost, double kfSoll, double step);
// The sales price incl. VAT: excl. × (100 + rate) / 100, to the cent.
double SalesIncl(double excl, double vatRate);
// The sales price excl. VAT from the price incl. VAT, to the cent.
double SalesExclFromIncl(double incl, double vatRate);
// The margin in percent of the sales price excl. VAT: (excl − cost) / excl ×
// 100; 0 without a sales price.
double Margin(double excl, double cost);
// The calculation factor a sales price gives: excl / cost, to four
// decimals; 0 without cost.
double KfSoll(double excl, double cost);

} // namespace PriceCalculation
