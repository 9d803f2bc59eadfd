#pragma once

#include "StandinRegistry.h"
#include "common/erp/Contract.h"

class StandinEngine;
class StandinRegistry;

// Defines every class, query, method and M routine of the ERP the stand-in
// serves, with their tables and indexes. Each group of classes lives in its
// own file; adding one is a local change there.
void RegisterErpClasses(StandinRegistry& registry);

// Registers a query of the ERP contract: its name and columns.
inline void AddQuery(ClassDef& cls, const erp::Query& query, QueryFn fn) {
    cls.addQuery(query, query.columnList(), std::move(fn));
}

void RegisterWindowsClasses(StandinRegistry& registry);   // VT.Windows, ^%XTT
void RegisterPersonnelClasses(StandinRegistry& registry); // users, locations, server list
void RegisterDownloadClasses(StandinRegistry& registry);  // downloads, positions, groups
void RegisterErpDataClasses(StandinRegistry& registry);   // ERP articles, conditions, code lists
void RegisterImportClasses(StandinRegistry& registry);    // what the price import calls
void RegisterPositionClasses(StandinRegistry& registry);  // what the positions window calls
void RegisterPostingClasses(StandinRegistry& registry);   // positions posted into the ERP
void RegisterDiscountGroupClasses(StandinRegistry& registry); // a download's discount groups
void RegisterLookupClasses(StandinRegistry& registry);        // search dialogs, customers
void RegisterMatchClasses(StandinRegistry& registry);         // EAN match files on positions

#include <QStringList>
#include <memory>

// Stores what the discount group window gives for a download's discount
// group: ERP group, description, valid from (a text that is no date stores
// none), four rates (canonical; an empty one stays empty). False when there
// is no group of that id.
bool StoreDiscountGroup(StandinEngine& engine, const QString& id, const QString& erpgr,
                        const QString& bez, const QString& date, const QStringList& rates);

// Properties of a staging position, in table order.
const QStringList& PositionProperties();

struct CallContext;
class QueryCursor;
// The cursor of a VT.XW "Liste" expression of the positions window
// ("COMBO|...", "EKDAT|...", "VKDAT|...", "POSVT|..."); null for any other.
std::unique_ptr<QueryCursor> PositionListCursor(CallContext& ctx, const QString& expression);
