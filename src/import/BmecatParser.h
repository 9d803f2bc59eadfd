#pragma once

#include "import/Bmecat.h"

#include <memory>

namespace Bmecat {

// Streams a catalogue with QXmlStreamReader: the header first, then one
// product at a time. Products are the children of the transaction element
// (T_NEW_CATALOG, T_UPDATE_PRODUCTS, T_UPDATE_PRICES); an ARTICLE or
// PRODUCT anywhere else is read past.
class CatalogueParser {
public:
    explicit CatalogueParser(const QString& path);
    ~CatalogueParser();

    // Opens the file; false (problem says why) when it cannot be read or
    // names an encoding no supplier file has.
    bool open(QString* problem);
    // What the header said, as far as it has been read.
    const Catalogue& catalogue() const;
    // The line the parser stands at.
    qint64 line() const;

    enum class Next { Product, End, Problem };
    // The next product; Problem when the document breaks off or is no XML
    // (problem() says why, at line()).
    Next next(Product* product);
    QString problem() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Bmecat
