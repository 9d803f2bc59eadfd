#include "FMServer.h"

#include "base/UserInterface.h"
#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QAction>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPointer<FMServer> g_current;

const QString kTitle = QStringLiteral("VELTAR Server");
const QString kDefaultSaved = QStringLiteral("Standardserver gespeichert");

QLineEdit* makeBox(QWidget* parent, const QString& name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

} // namespace

FMServer* FMServer::current() {
    return g_current;
}

FMServer::FMServer(Connection& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection) {
    g_current = this;
    setObjectName(QStringLiteral("FMServer"));
    setWindowTitle(kTitle);
    setModal(true);

    buildList();
    buildBoxes();
    buildLayout();
    // A choice is a click or a row selected with the keys; the list making
    // a row current by itself (when it takes the focus) is none.
    connect(liServer, &QTreeWidget::itemClicked, this, &FMServer::liServer_Click);
    connect(liServer, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = liServer->selectedItems();
        if (!selected.isEmpty())
            liServer_Click(selected.first());
    });
    connect(liServer, &QWidget::customContextMenuRequested, this, &FMServer::ShowContextMenu);
    connect(m_standard, &QAction::triggered, this, &FMServer::EintragAlsStandard);
    connect(BUEdit, &QPushButton::clicked, this, &FMServer::BUEdit_Click);
    connect(BUOK, &QPushButton::clicked, this, &FMServer::BUOK_Click);

    resize(660, 400);
    RestoreWindowPlacement(this, QStringLiteral("FMServer"));
    LoadEntries(LoginFormData().serverObjectId);
    FillBoxes();
    SetEditable(false);
}

void FMServer::buildList() {
    liServer = new QTreeWidget(this);
    liServer->setObjectName(QStringLiteral("liServer"));
    liServer->setHeaderLabels({QStringLiteral("Bezeichnung"), QStringLiteral("Firma"),
                               QStringLiteral("Filiale"), QStringLiteral("Server"),
                               QStringLiteral("Port"), QStringLiteral("Namespace"),
                               QStringLiteral("WJ")});
    liServer->setRootIsDecorated(false);
    liServer->setUniformRowHeights(true);
    SetListRowHeight(liServer);
    liServer->setAlternatingRowColors(true);
    liServer->setSelectionMode(QAbstractItemView::SingleSelection);
    liServer->setAllColumnsShowFocus(true);
    liServer->setContextMenuPolicy(Qt::CustomContextMenu);
    const int widths[] = {200, 50, 50, 120, 60, 90, 50};
    for (int c = 0; c < 7; ++c)
        liServer->header()->resizeSection(c, widths[c]);
}

void FMServer::buildBoxes() {
    m_standard = new QAction(QStringLiteral("Eintrag als Standard"), this);
    m_standard->setObjectName(QStringLiteral("mEintragAlsStandard"));

    BBEZEICHNUNG = makeBox(this, QStringLiteral("BBEZEICHNUNG"));
    BNAMESPACE = makeBox(this, QStringLiteral("BNAMESPACE"));
    BFIRMA = makeBox(this, QStringLiteral("BFIRMA"));
    BFIL = makeBox(this, QStringLiteral("BFIL"));
    BSERVERIP = makeBox(this, QStringLiteral("BSERVERIP"));
    BPORT = makeBox(this, QStringLiteral("BPORT"));
    BWJ = makeBox(this, QStringLiteral("BWJ"));
    BUEdit = new QPushButton(QStringLiteral("Ändern"), this);
    BUEdit->setObjectName(QStringLiteral("BUEdit"));
    BUEdit->setAutoDefault(false);
    BUOK = new QPushButton(QStringLiteral("OK"), this);
    BUOK->setObjectName(QStringLiteral("BUOK"));
    BUOK->setDefault(true);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
}

void FMServer::buildLayout() {
    auto* hint = new QLabel(QStringLiteral("Linke Maustaste: Eintrag übernehmen. Rechte "
                                           "Maustaste: Eintrag als Standard speichern."),
                            this);
    hint->setWordWrap(true);

    auto* left = new QFormLayout;
    left->addRow(QStringLiteral("Bezeichnung:"), BBEZEICHNUNG);
    left->addRow(QStringLiteral("Server:"), BSERVERIP);
    left->addRow(QStringLiteral("Port:"), BPORT);
    left->addRow(QStringLiteral("Namespace:"), BNAMESPACE);
    auto* right = new QFormLayout;
    right->addRow(QStringLiteral("Firma:"), BFIRMA);
    right->addRow(QStringLiteral("Filiale:"), BFIL);
    right->addRow(QStringLiteral("Wirtschaftsjahr:"), BWJ);
    auto* boxes = new QHBoxLayout;
    boxes->addLayout(left, 3);
    boxes->addSpacing(12);
    boxes->addLayout(right, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BUEdit);
    buttons->addSpacing(12);
    buttons->addWidget(lbStatus, 1);
    buttons->addWidget(BUOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(liServer, 1);
    layout->addWidget(hint);
    layout->addLayout(boxes);
    layout->addLayout(buttons);
}

FMServer::~FMServer() = default;

void FMServer::LoadEntries(const QString& selectId) {
    m_entries = LoadServerEntries(m_connection);
    const QSignalBlocker blocker(liServer);
    liServer->clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const ServerEntry& e = m_entries[i];
        auto* item = new QTreeWidgetItem(
            liServer, {e.bezeichnung, e.firma, e.fil, e.server, e.port, e.nameSpace, e.wj});
        item->setData(0, Qt::UserRole, qlonglong(i));
        if (!selectId.isEmpty() && e.id == selectId)
            liServer->setCurrentItem(item);
    }
}

