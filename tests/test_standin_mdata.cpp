#include "Job.h"
#include "MInterpreter.h"
#include "StandinEngine.h"
#include "classes/StandinClasses.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

void addColumns() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
}

} // namespace

// M against the stand-in's own job and database: how locals and globals
// are kept (subscripts, $DATA, every code unit), FOR, the text functions on
// long texts, and the limits of one command.
class TestStandinMData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void subscripts_data();
    void subscripts() { verifyOutput(); }
    void data_data();
    void data() { verifyOutput(); }
    void codeUnits_data();
    void codeUnits() { verifyOutput(); }
    void forLoops_data();
    void forLoops() { verifyOutput(); }
    void longTexts_data();
    void longTexts() { verifyOutput(); }
    void appending_data();
    void appending() { verifyOutput(); }
    void limits_data();
    void limits();
    void errorsKeepTheVariables();
    void globalsReadAsStoredBefore();
    void sessionEntryEndsWithItsJob();
    void jobNumbersNeverRepeat();

private:
    void verifyOutput();
    QString run(const QString& line, const MLimits& limits = MLimits());

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinEngine> m_engine;
    std::unique_ptr<Job> m_job;
};

void TestStandinMData::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_engine = std::make_unique<StandinEngine>(m_dir->filePath("m.db"));
    RegisterErpClasses(*m_engine);
    m_job = std::make_unique<Job>(*m_engine);
}

void TestStandinMData::cleanup() {
    m_job.reset();
    m_engine.reset();
    m_dir.reset();
}

QString TestStandinMData::run(const QString& line, const MLimits& limits) {
    return ExecuteM(line, *m_job, limits);
}

void TestStandinMData::verifyOutput() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    try {
        QCOMPARE(run(line), expected);
    } catch (const MError& e) {
        QFAIL(qPrintable(e.description()));
    }
}

// No subscript text stands for another node, in locals and in globals.
void TestStandinMData::subscripts_data() {
    addColumns();
    for (const char* v : {"", "^"}) {
        const QString g = QString::fromLatin1(v);
        const auto row = [&](const char* name, const QString& line, const char* expected) {
            QTest::newRow(qPrintable((g.isEmpty() ? "local " : "global ") + QString(name)))
                << QString(line).replace("@", g) << QString(expected);
        };
        row("unit separator is no subscript boundary",
            R"(S @Z("a"_$C(31)_"b")=1 W $D(@Z("a","b")),$D(@Z("a"_$C(31)_"b")))", "01");
        row("two subscripts are not one with a separator",
            R"(S @Z("a","b")=2 W $D(@Z("a"_$C(31)_"b")),@Z("a","b"))", "02");
        row("escape character as text", R"(S @Z($C(31))=1 W $D(@Z($C(16)_"001f")),$D(@Z($C(31))))",
            "01");
        row("escape character then separator",
            R"(S @Z($C(16),"x")=1 W $D(@Z($C(16)_$C(31)_"x")),$D(@Z($C(16),"x")))", "01");
        row("separator at the end", R"(S @Z("a"_$C(31))=3 W $D(@Z("a")),@Z("a"_$C(31)))", "03");
        row("other control characters", R"(S @Z($C(30)_$C(0))=4 W @Z($C(30)_$C(0)))", "4");
    }
}

