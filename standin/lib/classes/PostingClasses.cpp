// Posting: quendrap.pos "verbuch" brings one staging position into the ERP,
// as the buyer's flags say: a new article (or the article of the same order
// number), its master data and descriptions, the purchase condition and
// the sales price of the position's dates, and the releases. A posting
// writes only what differs, so posting a position again changes nothing.
#include "ErpPositions.h"
#include "Job.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"

#include <QSqlQuery>
#include <cmath>

namespace {

using Fields = QList<std::pair<QString, QString>>;

QString key(const QStringList& values) {
    return values.join(QStringLiteral("||"));
}

QString erpText(const QString& text) {
    return ConvertText(text, QStringLiteral("GUIVELTAR"), false);
}

// A number of a position in the ERP's form; an empty one stays empty.
QString number(const QString& text, int decimals) {
    return text.trimmed().isEmpty() ? QString() : ErpNumber(ErpValue(text), decimals);
}

QString orDefault(const QString& value, const QString& fallback) {
    return value.isEmpty() ? fallback : value;
}

bool contains(const QStringList& written, const Fields& fields) {
    for (const auto& f : fields)
        if (written.contains(f.first))
            return true;
    return false;
}

const QString kMissing = QStringLiteral("Position nicht vorhanden");

// One call of "verbuch": the arguments, what was done, the status text.
class Posting {
public:
    // pcode: the user of the login, whom argument 4 names.
    Posting(StandinEngine& engine, const QStringList& a, const QString& pcode)
        : m_e(engine), m_company(a.value(0)), m_position(a.value(1)), m_supplier(a.value(2)),
          m_pcode(pcode), m_releaseKey(a.value(5)) {
        const auto flag = [&a](int i) { return a.value(i) == u"J"; };
        m_releasePrices = flag(4);
        m_salesPrice = flag(6);
        m_releaseArticle = flag(7);
        m_purchasePrice = flag(8);
        m_purchaseCondition = flag(9);
        m_descriptions = flag(10);
        m_newArticles = flag(11);
        m_existingArticles = flag(12);
        m_masterData = flag(13);
    }

    bool anyFlag() const {
        return m_releasePrices || m_salesPrice || m_releaseArticle || m_purchasePrice ||
               m_purchaseCondition || m_descriptions || m_newArticles || m_existingArticles ||
               m_masterData;
    }

    // Posts the position and stores the status text in it; an unknown
    // position (or one of another company or supplier) is left alone.
    QString run() {
        if (!m_e.loadObject(*m_e.findClass(erp::Pos::kClass), m_position, &m_pos))
            return kMissing;
        m_dlid = p(u"DLID");
        const QString download =
            m_e.textValue(QStringLiteral("SELECT Firma||'||'||LNR FROM quendrap_downloads "
                                         "WHERE id=?"),
                          {m_dlid});
        if (download.isEmpty() || download != key({m_company, m_supplier}))
            return kMissing;
        const QString status = post();
        // A posting that changed nothing keeps what an earlier one wrote:
        // the status tells what the ERP received.
        if (status.startsWith(QStringLiteral("Unverändert")) &&
            p(u"Status").startsWith(QStringLiteral("Verbucht: ")))
            return QStringLiteral("-1");
        return finish(status);
    }

private:
    QString p(const char16_t* name) const { return m_pos.values.value(QString::fromUtf16(name)); }

    QString post() {
        m_article = p(u"ARTNR");
        if (m_article.isEmpty()) {
            if (!m_newArticles)
                return QStringLiteral("Ohne Artikel, nichts verbucht");
            // An article of the supplier with the position's order number is
            // taken instead of a twin (an earlier posting may have created it).
            // "+ARTNR" keeps the order from steering the look-up onto the
            // supplier's index, which would read every article of the
            // supplier.
            const QString found =
                orderNumber().isEmpty()
                    ? QString()
                    : m_e.textValue(
                          QStringLiteral("SELECT ARTNR FROM vt_artikel WHERE FIRMA=? "
                                         "AND LNR=? AND BESTNR=? ORDER BY +ARTNR LIMIT 1"),
                          {m_company, m_supplier, orderNumber()});
            if (!found.isEmpty()) {
                if (active(found) != u"J")
                    return QStringLiteral("Artikel inaktiv, nichts verbucht");
                m_article = found;
                written(QStringLiteral("Artikel ") + found + QStringLiteral(" zugeordnet"));
            } else {
                m_article = createArticle();
                written(QStringLiteral("Artikel ") + m_article + QStringLiteral(" angelegt"));
            }
            m_e.execText(QStringLiteral("UPDATE quendrap_pos SET ARTNR=? WHERE id=?"),
                         {m_article, m_position});
        } else {
            const QString state = active(m_article);
            if (state.isEmpty())
                return QStringLiteral("Artikel nicht im ERP, nichts verbucht");
            if (state != u"J")
                return QStringLiteral("Artikel inaktiv, nichts verbucht");
            if (!m_existingArticles)
                return QStringLiteral("Vorhandener Artikel, nichts verbucht");
        }
        if (m_masterData && !writeArticle(masterData()).isEmpty())
            written(QStringLiteral("Stammdaten"));
        if (m_descriptions && !writeArticle(descriptions()).isEmpty())
            written(QStringLiteral("Bezeichnungen"));
        if (m_purchaseCondition || m_purchasePrice)
            purchase();
        if (m_salesPrice)
            sales();
        if (m_releaseArticle &&
            !writeArticle({{QStringLiteral("FREIGABE"), QStringLiteral("J")}}).isEmpty())
            written(QStringLiteral("Artikel freigegeben"));
        if (m_releasePrices && releasePrices())
            written(QStringLiteral("Preise freigegeben"));
        if (m_anyWritten)
            return QStringLiteral("Verbucht: ") + m_steps.join(QStringLiteral(", "));
        QStringList texts{QStringLiteral("Unverändert")};
        texts << m_steps;
        return texts.join(QStringLiteral(", "));
    }

