// veltar-standin: the stand-in ERP server.
#include "DatabaseFiles.h"
#include "DemoData.h"
#include "LoginLocks.h"
#include "ServerCertificate.h"
#include "StandinEngine.h"
#include "StandinServer.h"
#include "classes/StandinClasses.h"
#include "common/WireProtocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <limits>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

// The limits that keep one client from exhausting the server, one option
// each.
struct LimitOption {
    const char* name;
    const char* what;
    qint64 StandinLimits::*wide = nullptr;
    int StandinLimits::*narrow = nullptr;
    qint64 MLimits::*mWide = nullptr;
    int MLimits::*mNarrow = nullptr;
    qint64 min = 1;
};

const LimitOption kLimitOptions[] = {
    {"max-connections", "Connections served at once", nullptr, &StandinLimits::maxConnections},
    {"max-per-address", "Connections one address may hold at once", nullptr,
     &StandinLimits::maxPerAddress},
    {"hello-timeout", "Milliseconds a new connection has for its TLS handshake and first HELLO",
     nullptr, &StandinLimits::helloTimeoutMs},
    {"guest-timeout", "Milliseconds a connection without a valid login stays after its HELLO",
     nullptr, &StandinLimits::guestTimeoutMs},
    {"idle-timeout", "Milliseconds a logged-in connection may stay without a request", nullptr,
     &StandinLimits::idleTimeoutMs},
    {"serve-slice", "Milliseconds of one connection's work before the others are served", nullptr,
     &StandinLimits::serveSliceMs},
    {"max-frames-in-flight", "Bytes of incomplete frames of all connections together",
     &StandinLimits::maxFramesInFlight},
    {"max-pending-output", "Bytes of unread answers before a connection is not read",
     &StandinLimits::maxPendingOutput},
    {"frame-timeout", "Milliseconds a connection may hold an incomplete frame", nullptr,
     &StandinLimits::frameTimeoutMs},
    {"max-result-sets", "Open result sets per job", nullptr, &StandinLimits::maxResultSets},
    {"wal-checkpoint-pages", "WAL pages that make the server checkpoint", nullptr,
     &StandinLimits::walCheckpointPages},
    {"m-max-nesting", "Nesting levels of one M line", nullptr, nullptr, nullptr,
     &MLimits::maxNesting},
    {"m-max-steps", "Work units of one M command", nullptr, nullptr, &MLimits::maxSteps},
    {"m-time-limit", "Milliseconds one M command may run (0: no limit)", nullptr, nullptr, nullptr,
     &MLimits::timeLimitMs, 0},
    {"m-max-output", "Characters one M command may write", nullptr, nullptr, &MLimits::maxOutput},
    {"m-max-locals", "Characters a job's M locals may hold", nullptr, nullptr, &MLimits::maxLocals},
    {"m-slice", "Milliseconds an M command runs before the others are served", nullptr, nullptr,
     nullptr, &MLimits::sliceMs},
    {"login-delay",
     "Milliseconds a connection, its address and a user code wait after a failed login, "
     "doubled with each further one up to 8 s (0: no wait)",
     &StandinLimits::loginDelayMs, nullptr, nullptr, nullptr, 0},
    {"login-lock", "Milliseconds a user code stays locked after ten failed logins (0: never)",
     &StandinLimits::loginLockMs, nullptr, nullptr, nullptr, 0},
};

qint64 limitValue(const StandinLimits& l, const LimitOption& o) {
    return o.wide ? l.*o.wide : o.narrow ? l.*o.narrow : o.mWide ? l.m.*o.mWide : l.m.*o.mNarrow;
}

