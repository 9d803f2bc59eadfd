// quendra-cli: the program's logic without a display, for scripts.
#include "CliSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "conditions/DiscountGroups.h"
#include "import/Delivery.h"
#include "import/FileImport.h"
#include "import/ImportFormats.h"
#include "import/WebImport.h"
#include "positions/PositionEdit.h"
#include "positions/PositionExport.h"
#include "positions/PositionLoad.h"
#include "positions/PositionView.h"
#include "server/Connection.h"
#include "server/MCommands.h"
#include "server/TcpServerClient.h"
#include "session/Login.h"
#include "shell/Downloads.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Logs in as the program does with a qualifying command line; the fields
// are those of the program's command line.
bool login(Connection& connection, const QString& fields) {
    Session().commandLine = fields;
    if (!CommandLineQualifies(fields)) {
        err() << "quendra-cli: --connect needs \"FIRMA FIL USER PASSWORD SERVER PORT NAMESPACE\"\n";
        return false;
    }
    return user_anmeld(connection);
}

int runDownloads(Connection& connection, const QStringList& args) {
    if (!args.isEmpty())
        return printUsage(u"downloads");
    bool ok = false;
    const QList<DownloadRow> rows = LoadDownloadList(connection, &ok);
    if (!ok)
        return 1;
    for (const DownloadRow& r : rows)
        out() << r.rowText().replace(u'\n', u'\t') << '\n';
    out().flush();
    return 0;
}

int runDelete(Connection& connection, const QStringList& args) {
    if (args.size() != 1 || args[0].isEmpty())
        return printUsage(u"delete");
    return DeleteDownload(connection, args[0]) ? 0 : 1;
}

// The candidate list of a download: five fields per row.
int runCandidates(Connection& connection, const QStringList& args) {
    if (args.size() != 1 || args[0].isEmpty())
        return printUsage(u"candidates");
    PositionDownload download;
    if (!openDownload(connection, args[0], &download))
        return 1;
    CandidateListModel list;
    if (!PositionLoad::loadCandidates(connection, download, list))
        return 1;
    for (int r = 0; r < list.rowCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < CandidateListModel::ColumnCount; ++c)
            fields << list.cell(r, c).replace(u'\t', u' ');
        out() << fields.join(u'\t') << '\n';
    }
    out().flush();
    return 0;
}

// The grid of a download with its lists and an editor, as the window has
// them when the buyer edits; false (with the message) when it cannot be.
struct EditSession {
    explicit EditSession(Connection& c) : connection(c) {}
    Connection& connection;
    PositionDownload download;
    PositionGridModel model;
    PositionLists lists;
    std::unique_ptr<PositionEditor> editor;

    bool open(const QString& key) {
        if (!openDownload(connection, key, &download))
            return false;
        if (!PositionLoad::loadLists(connection, download.supplier, lists) ||
            !PositionLoad::loadGrid(connection, download, model))
            return false;
        editor = std::make_unique<PositionEditor>(connection, model, lists, download);
        return editor->loadDefaults();
    }
    int row(const QString& positionId) const {
        const int r = editor->rowOf(positionId);
        if (r < 0)
            err() << "quendra-cli: Position " << positionId << " nicht im Download " << download.key
                  << "\n";
        return r;
    }
};

int columnArgument(const QString& text) {
    bool ok = false;
    const int column = text.toInt(&ok);
    if (!ok || column < 0 || column >= PositionGrid::kColumns) {
        err() << "quendra-cli: COL must be 0 to " << PositionGrid::kColumns - 1 << "\n";
        return -1;
    }
    return column;
}

// As typing ARTNR into the position's "Art.-Nr." cell.
int runAssign(Connection& connection, const QStringList& args) {
    if (args.size() != 3 || args[0].isEmpty() || args[1].isEmpty())
        return printUsage(u"assign");
    EditSession s(connection);
    if (!s.open(args[0]))
        return 1;
    const int row = s.row(args[1]);
    if (row < 0)
        return 1;
    ListedPrompts none({});
    return s.editor->edit(row, PositionGrid::ArtNr, args[2], none) ? 0 : 1;
}

// As editing one grid cell; prints the row afterwards.
int runSet(Connection& connection, const QStringList& args, const QStringList& inputs) {
    if (args.size() != 4 || args[0].isEmpty() || args[1].isEmpty())
        return printUsage(u"set");
    const int column = columnArgument(args[2]);
    if (column < 0)
        return 2;
    EditSession s(connection);
    if (!s.open(args[0]))
        return 1;
    const int row = s.row(args[1]);
    if (row < 0)
        return 1;
    ListedPrompts prompts(inputs);
    const bool ok = s.editor->edit(row, column, args[3], prompts);
    out() << gridLine(s.model, row, false) << '\n';
    out().flush();
    return ok ? 0 : 1;
}

