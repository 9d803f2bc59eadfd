#include "Fiber.h"
#include "MInterpreter.h"

#include <QHash>
#include <QTest>

namespace {

// The job an M line runs in, kept in memory. Besides the variables it knows
// three routines: ^%XTT writes "[XTT]", GETARF^VTCLSU writes its arguments
// and SAVE^TEST stores its first argument in ^SAVED.
class MemoryEnvironment : public MEnvironment {
public:
    struct Call {
        QString label, routine;
        QStringList args;
        bool operator==(const Call&) const = default;
    };

    QHash<QString, QString> locals, globals;
    QList<Call> calls;

    static QString key(const QString& name, const QStringList& subscripts) {
        return (QStringList{name} + subscripts).join(QChar(0x1f));
    }

    QString jobNumber() const override { return QStringLiteral("4711"); }
    std::optional<QString> getLocal(const QString& name, const QStringList& subscripts) override {
        return find(locals, name, subscripts);
    }
    void setLocal(const QString& name, const QStringList& subscripts,
                  const QString& value) override {
        locals.insert(key(name, subscripts), value);
    }
    std::optional<QString> getGlobal(const QString& name, const QStringList& subscripts) override {
        return find(globals, name, subscripts);
    }
    void setGlobal(const QString& name, const QStringList& subscripts,
                   const QString& value) override {
        globals.insert(key(name, subscripts), value);
    }
    int dataLocal(const QString& name, const QStringList& subscripts) override {
        return data(locals, name, subscripts);
    }
    int dataGlobal(const QString& name, const QStringList& subscripts) override {
        return data(globals, name, subscripts);
    }
    bool callRoutine(const QString& label, const QString& routine, const QStringList& args,
                     QString& output) override {
        calls.append({label, routine, args});
        if (label.isEmpty() && routine == QLatin1String("%XTT")) {
            output += QLatin1String("[XTT]");
            return true;
        }
        if (label == QLatin1String("GETARF") && routine == QLatin1String("VTCLSU")) {
            output += QLatin1String("GETARF(") + args.join(u'|') + u')';
            return true;
        }
        if (label == QLatin1String("SAVE") && routine == QLatin1String("TEST")) {
            setGlobal(QStringLiteral("SAVED"), {}, args.value(0));
            return true;
        }
        return false;
    }

private:
    static std::optional<QString> find(const QHash<QString, QString>& map, const QString& name,
                                       const QStringList& subscripts) {
        const auto it = map.constFind(key(name, subscripts));
        if (it == map.cend())
            return std::nullopt;
        return *it;
    }
    static int data(const QHash<QString, QString>& map, const QString& name,
                    const QStringList& subscripts) {
        const QString node = key(name, subscripts);
        const QString prefix = node + QChar(0x1f);
        const bool children = std::any_of(map.keyBegin(), map.keyEnd(),
                                          [&](const QString& k) { return k.startsWith(prefix); });
        return (children ? 10 : 0) + (map.contains(node) ? 1 : 0);
    }
};

// The same, as the server's jobs are: a command pauses at the end of its
// slice when it runs on a fiber.
class SlicedEnvironment : public MemoryEnvironment {
public:
    qint64 pauseIfDue() override { return Fiber::pauseIfDue(); }
};

// Every test starts from a database holding ^FA(0) and ^FA("key").
void preload(MemoryEnvironment& env) {
    env.setGlobal(QStringLiteral("FA"), {QStringLiteral("0")}, QStringLiteral("1`2026`x"));
    env.setGlobal(QStringLiteral("FA"), {QStringLiteral("key")}, QStringLiteral("v"));
}

void addColumns() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
}

} // namespace

class TestMLang : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numbers_data();
    void numbers() { verifyOutput(); }
    void operators_data();
    void operators() { verifyOutput(); }
    void functions_data();
    void functions() { verifyOutput(); }
    void commands_data();
    void commands() { verifyOutput(); }
    void errors_data();
    void errors();
    void setStoresIntoEnvironment();
    void doPassesEvaluatedArguments();
    void runtimeErrorKeepsEarlierCommands();
    void syntaxErrorRunsNothing();
    void whatIsUtf8OfDescription();
    void commandGoesOnAcrossSlices();

private:
    void verifyOutput();
};

