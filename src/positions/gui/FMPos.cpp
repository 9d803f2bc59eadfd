// The positions window: its parts and their layout, the load, the status
// line and the window's events. What the buyer does in it (the toolbar and
// the windows it opens, sort, filter, find, export, marks) is in
// FMPosActions.cpp.
#include "FMPos.h"

#include "FMUebersicht.h"
#include "FrozenColumnsView.h"
#include "PositionCellDelegate.h"
#include "PositionFilterBar.h"
#include "PositionFindBar.h"
#include "base/WorkstationSettings.h"
#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMPos");
// The grid's share of the height above the candidate list, in thousandths,
// as the buyer left the splitter.
const QString kLayoutApplication = QStringLiteral("Quendrapr");
const QString kLayoutSection = QStringLiteral("Layout");
const QString kSplitterKey = QStringLiteral("FMPos.Raster");

// Twips as the window lays them out (15 twips a pixel on a 96-dpi screen).
int px(int twips) {
    return twips / 15;
}

// The busy pointer over the two lists while they load.
class ListsBusy {
public:
    ListsBusy(QWidget* a, QWidget* b) : m_a(a), m_b(b) {
        m_a->setCursor(Qt::WaitCursor);
        m_b->setCursor(Qt::WaitCursor);
    }
    ~ListsBusy() {
        m_a->unsetCursor();
        m_b->unsetCursor();
    }
    ListsBusy(const ListsBusy&) = delete;
    ListsBusy& operator=(const ListsBusy&) = delete;

private:
    QWidget* m_a;
    QWidget* m_b;
};

} // namespace

FMPos::FMPos(Connection& connection, const PositionDownload& download, QWidget* parent)
    : QDialog(parent), m_connection(connection), m_download(download) {
    setObjectName(QStringLiteral("FMPos"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Positionen"));
    setModal(true);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    m_grid = new PositionGridModel(this);
    m_grid->setObjectName(QStringLiteral("positions"));
    m_view = new PositionView(this);
    m_view->setObjectName(QStringLiteral("positionsView"));
    m_view->setSourceModel(m_grid);
    m_candidates = new CandidateListModel(this);
    m_candidates->setObjectName(QStringLiteral("candidates"));

    buildToolbar();
    buildGrid();
    buildCandidateList();
    buildSplitter();
    buildFilterBar();
    buildFindBar();
    buildLayout();

    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(4000);
    connect(m_noteTimer, &QTimer::timeout, this, &FMPos::updateStatus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &FMPos::Timer1_Timer);

    // The caption names the download's supplier.
    if (!m_download.key.isEmpty())
        setWindowTitle(PositionWindowCaption(m_download));
    restoreLayout();
    updateStatus();
    // Form_Load: the load runs on the first tick, after the window is shown.
    Timer1->start();
}

void FMPos::buildGrid() {
    lipos = new FrozenColumnsView(this);
    lipos->setObjectName(QStringLiteral("lipos"));
    lipos->frozenView()->setObjectName(QStringLiteral("liposFixiert"));
    lipos->setWordWrap(false);
    lipos->verticalHeader()->setDefaultSectionSize(lipos->fontMetrics().height() + 6);
    lipos->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lipos->horizontalHeader()->setHighlightSections(false);
    lipos->horizontalHeader()->setSortIndicatorShown(true);
    lipos->setModel(m_view);
    // Load order: no arrow.
    lipos->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    lipos->setSelectionBehavior(QAbstractItemView::SelectItems);
    lipos->setSelectionMode(QAbstractItemView::SingleSelection);
    lipos->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    // A header click sorts, in the frozen columns as in the others.
    for (QHeaderView* header :
         {lipos->horizontalHeader(), lipos->frozenView()->horizontalHeader()}) {
        header->setSectionsClickable(true);
        connect(header, &QHeaderView::sectionClicked, this, &FMPos::SortByColumn);
    }
    // Edits go to the model, which has them checked and written back.
    m_prompts = std::make_unique<DialogPrompts>(this);
    m_editor = std::make_unique<PositionEditor>(m_connection, *m_grid, m_lists, m_download);
    m_grid->editHandler = [this](int row, int column, const QString& value) {
        // The load shares the connection: no edit while it runs.
        if (m_loading)
            return false;
        const QString previous = m_grid->row(row).text(PositionGrid::ArtNr);
        if (!m_editor->edit(row, column, value, *m_prompts))
            return false;
        // An article typed or chosen with the search is "Zugeordnet" in the
        // candidate list at once.
        if (column == PositionGrid::ArtNr)
            m_candidates->assignmentChanged(previous, m_grid->row(row).text(PositionGrid::ArtNr),
                                            m_editor->rowOfArticle(previous) >= 0);
        return true;
    };
    buildGridActions();
    // Scrolled by the buyer while a load runs: the grid stays there.
    connect(lipos->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        if (m_loading) {
            m_scrolledDuringLoad = true;
            // The action's new place (it is applied after this signal).
            m_scrolledTo = lipos->verticalScrollBar()->sliderPosition();
        }
    });
    // Typed on a cell that takes no value: no search jumps to another row.
    connect(lipos, &FrozenColumnsView::typedWithoutEditor, this, &FMPos::TypedOnLockedCell);
    // A row made current while a load runs is the buyer's choice; the view
    // making the first cell current by itself (when rows come into an
    // empty grid) is none.
    connect(lipos->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                const bool byItself =
                    !previous.isValid() && current.row() == 0 && current.column() == 0;
                if (m_loading && current.isValid() && !byItself)
                    m_currentMoved = true;
            });
    // The column widths keep the proportions of the layout; taken as twips
    // they would be a few pixels wide, so a unit is a pixel here (plus the
    // cell margins), and no column is narrower than its caption (with room
    // for the sort arrow).
    const QFontMetrics header(lipos->horizontalHeader()->font());
    for (int c = 0; c < PositionGrid::kColumns; ++c)
        lipos->setColumnWidth(c, qMax(header.horizontalAdvance(PositionGrid::Caption(c)) + 26,
                                      PositionGrid::ColumnOf(c).widthTwips + 12));
    lipos->setFrozenColumns(kFrozenColumns);
}

