#include "FMKnrsu.h"

#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "lookup/VeltarSu.h"

#include <QComboBox>
#include <QLineEdit>

FMKnrsu::FMKnrsu(Connection& connection, QWidget* parent)
    : SearchDialog(QStringLiteral("FMKnrsu"), QStringLiteral("VELTAR Kundensuche"),
                   QStringLiteral("KNRSULI"), QStringLiteral("FMKnrsu"), parent),
      m_connection(connection), m_hits(new PartnerHitModel(QStringLiteral("Kd.-Nr"), this)) {
    SKBEZ = new QLineEdit(this);
    SKBEZ->setObjectName(QStringLiteral("SKBEZ"));
    SKBEZ->setPlaceholderText(QStringLiteral("Teil des Namens"));
    SKGRP = new QComboBox(this);
    SKGRP->setObjectName(QStringLiteral("SKGRP"));
    SKGRP->setEditable(true);
    SKGRP->setMinimumContentsLength(24);
    // No group first: every customer group.
    SKGRP->addItem(QString());
    SKGRP->addItems(LoadCustomerGroups(m_connection));
    PLZ = new QLineEdit(this);
    PLZ->setObjectName(QStringLiteral("PLZ"));
    PLZ->setPlaceholderText(QStringLiteral("Anfang der Postleitzahl"));
    PLZ->setMaxLength(10);
    addCriteria(QStringLiteral("Name:"), SKBEZ);
    addCriteria(QStringLiteral("Kundengruppe:"), SKGRP);
    addCriteria(QStringLiteral("PLZ:"), PLZ);
    finish(m_hits, {90, 280, 70});
    SKBEZ->setFocus();
}

FMKnrsu::~FMKnrsu() = default;

int FMKnrsu::search() {
    BusyPointer busy;
    bool ok = false;
    m_hits->setHits(getknrsu(m_connection, SKBEZ->text(), SKGRP->currentText(), PLZ->text(), &ok));
    return ok ? m_hits->rowCount() : -1;
}

QString FMKnrsu::valueOf(int row) const {
    return m_hits->hits().value(row).number;
}

QString FMKnrsu::countText(int hits) const {
    return HitCountText(hits, kMaxPartnerHits, QStringLiteral("Kunde"), QStringLiteral("Kunden"),
                        QStringLiteral("Kein Kunde gefunden"));
}

QString vt_knr_su(Connection& connection, QWidget* parent) {
    const QString part = QStringLiteral("VeltarSU.vt_knr_su");
    TraceLog(part, QStringLiteral("Start"), QString(), 40);
    QString chosen;
    {
        FMKnrsu search(connection, parent);
        search.exec();
        chosen = search.chosen();
    }
    TraceLog(part, QStringLiteral("Ende"), chosen, 40);
    return chosen;
}
