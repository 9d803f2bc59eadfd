#pragma once

// The catalogue as a BMEcat 2005 catalogue, a CSV price list and an .xlsx
// price list, each as suppliers send them (see pricegen.cpp).

#include "Catalogue.h"

#include <QSaveFile>
#include <QTextStream>
#include <xlsxwriter.h>

namespace pricegen {

// The columns of the price lists, and their mapping for the import.
inline const QStringList kListHeader{
    QStringLiteral("Artikelnummer"), QStringLiteral("Bezeichnung"), QStringLiteral("EAN"),
    QStringLiteral("Listenpreis"),   QStringLiteral("Einheit"),     QStringLiteral("PE"),
    QStringLiteral("Rabattgruppe"),  QStringLiteral("gültig ab"),   QStringLiteral("Nettopreis")};
inline const QString kListColumns = QStringLiteral(
    "bestnr=A,bezeichnung=B,ean=C,preis=D,einheit=E,pe=F,rabattgruppe=G,datum=H,netto=I");

inline QString decimalPoint(qint64 cents) {
    return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QChar(u'0'));
}

inline QString isoDate(const QString& date) {
    return date.mid(6, 4) + u'-' + date.mid(3, 2) + u'-' + date.left(2);
}

inline QString xmlText(QString text) {
    return text.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
}

// The article's net price, for every M-th article: a fifth off.
inline qint64 netCents(const Options& o, qint64 line, const CatalogueArticle& c) {
    return o.netEvery > 0 && line % o.netEvery == 0 ? c.cents * 4 / 5 : 0;
}

inline bool failed(const QString& path, const QString& why) {
    QTextStream(stderr) << "pricegen: cannot write " << path << ": " << why << "\n";
    return false;
}

// A file written a megabyte at a time.
template <typename Each>
bool writeBlocks(const Options& o, const QByteArray& head, const QByteArray& tail, Each each) {
    QSaveFile file(o.out);
    if (!file.open(QIODevice::WriteOnly))
        return failed(o.out, file.errorString());
    QByteArray block = head;
    for (qint64 line = 1; line <= o.lines; ++line) {
        block += each(line);
        if (block.size() >= (1 << 20)) {
            if (file.write(block) != block.size())
                return failed(o.out, file.errorString());
            block.clear();
        }
    }
    block += tail;
    if (file.write(block) != block.size() || !file.commit())
        return failed(o.out, file.errorString());
    return true;
}

// BMEcat 2005 in UTF-8: a product per article with its long text, a
// feature, its list price (and every M-th a net price) with the date it is
// valid from, and a recommended retail price.
inline bool writeBmecat(const Options& o) {
    const QByteArray head =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<BMECAT version=\"2005\" xmlns=\"http://www.bmecat.org/bmecat/2005\">\n"
                       "<HEADER><CATALOG><LANGUAGE default=\"true\">deu</LANGUAGE>"
                       "<CATALOG_ID>PG</CATALOG_ID><CATALOG_VERSION>1</CATALOG_VERSION>"
                       "<DATETIME type=\"generation_date\"><DATE>2026-12-01</DATE></DATETIME>"
                       "<CURRENCY>EUR</CURRENCY></CATALOG><SUPPLIER><SUPPLIER_NAME>%1"
                       "</SUPPLIER_NAME></SUPPLIER></HEADER>\n<T_NEW_CATALOG>\n")
            .arg(xmlText(kSupplierName))
            .toUtf8();
    const QByteArray tail = "</T_NEW_CATALOG>\n</BMECAT>\n";
    return writeBlocks(o, head, tail, [&o](qint64 line) {
        const CatalogueArticle c = catalogueArticle(o, line);
        const QStringList& f = c.fields;
        QString longText;
        for (int i = 0; i < 3; ++i)
            longText += QString::fromUtf16(kLongText[std::size_t((line + i) % 16)]) + u' ';
        QString prices =
            QStringLiteral("<PRODUCT_PRICE price_type=\"net_list\"><PRICE_AMOUNT>%1</PRICE_AMOUNT>"
                           "<PRICE_CURRENCY>EUR</PRICE_CURRENCY><TAX>0.19</TAX></PRODUCT_PRICE>")
                .arg(decimalPoint(c.cents));
        if (const qint64 net = netCents(o, line, c))
            prices += QStringLiteral("<PRODUCT_PRICE price_type=\"net_customer\"><PRICE_AMOUNT>%1"
                                     "</PRICE_AMOUNT></PRODUCT_PRICE>")
                          .arg(decimalPoint(net));
        prices += QStringLiteral("<PRODUCT_PRICE price_type=\"nrp\"><PRICE_AMOUNT>%1"
                                 "</PRICE_AMOUNT></PRODUCT_PRICE>")
                      .arg(decimalPoint(c.cents * 2));
        return QStringLiteral(
                   "<PRODUCT mode=\"new\"><SUPPLIER_PID>%1</SUPPLIER_PID>\n<PRODUCT_DETAILS>"
                   "<DESCRIPTION_SHORT lang=\"deu\">%2</DESCRIPTION_SHORT>"
                   "<DESCRIPTION_LONG lang=\"deu\">%3</DESCRIPTION_LONG>"
                   "<INTERNATIONAL_PID type=\"gtin\">%4</INTERNATIONAL_PID>"
                   "<MANUFACTURER_NAME>%5</MANUFACTURER_NAME></PRODUCT_DETAILS>\n"
                   "<PRODUCT_FEATURES><REFERENCE_FEATURE_SYSTEM_NAME>ETIM-8.0"
                   "</REFERENCE_FEATURE_SYSTEM_NAME><FEATURE><FNAME>Warengruppe</FNAME>"
                   "<FVALUE>%6</FVALUE></FEATURE></PRODUCT_FEATURES>\n"
                   "<PRODUCT_ORDER_DETAILS><ORDER_UNIT>%7</ORDER_UNIT><CONTENT_UNIT>%7"
                   "</CONTENT_UNIT><PRICE_QUANTITY>%8</PRICE_QUANTITY><QUANTITY_MIN>1"
                   "</QUANTITY_MIN></PRODUCT_ORDER_DETAILS>\n<PRODUCT_PRICE_DETAILS>"
                   "<DATETIME type=\"valid_start_date\"><DATE>%9</DATE></DATETIME>%10"
                   "</PRODUCT_PRICE_DETAILS>\n</PRODUCT>\n")
            .arg(xmlText(f[2]), xmlText(f[3]), xmlText(longText.trimmed()), f[1],
                 xmlText(o.manufacturer), xmlText(f[24]),
                 QString::fromUtf16(kUnitsDatanorm5[std::size_t(c.unit)]),
                 QString::number(c.priceUnit), isoDate(f[10]), prices)
            .toUtf8();
    });
}

