#include "Bmecat.h"

#include "import/BmecatParser.h"
#include "import/LineSpool.h"

#include "common/ErpForms.h"
#include "import/FileImport.h"
#include "import/PositionReader.h"
#include "import/XmlSource.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QVarLengthArray>
#include <QXmlStreamReader>
#include <cmath>
#include <optional>

namespace Bmecat {

namespace {

bool IsGerman(const QString& language) {
    const QString l = language.toLower();
    return l == u"deu" || l == u"de" || l == u"ger" || l.startsWith(u"de-") || l.startsWith(u"de_");
}

// A number as BMEcat writes it (decimal point, no thousands), nullopt when
// the text is none.
std::optional<double> NumberOf(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return text.trimmed().toDouble();
}

// A price as the price line writes it: the supplier's digits with a
// decimal comma where nothing was worked out, else rounded to 4 places.
QString LinePrice(const QString& written, std::optional<double> worked) {
    if (worked)
        return ErpNumber(*worked, 4).replace(u'.', u',');
    QString t = written.trimmed();
    if (t.startsWith(u'+'))
        t.remove(0, 1);
    if (t.startsWith(u'.'))
        t.prepend(u'0');
    return t.replace(u'.', u',');
}

// A quantity as an integer where it is one ("100.00" is "100").
QString Quantity(const QString& text) {
    const auto n = NumberOf(text);
    if (n && *n == std::floor(*n) && *n < 1e9)
        return QString::number(qint64(*n));
    return text.trimmed();
}

QString DateOf(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QString();
    const QString d = ErpDate(t.left(10));
    return d.isEmpty() ? t : d;
}

} // namespace

QString ChosenDescription(const Product& product, const QString& catalogueLanguage) {
    for (const Description& d : product.descriptions)
        if (IsGerman(d.language.isEmpty() ? catalogueLanguage : d.language))
            return d.text;
    for (const Description& d : product.descriptions)
        if (d.language.isEmpty() || d.language.compare(catalogueLanguage, Qt::CaseInsensitive) == 0)
            return d.text;
    return product.descriptions.isEmpty() ? QString() : product.descriptions.first().text;
}

ProductLines LinesOf(const Product& p, const Catalogue& catalogue, const QString& today) {
    ProductLines out;
    const QString description = ChosenDescription(p, catalogue.language).simplified();
    // Prices in euros: the price's currency, else the catalogue's.
    const QString catalogueCurrency =
        catalogue.currency.isEmpty() ? QStringLiteral("EUR") : catalogue.currency.toUpper();
    QStringList dates;
    for (const PriceDetails& details : p.details) {
        std::optional<QString> list;
        std::optional<QString> gross;
        std::optional<QString> net;
        bool laterScale = false;
        for (const Price& price : details.prices) {
            if (!price.lowerBound.trimmed().isEmpty()) {
                const auto bound = NumberOf(price.lowerBound);
                if (!bound) {
                    out.problem =
                        QStringLiteral("Staffelmenge %1 ist keine Zahl").arg(price.lowerBound);
                    return out;
                }
                if (*bound > 1) {
                    laterScale = true;
                    continue;
                }
            }
            const auto amount = NumberOf(price.amount);
            if (!amount) {
                out.problem = QStringLiteral("Preis %1 ist keine Zahl").arg(price.amount);
                return out;
            }
            if (*amount < 0) {
                out.problem = QStringLiteral("Preis %1 ist negativ").arg(price.amount);
                return out;
            }
            const QString currency =
                price.currency.isEmpty() ? catalogueCurrency : price.currency.toUpper();
            if (currency != u"EUR") {
                ++out.others;
                continue;
            }
            std::optional<double> worked;
            if (!price.factor.trimmed().isEmpty()) {
                const auto factor = NumberOf(price.factor);
                if (!factor) {
                    out.problem = QStringLiteral("Preisfaktor %1 ist keine Zahl").arg(price.factor);
                    return out;
                }
                if (*factor != 1)
                    worked = *amount * *factor;
            }
            const QString type = price.type.trimmed().toLower();
            if (type == u"net_list") {
                if (!list)
                    list = LinePrice(price.amount, worked);
            } else if (type == u"gros_list") {
                const auto tax = NumberOf(price.tax);
                if (!tax) {
                    out.problem =
                        price.tax.trimmed().isEmpty()
                            ? QStringLiteral("Bruttopreis ohne Steuersatz (TAX)")
                            : QStringLiteral("Steuersatz %1 ist keine Zahl").arg(price.tax);
                    return out;
                }
                // TAX is a fraction (0.19); a percent (19) is read as one.
                const double rate = *tax > 1 ? *tax / 100 : *tax;
                if (!gross)
                    gross = LinePrice(QString(), (worked ? *worked : *amount) / (1 + rate));
            } else if (type == u"net_customer") {
                if (!net)
                    net = LinePrice(price.amount, worked);
            } else if (type == u"nrp") {
                ++out.recommended;
            } else {
                ++out.others;
            }
        }
        if (!list)
            list = gross;
        if (!list && !net) {
            if (laterScale)
                out.notes << QStringLiteral("Artikel %1 nur mit Staffelpreisen, nicht übernommen")
                                 .arg(p.number.trimmed());
            continue;
        }
        QStringList f(ImportArticleLine::kFieldCount);
        f[ImportArticleLine::Ean - 1] = p.ean.trimmed();
        f[ImportArticleLine::HerstArtNr - 1] = p.number.trimmed();
        f[ImportArticleLine::Bezeichng - 1] = description;
        f[ImportArticleLine::VE - 1] = p.unit.trimmed();
        f[ImportArticleLine::Preis - 1] = list ? *list : *net;
        QString date = DateOf(details.validFrom);
        if (date.isEmpty())
            date = catalogue.date;
        if (date.isEmpty())
            date = today;
        if (dates.contains(date)) {
            out.notes << QStringLiteral("Artikel %1: zweiter Preis zum %2 nicht übernommen")
                             .arg(p.number.trimmed(), date);
            continue;
        }
        dates << date;
        f[ImportArticleLine::GueltigAb - 1] = date;
        f[ImportArticleLine::Preis2 - 1] = QStringLiteral("0");
        f[ImportArticleLine::PreisEHT - 1] =
            p.priceQuantity.trimmed().isEmpty() ? QStringLiteral("1") : Quantity(p.priceQuantity);
        SourceLine s;
        if (net) {
            s.extras.rabtyp = QStringLiteral("N");
            s.extras.netto = ErpNumber(ErpValue(*net), 4);
        }
        for (QString& field : f)
            field.replace(ImportArticleLine::kSeparator, u'/');
        s.line = ImportArticleLine(f.join(ImportArticleLine::kSeparator));
        s.fileLine = p.line;
        QStringList record{p.number.trimmed(), description, p.unit.trimmed(),
                           f[ImportArticleLine::PreisEHT - 1]};
        if (list)
            record << QStringLiteral("Listenpreis ") + *list;
        if (net)
            record << QStringLiteral("Nettopreis ") + *net;
        record << date;
        s.record = record.join(QStringLiteral("; "));
        out.lines << s;
    }
    return out;
}

QString RecognizeCatalogue(const QByteArray& start) {
    // The first element after the declaration, comments and the document
    // type: its name without prefix, then its version attribute.
    qsizetype at = start.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (;;) {
        at = start.indexOf('<', at);
        if (at < 0 || at + 1 >= start.size())
            return QString();
        if (start.mid(at, 4) == "<!--") {
            at = start.indexOf("-->", at);
        } else if (start[at + 1] == '?' || start[at + 1] == '!') {
            at = start.indexOf('>', at);
        } else {
            break;
        }
        if (at < 0)
            return QString();
    }
    static const QRegularExpression root(
        QStringLiteral("^<(?:[A-Za-z_][\\w.-]*:)?BMECAT(?=[\\s/>])([^>]*)"));
    const auto m = root.match(QString::fromLatin1(start.mid(at, 4096)));
    if (!m.hasMatch())
        return QString();
    static const QRegularExpression version(
        QStringLiteral("\\bversion\\s*=\\s*[\"']([^\"']*)[\"']"));
    const auto v = version.match(m.captured(1));
    return v.hasMatch() && !v.captured(1).isEmpty() ? v.captured(1) : QStringLiteral("?");
}

qint64 CountProducts(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 count = 0;
    // The name after "<", its prefix left out; "</" and "<?" begin none.
    QByteArray name;
    bool inName = false;
    QByteArray chunk;
    while (!(chunk = file.read(1 << 20)).isEmpty()) {
        for (const char c : chunk) {
            if (c == '<') {
                inName = true;
                name.clear();
                continue;
            }
            if (!inName)
                continue;
            if (c == ':') {
                name.clear();
            } else if (c == ' ' || c == '>' || c == '\t' || c == '\r' || c == '\n' || c == '/') {
                if (name == "ARTICLE" || name == "PRODUCT")
                    ++count;
                inName = false;
            } else if (name.size() < 16) {
                name.append(c);
            } else {
                inName = false;
            }
        }
    }
    return count;
}

} // namespace Bmecat

