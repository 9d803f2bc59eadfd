#include "FMPos.h"

#include "FMDruck.h"
#include "FMUebersicht.h"
#include "FrozenColumnsView.h"
#include "PositionCellDelegate.h"
#include "base/UserInterface.h"
#include "base/WorkstationSettings.h"
#include "conditions/gui/FMRabgr.h"
#include "conditions/gui/fmverbuch.h"
#include "import/gui/FMEan.h"
#include "lookup/gui/FMArtsu.h"
#include "positions/PositionExport.h"
#include "shell/gui/WidgetHelpers.h"
#include "shell/gui/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace {

const QString kPlacementKey = QStringLiteral("FMPos");
// The grid's share of the height above the candidate list, in thousandths,
// as the buyer left the splitter.
const QString kLayoutApplication = QStringLiteral("Quendrapr");
const QString kLayoutSection = QStringLiteral("Layout");
const QString kSplitterKey = QStringLiteral("FMPos.Raster");
// The folder of the last export.
const QString kExportSection = QStringLiteral("Export");
const QString kExportFolderKey = QStringLiteral("Ordner");
// The columns that stay at the left: "Übn", "Stat", "Best.Nr.",
// "Bezeichnung".
constexpr int kFrozenColumns = PositionGrid::Bezeichnung + 1;
// The quick filters with a button of their own; the others are in the menu
// "Weitere".
constexpr int kQuickButtons = 7;

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

QStringList FMPos::ToolCaptions() {
    return {QStringLiteral("Rabattgruppen"),  QStringLiteral("Aktualisieren"),
            QStringLiteral("Verbuchen"),      QStringLiteral("Drucken"),
            QStringLiteral("Selekt. mark"),   QStringLiteral("Multiselekt"),
            QStringLiteral("Mehrfachsetzen"), QStringLiteral("Einlesen EAN"),
            QStringLiteral("Ausstieg")};
}

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
    filterbar = new QWidget(this);
    filterbar->setObjectName(QStringLiteral("filterbar"));
    auto* bar = new QHBoxLayout(filterbar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Filter:"), filterbar);
    bar->addWidget(label);
    TXTFilter = new QLineEdit(filterbar);
    TXTFilter->setObjectName(QStringLiteral("TXTFilter"));
    TXTFilter->setPlaceholderText(QStringLiteral("Text"));
    TXTFilter->setClearButtonEnabled(true);
    TXTFilter->setMinimumWidth(160);
    bar->addWidget(TXTFilter);
    label->setBuddy(TXTFilter);
    CBFilterSpalte = new QComboBox(filterbar);
    CBFilterSpalte->setObjectName(QStringLiteral("CBFilterSpalte"));
    CBFilterSpalte->addItem(QStringLiteral("in allen Spalten"), -1);
    for (int c = 1; c < PositionGrid::kColumns; ++c)
        CBFilterSpalte->addItem(QStringLiteral("in ") + PositionGrid::Caption(c) +
                                    QStringLiteral(" (Spalte ") + QString::number(c) + u')',
                                c);
    CBFilterSpalte->setMaxVisibleItems(20);
    bar->addWidget(CBFilterSpalte);
    // Typing filters once the buyer pauses, so that every key stays quick.
    m_filterTimer = new QTimer(this);
    m_filterTimer->setSingleShot(true);
    m_filterTimer->setInterval(250);
    connect(m_filterTimer, &QTimer::timeout, this, &FMPos::applyFilterBar);
    connect(TXTFilter, &QLineEdit::textEdited, m_filterTimer, qOverload<>(&QTimer::start));
    connect(TXTFilter, &QLineEdit::returnPressed, this, &FMPos::applyFilterBar);
    // The clear button changes the text without an edit.
    connect(TXTFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            applyFilterBar();
    });
    connect(CBFilterSpalte, &QComboBox::currentIndexChanged, this, &FMPos::applyFilterBar);
    bar->addSpacing(8);

    auto* more = new QToolButton(filterbar);
    more->setObjectName(QStringLiteral("BUWeitere"));
    more->setText(QStringLiteral("Weitere"));
    more->setPopupMode(QToolButton::InstantPopup);
    addQuickFilterButtons(bar, more);
    bar->addWidget(more);
    // The step of "% Abw." a bar of the overview chose; unchecked, it goes.
    m_stepButton = new QToolButton(filterbar);
    m_stepButton->setObjectName(QStringLiteral("filter_abweichung"));
    m_stepButton->setCheckable(true);
    m_stepButton->hide();
    connect(m_stepButton, &QToolButton::toggled, this, &FMPos::applyFilterBar);
    bar->addWidget(m_stepButton);
    auto* off = new QToolButton(filterbar);
    off->setObjectName(QStringLiteral("BUFilterAus"));
    off->setText(QStringLiteral("Filter aufheben"));
    connect(off, &QToolButton::clicked, this, [this] { SetFilter(PositionFilter()); });
    bar->addWidget(off);
    bar->addStretch(1);
}

