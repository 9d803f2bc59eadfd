#include "FMLnrsu.h"

#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "lookup/VeltarSu.h"

#include <QComboBox>
#include <QLineEdit>

FMLnrsu::FMLnrsu(Connection& connection, QWidget* parent)
    : SearchDialog(QStringLiteral("FMLnrsu"), QStringLiteral("VELTAR Lieferantensuche"),
                   QStringLiteral("LNRSULI"), QStringLiteral("FMLnrsu"), parent),
      m_connection(connection), m_hits(new PartnerHitModel(QStringLiteral("Lief.-Nr"), this)) {
    SKBEZ = new QLineEdit(this);
    SKBEZ->setObjectName(QStringLiteral("SKBEZ"));
    SKBEZ->setPlaceholderText(QStringLiteral("Teil des Namens"));
    SSKTOK = new QComboBox(this);
    SSKTOK->setObjectName(QStringLiteral("SSKTOK"));
    SSKTOK->setEditable(true);
    SSKTOK->setMinimumContentsLength(24);
    // The ERP's supplier account groups; the first is the usual one.
    QStringList groups = LoadAccountGroups(m_connection, QStringLiteral("L"));
    if (groups.isEmpty())
        groups << QStringLiteral("1|Lieferanten");
    SSKTOK->addItems(groups);
    addCriteria(QStringLiteral("Name:"), SKBEZ);
    addCriteria(QStringLiteral("Kontengruppe:"), SSKTOK);
    finish(m_hits, {90, 280, 70});
    SKBEZ->setFocus();
}

FMLnrsu::~FMLnrsu() = default;

int FMLnrsu::search() {
    BusyPointer busy;
    bool ok = false;
    m_hits->setHits(getlnrsu(m_connection, SKBEZ->text(), SSKTOK->currentText(), &ok));
    return ok ? m_hits->rowCount() : -1;
}

QString FMLnrsu::valueOf(int row) const {
    return m_hits->hits().value(row).number;
}

QString FMLnrsu::countText(int hits) const {
    return HitCountText(hits, kMaxPartnerHits, QStringLiteral("Lieferant"),
                        QStringLiteral("Lieferanten"), QStringLiteral("Kein Lieferant gefunden"));
}

QString vt_lnr_su(Connection& connection, QWidget* parent) {
    const QString part = QStringLiteral("VeltarSU.vt_lnr_su");
    TraceLog(part, QStringLiteral("Start"), QString(), 40);
    QString chosen;
    {
        FMLnrsu search(connection, parent);
        search.exec();
        chosen = search.chosenSupplier();
    }
    TraceLog(part, QStringLiteral("Ende"), chosen, 40);
    return chosen;
}
