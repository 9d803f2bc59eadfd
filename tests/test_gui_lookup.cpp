#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "GuiTestHelpers.h"
#include "PositionsWindow.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "import/gui/FMEan.h"
#include "lookup/VeltarSu.h"
#include "lookup/gui/FMArtsu.h"
#include "lookup/gui/FMKnrsu.h"
#include "positions/gui/FMPos.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

using namespace PositionGrid;

// The search dialogs and the EAN/price match window as a buyer uses them:
// the article search from a positions cell, the customer search, and the
// match file from the positions toolbar.
class TestGuiLookup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void articleSearchFillsTheCell();
    void articleListPagesAsItFills();
    void customerSearchChoosesAHit();
    void eanMatchFromThePositionsWindow();

private:
    FMPos* open();

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    std::unique_ptr<FMPos> m_window;
};

void TestGuiLookup::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestGuiLookup::cleanup() {
    m_window.reset();
    EndDemoClient(m_fx, m_ui);
}

FMPos* TestGuiLookup::open() {
    return ShowPositionsWindow(
        m_fx->connection(), m_window,
        PositionDownload{"3", "70003", QStringLiteral("Weiß & Söhne Fliesen")}, [](FMPos& w) {
            return w.Grid()->size() >= 4 && w.findChild<QToolBar*>("tool1")->isEnabled();
        });
}

void TestGuiLookup::articleSearchFillsTheCell() {
    FMPos* w = open();
    QTableView* grid = w->PositionGridView();
    grid->setCurrentIndex(grid->model()->index(1, Bezeichnung));
    QString supplier;
    QString count;
    WhenShown<FMArtsu>(this, [&](FMArtsu* s) {
        supplier = s->findChild<QLineEdit*>("SLNR")->text();
        auto* text = s->findChild<QLineEdit*>("SKBEZ");
        text->setText("türschwelle");
        QTest::keyClick(text, Qt::Key_Return);
        count = s->findChild<QLabel*>("LBLAnzahl")->text();
        QTest::keyClick(s->List(), Qt::Key_Return);
        if (s->isVisible())
            s->reject();
    });
    // F4 on the grid opens the search.
    QTest::keyClick(grid, Qt::Key_F4);
    QCOMPARE(supplier, QString("70003"));
    QCOMPARE(count, QString("1 Artikel gefunden"));
    // Entered as typed: assigned on the server, the row read back.
    QCOMPARE(w->Grid()->cellText(1, ArtNr), QString("300310"));
    QCOMPARE(grid->currentIndex().column(), int(ArtNr));
    QCOMPARE(m_fx->engine().textValue("SELECT ARTNR FROM quendrap_pos WHERE id='7'", {}),
             QString("300310"));
    // The same article for another row is refused with its message.
    grid->setCurrentIndex(grid->model()->index(2, ArtNr));
    WhenShown<FMArtsu>(this, [&](FMArtsu* s) {
        s->findChild<QLineEdit*>("SKBEZ")->setText("300310");
        s->findChild<QPushButton*>("BUSuchen")->click();
        s->findChild<QPushButton*>("BUOK")->click();
    });
    grid->findChild<QAction*>("ArtikelSuchen")->trigger();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Artikel bereits zugeordnet"));
    QCOMPARE(w->Grid()->cellText(2, ArtNr), QString());
}

