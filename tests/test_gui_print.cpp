#include "ClientTestFixture.h"
#include "GuiTestHelpers.h"
#include "ScriptedUserInterface.h"
#include "positions/gui/FMDruck.h"

#include <QComboBox>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

// The print window: its choices, a preview that lays the list out once
// however often it repaints, and the PDF.
class TestGuiPrint : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void previewAndPdf();
};

void TestGuiPrint::previewAndPdf() {
    ClientTestFixture fx;
    ScriptedUserInterface ui;
    fx.demoSession();
    PositionGridModel grid;
    const PositionDownload download{"1", "70001", QStringLiteral("Müller Baustoffe GmbH"),
                                    "2026-11-01"};
    QVERIFY(PositionLoad::loadGrid(fx.connection(), download, grid));
    grid.setMarked(0, true);
    grid.setMarked(2, true);
    FMDruck w(grid, download);
    w.show();
    // As it opens: all positions, by EK discount group, with purchase prices
    // and the overview first.
    PriceListOptions o = w.Options();
    QVERIFY(!o.markedOnly);
    QCOMPARE(int(o.grouping), int(PriceListOptions::Grouping::EkGroup));
    QVERIFY(o.purchasePrices);
    QVERIFY(o.overview);
    w.findChild<QRadioButton*>("optMarkiert")->setChecked(true);
    auto* group = w.findChild<QComboBox*>("CBGruppe");
    group->setCurrentIndex(group->findText("wie im Raster"));
    int pages = -1;
    int layoutsSamePaper = -1;
    int layoutsOtherPaper = -1;
    WhenShown<QPrintPreviewDialog>(this, [&](QPrintPreviewDialog* p) {
        QTest::qWait(100);
        // Painted again on the same paper: no new layout.
        auto* view = p->findChild<QPrintPreviewWidget*>();
        view->updatePreview();
        view->updatePreview();
        QTest::qWait(50);
        pages = w.Document() ? w.Document()->pageCount() : -2;
        layoutsSamePaper = w.Document() ? w.Document()->layouts() : -1;
        // Another paper lays it out anew.
        view->setLandscapeOrientation();
        view->updatePreview();
        QTest::qWait(50);
        layoutsOtherPaper = w.Document() ? w.Document()->layouts() : -1;
        p->close();
    });
    w.findChild<QPushButton*>("BUVorschau")->click();
    // The overview of the two marked positions, then the list.
    QCOMPARE(pages, 2);
    QVERIFY(w.Document());
    QCOMPARE(w.Document()->positionCount(), 2);
    QVERIFY(w.Document()->overview());
    QCOMPARE(w.Document()->overview()->count(PositionOverview::Positionen), 2);
    QCOMPARE(layoutsSamePaper, 1);
    QCOMPARE(layoutsOtherPaper, 2);
    // The PDF, and a place it cannot go.
    QTemporaryDir dir;
    QVERIFY(w.SavePdf(dir.filePath("liste.pdf")));
    QVERIFY(QFile(dir.filePath("liste.pdf")).size() > 1000);
    QVERIFY(!w.SavePdf(dir.filePath("fehlt/liste.pdf")));
    QCOMPARE(ui.messages.size(), 1);
    QCOMPARE(ui.messages[0].text,
             "PDF kann nicht geschrieben werden: " + dir.filePath("fehlt/liste.pdf"));
}

QTEST_MAIN(TestGuiPrint)
#include "test_gui_print.moc"
