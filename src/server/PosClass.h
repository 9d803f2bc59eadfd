#pragma once

#include "common/erp/Positions.h"
#include "server/ServerClient.h"

#include <QString>
#include <QStringList>

// The columns of the query "pos" of quendrap.pos (1-based), by the
// position property each one shows, as the ERP contract names them.
namespace PosQuery = erp::PosQuery;

// quendrap.pos, the positions of the downloads in the staging area: every
// call the program makes on it, with its arguments in the server's order.
// The methods answer as the server does and throw its ServerError; the
// request forms are what a RequestPipeline sends (class, method, arguments).
class PosClass : public erp::Pos {
public:
    // The property a column of the query "pos" shows (its name there).
    static QString Property(PosQuery::Column column) {
        return PosQuery::kColumnNames[size_t(column) - 1];
    }

    static inline const QString kName = kClass;

    explicit PosClass(ServerClient& server);

    // The expression of the grid's code lists (for VT.XW "Liste").
    QString getcombo(const QString& firma, const QString& supplier);
    // The expression of the candidate list of a download.
    QString getposvt(const QString& firma, const QString& supplier, const QString& download);
    // The expressions of an article's EK dates (of its EK group) and VK dates.
    QString getekdat(const QString& firma, const QString& supplier, const QString& article,
                     const QString& group);
    QString getvkdat(const QString& firma, const QString& article);
    // "department|VAT code" of a goods group, "" when it has none.
    QString getwgdaten(const QString& firma, const QString& goodsGroup);
    // The flag calls of a row: whether the ERP has an EK price of the
    // article and group from that date, a VK price of the article from that
    // date ("J" in the first "|"-field).
    bool getekdat1(const QString& firma, const QString& supplier, const QString& article,
                   const QString& group, const QString& date);
    bool getvkdat1(const QString& firma, const QString& article, const QString& date);
    // Assigns article to a position (previous: the one it had); false when
    // the server did not store it (unknown, inactive, on another position).
    bool anrzuord(const QString& firma, const QString& position, const QString& article,
                  const QString& supplier, const QString& previous);
    // The description of the download's position with that EAN.
    QString geteanbez(const QString& download, const QString& ean);
    // Gives an ERP article an EAN (the EAN/price match).
    void SetEan(const QString& firma, const QString& supplier, const QString& article,
                const QString& ean, const QString& download);
    // The web download: the countries and suppliers offered, and the
    // expression of one supplier's price data.
    QString QuendraGetCountry();
    QString QuendraGetComp(const QString& code);

    void release() { m_handle.release(); }

    // Whether a flag call's answer says "J" in its first "|"-field.
    static bool IsFlagSet(const QString& answer);

    // Requests for a RequestPipeline.
    static QStringList savezeileRequest(const QString& download, const QString& lineText);
    static QStringList setliefidRequest(const QString& firma, const QString& manufacturer,
                                        const QString& supplier);
    static QStringList getekdat1Request(const QString& firma, const QString& supplier,
                                        const QString& article, const QString& group,
                                        const QString& date);
    static QStringList getvkdat1Request(const QString& firma, const QString& article,
                                        const QString& date);
    static QStringList verbuchRequest(const QStringList& arguments);
    // The supplier's newest position of an order number:
    // "EAN|description|unit|price unit", "" when no download has it.
    static QStringList getlieferartRequest(const QString& firma, const QString& supplier,
                                           const QString& orderNumber);
    // A position opened as an object (Op::Open); then its properties set
    // (Op::Set), saved and closed (Op::Method) by the object's reference.
    static QStringList openRequest(const QString& id);
    static QStringList setRequest(const QString& ref, const QString& property,
                                  const QString& value);
    static QStringList getRequest(const QString& ref, const QString& property);
    static QStringList saveRequest(const QString& ref);
    static QStringList closeRequest(const QString& ref);

    // One position as an object, for its grid fields.
    static ServerObject open(ServerClient& server, const QString& id);
    // The query "pos": arguments (download, "") for a download's rows,
    // (position id, download) for one row.
    static ResultSet pos(ServerClient& server);

private:
    ClassHandle m_handle;
};