// $DATA: 0 undefined, 1 value only, 10 descendants only, 11 both.
void TestStandinMData::data_data() {
    addColumns();
    for (const char* v : {"", "^"}) {
        const QString g = QString::fromLatin1(v);
        const auto row = [&](const char* name, const QString& line, const char* expected) {
            QTest::newRow(qPrintable((g.isEmpty() ? "local " : "global ") + QString(name)))
                << QString(line).replace("@", g) << QString(expected);
        };
        row("descendants only", "S @D(1,2)=1 W $D(@D),$D(@D(1)),$D(@D(1,2)),$D(@D(1,2,3))",
            "101010");
        row("value and descendants", "S @D(1)=0,@D(1,2)=1 W $D(@D(1))", "11");
        row("unsubscripted with descendants", "S @D=5,@D(7)=1 W $D(@D),$D(@D(7))", "111");
        row("value only", "S @D(3)=1 W $D(@D(3)),$D(@D(4))", "10");
        row("undefined", "W $D(@D),$D(@D(1))", "00");
        row("longer sibling is no descendant", "S @D(12)=1 W $D(@D(1)),$D(@D(12))", "01");
        row("sibling with a control character is no descendant",
            R"(S @D("1"_$C(1))=1,@D("1"_$C(31),2)=1 W $D(@D(1)))", "0");
        row("deep descendant", R"(S @D("a","b","c","d")=1 W $D(@D("a")),$D(@D("a","b","c")))",
            "1010");
        row("text subscript", R"(S @D("x y",1)="" W $D(@D("x y")),$D(@D("x")))", "100");
    }
}

// Every code unit survives the database, unpaired surrogates and the
// escape character among them.
void TestStandinMData::codeUnits_data() {
    addColumns();
    QTest::newRow("lone high surrogate") << "S ^S=$C(55296) W $A(^S),\"|\",$L(^S)"
                                         << "55296|1";
    QTest::newRow("lone low surrogate between texts")
        << R"(S ^S="a"_$C(56320)_"b" W $A(^S,2),"|",$L(^S),"|",$E(^S,3))"
        << "56320|3|b";
    QTest::newRow("reversed pair") << "S ^S=$C(56320,55296) W $A(^S),\"|\",$A(^S,2),\"|\",$L(^S)"
                                   << "56320|55296|2";
    QTest::newRow("surrogate pair kept") << "S ^S=$C(55357,56832) W $L(^S),\"|\",$A(^S,2)"
                                         << "2|56832";
    QTest::newRow("high surrogate at the end") << "S ^S=\"x\"_$C(56319) W $A(^S,2)"
                                               << "56319";
    QTest::newRow("escape character and hex digits")
        << R"(S ^S=$C(16)_"0041" W $L(^S),"|",$E(^S,2,5),"|",$A(^S))"
        << "5|0041|16";
    QTest::newRow("surrogate subscript")
        << "S ^S($C(55296))=$C(56320) W $A(^S($C(55296))),\"|\",$D(^S($C(55297)))"
        << "56320|0";
    QTest::newRow("empty value defined") << R"(S ^S="" W $D(^S),"|",$G(^S,"none"))"
                                         << "1|";
    QTest::newRow("null character") << "S ^S=$C(0)_\"z\" W $L(^S),$A(^S)"
                                    << "20";
}

void TestStandinMData::forLoops_data() {
    addColumns();
    QTest::newRow("counting") << "F I=1:1:5 W I"
                              << "12345";
    QTest::newRow("step and list") << R"(F I=1:2:9,20,"x" W I,",")"
                                   << "1,3,5,7,9,20,x,";
    QTest::newRow("downwards") << "F I=3:-1:1 W I"
                               << "321";
    QTest::newRow("decimal step") << R"(F I=0:.1:.3 W I," ")"
                                  << "0 .1 .2 .3 ";
    QTest::newRow("empty range") << "W 1 F I=5:1:4 W I"
                                 << "1";
    QTest::newRow("quit ends the loop") << "F I=1:1 Q:I>3  W I"
                                        << "123";
    QTest::newRow("argumentless with quit") << "S I=0 F  S I=I+1 Q:I=4  W I"
                                            << "123";
    QTest::newRow("if ends one round") << "F I=1:1:6 I I#2 W I"
                                       << "135";
    QTest::newRow("nested") << R"(F I=1:1:3 F J=1:1:3 Q:J=2  W I,J," ")"
                            << "11 21 31 ";
    QTest::newRow("body changes the variable") << "F I=1:1:10 W I S I=I*2"
                                               << "137";
    QTest::newRow("variable after the loop") << "F I=1:1:3 S X=I"
                                             << "";
    QTest::newRow("subscripted variable") << "F A(1)=1:1:2 W A(1)"
                                          << "12";
    QTest::newRow("full name") << "FOR I=1:1:2 WRITE I"
                               << "12";
    QTest::newRow("sum") << "S S=0 F I=1:1:100 S S=S+I I I=100 W S"
                         << "5050";
}

