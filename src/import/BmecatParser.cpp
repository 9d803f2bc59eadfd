#include "BmecatParser.h"

#include "common/ErpForms.h"
#include "import/XmlSource.h"

#include <QHash>
#include <QVarLengthArray>
#include <QXmlStreamReader>

namespace Bmecat {

namespace {

// The elements the reader looks at; everything else is read past.
enum class Tag : quint8 {
    Other,
    Number,       // SUPPLIER_AID, SUPPLIER_PID
    Details,      // ARTICLE_DETAILS, PRODUCT_DETAILS
    OrderDetails, // ARTICLE_ORDER_DETAILS, PRODUCT_ORDER_DETAILS
    PriceDetails, // ARTICLE_PRICE_DETAILS, PRODUCT_PRICE_DETAILS
    Price,        // ARTICLE_PRICE, PRODUCT_PRICE
    DescriptionShort,
    Ean,
    InternationalPid,
    OrderUnit,
    PriceQuantity,
    DateTime,
    Date,
    PriceAmount,
    PriceCurrency,
    Tax,
    PriceFactor,
    LowerBound,
};

Tag TagOf(QStringView name) {
    static const QHash<QString, Tag> tags{
        {QStringLiteral("SUPPLIER_AID"), Tag::Number},
        {QStringLiteral("SUPPLIER_PID"), Tag::Number},
        {QStringLiteral("ARTICLE_DETAILS"), Tag::Details},
        {QStringLiteral("PRODUCT_DETAILS"), Tag::Details},
        {QStringLiteral("ARTICLE_ORDER_DETAILS"), Tag::OrderDetails},
        {QStringLiteral("PRODUCT_ORDER_DETAILS"), Tag::OrderDetails},
        {QStringLiteral("ARTICLE_PRICE_DETAILS"), Tag::PriceDetails},
        {QStringLiteral("PRODUCT_PRICE_DETAILS"), Tag::PriceDetails},
        {QStringLiteral("ARTICLE_PRICE"), Tag::Price},
        {QStringLiteral("PRODUCT_PRICE"), Tag::Price},
        {QStringLiteral("DESCRIPTION_SHORT"), Tag::DescriptionShort},
        {QStringLiteral("EAN"), Tag::Ean},
        {QStringLiteral("INTERNATIONAL_PID"), Tag::InternationalPid},
        {QStringLiteral("ORDER_UNIT"), Tag::OrderUnit},
        {QStringLiteral("PRICE_QUANTITY"), Tag::PriceQuantity},
        {QStringLiteral("DATETIME"), Tag::DateTime},
        {QStringLiteral("DATE"), Tag::Date},
        {QStringLiteral("PRICE_AMOUNT"), Tag::PriceAmount},
        {QStringLiteral("PRICE_CURRENCY"), Tag::PriceCurrency},
        {QStringLiteral("TAX"), Tag::Tax},
        {QStringLiteral("PRICE_FACTOR"), Tag::PriceFactor},
        {QStringLiteral("LOWER_BOUND"), Tag::LowerBound},
    };
    return tags.value(name.toString(), Tag::Other);
}

bool IsProduct(QStringView name) {
    return name == u"ARTICLE" || name == u"PRODUCT";
}

} // namespace

class CatalogueParser::Impl {
public:
    explicit Impl(const QString& path) : m_device(path) {}

    bool open(QString* problem) {
        if (!m_device.open()) {
            *problem = m_device.error();
            return false;
        }
        m_xml.setDevice(&m_device);
        return true;
    }

    const Catalogue& catalogue() const { return m_catalogue; }
    qint64 line() const { return m_xml.lineNumber(); }

    enum class Next { Product, End, Problem };

    // The next product; Problem when the document breaks off or is no XML
    // (problem() says why, at line()).
    Next next(Product* product) {
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                const QStringView name = m_xml.name();
                // Products are the children of the transaction, nothing else.
                if (IsProduct(name) && m_depth == 2 && m_inTransaction) {
                    if (!readProduct(product))
                        return Next::Problem;
                    return Next::Product;
                }
                ++m_depth;
                if (m_depth == 1) {
                    m_catalogue.version =
                        m_xml.attributes().value(QStringLiteral("version")).toString();
                } else if (name.startsWith(u"T_") && m_depth == 2) {
                    m_catalogue.transaction = name.toString();
                    m_inTransaction = true;
                } else if (name == u"CURRENCY" && m_inCatalog) {
                    m_catalogue.currency = m_xml.readElementText().trimmed();
                    --m_depth;
                } else if (name == u"LANGUAGE" && m_inCatalog) {
                    const bool isDefault =
                        m_xml.attributes().value(QStringLiteral("default")) == u"true";
                    const QString language = m_xml.readElementText().trimmed();
                    --m_depth;
                    if (m_catalogue.language.isEmpty() || isDefault)
                        m_catalogue.language = language;
                } else if (name == u"CATALOG" && m_depth == 3) {
                    m_inCatalog = true;
                } else if (name == u"DATETIME" && m_inCatalog) {
                    m_generation =
                        m_xml.attributes().value(QStringLiteral("type")) == u"generation_date";
                } else if (name == u"DATE" && m_inCatalog && m_generation) {
                    m_catalogue.date = DateOfText(m_xml.readElementText());
                    --m_depth;
                }
            } else if (token == QXmlStreamReader::EndElement) {
                if (m_depth == 2)
                    m_inTransaction = false;
                if (m_xml.name() == u"CATALOG")
                    m_inCatalog = false;
                else if (m_xml.name() == u"DATETIME")
                    m_generation = false;
                --m_depth;
            }
        }
        return m_xml.hasError() ? Next::Problem : Next::End;
    }

    QString problem() const {
        return m_problem.isEmpty() ? XmlProblem(m_xml, QStringLiteral("Katalog")) : m_problem;
    }

