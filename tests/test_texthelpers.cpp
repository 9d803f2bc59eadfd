#include "TestSupport.h"
#include "base/WorkstationSettings.h"
#include "common/TextHelpers.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TestTextHelpers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void piece_data();
    void piece();
    void pieceCount_data();
    void pieceCount();
    void toNumber_data();
    void toNumber();
    void replaceText_data();
    void replaceText();
    void convertText_data();
    void convertText();
    void scrambleEveryCodePageCharacterTwice();
    void scrambleKnownValue();
    void windows1252RoundTripsEveryByte();
    void pauseProcessesEventsAndStopsInTime();
    void pauseReplacementIsUsed();
    void settingsRoundTripInTemporaryFolder();
};

void TestTextHelpers::piece_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");
    QTest::newRow("middle field") << "a;b;c"
                                  << ";" << 2 << QString() << "b";
    QTest::newRow("empty field takes default") << "a;;c"
                                               << ";" << 2 << "x"
                                               << "x";
    QTest::newRow("empty text ignores default") << ""
                                                << ";" << 1 << "x"
                                                << "";
    QTest::newRow("beyond last field takes default") << "a;b"
                                                     << ";" << 5 << "x"
                                                     << "x";
    QTest::newRow("beyond last field without default") << "a;b"
                                                       << ";" << 3 << QString() << "";
    QTest::newRow("two-character delimiter first") << "1||ABC"
                                                   << "||" << 1 << QString() << "1";
    QTest::newRow("two-character delimiter second") << "1||ABC"
                                                    << "||" << 2 << QString() << "ABC";
    QTest::newRow("two-character delimiter, single bar stays") << "a|b||c"
                                                               << "||" << 1 << QString() << "a|b";
    QTest::newRow("last field after delimiter") << "a;b;c"
                                                << ";" << 3 << QString() << "c";
    QTest::newRow("no delimiter, first field") << "abc"
                                               << ";" << 1 << "x"
                                               << "abc";
    QTest::newRow("trailing delimiter, empty last") << "a;"
                                                    << ";" << 2 << "x"
                                                    << "x";
}

void TestTextHelpers::piece() {
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(int, n);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);
    QCOMPARE(Piece(text, delimiter, n, defaultText), expected);
}

void TestTextHelpers::pieceCount_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("three fields") << "a`b`c" << 3;
    QTest::newRow("trailing delimiter opens nothing") << "a`b`" << 2;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("only delimiter") << "`" << 1;
    QTest::newRow("no delimiter") << "abc" << 1;
    QTest::newRow("leading delimiter") << "`a" << 2;
}

void TestTextHelpers::pieceCount() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(PieceCount(text, u'`'), expected);
}

void TestTextHelpers::toNumber_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<float>("expected");
    QTest::newRow("point") << "12.5" << 12.5f;
    QTest::newRow("comma") << "12,5" << 12.5f;
    QTest::newRow("currency text dropped") << "EUR 7" << 7.0f;
    QTest::newRow("thousands and decimal gives 0") << "1.234,5" << 0.0f;
    QTest::newRow("empty") << "" << 0.0f;
    QTest::newRow("letters only") << "abc" << 0.0f;
    QTest::newRow("negative") << "-3,25" << -3.25f;
    QTest::newRow("sign in the middle") << "3-2" << 0.0f;
    QTest::newRow("leading comma") << ",5" << 0.5f;
    QTest::newRow("single precision") << "0,1" << 0.1f;
}

void TestTextHelpers::toNumber() {
    QFETCH(QString, value);
    QFETCH(float, expected);
    QCOMPARE(ToNumber(value), expected);
}

void TestTextHelpers::replaceText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("multi");
    QTest::addColumn<QString>("expected");
    QTest::newRow("several characters") << "Ärger"
                                        << "Ä"
                                        << "AE" << true << "AErger";
    QTest::newRow("one character uses first of replacement") << "Ärger"
                                                             << "Ä"
                                                             << "AE" << false << "Arger";
    QTest::newRow("one character uses first of search") << "abcab"
                                                        << "ax"
                                                        << "Z" << false << "ZbcZb";
    QTest::newRow("every occurrence") << "a--b--c"
                                      << "--"
                                      << "+" << true << "a+b+c";
    QTest::newRow("no overlap rescans") << "aaa"
                                        << "aa"
                                        << "b" << true << "ba";
    QTest::newRow("empty search leaves text") << "abc"
                                              << ""
                                              << "x" << true << "abc";
    QTest::newRow("empty replacement deletes") << "a.b.c"
                                               << "."
                                               << "" << false << "abc";
}

void TestTextHelpers::replaceText() {
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, replacement);
    QFETCH(bool, multi);
    QFETCH(QString, expected);
    QCOMPARE(ReplaceText(text, search, replacement, multi), expected);
}

