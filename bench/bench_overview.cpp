// The overview of a big download (counts, steps of "% Abw.", the largest
// rises and falls) over the rows a view shows, through the same code as the
// overview window and quendra-cli overview; in the same run a plain loop
// over the same rows that only finds each row's "% Abw." cell, the
// machine's own limit for one pass, and the grid's quick filters counted
// one by one through the view, the way without the overview.
//
//   bench_overview [--positions N] [--runs R]
#include "positions/PositionOverview.h"
#include "positions/PositionView.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The best of runs timings of f, in milliseconds.
template <typename F> double bestOf(int runs, F f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Rows (100000)."), QStringLiteral("N"),
                 QStringLiteral("100000")});
    p.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each, the best counts (7)."),
                 QStringLiteral("R"), QStringLiteral("7")});
    p.process(app);
    const int count = p.value(QStringLiteral("positions")).toInt();
    const int runs = qMax(1, p.value(QStringLiteral("runs")).toInt());
    QTextStream out(stdout);

    // Rows as the grid holds them, made without a server: a third with an
    // article and a deviation spread over every step.
    PositionGridModel grid;
    QVector<PositionRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        PositionRow r;
        r.texts = QByteArray(PositionGrid::kColumns - 1, '\n');
        r.setText(PositionGrid::BestNr, QStringLiteral("G00-%1").arg(i));
        r.setText(PositionGrid::Bezeichnung, QStringLiteral("Generierte Position %1").arg(i));
        if (i % 3 == 0) {
            r.setText(PositionGrid::ArtNr, QStringLiteral("6%1").arg(i, 8, 10, QChar(u'0')));
            r.setText(PositionGrid::Abweichung,
                      PositionGrid::FormatDeviation(QString::number((i % 6001 - 3000) / 100.0)));
        }
        r.setNumber(PositionGrid::PreisExcl, 1 + (i % 5000) / 100.0);
        r.setNumber(PositionGrid::VkExcl, 1.5 + (i % 5000) / 80.0);
        r.setNumber(PositionGrid::Spanne, (i % 7) - 1.5);
        r.vkFlag = i % 4 == 0;
        rows << r;
    }
    grid.appendRows(std::move(rows));
    PositionView view;
    view.setSourceModel(&grid);
    const QList<int> shown = view.sourceRows();

    PositionOverview overview;
    const double pass = bestOf(runs, [&] { overview = PositionOverview::of(grid, shown); });

    // The same rows walked plainly: each row's "% Abw." found, its length
    // added up.
    qint64 sink = 0;
    const double plain = bestOf(runs, [&] {
        for (int r : shown) {
            const QByteArray& t = grid.row(r).texts;
            const char* at = t.constData();
            const char* end = at + t.size();
            for (int f = 0; f < PositionGrid::Abweichung && at; ++f) {
                at = static_cast<const char*>(memchr(at, '\n', size_t(end - at)));
                at = at ? at + 1 : nullptr;
            }
            if (at) {
                const void* lf = memchr(at, '\n', size_t(end - at));
                sink += (lf ? static_cast<const char*>(lf) : end) - at;
            }
        }
    });

    // The counts through the view, one quick filter after the other.
    const double oneByOne = bestOf(qMin(runs, 3), [&] {
        for (int c = PositionOverview::MitArtNr; c < PositionOverview::kCounts; ++c) {
            PositionFilter f;
            f.set(*PositionOverview::filterOf(PositionOverview::Count(c)), true);
            view.setFilter(f);
            sink += view.rowCount();
        }
        for (int s = 0; s < kDeviationSteps; ++s) {
            PositionFilter f;
            f.step = s;
            view.setFilter(f);
            sink += view.rowCount();
        }
        view.setFilter({});
    });

    out << QStringLiteral("overview of %1 rows in one pass: %2 ms (best of %3)\n")
               .arg(count)
               .arg(pass, 0, 'f', 2)
               .arg(runs);
    out << QStringLiteral("plain loop finding each row's \"% Abw.\": %1 ms\n")
               .arg(plain, 0, 'f', 2);
    out << QStringLiteral("the counts through the view, filter by filter: %1 ms\n")
               .arg(oneByOne, 0, 'f', 2);
    out << QStringLiteral("overview / plain loop: %1\n")
               .arg(pass / (plain > 0 ? plain : 1), 0, 'f', 2);
    out << QStringLiteral("(%1 rising, %2 falling, %3 without comparison; %4)\n")
               .arg(overview.count(PositionOverview::Steigend))
               .arg(overview.count(PositionOverview::Fallend))
               .arg(overview.count(PositionOverview::OhneVergleich))
               .arg(sink % 2 ? QStringLiteral("odd") : QStringLiteral("even"));
    return 0;
}
