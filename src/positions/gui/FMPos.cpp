#include "FMPos.h"

#include "FMDruck.h"
#include "PositionCellDelegate.h"
#include "base/UserInterface.h"
#include "conditions/gui/FMRabgr.h"
#include "conditions/gui/fmverbuch.h"
#include "import/gui/FMEan.h"
#include "lookup/gui/FMArtsu.h"
#include "shell/gui/WidgetHelpers.h"
#include "shell/gui/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

namespace {

const QString kPlacementKey = QStringLiteral("FMPos");

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

FMPos::FMPos(const PositionDownload& download, QWidget* parent)
    : QDialog(parent), m_download(download) {
    setObjectName(QStringLiteral("FMPos"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Positionen"));
    setModal(true);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    m_grid = new PositionGridModel(this);
    m_grid->setObjectName(QStringLiteral("positions"));
    m_candidates = new CandidateListModel(this);
    m_candidates->setObjectName(QStringLiteral("candidates"));

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
    connect(ToolButton(QStringLiteral("Ausstieg")), &QAction::triggered, this, &QDialog::close);
    connect(ToolButton(QStringLiteral("Selekt. mark")), &QAction::triggered, this,
            &FMPos::SelektMark_Click);
    QAction* multi = ToolButton(QStringLiteral("Multiselekt"));
    multi->setCheckable(true);
    connect(multi, &QAction::triggered, this, &FMPos::Multiselekt_Click);
    connect(ToolButton(QStringLiteral("Mehrfachsetzen")), &QAction::triggered, this,
            &FMPos::Mehrfachsetzen_Click);
    tool1->setEnabled(false);

    lipos = new QTableView(this);
    lipos->setObjectName(QStringLiteral("lipos"));
    lipos->setModel(m_grid);
    lipos->setSelectionBehavior(QAbstractItemView::SelectItems);
    lipos->setSelectionMode(QAbstractItemView::SingleSelection);
    lipos->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    // Edits go to the model, which has them checked and written back.
    m_prompts = std::make_unique<DialogPrompts>(this);
    m_editor = std::make_unique<PositionEditor>(*m_grid, m_lists, m_download);
    m_grid->editHandler = [this](int row, int column, const QString& value) {
        // The load shares the connection: no edit while it runs.
        return !m_loading && m_editor->edit(row, column, value, *m_prompts);
    };
    lipos->setItemDelegate(new PositionCellDelegate(*m_editor, m_lists, lipos));
    lipos->setAlternatingRowColors(false);
    lipos->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* search = new QAction(QStringLiteral("Artikel suchen …"), lipos);
    search->setObjectName(QStringLiteral("ArtikelSuchen"));
    search->setShortcut(QKeySequence(Qt::Key_F4));
    // Also while a cell editor has the focus.
    search->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(search, &QAction::triggered, this, &FMPos::ArtikelSuchen);
    lipos->addAction(search);
    lipos->setWordWrap(false);
    lipos->verticalHeader()->setDefaultSectionSize(lipos->fontMetrics().height() + 6);
    lipos->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lipos->horizontalHeader()->setHighlightSections(false);
    // The column widths keep the proportions of the layout; taken as twips
    // they would be a few pixels wide, so a unit is a pixel here (plus the
    // cell margins), and no
    // column is narrower than its caption.
    const QFontMetrics header(lipos->horizontalHeader()->font());
    for (int c = 0; c < PositionGrid::kColumns; ++c)
        lipos->setColumnWidth(c, qMax(header.horizontalAdvance(PositionGrid::Caption(c)) + 14,
                                      PositionGrid::ColumnOf(c).widthTwips + 12));

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

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &FMPos::Timer1_Timer);

    // The caption names the download's supplier.
    if (!m_download.key.isEmpty())
        setWindowTitle(PositionWindowCaption(m_download));
    resize(1200, 760);
    RestoreWindowPlacement(this, kPlacementKey);
    // Form_Load: the load runs on the first tick, after the window is shown.
    Timer1->start();
}

FMPos::~FMPos() = default;

QAction* FMPos::ToolButton(const QString& caption) const {
    for (QAction* a : tool1->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

void FMPos::Timer1_Timer() {
    Timer1->stop();
    if (m_download.key.isEmpty())
        return;
    PositionLoad::loadLists(m_download.supplier, m_lists);
    m_editor->loadDefaults();
    libm->hide();
    libmTitle->hide();
    LoadGrid(true);
    tool1->setEnabled(true);
    libm->show();
    libmTitle->show();
}

void FMPos::LoadGrid(bool refill) {
    if (m_loading)
        return;
    m_loading = true;
    // Nothing may talk to the server between the load's requests: no cell
    // editors and no toolbar until the rows are in.
    const auto triggers = lipos->editTriggers();
    lipos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const bool tools = tool1->isEnabled();
    tool1->setEnabled(false);
    {
        ListsBusy busy(lipos, libm);
        PositionLoad::loadGrid(m_download, *m_grid, &m_closeAsked);
        if (refill && !m_closeAsked)
            PositionLoad::loadCandidates(m_download, *m_candidates);
    }
    m_loading = false;
    lipos->setEditTriggers(triggers);
    tool1->setEnabled(tools);
    if (m_closeAsked) {
        // Closed while it loaded: the load has stopped; now the window goes.
        QTimer::singleShot(0, this, &QDialog::close);
        return;
    }
    lipos->setFocus();
    if (m_grid->size() > 0)
        lipos->setCurrentIndex(m_grid->index(0, 0));
}

void FMPos::Aktualisieren_Click() {
    LoadGrid(true);
}

void FMPos::commitEdit() {
    CommitOpenEditor(lipos);
}

void FMPos::Rabattgruppen_Click() {
    if (m_loading)
        return;
    commitEdit();
    {
        FMRabgr groups(m_download, this);
        groups.exec();
    }
    LoadGrid(false);
}

void FMPos::Verbuchen_Click() {
    if (m_loading)
        return;
    commitEdit();
    if (!m_posting) {
        m_posting = new fmverbuch(*m_grid, m_download, this);
        m_posting->setReload([this] { LoadGrid(true); });
    }
    m_posting->exec();
    // A run that stopped at a refused position has reloaded the grid
    // already; one that ended hid the window, and the grid shows the ERP's
    // view of what was posted.
    const bool posted = m_posting->posted();
    if (m_posting->discarded()) {
        delete m_posting;
        m_posting = nullptr;
    }
    if (posted)
        LoadGrid(true);
}

void FMPos::Drucken_Click() {
    if (m_loading)
        return;
    commitEdit();
    FMDruck print(*m_grid, m_download, this);
    print.exec();
}

void FMPos::EinlesenEan_Click() {
    if (m_loading)
        return;
    commitEdit();
    bool attempted = false;
    {
        FMEan match(m_download, this);
        match.exec();
        attempted = match.attempted();
    }
    // Only "Verbuchen" changes the download.
    if (attempted)
        LoadGrid(true);
}

void FMPos::ArtikelSuchen() {
    const QModelIndex current = lipos->currentIndex();
    if (m_loading || !current.isValid())
        return;
    commitEdit();
    if (!m_grid->isEditable(current.row(), PositionGrid::ArtNr)) {
        UI().message(QStringLiteral("Die Zelle kann nicht bearbeitet werden"), QString(),
                     MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const QString article = vt_art_su(m_download.supplier, this);
    if (article.isEmpty())
        return;
    const QModelIndex cell = m_grid->index(current.row(), PositionGrid::ArtNr);
    lipos->setCurrentIndex(cell);
    // As if typed into the cell: the assignment and its checks.
    m_grid->setData(cell, article);
}

void FMPos::libm_Click() {
    const QModelIndex current = libm->currentIndex();
    if (!current.isValid())
        return;
    const int row = m_editor->rowOfCandidate(*m_candidates, current.row());
    if (row >= 0)
        lipos->setCurrentIndex(m_grid->index(row, PositionGrid::ArtNr));
}

void FMPos::libm_DblClick() {
    const QModelIndex selected = libm->currentIndex();
    if (!selected.isValid() || m_loading)
        return;
    const int next =
        m_editor->assignCandidate(*m_candidates, selected.row(), lipos->currentIndex().row());
    if (next >= 0)
        lipos->setCurrentIndex(m_grid->index(next, PositionGrid::ArtNr));
}

void FMPos::SelektMark_Click() {
    QList<int> rows;
    for (const QModelIndex& i : lipos->selectionModel()->selectedIndexes())
        if (!rows.contains(i.row()))
            rows << i.row();
    if (rows.isEmpty() && lipos->currentIndex().isValid())
        rows << lipos->currentIndex().row();
    m_grid->toggleMarks(rows);
}

void FMPos::Multiselekt_Click() {
    const bool multi = ToolButton(QStringLiteral("Multiselekt"))->isChecked();
    lipos->setSelectionMode(multi ? QAbstractItemView::ExtendedSelection
                                  : QAbstractItemView::SingleSelection);
    lipos->setSelectionBehavior(multi ? QAbstractItemView::SelectRows
                                      : QAbstractItemView::SelectItems);
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
    for (int c = 0; c < PositionGrid::kColumns; ++c)
        if (c != PositionGrid::ArtNr && PositionGrid::ColumnOf(c).property &&
            c != PositionGrid::EkPer)
            column->addItem(PositionGrid::Caption(c) + QStringLiteral("  (Spalte ") +
                                QString::number(c) + u')',
                            c);
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
    return true;
}

void FMPos::Form_Resize() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const int w = width() * 15;
    const int h = height() * 15;
    const int toolHeight = tool1->sizeHint().height();
    tool1->setGeometry(0, 0, px(w - 100), toolHeight);
    const int gridHeight = int((h - 1000) * 0.6);
    lipos->setGeometry(px(60), toolHeight + px(60), px(w - 220), qMax(40, px(gridHeight)));
    const int listTop = px(gridHeight + 1100);
    libmTitle->setGeometry(px(60), listTop - libmTitle->sizeHint().height() - 2, px(w - 220),
                           libmTitle->sizeHint().height());
    libm->setGeometry(px(60), listTop, px(w - 100) - px(60), qMax(40, px(h - gridHeight - 1400)));
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
    QDialog::closeEvent(event);
}

void FMPos::done(int result) {
    if (m_loading) {
        m_closeAsked = true;
        return;
    }
    // Form_Unload
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}
