// The ERP contract (common/erp) against what the stand-in registers: every
// class, method, property, query and M routine the program calls is there,
// and every query carries the contract's columns in the contract's order.
// The comparison is checked on the stand-in as it is and on registries
// changed one way each, so that a drift on either side shows.
#include "StandinRegistry.h"
#include "StandinStore.h"
#include "classes/StandinClasses.h"
#include "common/erp/Contract.h"

#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

namespace {

QString listed(const QStringList& names) {
    return u'(' + names.join(QStringLiteral(", ")) + u')';
}

// Where the registry differs from the contract, one line per difference.
QStringList differencesOf(const StandinRegistry& registry) {
    QStringList out;
    for (const erp::ClassContract& c : erp::ProgramClasses()) {
        const QString name = c.name;
        const ClassDef* def = registry.findClass(name);
        if (!def) {
            out << name + QStringLiteral(": no class");
            continue;
        }
        for (const erp::Name& m : c.classMethods)
            if (!def->classMethods.contains(m))
                out << name + QStringLiteral(": no class method ") + m.toString();
        for (const erp::Name& m : c.methods)
            if (!def->methods.contains(m))
                out << name + QStringLiteral(": no method ") + m.toString();
        for (const erp::Name& p : c.properties)
            if (!def->properties.contains(p))
                out << name + QStringLiteral(": no property ") + p.toString();
        for (const erp::Query& q : c.queries) {
            if (!def->queries.contains(q))
                out << name + QStringLiteral(": no query ") + q.name.toString();
            else if (def->queryColumns.value(q) != q.columnList())
                out << name + QStringLiteral(": query ") + q.name.toString() +
                           QStringLiteral(" has the columns ") +
                           listed(def->queryColumns.value(q)) + QStringLiteral(", the contract ") +
                           listed(q.columnList());
        }
        // A query the stand-in registers without columns is one it did not
        // take from the contract.
        for (auto it = def->queries.cbegin(); it != def->queries.cend(); ++it)
            if (!def->queryColumns.contains(it.key()))
                out << name + QStringLiteral(": query ") + it.key() +
                           QStringLiteral(" without columns");
    }
    for (const erp::Name& n : erp::Data::kClasses)
        if (!registry.findClass(n))
            out << n.toString() + QStringLiteral(": no class");
    for (const erp::Routine& r : erp::ProgramRoutines())
        if (!registry.findRoutine(r.label, r.routine))
            out << r.command() + QStringLiteral(": no routine");
    return out;
}

// The same as one text, which a failed comparison shows whole.
QString ContractDifferences(const StandinRegistry& registry) {
    return differencesOf(registry).join(u'\n');
}

using Change = std::function<void(StandinRegistry&)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestErpContract : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void standinKeepsTheContract();
    void queryColumnsInOrder_data();
    void queryColumnsInOrder();
    void driftIsFound_data();
    void driftIsFound();
    void routinesAreChecked();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinStore> m_store;
    std::unique_ptr<StandinRegistry> m_registry;
};

void TestErpContract::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_store = std::make_unique<StandinStore>(m_dir->filePath(QStringLiteral("contract.db")));
    m_registry = std::make_unique<StandinRegistry>(*m_store);
    RegisterErpClasses(*m_registry);
}

void TestErpContract::cleanup() {
    m_registry.reset();
    m_store.reset();
    m_dir.reset();
}

void TestErpContract::standinKeepsTheContract() {
    QCOMPARE(ContractDifferences(*m_registry), QString());
}

// Each query by itself, so that a failure names it.
void TestErpContract::queryColumnsInOrder_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("columns");
    int queries = 0;
    for (const erp::ClassContract& c : erp::ProgramClasses())
        for (const erp::Query& q : c.queries) {
            ++queries;
            QTest::addRow("%s %s", qPrintable(c.name.toString()), qPrintable(q.name.toString()))
                << c.name.toString() << q.name.toString() << q.columnList();
        }
    // liste, pos, Liste of the groups, VT.XW, KkrSuche, UserViaPasswort,
    // the server list, customer and account groups.
    QCOMPARE(queries, 9);
}

void TestErpContract::queryColumnsInOrder() {
    QFETCH(QString, className);
    QFETCH(QString, query);
    QFETCH(QStringList, columns);
    const ClassDef* def = m_registry->findClass(className);
    QVERIFY(def);
    QVERIFY(def->queries.contains(query));
    QCOMPARE(def->queryColumns.value(query), columns);
}

