#include "TestSupport.h"

#include "base/WorkstationSettings.h"
#include "server/TcpServerClient.h"

#include <QRegularExpression>
#include <QTest>

TemporarySettings::TemporarySettings() {
    WorkstationSettings::useFolder(m_dir.path());
}

TemporarySettings::~TemporarySettings() {
    WorkstationSettings::useFolder(QString());
}

PlainTcpScope::PlainTcpScope() {
    TcpServerClient::setPlainTcp(true);
}

PlainTcpScope::~PlainTcpScope() {
    TcpServerClient::setPlainTcp(false);
}

StandinProcess::StandinProcess(const QString& databasePath, bool demo,
                               const QStringList& extraArgs) {
    QStringList args{QStringLiteral("--db"), databasePath, QStringLiteral("--port"),
                     QStringLiteral("0")};
    if (demo)
        args << QStringLiteral("--demo");
    args << extraArgs;
    m_process.start(QStringLiteral(VELTAR_STANDIN), args);
    if (!m_process.waitForStarted(10000))
        return;
    // The server announces its port on one line once it accepts connections.
    QByteArray line;
    while (!line.contains('\n')) {
        if (!m_process.waitForReadyRead(30000))
            break;
        line += m_process.readAllStandardOutput();
    }
    static const QRegularExpression re(QStringLiteral("^listening on [^:]+:(\\d+)"));
    const auto m = re.match(QString::fromUtf8(line));
    if (m.hasMatch())
        m_port = quint16(m.captured(1).toUInt());
    else
        m_error = QString::fromUtf8(line + m_process.readAllStandardError());
}

StandinProcess::~StandinProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void StandinProcess::kill() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString CliConnect(quint16 port, const QString& user) {
    return QStringLiteral("1 0 %1 127.0.0.1 %2 VELTAR").arg(user).arg(port);
}

void StartCli(QProcess& process, const QStringList& args, const QString& settingsHome) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsHome);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUENDRA_CLI), args);
}

int RunCli(const QStringList& args, QString* out, QString* err, int timeoutMs,
           const QString& settingsHome) {
    QTemporaryDir fresh;
    QProcess p;
    StartCli(p, args, settingsHome.isEmpty() ? fresh.path() : settingsHome);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        if (err)
            *err = QStringLiteral("timeout");
        return -1;
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err) {
        // The note of a first contact with a server (each run has settings
        // of its own by default) is tested where it matters.
        static const QRegularExpression firstContact(
            QStringLiteral("^Erster Kontakt mit dem Server [^\n]*\n"),
            QRegularExpression::MultilineOption);
        *err = QString::fromUtf8(p.readAllStandardError()).remove(firstContact);
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int CliDownloadCount(const QString& connect) {
    QString out, err;
    if (RunCli({QStringLiteral("--connect"), connect, QStringLiteral("downloads")}, &out, &err) !=
        0)
        return -1;
    return int(out.count(u'\n'));
}

QMap<QString, QStringList>
CliPositionRows(const QString& connect, const QString& key, const QList<int>& columns,
                const std::function<QString(const QStringList&)>& keyOf) {
    QString out, err;
    QMap<QString, QStringList> rows;
    if (RunCli({QStringLiteral("--connect"), connect, QStringLiteral("positions"), key}, &out,
               &err) != 0)
        return rows;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList cells = line.split(u'\t');
        QStringList picked;
        for (int c : columns)
            picked << cells.value(c);
        rows.insert(keyOf(cells), picked);
    }
    return rows;
}

int RunCliServingEvents(const QStringList& args, const QString& settingsHome, QString* out) {
    QProcess p;
    StartCli(p, args, settingsHome);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000))
        return -1;
    *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitCode();
}
