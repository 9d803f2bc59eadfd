#include "VeltarSu.h"

#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/MCommands.h"

namespace {

QString readable(const QString& text) {
    return ConvertText(text, QStringLiteral("VELTAR"), false);
}

QList<PartnerHit> search(Connection& connection, const QString& part, const QStringList& args,
                         const QString& operation, bool* succeeded) {
    TraceLog(part, QStringLiteral("Start"), args.value(2), 40);
    QList<PartnerHit> hits;
    const bool ok = connection.call(operation, [&] {
        constexpr const erp::Query& q = WindowsClass::kKkrSuche;
        ResultSet rs = connection.client().resultSet(WindowsClass::kClass, q);
        rs.execute(args);
        while (hits.size() < kMaxPartnerHits && rs.next())
            hits.append(
                {rs.getData(erp::Column(q, u"Nummer")), rs.getData(erp::Column(q, u"Kurzname")),
                 readable(rs.getData(erp::Column(q, u"Name"))), rs.getData(erp::Column(q, u"PLZ")),
                 readable(rs.getData(erp::Column(q, u"Ort")))});
        rs.close();
    });
    TraceLog(part, ok ? QStringLiteral("Ende") : QStringLiteral("Ende mit Fehler"),
             QString::number(hits.size()), 40);
    if (succeeded)
        *succeeded = ok;
    return hits;
}

// Items written by an M command, each closed by a backquote.
QStringList routineList(Connection& connection, const QString& command) {
    CommandItems r = RunCommandItems(connection, command, u'`');
    if (r.failed)
        return {};
    r.items.removeAll(QString());
    return r.items;
}

// Rows of a list query: "code" + separator + "text" (the server sends the
// text readable); none after a failure.
QStringList queryList(Connection& connection, const QString& className, const QString& query,
                      const QStringList& args, const QString& operation, const QString& separator) {
    QStringList items;
    const bool ok = connection.call(operation, [&] {
        ResultSet rs = connection.client().resultSet(className, query);
        rs.execute(args);
        while (rs.next())
            items << rs.getData(1) + separator + rs.getData(2);
        rs.close();
    });
    return ok ? items : QStringList();
}

} // namespace

QList<PartnerHit> getlnrsu(Connection& connection, const QString& skbez, const QString& ssktok,
                           bool* ok) {
    // The first field of an empty group is empty, not the default: "1" then.
    QString group = Piece(ssktok, QStringLiteral("|"), 1);
    if (group.isEmpty())
        group = QStringLiteral("1");
    return search(connection, QStringLiteral("VeltarSU.getlnrsu"),
                  {Session().firma, QStringLiteral("L"), skbez, group},
                  QStringLiteral("VeltarSu.getlnrsu Suche Lieferantennummer"), ok);
}

QList<PartnerHit> getknrsu(Connection& connection, const QString& skbez, const QString& skgrp,
                           const QString& plz, bool* ok) {
    return search(connection, QStringLiteral("VeltarSU.getknrsu"),
                  {Session().firma, QStringLiteral("K"), skbez, skgrp.left(2), plz},
                  QStringLiteral("VeltarSu getknrsu Kundennummer Suche"), ok);
}

// ---------------------------------------------------------------------------

QString MQuoted(const QString& text) {
    QString t = text;
    t.replace(u'"', QStringLiteral("\"\""));
    return u'"' + t + u'"';
}

QString FirstWord(const QString& text) {
    return text.trimmed().section(u' ', 0, 0);
}

QString ArticleSearch::firstCommand(const ArticleCriteria& c) {
    const QStringList args{MQuoted(c.skbez),
                           MQuoted(FirstWord(c.shgrp)),
                           MQuoted(FirstWord(c.sugrp)),
                           MQuoted(FirstWord(c.slnr)),
                           MQuoted(FirstWord(c.sabtnr)),
                           MQuoted(c.saktiv),
                           MQuoted(c.sgel)};
    return erp::Routines::kArticleSearch.command() + u'(' + args.join(u',') + u')';
}

void ArticleSearch::reset() {
    m_hits.clear();
    m_more = false;
}

int ArticleSearch::listRowCount() const {
    return m_more ? count() * 3 / 2 : count();
}

