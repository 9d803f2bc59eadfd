// The stand-in's store and registry alone, without a class of the ERP: this
// program links only veltar_standin_store. Its classes are defined here.
#include "StandinRegistry.h"
#include "StandinStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <stdexcept>

namespace {

const QString kNote = QStringLiteral("Test.Note");
const QString kLine = QStringLiteral("Test.Line");
const QString kKeyed = QStringLiteral("Test.Keyed");

// A store on a file of its own with three classes: notes numbered one by
// one, lines numbered from blocks of 100, and keyed records whose id is
// their code (upper case, made so before they are stored).
struct StoreFixture {
    QTemporaryDir dir;
    std::unique_ptr<StandinStore> store;
    std::unique_ptr<StandinRegistry> registry;

    StoreFixture() { open(); }
    QString path() const { return dir.filePath(QStringLiteral("store.db")); }
    void open() {
        registry.reset();
        store.reset();
        store = std::make_unique<StandinStore>(path());
        registry = std::make_unique<StandinRegistry>(*store);
        registry->defineClass(kNote, QStringLiteral("test_note"),
                              {QStringLiteral("Title"), QStringLiteral("Body")});
        registry->defineClass(kLine, QStringLiteral("test_line"), {QStringLiteral("Text")})
            .idBlock = 100;
        ClassDef& keyed =
            registry->defineClass(kKeyed, QStringLiteral("test_keyed"),
                                  {QStringLiteral("Code"), QStringLiteral("Text")}, false);
        keyed.idOf = [](const StoredObject& o) { return o.values.value(QStringLiteral("Code")); };
        keyed.beforeSave = [](StoredObject& o) {
            QString& code = o.values[QStringLiteral("Code")];
            code = code.toUpper();
        };
    }
    // Saves a new object of a class and returns its id.
    QString save(const QString& className, const QHash<QString, QString>& values) {
        StoredObject o;
        o.cls = registry->findClass(className);
        o.values = values;
        store->saveObject(o);
        return o.id;
    }
    QString count(const QString& table) {
        return store->textValue(QStringLiteral("SELECT count(*) FROM ") + table, {});
    }
};

} // namespace

class TestStandinStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void objectsLoadAsSaved_data();
    void objectsLoadAsSaved();
    void idsCountOneByOneAcrossRestarts();
    void idBlocksLeaveTheirRestUnused();
    void keyedObjectsTakeTheirIdFromTheirValues();
    void objectWithoutKeyIsRefused();
    void rolledBackUnitLeavesNothing();
    void failedStatementRollsItsUnitBack();
    void innerUnitRollsBackAlone();
    void globals_data();
    void globals();
    void dataOfGlobals_data();
    void dataOfGlobals();
    void subscriptKeysNeverCollide();
    void storedTextsReadBack_data();
    void storedTextsReadBack();
    void metaAndJobNumbersOutliveTheStore();
    void endedJobLeavesNoSessionEntry();
    void registryFindsWhatWasDefined();
    void cursorsHandOutRowsInBatches();
    void quickCheckTellsDamage();
};

void TestStandinStore::objectsLoadAsSaved_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::newRow("plain") << "Notiz"
                           << "Text";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("umlauts") << "Dämmplatte"
                             << "Größe ß €";
    QTest::newRow("quotes") << "a\"b'c"
                            << "Rohrmanschette 1/2\" Dichtband";
    QTest::newRow("long") << QString(5000, u'x') << QString(70000, u'ä');
}

void TestStandinStore::objectsLoadAsSaved() {
    QFETCH(QString, title);
    QFETCH(QString, body);
    StoreFixture fx;
    const QString id =
        fx.save(kNote, {{QStringLiteral("Title"), title}, {QStringLiteral("Body"), body}});
    StoredObject back;
    QVERIFY(fx.store->loadObject(*fx.registry->findClass(kNote), id, &back));
    QCOMPARE(back.id, id);
    QCOMPARE(back.cls, fx.registry->findClass(kNote));
    QCOMPARE(back.values.value(QStringLiteral("Title")), title);
    QCOMPARE(back.values.value(QStringLiteral("Body")), body);
    QVERIFY(!fx.store->loadObject(*fx.registry->findClass(kNote), QStringLiteral("99"), &back));
}

