#include "Login.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "base/WorkstationSettings.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/ConnectionWindows.h"
#include "server/ErpClasses.h"
#include "server/ErrorReport.h"
#include "server/MCommands.h"

#include <QHostInfo>

namespace {

const QString kApp = QStringLiteral("Cache Login");
const QString kSection = QStringLiteral("Login");

QString setting(const QString& key, const QString& def = QString()) {
    return WorkstationSettings::value(kApp, kSection, key, def);
}

bool isNumeric(const QString& s) {
    bool ok = false;
    s.trimmed().toDouble(&ok);
    return ok && !s.trimmed().isEmpty();
}

QString orDefault(const QString& value, const QString& def) {
    return value.isEmpty() ? def : value;
}

// The connection data of a server list entry in the login settings: what the
// next start connects with.
void keepServerData(const ServerEntry& e) {
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Firma"), e.firma);
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Filiale"), e.fil);
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Server"), e.server);
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Port"), e.port);
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Namespace"), e.nameSpace);
}

// Takes the form into the session and rebuilds the connect string.
void takeForm(Connection& connection, const LoginForm& f) {
    SessionContext& s = Session();
    s.serverObjectId = f.serverObjectId;
    s.firma = orDefault(f.firma, kDefaultFirma);
    s.fil = orDefault(f.fil, kDefaultFil);
    s.server = orDefault(f.server, kDefaultServer);
    s.port = orDefault(f.port, kDefaultPort);
    s.nameSpace = orDefault(f.nameSpace, kDefaultNamespace);
    s.wj = f.wj;
    s.password = f.password;
    s.personal = f.user;
    if (!f.standort.isEmpty())
        s.standort = f.standort;
    connection.rebuildConnectString();
    // The next call logs in with them.
    connection.setCredentials(SessionCredentials());
}

QString readFiscalYear(Connection& connection) {
    const CommandOutput wj = RunCommand(connection, QStringLiteral("S P0=$P(^FA(0),\"`\",2) W P0"));
    return wj.failed ? QString() : wj.text;
}

// Company and branch go into M as numbers: the login refuses others before
// anything is sent (the message names the field and its value).
bool companyAndBranchValid() {
    const QString problem = SessionValuesProblem();
    if (problem.isEmpty())
        return true;
    UI().message(problem, kInvalidCompanyTitle, MessageIcon::Information, MessageButtons::Ok);
    Session().loginFailed = true;
    return false;
}

bool gatherFromCommandLine(Connection& connection, const QStringList& f) {
    LoginForm& form = LoginFormData();
    auto field = [&](int i) { return i < f.size() ? f[i] : QString(); };
    form.firma = orDefault(field(0), kDefaultFirma);
    form.fil = orDefault(field(1), kDefaultFil);
    form.user = field(2).toUpper();
    form.password = field(3);
    form.server = orDefault(field(4), setting(QStringLiteral("Server"), kDefaultServer));
    form.port = orDefault(field(5), kDefaultPort);
    form.nameSpace = orDefault(field(6), kDefaultNamespace);
    form.wj = field(7);
    form.serverObjectId = setting(QStringLiteral("ServerObjekt"), kNoServerEntry);
    takeForm(connection, form);
    if (!companyAndBranchValid())
        return false;
    if (form.wj.isEmpty())
        Session().wj = form.wj = readFiscalYear(connection);
    // Without a window the location is the workstation's own.
    if (Session().standort.isEmpty())
        LoadLocations(connection);
    return true;
}

// Reads the stored settings; shows the login window when something is missing.
// The settings fill only what the login form does not hold yet, so a new
// round keeps what the user typed or chose in the server list.
bool gatherInteractively(Connection& connection, LoginWindows* windows) {
    SessionContext& s = Session();
    LoginForm& form = LoginFormData();
    const QString objekt = setting(QStringLiteral("ServerObjekt"));
    if (objekt.isEmpty())
        s.noDefaultServer = true;
    auto fill = [](QString& field, const QString& value) {
        if (field.isEmpty())
            field = value;
    };
    if (form.serverObjectId.isEmpty() || form.serverObjectId == kNoServerEntry)
        form.serverObjectId = orDefault(objekt, kNoServerEntry);
    fill(form.firma, setting(QStringLiteral("Firma"), kDefaultFirma));
    fill(form.fil, setting(QStringLiteral("Filiale"), kDefaultFil));
    fill(form.port, setting(QStringLiteral("Port"), kDefaultPort));
    fill(form.nameSpace, setting(QStringLiteral("Namespace"), kDefaultNamespace));
    fill(form.server, setting(QStringLiteral("Server"), kDefaultServer));
    fill(form.user, setting(QStringLiteral("Name")));
    if (!s.noAutoPassword)
        fill(form.password, ScrambleText(setting(QStringLiteral("Passwort"))));
    takeForm(connection, form);
    // A company or branch that cannot be sent: the window comes, where the
    // server list offers others; the check refuses it if it stays.
    const bool valid = SessionValuesProblem().isEmpty();
    if (valid) {
        // The read connects; when the server cannot be reached, the server
        // list comes, and a fiscal year typed or chosen there stands.
        const QString before = form.wj;
        const QString read = readFiscalYear(connection);
        if (form.wj.isEmpty() || form.wj == before)
            form.wj = read;
        s.wj = form.wj;
    }
    if (valid && !form.password.isEmpty() && !form.user.isEmpty() && !s.noAutoPassword &&
        !s.loginFailed && !s.noDefaultServer)
        return true;
    if (!windows || !windows->showLoginWindow())
        return false;
    // "Anmelden": the user code is the one the password belongs to; both
    // are kept for the next start.
    const QString typed = form.user;
    form.user = UserFromPassword(connection, form.password);
    StoreLoginSettings(form.user.isEmpty() ? typed : form.user, form.password);
    takeForm(connection, form);
    return true;
}

// What the login was doing when a call failed. Connecting (and sending the
// session values of a new connection) is a step of its own: a server that
// cannot be reached or whose database fails is no unknown user code.
enum class Step { Connect, User, Department, Personnel, Session };

QString stepText(Step step) {
    switch (step) {
    case Step::Connect:
        return QStringLiteral("Verbindung zum Server");
    case Step::User:
        return QStringLiteral("Anmeldung mit nicht existierendem Personalcode");
    case Step::Department:
        return QStringLiteral("Abteilungsermittlung");
    case Step::Personnel:
        return QStringLiteral("PersBasis Nummern");
    case Step::Session:
        return QStringLiteral("Firma Filiale Personal Setzen");
    }
    return QString();
}

bool check(Connection& connection, LoginWindows* windows) {
    SessionContext& s = Session();
    Step step = Step::Connect;
    ServerObject user;
    ServerObject abt;
    ServerObject basis;
    auto finish = [&] {
        CloseObject(user);
        CloseObject(abt);
        CloseObject(basis);
        if (windows)
            windows->hideLoginWindow();
        HideServerList();
    };
    try {
        connection.ensure();
        step = Step::User;
        ServerClient& f = connection.client();
        user = f.openObject(ParPersEdvClass::kClass,
                            s.firma + QStringLiteral("||") +
                                ConvertText(s.personal, QStringLiteral("GUIVELTAR"), true));
        if (user.get(ParPersEdvClass::kPasswort) != s.password ||
            user.get(ParPersEdvClass::kAKTIV) != u"J") {
            finish();
            UI().message(kWrongPassword, kWrongPasswordTitle, MessageIcon::Information,
                         MessageButtons::Ok);
            s.loginFailed = true;
            if (windows)
                windows->selectLoginPassword();
            return false;
        }
        if (user.get(ParPersEdvClass::kFAJN) == u"N" && s.standort != s.deviceStandort) {
            finish();
            UI().message(kLocationLocked, kLocationLockedTitle, MessageIcon::Information,
                         MessageButtons::Ok);
            return false;
        }
        const QString pname = user.get(ParPersEdvClass::kPNAME);
        s.userName = user.call(ParPersEdvClass::kPNAMELogicalToODBC, QStringList{pname});
        s.userDisplay = s.personal + u'|' + s.userName;
        s.pnr = user.get(ParPersEdvClass::kPNR);
        s.abtnr = user.get(ParPersEdvClass::kABTNR);
        s.dw = user.get(ParPersEdvClass::kDW);
        s.bergrp = user.get(ParPersEdvClass::kBERGRP);
        step = Step::Department;
        abt = f.openObject(ParPersAbtClass::kClass, s.firma + QStringLiteral("||") + s.abtnr);
        s.abtbez = abt.get(ParPersAbtClass::kAbtbez);
        s.abtnr = abt.get(ParPersAbtClass::kABTNR);
        s.habtnr = abt.get(ParPersAbtClass::kHAbtNr);
        step = Step::Personnel;
        basis = f.openObject(PersBasisClass::kClass, s.firma + QStringLiteral("||") + s.pnr);
        s.fax = basis.get(PersBasisClass::kFax);
        s.email = basis.get(PersBasisClass::kEMail);
        step = Step::Session;
        SendSessionValues(f, false);
        finish();
        s.loginFailed = false;
        return true;
    } catch (const ServerError& e) {
        finish();
        s.loginFailed = true;
        s.noAutoPassword = true;
        s.userDisplay.clear();
        CacheFehlermeldung(connection, e, QStringLiteral("cacheapi.user_anmeld ") + stepText(step));
        return false;
    }
}

} // namespace

