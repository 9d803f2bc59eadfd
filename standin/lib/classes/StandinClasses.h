#pragma once

class StandinEngine;

// Defines every class, query, method and M routine of the stand-in. Each
// group of classes lives in its own file; adding one is a local change there.
void RegisterAllClasses(StandinEngine& engine);

void RegisterWindowsClasses(StandinEngine& engine);       // VT.Windows, ^%XTT
void RegisterPersonnelClasses(StandinEngine& engine);     // users, locations, server list
void RegisterDownloadClasses(StandinEngine& engine);      // downloads, positions, groups
void RegisterErpClasses(StandinEngine& engine);           // ERP articles, conditions, code lists
void RegisterImportClasses(StandinEngine& engine);        // what the price import calls
void RegisterPositionClasses(StandinEngine& engine);      // what the positions window calls
void RegisterPostingClasses(StandinEngine& engine);       // positions posted into the ERP
void RegisterDiscountGroupClasses(StandinEngine& engine); // a download's discount groups
void RegisterLookupClasses(StandinEngine& engine);        // search dialogs, customers
void RegisterMatchClasses(StandinEngine& engine);         // EAN match files on positions

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
