#include "ImportFormats.h"

#include "common/TextHelpers.h"

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool allAsciiDigits(QStringView text) {
    for (QChar c : text)
        if (!isAsciiDigit(c))
            return false;
    return true;
}

// An integer part with thousands points: a first group of 1 to 3 digits,
// then groups of exactly 3 digits. Appends the digits to *digits.
bool groupedDigits(QStringView text, QString* digits) {
    const QList<QStringView> groups = text.split(u'.');
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const QStringView group = groups[i];
        const bool sizeOk = i == 0 ? (group.size() >= 1 && group.size() <= 3) : group.size() == 3;
        if (!sizeOk || !allAsciiDigits(group))
            return false;
        digits->append(group);
    }
    return true;
}

} // namespace

QString UnassignedUnitsMessage(const QString& missingUnits) {
    return QStringLiteral("Einheiten ") + missingUnits +
           QStringLiteral(" sind im Veltar nicht zugeordnet");
}

QString LineErrorMessage(const QString& line) {
    if (line.size() > kLineErrorLength)
        return QStringLiteral("Fehler in Zeile: ") + line.left(kLineErrorLength) + u'…';
    return QStringLiteral("Fehler in Zeile: ") + line;
}

bool IsExtendedImportHeader(const QString& headerLine) {
    return headerLine.contains(ImportArticleLine::kSeparator);
}

QString NormalizeUnitCode(const QString& code) {
    QString out;
    out.reserve(code.size());
    for (QChar c : code) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            out += QChar(char16_t(u - u'a' + u'A'));
        else if ((u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))
            out += c;
    }
    return out;
}

bool ConvertPrice(const QString& text, double* value) {
    QStringView body = QStringView(text).trimmed();
    bool negative = false;
    if (!body.isEmpty() && (body.front() == u'-' || body.front() == u'+')) {
        negative = body.front() == u'-';
        body = body.mid(1);
    }

    QString integerDigits;
    QStringView fraction;
    const qsizetype comma = body.indexOf(u',');
    if (comma >= 0) {
        // Decimal comma; points before it are thousands separators.
        if (body.indexOf(u',', comma + 1) >= 0)
            return false;
        const QStringView integer = body.left(comma);
        fraction = body.mid(comma + 1);
        if (integer.contains(u'.')) {
            if (!groupedDigits(integer, &integerDigits))
                return false;
        } else {
            if (!allAsciiDigits(integer))
                return false;
            integerDigits = integer.toString();
        }
    } else {
        // No comma: a single point is the decimal point.
        const qsizetype point = body.indexOf(u'.');
        if (point >= 0 && body.indexOf(u'.', point + 1) >= 0)
            return false;
        const QStringView integer = point >= 0 ? body.left(point) : body;
        fraction = point >= 0 ? body.mid(point + 1) : QStringView();
        if (!allAsciiDigits(integer))
            return false;
        integerDigits = integer.toString();
    }
    if (!allAsciiDigits(fraction) || (integerDigits.isEmpty() && fraction.isEmpty()))
        return false;

    QString number = negative ? QStringLiteral("-") : QString();
    number += integerDigits.isEmpty() ? QStringLiteral("0") : integerDigits;
    if (!fraction.isEmpty()) {
        number += u'.';
        number += fraction;
    }
    bool ok = false;
    const double converted = number.toDouble(&ok);
    if (!ok)
        return false;
    *value = converted;
    return true;
}

// ---------------------------------------------------------------------------

ImportArticleLine::ImportArticleLine(const QString& text)
    : m_text(text), m_fields(text.split(kSeparator)) {}

QString ImportArticleLine::field(int n) const {
    if (n < 1 || n > m_fields.size())
        return QString();
    return m_fields[n - 1];
}

QString ImportArticleLine::price(ImportPrice which) const {
    return field(which == ImportPrice::First ? Preis : Preis2);
}

