#include "JobSession.h"

#include "Dispatcher.h"
#include "Job.h"

#include <QHash>

JobSession::JobSession(StandinEngine& engine) : m_job(std::make_unique<Job>(engine)) {}

JobSession::~JobSession() = default;

QString JobSession::hello(const QString& company, const QString& user, const QString& password) {
    const Wire::Reply r = reply(Wire::Op::Hello, {Wire::kMagic, QStringLiteral("VELTAR"),
                                                  QStringLiteral("test"), company, user, password});
    return r.status == Wire::Status::Ok ? r.values.value(2) : text(Wire::Op::Hello, r);
}

Wire::Reply JobSession::reply(Wire::Op op, QStringList args) {
    for (QString& a : args)
        if (a == u"@")
            a = m_lastRef;
    Wire::Reply r = Dispatch(*m_job, Wire::Request{m_nextId++, op, args});
    if ((op == Wire::Op::New || op == Wire::Op::Open) && r.status == Wire::Status::Ok)
        m_lastRef = r.values.value(0);
    return r;
}

QString JobSession::call(Wire::Op op, QStringList args) {
    return text(op, reply(op, std::move(args)));
}

QString JobSession::run(const Steps& steps) {
    static const QHash<QString, Wire::Op> ops{
        {QStringLiteral("NEW"), Wire::Op::New},
        {QStringLiteral("OPEN"), Wire::Op::Open},
        {QStringLiteral("GET"), Wire::Op::Get},
        {QStringLiteral("SET"), Wire::Op::Set},
        {QStringLiteral("METHOD"), Wire::Op::Method},
        {QStringLiteral("CLASSMETHOD"), Wire::Op::ClassMethod},
        {QStringLiteral("QUERY"), Wire::Op::Query},
    };
    QString answer;
    for (const QStringList& step : steps) {
        answer = call(ops.value(step.value(0), Wire::Op::Ping), step.mid(1));
        if (answer.startsWith(QStringLiteral("error ")))
            break;
    }
    return answer;
}

QString JobSession::xecute(const QString& line) {
    const Wire::Reply made = reply(Wire::Op::New, {QStringLiteral("VT.Windows")});
    if (made.status != Wire::Status::Ok)
        return text(Wire::Op::New, made);
    const Wire::Reply r =
        reply(Wire::Op::Method, {made.values.value(0), QStringLiteral("Xecute"), line});
    return r.status == Wire::Status::Ok ? r.values.value(0) : text(Wire::Op::Method, r);
}

QString JobSession::text(Wire::Op op, const Wire::Reply& r) {
    if (r.status == Wire::Status::Error)
        return QStringLiteral("error %1 %2").arg(r.errorNumber).arg(r.errorText);
    if (op == Wire::Op::Query)
        return QStringLiteral("rows:") + r.values.mid(3).join(u'|');
    return r.values.join(u'|');
}
