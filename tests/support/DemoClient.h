#pragma once

#include "ClientTestFixture.h"
#include "ScriptedUserInterface.h"

#include <memory>

// What most tests of the program's logic start with in init(): a fixture
// with the demo data and the demo session, and a scripted user interface.
inline void StartDemoClient(std::unique_ptr<ClientTestFixture>& fx,
                            std::unique_ptr<ScriptedUserInterface>& ui) {
    fx = std::make_unique<ClientTestFixture>();
    ui = std::make_unique<ScriptedUserInterface>();
    fx->demoSession();
}

// And end with in cleanup(): the user interface first, then the fixture.
inline void EndDemoClient(std::unique_ptr<ClientTestFixture>& fx,
                          std::unique_ptr<ScriptedUserInterface>& ui) {
    ui.reset();
    fx.reset();
}
