#include "CliSupport.h"

#include "shell/Downloads.h"

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& err() {
    static QTextStream s(stderr);
    return s;
}

bool findDownload(Connection& connection, const QString& key, PositionDownload* download) {
    bool ok = false;
    const QList<DownloadRow> rows = LoadDownloadList(connection, &ok);
    if (!ok)
        return false;
    *download = {};
    for (const DownloadRow& r : rows)
        if (r.key == key)
            *download = {r.key, r.lnr, r.lname, r.datum};
    return true;
}

bool openGrid(Connection& connection, const QString& key, PositionDownload* download,
              PositionGridModel& model) {
    return openDownload(connection, key, download) &&
           PositionLoad::loadGrid(connection, *download, model);
}

bool openDownload(Connection& connection, const QString& key, PositionDownload* download) {
    if (!findDownload(connection, key, download))
        return false;
    if (download->key.isEmpty()) {
        err() << "quendra-cli: Download " << key << " nicht gefunden\n";
        return false;
    }
    return true;
}

bool markPositions(PositionGridModel& model, const PositionDownload& download, const QString& ids) {
    for (const QString& id : ids.split(u',', Qt::SkipEmptyParts)) {
        int row = 0;
        while (row < model.size() && model.row(row).id != id.trimmed())
            ++row;
        if (row == model.size()) {
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
