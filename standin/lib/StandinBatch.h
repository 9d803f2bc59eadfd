#pragma once

// The group commit of StandinServer: the requests of one turn of a
// connection run in one transaction, and their answers leave after it.
#include "StandinServer.h"

#include <QByteArray>
#include <optional>
#include <vector>

// Holds the checkpoints of a store while it lives, and makes a checkpoint
// that fell due meanwhile when it ends.
class CheckpointHold {
public:
    explicit CheckpointHold(StandinStore& store) : m_store(store) { m_store.holdCheckpoints(true); }
    ~CheckpointHold() {
        m_store.holdCheckpoints(false);
        m_store.checkpointIfDue();
    }
    CheckpointHold(const CheckpointHold&) = delete;
    CheckpointHold& operator=(const CheckpointHold&) = delete;

private:
    StandinStore& m_store;
};

// The requests of one turn that run in one transaction (group commit), and
// what becomes of them when it fails: a database that cannot store them
// undoes all of them, and each is answered with the database's error.
class StandinServer::Batch {
public:
    Batch(StandinEngine& engine, Job& job, QByteArray& out)
        : m_engine(engine), m_job(job), m_out(out) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Before each request: the transaction that takes it.
    void begin();
    // Takes the answer of a request run in the batch.
    void answered(const Wire::Request& request, const QByteArray& answer);
    // Commits what ran; when that fails, every request of the batch is
    // answered with the database's error instead, and the error is
    // returned (empty after a commit).
    QString commit();
    // Undoes what ran (its answers will not be read); returns how many
    // requests it held.
    int rollback();

private:
    struct Sent {
        quint32 id;
        bool chained;
    };
    void fail(const QString& error);

    StandinEngine& m_engine;
    Job& m_job;
    QByteArray& m_out;
    qsizetype m_start = 0;
    std::vector<Sent> m_requests;
    std::optional<StandinTransaction> m_group;
};
