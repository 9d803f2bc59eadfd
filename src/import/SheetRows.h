#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

// The rows of a spreadsheet price list, a row at a time: a CSV file or a
// sheet of an .xlsx workbook. Cells keep what the file says they are.
struct SheetCell {
    enum class Kind : quint8 { Empty, Text, Number, Date };
    Kind kind = Kind::Empty;
    QString text; // Number: as the file writes it ("12.5", "4.0E12"); Date: dd.mm.yyyy
};
using SheetRow = QList<SheetCell>; // column A first

class SheetRows {
public:
    virtual ~SheetRows() = default;
    // Opens the file and positions before the first row; false (error()
    // says why) when it cannot be read.
    virtual bool open() = 0;
    // The next row that holds a cell, and its number in the sheet (from 1);
    // false at the end, or when reading failed (failed()).
    virtual bool next(SheetRow* row, qint64* number) = 0;
    virtual bool rewind() = 0;
    virtual bool failed() const = 0;
    virtual QString error() const = 0;
    // The row an error is about (from 1); 0 when it is about the file.
    virtual qint64 errorRow() const { return 0; }
    // A CSV file's separator; a null QChar for a workbook.
    virtual QChar separator() const { return QChar(); }
    // How many rows there are, about (for the meter); 0 when the file does
    // not say.
    virtual qint64 rowCount() const = 0;
    // What the buyer is told of the file ("Trennzeichen ;", "Blatt Preise").
    virtual QString description() const = 0;
    // The sheets of a workbook (a CSV file has none).
    virtual QStringList sheets() const { return {}; }
};

// A CSV file: separator ";", "," or tab, from its first lines; UTF-8 or
// Windows-1252 from its bytes; quotes as RFC 4180 (a quoted cell may hold
// the separator, doubled quotes and line ends).
std::unique_ptr<SheetRows> CsvRows(const QString& path);
// A sheet of an .xlsx workbook: the one named, else the first.
std::unique_ptr<SheetRows> XlsxRows(const QString& path, const QString& sheet = QString());

// Whether the first lines of a text read as a CSV table: each of them
// splits at the same separator into at least two cells.
bool LooksLikeCsv(const QStringList& firstLines);
// Whether a zip archive is an .xlsx workbook.
bool IsXlsxWorkbook(const QString& path);

// The date of a spreadsheet's serial day number as dd.mm.yyyy (the 1900
// date system, or 1904); "" for a number no day of the years 1900 to 9999.
QString SerialDate(double serial, bool from1904 = false);

// A cell's column as letters ("A", "AA") and back; -1 for no letters.
QString ColumnLetters(int column);
int ColumnOfLetters(const QString& letters);
