// The login window, the server list, the main window and the desktop user
// interface, run offscreen against an in-process stand-in with the demo
// company.

#include "ClientTestFixture.h"
#include "DemoData.h"
#include "GuiTestHelpers.h"
#include "InProcessClient.h"
#include "MainWindow.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "base/WorkstationSettings.h"
#include "common/TextHelpers.h"
#include "positions/gui/FMPos.h"
#include "server/Connection.h"
#include "server/MCommands.h"
#include "session/Login.h"
#include "session/gui/FMPass.h"
#include "session/gui/FMServer.h"
#include "shell/Downloads.h"
#include "shell/gui/DesktopUserInterface.h"
#include "shell/gui/fmstart.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <memory>

namespace {

const QString kLoginApp = QStringLiteral("Cache Login");
const QString kLoginSection = QStringLiteral("Login");

QString loginSetting(const QString& key) {
    return WorkstationSettings::value(kLoginApp, kLoginSection, key);
}

QString placementSetting(const QString& key) {
    return WorkstationSettings::value(QStringLiteral("Quendrapr"), QStringLiteral("Windowpos"),
                                      key);
}

// The desktop user interface with real windows, but messages recorded and
// answered from a queue, and the server list counted instead of shown
// (unless realServerList is set).
class TestUserInterface : public DesktopUserInterface, public RecordedMessages {
public:
    explicit TestUserInterface(Connection& connection) : DesktopUserInterface(connection) {}
    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override {
        return record(text, title, icon, buttons);
    }
    void showServerList() override {
        ++serverListShown;
        if (realServerList)
            DesktopUserInterface::showServerList();
    }
    // A test that expects a number of login windows gets no more, so a
    // failing login cannot wait for input that never comes.
    bool showLoginWindow() override {
        if (++loginWindowsShown > loginWindowLimit)
            return false;
        return DesktopUserInterface::showLoginWindow();
    }

    int serverListShown = 0;
    bool realServerList = false;
    int loginWindowsShown = 0;
    int loginWindowLimit = 2;
};

template <typename T> T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
}

// The label of a field in the window's form layouts (a field may share its
// row with a button).
QString labelOf(QWidget* field) {
    for (auto* form : field->window()->findChildren<QFormLayout*>())
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem* item = form->itemAt(row, QFormLayout::FieldRole);
            QLayoutItem* label = form->itemAt(row, QFormLayout::LabelRole);
            if (!item || !label)
                continue;
            if (item->widget() == field || (item->layout() && item->layout()->indexOf(field) >= 0))
                if (auto* text = qobject_cast<QLabel*>(label->widget()))
                    return text->text();
        }
    return QString();
}

// Answers the login window that comes next with a password and "Anmelden".
void answerLoginWith(const QString& password) {
    WhenModalShown("FMPass", [password](QWidget* w) {
        TypeInto(w->findChild<QLineEdit*>("BPASSWORT"), password);
        QTest::mouseClick(w->findChild<QPushButton*>("BUSpeich"), Qt::LeftButton);
    });
}

void clickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    QVERIFY(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void clickRow(QTreeView* view, int row) {
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QVERIFY(rect.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

QStringList rowTexts(const QAbstractItemModel* model, int row) {
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c)
        texts << model->index(row, c).data().toString();
    return texts;
}

QStringList headerTexts(const QAbstractItemModel* model) {
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c)
        texts << model->headerData(c, Qt::Horizontal).toString();
    return texts;
}

// A window that notes the order in which it is closed ("?" when it was not
// closed by the unloading); a refusing one stays open.
class ClosingWindow : public QWidget {
public:
    ClosingWindow(const QString& name, QStringList* order, bool refuse = false)
        : m_order(order), m_refuse(refuse) {
        setObjectName(name);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        m_order->append(objectName() + (DialogUserInterface::unloading() ? "" : "?"));
        if (m_refuse)
            event->ignore();
        else
            event->accept();
    }

private:
    QStringList* m_order;
    bool m_refuse;
};

} // namespace

class TestGuiLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    // Login window
    void loginWindowControls();
    void wrongPasswordLeadsBackWithPasswordSelected();
    void qualifyingCommandLineLogsInWithoutWindow();
    void abbruchEndsProgramAndStoresPlacement();
    void userCodeUpperCasedWhenLeft();
    void noDefaultServerAsksAndOpensServerList();
    void newLoginFromMainWindowRenewsTitle();
    void lockedUserRefusedAnotherLocationAndWindowStays();
    void failedNewLoginKeepsTheMainWindowBlocked_data();
    void failedNewLoginKeepsTheMainWindowBlocked();

    // Server list
    void serverListTakesEntryAndSetsDefault();
    void serverListOpenedAndClosedChangesNothing();
    void connectionNoteSaysWhatIsTried();
    void serverListChangesEntryOnlyAfterBothQuestions();
    void serverListRestoresButNeverStoresPlacement();
    void serverListConfirmsTheDefault();
    void typedServerDataReachTheNextAttempt_data();
    void typedServerDataReachTheNextAttempt();

    // Main window
    void mainWindowListsNewestDownloadFirst();
    void deleteAnsweredNoChangesNothing();
    void deleteYesWithoutSelectedRowSendsNothing();
    void afterDeletionRowButtonsAreDisabled();
    void taskButtonsOpenTheirWindows();
    void positionsWindowShowsTheDownload();
    void closingStoresPlacementClosesConnectionAndEnds();
    void aboutBoxIsNonModal();
    void loginThroughListToDeletion();

    // Desktop user interface
    void messageBoxesUseGermanButtons();
    void busyPointerIsSetOnceAndTakenAwayOnce();
    void unloadClosesLastOpenedFirstIgnoringErrors();

private:
    void loginByCommandLine();

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<TestUserInterface> m_ui;
};

