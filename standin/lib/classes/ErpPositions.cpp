#include "ErpPositions.h"

#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"
#include "common/erp/Contract.h"

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <charconv>
#include <cmath>

namespace {

// yyyymmdd of a date text; a text that is no date orders after every date.
QString dateKey(const QString& text) {
    const QString d = ErpDate(text);
    return d.isEmpty() ? QStringLiteral("99999999") : d.mid(6, 4) + d.mid(3, 2) + d.left(2);
}

QString key(const QString& a, const QString& b) {
    return a + QStringLiteral("||") + b;
}

// The first `lines` lines of at most `width` characters of a description,
// broken at blanks where it can.
QStringList wrap(const QString& text, int width, int lines) {
    QStringList out;
    QString current;
    const QStringList words = text.simplified().split(u' ', Qt::SkipEmptyParts);
    for (QString word : words) {
        while (word.size() > width) {
            if (!current.isEmpty()) {
                out << current;
                current.clear();
            }
            out << word.left(width);
            word = word.mid(width);
        }
        if (current.isEmpty())
            current = word;
        else if (current.size() + 1 + word.size() <= width)
            current += u' ' + word;
        else {
            out << current;
            current = word;
        }
    }
    if (!current.isEmpty())
        out << current;
    while (out.size() < lines)
        out << QString();
    return out.mid(0, lines);
}

QString readable(const QString& erpText) {
    return ConvertText(erpText, QStringLiteral("VELTAR"), false);
}

QString orDefault(const QString& value, const QString& fallback) {
    return value.isEmpty() ? fallback : value;
}

// Fetches one row of a prepared statement as texts; empty when none.
QStringList firstRow(QSqlQuery& q, int columns) {
    QStringList row;
    if (q.next())
        for (int i = 0; i < columns; ++i)
            row << q.value(i).toString();
    q.finish();
    return row;
}

const QStringList kLineProperties{
    QStringLiteral("HerstCode"),   QStringLiteral("EAN"),   QStringLiteral("BestNr"),
    QStringLiteral("Bezeichnung"), QStringLiteral("VE"),    QStringLiteral("VP"),
    QStringLiteral("UEE"),         QStringLiteral("Menge"), QStringLiteral("MengeUEE"),
    QStringLiteral("Datum"),       QStringLiteral("Preis"), QStringLiteral("PreisEHT"),
    QStringLiteral("RabattGR"),    QStringLiteral("Klasse")};

} // namespace

const QStringList& PositionGridProperties() {
    static const QStringList p = erp::ToStringList(erp::Pos::kGridProperties);
    return p;
}

QStringList PositionFiller::defaults(const QString& company, const QString& supplier) {
    const QString k = key(company, supplier);
    auto it = m_defaults.constFind(k);
    if (it != m_defaults.constEnd())
        return *it;
    const QString dk = QStringLiteral("def:") + m_storing;
    if (!m_storing.isEmpty()) {
        auto known = m_cache.constFind(dk);
        if (known != m_cache.constEnd())
            return *known;
    }
    QSqlQuery& q = m_engine.exec(QStringLiteral("SELECT Warengruppe, Aufschlag, Rundung FROM "
                                                "quendrap_defaults WHERE id=?"),
                                 {key(company, supplier)});
    QStringList v = firstRow(q, 3);
    while (v.size() < 3)
        v << QString();
    m_defaults.insert(k, v);
    if (!m_storing.isEmpty())
        m_cache.insert(dk, v);
    return v;
}

bool PositionFiller::erpGroup(const QString& company, const QString& supplier,
                              const QString& group) {
    const QString k = QStringLiteral("erpgrp:") + m_storing + u'|' + group;
    if (!m_storing.isEmpty()) {
        auto it = m_cache.constFind(k);
        if (it != m_cache.constEnd())
            return !it->isEmpty();
    }
    const bool known =
        !m_engine
             .textValue(QStringLiteral("SELECT 1 FROM vt_ekrabgr WHERE FIRMA=? AND LNR=? AND "
                                       "CODE=? AND FREIGABE<>'N' LIMIT 1"),
                        {company, supplier, group})
             .isEmpty();
    if (!m_storing.isEmpty())
        m_cache.insert(k, known ? QStringList{group} : QStringList{});
    return known;
}

