#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "conditions/DiscountGroups.h"
#include "server/Connection.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QTemporaryDir>
#include <QTest>

using C = DiscountGroupModel;

namespace {

// Records the quendrap.ekgrp calls that reach the server, in order: the
// method and its arguments.
class GroupClient : public InProcessClient {
public:
    GroupClient(StandinEngine& e, QStringList* calls) : InProcessClient(e), m_calls(calls) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (args.value(0) == u"quendrap.ekgrp")
            m_calls->append(args.mid(1).join(u'|'));
        return InProcessClient::post(op, args, chained);
    }

private:
    QStringList* m_calls;
};

const PositionDownload kDownload1{"1", "70001", QStringLiteral("Müller Baustoffe GmbH")};
const PositionDownload kDownload3{"3", "70003", QStringLiteral("Weiß & Söhne Fliesen")};

QString rowLine(const DiscountGroupModel& m, int r) {
    QStringList cells;
    for (int c = 0; c < C::ColumnCount; ++c)
        cells << m.cellText(r, c);
    return cells.join(u'|');
}

QString styles(const DiscountGroupModel& m, int r) {
    QString s;
    for (int c = 0; c < C::ColumnCount; ++c)
        s += QChar(u'0' + m.cellStyle(r, c));
    return s;
}

} // namespace

// The discount group window's logic on the demo company: the load, the
// checks of an edit, tstdatum's highlight, "Setzen", "Speichern" and
// "Verbuchen" with the release question.
class TestDiscountGroups : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void typedDates_data();
    void typedDates();
    void loadShowsTheGroups();
    void noDownloadNoCall();
    void unreadableDateIsRejectedLocally();
    void dateTestHighlights_data();
    void dateTestHighlights();
    void ratesMustBeNumbers();
    void setAllDates();
    void postSavesThenAsks_data();
    void postSavesThenAsks();
    void ratesGoWithADecimalPoint();
    void groupInTheErpStaysAsItIs();
    void cliEditsSavesAndPosts();

private:
    void load(const PositionDownload& d);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    QStringList m_calls;
    std::unique_ptr<DiscountGroupModel> m_model;
    std::unique_ptr<DiscountGroupEditor> m_editor;
};

void TestDiscountGroups::init() {
    StartDemoClient(m_fx, m_ui);
    m_calls.clear();
    m_fx->setClientMaker(
        [this](StandinEngine& e) { return std::make_unique<GroupClient>(e, &m_calls); });
}

void TestDiscountGroups::cleanup() {
    m_editor.reset();
    m_model.reset();
    EndDemoClient(m_fx, m_ui);
}

void TestDiscountGroups::load(const PositionDownload& d) {
    m_editor.reset(); // it refers to the model
    m_model = std::make_unique<DiscountGroupModel>();
    m_editor = std::make_unique<DiscountGroupEditor>(m_fx->connection(), *m_model, d);
    QVERIFY(m_editor->load());
    m_calls.clear();
}

void TestDiscountGroups::typedDates_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("date");
    QTest::newRow("dots") << "01.04.2027" << QDate(2027, 4, 1);
    QTest::newRow("hyphens") << "01-04-2027" << QDate(2027, 4, 1);
    QTest::newRow("slashes") << "01/04/2027" << QDate(2027, 4, 1);
    QTest::newRow("any separator") << "15x07y2026" << QDate(2026, 7, 15);
    QTest::newRow("two-digit year") << "31.12.27" << QDate(2027, 12, 31);
    QTest::newRow("blanks around") << " 01.04.2027 " << QDate(2027, 4, 1);
    QTest::newRow("no such day") << "31.02.2027" << QDate();
    QTest::newRow("five characters") << "01.04" << QDate();
    QTest::newRow("separators elsewhere") << "1.4.2027" << QDate();
    QTest::newRow("no date") << "abcdefgh" << QDate();
    QTest::newRow("empty") << "" << QDate();
}

void TestDiscountGroups::typedDates() {
    QFETCH(QString, typed);
    QFETCH(QDate, date);
    QCOMPARE(ParseGroupDate(typed).value_or(QDate()), date);
}