private:
    static QString DateOfText(const QString& text) { return ErpDate(text.trimmed().left(10)); }

    QString text() { return m_xml.readElementText(QXmlStreamReader::IncludeChildElements); }

    bool readProduct(Product* p) {
        *p = Product();
        p->line = m_xml.lineNumber();
        p->mode = m_xml.attributes().value(QStringLiteral("mode")).toString();
        // The product's open elements below it.
        QVarLengthArray<Tag, 16> open;
        PriceDetails* details = nullptr;
        Price* price = nullptr;
        bool startDate = false;
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement) {
                if (open.isEmpty())
                    return true;
                const Tag closed = open.last();
                open.removeLast();
                if (closed == Tag::PriceDetails)
                    details = nullptr;
                else if (closed == Tag::Price)
                    price = nullptr;
                else if (closed == Tag::DateTime)
                    startDate = false;
                continue;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            const Tag tag = TagOf(m_xml.name());
            const Tag parent = open.isEmpty() ? Tag::Other : open.last();
            switch (tag) {
            case Tag::Number:
                if (open.isEmpty()) {
                    p->number = text();
                    continue;
                }
                break;
            case Tag::DescriptionShort:
                if (parent == Tag::Details) {
                    const QString language =
                        m_xml.attributes().value(QStringLiteral("lang")).toString();
                    p->descriptions.append({language, text()});
                    continue;
                }
                break;
            case Tag::Ean:
                if (parent == Tag::Details) {
                    const QString ean = text().trimmed();
                    if (p->ean.isEmpty())
                        p->ean = ean;
                    continue;
                }
                break;
            case Tag::InternationalPid:
                if (parent == Tag::Details) {
                    const QString type =
                        m_xml.attributes().value(QStringLiteral("type")).toString().toLower();
                    const QString id = text().trimmed();
                    if (p->ean.isEmpty() && (type == u"gtin" || type == u"ean"))
                        p->ean = id;
                    continue;
                }
                break;
            case Tag::OrderUnit:
                if (parent == Tag::OrderDetails) {
                    p->unit = text();
                    continue;
                }
                break;
            case Tag::PriceQuantity:
                if (parent == Tag::OrderDetails) {
                    p->priceQuantity = text();
                    continue;
                }
                break;
            case Tag::PriceDetails:
                if (open.isEmpty()) {
                    p->details.append(PriceDetails());
                    details = &p->details.last();
                }
                break;
            case Tag::DateTime:
                startDate = details && parent == Tag::PriceDetails &&
                            m_xml.attributes().value(QStringLiteral("type")) == u"valid_start_date";
                break;
            case Tag::Date:
                if (startDate && parent == Tag::DateTime) {
                    details->validFrom = text();
                    continue;
                }
                break;
            case Tag::Price:
                if (details && parent == Tag::PriceDetails) {
                    details->prices.append(Price());
                    price = &details->prices.last();
                    price->type = m_xml.attributes().value(QStringLiteral("price_type")).toString();
                }
                break;
            case Tag::PriceAmount:
            case Tag::PriceCurrency:
            case Tag::Tax:
            case Tag::PriceFactor:
            case Tag::LowerBound:
                if (price && parent == Tag::Price) {
                    const QString value = text();
                    if (tag == Tag::PriceAmount)
                        price->amount = value;
                    else if (tag == Tag::PriceCurrency)
                        price->currency = value.trimmed();
                    else if (tag == Tag::Tax)
                        price->tax = value;
                    else if (tag == Tag::PriceFactor)
                        price->factor = value;
                    else
                        price->lowerBound = value;
                    continue;
                }
                break;
            default:
                break;
            }
            open.append(tag);
        }
        return false;
    }

    XmlFileDevice m_device;
    QXmlStreamReader m_xml;
    Catalogue m_catalogue;
    QString m_problem;
    int m_depth = 0;
    bool m_inCatalog = false;
    bool m_inTransaction = false;
    bool m_generation = false;
};

CatalogueParser::CatalogueParser(const QString& path) : m_impl(std::make_unique<Impl>(path)) {}
CatalogueParser::~CatalogueParser() = default;

bool CatalogueParser::open(QString* problem) {
    return m_impl->open(problem);
}

const Catalogue& CatalogueParser::catalogue() const {
    return m_impl->catalogue();
}

qint64 CatalogueParser::line() const {
    return m_impl->line();
}

CatalogueParser::Next CatalogueParser::next(Product* product) {
    return Next(int(m_impl->next(product)));
}

QString CatalogueParser::problem() const {
    return m_impl->problem();
}

} // namespace Bmecat