LoginForm& LoginFormData() {
    static LoginForm form;
    return form;
}

// Fields are separated by one blank each; an empty field takes its default.
static QStringList commandLineFields(const QString& commandLine) {
    return commandLine.trimmed().split(u' ');
}

bool CommandLineQualifies(const QString& commandLine) {
    const QStringList f = commandLineFields(commandLine);
    if (f.size() < 3)
        return false;
    return isNumeric(f[0]) && isNumeric(f[1]) && !isNumeric(f[2]) && f[2].size() < 4;
}

bool user_anmeld(Connection& connection, LoginWindows* windows) {
    SessionContext& s = Session();
    TraceLog(QStringLiteral("cacheapi.user_anmeld"), QStringLiteral("Start"), QString(), 40);
    s.userDisplay.clear();
    bool gathered = true;
    if (CommandLineQualifies(s.commandLine)) {
        const QStringList fields = commandLineFields(s.commandLine);
        // The command line is used once; a later login asks.
        s.commandLine.clear();
        gathered = gatherFromCommandLine(connection, fields);
    } else {
        gathered = gatherInteractively(connection, windows) && companyAndBranchValid();
    }
    const bool ok = gathered && check(connection, windows);
    TraceLog(QStringLiteral("cacheapi.user_anmeld"), QStringLiteral("Ende"),
             ok ? s.userDisplay : QString(), 40);
    return ok;
}