void TestDiscountGroups::loadShowsTheGroups() {
    load(kDownload1);
    QAbstractItemModelTester tester(m_model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m_model->size(), 2);
    QCOMPARE(rowLine(*m_model, 0),
             QString("RG01|RG01|Dübel und Schrauben|100100|01.11.2026|10|2||"));
    QVERIFY(!m_model->row(0).green);
    // RG02 is in the ERP exactly so: green, the ERP's rates.
    QCOMPARE(rowLine(*m_model, 1),
             QString("RG02|RG02|Mörtel und Estrich|100200|01.11.2026|22|3|0|0"));
    QVERIFY(m_model->row(1).green);
    QCOMPARE(m_model->index(1, C::Rab1).data(Qt::BackgroundRole).value<QBrush>().color(),
             QColor(0, 255, 0));
    QVERIFY(!m_model->index(0, C::Rab1).data(Qt::BackgroundRole).isValid());
    QVERIFY(!m_model->row(0).id.isEmpty());
    QCOMPARE(m_model->index(0, 0).data(C::RowKeyRole).toString(), m_model->row(0).id);
    // A group without a date shows an empty "Datum ab".
    load({"2", "70002", QString()});
    QCOMPARE(m_model->size(), 1);
    QCOMPARE(m_model->cellText(0, C::DatumAb), QString());
    QVERIFY(!m_model->row(0).date.isValid());
    QCOMPARE(DiscountGroupTitle(kDownload3),
             QString("Quendra Preisdaten - Rabattgruppen   70003 Weiß & Söhne Fliesen"));
}

void TestDiscountGroups::noDownloadNoCall() {
    DiscountGroupModel m;
    DiscountGroupEditor editor(m_fx->connection(), m, PositionDownload{});
    QVERIFY(editor.load());
    QCOMPARE(m.size(), 0);
    // "Setzen" and "Speichern" on an empty grid ask the server nothing.
    QVERIFY(editor.setAllDates(QDate(2027, 1, 1)));
    QVERIFY(editor.save());
    QVERIFY(m_calls.isEmpty());
    QVERIFY(m_ui->messages.isEmpty());
}

void TestDiscountGroups::unreadableDateIsRejectedLocally() {
    load(kDownload1);
    for (const char* typed : {"31.02.2027", "1.4.7", ""}) {
        QVERIFY(!m_model->setData(m_model->index(0, C::DatumAb), QString(typed)));
        QCOMPARE(m_ui->messages.size(), 1);
        const auto message = m_ui->messages.takeFirst();
        QCOMPARE(message.text, QString("Kein gültiges Datum"));
        QCOMPARE(message.title, QString());
        QCOMPARE(message.icon, MessageIcon::Critical);
        QCOMPARE(message.buttons, MessageButtons::Ok);
        QCOMPARE(m_model->cellText(0, C::DatumAb), QString("01.11.2026"));
    }
    QVERIFY(m_calls.isEmpty());
}

void TestDiscountGroups::dateTestHighlights_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("styles");
    // RG20 of download 3 maps to the ERP's RG22, valid from 01.07.2026.
    QTest::newRow("a date the ERP group has") << "01.07.2026"
                                              << "000011111";
    QTest::newRow("before its validity") << "01.01.2026"
                                         << "000011111";
    QTest::newRow("a new date") << "01-09-2027"
                                << "000000000";
}

