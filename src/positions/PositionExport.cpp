#include "PositionExport.h"

#include "positions/PositionView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <array>
#include <cstdio>
#include <string>
#include <xlsxwriter.h>

using namespace PositionGrid;

namespace {

// How often the progress is told (rows).
constexpr int kProgressStep = 500;
// The last row a sheet has (Excel's limit), the header row counted.
constexpr int kMaxSheetRows = 1048576;

// What a cell of a column is in a spreadsheet.
enum class Kind { Text, Number, Date, SlashDate, Deviation };

Kind kindOf(int column) {
    if (column == Abweichung)
        return Kind::Deviation;
    if (column == EkDatAb || column == VkDatAb)
        return Kind::SlashDate;
    switch (ColumnOf(column).kind) {
    case CellKind::Number:
        return Kind::Number;
    case CellKind::Date:
        return Kind::Date;
    case CellKind::Text:
    case CellKind::List:
        break;
    }
    return Kind::Text;
}

// The row's text cells as UTF-8, split once (cellText would scan the row's
// text from its start for every column).
using Fields = std::array<QByteArrayView, kColumns>;
void splitFields(const PositionRow& row, Fields& fields) {
    const QByteArray& texts = row.texts;
    qsizetype start = 0;
    for (int c = 0; c < kColumns; ++c) {
        qsizetype end = texts.indexOf('\n', start);
        if (end < 0)
            end = texts.size();
        fields[size_t(c)] = QByteArrayView(texts.constData() + qMin(start, texts.size()),
                                           qMax<qsizetype>(0, end - start));
        start = end + 1;
    }
}

// A "dd/mm/yyyy" date read at its fixed places; invalid for anything else.
QDate slashDate(QByteArrayView v) {
    if (v.size() != 10 || v[2] != '/' || v[5] != '/')
        return QDate();
    int d[8];
    int n = 0;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (v[i] < '0' || v[i] > '9')
            return QDate();
        d[n++] = v[i] - '0';
    }
    return QDate(d[4] * 1000 + d[5] * 100 + d[6] * 10 + d[7], d[2] * 10 + d[3], d[0] * 10 + d[1]);
}

// A cell as a spreadsheet takes it.
struct Cell {
    enum Type { Empty, Number, Date, Text } type = Empty;
    double number = 0;
    int decimals = 0;
    bool percent = false; // "% Abw.": a number shown with " %"
    QDate date;
    QByteArrayView text;
};

// The cell of column c of a row whose text cells are split into texts.
Cell cellOf(const PositionRow& row, const Fields& texts, int c) {
    Cell cell;
    const QByteArrayView text = texts[size_t(c)];
    switch (kindOf(c)) {
    case Kind::Number:
        if (row.hasNumber(c)) {
            cell.type = Cell::Number;
            cell.number = row.number(c);
            cell.decimals = ColumnOf(c).decimals;
        }
        return cell;
    case Kind::Deviation:
        if (ParseDeviation(QString::fromUtf8(text), &cell.number)) {
            cell.type = Cell::Number;
            cell.decimals = 2;
            cell.percent = true;
        }
        return cell;
    case Kind::Date:
    case Kind::SlashDate:
        cell.date = kindOf(c) == Kind::Date ? row.date : slashDate(text.trimmed());
        if (cell.date.isValid()) {
            cell.type = Cell::Date;
            return cell;
        }
        break;
    case Kind::Text:
        break;
    }
    // A date list holding no date is kept as its text.
    cell.text = text;
    cell.type = text.isEmpty() ? Cell::Empty : Cell::Text;
    return cell;
}

// A .csv field from UTF-8, as CsvField() makes it.
void appendCsvField(QByteArray& out, QByteArrayView text) {
    bool formula = false;
    bool quote = false;
    if (!text.isEmpty()) {
        const char first = text.front();
        formula = first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' ||
                  first == '\r';
        quote = first == ' ' || first == '\t' || text.back() == ' ' || text.back() == '\t';
    }
    for (const char ch : text)
        quote = quote || ch == ';' || ch == '"' || ch == '\n' || ch == '\r';
    if (!quote && !formula) {
        out.append(text);
        return;
    }
    if (quote)
        out += '"';
    if (formula)
        out += '\'';
    for (const char ch : text) {
        if (ch == '"')
            out += '"';
        out += ch;
    }
    if (quote)
        out += '"';
}

bool tellProgress(const std::function<bool(int, int)>& progress, int done, int total) {
    return !progress || progress(done, total);
}

// A number as the .csv has it: the grid's German form without the points
// between thousands.
QString csvNumber(double value, int decimals) {
    return FormatNumber(value, decimals).remove(u'.');
}