void TestGuiLogin::init() {
    // Windows end the program from inside Qt's event handling; the hook only
    // notes the exit code.
    m_fx = std::make_unique<ClientTestFixture>(ClientTestFixture::Data::Demo,
                                               ClientTestFixture::OnExit::Record);
    // The demo company's server entry is this workstation's default.
    WorkstationSettings::setValue(kLoginApp, kLoginSection, "ServerObjekt", "1");
    m_ui = std::make_unique<TestUserInterface>(m_fx->connection());
}

void TestGuiLogin::cleanup() {
    delete FMPass::existing();
    m_ui.reset();
    m_fx.reset();
}

void TestGuiLogin::loginByCommandLine() {
    QVERIFY(LogInByCommandLine(m_fx->connection(), *m_ui, *m_ui));
}

// ---------------------------------------------------------------- login window

void TestGuiLogin::loginWindowControls() {
    QString title, userLabel, passwordLabel, locationLabel, server, anmelden, abbruch;
    QStringList locations;
    QString location;
    bool isDefault = false;
    bool hidden = false;
    WhenModalShown("FMPass", [&](QWidget* w) {
        title = w->windowTitle();
        auto* combo = child<QComboBox>(w, "co_standort");
        for (int i = 0; i < combo->count(); ++i)
            locations << combo->itemText(i) + "=" + combo->itemData(i).toString();
        location = combo->currentData().toString();
        locationLabel = labelOf(combo);
        userLabel = labelOf(child<QLineEdit>(w, "BUSER"));
        auto* password = child<QLineEdit>(w, "BPASSWORT");
        passwordLabel = labelOf(password);
        hidden = password->echoMode() == QLineEdit::Password;
        server = child<QPushButton>(w, "cmdServer")->text();
        anmelden = child<QPushButton>(w, "BUSpeich")->text();
        isDefault = child<QPushButton>(w, "BUSpeich")->isDefault();
        abbruch = child<QPushButton>(w, "BUAusst")->text();
        password->setText("demo");
        QTest::keyClick(password, Qt::Key_Return);
    });
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(title, QString("VELTAR Benutzeranmeldung"));
    QCOMPARE(locations,
             QStringList({"01 Zentrale Köln=01", "02 Lager Nord=02", "03 Baumarkt Süd=03"}));
    QCOMPARE(location, QString("01"));
    QCOMPARE(locationLabel, QString("Standort:"));
    QCOMPARE(userLabel, QString("für Kompatibilität mit Altprog!:"));
    QCOMPARE(passwordLabel, QString("Veltar Passwort:"));
    QVERIFY(hidden);
    QCOMPARE(server, QString("Server"));
    QCOMPARE(anmelden, QString("Anmelden"));
    QVERIFY(isDefault);
    QCOMPARE(abbruch, QString("Abbruch"));
    // Return pressed "Anmelden": logged in, the window hidden, no message.
    QCOMPARE(Session().userDisplay, QString("DEM|Dörte Demo"));
    QVERIFY(!FMPass::instance(m_fx->connection())->isVisible());
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(ScrambleText(loginSetting("Passwort")), QString("demo"));
}

void TestGuiLogin::wrongPasswordLeadsBackWithPasswordSelected() {
    // The inactive user's password: the user is found but refused.
    WhenModalShown("FMPass", [](QWidget* w) {
        child<QLineEdit>(w, "BPASSWORT")->setText("alt");
        QTest::mouseClick(child<QPushButton>(w, "BUSpeich"), Qt::LeftButton);
    });
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an Caché."));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Information);
    QVERIFY(!FMPass::instance(m_fx->connection())->isVisible());

    // The main window's loop asks again: the password is still there, wholly
    // selected, so typing replaces it.
    QString text, selected;
    WhenModalShown("FMPass", [&](QWidget* w) {
        auto* password = child<QLineEdit>(w, "BPASSWORT");
        text = password->text();
        selected = password->selectedText();
        QTest::keyClicks(password, "demo");
        QTest::mouseClick(child<QPushButton>(w, "BUSpeich"), Qt::LeftButton);
    });
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(text, QString("alt"));
    QCOMPARE(selected, QString("alt"));
    QCOMPARE(Session().userDisplay, QString("DEM|Dörte Demo"));
    QCOMPARE(m_ui->messages.size(), 1);
    QVERIFY(m_fx->exits.isEmpty());
}

void TestGuiLogin::qualifyingCommandLineLogsInWithoutWindow() {
    Session().commandLine = "1 0 DEM demo 127.0.0.1 1973 VELTAR";
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QVERIFY(!FMPass::existing());
    QVERIFY(m_ui->messages.isEmpty());
    fmstart w(m_fx->connection());
    QCOMPARE(w.windowTitle(), QString("VELTAR Quendra Preisdaten              Firma: 1     "
                                      "Standort: 01     Benutzer: DEM|Dörte Demo"));
}

void TestGuiLogin::abbruchEndsProgramAndStoresPlacement() {
    QVERIFY(placementSetting("FMPass").isEmpty());
    WhenModalShown("FMPass", [](QWidget* w) {
        child<QLineEdit>(w, "BPASSWORT")->setText("demo");
        QTest::mouseClick(child<QPushButton>(w, "BUAusst"), Qt::LeftButton);
    });
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_fx->exits, QList<int>{0});
    QCOMPARE(Session().userDisplay, QString());
    // Nothing typed was kept, and unloading stored where the window stood.
    QVERIFY(loginSetting("Passwort").isEmpty());
    QVERIFY(!placementSetting("FMPass").isEmpty());

    // The close box ends the program as well.
    WhenModalShown("FMPass", [](QWidget* w) { w->close(); });
    QVERIFY(!user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_fx->exits, QList<int>({0, 0}));
}

