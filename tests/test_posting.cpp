#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "conditions/Posting.h"
#include "server/Connection.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace PositionGrid;

namespace {

// Records the arguments of every verbuch call that reaches the server; the
// call for the position `failing` goes to a method the server does not have,
// so the server refuses it there (and skips the chained calls after it).
class PostingClient : public InProcessClient {
public:
    PostingClient(StandinEngine& e, QList<QStringList>* calls, const QString* failing)
        : InProcessClient(e), m_calls(calls), m_failing(failing) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (op == Wire::Op::ClassMethod && args.value(1) == u"verbuch" &&
            args.value(0) == u"quendrap.pos") {
            m_calls->append(args.mid(2));
            if (!m_failing->isEmpty() && args.value(3) == *m_failing) {
                QStringList broken = args;
                broken[1] = QStringLiteral("verbuchx");
                return InProcessClient::post(op, broken, chained);
            }
        }
        return InProcessClient::post(op, args, chained);
    }

private:
    QList<QStringList>* m_calls;
    const QString* m_failing;
};

const PositionDownload kDownload1{"1", "70001", QStringLiteral("Müller Baustoffe GmbH")};
const PositionDownload kDownload3{"3", "70003", QStringLiteral("Weiß & Söhne Fliesen")};

PostingOptions optionsOf(const QString& names) {
    return PostingOptions::fromNames(names, nullptr).value();
}

// Every record of the ERP tables a posting writes, one text per row.
QStringList erpRecords(StandinEngine& e) {
    QStringList rows;
    for (const char* table : {"vt_artikel", "vt_artek", "vt_artvk", "vt_parnrkreis"}) {
        QSqlQuery& q = e.exec(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table));
        while (q.next()) {
            QStringList cells{table};
            for (int i = 0; i < q.record().count(); ++i)
                cells << q.value(i).toString();
            rows << cells.join(u'|');
        }
    }
    QSqlQuery& q = e.exec("SELECT id, ARTNR FROM quendrap_pos ORDER BY CAST(id AS INTEGER)");
    while (q.next())
        rows << "pos|" + q.value(0).toString() + '|' + q.value(1).toString();
    return rows;
}

} // namespace

// The posting run: which rows it takes, the fourteen arguments, the answers
// in "Stat", a refused position in the middle, a second posting, the grid
// afterwards; and the preview counted from the grid.
class TestPosting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void optionNames();
    void argumentsInOrder_data();
    void argumentsInOrder();
    void rowsTaken_data();
    void rowsTaken();
    void markBoxIsReadForEveryRow();
    void emptyGridMakesNoCall();
    void answersGoToStat();
    void refusedPositionStopsTheRun_data();
    void refusedPositionStopsTheRun();
    void postingTwiceCreatesNothingTwice();
    void gridShowsTheErpAfterPosting();
    void deviationAsShown_data();
    void deviationAsShown();
    void previewCountsTheTakenRows();
    void cliPosts();
    void cliPostingUnderADeletionFails();

private:
    std::unique_ptr<PositionGridModel> load(const PositionDownload& d);
    bool post(PositionGridModel& m, const PositionDownload& d, const PostingOptions& o,
              bool onlyMarked = false, int depth = 256);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    QList<QStringList> m_calls;
    QString m_failing;
    QList<int> m_progress;
    QStringList m_answers;
    int m_failedRow = -1;
};

void TestPosting::init() {
    StartDemoClient(m_fx, m_ui);
    m_calls.clear();
    m_failing.clear();
    m_fx->setClientMaker([this](StandinEngine& e) {
        return std::make_unique<PostingClient>(e, &m_calls, &m_failing);
    });
}

void TestPosting::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

std::unique_ptr<PositionGridModel> TestPosting::load(const PositionDownload& d) {
    auto m = std::make_unique<PositionGridModel>();
    if (!PositionLoad::loadGrid(m_fx->connection(), d, *m))
        return nullptr;
    return m;
}

bool TestPosting::post(PositionGridModel& m, const PositionDownload& d, const PostingOptions& o,
                       bool onlyMarked, int depth) {
    m_calls.clear();
    m_progress.clear();
    m_answers.clear();
    PostingRun run(m_fx->connection());
    run.depth = depth;
    run.onlyMarked = [onlyMarked] { return onlyMarked; };
    run.progress = [this](int value, int maximum) { m_progress << value << maximum; };
    run.answered = [this, &m](int row, const QString& a) { m_answers << m.row(row).id + '=' + a; };
    const bool ok = run.run(m, PostingContext::of(d), o);
    m_failedRow = run.failedRow();
    return ok;
}

