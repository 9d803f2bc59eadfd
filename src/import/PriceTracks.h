#pragma once

#include <QList>
#include <QString>

// The price tracks of a price file: one row per validity date with the
// number of prices for it, and whether the buyer marked it for import.
struct PriceTrack {
    QString date;
    int count = 0;
    bool marked = false;
};

class PriceTrackList {
public:
    void clear() { m_rows.clear(); }
    // Adds one price for date: a new row (date, 1) or one more on its row.
    void count(const QString& date);
    // The row of a date (found by exact text); -1 when there is none.
    int find(const QString& date) const;
    bool isMarked(const QString& date) const;
    void markAll(bool marked);
    // Marks exactly the dates listed; returns the dates that have no row.
    QStringList markOnly(const QStringList& dates);
    QList<PriceTrack>& rows() { return m_rows; }
    const QList<PriceTrack>& rows() const { return m_rows; }

private:
    QList<PriceTrack> m_rows;
};