QString ImportArticleLine::priceDate(ImportPrice which) const {
    return field(which == ImportPrice::First ? GueltigAb : GueltigAb2);
}

bool ImportArticleLine::convertPrices(double* firstPrice, double* secondPrice) const {
    double first = 0;
    double second = 0;
    if (!ConvertPrice(field(Preis), &first) || !ConvertPrice(field(Preis2), &second))
        return false;
    *firstPrice = first;
    *secondPrice = second;
    return true;
}

std::optional<QStringList> PositionLineFields(const ImportArticleLine& line, ImportPrice which) {
    using F = ImportArticleLine::Field;
    QStringList fields = {
        line.field(F::HerstCode),
        line.field(F::Ean),
        line.field(F::HerstArtNr),
        line.field(F::Bezeichng),
        NormalizeUnitCode(line.field(F::VE)),
        NormalizeUnitCode(line.field(F::VP)),
        NormalizeUnitCode(line.field(F::UEE)),
        line.field(F::Menge),
        line.field(F::MengeUEE),
        line.priceDate(which),
        line.price(which),
        line.field(F::PreisEHT),
        line.field(F::RabattGR),
        line.field(F::FclassPreferredName),
    };
    for (const QString& f : fields)
        if (f.contains(kPositionLineSeparator))
            return std::nullopt;
    return fields;
}

std::optional<QString> PositionLineText(const ImportArticleLine& line, ImportPrice which) {
    const auto fields = PositionLineFields(line, which);
    if (!fields)
        return std::nullopt;
    return fields->join(kPositionLineSeparator);
}

// ---------------------------------------------------------------------------

bool UnitAssignmentTable::load(const QString& assignmentText) {
    m_pairs.clear();
    const QString erpUnits = Piece(assignmentText, QStringLiteral("`"), 1);
    const QString codes = Piece(assignmentText, QStringLiteral("`"), 2);
    const QStringList erpList = erpUnits.split(u',');
    const QStringList codeList = codes.split(u',');
    QList<Pair> pairs;
    for (qsizetype i = 0; i < erpList.size(); ++i) {
        if (erpList[i].isEmpty())
            break;
        if (pairs.size() == kMaxPairs)
            return false;
        const QString code = i < codeList.size() ? codeList[i] : QString();
        pairs.append(Pair{NormalizeUnitCode(code), erpList[i]});
    }
    m_pairs = std::move(pairs);
    return true;
}

bool UnitAssignmentTable::isAssigned(const QString& code) const {
    const QString normalized = NormalizeUnitCode(code);
    if (normalized.isEmpty())
        return false;
    for (const Pair& pair : m_pairs)
        if (pair.code == normalized)
            return true;
    return false;
}

bool CollectMissingUnits(const ImportArticleLine& line, const UnitAssignmentTable& table,
                         QString* missingUnits) {
    bool added = false;
    for (int n : {ImportArticleLine::VE, ImportArticleLine::VP, ImportArticleLine::UEE}) {
        const QString unit = NormalizeUnitCode(line.field(n));
        if (unit.isEmpty())
            continue;
        if (missingUnits->contains(u' ' + unit + u' '))
            continue;
        if (table.isAssigned(unit))
            continue;
        missingUnits->append(unit + u' ');
        added = true;
    }
    return added;
}

// ---------------------------------------------------------------------------

QString RemoveMatchFileSemicolons(const QString& line) {
    QString text = line;
    const QString semicolon = QStringLiteral(";");
    while (text.contains(u';'))
        text = Piece(text, semicolon, 1) + Piece(text, semicolon, 2);
    return text;
}

MatchFileEntry ParseMatchFileLine(const QString& line) {
    const QString text = RemoveMatchFileSemicolons(line);
    const QString backslash = QStringLiteral("\\");
    return MatchFileEntry{Piece(text, backslash, 1), Piece(text, backslash, 2),
                          Piece(text, backslash, 7)};
}
