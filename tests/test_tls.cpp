#include "CliStandin.h"
#include "ClientTestFixture.h"
#include "RawClient.h"
#include "ScriptedUserInterface.h"
#include "TcpRelay.h"
#include "TestSupport.h"
#include "base/SessionContext.h"
#include "base/WorkstationSettings.h"
#include "server/Connection.h"
#include "server/MCommands.h"
#include "server/TcpServerClient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSslCertificate>
#include <QSslError>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QString kUnreachable = "Server nach 3 Versuchen nicht erreichbar!\n"
                             "Bitte Kontrollieren Sie die Verbindungsdaten\n"
                             "Der Server ist nicht erreichbar!\n"
                             "Die Anwendung wird beendet!\n"
                             "Bitte Versuchen Sie die Anmeldung zu einem späteren Zeitpunk noch "
                             "ein mal.\n";

// The fingerprint of a stand-in's certificate, made next to its database.
QString fingerprintOf(const QString& database) {
    QFile file(database + ".crt");
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return Wire::Fingerprint(QSslCertificate(file.readAll()).toDer());
}

// quendra-cli's workstation settings in a folder of its own (its
// XDG_CONFIG_HOME).
class CliSettings {
public:
    QString home() const { return m_dir.path(); }
    QSettings settings() const {
        return QSettings(m_dir.filePath("Quendra/Cache Login.conf"), QSettings::IniFormat);
    }
    QString value(const QString& key) const { return settings().value(key).toString(); }
    void set(const QString& key, const QString& value) {
        QSettings s = settings();
        s.setValue(key, value);
        s.sync();
    }

private:
    QTemporaryDir m_dir;
};

// quendra-cli run while this process goes on serving its events (the
// relay); the exit code.
int runWithEvents(const QStringList& args, const QString& settingsHome, QString* out) {
    return RunCliServingEvents(args, settingsHome, out);
}

} // namespace

// The connection between the program and the stand-in is TLS unless both
// are told otherwise: the program logs in, imports and posts over it, trusts
// the server's certificate on first use (or checks it against a CA file)
// and refuses a server that shows another one; the password never crosses
// the wire in clear.
class TestTls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void programLogsInImportsAndPostsOverTls();
    void firstContactShowsTheFingerprint();
    void changedCertificateRefused();
    void changedCertificateEndsTheProgramsAttempt();
    void caFileVouchesForTheServer();
    void plainTcpOnlyWithTheSwitch();
    void passwordNeverInClearOnTheWire();
};

void TestTls::programLogsInImportsAndPostsOverTls() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    CliSettings cli;
    const QString file = standin.temp("preise.txt");
    QCOMPARE(QProcess::execute(QStringLiteral(QUENDRA_BENCH_DIR "/pricegen"),
                               {"--lines", "20", "--out", file, "--manufacturer", "MUE"}),
             0);
    QString out, err;
    QCOMPARE(standin.run({"import", file, "--tracks", "all"}, &out, &err, 60000, cli.home()), 0);
    QCOMPARE(err, QString());
    QCOMPARE(out, QString("5\t20\n"));
    // The fingerprint the server showed is now the trusted one.
    const QString key = QStringLiteral("Zertifikate/127.0.0.1:%1").arg(standin.port());
    QCOMPARE(cli.value(key), fingerprintOf(standin.database()));
    QCOMPARE(standin.run({"post", "3", "--marked", "7", "--options", "chneu,chfreigart"}, &out,
                         &err, 60000, cli.home()),
             0);
    QCOMPARE(err, QString());
    QCOMPARE(out, QString("7\tVerbucht: Artikel 500001 angelegt, Artikel freigegeben\n"));
    QCOMPARE(standin.run({"downloads"}, &out, &err, 60000, cli.home()), 0);
    QVERIFY2(out.section('\n', 0, 0).endsWith("\tDEM\t70001\tMüller Baustoffe GmbH\t20\t5"),
             qPrintable(out));
    // The program's own client: encrypted.
    TemporarySettings settings;
    TcpServerClient client;
    QVERIFY(client.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(standin.port()),
                           {"1", "DEM", "demo"}));
    QVERIFY(client.encrypted());
    QCOMPARE(client.access(), QString("user"));
}

