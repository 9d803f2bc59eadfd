// quendra-cli overview: what a delivery changes at a glance, as the
// overview window counts it over the grid's rows, and its chart as a PNG.
#include "CliSupport.h"

#include "positions/OverviewChart.h"
#include "positions/PositionOverview.h"

void addOverviewOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("png"),
                      QStringLiteral("overview: also write the chart as a PNG (1200 x 700)."),
                      QStringLiteral("FILE")});
}

// The counts and the steps of "% Abw." over the rows of the filters, one
// line each: label, a tab, the count.
int runOverview(Connection& connection, const QStringList& args, const QCommandLineParser& parser) {
    if (args.size() != 1 || args[0].isEmpty() ||
        (parser.isSet(QStringLiteral("png")) && parser.value(QStringLiteral("png")).isEmpty()))
        return printUsage(u"overview");
    PositionFilter filter;
    if (!quickFiltersOf(parser, &filter))
        return 2;
    PositionDownload download;
    PositionGridModel model;
    if (!openGrid(connection, args[0], &download, model))
        return 1;
    PositionView view;
    view.setSourceModel(&model);
    view.setFilter(filter);
    const PositionOverview overview = PositionOverview::of(model, view.sourceRows());
    const QString png = parser.value(QStringLiteral("png"));
    QString error;
    if (!png.isEmpty() && !WriteOverviewPng(png, overview, QSize(1200, 700), &error)) {
        err() << error << "\n";
        return 1;
    }
    for (const QString& line : overview.lines())
        out() << line << '\n';
    out().flush();
    return 0;
}
