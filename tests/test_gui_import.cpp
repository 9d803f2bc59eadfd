#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "GuiTestHelpers.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "common/TextHelpers.h"
#include "conditions/gui/ConditionWindows.h"
#include "import/ImportFormats.h"
#include "import/PriceTracks.h"
#include "import/SupplierDefaults.h"
#include "import/WebImport.h"
#include "import/gui/FMDef.h"
#include "import/gui/FMImport.h"
#include "import/gui/FMWebDownload.h"
#include "import/gui/fmpruebn.h"
#include "lookup/gui/FMLnrsu.h"
#include "server/Connection.h"
#include "shell/Downloads.h"
#include "widgets/DialogUserInterface.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <memory>

namespace {

const QString kJan = QStringLiteral("01.01.2027");
const QString kApr = QStringLiteral("01.04.2027");

QString articleLine(const QString& herst, const QString& unit, const QString& price,
                    const QString& date, const QString& price2 = QStringLiteral("0"),
                    const QString& date2 = QString(), const QString& artnr = QStringLiteral("A1")) {
    return DemoArticleLine(herst, QString(), artnr, QStringLiteral("Artikel ") + artnr, unit, price,
                           date, price2, date2, QStringLiteral("RG01"));
}

void writeFile(const QString& path, const QString& header, const QStringList& lines) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(ToWindows1252(header) + "\r\n");
    for (const QString& l : lines)
        f.write(ToWindows1252(l) + "\r\n");
}

// Six lines of MUE: five first prices of January (one line has a first
// price of 0, whose second price still counts) and four second prices of
// April.
QStringList mueLines() {
    return {articleLine("MUE", "PAK", "5,10", kJan, "5,30", kApr, "M-1"),
            articleLine("MUE", "PAK", "7,95", kJan, "8,20", kApr, "M-2"),
            articleLine("MUE", "SCK", "6,60", kJan, "0", QString(), "M-3"),
            articleLine("MUE", "SCK", "9,90", kJan, "10,40", kApr, "M-4"),
            articleLine("MUE", "STK", "0", kJan, "3,00", kApr, "M-5"),
            articleLine("MUE", "M", "2,00", kJan, "0", QString(), "M-6")};
}

template <typename T> T* child(QWidget* w, const char* name) {
    return w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

} // namespace

class TestGuiImport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    // Price track window.
    void priceTracksShownAndTicksWrittenBackOnOk();
    void priceTracksClosedWithoutOkLeavesListAlone();
    void priceTracksOkWithoutTickConfirmsEmptyChoice();

    // Opening a file.
    void openingPrefillsSupplierOfManufacturerCode();
    void openingShowsOnlyTheHeadOfABigFile();
    void openingWithFailedSupplierLookUpKeepsTheFile();
    void openingMissingFileReportsAndCloses();
    void openingFileWithoutBackslashReportsAndCloses();
    void datanormDeliveryChosenTogetherOrAsZip_data();
    void datanormDeliveryChosenTogetherOrAsZip();
    void fileChoiceCancelledClosesWindow();
    void fileChoiceOpensChosenFile();
    void placementStoredUnderImportOrWebKey();

    // Supplier box.
    void clearingSupplierDisablesButtonsAndEmptiesName();
    void leavingSupplierBoxChecksSupplier();
    void unknownSupplierLetsTheSearchOpen();
    void supplierSearchButtonFillsSupplier();
    void defaultsOpenForSupplierOfTheBox();

    // Import.
    void importStoresExactlyTheTickedDate();
    void importDeclinedStoresNothingAndKeepsWindowOpen();
    void importWithMissingUnitsReportsAndStoresNothing();

    // Web import.
    void webDownloadListsOfferedSuppliers();
    void webDownloadEntryWithoutCodeStaysOpenAndWritesNothing();
    void webDownloadFailingOnTheServerStaysOpen();
    void webDownloadWritesFileAndCloses();
    void webImportOpensDownloadedFile();
    void webImportWithoutDownloadReportsMissingFile();

    // Supplier search and defaults.
    void supplierSearchListsHitsAndReturnsChoice();
    void supplierSearchCancelledReturnsEmpty();
    void defaultsSavedOrLeftAlone();

private:
    // Runs act on the first visible top-level window of type T once it is
    // shown (a modal window opened by the code under test).
    template <typename T> void whenShown(std::function<void(T*)> act);
    int downloadCount();
    QString lastDownloadId();
    int positionsOf(const QString& downloadId);
    QString path(const QString& name) const { return m_fx->path(name); }
    // An import window over a file, shown, without the file choice.
    std::unique_ptr<FMImport> openedWindow(const QString& file,
                                           FMImport::Source source = FMImport::Source::File);

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    QList<QPointer<QTimer>> m_pollers;
};

template <typename T> void TestGuiImport::whenShown(std::function<void(T*)> act) {
    m_pollers << WhenShown<T>(this, std::move(act));
}

void TestGuiImport::init() {
    StartDemoClient(m_fx, m_ui);
    Session().userDisplay = "DEM|Demo";
}