PositionExportResult failed(const QString& error) {
    PositionExportResult r;
    r.error = error;
    return r;
}

// --- .csv ------------------------------------------------------------------

PositionExportResult writeCsv(const QString& path, const PositionGridModel& grid,
                              const QList<int>& rows,
                              const std::function<bool(int, int)>& progress) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path);
    QByteArray out("\xEF\xBB\xBF");
    for (int c = 0; c < kColumns; ++c) {
        if (c > 0)
            out += ';';
        appendCsvField(out, Caption(c).toUtf8());
    }
    out += "\r\n";
    PositionExportResult result;
    const int total = int(rows.size());
    Fields texts;
    char number[48];
    for (int i = 0; i < total; ++i) {
        const PositionRow& row = grid.row(rows[i]);
        splitFields(row, texts);
        for (int c = 0; c < kColumns; ++c) {
            if (c > 0)
                out += ';';
            const Cell cell = cellOf(row, texts, c);
            switch (cell.type) {
            case Cell::Empty:
                break;
            case Cell::Number:
                out += csvNumber(cell.number, cell.decimals).toUtf8();
                if (cell.percent)
                    out += " %";
                break;
            case Cell::Date:
                std::snprintf(number, sizeof number, "%02d.%02d.%04d", cell.date.day(),
                              cell.date.month(), cell.date.year());
                out += number;
                break;
            case Cell::Text:
                appendCsvField(out, cell.text);
                break;
            }
        }
        out += "\r\n";
        if (out.size() > (1 << 20)) {
            if (file.write(out) != out.size())
                return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path);
            out.clear();
        }
        result.rows = i + 1;
        if ((i + 1) % kProgressStep == 0 && !tellProgress(progress, i + 1, total)) {
            file.cancelWriting();
            result.cancelled = true;
            result.error = QStringLiteral("Export abgebrochen");
            return result;
        }
    }
    if (file.write(out) != out.size() || !file.commit())
        return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path);
    tellProgress(progress, total, total);
    result.ok = true;
    return result;
}

// --- .xlsx -----------------------------------------------------------------

// The number format of a column's decimals ("#,##0.00").
QByteArray numberFormat(int decimals) {
    return decimals > 0 ? "#,##0." + QByteArray(decimals, '0') : QByteArray("#,##0");
}

class Workbook {
public:
    explicit Workbook(const QByteArray& file) {
        lxw_workbook_options options{};
        // Each row goes to disk once the next one starts: memory stays flat
        // for 100,000 rows.
        options.constant_memory = LXW_TRUE;
        m_book = workbook_new_opt(file.constData(), &options);
        if (!m_book)
            return;
        m_sheet = workbook_add_worksheet(m_book, "Positionen");
        m_header = workbook_add_format(m_book);
        format_set_bold(m_header);
        format_set_bottom(m_header, LXW_BORDER_THIN);
        m_date = workbook_add_format(m_book);
        format_set_num_format(m_date, "dd.mm.yyyy");
        m_deviation = workbook_add_format(m_book);
        format_set_num_format(m_deviation, "0.00\" %\"");
        for (int decimals = 0; decimals <= 4; ++decimals) {
            m_numbers[decimals] = workbook_add_format(m_book);
            format_set_num_format(m_numbers[decimals], numberFormat(decimals).constData());
        }
    }
    ~Workbook() {
        if (m_book)
            workbook_close(m_book);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    bool ready() const { return m_book && m_sheet; }
    lxw_worksheet* sheet() const { return m_sheet; }
    lxw_format* header() const { return m_header; }
    lxw_format* date() const { return m_date; }
    lxw_format* deviation() const { return m_deviation; }
    lxw_format* number(int decimals) const { return m_numbers[qBound(0, decimals, 4)]; }
    void setTitle(QByteArray title) {
        lxw_doc_properties properties{};
        properties.title = title.data();
        workbook_set_properties(m_book, &properties);
    }
    // Writes the file; the error of libxlsxwriter, or "".
    QString close() {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        return error == LXW_NO_ERROR ? QString() : QString::fromUtf8(lxw_strerror(error));
    }

private:
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_header = nullptr;
    lxw_format* m_date = nullptr;
    lxw_format* m_deviation = nullptr;
    lxw_format* m_numbers[5] = {};
};

lxw_datetime excelDate(const QDate& d) {
    lxw_datetime t{};
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    return t;
}

// The header row: captions, widths, frozen, with an autofilter over rows.
void writeSheetHeader(Workbook& book, int rows) {
    lxw_worksheet* sheet = book.sheet();
    for (int c = 0; c < kColumns; ++c) {
        // About a character per 6 pixels of the grid's layout, never
        // narrower than the caption.
        const double width = qMax(double(Caption(c).size()) + 2, ColumnOf(c).widthTwips / 6.0 + 2);
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), width, nullptr);
        worksheet_write_string(sheet, 0, lxw_col_t(c), Caption(c).toUtf8().constData(),
                               book.header());
    }
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, lxw_row_t(rows), kColumns - 1);
}

