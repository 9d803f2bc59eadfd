#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

class Connection;

// One row of the main window's list of supplier downloads: what other
// windows get of the selected download.
struct DownloadRow {
    QString datum;      // yyyy-mm-dd
    QString personal;   // user code of the importer
    QString lnr;        // supplier number
    QString lname;      // supplier name
    QString positionen; // number of positions
    QString key;        // download key (hidden)
    // The six fields joined by line feed, the form the row has always been
    // handed on in.
    QString rowText() const;
};

// The downloads of the session's company, newest first (the reverse of the
// server's order). Errors are reported to the user; ok tells whether the
// list is complete.
QList<DownloadRow> LoadDownloadList(Connection& connection, bool* ok = nullptr);

// Removes a download with its positions on the server. An empty key sends
// nothing. Returns false when the server call failed (already reported).
bool DeleteDownload(Connection& connection, const QString& key);

// The main window's list "lilief": one row per download, newest first; the
// key is not a column but part of the row (row(), KeyRole).
class DownloadListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Datum, Personal, Lnr, Lname, Positionen, ColumnCount };
    // The download key of a row, from any column.
    static constexpr int KeyRole = Qt::UserRole;

    explicit DownloadListModel(Connection& connection, QObject* parent = nullptr);

    // Reads the list from the server; the rows stay as they were when the
    // server call fails (reported). Returns whether it succeeded.
    bool reload();
    void setRows(QList<DownloadRow> rows);
    // The row; an empty one outside the list.
    DownloadRow row(int row) const { return m_rows.value(row); }
    // Deletes the download of a row on the server and takes the row out of
    // the list (also when the server refused: the next reload brings it
    // back). A row without key sends nothing.
    void deleteRow(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    Connection& m_connection;
    QList<DownloadRow> m_rows;
};