void TestGuiLogin::userCodeUpperCasedWhenLeft() {
    QString afterLeaving, selectedOnEntry;
    WhenModalShown("FMPass", [&](QWidget* w) {
        auto* user = child<QLineEdit>(w, "BUSER");
        auto* password = child<QLineEdit>(w, "BPASSWORT");
        user->setText("dem");
        user->setFocus(Qt::TabFocusReason);
        selectedOnEntry = user->selectedText();
        password->setFocus(Qt::TabFocusReason);
        afterLeaving = user->text();
        password->setText("demo");
        QTest::mouseClick(child<QPushButton>(w, "BUSpeich"), Qt::LeftButton);
    });
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(selectedOnEntry, QString("dem"));
    QCOMPARE(afterLeaving, QString("DEM"));
    QCOMPARE(loginSetting("Name"), QString("DEM"));
}

void TestGuiLogin::noDefaultServerAsksAndOpensServerList() {
    WorkstationSettings::remove(kLoginApp, kLoginSection, "ServerObjekt");
    int listsWhileShown = -1;
    WhenModalShown("FMPass", [&](QWidget* w) {
        listsWhileShown = m_ui->serverListShown;
        child<QLineEdit>(w, "BPASSWORT")->setText("demo");
        QTest::mouseClick(child<QPushButton>(w, "BUSpeich"), Qt::LeftButton);
    });
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(listsWhileShown, 1);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].title, QString("Standardserver?"));
    QCOMPARE(m_ui->messages[0].text,
             QString("Es ist kein Standardserver festgelegt!Bitte wählen Sie aus der Liste die "
                     "Firma in der Sie arbeiten (linke Maustaste Click) und bestätigen Sie mit "
                     "der rechten Maustaste (Eintrag als Standard) speichern."));
}

void TestGuiLogin::newLoginFromMainWindowRenewsTitle() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.loggedIn());
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QAction*>("mLogin")->trigger();
    FMPass* pass = FMPass::existing();
    QVERIFY(pass);
    QVERIFY(pass->isVisible());
    QVERIFY(!pass->isModal());
    QCOMPARE(pass->parentWidget(), &w);

    child<QLineEdit>(pass, "BPASSWORT")->setText("lager");
    child<QPushButton>(pass, "BUSpeich")->click();
    QCOMPARE(Session().userDisplay, QString("LAG|Lutz Lagerbühl"));
    QCOMPARE(w.windowTitle(), QString("VELTAR Quendra Preisdaten              Firma: 1     "
                                      "Standort: 01     Benutzer: LAG|Lutz Lagerbühl"));
    QVERIFY(!pass->isVisible());
    QVERIFY(w.isVisible());
    QVERIFY2(m_ui->messages.isEmpty(), qPrintable(m_ui->messages.value(0).text));
    // The server knows the new user.
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W PERSONAL", failed), QString("LAG"));
    QVERIFY(m_fx->exits.isEmpty());
}

void TestGuiLogin::lockedUserRefusedAnotherLocationAndWindowStays() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.loggedIn());
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QAction*>("mLogin")->trigger();
    FMPass* pass = FMPass::existing();
    QVERIFY(pass);
    auto* combo = child<QComboBox>(pass, "co_standort");
    combo->setCurrentIndex(combo->findData("02"));
    QCOMPARE(Session().standort, QString("02"));
    QCOMPARE(LoginFormData().standort, QString("02"));
    child<QLineEdit>(pass, "BPASSWORT")->setText("lager");
    child<QPushButton>(pass, "BUSpeich")->click();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Sie dürfen die Filiale nicht verändern."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an VELTAR."));
    // Refused: the window stays open for another try, the title shows no user.
    QVERIFY(pass->isVisible());
    QCOMPARE(w.windowTitle(), QString("VELTAR Quendra Preisdaten              Firma: 1     "
                                      "Standort: 02     Benutzer: "));

    combo->setCurrentIndex(combo->findData("01"));
    child<QPushButton>(pass, "BUSpeich")->click();
    QCOMPARE(m_ui->messages.size(), 1);
    QVERIFY(!pass->isVisible());
    QCOMPARE(w.windowTitle(), QString("VELTAR Quendra Preisdaten              Firma: 1     "
                                      "Standort: 01     Benutzer: LAG|Lutz Lagerbühl"));
}

void TestGuiLogin::failedNewLoginKeepsTheMainWindowBlocked_data() {
    QTest::addColumn<bool>("abbruch");
    QTest::newRow("right password next") << false;
    QTest::newRow("Abbruch next") << true;
}

void TestGuiLogin::failedNewLoginKeepsTheMainWindowBlocked() {
    QFETCH(bool, abbruch);
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* list = w.downloadList();
    QVERIFY(w.ready(3));
    clickRow(list, 2);
    QVERIFY(w.ToolButton(3)->isEnabled());

    w.findChild<QAction*>("mLogin")->trigger();
    FMPass* pass = FMPass::existing();
    QVERIFY(pass);
    TypeInto(child<QLineEdit>(pass, "BPASSWORT"), "falsch");
    child<QPushButton>(pass, "BUSpeich")->click();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
    QCOMPARE(m_ui->messages[0].title, QString("Anmeldung an Caché."));
    QCOMPARE(Session().userDisplay, QString());
    // Logged out: the login window stays, modal over the main window.
    QVERIFY(pass->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), pass);

    // The task actions open no window that would call the server (whatever
    // opens is closed, so that nothing waits here).
    QStringList opened;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != pass) {
            opened << modal->objectName();
            modal->close();
        }
    });
    closer.start(10);
    for (int number : {1, 2, 3, 4})
        w.ToolButton(number)->trigger();
    w.lilief_DblClick(list->model()->index(2, 0));
    closer.stop();
    QCOMPARE(opened, QStringList());
    QCOMPARE(m_ui->texts(), QStringList{"Passwort Falsch oder Benutzer nicht Aktiv."});
    QVERIFY(m_fx->exits.isEmpty());

    if (abbruch) {
        // "Abbruch" ends the program, as at start.
        child<QPushButton>(pass, "BUAusst")->click();
        QCOMPARE(m_fx->exits, QList<int>{0});
        QCOMPARE(Session().userDisplay, QString());
        QCOMPARE(m_ui->messages.size(), 1);
        return;
    }
    TypeInto(child<QLineEdit>(pass, "BPASSWORT"), "demo");
    child<QPushButton>(pass, "BUSpeich")->click();
    QCOMPARE(Session().userDisplay, QString("DEM|Dörte Demo"));
    QVERIFY(!pass->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(w.windowTitle().endsWith("Benutzer: DEM|Dörte Demo"));
    // Logged in again, the main window opens the positions.
    QString caption;
    WhenShown<FMPos>(this, [&](FMPos* d) {
        caption = d->windowTitle();
        d->close();
    });
    w.ToolButton(3)->trigger();
    QCOMPARE(caption, QString("Quendra Preisdaten - Positionen   70001 Müller Baustoffe GmbH"));
    QCOMPARE(m_ui->messages.size(), 1);
    QVERIFY(m_fx->exits.isEmpty());
}

