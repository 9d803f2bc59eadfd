#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "PositionRows.h"
#include "PositionsWindow.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "positions/gui/FMPos.h"
#include "positions/gui/FMUebersicht.h"

#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using namespace PositionGrid;

namespace {

using Cells = QMap<int, QString>;

// The deviations of the rows made for the window: a few in every step but
// one ("-10 bis -5 %" stays empty), many at 7.5 %.
const QStringList kDeviations{"-30", "-20", "-20", "-4", "-2", "-0.5", "0",   "0",
                              "1",   "2",   "2.5", "5",  "12", "20",   "20.5"};

PositionRow made(int id, const QString& article, const QString& deviation,
                 const QString& margin = "10") {
    return PositionRowOf({{1, QString::number(id)},
                          {2, QString("B-%1").arg(id)},
                          {3, QString("Position %1").arg(id)},
                          {5, "10"},
                          {8, article},
                          {14, deviation},
                          {52, margin}});
}

// Double-clicks a line of a list.
void doubleClickLine(QTreeView* list, int line) {
    const QRect rect = list->visualRect(list->model()->index(line, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

// The overview window as a buyer uses it: it follows the grid's filter and
// edits, a bar leads to exactly its step's rows, a count to its quick
// filter, a line of a list to its row; opened from the positions window.
class TestGuiOverview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void followsTheGridAndAsksForRows();
    void positionsWindowLeadsIntoTheGrid();

private:
    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    std::unique_ptr<FMPos> m_window;
};

void TestGuiOverview::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestGuiOverview::cleanup() {
    m_window.reset();
    EndDemoClient(m_fx, m_ui);
}

void TestGuiOverview::followsTheGridAndAsksForRows() {
    PositionGridModel grid;
    QVector<PositionRow> rows;
    for (int i = 0; i < int(kDeviations.size()); ++i)
        rows << made(i, QString("A%1").arg(i), kDeviations[i]);
    for (int i = 0; i < 1200; ++i)
        rows << made(100 + i, QString("A%1").arg(100 + i), "7.5");
    for (int i = 0; i < 1500; ++i)
        rows << made(5000 + i, QString(), QString());
    grid.appendRows(rows);
    PositionView view;
    view.setSourceModel(&grid);
    FMUebersicht w(view);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy filters(&w, &FMUebersicht::filterWanted);
    QSignalSpy wantedRows(&w, &FMUebersicht::rowWanted);
    // German numbers, the chart's steps, what the overview is over.
    QCOMPARE(w.Heading(), QString("Übersicht über 2.715 Positionen: alle des Downloads"));
    QCOMPARE(w.findChild<QLabel*>("lbPositionen")->text(), QString("2.715"));
    QCOMPARE(w.CountButton(PositionOverview::OhneArtNr)->text(), QString("1.500"));
    QCOMPARE(w.CountButton(PositionOverview::Steigend)->text(), QString("1.207"));
    QCOMPARE(w.CountButton(PositionOverview::Unveraendert)->text(), QString("2"));
    QCOMPARE(w.Chart()->steps(),
             (std::array<int, kDeviationSteps>{1, 2, 0, 1, 2, 2, 2, 2, 1200, 2, 1}));
    QCOMPARE(w.TopList(true)->model()->rowCount(), 20);
    QCOMPARE(w.TopList(false)->model()->rowCount(), 6);

    // A bar: the grid is to show exactly that step's rows; the chart keeps
    // every step and frames the chosen one.
    QTest::mouseClick(w.Chart(), Qt::LeftButton, {}, w.Chart()->stepPoint(1));
    QCOMPARE(filters.size(), 1);
    PositionFilter f = filters.takeFirst().at(0).value<PositionFilter>();
    QCOMPARE(f.step, 1);
    view.setFilter(f);
    QCOMPARE(view.rowCount(), 2);
    for (int r = 0; r < view.rowCount(); ++r)
        QCOMPARE(grid.row(view.sourceRow(r)).text(Abweichung), QString("-20,00 %"));
    QTRY_COMPARE(w.Chart()->selected(), 1);
    QCOMPARE(w.Chart()->steps()[8], 1200);
    QCOMPARE(w.Heading(), QString("Übersicht über 2.715 Positionen: alle des Downloads; im "
                                  "Raster nur % Abw. „-20 bis -10 %“"));
    // The same bar again lets the step go; a step without rows asks nothing.
    QTest::mouseClick(w.Chart(), Qt::LeftButton, {}, w.Chart()->stepPoint(1));
    QCOMPARE(filters.takeFirst().at(0).value<PositionFilter>().step, -1);
    QTest::mouseClick(w.Chart(), Qt::LeftButton, {}, w.Chart()->stepPoint(2));
    QCOMPARE(filters.size(), 0);

    // A count: its quick filter, every step; the grid then shows its rows,
    // and the overview follows the filter.
    w.CountButton(PositionOverview::Fallend)->click();
    QCOMPARE(filters.size(), 1);
    f = filters.takeFirst().at(0).value<PositionFilter>();
    QCOMPARE(f.step, -1);
    QVERIFY(f.has(QuickFilter::EkNiedriger));
    QVERIFY(!w.CountButton(PositionOverview::Fallend)->isChecked());
    view.setFilter(f);
    QCOMPARE(view.rowCount(), 6);
    QTRY_COMPARE(w.Heading(),
                 QString("Übersicht über 6 Positionen im Filter des Rasters: EK niedriger"));
    QVERIFY(w.CountButton(PositionOverview::Fallend)->isChecked());
    QCOMPARE(w.CountButton(PositionOverview::Steigend)->text(), QString("0"));
    QVERIFY(!w.CountButton(PositionOverview::Steigend)->isEnabled());
    QCOMPARE(w.Chart()->steps(),
             (std::array<int, kDeviationSteps>{1, 2, 0, 1, 2, 0, 0, 0, 0, 0, 0}));
    // Clicked again, the quick filter goes.
    w.CountButton(PositionOverview::Fallend)->click();
    QVERIFY(!filters.takeFirst().at(0).value<PositionFilter>().has(QuickFilter::EkNiedriger));

    // A double click in a list names the grid row.
    doubleClickLine(w.TopList(false), 0);
    QCOMPARE(wantedRows.size(), 1);
    QCOMPARE(wantedRows.takeFirst().at(0).toInt(), 0); // -30 %

    // An assignment (a row rebuilt) and an edit of a margin are counted.
    view.setFilter({});
    QTRY_COMPARE(w.CountButton(PositionOverview::OhneArtNr)->text(), QString("1.500"));
    grid.replaceRow(kDeviations.size() + 1200, made(5000, "A5000", "-50"));
    grid.setServerValue(3, Spanne, "-2.5");
    QTRY_COMPARE(w.CountButton(PositionOverview::OhneArtNr)->text(), QString("1.499"));
    QCOMPARE(w.CountButton(PositionOverview::SpanneUnter0)->text(), QString("1"));
    QCOMPARE(w.Chart()->steps()[0], 2);
    QCOMPARE(w.TopList(false)->model()->index(0, OverviewTopModel::BestNr).data().toString(),
             QString("B-5000"));
}

void TestGuiOverview::positionsWindowLeadsIntoTheGrid() {
    // 60 generated positions (every third assigned), their prices spread so
    // that the assigned ones fall into several steps.
    const QString key = FillDemoPositions(m_fx->engine(), 60);
    QSqlQuery q(m_fx->engine().db());
    QVERIFY(q.exec("UPDATE quendrap_pos SET Preis = round(Preis * (0.7 + (CAST(id AS INTEGER) % "
                   "9) * 0.08), 4) WHERE DLID='" +
                   key + "'"));
    FMPos* w =
        ShowPositionsWindow(m_fx->connection(), m_window,
                            PositionDownload{key, "70001", QStringLiteral("Müller"), QString(), 60},
                            [](FMPos& win) { return win.Grid()->size() >= 60; });
    QVERIFY(!w->OverviewWindow());
    QStringList captions;
    for (QAction* a : w->findChild<QToolBar*>("tool1")->actions())
        captions << a->text();
    QCOMPARE(captions.mid(captions.size() - 2), (QStringList{"Übersicht", "Ausstieg"}));
    QCOMPARE(w->ToolButton("Übersicht")->objectName(), QString("tool1_10"));
    // Ctrl+U opens it beside the grid.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w, Qt::Key_U, Qt::ControlModifier);
    FMUebersicht* o = w->OverviewWindow();
    QVERIFY(o);
    QTRY_VERIFY(o->isVisible());
    QCOMPARE(o->Overview().count(PositionOverview::Positionen), 60);
    QCOMPARE(o->Overview().count(PositionOverview::MitArtNr), 20);

    // The fullest step's bar: the grid shows exactly its rows, the filter
    // bar names the step, the status line counts them.
    int fullest = 0;
    for (int s = 0; s < kDeviationSteps; ++s)
        if (o->Overview().steps[size_t(s)] > o->Overview().steps[size_t(fullest)])
            fullest = s;
    const int inStep = o->Overview().steps[size_t(fullest)];
    QVERIFY(inStep > 0 && inStep < 20);
    QTest::mouseClick(o->Chart(), Qt::LeftButton, {}, o->Chart()->stepPoint(fullest));
    QCOMPARE(w->View()->filter().step, fullest);
    QCOMPARE(w->View()->rowCount(), inStep);
    for (int r = 0; r < inStep; ++r)
        QCOMPARE(DeviationStepOf(w->Grid()->row(w->View()->sourceRow(r))), fullest);
    QCOMPARE(w->StatusText(), QString("%1 von 60 Positionen").arg(inStep));
    auto* stepButton = w->findChild<QToolButton*>("filter_abweichung");
    QVERIFY(stepButton->isVisible() && stepButton->isChecked());
    QCOMPARE(stepButton->text(), "% Abw. " + DeviationStepLabel(fullest));

    // A line of a list in another step: the step goes, the row is current.
    const QList<int> rises = o->Overview().rises;
    int other = -1;
    for (int line = 0; line < rises.size() && other < 0; ++line)
        if (DeviationStepOf(w->Grid()->row(rises[line])) != fullest)
            other = line;
    QVERIFY(other >= 0);
    doubleClickLine(o->TopList(true), other);
    QCOMPARE(w->View()->filter().step, -1);
    QVERIFY(!stepButton->isVisible());
    QTableView* grid = w->PositionGridView();
    QCOMPARE(w->View()->sourceRow(grid->currentIndex().row()), rises[other]);

    // A count sets its quick filter in the filter bar.
    o->CountButton(PositionOverview::OhneArtNr)->click();
    QVERIFY(w->findChild<QToolButton*>("filter_ohne-artnr")->isChecked());
    QCOMPARE(w->View()->rowCount(), 40);
    QTRY_COMPARE(o->Overview().count(PositionOverview::Positionen), 40);
    w->SetFilter({});

    // An edit: a sales price below the cost makes the margin negative.
    QTRY_COMPARE(o->Overview().count(PositionOverview::Positionen), 60);
    const int before = o->Overview().count(PositionOverview::SpanneUnter0);
    int edited = -1;
    for (int r = 0; r < w->View()->rowCount() && edited < 0; ++r)
        if (w->Grid()->isEditable(w->View()->sourceRow(r), VkExcl) &&
            w->Grid()->row(w->View()->sourceRow(r)).number(Spanne) > 0)
            edited = r;
    QVERIFY(edited >= 0);
    QVERIFY(grid->model()->setData(grid->model()->index(edited, VkExcl), "0,01"));
    QTRY_COMPARE(o->Overview().count(PositionOverview::SpanneUnter0), before + 1);
    QCOMPARE(o->CountButton(PositionOverview::SpanneUnter0)->text(), QString::number(before + 1));

    // "Aktualisieren" after another workstation made every price equal to
    // the ERP's: the overview shows the grid read again.
    QVERIFY(q.exec("UPDATE quendrap_pos SET ARTNR='' WHERE DLID='" + key + "'"));
    w->Aktualisieren_Click();
    QTRY_COMPARE(o->Overview().count(PositionOverview::OhneVergleich), 60);
    QCOMPARE(o->Chart()->steps(), (std::array<int, kDeviationSteps>{}));

    // The overview goes with the positions window.
    w->close();
    QTRY_VERIFY(!o->isVisible());
}

QTEST_MAIN(TestGuiOverview)
#include "test_gui_overview.moc"
