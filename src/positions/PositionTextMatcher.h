#pragma once

#include "positions/PositionGridModel.h"

#include <QByteArray>
#include <QByteArrayMatcher>
#include <QString>

// Finds a text in the cells of the grid as shown, ignoring case (ASCII and
// Latin-1 letters, so "müller" finds "MÜLLER"). Number and date cells are
// only formatted when the text could be part of one.
class PositionTextMatcher {
public:
    explicit PositionTextMatcher(const QString& text);
    bool isEmpty() const { return m_needle.isEmpty(); }
    // Whether any cell of the row (or the cell of column, when >= 0) holds
    // the text.
    bool rowMatches(const PositionGridModel& model, int row, int column = -1) const;
    bool cellMatches(const PositionGridModel& model, int row, int column) const;

private:
    bool matchesFolded(QByteArrayView text) const;
    bool numberCellMatches(const PositionRow& row, int column) const;

    QByteArray m_needle; // folded UTF-8
    QByteArrayMatcher m_matcher;
    bool m_numeric = false; // could be part of a number or a date
    bool m_wide = false;    // has letters beyond Latin-1: Unicode folding
    QString m_wideNeedle;
    mutable QByteArray m_scratch;
};
