#include "FMDef.h"

#include "base/SessionContext.h"
#include "import/SupplierDefaults.h"
#include "widgets/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMDef");

QLineEdit* makeBox(QWidget* parent, const QString& name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

} // namespace

const QStringList& FMDef::roundings() {
    static const QStringList list{QStringLiteral("0,01"), QStringLiteral("0,05"),
                                  QStringLiteral("0,10"), QStringLiteral("1,00")};
    return list;
}

FMDef::FMDef(Connection& connection, const QString& supplier, QWidget* parent)
    : QDialog(parent), m_connection(connection), m_supplier(supplier) {
    setObjectName(QStringLiteral("FMDef"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Defaults"));
    setModal(true);

    TXTLnr = makeBox(this, QStringLiteral("TXTLnr"));
    TXTLnr->setReadOnly(true);
    TXTLnr->setText(m_supplier);
    TXTWarengruppe = makeBox(this, QStringLiteral("TXTWarengruppe"));
    TXTWarengruppe->setMaxLength(20);
    TXTAufschlag = makeBox(this, QStringLiteral("TXTAufschlag"));
    TXTAufschlag->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\d{0,4}(,\\d{0,2})?")), TXTAufschlag));
    TXTAufschlag->setAlignment(Qt::AlignRight);
    TXTAufschlag->setMaximumWidth(100);
    CBRundung = new QComboBox(this);
    CBRundung->setObjectName(QStringLiteral("CBRundung"));
    CBRundung->addItems(roundings());
    CHKFreigabe = new QCheckBox(QStringLiteral("Artikel beim Verbuchen sofort freigeben"), this);
    CHKFreigabe->setObjectName(QStringLiteral("CHKFreigabe"));

    BUSpeich = new QPushButton(QStringLiteral("Speichern"), this);
    BUSpeich->setObjectName(QStringLiteral("BUSpeich"));
    BUSpeich->setDefault(true);
    BUAbbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    BUAbbruch->setObjectName(QStringLiteral("BUAbbruch"));
    BUAbbruch->setAutoDefault(false);
    connect(BUSpeich, &QPushButton::clicked, this, &FMDef::BUSpeich_Click);
    connect(BUAbbruch, &QPushButton::clicked, this, &FMDef::reject);

    auto* form = new QFormLayout;
    LBLname = new QLabel(this);
    LBLname->setObjectName(QStringLiteral("LBLname"));
    auto* supplierRow = new QHBoxLayout;
    supplierRow->addWidget(TXTLnr);
    supplierRow->addWidget(LBLname, 1);
    form->addRow(QStringLiteral("Lieferant:"), supplierRow);
    form->addRow(QStringLiteral("Warengruppe:"), TXTWarengruppe);
    auto* markup = new QHBoxLayout;
    markup->addWidget(TXTAufschlag);
    markup->addWidget(new QLabel(QStringLiteral("%"), this));
    markup->addStretch();
    form->addRow(QStringLiteral("Aufschlag:"), markup);
    form->addRow(QStringLiteral("Rundung:"), CBRundung);
    form->addRow(QStringLiteral("Freigabe:"), CHKFreigabe);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BUSpeich);
    buttons->addWidget(BUAbbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    bool loaded = false;
    const SupplierDefaults d = LoadSupplierDefaults(m_connection, m_supplier, &loaded);
    LBLname->setText(d.name);
    TXTWarengruppe->setText(d.warengruppe);
    TXTAufschlag->setText(d.aufschlag);
    const int rounding = CBRundung->findText(d.rundung);
    if (rounding >= 0)
        CBRundung->setCurrentIndex(rounding);
    else if (!d.rundung.isEmpty()) {
        // A value kept from elsewhere stays as it is until the buyer picks another.
        CBRundung->addItem(d.rundung);
        CBRundung->setCurrentIndex(CBRundung->count() - 1);
    }
    CHKFreigabe->setChecked(d.freigabe == u"J");
    // Defaults that could not be read are not overwritten with empty ones.
    BUSpeich->setEnabled(loaded && !m_supplier.isEmpty());

    resize(440, sizeHint().height());
    RestoreWindowPlacement(this, kPlacementKey);
}

FMDef::~FMDef() = default;

void FMDef::BUSpeich_Click() {
    SupplierDefaults d;
    d.warengruppe = TXTWarengruppe->text().trimmed();
    d.aufschlag = TXTAufschlag->text();
    d.rundung = CBRundung->currentText();
    d.freigabe = CHKFreigabe->isChecked() ? QStringLiteral("J") : QStringLiteral("N");
    if (SaveSupplierDefaults(m_connection, m_supplier, d))
        accept();
}

void FMDef::done(int result) {
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}