// ----------------------------------------------------------------- server list

void TestGuiLogin::serverListTakesEntryAndSetsDefault() {
    loginByCommandLine();
    LoginFormData() = LoginForm();
    WorkstationSettings::remove(kLoginApp, kLoginSection, "ServerObjekt");
    Session().noDefaultServer = true;

    FMServer list(m_fx->connection());
    QCOMPARE(list.windowTitle(), QString("VELTAR Server"));
    QCOMPARE(FMServer::current(), &list);
    // Presets while nothing is chosen.
    QCOMPARE(child<QLineEdit>(&list, "BNAMESPACE")->text(), QString("VELTAR"));
    QCOMPARE(child<QLineEdit>(&list, "BPORT")->text(), QString("1973"));
    QCOMPARE(child<QLineEdit>(&list, "BWJ")->text(), QString());
    QVERIFY(child<QLineEdit>(&list, "BFIRMA")->isReadOnly());

    auto* entries = child<QTreeWidget>(&list, "liServer");
    QCOMPARE(entries->topLevelItemCount(), 1);
    QCOMPARE(entries->topLevelItem(0)->text(0), QString("Demo-Firma (lokal)"));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    clickRow(entries, 0);
    QCOMPARE(child<QLineEdit>(&list, "BFIRMA")->text(), QString("1"));
    QCOMPARE(child<QLineEdit>(&list, "BFIL")->text(), QString("0"));
    QCOMPARE(child<QLineEdit>(&list, "BSERVERIP")->text(), QString("127.0.0.1"));
    QCOMPARE(child<QLineEdit>(&list, "BWJ")->text(), QString("2027"));
    QCOMPARE(LoginFormData().serverObjectId, QString("1"));
    QCOMPARE(LoginFormData().wj, QString("2027"));

    auto* standard = list.findChild<QAction*>("mEintragAlsStandard");
    QVERIFY(standard);
    QCOMPARE(standard->text(), QString("Eintrag als Standard"));
    standard->trigger();
    QCOMPARE(loginSetting("ServerObjekt"), QString("1"));
    QCOMPARE(loginSetting("Firma"), QString("1"));
    QCOMPARE(loginSetting("Server"), QString("127.0.0.1"));
    QVERIFY(!Session().noDefaultServer);

    // OK takes the boxes into the login data and the connection's data.
    Session().wj.clear();
    Session().server = "10.0.0.9";
    m_fx->connection().rebuildConnectString();
    child<QPushButton>(&list, "BUOK")->click();
    QVERIFY(!list.isVisible());
    QCOMPARE(Session().wj, QString("2027"));
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[1973]:VELTAR"));
}

void TestGuiLogin::serverListOpenedAndClosedChangesNothing() {
    loginByCommandLine();
    // The login data name the port the server listens on; the list's
    // entry names another.
    LoginForm& f = LoginFormData();
    f = LoginForm();
    f.server = "127.0.0.1";
    f.port = "4711";
    f.firma = "1";
    f.fil = "0";
    Session().port = "4711";
    m_fx->connection().rebuildConnectString();
    const QString connect = m_fx->connection().connectString();
    const QString objectId = LoginFormData().serverObjectId;
    QCOMPARE(connect, QString("cn_iptcp:127.0.0.1[4711]:VELTAR"));
    {
        FMServer list(m_fx->connection());
        // The boxes show the login data in force.
        QCOMPARE(child<QLineEdit>(&list, "BPORT")->text(), QString("4711"));
        QCOMPARE(child<QTreeWidget>(&list, "liServer")->topLevelItemCount(), 1);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        // The list takes the focus (and makes a row current by itself).
        auto* entries = child<QTreeWidget>(&list, "liServer");
        entries->setFocus();
        QTRY_VERIFY(entries->hasFocus());
        QCOMPARE(child<QLineEdit>(&list, "BPORT")->text(), QString("4711"));
        QTest::keyClick(&list, Qt::Key_Escape);
        QVERIFY(!list.isVisible());
    }
    QCOMPARE(LoginFormData().port, QString("4711"));
    QCOMPARE(LoginFormData().serverObjectId, objectId);
    QCOMPARE(m_fx->connection().connectString(), connect);
    {
        // Closed with OK and nothing chosen: the same.
        FMServer list(m_fx->connection());
        child<QPushButton>(&list, "BUOK")->click();
    }
    QCOMPARE(LoginFormData().port, QString("4711"));
    QCOMPARE(m_fx->connection().connectString(), connect);
    {
        // A chosen entry reaches the connect string, however the list closes.
        FMServer list(m_fx->connection());
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        clickRow(child<QTreeWidget>(&list, "liServer"), 0);
        QCOMPARE(child<QLineEdit>(&list, "BPORT")->text(), QString("1973"));
        list.close();
    }
    QCOMPARE(LoginFormData().serverObjectId, QString("1"));
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[1973]:VELTAR"));
}

