#include "CliStandin.h"
#include "RawClient.h"
#include "TestSupport.h"
#include "server/TcpServerClient.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <functional>

// The TCP client against a real veltar-standin process (over TLS) and
// against peers of the test (plain TCP), and the command-line tool against
// both a running and a missing server.
class TestWire : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void serverNotRunning();
    void cliWithoutServerShowsRetryMessagesAndFails();
    void cliXecuteQuoteInStringLiteral();
    void cliGlobalSurvivesBetweenCalls();
    void cliReportsMErrorOnStandardError();
    void wrongNamespaceRefused();
    void twentyClientsSeeOnlyTheirOwnLocals();
    void pipelinedRequestsAnsweredInOrder();
    void malformedFrameClosesOnlyThatConnection_data();
    void malformedFrameClosesOnlyThatConnection();
    void peerDyingMidCallGivesErrorNotHang();
    void killedServerGivesErrorOnNextCall();
    void answersBeforeTheEndStillCount();
    void rawDecodeAgreesWithDecode();
    void keptAnswerSurvivesLaterAwaits();
    void readAheadResultSetUnderRequestsInFlight();

private:
    // The demo company's active user.
    const Credentials kDemoUser{"1", "DEM", "demo"};
    QString connectString() const {
        return QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(m_standin.port());
    }
    QString xecute(TcpServerClient& c, const QString& command) {
        ServerObject w = c.newObject("VT.Windows");
        const QString out = w.call("Xecute", QStringList{command});
        w.close();
        return out;
    }
    static quint16 freePort() {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        return s.serverPort();
    }

    TemporarySettings m_settings;
    CliStandin m_standin;
};

void TestWire::initTestCase() {
    QString why;
    QVERIFY2(m_standin.start(&why), qPrintable(why));
}

void TestWire::cleanupTestCase() {
    m_standin.stop();
}

void TestWire::serverNotRunning() {
    TcpServerClient c;
    c.setTimeouts({2000, 2000, 2000});
    QVERIFY(!c.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(freePort())));
    QVERIFY(!c.isConnected());
    QCOMPARE(c.lastError(), QString("Connection refused"));
    try {
        c.newObject("VT.Windows");
        QFAIL("no error");
    } catch (const ServerError& e) {
        QCOMPARE(e.number(), ClientErrors::NotConnected);
        QCOMPARE(e.description(), QString("Keine Verbindung zum Server"));
    }
}

void TestWire::cliWithoutServerShowsRetryMessagesAndFails() {
    QString out, err;
    const int rc = RunCli(
        {"--connect", CliConnect(freePort()), "--retry-pause", "1", "xecute", "W 1"}, &out, &err);
    QCOMPARE(rc, 1);
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("Server nach 3 Versuchen nicht erreichbar!\n"
                          "Bitte Kontrollieren Sie die Verbindungsdaten\n"
                          "Der Server ist nicht erreichbar!\n"
                          "Die Anwendung wird beendet!\n"
                          "Bitte Versuchen Sie die Anmeldung zu einem späteren Zeitpunk noch ein "
                          "mal.\n"));
}

void TestWire::cliXecuteQuoteInStringLiteral() {
    QString out, err;
    QCOMPARE(m_standin.run({"xecute", "S X=\"a\"\"b\" W X,$P(\"1`2`3\",\"`\",2)"}, &out, &err), 0);
    QCOMPARE(out, QString("a\"b2"));
    QCOMPARE(err, QString());
}

void TestWire::cliGlobalSurvivesBetweenCalls() {
    QString out, err;
    QCOMPARE(m_standin.run({"xecute", "S ^CLITEST(\"k\",2)=\"Größe\""}, &out, &err), 0);
    QCOMPARE(out, QString());
    QCOMPARE(m_standin.run({"xecute", "W ^CLITEST(\"k\",2)"}, &out, &err), 0);
    QCOMPARE(out, QString("Größe"));
    // Locals do not survive: each call is a job of its own.
    QCOMPARE(m_standin.run({"xecute", "S L=1"}, &out, &err), 0);
    QCOMPARE(m_standin.run({"xecute", "W $D(L)"}, &out, &err), 0);
    QCOMPARE(out, QString("0"));
}

void TestWire::cliReportsMErrorOnStandardError() {
    QString out, err;
    QCOMPARE(m_standin.run({"xecute", "W ^NIEMALS(1)"}, &out, &err), 1);
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("Vorgang: cacheapi.dbcall Ungültige Anfrage! Kein "
                          "Ergebnis gefunden\n\nDBCall Aufruf von VT.Windwos Xecute "
                          "W ^NIEMALS(1).\n\nFehler: 5002\n<UNDEFINED> ^NIEMALS(1)\n\n"));
}

