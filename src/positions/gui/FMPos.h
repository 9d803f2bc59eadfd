#pragma once

#include "positions/PositionLoad.h"

#include <QDialog>

class QAction;
class QLabel;
class QTableView;
class QTimer;
class QToolBar;
class QTreeView;

// "VELTAR Quendra Preisdaten - Positionen": the positions of one supplier
// download in the grid lipos, the supplier's ERP articles in the candidate
// list libm below it, and the toolbar tool1. The load starts once the window
// is shown; rows appear as they arrive.
class FMPos : public QDialog {
    Q_OBJECT
public:
    explicit FMPos(const PositionDownload& download, QWidget* parent = nullptr);
    ~FMPos() override;

    PositionGridModel* Grid() const { return m_grid; }
    CandidateListModel* Candidates() const { return m_candidates; }
    const PositionLists& Lists() const { return m_lists; }
    // The toolbar button with the caption text; nullptr when there is none.
    QAction* ToolButton(const QString& caption) const;
    bool loading() const { return m_loading; }

    // The toolbar's captions, in their order.
    static QStringList ToolCaptions();

public Q_SLOTS:
    void Timer1_Timer();
    // The grid load; with refill the candidate list is read again as well.
    void LoadGrid(bool refill);
    void Aktualisieren_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void Form_Resize();

    PositionDownload m_download;
    PositionGridModel* m_grid;
    CandidateListModel* m_candidates;
    PositionLists m_lists;
    bool m_loading = false;
    bool m_closeAsked = false;

    QToolBar* tool1;
    QTableView* lipos;
    QLabel* libmTitle;
    QTreeView* libm;
    QTimer* Timer1;
};
