// The dependency check of the tree (scripts/check-layers.py, CTest "layers")
// only says something when it finds a fault: here it is given trees with one
// fault each (or none) and must name exactly that one.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestLayers : public QObject {
    Q_OBJECT
private slots:
    void oneFileOfATree_data();
    void oneFileOfATree();
};

void TestLayers::oneFileOfATree_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("fault"); // "" when the tree holds the rule
    QTest::newRow("server includes a feature")
        << "src/server/X.h" << QByteArray("#include \"positions/P.h\"\n")
        << "src/server/X.h includes positions/P.h (feature logic above server)";
    QTest::newRow("a feature uses one after it")
        << "src/import/A.h" << QByteArray("#include \"conditions/C.h\"\n")
        << "src/import/A.h includes conditions/C.h (feature conditions comes after import)";
    QTest::newRow("a feature uses one before it")
        << "src/conditions/D.h" << QByteArray("#include \"import/I.h\"\n") << "";
    QTest::newRow("a window opens a later feature's window")
        << "src/import/gui/W.h" << QByteArray("#include \"conditions/gui/V.h\"\n")
        << "src/import/gui/W.h includes conditions/gui/V.h (feature conditions comes after "
           "import)";
    QTest::newRow("a window opens an earlier feature's window")
        << "src/conditions/gui/U.cpp" << QByteArray("#include \"import/gui/W.h\"\n") << "";
    QTest::newRow("a window uses a later feature's logic")
        << "src/import/gui/X.cpp" << QByteArray("#include \"conditions/C.h\"\n")
        << "src/import/gui/X.cpp includes conditions/C.h (feature conditions comes after import)";
    QTest::newRow("a window opens the main window")
        << "src/session/gui/Y.cpp" << QByteArray("#include \"shell/gui/M.h\"\n")
        << "src/session/gui/Y.cpp includes shell/gui/M.h (feature shell comes after session)";
    QTest::newRow("the main window opens every window")
        << "src/shell/gui/M.cpp"
        << QByteArray("#include \"conditions/gui/V.h\"\n#include \"conditions/C.h\"\n") << "";
    QTest::newRow("a window uses the widgets")
        << "src/session/gui/Z.cpp" << QByteArray("#include \"widgets/H.h\"\n") << "";
    QTest::newRow("the widgets use a window")
        << "src/widgets/K.h" << QByteArray("#include \"import/gui/W.h\"\n")
        << "src/widgets/K.h includes import/gui/W.h (windows above widgets)";
    QTest::newRow("logic uses the widgets")
        << "src/positions/N.h" << QByteArray("#include \"widgets/H.h\"\n")
        << "src/positions/N.h includes widgets/H.h (widgets above feature logic)";
    QTest::newRow("a widget in the widgets")
        << "src/widgets/L.cpp" << QByteArray("#include <QWidget>\n") << "";
    QTest::newRow("logic includes a window")
        << "src/conditions/E.h" << QByteArray("#include \"conditions/gui/V.h\"\n")
        << "src/conditions/E.h includes conditions/gui/V.h (windows above feature logic)";
    QTest::newRow("a project header in angle brackets")
        << "src/base/B.h" << QByteArray("#include <server/S.h>\n")
        << "src/base/B.h includes the project header <server/S.h> with angle brackets";
    QTest::newRow("a widget below the windows")
        << "src/positions/L.h" << QByteArray("#include <QWidget>\n")
        << "src/positions/L.h includes <QWidget> of a widget module below the windows";
    QTest::newRow("a printer below the windows")
        << "src/positions/M.cpp" << QByteArray("#include <QtPrintSupport/QPrinter>\n")
        << "src/positions/M.cpp includes <QtPrintSupport/QPrinter> of a widget module below "
           "the windows";
    QTest::newRow("a widget in a window")
        << "src/positions/gui/G.h" << QByteArray("#include <QWidget>\n") << "";
    QTest::newRow("the stand-in uses the program")
        << "standin/lib/F.h" << QByteArray("#include \"server/S.h\"\n")
        << "standin/lib/F.h includes server/S.h (server above stand-in)";
    QTest::newRow("the stand-in uses common")
        << "standin/lib/G.h" << QByteArray("#include \"common/T.h\"\n") << "";
    QTest::newRow("an ERP class named outside the contract")
        << "src/import/N.cpp" << QByteArray("auto c = QStringLiteral(\"quendrap.pos\");\n")
        << "src/import/N.cpp writes the ERP class name quendrap.pos (src/common/erp names it)";
    QTest::newRow("an ERP class named in a message of the stand-in")
        << "standin/lib/N.cpp" << QByteArray("refuse(\"Objekt quendrap.pos \" + id);\n")
        << "standin/lib/N.cpp writes the ERP class name quendrap.pos (src/common/erp names it)";
    QTest::newRow("an ERP class named in a comment")
        << "src/import/O.cpp" << QByteArray("// the query \"pos\" of \"quendrap.pos\"\n") << "";
    QTest::newRow("a name that only begins like an ERP class")
        << "src/import/P.cpp" << QByteArray("auto c = QStringLiteral(\"quendrap.position\");\n")
        << "";
}

void TestLayers::oneFileOfATree() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, fault);
    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    auto put = [&](const QString& path, const QByteArray& text) {
        QVERIFY(QDir().mkpath(QFileInfo(tree.filePath(path)).absolutePath()));
        QFile f(tree.filePath(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    for (const char* header : {"src/common/T.h", "src/server/S.h", "src/import/I.h",
                               "src/import/gui/W.h", "src/positions/P.h", "src/conditions/C.h",
                               "src/conditions/gui/V.h", "src/shell/gui/M.h", "src/widgets/H.h"})
        put(header, "#pragma once\n");
    put("src/common/erp/E.h", "inline constexpr Name kClass = u\"quendrap.pos\";\n");
    put(file, content);
    QProcess check;
    check.start(PYTHON3, {LAYER_CHECK, "--root", tree.path()});
    QVERIFY(check.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(check.readAllStandardOutput()),
             fault.isEmpty() ? QString() : fault + "\n");
    QCOMPARE(check.exitCode(), fault.isEmpty() ? 0 : 1);
}

QTEST_GUILESS_MAIN(TestLayers)
#include "test_layers.moc"