void TestMLang::verifyOutput() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    MemoryEnvironment env;
    preload(env);
    try {
        QCOMPARE(ExecuteM(line, env), expected);
    } catch (const MError& e) {
        QFAIL(qPrintable(e.description()));
    }
}

// Numbers are kept as doubles and written with at most 15 significant
// digits (1/3 is .333333333333333), in canonical form.
void TestMLang::numbers_data() {
    addColumns();
    QTest::newRow("integer literal") << "W 12"
                                     << "12";
    QTest::newRow("leading zeros dropped") << "W 007"
                                           << "7";
    QTest::newRow("trailing zeros dropped") << "W 2.50"
                                            << "2.5";
    QTest::newRow("no zero before the point") << R"(W 0.5,"|",.5)"
                                              << ".5|.5";
    QTest::newRow("whole decimal") << "W 3.0"
                                   << "3";
    QTest::newRow("negative fraction") << "W -0.5"
                                       << "-.5";
    QTest::newRow("negative zero") << R"(W -0,"|",0-0)"
                                   << "0|0";
    QTest::newRow("exponent") << R"(W 1.5E3,"|",15E-4,"|",2E+2)"
                              << "1500|.0015|200";
    QTest::newRow("large number without exponent") << "W 1E20"
                                                   << "100000000000000000000";
    QTest::newRow("small number without exponent") << "W 1E-20"
                                                   << ".00000000000000000001";
    QTest::newRow("15 significant digits") << "W 1234567890123456789"
                                           << "1234567890123460000";
    QTest::newRow("one third") << "W 1/3"
                               << ".333333333333333";
    QTest::newRow("two thirds rounded") << R"(W 2/3,"|",-2/3)"
                                        << ".666666666666667|-.666666666666667";
    QTest::newRow("decimal sum") << R"(W .1+.2,"|",1.1-1,"|",.1*3)"
                                 << ".3|.1|.3";
    QTest::newRow("string literal written as is") << R"(W "007","|","2.50")"
                                                  << "007|2.50";
    QTest::newRow("leading numeric part") << R"(W +"12abc","|",+"3.5.1","|",+".5x")"
                                          << "12|3.5|.5";
    QTest::newRow("no numeric part") << R"(W +"abc","|",+"","|",+"-","|",+".","|",+" 5")"
                                     << "0|0|0|0|0";
    QTest::newRow("several signs") << R"(W +"--3x","|",+"+-2.50e","|",--3,"|",+-+"4")"
                                   << "3|-2.5|3|-4";
    QTest::newRow("exponent in text") << R"(W +"1E3","|",+"1E","|",+"1e3","|","1E-2x"*100)"
                                      << "1000|1|1|1";
    QTest::newRow("strings in arithmetic") << R"(W "5"+"3abc","|",-"3abc")"
                                           << "8|-3";
    QTest::newRow("number literal as text") << R"(W $P(12.50,".",2))"
                                            << "5";
}

void TestMLang::operators_data() {
    addColumns();
    QTest::newRow("left to right") << R"(W 1+2*3,"|",10-2-3,"|",2*3+4*5)"
                                   << "9|5|50";
    QTest::newRow("parentheses") << R"(W 1+(2*3),"|",((2)))"
                                 << "7|2";
    QTest::newRow("concatenation then addition") << R"(W "a"_1+1)"
                                                 << "1";
    QTest::newRow("addition then concatenation") << R"(W 1+1_"a","|",1_2)"
                                                 << "2a|12";
    QTest::newRow("subtraction") << "W 3-5"
                                 << "-2";
    QTest::newRow("division") << R"(W 10/4,"|",-9/3)"
                              << "2.5|-3";
    QTest::newRow("integer division") << R"(W 7\2,"|",-7\2,"|",7.9\1,"|",.3\.1)"
                                      << "3|-3|7|3";
    QTest::newRow("modulo takes the sign of the divisor") << R"(W 7#3,"|",-7#3,"|",7#-3,"|",-7#-3)"
                                                          << "1|2|-2|-1";
    QTest::newRow("decimal modulo") << R"(W .3#.1,"|",5.5#2)"
                                    << "0|1.5";
    QTest::newRow("equality compares text") << R"(W 1=1.0,"1"=1,"1.0"=1,"a"="a","a"="A")"
                                            << "11010";
    QTest::newRow("not equal") << "W 1'=2,1'=1"
                               << "10";
    QTest::newRow("numeric order") << R"(W 2<10,"2"<"10","abc"<1,3>2,2>2)"
                                   << "11110";
    QTest::newRow("negated order") << "W 2'<2,2'>3,3'<2,3'>2"
                                   << "1110";
    QTest::newRow("and or") << R"(W 1&0,1&2,0!0,0!"2x","a"&1)"
                            << "01010";
    QTest::newRow("negated and or") << "W 1'&0,0'!0,1'&1"
                                    << "110";
    QTest::newRow("not") << R"(W '0,'1,'"abc",''5)"
                         << "1011";
    QTest::newRow("contains and follows")
        << R"(W "abc"["b","abc"["x","abc"["","b"]"a","a"]"b","a"'["b")"
        << "101101";
    QTest::newRow("comparison feeds the next operator") << R"(W 1<2+1,"|",3>2>1)"
                                                        << "2|0";
    QTest::newRow("unary binds to one operand") << R"(W -2*3,"|",'0+1,"|",-(2+3))"
                                                << "-6|2|-5";
}

