#include "CliSupport.h"

#include "positions/PositionEdit.h"
#include "shell/Downloads.h"

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& err() {
    static QTextStream s(stderr);
    return s;
}

bool findDownload(const QString& key, PositionDownload* download) {
    bool ok = false;
    const QList<DownloadRow> rows = LoadDownloadList(&ok);
    if (!ok)
        return false;
    *download = {};
    for (const DownloadRow& r : rows)
        if (r.key == key)
            *download = {r.key, r.lnr, r.lname, r.datum};
    return true;
}

bool openDownload(const QString& key, PositionDownload* download) {
    if (!findDownload(key, download))
        return false;
    if (download->key.isEmpty()) {
        err() << "quendra-cli: Download " << key << " nicht gefunden\n";
        return false;
    }
    return true;
}

bool markPositions(PositionGridModel& model, const PositionDownload& download, const QString& ids) {
    PositionLists lists;
    PositionEditor rows(model, lists, download);
    for (const QString& id : ids.split(u',', Qt::SkipEmptyParts)) {
        const int row = rows.rowOf(id.trimmed());
        if (row < 0) {
            err() << "quendra-cli: Position " << id << " nicht im Download " << download.key
                  << "\n";
            return false;
        }
        model.setMarked(row, true);
    }
    return true;
}

bool quickFiltersOf(const QCommandLineParser& parser, PositionFilter* filter) {
    static const QStringList names{
        QStringLiteral("ohne-artnr"),     QStringLiteral("mit-artnr"),
        QStringLiteral("spanne-negativ"), QStringLiteral("ek-hoeher"),
        QStringLiteral("ek-niedriger"),   QStringLiteral("nicht-verbucht")};
    for (const QString& name : parser.values(QStringLiteral("filter"))) {
        const auto quick = QuickFilterOf(name);
        if (!quick || !names.contains(name)) {
            err() << "quendra-cli: unknown filter " << name << " ("
                  << names.join(QStringLiteral(", ")) << ")\n";
            return false;
        }
        filter->set(*quick, true);
    }
    return true;
}
