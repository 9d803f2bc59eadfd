#pragma once

#include "MInterpreter.h"
#include "Passwords.h"
#include "StandinEngine.h"

#include <QHash>
#include <QMap>
#include <memory>

// What a connection may do, decided by its HELLO (Access.h): nothing but
// HELLO before it; as a guest (credentials that match no user) and as an
// identified user who is not active only what the program's login needs;
// everything as an active user. Closed after a refused HELLO or a request
// before HELLO: nothing more is served.
enum class Access { None, Guest, Inactive, User, Closed };

// One client connection's job: its number ($J), its local variables, and the
// objects and result sets it holds open.
class Job : public MEnvironment {
public:
    // A job takes its number at once, unless it is a connection's: that one
    // takes it with its first HELLO (takeNumber), so that accepting a
    // connection never writes to the database.
    explicit Job(StandinEngine& engine, bool numbered = true);
    // Removes what the job left in the database (StandinStore::endJob).
    ~Job() override;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // 0 until the job has its number.
    int number() const { return m_number; }
    // Takes a job number when the job has none yet. Throws ServerError when
    // the database cannot reserve one.
    void takeNumber();
    StandinEngine& engine() { return m_engine; }

    QString jobNumber() const override { return QString::number(m_number); }
    std::optional<QString> getLocal(const QString& name, const QStringList& subscripts) override;
    void setLocal(const QString& name, const QStringList& subscripts,
                  const QString& value) override;
    std::optional<QString> getGlobal(const QString& name, const QStringList& subscripts) override;
    void setGlobal(const QString& name, const QStringList& subscripts,
                   const QString& value) override;
    int dataLocal(const QString& name, const QStringList& subscripts) override;
    int dataGlobal(const QString& name, const QStringList& subscripts) override;
    void appendLocal(const QString& name, const QStringList& subscripts,
                     const QString& tail) override;
    bool callRoutine(const QString& label, const QString& routine, const QStringList& args,
                     QString& output) override;

    Access access() const { return m_access; }
    // The credentials of the latest HELLO and, when they match a user, that
    // user's code and object id (company "||" code).
    const QString& company() const { return m_company; }
    const QString& password() const { return m_password; }
    const QString& userCode() const { return m_userCode; }
    const QString& userId() const { return m_userId; }
    // Takes the outcome of a HELLO; userCode empty for a guest.
    void logIn(Access access, const QString& company, const QString& password,
               const QString& userCode);
    // After a refused HELLO or a request before HELLO: nothing more is served.
    void close() { m_access = Access::Closed; }
    bool closed() const { return m_access == Access::Closed; }
    // What M commands of this job run on: the guarded view of it for its
    // access (UserMEnvironment for an active user, else GuestMEnvironment).
    MEnvironment& mEnvironment();
    // Forgets the open objects, result sets and class values (a new HELLO
    // starts afresh); the job number and the locals stay.
    void dropHandles();

    // Local value or "" (for the classes that read session values).
    QString local(const QString& name) { return getLocal(name, {}).value_or(QString()); }

    QString addObject(StoredObject obj);
    StoredObject& object(const QString& ref);
    // nullptr when the ref is unknown.
    const StoredObject* findObject(const QString& ref) const;
    void dropObject(const QString& ref);

    QString addCursor(std::unique_ptr<QueryCursor> cursor);
    QueryCursor& cursor(const QString& ref);
    void dropCursor(const QString& ref);

    static constexpr int kMaxOpenObjects = 10000;

    // Values a class keeps for the job between calls (for example the
    // company and supplier of the download being filled).
    QHash<QString, QStringList>& cache() { return m_cache; }

    // Set when a chained request failed; cleared by a request that is not
    // chained.
    bool chainBroken = false;

    // Failed logins of this connection in a row, and when its next HELLO
    // with a password may be checked (a time of LoginThrottle::Now()).
    int loginFailures = 0;
    qint64 loginReadyAt = 0;
    // The address the connection comes from (an IPv6 address by its /64
    // network; "" in process): failed logins are also counted per address.
    // Set while its HELLO waits for the address.
    QString peer;
    bool heldForAddress = false;
    // The turn a look-up by password alone has taken at its address
    // (LoginThrottle::reserveLookup), until it is checked.
    bool lookupReserved = false;
    qint64 lookupAt = 0;
    // Whether the next look-up found no turn: it is refused unchecked.
    bool lookupRefused = false;
    // The checks of the next HELLO's password, made on the server's checker
    // thread before the HELLO is answered; none in process.
    std::optional<PasswordVerdicts> passwordVerdicts;

private:
    // Counts characters the locals gain; "<STORE>" beyond the job's limit.
    void chargeLocals(qint64 characters, const QString& name);

    StandinEngine& m_engine;
    int m_number;
    Access m_access = Access::None;
    QString m_company;
    QString m_password;
    QString m_userCode;
    QString m_userId;
    std::unique_ptr<MEnvironment> m_guestView;
    std::unique_ptr<MEnvironment> m_userView;
    // name + 0x1E + subscript key; ordered, so that a node's descendants
    // follow it.
    QMap<QString, QString> m_locals;
    qint64 m_localChars = 0;
    QHash<QString, StoredObject> m_objects;
    QHash<QString, std::shared_ptr<QueryCursor>> m_cursors;
    QHash<QString, QStringList> m_cache;
    int m_nextRef = 1;
};