// One grid row as sheet row line: numbers with their column's format,
// dates as dates, texts as they are.
void writeSheetRow(Workbook& book, lxw_row_t line, const PositionRow& row, Fields& texts,
                   std::string& zeroEnded) {
    lxw_worksheet* sheet = book.sheet();
    splitFields(row, texts);
    for (int c = 0; c < kColumns; ++c) {
        const lxw_col_t col = lxw_col_t(c);
        const Cell cell = cellOf(row, texts, c);
        switch (cell.type) {
        case Cell::Empty:
            break;
        case Cell::Number:
            worksheet_write_number(sheet, line, col, cell.number,
                                   cell.percent ? book.deviation() : book.number(cell.decimals));
            break;
        case Cell::Date: {
            lxw_datetime t = excelDate(cell.date);
            worksheet_write_datetime(sheet, line, col, &t, book.date());
            break;
        }
        case Cell::Text:
            zeroEnded.assign(cell.text.data(), size_t(cell.text.size()));
            worksheet_write_string(sheet, line, col, zeroEnded.c_str(), nullptr);
            break;
        }
    }
}

PositionExportResult writeXlsx(const QString& path, const PositionGridModel& grid,
                               const QList<int>& rows,
                               const std::function<bool(int, int)>& progress) {
    const int total = int(rows.size());
    if (total + 1 > kMaxSheetRows)
        return failed(QStringLiteral("Zu viele Positionen für eine Tabelle: höchstens %1")
                          .arg(kMaxSheetRows - 1));
    // Written beside the target under a name of its own, then put in place.
    QTemporaryFile aside(QFileInfo(path).absolutePath() +
                         QStringLiteral("/.quendra-export-XXXXXX"));
    if (!aside.open())
        return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path);
    aside.close();
    PositionExportResult result;
    QString error;
    {
        Workbook book(QFile::encodeName(aside.fileName()));
        if (!book.ready())
            return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path);
        book.setTitle(QStringLiteral("Positionen").toUtf8());
        writeSheetHeader(book, total);
        Fields texts;
        std::string zeroEnded;
        for (int i = 0; i < total; ++i) {
            writeSheetRow(book, lxw_row_t(i + 1), grid.row(rows[i]), texts, zeroEnded);
            result.rows = i + 1;
            if ((i + 1) % kProgressStep == 0 && !tellProgress(progress, i + 1, total)) {
                result.cancelled = true;
                break;
            }
        }
        error = book.close();
    }
    if (result.cancelled) {
        result.error = QStringLiteral("Export abgebrochen");
        return result;
    }
    if (!error.isEmpty())
        return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path +
                      QStringLiteral(" (") + error + u')');
    // Readable as any file the user writes, then over an earlier file at once.
    QFile::setPermissions(aside.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(QFile::encodeName(aside.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return failed(QStringLiteral("Datei kann nicht geschrieben werden: ") + path);
    aside.setAutoRemove(false);
    tellProgress(progress, total, total);
    result.ok = true;
    return result;
}

} // namespace

ExportFormat ExportFormatOf(const QString& path) {
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? ExportFormat::Csv
                                                                      : ExportFormat::Xlsx;
}

QString CsvField(const QString& text, bool isText) {
    if (!isText)
        return text;
    QByteArray out;
    appendCsvField(out, text.toUtf8());
    return QString::fromUtf8(out);
}

PositionExportResult ExportPositions(const QString& path, ExportFormat format,
                                     const PositionGridModel& grid, const QList<int>& rows,
                                     const std::function<bool(int, int)>& progress) {
    for (int r : rows)
        if (r < 0 || r >= grid.size())
            return failed(QStringLiteral("Keine solche Zeile: ") + QString::number(r));
    return format == ExportFormat::Csv ? writeCsv(path, grid, rows, progress)
                                       : writeXlsx(path, grid, rows, progress);
}

QString ExportFileName(const QString& supplier, const QString& supplierName) {
    QString name = supplier + u' ' + supplierName;
    for (QChar& c : name)
        if (c.unicode() < 0x20 || c.category() == QChar::Other_Control ||
            QStringView(u"\\/:*?\"<>|").contains(c))
            c = u'_';
    return QStringLiteral("Positionen ") + name.simplified() + QStringLiteral(".xlsx");
}
