#include "ClientTestFixture.h"
#include "GuiTestHelpers.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "conditions/gui/FMRabgr.h"
#include "conditions/gui/fmverbuch.h"
#include "positions/gui/FMPos.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>

using namespace PositionGrid;

namespace {

// Counts the queries and class methods that reach the server.
class CountingClient : public InProcessClient {
public:
    CountingClient(StandinEngine& e, QHash<QString, int>* counts)
        : InProcessClient(e), m_counts(counts) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (op == Wire::Op::ClassMethod || op == Wire::Op::Query)
            ++(*m_counts)[args.value(1)];
        return InProcessClient::post(op, args, chained);
    }

private:
    QHash<QString, int>* m_counts;
};

} // namespace

// The posting window and the discount group window, opened from the
// positions window's toolbar as a buyer opens them.
class TestGuiConditions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void postingWindowKeepsItsBoxesUntilClosed();
    void discountGroupWindowSetsAllDates();

private:
    FMPos* open(const PositionDownload& download, int rows);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    std::unique_ptr<FMPos> m_window;
    QHash<QString, int> m_counts;
};

void TestGuiConditions::init() {
    m_fx = std::make_unique<ClientTestFixture>();
    m_ui = std::make_unique<ScriptedUserInterface>();
    m_fx->demoSession();
    m_counts.clear();
    m_fx->setClientMaker(
        [this](StandinEngine& e) { return std::make_unique<CountingClient>(e, &m_counts); });
}

void TestGuiConditions::cleanup() {
    m_window.reset();
    m_ui.reset();
    m_fx.reset();
}

FMPos* TestGuiConditions::open(const PositionDownload& download, int rows) {
    m_window = std::make_unique<FMPos>(download);
    m_window->setModal(false);
    m_window->show();
    QElapsedTimer clock;
    clock.start();
    while ((m_window->loading() || m_window->Grid()->size() < rows ||
            !m_window->findChild<QToolBar*>("tool1")->isEnabled()) &&
           clock.elapsed() < 10000)
        QTest::qWait(5);
    return m_window.get();
}

void TestGuiConditions::postingWindowKeepsItsBoxesUntilClosed() {
    FMPos* w = open({"1", "70001", QStringLiteral("Müller Baustoffe GmbH")}, 3);
    QCOMPARE(w->Grid()->size(), 3);
    QStringList seen;
    bool initial = true;
    WhenShown<fmverbuch>(this, [&](fmverbuch* v) {
        QCOMPARE(v->windowTitle(), QString("VELTAR Quendra Preisdaten - Verbuchen"));
        QCOMPARE(v->Box("chmark")->text(), QString("Nur makierte"));
        // As the window starts: only "Nur makierte"; the seven update boxes
        // in their frame.
        for (const QString& name : PostingOptions::names()) {
            initial = initial && !v->Box(name)->isChecked();
            seen << v->Box(name)->text();
        }
        initial = initial && v->Box("chmark")->isChecked();
        auto* frame = v->findChild<QGroupBox*>("fr_selekt");
        QCOMPARE(frame->title(), QString("Selektion Updates"));
        QCOMPARE(frame->findChildren<QCheckBox*>().size(), 7);
        QCOMPARE(v->PreviewText().section('\n', 0, 0),
                 QString("Positionen zum Verbuchen: 0 von 3"));
        v->Box("chmark")->setChecked(false);
        QCOMPARE(v->PreviewText().section('\n', 0, 1),
                 QString("Positionen zum Verbuchen: 3 von 3\n"
                         "Neue Artikel: 0, vorhandene Artikel: 3"));
        v->Box("chvorhupd")->setChecked(true);
        v->Box("ekanl")->setChecked(true);
        v->findChild<QPushButton*>("BUVerbuch")->click();
    });
    w->ToolButton("Verbuchen")->trigger();
    QVERIFY(initial);
    QCOMPARE(seen, PostingOptions::captions());
    QCOMPARE(m_counts.value("verbuch"), 3);
    QVERIFY(m_ui->messages.isEmpty());
    // Hidden, not closed: the grid and the candidate list were read again.
    QVERIFY(w->PostingWindow());
    QVERIFY(!w->PostingWindow()->isVisible());
    QCOMPARE(m_counts.value("getposvt"), 2);
    QCOMPARE(w->Grid()->cellText(1, Stat), QString("Verbucht: EK-Preis 01.11.2026"));
    QVERIFY(w->Grid()->row(1).ekFlag);

    // Opened again: the boxes as they were; closed by its close box it is
    // discarded, and the next opening starts afresh.
    bool kept = false;
    WhenShown<fmverbuch>(this, [&](fmverbuch* v) {
        kept = !v->Box("chmark")->isChecked() && v->Box("chvorhupd")->isChecked() &&
               v->Box("ekanl")->isChecked() && !v->Box("chneu")->isChecked();
        v->close();
    });
    w->ToolButton("Verbuchen")->trigger();
    QVERIFY(kept);
    QVERIFY(!w->PostingWindow());
    QCOMPARE(m_counts.value("getposvt"), 2); // nothing posted, nothing reloaded
    bool fresh = false;
    WhenShown<fmverbuch>(this, [&](fmverbuch* v) {
        fresh = v->Box("chmark")->isChecked() && !v->Box("chvorhupd")->isChecked();
        v->close();
    });
    w->ToolButton("Verbuchen")->trigger();
    QVERIFY(fresh);
}