void TestStandinStore::idsCountOneByOneAcrossRestarts() {
    StoreFixture fx;
    QCOMPARE(fx.save(kNote, {}), QStringLiteral("1"));
    QCOMPARE(fx.save(kNote, {}), QStringLiteral("2"));
    fx.open();
    QCOMPARE(fx.save(kNote, {}), QStringLiteral("3"));
    QCOMPARE(fx.count(QStringLiteral("test_note")), QStringLiteral("3"));
}

void TestStandinStore::idBlocksLeaveTheirRestUnused() {
    StoreFixture fx;
    QCOMPARE(fx.save(kLine, {}), QStringLiteral("1"));
    QCOMPARE(fx.save(kLine, {}), QStringLiteral("2"));
    QCOMPARE(
        fx.store->textValue(QStringLiteral("SELECT last FROM idcounter WHERE class=?"), {kLine}),
        QStringLiteral("100"));
    // Numbers of classes without blocks are not taken from them.
    QCOMPARE(fx.save(kNote, {}), QStringLiteral("1"));
    fx.open();
    QCOMPARE(fx.save(kLine, {}), QStringLiteral("101"));
}

void TestStandinStore::keyedObjectsTakeTheirIdFromTheirValues() {
    StoreFixture fx;
    QCOMPARE(fx.save(kKeyed, {{QStringLiteral("Code"), QStringLiteral("ab")},
                              {QStringLiteral("Text"), QStringLiteral("first")}}),
             QStringLiteral("AB"));
    // The same key replaces the object.
    QCOMPARE(fx.save(kKeyed, {{QStringLiteral("Code"), QStringLiteral("AB")},
                              {QStringLiteral("Text"), QStringLiteral("second")}}),
             QStringLiteral("AB"));
    StoredObject back;
    QVERIFY(fx.store->loadObject(*fx.registry->findClass(kKeyed), QStringLiteral("AB"), &back));
    QCOMPARE(back.values.value(QStringLiteral("Code")), QStringLiteral("AB"));
    QCOMPARE(back.values.value(QStringLiteral("Text")), QStringLiteral("second"));
    QCOMPARE(fx.count(QStringLiteral("test_keyed")), QStringLiteral("1"));
}

void TestStandinStore::objectWithoutKeyIsRefused() {
    StoreFixture fx;
    try {
        fx.save(kKeyed, {{QStringLiteral("Text"), QStringLiteral("no code")}});
        QFAIL("stored without a key");
    } catch (const ServerError& e) {
        QCOMPARE(e.number(), StandinErrors::General);
        QCOMPARE(e.description(), QStringLiteral("Objekt ohne Schlüssel: Test.Keyed"));
    }
    QCOMPARE(fx.count(QStringLiteral("test_keyed")), QStringLiteral("0"));
}

void TestStandinStore::rolledBackUnitLeavesNothing() {
    StoreFixture fx;
    {
        StandinTransaction t(*fx.store);
        QCOMPARE(fx.save(kNote, {}), QStringLiteral("1"));
        QCOMPARE(fx.save(kLine, {}), QStringLiteral("1"));
        fx.store->setGlobal(QStringLiteral("G"), {}, QStringLiteral("v"));
        fx.store->setMeta(QStringLiteral("m"), QStringLiteral("v"));
    }
    QCOMPARE(fx.count(QStringLiteral("test_note")), QStringLiteral("0"));
    QVERIFY(!fx.store->getGlobal(QStringLiteral("G"), {}));
    QCOMPARE(fx.store->meta(QStringLiteral("m")), QString());
    QVERIFY(!fx.store->inTransaction());
    // The ids of what was rolled back are handed out again, blocks as well.
    QCOMPARE(fx.save(kNote, {}), QStringLiteral("1"));
    QCOMPARE(fx.save(kLine, {}), QStringLiteral("1"));
}

