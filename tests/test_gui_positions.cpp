#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "GuiTestHelpers.h"
#include "PositionsWindow.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "conditions/gui/fmverbuch.h"
#include "positions/gui/FMPos.h"
#include "positions/gui/FrozenColumnsView.h"
#include "widgets/DialogUserInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
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
    void loadShowsHowFarAndAusstiegStopsIt();
    void rowChosenDuringTheLoadStaysCurrent();
    void scrollDuringTheLoadAndMarksAreKept();
    void typingOnALockedCellStaysPut();
    void scrolledAcrossAColumnStartsAtTheFrozenEdge();
    void columnsAreAsWideAsTheirCells();
    void enterTakesATypedDate_data();
    void enterTakesATypedDate();
    void refusedDateLeavesTheWindowStanding_data();
    void refusedDateLeavesTheWindowStanding();
    void assignedArticleIsMarkedAtOnce();
    void gridIsReadAgainAfterTheEanWindow();
    void exportTakesTheRowsAsShown();
    void sortFilterAndFindAsABuyerDoes();
    void previewCountShowsItsRows();

private:
    // Opens the window for download 1 and waits for its load.
    FMPos* open();
    // Opens the window for a download of count generated positions of
    // supplier 70001 (0, 3, 6, ... with articles, position i at 1 + i/100)
    // and waits for its load.
    FMPos* openGenerated(int count);
    QString serverCell(int row, int column);
    // The same of the generated download of openGenerated().
    QString serverCell(const QString& key, int row, int column);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    std::unique_ptr<FMPos> m_window;
    ListedPrompts m_none{{}};
    QString m_key; // of the generated download
};

void TestGuiPositions::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestGuiPositions::cleanup() {
    m_window.reset();
    EndDemoClient(m_fx, m_ui);
}

FMPos* TestGuiPositions::open() {
    return ShowPositionsWindow(
        m_fx->connection(), m_window,
        PositionDownload{"1", "70001", QStringLiteral("Müller Baustoffe GmbH")},
        [](FMPos& w) { return w.Grid()->size() >= 3 && w.Candidates()->rowCount() >= 5; });
}

FMPos* TestGuiPositions::openGenerated(int count) {
    m_key = FillDemoPositions(m_fx->engine(), count);
    return ShowPositionsWindow(
        m_fx->connection(), m_window,
        PositionDownload{m_key, "70001", QStringLiteral("Müller Baustoffe GmbH"), QString(), count},
        [count](FMPos& w) { return w.Grid()->size() >= count && w.Candidates()->rowCount() > 0; });
}

QString TestGuiPositions::serverCell(const QString& key, int row, int column) {
    PositionGridModel m;
    PositionLoad::loadGrid(m_fx->connection(), {key, "70001", QString()}, m);
    return m.size() > row ? m.cellText(row, column) : QString("<keine Zeile>");
}

QString TestGuiPositions::serverCell(int row, int column) {
    PositionGridModel m;
    PositionLoad::loadGrid(m_fx->connection(), {"1", "70001", QString()}, m);
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
    PositionLoad::loadCandidates(m_fx->connection(), {"1", "70001", QString()}, *w->Candidates());
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
    QCOMPARE(w->StatusText(), QString("Mehrfachsetzen: 1 Position geändert"));
    QVERIFY(w->SetMarkedRows(31, "N"));
    QCOMPARE(w->StatusText(), QString("Mehrfachsetzen: 2 Positionen geändert"));
    // Marked rows selected again lose their marks.
    w->ToolButton("Selekt. mark")->trigger();
    QVERIFY(w->Grid()->markedRows().isEmpty());
    w->ToolButton("Multiselekt")->trigger();
    QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
}

