// What the buyer does in the positions window: the toolbar and the windows
// it opens, sort, filter, find and export of the grid as shown, the article
// search, the candidate list's clicks, marks and "Mehrfachsetzen".
#include "FMPos.h"

#include "ConditionsOpener.h"
#include "FMDruck.h"
#include "FMMehrfach.h"
#include "FMUebersicht.h"
#include "FrozenColumnsView.h"
#include "PositionExportDialog.h"
#include "PositionFilterBar.h"
#include "PositionFindBar.h"
#include "base/UserInterface.h"
#include "import/gui/FMEan.h"
#include "lookup/gui/FMArtsu.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <algorithm>
#include <vector>

QStringList FMPos::ToolCaptions() {
    return {QStringLiteral("Rabattgruppen"),  QStringLiteral("Aktualisieren"),
            QStringLiteral("Verbuchen"),      QStringLiteral("Drucken"),
            QStringLiteral("Selekt. mark"),   QStringLiteral("Multiselekt"),
            QStringLiteral("Mehrfachsetzen"), QStringLiteral("Einlesen EAN"),
            QStringLiteral("Ausstieg")};
}

void FMPos::buildToolbar() {
    tool1 = new QToolBar(this);
    tool1->setObjectName(QStringLiteral("tool1"));
    tool1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tool1->setIconSize(QSize(24, 24));
    const QStyle::StandardPixmap icons[] = {
        QStyle::SP_FileDialogListView,     QStyle::SP_BrowserReload,
        QStyle::SP_DialogApplyButton,      QStyle::SP_DialogSaveButton,
        QStyle::SP_DialogYesButton,        QStyle::SP_FileDialogDetailedView,
        QStyle::SP_FileDialogContentsView, QStyle::SP_DialogOpenButton,
        QStyle::SP_DialogCloseButton};
    const QStringList captions = ToolCaptions();
    for (int i = 0; i < captions.size(); ++i) {
        QAction* a = tool1->addAction(style()->standardIcon(icons[i]), captions[i]);
        a->setObjectName(QStringLiteral("tool1_") + QString::number(i + 1));
        a->setEnabled(true);
    }
    connect(ToolButton(QStringLiteral("Aktualisieren")), &QAction::triggered, this,
            &FMPos::Aktualisieren_Click);
    connect(ToolButton(QStringLiteral("Rabattgruppen")), &QAction::triggered, this,
            &FMPos::Rabattgruppen_Click);
    connect(ToolButton(QStringLiteral("Verbuchen")), &QAction::triggered, this,
            &FMPos::Verbuchen_Click);
    connect(ToolButton(QStringLiteral("Drucken")), &QAction::triggered, this,
            &FMPos::Drucken_Click);
    connect(ToolButton(QStringLiteral("Einlesen EAN")), &QAction::triggered, this,
            &FMPos::EinlesenEan_Click);
    // Also while a load runs: the load stops and the window closes.
    connect(ToolButton(QStringLiteral("Ausstieg")), &QAction::triggered, this, &QDialog::close);
    connect(ToolButton(QStringLiteral("Selekt. mark")), &QAction::triggered, this,
            &FMPos::SelektMark_Click);
    QAction* multi = ToolButton(QStringLiteral("Multiselekt"));
    multi->setCheckable(true);
    connect(multi, &QAction::triggered, this, &FMPos::Multiselekt_Click);
    connect(ToolButton(QStringLiteral("Mehrfachsetzen")), &QAction::triggered, this,
            &FMPos::Mehrfachsetzen_Click);
    // "Übersicht" before "Ausstieg"; the buttons before it keep their names.
    auto* overview = new QAction(style()->standardIcon(QStyle::SP_FileDialogInfoView),
                                 QStringLiteral("Übersicht"), tool1);
    overview->setObjectName(QStringLiteral("tool1_10"));
    overview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    overview->setToolTip(QStringLiteral("Übersicht (Strg+U)"));
    tool1->insertAction(ToolButton(QStringLiteral("Ausstieg")), overview);
    connect(overview, &QAction::triggered, this, &FMPos::Uebersicht_Click);
    setToolsEnabled(false);
}

