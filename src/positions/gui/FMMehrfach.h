#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

// "Mehrfachsetzen": the column (one the editor sets on many rows) and the
// value to set on every marked row. The column of the current cell is
// chosen when it is one of them.
class FMMehrfach : public QDialog {
    Q_OBJECT
public:
    FMMehrfach(int currentColumn, QWidget* parent);

    int column() const;
    QString value() const;

private:
    QComboBox* CBSpalte;
    QLineEdit* TXTWert;
};
