#include "LoginLocks.h"

#include "StandinStore.h"

#include <QDateTime>

namespace LoginLocks {

qint64 WallNow() {
    return QDateTime::currentMSecsSinceEpoch();
}

void Create(StandinStore& store) {
    store.execScript({QStringLiteral("CREATE TABLE IF NOT EXISTS login_locks(company TEXT, code "
                                     "TEXT, address TEXT, until INTEGER, PRIMARY KEY(company, "
                                     "code, address))")});
}

bool Locked(StandinStore& store, const QString& company, const QString& code,
            const QString& address) {
    return !store
                .textValue(QStringLiteral("SELECT 1 FROM login_locks WHERE company=? AND code=? "
                                          "AND address=? AND until>?"),
                           {company, code, address, QString::number(WallNow())})
                .isEmpty();
}

void Lock(StandinStore& store, const QString& company, const QString& code, const QString& address,
          qint64 durationMs) {
    store.execText(QStringLiteral("INSERT OR REPLACE INTO login_locks(company, code, address, "
                                  "until) VALUES(?,?,?,?)"),
                   {company, code, address, QString::number(WallNow() + durationMs)});
}

int Unlock(StandinStore& store, const QString& code) {
    const int inForce =
        store
            .textValue(QStringLiteral("SELECT count(*) FROM login_locks WHERE code=? AND until>?"),
                       {code, QString::number(WallNow())})
            .toInt();
    store.execText(QStringLiteral("DELETE FROM login_locks WHERE code=?"), {code});
    return inForce;
}

} // namespace LoginLocks
