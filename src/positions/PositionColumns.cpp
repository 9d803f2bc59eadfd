#include "PositionColumns.h"

#include "server/PosClass.h"

#include <charconv>

#include <QLocale>
#include <cmath>
#include <cstdint>

namespace PositionGrid {

namespace {

constexpr CellKind T = CellKind::Text;
constexpr CellKind N = CellKind::Number;
constexpr CellKind D = CellKind::Date;
constexpr CellKind L = CellKind::List;

namespace Q = PosQuery;

// caption, query column, second query column, property, kind, digits or
// length, decimals, list, width in twips
constexpr std::array<PositionColumn, kColumns> kTable{{
    {u"Übn", 0, 0, nullptr, T, 0, 0, 0, 30},
    {u"Stat", Q::Status, 0, nullptr, T, 0, 0, 0, 30},
    {u"Best.Nr.", Q::BestNr, 0, nullptr, T, 0, 0, 0, 75},
    {u"Bezeichnung", Q::Bezeichnung, 0, nullptr, T, 0, 0, 0, 250},
    {u"Datum", Q::Datum, 0, nullptr, D, 0, 0, 0, 65},
    {u"Preis excl.", Q::Preis, 0, nullptr, N, 8, 2, 0, 60},
    {u"per", Q::PreisEHT, Q::VE, nullptr, T, 0, 0, 0, 60},
    {u"Art.-Nr.", Q::ARTNR, 0, nullptr, T, 0, 0, 0, 50},
    {u"FreeClass", Q::Klasse, 0, nullptr, T, 0, 0, 0, 75},
    {u"Bez1", Q::Bez1, 0, u"Bez1", T, 30, 0, 0, 130},
    {u"Bez2", Q::Bez2, 0, u"bez2", T, 30, 0, 0, 100},
    {u"Bez3", Q::Bez3, 0, u"bez3", T, 30, 0, 0, 75},
    {u"per", Q::Epmvt, Q::Erevt, u"epmvt", T, 0, 0, 0, 60},
    {u"% Abw.", Q::Deviation, 0, u"prdiff", T, 0, 0, 0, 50},
    {u"Atyp", Q::Atyp, 0, u"atyp", L, 0, 0, 1, 60},
    {u"Wargr", Q::Wargr, 0, u"wargr", L, 0, 0, 2, 75},
    {u"Abt", Q::ABTNR, 0, u"ABTNR", L, 0, 0, 3, 50},
    {u"VKE", Q::Vke, 0, u"vke", L, 0, 0, 4, 50},
    {u"VPE", Q::Vpe, 0, u"vpe", L, 0, 0, 4, 50},
    {u"VPI", Q::Vpi, 0, u"vpi", N, 5, 0, 0, 50},
    {u"VRE", Q::Vre, 0, u"vre", L, 0, 0, 4, 50},
    {u"VRM", Q::Vrm, 0, u"vrm", N, 12, 4, 0, 75},
    {u"VPM", Q::Vpm, 0, u"vpm", N, 5, 0, 0, 75},
    {u"Ust", Q::Mcproz, 0, u"mcproz", L, 0, 0, 5, 50},
    {u"PalArt-Nr", Q::Palart, 0, u"palart", L, 0, 0, 13, 75},
    {u"Pal je", Q::Palje, 0, u"palje", N, 5, 0, 0, 50},
    {u"Pal ab", Q::Palab, 0, u"palab", N, 5, 0, 0, 50},
    {u"Acod", Q::Acod, 0, u"acod", L, 0, 0, 12, 40},
    {u"Best-Nr", Q::Bestnrvt, 0, u"bestnrvt", T, 16, 0, 0, 75},
    {u"Best-EAN", Q::Eanvt, 0, u"eanvt", T, 13, 0, 0, 90},
    {u"BeEinh", Q::Ebe, 0, u"ebe", L, 0, 0, 11, 50},
    {u"Hlief", Q::Hlief, 0, u"hlief", L, 0, 0, 6, 50},
    {u"Fakt", Q::Faktor, 0, u"faktor", N, 12, 4, 0, 75},
    {u"Brutto", Q::Brutto, 0, u"brutto", N, 10, 4, 0, 75},
    {u"ERE", Q::Erevt, 0, u"erevt", L, 0, 0, 4, 50},
    {u"EPM", Q::Epmvt, 0, u"epmvt", N, 5, 0, 0, 50},
    {u"EVM", Q::Evm, 0, u"evm", N, 12, 4, 0, 75},
    {u"MiBeMe", Q::Mibeme, 0, u"mibeme", N, 5, 0, 0, 75},
    {u"EK-Rabgr", Q::Ekgrp, 0, u"ekgrp", L, 0, 0, 7, 75},
    {u"EK-Dat ab", Q::Ekdat, 0, u"ekdat", L, 0, 0, 10, 85},
    {u"N/%:", Q::Rabtyp, 0, u"rabtyp", L, 0, 0, 8, 75},
    {u"Rab1", Q::Rab1, 0, u"rab1", N, 5, 2, 0, 50},
    {u"Rab2", Q::Rab2, 0, u"rab2", N, 5, 2, 0, 50},
    {u"Rab3", Q::Rab3, 0, u"rab3", N, 5, 2, 0, 50},
    {u"Rab4", Q::Rab4, 0, u"rab4", N, 5, 2, 0, 50},
    {u"Netto", Q::Netto, 0, u"netto", N, 10, 4, 0, 75},
    {u"Nebenkost", Q::Nebkost, 0, u"nebkost", N, 10, 4, 0, 75},
    {u"VKRabgr", Q::Vkrabgr, 0, u"vkrabgr", T, 0, 0, 0, 75},
    {u"VK-Dat ab", Q::Vkdat, 0, u"vkdat", L, 0, 0, 9, 85},
    {u"KF-Soll", Q::Kfsoll, 0, u"kfsoll", N, 8, 4, 0, 50},
    {u"VK-Excl", Q::Vkexcl, 0, u"vkexcl", N, 10, 4, 0, 75},
    {u"VK-Incl", Q::Vkincl, 0, u"vkincl", N, 8, 2, 0, 75},
    {u"Spanne", Q::Spanne, 0, nullptr, N, 5, 2, 0, 50},
}};

struct ColumnSlots {
    std::array<int, kColumns> slotOf{};
    std::array<int, kNumberColumns> columnOf{};
    ColumnSlots() {
        int n = 0;
        for (int c = 0; c < kColumns; ++c) {
            slotOf[size_t(c)] = kTable[size_t(c)].kind == CellKind::Number ? n : -1;
            if (kTable[size_t(c)].kind == CellKind::Number)
                columnOf[size_t(n++)] = c;
        }
    }
};

const ColumnSlots& columnSlots() {
    static const ColumnSlots s;
    return s;
}

const QLocale& german() {
    static const QLocale l(QLocale::German, QLocale::Germany);
    return l;
}

} // namespace

const std::array<PositionColumn, kColumns>& Columns() {
    return kTable;
}

QString Caption(int column) {
    return QString::fromUtf16(ColumnOf(column).caption);
}

int NumberSlot(int column) {
    return column >= 0 && column < kColumns ? columnSlots().slotOf[size_t(column)] : -1;
}

int NumberColumn(int slot) {
    return slot >= 0 && slot < kNumberColumns ? columnSlots().columnOf[size_t(slot)] : -1;
}

bool ParseServerNumber(const QString& text, double* value) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    *value = t.toDouble(&ok);
    if (!ok)
        *value = german().toDouble(t, &ok);
    return ok;
}

