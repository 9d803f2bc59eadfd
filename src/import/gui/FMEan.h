#pragma once

#include "import/EanMatch.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

// "VELTAR Quendra Preisdaten - Einlesen EAN/Preismatch": asks for a match
// file once it is shown, lists its articles with the description of the
// download's position that has each EAN, and on "Verbuchen" gives the ERP
// articles their EANs. The window closes when the buyer cancels the file
// choice, when the file is missing and after "Verbuchen".
class FMEan : public QDialog {
    Q_OBJECT
public:
    FMEan(Connection& connection, const PositionDownload& download, QWidget* parent = nullptr);
    ~FMEan() override;

    EanMatchModel* Rows() const { return m_rows; }
    QString FileText() const;
    // True once "Verbuchen" ran without a server error or a refused row.
    bool posted() const { return m_posted; }
    // True once "Verbuchen" was pressed (something may be stored).
    bool attempted() const { return m_attempted; }

public Q_SLOTS:
    void Timer1_Timer();
    void BUVerbuch_Click();
    // Reads the file into the list; false (and the window closes) when it
    // is missing.
    bool OpenFile(const QString& path);

private:
    Connection& m_connection;
    PositionDownload m_download;
    EanMatchModel* m_rows;
    bool m_posted = false;
    bool m_attempted = false;
    QLineEdit* TXTFile;
    QTreeView* liart;
    QPushButton* BUVerbuch;
    QTimer* Timer1;
};
