#include "DemoClient.h"
#include "GuiTestHelpers.h"
#include "StandinEngine.h"
#include "base/SessionContext.h"
#include "import/PriceList.h"
#include "import/gui/FMImport.h"
#include "import/gui/FMSpalten.h"
#include "import/gui/fmpruebn.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

// A price list through the import window: what it recognised, the column
// mapping window (proposal, choices, sheet, first row) and the mapping
// remembered for the supplier's next list.
class TestGuiPriceList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void mappingWindowProposesAndFollowsChoices();
    void priceListImportedAndMappingRemembered();
    void eachKindImportedThroughTheWindow_data();
    void eachKindImportedThroughTheWindow();
    void mappingWindowCancelledStoresNothing();

private:
    int downloadCount();
    // The newest download's positions: order number, description, date,
    // price, net price, sorted.
    QStringList newestPositions();
    QString data(const QString& name) const { return QFINDTESTDATA("data/pricelist/" + name); }
    // Confirms every price track once the track window shows.
    QPointer<QTimer> tickEveryTrack();
    // The texts of the mapping row, column A first.
    static QStringList meanings(FMSpalten& w);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
};

namespace {

template <typename T> T* child(QWidget* w, const char* name) {
    return w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

} // namespace

void TestGuiPriceList::init() {
    StartDemoClient(m_fx, m_ui);
}

void TestGuiPriceList::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

int TestGuiPriceList::downloadCount() {
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT count(*) FROM quendrap_downloads");
    return q.next() ? q.value(0).toInt() : -1;
}

QStringList TestGuiPriceList::newestPositions() {
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT BestNr || '|' || Bezeichnung || '|' || Datum || '|' || Preis || '|' || "
           "rabtyp || netto FROM quendrap_pos WHERE DLID = (SELECT max(CAST(id AS INTEGER)) "
           "FROM quendrap_downloads) ORDER BY BestNr, Datum");
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString();
    return rows;
}

