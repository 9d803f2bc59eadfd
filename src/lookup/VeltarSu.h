#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class Connection;

// Searches for ERP articles, suppliers and customers on the server, and the
// lists their search dialogs offer. The dialogs show the hits through the
// models below.

struct PartnerHit {
    QString number;    // column 1
    QString shortName; // column 2
    QString name;      // column 3, readable
    QString postCode;  // column 4
    QString place;     // column 5, readable
};

constexpr int kMaxPartnerHits = 500;

// Supplier search: name part and account group ("1" when the group's first
// "|"-field is empty). At most 500 hits; a failing search keeps the hits read
// before the failure (and reports it).
// *ok (when given) false after a failure.
QList<PartnerHit> getlnrsu(Connection& connection, const QString& skbez, const QString& ssktok,
                           bool* ok = nullptr);

// Customer search: name part, customer group (its first two characters) and
// post code.
QList<PartnerHit> getknrsu(Connection& connection, const QString& skbez, const QString& skgrp,
                           const QString& plz, bool* ok = nullptr);

// ---------------------------------------------------------------------------
// Article search

// One hit: a record of the search's output split at the backquote.
struct ArticleHit {
    QString articleNumber; // field 1
    QString description;   // field 2
    QString supplier;      // field 3
};

constexpr int kMaxArticleHits = 10000;
// Records per page of the server's search.
constexpr int kArticlePage = 4;

// The criteria of the article search window, as its boxes show them.
struct ArticleCriteria {
    QString skbez;  // text
    QString shgrp;  // main group ("code text": the first word counts)
    QString sugrp;  // sub group
    QString slnr;   // supplier
    QString sabtnr; // department
    QString saktiv; // passed on as it is
    QString sgel;   // passed on as it is
};

// A text as an M string literal: in double quotes, each quote inside
// doubled, so the server reads exactly the text and never M code.
QString MQuoted(const QString& text);
// The first blank-separated word of a text ("1300 Dämmstoffe" gives "1300").
QString FirstWord(const QString& text);

// The article search: the first page runs the search with its criteria,
// further pages continue it on the server. Keeps at most 10,000 hits.
class ArticleSearch {
public:
    // The M command of a first page.
    explicit ArticleSearch(Connection& connection) : m_connection(connection) {}
    static QString firstCommand(const ArticleCriteria& criteria);

    // Forgets the hits: the next page is a first page again.
    void reset();
    // getarsu: the first page (no hits yet) with the criteria, else the next
    // page. False when the server call failed (the error was reported).
    // beforeAppend, when set, hears the rows (first, last) about to be added.
    bool getarsu(const ArticleCriteria& criteria,
                 const std::function<void(int, int)>& beforeAppend = {});

    const QList<ArticleHit>& hits() const { return m_hits; }
    int count() const { return int(m_hits.size()); }
    // The last page was full: the server may have more.
    bool more() const { return m_more; }
    // The row count of the list: the count, or the count × 1.5 while more
    // may come, so that a list scrolled to its end asks for them.
    int listRowCount() const;
    bool searching() const { return m_searching; }

private:
    Connection& m_connection;
    QList<ArticleHit> m_hits;
    bool m_more = false;
    bool m_searching = false;
};

// The list ARTSULI: the hits of an article search; asks the server for the
// next page when the view wants more rows (canFetchMore, fetchMore).
class ArticleHitModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ArtNr, Bezeichnung, Lieferant, ColumnCount };

    explicit ArticleHitModel(Connection& connection, QObject* parent = nullptr);

    // A new search: the first page with these criteria.
    bool search(const ArticleCriteria& criteria);
    const ArticleSearch& articleSearch() const { return m_search; }
    QString articleNumber(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    ArticleSearch m_search;
    ArticleCriteria m_criteria;
};

// The lists LNRSULI and KNRSULI: number, name, post code and place.
class PartnerHitModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Number, Name, PostCode, Place, ColumnCount };

    // numberCaption: "Lief.-Nr" or "Kd.-Nr".
    explicit PartnerHitModel(QString numberCaption, QObject* parent = nullptr);

    void setHits(QList<PartnerHit> hits);
    const QList<PartnerHit>& hits() const { return m_hits; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString m_numberCaption;
    QList<PartnerHit> m_hits;
};

// ---------------------------------------------------------------------------
// The search dialogs' lists from the server; each item "code text" (the
// account groups "code|text"). Empty after a failure (reported).

QStringList LoadMainGroups(Connection& connection);
QStringList LoadSubGroups(Connection& connection, const QString& mainGroup = QString());
QStringList LoadDepartments(Connection& connection);
QStringList LoadCustomerGroups(Connection& connection);
// kind "L" (suppliers) or "K" (customers).
QStringList LoadAccountGroups(Connection& connection, const QString& kind);