void TestGuiImport::cleanup() {
    for (const QPointer<QTimer>& t : std::as_const(m_pollers))
        delete t.data();
    m_pollers.clear();
    EndDemoClient(m_fx, m_ui);
}

int TestGuiImport::downloadCount() {
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT count(*) FROM quendrap_downloads");
    return q.next() ? q.value(0).toInt() : -1;
}

QString TestGuiImport::lastDownloadId() {
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT id FROM quendrap_downloads ORDER BY CAST(id AS INTEGER) DESC LIMIT 1");
    return q.next() ? q.value(0).toString() : QString();
}

int TestGuiImport::positionsOf(const QString& downloadId) {
    QSqlQuery q(m_fx->engine().db());
    q.prepare("SELECT count(*) FROM quendrap_pos WHERE DLID=?");
    q.addBindValue(downloadId);
    q.exec();
    return q.next() ? q.value(0).toInt() : -1;
}

std::unique_ptr<FMImport> TestGuiImport::openedWindow(const QString& file,
                                                      FMImport::Source source) {
    auto w = std::make_unique<FMImport>(m_fx->connection(), source);
    w->show();
    // The file comes from the test, not from the file choice.
    w->findChild<QTimer*>("Timer1")->stop();
    w->openFile(file);
    return w;
}

// ---------------------------------------------------------------------------
// Price track window

void TestGuiImport::priceTracksShownAndTicksWrittenBackOnOk() {
    PriceTrackList tracks;
    for (int i = 0; i < 3; ++i)
        tracks.count(kJan);
    tracks.count(kApr);
    QString title;
    QStringList headers;
    QStringList rows;
    whenShown<fmpruebn>([&](fmpruebn* w) {
        title = w->windowTitle();
        auto* list = child<QTreeWidget>(w, "list1");
        if (list) {
            for (int c = 0; c < list->columnCount(); ++c)
                headers << list->headerItem()->text(c);
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                rows << list->topLevelItem(i)->text(0) + "/" + list->topLevelItem(i)->text(1);
            list->topLevelItem(1)->setCheckState(2, Qt::Checked);
        }
        if (auto* ok = child<QPushButton>(w, "buok"))
            ok->click();
        else
            w->close();
    });
    QVERIFY(fmpruebn::choose(tracks, nullptr));
    QCOMPARE(title, QString("VELTAR Quendra Preisschienenauswahl"));
    QCOMPARE(headers, (QStringList{"Datum", "Anzahl", "übernehmen"}));
    QCOMPARE(rows, (QStringList{"01.01.2027/3", "01.04.2027/1"}));
    QVERIFY(!tracks.isMarked(kJan));
    QVERIFY(tracks.isMarked(kApr));
}

