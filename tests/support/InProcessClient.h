#pragma once

#include "server/ServerClient.h"

#include <deque>
#include <memory>

class Job;
class StandinEngine;

// Talks to a stand-in engine in the same process: the same dispatcher and
// database as over TCP, without a socket. For fast tests. A posted request
// runs at once (as the server runs it on arrival); its answer waits for
// await(), and chained requests are skipped by the dispatcher exactly as
// over TCP.
class InProcessClient : public ServerClient {
public:
    explicit InProcessClient(StandinEngine& engine);
    ~InProcessClient() override;

    bool isConnected() const override { return m_job != nullptr; }
    quint32 post(Wire::Op op, const QStringList& args, bool chained = false) override;
    QStringList await(quint32 id) override;
    quint32 postKept(Wire::Op op, const QStringList& args, bool chained = false) override;

    // Makes the next connect attempts fail (a server that is not running).
    void setReachable(bool reachable) { m_reachable = reachable; }
    // Makes the next connect attempts reach the server only at this port (a
    // server that listens there alone); 0: at any port.
    void setListeningPort(quint16 port) { m_listeningPort = port; }
    // Drops the connection as a dying server would.
    void breakConnection();

protected:
    // For clients that play a dying server: the connection ends here; the
    // answers given before can still be read, and the returned request's
    // answer is the lost connection.
    quint32 postLostRequest();

    bool openConnection(const QString& connectString) override;
    void closeConnection() override;

private:
    struct Answer {
        quint32 id;
        Wire::Reply reply;
        bool kept = false;
    };

    StandinEngine& m_engine;
    std::unique_ptr<Job> m_job;
    std::deque<Answer> m_answers;
    bool m_reachable = true;
    quint16 m_listeningPort = 0;
    quint32 m_nextId = 1;
};

// An in-process client whose server refuses one method (class method or
// object method of that name) with an error, as a server whose method
// breaks; everything else is served.
class RefusingClient : public InProcessClient {
public:
    RefusingClient(StandinEngine& engine, QString method, int number, QString text)
        : InProcessClient(engine), m_method(std::move(method)), m_number(number),
          m_text(std::move(text)) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained = false) override {
        if ((op == Wire::Op::ClassMethod || op == Wire::Op::Method) && args.value(1) == m_method)
            throw ServerError(m_number, m_text);
        return InProcessClient::post(op, args, chained);
    }

private:
    QString m_method;
    int m_number;
    QString m_text;
};
