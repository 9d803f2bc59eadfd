#pragma once

#include "common/WireProtocol.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class Job;
class StandinEngine;

// One job of a stand-in engine in this process, spoken to request by
// request as a connection speaks to the server (the dispatcher, its access
// checks and units of work), with every answer as one text to compare:
// the values joined by "|", "error N text" for an error, and for a query
// "rows:" and its cells joined by "|". An argument "@" stands for the
// object ref the last NEW or OPEN gave.
class JobSession {
public:
    explicit JobSession(StandinEngine& engine);
    ~JobSession();
    JobSession(const JobSession&) = delete;
    JobSession& operator=(const JobSession&) = delete;

    // HELLO; the access ("user", "inactive", "guest") or the error.
    QString hello(const QString& company, const QString& user, const QString& password);
    QString call(Wire::Op op, QStringList args);
    Wire::Reply reply(Wire::Op op, QStringList args);
    // Requests in a row, each the name of its operation (NEW, OPEN, GET,
    // SET, METHOD, CLASSMETHOD, QUERY) and its arguments.
    using Steps = QList<QStringList>;
    // The answer of the first step that fails, else of the last one.
    QString run(const Steps& steps);
    // Xecute of a line of M on a new VT.Windows object: what it writes, or
    // the error.
    QString xecute(const QString& line);
    static QString text(Wire::Op op, const Wire::Reply& reply);

    Job& job() { return *m_job; }
    QString lastRef() const { return m_lastRef; }

private:
    std::unique_ptr<Job> m_job;
    QString m_lastRef;
    quint32 m_nextId = 1;
};