namespace {

using namespace Bmecat;

// A catalogue's products as price lines. Products without a description
// (a price update) take description, unit and EAN from the supplier's
// newest download that has them, after the others.
class BmecatReader : public PositionReader {
public:
    BmecatReader(QString path, QString name, qint64 products)
        : m_path(std::move(path)), m_name(std::move(name)), m_products(products) {}

    QStringList paths() const override { return {m_path}; }

    std::optional<Stop> prepare() override {
        m_today = QDate::currentDate().toString(u"dd.MM.yyyy");
        if (!QFile(m_path).open(QIODevice::ReadOnly))
            return Stop{RecordIssue{m_name, 0, QString(), kFileUnreadableMessage}, true, false};
        return std::nullopt;
    }

    std::optional<Stop> walk(bool check, const Watch& watch, const Yield& yield) override {
        // The store gives the lines the check gave, without the XML again.
        if (!check && m_spool.usable()) {
            m_replaying = true;
            if (auto stop = m_spool.replay(m_name, watch, yield))
                return Stop{*stop};
            return std::nullopt;
        }
        const bool first = check && m_walks++ == 0;
        if (check)
            m_spool.start();
        qint64 yielded = 0;
        auto ended =
            stream([&](const Product& p, const ProductLines& taken) -> std::optional<Stop> {
                if (p.descriptions.isEmpty()) {
                    if (first && !taken.lines.isEmpty())
                        m_lacking << p.number.trimmed();
                    return std::nullopt;
                }
                if (first)
                    count(p, taken);
                for (const SourceLine& s : taken.lines) {
                    ++yielded;
                    if (check)
                        m_spool.add(s);
                    if (auto stop = watch(m_name, s.fileLine, s.record))
                        return Stop{*stop};
                    if (auto stop = yield(withFile(s)))
                        return Stop{*stop};
                }
                return std::nullopt;
            });
        if (check && !ended)
            m_spool.finish();
        // A catalogue that gives no price at all makes no download.
        if (!ended && first && yielded == 0 && m_lacking.isEmpty() && m_deleted == 0)
            return Stop{RecordIssue{m_name, 0, QString(), FileImport::kNoArticleLine}};
        return ended;
    }

