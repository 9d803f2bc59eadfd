#include "fmstart.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "import/gui/FMImport.h"
#include "positions/gui/FMPos.h"
#include "server/Connection.h"
#include "server/ConnectionWindows.h"
#include "session/gui/FMPass.h"
#include "shell/Downloads.h"
#include "shell/gui/frmProgrammverlauf.h"
#include "widgets/DialogUserInterface.h"
#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMQuendrapr");

} // namespace

fmstart::fmstart(Connection& connection, QWidget* parent)
    : QMainWindow(parent), m_connection(connection) {
    setObjectName(QStringLiteral("fmstart"));

    buildMenus();
    buildToolbar();
    buildDownloadList();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1);

    connect(Timer1, &QTimer::timeout, this, &fmstart::RefreshDownloadList);
    connect(lilief, &QTreeView::clicked, this, &fmstart::lilief_Click);
    connect(lilief, &QTreeView::doubleClicked, this, &fmstart::lilief_DblClick);

    SetRowButtonsEnabled(false);
    RenewTitle();
    resize(900, 560);
    RestoreWindowPlacement(this, kPlacementKey);
}

void fmstart::buildMenus() {
    QMenu* datei = menuBar()->addMenu(QStringLiteral("&Datei"));
    datei->setObjectName(QStringLiteral("mDatei"));
    QAction* login = datei->addAction(QStringLiteral("&Login"));
    login->setObjectName(QStringLiteral("mLogin"));
    datei->addSeparator();
    QAction* beenden = datei->addAction(QStringLiteral("&Beenden"));
    beenden->setObjectName(QStringLiteral("Beenden"));
    QMenu* hilfe = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    hilfe->setObjectName(QStringLiteral("mHilfe"));
    QAction* ueber = hilfe->addAction(QStringLiteral("Hilfe &über ..."));
    ueber->setObjectName(QStringLiteral("HilfeUeber"));
    QAction* verlauf = hilfe->addAction(QStringLiteral("Programmverlauf"));
    verlauf->setObjectName(QStringLiteral("mProgrammverlauf"));
    connect(login, &QAction::triggered, this, &fmstart::mLogin_Click);
    connect(beenden, &QAction::triggered, this, &QWidget::close);
    connect(ueber, &QAction::triggered, this, &fmstart::HilfeUeber_Click);
    connect(verlauf, &QAction::triggered, this, &fmstart::mProgrammverlauf_Click);
}

void fmstart::buildToolbar() {
    tool1 = addToolBar(QStringLiteral("tool1"));
    tool1->setObjectName(QStringLiteral("tool1"));
    tool1->setMovable(false);
    tool1->setFloatable(false);
    tool1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tool1->setIconSize(QSize(32, 32));
    tool1->toggleViewAction()->setVisible(false);
    const QStyle::StandardPixmap icons[5] = {QStyle::SP_DialogOpenButton, QStyle::SP_ArrowDown,
                                             QStyle::SP_FileDialogDetailedView,
                                             QStyle::SP_TrashIcon, QStyle::SP_DialogCloseButton};
    const QString texts[5] = {QStringLiteral("Import Datei"), QStringLiteral("Import Web"),
                              QStringLiteral("Positionen"), QStringLiteral("Löschen"),
                              QStringLiteral("Beenden")};
    for (int i = 0; i < 5; ++i) {
        m_tool[i] = tool1->addAction(style()->standardIcon(icons[i]), texts[i]);
        m_tool[i]->setObjectName(QStringLiteral("tool1_") + QString::number(i + 1));
        connect(m_tool[i], &QAction::triggered, this, [this, i] { tool1_ButtonClick(i + 1); });
    }
}

void fmstart::buildDownloadList() {
    auto* central = new QWidget(this);
    auto* heading = new QLabel(QStringLiteral("Downloads"), central);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    m_downloads = new DownloadListModel(m_connection, this);
    m_downloads->setObjectName(QStringLiteral("downloads"));
    lilief = new QTreeView(central);
    lilief->setObjectName(QStringLiteral("lilief"));
    lilief->setModel(m_downloads);
    lilief->setRootIsDecorated(false);
    lilief->setItemsExpandable(false);
    lilief->setUniformRowHeights(true);
    SetListRowHeight(lilief);
    lilief->setAlternatingRowColors(true);
    lilief->setSelectionMode(QAbstractItemView::SingleSelection);
    lilief->setSelectionBehavior(QAbstractItemView::SelectRows);
    lilief->setAllColumnsShowFocus(true);
    lilief->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = lilief->header();
    header->setStretchLastSection(false);
    header->resizeSection(0, 100);
    header->resizeSection(1, 80);
    header->resizeSection(2, 90);
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    header->resizeSection(4, 90);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(heading);
    layout->addWidget(lilief, 1);
    setCentralWidget(central);
}

fmstart::~fmstart() = default;

QAction* fmstart::ToolButton(int number) const {
    return number >= 1 && number <= 5 ? m_tool[number - 1] : nullptr;
}