void TestGuiLogin::connectionNoteSaysWhatIsTried() {
    const QString text = "Verbindung zu 127.0.0.1:1973 wird aufgebaut, Versuch 2 von 3";
    m_ui->showActivity(text);
    // It shows once events are processed (in the pause before the attempt).
    QWidget* note = WaitForWindow<QWidget>("FMVerbindung");
    QVERIFY(note);
    QCOMPARE(note->windowTitle(), QString("Anmeldung an Caché"));
    QCOMPARE(child<QLabel>(note, "lbVerbindung")->text(), text);
    m_ui->showActivity(QString());
    QVERIFY(!note->isVisible());
    // Taken away before events were processed (a connection made at once):
    // it never shows.
    m_ui->showActivity(text);
    m_ui->showActivity(QString());
    QTest::qWait(30);
    QVERIFY(!note->isVisible());
}

void TestGuiLogin::serverListChangesEntryOnlyAfterBothQuestions() {
    loginByCommandLine();
    LoginFormData().serverObjectId = "1";
    FMServer list(m_fx->connection());
    auto* entries = child<QTreeWidget>(&list, "liServer");
    QCOMPARE(entries->currentItem(), entries->topLevelItem(0));
    auto* port = child<QLineEdit>(&list, "BPORT");
    auto* edit = child<QPushButton>(&list, "BUEdit");
    QCOMPARE(edit->text(), QString("Ändern"));

    m_ui->answers.enqueue(MessageAnswer::No);
    edit->click();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Änderungen erlauben?"));
    QCOMPARE(m_ui->messages[0].buttons, MessageButtons::YesNo);
    QVERIFY(port->isReadOnly());

    m_ui->answers.enqueue(MessageAnswer::Yes);
    edit->click();
    QVERIFY(!port->isReadOnly());
    port->setText("1974");
    child<QLineEdit>(&list, "BBEZEICHNUNG")->setText("Demo-Firma Köln");

    // Not saved: the old values come back and nothing reaches the server.
    m_ui->answers.enqueue(MessageAnswer::No);
    edit->click();
    QCOMPARE(m_ui->messages.size(), 3);
    QCOMPARE(m_ui->messages[2].text, QString("Änderungen sichern?"));
    QCOMPARE(port->text(), QString("1973"));
    QVERIFY(port->isReadOnly());
    QCOMPARE(LoadServerEntries(m_fx->connection()).value(0).port, QString("1973"));

    m_ui->answers.enqueue(MessageAnswer::Yes);
    edit->click();
    port->setText("1974");
    child<QLineEdit>(&list, "BBEZEICHNUNG")->setText("Demo-Firma Köln");
    m_ui->answers.enqueue(MessageAnswer::Yes);
    edit->click();
    QCOMPARE(m_ui->messages.size(), 5);
    // The saved entry points elsewhere: the connection was closed, the next
    // call connects to the new place.
    QVERIFY(!m_fx->connection().client().isConnected());
    m_fx->connection().ensure();
    const QList<ServerEntry> stored = LoadServerEntries(m_fx->connection());
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].id, QString("1"));
    QCOMPARE(stored[0].port, QString("1974"));
    QCOMPARE(stored[0].bezeichnung, QString("Demo-Firma Köln"));
    QCOMPARE(entries->topLevelItem(0)->text(0), QString("Demo-Firma Köln"));
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[1974]:VELTAR"));
    QVERIFY(port->isReadOnly());
}

void TestGuiLogin::serverListRestoresButNeverStoresPlacement() {
    {
        FMServer list(m_fx->connection());
        list.move(40, 50);
        list.close();
    }
    QVERIFY(placementSetting("FMServer").isEmpty());
    WorkstationSettings::setValue("Quendrapr", "Windowpos", "FMServer", "1500|1200|10500|6000");
    FMServer list(m_fx->connection());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.width(), 700);
    QCOMPARE(list.height(), 400);
    list.move(300, 300);
    list.close();
    QCOMPARE(placementSetting("FMServer"), QString("1500|1200|10500|6000"));
}

void TestGuiLogin::serverListConfirmsTheDefault() {
    loginByCommandLine();
    WorkstationSettings::remove(kLoginApp, kLoginSection, "ServerObjekt");
    FMServer list(m_fx->connection());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    auto* status = child<QLabel>(&list, "lbStatus");
    QVERIFY(status);
    QCOMPARE(status->text(), QString());
    clickRow(child<QTreeWidget>(&list, "liServer"), 0);
    QCOMPARE(status->text(), QString());
    list.findChild<QAction*>("mEintragAlsStandard")->trigger();
    QCOMPARE(loginSetting("ServerObjekt"), QString("1"));
    QCOMPARE(status->text(), QString("Standardserver gespeichert"));
    QVERIFY(status->isVisible());
}

void TestGuiLogin::typedServerDataReachTheNextAttempt_data() {
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QStringList>("questions");
    QTest::newRow("Ändern, OK") << false << QStringList{"Änderungen erlauben?"};
    QTest::newRow("Ändern, Ändern, OK")
        << true << QStringList{"Änderungen erlauben?", "Änderungen sichern?"};
}