void TestGuiConditions::discountGroupWindowSetsAllDates() {
    FMPos* w = open({"3", "70003", QStringLiteral("Weiß & Söhne Fliesen")}, 4);
    QCOMPARE(w->Grid()->size(), 4);
    const int posQueries = m_counts.value("pos");
    const int candidates = m_counts.value("getposvt");
    QString title;
    int rows = 0;
    QDate started;
    QStringList dates;
    QString status;
    WhenShown<FMRabgr>(this, [&](FMRabgr* g) {
        QTRY_VERIFY(g->Groups()->size() > 0);
        title = g->windowTitle();
        rows = g->Groups()->size();
        // A click on the header of "Datum ab" opens the date dialog.
        WhenShown<FMRabgrdat>(this, [&](FMRabgrdat* d) {
            QCOMPARE(d->windowTitle(),
                     QString("VELTAR Quendra Preisdaten - Rabattgruppen setzen neues Ab-Datum"));
            started = d->DateEdit()->date();
            d->DateEdit()->setDate(QDate(2027, 9, 1));
            d->SetButton()->click();
        });
        QHeaderView* header = g->GroupView()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(DiscountGroupModel::DatumAb) + 5,
                                 header->height() / 2));
        QTRY_VERIFY(started.isValid());
        QTRY_VERIFY(!g->findChild<FMRabgrdat*>());
        for (int r = 0; r < g->Groups()->size(); ++r)
            dates << g->Groups()->cellText(r, DiscountGroupModel::DatumAb);
        // A rate typed into its cell, then "Verbuchen" with the release: the
        // edit still open is taken, every row saved, the answer shown.
        QTableView* view = g->GroupView();
        const QModelIndex rate = view->model()->index(0, DiscountGroupModel::Rab1);
        view->setCurrentIndex(rate);
        view->edit(rate);
        auto* editor = view->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText("7,5");
        m_ui->answers.enqueue(MessageAnswer::Yes);
        g->ToolButton("Verbuchen")->trigger();
        status = g->StatusText();
        g->ToolButton("Ausstieg")->trigger();
    });
    w->ToolButton("Rabattgruppen")->trigger();
    QCOMPARE(title, QString("Quendra Preisdaten - Rabattgruppen   70003 Weiß & Söhne Fliesen"));
    QVERIFY(rows > 0);
    QCOMPARE(started, QDate::currentDate());
    QCOMPARE(dates, QStringList(rows, "01.09.2027"));
    QCOMPARE(m_counts.value("tstdatum"), rows);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Ekgruppen freigeben und in Veltar verwenden"));
    QCOMPARE(m_ui->messages[0].buttons, MessageButtons::YesNo);
    QCOMPARE(m_counts.value("speich"), rows);
    QCOMPARE(status, QString("2 Rabattgruppen verbucht"));
    // RG20 is in the ERP now as its group RG22 from the date set for all,
    // released, with the typed rate.
    QCOMPARE(m_fx->engine().textValue("SELECT RAB1 || '/' || FREIGABE FROM vt_ekrabgr WHERE "
                                      "LNR='70003' AND CODE='RG22' AND DATUM='01.09.2027'",
                                      {}),
             QString("7.5/J"));
    // The grid is read again, the candidate list is not.
    QCOMPARE(m_counts.value("pos"), posQueries + 1);
    QCOMPARE(m_counts.value("getposvt"), candidates);
}

QTEST_MAIN(TestGuiConditions)
#include "test_gui_conditions.moc"