void TestStandinStore::failedStatementRollsItsUnitBack() {
    StoreFixture fx;
    try {
        StandinTransaction t(*fx.store);
        fx.save(kNote, {{QStringLiteral("Title"), QStringLiteral("lost")}});
        fx.store->execText(QStringLiteral("INSERT INTO nowhere VALUES(1)"), {});
        t.commit();
        QFAIL("the statement did not fail");
    } catch (const ServerError& e) {
        QCOMPARE(e.number(), StandinErrors::Database);
        QCOMPARE(e.description(), QStringLiteral("Datenbankfehler: no such table: nowhere"));
    }
    QCOMPARE(fx.count(QStringLiteral("test_note")), QStringLiteral("0"));
    QVERIFY(!fx.store->inTransaction());
}

void TestStandinStore::innerUnitRollsBackAlone() {
    StoreFixture fx;
    StandinTransaction outer(*fx.store);
    fx.save(kNote, {{QStringLiteral("Title"), QStringLiteral("kept")}});
    {
        StandinTransaction inner(*fx.store);
        fx.save(kNote, {{QStringLiteral("Title"), QStringLiteral("undone")}});
    }
    QVERIFY(fx.store->inTransaction());
    outer.commit();
    QVERIFY(!fx.store->inTransaction());
    QCOMPARE(fx.store->textValue(QStringLiteral("SELECT group_concat(Title) FROM test_note"), {}),
             QStringLiteral("kept"));
}

void TestStandinStore::globals_data() {
    QTest::addColumn<QStringList>("subscripts");
    QTest::addColumn<QString>("value");
    QTest::newRow("unsubscripted") << QStringList() << "top";
    QTest::newRow("one") << QStringList{"0"} << "20270101`2027`20271231";
    QTest::newRow("several") << QStringList{"a", "b", "c"} << "abc";
    QTest::newRow("empty subscript") << QStringList{"", "x"} << "";
    QTest::newRow("separator inside") << QStringList{QString(QChar(0x1F))} << "sep";
    QTest::newRow("escape inside")
        << QStringList{QString(QChar(0x10)) + "001f"} << QString(QChar(0x10));
    QTest::newRow("lone surrogate")
        << QStringList{QString(QChar(0xD800))} << QString(QChar(0xDC00)) + "x";
}

void TestStandinStore::globals() {
    QFETCH(QStringList, subscripts);
    QFETCH(QString, value);
    StoreFixture fx;
    QVERIFY(!fx.store->getGlobal(QStringLiteral("G"), subscripts));
    fx.store->setGlobal(QStringLiteral("G"), subscripts, value);
    QCOMPARE(fx.store->getGlobal(QStringLiteral("G"), subscripts), std::optional<QString>(value));
    fx.store->setGlobal(QStringLiteral("G"), subscripts, QStringLiteral("again"));
    fx.open();
    QCOMPARE(fx.store->getGlobal(QStringLiteral("G"), subscripts),
             std::optional<QString>(QStringLiteral("again")));
}

void TestStandinStore::dataOfGlobals_data() {
    QTest::addColumn<QStringList>("node");
    QTest::addColumn<int>("expected");
    // Set: G(1)="v", G(1,2)="w", G(3,4)="x".
    QTest::newRow("top") << QStringList() << 10;
    QTest::newRow("value and children") << QStringList{"1"} << 11;
    QTest::newRow("value only") << QStringList{"1", "2"} << 1;
    QTest::newRow("children only") << QStringList{"3"} << 10;
    QTest::newRow("missing") << QStringList{"2"} << 0;
    QTest::newRow("prefix is no parent") << QStringList{"1", "2", "x"} << 0;
}

