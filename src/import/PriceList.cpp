#include "PriceList.h"

#include "base/WorkstationSettings.h"
#include "common/ErpForms.h"
#include "import/FileImport.h"
#include "import/LineSpool.h"
#include "import/PositionReader.h"

#include <QDate>
#include <QRegularExpression>
#include <cmath>

namespace {

// A header text reduced to what tells its meaning: lower case, umlauts
// spelt out, letters and digits only.
QString HeaderKey(const QString& text) {
    QString t = text.toLower();
    t.replace(u'ä', QStringLiteral("ae"))
        .replace(u'ö', QStringLiteral("oe"))
        .replace(u'ü', QStringLiteral("ue"))
        .replace(u'ß', QStringLiteral("ss"));
    QString key;
    for (const QChar c : t)
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            key += c;
    return key;
}

// What a header text names; nullopt for nothing the import takes.
std::optional<PriceColumn> ColumnOfHeader(const QString& text) {
    const QString k = HeaderKey(text);
    if (k.isEmpty())
        return std::nullopt;
    auto any = [&k](std::initializer_list<const char16_t*> words) {
        for (const char16_t* w : words)
            if (k == QStringView(w))
                return true;
        return false;
    };
    auto contains = [&k](std::initializer_list<const char16_t*> words) {
        for (const char16_t* w : words)
            if (k.contains(QStringView(w)))
                return true;
        return false;
    };
    if (contains({u"ean", u"gtin"}) || any({u"barcode"}))
        return PriceColumn::Ean;
    if (contains({u"preiseinheit", u"preismenge"}) || any({u"pe", u"per", u"pro"}))
        return PriceColumn::Pe;
    if (contains({u"netto", u"ihrpreis"}))
        return PriceColumn::Netto;
    if (contains({u"rabattgr", u"rabgr"}) || any({u"rg", u"rabattgruppe"}))
        return PriceColumn::Rabattgruppe;
    if (contains({u"gueltig", u"datum", u"validfrom"}))
        return PriceColumn::Datum;
    if (contains({u"bezeichnung", u"beschreibung", u"kurztext", u"benennung"}) ||
        any({u"text", u"name", u"produktname", u"artikeltext"}))
        return PriceColumn::Bezeichnung;
    if (contains({u"artikelnummer", u"artikelnr", u"bestellnummer", u"bestellnr", u"bestnr",
                  u"artnr", u"materialnummer"}) ||
        any({u"artikel", u"sku", u"nr", u"nummer", u"matnr"}))
        return PriceColumn::BestNr;
    if (any({u"einheit", u"me", u"mengeneinheit", u"bestelleinheit", u"unit", u"vpe"}))
        return PriceColumn::Einheit;
    if (contains({u"preis"}) || any({u"ek", u"ekeur", u"listenpreis"}))
        return PriceColumn::Preis;
    return std::nullopt;
}

QString Unwrapped(QString text) {
    text = text.trimmed();
    text.remove(QChar(0x20AC));
    text.remove(QStringLiteral("EUR"), Qt::CaseInsensitive);
    text.remove(QChar(0xA0));
    text.remove(u' ');
    return text;
}

// The digits of a decimal text as the price line writes them ("1234,5"),
// nullopt when it is no number.
std::optional<QString> DecimalText(const QString& written, bool decimalComma) {
    QString t = Unwrapped(written);
    // Thousands marks only between groups of three digits before the
    // decimal mark: "1.234,50" with a comma, "1,234.50" with a point;
    // "1.5" is no number with a decimal comma.
    static const QRegularExpression comma(
        QStringLiteral("^[+-]?(\\d{1,3}(\\.\\d{3})+|\\d+)?(,\\d*)?$"));
    static const QRegularExpression point(
        QStringLiteral("^[+-]?(\\d{1,3}(,\\d{3})+|\\d+)?(\\.\\d*)?$"));
    if (!(decimalComma ? comma : point).match(t).hasMatch())
        return std::nullopt;
    if (decimalComma)
        t.remove(u'.').replace(u',', u'.');
    else
        t.remove(u',');
    static const QRegularExpression form(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!form.match(t).hasMatch())
        return std::nullopt;
    if (t.startsWith(u'+'))
        t.remove(0, 1);
    if (t.startsWith(u'.'))
        t.prepend(u'0');
    if (t.endsWith(u'.'))
        t.chop(1);
    return t.replace(u'.', u',');
}

QString Integral(double value, const QString& written) {
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    return written;
}

// A number cell's text as a price line's number.
QString NumberText(const SheetCell& cell) {
    const double v = cell.text.toDouble();
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    return ErpNumber(v, 4).replace(u'.', u',');
}

QString PlainText(const SheetCell& cell) {
    if (cell.kind == SheetCell::Kind::Number)
        return Integral(cell.text.toDouble(), cell.text);
    return cell.text.trimmed();
}

QString DateText(const SheetCell& cell) {
    if (cell.kind == SheetCell::Kind::Date)
        return cell.text;
    if (cell.kind == SheetCell::Kind::Number) {
        if (const QString d = SerialDate(cell.text.toDouble()); !d.isEmpty())
            return d;
    }
    const QString t = cell.text.trimmed();
    const QString d = ErpDate(t);
    return d.isEmpty() ? t : d;
}

class PriceListReader : public PositionReader {
public:
    PriceListReader(QString path, QString name, bool workbook, ColumnMapping mapping)
        : m_path(std::move(path)), m_name(std::move(name)), m_workbook(workbook),
          m_mapping(std::move(mapping)) {
        m_index.fill(-1);
        m_comma.fill(true);
    }

