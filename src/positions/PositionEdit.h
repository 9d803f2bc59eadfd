#pragma once

#include "positions/PositionLoad.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

class Connection;

// What an edit asks the buyer: the factor of a unit change ("Eingabe
// Faktor", "Eingabe VRM", "Eingabe EVM"). The window asks with an input
// box, the command-line tool takes the answers given with --input.
class EditPrompts {
public:
    virtual ~EditPrompts() = default;
    // The number as entered (German form); nullopt when cancelled.
    virtual std::optional<QString> askNumber(const QString& prompt, const QString& proposal) = 0;
};

// Answers given in advance, in order; none left: cancelled.
class ListedPrompts : public EditPrompts {
public:
    explicit ListedPrompts(QStringList answers) : m_answers(std::move(answers)) {}
    std::optional<QString> askNumber(const QString& prompt, const QString& proposal) override;
    QStringList asked; // the prompts, in order

private:
    QStringList m_answers;
};

// The messages of the cell checks.
inline const QString kVpeIsVkeMessage = QStringLiteral("VPI und VKE sind gleich");
inline const QString kVreIsVkeMessage = QStringLiteral("VRE und VKE sind gleich");
inline const QString kEanLengthMessage = QStringLiteral("Bestell-EAN hat falsche Länge");
inline const QString kEbeMessage = QStringLiteral("EBE kann nur VKE oder VPE sein");
inline const QString kBadDateMessage = QStringLiteral("Kein gültiges Datum");
inline const QString kNotStoredMessage = QStringLiteral("Artikel nicht gespeichert");
inline const QString kAlreadyAssignedMessage = QStringLiteral("Artikel bereits zugeordnet");

// What an article assignment came to.
struct Assignment {
    enum class Outcome { Assigned, NotStored, AlreadyAssigned };
    Outcome outcome = Outcome::NotStored;
    int otherRow = -1; // AlreadyAssigned: the row that has the article
    // The window's message: "" when assigned.
    QString message() const;
};
inline const QString kCancelledMessage = QStringLiteral("Eingabe abgebrochen");
inline const QString kDiscountRangeMessage =
    QStringLiteral("Ein Rabatt liegt zwischen 0 und 100 %");

// The cell editing of the positions grid: every edit is checked for its
// column, written back to the position at once (open by id, set, sys_save,
// sys_close) with every cell that depends on it, and only then shown. The
// window, the command-line tool and the tests edit through this class.
class PositionEditor {
public:
    PositionEditor(Connection& connection, PositionGridModel& model, PositionLists& lists,
                   PositionDownload download);

    // The supplier's rounding default ("Rundung" of quendrap.defaults).
    bool loadDefaults();

    // Before a cell of the row is edited: the row's own lists that the
    // column offers (list 11 with the row's VKE and VPE for "BeEinh", list
    // 10 from getekdat for "EK-Dat ab", list 9 from getvkdat for "VK-Dat
    // ab"); all three for column -1.
    void beginEdit(int row, int column = -1);
    // The cell (row, column) as the buyer typed it. False when the edit was
    // rejected (its message shown, nothing written) or could not be stored
    // (the error report shown, the cell as before).
    bool edit(int row, int column, const QString& value, EditPrompts& prompts);
    // The message of the last rejected edit; "" after a success.
    QString message() const { return m_message; }

    // The article assignment of a row: stored and the row rebuilt, refused
    // by the server, or another row has the article already (nothing
    // sent). An empty article removes the assignment.
    Assignment assign(const QString& article, int row, const QString& previous);
    // The same as a number: -1 stored, -2 refused, 0 or more the other row.
    int anrzuord(const QString& article, int row, const QString& previous);
    // Reads the row anew from the server (query "pos" by id), flags too.
    bool rebuildRow(int row);

    // A double-click on a row of the candidate list with the grid's current
    // row: the article is assigned (the previous number passed is the
    // article again), its "Zugeordnet" set and the next row becomes
    // current; else the message, and for an article another row has, that
    // row. Returns the grid row to make current (-1: unchanged). nextRow is
    // the row that follows the current one as the buyer sees the grid (a
    // sort or a filter); -2: the next in load order; -1: none, the current
    // row stays.
    int assignCandidate(CandidateListModel& candidates, int candidateRow, int currentRow,
                        int nextRow = -2);
    // The grid row with the article of a candidate row (a click); -1 none.
    int rowOfCandidate(const CandidateListModel& candidates, int candidateRow) const;
    // The columns "Mehrfachsetzen" offers: those a buyer can edit and that
    // are written back, the article number excepted (it is unique per row).
    static QList<int> BatchColumns();

    // "Mehrfachsetzen": the column set to value on each of the rows, each
    // through the checks and write-back of a single edit; a prompt is asked
    // once. Returns the rows that were left as they were, with why.
    QList<QPair<int, QString>> setOnRows(const QList<int>& rows, int column, const QString& value,
                                         EditPrompts& prompts);

    // The row of a position id; -1 when the grid has none.
    int rowOf(const QString& positionId) const;
    // The first row other than skipRow that has the article; -1 for none
    // (and for no article).
    int rowOfArticle(const QString& article, int skipRow = -1) const;
    // Whether messages go to the screen (a batch collects them instead).
    void setQuiet(bool quiet) { m_quiet = quiet; }

private:
    using Changes = QList<QPair<int, QString>>; // column, value in the server's form

    bool reject(const QString& message);
    // The value of a column as typed, checked; nullopt (with the message
    // set) when rejected.
    std::optional<QString> checked(int row, int column, const QString& typed);
    // The cells that follow from the changes (prices, goods group data).
    bool addDependents(int row, Changes& changes);
    // getekdat1 and getvkdat1 for one row, inside a server call.
    std::pair<bool, bool> askFlags(const QString& article, const QString& group,
                                   const QString& ekDate, const QString& vkDate);
    bool writeBack(int row, const Changes& changes);
    void refreshFlags(int row);

    Connection& m_connection;
    PositionGridModel& m_model;
    PositionLists& m_lists;
    PositionDownload m_download;
    double m_rounding = 0.01;
    QString m_message;
    bool m_quiet = false;
};

// A number as the buyer types it: the German form ("1.234,5"), or a single
// decimal point without a comma ("12.5"); false when it is none.
bool ParseTypedNumber(const QString& text, double* value);
// The decimals the buyer typed, by the same reading.
int TypedDecimals(const QString& text);
