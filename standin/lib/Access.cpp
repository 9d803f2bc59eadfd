#include "Access.h"

#include "Dispatcher.h"
#include "Job.h"
#include "common/ServerError.h"

#include <QRegularExpression>

namespace {

using Wire::Op;

const QString kUsers = QStringLiteral("VT.ParPersEdv");
const QString kWindows = QStringLiteral("VT.Windows");
const QString kServerList = QStringLiteral("GUIVELTAR.Server");
const QString kMenu = QStringLiteral("GUIVELTAR.Menue");
const QString kPassword = QStringLiteral("Passwort");

[[noreturn]] void refuse(const QString& what) {
    throw ServerError(StandinErrors::NotPermitted,
                      QStringLiteral("Keine Berechtigung ohne gültige Anmeldung: ") + what);
}

// The user a HELLO's credentials name: the code (as the ERP keeps it) and
// whether the user is active; an empty code when they match no user.
struct Identified {
    QString code;
    bool active = false;
};

Identified identify(StandinEngine& engine, const QString& company, const QString& user,
                    const QString& password) {
    const ClassDef* users = engine.findClass(kUsers);
    if (!users || users->table.isEmpty() || company.isEmpty())
        return {};
    QString code = user;
    if (code.isEmpty()) {
        // Without a user code the password names the user: the one user of
        // the company with that password, none when several share it.
        if (password.isEmpty())
            return {};
        QSqlQuery& q = engine.exec(QStringLiteral("SELECT \"CODE\" FROM \"") + users->table +
                                       QStringLiteral("\" WHERE \"FIRMA\"=? AND \"Passwort\"=? "
                                                      "ORDER BY \"CODE\" LIMIT 2"),
                                   {company, password});
        QStringList codes;
        while (StandinEngine::nextRow(q))
            codes << q.value(0).toString();
        q.finish();
        if (codes.size() != 1)
            return {};
        code = codes.first();
    }
    StoredObject record;
    if (!engine.loadObject(*users, company + QStringLiteral("||") + code, &record) ||
        record.values.value(kPassword) != password)
        return {};
    return {code, record.values.value(QStringLiteral("AKTIV")) == u"J"};
}

bool isOwnRecord(const Job& job, const StoredObject& object) {
    return object.cls->name == kUsers && !job.userId().isEmpty() && object.id == job.userId();
}

// What a guest or an inactive user may do with an object it holds.
void checkObjectAccess(const Job& job, const Wire::Request& r) {
    const StoredObject* object = job.findObject(r.args.value(0));
    // An unknown ref is answered by the dispatcher as such.
    if (!object)
        return;
    const QString& cls = object->cls->name;
    const QString& name = r.args.value(1);
    const bool own = isOwnRecord(job, *object);
    switch (r.op) {
    case Op::Get:
        if (cls == kServerList || (cls == kUsers && (name == kPassword || own)))
            return;
        break;
    case Op::Set:
        if (cls == kServerList)
            return;
        break;
    case Op::Method:
        if (name == u"sys_close" || name == u"sys_ID" || (cls == kWindows && name == u"Xecute") ||
            (cls == kServerList && name == u"sys_save") || (own && name == u"PNAMELogicalToODBC"))
            return;
        break;
    default:
        return;
    }
    refuse(Wire::opName(r.op) + u' ' + cls + u'.' + name);
}

QString subscriptText(const QString& s) {
    static const QRegularExpression number(QStringLiteral("^-?(0|[1-9][0-9]*)$"));
    if (number.match(s).hasMatch())
        return s;
    return u'"' + QString(s).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

[[noreturn]] void protect(const QString& name, const QStringList& subscripts) {
    QString ref = u'^' + name;
    if (!subscripts.isEmpty()) {
        QStringList parts;
        for (const QString& s : subscripts)
            parts << subscriptText(s);
        ref += u'(' + parts.join(u',') + u')';
    }
    throw MError(QStringLiteral("<PROTECT>"), ref);
}

} // namespace

QStringList Hello(Job& job, const Wire::Request& r) {
    StandinEngine& engine = job.engine();
    // Whatever fails here ends the connection: a client that does not speak
    // the protocol, or asks for another server, is not served further.
    try {
        if (r.args.size() < 2)
            throw ServerError(StandinErrors::BadArguments,
                              QStringLiteral("Zu wenige Argumente für ") + Wire::opName(r.op));
        if (r.args[0] != Wire::kMagic)
            throw ServerError(StandinErrors::BadRequest,
                              QStringLiteral("Unbekanntes Protokoll ") + r.args[0]);
        if (r.args[1].compare(engine.nameSpace(), Qt::CaseInsensitive) != 0)
            throw ServerError(StandinErrors::BadRequest,
                              QStringLiteral("<NAMESPACE> ") + r.args[1]);
        const QString company = r.args.value(3);
        const QString password = r.args.value(5);
        const Identified user = identify(engine, company, r.args.value(4), password);
        // Nothing opened under the credentials before stays reachable.
        job.dropHandles();
        const Access access = user.code.isEmpty() ? Access::Guest
                              : user.active       ? Access::User
                                                  : Access::Inactive;
        job.logIn(access, company, password, user.code);
        const QString name = access == Access::User       ? Wire::kAccessUser
                             : access == Access::Inactive ? Wire::kAccessInactive
                                                          : Wire::kAccessGuest;
        return {QString::fromLatin1(kStandinServerName), job.jobNumber(), name};
    } catch (...) {
        job.dropHandles();
        job.close();
        throw;
    }
}

void CheckAccess(Job& job, const Wire::Request& r) {
    if (r.op == Op::Hello && !job.closed())
        return;
    switch (job.access()) {
    case Access::User:
        return;
    case Access::None:
        job.close();
        throw ServerError(StandinErrors::NotLoggedIn,
                          QStringLiteral("Nicht angemeldet: die Verbindung beginnt mit HELLO; "
                                         "Verbindung wird getrennt"));
    case Access::Closed:
        throw ServerError(StandinErrors::NotLoggedIn,
                          QStringLiteral("Verbindung ohne gültige Anmeldung getrennt"));
    case Access::Guest:
    case Access::Inactive:
        break;
    }
    const QString cls = r.args.value(0);
    const QString name = r.args.value(1);
    switch (r.op) {
    case Op::Hello:
    case Op::Ping:
    case Op::Release:
    case Op::Fetch:
    case Op::QueryClose:
        return;
    case Op::New:
        if (cls == kWindows || cls == kServerList)
            return;
        refuse(QStringLiteral("NEW ") + cls);
    case Op::Open:
        if (cls == kUsers || cls == kServerList)
            return;
        refuse(QStringLiteral("OPEN ") + cls);
    case Op::ClassMethod:
        if (cls == kMenu && (name == u"getStandorte" || name == u"getDeviceStandort"))
            return;
        refuse(QStringLiteral("CLASSMETHOD ") + cls + u'.' + name);
    case Op::Query:
        if ((cls == kServerList && name == u"Liste") ||
            (cls == kUsers && name == u"UserViaPasswort"))
            return;
        refuse(QStringLiteral("QUERY ") + cls + u':' + name);
    case Op::Get:
    case Op::Set:
    case Op::Method:
        checkObjectAccess(job, r);
        return;
    }
    refuse(Wire::opName(r.op));
}

QString VisibleValue(const Job& job, const StoredObject& object, const QString& property) {
    const QString value = object.values.value(property);
    if (object.cls->name != kUsers || property != kPassword || isOwnRecord(job, object))
        return value;
    // Longer than the job's password, so never equal to it.
    return QString(job.password().size() + 1, u'*');
}

bool IsPasswordLookup(const ClassDef& cls, const QString& query) {
    return cls.name == kUsers && query == u"UserViaPasswort";
}

std::unique_ptr<QueryCursor> OwnUserViaPassword(const Job& job, const QStringList& args) {
    QList<QStringList> rows;
    if (!job.userCode().isEmpty() && args.value(0) == job.password() &&
        args.value(1) == job.company())
        rows << QStringList{job.userCode()};
    return std::make_unique<ListCursor>(1, rows);
}

QString GuestMEnvironment::jobNumber() const {
    return m_job.jobNumber();
}

std::optional<QString> GuestMEnvironment::getLocal(const QString& name,
                                                   const QStringList& subscripts) {
    return m_job.getLocal(name, subscripts);
}

void GuestMEnvironment::setLocal(const QString& name, const QStringList& subscripts,
                                 const QString& value) {
    m_job.setLocal(name, subscripts, value);
}

int GuestMEnvironment::dataLocal(const QString& name, const QStringList& subscripts) {
    return m_job.dataLocal(name, subscripts);
}

void GuestMEnvironment::appendLocal(const QString& name, const QStringList& subscripts,
                                    const QString& tail) {
    m_job.appendLocal(name, subscripts, tail);
}

bool GuestMEnvironment::ownLocation(const QString& name, const QStringList& subscripts) const {
    return name == u"STAND" && subscripts == QStringList{m_job.jobNumber()};
}

std::optional<QString> GuestMEnvironment::getGlobal(const QString& name,
                                                    const QStringList& subscripts) {
    if (name != u"FA" && !ownLocation(name, subscripts))
        protect(name, subscripts);
    return m_job.getGlobal(name, subscripts);
}

int GuestMEnvironment::dataGlobal(const QString& name, const QStringList& subscripts) {
    if (name != u"FA" && !ownLocation(name, subscripts))
        protect(name, subscripts);
    return m_job.dataGlobal(name, subscripts);
}

void GuestMEnvironment::setGlobal(const QString& name, const QStringList& subscripts,
                                  const QString& value) {
    if (!ownLocation(name, subscripts))
        protect(name, subscripts);
    m_job.setGlobal(name, subscripts, value);
}

bool GuestMEnvironment::callRoutine(const QString& label, const QString& routine,
                                    const QStringList& args, QString& output) {
    if (!label.isEmpty() || routine != u"%XTT")
        throw MError(QStringLiteral("<PROTECT>"),
                     label.isEmpty() ? u'^' + routine : label + u'^' + routine);
    return m_job.callRoutine(label, routine, args, output);
}
