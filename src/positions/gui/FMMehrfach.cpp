#include "FMMehrfach.h"

#include "positions/PositionEdit.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

FMMehrfach::FMMehrfach(int currentColumn, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FMMehrfach"));
    setWindowTitle(QStringLiteral("Mehrfachsetzen"));
    auto* form = new QFormLayout(this);
    CBSpalte = new QComboBox(this);
    CBSpalte->setObjectName(QStringLiteral("CBSpalte"));
    // The columns the editor sets on many rows (never a locked one).
    for (int c : PositionEditor::BatchColumns())
        CBSpalte->addItem(
            PositionGrid::Caption(c) + QStringLiteral("  (Spalte ") + QString::number(c) + u')', c);
    if (currentColumn >= 0 && CBSpalte->findData(currentColumn) >= 0)
        CBSpalte->setCurrentIndex(CBSpalte->findData(currentColumn));
    TXTWert = new QLineEdit(this);
    TXTWert->setObjectName(QStringLiteral("TXTWert"));
    form->addRow(QStringLiteral("Spalte:"), CBSpalte);
    form->addRow(QStringLiteral("Wert:"), TXTWert);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

int FMMehrfach::column() const {
    return CBSpalte->currentData().toInt();
}

QString FMMehrfach::value() const {
    return TXTWert->text();
}