// The quick filters: the first kQuickButtons as buttons on the bar, the
// others through the menu of "Weitere".
void FMPos::addQuickFilterButtons(QHBoxLayout* bar, QToolButton* more) {
    auto* menu = new QMenu(more);
    more->setMenu(menu);
    const QList<QuickFilter>& filters = AllQuickFilters();
    for (int i = 0; i < filters.size(); ++i) {
        auto* button = new QToolButton(filterbar);
        button->setObjectName(QStringLiteral("filter_") + QuickFilterName(filters[i]));
        button->setText(QuickFilterCaption(filters[i]));
        button->setCheckable(true);
        button->setAutoRaise(false);
        connect(button, &QToolButton::toggled, this, &FMPos::applyFilterBar);
        m_quickButtons << button;
        if (i < kQuickButtons) {
            bar->addWidget(button);
            continue;
        }
        // The rest are reached through the menu; their buttons stay hidden
        // and keep the state.
        button->hide();
        QAction* a = menu->addAction(QuickFilterCaption(filters[i]));
        a->setCheckable(true);
        connect(a, &QAction::toggled, button, &QToolButton::setChecked);
        connect(button, &QToolButton::toggled, a, [a, more, this](bool on) {
            a->setChecked(on);
            bool any = false;
            for (int k = kQuickButtons; k < m_quickButtons.size(); ++k)
                any = any || m_quickButtons[k]->isChecked();
            QFont f = more->font();
            f.setBold(any);
            more->setFont(f);
        });
    }
}

