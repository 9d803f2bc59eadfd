// The rows of a CSV price list.
#include "SheetRows.h"

#include "import/ImportFileReader.h"

namespace {

// Splits CSV records a line at a time, as RFC 4180 quotes them: a quoted
// cell may hold the separator, doubled quotes and line ends; text after a
// closing quote stays part of the cell.
class CsvSplitter {
public:
    explicit CsvSplitter(QChar sep) : m_sep(sep) {}

    // Takes the next line of the record; true when the record is complete.
    bool feed(QStringView line) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (m_quoted) {
                if (c != u'"')
                    m_cell += c;
                else if (i + 1 < line.size() && line[i + 1] == u'"')
                    m_cell += line[++i];
                else
                    m_quoted = false;
            } else if (c == m_sep) {
                endCell();
            } else if (c == u'"' && !m_wasQuoted && m_cell.trimmed().isEmpty()) {
                m_quoted = true;
                m_wasQuoted = true;
                m_cell.clear();
            } else {
                m_cell += c;
            }
        }
        if (m_quoted) {
            m_cell += u'\n';
            return false;
        }
        endCell();
        return true;
    }
    // The cells of the record fed, and a new record.
    QStringList take() {
        QStringList cells;
        cells.swap(m_cells);
        m_cell.clear();
        m_quoted = m_wasQuoted = false;
        return cells;
    }

private:
    void endCell() {
        m_cells.append(m_wasQuoted ? m_cell : m_cell.trimmed());
        m_cell.clear();
        m_wasQuoted = false;
    }
    QChar m_sep;
    QStringList m_cells;
    QString m_cell;
    bool m_quoted = false;
    bool m_wasQuoted = false;
};

QStringList SplitRecord(const QString& record, QChar sep) {
    CsvSplitter splitter(sep);
    splitter.feed(record);
    return splitter.take();
}

// The separator at which most of the lines split into two cells or more,
// at least two of them; a null QChar for none.
QChar DetectSeparator(const QStringList& lines) {
    QChar best;
    int bestLines = 0;
    int counted = 0;
    for (const QString& l : lines)
        counted += !l.trimmed().isEmpty();
    for (const QChar sep : {QChar(u';'), QChar(u'\t'), QChar(u',')}) {
        int split = 0;
        for (const QString& l : lines)
            if (!l.trimmed().isEmpty())
                split += SplitRecord(l, sep).size() >= 2;
        if (split > bestLines) {
            best = sep;
            bestLines = split;
        }
    }
    // Two lines at least (a title line may be one of them); a file of one line needs it.
    return counted > 0 && bestLines >= qMin(counted, 2) && bestLines * 2 >= counted ? best
                                                                                    : QChar();
}

QString SeparatorName(QChar sep) {
    if (sep == u'\t')
        return QStringLiteral("Tabulator");
    return sep == u',' ? QStringLiteral("Komma") : QStringLiteral("Semikolon");
}

// Lines a quoted cell may go on over before the quote counts as not closed.
constexpr int kMaxLinesOfCell = 1000;

class Csv : public SheetRows {
public:
    explicit Csv(QString path) : m_path(std::move(path)) {}

    bool open() override {
        if (!m_reader.open(m_path)) {
            m_error = m_reader.errorString();
            return false;
        }
        QStringList first;
        QString line;
        while (first.size() < 20 && m_reader.readLine(&line))
            first << line;
        m_sep = DetectSeparator(first);
        if (m_sep.isNull())
            m_sep = u';';
        return rewind();
    }

    bool next(SheetRow* row, qint64* number) override {
        QString line;
        while (!m_failed && m_reader.readLine(&line)) {
            const qint64 start = ++m_line;
            CsvSplitter splitter(m_sep);
            // A quoted cell goes on over line ends, not to the file's end.
            bool complete = splitter.feed(line);
            for (int more = 0; !complete; ++more) {
                if (more == kMaxLinesOfCell || !m_reader.readLine(&line)) {
                    m_failed = true;
                    m_errorRow = start;
                    m_error = QStringLiteral("Anführungszeichen nicht geschlossen");
                    return false;
                }
                ++m_line;
                complete = splitter.feed(line);
            }
            const QStringList cells = splitter.take();
            row->resize(cells.size());
            bool any = false;
            for (qsizetype i = 0; i < cells.size(); ++i) {
                (*row)[i].text = cells[i];
                (*row)[i].kind =
                    cells[i].isEmpty() ? SheetCell::Kind::Empty : SheetCell::Kind::Text;
                any = any || !cells[i].isEmpty();
            }
            if (!any)
                continue;
            *number = start;
            return true;
        }
        return false;
    }

    bool rewind() override {
        m_line = 0;
        m_failed = false;
        m_errorRow = 0;
        m_error.clear();
        if (m_reader.rewind())
            return true;
        m_error = m_reader.errorString();
        return false;
    }
    bool failed() const override { return m_failed || m_reader.failed(); }
    QString error() const override { return m_error.isEmpty() ? m_reader.errorString() : m_error; }
    qint64 errorRow() const override { return m_errorRow; }
    QChar separator() const override { return m_sep; }
    qint64 rowCount() const override { return m_reader.lineFeedCount(); }
    QString description() const override {
        return QStringLiteral("Trennzeichen %1, %2")
            .arg(SeparatorName(m_sep),
                 m_reader.isUtf8() ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1252"));
    }

private:
    QString m_path;
    ImportFileReader m_reader;
    QString m_error;
    QChar m_sep = u';';
    qint64 m_line = 0;
    qint64 m_errorRow = 0;
    bool m_failed = false;
};

} // namespace

std::unique_ptr<SheetRows> CsvRows(const QString& path) {
    return std::make_unique<Csv>(path);
}

bool LooksLikeCsv(const QStringList& firstLines) {
    QStringList lines = firstLines.mid(0, 20);
    // The last line of a file's start may be cut.
    if (lines.size() > 2)
        lines.removeLast();
    for (const QString& l : lines)
        if (l.contains(QChar(0)))
            return false;
    return !DetectSeparator(lines).isNull();
}
