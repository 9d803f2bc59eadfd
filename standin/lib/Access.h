#pragma once

#include "MInterpreter.h"
#include "StandinEngine.h"
#include "common/WireProtocol.h"

#include <QString>
#include <QStringList>
#include <memory>

class Job;

// Who a connection is and what it may do. A connection begins with HELLO;
// its credentials (company, user code, password) make it an active user
// (everything), an identified user who is not active, or a guest. The last
// two get only what the program's login reads before it compares the
// password on the workstation: the session values in M, the fiscal year,
// the locations, the server list, the user record they name, and the look-up
// of their own user code by their own password. Everything else is refused
// with error 5013 (M: "<PROTECT>").

// Answers HELLO: checks protocol and namespace (a refused HELLO closes the
// job), identifies the user, forgets the job's open objects and result
// sets. Values: server name, job number, access ("user", "inactive",
// "guest"). Throws ServerError.
QStringList Hello(Job& job, const Wire::Request& request);

// Refuses a request the job may not make (ServerError 5012 before HELLO
// and after a refused one, 5013 for a guest or an inactive user). A request
// before HELLO closes the job.
void CheckAccess(Job& job, const Wire::Request& request);

// The value of a property as the job may see it: "Passwort" of a user
// record other than the job's own user reads as a text that never equals
// the job's password.
QString VisibleValue(const Job& job, const StoredObject& object, const QString& property);

// Whether a query is the look-up of user codes by password, which every
// job gets answered only for its own user (OwnUserViaPassword).
bool IsPasswordLookup(const ClassDef& cls, const QString& query);
// Column 1: the job's own user code when the arguments (password, company)
// are the job's own credentials; no row otherwise.
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
