#pragma once

#include "positions/PositionLoad.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QMap>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class Connection;

// The purchase discount groups of a download (class quendrap.ekgrp): the
// supplier's group, the ERP group it maps to, description, first article,
// validity date and four discount rates, one row per group.

struct DiscountGroupRow {
    QString id;             // object id of the quendrap.ekgrp object
    QStringList cells;      // the nine cell texts; "Datum ab" is kept in date
    QDate date;             // "Datum ab"; null when the group has none
    QString dateText;       // a server date that is no date, kept as it came
    bool green = false;     // the server's field 11 is 0
    bool highlight = false; // cells 4 to 8 in style 1 (tstdatum answered 0)
};

class DiscountGroupModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Rabgr,
        RabgrVeltar,
        Bezeichnung,
        ErsterArtikel,
        DatumAb,
        Rab1,
        Rab2,
        Rab3,
        Rab4,
        ColumnCount
    };
    enum Role {
        StyleRole = Qt::UserRole, // int: 1 the highlight style, else 0
        RowKeyRole,               // the object id
        GreenRole,                // bool: the row is green
    };

    explicit DiscountGroupModel(QObject* parent = nullptr);

    static QStringList headers();

    void setRows(QVector<DiscountGroupRow> rows);
    const DiscountGroupRow& row(int row) const { return m_rows[row]; }
    int size() const { return int(m_rows.size()); }
    // The cell as the grid shows it ("Datum ab" as dd.mm.yyyy).
    QString cellText(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    void setDate(int row, const QDate& date);
    void setDateText(int row, const QString& text);
    void setHighlight(int row, bool on);
    int cellStyle(int row, int column) const;

    // Called by setData() with the typed text; true when the edit is taken.
    std::function<bool(int row, int column, const QString& text)> editHandler;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    QVector<DiscountGroupRow> m_rows;
};

// "Datum ab" as typed: the 3rd and 6th characters are separators (any
// character), day, month and a two- or four-digit year; nullopt for a text
// shorter than 6 characters or no valid date.
std::optional<QDate> ParseGroupDate(const QString& text);

inline const QString kNoValidDateMessage = QStringLiteral("Kein gültiges Datum");
inline const QString kReleaseQuestion =
    QStringLiteral("Ekgruppen freigeben und in Veltar verwenden");

// "Quendra Preisdaten - Rabattgruppen   " with supplier number and name.
QString DiscountGroupTitle(const PositionDownload& download);

// The work of the discount group window on its model: load, the checks of
// an edit, a new date for all groups, saving and releasing. Server errors
// go to the error report; the functions return false then.
class DiscountGroupEditor {
public:
    // Takes the model's edits for its lifetime.
    DiscountGroupEditor(Connection& connection, DiscountGroupModel& model,
                        PositionDownload download);
    ~DiscountGroupEditor();
    DiscountGroupEditor(const DiscountGroupEditor&) = delete;
    DiscountGroupEditor& operator=(const DiscountGroupEditor&) = delete;

    // The groups of the download (query "Liste"); without a download key
    // the grid stays empty.
    bool load();
    // An edit of a cell as typed: "Datum ab" is checked ("Kein gültiges
    // Datum", nothing sent) and tested with tstdatum; a rate must be empty
    // or a number. False when the edit is not taken.
    bool edit(int row, int column, const QString& text);
    // "Setzen": the date into every row, each tested with tstdatum.
    bool setAllDates(const QDate& date);
    // "Speichern": speich for every row.
    bool save();
    // "Verbuchen": save, then the release question, then verbuch with "J"
    // or "N". release answers the question (the window asks the buyer).
    bool post(const std::function<bool()>& release);
    // The answer of the last verbuch.
    QString lastAnswer() const { return m_answer; }
    // Edits refused so far (checks or a failed tstdatum): a window that
    // commits an open edit before saving sees whether it was taken.
    int refusals() const { return m_refusals; }

private:
    bool check(int row, int column, const QString& text);
    bool testDate(int row, const QDate& date);

    Connection& m_connection;
    DiscountGroupModel& m_model;
    PositionDownload m_download;
    QString m_answer;
    int m_refusals = 0;
};

// The rates a supplier's delivery gives its discount groups (the .RAB file
// of a DATANORM delivery: group -> rates in the ERP's number form) typed
// into the download's groups of those codes and saved, not released, as
// the discount group window does. The number of groups that took them; -1
// when loading or saving failed (reported). A surcharge is no rate of
// these groups and is left out.
int TakeDeliveryRates(Connection& connection, const PositionDownload& download,
                      const QMap<QString, QStringList>& rates);

// The release question as the program asks it: Yes and No.
bool AskRelease();
