// What guessing passwords costs against veltar-standin: failed logins a
// second on one connection, on a new connection each time for the same
// user code, and with a new user code each time; next to the round trips a
// second that the same connection carries (PING), and the time a failed
// login takes for a user code that exists and for one that does not:
//
//   bench_login [--seconds S] [--old-standin PATH]
//   bench_login --flood N [--standin PATH] [--seconds S]
//   bench_login --long-commands N [--standin PATH] [--seconds S]
//
// --flood N: wrong passwords by the look-up by password alone from N
// addresses (127.0.x.y, a thread and a connection each) for S seconds,
// against a logged-in client's PING and quendra-cli positions 1, each
// measured quiet first (the machine's own figure) and during the flood.
// --long-commands N: N logged-in clients keep an endless M command running
// (each ended by its time limit) against another client's PING.
//
// Against a stand-in with its default waits after failed logins, then one
// run with --login-delay 0 --login-lock 0 (only the password check left).
// With --old-standin the same is measured first against that program
// (plain TCP, none of the newer options), for comparison.
#include "BenchSupport.h"
#include "common/WireProtocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// One connection speaking frames, request by request, from the address
// `from` when one is given.
class Connection {
public:
    Connection(quint16 port, bool tls, const QHostAddress& from = QHostAddress()) {
        if (!tls) {
            m_socket = std::make_unique<QTcpSocket>();
            if (!from.isNull())
                m_socket->bind(from);
            m_socket->connectToHost(QHostAddress::LocalHost, port);
            m_socket->waitForConnected(5000);
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            return;
        }
        auto s = std::make_unique<QSslSocket>();
        if (!from.isNull())
            s->bind(from);
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.setPeerVerifyMode(QSslSocket::VerifyNone);
        s->setSslConfiguration(c);
        s->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        s->waitForEncrypted(10000);
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket = std::move(s);
    }
    // The answer's values; empty when there is none within 120 s.
    QStringList call(Wire::Op op, const QStringList& args) {
        m_socket->write(Wire::encodeRequest({m_next++, op, args}));
        m_socket->flush();
        QByteArray payload;
        for (;;) {
            if (m_buffer.next(&payload) == Wire::FrameBuffer::Result::Frame) {
                const auto r = Wire::decodeReply(payload);
                return r ? r->values : QStringList();
            }
            if (!m_socket->waitForReadyRead(120000))
                return {};
            m_buffer.append(m_socket->readAll());
        }
    }
    QStringList hello(const QString& user, const QString& password) {
        return call(Wire::Op::Hello,
                    {Wire::kMagic, QStringLiteral("VELTAR"), QStringLiteral("bench"),
                     QStringLiteral("1"), user, password});
    }

private:
    std::unique_ptr<QTcpSocket> m_socket;
    Wire::FrameBuffer m_buffer;
    quint32 m_next = 1;
};

// Calls of f a second within the time (f returns false when it failed).
double rate(double seconds, const std::function<bool(int)>& f) {
    QElapsedTimer t;
    t.start();
    int n = 0;
    while (t.elapsed() < seconds * 1000) {
        if (!f(n))
            return -1;
        ++n;
    }
    return n / (t.elapsed() / 1000.0);
}

void print(const QString& what, double perSecond) {
    out() << what.leftJustified(62) << QString::number(perSecond, 'f', perSecond < 100 ? 2 : 0)
          << " a second\n";
    out().flush();
}

// Starts the stand-in on the demo company and a free port; the port, 0 when
// it did not start.
quint16 startStandin(QProcess& server, const QString& program, const QString& db,
                     const QStringList& options) {
    server.start(program, QStringList{QStringLiteral("--db"), db, QStringLiteral("--demo"),
                                      QStringLiteral("--port"), QStringLiteral("0")} +
                              options);
    QByteArray line;
    while (!line.contains('\n') && server.waitForReadyRead(30000))
        line += server.readAllStandardOutput();
    const quint16 port = quint16(line.mid(line.lastIndexOf(':') + 1).trimmed().toUInt());
    if (port == 0)
        out() << "veltar-standin did not start: " << program << '\n';
    return port;
}

