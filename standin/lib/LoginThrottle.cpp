#include "LoginThrottle.h"

#include <chrono>

namespace {

// Entries kept before those that no longer matter are forgotten.
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

QString LoginThrottle::key(const QString& code, const QString& address) {
    return code + QChar(0x1F) + address;
}

qint64 LoginThrottle::readyAt(const QString& code, const QString& address) const {
    auto it = m_entries.constFind(key(code, address));
    return it == m_entries.constEnd() ? 0 : it->readyAt;
}

bool LoginThrottle::failed(const QString& code, const QString& address) {
    const qint64 now = Now();
    prune(now);
    Entry& e = m_entries[key(code, address)];
    // A count older than the lock time starts anew.
    if (now - e.lastFailure > m_lockMs)
        e.failures = 0;
    ++e.failures;
    e.lastFailure = now;
    e.readyAt = now + Wait(e.failures, m_delayMs);
    if (e.failures < kLockAfter || m_lockMs <= 0)
        return false;
    e.failures = 0;
    return true;
}

void LoginThrottle::succeeded(const QString& code, const QString& address) {
    m_entries.remove(key(code, address));
}

int LoginThrottle::recentFailures(const QHash<QString, Entry>& table, const QString& name) const {
    auto it = table.constFind(name);
    return it == table.constEnd() || Now() - it->lastFailure > kAddressMemoryMs ? 0 : it->failures;
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

qint64 LoginThrottle::reserveLookup(const QString& address, const QString& company) {
    const qint64 now = Now();
    if (m_turns.size() >= kPruneAbove)
        m_turns.removeIf(
            [now](const auto& e) { return e.value().waiting <= 0 && e.value().next <= now; });
    const int addressFailures = recentFailures(m_addresses, address);
    Turns& turns = m_turns[address];
    const qint64 at = qMax(now, turns.next);
    // No turn further ahead than the longest wait: the program gives up
    // waiting for its answer before that.
    if (at > now + kMaxWaitMs)
        return -1;
    ++turns.waiting;
    // The turn after this one: spaced by the failures and the look-ups
    // that wait, so that parallel connections do not pass together.
    turns.next = at + Wait(addressFailures + turns.waiting - kAddressAllowance, m_delayMs);
    const bool companyUnderAttack = recentFailures(m_companies, company) > kCompanyAllowance;
    return companyUnderAttack && addressFailures > 0 && m_delayMs > 0 ? at + kMaxWaitMs : at;
}

void LoginThrottle::lookupDone(const QString& address) {
    auto it = m_turns.find(address);
    if (it != m_turns.end() && --it->waiting <= 0 && it->next <= Now())
        m_turns.erase(it);
}

void LoginThrottle::companyFailed(const QString& company) {
    const qint64 now = Now();
    if (m_companies.size() >= kPruneAbove)
        m_companies.removeIf(
            [now](const auto& e) { return now - e.value().lastFailure > kAddressMemoryMs; });
    Entry& e = m_companies[company];
    if (now - e.lastFailure > kAddressMemoryMs)
        e.failures = 0;
    ++e.failures;
    e.lastFailure = now;
}

void LoginThrottle::prune(qint64 now) {
    if (m_entries.size() < kPruneAbove)
        return;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->readyAt <= now && now - it->lastFailure > m_lockMs)
            it = m_entries.erase(it);
        else
            ++it;
    }
}