void TestStandinStore::dataOfGlobals() {
    QFETCH(QStringList, node);
    QFETCH(int, expected);
    StoreFixture fx;
    fx.store->setGlobal(QStringLiteral("G"), {QStringLiteral("1")}, QStringLiteral("v"));
    fx.store->setGlobal(QStringLiteral("G"), {QStringLiteral("1"), QStringLiteral("2")},
                        QStringLiteral("w"));
    fx.store->setGlobal(QStringLiteral("G"), {QStringLiteral("3"), QStringLiteral("4")},
                        QStringLiteral("x"));
    fx.store->setGlobal(QStringLiteral("H"), {QStringLiteral("2")}, QStringLiteral("other"));
    QCOMPARE(fx.store->dataGlobal(QStringLiteral("G"), node), expected);
}

void TestStandinStore::subscriptKeysNeverCollide() {
    const QChar sep(0x1F);
    const QChar esc(0x10);
    // (The unsubscripted node is the empty list; M has no empty subscript.)
    const QList<QStringList> lists{
        {},
        {"", "x"},
        {"", ""},
        {"a"},
        {"a", "b"},
        {QStringLiteral("a") + sep + QStringLiteral("b")},
        {QString(esc) + QStringLiteral("001f")},
        {QString(sep)},
        {QString(QChar(0xD800))},
        {QString(esc) + QStringLiteral("d800")},
    };
    QSet<QString> keys;
    for (const QStringList& l : lists)
        keys.insert(SubscriptKey(l));
    QCOMPARE(keys.size(), lists.size());
    // Subscripts without special characters read as before.
    QCOMPARE(SubscriptKey({"a", "b"}), QStringLiteral("a") + sep + QStringLiteral("b"));
}

void TestStandinStore::storedTextsReadBack_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::newRow("plain") << "Köln"
                           << "Köln";
    QTest::newRow("escape") << QString(QChar(0x10)) << QString(QChar(0x10)) + "0010";
    QTest::newRow("lone high") << QString(QChar(0xD800)) + "a" << QString(QChar(0x10)) + "d800a";
    QTest::newRow("lone low") << "a" + QString(QChar(0xDC00))
                              << "a" + QString(QChar(0x10)) + "dc00";
    QTest::newRow("pair") << QStringLiteral("😀") << QStringLiteral("😀");
    QTest::newRow("separator") << QString(QChar(0x1F)) << QString(QChar(0x1F));
}

void TestStandinStore::storedTextsReadBack() {
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QCOMPARE(StoredText(text), stored);
    QCOMPARE(TextFromStored(stored), text);
}

void TestStandinStore::metaAndJobNumbersOutliveTheStore() {
    StoreFixture fx;
    QCOMPARE(fx.store->meta(QStringLiteral("k")), QString());
    fx.store->setMeta(QStringLiteral("k"), QStringLiteral("v"));
    const int first = fx.store->newJobNumber();
    QCOMPARE(fx.store->newJobNumber(), first + 1);
    fx.open();
    QCOMPARE(fx.store->meta(QStringLiteral("k")), QStringLiteral("v"));
    // Numbers are reserved in blocks: a restart goes on beyond the block.
    const int next = fx.store->newJobNumber();
    QVERIFY2(next > first + 1, qPrintable(QString::number(next)));
}

void TestStandinStore::endedJobLeavesNoSessionEntry() {
    StoreFixture fx;
    const int job = fx.store->newJobNumber();
    fx.store->setGlobal(QStringLiteral("%XTT"), {QString::number(job)}, QStringLiteral("1|0"));
    fx.store->setGlobal(QStringLiteral("%XTT"), {QString::number(job), QStringLiteral("x")},
                        QStringLiteral("y"));
    fx.store->setGlobal(QStringLiteral("%XTT"), {QString::number(job + 1)}, QStringLiteral("2"));
    fx.store->endJob(job);
    QCOMPARE(fx.store->dataGlobal(QStringLiteral("%XTT"), {QString::number(job)}), 0);
    QCOMPARE(fx.store->dataGlobal(QStringLiteral("%XTT"), {QString::number(job + 1)}), 1);
    // No job of an earlier run is connected: a new start removes them all.
    fx.open();
    QCOMPARE(fx.store->dataGlobal(QStringLiteral("%XTT"), {}), 0);
}