// The mean and the worst of a PING's round trip in milliseconds, over
// `rounds` calls.
std::pair<double, double> pingMs(Connection& c, int rounds) {
    double sum = 0, worst = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        c.call(Wire::Op::Ping, {QStringLiteral("x")});
        const double ms = t.nsecsElapsed() / 1e6;
        sum += ms;
        worst = qMax(worst, ms);
    }
    return {sum / qMax(1, rounds), worst};
}

void measure(const QString& program, const QStringList& options, bool tls, double seconds,
             bool timing) {
    QTemporaryDir tmp;
    QProcess server;
    const quint16 port =
        startStandin(server, program, tmp.filePath(QStringLiteral("l.db")), options);
    if (port == 0)
        return;
    Connection pinger(port, tls);
    pinger.hello(QStringLiteral("DEM"), QStringLiteral("demo"));
    print(QStringLiteral("PING round trips on one connection"), rate(seconds, [&](int) {
              return !pinger.call(Wire::Op::Ping, {QStringLiteral("x")}).isEmpty();
          }));
    Connection one(port, tls);
    print(QStringLiteral("failed logins of one code, one connection"), rate(seconds, [&](int) {
              return one.hello(QStringLiteral("LAG"), QStringLiteral("falsch")).value(2) ==
                     u"guest";
          }));
    print(QStringLiteral("failed logins of one code, a connection each"), rate(seconds, [&](int) {
              Connection c(port, tls);
              return c.hello(QStringLiteral("ALT"), QStringLiteral("falsch")).value(2) == u"guest";
          }));
    print(QStringLiteral("failed logins, a new code and connection each"),
          rate(seconds, [&](int i) {
              Connection c(port, tls);
              return c.hello(QStringLiteral("U%1").arg(i), QStringLiteral("falsch")).value(2) ==
                     u"guest";
          }));
    if (timing) {
        // The time of one failed login, for a code there is and one there is
        // not, taken in turns on new connections.
        double known = 0, unknown = 0;
        const int n = 40;
        for (int i = 0; i < n; ++i) {
            for (bool exists : {true, false}) {
                Connection c(port, tls);
                QElapsedTimer t;
                t.start();
                c.hello(exists ? QStringLiteral("DEM") : QStringLiteral("X%1").arg(i),
                        QStringLiteral("falsch"));
                (exists ? known : unknown) += t.nsecsElapsed() / 1e6;
            }
        }
        out() << QStringLiteral(
                     "a failed login takes, mean of %1: %2 ms for an existing code, %3 ms "
                     "for an unknown one\n")
                     .arg(n)
                     .arg(known / n, 0, 'f', 2)
                     .arg(unknown / n, 0, 'f', 2);
        out().flush();
    }
    server.terminate();
    server.waitForFinished(10000);
}

// The time quendra-cli takes for "positions 1" as the demo user, in
// seconds; -1 when it failed.
double positionsTime(quint16 port, const QString& settings) {
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settings);
    cli.setProcessEnvironment(environment);
    QElapsedTimer t;
    t.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quendra-cli"),
              {QStringLiteral("--connect"),
               QStringLiteral("1 0 DEM demo 127.0.0.1 %1 VELTAR").arg(port),
               QStringLiteral("positions"), QStringLiteral("1")});
    if (!cli.waitForFinished(300000) || cli.exitCode() != 0)
        return -1;
    return t.elapsed() / 1000.0;
}

