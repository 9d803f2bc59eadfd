// The search dialogs: the article search and the lists of its combo boxes
// (routine ^VTCLSU), the supplier and customer searches (VT.Windows
// "KkrSuche"), the customers, customer groups and account groups.
#include "Job.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/TextHelpers.h"

#include <QSqlQuery>

namespace {

const QString kRoutine = erp::Routines::kVtclsu;
// Where the job keeps its article search between GETARF and GETARN.
const QString kSearchKey = QStringLiteral("VTCLSU:search");
constexpr int kPageSize = 4;
constexpr char16_t kRecordSeparator = 0xFF;

QString readable(const QString& erpText) {
    return ConvertText(erpText, QStringLiteral("VELTAR"), false);
}

// A readable text as the searches compare it: upper case, umlauts spelled out.
QString searchKey(const QString& text) {
    return ConvertText(text, QStringLiteral("VELTARSUCHE"), true);
}

// A routine of ^VTCLSU takes from min to max arguments.
void checkArguments(const QString& label, const QStringList& args, int min, int max) {
    if (args.size() < min || args.size() > max)
        throw MError(QStringLiteral("<PARAMETER>"), label + u'^' + kRoutine);
}

// The order of the search's hits as one text: article numbers of digits
// only by their value ("0" and 18 digits, zero-padded), then the others by
// text ("1" and the number). Indexed with the company, so that a page starts
// where the one before ended.
const QString& orderKeySql() {
    static const QString sql = QStringLiteral(
        "(CASE WHEN ARTNR<>'' AND ARTNR NOT GLOB '*[^0-9]*' AND length(ARTNR)<=18 THEN "
        "printf('0%018d', CAST(ARTNR AS INTEGER)) ELSE '1'||ARTNR END)");
    return sql;
}

// The state of a job's article search, as kept in its cache: the company,
// the seven criteria, then where the next page starts (order key and
// article number of the last hit written) and whether hits may follow.
enum SearchField {
    Company,
    Text,
    MainGroup,
    SubGroup,
    Supplier,
    Department,
    Active,
    Released,
    LastKey,
    LastArticle,
    Started,
    More,
    FieldCount
};

// Whether an article's numbers or description match the search text (given
// trimmed, and as its search key).
bool textMatches(const QString& text, const QString& key, const QString& artnr,
                 const QString& bestnr, const QString& ean, const QString& bez) {
    if (text.isEmpty())
        return true;
    return artnr.startsWith(text) || bestnr == text || ean == text ||
           searchKey(readable(bez)).contains(key);
}

// One record of a page: article, description and supplier joined by "`". A
// backquote or $C(255) inside the description would end a field or a
// record, so it is written as a blank.
QString record(const QString& artnr, const QString& bez, const QString& lnr) {
    QString text = readable(bez);
    text.replace(u'`', u' ').replace(QChar(kRecordSeparator), u' ');
    return artnr + u'`' + text + u'`' + lnr;
}

// The next page of the job's search: up to four records; the search goes on
// after the last of them.
QString nextPage(CallContext& ctx) {
    auto& cache = ctx.job.cache();
    auto it = cache.find(kSearchKey);
    if (it == cache.end() || it->value(More) != u"1")
        return QString();
    QStringList& s = *it;
    const QString text = s[Text];
    const QString key = searchKey(text);
    const QString& order = orderKeySql();
    QSqlQuery& q = ctx.engine.exec(
        QStringLiteral("SELECT ARTNR, BEZ, LNR, BESTNR, EAN, ") + order +
            QStringLiteral(
                " FROM vt_artikel WHERE FIRMA=? AND (?='' OR substr(WARGR,1,length(?))=?) AND "
                "(?='' OR WARGR=?) AND (?='' OR LNR=?) AND (?='' OR ABTNR=?) AND "
                "(?<>'J' OR AKTIV<>'N') AND (?<>'N' OR AKTIV='N') AND "
                "(?<>'J' OR FREIGABE='J') AND (?<>'N' OR FREIGABE<>'J') AND ") +
            order + QStringLiteral(" >= ? ORDER BY ") + order + QStringLiteral(", ARTNR"),
        {s[Company], s[MainGroup], s[MainGroup], s[MainGroup], s[SubGroup], s[SubGroup],
         s[Supplier], s[Supplier], s[Department], s[Department], s[Active], s[Active], s[Released],
         s[Released], s[LastKey]});
    QStringList records;
    QString lastKey = s[LastKey];
    QString lastArticle = s[LastArticle];
    const bool resuming = s[Started] == u"1";
    while (records.size() < kPageSize && StandinStore::nextRow(q)) {
        const QString artnr = q.value(0).toString();
        const QString rowKey = q.value(5).toString();
        // Rows of the last hit's order key up to the last hit itself were
        // written before (numbers with leading zeros share a key).
        if (resuming && rowKey == s[LastKey] && artnr <= s[LastArticle])
            continue;
        const QString bez = q.value(1).toString();
        if (!textMatches(text, key, artnr, q.value(3).toString(), q.value(4).toString(), bez))
            continue;
        records << record(artnr, bez, q.value(2).toString());
        lastKey = rowKey;
        lastArticle = artnr;
    }
    q.finish();
    s[LastKey] = lastKey;
    s[LastArticle] = lastArticle;
    s[Started] = QStringLiteral("1");
    s[More] = records.size() == kPageSize ? QStringLiteral("1") : QString();
    return records.join(QChar(kRecordSeparator));
}

// "code text`" for each row (code, text in the ERP's form) of a code list.
QString comboList(StandinEngine& engine, const QString& sql, const QVariantList& values) {
    QSqlQuery& q = engine.exec(sql, values);
    QString out;
    while (StandinStore::nextRow(q))
        out += q.value(0).toString() + u' ' + readable(q.value(1).toString()) + u'`';
    q.finish();
    return out;
}

// Rows "code|text" (the text readable) of a stored code list, by code.
std::unique_ptr<QueryCursor> codeRows(CallContext& ctx, const QString& sql,
                                      const QVariantList& values) {
    QSqlQuery& q = ctx.engine.exec(sql, values);
    QList<QStringList> rows;
    while (StandinStore::nextRow(q))
        rows << QStringList{q.value(0).toString(), readable(q.value(1).toString())};
    q.finish();
    return std::make_unique<ListCursor>(2, rows);
}

// A stored class whose id is its key properties joined by "||".
ClassDef& keyedClass(StandinRegistry& registry, const QString& name, const QString& table,
                     const QStringList& properties, const QStringList& keyProperties) {
    ClassDef& cls = registry.defineClass(name, table, properties, false);
    cls.idOf = [keyProperties](const StoredObject& o) {
        QStringList parts;
        for (const QString& p : keyProperties)
            parts << o.values.value(p);
        return parts.join(QStringLiteral("||"));
    };
    return cls;
}

// KkrSuche rows of suppliers ("L") or customers ("K"): 1 number, 2 short
// name (the first ten characters of the name's search key), 3 name and 5
// place in the ERP's 7-bit form, 4 post code.
QList<QStringList> partnerRows(StandinEngine& engine, const QString& sql,
                               const QVariantList& values, const QString& namePart) {
    const QString part = searchKey(namePart).trimmed();
    QSqlQuery& q = engine.exec(sql, values);
    QList<QStringList> rows;
    while (StandinStore::nextRow(q)) {
        const QString name = q.value(1).toString();
        const QString search = searchKey(readable(name));
        if (!part.isEmpty() && !search.contains(part))
            continue;
        rows << QStringList{q.value(0).toString(), search.left(10), name, q.value(2).toString(),
                            q.value(3).toString()};
    }
    q.finish();
    return rows;
}

} // namespace