// The text functions give the same results on long texts as on short
// ones (long, repetitive texts are where a naive search goes wrong).
void TestStandinMData::longTexts_data() {
    addColumns();
    const QString a = R"(S A=$TR($J("",100000)," ","a"),B=A_"b" )";
    QTest::newRow("$F long repetitive text") << a + "W $F(A_B,B),\"|\",$F(A_A,B)"
                                             << "200002|0";
    QTest::newRow("$L pieces of a long delimiter")
        << a + R"(W $L(A_B_"c"_B,B),"|",$L(B_B_B,B),"|",$L(A,B))"
        << "3|4|1";
    QTest::newRow("$P with a long delimiter")
        << a + R"(W $P(A_B_"c"_B_"d",B,2),"|",$P("x"_B_"y",B,2),"|",$L($P(A_B,B)))"
        << "c|y|100000";
    QTest::newRow("contains long text") << a + "W A_B[B,A[B,(A_\"ab\")[B"
                                        << "101";
    QTest::newRow("set $P with a long delimiter")
        << a + R"(S X="1"_B_"2",$P(X,B,2)="z" W $P(X,B,2))"
        << "z";
    QTest::newRow("$TR long lists")
        << R"(S Y=$TR($J("",300000)," ","b"),X=$J("",300000) W $L($TR(X,Y)))"
        << "300000";
    QTest::newRow("$TR long list maps by first place")
        << R"(S F=$J("",20)_"abca",T=$TR($J("",20)," ","|")_"xyz" W $TR("aabbccdd",F,T))"
        << "xxyyzzdd";
    QTest::newRow("$TR long list drops what has no place")
        << R"(S F="abcdefghijklmnop" W $TR("a-p-q",F,"AB"))"
        << "A--q";
    QTest::newRow("$TR long list keeps the rest") << R"(S F="0123456789abcdef" W $TR("xyz9",F))"
                                                  << "xyz";
    QTest::newRow("$E of a long text") << a + "W $E(B,100000,100001)"
                                       << "ab";
}

// SET X=X_... appends where X is kept; the result is what M defines.
void TestStandinMData::appending_data() {
    addColumns();
    QTest::newRow("tail reads the old value") << R"(S X="a" S X=X_X_"b" W X)"
                                              << "aab";
    QTest::newRow("subscripted") << R"(S X(1)="a",X(2)="b" S X(1)=X(1)_X(2)_X(1) W X(1),X(2))"
                                 << "abab";
    QTest::newRow("other operator after") << R"(S X="1" S X=X_"2"+1 W X)"
                                          << "13";
    QTest::newRow("comparison after") << R"(S X="a" S X=X_"b"="ab" W X)"
                                      << "1";
    QTest::newRow("negated comparison after") << R"(S X="a" S X=X_"b"'="ab" W X)"
                                              << "0";
    QTest::newRow("another variable") << R"(S X="a",Y="b" S X=Y_X W X)"
                                      << "ba";
    QTest::newRow("other subscript") << R"(S X(1)="a",X(2)="b" S X(1)=X(2)_"c" W X(1))"
                                     << "bc";
    QTest::newRow("number appended") << R"(S X=1 S X=X_2_.50 W X)"
                                     << "12.5";
    QTest::newRow("several targets") << R"(S X="a" S (X,Y)=X_"b" W X,Y)"
                                     << "abab";
    QTest::newRow("in a loop") << R"(S X="" F I=1:1:100000 S X=X_"ab")"
                               << "";
    QTest::newRow("loop result") << R"(S X="" F I=1:1:3 S X=X_I_",")"
                                 << "";
    QTest::newRow("loop then length") << R"(S X="" F I=1:1:3 S X=X_I_"," I I=3 W X)"
                                      << "1,2,3,";
    QTest::newRow("global is not local") << R"(S ^X="g",X="l" S X=^X_X W X)"
                                         << "gl";
    QTest::newRow("parenthesised tail") << R"(S X="a" S X=X_(1+1) W X)"
                                        << "a2";
}

