#include "StandinClasses.h"

void RegisterAllClasses(StandinEngine& engine) {
    RegisterWindowsClasses(engine);
}
