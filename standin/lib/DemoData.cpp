#include "DemoData.h"

#include "StandinEngine.h"

void FillDemoData(StandinEngine& engine) {
    if (engine.meta(QStringLiteral("demo")) == u"1")
        return;
    engine.db().transaction();
    // Fiscal year: ^FA(0) holds start`year`end.
    engine.setGlobal(QStringLiteral("FA"), {QStringLiteral("0")},
                     QStringLiteral("20270101`2027`20271231"));
    engine.setMeta(QStringLiteral("demo"), QStringLiteral("1"));
    engine.db().commit();
}
