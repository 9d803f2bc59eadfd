#pragma once

// The ERP classes the program calls besides quendrap.pos (PosClass.h), by
// the names of the ERP contract (common/erp): each wrapper carries its
// class's name (kClass), the methods, properties and queries the program
// calls there, and each query's columns in order.

#include "common/erp/Downloads.h"
#include "common/erp/Personnel.h"
#include "common/erp/Windows.h"

// quendrap.downloads: the supplier downloads of the main window, the
// import and the posting.
struct DownloadsClass : erp::Downloads {};
// quendrap.defaults: a supplier's defaults for new positions.
struct DefaultsClass : erp::Defaults {};
// quendrap.liefid: the supplier of a manufacturer code.
struct LiefidClass : erp::Liefid {};
// quendrap.ekgrp: a download's purchase discount groups.
struct EkgrpClass : erp::Ekgrp {};

// VT.Windows: M commands ("Xecute") and the partner search "KkrSuche".
struct WindowsClass : erp::Windows {};
// VT.XW: the rows of a list expression ("Liste").
struct XwClass : erp::Xw {};

// The login's classes: users, departments, personnel records, locations
// and the server list.
struct ParPersEdvClass : erp::ParPersEdv {};
struct ParPersAbtClass : erp::ParPersAbt {};
struct PersBasisClass : erp::PersBasis {};
struct MenueClass : erp::Menue {};
struct ServerListClass : erp::ServerList {};

// The search dialogs' customer groups and account groups.
struct KundenGruppenClass : erp::KundenGruppen {};
struct KontoSammelKontoKreisClass : erp::KontoSammelKontoKreis {};
