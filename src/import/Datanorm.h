#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The records of a DATANORM delivery (versions 4 and 5) as the import reads
// them: the header, articles (A, and B in version 4), prices (P), discount
// group rates (R, the .RAB file) and goods groups (S, the .WRG file). The
// field tables are in docs/datanorm.md. Pure functions of their arguments;
// every reader returns "" when the record reads, else the reason in German
// for the line error.
namespace Datanorm {

enum class Version { V4, V5 };

struct Header {
    Version version = Version::V4;
    QString date;     // dd.mm.yyyy; "" when the header has none
    QString currency; // "EUR" when the header leaves it blank
    QChar content;    // version 5: A, P, R, S, T …; version 4: blank
};

// The header of a file, from its first line; nullopt when it is none of
// either version.
std::optional<Header> ReadHeader(const QString& line);

// A record's fields: the line split at ";", the empty field after the last
// ";" dropped, blanks at both ends of each field removed.
QStringList Fields(const QString& line);

struct Article {
    QChar flag; // N new, A change, L delete, X number change
    QString number;
    QString text1;
    QString text2;
    QString unit;
    int priceFlag = 0; // 1 list price, 2 net price, 0 none given
    int priceUnit = 1; // the price is for this many units
    qint64 cents = -1; // the price in cents; -1 when the record has none
    QString discountGroup;
    QString mainGroup;
    QString goodsGroup;
    QString ean;
};

// A record (both versions).
QString ReadArticle(const QStringList& fields, Version version, Article* article);
// Version 4's B record of the same article: EAN and goods group. False
// when it is of another article.
QString ReadAddition(const QStringList& fields, Article* article);

// A discount of a price record: its kind (0 a discount group, 1 percent in
// hundredths, 2 a multiplier in thousandths, 3 a surcharge percent in
// hundredths) and value as written.
struct Discount {
    int kind = -1; // -1: none
    QString value;
};

struct Price {
    QString number;
    int priceFlag = 0;
    int priceUnit = 0; // version 5; 0: the article's
    qint64 cents = 0;
    QString discountGroup;
    Discount discounts[3];
    QString validFrom; // dd.mm.yyyy; "" when the record gives none
};

// P record: up to three prices (version 4) or one (version 5).
QString ReadPrices(const QStringList& fields, Version version, QList<Price>* prices);

// The percent a discount takes off the price (a surcharge negative); nullopt
// for none, a discount group or a value that is no number.
std::optional<double> DiscountPercent(const Discount& discount);

struct DiscountRate {
    QString group;
    Discount discount;
    QString text;
};
// R record of the .RAB file.
QString ReadDiscountRate(const QStringList& fields, Version version, DiscountRate* rate);

struct GoodsGroup {
    QString mainGroup;
    QString group; // "" for a main group
    QString text;
};
// S record of the .WRG file.
QString ReadGoodsGroup(const QStringList& fields, Version version, GoodsGroup* group);

// The description of a position: short text 1, and " " and short text 2
// when that adds anything.
QString Description(const QString& text1, const QString& text2);

// Cents as the price text of a price line ("12,34").
QString PriceText(qint64 cents);
// A date of the files (DDMMYY in a version 4 header, YYYYMMDD elsewhere,
// DDMMYYYY in a C record) as dd.mm.yyyy; "" when it is no date.
QString DateText(const QString& text);

} // namespace Datanorm
