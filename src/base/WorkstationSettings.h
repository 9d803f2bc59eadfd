#pragma once

#include <QString>

// The per-user settings store of the workstation, addressed by application,
// section and key ("Cache Login"/"Login", "Quendrapr"/"Windowpos",
// "Quendrapr"/"RetourPrm"). Uses the platform's native store; tests point it
// at a folder of their own.
namespace WorkstationSettings {

QString value(const QString& application, const QString& section, const QString& key,
              const QString& defaultValue = QString());
void setValue(const QString& application, const QString& section, const QString& key,
              const QString& value);
void remove(const QString& application, const QString& section, const QString& key);

// Keeps every application's settings as an INI file in folder instead of the
// native store. An empty folder returns to the native store.
void useFolder(const QString& folder);

} // namespace WorkstationSettings
