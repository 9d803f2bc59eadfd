#pragma once

#include <QString>

// Numbers as the ERP keeps them: canonical, decimal point, no thousands
// separator ("12.5", "-3", "0.25"). ErpValue reads that form and the
// workstation's ("12,50", "1.234,50"); text that is no number reads as 0.
double ErpValue(const QString& text);
QString ErpNumber(double value, int decimals);

// Dates as the ERP and the staging positions keep them: "dd.mm.yyyy".
// ErpDate also reads "d.m.yyyy", "dd/mm/yyyy", "dd-mm-yyyy", two-digit years
// (20yy), "yyyy-mm-dd" and "yyyymmdd"; "" when the text is no valid date.
QString ErpDate(const QString& text);
