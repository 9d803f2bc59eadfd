#include "CliStandin.h"
#include "TestSupport.h"
#include "import/Delivery.h"
#include "import/ImportFormats.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Deliveries of the trade's DATANORM format: each file recognised by its
// content, and whole deliveries imported through quendra-cli into a
// stand-in, as a scheduled job runs them.
class TestDelivery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void recognisedByContent_data();
    void recognisedByContent();
    void cliImportsEachVersion_data();
    void cliImportsEachVersion();
    void brokenLineOrNoSupplierStoresNothing_data();
    void brokenLineOrNoSupplierStoresNothing();
    void pricesOfArticlesFromAnEarlierDownload();
    void priceAfterItsArticleTakesItsTrack_data();
    void priceAfterItsArticleTakesItsTrack();

private:
    QString data(const QString& name) const { return m_data + u'/' + name; }
    QString temp(const QString& name) const { return m_cli.temp(name); }
    // The rows of a download as quendra-cli positions prints them, by
    // order number: the cells asked for.
    QMap<QString, QStringList> rows(const QString& key, const QList<int>& columns);
    int downloads();

    QString m_data;
    CliStandin m_cli;
    QString m_connect;
};

namespace {

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The version 5 sample (Windows-1252, LF) in another encoding and with
// CR LF: its ü and ß as code page 850 or UTF-8 write them.
QByteArray reencoded(QByteArray bytes, const QString& encoding) {
    if (encoding == u"cp850") {
        bytes.replace('\xFC', '\x81');
        bytes.replace('\xDF', '\xE1');
    } else if (encoding == u"utf8") {
        bytes = "\xEF\xBB\xBF" + QString::fromLatin1(bytes).toUtf8();
    }
    return bytes.replace("\n", "\r\n");
}

} // namespace

void TestDelivery::initTestCase() {
    m_data = QFileInfo(QFINDTESTDATA("data/datanorm/v4.zip")).absolutePath();
    QVERIFY(!m_data.isEmpty());
    QString why;
    QVERIFY2(m_cli.start(&why), qPrintable(why));
    m_connect = m_cli.connect();
}

void TestDelivery::cleanupTestCase() {
    m_cli.stop();
}

int TestDelivery::downloads() {
    return CliDownloadCount(m_connect);
}

QMap<QString, QStringList> TestDelivery::rows(const QString& key, const QList<int>& columns) {
    // By order number.
    return CliPositionRows(m_connect, key, columns,
                           [](const QStringList& cells) { return cells.value(2); });
}

void TestDelivery::recognisedByContent_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("summary"); // or the message of what is no delivery
    QTest::addColumn<QStringList>("roles");
    const QStringList four{"v4/DATANORM.WRG", "v4/DATPREIS.001", "v4/DATANORM.001",
                           "v4/DATANORM.RAB"};
    QTest::newRow("version 4, any order") << four << "DATANORM 4, 4 Dateien, 5 Artikel"
                                          << QStringList{"WRG", "Preise", "Artikel", "RAB"};
    QTest::newRow("version 4 as a zip")
        << QStringList{"v4.zip"} << "DATANORM 4, 4 Dateien, 5 Artikel"
        << QStringList{"RAB", "Preise", "Artikel", "WRG"};
    QTest::newRow("version 5") << QStringList{"v5/DATANORM.001"} << "DATANORM 5, 1 Datei, 3 Artikel"
                               << QStringList{"Artikel"};
    QTest::newRow("prices alone") << QStringList{"v4/DATPREIS.001"}
                                  << "DATANORM 4, 1 Datei, 0 Artikel" << QStringList{"Preise"};
    QTest::newRow("discount groups alone")
        << QStringList{"v4/DATANORM.RAB"} << "Die Lieferung enthält keine Artikel- oder Preisdatei"
        << QStringList{};
    QTest::newRow("versions mixed")
        << QStringList{"v4/DATANORM.RAB", "v5/DATANORM.001"}
        << "Die Dateien gehören nicht zu einer Lieferung (verschiedene Formate oder Versionen)"
        << QStringList{};
    QTest::newRow("a price list of another kind")
        << QStringList{"liste.csv"}
        << "CSV-Preisliste, Trennzeichen Semikolon, Windows-1252, 2 Zeilen"
        << QStringList{"Preisliste"};
    QTest::newRow("one of two files of another kind")
        << QStringList{"v4/DATANORM.001", "liste.csv"}
        << "Die Dateien gehören nicht zu einer Lieferung (verschiedene Formate oder Versionen)"
        << QStringList{};
    QTest::newRow("one of two files of no known kind")
        << QStringList{"v4/DATANORM.001", "notiz.txt"}
        << "notiz.txt: Datei ist keine gültige erweiterte Importdatei (Zeichen <\\> fehlen)"
        << QStringList{};
    QTest::newRow("a file that is not there")
        << QStringList{"v4/DATANORM.002"} << "Datei nicht vorhanden" << QStringList{};
}

