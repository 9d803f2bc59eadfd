#include "ClientTestFixture.h"
#include "DemoClient.h"
#include "DemoData.h"
#include "InProcessClient.h"
#include "ScriptedUserInterface.h"
#include "StandinEngine.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "common/TextHelpers.h"
#include "import/FileImport.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"
#include "import/WebImport.h"
#include "server/Connection.h"
#include "shell/Downloads.h"

#include <QDateTime>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString line(const QString& herst, const QString& ean, const QString& nr, const QString& text,
             const QString& unit, const QString& price, const QString& date,
             const QString& price2 = "0", const QString& date2 = "") {
    return DemoArticleLine(herst, ean, nr, text, unit, price, date, price2, date2);
}

// A server that stops answering after a number of stored positions, as a
// server that dies in the middle of an import.
class DyingClient : public InProcessClient {
public:
    DyingClient(StandinEngine& e, int answers) : InProcessClient(e), m_answers(answers) {}
    quint32 post(Wire::Op op, const QStringList& args, bool chained) override {
        if (isConnected() && op == Wire::Op::ClassMethod && args.value(1) == "savezeile" &&
            m_answers-- <= 0)
            return postLostRequest();
        return InProcessClient::post(op, args, chained);
    }

private:
    int m_answers;
};

} // namespace

// The price file import against the demo company of the stand-in.
class TestImport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void openChecksTheFile();
    void openFindsLinkedSupplier();
    void unknownSupplierIsReported();
    void failedSupplierLookUpKeepsTheFileUsable();
    void nestedImportsAnswerTheirOwnQuestions();
    void tracksCountedAndOnlyMarkedPricesStored();
    void emptyChoiceStillLinksManufacturer();
    void declinedChoiceStoresNothing();
    void missingUnitsListedOnceAndNothingStored();
    void brokenPriceStopsBeforeAnythingIsStored_data();
    void brokenPriceStopsBeforeAnythingIsStored();
    void mendedFaultsAreImportedAndListed_data();
    void mendedFaultsAreImportedAndListed();
    void scanAndStoreAnswerWithoutShowing();
    void connectionLostWhileChoosingIsNotMadeAnew();
    void blanksAtTheEndAreTheEnd_data();
    void blanksAtTheEndAreTheEnd();
    void fileChangedBetweenThePasses_data();
    void fileChangedBetweenThePasses();
    void serverDyingDuringStoringKeepsEarlierPositions_data();
    void serverDyingDuringStoringKeepsEarlierPositions();
    void refusedLineOverTcpStoresNothing();
    void tooManyUnitAssignments();
    void textEncodings_data();
    void textEncodings();
    void positionsAssignedToErpArticles();
    void webSuppliersAndCodes();
    void webDownloadWritesFileAndReplacesOldOne();
    void cliImportCountsAndFailures();

private:
    QString write(const QString& name, const QStringList& lines,
                  const QByteArray& encoding = "1252", bool bom = false);
    int count(const QString& sql);
    // The demo company's downloads (the second company has one of its own).
    int downloadCount() { return count("SELECT count(*) FROM quendrap_downloads WHERE Firma='1'"); }

    std::unique_ptr<ClientTestFixture> m_fx;
    std::unique_ptr<ScriptedUserInterface> m_ui;
    int m_dieAfter = -1;
    const QString m_header = kExtendedImportHeaderLine;
};

void TestImport::init() {
    StartDemoClient(m_fx, m_ui);
    m_dieAfter = -1;
    m_fx->setClientMaker([this](StandinEngine& engine) -> std::unique_ptr<InProcessClient> {
        if (m_dieAfter >= 0)
            return std::make_unique<DyingClient>(engine, m_dieAfter);
        return std::make_unique<InProcessClient>(engine);
    });
}

void TestImport::cleanup() {
    EndDemoClient(m_fx, m_ui);
}

