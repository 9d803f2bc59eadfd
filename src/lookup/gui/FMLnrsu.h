#pragma once

#include "SearchDialog.h"

class Connection;
class PartnerHitModel;
class QComboBox;
class QLineEdit;

// The supplier search: a part of the name and the account group; the hits
// (at most 500) are listed with number, name, post code and place.
class FMLnrsu : public SearchDialog {
    Q_OBJECT
public:
    explicit FMLnrsu(Connection& connection, QWidget* parent = nullptr);
    ~FMLnrsu() override;

    // The supplier number chosen; empty when the window closed without one.
    QString chosenSupplier() const { return chosen(); }
    PartnerHitModel* Hits() const { return m_hits; }

protected:
    int search() override;
    QString valueOf(int row) const override;
    QString countText(int hits) const override;

private:
    Connection& m_connection;
    PartnerHitModel* m_hits;
    QLineEdit* SKBEZ;
    QComboBox* SSKTOK;
};

// Shows the supplier search modally and returns the chosen supplier number,
// or "" when none was chosen.
QString vt_lnr_su(Connection& connection, QWidget* parent);
