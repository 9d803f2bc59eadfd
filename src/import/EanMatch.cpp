#include "EanMatch.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "base/WorkstationSettings.h"
#include "import/ImportFileReader.h"
#include "import/ImportFormats.h"
#include "server/Connection.h"
#include "server/PosClass.h"

#include <QFileInfo>

EanMatchModel::EanMatchModel(QObject* parent) : QAbstractTableModel(parent) {}

void EanMatchModel::setRows(QList<EanMatchRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int EanMatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int EanMatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EanMatchModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || role != Qt::DisplayRole)
        return {};
    const EanMatchRow& r = m_rows[index.row()];
    switch (index.column()) {
    case ArtNr:
        return r.articleNumber;
    case BezeichnungVeltar:
        return r.description;
    case Ean:
        return r.ean;
    case BezeichnungQuendra:
        return r.positionDescription;
    default:
        return {};
    }
}

QVariant EanMatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        static const QStringList headers{
            QStringLiteral("Art.-Nr."), QStringLiteral("Bezeichnung VELTAR"), QStringLiteral("EAN"),
            QStringLiteral("Bezeichnung Quendra")};
        return headers.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString EanDescription(PosClass& positions, const QString& downloadKey, const QString& ean) {
    if (ean.isEmpty())
        return QString();
    return positions.geteanbez(downloadKey, ean);
}

namespace {

const QString kApplication = QStringLiteral("Quendrapr");
const QString kSection = QStringLiteral("RetourPrm");
const QString kKey = QStringLiteral("Pfad");

} // namespace

QString EanMatchFolder() {
    return WorkstationSettings::value(kApplication, kSection, kKey);
}

void StoreEanMatchFolder(const QString& path) {
    // The folder is what comes before the last separator (either kind).
    const qsizetype cut = qMax(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    if (cut > 0)
        WorkstationSettings::setValue(kApplication, kSection, kKey, path.left(cut));
}

bool IsMatchFileLine(const QString& line) {
    if (line.isEmpty())
        return true;
    for (const QChar c : line)
        if (c.unicode() < 0x20 && c != u'\t')
            return false;
    return line.contains(u'\\');
}

QString NoMatchFileMessage(int line) {
    return QStringLiteral("Datei ist keine EAN/Preismatch-Datei (Zeile %1)").arg(line);
}

bool ReadEanMatchFile(Connection& connection, const QString& path, const QString& downloadKey,
                      QList<EanMatchRow>* rows) {
    rows->clear();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        UI().message(kImportFileMissingMessage, QString(), MessageIcon::Critical,
                     MessageButtons::Ok);
        return false;
    }
    ImportFileReader reader;
    if (!reader.open(path)) {
        UI().message(kFileUnreadableMessage, QString(), MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }
    BusyPointer busy;
    QString line;
    bool header = true;
    int number = 0;
    while (reader.readLine(&line)) {
        ++number;
        if (header) {
            header = false;
            continue;
        }
        // A line of a match file is text with its fields separated by "\":
        // control characters or a line without one (random bytes, another
        // kind of file) is no match file, and nothing of it is taken.
        if (!IsMatchFileLine(line)) {
            rows->clear();
            busy.release();
            UI().message(NoMatchFileMessage(number), QString(), MessageIcon::Critical,
                         MessageButtons::Ok);
            return false;
        }
        const MatchFileEntry e = ParseMatchFileLine(RemoveMatchFileSemicolons(line));
        rows->append({e.articleNumber, e.description, e.ean, QString()});
    }
    if (reader.failed()) {
        rows->clear();
        UI().message(kFileUnreadableMessage, QString(), MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }
    // The descriptions in one server call bracket; a failed look-up is no
    // "no position has it": the reading stops there.
    bool any = false;
    for (const EanMatchRow& r : std::as_const(*rows))
        any = any || !r.ean.isEmpty();
    if (!any)
        return true;
    return connection.call(QStringLiteral("FMEan.EanDescription Bezeichnung lesen"), [&] {
        PosClass pos(connection.client());
        for (EanMatchRow& r : *rows)
            r.positionDescription = EanDescription(pos, downloadKey, r.ean);
    });
}

bool PostEanMatch(Connection& connection, const QList<EanMatchRow>& rows,
                  const PositionDownload& download) {
    QStringList refused;
    const bool ok = connection.call(QStringLiteral("FMEan.Verbuchen EAN speichern"), [&] {
        // The busy pointer while the rows are stored.
        BusyPointer busy;
        PosClass pos(connection.client());
        for (const EanMatchRow& r : rows) {
            if (r.ean.isEmpty())
                continue;
            try {
                pos.SetEan(Session().firma, download.supplier, r.articleNumber, r.ean,
                           download.key);
            } catch (const ServerError& e) {
                // A lost connection ends the run (the bracket reports it);
                // a refused row is listed and the others go on.
                if (!connection.client().isConnected())
                    throw;
                refused << QStringLiteral("Artikel %1, EAN %2: %3")
                               .arg(r.articleNumber, r.ean, e.description());
            }
        }
    });
    if (!refused.isEmpty())
        UI().message(QStringLiteral("Nicht gespeichert:\n") + refused.join(u'\n'), QString(),
                     MessageIcon::Warning, MessageButtons::Ok);
    return ok && refused.isEmpty();
}