void TestStandinMData::limits_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("code");
    const auto row = [](const char* name, const QString& line, const char* code) {
        QTest::newRow(name) << line << QString::fromLatin1(code);
    };
    row("parentheses", "W " + QString("(").repeated(60) + "1" + QString(")").repeated(60),
        "<STACK>");
    row("unary minus", "W " + QString("-").repeated(60) + "1", "<STACK>");
    row("not", "W " + QString("'").repeated(60) + "1", "<STACK>");
    row("functions", "W " + QString("$L(").repeated(60) + "1" + QString(")").repeated(60),
        "<STACK>");
    row("subscripts", "W " + QString("X(").repeated(60) + "1" + QString(")").repeated(60),
        "<STACK>");
    row("$G defaults", "W " + QString("$G(X,").repeated(60) + "1" + QString(")").repeated(60),
        "<STACK>");
    row("set targets", "S " + QString("X(").repeated(60) + "1" + QString(")").repeated(60) + "=1",
        "<STACK>");
    row("FOR", QString("F  ").repeated(60) + "Q", "<STACK>");
    row("nesting in skipped code",
        "W:0 " + QString("(").repeated(60) + "1" + QString(")").repeated(60), "<STACK>");
    row("endless loop", "F  S X=1", "<INTERRUPT>");
    row("endless empty loop", "F ", "<INTERRUPT>");
    row("loop without limit", "F I=1:1 S X=I", "<INTERRUPT>");
    row("loop of zero step", "F I=1:0:2 S X=I", "<INTERRUPT>");
    row("costly functions", R"(S X=$J("",3000000) F I=1:1:100 S Y=$L(X,"ab"))", "<INTERRUPT>");
    row("costly concatenation", R"(S X=$J("",3000000) F I=1:1:100 S Y=X_"a")", "<INTERRUPT>");
    row("long writes", R"(F  W "abc")", "<STORE>");
    row("one long write", R"(W $J("",1001))", "<STORE>");
    row("column beyond the output", R"(W ?1001)", "<STORE>");
    row("line feeds", "F  W !", "<STORE>");
}

// Each limit ends the command with its error; the line is the detail.
void TestStandinMData::limits() {
    QFETCH(QString, line);
    QFETCH(QString, code);
    MLimits limits;
    limits.maxNesting = 50;
    limits.maxSteps = 300000;
    limits.maxOutput = 1000;
    try {
        const QString output = run(line, limits);
        QFAIL(qPrintable("no error, output: " + output.left(100)));
    } catch (const MError& e) {
        QCOMPARE(e.code(), code);
        QCOMPARE(e.detail(), line);
    }
    // Within the limits the same kind of line runs.
    QCOMPARE(run("W " + QString("(").repeated(45) + "1" + QString(")").repeated(45), limits),
             QString("1"));
    QCOMPARE(run(R"(W $J("",1000))", limits).size(), 1000);
}