void TestGuiImport::priceTracksClosedWithoutOkLeavesListAlone() {
    PriceTrackList tracks;
    tracks.count(kJan);
    whenShown<fmpruebn>([](fmpruebn* w) {
        if (auto* list = child<QTreeWidget>(w, "list1"))
            list->topLevelItem(0)->setCheckState(2, Qt::Checked);
        w->close();
    });
    QVERIFY(!fmpruebn::choose(tracks, nullptr));
    QVERIFY(!tracks.isMarked(kJan));

    // Escape is no confirmation either.
    whenShown<fmpruebn>([](fmpruebn* w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(!fmpruebn::choose(tracks, nullptr));
}

void TestGuiImport::priceTracksOkWithoutTickConfirmsEmptyChoice() {
    PriceTrackList tracks;
    tracks.count(kJan);
    tracks.rows()[0].marked = true; // a stale mark is shown and can be taken off
    Qt::CheckState shown = Qt::Unchecked;
    whenShown<fmpruebn>([&](fmpruebn* w) {
        if (auto* list = child<QTreeWidget>(w, "list1")) {
            shown = list->topLevelItem(0)->checkState(2);
            list->topLevelItem(0)->setCheckState(2, Qt::Unchecked);
        }
        if (auto* ok = child<QPushButton>(w, "buok"))
            ok->click();
        else
            w->close();
    });
    QVERIFY(fmpruebn::choose(tracks, nullptr));
    QCOMPARE(shown, Qt::Checked);
    QVERIFY(!tracks.isMarked(kJan));
}

// ---------------------------------------------------------------------------
// Opening a file

void TestGuiImport::openingWithFailedSupplierLookUpKeepsTheFile() {
    m_fx->setClientMaker([](StandinEngine& engine) {
        return std::make_unique<RefusingClient>(engine, "getlnr", 5100, "<UNDEFINED> getlnr");
    });
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    // The error report, then the window with the file, waiting for a
    // supplier number typed by the buyer.
    QVERIFY(w->isVisible());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].title, QString("Caché Zugriffsfehler"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTFile")->text(), path("mue.txt"));
    QVERIFY(child<QPlainTextEdit>(w.get(), "text")->toPlainText().contains("M-1"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLnr")->text(), QString());
    QVERIFY(!child<QPushButton>(w.get(), "Buspeich")->isEnabled());
    child<QLineEdit>(w.get(), "TXTLnr")->setText("70001");
    QVERIFY(child<QPushButton>(w.get(), "Buspeich")->isEnabled());
}

void TestGuiImport::openingPrefillsSupplierOfManufacturerCode() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QString("VELTAR Quendra Preisdaten - Import"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTFile")->text(), path("mue.txt"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLnr")->text(), QString("70001"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLname")->text(), QString("Müller Baustoffe GmbH"));
    QVERIFY(child<QPushButton>(w.get(), "Buspeich")->isEnabled());
    QVERIFY(child<QPushButton>(w.get(), "BUDefaults")->isEnabled());
    QVERIFY(child<QProgressBar>(w.get(), "meter")->isHidden());
    QCOMPARE(child<QPushButton>(w.get(), "Buspeich")->text(), QString("Importieren"));
    QCOMPARE(child<QPushButton>(w.get(), "BUClose")->text(), QString("Ausstieg"));
    QCOMPARE(child<QPushButton>(w.get(), "BUDefaults")->text(), QString("Defaults"));
    auto* text = child<QPlainTextEdit>(w.get(), "text");
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->document()->findBlockByNumber(0).text(), kExtendedImportHeaderLine);
    QCOMPARE(text->document()->findBlockByNumber(1).text(), mueLines().first());
    QCOMPARE(text->toPlainText().count(u'\n'), 7);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiImport::openingShowsOnlyTheHeadOfABigFile() {
    QStringList lines;
    for (int i = 1; i <= 5000; ++i)
        lines << articleLine("MUE", "STK", "1,00", kJan, "0", QString(), QString::number(i));
    writeFile(path("big.txt"), kExtendedImportHeaderLine, lines);
    auto w = openedWindow(path("big.txt"));
    const QTextDocument* doc = child<QPlainTextEdit>(w.get(), "text")->document();
    QCOMPARE(doc->findBlockByNumber(FMImport::kShownLines - 1).text(), lines[1998]);
    QCOMPARE(doc->findBlockByNumber(FMImport::kShownLines).text(),
             QString("[… Die Datei hat 5.001 Zeilen; angezeigt sind die ersten 2.000.]"));
    QCOMPARE(doc->blockCount(), FMImport::kShownLines + 2);

    // The import still reads the whole file.
    whenShown<fmpruebn>([](fmpruebn* p) {
        auto* list = child<QTreeWidget>(p, "list1");
        if (list && list->topLevelItemCount() > 0)
            list->topLevelItem(0)->setCheckState(2, Qt::Checked);
        if (auto* ok = child<QPushButton>(p, "buok"))
            ok->click();
        else
            p->close();
    });
    child<QPushButton>(w.get(), "Buspeich")->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(positionsOf(lastDownloadId()), 5000);
}

void TestGuiImport::openingMissingFileReportsAndCloses() {
    auto w = openedWindow(path("fehlt.txt"));
    QVERIFY(!w->isVisible());
    QCOMPARE(w->result(), int(QDialog::Rejected));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Datei nicht vorhanden"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(child<QLineEdit>(w.get(), "TXTFile")->text(), path("fehlt.txt"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLnr")->text(), QString());
    // The window's own user interface is gone again.
    QCOMPARE(&UI(), static_cast<UserInterface*>(m_ui.get()));
}

void TestGuiImport::openingFileWithoutBackslashReportsAndCloses() {
    writeFile(path("csv.txt"), "HerstCode EAN Preis", {"MUE 4006209000013 5,10"});
    auto w = openedWindow(path("csv.txt"));
    QVERIFY(!w->isVisible());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Datei ist keine gültige erweiterte Importdatei (Zeichen <\\> fehlen)"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(child<QPlainTextEdit>(w.get(), "text")->toPlainText(), QString());
}

void TestGuiImport::datanormDeliveryChosenTogetherOrAsZip_data() {
    QTest::addColumn<QStringList>("files");
    const QString v4 = QFINDTESTDATA("data/datanorm/v4/DATANORM.001").section('/', 0, -2);
    QTest::newRow("four files") << QStringList{v4 + "/DATPREIS.001", v4 + "/DATANORM.RAB",
                                               v4 + "/DATANORM.001", v4 + "/DATANORM.WRG"};
    QTest::newRow("a zip") << QStringList{QFINDTESTDATA("data/datanorm/v4.zip")};
}

// The files of a DATANORM delivery chosen together, or its .zip: the window
// says what it recognised and that the supplier is to be typed; the import
// stores the articles' positions and reports what else the delivery held.
void TestGuiImport::datanormDeliveryChosenTogetherOrAsZip() {
    QFETCH(QStringList, files);
    QVERIFY(!files.first().isEmpty());
    m_ui->fileLists.enqueue(files);
    const int before = downloadCount();
    FMImport w(m_fx->connection(), FMImport::Source::File);
    // The rates go into the discount groups as from the main window.
    ConditionWindows conditions;
    w.setRatesTaker(&conditions);
    w.show();
    QTRY_VERIFY(!child<QPlainTextEdit>(&w, "text")->toPlainText().isEmpty());
    QVERIFY(w.isVisible());
    const QStringList head = child<QPlainTextEdit>(&w, "text")->toPlainText().split('\n');
    QCOMPARE(head.mid(0, 2),
             (QStringList{"DATANORM 4, 4 Dateien, 5 Artikel",
                          "Die Lieferung nennt keinen Lieferanten: bitte die Lieferantennummer "
                          "angeben"}));
    QVERIFY(head.value(3).startsWith("V 150327Müller Baustoffe GmbH"));
    QCOMPARE(m_ui->fileChoices.last().value(2),
             QString("Preisdateien (*.txt *.001 *.zip);;Kataloge und Preislisten (*.xml *.xlsx "
                     "*.csv);;Alle Dateien (*)"));
    QVERIFY(child<QLineEdit>(&w, "TXTLnr")->text().isEmpty());
    QVERIFY(!child<QPushButton>(&w, "Buspeich")->isEnabled());
    child<QLineEdit>(&w, "TXTLnr")->setText("70001");
    // The track choice: every date ticked.
    whenShown<fmpruebn>([&](fmpruebn* p) {
        auto* list = child<QTreeWidget>(p, "list1");
        for (int i = 0; list && i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setCheckState(2, Qt::Checked);
        child<QPushButton>(p, "buok")->click();
    });
    QStringList report;
    WhenModalShown("FMImportBericht", [&](QWidget* d) {
        report = child<QPlainTextEdit>(d, "TXTHinweise")->toPlainText().split('\n');
        qobject_cast<QDialog*>(d)->accept();
    });
    child<QPushButton>(&w, "Buspeich")->click();
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(report, (QStringList{"1 Preis ohne Artikelstamm übersprungen",
                                  "1 Artikel als gelöscht gemeldet",
                                  "3 Rabattsätze aus der Rabattgruppendatei",
                                  "Rabattsätze in 1 Rabattgruppe eingetragen"}));
    QCOMPARE(downloadCount(), before + 1);
    const QString id = lastDownloadId();
    QCOMPARE(positionsOf(id), 6);
    // The .RAB file's rate is in the download's group R21.
    QSqlQuery q(m_fx->engine().db());
    q.prepare("SELECT Rabatt1 FROM quendrap_ekgrp WHERE DLID=? AND RabattGR='R21'");
    q.addBindValue(id);
    QVERIFY(q.exec() && q.next());
    QCOMPARE(q.value(0).toDouble(), 32.5);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiImport::fileChoiceCancelledClosesWindow() {
    DialogUserInterface dialogs; // the program's real file dialog
    FMImport w(m_fx->connection(), FMImport::Source::File);
    QString filter;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        filter = d->nameFilters().join(";;");
        d->reject();
    });
    w.show();
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(filter,
             QString("Preisdateien (*.txt *.001 *.zip);;Kataloge und Preislisten (*.xml *.xlsx "
                     "*.csv);;Alle Dateien (*)"));
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(child<QLineEdit>(&w, "TXTFile")->text(), QString());
}

void TestGuiImport::fileChoiceOpensChosenFile() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    DialogUserInterface dialogs; // the program's real file dialog
    FMImport w(m_fx->connection(), FMImport::Source::File);
    whenShown<QFileDialog>([&](QFileDialog* d) {
        d->selectFile(path("mue.txt"));
        QMetaObject::invokeMethod(d, "accept");
    });
    w.show();
    QTRY_COMPARE(child<QLineEdit>(&w, "TXTLnr")->text(), QString("70001"));
    QVERIFY(w.isVisible());
    QCOMPARE(child<QLineEdit>(&w, "TXTFile")->text(), path("mue.txt"));
}

void TestGuiImport::placementStoredUnderImportOrWebKey() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    {
        auto w = openedWindow(path("mue.txt"));
        w->resize(820, 540);
        child<QPushButton>(w.get(), "BUClose")->click();
        QVERIFY(!w->isVisible());
    }
    {
        FMImport file(m_fx->connection(), FMImport::Source::File);
        QCOMPARE(file.size(), QSize(820, 540));
        // The web import keeps its own placement.
        FMImport web(m_fx->connection(), FMImport::Source::Web);
        QCOMPARE(web.size(), QSize(900, 600));
    }
}

