// quendra-cli post and ekgroups: the posting window and the discount group
// window without a display.
#include "CliSupport.h"
#include "conditions/DiscountGroups.h"
#include "conditions/Posting.h"
#include "server/Connection.h"
#include "server/ErrorReport.h"

#include <QSet>
#include <algorithm>

void addConditionOptions(QCommandLineParser& parser) {
    parser.addOption(
        {QStringLiteral("all"), QStringLiteral("post: every position, marked or not.")});
    parser.addOption(
        {QStringLiteral("marked"),
         QStringLiteral("post: mark these positions (\"Nur makierte\" stays checked)."),
         QStringLiteral("POSID,...")});
    parser.addOption(
        {QStringLiteral("options"),
         QStringLiteral("post: the checked options by control name (chvorhupd, chneu, "
                        "chstamm, chfreigart, chfreig, chbez, kondanl, ekanl, vkanl)."),
         QStringLiteral("NAME,...")});
    parser.addOption({QStringLiteral("preview"),
                      QStringLiteral("post: print what the posting would touch; post nothing.")});
    parser.addOption({QStringLiteral("set"),
                      QStringLiteral("ekgroups: edit a cell, as typed (repeatable)."),
                      QStringLiteral("ID:COL=VALUE")});
    parser.addOption({QStringLiteral("date"),
                      QStringLiteral("ekgroups: \"Setzen\" with this date for all groups."),
                      QStringLiteral("DD.MM.YYYY")});
    parser.addOption({QStringLiteral("save"), QStringLiteral("ekgroups: \"Speichern\".")});
    parser.addOption({QStringLiteral("post"),
                      QStringLiteral("ekgroups: \"Verbuchen\", releasing with J or not with N."),
                      QStringLiteral("J|N")});
}

namespace {

// Whether every taken position of the posting is still on the server; the
// count of those that are not goes to standard error.
bool postedPositionsStillThere(Connection& connection, const PositionDownload& download,
                               const PositionGridModel& model, const QList<int>& taken) {
    PositionDownload now;
    if (!findDownload(connection, download.key, &now))
        return false;
    QSet<QString> ids;
    if (!now.key.isEmpty()) {
        PositionGridModel after;
        if (!PositionLoad::loadGrid(connection, now, after))
            return false;
        for (int r = 0; r < after.size(); ++r)
            ids.insert(after.row(r).id);
    }
    int gone = 0;
    for (int r : taken)
        gone += ids.contains(model.row(r).id) ? 0 : 1;
    if (gone == 0)
        return true;
    if (now.key.isEmpty())
        err() << "quendra-cli: Download " << download.key
              << " wurde während des Verbuchens gelöscht: " << gone << " von " << taken.size()
              << " Positionen nicht verbucht\n";
    else
        err() << "quendra-cli: " << gone << " von " << taken.size()
              << " Positionen wurden während des Verbuchens gelöscht und sind nicht verbucht\n";
    return false;
}

} // namespace

int runPost(Connection& connection, const QStringList& args, const QCommandLineParser& parser) {
    const bool all = parser.isSet(QStringLiteral("all"));
    const bool marked = parser.isSet(QStringLiteral("marked"));
    if (args.size() != 1 || args[0].isEmpty() || (all && marked))
        return printUsage(u"post");
    QString unknown;
    const auto options =
        PostingOptions::fromNames(parser.value(QStringLiteral("options")), &unknown);
    if (!options) {
        err() << "quendra-cli: unknown option " << unknown << " ("
              << PostingOptions::names().join(QStringLiteral(", ")) << ")\n";
        return 2;
    }
    PositionDownload download;
    PositionGridModel model;
    if (!openGrid(connection, args[0], &download, model))
        return 1;
    if (marked && !markPositions(model, download, parser.value(QStringLiteral("marked"))))
        return 1;
    // Without --all "Nur makierte" is checked, as the window starts.
    const bool onlyMarked = !all;
    if (parser.isSet(QStringLiteral("preview"))) {
        PostingPreview preview = PostingPreview::of(model, onlyMarked);
        preview.deletedReported = DeletedReported(connection, download.key);
        for (const QString& line : preview.lines())
            out() << line << '\n';
        out().flush();
        return 0;
    }
    // Without an option the ERP may create or change nothing: nothing would
    // be posted.
    if (std::none_of(options->on.begin(), options->on.end(), [](bool on) { return on; })) {
        err() << "quendra-cli: post without --options posts nothing ("
              << PostingOptions::names().join(QStringLiteral(", ")) << ")\n";
        return 2;
    }
    PostingRun run(connection);
    run.onlyMarked = [onlyMarked] { return onlyMarked; };
    run.answered = [&](int row, const QString& answer) {
        QString text = answer;
        text.replace(u'\t', u' ').replace(u'\n', u' ');
        out() << model.row(row).id << '\t' << text << '\n';
    };
    QList<int> taken;
    for (int r = 0; r < model.size(); ++r)
        if (PostingTakesRow(model.row(r), onlyMarked))
            taken << r;
    const bool ok = run.run(model, PostingContext::of(download), *options);
    out().flush();
    if (!ok) {
        // The position whose call failed on the way may be posted all the
        // same.
        if (run.failedRow() >= 0 && OutcomeUnknown(connection.lastReportedError()))
            err() << "Position " << model.row(run.failedRow()).id << ": Ergebnis unbekannt\n";
        return 1;
    }
    // Positions that went while the posting ran (another job deleted the
    // download or them) were not posted.
    return postedPositionsStillThere(connection, download, model, taken) ? 0 : 1;
}

