#include "FuzzSupport.h"

#include "DemoData.h"
#include "Job.h"
#include "StandinEngine.h"
#include "classes/StandinClasses.h"

#include <QCoreApplication>
#include <QTemporaryDir>

void LogInAsDemoUser(Job& job) {
    job.logIn(Access::User, QStringLiteral("1"), QStringLiteral("demo"), QStringLiteral("DEM"));
}

StandinEngine& FuzzEngine() {
    // Made once and kept for the whole run (never destroyed: libFuzzer ends
    // the process from wherever it is).
    static StandinEngine* engine = [] {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication* app = new QCoreApplication(argc, argv);
        static QTemporaryDir* dir = new QTemporaryDir;
        (void)app;
        auto* e = new StandinEngine(dir->filePath("fuzz.db"));
        RegisterErpClasses(*e);
        FillDemoData(*e);
        StandinLimits limits;
        limits.m.maxNesting = 200;
        limits.m.maxSteps = 200000;
        limits.m.timeLimitMs = 1000;
        limits.m.maxOutput = 64 * 1024;
        limits.maxResultSets = 20;
        // Failed logins neither lock a code nor make the next input wait:
        // an input's outcome does not depend on the ones before.
        limits.loginDelayMs = 0;
        limits.loginLockMs = 0;
        // A frame left incomplete ends its connection soon.
        limits.frameTimeoutMs = 100;
        e->setLimits(limits);
        return e;
    }();
    return *engine;
}
