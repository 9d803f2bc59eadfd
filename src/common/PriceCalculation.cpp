#include "PriceCalculation.h"

#include <cmath>

namespace PriceCalculation {

namespace {

double roundDecimals(double value, int decimals) {
    const double f = std::pow(10.0, decimals);
    // The nudge keeps 0.125 from rounding down because it is stored as
    // 0.12499999...
    return std::round(value * f + (value >= 0 ? 1e-9 : -1e-9)) / f;
}

} // namespace

double NetPrice(double brutto, const double (&discounts)[4]) {
    double netto = brutto;
    for (double r : discounts)
        netto *= 1 - r / 100;
    return netto;
}

double UnitCost(double netto, double epm, double nebkost, double faktor) {
    return (netto / (epm > 0 ? epm : 1) + nebkost) * (faktor > 0 ? faktor : 1);
}

double RoundTo(double value, double step) {
    if (!(step > 0))
        step = 0.01;
    return roundDecimals(std::round(value / step + (value >= 0 ? 1e-9 : -1e-9)) * step, 4);
}

double SalesExcl(double cost, double kfSoll, double step) {
    return RoundTo(cost * kfSoll, step);
}

double SalesIncl(double excl, double vatRate) {
    return roundDecimals(excl * (100 + vatRate) / 100, 2);
}

double SalesExclFromIncl(double incl, double vatRate) {
    return roundDecimals(incl * 100 / (100 + vatRate), 2);
}

double Margin(double excl, double cost) {
    return excl > 0 ? roundDecimals((excl - cost) / excl * 100, 2) : 0;
}

double KfSoll(double excl, double cost) {
    return cost > 0 ? roundDecimals(excl / cost, 4) : 0;
}

} // namespace PriceCalculation
