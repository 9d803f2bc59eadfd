#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

class QXmlStreamReader;
struct zip;
struct zip_file;

// An XML file as UTF-8 for QXmlStreamReader, read a piece at a time: a file
// declared as ISO-8859-1 or Windows-1252 is converted on the way and its
// declaration then says UTF-8. A file in another encoding (UTF-16 with its
// byte order mark) passes as it is.
class XmlFileDevice : public QIODevice {
public:
    explicit XmlFileDevice(const QString& path);
    ~XmlFileDevice() override;

    // Opens the file and reads its declaration; false when the file cannot
    // be read or declares an encoding no supplier file has (error() says).
    bool open(OpenMode mode = ReadOnly) override;
    void close() override;
    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;
    QString error() const { return m_error; }
    // Bytes of the file read so far.
    qint64 consumed() const;

    // The encoding named by a declaration at the start of data ("" for
    // none), lower case.
    static QByteArray DeclaredEncoding(const QByteArray& start);

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    bool fill();
    enum class Convert { None, Windows1252 };
    std::unique_ptr<class QFile> m_file;
    QString m_error;
    Convert m_convert = Convert::None;
    QByteArray m_pending;
    qsizetype m_at = 0;
    bool m_fileEnd = false;
};

// One entry of a zip archive (a sheet of a workbook) as a device, unpacked a
// piece at a time by libzip.
class ZipEntryDevice : public QIODevice {
public:
    ZipEntryDevice(zip* archive, const QString& entry);
    ~ZipEntryDevice() override;
    bool open(OpenMode mode = ReadOnly) override;
    void close() override;
    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_end && QIODevice::bytesAvailable() == 0; }
    bool failed() const { return m_failed; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    zip* m_archive;
    QString m_entry;
    zip_file* m_file = nullptr;
    bool m_end = false;
    bool m_failed = false;
};

// Why a document stopped being XML, in German, for the line error; whole
// names what it is ("Katalog", "Blatt").
QString XmlProblem(const QXmlStreamReader& xml, const QString& whole);
