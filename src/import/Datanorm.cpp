#include "Datanorm.h"

#include <QDate>

namespace Datanorm {

namespace {

bool digitsOnly(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QString field(const QStringList& f, int number) {
    return f.value(number - 1);
}

QString tooFew(QChar kind, qsizetype has, int least) {
    return QStringLiteral("%1-Satz mit %2 statt mindestens %3 Feldern")
        .arg(kind)
        .arg(has)
        .arg(least);
}

// A price in cents as the files write it: digits (cents); a value with a
// decimal comma or point is read as currency units.
bool readCents(const QString& text, qint64* cents) {
    if (digitsOnly(text)) {
        if (text.size() > 12)
            return false;
        *cents = text.toLongLong();
        return true;
    }
    QString t = text;
    t.replace(u',', u'.');
    if (t.count(u'.') != 1)
        return false;
    const QString whole = t.section(u'.', 0, 0);
    QString decimals = t.section(u'.', 1);
    if ((!whole.isEmpty() && !digitsOnly(whole)) || !digitsOnly(decimals) || decimals.size() > 2 ||
        whole.size() > 10)
        return false;
    decimals = decimals.leftJustified(2, u'0');
    *cents = whole.toLongLong() * 100 + decimals.toLongLong();
    return true;
}

QString priceProblem(const QString& text) {
    return QStringLiteral("Preis ") + text + QStringLiteral(" ist keine Zahl");
}

int priceFlagOf(const QString& text, bool* ok) {
    *ok = text.isEmpty() || (text.size() == 1 && text[0] >= u'0' && text[0] <= u'9');
    return *ok && !text.isEmpty() ? text.toInt() : 0;
}

QString readDiscount(const QString& kind, const QString& value, Discount* d) {
    if (kind.isEmpty() && value.isEmpty())
        return QString();
    if (kind.size() != 1 || kind[0] < u'0' || kind[0] > u'3')
        return QStringLiteral("Rabattkennzeichen ") + kind + QStringLiteral(" unbekannt");
    d->kind = kind.toInt();
    d->value = value;
    if (d->kind != 0 && !digitsOnly(value))
        return QStringLiteral("Rabatt ") + value + QStringLiteral(" ist keine Zahl");
    // A discount of more than all of the price makes it negative.
    if (d->kind == 1 && (value.size() > 5 || value.toInt() > 10000))
        return QStringLiteral("Rabatt ") + value + QStringLiteral(" über 100 %");
    return QString();
}

// Whether text holds words as words of its own: not inside a word or number
// of text ("5 m" is not in "15 mm").
bool containsWords(const QString& text, const QString& words) {
    for (qsizetype at = text.indexOf(words); at >= 0; at = text.indexOf(words, at + 1)) {
        const qsizetype end = at + words.size();
        if ((at == 0 || !text[at - 1].isLetterOrNumber()) &&
            (end == text.size() || !text[end].isLetterOrNumber()))
            return true;
    }
    return false;
}

} // namespace

QStringList Fields(const QString& line) {
    // Each part trimmed before it becomes a string, into a list of its
    // final size: a record has up to 29 fields and most lines are read.
    QStringList f;
    f.reserve(line.count(u';') + 1);
    const QStringView text(line);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(u';', start);
        f.append(text.sliced(start, (end < 0 ? text.size() : end) - start).trimmed().toString());
        if (end < 0)
            break;
        start = end + 1;
    }
    if (f.size() > 1 && f.last().isEmpty())
        f.removeLast();
    return f;
}

QString DateText(const QString& text) {
    const QString t = text.trimmed();
    if (!digitsOnly(t))
        return QString();
    QDate d;
    if (t.size() == 8 && (t.startsWith(u"19") || t.startsWith(u"20")))
        d = QDate(t.left(4).toInt(), t.mid(4, 2).toInt(), t.mid(6, 2).toInt());
    if (!d.isValid() && t.size() == 8)
        d = QDate(t.mid(4, 4).toInt(), t.mid(2, 2).toInt(), t.left(2).toInt());
    if (t.size() == 6) {
        const int yy = t.mid(4, 2).toInt();
        d = QDate(yy < 70 ? 2000 + yy : 1900 + yy, t.mid(2, 2).toInt(), t.left(2).toInt());
    }
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

std::optional<Header> ReadHeader(const QString& line) {
    if (line.startsWith(QStringLiteral("V;"))) {
        const QStringList f = Fields(line);
        if (f.value(1) != u"050")
            return std::nullopt;
        Header h;
        h.version = Version::V5;
        h.content = f.value(2).isEmpty() ? QChar(u' ') : f.value(2).at(0).toUpper();
        h.date = DateText(f.value(3));
        h.currency = f.value(4).isEmpty() ? QStringLiteral("EUR") : f.value(4);
        return h;
    }
    if (line.size() < 10 || line[0] != u'V' || line[1] == u';')
        return std::nullopt;
    // Fixed width: the version at 124-125, the currency at 126-128; a
    // header a character longer or shorter has them at its end.
    QString version = line.mid(123, 2);
    QString currency = line.mid(125, 3).trimmed();
    if (version != u"04") {
        const QString t = line.trimmed();
        if (t.size() >= 5 && t.right(5).left(2) == u"04") {
            version = QStringLiteral("04");
            currency = t.right(3);
        }
    }
    if (version != u"04")
        return std::nullopt;
    Header h;
    h.version = Version::V4;
    h.content = u' ';
    h.date = DateText(line.mid(2, 6));
    h.currency = currency.isEmpty() ? QStringLiteral("EUR") : currency;
    return h;
}

QString ReadArticle(const QStringList& f, Version version, Article* a) {
    const bool v4 = version == Version::V4;
    if (f.size() < 3)
        return tooFew(u'A', f.size(), 3);
    const QString flag = field(f, 2);
    if (flag.size() != 1 || !QStringLiteral("NALX").contains(flag[0].toUpper()))
        return QStringLiteral("Verarbeitungskennzeichen ") + flag + QStringLiteral(" unbekannt");
    *a = Article();
    a->flag = flag[0].toUpper();
    a->number = field(f, 3);
    if (a->number.isEmpty())
        return QStringLiteral("A-Satz ohne Artikelnummer");
    if (a->flag == u'L' || a->flag == u'X')
        return QString();
    const int least = v4 ? 10 : 9;
    if (a->flag == u'N' && f.size() < least)
        return tooFew(u'A', f.size(), least);
    a->text1 = field(f, v4 ? 5 : 4);
    a->text2 = field(f, v4 ? 6 : 5);
    a->unit = field(f, v4 ? 9 : 6);
    bool ok = false;
    a->priceFlag = priceFlagOf(field(f, 7), &ok);
    if (!ok)
        return QStringLiteral("Preiskennzeichen ") + field(f, 7) + QStringLiteral(" unbekannt");
    const QString unit = field(f, 8);
    if (v4) {
        if (!unit.isEmpty() && (unit.size() != 1 || unit[0] < u'0' || unit[0] > u'3'))
            return QStringLiteral("Preiseinheit ") + unit + QStringLiteral(" unbekannt");
        static const int units[] = {1, 10, 100, 1000};
        a->priceUnit = units[unit.isEmpty() ? 0 : unit.toInt()];
    } else {
        if (!unit.isEmpty() && (!digitsOnly(unit) || unit.size() > 5))
            return QStringLiteral("Preiseinheit ") + unit + QStringLiteral(" ist keine Zahl");
        a->priceUnit = unit.isEmpty() || unit.toInt() == 0 ? 1 : unit.toInt();
    }
    const QString price = field(f, v4 ? 10 : 9);
    if (!price.isEmpty()) {
        qint64 cents = 0;
        if (!readCents(price, &cents))
            return priceProblem(price);
        if (cents > 0)
            a->cents = cents;
    }
    a->discountGroup = field(f, v4 ? 11 : 10);
    a->mainGroup = field(f, v4 ? 12 : 11);
    if (!v4) {
        a->goodsGroup = field(f, 12);
        a->ean = field(f, 19);
    }
    return QString();
}

QString ReadAddition(const QStringList& f, Article* a) {
    if (f.size() < 3)
        return tooFew(u'B', f.size(), 3);
    if (field(f, 3) != a->number)
        return QStringLiteral("B-Satz ohne seinen A-Satz");
    a->ean = field(f, 10);
    a->goodsGroup = field(f, 12);
    return QString();
}

QString ReadPrices(const QStringList& f, Version version, QList<Price>* prices) {
    prices->clear();
    if (f.size() < 5)
        return tooFew(u'P', f.size(), 5);
    auto read = [](Price& p, const QString& flag, const QString& cents) -> QString {
        bool ok = false;
        p.priceFlag = priceFlagOf(flag, &ok);
        if (!ok)
            return QStringLiteral("Preiskennzeichen ") + flag + QStringLiteral(" unbekannt");
        if (!readCents(cents, &p.cents))
            return priceProblem(cents);
        return QString();
    };
    if (version == Version::V5) {
        Price p;
        p.number = field(f, 2);
        if (p.number.isEmpty())
            return QStringLiteral("P-Satz ohne Artikelnummer");
        if (QString e = read(p, field(f, 3), field(f, 5)); !e.isEmpty())
            return e;
        const QString unit = field(f, 4);
        if (!unit.isEmpty() && (!digitsOnly(unit) || unit.size() > 5))
            return QStringLiteral("Preiseinheit ") + unit + QStringLiteral(" ist keine Zahl");
        p.priceUnit = unit.toInt();
        p.discountGroup = field(f, 6);
        for (int i = 0; i < 3; ++i)
            if (QString e = readDiscount(field(f, 7 + 2 * i), field(f, 8 + 2 * i), &p.discounts[i]);
                !e.isEmpty())
                return e;
        if (!field(f, 13).isEmpty()) {
            p.validFrom = DateText(field(f, 13));
            if (p.validFrom.isEmpty())
                return QStringLiteral("Datum ") + field(f, 13) +
                       QStringLiteral(" ist kein gültiges Datum");
        }
        prices->append(p);
        return QString();
    }
    // Version 4: up to three sets of nine fields from field 3.
    for (int set = 0; set < 3; ++set) {
        const int first = 3 + 9 * set;
        Price p;
        p.number = field(f, first);
        if (p.number.isEmpty())
            continue;
        if (QString e = read(p, field(f, first + 1), field(f, first + 2)); !e.isEmpty())
            return e;
        for (int i = 0; i < 3; ++i) {
            Discount& d = p.discounts[i];
            if (QString e =
                    readDiscount(field(f, first + 3 + 2 * i), field(f, first + 4 + 2 * i), &d);
                !e.isEmpty())
                return e;
            if (d.kind == 0) {
                p.discountGroup = d.value;
                d = Discount();
            }
        }
        prices->append(p);
    }
    if (prices->isEmpty())
        return QStringLiteral("P-Satz ohne Artikelnummer");
    return QString();
}

std::optional<double> DiscountPercent(const Discount& d) {
    if (d.kind <= 0 || !digitsOnly(d.value))
        return std::nullopt;
    const double v = d.value.toDouble();
    switch (d.kind) {
    case 1:
        return v / 100;
    case 2:
        return (1 - v / 1000) * 100;
    case 3:
        return -v / 100;
    }
    return std::nullopt;
}

QString ReadDiscountRate(const QStringList& f, Version version, DiscountRate* r) {
    const int at = version == Version::V4 ? 3 : 2;
    if (f.size() < at + 1)
        return tooFew(u'R', f.size(), at + 1);
    *r = DiscountRate();
    r->group = field(f, at);
    if (r->group.isEmpty())
        return QStringLiteral("R-Satz ohne Rabattgruppe");
    if (QString e = readDiscount(field(f, at + 1), field(f, at + 2), &r->discount); !e.isEmpty())
        return e;
    r->text = field(f, at + 3);
    return QString();
}

QString ReadGoodsGroup(const QStringList& f, Version version, GoodsGroup* g) {
    *g = GoodsGroup();
    if (version == Version::V4) {
        if (f.size() < 4)
            return tooFew(u'S', f.size(), 4);
        g->mainGroup = field(f, 3);
        g->group = field(f, 5);
        g->text = g->group.isEmpty() ? field(f, 4) : field(f, 6);
    } else {
        if (f.size() < 2)
            return tooFew(u'S', f.size(), 2);
        g->mainGroup = field(f, 2);
        g->group = field(f, 3);
        g->text = field(f, 4);
    }
    if (g->mainGroup.isEmpty() && g->group.isEmpty())
        return QStringLiteral("S-Satz ohne Warengruppe");
    return QString();
}

QString Description(const QString& text1, const QString& text2) {
    if (text2.isEmpty() || containsWords(text1, text2))
        return text1;
    if (text1.isEmpty())
        return text2;
    return text1 + u' ' + text2;
}

QString PriceText(qint64 cents) {
    return QString::number(cents / 100) + u',' +
           QString::number(cents % 100).rightJustified(2, u'0');
}

} // namespace Datanorm
