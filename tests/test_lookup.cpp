#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/TraceLog.h"
#include "base/WorkstationSettings.h"
#include "import/EanMatch.h"
#include "lookup/VeltarSu.h"
#include "server/Connection.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records what reaches the server (operation name and arguments) and how
// deep the busy pointer was held at each call; refuses the query named
// `refused` as a broken server would.
class LookupClient : public InProcessClient {
public:
    LookupClient(StandinEngine& e, QStringList* calls, QList<int>* busy, const QString* refused)
        : InProcessClient(e), m_calls(calls), m_busy(busy), m_refused(refused) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (op == Wire::Op::Query || op == Wire::Op::ClassMethod || op == Wire::Op::Method) {
            QStringList call = args.mid(1);
            if (op == Wire::Op::Query)
                call.removeAt(1); // the batch size
            m_calls->append(call.join(u'|'));
            m_busy->append(UI().busyDepth());
        }
        if (op == Wire::Op::Query && args.value(1) == *m_refused)
            throw ServerError(6100, QStringLiteral("Suche nicht möglich"));
        return InProcessClient::post(op, args, chained);
    }

private:
    QStringList* m_calls;
    QList<int>* m_busy;
    const QString* m_refused;
};

// The search commands sent with Xecute (not those of the session).
QStringList commands(const QStringList& calls) {
    QStringList out;
    for (const QString& c : calls)
        if (c.startsWith(u"Xecute|") && c.contains(u"^VTCLSU"))
            out << c.mid(7);
    return out;
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

// The look-ups: the article search with its pages and its M command, the
// supplier and customer searches, the dialogs' lists; and the EAN/price
// match file with its server calls.
class TestLookup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void quotedForM_data();
    void quotedForM();
    void firstPageCommand();
    void supplierSearchArguments();
    void supplierSearchStopsAt500();
    void refusedSearchIsReported();
    void articlePagesUntilTheEnd();
    void exactlyOnePageAsksOnceMore();
    void quotesFindOnlyWhatMatches_data();
    void quotesFindOnlyWhatMatches();
    void dialogLists();
    void customerSearch_data();
    void customerSearch();
    void matchFileRowsAndPosting();
    void matchFileMissing();
    void matchFileLines_data();
    void matchFileLines();
    void cliSearchesAndMatch();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    QStringList m_calls;
    QList<int> m_busyAtCalls;
    QString m_refused;
};

void TestLookup::init() {
    StartDemoClient(m_fx, m_ui);
    m_calls.clear();
    m_busyAtCalls.clear();
    m_refused.clear();
    m_fx->setClientMaker([this](StandinEngine& e) {
        return std::make_unique<LookupClient>(e, &m_calls, &m_busyAtCalls, &m_refused);
    });
    TraceLogModel::instance().clear();
}

void TestLookup::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

void TestLookup::quotedForM_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "Dübel"
                           << "\"Dübel\"";
    QTest::newRow("empty") << ""
                           << "\"\"";
    QTest::newRow("a quote") << "12\" Rohr"
                             << "\"12\"\" Rohr\"";
    QTest::newRow("code that would end the string") << "\") K ^X W (\""
                                                    << "\"\"\") K ^X W (\"\"\"";
    QTest::newRow("only quotes") << "\"\""
                                 << "\"\"\"\"\"\"";
}

void TestLookup::quotedForM() {
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    QCOMPARE(MQuoted(text), quoted);
}

void TestLookup::firstPageCommand() {
    const ArticleCriteria c{
        "12\" Rohr", "1300 Dämmstoffe", "1310 Dämmplatten", "70002 Schröder", "13 Dämmstoffe", "J",
        ""};
    QCOMPARE(
        ArticleSearch::firstCommand(c),
        QString("D GETARF^VTCLSU(\"12\"\" Rohr\",\"1300\",\"1310\",\"70002\",\"13\",\"J\",\"\")"));
    QCOMPARE(FirstWord("  1100 Baustoffe "), QString("1100"));
    QCOMPARE(FirstWord(""), QString());
}

