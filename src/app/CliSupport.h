#pragma once

// What the commands of quendra-cli share: its output streams and the look-up
// of a download by key.
#include "positions/PositionLoad.h"
#include "positions/PositionView.h"

#include <QCommandLineParser>
#include <QTextStream>

class Connection;

QTextStream& out();
QTextStream& err();

// Prints the usage of a command (its row in the command table of
// quendra_cli_main.cpp) on standard error; returns 2, the exit code of a
// command line that does not fit.
int printUsage(QStringView command);

// The download of a key from the download list; an empty key when there is
// none. False when the list could not be read.
bool findDownload(Connection& connection, const QString& key, PositionDownload* download);
// The same, with "quendra-cli: Download KEY nicht gefunden" when there is
// none; false then.
bool openDownload(Connection& connection, const QString& key, PositionDownload* download);
// The download of a key and its grid loaded into model; false (reported)
// when either fails.
bool openGrid(Connection& connection, const QString& key, PositionDownload* download,
              PositionGridModel& model);

// Marks the grid rows of the positions (ids separated by commas); false
// with "quendra-cli: Position ID nicht im Download KEY" for one that is not
// there.
bool markPositions(PositionGridModel& model, const PositionDownload& download, const QString& ids);

// The quick filters of --filter (repeatable) set in filter; false with
// "quendra-cli: unknown filter NAME (...)" for a name it does not take.
bool quickFiltersOf(const QCommandLineParser& parser, PositionFilter* filter);

// The posting and discount group commands (CliConditions.cpp).
void addConditionOptions(QCommandLineParser& parser);
int runPost(Connection& connection, const QStringList& args, const QCommandLineParser& parser);
int runEkGroups(Connection& connection, const QStringList& args, const QCommandLineParser& parser);

// The searches and the EAN/price match (CliLookup.cpp).
void addLookupOptions(QCommandLineParser& parser);
int runSearchArticles(Connection& connection, const QStringList& args,
                      const QCommandLineParser& parser);
int runSearchSuppliers(Connection& connection, const QStringList& args,
                       const QCommandLineParser& parser);
int runSearchCustomers(Connection& connection, const QStringList& args,
                       const QCommandLineParser& parser);
int runEanMatch(Connection& connection, const QStringList& args, bool post);

// The price list as a PDF (CliPrint.cpp).
void addPrintOptions(QCommandLineParser& parser);
int runPrint(Connection& connection, const QStringList& args, const QCommandLineParser& parser);

// The imports of price files and web downloads (CliImport.cpp).
void addImportOptions(QCommandLineParser& parser);
int runImport(Connection& connection, const QStringList& args, const QCommandLineParser& parser);
int runWebImport(Connection& connection, const QStringList& args, const QCommandLineParser& parser);

// What a delivery changes: counts and steps of "% Abw." (CliOverview.cpp).
void addOverviewOptions(QCommandLineParser& parser);
int runOverview(Connection& connection, const QStringList& args, const QCommandLineParser& parser);

// A download's grid as the window shows it (CliPositions.cpp): a grid row
// as positions prints it (the 53 cells and the row key, or the row key and
// the 53 styles), the commands and their options.
QString gridLine(const PositionGridModel& model, int row, bool styles);
void addPositionOptions(QCommandLineParser& parser);
int runPositions(Connection& connection, const QStringList& args, const QCommandLineParser& parser);
int runExport(Connection& connection, const QStringList& args, const QCommandLineParser& parser);
