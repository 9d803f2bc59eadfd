#pragma once

#include <QString>

class Connection;

// Defaults a buyer keeps per supplier, stored on the server
// (quendrap.defaults, id company "||" supplier number).
struct SupplierDefaults {
    QString name;        // the supplier's name, for the screen ("" when not stored)
    QString warengruppe; // goods group new articles of this supplier get
    QString aufschlag;   // sales markup on the purchase price, percent
    QString rundung;     // sales price rounding: "0,01", "0,05", "0,10", "1,00"
    QString freigabe = QStringLiteral("N"); // release posted articles at once: "J"/"N"
};

// The supplier's defaults; empty defaults when none are stored. ok is false
// when the server call failed (reported).
SupplierDefaults LoadSupplierDefaults(Connection& connection, const QString& supplier,
                                      bool* ok = nullptr);
bool SaveSupplierDefaults(Connection& connection, const QString& supplier,
                          const SupplierDefaults& defaults);
