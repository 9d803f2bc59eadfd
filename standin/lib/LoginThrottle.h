#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

// Failed logins and what they cost the next attempt. After each failed
// HELLO that offered a password, the same connection (Job) and the same
// user code from the same address wait before their next HELLO with a
// password is checked: the first wait, then twice as long each time, never
// longer than kMaxWaitMs (below the time the program waits for the answer
// to its HELLO). A user code that failed kLockAfter times in a row from an
// address is locked for that address (LoginLocks.h): a guesser elsewhere
// can neither slow down nor lock out the user at its own workstation. A
// successful login clears the count of its code at its address and of its
// connection. Unknown user codes are counted like known ones, so that both
// are answered alike. The look-up by password alone is counted the same
// way under the company and the empty code.
//
// Failures are also counted per address (a terminal server's users share
// one): the first kAddressAllowance cost nothing, each further one makes
// the next HELLO from the address wait as above. A minute without a failure
// forgets them; a success does not, as it may be anyone's there.
//
// Each look-up by password alone takes its turn at its address: attempts
// from parallel connections of one address are checked one after another,
// spaced by the address's wait (its failures and the look-ups still
// waiting counted). While a company had more than kCompanyAllowance failed
// look-ups within a minute, a look-up from an address that failed itself
// waits kMaxWaitMs; addresses without failures are not slowed down.
class LoginThrottle {
public:
    static constexpr int kLockAfter = 10;
    static constexpr int kMaxDoublings = 4;
    static constexpr qint64 kMaxWaitMs = 8000;
    static constexpr int kAddressAllowance = 5;
    static constexpr qint64 kAddressMemoryMs = 60 * 1000;
    static constexpr int kCompanyAllowance = 30;

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
    qint64 lockMs() const { return m_lockMs; }

    // When the next HELLO for the code from the address may be checked (a
    // time of Now()).
    qint64 readyAt(const QString& code, const QString& address) const;
    // A failed login of the code from the address; true when it is the one
    // that locks the code there (its count starts anew).
    bool failed(const QString& code, const QString& address);
    void succeeded(const QString& code, const QString& address);

    // The same for an address.
    qint64 addressReadyAt(const QString& address) const;
    void addressFailed(const QString& address);

    // The time at which a look-up by password alone from the address for
    // the company takes its turn; each call reserves one turn, which
    // lookupDone() gives back once it was checked (or its connection ended).
    // -1 when the next turn is more than kMaxWaitMs ahead: the look-up is
    // refused unchecked, and nothing is reserved.
    qint64 reserveLookup(const QString& address, const QString& company);
    void lookupDone(const QString& address);
    // A failed look-up by password alone for the company.
    void companyFailed(const QString& company);

private:
    struct Entry {
        int failures = 0;
        qint64 readyAt = 0;
        qint64 lastFailure = 0;
    };
    struct Turns {
        int waiting = 0;
        qint64 next = 0;
    };
    static QString key(const QString& code, const QString& address);
    int recentFailures(const QHash<QString, Entry>& table, const QString& name) const;
    // Forgets, once there are many, entries whose last failure is older
    // than the lock time: a flood of other codes does not wipe out the count
    // of one under attack.
    void prune(qint64 now);

    QHash<QString, Entry> m_entries;
    QHash<QString, Entry> m_addresses;
    QHash<QString, Entry> m_companies;
    QHash<QString, Turns> m_turns;
    qint64 m_delayMs = 500;
    qint64 m_lockMs = 15 * 60 * 1000;
};
