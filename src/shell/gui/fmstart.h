#pragma once

#include <QMainWindow>
#include <QPointer>

#include "conditions/gui/ConditionWindows.h"
#include "shell/Downloads.h"

#include <optional>

class QAction;
class QModelIndex;
class QTimer;
class QToolBar;
class QTreeView;

// The main window: the supplier downloads of the session's company, the
// toolbar that starts every task, and the menu with a new login, the trace
// log and the about box. Closing it ends the program.
class fmstart : public QMainWindow {
    Q_OBJECT
public:
    // The task windows it opens work on the program's connection.
    explicit fmstart(Connection& connection, QWidget* parent = nullptr);
    ~fmstart() override;

    // The toolbar button with the number 1 to 5.
    QAction* ToolButton(int number) const;
    // The list lilief shows.
    DownloadListModel* Downloads() const { return m_downloads; }
    // The selected download; none when no row is selected.
    std::optional<DownloadRow> SelectedDownload() const;

public Q_SLOTS:
    // Rebuilds lilief from the server, the newest download on top.
    void RefreshDownloadList();
    // The title for the current session (also after a new login).
    void RenewTitle();
    // 1 "Import Datei", 2 "Import Web", 3 "Positionen", 4 "Löschen",
    // 5 "Beenden".
    void tool1_ButtonClick(int number);
    void lilief_Click(const QModelIndex& index);
    void lilief_DblClick(const QModelIndex& index);
    void mLogin_Click();
    void mProgrammverlauf_Click();
    void HilfeUeber_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildDownloadList();
    void DeleteSelectedDownload();
    // The task windows (1 to 3) open only while a user is logged in.
    void OpenTaskWindow(int number);
    static bool LoggedIn();
    void SetRowButtonsEnabled(bool enabled);

    Connection& m_connection;
    QToolBar* tool1;
    QAction* m_tool[5];
    QTreeView* lilief;
    DownloadListModel* m_downloads;
    QTimer* Timer1;
    QPointer<QWidget> m_about;
    bool m_shown = false;
    // What the import and positions windows reach of the conditions.
    ConditionWindows m_conditions;
};
