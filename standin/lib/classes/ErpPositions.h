#pragma once

// How a staging position gets its grid fields from the ERP: the supplier's
// price line, the assigned ERP article with its purchase condition, sales
// price and discount group, and the supplier defaults. Shared by
// "savezeile", "anrzuord", the demo company and the big demo download.

#include "ErpRecords.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <utility>

class StandinEngine;
class StandinStore;

// The position properties the grid shows and writes, in table order.
const QStringList& PositionGridProperties();
// Their places in that order.
namespace Grid {
enum Field {
    Bez1,
    bez2,
    bez3,
    epmvt,
    erevt,
    prdiff,
    atyp,
    wargr,
    ABTNR,
    vke,
    vpe,
    vpi,
    vre,
    vrm,
    vpm,
    mcproz,
    palart,
    palje,
    palab,
    acod,
    bestnrvt,
    eanvt,
    ebe,
    hlief,
    faktor,
    brutto,
    evm,
    mibeme,
    ekgrp,
    ekdat,
    rabtyp,
    rab1,
    rab2,
    rab3,
    rab4,
    netto,
    nebkost,
    vkrabgr,
    vkdat,
    kfsoll,
    vkexcl,
    vkincl,
    spanne,
    Count
};
} // namespace Grid

class PositionFiller {
public:
    // cache keeps unit assignments, goods groups and VAT rates between calls
    // (a job's cache, or a local one for bulk fills), and while a download
    // is being stored its supplier defaults and ERP discount groups. Outside
    // of store() the defaults, which the buyer edits, are read afresh.
    PositionFiller(StandinEngine& engine, QHash<QString, QStringList>& cache)
        : m_engine(engine), m_cache(cache) {}

    // The ERP article of the supplier whose EAN, else order number, matches;
    // "" when none does.
    QString matchArticle(const QString& company, const QString& supplier, const QString& ean,
                         const QString& orderNumber);

    // The grid fields (in PositionGridProperties order) for a supplier price
    // line of 14 fields and the assigned article ("" for none).
    QStringList gridFields(const QString& company, const QString& supplier, const QStringList& line,
                           const QString& article);

    // Stores a new position of download dlid from its 14-field line, with
    // the article matched by EAN or order number, and the download's
    // discount group record when the line's group first appears; returns
    // the position's id.
    QString store(const QString& dlid, const QString& company, const QString& supplier,
                  const QStringList& line, const QString& flag);

    // Sets the position's article ("" removes it) and refills its grid
    // fields. False when the position does not exist.
    bool assign(const QString& positionId, const QString& company, const QString& supplier,
                const QString& article);

    // Gives the position the discounts of an ERP discount group: EK
    // discount group, discount type "%", the four rates, and the net price
    // and sales prices that follow from them (KF-Soll kept). Nothing else
    // of the position changes. False when the position does not exist.
    bool applyDiscountGroup(const QString& positionId, const QString& company,
                            const QString& supplier, const QString& group,
                            const QStringList& rates);

private:
    // The steps of gridFields: the fields of a known article (false when the
    // company has no such article) or of a new one, the purchase side and
    // the sales side that follows from it.
    struct PurchaseSide {
        double netto = 0;
        double eht = 1;
        double nebkost = 0;
        double faktor = 1;
    };
    bool articleFields(QStringList& g, const QString& company, const QString& article);
    void newArticleFields(QStringList& g, const QString& company, const QStringList& line,
                          const QStringList& def);
    PurchaseSide purchaseFields(QStringList& g, const QString& company, const QString& supplier,
                                const QStringList& line, const QString& article,
                                const QString& day);
    void salesFields(QStringList& g, const QString& company, const QString& article,
                     const QString& day, const QStringList& def, const PurchaseSide& purchase);
    // The supplier's condition of an article in force before a day, and the
    // rates of a released ERP discount group in force on it.
    QStringList conditionBefore(const QString& company, const QString& supplier,
                                const QString& article, const QString& day);
    QStringList groupRatesOn(const QString& company, const QString& supplier, const QString& group,
                             const QString& day);
    // The download's discount group record of a stored line's group, when
    // the group first appears.
    void addDownloadGroup(const QString& dlid, const QString& company, const QString& supplier,
                          const QStringList& line);
    QStringList defaults(const QString& company, const QString& supplier);
    bool erpGroup(const QString& company, const QString& supplier, const QString& group);
    QString mappedGroup(const QString& company, const QString& supplier, const QString& group);
    QString unit(const QString& company, const QString& code);
    QStringList goodsGroup(const QString& company, const QString& group);
    QString vatRate(const QString& company, const QString& code);

    StandinEngine& m_engine;
    QHash<QString, QStringList>& m_cache;
    QHash<QString, QStringList> m_defaults;
    QString m_storing;  // the download store() fills
    QString m_download; // the download of the position being filled
};