    QString finish(const QString& status) {
        m_e.execText(QStringLiteral("UPDATE quendrap_pos SET Status=? WHERE id=?"),
                     {status, m_position});
        return status;
    }

    void written(const QString& step) {
        m_steps << step;
        m_anyWritten = true;
    }
    // What was asked for but could not be posted.
    void skipped(const QString& step) { m_steps << step; }

    // "J" for an active article (an empty AKTIV counts as active), "N" for
    // an inactive one, "" when the company has no such article.
    QString active(const QString& article) {
        const QString aktiv =
            m_e.textValue(QStringLiteral("SELECT 'v'||AKTIV FROM vt_artikel WHERE id=?"),
                          {key({m_company, article})});
        if (aktiv.isEmpty())
            return QString();
        return aktiv == u"vN" ? QStringLiteral("N") : QStringLiteral("J");
    }

    QString orderNumber() const { return orDefault(p(u"bestnrvt"), p(u"BestNr")); }
    QString ean() const { return orDefault(p(u"eanvt"), p(u"EAN")); }

    // The VAT code whose rate is the position's, else the standard code 1.
    QString vatCode() {
        const QString rate = p(u"mcproz");
        if (!rate.trimmed().isEmpty()) {
            QSqlQuery& q = m_e.exec(
                QStringLiteral("SELECT CODE, SATZ FROM vt_parmwst WHERE FIRMA=? ORDER BY CODE"),
                {m_company});
            QString code;
            while (code.isEmpty() && StandinStore::nextRow(q))
                if (std::abs(ErpValue(q.value(1).toString()) - ErpValue(rate)) < 1e-9)
                    code = q.value(0).toString();
            q.finish();
            if (!code.isEmpty())
                return code;
        }
        return QStringLiteral("1");
    }

    Fields masterData() {
        return {{QStringLiteral("ATYP"), p(u"atyp")},
                {QStringLiteral("WARGR"), p(u"wargr")},
                {QStringLiteral("ABTNR"), p(u"ABTNR")},
                {QStringLiteral("VKE"), p(u"vke")},
                {QStringLiteral("VPE"), p(u"vpe")},
                {QStringLiteral("VPI"), number(p(u"vpi"), 4)},
                {QStringLiteral("VRE"), p(u"vre")},
                {QStringLiteral("VRM"), number(p(u"vrm"), 4)},
                {QStringLiteral("VPM"), number(p(u"vpm"), 4)},
                {QStringLiteral("EBE"), p(u"ebe")},
                {QStringLiteral("MWST"), vatCode()},
                {QStringLiteral("PALART"), p(u"palart")},
                {QStringLiteral("PALJE"), number(p(u"palje"), 4)},
                {QStringLiteral("PALAB"), number(p(u"palab"), 4)},
                {QStringLiteral("ACOD"), p(u"acod")},
                {QStringLiteral("BESTNR"), orderNumber()},
                {QStringLiteral("EAN"), ean()}};
    }

    Fields descriptions() const {
        return {{QStringLiteral("BEZ"), erpText(p(u"Bez1"))},
                {QStringLiteral("BEZ2"), erpText(p(u"bez2"))},
                {QStringLiteral("BEZ3"), erpText(p(u"bez3"))}};
    }

    QStringList write(const QString& className, const QString& id, const Fields& fields,
                      const Fields& whenNew = {}, bool* created = nullptr) {
        return WriteErpRecord(m_e, className, id, fields, whenNew, m_dlid, m_pcode, created);
    }