void TestDelivery::recognisedByContent() {
    QFETCH(QStringList, files);
    QFETCH(QString, summary);
    QFETCH(QStringList, roles);
    QVERIFY(writeBytes(temp("liste.csv"), "Artikel;Preis\r\nA-1;12,50\r\n"));
    QVERIFY(writeBytes(temp("notiz.txt"), "Bitte die Preise ab Montag verwenden\r\n"));
    QStringList paths;
    for (const QString& f : files)
        paths << (f.contains(u'/') || f.endsWith(u".zip") || f.startsWith(u"DATA") ? data(f)
                                                                                   : temp(f));
    const Delivery d = RecognizeDelivery(paths);
    QCOMPARE(d.summary(), summary);
    QCOMPARE(d.ok(), !roles.isEmpty());
    QStringList shown;
    for (const DeliveryFile& f : d.files) {
        static const QStringList names{"Quendra", "Artikel", "Preise",    "RAB",
                                       "WRG",     "Katalog", "Preisliste"};
        shown << names.value(int(f.role));
    }
    QCOMPARE(shown, roles);
}

void TestDelivery::cliImportsEachVersion_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("encoding"); // of the version 5 file: "" as it is
    QTest::addColumn<QString>("report");
    QTest::addColumn<QMap<QString, QStringList>>("expected");
    // Columns: Bezeichnung, Datum, Preis excl., per, N/%:, Rab1, Rab2, Netto,
    // Spanne (of the net price, also where the delivery gave it).
    const QMap<QString, QStringList> v4{
        {"DN-1001",
         {"Dübel 8x40 Nylon Packung 100 Stück", "15.03.2027", "12,50", "1 PAK", "N", "0,00", "0,00",
          "12,5000", "28,57"}},
        {"DN-1002",
         {"Schraube 5x60 verzinkt", "15.03.2027", "8,99", "100 STCK", "N", "0,00", "0,00", "8,9900",
          "40,07"}},
        {"DN-1003",
         {"Mörtel 25 kg Sack", "15.03.2027", "7,45", "1 KG", "N", "0,00", "0,00", "7,4500",
          "28,71"}},
        {"DN-1004",
         {"Fließestrich 40 kg", "01.04.2027", "18,90", "1 STCK", "%", "15,00", "10,00", "14,4585",
          "45,34"}},
        {"DN-1005",
         {"Montageschaum 750 ml B2", "01.04.2027", "11,99", "1 STCK", "N", "0,00", "0,00", "8,4500",
          "49,70"}},
        {"M-1001",
         {"Dübel 8x40 Nylon", "01.04.2027", "3,99", "1 PAK", "%", "10,00", "2,00", "3,5192",
          "30,77"}},
    };
    const QString v4Report = "DATANORM 4, 4 Dateien, 5 Artikel\n"
                             "1 Preis ohne Artikelstamm übersprungen\n"
                             "1 Artikel als gelöscht gemeldet\n"
                             "3 Rabattsätze aus der Rabattgruppendatei\n"
                             "Rabattsätze in 1 Rabattgruppe eingetragen\n";
    QTest::newRow("version 4 files")
        << QStringList{"v4/DATANORM.001", "v4/DATPREIS.001", "v4/DATANORM.RAB", "v4/DATANORM.WRG"}
        << "" << v4Report << v4;
    QTest::newRow("version 4 zip") << QStringList{"v4.zip"} << "" << v4Report << v4;
    const QMap<QString, QStringList> v5{
        {"DN-5001",
         {"Mantelleitung NYM-J 3x1,5 Ring 100 m, grau", "15.03.2027", "89,50", "100 MTR", "N",
          "0,00", "0,00", "74,5000", "40,40"}},
        {"DN-5002",
         {"Abzweigdose AP 85x85 IP54 für Außenbereich", "01.04.2027", "109,90", "100 PCE", "%",
          "10,00", "0,00", "98,9100", "36,19"}},
        {"DN-5003",
         {"Kabelbinder 200 mm", "15.03.2027", "12,90", "100 PCE", "N", "0,00", "0,00", "12,9000",
          "35,50"}},
    };
    const QString v5Report = "DATANORM 5, 1 Datei, 3 Artikel\n"
                             "1 Artikel als gelöscht gemeldet\n"
                             "DATANORM.001, Zeile 6: EAN 0 ungültig, ohne EAN übernommen\n";
    for (const char* encoding : {"", "cp850", "utf8"})
        QTest::newRow(qPrintable(QString("version 5 %1").arg(encoding)))
            << QStringList{"v5/DATANORM.001"} << QString(encoding) << v5Report << v5;
}

