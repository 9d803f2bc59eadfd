#include "StandinClasses.h"

void RegisterErpClasses(StandinRegistry& registry) {
    RegisterWindowsClasses(registry);
    RegisterPersonnelClasses(registry);
    RegisterDownloadClasses(registry);
    RegisterErpDataClasses(registry);
    RegisterImportClasses(registry);
    RegisterPositionClasses(registry);
    RegisterPostingClasses(registry);
    RegisterDiscountGroupClasses(registry);
    RegisterLookupClasses(registry);
    RegisterMatchClasses(registry);
}
