#pragma once

#include <QList>
#include <QString>

// One row of the main window's list of supplier downloads.
struct DownloadRow {
    QString datum;      // yyyy-mm-dd
    QString personal;   // user code of the importer
    QString lnr;        // supplier number
    QString lname;      // supplier name
    QString positionen; // number of positions
    QString key;        // download key (hidden)
    // The six fields joined by line feed, as other windows read them.
    QString rowText() const;
};

// The downloads of the session's company, newest first (the reverse of the
// server's order). Errors are reported to the user; ok tells whether the
// list is complete.
QList<DownloadRow> LoadDownloadList(bool* ok = nullptr);

// Removes a download with its positions on the server. An empty key sends
// nothing. Returns false when the server call failed (already reported).
bool DeleteDownload(const QString& key);