void TestLookup::supplierSearchArguments() {
    getlnrsu(m_fx->connection(), "Dämm", "");
    getlnrsu(m_fx->connection(), "", "2|Lieferanten Ausland");
    getknrsu(m_fx->connection(), "Bau", "20 Handwerk", "50");
    QCOMPARE(m_calls.filter("KkrSuche|"),
             QStringList({"KkrSuche|1|L|Dämm|1", "KkrSuche|1|L||2", "KkrSuche|1|K|Bau|20|50"}));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestLookup::supplierSearchStopsAt500() {
    StandinEngine& e = m_fx->engine();
    for (int i = 0; i < 620; ++i)
        e.execText("INSERT INTO vt_lieferant(id, FIRMA, LNR, NAME, ORT, KTOKREIS) VALUES(?, '1', "
                   "?, ?, 'Bonn', '1')",
                   {QString("1||8%1").arg(i, 4, 10, QChar('0')),
                    QString("8%1").arg(i, 4, 10, QChar('0')), QString("Testlieferant %1").arg(i)});
    const QList<PartnerHit> hits = getlnrsu(m_fx->connection(), "Testlieferant", "1|Lieferanten");
    QCOMPARE(hits.size(), 500);
    QCOMPARE(hits.first().number, QString("80000"));
    QCOMPARE(hits.last().number, QString("80499"));
    QCOMPARE(hits.first().name, QString("Testlieferant 0"));
    PartnerHitModel model("Lief.-Nr");
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setHits(hits);
    QCOMPARE(model.rowCount(), 500);
    QCOMPARE(model.index(499, PartnerHitModel::Place).data().toString(), QString("Bonn"));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Lief.-Nr"));
}

void TestLookup::refusedSearchIsReported() {
    m_refused = "KkrSuche";
    m_fx->connection().close();
    QVERIFY(getlnrsu(m_fx->connection(), "x", "").isEmpty());
    QVERIFY(getknrsu(m_fx->connection(), "x", "", "").isEmpty());
    QCOMPARE(m_ui->messages.size(), 2);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: VeltarSu.getlnrsu Suche Lieferantennummer.\r\n\r\nFehler: "
                     "6100\r\nSuche nicht möglich\r\n\r\n"));
    QCOMPARE(m_ui->messages[1].text,
             QString("Vorgang: VeltarSu getknrsu Kundennummer Suche.\r\n\r\nFehler: "
                     "6100\r\nSuche nicht möglich\r\n\r\n"));
    QStringList trace;
    for (const auto& entry : TraceLogModel::instance().entries())
        if (entry.part.startsWith("VeltarSU."))
            trace.prepend(entry.part + ' ' + entry.text);
    QCOMPARE(trace, QStringList({"VeltarSU.getlnrsu Start", "VeltarSU.getlnrsu Ende mit Fehler",
                                 "VeltarSU.getknrsu Start", "VeltarSU.getknrsu Ende mit Fehler"}));
}

void TestLookup::articlePagesUntilTheEnd() {
    // The demo company has 14 articles: pages of 4, 4, 4 and 2. (The model
    // tester is left out: it fetches more by itself while rows go in.)
    ArticleHitModel model(m_fx->connection());
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(model.search({}));
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.articleSearch().listRowCount(), 6);
    QVERIFY(model.canFetchMore({}));
    int fetches = 0;
    while (model.canFetchMore({}) && fetches < 10) {
        model.fetchMore({});
        ++fetches;
    }
    QCOMPARE(fetches, 3);
    QCOMPARE(model.rowCount(), 14);
    QCOMPARE(inserted.size(), 4);
    QCOMPARE(inserted.last().at(1).toInt(), 12);
    QCOMPARE(inserted.last().at(2).toInt(), 13);
    QCOMPARE(model.articleSearch().listRowCount(), 14);
    QCOMPARE(commands(m_calls),
             QStringList({"D GETARF^VTCLSU(\"\",\"\",\"\",\"\",\"\",\"\",\"\")", "D GETARN^VTCLSU",
                          "D GETARN^VTCLSU", "D GETARN^VTCLSU"}));
    // In article order, with description and supplier.
    QCOMPARE(model.index(0, 0).data().toString(), QString("100100"));
    QCOMPARE(model.index(0, 1).data().toString(), QString("Dübel 8x40 Nylon"));
    QCOMPARE(model.index(0, 2).data().toString(), QString("70001"));
    QCOMPARE(model.articleNumber(13), QString("900002"));
    // A new search starts again from its first page.
    QVERIFY(model.search({"", "", "", "70002", "", "", ""}));
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(!model.canFetchMore({}));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestLookup::exactlyOnePageAsksOnceMore() {
    // Supplier 70003 has exactly four articles: the list asks for more and
    // the next page, empty, fixes the count.
    ArticleSearch search(m_fx->connection());
    const ArticleCriteria c{"", "", "", "70003 Weiß", "", "", ""};
    QVERIFY(search.getarsu(c));
    QCOMPARE(search.count(), 4);
    QVERIFY(search.more());
    QCOMPARE(search.listRowCount(), 6);
    QVERIFY(search.getarsu(c));
    QCOMPARE(search.count(), 4);
    QVERIFY(!search.more());
    QCOMPARE(search.listRowCount(), 4);
    QCOMPARE(commands(m_calls).last(), QString("D GETARN^VTCLSU"));
}