    QStringList lacking() const override { return m_lacking; }
    QList<ImportNote> passed() const override { return m_notes; }
    void takeEarlier(const QString& number, const EarlierArticle& article) override {
        m_earlier.insert(number, article);
    }
    std::optional<Stop> walkEarlier(const Yield& yield) override {
        if (m_lacking.isEmpty())
            return std::nullopt;
        const bool first = m_earlierWalks++ == 0;
        return stream([&](const Product& p, const ProductLines& taken) -> std::optional<Stop> {
            if (!p.descriptions.isEmpty() || taken.lines.isEmpty())
                return std::nullopt;
            if (first)
                count(p, taken);
            const auto found = m_earlier.constFind(p.number.trimmed());
            if (found == m_earlier.constEnd()) {
                if (first)
                    ++m_withoutArticle;
                return std::nullopt;
            }
            for (SourceLine s : taken.lines) {
                QStringList f;
                for (int i = 1; i <= ImportArticleLine::kFieldCount; ++i)
                    f << s.line.field(i);
                auto fill = [&](int field, const QString& value) {
                    if (f[field - 1].isEmpty())
                        f[field - 1] = QString(value).replace(ImportArticleLine::kSeparator, u'/');
                };
                fill(ImportArticleLine::Bezeichng, found->description);
                fill(ImportArticleLine::VE, found->unit);
                fill(ImportArticleLine::Ean, found->ean);
                s.line = ImportArticleLine(f.join(ImportArticleLine::kSeparator));
                if (auto stop = yield(withFile(s)))
                    return Stop{*stop};
            }
            return std::nullopt;
        });
    }