void TestWire::wrongNamespaceRefused() {
    TcpServerClient c;
    QVERIFY(!c.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:ANDERS").arg(m_standin.port())));
    QCOMPARE(c.lastError(), QString("<NAMESPACE> ANDERS"));
    QVERIFY(!c.isConnected());
}

void TestWire::twentyClientsSeeOnlyTheirOwnLocals() {
    std::vector<std::unique_ptr<TcpServerClient>> clients;
    QSet<QString> jobs;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(std::make_unique<TcpServerClient>());
        QVERIFY(clients.back()->connect(connectString(), kDemoUser));
        jobs.insert(clients.back()->jobNumber());
    }
    QCOMPARE(jobs.size(), 20);
    for (int i = 0; i < 20; ++i)
        xecute(*clients[i], QStringLiteral("S X=%1,^MULTI($J)=%1").arg(i));
    for (int i = 19; i >= 0; --i) {
        QCOMPARE(xecute(*clients[i], "W X"), QString::number(i));
        QCOMPARE(xecute(*clients[i], "W ^MULTI($J),\"/\",$J"),
                 QString::number(i) + "/" + clients[i]->jobNumber());
    }
}

void TestWire::pipelinedRequestsAnsweredInOrder() {
    TcpServerClient c;
    QVERIFY(c.connect(connectString(), kDemoUser));
    QList<quint32> ids;
    for (int i = 0; i < 200; ++i)
        ids << c.post(Wire::Op::Ping, {QString::number(i)});
    QCOMPARE(c.inFlight(), 200);
    for (int i = 0; i < 200; ++i)
        QCOMPARE(c.await(ids[i]), QStringList{QString::number(i)});
    QCOMPARE(c.inFlight(), 0);
    // An error in the middle does not disturb the answers after it.
    const quint32 a = c.post(Wire::Op::New, {"Gibt.Es.Nicht"});
    const quint32 b = c.post(Wire::Op::Ping, {"danach"});
    QVERIFY_THROWS_EXCEPTION(ServerError, c.await(a));
    QCOMPARE(c.await(b), QStringList{"danach"});
}

void TestWire::malformedFrameClosesOnlyThatConnection_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("message");
    QTest::newRow("garbage payload")
        << QByteArray("\0\0\0\3abc", 7) << "Ungültiger Rahmen; Verbindung wird getrennt";
    QByteArray big(4, '\0');
    qToBigEndian(quint32(Wire::kMaxFrame + 1), big.data());
    QTest::newRow("over the size limit") << big << "Rahmen zu groß; Verbindung wird getrennt";
}

void TestWire::malformedFrameClosesOnlyThatConnection() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, message);
    TcpServerClient other;
    QVERIFY(other.connect(connectString(), kDemoUser));
    xecute(other, "S KEEP=1");

    Raw client(m_standin.port());
    QVERIFY(client.connected());
    QTcpSocket& raw = client.socket();
    raw.write(frame);
    QVERIFY(raw.waitForBytesWritten(5000));
    QByteArray got;
    while (raw.state() == QAbstractSocket::ConnectedState && raw.waitForReadyRead(5000))
        got += raw.readAll();
    got += raw.readAll();
    if (raw.state() == QAbstractSocket::ConnectedState)
        QVERIFY(raw.waitForDisconnected(5000));
    Wire::FrameBuffer buffer;
    buffer.append(got);
    QByteArray payload;
    QCOMPARE(buffer.next(&payload), Wire::FrameBuffer::Result::Frame);
    const auto reply = Wire::decodeReply(payload);
    QVERIFY(reply);
    QCOMPARE(reply->status, Wire::Status::Error);
    QCOMPARE(reply->errorNumber, 5010);
    QCOMPARE(reply->errorText, message);
    // The other connection goes on with its job.
    QCOMPARE(xecute(other, "W KEEP"), QString("1"));
}

// A peer on a thread of its own that accepts one connection and hands each
// request frame (numbered from 1) to onFrame with the socket; it ends when
// onFrame returns false or the client goes away.
QThread* StartFakePeer(QTcpServer& fake,
                       std::function<bool(QTcpSocket&, const Wire::Request&, int)> onFrame) {
    QThread* peer = QThread::create([&fake, onFrame = std::move(onFrame)] {
        fake.waitForNewConnection(10000);
        std::unique_ptr<QTcpSocket> s(fake.nextPendingConnection());
        Wire::FrameBuffer buffer;
        QByteArray payload;
        int frames = 0;
        while (s && s->waitForReadyRead(10000)) {
            buffer.append(s->readAll());
            while (buffer.next(&payload) == Wire::FrameBuffer::Result::Frame)
                if (!onFrame(*s, *Wire::decodeRequest(payload), ++frames))
                    return;
        }
    });
    fake.moveToThread(peer);
    peer->start();
    return peer;
}

