// The rows of a sheet of an .xlsx workbook, read with libzip and
// QXmlStreamReader.
#include "SheetRows.h"

#include "import/XmlSource.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <cmath>
#include <zip.h>

namespace {

// Built-in number formats of a workbook that show a date or a time.
bool IsDateFormatId(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

// A format code shows a date when, outside quotes and brackets, it holds
// a day, month or year.
bool IsDateFormatCode(const QString& code) {
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == u'[')
            bracket = true;
        else if (c == u']')
            bracket = false;
        else if (bracket)
            continue;
        else if (c == u'\\')
            ++i;
        else if (QStringLiteral("dDmMyY").contains(c))
            return true;
    }
    return false;
}

// Shared texts a workbook may hold (an .xlsx of a million rows holds a few
// million at most; a part of tiny texts could take gigabytes).
constexpr qsizetype kMaxSharedStrings = 4000000;
constexpr zip_uint64_t kMaxSharedStringBytes = zip_uint64_t(1) << 30;

class Xlsx : public SheetRows {
public:
    Xlsx(QString path, QString sheet) : m_path(std::move(path)), m_wanted(std::move(sheet)) {}
    ~Xlsx() override { closeArchive(); }

    bool open() override {
        int error = 0;
        m_zip = zip_open(QFile::encodeName(m_path).constData(), ZIP_RDONLY, &error);
        if (!m_zip) {
            m_error = QStringLiteral("Arbeitsmappe kann nicht gelesen werden");
            return false;
        }
        if (!readWorkbook())
            return false;
        // The sheet's size, from its head; its texts and formats when its
        // rows are read (telling what the file is needs neither).
        readEntry(m_sheetPath, false, [&](QXmlStreamReader& xml) {
            if (xml.name() == u"dimension")
                readDimension(xml);
            if (xml.name() == u"dimension" || xml.name() == u"sheetData")
                xml.raiseError(QStringLiteral("enough"));
        });
        m_error.clear();
        return rewind();
    }

    bool next(SheetRow* row, qint64* number) override {
        row->clear();
        if (!m_cellsRead) {
            if (!readSharedStrings() || !readStyles()) {
                m_failed = true;
                return false;
            }
            m_cellsRead = true;
        }
        while (!m_failed && !m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement && m_xml.name() == u"row") {
                const QString r = m_xml.attributes().value(QStringLiteral("r")).toString();
                bool numbered = r.isEmpty();
                const qint64 given = numbered ? 0 : r.toLongLong(&numbered);
                if (!numbered || (!r.isEmpty() && given <= m_row)) {
                    return broken(
                        QStringLiteral("Zeilennummer %1 nach Zeile %2").arg(r).arg(m_row));
                }
                m_row = r.isEmpty() ? m_row + 1 : given;
                if (!readRow(row))
                    break;
                bool any = false;
                for (const SheetCell& c : *row)
                    any = any || c.kind != SheetCell::Kind::Empty;
                if (!any) {
                    row->clear();
                    continue;
                }
                *number = m_row;
                return true;
            }
        }
        if (!m_failed && (m_xml.hasError() || (m_device && m_device->failed())))
            broken(XmlProblem(m_xml, QStringLiteral("Blatt")));
        return false;
    }

    bool rewind() override {
        m_xml.clear();
        m_device.reset();
        m_device = std::make_unique<ZipEntryDevice>(m_zip, m_sheetPath);
        if (!m_device->open()) {
            m_error = QStringLiteral("Blatt %1 fehlt in der Arbeitsmappe").arg(m_sheetName);
            return false;
        }
        m_xml.setDevice(m_device.get());
        m_row = 0;
        m_failed = false;
        return true;
    }
    bool failed() const override { return m_failed; }
    qint64 errorRow() const override { return m_failed ? m_row : 0; }
    QString error() const override { return m_error; }
    qint64 rowCount() const override { return m_rows; }
    QString description() const override { return QStringLiteral("Blatt ") + m_sheetName; }
    QStringList sheets() const override { return m_sheetNames; }

