#pragma once

#include "import/DatanormSource.h"

#include <QDataStream>
#include <QTemporaryFile>
#include <memory>

// The lines a reader's check gave, kept in a temporary file so that the
// store gives exactly those again without parsing the file a second time
// (a catalogue's XML costs as much to read as the positions to store).
// Memory stays flat: the lines are on disk. Should the disk refuse them,
// the spool is not usable and the reader reads its file again.
class LineSpool {
public:
    // Starts a new spool (a check that walks again starts over).
    void start();
    void add(const SourceLine& line);
    // A record the check watched that gave no line.
    void addWatched(qint64 fileLine, const QString& record);
    // The check's walk ended without a stop: the spool is complete.
    void finish();
    bool usable() const { return m_complete && !m_failed; }
    // Gives each record back to watch and each line to yield, in order; a
    // stop of either ends it, and so does a spool that cannot be read back
    // (the file's "Datei kann nicht gelesen werden").
    std::optional<RecordIssue> replay(const QString& file, const DatanormSource::Watch& watch,
                                      const DatanormSource::Yield& yield);
    // How far a replay is, of how many entries.
    qint64 replayed() const { return m_replayed; }
    qint64 entries() const { return m_entries; }

private:
    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<QDataStream> m_out;
    qint64 m_entries = 0;
    qint64 m_replayed = 0;
    bool m_complete = false;
    bool m_failed = false;
};
