#include "Job.h"

#include "Access.h"
#include "common/ServerError.h"

namespace {

QString localKey(const QString& name, const QStringList& subscripts) {
    return name + QChar(0x1E) + SubscriptKey(subscripts);
}

} // namespace

Job::Job(StandinEngine& engine, bool numbered)
    : m_engine(engine), m_number(numbered ? engine.newJobNumber() : 0) {}

Job::~Job() {
    if (lookupReserved)
        m_engine.loginThrottle().lookupDone(peer);
    if (m_number != 0)
        m_engine.endJob(m_number);
}

void Job::takeNumber() {
    if (m_number == 0)
        m_number = m_engine.newJobNumber();
}

void Job::logIn(Access access, const QString& company, const QString& password,
                const QString& userCode) {
    m_access = access;
    m_company = company;
    m_password = password;
    m_userCode = userCode;
    m_userId = userCode.isEmpty() ? QString() : company + QStringLiteral("||") + userCode;
}

MEnvironment& Job::mEnvironment() {
    if (m_access == Access::User) {
        if (!m_userView)
            m_userView = std::make_unique<UserMEnvironment>(*this);
        return *m_userView;
    }
    if (!m_guestView)
        m_guestView = std::make_unique<GuestMEnvironment>(*this);
    return *m_guestView;
}

void Job::dropHandles() {
    m_objects.clear();
    m_cursors.clear();
    m_cache.clear();
}

std::optional<QString> Job::getLocal(const QString& name, const QStringList& subscripts) {
    auto it = m_locals.constFind(localKey(name, subscripts));
    if (it == m_locals.constEnd())
        return std::nullopt;
    return *it;
}

void Job::chargeLocals(qint64 characters, const QString& name) {
    if (characters > 0 && m_localChars + characters > m_engine.limits().m.maxLocals)
        throw MError(QStringLiteral("<STORE>"), name);
    m_localChars += characters;
}

void Job::setLocal(const QString& name, const QStringList& subscripts, const QString& value) {
    const QString key = localKey(name, subscripts);
    auto it = m_locals.find(key);
    if (it == m_locals.end()) {
        chargeLocals(key.size() + value.size(), name);
        m_locals.insert(key, value);
        return;
    }
    chargeLocals(value.size() - it->size(), name);
    *it = value;
}

std::optional<QString> Job::getGlobal(const QString& name, const QStringList& subscripts) {
    return m_engine.getGlobal(name, subscripts);
}

void Job::setGlobal(const QString& name, const QStringList& subscripts, const QString& value) {
    m_engine.setGlobal(name, subscripts, value);
}

int Job::dataLocal(const QString& name, const QStringList& subscripts) {
    const QString key = localKey(name, subscripts);
    const bool value = m_locals.contains(key);
    // Keys of descendants start with the node's key and the separator (any
    // longer key of the name for the unsubscripted node).
    const QString prefix = subscripts.isEmpty() ? key : key + QChar(0x1F);
    auto it = subscripts.isEmpty() ? m_locals.upperBound(key) : m_locals.lowerBound(prefix);
    const bool children = it != m_locals.end() && it.key().startsWith(prefix);
    return (children ? 10 : 0) + (value ? 1 : 0);
}

int Job::dataGlobal(const QString& name, const QStringList& subscripts) {
    return m_engine.dataGlobal(name, subscripts);
}

void Job::appendLocal(const QString& name, const QStringList& subscripts, const QString& tail) {
    const QString key = localKey(name, subscripts);
    chargeLocals(tail.size() + (m_locals.contains(key) ? 0 : key.size()), name);
    // Appends where the text is kept: it is not shared, so it grows in place.
    m_locals[key].append(tail);
}

bool Job::callRoutine(const QString& label, const QString& routine, const QStringList& args,
                      QString& output) {
    const RoutineFn* fn = m_engine.findRoutine(label, routine);
    if (!fn)
        return false;
    CallContext ctx{m_engine, *this};
    (*fn)(ctx, args, output);
    return true;
}

QString Job::addObject(StoredObject obj) {
    if (m_objects.size() >= kMaxOpenObjects)
        throw ServerError(StandinErrors::General,
                          QStringLiteral("Zu viele offene Objekte in diesem Job"));
    const QString ref = QString::number(m_nextRef++);
    m_objects.insert(ref, std::move(obj));
    return ref;
}

StoredObject& Job::object(const QString& ref) {
    auto it = m_objects.find(ref);
    if (it == m_objects.end())
        throw ServerError(StandinErrors::BadObjectRef,
                          QStringLiteral("Ungültige Objektreferenz ") + ref);
    return *it;
}

const StoredObject* Job::findObject(const QString& ref) const {
    auto it = m_objects.constFind(ref);
    return it == m_objects.constEnd() ? nullptr : &*it;
}

void Job::dropObject(const QString& ref) {
    m_objects.remove(ref);
}

QString Job::addCursor(std::unique_ptr<QueryCursor> cursor) {
    if (m_cursors.size() >= m_engine.limits().maxResultSets)
        throw ServerError(StandinErrors::General,
                          QStringLiteral("Zu viele offene Ergebnismengen in diesem Job"));
    const QString ref = QString::number(m_nextRef++);
    m_cursors.insert(ref, std::shared_ptr<QueryCursor>(std::move(cursor)));
    return ref;
}

QueryCursor& Job::cursor(const QString& ref) {
    auto it = m_cursors.find(ref);
    if (it == m_cursors.end())
        throw ServerError(StandinErrors::BadResultRef,
                          QStringLiteral("Ungültige Ergebnismenge ") + ref);
    return **it;
}

void Job::dropCursor(const QString& ref) {
    m_cursors.remove(ref);
}
