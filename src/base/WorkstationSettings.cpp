#include "WorkstationSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

QString& overrideFolder() {
    static QString folder;
    return folder;
}

std::unique_ptr<QSettings> open(const QString& application) {
    if (!overrideFolder().isEmpty())
        return std::make_unique<QSettings>(
            QDir(overrideFolder()).filePath(application + QStringLiteral(".ini")),
            QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Quendra"), application);
}

QString path(const QString& section, const QString& key) {
    return section + u'/' + key;
}

// Writes the settings to their file, readable by its owner only (it holds
// the scrambled password): a new file is made so before anything is
// written into it (the write keeps the permissions of the file it
// replaces), an existing one is tightened.
void store(QSettings& s) {
    const QString file = s.fileName();
    const QFileInfo info(file);
    if (!info.exists() && QDir().mkpath(info.absolutePath())) {
        const int fd =
            ::open(QFile::encodeName(file).constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    s.sync();
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

namespace WorkstationSettings {

QString value(const QString& application, const QString& section, const QString& key,
              const QString& defaultValue) {
    return open(application)->value(path(section, key), defaultValue).toString();
}

void setValue(const QString& application, const QString& section, const QString& key,
              const QString& value) {
    auto s = open(application);
    s->setValue(path(section, key), value);
    store(*s);
}

void remove(const QString& application, const QString& section, const QString& key) {
    auto s = open(application);
    s->remove(path(section, key));
    store(*s);
}

void useFolder(const QString& folder) {
    overrideFolder() = folder;
}

} // namespace WorkstationSettings