// Wrong passwords from many addresses (look-ups by password alone, the
// most costly kind) against a logged-in client's work: a PING's round
// trip and quendra-cli positions 1, each quiet and during the flood.
void flood(const QString& program, int addresses, double seconds) {
    QTemporaryDir tmp;
    QProcess server;
    const quint16 port = startStandin(server, program, tmp.filePath(QStringLiteral("f.db")), {});
    if (port == 0)
        return;
    Connection user(port, true);
    user.hello(QStringLiteral("DEM"), QStringLiteral("demo"));
    const QString settings = tmp.filePath(QStringLiteral("settings"));
    const double quietPing = pingMs(user, 20).first;
    positionsTime(port, settings); // trusts the certificate
    const double quietPositions = positionsTime(port, settings);
    std::atomic<bool> stop{false};
    std::atomic<int> attempts{0};
    std::vector<std::thread> guessers;
    for (int a = 0; a < addresses; ++a)
        guessers.emplace_back([&, a] {
            const QHostAddress from(
                QStringLiteral("127.0.%1.%2").arg(1 + a / 200).arg(2 + a % 200));
            // A new connection for each attempt, as a guesser avoids the
            // wait of a connection.
            for (int i = 0; !stop && i < 1000000; ++i) {
                Connection c(port, true, from);
                if (c.hello(QString(), QStringLiteral("falsch%1").arg(i)).isEmpty())
                    continue;
                ++attempts;
            }
        });
    QThread::msleep(2000);
    // Measured over and over while the flood lasts: the mean and the worst.
    double pingSum = 0, pingMax = 0, positionsSum = 0, positionsMax = 0;
    int rounds = 0;
    QElapsedTimer flooding;
    flooding.start();
    while (flooding.elapsed() < seconds * 1000 && rounds < 1000) {
        const double ping = pingMs(user, 20).first;
        const double positions = positionsTime(port, settings);
        pingSum += ping;
        pingMax = qMax(pingMax, ping);
        positionsSum += positions;
        positionsMax = qMax(positionsMax, positions);
        ++rounds;
    }
    const double floodPing = pingSum / qMax(1, rounds);
    const double floodPositions = positionsSum / qMax(1, rounds);
    stop = true;
    server.terminate();
    for (std::thread& t : guessers)
        t.join();
    server.waitForFinished(10000);
    out() << QStringLiteral("PING round trip: %1 ms quiet, during the flood %2 ms (%3 times), "
                            "at worst %4 ms, over %5 rounds\n")
                 .arg(quietPing, 0, 'f', 2)
                 .arg(floodPing, 0, 'f', 2)
                 .arg(floodPing / quietPing, 0, 'f', 1)
                 .arg(pingMax, 0, 'f', 2)
                 .arg(rounds);
    out() << QStringLiteral("quendra-cli positions 1 (with its login): %1 s quiet, during the "
                            "flood %2 s (%3 times), at worst %4 s\n")
                 .arg(quietPositions, 0, 'f', 2)
                 .arg(floodPositions, 0, 'f', 2)
                 .arg(floodPositions / quietPositions, 0, 'f', 1)
                 .arg(positionsMax, 0, 'f', 2);
    out() << QStringLiteral("wrong look-ups answered: %1 in %2 s from %3 addresses\n")
                 .arg(attempts.load())
                 .arg(seconds, 0, 'f', 0)
                 .arg(addresses);
    out().flush();
}

