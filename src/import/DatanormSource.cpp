#include "DatanormSource.h"

#include "common/ErpForms.h"
#include "import/ImportFileReader.h"

#include <QDate>
#include <QFileInfo>
#include <cmath>

using namespace Datanorm;

namespace {

// Each line of a DATANORM file with its number; empty lines, lines of
// blanks and the DOS end-of-file character are no records.
class RecordReader {
public:
    bool open(const QString& path) {
        m_reader.setDosCodePage(true);
        return m_reader.open(path);
    }
    qint64 lineFeeds() const { return m_reader.lineFeedCount(); }
    // The next record line (after the header when skipHeader was read).
    bool next(QString* line, qint64* number) {
        while (m_reader.readLine(line)) {
            ++m_number;
            while (line->endsWith(QChar(0x1A)))
                line->chop(1);
            if (line->trimmed().isEmpty())
                continue;
            *number = m_number;
            return true;
        }
        return false;
    }
    bool failed() const { return m_reader.failed(); }
    QString errorString() const { return m_reader.errorString(); }

private:
    ImportFileReader m_reader;
    qint64 m_number = 0;
};

QString erpNumber(double value, int decimals) {
    return ErpNumber(value, decimals);
}

// Fields of a price line joined: the extended import file's 29.
QString articleLineText(const QStringList& fields) {
    QStringList f = fields;
    // The line's separator inside a text would move every later field.
    for (QString& s : f)
        s.replace(ImportArticleLine::kSeparator, u'/');
    return f.join(ImportArticleLine::kSeparator);
}

// The kind of a record: the first character of its first field, blanks
// around the field left out; a null QChar when that field is empty. Read
// from the line itself, so that the records no price is taken from (long
// texts, mostly) are never split into fields.
QChar KindOf(const QString& line) {
    for (const QChar c : line)
        if (!c.isSpace())
            return c == u';' ? QChar() : c;
    return QChar();
}

// The fields of the records whose fields are read.
QStringList FieldsOf(QChar kind, const QString& line, const QString& kinds) {
    return kinds.contains(kind) ? Fields(line) : QStringList();
}

bool IsNetPrice(int priceFlag) {
    return priceFlag == 2 || priceFlag == 3;
}

RecordIssue issueAt(const DeliveryFile& file, qint64 line, const QString& text,
                    const QString& reason) {
    return RecordIssue{file.name, line, text, reason};
}

} // namespace

DatanormKnowledge::KeptPrice::KeptPrice(const Price& p)
    : cents(p.cents), priceUnit(qint16(qBound(0, p.priceUnit, 32767))),
      priceFlag(qint8(p.priceFlag)), discountGroup(p.discountGroup) {
    if (!p.validFrom.isEmpty())
        validFromDay = qint32(QDate::fromString(p.validFrom, u"dd.MM.yyyy").toJulianDay());
    for (size_t i = 0; i < 3; ++i)
        percents[i] = DiscountPercent(p.discounts[i]).value_or(std::nan(""));
}

QString DatanormKnowledge::KeptPrice::validFrom() const {
    return validFromDay == 0 ? QString()
                             : QDate::fromJulianDay(validFromDay).toString(u"dd.MM.yyyy");
}

std::optional<double> DatanormKnowledge::KeptPrice::percent(int i) const {
    const double p = percents[size_t(i)];
    return std::isnan(p) ? std::nullopt : std::optional(p);
}