    bool linksManufacturer() const override { return false; }
    bool tracksByDate() const override { return true; }
    qint64 progress() const override {
        if (m_replaying && m_spool.entries() > 0)
            return m_products * m_spool.replayed() / m_spool.entries();
        return m_read;
    }
    qint64 maximum() const override { return qMax<qint64>(1, m_products); }

    void report(ImportResult& result) const override {
        result.recommended = m_recommended;
        result.otherPrices = m_others;
        result.deleted = m_deleted;
        result.withoutArticle = m_withoutArticle;
    }

private:
    // What the check learns of a product besides its lines.
    void count(const Product& p, const ProductLines& taken) {
        m_recommended += taken.recommended;
        m_others += taken.others;
        for (const QString& note : taken.notes)
            m_notes.append({m_name, p.line, note});
    }

    SourceLine withFile(SourceLine s) const {
        s.file = m_name;
        return s;
    }

    template <typename Each> std::optional<Stop> stream(Each each) {
        CatalogueParser parser(m_path);
        QString problem;
        if (!parser.open(&problem))
            return Stop{RecordIssue{m_name, 0, QString(), problem}, true, false};
        const bool counting = m_streams++ == 0;
        m_read = 0;
        Product p;
        for (;;) {
            const auto next = parser.next(&p);
            if (next == CatalogueParser::Next::End)
                break;
            if (next == CatalogueParser::Next::Problem)
                return Stop{RecordIssue{m_name, parser.line(), QString(), parser.problem()}};
            ++m_read;
            if (p.number.trimmed().isEmpty())
                return Stop{RecordIssue{m_name, p.line, QString(),
                                        QStringLiteral("Artikel ohne Artikelnummer "
                                                       "(SUPPLIER_AID/SUPPLIER_PID)")}};
            if (p.mode.compare(u"delete", Qt::CaseInsensitive) == 0) {
                if (counting)
                    ++m_deleted;
                continue;
            }
            const ProductLines taken = LinesOf(p, parser.catalogue(), m_today);
            if (!taken.problem.isEmpty())
                return Stop{RecordIssue{m_name, p.line, p.number.trimmed(), taken.problem}};
            if (auto stop = each(p, taken))
                return stop;
        }
        if (parser.catalogue().version.isEmpty())
            return Stop{RecordIssue{m_name, 0, QString(), QStringLiteral("kein BMEcat-Katalog")}};
        return std::nullopt;
    }

    QString m_path;
    QString m_name;
    QString m_today;
    qint64 m_products;
    int m_walks = 0;
    int m_streams = 0;
    int m_earlierWalks = 0;
    qint64 m_read = 0;
    QStringList m_lacking;
    QHash<QString, EarlierArticle> m_earlier;
    qint64 m_recommended = 0;
    qint64 m_others = 0;
    QList<ImportNote> m_notes;
    LineSpool m_spool;
    bool m_replaying = false;
    qint64 m_deleted = 0;
    qint64 m_withoutArticle = 0;
};

} // namespace

std::unique_ptr<PositionReader> MakeBmecatReader(const QString& path, const QString& name,
                                                 qint64 products) {
    return std::make_unique<BmecatReader>(path, name, products);
}
