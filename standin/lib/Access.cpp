#include "Access.h"

#include "Dispatcher.h"
#include "Job.h"
#include "LoginLocks.h"
#include "LoginThrottle.h"
#include "Passwords.h"
#include "Rights.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"
#include "common/erp/Contract.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace {

using Wire::Op;

const QString kUsers = erp::ParPersEdv::kClass;
const QString kWindows = erp::Windows::kClass;
const QString kServerList = erp::ServerList::kClass;
const QString kMenu = erp::Menue::kClass;
const QString kPassword = erp::ParPersEdv::kPasswort;
const QString kSessions = QStringLiteral("%XTT");
const QString kLocations = QStringLiteral("STAND");

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

// A password checked against a stored hash: by the verdicts made for the
// job's HELLO beforehand, else here.
bool verify(const Job& job, const QString& stored, const QString& password) {
    if (job.passwordVerdicts && job.passwordVerdicts->password == password) {
        auto it = job.passwordVerdicts->matches.constFind(stored);
        if (it != job.passwordVerdicts->matches.constEnd())
            return *it;
    }
    return Passwords::Verify(stored, password);
}

// What a check against nobody costs, unless it was paid beforehand.
void verifyNobody(const Job& job, const QString& password) {
    if (!job.passwordVerdicts || job.passwordVerdicts->password != password)
        Passwords::VerifyNobody(password);
}

// Checks a password against a user record's hash; a record whose hash was
// made with another cost gets a new one.
bool passwordMatches(Job& job, StoredObject& record, const QString& password) {
    StandinEngine& engine = job.engine();
    const QString stored = record.values.value(kPassword);
    if (!Passwords::IsHash(stored)) {
        // A user without a password is checked as long as any other.
        verifyNobody(job, password);
        return false;
    }
    if (!verify(job, stored, password))
        return false;
    if (Passwords::NeedsRehash(stored)) {
        // Made by the checker's thread with the verdict, when it was there.
        const auto& v = job.passwordVerdicts;
        const QString made = v && v->password == password ? v->rehashed.value(stored) : QString();
        record.values.insert(kPassword, made.isEmpty() ? Passwords::Hash(password) : made);
        engine.saveObject(record);
    }
    return true;
}

// The ids of the user records a HELLO's password is checked against: the
// named user's, or every user's of the company for the look-up by password
// alone.
QStringList candidates(StandinEngine& engine, const QString& company, const QString& user) {
    if (!user.isEmpty())
        return {company + QStringLiteral("||") + user};
    QSqlQuery& q = engine.exec(QStringLiteral("SELECT id FROM vt_parpersedv WHERE FIRMA=? "
                                              "ORDER BY CODE"),
                               {company});
    QStringList ids;
    while (StandinStore::nextRow(q))
        ids << q.value(0).toString();
    q.finish();
    return ids;
}

Identified identify(Job& job, const QString& company, const QString& user,
                    const QString& password) {
    StandinEngine& engine = job.engine();
    const ClassDef* users = engine.findClass(kUsers);
    if (!users || users->table.isEmpty() || company.isEmpty()) {
        verifyNobody(job, password);
        return {};
    }
    if (user.isEmpty()) {
        // Without a user code the password names the user: the one user of
        // the company with that password, none when several share it. Each
        // of the company's users is checked.
        const QStringList ids = candidates(engine, company, user);
        if (ids.isEmpty())
            verifyNobody(job, password);
        QList<Identified> matches;
        for (const QString& id : ids) {
            StoredObject record;
            if (engine.loadObject(*users, id, &record) && passwordMatches(job, record, password))
                matches.append({record.values.value(QStringLiteral("CODE")),
                                record.values.value(QStringLiteral("AKTIV")) == u"J"});
        }
        return matches.size() == 1 ? matches.first() : Identified();
    }
    StoredObject record;
    if (!engine.loadObject(*users, company + QStringLiteral("||") + user, &record)) {
        verifyNobody(job, password);
        return {};
    }
    if (!passwordMatches(job, record, password))
        return {};
    return {user, record.values.value(QStringLiteral("AKTIV")) == u"J"};
}

