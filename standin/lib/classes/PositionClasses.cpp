// What the positions window calls on quendrap.pos: the query "pos", the
// code lists of the grid, the ERP's purchase and sales dates of a position,
// the candidate articles and the article assignment.
#include "ErpPositions.h"
#include "Job.h"
#include "Rights.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/PriceCalculation.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"
#include "common/WireProtocol.h"

#include <QSet>
#include <QSqlDriver>
#include <QSqlQuery>
#include <limits>
#include <sqlite3.h>

namespace {

QString key(const QStringList& parts) {
    return parts.join(QStringLiteral("||"));
}

QString readable(const QString& erpText) {
    return ConvertText(erpText, QStringLiteral("VELTAR"), false);
}

QString orderOf(const QString& column) {
    return DateOrderSql(column);
}

// The columns of the query "pos" as the ERP contract lists them. The
// deviation has no name: it is worked out per row.
const QStringList& queryColumns() {
    static const QStringList c = erp::Pos::kPos.columnList();
    return c;
}

// The rows of the query "pos", read straight from SQLite: a download of
// 100,000 positions is read in batches without a per-value conversion. No
// statement stays open between batches (an open read would keep the WAL
// from being checkpointed): each batch starts after the last id it read.
class PositionCursor : public QueryCursor {
public:
    PositionCursor(StandinEngine& engine, bool single, const QStringList& values)
        : m_single(single), m_values(values) {
        const QVariant handle = engine.db().driver()->handle();
        if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
            throw ServerError(StandinErrors::Database, QStringLiteral("Datenbank nicht geöffnet"));
        m_db = *static_cast<sqlite3* const*>(handle.constData());
        m_sql = statement(single).toUtf8();
    }
    PositionCursor(const PositionCursor&) = delete;
    PositionCursor& operator=(const PositionCursor&) = delete;

    int columns() const override { return erp::PosQuery::kColumns; }

    bool fill(int rows, qsizetype maxBytes, QStringList& out) override {
        // The rows are made one way only: as the frame carries them.
        QByteArray encoded;
        quint32 cells = 0;
        const bool more = fillEncoded(rows, maxBytes, encoded, cells);
        Wire::appendDecoded(encoded, out);
        return more;
    }

