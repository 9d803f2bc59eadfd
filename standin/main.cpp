// veltar-standin: the stand-in ERP server.
#include "DemoData.h"
#include "ServerCertificate.h"
#include "StandinEngine.h"
#include "StandinServer.h"
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
    // The limits that keep one client from exhausting the server.
    const StandinLimits defaults;
    struct LimitOption {
        const char* name;
        const char* what;
        qint64 StandinLimits::*wide = nullptr;
        int StandinLimits::*narrow = nullptr;
        qint64 MLimits::*mWide = nullptr;
        int MLimits::*mNarrow = nullptr;
        qint64 min = 1;
    };
    const LimitOption limitOptions[] = {
        {"max-connections", "Connections served at once", nullptr, &StandinLimits::maxConnections},
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
        {"m-time-limit", "Milliseconds one M command may run (0: no limit)", nullptr, nullptr,
         nullptr, &MLimits::timeLimitMs, 0},
        {"m-max-output", "Characters one M command may write", nullptr, nullptr,
         &MLimits::maxOutput},
        {"login-delay",
         "Milliseconds a connection, its address and a user code wait after a failed login, "
         "doubled with each further one up to 8 s (0: no wait)",
         &StandinLimits::loginDelayMs, nullptr, nullptr, nullptr, 0},
        {"login-lock", "Milliseconds a user code stays locked after ten failed logins (0: never)",
         &StandinLimits::loginLockMs, nullptr, nullptr, nullptr, 0},
    };
    const auto valueOf = [](const StandinLimits& l, const LimitOption& o) -> qint64 {
        return o.wide     ? l.*o.wide
               : o.narrow ? l.*o.narrow
               : o.mWide  ? l.m.*o.mWide
                          : l.m.*o.mNarrow;
    };
    for (const LimitOption& o : limitOptions)
        parser.addOption(
            {QString::fromLatin1(o.name),
             QStringLiteral("%1 (%2).").arg(QLatin1String(o.what)).arg(valueOf(defaults, o)),
             QStringLiteral("N")});
    parser.addOption({QStringLiteral("demo-positions"),
                      QStringLiteral("Add a download of N positions of supplier 70001 for "
                                     "benchmarks (fills the demo company when missing)."),
                      QStringLiteral("N")});
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    if (!parser.isSet(QStringLiteral("db"))) {
        err << "veltar-standin: --db PATH is required\n";
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535) {
        err << "veltar-standin: invalid port " << parser.value(QStringLiteral("port")) << "\n";
        return 2;
    }
    int demoPositions = 0;
    if (parser.isSet(QStringLiteral("demo-positions"))) {
        demoPositions = parser.value(QStringLiteral("demo-positions")).toInt(&ok);
        if (!ok || demoPositions < 1) {
            err << "veltar-standin: invalid number of positions "
                << parser.value(QStringLiteral("demo-positions")) << "\n";
            return 2;
        }
    }
    const QHostAddress address(parser.value(QStringLiteral("listen")));
    if (address.isNull()) {
        err << "veltar-standin: invalid address " << parser.value(QStringLiteral("listen")) << "\n";
        return 2;
    }
    const bool tls = !parser.isSet(QStringLiteral("no-tls"));
    const bool givenCertificate =
        parser.isSet(QStringLiteral("tls-cert")) || parser.isSet(QStringLiteral("tls-key"));
    if (tls && givenCertificate &&
        !(parser.isSet(QStringLiteral("tls-cert")) && parser.isSet(QStringLiteral("tls-key")))) {
        err << "veltar-standin: --tls-cert and --tls-key go together\n";
        return 2;
    }

    StandinLimits limits;
    for (const LimitOption& o : limitOptions) {
        const QString name = QString::fromLatin1(o.name);
        if (!parser.isSet(name))
            continue;
        const qint64 v = parser.value(name).toLongLong(&ok);
        const qint64 max = o.wide || o.mWide ? std::numeric_limits<qint64>::max() / 2
                                             : std::numeric_limits<int>::max();
        if (!ok || v < o.min || v > max) {
            err << "veltar-standin: invalid --" << name << " " << parser.value(name) << "\n";
            return 2;
        }
        if (o.wide)
            limits.*o.wide = v;
        else if (o.narrow)
            limits.*o.narrow = int(v);
        else if (o.mWide)
            limits.m.*o.mWide = v;
        else
            limits.m.*o.mNarrow = int(v);
    }

    // A damaged database is not served: what it holds would be read until
    // the first damaged page, and written on.
    const QString db = parser.value(QStringLiteral("db"));
    if (!parser.isSet(QStringLiteral("no-check"))) {
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
    }

    std::unique_ptr<StandinEngine> engine;
    try {
        engine = std::make_unique<StandinEngine>(db);
        engine->setLimits(limits);
        engine->setNameSpace(parser.value(QStringLiteral("namespace")));
        if (parser.isSet(QStringLiteral("demo")))
            FillDemoData(*engine);
        if (demoPositions > 0) {
            const QString key = FillDemoPositions(*engine, demoPositions);
            err << "veltar-standin: download " << key << " with " << demoPositions
                << " positions\n";
            err.flush();
        }
    } catch (const std::exception& e) {
        err << "veltar-standin: " << e.what() << "\n";
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        err << "veltar-standin: cannot set up signal handling\n";
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
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

    StandinServer server(*engine);
    if (tls) {
        // The certificate given, or the one kept next to the database (made
        // on first start for this host's names and the address listened on).
        const QString certificateFile = givenCertificate ? parser.value(QStringLiteral("tls-cert"))
                                                         : db + QStringLiteral(".crt");
        const QString keyFile = givenCertificate ? parser.value(QStringLiteral("tls-key"))
                                                 : db + QStringLiteral(".key");
        QStringList hosts{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                          QStringLiteral("::1"), QHostInfo::localHostName()};
        if (address != QHostAddress::Any && address != QHostAddress::AnyIPv4 &&
            address != QHostAddress::AnyIPv6)
            hosts << address.toString();
        try {
            const ServerCertificate certificate =
                LoadServerCertificate(certificateFile, keyFile, !givenCertificate, hosts);
            server.setTls(ServerTlsConfiguration(certificate));
            err << "veltar-standin: TLS with " << certificateFile
                << (certificate.made ? " (made now)" : "") << ", SHA-256 "
                << Wire::Fingerprint(certificate.certificate.toDer()) << "\n";
            err.flush();
        } catch (const std::exception& e) {
            err << "veltar-standin: " << e.what() << "\n";
            return 1;
        }
    }
    if (!server.listen(address, quint16(port))) {
        err << "veltar-standin: cannot listen on " << address.toString() << ":" << port << ": "
            << server.errorString() << "\n";
        return 1;
    }
    if (parser.isSet(QStringLiteral("demo"))) {
        try {
            // A wildcard address is no address to connect to.
            const QString reachable =
                address == QHostAddress::Any || address == QHostAddress::AnyIPv4
                    ? QStringLiteral("127.0.0.1")
                    : address.toString();
            PointDemoServerEntry(*engine, reachable, server.port());
        } catch (const std::exception& e) {
            err << "veltar-standin: " << e.what() << "\n";
            return 1;
        }
    }
    out << "listening on " << address.toString() << ":" << server.port() << "\n";
    out.flush();
    const int rc = app.exec();
    err << "veltar-standin: stopped\n";
    return rc;
}
