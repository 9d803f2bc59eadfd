#include "FMPass.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "server/Connection.h"
#include "server/ConnectionWindows.h"
#include "session/Login.h"
#include "widgets/DialogUserInterface.h"
#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPointer<FMPass> g_instance;

const QString kPlacementKey = QStringLiteral("FMPass");

} // namespace

FMPass* FMPass::instance(Connection& connection) {
    // A login window works on one connection for its life: another
    // connection (a test's next fixture) gets a window of its own.
    if (g_instance && &g_instance->m_connection != &connection) {
        delete g_instance;
        g_instance = nullptr;
    }
    if (!g_instance)
        g_instance = new FMPass(connection);
    return g_instance;
}

FMPass* FMPass::existing() {
    return g_instance;
}

FMPass::FMPass(Connection& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection) {
    setObjectName(QStringLiteral("FMPass"));
    setWindowTitle(QStringLiteral("VELTAR Benutzeranmeldung"));

    co_standort = new QComboBox(this);
    co_standort->setObjectName(QStringLiteral("co_standort"));
    co_standort->setMinimumWidth(220);
    cmdServer = new QPushButton(QStringLiteral("Server"), this);
    cmdServer->setObjectName(QStringLiteral("cmdServer"));
    cmdServer->setAutoDefault(false);
    BUSER = new QLineEdit(this);
    BUSER->setObjectName(QStringLiteral("BUSER"));
    BPASSWORT = new QLineEdit(this);
    BPASSWORT->setObjectName(QStringLiteral("BPASSWORT"));
    BPASSWORT->setEchoMode(QLineEdit::Password);
    BUSpeich = new QPushButton(QStringLiteral("Anmelden"), this);
    BUSpeich->setObjectName(QStringLiteral("BUSpeich"));
    BUSpeich->setDefault(true);
    BUAusst = new QPushButton(QStringLiteral("Abbruch"), this);
    BUAusst->setObjectName(QStringLiteral("BUAusst"));
    BUAusst->setAutoDefault(false);

    auto* standortRow = new QHBoxLayout;
    standortRow->addWidget(co_standort, 1);
    standortRow->addWidget(cmdServer);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Standort:"), standortRow);
    form->addRow(QStringLiteral("für Kompatibilität mit Altprog!:"), BUSER);
    form->addRow(QStringLiteral("Veltar Passwort:"), BPASSWORT);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BUSpeich);
    buttons->addWidget(BUAusst);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(co_standort, cmdServer);
    setTabOrder(cmdServer, BUSER);
    setTabOrder(BUSER, BPASSWORT);
    setTabOrder(BPASSWORT, BUSpeich);
    setTabOrder(BUSpeich, BUAusst);

    BUSER->installEventFilter(this);
    BPASSWORT->installEventFilter(this);
    connect(BUSpeich, &QPushButton::clicked, this, &FMPass::BUSpeich_Click);
    connect(BUAusst, &QPushButton::clicked, this, &FMPass::BUAusst_Click);
    connect(cmdServer, &QPushButton::clicked, this, &FMPass::cmdServer_Click);
    connect(co_standort, &QComboBox::currentIndexChanged, this, &FMPass::co_standort_Click);

    resize(460, 170);
}

FMPass::~FMPass() = default;

QString FMPass::NoDefaultServerText() {
    return QStringLiteral("Es ist kein Standardserver festgelegt!") +
           QStringLiteral("Bitte wählen Sie aus der Liste die Firma in der Sie arbeiten (linke "
                          "Maustaste Click)") +
           QStringLiteral(" und bestätigen Sie mit der rechten Maustaste (Eintrag als Standard) "
                          "speichern.");
}

bool FMPass::RunModal() {
    Form_Load();
    setModal(true);
    m_modal = true;
    m_closedByUnload = false;
    const int result = exec();
    m_modal = false;
    if (result == QDialog::Accepted)
        return true;
    // Closed while the program unloads its windows: that shutdown goes on.
    if (!m_closedByUnload)
        Ende(0);
    return false;
}

void FMPass::ShowForNewLogin(QWidget* mainWindow) {
    m_mainWindow = mainWindow;
    if (mainWindow && parentWidget() != mainWindow)
        setParent(mainWindow, windowFlags());
    Form_Load();
    setModal(false);
    show();
    raise();
    activateWindow();
}

