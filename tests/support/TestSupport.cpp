#include "TestSupport.h"

#include "server/WorkstationSettings.h"

TemporarySettings::TemporarySettings() {
    WorkstationSettings::useFolder(m_dir.path());
}

TemporarySettings::~TemporarySettings() {
    WorkstationSettings::useFolder(QString());
}