void TestStandinStore::registryFindsWhatWasDefined() {
    StoreFixture fx;
    QVERIFY(!fx.registry->findClass(QStringLiteral("Test.Missing")));
    QVERIFY_THROWS_EXCEPTION(std::logic_error,
                             fx.registry->extendClass(QStringLiteral("Test.Missing")));
    fx.registry->extendClass(kNote).queries.insert(
        QStringLiteral("All"), [](CallContext&, const QStringList&) {
            return std::make_unique<ListCursor>(1, QList<QStringList>{{QStringLiteral("x")}});
        });
    QVERIFY(fx.registry->findClass(kNote)->queries.contains(QStringLiteral("All")));
    // A class without a table keeps no objects.
    fx.registry->defineClass(QStringLiteral("Test.Calls"));
    StoredObject o;
    o.cls = fx.registry->findClass(QStringLiteral("Test.Calls"));
    fx.store->saveObject(o);
    QCOMPARE(o.id, QString());
    QVERIFY(!fx.store->loadObject(*o.cls, QStringLiteral("1"), &o));

    QVERIFY(!fx.registry->findRoutine(QStringLiteral("L"), QStringLiteral("R")));
    fx.registry->defineRoutine(
        QStringLiteral("L"), QStringLiteral("R"),
        [](CallContext&, const QStringList& args, QString& out) { out = args.join(u','); });
    QVERIFY(fx.registry->findRoutine(QStringLiteral("L"), QStringLiteral("R")));
    QVERIFY(!fx.registry->findRoutine(QString(), QStringLiteral("R")));
}

void TestStandinStore::cursorsHandOutRowsInBatches() {
    StoreFixture fx;
    for (int i = 1; i <= 5; ++i)
        fx.save(kNote, {{QStringLiteral("Title"), QStringLiteral("n%1").arg(i)}});
    SqlCursor sql(*fx.store, QStringLiteral("SELECT id, Title FROM test_note ORDER BY id"), {}, 2);
    ListCursor list(2, {{"1", "n1"}, {"2", "n2"}, {"3", "n3"}, {"4", "n4"}, {"5", "n5"}});
    for (QueryCursor* cursor :
         {static_cast<QueryCursor*>(&sql), static_cast<QueryCursor*>(&list)}) {
        QStringList first;
        QVERIFY(cursor->fill(3, 1 << 20, first));
        QCOMPARE(first, QStringList({"1", "n1", "2", "n2", "3", "n3"}));
        QStringList rest;
        cursor->fill(3, 1 << 20, rest);
        QCOMPARE(rest, QStringList({"4", "n4", "5", "n5"}));
        QStringList none;
        QVERIFY(!cursor->fill(3, 1 << 20, none));
        QVERIFY(none.isEmpty());
    }
}

void TestStandinStore::quickCheckTellsDamage() {
    QTemporaryDir dir;
    QCOMPARE(StandinStore::QuickCheck(dir.filePath(QStringLiteral("new.db"))),
             QStringList{QStringLiteral("ok")});
    StoreFixture fx;
    fx.save(kNote, {});
    QCOMPARE(StandinStore::QuickCheck(fx.path()), QStringList{QStringLiteral("ok")});
    QFile junk(dir.filePath(QStringLiteral("junk.db")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'x'));
    junk.close();
    QString openError;
    const QStringList findings = StandinStore::QuickCheck(junk.fileName(), &openError);
    QCOMPARE(openError, QString());
    QCOMPARE(findings, QStringList{QStringLiteral("file is not a database")});
}

QTEST_GUILESS_MAIN(TestStandinStore)
#include "test_standin_store.moc"