    QStringList writeArticle(const Fields& fields) {
        return write(erp::Data::kArtikel, key({m_company, m_article}), fields);
    }

    // A new article with the next number of the company's article number
    // range; throws when the range has no number left.
    QString createArticle() {
        StoredObject range;
        if (!m_e.loadObject(*m_e.findClass(erp::Data::kParNrKreis),
                            key({m_company, QStringLiteral("ARTNR")}), &range))
            throw ServerError(StandinErrors::General,
                              QStringLiteral("Kein Artikelnummernkreis für Firma ") + m_company);
        const qint64 last = range.values.value(QStringLiteral("LETZTE")).toLongLong();
        const qint64 to = range.values.value(QStringLiteral("BIS")).toLongLong();
        qint64 next = qMax(last + 1, range.values.value(QStringLiteral("VON")).toLongLong());
        // Numbers given to articles by other means are skipped.
        while (next <= to && !active(QString::number(next)).isEmpty())
            ++next;
        if (next > to)
            throw ServerError(StandinErrors::General,
                              QStringLiteral("Artikelnummernkreis erschöpft"));
        range.values.insert(QStringLiteral("LETZTE"), QString::number(next));
        m_e.saveObject(range);
        const QString article = QString::number(next);
        Fields fields = descriptions();
        fields << masterData();
        write(erp::Data::kArtikel, key({m_company, article}), fields,
              {{QStringLiteral("FIRMA"), m_company},
               {QStringLiteral("ARTNR"), article},
               {QStringLiteral("LNR"), m_supplier},
               {QStringLiteral("AKTIV"), QStringLiteral("J")},
               {QStringLiteral("FREIGABE"), QStringLiteral("N")}});
        return article;
    }

    // The purchase condition of the position's EK date: the condition
    // fields, the price fields or both. A new record takes what the flags
    // leave out from the condition in force before that date, else from the
    // position.
    void purchase() {
        const QString date = ErpDate(p(u"ekdat"));
        if (date.isEmpty()) {
            skipped(QStringLiteral("EK ohne Datum"));
            return;
        }
        const Fields condition{{QStringLiteral("EKGRP"), p(u"ekgrp")},
                               {QStringLiteral("RABTYP"), p(u"rabtyp")},
                               {QStringLiteral("RAB1"), number(p(u"rab1"), 2)},
                               {QStringLiteral("RAB2"), number(p(u"rab2"), 2)},
                               {QStringLiteral("RAB3"), number(p(u"rab3"), 2)},
                               {QStringLiteral("RAB4"), number(p(u"rab4"), 2)},
                               {QStringLiteral("NEBKOST"), number(p(u"nebkost"), 4)},
                               {QStringLiteral("FAKTOR"), number(p(u"faktor"), 4)},
                               {QStringLiteral("ERE"), p(u"erevt")},
                               {QStringLiteral("EPM"), number(p(u"epmvt"), 4)},
                               {QStringLiteral("EVM"), number(p(u"evm"), 4)},
                               {QStringLiteral("MIBEME"), number(p(u"mibeme"), 4)},
                               {QStringLiteral("HLIEF"), p(u"hlief")}};
        const Fields price{{QStringLiteral("BRUTTO"), number(p(u"brutto"), 4)},
                           {QStringLiteral("NETTO"), number(p(u"netto"), 4)}};
        Fields fields;
        if (m_purchaseCondition)
            fields << condition;
        if (m_purchasePrice)
            fields << price;
        Fields whenNew{{QStringLiteral("FIRMA"), m_company},
                       {QStringLiteral("LNR"), m_supplier},
                       {QStringLiteral("ARTNR"), m_article},
                       {QStringLiteral("DATUM"), date},
                       {QStringLiteral("FREIGABE"), QStringLiteral("N")}};
        if (!m_purchaseCondition || !m_purchasePrice)
            whenNew << earlier(m_purchaseCondition ? price : condition, date);
        const QString id = key({m_company, m_supplier, m_article, date});
        bool created = false;
        const QStringList w = write(erp::Data::kArtEK, id, fields, whenNew, &created);
        if (!created && !w.isEmpty())
            unrelease(erp::Data::kArtEK, id);
        if (m_purchaseCondition && contains(w, condition))
            written(QStringLiteral("EK-Kondition ") + date);
        if (m_purchasePrice && contains(w, price))
            written(QStringLiteral("EK-Preis ") + date);
    }

