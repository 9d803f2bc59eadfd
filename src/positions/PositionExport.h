#pragma once

#include "positions/PositionGridModel.h"

#include <QList>
#include <QString>
#include <functional>

// The positions grid taken to a spreadsheet: the rows in the order given
// (as the window shows them: filtered and sorted) with the 53 columns under
// their German captions.
//
// - An .xlsx workbook (libxlsxwriter): one sheet "Positionen", numbers as
//   numbers with their column's decimals, dates (also "EK-Dat ab" and
//   "VK-Dat ab") as dates, "% Abw." as a number, a frozen header row and an
//   autofilter. Written row by row in constant memory.
// - A .csv as German spreadsheet programs open it directly: UTF-8 with a
//   byte order mark, semicolons, a decimal comma (no thousands points),
//   dates dd.mm.yyyy, CR LF line ends; a text that a spreadsheet would take
//   for a formula (= + - @ at its start) is preceded by an apostrophe.
//
// Both are written beside the target and put in place at the end: a failed
// or cancelled export leaves an earlier file as it was.
enum class ExportFormat { Xlsx, Csv };

struct PositionExportResult {
    bool ok = false;
    bool cancelled = false;
    int rows = 0;  // rows written
    QString error; // why not, in German
};

// The format a file name asks for (".xlsx", else ".csv"); Csv for ".csv",
// Xlsx for everything else.
ExportFormat ExportFormatOf(const QString& path);

// The file name an export proposes: "Positionen", the supplier's number and
// name, ".xlsx"; only what a file name cannot hold (\ / : * ? " < > | and
// control characters) becomes "_", letters of every language stay.
QString ExportFileName(const QString& supplier, const QString& supplierName);

// Writes the rows. progress(done, total) is called every few hundred rows
// and at the end; it returns false to cancel.
PositionExportResult ExportPositions(const QString& path, ExportFormat format,
                                     const PositionGridModel& grid, const QList<int>& rows,
                                     const std::function<bool(int done, int total)>& progress = {});

// A field of the .csv: quoted when it holds a semicolon, a quote, a line
// break or blanks at its ends; an apostrophe before a text a spreadsheet
// would run as a formula.
QString CsvField(const QString& text, bool isText);