void TestGuiPositions::loadShowsHowFarAndAusstiegStopsIt() {
    const QString key = FillDemoPositions(m_fx->engine(), 3000);
    m_window = std::make_unique<FMPos>(
        m_fx->connection(),
        PositionDownload{key, "70001", QStringLiteral("Müller"), QString(), 3000});
    FMPos* w = m_window.get();
    w->setModal(false);
    // At the first rows shown: how far the load is, and only "Ausstieg"
    // works; it is pressed.
    QString status;
    bool othersDisabled = false, exitEnabled = false;
    connect(w->Grid(), &QAbstractItemModel::rowsInserted, w, [&] {
        if (!status.isEmpty())
            return;
        status = w->StatusText();
        othersDisabled = !w->ToolButton("Aktualisieren")->isEnabled() &&
                         !w->ToolButton("Verbuchen")->isEnabled();
        exitEnabled = w->ToolButton("Ausstieg")->isEnabled();
        QVERIFY(w->loading());
        w->ToolButton("Ausstieg")->trigger();
    });
    w->show();
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(status, QString("Positionen werden geladen: 50 von 3.000"));
    QVERIFY(othersDisabled);
    QVERIFY(exitEnabled);
    QVERIFY(!w->loading());
    // The load stopped within the next event pass; the candidate list was
    // not read.
    QVERIFY2(w->Grid()->size() < 100, qPrintable(QString::number(w->Grid()->size())));
    QCOMPARE(w->Candidates()->rowCount(), 0);
}

void TestGuiPositions::enterTakesATypedDate_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("list");
    QTest::newRow("EK-Dat ab") << int(EkDatAb) << "cellList10";
    QTest::newRow("VK-Dat ab") << int(VkDatAb) << "cellList9";
}

