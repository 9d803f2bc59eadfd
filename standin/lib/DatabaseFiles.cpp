#include "DatabaseFiles.h"

#include <QFile>
#include <fcntl.h>
#include <unistd.h>

bool OwnerOnlyDatabaseFiles(const QString& path) {
    constexpr auto kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QFile::exists(path)) {
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    bool ok = QFile::setPermissions(path, kOwnerOnly);
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const QString companion = path + QLatin1String(suffix);
        if (QFile::exists(companion))
            ok = QFile::setPermissions(companion, kOwnerOnly) && ok;
    }
    return ok;
}
