#pragma once

#include <QMainWindow>
#include <QPointer>

class QAction;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// The main window: the supplier downloads of the session's company, the
// toolbar that starts every task, and the menu with a new login, the trace
// log and the about box. Closing it ends the program.
class fmstart : public QMainWindow {
    Q_OBJECT
public:
    explicit fmstart(QWidget* parent = nullptr);
    ~fmstart() override;

    // The toolbar button with the number 1 to 5.
    QAction* ToolButton(int number) const;

public Q_SLOTS:
    // Rebuilds lilief from the server, the newest download on top.
    void RefreshDownloadList();
    // The title for the current session (also after a new login).
    void RenewTitle();
    // 1 "Import Datei", 2 "Import Web", 3 "Positionen", 4 "Löschen",
    // 5 "Beenden".
    void tool1_ButtonClick(int number);
    void lilief_Click(QTreeWidgetItem* item);
    void lilief_DblClick(QTreeWidgetItem* item);
    void mLogin_Click();
    void mProgrammverlauf_Click();
    void HilfeUeber_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void DeleteSelectedDownload();
    void OpenTaskWindow(int number);
    void SetRowButtonsEnabled(bool enabled);

    QToolBar* tool1;
    QAction* m_tool[5];
    QTreeWidget* lilief;
    QTimer* Timer1;
    QPointer<QWidget> m_about;
    bool m_shown = false;
};