void TestLookup::quotesFindOnlyWhatMatches_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("a quote in the text") << "1/2\" Dicht" << QStringList{"300330"};
    QTest::newRow("a quote nothing has") << "12\" Rohr" << QStringList{};
    QTest::newRow("M code after a quote") << "\") K ^X W (\"" << QStringList{};
    QTest::newRow("a setting of a global") << "\",\"\") S ^X=1 W (\"" << QStringList{};
}

void TestLookup::quotesFindOnlyWhatMatches() {
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    m_fx->engine().setGlobal("X", {}, "1");
    ArticleSearch search(m_fx->connection());
    QVERIFY(search.getarsu({text, "", "", "", "", "", ""}));
    QStringList numbers;
    for (const ArticleHit& h : search.hits())
        numbers << h.articleNumber;
    QCOMPARE(numbers, found);
    QVERIFY(m_ui->messages.isEmpty());
    // Nothing of the text ran on the server.
    QCOMPARE(m_fx->engine().getGlobal("X", {}).value_or(QString()), QString("1"));
}

void TestLookup::dialogLists() {
    const QStringList main = LoadMainGroups(m_fx->connection());
    QCOMPARE(main.size(), 6);
    QVERIFY(main.first().startsWith("1100 "));
    QCOMPARE(FirstWord(main.last()), QString("1900"));
    QStringList sub;
    for (const QString& s : LoadSubGroups(m_fx->connection(), "1400 Fliesen"))
        sub << FirstWord(s);
    QCOMPARE(sub, QStringList({"1400", "1410"}));
    QCOMPARE(LoadSubGroups(m_fx->connection()).size(), 8);
    QCOMPARE(LoadDepartments(m_fx->connection()).size(), 5);
    QCOMPARE(LoadCustomerGroups(m_fx->connection()),
             QStringList({"10 Gewerbliche Kunden Bau", "20 Handwerk", "30 Privatkunden",
                          "40 Wiederverkäufer"}));
    QCOMPARE(LoadAccountGroups(m_fx->connection(), "L"),
             QStringList({"1|Lieferanten Inland", "2|Lieferanten Ausland", "9|Sonstige"}));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestLookup::customerSearch_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("plz");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("name with umlaut") << "özdemir"
                                      << ""
                                      << "" << QStringList{"10006"};
    QTest::newRow("group") << ""
                           << "30 Privatkunden"
                           << "" << QStringList{"10009", "10010", "10011"};
    QTest::newRow("post code prefix") << ""
                                      << ""
                                      << "507" << QStringList{"10003", "10006"};
    QTest::newRow("all three") << "bau"
                               << "10"
                               << "508" << QStringList{"10001"};
    QTest::newRow("nothing") << "Zement"
                             << ""
                             << "" << QStringList{};
}

