#pragma once

#include "InProcessClient.h"
#include "TestSupport.h"
#include "server/Connection.h"

#include <QList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <stdexcept>

class StandinEngine;

// Thrown by the test exit hook instead of ending the test process.
struct ProgramEnded : std::runtime_error {
    explicit ProgramEnded(int c) : std::runtime_error("program ended"), code(c) {}
    int code;
};

// What a test of the program's logic runs on, set up in one place and
// restored when the fixture ends: settings in a temporary folder, a stand-in
// engine (with the demo company unless asked otherwise) reached through
// in-process clients, retry pauses that do not wait, an exit hook that never
// ends the test process, and a fresh session, login form and trace.
class ClientTestFixture {
public:
    // Empty: no data but the user DEM (password "demo") of company 1.
    enum class Data { Demo, Empty };
    enum class OnExit { Throw, Record };

    explicit ClientTestFixture(Data data = Data::Demo, OnExit onExit = OnExit::Throw);
    ~ClientTestFixture();
    ClientTestFixture(const ClientTestFixture&) = delete;
    ClientTestFixture& operator=(const ClientTestFixture&) = delete;

    StandinEngine& engine() { return *m_engine; }
    // The program's connection in the test: each attempt makes a client of
    // the stand-in engine (setClientMaker, setReachable).
    Connection& connection() { return *m_connection; }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Where the workstation settings of the test are kept.
    QString settingsFolder() const { return m_settings.folder(); }

    // How each connection attempt makes its client (an InProcessClient by
    // default); the made client is reachable unless setReachable(false).
    using ClientMaker = std::function<std::unique_ptr<InProcessClient>(StandinEngine&)>;
    void setClientMaker(ClientMaker maker) { m_maker = std::move(maker); }
    void setReachable(bool reachable) { m_reachable = reachable; }
    // The made client reaches the server only through a connect string that
    // names this port (0: any port).
    void setListeningPort(quint16 port) { m_listeningPort = port; }
    // The client of the latest connection attempt (owned by the connection).
    InProcessClient* client() const { return m_client; }
    int connects() const { return m_connects; }

    // The session of the demo user DEM (password "demo") in company 1,
    // branch 0, location HQ, without a login; the connect string is built
    // for it, and the connection logs in with it.
    void demoSession();
    // Adds an active user of a company to the database, and makes the
    // session's connection log in as that user.
    void sessionAs(const QString& company, const QString& code, const QString& password);

    // Hundredths of a second each retry pause asked for.
    QList<int> pauses;
    // Exit codes the program asked for (OnExit::Record).
    QList<int> exits;

private:
    QTemporaryDir m_dir;
    TemporarySettings m_settings;
    std::unique_ptr<StandinEngine> m_engine;
    std::unique_ptr<Connection> m_connection;
    ClientMaker m_maker;
    InProcessClient* m_client = nullptr;
    bool m_reachable = true;
    quint16 m_listeningPort = 0;
    int m_connects = 0;
    QByteArray m_clientName;
    QByteArray m_temp;
};