QString PositionFiller::mappedGroup(const QString& company, const QString& supplier,
                                    const QString& group) {
    // The download's record of the supplier group maps it to an ERP group
    // once the ERP holds that group exactly as the record has it.
    if (m_download.isEmpty() || group.isEmpty())
        return QString();
    const QString k = QStringLiteral("map:") + m_download + u'|' + group;
    if (!m_storing.isEmpty()) {
        auto it = m_cache.constFind(k);
        if (it != m_cache.constEnd())
            return it->value(0);
    }
    QSqlQuery& q = m_engine.exec(
        QStringLiteral("SELECT ERPGR, Datum, Rabatt1, Rabatt2, Rabatt3, Rabatt4 FROM "
                       "quendrap_ekgrp WHERE DLID=? AND RabattGR=? ORDER BY CAST(id AS INTEGER) "
                       "LIMIT 1"),
        {m_download, group});
    const QStringList r = firstRow(q, 6);
    if (r.isEmpty())
        return QString(); // not known before the group's first position is stored
    const QString mapped =
        DiscountGroupInErp(m_engine, company, supplier, r[0], r[1], r.mid(2)) ? r[0] : QString();
    if (!m_storing.isEmpty())
        m_cache.insert(k, {mapped});
    return mapped;
}

QString PositionFiller::unit(const QString& company, const QString& code) {
    if (code.isEmpty())
        return QString();
    const QString k = QStringLiteral("unit:") + key(company, code);
    auto it = m_cache.constFind(k);
    if (it != m_cache.constEnd())
        return it->value(0);
    // A code without assignment is taken as the ERP unit itself.
    const QString erp =
        orDefault(m_engine.textValue(QStringLiteral("SELECT ERP FROM vt_einheit WHERE id=?"),
                                     {key(company, code)}),
                  code);
    m_cache.insert(k, {erp});
    return erp;
}

QString PositionFiller::vatRate(const QString& company, const QString& code) {
    const QString k = QStringLiteral("vat:") + key(company, code);
    auto it = m_cache.constFind(k);
    if (it != m_cache.constEnd())
        return it->value(0);
    const QString rate = m_engine.textValue(
        QStringLiteral("SELECT SATZ FROM vt_parmwst WHERE id=?"), {key(company, code)});
    m_cache.insert(k, {rate});
    return rate;
}

QStringList PositionFiller::goodsGroup(const QString& company, const QString& group) {
    const QString k = QStringLiteral("wg:") + key(company, group);
    auto it = m_cache.constFind(k);
    if (it != m_cache.constEnd())
        return *it;
    QSqlQuery& q =
        m_engine.exec(QStringLiteral("SELECT ABTNR, MWST FROM vt_parwarengruppe WHERE id=?"),
                      {key(company, group)});
    QStringList v = firstRow(q, 2);
    // Department and VAT rate; both empty for an unknown group.
    v = v.isEmpty() ? QStringList{QString(), QString()} : QStringList{v[0], vatRate(company, v[1])};
    m_cache.insert(k, v);
    return v;
}

QString PositionFiller::matchArticle(const QString& company, const QString& supplier,
                                     const QString& ean, const QString& orderNumber) {
    QString artnr;
    if (!ean.isEmpty())
        artnr = m_engine.textValue(QStringLiteral("SELECT ARTNR FROM vt_artikel WHERE FIRMA=? AND "
                                                  "LNR=? AND EAN=? LIMIT 1"),
                                   {company, supplier, ean});
    if (artnr.isEmpty() && !orderNumber.isEmpty())
        artnr = m_engine.textValue(QStringLiteral("SELECT ARTNR FROM vt_artikel WHERE FIRMA=? AND "
                                                  "LNR=? AND BESTNR=? LIMIT 1"),
                                   {company, supplier, orderNumber});
    return artnr;
}

QStringList PositionFiller::gridFields(const QString& company, const QString& supplier,
                                       const QStringList& line, const QString& article) {
    const QString datum = orDefault(ErpDate(line.value(9)), line.value(9));
    const QString day = dateKey(line.value(9));
    const QStringList def = defaults(company, supplier);
    QStringList g(Grid::Count);
    const bool known = !article.isEmpty() && articleFields(g, company, article);
    if (!known)
        newArticleFields(g, company, line, def);
    const PurchaseSide purchase =
        purchaseFields(g, company, supplier, line, known ? article : QString(), day);
    g[Grid::ekdat] = datum;
    salesFields(g, company, known ? article : QString(), day, def, purchase);
    g[Grid::vkdat] = datum;
    const QString wargr = g[Grid::wargr];
    g[Grid::vkrabgr] = wargr.isEmpty() ? QString() : wargr + QStringLiteral(".A");
    return g;
}

