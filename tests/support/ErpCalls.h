#pragma once

#include "StandinEngine.h"
#include "common/erp/Contract.h"
#include "server/ServerClient.h"

#include <QList>
#include <QStringList>
#include <QTest>

// Calls on the ERP as the positions window makes them, for the tests of
// the stand-in's ERP data; each on the client of a connection the caller made.

// A class method of quendrap.pos.
inline QString PosClassCall(ServerClient& client, const QString& method, QStringList args) {
    return client.classHandle(erp::Pos::kClass).call(method, args);
}

// The rows of a list expression (VT.XW "Liste").
inline QStringList ExpressionRows(ServerClient& client, const QString& expression) {
    ResultSet rs = client.resultSet(erp::Xw::kClass, erp::Xw::kListe);
    rs.execute({expression});
    QStringList rows;
    while (rs.next())
        rows << rs.getData(1);
    return rows;
}

// The rows of the query "pos" with (download, "") or (position, download),
// every column of each.
inline QList<QStringList> PosQueryRows(ServerClient& client, const QString& first,
                                       const QString& second) {
    ResultSet rs = client.resultSet(erp::Pos::kClass, erp::Pos::kPos);
    rs.execute({first, second});
    QList<QStringList> rows;
    while (rs.next()) {
        QStringList row;
        for (int c = 1; c <= erp::PosQuery::kColumns; ++c)
            row << rs.getData(c);
        rows << row;
    }
    if (!rows.isEmpty())
        QTest::qCompare(rs.columnCount(), int(erp::PosQuery::kColumns), "columnCount",
                        "erp::PosQuery::kColumns", __FILE__, __LINE__);
    return rows;
}

// One column (from 1) of a stored position, read back as the assignment
// reads it; "<none>" when the query has no such row.
inline QString PosQueryCell(ServerClient& client, StandinEngine& engine, const QString& id,
                            int column) {
    const QString dlid = engine.textValue("SELECT DLID FROM quendrap_pos WHERE id=?", {id});
    const QList<QStringList> rows = PosQueryRows(client, id, dlid);
    return rows.isEmpty() ? QString("<none>") : rows[0].value(column - 1);
}