    bool fillEncoded(int rows, qsizetype maxBytes, QByteArray& out, quint32& cells) override {
        // Room for the batch at once instead of growing it row by row.
        out.reserve(out.size() + qMin<qsizetype>(qsizetype(rows) * 640, maxBytes + 65536));
        return run(rows, maxBytes, [&](sqlite3_stmt* st) {
            const qsizetype before = out.size();
            encodeRow(st, out);
            cells += erp::PosQuery::kColumns;
            return out.size() - before;
        });
    }

private:
    // Runs the statement for the next rows; takeRow hands each row on and
    // tells how many bytes it made.
    template <typename TakeRow> bool run(int rows, qsizetype maxBytes, TakeRow takeRow) {
        if (m_done)
            return false;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, m_sql.constData(), int(m_sql.size()), &st, nullptr) !=
            SQLITE_OK) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_finalize(st);
            throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") + error);
        }
        for (int i = 0; i < m_values.size(); ++i)
            sqlite3_bind_text16(st, i + 1, m_values[i].utf16(), int(m_values[i].size() * 2),
                                SQLITE_TRANSIENT);
        if (!m_single) {
            sqlite3_bind_int64(st, 4, m_lastId);
            sqlite3_bind_int(st, 5, rows);
        }
        qsizetype bytes = 0;
        int taken = 0;
        int rc = SQLITE_DONE;
        while (taken < rows && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            ++taken;
            m_lastId = sqlite3_column_int64(st, 0);
            bytes += takeRow(st);
            if (bytes > maxBytes)
                break;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_finalize(st);
            throw ServerError(StandinErrors::Database, QStringLiteral("Datenbankfehler: ") + error);
        }
        sqlite3_finalize(st);
        const bool more = !m_single && (taken == rows || bytes > maxBytes);
        m_done = !more;
        return more;
    }

    static QByteArrayView utf8(sqlite3_stmt* st, int column) {
        const unsigned char* t = sqlite3_column_text(st, column);
        if (!t)
            return {};
        return QByteArrayView(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, column));
    }

    // A stored description needs the ERP's character conversion only when
    // it holds one of the characters that stand for umlauts.
    static bool needsConversion(QByteArrayView v) {
        for (qsizetype i = 0; i < v.size(); ++i) {
            const char c = v[i];
            if (c == '{' || c == '|' || c == '}' || c == '~' || c == '[' || c == '\\' || c == ']' ||
                (uchar(c) == 0xC3 && i + 1 < v.size() && uchar(v[i + 1]) == 0xB5))
                return true;
        }
        return false;
    }

    // A row straight into the frame: the supplier price in the ERP's number
    // form, the descriptions readable, the deviation worked out; only these
    // cells become strings.
    static void encodeRow(sqlite3_stmt* st, QByteArray& out) {
        for (int i = 0; i < erp::PosQuery::kColumns; ++i) {
            switch (i) {
            case 4:
                Wire::appendText(out, ErpNumber(ErpValue(text(st, 4)), 4));
                break;
            case 8:
            case 9:
            case 10: {
                const QByteArrayView v = utf8(st, i);
                if (needsConversion(v))
                    Wire::appendText(out, readable(QString::fromUtf8(v)));
                else
                    Wire::appendText(out, v);
                break;
            }
            case 13:
                if (utf8(st, 7).isEmpty() || utf8(st, 13).isEmpty())
                    Wire::appendText(out, QByteArrayView());
                else
                    Wire::appendText(out,
                                     deviation(text(st, 7), text(st, 13),
                                               ErpNumber(ErpValue(text(st, 4)), 4), text(st, 5)));
                break;
            default:
                Wire::appendText(out, utf8(st, i));
            }
        }
    }

    static QString statement(bool single) {
        QStringList cols;
        for (const QString& c : queryColumns()) {
            if (c.isEmpty())
                // The gross price and price quantity of the ERP's condition
                // in force before the price's date (else its newest one).
                cols << QStringLiteral("CASE WHEN p.ARTNR='' THEN NULL ELSE COALESCE(") +
                            reference(orderOf(QStringLiteral("c.DATUM")) + QStringLiteral(" < ") +
                                      orderOf(QStringLiteral("p.Datum"))) +
                            u',' + reference(QStringLiteral("1")) + QStringLiteral(") END");
            else
                cols << QStringLiteral("p.\"") + c + u'"';
        }
        return QStringLiteral("SELECT ") + cols.join(u',') +
               QStringLiteral(" FROM quendrap_pos p WHERE p.DLID=?3") +
               (single ? QStringLiteral(" AND p.id=?4")
                       : QStringLiteral(" AND CAST(p.id AS INTEGER) > ?4 ORDER BY CAST(p.id AS "
                                        "INTEGER) LIMIT ?5"));
    }

    // The newest of the article's conditions that meet the condition.
    static QString reference(const QString& condition) {
        return QStringLiteral("(SELECT c.BRUTTO||'|'||c.EPM FROM vt_artek c WHERE c.FIRMA=?1 AND "
                              "c.LNR=?2 AND c.ARTNR=p.ARTNR AND ") +
               condition + QStringLiteral(" ORDER BY ") + orderOf(QStringLiteral("c.DATUM")) +
               QStringLiteral(" DESC LIMIT 1)");
    }

    static QString text(sqlite3_stmt* st, int column) {
        return StandinStore::columnText(st, column);
    }

    static QString deviation(const QString& article, const QString& reference, const QString& price,
                             const QString& priceQuantity) {
        if (article.isEmpty() || reference.isEmpty())
            return QString();
        const qsizetype bar = reference.indexOf(u'|');
        const double epm = ErpValue(reference.mid(bar + 1));
        const double current = ErpValue(reference.left(bar)) / (epm > 0 ? epm : 1);
        const double eht = ErpValue(priceQuantity);
        if (current <= 0)
            return QString();
        return ErpNumber((ErpValue(price) / (eht > 0 ? eht : 1) - current) / current * 100, 2);
    }

    sqlite3* m_db = nullptr;
    QByteArray m_sql;
    bool m_single;
    QStringList m_values;
    qint64 m_lastId = std::numeric_limits<qint64>::min();
    bool m_done = false;
};