// "Mehrfachsetzen" over the given positions; prints their rows afterwards
// and lists the rows that were left as they were on standard error.
int runSetMarked(Connection& connection, const QStringList& args, const QStringList& inputs) {
    if (args.size() != 4 || args[0].isEmpty() || args[1].isEmpty())
        return printUsage(u"set-marked");
    const int column = columnArgument(args[2]);
    if (column < 0)
        return 2;
    EditSession s(connection);
    if (!s.open(args[0]))
        return 1;
    QList<int> rows;
    for (const QString& id : args[1].split(u',', Qt::SkipEmptyParts)) {
        const int row = s.row(id);
        if (row < 0)
            return 1;
        s.model.setMarked(row, true);
        rows << row;
    }
    ListedPrompts prompts(inputs);
    const auto failures = s.editor->setOnRows(s.model.markedRows(), column, args[3], prompts);
    for (int row : std::as_const(rows))
        out() << gridLine(s.model, row, false) << '\n';
    out().flush();
    for (const auto& f : failures)
        err() << "Position " << s.model.row(f.first).id << ": " << f.second << '\n';
    err().flush();
    return failures.isEmpty() ? 0 : 1;
}

// The command of a command line: its first argument that is neither an
// option nor the value of one.
// The options that take a value (the next argument).
const QStringList& optionsWithValue() {
    static const QStringList withValue{
        QStringLiteral("--connect"), QStringLiteral("--retry-pause"), QStringLiteral("--supplier"),
        QStringLiteral("--tracks"),  QStringLiteral("--input"),       QStringLiteral("--marked"),
        QStringLiteral("--options"), QStringLiteral("--set"),         QStringLiteral("--date"),
        QStringLiteral("--post"),    QStringLiteral("--text"),        QStringLiteral("--hgrp"),
        QStringLiteral("--ugrp"),    QStringLiteral("--department"),  QStringLiteral("--active"),
        QStringLiteral("--gel"),     QStringLiteral("--max"),         QStringLiteral("--group"),
        QStringLiteral("--plz"),     QStringLiteral("--pdf"),         QStringLiteral("--timeout"),
        QStringLiteral("--filter"),  QStringLiteral("--sort"),        QStringLiteral("--xlsx"),
        QStringLiteral("--csv"),     QStringLiteral("--columns"),     QStringLiteral("--first-row"),
        QStringLiteral("--sheet"),   QStringLiteral("--png")};
    return withValue;
}

QString commandOf(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--")
            return arguments.value(i + 1);
        if (a.startsWith(u'-')) {
            if (optionsWithValue().contains(a))
                ++i;
            continue;
        }
        return a;
    }
    return QString();
}

// A negative number given as an argument ("set 4 10 33 -5") is a value,
// not an option: it is hidden from the option parser behind a mark that
// UnmarkNegative() takes away again.
constexpr QChar kNegativeMark = u'\x1';

void MarkNegativeNumbers(QStringList& arguments) {
    static const QRegularExpression number(QStringLiteral("^-[0-9]+([.,][0-9]*)*$"));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString& a = arguments[i];
        if (a == u"--")
            return;
        if (optionsWithValue().contains(a)) {
            ++i;
            continue;
        }
        if (number.match(a).hasMatch())
            a.prepend(kNegativeMark);
    }
}

QString UnmarkNegative(const QString& argument) {
    return argument.startsWith(kNegativeMark) ? argument.mid(1) : argument;
}

int runXecute(Connection& connection, const QStringList& args) {
    if (args.size() != 1)
        return printUsage(u"xecute");
    const CommandOutput output = RunCommand(connection, args[0]);
    if (output.failed)
        return 1;
    out() << output.text;
    out().flush();
    return 0;
}

using Command = std::function<int(Connection& connection, const QStringList& rest,
                                  const QCommandLineParser& parser)>;

// How a usage message names the login: every command logs in with
// --connect; xecute's names the fields.
constexpr char kConnect[] = "--connect \"...\"";
constexpr char kConnectFields[] = "[--connect \"FIRMA FIL USER PASSWORD SERVER PORT NAMESPACE\"]";

// A command: its name, its arguments as the help's list of commands gives
// them and as its usage message does (nullptr: the same), what runs it and
// how its usage names the login.
struct CommandRow {
    const char* name;
    const char* synopsis;
    const char* usage;
    Command run;
    const char* connect = kConnect;
};