void FMPos::buildGridActions() {
    m_delegate = new PositionCellDelegate(*m_editor, m_lists, lipos);
    lipos->setItemDelegate(m_delegate);
    lipos->setAlternatingRowColors(false);
    lipos->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* search = new QAction(QStringLiteral("Artikel suchen …"), lipos);
    search->setObjectName(QStringLiteral("ArtikelSuchen"));
    search->setShortcut(QKeySequence(Qt::Key_F4));
    // Also while a cell editor has the focus.
    search->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(search, &QAction::triggered, this, &FMPos::ArtikelSuchen);
    lipos->addAction(search);
    auto* exportRows = new QAction(QStringLiteral("Exportieren …"), this);
    exportRows->setObjectName(QStringLiteral("Exportieren"));
    exportRows->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(exportRows, &QAction::triggered, this, &FMPos::Exportieren);
    addAction(exportRows);
    lipos->addAction(exportRows);
    // The same on the frozen columns.
    lipos->frozenView()->setContextMenuPolicy(Qt::ActionsContextMenu);
    lipos->frozenView()->addAction(search);
    lipos->frozenView()->addAction(exportRows);
}

void FMPos::buildCandidateList() {
    libmTitle = new QLabel(QStringLiteral("Veltar Artikeldaten"), this);
    libmTitle->setObjectName(QStringLiteral("libmTitle"));
    QFont bold = libmTitle->font();
    bold.setBold(true);
    libmTitle->setFont(bold);
    libm = new QTreeView(this);
    libm->setObjectName(QStringLiteral("libm"));
    libm->setModel(m_candidates);
    libm->setRootIsDecorated(false);
    libm->setItemsExpandable(false);
    libm->setUniformRowHeights(true);
    SetListRowHeight(libm);
    libm->setAlternatingRowColors(true);
    libm->setSelectionBehavior(QAbstractItemView::SelectRows);
    libm->setEditTriggers(QAbstractItemView::NoEditTriggers);
    libm->header()->resizeSection(CandidateListModel::BestNr, 120);
    libm->header()->resizeSection(CandidateListModel::ArtNr, 90);
    libm->header()->resizeSection(CandidateListModel::Bezeichnung, 320);
    libm->header()->resizeSection(CandidateListModel::Zugeordnet, 90);
    connect(libm, &QTreeView::clicked, this, &FMPos::libm_Click);
    connect(libm, &QTreeView::doubleClicked, this, &FMPos::libm_DblClick);
}

void FMPos::buildSplitter() {
    libmPane = new QWidget(this);
    libmPane->setObjectName(QStringLiteral("libmPane"));
    auto* pane = new QVBoxLayout(libmPane);
    pane->setContentsMargins(0, 4, 0, 0);
    pane->setSpacing(2);
    pane->addWidget(libmTitle);
    pane->addWidget(libm, 1);
    splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(lipos);
    splitter->addWidget(libmPane);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    connect(splitter, &QSplitter::splitterMoved, this, [this] { m_splitterSet = true; });

    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
}

void FMPos::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 2);
    layout->setSpacing(3);
    layout->addWidget(tool1);
    layout->addWidget(filterbar);
    layout->addWidget(findbar);
    layout->addWidget(splitter, 1);
    layout->addWidget(lbStatus);

    connect(m_view, &PositionView::shownChanged, this, &FMPos::updateStatus);
    connect(m_grid, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_columnsFitted && m_grid->size() > 0) {
            m_columnsFitted = true;
            fitColumnsToContent();
        }
    });
}

