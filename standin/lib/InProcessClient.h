#pragma once

#include "server/ServerClient.h"

#include <memory>

class Job;
class StandinEngine;

// Talks to a stand-in engine in the same process: the same dispatcher and
// database as over TCP, without a socket. For fast tests.
class InProcessClient : public ServerClient {
public:
    explicit InProcessClient(StandinEngine& engine);
    ~InProcessClient() override;

    bool connect(const QString& connectString) override;
    bool isConnected() const override { return m_job != nullptr; }
    void disconnect() override;
    QStringList call(Wire::Op op, const QStringList& args) override;
    QStringList callChained(Wire::Op op, const QStringList& args) override;

    // Makes the next connect attempts fail (a server that is not running).
    void setReachable(bool reachable) { m_reachable = reachable; }
    // Drops the connection as a dying server would.
    void breakConnection();

private:
    QStringList send(Wire::Op op, const QStringList& args, bool chained);

    StandinEngine& m_engine;
    std::unique_ptr<Job> m_job;
    bool m_reachable = true;
    quint32 m_nextId = 1;
};
