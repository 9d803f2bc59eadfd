#pragma once

// What end-to-end tests share: price files made by the generator, the
// stand-in's database read beside the server, quendra-cli running beside
// the test. The test programs define QUENDRA_BENCH_DIR.
#include "TestSupport.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

// The article lines of a file, without its header.
inline QStringList articleLines(const QString& path) {
    ImportFileReader reader;
    QStringList lines;
    QString line;
    if (!reader.open(path) || !reader.readLine(&line))
        return lines;
    while (reader.readLine(&line))
        lines << line;
    return lines;
}

// One price per line, all of one date, each line's order number its own.
inline bool generate(const QString& path, int lines, int seed = 1) {
    return QProcess::execute(QStringLiteral(QUENDRA_BENCH_DIR "/pricegen"),
                             {"--lines", QString::number(lines), "--out", path, "--dates", "1",
                              "--manufacturer", "MUE", "--seed", QString::number(seed)}) == 0;
}

inline QString orderNumber(const QString& line) {
    return ImportArticleLine(line).field(ImportArticleLine::HerstArtNr);
}

// The stand-in's database, read beside the server (it keeps a write-ahead
// log, so a reader never waits for it).
class Database {
public:
    explicit Database(const QString& path) : m_name(QStringLiteral("faults-%1").arg(++s_count)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        db.open();
    }
    ~Database() {
        QSqlDatabase::database(m_name).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    QStringList column(const QString& sql) const {
        QSqlQuery q(QSqlDatabase::database(m_name));
        QStringList values;
        q.exec(sql);
        while (q.next())
            values << q.value(0).toString();
        return values;
    }
    QString value(const QString& sql) const { return column(sql).value(0); }
    int count(const QString& sql) const { return value(sql).toInt(); }

private:
    static inline int s_count = 0;
    QString m_name;
};

inline bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// quendra-cli running beside the test.
class Cli {
public:
    explicit Cli(const QStringList& args) {
        // Workstation settings of its own (RunCli).
        StartCli(m_p, args, m_settings.path());
    }
    ~Cli() {
        if (m_p.state() != QProcess::NotRunning) {
            m_p.kill();
            m_p.waitForFinished(10000);
        }
    }
    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;
    // The exit code, -1 when it did not end normally within ms.
    int finish(int ms = 120000) {
        if (!m_p.waitForFinished(ms))
            return -1;
        out = QString::fromUtf8(m_p.readAllStandardOutput());
        err = QString::fromUtf8(m_p.readAllStandardError());
        return m_p.exitStatus() == QProcess::NormalExit ? m_p.exitCode() : -1;
    }
    QProcess& process() { return m_p; }
    QString out;
    QString err;

private:
    QTemporaryDir m_settings;
    QProcess m_p;
};
