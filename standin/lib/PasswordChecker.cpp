#include "PasswordChecker.h"

#include "Passwords.h"

#include <QMetaObject>
#include <QPointer>

PasswordChecker::PasswordChecker() : m_thread([this] { run(); }) {}

PasswordChecker::~PasswordChecker() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool PasswordChecker::submit(const QString& address, const QString& password,
                             const QStringList& stored, QObject* receiver,
                             std::function<void(PasswordVerdicts)> done) {
    {
        const std::lock_guard lock(m_mutex);
        auto& queue = m_waiting[address];
        if (m_queued >= kMaxQueued || int(queue.size()) >= kMaxPerAddress) {
            if (queue.empty())
                m_waiting.erase(address);
            return false;
        }
        if (queue.empty())
            m_turns.push_back(address);
        queue.push_back({password, stored, receiver, std::move(done)});
        ++m_queued;
    }
    m_wake.notify_one();
    return true;
}

void PasswordChecker::run() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_turns.empty(); });
            if (m_stop)
                return;
            // The next address in turn gives its oldest check; it goes to
            // the back of the turns while it has more.
            const QString address = m_turns.front();
            m_turns.pop_front();
            auto it = m_waiting.find(address);
            task = std::move(it->second.front());
            it->second.pop_front();
            if (it->second.empty())
                m_waiting.erase(it);
            else
                m_turns.push_back(address);
            --m_queued;
        }
        PasswordVerdicts verdicts;
        verdicts.password = task.password;
        try {
            if (task.stored.isEmpty())
                Passwords::VerifyNobody(task.password);
            for (const QString& stored : std::as_const(task.stored)) {
                if (verdicts.matches.contains(stored))
                    continue;
                const bool match = Passwords::Verify(stored, task.password);
                verdicts.matches.insert(stored, match);
                if (match && Passwords::NeedsRehash(stored))
                    verdicts.rehashed.insert(stored, Passwords::Hash(task.password));
            }
        } catch (const std::exception&) {
            // Memory for a check is short: what was not checked is checked
            // where the verdicts are used.
        }
        QMetaObject::invokeMethod(
            task.receiver,
            [receiver = QPointer<QObject>(task.receiver), done = std::move(task.done),
             verdicts = std::move(verdicts)]() mutable {
                if (receiver)
                    done(std::move(verdicts));
            },
            Qt::QueuedConnection);
    }
}
