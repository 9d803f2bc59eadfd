#pragma once

// The ERP's own records as the stand-in keeps them (ErpRecords.cpp).

#include "common/ErpForms.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

class StandinEngine;
class StandinStore;

// SQL expression that orders "dd.mm.yyyy" texts by date (yyyymmdd). The
// date-indexed tables index exactly this expression.
QString DateOrderSql(const QString& column);

// Adds the columns a table of an earlier stand-in version lacks.
void AddMissingColumns(StandinStore& store, const QString& table, const QStringList& properties);

// Whether the ERP holds a discount group exactly: a released VT.EKRabGr
// record of the supplier for the group valid from exactly that date, with
// the same four rates (compared as numbers; an empty rate counts as 0).
bool DiscountGroupInErp(StandinEngine& engine, const QString& company, const QString& supplier,
                        const QString& group, const QString& date, const QStringList& rates);

// The sales side of a position: the cost of one sales unit times KF-Soll
// rounded to the supplier's rounding step (0.01 when none), that plus VAT
// to the cent, and the margin in percent. Without KF-Soll both prices are
// empty and the margin "0".
struct SalesSide {
    QString vkexcl;
    QString vkincl;
    QString spanne;
};
SalesSide SalesPrices(double cost, const QString& kfsoll, const QString& vatRate,
                      const QString& rounding);

// A record of the ERP as a posting writes it: created with `whenNew` and
// `fields`, or only the fields that differ from what it holds are written.
// Every write stamps DLID and PCODE; a record whose fields are all equal is
// left as it is. Returns the fields written (all of `fields` for a new
// record); `created` tells whether the record was new.
QStringList WriteErpRecord(StandinEngine& engine, const QString& className, const QString& id,
                           const QList<std::pair<QString, QString>>& fields,
                           const QList<std::pair<QString, QString>>& whenNew, const QString& dlid,
                           const QString& pcode, bool* created = nullptr);