void setLimitValue(StandinLimits& l, const LimitOption& o, qint64 v) {
    if (o.wide)
        l.*o.wide = v;
    else if (o.narrow)
        l.*o.narrow = int(v);
    else if (o.mWide)
        l.m.*o.mWide = v;
    else
        l.m.*o.mNarrow = int(v);
}

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral("Stand-in VELTAR ERP server"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("db"),
                      QStringLiteral("SQLite database file (created when missing)."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("listen"), QStringLiteral("Address to listen on (127.0.0.1)."),
                      QStringLiteral("ADDR"), QStringLiteral("127.0.0.1")});
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port (1973; 0 takes a free port)."),
                      QStringLiteral("N"), QStringLiteral("1973")});
    parser.addOption({QStringLiteral("namespace"), QStringLiteral("Namespace served (VELTAR)."),
                      QStringLiteral("NS"), QStringLiteral("VELTAR")});
    parser.addOption(
        {QStringLiteral("demo"), QStringLiteral("Fill a new database with the demo company.")});
    parser.addOption({QStringLiteral("demo-data"),
                      QStringLiteral("The demo company's data file for --demo and "
                                     "--demo-positions (share/veltar-standin/demo-company.json "
                                     "beside the program's directory)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("unlock"),
                      QStringLiteral("Lift the locks of a user code after failed logins (of "
                                     "every company and address; * for the look-up by password "
                                     "alone), then end; also while a server runs."),
                      QStringLiteral("CODE")});
    parser.addOption({QStringLiteral("no-check"),
                      QStringLiteral("Skip the check of the database at start (PRAGMA "
                                     "quick_check), for very large files.")});
    parser.addOption({QStringLiteral("no-tls"),
                      QStringLiteral("Serve plain TCP instead of TLS (tests, old clients).")});
    parser.addOption({QStringLiteral("tls-cert"),
                      QStringLiteral("PEM certificate for TLS (default: PATH.crt next to the "
                                     "database, made self-signed on first start)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("tls-key"),
                      QStringLiteral("PEM private key of the certificate (default: PATH.key)."),
                      QStringLiteral("FILE")});
    const StandinLimits defaults;
    for (const LimitOption& o : kLimitOptions)
        parser.addOption(
            {QString::fromLatin1(o.name),
             QStringLiteral("%1 (%2).").arg(QLatin1String(o.what)).arg(limitValue(defaults, o)),
             QStringLiteral("N")});
    parser.addOption({QStringLiteral("demo-positions"),
                      QStringLiteral("Add a download of N positions of supplier 70001 for "
                                     "benchmarks (fills the demo company when missing)."),
                      QStringLiteral("N")});
}

// The limits given on the command line over their defaults; false (with
// the message written) when one is invalid.
bool readLimits(const QCommandLineParser& parser, QTextStream& err, StandinLimits& limits) {
    for (const LimitOption& o : kLimitOptions) {
        const QString name = QString::fromLatin1(o.name);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        const qint64 v = parser.value(name).toLongLong(&ok);
        const qint64 max = o.wide || o.mWide ? std::numeric_limits<qint64>::max() / 2
                                             : std::numeric_limits<int>::max();
        if (!ok || v < o.min || v > max) {
            err << "veltar-standin: invalid --" << name << " " << parser.value(name) << "\n";
            return false;
        }
        setLimitValue(limits, o, v);
    }
    return true;
}

// What the command line asks for, once it is found valid.
struct Options {
    QString db;
    QHostAddress address;
    uint port = 0;
    int demoPositions = 0;
    bool tls = true;
    bool givenCertificate = false;
    StandinLimits limits;
};

// The options; false (with the message written) when one is invalid.
bool readOptions(const QCommandLineParser& parser, QTextStream& err, Options& o) {
    if (!parser.isSet(QStringLiteral("db"))) {
        err << "veltar-standin: --db PATH is required\n";
        return false;
    }
    o.db = parser.value(QStringLiteral("db"));
    bool ok = false;
    o.port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || o.port > 65535) {
        err << "veltar-standin: invalid port " << parser.value(QStringLiteral("port")) << "\n";
        return false;
    }
    if (parser.isSet(QStringLiteral("demo-positions"))) {
        o.demoPositions = parser.value(QStringLiteral("demo-positions")).toInt(&ok);
        if (!ok || o.demoPositions < 1) {
            err << "veltar-standin: invalid number of positions "
                << parser.value(QStringLiteral("demo-positions")) << "\n";
            return false;
        }
    }
    o.address = QHostAddress(parser.value(QStringLiteral("listen")));
    if (o.address.isNull()) {
        err << "veltar-standin: invalid address " << parser.value(QStringLiteral("listen")) << "\n";
        return false;
    }
    o.tls = !parser.isSet(QStringLiteral("no-tls"));
    o.givenCertificate =
        parser.isSet(QStringLiteral("tls-cert")) || parser.isSet(QStringLiteral("tls-key"));
    if (o.tls && o.givenCertificate &&
        !(parser.isSet(QStringLiteral("tls-cert")) && parser.isSet(QStringLiteral("tls-key")))) {
        err << "veltar-standin: --tls-cert and --tls-key go together\n";
        return false;
    }
    return readLimits(parser, err, o.limits);
}

// A damaged database is not served: what it holds would be read until the
// first damaged page, and written on. 0 when the file may be served, else
// the exit code (the message written).
int checkDatabase(const QString& db, QTextStream& err) {
    QString openError;
    const QStringList findings = StandinStore::QuickCheck(db, &openError);
    if (!openError.isEmpty()) {
        err << "veltar-standin: database " << db << " cannot be opened: " << openError << "\n";
        return 1;
    }
    if (findings != QStringList{QStringLiteral("ok")}) {
        err << "veltar-standin: database " << db << " failed its check (PRAGMA quick_check):\n";
        for (const QString& finding : findings)
            err << "  " << finding << "\n";
        err << "veltar-standin: not started; restore the database from a backup, or start "
               "with --no-check to serve it as it is\n";
        return 3;
    }
    return 0;
}