QString TestImport::write(const QString& name, const QStringList& lines, const QByteArray& encoding,
                          bool bom) {
    const QString path = m_fx->path(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    if (bom)
        f.write("\xEF\xBB\xBF");
    const QString text = lines.join("\r\n") + "\r\n";
    f.write(encoding == "utf8" ? text.toUtf8() : ToWindows1252(text));
    return path;
}

int TestImport::count(const QString& sql) {
    QSqlQuery q(m_fx->engine().db());
    q.exec(sql);
    q.next();
    return q.value(0).toInt();
}

void TestImport::openChecksTheFile() {
    FileImport import(m_fx->connection());
    OpenedFile r = import.open(m_fx->path("fehlt.txt"));
    QVERIFY(!r.ok);
    QCOMPARE(r.message, QString("Datei nicht vorhanden"));
    QCOMPARE(m_ui->messages.last().icon, MessageIcon::Critical);

    r = import.open(write("komma.txt", {"Nr,EAN,Preis", "1,4006,12.50"}));
    QVERIFY(!r.ok);
    QCOMPARE(m_ui->messages.last().text,
             QString("Datei ist keine gültige erweiterte Importdatei (Zeichen <\\> fehlen)"));

    r = import.open(write("kopf.txt", {m_header}));
    QVERIFY(!r.ok);
    QCOMPARE(m_ui->messages.last().text, QString("Die Datei enthält keine Artikelzeile"));
    QCOMPARE(m_ui->messages.size(), 3);
    QCOMPARE(downloadCount(), 3);

    // A header with a single backslash and any names is enough.
    r = import.open(
        write("frei.txt", {"a\\b", line("NEU", "", "1", "x", "STK", "1", "01.01.2027")}));
    QVERIFY(r.ok);
    QCOMPARE(r.supplier, QString());
    QCOMPARE(m_ui->messages.size(), 3);
}

void TestImport::openFindsLinkedSupplier() {
    FileImport import(m_fx->connection());
    const OpenedFile r = import.open(
        write("mue.txt", {m_header, line("MUE", "", "1", "Dübel", "STK", "1", "01.01.2027")}));
    QVERIFY(r.ok);
    QCOMPARE(r.supplier, QString("70001"));
    QCOMPARE(r.supplierName, QString("Müller Baustoffe GmbH"));
    QVERIFY(m_ui->messages.isEmpty());
}

void TestImport::unknownSupplierIsReported() {
    FileImport import(m_fx->connection());
    QCOMPARE(import.checkSupplier("99999"), QString());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QString("Lieferant nicht gespeichert"));
    QCOMPARE(m_ui->messages[0].title, MainWindowTitle());
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Information);
    QCOMPARE(import.checkSupplier(""), QString());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(import.checkSupplier("70004"), QString("Großhandel Äußere Straße"));
}

void TestImport::failedSupplierLookUpKeepsTheFileUsable() {
    m_fx->setClientMaker([](StandinEngine& engine) {
        return std::make_unique<RefusingClient>(engine, "getlnr", 5100, "<UNDEFINED> getlnr");
    });
    FileImport import(m_fx->connection());
    const OpenedFile r = import.open(
        write("mue.txt", {m_header, line("MUE", "", "1", "Dübel", "STK", "1", "01.01.2027")}));
    // Reported, but the file is fine: the buyer types the supplier.
    QVERIFY(r.ok);
    QCOMPARE(r.supplier, QString());
    QCOMPARE(r.supplierName, QString());
    QCOMPARE(r.message, QString());
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text,
             QString("Vorgang: FMImport.Timer1 Lieferant zum Herstellercode.\r\n\r\n"
                     "Fehler: 5100\r\n<UNDEFINED> getlnr\r\n\r\n"));
    QCOMPARE(import.checkSupplier("70001"), QString("Müller Baustoffe GmbH"));
}

// Records the questions of one import, and can run another import from
// inside its track choice (a window that opens a window that imports).
class RecordingChoices : public ImportChoices {
public:
    bool choosePriceTracks(PriceTrackList& tracks) override {
        dates.clear();
        for (const PriceTrack& t : tracks.rows())
            dates << t.date;
        if (inside)
            inside();
        tracks.markAll(true);
        return true;
    }
    void setProgress(qint64 value, qint64 maximum) override {
        Q_UNUSED(value);
        if (maximum > 0)
            maxima << maximum;
    }
    QStringList dates;
    QList<qint64> maxima;
    std::function<void()> inside;
};

void TestImport::nestedImportsAnswerTheirOwnQuestions() {
    const QString outerFile =
        write("aussen.txt", {m_header, line("MUE", "", "A1", "x", "STK", "1", "01.01.2027"),
                             line("MUE", "", "A2", "y", "STK", "2", "01.01.2027")});
    const QString innerFile =
        write("innen.txt", {m_header, line("MUE", "", "I1", "z", "STK", "3", "01.04.2027"),
                            line("MUE", "", "I2", "z", "STK", "4", "01.04.2027"),
                            line("MUE", "", "I3", "z", "STK", "5", "01.04.2027")});
    RecordingChoices outer;
    RecordingChoices inner;
    ImportResult innerResult;
    int busyInside = -1;
    outer.inside = [&] {
        busyInside = m_ui->busyDepth();
        FileImport second(m_fx->connection());
        innerResult = second.run(innerFile, "70001", inner);
    };
    FileImport first(m_fx->connection());
    const ImportResult r = first.run(outerFile, "70001", outer);
    QCOMPARE(r.outcome, ImportResult::Outcome::Imported);
    QCOMPARE(r.positions, 2);
    QCOMPARE(innerResult.outcome, ImportResult::Outcome::Imported);
    QCOMPARE(innerResult.positions, 3);
    // Each import asked its own choices, never the program's.
    QCOMPARE(outer.dates, QStringList{"01.01.2027"});
    QCOMPARE(inner.dates, QStringList{"01.04.2027"});
    QVERIFY(m_ui->shownTracks.isEmpty());
    QCOMPARE(outer.maxima.first(), 3);
    QCOMPARE(inner.maxima.first(), 4);
    // The question was asked with the normal pointer; the busy pointer is
    // the outer import's again afterwards and gone at the end.
    QCOMPARE(busyInside, 0);
    QCOMPARE(m_ui->busyDepth(), 0);
    QCOMPARE(m_ui->busyCalls.last(), false);
}