void TestDelivery::cliImportsEachVersion() {
    QFETCH(QStringList, files);
    QFETCH(QString, encoding);
    QFETCH(QString, report);
    using Rows = QMap<QString, QStringList>;
    QFETCH(Rows, expected);
    QStringList paths;
    for (const QString& f : files)
        paths << data(f);
    if (!encoding.isEmpty()) {
        QDir().mkpath(temp(encoding));
        paths = {temp(encoding + "/DATANORM.001")};
        QVERIFY(writeBytes(paths[0], reencoded(read(data(files[0])), encoding)));
    }
    const int before = downloads();
    QString out, err;
    QCOMPARE(RunCli(QStringList{"--connect", m_connect, "import"} + paths +
                        QStringList{"--supplier", "70001"},
                    &out, &err),
             0);
    QCOMPARE(err, report);
    const QString key = out.section(u'\t', 0, 0);
    QCOMPARE(out, QString("%1\t%2\n").arg(key).arg(expected.size()));
    QCOMPARE(downloads(), before + 1);
    QCOMPARE(rows(key, {3, 4, 5, 6, 40, 41, 42, 45, 52}), expected);
    // The change preview names the article the delivery reported deleted.
    QCOMPARE(RunCli({"--connect", m_connect, "post", key, "--all", "--preview"}, &out, &err), 0);
    QCOMPARE(out.split(u'\n', Qt::SkipEmptyParts).last(),
             QString("Als gelöscht gemeldete Artikel: 1"));
    QCOMPARE(out.count(u'\n'), 6);
}

void TestDelivery::brokenLineOrNoSupplierStoresNothing_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("a price that is no number")
        << QStringList{"broken/DATANORM.001", "--supplier", "70001"}
        << "DATANORM 4, 1 Datei, 2 Artikel\n"
           "Fehler in Zeile: A;N;DN-1002;00;Schraube 5x60 verzinkt;;1;2;Stck;8a9;R21;BEF;;\n\n"
           "DATANORM.001, Zeile 5: Preis 8a9 ist keine Zahl\n";
    QTest::newRow("no supplier") << QStringList{"v4/DATANORM.001", "v4/DATPREIS.001"}
                                 << "DATANORM 4, 2 Dateien, 5 Artikel\n"
                                    "Die Lieferung nennt keinen Lieferanten: bitte die "
                                    "Lieferantennummer angeben (--supplier)\n";
    QTest::newRow("a price after its article that the ERP cannot keep")
        << QStringList{"late-broken/DATANORM.001", "--supplier", "70001"}
        << "DATANORM 5, 1 Datei, 2 Artikel\n"
           "Fehler in Zeile: A;N;DN-7001;Rohr 20 mm;;MTR;1;1;250;;;\n\n"
           "DATANORM.001, Zeile 2: Preis 1234567,89 hat mehr als 6 Stellen vor oder 4 nach dem "
           "Komma\n";
    QTest::newRow("an unknown supplier")
        << QStringList{"v4/DATANORM.001", "--supplier", "99999"}
        << "DATANORM 4, 1 Datei, 5 Artikel\nLieferant nicht gespeichert\n";
}

