// What guessing passwords costs against veltar-standin: failed logins a
// second on one connection, on a new connection each time for the same
// user code, and with a new user code each time; next to the round trips a
// second that the same connection carries (PING), and the time a failed
// login takes for a user code that exists and for one that does not:
//
//   bench_login [--seconds S] [--old-standin PATH]
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
#include <memory>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// One connection speaking frames, request by request.
class Connection {
public:
    Connection(quint16 port, bool tls) {
        if (!tls) {
            m_socket = std::make_unique<QTcpSocket>();
            m_socket->connectToHost(QHostAddress::LocalHost, port);
            m_socket->waitForConnected(5000);
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            return;
        }
        auto s = std::make_unique<QSslSocket>();
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

void measure(const QString& program, const QStringList& options, bool tls, double seconds,
             bool timing) {
    QTemporaryDir tmp;
    QProcess server;
    server.start(program, QStringList{QStringLiteral("--db"), tmp.filePath(QStringLiteral("l.db")),
                                      QStringLiteral("--demo"), QStringLiteral("--port"),
                                      QStringLiteral("0")} +
                              options);
    QByteArray line;
    while (!line.contains('\n') && server.waitForReadyRead(30000))
        line += server.readAllStandardOutput();
    const quint16 port = quint16(line.mid(line.lastIndexOf(':') + 1).trimmed().toUInt());
    if (port == 0) {
        out() << "veltar-standin did not start: " << program << '\n';
        return;
    }
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
    p.process(app);
    const double seconds = p.value(QStringLiteral("seconds")).toDouble();
    const QString standin =
        QCoreApplication::applicationDirPath() + QStringLiteral("/veltar-standin");
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