// The engine on the database, with the demo data asked for. Throws.
std::unique_ptr<StandinEngine> openEngine(const QCommandLineParser& parser, const Options& o,
                                          QTextStream& err) {
    auto engine = std::make_unique<StandinEngine>(o.db);
    RegisterErpClasses(*engine);
    engine->setLimits(o.limits);
    engine->setNameSpace(parser.value(QStringLiteral("namespace")));
    const QString demoData = parser.isSet(QStringLiteral("demo-data"))
                                 ? parser.value(QStringLiteral("demo-data"))
                                 : DefaultDemoDataFile();
    if (parser.isSet(QStringLiteral("demo")))
        FillDemoData(*engine, demoData);
    if (o.demoPositions > 0) {
        const QString key = FillDemoPositions(*engine, o.demoPositions, demoData);
        err << "veltar-standin: download " << key << " with " << o.demoPositions << " positions\n";
        err.flush();
    }
    return engine;
}

// --unlock: lifts the code's locks in the database, also while a server
// serves it (it reads them at each login).
int unlock(const QString& db, const QString& code, QTextStream& out, QTextStream& err) {
    try {
        StandinEngine engine(db);
        const int lifted = LoginLocks::Unlock(engine, code);
        out << "veltar-standin: " << lifted << " locks of " << code << " lifted\n";
        return 0;
    } catch (const std::exception& e) {
        err << "veltar-standin: " << e.what() << "\n";
        return 1;
    }
}

// SIGTERM and SIGINT end the event loop; SIGPIPE is ignored. False when
// they cannot be set up.
bool quitOnSignals(QCoreApplication& app, std::unique_ptr<QSocketNotifier>& notifier) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &app, [] {
        char c;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

// The certificate given, or the one kept next to the database (made on
// first start for this host's names and the address listened on). Throws.
void setUpTls(StandinServer& server, const QCommandLineParser& parser, const Options& o,
              QTextStream& err) {
    const QString certificateFile = o.givenCertificate ? parser.value(QStringLiteral("tls-cert"))
                                                       : o.db + QStringLiteral(".crt");
    const QString keyFile = o.givenCertificate ? parser.value(QStringLiteral("tls-key"))
                                               : o.db + QStringLiteral(".key");
    QStringList hosts{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                      QStringLiteral("::1"), QHostInfo::localHostName()};
    if (o.address != QHostAddress::Any && o.address != QHostAddress::AnyIPv4 &&
        o.address != QHostAddress::AnyIPv6)
        hosts << o.address.toString();
    const ServerCertificate certificate =
        LoadServerCertificate(certificateFile, keyFile, !o.givenCertificate, hosts);
    server.setTls(ServerTlsConfiguration(certificate));
    err << "veltar-standin: TLS with " << certificateFile << (certificate.made ? " (made now)" : "")
        << ", SHA-256 " << Wire::Fingerprint(certificate.certificate.toDer()) << "\n";
    err.flush();
}

} // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Every batch of requests allocates and frees the database's pages and
    // the positions' values; keep freed heap for the next batch instead of
    // handing it back to the system and faulting it in again each time.
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltar-standin"));
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    Options o;
    if (!readOptions(parser, err, o))
        return 2;
    // The database holds every company's data and the password hashes.
    if (!OwnerOnlyDatabaseFiles(o.db)) {
        err << "veltar-standin: database " << o.db << " cannot be made private to its owner\n";
        return 1;
    }
    if (!parser.isSet(QStringLiteral("no-check")))
        if (const int rc = checkDatabase(o.db, err); rc != 0)
            return rc;

    if (parser.isSet(QStringLiteral("unlock")))
        return unlock(o.db, parser.value(QStringLiteral("unlock")), out, err);

    std::unique_ptr<StandinEngine> engine;
    try {
        engine = openEngine(parser, o, err);
    } catch (const std::exception& e) {
        err << "veltar-standin: " << e.what() << "\n";
        return 1;
    }

    std::unique_ptr<QSocketNotifier> notifier;
    if (!quitOnSignals(app, notifier)) {
        err << "veltar-standin: cannot set up signal handling\n";
        return 1;
    }

    StandinServer server(*engine);
    try {
        if (o.tls)
            setUpTls(server, parser, o, err);
    } catch (const std::exception& e) {
        err << "veltar-standin: " << e.what() << "\n";
        return 1;
    }
    if (!server.listen(o.address, quint16(o.port))) {
        err << "veltar-standin: cannot listen on " << o.address.toString() << ":" << o.port << ": "
            << server.errorString() << "\n";
        return 1;
    }
    if (parser.isSet(QStringLiteral("demo"))) {
        try {
            // A wildcard address is no address to connect to.
            const QString reachable =
                o.address == QHostAddress::Any || o.address == QHostAddress::AnyIPv4
                    ? QStringLiteral("127.0.0.1")
                    : o.address.toString();
            PointDemoServerEntry(*engine, reachable, server.port());
        } catch (const std::exception& e) {
            err << "veltar-standin: " << e.what() << "\n";
            return 1;
        }
    }
    out << "listening on " << o.address.toString() << ":" << server.port() << "\n";
    out.flush();
    const int rc = app.exec();
    err << "veltar-standin: stopped\n";
    return rc;
}