void TestLookup::customerSearch() {
    QFETCH(QString, name);
    QFETCH(QString, group);
    QFETCH(QString, plz);
    QFETCH(QStringList, found);
    QStringList numbers;
    for (const PartnerHit& h : getknrsu(m_fx->connection(), name, group, plz))
        numbers << h.number;
    QCOMPARE(numbers, found);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestLookup::matchFileRowsAndPosting() {
    QTemporaryDir dir;
    const QString path = dir.filePath("match.csv");
    QFile sample(QFINDTESTDATA("../docs/samples/ean-match-demo.csv"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    // The sample and a line without EAN, with semicolons as some programs
    // write them.
    writeFile(path, sample.readAll() + "300310;\\Ohne EAN\\St\\1\\70003\\X\\\r\n");
    QList<EanMatchRow> rows;
    QVERIFY(ReadEanMatchFile(m_fx->connection(), path, "3", &rows));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].articleNumber, QString("300300"));
    QCOMPARE(rows[0].description, QString("Fußleiste Eiche 2,4 m"));
    QCOMPARE(rows[0].ean, QString("4020000000011"));
    QCOMPARE(rows[0].positionDescription, QString("Fußleiste Eiche 2,4 m"));
    QCOMPARE(rows[1].positionDescription, QString("Türschwelle Edelstahl"));
    QCOMPARE(rows[2].positionDescription, QString("Fliesenkleber 25 kg"));
    QCOMPARE(rows[3].articleNumber, QString("300310"));
    QCOMPARE(rows[3].ean, QString());
    QCOMPARE(rows[3].positionDescription, QString());
    // No description is asked for a line without EAN.
    QCOMPARE(m_calls.filter("geteanbez").size(), 3);
    EanMatchModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRows(rows);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QString("Bezeichnung Quendra"));

    m_calls.clear();
    m_busyAtCalls.clear();
    m_ui->busyCalls.clear();
    const PositionDownload download{"3", "70003", QString()};
    QVERIFY(PostEanMatch(m_fx->connection(), rows, download));
    QCOMPARE(m_calls, QStringList({"SetEan|1|70003|300300|4020000000011|3",
                                   "SetEan|1|70003|300310|4020000000028|3",
                                   "SetEan|1|70003|300320|4020000000035|3"}));
    // The busy pointer is held while the rows are stored, and given back.
    QCOMPARE(m_busyAtCalls, (QList<int>{1, 1, 1}));
    QCOMPARE(m_ui->busyCalls, (QList<bool>{true, false}));
    QCOMPARE(m_ui->busyDepth(), 0);
    StandinEngine& e = m_fx->engine();
    const QString assigned =
        "SELECT group_concat(p) FROM (SELECT id || '=' || ARTNR AS p FROM quendrap_pos WHERE "
        "DLID='3' ORDER BY CAST(id AS INTEGER))";
    QCOMPARE(e.textValue(assigned, {}), QString("6=300300,7=300310,8=300320,9="));
    QCOMPARE(e.textValue("SELECT EAN FROM vt_artikel WHERE id='1||300320'", {}),
             QString("4020000000035"));
    // Again: nothing changes.
    QVERIFY(PostEanMatch(m_fx->connection(), rows, download));
    QCOMPARE(e.textValue(assigned, {}), QString("6=300300,7=300310,8=300320,9="));
    QVERIFY(m_ui->messages.isEmpty());
    // Refused rows are listed at the end; the rows after them are stored.
    const QList<EanMatchRow> wrong{{"300330", "x", "4020000000011", ""},
                                   {"399999", "x", "4020000000077", ""},
                                   {"300330", "x", "4020000000042", ""}};
    m_ui->busyCalls.clear();
    QVERIFY(!PostEanMatch(m_fx->connection(), wrong, download));
    // Refused rows give the pointer back as well.
    QCOMPARE(m_ui->busyCalls, (QList<bool>{true, false}));
    QCOMPARE(m_ui->busyDepth(), 0);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Nicht gespeichert:\nArtikel 300330, EAN 4020000000011: EAN bereits bei "
                     "Artikel 300300\nArtikel 399999, EAN 4020000000077: Artikel 399999 nicht "
                     "bei Lieferant 70003"));
    QCOMPARE(e.textValue(assigned, {}), QString("6=300300,7=300310,8=300320,9=300330"));
}

void TestLookup::matchFileMissing() {
    QList<EanMatchRow> rows{{"1", "x", "", ""}};
    QVERIFY(!ReadEanMatchFile(m_fx->connection(), m_fx->path("nicht-da.csv"), "3", &rows));
    QVERIFY(rows.isEmpty());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Datei nicht vorhanden"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Critical);
    QVERIFY(m_calls.isEmpty());
    // The folder of a chosen file is offered next time, whichever separator
    // the path has.
    StoreEanMatchFolder("/home/einkauf/listen/match.csv");
    QCOMPARE(EanMatchFolder(), QString("/home/einkauf/listen"));
    StoreEanMatchFolder("C:\\Listen\\match.csv");
    QCOMPARE(EanMatchFolder(), QString("C:\\Listen"));
    QCOMPARE(WorkstationSettings::value("Quendrapr", "RetourPrm", "Pfad"), QString("C:\\Listen"));
}