void TestImport::tracksCountedAndOnlyMarkedPricesStored() {
    const QStringList lines{
        m_header,
        line("MUE", "", "L1", "Eins", "STK", "12,50", "01.01.2027"),
        line("MUE", "", "L2", "Zwei", "STK", "0", "01.01.2027", "3,00",
             "01.02.2027"), // zero first price
        line("MUE", "", "L3", "Drei", "STK", "1,00", "01.01.2027", "2,00",
             "01.01.2027"), // same date twice
        line("MUE", "", "L4", "Vier", "STK", "5", "01.02.2027", "6", "01.03.2027"),
        line("MUE", "", "L5", "Fünf", "STK", "7", "", "0", ""), // no date: no track
    };
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markOnly({"01.01.2027", "01.03.2027"});
        return true;
    };
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(write("tracks.txt", lines), "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Imported);
    QCOMPARE(m_ui->shownTracks.size(), 3);
    QCOMPARE(m_ui->shownTracks[0].date, QString("01.01.2027"));
    QCOMPARE(m_ui->shownTracks[0].count, 2);
    QCOMPARE(m_ui->shownTracks[1].date, QString("01.02.2027"));
    QCOMPARE(m_ui->shownTracks[1].count, 2);
    QCOMPARE(m_ui->shownTracks[2].date, QString("01.03.2027"));
    QCOMPARE(m_ui->shownTracks[2].count, 1);
    QCOMPARE(r.positions, 3);
    QCOMPARE(count("SELECT count(*) FROM quendrap_pos WHERE DLID='" + r.downloadId + "'"), 3);
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT BestNr, Datum, Preis, Bezeichnung, RabattGR, Klasse FROM quendrap_pos WHERE "
           "DLID='" +
           r.downloadId + "' ORDER BY CAST(id AS INTEGER)");
    QStringList got;
    while (q.next())
        got << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                           q.value(3).toString(), q.value(4).toString(), q.value(5).toString()}
                   .join('/');
    QCOMPARE(got, (QStringList{"L1/01.01.2027/12,50/Eins/RG1/Baustoffe",
                               "L3/01.01.2027/1,00/Drei/RG1/Baustoffe",
                               "L4/01.03.2027/6/Vier/RG1/Baustoffe"}));
    QCOMPARE(count("SELECT count(*) FROM quendrap_ekgrp WHERE DLID='" + r.downloadId + "'"), 1);
    bool ok = false;
    const QList<DownloadRow> rows = LoadDownloadList(m_fx->connection(), &ok);
    QCOMPARE(rows[0].key, r.downloadId);
    QCOMPARE(rows[0].positionen, QString("3"));
    QCOMPARE(rows[0].personal, QString("DEM"));
    QCOMPARE(m_ui->progressMaximum, 6);
    QVERIFY(m_ui->messages.isEmpty());
}

void TestImport::emptyChoiceStillLinksManufacturer() {
    m_ui->onPriceTracks = [](PriceTrackList&) { return true; };
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(
        write("leer.txt", {m_header, line("NEUCODE", "", "1", "x", "STK", "4,20", "01.01.2027")}),
        "70004", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Imported);
    QCOMPARE(r.positions, 0);
    QCOMPARE(downloadCount(), 4);
    // The manufacturer code is linked: the next file of it finds its supplier.
    const OpenedFile again = import.open(
        write("wieder.txt", {m_header, line("NEUCODE", "", "1", "x", "STK", "1", "01.01.2027")}));
    QCOMPARE(again.supplier, QString("70004"));
}