void TestTextHelpers::convertText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<QString>("expected");
    QTest::newRow("to ERP with upper-casing first") << "Müller"
                                                    << "GUIVELTAR" << true << "M]LLER";
    QTest::newRow("to ERP keeps case") << "Müller"
                                       << "GUIVELTAR" << false << "M}ller";
    QTest::newRow("from ERP") << "M}ller"
                              << "VELTAR" << false << "Müller";
    QTest::newRow("every letter to ERP") << "äöüßÄÖÜ§"
                                         << "GUIVELTAR" << false << "{|}~[\\]õ";
    QTest::newRow("every letter from ERP") << "{|}~[\\]õ"
                                           << "VELTAR" << false << "äöüßÄÖÜ§";
    QTest::newRow("SZ keeps bar and backslash") << "{|}~[\\]"
                                                << "VELTARSZ" << false << "ä|üßÄ\\Ü";
    QTest::newRow("upper-casing keeps sharp s") << "Straße"
                                                << "GUIVELTAR" << true << "STRA~E";
    QTest::newRow("search key") << "Größe"
                                << "VELTARSUCHE" << true << "GROESSE";
    QTest::newRow("rich text") << "Tür ÄÖÜ"
                               << "RTF" << false << "T\\'fcr \\'C4\\'d6\\'dc";
    QTest::newRow("other mode only upper-cases") << "Müller"
                                                 << "NONE" << true << "MÜLLER";
}

void TestTextHelpers::convertText() {
    QFETCH(QString, text);
    QFETCH(QString, mode);
    QFETCH(bool, upper);
    QFETCH(QString, expected);
    QCOMPARE(ConvertText(text, mode, upper), expected);
}

void TestTextHelpers::scrambleEveryCodePageCharacterTwice() {
    // Every character of the code page, in texts of at most 254 characters.
    QString all;
    for (int b = 1; b < 256; ++b)
        all += FromWindows1252(char(b));
    QCOMPARE(all.size(), 255);
    for (const QString& text : {all.left(254), all.right(254), all.mid(100, 50)}) {
        const QString once = ScrambleText(text);
        QVERIFY(once != text);
        QCOMPARE(once.size(), text.size());
        QCOMPARE(ScrambleText(once), text);
    }
}

void TestTextHelpers::scrambleKnownValue() {
    // 'd' 0x64 ^ 3 = 0x67 'g'; 'e' 0x65 ^ 3 = 0x66 'f'; ü 0xFC ^ 3 = 0xFF ÿ;
    // € 0x80 ^ 3 = 0x83 ƒ.
    QCOMPARE(ScrambleText(QStringLiteral("deü€")), QStringLiteral("gfÿƒ"));
}

void TestTextHelpers::windows1252RoundTripsEveryByte() {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes += char(b);
    const QString text = FromWindows1252(bytes);
    QCOMPARE(text.at(0x80), QChar(0x20AC));
    QCOMPARE(text.at(0xFC), QChar(u'ü'));
    QCOMPARE(ToWindows1252(text), bytes);
    QCOMPARE(ToWindows1252(QStringLiteral("中")), QByteArray("?"));
}

void TestTextHelpers::pauseProcessesEventsAndStopsInTime() {
    bool fired = false;
    QTimer::singleShot(5, this, [&] { fired = true; });
    QElapsedTimer clock;
    clock.start();
    const int seconds = Pause(5); // 50 ms
    const qint64 ms = clock.elapsed();
    QVERIFY(fired);
    QCOMPARE(seconds, 0);
    QVERIFY2(ms >= 50, qPrintable(QString::number(ms)));
    QCOMPARE(Pause(0), 0);
    QCOMPARE(Pause(-5), 0);
}

void TestTextHelpers::pauseReplacementIsUsed() {
    QList<int> asked;
    SetPauseFunction([&](int h) {
        asked << h;
        return h / 100;
    });
    QCOMPARE(Pause(1000), 10);
    SetPauseFunction({});
    QCOMPARE(asked, QList<int>{1000});
}

void TestTextHelpers::settingsRoundTripInTemporaryFolder() {
    TemporarySettings tmp;
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Firma", "1"), QString("1"));
    WorkstationSettings::setValue("Cache Login", "Login", "Name", "DEM");
    WorkstationSettings::setValue("Quendrapr", "Windowpos", "FMPos", "1|2|3|4");
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Name"), QString("DEM"));
    QCOMPARE(WorkstationSettings::value("Quendrapr", "Windowpos", "FMPos"), QString("1|2|3|4"));
    QCOMPARE(WorkstationSettings::value("Quendrapr", "Login", "Name"), QString());
    QVERIFY(QFile::exists(tmp.folder() + "/Cache Login.ini"));
    WorkstationSettings::remove("Cache Login", "Login", "Name");
    QCOMPARE(WorkstationSettings::value("Cache Login", "Login", "Name", "none"), QString("none"));
}

QTEST_GUILESS_MAIN(TestTextHelpers)
#include "test_texthelpers.moc"
