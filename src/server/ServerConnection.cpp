#include "ServerConnection.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "server/ErpClasses.h"
#include "server/TcpServerClient.h"

namespace {

struct ConnectionState {
    ClientFactory makeClient;
    std::unique_ptr<ServerClient> factory;
    QString connectString;
    ConnectionWindows* windows = nullptr;
    bool connecting = false;
    Credentials credentials; // what the connection logs in with
};

ConnectionState& state() {
    static ConnectionState s;
    return s;
}

const QString kCrLf = QStringLiteral("\r\n");
const QString kConnectTitle = QStringLiteral("Anmeldung an Caché");
const QString kUnreachable = QStringLiteral("Der Server ist nicht erreichbar!");

bool attemptConnection() {
    ConnectionState& s = state();
    s.factory = s.makeClient ? s.makeClient() : std::make_unique<TcpServerClient>();
    if (s.connectString.isEmpty())
        RebuildConnectString();
    return s.factory->connect(s.connectString, CurrentCredentials()) && s.factory->isConnected();
}

} // namespace

QString ConnectingText(const QString& connectString, int attempt, int attempts) {
    const auto target = ConnectTarget::parse(connectString);
    const QString where =
        target ? target->host + u':' + QString::number(target->port) : connectString;
    QString text = QStringLiteral("Verbindung zu ") + where +
                   QStringLiteral(" wird aufgebaut, Versuch ") + QString::number(attempt);
    if (attempts > 0)
        text += QStringLiteral(" von ") + QString::number(attempts);
    return text;
}