SourceLine DatanormLine(const Article& a, const QString& date,
                        const DatanormKnowledge::ArticlePrices* prices, const QString& groupName,
                        const QMap<QString, QStringList>& rates) {
    using KeptPrice = DatanormKnowledge::KeptPrice;
    const KeptPrice* list = prices && prices->list ? &*prices->list : nullptr;
    const KeptPrice* net = prices && prices->net ? &*prices->net : nullptr;
    const QString priceDate = prices && (list || net) ? prices->date : date;
    // The article's own price, when no P record gives one of its kind.
    // A price on request (flag 9) is none; a factory price (3) is net.
    const bool own = a.cents > 0 && a.priceFlag != 9;
    qint64 listCents = list ? list->cents : (own && !IsNetPrice(a.priceFlag) ? a.cents : 0);
    qint64 netCents = net ? net->cents : (own && IsNetPrice(a.priceFlag) ? a.cents : 0);
    // A P record with a date of its own dates the price.
    QString lineDate = date;
    if (list || net) {
        lineDate = priceDate;
        const KeptPrice* p = list ? list : net;
        if (p->validFromDay != 0)
            lineDate = p->validFrom();
    }
    int priceUnit = a.priceUnit;
    for (const KeptPrice* p : {list, net})
        if (p && p->priceUnit > 0)
            priceUnit = p->priceUnit;
    QString group = a.discountGroup;
    if (list && !list->discountGroup.isEmpty())
        group = list->discountGroup;

    SourceLine s;
    const qint64 cents = listCents > 0 ? listCents : netCents;
    QStringList f(ImportArticleLine::kFieldCount);
    f[ImportArticleLine::Ean - 1] = a.ean;
    f[ImportArticleLine::HerstArtNr - 1] = a.number;
    f[ImportArticleLine::Bezeichng - 1] = Description(a.text1, a.text2);
    f[ImportArticleLine::VE - 1] = a.unit;
    f[ImportArticleLine::Preis - 1] = cents > 0 ? PriceText(cents) : QStringLiteral("0");
    f[ImportArticleLine::GueltigAb - 1] = lineDate;
    f[ImportArticleLine::Preis2 - 1] = QStringLiteral("0");
    f[ImportArticleLine::PreisEHT - 1] = QString::number(priceUnit);
    f[ImportArticleLine::FclassPreferredName - 1] = groupName;

    // The purchase side: an own net price, else own discounts, else the
    // discount group.
    QStringList discounts;
    double netFromDiscounts = double(listCents) / 100;
    auto take = [&](double percent) {
        discounts << erpNumber(percent, 2);
        netFromDiscounts *= 1 - percent / 100;
    };
    bool ownDiscounts = false;
    if (list)
        for (int i = 0; i < 3; ++i)
            ownDiscounts = ownDiscounts || list->percent(i).has_value();
    // A P record naming a group and discounts of its own: the group's rate
    // (of the .RAB file) first, then its own; without a known rate the
    // group stays, and the discounts cannot be added to it.
    if (ownDiscounts && !list->discountGroup.isEmpty() && !rates.contains(list->discountGroup))
        ownDiscounts = false;
    if (ownDiscounts) {
        if (!list->discountGroup.isEmpty())
            for (const QString& rate : rates.value(list->discountGroup))
                if (!rate.isEmpty() && rate.toDouble() != 0)
                    take(rate.toDouble());
        for (int i = 0; i < 3; ++i)
            if (const auto percent = list->percent(i))
                take(*percent);
    }
    if (netCents > 0 && listCents > 0) {
        s.extras.rabtyp = QStringLiteral("N");
        s.extras.netto = erpNumber(double(netCents) / 100, 4);
    } else if (netCents > 0) {
        s.extras.rabtyp = QStringLiteral("N");
        s.extras.netto = erpNumber(double(netCents) / 100, 4);
    } else if (ownDiscounts && !discounts.isEmpty() && discounts.size() <= 4) {
        s.extras.rabtyp = QStringLiteral("%");
        s.extras.discounts = discounts;
        s.extras.netto = erpNumber(netFromDiscounts, 4);
    } else {
        f[ImportArticleLine::RabattGR - 1] = group;
    }
    s.line = ImportArticleLine(articleLineText(f));
    return s;
}

qint64 DatanormSource::lineCount() const {
    qint64 n = 0;
    for (const DeliveryFile& f : m_delivery.files)
        n += QFileInfo(f.path).size() / 40 + 1; // refined by the readers' counts
    return n;
}

