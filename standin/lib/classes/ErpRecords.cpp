// The ERP's own records as the stand-in keeps them: dates ordered in SQL,
// columns an older database lacks, discount groups compared with the
// ERP's, the sales prices that follow from a cost, and a record written as
// a posting writes it.
#include "ErpRecords.h"

#include "StandinEngine.h"

#include <QSet>
#include <QSqlQuery>
#include <cmath>

QString DateOrderSql(const QString& column) {
    return QStringLiteral("(substr(%1,7,4)||substr(%1,4,2)||substr(%1,1,2))").arg(column);
}

void AddMissingColumns(StandinStore& store, const QString& table, const QStringList& properties) {
    QSqlQuery q(store.db());
    q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table));
    QSet<QString> have;
    while (q.next())
        have.insert(q.value(1).toString().toLower());
    q.finish();
    QStringList add;
    for (const QString& p : properties)
        if (!have.contains(p.toLower()))
            add << QStringLiteral("ALTER TABLE \"%1\" ADD COLUMN \"%2\" TEXT NOT NULL DEFAULT ''")
                       .arg(table, p);
    store.execScript(add);
}

bool DiscountGroupInErp(StandinEngine& engine, const QString& company, const QString& supplier,
                        const QString& group, const QString& date, const QStringList& rates) {
    if (group.isEmpty() || date.isEmpty())
        return false;
    QSqlQuery& q = engine.exec(QStringLiteral("SELECT RAB1, RAB2, RAB3, RAB4 FROM vt_ekrabgr "
                                              "WHERE id=? AND FREIGABE<>'N'"),
                               {QStringList{company, supplier, group, date}.join(u"||")});
    const bool found = q.next();
    bool same = found;
    for (int i = 0; same && i < 4; ++i)
        same = std::abs(ErpValue(q.value(i).toString()) - ErpValue(rates.value(i))) <= 1e-9;
    q.finish();
    return same;
}

SalesSide SalesPrices(double cost, const QString& kfsoll, const QString& vatRate,
                      const QString& rounding) {
    SalesSide s{QString(), QString(), QStringLiteral("0")};
    if (kfsoll.isEmpty())
        return s;
    double step = ErpValue(rounding);
    if (step <= 0)
        step = 0.01;
    const double excl = std::round(cost * ErpValue(kfsoll) / step) * step;
    const double incl = std::round(excl * (100 + ErpValue(vatRate))) / 100;
    s.vkexcl = ErpNumber(excl, 2);
    s.vkincl = ErpNumber(incl, 2);
    if (excl > 0)
        s.spanne = ErpNumber((excl - cost) / excl * 100, 2);
    return s;
}

QStringList WriteErpRecord(StandinEngine& engine, const QString& className, const QString& id,
                           const QList<std::pair<QString, QString>>& fields,
                           const QList<std::pair<QString, QString>>& whenNew, const QString& dlid,
                           const QString& pcode, bool* created) {
    const ClassDef* cls = engine.findClass(className);
    StoredObject o;
    const bool known = engine.loadObject(*cls, id, &o);
    if (created)
        *created = !known;
    QStringList written;
    if (!known) {
        o.cls = cls;
        o.id = id;
        for (const auto& [name, value] : whenNew)
            o.values.insert(name, value);
    }
    for (const auto& [name, value] : fields) {
        if (known && o.values.value(name) == value)
            continue;
        o.values.insert(name, value);
        written << name;
    }
    if (known && written.isEmpty())
        return written;
    o.values.insert(QStringLiteral("DLID"), dlid);
    o.values.insert(QStringLiteral("PCODE"), pcode);
    engine.saveObject(o);
    return written;
}