namespace {

std::unique_ptr<QueryCursor> kkrSucheQuery(CallContext& ctx, const QStringList& a) {
    QList<QStringList> rows;
    if (a.value(1) == u"L")
        rows = partnerRows(
            ctx.engine,
            QStringLiteral("SELECT LNR, NAME, PLZ, ORT FROM vt_lieferant WHERE FIRMA=? AND "
                           "(KTOKREIS=? OR ?='') ORDER BY CAST(LNR AS INTEGER), LNR"),
            {a.value(0), a.value(3), a.value(3)}, a.value(2));
    else if (a.value(1) == u"K")
        rows = partnerRows(
            ctx.engine,
            QStringLiteral("SELECT KNR, NAME, PLZ, ORT FROM vt_kunde WHERE FIRMA=? AND "
                           "(?='' OR substr(KGRP,1,2)=?) AND substr(PLZ,1,length(?))=? "
                           "ORDER BY CAST(KNR AS INTEGER), KNR"),
            {a.value(0), a.value(3).left(2), a.value(3).left(2), a.value(4), a.value(4)},
            a.value(2));
    return std::make_unique<ListCursor>(erp::Windows::kKkrSuche.columnCount(), rows);
}

// GETARF(text, main group, goods group, supplier, department, active,
// released): starts the job's article search in its company and writes the
// first page; GETARN writes the next one.
void startArticleSearch(CallContext& ctx, const QStringList& args, QString& output) {
    // A refused start leaves no earlier search to go on with.
    ctx.job.cache().remove(kSearchKey);
    checkArguments(QStringLiteral("GETARF"), args, 7, 7);
    QStringList s(FieldCount);
    s[Company] = ctx.job.company();
    s[Text] = args[0].trimmed();
    s[MainGroup] = args[1].left(2);
    s[SubGroup] = args[2];
    s[Supplier] = args[3];
    s[Department] = args[4];
    s[Active] = args[5];
    s[Released] = args[6];
    s[More] = QStringLiteral("1");
    ctx.job.cache().insert(kSearchKey, s);
    output += nextPage(ctx);
}

void nextArticlePage(CallContext& ctx, const QStringList& args, QString& output) {
    checkArguments(QStringLiteral("GETARN"), args, 0, 0);
    output += nextPage(ctx);
}

// The combo boxes of the search dialog, "code text`code text`...": the main
// goods groups (codes ending in "00"), the goods groups (all, or those of a
// main group: the codes that begin with its first two digits) and the
// departments.
void mainGroupList(CallContext& ctx, const QStringList& args, QString& output) {
    checkArguments(QStringLiteral("HGRP"), args, 0, 0);
    output += comboList(ctx.engine,
                        QStringLiteral("SELECT CODE, BEZ FROM vt_parwarengruppe WHERE "
                                       "FIRMA=? AND CODE LIKE '%00' ORDER BY CODE"),
                        {ctx.job.company()});
}

void goodsGroupList(CallContext& ctx, const QStringList& args, QString& output) {
    checkArguments(QStringLiteral("UGRP"), args, 0, 1);
    const QString main = args.value(0).left(2);
    output += comboList(ctx.engine,
                        QStringLiteral("SELECT CODE, BEZ FROM vt_parwarengruppe WHERE "
                                       "FIRMA=? AND (?='' OR substr(CODE,1,length(?))=?) "
                                       "ORDER BY CODE"),
                        {ctx.job.company(), main, main, main});
}

void departmentList(CallContext& ctx, const QStringList& args, QString& output) {
    checkArguments(QStringLiteral("ABTNR"), args, 0, 0);
    output += comboList(ctx.engine,
                        QStringLiteral("SELECT CODE, BEZ FROM vt_parabteilung WHERE FIRMA=? "
                                       "ORDER BY CODE"),
                        {ctx.job.company()});
}

// "Liste"(company) of the customer groups and (company, kind) of the account
// groups: code, text.
std::unique_ptr<QueryCursor> customerGroupList(CallContext& ctx, const QStringList& a) {
    return codeRows(ctx,
                    QStringLiteral("SELECT CODE, BEZ FROM vt_parkundengruppen WHERE "
                                   "FIRMA=? ORDER BY CODE"),
                    {a.value(0)});
}

std::unique_ptr<QueryCursor> accountGroupList(CallContext& ctx, const QStringList& a) {
    return codeRows(ctx,
                    QStringLiteral("SELECT CODE, BEZ FROM vt_kontosammelkontokreis WHERE "
                                   "FIRMA=? AND ART=? ORDER BY CODE"),
                    {a.value(0), a.value(1)});
}

} // namespace