void FMPos::restoreLayout() {
    resize(1200, 760);
    RestoreWindowPlacement(this, kPlacementKey);
    bool stored = false;
    const int share =
        WorkstationSettings::value(kLayoutApplication, kLayoutSection, kSplitterKey).toInt(&stored);
    if (stored && share > 0 && share < 1000) {
        splitter->setSizes({share, 1000 - share});
        m_splitterSet = true;
    }
}

void FMPos::buildFilterBar() {
    filterbar = new PositionFilterBar(this);
    connect(filterbar, &PositionFilterBar::changed, this, &FMPos::applyFilterBar);
    connect(filterbar, &PositionFilterBar::cleared, this, [this] { SetFilter(PositionFilter()); });
}

void FMPos::buildFindBar() {
    findbar = new PositionFindBar(*m_view, lipos, this);
    findbar->addFindActions(this);
}

FMPos::~FMPos() = default;

QTableView* FMPos::PositionGridView() const {
    return lipos;
}

void FMPos::Timer1_Timer() {
    Timer1->stop();
    if (m_download.key.isEmpty())
        return;
    PositionLoad::loadLists(m_connection, m_download.supplier, m_lists);
    m_editor->loadDefaults();
    libmPane->hide();
    LoadGrid(true);
    setToolsEnabled(true);
    libmPane->show();
}

void FMPos::LoadGrid(bool refill, bool keepMarks) {
    if (m_loading)
        return;
    commitEdit();
    // What the buyer had before: the current position, the marked ones and
    // where the grid was scrolled to come back for the positions that are
    // still there.
    const LoadPlace before = loadPlace(keepMarks);
    m_loading = true;
    m_currentMoved = false;
    m_scrolledDuringLoad = false;
    // Nothing may talk to the server between the load's requests: no cell
    // editors and no toolbar but "Ausstieg" until the rows are in.
    const auto triggers = lipos->editTriggers();
    lipos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    bool tools = true;
    for (QAction* a : tool1->actions())
        tools = tools && a->isEnabled();
    setToolsEnabled(false);
    updateStatus();
    {
        ListsBusy busy(lipos, libm);
        PositionLoad::loadGrid(m_connection, m_download, *m_grid, &m_closeAsked);
        if (refill && !m_closeAsked)
            PositionLoad::loadCandidates(m_connection, m_download, *m_candidates);
    }
    m_loading = false;
    lipos->setEditTriggers(triggers);
    setToolsEnabled(tools);
    if (m_closeAsked) {
        // Closed while it loaded: the load has stopped; now the window goes.
        QTimer::singleShot(0, this, &QDialog::close);
        return;
    }
    restoreLoadPlace(before);
}

FMPos::LoadPlace FMPos::loadPlace(bool keepMarks) const {
    LoadPlace place;
    const int current = currentGridRow();
    if (current >= 0 && current < m_grid->size())
        place.currentId = m_grid->row(current).id;
    place.column = lipos->currentIndex().isValid() ? lipos->currentIndex().column() : 0;
    if (keepMarks)
        for (int row : m_grid->markedRows())
            place.marked.insert(m_grid->row(row).id);
    place.scrollDown = lipos->verticalScrollBar()->value();
    place.scrollAcross = lipos->horizontalScrollBar()->value();
    return place;
}

void FMPos::restoreLoadPlace(const LoadPlace& before) {
    if (!before.marked.isEmpty()) {
        QList<int> marks;
        for (int row = 0; row < m_grid->size(); ++row)
            if (before.marked.contains(m_grid->row(row).id))
                marks << row;
        m_grid->toggleMarks(marks);
    }
    // Flags that came after their rows were shown may change a filter's
    // rows; the row the buyer chose meanwhile stays current.
    const int chosen = m_currentMoved ? currentGridRow() : -1;
    const int chosenColumn =
        lipos->currentIndex().isValid() ? lipos->currentIndex().column() : before.column;
    m_view->refresh();
    fitColumnsToContent();
    updateStatus();
    lipos->setFocus();
    if (chosen >= 0 && setCurrentGridRow(chosen, chosenColumn)) {
        lipos->scrollTo(lipos->currentIndex());
        return;
    }
    // Otherwise the row that was current before (row 0 the first time)
    // becomes current, and the grid shows where the buyer scrolled to
    // during the load, or where it was before.
    int row = -1;
    if (!before.currentId.isEmpty())
        for (int r = 0; r < m_grid->size() && row < 0; ++r)
            if (m_grid->row(r).id == before.currentId)
                row = r;
    const int shown = row >= 0 ? m_view->viewRow(row) : -1;
    if (m_view->rowCount() > 0) {
        const bool autoScroll = lipos->hasAutoScroll();
        lipos->setAutoScroll(false);
        lipos->setCurrentIndex(m_view->index(shown >= 0 ? shown : 0, chosenColumn));
        lipos->setAutoScroll(autoScroll);
    }
    // The scroll bars know the rows only once the grid is laid out.
    lipos->doItemsLayout();
    lipos->verticalScrollBar()->setValue(m_scrolledDuringLoad ? m_scrolledTo : before.scrollDown);
    lipos->horizontalScrollBar()->setValue(before.scrollAcross);
}

