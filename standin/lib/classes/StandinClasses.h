#pragma once

class StandinEngine;

// Defines every class, query, method and M routine of the stand-in. Each
// group of classes lives in its own file; adding one is a local change there.
void RegisterAllClasses(StandinEngine& engine);

void RegisterWindowsClasses(StandinEngine& engine);   // VT.Windows, ^%XTT
void RegisterPersonnelClasses(StandinEngine& engine); // users, locations, server list
void RegisterDownloadClasses(StandinEngine& engine);  // downloads, positions, groups
void RegisterImportClasses(StandinEngine& engine);    // what the price import calls

#include <QStringList>
// Properties of a staging position, in table order.
const QStringList& PositionProperties();
