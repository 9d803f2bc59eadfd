// quendra-cli search-articles, search-suppliers, search-customers and
// ean-match: the search dialogs and the EAN/price match window without a
// display.
#include "CliSupport.h"

#include "import/EanMatch.h"
#include "lookup/VeltarSu.h"

namespace {

QString field(QString text) {
    return text.replace(u'\t', u' ').replace(u'\n', u' ');
}

void printPartners(const QList<PartnerHit>& hits) {
    for (const PartnerHit& h : hits)
        out() << field(h.number) << '\t' << field(h.shortName) << '\t' << field(h.name) << '\t'
              << field(h.postCode) << '\t' << field(h.place) << '\n';
    out().flush();
}

} // namespace

void addLookupOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("text"),
                      QStringLiteral("search-articles: the text; positions: only rows holding it."),
                      QStringLiteral("T")});
    parser.addOption({QStringLiteral("hgrp"), QStringLiteral("search-articles: main group."),
                      QStringLiteral("G")});
    parser.addOption({QStringLiteral("ugrp"), QStringLiteral("search-articles: sub group."),
                      QStringLiteral("G")});
    parser.addOption({QStringLiteral("department"), QStringLiteral("search-articles: department."),
                      QStringLiteral("D")});
    parser.addOption({QStringLiteral("active"),
                      QStringLiteral("search-articles: J only active, N only inactive."),
                      QStringLiteral("A")});
    parser.addOption({QStringLiteral("gel"),
                      QStringLiteral("search-articles: J only released, N only not released."),
                      QStringLiteral("G")});
    parser.addOption({QStringLiteral("max"),
                      QStringLiteral("search-articles: hits at most (10000)."), QStringLiteral("N"),
                      QString::number(kMaxArticleHits)});
    parser.addOption({QStringLiteral("group"),
                      QStringLiteral("search-suppliers: account group; search-customers: "
                                     "customer group."),
                      QStringLiteral("G")});
    parser.addOption({QStringLiteral("plz"), QStringLiteral("search-customers: post code."),
                      QStringLiteral("P")});
}

int runSearchArticles(Connection& connection, const QStringList& args,
                      const QCommandLineParser& parser) {
    bool ok = false;
    const int max = parser.value(QStringLiteral("max")).toInt(&ok);
    if (!args.isEmpty() || !ok || max < 0)
        return printUsage(u"search-articles");
    const ArticleCriteria criteria{
        parser.value(QStringLiteral("text")),       parser.value(QStringLiteral("hgrp")),
        parser.value(QStringLiteral("ugrp")),       parser.value(QStringLiteral("supplier")),
        parser.value(QStringLiteral("department")), parser.value(QStringLiteral("active")),
        parser.value(QStringLiteral("gel"))};
    // Page after page, as a list scrolled to its end asks for them.
    ArticleSearch search(connection);
    bool read = true;
    do
        read = search.getarsu(criteria);
    while (read && search.more() && search.count() < max);
    // What was read before a failure is printed too.
    const QList<ArticleHit>& hits = search.hits();
    for (int i = 0; i < hits.size() && i < max; ++i)
        out() << field(hits[i].articleNumber) << '\t' << field(hits[i].description) << '\t'
              << field(hits[i].supplier) << '\n';
    out().flush();
    return read ? 0 : 1;
}

int runSearchSuppliers(Connection& connection, const QStringList& args,
                       const QCommandLineParser& parser) {
    if (args.size() != 1)
        return printUsage(u"search-suppliers");
    bool ok = false;
    printPartners(getlnrsu(connection, args[0], parser.value(QStringLiteral("group")), &ok));
    return ok ? 0 : 1;
}

int runSearchCustomers(Connection& connection, const QStringList& args,
                       const QCommandLineParser& parser) {
    if (args.size() != 1)
        return printUsage(u"search-customers");
    bool ok = false;
    printPartners(getknrsu(connection, args[0], parser.value(QStringLiteral("group")),
                           parser.value(QStringLiteral("plz")), &ok));
    return ok ? 0 : 1;
}

int runEanMatch(Connection& connection, const QStringList& args, bool post) {
    if (args.size() != 2 || args[0].isEmpty())
        return printUsage(u"ean-match");
    PositionDownload download;
    if (!openDownload(connection, args[0], &download))
        return 1;
    QList<EanMatchRow> rows;
    if (!ReadEanMatchFile(connection, args[1], download.key, &rows))
        return 1;
    for (const EanMatchRow& r : rows)
        out() << field(r.articleNumber) << '\t' << field(r.description) << '\t' << field(r.ean)
              << '\t' << field(r.positionDescription) << '\n';
    out().flush();
    if (post && !PostEanMatch(connection, rows, download))
        return 1;
    return 0;
}