void TestGuiPositions::enterTakesATypedDate() {
    QFETCH(int, column);
    QFETCH(QString, list);
    FMPos* w = open();
    QTableView* grid = w->PositionGridView();
    const QModelIndex date = grid->model()->index(0, column);
    grid->setCurrentIndex(date);
    grid->edit(date);
    auto* box = grid->findChild<QComboBox*>(list);
    QVERIFY(box);
    QVERIFY(box->isEditable());
    // Keys as the window system delivers them, to the focus. The editor
    // opens with its date selected: what the buyer types replaces it.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTRY_COMPARE(QApplication::focusWidget(), box);
    for (const QChar c : QString("15032027"))
        QTest::keyClick(w->windowHandle(), c.toLatin1());
    QCOMPARE(box->lineEdit()->text(), QString("15/03/2027"));
    QTest::keyClick(w->windowHandle(), Qt::Key_Return);
    QTRY_COMPARE(grid->model()->index(0, column).data().toString(), QString("15/03/2027"));
    QCOMPARE(serverCell(0, column), QString("15/03/2027"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiPositions::refusedDateLeavesTheWindowStanding_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("list");
    QTest::addColumn<bool>("click");
    QTest::newRow("EK-Dat ab, Enter") << int(EkDatAb) << "cellList10" << false;
    QTest::newRow("EK-Dat ab, Klick") << int(EkDatAb) << "cellList10" << true;
    QTest::newRow("VK-Dat ab, Enter") << int(VkDatAb) << "cellList9" << false;
    QTest::newRow("VK-Dat ab, Klick") << int(VkDatAb) << "cellList9" << true;
}

// A date that is none, typed and taken with Enter: the real message box
// comes after the cell editor has gone, and confirming it (with Enter or
// the mouse) leaves the window and the cell as they were.
void TestGuiPositions::refusedDateLeavesTheWindowStanding() {
    QFETCH(int, column);
    QFETCH(QString, list);
    QFETCH(bool, click);
    FMPos* w = open();
    DialogUserInterface dialogs;
    QTableView* grid = w->PositionGridView();
    const QString before = grid->model()->index(0, column).data().toString();
    const QModelIndex date = grid->model()->index(0, column);
    grid->setCurrentIndex(date);
    grid->edit(date);
    auto* box = grid->findChild<QComboBox*>(list);
    QVERIFY(box);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTRY_COMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(w->windowHandle(), Qt::Key_Home);
    for (const QChar c : QString("31022027"))
        QTest::keyClick(w->windowHandle(), c.toLatin1());
    QString shown;
    bool editorOpen = true;
    WhenShown<QMessageBox>(w, [&](QMessageBox* m) {
        shown = m->text();
        const auto* editor = grid->findChild<QComboBox*>(list);
        editorOpen = editor && editor->isVisible();
        if (click)
            QTest::mouseClick(m->button(QMessageBox::Ok) ? m->button(QMessageBox::Ok)
                                                         : m->buttons().first(),
                              Qt::LeftButton);
        else
            QTest::keyClick(m, Qt::Key_Return);
    });
    QTest::keyClick(w->windowHandle(), Qt::Key_Return);
    QTRY_COMPARE(shown, QString("Kein gültiges Datum"));
    QVERIFY(!editorOpen);
    // What ended the program came within two seconds.
    QTest::qWait(2500);
    QVERIFY(w->isVisible());
    QVERIFY(!grid->findChild<QComboBox*>(list));
    QCOMPARE(grid->model()->index(0, column).data().toString(), before);
    QCOMPARE(serverCell(0, column), before);
    // The grid takes the next value as before.
    grid->setCurrentIndex(date);
    grid->edit(date);
    box = grid->findChild<QComboBox*>(list);
    QVERIFY(box);
    box->lineEdit()->setText("15/03/2027");
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_COMPARE(grid->model()->index(0, column).data().toString(), QString("15/03/2027"));
}

void TestGuiPositions::assignedArticleIsMarkedAtOnce() {
    FMPos* w = open();
    CandidateListModel* list = w->Candidates();
    auto assigned = [&](const QString& article) {
        const int r = list->rowOfArticle(article);
        return r < 0 ? QString("<fehlt>") : list->cell(r, CandidateListModel::Zugeordnet);
    };
    QCOMPARE(assigned("100100"), QString("J"));
    QCOMPARE(assigned("100300"), QString());
    // Typed into "Art.-Nr." of position 1: the new article is assigned, the
    // old one (no other position has it) no longer.
    QTableView* grid = w->PositionGridView();
    QVERIFY(grid->model()->setData(grid->model()->index(0, ArtNr), "100300"));
    QCOMPARE(serverCell(0, ArtNr), QString("100300"));
    QCOMPARE(assigned("100300"), QString("J"));
    QCOMPARE(assigned("100100"), QString());
    // Taken away: the mark goes.
    QVERIFY(grid->model()->setData(grid->model()->index(0, ArtNr), ""));
    QCOMPARE(assigned("100300"), QString());
    // A refused article changes no mark.
    QVERIFY(!grid->model()->setData(grid->model()->index(0, ArtNr), "100900"));
    QCOMPARE(m_ui->messages.last().text, QString("Artikel nicht gespeichert"));
    QCOMPARE(assigned("100900"), QString());
}

void TestGuiPositions::gridIsReadAgainAfterTheEanWindow() {
    FMPos* w = open();
    // Another workstation changed a position meanwhile; the match window is
    // left without a file: the grid shows the server's rows afterwards.
    m_fx->engine().execText("UPDATE quendrap_pos SET Bez1='Von nebenan' WHERE id='1'", {});
    m_ui->files.enqueue(QString());
    w->EinlesenEan_Click();
    QCOMPARE(w->Grid()->cellText(0, Bez1), QString("Von nebenan"));
    QVERIFY(w->Candidates()->rowCount() > 0);
}

void TestGuiPositions::exportTakesTheRowsAsShown() {
    FMPos* w = openGenerated(12);
    auto* action = w->findChild<QAction*>("Exportieren");
    QVERIFY(action);
    QCOMPARE(action->text(), QString("Exportieren …"));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    QVERIFY(w->PositionGridView()->actions().contains(action));
    // Filtered and sorted: the file has those rows in that order.
    PositionFilter f;
    f.set(QuickFilter::MitArtNr, true);
    w->SetFilter(f);
    w->SortByColumn(PreisExcl);
    w->SortByColumn(PreisExcl);
    const QString file = m_fx->path("fenster.csv");
    QVERIFY(w->ExportTo(file));
    QCOMPARE(w->StatusText(), "4 Positionen exportiert: " + file);
    QFile f2(file);
    QVERIFY(f2.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f2.readAll().mid(3)).split("\r\n");
    QStringList orders;
    for (int i = 1; i < lines.size() - 1; ++i)
        orders << lines[i].section(u';', BestNr, BestNr).section(u'-', 1);
    QCOMPARE(orders, (QStringList{"9", "6", "3", "0"}));
    // A folder that is not there: the message, nothing written.
    const QString missing = m_fx->path("fehlt/x.xlsx");
    QVERIFY(!w->ExportTo(missing));
    QCOMPARE(m_ui->messages.last().text, "Datei kann nicht geschrieben werden: " + missing);
}

void TestGuiPositions::rowChosenDuringTheLoadStaysCurrent() {
    m_key = FillDemoPositions(m_fx->engine(), 600);
    m_window = std::make_unique<FMPos>(
        m_fx->connection(),
        PositionDownload{m_key, "70001", QStringLiteral("Müller"), QString(), 600});
    FMPos* w = m_window.get();
    w->setModal(false);
    // Sorted by price, descending: the rows come in and are merged.
    w->SortByColumn(PreisExcl);
    w->SortByColumn(PreisExcl);
    bool chosen = false;
    connect(w->Grid(), &QAbstractItemModel::rowsInserted, w, [&] {
        if (chosen || w->Grid()->size() < 50)
            return;
        chosen = true;
        QTableView* grid = w->PositionGridView();
        grid->setCurrentIndex(grid->model()->index(20, Bez1));
    });
    w->show();
    QTRY_VERIFY(chosen && !w->loading());
    QTableView* grid = w->PositionGridView();
    // The row chosen then (a grid row of the first 50) is still current,
    // wherever the sort has put it.
    const int row = w->View()->sourceRow(grid->currentIndex().row());
    QVERIFY2(row >= 0 && row < 50, qPrintable(QString::number(row)));
    QCOMPARE(grid->currentIndex().column(), int(Bez1));
    QVERIFY(grid->currentIndex().row() != 0);
    // A reload: the same position stays current.
    const int before = grid->currentIndex().row();
    w->ToolButton("Aktualisieren")->trigger();
    QTRY_VERIFY(!w->loading());
    QCOMPARE(grid->currentIndex().row(), before);
    QCOMPARE(w->View()->sourceRow(grid->currentIndex().row()), row);
}

// Scrolled (not clicked) while the rows come in: the grid stays where the
// buyer scrolled to, and row 0 is current. A reload keeps the current
// position, the marks and the place.
void TestGuiPositions::scrollDuringTheLoadAndMarksAreKept() {
    m_key = FillDemoPositions(m_fx->engine(), 600);
    m_window = std::make_unique<FMPos>(
        m_fx->connection(),
        PositionDownload{m_key, "70001", QStringLiteral("Müller"), QString(), 600});
    FMPos* w = m_window.get();
    w->setModal(false);
    w->resize(1000, 700);
    QTableView* grid = w->PositionGridView();
    QScrollBar* bar = grid->verticalScrollBar();
    int scrolledTo = -1;
    connect(w->Grid(), &QAbstractItemModel::rowsInserted, w, [&] {
        if (scrolledTo >= 0 || w->Grid()->size() < 100)
            return;
        // The window as the program's events show it meanwhile; then
        // scrolled as the wheel or the scroll bar does it.
        QCoreApplication::processEvents();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        scrolledTo = bar->value();
    });
    w->show();
    QTRY_VERIFY(scrolledTo >= 0 && !w->loading());
    QVERIFY(scrolledTo > 0);
    QCOMPARE(w->Grid()->size(), 600);
    QCOMPARE(bar->value(), scrolledTo);
    QCOMPARE(grid->currentIndex().row(), 0);

    // Marks on two positions and row 30 current, scrolled further.
    w->Grid()->toggleMarks({5, 40});
    grid->setCurrentIndex(grid->model()->index(30, Bez1));
    bar->setValue(bar->value() + 7);
    const int place = bar->value();
    w->ToolButton("Aktualisieren")->trigger();
    QTRY_VERIFY(!w->loading());
    QCOMPARE(w->Grid()->markedRows(), (QList<int>{5, 40}));
    QCOMPARE(grid->model()->index(40, Mark).data().toString(), QString("1"));
    QCOMPARE(grid->currentIndex().row(), 30);
    QCOMPARE(grid->currentIndex().column(), int(Bez1));
    QCOMPARE(bar->value(), place);
}

// A key typed on a locked cell opens nothing and moves nowhere; the status
// line says why.
void TestGuiPositions::typingOnALockedCellStaysPut() {
    FMPos* w = openGenerated(40);
    QTableView* grid = w->PositionGridView();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    for (int column : {int(PreisExcl), int(BestNr), int(Spanne)}) {
        const QModelIndex locked = grid->model()->index(2, column);
        QVERIFY(!(locked.flags() & Qt::ItemIsEditable));
        grid->setCurrentIndex(locked);
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        for (const char c : QByteArray("300G1"))
            QTest::keyClick(w->windowHandle(), c);
        QCOMPARE(grid->currentIndex(), locked);
        QVERIFY(!grid->findChild<QLineEdit*>("cellEdit"));
        QCOMPARE(w->StatusText(), QString("Spalte gesperrt"));
    }
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiPositions::sortFilterAndFindAsABuyerDoes() {
    FMPos* w = openGenerated(12);
    QCOMPARE(w->StatusText(), QString("12 Positionen"));
    QVERIFY(w->ToolButton("Aktualisieren")->isEnabled());
    QTableView* grid = w->PositionGridView();
    const PositionView* view = w->View();
    auto shownRows = [&] {
        QList<int> rows;
        for (int r = 0; r < view->rowCount(); ++r)
            rows << view->sourceRow(r);
        return rows;
    };
    // The key columns stay at the left in a view of their own over the same
    // rows and selection, scrolled up and down with the grid.
    auto* frozen = grid->findChild<QTableView*>("liposFixiert");
    QVERIFY(frozen);
    QVERIFY(!frozen->isColumnHidden(Bezeichnung));
    QVERIFY(frozen->isColumnHidden(Datum));
    // As wide as the grid's own columns, never narrower than the caption.
    for (int c = Mark; c <= Bezeichnung; ++c) {
        QCOMPARE(frozen->columnWidth(c), grid->columnWidth(c));
        QVERIFY2(grid->columnWidth(c) >= ColumnOf(c).widthTwips + 12,
                 qPrintable(QString("%1: %2").arg(c).arg(grid->columnWidth(c))));
        QVERIFY(grid->columnWidth(c) < 300);
    }
    QCOMPARE(grid->columnWidth(Mark), grid->fontMetrics().horizontalAdvance("Übn") + 26);
    QCOMPARE(frozen->selectionModel(), grid->selectionModel());
    grid->resize(grid->width(), 120);
    QTRY_VERIFY(grid->verticalScrollBar()->maximum() > 0);
    grid->verticalScrollBar()->setValue(3);
    QCOMPARE(frozen->verticalScrollBar()->value(), 3);
    frozen->verticalScrollBar()->setValue(1);
    QCOMPARE(grid->verticalScrollBar()->value(), 1);
    grid->verticalScrollBar()->setValue(0);

    // Header clicks: ascending, descending, load order, with the arrow.
    QHeaderView* header = grid->horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    grid->scrollTo(grid->model()->index(0, PreisExcl));
    clickHeader(PreisExcl);
    QCOMPARE(shownRows().first(), 0);
    QCOMPARE(header->sortIndicatorSection(), int(PreisExcl));
    clickHeader(PreisExcl);
    QCOMPARE(shownRows(), (QList<int>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // A double-click in the candidate list goes on to the next row shown.
    grid->setCurrentIndex(grid->model()->index(0, ArtNr));
    QTreeView* list = w->CandidateView();
    int fliessestrich = -1;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        if (list->model()->index(r, 1).data().toString() == "100300")
            fliessestrich = r;
    QVERIFY(fliessestrich >= 0);
    list->setCurrentIndex(list->model()->index(fliessestrich, 0));
    w->libm_DblClick();
    QCOMPARE(w->Grid()->cellText(11, ArtNr), QString("100300"));
    QCOMPARE(view->sourceRow(grid->currentIndex().row()), 10);

    // The quick filter and a typed text, as the status line counts them.
    QTest::mouseClick(w->findChild<QToolButton*>("filter_ohne-artnr"), Qt::LeftButton);
    QCOMPARE(w->StatusText(), QString("7 von 12 Positionen"));
    auto* text = w->findChild<QLineEdit*>("TXTFilter");
    QTest::keyClicks(text, "POSITION 1");
    QTRY_COMPARE(w->StatusText(), QString("2 von 12 Positionen"));
    QCOMPARE(shownRows(), (QList<int>{10, 1}));
    // The current row passes the filter and stays current.
    QCOMPARE(view->sourceRow(grid->currentIndex().row()), 10);
    // "Selekt. mark" marks the grid row shown there.
    grid->setCurrentIndex(grid->model()->index(0, Bez1));
    w->ToolButton("Selekt. mark")->trigger();
    QCOMPARE(w->Grid()->markedRows(), QList<int>{10});
    // A value typed into a cell of the sorted, filtered grid is position
    // 10's; a quick filter clicked while the editor is open takes it first.
    grid->setCurrentIndex(grid->model()->index(1, Bez1));
    grid->edit(grid->currentIndex());
    auto* cell = grid->findChild<QLineEdit*>("cellEdit");
    QVERIFY(cell);
    cell->setText("Zweite Zeile");
    QTest::mouseClick(w->findChild<QToolButton*>("filter_nicht-verbucht"), Qt::LeftButton);
    QTRY_VERIFY(!grid->findChild<QLineEdit*>("cellEdit"));
    QCOMPARE(serverCell(m_key, 1, Bez1), QString("Zweite Zeile"));
    QCOMPARE(serverCell(m_key, 10, Bez1), QString("Generierte Position 10"));
    QTest::mouseClick(w->findChild<QToolButton*>("filter_nicht-verbucht"), Qt::LeftButton);
    // Escape in an open editor drops the edit; the window stays.
    grid->setCurrentIndex(grid->model()->index(0, Bez1));
    grid->edit(grid->currentIndex());
    cell = grid->findChild<QLineEdit*>("cellEdit");
    QVERIFY(cell);
    cell->setText("verworfen");
    QTest::keyClick(cell, Qt::Key_Escape);
    QTRY_VERIFY(!grid->findChild<QLineEdit*>("cellEdit"));
    QVERIFY(w->isVisible());
    QCOMPARE(serverCell(m_key, 10, Bez1), QString("Generierte Position 10"));

    // Filter and sort survive "Aktualisieren".
    w->ToolButton("Aktualisieren")->trigger();
    QTRY_VERIFY(!w->loading());
    QCOMPARE(shownRows(), (QList<int>{10, 1}));
    QCOMPARE(w->StatusText(), QString("2 von 12 Positionen"));
    QVERIFY(w->findChild<QToolButton*>("filter_ohne-artnr")->isChecked());
    QCOMPARE(text->text(), QString("POSITION 1"));
    QTest::mouseClick(w->findChild<QToolButton*>("BUFilterAus"), Qt::LeftButton);
    QCOMPARE(w->StatusText(), QString("12 Positionen"));
    QVERIFY(text->text().isEmpty());
    clickHeader(PreisExcl);
    QCOMPARE(shownRows(), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    QCOMPARE(header->sortIndicatorSection(), -1);

    // Ctrl+F, Enter, F3, Shift+F3 and a text that is not there.
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    auto* find = w->findChild<QLineEdit*>("TXTSuchen");
    QVERIFY(find->isVisible());
    QVERIFY(find->hasFocus());
    QTest::keyClicks(find, "position 5");
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(grid->currentIndex().row(), 5);
    QCOMPARE(grid->currentIndex().column(), int(Bezeichnung));
    QTest::keyClick(find, Qt::Key_F3);
    QCOMPARE(grid->currentIndex().column(), int(Bez1));
    QTest::keyClick(find, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(grid->currentIndex().column(), int(Bezeichnung));
    find->setText("gibt es nicht");
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(w->findChild<QLabel*>("lbSuchen")->text(), QString("Nicht gefunden"));
    QCOMPARE(grid->currentIndex().row(), 5);

    // Escape clears the find box and never closes the window.
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
    QVERIFY(find->text().isEmpty());
    QTest::keyClick(grid, Qt::Key_Escape);
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(w->isVisible());
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiPositions::previewCountShowsItsRows() {
    FMPos* w = openGenerated(12);
    const QString stat = w->Grid()->cellText(1, Stat);
    QString label;
    bool linked = false;
    WhenShown<fmverbuch>(w, [&](fmverbuch* v) {
        v->Box("chneu")->setChecked(true);
        label = v->findChild<QLabel*>("lbvorschau")->text();
        QCOMPARE(v->PreviewText().section('\n', 1, 1),
                 QString("Neue Artikel: 0, vorhandene Artikel: 0"));
        v->Box("chmark")->setChecked(false);
        linked = true;
        v->PreviewLink("filter:ohne-artnr");
    });
    w->Verbuchen_Click();
    QVERIFY(linked);
    QVERIFY(label.contains("<a href=\"filter:markiert+ohne-artnr\">0</a>"));
    // The window hid with its options kept; the grid shows the rows.
    auto* posting = qobject_cast<fmverbuch*>(w->PostingWindow());
    QVERIFY(posting);
    QVERIFY(!posting->isVisible());
    QVERIFY(posting->Box("chneu")->isChecked());
    QVERIFY(w->View()->filter().has(QuickFilter::OhneArtNr));
    QCOMPARE(w->StatusText(), QString("8 von 12 Positionen"));
    QVERIFY(w->findChild<QToolButton*>("filter_ohne-artnr")->isChecked());
    // Nothing was posted.
    QCOMPARE(w->Grid()->cellText(1, Stat), stat);
    QVERIFY(!stat.startsWith("Verbucht"));
}

// Wherever the grid is scrolled across to, the first column right of the
// frozen ones starts at their edge, so no sliver of a column shows there
// without its caption; each step moves a column.
void TestGuiPositions::scrolledAcrossAColumnStartsAtTheFrozenEdge() {
    FMPos* w = openGenerated(20);
    w->resize(1200, 700);
    auto* grid = qobject_cast<FrozenColumnsView*>(w->PositionGridView());
    QVERIFY(grid);
    QTRY_VERIFY(grid->horizontalScrollBar()->maximum() > 0);
    QScrollBar* bar = grid->horizontalScrollBar();
    int edge = 0;
    for (int c = 0; c < grid->frozenColumns(); ++c)
        edge += grid->columnWidth(c);
    // The column whose start is at the frozen edge; -1 when the edge cuts one.
    auto columnAtEdge = [&] {
        for (int c = grid->frozenColumns(); c < kColumns; ++c)
            if (grid->columnViewportPosition(c) == edge)
                return c;
        return -1;
    };
    QList<int> seen;
    for (int value : {1, 37, bar->maximum() / 3, bar->maximum() / 2 + 5}) {
        bar->setValue(value);
        const int column = columnAtEdge();
        QVERIFY2(column > int(Bezeichnung), qPrintable(QString::number(value)));
        seen << column;
    }
    QVERIFY(seen.first() < seen.last());
    // Arrow steps move one column right, then back.
    const int from = columnAtEdge();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(columnAtEdge(), from + 1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(columnAtEdge(), from);
    bar->setValue(0);
    QCOMPARE(columnAtEdge(), int(Bezeichnung) + 1);
}

// A deviation of four digits and more, an article number and the other cells show
// whole: every column but the frozen description is as wide as its cells.
void TestGuiPositions::columnsAreAsWideAsTheirCells() {
    m_key = FillDemoPositions(m_fx->engine(), 12);
    QSqlQuery q(m_fx->engine().db());
    QVERIFY(q.exec("UPDATE quendrap_pos SET Preis='1234.5', netto='1234.5', brutto='1234.5' "
                   "WHERE DLID='" +
                   m_key + "'"));
    FMPos* w = ShowPositionsWindow(
        m_fx->connection(), m_window,
        PositionDownload{m_key, "70001", QStringLiteral("Müller"), QString(), 12},
        [](FMPos& win) { return win.Grid()->size() >= 12; });
    QTableView* grid = w->PositionGridView();
    const QFontMetrics metrics(grid->font());
    QVERIFY2(w->Grid()->cellText(0, Abweichung).size() >= 9,
             qPrintable(w->Grid()->cellText(0, Abweichung))); // "1000,00 %" and more
    for (int c = Stat + 1; c < kColumns; ++c) {
        if (c == Bezeichnung)
            continue;
        for (int r = 0; r < w->Grid()->size(); ++r) {
            const QString text = w->Grid()->cellText(r, c);
            // The cell's margins besides the text.
            QVERIFY2(grid->columnWidth(c) >= metrics.horizontalAdvance(text) + 8,
                     qPrintable(QString("%1 %2: %3").arg(Caption(c)).arg(r).arg(text)));
        }
    }
}

QTEST_MAIN(TestGuiPositions)
#include "test_gui_positions.moc"
