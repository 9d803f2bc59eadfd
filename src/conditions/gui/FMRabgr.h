#pragma once

#include "conditions/DiscountGroups.h"

#include <QDate>
#include <QDialog>

class QAction;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class QToolBar;

// "VELTAR Quendra Preisdaten - Rabattgruppen setzen neues Ab-Datum": one
// validity date for all discount groups. Starts with today's date.
class FMRabgrdat : public QDialog {
    Q_OBJECT
public:
    explicit FMRabgrdat(DiscountGroupEditor& editor, QWidget* parent = nullptr);

    QDateEdit* DateEdit() const { return Datum; }
    QPushButton* SetButton() const { return Command1; }

public Q_SLOTS:
    void Command1_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DiscountGroupEditor& m_editor;
    QDateEdit* Datum;
    QPushButton* Command1;
};

// "VELTAR Quendra Preisdaten - Rabattgruppen": the discount groups of the
// download in grekgrp, edited in place, saved with "Speichern" and released
// into the ERP with "Verbuchen". A click on the header of "Datum ab" opens
// FMRabgrdat for a new date of all groups.
class FMRabgr : public QDialog {
    Q_OBJECT
public:
    FMRabgr(Connection& connection, const PositionDownload& download, QWidget* parent = nullptr);
    ~FMRabgr() override;

    DiscountGroupModel* Groups() const { return m_groups; }
    DiscountGroupEditor& Editor() { return m_editor; }
    QTableView* GroupView() const { return grekgrp; }
    QAction* ToolButton(const QString& caption) const;
    QString StatusText() const;
    static QStringList ToolCaptions();

public Q_SLOTS:
    void Timer1_Timer();
    void Timer2_Timer();
    void Speichern_Click();
    void Verbuchen_Click();
    void Ausstieg_Click();
    // The column event of the grid: "Datum ab" opens the date dialog.
    void grekgrp_ColumnClick(int column);

protected:
    void done(int result) override;

private:
    // Ends a cell edit in progress, so its text reaches the model; false
    // when that edit was refused.
    bool endEdit();

    PositionDownload m_download;
    DiscountGroupModel* m_groups;
    DiscountGroupEditor m_editor;

    QToolBar* ctToolBar1;
    QTableView* grekgrp;
    QLabel* lbstatus;
    QTimer* Timer1;
    QTimer* Timer2;
};