void TestPosting::optionNames() {
    QString unknown;
    const auto some = PostingOptions::fromNames(" chneu,ekanl ", &unknown);
    QVERIFY(some);
    for (int i = 0; i < kPostingOptions; ++i)
        QCOMPARE(some->on[size_t(i)],
                 i == int(PostingOption::Neu) || i == int(PostingOption::EkAnl));
    QVERIFY(!PostingOptions::fromNames("chneu,chfreigabe", &unknown));
    QCOMPARE(unknown, QString("chfreigabe"));
    const auto none = PostingOptions::fromNames("", &unknown);
    QVERIFY(none);
    QVERIFY(std::none_of(none->on.begin(), none->on.end(), [](bool b) { return b; }));
}

void TestPosting::argumentsInOrder_data() {
    QTest::addColumn<QString>("options");
    // Arguments 5 to 14 for every position.
    QTest::addColumn<QStringList>("flags");
    QTest::newRow("nothing checked")
        << "" << QStringList{"N", "", "N", "N", "N", "N", "N", "N", "N", "N"};
    QTest::newRow("everything") << PostingOptions::names().join(',')
                                << QStringList{"J", "1", "J", "J", "J", "J", "J", "J", "J", "J"};
    QTest::newRow("price release carries the download key")
        << "chfreig" << QStringList{"J", "1", "N", "N", "N", "N", "N", "N", "N", "N"};
    QTest::newRow("each flag in its place")
        << "vkanl,chbez,chstamm" << QStringList{"N", "", "J", "N", "N", "N", "J", "N", "N", "J"};
    QTest::newRow("the rest") << "chfreigart,ekanl,kondanl,chneu,chvorhupd"
                              << QStringList{"N", "", "N", "J", "J", "J", "N", "J", "J", "N"};
}

void TestPosting::argumentsInOrder() {
    QFETCH(QString, options);
    QFETCH(QStringList, flags);
    auto m = load(kDownload1);
    QVERIFY(m);
    QVERIFY(post(*m, kDownload1, optionsOf(options)));
    QCOMPARE(m_calls.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_calls[i], QStringList({"1", QString::number(i + 1), "70001", "DEM"}) + flags);
}

void TestPosting::rowsTaken_data() {
    QTest::addColumn<bool>("onlyMarked");
    QTest::addColumn<QList<int>>("marked");
    QTest::addColumn<QStringList>("posted");
    QTest::newRow("only marked, none marked") << true << QList<int>{} << QStringList{};
    QTest::newRow("only marked") << true << QList<int>{0, 2} << QStringList{"1", "3"};
    QTest::newRow("every row, marked or not")
        << false << QList<int>{1} << QStringList{"1", "2", "3"};
}

void TestPosting::rowsTaken() {
    QFETCH(bool, onlyMarked);
    QFETCH(QList<int>, marked);
    QFETCH(QStringList, posted);
    auto m = load(kDownload1);
    QVERIFY(m);
    for (int r : marked)
        m->setMarked(r, true);
    QVERIFY(post(*m, kDownload1, optionsOf("ekanl"), onlyMarked));
    QStringList ids;
    for (const QStringList& c : std::as_const(m_calls))
        ids << c.value(1);
    QCOMPARE(ids, posted);
    // The meter runs through every row, taken or not.
    QCOMPARE(m_progress, QList<int>({0, 2, 1, 2, 2, 2}));
    QCOMPARE(m_answers.size(), posted.size());
}

void TestPosting::markBoxIsReadForEveryRow() {
    auto m = load(kDownload1);
    QVERIFY(m);
    // Checked for the first row only: the first row is not marked, the
    // others are taken once the box is unchecked.
    int reads = 0;
    PostingRun run(m_fx->connection());
    run.onlyMarked = [&reads] { return ++reads == 1; };
    QVERIFY(run.run(*m, PostingContext::of(kDownload1), optionsOf("ekanl")));
    QCOMPARE(reads, 3);
    QCOMPARE(m_calls.size(), 2);
    QCOMPARE(m_calls[0].value(1), QString("2"));
    QCOMPARE(m_calls[1].value(1), QString("3"));
}

void TestPosting::emptyGridMakesNoCall() {
    PositionGridModel empty;
    QVERIFY(post(empty, kDownload1, optionsOf("chneu,ekanl")));
    QVERIFY(m_calls.isEmpty());
    QVERIFY(m_progress.isEmpty());
    QVERIFY(m_ui->messages.isEmpty());
}

