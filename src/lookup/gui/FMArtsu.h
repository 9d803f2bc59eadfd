#pragma once

#include "SearchDialog.h"

class ArticleHitModel;
class Connection;
class QComboBox;
class QLineEdit;

// The article search: text, main and sub group, supplier, department,
// active and released; the hits page in from the server as the list is
// scrolled (at most 10,000).
class FMArtsu : public SearchDialog {
    Q_OBJECT
public:
    // supplier: put into "Lieferant" (the positions window's supplier).
    explicit FMArtsu(Connection& connection, const QString& supplier = QString(),
                     QWidget* parent = nullptr);
    ~FMArtsu() override;

    ArticleHitModel* Hits() const { return m_hits; }

public Q_SLOTS:
    // A main group chosen: its sub groups.
    void SHGRP_Change();

protected:
    int search() override;
    QString valueOf(int row) const override;
    QString countText(int hits) const override;

private:
    Connection& m_connection;
    ArticleHitModel* m_hits;
    QLineEdit* SKBEZ;
    QComboBox* SHGRP;
    QComboBox* SUGRP;
    QLineEdit* SLNR;
    QComboBox* SABTNR;
    QComboBox* SAKTIV;
    QComboBox* SGEL;
};

// Shows the article search modally; the chosen article number or "".
QString vt_art_su(Connection& connection, const QString& supplier, QWidget* parent);
