#include "TestSupport.h"
#include "base/TraceLog.h"
#include "base/WorkstationSettings.h"
#include "shell/PlacementValue.h"
#include "shell/gui/frmProgrammverlauf.h"
#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

class TestShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { TraceLogModel::instance().clear(); }

    void traceKeepsLatestHundredNewestFirst();
    void traceIgnoresLevel255();
    void traceWindowShowsColumnsAndOnlyHidesOnClose();

    void placementValueFormatAndParse_data();
    void placementValueFormatAndParse();
    void placementNeverStoredKeepsDefinedPlace();
    void placementRoundTrip();
    void minimisedWindowKeepsStoredPlacement();
    void selectAllText();
    void qtsOwnTextsAreGerman();
};

void TestShell::traceKeepsLatestHundredNewestFirst() {
    for (int i = 1; i <= 150; ++i)
        TraceLog("cacheapi.test", QString::number(i), "p" + QString::number(i), i % 2 ? 40 : 0);
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e.size(), 100);
    QCOMPARE(e.first().text, QString("150"));
    QCOMPARE(e.first().parameter, QString("p150"));
    QCOMPARE(e.last().text, QString("51"));
    QCOMPARE(TraceLogModel::instance().rowCount(), 100);
}

void TestShell::traceIgnoresLevel255() {
    TraceLog("a", "kept", "", 254);
    TraceLog("a", "dropped", "", 255);
    StatusText("b", "status", "x");
    const auto& e = TraceLogModel::instance().entries();
    QCOMPARE(e.size(), 2);
    QCOMPARE(e[0].part, QString("b"));
    QCOMPARE(e[1].text, QString("kept"));
}

void TestShell::traceWindowShowsColumnsAndOnlyHidesOnClose() {
    frmProgrammverlauf* w = frmProgrammverlauf::instance();
    QCOMPARE(w->windowTitle(), QString("Programmverlauf"));
    auto* list = w->findChild<QTreeView*>("Verlauf");
    QVERIFY(list);
    QAbstractItemModel* m = list->model();
    QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QString("Programmteil"));
    QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QString("Text"));
    QCOMPARE(m->headerData(2, Qt::Horizontal).toString(), QString("Parameter"));
    w->StatusText("FMPass.Form_Load", "Start", "");
    TraceLog("FMPass.Form_Load", "Ende", "x", 40);
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->index(0, 1).data().toString(), QString("Ende"));
    QCOMPARE(m->index(0, 2).data().toString(), QString("x"));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(!w->close());
    QVERIFY(w->isHidden());
    QCOMPARE(frmProgrammverlauf::instance(), w);
    QCOMPARE(m->rowCount(), 2);
}

void TestShell::placementValueFormatAndParse_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::newRow("plain") << "1500|1200|9000|6000" << 1500.0 << 1200.0 << 9000.0 << 6000.0;
    QTest::newRow("decimals") << "10.5|0|7|8" << 10.5 << 0.0 << 7.0 << 8.0;
    QTest::newRow("non-numeric and missing") << "abc|12x|" << 0.0 << 12.0 << 0.0 << 0.0;
    QTest::newRow("negative left") << "-150|30|100|100" << -150.0 << 30.0 << 100.0 << 100.0;
}

void TestShell::placementValueFormatAndParse() {
    QFETCH(QString, value);
    const PlacementTwips p = ParsePlacement(value);
    QTEST(p.left, "left");
    QTEST(p.top, "top");
    QTEST(p.width, "width");
    QTEST(p.height, "height");
    QCOMPARE(FormatPlacement(PlacementTwips{1500, 1200.5, 9000, 6000}),
             QString("1500|1200.5|9000|6000"));
}

void TestShell::placementNeverStoredKeepsDefinedPlace() {
    TemporarySettings tmp;
    QWidget w;
    w.setGeometry(40, 50, 300, 200);
    QVERIFY(!RestoreWindowPlacement(&w, "FMPos"));
    QCOMPARE(w.size(), QSize(300, 200));
    QCOMPARE(w.pos(), QPoint(40, 50));
}

void TestShell::placementRoundTrip() {
    TemporarySettings tmp;
    QWidget w;
    w.move(60, 70);
    w.resize(320, 240);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    SaveWindowPlacement(&w, "FMImport");
    const double dpi = w.screen()->logicalDotsPerInchX();
    const QString stored = WorkstationSettings::value("Quendrapr", "Windowpos", "FMImport");
    QCOMPARE(stored,
             FormatPlacement({PixelsToTwips(w.pos().x(), dpi), PixelsToTwips(w.pos().y(), dpi),
                              PixelsToTwips(320, dpi), PixelsToTwips(240, dpi)}));
    QWidget other;
    other.resize(100, 100);
    QVERIFY(RestoreWindowPlacement(&other, "FMImport"));
    QCOMPARE(other.size(), QSize(320, 240));
    QCOMPARE(other.pos(), w.pos());
}

void TestShell::minimisedWindowKeepsStoredPlacement() {
    TemporarySettings tmp;
    WorkstationSettings::setValue("Quendrapr", "Windowpos", "FMRabgr", "1|2|3000|4000");
    QWidget w;
    w.resize(500, 400);
    w.showMinimized();
    QVERIFY(w.isMinimized());
    SaveWindowPlacement(&w, "FMRabgr");
    QCOMPARE(WorkstationSettings::value("Quendrapr", "Windowpos", "FMRabgr"),
             QString("1|2|3000|4000"));
}

void TestShell::selectAllText() {
    QLineEdit e("geheim");
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.setCursorPosition(2);
    SelectAllText(&e, true);
    QCOMPARE(e.selectionStart(), 0);
    QCOMPARE(e.selectedText(), QString("geheim"));
}

void TestShell::qtsOwnTextsAreGerman() {
    QVERIFY(InstallGermanTranslations(*qApp));
    QDialogButtonBox buttons(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QString("Abbrechen"));
    QCOMPARE(buttons.button(QDialogButtonBox::Open)->text(), QString("Öffnen"));
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    auto* lookIn = files.findChild<QLabel*>("lookInLabel");
    QVERIFY(lookIn);
    QCOMPARE(lookIn->text(), QString("Suchen in:"));
    QCOMPARE(QLocale().toString(1234567), QString("1.234.567"));
    QLocale::setDefault(QLocale::c());
}

QTEST_MAIN(TestShell)
#include "test_shell.moc"