void TestMLang::functions_data() {
    addColumns();
    QTest::newRow("$P field") << R"(W $P("1`2`3","`",2))"
                              << "2";
    QTest::newRow("$P long delimiter") << R"(W $P("a||b","||",2))"
                                       << "b";
    QTest::newRow("$P first field by default") << R"(W $P("a,b",","))"
                                               << "a";
    QTest::newRow("$P field zero") << R"(W $P("a,b",",",0))"
                                   << "";
    QTest::newRow("$P beyond the end") << R"(W $P("a,b",",",3))"
                                       << "";
    QTest::newRow("$P empty delimiter") << R"(W $P("a,b","",1))"
                                        << "";
    QTest::newRow("$P range") << R"(W $P("a,b,c,d",",",2,3),"|",$P("a,b,c",",",2,9))"
                              << "b,c|b,c";
    QTest::newRow("$P reversed range") << R"(W $P("a,b,c",",",3,2))"
                                       << "";
    QTest::newRow("$P negative start") << R"(W $P("a,b,c",",",-1,2))"
                                       << "a,b";
    QTest::newRow("$P without delimiter in text") << R"(W $P("abc",",",1),"|",$P("abc",",",2))"
                                                  << "abc|";
    QTest::newRow("$P empty fields")
        << R"(W $P("a,,c",",",2),"|",$P(",x",",",1),"|",$P("x,",",",2),"|")"
        << "|||";
    QTest::newRow("$P field number from text") << R"(W $P("a b c"," ","2x"))"
                                               << "b";
    QTest::newRow("names in any case") << R"(W $piece("x y"," ",2),$p("x y"," ",1),$Length(12))"
                                       << "yx2";
    QTest::newRow("$L") << R"(W $L("abc"),"|",$L(""),"|",$L(12.0))"
                        << "3|0|2";
    QTest::newRow("$L pieces")
        << R"(W $L("a,b,c",","),$L("abc",","),$L("",","),$L("aaaa","aa"),$L("abc",""))"
        << "31130";
    QTest::newRow("$E")
        << R"(W $E("abcde"),"|",$E("abcde",2),"|",$E("abcde",2,4),"|",$E("abcde",0,2))"
        << "a|b|bcd|ab";
    QTest::newRow("$E outside the text")
        << R"(W $E("abcde",4,9),"|",$E("abcde",3,2),"|",$E("abcde",9),"|",$E("",1))"
        << "de|||";
    QTest::newRow("$G") << R"(W $G(U),"|",$G(U,"d"),"|",$G(^FA(0),"d"),"|",$G(^FA(9)))"
                        << "|d|1`2026`x|";
    QTest::newRow("$G of a defined local") << R"(S U=5 W $G(U,"d"))"
                                           << "5";
    QTest::newRow("$D") << "S A=1,B(1)=2 W $D(A),$D(C),$D(B(1)),$D(B(2)),$D(^FA(0)),$D(^FA(1))"
                        << "101010";
    QTest::newRow("$S first true") << R"(W $S(0:"a",1:"b",1:"c"))"
                                   << "b";
    QTest::newRow("$S conditions") << R"(S X=5 W $S(X<3:"low",X<10:"mid",1:"high"))"
                                   << "mid";
    QTest::newRow("$S stops at the choice") << R"(W $S(1:"a",U:U))"
                                            << "a";
    QTest::newRow("$S skips unchosen values") << "W $S(0:U,1:2)"
                                              << "2";
    QTest::newRow("$A and $C")
        << R"(W $A("A"),"|",$A("AB",2),"|",$A(""),"|",$A("A",2),"|",$C(72,105),"|",$C(-1,65))"
        << "65|66|-1|-1|Hi|A";
    QTest::newRow("$F")
        << R"(W $F("abcabc","c"),"|",$F("abcabc","c",4),"|",$F("abc","x"),"|",$F("abc",""),"|",$F("abc","c",9))"
        << "4|7|0|1|0";
    QTest::newRow("$TR")
        << R"(W $TR("a-b-c","-"),"|",$TR("abc","ab","AB"),"|",$TR("abc","abc","x"))"
        << "abc|ABc|x";
    QTest::newRow("$J width") << R"(W $J("ab",5),"|",$J("abcdef",2),"|",$J(7,-1))"
                              << "   ab|abcdef|7";
    QTest::newRow("$J decimals")
        << R"(W $J(2.675,0,2),"|",$J(.5,6,2),"|",$J(-.5,0,1),"|",$J(2.5,0,0),"|",$J(-.001,0,2),"|",$J(1234.5,0,3))"
        << "2.68|  0.50|-0.5|3|0.00|1234.500";
    QTest::newRow("$J and $JOB") << R"(W $J,"|",$JOB,"|",$j)"
                                 << "4711|4711|4711";
    QTest::newRow("nested") << R"(W $L($P("a;bc;d",";",2)))"
                            << "2";
    QTest::newRow("non-ASCII text") << R"(W $L("äöü"),$E("äöü",2),$TR("ä","ä","ß"))"
                                    << "3öß";
    QTest::newRow("longest string") << R"(W $L($J("",3641144)))"
                                    << "3641144";
    QTest::newRow("concatenation to the longest string") << R"(S X=$J("",3641143)_"a" W $L(X))"
                                                         << "3641144";
}

void TestMLang::commands_data() {
    addColumns();
    QTest::newRow("doubled quote") << R"(S X="a""b" W X,$P("1`2`3","`",2))"
                                   << R"(a"b2)";
    QTest::newRow("piece of a global") << R"(S P0=$P(^FA(0),"`",2) W P0)"
                                       << "2026";
    QTest::newRow("several assignments") << R"(S FIRMA=1,FIL=0,PERSONAL="DEM" W FIRMA,FIL,PERSONAL)"
                                         << "10DEM";
    QTest::newRow("assignments left to right") << R"(S X=1,X=X+1,Y=X*10 W X,"|",Y)"
                                               << "2|20";
    QTest::newRow("number stored canonical") << "S X=1.50 W X"
                                             << "1.5";
    QTest::newRow("several targets") << "S (A,B)=5 W A+B"
                                     << "10";
    QTest::newRow("subscripted locals") << R"(S X(1,"a")=5,X(1)=2 W X(1,"a")+X(1))"
                                        << "7";
    QTest::newRow("computed subscript") << R"(S I=1,X(I+1)="two" W X(2))"
                                        << "two";
    QTest::newRow("numeric subscripts canonical") << R"(S X(1.0)="n" W X(1),X("1"))"
                                                  << "nn";
    QTest::newRow("text subscript that looks numeric") << R"(S X("01")="s" W $D(X(1)),$D(X("01")))"
                                                       << "01";
    QTest::newRow("global with job number") << R"(S ^STAND($J)="HQ" W ^STAND(4711))"
                                            << "HQ";
    QTest::newRow("global with and without subscripts") << R"(S ^G=1,^G(1,"x")=2 W ^G+^G(1,"x"))"
                                                        << "3";
    QTest::newRow("global with text subscript") << R"(W ^FA("key"))"
                                                << "v";
    QTest::newRow("set piece") << R"(S X="a^b^c",$P(X,"^",2)="Z" W X)"
                               << "a^Z^c";
    QTest::newRow("set piece of undefined") << R"(S $P(Y,"^",3)="c" W Y)"
                                            << "^^c";
    QTest::newRow("set piece range") << R"(S X="a^b^c^d",$P(X,"^",2,3)="Z" W X)"
                                     << "a^Z^d";
    QTest::newRow("set piece adds delimiters") << R"(S X="a||b",$P(X,"||",4)="d" W X)"
                                               << "a||b||||d";
    QTest::newRow("set first piece") << R"(S X="a^b",$PIECE(X,"^")="Z" W X)"
                                     << "Z^b";
    QTest::newRow("set piece with empty delimiter") << R"(S X="abc",$P(X,"",1)="z" W X)"
                                                    << "abc";
    QTest::newRow("set piece among targets") << R"(S X="1,2",($P(X,",",2),Y)=9 W X,"|",Y)"
                                             << "1,9|9";
    QTest::newRow("set piece of a global") << R"(S $P(^FA(0),"`",3)="y" W ^FA(0))"
                                           << "1`2026`y";
    QTest::newRow("line feed and form feed") << R"(W "a",!,"b",!!,#)"
                                             << "a\nb\n\n\f";
    QTest::newRow("column") << R"(W "ab",?5,"c",!?2,"d")"
                            << "ab   c\n  d";
    QTest::newRow("column already passed") << R"(W "abcdef",?3,"x")"
                                           << "abcdefx";
    QTest::newRow("character codes") << "W *72,*105"
                                     << "Hi";
    QTest::newRow("several spaces between commands") << "S A=1   W A    W 2"
                                                     << "12";
    QTest::newRow("lower case") << "s x=1 w x"
                                << "1";
    QTest::newRow("full names") << "SET X=2 WRITE X"
                                << "2";
    QTest::newRow("mixed case") << "Set X=3 wRiTe X"
                                << "3";
    QTest::newRow("quit ends the line") << "W 1 Q  W 2"
                                        << "1";
    QTest::newRow("quit at the end") << "W 1 Q"
                                     << "1";
    QTest::newRow("quit before one space") << "W 1 QUIT "
                                           << "1";
    QTest::newRow("comment") << "W 1 ;W 2"
                             << "1";
    QTest::newRow("leading spaces") << "   W 1"
                                    << "1";
    QTest::newRow("empty line") << ""
                                << "";
    QTest::newRow("only spaces") << "   "
                                 << "";
    QTest::newRow("postcondition true") << R"(S X=1 W:X=1 "y")"
                                        << "y";
    QTest::newRow("postcondition false skips") << "W:0 U W 2"
                                               << "2";
    QTest::newRow("postcondition on set") << "S:0 X=U S:1 Y=3 W Y,$D(X)"
                                          << "30";
    QTest::newRow("postcondition on do") << "D:0 ^NOPE W 3"
                                         << "3";
    QTest::newRow("postcondition on quit") << "Q:0  W 1 Q:1  W 2"
                                           << "1";
    QTest::newRow("if true") << R"(I 1 W "a")"
                             << "a";
    QTest::newRow("if false ends the line") << R"(W "a" I 0 W U)"
                                            << "a";
    QTest::newRow("if needs every argument") << R"(I 1,0 W "x")"
                                             << "";
    QTest::newRow("if with comparisons") << R"(S X=2 I X>1,X<3 W "in")"
                                         << "in";
    QTest::newRow("do routine") << R"(W "<" D ^%XTT W ">")"
                                << "<[XTT]>";
    QTest::newRow("do with arguments") << R"(D GETARF^VTCLSU("a","b"_1,2+3))"
                                       << "GETARF(a|b1|5)";
    QTest::newRow("several do arguments") << "D ^%XTT,GETARF^VTCLSU()"
                                          << "[XTT]GETARF()";
    QTest::newRow("do with decimal and empty argument") << R"(D GETARF^VTCLSU(.50,""))"
                                                        << "GETARF(.5|)";
    QTest::newRow("routine effects visible afterwards") << R"(D SAVE^TEST("v") W ^SAVED)"
                                                        << "v";
    QTest::newRow("non-ASCII text") << R"(W "äöü")"
                                    << "äöü";
}

