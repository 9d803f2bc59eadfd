#pragma once

#include "session/Login.h"

#include <QDialog>
#include <QList>

class Connection;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The server connection list "VELTAR Server": the server entries kept on the
// server and the boxes the login takes its connection data from. Clicking an
// entry takes it into the boxes; its context menu keeps it as the
// workstation's default; "Ändern" lets the entry be changed and saved. Data
// typed through "Ändern" are used for the next connection attempt and login
// even when the server cannot be reached to hold them: this workstation
// keeps them then. The window opens where it was last placed but never
// stores its placement.
class FMServer : public QDialog {
    Q_OBJECT
public:
    explicit FMServer(Connection& connection, QWidget* parent = nullptr);
    ~FMServer() override;

    // The server list being shown, if any.
    static FMServer* current();

public Q_SLOTS:
    // Takes the entry of the row into the boxes and the login data.
    void liServer_Click(QTreeWidgetItem* item);
    // "Eintrag als Standard" for the chosen entry.
    void EintragAlsStandard();
    void BUEdit_Click();
    void BUOK_Click();
    // Once an entry was chosen (a click, the keys, "Eintrag als Standard",
    // a saved change), the boxes become the login data however the window
    // closes; so do boxes changed through "Ändern" and closed with OK.
    // Without either nothing changes.
    void done(int result) override;

private:
    Connection& m_connection;
    void buildList();
    void buildBoxes();
    void buildLayout();
    void LoadEntries(const QString& selectId);
    void FillBoxes();
    void SetEditable(bool editable);
    void ShowContextMenu(const QPoint& pos);
    ServerEntry EntryFromBoxes() const;
    // Whether the boxes differ from what they showed when "Ändern" allowed
    // changes.
    bool BoxesChanged() const;
    const ServerEntry* ChosenEntry() const;

    QTreeWidget* liServer;
    QLineEdit* BBEZEICHNUNG;
    QLineEdit* BNAMESPACE;
    QLineEdit* BFIRMA;
    QLineEdit* BFIL;
    QLineEdit* BSERVERIP;
    QLineEdit* BPORT;
    QLineEdit* BWJ;
    QPushButton* BUEdit;
    QPushButton* BUOK;
    QLabel* lbStatus; // what the last action did
    QAction* m_standard;

    QList<ServerEntry> m_entries;
    ServerEntry m_beforeEdit;
    bool m_editing = false;
    bool m_chosen = false;
};