    QStringList paths() const override { return {m_path}; }

    std::optional<Stop> prepare() override {
        m_rows = PriceListRows(m_path, m_workbook, m_mapping.sheet);
        if (!m_rows->open())
            return Stop{RecordIssue{m_name, 0, QString(), m_rows->error()}, true, false};
        if (m_mapping.firstRow < 1)
            return problem(QStringLiteral("Die Spaltenzuordnung nennt keine erste Datenzeile"));
        if (m_mapping[PriceColumn::BestNr].isEmpty())
            return problem(QStringLiteral("Die Spaltenzuordnung nennt keine Spalte für Best.Nr."));
        if (m_mapping[PriceColumn::Preis].isEmpty() && m_mapping[PriceColumn::Netto].isEmpty())
            return problem(
                QStringLiteral("Die Spaltenzuordnung nennt keine Spalte für Preis oder Netto"));
        // The nearest row above the prices names the columns given by
        // text; the first rows of prices tell how wide the list is.
        SheetRow row;
        qint64 number = 0;
        qint64 headerRow = 0;
        int width = 0;
        for (int data = 0; data < 20 && m_rows->next(&row, &number);) {
            if (number < m_mapping.firstRow) {
                m_header = row;
                headerRow = number;
                continue;
            }
            width = qMax(width, int(row.size()));
            ++data;
        }
        if (m_rows->failed())
            return rowsFailed();
        QString why;
        const auto index =
            m_mapping.resolve(m_header, headerRow, qMax(width, int(m_header.size())), &why);
        if (!index)
            return problem(why);
        m_index = *index;
        if (!m_rows->rewind())
            return Stop{RecordIssue{m_name, 0, QString(), m_rows->error()}, true, false};
        m_fresh = true;
        // A list without dates gives the prices of the day it is imported.
        m_today = QDate::currentDate().toString(u"dd.MM.yyyy");
        return std::nullopt;
    }

