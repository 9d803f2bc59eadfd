#pragma once

#include "import/DatanormSource.h"

#include <QList>
#include <QString>
#include <memory>

class PositionReader;

// BMEcat catalogues (XML): version 1.2 with ARTICLE elements, 2005 with
// PRODUCT elements, with or without a namespace. Element names are matched
// without their prefix.
namespace Bmecat {

// What the header says.
struct Catalogue {
    QString version;     // the root's "version" attribute
    QString transaction; // T_NEW_CATALOG, T_UPDATE_PRODUCTS, T_UPDATE_PRICES
    QString language;    // CATALOG/LANGUAGE (the default one)
    QString date;        // generation date as dd.mm.yyyy; "" for none
    QString currency;    // CATALOG/CURRENCY; "" for none
};

// One price of a PRICE_DETAILS element, as written.
struct Price {
    QString type; // price_type: net_list, gros_list, net_customer, nrp, …
    QString amount;
    QString tax;
    QString factor;
    QString lowerBound;
    QString currency; // PRICE_CURRENCY; "" for the catalogue's
};

struct PriceDetails {
    QString validFrom; // valid_start_date as written
    QList<Price> prices;
};

struct Description {
    QString language; // "" when the element names none
    QString text;
};

// An ARTICLE or PRODUCT element.
struct Product {
    QString number; // SUPPLIER_AID or SUPPLIER_PID
    QString mode;   // "new", "update", "delete" or ""
    QList<Description> descriptions;
    QString ean;
    QString unit;
    QString priceQuantity;
    QList<PriceDetails> details;
    qint64 line = 0; // of its start tag
};

// The short description a buyer reads: German, else the catalogue's
// language, else the first.
QString ChosenDescription(const Product& product, const QString& catalogueLanguage);

// What a product's prices give: one line per PRICE_DETAILS that holds a
// purchase price in euros, and the prices no purchase price was taken
// from. A price without a date of its own has the catalogue's, else
// today's (dd.mm.yyyy); of two prices of one date the first counts.
struct ProductLines {
    QList<SourceLine> lines;
    qint64 recommended = 0; // "nrp"
    qint64 others = 0;      // price types that are no purchase price here, other currencies
    QStringList notes;      // what of the product was left out, for the buyer
    QString problem;        // why the product breaks the format; "" when it does not
};
ProductLines LinesOf(const Product& product, const Catalogue& catalogue, const QString& today);

// The version of a catalogue whose start is start ("1.2", "2005", "?" when
// it names none), or "" when it is no BMEcat catalogue (its root element is
// not BMECAT). Read from the bytes: a fault later in the start does not
// hide the root.
QString RecognizeCatalogue(const QByteArray& start);

// Counts the ARTICLE and PRODUCT start tags without parsing the file.
qint64 CountProducts(const QString& path);

} // namespace Bmecat

// The reader of a BMEcat catalogue (name: as the buyer knows the file).
std::unique_ptr<PositionReader> MakeBmecatReader(const QString& path, const QString& name,
                                                 qint64 products);
