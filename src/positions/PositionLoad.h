#pragma once

#include "base/PositionDownload.h"
#include "positions/PositionGridModel.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <array>

class Connection;

// The drop-down lists 1 to 13 of the positions grid. An item's columns are
// one text, separated by line feeds; the first column is the code a cell
// takes.
class PositionLists {
public:
    static constexpr int kLists = 13;

    PositionLists();
    // Empties every list and puts in what every opening starts with: the
    // empty item of lists 7 and 13.
    void reset();
    // One row "group|code|text" of the getcombo list: groups 1, 2, 3, 4, 7,
    // 12 and 13 add "code LF text", group 5 adds "text LF text %"; other
    // groups are skipped. Returns whether the row was taken.
    bool addComboRow(const QString& row);
    // The fixed items of lists 6 ("N" before "J") and 8 ("N" before "%").
    void addFixedItems();

    const QStringList& items(int list) const { return m_items[size_t(list - 1)]; }
    QStringList& items(int list) { return m_items[size_t(list - 1)]; }
    static QStringList headers(int list);
    // Whether code is the first column of an item of the list.
    bool contains(int list, const QString& code) const;

private:
    std::array<QStringList, kLists> m_items;
};

// The candidate list "libm" ("Veltar Artikeldaten"): the ERP articles of the
// download's supplier, one row per article with five columns.
class CandidateListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { BestNr, ArtNr, Bezeichnung, Zugeordnet, Aktiv, ColumnCount };

    explicit CandidateListModel(QObject* parent = nullptr);
    // Rows as the server delivers them: five columns joined by line feed.
    void setRows(QStringList rows);
    QString rowText(int row) const { return m_rows.value(row); }
    // Marks the article of the row as assigned ("Zugeordnet" "J"), locally.
    void setAssigned(int row);
    // An assignment of the grid changed from one article to another (either
    // may be empty): the new one is marked assigned; the old one loses its
    // mark unless another position still has it. Locally, like setAssigned.
    void assignmentChanged(const QString& previous, const QString& article,
                           bool previousStillAssigned);
    // The row of an article number; -1 none.
    int rowOfArticle(const QString& article) const;
    QString cell(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList m_rows;
};

// Loads the positions of a download into the grid, as the window and the
// command-line tool do. Server errors are reported through the error report;
// the functions return false then, with the rows read so far kept.
class PositionLoad {
public:
    // The lists from getcombo (through VT.XW "Liste") and the fixed items.
    static bool loadLists(Connection& connection, const QString& supplier, PositionLists& lists);
    // The grid: the rows of the query "pos", and for each row the EK date
    // flag (getekdat1) and, for an assigned position, the VK date flag
    // (getvkdat1). The per-row calls are kept in flight; pending events are
    // processed every 10 rows, and the rows read reach the model in time
    // slices (the first firstRows at once, then every showIntervalMs).
    // When stop becomes true while the load processes events (the window is
    // closed), the load ends after the rows read so far.
    static bool loadGrid(Connection& connection, const PositionDownload& download,
                         PositionGridModel& model, const bool* stop = nullptr);
    // The candidate list from getposvt (through VT.XW "Liste").
    static bool loadCandidates(Connection& connection, const PositionDownload& download,
                               CandidateListModel& list);
    // The rows of VT.XW "Liste" for an expression (column 1 of each row);
    // none for an empty expression. Inside a server call; throws its error.
    static QStringList listRows(Connection& connection, const QString& expression);

    // How many rows of "pos" one round trip fetches; how many per-row calls
    // may be in flight.
    static inline int batchRows = 2000;
    static inline int pipelineDepth = 256;
    // The rows shown at once at the start of a load, and how often the rows
    // read since are handed to the model.
    static inline int firstRows = 50;
    static inline int showIntervalMs = 100;
};

// The caption of the positions window for a download.
QString PositionWindowCaption(const PositionDownload& download);