QString UserFromPassword(Connection& connection, const QString& password) {
    QString user;
    // The connection logs in with the password alone: the server names the
    // user only to a connection that knows the password.
    const CredentialsScope credentials(connection, {Session().firma, QString(), password});
    connection.call(QStringLiteral("cacheapi.UserFromPassword Benutzer zum Passwort"), [&] {
        ResultSet rs = connection.client().resultSet(ParPersEdvClass::kClass,
                                                     ParPersEdvClass::kUserViaPasswort);
        rs.execute({password, Session().firma, QString()});
        if (rs.next())
            user = ConvertText(rs.getData(1), QStringLiteral("VELTAR"), false);
        rs.close();
    });
    return user;
}

QString WorkstationName() {
    QString name = qEnvironmentVariable("CLIENTNAME");
    if (name.isEmpty())
        name = qEnvironmentVariable("COMPUTERNAME");
    if (name.isEmpty())
        name = QHostInfo::localHostName();
    return name.toLower();
}

QList<LocationEntry> LoadLocations(Connection& connection) {
    SessionContext& s = Session();
    s.workstation = WorkstationName();
    QList<LocationEntry> entries;
    TraceLog(QStringLiteral("FMPass.Form_Load"), QStringLiteral("Start"), s.workstation, 40);
    connection.call(QStringLiteral("FMPass.Form_Load Standorte"), [&] {
        MenueClass menue(connection.client());
        const QString list = menue.getStandorte(s.firma);
        const QString device = menue.getDeviceStandort(s.workstation);
        for (const QString& e : list.split(u'`', Qt::SkipEmptyParts))
            entries.append({Piece(e, QStringLiteral(" "), 1), e});
        s.deviceStandort = device;
        s.standort = device;
        LoginFormData().standort = device;
    });
    TraceLog(QStringLiteral("FMPass.Form_Load"), QStringLiteral("Ende"), s.deviceStandort, 40);
    return entries;
}

void StoreLoginSettings(const QString& user, const QString& password) {
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Name"), user);
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("Passwort"),
                                  ScrambleText(password));
}