// Company and supplier of a download; empty when the download is unknown.
QStringList downloadOf(StandinEngine& e, const QString& dlid) {
    QSqlQuery& q =
        e.exec(QStringLiteral("SELECT Firma, LNR FROM quendrap_downloads WHERE id=?"), {dlid});
    QStringList v;
    if (q.next())
        v = {q.value(0).toString(), q.value(1).toString()};
    q.finish();
    return v;
}

QList<QStringList> rows(StandinEngine& e, const QString& sql, const QVariantList& values,
                        int columns) {
    QSqlQuery& q = e.exec(sql, values);
    QList<QStringList> out;
    while (q.next()) {
        QStringList r;
        for (int i = 0; i < columns; ++i)
            r << q.value(i).toString();
        out << r;
    }
    q.finish();
    return out;
}

// Rows "group|code|text" of the grid's code lists.
QList<QStringList> comboRows(StandinEngine& e, const QString& company, const QString& supplier) {
    QList<QStringList> out;
    const auto add = [&out](const QString& group, const QList<QStringList>& entries,
                            bool rateOnly = false) {
        for (const QStringList& r : entries)
            out << QStringList{group + u'|' + r[0] + u'|' +
                               (rateOnly ? r[0] : readable(r.value(1)))};
    };
    const auto codes = [&](const QString& table) {
        return rows(e,
                    QStringLiteral("SELECT CODE, BEZ FROM ") + table +
                        QStringLiteral(" WHERE FIRMA=? ORDER BY CODE"),
                    {company}, 2);
    };
    add(QStringLiteral("1"), codes(QStringLiteral("vt_parartyp")));
    add(QStringLiteral("2"), codes(QStringLiteral("vt_parwarengruppe")));
    add(QStringLiteral("3"), codes(QStringLiteral("vt_parabteilung")));
    add(QStringLiteral("4"), codes(QStringLiteral("vt_pareinheit")));
    add(QStringLiteral("5"),
        rows(e,
             QStringLiteral("SELECT DISTINCT SATZ FROM vt_parmwst WHERE FIRMA=? ORDER BY "
                            "CAST(SATZ AS REAL) DESC"),
             {company}, 1),
        true);
    // The supplier's discount groups in force with the description of their
    // newest date.
    add(QStringLiteral("7"),
        rows(e,
             QStringLiteral("SELECT CODE, BEZ, max(") + orderOf(QStringLiteral("DATUM")) +
                 QStringLiteral(") FROM vt_ekrabgr WHERE FIRMA=? AND LNR=? AND FREIGABE<>'N' "
                                "GROUP BY CODE ORDER BY CODE"),
             {company, supplier}, 2));
    // Sales discount groups, one per goods group (not a list of the grid).
    QList<QStringList> sales = codes(QStringLiteral("vt_parwarengruppe"));
    for (QStringList& r : sales) {
        r[1] = QStringLiteral("VK-Rabattgruppe A ") + r[1];
        r[0] += QStringLiteral(".A");
    }
    add(QStringLiteral("9"), sales);
    add(QStringLiteral("12"), codes(QStringLiteral("vt_parartcode")));
    add(QStringLiteral("13"),
        rows(e,
             QStringLiteral("SELECT ARTNR, BEZ FROM vt_artikel WHERE FIRMA=? AND ATYP='P' AND "
                            "AKTIV<>'N' ORDER BY ARTNR"),
             {company}, 2));
    return out;
}

// Rows "EK-Dat\n%/N\nRab1\nRab2\nRab3\nNetto", newest date first: the
// discount group's rates in force when a group is given, else the article's
// purchase conditions.
QList<QStringList> purchaseDateRows(StandinEngine& e, const QStringList& f) {
    QList<QStringList> out;
    const QString company = f.value(1), supplier = f.value(2), article = f.value(3),
                  group = f.value(4);
    if (!group.isEmpty()) {
        for (const QStringList& r :
             rows(e,
                  QStringLiteral("SELECT DATUM, RAB1, RAB2, RAB3 FROM vt_ekrabgr WHERE FIRMA=? "
                                 "AND LNR=? AND CODE=? AND FREIGABE<>'N' ORDER BY ") +
                      orderOf(QStringLiteral("DATUM")) + QStringLiteral(" DESC"),
                  {company, supplier, group}, 4))
            out << QStringList{
                QStringList{r[0], QStringLiteral("%"), r[1], r[2], r[3], QString()}.join(u'\n')};
    } else if (!article.isEmpty()) {
        for (const QStringList& r :
             rows(e,
                  QStringLiteral("SELECT DATUM, RABTYP, RAB1, RAB2, RAB3, NETTO FROM vt_artek "
                                 "WHERE FIRMA=? AND LNR=? AND ARTNR=? ORDER BY ") +
                      orderOf(QStringLiteral("DATUM")) + QStringLiteral(" DESC"),
                  {company, supplier, article}, 6))
            out << QStringList{r.join(u'\n')};
    }
    return out;
}

