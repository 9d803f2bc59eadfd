#include "Delivery.h"

#include "import/Bmecat.h"
#include "import/ImportFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <zip.h>

namespace {

// The first lines of a file, as Latin-1 (headers and record letters are
// ASCII); at most the first 64 KiB.
QStringList firstLines(const QString& path, bool* readable) {
    QFile file(path);
    *readable = file.open(QIODevice::ReadOnly);
    if (!*readable)
        return {};
    QByteArray start = file.read(64 * 1024);
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    QStringList lines;
    for (const QByteArray& line : start.split('\n')) {
        QByteArray l = line;
        if (l.endsWith('\r'))
            l.chop(1);
        lines << QString::fromLatin1(l);
    }
    return lines;
}

// Counts the articles of an article file (A records that make or change
// one) without decoding it.
qint64 countArticles(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 count = 0;
    // The last three characters and whether they began a line.
    char seen[3] = {0, 0, 0};
    bool lineStart[3] = {false, false, false};
    bool atStart = true;
    QByteArray chunk;
    while (!(chunk = file.read(1 << 20)).isEmpty()) {
        for (const char c : chunk) {
            if (lineStart[0] && seen[0] == 'A' && seen[1] == ';' &&
                (seen[2] == 'N' || seen[2] == 'A') && c == ';')
                ++count;
            seen[0] = seen[1];
            seen[1] = seen[2];
            seen[2] = c;
            lineStart[0] = lineStart[1];
            lineStart[1] = lineStart[2];
            lineStart[2] = atStart;
            atStart = c == '\n';
        }
    }
    return count;
}

// The role of a DATANORM file from its header and its first record.
std::optional<FileRole> datanormRole(const Datanorm::Header& header, const QStringList& lines) {
    QChar letter = header.content;
    if (header.version == Datanorm::Version::V4 || letter == u' ')
        for (qsizetype i = 1; i < lines.size(); ++i)
            if (lines[i].size() >= 2 && lines[i][1] == u';' &&
                QStringLiteral("ABTDPRSCKZEGJ").contains(lines[i][0])) {
                letter = lines[i][0];
                if (QStringLiteral("APRS").contains(letter))
                    break;
            }
    switch (letter.unicode()) {
    case u'A':
    case u'B':
    case u'T':
    case u'D':
        return FileRole::Articles;
    case u'P':
        return FileRole::Prices;
    case u'R':
        return FileRole::DiscountGroups;
    case u'S':
        return FileRole::GoodsGroups;
    default:
        return std::nullopt;
    }
}

// Unpacks the files of a .zip into folder; their paths and names, or the
// message why it could not be read.
bool unpackZip(const QString& path, const QString& folder, QList<QPair<QString, QString>>* files,
               QString* message) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive) {
        *message = QStringLiteral("Zip-Datei kann nicht gelesen werden: ") + path;
        return false;
    }
    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    bool ok = true;
    for (zip_int64_t i = 0; i < entries && ok; ++i) {
        const QString entry = QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
        if (entry.endsWith(u'/'))
            continue;
        const QString target =
            QStringLiteral("%1/%2-%3").arg(folder).arg(i).arg(QFileInfo(entry).fileName());
        zip_file_t* in = zip_fopen_index(archive, zip_uint64_t(i), 0);
        QFile out(target);
        ok = in && out.open(QIODevice::WriteOnly);
        char buffer[1 << 16];
        zip_int64_t got = 0;
        while (ok && (got = zip_fread(in, buffer, sizeof buffer)) > 0)
            ok = out.write(buffer, got) == got;
        const bool written = !ok || out.error() == QFileDevice::NoError;
        ok = ok && got == 0;
        if (in)
            zip_fclose(in);
        if (!written) {
            *message = QStringLiteral("Datei kann nicht geschrieben werden: ") + target;
            zip_close(archive);
            return false;
        }
        files->append({target, QFileInfo(path).fileName() + u'/' + entry});
    }
    zip_close(archive);
    if (!ok)
        *message = QStringLiteral("Zip-Datei kann nicht gelesen werden: ") + path;
    return ok;
}

// A BMEcat catalogue (its version) or a price list, told by content; an
// extended import file or a DATANORM file is none of these.
std::optional<QPair<Delivery::Format, QString>> otherKind(const QString& path,
                                                          const QStringList& lines) {
    if (IsXlsxWorkbook(path))
        return std::pair{Delivery::Format::Xlsx, QString()};
    if (Datanorm::ReadHeader(lines.value(0)) || IsExtendedImportHeader(lines.value(0)))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString version = Bmecat::RecognizeCatalogue(file.read(64 * 1024));
    if (!version.isEmpty())
        return std::pair{Delivery::Format::Bmecat, version};
    if (LooksLikeCsv(lines))
        return std::pair{Delivery::Format::Csv, QString()};
    return std::nullopt;
}

// Takes a catalogue or a price list as the delivery's one file; the reason
// when it cannot be read.
std::optional<QString> takeOther(Delivery& d, DeliveryFile f, Delivery::Format format,
                                 const QString& version) {
    f.role = format == Delivery::Format::Bmecat ? FileRole::Catalogue : FileRole::PriceList;
    d.format = format;
    d.detail = version;
    d.files << f;
    if (format == Delivery::Format::Bmecat) {
        d.articles = Bmecat::CountProducts(f.path);
        return std::nullopt;
    }
    auto rows = PriceListRows(f.path, format == Delivery::Format::Xlsx);
    if (!rows->open())
        return f.name + QStringLiteral(": ") + rows->error();
    d.detail = rows->description();
    d.articles = rows->rowCount();
    return std::nullopt;
}

} // namespace