QList<ServerEntry> LoadServerEntries(Connection& connection) {
    QList<ServerEntry> entries;
    if (!connection.isConnected())
        return entries;
    TraceLog(QStringLiteral("FMServer.Form_Load"), QStringLiteral("Start"), QString(), 40);
    connection.call(QStringLiteral("FMServer.Form_Load Serverliste"), [&] {
        constexpr const erp::Query& q = ServerListClass::kListe;
        ResultSet rs = connection.client().resultSet(ServerListClass::kClass, q);
        rs.execute();
        while (rs.next())
            entries.append(
                {rs.getData(erp::Column(q, u"id")),
                 ConvertText(rs.getData(erp::Column(q, u"Bezeichnung")), QStringLiteral("VELTAR"),
                             false),
                 rs.getData(erp::Column(q, u"Namespace")), rs.getData(erp::Column(q, u"Firma")),
                 rs.getData(erp::Column(q, u"Filiale")), rs.getData(erp::Column(q, u"ServerIP")),
                 rs.getData(erp::Column(q, u"Port")), rs.getData(erp::Column(q, u"WJ"))});
        rs.close();
    });
    TraceLog(QStringLiteral("FMServer.Form_Load"), QStringLiteral("Ende"),
             QString::number(entries.size()), 40);
    return entries;
}

QString SaveServerEntry(Connection& connection, const ServerEntry& e) {
    QString id;
    connection.call(QStringLiteral("FMServer.BUEdit Eintrag speichern"), [&] {
        ServerObject o = e.id.isEmpty() || e.id == kNoServerEntry
                             ? connection.client().newObject(ServerListClass::kClass)
                             : connection.client().openObject(ServerListClass::kClass, e.id);
        o.set(ServerListClass::kBezeichnung,
              ConvertText(e.bezeichnung, QStringLiteral("GUIVELTAR"), false));
        o.set(ServerListClass::kNamespace, e.nameSpace);
        o.set(ServerListClass::kFirma, e.firma);
        o.set(ServerListClass::kFiliale, e.fil);
        o.set(ServerListClass::kServerIP, e.server);
        o.set(ServerListClass::kPort, e.port);
        o.set(ServerListClass::kWJ, e.wj);
        o.save();
        id = o.id();
        CloseObject(o);
    });
    TraceLog(QStringLiteral("FMServer.BUEdit"), QStringLiteral("Ende"), id, 40);
    return id;
}

void SetDefaultServerEntry(const ServerEntry& e) {
    WorkstationSettings::setValue(kApp, kSection, QStringLiteral("ServerObjekt"), e.id);
    keepServerData(e);
    Session().noDefaultServer = false;
    TraceLog(QStringLiteral("FMServer.EintragAlsStandard"), QStringLiteral("Start/Ende"), e.id, 40);
}

void TakeServerEntry(const ServerEntry& e) {
    LoginForm& f = LoginFormData();
    f.serverObjectId = e.id;
    f.firma = e.firma;
    f.fil = e.fil;
    f.server = e.server;
    f.port = e.port;
    f.nameSpace = e.nameSpace;
    f.wj = e.wj;
}

bool ServerEntriesReachable(Connection& connection) {
    return connection.isConnected();
}

void TakeTypedServerData(Connection& connection, const ServerEntry& e, bool keep) {
    // The entry chosen before stays chosen: no entry holds the typed data.
    const QString chosen = LoginFormData().serverObjectId;
    TakeServerEntry(e);
    LoginFormData().serverObjectId = chosen;
    if (keep)
        keepServerData(e);
    ApplyServerForm(connection);
    TraceLog(QStringLiteral("FMServer.Verbindungsdaten"),
             keep ? QStringLiteral("übernommen, am Arbeitsplatz gespeichert")
                  : QStringLiteral("übernommen"),
             connection.connectString(), 40);
}

void ApplyServerForm(Connection& connection) {
    const LoginForm& f = LoginFormData();
    SessionContext& s = Session();
    s.serverObjectId = f.serverObjectId;
    s.firma = orDefault(f.firma, s.firma);
    s.fil = orDefault(f.fil, s.fil);
    s.server = orDefault(f.server, kDefaultServer);
    s.port = orDefault(f.port, kDefaultPort);
    s.nameSpace = orDefault(f.nameSpace, kDefaultNamespace);
    if (!f.wj.isEmpty())
        s.wj = f.wj;
    const QString before = connection.connectString();
    connection.rebuildConnectString();
    connection.setCredentials(SessionCredentials());
    // Another server: the next call connects there.
    if (connection.connectString() != before)
        connection.close();
}
