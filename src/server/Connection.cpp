#include "Connection.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "server/ConnectionWindows.h"
#include "server/ErrorReport.h"
#include "server/MCommands.h"
#include "server/TcpServerClient.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kConnectTitle = QStringLiteral("Anmeldung an Caché");
const QString kUnreachable = QStringLiteral("Der Server ist nicht erreichbar!");
const QString kEnsurePart = QStringLiteral("cacheapi.EnsureConnection");
constexpr int kAttempts = 3;

// What the note shows while a connection is made: "Verbindung zu HOST:PORT
// wird aufgebaut, Versuch N von 3".
QString connectingText(const QString& connectString, int attempt) {
    const auto target = ConnectTarget::parse(connectString);
    const QString where =
        target ? target->host + u':' + QString::number(target->port) : connectString;
    return QStringLiteral("Verbindung zu ") + where + QStringLiteral(" wird aufgebaut, Versuch ") +
           QString::number(attempt) + QStringLiteral(" von ") + QString::number(kAttempts);
}

} // namespace

Connection::Connection(ClientFactory makeClient) : m_makeClient(std::move(makeClient)) {}

Connection::~Connection() {
    release();
}

void Connection::setClientFactory(ClientFactory makeClient) {
    release();
    m_makeClient = std::move(makeClient);
}

void Connection::rebuildConnectString() {
    const SessionContext& s = Session();
    m_connectString = BuildConnectString(s.server, s.port, s.nameSpace);
}

ServerClient& Connection::client() {
    if (!m_client)
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    return *m_client;
}

void Connection::report(const ServerError& error, const QString& operation) {
    CacheFehlermeldung(*this, error, operation);
}

bool Connection::attempt() {
    m_client = m_makeClient ? m_makeClient() : std::make_unique<TcpServerClient>();
    if (m_connectString.isEmpty())
        rebuildConnectString();
    return m_client->connect(m_connectString, m_credentials) && m_client->isConnected();
}

// Connected with the current credentials, or logged in anew with them on
// the open connection.
bool Connection::connectedAsWanted() {
    if (!m_client || !m_client->isConnected())
        return false;
    if (m_client->credentials() == m_credentials)
        return true;
    // Other credentials (a typed password, another user): the same
    // connection logs in anew. When that fails it is closed, and a new one
    // is made.
    if (!m_client->renewCredentials(m_credentials))
        return false;
    TraceLog(kEnsurePart, QStringLiteral("Anmeldung erneuert"), m_client->access(), 40);
    return true;
}

// A connection made: its session values, or it is not used.
void Connection::complete() {
    try {
        SendSessionValues(*m_client, true);
    } catch (const ServerError&) {
        // A connection without its session values must not be used: the
        // next call connects anew.
        m_client->disconnect();
        throw;
    }
    TraceLog(kEnsurePart, QStringLiteral("Ende"), QStringLiteral("Job ") + m_client->jobNumber(),
             40);
}

// A server whose certificate is not trusted is not tried again: the caller
// reports why. Nor is one whose database fails: it is there, and says what
// is wrong.
void Connection::refuseHopelessServer() {
    if (m_client->lastErrorNumber() == ClientErrors::Certificate) {
        TraceLog(kEnsurePart, QStringLiteral("Zertifikat abgelehnt"), m_client->lastError(), 0);
        throw ServerError(ClientErrors::Certificate, m_client->lastError());
    }
    if (m_client->lastErrorNumber() == ServerErrors::Database) {
        TraceLog(kEnsurePart, QStringLiteral("Datenbankfehler"), m_client->lastError(), 0);
        throw ServerError(ServerErrors::Database, m_client->lastError());
    }
}

// After three failed attempts: the first time the server list, to try
// three more; the second time the program ends (and the caller's work
// unwinds with the error thrown).
void Connection::afterThreeAttempts(bool& dialogShown) {
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
    if (m_client && m_client->isConnected())
        m_client->disconnect();
    Ende(1);
    // The program ends once the event loops have returned.
    throw ServerError(ClientErrors::NotConnected, kUnreachable);
}

void Connection::ensure() {
    if (connectedAsWanted())
        return;
    // A window that the retry shows (the server list) may call the server
    // itself; that call fails instead of starting a second attempt sequence.
    if (m_connecting)
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    m_connecting = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_connecting};
    int attempts = 0;
    bool dialogShown = false;
    TraceLog(kEnsurePart, QStringLiteral("Start"), m_connectString, 40);
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
        if (m_connectString.isEmpty())
            rebuildConnectString();
        ui.showActivity(connectingText(m_connectString, attempts + 1));
        if (pause)
            Pause(1000);
        pause = true;
        if (attempt()) {
            complete();
            return;
        }
        refuseHopelessServer();
        if (++attempts >= kAttempts) {
            afterThreeAttempts(dialogShown);
            attempts = 0;
            pause = false;
        }
    }
}

void Connection::close() {
    try {
        if (m_client && m_client->isConnected())
            m_client->disconnect();
    } catch (...) {
    }
}

void Connection::release() {
    close();
    m_client.reset();
}

CredentialsScope::CredentialsScope(Connection& connection, Credentials credentials)
    : m_connection(connection), m_previous(connection.credentials()) {
    m_connection.setCredentials(credentials);
}

CredentialsScope::~CredentialsScope() {
    m_connection.setCredentials(m_previous);
}

Credentials SessionCredentials() {
    const SessionContext& s = Session();
    return {s.firma, ConvertText(s.personal, QStringLiteral("GUIVELTAR"), true), s.password};
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
