#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Text formats of the price data import: the extended import file (a supplier
// price file, one article per line, fields separated by a backslash), the
// position line text sent to the server for every imported price, the unit
// assignment table handed out by the server, and the EAN/price match file.
// All fields are addressed by number (1-based), never by header names.
// Pure functions of their arguments; no widgets, no server calls.

// ---------------------------------------------------------------------------
// Messages shown by the importers.

inline const QString kImportFileMissingMessage = QStringLiteral("Datei nicht vorhanden");
// A file that is there but cannot be read.
inline const QString kFileUnreadableMessage = QStringLiteral("Datei kann nicht gelesen werden");
// An import file that changed between the check and the storing.
inline const QString kFileChangedMessage =
    QStringLiteral("Datei wurde nach der Prüfung geändert; Import abgebrochen");
inline const QString kNotExtendedImportFileMessage =
    QStringLiteral("Datei ist keine gültige erweiterte Importdatei (Zeichen <\\> fehlen)");
inline const QString kSupplierNotStoredMessage = QStringLiteral("Lieferant nicht gespeichert");

// "Einheiten " + missingUnits + " sind im Veltar nicht zugeordnet". The
// missing-units text is passed as collected (leading and trailing space
// included), so two codes show as "Einheiten  A B  sind ...".
QString UnassignedUnitsMessage(const QString& missingUnits);

// "Fehler in Zeile: " + the full text of the line being processed (empty when
// no article line has been read yet); a line longer than kLineErrorLength
// characters (a description of a megabyte) is cut there and ends in "…".
inline constexpr qsizetype kLineErrorLength = 1000;
QString LineErrorMessage(const QString& line);

// ---------------------------------------------------------------------------
// Extended import file.

// The header line that the web import writes (29 names).
inline const QString kExtendedImportHeaderLine = QStringLiteral(
    "HerstCode\\ean\\HerstArtNr\\Bezeichng\\VE\\VP\\UEE\\Menge\\MengeUEE\\Preis\\GueltigAb\\"
    "Preis2\\GueltigAb2\\PreisEHT\\Freigabe\\WarnOrt\\WarnVerp\\WarnOrt2\\WarnVerp2\\RabattGR\\"
    "HaendlerFrei\\fclass_idcl\\fclass_values\\fclass_coded_name\\fclass_preferred_name\\"
    "gewichtKG\\gewichtEHT\\CE\\URLfreistellung");

// A file is an extended import file when its header line holds at least one
// backslash; nothing else of the header is checked.
bool IsExtendedImportHeader(const QString& headerLine);

// Upper-cases a unit code and keeps only A-Z and 0-9, in order. Umlauts, "ß",
// blanks and punctuation are dropped ("st k" and "Stk." give "STK", "-"
// gives ""). Only ASCII letters are upper-cased, so "ß" never becomes "SS".
QString NormalizeUnitCode(const QString& code);

// Converts a price field (fields 10 and 12) as a decimal number in German
// regional format: optional surrounding blanks, optional sign, digits, a
// decimal comma and optional thousands points in groups of three
// ("1.234,50" is 1234.5). A text with a point but no comma reads the point as
// the decimal point ("12.50" is 12.5). Empty or non-numeric text ("EUR 7",
// "abc", "1,2,3") gives false and leaves *value alone. The number only serves
// to test for zero and for convertibility; the server gets the text.
bool ConvertPrice(const QString& text, double* value);

// Which of the two prices of an article line.
enum class ImportPrice { First, Second };

// One article line of an extended import file.
class ImportArticleLine {
public:
    static constexpr QChar kSeparator = u'\\';
    static constexpr int kFieldCount = 29;

    // Field numbers of the fields the importers read.
    enum Field : int {
        HerstCode = 1,
        Ean = 2,
        HerstArtNr = 3,
        Bezeichng = 4,
        VE = 5,
        VP = 6,
        UEE = 7,
        Menge = 8,
        MengeUEE = 9,
        Preis = 10,
        GueltigAb = 11,
        Preis2 = 12,
        GueltigAb2 = 13,
        PreisEHT = 14,
        RabattGR = 20,
        FclassPreferredName = 25,
    };