private:
    // The sheet cannot be read on: why, after the rows read so far.
    bool broken(const QString& reason) {
        m_failed = true;
        m_error = QStringLiteral("Blatt %1: %2").arg(m_sheetName, reason);
        return false;
    }

    void closeArchive() {
        m_xml.clear();
        m_device.reset();
        if (m_zip)
            zip_discard(m_zip);
        m_zip = nullptr;
    }

    // Runs each over the start tags of an entry; false when it is not
    // there (and needed) or no XML.
    template <typename Each> bool readEntry(const QString& entry, bool needed, Each each) {
        ZipEntryDevice device(m_zip, entry);
        if (!device.open()) {
            if (needed)
                m_error = QStringLiteral("Keine Arbeitsmappe: %1 fehlt").arg(entry);
            return !needed;
        }
        QXmlStreamReader xml(&device);
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement)
                each(xml);
        if (xml.hasError()) {
            m_error = QStringLiteral("%1: %2").arg(entry, XmlProblem(xml, QStringLiteral("Teil")));
            return false;
        }
        return true;
    }

    bool readWorkbook() {
        QList<QPair<QString, QString>> sheets; // name, relation id
        if (!readEntry(QStringLiteral("xl/workbook.xml"), true, [&](QXmlStreamReader& xml) {
                if (xml.name() == u"workbookPr") {
                    const auto v = xml.attributes().value(QStringLiteral("date1904"));
                    m_date1904 = v == u"1" || v == u"true";
                }
                if (xml.name() != u"sheet")
                    return;
                QString id;
                for (const QXmlStreamAttribute& a : xml.attributes())
                    if (a.name() == u"id")
                        id = a.value().toString();
                sheets.append({xml.attributes().value(QStringLiteral("name")).toString(), id});
            }))
            return false;
        QHash<QString, QString> targets;
        if (!readEntry(
                QStringLiteral("xl/_rels/workbook.xml.rels"), true, [&](QXmlStreamReader& xml) {
                    if (xml.name() == u"Relationship")
                        targets.insert(xml.attributes().value(QStringLiteral("Id")).toString(),
                                       xml.attributes().value(QStringLiteral("Target")).toString());
                }))
            return false;
        for (const auto& s : sheets)
            m_sheetNames << s.first;
        for (const auto& [name, id] : sheets) {
            if (!m_wanted.isEmpty() && name != m_wanted)
                continue;
            QString target = targets.value(id);
            if (target.startsWith(u'/'))
                target.remove(0, 1);
            else
                target.prepend(QStringLiteral("xl/"));
            m_sheetName = name;
            m_sheetPath = target;
            return true;
        }
        m_error = m_wanted.isEmpty()
                      ? QStringLiteral("Die Arbeitsmappe hat kein Blatt")
                      : QStringLiteral("Blatt %1 nicht in der Arbeitsmappe (Blätter: %2)")
                            .arg(m_wanted, m_sheetNames.join(QStringLiteral(", ")));
        return false;
    }

    bool readSharedStrings() {
        // Every text of a shared string (its runs) but the phonetic ones.
        zip_stat_t size;
        zip_stat_init(&size);
        if (zip_stat(m_zip, "xl/sharedStrings.xml", 0, &size) == 0 &&
            (size.valid & ZIP_STAT_SIZE) && size.size > kMaxSharedStringBytes) {
            m_error = QStringLiteral("Arbeitsmappe zu groß: mehr als 1 GB gemeinsame Texte");
            return false;
        }
        ZipEntryDevice device(m_zip, QStringLiteral("xl/sharedStrings.xml"));
        if (!device.open())
            return true;
        QXmlStreamReader xml(&device);
        QString current;
        bool phonetic = false;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (xml.name() == u"si")
                    current.clear();
                else if (xml.name() == u"rPh")
                    phonetic = true;
                else if (xml.name() == u"t" && !phonetic)
                    current += xml.readElementText();
            } else if (token == QXmlStreamReader::EndElement) {
                if (xml.name() == u"si")
                    m_strings << current;
                if (m_strings.size() > kMaxSharedStrings) {
                    m_error = QStringLiteral("Arbeitsmappe zu groß: mehr als %1 gemeinsame Texte")
                                  .arg(QLocale(QLocale::German).toString(kMaxSharedStrings));
                    return false;
                } else if (xml.name() == u"rPh")
                    phonetic = false;
            }
        }
        if (xml.hasError()) {
            m_error =
                QStringLiteral("xl/sharedStrings.xml: ") + XmlProblem(xml, QStringLiteral("Teil"));
            return false;
        }
        return true;
    }

    bool readStyles() {
        QHash<int, bool> custom;
        bool inCellFormats = false;
        return readEntry(QStringLiteral("xl/styles.xml"), false, [&](QXmlStreamReader& xml) {
            const auto a = xml.attributes();
            if (xml.name() == u"numFmt") {
                custom.insert(a.value(QStringLiteral("numFmtId")).toInt(),
                              IsDateFormatCode(a.value(QStringLiteral("formatCode")).toString()));
            } else if (xml.name() == u"cellXfs") {
                inCellFormats = true;
            } else if (xml.name() == u"cellStyleXfs" || xml.name() == u"dxfs") {
                inCellFormats = false;
            } else if (xml.name() == u"xf" && inCellFormats) {
                const int id = a.value(QStringLiteral("numFmtId")).toInt();
                m_dateStyles << (custom.contains(id) ? custom.value(id) : IsDateFormatId(id));
            }
        });
    }

    void readDimension(const QXmlStreamReader& xml) {
        static const QRegularExpression last(QStringLiteral("[A-Z]+(\\d+)$"));
        const auto m = last.match(xml.attributes().value(QStringLiteral("ref")).toString());
        if (m.hasMatch())
            m_rows = m.captured(1).toLongLong();
    }

    // The cells of a row, up to its end tag.
    bool readRow(SheetRow* row) {
        int column = -1;
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement && m_xml.name() == u"row")
                return true;
            if (token != QXmlStreamReader::StartElement || m_xml.name() != u"c")
                continue;
            const auto a = m_xml.attributes();
            const QString ref = a.value(QStringLiteral("r")).toString();
            qsizetype letters = 0;
            while (letters < ref.size() && ref[letters].isLetter())
                ++letters;
            column = letters > 0 ? ColumnOfLetters(ref.left(letters)) : column + 1;
            if (column < 0 || column > 16383)
                column = int(row->size());
            const QString type = a.value(QStringLiteral("t")).toString();
            const int style = a.value(QStringLiteral("s")).toInt();
            SheetCell cell = readCell(type, style);
            if (m_failed)
                return false;
            if (cell.kind == SheetCell::Kind::Empty)
                continue;
            if (row->size() <= column)
                row->resize(column + 1);
            (*row)[column] = cell;
        }
        return false;
    }

    SheetCell readCell(const QString& type, int style) {
        QString value;
        QString inline_;
        bool hasValue = false;
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement && m_xml.name() == u"c")
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (m_xml.name() == u"v") {
                value = m_xml.readElementText();
                hasValue = true;
            } else if (m_xml.name() == u"t") {
                inline_ += m_xml.readElementText();
                hasValue = true;
            }
        }
        SheetCell cell;
        if (!hasValue)
            return cell;
        if (type == u"s") {
            bool ok = false;
            const qsizetype index = value.toLongLong(&ok);
            if (!ok || index < 0 || index >= m_strings.size()) {
                broken(QStringLiteral("Zeile %1: gemeinsamer Text %2 fehlt (Arbeitsmappe "
                                      "beschädigt)")
                           .arg(m_row)
                           .arg(value));
                return cell;
            }
            cell.text = m_strings[index];
        } else if (type == u"inlineStr") {
            cell.text = inline_;
        } else if (type == u"str" || type == u"e" || type == u"b") {
            cell.text = value;
        } else {
            bool ok = false;
            const double number = value.toDouble(&ok);
            // A date format on a number that is no day stays a number.
            const QString date =
                ok && m_dateStyles.value(style, false) ? SerialDate(number, m_date1904) : QString();
            if (!date.isEmpty()) {
                cell.kind = SheetCell::Kind::Date;
                cell.text = date;
                return cell;
            }
            cell.kind = ok ? SheetCell::Kind::Number : SheetCell::Kind::Text;
            cell.text = value.trimmed();
            return cell;
        }
        cell.kind = cell.text.isEmpty() ? SheetCell::Kind::Empty : SheetCell::Kind::Text;
        return cell;
    }

    QString m_path;
    QString m_wanted;
    zip_t* m_zip = nullptr;
    QString m_error;
    QString m_sheetName;
    QString m_sheetPath;
    QStringList m_sheetNames;
    QStringList m_strings;
    QList<bool> m_dateStyles;
    std::unique_ptr<ZipEntryDevice> m_device;
    QXmlStreamReader m_xml;
    qint64 m_row = 0;
    qint64 m_rows = 0;
    bool m_failed = false;
    bool m_cellsRead = false;
    bool m_date1904 = false;
};

} // namespace

std::unique_ptr<SheetRows> XlsxRows(const QString& path, const QString& sheet) {
    return std::make_unique<Xlsx>(path, sheet);
}

bool IsXlsxWorkbook(const QString& path) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return false;
    const bool workbook = zip_name_locate(archive, "xl/workbook.xml", 0) >= 0;
    zip_discard(archive);
    return workbook;
}

QString SerialDate(double serial, bool from1904) {
    // Day 1 is 01.01.1900 (the 1900 system counts a 29.02.1900 that was
    // not, so from day 61 on the days fall from 30.12.1899), or 02.01.1904.
    if (!(serial >= 1 && serial < 2958466))
        return QString();
    const QDate base = from1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    return base.addDays(qint64(std::floor(serial))).toString(u"dd.MM.yyyy");
}

QString ColumnLetters(int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

int ColumnOfLetters(const QString& letters) {
    if (letters.isEmpty() || letters.size() > 3)
        return -1;
    int column = 0;
    for (const QChar c : letters) {
        const QChar u = c.toUpper();
        if (u < u'A' || u > u'Z')
            return -1;
        column = column * 26 + (u.unicode() - u'A' + 1);
    }
    return column - 1;
}