void fmstart::RenewTitle() {
    const QString title = MainWindowTitle();
    if (windowTitle() != title)
        setWindowTitle(title);
}

void fmstart::RefreshDownloadList() {
    Timer1->stop();
    SetRowButtonsEnabled(false);
    // A list that cannot be read is empty rather than out of date.
    if (!m_downloads->reload())
        m_downloads->setRows({});
}

std::optional<DownloadRow> fmstart::SelectedDownload() const {
    const QModelIndexList rows = lilief->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return m_downloads->row(rows.first().row());
}

void fmstart::SetRowButtonsEnabled(bool enabled) {
    m_tool[2]->setEnabled(enabled);
    m_tool[3]->setEnabled(enabled);
}

void fmstart::lilief_Click(const QModelIndex& index) {
    if (index.isValid())
        SetRowButtonsEnabled(true);
}

void fmstart::lilief_DblClick(const QModelIndex& index) {
    if (index.isValid())
        OpenTaskWindow(3);
}

void fmstart::tool1_ButtonClick(int number) {
    switch (number) {
    case 1:
    case 2:
    case 3:
        OpenTaskWindow(number);
        break;
    case 4:
        DeleteSelectedDownload();
        break;
    case 5:
        close();
        break;
    default:
        break;
    }
}

bool fmstart::LoggedIn() {
    return !Session().userDisplay.isEmpty();
}

void fmstart::OpenTaskWindow(int number) {
    // A task window of a logged-out session would only meet the server's
    // refusals (after a refused new login, until the next one succeeds).
    if (!LoggedIn()) {
        TraceLog(QStringLiteral("fmstart.OpenTaskWindow"), QStringLiteral("nicht angemeldet"),
                 QString::number(number), 40);
        return;
    }
    if (number == 1 || number == 2) {
        // The import windows: modal, owned by this window, unloaded when
        // they return; a completed import refills the downloads list.
        FMImport import(m_connection, number == 1 ? FMImport::Source::File : FMImport::Source::Web,
                        this);
        connect(&import, &FMImport::imported, this, &fmstart::RefreshDownloadList);
        import.setRatesTaker(&m_conditions);
        import.exec();
        return;
    }
    // The positions of the selected download.
    const std::optional<DownloadRow> row = SelectedDownload();
    if (!row || row->key.isEmpty())
        return;
    bool counted = false;
    const int count = row->positionen.toInt(&counted);
    FMPos positions(m_connection,
                    {row->key, row->lnr, row->lname, row->datum, counted ? count : -1}, this);
    positions.setConditionsOpener(&m_conditions);
    positions.exec();
}

void fmstart::DeleteSelectedDownload() {
    if (!LoggedIn())
        return;
    if (UI().message(QStringLiteral("Wirklich löschen"), QString(), MessageIcon::Question,
                     MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    const QModelIndexList selected = lilief->selectionModel()->selectedRows();
    if (selected.isEmpty() || m_downloads->row(selected.first().row()).key.isEmpty())
        return;
    // A deletion the server refuses is reported there; the row goes all the
    // same and comes back with the next refresh.
    m_downloads->deleteRow(selected.first().row());
    lilief->clearSelection();
    lilief->setCurrentIndex(QModelIndex());
    SetRowButtonsEnabled(false);
}

void fmstart::mLogin_Click() {
    FMPass* pass = FMPass::instance(m_connection);
    connect(pass, &FMPass::loggedIn, this, &fmstart::RenewTitle, Qt::UniqueConnection);
    pass->ShowForNewLogin(this);
}

void fmstart::mProgrammverlauf_Click() {
    frmProgrammverlauf* trace = frmProgrammverlauf::instance();
    trace->show();
    trace->raise();
    trace->activateWindow();
}

void fmstart::HilfeUeber_Click() {
    if (!m_about) {
        auto* box = new QMessageBox(this);
        box->setObjectName(QStringLiteral("frmAbout"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->setWindowTitle(QStringLiteral("Über Quendra"));
        box->setIcon(QMessageBox::Information);
        box->setTextFormat(Qt::PlainText);
        box->setText(QStringLiteral("Quendrapr\nVersion 0.1"));
        box->setInformativeText(QStringLiteral("Übernimmt die Preisdaten der Lieferanten in "
                                               "das Warenwirtschaftssystem VELTAR."));
        box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        m_about = box;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void fmstart::showEvent(QShowEvent* event) {
    RenewTitle();
    QMainWindow::showEvent(event);
    if (!m_shown) {
        // The list is loaded once the window can be seen.
        m_shown = true;
        Timer1->start();
    }
}

void fmstart::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        RenewTitle();
    QMainWindow::changeEvent(event);
}

void fmstart::closeEvent(QCloseEvent* event) {
    SaveWindowPlacement(this, kPlacementKey);
    m_connection.close();
    event->accept();
    if (!DialogUserInterface::unloading())
        Ende(0);
}