    std::optional<Stop> walk(bool check, const Watch& watch, const Yield& yield) override {
        // The store gives the rows the check read, without the file again.
        if (!check && m_spool.usable()) {
            m_replaying = true;
            if (auto stop = m_spool.replay(m_name, watch, yield))
                return Stop{*stop};
            return std::nullopt;
        }
        if (check)
            m_spool.start();
        if (!m_fresh && !m_rows->rewind())
            return Stop{RecordIssue{m_name, 0, QString(), m_rows->error()}, true, false};
        m_fresh = false;
        const bool first = check && m_walks++ == 0;
        SheetRow row;
        qint64 number = 0;
        qint64 yielded = 0;
        m_read = 0;
        while (m_rows->next(&row, &number)) {
            ++m_read;
            if (number < m_mapping.firstRow)
                continue;
            const QString bestNr = text(row, PriceColumn::BestNr);
            const QString listText = text(row, PriceColumn::Preis);
            const QString netText = text(row, PriceColumn::Netto);
            if (bestNr.isEmpty() && listText.isEmpty() && netText.isEmpty())
                continue;
            QStringList shown;
            for (const SheetCell& c : row)
                shown << c.text;
            const QString record = shown.join(u';');
            if (auto stop = watch(m_name, number, record))
                return Stop{*stop};
            if (bestNr.isEmpty()) {
                if (first)
                    m_skipped << number;
                if (check)
                    m_spool.addWatched(number, record);
                continue;
            }
            // A CSV list separated by commas whose row is wider than its
            // header: a decimal comma without quotes moved the cells.
            if (m_rows->separator() == u',' && !m_header.isEmpty() &&
                widthOf(row) > m_header.size())
                return Stop{RecordIssue{m_name, number, record,
                                        QStringLiteral("mehr Spalten als die Kopfzeile (Komma im "
                                                       "Preis ohne Anführungszeichen?)")}};
            std::optional<QString> list;
            std::optional<QString> net;
            if (!listText.isEmpty() && !(list = price(row, PriceColumn::Preis)))
                return Stop{RecordIssue{m_name, number, record,
                                        QStringLiteral("Preis %1 ist keine Zahl").arg(listText)}};
            if (!netText.isEmpty() && !(net = price(row, PriceColumn::Netto)))
                return Stop{RecordIssue{m_name, number, record,
                                        QStringLiteral("Netto %1 ist keine Zahl").arg(netText)}};
            QStringList f(ImportArticleLine::kFieldCount);
            f[ImportArticleLine::Ean - 1] = text(row, PriceColumn::Ean);
            f[ImportArticleLine::HerstArtNr - 1] = bestNr;
            f[ImportArticleLine::Bezeichng - 1] = text(row, PriceColumn::Bezeichnung).simplified();
            f[ImportArticleLine::VE - 1] = text(row, PriceColumn::Einheit);
            f[ImportArticleLine::Preis - 1] = list ? *list : net ? *net : QStringLiteral("0");
            const SheetCell* date = at(row, PriceColumn::Datum);
            f[ImportArticleLine::GueltigAb - 1] = date ? DateText(*date) : m_today;
            f[ImportArticleLine::Preis2 - 1] = QStringLiteral("0");
            const QString per = text(row, PriceColumn::Pe);
            f[ImportArticleLine::PreisEHT - 1] = per.isEmpty() ? QStringLiteral("1") : per;
            SourceLine s;
            if (net) {
                s.extras.rabtyp = QStringLiteral("N");
                s.extras.netto = ErpNumber(ErpValue(*net), 4);
            } else {
                f[ImportArticleLine::RabattGR - 1] = text(row, PriceColumn::Rabattgruppe);
            }
            for (QString& field : f)
                field.replace(ImportArticleLine::kSeparator, u'/');
            s.line = ImportArticleLine(f.join(ImportArticleLine::kSeparator));
            s.record = record;
            s.file = m_name;
            s.fileLine = number;
            ++yielded;
            if (check)
                m_spool.add(s);
            if (auto stop = yield(s))
                return Stop{*stop};
        }
        if (m_rows->failed())
            return rowsFailed();
        // A list that gives no price makes no download.
        if (first && yielded == 0)
            return Stop{RecordIssue{m_name, 0, QString(), FileImport::kNoArticleLine}};
        if (check)
            m_spool.finish();
        // Decimal comma or point, per column, from all its texts: a text
        // the check read the other way is read again.
        if (first) {
            for (int c = 0; c < kPriceColumnCount; ++c) {
                m_comma[size_t(c)] = m_evidence[size_t(c)] >= 0;
                m_again = m_again ||
                          (m_comma[size_t(c)] ? m_readPoint[size_t(c)] : m_readComma[size_t(c)]);
            }
            m_decided = true;
        }
        return std::nullopt;
    }

    bool walkAgain() const override { return m_again; }
    bool linksManufacturer() const override { return false; }
    bool tracksByDate() const override { return true; }
    qint64 progress() const override {
        if (m_replaying && m_spool.entries() > 0)
            return maximum() * m_spool.replayed() / m_spool.entries();
        return m_read;
    }
    qint64 maximum() const override { return qMax<qint64>(1, m_rows ? m_rows->rowCount() : 1); }

    QList<ImportNote> passed() const override {
        QList<ImportNote> notes;
        for (qint64 row : m_skipped)
            notes.append({m_name, row, QStringLiteral("Preis ohne Best.Nr., Zeile übersprungen")});
        return notes;
    }

private:
    // The rows could not be read on: at a row, or the file.
    std::optional<Stop> rowsFailed() const {
        if (m_rows->errorRow() > 0)
            return Stop{RecordIssue{m_name, m_rows->errorRow(), QString(), m_rows->error()}};
        return Stop{RecordIssue{m_name, 0, QString(), m_rows->error()}, true, false};
    }

    // Cells up to the last that holds something.
    static qsizetype widthOf(const SheetRow& row) {
        qsizetype width = row.size();
        while (width > 0 && row[width - 1].kind == SheetCell::Kind::Empty)
            --width;
        return width;
    }

    std::optional<Stop> problem(const QString& reason) const {
        return Stop{RecordIssue{m_name, 0, QString(), reason}};
    }

    const SheetCell* at(const SheetRow& row, PriceColumn c) const {
        const int i = m_index[size_t(c)];
        if (i < 0 || i >= row.size() || row[i].kind == SheetCell::Kind::Empty)
            return nullptr;
        return &row[i];
    }

