#pragma once

#include "SearchDialog.h"

class Connection;
class PartnerHitModel;
class QComboBox;
class QLineEdit;

// The customer search: a part of the name, the customer group and the
// post code; the hits (at most 500) with number, name, post code and place.
class FMKnrsu : public SearchDialog {
    Q_OBJECT
public:
    explicit FMKnrsu(Connection& connection, QWidget* parent = nullptr);
    ~FMKnrsu() override;

    PartnerHitModel* Hits() const { return m_hits; }

protected:
    int search() override;
    QString valueOf(int row) const override;
    QString countText(int hits) const override;

private:
    Connection& m_connection;
    PartnerHitModel* m_hits;
    QLineEdit* SKBEZ;
    QComboBox* SKGRP;
    QLineEdit* PLZ;
};

// Shows the customer search modally; the chosen customer number or "".
QString vt_knr_su(Connection& connection, QWidget* parent);
