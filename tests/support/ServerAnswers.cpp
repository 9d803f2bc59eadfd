#include "ServerAnswers.h"

#include "server/ServerClient.h"

#include <QSqlQuery>
#include <QSqlRecord>

QString outcome(const std::function<QString()>& f) {
    try {
        return f();
    } catch (const ServerError& e) {
        return QString::number(e.number()) + u' ' + e.description();
    }
}

QString classMethodAnswer(ServerClient& client, const QString& cls, const QString& method,
                          const QStringList& args) {
    QStringList sent = args;
    const QString result = client.classHandle(cls).call(method, sent);
    return sent == args ? result : QStringLiteral("<arguments changed>");
}

QList<QStringList> queryRows(ServerClient& client, const QString& cls, const QString& query,
                             const QStringList& args) {
    ResultSet rs = client.resultSet(cls, query);
    rs.execute(args);
    QList<QStringList> out;
    while (rs.next()) {
        QStringList row;
        for (int c = 1; c <= rs.columnCount(); ++c)
            row << rs.getData(c);
        out << row;
    }
    return out;
}

QMap<QString, QString> tableRecords(const QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT * FROM ") + table);
    QMap<QString, QString> out;
    while (q.next()) {
        QStringList f;
        for (int i = 1; i < q.record().count(); ++i)
            f << q.value(i).toString();
        out.insert(q.value(0).toString(), f.join(u'|'));
    }
    return out;
}
