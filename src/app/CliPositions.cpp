// quendra-cli positions and export: a download's grid as the positions
// window shows it, with its filter and sort.
#include "CliSupport.h"
#include "positions/PositionExport.h"
#include "positions/PositionLoad.h"
#include "positions/PositionView.h"

#include <QCommandLineParser>

// A grid row as positions prints it: the 53 cells and the row key, or the
// row key and the 53 styles.
QString gridLine(const PositionGridModel& model, int r, bool styles) {
    QString line;
    if (styles) {
        line = model.row(r).rowKey() + u'\t';
        for (int c = 0; c < PositionGrid::kColumns; ++c)
            line += QChar(u'0' + model.cellStyle(r, c));
        return line;
    }
    for (int c = 0; c < PositionGrid::kColumns; ++c) {
        QString cell = model.cellText(r, c);
        cell.replace(u'\t', u' ');
        line += cell + u'\t';
    }
    return line + model.row(r).rowKey();
}

namespace {

// How positions shows the grid: its filter and sort, from the options.
struct GridShown {
    PositionFilter filter;
    int sortColumn = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
};

// The filter and the sort of positions; false (with the message) when an
// option is wrong.
bool gridShownOf(const QCommandLineParser& parser, GridShown* shown) {
    if (!quickFiltersOf(parser, &shown->filter))
        return false;
    shown->filter.text = parser.value(QStringLiteral("text"));
    if (parser.isSet(QStringLiteral("sort"))) {
        bool ok = false;
        shown->sortColumn = parser.value(QStringLiteral("sort")).toInt(&ok);
        if (!ok || shown->sortColumn < 0 || shown->sortColumn >= PositionGrid::kColumns) {
            err() << "quendra-cli: --sort takes a grid column from 0 to "
                  << PositionGrid::kColumns - 1 << "\n";
            return false;
        }
    } else if (parser.isSet(QStringLiteral("descending"))) {
        err() << "quendra-cli: --descending needs --sort\n";
        return false;
    }
    if (parser.isSet(QStringLiteral("descending")))
        shown->order = Qt::DescendingOrder;
    return true;
}

// The grid of a download and its rows as the window shows them with the
// filter and the sort; 0, or 1 with the message.
int loadShown(Connection& connection, const QString& key, const GridShown& shown,
              PositionGridModel& model, QList<int>* rows) {
    PositionDownload download;
    if (!openGrid(connection, key, &download, model))
        return 1;
    PositionView view;
    view.setSourceModel(&model);
    view.setFilter(shown.filter);
    view.setSort(shown.sortColumn, shown.order);
    *rows = view.sourceRows();
    return 0;
}

// The grid of a download and the rows the options show; 0, 2 for an
// option that is wrong, 1 when the grid cannot be loaded (with the message).
int shownRows(Connection& connection, const QString& key, const QCommandLineParser& parser,
              PositionGridModel& model, QList<int>* rows) {
    GridShown shown;
    if (!gridShownOf(parser, &shown))
        return 2;
    return loadShown(connection, key, shown, model, rows);
}

} // namespace

// The positions grid of a download, one line per row as the window shows it
// with the filter and the sort (without them in load order): the 53 cells
// as the grid shows them and the row key; with styles the row key and the
// 53 cell styles.
int runPositions(Connection& connection, const QStringList& args,
                 const QCommandLineParser& parser) {
    if (args.size() != 1 || args[0].isEmpty())
        return printUsage(u"positions");
    PositionGridModel model;
    QList<int> rows;
    if (const int failed = shownRows(connection, args[0], parser, model, &rows))
        return failed;
    const bool styles = parser.isSet(QStringLiteral("styles"));
    for (int r : std::as_const(rows))
        out() << gridLine(model, r, styles) << '\n';
    out().flush();
    return 0;
}

// The positions grid of a download to a spreadsheet, as the window shows it
// with the filter and the sort: one line per file written (the file, a tab,
// the rows).
int runExport(Connection& connection, const QStringList& args, const QCommandLineParser& parser) {
    const QString xlsx = parser.value(QStringLiteral("xlsx"));
    const QString csv = parser.value(QStringLiteral("csv"));
    if (args.size() != 1 || args[0].isEmpty() || (xlsx.isEmpty() && csv.isEmpty()))
        return printUsage(u"export");
    PositionGridModel model;
    QList<int> rows;
    if (const int failed = shownRows(connection, args[0], parser, model, &rows))
        return failed;
    for (const auto& [file, format] :
         {std::pair{xlsx, ExportFormat::Xlsx}, std::pair{csv, ExportFormat::Csv}}) {
        if (file.isEmpty())
            continue;
        const PositionExportResult result = ExportPositions(file, format, model, rows);
        if (!result.ok) {
            err() << result.error << "\n";
            return 1;
        }
        out() << file << '\t' << result.rows << '\n';
    }
    out().flush();
    return 0;
}

void addPositionOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("styles"),
                      QStringLiteral("positions: print the row key and the 53 cell styles.")});
    parser.addOption({QStringLiteral("filter"),
                      QStringLiteral("positions: only the rows of a quick filter (repeatable): "
                                     "ohne-artnr, mit-artnr, spanne-negativ, ek-hoeher, "
                                     "ek-niedriger, nicht-verbucht."),
                      QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("sort"),
                      QStringLiteral("positions: sort by this grid column (0-based)."),
                      QStringLiteral("COL")});
    parser.addOption(
        {QStringLiteral("descending"), QStringLiteral("positions: sort in descending order.")});
    parser.addOption({QStringLiteral("xlsx"),
                      QStringLiteral("export: the .xlsx workbook to write."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("csv"), QStringLiteral("export: the .csv file to write."),
                      QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("input"),
         QStringLiteral("set, set-marked: the answer to the next prompt (repeatable)."),
         QStringLiteral("TEXT")});
}