// Logged-in clients that keep an endless M command running (each ended by
// the time limit and sent again at once) against another logged-in
// client's PING, quiet first (the machine's own figure) and meanwhile.
void longCommands(const QString& program, int clients, double seconds) {
    QTemporaryDir tmp;
    QProcess server;
    const quint16 port = startStandin(server, program, tmp.filePath(QStringLiteral("m.db")), {});
    if (port == 0)
        return;
    Connection user(port, true);
    user.hello(QStringLiteral("DEM"), QStringLiteral("demo"));
    const auto [quiet, quietWorst] = pingMs(user, 200);
    std::atomic<bool> stop{false};
    std::atomic<int> commands{0};
    std::vector<std::thread> busy;
    for (int i = 0; i < clients; ++i)
        busy.emplace_back([&] {
            Connection c(port, true);
            c.hello(QStringLiteral("DEM"), QStringLiteral("demo"));
            const QString windows = c.call(Wire::Op::New, {QStringLiteral("VT.Windows")}).value(0);
            for (int n = 0; !stop && n < 100000; ++n) {
                c.call(Wire::Op::Method,
                       {windows, QStringLiteral("Xecute"), QStringLiteral("F  S X=1")});
                ++commands;
            }
        });
    QThread::msleep(500);
    double sum = 0, worst = 0;
    int rounds = 0;
    QElapsedTimer busyTime;
    busyTime.start();
    while (busyTime.elapsed() < seconds * 1000 && rounds < 100000) {
        const auto [mean, most] = pingMs(user, 20);
        sum += mean;
        worst = qMax(worst, most);
        ++rounds;
    }
    stop = true;
    for (std::thread& t : busy)
        t.join();
    server.terminate();
    server.waitForFinished(10000);
    const double during = sum / qMax(1, rounds);
    out() << QStringLiteral("PING round trip: %1 ms quiet (at worst %2 ms), with %3 endless M "
                            "commands running %4 ms (%5 times), at worst %6 ms; %7 commands "
                            "ended by their time limit\n")
                 .arg(quiet, 0, 'f', 2)
                 .arg(quietWorst, 0, 'f', 2)
                 .arg(clients)
                 .arg(during, 0, 'f', 2)
                 .arg(during / quiet, 0, 'f', 1)
                 .arg(worst, 0, 'f', 2)
                 .arg(commands.load());
    out().flush();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("seconds"), QStringLiteral("Seconds of each measurement (10)."),
                 QStringLiteral("S"), QStringLiteral("10")});
    p.addOption({QStringLiteral("old-standin"),
                 QStringLiteral("An earlier veltar-standin to measure first (plain TCP)."),
                 QStringLiteral("PATH")});
    p.addOption({QStringLiteral("flood"),
                 QStringLiteral("Only the flood of wrong passwords from N addresses against a "
                                "logged-in client (of --standin)."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("long-commands"),
                 QStringLiteral("Only N logged-in clients running endless M commands against "
                                "another one's PING (of --standin)."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("standin"),
                 QStringLiteral("The veltar-standin of --flood and --long-commands (the one "
                                "beside the benchmark)."),
                 QStringLiteral("PATH")});
    p.process(app);
    const double seconds = p.value(QStringLiteral("seconds")).toDouble();
    const QString standin =
        QCoreApplication::applicationDirPath() + QStringLiteral("/veltar-standin");
    const QString program =
        p.isSet(QStringLiteral("standin")) ? p.value(QStringLiteral("standin")) : standin;
    if (p.isSet(QStringLiteral("long-commands"))) {
        out() << "== " << program << ", TLS, " << p.value(QStringLiteral("long-commands"))
              << " clients running endless M commands\n";
        longCommands(program, p.value(QStringLiteral("long-commands")).toInt(), seconds);
        return 0;
    }
    if (p.isSet(QStringLiteral("flood"))) {
        out() << "== " << program << ", TLS, wrong passwords from "
              << p.value(QStringLiteral("flood")) << " addresses\n";
        flood(program, p.value(QStringLiteral("flood")).toInt(), seconds);
        return 0;
    }
    if (p.isSet(QStringLiteral("old-standin"))) {
        out() << "== " << p.value(QStringLiteral("old-standin")) << ", plain TCP\n";
        measure(p.value(QStringLiteral("old-standin")), {}, false, seconds, false);
    }
    out() << "== veltar-standin, TLS, waits after failed logins as by default\n";
    measure(standin, {}, true, seconds, false);
    out() << "== veltar-standin, TLS, --login-delay 0 --login-lock 0 (the password check alone)\n";
    measure(standin,
            {QStringLiteral("--login-delay"), QStringLiteral("0"), QStringLiteral("--login-lock"),
             QStringLiteral("0")},
            true, seconds, true);
    return 0;
}
