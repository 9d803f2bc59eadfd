#include "StandinClasses.h"

void RegisterAllClasses(StandinEngine& engine) {
    RegisterWindowsClasses(engine);
    RegisterPersonnelClasses(engine);
    RegisterDownloadClasses(engine);
    RegisterErpClasses(engine);
    RegisterImportClasses(engine);
    RegisterPositionClasses(engine);
    RegisterPostingClasses(engine);
    RegisterDiscountGroupClasses(engine);
    RegisterLookupClasses(engine);
    RegisterMatchClasses(engine);
}