// The commands in the order the help lists them.
const std::vector<CommandRow>& commandTable() {
    using P = const QCommandLineParser&;
    using A = const QStringList&;
    using C = Connection&;
    static const std::vector<CommandRow> table{
        {"xecute", "'M COMMAND'", nullptr, [](C c, A rest, P) { return runXecute(c, rest); },
         kConnectFields},
        {"downloads", "", nullptr, [](C c, A rest, P) { return runDownloads(c, rest); }},
        {"delete", "KEY", nullptr, [](C c, A rest, P) { return runDelete(c, rest); }},
        {"import", "FILE",
         "FILE [FILE...] [--supplier N] [--tracks all|none|DATE,...] [--columns "
         "bestnr=A,bezeichnung=B,ean=C,preis=D,einheit=E,pe=F,rabattgruppe=G,datum=H,netto=I "
         "--first-row N] [--sheet NAME]",
         [](C c, A rest, P p) { return runImport(c, rest, p); }},
        {"web-import", "CODE", "CODE [--supplier N] [--tracks ...]",
         [](C c, A rest, P p) { return runWebImport(c, rest, p); }},
        {"positions", "KEY",
         "KEY [--styles] [--filter NAME]... [--text TEXT] [--sort COL [--descending]]",
         [](C c, A rest, P p) { return runPositions(c, rest, p); }},
        {"export", "KEY",
         "KEY [--xlsx FILE] [--csv FILE] [--filter NAME]... [--text TEXT] [--sort COL "
         "[--descending]]",
         [](C c, A rest, P p) { return runExport(c, rest, p); }},
        {"candidates", "KEY", nullptr, [](C c, A rest, P) { return runCandidates(c, rest); }},
        {"assign", "KEY POSID ARTNR", nullptr, [](C c, A rest, P) { return runAssign(c, rest); }},
        {"set", "KEY POSID COL VALUE", "KEY POSID COL VALUE [--input TEXT]...",
         [](C c, A rest, P p) { return runSet(c, rest, p.values(QStringLiteral("input"))); }},
        {"set-marked", "KEY POSID,... COL VALUE", "KEY POSID,POSID... COL VALUE [--input TEXT]...",
         [](C c, A rest, P p) { return runSetMarked(c, rest, p.values(QStringLiteral("input"))); }},
        {"post", "KEY", "KEY [--all | --marked POSID,...] [--options NAME,...] [--preview]",
         [](C c, A rest, P p) { return runPost(c, rest, p); }},
        {"ekgroups", "KEY", "KEY [--set ID:COL=VALUE]... [--date DD.MM.YYYY] [--save | --post J|N]",
         [](C c, A rest, P p) { return runEkGroups(c, rest, p); }},
        {"search-articles", "",
         "[--text T] [--hgrp G] [--ugrp G] [--supplier N] [--department D] [--active A] [--gel "
         "G] [--max N]",
         [](C c, A rest, P p) { return runSearchArticles(c, rest, p); }},
        {"search-suppliers", "TEXT", "TEXT [--group G]",
         [](C c, A rest, P p) { return runSearchSuppliers(c, rest, p); }},
        {"search-customers", "TEXT", "TEXT [--group G] [--plz P]",
         [](C c, A rest, P p) { return runSearchCustomers(c, rest, p); }},
        {"ean-match", "KEY FILE", "KEY FILE [--post]",
         [](C c, A rest, P p) {
             const bool post = p.isSet(QStringLiteral("post"));
             // "--post" takes no value here: another value is the usage.
             return post && p.value(QStringLiteral("post")) != u"J" ? runEanMatch(c, {}, false)
                                                                    : runEanMatch(c, rest, post);
         }},
        {"print", "KEY --pdf FILE",
         "KEY --pdf FILE [--marked POSID,...] [--group ekgrp|wargr|none] [--no-purchase-prices] "
         "[--overview]",
         [](C c, A rest, P p) { return runPrint(c, rest, p); }},
        {"overview", "KEY", "KEY [--filter NAME]... [--png FILE]",
         [](C c, A rest, P p) { return runOverview(c, rest, p); }},
    };
    return table;
}

const CommandRow* findCommand(QStringView name) {
    for (const CommandRow& row : commandTable())
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

// The commands as the help lists them: "xecute 'M COMMAND' | downloads | ...".
QString commandList() {
    QStringList entries;
    for (const CommandRow& row : commandTable())
        entries << (*row.synopsis ? QLatin1String(row.name) + u' ' + QLatin1String(row.synopsis)
                                  : QString::fromLatin1(row.name));
    return entries.join(QStringLiteral(" | "));
}

// Printing and the overview's chart lay text out with fonts, which needs the
// GUI's font database: the offscreen platform, no display and no widgets.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (commandOf(raw) != u"print" && commandOf(raw) != u"overview")
        return std::make_unique<QCoreApplication>(argc, argv);
    // Never a display, whatever the environment names.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A job without a session has no runtime folder: one of its own (this
    // user's, not open to others), so that standard error carries only the
    // tool's own messages.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-quendra-" +
                               QByteArray::number(uint(getuid()));
        ::mkdir(dir.constData(), 0700);
        struct stat st {};
        if (::lstat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
            (st.st_mode & 0777) == 0700)
            qputenv("XDG_RUNTIME_DIR", dir);
    }
    return std::make_unique<QGuiApplication>(argc, argv);
}