void TestGuiLogin::typedServerDataReachTheNextAttempt() {
    QFETCH(bool, saved);
    QFETCH(QStringList, questions);
    // Nothing listens at the port of the settings (1973); the server is at
    // 39995.
    m_fx->setListeningPort(39995);
    m_ui->realServerList = true;
    WhenModalShown("FMServer", [this, saved](QWidget* w) {
        // A list shown again (the typed data not used) is only counted.
        m_ui->realServerList = false;
        auto* edit = child<QPushButton>(w, "BUEdit");
        m_ui->answers.enqueue(MessageAnswer::Yes);
        edit->click();
        TypeInto(child<QLineEdit>(w, "BPORT"), "39995");
        TypeInto(child<QLineEdit>(w, "BFIRMA"), "2");
        TypeInto(child<QLineEdit>(w, "BWJ"), "2026");
        if (saved) {
            m_ui->answers.enqueue(MessageAnswer::Yes);
            edit->click();
        }
        QTest::mouseClick(child<QPushButton>(w, "BUOK"), Qt::LeftButton);
    });
    answerLoginWith("zwei");
    const bool loggedIn = user_anmeld(m_fx->connection(), m_ui.get());
    QCOMPARE(m_ui->texts(), QStringList{"Server nach 3 Versuchen nicht erreichbar!\r\n"
                                        "Bitte Kontrollieren Sie die Verbindungsdaten"} +
                                questions);
    QVERIFY(loggedIn);
    QCOMPARE(m_ui->serverListShown, 1);
    QVERIFY(m_fx->exits.isEmpty());
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[39995]:VELTAR"));
    QCOMPARE(Session().firma, QString("2"));
    QCOMPARE(Session().wj, QString("2026"));
    QCOMPARE(Session().userDisplay, QString("ZW|Zora Zweig"));
    bool failed = false;
    QCOMPARE(dbcall(m_fx->connection(), "W FIRMA", failed), QString("2"));
    // The workstation keeps them; the default entry stays the one it was
    // (no entry on a server holds the typed data).
    const QList<QPair<QString, QString>> kept{{"Server", "127.0.0.1"}, {"Port", "39995"},
                                              {"Firma", "2"},          {"Filiale", "0"},
                                              {"Namespace", "VELTAR"}, {"ServerObjekt", "1"}};
    for (const auto& [key, value] : kept)
        QCOMPARE(loginSetting(key), value);

    // Started again: the kept data lead to that server at once.
    delete FMPass::existing();
    m_fx->connection().release();
    Session() = SessionContext();
    LoginFormData() = LoginForm();
    m_fx->connection().setCredentials({});
    m_ui->messages.clear();
    answerLoginWith("zwei");
    QVERIFY(user_anmeld(m_fx->connection(), m_ui.get()));
    QCOMPARE(m_ui->texts(), QStringList());
    QCOMPARE(m_ui->serverListShown, 1);
    QCOMPARE(m_fx->connection().connectString(), QString("cn_iptcp:127.0.0.1[39995]:VELTAR"));
    QCOMPARE(Session().userDisplay, QString("ZW|Zora Zweig"));
}

// ----------------------------------------------------------------- main window

void TestGuiLogin::mainWindowListsNewestDownloadFirst() {
    loginByCommandLine();
    fmstart w(m_fx->connection());
    auto* list = child<QTreeView>(&w, "lilief");
    QAbstractItemModel* rows = list->model();
    QCOMPARE(headerTexts(rows),
             QStringList({"Datum", "Personal", "Lief.-Nr", "Lief.-Name", "Positionen"}));
    QStringList buttons;
    for (QAction* a : child<QToolBar>(&w, "tool1")->actions())
        buttons << a->text();
    QCOMPARE(buttons,
             QStringList({"Import Datei", "Import Web", "Positionen", "Löschen", "Beenden"}));
    QCOMPARE(w.findChild<QTimer*>("Timer1")->interval(), 1);
    QCOMPARE(rows->rowCount(), 0);

    w.show();
    QTRY_COMPARE(rows->rowCount(), 3);
    QCOMPARE(rowTexts(rows, 0),
             QStringList({"2026-12-01", "LAG", "70003", "Weiß & Söhne Fliesen", "4"}));
    QCOMPARE(rowTexts(rows, 2).mid(0, 3), QStringList({"2026-10-05", "DEM", "70001"}));
    const QString key = rows->index(0, 3).data(DownloadListModel::KeyRole).toString();
    QVERIFY(!key.isEmpty());
    QCOMPARE(w.Downloads()->row(0).rowText(),
             QString("2026-12-01\nLAG\n70003\nWeiß & Söhne Fliesen\n4\n") + key);
    QVERIFY(!w.SelectedDownload());
    QVERIFY(w.ToolButton(1)->isEnabled());
    QVERIFY(w.ToolButton(2)->isEnabled());
    QVERIFY(!w.ToolButton(3)->isEnabled());
    QVERIFY(!w.ToolButton(4)->isEnabled());
    QVERIFY(w.ToolButton(5)->isEnabled());
    clickRow(list, 1);
    QVERIFY(w.ToolButton(3)->isEnabled());
    QVERIFY(w.ToolButton(4)->isEnabled());
    // The other windows get the row itself.
    QCOMPARE(w.SelectedDownload()->lnr, QString("70002"));
    QCOMPARE(w.SelectedDownload()->key, rows->index(1, 0).data(DownloadListModel::KeyRole));
}

void TestGuiLogin::deleteAnsweredNoChangesNothing() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.ready(3));
    auto* list = w.downloadList();
    QAbstractItemModel* rows = list->model();
    clickRow(list, 0);
    m_ui->answers.enqueue(MessageAnswer::No);
    w.ToolButton(4)->trigger();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Wirklich löschen"));
    QCOMPARE(m_ui->messages[0].title, QString());
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Question);
    QCOMPARE(m_ui->messages[0].buttons, MessageButtons::YesNo);
    QCOMPARE(rows->rowCount(), 3);
    QCOMPARE(LoadDownloadList(m_fx->connection()).size(), 3);
    QVERIFY(w.ToolButton(4)->isEnabled());
}

void TestGuiLogin::deleteYesWithoutSelectedRowSendsNothing() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.ready(3));
    auto* list = w.downloadList();
    QAbstractItemModel* rows = list->model();
    // The disabled button does nothing at all.
    w.ToolButton(4)->trigger();
    QVERIFY(m_ui->messages.isEmpty());
    // Asked directly, the question comes, but without a row nothing is sent.
    m_ui->answers.enqueue(MessageAnswer::Yes);
    w.tool1_ButtonClick(4);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(rows->rowCount(), 3);
    QCOMPARE(LoadDownloadList(m_fx->connection()).size(), 3);
}

