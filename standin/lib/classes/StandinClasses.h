#pragma once

class StandinEngine;

// Defines every class, query, method and M routine of the stand-in. Each
// group of classes lives in its own file; adding one is a local change there.
void RegisterAllClasses(StandinEngine& engine);

void RegisterWindowsClasses(StandinEngine& engine); // VT.Windows, ^%XTT