void addGeneralOptions(QCommandLineParser& parser) {
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
    parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Seconds to wait for the server's answer to a call (120); "
                                     "its greeting waits at most 10."),
                      QStringLiteral("SECONDS")});
    parser.addOption({QStringLiteral("no-tls"),
                      QStringLiteral("Plain TCP instead of TLS (a server run with --no-tls).")});
    parser.addOption({QStringLiteral("supplier"),
                      QStringLiteral("Supplier number for import (default: from the file)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("tracks"),
                      QStringLiteral("Price tracks to import: all, none or DATE,DATE,... (all)."),
                      QStringLiteral("TRACKS"), QStringLiteral("all")});
}

void addOptions(QCommandLineParser& parser) {
    addGeneralOptions(parser);
    addPositionOptions(parser);
    addConditionOptions(parser);
    addLookupOptions(parser);
    addImportOptions(parser);
    addPrintOptions(parser);
    addOverviewOptions(parser);
    parser.addPositionalArgument(QStringLiteral("command"), commandList());
}

// Messages on the console; an exit lets the connection go and flushes.
void installConsole(ConsoleUserInterface& console, Connection& connection) {
    SetUserInterface(&console);
    SetExitFunction([&connection](int code) {
        connection.release();
        out().flush();
        err().flush();
        std::fflush(nullptr);
        std::exit(code == 0 ? 0 : code);
    });
}

// --retry-pause, --no-tls and --timeout; false after a usage message.
bool applyConnectionOptions(const QCommandLineParser& parser) {
    if (parser.isSet(QStringLiteral("retry-pause"))) {
        const int pause = parser.value(QStringLiteral("retry-pause")).toInt();
        SetPauseFunction([pause](int) {
            QThread::msleep(ulong(qMax(0, pause)) * 10);
            return pause / 100;
        });
    }
    if (parser.isSet(QStringLiteral("no-tls")))
        TcpServerClient::setPlainTcp(true);
    if (parser.isSet(QStringLiteral("timeout"))) {
        bool ok = false;
        const double seconds = parser.value(QStringLiteral("timeout")).toDouble(&ok);
        if (!ok || !(seconds >= 0.001 && seconds <= 86400)) {
            err() << "quendra-cli: --timeout takes seconds from 0.001 to 86400\n";
            return false;
        }
        TcpServerClient::Timeouts t = TcpServerClient::defaultTimeouts();
        t.readMs = int(seconds * 1000);
        t.greetingMs = qMin(t.greetingMs, t.readMs);
        TcpServerClient::setDefaultTimeouts(t);
    }
    return true;
}

} // namespace

int printUsage(QStringView command) {
    const CommandRow* row = findCommand(command);
    Q_ASSERT(row);
    err() << "usage: quendra-cli " << row->connect << ' ' << row->name;
    if (const char* usage = row->usage ? row->usage : row->synopsis; *usage)
        err() << ' ' << usage;
    err() << '\n';
    return 2;
}

int main(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("quendra-cli"));
    QCommandLineParser parser;
    addOptions(parser);
    // "ean-match ... --post" takes no value, "ekgroups ... --post J|N" does.
    QStringList arguments = app.arguments();
    if (commandOf(arguments) == u"ean-match")
        for (QString& a : arguments)
            if (a == u"--post")
                a = QStringLiteral("--post=J");
    MarkNegativeNumbers(arguments);
    parser.process(arguments);

    ConsoleUserInterface console;
    // The program's one connection; it goes before the application object
    // does (and on an exit, through the exit hook).
    Connection connection;
    installConsole(console, connection);
    if (!applyConnectionOptions(parser))
        return 2;

    QStringList positional = parser.positionalArguments();
    for (QString& a : positional)
        a = UnmarkNegative(a);
    if (positional.isEmpty()) {
        err() << "quendra-cli: no command given (xecute)\n";
        return 2;
    }
    const QString command = positional[0];
    const CommandRow* found = findCommand(command);
    if (!found) {
        err() << "quendra-cli: unknown command " << command << "\n";
        return 2;
    }
    if (!login(connection, parser.value(QStringLiteral("connect"))))
        return 1;
    const int rc = found->run(connection, positional.mid(1), parser);
    connection.close();
    return rc;
}
