#pragma once

#include "common/ServerError.h"
#include "server/ServerClient.h"

#include <QString>
#include <functional>
#include <memory>

// The program's one connection to the ERP server: its client, the client
// factory that makes one per connection attempt, the credentials it logs in
// with and the connect string. Each program makes one per run and hands it to
// whatever talks to the server; tests make one over the in-process client.
//
// Every server call runs in its bracket: call(operation, f) makes sure the
// connection stands (ensure), runs f, and turns a ServerError into the error
// report. Work that reports its own errors (the login's steps, the grid load,
// the posting) calls ensure() first and then uses client().
class Connection {
public:
    // Makes the client object for each connection attempt.
    using ClientFactory = std::function<std::unique_ptr<ServerClient>()>;

    // Without a factory every attempt makes a TcpServerClient.
    explicit Connection(ClientFactory makeClient = {});
    // Closes the connection: a program's Connection ends before its
    // application object does (a TLS connection needs Qt's TLS backend,
    // which ends with it).
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Another factory (empty: the TCP client); the current connection is
    // closed and its client let go.
    void setClientFactory(ClientFactory makeClient);

    // The connect string "cn_iptcp:SERVER[PORT]:NAMESPACE", rebuilt from the
    // session whenever the login data change.
    void rebuildConnectString();
    QString connectString() const { return m_connectString; }

    // The credentials the connection logs in with; the login sets them when
    // it takes its data (none before: a guest connection). Before each call
    // the connection is renewed when they differ from its own.
    void setCredentials(const Credentials& credentials) { m_credentials = credentials; }
    const Credentials& credentials() const { return m_credentials; }

    // The client of the current connection. Throws ServerError ("Keine
    // Verbindung zum Server") before the first connection attempt.
    ServerClient& client();
    bool hasClient() const { return m_client != nullptr; }
    // A client that reports a standing connection.
    bool isConnected() const { return m_client && m_client->isConnected(); }

    // Returns at once when connected with the current credentials; renews
    // the connection when they changed; otherwise connects, retrying as the
    // buyer expects (three attempts ten seconds apart, the server list, three
    // more, then the program ends). Throws ServerError when sending the
    // session values fails, when the server's TLS certificate is not trusted
    // (error 465, not tried again), when the program is to end, and when it
    // is called again while it connects (from a window the retry opened):
    // one connection attempt runs at a time.
    void ensure();

    // One bracketed server call: ensure(), then f(). A ServerError becomes
    // the error report with operation and false; any other exception goes on
    // to the caller.
    template <typename F> bool call(const QString& operation, F&& f) {
        try {
            ensure();
            f();
            return true;
        } catch (const ServerError& e) {
            report(e, operation);
            return false;
        }
    }

    // Ignoring every error, disconnects a client that reports a connection.
    void close();
    // Closes the connection and lets its client go.
    void release();

    // The number of the error the last report about a call on this
    // connection was about (0 before any).
    int lastReportedError() const { return m_lastReportedError; }

private:
    friend void CacheFehlermeldung(Connection& connection, const ServerError& error,
                                   const QString& operation);
    void report(const ServerError& error, const QString& operation);
    bool attempt();
    bool connectedAsWanted();
    void complete();
    void refuseHopelessServer();
    void afterThreeAttempts(bool& dialogShown);

    ClientFactory m_makeClient;
    std::unique_ptr<ServerClient> m_client;
    QString m_connectString;
    Credentials m_credentials;
    bool m_connecting = false;
    int m_lastReportedError = 0;
};

// For its lifetime the connection logs in with other credentials (the
// login's look-up of the user code of a typed password, which has only the
// password); afterwards the ones before apply again.
class CredentialsScope {
public:
    CredentialsScope(Connection& connection, Credentials credentials);
    ~CredentialsScope();
    CredentialsScope(const CredentialsScope&) = delete;
    CredentialsScope& operator=(const CredentialsScope&) = delete;

private:
    Connection& m_connection;
    Credentials m_previous;
};

// The session's company, user code (as the ERP keeps it: GUIVELTAR form,
// upper case) and password.
Credentials SessionCredentials();

// Closes a server object, ignoring every error; the object is null after.
void CloseObject(ServerObject& object);
// Releases a class handle: the handle is null afterwards. Nothing goes to
// the server, which keeps nothing for a class handle.
void CloseObject(ClassHandle& handle);
