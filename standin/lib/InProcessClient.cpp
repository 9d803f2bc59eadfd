#include "InProcessClient.h"

#include "Dispatcher.h"
#include "Job.h"

InProcessClient::InProcessClient(StandinEngine& engine) : m_engine(engine) {}

InProcessClient::~InProcessClient() = default;

bool InProcessClient::connect(const QString& connectString) {
    m_job.reset();
    const auto target = ConnectTarget::parse(connectString);
    if (!target) {
        m_lastError = QStringLiteral("Ungültige Verbindungsangabe: ") + connectString;
        return false;
    }
    if (!m_reachable) {
        m_lastError = QStringLiteral("Connection refused");
        return false;
    }
    m_job = std::make_unique<Job>(m_engine);
    try {
        m_jobNumber = call(Wire::Op::Hello, {Wire::kMagic, target->nameSpace, QString()}).value(1);
    } catch (const ServerError& e) {
        m_lastError = e.description();
        m_job.reset();
        return false;
    }
    return true;
}

void InProcessClient::disconnect() {
    m_job.reset();
}

QStringList InProcessClient::call(Wire::Op op, const QStringList& args) {
    return send(op, args, false);
}

QStringList InProcessClient::callChained(Wire::Op op, const QStringList& args) {
    return send(op, args, true);
}

QStringList InProcessClient::send(Wire::Op op, const QStringList& args, bool chained) {
    if (!m_job)
        throw ServerError(ClientErrors::NotConnected,
                          QStringLiteral("Keine Verbindung zum Server"));
    Wire::Request r;
    r.id = m_nextId++;
    r.op = op;
    r.args = args;
    r.chained = chained;
    Wire::Reply reply = Dispatch(*m_job, r);
    if (reply.status == Wire::Status::Error)
        throw ServerError(reply.errorNumber, reply.errorText);
    return reply.values;
}

void InProcessClient::breakConnection() {
    m_job.reset();
}