    QString text(const SheetRow& row, PriceColumn c) {
        const SheetCell* cell = at(row, c);
        if (!cell)
            return QString();
        if (c == PriceColumn::Pe && cell->kind == SheetCell::Kind::Text) {
            const auto d = decimal(cell->text, c);
            if (d && !d->contains(u','))
                return *d;
        }
        return PlainText(*cell);
    }

    std::optional<QString> price(const SheetRow& row, PriceColumn c) {
        const SheetCell* cell = at(row, c);
        if (!cell)
            return std::nullopt;
        if (cell->kind == SheetCell::Kind::Number)
            return NumberText(*cell);
        if (cell->kind == SheetCell::Kind::Date)
            return std::nullopt;
        return decimal(cell->text, c);
    }

    // A text cell's number by its column's decimal mark. Until the check
    // has seen every text of the column, a text is read by its own mark,
    // else by the column's so far (a comma when it has none); what is read
    // which way is kept, so that the check can read again.
    std::optional<QString> decimal(const QString& text, PriceColumn c) {
        const size_t i = size_t(c);
        if (m_decided)
            return DecimalText(text, m_comma[i]);
        const int evidence = DecimalEvidence(text);
        m_evidence[i] += evidence;
        const auto comma = DecimalText(text, true);
        const auto point = DecimalText(text, false);
        if (comma == point)
            return comma;
        bool useComma = evidence > 0 || (evidence == 0 && m_evidence[i] >= 0);
        if (useComma ? !comma : !point)
            useComma = !useComma;
        (useComma ? m_readComma : m_readPoint)[i] = true;
        return useComma ? comma : point;
    }

    QString m_path;
    QString m_name;
    bool m_workbook;
    ColumnMapping m_mapping;
    std::unique_ptr<SheetRows> m_rows;
    std::array<int, kPriceColumnCount> m_index;
    SheetRow m_header;
    std::array<bool, kPriceColumnCount> m_comma;
    bool m_decided = false;
    std::array<int, kPriceColumnCount> m_evidence{};
    std::array<bool, kPriceColumnCount> m_readComma{};
    std::array<bool, kPriceColumnCount> m_readPoint{};
    bool m_again = false;
    bool m_fresh = false;
    QString m_today;
    int m_walks = 0;
    qint64 m_read = 0;
    QList<qint64> m_skipped;
    LineSpool m_spool;
    bool m_replaying = false;
};

} // namespace

const QStringList& PriceColumnKeys() {
    static const QStringList keys{
        QStringLiteral("bestnr"),       QStringLiteral("bezeichnung"), QStringLiteral("ean"),
        QStringLiteral("preis"),        QStringLiteral("einheit"),     QStringLiteral("pe"),
        QStringLiteral("rabattgruppe"), QStringLiteral("datum"),       QStringLiteral("netto")};
    return keys;
}

const QStringList& PriceColumnCaptions() {
    static const QStringList captions{
        QStringLiteral("Best.Nr."),     QStringLiteral("Bezeichnung"), QStringLiteral("EAN"),
        QStringLiteral("Preis"),        QStringLiteral("Einheit"),     QStringLiteral("PE"),
        QStringLiteral("Rabattgruppe"), QStringLiteral("Datum"),       QStringLiteral("Netto")};
    return captions;
}

bool ColumnMapping::isEmpty() const {
    for (const QString& c : columns)
        if (!c.isEmpty())
            return false;
    return true;
}

QString ColumnMapping::columnsText() const {
    QStringList pairs;
    for (int c = 0; c < kPriceColumnCount; ++c)
        if (!columns[size_t(c)].isEmpty())
            pairs << PriceColumnKeys()[c] + u'=' + columns[size_t(c)];
    return pairs.join(u',');
}

std::optional<ColumnMapping> ColumnMapping::FromColumnsText(const QString& text, QString* problem) {
    ColumnMapping m;
    for (const QString& pair : text.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        const QString key = pair.left(eq).trimmed().toLower();
        const qsizetype c = PriceColumnKeys().indexOf(key);
        if (eq < 0 || c < 0 || pair.mid(eq + 1).trimmed().isEmpty()) {
            *problem = QStringLiteral("Spaltenangabe %1 unbekannt (bekannt: %2)")
                           .arg(pair.trimmed(), PriceColumnKeys().join(QStringLiteral(", ")));
            return std::nullopt;
        }
        m.columns[size_t(c)] = pair.mid(eq + 1).trimmed();
    }
    return m;
}

