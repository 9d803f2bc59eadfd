#pragma once

#include <QDialog>

class Connection;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "VELTAR Quendra Preisdaten - Defaults": the defaults the buyer keeps for
// a supplier. "Speichern" stores them and closes,
// "Abbruch" closes without storing.
class FMDef : public QDialog {
    Q_OBJECT
public:
    // The defaults of supplier.
    FMDef(Connection& connection, const QString& supplier, QWidget* parent = nullptr);
    ~FMDef() override;

    static const QStringList& roundings();

public Q_SLOTS:
    void BUSpeich_Click();
    void done(int result) override;

private:
    Connection& m_connection;
    QString m_supplier;
    QLineEdit* TXTLnr;
    QLabel* LBLname;
    QLineEdit* TXTWarengruppe;
    QLineEdit* TXTAufschlag;
    QComboBox* CBRundung;
    QCheckBox* CHKFreigabe;
    QPushButton* BUSpeich;
    QPushButton* BUAbbruch;
};
