#pragma once

#include <QString>
#include <QStringList>

class ImportFileReader;

// The article lines of a file up to its end, where empty lines, lines of
// blanks and a DOS end-of-file character (^Z) are no lines: editors and old
// programs leave them behind. Such a line before another line is one.
class FileEndReader {
public:
    explicit FileEndReader(ImportFileReader& reader) : m_reader(reader) {}

    // The next line of reader before the end; false at the end. A ^Z right
    // after the last character of a line that is not blank is dropped.
    bool readLine(QString* line);

private:
    static bool isEnd(const QString& line);
    static void stripFinalEof(QString* line);

    ImportFileReader& m_reader;
    QStringList m_ahead;
};