void TestLookup::matchFileLines_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("taken");
    QTest::newRow("a match line") << "300310\\Türschwelle\\\\\\\\\\4020000000028" << true;
    QTest::newRow("semicolons") << "300310;\\x" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("no separator") << "Artikel 300310 Türschwelle" << false;
    QTest::newRow("a NUL byte") << QString("300310\\x") + QChar(0) << false;
    QTest::newRow("a bell") << QString("300310\\x") + QChar(7) << false;
    QTest::newRow("a tab") << "300310\\x\ty" << true;
}

void TestLookup::matchFileLines() {
    QFETCH(QString, line);
    QFETCH(bool, taken);
    QCOMPARE(IsMatchFileLine(line), taken);
}

void TestLookup::cliSearchesAndMatch() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    QString out;
    QString err;
    QCOMPARE(standin.run({"search-articles", "--supplier", "70003"}, &out, &err), 0);
    QCOMPARE(out.count('\n'), 4);
    QCOMPARE(out.section('\n', 0, 0), QString("300300\tFußleiste Eiche 2,4 m\t70003"));
    QCOMPARE(standin.run({"search-articles", "--max", "6"}, &out, &err), 0);
    QCOMPARE(out.count('\n'), 6);
    QCOMPARE(standin.run({"search-articles", "--text", "1/2\" Dicht"}, &out, &err), 0);
    QCOMPARE(out.section('\t', 0, 0), QString("300330"));
    QCOMPARE(standin.run({"search-suppliers", "dämm"}, &out, &err), 0);
    QCOMPARE(out, QString("70002\tSCHROEDER \tSchröder Dämmtechnik KG\t40231\tDüsseldorf\n"));
    QCOMPARE(standin.run({"search-customers", "", "--group", "20", "--plz", "50"}, &out, &err), 0);
    QCOMPARE(out.count('\n'), 3);
    QVERIFY(out.startsWith("10006\t"));
    const QString sample = QFINDTESTDATA("../docs/samples/ean-match-demo.csv");
    QCOMPARE(standin.run({"ean-match", "3", sample}, &out, &err), 0);
    QCOMPARE(out.section('\n', 1, 1),
             QString("300310\tTürschwelle Edelstahl 90 cm\t4020000000028\tTürschwelle Edelstahl"));
    QCOMPARE(standin.run({"positions", "3"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 1, 1).section('\t', 7, 7), QString());
    QCOMPARE(standin.run({"ean-match", "3", sample, "--post"}, &out, &err), 0);
    QCOMPARE(standin.run({"positions", "3"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 1, 1).section('\t', 7, 7), QString("300310"));
    // Wrong calls.
    QCOMPARE(standin.run({"ean-match", "3", standin.temp("fehlt.csv")}, &out, &err), 1);
    QCOMPARE(err, QString("Datei nicht vorhanden\n"));
    // Random bytes are no match file: nothing is read or posted, exit 1.
    const QString noise = standin.temp("rauschen.csv");
    {
        QFile f(noise);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray bytes;
        quint32 x = 12345;
        for (int i = 0; i < 4000; ++i) {
            x = x * 1103515245 + 12345;
            bytes += char(x >> 24);
        }
        f.write("Kopfzeile\n" + bytes);
    }
    QCOMPARE(standin.run({"ean-match", "3", noise, "--post"}, &out, &err), 1);
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("Datei ist keine EAN/Preismatch-Datei (Zeile 2)\n"));
    // --timeout before the command and --post at the end.
    QCOMPARE(RunCli({"--timeout", "30", "--connect", standin.connect(), "ean-match", "3", sample,
                     "--post"},
                    &out, &err),
             0);
    QCOMPARE(err, QString());
    QCOMPARE(standin.run({"search-suppliers"}, &out, &err), 2);
    QCOMPARE(standin.run({"search-articles", "--max", "x"}, &out, &err), 2);
}

QTEST_GUILESS_MAIN(TestLookup)
#include "test_lookup.moc"
