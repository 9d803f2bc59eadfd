#pragma once

// The store's parts that keep the WAL short: the checkpointer thread and
// the busy time-out it shares with the store. Only the store includes it.
#include "StandinStore.h"

#include <condition_variable>
#include <mutex>
#include <sqlite3.h>
#include <thread>

// How long a statement waits for a lock another program holds.
constexpr int kBusyTimeoutMs = 5000;

// Checkpoints run here, passive, on a connection of their own: they never
// wait for the writer, and the fsyncs they make cost the server's thread
// nothing. Once they have copied the whole WAL, the next write starts it
// from the beginning again.
class StandinStore::Checkpointer {
public:
    explicit Checkpointer(const QString& path);
    ~Checkpointer();
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    bool running() const { return m_db != nullptr; }
    // While held, no checkpoint runs here; not held while one runs.
    std::unique_lock<std::mutex> tryPause() {
        return std::unique_lock<std::mutex>(m_running, std::try_to_lock);
    }
    // Wakes the thread for a checkpoint.
    void request();

private:
    void run();

    sqlite3* m_db = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::mutex m_running;
    std::condition_variable m_wake;
    bool m_due = false;
    bool m_stop = false;
};
