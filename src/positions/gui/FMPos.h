#pragma once

#include "positions/PositionEdit.h"
#include "positions/PositionLoad.h"

#include <memory>

#include <QDialog>

class QAction;
class fmverbuch;
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
    // The discount groups of the download (FMRabgr); the grid is reloaded
    // without the candidate list afterwards.
    void Rabattgruppen_Click();
    // The posting window (fmverbuch), kept between postings; the grid and
    // the candidate list are reloaded after a posting.
    void Verbuchen_Click();
    // The EAN/price match window (FMEan); the grid and the candidate list
    // are reloaded afterwards.
    void EinlesenEan_Click();
    // The price list of the download (FMDruck).
    void Drucken_Click();
    // The article search for the current row's "Art.-Nr." (F4 or the
    // context menu on that cell); the chosen article is entered as typed.
    void ArtikelSuchen();
    // The candidate list: a click goes to the grid row of the article, a
    // double-click assigns the article to the current grid row.
    void libm_Click();
    void libm_DblClick();
    // Marks the selected rows (column "Übn" "1"); marked rows selected
    // again lose their marks.
    void SelektMark_Click();
    // Switches the grid between single and multiple selection.
    void Multiselekt_Click();
    // Asks for a column and a value and sets it on every marked row.
    void Mehrfachsetzen_Click();
    // The work of "Mehrfachsetzen": false when no row is marked.
    bool SetMarkedRows(int column, const QString& value);

    QTableView* PositionGridView() const { return lipos; }
    QTreeView* CandidateView() const { return libm; }
    PositionEditor* Editor() const { return m_editor.get(); }
    // The posting window while it is kept; nullptr before the first posting
    // and after the buyer closed it.
    fmverbuch* PostingWindow() const { return m_posting; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void Form_Resize();
    // Ends a cell edit in progress, so that it is taken before another
    // window works on the grid.
    void commitEdit();

    PositionDownload m_download;
    PositionGridModel* m_grid;
    CandidateListModel* m_candidates;
    PositionLists m_lists;
    std::unique_ptr<PositionEditor> m_editor;
    std::unique_ptr<EditPrompts> m_prompts;
    bool m_loading = false;
    bool m_closeAsked = false;
    fmverbuch* m_posting = nullptr;

    QToolBar* tool1;
    QTableView* lipos;
    QLabel* libmTitle;
    QTreeView* libm;
    QTimer* Timer1;
};
