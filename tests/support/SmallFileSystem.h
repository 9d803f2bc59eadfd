#pragma once

#include <QString>
#include <QTemporaryDir>

// A file system of its own, a tmpfs of a few MiB, for as long as the object
// lives (unmounted also when the test fails). Only root may mount one:
// mounted() tells whether it is there, error() why not.
class SmallFileSystem {
public:
    explicit SmallFileSystem(int mebibytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    static bool mayMount();
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_error;
};

// Skips a test that needs a file system of its own unless it may mount
// one; CI runs the tests as root, so there it fails instead of skipping.
#define QUENDRA_NEED_OWN_FILE_SYSTEM()                                                             \
    do {                                                                                           \
        if (!SmallFileSystem::mayMount()) {                                                        \
            if (qEnvironmentVariableIsSet("QUENDRA_CI"))                                           \
                QFAIL("CI must run this test as root (a small file system of its own)");           \
            QSKIP("A small file system of its own can only be mounted as root");                   \
        }                                                                                          \
    } while (false)