// The list's cells of an article: as the header names them.
inline QStringList listCells(const Options& o, qint64 line) {
    const CatalogueArticle c = catalogueArticle(o, line);
    const QStringList& f = c.fields;
    const qint64 net = netCents(o, line, c);
    return {f[2],
            f[3],
            f[1],
            formatPrice(c.cents),
            f[4],
            QString::number(c.priceUnit),
            f[19],
            f[10],
            net ? formatPrice(net) : QString()};
}

// CSV in UTF-8 with ";" and CR LF; a cell with ";" or a quote is quoted.
inline bool writeCsv(const Options& o) {
    auto row = [](QStringList cells) {
        for (QString& cell : cells)
            if (cell.contains(u';') || cell.contains(u'"'))
                cell = u'"' + cell.replace(u'"', QStringLiteral("\"\"")) + u'"';
        return (cells.join(u';') + QStringLiteral("\r\n")).toUtf8();
    };
    return writeBlocks(o, row(kListHeader), QByteArray(),
                       [&](qint64 line) { return row(listCells(o, line)); });
}

// An .xlsx workbook (libxlsxwriter, shared strings): a title row, the
// header in row 2, prices as numbers, dates as date cells.
inline bool writeXlsx(const Options& o) {
    lxw_workbook* book = workbook_new(o.out.toLocal8Bit().constData());
    if (!book)
        return failed(o.out, QStringLiteral("workbook"));
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Preisliste");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "dd.mm.yyyy");
    worksheet_write_string(sheet, 0, 0, "Preisliste Müller Baustoffe 2027", nullptr);
    for (int c = 0; c < kListHeader.size(); ++c)
        worksheet_write_string(sheet, 1, lxw_col_t(c), kListHeader[c].toUtf8().constData(),
                               nullptr);
    for (qint64 line = 1; line <= o.lines; ++line) {
        const CatalogueArticle c = catalogueArticle(o, line);
        const QStringList& f = c.fields;
        const lxw_row_t r = lxw_row_t(line + 1);
        worksheet_write_string(sheet, r, 0, f[2].toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, r, 1, f[3].toUtf8().constData(), nullptr);
        worksheet_write_number(sheet, r, 2, f[1].toDouble(), nullptr);
        worksheet_write_number(sheet, r, 3, double(c.cents) / 100, nullptr);
        worksheet_write_string(sheet, r, 4, f[4].toUtf8().constData(), nullptr);
        worksheet_write_number(sheet, r, 5, c.priceUnit, nullptr);
        worksheet_write_string(sheet, r, 6, f[19].toUtf8().constData(), nullptr);
        lxw_datetime when{uint16_t(f[10].mid(6, 4).toInt()),
                          uint8_t(f[10].mid(3, 2).toInt()),
                          uint8_t(f[10].left(2).toInt()),
                          0,
                          0,
                          0};
        worksheet_write_datetime(sheet, r, 7, &when, date);
        if (const qint64 net = netCents(o, line, c))
            worksheet_write_number(sheet, r, 8, double(net) / 100, nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        return failed(o.out, QStringLiteral("workbook"));
    return true;
}

} // namespace pricegen