bool PositionFiller::articleFields(QStringList& g, const QString& company, const QString& article) {
    QSqlQuery& q = m_engine.exec(
        QStringLiteral("SELECT BEZ, BEZ2, BEZ3, ATYP, WARGR, ABTNR, VKE, VPE, VPI, VRE, VRM, "
                       "VPM, MWST, PALART, PALJE, PALAB, ACOD, BESTNR, EAN, EBE "
                       "FROM vt_artikel WHERE id=?"),
        {key(company, article)});
    const QStringList a = firstRow(q, 20);
    if (a.isEmpty())
        return false;
    g[Grid::Bez1] = readable(a[0]);
    g[Grid::bez2] = readable(a[1]);
    g[Grid::bez3] = readable(a[2]);
    g[Grid::atyp] = a[3];
    g[Grid::wargr] = a[4];
    g[Grid::ABTNR] = a[5];
    g[Grid::vke] = a[6];
    g[Grid::vpe] = a[7];
    g[Grid::vpi] = orDefault(a[8], QStringLiteral("0"));
    g[Grid::vre] = a[9];
    g[Grid::vrm] = orDefault(a[10], QStringLiteral("0"));
    g[Grid::vpm] = orDefault(a[11], QStringLiteral("1"));
    g[Grid::mcproz] = vatRate(company, a[12]);
    g[Grid::palart] = a[13];
    g[Grid::palje] = orDefault(a[14], QStringLiteral("0"));
    g[Grid::palab] = orDefault(a[15], QStringLiteral("0"));
    g[Grid::acod] = a[16];
    g[Grid::bestnrvt] = a[17];
    g[Grid::eanvt] = a[18];
    g[Grid::ebe] = orDefault(a[19], a[6]);
    return true;
}

void PositionFiller::newArticleFields(QStringList& g, const QString& company,
                                      const QStringList& line, const QStringList& def) {
    const auto f = [&line](int i) { return line.value(i); };
    // A new article: the supplier's description and units, the goods group
    // of the supplier defaults.
    const QStringList bez = wrap(f(3), 30, 3);
    g[Grid::Bez1] = bez[0];
    g[Grid::bez2] = bez[1];
    g[Grid::bez3] = bez[2];
    g[Grid::atyp] = QStringLiteral("L");
    g[Grid::wargr] = def[0];
    const QStringList wg = goodsGroup(company, def[0]);
    g[Grid::ABTNR] = wg[0];
    // Without a goods group the ERP's standard VAT code 1 applies.
    g[Grid::mcproz] = def[0].isEmpty() ? vatRate(company, QStringLiteral("1")) : wg[1];
    const QString vke = unit(company, f(4));
    const QString vpe = unit(company, f(5));
    const QString vre = unit(company, f(6));
    g[Grid::vke] = vke;
    g[Grid::vpe] = vpe == vke ? QString() : vpe;
    g[Grid::vpi] = vpe == vke ? QStringLiteral("0") : ErpNumber(ErpValue(f(7)), 0);
    g[Grid::vre] = vre == vke ? QString() : vre;
    g[Grid::vrm] = vre == vke ? QStringLiteral("0") : ErpNumber(ErpValue(f(8)), 4);
    g[Grid::vpm] = QStringLiteral("1");
    g[Grid::palje] = QStringLiteral("0");
    g[Grid::palab] = QStringLiteral("0");
    g[Grid::bestnrvt] = f(2).left(16);
    g[Grid::eanvt] = f(1);
    g[Grid::ebe] = vke;
}

QStringList PositionFiller::conditionBefore(const QString& company, const QString& supplier,
                                            const QString& article, const QString& day) {
    const QString order = DateOrderSql(QStringLiteral("DATUM"));
    QSqlQuery& q = m_engine.exec(
        QStringLiteral("SELECT BRUTTO, EPM, EKGRP, RABTYP, RAB1, RAB2, RAB3, RAB4, NEBKOST, "
                       "FAKTOR, ERE, EVM, MIBEME, HLIEF FROM vt_artek WHERE FIRMA=? AND LNR=? "
                       "AND ARTNR=? ORDER BY ") +
            order + QStringLiteral(" < ? DESC, ") + order + QStringLiteral(" DESC LIMIT 1"),
        {company, supplier, article, day});
    return firstRow(q, 14);
}

