#include "FileEndReader.h"

#include "import/ImportFileReader.h"

bool FileEndReader::readLine(QString* line) {
    if (!m_ahead.isEmpty()) {
        *line = m_ahead.takeFirst();
        return true;
    }
    if (!m_reader.readLine(line))
        return false;
    if (!isEnd(*line)) {
        stripFinalEof(line);
        return true;
    }
    // Blank: the end when nothing but blanks follows.
    QStringList blanks{*line};
    QString next;
    while (m_reader.readLine(&next)) {
        blanks << next;
        if (!isEnd(next)) {
            stripFinalEof(&blanks.last());
            *line = blanks.takeFirst();
            m_ahead = blanks;
            return true;
        }
    }
    return false;
}

bool FileEndReader::isEnd(const QString& line) {
    for (QChar c : line)
        if (c != u' ' && c != u'\t' && c != QChar(0x1A))
            return false;
    return true;
}

// "...^Z": the end-of-file character written right after the last line is
// not part of it (it is part of no line's data).
void FileEndReader::stripFinalEof(QString* line) {
    if (line->endsWith(QChar(0x1A)))
        line->chop(1);
}
