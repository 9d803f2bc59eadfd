#include "SmallFileSystem.h"

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

bool SmallFileSystem::mayMount() {
    return ::geteuid() == 0;
}

SmallFileSystem::SmallFileSystem(int mebibytes) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QByteArray dir = m_dir.path().toLocal8Bit();
    const QByteArray options = "size=" + QByteArray::number(mebibytes) + "m,mode=0700";
    if (::mount("tmpfs", dir.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) !=
        0) {
        m_error = QStringLiteral("mount -t tmpfs on %1: %2")
                      .arg(m_dir.path(), QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallFileSystem::~SmallFileSystem() {
    if (!m_mounted)
        return;
    const QByteArray dir = m_dir.path().toLocal8Bit();
    // A process that still has a file open there (a server that did not
    // end) keeps it busy: then it goes once that one has ended.
    if (::umount(dir.constData()) != 0)
        ::umount2(dir.constData(), MNT_DETACH);
}