QStringList PositionFiller::groupRatesOn(const QString& company, const QString& supplier,
                                         const QString& group, const QString& day) {
    const QString order = DateOrderSql(QStringLiteral("DATUM"));
    QSqlQuery& q = m_engine.exec(
        QStringLiteral("SELECT RAB1, RAB2, RAB3, RAB4 FROM vt_ekrabgr WHERE FIRMA=? AND LNR=? "
                       "AND CODE=? AND FREIGABE<>'N' ORDER BY ") +
            order + QStringLiteral(" <= ? DESC, ") + order + QStringLiteral(" DESC LIMIT 1"),
        {company, supplier, group, day});
    return firstRow(q, 4);
}

PositionFiller::PurchaseSide PositionFiller::purchaseFields(QStringList& g, const QString& company,
                                                            const QString& supplier,
                                                            const QStringList& line,
                                                            const QString& article,
                                                            const QString& day) {
    const auto f = [&line](int i) { return line.value(i); };
    // Purchase side: the condition in force before the price's date and the
    // ERP discount group of the supplier's group (only released ERP groups
    // are in force).
    const QStringList c =
        article.isEmpty() ? QStringList() : conditionBefore(company, supplier, article, day);
    // The ERP group the download's record maps the supplier's group to, else
    // the ERP group of the same code, else the condition's.
    QString ekgrp = mappedGroup(company, supplier, f(12));
    if (ekgrp.isEmpty() && !f(12).isEmpty() && erpGroup(company, supplier, f(12)))
        ekgrp = f(12);
    else if (ekgrp.isEmpty() && !c.isEmpty())
        ekgrp = c[2];

    const double price = ErpValue(f(10));
    double eht = ErpValue(f(11));
    if (eht <= 0)
        eht = 1;
    double rab[4] = {0, 0, 0, 0};
    QString rabtyp = QStringLiteral("N");
    if (!ekgrp.isEmpty()) {
        const QStringList r = groupRatesOn(company, supplier, ekgrp, day);
        for (int i = 0; i < r.size(); ++i)
            rab[i] = ErpValue(r[i]);
        rabtyp = QStringLiteral("%");
    } else if (!c.isEmpty() && c[3] == u"%") {
        for (int i = 0; i < 4; ++i)
            rab[i] = ErpValue(c[4 + i]);
        rabtyp = QStringLiteral("%");
    }
    PurchaseSide side;
    side.eht = eht;
    side.netto = price;
    if (rabtyp == u"%")
        for (double r : rab)
            side.netto *= 1 - r / 100;
    side.faktor = c.isEmpty() || ErpValue(c[9]) <= 0 ? 1 : ErpValue(c[9]);
    side.nebkost = c.isEmpty() ? 0 : ErpValue(c[8]);
    const auto fromCondition = [&c](int i, const QString& fallback) {
        return c.isEmpty() ? fallback : orDefault(c[i], fallback);
    };
    g[Grid::epmvt] = ErpNumber(eht, 0);
    g[Grid::erevt] = fromCondition(10, g[Grid::vke]);
    g[Grid::evm] = fromCondition(11, QStringLiteral("1"));
    g[Grid::mibeme] = fromCondition(12, QStringLiteral("1"));
    g[Grid::hlief] = fromCondition(13, QStringLiteral("J"));
    g[Grid::faktor] = ErpNumber(side.faktor, 4);
    g[Grid::nebkost] = ErpNumber(side.nebkost, 4);
    g[Grid::ekgrp] = ekgrp;
    g[Grid::rabtyp] = rabtyp;
    for (int i = 0; i < 4; ++i)
        g[Grid::rab1 + i] = ErpNumber(rab[i], 2);
    g[Grid::brutto] = ErpNumber(price, 4);
    g[Grid::netto] = ErpNumber(side.netto, 4);
    // Deviation of the new price per price quantity from the ERP's gross
    // price per its own price quantity.
    QString prdiff;
    if (!c.isEmpty()) {
        const double epm = ErpValue(c[1]) > 0 ? ErpValue(c[1]) : 1;
        const double current = ErpValue(c[0]) / epm;
        if (current > 0)
            prdiff = ErpNumber((price / eht - current) / current * 100, 2);
    }
    g[Grid::prdiff] = prdiff;
    return side;
}