// The name under which failed logins of a user code are counted.
QString throttleKey(const QString& company, const QString& user) {
    return company + QStringLiteral("||") + user.left(64);
}

// The code a HELLO's failures count and lock under: its user code, or "*"
// for the look-up by password alone.
QString lockCode(const QString& code) {
    return code.isEmpty() ? LoginLocks::kLookup : code.left(64);
}

// Checks a HELLO's password and counts what fails (LoginThrottle,
// LoginLocks): the user it names, none when it fails.
Identified checkPassword(Job& job, const QString& company, const QString& code,
                         const QString& password) {
    StandinEngine& engine = job.engine();
    LoginThrottle& throttle = engine.loginThrottle();
    job.heldForAddress = false;
    if (job.lookupReserved) {
        job.lookupReserved = false;
        throttle.lookupDone(job.peer);
    }
    const QString counted = lockCode(code);
    Identified user;
    // A look-up that found no turn at its address is refused unchecked; it
    // counts as nothing.
    if (job.lookupRefused) {
        job.lookupRefused = false;
        if (code.isEmpty()) {
            // Its connection waits as after a failure.
            ++job.loginFailures;
            job.loginReadyAt =
                LoginThrottle::Now() + LoginThrottle::Wait(job.loginFailures, throttle.delayMs());
            return user;
        }
    }
    // Attempts while locked are not counted: they cannot make the lock
    // last longer.
    const bool locked = LoginLocks::Locked(engine, company, counted, job.peer);
    if (locked)
        verifyNobody(job, password);
    else
        user = identify(job, company, code, password);
    // The look-up cannot open a code that is locked at the address.
    if (!user.code.isEmpty() && code.isEmpty() &&
        LoginLocks::Locked(engine, company, user.code, job.peer))
        user = {};
    if (user.code.isEmpty()) {
        if (!locked && throttle.failed(throttleKey(company, counted), job.peer))
            LoginLocks::Lock(engine, company, counted, job.peer, throttle.lockMs());
        if (code.isEmpty())
            throttle.companyFailed(company);
        throttle.addressFailed(job.peer);
        ++job.loginFailures;
        job.loginReadyAt =
            LoginThrottle::Now() + LoginThrottle::Wait(job.loginFailures, throttle.delayMs());
        return user;
    }
    // A look-up's success may be anyone's at the address: it clears the
    // count of no code.
    if (!code.isEmpty())
        throttle.succeeded(throttleKey(company, code), job.peer);
    job.loginFailures = 0;
    job.loginReadyAt = 0;
    return user;
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
        if (cls == kUsers && (name == kPassword || own))
            return;
        break;
    case Op::Method:
        if (name == u"sys_close" || name == u"sys_ID" ||
            (cls == kWindows && name == erp::Windows::kXecute.view() &&
             GuestMayRun(r.args.value(2))) ||
            (own && name == erp::ParPersEdv::kPNAMELogicalToODBC.view()))
            return;
        break;
    default:
        break;
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
    // the protocol, or asks for another server, is not served further. Only
    // a failure of the database leaves it open.
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
        job.takeNumber();
        const QString company = r.args.value(3);
        const QString code = r.args.value(4);
        const QString password = r.args.value(5);
        Identified user;
        // Without a password there is nothing to check (the login window's
        // connection before the user typed one) and nothing to count.
        if (!password.isEmpty())
            user = checkPassword(job, company, code, password);
        job.passwordVerdicts.reset();
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
    } catch (const ServerError& e) {
        job.dropHandles();
        // A database that fails is no refusal: the job is not logged in,
        // and the connection stays for another HELLO.
        if (e.number() == StandinErrors::Database)
            job.logIn(Access::None, QString(), QString(), QString());
        else
            job.close();
        throw;
    } catch (...) {
        job.dropHandles();
        job.close();
        throw;
    }
}

