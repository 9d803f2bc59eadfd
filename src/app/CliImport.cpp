// quendra-cli import and web-import: a price file, the files of a DATANORM
// delivery, a BMEcat catalogue or a price list (with its column mapping)
// into a new download.
#include "CliSupport.h"
#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "conditions/DiscountGroups.h"
#include "import/Delivery.h"
#include "import/FileImport.h"
#include "import/ImportFormats.h"
#include "import/WebImport.h"

#include <QFile>

namespace {

// The column mapping of a price list: --columns and --first-row, else the
// one remembered for the supplier (--first-row and --sheet still apply).
// Why there is none or it is malformed ("" when it is fine).
QString chooseColumns(const QCommandLineParser& p, const QString& supplier,
                      ColumnMapping* mapping) {
    const bool columns = p.isSet(QStringLiteral("columns"));
    const bool firstRow = p.isSet(QStringLiteral("first-row"));
    if (columns) {
        QString problem;
        const auto given =
            ColumnMapping::FromColumnsText(p.value(QStringLiteral("columns")), &problem);
        if (!given)
            return problem;
        if (!firstRow)
            return QStringLiteral("--columns braucht --first-row");
        *mapping = *given;
    } else {
        *mapping = RememberedMapping(Session().firma, supplier);
        if (mapping->isEmpty())
            return QStringLiteral("Keine Spaltenzuordnung für Lieferant %1 gespeichert: bitte "
                                  "--columns und --first-row angeben")
                .arg(supplier);
    }
    if (firstRow) {
        bool ok = false;
        mapping->firstRow = p.value(QStringLiteral("first-row")).toInt(&ok);
        if (!ok || mapping->firstRow < 1)
            return QStringLiteral("--first-row braucht eine Zeilennummer ab 1");
    }
    if (p.isSet(QStringLiteral("sheet")))
        mapping->sheet = p.value(QStringLiteral("sheet"));
    return QString();
}

// Imports the files: the supplier from --supplier, else from the file's
// manufacturer code, as the import window does (no other kind names one).
int importFiles(Connection& connection, const QStringList& paths, const QCommandLineParser& p) {
    const QString supplierOption = p.value(QStringLiteral("supplier"));
    Delivery delivery = RecognizeDelivery(paths);
    FileImport import(connection);
    const OpenedFile opened = import.open(delivery);
    if (!opened.ok)
        return 1;
    const QString supplier = supplierOption.isEmpty() ? opened.supplier : supplierOption;
    QString usage;
    if (delivery.isPriceList() && !supplier.isEmpty())
        usage = chooseColumns(p, supplier, &delivery.columns);
    // What was recognised (of the sheet the mapping names), before
    // anything else.
    const QString sheet =
        usage.isEmpty() ? delivery.columns.sheet : p.value(QStringLiteral("sheet"));
    if (delivery.format == Delivery::Format::Xlsx && !sheet.isEmpty()) {
        auto rows = PriceListRows(delivery.files.first().path, true, sheet);
        if (!rows->open()) {
            err() << delivery.files.first().name << ": " << rows->error() << '\n';
            return 1;
        }
        delivery.detail = rows->description();
        delivery.articles = rows->rowCount();
    }
    if (!delivery.namesSupplier()) {
        err() << delivery.summary() << '\n';
        err().flush();
    }
    if (supplier.isEmpty()) {
        err() << (delivery.namesSupplier()
                      ? QStringLiteral(
                            "Kein Lieferant zum Herstellercode der Datei; bitte --supplier angeben")
                      : kDeliveryWithoutSupplierMessage + QStringLiteral(" (--supplier)"))
              << '\n';
        return 1;
    }
    if (!usage.isEmpty()) {
        err() << "quendra-cli: " << usage << '\n';
        return printUsage(u"import");
    }
    if (!supplierOption.isEmpty() || opened.supplierName.isEmpty()) {
        if (import.checkSupplier(supplier).isEmpty())
            return 1;
    }
    TracksFromText choices(p.value(QStringLiteral("tracks")));
    const ImportResult r = import.import(delivery, supplier, choices);
    ShowImportResult(r);
    for (const QString& line : r.reportLines())
        err() << line << '\n';
    if (r.outcome != ImportResult::Outcome::Imported) {
        if (r.outcome == ImportResult::Outcome::Declined)
            err() << "Import abgebrochen: keine Preisschienen bestätigt\n";
        // A download begun and not finished: its key and the positions the
        // server confirmed, for whoever cleans up.
        if (!r.downloadId.isEmpty()) {
            out() << r.downloadId << '\t' << r.positions << '\n';
            out().flush();
        }
        return 1;
    }
    if (delivery.isPriceList())
        RememberMapping(Session().firma, supplier, delivery.columns);
    if (!r.rates.isEmpty()) {
        const int groups = TakeDeliveryRates(
            connection, PositionDownload{r.downloadId, supplier, QString()}, r.rates);
        if (groups < 0) {
            out() << r.downloadId << '\t' << r.positions << '\n';
            out().flush();
            return 1;
        }
        err() << "Rabattsätze in " << groups
              << (groups == 1 ? " Rabattgruppe eingetragen\n" : " Rabattgruppen eingetragen\n");
    }
    out() << r.downloadId << '\t' << r.positions << '\n';
    out().flush();
    return 0;
}

} // namespace

void addImportOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("columns"),
                      QStringLiteral("import: the columns of a price list (.xlsx, .csv), by letter "
                                     "or header text: bestnr=A,bezeichnung=B,ean=C,preis=D,"
                                     "einheit=E,pe=F,rabattgruppe=G,datum=H,netto=I "
                                     "(default: the supplier's last)."),
                      QStringLiteral("MAPPING")});
    parser.addOption({QStringLiteral("first-row"),
                      QStringLiteral("import: the first row of prices of a price list."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("sheet"),
                      QStringLiteral("import: the sheet of an .xlsx price list (default: the "
                                     "first)."),
                      QStringLiteral("NAME")});
}

int runImport(Connection& connection, const QStringList& args, const QCommandLineParser& parser) {
    if (args.isEmpty())
        return printUsage(u"import");
    return importFiles(connection, args, parser);
}

int runWebImport(Connection& connection, const QStringList& args,
                 const QCommandLineParser& parser) {
    if (args.size() != 1 || args[0].isEmpty())
        return printUsage(u"web-import");
    QString entry = QStringLiteral("(") + args[0] + u')';
    for (const QString& e : LoadWebSuppliers(connection))
        if (WebSupplierCode(e) == args[0])
            entry = e;
    if (!DownloadWebPriceData(connection, entry) && !QFile::exists(WebDownloadPath())) {
        UI().message(kImportFileMissingMessage, QString(), MessageIcon::Critical,
                     MessageButtons::Ok);
        return 1;
    }
    return importFiles(connection, {WebDownloadPath()}, parser);
}
