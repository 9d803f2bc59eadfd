#pragma once

#include <QList>
#include <QString>

// Searches for ERP suppliers and customers on the server. The search
// dialogs show the hits.
struct PartnerHit {
    QString number;    // column 1
    QString shortName; // column 2
    QString name;      // column 3, readable
    QString postCode;  // column 4
    QString place;     // column 5, readable
};

constexpr int kMaxPartnerHits = 500;

// Supplier search: name part and account group ("1" when the group's first
// "|"-field is empty). At most 500 hits; a failing search keeps the hits read
// before the failure (and reports it).
QList<PartnerHit> getlnrsu(const QString& skbez, const QString& ssktok);

// Customer search: name part, customer group (its first two characters) and
// post code.
QList<PartnerHit> getknrsu(const QString& skbez, const QString& skgrp, const QString& plz);
