#include "PositionExportDialog.h"

#include "base/WorkstationSettings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>

namespace {

// The folder of the last export.
const QString kLayoutApplication = QStringLiteral("Quendrapr");
const QString kExportSection = QStringLiteral("Export");
const QString kExportFolderKey = QStringLiteral("Ordner");

} // namespace

QString AskExportFile(const PositionDownload& download, QWidget* parent) {
    const QString folder =
        WorkstationSettings::value(kLayoutApplication, kExportSection, kExportFolderKey);
    const QString proposal =
        QDir(folder.isEmpty() ? QDir::homePath() : folder)
            .filePath(ExportFileName(download.supplier, download.supplierName));
    QString chosenFilter;
    const QString xlsxFilter = QStringLiteral("Excel-Arbeitsmappe (*.xlsx)");
    const QString csvFilter = QStringLiteral("CSV für Tabellenkalkulation (*.csv)");
    QString path =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Positionen exportieren"), proposal,
                                     xlsxFilter + QStringLiteral(";;") + csvFilter, &chosenFilter);
    if (path.isEmpty())
        return path;
    if (QFileInfo(path).suffix().isEmpty())
        path += chosenFilter == csvFilter ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    WorkstationSettings::setValue(kLayoutApplication, kExportSection, kExportFolderKey,
                                  QFileInfo(path).absolutePath());
    return path;
}

PositionExportResult ExportWithProgress(const QString& path, const PositionGridModel& grid,
                                        const QList<int>& rows, QWidget* parent) {
    QProgressDialog progress(QStringLiteral("Positionen werden exportiert …"),
                             QStringLiteral("Abbrechen"), 0, qMax(1, int(rows.size())), parent);
    progress.setObjectName(QStringLiteral("FMExport"));
    progress.setWindowTitle(QStringLiteral("Exportieren"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    const PositionExportResult result =
        ExportPositions(path, ExportFormatOf(path), grid, rows, [&progress](int done, int) {
            progress.setValue(done);
            return !progress.wasCanceled();
        });
    progress.reset();
    return result;
}
