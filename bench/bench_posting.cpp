// Posting a big download over TCP through the same code as the posting
// window and quendra-cli post: every position with every option, then the
// same posting again (which finds everything in place), and in the same run
// as many PING round trips one at a time, the machine's own limit.
//
//   bench_posting [--positions N] [--depth D]
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "conditions/Posting.h"
#include "server/Connection.h"
#include "session/Login.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchWorkstation workstation;
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Positions of the download (10000)."),
                 QStringLiteral("N"), QStringLiteral("10000")});
    p.addOption({QStringLiteral("depth"), QStringLiteral("Calls in flight (256)."),
                 QStringLiteral("D"), QStringLiteral("256")});
    p.process(app);
    QTextStream out(stdout);
    const int count = p.value(QStringLiteral("positions")).toInt();
    QTemporaryDir tmp;
    QProcess server;
    QString key;
    const QString port =
        StartBenchDownload(server, tmp.filePath(QStringLiteral("posting.db")), count, &key);
    if (port.isEmpty()) {
        QTextStream(stderr) << "bench_posting: veltar-standin did not start\n";
        return 1;
    }
    const PositionDownload download{key, QStringLiteral("70001"), QString()};

    ConsoleUserInterface ui;
    SetUserInterface(&ui);
    if (!LogInDemoUser(workstation.connection(), port))
        return 1;
    PositionGridModel model;
    if (!PositionLoad::loadGrid(workstation.connection(), download, model))
        return 1;

    PostingOptions all;
    all.on.fill(true);
    const PostingContext context = PostingContext::of(download);
    auto post = [&](const QString& what) {
        PostingRun run(workstation.connection());
        run.depth = p.value(QStringLiteral("depth")).toInt();
        QHash<QString, int> answers;
        run.answered = [&](int, const QString& a) { ++answers[a.section(u' ', 0, 0)]; };
        QElapsedTimer t;
        t.start();
        const bool ok = run.run(model, context, all);
        const double s = t.elapsed() / 1000.0;
        QStringList kinds;
        for (auto i = answers.cbegin(); i != answers.cend(); ++i)
            kinds << QStringLiteral("%1 × \"%2\"").arg(i.value()).arg(i.key());
        out << QStringLiteral("%1 (%2): %3 positions in %4 s, %5 positions/s; answers: %6\n")
                   .arg(what, ok ? QStringLiteral("ok") : QStringLiteral("FAILED"))
                   .arg(run.calls())
                   .arg(s, 0, 'f', 2)
                   .arg(qint64(run.calls() / (s > 0 ? s : 1)))
                   .arg(kinds.join(QStringLiteral(", ")));
        out.flush();
        return ok ? s : -1.0;
    };
    const double first = post(QStringLiteral("posting, every option"));
    const double again = post(QStringLiteral("the same posting again"));

    workstation.connection().ensure();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        workstation.connection().client().call(Wire::Op::Ping, {});
    const double ping = t.elapsed() / 1000.0;
    out << QStringLiteral("PING one at a time: %1 round trips in %2 s, %3 round trips/s\n")
               .arg(count)
               .arg(ping, 0, 'f', 2)
               .arg(qint64(count / (ping > 0 ? ping : 1)));
    out << QStringLiteral("posting / PING one at a time: %1 (again: %2)\n")
               .arg(first / (ping > 0 ? ping : 1), 0, 'f', 2)
               .arg(again / (ping > 0 ? ping : 1), 0, 'f', 2);
    workstation.connection().close();
    server.terminate();
    server.waitForFinished(10000);
    return first >= 0 && again >= 0 ? 0 : 1;
}