QList<DeliveryFile> Delivery::filesOf(FileRole role) const {
    QList<DeliveryFile> out;
    for (const DeliveryFile& f : files)
        if (f.role == role)
            out << f;
    return out;
}

QString Delivery::summary() const {
    const QLocale german(QLocale::German, QLocale::Germany);
    switch (format) {
    case Format::None:
        return message;
    case Format::Quendra:
        return QStringLiteral("Quendra-Preisdatei");
    case Format::Bmecat:
        return QStringLiteral("BMEcat %1, %2 Artikel").arg(detail, german.toString(articles));
    case Format::Xlsx:
    case Format::Csv:
        // A workbook that does not say its size.
        if (articles == 0)
            return QStringLiteral("%1, %2").arg(format == Format::Xlsx
                                                    ? QStringLiteral("Excel-Preisliste")
                                                    : QStringLiteral("CSV-Preisliste"),
                                                detail);
        return QStringLiteral("%1, %2, %3 %4")
            .arg(format == Format::Xlsx ? QStringLiteral("Excel-Preisliste")
                                        : QStringLiteral("CSV-Preisliste"),
                 detail, german.toString(articles),
                 articles == 1 ? QStringLiteral("Zeile") : QStringLiteral("Zeilen"));
    case Format::Datanorm4:
    case Format::Datanorm5:
        break;
    }
    return QStringLiteral("DATANORM %1, %2 %3, %4 Artikel")
        .arg(format == Format::Datanorm4 ? 4 : 5)
        .arg(files.size())
        .arg(files.size() == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"))
        .arg(german.toString(articles));
}

Delivery RecognizeDelivery(const QStringList& paths) {
    Delivery d;
    auto refuse = [&d](const QString& message) {
        d.format = Delivery::Format::None;
        d.message = message;
        d.files.clear();
        return d;
    };
    QList<QPair<QString, QString>> candidates;   // path, name
    QList<QPair<QString, QString>> zippedTables; // CSV-like files of a .zip
    for (const QString& path : paths) {
        if (path.isEmpty() || !QFileInfo(path).isFile())
            return refuse(kImportFileMissingMessage);
        QFile probe(path);
        const bool zipped =
            probe.open(QIODevice::ReadOnly) && probe.read(4) == QByteArray("PK\x03\x04", 4);
        // A workbook is a zip of its own kind: a price list, not unpacked.
        if (zipped && !IsXlsxWorkbook(path)) {
            if (!d.unpacked)
                d.unpacked = std::make_shared<QTemporaryDir>();
            if (!d.unpacked->isValid())
                return refuse(QStringLiteral("Kein Platz zum Entpacken: ") + QDir::tempPath());
            QString message;
            if (!unpackZip(path, d.unpacked->path(), &candidates, &message))
                return refuse(message);
            continue;
        }
        candidates.append({path, QFileInfo(path).fileName()});
    }
    for (const auto& [path, name] : candidates) {
        // What else a .zip holds (a read-me, pictures) is no file of the
        // delivery.
        const bool zipped = d.unpacked && path.startsWith(d.unpacked->path() + u'/');
        bool readable = false;
        const QStringList lines = firstLines(path, &readable);
        if (!readable)
            return refuse(kFileUnreadableMessage);
        DeliveryFile f;
        f.path = path;
        f.name = name;
        Delivery::Format format = Delivery::Format::Quendra;
        if (const auto other = otherKind(path, lines)) {
            // A read-me in a .zip may look like a table: it counts only when
            // the .zip holds nothing else.
            if (zipped && other->first == Delivery::Format::Csv) {
                zippedTables.append({path, name});
                continue;
            }
            if (d.format != Delivery::Format::None)
                return refuse(d.format == other->first ? kOnePriceFileMessage
                                                       : kMixedDeliveryMessage);
            if (auto stop = takeOther(d, f, other->first, other->second))
                return refuse(*stop);
            continue;
        }
        if (d.format == Delivery::Format::Bmecat || d.isPriceList())
            return refuse(kMixedDeliveryMessage);
        if (const auto header = Datanorm::ReadHeader(lines.value(0))) {
            const auto role = datanormRole(*header, lines);
            if (!role && zipped)
                continue;
            if (!role)
                return refuse(name + QStringLiteral(": DATANORM-Datei ohne bekannte Sätze"));
            f.role = *role;
            f.header = *header;
            format = header->version == Datanorm::Version::V4 ? Delivery::Format::Datanorm4
                                                              : Delivery::Format::Datanorm5;
        } else if (!IsExtendedImportHeader(lines.value(0))) {
            if (zipped)
                continue;
            return refuse(candidates.size() == 1
                              ? kNotExtendedImportFileMessage
                              : name + QStringLiteral(": ") + kNotExtendedImportFileMessage);
        }
        if (d.format == Delivery::Format::Quendra && format == Delivery::Format::Quendra)
            return refuse(kOnePriceFileMessage);
        if (d.format != Delivery::Format::None && d.format != format)
            return refuse(kMixedDeliveryMessage);
        d.format = format;
        d.files << f;
    }
    if (d.format == Delivery::Format::None && zippedTables.size() == 1) {
        DeliveryFile f;
        f.path = zippedTables[0].first;
        f.name = zippedTables[0].second;
        if (auto stop = takeOther(d, f, Delivery::Format::Csv, QString()))
            return refuse(*stop);
    }
    if (d.isDatanorm()) {
        if (d.filesOf(FileRole::Articles).isEmpty() && d.filesOf(FileRole::Prices).isEmpty())
            return refuse(kNoArticleOrPriceFileMessage);
        for (const DeliveryFile& f : d.filesOf(FileRole::Articles))
            d.articles += countArticles(f.path);
    }
    if (!d.ok())
        return refuse(kImportFileMissingMessage);
    return d;
}
