#include "StandinBatch.h"

#include "Job.h"
#include "StandinConnection.h"
#include "common/ServerError.h"

#include <QtEndian>

namespace {

// The error of an answer frame that carries the database's error, empty
// for any other answer. Only the status and the number are looked at for
// the others.
QString databaseError(const QByteArray& frame) {
    constexpr qsizetype kStatusAt = 4 + 4;
    if (frame.size() < kStatusAt + 5 || quint8(frame[kStatusAt]) != quint8(Wire::Status::Error))
        return QString();
    const auto* n = reinterpret_cast<const uchar*>(frame.constData() + kStatusAt + 1);
    if (qFromBigEndian<quint32>(n) != quint32(StandinErrors::Database))
        return QString();
    const auto reply = Wire::decodeReply(frame.mid(4));
    return reply ? reply->errorText : QString();
}

} // namespace

void StandinServer::Batch::begin() {
    if (m_group)
        return;
    m_start = m_out.size();
    m_requests.clear();
    try {
        m_group.emplace(m_engine);
    } catch (const std::exception&) {
        // Then each request is a transaction of its own.
    }
}

void StandinServer::Batch::answered(const Wire::Request& request, const QByteArray& answer) {
    m_out += answer;
    if (!m_group)
        return;
    m_requests.push_back({request.id, request.chained});
    const QString error = databaseError(answer);
    // SQLite rolled the whole transaction back: what ran before in the
    // batch is undone too.
    if (!m_engine.inTransaction())
        fail(error.isEmpty() ? QStringLiteral("Datenbankfehler: Transaktion abgebrochen") : error);
    else if (!error.isEmpty())
        ServerReport(QStringLiteral("job %1: %2").arg(m_job.number()).arg(error));
}

QString StandinServer::Batch::commit() {
    if (!m_group)
        return QString();
    QString error;
    try {
        m_group->commit();
        m_group.reset();
    } catch (const ServerError& e) {
        error = e.description();
    } catch (const std::exception& e) {
        error = QStringLiteral("Datenbankfehler: ") + QString::fromUtf8(e.what());
    }
    if (!error.isEmpty())
        fail(error);
    return error;
}

int StandinServer::Batch::rollback() {
    const int n = m_group ? int(m_requests.size()) : 0;
    m_group.reset();
    m_engine.abandonTransaction();
    m_requests.clear();
    return n;
}

void StandinServer::Batch::fail(const QString& error) {
    m_group.reset();
    m_engine.abandonTransaction();
    ServerReport(QStringLiteral("job %1: %2; %3 requests undone")
                     .arg(m_job.number())
                     .arg(error)
                     .arg(m_requests.size()));
    m_out.truncate(m_start);
    for (const Sent& sent : m_requests)
        m_out += ErrorFrame(sent.id, StandinErrors::Database, error);
    // As if each had failed: chained requests after the last one are
    // skipped when it was chained.
    if (!m_requests.empty())
        m_job.chainBroken = m_requests.back().chained;
    m_requests.clear();
}
