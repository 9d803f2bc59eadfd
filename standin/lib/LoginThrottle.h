#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

// Failed logins and what they cost the next attempt. After each failed
// HELLO that offered a password, the same connection (Job) and the same
// user code wait before their next HELLO with a password is checked: the
// first wait, then twice as long each time, never longer than kMaxWaitMs
// (below the time the program waits for the answer to its HELLO). A user
// code that failed kLockAfter times in a row is locked for the lock time:
// until then no password logs it in, with or without the code. A
// successful login clears the count of its code and its connection.
// Unknown user codes are counted like known ones, so that both are
// answered alike.
//
// Failures are also counted per address (a terminal server's users share
// one): the first kAddressAllowance cost nothing, each further one makes
// the next HELLO from the address wait as above. A minute without a failure
// forgets them; a success does not, as it may be anyone's there.
class LoginThrottle {
public:
    static constexpr int kLockAfter = 10;
    static constexpr int kMaxDoublings = 4;
    static constexpr qint64 kMaxWaitMs = 8000;
    static constexpr int kAddressAllowance = 5;
    static constexpr qint64 kAddressMemoryMs = 60 * 1000;

    // The wait after n failures in a row (0 for none): delay, 2 × delay,
    // 4 × delay ..., at most 2^kMaxDoublings × delay and never more than
    // kMaxWaitMs.
    static qint64 Wait(int failures, qint64 delayMs);
    // Milliseconds on a monotonic clock.
    static qint64 Now();

    void setTimes(qint64 delayMs, qint64 lockMs) {
        m_delayMs = delayMs;
        m_lockMs = lockMs;
    }
    qint64 delayMs() const { return m_delayMs; }

    // When the next HELLO for the code may be checked (a time of Now()).
    qint64 readyAt(const QString& code) const;
    // Whether the code is locked now (a lock that has ended is forgotten).
    bool locked(const QString& code);
    // A failed login; one that is not lockable (the look-up by password
    // alone, which names no code) only makes the next one wait.
    void failed(const QString& code, bool lockable = true);
    void succeeded(const QString& code);

    // The same for an address.
    qint64 addressReadyAt(const QString& address) const;
    void addressFailed(const QString& address);

private:
    struct Entry {
        int failures = 0;
        qint64 readyAt = 0;
        qint64 lockedUntil = 0;
        qint64 lastFailure = 0;
    };
    // Forgets, once there are many, codes whose last failure is older than
    // the lock time and that are not locked: a flood of other codes does
    // not wipe out the count of one under attack.
    void prune(qint64 now);

    QHash<QString, Entry> m_entries;
    QHash<QString, Entry> m_addresses;
    qint64 m_delayMs = 500;
    qint64 m_lockMs = 15 * 60 * 1000;
};