void TestImport::declinedChoiceStoresNothing() {
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(
        write("nein.txt", {m_header, line("MUE", "", "1", "x", "STK", "4,20", "01.01.2027")}),
        "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Declined);
    QCOMPARE(m_ui->shownTracks.size(), 1);
    QCOMPARE(downloadCount(), 3);
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(m_ui->busyCalls.last(), false);
    // The question is asked with the normal pointer.
    QVERIFY(!m_ui->busyWhileChoosing);
}

void TestImport::missingUnitsListedOnceAndNothingStored() {
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    QStringList lines{m_header};
    for (int i = 0; i < 50; ++i)
        lines << line("MUE", "", QString::number(i), "x", "Xyz", "1", "01.01.2027");
    lines << line("MUE", "", "z", "x", "st k", "1", "01.01.2027")
          << line("MUE", "", "y", "x", "-", "1", "01.01.2027")
          << line("MUE", "", "w", "x", "a.b.c", "1", "01.01.2027");
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(write("einheit.txt", lines), "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::MissingUnits);
    QCOMPARE(r.message, QString("Einheiten  XYZ ABC  sind im Veltar nicht zugeordnet"));
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, r.message);
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::Critical);
    QVERIFY(m_ui->shownTracks.isEmpty());
    QCOMPARE(downloadCount(), 3);
}

void TestImport::brokenPriceStopsBeforeAnythingIsStored_data() {
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QString>("reason"); // after the line and its number; "" for none
    const auto row = [](const char* name, const QString& bad, const QString& reason = {}) {
        QTest::newRow(name) << bad << reason;
    };
    const QString date = "01.01.2027";
    row("letters in the first price", line("MUE", "", "3", "x", "STK", "abc", date));
    row("empty second price", line("MUE", "", "3", "x", "STK", "1", date, "", ""));
    row("empty first price", line("MUE", "", "3", "x", "STK", "", date));
    row("bar in a sent field", line("MUE", "", "3", "Rohr 1|2 Zoll", "STK", "1", date));
    // What would make the stored price wrong.
    row("a date that is none", line("MUE", "", "3", "x", "STK", "1", "31.02.2026"),
        "Datum 31.02.2026 ist kein gültiges Datum");
    row("a second date that is none", line("MUE", "", "3", "x", "STK", "1", date, "2", "1.13.2027"),
        "Datum 1.13.2027 ist kein gültiges Datum");
    row("a price of 24 digits", line("MUE", "", "3", "x", "STK", "123456789012345678901234", date),
        "Preis 123456789012345678901234 hat mehr als 6 Stellen vor oder 4 nach dem Komma");
    row("a price of 5 decimals", line("MUE", "", "3", "x", "STK", "1,23456", date),
        "Preis 1,23456 hat mehr als 6 Stellen vor oder 4 nach dem Komma");
    row("a negative price", line("MUE", "", "3", "x", "STK", "-4,50", date),
        "Preis -4,50 ist negativ");
}

void TestImport::mendedFaultsAreImportedAndListed_data() {
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("ean");
    QTest::addColumn<int>("described"); // characters of the stored description
    const QString date = "01.01.2027";
    const QString cut = "Bezeichnung länger als 250 Zeichen, gekürzt";
    QTest::newRow("a description of 251 characters")
        << line("MUE", "", "3", QString(251, 'x'), "STK", "1", date)
        << QStringList{"Zeile 4: " + cut} << "" << 250;
    QTest::newRow("a description of a megabyte")
        << line("MUE", "", "3", QString(1 << 20, 'x'), "STK", "1", date)
        << QStringList{"Zeile 4: " + cut} << "" << 250;
    QTest::newRow("an EAN of letters")
        << line("MUE", "ABCDEFGHIJKLM", "3", "x", "STK", "1", date)
        << QStringList{"Zeile 4: EAN ABCDEFGHIJKLM ungültig, ohne EAN übernommen"} << "" << 1;
    QTest::newRow("an EAN of 7 digits, two prices noted once")
        << line("MUE", "4006209", "3", "x", "STK", "1", date, "2", "01.02.2027")
        << QStringList{"Zeile 4: EAN 4006209 ungültig, ohne EAN übernommen"} << "" << 1;
    QTest::newRow("a placeholder EAN 0")
        << line("MUE", "0", "3", "x", "STK", "1", date)
        << QStringList{"Zeile 4: EAN 0 ungültig, ohne EAN übernommen"} << "" << 1;
    QTest::newRow("an EAN of blanks")
        << line("MUE", "   ", "3", "x", "STK", "1", date) << QStringList{} << "" << 1;
    QTest::newRow("a date written 20270101")
        << line("MUE", "4006209000013", "3", "x", "STK", "1", "20270101") << QStringList{}
        << "4006209000013" << 1;
}