void RegisterLookupClasses(StandinRegistry& registry) {
    registry.store().execScript({QStringLiteral("CREATE INDEX IF NOT EXISTS vt_artikel_search ON "
                                                "vt_artikel(FIRMA, ") +
                                 orderKeySql() + QStringLiteral(", ARTNR)")});

    const std::pair<QString, RoutineFn> routines[] = {
        {erp::Routines::kGetarf, startArticleSearch}, {erp::Routines::kGetarn, nextArticlePage},
        {erp::Routines::kHgrp, mainGroupList},        {erp::Routines::kUgrp, goodsGroupList},
        {erp::Routines::kAbtnr, departmentList},
    };
    for (const auto& [label, routine] : routines)
        registry.defineRoutine(label, kRoutine, routine);

    // Customers of the ERP: id FIRMA||KNR; name and place in the 7-bit form,
    // KGRP the customer group, KTOKREIS the account group.
    const QStringList customer{QStringLiteral("FIRMA"),   QStringLiteral("KNR"),
                               QStringLiteral("NAME"),    QStringLiteral("ORT"),
                               QStringLiteral("PLZ"),     QStringLiteral("KGRP"),
                               QStringLiteral("KTOKREIS")};
    keyedClass(registry, erp::Data::kKunde, QStringLiteral("vt_kunde"), customer,
               {QStringLiteral("FIRMA"), QStringLiteral("KNR")});
    registry.store().execScript(
        {QStringLiteral("CREATE INDEX IF NOT EXISTS vt_kunde_firma ON vt_kunde(FIRMA, KNR)")});

    // Customer groups: id FIRMA||CODE; query "Liste"(company): code, text.
    keyedClass(registry, erp::KundenGruppen::kClass, QStringLiteral("vt_parkundengruppen"),
               {QStringLiteral("FIRMA"), QStringLiteral("CODE"), QStringLiteral("BEZ")},
               {QStringLiteral("FIRMA"), QStringLiteral("CODE")})
        .addQuery(erp::KundenGruppen::kListe, erp::KundenGruppen::kListe.columnList(),
                  customerGroupList);

    // Account groups of suppliers (ART "L") and customers ("K"): id
    // FIRMA||ART||CODE; query "Liste"(company, kind): code, text.
    keyedClass(registry, erp::KontoSammelKontoKreis::kClass,
               QStringLiteral("vt_kontosammelkontokreis"),
               {QStringLiteral("FIRMA"), QStringLiteral("ART"), QStringLiteral("CODE"),
                QStringLiteral("BEZ")},
               {QStringLiteral("FIRMA"), QStringLiteral("ART"), QStringLiteral("CODE")})
        .addQuery(erp::KontoSammelKontoKreis::kListe,
                  erp::KontoSammelKontoKreis::kListe.columnList(), accountGroupList);

    // VT.Windows "KkrSuche"(company, "L", name part, account group) and
    // (company, "K", name part, customer group, post code): suppliers or
    // customers whose name contains the part (as search keys), by number.
    ClassDef& windows = registry.extendClass(erp::Windows::kClass);
    AddQuery(windows, erp::Windows::kKkrSuche, kkrSucheQuery);
}
