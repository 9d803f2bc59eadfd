#include "StandinClasses.h"

void RegisterAllClasses(StandinEngine& engine) {
    RegisterWindowsClasses(engine);
    RegisterPersonnelClasses(engine);
    RegisterDownloadClasses(engine);
    RegisterImportClasses(engine);
}