std::optional<RecordIssue> DatanormSource::readSideFiles(DatanormKnowledge& k) {
    const Version version =
        m_delivery.format == Delivery::Format::Datanorm4 ? Version::V4 : Version::V5;
    for (const DeliveryFile& file : m_delivery.files) {
        if (file.role == FileRole::Articles || file.role == FileRole::Quendra)
            continue;
        RecordReader reader;
        if (!reader.open(file.path))
            return issueAt(file, 0, QString(), kFileUnreadableMessage);
        QString line;
        qint64 number = 0;
        reader.next(&line, &number); // the header
        while (reader.next(&line, &number)) {
            ++m_read;
            const QChar kind = KindOf(line);
            const QStringList f = FieldsOf(kind, line, QStringLiteral("RSP"));
            QString problem;
            if (kind == u'R' && file.role == FileRole::DiscountGroups) {
                DiscountRate r;
                problem = ReadDiscountRate(f, version, &r);
                if (problem.isEmpty()) {
                    const auto percent = DiscountPercent(r.discount);
                    k.rates.insert(r.group, {percent ? erpNumber(*percent, 2) : QString()});
                }
            } else if (kind == u'S' && file.role == FileRole::GoodsGroups) {
                GoodsGroup g;
                problem = ReadGoodsGroup(f, version, &g);
                if (problem.isEmpty() && !g.text.isEmpty())
                    k.groupNames.insert(g.group.isEmpty() ? g.mainGroup : g.group, g.text);
            } else if (kind == u'P') {
                QList<Price> prices;
                problem = ReadPrices(f, version, &prices);
                for (const Price& p : prices)
                    TakePrice(p, file.header.date, k);
            }
            if (!problem.isEmpty())
                return issueAt(file, number, line, problem);
        }
        if (reader.failed())
            return issueAt(file, number, line, kFileUnreadableMessage);
    }
    return std::nullopt;
}

SourceLine DatanormSource::lineOf(const Article& a, const QString& fileDate,
                                  const DatanormKnowledge& k) const {
    const auto prices = k.prices.constFind(a.number);
    QString name = k.groupNames.value(a.goodsGroup);
    if (name.isEmpty())
        name = k.groupNames.value(a.mainGroup);
    return DatanormLine(a, fileDate, prices == k.prices.constEnd() ? nullptr : &*prices, name,
                        k.rates);
}

std::optional<RecordIssue> DatanormSource::walkArticles(DatanormKnowledge& k, bool collect,
                                                        const Watch& watch, const Yield& yield) {
    const Version version =
        m_delivery.format == Delivery::Format::Datanorm4 ? Version::V4 : Version::V5;
    for (const DeliveryFile& file : m_delivery.filesOf(FileRole::Articles)) {
        RecordReader reader;
        if (!reader.open(file.path))
            return issueAt(file, 0, QString(), kFileUnreadableMessage);
        QString line;
        qint64 number = 0;
        reader.next(&line, &number); // the header
        // The article read last waits for its B record.
        std::optional<Article> pending;
        qint64 pendingLine = 0;
        QString pendingText;
        auto flush = [&]() -> std::optional<RecordIssue> {
            if (!pending)
                return std::nullopt;
            Article a = std::move(*pending);
            pending.reset();
            SourceLine s = lineOf(a, file.header.date, k);
            s.file = file.name;
            s.fileLine = pendingLine;
            s.record = pendingText;
            return yield(s);
        };
        while (reader.next(&line, &number)) {
            ++m_read;
            const QChar kind = KindOf(line);
            // The records prices come from are watched; long texts are not.
            if (kind == u'A' || kind == u'B' || kind == u'P')
                if (auto stop = watch(file.name, number, line))
                    return stop;
            const QStringList f = FieldsOf(kind, line, QStringLiteral("ABP"));
            QString problem;
            if (kind == u'A') {
                if (auto stop = flush())
                    return stop;
                Article a;
                problem = ReadArticle(f, version, &a);
                if (problem.isEmpty() && (a.flag == u'L' || a.flag == u'X')) {
                    if (a.flag == u'L' && collect)
                        ++k.deleted;
                } else if (problem.isEmpty()) {
                    seeArticle(a.number, k);
                    pending = std::move(a);
                    pendingLine = number;
                    pendingText = line;
                }
            } else if (kind == u'B' && version == Version::V4) {
                if (pending && f.value(2) == pending->number)
                    problem = ReadAddition(f, &*pending);
                else if (f.size() < 3)
                    problem =
                        QStringLiteral("B-Satz mit %1 statt mindestens 3 Feldern").arg(f.size());
            } else if (kind == u'B') {
                // Version 5: a deletion or a number change.
                if (f.value(1) == u"L" && collect)
                    ++k.deleted;
            } else if (kind == u'P') {
                QList<Price> prices;
                problem = ReadPrices(f, version, &prices);
                if (problem.isEmpty() && collect)
                    for (const Price& p : prices) {
                        if (!TakePrice(p, file.header.date, k))
                            continue;
                        // Of the article read last; else its article may
                        // have been given its line already: the check walks
                        // again with every price known (no article is kept
                        // to tell).
                        if (pending && pending->number == p.number)
                            k.prices[p.number].hasArticle = true;
                        else
                            m_latePrice = true;
                    }
            }
            // T, D, K, C, E, S, Z and kinds not known are no prices.
            if (!problem.isEmpty())
                return issueAt(file, number, line, problem);
        }
        if (reader.failed()) {
            m_error = reader.errorString();
            return issueAt(file, number, line, kFileUnreadableMessage);
        }
        if (auto stop = flush())
            return stop;
    }
    return std::nullopt;
}