int FMPos::currentGridRow() const {
    return m_view->sourceRow(lipos->currentIndex().row());
}

bool FMPos::setCurrentGridRow(int row, int column) {
    const int shown = m_view->viewRow(row);
    if (shown < 0)
        return false;
    lipos->setCurrentIndex(m_view->index(shown, column));
    return true;
}

QString FMPos::StatusText() const {
    return lbStatus->text();
}

void FMPos::updateStatus() {
    if (m_loading)
        lbStatus->setText(PositionLoadingText(m_grid->size(), m_download.positions));
    else
        lbStatus->setText(
            PositionStatusText(m_view->rowCount(), m_grid->size(), !m_view->filter().isEmpty()));
}

void FMPos::fitColumnsToContent() {
    const int rows = m_grid->size();
    if (rows == 0)
        return;
    // The first rows and rows spread over the rest: at most 600.
    QList<int> sample;
    for (int r = 0; r < qMin(rows, 200); ++r)
        sample << r;
    const int step = qMax(1, rows / 400);
    for (int r = 200; r < rows && sample.size() < 600; r += step)
        sample << r;
    // Every column as wide as its widest text in the sample (the marks and
    // the status only as their caption, the frozen description as laid
    // out); a column is never made narrower.
    const QFontMetrics metrics(lipos->font());
    for (int column = PositionGrid::Stat + 1; column < PositionGrid::kColumns; ++column) {
        if (column == PositionGrid::Bezeichnung)
            continue;
        int width = 0;
        for (int r : sample)
            width = qMax(width, metrics.horizontalAdvance(m_grid->cellText(r, column)));
        width = qMin(width + 14, 320);
        if (width > lipos->columnWidth(column))
            lipos->setColumnWidth(column, width);
    }
}

void FMPos::commitEdit() {
    CommitOpenEditor(lipos);
    // What the editor took is checked and stored before the caller goes on.
    m_delegate->applyPendingEdit();
}

void FMPos::ShowNote(const QString& note) {
    lbStatus->setText(note);
    m_noteTimer->start();
}

void FMPos::TypedOnLockedCell() {
    const QModelIndex current = lipos->currentIndex();
    if (!m_loading && current.isValid() && !(current.flags() & Qt::ItemIsEditable))
        ShowNote(QStringLiteral("Spalte gesperrt"));
}

void FMPos::Form_Resize() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    // Until the buyer moves the splitter, the grid takes 0.6 of the height
    // less 1000 twips and the candidate list the rest less 1400.
    if (m_splitterSet)
        return;
    const int h = height() * 15;
    const int gridHeight = qMax(40, px(int((h - 1000) * 0.6)));
    const int listHeight = qMax(40, px(h - int((h - 1000) * 0.6) - 1400));
    splitter->setSizes({gridHeight, listHeight});
}

void FMPos::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

void FMPos::closeEvent(QCloseEvent* event) {
    // The load runs inside the window's events: it is stopped, and the
    // window closes once it has returned.
    if (m_loading) {
        m_closeAsked = true;
        event->ignore();
        return;
    }
    commitEdit();
    m_closing = true;
    QDialog::closeEvent(event);
    m_closing = false;
}

void FMPos::reject() {
    // Only the close box and "Ausstieg" close the window, never a key.
    if (m_closing)
        QDialog::reject();
}

void FMPos::keyPressEvent(QKeyEvent* event) {
    // Escape never closes the window: it clears the find box (an open cell
    // editor takes it itself), or the filter text when that has the focus.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (findbar->isVisible()) {
            findbar->closeFind();
        } else if (QLineEdit* TXTFilter = filterbar->textBox();
                   TXTFilter->hasFocus() && !TXTFilter->text().isEmpty()) {
            TXTFilter->clear();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FMPos::done(int result) {
    if (m_loading) {
        m_closeAsked = true;
        return;
    }
    commitEdit();
    if (m_overview)
        m_overview->close();
    // Form_Unload
    SaveWindowPlacement(this, kPlacementKey);
    if (m_splitterSet) {
        const QList<int> sizes = splitter->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        if (total > 0)
            WorkstationSettings::setValue(kLayoutApplication, kLayoutSection, kSplitterKey,
                                          QString::number(sizes.value(0) * 1000 / total));
    }
    QDialog::done(result);
}
