#pragma once

#include "StandinEngine.h"

#include <QHostAddress>
#include <QTcpServer>
#include <memory>
#include <unordered_map>

class Job;
class QTcpSocket;

// Serves the wire protocol: one job per connection, requests answered in
// order. A malformed or oversized frame closes that connection only.
class StandinServer : public QObject {
    Q_OBJECT
public:
    explicit StandinServer(StandinEngine& engine, QObject* parent = nullptr);
    ~StandinServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    int connectionCount() const { return int(m_connections.size()); }

private:
    struct Connection;
    void accept();
    void readFrom(QTcpSocket* socket);
    void drop(QTcpSocket* socket);

    StandinEngine& m_engine;
    QTcpServer m_server;
    std::unordered_map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
};
