#include "ClientTestFixture.h"
#include "GuiTestHelpers.h"
#include "ScriptedUserInterface.h"
#include "positions/gui/FMPos.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTreeView>

using namespace PositionGrid;

// The positions window edited as a buyer does: a drop-down cell through its
// editor, the candidate list by click and double-click, the marks and the
// batch setting.
class TestGuiPositions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void dropDownCellIsCheckedAndStored();
    void candidateListAssignsRowAfterRow();
    void marksAndBatchSetting();

private:
    // Opens the window for download 1 and waits for its load.
    FMPos* open();
    QString serverCell(int row, int column);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    std::unique_ptr<FMPos> m_window;
    ListedPrompts m_none{{}};
};

void TestGuiPositions::init() {
    m_fx = std::make_unique<ClientTestFixture>();
    m_ui = std::make_unique<ScriptedUserInterface>();
    m_fx->demoSession();
}

void TestGuiPositions::cleanup() {
    m_window.reset();
    m_ui.reset();
    m_fx.reset();
}

FMPos* TestGuiPositions::open() {
    m_window = std::make_unique<FMPos>(
        PositionDownload{"1", "70001", QStringLiteral("Müller Baustoffe GmbH")});
    m_window->setModal(false);
    m_window->show();
    QElapsedTimer clock;
    clock.start();
    while ((m_window->loading() || m_window->Grid()->size() < 3 ||
            m_window->Candidates()->rowCount() < 5) &&
           clock.elapsed() < 10000)
        QTest::qWait(5);
    return m_window.get();
}

QString TestGuiPositions::serverCell(int row, int column) {
    PositionGridModel m;
    PositionLoad::loadGrid({"1", "70001", QString()}, m);
    return m.size() > row ? m.cellText(row, column) : QString("<keine Zeile>");
}

void TestGuiPositions::dropDownCellIsCheckedAndStored() {
    FMPos* w = open();
    QCOMPARE(w->Grid()->size(), 3);
    QTableView* grid = w->PositionGridView();
    // "Hlief" of position 1 through its drop-down (list 6).
    const QModelIndex hlief = grid->model()->index(0, 31);
    grid->setCurrentIndex(hlief);
    grid->edit(hlief);
    auto* box = grid->findChild<QComboBox*>("cellList6");
    QVERIFY(box);
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QString("N  |  Nein"));
    box->setCurrentIndex(box->findData("N"));
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_COMPARE(grid->model()->index(0, 31).data().toString(), QString("N"));
    QCOMPARE(serverCell(0, 31), QString("N"));
    // A VPE equal to the VKE is refused with its message; the cell stays.
    const QModelIndex vpe = grid->model()->index(0, 18);
    grid->setCurrentIndex(vpe);
    grid->edit(vpe);
    box = grid->findChild<QComboBox*>("cellList4");
    QVERIFY(box);
    box->setCurrentIndex(box->findData("Pak"));
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_COMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("VPI und VKE sind gleich"));
    QCOMPARE(grid->model()->index(0, 18).data().toString(), QString("Ktn"));
    QCOMPARE(serverCell(0, 18), QString("Ktn"));
    // A locked cell opens no editor.
    grid->edit(grid->model()->index(0, Spanne));
    QVERIFY(!grid->findChild<QLineEdit*>("cellEdit"));
}

void TestGuiPositions::candidateListAssignsRowAfterRow() {
    FMPos* w = open();
    QCOMPARE(w->Grid()->size(), 3);
    QTableView* grid = w->PositionGridView();
    QTreeView* list = w->CandidateView();
    auto clickRow = [&](int row, bool twice) {
        const QPoint p = list->visualRect(list->model()->index(row, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
    };
    // A click goes to the row that has the article (100200: position 3).
    clickRow(2, false);
    QCOMPARE(grid->currentIndex().row(), 2);
    // Row 1 loses its article; a double-click on 100100 assigns it back and
    // goes on to row 2.
    QVERIFY(w->Editor()->edit(0, ArtNr, "", m_none));
    PositionLoad::loadCandidates({"1", "70001", QString()}, *w->Candidates());
    QCOMPARE(list->model()->index(0, 3).data().toString(), QString());
    grid->setCurrentIndex(grid->model()->index(0, ArtNr));
    clickRow(0, true);
    QTRY_COMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(grid->model()->index(0, ArtNr).data().toString(), QString("100100"));
    QCOMPARE(list->model()->index(0, 3).data().toString(), QString("J"));
    QCOMPARE(serverCell(0, ArtNr), QString("100100"));
    // A double-click's first click takes the grid to the row that has the
    // article, which then takes it again. Picked without that click (from
    // the keyboard), 100200 of row 3 is refused for row 2 and the grid goes
    // to row 3.
    list->setCurrentIndex(list->model()->index(2, 0));
    w->libm_DblClick();
    QTRY_COMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Artikel bereits zugeordnet"));
    QCOMPARE(m_ui->messages[0].title, QString());
    QCOMPARE(grid->currentIndex().row(), 2);
    // The inactive 100900 on row 2 is refused; the cell keeps its article.
    grid->setCurrentIndex(grid->model()->index(1, ArtNr));
    clickRow(4, true);
    QTRY_COMPARE(m_ui->messages.size(), 2);
    QCOMPARE(m_ui->messages[1].text, QString("Artikel nicht gespeichert"));
    QCOMPARE(grid->model()->index(1, ArtNr).data().toString(), QString("100101"));
    QCOMPARE(grid->currentIndex().row(), 1);
    // On the last row the current row stays where it is.
    QVERIFY(w->Editor()->edit(2, ArtNr, "", m_none));
    grid->setCurrentIndex(grid->model()->index(2, ArtNr));
    clickRow(2, true);
    QTRY_COMPARE(grid->model()->index(2, ArtNr).data().toString(), QString("100200"));
    QCOMPARE(grid->currentIndex().row(), 2);
}

void TestGuiPositions::marksAndBatchSetting() {
    FMPos* w = open();
    QCOMPARE(w->Grid()->size(), 3);
    QTableView* grid = w->PositionGridView();
    QVERIFY(!w->SetMarkedRows(31, "N")); // nothing marked
    w->ToolButton("Multiselekt")->trigger();
    QCOMPARE(grid->selectionMode(), QAbstractItemView::ExtendedSelection);
    grid->selectRow(0);
    grid->selectionModel()->select(grid->model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->ToolButton("Selekt. mark")->trigger();
    QCOMPARE(w->Grid()->markedRows(), (QList<int>{0, 2}));
    QCOMPARE(grid->model()->index(0, Mark).data().toString(), QString("1"));
    // VPE "Pak" is the sales unit of position 1: that row is listed.
    QVERIFY(w->SetMarkedRows(Vpe, "Pak"));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Nicht gesetzt:\nZeile 1 (M-1001): VPI und VKE sind gleich"));
    QCOMPARE(serverCell(2, Vpe), QString("Pak"));
    QCOMPARE(serverCell(0, Vpe), QString("Ktn"));
    // Marked rows selected again lose their marks.
    w->ToolButton("Selekt. mark")->trigger();
    QVERIFY(w->Grid()->markedRows().isEmpty());
    w->ToolButton("Multiselekt")->trigger();
    QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
}

QTEST_MAIN(TestGuiPositions)
#include "test_gui_positions.moc"
