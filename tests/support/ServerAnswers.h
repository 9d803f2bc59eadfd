#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

class QSqlDatabase;
class ServerClient;

// Answers of the server as texts to compare, for tests that call it through
// a client of a standing connection.

// The answer f gives, or its server error as "number description".
QString outcome(const std::function<QString()>& f);

// The answer of a class method; the arguments come back unchanged, else the
// answer is "<arguments changed>".
QString classMethodAnswer(ServerClient& client, const QString& cls, const QString& method,
                          const QStringList& args);

// Every row of a query, its cells from the first column on.
QList<QStringList> queryRows(ServerClient& client, const QString& cls, const QString& query,
                             const QStringList& args);

// Every record of a table of the database by its first column, the other
// fields joined by "|".
QMap<QString, QString> tableRecords(const QSqlDatabase& db, const QString& table);
