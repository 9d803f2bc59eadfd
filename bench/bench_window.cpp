// The positions window itself on a big download, on a real display (run it
// under xvfb-run): time to the first painted rows, time until the window is
// ready (toolbar enabled, candidate list filled), how often the grid was
// painted, client peak memory; in the same run the same download through
// quendra-cli positions (the machine's own figure for that load) and the
// load of the logic alone, with the ratios.
//
//   xvfb-run -s "-screen 0 1600x1000x24" bench_window [--positions N]
//            [--port P --key K] [--sort COL] [--filter NAME]
//
// The download comes from veltar-standin --demo-positions N on a temporary
// database, or with --port and --key from a stand-in already running (the
// download K of supplier 70001). --sort and --filter also time a header
// click and a quick filter on the loaded window.
#include "BenchSupport.h"
#include "base/SessionContext.h"
#include "base/WorkstationSettings.h"
#include "positions/PositionView.h"
#include "positions/gui/FMPos.h"
#include "server/Connection.h"
#include "session/Login.h"
#include "shell/gui/DesktopUserInterface.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>
#include <sys/resource.h>

namespace {

// Counts the paints of the grid and notes when the first one showed rows.
class PaintCounter : public QObject {
public:
    PaintCounter(FMPos* window, QElapsedTimer& clock) : m_window(window), m_clock(clock) {}
    int paints = 0;
    qint64 firstRows = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (firstRows < 0 && m_window->Grid()->size() > 0)
                firstRows = m_clock.elapsed();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    FMPos* m_window;
    QElapsedTimer& m_clock;
};

// The wall time of quendra-cli positions KEY (output thrown away) in
// seconds; -1 when it failed.
double cliSeconds(const QString& port, const QString& key) {
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quendra-cli"),
              {QStringLiteral("--connect"), DemoConnect(port), QStringLiteral("positions"), key});
    if (!cli.waitForFinished(600000) || cli.exitCode() != 0)
        return -1;
    return t.elapsed() / 1000.0;
}

