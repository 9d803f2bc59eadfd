// quendra-cli print: the price list of a download as a PDF, without a
// display.
#include "CliSupport.h"

#include "positions/PriceList.h"

void addPrintOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("pdf"), QStringLiteral("print: the PDF file to write."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("no-purchase-prices"),
                      QStringLiteral("print: leave out net prices and margins.")});
    parser.addOption({QStringLiteral("overview"),
                      QStringLiteral("print: the overview of the positions as the first page.")});
}

int runPrint(Connection& connection, const QStringList& args, const QCommandLineParser& parser) {
    const QString group = parser.value(QStringLiteral("group"));
    using G = PriceListOptions::Grouping;
    PriceListOptions options;
    if (group.isEmpty() || group == u"none")
        options.grouping = G::GridOrder;
    else if (group == u"ekgrp")
        options.grouping = G::EkGroup;
    else if (group == u"wargr")
        options.grouping = G::GoodsGroup;
    const QString pdf = parser.value(QStringLiteral("pdf"));
    if (args.size() != 1 || args[0].isEmpty() || pdf.isEmpty() ||
        !(group.isEmpty() || group == u"none" || group == u"ekgrp" || group == u"wargr"))
        return printUsage(u"print");
    options.purchasePrices = !parser.isSet(QStringLiteral("no-purchase-prices"));
    options.overview = parser.isSet(QStringLiteral("overview"));
    PositionDownload download;
    PositionGridModel model;
    if (!openGrid(connection, args[0], &download, model))
        return 1;
    if (parser.isSet(QStringLiteral("marked"))) {
        // Only the marked rows, as the print window's "Nur markierte".
        options.markedOnly = true;
        if (!markPositions(model, download, parser.value(QStringLiteral("marked"))))
            return 1;
    }
    QString error;
    int pages = 0;
    int positions = 0;
    if (!WritePriceListPdf(pdf, model, options, PriceListHeading::of(download), &error, &pages,
                           &positions)) {
        err() << error << "\n";
        return 1;
    }
    out() << pages << '\t' << positions << '\n';
    out().flush();
    return 0;
}
