#include "XmlSource.h"

#include "common/TextHelpers.h"

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <zip.h>

namespace {
constexpr qint64 kChunk = 1 << 16;
} // namespace

XmlFileDevice::XmlFileDevice(const QString& path) : m_file(std::make_unique<QFile>(path)) {}

XmlFileDevice::~XmlFileDevice() = default;

QByteArray XmlFileDevice::DeclaredEncoding(const QByteArray& start) {
    qsizetype from = start.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (start.mid(from, 5) != "<?xml")
        return {};
    const qsizetype end = start.indexOf("?>", from);
    if (end < 0)
        return {};
    static const QRegularExpression encoding(
        QStringLiteral("encoding\\s*=\\s*[\"']([A-Za-z0-9._:-]+)[\"']"));
    const auto m = encoding.match(QString::fromLatin1(start.mid(from, end - from)));
    return m.hasMatch() ? m.captured(1).toLatin1().toLower() : QByteArray();
}

bool XmlFileDevice::open(OpenMode mode) {
    if (!m_file->open(QIODevice::ReadOnly)) {
        m_error = m_file->errorString();
        return false;
    }
    m_pending = m_file->read(kChunk);
    m_at = 0;
    m_fileEnd = m_pending.size() < kChunk;
    const QByteArray encoding = DeclaredEncoding(m_pending);
    // ISO-8859-1 as Windows-1252: the same printable characters, and files
    // declared ISO-8859-1 are mostly written by Windows ("€", „…“).
    if (encoding == "iso-8859-1" || encoding == "latin1" || encoding == "latin-1" ||
        encoding == "windows-1252" || encoding == "cp1252")
        m_convert = Convert::Windows1252;
    else if (!encoding.isEmpty() && encoding != "utf-8" && encoding != "utf8" &&
             encoding != "us-ascii" && encoding != "utf-16") {
        m_error = QStringLiteral("Zeichensatz %1 wird nicht unterstützt")
                      .arg(QString::fromLatin1(encoding));
        m_file->close();
        return false;
    }
    if (m_convert != Convert::None) {
        // A character split by the piece is no problem: one byte, one
        // character.
        const qsizetype end = m_pending.indexOf("?>");
        QByteArray declaration = m_pending.left(end);
        static const QRegularExpression named(QStringLiteral("encoding\\s*=\\s*[\"'][^\"']*[\"']"));
        QString d = QString::fromLatin1(declaration);
        d.replace(named, QStringLiteral("encoding=\"UTF-8\""));
        const QByteArray rest = m_pending.mid(end);
        m_pending = d.toLatin1() + FromWindows1252(rest).toUtf8();
    }
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

void XmlFileDevice::close() {
    m_file->close();
    m_pending.clear();
    m_at = 0;
    QIODevice::close();
}

bool XmlFileDevice::atEnd() const {
    return m_fileEnd && m_at >= m_pending.size();
}

qint64 XmlFileDevice::bytesAvailable() const {
    return (m_pending.size() - m_at) + (m_fileEnd ? 0 : kChunk);
}

qint64 XmlFileDevice::consumed() const {
    return m_file->pos();
}

bool XmlFileDevice::fill() {
    if (m_fileEnd)
        return false;
    const QByteArray next = m_file->read(kChunk);
    if (next.size() < kChunk)
        m_fileEnd = true;
    if (next.isEmpty())
        return false;
    switch (m_convert) {
    case Convert::None:
        m_pending = next;
        break;
    case Convert::Windows1252:
        m_pending = FromWindows1252(next).toUtf8();
        break;
    }
    m_at = 0;
    return true;
}

qint64 XmlFileDevice::readData(char* data, qint64 maxSize) {
    if (m_at >= m_pending.size() && !fill())
        return m_file->error() == QFileDevice::NoError ? 0 : -1;
    const qint64 n = qMin<qint64>(maxSize, m_pending.size() - m_at);
    memcpy(data, m_pending.constData() + m_at, size_t(n));
    m_at += n;
    return n;
}

ZipEntryDevice::ZipEntryDevice(zip* archive, const QString& entry)
    : m_archive(archive), m_entry(entry) {}

ZipEntryDevice::~ZipEntryDevice() {
    close();
}

bool ZipEntryDevice::open(OpenMode mode) {
    m_file = zip_fopen(m_archive, m_entry.toUtf8().constData(), 0);
    if (!m_file)
        return false;
    m_end = false;
    m_failed = false;
    // Unbuffered: each read goes to libzip. Through QIODevice's own buffer
    // QXmlStreamReader took a part bigger than one piece as ended early.
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

void ZipEntryDevice::close() {
    if (m_file)
        zip_fclose(m_file);
    m_file = nullptr;
    if (isOpen())
        QIODevice::close();
}

qint64 ZipEntryDevice::readData(char* data, qint64 maxSize) {
    if (!m_file || m_end)
        return 0;
    const zip_int64_t got = zip_fread(m_file, data, zip_uint64_t(maxSize));
    if (got < 0) {
        m_failed = true;
        m_end = true;
        return -1;
    }
    if (got == 0)
        m_end = true;
    return got;
}

QString XmlProblem(const QXmlStreamReader& xml, const QString& whole) {
    switch (xml.error()) {
    case QXmlStreamReader::NoError:
        return QString();
    case QXmlStreamReader::PrematureEndOfDocumentError:
        return QStringLiteral("Datei endet mitten im %1 (unvollständig)").arg(whole);
    case QXmlStreamReader::NotWellFormedError:
        return QStringLiteral("kein gültiges XML (Element nicht geschlossen oder falsch "
                              "verschachtelt, unerlaubtes Zeichen)");
    case QXmlStreamReader::UnexpectedElementError:
        return QStringLiteral("unerwartetes Element");
    case QXmlStreamReader::CustomError:
        return xml.errorString();
    }
    return QStringLiteral("kein gültiges XML");
}