void TestErpContract::driftIsFound_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("differences");
    const QString pos = erp::Pos::kClass;
    const QString posQuery = erp::Pos::kPos;
    const QStringList posColumns = erp::Pos::kPos.columnList();
    const QString contractPos = QStringLiteral(", the contract ") + listed(posColumns);

    QStringList dropped = posColumns;
    dropped.removeLast();
    QTest::newRow("a column of pos dropped")
        << Change([=](StandinRegistry& r) { r.extendClass(pos).queryColumns[posQuery] = dropped; })
        << QStringList{QStringLiteral("quendrap.pos: query pos has the columns ") +
                       listed(dropped) + contractPos};
    QStringList swapped = posColumns;
    swapped.swapItemsAt(7, 8);
    QTest::newRow("two columns of pos swapped")
        << Change([=](StandinRegistry& r) { r.extendClass(pos).queryColumns[posQuery] = swapped; })
        << QStringList{QStringLiteral("quendrap.pos: query pos has the columns ") +
                       listed(swapped) + contractPos};
    QTest::newRow("a query registered without its columns")
        << Change([](StandinRegistry& r) {
               r.extendClass(erp::Ekgrp::kClass).queryColumns.remove(erp::Ekgrp::kListe);
           })
        << QStringList{
               QStringLiteral("quendrap.ekgrp: query Liste has the columns (), the contract "
                              "(id, RabattGR, ERPGR, BEZ, Artikel, Datum, Rabatt1, Rabatt2, "
                              "Rabatt3, Rabatt4, Abweichung)"),
               QStringLiteral("quendrap.ekgrp: query Liste without columns")};
    QTest::newRow("a query missing") << Change([](StandinRegistry& r) {
        ClassDef& d = r.extendClass(erp::Downloads::kClass);
        d.queries.remove(erp::Downloads::kListe);
        d.queryColumns.remove(erp::Downloads::kListe);
    }) << QStringList{QStringLiteral("quendrap.downloads: no query liste")};
    QTest::newRow("a class method missing") << Change([](StandinRegistry& r) {
        r.extendClass(erp::Pos::kClass).classMethods.remove(erp::Pos::kVerbuch);
    }) << QStringList{QStringLiteral("quendrap.pos: no class method verbuch")};
    QTest::newRow("an object method missing") << Change([](StandinRegistry& r) {
        r.extendClass(erp::Windows::kClass).methods.remove(erp::Windows::kXecute);
    }) << QStringList{QStringLiteral("VT.Windows: no method Xecute")};
    QTest::newRow("a property missing") << Change([](StandinRegistry& r) {
        r.extendClass(erp::ParPersAbt::kClass)
            .properties.removeAll(QString(erp::ParPersAbt::kHAbtNr));
    }) << QStringList{QStringLiteral("VT.ParPersAbt: no property HAbtNr")};
    QTest::newRow("a class defined anew, empty")
        << Change([](StandinRegistry& r) { r.defineClass(erp::Liefid::kClass); })
        << QStringList{QStringLiteral("quendrap.liefid: no class method getlnr")};
}

// Every change is found, and named.
void TestErpContract::driftIsFound() {
    QFETCH(Change, change);
    QFETCH(QStringList, differences);
    QCOMPARE(ContractDifferences(*m_registry), QString());
    change(*m_registry);
    QCOMPARE(ContractDifferences(*m_registry), differences.join(u'\n'));
}

// A registry with VT.Windows and ^%XTT alone lacks the search's routines.
void TestErpContract::routinesAreChecked() {
    StandinRegistry windowsOnly(*m_store);
    RegisterWindowsClasses(windowsOnly);
    const QStringList differences = differencesOf(windowsOnly);
    QVERIFY(!differences.contains(QStringLiteral("D ^%XTT: no routine")));
    for (const QString& entry :
         {QStringLiteral("GETARF"), QStringLiteral("GETARN"), QStringLiteral("HGRP"),
          QStringLiteral("UGRP"), QStringLiteral("ABTNR")})
        QVERIFY2(differences.contains(QStringLiteral("D ") + entry +
                                      QStringLiteral("^VTCLSU: no routine")),
                 qPrintable(entry));
}

QTEST_GUILESS_MAIN(TestErpContract)
#include "test_erp_contract.moc"