void TestWire::peerDyingMidCallGivesErrorNotHang() {
    // A peer that accepts the connection and the greeting, reads the next
    // request and dies before it answers.
    const PlainTcpScope plain;
    QTcpServer fake;
    QVERIFY(fake.listen(QHostAddress::LocalHost, 0));
    QThread* peer = StartFakePeer(fake, [](QTcpSocket& s, const Wire::Request& r, int frame) {
        if (frame > 1) {
            s.abort();
            return false;
        }
        s.write(Wire::encodeReply({r.id, Wire::Status::Ok, {"fake", "1"}, 0, {}, {}, 0}));
        s.waitForBytesWritten(5000);
        return true;
    });
    TcpServerClient c;
    c.setTimeouts({5000, 20000, 20000});
    QVERIFY(c.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(fake.serverPort())));
    try {
        c.newObject("VT.Windows");
        QFAIL("no error");
    } catch (const ServerError& e) {
        QCOMPARE(e.number(), ClientErrors::ConnectionLost);
        QCOMPARE(e.description(), QString("Verbindung zum Server verloren"));
    }
    QVERIFY(!c.isConnected());
    peer->wait(10000);
    delete peer;
}

void TestWire::answersBeforeTheEndStillCount() {
    // A peer that answers the greeting and three requests, then ends the
    // connection while more are on their way: the three answers still
    // arrive, however the client learns of the end; the rest fail with it.
    const PlainTcpScope plain;
    QTcpServer fake;
    QVERIFY(fake.listen(QHostAddress::LocalHost, 0));
    QThread* peer = StartFakePeer(fake, [](QTcpSocket& s, const Wire::Request& r, int frame) {
        s.write(Wire::encodeReply({r.id, Wire::Status::Ok, {"ok"}, 0, {}, {}, 0}));
        if (frame < 4)
            return true;
        s.waitForBytesWritten(5000);
        s.disconnectFromHost();
        s.waitForDisconnected(5000);
        return false;
    });
    TcpServerClient c;
    c.setTimeouts({5000, 20000, 20000});
    QVERIFY(c.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(fake.serverPort())));
    QList<quint32> ids;
    for (int i = 0; i < 3; ++i)
        ids << c.post(Wire::Op::Ping, {QString::number(i)}, true);
    c.postKept(Wire::Op::Ping, {"flush"}, true); // leaves at once
    peer->wait(10000);
    delete peer;
    // Requests big enough to be written at once meet the ended connection.
    int refused = 0;
    for (int i = 0; i < 20 && refused == 0; ++i) {
        try {
            ids << c.post(Wire::Op::Ping, {QString(20000, u'x')}, true);
        } catch (const ServerError& e) {
            QCOMPARE(e.number(), ClientErrors::ConnectionLost);
            QCOMPARE(e.description(), QString("Verbindung zum Server verloren"));
            ++refused;
        }
    }
    QCOMPARE(refused, 1);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(c.await(ids[i]), QStringList{"ok"});
    for (int i = 3; i < ids.size(); ++i) {
        try {
            c.await(ids[i]);
            QFAIL("no error");
        } catch (const ServerError& e) {
            QCOMPARE(e.number(), ClientErrors::ConnectionLost);
        }
    }
    QVERIFY(!c.isConnected());
}

void TestWire::killedServerGivesErrorOnNextCall() {
    QTemporaryDir dir;
    StandinProcess server(dir.filePath("kill.db"));
    QVERIFY(server.started());
    TcpServerClient c;
    QVERIFY(
        c.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(server.port()), kDemoUser));
    QCOMPARE(xecute(c, "W 6*7"), QString("42"));
    server.kill();
    try {
        xecute(c, "W 1");
        QFAIL("no error");
    } catch (const ServerError& e) {
        QCOMPARE(e.number(), ClientErrors::ConnectionLost);
    }
    QVERIFY(!c.isConnected());
    QVERIFY(!c.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(server.port())));
}

QTEST_GUILESS_MAIN(TestWire)
#include "test_wire.moc"

