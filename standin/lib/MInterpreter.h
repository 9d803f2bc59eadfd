#pragma once

#include "StandinLimits.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>

// What the M interpreter needs from the job it runs in: locals (per job),
// globals (kept in the database), the job number and the built-in routines.
class MEnvironment {
public:
    virtual ~MEnvironment() = default;

    virtual QString jobNumber() const = 0;

    // Subscripts are the evaluated subscript values, empty for an
    // unsubscripted variable. std::nullopt when the node is undefined.
    virtual std::optional<QString> getLocal(const QString& name, const QStringList& subscripts) = 0;
    virtual void setLocal(const QString& name, const QStringList& subscripts,
                          const QString& value) = 0;
    // name without the caret: ^FA(0) is ("FA", {"0"}).
    virtual std::optional<QString> getGlobal(const QString& name,
                                             const QStringList& subscripts) = 0;
    virtual void setGlobal(const QString& name, const QStringList& subscripts,
                           const QString& value) = 0;
    // $DATA of a node: 0 undefined, 1 a value and no descendants, 10
    // descendants and no value, 11 both.
    virtual int dataLocal(const QString& name, const QStringList& subscripts) = 0;
    virtual int dataGlobal(const QString& name, const QStringList& subscripts) = 0;
    // Appends tail to a defined local (SET X=X_tail). An environment that
    // keeps the text unshared can append in place, which keeps a loop that
    // builds a text linear in its length.
    virtual void appendLocal(const QString& name, const QStringList& subscripts,
                             const QString& tail);

    // Runs a built-in routine for DO: label may be empty (D ^%XTT has label ""
    // and routine "%XTT"); GETARF^VTCLSU has label "GETARF", routine
    // "VTCLSU". Whatever the routine writes is appended to output. Returns
    // false when no such routine exists.
    virtual bool callRoutine(const QString& label, const QString& routine, const QStringList& args,
                             QString& output) = 0;

    // Asked as the work of a command goes by: an environment that shares
    // its thread with others may pause the command here for a while.
    // Returns the milliseconds it paused, which do not count towards the
    // command's time limit.
    virtual qint64 pauseIfDue() { return 0; }
};

// An M error: code is the bracketed error name ("<SYNTAX>", "<UNDEFINED>",
// "<NOLINE>", "<DIVIDE>", "<MAXSTRING>"; "<STACK>", "<INTERRUPT>" and
// "<STORE>" when the command exceeds its limits), detail says where.
class MError : public std::exception {
public:
    MError(QString code, QString detail);
    const char* what() const noexcept override;
    const QString& code() const { return m_code; }
    const QString& detail() const { return m_detail; }
    // "<SYNTAX> S X=" style text for the error report.
    QString description() const;

private:
    QString m_code;
    QString m_detail;
    QByteArray m_what;
};

// Runs one line of M commands and returns what it writes. Throws MError.
QString ExecuteM(const QString& line, MEnvironment& env, const MLimits& limits = MLimits());