// Rows "VK-Datum\nKF-Soll\nVK-excl.", newest date first.
QList<QStringList> salesDateRows(StandinEngine& e, const QStringList& f) {
    QList<QStringList> out;
    for (const QStringList& r :
         rows(e,
              QStringLiteral("SELECT DATUM, KFSOLL, VKEXCL FROM vt_artvk WHERE FIRMA=? AND "
                             "ARTNR=? ORDER BY ") +
                  orderOf(QStringLiteral("DATUM")) + QStringLiteral(" DESC"),
              {f.value(1), f.value(2)}, 3))
        out << QStringList{r.join(u'\n')};
    return out;
}

// Rows "Best.Nr.\nArt.-Nr\nBezeichnung\nZugeordnet\nAktiv" of the
// supplier's articles, by article number.
QList<QStringList> candidateRows(StandinEngine& e, const QStringList& f) {
    // The download's articles, in one pass over its positions (none for a
    // download of another company).
    QSet<QString> assigned;
    if (DownloadCompany(e, f.value(3)) == f.value(1))
        for (const QStringList& r : rows(e,
                                         QStringLiteral("SELECT DISTINCT ARTNR FROM quendrap_pos "
                                                        "WHERE DLID=? AND ARTNR<>''"),
                                         {f.value(3)}, 1))
            assigned.insert(r[0]);
    QList<QStringList> out;
    for (const QStringList& r :
         rows(e,
              QStringLiteral("SELECT BESTNR, ARTNR, BEZ, AKTIV FROM vt_artikel WHERE FIRMA=? AND "
                             "LNR=? ORDER BY ARTNR"),
              {f.value(1), f.value(2)}, 4))
        out << QStringList{QStringList{r[0], r[1], readable(r[2]),
                                       assigned.contains(r[1]) ? QStringLiteral("J") : QString(),
                                       r[3] == u"N" ? QStringLiteral("N") : QStringLiteral("J")}
                               .join(u'\n')};
    return out;
}

QString expression(const QString& kind, const QStringList& args, int count) {
    return QStringList{kind, args.mid(0, count).join(u'|')}.join(u'|');
}

} // namespace

std::unique_ptr<QueryCursor> PositionListCursor(CallContext& ctx, const QString& expr) {
    const QStringList f = expr.split(u'|');
    const QString kind = f[0];
    QList<QStringList> out;
    if (kind == u"COMBO")
        out = comboRows(ctx.engine, f.value(1), f.value(2));
    else if (kind == u"EKDAT")
        out = purchaseDateRows(ctx.engine, f);
    else if (kind == u"VKDAT")
        out = salesDateRows(ctx.engine, f);
    else if (kind == u"POSVT")
        out = candidateRows(ctx.engine, f);
    else
        return nullptr;
    return std::make_unique<ListCursor>(1, out);
}