void TestMLang::errors_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("detail");
    // Errors found in the line itself name the whole line.
    const auto atLine = [](const char* name, const QString& line, const char* code) {
        QTest::newRow(name) << line << QString::fromLatin1(code) << line;
    };
    atLine("unterminated string", R"(W "x)", "<SYNTAX>");
    atLine("missing expression", "S X=", "<SYNTAX>");
    atLine("missing equals sign", "S X", "<SYNTAX>");
    atLine("missing variable", "S =1", "<SYNTAX>");
    atLine("trailing comma", "S X=1,", "<SYNTAX>");
    atLine("missing operand", "W 1+", "<SYNTAX>");
    atLine("unclosed parenthesis", "W (1", "<SYNTAX>");
    atLine("extra parenthesis", "W 1)", "<SYNTAX>");
    atLine("garbage after argument", "W 1 2", "<SYNTAX>");
    atLine("command without space before", "W 1W 2", "<SYNTAX>");
    atLine("unknown command", R"(X "W 1")", "<SYNTAX>");
    atLine("wrong abbreviation", "SE X=1", "<SYNTAX>");
    atLine("write without argument", "W", "<SYNTAX>");
    atLine("write before two spaces", "W  1", "<SYNTAX>");
    atLine("no space after command", R"(WRITE"x")", "<SYNTAX>");
    atLine("comment without space", "W 1;c", "<SYNTAX>");
    atLine("quit with argument", "Q 1", "<SYNTAX>");
    atLine("error after quit", R"(Q  W "x)", "<SYNTAX>");
    atLine("error after false if", "I 0 W (", "<SYNTAX>");
    atLine("error in skipped argument", "W:0 1+", "<SYNTAX>");
    atLine("extrinsic function", "W $$A^B", "<SYNTAX>");
    atLine("unknown special variable", "W $ZZ", "<SYNTAX>");
    atLine("dollar alone", "W $", "<SYNTAX>");
    atLine("too few function arguments", R"(W $P("a"))", "<SYNTAX>");
    atLine("too many function arguments", "W $E(1,2,3,4)", "<SYNTAX>");
    atLine("$G of a value", "W $G(1)", "<SYNTAX>");
    atLine("$D of a value", R"(W $D("a"))", "<SYNTAX>");
    atLine("$S without colon", "W $S(1)", "<SYNTAX>");
    atLine("negation without operator", "W 1'", "<SYNTAX>");
    atLine("negated arithmetic", "W 1'+2", "<SYNTAX>");
    atLine("set of $E", "S $E(X,1)=2", "<SYNTAX>");
    atLine("do without argument", "D", "<SYNTAX>");
    atLine("indirection", "D @X", "<SYNTAX>");
    atLine("naked reference", "W ^(1)", "<SYNTAX>");
    atLine("empty subscripts", "W X()", "<SYNTAX>");
    atLine("empty write argument", "W 1,,2", "<SYNTAX>");
    atLine("point without digits", "W .X", "<SYNTAX>");
    atLine("pattern match", "W 1?1N", "<SYNTAX>");
    atLine("tab between commands", "W 1\tW 2", "<SYNTAX>");
    atLine("postcondition without expression", "W: 1", "<SYNTAX>");
    atLine("unknown function", "W $ZZ(1)", "<FUNCTION>");
    atLine("unsupported function", "W $O(X)", "<FUNCTION>");
    atLine("negative decimals", "W $J(1,2,-1)", "<FUNCTION>");
    atLine("division by zero", "W 1/0", "<DIVIDE>");
    atLine("integer division by zero", R"(W 1\0)", "<DIVIDE>");
    atLine("modulo zero", "W 1#0", "<DIVIDE>");
    atLine("division by text", R"(W 5/(1-1)_"abc")", "<DIVIDE>");
    atLine("no true condition", R"(W $S(0:1,"":2))", "<SELECT>");
    atLine("number too large", "W 1E400", "<MAXNUMBER>");
    atLine("text number too large", R"(W "1E400"+0)", "<MAXNUMBER>");
    atLine("product too large", "W 1E300*1E300", "<MAXNUMBER>");
    atLine("justify beyond the longest string", R"(S X=$J("",3641145))", "<MAXSTRING>");
    atLine("concatenation beyond the longest string", R"(S X=$J("",3641144)_"a")", "<MAXSTRING>");
    atLine("doubling", R"(S X="0123456789")" + QStringLiteral(",X=X_X").repeated(19),
           "<MAXSTRING>");
    atLine("set piece far away", R"(S $P(X,"^",3641146)=1)", "<MAXSTRING>");
    atLine("set piece beyond the longest string", R"(S X=$J("",3641144),$P(X,"^",2)=1)",
           "<MAXSTRING>");

    const auto named = [](const char* name, const char* line, const char* code,
                          const char* detail) {
        QTest::newRow(name) << QString::fromUtf8(line) << QString::fromLatin1(code)
                            << QString::fromUtf8(detail);
    };
    named("undefined local", "W Y", "<UNDEFINED>", "Y");
    named("undefined operand", "W 1+Y", "<UNDEFINED>", "Y");
    named("undefined right side", "S X=Y", "<UNDEFINED>", "Y");
    named("undefined global node", "W ^FA(1)", "<UNDEFINED>", "^FA(1)");
    named("undefined global", "W ^NONE", "<UNDEFINED>", "^NONE");
    named("quoted subscript", R"(W ^FA("a""b",2))", "<UNDEFINED>", R"(^FA("a""b",2))");
    named("computed subscripts", R"(S I=1.50 W X(I,"x"))", "<UNDEFINED>", R"(X(1.5,"x"))");
    named("text that looks numeric", R"(W X("01"),X(-1))", "<UNDEFINED>", R"(X("01"))");
    named("negative fraction subscript", "W X(-.5)", "<UNDEFINED>", "X(-.5)");
    named("exponent text subscript", R"(W ^FA("1E3"))", "<UNDEFINED>", R"(^FA("1E3"))");
    named("undefined in function", R"(W $P(Z,"^"))", "<UNDEFINED>", "Z");
    named("undefined subscript of $D", "W $D(A(U))", "<UNDEFINED>", "U");
    named("undefined delimiter of set piece", "S $P(X,U)=1", "<UNDEFINED>", "U");
    named("undefined do argument", "D GETARF^VTCLSU(U)", "<UNDEFINED>", "U");
    named("unknown routine", "D ^NOPE", "<NOLINE>", "^NOPE");
    named("unknown label", R"(D GETARF^NOPE("a"))", "<NOLINE>", "GETARF^NOPE");
    named("label without routine", "D LOCAL", "<NOLINE>", "LOCAL");
    named("second do argument", "D ^%XTT,X^Y", "<NOLINE>", "X^Y");
    named("empty local subscript", R"(S X("")=1)", "<SUBSCRIPT>", R"(X(""))");
    named("empty global subscript", R"(W ^FA(""))", "<SUBSCRIPT>", R"(^FA(""))");
    named("empty subscript in $G", R"(W $G(X(1,"")))", "<SUBSCRIPT>", R"(X(1,""))");
}