const ServerEntry* FMServer::ChosenEntry() const {
    const QTreeWidgetItem* item = liServer->currentItem();
    if (!item)
        return nullptr;
    const qlonglong i = item->data(0, Qt::UserRole).toLongLong();
    return i >= 0 && i < m_entries.size() ? &m_entries[i] : nullptr;
}

void FMServer::FillBoxes() {
    const LoginForm& f = LoginFormData();
    const ServerEntry* chosen = ChosenEntry();
    BBEZEICHNUNG->setText(chosen ? chosen->bezeichnung : QString());
    BNAMESPACE->setText(f.nameSpace.isEmpty() ? kDefaultNamespace : f.nameSpace);
    BFIRMA->setText(f.firma);
    BFIL->setText(f.fil);
    BSERVERIP->setText(f.server);
    BPORT->setText(f.port.isEmpty() ? kDefaultPort : f.port);
    BWJ->setText(f.wj);
}

void FMServer::SetEditable(bool editable) {
    m_editing = editable;
    if (editable)
        m_beforeEdit = EntryFromBoxes();
    for (QLineEdit* box : {BBEZEICHNUNG, BNAMESPACE, BFIRMA, BFIL, BSERVERIP, BPORT, BWJ})
        box->setReadOnly(!editable);
    if (editable)
        BSERVERIP->setFocus(Qt::OtherFocusReason);
}

ServerEntry FMServer::EntryFromBoxes() const {
    ServerEntry e;
    if (const ServerEntry* chosen = ChosenEntry())
        e.id = chosen->id;
    e.bezeichnung = BBEZEICHNUNG->text().trimmed();
    e.nameSpace = BNAMESPACE->text().trimmed();
    e.firma = BFIRMA->text().trimmed();
    e.fil = BFIL->text().trimmed();
    e.server = BSERVERIP->text().trimmed();
    e.port = BPORT->text().trimmed();
    e.wj = BWJ->text().trimmed();
    return e;
}

bool FMServer::BoxesChanged() const {
    const ServerEntry now = EntryFromBoxes();
    const ServerEntry& was = m_beforeEdit;
    return now.bezeichnung != was.bezeichnung || now.nameSpace != was.nameSpace ||
           now.firma != was.firma || now.fil != was.fil || now.server != was.server ||
           now.port != was.port || now.wj != was.wj;
}

void FMServer::liServer_Click(QTreeWidgetItem* item) {
    if (!item || item != liServer->currentItem())
        return;
    if (const ServerEntry* chosen = ChosenEntry()) {
        TakeServerEntry(*chosen);
        m_chosen = true;
        FillBoxes();
    }
}

void FMServer::ShowContextMenu(const QPoint& pos) {
    QTreeWidgetItem* item = liServer->itemAt(pos);
    if (!item)
        return;
    liServer->setCurrentItem(item);
    QMenu menu(this);
    menu.addAction(m_standard);
    menu.exec(liServer->viewport()->mapToGlobal(pos));
}

void FMServer::EintragAlsStandard() {
    const ServerEntry* chosen = ChosenEntry();
    if (!chosen)
        return;
    TakeServerEntry(*chosen);
    SetDefaultServerEntry(*chosen);
    m_chosen = true;
    FillBoxes();
    lbStatus->setText(kDefaultSaved);
}

void FMServer::BUEdit_Click() {
    if (!m_editing) {
        if (UI().message(QStringLiteral("Änderungen erlauben?"), kTitle, MessageIcon::Question,
                         MessageButtons::YesNo) == MessageAnswer::Yes)
            SetEditable(true);
        return;
    }
    if (UI().message(QStringLiteral("Änderungen sichern?"), kTitle, MessageIcon::Question,
                     MessageButtons::YesNo) != MessageAnswer::Yes) {
        // Not saved: the boxes show the chosen data again.
        SetEditable(false);
        FillBoxes();
        return;
    }
    ServerEntry entry = EntryFromBoxes();
    // Without a connection there is no server to save on (and no attempt
    // is started from here: the list may be the one the attempts showed).
    const QString id =
        ServerEntriesReachable(m_connection) ? SaveServerEntry(m_connection, entry) : QString();
    if (id.isEmpty()) {
        // No entry holds the data (a failed saving was reported): they are
        // used all the same, and this workstation keeps them.
        TakeTypedServerData(m_connection, entry, true);
        m_chosen = true;
        SetEditable(false);
        return;
    }
    entry.id = id;
    TakeServerEntry(entry);
    m_chosen = true;
    SetEditable(false);
    // The list comes from the server the entry was saved on; then the
    // connection follows the entry.
    LoadEntries(id);
    ApplyServerForm(m_connection);
    FillBoxes();
}

void FMServer::BUOK_Click() {
    accept();
}

void FMServer::done(int result) {
    // Changed through "Ändern" and closed with OK: the typed data are used.
    // Unless a connection stands, on which the entry can be saved, the
    // workstation keeps them for the next start.
    if (result == QDialog::Accepted && m_editing && BoxesChanged()) {
        const ServerEntry typed = EntryFromBoxes();
        SetEditable(false);
        TakeTypedServerData(m_connection, typed, !ServerEntriesReachable(m_connection));
        QDialog::done(result);
        return;
    }
    // Opened and closed without a choice: the login data stay as they were
    // (the boxes' presets are no choice).
    if (!m_chosen) {
        QDialog::done(result);
        return;
    }
    LoginForm& f = LoginFormData();
    f.nameSpace = BNAMESPACE->text().trimmed();
    f.firma = BFIRMA->text().trimmed();
    f.fil = BFIL->text().trimmed();
    f.server = BSERVERIP->text().trimmed();
    f.port = BPORT->text().trimmed();
    f.wj = BWJ->text().trimmed();
    ApplyServerForm(m_connection);
    QDialog::done(result);
}
