// The price list of a big download as a PDF, through the same code as the
// print window and quendra-cli print: the time to build and write it and the
// peak memory; in the same run the same number of lines drawn plainly into
// a PDF, the machine's own limit.
//
//   bench_print [--positions N]
#include "BenchSupport.h"
#include "DemoData.h"
#include "StandinEngine.h"
#include "positions/PriceList.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("positions"), QStringLiteral("Positions (100000)."),
                 QStringLiteral("N"), QStringLiteral("100000")});
    p.process(app);
    const int count = p.value(QStringLiteral("positions")).toInt();
    QTextStream out(stdout);
    QTemporaryDir tmp;

    // Rows as the grid holds them, made without a server: the grid model
    // is what the list is printed from.
    PositionGridModel grid;
    QVector<PositionRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        PositionRow r;
        r.texts = QByteArray(PositionGrid::kColumns - 1, '\n');
        r.setText(PositionGrid::BestNr, QStringLiteral("G00-%1").arg(i));
        r.setText(PositionGrid::ArtNr,
                  i % 3 ? QString() : QStringLiteral("6%1").arg(i, 8, 10, QChar(u'0')));
        r.setText(PositionGrid::Bezeichnung, QStringLiteral("Generierte Position %1").arg(i));
        r.setText(PositionGrid::Vke, QStringLiteral("Pak"));
        r.setText(PositionGrid::EkRabgr, QStringLiteral("SG%1").arg(i % 10));
        r.setNumber(PositionGrid::Netto, 1 + (i % 5000) / 100.0);
        r.setNumber(PositionGrid::VkExcl, 1.5 + (i % 5000) / 80.0);
        r.setNumber(PositionGrid::VkIncl, 1.8 + (i % 5000) / 70.0);
        r.setNumber(PositionGrid::Spanne, 28.5);
        rows << r;
    }
    grid.appendRows(std::move(rows));
    const double before = PeakMiB();

    QElapsedTimer t;
    t.start();
    QString error;
    int pages = 0;
    PriceListOptions options;
    options.grouping = PriceListOptions::Grouping::EkGroup;
    const bool ok = WritePriceListPdf(tmp.filePath(QStringLiteral("liste.pdf")), grid, options,
                                      {QStringLiteral("Firma 1"), QStringLiteral("70001"),
                                       QStringLiteral("Müller Baustoffe GmbH"),
                                       QStringLiteral("01.04.2027"), QStringLiteral("08.12.2026")},
                                      &error, &pages);
    const double list = t.elapsed() / 1000.0;
    out << QStringLiteral("price list (%1): %2 positions, %3 pages in %4 s; peak %5 MiB (%6 MiB "
                          "before)\n")
               .arg(ok ? QStringLiteral("ok") : error)
               .arg(count)
               .arg(pages)
               .arg(list, 0, 'f', 2)
               .arg(PeakMiB(), 0, 'f', 1)
               .arg(before, 0, 'f', 1);
    out.flush();

    // The same number of lines, nine cells each, drawn plainly.
    t.restart();
    {
        QPdfWriter writer(tmp.filePath(QStringLiteral("plain.pdf")));
        writer.setResolution(300);
        QPainter painter(&writer);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(33);
        painter.setFont(f);
        const int perPage = 90;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && i % perPage == 0)
                writer.newPage();
            const int y = 100 + (i % perPage) * 37;
            for (int c = 0; c < 9; ++c)
                painter.drawText(c * 260, y, QStringLiteral("%1").arg(i + c));
        }
    }
    const double plain = t.elapsed() / 1000.0;
    out << QStringLiteral("the same lines drawn plainly: %1 s\n").arg(plain, 0, 'f', 2);
    out << QStringLiteral("price list / plain: %1\n")
               .arg(list / (plain > 0 ? plain : 1), 0, 'f', 2);
    return ok ? 0 : 1;
}
