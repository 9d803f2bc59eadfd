#pragma once

#include "positions/PositionEdit.h"
#include "positions/PositionLoad.h"
#include "positions/PositionView.h"

#include <memory>

#include <QSet>

#include <QDialog>

class ConditionsOpener;
class FMUebersicht;
class FrozenColumnsView;
class PositionCellDelegate;
class PositionFilterBar;
class PositionFindBar;
class QAction;
class QLabel;
class QSplitter;
class QTableView;
class QTimer;
class QToolBar;
class QTreeView;

// "VELTAR Quendra Preisdaten - Positionen": the positions of one supplier
// download in the grid lipos, the supplier's ERP articles in the candidate
// list libm below it, and the toolbar tool1. The load starts once the window
// is shown; rows appear as they arrive. The grid shows the rows through a
// PositionView: a header click sorts, the filter bar filters, Ctrl+F finds;
// "Übn" to "Bezeichnung" stay at the left while the grid scrolls across.
class FMPos : public QDialog {
    Q_OBJECT
public:
    FMPos(Connection& connection, const PositionDownload& download, QWidget* parent = nullptr);
    ~FMPos() override;

    // The discount groups and the posting window (conditions/gui) the
    // toolbar opens; whoever opens the window sets it.
    void setConditionsOpener(ConditionsOpener* opener) { m_conditions = opener; }

    PositionGridModel* Grid() const { return m_grid; }
    // The grid as shown (filter and sort).
    PositionView* View() const { return m_view; }
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
    // Marks stay on the positions that are still there, but after a posting.
    void LoadGrid(bool refill, bool keepMarks = true);
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
    // "Übersicht" (Ctrl+U): the overview of the rows shown (FMUebersicht),
    // beside the grid; it stays open while the buyer works in the grid.
    void Uebersicht_Click();
    // Makes a grid row current and shows it; a step of "% Abw." that hides
    // it is taken out of the filter. False when the filter hides it still.
    bool ShowGridRow(int row);
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

    // A click on the header of a column: ascending, descending, load order.
    void SortByColumn(int column);
    // Sets the filter of the grid, and the filter bar to show it.
    void SetFilter(const PositionFilter& filter);
    // The filter as the filter bar has it.
    PositionFilter FilterFromBar() const;
    // Ctrl+F: shows the find box and gives it the focus.
    void ShowFind();
    // The next (or previous) cell that holds the text of the find box;
    // false when there is none.
    bool FindNext(bool forward = true);
    QString StatusText() const;
    // A short note in the status line; the counts come back after a while.
    void ShowNote(const QString& note);
    // A key typed on a cell that takes no value (the grid does not search).
    void TypedOnLockedCell();
    // "Exportieren …" (Ctrl+E, the grid's context menu): asks for an .xlsx
    // or .csv file and writes the rows as the grid shows them.
    void Exportieren();
    // The work of it for a file, with a progress dialog; false when nothing
    // was written (the message shown, or cancelled).
    bool ExportTo(const QString& path);

    QTableView* PositionGridView() const;
    QTreeView* CandidateView() const { return libm; }
    PositionEditor* Editor() const { return m_editor.get(); }
    // The posting window (fmverbuch) while it is kept; nullptr before the
    // first posting and after the buyer closed it.
    QDialog* PostingWindow() const { return m_posting; }
    // The overview once it was opened; nullptr before.
    FMUebersicht* OverviewWindow() const { return m_overview; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    void done(int result) override;

private:
    // The columns that stay at the left: "Übn", "Stat", "Best.Nr.",
    // "Bezeichnung".
    static constexpr int kFrozenColumns = PositionGrid::Bezeichnung + 1;

    void Form_Resize();
    // The parts of the window, in the order they are made.
    void buildToolbar();
    void buildGrid();
    void buildGridActions();
    void buildCandidateList();
    void buildSplitter();
    void buildFilterBar();
    void buildFindBar();
    void buildLayout();
    void restoreLayout();
    void applyFilterBar();
    void updateStatus();
    // The toolbar while a load runs: only "Ausstieg".
    void setToolsEnabled(bool enabled);
    // "Best.Nr.", "Art.-Nr." and "Best-EAN" as wide as their content in a
    // sample of the rows.
    void fitColumnsToContent();
    // The grid row of the current cell; -1 none.
    int currentGridRow() const;
    // Makes the cell of a grid row current, when the row is shown.
    bool setCurrentGridRow(int row, int column);
    // Ends a cell edit in progress, so that it is taken before another
    // window works on the grid.
    void commitEdit();
    // What a reload keeps of the grid as the buyer left it.
    struct LoadPlace {
        QString currentId;
        int column = 0;
        QSet<QString> marked; // position ids
        int scrollDown = 0;
        int scrollAcross = 0;
    };
    LoadPlace loadPlace(bool keepMarks) const;
    void restoreLoadPlace(const LoadPlace& before);

    Connection& m_connection;
    PositionDownload m_download;
    PositionGridModel* m_grid;
    CandidateListModel* m_candidates;
    PositionLists m_lists;
    std::unique_ptr<PositionEditor> m_editor;
    PositionCellDelegate* m_delegate = nullptr;
    std::unique_ptr<EditPrompts> m_prompts;
    bool m_loading = false;
    bool m_closeAsked = false;
    ConditionsOpener* m_conditions = nullptr;
    QDialog* m_posting = nullptr;
    FMUebersicht* m_overview = nullptr;

    PositionView* m_view;
    bool m_splitterSet = false;
    bool m_closing = false;
    bool m_currentMoved = false; // the buyer chose a row while a load ran
    bool m_scrolledDuringLoad = false;
    int m_scrolledTo = 0; // where the buyer scrolled to while a load ran
    QTimer* m_noteTimer;
    bool m_columnsFitted = false;

    QToolBar* tool1;
    PositionFilterBar* filterbar;
    PositionFindBar* findbar;
    QSplitter* splitter;
    FrozenColumnsView* lipos;
    QWidget* libmPane;
    QLabel* libmTitle;
    QTreeView* libm;
    QLabel* lbStatus;
    QTimer* Timer1;
};
