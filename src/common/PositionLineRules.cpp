#include "PositionLineRules.h"

#include "ErpForms.h"

#include <tuple>

namespace PositionLineRules {

namespace {

enum Field {
    Ean = 1,
    Bezeichnung = 3,
    Menge = 7,
    MengeUEE = 8,
    Datum = 9,
    Preis = 10,
    PreisEHT = 11,
    RabattGR = 12,
    Klasse = 13
};

// The digits of a number in the ERP's or the workstation's form
// ("1.234,50", "12.5", "-3"): before the decimal separator (without leading
// zeros) and after it (without trailing zeros); false for a text that is no
// such number.
struct Shape {
    int whole = 0;
    int decimals = 0;
    bool negative = false;
};
bool shapeOf(const QString& text, Shape* shape) {
    const QString t = text.trimmed();
    const bool comma = t.contains(u',');
    const QChar separator = comma ? u',' : u'.';
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
        shape->negative = t[i++] == u'-';
    QString whole, decimals;
    bool after = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= u'0' && c <= u'9')
            (after ? decimals : whole) += c;
        else if (c == separator && !after)
            after = true;
        else if (!(comma && c == u'.' && !after)) // thousands points before a comma
            return false;
    }
    // ",50" is half a unit, as the ERP reads it; a sign or separator alone
    // is no number.
    if (whole.isEmpty() && decimals.isEmpty())
        return false;
    while (whole.startsWith(u'0'))
        whole.remove(0, 1);
    while (decimals.endsWith(u'0'))
        decimals.chop(1);
    shape->whole = int(whole.size());
    shape->decimals = int(decimals.size());
    shape->negative = shape->negative && (shape->whole > 0 || shape->decimals > 0);
    return true;
}

QString numberProblem(const QString& name, const QString& value, int whole, int decimals) {
    Shape s;
    const QString prefix = name + u' ' + value;
    if (name == u"Preis") {
        if (!shapeOf(value, &s))
            return prefix + QStringLiteral(" ist keine Zahl");
        if (s.negative)
            return prefix + QStringLiteral(" ist negativ");
        if (s.whole > whole || s.decimals > decimals)
            return prefix + QStringLiteral(" hat mehr als %1 Stellen vor oder %2 nach dem Komma")
                                .arg(whole)
                                .arg(decimals);
        return QString();
    }
    if (decimals == 0) {
        // Digits only: "1.000" is a thousand to a German reader and 1 to
        // the ERP's number form.
        const QString t = value.trimmed();
        bool digits = !t.isEmpty();
        for (const QChar c : t)
            digits = digits && c >= u'0' && c <= u'9';
        if (digits && shapeOf(t, &s) && s.whole <= whole)
            return QString();
        return prefix + QStringLiteral(" ist keine ganze Zahl von 0 bis 99999");
    }
    if (shapeOf(value, &s) && !s.negative && s.whole <= whole && s.decimals <= decimals)
        return QString();
    return prefix + QStringLiteral(" ist keine Zahl von 0 bis 99999999,9999");
}

} // namespace

const QStringList& FieldNames() {
    static const QStringList names{
        QStringLiteral("HerstCode"),   QStringLiteral("EAN"),   QStringLiteral("BestNr"),
        QStringLiteral("Bezeichnung"), QStringLiteral("VE"),    QStringLiteral("VP"),
        QStringLiteral("UEE"),         QStringLiteral("Menge"), QStringLiteral("MengeUEE"),
        QStringLiteral("Datum"),       QStringLiteral("Preis"), QStringLiteral("PreisEHT"),
        QStringLiteral("RabattGR"),    QStringLiteral("Klasse")};
    return names;
}

static bool IsEan(const QString& ean) {
    for (const QChar c : ean)
        if (c < u'0' || c > u'9')
            return false;
    const qsizetype n = ean.size();
    return n == 8 || n == 12 || n == 13 || n == 14;
}

QStringList Repair(QStringList& f) {
    QStringList notes;
    const QStringList& names = FieldNames();
    if (f.size() > Ean) {
        QString& ean = f[Ean];
        if (ean.trimmed().isEmpty()) {
            ean.clear();
        } else if (!IsEan(ean)) {
            notes << QStringLiteral("EAN ") + ean +
                         QStringLiteral(" ungültig, ohne EAN übernommen");
            ean.clear();
        }
    }
    // Only the texts a buyer reads are cut; a key, code or number cut
    // would be another one.
    for (const int i : {int(Bezeichnung), int(Klasse)}) {
        if (i < f.size() && f[i].size() > kMaxText) {
            f[i].truncate(kMaxText);
            notes << names[i] + QStringLiteral(" länger als %1 Zeichen, gekürzt").arg(kMaxText);
        }
    }
    return notes;
}

QString Problem(const QStringList& f) {
    const QStringList& names = FieldNames();
    for (qsizetype i = 0; i < f.size() && i < names.size(); ++i) {
        // The supplier's discount group becomes a code of the ERP.
        const int most = i == RabattGR ? kMaxCode : kMaxText;
        if (f[i].size() > most)
            return names[i] + QStringLiteral(" länger als %1 Zeichen").arg(most);
    }
    const QString ean = f.value(Ean);
    if (!ean.isEmpty()) {
        if (!IsEan(ean))
            return QStringLiteral("EAN ") + ean +
                   QStringLiteral(" ist keine gültige EAN (8, 12, 13 oder 14 Ziffern)");
    }
    const QString date = f.value(Datum);
    if (!date.trimmed().isEmpty() && ErpDate(date).isEmpty())
        return QStringLiteral("Datum ") + date + QStringLiteral(" ist kein gültiges Datum");
    if (QString p = numberProblem(names[Preis], f.value(Preis), 6, 4); !p.isEmpty())
        return p;
    // Quantities and the price unit may be left empty.
    for (const auto& [i, whole, decimals] :
         {std::tuple{int(Menge), 5, 0}, std::tuple{int(MengeUEE), 8, 4},
          std::tuple{int(PreisEHT), 5, 0}})
        if (!f.value(i).trimmed().isEmpty())
            if (QString p = numberProblem(names[i], f.value(i), whole, decimals); !p.isEmpty())
                return p;
    return QString();
}

} // namespace PositionLineRules