void TestDiscountGroups::dateTestHighlights() {
    QFETCH(QString, typed);
    QFETCH(QString, styles);
    load(kDownload3);
    QCOMPARE(m_model->cellText(0, C::Rabgr), QString("RG20"));
    const QString id = m_model->row(0).id;
    QVERIFY(m_model->setData(m_model->index(0, C::DatumAb), typed));
    QCOMPARE(::styles(*m_model, 0), styles);
    QCOMPARE(m_calls,
             QStringList{"tstdatum|" + id + "|3|" + ParseGroupDate(typed)->toString("dd.MM.yyyy")});
    QCOMPARE(m_model->index(0, C::Rab4).data(C::StyleRole).toInt(), styles.endsWith('1') ? 1 : 0);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestDiscountGroups::ratesMustBeNumbers() {
    load(kDownload1);
    QVERIFY(!m_model->setData(m_model->index(0, C::Rab3), QString("3x")));
    QCOMPARE(m_ui->messages.takeFirst().text, QString("Keine gültige Zahl: 3x"));
    QCOMPARE(m_model->cellText(0, C::Rab3), QString());
    QVERIFY(m_model->setData(m_model->index(0, C::Rab3), QString("12.5")));
    QCOMPARE(m_model->cellText(0, C::Rab3), QString("12,5"));
    QVERIFY(m_model->setData(m_model->index(0, C::Rab1), QString("")));
    QCOMPARE(m_model->cellText(0, C::Rab1), QString());
    // A rate is 0 to 100 with at most two decimals.
    for (const QString rate : {"150", "-50", "1e10", "1,23456", "100,001"}) {
        QVERIFY2(!m_model->setData(m_model->index(0, C::Rab2), rate), qPrintable(rate));
        QCOMPARE(m_ui->messages.takeFirst().text,
                 "Ein Rabatt liegt zwischen 0 und 100 % und hat höchstens zwei "
                 "Nachkommastellen: " +
                     rate);
        QCOMPARE(m_model->cellText(0, C::Rab2), QString("2"));
    }
    QVERIFY(m_model->setData(m_model->index(0, C::Rab2), QString("100")));
    QVERIFY(m_model->setData(m_model->index(0, C::Rab2), QString("0,25")));
    // The description goes into the ERP: no character it cannot keep.
    QVERIFY(!m_model->setData(m_model->index(0, C::Bezeichnung), QString("Dübel [Nylon]")));
    QCOMPARE(m_ui->messages.takeFirst().text,
             QString("Das Zeichen [ kann im ERP nicht gespeichert werden"));
    QVERIFY(m_ui->messages.isEmpty());
    // The supplier's own group and the first article are not edited.
    QVERIFY(!(m_model->flags(m_model->index(0, C::Rabgr)) & Qt::ItemIsEditable));
    QVERIFY(!(m_model->flags(m_model->index(0, C::ErsterArtikel)) & Qt::ItemIsEditable));
    QVERIFY(m_calls.isEmpty());
}

void TestDiscountGroups::setAllDates() {
    load(kDownload3);
    QCOMPARE(m_model->size(), 2);
    QVERIFY(m_editor->setAllDates(QDate(2027, 1, 1)));
    // RG21 of the ERP has 01.01.2027; RG22 (which RG20 maps to) has not.
    QCOMPARE(m_model->cellText(0, C::DatumAb), QString("01.01.2027"));
    QCOMPARE(m_model->cellText(1, C::DatumAb), QString("01.01.2027"));
    QCOMPARE(styles(*m_model, 0), QString("000000000"));
    QCOMPARE(styles(*m_model, 1), QString("000011111"));
    QCOMPARE(m_calls.size(), 2);
    // Nothing is saved by it.
    load(kDownload3);
    QCOMPARE(m_model->cellText(1, C::DatumAb), QString("01.01.2027"));
    QCOMPARE(m_model->cellText(0, C::DatumAb), QString("01.01.2027"));
    QVERIFY(m_editor->setAllDates(QDate(2027, 5, 1)));
    load(kDownload3);
    QCOMPARE(m_model->cellText(0, C::DatumAb), QString("01.01.2027"));
}

void TestDiscountGroups::postSavesThenAsks_data() {
    QTest::addColumn<bool>("release");
    QTest::newRow("No") << false;
    QTest::newRow("Yes") << true;
}

void TestDiscountGroups::postSavesThenAsks() {
    QFETCH(bool, release);
    load(kDownload1);
    const QString rg01 = m_model->row(0).id;
    const QString rg02 = m_model->row(1).id;
    QVERIFY(m_model->setData(m_model->index(0, C::Rab1), QString("12,5")));
    QVERIFY(m_model->setData(m_model->index(0, C::Bezeichnung), QString("Dübel, Schrauben")));
    int asked = 0;
    QVERIFY(m_editor->post([&] {
        ++asked;
        // Asked once every row is saved.
        return m_calls.size() == 2 && release;
    }));
    QCOMPARE(asked, 1);
    const QString flag = release ? "J" : "N";
    QCOMPARE(m_calls,
             QStringList({"speich|" + rg01 + "|RG01|Dübel, Schrauben|01.11.2026|12.5|2||",
                          "speich|" + rg02 + "|RG02|Mörtel und Estrich|01.11.2026|22|3|0|0",
                          "verbuch|1|DEM|" + flag}));
    QCOMPARE(m_editor->lastAnswer(), QString("2 Rabattgruppen verbucht"));
    StandinEngine& e = m_fx->engine();
    QCOMPARE(e.textValue("SELECT RAB1 || '/' || FREIGABE || '/' || DLID FROM vt_ekrabgr WHERE "
                         "LNR='70001' AND CODE='RG01' AND DATUM='01.11.2026'",
                         {}),
             "12.5/" + flag + "/1");
    // Released, the group is in the ERP exactly so: green; its positions
    // take its discounts.
    load(kDownload1);
    QCOMPARE(m_model->row(0).green, release);
    QCOMPARE(e.textValue("SELECT ekgrp || '/' || rab1 FROM quendrap_pos WHERE id='1'", {}),
             release ? QString("RG01/12.5") : QString("/10"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestDiscountGroups::ratesGoWithADecimalPoint() {
    // The server delivers and reads rates with a decimal point; the grid
    // shows a comma. "12.50" goes back as it came, a typed "12,5" as 12.5.
    m_fx->engine().execText("UPDATE quendrap_ekgrp SET Rabatt1='12.50', Rabatt2='3.25' WHERE "
                            "DLID='1' AND RabattGR='RG02'",
                            {});
    load(kDownload1);
    QCOMPARE(m_model->cellText(1, C::Rab1), QString("12,50"));
    QVERIFY(m_model->setData(m_model->index(0, C::Rab1), QString("12,5")));
    QVERIFY(m_model->setData(m_model->index(0, C::Rab2), QString("0,75")));
    m_calls.clear();
    QVERIFY(m_editor->save());
    QCOMPARE(m_calls.size(), 2);
    QCOMPARE(m_calls[0].section(u'|', 5, 6), QString("12.5|0.75"));
    QCOMPARE(m_calls[1].section(u'|', 5, 8), QString("12.50|3.25|0|0"));
    QCOMPARE(
        m_fx->engine().textValue("SELECT Rabatt1 || '/' || Rabatt2 FROM quendrap_ekgrp WHERE id=?",
                                 {m_model->row(0).id}),
        QString("12.5/0.75"));
}

void TestDiscountGroups::groupInTheErpStaysAsItIs() {
    // The ERP keeps RG02 of 01.11.2026 with its rates written its own way.
    StandinEngine& e = m_fx->engine();
    const QString rg02 = "1||70001||RG02||01.11.2026";
    e.execText("UPDATE vt_ekrabgr SET RAB1='22.00', RAB3='', RAB4='', FREIGABE='' WHERE id=?",
               {rg02});
    const QString record = "SELECT RAB1||'|'||RAB3||'|'||FREIGABE||'|'||DLID FROM vt_ekrabgr "
                           "WHERE id=?";
    const QString before = e.textValue(record, {rg02});
    load(kDownload1);
    QVERIFY(m_model->row(1).green);
    // Posted unreleased and released: the record is neither rewritten nor
    // withdrawn.
    QVERIFY(m_editor->post([] { return false; }));
    QCOMPARE(e.textValue(record, {rg02}), before);
    QVERIFY(m_editor->post([] { return true; }));
    QCOMPARE(e.textValue(record, {rg02}), before);
    load(kDownload1);
    QVERIFY(m_model->row(1).green);
}

void TestDiscountGroups::cliEditsSavesAndPosts() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    QString out;
    QString err;
    QCOMPARE(standin.run({"ekgroups", "1"}, &out, &err), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QString id = lines[0].section('\t', 0, 0);
    QCOMPARE(lines[0].section('\t', 1),
             QString("RG01\tRG01\tDübel und Schrauben\t100100\t01.11.2026\t10\t2\t\t\t0\t00000"));
    QCOMPARE(lines[1].section('\t', 10), QString("1\t00000"));
    // A refused edit: its message, exit 1, the row as it was.
    QCOMPARE(standin.run({"ekgroups", "1", "--set", id + ":4=32.13.2027"}, &out, &err), 1);
    QCOMPARE(err, QString("Kein gültiges Datum\n"));
    QCOMPARE(out.section('\n', 0, 0).section('\t', 5, 5), QString("01.11.2026"));
    // A refused edit saves nothing, not even the edits before it.
    QCOMPARE(standin.run({"ekgroups", "1", "--set", id + ":2=Neu", "--set", id + ":6=x", "--save"},
                         &out, &err),
             1);
    QCOMPARE(err, QString("Keine gültige Zahl: x\n"));
    QCOMPARE(standin.run({"ekgroups", "1"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 0, 0).section('\t', 3, 3), QString("Dübel und Schrauben"));
    // Edited, dated and saved; then posted with the release.
    QCOMPARE(standin.run({"ekgroups", "1", "--set", id + ":5=11", "--date", "01.05.2027", "--save"},
                         &out, &err),
             0);
    QCOMPARE(out.section('\n', 0, 0).section('\t', 5, 6), QString("01.05.2027\t11"));
    QCOMPARE(standin.run({"ekgroups", "1", "--post", "J"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 2, 2), QString("Verbuchen\t2 Rabattgruppen verbucht"));
    QCOMPARE(standin.run({"ekgroups", "1"}, &out, &err), 0);
    QCOMPARE(out.section('\n', 0, 0).section('\t', 10), QString("1\t00000"));
    // Wrong calls.
    QCOMPARE(standin.run({"ekgroups", "1", "--post", "X"}, &out, &err), 2);
    QCOMPARE(standin.run({"ekgroups", "1", "--set", "x"}, &out, &err), 2);
    QCOMPARE(err, QString("quendra-cli: --set needs ID:COL=VALUE with COL 0 to 8: x\n"));
    QCOMPARE(standin.run({"ekgroups", "1", "--set", "999:2=a"}, &out, &err), 1);
    QCOMPARE(err, QString("quendra-cli: Rabattgruppe 999 nicht im Download 1\n"));
}

QTEST_GUILESS_MAIN(TestDiscountGroups)
#include "test_discount_groups.moc"