double childrenPeakMiB() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quendrapr-Bench"));
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Positions of the download (100000)."),
                 QStringLiteral("N"), QStringLiteral("100000")});
    p.addOption({QStringLiteral("port"), QStringLiteral("Port of a running stand-in."),
                 QStringLiteral("P")});
    p.addOption({QStringLiteral("key"), QStringLiteral("Download key on that stand-in."),
                 QStringLiteral("K")});
    p.addOption({QStringLiteral("sort"), QStringLiteral("Also time a sort by this column (5)."),
                 QStringLiteral("COL"), QStringLiteral("5")});
    p.addOption({QStringLiteral("filter"),
                 QStringLiteral("Also time this quick filter (ohne-artnr)."),
                 QStringLiteral("NAME"), QStringLiteral("ohne-artnr")});
    p.addOption({QStringLiteral("screenshot"),
                 QStringLiteral("Saves the window after the load and after the sort and filter, "
                                "scrolled across, as PREFIX-geladen.png and PREFIX-gefiltert.png."),
                 QStringLiteral("PREFIX")});
    p.process(app);
    const QString shots = p.value(QStringLiteral("screenshot"));
    QTextStream out(stdout);
    const int count = p.value(QStringLiteral("positions")).toInt();
    QTemporaryDir tmp;
    QElapsedTimer t;
    t.start();
    QProcess server;
    QString port = p.value(QStringLiteral("port"));
    QString key = p.value(QStringLiteral("key"));
    if (!BenchDownload(server, tmp.filePath(QStringLiteral("window.db")), count, &port, &key, out,
                       "bench_window"))
        return 1;
    // Settings of the window (its placement) stay out of the buyer's.
    WorkstationSettings::useFolder(tmp.filePath(QStringLiteral("settings")));

    // The CLI path first: it also brings the download into the server's
    // cache, so that the window does not pay for a cold start.
    const double cli1 = cliSeconds(port, key);
    const double cliPeak = childrenPeakMiB();

    Connection connection;
    DesktopUserInterface ui(connection);
    if (!LogInDemoUser(connection, port))
        return 1;
    const double loggedIn = PeakMiB();

    // The window as the main window opens it: the program shows a window
    // before, so fonts and style are ready.
    {
        QWidget mainWindow;
        mainWindow.resize(400, 300);
        mainWindow.show();
        QApplication::processEvents();
        mainWindow.grab();
    }
    t.restart();
    FMPos window(connection,
                 PositionDownload{key, QStringLiteral("70001"), QStringLiteral("Bench")});
    window.setModal(false);
    PaintCounter counter(&window, t);
    window.PositionGridView()->viewport()->installEventFilter(&counter);
    // The frozen key columns are painted too.
    if (auto* frozen =
            window.PositionGridView()->findChild<QTableView*>(QStringLiteral("liposFixiert")))
        frozen->viewport()->installEventFilter(&counter);
    window.show();
    qint64 ready = -1;
    int rows = 0;
    while (t.elapsed() < 600000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!window.loading() && window.ToolButton(QStringLiteral("Aktualisieren"))->isEnabled() &&
            window.Candidates()->rowCount() > 0 && window.Grid()->size() > 0) {
            ready = t.elapsed();
            rows = window.Grid()->size();
            break;
        }
    }
    const double windowPeak = PeakMiB();
    // The load ends with a last paint; let it come.
    QApplication::processEvents();
    const double windowSeconds = ready / 1000.0;
    out << QStringLiteral("window: %1 rows, %2 candidates; first rows painted after %3 s, ready "
                          "after %4 s; %5 paints of the grid; client peak %6 MiB (%7 MiB after "
                          "login)\n")
               .arg(rows)
               .arg(window.Candidates()->rowCount())
               .arg(counter.firstRows / 1000.0, 0, 'f', 3)
               .arg(windowSeconds, 0, 'f', 2)
               .arg(counter.paints)
               .arg(windowPeak, 0, 'f', 1)
               .arg(loggedIn, 0, 'f', 1);
    out.flush();

    if (!shots.isEmpty())
        window.grab().save(shots + QStringLiteral("-geladen.png"));
    // What one paint of the grid costs (the whole visible grid).
    t.restart();
    for (int i = 0; i < 10; ++i) {
        window.PositionGridView()->viewport()->repaint();
        if (auto* frozen =
                window.PositionGridView()->findChild<QTableView*>(QStringLiteral("liposFixiert")))
            frozen->viewport()->repaint();
    }
    const double paintMs = t.elapsed() / 10.0;
    t.restart();
    for (int i = 0; i < 10; ++i)
        window.repaint();
    out << QStringLiteral("one paint of the grid: %1 ms; of the whole window: %2 ms\n")
               .arg(paintMs, 0, 'f', 1)
               .arg(t.elapsed() / 10.0, 0, 'f', 1);

    // A header click and a quick filter on the loaded window.
    const PositionView* view = window.View();
    const int sortColumn = p.value(QStringLiteral("sort")).toInt();
    t.restart();
    window.SortByColumn(sortColumn);
    QApplication::processEvents();
    const double sortSeconds = t.elapsed() / 1000.0;
    PositionFilter filter;
    const QString filterName = p.value(QStringLiteral("filter"));
    if (const auto quick = QuickFilterOf(filterName))
        filter.set(*quick, true);
    auto timeFilter = [&](const PositionFilter& f) {
        t.restart();
        window.SetFilter(f);
        QApplication::processEvents();
        return t.elapsed() / 1000.0;
    };
    const double filterSeconds = timeFilter(filter);
    const int shown = view->rowCount();
    out << QStringLiteral("sort by column %1: %2 s; filter %3: %4 s (%5 rows)\n")
               .arg(sortColumn)
               .arg(sortSeconds, 0, 'f', 3)
               .arg(filterName)
               .arg(filterSeconds, 0, 'f', 3)
               .arg(shown);
    // Texts over every column, without the quick filter: one with letters
    // (text cells only) and one that could be part of a number (every
    // number cell formatted).
    for (const QString& text : {QStringLiteral("Position 4711"), QStringLiteral("12,3")}) {
        PositionFilter f;
        f.text = text;
        const double seconds = timeFilter(f);
        out << QStringLiteral("text \"%1\" in any column: %2 s (%3 rows)\n")
                   .arg(text)
                   .arg(seconds, 0, 'f', 3)
                   .arg(view->rowCount());
    }
    window.SetFilter(filter);
    // A sort by a text column and by a date list, on every row.
    window.SetFilter(PositionFilter());
    for (int column : {int(PositionGrid::Bezeichnung), int(PositionGrid::EkDatAb)}) {
        t.restart();
        window.SortByColumn(column);
        QApplication::processEvents();
        out << QStringLiteral("sort by \"%1\": %2 s\n")
                   .arg(PositionGrid::Caption(column))
                   .arg(t.elapsed() / 1000.0, 0, 'f', 3);
    }
    out.flush();
    if (!shots.isEmpty()) {
        QScrollBar* across = window.PositionGridView()->horizontalScrollBar();
        across->setValue(across->maximum() / 2);
        QApplication::processEvents();
        window.grab().save(shots + QStringLiteral("-gefiltert.png"));
    }
    window.close();
    QApplication::processEvents();

    // The logic alone in this process, then the CLI path again.
    PositionGridModel model;
    t.restart();
    PositionLoad::loadGrid(connection, {key, QStringLiteral("70001"), QString()}, model);
    CandidateListModel candidates;
    PositionLoad::loadCandidates(connection, {key, QStringLiteral("70001"), QString()}, candidates);
    const double logic = t.elapsed() / 1000.0;
    connection.close();
    const double cli2 = cliSeconds(port, key);
    const double cli = cli1 < 0 ? cli2 : (cli2 < 0 ? cli1 : qMin(cli1, cli2));
    out << QStringLiteral("quendra-cli positions: %1 s and %2 s (peak %3 MiB); the logic alone "
                          "(grid and candidate list, no window): %4 s\n")
               .arg(cli1, 0, 'f', 2)
               .arg(cli2, 0, 'f', 2)
               .arg(cliPeak, 0, 'f', 1)
               .arg(logic, 0, 'f', 2);
    out << QStringLiteral("window / quendra-cli: %1; window / logic: %2\n")
               .arg(cli > 0 ? windowSeconds / cli : 0, 0, 'f', 2)
               .arg(logic > 0 ? windowSeconds / logic : 0, 0, 'f', 2);
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        server.waitForFinished(10000);
    }
    return ready >= 0 ? 0 : 1;
}