    ImportArticleLine() = default;
    explicit ImportArticleLine(const QString& text);

    const QString& text() const { return m_text; }
    // Field n (1-based); a field beyond the end of the line is empty.
    QString field(int n) const;
    // Number of fields the line actually has (a line of fewer than 29 fields
    // is valid).
    int fieldCount() const { return int(m_fields.size()); }

    // Field 10 or 12.
    QString price(ImportPrice which) const;
    // Field 11 or 13: opaque text, compared by exact equality only.
    QString priceDate(ImportPrice which) const;

    // Converts fields 10 and 12. False when either does not convert, which
    // is an error of the whole line whatever the other fields hold.
    bool convertPrices(double* firstPrice, double* secondPrice) const;

private:
    QString m_text;
    QStringList m_fields;
};

// The 14-field position line text ("|"-separated) sent to the server for one
// price of an article line: fields 1-4, units 5-7 normalised, fields 8 and 9,
// then the date (11 or 13) BEFORE the price (10 or 12), then fields 14, 20
// and 25.
//
// The server splits this text at "|" and knows no escaping, so a carried
// field that holds a "|" would silently move every later value into the
// wrong field. Rather than send such a line (or quietly alter the supplier's
// data), no text is returned: std::nullopt tells the importer to stop with a
// line error for this line. Unit fields cannot cause this, as normalising
// removes the "|"; fields that are not carried are irrelevant.
std::optional<QString> PositionLineText(const ImportArticleLine& line, ImportPrice which);
// The same 14 fields before they are joined.
std::optional<QStringList> PositionLineFields(const ImportArticleLine& line, ImportPrice which);

inline constexpr QChar kPositionLineSeparator = u'|';
inline constexpr int kPositionLineFieldCount = 14;

// ---------------------------------------------------------------------------
// Unit assignment table.

// Built from the server's unit assignment text: two comma-separated lists
// joined by "`", the first holding ERP units, the second the external unit
// codes in the same order. Pairs are taken from entry 1 on and the table ends
// at the first empty ERP unit.
class UnitAssignmentTable {
public:
    static constexpr int kMaxPairs = 100;

    struct Pair {
        QString code; // external unit code, normalised
        QString erpUnit;
    };

    // Replaces the content. False (and an empty table) when the lists hold
    // more than 100 pairs before the first empty ERP unit.
    bool load(const QString& assignmentText);
    void clear() { m_pairs.clear(); }

    const QList<Pair>& pairs() const { return m_pairs; }
    int size() const { return int(m_pairs.size()); }

    // Whether the normalised form of code equals the code of a pair. An empty
    // normalised code matches nothing; the importers never look it up (see
    // CollectMissingUnits), so it never counts as missing either.
    bool isAssigned(const QString& code) const;

private:
    QList<Pair> m_pairs;
};

// The missing-units text starts as a single space and grows by code + " ".
inline const QString kNoMissingUnits = QStringLiteral(" ");

// Looks up the units of fields 5, 6 and 7 (in that order) of an article line
// and appends each normalised code that is not empty, not assigned and not
// yet listed (as " " + code + " ") to *missingUnits. Returns whether anything
// was appended.
bool CollectMissingUnits(const ImportArticleLine& line, const UnitAssignmentTable& table,
                         QString* missingUnits);

// ---------------------------------------------------------------------------
// EAN/price match file (a "*.csv" file; line 1 is a header and is skipped).

struct MatchFileEntry {
    QString articleNumber; // field 1
    QString description;   // field 2
    QString ean;           // field 7
    friend bool operator==(const MatchFileEntry&, const MatchFileEntry&) = default;
};

// Clears a line of semicolons: while it holds a ";", the line becomes its
// first ";"-field followed directly by its second ("x;y;z" gives "xy").
QString RemoveMatchFileSemicolons(const QString& line);

// A match file line after RemoveMatchFileSemicolons, split at "\".
MatchFileEntry ParseMatchFileLine(const QString& line);
