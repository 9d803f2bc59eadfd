#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Reads an import file line by line without holding it in memory (price files
// run to 200,000 lines and more than 100 MB).
//
// Lines end with CR LF or LF; both are stripped, a CR anywhere else stays part
// of the line. A last line without a line end still counts; an empty file has
// no lines.
//
// Decoding: a file that is valid UTF-8 and holds at least one non-ASCII byte
// (with or without a byte order mark) is read as UTF-8 and its byte order
// mark is dropped; every other file is read as Windows-1252, byte for byte.
// open() decides this with one pass over the whole file, which also counts
// the line-feed characters (the maximum of the import's progress meter).
class ImportFileReader {
public:
    static constexpr qint64 kDefaultChunkSize = 1 << 20;

    // chunkSize: bytes read from the file at a time (at least 1).
    explicit ImportFileReader(qint64 chunkSize = kDefaultChunkSize);
    ~ImportFileReader();
    ImportFileReader(const ImportFileReader&) = delete;
    ImportFileReader& operator=(const ImportFileReader&) = delete;

    // DATANORM files: a file that is not UTF-8 is read as code page 850 (the
    // DOS code page of most of them) unless it holds more of Windows-1252's
    // umlaut bytes than of code page 850's. Set before open().
    void setDosCodePage(bool on) { m_dosCodePage = on; }
    bool isCp850() const { return m_cp850; }

    // Opens the file, scans it and positions before the first line. False
    // when the file cannot be opened or read; errorString() then says why.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_error; }
    // True when reading stopped on an error rather than at the end.
    bool failed() const { return m_failed; }

    // The next line without its line end; false at the end of the file (or
    // when the file is not open or cannot be read).
    bool readLine(QString* line);

    // Starts again before the first line, to read the file a second time.
    // False when the file is not open or cannot be positioned.
    bool rewind();

    qint64 lineFeedCount() const { return m_lineFeeds; }
    bool isUtf8() const { return m_utf8; }

    // Reads the first two lines of a file (the header and the first article
    // line of an extended import file), decoded as above. A missing line
    // reads as empty text. False when the file cannot be opened.
    static bool readFirstLines(const QString& path, QString* header, QString* firstArticle,
                               QString* errorString = nullptr);

private:
    bool scan();
    bool fillBuffer();
    QString decode(const char* data, qsizetype size) const;

    QFile m_file;
    QString m_error;
    qint64 m_chunkSize;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    bool m_failed = false;
    qint64 m_lineFeeds = 0;
    bool m_utf8 = false;
    bool m_byteOrderMark = false;
    bool m_dosCodePage = false;
    bool m_cp850 = false;
};
