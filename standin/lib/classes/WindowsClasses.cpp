// VT.Windows: the entry point for M commands ("Xecute"), and the routine
// ^%XTT that every client runs after connecting.
#include "Job.h"
#include "StandinClasses.h"
#include "StandinEngine.h"

#include <QDateTime>

namespace {

QString xecute(CallContext& ctx, StoredObject&, QStringList& args) {
    return ExecuteM(args.value(0), ctx.job.mEnvironment(), ctx.engine.limits().m);
}

} // namespace

void RegisterWindowsClasses(StandinRegistry& registry) {
    ClassDef& windows = registry.defineClass(erp::Windows::kClass);
    // New objects for M commands (Rights.h).
    windows.writes.create = true;
    windows.methods.insert(erp::Windows::kXecute, xecute);

    // ^%XTT registers the job's session: company, branch, user and location,
    // as the connection has just set them. ^%XTT($J) holds
    // FIRMA|FIL|PERSONAL|location|time; other routines read the session from
    // the job's locals.
    registry.defineRoutine(
        QString(), erp::Routines::kXtt, [](CallContext& ctx, const QStringList&, QString&) {
            Job& job = ctx.job;
            const QString location =
                job.getGlobal(QStringLiteral("STAND"), {job.jobNumber()}).value_or(QString());
            const QString value = job.local(QStringLiteral("FIRMA")) + u'|' +
                                  job.local(QStringLiteral("FIL")) + u'|' +
                                  job.local(QStringLiteral("PERSONAL")) + u'|' + location + u'|' +
                                  QDateTime::currentDateTime().toString(Qt::ISODate);
            job.setGlobal(QStringLiteral("%XTT"), {job.jobNumber()}, value);
        });
}
