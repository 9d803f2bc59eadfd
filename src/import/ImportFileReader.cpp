#include "ImportFileReader.h"

#include "common/TextHelpers.h"

#include <algorithm>
#include <vector>

namespace {

// Checks UTF-8 byte by byte across chunk boundaries. Rejects what a strict
// decoder rejects: stray continuation bytes, overlong forms, surrogates,
// code points above U+10FFFF and a sequence cut off at the end.
class Utf8Validator {
public:
    void feed(const unsigned char* data, qsizetype size) {
        for (qsizetype i = 0; i < size && m_valid; ++i)
            feed(data[i]);
    }
    bool valid() const { return m_valid && m_needed == 0; }

private:
    void feed(unsigned char b) {
        if (m_needed > 0) {
            if (b < m_low || b > m_high) {
                m_valid = false;
                return;
            }
            --m_needed;
            m_low = 0x80;
            m_high = 0xBF;
            return;
        }
        if (b < 0x80)
            return;
        m_low = 0x80;
        m_high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            m_needed = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            m_needed = 2;
            if (b == 0xE0)
                m_low = 0xA0; // overlong
            else if (b == 0xED)
                m_high = 0x9F; // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            m_needed = 3;
            if (b == 0xF0)
                m_low = 0x90; // overlong
            else if (b == 0xF4)
                m_high = 0x8F; // above U+10FFFF
        } else {
            m_valid = false;
        }
    }

    bool m_valid = true;
    int m_needed = 0;
    unsigned char m_low = 0x80;
    unsigned char m_high = 0xBF;
};

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

} // namespace

ImportFileReader::ImportFileReader(qint64 chunkSize)
    : m_chunkSize(std::max<qint64>(chunkSize, 1)) {}

ImportFileReader::~ImportFileReader() = default;

bool ImportFileReader::open(const QString& path) {
    close();
    m_error.clear();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return false;
    }
    if (!scan() || !rewind()) {
        m_error = m_file.errorString();
        close();
        return false;
    }
    return true;
}

void ImportFileReader::close() {
    if (m_file.isOpen())
        m_file.close();
    m_buffer = QByteArray();
    m_pos = 0;
    m_atEnd = false;
    m_failed = false;
    m_lineFeeds = 0;
    m_utf8 = false;
    m_byteOrderMark = false;
}

bool ImportFileReader::scan() {
    if (!m_file.seek(0))
        return false;
    Utf8Validator validator;
    bool nonAscii = false;
    qint64 lineFeeds = 0;
    QByteArray start; // the first bytes, for the byte order mark
    std::vector<char> chunk(static_cast<size_t>(m_chunkSize));
    for (;;) {
        const qint64 got = m_file.read(chunk.data(), m_chunkSize);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        const auto* bytes = reinterpret_cast<const unsigned char*>(chunk.data());
        if (start.size() < 3)
            start.append(chunk.data(), std::min<qint64>(got, 3 - start.size()));
        lineFeeds += std::count(chunk.data(), chunk.data() + got, '\n');
        if (!nonAscii)
            nonAscii = std::any_of(bytes, bytes + got, [](unsigned char b) { return b >= 0x80; });
        validator.feed(bytes, got);
    }
    m_lineFeeds = lineFeeds;
    m_utf8 = nonAscii && validator.valid();
    m_byteOrderMark = start == QByteArray(kByteOrderMark);
    return true;
}

bool ImportFileReader::rewind() {
    if (!m_file.isOpen())
        return false;
    m_buffer.clear();
    m_pos = 0;
    m_atEnd = false;
    m_failed = false;
    // The byte order mark is dropped only when the file is read as UTF-8;
    // read as Windows-1252 its bytes are ordinary characters.
    return m_file.seek(m_utf8 && m_byteOrderMark ? 3 : 0);
}

bool ImportFileReader::fillBuffer() {
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + m_chunkSize);
    const qint64 got = m_file.read(m_buffer.data() + old, m_chunkSize);
    m_buffer.resize(old + std::max<qint64>(got, 0));
    if (got <= 0) {
        m_atEnd = true;
        if (got < 0) {
            m_error = m_file.errorString();
            m_failed = true;
        }
        return false;
    }
    return true;
}

QString ImportFileReader::decode(const char* data, qsizetype size) const {
    if (m_utf8)
        return FromUtf8(QByteArrayView(data, size));
    return FromWindows1252(QByteArray::fromRawData(data, size));
}

bool ImportFileReader::readLine(QString* line) {
    if (!m_file.isOpen())
        return false;
    qsizetype searchFrom = m_pos;
    for (;;) {
        const qsizetype lineFeed = m_buffer.indexOf('\n', searchFrom);
        if (lineFeed >= 0) {
            qsizetype end = lineFeed;
            if (end > m_pos && m_buffer[end - 1] == '\r')
                --end;
            *line = decode(m_buffer.constData() + m_pos, end - m_pos);
            m_pos = lineFeed + 1;
            return true;
        }
        if (m_atEnd) {
            if (m_pos >= m_buffer.size())
                return false;
            // Last line without a line end.
            *line = decode(m_buffer.constData() + m_pos, m_buffer.size() - m_pos);
            m_pos = m_buffer.size();
            return true;
        }
        const qsizetype searched = m_buffer.size() - m_pos;
        fillBuffer(); // moves the unread bytes to the front
        searchFrom = searched;
    }
}

bool ImportFileReader::readFirstLines(const QString& path, QString* header, QString* firstArticle,
                                      QString* errorString) {
    ImportFileReader reader;
    if (!reader.open(path)) {
        if (errorString)
            *errorString = reader.errorString();
        return false;
    }
    QString first;
    QString second;
    if (reader.readLine(&first))
        reader.readLine(&second);
    *header = first;
    *firstArticle = second;
    return true;
}
