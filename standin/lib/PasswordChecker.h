#pragma once

#include "Passwords.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// Checks passwords against their hashes on a thread of its own, so that
// the event loop goes on serving while a check costs its milliseconds. The
// queue is bounded, in all and per address, and served in turns: one check
// of each address that waits, then the next, so that a flood from a few
// addresses delays the others by a turn, never by the flood.
class PasswordChecker {
public:
    static constexpr int kMaxQueued = 64;
    static constexpr int kMaxPerAddress = 4;

    PasswordChecker();
    ~PasswordChecker();
    PasswordChecker(const PasswordChecker&) = delete;
    PasswordChecker& operator=(const PasswordChecker&) = delete;

    // Checks the password against the stored values (none: a check against
    // nobody, as long as one); `done` runs in the thread of `receiver` with
    // the verdicts, unless the receiver has gone. False when the queue, or
    // the address's share of it, is full: nothing was queued.
    bool submit(const QString& address, const QString& password, const QStringList& stored,
                QObject* receiver, std::function<void(PasswordVerdicts)> done);

private:
    struct Task {
        QString password;
        QStringList stored;
        QObject* receiver;
        std::function<void(PasswordVerdicts)> done;
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Per address, in the order they came; m_turns the addresses in turn.
    std::map<QString, std::deque<Task>> m_waiting;
    std::deque<QString> m_turns;
    int m_queued = 0;
    bool m_stop = false;
    std::thread m_thread;
};