// ---------------------------------------------------------------------------
// Supplier box

void TestGuiImport::clearingSupplierDisablesButtonsAndEmptiesName() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    auto* lnr = child<QLineEdit>(w.get(), "TXTLnr");
    auto* name = child<QLineEdit>(w.get(), "TXTLname");
    auto* import = child<QPushButton>(w.get(), "Buspeich");
    auto* defaults = child<QPushButton>(w.get(), "BUDefaults");
    lnr->clear();
    QVERIFY(!import->isEnabled());
    QVERIFY(!defaults->isEnabled());
    QCOMPARE(name->text(), QString());
    QTest::keyClicks(lnr, "7");
    QVERIFY(import->isEnabled());
    QVERIFY(defaults->isEnabled());
    QTest::keyClick(lnr, Qt::Key_Backspace);
    QVERIFY(!import->isEnabled());
    QVERIFY(!defaults->isEnabled());
}

void TestGuiImport::leavingSupplierBoxChecksSupplier() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    auto* lnr = child<QLineEdit>(w.get(), "TXTLnr");
    auto* name = child<QLineEdit>(w.get(), "TXTLname");
    auto leave = [&] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(lnr, &out);
    };

    lnr->setText("70002");
    QCOMPARE(name->text(), QString("Müller Baustoffe GmbH")); // only leaving checks
    leave();
    QCOMPARE(name->text(), QString("Schröder Dämmtechnik KG"));
    QVERIFY(m_ui->messages.isEmpty());

    lnr->setText("99999");
    leave();
    QCOMPARE(name->text(), QString());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Lieferant nicht gespeichert"));
    QCOMPARE(m_ui->messages[0].title, MainWindowTitle());
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Information);

    // Leaving the box for another control: the focus comes back after a
    // supplier that is not stored.
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    lnr->setFocus();
    child<QPlainTextEdit>(w.get(), "text")->setFocus();
    QCOMPARE(m_ui->messages.size(), 2);
    QVERIFY(lnr->hasFocus());

    // Another window coming to the front is no leaving.
    m_ui->messages.clear();
    lnr->setText("70001");
    QFocusEvent deactivated(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(lnr, &deactivated);
    QCOMPARE(name->text(), QString());
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiImport::unknownSupplierLetsTheSearchOpen() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    auto* lnr = child<QLineEdit>(w.get(), "TXTLnr");
    auto* name = child<QLineEdit>(w.get(), "TXTLname");
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    lnr->setFocus();
    QCOMPARE(name->text(), QString("Müller Baustoffe GmbH"));
    // Typing another number takes the old name away at once.
    lnr->selectAll();
    QTest::keyClicks(lnr, "99999");
    QCOMPARE(name->text(), QString());
    // The search button is no leaving of the box: no message, the search
    // opens and its choice is checked.
    bool opened = false;
    whenShown<FMLnrsu>([&](FMLnrsu* s) {
        opened = true;
        child<QLineEdit>(s, "SKBEZ")->setText("Schröder");
        child<QPushButton>(s, "BUSuchen")->click();
        child<QPushButton>(s, "BUOK")->click();
        if (s->isVisible())
            s->reject();
    });
    auto* search = child<QPushButton>(w.get(), "BULSu");
    search->setFocus();
    QVERIFY(m_ui->messages.isEmpty());
    search->click();
    QVERIFY(opened);
    QCOMPARE(lnr->text(), QString("70002"));
    QCOMPARE(name->text(), QString("Schröder Dämmtechnik KG"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiImport::supplierSearchButtonFillsSupplier() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    whenShown<FMLnrsu>([](FMLnrsu* s) {
        child<QLineEdit>(s, "SKBEZ")->setText("Schröder");
        child<QPushButton>(s, "BUSuchen")->click();
        child<QPushButton>(s, "BUOK")->click();
        if (s->isVisible())
            s->reject();
    });
    child<QPushButton>(w.get(), "BULSu")->click();
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLnr")->text(), QString("70002"));
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLname")->text(), QString("Schröder Dämmtechnik KG"));

    // A search closed without a choice changes nothing.
    whenShown<FMLnrsu>([](FMLnrsu* s) { child<QPushButton>(s, "BUAbbruch")->click(); });
    child<QPushButton>(w.get(), "BULSu")->click();
    QCOMPARE(child<QLineEdit>(w.get(), "TXTLnr")->text(), QString("70002"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiImport::defaultsOpenForSupplierOfTheBox() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    child<QLineEdit>(w.get(), "TXTLnr")->setText("70003");
    QString shownSupplier;
    QString shownName;
    QString title;
    whenShown<FMDef>([&](FMDef* d) {
        title = d->windowTitle();
        shownSupplier = child<QLineEdit>(d, "TXTLnr")->text();
        shownName = child<QLabel>(d, "LBLname")->text();
        d->reject();
    });
    child<QPushButton>(w.get(), "BUDefaults")->click();
    QCOMPARE(title, QString("VELTAR Quendra Preisdaten - Defaults"));
    QCOMPARE(shownSupplier, QString("70003"));
    QCOMPARE(shownName, QString("Weiß & Söhne Fliesen"));
    QVERIFY(w->isVisible());
}

// ---------------------------------------------------------------------------
// Import

void TestGuiImport::importStoresExactlyTheTickedDate() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    QSignalSpy imported(w.get(), &FMImport::imported);
    const int before = downloadCount();

    QStringList rows;
    bool closedWhileRunning = true;
    bool meterShown = false;
    int meterMaximum = 0;
    bool buttonsDisabled = false;
    bool progressForwarded = true;
    whenShown<fmpruebn>([&](fmpruebn* p) {
        closedWhileRunning = w->close();
        auto* meter = child<QProgressBar>(w.get(), "meter");
        meterShown = meter->isVisible();
        meterMaximum = meter->maximum();
        buttonsDisabled = !child<QPushButton>(w.get(), "Buspeich")->isEnabled() &&
                          !child<QPushButton>(w.get(), "BUClose")->isEnabled();
        progressForwarded = m_ui->progressMaximum != 0;
        auto* list = child<QTreeWidget>(p, "list1");
        for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            rows << item->text(0) + "/" + item->text(1);
            if (item->text(0) == kApr)
                item->setCheckState(2, Qt::Checked);
        }
        child<QPushButton>(p, "buok")->click();
    });
    child<QPushButton>(w.get(), "Buspeich")->click();

    QCOMPARE(rows, (QStringList{"01.01.2027/5", "01.04.2027/4"}));
    QVERIFY(!closedWhileRunning);
    QVERIFY(meterShown);
    QCOMPARE(meterMaximum, 7); // line feeds of the file
    QVERIFY(buttonsDisabled);
    QVERIFY(!progressForwarded);

    QCOMPARE(downloadCount(), before + 1);
    const QString id = lastDownloadId();
    QCOMPARE(positionsOf(id), 4);
    QSqlQuery q(m_fx->engine().db());
    q.prepare("SELECT count(*) FROM quendrap_pos WHERE DLID=? AND Datum<>?");
    q.addBindValue(id);
    q.addBindValue(kApr);
    QVERIFY(q.exec() && q.next());
    QCOMPARE(q.value(0).toInt(), 0);
    q.prepare("SELECT LNR, PCODE FROM quendrap_downloads WHERE id=?");
    q.addBindValue(id);
    QVERIFY(q.exec() && q.next());
    QCOMPARE(q.value(0).toString(), QString("70001"));
    QCOMPARE(q.value(1).toString(), QString("DEM"));

    QCOMPARE(imported.count(), 1);
    QVERIFY(!w->isVisible());
    QCOMPARE(w->result(), int(QDialog::Accepted));
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(&UI(), static_cast<UserInterface*>(m_ui.get()));
}

void TestGuiImport::importDeclinedStoresNothingAndKeepsWindowOpen() {
    writeFile(path("mue.txt"), kExtendedImportHeaderLine, mueLines());
    auto w = openedWindow(path("mue.txt"));
    QSignalSpy imported(w.get(), &FMImport::imported);
    const int before = downloadCount();
    bool shown = false;
    whenShown<fmpruebn>([&](fmpruebn* p) {
        shown = true;
        if (auto* list = child<QTreeWidget>(p, "list1"))
            list->topLevelItem(0)->setCheckState(2, Qt::Checked);
        p->close(); // the close box, not "OK"
    });
    child<QPushButton>(w.get(), "Buspeich")->click();
    QVERIFY(shown);
    QCOMPARE(downloadCount(), before);
    QCOMPARE(imported.count(), 0);
    QVERIFY(w->isVisible());
    QVERIFY(child<QPushButton>(w.get(), "Buspeich")->isEnabled());
    QVERIFY(child<QPushButton>(w.get(), "BUClose")->isEnabled());
    QVERIFY(child<QPushButton>(w.get(), "BUDefaults")->isEnabled());
    QVERIFY(child<QProgressBar>(w.get(), "meter")->isHidden());
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(&UI(), static_cast<UserInterface*>(m_ui.get()));

    // The window can be closed again now.
    QVERIFY(w->close());
    QVERIFY(!w->isVisible());
}

void TestGuiImport::importWithMissingUnitsReportsAndStoresNothing() {
    writeFile(path("units.txt"), kExtendedImportHeaderLine,
              {articleLine("MUE", "XYZ", "1,00", kJan), articleLine("MUE", "ABC", "2,00", kJan),
               articleLine("MUE", "XYZ", "3,00", kJan)});
    auto w = openedWindow(path("units.txt"));
    const int before = downloadCount();
    bool chooserShown = false;
    whenShown<fmpruebn>([&](fmpruebn* p) {
        chooserShown = true;
        p->close();
    });
    child<QPushButton>(w.get(), "Buspeich")->click();
    QVERIFY(!chooserShown);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Einheiten  XYZ ABC  sind im Veltar nicht zugeordnet"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(downloadCount(), before);
    QVERIFY(w->isVisible());
    QVERIFY(child<QPushButton>(w.get(), "Buspeich")->isEnabled());
    QVERIFY(child<QPushButton>(w.get(), "BUClose")->isEnabled());
    QVERIFY(child<QProgressBar>(w.get(), "meter")->isHidden());
}

// ---------------------------------------------------------------------------
// Web import

void TestGuiImport::webDownloadListsOfferedSuppliers() {
    FMWebDownload w(m_fx->connection());
    QCOMPARE(w.windowTitle(), QString("Quendra Web Download"));
    auto* lief = child<QComboBox>(&w, "Lief");
    QStringList entries;
    for (int i = 0; i < lief->count(); ++i)
        entries << lief->itemText(i);
    QCOMPARE(entries,
             (QStringList{"Müller Baustoffe GmbH (MUE)", "Schröder Dämmtechnik KG (SDT)"}));
    auto* download = child<QPushButton>(&w, "bu_download");
    QCOMPARE(download->text(), QString("Download"));
    // The entry shown can be downloaded at once.
    QCOMPARE(lief->currentText(), QString("Müller Baustoffe GmbH (MUE)"));
    QVERIFY(download->isEnabled());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(lief, Qt::Key_Down);
    QVERIFY(download->isEnabled());
    QCOMPARE(lief->currentText(), QString("Schröder Dämmtechnik KG (SDT)"));
}

void TestGuiImport::webDownloadEntryWithoutCodeStaysOpenAndWritesNothing() {
    const QString file = WebDownloadPath();
    QCOMPARE(file, path("importfile.txt"));
    writeFile(file, kExtendedImportHeaderLine, mueLines()); // an earlier download
    FMWebDownload w(m_fx->connection());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* lief = child<QComboBox>(&w, "Lief");
    lief->addItem("Ohne Kennung");
    lief->setCurrentIndex(lief->count() - 1);
    QTest::mouseClick(lief, Qt::LeftButton);
    lief->hidePopup();
    auto* download = child<QPushButton>(&w, "bu_download");
    QVERIFY(download->isEnabled());
    download->click();
    QVERIFY(w.isVisible());
    QVERIFY(!QFile::exists(file));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestGuiImport::webDownloadFailingOnTheServerStaysOpen() {
    FMWebDownload w(m_fx->connection());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The server's web data are gone: the call fails.
    m_fx->engine().execText("DROP TABLE quendrap_web", {});
    child<QPushButton>(&w, "bu_download")->click();
    QVERIFY(w.isVisible());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].title, QString("Caché Zugriffsfehler"));
    QVERIFY(m_ui->messages[0].text.startsWith(
        "Vorgang: FMWebDownload.bu_download Download.\r\n\r\nFehler: "));
    QVERIFY(!QFile::exists(WebDownloadPath()));
}

void TestGuiImport::webDownloadWritesFileAndCloses() {
    FMWebDownload w(m_fx->connection());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* lief = child<QComboBox>(&w, "Lief");
    lief->setCurrentIndex(0);
    emit lief->activated(0);
    child<QPushButton>(&w, "bu_download")->click();
    QVERIFY(!w.isVisible());
    QFile f(WebDownloadPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 8); // header, six article lines, nothing after the last line end
    QCOMPARE(QString::fromLatin1(lines[0].trimmed()), kExtendedImportHeaderLine);
    QVERIFY(lines[1].startsWith("MUE\\"));
}

void TestGuiImport::webImportOpensDownloadedFile() {
    FMImport w(m_fx->connection(), FMImport::Source::Web);
    whenShown<FMWebDownload>([](FMWebDownload* d) {
        auto* lief = child<QComboBox>(d, "Lief");
        lief->setCurrentIndex(1);
        emit lief->activated(1);
        child<QPushButton>(d, "bu_download")->click();
        if (d->isVisible())
            d->reject();
    });
    w.show();
    QTRY_COMPARE(child<QLineEdit>(&w, "TXTLnr")->text(), QString("70002"));
    QCOMPARE(child<QLineEdit>(&w, "TXTLname")->text(), QString("Schröder Dämmtechnik KG"));
    QCOMPARE(child<QLineEdit>(&w, "TXTFile")->text(), WebDownloadPath());
    QVERIFY(w.isVisible());
    QCOMPARE(child<QPlainTextEdit>(&w, "text")->document()->findBlockByNumber(0).text(),
             kExtendedImportHeaderLine);
}

void TestGuiImport::webImportWithoutDownloadReportsMissingFile() {
    FMImport w(m_fx->connection(), FMImport::Source::Web);
    bool downloadShown = false;
    whenShown<FMWebDownload>([&](FMWebDownload* d) {
        downloadShown = true;
        d->close();
    });
    w.show();
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(downloadShown);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Datei nicht vorhanden"));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(child<QLineEdit>(&w, "TXTFile")->text(), WebDownloadPath());
}

// ---------------------------------------------------------------------------
// Supplier search and defaults

void TestGuiImport::supplierSearchListsHitsAndReturnsChoice() {
    QStringList headers;
    QList<QStringList> rows;
    QString count;
    whenShown<FMLnrsu>([&](FMLnrsu* s) {
        auto* list = child<QTreeView>(s, "LNRSULI");
        QAbstractItemModel* m = list->model();
        for (int c = 0; c < m->columnCount(); ++c)
            headers << m->headerData(c, Qt::Horizontal).toString();
        child<QLineEdit>(s, "SKBEZ")->setText("Dämm");
        child<QPushButton>(s, "BUSuchen")->click();
        for (int i = 0; i < m->rowCount(); ++i) {
            QStringList row;
            for (int c = 0; c < 4; ++c)
                row << m->index(i, c).data().toString();
            rows << row;
        }
        count = child<QLabel>(s, "LBLAnzahl")->text();
        // An empty name part lists every supplier of the group.
        child<QLineEdit>(s, "SKBEZ")->clear();
        QTest::keyClick(child<QLineEdit>(s, "SKBEZ"), Qt::Key_Return);
        const QModelIndex third = m->index(2, 0);
        if (!third.isValid()) {
            s->reject();
            return;
        }
        list->scrollTo(third);
        const QPoint at = list->visualRect(third).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        if (s->isVisible())
            s->reject();
    });
    QCOMPARE(vt_lnr_su(m_fx->connection(), nullptr), QString("70003"));
    QCOMPARE(headers, (QStringList{"Lief.-Nr", "Name", "PLZ", "Ort"}));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0], (QStringList{"70002", "Schröder Dämmtechnik KG", "40231", "Düsseldorf"}));
    QCOMPARE(count, QString("1 Lieferant gefunden"));

    const auto& trace = TraceLogModel::instance().entries();
    QVERIFY(trace.size() >= 2);
    QCOMPARE(trace.first().part, QString("VeltarSU.vt_lnr_su"));
    QCOMPARE(trace.first().text, QString("Ende"));
    QCOMPARE(trace.first().parameter, QString("70003"));
    QCOMPARE(trace.last().part, QString("VeltarSU.vt_lnr_su"));
    QCOMPARE(trace.last().text, QString("Start"));
}

