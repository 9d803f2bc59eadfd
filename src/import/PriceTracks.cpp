#include "PriceTracks.h"

#include <QStringList>

void PriceTrackList::count(const QString& date) {
    const int row = find(date);
    if (row >= 0)
        ++m_rows[row].count;
    else
        m_rows.append({date, 1, false});
}

int PriceTrackList::find(const QString& date) const {
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].date == date)
            return i;
    return -1;
}

bool PriceTrackList::isMarked(const QString& date) const {
    const int row = find(date);
    return row >= 0 && m_rows[row].marked;
}

void PriceTrackList::markAll(bool marked) {
    for (PriceTrack& t : m_rows)
        t.marked = marked;
}

QStringList PriceTrackList::markOnly(const QStringList& dates) {
    markAll(false);
    QStringList unknown;
    for (const QString& d : dates) {
        const int row = find(d);
        if (row < 0)
            unknown << d;
        else
            m_rows[row].marked = true;
    }
    return unknown;
}