QPointer<QTimer> TestGuiPriceList::tickEveryTrack() {
    return WhenShown<fmpruebn>(this, [](fmpruebn* p) {
        auto* list = child<QTreeWidget>(p, "list1");
        for (int i = 0; list && i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setCheckState(2, Qt::Checked);
        child<QPushButton>(p, "buok")->click();
    });
}

QStringList TestGuiPriceList::meanings(FMSpalten& w) {
    QStringList out;
    for (int c = 0; c < w.model().columnCount(); ++c) {
        auto* box = qobject_cast<QComboBox*>(
            child<QTableView>(&w, "table")->indexWidget(w.model().index(0, c)));
        out << (box ? box->currentText() : QString("?"));
    }
    return out;
}

void TestGuiPriceList::mappingWindowProposesAndFollowsChoices() {
    FMSpalten w(data("preisliste.xlsx"), true, ColumnMapping());
    w.show();
    // The first sheet holds a note only: nothing to propose.
    QCOMPARE(child<QComboBox>(&w, "CBBlatt")->currentText(), QString("Hinweise"));
    QCOMPARE(child<QLabel>(&w, "LBLHinweis")->text(),
             QString("Bitte die Spalte für Best.Nr. wählen"));
    QVERIFY(!child<QPushButton>(&w, "BUImport")->isEnabled());
    // The sheet of prices: the header row's texts give the columns.
    auto* sheet = child<QComboBox>(&w, "CBBlatt");
    sheet->setCurrentIndex(1);
    emit sheet->activated(1);
    QCOMPARE(meanings(w), (QStringList{"Best.Nr.", "Bezeichnung", "EAN", "Preis", "Einheit", "PE",
                                       "Datum", "Netto"}));
    QCOMPARE(child<QSpinBox>(&w, "SPErsteZeile")->value(), 4);
    QVERIFY(child<QPushButton>(&w, "BUImport")->isEnabled());
    QCOMPARE(w.model().headerData(2, Qt::Vertical, Qt::DisplayRole).toString(), QString("3"));
    QCOMPARE(w.model().index(2, 0).data(Qt::ForegroundRole).isValid(), true); // the header: grey
    QCOMPARE(w.model().index(3, 0).data(Qt::ForegroundRole).isValid(), false);
    // A meaning chosen for another column leaves the one that had it.
    auto* b = qobject_cast<QComboBox*>(
        child<QTableView>(&w, "table")->indexWidget(w.model().index(0, 1)));
    b->setCurrentText("Best.Nr.");
    emit b->activated(b->currentIndex());
    QCOMPARE(meanings(w).mid(0, 2), (QStringList{"–", "Best.Nr."}));
    // Without a price column there is nothing to import.
    for (int c : {3, 7}) {
        auto* box = qobject_cast<QComboBox*>(
            child<QTableView>(&w, "table")->indexWidget(w.model().index(0, c)));
        box->setCurrentIndex(0);
        emit box->activated(0);
    }
    QCOMPARE(child<QLabel>(&w, "LBLHinweis")->text(),
             QString("Bitte die Spalte für Preis oder Netto wählen"));
    QVERIFY(!child<QPushButton>(&w, "BUImport")->isEnabled());
    child<QSpinBox>(&w, "SPErsteZeile")->setValue(5);
    const ColumnMapping m = w.mapping();
    QCOMPARE(m.columnsText(), QString("bestnr=B,ean=C,einheit=E,pe=F,datum=G"));
    QCOMPARE(m.firstRow, 5);
    QCOMPARE(m.sheet, QString("Preise"));
}

void TestGuiPriceList::priceListImportedAndMappingRemembered() {
    m_ui->fileLists.enqueue({data("liste-semikolon.csv")});
    const int before = downloadCount();
    FMImport w(m_fx->connection(), FMImport::Source::File);
    w.show();
    QTRY_VERIFY(!child<QPlainTextEdit>(&w, "text")->toPlainText().isEmpty());
    QCOMPARE(child<QPlainTextEdit>(&w, "text")->toPlainText().section('\n', 0, 3),
             QString("CSV-Preisliste, Trennzeichen Semikolon, UTF-8, 7 Zeilen\n"
                     "Die Lieferung nennt keinen Lieferanten: bitte die Lieferantennummer "
                     "angeben\n\nPreisliste Holzhandel Süd 2027"));
    child<QLineEdit>(&w, "TXTLnr")->setText("70001");
    QStringList proposed;
    auto poll = WhenShown<FMSpalten>(this, [&](FMSpalten* s) {
        proposed = meanings(*s);
        // Column C holds EANs; the buyer leaves it out.
        auto* ean = qobject_cast<QComboBox*>(
            child<QTableView>(s, "table")->indexWidget(s->model().index(0, 2)));
        ean->setCurrentIndex(0);
        emit ean->activated(0);
        child<QPushButton>(s, "BUImport")->click();
    });
    auto tracks = tickEveryTrack();
    // No report: the column that would give notes (EAN) is left out.
    QPointer<QTimer> report =
        WhenModalShown("FMImportBericht", [](QWidget* d) { qobject_cast<QDialog*>(d)->accept(); });
    const auto stopPolls = qScopeGuard([&] {
        delete poll.data();
        delete tracks.data();
        delete report.data();
    });
    child<QPushButton>(&w, "Buspeich")->click();
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(proposed, (QStringList{"Best.Nr.", "Bezeichnung", "EAN", "Preis", "Einheit", "PE",
                                    "Rabattgruppe", "Datum"}));
    QCOMPARE(downloadCount(), before + 1);
    QCOMPARE(RememberedMapping(Session().firma, "70001").stored(),
             QString("bestnr=A,bezeichnung=B,preis=D,einheit=E,pe=F,rabattgruppe=G,datum=H|3|"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiPriceList::eachKindImportedThroughTheWindow_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sheet"); // a workbook's sheet chosen in the mapping window
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("positions");
    QTest::newRow("BMEcat") << "../bmecat/katalog-12-latin1.xml"
                            << ""
                            << "BMEcat 1.2, 2 Artikel"
                            << QStringList{"HS-200|Dämmplatte Mineralwolle 100 mm|01.12.2026|7,96|",
                                           "HS-201|Schaumstoffkeil weiß|01.10.2026|2,30|"};
    QTest::newRow("workbook") << "preisliste.xlsx"
                              << "Preise"
                              << "Excel-Preisliste, Blatt Hinweise, 1 Zeile"
                              << QStringList{"100200|Zement CEM II 25 kg|01.01.2027|6,45|",
                                             "Z-2|Mörtel & Putz|01.01.2027|12,90|N9.5",
                                             "Z-3|Estrich 40 kg|01.03.2027|8|"};
}

// What the window stores is what the file says (the purchase side that
// the file gives; the ERP's own defaults left out of the comparison).
void TestGuiPriceList::eachKindImportedThroughTheWindow() {
    QFETCH(QString, file);
    QFETCH(QString, sheet);
    QFETCH(QString, summary);
    QFETCH(QStringList, positions);
    m_ui->fileLists.enqueue({data(file)});
    FMImport w(m_fx->connection(), FMImport::Source::File);
    w.show();
    QTRY_VERIFY(!child<QPlainTextEdit>(&w, "text")->toPlainText().isEmpty());
    QCOMPARE(child<QPlainTextEdit>(&w, "text")->toPlainText().section('\n', 0, 0), summary);
    child<QLineEdit>(&w, "TXTLnr")->setText("70001");
    // A catalogue asks for no mapping.
    QPointer<QTimer> mapping;
    if (!sheet.isEmpty())
        mapping = WhenShown<FMSpalten>(this, [&](FMSpalten* s) {
            auto* sheets = child<QComboBox>(s, "CBBlatt");
            sheets->setCurrentText(sheet);
            emit sheets->activated(sheets->currentIndex());
            child<QPushButton>(s, "BUImport")->click();
        });
    auto tracks = tickEveryTrack();
    // Polls not taken end with the test, whatever its outcome.
    // A report comes only when there is something to report.
    QPointer<QTimer> report =
        WhenModalShown("FMImportBericht", [](QWidget* d) { qobject_cast<QDialog*>(d)->accept(); });
    const auto stopPolls = qScopeGuard([&] {
        delete mapping.data();
        delete tracks.data();
        delete report.data();
    });
    child<QPushButton>(&w, "Buspeich")->click();
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(m_ui->messages.isEmpty());
    QStringList stored = newestPositions();
    // A list price without a net price of its own: the ERP's "N" with the
    // price as net, or the article's discounts; not the file's.
    for (QString& row : stored)
        if (!row.endsWith("N9.5"))
            row = row.section('|', 0, 3) + '|';
    QCOMPARE(stored, positions);
}

void TestGuiPriceList::mappingWindowCancelledStoresNothing() {
    QString ignored;
    RememberMapping(Session().firma, "70001",
                    *ColumnMapping::FromColumnsText("bestnr=A,preis=C", &ignored));
    m_ui->fileLists.enqueue({data("liste-tab.csv")});
    const int before = downloadCount();
    FMImport w(m_fx->connection(), FMImport::Source::File);
    w.show();
    QTRY_VERIFY(!child<QPlainTextEdit>(&w, "text")->toPlainText().isEmpty());
    child<QLineEdit>(&w, "TXTLnr")->setText("70001");
    QStringList shown;
    auto poll = WhenShown<FMSpalten>(this, [&](FMSpalten* s) {
        shown = meanings(*s);
        child<QPushButton>(s, "BUAbbruch")->click();
    });
    child<QPushButton>(&w, "Buspeich")->click();
    QTRY_VERIFY(!shown.isEmpty());
    // The supplier's mapping (its first row not chosen yet: row 1).
    QCOMPARE(shown, (QStringList{"Best.Nr.", "–", "Preis", "–"}));
    QVERIFY(w.isVisible());
    QVERIFY(child<QPushButton>(&w, "Buspeich")->isEnabled());
    QCOMPARE(downloadCount(), before);
    delete poll.data();
}

QTEST_MAIN(TestGuiPriceList)
#include "test_gui_pricelist.moc"