    // The fields of the supplier's condition for the article in force
    // before the date; the position's own values when there is none.
    Fields earlier(const Fields& own, const QString& date) {
        QStringList columns;
        for (const auto& f : own)
            columns << f.first;
        const QString order = DateOrderSql(QStringLiteral("DATUM"));
        QSqlQuery& q = m_e.exec(
            QStringLiteral("SELECT ") + columns.join(u',') +
                QStringLiteral(" FROM vt_artek WHERE FIRMA=? AND LNR=? AND "
                               "ARTNR=? AND ") +
                order + QStringLiteral(" < ? ORDER BY ") + order + QStringLiteral(" DESC LIMIT 1"),
            {m_company, m_supplier, m_article, date.mid(6, 4) + date.mid(3, 2) + date.left(2)});
        Fields out = own;
        if (StandinStore::nextRow(q))
            for (int i = 0; i < out.size(); ++i)
                out[i].second = q.value(i).toString();
        q.finish();
        return out;
    }

    void sales() {
        const QString date = ErpDate(p(u"vkdat"));
        if (date.isEmpty()) {
            skipped(QStringLiteral("VK ohne Datum"));
            return;
        }
        if (p(u"vkexcl").trimmed().isEmpty()) {
            skipped(QStringLiteral("VK ohne Preis"));
            return;
        }
        const QString id = key({m_company, m_article, date});
        bool created = false;
        const QStringList w = write(erp::Data::kArtVK, id,
                                    {{QStringLiteral("KFSOLL"), number(p(u"kfsoll"), 4)},
                                     {QStringLiteral("VKEXCL"), number(p(u"vkexcl"), 4)},
                                     {QStringLiteral("VKINCL"), number(p(u"vkincl"), 4)}},
                                    {{QStringLiteral("FIRMA"), m_company},
                                     {QStringLiteral("ARTNR"), m_article},
                                     {QStringLiteral("DATUM"), date},
                                     {QStringLiteral("FREIGABE"), QStringLiteral("N")}},
                                    &created);
        if (!created && !w.isEmpty())
            unrelease(erp::Data::kArtVK, id);
        if (!w.isEmpty())
            written(QStringLiteral("VK-Preis ") + date);
    }

    // A changed record waits for its release like a new one, so that
    // nothing a buyer did not release goes into force.
    void unrelease(const QString& className, const QString& id) {
        WriteErpRecord(m_e, className, id, {{QStringLiteral("FREIGABE"), QStringLiteral("N")}}, {},
                       m_dlid, m_pcode);
    }

    // Releases the article's condition (of the supplier) and sales price of
    // the position's dates, whoever stored them, stamped with the position's
    // own download (whatever key the client named); true when one of them
    // was not released before.
    bool releasePrices() {
        if (m_releaseKey.isEmpty())
            return false;
        const QString ek = ErpDate(p(u"ekdat"));
        const QString vk = ErpDate(p(u"vkdat"));
        bool released = false;
        const auto release = [&](const QString& className, const QString& table,
                                 const QString& id) {
            const QString state = m_e.textValue(QStringLiteral("SELECT 'v'||FREIGABE FROM ") +
                                                    table + QStringLiteral(" WHERE id=?"),
                                                {id});
            if (state != u"vN")
                return;
            WriteErpRecord(m_e, className, id, {{QStringLiteral("FREIGABE"), QStringLiteral("J")}},
                           {}, m_dlid, m_pcode);
            released = true;
        };
        if (!ek.isEmpty())
            release(erp::Data::kArtEK, QStringLiteral("vt_artek"),
                    key({m_company, m_supplier, m_article, ek}));
        if (!vk.isEmpty())
            release(erp::Data::kArtVK, QStringLiteral("vt_artvk"), key({m_company, m_article, vk}));
        return released;
    }

    StandinEngine& m_e;
    QString m_company, m_position, m_supplier, m_pcode, m_releaseKey;
    bool m_releasePrices, m_salesPrice, m_releaseArticle, m_purchasePrice, m_purchaseCondition,
        m_descriptions, m_newArticles, m_existingArticles, m_masterData;
    StoredObject m_pos;
    QString m_dlid;
    QString m_article;
    QStringList m_steps;
    bool m_anyWritten = false;
};

} // namespace

namespace {

// verbuch(company, position, supplier, user, release prices, download
// key, sales price, release article, EK price, EK condition,
// descriptions, new articles, existing articles, master data): the
// position's new status text, "-1" when no flag is set. One call is one
// transaction; an exhausted article number range is an error.
QString verbuch(CallContext& ctx, QStringList& a) {
    Posting posting(ctx.engine, a, ctx.job.userCode());
    if (!posting.anyFlag())
        return QStringLiteral("-1");
    StandinTransaction t(ctx.engine);
    const QString status = posting.run();
    t.commit();
    return status;
}

} // namespace

void RegisterPostingClasses(StandinRegistry& registry) {
    ClassDef& pos = registry.extendClass(erp::Pos::kClass);
    pos.classMethods.insert(erp::Pos::kVerbuch, verbuch);
}