bool ArticleSearch::getarsu(const ArticleCriteria& criteria,
                            const std::function<void(int, int)>& beforeAppend) {
    const QString part = QStringLiteral("VeltarSU.getarsu");
    TraceLog(part, QStringLiteral("Start"), criteria.skbez, 40);
    m_searching = true;
    const bool first = m_hits.isEmpty();
    CommandOutput output;
    {
        BusyPointer busy;
        output = RunCommand(m_connection,
                            first ? firstCommand(criteria) : erp::Routines::kArticlePage.command());
    }
    const bool failed = output.failed;
    QList<ArticleHit> page;
    bool full = false;
    if (!failed) {
        const QStringList pieces = output.text.split(QChar(0xFF));
        full = true;
        for (int i = 0; i < kArticlePage; ++i) {
            const QString piece = pieces.value(i);
            if (piece.isEmpty()) {
                full = false;
                break;
            }
            const QStringList f = piece.split(u'`');
            page.append({f.value(0), f.value(1), f.value(2)});
        }
    }
    // Never beyond the table's last entry.
    const int room = kMaxArticleHits - count();
    if (page.size() > room) {
        page = page.mid(0, room);
    }
    if (!page.isEmpty()) {
        if (beforeAppend)
            beforeAppend(count(), count() + int(page.size()) - 1);
        m_hits << page;
    }
    m_more = !failed && full && count() < kMaxArticleHits;
    m_searching = false;
    TraceLog(part, QStringLiteral("Ende"), QString::number(count()), 40);
    return !failed;
}

ArticleHitModel::ArticleHitModel(Connection& connection, QObject* parent)
    : QAbstractTableModel(parent), m_search(connection) {}

bool ArticleHitModel::search(const ArticleCriteria& criteria) {
    beginResetModel();
    m_search.reset();
    m_criteria = criteria;
    endResetModel();
    bool inserting = false;
    const bool ok = m_search.getarsu(m_criteria, [&](int first, int last) {
        beginInsertRows(QModelIndex(), first, last);
        inserting = true;
    });
    if (inserting)
        endInsertRows();
    return ok;
}

QString ArticleHitModel::articleNumber(int row) const {
    return m_search.hits().value(row).articleNumber;
}

int ArticleHitModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_search.count();
}

int ArticleHitModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ArticleHitModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_search.count() || role != Qt::DisplayRole)
        return {};
    const ArticleHit& h = m_search.hits()[index.row()];
    switch (index.column()) {
    case ArtNr:
        return h.articleNumber;
    case Bezeichnung:
        return h.description;
    case Lieferant:
        return h.supplier;
    default:
        return {};
    }
}

QVariant ArticleHitModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        static const QStringList headers{QStringLiteral("Art.-Nr."), QStringLiteral("Bezeichnung"),
                                         QStringLiteral("Lief.-Nr")};
        return headers.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool ArticleHitModel::canFetchMore(const QModelIndex& parent) const {
    // No second fetch while a page is on its way.
    return !parent.isValid() && m_search.more() && !m_search.searching();
}

void ArticleHitModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    bool inserting = false;
    m_search.getarsu(m_criteria, [&](int first, int last) {
        beginInsertRows(QModelIndex(), first, last);
        inserting = true;
    });
    if (inserting)
        endInsertRows();
}

PartnerHitModel::PartnerHitModel(QString numberCaption, QObject* parent)
    : QAbstractTableModel(parent), m_numberCaption(std::move(numberCaption)) {}

void PartnerHitModel::setHits(QList<PartnerHit> hits) {
    beginResetModel();
    m_hits = std::move(hits);
    endResetModel();
}

int PartnerHitModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_hits.size());
}

int PartnerHitModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PartnerHitModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_hits.size() || role != Qt::DisplayRole)
        return {};
    const PartnerHit& h = m_hits[index.row()];
    switch (index.column()) {
    case Number:
        return h.number;
    case Name:
        return h.name;
    case PostCode:
        return h.postCode;
    case Place:
        return h.place;
    default:
        return {};
    }
}

QVariant PartnerHitModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        const QStringList headers{m_numberCaption, QStringLiteral("Name"), QStringLiteral("PLZ"),
                                  QStringLiteral("Ort")};
        return headers.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

QStringList LoadMainGroups(Connection& connection) {
    return routineList(connection, erp::Routines::kMainGroups.command());
}

QStringList LoadSubGroups(Connection& connection, const QString& mainGroup) {
    const QString main = FirstWord(mainGroup);
    return routineList(connection, main.isEmpty() ? erp::Routines::kGoodsGroups.command()
                                                  : erp::Routines::kGoodsGroups.command() + u'(' +
                                                        MQuoted(main) + u')');
}

QStringList LoadDepartments(Connection& connection) {
    return routineList(connection, erp::Routines::kDepartments.command());
}

QStringList LoadCustomerGroups(Connection& connection) {
    return queryList(connection, KundenGruppenClass::kClass, KundenGruppenClass::kListe,
                     {Session().firma}, QStringLiteral("FMKnrsu Kundengruppen lesen"),
                     QStringLiteral(" "));
}

QStringList LoadAccountGroups(Connection& connection, const QString& kind) {
    return queryList(connection, KontoSammelKontoKreisClass::kClass,
                     KontoSammelKontoKreisClass::kListe, {Session().firma, kind},
                     QStringLiteral("FMLnrsu Kontengruppen lesen"), QStringLiteral("|"));
}