void TestMLang::errors() {
    QFETCH(QString, line);
    QFETCH(QString, code);
    QFETCH(QString, detail);
    MemoryEnvironment env;
    preload(env);
    try {
        const QString output = ExecuteM(line, env);
        QFAIL(qPrintable("no error, output: " + output));
    } catch (const MError& e) {
        QCOMPARE(e.code(), code);
        QCOMPARE(e.detail(), detail);
        QCOMPARE(e.description(), code + u' ' + detail);
    }
}

void TestMLang::setStoresIntoEnvironment() {
    MemoryEnvironment env;
    QCOMPARE(
        ExecuteM(
            R"(S FIRMA=1,FIL=0,PERSONAL="DEM",X(1,"a")=2.50,^G="t",^G(1,"b")=3,^STAND($J)="HQ")",
            env),
        QString());
    using E = MemoryEnvironment;
    const QHash<QString, QString> locals{{E::key("FIRMA", {}), "1"},
                                         {E::key("FIL", {}), "0"},
                                         {E::key("PERSONAL", {}), "DEM"},
                                         {E::key("X", {"1", "a"}), "2.5"}};
    const QHash<QString, QString> globals{
        {E::key("G", {}), "t"}, {E::key("G", {"1", "b"}), "3"}, {E::key("STAND", {"4711"}), "HQ"}};
    QCOMPARE(env.locals, locals);
    QCOMPARE(env.globals, globals);
    QVERIFY(env.calls.isEmpty());
}

