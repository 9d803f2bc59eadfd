#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "GuiTestHelpers.h"
#include "InProcessClient.h"
#include "PositionsWindow.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "conditions/gui/FMRabgr.h"
#include "conditions/gui/fmverbuch.h"
#include "positions/gui/FMPos.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>

using namespace PositionGrid;

namespace {

// Counts the queries and class methods that reach the server; the posting
// of the position `failing` goes to a method the server does not have.
class CountingClient : public InProcessClient {
public:
    CountingClient(StandinEngine& e, QHash<QString, int>* counts, const QString* failing)
        : InProcessClient(e), m_counts(counts), m_failing(failing) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (op == Wire::Op::ClassMethod || op == Wire::Op::Query)
            ++(*m_counts)[args.value(1)];
        if (op == Wire::Op::ClassMethod && args.value(1) == u"verbuch" && !m_failing->isEmpty() &&
            args.value(3) == *m_failing) {
            QStringList broken = args;
            broken[1] = QStringLiteral("verbuchx");
            return InProcessClient::post(op, broken, chained);
        }
        return InProcessClient::post(op, args, chained);
    }

private:
    QHash<QString, int>* m_counts;
    const QString* m_failing;
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
    void refusedPostingLeavesTheWindowForAnotherTry();
    void discountGroupWindowSetsAllDates();

private:
    FMPos* open(const PositionDownload& download, int rows);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    std::unique_ptr<FMPos> m_window;
    QHash<QString, int> m_counts;
    QString m_failing;
};

void TestGuiConditions::init() {
    StartDemoClient(m_fx, m_ui);
    m_counts.clear();
    m_fx->setClientMaker([this](StandinEngine& e) {
        return std::make_unique<CountingClient>(e, &m_counts, &m_failing);
    });
}

void TestGuiConditions::cleanup() {
    m_window.reset();
    EndDemoClient(m_fx, m_ui);
}

FMPos* TestGuiConditions::open(const PositionDownload& download, int rows) {
    return ShowPositionsWindow(m_fx->connection(), m_window, download, [rows](FMPos& w) {
        return w.Grid()->size() >= rows && w.findChild<QToolBar*>("tool1")->isEnabled();
    });
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

void TestGuiConditions::refusedPostingLeavesTheWindowForAnotherTry() {
    m_failing = "2";
    FMPos* w = open({"1", "70001", QStringLiteral("Müller Baustoffe GmbH")}, 3);
    const int loads = m_counts.value("pos");
    bool stayed = false;
    QString first;
    QString second;
    int reloads = 0;
    bool enabled = false;
    WhenShown<fmverbuch>(this, [&](fmverbuch* v) {
        v->Box("chmark")->setChecked(false);
        v->Box("chvorhupd")->setChecked(true);
        v->Box("ekanl")->setChecked(true);
        auto* button = v->findChild<QPushButton*>("BUVerbuch");
        button->click();
        // Refused at position 2: the window stays, over the grid read again.
        stayed = v->isVisible();
        reloads = m_counts.value("pos") - loads;
        first = w->Grid()->cellText(0, Stat);
        second = w->Grid()->cellText(1, Stat);
        enabled = v->Box("ekanl")->isEnabled() && button->isEnabled();
        m_failing.clear();
        button->click();
    });
    w->ToolButton("Verbuchen")->trigger();
    QVERIFY(stayed);
    QCOMPARE(reloads, 1);
    QVERIFY(enabled);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: fmverbuch.Verbuchen Position 2.\r\n\r\nFehler: 6022\r\n"
                     "Klassenmethode existiert nicht: quendrap.pos.verbuchx\r\n\r\n"));
    QCOMPARE(first, QString("Unverändert"));
    QCOMPARE(second, QString("1"));
    // The second try posted the rest, and the window went.
    QVERIFY(!w->PostingWindow()->isVisible());
    QCOMPARE(w->Grid()->cellText(1, Stat), QString("Verbucht: EK-Preis 01.11.2026"));
    QCOMPARE(w->Grid()->cellText(0, Stat), QString("Unverändert"));
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
    QString refused;
    int savedAfterRefusal = -1;
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
        // A date that is no date, still in its editor: "Speichern" shows
        // why and saves nothing.
        QTableView* grid = g->GroupView();
        const QModelIndex date = grid->model()->index(1, DiscountGroupModel::DatumAb);
        grid->setCurrentIndex(date);
        grid->edit(date);
        auto* dateEditor = qobject_cast<QLineEdit*>(grid->indexWidget(date));
        QVERIFY(dateEditor);
        dateEditor->setText("32.13.2027");
        g->ToolButton("Speichern")->trigger();
        refused = m_ui->messages.value(0).text;
        savedAfterRefusal = m_counts.value("speich");
        m_ui->messages.clear();
        // A rate typed into its cell, then "Verbuchen" with the release: the
        // edit still open is taken, every row saved, the answer shown.
        QTableView* view = g->GroupView();
        const QModelIndex rate = view->model()->index(0, DiscountGroupModel::Rab1);
        view->setCurrentIndex(rate);
        view->edit(rate);
        auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(rate));
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
    QCOMPARE(refused, QString("Kein gültiges Datum"));
    QCOMPARE(savedAfterRefusal, 0);
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