QString MString(const QString& text) {
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

bool IsWholeNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QString SessionValuesProblem() {
    const SessionContext& s = Session();
    if (!IsWholeNumber(s.firma))
        return QStringLiteral("Firma \"") + s.firma + QStringLiteral("\" ist keine ganze Zahl.");
    if (!IsWholeNumber(s.fil))
        return QStringLiteral("Filiale \"") + s.fil + QStringLiteral("\" ist keine ganze Zahl.");
    return QString();
}

void SetCredentials(const Credentials& credentials) {
    state().credentials = credentials;
}

Credentials CurrentCredentials() {
    return state().credentials;
}

Credentials SessionCredentials() {
    const SessionContext& s = Session();
    return {s.firma, ConvertText(s.personal, QStringLiteral("GUIVELTAR"), true), s.password};
}

CredentialsScope::CredentialsScope(Credentials credentials)
    : m_previous(std::exchange(state().credentials, std::move(credentials))) {}

CredentialsScope::~CredentialsScope() {
    state().credentials = m_previous;
}

void SendSessionValues(ServerClient& client, bool registerJob) {
    const SessionContext& session = Session();
    // Company and branch stand in M as numbers: anything else would be
    // evaluated as M.
    const QString problem = SessionValuesProblem();
    if (!problem.isEmpty())
        throw ServerError(ClientErrors::InvalidSession, problem);
    ServerObject windows = client.newObject(WindowsClass::kClass);
    QStringList commands{QStringLiteral("S FIRMA=") + session.firma + QStringLiteral(",FIL=") +
                             session.fil + QStringLiteral(",PERSONAL=") + MString(session.personal),
                         QStringLiteral("S ^STAND($J)=") + MString(session.standort)};
    if (registerJob)
        commands << erp::Routines::kSession.command();
    for (const QString& command : commands)
        windows.call(WindowsClass::kXecute, QStringList{command});
    CloseObject(windows);
}

ConnectionWindows* SetConnectionWindows(ConnectionWindows* windows) {
    return std::exchange(state().windows, windows);
}

void ShowServerList() {
    if (state().windows)
        state().windows->showServerList();
}

void HideServerList() {
    if (state().windows)
        state().windows->hideServerList();
}

void SetClientFactory(ClientFactory factory) {
    CloseConnection();
    state().factory.reset();
    state().makeClient = std::move(factory);
}

void RebuildConnectString() {
    const SessionContext& s = Session();
    state().connectString = BuildConnectString(s.server, s.port, s.nameSpace);
}

QString ConnectString() {
    return state().connectString;
}

bool HasFactory() {
    return state().factory != nullptr;
}

ServerClient& Factory() {
    if (!state().factory)
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    return *state().factory;
}

void BeginServerCall(bool showHourglass, bool waitWithoutLimit) {
    if (showHourglass)
        UI().acquireBusy();
    EnsureConnection(waitWithoutLimit);
}

void EndServerCall(bool restorePointer) {
    if (restorePointer)
        UI().releaseBusy();
}

ServerCallScope::ServerCallScope(bool showHourglass, bool waitWithoutLimit)
    : m_hourglass(showHourglass) {
    try {
        BeginServerCall(showHourglass, waitWithoutLimit);
    } catch (...) {
        EndServerCall(showHourglass);
        throw;
    }
}

ServerCallScope::~ServerCallScope() {
    EndServerCall(m_hourglass);
}

namespace {

const QString kEnsurePart = QStringLiteral("cacheapi.EnsureConnection");

// Connected with the current credentials, or logged in anew with them on
// the open connection.
bool connectedAsWanted(ConnectionState& s) {
    if (!s.factory || !s.factory->isConnected())
        return false;
    const Credentials wanted = CurrentCredentials();
    if (s.factory->credentials() == wanted)
        return true;
    // Other credentials (a typed password, another user): the same
    // connection logs in anew. When that fails it is closed, and a new one
    // is made.
    if (!s.factory->renewCredentials(wanted))
        return false;
    TraceLog(kEnsurePart, QStringLiteral("Anmeldung erneuert"), s.factory->access(), 40);
    return true;
}

// A connection made: its session values, or it is not used.
void completeConnection(ConnectionState& s) {
    try {
        SendSessionValues(*s.factory, true);
    } catch (const ServerError&) {
        // A connection without its session values must not be used: the
        // next call connects anew.
        s.factory->disconnect();
        throw;
    }
    TraceLog(kEnsurePart, QStringLiteral("Ende"), QStringLiteral("Job ") + s.factory->jobNumber(),
             40);
}

// A server whose certificate is not trusted is not tried again: the caller
// reports why. Nor is one whose database fails: it is there, and says what
// is wrong.
void refuseHopelessServer(ConnectionState& s) {
    if (s.factory->lastErrorNumber() == ClientErrors::Certificate) {
        TraceLog(kEnsurePart, QStringLiteral("Zertifikat abgelehnt"), s.factory->lastError(), 0);
        throw ServerError(ClientErrors::Certificate, s.factory->lastError());
    }
    if (s.factory->lastErrorNumber() == ServerErrors::Database) {
        TraceLog(kEnsurePart, QStringLiteral("Datenbankfehler"), s.factory->lastError(), 0);
        throw ServerError(ServerErrors::Database, s.factory->lastError());
    }
}

// After three failed attempts: the first time the server list, to try
// three more; the second time the program ends (and the caller's work
// unwinds with the error thrown).
void afterThreeAttempts(ConnectionState& s, bool& dialogShown) {
    UserInterface& ui = UI();
    ui.showActivity(QString());
    NotBusy question(ui);
    if (!dialogShown) {
        ui.message(QStringLiteral("Server nach 3 Versuchen nicht erreichbar!") + kCrLf +
                       QStringLiteral("Bitte Kontrollieren Sie die Verbindungsdaten"),
                   kConnectTitle, MessageIcon::Warning, MessageButtons::Ok);
        ShowServerList();
        dialogShown = true;
        return;
    }
    ui.message(kUnreachable + kCrLf + QStringLiteral("Die Anwendung wird beendet!") + kCrLf +
                   QStringLiteral("Bitte Versuchen Sie die Anmeldung zu einem "
                                  "späteren Zeitpunk noch ein mal."),
               kConnectTitle, MessageIcon::Critical, MessageButtons::Ok);
    HideServerList();
    Session().userDisplay.clear();
    if (s.factory && s.factory->isConnected())
        s.factory->disconnect();
    Ende(1);
    // The program ends once the event loops have returned.
    throw ServerError(ClientErrors::NotConnected, kUnreachable);
}

} // namespace

void EnsureConnection(bool waitWithoutLimit) {
    ConnectionState& s = state();
    if (connectedAsWanted(s))
        return;
    // A window that the retry shows (the server list) may call the server
    // itself; that call fails instead of starting a second attempt sequence.
    if (s.connecting)
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    s.connecting = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{s.connecting};
    int attempts = 0;
    bool dialogShown = false;
    TraceLog(kEnsurePart, QStringLiteral("Start"), s.connectString, 40);
    // While the attempts last, a note says what is tried, with the busy
    // pointer; it goes for every message and at the end.
    UserInterface& ui = UI();
    BusyPointer busy(ui);
    struct Activity {
        UserInterface& ui;
        ~Activity() { ui.showActivity(QString()); }
    } activity{ui};
    // The pause before an attempt comes after its note, so that the note
    // names the attempt the person waits for.
    bool pause = false;
    for (;;) {
        if (s.connectString.isEmpty())
            RebuildConnectString();
        ui.showActivity(ConnectingText(s.connectString, attempts + 1, waitWithoutLimit ? 0 : 3));
        if (pause)
            Pause(1000);
        pause = true;
        if (attemptConnection()) {
            completeConnection(s);
            return;
        }
        refuseHopelessServer(s);
        if (!waitWithoutLimit && ++attempts >= 3) {
            afterThreeAttempts(s, dialogShown);
            attempts = 0;
            pause = false;
        }
    }
}

void CloseConnection() {
    try {
        if (state().factory && state().factory->isConnected())
            state().factory->disconnect();
    } catch (...) {
    }
}

void ReleaseConnection() {
    CloseConnection();
    state().factory.reset();
}

QStringList SplitCallOutput(const QString& output, QChar delimiter) {
    QStringList items;
    QString current;
    for (QChar c : output) {
        if (items.size() >= kMaxCallItems)
            return items;
        if (c == delimiter) {
            items.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty() && items.size() < kMaxCallItems)
        items.append(current);
    return items;
}

namespace {

// Runs the command through VT.Windows "Xecute" in one bracket. Throws.
QString xecute(const QString& command) {
    ServerCallScope scope(false, false);
    ServerObject windows = Factory().newObject(WindowsClass::kClass);
    QStringList args{command};
    const QString output = windows.call(WindowsClass::kXecute, args);
    CloseObject(windows);
    return output;
}

// The report of a failed command: the user (unless silent) and the trace.
void reportCommand(const ServerError& e, const QString& command, const QString& form, bool silent) {
    const QString upper = form == u"dbCall" ? QStringLiteral("DBCall") : QStringLiteral("DBCallD");
    if (!silent)
        CacheFehlermeldung(e, QStringLiteral("cacheapi.") + form.toLower() +
                                  QStringLiteral(" Ungültige Anfrage! Kein Ergebnis gefunden") +
                                  kCrLf + kCrLf + upper +
                                  QStringLiteral(" Aufruf von VT.Windwos Xecute ") + command);
    TraceLog(form, QStringLiteral("Command_:") + command, e.description(), 0);
}

} // namespace

CommandOutput RunCommand(const QString& command, bool silent) {
    try {
        return {false, xecute(command)};
    } catch (const ServerError& e) {
        reportCommand(e, command, QStringLiteral("dbCall"), silent);
        return {true, QStringLiteral(" ")};
    }
}

CommandItems RunCommandItems(const QString& command, QChar delimiter) {
    try {
        return {false, SplitCallOutput(xecute(command), delimiter)};
    } catch (const ServerError& e) {
        reportCommand(e, command, QStringLiteral("dbCalld"), false);
        return {true, QStringList{QStringLiteral(" ")}};
    }
}

QString dbcall(const QString& command, bool& failed, bool silent) {
    CommandOutput r = RunCommand(command, silent);
    if (r.failed)
        failed = true;
    return r.text;
}

int dbcalld(const QString& command, QChar delimiter, QStringList& items, bool& failed) {
    CommandItems r = RunCommandItems(command, delimiter);
    items = std::move(r.items);
    if (r.failed) {
        failed = true;
        return 0;
    }
    return int(items.size());
}

void CloseObject(ServerObject& object) {
    try {
        object.close();
    } catch (...) {
    }
    object = ServerObject();
}

void CloseObject(ClassHandle& handle) {
    handle.release();
}

QString CacheFehlermeldungText(const ServerError& error, const QString& operation) {
    return QStringLiteral("Vorgang: ") + operation + u'.' + kCrLf + kCrLf +
           QStringLiteral("Fehler: ") + QString::number(error.number()) + kCrLf +
           error.description() + kCrLf + kCrLf;
}

namespace {
int g_lastReportedError = 0;
} // namespace

int LastReportedError() {
    return g_lastReportedError;
}

bool OutcomeUnknown(int errorNumber) {
    return errorNumber == ClientErrors::ConnectionLost || errorNumber == ClientErrors::Timeout;
}

void CacheFehlermeldung(const ServerError& error, const QString& operation) {
    g_lastReportedError = error.number();
    UI().message(CacheFehlermeldungText(error, operation), QStringLiteral("Caché Zugriffsfehler"),
                 MessageIcon::Warning, MessageButtons::Ok);
    TraceLog(QStringLiteral("cacheapi.CacheFehlermeldung"), operation,
             QStringLiteral("Fehler #") + QString::number(error.number()) + u' ' +
                 error.description(),
             0);
}

void Ende(int exitCode) {
    TraceLog(QStringLiteral("cacheapi.Ende"), QStringLiteral("Start ENDE"), QString(), 0);
    try {
        if (state().windows)
            state().windows->unloadAllWindows();
    } catch (...) {
    }
    TraceLog(QStringLiteral("cacheapi.Ende"), QStringLiteral("Ende ENDE"),
             QStringLiteral("es folgt end"), 0);
    ExitProgram(exitCode);
}
