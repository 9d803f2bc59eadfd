// Times round trips to the ERP server through TcpServerClient against a
// veltar-standin on loopback, next to a raw TCP ping-pong of the same frame
// size, so that the client's and server's own share of a call is visible:
//
//   bench_roundtrip [--standin PATH] [--seconds S] [--pipeline N]
//
// Prints one line per figure; exit code 0, or 1 when the server cannot be
// started or a call fails.

#include "BenchSupport.h"
#include "server/TcpServerClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <cstdio>
#include <functional>
#include <future>
#include <vector>

namespace {

// Echoes every byte of one connection back until the peer goes away.
class EchoThread : public QThread {
public:
    std::future<quint16> port() { return m_port.get_future(); }

protected:
    void run() override {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            m_port.set_value(0);
            return;
        }
        m_port.set_value(server.serverPort());
        if (!server.waitForNewConnection(10000))
            return;
        QTcpSocket* socket = server.nextPendingConnection();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        while (socket->state() == QAbstractSocket::ConnectedState) {
            if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(10000))
                break;
            socket->write(socket->readAll());
            socket->waitForBytesWritten(10000);
        }
        delete socket;
    }

private:
    std::promise<quint16> m_port;
};

// Runs step() for at least `seconds`; returns (repetitions, elapsed seconds).
std::pair<qint64, double> timed(double seconds, const std::function<void()>& step) {
    QElapsedTimer timer;
    timer.start();
    qint64 n = 0;
    const qint64 limit = qint64(seconds * 1e9);
    do {
        step();
        ++n;
    } while (timer.nsecsElapsed() < limit);
    return {n, double(timer.nsecsElapsed()) / 1e9};
}

void printRate(const QString& label, qint64 n, double secs, const QString& unit, bool each) {
    QString line = (label + QLatin1Char(':')).leftJustified(40) +
                   QString::number(double(n) / secs, 'f', 0).rightJustified(8) + QLatin1Char(' ') +
                   unit;
    if (each)
        line = line.leftJustified(64) +
               QStringLiteral("(%1 us each)").arg(secs * 1e6 / double(n), 0, 'f', 1);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Raw ping-pong of `size`-byte frames over a fresh loopback connection.
std::pair<qint64, double> rawPingPong(qsizetype size, double seconds) {
    EchoThread echo;
    auto port = echo.port();
    echo.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port.get());
    if (!socket.waitForConnected(5000))
        throw ServerError(0, QStringLiteral("echo: ") + socket.errorString());
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray frame(size, 'x');
    const auto result = timed(seconds, [&] {
        socket.write(frame);
        socket.flush();
        qsizetype got = 0;
        while (got < size) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(5000))
                throw ServerError(0, QStringLiteral("echo: no answer"));
            got += socket.readAll().size();
        }
    });
    socket.disconnectFromHost();
    echo.wait();
    return result;
}