void TestGuiImport::supplierSearchCancelledReturnsEmpty() {
    whenShown<FMLnrsu>([](FMLnrsu* s) {
        child<QPushButton>(s, "BUSuchen")->click();
        auto* list = child<QTreeView>(s, "LNRSULI");
        list->setCurrentIndex(list->model()->index(0, 0));
        child<QPushButton>(s, "BUAbbruch")->click();
    });
    QCOMPARE(vt_lnr_su(m_fx->connection(), nullptr), QString());
    // Enter in the list chooses the current row.
    whenShown<FMLnrsu>([](FMLnrsu* s) {
        child<QPushButton>(s, "BUSuchen")->click();
        auto* list = child<QTreeView>(s, "LNRSULI");
        list->setCurrentIndex(list->model()->index(3, 0));
        QTest::keyClick(list, Qt::Key_Return);
        if (s->isVisible())
            s->reject();
    });
    QCOMPARE(vt_lnr_su(m_fx->connection(), nullptr), QString("70004"));
}

void TestGuiImport::defaultsSavedOrLeftAlone() {
    {
        FMDef d(m_fx->connection(), "70002");
        d.show();
        QCOMPARE(child<QLineEdit>(&d, "TXTLnr")->text(), QString("70002"));
        QCOMPARE(child<QLineEdit>(&d, "TXTWarengruppe")->text(), QString());
        auto* rounding = child<QComboBox>(&d, "CBRundung");
        QStringList roundings;
        for (int i = 0; i < rounding->count(); ++i)
            roundings << rounding->itemText(i);
        QCOMPARE(roundings, (QStringList{"0,01", "0,05", "0,10", "1,00"}));
        child<QLineEdit>(&d, "TXTWarengruppe")->setText("WG10");
        QTest::keyClicks(child<QLineEdit>(&d, "TXTAufschlag"), "25,5x");
        rounding->setCurrentIndex(1);
        child<QCheckBox>(&d, "CHKFreigabe")->setChecked(true);
        child<QPushButton>(&d, "BUSpeich")->click();
        QVERIFY(!d.isVisible());
    }
    bool ok = false;
    const SupplierDefaults stored = LoadSupplierDefaults(m_fx->connection(), "70002", &ok);
    QVERIFY(ok);
    QCOMPARE(stored.warengruppe, QString("WG10"));
    QCOMPARE(stored.aufschlag, QString("25,5"));
    QCOMPARE(stored.rundung, QString("0,05"));
    QCOMPARE(stored.freigabe, QString("J"));
    {
        FMDef d(m_fx->connection(), "70002");
        d.show();
        QCOMPARE(child<QLineEdit>(&d, "TXTWarengruppe")->text(), QString("WG10"));
        QCOMPARE(child<QComboBox>(&d, "CBRundung")->currentText(), QString("0,05"));
        QVERIFY(child<QCheckBox>(&d, "CHKFreigabe")->isChecked());
        child<QLineEdit>(&d, "TXTWarengruppe")->setText("WG99");
        child<QPushButton>(&d, "BUAbbruch")->click();
        QVERIFY(!d.isVisible());
    }
    QCOMPARE(LoadSupplierDefaults(m_fx->connection(), "70002").warengruppe, QString("WG10"));
    QVERIFY(m_ui->messages.isEmpty());
}

QTEST_MAIN(TestGuiImport)
#include "test_gui_import.moc"
