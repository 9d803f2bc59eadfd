#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>

// The 53 columns of the positions grid: caption, where the value comes from
// in a row of the query "pos" of quendrap.pos, where an edit is written to,
// what kind of cell it is and how wide it is laid out.
enum class CellKind { Text, Number, Date, List };

struct PositionColumn {
    const char16_t* caption;
    int queryColumn;          // 1-based; 0: none (empty at load)
    int queryColumn2;         // a second query column shown after a blank; 0: none
    const char16_t* property; // written on an edit; nullptr: not written
    CellKind kind;
    int digits;   // number: total digits; text: maximum length (0: free)
    int decimals; // number: decimals
    int list;     // list: its number (1 to 13)
    int widthTwips;
};

namespace PositionGrid {

constexpr int kColumns = 53;

// Column indexes the load, the styling and the editing refer to.
enum Column : int {
    Mark = 0,
    Stat = 1,
    BestNr = 2,
    Bezeichnung = 3,
    Datum = 4,
    PreisExcl = 5,
    PreisPer = 6,
    ArtNr = 7,
    FreeClass = 8,
    Bez1 = 9,
    EkPer = 12,
    Abweichung = 13,
    Wargr = 15,
    Abt = 16,
    Vke = 17,
    Vpe = 18,
    Vpi = 19,
    Vre = 20,
    Vrm = 21,
    Ust = 23,
    BestEan = 29,
    BeEinh = 30,
    Fakt = 32,
    Brutto = 33,
    Ere = 34,
    Epm = 35,
    Evm = 36,
    EkRabgr = 38,
    EkDatAb = 39,
    RabTyp = 40,
    Rab1 = 41,
    Rab4 = 44,
    Netto = 45,
    Nebenkost = 46,
    VkRabgr = 47,
    VkDatAb = 48,
    KfSoll = 49,
    VkExcl = 50,
    VkIncl = 51,
    Spanne = 52,
};

const std::array<PositionColumn, kColumns>& Columns();
inline const PositionColumn& ColumnOf(int column) {
    return Columns()[size_t(column)];
}
QString Caption(int column);

// The number columns in the order they are kept per row (a compact index
// 0..kNumberColumns-1), and back; -1 for a column that is not a number.
constexpr int kNumberColumns = 21;
int NumberSlot(int column);
int NumberColumn(int slot);

// A number as the server sends it: with a decimal point, or in the German
// form with a comma (and points between thousands). False when the text is
// empty or no number.
bool ParseServerNumber(const QString& text, double* value);
// The same on UTF-8 as it came from the server.
bool ParseServerNumber(QByteArrayView text, double* value);
// Query column 14 ("% Abw.") as the grid shows it: the pattern "##.00" with
// the workstation's decimal separator (no leading zero below 1, so 0.5 shows
// as ",50") followed by " %"; empty when the query has no deviation (no
// ERP condition to compare with).
QString FormatDeviation(const QString& queryValue);
// A day.month.year date text of the query as the grid shows it in the two
// date list columns: the 3rd and 6th characters replaced by "/".
QString SlashDate(const QString& queryValue);
// A number cell as the grid shows it: the column's decimals, German format.
QString FormatNumber(double value, int decimals);
// The same written to out (at least 48 bytes) as Latin-1; returns its
// length, or -1 for a value it leaves to the locale (not finite, 10^9 and
// above, more than 9 decimals).
int FormatNumberUtf8(double value, int decimals, char* out);

} // namespace PositionGrid