void TestStandinMData::errorsKeepTheVariables() {
    MLimits limits;
    limits.maxSteps = 10000;
    QVERIFY_THROWS_EXCEPTION(MError, run(R"(S X="ab",^G=1 F  S X=X_"c")", limits));
    // The text grew before the interruption and stays defined.
    const QString length = run("W $L(X)>2,$E(X,1,3)");
    QCOMPARE(length, QString("1abc"));
    try {
        run(R"(S Y="k" S Y=Y_U)");
        QFAIL("no error");
    } catch (const MError& e) {
        QCOMPARE(e.description(), QString("<UNDEFINED> U"));
    }
    QCOMPARE(run("W Y"), QString("k"));
    try {
        run(R"(S Z=Z_"a")");
        QFAIL("no error");
    } catch (const MError& e) {
        QCOMPARE(e.description(), QString("<UNDEFINED> Z"));
    }
    QCOMPARE(run("W $D(Z)"), QString("0"));
}

// Globals stored without separators or escapes inside their subscripts
// read as before: the session routine and the demo data use them.
void TestStandinMData::globalsReadAsStoredBefore() {
    m_engine->execText("INSERT INTO globals(name,subs,value) VALUES(?,?,?)",
                       {"OLD", QString("k") + QChar(0x1f) + "2", "Größe"});
    m_engine->execText("INSERT INTO globals(name,subs,value) VALUES(?,?,?)", {"OLD", "", "top"});
    QCOMPARE(run(R"(W ^OLD("k",2),"|",^OLD,"|",$D(^OLD("k")))"), QString("Größe|top|10"));
    QCOMPARE(m_engine->getGlobal("OLD", {"k", "2"}), std::optional<QString>("Größe"));
    m_engine->setGlobal("FA", {"0"}, "20270101`2027`20271231");
    QCOMPARE(m_engine->textValue("SELECT value FROM globals WHERE name='FA' AND subs='0'", {}),
             QString("20270101`2027`20271231"));
}

// ^%XTT($J) lives as long as the job; other jobs' entries stay.
void TestStandinMData::sessionEntryEndsWithItsJob() {
    auto other = std::make_unique<Job>(*m_engine);
    const QString mine = m_job->jobNumber(), theirs = other->jobNumber();
    QCOMPARE(run(R"(S FIRMA=1,FIL=0,PERSONAL="DEM" D ^%XTT S ^%XTT($J,"x")=1)"), QString());
    QCOMPARE(ExecuteM("D ^%XTT", *other), QString());
    QCOMPARE(run("W $D(^%XTT(" + mine + ")),$D(^%XTT(" + theirs + "))"), QString("111"));
    // A number that only starts like the job's is another node.
    QCOMPARE(run("S ^%XTT(" + mine + "0)=1"), QString());
    m_job.reset();
    m_job = std::make_unique<Job>(*m_engine);
    QCOMPARE(run("W $D(^%XTT(" + mine + ")),$D(^%XTT(" + theirs + ")),$D(^%XTT(" + mine + "0))"),
             QString("011"));
    other.reset();
    QCOMPARE(run("W $D(^%XTT(" + theirs + ")),$D(^%XTT)"), QString("010"));
}

void TestStandinMData::jobNumbersNeverRepeat() {
    QSet<int> seen{m_job->number()};
    for (int i = 0; i < 150; ++i)
        seen.insert(Job(*m_engine).number());
    QCOMPARE(seen.size(), 151);
    const int last = Job(*m_engine).number();
    m_job.reset();
    // A new server on the same database goes on above every number given out,
    // and finds no session entries of the jobs before.
    ExecuteM("D ^%XTT", *std::make_unique<Job>(*m_engine));
    m_engine->setGlobal("%XTT", {"999999"}, "left over");
    m_engine = std::make_unique<StandinEngine>(m_dir->filePath("m.db"));
    RegisterErpClasses(*m_engine);
    m_job = std::make_unique<Job>(*m_engine);
    QVERIFY2(m_job->number() > last, qPrintable(m_job->jobNumber()));
    QCOMPARE(run("W $D(^%XTT)"), QString("0"));
}

QTEST_GUILESS_MAIN(TestStandinMData)
#include "test_standin_mdata.moc"