void TestWire::rawDecodeAgreesWithDecode() {
    Wire::Reply r;
    r.id = 77;
    // A text may begin with U+FEFF: it is part of the text.
    r.values = {"1", "", QStringLiteral("Größe äöü"), QString(QChar(0xFEFF)) + "x"};
    // Texts encoded ahead (as the server encodes rows) follow the values.
    Wire::appendText(r.encoded, QByteArrayView("zeile"));
    Wire::appendText(r.encoded, QStringLiteral("€"));
    r.encodedCount = 2;
    const QByteArray payload = Wire::encodeReply(r).mid(4);
    const auto plain = Wire::decodeReply(payload);
    const auto raw = Wire::decodeRawReply(payload);
    QVERIFY(plain && raw);
    const QStringList all{"1",
                          "",
                          QStringLiteral("Größe äöü"),
                          QString(QChar(0xFEFF)) + "x",
                          "zeile",
                          QStringLiteral("€")};
    QCOMPARE(plain->values, all);
    QCOMPARE(raw->values.toStringList(), all);
    QCOMPARE(raw->id, 77u);
    QCOMPARE(raw->values.view(4), QByteArrayView("zeile"));
    QVERIFY(raw->values.view(6).isEmpty());
    // Every cut of the payload is refused by both, and so is a byte more.
    for (qsizetype n = 0; n < payload.size(); ++n) {
        QVERIFY2(!Wire::decodeReply(payload.left(n)), qPrintable(QString::number(n)));
        QVERIFY2(!Wire::decodeRawReply(payload.left(n)), qPrintable(QString::number(n)));
    }
    QVERIFY(!Wire::decodeRawReply(payload + 'x'));
    // An error reply reads the same both ways.
    Wire::Reply e;
    e.id = 5;
    e.status = Wire::Status::Error;
    e.errorNumber = 5012;
    e.errorText = QStringLiteral("Benutzer unbekannt");
    const auto rawError = Wire::decodeRawReply(Wire::encodeReply(e).mid(4));
    QVERIFY(rawError);
    QCOMPARE(rawError->status, Wire::Status::Error);
    QCOMPARE(rawError->errorNumber, 5012);
    QCOMPARE(rawError->errorText, QStringLiteral("Benutzer unbekannt"));
}

void TestWire::keptAnswerSurvivesLaterAwaits() {
    TcpServerClient c;
    QVERIFY(c.connect(connectString(), kDemoUser));
    const quint32 kept = c.postKept(Wire::Op::Ping, {"behalten"});
    const quint32 dropped = c.post(Wire::Op::Ping, {"verworfen"});
    const quint32 last = c.post(Wire::Op::Ping, {"zuletzt"});
    QCOMPARE(c.await(last), QStringList{"zuletzt"});
    QCOMPARE(c.await(kept), QStringList{"behalten"});
    // An answer passed over without being kept is gone, as before.
    try {
        c.await(dropped);
        QFAIL("the dropped answer was still there");
    } catch (const ServerError& e) {
        QCOMPARE(e.description(),
                 QStringLiteral("Keine offene Anfrage ") + QString::number(dropped));
    }
    // A kept error stays an error.
    const quint32 failing = c.postKept(Wire::Op::New, {"Gibt.Es.Nicht"});
    QCOMPARE(c.call(Wire::Op::Ping, {"dazwischen"}), QStringList{"dazwischen"});
    QVERIFY_THROWS_EXCEPTION(ServerError, c.await(failing));
    QCOMPARE(c.call(Wire::Op::Ping, {"sauber"}), QStringList{"sauber"});
}

void TestWire::readAheadResultSetUnderRequestsInFlight() {
    TcpServerClient c;
    QVERIFY(c.connect(connectString(), kDemoUser));
    // The code lists of the positions grid, in batches of two.
    const QString lists = c.classHandle("quendrap.pos").call("getcombo", QStringList{"1", "70001"});
    auto read = [&](bool ahead, int stopAfter) {
        ResultSet rs = c.resultSet("VT.XW", "Liste");
        rs.setBatchSize(2);
        rs.setReadAhead(ahead);
        rs.execute({lists});
        QStringList rows;
        QList<quint32> pings;
        while (rows.size() < stopAfter && rs.next()) {
            rows << rs.getData(1);
            // With the next batch asked ahead, requests may stay in flight
            // across next() (a plain next() would pass over their answers).
            if (ahead)
                pings << c.post(Wire::Op::Ping, {rows.last()});
            if (pings.size() == 3) {
                for (quint32 id : std::as_const(pings))
                    if (c.await(id).value(0).isEmpty())
                        return QStringList{"<Ping ohne Antwort>"};
                pings.clear();
            }
        }
        for (quint32 id : std::as_const(pings))
            c.await(id);
        rs.close();
        return rows;
    };
    const QStringList plain = read(false, 1000);
    QVERIFY2(plain.size() > 4, "the demo company has too few code list rows for batches of 2");
    QCOMPARE(read(true, 1000), plain);
    // Closed in the middle with a batch asked ahead: the connection is clean.
    QCOMPARE(read(true, 3), plain.mid(0, 3));
    QCOMPARE(c.call(Wire::Op::Ping, {"danach"}), QStringList{"danach"});
}
