#pragma once

#include "base/PositionDownload.h"
#include "positions/PositionExport.h"

#include <QList>
#include <QString>

class QWidget;

// "Exportieren …" of the positions window: the file the buyer chooses, an
// .xlsx or a .csv file, proposed in the folder of the last export (which
// is remembered); "" when the buyer cancels.
QString AskExportFile(const PositionDownload& download, QWidget* parent);

// Writes the grid's rows (in that order) to the file with a progress
// dialog over parent ("FMExport") that can cancel it.
PositionExportResult ExportWithProgress(const QString& path, const PositionGridModel& grid,
                                        const QList<int>& rows, QWidget* parent);