void PositionFiller::salesFields(QStringList& g, const QString& company, const QString& article,
                                 const QString& day, const QStringList& def,
                                 const PurchaseSide& purchase) {
    // Sales side: the KF-Soll of the sales price in force on the date, else
    // the supplier's markup; the proposal is rounded as the supplier's
    // defaults say.
    QString kfsoll;
    if (!article.isEmpty()) {
        const QString order = DateOrderSql(QStringLiteral("DATUM"));
        kfsoll = m_engine.textValue(QStringLiteral("SELECT KFSOLL FROM vt_artvk WHERE FIRMA=? AND "
                                                   "ARTNR=? ORDER BY ") +
                                        order + QStringLiteral(" <= ? DESC, ") + order +
                                        QStringLiteral(" DESC LIMIT 1"),
                                    {company, article, day});
    }
    if (kfsoll.isEmpty() && !def[1].isEmpty())
        kfsoll = ErpNumber(1 + ErpValue(def[1]) / 100, 4);
    const double cost = (purchase.netto / purchase.eht + purchase.nebkost) * purchase.faktor;
    const SalesSide sales = SalesPrices(cost, kfsoll, g[Grid::mcproz], def[2]);
    g[Grid::kfsoll] = kfsoll;
    g[Grid::vkexcl] = sales.vkexcl;
    g[Grid::vkincl] = sales.vkincl;
    g[Grid::spanne] = sales.spanne;
}

void PositionFiller::addDownloadGroup(const QString& dlid, const QString& company,
                                      const QString& supplier, const QStringList& line) {
    const QString group = line.value(12);
    if (group.isEmpty())
        return;
    const QString k = QStringLiteral("grp:") + dlid + u'|' + group;
    if (m_cache.contains(k))
        return;
    const QString known = m_engine.textValue(
        QStringLiteral("SELECT id FROM quendrap_ekgrp WHERE DLID=? AND RabattGR=?"), {dlid, group});
    if (known.isEmpty()) {
        // It maps to the ERP group of the same code, valid from the price's
        // date, with the description and rates of that group in force on the
        // date when the ERP has one.
        const QString date = ErpDate(line.value(9));
        QStringList erp;
        if (!date.isEmpty()) {
            const QString order = DateOrderSql(QStringLiteral("DATUM"));
            QSqlQuery& q = m_engine.exec(
                QStringLiteral("SELECT BEZ, RAB1, RAB2, RAB3, RAB4 FROM vt_ekrabgr WHERE "
                               "FIRMA=? AND LNR=? AND CODE=? AND FREIGABE<>'N' AND ") +
                    order + QStringLiteral(" <= ? ORDER BY ") + order +
                    QStringLiteral(" DESC LIMIT 1"),
                {company, supplier, group, dateKey(date)});
            erp = firstRow(q, 5);
        }
        StoredObject o;
        o.cls = m_engine.findClass(erp::Ekgrp::kClass);
        o.values = {{QStringLiteral("DLID"), dlid},
                    {QStringLiteral("FIRMA"), company},
                    {QStringLiteral("LNR"), supplier},
                    {QStringLiteral("RabattGR"), group},
                    {QStringLiteral("ERPGR"), group},
                    {QStringLiteral("Datum"), date},
                    {QStringLiteral("BEZ"), erp.value(0)},
                    {QStringLiteral("Rabatt1"), erp.value(1)},
                    {QStringLiteral("Rabatt2"), erp.value(2)},
                    {QStringLiteral("Rabatt3"), erp.value(3)},
                    {QStringLiteral("Rabatt4"), erp.value(4)},
                    {QStringLiteral("Status"), QStringLiteral("0")}};
        m_engine.saveObject(o);
    }
    m_cache.insert(k, {});
}