void TestGuiLogin::afterDeletionRowButtonsAreDisabled() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.ready(3));
    auto* list = w.downloadList();
    QAbstractItemModel* rows = list->model();
    clickRow(list, 1);
    const QString key = w.Downloads()->row(1).key;
    m_ui->answers.enqueue(MessageAnswer::Yes);
    w.ToolButton(4)->trigger();
    QCOMPARE(rows->rowCount(), 2);
    QVERIFY(!w.ToolButton(3)->isEnabled());
    QVERIFY(!w.ToolButton(4)->isEnabled());
    QVERIFY(!w.SelectedDownload());
    QStringList keys;
    for (const DownloadRow& r : LoadDownloadList(m_fx->connection()))
        keys << r.key;
    QCOMPARE(keys.size(), 2);
    QVERIFY(!keys.contains(key));
    QCOMPARE(rows->index(0, 2).data().toString(), QString("70003"));
    QCOMPARE(rows->index(1, 2).data().toString(), QString("70001"));
    clickRow(list, 0);
    QVERIFY(w.ToolButton(3)->isEnabled());
    QVERIFY(w.ToolButton(4)->isEnabled());
}

void TestGuiLogin::taskButtonsOpenTheirWindows() {
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toUtf8());
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.ready(3));
    auto* list = w.downloadList();
    QAbstractItemModel* rows = list->model();
    // Buttons 1 and 2 open the import windows modally; the buyer cancels
    // the file choice and the web download.
    QStringList seen;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && !seen.contains(top->windowTitle()))
                seen << top->windowTitle();
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->windowTitle() != "VELTAR Quendra Preisdaten - Import")
            modal->close();
    });
    closer.start(20);
    w.ToolButton(1)->trigger();
    w.ToolButton(2)->trigger();
    closer.stop();
    QVERIFY2(seen.contains("VELTAR Quendra Preisdaten - Import"), qPrintable(seen.join(',')));
    QVERIFY2(seen.contains("Quendra Web Download"), qPrintable(seen.join(',')));
    // The web import found no download file.
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Datei nicht vorhanden"));
    // A double-click opens the positions of that download, modally.
    QString caption;
    WhenShown<FMPos>(this, [&](FMPos* d) {
        caption = d->windowTitle();
        d->close();
    });
    const QPoint row = list->visualRect(rows->index(0, 0)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
    QCOMPARE(caption, QString("Quendra Preisdaten - Positionen   70003 Weiß & Söhne Fliesen"));
    QCOMPARE(LoadDownloadList(m_fx->connection()).size(), 3);
    qunsetenv("TEMP");
}

void TestGuiLogin::positionsWindowShowsTheDownload() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.ready(3));
    auto* list = w.downloadList();
    clickRow(list, 2); // download 1 of 70001
    QStringList cells, styles, tools;
    int candidates = -1;
    QString caption;
    // Reads the window once its load is done (polling, so the load's own
    // event processing is never blocked), then closes it.
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
        auto* pos = qobject_cast<FMPos*>(QApplication::activeModalWidget());
        if (!pos || pos->loading() || pos->Grid()->size() < 3 || pos->Candidates()->rowCount() == 0)
            return;
        poll.stop();
        caption = pos->windowTitle();
        const QAbstractItemModel* grid = child<QTableView>(pos, "lipos")->model();
        for (int c : {2, 3, 7, 13, 38, 39})
            cells << grid->index(2, c).data().toString();
        for (int r = 0; r < 3; ++r) {
            QString s;
            for (int c = 40; c <= 45; ++c)
                s += QString::number(grid->index(r, c).data(PositionGridModel::StyleRole).toInt());
            styles << s + "/" + grid->index(r, 0).data(PositionGridModel::RowKeyRole).toString();
        }
        candidates = child<QTreeView>(pos, "libm")->model()->rowCount();
        for (QAction* a : child<QToolBar>(pos, "tool1")->actions())
            tools << a->text() + (a->isEnabled() ? "+" : "-");
        pos->close();
    });
    poll.start();
    w.ToolButton(3)->trigger();
    poll.stop();
    QCOMPARE(caption, QString("Quendra Preisdaten - Positionen   70001 Müller Baustoffe GmbH"));
    QCOMPARE(cells,
             (QStringList{"M-2001", "Mörtel 25 kg", "100200", "4,92 %", "RG02", "01/11/2026"}));
    QCOMPARE(styles, (QStringList{"000002/1`J`J", "133331/2`N`N", "222222/3`J`N"}));
    QCOMPARE(candidates, 5);
    QCOMPARE(tools, (QStringList{"Rabattgruppen+", "Aktualisieren+", "Verbuchen+", "Drucken+",
                                 "Selekt. mark+", "Multiselekt+", "Mehrfachsetzen+",
                                 "Einlesen EAN+", "Übersicht+", "Ausstieg+"}));
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(placementSetting("FMPos").isEmpty(), false);
}

void TestGuiLogin::closingStoresPlacementClosesConnectionAndEnds() {
    {
        LoggedInMainWindow w(m_fx->connection(), *m_ui);
        QVERIFY(w.loggedIn());
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(800, 500);
        w.findChild<QAction*>("Beenden")->trigger();
        QVERIFY(!w.isVisible());
        QCOMPARE(m_fx->exits, QList<int>{0});
        QVERIFY(!m_fx->connection().client().isConnected());
        QVERIFY(!placementSetting("FMQuendrapr").isEmpty());
    }
    fmstart again(m_fx->connection());
    QCOMPARE(again.size(), QSize(800, 500));
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    again.ToolButton(5)->trigger();
    QVERIFY(!again.isVisible());
    QCOMPARE(m_fx->exits, QList<int>({0, 0}));
}

void TestGuiLogin::aboutBoxIsNonModal() {
    LoggedInMainWindow w(m_fx->connection(), *m_ui);
    QVERIFY(w.loggedIn());
    w.findChild<QAction*>("HilfeUeber")->trigger();
    auto* about = w.findChild<QMessageBox*>("frmAbout");
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowModality(), Qt::NonModal);
    QCOMPARE(about->windowTitle(), QString("Über Quendra"));
    QVERIFY(about->text().contains("Quendrapr"));
    QVERIFY(about->text().contains("0.1"));
    // The main window stays usable beside it.
    QVERIFY(!QApplication::activeModalWidget());
}

