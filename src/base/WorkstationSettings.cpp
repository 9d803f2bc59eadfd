#include "WorkstationSettings.h"

#include <QDir>
#include <QSettings>
#include <memory>

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
    s->sync();
}

void remove(const QString& application, const QString& section, const QString& key) {
    auto s = open(application);
    s->remove(path(section, key));
    s->sync();
}

void useFolder(const QString& folder) {
    overrideFolder() = folder;
}

} // namespace WorkstationSettings
