#include "ImportFileReader.h"

#include "common/TextHelpers.h"

#include <algorithm>
#include <cstring>
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

// Code page 850, bytes 0x80 to 0xFF.
constexpr char16_t kCp850[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

QString FromCp850(const char* data, qsizetype size) {
    QString text(size, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        out[i] = QChar(b < 0x80 ? char16_t(b) : kCp850[b - 0x80]);
    }
    return text;
}

// The German letters' bytes in each code page (ä ö ü Ä Ö Ü ß).
bool IsCp850Umlaut(unsigned char b) {
    return b == 0x84 || b == 0x94 || b == 0x81 || b == 0x8E || b == 0x99 || b == 0x9A || b == 0xE1;
}
bool IsWindows1252Umlaut(unsigned char b) {
    return b == 0xE4 || b == 0xF6 || b == 0xFC || b == 0xC4 || b == 0xD6 || b == 0xDC || b == 0xDF;
}

qint64 CountLineFeeds(const char* data, qint64 size) {
    qint64 count = 0;
    const char* end = data + size;
    while (const void* found = std::memchr(data, '\n', size_t(end - data))) {
        ++count;
        data = static_cast<const char*>(found) + 1;
    }
    return count;
}

// Adds the umlaut bytes of each code page; eight bytes at a time past the
// ASCII text that makes up most of a file.
void CountUmlauts(const unsigned char* bytes, qint64 size, qint64* cp850, qint64* windows1252) {
    qint64 i = 0;
    while (i < size) {
        if (i + 8 <= size) {
            quint64 eight = 0;
            std::memcpy(&eight, bytes + i, 8);
            if ((eight & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        *cp850 += IsCp850Umlaut(bytes[i]);
        *windows1252 += IsWindows1252Umlaut(bytes[i]);
        ++i;
    }
}

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
    m_cp850 = false;
}

bool ImportFileReader::scan() {
    if (!m_file.seek(0))
        return false;
    Utf8Validator validator;
    bool nonAscii = false;
    qint64 lineFeeds = 0;
    qint64 cp850 = 0;
    qint64 windows1252 = 0;
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
        lineFeeds += CountLineFeeds(chunk.data(), got);
        if (!nonAscii)
            nonAscii = std::any_of(bytes, bytes + got, [](unsigned char b) { return b >= 0x80; });
        validator.feed(bytes, got);
        if (m_dosCodePage)
            CountUmlauts(bytes, got, &cp850, &windows1252);
    }
    m_lineFeeds = lineFeeds;
    m_utf8 = nonAscii && validator.valid();
    m_byteOrderMark = start == QByteArray(kByteOrderMark);
    m_cp850 = m_dosCodePage && !m_utf8 && cp850 >= windows1252;
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
    if (m_cp850)
        return FromCp850(data, size);
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