// Faults that need not stop a file: the line is imported mended, and the
// result lists what was done with its line number.
void TestImport::mendedFaultsAreImportedAndListed() {
    QFETCH(QString, bad);
    QFETCH(QStringList, notes);
    QFETCH(QString, ean);
    QFETCH(int, described);
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    const QStringList lines{m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027"),
                            line("MUE", "", "2", "x", "STK", "2", "01.01.2027"), bad};
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(write("geflickt.txt", lines), "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Imported);
    QVERIFY(m_ui->messages.isEmpty());
    QStringList shown;
    for (const ImportNote& n : r.notes)
        shown << n.shown();
    QCOMPARE(shown, notes);
    QCOMPARE(r.reportLines(), notes);
    QSqlQuery q(m_fx->engine().db());
    QVERIFY(q.exec("SELECT EAN, length(Bezeichnung) FROM quendrap_pos WHERE DLID='" + r.downloadId +
                   "' AND BestNr='3'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), ean);
    QCOMPARE(q.value(1).toInt(), described);
}

void TestImport::brokenPriceStopsBeforeAnythingIsStored() {
    QFETCH(QString, bad);
    QFETCH(QString, reason);
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    const QStringList lines{m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027"),
                            line("MUE", "", "2", "x", "STK", "2", "01.01.2027"), bad,
                            line("MUE", "", "4", "x", "STK", "4", "01.01.2027")};
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(write("kaputt.txt", lines), "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
    QCOMPARE(m_ui->messages.size(), 1);
    // A line of a megabyte is quoted by its start.
    const QString quoted = bad.size() > 1000 ? bad.left(1000) + "…" : bad;
    QCOMPARE(m_ui->messages[0].text,
             "Fehler in Zeile: " + quoted +
                 (reason.isEmpty() ? QString() : "\r\n\r\nZeile 4: " + reason));
    QCOMPARE(m_ui->messages[0].icon, MessageIcon::None);
    QVERIFY(m_ui->shownTracks.isEmpty());
    QCOMPARE(downloadCount(), 3);
}

void TestImport::scanAndStoreAnswerWithoutShowing() {
    FileImport import(m_fx->connection());
    const QString bad = line("MUE", "", "3", "x", "STK", "1", "31.02.2026");
    const QString broken =
        write("scan.txt", {m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027"), bad});
    const ImportScan scanned = import.scan(broken, *m_ui);
    QCOMPARE(scanned.outcome, ImportScan::Outcome::Failed);
    QVERIFY(scanned.issue.has_value());
    QCOMPARE(scanned.issue->fileLine, 3);
    QCOMPARE(scanned.issue->line, bad);
    QCOMPARE(scanned.issue->reason, QString("Datum 31.02.2026 ist kein gültiges Datum"));
    QCOMPARE(scanned.message, "Fehler in Zeile: " + bad +
                                  "\r\n\r\nZeile 3: Datum 31.02.2026 ist kein gültiges Datum");
    // A scan that did not check its file stores nothing.
    ImportScan failed = scanned;
    const ImportResult unchecked = import.store(failed, "70001", *m_ui);
    QCOMPARE(unchecked.outcome, ImportResult::Outcome::Failed);
    QCOMPARE(unchecked.message, kFileChangedMessage);
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(downloadCount(), 3);

    const QString good =
        write("gut.txt", {m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027"),
                          line("MUE", "", "2", "x", "STK", "2", "01.02.2027")});
    ImportScan checked = import.scan(good, *m_ui);
    QCOMPARE(checked.outcome, ImportScan::Outcome::Checked);
    QCOMPARE(checked.lines, 2);
    QCOMPARE(checked.tracks.rows().size(), 2);
    checked.tracks.markOnly({"01.02.2027"});
    const ImportResult stored = import.store(checked, "70001", *m_ui);
    QCOMPARE(stored.outcome, ImportResult::Outcome::Imported);
    QCOMPARE(stored.positions, 1);
    QVERIFY(m_ui->messages.isEmpty());
    QCOMPARE(downloadCount(), 4);
    // The store took the scan's pass: the same scan is not stored twice.
    QCOMPARE(import.store(checked, "70001", *m_ui).message, kFileChangedMessage);
    QCOMPARE(downloadCount(), 4);
}

void TestImport::connectionLostWhileChoosingIsNotMadeAnew() {
    // The import holds the connection it checked the file on: one lost
    // while the buyer chooses the tracks fails the import, it is not made
    // anew for the store.
    m_ui->onPriceTracks = [this](PriceTrackList& t) {
        m_fx->connection().close();
        t.markAll(true);
        return true;
    };
    FileImport import(m_fx->connection());
    const ImportResult r = import.import(
        write("weg.txt", {m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027")}), "70001",
        *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
    QCOMPARE(r.message, QString("Vorgang: FMImport.Einlesen Download anlegen.\r\n\r\nFehler: "
                                "460\r\nKeine Verbindung zum Server"));
    QVERIFY(r.downloadId.isEmpty());
    QCOMPARE(downloadCount(), 3);
}

void TestImport::blanksAtTheEndAreTheEnd_data() {
    QTest::addColumn<QStringList>("tail");
    QTest::addColumn<QString>("broken"); // the line message, "" when imported
    QTest::newRow("an empty last line") << QStringList{""} << "";
    QTest::newRow("blank lines and blanks") << QStringList{"", "   ", "\t"} << "";
    QTest::newRow("a DOS end-of-file byte") << QStringList{"\x1A"} << "";
    QTest::newRow("blanks, then the end-of-file byte") << QStringList{" ", "\x1A"} << "";
    QTest::newRow("a blank line between lines")
        << QStringList{"  ", line("MUE", "", "3", "x", "STK", "3", "01.01.2027")} << "  ";
}

void TestImport::blanksAtTheEndAreTheEnd() {
    QFETCH(QStringList, tail);
    QFETCH(QString, broken);
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    QStringList lines{m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027"),
                      line("MUE", "", "2", "x", "STK", "2", "01.01.2027")};
    lines << tail;
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(write("ende.txt", lines), "70001", *m_ui);
    if (broken.isEmpty()) {
        QCOMPARE(r.outcome, ImportResult::Outcome::Imported);
        QCOMPARE(r.positions, 2);
        QVERIFY(m_ui->messages.isEmpty());
    } else {
        QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
        QCOMPARE(m_ui->messages.value(0).text, "Fehler in Zeile: " + broken);
        QCOMPARE(downloadCount(), 3);
    }
}

void TestImport::fileChangedBetweenThePasses_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("stored"); // -1: no download made
    QTest::newRow("cut at a line end") << "cut" << -1;
    QTest::newRow("lines appended") << "append" << -1;
    // Same size and time: only the checksum of pass 1 sees it, at line 3.
    QTest::newRow("a line changed, time kept") << "line" << 2;
}

void TestImport::fileChangedBetweenThePasses() {
    QFETCH(QString, change);
    QFETCH(int, stored);
    QStringList lines{m_header};
    for (int i = 1; i <= 6; ++i)
        lines << line("MUE", "", "N" + QString::number(i), "x", "STK", QString::number(i),
                      "01.01.2027");
    const QString path = write("wechsel.txt", lines);
    QStringList changed = lines;
    if (change == "cut")
        changed = lines.mid(0, 4);
    else if (change == "append")
        changed << line("MUE", "", "N7", "x", "XYZ", "7", "01.01.2027");
    else
        changed[3] = line("MUE", "", "N9", "x", "STK", "3", "01.01.2027");
    m_ui->onPriceTracks = [&](PriceTrackList& t) {
        // While the buyer chooses, another program rewrites the file.
        const QDateTime time = QFileInfo(path).lastModified();
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(changed.join("\r\n").toLatin1() + "\r\n");
        f.close();
        if (change == "line" && f.open(QIODevice::ReadWrite)) {
            f.setFileTime(time, QFileDevice::FileModificationTime);
            f.close();
        }
        t.markAll(true);
        return true;
    };
    const int before = downloadCount();
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(path, "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
    if (stored < 0) {
        QCOMPARE(m_ui->messages.last().text, kFileChangedMessage);
        QCOMPARE(downloadCount(), before);
        QVERIFY(r.downloadId.isEmpty());
    } else {
        QCOMPARE(m_ui->messages.last().text,
                 kFileChangedMessage + "\r\n\r\nFehler in Zeile: " + changed[3]);
        QCOMPARE(r.positions, stored);
        QCOMPARE(count("SELECT count(*) FROM quendrap_pos WHERE DLID='" + r.downloadId + "'"),
                 stored);
    }
}

void TestImport::serverDyingDuringStoringKeepsEarlierPositions_data() {
    QTest::addColumn<int>("depth");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("pipelined") << 256;
}

void TestImport::serverDyingDuringStoringKeepsEarlierPositions() {
    QFETCH(int, depth);
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    QStringList lines{m_header};
    for (int i = 1; i <= 10; ++i)
        lines << line("MUE", "", "N" + QString::number(i), "x", "STK", QString::number(i),
                      "01.01.2027");
    m_dieAfter = 5;
    FileImport import(m_fx->connection());
    import.setPipelineDepth(depth);
    const ImportResult r = import.run(write("stirbt.txt", lines), "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
    QCOMPARE(m_ui->messages.last().text,
             "Vorgang: FMImport.Einlesen Position speichern.\r\n\r\nFehler: 461\r\n"
             "Verbindung zum Server verloren\r\n\r\nFehler in Zeile: " +
                 lines[6]);
    QCOMPARE(r.positions, 5);
    QCOMPARE(downloadCount(), 4);
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT BestNr FROM quendrap_pos WHERE DLID=(SELECT max(CAST(id AS INTEGER)) FROM "
           "quendrap_downloads) ORDER BY CAST(id AS INTEGER)");
    QStringList stored;
    while (q.next())
        stored << q.value(0).toString();
    QCOMPARE(stored, (QStringList{"N1", "N2", "N3", "N4", "N5"}));
}

void TestImport::refusedLineOverTcpStoresNothing() {
    // Line 5's date is no date: the import stops at
    // the check before anything goes to the server, with up to 256
    // requests allowed in flight.
    StandinProcess server(m_fx->path("tcp.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    m_fx->connection().setClientFactory({});
    Session().port = QString::number(server.port());
    m_fx->connection().rebuildConnectString();
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    QStringList lines{m_header};
    for (int i = 1; i <= 40; ++i)
        lines << line("MUE", "", "N" + QString::number(i), "Dübel", "STK", QString::number(i),
                      i == 5 ? "31.02.2027" : "01.01.2027");
    bool ok = false;
    const qsizetype downloads = LoadDownloadList(m_fx->connection(), &ok).size();
    QVERIFY(ok);
    FileImport import(m_fx->connection());
    import.setPipelineDepth(256);
    const ImportResult r = import.run(write("lang.txt", lines), "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
    QCOMPARE(m_ui->messages.size(), 1);
    // The check before storing finds what the server would refuse: the
    // line, then its number in the file and the reason.
    QCOMPARE(m_ui->messages[0].text,
             "Fehler in Zeile: " + lines[5] +
                 "\r\n\r\nZeile 6: Datum 31.02.2027 ist kein gültiges Datum");
    QCOMPARE(r.positions, 0);
    QVERIFY(r.downloadId.isEmpty());
    // Nothing is stored, and the connection is clean for the next call.
    QCOMPARE(LoadDownloadList(m_fx->connection(), &ok).size(), downloads);
    QVERIFY(ok);
    m_fx->connection().setClientFactory({}); // closes the connection before the server stops
}

void TestImport::tooManyUnitAssignments() {
    m_fx->engine().db().transaction();
    for (int i = 0; i < 101; ++i)
        m_fx->engine().exec("INSERT INTO vt_einheit(id, FIRMA, EXT, ERP) VALUES(?, '1', ?, 'x')",
                            {"1||E" + QString::number(i), "E" + QString::number(i)});
    m_fx->engine().db().commit();
    FileImport import(m_fx->connection());
    const ImportResult r =
        import.run(write("u.txt", {m_header, line("MUE", "", "1", "x", "STK", "1", "01.01.2027")}),
                   "70001", *m_ui);
    QCOMPARE(r.outcome, ImportResult::Outcome::Failed);
    QCOMPARE(m_ui->messages.last().text, QString("Fehler in Zeile: "));
    QCOMPARE(downloadCount(), 3);
}

void TestImport::textEncodings_data() {
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<bool>("bom");
    QTest::newRow("Windows-1252") << QByteArray("1252") << false;
    QTest::newRow("UTF-8") << QByteArray("utf8") << false;
    QTest::newRow("UTF-8 with byte order mark") << QByteArray("utf8") << true;
}

void TestImport::textEncodings() {
    QFETCH(QByteArray, encoding);
    QFETCH(bool, bom);
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    FileImport import(m_fx->connection());
    const QString path =
        write("enc.txt",
              {m_header, line("MUE", "", "1", "Dübel für Fußleiste", "STK", "1", "01.01.2027")},
              encoding, bom);
    const ImportResult r = import.run(path, "70001", *m_ui);
    QCOMPARE(r.positions, 1);
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT Bezeichnung, HerstCode FROM quendrap_pos WHERE DLID='" + r.downloadId + "'");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("Dübel für Fußleiste"));
    QCOMPARE(q.value(1).toString(), QString("MUE"));
}

void TestImport::positionsAssignedToErpArticles() {
    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markAll(true);
        return true;
    };
    FileImport import(m_fx->connection());
    const ImportResult r = import.run(
        write("art.txt",
              {m_header, line("MUE", "4006209000013", "X", "a", "PAK", "1", "01.01.2027"),
               line("MUE", "", "M-2001", "b", "SCK", "1", "01.01.2027"),
               line("MUE", "4000000000000", "unbekannt", "c", "STK", "1", "01.01.2027")}),
        "70001", *m_ui);
    QSqlQuery q(m_fx->engine().db());
    q.exec("SELECT ARTNR FROM quendrap_pos WHERE DLID='" + r.downloadId +
           "' ORDER BY CAST(id AS INTEGER)");
    QStringList artnr;
    while (q.next())
        artnr << q.value(0).toString();
    QCOMPARE(artnr, (QStringList{"100100", "100200", ""}));
}

void TestImport::webSuppliersAndCodes() {
    QCOMPARE(LoadWebSuppliers(m_fx->connection()),
             (QStringList{"Müller Baustoffe GmbH (MUE)", "Schröder Dämmtechnik KG (SDT)"}));
    QCOMPARE(WebSupplierCode("Müller Baustoffe GmbH (MUE)"), QString("MUE"));
    QCOMPARE(WebSupplierCode("A (B) (C)"), QString("B"));
    QCOMPARE(WebSupplierCode("ohne Klammer"), QString());
    QCOMPARE(WebSupplierCode("offen (ABC"), QString());
}

void TestImport::webDownloadWritesFileAndReplacesOldOne() {
    // The fixture points TEMP at its own folder.
    const QString path = WebDownloadPath();
    QCOMPARE(path, m_fx->path("importfile.txt"));
    QVERIFY(DownloadWebPriceData(m_fx->connection(), "Müller Baustoffe GmbH (MUE)"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> written = f.readAll().split('\n');
    f.close();
    QCOMPARE(written.size(), 8); // header, six lines, nothing after the last line end
    QCOMPARE(written[0], ToWindows1252(kExtendedImportHeaderLine) + "\r");
    QVERIFY(written[1].startsWith("MUE\\4006209000013\\M-1001\\D\xfc"
                                  "bel"));

    m_ui->onPriceTracks = [](PriceTrackList& t) {
        t.markOnly({"01.04.2027"});
        return true;
    };
    FileImport import(m_fx->connection());
    const OpenedFile opened = import.open(path);
    QCOMPARE(opened.supplier, QString("70001"));
    const ImportResult r = import.run(path, opened.supplier, *m_ui);
    QCOMPARE(r.positions, 4);

    // No code in the entry: nothing is done but the old file is gone, so it
    // is never imported again.
    QVERIFY(!DownloadWebPriceData(m_fx->connection(), "ohne Klammer"));
    QVERIFY(!QFile::exists(path));
    QVERIFY(DownloadWebPriceData(m_fx->connection(), "Niemand (XXX)"));
    QVERIFY(!QFile::exists(path));
}

void TestImport::cliImportCountsAndFailures() {
    m_fx->connection().setClientFactory({});
    StandinProcess server(m_fx->path("cli.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const QString connect = connectOf(server);
    const QString file = m_fx->path("gen.txt");
    QCOMPARE(QProcess::execute(QStringLiteral(QUENDRA_BENCH_DIR "/pricegen"),
                               {"--lines", "400", "--out", file, "--dates", "2", "--second-price",
                                "--zero-every", "7", "--manufacturer", "MUE"}),
             0);
    // The expected count, by the rules: every non-zero price with a date,
    // the second only when its date differs from the first.
    ImportFileReader reader;
    QVERIFY(reader.open(file));
    QString text;
    reader.readLine(&text);
    int expected = 0;
    QSet<QString> dates;
    while (reader.readLine(&text)) {
        const ImportArticleLine a(text);
        double p1 = 0, p2 = 0;
        QVERIFY(a.convertPrices(&p1, &p2));
        const QString d1 = a.priceDate(ImportPrice::First), d2 = a.priceDate(ImportPrice::Second);
        if (!d1.isEmpty() && p1 != 0)
            ++expected, dates << d1;
        if (!d2.isEmpty() && p2 != 0 && d2 != d1)
            ++expected, dates << d2;
    }
    QVERIFY(expected > 400);
    QString out, err;
    QCOMPARE(RunCli({"--connect", connect, "import", file, "--tracks", "all"}, &out, &err), 0);
    QCOMPARE(err, QString());
    QCOMPARE(out, QString("5\t%1\n").arg(expected));
    QCOMPARE(RunCli({"--connect", connect, "downloads"}, &out, &err), 0);
    QVERIFY(out.startsWith(QString("%1\tDEM\t70001\tMüller Baustoffe GmbH\t%2\t5\n")
                               .arg(QDate::currentDate().toString("yyyy-MM-dd"))
                               .arg(expected)));

    // A broken price: the line's message, nothing stored.
    const QString broken = m_fx->path("broken.txt");
    QCOMPARE(QProcess::execute(QStringLiteral(QUENDRA_BENCH_DIR "/pricegen"),
                               {"--lines", "20", "--out", broken, "--broken-line", "12",
                                "--manufacturer", "MUE"}),
             0);
    QString brokenLine;
    QVERIFY(reader.open(broken));
    for (int i = 0; i <= 12; ++i)
        reader.readLine(&brokenLine);
    QCOMPARE(RunCli({"--connect", connect, "import", broken}, &out, &err), 1);
    QCOMPARE(out, QString());
    QCOMPARE(err, "Fehler in Zeile: " + brokenLine + "\n");
    QCOMPARE(RunCli({"--connect", connect, "import", m_fx->path("nichts.txt")}, &out, &err), 1);
    QCOMPARE(err, QString("Datei nicht vorhanden\n"));
    QCOMPARE(
        RunCli({"--connect", connect, "web-import", "SDT", "--tracks", "01.01.2027"}, &out, &err),
        0);
    QCOMPARE(out, QString("6\t4\n"));
}

QTEST_GUILESS_MAIN(TestImport)
#include "test_import.moc"
