// The queries of the ERP contract run on the demo company: each answers
// with the contract's number of columns, and a known row of the demo data
// shows each value under the column the contract names for it. A query
// whose columns the stand-in sends in another order than the contract
// lists them fails here, though both still name the same columns.
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "common/erp/Contract.h"
#include "server/Connection.h"

#include <QTest>

namespace {

using Values = QMap<QString, QString>;

// The contract's query of that name on that class.
const erp::Query* contractQuery(const QString& className, const QString& query) {
    for (const erp::ClassContract& c : erp::ProgramClasses())
        if (QString(c.name) == className)
            for (const erp::Query& q : c.queries)
                if (QString(q.name) == query)
                    return &q;
    return nullptr;
}

// A query run with args; among its rows the one whose keyColumn holds
// row's value of it shows every value of row under its column.
struct Case {
    const char* tag;
    erp::Name className;
    erp::Query query;
    QStringList args;
    QString keyColumn;
    Values row;
};

QList<Case> Cases() {
    return {
        {"downloads",
         erp::Downloads::kClass,
         erp::Downloads::kListe,
         {"1"},
         "id",
         {{"id", "1"},
          {"Datum", "2026-10-05"},
          {"PCODE", "DEM"},
          {"LNR", "70001"},
          {"Name", "M}ller Baustoffe GmbH"},
          {"Status", "0"},
          {"Positionen", "3"}}},
        {"positions",
         erp::Pos::kClass,
         erp::Pos::kPos,
         {"1", ""},
         "id",
         {{"id", "1"},
          {"BestNr", "M-1001"},
          {"Bezeichnung", "Dübel 8x40 Nylon"},
          {"Datum", "01.11.2026"},
          {"Preis", "4.95"},
          {"VE", "PAK"},
          {"ARTNR", "100100"},
          {"EAN", "4006209000013"},
          {"HerstCode", "MUE"},
          {"wargr", "1200"},
          {"rabtyp", "%"},
          {"rab1", "10"},
          {"rab2", "2"},
          {"netto", "4.3659"},
          {"vkexcl", "6.55"},
          {"vkincl", "7.79"},
          {"spanne", "31.05"}}},
        {"discount groups",
         erp::Ekgrp::kClass,
         erp::Ekgrp::kListe,
         {"1"},
         "id",
         {{"id", "1"},
          {"RabattGR", "RG01"},
          {"ERPGR", "RG01"},
          {"BEZ", "Dübel und Schrauben"},
          {"Artikel", "100100"},
          {"Datum", "01.11.2026"},
          {"Rabatt1", "10"},
          {"Rabatt2", "2"},
          {"Rabatt3", ""},
          {"Abweichung", "1"}}},
        {"partner search",
         erp::Windows::kClass,
         erp::Windows::kKkrSuche,
         {"1", "L", "", "1"},
         "Nummer",
         {{"Nummer", "70001"},
          {"Kurzname", "MUELLER BA"},
          {"Name", "M}ller Baustoffe GmbH"},
          {"PLZ", "50829"},
          {"Ort", "K|ln"}}},
        {"user by password",
         erp::ParPersEdv::kClass,
         erp::ParPersEdv::kUserViaPasswort,
         {"demo", "1", ""},
         "CODE",
         {{"CODE", "DEM"}}},
        {"server list",
         erp::ServerList::kClass,
         erp::ServerList::kListe,
         {},
         "id",
         {{"id", "1"},
          {"Bezeichnung", "Demo-Firma (lokal)"},
          {"Namespace", "VELTAR"},
          {"Firma", "1"},
          {"Filiale", "0"},
          {"ServerIP", "127.0.0.1"},
          {"Port", "1973"},
          {"WJ", "2027"}}},
        {"customer groups",
         erp::KundenGruppen::kClass,
         erp::KundenGruppen::kListe,
         {"1"},
         "CODE",
         {{"CODE", "20"}, {"BEZ", "Handwerk"}}},
        {"account groups",
         erp::KontoSammelKontoKreis::kClass,
         erp::KontoSammelKontoKreis::kListe,
         {"1", "L"},
         "CODE",
         {{"CODE", "2"}, {"BEZ", "Lieferanten Ausland"}}},
    };
}

} // namespace

class TestErpQueries : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void everyQueryIsRun();
    void rowsByContractColumn_data();
    void rowsByContractColumn();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

void TestErpQueries::init() {
    StartDemoClient(m_fx, m_ui);
    m_fx->connection().ensure();
}

void TestErpQueries::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

void TestErpQueries::rowsByContractColumn_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("keyColumn");
    QTest::addColumn<Values>("row");
    for (const Case& c : Cases())
        QTest::newRow(c.tag) << QString(c.className) << QString(c.query) << c.args << c.keyColumn
                             << c.row;
}

// Every query of the contract has its case here, but VT.XW's "Liste",
// which answers one column, the rows of the expression it is given (the
// tests of the grid's lists read it).
void TestErpQueries::everyQueryIsRun() {
    QStringList contract, cases;
    for (const erp::ClassContract& c : erp::ProgramClasses())
        for (const erp::Query& q : c.queries)
            if (QString(c.name) != QString(erp::Xw::kClass))
                contract << QString(c.name) + u' ' + QString(q.name);
    for (const Case& c : Cases())
        cases << QString(c.className) + u' ' + QString(c.query);
    contract.sort();
    cases.sort();
    QCOMPARE(cases, contract);
}

void TestErpQueries::rowsByContractColumn() {
    QFETCH(QString, className);
    QFETCH(QString, query);
    QFETCH(QStringList, args);
    QFETCH(QString, keyColumn);
    QFETCH(Values, row);
    const erp::Query* q = contractQuery(className, query);
    QVERIFY(q);
    const QStringList columns = q->columnList();
    ResultSet rs = m_fx->connection().client().resultSet(className, query);
    rs.execute(args);
    QCOMPARE(rs.columnCount(), int(columns.size()));
    // The row whose key column holds the expected key, read by the
    // contract's column names.
    Values found;
    QStringList all;
    while (rs.next()) {
        Values r;
        for (int c = 0; c < columns.size(); ++c)
            r[columns[c]] = rs.getData(c + 1);
        QStringList shown;
        for (auto it = r.cbegin(); it != r.cend(); ++it)
            shown << it.key() + u'=' + it.value();
        all << shown.join(u' ');
        if (r.value(keyColumn) == row.value(keyColumn)) {
            found = r;
            break;
        }
    }
    QVERIFY2(!found.isEmpty(), qPrintable(all.join(u'\n')));
    for (auto it = row.cbegin(); it != row.cend(); ++it)
        QCOMPARE(found.value(it.key()), it.value());
}

QTEST_GUILESS_MAIN(TestErpQueries)
#include "test_erp_queries.moc"