void TestGuiLogin::loginThroughListToDeletion() {
    WhenModalShown("FMPass", [](QWidget* w) {
        QTest::keyClicks(child<QLineEdit>(w, "BUSER"), "dem");
        QTest::keyClicks(child<QLineEdit>(w, "BPASSWORT"), "demo");
        QTest::mouseClick(child<QPushButton>(w, "BUSpeich"), Qt::LeftButton);
    });
    m_ui->loginWindowLimit = 1;
    int rounds = 0;
    while (!user_anmeld(m_fx->connection(), m_ui.get()) && ++rounds < 3) {
    }
    QCOMPARE(rounds, 0);
    QCOMPARE(m_ui->loginWindowsShown, 1);
    QCOMPARE(loginSetting("Name"), QString("DEM"));

    fmstart w(m_fx->connection());
    w.show();
    auto* list = child<QTreeView>(&w, "lilief");
    QAbstractItemModel* rows = list->model();
    QTRY_COMPARE(rows->rowCount(), 3);
    QVERIFY(w.windowTitle().endsWith("Benutzer: DEM|Dörte Demo"));
    clickRow(list, 2);
    QCOMPARE(rows->index(2, 2).data().toString(), QString("70001"));
    m_ui->answers.enqueue(MessageAnswer::Yes);
    w.ToolButton(4)->trigger();
    QCOMPARE(rows->rowCount(), 2);
    const QList<DownloadRow> stored = LoadDownloadList(m_fx->connection());
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[0].lnr, QString("70003"));
    QCOMPARE(stored[1].lnr, QString("70002"));
    // A refresh shows what the server holds.
    w.RefreshDownloadList();
    QCOMPARE(rows->rowCount(), 2);
    QCOMPARE(rows->index(1, 2).data().toString(), QString("70002"));
    QVERIFY(m_fx->exits.isEmpty());
}

// ------------------------------------------------------- desktop user interface

void TestGuiLogin::messageBoxesUseGermanButtons() {
    DialogUserInterface ui;
    QCOMPARE(&UI(), &ui);
    struct Seen {
        QString title, text;
        QStringList buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    auto answerWith = [](Seen* seen, const QString& press) {
        WhenModalShown("MsgBox", [seen, press](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                seen->buttons << b->text();
            seen->buttons.sort();
            if (press.isEmpty()) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* b : box->buttons())
                if (b->text() == press)
                    b->click();
        });
    };

    Seen yesNo;
    answerWith(&yesNo, "Nein");
    QCOMPARE(ui.message("Wirklich löschen", "", MessageIcon::Question, MessageButtons::YesNo),
             MessageAnswer::No);
    QCOMPARE(yesNo.buttons, QStringList({"Ja", "Nein"}));
    QCOMPARE(yesNo.text, QString("Wirklich löschen"));
    QCOMPARE(yesNo.icon, QMessageBox::Question);

    Seen yes;
    answerWith(&yes, "Ja");
    QCOMPARE(ui.message("Frage", "Titel", MessageIcon::Question, MessageButtons::YesNo),
             MessageAnswer::Yes);
    QCOMPARE(yes.title, QString("Titel"));

    Seen ok;
    answerWith(&ok, "OK");
    QCOMPARE(ui.message("Zeile 1\r\nZeile 2", "Anmeldung an Caché", MessageIcon::Warning,
                        MessageButtons::Ok),
             MessageAnswer::Ok);
    QCOMPARE(ok.buttons, QStringList({"OK"}));
    QCOMPARE(ok.text, QString("Zeile 1\nZeile 2"));
    QCOMPARE(ok.icon, QMessageBox::Warning);

    Seen cancel;
    answerWith(&cancel, "");
    QCOMPARE(ui.message("Weiter?", "", MessageIcon::Critical, MessageButtons::YesNoCancel),
             MessageAnswer::Cancel);
    QCOMPARE(cancel.buttons, QStringList({"Abbrechen", "Ja", "Nein"}));

    Seen okCancel;
    answerWith(&okCancel, "Abbrechen");
    QCOMPARE(ui.message("Weiter?", "", MessageIcon::Information, MessageButtons::OkCancel),
             MessageAnswer::Cancel);
    QCOMPARE(okCancel.buttons, QStringList({"Abbrechen", "OK"}));
}

void TestGuiLogin::busyPointerIsSetOnceAndTakenAwayOnce() {
    QVERIFY(!QApplication::overrideCursor());
    {
        BusyPointer outer(*m_ui);
        {
            BusyPointer inner(*m_ui);
            QVERIFY(QApplication::overrideCursor());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        // The inner holder's end does not take the outer one's hourglass.
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            NotBusy question(*m_ui);
            QVERIFY(!QApplication::overrideCursor());
        }
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QApplication::overrideCursor());

    // A pointer set by someone else survives a surplus release.
    QApplication::setOverrideCursor(Qt::CrossCursor);
    m_ui->releaseBusy();
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
    QVERIFY(!QApplication::overrideCursor());
}

void TestGuiLogin::unloadClosesLastOpenedFirstIgnoringErrors() {
    QStringList order;
    ClosingWindow first("first", &order);
    ClosingWindow second("second", &order, /*refuse=*/true);
    ClosingWindow third("third", &order);
    first.show();
    second.show();
    third.show();
    // Showing again does not change the order of opening.
    first.hide();
    first.show();
    QVERIFY(!DialogUserInterface::unloading());
    m_ui->unloadAllWindows();
    QVERIFY(!DialogUserInterface::unloading());
    QCOMPARE(order.mid(0, 3), QStringList({"third", "second", "first"}));
    // The refusing window does not keep the others open.
    QVERIFY(!first.isVisible());
    QVERIFY(second.isVisible());
    QVERIFY(!third.isVisible());
}

QTEST_MAIN(TestGuiLogin)
#include "test_gui_login.moc"
