// quendra-cli: the program's logic without a display, for scripts.
#include "server/ServerConnection.h"
#include "server/TextHelpers.h"
#include "server/UserInterface.h"
#include "session/SessionContext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QThread>
#include <cstdio>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& err() {
    static QTextStream s(stderr);
    return s;
}

// The fields of the program's command line: FIRMA FIL USER PASSWORD SERVER
// PORT NAMESPACE; empty fields keep the defaults.
void takeConnectFields(const QString& text) {
    const QStringList f = text.split(u' ', Qt::SkipEmptyParts);
    SessionContext& s = Session();
    auto take = [&](int i, QString& field) {
        if (i < f.size() && !f[i].isEmpty())
            field = f[i];
    };
    take(0, s.firma);
    take(1, s.fil);
    take(2, s.personal);
    take(3, s.password);
    take(4, s.server);
    take(5, s.port);
    take(6, s.nameSpace);
    RebuildConnectString();
}

int runXecute(const QStringList& args) {
    if (args.size() != 1) {
        err() << "usage: quendra-cli [--connect \"FIRMA FIL USER PASSWORD SERVER PORT "
                 "NAMESPACE\"] xecute 'M COMMAND'\n";
        return 2;
    }
    bool failed = false;
    const QString output = dbcall(args[0], failed);
    if (failed)
        return 1;
    out() << output;
    out().flush();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quendra-cli"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("VELTAR Quendra price data without a display"));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("connect"),
         QStringLiteral("Login data: \"FIRMA FIL USER PASSWORD SERVER PORT NAMESPACE\"."),
         QStringLiteral("FIELDS")});
    parser.addOption({QStringLiteral("retry-pause"),
                      QStringLiteral("Pause between connection attempts in hundredths of a second "
                                     "(1000)."),
                      QStringLiteral("HUNDREDTHS")});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("xecute"));
    parser.process(app);

    ConsoleUserInterface console;
    SetUserInterface(&console);
    SetExitFunction([](int code) {
        out().flush();
        err().flush();
        std::fflush(nullptr);
        std::exit(code == 0 ? 0 : code);
    });
    if (parser.isSet(QStringLiteral("retry-pause"))) {
        const int pause = parser.value(QStringLiteral("retry-pause")).toInt();
        SetPauseFunction([pause](int) {
            QThread::msleep(ulong(qMax(0, pause)) * 10);
            return pause / 100;
        });
    }
    Session().server = QStringLiteral("127.0.0.1");
    if (parser.isSet(QStringLiteral("connect")))
        takeConnectFields(parser.value(QStringLiteral("connect")));
    else
        RebuildConnectString();

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        err() << "quendra-cli: no command given (xecute)\n";
        return 2;
    }
    const QString command = positional[0];
    const QStringList rest = positional.mid(1);
    int rc = 2;
    if (command == u"xecute")
        rc = runXecute(rest);
    else
        err() << "quendra-cli: unknown command " << command << "\n";
    CloseConnection();
    return rc;
}