// Posts `count` requests and awaits each answer in order.
void pipeline(TcpServerClient& client, Wire::Op op, const QStringList& args, int count,
              QStringList* firstValues = nullptr) {
    std::vector<quint32> ids(static_cast<std::size_t>(count));
    for (auto& id : ids)
        id = client.post(op, args);
    for (auto id : ids) {
        const QStringList values = client.await(id);
        if (firstValues)
            firstValues->append(values.value(0));
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchWorkstation workstation;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Round trips to veltar-standin over TCP"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("standin"), QStringLiteral("veltar-standin program"),
                      QStringLiteral("path"),
                      QCoreApplication::applicationDirPath() + QStringLiteral("/veltar-standin")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("seconds per figure"),
                      QStringLiteral("s"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("pipeline"), QStringLiteral("requests in flight"),
                      QStringLiteral("n"), QStringLiteral("1000")});
    parser.process(app);
    const double seconds = qMax(0.1, parser.value(QStringLiteral("seconds")).toDouble());
    const int depth = qMax(1, parser.value(QStringLiteral("pipeline")).toInt());

    QTemporaryDir dir;
    QProcess standin;
    standin.setProcessChannelMode(QProcess::SeparateChannels);
    standin.start(parser.value(QStringLiteral("standin")),
                  {QStringLiteral("--db"), dir.filePath(QStringLiteral("bench.db")),
                   QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo")});
    QByteArray line;
    if (standin.waitForStarted(10000))
        while (!line.contains('\n') && standin.waitForReadyRead(30000))
            line += standin.readAllStandardOutput();
    static const QRegularExpression re(QStringLiteral("^listening on [^:]+:(\\d+)"));
    const auto match = re.match(QString::fromUtf8(line));
    if (!match.hasMatch()) {
        std::fprintf(stderr, "bench_roundtrip: veltar-standin did not start (%s): %s%s\n",
                     qPrintable(standin.program()), qPrintable(standin.errorString()),
                     (line + standin.readAllStandardError()).constData());
        return 1;
    }
    const QString port = match.captured(1);

    int rc = 0;
    try {
        TcpServerClient client;
        // The demo company's user: the server serves a guest only the login.
        if (!client.connect(
                QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(port),
                Credentials{QStringLiteral("1"), QStringLiteral("DEM"), QStringLiteral("demo")}))
            throw ServerError(0, QStringLiteral("connect: ") + client.lastError());
        ServerObject windows = client.newObject(QStringLiteral("VT.Windows"));
        const QString command = QStringLiteral("W 1");
        if (windows.call(QStringLiteral("Xecute"), {command}) != QStringLiteral("1"))
            throw ServerError(0, QStringLiteral("Xecute W 1 did not answer 1"));
        // A second object only for its ref, to size and pipeline the same request.
        const QString ref = client.call(Wire::Op::New, {QStringLiteral("VT.Windows")}).value(0);
        const QStringList xecuteArgs{ref, QStringLiteral("Xecute"), command};
        const qsizetype frameSize = Wire::encodeRequest({1, Wire::Op::Method, xecuteArgs}).size();

        const auto raw = rawPingPong(frameSize, seconds);
        printRate(QStringLiteral("raw loopback ping-pong (%1 bytes)").arg(frameSize), raw.first,
                  raw.second, QStringLiteral("round trips/s"), true);

        const auto sync =
            timed(seconds, [&] { windows.call(QStringLiteral("Xecute"), {command}); });
        printRate(QStringLiteral("Xecute W 1 via TcpServerClient"), sync.first, sync.second,
                  QStringLiteral("calls/s"), true);
        const double rawRate = double(raw.first) / raw.second;
        const double syncRate = double(sync.first) / sync.second;
        std::printf("%s%.2f\n", qPrintable(QStringLiteral("ratio Xecute / raw:").leftJustified(40)),
                    syncRate / rawRate);

        const QString times = QStringLiteral(" x%1").arg(depth);
        const auto px =
            timed(seconds, [&] { pipeline(client, Wire::Op::Method, xecuteArgs, depth); });
        printRate(QStringLiteral("pipelined METHOD Xecute W 1") + times, px.first * depth,
                  px.second, QStringLiteral("calls/s"), false);

        // Only the NEW batches are timed; their objects are released in between
        // so that the connection's object table stays small.
        qint64 created = 0;
        double newSecs = 0;
        while (newSecs < seconds) {
            QStringList refs;
            QElapsedTimer t;
            t.start();
            pipeline(client, Wire::Op::New, {QStringLiteral("VT.Windows")}, depth, &refs);
            newSecs += double(t.nsecsElapsed()) / 1e9;
            created += depth;
            std::vector<quint32> ids;
            for (const QString& r : refs)
                ids.push_back(client.post(Wire::Op::Release, {r}));
            client.await(ids.back());
        }
        printRate(QStringLiteral("pipelined NEW VT.Windows") + times, created, newSecs,
                  QStringLiteral("calls/s"), false);

        // PING with as many payload bytes as the METHOD request above.
        const auto pp =
            timed(seconds, [&] { pipeline(client, Wire::Op::Ping, xecuteArgs, depth); });
        printRate(QStringLiteral("pipelined PING") + times, pp.first * depth, pp.second,
                  QStringLiteral("calls/s"), false);
        client.disconnect();
    } catch (const ServerError& e) {
        std::fprintf(stderr, "bench_roundtrip: %d %s\n", e.number(), qPrintable(e.description()));
        rc = 1;
    }

    standin.terminate();
    if (!standin.waitForFinished(5000)) {
        standin.kill();
        standin.waitForFinished(5000);
    }
    return rc;
}