// A server that shows another certificate than the one trusted for its
// address and port is refused, whatever it answers, with both fingerprints;
// the trusted one stays.
// On the first contact with a server the CLI notes its fingerprint on
// standard error and trusts it; the program asks, and trusts it only when
// told to. The fingerprint is kept for the name and for the address it
// resolved to, so that the same server under another name is no new one.
void TestTls::firstContactShowsTheFingerprint() {
    QTemporaryDir dir;
    StandinProcess server(dir.filePath("tls.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    const QString fingerprint = fingerprintOf(dir.filePath("tls.db"));
    const QString byName = QStringLiteral("localhost:%1").arg(server.port());
    const QString byAddress = QStringLiteral("127.0.0.1:%1").arg(server.port());
    CliSettings cli;
    const QString connect = QStringLiteral("1 0 DEM demo localhost %1 VELTAR").arg(server.port());
    for (int run = 0; run < 2; ++run) {
        QProcess p;
        StartCli(p, {"--connect", connect, "xecute", "W 6*7"}, cli.home());
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.readAllStandardOutput(), QByteArray("42"));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 run == 0 ? FirstContactText(byName, "127.0.0.1", fingerprint) + "\n" : QString());
    }
    QCOMPARE(FirstContactText(byName, "127.0.0.1", fingerprint),
             "Erster Kontakt mit dem Server " + byName +
                 " (127.0.0.1): sein Zertifikat hat den SHA-256-Fingerabdruck " + fingerprint +
                 ". Vergleichen Sie ihn mit dem des Servers.");
    QCOMPARE(cli.value("Zertifikate/" + byName), fingerprint);
    QCOMPARE(cli.value("Zertifikate/" + byAddress), fingerprint);

    TemporarySettings settings;
    QStringList asked;
    bool trust = false;
    const FirstContactFunction previous = SetFirstContactFunction([&](const QString& text) {
        asked << text;
        return trust;
    });
    const QString byNameString = QStringLiteral("cn_iptcp:localhost[%1]:VELTAR").arg(server.port());
    {
        TcpServerClient refused;
        QVERIFY(!refused.connect(byNameString, {"1", "DEM", "demo"}));
        QCOMPARE(refused.lastErrorNumber(), 465);
        QCOMPARE(refused.lastError(), FirstContactRefusedText(byName));
        QCOMPARE(refused.lastError(), "Dem Zertifikat des Servers " + byName +
                                          " wurde nicht vertraut. Die Verbindung wird abgelehnt.");
        QCOMPARE(WorkstationSettings::value("Cache Login", "Zertifikate", byName), QString());
    }
    trust = true;
    {
        TcpServerClient trusted;
        QVERIFY(trusted.connect(byNameString, {"1", "DEM", "demo"}));
    }
    QCOMPARE(asked, QStringList(2, FirstContactText(byName, "127.0.0.1", fingerprint)));
    {
        TcpServerClient byAddressClient;
        QVERIFY(byAddressClient.connect(
            QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(server.port()),
            {"1", "DEM", "demo"}));
    }
    QCOMPARE(asked.size(), 2);
    SetFirstContactFunction(previous);
}

void TestTls::changedCertificateRefused() {
    CliStandin standin;
    QString why;
    QVERIFY2(standin.start(&why), qPrintable(why));
    CliSettings cli;
    const QString key = QStringLiteral("Zertifikate/127.0.0.1:%1").arg(standin.port());
    const QString known = "AB:" + QString("CD:").repeated(30) + "EF";
    cli.set(key, known);
    QString out, err;
    QCOMPARE(standin.run({"xecute", "W 1"}, &out, &err, 60000, cli.home()), 1);
    QCOMPARE(out, QString());
    const QString message =
        CertificateChangedText(QStringLiteral("127.0.0.1:%1").arg(standin.port()), known,
                               fingerprintOf(standin.database()));
    QCOMPARE(message, QStringLiteral("Das Zertifikat des Servers 127.0.0.1:%1 hat sich geändert: "
                                     "bekannt ist der SHA-256-Fingerabdruck %2, der Server zeigt "
                                     "%3. Die Verbindung wird abgelehnt.")
                          .arg(standin.port())
                          .arg(known, fingerprintOf(standin.database())));
    // Each server call of the login reports it: the fiscal year, the
    // locations, the connection of the login itself.
    const auto report = [&](const QString& operation) {
        return "Vorgang: " + operation + ".\n\nFehler: 465\n" + message + "\n\n";
    };
    QCOMPARE(err, report("cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\n\nDBCall "
                         "Aufruf von VT.Windwos Xecute S P0=$P(^FA(0),\"`\",2) W P0") +
                      report("FMPass.Form_Load Standorte") +
                      report("cacheapi.user_anmeld Verbindung zum Server"));
    QCOMPARE(cli.value(key), known);
}