QString ColumnMapping::stored() const {
    return columnsText() + u'|' + QString::number(firstRow) + u'|' + sheet;
}

ColumnMapping ColumnMapping::FromStored(const QString& text) {
    const QStringList parts = text.split(u'|');
    QString ignored;
    ColumnMapping m = FromColumnsText(parts.value(0), &ignored).value_or(ColumnMapping());
    m.firstRow = parts.value(1).toInt();
    m.sheet = parts.value(2);
    return m;
}

std::optional<std::array<int, kPriceColumnCount>> ColumnMapping::resolve(const SheetRow& header,
                                                                         qint64 headerRow,
                                                                         int width,
                                                                         QString* problem) const {
    std::array<int, kPriceColumnCount> index;
    index.fill(-1);
    for (int c = 0; c < kPriceColumnCount; ++c) {
        const QString named = columns[size_t(c)].trimmed();
        if (named.isEmpty())
            continue;
        for (qsizetype i = 0; i < header.size() && index[size_t(c)] < 0; ++i)
            if (header[i].text.trimmed().compare(named, Qt::CaseInsensitive) == 0)
                index[size_t(c)] = int(i);
        if (index[size_t(c)] >= 0)
            continue;
        const int letters = ColumnOfLetters(named);
        if (letters < 0 || letters >= width) {
            *problem =
                headerRow > 0
                    ? QStringLiteral("Spalte %1 steht nicht in Zeile %2").arg(named).arg(headerRow)
                    : QStringLiteral("Spalte %1: keine Kopfzeile über Zeile %2")
                          .arg(named)
                          .arg(firstRow);
            return std::nullopt;
        }
        index[size_t(c)] = letters;
    }
    return index;
}

ColumnMapping ProposeMapping(const QList<SheetRow>& rows, const QList<qint64>& numbers) {
    ColumnMapping best;
    int bestCount = 0;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        ColumnMapping m;
        int count = 0;
        for (qsizetype i = 0; i < rows[r].size(); ++i) {
            if (rows[r][i].kind != SheetCell::Kind::Text)
                continue;
            const auto c = ColumnOfHeader(rows[r][i].text);
            if (c && m[*c].isEmpty()) {
                m[*c] = ColumnLetters(int(i));
                ++count;
            }
        }
        const bool usable = !m[PriceColumn::BestNr].isEmpty() &&
                            (!m[PriceColumn::Preis].isEmpty() || !m[PriceColumn::Netto].isEmpty());
        if (usable && count > bestCount) {
            best = m;
            bestCount = count;
            best.firstRow = int(numbers.value(r, r + 1)) + 1;
        }
    }
    return best;
}

namespace {
const QString kSettings = QStringLiteral("Quendrapr");
const QString kMappingSection = QStringLiteral("Spaltenzuordnung");
} // namespace

ColumnMapping RememberedMapping(const QString& company, const QString& supplier) {
    const QString text =
        WorkstationSettings::value(kSettings, kMappingSection, company + u'_' + supplier);
    return text.isEmpty() ? ColumnMapping() : ColumnMapping::FromStored(text);
}

void RememberMapping(const QString& company, const QString& supplier,
                     const ColumnMapping& mapping) {
    WorkstationSettings::setValue(kSettings, kMappingSection, company + u'_' + supplier,
                                  mapping.stored());
}

std::unique_ptr<SheetRows> PriceListRows(const QString& path, bool workbook, const QString& sheet) {
    return workbook ? XlsxRows(path, sheet) : CsvRows(path);
}

std::unique_ptr<PositionReader> MakePriceListReader(const QString& path, const QString& name,
                                                    bool workbook, const ColumnMapping& mapping) {
    return std::make_unique<PriceListReader>(path, name, workbook, mapping);
}

std::optional<double> ReadDecimal(const QString& text, bool decimalComma) {
    const auto d = DecimalText(text, decimalComma);
    if (!d)
        return std::nullopt;
    return QString(*d).replace(u',', u'.').toDouble();
}

int DecimalEvidence(const QString& written) {
    const QString t = Unwrapped(written);
    const qsizetype comma = t.lastIndexOf(u',');
    const qsizetype point = t.lastIndexOf(u'.');
    if (comma >= 0 && point >= 0)
        return comma > point ? 1 : -1;
    // Three digits after one mark may be a thousands group, unless the
    // number before is 0 ("0.125").
    static const QRegularExpression thousands(QStringLiteral("^[+-]?[1-9]\\d{0,2}([.,]\\d{3})+$"));
    if (thousands.match(t).hasMatch())
        return 0;
    if (comma >= 0)
        return 1;
    if (point >= 0)
        return -1;
    return 0;
}
