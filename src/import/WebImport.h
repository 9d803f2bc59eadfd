#pragma once

#include <QString>
#include <QStringList>

class Connection;

// The web import: the server produces a supplier's article lines, the
// workstation writes them as an extended import file into the user's
// temporary folder, and the file import takes it from there.

// The suppliers the server offers: "name (code)" entries, at most 1000.
QStringList LoadWebSuppliers(Connection& connection);

// The supplier code of an entry: the text after the first "(" up to the
// next ")"; "" when there is none.
QString WebSupplierCode(const QString& entry);

// The download file: TEMP + "/importfile.txt"; where TEMP is not set, a
// folder of the user's own (never one shared with other users).
QString WebDownloadPath();

// Deletes the previous download file, then writes the supplier's lines
// (header first) when the server has data for the entry's code. Returns
// false when the entry has no code (nothing is done then) or a server call
// failed (reported). A supplier without data leaves no file.
bool DownloadWebPriceData(Connection& connection, const QString& entry);
