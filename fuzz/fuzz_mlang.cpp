// One line of M as "Xecute" runs it, in a job on the demo company: the
// line either runs or ends with an M error (or a database error), within
// the limits; nothing else may happen.
#include "FuzzSupport.h"
#include "Job.h"
#include "MInterpreter.h"
#include "StandinEngine.h"
#include "common/ServerError.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StandinEngine& engine = FuzzEngine();
    Job job(engine);
    StandinTransaction scratch(engine); // rolled back
    const QString line = QString::fromUtf8(FuzzBytes(data, size));
    try {
        const QString out = ExecuteM(line, job, engine.limits().m);
        if (out.size() > engine.limits().m.maxOutput)
            std::abort();
    } catch (const MError& e) {
        if (!e.code().startsWith(u'<') || !e.code().endsWith(u'>'))
            std::abort();
    } catch (const ServerError&) {
    }
    return 0;
}
