#pragma once

// The steps the import's passes share, whatever reader yields their lines:
// how a line stops an import, what pass 1 saw of the files, what pass 2
// sent. Only the import's own sources include this.

#include "base/TraceLog.h"
#include "common/PositionLineRules.h"
#include "common/ServerError.h"
#include "import/FileImport.h"
#include "server/Connection.h"
#include "server/ErrorReport.h"
#include "server/RequestPipeline.h"

#include <QFileInfo>
#include <optional>
#include <vector>

// What ends an import before its end: the message, and the line to blame.
struct ImportStop {
    QString message;
    std::optional<ImportLineIssue> issue = {};
};

inline const QString kStoreOperation = QStringLiteral("FMImport.Einlesen Position speichern");

// "Fehler in Zeile: " and the line; a line that breaks a rule of the ERP
// names its number in the file and the reason after it.
// A line of a delivery of several files names its file too.
inline ImportStop LineStop(const QString& line, qint64 fileLine, const QString& reason = {},
                           const QString& file = {}) {
    QString message = LineErrorMessage(line);
    if (!reason.isEmpty())
        message += QStringLiteral("\r\n\r\n") +
                   (file.isEmpty() ? QString() : file + QStringLiteral(", ")) +
                   QStringLiteral("Zeile %1: ").arg(fileLine) + reason;
    return {message, ImportLineIssue{fileLine, line, reason, file}};
}

// Takes what stopped a pass into its result (an ImportScan or an
// ImportResult) and writes the trace line.
template <typename Result> Result Stopped(Result& result, const ImportStop& stop) {
    result.message = stop.message;
    result.issue = stop.issue;
    TraceLog(QStringLiteral("FMImport.Einlesen"), QStringLiteral("Abbruch"), result.message, 0);
    return result;
}

// A line the server refused: the report of its error, then the line.
inline ImportStop RefusedLineStop(const ServerError& cause, const QString& line, qint64 fileLine,
                                  const QString& file = {}) {
    ImportStop stop = LineStop(line, fileLine, {}, file);
    stop.message.prepend(CacheFehlermeldungText(cause, kStoreOperation));
    return stop;
}

// What pass 1 saw of the files: their size and time, and a checksum of
// every article line, so that pass 2 stores nothing pass 1 did not check.
class CheckedFile {
public:
    void take(const QString& path) { take(QStringList{path}); }
    void take(const QStringList& paths) {
        m_paths = paths;
        m_stamp = stamp();
        m_lines.clear();
    }
    void add(const QString& line) { m_lines.push_back(qHash(line, kSeed)); }
    // False when the file is not as pass 1 began with it.
    bool unchanged() const { return stamp() == m_stamp; }
    // False when line (number from 1) is not the one pass 1 checked.
    bool same(qint64 number, const QString& line) const {
        return number <= qint64(m_lines.size()) &&
               m_lines[size_t(number - 1)] == qHash(line, kSeed);
    }
    qint64 lines() const { return qint64(m_lines.size()); }

private:
    static constexpr size_t kSeed = 0x51454e44;
    QList<QPair<qint64, qint64>> stamp() const {
        QList<QPair<qint64, qint64>> stamps;
        for (const QString& path : m_paths) {
            const QFileInfo info(path);
            stamps.append({info.size(),
                           info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch()});
        }
        return stamps;
    }
    QStringList m_paths;
    QList<QPair<qint64, qint64>> m_stamp;
    std::vector<size_t> m_lines;
};

// The 14 fields of a price's position line, mended as far as a fault need
// not stop the import; notes gets what was mended. nullopt when a field
// holds the line's separator.
inline std::optional<QStringList> MendedLineFields(const ImportArticleLine& line, ImportPrice which,
                                                   QStringList* notes = nullptr) {
    auto fields = PositionLineFields(line, which);
    if (!fields)
        return std::nullopt;
    const QStringList mended = PositionLineRules::Repair(*fields);
    if (notes)
        *notes = mended;
    return fields;
}

// The buyer's choice of tracks between a scan and its store, then the
// store: what import() does for either kind of delivery.
ImportResult ChooseAndStore(FileImport& import, ImportScan scanned, const QString& supplier,
                            ImportChoices& choices);

// What pass 2 sent: the line, and whether the request stores a position.
struct Sent {
    QString line;
    qint64 fileLine;
    bool position;
    qsizetype extras = -1; // what to set on the stored position afterwards
    QString file = {};
};

// Whatever stops pass 2, the answers on their way still count: a refusal
// among them is the failure.
inline std::optional<ImportStop> Settle(RequestPipeline<Sent>& pipeline) {
    try {
        pipeline.finish();
    } catch (const RequestPipeline<Sent>::Failure& f) {
        return RefusedLineStop(f.error, f.tag.line, f.tag.fileLine, f.tag.file);
    }
    return std::nullopt;
}