void FMPass::Form_Load() {
    if (m_loaded)
        return;
    m_loaded = true;
    const QList<LocationEntry> entries = LoadLocations(m_connection);
    {
        const QSignalBlocker blocker(co_standort);
        co_standort->clear();
        for (const LocationEntry& e : entries)
            co_standort->addItem(e.text, e.code);
        co_standort->setCurrentIndex(co_standort->findData(Session().standort));
    }
}

void FMPass::showEvent(QShowEvent* event) {
    Form_Load();
    // The boxes keep what was typed; empty ones take the gathered login data.
    if (BUSER->text().isEmpty())
        BUSER->setText(LoginFormData().user);
    if (BPASSWORT->text().isEmpty())
        BPASSWORT->setText(LoginFormData().password);
    RestoreWindowPlacement(this, kPlacementKey);
    QDialog::showEvent(event);
    QTimer::singleShot(0, this, &FMPass::Form_Activate);
}

void FMPass::Form_Activate() {
    if (!isVisible())
        return;
    activateWindow();
    SelectPassword();
    if (Session().noDefaultServer) {
        TraceLog(QStringLiteral("FMPass.Form_Activate"), QStringLiteral("kein Standardserver"),
                 QString(), 50);
        UI().message(NoDefaultServerText(), QStringLiteral("Standardserver?"),
                     MessageIcon::Information, MessageButtons::Ok);
        ShowServerList();
        SelectPassword();
    }
}

void FMPass::SelectPassword() {
    SelectAllText(BPASSWORT, false);
}

void FMPass::TakeBoxes() {
    LoginForm& form = LoginFormData();
    BUSER->setText(BUSER->text().toUpper());
    form.user = BUSER->text();
    form.password = BPASSWORT->text();
    if (co_standort->currentIndex() >= 0)
        form.standort = co_standort->currentData().toString();
}

void FMPass::BUSpeich_Click() {
    BusyPointer busy;
    TakeBoxes();
    if (m_mainWindow && m_mainWindow->isVisible()) {
        // A new login from the main window's menu.
        m_connection.close();
        const bool ok = user_anmeld(m_connection, this);
        busy.release();
        emit loggedIn(ok);
        if (!ok) {
            // Refused, and so logged out: as at start, the window stays,
            // modal over the main window, until a login succeeds or
            // "Abbruch" ends the program.
            if (!isModal()) {
                hide();
                setModal(true);
            }
            show();
            raise();
            activateWindow();
            SelectPassword();
            return;
        }
        hide();
        setModal(false);
        m_mainWindow->show();
        m_mainWindow->activateWindow();
        return;
    }
    busy.release();
    accept();
}

void FMPass::BUAusst_Click() {
    reject();
}

void FMPass::reject() {
    if (m_modal && DialogUserInterface::unloading())
        m_closedByUnload = true;
    QDialog::reject();
    // The modal login ends the program once its loop has returned.
    if (!m_modal && !DialogUserInterface::unloading())
        Ende(0);
}

void FMPass::cmdServer_Click() {
    ShowServerList();
}

bool FMPass::showLoginWindow() {
    if (isVisible()) {
        TakeBoxes();
        return true;
    }
    NotBusy normal(UI());
    return RunModal();
}

void FMPass::co_standort_Click(int index) {
    if (index < 0)
        return;
    const QString code = co_standort->itemData(index).toString();
    LoginFormData().standort = code;
    Session().standort = code;
}

void FMPass::closeEvent(QCloseEvent* event) {
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::closeEvent(event);
}

bool FMPass::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && (edit == BUSER || edit == BPASSWORT)) {
        if (event->type() == QEvent::FocusIn) {
            edit->selectAll();
            // A click that brought the focus places the cursor after this
            // event; the selection is made again once it is through.
            QTimer::singleShot(0, edit, [edit] {
                if (edit->hasFocus())
                    edit->selectAll();
            });
        } else if (event->type() == QEvent::FocusOut && edit == BUSER) {
            BUSER->setText(BUSER->text().toUpper());
        }
    }
    return QDialog::eventFilter(watched, event);
}
