#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

// A relay on a free loopback port to a server on target: what a listener on
// the wire sees. Every byte the clients sent is kept in fromClients.
class TcpRelay : public QObject {
public:
    explicit TcpRelay(quint16 target) : m_target(target) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                auto* server = new QTcpSocket(client);
                server->connectToHost(QHostAddress::LocalHost, m_target);
                connect(client, &QTcpSocket::readyRead, server, [this, client, server] {
                    const QByteArray bytes = client->readAll();
                    fromClients += bytes;
                    server->write(bytes);
                });
                connect(server, &QTcpSocket::readyRead, client,
                        [client, server] { client->write(server->readAll()); });
                connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
                connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray fromClients;

private:
    quint16 m_target;
    QTcpServer m_server;
};
