#include "StoreCheckpointer.h"

StandinStore::Checkpointer::Checkpointer(const QString& path) {
    const QByteArray name = path.toUtf8();
    // A first read opens the WAL, without which there is nothing to
    // checkpoint.
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(m_db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    m_thread = std::thread([this] { run(); });
}

StandinStore::Checkpointer::~Checkpointer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    sqlite3_close(m_db);
}

void StandinStore::Checkpointer::request() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_due = true;
    }
    m_wake.notify_one();
}

void StandinStore::Checkpointer::run() {
    for (;;) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_due || m_stop; });
        if (m_stop)
            return;
        m_due = false;
        lock.unlock();
        const std::lock_guard<std::mutex> running(m_running);
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
}

void StandinStore::setCheckpointPages(int pages) {
    m_checkpointPages = pages;
    // A WAL that was started anew is cut back, at its first commit, to the
    // size of a checkpoint's worth of frames (a page and its 24-byte header
    // each, after the 32-byte file header).
    if (m_handle) {
        const qint64 page = textValue(QStringLiteral("PRAGMA page_size"), {}).toLongLong();
        execText(QStringLiteral("PRAGMA journal_size_limit=%1")
                     .arg(qint64(qMax(1, m_checkpointPages)) * (page + 24) + 32),
                 {});
    }
}

int StandinStore::walHook(void* store, sqlite3*, const char*, int pages) {
    auto* self = static_cast<StandinStore*>(store);
    const int due = self->m_checkpointPages;
    // The checkpointer copies what it can without waiting; when it falls
    // behind (another program reads for long, or writes come faster than it
    // copies), the server itself checkpoints and truncates the WAL.
    if (self->m_checkpointer && pages >= due && pages / 2 < due)
        self->m_checkpointer->request();
    else if (pages >= due)
        self->m_checkpointDue = true;
    return SQLITE_OK;
}

void StandinStore::checkpointIfDue() noexcept {
    if (!m_checkpointDue || !m_handle || m_depth > 0 || m_checkpointsHeld)
        return;
    m_checkpointDue = false;
    std::unique_lock<std::mutex> paused;
    if (m_checkpointer) {
        paused = m_checkpointer->tryPause();
        if (!paused.owns_lock()) {
            m_checkpointDue = true;
            return;
        }
    }
    // TRUNCATE needs every reader of other programs to be done with the WAL;
    // when one is not, a passive checkpoint does what it can without waiting.
    sqlite3_busy_timeout(m_handle, 0);
    if (sqlite3_wal_checkpoint_v2(m_handle, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                                  nullptr) != SQLITE_OK)
        sqlite3_wal_checkpoint_v2(m_handle, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    sqlite3_busy_timeout(m_handle, kBusyTimeoutMs);
}
