#include "LoginThrottle.h"

#include <chrono>

namespace {

// Codes kept before those that no longer matter are forgotten.
constexpr qsizetype kPruneAbove = 10000;

} // namespace

qint64 LoginThrottle::Wait(int failures, qint64 delayMs) {
    if (failures <= 0 || delayMs <= 0)
        return 0;
    return qMin(delayMs << qMin(failures - 1, kMaxDoublings), kMaxWaitMs);
}

qint64 LoginThrottle::Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 LoginThrottle::readyAt(const QString& code) const {
    auto it = m_entries.constFind(code);
    return it == m_entries.constEnd() ? 0 : it->readyAt;
}

bool LoginThrottle::locked(const QString& code) {
    auto it = m_entries.find(code);
    if (it == m_entries.end() || it->lockedUntil == 0)
        return false;
    if (Now() < it->lockedUntil)
        return true;
    // The lock has ended: the code starts afresh.
    m_entries.erase(it);
    return false;
}

void LoginThrottle::failed(const QString& code, bool lockable) {
    const qint64 now = Now();
    prune(now);
    Entry& e = m_entries[code];
    ++e.failures;
    e.lastFailure = now;
    e.readyAt = now + Wait(e.failures, m_delayMs);
    if (lockable && e.failures >= kLockAfter && e.lockedUntil == 0 && m_lockMs > 0)
        e.lockedUntil = now + m_lockMs;
}

void LoginThrottle::succeeded(const QString& code) {
    m_entries.remove(code);
}

qint64 LoginThrottle::addressReadyAt(const QString& address) const {
    auto it = m_addresses.constFind(address);
    return it == m_addresses.constEnd() || Now() - it->lastFailure > kAddressMemoryMs ? 0
                                                                                      : it->readyAt;
}

void LoginThrottle::addressFailed(const QString& address) {
    const qint64 now = Now();
    if (m_addresses.size() >= kPruneAbove)
        m_addresses.removeIf([now](const auto& e) {
            return now - e.value().lastFailure > kAddressMemoryMs && e.value().readyAt <= now;
        });
    Entry& e = m_addresses[address];
    if (now - e.lastFailure > kAddressMemoryMs)
        e.failures = 0;
    ++e.failures;
    e.lastFailure = now;
    e.readyAt = now + Wait(e.failures - kAddressAllowance, m_delayMs);
}

void LoginThrottle::prune(qint64 now) {
    if (m_entries.size() < kPruneAbove)
        return;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const bool locked = it->lockedUntil != 0 && it->lockedUntil > now;
        if (it->readyAt <= now && !locked && now - it->lastFailure > m_lockMs)
            it = m_entries.erase(it);
        else
            ++it;
    }
}