void DatanormSource::seeArticle(const QString& number, DatanormKnowledge& k) {
    if (auto it = k.prices.find(number); it != k.prices.end())
        it->hasArticle = true;
}

std::optional<QString> TrackOf(const SourceLine& s) {
    double first = 0;
    double second = 0;
    if (!s.line.convertPrices(&first, &second) || first == 0)
        return std::nullopt;
    return s.line.priceDate(ImportPrice::First);
}

bool TakePrice(const Price& p, const QString& fileDate, DatanormKnowledge& k) {
    switch (p.priceFlag) {
    case 4: // a recommended retail price: no purchase price
        ++k.recommended;
        return false;
    case 9: // price on request: a guide, no price
        return false;
    default:
        break;
    }
    if (p.cents <= 0) // no price transmitted
        return false;
    auto& entry = k.prices[p.number];
    // A factory price is not discountable: a net price. The prices of one
    // discount group share its text.
    DatanormKnowledge::KeptPrice kept(p);
    if (!kept.discountGroup.isEmpty())
        kept.discountGroup = *k.groups.insert(kept.discountGroup);
    (IsNetPrice(p.priceFlag) ? entry.net : entry.list) = std::move(kept);
    entry.date = fileDate;
    return true;
}

QStringList DatanormSource::ArticlesWithoutMaster(const DatanormKnowledge& k) {
    QStringList out;
    for (auto it = k.prices.constBegin(); it != k.prices.constEnd(); ++it)
        if (!it->hasArticle)
            out << it.key();
    out.sort();
    return out;
}

std::optional<RecordIssue> DatanormSource::yieldEarlier(const DatanormKnowledge& k,
                                                        const Yield& yield) {
    for (const QString& number : ArticlesWithoutMaster(k)) {
        const auto found = k.earlier.constFind(number);
        if (found == k.earlier.constEnd())
            continue;
        Article a;
        a.flag = u'N';
        a.number = number;
        a.text1 = found->description;
        a.unit = found->unit;
        a.ean = found->ean;
        a.priceUnit = qMax(1, found->priceUnit.toInt());
        SourceLine s = DatanormLine(a, QString(), &*k.prices.constFind(number), QString(), k.rates);
        s.file = QStringLiteral("Preis ohne Artikelstamm");
        if (auto stop = yield(s))
            return stop;
    }
    return std::nullopt;
}