QStringList PasswordsToCheck(Job& job, const Wire::Request& r) {
    StandinEngine& engine = job.engine();
    const QString company = r.args.value(3);
    const QString code = r.args.value(4);
    const ClassDef* users = engine.findClass(kUsers);
    if (!users || users->table.isEmpty() || company.isEmpty() ||
        LoginLocks::Locked(engine, company, lockCode(code), job.peer))
        return {};
    QStringList stored;
    for (const QString& id : candidates(engine, company, code)) {
        StoredObject record;
        if (engine.loadObject(*users, id, &record)) {
            const QString hash = record.values.value(kPassword);
            if (Passwords::IsHash(hash))
                stored << hash;
        }
    }
    return stored;
}

qint64 LoginReadyAt(Job& job, const Wire::Request& r) {
    if (r.op != Op::Hello || r.args.value(5).isEmpty() || job.closed())
        return 0;
    LoginThrottle& throttle = job.engine().loginThrottle();
    qint64 readyAt = job.loginReadyAt;
    if (r.args.value(4).isEmpty()) {
        // Each look-up by password alone takes its own turn at its
        // address, however many connections it has.
        if (!job.lookupReserved && !job.lookupRefused) {
            job.lookupAt = throttle.reserveLookup(job.peer, r.args.value(3));
            job.lookupReserved = job.lookupAt >= 0;
            job.lookupRefused = job.lookupAt < 0;
        }
        return job.lookupRefused ? readyAt : qMax(readyAt, job.lookupAt);
    }
    readyAt =
        qMax(readyAt, throttle.readyAt(throttleKey(r.args.value(3), r.args.value(4)), job.peer));
    // The wait of the address holds a HELLO once: failures of others at the
    // address meanwhile do not hold it again.
    if (!job.heldForAddress) {
        const qint64 address = throttle.addressReadyAt(job.peer);
        if (address > readyAt && address > LoginThrottle::Now()) {
            job.heldForAddress = true;
            readyAt = address;
        }
    }
    return readyAt;
}

