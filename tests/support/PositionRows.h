#pragma once

#include "positions/PositionGridModel.h"

#include <QMap>
#include <QString>
#include <QStringList>

// A row of the query "pos": 55 columns, all empty but the ones given
// (1-based as the query counts).
inline QStringList PositionQueryRow(const QMap<int, QString>& values) {
    QStringList row;
    for (int c = 1; c <= 55; ++c)
        row << values.value(c);
    return row;
}

// A grid row built from such a query row.
inline PositionRow PositionRowOf(const QMap<int, QString>& values) {
    return BuildPositionRow(PositionQueryRow(values));
}
