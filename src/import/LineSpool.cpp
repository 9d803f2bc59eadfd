#include "LineSpool.h"

#include "import/ImportFormats.h"

void LineSpool::start() {
    m_out.reset();
    m_file = std::make_unique<QTemporaryFile>();
    m_failed = !m_file->open();
    m_complete = false;
    m_entries = 0;
    m_replayed = 0;
    if (!m_failed)
        m_out = std::make_unique<QDataStream>(m_file.get());
}

void LineSpool::add(const SourceLine& s) {
    if (m_failed || !m_out)
        return;
    *m_out << true << s.fileLine << s.record << s.line.text() << s.extras.rabtyp << s.extras.netto
           << s.extras.discounts;
    ++m_entries;
    m_failed = m_out->status() != QDataStream::Ok;
}

void LineSpool::addWatched(qint64 fileLine, const QString& record) {
    if (m_failed || !m_out)
        return;
    *m_out << false << fileLine << record;
    ++m_entries;
    m_failed = m_out->status() != QDataStream::Ok;
}

void LineSpool::finish() {
    if (m_failed || !m_file)
        return;
    m_failed = !m_file->flush();
    m_complete = !m_failed;
}

std::optional<RecordIssue> LineSpool::replay(const QString& file,
                                             const DatanormSource::Watch& watch,
                                             const DatanormSource::Yield& yield) {
    const RecordIssue unreadable{file, 0, QString(), kFileUnreadableMessage};
    m_replayed = 0;
    if (!usable() || !m_file->seek(0))
        return unreadable;
    QDataStream in(m_file.get());
    for (; m_replayed < m_entries; ++m_replayed) {
        bool yields = false;
        SourceLine s;
        in >> yields >> s.fileLine >> s.record;
        QString text;
        if (yields)
            in >> text >> s.extras.rabtyp >> s.extras.netto >> s.extras.discounts;
        if (in.status() != QDataStream::Ok)
            return unreadable;
        if (auto stop = watch(file, s.fileLine, s.record))
            return stop;
        if (!yields)
            continue;
        s.line = ImportArticleLine(text);
        s.file = file;
        if (auto stop = yield(s))
            return stop;
    }
    return std::nullopt;
}
