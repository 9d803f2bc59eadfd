#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The supplier search: a part of the name and the account group; the hits
// (at most 500) are listed with number, name, post code and place. A double
// click, Enter in the list or "Übernehmen" chooses the supplier.
class FMLnrsu : public QDialog {
    Q_OBJECT
public:
    explicit FMLnrsu(QWidget* parent = nullptr);
    ~FMLnrsu() override;

    // The supplier number chosen; empty when the window closed without one.
    QString chosenSupplier() const { return m_chosen; }

public Q_SLOTS:
    void BUSuchen_Click();
    void BUOK_Click();
    void LNRSULI_DblClick(QTreeWidgetItem* item);
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Choose(QTreeWidgetItem* item);

    QLineEdit* SKBEZ;
    QComboBox* SSKTOK;
    QPushButton* BUSuchen;
    QTreeWidget* LNRSULI;
    QLabel* LBLAnzahl;
    QPushButton* BUOK;
    QPushButton* BUAbbruch;
    QString m_chosen;
};

// Shows the supplier search modally and returns the chosen supplier number,
// or "" when none was chosen.
QString vt_lnr_su(QWidget* parent);
