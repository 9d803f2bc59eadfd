#include "StandinEngine.h"

#include "LoginLocks.h"

StandinEngine::StandinEngine(const QString& databasePath)
    : StandinStore(databasePath), StandinRegistry(static_cast<StandinStore&>(*this)) {
    setLimits(m_limits);
    LoginLocks::Create(*this);
}

void StandinEngine::setLimits(const StandinLimits& limits) {
    m_limits = limits;
    m_loginThrottle.setTimes(limits.loginDelayMs, limits.loginLockMs);
    setCheckpointPages(limits.walCheckpointPages);
}
