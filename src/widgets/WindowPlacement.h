#pragma once

#include <QString>

class QWidget;

// Reopens a window where the user last left it. Returns true when a stored
// placement was found and applied; a window without one keeps its own place.
bool RestoreWindowPlacement(QWidget* form, const QString& key);

// Stores the window's placement, unless it is minimised (the previous value
// then stays). A maximised window stores its normal placement.
void SaveWindowPlacement(QWidget* form, const QString& key);
