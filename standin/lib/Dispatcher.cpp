#include "Dispatcher.h"

#include "Access.h"
#include "Job.h"
#include "Rights.h"
#include "common/ServerError.h"
#include "common/erp/Windows.h"

namespace {

using Wire::Op;

[[noreturn]] void fail(int number, const QString& text) {
    throw ServerError(number, text);
}

void needArgs(const Wire::Request& r, int n) {
    if (r.args.size() < n)
        fail(StandinErrors::BadArguments,
             QStringLiteral("Zu wenige Argumente für ") + Wire::opName(r.op));
}

const ClassDef& classOf(StandinEngine& engine, const QString& name) {
    const ClassDef* cls = engine.findClass(name);
    if (!cls)
        fail(StandinErrors::ClassMissing, QStringLiteral("Klasse existiert nicht: ") + name);
    return *cls;
}

// Appends up to batch rows (and at most a few MiB) to out; returns whether
// the cursor may have more.
bool fillBatch(QueryCursor& cursor, int batch, Wire::Reply& out) {
    constexpr qsizetype kMaxBatchBytes = 4 * 1024 * 1024;
    return cursor.fillEncoded(batch, kMaxBatchBytes, out.encoded, out.encodedCount);
}

int batchSize(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n > 0 ? qMin(n, 10000) : Wire::kDefaultBatch;
}

QStringList methodReply(const QString& result, const QStringList& args) {
    QStringList values;
    values.reserve(args.size() + 1);
    values << result << args;
    return values;
}

// What others stored since the object was opened stays: the object takes
// the row as it is now, with what this job set on it. A row that has gone
// (its download deleted with it) is not made anew.
void takeStoredRow(Job& job, StoredObject& obj) {
    StoredObject current;
    if (!job.engine().loadObject(*obj.cls, obj.id, &current) || !Visible(job, current))
        ObjectNotFound(obj.cls->name, obj.id);
    for (const QString& property : std::as_const(obj.changed))
        current.values.insert(property, obj.values.value(property));
    obj.values = std::move(current.values);
}

QStringList objectMethod(Job& job, const Wire::Request& r) {
    needArgs(r, 2);
    const QString& ref = r.args[0];
    const QString& method = r.args[1];
    QStringList args = r.args.mid(2);
    StandinEngine& engine = job.engine();
    if (method == u"sys_close") {
        job.object(ref);
        job.dropObject(ref);
        return {QString()};
    }
    StoredObject& obj = job.object(ref);
    if (method == u"sys_save") {
        if (obj.cls->table.isEmpty())
            fail(StandinErrors::General,
                 QStringLiteral("Klasse speichert keine Objekte: ") + obj.cls->name);
        // A save that fails is undone with its unit of work: the object
        // stays as it was, new and with what was set, for another try.
        StoredObject before = obj;
        try {
            if (!obj.id.isEmpty())
                takeStoredRow(job, obj);
            PrepareSave(job, obj);
            if (obj.cls->beforeWireSave)
                obj.cls->beforeWireSave(engine, obj);
            engine.saveObject(obj);
        } catch (...) {
            obj = std::move(before);
            throw;
        }
        obj.changed.clear();
        return {QStringLiteral("1")};
    }
    if (method == u"sys_ID")
        return {obj.id};
    auto it = obj.cls->methods.constFind(method);
    if (it == obj.cls->methods.constEnd())
        fail(StandinErrors::MethodMissing,
             QStringLiteral("Methode existiert nicht: ") + obj.cls->name + u'.' + method);
    CallContext ctx{engine, job};
    const QString result = (*it)(ctx, obj, args);
    return methodReply(result, args);
}

QStringList classMethod(Job& job, const Wire::Request& r) {
    needArgs(r, 2);
    const ClassDef& cls = classOf(job.engine(), r.args[0]);
    const QString& method = r.args[1];
    auto it = cls.classMethods.constFind(method);
    if (it == cls.classMethods.constEnd())
        fail(StandinErrors::MethodMissing,
             QStringLiteral("Klassenmethode existiert nicht: ") + cls.name + u'.' + method);
    QStringList args = r.args.mid(2);
    CallContext ctx{job.engine(), job};
    const QString result = (*it)(ctx, args);
    return methodReply(result, args);
}

void requireProperty(const StoredObject& obj, const QString& property) {
    if (!obj.cls->properties.contains(property))
        fail(StandinErrors::PropertyMissing,
             QStringLiteral("Eigenschaft existiert nicht: ") + obj.cls->name + u'.' + property);
}

// OPEN(class, id): the object; another company's object is answered as
// one that is not there.
QStringList openObject(Job& job, const Wire::Request& r) {
    needArgs(r, 2);
    const ClassDef& cls = classOf(job.engine(), r.args[0]);
    if (IsUserClass(cls))
        return {job.addObject(OpenUserRecord(job, cls, r.args[1]))};
    StoredObject obj;
    if (!job.engine().loadObject(cls, r.args[1], &obj) || !Visible(job, obj))
        ObjectNotFound(cls.name, r.args[1]);
    return {job.addObject(std::move(obj))};
}

// QUERY(class, query, batch size, arguments...): the result set's ref ("0"
// when the first batch holds every row), its columns and whether more rows
// follow; the first batch goes into the reply.
QStringList runQuery(Job& job, const Wire::Request& r, Wire::Reply& reply) {
    needArgs(r, 3);
    StandinEngine& engine = job.engine();
    const ClassDef& cls = classOf(engine, r.args[0]);
    auto it = cls.queries.constFind(r.args[1]);
    if (it == cls.queries.constEnd())
        fail(StandinErrors::QueryMissing,
             QStringLiteral("Abfrage existiert nicht: ") + cls.name + u':' + r.args[1]);
    CallContext ctx{engine, job};
    std::unique_ptr<QueryCursor> cursor = (*it)(ctx, r.args.mid(3));
    QueryCursor& c = *cursor;
    QStringList values{QString(), QString::number(c.columns()), QString()};
    const bool more = fillBatch(c, batchSize(r.args[2]), reply);
    values[2] = more ? QStringLiteral("1") : QStringLiteral("0");
    if (more)
        values[0] = job.addCursor(std::move(cursor));
    else
        values[0] = QStringLiteral("0");
    return values;
}

// FETCH(result set, batch size): the next batch and whether more follow; a
// result set read to its end is closed.
QStringList fetchRows(Job& job, const Wire::Request& r, Wire::Reply& reply) {
    needArgs(r, 1);
    if (r.args[0] == u"0")
        return {QStringLiteral("0")};
    QueryCursor& c = job.cursor(r.args[0]);
    QStringList values{QString()};
    const bool more = fillBatch(c, batchSize(r.args.value(1)), reply);
    values[0] = more ? QStringLiteral("1") : QStringLiteral("0");
    if (!more)
        job.dropCursor(r.args[0]);
    return values;
}

QStringList handle(Job& job, const Wire::Request& r, Wire::Reply& reply) {
    StandinEngine& engine = job.engine();
    switch (r.op) {
    case Op::Hello:
        return Hello(job, r);
    case Op::New: {
        needArgs(r, 1);
        StoredObject obj;
        obj.cls = &classOf(engine, r.args[0]);
        return {job.addObject(std::move(obj))};
    }
    case Op::Open:
        return openObject(job, r);
    case Op::Method:
        return objectMethod(job, r);
    case Op::ClassMethod:
        return classMethod(job, r);
    case Op::Get: {
        needArgs(r, 2);
        StoredObject& obj = job.object(r.args[0]);
        requireProperty(obj, r.args[1]);
        return {VisibleValue(job, obj, r.args[1])};
    }
    case Op::Set: {
        needArgs(r, 3);
        StoredObject& obj = job.object(r.args[0]);
        requireProperty(obj, r.args[1]);
        obj.values.insert(r.args[1], r.args[2]);
        obj.changed.insert(r.args[1]);
        return {};
    }
    case Op::Query:
        return runQuery(job, r, reply);
    case Op::Fetch:
        return fetchRows(job, r, reply);
    case Op::QueryClose:
        needArgs(r, 1);
        job.dropCursor(r.args[0]);
        return {};
    case Op::Ping:
        return r.args;
    case Op::Release:
        needArgs(r, 1);
        job.dropObject(r.args[0]);
        return {};
    }
    fail(StandinErrors::BadRequest, QStringLiteral("Unbekannte Anfrage"));
}

// M commands keep what they did before an error, as M does; every other
// request takes effect whole or not at all.
// Reading a batch of a result set, closing one and a PING change nothing and
// need no savepoint; neither do class methods that only read.
bool atomic(Job& job, const Wire::Request& r) {
    switch (r.op) {
    case Op::Method:
        return r.args.value(1) != erp::Windows::kXecute.view();
    case Op::Fetch:
    case Op::QueryClose:
    case Op::Ping:
        return false;
    case Op::ClassMethod:
        if (const ClassDef* cls = job.engine().findClass(r.args.value(0)))
            return !cls->readOnlyClassMethods.contains(r.args.value(1));
        return true;
    default:
        return true;
    }
}

Wire::Reply dispatch(Job& job, const Wire::Request& request) {
    Wire::Reply reply;
    reply.id = request.id;
    if (!request.chained)
        job.chainBroken = false;
    if (request.chained && job.chainBroken) {
        reply.status = Wire::Status::Error;
        reply.errorNumber = Wire::kSkippedError;
        reply.errorText = QStringLiteral("Übersprungen nach einem Fehler");
        return reply;
    }
    try {
        CheckAccess(job, request);
        std::optional<StandinTransaction> unit;
        if (atomic(job, request))
            unit.emplace(job.engine());
        reply.values = handle(job, request, reply);
        if (unit)
            unit->commit();
    } catch (const ServerError& e) {
        reply.encoded.clear();
        reply.encodedCount = 0;
        reply.status = Wire::Status::Error;
        reply.errorNumber = e.number();
        reply.errorText = e.description();
    } catch (const MError& e) {
        reply.encoded.clear();
        reply.encodedCount = 0;
        reply.status = Wire::Status::Error;
        reply.errorNumber = StandinErrors::MError;
        reply.errorText = e.description();
    } catch (const std::exception& e) {
        reply.encoded.clear();
        reply.encodedCount = 0;
        reply.status = Wire::Status::Error;
        reply.errorNumber = StandinErrors::General;
        reply.errorText = QString::fromUtf8(e.what());
    }
    if (reply.status == Wire::Status::Error && request.chained)
        job.chainBroken = true;
    return reply;
}

} // namespace

Wire::Reply Dispatch(Job& job, const Wire::Request& request) {
    Wire::Reply reply = dispatch(job, request);
    // The texts encoded for the wire join the others.
    if (reply.encodedCount > 0) {
        Wire::appendDecoded(reply.encoded, reply.values);
        reply.encoded.clear();
        reply.encodedCount = 0;
    }
    return reply;
}

QByteArray DispatchFrame(Job& job, const Wire::Request& request) {
    return Wire::encodeReply(dispatch(job, request));
}

SlicedRequest::SlicedRequest(Job& job, Wire::Request request)
    : m_job(job), m_request(std::move(request)),
      m_fiber([this] { m_answer = DispatchFrame(m_job, m_request); },
              [this] { return m_job.engine().transactionDepth() == m_depth; }) {}

bool SlicedRequest::Needed(const Wire::Request& request) {
    return request.op == Op::Method && request.args.value(1) == erp::Windows::kXecute.view();
}

bool SlicedRequest::run(int sliceMs) {
    m_depth = m_job.engine().transactionDepth();
    return m_fiber.run(sliceMs);
}
