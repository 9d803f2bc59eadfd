#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the workstation settings at a temporary folder for the lifetime of
// the object, so tests never touch the user's real settings.
class TemporarySettings {
public:
    TemporarySettings();
    ~TemporarySettings();
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