QString PositionFiller::store(const QString& dlid, const QString& company, const QString& supplier,
                              const QStringList& line, const QString& flag) {
    const QString article = matchArticle(company, supplier, line.value(1), line.value(2));
    m_storing = dlid;
    m_download = dlid;
    const QStringList g = gridFields(company, supplier, line, article);
    m_storing.clear();
    static const QString sql = [] {
        QStringList cols{QStringLiteral("id")};
        for (const QString& p : PositionProperties())
            cols << u'"' + p + u'"';
        QStringList marks(cols.size(), QStringLiteral("?"));
        return QStringLiteral("INSERT INTO quendrap_pos(") + cols.join(u',') +
               QStringLiteral(") VALUES(") + marks.join(u',') + u')';
    }();
    const QString id = m_engine.nextId(*m_engine.findClass(erp::Pos::kClass));
    // Where each column's value comes from, worked out once.
    enum Source { Dlid = -1, Article = -2, Status = -3, Flag = -4, Line = 1000 };
    static const QList<int> plan = [] {
        QList<int> l;
        for (const QString& p : PositionProperties()) {
            if (p == u"DLID")
                l << Dlid;
            else if (p == u"ARTNR")
                l << Article;
            else if (p == u"Status")
                l << Status;
            else if (p == u"Kennz")
                l << Flag;
            else if (const qsizetype i = kLineProperties.indexOf(p); i >= 0)
                l << Line + int(i);
            else
                l << int(PositionGridProperties().indexOf(p));
        }
        return l;
    }();
    QStringList values;
    values.reserve(plan.size() + 1);
    values << id;
    for (const int source : plan) {
        if (source == Dlid)
            values << dlid;
        else if (source == Article)
            values << article;
        else if (source == Status)
            values << (article.isEmpty() ? QStringLiteral("0") : QStringLiteral("1"));
        else if (source == Flag)
            values << flag;
        else if (source >= Line)
            values << line.value(source - Line);
        else
            values << g[source];
    }
    m_engine.execStatic(sql, values);
    addDownloadGroup(dlid, company, supplier, line);
    return id;
}

bool PositionFiller::assign(const QString& positionId, const QString& company,
                            const QString& supplier, const QString& article) {
    static const QString select = QStringLiteral("SELECT \"") +
                                  kLineProperties.join(QStringLiteral("\", \"")) +
                                  QStringLiteral("\", DLID FROM quendrap_pos WHERE id=?");
    QSqlQuery& q = m_engine.exec(select, {positionId});
    QStringList line = firstRow(q, int(kLineProperties.size()) + 1);
    if (line.isEmpty())
        return false;
    m_download = line.takeLast();
    const QStringList g = gridFields(company, supplier, line, article);
    static const QString update = [] {
        QStringList sets{QStringLiteral("ARTNR=?"), QStringLiteral("Status=?")};
        for (const QString& p : PositionGridProperties())
            sets << u'"' + p + QStringLiteral("\"=?");
        return QStringLiteral("UPDATE quendrap_pos SET ") + sets.join(u',') +
               QStringLiteral(" WHERE id=?");
    }();
    QStringList values{article, article.isEmpty() ? QStringLiteral("0") : QStringLiteral("1")};
    values << g;
    values << positionId;
    m_engine.execText(update, values);
    return true;
}

bool PositionFiller::applyDiscountGroup(const QString& positionId, const QString& company,
                                        const QString& supplier, const QString& group,
                                        const QStringList& rates) {
    QSqlQuery& q = m_engine.exec(QStringLiteral("SELECT brutto, epmvt, nebkost, faktor, kfsoll, "
                                                "mcproz FROM quendrap_pos WHERE id=?"),
                                 {positionId});
    const QStringList p = firstRow(q, 6);
    if (p.isEmpty())
        return false;
    QStringList rab;
    double netto = ErpValue(p[0]);
    for (int i = 0; i < 4; ++i) {
        const double r = ErpValue(rates.value(i));
        rab << ErpNumber(r, 2);
        netto *= 1 - r / 100;
    }
    const double epm = ErpValue(p[1]) > 0 ? ErpValue(p[1]) : 1;
    const double faktor = ErpValue(p[3]) > 0 ? ErpValue(p[3]) : 1;
    const double cost = (netto / epm + ErpValue(p[2])) * faktor;
    const SalesSide sales = SalesPrices(cost, p[4], p[5], defaults(company, supplier)[2]);
    m_engine.execText(QStringLiteral("UPDATE quendrap_pos SET ekgrp=?, rabtyp='%', rab1=?, rab2=?, "
                                     "rab3=?, rab4=?, netto=?, vkexcl=?, vkincl=?, spanne=? "
                                     "WHERE id=?"),
                      {group, rab[0], rab[1], rab[2], rab[3], ErpNumber(netto, 4), sales.vkexcl,
                       sales.vkincl, sales.spanne, positionId});
    return true;
}