void TestMLang::doPassesEvaluatedArguments() {
    MemoryEnvironment env;
    QCOMPARE(ExecuteM(R"(S X="x" D ^%XTT,GETARF^VTCLSU("a","b""c",1+1,X,.50),SAVE^TEST)", env),
             QString(R"([XTT]GETARF(a|b"c|2|x|.5))"));
    const QList<MemoryEnvironment::Call> calls{
        {"", "%XTT", {}},
        {"GETARF", "VTCLSU", {"a", R"(b"c)", "2", "x", ".5"}},
        {"SAVE", "TEST", {}}};
    QCOMPARE(env.calls, calls);

    // An unknown routine is looked for with its arguments, then reported.
    env.calls.clear();
    try {
        ExecuteM(R"(D NO^PE(1,"z"))", env);
        QFAIL("no error");
    } catch (const MError& e) {
        QCOMPARE(e.description(), QString("<NOLINE> NO^PE"));
    }
    const QList<MemoryEnvironment::Call> asked{{"NO", "PE", {"1", "z"}}};
    QCOMPARE(env.calls, asked);
}

// Commands run one after the other: an error while running leaves what
// came before it done.
void TestMLang::runtimeErrorKeepsEarlierCommands() {
    MemoryEnvironment env;
    try {
        ExecuteM("S ^A=1 D ^%XTT W Y S ^B=2", env);
        QFAIL("no error");
    } catch (const MError& e) {
        QCOMPARE(e.description(), QString("<UNDEFINED> Y"));
    }
    const QHash<QString, QString> globals{{MemoryEnvironment::key("A", {}), "1"}};
    QCOMPARE(env.globals, globals);
    QCOMPARE(env.calls.size(), 1);
}

// The whole line is checked before any of it runs.
void TestMLang::syntaxErrorRunsNothing() {
    MemoryEnvironment env;
    try {
        ExecuteM(R"(S ^A=1 D ^%XTT W "x)", env);
        QFAIL("no error");
    } catch (const MError& e) {
        QCOMPARE(e.description(), QString(R"(<SYNTAX> S ^A=1 D ^%XTT W "x)"));
    }
    QVERIFY(env.globals.isEmpty());
    QVERIFY(env.calls.isEmpty());
}

void TestMLang::whatIsUtf8OfDescription() {
    MemoryEnvironment env;
    try {
        ExecuteM(QString::fromUtf8("W ^FA(\"\u00fc\")"), env);
        QFAIL("no error");
    } catch (const MError& e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("<UNDEFINED> ^FA(\"\xc3\xbc\")"));
    }
}

// A command on a fiber pauses between slices and goes on where it stopped,
// with the same result; the time it was paused does not count towards its
// time limit. Cancelled while paused, it ends with nothing more done.
void TestMLang::commandGoesOnAcrossSlices() {
    SlicedEnvironment env;
    MLimits limits;
    limits.timeLimitMs = 300;
    const QString line("S N=0 F I=1:1:2000 S N=N+I,^SUM=N I I=2000 W N");
    QString out;
    Fiber fiber([&] { out = ExecuteM(line, env, limits); });
    QVERIFY(!fiber.run(0));
    QTest::qSleep(400);
    int runs = 1;
    while (!fiber.run(0) && runs < 100000)
        ++runs;
    QVERIFY(fiber.finished());
    QVERIFY2(runs > 10, qPrintable(QString::number(runs)));
    QCOMPARE(out, QString("2001000"));
    QCOMPARE(env.globals.value(MemoryEnvironment::key("SUM", {})), QString("2001000"));

    QString error;
    Fiber endless([&] {
        try {
            ExecuteM("F  S ^X=$G(^X)+1", env, limits);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
    });
    QVERIFY(!endless.run(0));
    const QString done = env.globals.value(MemoryEnvironment::key("X", {}));
    endless.cancel();
    QCOMPARE(error, QString("Befehl abgebrochen"));
    QCOMPARE(env.globals.value(MemoryEnvironment::key("X", {})), done);
}

QTEST_GUILESS_MAIN(TestMLang)
#include "test_mlang.moc"