bool ParseServerNumber(QByteArrayView text, double* value) {
    // The usual form, [-]digits[.digits], is read without a string.
    const char* b = text.data();
    const char* e = b + text.size();
    const char* p = b;
    if (p != e && *p == '-')
        ++p;
    const char* digits = p;
    while (p != e && *p >= '0' && *p <= '9')
        ++p;
    bool plain = p != digits;
    if (plain && p != e && *p == '.') {
        const char* fraction = ++p;
        while (p != e && *p >= '0' && *p <= '9')
            ++p;
        plain = p != fraction;
    }
    if (plain && p == e) {
        const auto r = std::from_chars(b, e, *value);
        if (r.ec == std::errc() && r.ptr == e)
            return true;
    }
    return ParseServerNumber(QString::fromUtf8(text), value);
}

QString FormatDeviation(const QString& queryValue) {
    double v = 0;
    // No condition to compare with: no deviation, rather than a zero one.
    if (!ParseServerNumber(queryValue, &v))
        return QString();
    // "##.00": whole part without a leading zero, always two decimals.
    const bool negative = v < 0;
    const qint64 hundredths = qint64(std::llround(std::fabs(v) * 100.0));
    const qint64 whole = hundredths / 100;
    const int fraction = int(hundredths % 100);
    QString text = negative && hundredths != 0 ? QStringLiteral("-") : QString();
    if (whole != 0)
        text += QString::number(whole);
    text += german().decimalPoint();
    text += QStringLiteral("%1").arg(fraction, 2, 10, QChar(u'0'));
    return text + QStringLiteral(" %");
}

QString SlashDate(const QString& queryValue) {
    QString text = queryValue;
    if (text.size() >= 3)
        text[2] = u'/';
    if (text.size() >= 6)
        text[5] = u'/';
    return text;
}

QString FormatNumber(double value, int decimals) {
    char buffer[48];
    const int n = FormatNumberUtf8(value, decimals, buffer);
    if (n < 0)
        return german().toString(value, 'f', decimals);
    return QString::fromLatin1(buffer, n);
}

int FormatNumberUtf8(double value, int decimals, char* out) {
    static constexpr std::uint64_t kPow10[10] = {1,      10,      100,      1000,      10000,
                                                 100000, 1000000, 10000000, 100000000, 1000000000};
    if (decimals < 0 || decimals > 9 || !(std::fabs(value) < 1e9))
        return -1;
    // |value| = mantissa * 2^exponent exactly; times 10^decimals it is
    // rounded like the locale does: the exact binary value, a half away
    // from zero.
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    const auto mantissa = std::uint64_t(std::ldexp(fraction, 53));
    const int shift = 53 - exponent; // > 0, as |value| < 2^53
    const unsigned __int128 scaled =
        static_cast<unsigned __int128>(mantissa) * kPow10[size_t(decimals)];
    std::uint64_t units = 0;
    if (shift < 128) {
        units = std::uint64_t(scaled >> shift);
        const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
        if (rest >= (static_cast<unsigned __int128>(1) << (shift - 1)))
            ++units;
    }
    const std::uint64_t whole = units / kPow10[size_t(decimals)];
    std::uint64_t part = units % kPow10[size_t(decimals)];
    // The whole part's digits, backwards, with a point after every three.
    char digits[32];
    int count = 0;
    std::uint64_t w = whole;
    do {
        if (count % 4 == 3)
            digits[count++] = '.';
        digits[count++] = char('0' + w % 10);
        w /= 10;
    } while (w != 0);
    int n = 0;
    // A negative value keeps its sign even when it rounds to zero.
    if (value < 0)
        out[n++] = '-';
    while (count > 0)
        out[n++] = digits[--count];
    if (decimals > 0) {
        out[n++] = ',';
        for (int i = decimals - 1; i >= 0; --i) {
            out[n + i] = char('0' + part % 10);
            part /= 10;
        }
        n += decimals;
    }
    return n;
}

} // namespace PositionGrid
