#pragma once

#include "import/SheetRows.h"

#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

class PositionReader;

// The columns of a spreadsheet price list the import takes.
enum class PriceColumn {
    BestNr,
    Bezeichnung,
    Ean,
    Preis,
    Einheit,
    Pe,
    Rabattgruppe,
    Datum,
    Netto,
};
inline constexpr int kPriceColumnCount = 9;

// Their keys in a mapping text ("bestnr", …) and their captions
// ("Best.Nr.", …), in the order above.
const QStringList& PriceColumnKeys();
const QStringList& PriceColumnCaptions();

// Which column of a price list holds what, from which row on, on which
// sheet. A column is named by its letters ("C") or its header text.
struct ColumnMapping {
    std::array<QString, kPriceColumnCount> columns;
    int firstRow = 0; // the first row of prices; 0: not chosen
    QString sheet;    // a workbook's sheet; "": the first

    QString& operator[](PriceColumn c) { return columns[size_t(c)]; }
    const QString& operator[](PriceColumn c) const { return columns[size_t(c)]; }
    bool isEmpty() const;
    // "bestnr=A,bezeichnung=B,…" with the columns named.
    QString columnsText() const;
    // The columns of a text of that form; nullopt (problem says why) when a
    // key is unknown or a pair has no "=".
    static std::optional<ColumnMapping> FromColumnsText(const QString& text, QString* problem);
    // The form a mapping is remembered in, and back.
    QString stored() const;
    static ColumnMapping FromStored(const QString& text);
    // The column of each meaning (-1 for none): a name is the header text
    // of a column of header (the nearest row above the first row, number
    // headerRow), else its letters when the column is one of the first
    // width; nullopt (problem says why) for a name that is neither.
    std::optional<std::array<int, kPriceColumnCount>>
    resolve(const SheetRow& header, qint64 headerRow, int width, QString* problem) const;
    friend bool operator==(const ColumnMapping&, const ColumnMapping&) = default;
};

// A mapping proposed from the header texts among rows (the first rows of
// the list): the row that names the most known columns is the header, the
// prices begin below it. Empty when no row names Best.Nr. and a price.
ColumnMapping ProposeMapping(const QList<SheetRow>& rows, const QList<qint64>& numbers);

// The mapping the buyer used last for a supplier's price lists (kept in
// the workstation's settings); empty when there is none.
ColumnMapping RememberedMapping(const QString& company, const QString& supplier);
void RememberMapping(const QString& company, const QString& supplier, const ColumnMapping& mapping);

// The rows of a price list file (.xlsx or CSV by its kind).
std::unique_ptr<SheetRows> PriceListRows(const QString& path, bool workbook,
                                         const QString& sheet = QString());

// The reader of a price list: the rows from the mapping's first row on as
// price lines (name: the file as the buyer knows it).
std::unique_ptr<PositionReader> MakePriceListReader(const QString& path, const QString& name,
                                                    bool workbook, const ColumnMapping& mapping);

// A text cell's number in a column read with a decimal comma (German) or
// a decimal point; nullopt when it is none. Blanks, "€" and "EUR" around
// it are no part of it.
std::optional<double> ReadDecimal(const QString& text, bool decimalComma);
// Whether a text reads as a number with a decimal comma (1), a decimal
// point (-1), or either (0: "12", "1.234"; "0.125" is a point).
int DecimalEvidence(const QString& text);
