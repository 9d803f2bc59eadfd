#pragma once

#include "positions/PositionGridModel.h"

#include <QList>
#include <QString>
#include <optional>

// What a filter of the positions grid asks of a row: the quick filters and
// the steps of "% Abw.".

// The quick filters; several are combined with "and".
enum class QuickFilter : quint32 {
    OhneArtNr = 1u << 0,       // no article number
    MitArtNr = 1u << 1,        // with an article number
    Markiert = 1u << 2,        // marked ("Übn")
    SpanneNegativ = 1u << 3,   // "Spanne" below 0
    EkHoeher = 1u << 4,        // "% Abw." above 0: the supplier's price is up
    EkNiedriger = 1u << 5,     // "% Abw." below 0
    NichtVerbucht = 1u << 6,   // "Stat" empty, refused or nothing posted
    EkGleich = 1u << 7,        // "% Abw." 0
    EkOhneVergleich = 1u << 8, // no "% Abw." (no article or no ERP condition)
    NeueVkPreise = 1u << 9,    // a sales price the ERP has not from its date
    NettoUeberVk = 1u << 10,   // a sales unit costs more than "VK-Excl"
};

// Every quick filter, in the order the window offers them.
const QList<QuickFilter>& AllQuickFilters();
// The name a filter has on the command line and in links ("ohne-artnr").
QString QuickFilterName(QuickFilter filter);
// The filter of a name; nullopt for an unknown one.
std::optional<QuickFilter> QuickFilterOf(const QString& name);
// The caption of the filter's button ("Ohne Art.-Nr.").
QString QuickFilterCaption(QuickFilter filter);
// Whether a grid row passes the quick filter.
bool PositionMatches(QuickFilter filter, const PositionRow& row);
// "% Abw." as the grid shows it ("12,50 %", ",50 %", "-3,00 %") read back
// as a number; false for an empty cell.
bool ParseDeviation(const QString& shown, double* value);

// The steps of "% Abw." from the largest fall to the largest rise: "unter
// -20 %", "-20 bis -10 %", "-10 bis -5 %", "-5 bis -2 %", "-2 bis 0 %",
// "0 %", "0 bis 2 %", "2 bis 5 %", "5 bis 10 %", "10 bis 20 %", "über 20 %".
// A step holds its bound that lies farther from zero (-20 is in "-20 bis
// -10 %", 2 in "0 bis 2 %"); "0 %" holds exactly zero.
constexpr int kDeviationSteps = 11;
constexpr int kZeroStep = 5;
// The step of a deviation in percent.
int DeviationStepOf(double percent);
// The step of a row's "% Abw."; -1 when it has none.
int DeviationStepOf(const PositionRow& row);
// "-20 bis -10 %"; empty for a step that is not there.
QString DeviationStepLabel(int step);

// A filter of the grid: quick filters, a step of "% Abw." and a text, all
// of which a row must pass. The text matches, ignoring case, a part of a
// cell as the grid shows it, in any column or in the one chosen.
struct PositionFilter {
    quint32 quick = 0; // QuickFilter bits
    QString text;
    int column = -1; // -1: any column
    int step = -1;   // a step of "% Abw." (DeviationStepOf); -1: any

    bool isEmpty() const { return quick == 0 && text.isEmpty() && step < 0; }
    bool has(QuickFilter f) const { return quick & quint32(f); }
    void set(QuickFilter f, bool on) { quick = on ? quick | quint32(f) : quick & ~quint32(f); }
    bool operator==(const PositionFilter& other) const = default;
    // Whether a grid row passes the quick filters and the step (not the
    // text, which PositionTextMatcher looks for).
    bool passes(const PositionRow& row) const;
    // The quick filters from names joined by "+" (a link of the posting
    // preview); nullopt when a name is unknown. "" gives no filter.
    static std::optional<PositionFilter> fromNames(const QString& names);
};