void CheckAccess(Job& job, const Wire::Request& r) {
    if (r.op == Op::Hello && !job.closed())
        return;
    switch (job.access()) {
    case Access::User:
        CheckRights(job, r);
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
        if (cls == kWindows)
            return;
        refuse(QStringLiteral("NEW ") + cls);
    case Op::Open:
        if (cls == kUsers)
            return;
        refuse(QStringLiteral("OPEN ") + cls);
    case Op::ClassMethod:
        // The locations of any company: the login window shows them before
        // anyone is logged in.
        if (cls == kMenu && (name == erp::Menue::kGetStandorte.view() ||
                             name == erp::Menue::kGetDeviceStandort.view()))
            return;
        refuse(QStringLiteral("CLASSMETHOD ") + cls + u'.' + name);
    case Op::Query:
        if ((cls == kServerList && name == erp::ServerList::kListe.name.view()) ||
            (cls == kUsers && name == erp::ParPersEdv::kUserViaPasswort.name.view()))
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

bool GuestMayRun(const QString& line) {
    // What the program runs before it knows who logs in: the session
    // values, the session entry and the fiscal year. A quoted value is at
    // most 64 characters (doubled quotes inside).
    static const QRegularExpression allowed[] = {
        QRegularExpression(
            QStringLiteral(R"(^S FIRMA=[0-9]{1,9},FIL=[0-9]{1,9},PERSONAL="(?:[^"]|""){0,64}"\z)")),
        QRegularExpression(QStringLiteral(R"(^S \^STAND\(\$J\)="(?:[^"]|""){0,64}"\z)")),
        QRegularExpression(QStringLiteral(R"(^D \^%XTT\z)")),
        QRegularExpression(QStringLiteral(R"(^S P0=\$P\(\^FA\(0\),"`",2\) W P0\z)")),
    };
    if (line.size() > 300)
        return false;
    for (const QRegularExpression& re : allowed)
        if (re.match(line).hasMatch())
            return true;
    return false;
}

bool IsUserClass(const ClassDef& cls) {
    return cls.name == kUsers;
}

StoredObject OpenUserRecord(Job& job, const ClassDef& users, const QString& id) {
    StoredObject record;
    if (!job.userId().isEmpty() && id == job.userId()) {
        if (!job.engine().loadObject(users, id, &record))
            ObjectNotFound(users.name, id);
        return record;
    }
    record.cls = &users;
    record.id = id;
    return record;
}

QString VisibleValue(const Job& job, const StoredObject& object, const QString& property) {
    if (object.cls->name != kUsers || property != kPassword)
        return object.values.value(property);
    // The record keeps a hash; its own user sees the password it logged in
    // with.
    if (isOwnRecord(job, object))
        return job.password();
    // Longer than the job's password, so never equal to it.
    return QString(job.password().size() + 1, u'*');
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
    return name == kLocations && subscripts == QStringList{m_job.jobNumber()};
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
    if (!label.isEmpty() || routine != kSessions)
        throw MError(QStringLiteral("<PROTECT>"),
                     label.isEmpty() ? u'^' + routine : label + u'^' + routine);
    return m_job.callRoutine(label, routine, args, output);
}

QString UserMEnvironment::jobNumber() const {
    return m_job.jobNumber();
}

std::optional<QString> UserMEnvironment::getLocal(const QString& name,
                                                  const QStringList& subscripts) {
    return m_job.getLocal(name, subscripts);
}

void UserMEnvironment::setLocal(const QString& name, const QStringList& subscripts,
                                const QString& value) {
    m_job.setLocal(name, subscripts, value);
}

int UserMEnvironment::dataLocal(const QString& name, const QStringList& subscripts) {
    return m_job.dataLocal(name, subscripts);
}

void UserMEnvironment::appendLocal(const QString& name, const QStringList& subscripts,
                                   const QString& tail) {
    m_job.appendLocal(name, subscripts, tail);
}

bool UserMEnvironment::visible(const QString& name, const QStringList& subscripts) {
    if ((name != kLocations && name != kSessions) || subscripts.isEmpty() ||
        subscripts.first() == m_job.jobNumber())
        return true;
    // Another job's: seen when its session entry names the login's company.
    const QString entry = m_job.getGlobal(kSessions, {subscripts.first()}).value_or(QString());
    return !entry.isEmpty() && entry.section(u'|', 0, 0) == m_job.company();
}

QString UserMEnvironment::stored(const QString& name) const {
    // The ERP's and the session globals are the server's; every other
    // global is kept per company, under a name no M line can write.
    if (name == u"FA" || name == kLocations || name == kSessions)
        return name;
    return m_job.company() + QChar(0x1F) + name;
}

std::optional<QString> UserMEnvironment::getGlobal(const QString& name,
                                                   const QStringList& subscripts) {
    if (!visible(name, subscripts))
        return std::nullopt;
    return m_job.getGlobal(stored(name), subscripts);
}

int UserMEnvironment::dataGlobal(const QString& name, const QStringList& subscripts) {
    if ((name == kLocations || name == kSessions) && subscripts.isEmpty()) {
        // The top node has descendants when a job's entry that the job
        // sees is there.
        int data = m_job.getGlobal(name, {}) ? 1 : 0;
        QSqlQuery& q = m_job.engine().exec(
            QStringLiteral("SELECT DISTINCT substr(subs, 1, instr(subs||char(31), char(31))-1) "
                           "FROM globals WHERE name=? AND subs<>''"),
            {name});
        QStringList jobs;
        while (StandinStore::nextRow(q))
            jobs << q.value(0).toString();
        q.finish();
        for (const QString& j : std::as_const(jobs))
            if (visible(name, {TextFromStored(j)}))
                return data + 10;
        return data;
    }
    if (!visible(name, subscripts))
        return 0;
    return m_job.dataGlobal(stored(name), subscripts);
}

void UserMEnvironment::setGlobal(const QString& name, const QStringList& subscripts,
                                 const QString& value) {
    // The fiscal year is the ERP's; the session entries are written by
    // ^%XTT; a location is its own job's.
    if (name == u"FA" || name == kSessions ||
        (name == kLocations && subscripts != QStringList{m_job.jobNumber()}))
        protect(name, subscripts);
    m_job.setGlobal(stored(name), subscripts, value);
}

bool UserMEnvironment::callRoutine(const QString& label, const QString& routine,
                                   const QStringList& args, QString& output) {
    return m_job.callRoutine(label, routine, args, output);
}