namespace {

// "ID:COL=VALUE"; false when it is not of that form.
bool parseSet(const QString& text, QString* id, int* column, QString* value) {
    const qsizetype colon = text.indexOf(u':');
    const qsizetype equals = text.indexOf(u'=', colon + 1);
    if (colon <= 0 || equals < 0)
        return false;
    bool ok = false;
    *id = text.left(colon);
    *column = text.mid(colon + 1, equals - colon - 1).toInt(&ok);
    *value = text.mid(equals + 1);
    return ok && *column >= 0 && *column < DiscountGroupModel::ColumnCount;
}

} // namespace

int runEkGroups(Connection& connection, const QStringList& args, const QCommandLineParser& parser) {
    const bool save = parser.isSet(QStringLiteral("save"));
    const QString post = parser.value(QStringLiteral("post"));
    const bool posting = parser.isSet(QStringLiteral("post"));
    if (args.size() != 1 || args[0].isEmpty() || (save && posting) ||
        (posting && post != u"J" && post != u"N"))
        return printUsage(u"ekgroups");
    PositionDownload download;
    if (!openDownload(connection, args[0], &download))
        return 1;
    DiscountGroupModel model;
    DiscountGroupEditor editor(connection, model, download);
    if (!editor.load())
        return 1;
    int rc = 0;
    for (const QString& set : parser.values(QStringLiteral("set"))) {
        QString id, value;
        int column = 0;
        if (!parseSet(set, &id, &column, &value)) {
            err() << "quendra-cli: --set needs ID:COL=VALUE with COL 0 to 8: " << set << "\n";
            return 2;
        }
        int row = -1;
        for (int r = 0; r < model.size(); ++r)
            if (model.row(r).id == id)
                row = r;
        if (row < 0) {
            err() << "quendra-cli: Rabattgruppe " << id << " nicht im Download " << download.key
                  << "\n";
            return 1;
        }
        if (!(model.flags(model.index(row, column)) & Qt::ItemIsEditable)) {
            err() << "quendra-cli: Spalte " << column << " kann nicht bearbeitet werden\n";
            rc = 1;
            continue;
        }
        if (!model.setData(model.index(row, column), value) && value != model.cellText(row, column))
            rc = 1;
    }
    if (parser.isSet(QStringLiteral("date"))) {
        const auto date = ParseGroupDate(parser.value(QStringLiteral("date")));
        if (!date) {
            err() << kNoValidDateMessage << "\n";
            return 1;
        }
        if (!editor.setAllDates(*date))
            rc = 1;
    }
    // After a refused edit nothing is saved or posted.
    if (rc == 0 && save && !editor.save())
        rc = 1;
    if (rc == 0 && posting && !editor.post([&] { return post == u"J"; }))
        rc = 1;
    for (int r = 0; r < model.size(); ++r) {
        QStringList fields{model.row(r).id};
        for (int c = 0; c < DiscountGroupModel::ColumnCount; ++c)
            fields << model.cellText(r, c).replace(u'\t', u' ');
        fields << (model.row(r).green ? QStringLiteral("1") : QStringLiteral("0"));
        QString styles;
        for (int c = DiscountGroupModel::DatumAb; c <= DiscountGroupModel::Rab4; ++c)
            styles += QChar(u'0' + model.cellStyle(r, c));
        fields << styles;
        out() << fields.join(u'\t') << '\n';
    }
    if (posting && rc == 0)
        out() << "Verbuchen\t" << editor.lastAnswer() << '\n';
    out().flush();
    return rc;
}