void FMPos::buildFindBar() {
    findbar = new QWidget(this);
    findbar->setObjectName(QStringLiteral("findbar"));
    auto* bar = new QHBoxLayout(findbar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Suchen:"), findbar);
    bar->addWidget(label);
    TXTSuchen = new QLineEdit(findbar);
    TXTSuchen->setObjectName(QStringLiteral("TXTSuchen"));
    TXTSuchen->setMinimumWidth(200);
    label->setBuddy(TXTSuchen);
    bar->addWidget(TXTSuchen);
    connect(TXTSuchen, &QLineEdit::returnPressed, this, [this] { FindNext(true); });
    connect(TXTSuchen, &QLineEdit::textEdited, this, [this] { lbSuchen->clear(); });
    auto* next = new QToolButton(findbar);
    next->setObjectName(QStringLiteral("BUWeiter"));
    next->setText(QStringLiteral("Weiter (F3)"));
    connect(next, &QToolButton::clicked, this, [this] { FindNext(true); });
    bar->addWidget(next);
    auto* previous = new QToolButton(findbar);
    previous->setObjectName(QStringLiteral("BUZurueck"));
    previous->setText(QStringLiteral("Zurück (Umschalt+F3)"));
    connect(previous, &QToolButton::clicked, this, [this] { FindNext(false); });
    bar->addWidget(previous);
    lbSuchen = new QLabel(findbar);
    lbSuchen->setObjectName(QStringLiteral("lbSuchen"));
    bar->addWidget(lbSuchen);
    bar->addStretch(1);
    auto* close = new QToolButton(findbar);
    close->setObjectName(QStringLiteral("BUSucheZu"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip(QStringLiteral("Suche schließen (Esc)"));
    connect(close, &QToolButton::clicked, this, [this] {
        TXTSuchen->clear();
        findbar->hide();
        lipos->setFocus();
    });
    bar->addWidget(close);
    findbar->hide();

    auto* find = new QAction(QStringLiteral("Suchen …"), this);
    find->setObjectName(QStringLiteral("Suchen"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, &FMPos::ShowFind);
    addAction(find);
    auto* again = new QAction(QStringLiteral("Weitersuchen"), this);
    again->setObjectName(QStringLiteral("Weitersuchen"));
    again->setShortcut(QKeySequence(Qt::Key_F3));
    connect(again, &QAction::triggered, this, [this] { FindNext(true); });
    addAction(again);
    auto* back = new QAction(QStringLiteral("Rückwärts suchen"), this);
    back->setObjectName(QStringLiteral("RueckwaertsSuchen"));
    back->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(back, &QAction::triggered, this, [this] { FindNext(false); });
    addAction(back);
}

FMPos::~FMPos() = default;

QAction* FMPos::ToolButton(const QString& caption) const {
    for (QAction* a : tool1->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

QTableView* FMPos::PositionGridView() const {
    return lipos;
}

void FMPos::setToolsEnabled(bool enabled) {
    for (QAction* a : tool1->actions())
        a->setEnabled(enabled || a->text() == u"Ausstieg");
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
    PositionFilter f;
    f.text = TXTFilter->text();
    f.column = CBFilterSpalte->currentData().toInt();
    const QList<QuickFilter>& filters = AllQuickFilters();
    for (int i = 0; i < filters.size(); ++i)
        f.set(filters[i], m_quickButtons[i]->isChecked());
    f.step = m_stepButton->isChecked() ? m_step : -1;
    return f;
}

void FMPos::applyFilterBar() {
    if (m_settingBar)
        return;
    m_filterTimer->stop();
    SetFilter(FilterFromBar());
}

void FMPos::SetFilter(const PositionFilter& filter) {
    m_filterTimer->stop();
    // A value typed into a cell is taken before other rows are shown.
    commitEdit();
    // The bar shows the filter; its signals do not filter again meanwhile.
    m_settingBar = true;
    if (TXTFilter->text() != filter.text)
        TXTFilter->setText(filter.text);
    const int column = CBFilterSpalte->findData(filter.column);
    CBFilterSpalte->setCurrentIndex(column >= 0 ? column : 0);
    const QList<QuickFilter>& filters = AllQuickFilters();
    for (int i = 0; i < filters.size(); ++i)
        m_quickButtons[i]->setChecked(filter.has(filters[i]));
    m_step = filter.step;
    m_stepButton->setText(QStringLiteral("% Abw. ") + DeviationStepLabel(filter.step));
    m_stepButton->setChecked(filter.step >= 0);
    m_stepButton->setVisible(filter.step >= 0);
    m_settingBar = false;
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
    findbar->show();
    TXTSuchen->setFocus();
    TXTSuchen->selectAll();
}

bool FMPos::FindNext(bool forward) {
    if (TXTSuchen->text().isEmpty()) {
        ShowFind();
        return false;
    }
    const QModelIndex found = m_view->find(TXTSuchen->text(), lipos->currentIndex(), forward);
    if (!found.isValid()) {
        lbSuchen->setText(QStringLiteral("Nicht gefunden"));
        return false;
    }
    lbSuchen->clear();
    lipos->setCurrentIndex(found);
    lipos->scrollTo(found);
    return true;
}

void FMPos::Exportieren() {
    if (m_loading)
        return;
    commitEdit();
    const QString folder =
        WorkstationSettings::value(kLayoutApplication, kExportSection, kExportFolderKey);
    const QString proposal =
        QDir(folder.isEmpty() ? QDir::homePath() : folder)
            .filePath(ExportFileName(m_download.supplier, m_download.supplierName));
    QString chosenFilter;
    const QString xlsxFilter = QStringLiteral("Excel-Arbeitsmappe (*.xlsx)");
    const QString csvFilter = QStringLiteral("CSV für Tabellenkalkulation (*.csv)");
    QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Positionen exportieren"), proposal,
                                     xlsxFilter + QStringLiteral(";;") + csvFilter, &chosenFilter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += chosenFilter == csvFilter ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    WorkstationSettings::setValue(kLayoutApplication, kExportSection, kExportFolderKey,
                                  QFileInfo(path).absolutePath());
    ExportTo(path);
}

bool FMPos::ExportTo(const QString& path) {
    if (m_loading)
        return false;
    commitEdit();
    // The rows as shown: the filter's, in the sort's order.
    const QList<int> rows = m_view->sourceRows();
    QProgressDialog progress(QStringLiteral("Positionen werden exportiert …"),
                             QStringLiteral("Abbrechen"), 0, qMax(1, int(rows.size())), this);
    progress.setObjectName(QStringLiteral("FMExport"));
    progress.setWindowTitle(QStringLiteral("Exportieren"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    const PositionExportResult result =
        ExportPositions(path, ExportFormatOf(path), *m_grid, rows, [&progress](int done, int) {
            progress.setValue(done);
            return !progress.wasCanceled();
        });
    progress.reset();
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

void FMPos::Aktualisieren_Click() {
    LoadGrid(true);
}

void FMPos::commitEdit() {
    CommitOpenEditor(lipos);
    // What the editor took is checked and stored before the caller goes on.
    m_delegate->applyPendingEdit();
}

void FMPos::Rabattgruppen_Click() {
    if (m_loading)
        return;
    commitEdit();
    {
        FMRabgr groups(m_connection, m_download, this);
        groups.exec();
    }
    LoadGrid(false);
}

void FMPos::Verbuchen_Click() {
    if (m_loading)
        return;
    commitEdit();
    if (!m_posting) {
        m_posting = new fmverbuch(m_connection, *m_grid, m_download, this);
        // What was marked for the posting is not marked for another.
        m_posting->setReload([this] { LoadGrid(true, false); });
    }
    m_posting->exec();
    // A run that stopped at a refused position has reloaded the grid
    // already; one that ended hid the window, and the grid shows the ERP's
    // view of what was posted. A count of the preview that was clicked
    // shows its rows.
    const bool posted = m_posting->posted();
    const std::optional<PositionFilter> linked = m_posting->takeLinkedFilter();
    if (m_posting->discarded()) {
        delete m_posting;
        m_posting = nullptr;
    }
    if (posted)
        LoadGrid(true, false);
    if (linked)
        SetFilter(*linked);
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
    QDialog ask(this);
    ask.setObjectName(QStringLiteral("FMMehrfach"));
    ask.setWindowTitle(QStringLiteral("Mehrfachsetzen"));
    auto* form = new QFormLayout(&ask);
    auto* column = new QComboBox(&ask);
    column->setObjectName(QStringLiteral("CBSpalte"));
    // The columns the editor sets on many rows (never a locked one).
    for (int c : PositionEditor::BatchColumns())
        column->addItem(
            PositionGrid::Caption(c) + QStringLiteral("  (Spalte ") + QString::number(c) + u')', c);
    const QModelIndex current = lipos->currentIndex();
    if (current.isValid() && column->findData(current.column()) >= 0)
        column->setCurrentIndex(column->findData(current.column()));
    auto* value = new QLineEdit(&ask);
    value->setObjectName(QStringLiteral("TXTWert"));
    form->addRow(QStringLiteral("Spalte:"), column);
    form->addRow(QStringLiteral("Wert:"), value);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    form->addRow(buttons);
    if (ask.exec() != QDialog::Accepted)
        return;
    SetMarkedRows(column->currentData().toInt(), value->text());
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
            TXTSuchen->clear();
            lbSuchen->clear();
            findbar->hide();
            lipos->setFocus();
        } else if (TXTFilter->hasFocus() && !TXTFilter->text().isEmpty()) {
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
