#include "InProcessClient.h"

#include "Dispatcher.h"
#include "Job.h"

InProcessClient::InProcessClient(StandinEngine& engine) : m_engine(engine) {}

InProcessClient::~InProcessClient() = default;

bool InProcessClient::openConnection(const QString& connectString) {
    closeConnection();
    const auto target = ConnectTarget::parse(connectString);
    if (!target) {
        m_lastError = QStringLiteral("Ungültige Verbindungsangabe: ") + connectString;
        return false;
    }
    if (!m_reachable || (m_listeningPort != 0 && target->port != m_listeningPort)) {
        m_lastError = QStringLiteral("Connection refused");
        return false;
    }
    m_job = std::make_unique<Job>(m_engine);
    try {
        hello(target->nameSpace, QString());
    } catch (const ServerError& e) {
        m_lastError = e.description();
        closeConnection();
        return false;
    }
    return true;
}

void InProcessClient::closeConnection() {
    m_job.reset();
    m_answers.clear();
}

quint32 InProcessClient::post(Wire::Op op, const QStringList& args, bool chained) {
    if (!m_job)
        throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
    Wire::Request r;
    r.id = m_nextId++;
    r.op = op;
    r.args = args;
    r.chained = chained;
    m_answers.push_back({r.id, Dispatch(*m_job, r)});
    return r.id;
}

QStringList InProcessClient::await(quint32 id) {
    // Answers of earlier requests that nobody awaited are dropped, as over
    // TCP; kept ones wait for their await().
    auto it = m_answers.begin();
    while (it != m_answers.end() && it->id != id)
        it = it->kept ? it + 1 : m_answers.erase(it);
    if (it == m_answers.end()) {
        if (!m_job)
            throw ServerError(ClientErrors::ConnectionLost, kConnectionLostText);
        throw ServerError(ClientErrors::ProtocolError,
                          QStringLiteral("Keine offene Anfrage ") + QString::number(id));
    }
    Wire::Reply reply = std::move(it->reply);
    m_answers.erase(it);
    if (reply.status == Wire::Status::Error)
        throw ServerError(reply.errorNumber, reply.errorText);
    return reply.values;
}

quint32 InProcessClient::postKept(Wire::Op op, const QStringList& args, bool chained) {
    const quint32 id = post(op, args, chained);
    for (Answer& a : m_answers)
        if (a.id == id)
            a.kept = true;
    return id;
}

quint32 InProcessClient::postLostRequest() {
    m_job.reset();
    Wire::Reply lost;
    lost.id = m_nextId++;
    lost.status = Wire::Status::Error;
    lost.errorNumber = ClientErrors::ConnectionLost;
    lost.errorText = kConnectionLostText;
    m_answers.push_back({lost.id, lost});
    return lost.id;
}

void InProcessClient::breakConnection() {
    closeConnection();
}