QAction* FMPos::ToolButton(const QString& caption) const {
    for (QAction* a : tool1->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

void FMPos::setToolsEnabled(bool enabled) {
    for (QAction* a : tool1->actions())
        a->setEnabled(enabled || a->text() == u"Ausstieg");
}

void FMPos::Aktualisieren_Click() {
    LoadGrid(true);
}

void FMPos::Rabattgruppen_Click() {
    if (m_loading || !m_conditions)
        return;
    commitEdit();
    m_conditions->showDiscountGroups(m_connection, m_download, this);
    LoadGrid(false);
}

void FMPos::Verbuchen_Click() {
    if (m_loading || !m_conditions)
        return;
    commitEdit();
    if (!m_posting)
        // What was marked for the posting is not marked for another.
        m_posting = m_conditions->makePostingWindow(
            m_connection, *m_grid, m_download, [this] { LoadGrid(true, false); }, this);
    // A run that stopped at a refused position has reloaded the grid
    // already; one that ended hid the window, and the grid shows the ERP's
    // view of what was posted. A count of the preview that was clicked
    // shows its rows.
    const ConditionsOpener::Posting posting = m_conditions->showPostingWindow(m_posting);
    if (posting.discarded) {
        delete m_posting;
        m_posting = nullptr;
    }
    if (posting.posted)
        LoadGrid(true, false);
    if (posting.linked)
        SetFilter(*posting.linked);
}

void FMPos::EinlesenEan_Click() {
    if (m_loading)
        return;
    commitEdit();
    {
        FMEan match(m_connection, m_download, this);
        match.exec();
    }
    // The grid and the candidate list are read again however the window
    // returns.
    LoadGrid(true);
}

void FMPos::Drucken_Click() {
    if (m_loading)
        return;
    commitEdit();
    FMDruck print(*m_grid, m_download, this);
    print.exec();
}

void FMPos::Uebersicht_Click() {
    if (m_loading)
        return;
    commitEdit();
    if (!m_overview) {
        m_overview = new FMUebersicht(*m_view, this);
        connect(m_overview, &FMUebersicht::filterWanted, this, &FMPos::SetFilter);
        connect(m_overview, &FMUebersicht::rowWanted, this, &FMPos::ShowGridRow);
    }
    m_overview->show();
    m_overview->raise();
    m_overview->activateWindow();
}

bool FMPos::ShowGridRow(int row) {
    const int column =
        lipos->currentIndex().isValid() ? lipos->currentIndex().column() : PositionGrid::BestNr;
    if (m_view->viewRow(row) < 0 && m_view->filter().step >= 0) {
        PositionFilter f = m_view->filter();
        f.step = -1;
        SetFilter(f);
    }
    if (!setCurrentGridRow(row, column)) {
        ShowNote(QStringLiteral("Die Position %1 ist ausgefiltert")
                     .arg(m_grid->cellText(row, PositionGrid::BestNr)));
        return false;
    }
    lipos->scrollTo(lipos->currentIndex(), QAbstractItemView::PositionAtCenter);
    return true;
}

void FMPos::SortByColumn(int column) {
    commitEdit();
    m_view->cycleSort(column);
    const int sorted = m_view->sortColumn();
    for (QHeaderView* h : {lipos->horizontalHeader(), lipos->frozenView()->horizontalHeader()})
        h->setSortIndicator(sorted, m_view->sortOrder());
    if (lipos->currentIndex().isValid())
        lipos->scrollTo(lipos->currentIndex());
}

PositionFilter FMPos::FilterFromBar() const {
    return filterbar->filter();
}

void FMPos::applyFilterBar() {
    SetFilter(FilterFromBar());
}

void FMPos::SetFilter(const PositionFilter& filter) {
    filterbar->stopTyping();
    // A value typed into a cell is taken before other rows are shown.
    commitEdit();
    filterbar->showFilter(filter);
    if (filter == m_view->filter())
        return;
    // The current row stays current when it passes the new filter.
    const int row = currentGridRow();
    const int currentColumn = lipos->currentIndex().isValid() ? lipos->currentIndex().column() : 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_view->setFilter(filter);
    QApplication::restoreOverrideCursor();
    if (row >= 0 && setCurrentGridRow(row, currentColumn))
        lipos->scrollTo(lipos->currentIndex(), QAbstractItemView::PositionAtCenter);
    else if (m_view->rowCount() > 0 && !m_loading)
        lipos->setCurrentIndex(m_view->index(0, currentColumn));
}

void FMPos::ShowFind() {
    findbar->showFind();
}

bool FMPos::FindNext(bool forward) {
    return findbar->findNext(forward);
}

void FMPos::Exportieren() {
    if (m_loading)
        return;
    commitEdit();
    const QString path = AskExportFile(m_download, this);
    if (path.isEmpty())
        return;
    ExportTo(path);
}

bool FMPos::ExportTo(const QString& path) {
    if (m_loading)
        return false;
    commitEdit();
    // The rows as shown: the filter's, in the sort's order.
    const PositionExportResult result =
        ExportWithProgress(path, *m_grid, m_view->sourceRows(), this);
    if (result.ok) {
        lbStatus->setText(QStringLiteral("%1 exportiert: %2")
                              .arg(PositionStatusText(result.rows, result.rows, false), path));
        return true;
    }
    if (result.cancelled)
        lbStatus->setText(result.error);
    else
        UI().message(result.error, QString(), MessageIcon::Critical, MessageButtons::Ok);
    return false;
}

void FMPos::ArtikelSuchen() {
    const int row = currentGridRow();
    if (m_loading || row < 0)
        return;
    commitEdit();
    if (!m_grid->isEditable(row, PositionGrid::ArtNr)) {
        UI().message(QStringLiteral("Die Zelle kann nicht bearbeitet werden"), QString(),
                     MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const QString article = vt_art_su(m_connection, m_download.supplier, this);
    if (article.isEmpty())
        return;
    setCurrentGridRow(row, PositionGrid::ArtNr);
    // As if typed into the cell: the assignment and its checks.
    m_grid->setData(m_grid->index(row, PositionGrid::ArtNr), article);
}

void FMPos::libm_Click() {
    const QModelIndex current = libm->currentIndex();
    if (!current.isValid())
        return;
    const int row = m_editor->rowOfCandidate(*m_candidates, current.row());
    if (row >= 0 && !setCurrentGridRow(row, PositionGrid::ArtNr))
        lbStatus->setText(QStringLiteral("Die Position mit Art.-Nr. %1 ist ausgefiltert")
                              .arg(m_grid->cellText(row, PositionGrid::ArtNr)));
}

void FMPos::libm_DblClick() {
    const QModelIndex selected = libm->currentIndex();
    if (!selected.isValid() || m_loading)
        return;
    const int current = currentGridRow();
    // The next row is the next one shown (sorted or filtered).
    const int shown = lipos->currentIndex().row();
    const int following = shown + 1 < m_view->rowCount() ? m_view->sourceRow(shown + 1) : -1;
    const int next = m_editor->assignCandidate(*m_candidates, selected.row(), current, following);
    if (next >= 0 && !setCurrentGridRow(next, PositionGrid::ArtNr))
        lbStatus->setText(QStringLiteral("Die Position mit Art.-Nr. %1 ist ausgefiltert")
                              .arg(m_grid->cellText(next, PositionGrid::ArtNr)));
}

void FMPos::SelektMark_Click() {
    // Range by range: a selection of every row is no list of every cell.
    std::vector<bool> taken(size_t(m_grid->size()), false);
    QList<int> rows;
    for (const QItemSelectionRange& range : lipos->selectionModel()->selection())
        for (int shown = range.top(); shown <= range.bottom(); ++shown) {
            const int row = m_view->sourceRow(shown);
            if (row >= 0 && !taken[size_t(row)]) {
                taken[size_t(row)] = true;
                rows << row;
            }
        }
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && currentGridRow() >= 0)
        rows << currentGridRow();
    m_grid->toggleMarks(rows);
}

void FMPos::Multiselekt_Click() {
    const bool multi = ToolButton(QStringLiteral("Multiselekt"))->isChecked();
    lipos->setSelectionMode(multi ? QAbstractItemView::ExtendedSelection
                                  : QAbstractItemView::SingleSelection);
    lipos->setSelectionBehavior(multi ? QAbstractItemView::SelectRows
                                      : QAbstractItemView::SelectItems);
    // The frozen columns select the same way.
    lipos->setFrozenColumns(kFrozenColumns);
}

void FMPos::Mehrfachsetzen_Click() {
    if (m_grid->markedRows().isEmpty()) {
        UI().message(QStringLiteral("Keine Zeilen markiert"), QString(), MessageIcon::Information,
                     MessageButtons::Ok);
        return;
    }
    const QModelIndex current = lipos->currentIndex();
    FMMehrfach ask(current.isValid() ? current.column() : -1, this);
    if (ask.exec() != QDialog::Accepted)
        return;
    SetMarkedRows(ask.column(), ask.value());
}

bool FMPos::SetMarkedRows(int column, const QString& value) {
    const QList<int> rows = m_grid->markedRows();
    if (rows.isEmpty())
        return false;
    const auto failures = m_editor->setOnRows(rows, column, value, *m_prompts);
    if (!failures.isEmpty()) {
        QString text = QStringLiteral("Nicht gesetzt:");
        for (const auto& f : failures)
            text += QStringLiteral("\nZeile %1 (%2): %3")
                        .arg(f.first + 1)
                        .arg(m_grid->cellText(f.first, PositionGrid::BestNr), f.second);
        UI().message(text, QString(), MessageIcon::Information, MessageButtons::Ok);
    }
    const qsizetype changed = rows.size() - failures.size();
    ShowNote(QStringLiteral("Mehrfachsetzen: %1 %2 geändert")
                 .arg(changed)
                 .arg(changed == 1 ? QStringLiteral("Position") : QStringLiteral("Positionen")));
    return true;
}