namespace {

// pos(download, ""): the download's positions in position order;
// pos(position id, download): that position when it belongs to the
// download. 55 columns, see standin/README.md.
std::unique_ptr<QueryCursor> posQuery(CallContext& ctx, const QStringList& a) {
    const bool single = !a.value(1).isEmpty();
    const QString dlid = single ? a.value(1) : a.value(0);
    const QStringList dl = downloadOf(ctx.engine, dlid);
    // Another company's download has no positions for the job.
    if (dl.isEmpty() || dl[0] != ctx.job.company())
        return std::unique_ptr<QueryCursor>(
            std::make_unique<ListCursor>(erp::PosQuery::kColumns, QList<QStringList>{}));
    QStringList values{dl[0], dl[1], dlid};
    if (single)
        values << a.value(0);
    return std::unique_ptr<QueryCursor>(
        std::make_unique<PositionCursor>(ctx.engine, single, values));
}

// getcombo(company, supplier): the VT.XW expression of the grid's code
// lists; "" when the company keeps none.
QString getcombo(CallContext& ctx, QStringList& a) {
    const QString any = ctx.engine.textValue(
        QStringLiteral("SELECT 1 FROM vt_parartyp WHERE FIRMA=?1 UNION ALL SELECT 1 FROM "
                       "vt_parwarengruppe WHERE FIRMA=?1 UNION ALL SELECT 1 FROM "
                       "vt_pareinheit WHERE FIRMA=?1 LIMIT 1"),
        {a.value(0)});
    return any.isEmpty() ? QString() : expression(QStringLiteral("COMBO"), a, 2);
}

// getekdat1(company, supplier, article, EK discount group, date): "J|..."
// when the ERP holds, valid from exactly that date, the supplier's
// discount group in force (group given) or else the supplier's purchase
// condition of the article; otherwise "N".
QString getekdat1(CallContext& ctx, QStringList& a) {
    const QString date = ErpDate(a.value(4));
    if (date.isEmpty())
        return QStringLiteral("N");
    QString found;
    if (!a.value(3).isEmpty())
        found = ctx.engine.textValue(
            QStringLiteral("SELECT 'J|'||CODE||'|'||DATUM||'|'||RAB1||'|'||RAB2||'|'||RAB3||"
                           "'|'||RAB4 FROM vt_ekrabgr WHERE id=? AND FREIGABE<>'N'"),
            {key({a.value(0), a.value(1), a.value(3), date})});
    else if (!a.value(2).isEmpty())
        found = ctx.engine.textValue(
            QStringLiteral("SELECT 'J|'||DATUM||'|'||BRUTTO||'|'||RABTYP||'|'||RAB1||'|'||"
                           "RAB2||'|'||RAB3||'|'||RAB4||'|'||NETTO FROM vt_artek WHERE id=?"),
            {key({a.value(0), a.value(1), a.value(2), date})});
    return found.isEmpty() ? QStringLiteral("N") : found;
}

// getvkdat1(company, article, date): "J|date|KF-Soll|VK excl.|VK incl."
// when the article has a sales price valid from that date, else "N".
QString getvkdat1(CallContext& ctx, QStringList& a) {
    const QString date = ErpDate(a.value(2));
    if (date.isEmpty() || a.value(1).isEmpty())
        return QStringLiteral("N");
    const QString found = ctx.engine.textValue(
        QStringLiteral("SELECT 'J|'||DATUM||'|'||KFSOLL||'|'||VKEXCL||'|'||VKINCL FROM "
                       "vt_artvk WHERE id=?"),
        {key({a.value(0), a.value(1), date})});
    return found.isEmpty() ? QStringLiteral("N") : found;
}

// getekdat(company, supplier, article, EK discount group) and
// getvkdat(company, article): VT.XW expressions of the dated conditions
// and sales prices; "" when there is nothing to look for.
QString getekdat(CallContext&, QStringList& a) {
    return a.value(2).isEmpty() && a.value(3).isEmpty() ? QString()
                                                        : expression(QStringLiteral("EKDAT"), a, 4);
}

QString getvkdat(CallContext&, QStringList& a) {
    return a.value(1).isEmpty() ? QString() : expression(QStringLiteral("VKDAT"), a, 2);
}

// getwgdaten(company, goods group): "department|VAT rate"; "" for an
// unknown group.
QString getwgdaten(CallContext& ctx, QStringList& a) {
    return ctx.engine.textValue(
        QStringLiteral("SELECT w.ABTNR||'|'||COALESCE((SELECT m.SATZ FROM vt_parmwst m "
                       "WHERE m.FIRMA=w.FIRMA AND m.CODE=w.MWST), '') FROM "
                       "vt_parwarengruppe w WHERE w.id=?"),
        {key({a.value(0), a.value(1)})});
}

// getposvt(company, supplier, download): the VT.XW expression of the
// supplier's articles; "" when the supplier has none.
QString getposvt(CallContext& ctx, QStringList& a) {
    const QString any = ctx.engine.textValue(
        QStringLiteral("SELECT 1 FROM vt_artikel WHERE FIRMA=? AND LNR=? LIMIT 1"),
        {a.value(0), a.value(1)});
    return any.isEmpty() ? QString() : expression(QStringLiteral("POSVT"), a, 3);
}

// anrzuord(company, position, article, supplier, previous article):
// assigns the article ("" removes the assignment) and refills the
// position's grid fields. "0" when refused: unknown position, a
// position of another company or supplier, an unknown or inactive
// article, one of another supplier or one another position of the
// download has (an article stands in one row). "1" when stored.
QString anrzuord(CallContext& ctx, QStringList& a) {
    StandinEngine& e = ctx.engine;
    const QString company = a.value(0), id = a.value(1), article = a.value(2),
                  supplier = a.value(3);
    const QString dlid =
        e.textValue(QStringLiteral("SELECT DLID FROM quendrap_pos WHERE id=?"), {id});
    const QStringList dl = downloadOf(e, dlid);
    if (dl.isEmpty() || dl[0] != company || dl[1] != supplier)
        return QStringLiteral("0");
    if (!article.isEmpty()) {
        // An article counts as active unless it is marked "N".
        const QString state =
            e.textValue(QStringLiteral("SELECT LNR||'|'||AKTIV FROM vt_artikel WHERE id=?"),
                        {key({company, article})});
        if (state.isEmpty() || state.section(u'|', 0, 0) != supplier ||
            state.section(u'|', 1) == u"N")
            return QStringLiteral("0");
        if (!e.textValue(QStringLiteral("SELECT 1 FROM quendrap_pos WHERE DLID=? AND "
                                        "ARTNR=? AND id<>? LIMIT 1"),
                         {dlid, article, id})
                 .isEmpty())
            return QStringLiteral("0");
    }
    return PositionFiller(e, ctx.job.cache()).assign(id, company, supplier, article)
               ? QStringLiteral("1")
               : QStringLiteral("0");
}

// The margin is the ERP's own: worked out again whenever a price it depends
// on is saved changed.
void updateMargin(StandinEngine& e, StoredObject& o) {
    static const QStringList prices{QStringLiteral("netto"), QStringLiteral("epmvt"),
                                    QStringLiteral("nebkost"), QStringLiteral("faktor"),
                                    QStringLiteral("vkexcl")};
    QStringList stored;
    if (!o.id.isEmpty()) {
        QSqlQuery& q = e.exec(QStringLiteral("SELECT netto, epmvt, nebkost, faktor, vkexcl "
                                             "FROM quendrap_pos WHERE id=?"),
                              {o.id});
        if (StandinStore::nextRow(q))
            for (int i = 0; i < prices.size(); ++i)
                stored << q.value(i).toString();
        q.finish();
    }
    bool changed = stored.isEmpty();
    for (int i = 0; i < stored.size() && !changed; ++i)
        changed = stored[i] != o.values.value(prices[i]);
    if (!changed)
        return;
    auto v = [&o](const QString& p) { return ErpValue(o.values.value(p)); };
    const double cost =
        PriceCalculation::UnitCost(v(prices[0]), v(prices[1]), v(prices[2]), v(prices[3]));
    o.values[QStringLiteral("spanne")] = ErpNumber(PriceCalculation::Margin(v(prices[4]), cost), 2);
}

} // namespace

void RegisterPositionClasses(StandinRegistry& registry) {
    ClassDef& pos = registry.extendClass(erp::Pos::kClass);
    pos.beforeWireSave = updateMargin;
    // What the grid load and the cell editing look up by the thousand.
    pos.readOnlyClassMethods << erp::Pos::kGetcombo << erp::Pos::kGetekdat1 << erp::Pos::kGetvkdat1
                             << erp::Pos::kGetekdat << erp::Pos::kGetvkdat << erp::Pos::kGetwgdaten
                             << erp::Pos::kGetposvt;

    AddQuery(pos, erp::Pos::kPos, posQuery);

    pos.classMethods.insert({
        {erp::Pos::kGetcombo, getcombo},
        {erp::Pos::kGetekdat1, getekdat1},
        {erp::Pos::kGetvkdat1, getvkdat1},
        {erp::Pos::kGetekdat, getekdat},
        {erp::Pos::kGetvkdat, getvkdat},
        {erp::Pos::kGetwgdaten, getwgdaten},
        {erp::Pos::kGetposvt, getposvt},
        {erp::Pos::kAnrzuord, anrzuord},
    });
}