void TestPosting::answersGoToStat() {
    auto m = load(kDownload1);
    QVERIFY(m);
    const QString before = m->cellText(1, Stat);
    // Nothing checked: every row is still called; -1 leaves "Stat" alone.
    QVERIFY(post(*m, kDownload1, PostingOptions()));
    QCOMPARE(m_calls.size(), 3);
    QCOMPARE(m_answers, QStringList({"1=-1", "2=-1", "3=-1"}));
    QCOMPARE(m->cellText(1, Stat), before);
    // An answer other than -1 is the new "Stat", and the server keeps it.
    QVERIFY(post(*m, kDownload1, optionsOf("chvorhupd,ekanl")));
    QCOMPARE(m_answers.size(), 3);
    QCOMPARE(m_answers[1], QString("2=Verbucht: EK-Preis 01.11.2026"));
    QCOMPARE(m->cellText(1, Stat), QString("Verbucht: EK-Preis 01.11.2026"));
    QCOMPARE(load(kDownload1)->cellText(1, Stat), QString("Verbucht: EK-Preis 01.11.2026"));
    // Without "Vorhandene Artikel" an assigned article is left alone.
    QVERIFY(post(*m, kDownload1, optionsOf("ekanl")));
    QCOMPARE(m->cellText(0, Stat), QString("Vorhandener Artikel, nichts verbucht"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestPosting::refusedPositionStopsTheRun_data() {
    QTest::addColumn<int>("depth");
    QTest::newRow("calls in flight") << 256;
    QTest::newRow("one at a time") << 1;
}

void TestPosting::refusedPositionStopsTheRun() {
    QFETCH(int, depth);
    m_failing = "8";
    m_fx->connection().close();
    auto m = load(kDownload3);
    QVERIFY(m);
    QCOMPARE(m->size(), 4);
    StandinEngine& e = m_fx->engine();
    const int articles = e.textValue("SELECT count(*) FROM vt_artikel", {}).toInt();
    QVERIFY(!post(*m, kDownload3, optionsOf("chneu,chvorhupd,ekanl,vkanl"), false, depth));
    QCOMPARE(m_failedRow, 2);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: fmverbuch.Verbuchen Position 8.\r\n\r\nFehler: 6022\r\n"
                     "Klassenmethode existiert nicht: quendrap.pos.verbuchx\r\n\r\n"));
    // The rows before are posted and show it; the rows after are not, even
    // those sent before the refusal was read.
    QCOMPARE(m_answers.size(), 2);
    QCOMPARE(m->cellText(0, Stat), QString("Unverändert"));
    QVERIFY2(m->cellText(1, Stat).startsWith("Verbucht: Artikel 500001 angelegt"),
             qPrintable(m->cellText(1, Stat)));
    QCOMPARE(e.textValue("SELECT count(*) FROM vt_artikel", {}).toInt(), articles + 1);
    QCOMPARE(e.textValue("SELECT ARTNR FROM quendrap_pos WHERE id=?", {"7"}), QString("500001"));
    for (const char* id : {"8", "9"})
        QCOMPARE(e.textValue("SELECT ARTNR || '/' || Status FROM quendrap_pos WHERE id=?", {id}),
                 QString("/0"));
    QCOMPARE(m->cellText(3, Stat), QString("0"));
    // Posted again at once (nothing else asked the server in between) once
    // it takes position 8: the run starts a fresh chain, so nothing is
    // skipped for the earlier refusal.
    m_failing.clear();
    QVERIFY(post(*m, kDownload3, optionsOf("chneu,chvorhupd,ekanl,vkanl"), false, depth));
    QCOMPARE(m_answers.size(), 4);
    QCOMPARE(m_answers[0], QString("6=Unverändert"));
    // A posted position that nothing changes keeps its status.
    QCOMPARE(m_answers[1], QString("7=-1"));
    QVERIFY2(m->cellText(1, Stat).startsWith("Verbucht: Artikel 500001 angelegt"),
             qPrintable(m->cellText(1, Stat)));
    QVERIFY2(m_answers[2].startsWith("8=Verbucht: Artikel 500002 angelegt"),
             qPrintable(m_answers[2]));
    QCOMPARE(m_ui->messages.size(), 1);
}

void TestPosting::postingTwiceCreatesNothingTwice() {
    auto m = load(kDownload3);
    QVERIFY(m);
    PostingOptions all;
    all.on.fill(true);
    QVERIFY(post(*m, kDownload3, all));
    QCOMPARE(m_answers.size(), 4);
    QVERIFY2(m_answers[1].startsWith("7=Verbucht: Artikel 500001 angelegt, "),
             qPrintable(m_answers[1]));
    const QStringList once = erpRecords(m_fx->engine());
    // Again, on the reloaded grid: nothing new, nothing changed.
    m = load(kDownload3);
    QVERIFY(post(*m, kDownload3, all));
    // Those posted before keep their status; the others say nothing changed.
    QCOMPARE(m_answers, QStringList({"6=Unverändert", "7=-1", "8=-1", "9=-1"}));
    QCOMPARE(erpRecords(m_fx->engine()), once);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestPosting::gridShowsTheErpAfterPosting() {
    auto m = load(kDownload1);
    QVERIFY(m);
    // Position 2: no condition and no sales price of its date yet.
    QVERIFY(!m->row(1).ekFlag);
    QVERIFY(!m->row(1).vkFlag);
    QCOMPARE(m->cellStyle(1, VkExcl), 1);
    QCOMPARE(m->cellStyle(1, RabTyp), 1);
    QCOMPARE(m->cellStyle(1, Rab1), 3);
    m->setMarked(1, true);
    QVERIFY(post(*m, kDownload1, optionsOf("chvorhupd,kondanl,ekanl,vkanl"), true));
    QCOMPARE(m_calls.size(), 1);
    auto after = load(kDownload1);
    QVERIFY(after->row(1).ekFlag);
    QVERIFY(after->row(1).vkFlag);
    // The orange cells are gone, the sales prices are locked.
    QCOMPARE(after->cellStyle(1, VkExcl), 2);
    QCOMPARE(after->cellStyle(1, VkIncl), 2);
    QCOMPARE(after->cellStyle(1, RabTyp), 0);
    QCOMPARE(after->cellStyle(1, Rab1), 2);
    QCOMPARE(after->cellText(1, Stat),
             QString("Verbucht: EK-Kondition 01.11.2026, EK-Preis 01.11.2026, "
                     "VK-Preis 01.11.2026"));
    // The other rows are as they were.
    QCOMPARE(after->cellText(0, Stat), m->cellText(0, Stat));
    QCOMPARE(after->row(2).vkFlag, false);
}

void TestPosting::deviationAsShown_data() {
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "12,50 %" << true << 12.5;
    QTest::newRow("below one") << ",50 %" << true << 0.5;
    QTest::newRow("negative below one") << "-,25 %" << true << -0.25;
    QTest::newRow("negative") << "-3,00 %" << true << -3.0;
    QTest::newRow("zero") << ",00 %" << true << 0.0;
    QTest::newRow("four digits") << "1234,00 %" << true << 1234.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("no number") << "abc %" << false << 0.0;
}

void TestPosting::deviationAsShown() {
    QFETCH(QString, shown);
    QFETCH(bool, ok);
    QFETCH(double, value);
    double v = 0;
    QCOMPARE(ParseDeviation(shown, &v), ok);
    if (ok)
        QCOMPARE(v, value);
}

void TestPosting::previewCountsTheTakenRows() {
    // Rows made as the grid holds them: article, deviation, sales price,
    // margin, net price and the VK flag.
    struct Made {
        const char* article;
        const char* deviation;
        double netto, vkexcl, spanne;
        bool vkFlag, marked;
    };
    const Made made[] = {
        {"", "", 10, 15, 33, false, true},              // new article, new sales price
        {"100100", "5,00 %", 10, 15, 33, true, true},   // dearer, price in the ERP
        {"100101", "-2,00 %", 12, 11, -9, false, true}, // cheaper, below cost
        {"100200", ",00 %", 10, 0, 0, false, true},     // the same, no sales price
        {"100300", "9,00 %", 10, 15, 33, false, false}, // not marked
    };
    QVector<PositionRow> rows;
    for (const Made& x : made) {
        PositionRow r;
        r.texts = QByteArray(kColumns - 1, '\n');
        r.setText(ArtNr, x.article);
        r.setText(Abweichung, x.deviation);
        r.setNumber(Netto, x.netto);
        r.setNumber(Epm, 1);
        r.setNumber(Fakt, 1);
        if (x.vkexcl > 0)
            r.setNumber(VkExcl, x.vkexcl);
        r.setNumber(Spanne, x.spanne);
        r.vkFlag = x.vkFlag;
        r.setText(Mark, x.marked ? "1" : "");
        rows << r;
    }
    PositionGridModel m;
    m.appendRows(rows);
    const PostingPreview p = PostingPreview::of(m, true);
    QCOMPARE(
        p.lines(),
        QStringList({"Positionen zum Verbuchen: 4 von 5", "Neue Artikel: 1, vorhandene Artikel: 3",
                     "EK-Preis gegenüber VELTAR: höher 1, niedriger 1, gleich 1, ohne "
                     "Vergleich 1",
                     "Neue VK-Preise: 2", "Spanne unter 0: 1, Netto über VK-Excl: 1"}));
    const PostingPreview everything = PostingPreview::of(m, false);
    QCOMPARE(everything.taken, 5);
    QCOMPARE(everything.ekUp, 2);
    QCOMPARE(everything.newSalesPrices, 3);
}

void TestPosting::cliPosts() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    QString out;
    QString err;
    // Without --all or --marked no row is marked: nothing is posted.
    QCOMPARE(standin.run({"post", "3", "--options", "chneu"}, &out, &err), 0);
    QCOMPARE(out, QString());
    QCOMPARE(standin.run({"post", "3", "--preview", "--marked", "7,8"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 0, 1),
             QString("Positionen zum Verbuchen: 2 von 4\nNeue Artikel: 2, vorhandene Artikel: 0"));
    QCOMPARE(
        standin.run({"post", "3", "--marked", "7", "--options", "chneu,chfreigart"}, &out, &err),
        0);
    QCOMPARE(out, QString("7\tVerbucht: Artikel 500001 angelegt, Artikel freigegeben\n"));
    QCOMPARE(standin.run({"post", "3", "--all", "--options", "chneu,chfreigart"}, &out, &err), 0);
    QCOMPARE(out, QString("6\tVorhandener Artikel, nichts verbucht\n"
                          "7\tVorhandener Artikel, nichts verbucht\n"
                          "8\tVerbucht: Artikel 500002 angelegt, Artikel freigegeben\n"
                          "9\tVerbucht: Artikel 500003 angelegt, Artikel freigegeben\n"));
    // Wrong calls.
    QCOMPARE(standin.run({"post", "3", "--options", "chfoo"}, &out, &err), 2);
    QCOMPARE(err, QString("quendra-cli: unknown option chfoo (chvorhupd, chneu, chstamm, "
                          "chfreigart, chfreig, chbez, kondanl, ekanl, vkanl)\n"));
    QCOMPARE(standin.run({"post", "3", "--all", "--marked", "6"}, &out, &err), 2);
    QCOMPARE(standin.run({"post", "3", "--marked", "1"}, &out, &err), 1);
    QCOMPARE(err, QString("quendra-cli: Position 1 nicht im Download 3\n"));
    QCOMPARE(standin.run({"post", "99", "--all"}, &out, &err), 1);
    QCOMPARE(err, QString("quendra-cli: Download 99 nicht gefunden\n"));
    // Without an option nothing would be posted: no call, exit 2.
    QCOMPARE(standin.run({"post", "3", "--all"}, &out, &err), 2);
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("quendra-cli: post without --options posts nothing (chvorhupd, chneu, "
                          "chstamm, chfreigart, chfreig, chbez, kondanl, ekanl, vkanl)\n"));
}

void TestPosting::cliPostingUnderADeletionFails() {
    // Another job deletes the download while a posting runs: the posting
    // says how many positions were not posted and fails.
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why, {"--demo-positions", "20000"}), qPrintable(why));
    QString out, err;
    // The posting's settings trust the server already: its standard error
    // holds its own lines only.
    QTemporaryDir settings;
    QCOMPARE(standin.run({"downloads"}, &out, &err, 60000, settings.path()), 0);
    const QString key = out.section(u'\n', 0, 0).section(u'\t', -1);
    QProcess post;
    StartCli(post, {"--connect", standin.connect(), "post", key, "--all", "--options", "chneu"},
             settings.path());
    // Once the first answers are out, the download goes.
    QByteArray posted;
    while (posted.count('\n') < 50 && post.waitForReadyRead(30000))
        posted += post.readAllStandardOutput();
    QVERIFY(posted.count('\n') >= 50);
    QCOMPARE(standin.run({"delete", key}, &out, &err), 0);
    QVERIFY(post.waitForFinished(120000));
    posted += post.readAllStandardOutput();
    const QString errors = QString::fromUtf8(post.readAllStandardError());
    QCOMPARE(post.exitCode(), 1);
    QVERIFY2(QRegularExpression("^quendra-cli: Download " + key +
                                " wurde während des Verbuchens gelöscht: \\d+ von 20000 "
                                "Positionen nicht verbucht\n$")
                 .match(errors)
                 .hasMatch(),
             qPrintable(errors));
}

QTEST_GUILESS_MAIN(TestPosting)
#include "test_posting.moc"
