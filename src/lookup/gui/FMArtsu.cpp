#include "FMArtsu.h"

#include "base/TraceLog.h"
#include "lookup/VeltarSu.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTreeView>

namespace {

QComboBox* listBox(QWidget* parent, const QString& name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setMinimumContentsLength(24);
    box->addItem(QString()); // no restriction
    box->addItems(items);
    return box;
}

// "J", "N" or nothing, each with what it means.
QComboBox* flagBox(QWidget* parent, const QString& name, const QString& yes, const QString& no) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItem(QStringLiteral("alle"), QString());
    box->addItem(yes, QStringLiteral("J"));
    box->addItem(no, QStringLiteral("N"));
    return box;
}

} // namespace

FMArtsu::FMArtsu(Connection& connection, const QString& supplier, QWidget* parent)
    : SearchDialog(QStringLiteral("FMArtsu"), QStringLiteral("VELTAR Artikelsuche"),
                   QStringLiteral("ARTSULI"), QStringLiteral("FMArtsu"), parent),
      m_connection(connection), m_hits(new ArticleHitModel(connection, this)) {
    SKBEZ = new QLineEdit(this);
    SKBEZ->setObjectName(QStringLiteral("SKBEZ"));
    SKBEZ->setPlaceholderText(QStringLiteral("Bezeichnung, Art.-Nr., Best.-Nr. oder EAN"));
    SHGRP = listBox(this, QStringLiteral("SHGRP"), LoadMainGroups(m_connection));
    SUGRP = listBox(this, QStringLiteral("SUGRP"), LoadSubGroups(m_connection));
    SLNR = new QLineEdit(supplier, this);
    SLNR->setObjectName(QStringLiteral("SLNR"));
    SABTNR = listBox(this, QStringLiteral("SABTNR"), LoadDepartments(m_connection));
    SAKTIV = flagBox(this, QStringLiteral("SAKTIV"), QStringLiteral("nur aktive"),
                     QStringLiteral("nur inaktive"));
    SAKTIV->setCurrentIndex(1);
    SGEL = flagBox(this, QStringLiteral("SGEL"), QStringLiteral("nur freigegebene"),
                   QStringLiteral("nur nicht freigegebene"));
    addCriteria(QStringLiteral("Text:"), SKBEZ);
    addCriteria(QStringLiteral("Hauptgruppe:"), SHGRP);
    addCriteria(QStringLiteral("Untergruppe:"), SUGRP);
    addCriteria(QStringLiteral("Lieferant:"), SLNR);
    addCriteria(QStringLiteral("Abteilung:"), SABTNR);
    addCriteria(QStringLiteral("Aktiv:"), SAKTIV);
    addCriteria(QStringLiteral("Freigabe:"), SGEL);
    connect(SHGRP, &QComboBox::activated, this, &FMArtsu::SHGRP_Change);
    finish(m_hits, {90, 360, 80});
    SKBEZ->setFocus();
}

FMArtsu::~FMArtsu() = default;

void FMArtsu::SHGRP_Change() {
    const QString current = SUGRP->currentText();
    SUGRP->clear();
    SUGRP->addItem(QString());
    SUGRP->addItems(LoadSubGroups(m_connection, SHGRP->currentText()));
    const int keep = SUGRP->findText(current);
    SUGRP->setCurrentIndex(keep > 0 ? keep : 0);
}

int FMArtsu::search() {
    ArticleCriteria c{SKBEZ->text(),
                      SHGRP->currentText(),
                      SUGRP->currentText(),
                      SLNR->text(),
                      SABTNR->currentText(),
                      SAKTIV->currentData().toString(),
                      SGEL->currentData().toString()};
    if (!m_hits->search(c))
        return -1;
    return m_hits->rowCount();
}

QString FMArtsu::valueOf(int row) const {
    return m_hits->articleNumber(row);
}

QString FMArtsu::countText(int hits) const {
    if (hits > 0 && m_hits->articleSearch().more())
        return QStringLiteral("%L1 Artikel, weitere beim Blättern").arg(hits);
    return HitCountText(hits, kMaxArticleHits, QStringLiteral("Artikel"), QStringLiteral("Artikel"),
                        QStringLiteral("Kein Artikel gefunden"));
}

QString vt_art_su(Connection& connection, const QString& supplier, QWidget* parent) {
    const QString part = QStringLiteral("VeltarSU.vt_art_su");
    TraceLog(part, QStringLiteral("Start"), supplier, 40);
    QString chosen;
    {
        FMArtsu search(connection, supplier, parent);
        search.exec();
        chosen = search.chosen();
    }
    TraceLog(part, QStringLiteral("Ende"), chosen, 40);
    return chosen;
}