void TestDelivery::brokenLineOrNoSupplierStoresNothing() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    for (QString& a : args)
        if (a.contains(u'/'))
            a = data(a);
    const int before = downloads();
    QString out, err;
    QCOMPARE(RunCli(QStringList{"--connect", m_connect, "import"} + args, &out, &err), 1);
    QCOMPARE(err, error);
    QCOMPARE(out, QString());
    QCOMPARE(downloads(), before);
}

// Prices of articles the delivery lacks: the supplier's newest download
// that has the order number gives the rest; without one it is skipped and
// counted.
void TestDelivery::pricesOfArticlesFromAnEarlierDownload() {
    QVERIFY(writeBytes(temp("DATPREIS.001"),
                       read(data("v4/DATPREIS.001")).replace("XX-404", "DN-1002")));
    QString out, err;
    // No download of supplier 70002 has any of the four articles yet.
    QCOMPARE(RunCli({"--connect", m_connect, "import", temp("DATPREIS.001"), "--supplier", "70002"},
                    &out, &err),
             0);
    QCOMPARE(err, QString("DATANORM 4, 1 Datei, 0 Artikel\n"
                          "4 Preise ohne Artikelstamm übersprungen\n"));
    QCOMPARE(out.section(u'\t', 1), QString("0\n"));
    // After a delivery of the articles (DN-1004 without a price, so not in
    // that download): the others take description, unit and price unit
    // from it.
    QCOMPARE(
        RunCli({"--connect", m_connect, "import", data("v4/DATANORM.001"), "--supplier", "70002"},
               &out, &err),
        0);
    QCOMPARE(out.section(u'\t', 1), QString("4\n"));
    QCOMPARE(RunCli({"--connect", m_connect, "import", temp("DATPREIS.001"), "--supplier", "70002"},
                    &out, &err),
             0);
    QCOMPARE(err, QString("DATANORM 4, 1 Datei, 0 Artikel\n"
                          "2 Preise ohne Artikelstamm übersprungen\n"));
    const QString key = out.section(u'\t', 0, 0);
    QCOMPARE(out, key + "\t2\n");
    const QMap<QString, QStringList> found = rows(key, {3, 4, 5, 6, 40, 45});
    QCOMPARE(found.keys(), (QStringList{"DN-1002", "DN-1005"}));
    QCOMPARE(found.value("DN-1002"), (QStringList{"Schraube 5x60 verzinkt", "01.04.2027", "1,00",
                                                  "100 STCK", "N", "1,0000"}));
    QCOMPARE(found.value("DN-1005"), (QStringList{"Montageschaum 750 ml B2", "01.04.2027", "11,99",
                                                  "1 STCK", "N", "8,4500"}));
}

void TestDelivery::priceAfterItsArticleTakesItsTrack_data() {
    QTest::addColumn<QString>("track");
    QTest::addColumn<QMap<QString, QStringList>>("expected");
    QTest::newRow("the P record's date")
        << "01.05.2027" << QMap<QString, QStringList>{{"DN-7001", {"01.05.2027", "1,20"}}};
    QTest::newRow("the file's date")
        << "15.03.2027" << QMap<QString, QStringList>{{"DN-7002", {"15.03.2027", "1,00"}}};
}

// A P record after its article's record (and after the next article) moves
// the article's price to the P record's date: the tracks offered are those
// of the prices stored.
void TestDelivery::priceAfterItsArticleTakesItsTrack() {
    QFETCH(QString, track);
    using Rows = QMap<QString, QStringList>;
    QFETCH(Rows, expected);
    QString out, err;
    QCOMPARE(RunCli({"--connect", m_connect, "import", data("late-ok/DATANORM.001"), "--supplier",
                     "70001", "--tracks", track},
                    &out, &err),
             0);
    QCOMPARE(err, QString("DATANORM 5, 1 Datei, 2 Artikel\n"));
    const QString key = out.section(u'\t', 0, 0);
    QCOMPARE(out, key + "\t1\n");
    QCOMPARE(rows(key, {4, 5}), expected);
}

QTEST_MAIN(TestDelivery)
#include "test_delivery.moc"
