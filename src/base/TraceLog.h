#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

// The program trace: the latest steps of login, server access and look-ups,
// and every reported server error. Newest entry first, at most 100 entries.
// The window "Programmverlauf" shows this model.
class TraceLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 100;

    struct Entry {
        QString part;
        QString text;
        QString parameter;
    };

    static TraceLogModel& instance();

    void add(const QString& part, const QString& text, const QString& parameter);
    void clear();
    const QVector<Entry>& entries() const { return m_entries; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVector<Entry> m_entries;
};

// Writes one trace line. Levels up to 254 are shown; 255 is ignored. When the
// environment variable QUENDRA_TRACE_FILE names a file, every shown line is
// also appended there with a time stamp.
void TraceLog(const QString& part, const QString& text, const QString& parameter, int level);

// The same insertion without a level.
void StatusText(const QString& part, const QString& text, const QString& parameter);
