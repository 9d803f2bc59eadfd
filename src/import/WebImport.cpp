#include "WebImport.h"

#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "import/ImportFormats.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/PosClass.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

QStringList LoadWebSuppliers(Connection& connection) {
    QStringList entries;
    BusyPointer busy;
    connection.call(QStringLiteral("FMWebDownload.Form_Load Lieferanten"), [&] {
        const QString text = PosClass(connection.client()).QuendraGetCountry();
        for (int i = 1; i <= 1000; ++i) {
            const QString e = Piece(text, QStringLiteral("|"), i);
            if (e.isEmpty())
                break;
            entries << e;
        }
    });
    return entries;
}

QString WebSupplierCode(const QString& entry) {
    const qsizetype open = entry.indexOf(u'(');
    if (open < 0)
        return QString();
    const qsizetype close = entry.indexOf(u')', open + 1);
    if (close < 0)
        return QString();
    return entry.mid(open + 1, close - open - 1);
}

QString WebDownloadPath() {
    QString folder = qEnvironmentVariable("TEMP");
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        if (folder.isEmpty())
            folder = QDir::homePath() + QStringLiteral("/.cache");
        folder += QStringLiteral("/quendra");
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return QDir(folder).filePath(QStringLiteral("importfile.txt"));
}

bool DownloadWebPriceData(Connection& connection, const QString& entry) {
    const QString path = WebDownloadPath();
    QFile::remove(path);
    const QString code = WebSupplierCode(entry);
    if (code.isEmpty())
        return false;
    BusyPointer busy;
    bool written = true;
    const bool ok = connection.call(QStringLiteral("FMWebDownload.bu_download Download"), [&] {
        const QString expression = PosClass(connection.client()).QuendraGetComp(code);
        ResultSet rs = XwClass(connection.client()).liste();
        rs.execute({expression});
        if (!expression.isEmpty()) {
            // Written under another name and renamed at the end, so a failed
            // download never leaves half a file to be imported.
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly)) {
                written = false;
            } else {
                file.write(ToWindows1252(kExtendedImportHeaderLine) + "\r\n");
                while (rs.next())
                    file.write(ToWindows1252(rs.getData(1)) + "\r\n");
                written = file.commit();
            }
        }
        rs.close();
    });
    busy.release();
    if (ok && !written)
        UI().message(QStringLiteral("Die Datei ") + path +
                         QStringLiteral(" kann nicht geschrieben werden"),
                     QString(), MessageIcon::Critical, MessageButtons::Ok);
    return ok && written;
}