void TestGuiLookup::articleListPagesAsItFills() {
    FMArtsu search(m_fx->connection());
    search.show();
    search.findChild<QLineEdit*>("SLNR")->clear();
    auto* active = search.findChild<QComboBox*>("SAKTIV");
    QCOMPARE(active->currentText(), QString("nur aktive"));
    active->setCurrentIndex(0); // alle
    QCOMPARE(search.findChild<QComboBox*>("SHGRP")->count(), 7);
    // Enter in a fixed list searches as in the text boxes.
    QTest::keyClick(active, Qt::Key_Return);
    // The first page has four; the list asks for more as long as it has
    // room, and for the rest as the buyer scrolls down.
    QTRY_VERIFY(search.Hits()->rowCount() > 4);
    QTRY_COMPARE((search.List()->scrollToBottom(), search.Hits()->rowCount()), 14);
    QCOMPARE(search.findChild<QLabel*>("LBLAnzahl")->text(), QString("14 Artikel gefunden"));
    QVERIFY(!search.Hits()->canFetchMore({}));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiLookup::customerSearchChoosesAHit() {
    QStringList numbers;
    QString headers;
    WhenShown<FMKnrsu>(this, [&](FMKnrsu* s) {
        auto* group = s->findChild<QComboBox*>("SKGRP");
        group->setCurrentIndex(group->findText("20 Handwerk"));
        s->findChild<QPushButton*>("BUSuchen")->click();
        QAbstractItemModel* m = s->List()->model();
        headers = m->headerData(0, Qt::Horizontal).toString();
        for (int r = 0; r < m->rowCount(); ++r)
            numbers << m->index(r, 0).data().toString();
        s->List()->scrollTo(m->index(1, 0));
        const QPoint at = s->List()->visualRect(m->index(1, 0)).center();
        QTest::mouseClick(s->List()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(s->List()->viewport(), Qt::LeftButton, {}, at);
        if (s->isVisible())
            s->reject();
    });
    QCOMPARE(vt_knr_su(m_fx->connection(), nullptr), QString("10006"));
    QCOMPARE(headers, QString("Kd.-Nr"));
    QCOMPARE(numbers, QStringList({"10005", "10006", "10007", "10008"}));
}

void TestGuiLookup::eanMatchFromThePositionsWindow() {
    FMPos* w = open();
    const QString sample = QFINDTESTDATA("../docs/samples/ean-match-demo.csv");
    m_ui->files.enqueue(sample);
    int rows = 0;
    QString file;
    WhenShown<FMEan>(this, [&](FMEan* e) {
        QTRY_VERIFY(e->Rows()->rowCount() > 0);
        rows = e->Rows()->rowCount();
        file = e->FileText();
        e->findChild<QPushButton*>("BUVerbuch")->click();
    });
    w->ToolButton("Einlesen EAN")->trigger();
    QCOMPARE(rows, 3);
    QCOMPARE(file, sample);
    QCOMPARE(m_ui->fileChoices.size(), 1);
    QCOMPARE(m_ui->fileChoices[0],
             QStringList({"EAN/Preismatch-Datei öffnen", QString(), "*.csv"}));
    // The grid is read again: positions 7 and 8 have their articles.
    QCOMPARE(w->Grid()->cellText(1, ArtNr), QString("300310"));
    QCOMPARE(w->Grid()->cellText(2, ArtNr), QString("300320"));
    QCOMPARE(w->Grid()->cellText(3, ArtNr), QString());
    // Next time the folder is offered again; cancelling closes the window,
    // and the grid is read again all the same.
    const QString before = w->Grid()->cellText(1, ArtNr);
    w->Grid()->setServerValue(1, ArtNr, "nicht vom Server");
    w->ToolButton("Einlesen EAN")->trigger();
    QCOMPARE(w->Grid()->cellText(1, ArtNr), before);
    QCOMPARE(m_ui->fileChoices.size(), 2);
    QCOMPARE(m_ui->fileChoices[1].value(1), sample.left(sample.lastIndexOf('/')));
    QVERIFY(!w->findChild<FMEan*>());
    QVERIFY(m_ui->messages.isEmpty());
    // A file that is not there: its message, and the window closes.
    m_ui->files.enqueue(sample + ".fehlt");
    w->ToolButton("Einlesen EAN")->trigger();
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Datei nicht vorhanden"));
    QVERIFY(!w->findChild<FMEan*>());
}

QTEST_MAIN(TestGuiLookup)
#include "test_gui_lookup.moc"