// In the program, the refusal is no unreachable server: no retries, no
// server list, the call reports it.
void TestTls::changedCertificateEndsTheProgramsAttempt() {
    QTemporaryDir dir;
    StandinProcess server(dir.filePath("tls.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    ClientTestFixture fx;
    ScriptedUserInterface ui;
    fx.connection().setClientFactory({});
    fx.demoSession();
    Session().port = QString::number(server.port());
    fx.connection().rebuildConnectString();
    const QString key = QStringLiteral("127.0.0.1:%1").arg(server.port());
    WorkstationSettings::setValue("Cache Login", "Zertifikate", key, "00:11");
    bool failed = false;
    QCOMPARE(dbcall(fx.connection(), "W 1", failed), QString(" "));
    QVERIFY(failed);
    QCOMPARE(fx.pauses, QList<int>());
    QCOMPARE(ui.messages.size(), 1);
    QCOMPARE(ui.messages[0].title, QString("Caché Zugriffsfehler"));
    QCOMPARE(ui.messages[0].text,
             "Vorgang: cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\nDBCall "
             "Aufruf von VT.Windwos Xecute W 1.\r\n\r\nFehler: 465\r\n" +
                 CertificateChangedText(key, "00:11", fingerprintOf(dir.filePath("tls.db"))) +
                 "\r\n\r\n");
    // Once the user removes the old fingerprint, the server is trusted anew.
    WorkstationSettings::remove("Cache Login", "Zertifikate", key);
    QCOMPARE(dbcall(fx.connection(), "W 6*7", failed), QString("42"));
    QCOMPARE(WorkstationSettings::value("Cache Login", "Zertifikate", key),
             fingerprintOf(dir.filePath("tls.db")));
    fx.connection().setClientFactory({});
}

// With a CA file set, the server's certificate must come from it (the
// stand-in's own certificate is its own CA); another one is refused with
// the reasons, a file without a certificate too.
void TestTls::caFileVouchesForTheServer() {
    QTemporaryDir dir;
    StandinProcess server(dir.filePath("tls.db"));
    QVERIFY2(server.started(), qPrintable(server.errorOutput()));
    StandinProcess other(dir.filePath("other.db"), false);
    QVERIFY2(other.started(), qPrintable(other.errorOutput()));
    CliSettings cli;
    cli.set("TLS/CAFile", dir.filePath("tls.db.crt"));
    QString out, err;
    QCOMPARE(
        RunCli({"--connect", connectOf(server), "xecute", "W 6*7"}, &out, &err, 60000, cli.home()),
        0);
    QCOMPARE(out, QString("42"));
    QCOMPARE(err, QString());
    // No fingerprint is kept: the CA file decides.
    QCOMPARE(cli.value(QStringLiteral("Zertifikate/127.0.0.1:%1").arg(server.port())), QString());

    cli.set("TLS/CAFile", dir.filePath("other.db.crt"));
    QCOMPARE(
        RunCli({"--connect", connectOf(server), "xecute", "W 6*7"}, &out, &err, 60000, cli.home()),
        1);
    QFile certificate(dir.filePath("tls.db.crt"));
    QVERIFY(certificate.open(QIODevice::ReadOnly));
    const QSslCertificate shown(certificate.readAll());
    const QString untrusted =
        CertificateUntrustedText(QStringLiteral("127.0.0.1:%1").arg(server.port()),
                                 QSslError(QSslError::SelfSignedCertificate, shown).errorString());
    QVERIFY2(err.contains("Fehler: 465\n" + untrusted + "\n"), qPrintable(err));

    cli.set("TLS/CAFile", dir.filePath("fehlt.pem"));
    QCOMPARE(
        RunCli({"--connect", connectOf(server), "xecute", "W 6*7"}, &out, &err, 60000, cli.home()),
        1);
    QVERIFY2(err.contains("Fehler: 465\n" + CaFileUnreadableText(dir.filePath("fehlt.pem")) + "\n"),
             qPrintable(err));
    QCOMPARE(CaFileUnreadableText("/x.pem"),
             QString("Die CA-Datei /x.pem enthält kein lesbares Zertifikat."));
}

// A TLS server does not serve plain TCP, nor a plain one TLS: each side
// switches to plain TCP only when told (veltar-standin --no-tls,
// quendra-cli --no-tls, the workstation setting "OhneTLS").
void TestTls::plainTcpOnlyWithTheSwitch() {
    QTemporaryDir dir;
    StandinProcess tls(dir.filePath("tls.db"));
    QVERIFY2(tls.started(), qPrintable(tls.errorOutput()));
    StandinProcess plain(dir.filePath("plain.db"), true, {"--no-tls"});
    QVERIFY2(plain.started(), qPrintable(plain.errorOutput()));
    QVERIFY(!QFile::exists(dir.filePath("plain.db.crt")));
    QString out, err;
    QCOMPARE(
        RunCli({"--connect", connectOf(tls), "--no-tls", "--retry-pause", "1", "xecute", "W 1"},
               &out, &err),
        1);
    QCOMPARE(err, kUnreachable);
    QCOMPARE(
        RunCli({"--connect", connectOf(plain), "--retry-pause", "1", "xecute", "W 1"}, &out, &err),
        1);
    QCOMPARE(err, kUnreachable);
    QCOMPARE(RunCli({"--connect", connectOf(plain), "--no-tls", "xecute", "W 6*7"}, &out, &err), 0);
    QCOMPARE(out, QString("42"));
    // Raw frames in plain TCP reach no job of the TLS server.
    Raw raw(tls.port(), Raw::Transport::Plain);
    QVERIFY(raw.connected());
    raw.send(Wire::Op::Hello, {Wire::kMagic, "VELTAR", "test", "1", "DEM", "demo"});
    QVERIFY(!raw.reply(3000));
    QVERIFY(raw.closedByServer());
    // The desktop program's setting.
    TemporarySettings settings;
    TcpServerClient client;
    const QString target = QStringLiteral("cn_iptcp:127.0.0.1[%1]:VELTAR").arg(plain.port());
    client.setTimeouts({5000, 3000, 3000});
    QVERIFY(!client.connect(target, {"1", "DEM", "demo"}));
    WorkstationSettings::setValue("Cache Login", "TLS", "OhneTLS", "J");
    QVERIFY(client.connect(target, {"1", "DEM", "demo"}));
    QVERIFY(!client.encrypted());
    QCOMPARE(client.access(), QString("user"));
}

// What crosses the wire between program and server never holds the
// password of the login in clear; over plain TCP it would.
void TestTls::passwordNeverInClearOnTheWire() {
    QTemporaryDir dir;
    CliSettings cli;
    // The password as the frame of HELLO carries it: its length, then it.
    const QByteArray inFrame = QByteArray("\0\0\0\x05lager", 9);
    for (const bool tls : {true, false}) {
        StandinProcess server(dir.filePath(tls ? "tls.db" : "plain.db"), true,
                              tls ? QStringList() : QStringList{"--no-tls"});
        QVERIFY2(server.started(), qPrintable(server.errorOutput()));
        TcpRelay relay(server.port());
        QStringList args{"--connect", CliConnect(relay.port(), "LAG lager"), "xecute",
                         "W PERSONAL"};
        if (!tls)
            args.prepend("--no-tls");
        QString out;
        QCOMPARE(runWithEvents(args, cli.home(), &out), 0);
        QCOMPARE(out, QString("LAG"));
        QVERIFY(!relay.fromClients.isEmpty());
        QCOMPARE(relay.fromClients.contains(inFrame), !tls);
    }
}

QTEST_GUILESS_MAIN(TestTls)
#include "test_tls.moc"
