#pragma once

#include "Fiber.h"
#include "MInterpreter.h"
#include "StandinEngine.h"
#include "common/WireProtocol.h"

#include <QString>
#include <QStringList>
#include <memory>

class Job;

// Who a connection is and what it may do. A connection begins with HELLO;
// its credentials (company, user code, password) make it an active user
// (its company's data and the writes of Rights.h), an identified user who
// is not active, or a guest. The last two get only what the program's login
// reads before it compares the password on the workstation: the session
// values in M, the fiscal year, the locations, the server list, the user
// record they name, and the look-up of their own user code by their own
// password. Everything else is refused with error 5013 (M: "<PROTECT>").
//
// Passwords are checked against their hashes (Passwords.h); a HELLO with a
// password that matches no user counts against its connection and its user
// code (LoginThrottle): the server checks their next one only after a wait,
// and a user code that failed ten times in a row is locked for a while. An
// unknown user code, a wrong password and a locked code are answered alike
// and take as long.

// Answers HELLO: checks protocol and namespace (a refused HELLO closes the
// job), identifies the user, forgets the job's open objects and result
// sets. Values: server name, job number, access ("user", "inactive",
// "guest"). Throws ServerError.
QStringList Hello(Job& job, const Wire::Request& request);

// When the request may be served (a time of LoginThrottle::Now()): a HELLO
// with a password waits for the connection and its user code after failed
// logins; everything else at once (0).
qint64 LoginReadyAt(Job& job, const Wire::Request& request);

// The stored hashes a HELLO's password will be checked against (none: a
// check against nobody), so that the server can check them beforehand on
// another thread (PasswordChecker, Job::passwordVerdicts). Reads the
// database only. Throws ServerError.
QStringList PasswordsToCheck(Job& job, const Wire::Request& request);

// Refuses a request the job may not make (ServerError 5012 before HELLO
// and after a refused one, 5013 for a guest or an inactive user, 5014 for
// an active user's writes and other companies, Rights.h). A request before
// HELLO closes the job.
void CheckAccess(Job& job, const Wire::Request& request);

// A user record opened by id: the job's own user's record, or, for every
// other id (of a user there is or not, of any company), a record that shows
// nothing but "Passwort" as asterisks, so that no answer tells which user
// codes exist.
// Whether a job without a valid login may run this M line: only the exact
// commands the program sends before its login (the session values "S
// FIRMA=..,FIL=..,PERSONAL=..", "S ^STAND($J)=..", "D ^%XTT" and the
// fiscal year's "S P0=$P(^FA(0),"`",2) W P0"), each with values of bounded
// length.
bool GuestMayRun(const QString& line);

StoredObject OpenUserRecord(Job& job, const ClassDef& users, const QString& id);
bool IsUserClass(const ClassDef& cls);

// The value of a property as the job may see it: "Passwort" of the job's
// own user record is the password it logged in with; of every other user
// record a text that never equals it.
QString VisibleValue(const Job& job, const StoredObject& object, const QString& property);

// The look-up of user codes by password ("UserViaPasswort"), which every
// job gets answered only for its own user. Column 1: the job's own user
// code when the arguments (password, company) are the job's own
// credentials; no row otherwise.
std::unique_ptr<QueryCursor> OwnUserViaPassword(const Job& job, const QStringList& args);

// The M view of a job that is not an active user's: locals as they are;
// of the globals only ^FA (read) and ^STAND($J) of the job itself; of the
// routines only ^%XTT. Anything else is the M error "<PROTECT>".
class GuestMEnvironment : public MEnvironment {
public:
    explicit GuestMEnvironment(Job& job) : m_job(job) {}

    QString jobNumber() const override;
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

private:
    bool ownLocation(const QString& name, const QStringList& subscripts) const;

    Job& m_job;
};

// The M view of an active user's job: locals, every routine and the
// globals that hold no ERP data, each company's its own; the fiscal year ^FA read only;
// of the session globals ^STAND and ^%XTT its own job's, and read only the
// other jobs' of its company (those of other companies read as undefined);
// ^%XTT is written by the routine ^%XTT only. A refused write is the M
// error "<PROTECT>".
class UserMEnvironment : public MEnvironment {
public:
    explicit UserMEnvironment(Job& job) : m_job(job) {}

    QString jobNumber() const override;
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
    // A command the server runs on a fiber gives way at the end of its
    // slice (a guest runs only the program's own short lines).
    qint64 pauseIfDue() override { return Fiber::pauseIfDue(); }

private:
    // The name a global is kept under: a free global per company.
    QString stored(const QString& name) const;
    // Whether a node of ^STAND or ^%XTT is one the job sees.
    bool visible(const QString& name, const QStringList& subscripts);

    Job& m_job;
};
